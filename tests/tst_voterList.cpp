// A team's voter list: what it shows after votes, and that it looks exactly
// like a list holding one row widget per voter.
#include "ui/StyleFill.h"
#include "ui/VoterListWidget.h"
#include "vote/VoterRanking.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

const QString kColour = QStringLiteral("98,54,255,1");

// The list settings of a team column.
template<typename List> void configure(List &list)
{
    list.setIconSize(QSize(90, 50));
    list.setResizeMode(QListView::Fixed);
    list.setViewMode(QListView::ListMode);
    list.setMovement(QListView::Static);
    list.setSpacing(1);
    list.setStyleSheet(QString::fromUtf8(VoteStyles::kVoterList));
    list.verticalScrollBar()->setStyleSheet(QString::fromUtf8(VoteStyles::kScrollBar));
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

// The classic build: one item and one row widget per voter.
void fillWithRowWidgets(QListWidget &list, const VoterRanking &ranking, bool counts)
{
    const QString style = VoteStyles::fill(VoteStyles::kVoterRow, kColour);
    for (const VoterRanking::Entry &entry : ranking) {
        auto *item = new QListWidgetItem;
        auto *container = new QLabel;
        container->setStyleSheet(QString::fromUtf8(VoteStyles::kTransparentBackground));
        auto *nick = new QLabel;
        nick->setStyleSheet(style);
        nick->setAlignment(Qt::AlignLeft);
        nick->setMinimumWidth(60);
        nick->setText(QString::fromUtf8(entry.nick));
        auto *count = new QLabel;
        count->setStyleSheet(style);
        count->setAlignment(Qt::AlignRight);
        count->setMinimumWidth(60);
        if (counts)
            count->setText(QStringLiteral("%1票").arg(entry.votes));
        auto *layout = new QHBoxLayout;
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(nick);
        layout->addStretch();
        layout->addWidget(count, 0, Qt::AlignRight | Qt::AlignVCenter);
        container->setLayout(layout);
        list.insertItem(list.count(), item);
        list.setItemWidget(item, container);
    }
}

VoterRanking crowd(int voters)
{
    VoterRanking ranking;
    for (int i = 0; i < voters; ++i)
        ranking.add(QStringLiteral("观众%1").arg(i).toUtf8(), voters - i);
    return ranking;
}

// Text is smoothed against a slightly different backdrop: a few levels of a
// channel may differ, never a visible amount.
constexpr int kSmoothingTolerance = 8;

int largestDifference(const QImage &a, const QImage &b)
{
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

QImage shot(QWidget &widget)
{
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.show();
    QCoreApplication::processEvents();
    return widget.grab().toImage();
}

} // namespace

class TestVoterList : public QObject
{
    Q_OBJECT

private slots:
    void looksLikeRowWidgets_data();
    void looksLikeRowWidgets();
    void showsRowsAfterVotes();
    void rowsTakenAtTheEnd();
};

void TestVoterList::looksLikeRowWidgets_data()
{
    QTest::addColumn<int>("voters");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("scrollTo");
    QTest::addColumn<bool>("counts");

    QTest::newRow("a few rows") << 3 << 150 << 0 << true;
    QTest::newRow("rows without counts") << 3 << 150 << 0 << false;
    QTest::newRow("more rows than fit") << 12 << 150 << 0 << true;
    QTest::newRow("scrolled") << 12 << 150 << 4 << true;
    QTest::newRow("scrolled to the end") << 12 << 150 << 1000 << true;
    QTest::newRow("taller list") << 30 << 213 << 7 << true;
    QTest::newRow("empty") << 0 << 150 << 0 << true;
}

void TestVoterList::looksLikeRowWidgets()
{
    QFETCH(int, voters);
    QFETCH(int, height);
    QFETCH(int, scrollTo);
    QFETCH(bool, counts);

    const VoterRanking ranking = crowd(voters);
    QListWidget reference;
    configure(reference);
    reference.resize(142, height);
    fillWithRowWidgets(reference, ranking, counts);

    VoterListWidget list;
    configure(list);
    list.resize(142, height);
    list.setVoters(&ranking, kColour);
    list.setShowCounts(counts);

    shot(reference);
    shot(list);
    QCOMPARE(list.verticalScrollBar()->maximum(), reference.verticalScrollBar()->maximum());
    QCOMPARE(list.verticalScrollBar()->isVisible(), reference.verticalScrollBar()->isVisible());
    if (reference.verticalScrollBar()->maximum() > 0)
        QCOMPARE(list.verticalScrollBar()->pageStep(), reference.verticalScrollBar()->pageStep());
    reference.verticalScrollBar()->setValue(scrollTo);
    list.verticalScrollBar()->setValue(scrollTo);
    const QImage expected = shot(reference);
    const QImage actual = shot(list);
    QCOMPARE(actual.size(), expected.size());
    const int difference = largestDifference(actual, expected);
    if (difference > kSmoothingTolerance) {
        expected.save(QStringLiteral("voterlist-expected.png"));
        actual.save(QStringLiteral("voterlist-actual.png"));
    }
    QVERIFY2(difference <= kSmoothingTolerance, qPrintable(QString::number(difference)));
}

void TestVoterList::showsRowsAfterVotes()
{
    VoterRanking ranking;
    VoterListWidget list;
    configure(list);
    list.resize(142, 150);
    list.setVoters(&ranking, kColour);
    shot(list);
    for (const char *nick : {"x", "y", "x", "x"})
        list.votersChanged(ranking.add(nick, 1));
    QCOMPARE(list.visibleRows(), (QStringList {"x", "y"}));
    list.setShowCounts(true);
    QCOMPARE(list.visibleRows(), (QStringList {"x|3票", "y|1票"}));
    ranking.clear();
    list.votersCleared();
    QVERIFY(list.visibleRows().isEmpty());
    QCOMPARE(list.voterRows(), 0);
}

void TestVoterList::rowsTakenAtTheEnd()
{
    // Scrolled to the end of a long list, viewers leave it (changed votes):
    // the range shrinks with them and the list still looks as one built anew.
    VoterRanking ranking = crowd(30);
    VoterListWidget list;
    configure(list);
    list.resize(142, 150);
    list.setVoters(&ranking, kColour);
    list.setShowCounts(true);
    shot(list);
    QScrollBar *bar = list.verticalScrollBar();
    bar->setValue(bar->maximum());
    const int maximum = bar->maximum();
    for (const char *nick : {"观众29", "观众3", "观众17"})
        list.votersChanged(ranking.take(nick, 1000));
    QCOMPARE(ranking.size(), 27);
    QCOMPARE(bar->maximum(), maximum - 3);
    QCOMPARE(bar->value(), bar->maximum());

    QListWidget reference;
    configure(reference);
    reference.resize(142, 150);
    fillWithRowWidgets(reference, ranking, true);
    shot(reference);
    reference.verticalScrollBar()->setValue(reference.verticalScrollBar()->maximum());
    QCOMPARE(bar->maximum(), reference.verticalScrollBar()->maximum());
    QVERIFY(largestDifference(shot(list), shot(reference)) <= kSmoothingTolerance);
}

QTEST_MAIN(TestVoterList)
#include "tst_voterList.moc"
