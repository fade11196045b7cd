// The batch worker through the real window against the emulator: what the login-based commands
// write to the cameras and to the rows, how logins survive failures, how a batch refuses a second
// start, and the dedicated worker with its row texts.
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "CMessageBox.h"
#include "CMyIpAddrEdit.h"
#include "batch/CIpSetDlg.h"
#include "batch/CBatchDealThread.h"
#include "device/CSearchDeviceThread.h"
#include "device/DeviceRecords.h"
#include "emulatorprocess.h"
#include "mainwindow/CVantrel.h"

namespace {

constexpr int kBatchDeadlineMs = 20000;

// Presses the first button of every message box that opens and records its title and text; any
// other dialog is rejected, so a wrong modal never hangs the test.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &BoxAnswerer::tick);
        timer.start();
    }
    QStringList lstSeen; ///< "title|text"
    /// When set, the planning dialog is filled with this plan (address, mask, gateway; same-address
    /// mode when bSame) and accepted instead of rejected.
    QStringList lstPlan;
    bool bSame = false;

private:
    void tick()
    {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (!pWidget->isVisible())
                continue;
            if (auto* pBox = qobject_cast<CMessageBox*>(pWidget)) {
                lstSeen << pBox->windowTitle() + QLatin1Char('|') +
                               pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
                pBox->customButtons().value(0)->click();
                return;
            }
            auto* pPlan = qobject_cast<CIpSetDlg*>(pWidget);
            if (pPlan && lstPlan.size() == 3) {
                lstSeen << QStringLiteral("plan|");
                pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditIP"))->setText(lstPlan[0]);
                pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditMask"))->setText(lstPlan[1]);
                pPlan->findChild<CMyIpAddrEdit*>(QStringLiteral("lineEditGateway"))->setText(lstPlan[2]);
                QTest::mouseClick(pPlan->findChild<QAbstractButton*>(bSame ? QStringLiteral("checkBoxSameIp")
                                                                           : QStringLiteral("checkBoxStartIp")),
                                  Qt::LeftButton);
                QTest::mouseClick(pPlan->findChild<QAbstractButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
                return;
            }
            if (auto* pDialog = qobject_cast<QDialog*>(pWidget)) {
                lstSeen << QStringLiteral("dialog|") + QString::fromLatin1(pDialog->metaObject()->className());
                pDialog->reject();
                return;
            }
        }
    }
    QTimer timer;
};

// Every text written into the status column, in order, as "row:text".
class StatusLog : public QObject
{
public:
    explicit StatusLog(QStandardItemModel* pModel)
    {
        connect(pModel, &QAbstractItemModel::dataChanged, this,
                [this, pModel](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    for (int nRow = topLeft.row(); nRow <= bottomRight.row(); ++nRow)
                        if (topLeft.column() <= 3 && bottomRight.column() >= 3)
                            lst << QStringLiteral("%1:%2").arg(nRow).arg(pModel->index(nRow, 3).data().toString());
                });
    }
    QStringList forRow(int nRow) const
    {
        QStringList lstRow;
        const QString strPrefix = QStringLiteral("%1:").arg(nRow);
        for (const QString& str : lst)
            if (str.startsWith(strPrefix))
                lstRow << str.mid(strPrefix.size());
        return lstRow;
    }
    QStringList lst;
};

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
    bool search();
    int cameraOfRow(int nRow);
    QByteArray adaptiveRecord(int nCamera);
    void check(std::initializer_list<int> lstRows);
    bool runButton(const char* szName);
    bool loginRow(int nRow);
    QPushButton* button(const char* szName);

    EmulatorProcess emulator;
    std::unique_ptr<CVantrel> pWindow;
};

void TestGuiBatch::initTestCase()
{
    QVERIFY2(emulator.start({"--count", "3", "--models", "IPC-A", "--reboot-ms", "300"}),
             qPrintable(emulator.errorString() + emulator.diagnostics()));
    QFile ini(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[Network]\nBroadcast=127.255.255.255\nAddressCheck=device\nLoopbackOnly=1\n"
                             "DiscoveryPort=%1\n")
                  .arg(emulator.discoveryPort())
                  .toLatin1());
}

void TestGuiBatch::cleanupTestCase()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(emulator.stop());
}

void TestGuiBatch::init()
{
    QVERIFY(emulator.setFault(
        -1,
        QJsonObject{
            {"LatencyMs", 0}, {"FailWrites", false}, {"RebootNeeded", false}, {"Silent", false}, {"LoginCode", 0}}));
    pWindow = std::make_unique<CVantrel>();
    pWindow->setSearchTime(800);
    pWindow->show();
    QVERIFY(search());
}

