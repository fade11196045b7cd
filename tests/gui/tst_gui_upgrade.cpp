// The firmware upgrade wired through the real window to the emulator: the checks of a press, a
// run that Search waits for and that leaves no thread or socket behind, and closing the window in
// the middle of a run. What the run does device by device is tested without a window
// (tst_upgradeworker).

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "upgradepackage.h"

namespace {

constexpr int kRunDeadlineMs = 60000;
const char kNewVersion[] = "V9.99.R01.UPGRADED";

int openSockets()
{
    int nSockets = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& strFd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(fds.filePath(strFd)).contains(QLatin1String("socket:")))
            ++nSockets;
    return nSockets;
}

int processThreads()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QString scratchFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Temp");
}

} // namespace

class TestGuiUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pressChecksThePackageAndRunsTheUpgrade();
    void closingTheWindowEndsTheRun();

private:
    QString makePackage(const QString& strName, const std::string& strHardware, bool bDescription = true);

    QTemporaryDir dirFiles;
    EmulatorProcess emulator;
};

void TestGuiUpgrade::init()
{
    QVERIFY(dirFiles.isValid());
    QDir(scratchFolder()).removeRecursively();
}

void TestGuiUpgrade::cleanup()
{
    QVERIFY(guitest::stopEmulator(emulator));
    QDir(scratchFolder()).removeRecursively();
}

QString TestGuiUpgrade::makePackage(const QString& strName, const std::string& strHardware, bool bDescription)
{
    upgradepackage::PackageSpec contents;
    contents.hardware = strHardware;
    contents.version = kNewVersion;
    contents.firmwareSize = 256 * 1024; // four transfer steps of 64 KiB
    contents.withDescription = bDescription;
    const QString strPath = dirFiles.filePath(strName);
    return upgradepackage::writeFile(strPath.toStdString(), upgradepackage::makePackage(contents)) ? strPath
                                                                                                   : QString();
}

void TestGuiUpgrade::pressChecksThePackageAndRunsTheUpgrade()
{
    QVERIFY(guitest::startEmulator(emulator,
                                   {QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--models"),
                                    QStringLiteral("IPC-B"), QStringLiteral("--upgrade-ms"), QStringLiteral("600"),
                                    QStringLiteral("--reboot-ms"), QStringLiteral("300")}));
    auto pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    auto* pFile = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"));
    const QString strText = dirFiles.filePath(QStringLiteral("notes.bin"));
    {
        QFile file(strText);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not a zip archive\n");
    }
    // The prompts of a press: no package, a file that is no archive, an archive without an install
    // description, no row checked. The package is only read: nothing is unpacked anywhere.
    const QPair<QString, const char*> lstPresses[] = {
        {QString(), "Please Select a Program"},
        {strText, "UnZip Program Fail"},
        {makePackage(QStringLiteral("nodesc.zip"), "VTH-3MDOME-B", false), "Open InstallDesc Fail"},
        {makePackage(QStringLiteral("good.zip"), "VTH-3MDOME-B"), "Please Select a Device"}};
    for (const auto& press : lstPresses) {
        answerer.clear();
        pFile->setText(press.first);
        guitest::click(*pWindow, "upgradeBtn");
        QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|") + QLatin1String(press.second)});
        QVERIFY(!QFileInfo::exists(scratchFolder()));
    }
    QCOMPARE(pWindow->upgradeThreadCount(), 0);

    // A batch in progress keeps the upgrade from starting.
    answerer.clear();
    guitest::checkRows(*pWindow, {0, 1});
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 400}}));
    guitest::click(*pWindow, "btnOpenDhcp");
    QVERIFY(!pWindow->isIdle());
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QCOMPARE(pWindow->upgradeThreadCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 0}}));

    // The run: both rows end in success, and nothing of the run is left. (At most as many threads
    // as before: one that was still ending when they were counted may be gone since.)
    const int nThreadsBefore = processThreads();
    const int nSocketsBefore = openSockets();
    guitest::StatusLog log(pWindow->tableModel());
    answerer.clear();
    pFile->setText(lstPresses[3].first);
    QSignalSpy spyFinished(pWindow.get(), &CVantrel::upgradeFinished);
    guitest::click(*pWindow, "upgradeBtn");
    QVERIFY(spyFinished.wait(kRunDeadlineMs));
    QCOMPARE(answerer.lstSeen, QStringList());
    for (int nRow : {0, 1}) {
        QCOMPARE(log.forRow(nRow).value(0), QStringLiteral("Login Success"));
        QCOMPARE(log.forRow(nRow).last(), QStringLiteral("Upgrade Success"));
        QCOMPARE(pWindow->getDevInfo(nRow)->lLoginID, 0l);
    }
    QCOMPARE(pWindow->upgradeThreadCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(processThreads() <= nThreadsBefore, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(openSockets() <= nSocketsBefore, 5000);
}

void TestGuiUpgrade::closingTheWindowEndsTheRun()
{
    QVERIFY(guitest::startEmulator(emulator,
                                   {QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--models"),
                                    QStringLiteral("IPC-B"), QStringLiteral("--upgrade-ms"), QStringLiteral("60000")}));
    auto pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    const int nThreadsBefore = processThreads();
    guitest::checkRows(*pWindow, {0, 1});
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))
        ->setText(makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B"));
    guitest::click(*pWindow, "upgradeBtn");
    // Both cameras are writing firmware (the second was started right after the first).
    QTRY_VERIFY_WITH_TIMEOUT(
        guitest::cell(*pWindow, 0, guitest::kStatusColumn).startsWith(QLatin1String("Upgrade Progress:")) &&
            guitest::cell(*pWindow, 1, guitest::kStatusColumn).startsWith(QLatin1String("Upgrade Progress:")),
        20000);
    QVERIFY(pWindow->isUpgrading());
    // Search waits for the run like for a batch.
    guitest::click(*pWindow, "SearchButton");
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral(
                                   "Prompt|Devices are being configured, search again when the work has finished")});

    // Closing the window closes the upgrades and ends every thread of the run (and the window's).
    pWindow.reset();
    QTRY_VERIFY_WITH_TIMEOUT(processThreads() <= nThreadsBefore, 5000);
    QCOMPARE(guitest::cameraValue(emulator, 0, "Upgrades"), 0);
}

QTEST_MAIN(TestGuiUpgrade)
#include "tst_gui_upgrade.moc"
