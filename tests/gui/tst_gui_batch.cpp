// The batch worker through the real window against the emulator: what the login-based commands
// write to the cameras and to the rows, how logins survive failures, how a batch refuses a second
// start, and the dedicated worker with its row texts.
#include <thread>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

#include "CMyIpAddrEdit.h"
#include "batch/CBatchDealThread.h"
#include "batch/CIpSetDlg.h"
#include "device/DeviceRecords.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

using guitest::ModalAnswerer;
using guitest::StatusLog;

namespace {

constexpr int kBatchDeadlineMs = 20000;

// The next planning dialog is filled with this address, mask 255.255.255.0 and gateway (same-address
// mode when bSame) and accepted.
void queuePlan(ModalAnswerer& answerer, const QString& strIp, const QString& strGateway, bool bSame)
{
    answerer.queue<CIpSetDlg>([strIp, strGateway, bSame](CIpSetDlg* pPlan) {
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditIP"))->setText(strIp);
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditMask"))->setText(QStringLiteral("255.255.255.0"));
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditGateway"))->setText(strGateway);
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(bSame ? QStringLiteral("checkBoxSameIp")
                                                                   : QStringLiteral("checkBoxStartIp")),
                          Qt::LeftButton);
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
}

QStringList texts(const char* szFirst, const char* szSecond = nullptr)
{
    QStringList lst{QString::fromLatin1(szFirst)};
    if (szSecond)
        lst << QString::fromLatin1(szSecond);
    return lst;
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
    void adaptiveAndResetReachTheCameras();
    void failuresKeepLoginsAndTheBatchGoesOn();
    void dedicatedWorker();
    void addressCommandsApplyThePlan();
    void cellWritesKeepTheirOrder();
    void closingTheWindowLetsTheBatchFinish();

private:
    int cameraOfRow(int nRow) { return guitest::cameraOfRow(*pWindow, emulator, nRow); }
    QByteArray adaptiveRecord(int nCamera) { return emulator.record(nCamera, 274, -1); }
    void check(std::initializer_list<int> lstRows) { guitest::checkRows(*pWindow, lstRows); }
    bool runButton(const char* szName) { return guitest::runBatch(*pWindow, szName, kBatchDeadlineMs); }
    bool loginRow(int nRow);
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
    QVERIFY(emulator.setFault(
        -1,
        QJsonObject{
            {"LatencyMs", 0}, {"FailWrites", false}, {"RebootNeeded", false}, {"Silent", false}, {"LoginCode", 0}}));
    pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
}

void TestGuiBatch::cleanup()
{
    pWindow.reset();
}

bool TestGuiBatch::loginRow(int nRow)
{
    // The double click of a row logs in with the password field and keeps the login.
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->clear();
    pWindow->on_tableView_doubleClicked(pWindow->tableModel()->index(nRow, 1));
    return pWindow->getDevInfo(nRow)->lLoginID > 0;
}

void TestGuiBatch::adaptiveAndResetReachTheCameras()
{
    const int anCam[3] = {cameraOfRow(0), cameraOfRow(1), cameraOfRow(2)};
    const QByteArray baDefault = adaptiveRecord(anCam[2]);
    QCOMPARE(baDefault.size(), 1);
    const QByteArray baUntouched = adaptiveRecord(anCam[1]);

    StatusLog log(pWindow->tableModel());
    ModalAnswerer answerer;
    check({0, 2});
    QTest::mouseClick(button("btnOpenDhcp"), Qt::LeftButton);
    // A second command while the batch runs is refused and changes nothing of the running one.
    QTest::mouseClick(button("btnReset"), Qt::LeftButton);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QCOMPARE(pWindow->commandCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), kBatchDeadlineMs);
    QCoreApplication::processEvents();

    // Checked rows only: each logged in, written, logged out; the unchecked row is left alone.
    for (int nRow : {0, 2}) {
        QCOMPARE(log.forRow(nRow), texts("Login Success", "Set IP adaptive Success"));
        QCOMPARE(adaptiveRecord(anCam[nRow]), QByteArray(1, char(1)));
        QCOMPARE(pWindow->getDevInfo(nRow)->lLoginID, -1L);
    }
    QCOMPARE(log.forRow(1), QStringList());
    QCOMPARE(adaptiveRecord(anCam[1]), baUntouched);
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, 0L);
    QTRY_COMPARE(guitest::cameraValue(emulator, anCam[0], "Sessions"), 0);
    QVERIFY(runButton("btnCloseDhcp"));
    QCOMPARE(adaptiveRecord(anCam[0]), QByteArray(1, char(0)));
    QCOMPARE(adaptiveRecord(anCam[2]), QByteArray(1, char(0)));
    QVERIFY(runButton(baDefault.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"));
    QVERIFY(adaptiveRecord(anCam[2]) != baDefault);

    // Reset by device answer: row 0's camera wants a reboot (an error), row 1 is logged in before its
    // camera slows down so only the reset runs into the time-out (a success), row 2's record comes
    // back to its factory value.
    QVERIFY(emulator.setFault(anCam[0], QJsonObject{{"RebootNeeded", true}}));
    QVERIFY(loginRow(1));
    QVERIFY(emulator.setFault(anCam[1], QJsonObject{{"LatencyMs", 3500}}));
    check({1});
    log.lst.clear();
    QVERIFY(runButton("btnReset"));
    QCOMPARE(log.forRow(0), texts("Login Success", "Reset Config Filed Err=-11401"));
    QCOMPARE(log.forRow(1), texts("Reset Config Success"));
    QCOMPARE(log.forRow(2), texts("Login Success", "Reset Config Success"));
    QCOMPARE(adaptiveRecord(anCam[2]), baDefault);
    for (int nRow = 0; nRow < 3; ++nRow)
        QCOMPARE(pWindow->getDevInfo(nRow)->lLoginID, -1L);
    QCOMPARE(answerer.lstSeen.size(), 1);
}

void TestGuiBatch::failuresKeepLoginsAndTheBatchGoesOn()
{
    const int anCam[3] = {cameraOfRow(0), cameraOfRow(1), cameraOfRow(2)};
    const QByteArray baBefore = adaptiveRecord(anCam[1]);
    const char* szButton = baBefore.at(0) ? "btnCloseDhcp" : "btnOpenDhcp";
    const QByteArray baWritten(1, baBefore.at(0) ? char(0) : char(1));
    QVERIFY(emulator.setFault(anCam[0], QJsonObject{{"LoginCode", -11301}}));
    QVERIFY(emulator.setFault(anCam[1], QJsonObject{{"FailWrites", true}}));
    StatusLog log(pWindow->tableModel());
    check({0, 1, 2});
    QVERIFY(runButton(szButton));

    // Row 0: its login failed, the batch went on. Row 1: the write failed, the login stays.
    QCOMPARE(log.forRow(0), QStringList{loginErrorText(-11301)});
    QCOMPARE(log.forRow(1), texts("Login Success", "Set IP adaptive Failed"));
    QVERIFY(pWindow->getDevInfo(1)->lLoginID > 0);
    QCOMPARE(adaptiveRecord(anCam[1]), baBefore);
    QCOMPARE(log.forRow(2), texts("Login Success", "Set IP adaptive Success"));
    QCOMPARE(adaptiveRecord(anCam[2]), baWritten);
    const int nLoginsBefore = guitest::cameraValue(emulator, anCam[1], "Logins");

    // The next batch uses the surviving login: no new login, no "Login Success".
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailWrites", false}, {"LoginCode", 0}}));
    log.lst.clear();
    QVERIFY(runButton(szButton));
    QCOMPARE(log.forRow(1), texts("Set IP adaptive Success"));
    QCOMPARE(log.forRow(0), texts("Login Success", "Set IP adaptive Success"));
    QCOMPARE(guitest::cameraValue(emulator, anCam[1], "Logins"), nLoginsBefore);
    QCOMPARE(adaptiveRecord(anCam[1]), baWritten);
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, -1L);
}

void TestGuiBatch::dedicatedWorker()
{
    ModalAnswerer answerer;
    CBatchDealThread* pDeal = pWindow->dealThread();
    pWindow->BatchOpr(1);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Please Select a Device")});
    QVERIFY(!pDeal->isRunning());

    // A logged-in row: the table's record is logged out after the dedicated worker's success.
    QVERIFY(loginRow(1));
    const int nCam0 = cameraOfRow(0);
    const int nCam2 = cameraOfRow(2);
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"LoginCode", -11301}}));
    check({0, 1, 2});
    QSignalSpy spy(pDeal, &CBatchDealThread::message);
    StatusLog log(pWindow->tableModel());
    pWindow->BatchOpr(1);
    // A second request while the pass runs is refused and does not join it.
    answerer.lstSeen.clear();
    pWindow->BatchOpr(2);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, kBatchDeadlineMs);
    QTRY_VERIFY(!pDeal->isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(spy.at(1).at(3).toInt(), 1);
    QCOMPARE(log.forRow(0), QStringList{loginErrorText(-11301)});
    QCOMPARE(log.forRow(1), texts("Reset Config Successfully"));
    QCOMPARE(log.forRow(2), texts("Reset Config Successfully"));
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, 0L);

    // Reboot of the two reachable rows reaches the cameras.
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"LoginCode", 0}}));
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::Unchecked);
    const int nRebootsBefore = guitest::cameraValue(emulator, nCam2, "Reboots");
    spy.clear();
    pWindow->BatchOpr(2);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kBatchDeadlineMs);
    QCOMPARE(spy.at(1).at(3).toInt(), 2);
    QTRY_COMPARE(log.forRow(2).value(1), QStringLiteral("Reboot Successfully"));
    QTRY_COMPARE(guitest::cameraValue(emulator, nCam2, "Reboots"), nRebootsBefore + 1);
    QTRY_VERIFY(!pDeal->isRunning());

    // A failure message leaves the table's login; a time-out counts as success and logs it out.
    QVERIFY(loginRow(2));
    pWindow->onDealBathMsg(-1, -11200, 2, 2);
    QVERIFY(pWindow->getDevInfo(2)->lLoginID > 0);
    pWindow->onDealBathMsg(-10005, -10005, 2, 2);
    QCOMPARE(pWindow->getDevInfo(2)->lLoginID, 0L);
    QTRY_COMPARE(guitest::cameraValue(emulator, nCam2, "Sessions"), 0);
}

