// The Add button and its login dialog against the emulator: the dialog's defaults and validators, a
// login that runs while the window goes on (OK disabled), a failed login that keeps the dialog open
// with its own error text, a successful one that appends a logged-in, checkable row filled from the
// login and the network record, a user who is already logged in, and how the typed address is read.
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

#include "device/LoginDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

using guitest::cell;

namespace {

const QString kPassword = QStringLiteral("s3cret");

// Types the address and password into the dialog's fields, as the operator would, presses OK and
// waits for the login, which runs off the user-interface thread, to end.
void fillAndPressOk(LoginDlg* pDlg, const QString& strAddress, const QString& strPassword)
{
    pDlg->addressEdit()->clear();
    QTest::keyClicks(pDlg->addressEdit(), strAddress);
    pDlg->passwordEdit()->clear();
    QTest::keyClicks(pDlg->passwordEdit(), strPassword);
    QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!pDlg->isLoggingIn(), 10000);
}

QString serialOf(const QString& strMac)
{
    return QString::fromLatin1(QCryptographicHash::hash(strMac.toLatin1(), QCryptographicHash::Sha256).left(8).toHex());
}

} // namespace

class TestGuiAddDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginDialogAddsRows();
    void userAlreadyLoggedIn();
    void typedAddressIsReadAsFourDecimalNumbers();

private:
    int cameraValue(int nCamera, const char* szName) { return guitest::cameraValue(emulator, nCamera, szName); }

    EmulatorProcess emulator;
};

void TestGuiAddDevice::initTestCase()
{
    // One session per user: a second login of the same user is refused as already logged in.
    QVERIFY(guitest::startEmulator(
        emulator, {"--count", "3", "--models", "IPC-A,NVR-8", "--password", kPassword, "--max-sessions", "1"}));
}

