// The emulator's command line, which the tests, the benchmarks and outside scripts rely on: the
// addresses a fleet takes, which cameras the fault options reach, and bad command lines refused
// with a reason. What the cameras then do is driven through the device library (tests/integration).
#include <QtTest>

#include "options.h"

using namespace camsim;

namespace {

ParseOutcome parse(const QStringList& args, FleetOptions& out, std::string& error)
{
    std::string help;
    return parseOptions(QStringList{QStringLiteral("vantrel-camsim")} + args, out, error, help);
}

} // namespace

class TestCamsimOptions : public QObject
{
    Q_OBJECT

private slots:
    void addressesModelsAndFaults();
    void badCommandLinesAreRefusedWithAReason_data();
    void badCommandLinesAreRefusedWithAReason();
};

void TestCamsimOptions::addressesModelsAndFaults()
{
    FleetOptions o;
    std::string error;
    QCOMPARE(parse({"--count",
                    "5",
                    "--same-address",
                    "3",
                    "--first-address",
                    "127.1.0.255",
                    "--foreign",
                    "2",
                    "--foreign-address",
                    "10.0.0.254",
                    "--models",
                    "IPC-B,IPC-A",
                    "--fault-cameras",
                    "1,3",
                    "--latency-ms",
                    "250",
                    "--refuse",
                    "--login-code",
                    "-11306",
                    "--blacklist",
                    "guest"},
                   o, error),
             ParseOutcome::Run);
    // The first three share the first address; the rest count on across the byte boundary, the
    // foreign ones from their own address.
    QStringList addresses;
    for (int i = 0; i < o.total(); ++i)
        addresses << QString::fromStdString(dotted(o.addressOf(i)));
    QCOMPARE(addresses, (QStringList{"127.1.0.255", "127.1.0.255", "127.1.0.255", "127.1.1.0", "127.1.1.1",
                                     "10.0.0.254", "10.0.0.255"}));
    // Models go round-robin in the given order.
    QCOMPARE(o.modelOf(0).name, std::string("IPC-B"));
    QCOMPARE(o.modelOf(3).name, std::string("IPC-A"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(o.faultApplies(i), i == 1 || i == 3);
    QVERIFY(o.faults.latencyMs == 250 && o.faults.refuse && !o.faults.drop && o.faults.loginCode == -11306);
    QVERIFY(o.blacklist.count("guest"));
}

void TestCamsimOptions::badCommandLinesAreRefusedWithAReason_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("count not a number") << QStringList{"--count", "four"} << "--count";
    QTest::newRow("negative count") << QStringList{"--count", "-1"} << "--count";
    QTest::newRow("bad address") << QStringList{"--first-address", "127.0.0"} << "--first-address";
    QTest::newRow("address overflow") << QStringList{"--first-address", "255.255.255.254", "--count", "3"}
                                      << "--first-address";
    QTest::newRow("foreign on loopback") << QStringList{"--foreign", "1", "--foreign-address", "127.0.0.200"}
                                         << "--foreign-address";
    QTest::newRow("foreign running into loopback")
        << QStringList{"--foreign", "2", "--foreign-address", "126.255.255.255"} << "--foreign-address";
    QTest::newRow("unknown model") << QStringList{"--models", "IPC-A,NOPE"} << "NOPE";
    QTest::newRow("same address beyond count")
        << QStringList{"--count", "2", "--same-address", "3"} << "--same-address";
    QTest::newRow("fault camera") << QStringList{"--count", "2", "--fault-cameras", "0,2"} << "2";
    QTest::newRow("port") << QStringList{"--service-port", "70000"} << "--service-port";
    QTest::newRow("positional") << QStringList{"extra"} << "extra";
}

void TestCamsimOptions::badCommandLinesAreRefusedWithAReason()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    FleetOptions o;
    std::string error;
    QCOMPARE(parse(args, o, error), ParseOutcome::Error);
    QVERIFY2(QString::fromStdString(error).contains(mentions), error.c_str());
}

QTEST_GUILESS_MAIN(TestCamsimOptions)
#include "tst_camsim_options.moc"
