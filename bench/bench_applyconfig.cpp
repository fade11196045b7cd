// bench_applyconfig: four configuration pages applied to 64 emulated cameras through the real main
// window (offscreen unless a platform is chosen), as an installer does it: OtherConfig on the first
// row, the NTP, cloud, camera and motion pages ticked (the NTP port changed), Save, every row
// checked, DoModify. Measures first, directly through the device library, what one device costs the
// emulator (login, the same page writes by the configuration writer, logout) for every camera; the
// batch's floor is that sum plus the worker's 100 ms pause per row. Reports the batch's wall time
// against the floor, and the longest stall of the user-interface event loop (a 1 ms timer) during
// the opening and during the batch. --latency-ms delays every answer of the cameras. Exits non-zero when a row does not
// end with "Modify Config Success", the dialog does not open and save, or the emulator does not stop cleanly.

#include <cstdio>
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include "batch/CConfigApplier.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "config/COtherConfigDlg.h"
#include "config/ConfigRecords.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

namespace {

using bench::Clock;
using bench::msBetween;

constexpr double kRowPauseMs = 100.0;
const int kPages[] = {kPageNtp, kPageCloud, kPageCamera, kPageMotion};

/// What the emulator takes for one device of the batch, without the worker's pause.
double deviceWorkMs(const DEV_INFO& rec, const CConfigSnapshot& snapshot)
{
    const Clock::time_point start = Clock::now();
    SDK_DEVICE_INFO info{};
    int nError = 0;
    const long lLogin =
        sdkLogin(rec.szIpAddr, static_cast<unsigned short>(rec.nPort), rec.szUserName, "", &info, 1, &nError);
    if (lLogin < 1)
        return -1;
    const CConfigApplier::Result result = CConfigApplier::apply(
        lLogin, QByteArray(info.version, int(qstrnlen(info.version, sizeof(info.version)))), snapshot);
    sdkLogout(lLogin);
    return result.bFailed || !result.bLoggedIn ? -1 : msBetween(start, Clock::now());
}

/// Runs fnInDialog on the configuration dialog once it is shown and has read its device (the window
/// runs it modally, so this polls from the dialog's own event loop).
void whenDialogReady(COtherConfigDlg* pDlg, std::function<void()> fnInDialog)
{
    auto* pPoll = new QTimer(pDlg);
    pPoll->setInterval(2);
    QObject::connect(pPoll, &QTimer::timeout, pDlg, [pDlg, pPoll, fnInDialog]() {
        if (!pDlg->isVisible() || pDlg->isLoading())
            return;
        pPoll->stop();
        pPoll->deleteLater();
        fnInDialog();
    });
    pPoll->start();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configuration pages applied to an emulated fleet"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("cameras (64)"), QStringLiteral("n"));
    const QCommandLineOption latency(QStringLiteral("latency-ms"), QStringLiteral("delay of every camera answer (0)"),
                                     QStringLiteral("ms"));
    parser.addOptions({camsim, count, latency});
    parser.process(app);
    const QString strCamsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    const int nCount = parser.isSet(count) ? parser.value(count).toInt() : 64;
    if (nCount < 1 || nCount > 256) {
        std::fprintf(stderr, "bench_applyconfig: --count must be 1..256\n");
        return 2;
    }

    const quint16 nPort = bench::freeUdpPort();
    QTemporaryDir scratch;
    bench::Fleet fleet;
    QString error;
    bench::FleetSpec setup;
    setup.camsim = strCamsim;
    setup.count = nCount;
    setup.firstAddress = QStringLiteral("127.0.69.10");
    setup.fleetId = 196;
    setup.models = QStringLiteral("IPC-A,IPC-B,IPC-C");
    setup.discoveryPort = nPort;
    if (parser.isSet(latency))
        setup.extraArguments << QStringLiteral("--latency-ms") << parser.value(latency);
    if (nPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_applyconfig: %s\n", qPrintable(error));
        return 1;
    }
    // The window reads its network settings from here when it is constructed.
    bench::ConfigIni config;
    if (!config.write(nPort, error)) {
        std::fprintf(stderr, "bench_applyconfig: %s\n", qPrintable(error));
        return 1;
    }

    int nSuccess = 0;
    int nRows = 0;
    int nPagesSaved = 0;
    bool bSaved = false;
    double dOpenMs = 0;
    double dOpenStallMs = 0;
    double dDeviceMs = 0;
    double dWallMs = 0;
    double dMaxStallMs = 0;
    double dStallEndMs = 0;
    {
        CVantrel window;
        window.setSearchTime(3000);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::fprintf(stderr, "bench_applyconfig: the window was not exposed\n");
        QStandardItemModel* pModel = window.tableModel();
        QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("SearchButton")), Qt::LeftButton);
        spyStop.wait(20000);
        QCoreApplication::processEvents();
        nRows = pModel->rowCount();
        if (nRows != nCount)
            std::fprintf(stderr, "bench_applyconfig: the search listed %d of %d cameras\n", nRows, nCount);

