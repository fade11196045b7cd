// The firmware upgrade through the real window against the emulator: the checks before a run, a
// run over cameras of the package's hardware and of another one, cameras that die or refuse, and
// that a run leaves no thread or socket behind.

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

/// True when the row's texts are those of an upgrade that went through: an optional login, the
/// start, the transfer rising to 100, the device's own progress, the success last.
bool isCompleteUpgrade(const QStringList& lstTexts, bool bLogin, QString* pWhy)
{
    int i = 0;
    const auto fail = [&](const QString& strWhy) {
        *pWhy = strWhy + QStringLiteral(" in: ") + lstTexts.join(QStringLiteral(" | "));
        return false;
    };
    if (bLogin && lstTexts.value(i++) != QLatin1String("Login Success"))
        return fail(QStringLiteral("no login text first"));
    if (lstTexts.value(i++) != QLatin1String("Start Upgrade"))
        return fail(QStringLiteral("no start text"));
    int nLast = -1;
    while (lstTexts.value(i).startsWith(QLatin1String("Send Progress: "))) {
        const int nPercent = lstTexts.value(i++).mid(15).toInt();
        if (nPercent < nLast)
            return fail(QStringLiteral("transfer progress went back"));
        nLast = nPercent;
    }
    if (nLast != 100)
        return fail(QStringLiteral("transfer did not reach 100"));
    int nWrite = 0;
    while (lstTexts.value(i).startsWith(QLatin1String("Upgrade Progress: ")))
        ++i, ++nWrite;
    if (nWrite == 0)
        return fail(QStringLiteral("no device progress"));
    for (; i < lstTexts.size(); ++i)
        if (lstTexts[i] != QLatin1String("Upgrade Success"))
            return fail(QStringLiteral("unexpected text after the device progress"));
    if (lstTexts.last() != QLatin1String("Upgrade Success"))
        return fail(QStringLiteral("not ending in success"));
    return true;
}

} // namespace

class TestGuiUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void promptsBeforeTheRun();
    void upgradesTheMatchingCameras();
    void deadAndRefusingCamerasEndTheirRows();
    void devicesMoveBeforeTheirUpgrade();
    void closingTheWindowEndsTheRun();

private:
    QString makePackage(const QString& strName, const std::string& strHardware, bool bDescription = true);
    QString makeZip(const QString& strName, const std::vector<upgradepackage::ZipEntry>& lstEntries);
    /// Sets the package, presses Upgrade and waits for the run's last thread to end.
    bool runUpgrade(CVantrel& window, const QString& strPackage);
    /// No thread of the run is alive, and the process is back to its threads and sockets of before.
    void verifyNothingLeft(CVantrel& window, int nThreadsBefore, int nSocketsBefore);

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

QString TestGuiUpgrade::makeZip(const QString& strName, const std::vector<upgradepackage::ZipEntry>& lstEntries)
{
    const QString strPath = dirFiles.filePath(strName);
    return upgradepackage::writeFile(strPath.toStdString(), upgradepackage::makeZip(lstEntries, false)) ? strPath
                                                                                                         : QString();
}

bool TestGuiUpgrade::runUpgrade(CVantrel& window, const QString& strPackage)
{
    window.findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->setText(strPackage);
    QSignalSpy spyFinished(&window, &CVantrel::upgradeFinished);
    guitest::click(window, "upgradeBtn");
    if (window.upgradeThreadCount() == 0 && spyFinished.isEmpty())
        return false; // refused: no run started
    return spyFinished.count() > 0 || spyFinished.wait(kRunDeadlineMs);
}

