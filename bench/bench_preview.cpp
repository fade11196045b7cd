// Live preview through the device library against a real emulator process on loopback: time from
// sdkStartRealPlay to the first decoded (and drawn) picture, glass-to-glass latency (the camera's
// capture time against the moment the picture was drawn), decode time per frame, stop time and
// CPU, at 720p25 and 1080p25, H.264 and H.265, and how fast the camera answers a configuration
// read while it streams. With a display (DISPLAY set) the pictures are drawn
// into a 720 x 480 window as the preview dialog shows them; without one they are decoded only.
//
//   bench_preview [--runs N] [--seconds S] [--camsim PATH]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QWidget>

#include "benchsupport.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"

namespace {

std::mutex g_mutex;
std::vector<SDK_TEST_FRAME_INFO> g_frames;

void observer(const SDK_TEST_FRAME_INFO* info, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_frames.push_back(*info);
}

std::vector<SDK_TEST_FRAME_INFO> framesOf(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<SDK_TEST_FRAME_INFO> out;
    for (const SDK_TEST_FRAME_INFO& f : g_frames)
        if (f.lRealHandle == handle && !f.bEnded)
            out.push_back(f);
    return out;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t rank = std::size_t(std::max(1.0, std::ceil(p / 100.0 * double(v.size()))));
    return v[std::min(v.size(), rank) - 1];
}

void putInt(QByteArray& b, int at, qint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(quint32(v) >> (8 * i));
}

/// A native window the library can draw into, as the preview dialog's video area.
class VideoArea : public QWidget
{
public:
    VideoArea()
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        resize(720, 480);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
};

struct Case
{
    const char* name;
    int compression, resolution, bitRate;
};

} // namespace

