#include "ui/ResultPicture.h"

#include "overlay/OverlayState.h"
#include "records/VoteRecord.h"
#include "records/VoteRecordExport.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteCounting.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kWidth = 800;
constexpr int kPadding = 36;
constexpr int kQuestionPx = 30;
constexpr int kTextPx = 22;
constexpr int kSmallPx = 15;
constexpr int kBarHeight = 18;

QFont fontOf(int pixels, bool bold)
{
    // The window's family; where it is not installed the CJK substitution stands in.
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QColor colourOf(const QString &rgba)
{
    const QStringList parts = rgba.split(QLatin1Char(','));
    if (parts.size() < 3)
        return Qt::white;
    return QColor(parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt());
}

// Light text with a dark outline, as the page draws it over a scene.
void drawText(QPainter &painter, const QRect &box, int flags, const QString &text,
              const QColor &colour = Qt::white)
{
    painter.setPen(QColor(0, 0, 0, 150));
    painter.drawText(box.translated(1, 2), flags, text);
    painter.setPen(colour);
    painter.drawText(box, flags, text);
}

OverlayState stateOf(const RecordedVote &vote)
{
    const RecordSettings &settings = vote.settings;
    OverlayState state;
    state.question = settings.question;
    state.mode = settings.mode;
    for (int index = 1; index <= settings.mode; ++index) {
        OverlayTeam team;
        team.index = index;
        team.name = QString::fromUtf8(settings.teams[index].name);
        team.votes = vote.result(index);
        team.colour = QString::fromLatin1(defaultTeam(index)->colour);
        state.teams.append(team);
    }
    if (settings.mode == 2)
        state.lead = VoteCounting::leadText(settings.teams[1].name, vote.result(1),
                                            settings.teams[2].name, vote.result(2));
    return state;
}

} // namespace

QImage resultPicture(const RecordedVote &vote)
{
    const OverlayState state = stateOf(vote);
    const QList<double> shares = overlayShares(state);
    const int questionHeight = state.question.isEmpty() ? 0 : kQuestionPx + 22;
    const int teamHeight = kTextPx + 10 + kBarHeight + 16;
    const int leadHeight = state.lead.isEmpty() ? 0 : kTextPx + 16;
    const int height = kPadding + questionHeight + int(state.teams.size()) * teamHeight + leadHeight
        + kSmallPx + 12 + kPadding;

    QImage image(kWidth, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(40, 48, 104));
    sky.setColorAt(1, QColor(122, 76, 126));
    QPainterPath card;
    card.addRoundedRect(QRectF(image.rect()), 18, 18);
    painter.fillPath(card, sky);

    const int inner = kWidth - 2 * kPadding;
    int y = kPadding;
    if (!state.question.isEmpty()) {
        painter.setFont(fontOf(kQuestionPx, true));
        const QString question =
            painter.fontMetrics().elidedText(state.question, Qt::ElideRight, inner);
        drawText(painter, QRect(kPadding, y, inner, kQuestionPx + 8),
                 Qt::AlignLeft | Qt::AlignVCenter, question,
                 QColor(QRgb(vote.settings.noteColor)) == QColor(24, 24, 24)
                     ? QColor(Qt::white)
                     : QColor(QRgb(vote.settings.noteColor)));
        y += questionHeight;
    }
    for (int i = 0; i < state.teams.size(); ++i) {
        const OverlayTeam &team = state.teams.at(i);
        painter.setFont(fontOf(kTextPx, true));
        const QString figures =
            QStringLiteral("%1票   %2%").arg(team.votes).arg(qRound(shares.at(i) * 100));
        const int figuresWidth = painter.fontMetrics().horizontalAdvance(figures);
        const QString name =
            painter.fontMetrics().elidedText(team.name, Qt::ElideRight, inner - figuresWidth - 20);
        const QRect label(kPadding, y, inner, kTextPx + 6);
        drawText(painter, label, Qt::AlignLeft | Qt::AlignVCenter, name);
        drawText(painter, label, Qt::AlignRight | Qt::AlignVCenter, figures);
        y += kTextPx + 10;

        const QRectF track(kPadding, y, inner, kBarHeight);
        QPainterPath trackPath;
        trackPath.addRoundedRect(track, kBarHeight / 2.0, kBarHeight / 2.0);
        painter.fillPath(trackPath, QColor(0, 0, 0, 97));
        if (shares.at(i) > 0) {
            QPainterPath bar;
            bar.addRoundedRect(QRectF(track.x(), track.y(),
                                      std::max<double>(kBarHeight, inner * shares.at(i)),
                                      kBarHeight),
                               kBarHeight / 2.0, kBarHeight / 2.0);
            painter.fillPath(bar, colourOf(team.colour));
        }
        y += kBarHeight + 16;
    }
    if (!state.lead.isEmpty()) {
        painter.setFont(fontOf(kTextPx, true));
        drawText(painter, QRect(kPadding, y, inner, kTextPx + 6), Qt::AlignLeft | Qt::AlignVCenter,
                 state.lead);
        y += leadHeight;
    }
    const VoteRecordFolder::Listing listing = VoteRecordFolder::listingOf(vote);
    const QDateTime started =
        QDateTime::fromString(QString::fromUtf8(vote.started), Qt::ISODateWithMs);
    QString footer = started.isValid()
        ? started.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" 开始")
        : QString();
    if (!listing.durationText().isEmpty())
        footer += QStringLiteral(" · 时长 ") + listing.durationText();
    painter.setFont(fontOf(kSmallPx, false));
    drawText(painter, QRect(kPadding, y, inner, kSmallPx + 6), Qt::AlignLeft | Qt::AlignVCenter,
             footer, QColor(255, 255, 255, 210));
    return image;
}

ExportFiles exportFilesIn(const QString &folder, const QString &journalPath)
{
    const QString name = QFileInfo(journalPath).completeBaseName();
    const QDir into(folder);
    return {into.filePath(VoteRecordExport::fileName(name, QStringLiteral("csv"))),
            into.filePath(VoteRecordExport::fileName(name, QStringLiteral("json"))),
            into.filePath(VoteRecordExport::fileName(name, QStringLiteral("png")))};
}

bool exportVoteRecord(const QString &journalPath, const ExportFiles &files, QString *error,
                      const std::atomic<bool> *cancel)
{
    RecordedVote vote;
    const bool read = !files.csv.isEmpty()
        ? VoteRecordExport::writeCsv(journalPath, files.csv, vote, error, cancel)
        : VoteRecordReader::read(journalPath, vote, VoteRecordReader::RowVisitor(), cancel);
    if (!read) {
        if (error && error->isEmpty())
            *error = QStringLiteral("无法读取记录");
        return false;
    }
    if (!files.json.isEmpty() && !VoteRecordExport::writeSummary(vote, files.json, error))
        return false;
    if (!files.png.isEmpty() && !resultPicture(vote).save(files.png, "PNG")) {
        if (error)
            *error = QStringLiteral("无法写入 %1").arg(QDir::toNativeSeparators(files.png));
        return false;
    }
    return true;
}
