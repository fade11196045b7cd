// The main window's command buttons up to the point where their work begins: the precondition
// prompts, refused presses that change nothing (also while a worker runs), the file dialogs, and
// the signals the window receives from workers. What the batches do is tst_gui_batch's.
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
    void refusalsChangeNothing();
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

void TestGuiCommands::refusalsChangeNothing()
{
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::ModalAnswerer watcher;
    const QStringList lstStatus = guitest::statusColumn(*pWindow);
    auto expectRefused = [&](const char* szName, const QString& strText) {
        watcher.clear();
        guitest::click(*pWindow, szName);
        expectOneBox(watcher, QStringLiteral("Prompt"), strText, 2);
    };

    // No row checked, and a partly checked row is not a checked one: nothing starts.
    guitest::checkRows(*pWindow, {0}, Qt::PartiallyChecked);
    for (const char* szName : {"btnReset", "btnOpenDhcp", "btnCloseDhcp"})
        expectRefused(szName, QStringLiteral("Please select device first"));
    // SetIP without an accepted plan (the answerer rejects its dialog) leaves DoModify disabled;
    // DoModify without a plan prompts.
    guitest::checkRows(*pWindow, {1});
    QPushButton* pModifyIP = button(*pWindow, "btnModifyIP");
    pModifyIP->setEnabled(true);
    guitest::click(*pWindow, "btnSetIP");
    QVERIFY(!pModifyIP->isEnabled());
    pModifyIP->setEnabled(true);
    expectRefused("btnModifyIP", QStringLiteral("Please Set IP Config first"));
    QVERIFY(pWindow->isIdle());

    // As while a worker runs: no start, busy beats "nothing checked", and Search and Add, which
    // would replace or extend the records the worker uses, wait too, as does the configuration
    // dialog, which logs a row's device in and out.
    pWindow->setIdle(false);
    guitest::checkRows(*pWindow, {1}, Qt::Unchecked);
    const QString strBusy = QStringLiteral("Configuring, please try again later");
    for (const char* szName : {"btnCloseDhcp", "btnOpenDhcp", "btnReset", "btnOtherCfg"})
        expectRefused(szName, strBusy);
    expectRefused("SearchButton", "Devices are being configured, search again when the work has finished");
    expectRefused("addBtn", "Devices are being configured, add the device when the work has finished");
    QCOMPARE(pWindow->commandCode(), -1);
    QVERIFY(!pWindow->searchThread()->isRunning());
    // Nothing refused touched a device or wrote a row text.
    QCOMPARE(guitest::statusColumn(*pWindow), lstStatus);
    for (int i = 0; i < emulator.cameraCount(); ++i)
        QCOMPARE(guitest::cameraValue(emulator, i, "Logins"), 0);

    // Once idle, a start takes the password of the moment and Search works again.
    pWindow->setIdle(true);
    guitest::checkRows(*pWindow, {1});
    pWindow->findChild<QLineEdit*>("lineEditPassword")->setText("typed");
    watcher.clear();
    QVERIFY(guitest::runBatch(*pWindow, "btnReset"));
    QCOMPARE(pWindow->batchPassword(), QStringLiteral("typed"));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::overrideCursor(), nullptr, 5000);
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

    // Each browse button: cancel leaves its field as it was, a choice fills that field only.
    QString strAnswer;
    watcher.handle<QFileDialog>([&](QFileDialog* pDialog) {
        if (strAnswer.isEmpty()) {
            pDialog->reject();
            return;
        }
        pDialog->selectFile(strAnswer);
        static_cast<QDialog*>(pDialog)->accept();
    });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto* pFileName = pWindow->findChild<QLineEdit*>("lineEditFileName");
    auto* pCfg = pWindow->findChild<QLineEdit*>("lineEditCfg");
    for (const auto& [szButton, pField, pOther, strName] : {std::tuple{"browseBtn", pFileName, pCfg, "firmware.bin"},
                                                            std::tuple{"browseCfgBtn", pCfg, pFileName, "a.cfg"}}) {
        const QString strChoice = dir.filePath(QLatin1String(strName));
        QFile file(strChoice);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QString strOther = pOther->text();
        for (const auto& [strGiven, strShown] :
             {std::pair{QString(), QString()}, std::pair{strChoice, strChoice}, std::pair{QString(), strChoice}}) {
            strAnswer = strGiven;
            button(*pWindow, szButton)->click(); // the configuration row is hidden: no mouse click
            QCOMPARE(pField->text(), strShown);
        }
        QCOMPARE(pOther->text(), strOther);
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
    QPushButton* pVolume = button(*pWindow, "btnVolume");
    QPushButton* pMicro = button(*pWindow, "btnMicro");
    const struct
    {
        int nType;
        int nState;
        bool bVolumeEnabled;
        const char* szMicro;
    } steps[] = {{1, 1, true, "StopMicro"},
                 {0, 1, false, "StopMicro"},
                 {2, 0, false, "StopMicro"},
                 {0, 0, true, "StopMicro"},
                 {1, 0, true, "StartMicro"}};
    for (const auto& step : steps) {
        std::thread worker([&] { emit pRaw->updateBtnState(step.nType, step.nState); });
        worker.join();
        QCoreApplication::processEvents();
        QCOMPARE(pVolume->isEnabled(), step.bVolumeEnabled);
        QCOMPARE(pMicro->text(), QString::fromLatin1(step.szMicro));
    }
}

QTEST_MAIN(TestGuiCommands)
#include "tst_gui_commands.moc"
