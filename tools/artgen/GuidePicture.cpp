#include "GuidePicture.h"

#include "ArtPainters.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// Where the vote window's controls sit, in window coordinates. The numbers
// follow its layout: 23 / 21 px side insets, a 61 px title bar, a 258 px team
// area and the two rows of buttons below it (6 px layout spacing between items).
namespace Mock {
constexpr qreal kLeft = 23;
constexpr qreal kWidth = 730;
constexpr qreal kTitleHeight = 61;

const QRectF kTeamArea(kLeft, 67, kWidth, 258);
const QRectF kQuestionRow(kLeft, 67, kWidth, 44);
const QRectF kNoteIcon(kLeft + 22, 79.5, 19, 19);
const QRectF kQuestionEdit(72, 67, 550, 44);
const QRectF kCountdown(622, 67, 131, 44);
constexpr qreal kQuestionRule = 111;
constexpr qreal kHeaderTop = 112;
constexpr qreal kHeaderHeight = 39;
constexpr qreal kHeaderRule = 151;
constexpr qreal kLeadRule = 284;
const QRectF kLeadLine(kLeft, 285, kWidth, 40);
constexpr qreal kColumnWidth = 364;

const QRectF kCountingCaption(kLeft, 351, 200, 20);
const QRectF kStartButton(kLeft, 382, 65, 24);
const QRectF kClearVotesButton(98, 382, 65, 24);
const QRectF kClearRecordButton(173, 382, 85, 24);
const QRectF kCountdownCaption(kLeft, 422, 200, 20);
const QRectF kDurationLabel(kLeft, 453, 26, 24);
const QRectF kDurationEdit(53, 453, 60, 24);
const QRectF kSecondsLabel(117, 453, 18, 24);
const QRectF kShowCountdownButton(143, 453, 115, 24);
const QRectF kMoreButton(kLeft, 493, 78, 22);

QRectF column(int index)
{
    return QRectF(index == 0 ? kLeft : kLeft + kColumnWidth + 2, kHeaderTop, kColumnWidth,
                  kLeadRule - kHeaderTop);
}
QRectF giftButton(int index)
{
    return QRectF(column(index).left() + 12, kHeaderTop + 2, 35, 35);
}
QRectF nameEdit(int index)
{
    return QRectF(column(index).left() + 57, kHeaderTop, 170, kHeaderHeight);
}
QRectF votesLabel(int index)
{
    return QRectF(column(index).right() - 130, kHeaderTop, 116, kHeaderHeight);
}
} // namespace Mock

const QColor kInk(51, 51, 51, 204);
const QColor kTeamColour[2] = {QColor(98, 54, 255), QColor(255, 43, 100)};
const QColor kCountdownPink(231, 22, 106);
const QColor kRule(214, 214, 214);

QFont cjkFont(qreal pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font(Art::cjkFamily());
    font.setPixelSize(int(std::lround(pixelSize)));
    font.setWeight(weight);
    return font;
}

void text(QPainter &p, const QRectF &box, int flags, const QString &s, qreal size,
          const QColor &colour, QFont::Weight weight = QFont::Normal)
{
    p.setFont(cjkFont(size, weight));
    p.setPen(colour);
    p.drawText(box, flags, s);
}

void whiteButton(QPainter &p, const QRectF &box, const QString &label, qreal radius)
{
    p.setPen(QPen(QColor(0, 0, 0, 30), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    text(p, box, Qt::AlignCenter, label, 10, QColor(51, 51, 51));
}

void paintGift(QPainter &p, const QRectF &box, void (*art)(QPainter &))
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 150.0, box.height() / 150.0);
    art(p);
    p.restore();
}