void TestGuiBatch::cleanup()
{
    pWindow.reset();
}

bool TestGuiBatch::search()
{
    QSignalSpy spyStop(pWindow->searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(button("SearchButton"), Qt::LeftButton);
    if (!spyStop.wait(10000))
        return false;
    QCoreApplication::processEvents();
    return pWindow->tableModel()->rowCount() == emulator.cameraCount();
}

QPushButton* TestGuiBatch::button(const char* szName)
{
    return pWindow->findChild<QPushButton*>(QLatin1String(szName));
}

int TestGuiBatch::cameraOfRow(int nRow)
{
    const QString strMac = pWindow->tableModel()->index(nRow, 4).data().toString();
    for (int i = 0; i < emulator.cameraCount(); ++i)
        if (emulator.mac(i).compare(strMac, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QByteArray TestGuiBatch::adaptiveRecord(int nCamera)
{
    return emulator.record(nCamera, 274, -1);
}

void TestGuiBatch::check(std::initializer_list<int> lstRows)
{
    for (int nRow : lstRows)
        pWindow->tableModel()->item(nRow, 0)->setCheckState(Qt::Checked);
}

bool TestGuiBatch::runButton(const char* szName)
{
    QTest::mouseClick(button(szName), Qt::LeftButton);
    if (pWindow->isIdle())
        return false; // refused
    QElapsedTimer timer;
    timer.start();
    while (!pWindow->isIdle() && timer.elapsed() < kBatchDeadlineMs)
        QTest::qWait(10);
    // The worker's last writes are queued before the idle flag is set.
    QCoreApplication::processEvents();
    return pWindow->isIdle();
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
    BoxAnswerer answerer;
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
    QTRY_COMPARE(emulator.camera(nCam0).value(QStringLiteral("Sessions")).toInt(), 0);

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
    const int nLoginsBefore = emulator.camera(nCam1).value(QStringLiteral("Logins")).toInt();

    // The next batch uses the surviving login: no new login, no "Login Success".
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailWrites", false}, {"LoginCode", 0}}));
    log.lst.clear();
    QVERIFY(runButton(baBefore.at(0) ? "btnCloseDhcp" : "btnOpenDhcp"));
    QCOMPARE(log.forRow(1), QStringList{QStringLiteral("Set IP adaptive Success")});
    QCOMPARE(log.forRow(0), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Set IP adaptive Success")}));
    QCOMPARE(emulator.camera(nCam1).value(QStringLiteral("Logins")).toInt(), nLoginsBefore);
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
    BoxAnswerer answerer;
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
    const int nRebootsBefore = emulator.camera(nCam2).value(QStringLiteral("Reboots")).toInt();
    spy.clear();
    log.lst.clear();
    pWindow->BatchOpr(2);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, kBatchDeadlineMs);
    QCOMPARE(spy.at(0).at(2).toInt(), 1);
    QCOMPARE(spy.at(1).at(2).toInt(), 2);
    QCOMPARE(spy.at(1).at(3).toInt(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), 1);
    QTRY_COMPARE(log.forRow(2), QStringList{QStringLiteral("Reboot Successfully")});
    QTRY_COMPARE(emulator.camera(nCam2).value(QStringLiteral("Reboots")).toInt(), nRebootsBefore + 1);
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
    QTRY_COMPARE(emulator.camera(nCam2).value(QStringLiteral("Sessions")).toInt(), 0);
}

void TestGuiBatch::addressCommandsApplyThePlan()
{
    BoxAnswerer answerer;
    const QString strSame = emulator.rangeAddress(40);
    const QString strGateway = strSame.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".1");
    answerer.lstPlan = QStringList{strSame, QStringLiteral("255.255.255.0"), strGateway};
    answerer.bSame = true;
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
    const int nLogins = emulator.camera(nCam0).value(QStringLiteral("Logins")).toInt();
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
    QCOMPARE(emulator.camera(nCam0).value(QStringLiteral("Logins")).toInt(), nLogins);

    // Start address: consecutive free addresses, the devices asked whether one is taken.
    const QString strStart = emulator.rangeAddress(50);
    answerer.lstPlan = QStringList{strStart, QStringLiteral("255.255.255.0"), strGateway};
    answerer.bSame = false;
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
    QTRY_COMPARE(emulator.camera(nCam2).value(QStringLiteral("Sessions")).toInt(), 0);
}

QTEST_MAIN(TestGuiBatch)
#include "tst_gui_batch.moc"
