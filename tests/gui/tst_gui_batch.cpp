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

// The next planning dialog is filled with this plan (address, mask, gateway; same-address mode when
// bSame) and accepted.
void queuePlan(ModalAnswerer& answerer, const QStringList& lstPlan, bool bSame)
{
    answerer.queue<CIpSetDlg>([lstPlan, bSame](CIpSetDlg* pPlan) {
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditIP"))->setText(lstPlan[0]);
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditMask"))->setText(lstPlan[1]);
        pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditGateway"))->setText(lstPlan[2]);
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(bSame ? QStringLiteral("checkBoxSameIp")
                                                                   : QStringLiteral("checkBoxStartIp")),
                          Qt::LeftButton);
        QTest::mouseClick(pPlan->findChild<QAbstractButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
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
    void resetResultsByDeviceAnswer();
    void dedicatedWorker();
    void dealMessageTexts();
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
    const int nCam0 = cameraOfRow(0);
    const int nCam1 = cameraOfRow(1);
    const int nCam2 = cameraOfRow(2);
    QVERIFY(nCam0 >= 0 && nCam1 >= 0 && nCam2 >= 0);
    const QByteArray baDefault = adaptiveRecord(nCam0);
    QCOMPARE(baDefault.size(), 1);
    const QByteArray baUntouched = adaptiveRecord(nCam1);

    StatusLog log(pWindow->tableModel());
    ModalAnswerer answerer;
    check({0, 2});
    QTest::mouseClick(button("btnOpenDhcp"), Qt::LeftButton);
    QVERIFY(!pWindow->isIdle());
    // A second command while the batch runs is refused and changes nothing of the running one.
    QTest::mouseClick(button("btnReset"), Qt::LeftButton);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QCOMPARE(pWindow->commandCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), kBatchDeadlineMs);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    const QStringList lstSuccess{QStringLiteral("Login Success"), QStringLiteral("Set IP adaptive Success")};
    QCOMPARE(log.forRow(0), lstSuccess);
    QCOMPARE(log.forRow(2), lstSuccess);
    QCOMPARE(log.forRow(1), QStringList());
    QCOMPARE(adaptiveRecord(nCam0), QByteArray(1, char(1)));
    QCOMPARE(adaptiveRecord(nCam2), QByteArray(1, char(1)));
    QCOMPARE(adaptiveRecord(nCam1), baUntouched);
    QCOMPARE(pWindow->getDevInfo(0)->lLoginID, -1L);
    QCOMPARE(pWindow->getDevInfo(2)->lLoginID, -1L);
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, 0L);
    QTRY_COMPARE(guitest::cameraValue(emulator, nCam0, "Sessions"), 0);

    log.lst.clear();
    QVERIFY(runButton("btnCloseDhcp"));
    QCOMPARE(log.forRow(0), lstSuccess);
    QCOMPARE(adaptiveRecord(nCam0), QByteArray(1, char(0)));
    QCOMPARE(adaptiveRecord(nCam2), QByteArray(1, char(0)));

    // Reset: a record written away from its factory value comes back to it.
    QVERIFY(runButton(baDefault.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"));
    QVERIFY(adaptiveRecord(nCam0) != baDefault);
    log.lst.clear();
    QVERIFY(runButton("btnReset"));
    QCOMPARE(log.forRow(0), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Reset Config Success")}));
    QCOMPARE(log.forRow(2), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Reset Config Success")}));
    QCOMPARE(adaptiveRecord(nCam0), baDefault);
    QCOMPARE(adaptiveRecord(nCam2), baDefault);
    QCOMPARE(pWindow->getDevInfo(0)->lLoginID, -1L);
    QCOMPARE(answerer.lstSeen.size(), 1);
}

void TestGuiBatch::failuresKeepLoginsAndTheBatchGoesOn()
{
    const int nCam0 = cameraOfRow(0);
    const int nCam1 = cameraOfRow(1);
    const int nCam2 = cameraOfRow(2);
    const QByteArray baBefore = adaptiveRecord(nCam1);
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"LoginCode", -11301}}));
    QVERIFY(emulator.setFault(nCam1, QJsonObject{{"FailWrites", true}}));
    StatusLog log(pWindow->tableModel());
    check({0, 1, 2});
    QVERIFY(runButton(baBefore.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"));
    const char chWritten = baBefore.at(0) ? 0 : 1;

    // Row 0: its login failed, the batch went on. Row 1: the write failed, the login stays.
    QCOMPARE(log.forRow(0), QStringList{loginErrorText(-11301)});
    QVERIFY(pWindow->getDevInfo(0)->lLoginID < 1);
    QCOMPARE(log.forRow(1), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Set IP adaptive Failed")}));
    const long lKept = pWindow->getDevInfo(1)->lLoginID;
    QVERIFY(lKept > 0);
    QCOMPARE(adaptiveRecord(nCam1), baBefore);
    QCOMPARE(log.forRow(2), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Set IP adaptive Success")}));
    QCOMPARE(adaptiveRecord(nCam2), QByteArray(1, chWritten));
    const int nLoginsBefore = guitest::cameraValue(emulator, nCam1, "Logins");

    // The next batch uses the surviving login: no new login, no "Login Success".
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailWrites", false}, {"LoginCode", 0}}));
    log.lst.clear();
    QVERIFY(runButton(baBefore.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"));
    QCOMPARE(log.forRow(1), QStringList{QStringLiteral("Set IP adaptive Success")});
    QCOMPARE(log.forRow(0), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Set IP adaptive Success")}));
    QCOMPARE(guitest::cameraValue(emulator, nCam1, "Logins"), nLoginsBefore);
    QCOMPARE(adaptiveRecord(nCam1), QByteArray(1, chWritten));
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, -1L);
}

void TestGuiBatch::resetResultsByDeviceAnswer()
{
    const int nCam0 = cameraOfRow(0);
    const int nCam1 = cameraOfRow(1);
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"RebootNeeded", true}}));
    // Row 1 is logged in before the camera slows down, so only the reset itself runs into the
    // time-out (the batch reuses the login).
    QVERIFY(loginRow(1));
    QVERIFY(emulator.setFault(nCam1, QJsonObject{{"LatencyMs", 3500}}));
    StatusLog log(pWindow->tableModel());
    check({0, 1});
    QVERIFY(runButton("btnReset"));
    QCOMPARE(log.forRow(0),
             (QStringList{QStringLiteral("Login Success"), QStringLiteral("Reset Config Filed Err=-11401")}));
    QCOMPARE(log.forRow(1), QStringList{QStringLiteral("Reset Config Success")});
    QCOMPARE(pWindow->getDevInfo(0)->lLoginID, -1L);
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, -1L);
}

void TestGuiBatch::dedicatedWorker()
{
    ModalAnswerer answerer;
    CBatchDealThread* pDeal = pWindow->dealThread();
    QCOMPARE(pDeal->waitTime(), 3000);

    // Nothing checked: the prompt, no pass.
    pWindow->BatchOpr(1);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Please Select a Device")});
    QVERIFY(!pDeal->isRunning());
    QCOMPARE(pDeal->deviceKeys(), QList<int>());

    // A logged-in row: the table's record is logged out after the dedicated worker's success.
    QVERIFY(loginRow(1));
    const int nCam0 = cameraOfRow(0);
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"LoginCode", -11301}}));
    check({0, 1, 2});
    QSignalSpy spy(pDeal, &CBatchDealThread::message);
    StatusLog log(pWindow->tableModel());
    pWindow->BatchOpr(1);
    QVERIFY(pDeal->isRunning());
    // A second request while the pass runs is refused and does not join it.
    answerer.lstSeen.clear();
    pWindow->BatchOpr(2);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, kBatchDeadlineMs);
    QTRY_VERIFY(!pDeal->isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(pDeal->deviceKeys(), QList<int>());

    // In checked-row order, row 0 with its failed login.
    QCOMPARE(spy.at(0), (QList<QVariant>{-1, -11301, 0, 0}));
    QCOMPARE(spy.at(1).at(2).toInt(), 1);
    QCOMPARE(spy.at(1).at(3).toInt(), 1);
    QVERIFY(spy.at(1).at(0).toInt() >= 0);
    QCOMPARE(spy.at(2).at(2).toInt(), 2);
    QCOMPARE(log.forRow(0), QStringList{loginErrorText(-11301)});
    QCOMPARE(log.forRow(1), QStringList{QStringLiteral("Reset Config Successfully")});
    QCOMPARE(log.forRow(2), QStringList{QStringLiteral("Reset Config Successfully")});
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, 0L);

    // Reboot of the two reachable rows.
    QVERIFY(emulator.setFault(nCam0, QJsonObject{{"LoginCode", 0}}));
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::Unchecked);
    const int nCam2 = cameraOfRow(2);
    const int nRebootsBefore = guitest::cameraValue(emulator, nCam2, "Reboots");
    spy.clear();
    log.lst.clear();
    pWindow->BatchOpr(2);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kBatchDeadlineMs);
    QCOMPARE(spy.at(0).at(2).toInt(), 1);
    QCOMPARE(spy.at(1).at(2).toInt(), 2);
    QCOMPARE(spy.at(1).at(3).toInt(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), 1);
    QTRY_COMPARE(log.forRow(2), QStringList{QStringLiteral("Reboot Successfully")});
    QTRY_COMPARE(guitest::cameraValue(emulator, nCam2, "Reboots"), nRebootsBefore + 1);
    QTRY_VERIFY(!pDeal->isRunning());
}

