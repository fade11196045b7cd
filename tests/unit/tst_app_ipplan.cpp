// Address planning arithmetic with scripted answers (nothing is sent): the proposal walk with its
// wrap, the addresses it never proposes and its one-cycle bound, the gateway rule, the mask rule and
// the batch's free-octet search; and the address check's choice and its loopback-only refusal.
#include <functional>
#include <set>

#include <QtTest>

#include "app/CAppSettings.h"
#include "batch/CAddressCheck.h"
#include "batch/IpPlan.h"

class TestAppIpPlan : public QObject
{
    Q_OBJECT

private slots:
    void proposalSkipsAnsweringAddresses_data();
    void proposalSkipsAnsweringAddresses();
    void proposalEndsAfterOneFullCycle();
    void gatewayAndMaskRules();
    void freeOctetSearch();
    void addressTextsAndLoopbackOnlyRefusal();
    void checkIsChosenBySettings();
};

void TestAppIpPlan::proposalSkipsAnsweringAddresses_data()
{
    QTest::addColumn<QString>("pcIp");
    QTest::addColumn<QString>("pcMask");
    QTest::addColumn<QStringList>("answering");
    QTest::addColumn<QStringList>("taken"); // the PC's own addresses
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QStringList>("asked"); // the last one asked is the proposal

    // The broadcast address is never asked about nor proposed; after the wrap .1 is skipped.
    QTest::newRow("broadcast .255 passed over") << "172.16.5.254"
                                                << "255.255.255.0" << QStringList{"172.16.5.254"} << QStringList{}
                                                << "172.16.5.1" << QStringList{"172.16.5.254", "172.16.5.2"};
    // The PC's own addresses count as taken without a question (a device check finds them free).
    QTest::newRow("own addresses taken") << "192.168.1.10"
                                         << "255.255.255.0" << QStringList{}
                                         << QStringList{"192.168.1.10", "192.168.1.11", "10.0.0.1"} << "192.168.1.1"
                                         << QStringList{"192.168.1.12"};
    // Without them, a PC whose own address does not answer (a firewall) would be proposed itself.
    QTest::newRow("own address silent") << "192.168.1.10"
                                        << "255.255.255.0" << QStringList{} << QStringList{} << "192.168.1.1"
                                        << QStringList{"192.168.1.10"};
    // A /30: .7 is the block's broadcast address, .8 the next block's network address.
    QTest::newRow("/30 block") << "10.1.2.5"
                               << "255.255.255.252" << QStringList{"10.1.2.5", "10.1.2.6"} << QStringList{}
                               << "10.1.2.8" << QStringList{"10.1.2.5", "10.1.2.6", "10.1.2.9"};
}

void TestAppIpPlan::proposalSkipsAnsweringAddresses()
{
    QFETCH(QString, pcIp);
    QFETCH(QString, pcMask);
    QFETCH(QStringList, answering);
    QFETCH(QStringList, taken);
    QFETCH(QString, gateway);
    QFETCH(QStringList, asked);

    QStringList lstAsked;
    const IpPlan::Proposal proposal = IpPlan::propose(
        pcIp, pcMask,
        [&](const QString& strIp) {
            lstAsked << strIp;
            return answering.contains(strIp);
        },
        QSet<QString>(taken.cbegin(), taken.cend()));
    QVERIFY(proposal.bFound);
    QCOMPARE(proposal.strIp, asked.last());
    QCOMPARE(proposal.strMask, pcMask);
    QCOMPARE(proposal.strGateway, gateway);
    QCOMPARE(lstAsked, asked);
    QCOMPARE(proposal.nChecks, asked.size());
}

void TestAppIpPlan::proposalEndsAfterOneFullCycle()
{
    // Everything answers. From .10: .10 up to .254, then .2 to .9, each once, never .1 nor the
    // broadcast .255. With no mask (0.0.0.0) from .0 the walk passes .1 once before the first wrap:
    // 256 questions, the most there can be.
    const struct
    {
        const char* szPc;
        const char* szMask;
        int nAsked;
        const char* szLast;
    } cases[] = {{"192.168.1.10", "255.255.255.0", 253, "192.168.1.9"}, {"10.0.0.0", "", 256, "10.0.0.255"}};
    for (const auto& c : cases) {
        QStringList lstAsked;
        const IpPlan::Proposal proposal =
            IpPlan::propose(QLatin1String(c.szPc), QLatin1String(c.szMask), [&](const QString& strIp) {
                lstAsked << strIp;
                return true;
            });
        QVERIFY(!proposal.bFound);
        QVERIFY(proposal.strIp.isEmpty() && proposal.strGateway.isEmpty());
        QCOMPARE(proposal.strMask, *c.szMask ? QLatin1String(c.szMask) : QLatin1String("0.0.0.0"));
        QCOMPARE(proposal.nChecks, c.nAsked);
        QCOMPARE(lstAsked.size(), c.nAsked);
        QCOMPARE(QSet<QString>(lstAsked.begin(), lstAsked.end()).size(), c.nAsked);
        QCOMPARE(lstAsked.first(), QLatin1String(c.szPc));
        QCOMPARE(lstAsked.last(), QLatin1String(c.szLast));
        QCOMPARE(lstAsked.indexOf(lstAsked.first().section('.', 0, 2) + QStringLiteral(".1")) >= 0, c.nAsked == 256);
    }
}

