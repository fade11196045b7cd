// bench_encode: opening the encode page on each emulated camera model, as the configuration dialog
// does it: the device reads and the capability computation (loadPageData, off the user-interface
// thread in the dialog), then filling the widgets (fillConfig, on it). Each model is opened --rounds
// times over one login; the figures are the median and the slowest opening. Target: every opening
// <= 100 ms on loopback. Exits non-zero when an opening fails or misses the target.

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QTemporaryDir>

#include <netsdk/netsdk.h>

#include "benchsupport.h"
#include "config/CEncodeConfig.h"
#include "config/ConfigLoad.h"
#include "config/ConfigRecords.h"

namespace {

using bench::Clock;
using bench::msBetween;

constexpr double kTargetMs = 100.0;
const char* const kModels[] = {"IPC-A", "IPC-B", "IPC-C", "NVR-8", "HVR-4", "IPC-D"};

double median(std::vector<double> lst)
{
    std::sort(lst.begin(), lst.end());
    return lst.empty() ? 0 : lst[lst.size() / 2];
}

double maxOf(const std::vector<double>& lst)
{
    return lst.empty() ? 0 : *std::max_element(lst.begin(), lst.end());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Opening the encode page on each camera model"));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("emulator executable"),
                                    QStringLiteral("path"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("openings per model (20)"),
                                    QStringLiteral("n"));
    parser.addOptions({camsim, rounds});
    parser.process(app);
    const int nRounds = parser.isSet(rounds) ? parser.value(rounds).toInt() : 20;
    if (nRounds < 1 || nRounds > 1000) {
        std::fprintf(stderr, "bench_encode: --rounds must be 1..1000\n");
        return 2;
    }

    const int nModels = int(std::size(kModels));
    const QString strFirst = QStringLiteral("127.0.68.10");
    QTemporaryDir scratch;
    bench::Fleet fleet;
    bench::FleetSpec setup;
    setup.camsim = bench::camsimPath(parser.value(camsim), VANTREL_CAMSIM_PATH);
    setup.count = nModels;
    setup.firstAddress = strFirst;
    setup.fleetId = 193;
    QStringList lstModels;
    for (const char* szModel : kModels)
        lstModels << QString::fromLatin1(szModel);
    setup.models = lstModels.join(QLatin1Char(','));
    setup.discoveryPort = bench::freeUdpPort();
    QString error;
    if (setup.discoveryPort == 0 || !fleet.start(setup, scratch.filePath(QStringLiteral("camsim.log")), error)) {
        fleet.stop();
        std::fprintf(stderr, "bench_encode: %s\n", qPrintable(error));
        return 1;
    }
    sdkInit(nullptr, nullptr);
    sdkSetNetOptions("127.255.255.255", setup.discoveryPort, 1);

    std::printf("bench_encode: opening the encode page, %d rounds per model, platform %s\n", nRounds,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  %-6s  %21s  %21s  %21s\n", "model", "read+compute p50/max", "fill p50/max", "opening p50/max");
    bool bOk = true;
    const quint32 nFirst = QHostAddress(strFirst).toIPv4Address();
    CEncodeConfig page;
    for (int m = 0; m < nModels; ++m) {
        const QByteArray baAddress = QHostAddress(nFirst + quint32(m)).toString().toLatin1();
        SDK_DEVICE_INFO info{};
        int nError = 0;
        const long lLogin = sdkLogin(baAddress.constData(), 34567, "admin", "", &info, 1, &nError);
        if (lLogin < 1) {
            std::fprintf(stderr, "bench_encode: %s cannot be logged in to (%d)\n", kModels[m], nError);
            bOk = false;
            continue;
        }
        std::vector<double> lstRead, lstFill, lstOpen;
        QByteArray baRecord(EncodeRecord::kSize, '\0');
        for (int r = 0; r < nRounds; ++r) {
            const Clock::time_point start = Clock::now();
            const CPageData data = loadPageData(kPageEncode, lLogin);
            const Clock::time_point read = Clock::now();
            page.fillConfig(data);
            const Clock::time_point filled = Clock::now();
            lstRead.push_back(msBetween(start, read));
            lstFill.push_back(msBetween(read, filled));
            lstOpen.push_back(msBetween(start, filled));
            if (data.nResult < 1 || !page.getConfig(baRecord.data(), int(baRecord.size()))) {
                std::fprintf(stderr, "bench_encode: %s: the opening failed (%ld)\n", kModels[m], data.nResult);
                bOk = false;
                break;
            }
        }
        sdkLogout(lLogin);
        const bool bMet = maxOf(lstOpen) <= kTargetMs;
        bOk = bOk && bMet;
        std::printf("  %-6s  %9.2f / %9.2f  %9.2f / %9.2f  %9.2f / %9.2f  (target <= %.0f ms: %s)\n", kModels[m],
                    median(lstRead), maxOf(lstRead), median(lstFill), maxOf(lstFill), median(lstOpen), maxOf(lstOpen),
                    kTargetMs, bMet ? "met" : "MISSED");
    }
    sdkCleanup();
    const int nFleetExit = fleet.stop();
    std::printf("  emulator exit: %d\n", nFleetExit);
    return bOk && nFleetExit == 0 ? 0 : 1;
}
