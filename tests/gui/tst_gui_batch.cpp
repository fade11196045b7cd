// The batch commands wired through the real window to the emulator: a button's batch over the
// checked rows and the refusal of a second one, closing the window in the middle of a batch, the
// planning dialog's address change, the dedicated reset worker and the order of cell writes. What
// the workers do row by row is tested without a window (tst_batchrunner).
#include <thread>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

#include "CMyIpAddrEdit.h"
#include "batch/CBatchDealThread.h"
#include "batch/CIpSetDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

using guitest::ModalAnswerer;
using guitest::StatusLog;

namespace {

constexpr int kBatchDeadlineMs = 20000;

QStringList texts(std::initializer_list<const char*> lst)
{
    QStringList lstTexts;
    for (const char* sz : lst)
        lstTexts << QString::fromLatin1(sz);
    return lstTexts;
}

} // namespace

class TestGuiBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void buttonRunsTheBatchAndClosingStopsIt();
    void planningDialogMovesTheCheckedCameras();
    void dedicatedWorkerReportsIntoTheRows();
    void cellWritesKeepTheirOrder();

private:
    int cameraOfRow(int nRow) { return guitest::cameraOfRow(*pWindow, emulator, nRow); }
    QByteArray adaptiveRecord(int nCamera) { return emulator.record(nCamera, 274, -1); }
    QPushButton* button(const char* szName) { return guitest::button(*pWindow, szName); }

    EmulatorProcess emulator;
    std::unique_ptr<CVantrel> pWindow;
};

void TestGuiBatch::initTestCase()
{
    QVERIFY(guitest::startEmulator(emulator, {"--count", "3", "--models", "IPC-A", "--reboot-ms", "300"}));
}

void TestGuiBatch::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiBatch::init()
{
    QVERIFY(emulator.setFault(-1, QJsonObject{{"LatencyMs", 0}}));
    pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
}

void TestGuiBatch::cleanup()
{
    pWindow.reset();
}

