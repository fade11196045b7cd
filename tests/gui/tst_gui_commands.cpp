// The main window's command buttons up to the point where their work begins: the precondition
// prompts, refused presses that change nothing, accepted batch starts that set the command code,
// adaptive value and password, the file dialogs, and the signals the window receives from workers.
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

class TestGuiCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void batchStartsAndRefusals();
    void windowWithoutDevices();

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

void TestGuiCommands::batchStartsAndRefusals()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::ModalAnswerer watcher;
    auto* pPassword = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"));
    const QStringList lstStatus = guitest::statusColumn(*pWindow);
    auto expectRefused = [&](const char* szName, const QString& strText, int nCode, int nAdaptive,
                             const QString& strPassword) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Prompt"), strText, 2);
        QCOMPARE(pWindow->commandCode(), nCode);
        QCOMPARE(pWindow->adaptiveValue(), nAdaptive);
        QCOMPARE(pWindow->batchPassword(), strPassword);
    };

    // No row checked, and a partly checked row is not a checked one: nothing starts.
    guitest::checkRows(*pWindow, {0}, Qt::PartiallyChecked);
    for (const char* szName : {"btnReset", "btnOpenDhcp", "btnCloseDhcp"}) {
        expectRefused(szName, QStringLiteral("Please select device first"), -1, 0, QString());
        QVERIFY(pWindow->isIdle());
    }
    // Nothing refused touched a device or wrote a row text.
    QCOMPARE(guitest::statusColumn(*pWindow), lstStatus);
    for (int i = 0; i < emulator.cameraCount(); ++i)
        QCOMPARE(guitest::cameraValue(emulator, i, "Logins"), 0);

    // SetIP without an accepted plan (the answerer rejects its dialog) leaves DoModify disabled,
    // even when it was enabled; DoModify without a plan prompts and starts nothing, a row checked.
    guitest::checkRows(*pWindow, {1});
    QPushButton* pModifyIP = button(*pWindow, "btnModifyIP");
    pModifyIP->setEnabled(true);
    guitest::click(*pWindow, "btnSetIP");
    QVERIFY(!pModifyIP->isEnabled());
    pModifyIP->setEnabled(true);
    expectRefused("btnModifyIP", QStringLiteral("Please Set IP Config first"), -1, 0, QString());
    QVERIFY(pWindow->isIdle());

    // A checked row: each start is accepted without a prompt, takes its code, adaptive value (reset
    // leaves it alone) and the password of the moment, and ends idle with the arrow cursor.
    struct Start
    {
        const char* szName;
        int nCode;
        int nAdaptive;
    };
    for (const Start& start : {Start{"btnOpenDhcp", 1, 1}, Start{"btnCloseDhcp", 2, 0}, Start{"btnOpenDhcp", 1, 1},
                               Start{"btnReset", 0, 1}}) {
        const QString strPassword = QString::fromLatin1(start.szName);
        pPassword->setText(strPassword);
        watcher.clear();
        guitest::click(*pWindow, start.szName);
        QCOMPARE(watcher.lstBoxes.size(), 0);
        QCOMPARE(pWindow->commandCode(), start.nCode);
        QCOMPARE(pWindow->adaptiveValue(), start.nAdaptive);
        QCOMPARE(pWindow->batchPassword(), strPassword);
        QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::overrideCursor(), nullptr, 5000);
    }

    // As while a worker runs: no start replaces the running batch's code, value and password, busy
    // beats "nothing checked", and Search and Add, which would replace or extend the records the
    // worker uses, wait too, as does the configuration dialog, which logs a row's device in and out.
    pWindow->setIdle(false);
    pPassword->setText(QStringLiteral("other"));
    guitest::checkRows(*pWindow, {1}, Qt::Unchecked);
    const int nRows = pWindow->tableModel()->rowCount();
    const QString strBusy = QStringLiteral("Configuring, please try again later");
    const QPair<const char*, QString> lstBusy[] = {
        {"btnCloseDhcp", strBusy},
        {"btnOpenDhcp", strBusy},
        {"btnReset", strBusy},
        {"btnOtherCfg", strBusy},
        {"SearchButton", QStringLiteral("Devices are being configured, search again when the work has finished")},
        {"addBtn", QStringLiteral("Devices are being configured, add the device when the work has finished")}};
    for (const auto& busy : lstBusy)
        expectRefused(busy.first, busy.second, 0, 1, QStringLiteral("btnReset"));
    QVERIFY(!pWindow->isIdle());
    QVERIFY(!pWindow->searchThread()->isRunning());
    QVERIFY(button(*pWindow, "SearchButton")->isEnabled());
    QCOMPARE(pWindow->tableModel()->rowCount(), nRows);

    // Once idle, Search works again and rebuilds the table.
    pWindow->setIdle(true);
    watcher.clear();
    QVERIFY(guitest::search(*pWindow, emulator.cameraCount()));
    QCOMPARE(watcher.lstBoxes.size(), 0);
}

