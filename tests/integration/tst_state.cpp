// The emulator's state files: with a state directory what a camera was told survives a restart,
// a file that is not the camera's own gives only that camera the defaults, and without a directory
// nothing survives.

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

class TestState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void stateSurvivesRestartsFileByFile();
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

void TestState::stateSurvivesRestartsFileByFile()
{
    QTemporaryDir state;
    QVERIFY(state.isValid());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--state-dir", state.path()}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    // Camera 1 gets a new time-server record and camera 0 a new IP-adaptive byte over a login,
    // camera 2 a new address without one.
    const QByteArray defaultNtp = emulator.record(1, 41, -1);
    QByteArray ntp = defaultNtp;
    QVERIFY(ntp.size() >= 8);
    for (int i = ntp.size() - 8; i < ntp.size(); ++i)
        ntp[i] = char(0xA0 + i % 16);
    const QByteArray adaptive(1, char(emulator.record(0, 274, -1).at(0) ^ 1));
    for (const auto& [camera, command, bytes] : {std::tuple{1, 41, ntp}, std::tuple{0, 274, adaptive}}) {
        const long login = loginTo(emulator.address(camera), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));
        QByteArray data = bytes;
        QCOMPARE(sdkSetConfig(login, command, -1, data.data(), (unsigned long)data.size(), 3000), 1l);
        sdkLogout(login);
    }
    const QString moved = emulator.rangeAddress(77);
    SDK_NET_ADDRESS_BLOCK block = addressBlock(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount()), moved,
                                               "255.0.0.0", emulator.firstAddress(), QString());
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, 5000), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(2).value("HostIP").toString(), moved, 5000);

    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    // The moved camera listens and answers searches at its new address; the records came back.
    QCOMPARE(emulator.address(2), moved);
    QCOMPARE(parseSearchRecord(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount())).hostIp, moved);
    const long there = loginTo(moved, QString(), &error);
    QVERIFY2(there > 0, qPrintable(QString::number(error)));
    sdkLogout(there);
    QCOMPARE(emulator.record(1, 41, -1), ntp);
    QCOMPARE(emulator.record(0, 274, -1), adaptive);

    // Camera 1's file replaced by camera 0's (another camera's state): camera 1 gets its defaults,
    // the others keep theirs.
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
    const QString file1 = state.filePath(emulator.mac(1).remove(':') + ".json");
    QVERIFY(QFile::remove(file1) && QFile::copy(state.filePath(emulator.mac(0).remove(':') + ".json"), file1));
    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QCOMPARE(emulator.record(1, 41, -1), defaultNtp);
    QVERIFY(emulator.address(1) != emulator.address(0));
    QCOMPARE(emulator.record(0, 274, -1), adaptive);
    QCOMPARE(emulator.address(2), moved);

    // Without a state directory nothing survives.
    EmulatorProcess memoryOnly;
    QVERIFY2(memoryOnly.start({"--count", "1"}), qPrintable(memoryOnly.errorString()));
    QVERIFY(memoryOnly.configureLibrary());
    const long login = loginTo(memoryOnly.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QByteArray data = adaptive;
    QCOMPARE(sdkSetConfig(login, 274, -1, data.data(), 1, 3000), 1l);
    sdkLogout(login);
    QVERIFY2(memoryOnly.restart(), qPrintable(memoryOnly.errorString()));
    QVERIFY(memoryOnly.record(0, 274, -1) != adaptive);
    QVERIFY2(memoryOnly.stop(), qPrintable(memoryOnly.errorString()));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestState)
#include "tst_state.moc"
