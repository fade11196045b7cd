// Address planning arithmetic with scripted answers (nothing is sent): the proposal walk with its
// wrap and its one-cycle bound, the gateway rule, the mask rule and the batch's free-octet search;
// and the address check's choice and its loopback-only refusal.
#include <functional>
#include <set>

#include <QTemporaryDir>
#include <QtTest>

#include "app/CAppSettings.h"
#include "batch/CAddressCheck.h"
#include "batch/IpPlan.h"

namespace {

/// Answers for the addresses in the set and records every question in order.
struct ScriptedNetwork
{
    std::set<QString> setAnswering;
    QStringList lstAsked;
    bool bEverything = false;

    std::function<bool(const QString&)> predicate()
    {
        return [this](const QString& strIp) {
            lstAsked << strIp;
            return bEverything || setAnswering.count(strIp) > 0;
        };
    }
};

} // namespace

class TestAppIpPlan : public QObject
{
    Q_OBJECT

private slots:
    void proposalSkipsAnsweringAddresses_data();
    void proposalSkipsAnsweringAddresses();
    void proposalWrapsPast255To2();
    void proposalEndsAfterOneFullCycle();
    void gatewayRule_data();
    void gatewayRule();
    void maskRule_data();
    void maskRule();
    void addressParsing();
    void freeOctetSearch();
    void freeOctetSearchIsBounded();
    void checkIsChosenBySettings();
    void pingRefusesForeignDestinationsUnderLoopbackOnly();
};

void TestAppIpPlan::proposalSkipsAnsweringAddresses_data()
{
    QTest::addColumn<QString>("pcIp");
    QTest::addColumn<QString>("pcMask");
    QTest::addColumn<QStringList>("answering");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QStringList>("asked");

    QTest::newRow("/25, next silent") << "10.0.0.200"
                                      << "255.255.255.128" << QStringList{"10.0.0.200"} << "10.0.0.201"
                                      << "10.0.0.128" << QStringList{"10.0.0.200", "10.0.0.201"};
    QTest::newRow("/24, one answering neighbour")
        << "192.168.1.10"
        << "255.255.255.0" << QStringList{"192.168.1.10", "192.168.1.11"} << "192.168.1.12"
        << "192.168.1.1" << QStringList{"192.168.1.10", "192.168.1.11", "192.168.1.12"};
    QTest::newRow(".254 then .255") << "172.16.5.254"
                                    << "255.255.255.0" << QStringList{"172.16.5.254"} << "172.16.5.255"
                                    << "172.16.5.1" << QStringList{"172.16.5.254", "172.16.5.255"};
    // A PC whose own address does not answer (a firewall) keeps its own address as the proposal.
    QTest::newRow("own address silent") << "192.168.1.10"
                                        << "255.255.255.0" << QStringList{} << "192.168.1.10"
                                        << "192.168.1.1" << QStringList{"192.168.1.10"};
    QTest::newRow("/30 gateway in the block") << "10.1.2.5"
                                              << "255.255.255.252" << QStringList{"10.1.2.5"} << "10.1.2.6"
                                              << "10.1.2.4" << QStringList{"10.1.2.5", "10.1.2.6"};
}

void TestAppIpPlan::proposalSkipsAnsweringAddresses()
{
    QFETCH(QString, pcIp);
    QFETCH(QString, pcMask);
    QFETCH(QStringList, answering);
    QFETCH(QString, ip);
    QFETCH(QString, gateway);
    QFETCH(QStringList, asked);

    ScriptedNetwork network;
    network.setAnswering = std::set<QString>(answering.begin(), answering.end());
    const IpPlan::Proposal proposal = IpPlan::propose(pcIp, pcMask, network.predicate());
    QVERIFY(proposal.bFound);
    QCOMPARE(proposal.strIp, ip);
    QCOMPARE(proposal.strMask, pcMask);
    QCOMPARE(proposal.strGateway, gateway);
    QCOMPARE(network.lstAsked, asked);
    QCOMPARE(proposal.nChecks, asked.size());
}