void TestGuiAddDevice::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiAddDevice::loginDialogAddsRows()
{
    auto pWindow = guitest::newWindow();
    auto* pAdd = guitest::button(*pWindow, "addBtn");
    guitest::ModalAnswerer watcher;
    QVector<QPair<int, long>> lstSignalled;
    connect(pWindow.get(), &CVantrel::sendDevInfoSignal, this,
            [&](DEV_INFO& info) { lstSignalled << qMakePair(info.nIndex, info.lLoginID); });
    QList<QStringList> lstFormsSeen;
    auto formOf = [](LoginDlg* pDlg) {
        return QStringList{pDlg->addressEdit()->text(), pDlg->portEdit()->text(), pDlg->userEdit()->text(),
                           pDlg->passwordEdit()->text(), QString::number(pDlg->passwordEdit()->echoMode())};
    };
    // What each field keeps of the keys typed into it, and whether the result is acceptable: 256 is
    // never an octet, the port takes whole numbers 0..65535 only, both credentials stop at 12.
    struct Typed
    {
        int nField;
        const char* szKeys;
        const char* szKept;
        bool bAcceptable;
    };
    const Typed lstTyped[] = {{0, "256", "25", false},
                              {0, "127.300.0.1", "127.30.0.1", true},
                              {1, "65536", "6553", true},
                              {1, "-1x", "1", true},
                              {1, "65535", "65535", true},
                              {2, "administrator-1", "administrato", true},
                              {3, "0123456789abcdef", "0123456789ab", true}};
    QStringList lstMismatches;
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        lstFormsSeen << formOf(pDlg);
        QLineEdit* const fields[] = {pDlg->addressEdit(), pDlg->portEdit(), pDlg->userEdit(), pDlg->passwordEdit()};
        for (const Typed& typed : lstTyped) {
            QLineEdit* pEdit = fields[typed.nField];
            pEdit->clear();
            QTest::keyClicks(pEdit, QString::fromLatin1(typed.szKeys));
            if (pEdit->text() != QLatin1String(typed.szKept) || pEdit->hasAcceptableInput() != typed.bAcceptable)
                lstMismatches << QStringLiteral("%1 -> %2").arg(QLatin1String(typed.szKeys), pEdit->text());
        }
        pDlg->addressEdit()->setText(emulator.address(1));
        QTest::mouseClick(pDlg->cancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(lstMismatches, QStringList());
    // Closing by the title bar (which accepts a frameless dialog) adds no row either.
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) { pDlg->on_closed_slots(); });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    // Cancel adds nothing and logs nothing in.
    QCOMPARE(pWindow->tableModel()->rowCount(), 0);
    QCOMPARE(cameraValue(1, "Logins"), 0);

    // The next press opens a new dialog, keeping nothing typed into the first. A wrong password
    // gives the dialog's error box, and the same dialog takes the second try.
    // The login runs while the window goes on: OK and Cancel wait for it, a close is ignored.
    QPointer<LoginDlg> ptrFirstTry;
    bool bOpenAfterFailure = false;
    bool bWaitedForTheLogin = false;
    QVERIFY(emulator.setFault(0, QJsonObject{{"LatencyMs", 300}}));
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        lstFormsSeen << formOf(pDlg);
        ptrFirstTry = pDlg;
        pDlg->addressEdit()->setText(emulator.address(0));
        pDlg->passwordEdit()->setText(QStringLiteral("wrong"));
        QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
        pDlg->reject();
        bWaitedForTheLogin = pDlg->isLoggingIn() && !pDlg->okButton()->isEnabled() &&
                             !pDlg->cancelButton()->isEnabled() && pDlg->isVisible();
        QTRY_VERIFY_WITH_TIMEOUT(!pDlg->isLoggingIn(), 10000);
        bOpenAfterFailure = pDlg->isVisible() && pDlg->okButton()->isEnabled();
    });
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        QCOMPARE(pDlg, ptrFirstTry.data());
        QVERIFY(emulator.setFault(0, QJsonObject{{"LatencyMs", 0}}));
        fillAndPressOk(pDlg, emulator.address(0), kPassword);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.pendingActions(), 0);
    QVERIFY(bWaitedForTheLogin);
    const QStringList lstDefaults = {QStringLiteral("192.168.1.10"), QStringLiteral("34567"), QStringLiteral("admin"),
                                     QString(), QString::number(QLineEdit::Password)};
    QCOMPARE(lstFormsSeen, (QList<QStringList>{lstDefaults, lstDefaults}));
    QVERIFY(bOpenAfterFailure);
    guitest::expectOneBox(watcher, QStringLiteral("Error"), QStringLiteral("Password is error"), 3);

    // The new row: logged in, checkable, filled from the login and the network record; number and
    // port as numbers, so that they sort as numbers.
    QStandardItemModel* pModel = pWindow->tableModel();
    const QJsonObject camera0 = emulator.camera(0);
    const QString strMac = camera0.value(QStringLiteral("MAC")).toString();
    QCOMPARE(pModel->rowCount(), 1);
    QVERIFY(pModel->item(0, 0)->isCheckable());
    QCOMPARE(pModel->index(0, 0).data(), QVariant(1));
    QCOMPARE(pModel->index(0, 2).data(), QVariant(34567));
    QStringList lstCells;
    for (int nColumn : {1, 3, 4, 5, 6})
        lstCells << cell(*pWindow, 0, nColumn);
    QCOMPARE(lstCells, (QStringList{emulator.address(0), QStringLiteral("Login Success"), strMac, serialOf(strMac),
                                    camera0.value(QStringLiteral("Version")).toString()}));
    const DEV_INFO* pInfo = pWindow->getDevInfo(0);
    QVERIFY(pInfo && pInfo->lLoginID > 0);
    QCOMPARE(QByteArray(pInfo->szPassword), kPassword.toLatin1());
    // Only the right password counted as a login, and its session stays open.
    QCOMPARE(cameraValue(0, "Logins"), 1);
    QCOMPARE(cameraValue(0, "Sessions"), 1);
    QCOMPARE(lstSignalled, (QVector<QPair<int, long>>{{0, pInfo->lLoginID}}));

    // Each added device takes the next row and becomes the current one.
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) { fillAndPressOk(pDlg, emulator.address(1), kPassword); });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(pModel->rowCount(), 2);
    QCOMPARE(pWindow->findChild<QTableView*>(QStringLiteral("tableView"))->currentIndex().row(), 1);
    QCOMPARE(pWindow->findChild<QLabel*>(QStringLiteral("labelDevInfo"))->text(),
             QStringLiteral("Dev No :2   IP:%1").arg(emulator.address(1)));
    QCOMPARE(lstSignalled.size(), 2);
    QCOMPARE(watcher.lstBoxes.size(), 1);
    QCOMPARE(watcher.lstUnexpected, QStringList());

    // The added rows stay logged in until the window goes.
    pWindow.reset();
    QTRY_COMPARE_WITH_TIMEOUT(cameraValue(0, "Sessions"), 0, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(cameraValue(1, "Sessions"), 0, 10000);
}

