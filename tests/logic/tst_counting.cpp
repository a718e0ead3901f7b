// The counting rules: exact-name chat votes, price-weighted gift votes,
// per-viewer tallies, and when the two-team lead line is due.
#include "vote/DefaultTeams.h"
#include "vote/VoteCounting.h"
#include "vote/VoteStateRecord.h"

#include <QTest>

#include <limits>

using Names = QList<QByteArray>;
using Prices = QList<qint32>;
using Totals = QList<qint64>;
Q_DECLARE_METATYPE(Prices)
Q_DECLARE_METATYPE(Totals)
Q_DECLARE_METATYPE(VoteType)

namespace {

TeamMap makeTeams(const Names &names = {}, const Prices &prices = {})
{
    TeamMap teams;
    for (int index = 1; index <= kTeamCount; ++index) {
        TeamRecord &team = teams[index];
        applyDefaultGift(team, index);
        if (index <= names.size())
            team.name = names.at(index - 1);
        if (index <= prices.size())
            team.gift.price = prices.at(index - 1);
    }
    return teams;
}

Totals totalsOf(const TeamMap &teams)
{
    Totals totals;
    for (const auto &entry : teams)
        totals << entry.second.votes;
    return totals;
}

CountingSettings settings(VoteType voteType, bool counting = true, int voteMode = 2)
{
    CountingSettings s;
    s.voteType = voteType;
    s.counting = counting;
    s.voteMode = voteMode;
    return s;
}

const QByteArray kGift1 = "1450928358";
const QByteArray kGift2 = "1477978817";
const QByteArray kGift3 = "1522229009540";

} // namespace

class TestCounting : public QObject
{
    Q_OBJECT

private slots:
    void votePrice_data();
    void votePrice();
    void giftUnit_data();
    void giftUnit();
    void textVote_data();
    void textVote();
    void textTalliesPerViewer();
    void giftVote_data();
    void giftVote();
    void leadLineDue_data();
    void leadLineDue();
    void totalsSaturate();
    void settingsReadFromState();
};

void TestCounting::votePrice_data()
{
    QTest::addColumn<Prices>("prices");
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint32>("price");

    QTest::newRow("default gifts") << Prices {99, 99, 99, 99} << 2 << 99;
    QTest::newRow("9 and 19") << Prices {9, 19, 99, 99} << 2 << 9;
    QTest::newRow("19 and 9") << Prices {19, 9, 99, 99} << 2 << 9;
    QTest::newRow("hidden cheaper team ignored") << Prices {19, 29, 5, 99} << 2 << 19;
    QTest::newRow("three teams") << Prices {19, 29, 5, 1} << 3 << 5;
    QTest::newRow("four teams") << Prices {19, 29, 5, 1} << 4 << 1;
    QTest::newRow("zero price ignored") << Prices {0, 19, 99, 99} << 2 << 19;
    QTest::newRow("all zero") << Prices {0, 0, 0, 0} << 4 << 9999;
    QTest::newRow("all above 9999") << Prices {20000, 30000, 1, 1} << 2 << 9999;
    QTest::newRow("exactly 9999") << Prices {9999, 10000, 1, 1} << 2 << 9999;
    QTest::newRow("mode 1") << Prices {9, 19, 1, 1} << 1 << 9999;
    QTest::newRow("mode 5") << Prices {9, 19, 1, 1} << 5 << 9999;
    QTest::newRow("negative price ignored") << Prices {-5, 19, 1, 1} << 2 << 19;
}

void TestCounting::votePrice()
{
    QFETCH(Prices, prices);
    QFETCH(int, mode);
    QFETCH(qint32, price);
    QCOMPARE(VoteCounting::votePrice(makeTeams({}, prices), mode), price);
}

void TestCounting::giftUnit_data()
{
    QTest::addColumn<qint64>("price");
    QTest::addColumn<qint64>("votePrice");
    QTest::addColumn<qint64>("unit");

    QTest::newRow("9 of 9") << qint64(9) << qint64(9) << qint64(1);
    QTest::newRow("19 of 9") << qint64(19) << qint64(9) << qint64(2);
    QTest::newRow("13 of 9 rounds down") << qint64(13) << qint64(9) << qint64(1);
    QTest::newRow("14 of 9 rounds up") << qint64(14) << qint64(9) << qint64(2);
    QTest::newRow("15 of 10 half up") << qint64(15) << qint64(10) << qint64(2);
    QTest::newRow("14 of 10") << qint64(14) << qint64(10) << qint64(1);
    QTest::newRow("27 of 9 exact multiple") << qint64(27) << qint64(9) << qint64(3);
    QTest::newRow("zero price") << qint64(0) << qint64(9) << qint64(0);
    QTest::newRow("above ceiling") << qint64(20000) << qint64(9999) << qint64(2);
    QTest::newRow("largest price, no overflow")
        << qint64(2147483647) << qint64(1) << qint64(2147483647);
    QTest::newRow("largest price over largest")
        << qint64(2147483647) << qint64(2147483647) << qint64(1);
    QTest::newRow("negative price") << qint64(-19) << qint64(9) << qint64(0);
}

