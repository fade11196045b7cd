// The Add button and its login dialog against the emulator: the dialog's form and validators, a
// failed login that keeps the dialog open with its own error text, a successful one that appends a
// logged-in, checkable row filled from the login and the network record, and a user who is
// already logged in.
#include <QCryptographicHash>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

#include "CMessageBox.h"
#include "device/LoginDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

using guitest::cell;

namespace {

const QString kPassword = QStringLiteral("s3cret");

// Types the address and password into the dialog's fields, as the operator would, and presses OK.
void fillAndPressOk(LoginDlg* pDlg, const QString& strAddress, const QString& strPassword)
{
    pDlg->addressEdit()->clear();
    QTest::keyClicks(pDlg->addressEdit(), strAddress);
    pDlg->passwordEdit()->clear();
    QTest::keyClicks(pDlg->passwordEdit(), strPassword);
    QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
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
    void dialogFormAndValidators();
    void wrongPasswordKeepsDialogOpenRightPasswordAddsRow();
    void userAlreadyLoggedIn();
    void addressResolutionStaysLocal();

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

void TestGuiAddDevice::dialogFormAndValidators()
{
    auto pWindow = guitest::newWindow();
    auto* pAdd = guitest::button(*pWindow, "addBtn");
    guitest::ModalAnswerer watcher;

    struct Form
    {
        QString strTitle;
        QSize size;
        int nMinimumHeight = 0;
        bool bHasParent = true;
        QStringList lstDefaults;
        QStringList lstLabels;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        int nUserMax = 0;
        int nPasswordMax = 0;
        int nOkMaxWidth = 0;
        int nCancelMaxWidth = 0;
        QString strOk, strCancel, strFrameStyle;
        QStringList lstTyped;
        QList<bool> lstAcceptable;
        QLineEdit::EchoMode echoAfter = QLineEdit::Normal;
    };
    Form first;
    Form second;
    auto inspect = [](LoginDlg* pDlg, Form& form) {
        form.strTitle = pDlg->windowTitle();
        form.size = pDlg->size();
        form.nMinimumHeight = pDlg->minimumSizeHint().height();
        form.bHasParent = pDlg->parentWidget() != nullptr;
        form.lstDefaults = {pDlg->addressEdit()->text(), pDlg->portEdit()->text(), pDlg->userEdit()->text(),
                            pDlg->passwordEdit()->text()};
        const QFrame* pFrame = nullptr;
        for (const QFrame* pCandidate : pDlg->findChildren<QFrame*>(QStringLiteral("DlgTitle"))) {
            if (pCandidate->isAncestorOf(pDlg->addressEdit()))
                pFrame = pCandidate;
        }
        form.strFrameStyle = pFrame ? pFrame->styleSheet() : QString();
        for (const QLabel* pLabel : pDlg->findChildren<QLabel*>()) {
            if (pFrame && pFrame->isAncestorOf(pLabel))
                form.lstLabels << pLabel->text();
        }
        form.echo = pDlg->passwordEdit()->echoMode();
        form.nUserMax = pDlg->userEdit()->maxLength();
        form.nPasswordMax = pDlg->passwordEdit()->maxLength();
        form.nOkMaxWidth = pDlg->okButton()->maximumWidth();
        form.nCancelMaxWidth = pDlg->cancelButton()->maximumWidth();
        form.strOk = pDlg->okButton()->text();
        form.strCancel = pDlg->cancelButton()->text();
    };
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        inspect(pDlg, first);
        // What the validators let through, key by key as typed.
        auto typeInto = [&](QLineEdit* pEdit, const QString& strKeys) {
            pEdit->clear();
            QTest::keyClicks(pEdit, strKeys);
            first.lstTyped << pEdit->text();
            first.lstAcceptable << pEdit->hasAcceptableInput();
        };
        typeInto(pDlg->addressEdit(), QStringLiteral("256"));
        typeInto(pDlg->addressEdit(), QStringLiteral("127.0.0.256"));
        typeInto(pDlg->addressEdit(), QStringLiteral("127.300.0.1"));
        typeInto(pDlg->addressEdit(), QStringLiteral("255.255.255.255"));
        typeInto(pDlg->portEdit(), QStringLiteral("65536"));
        typeInto(pDlg->portEdit(), QStringLiteral("70000"));
        typeInto(pDlg->portEdit(), QStringLiteral("-1x"));
        typeInto(pDlg->portEdit(), QStringLiteral("65535"));
        typeInto(pDlg->portEdit(), QStringLiteral("0"));
        typeInto(pDlg->userEdit(), QStringLiteral("administrator-1"));
        typeInto(pDlg->passwordEdit(), QStringLiteral("0123456789abcdef"));
        QTest::mouseClick(pDlg->cancelButton(), Qt::LeftButton);
    });
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        inspect(pDlg, second);
        QTest::mouseClick(pDlg->cancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.pendingActions(), 0);
    QCOMPARE(watcher.lstUnexpected, QStringList());
    QCOMPARE(watcher.lstBoxes.size(), 0);

