// bench_onvif: a fleet of 128 cameras of our own protocol and 128 ONVIF-only cameras on loopback.
// Measures through the device library: search completeness and time (every pass must list all 256,
// each camera once), and for the ONVIF cameras login + one read (time server, command 41) + logout,
// p50 / p99, and the live preview's first frame over RTSP (start to first decoded picture, and the
// stop) on 16 of them. Needs root (ONVIF cameras listen on ports 80 and 554). Exits non-zero when a
// pass is incomplete or an operation fails.

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include "benchsupport.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"

namespace {

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

std::atomic<long> g_firstFrameOf{0}; // the stream whose first picture is awaited; 0 once seen

void onFrame(const SDK_TEST_FRAME_INFO* info, void*)
{
    long expected = info->lRealHandle;
    if (!info->bEnded)
        g_firstFrameOf.compare_exchange_strong(expected, 0);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption camsimOpt(QStringLiteral("camsim"), QStringLiteral("Emulator executable."),
                                       QStringLiteral("PATH"));
    const QCommandLineOption passesOpt(QStringLiteral("passes"), QStringLiteral("Search passes."), QStringLiteral("N"),
                                       QStringLiteral("5"));
    const QCommandLineOption waitOpt(QStringLiteral("wait-ms"), QStringLiteral("Search wait time."),
                                     QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"), QStringLiteral("Login rounds over the ONVIF cameras."),
                                       QStringLiteral("N"), QStringLiteral("3"));
    parser.addOptions({camsimOpt, passesOpt, waitOpt, roundsOpt});
    parser.process(app);
    if (::geteuid() != 0) {
        std::fprintf(stderr, "bench_onvif: ONVIF cameras listen on port 80, which needs root\n");
        return 2;
    }
    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    const int perKind = 128;
    const quint16 wsd = bench::freeUdpPort();
    qputenv("VANTREL_ONVIF_DISCOVERY_PORT", QByteArray::number(wsd));

    bench::FleetSpec fleetSpec;
    fleetSpec.camsim = bench::camsimPath(parser.value(camsimOpt), VANTREL_CAMSIM_PATH);
    fleetSpec.count = 2 * perKind;
    fleetSpec.firstAddress = QStringLiteral("127.0.72.10");
    fleetSpec.fleetId = 0xb7;
    fleetSpec.models = QStringLiteral("IPC-A,IPC-O"); // even: our protocol, odd: ONVIF only
    fleetSpec.discoveryPort = bench::freeUdpPort();
    fleetSpec.extraArguments = {QStringLiteral("--password"), QStringLiteral("bench"),
                                QStringLiteral("--onvif-discovery-port"), QString::number(wsd)};
    QTemporaryDir dir;
    bench::Fleet fleet;
    QString error;
    if (!fleet.start(fleetSpec, dir.filePath(QStringLiteral("camsim.log")), error)) {
        std::fprintf(stderr, "bench_onvif: %s\n%s\n", qPrintable(error), fleet.logTail().constData());
        return 1;
    }
    sdkInit(nullptr, nullptr);
    sdkSetup(5000, 1);
    sdkSetNetOptions("127.255.255.255", fleetSpec.discoveryPort, 1);

    // Search passes.
    const int passes = parser.value(passesOpt).toInt();
    const int waitMs = parser.value(waitOpt).toInt();
    std::vector<char> buffer(256 * sizeof(SDK_CONFIG_NET_COMMON_V2));
    std::vector<std::string> onvifAddresses;
    bool complete = true;
    std::printf("search: %d native + %d ONVIF-only cameras, wait %d ms\n", perKind, perKind, waitMs);
    for (int pass = 0; pass < passes; ++pass) {
        int length = 0;
        const auto start = bench::Clock::now();
        const int ok = sdkSearchDevice(buffer.data(), int(buffer.size()), &length, waitMs);
        const double ms = bench::msBetween(start, bench::Clock::now());
        int native = 0, onvif = 0;
        std::set<std::string> macs;
        onvifAddresses.clear();
        for (int i = 0; i < length / int(sizeof(SDK_CONFIG_NET_COMMON_V2)); ++i) {
            SDK_CONFIG_NET_COMMON_V2 r;
            std::memcpy(&r, buffer.data() + i * sizeof r, sizeof r);
            macs.insert(r.mac);
            if (r.ports[1] == 80) {
                ++onvif;
                char ip[16];
                std::snprintf(ip, sizeof ip, "%d.%d.%d.%d", r.hostIp[0], r.hostIp[1], r.hostIp[2], r.hostIp[3]);
                onvifAddresses.push_back(ip);
            } else {
                ++native;
            }
        }
        const bool whole = ok && native == perKind && onvif == perKind && macs.size() == std::size_t(2 * perKind);
        complete = complete && whole;
        std::printf("  pass %d: %d native, %d ONVIF, %zu distinct MACs, %.0f ms%s\n", pass + 1, native, onvif,
                    macs.size(), ms, whole ? "" : "  INCOMPLETE");
    }

    // Login + read + logout on every ONVIF camera, a few rounds.
    std::vector<double> logins, reads, logouts, totals;
    int failures = 0;
    const int rounds = parser.value(roundsOpt).toInt();
    for (int round = 0; round < rounds; ++round) {
        for (const std::string& ip : onvifAddresses) {
            const auto t0 = bench::Clock::now();
            SDK_DEVICE_INFO info;
            int err = 0;
            const long handle = sdkLogin(ip.c_str(), 80, "admin", "bench", &info, 1, &err);
            const auto t1 = bench::Clock::now();
            char record[216];
            unsigned long size = 0;
            const long read = handle > 0 ? sdkGetConfig(handle, 41, -1, record, sizeof record, &size, 3000) : 0;
            const auto t2 = bench::Clock::now();
            if (handle > 0)
                sdkLogout(handle);
            const auto t3 = bench::Clock::now();
            if (handle <= 0 || read != 1) {
                ++failures;
                continue;
            }
            logins.push_back(bench::msBetween(t0, t1));
            reads.push_back(bench::msBetween(t1, t2));
            logouts.push_back(bench::msBetween(t2, t3));
            totals.push_back(bench::msBetween(t0, t3));
        }
    }
    std::printf("ONVIF, %zu samples (%d failed):\n", totals.size(), failures);
    auto line = [](const char* name, const std::vector<double>& v) {
        std::printf("  %-22s p50 %7.2f ms   p99 %7.2f ms\n", name, percentile(v, 0.5), percentile(v, 0.99));
    };
    line("login", logins);
    line("read (command 41)", reads);
    line("logout", logouts);
    line("login + read + logout", totals);

    // Live preview: start (GetProfiles, GetStreamUri, RTSP set-up) to the first decoded picture of
    // the main stream (1920 x 1080 H.264), and the stop.
    std::vector<double> firsts, stops;
    sdkTestSetFrameObserver(onFrame, nullptr);
    for (std::size_t i = 0; i < onvifAddresses.size() && i < 16; ++i) {
        int err = 0;
        const long handle = sdkLogin(onvifAddresses[i].c_str(), 80, "admin", "bench", nullptr, 1, &err);
        SDK_CLIENTINFO client = {};
        const auto t0 = bench::Clock::now();
        const long stream = handle > 0 ? sdkStartRealPlay(handle, &client) : 0;
        if (stream > 0) {
            g_firstFrameOf.store(stream);
            while (g_firstFrameOf.load() == stream && bench::msBetween(t0, bench::Clock::now()) < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto t1 = bench::Clock::now();
        const bool seen = stream > 0 && g_firstFrameOf.load() == 0;
        if (stream > 0)
            sdkStopRealPlay(stream, nullptr);
        const auto t2 = bench::Clock::now();
        if (handle > 0)
            sdkLogout(handle);
        if (!seen) {
            ++failures;
            continue;
        }
        firsts.push_back(bench::msBetween(t0, t1));
        stops.push_back(bench::msBetween(t1, t2));
    }
    sdkTestSetFrameObserver(nullptr, nullptr);
    std::printf("ONVIF preview, %zu samples:\n", firsts.size());
    line("first frame", firsts);
    line("stop", stops);
    sdkCleanup();
    fleet.stop();
    return complete && failures == 0 && !totals.empty() && !firsts.empty() ? 0 : 1;
}
