// The main window against an emulated fleet: search fills the table by the listing rules, the select
// bar works on the rows, a double-click logs in, and new searches and closing log every row out.
#include <algorithm>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
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

// The listing rules, restated from the emulator's own view of the fleet: kinds 0, 3 and 5 only,
// ordered by the dotted address as text, equal addresses with the greater MAC first.
QVector<ExpectedRow> expectedRows(EmulatorProcess& emulator)
{
    QVector<ExpectedRow> lstRows;
    for (const QJsonValue& value : emulator.cameras()) {
        const QJsonObject camera = value.toObject();
        const int nKind = camera.value(QStringLiteral("DeviceKind")).toInt(-1);
        if (nKind != 0 && nKind != 3 && nKind != 5)
            continue;
        lstRows.append(
            {camera.value(QStringLiteral("Index")).toInt(), camera.value(QStringLiteral("HostIP")).toString(),
             camera.value(QStringLiteral("MAC")).toString(), camera.value(QStringLiteral("Version")).toString(),
             camera.value(QStringLiteral("Listening")).toBool()});
    }
    std::sort(lstRows.begin(), lstRows.end(), [](const ExpectedRow& a, const ExpectedRow& b) {
        return a.strIp != b.strIp ? a.strIp < b.strIp : a.strMac > b.strMac;
    });
    return lstRows;
}

QString derivedCloudId(const QString& strMac)
{
    QString strHex = strMac;
    strHex.remove(QLatin1Char(':'));
    const QByteArray baText = QByteArray::number(strHex.toULongLong(nullptr, 16) + 5, 16).rightJustified(12, '0');
    return QString::fromLatin1(QCryptographicHash::hash(baText, QCryptographicHash::Md5).mid(4, 8).toHex());
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
    void doubleClickLogsInAndNextSearchLogsOut();
    void closingLogsOutEveryDevice();

private:
    bool search(CVantrel& window);
    void doubleClickRow(CVantrel& window, int nRow);

    EmulatorProcess emulator;
    QVector<ExpectedRow> lstExpected;
};

