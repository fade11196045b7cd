// bench_table: the main window against 256 emulated cameras on loopback. Constructs the real
// CVantrel (offscreen unless a platform is chosen), presses Search and measures, per pass:
//   - rows: from the moment the search thread's library call returned (its first result signal,
//     emitted right after the call and the ordering of the records) until the table model holds
//     every camera;
//   - the longest stall of the user-interface event loop during the pass, seen by a 1 ms timer;
// and the program's resident memory (VmRSS) with the full table. Exits non-zero when a pass does
// not list the whole fleet.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "benchsupport.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

namespace {

using bench::Clock;
using bench::msBetween;

struct Options
{
    QString camsim;
    int count = 256;
    QString firstAddress = QStringLiteral("127.0.66.10");
    int fleetId = 0xbf;
    int passes = 5;
    int searchWaitMs = 3000;
};

struct Pass
{
    double rowsMs = -1;     ///< library call returned -> all rows in the model
    double firstRowMs = -1; ///< library call returned -> first row in the model
    double maxStallMs = 0;  ///< longest gap between two ticks of the 1 ms timer
    double clickToRowsMs = -1;
    double clickMs = -1;   ///< the Search click's own handling, before the thread runs on its own
    double stallEndMs = 0; ///< when the longest stall ended, after the library call returned
    int rows = 0;
};

Pass runPass(CVantrel& window, int nExpected, int nTimeoutMs)
{
    Pass pass;
    QStandardItemModel* pModel = window.tableModel();
    CSearchDeviceThread* pThread = window.searchThread();

    // Stamped on the search thread, in the emission of its first result.
    std::atomic<bool> bFirstSeen{false};
    std::atomic<Clock::rep> nCallReturned{0};
    const QMetaObject::Connection onResult = QObject::connect(
        pThread, &CSearchDeviceThread::deviceSearch, pThread,
        [&](const SDK_CONFIG_NET_COMMON_V2&) {
            if (!bFirstSeen.exchange(true))
                nCallReturned.store(Clock::now().time_since_epoch().count());
        },
        Qt::DirectConnection);

    Clock::time_point firstRow;
    Clock::time_point allRows;
    bool bFirstRow = false;
    bool bAllRows = false;
    const QMetaObject::Connection onRows = QObject::connect(pModel, &QStandardItemModel::rowsInserted, [&] {
        const Clock::time_point now = Clock::now();
        if (!bFirstRow) {
            bFirstRow = true;
            firstRow = now;
        }
        if (!bAllRows && pModel->rowCount() >= nExpected) {
            bAllRows = true;
            allRows = now;
        }
    });

    bench::StallMeter stalls;

    QSignalSpy spyStop(pThread, &CSearchDeviceThread::stop);
    auto* pSearch = window.findChild<QPushButton*>(QStringLiteral("SearchButton"));
    stalls.start();
    const Clock::time_point clicked = Clock::now();
    QTest::mouseClick(pSearch, Qt::LeftButton);
    pass.clickMs = msBetween(clicked, Clock::now());
    spyStop.wait(nTimeoutMs);
    // The results are queued ahead of the end of the pass: let the last ones arrive.
    QCoreApplication::processEvents();
    stalls.stop();
    pass.maxStallMs = stalls.maxGapMs();

    QObject::disconnect(onResult);
    QObject::disconnect(onRows);
    pass.rows = pModel->rowCount();
    if (bFirstSeen.load() && bAllRows) {
        // The window's queued connection is served before the stamp's direct one, so on a busy machine the
        // first row can land before the stamp: start from whichever came first, never later than the truth.
        const Clock::time_point returned = std::min(Clock::time_point{Clock::duration(nCallReturned.load())}, firstRow);
        pass.rowsMs = msBetween(returned, allRows);
        pass.firstRowMs = msBetween(returned, firstRow);
        pass.clickToRowsMs = msBetween(clicked, allRows);
        pass.stallEndMs = msBetween(returned, stalls.maxGapEnd());
    }
    return pass;
}

bool parseOptions(QApplication& app, Options& opt)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Main window search-to-table benchmark"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption passes(QStringLiteral("passes"), QStringLiteral("search passes (5)"), QStringLiteral("n"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("search wait in ms (3000)"),
                                  QStringLiteral("ms"));
    parser.addOptions({camsim, passes, wait});
    parser.process(app);

    opt.camsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    bool bOk = true;
    if (parser.isSet(passes)) {
        opt.passes = parser.value(passes).toInt(&bOk);
        bOk = bOk && opt.passes >= 1 && opt.passes <= 100;
    }
    if (bOk && parser.isSet(wait)) {
        opt.searchWaitMs = parser.value(wait).toInt(&bOk);
        bOk = bOk && opt.searchWaitMs >= 100 && opt.searchWaitMs <= 60000;
    }
    if (!bOk)
        std::fprintf(stderr, "bench_table: bad --passes or --wait\n");
    return bOk;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
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

    const quint16 nPort = bench::freeUdpPort();
    QTemporaryDir scratch;
    bench::Fleet fleet;
    QString error;
    // Listed kinds only, so that every camera becomes a row.
    bench::FleetSpec setup;
    setup.camsim = opt.camsim;
    setup.count = opt.count;
    setup.firstAddress = opt.firstAddress;
    setup.fleetId = opt.fleetId;
    setup.models = QStringLiteral("IPC-A,IPC-B,IPC-C,NVR-8,HVR-4");
    setup.discoveryPort = nPort;
    if (nPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_table: %s\n%s\n", qPrintable(error), fleet.logTail().constData());
        return 1;
    }
    // The window reads its network settings from here when it is constructed.
    bench::ConfigIni config;
    if (!config.write(nPort, error)) {
        std::fprintf(stderr, "bench_table: %s\n", qPrintable(error));
        return 1;
    }

    const long nRssStart = bench::residentKb();
    std::vector<Pass> lstPasses;
    long nRssRows = -1;
    {
        CVantrel window;
        window.setSearchTime(opt.searchWaitMs);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::fprintf(stderr, "bench_table: the window was not exposed\n");
        const long nRssWindow = bench::residentKb();
        std::printf("bench_table: %d cameras from %s, discovery port %u, search wait %d ms, platform %s\n", opt.count,
                    qPrintable(opt.firstAddress), nPort, opt.searchWaitMs, qPrintable(QGuiApplication::platformName()));
        std::printf("  resident memory: %.1f MB at start, %.1f MB with the window\n\n", nRssStart / 1024.0,
                    nRssWindow / 1024.0);
        std::printf("  pass  rows  first row  all rows  click->rows  click handling  longest stall (ended at)\n");
        for (int i = 0; i < opt.passes; ++i) {
            const Pass pass = runPass(window, opt.count, opt.searchWaitMs + 10000);
            lstPasses.push_back(pass);
            nRssRows = std::max(nRssRows, bench::residentKb());
            std::printf("  %4d  %4d  %6.1f ms  %5.1f ms  %8.1f ms  %11.1f ms  %10.1f ms (%+.1f ms)\n", i + 1, pass.rows,
                        pass.firstRowMs, pass.rowsMs, pass.clickToRowsMs, pass.clickMs, pass.maxStallMs,
                        pass.stallEndMs);
        }
    }
    const int nFleetExit = fleet.stop();

    std::vector<double> lstRows;
    std::vector<double> lstStalls;
    bool bComplete = true;
    for (const Pass& pass : lstPasses) {
        bComplete = bComplete && pass.rows == opt.count && pass.rowsMs >= 0;
        lstRows.push_back(pass.rowsMs);
        lstStalls.push_back(pass.maxStallMs);
    }
    const double dRowsMax = *std::max_element(lstRows.begin(), lstRows.end());
    std::printf("\n  library call returned -> %d rows: median %.1f ms, max %.1f ms (target <= 100 ms: %s)\n", opt.count,
                median(lstRows), dRowsMax, bComplete && dRowsMax <= 100 ? "met" : "MISSED");
    std::printf("  longest event-loop stall: median %.1f ms, max %.1f ms\n", median(lstStalls),
                *std::max_element(lstStalls.begin(), lstStalls.end()));
    std::printf("  resident memory with %d rows: %.1f MB\n", opt.count, nRssRows / 1024.0);
    std::printf("  emulator exit: %d\n", nFleetExit);
    if (!bComplete) {
        std::fprintf(stderr, "bench_table: a pass did not list all %d cameras\n", opt.count);
        return 1;
    }
    return nFleetExit == 0 ? 0 : 1;
}
