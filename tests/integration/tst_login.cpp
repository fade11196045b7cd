// Login against the emulator: the device information block, session counting on the camera, and
// every error output of the login call, including addresses where nothing answers; and broken
// traffic: cameras that answer garbage of every kind the emulator rotates through, in searches,
// logins and requests, fail cleanly without a crash or a hang, and the other cameras are unaffected.

#include <cstring>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

const QString kPassword = QStringLiteral("s3cret");

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
    void deviceInfoSessionsAndCredentials();
    void refusalsByLimitAndList_data();
    void refusalsByLimitAndList();
    void faultsAndUnreachableAddresses();
    void malformedAnswersFailCleanly();
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

void TestLogin::deviceInfoSessionsAndCredentials()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--password", kPassword, "--lock-after", "2", "--lock-ms", "60000"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const camsim::Model* model = modelNamed(emulator.camera(0).value("Model").toString());
    QVERIFY(model);

    // The block at the layout's offsets, with what the camera's model and identity say.
    SDK_DEVICE_INFO info;
    std::memset(&info, 0xA5, sizeof info);
    int error = 0;
    const long first = loginTo(emulator.address(0), kPassword, &error, &info);
    QVERIFY2(first > 0, qPrintable(QString::number(error)));
    const QByteArray raw(reinterpret_cast<const char*>(&info), int(sizeof info));
    QCOMPARE(textAt(raw, 0x000, 64), QString::fromStdString(model->version));
    QCOMPARE(textAt(raw, 0x080, 64), QString::fromStdString(model->name));
    QCOMPARE(intAt(raw, 0x0C0) * 10000 + intAt(raw, 0x0C4) * 100 + intAt(raw, 0x0C8),
             model->buildYear * 10000 + model->buildMonth * 100 + model->buildDay);
    QCOMPARE(intAt(raw, 0x0D8), model->deviceKind);
    QCOMPARE(intAt(raw, 0x0DC), model->channelCount());
    QCOMPARE(textAt(raw, 0x120, 32), emulator.mac(0));
    QCOMPARE(textAt(raw, 0x150, 64), QString::fromStdString(model->hardwareId));
    // The serial (16 hexadecimal digits) is what the search shows as cloud identifier, when it shows one.
    const QString serial = textAt(raw, 0x0E0, 64);
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{16}$")).match(serial).hasMatch(), qPrintable(serial));
    QCOMPARE(parseSearchRecord(searchRecordOf(emulator.mac(0), 1000, 3)).cloudId,
             model->answersCloudId ? serial : QString());

    // Two logins, two sessions; a logout ends one, the other goes on.
    const long second = loginTo(emulator.address(0), kPassword, &error);
    QVERIFY(second > 0 && second != first);
    QCOMPARE(counter(emulator, 0, "Sessions"), 2);
    sdkLogout(first);
    QTRY_COMPARE_WITH_TIMEOUT(counter(emulator, 0, "Sessions"), 1, 5000);
    QCOMPARE(counter(emulator, 0, "Logouts"), 1);
    char buffer[256];
    unsigned long returned = 0;
    QVERIFY(sdkGetConfig(second, 20, -1, buffer, sizeof buffer, &returned, 2000) > 0);
    sdkLogout(second);

    // An unknown user; two wrong proofs lock camera 1's user, after which even the right password is
    // refused, on that camera only.
    QCOMPARE(loginTo(emulator.address(1), kPassword, &error, nullptr, "operator"), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_USER));
    QCOMPARE(loginTo(emulator.address(1), "wrong", &error), 0l);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));
    QCOMPARE(loginTo(emulator.address(1), "guess", &error), 0l);
    QCOMPARE(loginTo(emulator.address(1), kPassword, &error), 0l);
    QCOMPARE(error, int(SDK_ERR_USER_LOCKED));
    QCOMPARE(counter(emulator, 1, "Logins"), 0);
    const long other = loginTo(emulator.address(2), kPassword, &error);
    QVERIFY2(other > 0, qPrintable(QString::number(error)));
    sdkLogout(other);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::refusalsByLimitAndList_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("firstLogsIn");
    QTest::addColumn<int>("expected");
    QTest::newRow("blacklist") << QStringList{"--blacklist", "admin"} << false << int(SDK_ERR_USER_BLACKLIST);
    QTest::newRow("session limit") << QStringList{"--max-sessions", "1"} << true << int(SDK_ERR_USER_LOGGED_IN);
    QTest::newRow("connection limit") << QStringList{"--max-connections", "1"} << true << int(SDK_ERR_BUSY);
}

