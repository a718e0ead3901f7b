#pragma once

#include "records/VoteRecordFolder.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

class CTitleBar;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The past votes, newest first, in a card like the gift selector's: start
// time, question, each shown team with its total, duration and a mark for a
// vote that ended without a clean end. The chosen one can be restored (not
// while counting) or exported. Totals the folder keeps no summary of are
// counted in the background and filled in as they come; an export is written
// in the background too, so the window counts on meanwhile. Closing the
// dialog cuts both short.
class VoteRecordsDialog : public QDialog
{
    Q_OBJECT

public:
    // Puts the recorded vote back into the window; false with a reason.
    using Restore = std::function<bool(const QString &id, QString *error)>;

    VoteRecordsDialog(QWidget *parent, const QString &folder, bool counting, Restore restore);
    ~VoteRecordsDialog() override;

    // The ids of the listed votes, top to bottom.
    QStringList listedIds() const;
    // The text of the row of vote `id`.
    QString rowText(const QString &id) const;
    // Every listed vote's totals are known.
    bool allCounted() const { return uncounted == 0; }

    QListWidget *listControl() const { return list; }
    QPushButton *restoreControl() const { return restoreButton; }
    QPushButton *exportControl() const { return exportButton; }
    CTitleBar *titleControl() const { return titleBar; }

private:
    void fill();
    void showListing(const VoteRecordFolder::Listing &listing);
    QListWidgetItem *itemOf(const QString &id) const;
    QString chosenId() const;
    void choiceChanged();
    void restoreChosen();
    void exportChosen();
    void exportDone(bool done, const QString &error, const QString &into);

    QString folder;
    bool counting = false;
    Restore restore;
    CTitleBar *titleBar = nullptr;
    QListWidget *list = nullptr;
    QPushButton *restoreButton = nullptr;
    QPushButton *exportButton = nullptr;
    int uncounted = 0;
    bool exporting = false;

    std::thread counter;
    std::thread exporter;
    std::atomic<bool> closing {false};
};
