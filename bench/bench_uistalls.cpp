// bench_uistalls: how long the user-interface thread of the real main window (offscreen unless a
// platform is chosen) is kept from its event loop while it talks to slow cameras. A fleet on
// loopback answers every request late (--latency-ms); a 1 ms timer on the user-interface thread
// measures the longest gap between its ticks during:
//   1. add: the Add button, the dialog's OK with a camera's address, until the row is there;
//   2. double-click login: one row, until the login has ended;
//   3. a new search with every row logged in (the previous table's logouts come first);
//   4. the planning proposal: SetIP's first opening, until the proposal is in the editors (the fleet
//      sits on the addresses after the PC's own, so the proposal walks over all of them).
// Exits non-zero when a step does not complete or the emulator does not stop cleanly.

#include <cstdio>
#include <functional>

#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include "batch/CIpSetDlg.h"
#include "benchsupport.h"
#include "device/CSearchDeviceThread.h"
#include "device/LoginDlg.h"
#include "mainwindow/CVantrel.h"

namespace {

using bench::Clock;
using bench::msBetween;

struct Step
{
    const char* szName;
    double dWallMs = -1;
    double dMaxStallMs = -1;
    double dStallEndMs = -1; ///< when the longest stall ended, from the step's start
    bool bDone = false;
};

/// Runs fnStart with the stall meter ticking, then lets the event loop run until fnDone says the
/// step is complete (or nTimeoutMs passed).
void measure(Step& step, const std::function<void()>& fnStart, const std::function<bool()>& fnDone, int nTimeoutMs)
{
    bench::StallMeter stalls;
    stalls.start();
    const Clock::time_point start = Clock::now();
    fnStart();
    const Clock::time_point deadline = start + std::chrono::milliseconds(nTimeoutMs);
    while (!fnDone() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    step.bDone = fnDone();
    step.dWallMs = msBetween(start, Clock::now());
    stalls.stop();
    step.dMaxStallMs = stalls.maxGapMs();
    step.dStallEndMs = msBetween(start, stalls.maxGapEnd());
}

int loggedInRows(const CVantrel& window)
{
    int nRows = 0;
    for (int nRow = 0; nRow < window.tableModel()->rowCount(); ++nRow)
        nRows += window.getDevInfo(nRow) && window.getDevInfo(nRow)->lLoginID > 0 ? 1 : 0;
    return nRows;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Event-loop stalls of the window against slow cameras"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("cameras (64)"), QStringLiteral("n"));
    const QCommandLineOption latency(QStringLiteral("latency-ms"), QStringLiteral("every answer's delay (200)"),
                                     QStringLiteral("ms"));
    parser.addOptions({camsim, count, latency});
    parser.process(app);
    const int nCount = parser.isSet(count) ? parser.value(count).toInt() : 64;
    const int nLatencyMs = parser.isSet(latency) ? parser.value(latency).toInt() : 200;
    if (nCount < 2 || nCount > 200 || nLatencyMs < 0 || nLatencyMs > 2000) {
        std::fprintf(stderr, "bench_uistalls: --count must be 2..200, --latency-ms 0..2000\n");
        return 2;
    }

    // The fleet takes the addresses right after 127.0.0.1, the PC's own address on loopback: the
    // planning proposal, which starts there, asks about every camera before it finds a free one.
    const quint16 nPort = bench::freeUdpPort();
    QTemporaryDir scratch;
    bench::Fleet fleet;
    QString error;
    bench::FleetSpec setup;
    setup.camsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    setup.count = nCount;
    setup.firstAddress = QStringLiteral("127.0.0.2");
    setup.fleetId = 193;
    setup.models = QStringLiteral("IPC-A,IPC-B,IPC-C");
    setup.discoveryPort = nPort;
    setup.extraArguments = QStringList{QStringLiteral("--latency-ms"), QString::number(nLatencyMs)};
    if (nPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_uistalls: %s\n", qPrintable(error));
        return 1;
    }
    bench::ConfigIni config;
    if (!config.write(nPort, error)) {
        std::fprintf(stderr, "bench_uistalls: %s\n", qPrintable(error));
        return 1;
    }

    Step add{"add (dialog login and read)"};
    Step login{"double-click login"};
    Step search{"new search"};
    Step proposal{"planning proposal"};
    int nRows = 0;
    int nLoggedIn = 0;
    {
        CVantrel window;
        window.setSearchTime(3000);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::fprintf(stderr, "bench_uistalls: the window was not exposed\n");
        QStandardItemModel* pModel = window.tableModel();
        const auto button = [&window](const char* szName) {
            return window.findChild<QPushButton*>(QLatin1String(szName));
        };
        QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);

        // 1. Add: the dialog is answered from a timer inside its own event loop.
        QTimer answer;
        answer.setInterval(5);
        QObject::connect(&answer, &QTimer::timeout, [&]() {
            for (QWidget* pWidget : QApplication::topLevelWidgets()) {
                auto* pDlg = qobject_cast<LoginDlg*>(pWidget);
                if (pDlg && pDlg->isVisible() && !pDlg->isLoggingIn()) {
                    answer.stop();
                    pDlg->addressEdit()->setText(QStringLiteral("127.0.0.2"));
                    QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
                }
            }
        });
        measure(
            add,
            [&]() {
                answer.start();
                QTest::mouseClick(button("addBtn"), Qt::LeftButton);
            },
            [&]() { return pModel->rowCount() == 1; }, 20000);

        // The search lists the fleet (each camera once).
        QTest::mouseClick(button("SearchButton"), Qt::LeftButton);
        spyStop.wait(30000);
        QCoreApplication::processEvents();
        nRows = pModel->rowCount();

        // 2. One double-click login.
        QSignalSpy spyLogin(&window, &CVantrel::loginFinished);
        measure(
            login, [&]() { window.on_tableView_doubleClicked(pModel->index(0, 1)); },
            [&]() { return !spyLogin.isEmpty(); }, 20000);

        // 3. Every row logged in, then a new search.
        for (int nRow = 1; nRow < nRows; ++nRow) {
            spyLogin.clear();
            window.on_tableView_doubleClicked(pModel->index(nRow, 1));
            if (window.isLoginRunning())
                spyLogin.wait(20000);
        }
        nLoggedIn = loggedInRows(window);
        spyStop.clear();
        measure(
            search, [&]() { QTest::mouseClick(button("SearchButton"), Qt::LeftButton); },
            [&]() { return !spyStop.isEmpty() && pModel->rowCount() == nRows; }, 120000);
        QCoreApplication::processEvents();

        // 4. The planning proposal of SetIP's first opening; the dialog is closed once it is there.
        QTimer close;
        close.setInterval(5);
        bool bProposed = false;
        QObject::connect(&close, &QTimer::timeout, [&]() {
            CIpSetDlg* pDlg = window.ipSetDlg();
            if (pDlg && pDlg->isVisible() && !pDlg->isProposing()) {
                close.stop();
                bProposed = pDlg->proposalNote().isEmpty();
                pDlg->reject();
            }
        });
        bool bReturned = false;
        measure(
            proposal,
            [&]() {
                close.start();
                QTest::mouseClick(button("btnSetIP"), Qt::LeftButton);
                bReturned = true;
            },
            [&]() { return bReturned && bProposed; }, 120000);
    }
    const int nFleetExit = fleet.stop();

    std::printf("bench_uistalls: %d cameras answering %d ms late, platform %s\n", nRows, nLatencyMs,
                qPrintable(QGuiApplication::platformName()));
    bool bAll = true;
    for (const Step* pStep : {&add, &login, &search, &proposal}) {
        std::printf("  %-28s %s  wall %8.1f ms  longest stall %6.1f ms, ended at %8.1f ms (target <= 50 ms: %s)\n",
                    pStep->szName, pStep->bDone ? "done  " : "FAILED", pStep->dWallMs, pStep->dMaxStallMs,
                    pStep->dStallEndMs, pStep->dMaxStallMs <= 50 ? "met" : "MISSED");
        bAll = bAll && pStep->bDone;
    }
    std::printf("  rows logged in before the new search: %d of %d\n", nLoggedIn, nRows);
    std::printf("  emulator exit: %d\n", nFleetExit);
    return bAll && nFleetExit == 0 && nRows == nCount ? 0 : 1;
}
