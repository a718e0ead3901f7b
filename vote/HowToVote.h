#pragma once

#include <QString>

class VoteSession;

// The one line that tells the audience how to vote, from the vote's settings:
//   chat:            "发送 红队 或 蓝队 投票"  (by number: "发送 1 或 2 投票")
//   gifts, per team: "送出 金话筒 为 红队 投票，送出 幸运草 为 蓝队 投票"
// and a short form for a narrow page ("金话筒→红队 · 幸运草→蓝队"). Teams
// the audience cannot vote for yet (no name, no gift) are left out; both are
// empty when none is left.
struct HowToVote
{
    QString text;
    QString brief;

    static HowToVote of(const VoteSession &session);
};