void TestCounting::giftUnit()
{
    QFETCH(qint64, price);
    QFETCH(qint64, votePrice);
    QFETCH(qint64, unit);
    QCOMPARE(VoteCounting::giftUnit(price, votePrice), unit);
}

void TestCounting::textVote_data()
{
    QTest::addColumn<Names>("names");
    QTest::addColumn<VoteType>("voteType");
    QTest::addColumn<bool>("counting");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Totals>("totals");
    QTest::addColumn<bool>("tallied"); // the sender got an entry somewhere

    const Names ab = {"A", "B"};
    QTest::newRow("exact name") << ab << VoteType::Text << true << QByteArray("A")
                                << Totals {1, 0, 0, 0} << true;
    QTest::newRow("other case") << ab << VoteType::Text << true << QByteArray("a")
                                << Totals {0, 0, 0, 0} << false;
    QTest::newRow("leading blank")
        << ab << VoteType::Text << true << QByteArray(" A") << Totals {0, 0, 0, 0} << false;
    QTest::newRow("trailing blank")
        << ab << VoteType::Text << true << QByteArray("A ") << Totals {0, 0, 0, 0} << false;
    QTest::newRow("prefix only") << Names {"AB", "B"} << VoteType::Text << true << QByteArray("A")
                                 << Totals {0, 0, 0, 0} << false;
    QTest::newRow("two teams one name") << Names {"A", "A"} << VoteType::Text << true
                                        << QByteArray("A") << Totals {1, 1, 0, 0} << true;
    QTest::newRow("hidden team counts") << Names {"A", "B", "C"} << VoteType::Text << true
                                        << QByteArray("C") << Totals {0, 0, 1, 0} << true;
    QTest::newRow("chinese name") << Names {"红队", "蓝队"} << VoteType::Text << true
                                  << QStringLiteral("蓝队").toUtf8() << Totals {0, 1, 0, 0} << true;
    QTest::newRow("empty line, unnamed teams")
        << ab << VoteType::Text << true << QByteArray("") << Totals {0, 0, 0, 0} << false;
    QTest::newRow("empty line, no names")
        << Names {} << VoteType::Text << true << QByteArray("") << Totals {0, 0, 0, 0} << false;
    QTest::newRow("counting off") << ab << VoteType::Text << false << QByteArray("A")
                                  << Totals {0, 0, 0, 0} << false;
    QTest::newRow("gift voting") << ab << VoteType::Gift << true << QByteArray("A")
                                 << Totals {0, 0, 0, 0} << false;
}

void TestCounting::textVote()
{
    QFETCH(Names, names);
    QFETCH(VoteType, voteType);
    QFETCH(bool, counting);
    QFETCH(QByteArray, text);
    QFETCH(Totals, totals);
    QFETCH(bool, tallied);

    TeamMap teams = makeTeams(names);
    const CountResult result =
        VoteCounting::countText(teams, settings(voteType, counting), "x", text.constData());
    QCOMPARE(totalsOf(teams), totals);
    bool anyTally = false;
    for (const auto &[index, team] : teams) {
        QCOMPARE(result.changed(index), totals.at(index - 1) != 0);
        QCOMPARE(team.voters.size(), int(totals.at(index - 1) != 0));
        if (!team.voters.empty()) {
            anyTally = true;
            QCOMPARE(team.voters.at("x"), totals.at(index - 1));
        }
    }
    QCOMPARE(anyTally, tallied);
}

