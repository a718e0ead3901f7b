// The vote window's board: the totals, the voter lists, the lead and rule
// lines, as room votes and the gift catalogue arrive.
#include "ui/kivaPlugInVote.h"

#include "catalogue/GiftCatalogue.h"
#include "catalogue/GiftList.h"
#include "platform/Platform.h"
#include "shell/CWndRemind.h"
#include "ui/StyleFill.h"
#include "ui/VoterListWidget.h"
#include "ui/productsSelector.h"
#include "vote/VoteCommands.h"

#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>

#include <algorithm>

// Each chat line and gift as it reaches the window (off unless asked for:
// QT_LOGGING_RULES="kiva.room.debug=true").
Q_LOGGING_CATEGORY(lcRoom, "kiva.room", QtWarningMsg)

namespace {

constexpr int kLeadRowWidth = 706;

// The text as wide as it gets with as many digits.
int widestAdvance(const QFontMetrics &metrics, QString text)
{
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    }
    for (QChar &c : text) {
        if (c.isDigit())
            c = widest;
    }
    return metrics.horizontalAdvance(text);
}

} // namespace

void kivaPlugInVote::on_products_clicked()
{
    productsSelector selector(this, vote);
    openSelector = &selector;
    if (selector.exec() != QDialog::Accepted)
        return;
    for (const productsSelector::Choice &choice : selector.choices())
        vote.chooseGift(choice.team, choice.productId, vote.products().at(choice.productId));
    for (int index = 1; index <= kTeamCount; ++index) {
        showChosenGift(index);
        teamWidgets[index].giftButton->repaint();
        repaint();
    }
    teamWidgets[1].giftButton->repaint();
    refreshVoterCounts();
    overlayChanged(); // the page names each team's gift
    // One report per confirmed choice, not one per team.
    reportInteraction("13");
}

void kivaPlugInVote::showChosenGift(int index)
{
    const TeamRecord &team = vote.team(index);
    // A gift never picked from the room's list has no downloaded picture:
    // the button keeps the one it has rather than losing it.
    if (team.gift.imageDir.isEmpty())
        return;
    const QString path = productsSelector::imagePath(team.gift.imageDir, team.giftId);
    teamWidgets[index].giftButton->setStyleSheet(
        VoteStyles::fill(VoteStyles::kChosenGift, VoteStyles::quotedUrl(path)));
}

void kivaPlugInVote::on_team1_changed(const QString &text)
{
    vote.setTeamName(1, text.toUtf8());
    ruleLineLeadLength = -1; // the lead's width changes with the names
    overlayChanged();
}

void kivaPlugInVote::on_team2_changed(const QString &text)
{
    vote.setTeamName(2, text.toUtf8());
    ruleLineLeadLength = -1; // the lead's width changes with the names
    overlayChanged();
}

void kivaPlugInVote::on_team3_changed(const QString &text)
{
    vote.setTeamName(3, text.toUtf8());
    overlayChanged();
}

void kivaPlugInVote::on_team4_changed(const QString &text)
{
    vote.setTeamName(4, text.toUtf8());
    overlayChanged();
}

void kivaPlugInVote::showVotes(int index, bool trailingBlank)
{
    const QString text = QStringLiteral("%1票").arg(vote.team(index).votes);
    teamWidgets[index].votesLabel->setText(trailingBlank ? text + QLatin1Char(' ') : text);
}

void kivaPlugInVote::refreshLead()
{
    showLead(vote.leadText());
}

void kivaPlugInVote::showLead(const QString &text)
{
    leadLabel->setText(text);
    refreshRuleLine();
}

// The rule line shares the lead line's row: beside the lead with two teams
// (the lead keeps the room its text needs), alone under the board otherwise.
// Measuring text costs more than the rest of a vote, so the row is laid out
// again only when the lead or the count gets longer or shorter: one of as
// many characters (a new margin or count of as many digits, the lead changing
// hands) fits the room laid out for the widest digits. The rules, the mode
// and the team names ask for a new layout.
void kivaPlugInVote::refreshRuleLine()
{
    if (!vote.rules().anyOn()) {
        if (!ruleLabel->isHidden()) {
            ruleLabel->hide();
            leadLabel->setFixedWidth(kLeadRowWidth);
        }
        ruleLineLeadLength = -1;
        return;
    }
    const qint64 ignored = vote.ignoredTotal();
    const int leadLength = vote.voteMode() == 2 ? leadLabel->text().size() : 0;
    if (ignored == ruleLineIgnored && leadLength == ruleLineLeadLength)
        return;
    const QString count = VoteSession::ignoredText(ignored);
    if (leadLength != ruleLineLeadLength || count.size() != ruleLineCountLength) {
        ruleLineLeadLength = leadLength;
        ruleLineCountLength = count.size();
        layOutRuleLine(count);
    }
    ruleLineIgnored = ignored;
    ruleLabel->setText(ruleNamesShown + QStringLiteral(" · ") + count);
    ruleLabel->show();
}

