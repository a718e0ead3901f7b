#include "vote/VoterRanking.h"

#include <algorithm>
#include <limits>

std::optional<qint64> VoterRanking::find(const QByteArray &nick) const
{
    const auto it = rowOf.constFind(nick);
    if (it == rowOf.constEnd())
        return std::nullopt;
    return rows[std::size_t(it.value())].votes;
}

qint64 VoterRanking::at(const QByteArray &nick) const
{
    return rows[std::size_t(rowOf.value(nick))].votes;
}

void VoterRanking::clear()
{
    rows.clear();
    rowOf.clear();
    blockHead.clear();
}

void VoterRanking::place(int row, const Entry &entry)
{
    rows[std::size_t(row)] = entry;
    rowOf[entry.nick] = row;
}

// The row, the first of its block, leaves the block of `votes`.
void VoterRanking::leaveBlock(qint64 votes, int row)
{
    const int next = row + 1;
    if (next < size() && rows[std::size_t(next)].votes == votes)
        blockHead[votes] = next;
    else
        blockHead.remove(votes);
}

VoterRanking::Change VoterRanking::add(const QByteArray &nick, qint64 votes)
{
    Change change;
    int row;
    const auto found = rowOf.constFind(nick);
    if (found == rowOf.constEnd()) {
        // A new viewer enters at the end with nothing, then rises like anyone.
        row = size();
        rows.push_back(Entry {nick, 0});
        rowOf.insert(nick, row);
        if (row == 0 || rows[std::size_t(row - 1)].votes != 0)
            blockHead.insert(0, row);
        change.first = change.last = row;
        change.added = true;
    } else {
        row = found.value();
    }

    Entry voter = rows[std::size_t(row)];
    if (votes <= 0)
        return change;
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const qint64 raised = voter.votes > kMax - votes ? kMax : voter.votes + votes;
    if (raised == voter.votes)
        return change;
    if (!change.any())
        change.first = change.last = row;

    // Pass every block of lower tallies above: swap with the block's head,
    // which takes the voter's old row; the block then starts one row lower.
    qint64 current = voter.votes;
    while (true) {
        const int head = blockHead.value(current, row);
        if (head != row)
            place(row, rows[std::size_t(head)]);
        leaveBlock(current, head);
        row = head;
        if (row == 0 || rows[std::size_t(row - 1)].votes >= raised)
            break;
        current = rows[std::size_t(row - 1)].votes;
        // The voter now stands at the end of the block above; join it to pass it.
        place(row, Entry {voter.nick, current});
        if (!blockHead.contains(current))
            blockHead.insert(current, row);
    }
    voter.votes = raised;
    place(row, voter);
    if (row == 0 || rows[std::size_t(row - 1)].votes != raised)
        blockHead.insert(raised, row);
    change.first = row;
    return change;
}

void VoterRanking::Change::merge(const Change &other)
{
    if (!other.any())
        return;
    first = any() ? std::min(first, other.first) : other.first;
    last = std::max(last, other.last);
    added = added || other.added;
    removed = removed || other.removed;
}

// The last row holding `votes`, searched from `from` (which holds it).
int VoterRanking::lastRowOf(qint64 votes, int from) const
{
    const auto end =
        std::partition_point(rows.begin() + from, rows.end(),
                             [votes](const Entry &entry) { return entry.votes >= votes; });
    return int(end - rows.begin()) - 1;
}

VoterRanking::Change VoterRanking::take(const QByteArray &nick, qint64 votes)
{
    Change change;
    const auto found = rowOf.constFind(nick);
    if (found == rowOf.constEnd() || votes <= 0)
        return change;
    int row = found.value();
    Entry voter = rows[std::size_t(row)];
    const bool leaves = voter.votes <= votes;
    // A viewer who leaves passes every block below and ends on the last row.
    const qint64 lowered = leaves ? -1 : voter.votes - votes;
    change.first = row;

    // Pass every block of higher tallies below: swap with the block's last
    // row, which takes the voter's old row; the block then ends one row higher.
    qint64 current = voter.votes;
    while (true) {
        const int tail = lastRowOf(current, row);
        if (blockHead.value(current) == tail)
            blockHead.remove(current);
        if (tail != row)
            place(row, rows[std::size_t(tail)]);
        row = tail;
        const int next = row + 1;
        if (next >= size() || rows[std::size_t(next)].votes <= lowered)
            break;
        current = rows[std::size_t(next)].votes;
        // The voter now heads the block below; join it to pass it.
        place(row, Entry {voter.nick, current});
        blockHead.insert(current, row);
    }
    change.last = row;
    if (leaves) {
        rows.pop_back();
        rowOf.remove(voter.nick);
        change.removed = true;
        return change;
    }
    voter.votes = lowered;
    place(row, voter);
    // Every row above holds more; rows below with the same tally follow it.
    blockHead.insert(lowered, row);
    return change;
}
