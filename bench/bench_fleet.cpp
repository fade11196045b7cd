// bench_fleet: starts an emulated fleet (256 cameras by default) on its own loopback range and
// discovery port, then measures through the device library what an installer's batch feels:
// search completeness and time, per-device login / read / write / logout latency, and the
// emulator's memory and idle CPU. Several fleet sizes (--count 256,1024) run one after the other in
// one invocation, and the ratio of their per-device p50 shows whether a request's cost grows with
// the fleet. Prints a table; exits non-zero when the fleet is not found completely or a device
// operation fails.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "emulatorprocess.h"
#include "netsdk/netsdk.h"

namespace {

using Clock = std::chrono::steady_clock;

// The network record that every camera has and that a write leaves unchanged in meaning: the
// time-server settings. Read it, write the same bytes back.
constexpr unsigned long kBenchCommand = 41;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Options
{
    QString camsim;
    std::vector<int> counts{256};
    int count = 256; ///< of the fleet being measured
    QString firstAddress = QStringLiteral("127.0.64.10");
    int fleetId = 0xbe;
    quint16 discoveryPort = 0;
    int passes = 5;
    int searchWaitMs = 3000;
    int threads = 8;
    int idleSeconds = 5;
};

struct Emulator
{
    long rssKb = -1;
    long cpuTicks = -1;
};

// VmRSS and utime + stime of a process, from /proc. -1 when unreadable (the process is gone).
Emulator sampleProcess(qint64 pid)
{
    Emulator e;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                e.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
            }
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        // The command name may contain spaces and parentheses: fields count from the last ')'.
        const int close = text.lastIndexOf(')');
        if (close > 0) {
            const QList<QByteArray> fields = text.mid(close + 2).split(' ');
            // Fields after the name start at 3 (state); utime is 14, stime 15.
            if (fields.size() > 12) {
                e.cpuTicks = fields.at(11).toLong() + fields.at(12).toLong();
            }
        }
    }
    return e;
}

double ticksToMs(long ticks)
{
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string macOf(const SDK_CONFIG_NET_COMMON_V2& r)
{
    return std::string(r.mac, strnlen(r.mac, sizeof r.mac));
}

std::string ipOf(const SDK_CONFIG_NET_COMMON_V2& r)
{
    return std::to_string(r.hostIp[0]) + '.' + std::to_string(r.hostIp[1]) + '.' + std::to_string(r.hostIp[2]) + '.' +
           std::to_string(r.hostIp[3]);
}

struct SearchResult
{
    bool callOk = false;
    double ms = 0;
    int records = 0;
    int ours = 0;       ///< distinct MACs of this fleet
    int duplicates = 0; ///< answers of this fleet beyond the first per MAC
    std::vector<SDK_CONFIG_NET_COMMON_V2> cameras;
};

SearchResult search(int capacity, int waitMs, const std::string& macPrefix)
{
    SearchResult result;
    std::vector<SDK_CONFIG_NET_COMMON_V2> buffer(static_cast<size_t>(capacity));
    int length = 0;
    const auto start = Clock::now();
    result.callOk =
        sdkSearchDevice(reinterpret_cast<char*>(buffer.data()),
                        static_cast<int>(buffer.size() * sizeof(SDK_CONFIG_NET_COMMON_V2)), &length, waitMs) != 0;
    result.ms = msSince(start);
    if (length < 0 || static_cast<size_t>(length) > buffer.size() * sizeof(SDK_CONFIG_NET_COMMON_V2)) {
        result.callOk = false;
        return result;
    }
    result.records = length / static_cast<int>(sizeof(SDK_CONFIG_NET_COMMON_V2));
    std::set<std::string> seen;
    for (int i = 0; i < result.records; ++i) {
        const std::string mac = macOf(buffer[i]);
        if (mac.compare(0, macPrefix.size(), macPrefix) != 0) {
            continue;
        }
        if (seen.insert(mac).second) {
            result.cameras.push_back(buffer[i]);
        } else {
            ++result.duplicates;
        }
    }
    result.ours = static_cast<int>(seen.size());
    return result;
}

struct DeviceTimes
{
    double login = 0, read = 0, write = 0, logout = 0;
    bool ok = false;
    std::string failure;
};

DeviceTimes exercise(const SDK_CONFIG_NET_COMMON_V2& camera)
{
    DeviceTimes t;
    const std::string ip = ipOf(camera);
    const unsigned short port = static_cast<unsigned short>(camera.ports[1] > 0 ? camera.ports[1] : 34567);
    SDK_DEVICE_INFO info{};
    int error = 0;
    auto start = Clock::now();
    const long login = sdkLogin(ip.c_str(), port, "admin", "", &info, 0, &error);
    t.login = msSince(start);
    if (login <= 0) {
        t.failure = ip + ": login error " + std::to_string(error);
        return t;
    }
    std::vector<char> record(64 * 1024);
    unsigned long size = 0;
    start = Clock::now();
    const long read = sdkGetConfig(login, kBenchCommand, -1, record.data(), record.size(), &size, 3000);
    t.read = msSince(start);
    long written = 0;
    if (read > 0 && size > 0 && size <= record.size()) {
        start = Clock::now();
        written = sdkSetConfig(login, kBenchCommand, -1, record.data(), size, 3000);
        t.write = msSince(start);
    }
    start = Clock::now();
    const long logout = sdkLogout(login);
    t.logout = msSince(start);
    if (read <= 0 || size == 0) {
        t.failure = ip + ": read error " + std::to_string(sdkGetLastError());
    } else if (written != 1 && written != SDK_ERR_NEED_REBOOT) {
        t.failure = ip + ": write result " + std::to_string(written);
    } else if (logout < 0) {
        t.failure = ip + ": logout result " + std::to_string(logout);
    } else {
        t.ok = true;
    }
    return t;
}

// Nearest-rank percentile of an unsorted sample.
double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(p * values.size()));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

