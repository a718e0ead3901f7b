#include "ui/VoterListWidget.h"

#include "ui/StyleFill.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>

VoterListWidget::VoterListWidget(QWidget *parent)
    : QListWidget(parent)
{
    // The row every voter is shown with: a transparent container holding the
    // nick, a stretch and the count. It is never shown, only painted.
    row = new QLabel(viewport());
    row->setStyleSheet(QString::fromUtf8(VoteStyles::kTransparentBackground));
    nickLabel = new QLabel(row);
    nickLabel->setAlignment(Qt::AlignLeft);
    nickLabel->setMinimumWidth(60);
    countLabel = new QLabel(row);
    countLabel->setAlignment(Qt::AlignRight);
    countLabel->setMinimumWidth(60);
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(nickLabel);
    layout->addStretch();
    layout->addWidget(countLabel, 0, Qt::AlignRight | Qt::AlignVCenter);
    row->setLayout(layout);
    row->hide();
}

void VoterListWidget::setVoters(const VoterRanking *voters, const QString &colour)
{
    ranking = voters;
    const QString style = VoteStyles::fill(VoteStyles::kVoterRow, colour);
    nickLabel->setStyleSheet(style);
    countLabel->setStyleSheet(style);
    votersCleared();
    shownRows = ranking ? ranking->size() : 0;
    updateGeometries();
}

void VoterListWidget::setShowCounts(bool show)
{
    if (show == showCounts)
        return;
    showCounts = show;
    viewport()->update();
}

QString VoterListWidget::countText(qint64 votes) const
{
    return showCounts ? QStringLiteral("%1票").arg(votes) : QString();
}

QString VoterListWidget::shownNick(const QByteArray &nick, const QString &count, int width) const
{
    // The count keeps its room (at least its minimum width); the nick gets
    // the rest, less the layout's gaps around the stretch between them.
    nickLabel->ensurePolished();
    countLabel->ensurePolished();
    const int countWidth =
        std::max(countLabel->minimumWidth(), countLabel->fontMetrics().horizontalAdvance(count));
    const int room = width - countWidth - 2 * row->layout()->spacing();
    return nickLabel->fontMetrics().elidedText(QString::fromUtf8(nick), Qt::ElideRight,
                                               std::max(room, nickLabel->minimumWidth()));
}

int VoterListWidget::rowHeight() const
{
    // The height the list gives an empty row of its own, with its font and style.
    if (cachedRowHeight < 0) {
        QStyleOptionViewItem option = itemOption();
        option.features = QStyleOptionViewItem::None;
        cachedRowHeight = std::max(
            1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
    }
    return cachedRowHeight;
}

QStyleOptionViewItem VoterListWidget::itemOption() const
{
    // The options the list draws its items with; Qt 6 renamed the call.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return option;
#else
    return viewOptions();
#endif
}

int VoterListWidget::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int VoterListWidget::visibleRowCount() const
{
    // Rows wholly on screen; the list scrolls by whole rows.
    return std::max(1, viewport()->height() / rowStep());
}

void VoterListWidget::updateScrollRange()
{
    // As a list of that many rows scrolls: by whole rows, a page being the
    // rows wholly on screen, and not at all while every row fits.
    QScrollBar *bar = verticalScrollBar();
    bar->setSingleStep(1);
    if (qint64(shownRows) * rowStep() > viewport()->height()) {
        const int fit = visibleRowCount();
        if (bar->maximum() > 0 && bar->pageStep() == fit) {
            // The bar stays shown: a new length needs no new layout of the list,
            // which its range signals would ask for (and a changed vote changes
            // two lists' lengths). A value cut to the new end repaints here.
            const int value = bar->value();
            const QSignalBlocker quiet(bar);
            bar->setRange(0, shownRows - fit);
            if (bar->value() != value)
                viewport()->update();
            return;
        }
        bar->setPageStep(fit);
        bar->setRange(0, shownRows - fit);
    } else {
        bar->setPageStep(shownRows + 1);
        bar->setRange(0, 0);
    }
}

void VoterListWidget::updateGeometries()
{
    // The list's own items are none: size the scroll bar for the voters instead.
    QAbstractItemView::updateGeometries();
    updateScrollRange();
}

void VoterListWidget::scrollContentsBy(int, int)
{
    viewport()->update();
}

void VoterListWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        cachedRowHeight = -1;
    QListWidget::changeEvent(event);
}

void VoterListWidget::votersChanged(const VoterRanking::Change &change)
{
    if (!ranking || !change.any())
        return;
    if (ranking->size() != shownRows) {
        shownRows = ranking->size();
        // Only the range of the scroll bar grows; no row is laid out.
        updateScrollRange();
    }
    const int first = firstVisibleRow();
    const int last = first + visibleRowCount(); // a partly shown row too
    if (change.last < first || change.first > last)
        return;
    const int top = spacing() + (std::max(change.first, first) - first) * rowStep();
    const int bottom = spacing() + (std::min(change.last, last) - first + 1) * rowStep();
    viewport()->update(0, top - spacing(), viewport()->width(), bottom - top + spacing());
}

void VoterListWidget::votersCleared()
{
    shownRows = 0;
    verticalScrollBar()->setValue(0);
    updateGeometries();
    viewport()->update();
}

QStringList VoterListWidget::visibleRows() const
{
    QStringList rows;
    if (!ranking)
        return rows;
    const int first = firstVisibleRow();
    const int end = std::min(shownRows, first + visibleRowCount() + 1);
    const int width = viewport()->width() - 2 * spacing();
    for (int index = first; index < end; ++index) {
        const VoterRanking::Entry &entry = ranking->at(index);
        const QString count = countText(entry.votes);
        rows << shownNick(entry.nick, count, width)
                + (count.isEmpty() ? QString() : QLatin1Char('|') + count);
    }
    return rows;
}

void VoterListWidget::paintEvent(QPaintEvent *event)
{
    if (!ranking || shownRows == 0)
        return;
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int step = rowStep();
    const int width = viewport()->width() - 2 * spacing();
    const int height = rowHeight();
    const int first = firstVisibleRow();
    row->resize(width, height);
    // Each row is drawn into a picture of its own first, as the row widget it
    // stands for would draw itself.
    // On the list's own background, so the text is smoothed as it would be there.
    QPixmap picture(width, height);
    const QColor background = viewport()->palette().color(viewport()->backgroundRole());
    for (int index = first; index < shownRows; ++index) {
        const int top = spacing() + (index - first) * step;
        if (top >= viewport()->height())
            break;
        const QRect area(spacing(), top, width, height);
        if (!area.intersects(dirty))
            continue;
        const VoterRanking::Entry &entry = ranking->at(index);
        const QString count = countText(entry.votes);
        nickLabel->setText(shownNick(entry.nick, count, width));
        countLabel->setText(count);
        row->layout()->activate();
        picture.fill(background);
        row->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        painter.drawPixmap(area.topLeft(), picture);
    }
}
