// bench_upgrade: a firmware upgrade of 32 emulated cameras through the real main window (offscreen
// unless a platform is chosen), as an installer does it: search until every camera is listed,
// check every row, put the package's path into the file field and press Upgrade. Measures:
//   - the aggregate transfer rate: package bytes sent to all cameras over the time from the press
//     until the last row shows "Send Progress: 100", against the loopback TCP ceiling measured in
//     the same run (one sender and one receiver thread over 127.0.0.1, the same 64 KiB chunks);
//   - the time until every row shows "Upgrade Success" and the run has ended (upgradeFinished),
//     and per row from "Send Progress: 100" to "Upgrade Success", against the emulator's write time;
//   - the longest stall of the user-interface event loop during the run (a 1 ms timer).
// Prints PASS/FAIL for the rate (at least half the ceiling) and the stall (at most 50 ms); exits 1
// only when the run itself fails: a row not ending with "Upgrade Success", no end of the run,
// threads left, or an emulator that does not stop cleanly.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "benchsupport.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"
#include "upgradepackage.h"

namespace {

using bench::Clock;
using bench::msBetween;

constexpr int kStatusColumn = 3;
constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr double kMegabyte = 1000.0 * 1000.0;
constexpr const char* kHardware = "VTH-3MDOME-B"; // the hardware id of model IPC-B

struct Options
{
    QString camsim;
    int count = 32;
    QString firstAddress = QStringLiteral("127.0.68.10");
    int fleetId = 193;
    qint64 packageBytes = 16 * 1024 * 1024;
    int upgradeMs = 2000;
    int rebootMs = 200;
    qint64 ceilingBytes = 512ll * 1024 * 1024;
    int timeoutS = 300;
    QString password;
};

/// What column 3 of one row showed during the run, stamped on the user-interface thread.
struct RowWatch
{
    bool bSending = false;
    bool bSent = false;
    bool bSuccess = false;
    Clock::time_point firstSend;
    Clock::time_point sent; ///< first "Send Progress: 100"
    Clock::time_point success;
    QString strLast;
};

/// CPU time used so far by the emulator and by this program (its window, library and threads).
struct CpuSample
{
    double dEmulatorMs = -1;
    double dProgramMs = -1;
};

CpuSample sampleCpu(qint64 nEmulatorPid)
{
    return {bench::cpuMs(nEmulatorPid), bench::cpuMs()};
}

struct Ceiling
{
    qint64 nBytes = 0;
    double dMs = -1;
    QString strError;
};

int closeQuietly(int nFd)
{
    return nFd >= 0 ? ::close(nFd) : 0;
}

/// A plain TCP pair over 127.0.0.1 pushing nTotal bytes in 64 KiB send calls from one thread to a
/// receiver thread reading 64 KiB at a time: what loopback itself can carry on this machine now.
Ceiling measureLoopbackCeiling(qint64 nTotal)
{
    Ceiling result;
    const int nListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t nLen = sizeof(addr);
    if (nListener < 0 || ::bind(nListener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(nListener, 1) != 0 || ::getsockname(nListener, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
        result.strError = QStringLiteral("loopback listener: errno %1").arg(errno);
        closeQuietly(nListener);
        return result;
    }
    const int nSender = ::socket(AF_INET, SOCK_STREAM, 0);
    if (nSender < 0 || ::connect(nSender, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        result.strError = QStringLiteral("loopback connect: errno %1").arg(errno);
        closeQuietly(nSender);
        closeQuietly(nListener);
        return result;
    }
    const int nReceiver = ::accept(nListener, nullptr, nullptr);
    closeQuietly(nListener);
    if (nReceiver < 0) {
        result.strError = QStringLiteral("loopback accept: errno %1").arg(errno);
        closeQuietly(nSender);
        return result;
    }

    std::atomic<qint64> nReceived{0};
    Clock::time_point lastByte;
    const Clock::time_point start = Clock::now();
    std::thread receiver([&] {
        std::vector<char> buffer(kChunkBytes);
        qint64 nGot = 0;
        while (nGot < nTotal) {
            const ssize_t n = ::recv(nReceiver, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            nGot += n;
        }
        lastByte = Clock::now();
        nReceived.store(nGot);
    });
    std::thread sender([&] {
        std::vector<char> chunk(kChunkBytes, '\x5a');
        qint64 nLeft = nTotal;
        while (nLeft > 0) {
            const std::size_t nWant = static_cast<std::size_t>(std::min<qint64>(nLeft, qint64(kChunkBytes)));
            std::size_t nDone = 0;
            while (nDone < nWant) {
                const ssize_t n = ::send(nSender, chunk.data() + nDone, nWant - nDone, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return;
                nDone += static_cast<std::size_t>(n);
            }
            nLeft -= qint64(nWant);
        }
    });
    sender.join();
    // A sender that failed leaves the receiver waiting: closing the sending end ends its recv.
    ::shutdown(nSender, SHUT_WR);
    receiver.join();
    closeQuietly(nSender);
    closeQuietly(nReceiver);
    result.nBytes = nReceived.load();
    if (result.nBytes != nTotal) {
        result.strError = QStringLiteral("loopback pair carried %1 of %2 bytes").arg(result.nBytes).arg(nTotal);
        return result;
    }
    result.dMs = msBetween(start, lastByte);
    return result;
}

/// An upgrade package of exactly nBytes for the emulated model's hardware, stored (not deflated).
bool writePackage(const QString& strPath, qint64 nBytes, QString& error)
{
    upgradepackage::PackageSpec contents;
    contents.hardware = kHardware;
    contents.version = "V2.62.R08";
    contents.firmwareSize = 0;
    // The zip's own bytes (headers, names, the install description) do not depend on the blob's size.
    const std::size_t nOverhead = upgradepackage::makePackage(contents).size();
    if (nBytes <= qint64(nOverhead)) {
        error = QStringLiteral("a package needs more than %1 bytes").arg(nOverhead);
        return false;
    }
    contents.firmwareSize = static_cast<std::size_t>(nBytes) - nOverhead;
    const std::vector<std::uint8_t> package = upgradepackage::makePackage(contents);
    if (qint64(package.size()) != nBytes) {
        error = QStringLiteral("the package came out at %1 bytes, not %2").arg(package.size()).arg(nBytes);
        return false;
    }
    if (!upgradepackage::writeFile(strPath.toStdString(), package)) {
        error = QStringLiteral("cannot write %1").arg(strPath);
        return false;
    }
    return true;
}

bool parseOptions(QApplication& app, Options& opt)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Firmware upgrade of an emulated fleet through the main window"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("cameras (32)"), QStringLiteral("n"));
    const QCommandLineOption packageMib(QStringLiteral("package-mib"), QStringLiteral("package size in MiB (16)"),
                                        QStringLiteral("n"));
    const QCommandLineOption upgradeMs(QStringLiteral("upgrade-ms"),
                                       QStringLiteral("the emulator's firmware write time (2000)"),
                                       QStringLiteral("ms"));
    const QCommandLineOption rebootMs(QStringLiteral("reboot-ms"), QStringLiteral("the emulator's reboot time (200)"),
                                      QStringLiteral("ms"));
    const QCommandLineOption ceilingMib(QStringLiteral("ceiling-mib"),
                                        QStringLiteral("bytes the loopback pair pushes, in MiB (512)"),
                                        QStringLiteral("n"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("seconds the run may take (300)"),
                                     QStringLiteral("s"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("admin password of the cameras, typed into the window (empty)"),
                                      QStringLiteral("text"));
    parser.addOptions({camsim, count, packageMib, upgradeMs, rebootMs, ceilingMib, timeout, password});
    parser.process(app);

    opt.camsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    opt.password = parser.value(password);
    const auto readInt = [&](const QCommandLineOption& option, int nMin, int nMax, int& nOut) {
        if (!parser.isSet(option))
            return true;
        bool bOk = false;
        const int n = parser.value(option).toInt(&bOk);
        if (!bOk || n < nMin || n > nMax) {
            std::fprintf(stderr, "bench_upgrade: --%s must be %d..%d\n", qPrintable(option.names().constFirst()), nMin,
                         nMax);
            return false;
        }
        nOut = n;
        return true;
    };
    int nPackageMib = 16;
    int nCeilingMib = 512;
    // The window holds 256 rows; the emulator refuses packages above 256 MiB.
    if (!readInt(count, 1, 256, opt.count) || !readInt(packageMib, 1, 255, nPackageMib) ||
        !readInt(upgradeMs, 0, 600000, opt.upgradeMs) || !readInt(rebootMs, 0, 600000, opt.rebootMs) ||
        !readInt(ceilingMib, 1, 8192, nCeilingMib) || !readInt(timeout, 10, 3600, opt.timeoutS))
        return false;
    opt.packageBytes = qint64(nPackageMib) * 1024 * 1024;
    opt.ceilingBytes = qint64(nCeilingMib) * 1024 * 1024;
    return true;
}

/// Presses Search until the table lists nExpected cameras (at most nPasses passes).
int searchUntilListed(CVantrel& window, int nExpected, int nPasses)
{
    auto* pSearch = window.findChild<QPushButton*>(QStringLiteral("SearchButton"));
    for (int i = 0; i < nPasses && window.tableModel()->rowCount() < nExpected; ++i) {
        QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
        QTest::mouseClick(pSearch, Qt::LeftButton);
        spyStop.wait(20000);
        // The rows are queued ahead of the end of the pass: let the last ones arrive.
        QCoreApplication::processEvents();
    }
    return window.tableModel()->rowCount();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

QString modalText(QWidget* pModal)
{
    QStringList lstTexts;
    for (const QLabel* pLabel : pModal->findChildren<QLabel*>()) {
        if (!pLabel->text().isEmpty())
            lstTexts << pLabel->text();
    }
    return lstTexts.join(QStringLiteral(" / "));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options opt;
    if (!parseOptions(app, opt))
        return 2;
    // Each line as soon as it is known, also into a file: a run that dies still shows how far it came.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QTemporaryDir scratch;
    QString error;
    const QString strPackage = scratch.filePath(QStringLiteral("firmware.bin"));
    if (!scratch.isValid() || !writePackage(strPackage, opt.packageBytes, error)) {
        std::fprintf(stderr, "bench_upgrade: %s\n", qPrintable(error));
        return 1;
    }

    // Measured before the fleet and the window exist, so that nothing else of this run competes with it.
    const Ceiling ceiling = measureLoopbackCeiling(opt.ceilingBytes);
    if (ceiling.dMs <= 0) {
        std::fprintf(stderr, "bench_upgrade: %s\n", qPrintable(ceiling.strError));
        return 1;
    }
    const double dCeilingMBps = ceiling.nBytes / kMegabyte / (ceiling.dMs / 1000.0);

    const quint16 nPort = bench::freeUdpPort();
    bench::Fleet fleet;
    bench::FleetSpec setup;
    setup.camsim = opt.camsim;
    setup.count = opt.count;
    setup.firstAddress = opt.firstAddress;
    setup.fleetId = opt.fleetId;
    setup.models = QStringLiteral("IPC-B"); // one hardware id, so that one package fits every camera
    setup.discoveryPort = nPort;
    setup.extraArguments << QStringLiteral("--upgrade-ms") << QString::number(opt.upgradeMs)
                         << QStringLiteral("--reboot-ms") << QString::number(opt.rebootMs);
    if (!opt.password.isEmpty())
        setup.extraArguments << QStringLiteral("--password") << opt.password;
    if (nPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_upgrade: %s\n%s\n", qPrintable(error), fleet.logTail().constData());
        return 1;
    }
    // The window reads its network settings from here when it is constructed.
    bench::ConfigIni config;
    if (!config.write(nPort, error)) {
        std::fprintf(stderr, "bench_upgrade: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("bench_upgrade: %d cameras (model IPC-B, hardware %s) from %s, discovery port %u, platform %s\n",
                opt.count, kHardware, qPrintable(opt.firstAddress), nPort, qPrintable(QGuiApplication::platformName()));
    std::printf("  package: %lld bytes (%.1f MiB); emulator write time %d ms, reboot %d ms\n",
                static_cast<long long>(opt.packageBytes), opt.packageBytes / 1048576.0, opt.upgradeMs, opt.rebootMs);
    std::printf("  loopback TCP ceiling: %.0f MiB in %.1f ms = %.0f MB/s (64 KiB sends, one sender and one receiver "
                "thread)\n",
                ceiling.nBytes / 1048576.0, ceiling.dMs, dCeilingMBps);

    std::vector<RowWatch> lstRows;
    QStringList lstPrompts;
    bool bFinished = false;
    bool bTimedOut = false;
    int nThreadsLeft = -1;
    bool bUpgradingLeft = true;
    double dStallMs = 0;
    double dStallEndMs = 0;
    double dFinishedMs = -1;
    double dClickMs = -1;
    int nRows = 0;
    Clock::time_point pressed;
    CpuSample cpuPressed;
    CpuSample cpuAllSent;
    CpuSample cpuEnded;
    int nSentRows = 0;
    {
        CVantrel window;
        window.setSearchTime(2000);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::fprintf(stderr, "bench_upgrade: the window was not exposed\n");
        QStandardItemModel* pModel = window.tableModel();
        nRows = searchUntilListed(window, opt.count, 5);
        std::printf("  search: %d of %d cameras listed\n", nRows, opt.count);
        if (nRows != opt.count) {
            std::fprintf(stderr, "bench_upgrade: the search did not list every camera\n");
            return 1;
        }
        for (int nRow = 0; nRow < nRows; ++nRow)
            pModel->item(nRow, 0)->setCheckState(Qt::Checked);
        auto* pFileEdit = window.findChild<QLineEdit*>(QStringLiteral("lineEditFileName"));
        auto* pPasswordEdit = window.findChild<QLineEdit*>(QStringLiteral("lineEditPassword"));
        auto* pUpgrade = window.findChild<QPushButton*>(QStringLiteral("upgradeBtn"));
        if (!pFileEdit || !pUpgrade) {
            std::fprintf(stderr, "bench_upgrade: the window has no lineEditFileName or upgradeBtn\n");
            return 1;
        }
        pFileEdit->setText(strPackage);
        if (pPasswordEdit)
            pPasswordEdit->setText(opt.password);

        lstRows.resize(static_cast<std::size_t>(nRows));
        QObject::connect(pModel, &QStandardItemModel::dataChanged,
                         [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                             if (topLeft.column() > kStatusColumn || bottomRight.column() < kStatusColumn)
                                 return;
                             const Clock::time_point now = Clock::now();
                             for (int nRow = topLeft.row(); nRow <= bottomRight.row() && nRow < nRows; ++nRow) {
                                 RowWatch& row = lstRows[static_cast<std::size_t>(nRow)];
                                 row.strLast = pModel->index(nRow, kStatusColumn).data().toString();
                                 if (row.strLast.startsWith(QLatin1String("Send Progress")) && !row.bSending) {
                                     row.bSending = true;
                                     row.firstSend = now;
                                 }
                                 if (row.strLast == QLatin1String("Send Progress: 100") && !row.bSent) {
                                     row.bSent = true;
                                     row.sent = now;
                                     if (++nSentRows == nRows)
                                         cpuAllSent = sampleCpu(fleet.processId());
                                 }
                                 if (row.strLast == QLatin1String("Upgrade Success") && !row.bSuccess) {
                                     row.bSuccess = true;
                                     row.success = now;
                                 }
                             }
                         });

        // A prompt would block the run in its own event loop: note it and close it.
        QTimer promptWatch;
        promptWatch.setInterval(100);
        QObject::connect(&promptWatch, &QTimer::timeout, [&] {
            if (QWidget* pModal = QApplication::activeModalWidget()) {
                lstPrompts << modalText(pModal);
                if (auto* pDialog = qobject_cast<QDialog*>(pModal))
                    pDialog->reject();
                else
                    pModal->close();
            }
        });
        promptWatch.start();

        QEventLoop waitLoop;
        QObject::connect(&window, &CVantrel::upgradeFinished, &waitLoop, [&] {
            if (!bFinished)
                dFinishedMs = msBetween(pressed, Clock::now());
            bFinished = true;
            waitLoop.quit();
        });
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &waitLoop, [&] {
            bTimedOut = true;
            waitLoop.quit();
        });

        bench::StallMeter stalls;
        cpuPressed = sampleCpu(fleet.processId());
        stalls.start();
        pressed = Clock::now();
        QTest::mouseClick(pUpgrade, Qt::LeftButton);
        dClickMs = msBetween(pressed, Clock::now());
        // A press that was refused (a prompt, nothing running) never ends a run.
        const bool bRefused = !bFinished && !lstPrompts.isEmpty() && window.upgradeThreadCount() == 0;
        if (!bFinished && !bRefused) {
            deadline.start(opt.timeoutS * 1000);
            waitLoop.exec();
        }
        cpuEnded = sampleCpu(fleet.processId());
        stalls.stop();
        promptWatch.stop();
        // Cell writes queued before the end of the run arrive before it; anything later is a fault to see.
        QCoreApplication::processEvents();
        dStallMs = stalls.maxGapMs();
        dStallEndMs = msBetween(pressed, stalls.maxGapEnd());
        nThreadsLeft = window.upgradeThreadCount();
        bUpgradingLeft = window.isUpgrading();
        for (int nRow = 0; nRow < nRows; ++nRow)
            lstRows[static_cast<std::size_t>(nRow)].strLast = pModel->index(nRow, kStatusColumn).data().toString();
    }
    const int nFleetExit = fleet.stop();

    int nSuccess = 0;
    int nSent = 0;
    Clock::time_point lastSent = pressed;
    Clock::time_point firstSend = Clock::time_point::max();
    Clock::time_point lastSuccess = pressed;
    std::vector<double> lstWriteMs;
    for (const RowWatch& row : lstRows) {
        if (row.bSending)
            firstSend = std::min(firstSend, row.firstSend);
        if (row.bSent) {
            ++nSent;
            lastSent = std::max(lastSent, row.sent);
        }
        if (row.bSuccess && row.strLast == QLatin1String("Upgrade Success")) {
            ++nSuccess;
            lastSuccess = std::max(lastSuccess, row.success);
            if (row.bSent)
                lstWriteMs.push_back(msBetween(row.sent, row.success));
        }
    }

    const double dSendMs = msBetween(pressed, lastSent);
    const qint64 nTotalBytes = opt.packageBytes * nSent;
    const double dRateMBps = dSendMs > 0 ? nTotalBytes / kMegabyte / (dSendMs / 1000.0) : 0;
    const double dRatio = dRateMBps / dCeilingMBps;
    std::printf("  press handling: %.1f ms\n", dClickMs);
    if (firstSend != Clock::time_point::max())
        std::printf("  press -> first \"Send Progress\": %.1f ms\n", msBetween(pressed, firstSend));
    std::printf("  press -> last row \"Send Progress: 100\": %.1f ms (%d rows reached it)\n", dSendMs, nSent);
    std::printf("  aggregate transfer rate: %lld bytes in %.1f ms = %.0f MB/s = %.2f x the loopback ceiling\n",
                static_cast<long long>(nTotalBytes), dSendMs, dRateMBps, dRatio);
    if (!lstWriteMs.empty())
        std::printf("  per row \"Send Progress: 100\" -> \"Upgrade Success\": median %.1f ms, max %.1f ms "
                    "(emulator write time %d ms)\n",
                    median(lstWriteMs), *std::max_element(lstWriteMs.begin(), lstWriteMs.end()), opt.upgradeMs);
    std::printf("  press -> every row \"Upgrade Success\": %.1f ms = transfer %.1f ms + %.1f ms (write time %d ms)\n",
                msBetween(pressed, lastSuccess), dSendMs, msBetween(lastSent, lastSuccess), opt.upgradeMs);
    std::printf("  press -> run ended (upgradeFinished): %.1f ms; threads left %d, upgrading %s\n", dFinishedMs,
                nThreadsLeft, bUpgradingLeft ? "yes" : "no");
    if (nSentRows == nRows && cpuPressed.dEmulatorMs >= 0 && cpuPressed.dProgramMs >= 0) {
        // Both processes share the machine's cores: which one ran out of CPU shows where the time went.
        std::printf("  CPU while sending (%.0f ms): emulator %.0f ms, this program %.0f ms\n", dSendMs,
                    cpuAllSent.dEmulatorMs - cpuPressed.dEmulatorMs, cpuAllSent.dProgramMs - cpuPressed.dProgramMs);
        std::printf("  CPU from then to the end of the run: emulator %.0f ms, this program %.0f ms\n",
                    cpuEnded.dEmulatorMs - cpuAllSent.dEmulatorMs, cpuEnded.dProgramMs - cpuAllSent.dProgramMs);
    }
    std::printf("  longest event-loop stall: %.1f ms, ended %.1f ms after the press\n", dStallMs, dStallEndMs);
    std::printf("  rows with \"Upgrade Success\": %d of %d\n", nSuccess, nRows);
    std::printf("  emulator exit: %d\n", nFleetExit);
    std::printf("%s: transfer rate %.0f MB/s >= half the loopback ceiling (%.0f MB/s)\n",
                dRatio >= 0.5 ? "PASS" : "FAIL", dRateMBps, dCeilingMBps / 2);
    std::printf("%s: longest event-loop stall %.1f ms <= 50 ms\n", dStallMs <= 50 ? "PASS" : "FAIL", dStallMs);

    // A prompt alone does not fail the run; a refused press shows in the rows.
    for (const QString& strPrompt : lstPrompts)
        std::fprintf(stderr, "bench_upgrade: a prompt appeared and was closed: %s\n", qPrintable(strPrompt));
    bool bRunOk = true;
    if (bTimedOut || !bFinished) {
        std::fprintf(stderr, "bench_upgrade: the run did not end within %d s\n", opt.timeoutS);
        bRunOk = false;
    }
    if (nThreadsLeft != 0 || bUpgradingLeft) {
        std::fprintf(stderr, "bench_upgrade: %d upgrade threads alive after the end of the run\n", nThreadsLeft);
        bRunOk = false;
    }
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const RowWatch& row = lstRows[static_cast<std::size_t>(nRow)];
        if (row.strLast != QLatin1String("Upgrade Success")) {
            std::fprintf(stderr, "bench_upgrade: row %d ended with \"%s\"\n", nRow, qPrintable(row.strLast));
            bRunOk = false;
        }
    }
    if (nFleetExit != 0)
        bRunOk = false;
    return bRunOk ? 0 : 1;
}