// The vote window as it looks right after start.
void paintMock(QPainter &p)
{
    using namespace Mock;
    p.setPen(Qt::NoPen);
    p.setBrush(kRule);
    p.drawRoundedRect(QRectF(0, 0, kGuideWidth, kGuideHeight), 6, 6);

    // Title bar.
    text(p, QRectF(kLeft, 0, 300, kTitleHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("计数器窗口"), 14, kInk, QFont::DemiBold);
    Art::paintCloseGlyph(p, QRectF(kLeft + kWidth - 20, 24.5, 12, 12), kInk);

    // Team area.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 245, 245));
    p.drawRoundedRect(kTeamArea, 2, 2);

    p.save();
    p.translate(kNoteIcon.topLeft());
    Art::paintNote(p);
    p.restore();
    text(p, kQuestionEdit.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("此处填写投票问题（如：想看主播化妆还是卸妆？）"), 20,
         QColor(168, 168, 168));
    text(p, kCountdown, Qt::AlignCenter, QStringLiteral("100"), 24, kCountdownPink);

    p.fillRect(QRectF(kLeft, kQuestionRule, kWidth, 1), kRule);
    p.fillRect(QRectF(kLeft + kColumnWidth, kHeaderTop, 2, kLeadRule - kHeaderTop), kRule);
    p.fillRect(QRectF(kLeft, kHeaderRule, kWidth, 2), kRule);
    p.fillRect(QRectF(kLeft, kLeadRule, kWidth, 1), kRule);

    // One example ballot per team, consistent with the lead line below.
    const QString voters[2] = {QStringLiteral("小明"), QStringLiteral("小红")};
    const int ballots[2] = {3, 5};
    void (*gifts[2])(QPainter &) = {Art::paintMicrophone, Art::paintClover};
    for (int team = 0; team < 2; ++team) {
        const QColor colour = kTeamColour[team];
        paintGift(p, giftButton(team), gifts[team]);
        text(p, nameEdit(team), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("编辑"), 18,
             colour);
        const QString votes = QStringLiteral("%1票").arg(ballots[team]);
        text(p, votesLabel(team), Qt::AlignRight | Qt::AlignVCenter, votes, 18, colour);
        const QRectF list = column(team);
        const QRectF row(list.left() + 60, kHeaderRule + 10, list.width() - 74, 26);
        text(p, row, Qt::AlignLeft | Qt::AlignVCenter, voters[team], 16, colour);
        text(p, row, Qt::AlignRight | Qt::AlignVCenter, votes, 16, colour);
    }
    text(p, kLeadLine, Qt::AlignCenter, QStringLiteral("【红队】领先【蓝队】2票"), 20,
         Art::kAccent);

    // Counting and countdown controls.
    text(p, kCountingCaption, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("票数计算"), 13,
         kInk, QFont::Medium);
    whiteButton(p, kStartButton, QStringLiteral("开始计票"), 12);
    whiteButton(p, kClearVotesButton, QStringLiteral("清空票数"), 12);
    whiteButton(p, kClearRecordButton, QStringLiteral("清空投票纪录"), 12);
    text(p, kCountdownCaption, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("显示倒计时"), 13,
         kInk, QFont::Medium);
    text(p, kDurationLabel, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("时长"), 12, kInk);
    p.setPen(QPen(QColor(0, 0, 0, 30), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(kDurationEdit.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    text(p, kDurationEdit, Qt::AlignCenter, QStringLiteral("100"), 12, QColor(51, 51, 51));
    text(p, kSecondsLabel, Qt::AlignCenter, QStringLiteral("秒"), 12, kInk);
    whiteButton(p, kShowCountdownButton, QStringLiteral("开始显示倒计时"), 12);
    text(p, kMoreButton, Qt::AlignCenter, QStringLiteral("更多设置 ﹀"), 12, QColor(110, 110, 110));
}

struct Callout
{
    int step;
    QString label;
    QPointF centre; // of the bubble
    QList<QPointF> targets; // where its lines end, on the edge of a highlight
};

constexpr qreal kBubbleHeight = 32;
constexpr qreal kLabelSize = 15;
constexpr qreal kBadge = 22;

QRectF bubbleRect(const Callout &c)
{
    const QFontMetricsF metrics(cjkFont(kLabelSize));
    const qreal width = 5 + kBadge + 8 + metrics.horizontalAdvance(c.label) + 15;
    return QRectF(c.centre.x() - width / 2, c.centre.y() - kBubbleHeight / 2, width, kBubbleHeight);
}

// Lines leave the bubble from the side facing their target.
QPointF lineStart(const QRectF &bubble, const QPointF &target)
{
    const qreal r = bubble.height() / 2;
    if (target.x() < bubble.left() + r)
        return QPointF(bubble.left(), bubble.center().y());
    if (target.x() > bubble.right() - r)
        return QPointF(bubble.right(), bubble.center().y());
    return QPointF(target.x(), target.y() < bubble.top() ? bubble.top() : bubble.bottom());
}

void paintBubble(QPainter &p, const Callout &c)
{
    const QRectF box = bubbleRect(c);
    const qreal r = box.height() / 2;
    // Soft shadow so the white bubble lifts off the dimmed window.
    p.setPen(Qt::NoPen);
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 22));
        p.drawRoundedRect(box.adjusted(-i, -i + 2, i, i + 2), r + i, r + i);
    }
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, r, r);

    const QRectF badge(box.left() + 5, box.center().y() - kBadge / 2, kBadge, kBadge);
    QLinearGradient pink(badge.topLeft(), badge.topRight());
    pink.setColorAt(0, Art::kAccentLight);
    pink.setColorAt(1, Art::kAccent);
    p.setBrush(pink);
    p.drawEllipse(badge);
    text(p, badge.adjusted(0, -0.5, 0, -0.5), Qt::AlignCenter, QString::number(c.step), 13,
         Qt::white, QFont::Bold);
    text(p, box.adjusted(5 + kBadge + 8, 0, 0, -1), Qt::AlignLeft | Qt::AlignVCenter, c.label,
         kLabelSize, QColor(40, 40, 40));
}

