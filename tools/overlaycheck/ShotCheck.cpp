#include "ShotCheck.h"

#include <QImage>
#include <QRgb>

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kEdgePx = 4; // the page keeps a padding: its outer frame is empty
constexpr int kColourSlack = 14; // per channel, for rounding of the renderer
constexpr int kAntiAliasPx = 4;

bool parseColour(const QString &text, QRgb *rgb)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        channel[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || channel[i] < 0 || channel[i] > 255)
            return false;
    }
    *rgb = qRgb(channel[0], channel[1], channel[2]);
    return true;
}

bool matches(QRgb pixel, QRgb colour)
{
    return qAlpha(pixel) >= 250 && std::abs(qRed(pixel) - qRed(colour)) <= kColourSlack
        && std::abs(qGreen(pixel) - qGreen(colour)) <= kColourSlack
        && std::abs(qBlue(pixel) - qBlue(colour)) <= kColourSlack;
}

struct Run
{
    int row = -1;
    int first = 0;
    int length = 0;
};

// The longest horizontal run of the colour: the middle line of a bar, where
// its rounded ends do not cut it short.
Run longestRun(const QImage &image, QRgb colour)
{
    Run best;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        int start = -1;
        for (int x = 0; x <= image.width(); ++x) {
            const bool in = x < image.width() && matches(line[x], colour);
            if (in && start < 0)
                start = x;
            if (!in && start >= 0) {
                if (x - start > best.length)
                    best = Run {y, start, x - start};
                start = -1;
            }
        }
    }
    return best;
}

} // namespace

ShotCheck::Report ShotCheck::check(const QImage &shot, const OverlayState &state)
{
    Report report;
    if (shot.isNull() || shot.width() <= 2 * kEdgePx || shot.height() <= 2 * kEdgePx) {
        report.failures << QStringLiteral("no usable image");
        return report;
    }
    const QImage image = shot.convertToFormat(QImage::Format_ARGB32);

    qint64 clear = 0;
    int edgeDrawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool transparent = qAlpha(line[x]) == 0;
            clear += transparent ? 1 : 0;
            const bool edge = x < kEdgePx || y < kEdgePx || x >= image.width() - kEdgePx
                || y >= image.height() - kEdgePx;
            edgeDrawn += edge && !transparent ? 1 : 0;
        }
    }
    report.transparent = double(clear) / (double(image.width()) * image.height());
    if (!image.hasAlphaChannel() || report.transparent < 0.3)
        report.failures << QStringLiteral("background not transparent: %1 % of the pixels clear")
                               .arg(report.transparent * 100, 0, 'f', 1);
    if (edgeDrawn > 0)
        report.failures << QStringLiteral("%1 drawn pixels on the image's edge").arg(edgeDrawn);

    const QList<double> shares = overlayShares(state);
    int lastRow = -1;
    QList<int> tracks;
    for (int i = 0; i < state.teams.size(); ++i) {
        const OverlayTeam &team = state.teams.at(i);
        Bar bar;
        bar.index = team.index;
        bar.share = shares.at(i);
        QRgb colour = 0;
        if (!parseColour(team.colour, &colour)) {
            report.failures << QStringLiteral("team %1: colour \"%2\" unreadable")
                                   .arg(team.index)
                                   .arg(team.colour);
            report.bars << bar;
            continue;
        }
        const Run run = longestRun(image, colour);
        if (bar.share == 0) {
            // An empty bar draws nothing in the team's colour.
            if (run.length > kAntiAliasPx)
                report.failures << QStringLiteral("team %1: %2 px of colour for no votes")
                                       .arg(team.index)
                                       .arg(run.length);
            report.bars << bar;
            continue;
        }
        if (run.length == 0) {
            report.failures << QStringLiteral("team %1: no bar in its colour").arg(team.index);
            report.bars << bar;
            continue;
        }
        // The track is everything drawn on that line around the fill.
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(run.row));
        int left = run.first;
        while (left > 0 && qAlpha(line[left - 1]) > 0)
            --left;
        int right = run.first + run.length - 1;
        while (right < image.width() - 1 && qAlpha(line[right + 1]) > 0)
            ++right;
        bar.row = run.row;
        bar.fillPx = run.length;
        bar.trackPx = right - left + 1;
        bar.measured = double(bar.fillPx) / bar.trackPx;
        report.bars << bar;

        const double allowed = kShareTolerance + double(kAntiAliasPx) / bar.trackPx;
        if (std::abs(bar.measured - bar.share) > allowed)
            report.failures << QStringLiteral("team %1: bar %2 of %3 px = %4, share %5")
                                   .arg(team.index)
                                   .arg(bar.fillPx)
                                   .arg(bar.trackPx)
                                   .arg(bar.measured, 0, 'f', 3)
                                   .arg(bar.share, 0, 'f', 3);
        if (run.row + kAntiAliasPx < lastRow)
            report.failures
                << QStringLiteral("team %1: bar above the previous team's").arg(team.index);
        lastRow = qMax(lastRow, run.row);
        tracks << bar.trackPx;
    }
    for (const int track : qAsConst(tracks)) {
        if (std::abs(track - tracks.first()) > kAntiAliasPx)
            report.failures << QStringLiteral("tracks of unequal length: %1 and %2 px")
                                   .arg(tracks.first())
                                   .arg(track);
    }
    report.ok = report.failures.isEmpty();
    return report;
}

QString ShotCheck::describe(const Report &report)
{
    QStringList lines;
    lines << QStringLiteral("transparent: %1 %").arg(report.transparent * 100, 0, 'f', 1);
    for (const Bar &bar : report.bars)
        lines << QStringLiteral("team %1: share %2, bar %3/%4 px = %5 (line %6)")
                     .arg(bar.index)
                     .arg(bar.share, 0, 'f', 3)
                     .arg(bar.fillPx)
                     .arg(bar.trackPx)
                     .arg(bar.measured, 0, 'f', 3)
                     .arg(bar.row);
    for (const QString &failure : report.failures)
        lines << QStringLiteral("FAIL ") + failure;
    lines << (report.ok ? QStringLiteral("OK") : QStringLiteral("FAILED"));
    return lines.join(QLatin1Char('\n'));
}