int main(int argc, char** argv)
{
    const bool display = qEnvironmentVariableIsSet("DISPLAY");
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"runs", "Starts per case for the first-picture time.", "N", "5"});
    parser.addOption({"seconds", "Seconds of streaming per case for latency, decode time and CPU.", "S", "5"});
    parser.addOption({"camsim", "The emulator to run.", "PATH"});
    parser.process(app);
    const int runs = std::max(1, parser.value("runs").toInt());
    const int seconds = std::max(1, parser.value("seconds").toInt());

    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    bench::Fleet fleet;
    bench::FleetSpec fleetSpec;
    fleetSpec.camsim = bench::camsimPath(parser.value("camsim"), VANTREL_CAMSIM_PATH);
    fleetSpec.count = 1;
    fleetSpec.firstAddress = QStringLiteral("127.0.61.10");
    fleetSpec.fleetId = 191;
    fleetSpec.models = QStringLiteral("IPC-B");
    fleetSpec.discoveryPort = bench::freeUdpPort();
    QString error;
    if (!fleet.start(fleetSpec, QStringLiteral("bench_preview-camsim.log"), error)) {
        std::fprintf(stderr, "bench_preview: %s\n", qPrintable(error));
        return 1;
    }
    sdkInit(nullptr, nullptr);
    sdkTestSetFrameObserver(observer, nullptr);
    int loginError = 0;
    SDK_DEVICE_INFO info;
    const long login = sdkLogin("127.0.61.10", 34567, "admin", "", &info, 1, &loginError);
    if (login <= 0) {
        std::fprintf(stderr, "bench_preview: login failed (%d)\n", loginError);
        return 1;
    }

    std::unique_ptr<VideoArea> area;
    void* window = nullptr;
    if (display) {
        area = std::make_unique<VideoArea>();
        area->show();
        window = reinterpret_cast<void*>(area->winId());
        QApplication::processEvents();
    }
    std::printf("bench_preview: %s, %d starts and %d s of streaming per case\n",
                display ? "drawing into a 720 x 480 window" : "no display: decoding only", runs, seconds);
    std::printf("%-14s %9s %9s %9s | %8s %8s %8s | %8s %8s | %6s %6s | %8s %9s %9s\n", "case", "first p50", "first max",
                "stop max", "lat p50", "lat p95", "lat max", "dec p50", "dec p95", "fps", "drawn", "lib CPU",
                "camsim CPU", "read p99");

    const Case cases[] = {{"720p25 H.264", 7, 11, 2048},
                          {"720p25 H.265", 8, 11, 2048},
                          {"1080p25 H.264", 7, 14, 4096},
                          {"1080p25 H.265", 8, 14, 4096}};
    int failures = 0;
    for (const Case& c : cases) {
        QByteArray entry(396, '\0');
        unsigned long got = 0;
        sdkGetConfig(login, 19, 0, entry.data(), 396, &got, 3000);
        putInt(entry, 0, c.compression);
        putInt(entry, 4, c.resolution);
        putInt(entry, 8, 0); // CBR
        putInt(entry, 16, 25);
        putInt(entry, 20, c.bitRate);
        if (sdkSetConfig(login, 19, 0, entry.data(), 396, 3000) != 1) {
            std::fprintf(stderr, "bench_preview: cannot write the encode entry\n");
            return 1;
        }
        SDK_CLIENTINFO client;
        std::memset(&client, 0, sizeof client);
        client.hWnd = window;

        std::vector<double> first, stops;
        for (int r = 0; r < runs; ++r) {
            const auto started = bench::Clock::now();
            const long handle = sdkStartRealPlay(login, &client);
            if (handle <= 0) {
                ++failures;
                continue;
            }
            while (framesOf(handle).empty() && bench::msBetween(started, bench::Clock::now()) < 5000) {
                QApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const auto shown = bench::Clock::now();
            if (framesOf(handle).empty())
                ++failures;
            else
                first.push_back(bench::msBetween(started, shown));
            const auto stopping = bench::Clock::now();
            sdkStopRealPlay(handle, nullptr);
            stops.push_back(bench::msBetween(stopping, bench::Clock::now()));
        }

        const long handle = sdkStartRealPlay(login, &client);
        const double libBefore = bench::cpuMs(), camsimBefore = bench::cpuMs(fleet.processId());
        const auto started = bench::Clock::now();
        // Meanwhile the camera answers configuration reads: its event loop must not wait for the encoder.
        std::vector<double> requests;
        QByteArray record(216, '\0');
        while (bench::msBetween(started, bench::Clock::now()) < seconds * 1000.0) {
            QApplication::processEvents();
            const auto asked = bench::Clock::now();
            unsigned long size = 0;
            if (sdkGetConfig(login, 41, -1, record.data(), 216, &size, 3000) == 1)
                requests.push_back(bench::msBetween(asked, bench::Clock::now()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double wallMs = bench::msBetween(started, bench::Clock::now());
        const double libCpu = (bench::cpuMs() - libBefore) / wallMs * 100;
        const double camsimCpu = (bench::cpuMs(fleet.processId()) - camsimBefore) / wallMs * 100;
        sdkStopRealPlay(handle, nullptr);
        const std::vector<SDK_TEST_FRAME_INFO> frames = framesOf(handle);
        std::vector<double> latency, decode;
        int drawn = 0;
        for (const SDK_TEST_FRAME_INFO& f : frames) {
            latency.push_back(double(f.llShownMs - f.llCaptureMs));
            decode.push_back(f.nDecodeUs / 1000.0);
            drawn += f.bDrawn;
        }
        const double fps = frames.size() > 1 ? (frames.size() - 1) * 1000.0 /
                                                   double(frames.back().llCaptureMs - frames.front().llCaptureMs)
                                             : 0;
        std::printf("%-14s %7.1fms %7.1fms %7.1fms | %6.0fms %6.0fms %6.0fms | %6.2fms %6.2fms | %6.1f %6d | %7.0f%% "
                    "%8.0f%% %7.2fms\n",
                    c.name, percentile(first, 50), percentile(first, 100), percentile(stops, 100),
                    percentile(latency, 50), percentile(latency, 95), percentile(latency, 100), percentile(decode, 50),
                    percentile(decode, 95), fps, drawn, libCpu, camsimCpu, percentile(requests, 99));
        if (frames.empty())
            ++failures;
    }
    sdkTestSetFrameObserver(nullptr, nullptr);
    sdkLogout(login);
    sdkCleanup();
    const int exitCode = fleet.stop();
    if (exitCode != 0)
        std::fprintf(stderr, "bench_preview: the emulator exited with %d\n", exitCode);
    return failures == 0 && exitCode == 0 ? 0 : 1;
}
