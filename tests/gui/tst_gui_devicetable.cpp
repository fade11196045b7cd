// The main window against an emulated fleet: search fills the table by the listing rules, the select
// bar works on the rows, a double-click logs in, and new searches and closing log every row out.
#include <QApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <memory>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

namespace {

const QString kPassword = QStringLiteral("s3cret");

struct ExpectedRow
{
    int nCamera;
    QString strIp;
    QString strMac;
    QString strVersion;
    bool bListening;
};

// The cameras the table lists (kinds 0, 3 and 5), by MAC, as the emulator sees them. Their order
// is tst_app_records'.
QHash<QString, ExpectedRow> listedCameras(EmulatorProcess& emulator)
{
    QHash<QString, ExpectedRow> byMac;
    for (const QJsonValue& value : emulator.cameras()) {
        const QJsonObject camera = value.toObject();
        const int nKind = camera.value("DeviceKind").toInt(-1);
        if (nKind == 0 || nKind == 3 || nKind == 5)
            byMac.insert(camera.value("MAC").toString(),
                         {camera.value("Index").toInt(), camera.value("HostIP").toString(),
                          camera.value("MAC").toString(), camera.value("Version").toString(),
                          camera.value("Listening").toBool()});
    }
    return byMac;
}

} // namespace

using guitest::cameraValue;
using guitest::cell;

class TestGuiDeviceTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void searchListsTheFleet();
    void selectAllAndReverse();
    void loginsEndWithTheNextSearchAndTheWindow();

private:
    bool search(CVantrel& window);

    EmulatorProcess emulator;
    QHash<QString, ExpectedRow> lstExpected;
};

void TestGuiDeviceTable::initTestCase()
{
    // Two cameras share the first address as from the factory, one sits in a foreign subnet, and the
    // model list holds kinds that are listed and kinds that are not.
    QVERIFY(guitest::startEmulator(emulator,
                                   {"--count", "8", "--same-address", "2", "--foreign", "1", "--password", kPassword}));

    lstExpected = listedCameras(emulator);
    QVERIFY(lstExpected.size() >= 6);
    QVERIFY(lstExpected.size() < emulator.cameraCount()); // some kinds are filtered out
}

void TestGuiDeviceTable::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

bool TestGuiDeviceTable::search(CVantrel& window)
{
    // A finished pass gives the Search button and the arrow back.
    return guitest::search(window, lstExpected.size()) && guitest::button(window, "SearchButton")->isEnabled() &&
           !QApplication::overrideCursor();
}

void TestGuiDeviceTable::searchListsTheFleet()
{
    auto pWindow = guitest::newWindow();
    QStandardItemModel* pModel = pWindow->tableModel();
    QCOMPARE(pModel->rowCount(), 0); // no search at start

    // Every answer is counted, listed kind or not, foreign address or not.
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("search device:%1").arg(emulator.cameraCount())));
    QVERIFY(search(*pWindow));
    QCOMPARE(pModel->rowCount(), lstExpected.size());
    static const QRegularExpression reDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    for (int nRow = 0; nRow < lstExpected.size(); ++nRow) {
        QVERIFY2(lstExpected.contains(cell(*pWindow, nRow, 4)), qPrintable(cell(*pWindow, nRow, 4)));
        const ExpectedRow& row = lstExpected[cell(*pWindow, nRow, 4)];
        QCOMPARE(cell(*pWindow, nRow, 0), QString::number(nRow + 1));
        QCOMPARE(pModel->item(nRow, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(cell(*pWindow, nRow, 1), row.strIp);
        QCOMPARE(cell(*pWindow, nRow, 2), QStringLiteral("34567"));
        QCOMPARE(cell(*pWindow, nRow, 6), row.strVersion);
        QVERIFY2(reDate.match(cell(*pWindow, nRow, 7)).hasMatch(), qPrintable(cell(*pWindow, nRow, 7)));

        const DEV_INFO* pInfo = pWindow->getDevInfo(nRow);
        QVERIFY(pInfo && pInfo->nIndex == nRow);
        QCOMPARE(pInfo->lLoginID, 0L);
        QCOMPARE(QString::fromLatin1(pInfo->szIpAddr), row.strIp);
        QCOMPARE(QString::fromLatin1(pInfo->szCloudId), cell(*pWindow, nRow, 5));
    }

    // The first row is current and shown; later rows did not move it.
    QCOMPARE(pWindow->findChild<QTableView*>(QStringLiteral("tableView"))->currentIndex().row(), 0);
    QCOMPARE(pWindow->findChild<QLabel*>(QStringLiteral("labelDevInfo"))->text(),
             QStringLiteral("Dev No :1   IP:%1").arg(cell(*pWindow, 0, 1)));

    // A second search rebuilds the table from scratch.
    QVERIFY(search(*pWindow));
    QCOMPARE(pModel->rowCount(), lstExpected.size());
    QCOMPARE(cell(*pWindow, lstExpected.size() - 1, 0), QString::number(lstExpected.size()));
}

void TestGuiDeviceTable::selectAllAndReverse()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(search(*pWindow));
    auto* pSelect = pWindow->findChild<QPushButton*>(QStringLiteral("selectBtn"));
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll")); // set by the search
    QList<int> lstAll;
    for (int nRow = 0; nRow < pWindow->tableModel()->rowCount(); ++nRow)
        lstAll << nRow;

    // The button toggles between checking and unchecking every row, with its caption.
    for (const bool bChecked : {true, false, true}) {
        QTest::mouseClick(pSelect, Qt::LeftButton);
        QCOMPARE(guitest::checkedRows(*pWindow), bChecked ? lstAll : QList<int>());
        QCOMPARE(pSelect->text(), bChecked ? QStringLiteral("UnSelectAll") : QStringLiteral("SelectAll"));
    }
    // A new search after select-all clears the state: the next press checks again.
    QVERIFY(search(*pWindow));
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll"));
    QCOMPARE(guitest::checkedRows(*pWindow), QList<int>());

    // Rows 0 and 2 checked, 3 partly: reverse leaves every other row checked, caption unchanged.
    guitest::checkRows(*pWindow, {0, 2});
    guitest::checkRows(*pWindow, {3}, Qt::PartiallyChecked);
    QTest::mouseClick(pWindow->findChild<QPushButton*>(QStringLiteral("btnReverse")), Qt::LeftButton);
    QList<int> lstExpectedChecked = lstAll;
    lstExpectedChecked.removeAll(0);
    lstExpectedChecked.removeAll(2);
    QCOMPARE(guitest::checkedRows(*pWindow), lstExpectedChecked);
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll"));
    QTest::mouseClick(pSelect, Qt::LeftButton);
    QCOMPARE(guitest::checkedRows(*pWindow), lstAll);
}