void TestGuiBatch::addressCommandsApplyThePlan()
{
    ModalAnswerer answerer;
    const QString strSame = emulator.rangeAddress(40);
    const QString strGateway = strSame.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".1");
    queuePlan(answerer, strSame, strGateway, true);
    QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
    QTRY_VERIFY(button("btnModifyIP")->isEnabled());

    // Same address for the checked rows 0 and 2: both cameras move there, the rows show it.
    StatusLog log(pWindow->tableModel());
    check({0, 2});
    const int anCam[3] = {cameraOfRow(0), cameraOfRow(1), cameraOfRow(2)};
    const QString strOld1 = pWindow->tableModel()->index(1, 1).data().toString();
    QVERIFY(runButton("btnModifyIP"));
    QCOMPARE(pWindow->commandCode(), 4);
    for (int nRow : {0, 2}) {
        QCOMPARE(log.forRow(nRow), texts("Modify Success"));
        QCOMPARE(pWindow->tableModel()->index(nRow, 1).data().toString(), strSame);
        QCOMPARE(emulator.camera(anCam[nRow]).value(QStringLiteral("HostIP")).toString(), strSame);
    }
    QCOMPARE(log.forRow(1), QStringList());
    QCOMPARE(pWindow->tableModel()->index(1, 1).data().toString(), strOld1);

    // Start address: consecutive free addresses, the devices asked whether one is taken.
    queuePlan(answerer, emulator.rangeAddress(50), strGateway, false);
    QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
    check({1});
    for (int nRow = 0; nRow < 3; ++nRow)
        pWindow->onUpdateTableInfo(nRow, 3, QString()); // an equal text would not show as a change
    log.lst.clear();
    QVERIFY(runButton("btnModifyIP"));
    QCOMPARE(pWindow->commandCode(), 3);
    for (int nRow = 0; nRow < 3; ++nRow) {
        const QString strExpected = emulator.rangeAddress(50 + nRow);
        QCOMPARE(pWindow->tableModel()->index(nRow, 1).data().toString(), strExpected);
        QCOMPARE(emulator.camera(anCam[nRow]).value(QStringLiteral("HostIP")).toString(), strExpected);
        QCOMPARE(log.forRow(nRow), texts("Modify Success"));
    }
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

void TestGuiBatch::closingTheWindowLetsTheBatchFinish()
{
    const int nCam0 = cameraOfRow(0);
    const int nCam2 = cameraOfRow(2);
    const QByteArray baBefore = adaptiveRecord(nCam2);
    QVERIFY(emulator.setFault(nCam2, QJsonObject{{"LatencyMs", 300}}));
    check({0, 2});
    QTest::mouseClick(button(baBefore.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"), Qt::LeftButton);
    QVERIFY(!pWindow->isIdle());
    // The window goes while the worker still has the slow camera ahead: the destructor waits for
    // the batch, which uses the records to its last row, before it frees them.
    pWindow.reset();
    const QByteArray baWritten(1, baBefore.at(0) ? char(0) : char(1));
    QCOMPARE(adaptiveRecord(nCam2), baWritten);
    QCOMPARE(adaptiveRecord(nCam0), baWritten);
    QTRY_COMPARE(guitest::cameraValue(emulator, nCam2, "Sessions"), 0);
}

QTEST_MAIN(TestGuiBatch)
#include "tst_gui_batch.moc"
