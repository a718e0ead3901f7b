#pragma once

#include "vote/VoterRanking.h"

#include <QListWidget>
#include <QStyleOptionViewItem>
#include <QString>

class QLabel;

// A team's voter list: one row per viewer, highest tally first, the nick on
// the left and "%d票" on the right in the team's colour. It keeps no item per
// viewer: it paints the rows on screen straight from the session's ranking,
// each through one row widget built like a list row, so a vote costs the
// same with a hundred voters as with a hundred thousand.
class VoterListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit VoterListWidget(QWidget *parent = nullptr);

    // The ranking to show (owned by the vote session) and the team colour "r,g,b,a".
    void setVoters(const VoterRanking *voters, const QString &colour);
    // The vote counts show only while the team's gift is in the catalogue.
    void setShowCounts(bool show);
    bool showsCounts() const { return showCounts; }

    // After votes: repaints the rows that moved if they are on screen.
    void votersChanged(const VoterRanking::Change &change);
    // After the ranking was emptied.
    void votersCleared();

    int voterRows() const { return shownRows; }
    // The rows on screen as the streamer reads them: "nick" or "nick|N票",
    // a nick too long for the row cut short with "…".
    QStringList visibleRows() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;

private:
    QStyleOptionViewItem itemOption() const;
    int rowHeight() const;
    int rowStep() const { return rowHeight() + 2 * spacing(); }
    int firstVisibleRow() const;
    void updateScrollRange();
    int visibleRowCount() const;
    QString countText(qint64 votes) const;
    // The nick as it fits before the count in a row `width` wide.
    QString shownNick(const QByteArray &nick, const QString &count, int width) const;

    const VoterRanking *ranking = nullptr;
    int shownRows = 0;
    bool showCounts = false;
    mutable int cachedRowHeight = -1;
    QLabel *row = nullptr; // transparent container of the two labels
    QLabel *nickLabel = nullptr;
    QLabel *countLabel = nullptr;
};
