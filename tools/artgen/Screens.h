#pragma once

#include <QString>

// Renders the README screenshots of the real shell windows into `outDir`.
// Returns false (after printing why) when one could not be written.
bool renderScreens(const QString &outDir);
