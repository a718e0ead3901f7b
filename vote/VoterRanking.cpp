#include "vote/VoterRanking.h"

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