void TestGuiAddDevice::userAlreadyLoggedIn()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    QStandardItemModel* pModel = pWindow->tableModel();
    const int nSearched = pModel->rowCount();
    const int nSearchRow = guitest::rowOfCamera(*pWindow, emulator, 2);
    QVERIFY(nSearchRow >= 0);

    // The Add button holds the one session camera 2 allows ...
    guitest::ModalAnswerer watcher;
    auto* pAdd = guitest::button(*pWindow, "addBtn");
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) { fillAndPressOk(pDlg, emulator.address(2), kPassword); });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(cameraValue(2, "Sessions"), 1);

    // ... so a second Add of it reads the dialog's text, and the dialog stays for another try.
    bool bOpenAfterFailure = false;
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        fillAndPressOk(pDlg, emulator.address(2), kPassword);
        bOpenAfterFailure = pDlg->isVisible();
        QTest::mouseClick(pDlg->cancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QVERIFY(bOpenAfterFailure);
    guitest::expectOneBox(watcher, QStringLiteral("Error"), QStringLiteral("The user has logined."), 3);
    QCOMPARE(pModel->rowCount(), nSearched + 1);

    // ... and a login from the table reads the table's text, without the full stop.
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(kPassword);
    QVERIFY(!guitest::loginRow(*pWindow, nSearchRow));
    QCOMPARE(cell(*pWindow, nSearchRow, 3), QStringLiteral("The user has logined"));
    QCOMPARE(cameraValue(2, "Sessions"), 1);
    QCOMPARE(watcher.lstUnexpected, QStringList());
}

void TestGuiAddDevice::typedAddressIsReadAsFourDecimalNumbers()
{
    // Digits and dots are four decimal numbers or nothing: never octal, never a short form, never a
    // name lookup. localhost needs no resolver; with loopback-only no other name is looked up.
    const struct
    {
        const char* szTyped;
        bool bLoopbackOnly;
        LoginDlg::AddressText kind;
        const char* szAddress;
    } lstCases[] = {{" 127.1.2.3 ", true, LoginDlg::AddressText::Address, "127.1.2.3"},
                    {"127.000.000.010", true, LoginDlg::AddressText::Address, "127.0.0.10"},
                    {"192.168", false, LoginDlg::AddressText::Refused, ""},
                    {"localhost", true, LoginDlg::AddressText::Address, "127.0.0.1"},
                    {"camera.invalid", true, LoginDlg::AddressText::Address, "camera.invalid"},
                    {"camera.invalid", false, LoginDlg::AddressText::Name, "camera.invalid"}};
    for (const auto& test : lstCases) {
        QString strAddress;
        QVERIFY2(LoginDlg::readAddress(QString::fromLatin1(test.szTyped), test.bLoopbackOnly, &strAddress) == test.kind,
                 test.szTyped);
        if (test.kind != LoginDlg::AddressText::Refused)
            QCOMPARE(strAddress.trimmed(), QString::fromLatin1(test.szAddress));
    }

    // A half-typed address is refused with a clear text before anything is sent; the dialog stays.
    auto pWindow = guitest::newWindow();
    guitest::ModalAnswerer watcher;
    const QString strCamera = emulator.address(0);
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        fillAndPressOk(pDlg, strCamera.section('.', 0, 1), kPassword);
        QVERIFY(pDlg->isVisible());
        pDlg->reject();
    });
    const int nLogins = cameraValue(0, "Logins");
    QTest::mouseClick(guitest::button(*pWindow, "addBtn"), Qt::LeftButton);
    guitest::expectOneBox(watcher, QStringLiteral("Error"),
                          QStringLiteral("The address must be four numbers from 0 to 255, such as 192.168.1.10"), 3);
    QCOMPARE(cameraValue(0, "Logins"), nLogins);
    QCOMPARE(pWindow->tableModel()->rowCount(), 0);
}

QTEST_MAIN(TestGuiAddDevice)
#include "tst_gui_adddevice.moc"
