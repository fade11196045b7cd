#include <QtTest>

#include "options.h"

using namespace camsim;

class TestCamsimOptions : public QObject
{
    Q_OBJECT

    static ParseOutcome parse(const QStringList& args, FleetOptions& out, std::string& error)
    {
        std::string help;
        return parseOptions(QStringList{QStringLiteral("vantrel-camsim")} + args, out, error, help);
    }

private slots:
    void defaultsDescribeFourCamerasOnConsecutiveAddresses()
    {
        FleetOptions o;
        std::string error;
        QCOMPARE(parse({}, o, error), ParseOutcome::Run);
        QCOMPARE(o.count, 4);
        QCOMPARE(o.total(), 4);
        QCOMPARE(o.servicePort, 34567);
        QCOMPARE(o.upgradePort, 34560);
        QCOMPARE(o.discoveryPort, 34569);
        QCOMPARE(o.rebootMs, 3000);
        QCOMPARE(o.lockAfter, 5);
        QCOMPARE(o.maxSessions, 32);
        QCOMPARE(o.maxConnections, 128);
        QCOMPARE(o.models.size(), models().size());
        QVERIFY(o.password.empty());
        QVERIFY(o.stateDir.empty());
        QCOMPARE(dotted(o.addressOf(0)), std::string("127.0.0.10"));
        QCOMPARE(dotted(o.addressOf(3)), std::string("127.0.0.13"));
        // Models go round-robin.
        QCOMPARE(&o.modelOf(0), &models()[0]);
        QCOMPARE(&o.modelOf(int(models().size())), &models()[0]);
    }

    void sameAddressAndForeignCamerasTakeTheirAddresses()
    {
        FleetOptions o;
        std::string error;
        QCOMPARE(parse({"--count", "5", "--same-address", "3", "--first-address", "127.1.0.255", "--foreign", "2",
                        "--foreign-address", "10.0.0.254"},
                       o, error),
                 ParseOutcome::Run);
        QCOMPARE(o.total(), 7);
        const char* expected[] = {"127.1.0.255", "127.1.0.255", "127.1.0.255", "127.1.1.0",
                                  "127.1.1.1",   "10.0.0.254",  "10.0.0.255"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(dotted(o.addressOf(i)), std::string(expected[i]));
        QVERIFY(isLoopbackAddress(o.addressOf(4)));
        QVERIFY(!isLoopbackAddress(o.addressOf(5)));
    }

    void identityFollowsFleetAndIndex()
    {
        QCOMPARE(macFor(0, 0), std::string("02:56:54:00:00:00"));
        QCOMPARE(macFor(171, 0x1ff), std::string("02:56:54:ab:01:ff"));
        const std::string serial = serialFor(macFor(3, 7));
        QCOMPARE(serial.size(), std::size_t(16));
        QVERIFY(serial.find_first_not_of("0123456789abcdef") == std::string::npos);
        QVERIFY(serial != serialFor(macFor(4, 7)));
        QCOMPARE(serial, serialFor(macFor(3, 7)));
        // The first 8 bytes of SHA-256 of "abc".
        QCOMPARE(serialFor("abc"), std::string("ba7816bf8f01cfea"));
    }

    void faultOptionsReachOnlyTheNamedCameras()
    {
        FleetOptions o;
        std::string error;
        // clang-format off
        QCOMPARE(parse({"--count",         "4",
                        "--fault-cameras", "1,3",
                        "--latency-ms",    "250",
                        "--refuse",        "--drop",
                        "--fail-writes",   "--reboot-needed",
                        "--malformed",     "--silent",
                        "--login-code",    "-11306",
                        "--address-apply-ms", "700", "--address-at-reboot",
                        "--blacklist",     "guest",
                        "--blacklist",     "other",
                        "--models",        "IPC-B,IPC-A",
                        "--password",      "pw",
                        "--state-dir",     "/tmp/x",
                        "--control-port",  "0",
                        "--fleet-id",      "9"},
                       o, error),
                 ParseOutcome::Run);
        // clang-format on
        QVERIFY(!o.faultApplies(0));
        QVERIFY(o.faultApplies(1));
        QVERIFY(!o.faultApplies(2));
        QVERIFY(o.faultApplies(3));
        QCOMPARE(o.faults.latencyMs, 250);
        QVERIFY(o.faults.refuse && o.faults.drop && o.faults.failWrites && o.faults.rebootNeeded &&
                o.faults.malformed && o.faults.silent);
        QCOMPARE(o.faults.loginCode, -11306);
        QVERIFY(o.faults.addressApplyMs == 700 && o.faults.addressAtReboot);
        QCOMPARE(o.blacklist.size(), std::size_t(2));
        QVERIFY(o.blacklist.count("guest"));
        QCOMPARE(o.models.size(), std::size_t(2));
        QCOMPARE(o.models[0]->name, std::string("IPC-B"));
        QCOMPARE(o.password, std::string("pw"));
        QCOMPARE(o.stateDir, std::string("/tmp/x"));
        QCOMPARE(o.fleetId, 9);
    }

    void badCommandLinesAreRefusedWithAReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
        QTest::newRow("count not a number") << QStringList{"--count", "four"} << "--count";
        QTest::newRow("negative count") << QStringList{"--count", "-1"} << "--count";
        QTest::newRow("bad address") << QStringList{"--first-address", "127.0.0"} << "--first-address";
        QTest::newRow("address overflow")
            << QStringList{"--first-address", "255.255.255.254", "--count", "3"} << "--first-address";
        QTest::newRow("foreign on loopback")
            << QStringList{"--foreign", "1", "--foreign-address", "127.0.0.200"} << "--foreign-address";
        QTest::newRow("foreign running into loopback")
            << QStringList{"--foreign", "2", "--foreign-address", "126.255.255.255"} << "--foreign-address";
        QTest::newRow("unknown model") << QStringList{"--models", "IPC-A,NOPE"} << "NOPE";
        QTest::newRow("same address beyond count")
            << QStringList{"--count", "2", "--same-address", "3"} << "--same-address";
        QTest::newRow("fleet id") << QStringList{"--fleet-id", "256"} << "--fleet-id";
        QTest::newRow("fault camera") << QStringList{"--count", "2", "--fault-cameras", "0,2"} << "2";
        QTest::newRow("port") << QStringList{"--service-port", "70000"} << "--service-port";
        QTest::newRow("login code") << QStringList{"--login-code", "x"} << "--login-code";
        QTest::newRow("positional") << QStringList{"extra"} << "extra";
    }

    void badCommandLinesAreRefusedWithAReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        FleetOptions o;
        std::string error;
        QCOMPARE(parse(args, o, error), ParseOutcome::Error);
        QVERIFY2(QString::fromStdString(error).contains(mentions), error.c_str());
    }

    void helpListsEveryOption()
    {
        FleetOptions o;
        std::string error, help;
        QCOMPARE(parseOptions({"vantrel-camsim", "--help"}, o, error, help), ParseOutcome::Help);
        // clang-format off
        for (const char* name : {"--count",           "--first-address",   "--same-address", "--foreign",
                                 "--foreign-address", "--models",          "--password",     "--state-dir",
                                 "--reboot-ms",       "--service-port",    "--upgrade-port", "--discovery-port",
                                 "--control-port",    "--fleet-id",        "--lock-after",   "--lock-ms",
                                 "--max-sessions",    "--max-connections", "--blacklist",    "--fault-cameras",
                                 "--latency-ms",      "--refuse",          "--drop",         "--fail-writes",
                                 "--reboot-needed",   "--malformed",       "--silent",       "--login-code",
                                 "--address-apply-ms", "--address-at-reboot", "--login-timeout-ms"})
            QVERIFY2(help.find(name) != std::string::npos, name);
        // clang-format on
    }

    void faultObjectsChangeOnlyWhatTheyName()
    {
        Faults f;
        f.drop = true;
        std::string error;
        Json::Value change(Json::objectValue);
        change["LatencyMs"] = 40;
        change["Silent"] = true;
        change["LoginCode"] = -11304;
        QVERIFY(f.apply(change, error));
        QCOMPARE(f.latencyMs, 40);
        QVERIFY(f.silent);
        QVERIFY(f.drop); // untouched
        QCOMPARE(f.loginCode, -11304);

        Json::Value bad(Json::objectValue);
        bad["Refuse"] = true;
        bad["LatencyMs"] = "soon";
        QVERIFY(!f.apply(bad, error));
        QVERIFY(!f.refuse); // nothing of a refused change is kept
        QVERIFY(error.find("LatencyMs") != std::string::npos);

        const Json::Value all = f.toJson();
        Faults copy;
        QVERIFY(copy.apply(all, error));
        QCOMPARE(copy.toJson(), all);
    }
};

QTEST_GUILESS_MAIN(TestCamsimOptions)
#include "tst_camsim_options.moc"
