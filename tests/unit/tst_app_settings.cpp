// Config.ini reading and the window title from the build date.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/BuildInfo.h"
#include "app/CAppSettings.h"

namespace {

// Sets or clears an environment variable for one scope and restores it after.
class ScopedEnv
{
public:
    ScopedEnv(const char* szName, const char* szValue) : szName_(szName), baOld_(qgetenv(szName))
    {
        bHad_ = qEnvironmentVariableIsSet(szName);
        szValue ? qputenv(szName, szValue) : qunsetenv(szName);
    }
    ~ScopedEnv() { bHad_ ? qputenv(szName_, baOld_) : qunsetenv(szName_); }

private:
    const char* szName_;
    QByteArray baOld_;
    bool bHad_ = false;
};

} // namespace

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void fileEnvironmentAndDefaults();
    void loopbackOnlySwitch();
    void buildDateAndTitle();

private:
    CAppSettings read(const QByteArray& baText)
    {
        QFile file(dir.filePath("Config.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(baText) != baText.size())
            qFatal("cannot write Config.ini");
        file.close();
        return CAppSettings::read(file.fileName());
    }

    QTemporaryDir dir;
};

void TestAppSettings::fileEnvironmentAndDefaults()
{
    ScopedEnv envBroadcast("VANTREL_BROADCAST", nullptr);
    ScopedEnv envPort("VANTREL_DISCOVERY_PORT", nullptr);
    ScopedEnv envLoopback("VANTREL_LOOPBACK_ONLY", nullptr);
    // No file: every default, and reading never writes one.
    CAppSettings settings = CAppSettings::read(dir.filePath("none.ini"));
    QCOMPARE(settings.strSolution + settings.strBroadcast + settings.strInterface, QString());
    QVERIFY(settings.nModifyIP == 0 && settings.nMicOnlyRecv == 0 && !settings.bLoopbackOnly);
    QCOMPARE(settings.nDiscoveryPort, 34569);
    QCOMPARE(settings.strAddressCheck, QStringLiteral("ping"));
    QVERIFY(!QFile::exists(dir.filePath("none.ini")));

    settings = read("[themes]\nSolution=SimpChinese\n[UpgradeInfo]\nModifyIP=1\n[Mic]\nOnlyRecv=2\n[Network]\n"
                    "Broadcast=127.255.255.255, 127.0.0.255\nAddressCheck=device\nInterface=lo\nDiscoveryPort=35000\n");
    QCOMPARE(settings.strSolution, QStringLiteral("SimpChinese"));
    QVERIFY(settings.nModifyIP == 1 && settings.nMicOnlyRecv == 2);
    QCOMPARE(settings.networkBroadcastList(), QByteArray("127.255.255.255,127.0.0.255"));
    QCOMPARE(settings.strAddressCheck + '/' + settings.strInterface, QStringLiteral("device/lo"));
    QCOMPARE(settings.nDiscoveryPort, 35000);

    // Values out of range keep their defaults.
    settings = read("[Network]\nDiscoveryPort=70000\nAddressCheck=telnet\n[UpgradeInfo]\nModifyIP=yes\n");
    QCOMPARE(settings.nDiscoveryPort, 34569);
    QCOMPARE(settings.strAddressCheck, QStringLiteral("ping"));
    QCOMPARE(settings.nModifyIP, 0);

    // The environment fills network keys the file does not name; the file's win.
    ScopedEnv envBroadcast2("VANTREL_BROADCAST", "127.255.255.255");
    ScopedEnv envPort2("VANTREL_DISCOVERY_PORT", "40001");
    settings = read("[Network]\nBroadcast=127.0.0.255\n");
    QCOMPARE(settings.strBroadcast, QStringLiteral("127.0.0.255"));
    QCOMPARE(settings.nDiscoveryPort, 40001);
}

void TestAppSettings::loopbackOnlySwitch()
{
    // On when the file or the environment says so with a whole number other than 0.
    const struct
    {
        const char* szFile;
        const char* szEnv;
        bool bOn;
    } switches[] = {{"1", nullptr, true}, {" -1 ", nullptr, true}, {"0", nullptr, false}, {"yes", nullptr, false},
                    {"0", "2", true},     {"0", "0", false},       {"0", "true", false}};
    for (const auto& sw : switches) {
        ScopedEnv envSwitch("VANTREL_LOOPBACK_ONLY", sw.szEnv);
        QVERIFY2(read(QByteArray("[Network]\nLoopbackOnly=") + sw.szFile + "\n").bLoopbackOnly == sw.bOn, sw.szFile);
    }
}

void TestAppSettings::buildDateAndTitle()
{
    QCOMPARE(windowTitleText(parseBuildDateTime("Nov 17 2020", "20:24:12")),
             QStringLiteral("Vantrel 20201117 R202412"));
    // The compiler pads a one-digit day with a second blank.
    QCOMPARE(windowTitleText(parseBuildDateTime("Feb  3 2021", "07:05:09")),
             QStringLiteral("Vantrel 20210203 R070509"));
    QVERIFY(!parseBuildDateTime("Foo 17 2020", "20:24:12").isValid());
    QVERIFY(!parseBuildDateTime("Nov 17 2020", "25:24:12").isValid());
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_app_settings.moc"