void TestGuiBatch::dealMessageTexts()
{
    struct Case
    {
        int nRet, nError, nCmd;
        QString strText;
    };
    const QVector<Case> lstCases{
        {-1, -1, 1, QStringLiteral("Reset Config Failed")},
        {-1, -11200, 2, QStringLiteral("Reboot Failed")},
        {-1, -11301, 0, loginErrorText(-11301)},
        {0, 0, 1, QStringLiteral("Reset Config Successfully")},
        {-10005, -10005, 1, QStringLiteral("Reset Config Successfully")},
        {1, 0, 2, QStringLiteral("Reboot Successfully")},
        {-10005, -10005, 2, QStringLiteral("Reboot Successfully")},
        {-1, -1, 5, QString()},
        {1, 0, 0, QString()},
        {3, 0, 7, QString()},
    };
    for (const Case& c : lstCases) {
        pWindow->onUpdateTableInfo(2, 3, QStringLiteral("before"));
        pWindow->onDealBathMsg(c.nRet, c.nError, 2, c.nCmd);
        QCOMPARE(pWindow->tableModel()->index(2, 3).data().toString(), c.strText);
    }
    // A failure leaves the table's login; a success (a time-out too) logs it out.
    QVERIFY(loginRow(2));
    const int nCam2 = cameraOfRow(2);
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
    queuePlan(answerer, QStringList{strSame, QStringLiteral("255.255.255.0"), strGateway}, true);
    QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
    QTRY_VERIFY(button("btnModifyIP")->isEnabled());
    QVERIFY(pWindow->ipSetDlg() && pWindow->ipSetDlg()->isConfigured());
    QCOMPARE(pWindow->ipSetDlg()->mode(), 1);

    // Same address for rows 0 and 2: no login, both cameras move there, the rows show it.
    StatusLog log(pWindow->tableModel());
    check({0, 2});
    const int nCam0 = cameraOfRow(0);
    const int nCam1 = cameraOfRow(1);
    const int nCam2 = cameraOfRow(2);
    const QString strOld1 = emulator.address(nCam1);
    const int nLogins = guitest::cameraValue(emulator, nCam0, "Logins");
    QVERIFY(runButton("btnModifyIP"));
    QCOMPARE(pWindow->commandCode(), 4);
    QCOMPARE(log.forRow(0), QStringList{QStringLiteral("Modify Success")});
    QCOMPARE(log.forRow(2), QStringList{QStringLiteral("Modify Success")});
    QCOMPARE(log.forRow(1), QStringList());
    QCOMPARE(pWindow->tableModel()->index(0, 1).data().toString(), strSame);
    QCOMPARE(pWindow->tableModel()->index(2, 1).data().toString(), strSame);
    QCOMPARE(QString::fromLatin1(pWindow->getDevInfo(2)->szIpAddr), strSame);
    QCOMPARE(emulator.camera(nCam0).value(QStringLiteral("HostIP")).toString(), strSame);
    QCOMPARE(emulator.camera(nCam2).value(QStringLiteral("HostIP")).toString(), strSame);
    QCOMPARE(emulator.camera(nCam2).value(QStringLiteral("GateWay")).toString(), strGateway);
    QCOMPARE(emulator.camera(nCam1).value(QStringLiteral("HostIP")).toString(), strOld1);
    QCOMPARE(guitest::cameraValue(emulator, nCam0, "Logins"), nLogins);

    // Start address: consecutive free addresses, the devices asked whether one is taken.
    const QString strStart = emulator.rangeAddress(50);
    queuePlan(answerer, QStringList{strStart, QStringLiteral("255.255.255.0"), strGateway}, false);
    QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
    QTRY_COMPARE(pWindow->ipSetDlg()->mode(), 0);
    check({1});
    for (int nRow = 0; nRow < 3; ++nRow)
        pWindow->onUpdateTableInfo(nRow, 3, QString()); // an equal text would not show as a change
    log.lst.clear();
    QVERIFY(runButton("btnModifyIP"));
    QCOMPARE(pWindow->commandCode(), 3);
    const QString strSecond = emulator.rangeAddress(51);
    const QString strThird = emulator.rangeAddress(52);
    QCOMPARE(pWindow->tableModel()->index(0, 1).data().toString(), strStart);
    QCOMPARE(pWindow->tableModel()->index(1, 1).data().toString(), strSecond);
    QCOMPARE(pWindow->tableModel()->index(2, 1).data().toString(), strThird);
    QCOMPARE(emulator.camera(nCam0).value(QStringLiteral("HostIP")).toString(), strStart);
    QCOMPARE(emulator.camera(nCam1).value(QStringLiteral("HostIP")).toString(), strSecond);
    QCOMPARE(emulator.camera(nCam2).value(QStringLiteral("HostIP")).toString(), strThird);
    for (int nRow = 0; nRow < 3; ++nRow)
        QCOMPARE(log.forRow(nRow), QStringList{QStringLiteral("Modify Success")});
}

void TestGuiBatch::cellWritesKeepTheirOrder()
{
    StatusLog log(pWindow->tableModel());
    // From the user-interface thread a write applies at once.
    pWindow->setTableCellText(1, 3, QStringLiteral("now"));
    QCOMPARE(pWindow->tableModel()->index(1, 3).data().toString(), QStringLiteral("now"));

    // From another thread, queued signal and direct calls interleaved reach the model in call order.
    QStringList lstExpected;
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
    QTRY_COMPARE(log.lst.size(), 201);
    QCOMPARE(log.lst.mid(1), lstExpected);
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