void TestLogin::refusalsByLimitAndList()
{
    QFETCH(QStringList, options);
    QFETCH(bool, firstLogsIn);
    QFETCH(int, expected);
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(QStringList{"--count", "1"} + options), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long first = firstLogsIn ? loginTo(emulator.address(0), QString(), &error) : 1;
    QVERIFY2(first > 0, qPrintable(QString::number(error)));
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QCOMPARE(error, expected);
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
    QVERIFY2(emulator.start({"--count", "5"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    // Any result the contract does not name; a camera that refuses the connection, a free address of
    // this test's range, and 0.0.0.0 (which would reach a listener on 127.0.0.1 but is outside
    // 127.0.0.0/8, so refused under loopback-only) are no device; a dropped connection is a
    // network error.
    QVERIFY(emulator.setFault(0, QJsonObject{{"LoginCode", -12345}}));
    QVERIFY(emulator.setFault(1, QJsonObject{{"Refuse", true}}));
    QVERIFY(emulator.setFault(2, QJsonObject{{"Drop", true}}));
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const struct
    {
        QString address;
        quint16 port;
        int error;
    } cases[] = {{emulator.address(0), 34567, SDK_ERR_LOGIN_UNKNOWN},
                 {emulator.address(1), 34567, SDK_ERR_NO_DEVICE},
                 {emulator.rangeAddress(200), 34567, SDK_ERR_NO_DEVICE},
                 {"0.0.0.0", probe.serverPort(), SDK_ERR_NO_DEVICE},
                 {emulator.address(2), 34567, SDK_ERR_NETWORK}};
    for (const auto& c : cases) {
        QCOMPARE(loginTo(c.address, QString(), &error, nullptr, "admin", c.port), 0l);
        QVERIFY2(error == c.error, qPrintable(c.address + QStringLiteral(": %1").arg(error)));
    }
    QVERIFY2(!probe.waitForNewConnection(0), "a connection outside 127.0.0.0/8 under loopback-only");

    // A silent camera and one that answers only after 3 s both end the call within the time-out; a
    // healthy camera answers within the same short time-out.
    sdkSetup(500, 1);
    QVERIFY(emulator.setFault(3, QJsonObject{{"Silent", true}}));
    QVERIFY(emulator.setFault(4, QJsonObject{{"LatencyMs", 3000}}));
    for (int i = 3; i <= 4; ++i) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(loginTo(emulator.address(i), QString(), &error), 0l);
        QCOMPARE(error, int(SDK_ERR_TIMEOUT));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
    QVERIFY(emulator.setFault(0, QJsonObject{{"LoginCode", 0}}));
    long handle = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    sdkLogout(handle);
    sdkSetup(2000, 1);

    // Every camera recovers once its fault is lifted.
    QVERIFY(
        emulator.setFault(-1, QJsonObject{{"Refuse", false}, {"Drop", false}, {"Silent", false}, {"LatencyMs", 0}}));
    for (int i = 1; i <= 4; ++i) {
        handle = loginWithin(emulator.address(i), QString(), &error, 5000);
        QVERIFY2(handle > 0, qPrintable(QStringLiteral("camera %1: %2").arg(i).arg(error)));
        sdkLogout(handle);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestLogin::malformedAnswersFailCleanly()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "5"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    sdkSetup(1000, 1);
    int error = 0;
    const long login = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("Malformed"), true}}));
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("Malformed"), true}}));
    QVERIFY(emulator.setFault(4, QJsonObject{{QStringLiteral("Silent"), true}})); // listed by nobody

    const unsigned long badBefore = sdkGetBadFrameCount();
    QElapsedTimer timer;
    timer.start();
    // Three passes cover every kind of bad answer the camera rotates through.
    for (int pass = 0; pass < 3; ++pass) {
        const SearchResult result = searchDevices(256 * kSearchRecordSize, 700);
        QVERIFY(result.returned != 0);
        QSet<QString> macs;
        for (const RawSearchRecord& record : result.records)
            macs.insert(record.mac);
        QCOMPARE(macs, (QSet<QString>{emulator.mac(2), emulator.mac(3)}));
        QCOMPARE(result.records.size(), 2);

        QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
        QVERIFY2(error <= 0, qPrintable(QString::number(error)));

        QByteArray buffer(4096, '\0');
        unsigned long size = 0;
        QVERIFY(sdkGetConfig(login, 41, -1, buffer.data(), (unsigned long)buffer.size(), &size, 1000) <= 0);
        QVERIFY2(sdkGetLastError() < 0, qPrintable(QString::number(sdkGetLastError())));
    }
    // Nothing waited longer than its time-outs allow.
    QVERIFY2(timer.elapsed() < 3 * (700 + 3000 + 1000) + 3000, qPrintable(QString::number(timer.elapsed())));
    // Two bad search answers per pass at least, and the bad login answers.
    QVERIFY2(sdkGetBadFrameCount() >= badBefore + 6,
             qPrintable(QStringLiteral("%1 -> %2").arg(badBefore).arg(sdkGetBadFrameCount())));

    // The healthy cameras are unaffected, and the faulty one recovers once the fault is lifted.
    const long healthy = loginTo(emulator.address(2), QString(), &error);
    QVERIFY2(healthy > 0, qPrintable(QString::number(error)));
    sdkLogout(healthy);
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("Malformed"), false}}));
    const long recovered = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(recovered > 0, qPrintable(QString::number(error)));
    sdkLogout(recovered);
    sdkLogout(login);
    sdkSetup(2000, 1);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
