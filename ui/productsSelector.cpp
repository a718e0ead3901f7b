#include "ui/productsSelector.h"

#include "shell/CTitleBar.h"
#include "ui/CardDialog.h"
#include "ui/StyleFill.h"
#include "vote/VoteCounting.h"
#include "vote/VoteSession.h"

#include <QComboBox>
#include <QDebug>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

using VoteStyles::fill;

namespace {


const char kRuleText[] =
    "【特别说明】：<br>"
    "\t\t\t\t\t\t\t\t- "
    "主播投票及观众送背包礼物不计入投票，如观众送出背包礼物后因未计票有疑惑，请主播告知观众此条规则"
    "。<br>"
    "\t\t\t\t\t\t\t\t<br>"
    "\t\t\t\t\t\t\t\t【礼物价格不同时票价折算规则】：<br>"
    "\t\t\t\t\t\t\t\t- 当前票价按最低价格礼物的为准；<br>"
    "\t\t\t\t\t\t\t\t- "
    "高于最低价格的礼物票价折算规则：能整除的直接按整除倍数计票，不能整除的，四舍五入计票。<br>"
    "\t\t\t\t\t\t\t\t- "
    "举例：如主播选了9瓦瓦币的棒棒糖和19瓦瓦币的么么哒，则当前票价为9瓦币（以最低价格的为准），用户"
    "刷9瓦瓦币的棒棒糖计一票，刷19瓦瓦币的么么哒计两票。";

QString selectorLabel(int size, int weight, const char *colour)
{
    return fill(VoteStyles::kSelectorLabel, size, weight, QString::fromLatin1(colour),
                QStringLiteral("0,0,0,0"), 0);
}

} // namespace

QString productsSelector::displayText(const ProductRecord &entry)
{
    // One pass: a name holding "%1" stays as it is.
    return QStringLiteral("%1\r(%2瓦币)").arg(entry.name, QString::number(entry.price));
}

