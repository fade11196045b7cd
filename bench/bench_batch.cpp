// bench_batch: a reset batch over 256 emulated cameras through the real main window (offscreen
// unless a platform is chosen). Measures first, directly through the device library, what one
// device costs the emulator (login, reset, logout) for every camera; the batch's floor is that sum
// plus the worker's 100 ms pause per row. Then checks every row, presses ResetConfig with QTest
// and reports the batch's wall time against the floor and the longest stall of the
// user-interface event loop (a 1 ms timer). Exits non-zero when a row does not end with
// "Reset Config Success" or the emulator does not stop cleanly.

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest/QTest>

#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRowPauseMs = 100.0;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, 0) ? probe.localPort() : 0;
}

bool startFleet(const QString& strCamsim, int nCount, quint16 nPort, QProcess& process, const QString& strLog,
                QString& error)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTREL_LOOPBACK_ONLY"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(strLog);
    process.start(strCamsim, {QStringLiteral("--count"), QString::number(nCount), QStringLiteral("--first-address"),
                              QStringLiteral("127.0.67.10"), QStringLiteral("--discovery-port"), QString::number(nPort),
                              QStringLiteral("--fleet-id"), QStringLiteral("192"), QStringLiteral("--models"),
                              QStringLiteral("IPC-A,IPC-B,IPC-C")});
    if (!process.waitForStarted(10000)) {
        error = QStringLiteral("cannot start %1: %2").arg(strCamsim, process.errorString());
        return false;
    }
    QElapsedTimer deadline;
    deadline.start();
    QByteArray baPending;
    while (deadline.elapsed() < 120000) {
        process.waitForReadyRead(200);
        baPending += process.readAllStandardOutput();
        const int nNewline = baPending.indexOf('\n');
        if (nNewline >= 0) {
            if (baPending.startsWith("ready "))
                return true;
            error = QStringLiteral("unexpected first line: ") + QString::fromUtf8(baPending.left(nNewline));
            return false;
        }
        if (process.state() == QProcess::NotRunning) {
            error = QStringLiteral("emulator exited before ready (code %1)").arg(process.exitCode());
            return false;
        }
    }
    error = QStringLiteral("emulator not ready within 120 s");
    return false;
}

int stopFleet(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitCode();
    process.terminate();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

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
    QString strCamsim = parser.value(camsim);
    if (strCamsim.isEmpty())
        strCamsim = qEnvironmentVariable("VANTREL_CAMSIM", QStringLiteral(VANTREL_CAMSIM_PATH));
    const int nCount = parser.isSet(count) ? parser.value(count).toInt() : 256;
    if (nCount < 1 || nCount > 256) {
        std::fprintf(stderr, "bench_batch: --count must be 1..256\n");
        return 2;
    }

    const quint16 nPort = freeUdpPort();
    QTemporaryDir scratch;
    QProcess fleet;
    QString error;
    const QString strLog = scratch.filePath(QStringLiteral("camsim.log"));
    if (nPort == 0 || !startFleet(strCamsim, nCount, nPort, fleet, strLog, error)) {
        stopFleet(fleet);
        std::fprintf(stderr, "bench_batch: %s\n", qPrintable(error));
        return 1;
    }
    if (QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini")))
        std::fprintf(stderr, "bench_batch: warning: a Config.ini beside the benchmark overrides its settings\n");
    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    qputenv("VANTREL_BROADCAST", "127.255.255.255");
    qputenv("VANTREL_DISCOVERY_PORT", QByteArray::number(nPort));

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

        for (int nRow = 0; nRow < nRows; ++nRow)
            pModel->item(nRow, 0)->setCheckState(Qt::Checked);
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        Clock::time_point lastTick = Clock::now();
        Clock::time_point start = lastTick;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            if (msBetween(lastTick, now) > dMaxStallMs) {
                dMaxStallMs = msBetween(lastTick, now);
                dStallEndMs = msBetween(start, now);
            }
            lastTick = now;
        });
        QSignalSpy spyEnd(&window, &CVantrel::releaseCursor);
        ticker.start();
        lastTick = Clock::now();
        start = Clock::now();
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btnReset")), Qt::LeftButton);
        // releaseCursor is queued as the worker's last step but one; the idle flag follows it.
        spyEnd.wait(nRows * 4000 + 10000);
        while (!window.isIdle())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        dWallMs = msBetween(start, Clock::now());
        ticker.stop();
        QCoreApplication::processEvents();
        for (int nRow = 0; nRow < nRows; ++nRow)
            nSuccess += pModel->index(nRow, 3).data().toString() == QStringLiteral("Reset Config Success") ? 1 : 0;
    }
    const int nFleetExit = stopFleet(fleet);

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
