#pragma once

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

#include <optional>
#include <vector>

// The voters of one team, highest tally first, kept in order as votes arrive.
// A viewer whose tally rises swaps with the head of each block of equal
// tallies it passes, one whose tally falls with each block's last row, so one
// vote moves at most a few rows however many viewers there are (tied viewers
// may stand in any order).
class VoterRanking
{
public:
    struct Entry
    {
        QByteArray nick;
        qint64 votes = 0;
    };

    // The rows one change touched: a new row at the end, rows reordered, or
    // the last row gone.
    struct Change
    {
        int first = -1; // lowest row that changed, -1 when none did
        int last = -1; // highest row that changed (a row that left included)
        bool added = false; // the viewer is new and took a row at the end
        bool removed = false; // the viewer left; the list is one row shorter

        bool any() const { return first >= 0; }
        // Both changes' rows, as one range.
        void merge(const Change &other);
    };

    // Adds `votes` (0 or more) to the viewer's tally; a new viewer enters
    // with them. Tallies stop at the largest value instead of wrapping.
    Change add(const QByteArray &nick, qint64 votes);
    // Takes `votes` (1 or more) from the viewer's tally; a viewer left with
    // nothing leaves the ranking. A viewer not listed changes nothing.
    Change take(const QByteArray &nick, qint64 votes);

    int size() const { return int(rows.size()); }
    bool empty() const { return rows.empty(); }
    // Row `row` (0 is the highest tally).
    const Entry &at(int row) const { return rows[std::size_t(row)]; }
    // The viewer's tally; none when the viewer has not voted for the team.
    std::optional<qint64> find(const QByteArray &nick) const;
    // The viewer's tally; the viewer must be listed.
    qint64 at(const QByteArray &nick) const;

    void clear();

    std::vector<Entry>::const_iterator begin() const { return rows.begin(); }
    std::vector<Entry>::const_iterator end() const { return rows.end(); }

private:
    void place(int row, const Entry &entry);
    void leaveBlock(qint64 votes, int row);
    int lastRowOf(qint64 votes, int from) const;

    std::vector<Entry> rows;
    QHash<QByteArray, int> rowOf; // nick -> row
    QHash<qint64, int> blockHead; // tally -> first row holding it
};
