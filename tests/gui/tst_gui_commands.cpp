// The main window's command buttons up to the point where their work begins: every precondition
// prompt with its text, title and button, refused presses that change nothing, accepted batch
// starts that set the command code, adaptive value and password, the file dialogs, and the
// window's own queued signals.
#include <functional>
#include <thread>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "device/CSearchDeviceThread.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

using guitest::button;
using guitest::expectOneBox;
using guitest::statusColumn;

namespace {

// File dialogs get strAnswer (empty = cancel); what each one showed is recorded.
class FileDialogAnswers
{
public:
    explicit FileDialogAnswers(guitest::ModalAnswerer& answerer)
    {
        answerer.handle<QFileDialog>([this](QFileDialog* pDialog) {
            lstCaptions << pDialog->windowTitle();
            lstFilters << pDialog->nameFilters().join(QStringLiteral(";;"));
            lstDirs << pDialog->directory().absolutePath();
            if (strAnswer.isEmpty()) {
                pDialog->reject();
            } else {
                pDialog->selectFile(strAnswer);
                static_cast<QDialog*>(pDialog)->accept();
            }
        });
    }

    void clear()
    {
        lstCaptions.clear();
        lstFilters.clear();
        lstDirs.clear();
    }

    QString strAnswer;
    QStringList lstCaptions;
    QStringList lstFilters;
    QStringList lstDirs;
};

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
    EmulatorProcess emulator;
};

void TestGuiCommands::initTestCase()
{
    QVERIFY(guitest::startEmulator(emulator, {"--count", "3", "--models", "IPC-A"}));
}

void TestGuiCommands::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiCommands::batchStartPreconditions()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::ModalAnswerer watcher;
    QCOMPARE(pWindow->commandCode(), -1);
    QCOMPARE(pWindow->adaptiveValue(), 0);
    QVERIFY(pWindow->isIdle());
    const QStringList lstStatus = statusColumn(*pWindow);

    // No row checked: every batch button says so and starts nothing.
    for (const char* szName : {"btnReset", "btnOpenDhcp", "btnCloseDhcp"}) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please select device first"), 2);
        QCOMPARE(pWindow->commandCode(), -1);
        QCOMPARE(pWindow->adaptiveValue(), 0);
        QCOMPARE(pWindow->batchPassword(), QString());
        QVERIFY(pWindow->isIdle());
    }
    // A partly checked row is not a checked one.
    guitest::checkRows(*pWindow, {0}, Qt::PartiallyChecked);
    watcher.clear();
    guitest::click(*pWindow, "btnReset");
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please select device first"), 2);
    QCOMPARE(pWindow->commandCode(), -1);

    // Nothing refused touched a device or wrote a row text.
    QCOMPARE(statusColumn(*pWindow), lstStatus);
    for (int i = 0; i < emulator.cameraCount(); ++i)
        QCOMPARE(guitest::cameraValue(emulator, i, "Logins"), 0);

    // A checked row: the start is accepted without a prompt, takes the password and the codes,
    // runs, and leaves the window idle with the arrow cursor when the worker is done.
    guitest::checkRows(*pWindow, {1});
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("first"));
    watcher.clear();
    guitest::click(*pWindow, "btnOpenDhcp");
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pWindow->commandCode(), 1);
    QCOMPARE(pWindow->adaptiveValue(), 1);
    QCOMPARE(pWindow->batchPassword(), QStringLiteral("first"));
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::overrideCursor(), nullptr, 5000);

    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("second"));
    guitest::click(*pWindow, "btnCloseDhcp");
    QCOMPARE(pWindow->commandCode(), 2);
    QCOMPARE(pWindow->adaptiveValue(), 0);
    QCOMPARE(pWindow->batchPassword(), QStringLiteral("second"));
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    pWindow->findChild<QPushButton*>(QStringLiteral("btnOpenDhcp"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    guitest::click(*pWindow, "btnReset");
    QCOMPARE(pWindow->commandCode(), 0);
    QCOMPARE(pWindow->adaptiveValue(), 1); // reset leaves the adaptive value alone
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::busyWindowRefusesEveryStart()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::checkRows(*pWindow, {0});
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("running"));
    guitest::ModalAnswerer watcher;
    guitest::click(*pWindow, "btnOpenDhcp");
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pWindow->commandCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);

    // As while a worker runs: another start leaves the running batch's code, value and password.
    pWindow->setIdle(false);
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("other"));
    for (const char* szName : {"btnReset", "btnCloseDhcp", "btnOpenDhcp"}) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Configuring, please try again later"), 2);
        QCOMPARE(pWindow->commandCode(), 1);
        QCOMPARE(pWindow->adaptiveValue(), 1);
        QCOMPARE(pWindow->batchPassword(), QStringLiteral("running"));
        QVERIFY(!pWindow->isIdle());
    }
    // Busy beats "nothing checked".
    guitest::checkRows(*pWindow, {0}, Qt::Unchecked);
    watcher.clear();
    guitest::click(*pWindow, "btnReset");
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Configuring, please try again later"), 2);

    // Search and Add would replace or extend the records the worker uses: both wait.
    const int nRows = pWindow->tableModel()->rowCount();
    const QString strFirstMac = pWindow->tableModel()->index(0, 4).data().toString();
    watcher.clear();
    guitest::click(*pWindow, "SearchButton");
    expectOneBox(watcher, QStringLiteral("Prompt"),
                 QStringLiteral("Devices are being configured, search again when the work has finished"), 2);
    QVERIFY(!pWindow->searchThread()->isRunning());
    QVERIFY(button(*pWindow, "SearchButton")->isEnabled());
    QCOMPARE(pWindow->tableModel()->rowCount(), nRows);
    QCOMPARE(pWindow->tableModel()->index(0, 4).data().toString(), strFirstMac);
    QVERIFY(pWindow->getDevInfo(0));

    watcher.clear();
    guitest::click(*pWindow, "addBtn");
    expectOneBox(watcher, QStringLiteral("Prompt"),
                 QStringLiteral("Devices are being configured, add the device when the work has finished"), 2);
    QCOMPARE(pWindow->tableModel()->rowCount(), nRows);

    // Once idle, Search works again and rebuilds the table.
    pWindow->setIdle(true);
    watcher.clear();
    QVERIFY(guitest::search(*pWindow, emulator.cameraCount()));
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::addressAndConfigurationPrompts()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::checkRows(*pWindow, {0});
    guitest::ModalAnswerer watcher;
    QPushButton* pModifyIP = button(*pWindow, "btnModifyIP");
    QPushButton* pModifyCfg = button(*pWindow, "btnModifyCfg");
    QVERIFY(!pModifyIP->isEnabled());
    QVERIFY(!pModifyCfg->isEnabled());

    // SetIP without an accepted plan leaves DoModify disabled, even when it was enabled.
    pModifyIP->setEnabled(true);
    guitest::click(*pWindow, "btnSetIP");
    QVERIFY(!pModifyIP->isEnabled());

    // DoModify without a plan: the prompt, and no batch even with a row checked.
    pModifyIP->setEnabled(true);
    watcher.clear();
    QTest::mouseClick(pModifyIP, Qt::LeftButton);
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please Set IP Config first"), 2);
    QCOMPARE(pWindow->commandCode(), -1);

    // DoModify of the configuration with no page ticked: an information box titled "Tips".
    pModifyCfg->setEnabled(true);
    watcher.clear();
    QTest::mouseClick(pModifyCfg, Qt::LeftButton);
    expectOneBox(watcher, QStringLiteral("Tips"), QStringLiteral("Please select device first"), 1);
    QCOMPARE(pWindow->commandCode(), -1);
    QVERIFY(pWindow->isIdle());
}