    QCOMPARE(first.strTitle, QStringLiteral("Login"));
    // 300 x 128 asked for; the title bar and four rows need more height than that, and get it.
    QCOMPARE(first.size, QSize(300, qMax(128, first.nMinimumHeight)));
    QVERIFY(!first.bHasParent);
    const QStringList lstDefaults = {QStringLiteral("192.168.1.10"), QStringLiteral("34567"), QStringLiteral("admin"),
                                     QString()};
    QCOMPARE(first.lstDefaults, lstDefaults);
    QCOMPARE(first.lstLabels, QStringList({QStringLiteral("IP Address"), QStringLiteral("Port"),
                                           QStringLiteral("User Name"), QStringLiteral("Password")}));
    QCOMPARE(first.strFrameStyle, QStringLiteral("#DlgTitle{border:1px solid rgb(40,40,40);}"));
    QCOMPARE(first.echo, QLineEdit::Password);
    QCOMPARE(first.nUserMax, 12);
    QCOMPARE(first.nPasswordMax, 12);
    QVERIFY(first.nOkMaxWidth <= 75);
    QVERIFY(first.nCancelMaxWidth <= 75);
    QCOMPARE(first.strOk, QStringLiteral("OK"));
    QCOMPARE(first.strCancel, QStringLiteral("Cancel"));
    // 256 is never an octet; the port takes whole numbers 0..65535 only; both credentials stop at 12.
    const QStringList lstTyped = {QStringLiteral("25"),          QStringLiteral("127.0.0.25"),
                                  QStringLiteral("127.30.0.1"),  QStringLiteral("255.255.255.255"),
                                  QStringLiteral("6553"),        QStringLiteral("7000"),
                                  QStringLiteral("1"),           QStringLiteral("65535"),
                                  QStringLiteral("0"),           QStringLiteral("administrato"),
                                  QStringLiteral("0123456789ab")};
    QCOMPARE(first.lstTyped, lstTyped);
    QCOMPARE(first.lstAcceptable.mid(0, 9), QList<bool>({false, true, true, true, true, true, true, true, true}));

    // The second press opened a new dialog: nothing typed into the first one is kept.
    QCOMPARE(second.lstDefaults, lstDefaults);
    QCOMPARE(second.strTitle, QStringLiteral("Login"));
    QCOMPARE(pWindow->tableModel()->rowCount(), 0);
    for (int i = 0; i < emulator.cameraCount(); ++i)
        QCOMPARE(cameraValue(i, "Logins"), 0);
}