void TestGuiUpgrade::verifyNothingLeft(CVantrel& window, int nThreadsBefore, int nSocketsBefore)
{
    QCOMPARE(window.upgradeThreadCount(), 0);
    QVERIFY(!window.isUpgrading());
    // The library's threads that reported the ends return from their last callback right after it.
    QTRY_COMPARE_WITH_TIMEOUT(processThreads(), nThreadsBefore, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(openSockets(), nSocketsBefore, 5000);
}

void TestGuiUpgrade::promptsBeforeTheRun()
{
    // The cameras' progress port is elsewhere: the receive connection is refused.
    QVERIFY(guitest::startEmulator(emulator, {QStringLiteral("--count"), QStringLiteral("2"),
                                              QStringLiteral("--models"), QStringLiteral("IPC-B"),
                                              QStringLiteral("--upgrade-port"), QStringLiteral("34561"),
                                              QStringLiteral("--upgrade-ms"), QStringLiteral("600")}));
    auto pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    auto* pFile = pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"));

    // Nothing chosen.
    pFile->clear();
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Please Select a Program")});

    // A file that is not an archive.
    answerer.clear();
    const QString strText = dirFiles.filePath(QStringLiteral("notes.bin"));
    {
        QFile file(strText);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not a zip archive\n");
    }
    pFile->setText(strText);
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|UnZip Program Fail")});

    // An archive without an install description: its files stay in the scratch folder.
    answerer.clear();
    pFile->setText(makePackage(QStringLiteral("nodesc.zip"), "VTH-3MDOME-B", false));
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Open InstallDesc Fail")});
    QVERIFY(QFile::exists(scratchFolder() + QStringLiteral("/firmware.bin")));

    // Entries that would land outside the scratch folder are never written; the rest is read.
    answerer.clear();
    const QString strOutside = dirFiles.filePath(QStringLiteral("escaped.txt"));
    const QString strClimb = QDir(scratchFolder()).relativeFilePath(strOutside);
    QVERIFY(strClimb.startsWith(QLatin1String("../")));
    const std::string strDesc = upgradepackage::installDescription({"VTH-3MDOME-B", kNewVersion, 0, 1, false, true});
    const QString strEvil =
        makeZip(QStringLiteral("evil.zip"),
                {{strClimb.toStdString(), {'x'}},
                 {strOutside.toStdString(), {'y'}},
                 {"InstallDesc", std::vector<std::uint8_t>(strDesc.begin(), strDesc.end())}});
    pFile->setText(strEvil);
    // No row checked: the scratch folder is removed before the prompt.
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Please Select a Device")});
    QVERIFY(!QFile::exists(strOutside));
    QVERIFY(!QFileInfo::exists(scratchFolder()));
    QCOMPARE(pWindow->upgradeThreadCount(), 0);
    for (int nCamera = 0; nCamera < 2; ++nCamera)
        QCOMPARE(guitest::cameraValue(emulator, nCamera, "Logins"), 0);

    // A batch in progress keeps the upgrade from starting.
    answerer.clear();
    guitest::checkRows(*pWindow, {0});
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 400}}));
    guitest::click(*pWindow, "btnOpenDhcp");
    QVERIFY(!pWindow->isIdle());
    pFile->setText(makePackage(QStringLiteral("good.zip"), "VTH-3MDOME-B"));
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Configuring, please try again later")});
    QCOMPARE(pWindow->upgradeThreadCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 20000);

    // Without its own progress connection the row still follows the library to the end.
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 0}}));
    guitest::StatusLog log(pWindow->tableModel());
    QVERIFY(runUpgrade(*pWindow, pFile->text()));
    const QStringList lstTexts = log.forRow(0);
    QVERIFY2(lstTexts.contains(QStringLiteral("connect Failed: 111")), qPrintable(lstTexts.join(QLatin1Char('|'))));
    QCOMPARE(lstTexts.last(), QStringLiteral("Upgrade Success"));
    QCOMPARE(answerer.lstSeen.size(), 1);
}

