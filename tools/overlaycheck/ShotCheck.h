#pragma once

#include "overlay/OverlayState.h"

#include <QList>
#include <QString>
#include <QStringList>

class QImage;

// Reads a screenshot of the on-stream page and checks it against the state it
// should show: a transparent background around what is drawn, and each
// team's bar in the team's colour, as long against its track as the team's
// share of the votes.
class ShotCheck
{
public:
    struct Bar
    {
        int index = 0; // team index
        double share = 0; // from the state
        double measured = 0; // fill / track, from the pixels
        int fillPx = 0;
        int trackPx = 0;
        int row = -1; // y of the measured line; -1 when no bar was found
    };

    struct Report
    {
        bool ok = false;
        double transparent = 0; // fraction of fully transparent pixels
        QList<Bar> bars;
        QStringList failures;
    };

    // Share error allowed, on top of a few pixels of anti-aliasing.
    static constexpr double kShareTolerance = 0.01;

    static Report check(const QImage &shot, const OverlayState &state);
    // One line per bar and per failure.
    static QString describe(const Report &report);
};
