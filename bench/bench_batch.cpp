// bench_batch: a reset batch over 256 emulated cameras through the real main window (offscreen
// unless a platform is chosen). Measures first, directly through the device library, what one
// device costs the emulator (login, reset, logout) for every camera; the batch's floor is that sum
// plus the worker's 100 ms pause per row. Then checks every row, presses ResetConfig with QTest
// and reports the batch's wall time against the floor and the longest stall of the
// user-interface event loop (a 1 ms timer). Exits non-zero when a row does not end with
// "Reset Config Success" or the emulator does not stop cleanly.

#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "benchsupport.h"
#include "benchwindow.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

namespace {

using bench::Clock;
using bench::msBetween;

constexpr double kRowPauseMs = 100.0;

/// What the emulator takes for one device of a reset batch, without the worker's pause.
double deviceWorkMs(const DEV_INFO& rec)
{
    const Clock::time_point start = Clock::now();
    SDK_DEVICE_INFO info{};
    int nError = 0;
    const long lLogin =
        sdkLogin(rec.szIpAddr, static_cast<unsigned short>(rec.nPort), rec.szUserName, "", &info, 1, &nError);
    if (lLogin < 1)
        return -1;
    char achReset[11] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
    sdkSetConfig(lLogin, 33, -1, achReset, sizeof(achReset), 3000);
    sdkLogout(lLogin);
    return msBetween(start, Clock::now());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reset batch over an emulated fleet"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("cameras (256)"), QStringLiteral("n"));
    parser.addOptions({camsim, count});
    parser.process(app);
    const QString strCamsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    const int nCount = parser.isSet(count) ? parser.value(count).toInt() : 256;
    if (nCount < 1 || nCount > 256) {
        std::fprintf(stderr, "bench_batch: --count must be 1..256\n");
        return 2;
    }

    const quint16 nPort = bench::freeUdpPort();
    QTemporaryDir scratch;
    bench::Fleet fleet;
    QString error;
    bench::FleetSpec setup;
    setup.camsim = strCamsim;
    setup.count = nCount;
    setup.firstAddress = QStringLiteral("127.0.67.10");
    setup.fleetId = 192;
    setup.models = QStringLiteral("IPC-A,IPC-B,IPC-C");
    setup.discoveryPort = nPort;
    if (nPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_batch: %s\n", qPrintable(error));
        return 1;
    }
    // The window reads its network settings from here when it is constructed.
    bench::ConfigIni config;
    if (!config.write(nPort, error)) {
        std::fprintf(stderr, "bench_batch: %s\n", qPrintable(error));
        return 1;
    }

    int nSuccess = 0;
    double dDeviceMs = 0;
    double dWallMs = 0;
    double dMaxStallMs = 0;
    double dStallEndMs = 0;
    int nRows = 0;
    {
        CVantrel window;
        window.setSearchTime(3000);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::fprintf(stderr, "bench_batch: the window was not exposed\n");
        QStandardItemModel* pModel = window.tableModel();
        QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("SearchButton")), Qt::LeftButton);
        spyStop.wait(20000);
        QCoreApplication::processEvents();
        nRows = pModel->rowCount();
        if (nRows != nCount)
            std::fprintf(stderr, "bench_batch: the search listed %d of %d cameras\n", nRows, nCount);

        // The emulator's own share, measured on this thread before the batch.
        for (int nRow = 0; nRow < nRows; ++nRow) {
            const double dMs = deviceWorkMs(*window.getDevInfo(nRow));
            if (dMs < 0) {
                std::fprintf(stderr, "bench_batch: row %d cannot be logged in to\n", nRow);
                return 1;
            }
            dDeviceMs += dMs;
        }

        const bench::WindowBatch batch = bench::runWindowBatch(window, nRows, "btnReset", nRows * 4000 + 10000,
                                                               QStringLiteral("Reset Config Success"));
        dWallMs = batch.dWallMs;
        dMaxStallMs = batch.dMaxStallMs;
        dStallEndMs = batch.dStallEndMs;
        nSuccess = batch.nSuccess;
    }
    const int nFleetExit = fleet.stop();

    const double dFloorMs = nRows * kRowPauseMs + dDeviceMs;
    std::printf("bench_batch: reset batch over %d cameras, platform %s\n", nRows,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  device work measured alone: %.1f ms in all, %.2f ms per device\n", dDeviceMs,
                nRows ? dDeviceMs / nRows : 0.0);
    std::printf("  floor (%d x %.0f ms pauses + device work): %.1f ms\n", nRows, kRowPauseMs, dFloorMs);
    std::printf("  batch wall time: %.1f ms = %.3f x floor (target <= 1.05: %s)\n", dWallMs, dWallMs / dFloorMs,
                dWallMs <= 1.05 * dFloorMs ? "met" : "MISSED");
    std::printf("  longest event-loop stall: %.1f ms, ended %.1f ms after the click (target <= 50 ms: %s)\n",
                dMaxStallMs, dStallEndMs, dMaxStallMs <= 50 ? "met" : "MISSED");
    std::printf("  rows with \"Reset Config Success\": %d of %d\n", nSuccess, nRows);
    std::printf("  emulator exit: %d\n", nFleetExit);
    return nSuccess == nRows && nRows == nCount && nFleetExit == 0 ? 0 : 1;
}