void TestGuiAddDevice::wrongPasswordKeepsDialogOpenRightPasswordAddsRow()
{
    auto pWindow = guitest::newWindow();
    auto* pAdd = guitest::button(*pWindow, "addBtn");
    guitest::ModalAnswerer watcher;
    QVector<int> lstSignalled;
    QVector<long> lstSignalledLogins;
    connect(pWindow.get(), &CVantrel::sendDevInfoSignal, this, [&](DEV_INFO& info) {
        lstSignalled << info.nIndex;
        lstSignalledLogins << info.lLoginID;
    });
    const QJsonObject camera0 = emulator.camera(0);
    const int nLoginsBefore = cameraValue(0, "Logins");

    // Wrong password: the dialog's error box, and the same dialog takes the second try.
    QPointer<LoginDlg> ptrFirstTry;
    bool bOpenAfterFailure = false;
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        ptrFirstTry = pDlg;
        fillAndPressOk(pDlg, emulator.address(0), QStringLiteral("wrong"));
        bOpenAfterFailure = pDlg->isVisible();
    });
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        QCOMPARE(pDlg, ptrFirstTry.data());
        fillAndPressOk(pDlg, emulator.address(0), kPassword);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.pendingActions(), 0);
    QVERIFY(bOpenAfterFailure);
    QCOMPARE(watcher.lstBoxes.size(), 1);
    QCOMPARE(watcher.lstBoxes[0].strTitle, QStringLiteral("Error"));
    QCOMPARE(watcher.lstBoxes[0].strText, QStringLiteral("Password is error"));
    QCOMPARE(watcher.lstBoxes[0].lstButtons, QStringList{QStringLiteral("OK")});
    QCOMPARE(watcher.lstBoxes[0].imgIcon, guitest::boxIcon(3));

    // The new row: logged in, checkable, filled from the login and the network record.
    QStandardItemModel* pModel = pWindow->tableModel();
    QCOMPARE(pModel->rowCount(), 1);
    QCOMPARE(pModel->index(0, 0).data(), QVariant(1));
    QVERIFY(pModel->item(0, 0)->isCheckable());
    QCOMPARE(pModel->item(0, 0)->checkState(), Qt::Unchecked);
    QCOMPARE(cell(*pWindow, 0, 1), emulator.address(0));
    QCOMPARE(pModel->index(0, 2).data(), QVariant(34567));
    QCOMPARE(cell(*pWindow, 0, 3), QStringLiteral("Login Success"));
    const QString strMac = camera0.value(QStringLiteral("MAC")).toString();
    QCOMPARE(cell(*pWindow, 0, 4), strMac);
    QCOMPARE(cell(*pWindow, 0, 5), serialOf(strMac));
    QCOMPARE(cell(*pWindow, 0, 6), camera0.value(QStringLiteral("Version")).toString());
    static const QRegularExpression reDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    QVERIFY2(reDate.match(cell(*pWindow, 0, 7)).hasMatch(), qPrintable(cell(*pWindow, 0, 7)));

    const DEV_INFO* pInfo = pWindow->getDevInfo(0);
    QVERIFY(pInfo);
    QCOMPARE(pInfo->nIndex, 0);
    QVERIFY(pInfo->lLoginID > 0);
    QCOMPARE(QByteArray(pInfo->szCloudId), serialOf(strMac).toLatin1());
    QCOMPARE(QByteArray(pInfo->szIpAddr), emulator.address(0).toLatin1());
    QCOMPARE(QByteArray(pInfo->szUserName), QByteArray("admin"));
    QCOMPARE(QByteArray(pInfo->szPassword), kPassword.toLatin1());
    QCOMPARE(pInfo->nPort, 34567);
    QCOMPARE(dottedText(pInfo->netBlock.hostIp), emulator.address(0));
    // Only the right password counted as a login, and its session stays open.
    QCOMPARE(cameraValue(0, "Logins"), nLoginsBefore + 1);
    QCOMPARE(cameraValue(0, "Sessions"), 1);
    QCOMPARE(lstSignalled, QVector<int>{0});
    QCOMPARE(lstSignalledLogins, QVector<long>{pInfo->lLoginID});

    auto* pView = pWindow->findChild<QTableView*>(QStringLiteral("tableView"));
    auto* pDevInfo = pWindow->findChild<QLabel*>(QStringLiteral("labelDevInfo"));
    QCOMPARE(pView->currentIndex().row(), 0);
    QCOMPARE(pDevInfo->text(), QStringLiteral("Dev No :1   IP:%1").arg(emulator.address(0)));

    // Cancel adds nothing and logs nothing in.
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        pDlg->addressEdit()->setText(emulator.address(1));
        QTest::mouseClick(pDlg->cancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(pModel->rowCount(), 1);
    QCOMPARE(cameraValue(1, "Logins"), 0);

    // A second device takes the next row and becomes the current one.
    const QJsonObject camera1 = emulator.camera(1);
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) { fillAndPressOk(pDlg, emulator.address(1), kPassword); });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(pModel->rowCount(), 2);
    QCOMPARE(pModel->index(1, 0).data(), QVariant(2));
    QCOMPARE(cell(*pWindow, 1, 4), camera1.value(QStringLiteral("MAC")).toString());
    QCOMPARE(cell(*pWindow, 1, 6), camera1.value(QStringLiteral("Version")).toString());
    QCOMPARE(pWindow->getDevInfo(1)->nIndex, 1);
    QCOMPARE(pView->currentIndex().row(), 1);
    QCOMPARE(pDevInfo->text(), QStringLiteral("Dev No :2   IP:%1").arg(emulator.address(1)));
    QCOMPARE(lstSignalled, QVector<int>({0, 1}));
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
    QCOMPARE(pModel->rowCount(), nSearched + 1);
    QCOMPARE(cell(*pWindow, nSearched, 3), QStringLiteral("Login Success"));
    QCOMPARE(pModel->index(nSearched, 0).data(), QVariant(nSearched + 1));
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
    QCOMPARE(watcher.lstBoxes.size(), 1);
    QCOMPARE(watcher.lstBoxes[0].strTitle, QStringLiteral("Error"));
    QCOMPARE(watcher.lstBoxes[0].strText, QStringLiteral("The user has logined."));
    QCOMPARE(pModel->rowCount(), nSearched + 1);

    // ... and a login from the table reads the table's text, without the full stop.
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(kPassword);
    QVERIFY(QMetaObject::invokeMethod(pWindow.get(), "on_tableView_doubleClicked",
                                      Q_ARG(QModelIndex, pModel->index(nSearchRow, 1))));
    QCOMPARE(cell(*pWindow, nSearchRow, 3), QStringLiteral("The user has logined"));
    QCOMPARE(cameraValue(2, "Sessions"), 1);
    QCOMPARE(watcher.lstUnexpected, QStringList());
}