void TestAppIpPlan::proposalWrapsPast255To2()
{
    ScriptedNetwork network;
    network.setAnswering = {"10.0.0.254", "10.0.0.255"};
    const IpPlan::Proposal proposal = IpPlan::propose("10.0.0.254", "255.255.255.0", network.predicate());
    QVERIFY(proposal.bFound);
    QCOMPARE(proposal.strIp, QStringLiteral("10.0.0.2"));
    QCOMPARE(network.lstAsked, (QStringList{"10.0.0.254", "10.0.0.255", "10.0.0.2"}));

    QCOMPARE(IpPlan::nextProposalOctet(254), 255);
    QCOMPARE(IpPlan::nextProposalOctet(255), 2);
    QCOMPARE(IpPlan::nextProposalOctet(0), 1);
    QCOMPARE(IpPlan::nextProposalOctet(1), 2);
}

void TestAppIpPlan::proposalEndsAfterOneFullCycle()
{
    ScriptedNetwork network;
    network.bEverything = true;
    IpPlan::Proposal proposal = IpPlan::propose("192.168.1.10", "255.255.255.0", network.predicate());
    QVERIFY(!proposal.bFound);
    QCOMPARE(proposal.strIp, QString());
    QCOMPARE(proposal.strGateway, QString());
    QCOMPARE(proposal.strMask, QStringLiteral("255.255.255.0"));
    // .10 up to .255, then .2 to .9: every last octet the walk can reach, each asked exactly once.
    QCOMPARE(network.lstAsked.size(), 254);
    QCOMPARE(network.lstAsked.first(), QStringLiteral("192.168.1.10"));
    QCOMPARE(network.lstAsked.last(), QStringLiteral("192.168.1.9"));
    QCOMPARE(QSet<QString>(network.lstAsked.begin(), network.lstAsked.end()).size(), 254);
    QVERIFY(!network.lstAsked.contains(QStringLiteral("192.168.1.1")));
    QCOMPARE(proposal.nChecks, 254);

    // From .0 the walk passes .1 once before the first wrap: 256 distinct questions at most.
    ScriptedNetwork fromZero;
    fromZero.bEverything = true;
    proposal = IpPlan::propose("10.0.0.0", "", fromZero.predicate());
    QVERIFY(!proposal.bFound);
    QCOMPARE(proposal.strMask, QStringLiteral("0.0.0.0"));
    QCOMPARE(fromZero.lstAsked.size(), 256);
    QCOMPARE(fromZero.lstAsked.at(1), QStringLiteral("10.0.0.1"));
    QCOMPARE(fromZero.lstAsked.last(), QStringLiteral("10.0.0.255"));
}

void TestAppIpPlan::gatewayRule_data()
{
    QTest::addColumn<int>("lastOctet");
    QTest::addColumn<int>("maskLast");
    QTest::addColumn<int>("gateway");
    QTest::newRow("/24") << 12 << 0 << 1;
    QTest::newRow("/25 upper half") << 201 << 128 << 128;
    QTest::newRow("/25 lower half") << 100 << 128 << 1;
    QTest::newRow("/26 third block") << 150 << 192 << 128;
    QTest::newRow("/30") << 6 << 252 << 4;
    QTest::newRow("/32 of .1") << 1 << 255 << 1;
    QTest::newRow("/32 of .255 matches nothing") << 255 << 255 << 254;
    QTest::newRow("/32 of .0 matches nothing") << 0 << 255 << 254;
    QTest::newRow("/31 of .255") << 255 << 254 << 254;
}

void TestAppIpPlan::gatewayRule()
{
    QFETCH(int, lastOctet);
    QFETCH(int, maskLast);
    QFETCH(int, gateway);
    QCOMPARE(IpPlan::gatewayLastOctet(lastOctet, maskLast), gateway);
}

void TestAppIpPlan::maskRule_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("valid");
    QTest::newRow("/24") << "255.255.255.0" << true;
    QTest::newRow("/23") << "255.255.254.0" << true;
    QTest::newRow("/16") << "255.255.0.0" << true;
    QTest::newRow("/25") << "255.255.255.128" << true;
    QTest::newRow("/1") << "128.0.0.0" << true;
    QTest::newRow("none") << "0.0.0.0" << true;
    QTest::newRow("all") << "255.255.255.255" << true;
    QTest::newRow("gap in last") << "255.255.255.64" << false;
    QTest::newRow("gap between") << "255.0.255.0" << false;
    QTest::newRow("low bit") << "255.255.255.1" << false;
    QTest::newRow("ones at the bottom") << "0.0.0.255" << false;
    QTest::newRow("hole in second") << "255.254.255.0" << false;
    // Editor text with empty places: the missing octets read as 0.
    QTest::newRow("empty places") << "255.255.." << true;
    QTest::newRow("empty place inside") << "255..255.0" << false;
}