void TestGuiCommands::commandsThatNeedADevice()
{
    auto pWindow = guitest::newWindow();
    guitest::ModalAnswerer watcher;
    for (const char* szName : {"btnOtherCfg", "btnVolume", "btnMicro"}) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Tips"), QStringLiteral("Please add device first"), 1);
    }
    // Upgrade without a package.
    watcher.clear();
    guitest::click(*pWindow, "upgradeBtn");
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("Please Select a Program"), 2);

    // With devices in the table the first check passes: no prompt.
    QVERIFY(guitest::search(*pWindow, emulator.cameraCount()));
    watcher.clear();
    for (const char* szName : {"btnOtherCfg", "btnVolume", "btnMicro"})
        guitest::click(*pWindow, szName);
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::fileDialogs()
{
    auto pWindow = guitest::newWindow();
    guitest::ModalAnswerer watcher;
    FileDialogAnswers files(watcher);
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
    files.strAnswer.clear();
    guitest::click(*pWindow, "browseBtn");
    QCOMPARE(pFileName->text(), QString());
    files.strAnswer = strPackage;
    guitest::click(*pWindow, "browseBtn");
    QCOMPARE(pFileName->text(), strPackage);
    // Cancel keeps the previous choice; another choice replaces it.
    files.strAnswer.clear();
    guitest::click(*pWindow, "browseBtn");
    QCOMPARE(pFileName->text(), strPackage);
    files.strAnswer = strOther;
    guitest::click(*pWindow, "browseBtn");
    QCOMPARE(pFileName->text(), strOther);
    QCOMPARE(files.lstCaptions.size(), 4);
    QCOMPARE(files.lstCaptions[0], QStringLiteral("Choose a file to open"));
    QCOMPARE(files.lstFilters[0], QStringLiteral("Upgrade File(*.bin);;Files(*.*)"));
    if (QDir(QStringLiteral("/home")).exists())
        QCOMPARE(files.lstDirs[0], QStringLiteral("/home"));

    // The configuration-file row is hidden, but its button works the same way on its own field.
    QVERIFY(!button(*pWindow, "browseCfgBtn")->isVisible());
    watcher.clear();
    files.clear();
    files.strAnswer = strConfig;
    button(*pWindow, "browseCfgBtn")->click();
    QCOMPARE(pCfg->text(), strConfig);
    files.strAnswer.clear();
    button(*pWindow, "browseCfgBtn")->click();
    QCOMPARE(pCfg->text(), strConfig);
    QCOMPARE(pFileName->text(), strOther);
    QCOMPARE(files.lstCaptions,
             QStringList({QStringLiteral("Choose a file to open"), QStringLiteral("Choose a file to open")}));
    QCOMPARE(files.lstFilters[0], QStringLiteral("Config File(*.cfg)"));
    QCOMPARE(watcher.lstBoxes.size(), 0);

    // With a package chosen, Upgrade no longer asks for one: it goes on to unpack it (this one is
    // not an archive).
    guitest::click(*pWindow, "upgradeBtn");
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("UnZip Program Fail"), 2);

    // The package path can also come from elsewhere through on_getLogoBinFile.
    QVERIFY(QMetaObject::invokeMethod(pWindow.get(), "on_getLogoBinFile", Q_ARG(QString, strPackage)));
    QCOMPARE(pFileName->text(), strPackage);
}

void TestGuiCommands::workerSignalsArriveQueued()
{
    auto pWindow = guitest::newWindow();
    guitest::ModalAnswerer watcher;
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
