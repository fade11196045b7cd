// Broken traffic: the library survives cameras that answer garbage of every kind the emulator
// rotates through, in searches, logins and requests, without crashing or hanging, and the other
// cameras are unaffected.

#include <QElapsedTimer>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void malformedAnswersFailCleanly();
};

void TestRobustness::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestRobustness::cleanupTestCase()
{
    sdkCleanup();
}

void TestRobustness::malformedAnswersFailCleanly()
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

QTEST_GUILESS_MAIN(TestRobustness)
#include "tst_robustness.moc"
