#pragma once

#include "records/VoteRecord.h"

#include <QList>
#include <QString>

class VoteSession;

// A prepared vote: the setup a streamer asks again and again, loaded with
// one press. The teams' gifts are kept by id (and name, to say which one a
// room does not have).
struct VotePreset
{
    QString name;
    RecordSettings setup; // question, colour, mode, vote type, rules, names and gifts
    qint32 countdownSeconds = 0; // 0: no countdown at start

    // The session's setup now, as a preset.
    static VotePreset of(const VoteSession &session, const QString &name, qint32 countdownSeconds);
    bool operator==(const VotePreset &other) const;
};

// The presets in their order, kept in the user's data folder as
// kiva/presets.json:
//   {"version": 1, "presets": [{"name": "…", "question": "…", "note_color": 1579032,
//     "mode": 2, "vote_type": "chat", "countdown_seconds": 60,
//     "rules": {"one_per_viewer": false, "allow_change": false, "cooldown_seconds": 0,
//               "stop_at_time_up": false, "vote_by_number": false},
//     "teams": [{"name": "红队", "gift_id": "1450928358", "gift_name": "金话筒"}, … four]}]}
// The file is replaced whole at every change (a crash while saving leaves
// the old one). A file that is not such a list is never overwritten: it is
// renamed aside and the list starts empty.
class VotePresets
{
public:
    static constexpr int kMaxPresets = 50;
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // kiva/presets.json in the user's data folder.
    static QString defaultPath();

    explicit VotePresets(const QString &path = QString());

    const QString &path() const { return file; }
    // Reads the file. False with `error` (Chinese, for the reminder) when it
    // was damaged: it is then kept aside, renamed, and the list is empty.
    bool load(QString *error = nullptr);

    const QList<VotePreset> &list() const { return presets; }
    int size() const { return int(presets.size()); }
    // The 0-based position of the preset `which` names: a number 1..size()
    // or a name; -1 when none.
    int find(const QString &which) const;

    // Each change is saved at once; false with `error`, nothing changed, when
    // it cannot be (the list is full, or the file cannot be written).
    bool saveAs(const VotePreset &preset, QString *error = nullptr); // over one of the same name
    bool replace(int position, const VotePreset &preset, QString *error = nullptr);
    bool remove(int position, QString *error = nullptr);
    bool move(int from, int to, QString *error = nullptr);

private:
    bool write(const QList<VotePreset> &next, QString *error);

    QString file;
    QList<VotePreset> presets;
};