void TestAppIpPlan::maskRule()
{
    QFETCH(QString, mask);
    QFETCH(bool, valid);
    QCOMPARE(IpPlan::isContiguousMask(mask), valid);
}

void TestAppIpPlan::addressParsing()
{
    int octets[4];
    IpPlan::parseOctets("10..0.1", octets);
    QCOMPARE((QList<int>{octets[0], octets[1], octets[2], octets[3]}), (QList<int>{10, 0, 0, 1}));
    IpPlan::parseOctets("300.1", octets);
    QCOMPARE((QList<int>{octets[0], octets[1], octets[2], octets[3]}), (QList<int>{0, 1, 0, 0}));
    QCOMPARE(IpPlan::toValue("192.168.1.10"), 0xC0A8010Au);
    QCOMPARE(IpPlan::formatAddress(1, 2, 3, 4), QStringLiteral("1.2.3.4"));

    QVERIFY(IpPlan::isDottedAddress("127.0.0.1"));
    QVERIFY(IpPlan::isDottedAddress("0.0.0.0"));
    QVERIFY(!IpPlan::isDottedAddress("127.0.0"));
    QVERIFY(!IpPlan::isDottedAddress("127.0.0.256"));
    QVERIFY(!IpPlan::isDottedAddress("127.0..1"));
    QVERIFY(!IpPlan::isDottedAddress("-c.1.1.1"));
    QVERIFY(!IpPlan::isDottedAddress("127.0.0.1 -f"));
    QVERIFY(!IpPlan::isDottedAddress("+1.0.0.1"));
    QVERIFY(!IpPlan::isDottedAddress("localhost"));
}

void TestAppIpPlan::freeOctetSearch()
{
    QList<int> lstAsked;
    std::set<int> setUsed;
    auto inUse = [&](int nOctet) {
        lstAsked << nOctet;
        return setUsed.count(nOctet) > 0;
    };

    bool bFound = false;
    QCOMPARE(IpPlan::nextFreeLastOctet(20, inUse, &bFound), 20);
    QVERIFY(bFound);
    QCOMPARE(lstAsked, QList<int>{20});

    // From .254 with .254 answering, the next candidate is .1: .255 is never stepped onto.
    lstAsked.clear();
    setUsed = {254};
    QCOMPARE(IpPlan::nextFreeLastOctet(254, inUse, &bFound), 1);
    QVERIFY(bFound);
    QCOMPARE(lstAsked, (QList<int>{254, 1}));

    lstAsked.clear();
    setUsed = {100, 101, 102};
    QCOMPARE(IpPlan::nextFreeLastOctet(100, inUse, nullptr), 103);
    QCOMPARE(lstAsked, (QList<int>{100, 101, 102, 103}));

    // A plan ending in .255 asks .255 first (it is the plan's own address), then wraps to .1.
    lstAsked.clear();
    setUsed = {255, 1};
    QCOMPARE(IpPlan::nextFreeLastOctet(255, inUse, &bFound), 2);
    QVERIFY(bFound);
    QCOMPARE(lstAsked, (QList<int>{255, 1, 2}));
}

void TestAppIpPlan::freeOctetSearchIsBounded()
{
    int nAsked = 0;
    std::set<int> setAsked;
    bool bFound = true;
    const int nOctet = IpPlan::nextFreeLastOctet(
        50,
        [&](int n) {
            ++nAsked;
            setAsked.insert(n);
            return true;
        },
        &bFound);
    QVERIFY(!bFound);
    QCOMPARE(nOctet, 50);
    // .1 to .254, each once.
    QCOMPARE(nAsked, 254);
    QCOMPARE(int(setAsked.size()), 254);
    QCOMPARE(*setAsked.begin(), 1);
    QCOMPARE(*setAsked.rbegin(), 254);

    // A start outside 0..255 starts at .1.
    QList<int> lstAsked;
    QCOMPARE(IpPlan::nextFreeLastOctet(
                 300,
                 [&](int n) {
                     lstAsked << n;
                     return n < 3;
                 },
                 &bFound),
             3);
    QCOMPARE(lstAsked, (QList<int>{1, 2, 3}));
}

