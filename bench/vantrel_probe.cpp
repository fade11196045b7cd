// vantrel-probe: one search through the device library, a table of the answers, then a login to
// the first camera that can be reached, its device information, and a logout. The demo runs it
// against the emulated fleet; it is also a quick manual check of a build.
//
// Exit codes: 0 found and logged in, 1 nothing found, 2 the login failed, 3 bad options.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "netsdk/netsdk.h"

namespace {

// Fixed-size texts from the device are not always terminated: never read past the field.
template <size_t N> std::string text(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

std::string dotted(const unsigned char a[4])
{
    return std::to_string(a[0]) + '.' + std::to_string(a[1]) + '.' + std::to_string(a[2]) + '.' + std::to_string(a[3]);
}

void printTable(const std::vector<SDK_CONFIG_NET_COMMON_V2>& rows)
{
    std::printf("%-3s %-15s %-6s %-17s %-4s %-28s %-20s %s\n", "#", "Address", "Port", "MAC", "Kind", "Version",
                "Host name", "Cloud ID");
    int n = 0;
    for (const auto& r : rows) {
        std::printf("%-3d %-15s %-6d %-17s %-4d %-28s %-20s %s\n", ++n, dotted(r.hostIp).c_str(), r.ports[1],
                    text(r.mac).c_str(), r.deviceKind, text(r.version).c_str(), text(r.hostName).c_str(),
                    text(r.cloudId).c_str());
    }
}

void printDeviceInfo(const SDK_DEVICE_INFO& d)
{
    std::printf("  %-18s %s\n", "model", text(d.modelName).c_str());
    std::printf("  %-18s %s\n", "software version", text(d.version).c_str());
    std::printf("  %-18s %s\n", "hardware version", text(d.hardwareVersion).c_str());
    std::printf("  %-18s %04d-%02d-%02d %02d:%02d:%02d\n", "build", d.buildYear, d.buildMonth, d.buildDay, d.buildHour,
                d.buildMinute, d.buildSecond);
    std::printf("  %-18s %d\n", "device kind", d.deviceKind);
    std::printf("  %-18s %d\n", "channels", d.channelCount);
    std::printf("  %-18s %s\n", "serial", text(d.serial).c_str());
    std::printf("  %-18s %s\n", "MAC", text(d.mac).c_str());
    std::printf("  %-18s %s\n", "hardware id", text(d.hardwareId).c_str());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Searches cameras on loopback, lists them and logs in to the "
                                                    "first one. Sends only inside 127.0.0.0/8."));
    parser.addHelpOption();
    const QCommandLineOption broadcast(QStringLiteral("broadcast"),
                                       QStringLiteral("Broadcast address (default 127.255.255.255)."),
                                       QStringLiteral("address"), QStringLiteral("127.255.255.255"));
    const QCommandLineOption port(QStringLiteral("discovery-port"),
                                  QStringLiteral("Discovery port (default: VANTREL_DISCOVERY_PORT, else 34569)."),
                                  QStringLiteral("port"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("Search wait in ms (default 2000)."),
                                  QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name (default admin)."),
                                  QStringLiteral("name"), QStringLiteral("admin"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password (default empty)."),
                                      QStringLiteral("text"), QString());
    parser.addOptions({broadcast, port, wait, user, password});
    parser.process(app);

    bool ok = true;
    int discoveryPort = qEnvironmentVariableIntValue("VANTREL_DISCOVERY_PORT");
    if (parser.isSet(port)) {
        discoveryPort = parser.value(port).toInt(&ok);
    }
    const int waitMs = ok ? parser.value(wait).toInt(&ok) : 0;
    if (!ok || discoveryPort < 0 || discoveryPort > 65535 || waitMs < 1 || waitMs > 60000) {
        std::fprintf(stderr, "vantrel-probe: bad option value (see --help)\n");
        return 3;
    }

    if (sdkInit(nullptr, nullptr) <= 0 && sdkGetLastError() != 0) {
        std::fprintf(stderr, "vantrel-probe: sdkInit failed (%ld)\n", sdkGetLastError());
        return 1;
    }
    const QByteArray broadcastText = parser.value(broadcast).toLatin1();
    sdkSetNetOptions(broadcastText.constData(), discoveryPort, 1);

    constexpr int kMaxAnswers = 1024;
    std::vector<SDK_CONFIG_NET_COMMON_V2> buffer(kMaxAnswers);
    int length = 0;
    std::printf("searching %s port %d for %d ms ...\n", broadcastText.constData(),
                discoveryPort > 0 ? discoveryPort : 34569, waitMs);
    if (!sdkSearchDevice(reinterpret_cast<char*>(buffer.data()),
                         static_cast<int>(buffer.size() * sizeof(SDK_CONFIG_NET_COMMON_V2)), &length, waitMs)) {
        std::fprintf(stderr, "vantrel-probe: search failed (%ld)\n", sdkGetLastError());
        sdkCleanup();
        return 1;
    }
    const size_t count =
        std::min(buffer.size(), static_cast<size_t>(std::max(length, 0)) / sizeof(SDK_CONFIG_NET_COMMON_V2));
    std::vector<SDK_CONFIG_NET_COMMON_V2> rows(buffer.begin(), buffer.begin() + static_cast<long>(count));
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        const int byAddress = std::memcmp(a.hostIp, b.hostIp, 4);
        return byAddress != 0 ? byAddress < 0 : std::strncmp(a.mac, b.mac, sizeof a.mac) < 0;
    });
    std::printf("%zu camera(s) answered\n\n", rows.size());
    if (rows.empty()) {
        sdkCleanup();
        return 1;
    }
    printTable(rows);

    // Cameras outside the loopback range are listed but cannot be reached from here.
    const auto first = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.hostIp[0] == 127; });
    if (first == rows.end()) {
        std::printf("\nno camera on a loopback address to log in to\n");
        sdkCleanup();
        return 2;
    }
    const std::string address = dotted(first->hostIp);
    const unsigned short servicePort = static_cast<unsigned short>(first->ports[1] > 0 ? first->ports[1] : 34567);
    const QByteArray userName = parser.value(user).toUtf8();
    const QByteArray secret = parser.value(password).toUtf8();
    SDK_DEVICE_INFO info{};
    int error = 0;
    std::printf("\nlogin %s:%u as %s ... ", address.c_str(), servicePort, userName.constData());
    const long handle =
        sdkLogin(address.c_str(), servicePort, userName.constData(), secret.constData(), &info, 0, &error);
    if (handle <= 0) {
        std::printf("failed, error %d\n", error);
        sdkCleanup();
        return 2;
    }
    std::printf("ok (handle %ld)\n", handle);
    printDeviceInfo(info);
    const long out = sdkLogout(handle);
    std::printf("logout: %s\n", out >= 0 ? "ok" : "failed");
    sdkCleanup();
    return out >= 0 ? 0 : 2;
}
