// Address change without login, through the library's broadcast request: cameras move to the
// requested address only with the right credentials, and answer there afterwards.

#include <QJsonObject>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

const QString kPassword = QStringLiteral("s3cret");
const QString kMask = QStringLiteral("255.0.0.0");

long changeAddress(SDK_NET_ADDRESS_BLOCK block, int mode = 254, int waitMs = 5000)
{
    return sdkSetConfigOverNet(20, mode, reinterpret_cast<char*>(&block), sizeof block, waitMs);
}

bool answersLogin(const QString& address, const QString& password, int* error, int timeoutMs = 0)
{
    const long handle =
        timeoutMs > 0 ? loginWithin(address, password, error, timeoutMs) : loginTo(address, password, error);
    if (handle > 0)
        sdkLogout(handle);
    return handle > 0;
}

} // namespace

class TestNetSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void authenticatedChangeMovesTheCamera();
    void sharedAddressesSeparate();
    void foreignCameraMovesIntoReach();
};

void TestNetSet::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestNetSet::cleanupTestCase()
{
    sdkCleanup();
}

void TestNetSet::authenticatedChangeMovesTheCamera()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--password"), kPassword}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString oldAddress = emulator.address(1);
    const QString newAddress = emulator.rangeAddress(100);
    const QString gateway = emulator.firstAddress();
    const QByteArray record = searchRecordOf(emulator.mac(1), 3000, emulator.cameraCount());
    QVERIFY(!record.isEmpty());
    int error = 0;

    // Wrong password: refused, nothing moves.
    QCOMPARE(changeAddress(addressBlock(record, newAddress, kMask, gateway, QStringLiteral("nope"))),
             long(SDK_ERR_PASSWORD));
    QCOMPARE(emulator.camera(1).value(QStringLiteral("HostIP")).toString(), oldAddress);
    QVERIFY(answersLogin(oldAddress, kPassword, &error));

    // Requests the library refuses itself, before sending.
    SDK_NET_ADDRESS_BLOCK block = addressBlock(record, newAddress, kMask, gateway, kPassword);
    QVERIFY(sdkSetConfigOverNet(19, 254, reinterpret_cast<char*>(&block), sizeof block, 2000) < 0);
    QVERIFY(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block - 1, 2000) < 0);
    QVERIFY(sdkSetConfigOverNet(20, 254, nullptr, sizeof block, 2000) < 0);
    QCOMPARE(emulator.camera(1).value(QStringLiteral("HostIP")).toString(), oldAddress);

    QCOMPARE(changeAddress(block), 1l);
    QVERIFY(answersLogin(newAddress, kPassword, &error, 5000));
    QCOMPARE(loginTo(oldAddress, kPassword, &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    const QJsonObject moved = emulator.camera(1);
    QCOMPARE(moved.value(QStringLiteral("HostIP")).toString(), newAddress);
    QCOMPARE(moved.value(QStringLiteral("Submask")).toString(), kMask);
    QCOMPARE(moved.value(QStringLiteral("GateWay")).toString(), gateway);

    // The search shows the new address, and the camera's network record agrees.
    const RawSearchRecord seen = parseSearchRecord(searchRecordOf(emulator.mac(1), 3000, emulator.cameraCount()));
    QCOMPARE(seen.hostIp, newAddress);
    QCOMPARE(seen.submask, kMask);
    QCOMPARE(addressAt(emulator.record(1, 20, -1), 0x40), newAddress);

    // Mode 1 works the same way; the neighbours stay where they were.
    const QString third = emulator.rangeAddress(101);
    QCOMPARE(changeAddress(addressBlock(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount()), third, kMask,
                                        gateway, kPassword),
                           1),
             1l);
    QVERIFY(answersLogin(third, kPassword, &error, 5000));
    QVERIFY(answersLogin(emulator.address(0), kPassword, &error));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestNetSet::sharedAddressesSeparate()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--same-address"),
                             QStringLiteral("3")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QCOMPARE(emulator.address(0), emulator.firstAddress());
    QCOMPARE(emulator.address(2), emulator.firstAddress());

    int error = 0;
    for (int i = 0; i < 3; ++i) {
        const QByteArray record = searchRecordOf(emulator.mac(i), 3000, emulator.cameraCount());
        QVERIFY2(!record.isEmpty(), qPrintable(emulator.mac(i)));
        QCOMPARE(changeAddress(
                     addressBlock(record, emulator.rangeAddress(50 + i), kMask, emulator.firstAddress(), QString())),
                 1l);
    }
    for (int i = 0; i < 3; ++i) {
        QVERIFY(answersLogin(emulator.rangeAddress(50 + i), QString(), &error, 5000));
        QCOMPARE(emulator.camera(i).value(QStringLiteral("HostIP")).toString(), emulator.rangeAddress(50 + i));
        QVERIFY(emulator.camera(i).value(QStringLiteral("Listening")).toBool());
    }
    // Each login reached its own camera.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(emulator.camera(i).value(QStringLiteral("Logins")).toInt(), 1);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestNetSet::foreignCameraMovesIntoReach()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start(
                 {QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--foreign"), QStringLiteral("1")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString foreign = emulator.camera(1).value(QStringLiteral("HostIP")).toString();
    QCOMPARE(foreign, QStringLiteral("192.168.1.10"));
    QVERIFY(!emulator.camera(1).value(QStringLiteral("Listening")).toBool(true));

    const QByteArray record = searchRecordOf(emulator.mac(1), 3000, emulator.cameraCount());
    QVERIFY(!record.isEmpty());
    QCOMPARE(parseSearchRecord(record).hostIp, foreign);
    const QString target = emulator.rangeAddress(120);
    QCOMPARE(changeAddress(addressBlock(record, target, kMask, emulator.firstAddress(), QString())), 1l);

    int error = 0;
    QVERIFY(answersLogin(target, QString(), &error, 5000));
    QCOMPARE(emulator.camera(1).value(QStringLiteral("HostIP")).toString(), target);
    QVERIFY(emulator.camera(1).value(QStringLiteral("Listening")).toBool());
    QCOMPARE(emulator.camera(1).value(QStringLiteral("Logins")).toInt(), 1);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestNetSet)
#include "tst_netset.moc"