void TestAppIpPlan::checkIsChosenBySettings()
{
    CAppSettings settings;
    settings.strAddressCheck = QStringLiteral("device");
    std::unique_ptr<CAddressCheck> pCheck = CAddressCheck::fromSettings(settings);
    auto* pDevice = dynamic_cast<CDeviceAddressCheck*>(pCheck.get());
    QVERIFY(pDevice);
    QCOMPARE(pDevice->waitMs(), 300);

    settings.strAddressCheck = QStringLiteral("ping");
    pCheck = CAddressCheck::fromSettings(settings);
    QVERIFY(dynamic_cast<CPingAddressCheck*>(pCheck.get()));

    // The same choice read from a Config.ini.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile ini(dir.filePath("Config.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Network]\nAddressCheck=device\nLoopbackOnly=1\n");
    ini.close();
    pCheck = CAddressCheck::fromSettings(CAppSettings::read(ini.fileName()));
    QVERIFY(dynamic_cast<CDeviceAddressCheck*>(pCheck.get()));

    QVERIFY(CAddressCheck::isLoopbackAddress("127.0.0.1"));
    QVERIFY(CAddressCheck::isLoopbackAddress("127.255.3.9"));
    QVERIFY(!CAddressCheck::isLoopbackAddress("128.0.0.1"));
    QVERIFY(!CAddressCheck::isLoopbackAddress("12.0.0.1"));
    QVERIFY(!CAddressCheck::isLoopbackAddress("127.0.0"));
}

void TestAppIpPlan::pingRefusesForeignDestinationsUnderLoopbackOnly()
{
    // Under loopback-only no ping leaves for these: they count as silent and nothing runs.
    CPingAddressCheck check(true);
    for (const char* szIp : {"192.0.2.1", "10.0.0.1", "8.8.8.8", "255.255.255.255", "128.0.0.1"}) {
        QVERIFY2(!check.isInUse(QLatin1String(szIp)), szIp);
        QCOMPARE(check.runCount(), 0);
    }
    // Text that is no address never reaches the command line, loopback-only or not.
    CPingAddressCheck open(false);
    for (const char* szText : {"-f", "127.0.0.1 -f", "", "localhost", "1.2.3"}) {
        QVERIFY2(!open.isInUse(QLatin1String(szText)), szText);
        QCOMPARE(open.runCount(), 0);
    }
    // The environment switch alone turns the refusal on, also for a check built from settings
    // that leave loopback-only off.
    const QByteArray saved = qgetenv("VANTREL_LOOPBACK_ONLY");
    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    QVERIFY(CAddressCheck::loopbackOnlyFromEnvironment());
    CPingAddressCheck fromEnv(false);
    QVERIFY(!fromEnv.isInUse(QStringLiteral("192.0.2.1")));
    QCOMPARE(fromEnv.runCount(), 0);
    CAppSettings settings;
    settings.bLoopbackOnly = false;
    std::unique_ptr<CAddressCheck> pCheck = CAddressCheck::fromSettings(settings);
    QVERIFY(!pCheck->isInUse(QStringLiteral("192.0.2.1")));
    QCOMPARE(static_cast<CPingAddressCheck*>(pCheck.get())->runCount(), 0);
    qputenv("VANTREL_LOOPBACK_ONLY", "0");
    QVERIFY(!CAddressCheck::loopbackOnlyFromEnvironment());
    qputenv("VANTREL_LOOPBACK_ONLY", saved);
    QCOMPARE(CPingAddressCheck::program(), QStringLiteral("ping"));
#ifndef Q_OS_WIN
    QCOMPARE(CPingAddressCheck::arguments("127.0.0.9"), (QStringList{"-c", "1", "-W", "1", "127.0.0.9"}));
#endif
}

QTEST_GUILESS_MAIN(TestAppIpPlan)
#include "tst_app_ipplan.moc"