void TestAppIpPlan::gatewayAndMaskRules()
{
    // {last octet, mask's last octet, gateway}: the first matching g from 1, 254 when none matches.
    const int gateways[][3] = {{100, 128, 1},   {150, 192, 128}, {1, 255, 1},
                               {255, 255, 254}, {0, 255, 254},   {255, 254, 254}};
    for (const auto& g : gateways)
        QVERIFY2(IpPlan::gatewayLastOctet(g[0], g[1]) == g[2], qPrintable(QStringLiteral("%1/%2").arg(g[0]).arg(g[1])));

    // Editor text with empty places reads the missing octets as 0; out-of-range octets read as 0 too.
    for (const char* szMask : {"255.255.254.0", "128.0.0.0", "0.0.0.0", "255.255.255.255", "255.255.."})
        QVERIFY2(IpPlan::isContiguousMask(QLatin1String(szMask)), szMask);
    for (const char* szMask : {"255.255.255.64", "255.0.255.0", "255.255.255.1", "0.0.0.255", "255..255.0"})
        QVERIFY2(!IpPlan::isContiguousMask(QLatin1String(szMask)), szMask);
    int octets[4];
    IpPlan::parseOctets("300.1", octets);
    QCOMPARE((QList<int>{octets[0], octets[1], octets[2], octets[3]}), (QList<int>{0, 1, 0, 0}));

    // {address, mask, network or broadcast}; /31 and /32 have neither.
    const struct
    {
        const char* szIp;
        const char* szMask;
        bool bExcluded;
    } ends[] = {{"10.0.0.0", "255.255.255.0", true},    {"10.0.0.255", "255.255.255.0", true},
                {"10.0.0.128", "255.255.255.0", false}, {"10.0.0.128", "255.255.255.128", true},
                {"10.0.1.255", "255.255.254.0", true},  {"10.0.0.255", "255.255.254.0", false},
                {"10.0.0.1", "255.255.255.254", false}, {"10.0.0.0", "255.255.255.255", false}};
    for (const auto& e : ends)
        QVERIFY2(IpPlan::isNetworkOrBroadcast(QLatin1String(e.szIp), QLatin1String(e.szMask)) == e.bExcluded, e.szIp);
}

void TestAppIpPlan::freeOctetSearch()
{
    // The search asks from the start and steps on, wrapping to .1 before it would step onto .255.
    // The bound of one full cycle is driven through CIpModifier in tst_ipmodifier.
    const struct
    {
        int nStart;
        std::set<int> setUsed;
        QList<int> lstAsked; // the last one asked is the result
    } cases[] = {
        {20, {}, {20}},
        {254, {254}, {254, 1}},
        {255, {255, 1}, {255, 1, 2}}, // a plan on .255 asks its own address first
        {300, {1, 2}, {1, 2, 3}},     // a start outside 0..255 starts at .1
    };
    for (const auto& c : cases) {
        QList<int> lstAsked;
        bool bFound = false;
        const int nOctet = IpPlan::nextFreeLastOctet(
            c.nStart,
            [&](int n) {
                lstAsked << n;
                return c.setUsed.count(n) > 0;
            },
            &bFound);
        QVERIFY(bFound);
        QCOMPARE(nOctet, c.lstAsked.last());
        QCOMPARE(lstAsked, c.lstAsked);
    }
    QCOMPARE(IpPlan::nextFreeLastOctet(
                 7, [](int) { return false; }, nullptr),
             7);
}

void TestAppIpPlan::addressTextsAndLoopbackOnlyRefusal()
{
    // {text, dotted address, inside 127.0.0.0/8}. Under loopback-only no ping leaves for anything
    // outside loopback, and text that is no address never reaches the command line: both count as
    // silent and nothing runs.
    const struct
    {
        const char* szText;
        bool bDotted;
        bool bLoopback;
    } cases[] = {
        {"127.255.3.9", true, true},    {"128.0.0.1", true, false},    {"12.0.0.1", true, false},
        {"127.0.0", false, false},      {"127.0.0.256", false, false}, {"-c.1.1.1", false, false},
        {"127.0.0.1 -f", false, false}, {"localhost", false, false},   {"127.000.000.010", true, true},
        {"0127.0.0.1", false, false},
    };
    CPingAddressCheck check(true);
    for (const auto& c : cases) {
        const QString strText = QLatin1String(c.szText);
        QVERIFY2(IpPlan::isDottedAddress(strText) == c.bDotted, c.szText);
        QVERIFY2(CAddressCheck::isLoopbackAddress(strText) == c.bLoopback, c.szText);
        if (!c.bLoopback) {
            QVERIFY2(!check.isInUse(strText), c.szText);
            QCOMPARE(check.runCount(), 0);
        }
    }
    // Leading zeros are decimal, never octal.
    int octets[4] = {};
    QVERIFY(IpPlan::parseDotted(QStringLiteral("127.000.000.010"), octets));
    QCOMPARE((QList<int>{octets[0], octets[1], octets[2], octets[3]}), (QList<int>{127, 0, 0, 10}));
}

void TestAppIpPlan::checkIsChosenBySettings()
{
    // The ping check takes the settings' loopback-only switch: nothing runs for a destination
    // outside loopback.
    CAppSettings settings;
    settings.strAddressCheck = QStringLiteral("ping");
    settings.bLoopbackOnly = true;
    std::unique_ptr<CAddressCheck> pCheck = CAddressCheck::fromSettings(settings);
    auto* pPing = dynamic_cast<CPingAddressCheck*>(pCheck.get());
    QVERIFY(pPing);
    QVERIFY(!pPing->isInUse(QStringLiteral("192.0.2.1")));
    QCOMPARE(pPing->runCount(), 0);
}

QTEST_GUILESS_MAIN(TestAppIpPlan)
#include "tst_app_ipplan.moc"
