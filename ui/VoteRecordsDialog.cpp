#include "ui/VoteRecordsDialog.h"

#include "records/VoteRecordFolder.h"
#include "shell/CTitleBar.h"
#include "shell/CWndRemind.h"
#include "ui/ResultPicture.h"
#include "ui/CardDialog.h"
#include "ui/StyleFill.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

constexpr int kPanelWidth = 560;
constexpr int kPanelHeight = 493;

QString rowTextOf(const VoteRecordFolder::Listing &listing)
{
    const QDateTime started =
        QDateTime::fromString(QString::fromUtf8(listing.started), Qt::ISODateWithMs);
    QString first =
        started.isValid() ? started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : listing.id;
    first += QStringLiteral("    ")
        + (listing.question.isEmpty() ? QStringLiteral("（未填写投票问题）") : listing.question);
    QStringList teams;
    for (const VoteRecordFolder::Listing::Team &team : listing.teams) {
        const QString name =
            team.name.isEmpty() ? QStringLiteral("%1队").arg(team.index) : team.name;
        teams << (listing.counted ? QStringLiteral("%1 %2票").arg(name).arg(team.total)
                                  : name + QStringLiteral(" …"));
    }
    QString second = teams.join(QStringLiteral(" · "));
    if (!listing.durationText().isEmpty())
        second += QStringLiteral("    时长 ") + listing.durationText();
    if (listing.inUse)
        second += QStringLiteral("    进行中");
    else if (!listing.cleanEnd)
        second += QStringLiteral("    ⚠ 未正常结束");
    return first + QLatin1Char('\n') + second;
}

QPushButton *cardButton(const QString &text)
{
    auto *button = new QPushButton(text);
    button->setFixedSize(120, 40);
    button->setStyleSheet(QString::fromUtf8(VoteStyles::kConfirmButton)
                          + QString::fromUtf8(VoteStyles::kRecordsDisabledButton));
    return button;
}

} // namespace

VoteRecordsDialog::VoteRecordsDialog(QWidget *parent, const QString &recordsFolder,
                                     bool countingNow, Restore restoreVote)
    : QDialog(parent)
    , folder(recordsFolder)
    , counting(countingNow)
    , restore(std::move(restoreVote))
{
    titleBar = CardDialog::setUp(this, "投票记录");

    auto *panel = new QFrame(this);
    list = new QListWidget;
    list->setStyleSheet(QString::fromUtf8(VoteStyles::kRecordsList));
    list->verticalScrollBar()->setStyleSheet(QString::fromUtf8(VoteStyles::kScrollBar));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setUniformItemSizes(true);
    list->setObjectName(QStringLiteral("recordsList"));

    auto *where = new QLabel(QStringLiteral("记录保存在 %1").arg(QDir::toNativeSeparators(folder)));
    where->setStyleSheet(
        VoteStyles::fill(VoteStyles::kRecordsNote, QStringLiteral("155,155,155,1")));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);

    restoreButton = cardButton(QStringLiteral("恢复"));
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    if (counting)
        restoreButton->setToolTip(QStringLiteral("计票中不能恢复，请先停止计票"));
    exportButton = cardButton(QStringLiteral("导出"));
    exportButton->setObjectName(QStringLiteral("exportButton"));

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(20);
    buttons->addStretch();
    buttons->addWidget(restoreButton);
    buttons->addWidget(exportButton);
    buttons->addStretch();

    auto *panelLayout = new QVBoxLayout;
    panelLayout->setContentsMargins(26, 0, 26, 20);
    panelLayout->setSpacing(10);
    panelLayout->addWidget(titleBar);
    panelLayout->addWidget(list, 1);
    panelLayout->addWidget(where);
    panelLayout->addLayout(buttons);

    CardDialog::placePanel(this, panel, panelLayout, QSize(kPanelWidth, kPanelHeight));

    fill();

    connect(titleBar, &CTitleBar::OnClose, this, &QDialog::reject);
    connect(list, &QListWidget::currentRowChanged, this, &VoteRecordsDialog::choiceChanged);
    connect(restoreButton, &QPushButton::clicked, this, &VoteRecordsDialog::restoreChosen);
    connect(exportButton, &QPushButton::clicked, this, &VoteRecordsDialog::exportChosen);
    choiceChanged();
}

