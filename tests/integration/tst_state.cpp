// With a state directory, what a camera was told survives an emulator restart.

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
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

} // namespace

class TestState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void addressAndRecordSurviveRestart();
    void withoutStateDirNothingSurvives();
};

void TestState::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestState::cleanupTestCase()
{
    sdkCleanup();
}

void TestState::addressAndRecordSurviveRestart()
{
    QTemporaryDir state;
    QVERIFY(state.isValid());
    EmulatorProcess emulator;
    QVERIFY2(
        emulator.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--state-dir"), state.path()}),
        qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    const long login = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QByteArray ntp = readRecord(login, 41, -1);
    QVERIFY(ntp.size() >= 8);
    for (int i = ntp.size() - 8; i < ntp.size(); ++i)
        ntp[i] = char(0xA0 + i % 16);
    QCOMPARE(sdkSetConfig(login, 41, -1, ntp.data(), (unsigned long)ntp.size(), 3000), 1l);
    sdkLogout(login);

    const QString moved = emulator.rangeAddress(77);
    SDK_NET_ADDRESS_BLOCK block = addressBlock(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount()), moved,
                                               QStringLiteral("255.0.0.0"), emulator.firstAddress(), QString());
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, 5000), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(2).value(QStringLiteral("HostIP")).toString(), moved, 5000);
    const QString untouched = emulator.address(0);

    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
    QVERIFY(!QDir(state.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());

    QCOMPARE(emulator.address(2), moved);
    QCOMPARE(emulator.address(0), untouched);
    QCOMPARE(emulator.camera(2).value(QStringLiteral("HostIP")).toString(), moved);
    QCOMPARE(parseSearchRecord(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount())).hostIp, moved);
    const long there = loginTo(moved, QString(), &error);
    QVERIFY2(there > 0, qPrintable(QString::number(error)));
    sdkLogout(there);

    QCOMPARE(emulator.record(1, 41, -1), ntp);
    const long again = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(again > 0, qPrintable(QString::number(error)));
    QCOMPARE(readRecord(again, 41, -1), ntp);
    sdkLogout(again);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestState::withoutStateDirNothingSurvives()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("1")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QByteArray original = emulator.record(0, 41, -1);
    QVERIFY(original.size() >= 8);
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QByteArray changed = original;
    changed[changed.size() - 1] = char(~changed.at(changed.size() - 1));
    QCOMPARE(sdkSetConfig(login, 41, -1, changed.data(), (unsigned long)changed.size(), 3000), 1l);
    sdkLogout(login);
    QCOMPARE(emulator.record(0, 41, -1), changed);

    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QCOMPARE(emulator.record(0, 41, -1), original);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestState)
#include "tst_state.moc"
