// The main window's command buttons up to the point where their work begins: every precondition
// prompt with its text, title and button, refused presses that change nothing, accepted batch
// starts that set the command code, adaptive value and password, the file dialogs, and the
// window's own queued signals.
#include <functional>
#include <thread>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "CMessageBox.h"
#include "device/CSearchDeviceThread.h"
#include "emulatorprocess.h"
#include "mainwindow/CVantrel.h"

namespace {

struct BoxSeen
{
    QString strTitle;
    QString strText;
    QStringList lstButtons;
    QImage imgIcon;
};

// Answers every modal window the code under test opens: message boxes are recorded and their
// first button pressed; file dialogs get fileAnswer (empty = cancel); any other dialog is
// recorded by class and rejected, so a wrong modal never hangs the test.
class ModalWatcher : public QObject
{
public:
    ModalWatcher()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &ModalWatcher::tick);
        timer.start();
    }

    QVector<BoxSeen> lstBoxes;
    QStringList lstOtherDialogs;
    QString strFileAnswer;
    QStringList lstFileDialogCaptions;
    QStringList lstFileDialogFilters;
    QStringList lstFileDialogDirs;

    void clear()
    {
        lstBoxes.clear();
        lstOtherDialogs.clear();
        lstFileDialogCaptions.clear();
        lstFileDialogFilters.clear();
        lstFileDialogDirs.clear();
    }

private:
    void tick()
    {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (!pWidget->isVisible())
                continue;
            if (auto* pBox = qobject_cast<CMessageBox*>(pWidget)) {
                BoxSeen seen;
                seen.strTitle = pBox->windowTitle();
                seen.strText = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
                for (QAbstractButton* pButton : pBox->customButtons())
                    seen.lstButtons << pButton->text();
                const QLabel* pIcon = pBox->findChild<QLabel*>(QStringLiteral("msgboxex_icon_label"));
                seen.imgIcon = pIcon->pixmap().toImage();
                lstBoxes << seen;
                pBox->customButtons().value(0)->click();
                return;
            }
            if (auto* pFileDialog = qobject_cast<QFileDialog*>(pWidget)) {
                lstFileDialogCaptions << pFileDialog->windowTitle();
                lstFileDialogFilters << pFileDialog->nameFilters().join(QStringLiteral(";;"));
                lstFileDialogDirs << pFileDialog->directory().absolutePath();
                if (strFileAnswer.isEmpty()) {
                    pFileDialog->reject();
                } else {
                    pFileDialog->selectFile(strFileAnswer);
                    static_cast<QDialog*>(pFileDialog)->accept();
                }
                return;
            }
            if (auto* pDialog = qobject_cast<QDialog*>(pWidget)) {
                lstOtherDialogs << QString::fromLatin1(pDialog->metaObject()->className());
                pDialog->reject();
                return;
            }
        }
    }

    QTimer timer;
};

QImage iconImage(int nIcon)
{
    return QPixmap(CMessageBox::iconPath(nIcon)).toImage();
}

} // namespace

class TestGuiCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void batchStartPreconditions();
    void busyWindowRefusesEveryStart();
    void addressAndConfigurationPrompts();
    void commandsThatNeedADevice();
    void fileDialogs();
    void workerSignalsArriveQueued();

private:
    std::unique_ptr<CVantrel> newWindow();
    bool search(CVantrel& window);
    QPushButton* button(CVantrel& window, const char* szName);
    QStringList statusColumn(CVantrel& window);
    void expectSingleBox(const ModalWatcher& watcher, const QString& strTitle, const QString& strText, int nIcon);

    EmulatorProcess emulator;
};

void TestGuiCommands::initTestCase()
{
    QVERIFY2(emulator.start({"--count", "3", "--models", "IPC-A"}),
             qPrintable(emulator.errorString() + emulator.diagnostics()));
    QFile ini(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[Network]\nBroadcast=127.255.255.255\nAddressCheck=device\nLoopbackOnly=1\n"
                             "DiscoveryPort=%1\n")
                  .arg(emulator.discoveryPort())
                  .toLatin1());
    ini.close();
}

void TestGuiCommands::cleanupTestCase()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(emulator.stop());
}

std::unique_ptr<CVantrel> TestGuiCommands::newWindow()
{
    auto pWindow = std::make_unique<CVantrel>();
    pWindow->setSearchTime(800);
    pWindow->show();
    pWindow->activateWindow();
    return pWindow;
}

bool TestGuiCommands::search(CVantrel& window)
{
    QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(button(window, "SearchButton"), Qt::LeftButton);
    if (!spyStop.wait(10000))
        return false;
    QCoreApplication::processEvents();
    return window.tableModel()->rowCount() == emulator.cameraCount();
}

QPushButton* TestGuiCommands::button(CVantrel& window, const char* szName)
{
    return window.findChild<QPushButton*>(QLatin1String(szName));
}