void TestGuiDeviceTable::loginsEndWithTheNextSearchAndTheWindow()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(search(*pWindow));
    QVector<ExpectedRow> lstReachable; // listening loopback cameras
    for (const ExpectedRow& row : std::as_const(lstExpected)) {
        if (row.bListening && row.strIp.startsWith(QLatin1String("127.")))
            lstReachable << row;
    }
    QVERIFY(lstReachable.size() >= 3);
    const int nCamera = lstReachable[0].nCamera;
    const int nLoginsBefore = cameraValue(emulator, nCamera, "Logins");
    const int nLogoutsBefore = cameraValue(emulator, nCamera, "Logouts");
    const int nBadLoginsBefore = cameraValue(emulator, lstReachable[1].nCamera, "Logins");

    // The right password logs in once, a second double-click does not log in again; a wrong one fails.
    // The window goes on while the login waits for the camera: nothing replaces the rows meanwhile.
    auto* pPassword = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"));
    pPassword->setText(kPassword);
    const int nRow = guitest::rowOfMac(*pWindow, lstReachable[0].strMac);
    QVERIFY(emulator.setFault(nCamera, QJsonObject{{"LatencyMs", 300}}));
    {
        guitest::ModalAnswerer answerer;
        QSignalSpy spyDone(pWindow.get(), &CVantrel::loginFinished);
        pWindow->on_tableView_doubleClicked(pWindow->tableModel()->index(nRow, 1));
        QVERIFY(pWindow->isLoginRunning() && pWindow->getDevInfo(nRow)->lLoginID < 1);
        guitest::click(*pWindow, "SearchButton");
        QCOMPARE(answerer.lstSeen.size(), 1);
        QVERIFY(spyDone.wait(10000));
    }
    QVERIFY(emulator.setFault(nCamera, QJsonObject{{"LatencyMs", 0}}));
    // Each double-click also starts the preview's stream; one whose login a search closed first is
    // refused with a box.
    guitest::ModalAnswerer previewBoxes(guitest::ModalAnswerer::LeaveOthers);
    for (int i = 0; i < 2; ++i) {
        guitest::doubleClickRow(*pWindow, nRow);
        QCOMPARE(cell(*pWindow, nRow, 3), QStringLiteral("Login Success"));
        QVERIFY(pWindow->getDevInfo(nRow)->lLoginID > 0);
        QCOMPARE(cell(*pWindow, nRow, 6), lstReachable[0].strVersion);
        QCOMPARE(cameraValue(emulator, nCamera, "Logins"), nLoginsBefore + 1);
        QCOMPARE(cameraValue(emulator, nCamera, "Sessions"), 1);
    }
    pPassword->setText(QStringLiteral("wrong"));
    const int nBadRow = guitest::rowOfMac(*pWindow, lstReachable[1].strMac);
    guitest::doubleClickRow(*pWindow, nBadRow);
    QCOMPARE(cell(*pWindow, nBadRow, 3), QStringLiteral("Password is error"));
    QVERIFY(pWindow->getDevInfo(nBadRow)->lLoginID < 1);
    QCOMPARE(cameraValue(emulator, lstReachable[1].nCamera, "Logins"), nBadLoginsBefore);

    // A new search logs the row out before freeing it.
    QVERIFY(search(*pWindow));
    QTRY_COMPARE_WITH_TIMEOUT(cameraValue(emulator, nCamera, "Logouts"), nLogoutsBefore + 1, 10000);
    QCOMPARE(cameraValue(emulator, nCamera, "Sessions"), 0);
    QCOMPARE(cell(*pWindow, guitest::rowOfMac(*pWindow, lstReachable[0].strMac), 3), QString());

    // Closing the window logs out every logged-in row: explicit logouts, not dropped connections,
    // since the library was still up when they were sent.
    pPassword->setText(kPassword);
    QVector<int> lstLogoutsBefore;
    for (int i = 0; i < 3; ++i) {
        const int nLoginRow = guitest::rowOfMac(*pWindow, lstReachable[i].strMac);
        guitest::doubleClickRow(*pWindow, nLoginRow);
        QCOMPARE(cell(*pWindow, nLoginRow, 3), QStringLiteral("Login Success"));
        lstLogoutsBefore << cameraValue(emulator, lstReachable[i].nCamera, "Logouts");
    }
    pWindow.reset();
    QCOMPARE(g_pMainWindow, nullptr);
    for (int i = 0; i < 3; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(cameraValue(emulator, lstReachable[i].nCamera, "Logouts"), lstLogoutsBefore[i] + 1,
                                  10000);
        QCOMPARE(cameraValue(emulator, lstReachable[i].nCamera, "Sessions"), 0);
    }
}

QTEST_MAIN(TestGuiDeviceTable)
#include "tst_gui_devicetable.moc"
