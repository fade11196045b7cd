// Config.ini reading, the window title and the login error texts.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/BuildInfo.h"
#include "app/CAppSettings.h"
#include "device/DeviceRecords.h"

namespace {

// Sets or clears an environment variable for one scope and restores it after.
class ScopedEnv
{
public:
    ScopedEnv(const char* szName, const char* szValue) : szName_(szName), bHad_(qEnvironmentVariableIsSet(szName))
    {
        baOld_ = qgetenv(szName);
        if (szValue)
            qputenv(szName, szValue);
        else
            qunsetenv(szName);
    }
    ~ScopedEnv()
    {
        if (bHad_)
            qputenv(szName_, baOld_);
        else
            qunsetenv(szName_);
    }

private:
    const char* szName_;
    bool bHad_;
    QByteArray baOld_;
};

bool writeFile(const QString& strPath, const QByteArray& baText)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(baText) == baText.size();
}

} // namespace

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void defaultsWithoutFile();
    void environmentFillsMissingNetworkKeys();
    void fileValues();
    void badNetworkValuesKeepDefaults();
    void buildDateAndTitle();
    void loginErrorTexts_data();
    void loginErrorTexts();
};

void TestAppSettings::defaultsWithoutFile()
{
    ScopedEnv envBroadcast("VANTREL_BROADCAST", nullptr);
    ScopedEnv envPort("VANTREL_DISCOVERY_PORT", nullptr);
    ScopedEnv envLoopback("VANTREL_LOOPBACK_ONLY", nullptr);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const CAppSettings settings = CAppSettings::read(dir.filePath(QStringLiteral("Config.ini")));
    QCOMPARE(settings.strSolution, QString());
    QCOMPARE(settings.nModifyIP, 0);
    QCOMPARE(settings.nMicOnlyRecv, 0);
    QCOMPARE(settings.strBroadcast, QString());
    QCOMPARE(settings.nDiscoveryPort, 34569);
    QCOMPARE(settings.bLoopbackOnly, false);
    QCOMPARE(settings.strAddressCheck, QStringLiteral("ping"));
    QCOMPARE(settings.strInterface, QString());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Config.ini")))); // reading never writes
    QCOMPARE(CAppSettings::iniPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
}

void TestAppSettings::environmentFillsMissingNetworkKeys()
{
    ScopedEnv envBroadcast("VANTREL_BROADCAST", "127.255.255.255");
    ScopedEnv envPort("VANTREL_DISCOVERY_PORT", "40001");
    ScopedEnv envLoopback("VANTREL_LOOPBACK_ONLY", "1");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strIni = dir.filePath(QStringLiteral("Config.ini"));
    CAppSettings settings = CAppSettings::read(strIni);
    QCOMPARE(settings.strBroadcast, QStringLiteral("127.255.255.255"));
    QCOMPARE(settings.nDiscoveryPort, 40001);
    QCOMPARE(settings.bLoopbackOnly, true);

    // Keys in the file win over the environment, except that the loopback-only switch is on when
    // either says so.
    QVERIFY(writeFile(strIni, "[Network]\nBroadcast=127.0.0.255\nDiscoveryPort=40002\nLoopbackOnly=0\n"));
    settings = CAppSettings::read(strIni);
    QCOMPARE(settings.strBroadcast, QStringLiteral("127.0.0.255"));
    QCOMPARE(settings.nDiscoveryPort, 40002);
    QCOMPARE(settings.bLoopbackOnly, true);

    // Which values turn the switch on: a whole number other than 0, in the file or the environment.
    const struct
    {
        const char* szFile;
        const char* szEnv;
        bool bOn;
    } switches[] = {{"1", nullptr, true},  {"2", nullptr, true},    {" -1 ", nullptr, true},
                    {"0", nullptr, false}, {"yes", nullptr, false}, {"", nullptr, false},
                    {"0", "2", true},      {"0", "0", false},       {"0", "true", false}};
    for (const auto& sw : switches) {
        ScopedEnv envSwitch("VANTREL_LOOPBACK_ONLY", sw.szEnv);
        QVERIFY(writeFile(strIni, QByteArray("[Network]\nLoopbackOnly=") + sw.szFile + "\n"));
        QVERIFY2(CAppSettings::read(strIni).bLoopbackOnly == sw.bOn, sw.szFile);
    }
}

void TestAppSettings::fileValues()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strIni = dir.filePath(QStringLiteral("Config.ini"));
    QVERIFY(writeFile(strIni, "[themes]\nSolution=SimpChinese\n[UpgradeInfo]\nModifyIP=1\n[Mic]\nOnlyRecv=2\n"
                              "[Network]\nBroadcast=127.255.255.255, 127.0.0.255\nAddressCheck=device\n"
                              "Interface=lo\nLoopbackOnly=1\nDiscoveryPort=35000\n"));
    const CAppSettings settings = CAppSettings::read(strIni);
    QCOMPARE(settings.strSolution, QStringLiteral("SimpChinese"));
    QCOMPARE(settings.nModifyIP, 1);
    QCOMPARE(settings.nMicOnlyRecv, 2);
    QCOMPARE(settings.strBroadcast, QStringLiteral("127.255.255.255,127.0.0.255"));
    QCOMPARE(settings.networkBroadcastList(), QByteArray("127.255.255.255,127.0.0.255"));
    QCOMPARE(settings.strAddressCheck, QStringLiteral("device"));
    QCOMPARE(settings.strInterface, QStringLiteral("lo"));
    QCOMPARE(settings.bLoopbackOnly, true);
    QCOMPARE(settings.nDiscoveryPort, 35000);
}