VoteRecordsDialog::~VoteRecordsDialog()
{
    closing = true;
    if (counter.joinable())
        counter.join();
    if (exporter.joinable())
        exporter.join();
}

void VoteRecordsDialog::fill()
{
    const QList<VoteRecordFolder::Listing> listings = VoteRecordFolder::list(folder);
    QStringList toCount;
    for (const VoteRecordFolder::Listing &listing : listings) {
        auto *item = new QListWidgetItem(rowTextOf(listing), list);
        item->setData(Qt::UserRole, listing.id);
        if (!listing.counted)
            toCount << listing.id;
    }
    if (listings.isEmpty()) {
        auto *item = new QListWidgetItem(QStringLiteral("还没有投票记录"), list);
        item->setFlags(Qt::NoItemFlags);
        return;
    }
    list->setCurrentRow(0);
    uncounted = int(toCount.size());
    if (toCount.isEmpty())
        return;
    // A journal the folder has no summary of yet is read whole, which takes a
    // while for a long vote: in the background, newest first.
    counter = std::thread([this, toCount] {
        for (const QString &id : toCount) {
            VoteRecordFolder::Listing listing;
            if (!VoteRecordFolder::summarise(folder, id, listing, nullptr, &closing))
                listing.id = id;
            if (closing)
                return;
            QMetaObject::invokeMethod(
                this, [this, listing] { showListing(listing); }, Qt::QueuedConnection);
        }
    });
}

void VoteRecordsDialog::showListing(const VoteRecordFolder::Listing &listing)
{
    --uncounted;
    if (QListWidgetItem *item = itemOf(listing.id); item && listing.counted)
        item->setText(rowTextOf(listing));
}

QListWidgetItem *VoteRecordsDialog::itemOf(const QString &id) const
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole).toString() == id)
            return list->item(row);
    }
    return nullptr;
}

QStringList VoteRecordsDialog::listedIds() const
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row) {
        const QString id = list->item(row)->data(Qt::UserRole).toString();
        if (!id.isEmpty())
            ids << id;
    }
    return ids;
}

QString VoteRecordsDialog::rowText(const QString &id) const
{
    const QListWidgetItem *item = itemOf(id);
    return item ? item->text() : QString();
}

QString VoteRecordsDialog::chosenId() const
{
    const QListWidgetItem *item = list->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void VoteRecordsDialog::choiceChanged()
{
    const bool chosen = !chosenId().isEmpty();
    restoreButton->setEnabled(chosen && !counting);
    exportButton->setEnabled(chosen && !exporting);
}

void VoteRecordsDialog::restoreChosen()
{
    QString error;
    if (restore && restore(chosenId(), &error)) {
        accept();
        return;
    }
    showRemind(QStringLiteral("错误"), QStringLiteral("无法恢复这次投票：%1").arg(error), this);
}

void VoteRecordsDialog::exportChosen()
{
    const QString id = chosenId();
    // The documents folder, or the home folder where there is none.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    const QString into =
        QFileDialog::getExistingDirectory(this, QStringLiteral("选择导出文件夹"), start);
    if (id.isEmpty() || into.isEmpty() || exporting)
        return;
    // A long vote takes seconds to read and write: the window counts on meanwhile.
    exporting = true;
    choiceChanged();
    if (exporter.joinable())
        exporter.join(); // the last export, long done
    exporter = std::thread([this, journal = VoteRecordFolder::journalPath(folder, id), into] {
        QString error;
        const bool done =
            exportVoteRecord(journal, exportFilesIn(into, journal), &error, &closing);
        if (closing)
            return;
        QMetaObject::invokeMethod(
            this, [this, done, error, into] { exportDone(done, error, into); },
            Qt::QueuedConnection);
    });
}

void VoteRecordsDialog::exportDone(bool done, const QString &error, const QString &into)
{
    exporting = false;
    choiceChanged();
    if (!done) {
        showRemind(QStringLiteral("错误"), QStringLiteral("导出失败：%1").arg(error), this);
        return;
    }
    showRemind(QStringLiteral("提示"),
               QStringLiteral("已导出表格、摘要和图片到<br>%1").arg(QDir::toNativeSeparators(into)),
               this);
}