void TestGuiBatch::buttonRunsTheBatchAndClosingStopsIt()
{
    const int anCam[3] = {cameraOfRow(0), cameraOfRow(1), cameraOfRow(2)};
    const QByteArray baUntouched = adaptiveRecord(anCam[1]);
    StatusLog log(pWindow->tableModel());
    ModalAnswerer answerer;
    guitest::checkRows(*pWindow, {0, 2});
    QTest::mouseClick(button("btnOpenDhcp"), Qt::LeftButton);
    // A second command while the batch runs is refused and changes nothing of the running one.
    QTest::mouseClick(button("btnReset"), Qt::LeftButton);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QCOMPARE(pWindow->commandCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), kBatchDeadlineMs);
    QCoreApplication::processEvents();
    for (int nRow : {0, 2}) {
        QCOMPARE(log.forRow(nRow), texts({"Login Success", "Set IP adaptive Success"}));
        QCOMPARE(adaptiveRecord(anCam[nRow]), QByteArray(1, char(1)));
    }
    QCOMPARE(log.forRow(1), QStringList());
    QCOMPARE(adaptiveRecord(anCam[1]), baUntouched);

    // Closing the window while the first row is in progress stops the batch there: the window goes
    // once that row is done, and the last camera is never reached.
    QVERIFY(emulator.setFault(-1, QJsonObject{{"LatencyMs", 300}}));
    const int nLogins = guitest::cameraValue(emulator, anCam[2], "Logins");
    log.lst.clear();
    QTest::mouseClick(button("btnCloseDhcp"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(log.forRow(0), texts({"Login Success"}), kBatchDeadlineMs);
    pWindow.reset();
    QCOMPARE(adaptiveRecord(anCam[0]), QByteArray(1, char(0)));
    QCOMPARE(adaptiveRecord(anCam[2]), QByteArray(1, char(1)));
    QCOMPARE(guitest::cameraValue(emulator, anCam[2], "Logins"), nLogins);
}

void TestGuiBatch::planningDialogMovesTheCheckedCameras()
{
    // The next planning dialog gets a start address, mask and gateway and is accepted.
    ModalAnswerer answerer;
    const QString strStart = emulator.rangeAddress(50);
    answerer.queue<CIpSetDlg>([&](CIpSetDlg* pPlan) {
        QTRY_VERIFY(!pPlan->isProposing());
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditIP"))->setText(strStart);
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditMask"))->setText(QStringLiteral("255.255.255.0"));
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditGateway"))->setText(emulator.rangeAddress(0));
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
    QTRY_VERIFY(button("btnModifyIP")->isEnabled());

    // Start-address mode over the checked rows: consecutive free addresses, in the cameras and the rows.
    guitest::checkRows(*pWindow, {0, 2});
    const int anCam[3] = {cameraOfRow(0), cameraOfRow(1), cameraOfRow(2)};
    const QString strOld1 = guitest::cell(*pWindow, 1, ColumnIpAddress);
    QVERIFY(guitest::runBatch(*pWindow, "btnModifyIP", kBatchDeadlineMs));
    QCOMPARE(pWindow->commandCode(), 3);
    for (int nRow : {0, 2}) {
        const QString strExpected = emulator.rangeAddress(nRow == 0 ? 50 : 51);
        QCOMPARE(guitest::cell(*pWindow, nRow, ColumnStatus), QStringLiteral("Modify Success"));
        QCOMPARE(guitest::cell(*pWindow, nRow, ColumnIpAddress), strExpected);
        QCOMPARE(emulator.camera(anCam[nRow]).value(QStringLiteral("HostIP")).toString(), strExpected);
    }
    QCOMPARE(guitest::cell(*pWindow, 1, ColumnIpAddress), strOld1);
}

void TestGuiBatch::dedicatedWorkerReportsIntoTheRows()
{
    ModalAnswerer answerer;
    CBatchDealThread* pDeal = pWindow->dealThread();
    pWindow->BatchOpr(1);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Please Select a Device")});

    // A logged-in row: after the worker's success the window logs the row's own login out.
    QVERIFY(guitest::loginRow(*pWindow, 1));
    guitest::checkRows(*pWindow, {1, 2});
    QSignalSpy spy(pDeal, &CBatchDealThread::message);
    StatusLog log(pWindow->tableModel());
    pWindow->BatchOpr(1);
    // A second request while the pass runs is refused and does not join it.
    answerer.lstSeen.clear();
    pWindow->BatchOpr(2);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kBatchDeadlineMs);
    QTRY_VERIFY(!pDeal->isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(log.forRow(1), texts({"Reset Config Successfully"}));
    QCOMPARE(log.forRow(2), texts({"Reset Config Successfully"}));
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, 0L);
    QTRY_COMPARE(guitest::cameraValue(emulator, cameraOfRow(1), "Sessions"), 0);
}

void TestGuiBatch::cellWritesKeepTheirOrder()
{
    StatusLog log(pWindow->tableModel());
    // From the user-interface thread a write applies at once; from another thread, queued signals
    // and direct calls interleaved reach the model later, in call order.
    pWindow->setTableCellText(1, 3, QStringLiteral("now"));
    QCOMPARE(pWindow->tableModel()->index(1, 3).data().toString(), QStringLiteral("now"));
    QStringList lstExpected{QStringLiteral("1:now")};
    for (int i = 0; i < 200; ++i)
        lstExpected << QStringLiteral("1:w%1").arg(i);
    std::thread writer([this] {
        for (int i = 0; i < 200; ++i) {
            if (i % 2)
                emit pWindow->updateTableInfo(1, 3, QStringLiteral("w%1").arg(i));
            else
                pWindow->setTableCellText(1, 3, QStringLiteral("w%1").arg(i));
        }
    });
    writer.join();
    QCOMPARE(pWindow->tableModel()->index(1, 3).data().toString(), QStringLiteral("now"));
    QTRY_COMPARE(log.lst, lstExpected);
}

QTEST_MAIN(TestGuiBatch)
#include "tst_gui_batch.moc"