QString productsSelector::imagePath(const QByteArray &imageDir, const QByteArray &productId)
{
    QString path = QString::fromUtf8(imageDir + '\\' + productId + ".png");
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

productsSelector::productsSelector(QWidget *parent, const VoteSession &session)
    : QDialog(parent)
    , vote(session)
{
    titleBar = CardDialog::setUp(this, "选择各队计票礼物");

    auto *panel = new QFrame(this);
    QWidget *columns[5] = {};
    for (int team = 1; team <= kTeamCount; ++team)
        columns[team] = buildColumn(team);

    priceLabel = new QLabel;
    priceLabel->setFixedSize(130, 18);
    priceLabel->setMargin(0);
    priceLabel->setAlignment(Qt::AlignCenter);
    priceLabel->setStyleSheet(selectorLabel(13, 500, "51,51,51,1"));

    auto *ruleLabel = new QLabel;
    ruleLabel->setFixedHeight(156);
    ruleLabel->setMargin(0);
    ruleLabel->setWordWrap(true);
    ruleLabel->setAlignment(Qt::AlignLeft);
    ruleLabel->setStyleSheet(selectorLabel(12, 400, "155,155,155,1"));
    ruleLabel->setText(QString::fromUtf8(kRuleText));

    confirmButton = new QPushButton(QStringLiteral("确定"));
    confirmButton->setFixedSize(120, 40);
    confirmButton->setStyleSheet(QString::fromUtf8(VoteStyles::kConfirmButton));

    const int mode = vote.voteMode();
    auto *teamRow = new QHBoxLayout;
    teamRow->setContentsMargins(0, 0, 0, 0);
    teamRow->setSpacing(0);
    for (int team = 1; team <= kTeamCount; ++team) {
        const bool shown =
            team <= 2 || (team == 3 && (mode == 3 || mode == 4)) || (team == 4 && mode == 4);
        if (shown) {
            teamRow->addWidget(columns[team]);
        } else {
            // Built and filled like the others (confirming writes every team),
            // but not laid out; owned by the panel so it goes with the dialog.
            columns[team]->setParent(panel);
            columns[team]->hide();
        }
    }

    auto *panelLayout = new QVBoxLayout;
    panelLayout->setContentsMargins(26, 0, 26, 20);
    panelLayout->setSpacing(10);
    panelLayout->addWidget(titleBar);
    panelLayout->addLayout(teamRow);
    panelLayout->addWidget(priceLabel);
    panelLayout->addWidget(ruleLabel);
    panelLayout->addWidget(confirmButton, 0, Qt::AlignHCenter);

    const int width = mode == 3 ? 551 : mode == 4 ? 722 : 383;
    CardDialog::placePanel(this, panel, panelLayout, QSize(width, 493));

    fillBoxes();
    updatePrice(vote.team(1).gift.price, vote.team(2).gift.price, vote.team(3).gift.price,
                vote.team(4).gift.price);

    connect(titleBar, SIGNAL(OnClose()), this, SLOT(on_cancel_clicked()));
    connect(confirmButton, SIGNAL(clicked(bool)), this, SLOT(on_ok_clicked()));
    connect(boxes[1], SIGNAL(currentIndexChanged(int)), this, SLOT(on_producket1_changed()));
    connect(boxes[2], SIGNAL(currentIndexChanged(int)), this, SLOT(on_producket2_changed()));
    connect(boxes[3], SIGNAL(currentIndexChanged(int)), this, SLOT(on_producket3_changed()));
    connect(boxes[4], SIGNAL(currentIndexChanged(int)), this, SLOT(on_producket4_changed()));
}

QWidget *productsSelector::buildColumn(int team)
{
    auto *column = new QWidget;
    column->setFixedWidth(163);
    column->setStyleSheet(QStringLiteral("background-color:rgba(0,0,0,0)"));

    auto *caption = new QLabel(QStringLiteral("%1队").arg(team));
    caption->setFixedSize(71, 20);
    caption->setMargin(0);
    caption->setAlignment(Qt::AlignCenter);
    caption->setStyleSheet(selectorLabel(13, 500, "51,51,51,1"));

    const TeamRecord &record = vote.team(team);
    const auto entry = vote.products().find(record.giftId);
    const QByteArray folder =
        entry != vote.products().end() ? entry->second.imageDir : QByteArray();
    images[team] = new QLabel;
    images[team]->setFixedSize(150, 100);
    images[team]->setMargin(0);
    images[team]->setAlignment(Qt::AlignCenter);
    showImage(team, record.giftId, folder);

    boxes[team] = new QComboBox;
    boxes[team]->setFixedSize(150, 32);
    boxes[team]->setStyleSheet(
        VoteStyles::giftBoxTemplate().arg(QString::fromUtf8(VoteStyles::kScrollBar)));

    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(caption, 0, Qt::AlignCenter);
    layout->addWidget(images[team], 0, Qt::AlignCenter);
    layout->addWidget(boxes[team], 0, Qt::AlignCenter);
    column->setLayout(layout);
    return column;
}

void productsSelector::showImage(int team, const QByteArray &productId, const QByteArray &imageDir)
{
    imageIds[team] = productId;
    images[team]->setStyleSheet(fill(VoteStyles::kSelectorImage, QStringLiteral("255,255,255,1"),
                                     20, VoteStyles::quotedUrl(imagePath(imageDir, productId))));
}

void productsSelector::fillBoxes()
{
    std::vector<std::pair<QByteArray, const ProductRecord *>> gifts;
    for (const auto &[id, entry] : vote.products())
        gifts.emplace_back(id, &entry);
    std::stable_sort(gifts.begin(), gifts.end(), [](const auto &a, const auto &b) {
        return a.second->price < b.second->price;
    });
    for (const auto &gift : gifts) {
        const QString text = displayText(*gift.second);
        for (int team = 1; team <= kTeamCount; ++team)
            boxes[team]->addItem(text, gift.first);
    }
    for (int team = 1; team <= kTeamCount; ++team) {
        const int index = boxes[team]->findData(vote.team(team).giftId);
        if (index >= 0)
            boxes[team]->setCurrentIndex(index);
    }
}

QByteArray productsSelector::chosenId(int team) const
{
    return boxes[team]->currentData().toByteArray();
}

void productsSelector::updatePrice(qint64 p1, qint64 p2, qint64 p3, qint64 p4)
{
    prices[1] = p1;
    prices[2] = p2;
    prices[3] = p3;
    prices[4] = p4;
    // The price of one vote, as counting takes it.
    TeamMap teams;
    for (int team = 1; team <= kTeamCount; ++team)
        teams[team].gift.price = qint32(prices[team]);
    const qint32 price = VoteCounting::votePrice(teams, vote.voteMode());
    priceLabel->setText(QStringLiteral("当前票价 %1 瓦币").arg(price));
}

void productsSelector::boxChanged(int team)
{
    const QByteArray id = chosenId(team);
    const auto entry = vote.products().find(id);
    if (entry == vote.products().end())
        return;
    showImage(team, id, entry->second.imageDir);
    qint64 next[5] = {0, prices[1], prices[2], prices[3], prices[4]};
    next[team] = entry->second.price;
    updatePrice(next[1], next[2], next[3], next[4]);
}

void productsSelector::pictureArrived(const QByteArray &productId)
{
    const auto entry = vote.products().find(productId);
    if (entry == vote.products().end())
        return;
    for (int team = 1; team <= kTeamCount; ++team) {
        if (imageIds[team] == productId)
            showImage(team, productId, entry->second.imageDir);
    }
}

void productsSelector::on_producket1_changed()
{
    boxChanged(1);
}

void productsSelector::on_producket2_changed()
{
    boxChanged(2);
}

void productsSelector::on_producket3_changed()
{
    boxChanged(3);
}

void productsSelector::on_producket4_changed()
{
    boxChanged(4);
}

void productsSelector::on_ok_clicked()
{
    chosen.clear();
    for (int team = 1; team <= kTeamCount; ++team) {
        qDebug() << boxes[team]->currentText();
        const QByteArray id = chosenId(team);
        if (vote.hasProduct(id))
            chosen.append(Choice {team, id});
    }
    accept();
}

void productsSelector::on_cancel_clicked()
{
    reject();
}
