// Login against the emulator: the device information block, session counting on the camera, and
// every error output of the login call.

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
    void blacklistedUser();
    void sessionLimit();
    void connectionLimitAnswersBusy();
    void unreachableAddresses();
    void faultsSeenByLogin();
    void timeOutEndsTheCallInTime();
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
    QCOMPARE(textAt(raw, 0x000, 64), before.value(QStringLiteral("Version")).toString());
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

    // The closed handle is refused; the other login still works.
    char buffer[256];
    unsigned long returned = 0;
    QVERIFY(sdkGetConfig(first, 20, -1, buffer, sizeof buffer, &returned, 2000) <= 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
    QVERIFY(sdkGetConfig(second, 20, -1, buffer, sizeof buffer, &returned, 2000) > 0);
    QCOMPARE(returned, 144ul);

    sdkLogout(second);
    QTRY_COMPARE_WITH_TIMEOUT(counter(emulator, 0, "Sessions"), 0, 5000);
    QCOMPARE(counter(emulator, 0, "Logins"), before.value(QStringLiteral("Logins")).toInt() + 2);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::credentialErrors()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "4", "--password", "s3cret", "--lock-after", "2", "--lock-ms", "60000"})),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    QCOMPARE(loginTo(emulator.address(0), QStringLiteral("wrong"), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));
    QCOMPARE(loginTo(emulator.address(1), kPassword, &error, nullptr, QStringLiteral("operator")), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_USER));
    QCOMPARE(counter(emulator, 0, "Logins"), 0);
    QCOMPARE(counter(emulator, 0, "Sessions"), 0);

    // Camera 2: two wrong proofs lock the user, after which even the right password is refused.
    QCOMPARE(loginTo(emulator.address(2), QStringLiteral("guess1"), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));
    QCOMPARE(loginTo(emulator.address(2), QStringLiteral("guess2"), &error), 0l);
    QVERIFY2(error == SDK_ERR_PASSWORD || error == SDK_ERR_USER_LOCKED, qPrintable(QString::number(error)));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(loginTo(emulator.address(2), QStringLiteral("guess"), &error), 0l);
        QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    }
    QCOMPARE(loginTo(emulator.address(2), kPassword, &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    QCOMPARE(counter(emulator, 2, "Logins"), 0);

    // Camera 0 saw two wrong proofs as well (two different wrong passwords), so it is locked too;
    // the lock is per camera, and camera 3 saw none.
    QCOMPARE(loginTo(emulator.address(0), kPassword, &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    const long handle = loginTo(emulator.address(3), kPassword, &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::blacklistedUser()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "1", "--blacklist", "admin"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_BLACKLIST));
    QCOMPARE(counter(emulator, 0, "Logins"), 0);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::sessionLimit()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "1", "--max-sessions", "1"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long first = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(first > 0, qPrintable(QString::number(error)));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOGGED_IN));

    // Once the session is closed, the user may log in again.
    sdkLogout(first);
    QTRY_COMPARE_WITH_TIMEOUT(counter(emulator, 0, "Sessions"), 0, 5000);
    const long again = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(again > 0, qPrintable(QString::number(error)));
    sdkLogout(again);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::connectionLimitAnswersBusy()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "1", "--max-connections", "1"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long first = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(first > 0, qPrintable(QString::number(error)));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_BUSY));

    sdkLogout(first);
    // The camera frees the connection when it sees the close; poll a fresh login until it does.
    const long again = loginWithin(emulator.address(0), QString(), &error, 5000);
    QVERIFY2(again > 0, qPrintable(QString::number(error)));
    sdkLogout(again);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::unreachableAddresses()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "1"})), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    // A loopback address of this test's range where nothing listens.
    QCOMPARE(loginTo(emulator.rangeAddress(200), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    QCOMPARE(loginTo(QStringLiteral("300.1.2.3"), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));

    // Before anything is tried outside loopback, make sure the loopback-only switch holds for an
    // address that cannot leave this machine: 0.0.0.0 reaches a listener on 127.0.0.1.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(
        loginTo(QStringLiteral("0.0.0.0"), QString(), &error, nullptr, QStringLiteral("admin"), probe.serverPort()),
        0l);
    QVERIFY2(!probe.waitForNewConnection(0) && !probe.hasPendingConnections(),
             "the library connected to a destination outside 127.0.0.0/8 under loopback-only");
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(loginTo(QStringLiteral("192.0.2.1"), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    // Refused before anything is sent, so without waiting for a connect time-out.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::faultsSeenByLogin()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "4"})), qPrintable(emulator.errorString()));
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

    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("Refuse"), true}}));
    QCOMPARE(loginTo(emulator.address(1), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));

    QVERIFY(emulator.setFault(2, QJsonObject{{QStringLiteral("Drop"), true}}));
    QCOMPARE(loginTo(emulator.address(2), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NETWORK));

    sdkSetup(500, 1);
    QVERIFY(emulator.setFault(3, QJsonObject{{QStringLiteral("Silent"), true}}));
    QCOMPARE(loginTo(emulator.address(3), QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_TIMEOUT));
    sdkSetup(2000, 1);

    // Every camera recovers once its fault is lifted.
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(emulator.setFault(i, QJsonObject{{QStringLiteral("Refuse"), false},
                                                 {QStringLiteral("Drop"), false},
                                                 {QStringLiteral("Silent"), false}}));
        handle = loginWithin(emulator.address(i), QString(), &error, 5000);
        QVERIFY2(handle > 0, qPrintable(QStringLiteral("camera %1: %2").arg(i).arg(error)));
        sdkLogout(handle);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::timeOutEndsTheCallInTime()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(args({"--count", "2", "--latency-ms", "3000", "--fault-cameras", "0"})),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    sdkSetup(500, 1);
    int error = 0;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(error, int(SDK_ERR_TIMEOUT));
    // A bound, not a benchmark: the camera answers only after 3 s.
    QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));

    // The camera without latency answers within the same short time-out.
    const long handle = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);

    // With the latency gone, the slow camera logs in again.
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 0}}));
    sdkSetup(2000, 1);
    const long late = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(late > 0, qPrintable(QString::number(error)));
    sdkLogout(late);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
