// The widget-free parts of the batch: the records and row texts of the maintenance commands, the
// bounded reading of a configuration file and the worker thread wrapper. The runner and the
// dedicated worker are tested against the emulator (tst_batchrunner).
#include <atomic>

#include <QTemporaryDir>
#include <QtTest>

#include "batch/BatchCommands.h"
#include "batch/BatchTexts.h"
#include "batch/CMyThread.h"
#include "device/DeviceRecords.h"

namespace {

std::atomic<int> g_nCalls{0};
void* g_pSeenArg = nullptr;

unsigned int countingBody(void* pArg)
{
    g_pSeenArg = pArg;
    ++g_nCalls;
    return 7;
}

} // namespace

class TestAppBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void maintenanceRecordsAndTexts();
    void dealMessageTable();
    void configFileReading();
    void workerThreadRunsItsFunction();

private:
    QTemporaryDir dir;
};

void TestAppBatch::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestAppBatch::maintenanceRecordsAndTexts()
{
    const QByteArray baReset = factoryResetRecord();
    QCOMPARE(baReset, QByteArray("\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x00", 11));

    QCOMPARE(resetResultText(1), QStringLiteral("Reset Config Success"));
    QCOMPARE(resetResultText(0), QStringLiteral("Reset Config Success"));
    QCOMPARE(resetResultText(-10005), QStringLiteral("Reset Config Success"));
    QCOMPARE(resetResultText(-11300), QStringLiteral("Reset Config Filed Err=-11300"));
    QCOMPARE(resetResultText(-11401), QStringLiteral("Reset Config Filed Err=-11401"));

    QCOMPARE(adaptiveResultText(1), QStringLiteral("Set IP adaptive Success"));
    QCOMPARE(adaptiveResultText(0), QStringLiteral("Set IP adaptive Failed"));
    QCOMPARE(adaptiveResultText(-10005), QStringLiteral("Set IP adaptive Failed"));
    QCOMPARE(adaptiveResultText(-11401), QStringLiteral("Set IP adaptive Failed"));

    QCOMPARE(importResultText(1), QStringLiteral("ImportConfigSuccess"));
    QCOMPARE(importResultText(0), QStringLiteral("ImportConfigSuccess"));
    QCOMPARE(importResultText(-11401), QStringLiteral("ImportConfigSuccess"));
    QCOMPARE(importResultText(-10005), QStringLiteral("ImportConfigFailed"));
    QCOMPARE(importResultText(-11200), QStringLiteral("ImportConfigFailed"));
    QCOMPARE(loginSuccessText(), QStringLiteral("Login Success"));
}

void TestAppBatch::dealMessageTable()
{
    for (int nCmd : {0, 1, 2, 3, -1}) {
        for (int nRet : {-10005, -1, -11200, 0, 1, 5}) {
            const bool bSuccess = nRet >= 0 || nRet == -10005;
            QCOMPARE(isDealSuccess(nRet), bSuccess);
            QString strExpected;
            if (nCmd == 1)
                strExpected =
                    bSuccess ? QStringLiteral("Reset Config Successfully") : QStringLiteral("Reset Config Failed");
            else if (nCmd == 2)
                strExpected = bSuccess ? QStringLiteral("Reboot Successfully") : QStringLiteral("Reboot Failed");
            else if (nCmd == 0 && !bSuccess)
                strExpected = loginErrorText(-11301);
            QCOMPARE(dealMessageText(nRet, -11301, nCmd), strExpected);
        }
    }
}

void TestAppBatch::configFileReading()
{
    auto write = [this](const QString& strName, const QByteArray& ba) {
        QFile file(dir.filePath(strName));
        if (!file.open(QIODevice::WriteOnly) || file.write(ba) != ba.size())
            return QString();
        return file.fileName();
    };
    QByteArray baData("stale");
    int nChunks = -1;
    QCOMPARE(readConfigFile(dir.filePath(QStringLiteral("none.cfg")), &baData, &nChunks), ConfigFileRead::Unopenable);
    QVERIFY(baData.isEmpty());
    QCOMPARE(readConfigFile(write(QStringLiteral("empty.cfg"), QByteArray()), &baData, &nChunks),
             ConfigFileRead::Empty);
    QCOMPARE(nChunks, 0);

    QByteArray ba300;
    for (int i = 0; i < 300; ++i)
        ba300.append(char(i));
    QCOMPARE(readConfigFile(write(QStringLiteral("300.cfg"), ba300), &baData, &nChunks), ConfigFileRead::Ok);
    QCOMPARE(baData, ba300);
    QCOMPARE(nChunks, 2); // 255 + 45

    const QByteArray baLimit(kImportMaxBytes, 'x');
    QCOMPARE(readConfigFile(write(QStringLiteral("limit.cfg"), baLimit), &baData, &nChunks), ConfigFileRead::Ok);
    QCOMPARE(baData.size(), kImportMaxBytes);
    QCOMPARE(nChunks, (kImportMaxBytes + kImportChunkBytes - 1) / kImportChunkBytes);

    QCOMPARE(readConfigFile(write(QStringLiteral("over.cfg"), baLimit + 'y'), &baData, &nChunks),
             ConfigFileRead::TooLarge);
    QVERIFY(baData.isEmpty());
    QCOMPARE(readConfigFile(write(QStringLiteral("big.cfg"), QByteArray(200 * 1024, 'z')), &baData),
             ConfigFileRead::TooLarge);
}

void TestAppBatch::workerThreadRunsItsFunction()
{
    int nArg = 0;
    {
        CMyThread thread;
        thread.start();
        QVERIFY(thread.wait(5000));
        QCOMPARE(g_nCalls.load(), 0); // no function: nothing runs

        thread.setThreadFunc(&countingBody, &nArg);
        for (int i = 1; i <= 2; ++i) {
            thread.start();
            QVERIFY(thread.wait(5000));
            QCOMPARE(g_nCalls.load(), i);
            QCOMPARE(g_pSeenArg, static_cast<void*>(&nArg));
        }
    }
}

QTEST_GUILESS_MAIN(TestAppBatch)
#include "tst_app_batch.moc"