// Ignored votes reach the rule line once per pass of the event loop: a
// burst of them costs one write of the line, not one each.
void kivaPlugInVote::ruleLineDue()
{
    if (ruleLineQueued)
        return;
    ruleLineQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            ruleLineQueued = false;
            refreshRuleLine();
        },
        Qt::QueuedConnection);
}

void kivaPlugInVote::layOutRuleLine(const QString &count)
{
    ruleLabel->ensurePolished();
    leadLabel->ensurePolished();
    const QFontMetrics metrics = ruleLabel->fontMetrics();
    const QString &names = ruleNames;
    const int countNeeds = widestAdvance(metrics, QStringLiteral(" · ") + count);
    int width = kLeadRowWidth;
    if (vote.voteMode() == 2) {
        constexpr int kGap = 24; // around the lead's text, its padding included
        const int leadNeeds = widestAdvance(leadLabel->fontMetrics(), leadLabel->text()) + kGap;
        width = std::max(0,
                         std::min(metrics.horizontalAdvance(names) + countNeeds + kGap / 2,
                                  kLeadRowWidth - leadNeeds));
        ruleLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else {
        ruleLabel->setAlignment(Qt::AlignCenter);
    }
    leadLabel->setFixedWidth(kLeadRowWidth - width);
    ruleLabel->setFixedWidth(width);
    // In a narrow row the names give way; the count of ignored votes stays.
    ruleNamesShown = metrics.elidedText(names, Qt::ElideRight, std::max(0, width - countNeeds));
}

void kivaPlugInVote::refreshVoterCounts()
{
    for (int index = 1; index <= kTeamCount; ++index)
        teamWidgets[index].voterList->setShowCounts(vote.hasProduct(vote.team(index).giftId));
}

void kivaPlugInVote::showCountResult(const CountResult &result, bool giftVote)
{
    for (int index = 1; index <= kTeamCount; ++index) {
        if (!result.changed(index))
            continue;
        // After a gift vote team 4's label carries a trailing blank, as it always has.
        showVotes(index, giftVote && index == 4);
        teamWidgets[index].voterList->votersChanged(result.voterRows[index]);
    }
    if (result.refreshLead)
        refreshLead();
    if (result.ignored != IgnoredReason::None)
        ruleLineDue();
    if (result.changedTeams || result.ignored != IgnoredReason::None)
        overlayChanged();
}

void kivaPlugInVote::on_text_message(const char *nick, const char *text)
{
    const CountResult result = commands->countChat(nick, text);
    showCountResult(result, false);
    qCDebug(lcRoom).noquote() << "chat" << QString::fromUtf8(nick) << ":" << QString::fromUtf8(text)
                              << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_gift_message(const char *nick, const char *product_id, int buyTimes)
{
    const CountResult result = commands->countGift(nick, product_id, buyTimes);
    showCountResult(result, true);
    qCDebug(lcRoom).noquote() << "gift" << QString::fromUtf8(nick) << ":" << product_id << "x"
                              << buyTimes << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_auth_message(const char *kivaid, const char *roomid, const char *token)
{
    if (!kivaid || !roomid || !token)
        return;
    vote.setLogin(kivaid, roomid, token);
    // In the background: votes go on being counted while the list comes.
    catalogue->fetchList(vote.login());
}

void kivaPlugInVote::listReady(const QList<GiftListEntry> &entries)
{
    const QString folder = Platform::imageCacheFolder();
    for (const GiftListEntry &entry : entries)
        addProduct(entry.productId, entry.name, entry.imageUrl, folder, entry.price);
    refreshVoterCounts();
}

void kivaPlugInVote::listFailed()
{
    // One card at a time: failures of logins in quick succession say the same.
    if (listCard)
        return;
    showRemind(QStringLiteral("错误"), QStringLiteral("获取礼物列表失败，请重新登录"), this,
               &listCard);
}

void kivaPlugInVote::imageReady(const QByteArray &productId)
{
    for (int index = 1; index <= kTeamCount; ++index) {
        if (vote.team(index).giftId == productId)
            showChosenGift(index);
    }
    if (openSelector)
        openSelector->pictureArrived(productId);
}

void kivaPlugInVote::addProduct(const QByteArray &productId, const QString &name,
                                const QByteArray &imageUrl, const QString &imageFolder,
                                qint32 price)
{
    ProductRecord entry;
    entry.name = name;
    entry.imageUrl = imageUrl;
    entry.imageDir = imageFolder.toUtf8();
    entry.price = price;
    if (vote.addProduct(productId, entry))
        catalogue->cachePicture(productId, imageUrl, imageFolder);
}
