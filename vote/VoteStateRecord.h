#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

struct cJSON;

// The window's settings and on/off flags: a JSON document held in memory,
// every setting a member of the object under "data". Never written to disk.
class VoteStateRecord
{
public:
    VoteStateRecord();
    ~VoteStateRecord();
    VoteStateRecord(const VoteStateRecord &) = delete;
    VoteStateRecord &operator=(const VoteStateRecord &) = delete;

    // The integer part of the number under "data"/key; 0 when any of them is missing.
    qint32 value(const char *key) const;
    // Replaces the member: removed if present, then appended as the last member.
    void setValue(const char *key, qint64 value);
    void setText(const char *key, const char *text);

    // The text under "data"/key; empty when missing or not a string.
    QByteArray text(const char *key) const;
    // Member names of "data" in document order.
    QList<QByteArray> keys() const;

    // Sets the window's defaults, in their fixed order.
    void setDefaults();

private:
    cJSON *document = nullptr;
    cJSON *data() const;
};

// Names of the settings.
namespace StateKey {
inline constexpr char kMoreSetting[] = "more_setting";
inline constexpr char kStartGame[] = "start_game";
inline constexpr char kTimes[] = "times";
inline constexpr char kStartTimeMeter[] = "start_time_meter";
inline constexpr char kVoteType[] = "voteType";
inline constexpr char kVoteMode[] = "voteMode";
inline constexpr char kNoteColor[] = "noteColor";
inline constexpr char kNoteInfo[] = "noteInfo";
} // namespace StateKey