void paintLine(QPainter &p, const QPointF &from, const QPointF &to)
{
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Art::kAccent);
    p.drawEllipse(to, 4, 4);
}

bool segmentTouches(const QPointF &a, const QPointF &b, const QRectF &area)
{
    const int steps = int(std::ceil(std::hypot(b.x() - a.x(), b.y() - a.y()))) + 1;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = qreal(i) / steps;
        if (area.contains(a + (b - a) * t))
            return true;
    }
    return false;
}

QRectF padded(const QRectF &r, qreal by)
{
    return r.adjusted(-by, -by, by, by);
}

} // namespace

GuidePicture paintGuidePicture(const QSize &size, const QRectF &keepClear)
{
    using namespace Mock;

    // Controls the callouts explain; each stays bright under the dimming.
    const QList<QRectF> highlights = {
        padded(kQuestionEdit, -3).adjusted(-6, 0, 0, 0),
        padded(giftButton(0), 3),
        padded(giftButton(1), 3),
        padded(nameEdit(0), -2).adjusted(-4, 0, 0, 0),
        padded(nameEdit(1), -2).adjusted(-4, 0, 0, 0),
        padded(kStartButton, 3),
        padded(kDurationLabel.united(kShowCountdownButton), 3),
        padded(kMoreButton, 3),
    };
    const QRectF &question = highlights[0];
    const QRectF &gift1 = highlights[1];
    const QRectF &name1 = highlights[3];
    const QRectF &name2 = highlights[4];
    const QRectF &start = highlights[5];
    const QRectF &countdownRow = highlights[6];
    const QRectF &more = highlights[7];

    const QList<Callout> callouts = {
        {1, QStringLiteral("在这里输入投票问题"), QPointF(612, 31), {QPointF(612, question.top())}},
        {2,
         QStringLiteral("输入队名，观众在弹幕发送队名即投一票"),
         QPointF(336, 214),
         {QPointF(name1.center().x() - 20, name1.bottom()),
          QPointF(name2.center().x() - 20, name2.bottom())}},
        {3,
         QStringLiteral("点击礼物图标，为每队选择计票礼物"),
         QPointF(178, 260),
         {QPointF(gift1.center().x(), gift1.bottom())}},
        {4,
         QStringLiteral("开始 / 停止计票"),
         QPointF(176, 353),
         {QPointF(start.right() - 14, start.top())}},
        {5,
         QStringLiteral("设置时长，显示倒计时"),
         QPointF(395, countdownRow.center().y()),
         {QPointF(countdownRow.right(), countdownRow.center().y())}},
        {6,
         QStringLiteral("更多设置：投票方式、队伍数量、公告颜色、手动加减票"),
         QPointF(345, more.center().y()),
         {QPointF(more.right(), more.center().y())}},
    };

    GuidePicture result;
    result.image = Art::render(size, QSizeF(kGuideWidth, kGuideHeight), [&](QPainter &p) {
        paintMock(p);

        // Dim everything but the highlighted controls.
        QPainterPath dim;
        dim.addRoundedRect(QRectF(0, 0, kGuideWidth, kGuideHeight), 6, 6);
        QPainterPath holes;
        for (const QRectF &h : highlights)
            holes.addRoundedRect(h, 6, 6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 150));
        p.drawPath(dim.subtracted(holes));

        p.setBrush(Qt::NoBrush);
        for (const QRectF &h : highlights) {
            p.setPen(QPen(QColor(255, 255, 255, 70), 5));
            p.drawRoundedRect(h, 6, 6);
            p.setPen(QPen(Art::kAccentLight, 2));
            p.drawRoundedRect(h, 6, 6);
        }

        for (const Callout &c : callouts) {
            const QRectF box = bubbleRect(c);
            for (const QPointF &target : c.targets)
                paintLine(p, lineStart(box, target), target);
        }
        for (const Callout &c : callouts)
            paintBubble(p, c);

        text(p, QRectF(0, 0, kGuideWidth, kTitleHeight), Qt::AlignCenter,
             QStringLiteral("投票插件使用指南"), 22, Qt::white, QFont::Bold);
        text(p, QRectF(keepClear.right() + 26, keepClear.top(), 320, keepClear.height()),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("了解以上功能后，点击按钮开始使用"),
             14, QColor(255, 255, 255, 220));
    });

    // Nothing may come within this margin of the overlay's own button.
    const QRectF forbidden = padded(keepClear, 12);
    for (const Callout &c : callouts) {
        const QRectF box = bubbleRect(c);
        bool clash = box.intersects(forbidden);
        for (const QPointF &target : c.targets)
            clash = clash || segmentTouches(lineStart(box, target), target, forbidden);
        if (clash)
            result.clashes << c.label;
    }
    for (const QRectF &h : highlights) {
        if (h.intersects(forbidden))
            result.clashes << QStringLiteral("highlight");
    }
    return result;
}
