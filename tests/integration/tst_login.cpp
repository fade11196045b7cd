// Login against the emulator: the device information block, session counting on the camera, and
// every error output of the login call, including addresses where nothing answers.

#include <cstring>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

const QString kPassword = QStringLiteral("s3cret");

QStringList args(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* item : list)
        out << QString::fromLatin1(item);
    return out;
}

int counter(EmulatorProcess& emulator, int index, const char* name)
{
    return emulator.camera(index).value(QLatin1String(name)).toInt(-1);
}

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void rightPasswordFillsInfoAndCountsSessions();
    void credentialErrors();
    void refusalsByLimitAndList_data();
    void refusalsByLimitAndList();
    void faultsAndUnreachableAddresses();
};

void TestLogin::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestLogin::cleanupTestCase()
{
    sdkCleanup();
}

void TestLogin::cleanup()
{
    sdkSetup(2000, 1);
}

void TestLogin::rightPasswordFillsInfoAndCountsSessions()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "2", "--password", "s3cret"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QJsonObject before = emulator.camera(0);
    const camsim::Model* model = modelNamed(before.value(QStringLiteral("Model")).toString());
    QVERIFY(model);
    QCOMPARE(before.value(QStringLiteral("Sessions")).toInt(-1), 0);

    SDK_DEVICE_INFO info;
    std::memset(&info, 0xA5, sizeof info);
    int error = 0;
    const long first = loginTo(emulator.address(0), kPassword, &error, &info);
    QVERIFY2(first > 0, qPrintable(QString::number(error)));

    const QByteArray raw(reinterpret_cast<const char*>(&info), int(sizeof info));
    QCOMPARE(textAt(raw, 0x000, 64), QString::fromStdString(model->version));
    QCOMPARE(textAt(raw, 0x080, 64), QString::fromStdString(model->name));
    QCOMPARE(intAt(raw, 0x0C0), model->buildYear);
    QCOMPARE(intAt(raw, 0x0C4), model->buildMonth);
    QCOMPARE(intAt(raw, 0x0C8), model->buildDay);
    QCOMPARE(intAt(raw, 0x0D8), model->deviceKind);
    QCOMPARE(intAt(raw, 0x0DC), model->channelCount());
    QCOMPARE(textAt(raw, 0x120, 32), emulator.mac(0));
    QCOMPARE(textAt(raw, 0x150, 64), QString::fromStdString(model->hardwareId));
    const QString serial = textAt(raw, 0x0E0, 64);
    static const QRegularExpression hex16(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    QVERIFY2(hex16.match(serial).hasMatch(), qPrintable(serial));

    // The serial is what the search shows as cloud identifier on models that answer one.
    const SearchResult search = searchDevices(16 * kSearchRecordSize, 1000);
    bool found = false;
    for (const RawSearchRecord& record : search.records) {
        if (record.mac != emulator.mac(0))
            continue;
        found = true;
        QCOMPARE(record.cloudId, model->answersCloudId ? serial : QString());
    }
    QVERIFY(found);

    QCOMPARE(counter(emulator, 0, "Sessions"), 1);
    QCOMPARE(counter(emulator, 0, "Logins"), before.value(QStringLiteral("Logins")).toInt() + 1);

    const long second = loginTo(emulator.address(0), kPassword, &error);
    QVERIFY2(second > 0, qPrintable(QString::number(error)));
    QVERIFY(second != first);
    QCOMPARE(counter(emulator, 0, "Sessions"), 2);
    QCOMPARE(counter(emulator, 0, "Logins"), before.value(QStringLiteral("Logins")).toInt() + 2);
    QCOMPARE(counter(emulator, 1, "Sessions"), 0);

    sdkLogout(first);
    QTRY_COMPARE_WITH_TIMEOUT(counter(emulator, 0, "Sessions"), 1, 5000);
    QCOMPARE(counter(emulator, 0, "Logouts"), before.value(QStringLiteral("Logouts")).toInt() + 1);

    // The other login on the same camera still works.
    char buffer[256];
    unsigned long returned = 0;
    QVERIFY(sdkGetConfig(second, 20, -1, buffer, sizeof buffer, &returned, 2000) > 0);
    QCOMPARE(returned, 144ul);

    sdkLogout(second);
    QTRY_COMPARE_WITH_TIMEOUT(counter(emulator, 0, "Sessions"), 0, 5000);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::credentialErrors()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "3", "--password", "s3cret", "--lock-after", "2", "--lock-ms", "60000"})),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    QCOMPARE(loginTo(emulator.address(1), kPassword, &error, nullptr, QStringLiteral("operator")), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_USER));
    // Camera 0: two wrong proofs lock the user, after which even the right password is refused.
    QCOMPARE(loginTo(emulator.address(0), QStringLiteral("wrong"), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QVERIFY2(error == SDK_ERR_PASSWORD || error == SDK_ERR_USER_LOCKED, qPrintable(QString::number(error)));
    QCOMPARE(loginTo(emulator.address(0), QStringLiteral("guess"), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    QCOMPARE(loginTo(emulator.address(0), kPassword, &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    QCOMPARE(counter(emulator, 0, "Logins"), 0);
    QCOMPARE(counter(emulator, 0, "Sessions"), 0);

    // The lock is per camera: camera 2 saw no wrong proof.
    const long handle = loginTo(emulator.address(2), kPassword, &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::refusalsByLimitAndList_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("firstLogsIn");
    QTest::addColumn<int>("expected");
    QTest::newRow("blacklist") << QStringList{QStringLiteral("--blacklist"), QStringLiteral("admin")} << false
                               << int(SDK_ERR_USER_BLACKLIST);
    QTest::newRow("session limit") << QStringList{QStringLiteral("--max-sessions"), QStringLiteral("1")} << true
                                   << int(SDK_ERR_USER_LOGGED_IN);
    QTest::newRow("connection limit") << QStringList{QStringLiteral("--max-connections"), QStringLiteral("1")} << true
                                      << int(SDK_ERR_BUSY);
}

void TestLogin::refusalsByLimitAndList()
{
    QFETCH(QStringList, options);
    QFETCH(bool, firstLogsIn);
    QFETCH(int, expected);
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(QStringList{QStringLiteral("--count"), QStringLiteral("1")} + options),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long first = firstLogsIn ? loginTo(emulator.address(0), QString(), &error) : 1;
    QVERIFY2(first > 0, qPrintable(QString::number(error)));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, expected);
    QCOMPARE(counter(emulator, 0, "Logins"), firstLogsIn ? 1 : 0);
    if (firstLogsIn) {
        // Once the camera has seen the first login close, the user may log in again.
        sdkLogout(first);
        const long again = loginWithin(emulator.address(0), QString(), &error, 5000);
        QVERIFY2(again > 0, qPrintable(QString::number(error)));
        sdkLogout(again);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::faultsAndUnreachableAddresses()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "5"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    // Any result the contract does not name.
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LoginCode"), -12345}}));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_LOGIN_UNKNOWN));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LoginCode"), 0}}));
    long handle = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);

    // A camera that refuses the connection is no device.
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("Refuse"), true}}));
    QCOMPARE(loginTo(emulator.address(1), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    // Nor does a free address of this test's range, nor 0.0.0.0, which would reach a listener on
    // 127.0.0.1 but is outside 127.0.0.0/8 and so refused under loopback-only.
    QCOMPARE(loginTo(emulator.rangeAddress(200), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(
        loginTo(QStringLiteral("0.0.0.0"), QString(), &error, nullptr, QStringLiteral("admin"), probe.serverPort()),
        0l);
    QVERIFY2(!probe.waitForNewConnection(0) && !probe.hasPendingConnections(),
             "the library connected to a destination outside 127.0.0.0/8 under loopback-only");
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));

    QVERIFY(emulator.setFault(2, QJsonObject{{QStringLiteral("Drop"), true}}));
    QCOMPARE(loginTo(emulator.address(2), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NETWORK));

    // A silent camera and one that answers only after 3 s both end the call within the time-out.
    sdkSetup(500, 1);
    QVERIFY(emulator.setFault(3, QJsonObject{{QStringLiteral("Silent"), true}}));
    QVERIFY(emulator.setFault(4, QJsonObject{{QStringLiteral("LatencyMs"), 3000}}));
    for (int i = 3; i <= 4; ++i) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(loginTo(emulator.address(i), QString(), &error), 0l);
        QCOMPARE(error, int(SDK_ERR_TIMEOUT));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
    // A healthy camera answers within the same short time-out.
    handle = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);
    sdkSetup(2000, 1);

    // Every camera recovers once its fault is lifted.
    for (int i = 1; i <= 4; ++i) {
        QVERIFY(emulator.setFault(i, QJsonObject{{QStringLiteral("Refuse"), false},
                                                 {QStringLiteral("Drop"), false},
                                                 {QStringLiteral("Silent"), false},
                                                 {QStringLiteral("LatencyMs"), 0}}));
        handle = loginWithin(emulator.address(i), QString(), &error, 5000);
        QVERIFY2(handle > 0, qPrintable(QStringLiteral("camera %1: %2").arg(i).arg(error)));
        sdkLogout(handle);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