void TestAppSettings::badNetworkValuesKeepDefaults()
{
    ScopedEnv envPort("VANTREL_DISCOVERY_PORT", nullptr);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strIni = dir.filePath(QStringLiteral("Config.ini"));
    QVERIFY(writeFile(strIni, "[Network]\nDiscoveryPort=70000\nAddressCheck=telnet\n[UpgradeInfo]\nModifyIP=yes\n"));
    CAppSettings settings = CAppSettings::read(strIni);
    QCOMPARE(settings.nDiscoveryPort, 34569);
    QCOMPARE(settings.strAddressCheck, QStringLiteral("ping"));
    QCOMPARE(settings.nModifyIP, 0);
    QVERIFY(writeFile(strIni, "[Network]\nDiscoveryPort=port\n"));
    settings = CAppSettings::read(strIni);
    QCOMPARE(settings.nDiscoveryPort, 34569);
}

void TestAppSettings::buildDateAndTitle()
{
    const QDateTime dt = parseBuildDateTime("Nov 17 2020", "20:24:12");
    QCOMPARE(dt, QDateTime(QDate(2020, 11, 17), QTime(20, 24, 12)));
    QCOMPARE(windowTitleText(dt), QStringLiteral("Vantrel 20201117 R202412"));

    // The compiler pads a one-digit day with a second blank.
    const QDateTime dtPadded = parseBuildDateTime("Feb  3 2021", "07:05:09");
    QCOMPARE(dtPadded, QDateTime(QDate(2021, 2, 3), QTime(7, 5, 9)));
    QCOMPARE(windowTitleText(dtPadded), QStringLiteral("Vantrel 20210203 R070509"));

    QVERIFY(!parseBuildDateTime("Foo 17 2020", "20:24:12").isValid());
    QVERIFY(!parseBuildDateTime("Nov 17 2020", "25:24:12").isValid());
    // This very build parses.
    QVERIFY(parseBuildDateTime(__DATE__, __TIME__).isValid());
}

void TestAppSettings::loginErrorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Network is error";
    QTest::newRow("7") << 7 << "System is busying";
    QTest::newRow("-10005") << -10005 << "Login timeout";
    QTest::newRow("-11301") << -11301 << "Password is error";
    QTest::newRow("-11302") << -11302 << "The user is not existed";
    QTest::newRow("-11303") << -11303 << "The user is locked";
    QTest::newRow("-11304") << -11304 << "The user is in blacklist";
    QTest::newRow("-11305") << -11305 << "The user has logined";
    QTest::newRow("-11306") << -11306 << "Unknow Error";
    QTest::newRow("-11307") << -11307 << "Cann't find the device";
    QTest::newRow("-10009") << -10009 << "Unknow Error";
    QTest::newRow("1") << 1 << "Unknow Error";
}

void TestAppSettings::loginErrorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(loginErrorText(code), text);
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_app_settings.moc"
