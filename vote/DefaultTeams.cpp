#include "vote/DefaultTeams.h"

namespace {

const DefaultTeam kDefaults[kTeamCount] = {
    {"1450928358", "金话筒", "99瓦瓦币", 99, "98,54,255,1", ":/res/resource/1450928358.png"},
    {"1477978817", "幸运草", "99瓦瓦币", 99, "255,43,100,1", ":/res/resource/1477978817.png"},
    {"1522229009540", "猪猪喷雾", "99瓦瓦币", 99, "0,145,255,1",
     ":/res/resource/1522229009540.png"},
    {"1551153124818", "瞌睡虫", "99瓦瓦币", 99, "10,185,135,1", ":/res/resource/1551153124818.png"},
};

} // namespace

const DefaultTeam *defaultTeam(int index)
{
    if (index < 1 || index > kTeamCount)
        return nullptr;
    return &kDefaults[index - 1];
}

void applyDefaultGift(TeamRecord &team, int index)
{
    const DefaultTeam *row = defaultTeam(index);
    if (!row)
        return;
    team.giftId = row->giftId;
    team.gift.name = QString::fromUtf8(row->giftName);
    team.gift.priceText = row->priceText;
    team.gift.price = row->price;
}