void printLatency(const char* name, const std::vector<double>& v)
{
    std::printf("  %-22s %8.3f %8.3f %8.3f\n", name, percentile(v, 0.50), percentile(v, 0.99), percentile(v, 1.0));
}

bool parseOptions(QCoreApplication& app, Options& opt)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures search, login and configuration latency against an "
                                                    "emulated fleet on loopback."));
    parser.addHelpOption();
    const QCommandLineOption camsim(QStringLiteral("camsim"), QStringLiteral("Emulator executable."),
                                    QStringLiteral("path"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Cameras, or a comma-separated list of fleet sizes measured one "
                                                  "after the other (default 256)."),
                                   QStringLiteral("n[,n...]"), QStringLiteral("256"));
    const QCommandLineOption first(QStringLiteral("first-address"),
                                   QStringLiteral("First camera address (default 127.0.64.10)."),
                                   QStringLiteral("address"), opt.firstAddress);
    const QCommandLineOption port(QStringLiteral("discovery-port"),
                                  QStringLiteral("Discovery port (default: a free one)."), QStringLiteral("port"),
                                  QStringLiteral("0"));
    const QCommandLineOption passes(QStringLiteral("passes"), QStringLiteral("Search passes (default 5)."),
                                    QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption wait(QStringLiteral("search-wait"), QStringLiteral("Search wait in ms (default 3000)."),
                                  QStringLiteral("ms"), QStringLiteral("3000"));
    const QCommandLineOption threads(QStringLiteral("threads"),
                                     QStringLiteral("Threads of the concurrent pass (default 8)."), QStringLiteral("n"),
                                     QStringLiteral("8"));
    const QCommandLineOption idle(QStringLiteral("idle-seconds"),
                                  QStringLiteral("Idle CPU sampling window (default 5)."), QStringLiteral("s"),
                                  QStringLiteral("5"));
    parser.addOptions({camsim, count, first, port, passes, wait, threads, idle});
    parser.process(app);

    opt.camsim = parser.value(camsim);
    if (opt.camsim.isEmpty()) {
        opt.camsim = qEnvironmentVariable("VANTREL_CAMSIM", QStringLiteral(VANTREL_CAMSIM_PATH));
    }
    bool ok = true;
    auto number = [&](const QCommandLineOption& o, int low, int high) {
        bool good = false;
        const int v = parser.value(o).toInt(&good);
        if (!good || v < low || v > high) {
            std::fprintf(stderr, "bad value for --%s\n", qPrintable(o.names().constFirst()));
            ok = false;
        }
        return v;
    };
    opt.counts.clear();
    for (const QString& item : parser.value(count).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool good = false;
        const int v = item.trimmed().toInt(&good);
        if (!good || v < 1 || v > 65536) {
            std::fprintf(stderr, "bad value for --count: %s\n", qPrintable(item));
            ok = false;
        }
        opt.counts.push_back(v);
    }
    ok = ok && !opt.counts.empty();
    opt.firstAddress = parser.value(first);
    opt.discoveryPort = static_cast<quint16>(number(port, 0, 65535));
    opt.passes = number(passes, 1, 1000);
    opt.searchWaitMs = number(wait, 100, 60000);
    opt.threads = number(threads, 1, 256);
    opt.idleSeconds = number(idle, 1, 600);
    return ok;
}

} // namespace