void TestGuiUpgrade::upgradesTheMatchingCameras()
{
    // Two cameras of one hardware and one of another, each on its own address.
    QVERIFY(guitest::startEmulator(emulator, {QStringLiteral("--count"), QStringLiteral("3"),
                                              QStringLiteral("--models"), QStringLiteral("IPC-B,IPC-C,IPC-B"),
                                              QStringLiteral("--upgrade-ms"), QStringLiteral("600"),
                                              QStringLiteral("--reboot-ms"), QStringLiteral("300")}));
    auto pWindow = guitest::searchedWindow(3);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    const QString strOldVersion = emulator.camera(0).value(QStringLiteral("Version")).toString();
    const int nRow0 = guitest::rowOfCamera(*pWindow, emulator, 0);
    const int nRowOther = guitest::rowOfCamera(*pWindow, emulator, 1);
    const int nRow2 = guitest::rowOfCamera(*pWindow, emulator, 2);
    QVERIFY(nRow0 >= 0 && nRowOther >= 0 && nRow2 >= 0);

    // Camera 0's row is logged in already: the upgrade uses that login.
    pWindow->on_tableView_doubleClicked(pWindow->tableModel()->index(nRow0, 1));
    QTRY_COMPARE(guitest::cell(*pWindow, nRow0, guitest::kStatusColumn), QStringLiteral("Login Success"));
    QCOMPARE(guitest::cameraValue(emulator, 0, "Logins"), 1);

    const int nThreadsBefore = processThreads();
    const int nSocketsBefore = openSockets() - 1; // the row's login goes with the upgrade
    guitest::StatusLog log(pWindow->tableModel());
    guitest::checkRows(*pWindow, {0, 1, 2});
    QVERIFY(runUpgrade(*pWindow, makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B")));
    QVERIFY2(answerer.lstSeen.isEmpty(), qPrintable(answerer.lstSeen.join(QLatin1Char(';'))));
    QVERIFY(!QFileInfo::exists(scratchFolder()));

    QString strWhy;
    QVERIFY2(isCompleteUpgrade(log.forRow(nRow0), false, &strWhy), qPrintable(strWhy));
    QVERIFY2(isCompleteUpgrade(log.forRow(nRow2), true, &strWhy), qPrintable(strWhy));
    QCOMPARE(log.forRow(nRowOther), (QStringList{QStringLiteral("Login Success"), QStringLiteral("Invalid hardware")}));
    for (int nRow : {nRow0, nRowOther, nRow2})
        QCOMPARE(pWindow->getDevInfo(nRow)->lLoginID, 0l);
    verifyNothingLeft(*pWindow, nThreadsBefore, nSocketsBefore);

    // After the reboots a new search shows the new firmware on the two, the old one elsewhere.
    QTRY_VERIFY_WITH_TIMEOUT(emulator.camera(0).value(QStringLiteral("Rebooting")).toBool() == false &&
                                 emulator.camera(2).value(QStringLiteral("Rebooting")).toBool() == false,
                             10000);
    QVERIFY(guitest::search(*pWindow, 3));
    QCOMPARE(guitest::cell(*pWindow, guitest::rowOfCamera(*pWindow, emulator, 0), 6), QString::fromLatin1(kNewVersion));
    QCOMPARE(guitest::cell(*pWindow, guitest::rowOfCamera(*pWindow, emulator, 2), 6), QString::fromLatin1(kNewVersion));
    QCOMPARE(guitest::cell(*pWindow, guitest::rowOfCamera(*pWindow, emulator, 1), 6),
             emulator.camera(1).value(QStringLiteral("Version")).toString());
    QVERIFY(emulator.camera(1).value(QStringLiteral("Version")).toString() != QLatin1String(kNewVersion));
    QCOMPARE(guitest::cameraValue(emulator, 1, "Upgrades"), 0);
    QVERIFY(strOldVersion != QLatin1String(kNewVersion));
}

void TestGuiUpgrade::deadAndRefusingCamerasEndTheirRows()
{
    QVERIFY(guitest::startEmulator(emulator, {QStringLiteral("--count"), QStringLiteral("3"),
                                              QStringLiteral("--models"), QStringLiteral("IPC-B"),
                                              QStringLiteral("--upgrade-ms"), QStringLiteral("1500"),
                                              QStringLiteral("--reboot-ms"), QStringLiteral("300")}));
    auto pWindow = guitest::searchedWindow(3);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("DieMidWrite"), true}}));
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("RefuseUpgrade"), true}}));
    const QString strOldVersion = emulator.camera(0).value(QStringLiteral("Version")).toString();
    const int nRowDead = guitest::rowOfCamera(*pWindow, emulator, 0);
    const int nRowRefusing = guitest::rowOfCamera(*pWindow, emulator, 1);
    const int nRowGood = guitest::rowOfCamera(*pWindow, emulator, 2);

    const int nThreadsBefore = processThreads();
    const int nSocketsBefore = openSockets();
    guitest::StatusLog log(pWindow->tableModel());
    guitest::checkRows(*pWindow, {0, 1, 2});
    QVERIFY(runUpgrade(*pWindow, makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B")));

    const QStringList lstDead = log.forRow(nRowDead);
    // It died while writing: after its own progress.
    QVERIFY2(!lstDead.filter(QStringLiteral("Upgrade Progress: ")).isEmpty(), qPrintable(lstDead.join(QLatin1Char('|'))));
    QCOMPARE(lstDead.last(), QStringLiteral("Upgrade Fail"));
    QCOMPARE(log.forRow(nRowRefusing),
             (QStringList{QStringLiteral("Login Success"), QStringLiteral("Upgrade Failed,-11804")}));
    QString strWhy;
    QVERIFY2(isCompleteUpgrade(log.forRow(nRowGood), true, &strWhy), qPrintable(strWhy));
    QCOMPARE(pWindow->getDevInfo(nRowDead)->lLoginID, 0l);
    QCOMPARE(pWindow->getDevInfo(nRowGood)->lLoginID, 0l);
    verifyNothingLeft(*pWindow, nThreadsBefore, nSocketsBefore);

    // The dead camera comes back with its old firmware.
    QTRY_VERIFY_WITH_TIMEOUT(emulator.camera(0).value(QStringLiteral("Listening")).toBool(), 10000);
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Version")).toString(), strOldVersion);
    QCOMPARE(guitest::cameraValue(emulator, 0, "Upgrades"), 0);
    QCOMPARE(guitest::cameraValue(emulator, 2, "Upgrades"), 1);
}

void TestGuiUpgrade::devicesMoveBeforeTheirUpgrade()
{
    QVERIFY(guitest::startEmulator(emulator,
                                   {QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--models"),
                                    QStringLiteral("IPC-B"), QStringLiteral("--upgrade-ms"), QStringLiteral("600")},
                                   {{QStringLiteral("UpgradeInfo/ModifyIP"), QStringLiteral("1")}}));
    auto pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    // The first row's camera wants a reboot for address changes: it is skipped with that text.
    const int nStuck = guitest::cameraOfRow(*pWindow, emulator, 0);
    const int nMoved = guitest::cameraOfRow(*pWindow, emulator, 1);
    QVERIFY(emulator.setFault(nStuck, QJsonObject{{QStringLiteral("RebootNeeded"), true}}));
    const QString strFixed = emulator.address(nMoved).section(QLatin1Char('.'), 0, 2) + QStringLiteral(".21");

    guitest::StatusLog log(pWindow->tableModel());
    guitest::checkRows(*pWindow, {0, 1});
    QVERIFY(runUpgrade(*pWindow, makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B")));

    QCOMPARE(log.forRow(0), QStringList{QStringLiteral("Need Reboot")});
    QCOMPARE(guitest::cameraValue(emulator, nStuck, "Logins"), 0);
    // The other one is logged in, upgraded and followed on its new address.
    QCOMPARE(emulator.camera(nMoved).value(QStringLiteral("HostIP")).toString(), strFixed);
    QCOMPARE(guitest::cell(*pWindow, 1, 1), strFixed);
    QString strWhy;
    QVERIFY2(isCompleteUpgrade(log.forRow(1), true, &strWhy), qPrintable(strWhy));
    QVERIFY(!log.forRow(1).filter(QStringLiteral("connect Failed")).size());
    QCOMPARE(guitest::cameraValue(emulator, nMoved, "Upgrades"), 1);
}

void TestGuiUpgrade::closingTheWindowEndsTheRun()
{
    QVERIFY(guitest::startEmulator(emulator, {QStringLiteral("--count"), QStringLiteral("2"),
                                              QStringLiteral("--models"), QStringLiteral("IPC-B"),
                                              QStringLiteral("--upgrade-ms"), QStringLiteral("60000")}));
    auto pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    const int nThreadsBefore = processThreads();
    guitest::checkRows(*pWindow, {0, 1});
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))
        ->setText(makePackage(QStringLiteral("ipcb.zip"), "VTH-3MDOME-B"));
    guitest::click(*pWindow, "upgradeBtn");
    // Both cameras are writing firmware (the second was started right after the first).
    QTRY_VERIFY_WITH_TIMEOUT(guitest::cell(*pWindow, 0, guitest::kStatusColumn).startsWith(QLatin1String("Upgrade Progress:")) &&
                                 guitest::cell(*pWindow, 1, guitest::kStatusColumn).startsWith(QLatin1String("Upgrade Progress:")),
                             20000);
    QVERIFY(pWindow->isUpgrading());
    // Search waits for the run like for a batch.
    guitest::click(*pWindow, "SearchButton");
    QTRY_COMPARE(answerer.lstSeen.size(), 1);
    QVERIFY(answerer.lstSeen[0].startsWith(QLatin1String("Prompt|")));

    // Closing the window closes the upgrades and ends every thread of the run.
    pWindow.reset();
    QTRY_COMPARE_WITH_TIMEOUT(processThreads(), nThreadsBefore, 5000);
    QCOMPARE(guitest::cameraValue(emulator, 0, "Upgrades"), 0);
}

QTEST_MAIN(TestGuiUpgrade)
#include "tst_gui_upgrade.moc"