QStringList TestGuiCommands::statusColumn(CVantrel& window)
{
    QStringList lst;
    for (int nRow = 0; nRow < window.tableModel()->rowCount(); ++nRow)
        lst << window.tableModel()->index(nRow, 3).data().toString();
    return lst;
}

void TestGuiCommands::expectSingleBox(const ModalWatcher& watcher, const QString& strTitle, const QString& strText,
                                      int nIcon)
{
    QCOMPARE(watcher.lstOtherDialogs, QStringList());
    QCOMPARE(watcher.lstBoxes.size(), 1);
    QCOMPARE(watcher.lstBoxes[0].strTitle, strTitle);
    QCOMPARE(watcher.lstBoxes[0].strText, strText);
    QCOMPARE(watcher.lstBoxes[0].lstButtons, QStringList{QStringLiteral("OK")});
    QCOMPARE(watcher.lstBoxes[0].imgIcon, iconImage(nIcon));
}

void TestGuiCommands::batchStartPreconditions()
{
    auto pWindow = newWindow();
    QVERIFY(search(*pWindow));
    ModalWatcher watcher;
    QCOMPARE(pWindow->commandCode(), -1);
    QCOMPARE(pWindow->adaptiveValue(), 0);
    QVERIFY(pWindow->isIdle());
    const QStringList lstStatus = statusColumn(*pWindow);

    // No row checked: every batch button says so and starts nothing.
    for (const char* szName : {"btnReset", "btnOpenDhcp", "btnCloseDhcp"}) {
        watcher.clear();
        QTest::mouseClick(button(*pWindow, szName), Qt::LeftButton);
        expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please select device first"), 2);
        QCOMPARE(pWindow->commandCode(), -1);
        QCOMPARE(pWindow->adaptiveValue(), 0);
        QCOMPARE(pWindow->batchPassword(), QString());
        QVERIFY(pWindow->isIdle());
    }
    // A partly checked row is not a checked one.
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::PartiallyChecked);
    watcher.clear();
    QTest::mouseClick(button(*pWindow, "btnReset"), Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please select device first"), 2);
    QCOMPARE(pWindow->commandCode(), -1);

    // Nothing refused touched a device or wrote a row text.
    QCOMPARE(statusColumn(*pWindow), lstStatus);
    for (int i = 0; i < emulator.cameraCount(); ++i)
        QCOMPARE(emulator.camera(i).value(QStringLiteral("Logins")).toInt(), 0);

    // A checked row: the start is accepted without a prompt, takes the password and the codes,
    // runs, and leaves the window idle with the arrow cursor when the worker is done.
    pWindow->tableModel()->item(1, 0)->setCheckState(Qt::Checked);
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("first"));
    watcher.clear();
    QTest::mouseClick(button(*pWindow, "btnOpenDhcp"), Qt::LeftButton);
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pWindow->commandCode(), 1);
    QCOMPARE(pWindow->adaptiveValue(), 1);
    QCOMPARE(pWindow->batchPassword(), QStringLiteral("first"));
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::overrideCursor(), nullptr, 5000);

    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("second"));
    QTest::mouseClick(button(*pWindow, "btnCloseDhcp"), Qt::LeftButton);
    QCOMPARE(pWindow->commandCode(), 2);
    QCOMPARE(pWindow->adaptiveValue(), 0);
    QCOMPARE(pWindow->batchPassword(), QStringLiteral("second"));
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    pWindow->findChild<QPushButton*>(QStringLiteral("btnOpenDhcp"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QTest::mouseClick(button(*pWindow, "btnReset"), Qt::LeftButton);
    QCOMPARE(pWindow->commandCode(), 0);
    QCOMPARE(pWindow->adaptiveValue(), 1); // reset leaves the adaptive value alone
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::busyWindowRefusesEveryStart()
{
    auto pWindow = newWindow();
    QVERIFY(search(*pWindow));
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::Checked);
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("running"));
    ModalWatcher watcher;
    QTest::mouseClick(button(*pWindow, "btnOpenDhcp"), Qt::LeftButton);
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pWindow->commandCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);

    // As while a worker runs: another start leaves the running batch's code, value and password.
    pWindow->setIdle(false);
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("other"));
    for (const char* szName : {"btnReset", "btnCloseDhcp", "btnOpenDhcp"}) {
        watcher.clear();
        QTest::mouseClick(button(*pWindow, szName), Qt::LeftButton);
        expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Configuring, please try again later"), 2);
        QCOMPARE(pWindow->commandCode(), 1);
        QCOMPARE(pWindow->adaptiveValue(), 1);
        QCOMPARE(pWindow->batchPassword(), QStringLiteral("running"));
        QVERIFY(!pWindow->isIdle());
    }
    // Busy beats "nothing checked".
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::Unchecked);
    watcher.clear();
    QTest::mouseClick(button(*pWindow, "btnReset"), Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Configuring, please try again later"), 2);

    // Search and Add would replace or extend the records the worker uses: both wait.
    const int nRows = pWindow->tableModel()->rowCount();
    const QString strFirstMac = pWindow->tableModel()->index(0, 4).data().toString();
    watcher.clear();
    QTest::mouseClick(button(*pWindow, "SearchButton"), Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"),
                    QStringLiteral("Devices are being configured, search again when the work has finished"), 2);
    QVERIFY(!pWindow->searchThread()->isRunning());
    QVERIFY(button(*pWindow, "SearchButton")->isEnabled());
    QCOMPARE(pWindow->tableModel()->rowCount(), nRows);
    QCOMPARE(pWindow->tableModel()->index(0, 4).data().toString(), strFirstMac);
    QVERIFY(pWindow->getDevInfo(0));

    watcher.clear();
    QTest::mouseClick(button(*pWindow, "addBtn"), Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"),
                    QStringLiteral("Devices are being configured, add the device when the work has finished"), 2);
    QCOMPARE(pWindow->tableModel()->rowCount(), nRows);

    // Once idle, Search works again and rebuilds the table.
    pWindow->setIdle(true);
    watcher.clear();
    QVERIFY(search(*pWindow));
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::addressAndConfigurationPrompts()
{
    auto pWindow = newWindow();
    QVERIFY(search(*pWindow));
    pWindow->tableModel()->item(0, 0)->setCheckState(Qt::Checked);
    ModalWatcher watcher;
    QPushButton* pModifyIP = button(*pWindow, "btnModifyIP");
    QPushButton* pModifyCfg = button(*pWindow, "btnModifyCfg");
    QVERIFY(!pModifyIP->isEnabled());
    QVERIFY(!pModifyCfg->isEnabled());

    // SetIP without an accepted plan leaves DoModify disabled, even when it was enabled.
    pModifyIP->setEnabled(true);
    QTest::mouseClick(button(*pWindow, "btnSetIP"), Qt::LeftButton);
    QVERIFY(!pModifyIP->isEnabled());

    // DoModify without a plan: the prompt, and no batch even with a row checked.
    pModifyIP->setEnabled(true);
    watcher.clear();
    QTest::mouseClick(pModifyIP, Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please Set IP Config first"), 2);
    QCOMPARE(pWindow->commandCode(), -1);

    // DoModify of the configuration with no page ticked: an information box titled "Tips".
    pModifyCfg->setEnabled(true);
    watcher.clear();
    QTest::mouseClick(pModifyCfg, Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Tips"), QStringLiteral("Please select device first"), 1);
    QCOMPARE(pWindow->commandCode(), -1);
    QVERIFY(pWindow->isIdle());
}

void TestGuiCommands::commandsThatNeedADevice()
{
    auto pWindow = newWindow();
    ModalWatcher watcher;
    for (const char* szName : {"btnOtherCfg", "btnVolume", "btnMicro"}) {
        watcher.clear();
        QTest::mouseClick(button(*pWindow, szName), Qt::LeftButton);
        expectSingleBox(watcher, QStringLiteral("Tips"), QStringLiteral("Please add device first"), 1);
    }
    // Upgrade without a package.
    watcher.clear();
    QTest::mouseClick(button(*pWindow, "upgradeBtn"), Qt::LeftButton);
    expectSingleBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please Select a Program"), 2);

    // With devices in the table the first check passes: no prompt.
    QVERIFY(search(*pWindow));
    watcher.clear();
    for (const char* szName : {"btnOtherCfg", "btnVolume", "btnMicro"})
        QTest::mouseClick(button(*pWindow, szName), Qt::LeftButton);
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::fileDialogs()
{
    auto pWindow = newWindow();
    ModalWatcher watcher;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strPackage = dir.filePath(QStringLiteral("firmware.bin"));
    const QString strOther = dir.filePath(QStringLiteral("other.bin"));
    const QString strConfig = dir.filePath(QStringLiteral("camera.cfg"));
    for (const QString& strPath : {strPackage, strOther, strConfig}) {
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    auto* pFileName = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"));
    auto* pCfg = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditCfg"));
    QVERIFY(pFileName->isReadOnly());

    // Cancelling the first dialog leaves the field empty; choosing fills it.
    watcher.strFileAnswer.clear();
    QTest::mouseClick(button(*pWindow, "browseBtn"), Qt::LeftButton);
    QCOMPARE(pFileName->text(), QString());
    watcher.strFileAnswer = strPackage;
    QTest::mouseClick(button(*pWindow, "browseBtn"), Qt::LeftButton);
    QCOMPARE(pFileName->text(), strPackage);
    // Cancel keeps the previous choice; another choice replaces it.
    watcher.strFileAnswer.clear();
    QTest::mouseClick(button(*pWindow, "browseBtn"), Qt::LeftButton);
    QCOMPARE(pFileName->text(), strPackage);
    watcher.strFileAnswer = strOther;
    QTest::mouseClick(button(*pWindow, "browseBtn"), Qt::LeftButton);
    QCOMPARE(pFileName->text(), strOther);
    QCOMPARE(watcher.lstFileDialogCaptions.size(), 4);
    QCOMPARE(watcher.lstFileDialogCaptions[0], QStringLiteral("Choose a file to open"));
    QCOMPARE(watcher.lstFileDialogFilters[0], QStringLiteral("Upgrade File(*.bin);;Files(*.*)"));
    if (QDir(QStringLiteral("/home")).exists())
        QCOMPARE(watcher.lstFileDialogDirs[0], QStringLiteral("/home"));

    // The configuration-file row is hidden, but its button works the same way on its own field.
    QVERIFY(!button(*pWindow, "browseCfgBtn")->isVisible());
    watcher.clear();
    watcher.strFileAnswer = strConfig;
    button(*pWindow, "browseCfgBtn")->click();
    QCOMPARE(pCfg->text(), strConfig);
    watcher.strFileAnswer.clear();
    button(*pWindow, "browseCfgBtn")->click();
    QCOMPARE(pCfg->text(), strConfig);
    QCOMPARE(pFileName->text(), strOther);
    QCOMPARE(watcher.lstFileDialogCaptions,
             QStringList({QStringLiteral("Choose a file to open"), QStringLiteral("Choose a file to open")}));
    QCOMPARE(watcher.lstFileDialogFilters[0], QStringLiteral("Config File(*.cfg)"));
    QCOMPARE(watcher.lstBoxes.size(), 0);

    // With a package chosen, Upgrade no longer asks for one.
    QTest::mouseClick(button(*pWindow, "upgradeBtn"), Qt::LeftButton);
    QCOMPARE(watcher.lstBoxes.size(), 0);

    // The package path can also come from elsewhere through on_getLogoBinFile.
    QVERIFY(QMetaObject::invokeMethod(pWindow.get(), "on_getLogoBinFile", Q_ARG(QString, strPackage)));
    QCOMPARE(pFileName->text(), strPackage);
}

void TestGuiCommands::workerSignalsArriveQueued()
{
    auto pWindow = newWindow();
    ModalWatcher watcher;
    QPushButton* pVolume = button(*pWindow, "btnVolume");
    QPushButton* pMicro = button(*pWindow, "btnMicro");
    CVantrel* pRaw = pWindow.get();
    auto fromWorker = [](const std::function<void()>& fn) {
        std::thread worker(fn);
        worker.join();
    };

    // A message from a worker arrives later on this thread as a warning box.
    fromWorker([pRaw] { emit pRaw->showMessageSignal(QStringLiteral("OpenTalkFiled")); });
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QTRY_COMPARE(watcher.lstBoxes.size(), 1);
    QCOMPARE(watcher.lstBoxes[0].strTitle, QStringLiteral("Prompt"));
    QCOMPARE(watcher.lstBoxes[0].strText, QStringLiteral("OpenTalkFiled"));
    QCOMPARE(watcher.lstBoxes[0].lstButtons, QStringList{QStringLiteral("OK")});

    // Button states: type 0 the volume test, type 1 the microphone, others nothing.
    fromWorker([pRaw] { emit pRaw->updateBtnState(0, 1); });
    QTRY_VERIFY(!pVolume->isEnabled());
    QCOMPARE(pWindow->volumeState(), 1);
    fromWorker([pRaw] { emit pRaw->updateBtnState(1, 1); });
    QTRY_COMPARE(pMicro->text(), QStringLiteral("StopMicro"));
    QCOMPARE(pWindow->microState(), 1);
    fromWorker([pRaw] { emit pRaw->updateBtnState(2, 0); });
    fromWorker([pRaw] { emit pRaw->updateBtnState(0, 0); });
    QTRY_VERIFY(pVolume->isEnabled());
    QCOMPARE(pMicro->text(), QStringLiteral("StopMicro")); // type 2 changed nothing
    QCOMPARE(pWindow->microState(), 1);
    fromWorker([pRaw] { emit pRaw->updateBtnState(1, 0); });
    QTRY_COMPARE(pMicro->text(), QStringLiteral("StartMicro"));
    QCOMPARE(pWindow->microState(), 0);
    QCOMPARE(pWindow->volumeState(), 0);

    // The end of a batch gives the arrow back.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fromWorker([pRaw] { emit pRaw->releaseCursor(); });
    QTRY_COMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(watcher.lstBoxes.size(), 1);
}

QTEST_MAIN(TestGuiCommands)
#include "tst_gui_commands.moc"
