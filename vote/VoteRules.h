#pragma once

// Fair-vote rules a streamer may set per vote. They apply to chat votes only
// (a paid gift always counts); all off is plain counting.
struct VoteRules
{
    static constexpr int kLongestCooldown = 3600; // seconds

    bool onePerViewer = false; // a viewer's first counted chat vote stands
    bool allowChange = false; // with onePerViewer: the latest chat vote stands instead
    int cooldownSeconds = 0; // 0: off; 1..3600: a viewer's chat votes this close count nothing
    bool stopAtTimeUp = false; // counting stops when the countdown reaches 时间到
    // A chat line that is exactly a shown team's number ("1", or the full-width
    // "１") counts for it too. It turns no vote away, so it is no fair-vote rule.
    bool voteByNumber = false;

    // A fair-vote rule is on: the rule line shows, and votes may be ignored.
    bool anyOn() const { return onePerViewer || cooldownSeconds > 0 || stopAtTimeUp; }
    bool operator==(const VoteRules &other) const
    {
        return onePerViewer == other.onePerViewer && allowChange == other.allowChange
            && cooldownSeconds == other.cooldownSeconds && stopAtTimeUp == other.stopAtTimeUp
            && voteByNumber == other.voteByNumber;
    }
    bool operator!=(const VoteRules &other) const { return !(*this == other); }
};

// Why a vote counted nothing under the rules.
enum class IgnoredReason : int {
    None = 0,
    OnePerViewer,
    Cooldown,
    AfterTimeUp,
};
inline constexpr int kIgnoredReasonCount = 4; // None included

// The reason's name in records and on the results page.
inline const char *ignoredReasonKey(IgnoredReason reason)
{
    switch (reason) {
    case IgnoredReason::OnePerViewer:
        return "one_per_viewer";
    case IgnoredReason::Cooldown:
        return "cooldown";
    case IgnoredReason::AfterTimeUp:
        return "after_time_up";
    case IgnoredReason::None:
        break;
    }
    return "";
}
