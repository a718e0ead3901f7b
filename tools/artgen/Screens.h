#pragma once

#include <QString>

// Renders the README screenshots of the real shell windows into `outDir`.
// Returns false (after printing why) when one could not be written.
bool renderScreens(const QString &outDir);

// Draws a screenshot of the on-stream page (transparent background) over a
// sample broadcast scene, for the README.
bool renderOverlayOnScene(const QString &overlayShot, const QString &outPath);