void TestGuiAddDevice::addressResolutionStaysLocal()
{
    // Loopback-only: dotted addresses as they are, localhost without a resolver, other names kept
    // as typed (the login then fails as an unreachable device).
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral("127.0.0.5"), true), QStringLiteral("127.0.0.5"));
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral(" 127.1.2.3 "), true), QStringLiteral("127.1.2.3"));
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral("localhost"), true), QStringLiteral("127.0.0.1"));
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral("camera.invalid"), true), QStringLiteral("camera.invalid"));
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral("::1"), true), QStringLiteral("::1"));
    // A dotted address never needs the resolver, loopback-only or not.
    QCOMPARE(LoginDlg::resolveAddress(QStringLiteral("127.0.0.9"), false), QStringLiteral("127.0.0.9"));

    // The dialog's own texts; the two that differ from the table's, and the catch-all.
    QCOMPARE(LoginDlg::loginErrorText(-11305), QStringLiteral("The user has logined."));
    QCOMPARE(LoginDlg::loginErrorText(-11307), QStringLiteral("Cann't find the device."));
    QCOMPARE(LoginDlg::loginErrorText(-11306), QStringLiteral("Unknow Error"));
    QCOMPARE(LoginDlg::loginErrorText(-11301), QStringLiteral("Password is error"));
    QCOMPARE(LoginDlg::loginErrorText(0), QStringLiteral("Network is error"));
}

QTEST_MAIN(TestGuiAddDevice)
#include "tst_gui_adddevice.moc"