        // The opening on the first row (the current one after a search): the login, command 164 and
        // the pages' reads, until the dialog shows the camera's values; there the four pages are
        // ticked, the NTP port changed, and Save pressed.
        COtherConfigDlg* pDlg = window.configDlg();
        bench::StallMeter openStalls;
        Clock::time_point opened;
        whenDialogReady(pDlg, [&]() {
            opened = Clock::now();
            for (int nType : kPages) {
                auto* pBox = pDlg->page(nType)->findChild<QAbstractButton*>(QStringLiteral("checkBoxSetEnable"));
                if (pBox)
                    pBox->click();
            }
            if (auto* pPort = pDlg->page(kPageNtp)->findChild<QLineEdit*>(QStringLiteral("lineEditHostPort")))
                pPort->setText(QStringLiteral("1230"));
            QTest::mouseClick(pDlg->saveButton(), Qt::LeftButton);
        });
        openStalls.start();
        const Clock::time_point openStart = Clock::now();
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnOtherCfg")), Qt::LeftButton);
        if (!QTest::qWaitFor([&]() { return !pDlg->isVisible() && !window.isLoginRunning() && opened > openStart; },
                             30000))
            std::fprintf(stderr, "bench_applyconfig: the opening did not end\n");
        openStalls.stop();
        dOpenMs = msBetween(openStart, opened);
        dOpenStallMs = openStalls.maxGapMs();
        bSaved = window.findChild<QPushButton*>(QStringLiteral("btnModifyCfg"))->isEnabled();
        const CConfigSnapshot snapshot = pDlg->takeConfigSnapshot();
        nPagesSaved = snapshot.size();

        // The emulator's own share, measured on this thread before the batch with the same records.
        for (int nRow = 0; nRow < nRows; ++nRow) {
            const double dMs = deviceWorkMs(*window.getDevInfo(nRow), snapshot);
            if (dMs < 0) {
                std::fprintf(stderr, "bench_applyconfig: row %d cannot be written to\n", nRow);
                return 1;
            }
            dDeviceMs += dMs;
        }

        const bench::WindowBatch batch = bench::runWindowBatch(window, nRows, "btnModifyCfg", nRows * 10000 + 10000,
                                                               QStringLiteral("Modify Config Success"));
        dWallMs = batch.dWallMs;
        dMaxStallMs = batch.dMaxStallMs;
        dStallEndMs = batch.dStallEndMs;
        nSuccess = batch.nSuccess;
    }
    const int nFleetExit = fleet.stop();

    const double dFloorMs = nRows * kRowPauseMs + dDeviceMs;
    std::printf("bench_applyconfig: %d pages applied to %d cameras, platform %s\n", nPagesSaved, nRows,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  opening (login, command 164, the pages' reads): %.1f ms, longest stall %.1f ms (target <= 50 ms: "
                "%s); saved: %s\n",
                dOpenMs, dOpenStallMs, dOpenStallMs <= 50 ? "met" : "MISSED", bSaved ? "yes" : "NO");
    std::printf("  device work measured alone: %.1f ms in all, %.2f ms per device\n", dDeviceMs,
                nRows ? dDeviceMs / nRows : 0.0);
    std::printf("  floor (%d x %.0f ms pauses + device work): %.1f ms\n", nRows, kRowPauseMs, dFloorMs);
    std::printf("  batch wall time: %.1f ms = %.3f x floor (target <= 1.05: %s)\n", dWallMs, dWallMs / dFloorMs,
                dWallMs <= 1.05 * dFloorMs ? "met" : "MISSED");
    std::printf("  longest event-loop stall: %.1f ms, ended %.1f ms after the click (target <= 50 ms: %s)\n",
                dMaxStallMs, dStallEndMs, dMaxStallMs <= 50 ? "met" : "MISSED");
    std::printf("  rows with \"Modify Config Success\": %d of %d\n", nSuccess, nRows);
    std::printf("  emulator exit: %d\n", nFleetExit);
    return bSaved && nPagesSaved == 4 && nSuccess == nRows && nRows == nCount && nFleetExit == 0 ? 0 : 1;
}