void TestGuiCommands::windowWithoutDevices()
{
    auto pWindow = guitest::newWindow();
    guitest::ModalAnswerer watcher;
    for (const char* szName : {"btnOtherCfg", "btnVolume", "btnMicro"}) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Tips"), QStringLiteral("Please add device first"), 1);
    }
    watcher.clear();

    // File dialogs get strAnswer (empty = cancel).
    QString strAnswer;
    watcher.handle<QFileDialog>([&](QFileDialog* pDialog) {
        if (strAnswer.isEmpty()) {
            pDialog->reject();
        } else {
            pDialog->selectFile(strAnswer);
            static_cast<QDialog*>(pDialog)->accept();
        }
    });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strPackage = dir.filePath(QStringLiteral("firmware.bin"));
    const QString strConfig = dir.filePath(QStringLiteral("camera.cfg"));
    for (const QString& strPath : {strPackage, strConfig}) {
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    auto* pFileName = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"));
    auto* pCfg = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditCfg"));

    // Each browse button: cancel leaves its field as it was, a choice fills that field only.
    struct Browse
    {
        const char* szButton;
        QLineEdit* pField;
        QLineEdit* pOther;
        QString strChoice;
    };
    for (const Browse& browse :
         {Browse{"browseBtn", pFileName, pCfg, strPackage}, Browse{"browseCfgBtn", pCfg, pFileName, strConfig}}) {
        const QString strOther = browse.pOther->text();
        strAnswer.clear();
        button(*pWindow, browse.szButton)->click(); // the configuration row is hidden: no mouse click
        QCOMPARE(browse.pField->text(), QString());
        strAnswer = browse.strChoice;
        button(*pWindow, browse.szButton)->click();
        QCOMPARE(browse.pField->text(), browse.strChoice);
        strAnswer.clear();
        button(*pWindow, browse.szButton)->click();
        QCOMPARE(browse.pField->text(), browse.strChoice);
        QCOMPARE(browse.pOther->text(), strOther);
    }
    QCOMPARE(watcher.lstBoxes.size(), 0);

    // A message arrives later as a warning box, even emitted on this thread: the emitter must not
    // sit in a modal loop.
    CVantrel* pRaw = pWindow.get();
    emit pRaw->showMessageSignal(QStringLiteral("OpenTalkFiled"));
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QTRY_COMPARE(watcher.lstBoxes.size(), 1);
    expectOneBox(watcher, QStringLiteral("Prompt"), QStringLiteral("OpenTalkFiled"), 2);

    // Button states from a worker thread: type 0 the volume test, type 1 the microphone, others
    // nothing.
    struct Step
    {
        int nType;
        int nState;
        bool bVolumeEnabled;
        const char* szMicro;
    };
    QPushButton* pVolume = button(*pWindow, "btnVolume");
    QPushButton* pMicro = button(*pWindow, "btnMicro");
    for (const Step& step :
         {Step{1, 1, true, "StopMicro"}, Step{0, 1, false, "StopMicro"}, Step{2, 0, false, "StopMicro"},
          Step{0, 0, true, "StopMicro"}, Step{1, 0, true, "StartMicro"}}) {
        std::thread worker([&] { emit pRaw->updateBtnState(step.nType, step.nState); });
        worker.join();
        QCoreApplication::processEvents();
        QCOMPARE(pVolume->isEnabled(), step.bVolumeEnabled);
        QCOMPARE(pMicro->text(), QString::fromLatin1(step.szMicro));
    }
}

QTEST_MAIN(TestGuiCommands)
#include "tst_gui_commands.moc"
