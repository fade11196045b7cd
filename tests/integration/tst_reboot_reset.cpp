// Maintenance commands through the library: reboot takes a camera away for a while and brings it
// back with its configuration; factory reset restores the model's records; IP adaptive stores its byte.

#include <QJsonObject>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

QByteArray readRecord(long login, int command, int channel)
{
    QByteArray buffer(64 * 1024, '\0');
    unsigned long returned = 0;
    if (sdkGetConfig(login, (unsigned long)command, channel, buffer.data(), (unsigned long)buffer.size(), &returned,
                     3000) <= 0 ||
        returned > (unsigned long)buffer.size()) {
        return QByteArray();
    }
    buffer.truncate(int(returned));
    return buffer;
}

long writeRecord(long login, int command, int channel, QByteArray bytes)
{
    return sdkSetConfig(login, (unsigned long)command, channel, bytes.data(), (unsigned long)bytes.size(), 3000);
}

QByteArray withTail(QByteArray bytes, char value)
{
    const int length = qMin(8, bytes.size());
    for (int i = bytes.size() - length; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ value);
    return bytes;
}

QByteArray resetRecord()
{
    QByteArray record(11, '\1');
    record[10] = '\0';
    return record;
}

} // namespace

class TestRebootReset : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rebootGoesAwayAndComesBack();
    void factoryResetRestoresDefaults();
    void ipAdaptiveStoresItsByte();
};

void TestRebootReset::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestRebootReset::cleanupTestCase()
{
    sdkCleanup();
}

void TestRebootReset::rebootGoesAwayAndComesBack()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--reboot-ms"),
                             QStringLiteral("1500")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    const QByteArray ntp = withTail(readRecord(login, 41, -1), 0x3C);
    QCOMPARE(writeRecord(login, 41, -1, ntp), 1l);

    QVERIFY(sdkControlDevice(login, 0, 3000) != 0);
    // Away: the session is gone and nobody can log in while it restarts.
    QTRY_VERIFY_WITH_TIMEOUT(emulator.camera(0).value(QStringLiteral("Rebooting")).toBool(), 1000);
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QVERIFY(readRecord(login, 41, -1).isEmpty());
    // The neighbour is not affected.
    const long neighbour = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(neighbour > 0, qPrintable(QString::number(error)));
    sdkLogout(neighbour);

    const long back = loginWithin(emulator.address(0), QString(), &error, 10000);
    QVERIFY2(back > 0, qPrintable(QString::number(error)));
    const QJsonObject camera = emulator.camera(0);
    QCOMPARE(camera.value(QStringLiteral("Reboots")).toInt(), 1);
    QCOMPARE(camera.value(QStringLiteral("Rebooting")).toBool(true), false);
    QCOMPARE(camera.value(QStringLiteral("Sessions")).toInt(), 1);
    QCOMPARE(readRecord(back, 41, -1), ntp);
    QCOMPARE(emulator.camera(1).value(QStringLiteral("Reboots")).toInt(), 0);
    sdkLogout(back);
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestRebootReset::factoryResetRestoresDefaults()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));

    const int commands[][2] = {{18, -1}, {41, -1}, {37, -1}, {122, -1}, {138, -1}, {94, 0}, {24, 0}};
    QVector<QByteArray> defaults;
    for (const auto& command : commands) {
        const QByteArray original = readRecord(login, command[0], command[1]);
        QVERIFY2(!original.isEmpty(), qPrintable(QString::number(command[0])));
        QCOMPARE(emulator.record(0, command[0], command[1]), original);
        defaults << original;
        const QByteArray changed = withTail(original, 0x55);
        QCOMPARE(writeRecord(login, command[0], command[1], changed), 1l);
        QCOMPARE(emulator.record(0, command[0], command[1]), changed);
    }
    const QByteArray adaptiveDefault = emulator.record(0, 274, -1);
    QCOMPARE(adaptiveDefault.size(), 1);
    QCOMPARE(writeRecord(login, 274, -1, QByteArray(1, char(adaptiveDefault.at(0) ^ 1))), 1l);
    QVERIFY(emulator.record(0, 274, -1) != adaptiveDefault);

    // A reset record of the wrong size resets nothing.
    QCOMPARE(writeRecord(login, 33, -1, resetRecord().left(10)), long(SDK_ERR_CONFIG_SIZE));
    QCOMPARE(emulator.record(0, 41, -1), withTail(defaults.at(1), 0x55));

    const long reset = writeRecord(login, 33, -1, resetRecord());
    QVERIFY2(reset == 1, qPrintable(QString::number(reset)));
    for (int i = 0; i < int(sizeof commands / sizeof commands[0]); ++i)
        QVERIFY2(emulator.record(0, commands[i][0], commands[i][1]) == defaults.at(i),
                 qPrintable(QString::number(commands[i][0])));
    QCOMPARE(emulator.record(0, 274, -1), adaptiveDefault);
    // The address is kept: the camera still answers where it was.
    QCOMPARE(emulator.camera(0).value(QStringLiteral("HostIP")).toString(), emulator.address(0));
    QCOMPARE(addressAt(emulator.record(0, 20, -1), 0x40), emulator.address(0));
    sdkLogout(login);
    login = loginWithin(emulator.address(0), QString(), &error, 10000);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QCOMPARE(readRecord(login, 41, -1), defaults.at(1));
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestRebootReset::ipAdaptiveStoresItsByte()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("1")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QCOMPARE(readRecord(login, 274, -1).size(), 1);

    QCOMPARE(writeRecord(login, 274, -1, QByteArray(1, '\1')), 1l);
    QCOMPARE(emulator.record(0, 274, -1), QByteArray(1, '\1'));
    QCOMPARE(readRecord(login, 274, -1), QByteArray(1, '\1'));
    QCOMPARE(writeRecord(login, 274, -1, QByteArray(1, '\0')), 1l);
    QCOMPARE(emulator.record(0, 274, -1), QByteArray(1, '\0'));
    QCOMPARE(readRecord(login, 274, -1), QByteArray(1, '\0'));
    QCOMPARE(writeRecord(login, 274, -1, QByteArray(2, '\1')), long(SDK_ERR_CONFIG_SIZE));
    QCOMPARE(emulator.record(0, 274, -1), QByteArray(1, '\0'));
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestRebootReset)
#include "tst_reboot_reset.moc"