void TestCounting::textTalliesPerViewer()
{
    TeamMap teams = makeTeams({"A", "B"});
    const CountingSettings s = settings(VoteType::Text);
    for (const char *nick : {"x", "y", "x", "x", ""})
        VoteCounting::countText(teams, s, nick, "A");
    VoteCounting::countText(teams, s, "y", "B");
    QCOMPARE(teams.at(1).votes, qint64(5));
    QCOMPARE(teams.at(1).voters.at("x"), qint64(3));
    QCOMPARE(teams.at(1).voters.at("y"), qint64(1));
    QCOMPARE(teams.at(1).voters.at(""), qint64(1)); // a group without nick
    QCOMPARE(teams.at(2).voters.at("y"), qint64(1));
    QCOMPARE(teams.at(2).voters.size(), 1);

    // A rename changes which lines count from then on; counted votes stay.
    teams.at(1).name = "C";
    VoteCounting::countText(teams, s, "x", "A");
    VoteCounting::countText(teams, s, "x", "C");
    QCOMPARE(teams.at(1).votes, qint64(6));
}

void TestCounting::giftVote_data()
{
    QTest::addColumn<Prices>("prices");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("secondGift"); // team 2's gift id
    QTest::addColumn<VoteType>("voteType");
    QTest::addColumn<bool>("counting");
    QTest::addColumn<QByteArray>("productId");
    QTest::addColumn<int>("buyTimes");
    QTest::addColumn<Totals>("totals");
    QTest::addColumn<Totals>("tallies"); // the sender's entry per team, -1 when absent

    const Prices defaults = {99, 99, 99, 99};
    QTest::newRow("default gifts, five pieces")
        << defaults << 2 << kGift2 << VoteType::Gift << true << kGift1 << 5 << Totals {5, 0, 0, 0}
        << Totals {5, -1, -1, -1};
    QTest::newRow("19-coin gift against 9")
        << Prices {9, 19, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift2 << 3
        << Totals {0, 6, 0, 0} << Totals {-1, 6, -1, -1};
    QTest::newRow("9-coin gift against 9")
        << Prices {9, 19, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift1 << 1
        << Totals {1, 0, 0, 0} << Totals {1, -1, -1, -1};
    QTest::newRow("gift of two teams, each its price")
        << Prices {9, 19, 99, 99} << 2 << kGift1 << VoteType::Gift << true << kGift1 << 2
        << Totals {2, 4, 0, 0} << Totals {2, 4, -1, -1};
    QTest::newRow("hidden team counts with shown teams' price")
        << Prices {10, 10, 30, 99} << 2 << kGift2 << VoteType::Gift << true << kGift3 << 1
        << Totals {0, 0, 3, 0} << Totals {-1, -1, 3, -1};
    QTest::newRow("zero-price team counts nothing, keeps the entry")
        << Prices {0, 19, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift1 << 4
        << Totals {0, 0, 0, 0} << Totals {0, -1, -1, -1};
    QTest::newRow("no pieces") << defaults << 2 << kGift2 << VoteType::Gift << true << kGift1 << 0
                               << Totals {0, 0, 0, 0} << Totals {0, -1, -1, -1};
    QTest::newRow("negative count counts as none")
        << defaults << 2 << kGift2 << VoteType::Gift << true << kGift1 << -7 << Totals {0, 0, 0, 0}
        << Totals {0, -1, -1, -1};
    QTest::newRow("all prices above 9999")
        << Prices {20000, 20000, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift1 << 1
        << Totals {2, 0, 0, 0} << Totals {2, -1, -1, -1};
    QTest::newRow("largest count does not wrap")
        << Prices {9, 19, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift2 << 2147483647
        << Totals {0, 4294967294LL, 0, 0} << Totals {-1, 4294967294LL, -1, -1};
    QTest::newRow("largest price and count")
        << Prices {1, 2147483647, 99, 99} << 2 << kGift2 << VoteType::Gift << true << kGift2
        << 2147483647 << Totals {0, 4611686014132420609LL, 0, 0}
        << Totals {-1, 4611686014132420609LL, -1, -1};
    QTest::newRow("unknown gift") << defaults << 2 << kGift2 << VoteType::Gift << true
                                  << QByteArray("999") << 3 << Totals {0, 0, 0, 0}
                                  << Totals {-1, -1, -1, -1};
    QTest::newRow("empty gift id")
        << defaults << 2 << kGift2 << VoteType::Gift << true << QByteArray("") << 3
        << Totals {0, 0, 0, 0} << Totals {-1, -1, -1, -1};
    QTest::newRow("prefix of a gift id")
        << defaults << 2 << kGift2 << VoteType::Gift << true << QByteArray("145092835") << 3
        << Totals {0, 0, 0, 0} << Totals {-1, -1, -1, -1};
    QTest::newRow("counting off") << defaults << 2 << kGift2 << VoteType::Gift << false << kGift1
                                  << 3 << Totals {0, 0, 0, 0} << Totals {-1, -1, -1, -1};
    QTest::newRow("text voting") << defaults << 2 << kGift2 << VoteType::Text << true << kGift1 << 3
                                 << Totals {0, 0, 0, 0} << Totals {-1, -1, -1, -1};
}

void TestCounting::giftVote()
{
    QFETCH(Prices, prices);
    QFETCH(int, mode);
    QFETCH(QByteArray, secondGift);
    QFETCH(VoteType, voteType);
    QFETCH(bool, counting);
    QFETCH(QByteArray, productId);
    QFETCH(int, buyTimes);
    QFETCH(Totals, totals);
    QFETCH(Totals, tallies);

    TeamMap teams = makeTeams({}, prices);
    teams.at(2).giftId = secondGift;
    const CountResult result = VoteCounting::countGift(teams, settings(voteType, counting, mode),
                                                       "观众", productId.constData(), buyTimes);
    QCOMPARE(totalsOf(teams), totals);
    for (const auto &[index, team] : teams) {
        const qint64 expected = tallies.at(index - 1);
        QCOMPARE(result.changed(index), expected >= 0);
        QCOMPARE(team.voters.find(QStringLiteral("观众").toUtf8()).value_or(-1), expected);
    }
}

void TestCounting::leadLineDue_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("before1");
    QTest::addColumn<qint64>("before2");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("due");

    QTest::newRow("first vote sets it") << 2 << qint64(0) << qint64(0) << QByteArray("A") << true;
    QTest::newRow("both zero, no match")
        << 2 << qint64(0) << qint64(0) << QByteArray("zzz") << false;
    QTest::newRow("votes exist, no match")
        << 2 << qint64(3) << qint64(0) << QByteArray("zzz") << true;
    QTest::newRow("hidden team vote, both zero")
        << 2 << qint64(0) << qint64(0) << QByteArray("C") << false;
    QTest::newRow("three teams never") << 3 << qint64(0) << qint64(0) << QByteArray("A") << false;
    QTest::newRow("four teams never") << 4 << qint64(5) << qint64(5) << QByteArray("B") << false;
}

void TestCounting::leadLineDue()
{
    QFETCH(int, mode);
    QFETCH(qint64, before1);
    QFETCH(qint64, before2);
    QFETCH(QByteArray, text);
    QFETCH(bool, due);

    TeamMap teams = makeTeams({"A", "B", "C"});
    teams.at(1).votes = before1;
    teams.at(2).votes = before2;
    const CountResult result =
        VoteCounting::countText(teams, settings(VoteType::Text, true, mode), "x", text.constData());
    QCOMPARE(result.refreshLead, due);

    // The gift path follows the same rule.
    TeamMap giftTeams = makeTeams({}, {99, 99, 99, 99});
    giftTeams.at(1).votes = before1;
    giftTeams.at(2).votes = before2;
    const QByteArray product = text == "A" ? kGift1
        : text == "B"                      ? kGift2
        : text == "C"                      ? kGift3
                                           : "zzz";
    const CountResult giftResult = VoteCounting::countGift(
        giftTeams, settings(VoteType::Gift, true, mode), "x", product.constData(), 1);
    QCOMPARE(giftResult.refreshLead, due);
}

void TestCounting::totalsSaturate()
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    QCOMPARE(VoteCounting::addVotes(kMax - 1, 5), kMax);
    QCOMPARE(VoteCounting::addVotes(kMax, kMax), kMax);
    QCOMPARE(VoteCounting::addVotes(10, 5), qint64(15));

    TeamMap teams = makeTeams({}, {1, 2147483647, 99, 99});
    for (int i = 0; i < 3; ++i) // each event is worth about 2^62 votes
        VoteCounting::countGift(teams, settings(VoteType::Gift), "x", kGift2.constData(),
                                2147483647);
    QCOMPARE(teams.at(2).votes, kMax);
    QCOMPARE(teams.at(2).voters.at("x"), kMax);
}

void TestCounting::settingsReadFromState()
{
    VoteStateRecord state;
    state.setDefaults();
    CountingSettings s = CountingSettings::read(state);
    QCOMPARE(s.voteType, VoteType::Gift);
    QCOMPARE(s.counting, false);
    QCOMPARE(s.voteMode, 2);
    state.setValue("start_game", 1);
    state.setValue("voteType", 2);
    state.setValue("voteMode", 4);
    s = CountingSettings::read(state);
    QCOMPARE(s.voteType, VoteType::Text);
    QCOMPARE(s.counting, true);
    QCOMPARE(s.voteMode, 4);
}

QTEST_APPLESS_MAIN(TestCounting)
#include "tst_counting.moc"