/// One fleet of opt.count cameras, measured and stopped. 0 when everything held; `sessionP50` gets the
/// per-device login+read+logout p50 in ms.
int measureFleet(const Options& opt, double& sessionP50)
{
    QTemporaryDir scratch;
    EmulatorProcess fleet;
    fleet.setProgram(opt.camsim);
    fleet.setLogFile(scratch.filePath(QStringLiteral("camsim.log")));
    QElapsedTimer startup;
    startup.start();
    if (!fleet.start({QStringLiteral("--count"), QString::number(opt.count), QStringLiteral("--first-address"),
                      opt.firstAddress, QStringLiteral("--discovery-port"), QString::number(opt.discoveryPort),
                      QStringLiteral("--fleet-id"), QString::number(opt.fleetId)},
                     120000)) {
        std::fprintf(stderr, "bench_fleet: %s\n%s\n", qPrintable(fleet.errorString()),
                     qPrintable(fleet.diagnostics().right(4000)));
        return 1;
    }
    sessionP50 = 0;
    const qint64 readyMs = startup.elapsed();
    const qint64 pid = fleet.processId();

    std::printf("bench_fleet: %d cameras from %s, discovery port %u, emulator pid %lld\n", fleet.cameraCount(),
                qPrintable(opt.firstAddress), opt.discoveryPort, static_cast<long long>(pid));
    std::printf("  emulator ready after %lld ms\n\n", static_cast<long long>(readyMs));

    const Emulator idleStart = sampleProcess(pid);
    std::this_thread::sleep_for(std::chrono::seconds(opt.idleSeconds));
    const Emulator idleEnd = sampleProcess(pid);

    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
    sdkSetNetOptions("127.255.255.255", opt.discoveryPort, 1);

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "02:56:54:%02x:", opt.fleetId);
    const std::string macPrefix = prefix;

    bool complete = true;
    std::printf("search (buffer of %d records returns when full; wait %d ms)\n", opt.count, opt.searchWaitMs);
    std::printf("  %-6s %-10s %10s %8s\n", "pass", "found", "time ms", "dups");
    std::vector<SDK_CONFIG_NET_COMMON_V2> cameras;
    std::vector<double> searchMs;
    for (int pass = 1; pass <= opt.passes; ++pass) {
        const SearchResult r = search(opt.count, opt.searchWaitMs, macPrefix);
        std::printf("  %-6d %4d/%-5d %10.1f %8d%s\n", pass, r.ours, opt.count, r.ms, r.duplicates,
                    r.callOk ? "" : "  (call failed)");
        complete = complete && r.callOk && r.ours == opt.count;
        searchMs.push_back(r.ms);
        if (r.cameras.size() > cameras.size()) {
            cameras = r.cameras;
        }
    }
    // A buffer with room to spare runs for the whole wait: shows that nothing arrives twice or late.
    const SearchResult full = search(opt.count + 64, opt.searchWaitMs, macPrefix);
    std::printf("  %-6s %4d/%-5d %10.1f %8d  (buffer with room for %d more)\n", "wait", full.ours, opt.count, full.ms,
                full.duplicates, 64);
    complete = complete && full.callOk && full.ours == opt.count && full.duplicates == 0;
    std::printf("  median search time %.1f ms\n\n", percentile(searchMs, 0.5));

    std::sort(cameras.begin(), cameras.end(),
              [](const auto& a, const auto& b) { return std::memcmp(a.hostIp, b.hostIp, 4) < 0; });

    std::vector<double> login, read, write, logout, session;
    int failures = 0;
    for (const auto& camera : cameras) {
        const DeviceTimes t = exercise(camera);
        if (!t.ok) {
            if (++failures <= 5) {
                std::fprintf(stderr, "  %s\n", t.failure.c_str());
            }
            continue;
        }
        login.push_back(t.login);
        read.push_back(t.read);
        write.push_back(t.write);
        logout.push_back(t.logout);
        session.push_back(t.login + t.read + t.logout);
    }
    std::printf("per device, one after the other (%zu of %zu ok)\n", session.size(), cameras.size());
    std::printf("  %-22s %8s %8s %8s\n", "ms", "p50", "p99", "max");
    printLatency("login", login);
    printLatency("read (41)", read);
    printLatency("write (41)", write);
    printLatency("logout", logout);
    printLatency("login+read+logout", session);
    sessionP50 = percentile(session, 0.50);

    // The same work from several threads at once, as a batch with parallel workers would do it.
    std::vector<int> threadFailures(static_cast<size_t>(opt.threads), 0);
    const auto parallelStart = Clock::now();
    {
        std::vector<std::thread> workers;
        for (int t = 0; t < opt.threads; ++t) {
            workers.emplace_back([&, t] {
                for (size_t i = static_cast<size_t>(t); i < cameras.size(); i += static_cast<size_t>(opt.threads)) {
                    if (!exercise(cameras[i]).ok) {
                        ++threadFailures[static_cast<size_t>(t)];
                    }
                }
            });
        }
        for (auto& w : workers) {
            w.join();
        }
    }
    const double parallelMs = msSince(parallelStart);
    int parallelFailures = 0;
    for (int f : threadFailures) {
        parallelFailures += f;
    }
    failures += parallelFailures;
    std::printf("  %d threads: %zu devices login+read+write+logout in %.1f ms (%.0f devices/s), %d failed\n\n",
                opt.threads, cameras.size(), parallelMs, parallelMs > 0 ? cameras.size() * 1000.0 / parallelMs : 0.0,
                parallelFailures);

    sdkCleanup();

    const Emulator afterRun = sampleProcess(pid);
    std::this_thread::sleep_for(std::chrono::seconds(opt.idleSeconds));
    const Emulator afterIdle = sampleProcess(pid);

    auto cpu = [&](const Emulator& a, const Emulator& b) {
        return (a.cpuTicks < 0 || b.cpuTicks < 0) ? -1.0 : ticksToMs(b.cpuTicks - a.cpuTicks);
    };
    const double idleCpu = cpu(idleStart, idleEnd);
    const double afterCpu = cpu(afterRun, afterIdle);
    std::printf("emulator (%d cameras)\n", fleet.cameraCount());
    std::printf("  %-34s %10.1f MB\n", "resident memory, idle", idleStart.rssKb / 1024.0);
    std::printf("  %-34s %10.1f MB\n", "resident memory, after the run", afterRun.rssKb / 1024.0);
    // The kernel counts CPU time in clock ticks (10 ms at 100 Hz): 0 means less than one tick.
    std::printf("  %-34s %10.1f ms (%.2f %%)\n", qPrintable(QStringLiteral("CPU over %1 idle s").arg(opt.idleSeconds)),
                idleCpu, idleCpu / (opt.idleSeconds * 10.0));
    std::printf("  %-34s %10.1f ms\n", "CPU during the run", cpu(idleEnd, afterRun));
    std::printf("  %-34s %10.1f ms (%.2f %%)\n",
                qPrintable(QStringLiteral("CPU over %1 idle s after the run").arg(opt.idleSeconds)), afterCpu,
                afterCpu / (opt.idleSeconds * 10.0));

    const int exitCode = fleet.stop(30000) ? 0 : -1;
    std::printf("  %-34s %10d\n", "exit code on SIGTERM", exitCode);

    if (!complete) {
        std::printf("\nFAIL: the fleet was not found completely in every pass\n");
        return 1;
    }
    if (failures > 0) {
        std::printf("\nFAIL: %d device operations failed\n", failures);
        return 1;
    }
    if (exitCode != 0) {
        std::printf("\nFAIL: the emulator did not stop cleanly\n");
        return 1;
    }
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Options opt;
    if (!parseOptions(app, opt)) {
        return 2;
    }
    if (opt.discoveryPort == 0) {
        opt.discoveryPort = freeUdpPort();
    }
    const int fleetId = opt.fleetId;
    std::vector<double> p50s;
    int rc = 0;
    for (size_t i = 0; i < opt.counts.size(); ++i) {
        // One fleet after the other on the same range and port; each with MACs of its own.
        opt.count = opt.counts[i];
        opt.fleetId = (fleetId + static_cast<int>(i)) & 0xFF;
        if (i > 0) {
            std::printf("\n");
        }
        double p50 = 0;
        rc = std::max(rc, measureFleet(opt, p50));
        p50s.push_back(p50);
    }
    if (opt.counts.size() > 1) {
        std::printf("\nlogin+read+logout p50 by fleet size\n");
        for (size_t i = 0; i < opt.counts.size(); ++i) {
            std::printf("  %6d cameras %8.3f ms  (%.2f x the %d-camera fleet)\n", opt.counts[i], p50s[i],
                        p50s[0] > 0 ? p50s[i] / p50s[0] : 0.0, opt.counts[0]);
        }
    }
    return rc;
}