void TestGuiDeviceTable::initTestCase()
{
    // Two cameras share the first address as from the factory, one sits in a foreign subnet, and the
    // model list holds kinds that are listed and kinds that are not.
    QVERIFY(guitest::startEmulator(emulator,
                                   {"--count", "8", "--same-address", "2", "--foreign", "1", "--password", kPassword}));

    lstExpected = expectedRows(emulator);
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

void TestGuiDeviceTable::doubleClickRow(CVantrel& window, int nRow)
{
    auto* pView = window.findChild<QTableView*>(QStringLiteral("tableView"));
    const QModelIndex index = window.tableModel()->index(nRow, 1);
    pView->scrollTo(index);
    const QPoint ptCell = pView->visualRect(index).center();
    // A real double-click: press and release, then the double-click event and its release.
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
    QTest::mouseDClick(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
    QTest::mouseRelease(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
}

void TestGuiDeviceTable::searchListsTheFleet()
{
    auto pWindow = guitest::newWindow();
    QStandardItemModel* pModel = pWindow->tableModel();
    QCOMPARE(pModel->columnCount(), 8);
    QCOMPARE(pModel->rowCount(), 0); // no search at start
    const QStringList lstHeaders = {"NO.",         "IP Address", "Port",    "Destribe",
                                    "Mac Address", "CloudID",    "Version", "BuildDate"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(pModel->headerData(i, Qt::Horizontal).toString(), lstHeaders[i]);

    // Every answer is counted, listed kind or not, foreign address or not.
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("search device:%1").arg(emulator.cameraCount())));
    QVERIFY(search(*pWindow));
    QCOMPARE(pModel->rowCount(), lstExpected.size());
    static const QRegularExpression reDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    for (int nRow = 0; nRow < lstExpected.size(); ++nRow) {
        const ExpectedRow& row = lstExpected[nRow];
        QCOMPARE(cell(*pWindow, nRow, 0), QString::number(nRow + 1));
        QCOMPARE(pModel->item(nRow, 0)->isCheckable(), true);
        QCOMPARE(pModel->item(nRow, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(cell(*pWindow, nRow, 1), row.strIp);
        QCOMPARE(cell(*pWindow, nRow, 2), QStringLiteral("34567"));
        QCOMPARE(cell(*pWindow, nRow, 3), QString());
        QCOMPARE(cell(*pWindow, nRow, 4), row.strMac);
        const QString strCloudId = cell(*pWindow, nRow, 5);
        QVERIFY2(strCloudId.size() == 16, qPrintable(strCloudId));
        QCOMPARE(cell(*pWindow, nRow, 6), row.strVersion);
        QVERIFY2(reDate.match(cell(*pWindow, nRow, 7)).hasMatch(), qPrintable(cell(*pWindow, nRow, 7)));

        const DEV_INFO* pInfo = pWindow->getDevInfo(nRow);
        QVERIFY(pInfo);
        QCOMPARE(pInfo->nIndex, nRow);
        QCOMPARE(pInfo->lLoginID, 0L);
        QCOMPARE(QString::fromLatin1(pInfo->szIpAddr), row.strIp);
        QCOMPARE(QByteArray(pInfo->szUserName), QByteArray("admin"));
        QCOMPARE(QString::fromLatin1(pInfo->szCloudId), strCloudId);
        QCOMPARE(QString::fromLatin1(pInfo->netBlock.mac), row.strMac);
    }
    // At least one listed model answers without an identifier: the table shows the derived one.
    bool bDerivedSeen = false;
    for (int nRow = 0; nRow < lstExpected.size(); ++nRow)
        bDerivedSeen = bDerivedSeen || cell(*pWindow, nRow, 5) == derivedCloudId(lstExpected[nRow].strMac);
    QVERIFY(bDerivedSeen);

    // The two factory-address cameras sit next to each other, the greater MAC first.
    QList<int> lstShared;
    for (int nRow = 0; nRow < lstExpected.size(); ++nRow) {
        if (cell(*pWindow, nRow, 1) == emulator.address(0))
            lstShared << nRow;
    }
    QCOMPARE(lstShared.size(), 2);
    QCOMPARE(lstShared[1], lstShared[0] + 1);
    QCOMPARE(cell(*pWindow, lstShared[0], 4), emulator.mac(1));
    QCOMPARE(cell(*pWindow, lstShared[1], 4), emulator.mac(0));

    // The first row is current and shown; later rows did not move it.
    auto* pView = pWindow->findChild<QTableView*>(QStringLiteral("tableView"));
    QCOMPARE(pView->currentIndex().row(), 0);
    QCOMPARE(pWindow->findChild<QLabel*>(QStringLiteral("labelDevInfo"))->text(),
             QStringLiteral("Dev No :1   IP:%1").arg(lstExpected[0].strIp));

    // Clicking another row shows that one.
    const QModelIndex index = pWindow->tableModel()->index(2, 3);
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, Qt::NoModifier, pView->visualRect(index).center());
    QCOMPARE(pWindow->findChild<QLabel*>(QStringLiteral("labelDevInfo"))->text(),
             QStringLiteral("Dev No :3   IP:%1").arg(lstExpected[2].strIp));
    QCOMPARE(pView->currentIndex().row(), 2);

    // A second search rebuilds the table from scratch.
    QVERIFY(search(*pWindow));
    QCOMPARE(pModel->rowCount(), lstExpected.size());
    QCOMPARE(cell(*pWindow, lstExpected.size() - 1, 0), QString::number(lstExpected.size()));
}

void TestGuiDeviceTable::selectAllAndReverse()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(search(*pWindow));
    QStandardItemModel* pModel = pWindow->tableModel();
    const int nRows = pModel->rowCount();
    QVERIFY(nRows >= 4);
    auto* pSelect = pWindow->findChild<QPushButton*>(QStringLiteral("selectBtn"));
    auto* pReverse = pWindow->findChild<QPushButton*>(QStringLiteral("btnReverse"));
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll")); // set by the search
    QList<int> lstAll;
    for (int nRow = 0; nRow < nRows; ++nRow)
        lstAll << nRow;

    QTest::mouseClick(pSelect, Qt::LeftButton);
    QCOMPARE(guitest::checkedRows(*pWindow), lstAll);
    QCOMPARE(pSelect->text(), QStringLiteral("UnSelectAll"));
    QTest::mouseClick(pSelect, Qt::LeftButton);
    QCOMPARE(guitest::checkedRows(*pWindow), QList<int>());
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll"));

    // Rows 1 and 3 (numbers) checked: reverse leaves every other row checked, caption unchanged.
    guitest::checkRows(*pWindow, {0, 2});
    guitest::checkRows(*pWindow, {3}, Qt::PartiallyChecked);
    QTest::mouseClick(pReverse, Qt::LeftButton);
    QList<int> lstExpectedChecked = lstAll;
    lstExpectedChecked.removeAll(0);
    lstExpectedChecked.removeAll(2);
    QCOMPARE(guitest::checkedRows(*pWindow), lstExpectedChecked);
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll"));

    // A new search after select-all clears the state: the next press checks again.
    QTest::mouseClick(pSelect, Qt::LeftButton);
    QCOMPARE(pSelect->text(), QStringLiteral("UnSelectAll"));
    QVERIFY(search(*pWindow));
    QCOMPARE(pSelect->text(), QStringLiteral("SelectAll"));
    QCOMPARE(guitest::checkedRows(*pWindow), QList<int>());
    QTest::mouseClick(pSelect, Qt::LeftButton);
    QCOMPARE(guitest::checkedRows(*pWindow), lstAll);
}

void TestGuiDeviceTable::doubleClickLogsInAndNextSearchLogsOut()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(search(*pWindow));

    // Two listening loopback cameras: one for the right password, one for a wrong one.
    QVector<ExpectedRow> lstReachable;
    for (const ExpectedRow& row : lstExpected) {
        if (row.bListening && row.strIp.startsWith(QLatin1String("127.")))
            lstReachable << row;
    }
    QVERIFY(lstReachable.size() >= 2);
    const ExpectedRow& good = lstReachable[0];
    const ExpectedRow& bad = lstReachable[1];
    const int nGoodRow = guitest::rowOfMac(*pWindow, good.strMac);
    const int nBadRow = guitest::rowOfMac(*pWindow, bad.strMac);
    const int nLoginsBefore = cameraValue(emulator, good.nCamera, "Logins");
    const int nLogoutsBefore = cameraValue(emulator, good.nCamera, "Logouts");
    const int nBadLoginsBefore = cameraValue(emulator, bad.nCamera, "Logins");

    auto* pPassword = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"));
    QCOMPARE(pPassword->echoMode(), QLineEdit::Password);
    pPassword->setText(kPassword);
    doubleClickRow(*pWindow, nGoodRow);
    QCOMPARE(cell(*pWindow, nGoodRow, 3), QStringLiteral("Login Success"));
    QVERIFY(pWindow->getDevInfo(nGoodRow)->lLoginID > 0);
    QCOMPARE(cell(*pWindow, nGoodRow, 6), good.strVersion);
    QCOMPARE(cameraValue(emulator, good.nCamera, "Logins"), nLoginsBefore + 1);
    QCOMPARE(cameraValue(emulator, good.nCamera, "Sessions"), 1);

    // A second double-click on a logged-in row does not log in again.
    doubleClickRow(*pWindow, nGoodRow);
    QCOMPARE(cameraValue(emulator, good.nCamera, "Logins"), nLoginsBefore + 1);

    pPassword->setText(QStringLiteral("wrong"));
    doubleClickRow(*pWindow, nBadRow);
    QCOMPARE(cell(*pWindow, nBadRow, 3), QStringLiteral("Password is error"));
    QVERIFY(pWindow->getDevInfo(nBadRow)->lLoginID < 1);
    QCOMPARE(cameraValue(emulator, bad.nCamera, "Logins"), nBadLoginsBefore);

    // A new search logs the row out before freeing it.
    QVERIFY(search(*pWindow));
    QTRY_COMPARE_WITH_TIMEOUT(cameraValue(emulator, good.nCamera, "Logouts"), nLogoutsBefore + 1, 10000);
    QCOMPARE(cameraValue(emulator, good.nCamera, "Sessions"), 0);
    QCOMPARE(cell(*pWindow, guitest::rowOfMac(*pWindow, good.strMac), 3), QString());
}

void TestGuiDeviceTable::closingLogsOutEveryDevice()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(search(*pWindow));
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(kPassword);

    QVector<ExpectedRow> lstLoggedIn;
    for (const ExpectedRow& row : lstExpected) {
        if (!row.bListening || !row.strIp.startsWith(QLatin1String("127.")) || lstLoggedIn.size() == 3)
            continue;
        doubleClickRow(*pWindow, guitest::rowOfMac(*pWindow, row.strMac));
        QCOMPARE(cell(*pWindow, guitest::rowOfMac(*pWindow, row.strMac), 3), QStringLiteral("Login Success"));
        lstLoggedIn << row;
    }
    QCOMPARE(lstLoggedIn.size(), 3);
    QVector<int> lstLogoutsBefore;
    for (const ExpectedRow& row : lstLoggedIn)
        lstLogoutsBefore << cameraValue(emulator, row.nCamera, "Logouts");

    pWindow.reset();
    QCOMPARE(g_pMainWindow, nullptr);
    // Explicit logouts, not dropped connections: the library was still up when they were sent.
    for (int i = 0; i < lstLoggedIn.size(); ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(cameraValue(emulator, lstLoggedIn[i].nCamera, "Logouts"), lstLogoutsBefore[i] + 1,
                                  10000);
        QCOMPARE(cameraValue(emulator, lstLoggedIn[i].nCamera, "Sessions"), 0);
    }
}

QTEST_MAIN(TestGuiDeviceTable)
#include "tst_gui_devicetable.moc"
