// The contract's calls on an ONVIF device: the records the program reads and writes, translated to
// and from device-service operations. What has no ONVIF equivalent fails with SDK_ERR_NOT_SUPPORTED.
// The table of what maps to what is in docs/onvif.md.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "library_state.h"
#include "onvif_client.h"
#include "text_fields.h"

namespace netsdk::onvif {

namespace {

constexpr unsigned long kNetworkCommand = 20;
constexpr unsigned long kFactoryResetCommand = 33;
constexpr unsigned long kTimeServerCommand = 41;
constexpr unsigned long kIpAdaptiveCommand = 274;
constexpr std::size_t kNetworkRecordSize = 144;
constexpr std::size_t kTimeServerRecordSize = 216;
constexpr int kNtpPort = 123; // ONVIF names servers only; the time-server record's port reads as NTP's own

// Upgrade: callback values that end it, as on the native path.
constexpr int kReportSuccess = -1;
constexpr int kReportFailure = -2;
constexpr int kPollMs = 500;
constexpr int kProbeMs = 2000;
constexpr int kMinComebackMs = 60000;
constexpr int kMaxComebackMs = 600000;
constexpr int kUploadMs = 600000;

int callMs(int waitMs)
{
    return waitMs > 0 ? waitMs : options().waitMs;
}

/// SDK_OK as the contract's 1; a code as the failing result.
long result(int rc)
{
    return rc == SDK_OK ? 1 : fail(rc);
}

std::uint32_t maskOf(int prefix)
{
    return prefix <= 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - prefix)) - 1);
}

/// The prefix length of a contiguous mask, or -1.
int prefixOf(const unsigned char mask[4])
{
    const std::uint32_t m = (std::uint32_t(mask[0]) << 24) | (std::uint32_t(mask[1]) << 16) |
                            (std::uint32_t(mask[2]) << 8) | std::uint32_t(mask[3]);
    int prefix = 0;
    while (prefix < 32 && (m & (0x80000000u >> prefix)))
        ++prefix;
    return maskOf(prefix) == m ? prefix : -1;
}

void putMask(int prefix, unsigned char out[4])
{
    const std::uint32_t m = maskOf(prefix);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(m >> (24 - 8 * i));
}

void putI32(char* at, std::int32_t v)
{
    std::memcpy(at, &v, 4); // records are little-endian, as this platform
}

/// "ab:cd:ef:01:02:03" in lower case from a hardware address text, or empty.
std::string macText(const std::string& hw)
{
    std::string hex;
    for (const char c : hw) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c != ':' && c != '-')
            return {};
    }
    if (hex.size() != 12)
        return {};
    std::string mac;
    for (int i = 0; i < 6; ++i)
        mac += (i ? ":" : "") + hex.substr(std::size_t(i) * 2, 2);
    return mac;
}

/// The interface the records describe: the first enabled one with IPv4, else the first.
int primaryInterface(Device& device, ov::NetworkInterface& out, const Deadline& d)
{
    std::vector<ov::NetworkInterface> all;
    const int rc = device.networkInterfaces(all, d);
    if (rc != SDK_OK)
        return rc;
    if (all.empty()) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    out = all.front();
    for (const auto& n : all)
        if (n.enabled && n.ipv4Enabled) {
            out = n;
            break;
        }
    return SDK_OK;
}

int readNetworkRecord(Device& device, SDK_NET_ADDRESS_BLOCK& r, const Deadline& d)
{
    ov::NetworkInterface ni;
    int rc = primaryInterface(device, ni, d);
    std::vector<std::string> gateways;
    if (rc == SDK_OK)
        rc = device.defaultGateway(gateways, d);
    std::string name;
    if (rc == SDK_OK)
        rc = device.hostname(name, d);
    if (rc != SDK_OK)
        return rc;
    std::memset(&r, 0, sizeof r);
    copyBounded(name, r.hostName, sizeof r.hostName);
    if (!ni.address.empty() && !protocol::parseDotted(ni.address, r.hostIp)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    putMask(ni.prefixLength, r.submask);
    if (!gateways.empty() && !protocol::parseDotted(gateways.front(), r.gateway)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    r.ports[1] = device.endpoint().port;
    copyBounded(macText(ni.hwAddress), r.mac, sizeof r.mac);
    return SDK_OK;
}

int writeNetworkRecord(Device& device, const SDK_NET_ADDRESS_BLOCK& want, const Deadline& d)
{
    const int prefix = prefixOf(want.submask);
    if (prefix < 0)
        return SDK_ERR_ILLEGAL_PARAM;
    SDK_NET_ADDRESS_BLOCK now;
    int rc = readNetworkRecord(device, now, d);
    if (rc != SDK_OK)
        return rc;
    ov::NetworkInterface ni;
    if ((rc = primaryInterface(device, ni, d)) != SDK_OK)
        return rc;
    const std::string name = boundedText(want.hostName, sizeof want.hostName);
    if (name != boundedText(now.hostName, sizeof now.hostName) && (rc = device.setHostname(name, d)) != SDK_OK)
        return rc;
    // The gateway first: once the address changes, the device answers elsewhere.
    if (std::memcmp(want.gateway, now.gateway, 4) != 0 &&
        (rc = device.setDefaultGateway(protocol::formatDotted(want.gateway), d)) != SDK_OK)
        return rc;
    bool rebootNeeded = false;
    if ((std::memcmp(want.hostIp, now.hostIp, 4) != 0 || std::memcmp(want.submask, now.submask, 4) != 0 || ni.dhcp) &&
        (rc = device.setNetworkInterface(ni.token, protocol::formatDotted(want.hostIp), prefix, false, rebootNeeded,
                                         d)) != SDK_OK)
        return rc;
    return rebootNeeded ? SDK_ERR_NEED_REBOOT : SDK_OK;
}

// ---- upgrade ---------------------------------------------------------------------------------------

struct Upgrade
{
    long handle = 0;
    long login = 0;
    std::shared_ptr<Device> device;
    std::string path;
    long size = 0;
    ov::FirmwareUpload upload;
    std::string versionBefore;
    fUpgradeCallBack callback = nullptr;
    void* user = nullptr;
    std::recursive_mutex callbackMutex; ///< held around every callback; close takes it
    bool closed = false;
    std::atomic<bool> stop{false};
    std::thread thread;
};

std::mutex g_upgradeMutex;
std::map<long, std::shared_ptr<Upgrade>> g_upgrades;

void report(Upgrade& u, int total, int value)
{
    std::lock_guard<std::recursive_mutex> lock(u.callbackMutex);
    if (!u.closed && u.callback)
        u.callback(u.login, u.handle, total, value, u.user);
}

/// Waits `ms` unless the upgrade is stopped first; false when stopped.
bool waitFor(Upgrade& u, int ms)
{
    const Deadline d(ms);
    while (!d.expired()) {
        if (u.stop.load())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, d.remainingMs())));
    }
    return !u.stop.load();
}

void runUpgrade(Upgrade& u)
{
    if (!waitFor(u, int(std::min<long>(u.upload.uploadDelay, 60)) * 1000))
        return;
    std::string answer;
    long status = 0;
    const int rc = httpUpload(
        u.upload.uploadUri, u.path, u.device->user(), u.device->password(), Deadline(kUploadMs),
        [&u](long sent, long total) {
            if (sent < total)
                report(u, int(total), int(sent));
        },
        u.stop, answer, status);
    if (u.stop.load())
        return;
    if (rc != SDK_OK || status != 200) {
        // The device refused the package (or the transfer broke): it keeps its firmware.
        report(u, int(u.size), kReportFailure);
        return;
    }
    report(u, int(u.size), int(u.size));
    // The device now writes the firmware and restarts; it tells nothing on the way. The upgrade has
    // worked when it answers again with another firmware version.
    const int comeback = int(std::clamp<long>(u.upload.expectedDownTime * 2000, kMinComebackMs, kMaxComebackMs));
    const Deadline end(comeback + options().waitMs);
    bool wentDown = false;
    while (!end.expired()) {
        if (!waitFor(u, kPollMs))
            return;
        const Deadline probe = end.capped(kProbeMs);
        ov::DeviceInformation info;
        int r = u.device->syncClock(probe);
        if (r == SDK_OK)
            r = u.device->deviceInformation(info, probe);
        if (r != SDK_OK) {
            wentDown = true;
            continue;
        }
        if (info.firmwareVersion != u.versionBefore) {
            report(u, int(u.size), kReportSuccess);
            return;
        }
        if (wentDown)
            break; // back with the old firmware: the write failed
    }
    report(u, int(u.size), kReportFailure);
}

void finish(const std::shared_ptr<Upgrade>& u)
{
    {
        std::lock_guard<std::recursive_mutex> lock(u->callbackMutex);
        u->closed = true;
    }
    u->stop.store(true);
    if (!u->thread.joinable())
        return;
    if (u->thread.get_id() == std::this_thread::get_id())
        u->thread.detach();
    else
        u->thread.join();
}

} // namespace

long login(const net::Endpoint& to, const std::string& url, const std::string& user, const std::string& password,
           SDK_DEVICE_INFO* info, int& error)
{
    auto refuse = [&error](int rc) {
        // As on the native path: a garbled or lost exchange is the contract's network error.
        error = rc == SDK_ERR_SOCKET || rc == SDK_ERR_PROTOCOL ? SDK_ERR_NETWORK
                : rc == SDK_ERR_REFUSED_DEST                   ? SDK_ERR_NO_DEVICE
                : rc == SDK_ERR_CONFIG_REJECTED                ? SDK_ERR_LOGIN_UNKNOWN
                                                               : rc;
        return failZero(rc);
    };
    const Deadline deadline(options().waitMs);
    auto device = std::make_shared<Device>(url, to, user, password);
    // The device's clock first: a digest whose creation time it finds stale is refused.
    int rc = device->syncClock(deadline);
    ov::DeviceInformation di;
    if (rc == SDK_OK)
        rc = device->deviceInformation(di, deadline);
    if (rc != SDK_OK)
        return refuse(rc);
    ov::NetworkInterface ni;
    const bool haveInterface = primaryInterface(*device, ni, deadline) == SDK_OK;

    const long handle = addOnvifSession(device);
    if (handle == 0)
        return refuse(SDK_ERR_NOT_INIT);
    if (info) {
        std::memset(info, 0, sizeof *info);
        copyBounded(di.firmwareVersion, info->version, sizeof info->version);
        copyBounded(di.model, info->modelName, sizeof info->modelName);
        copyBounded(di.serialNumber, info->serial, sizeof info->serial);
        copyBounded(di.hardwareId, info->hardwareId, sizeof info->hardwareId);
        if (haveInterface)
            copyBounded(macText(ni.hwAddress), info->mac, sizeof info->mac);
        info->channelCount = 1;
    }
    error = 0;
    return handle;
}

long getConfig(Device& device, unsigned long command, int channel, char* out, unsigned long outSize,
               unsigned long* returned, int waitMs)
{
    if (isEncodeCommand(command))
        return getEncodeConfig(device, command, channel, out, outSize, returned, waitMs);
    const Deadline d(callMs(waitMs));
    std::size_t size = 0;
    if (command == kNetworkCommand)
        size = kNetworkRecordSize;
    else if (command == kTimeServerCommand)
        size = kTimeServerRecordSize;
    else if (command == kIpAdaptiveCommand)
        size = 1;
    else
        return fail(SDK_ERR_NOT_SUPPORTED);
    if (outSize < size) {
        if (returned)
            *returned = size;
        return fail(SDK_ERR_BUFFER_SMALL);
    }
    std::vector<char> record(size, 0);
    int rc = SDK_OK;
    if (command == kNetworkCommand) {
        SDK_NET_ADDRESS_BLOCK block;
        rc = readNetworkRecord(device, block, d);
        std::memcpy(record.data(), &block, size);
    } else if (command == kTimeServerCommand) {
        ov::NtpInformation ntp;
        ov::SystemDateAndTime t;
        rc = device.ntp(ntp, d);
        if (rc == SDK_OK)
            rc = device.systemDateAndTime(t, d);
        record[0] = t.dateTimeType == "NTP" ? 1 : 0;
        if (!ntp.servers.empty())
            copyBounded(ntp.servers.front(), record.data() + 4, 64);
        putI32(record.data() + 72, kNtpPort);
    } else {
        ov::NetworkInterface ni;
        rc = primaryInterface(device, ni, d);
        record[0] = ni.dhcp ? 1 : 0;
    }
    if (rc != SDK_OK)
        return fail(rc);
    std::memcpy(out, record.data(), size);
    if (returned)
        *returned = size;
    return 1;
}

long setConfig(Device& device, unsigned long command, int channel, const char* in, unsigned long size, int waitMs)
{
    if (!in)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    if (isEncodeCommand(command))
        return setEncodeConfig(device, command, channel, in, size, waitMs);
    const Deadline d(callMs(waitMs));
    switch (command) {
    case kNetworkCommand: {
        if (size < kNetworkRecordSize)
            return fail(SDK_ERR_CONFIG_SIZE);
        SDK_NET_ADDRESS_BLOCK block;
        std::memset(&block, 0, sizeof block);
        std::memcpy(&block, in, kNetworkRecordSize);
        return result(writeNetworkRecord(device, block, d));
    }
    case kTimeServerCommand: {
        if (size < kTimeServerRecordSize)
            return fail(SDK_ERR_CONFIG_SIZE);
        std::int32_t port = 0;
        std::memcpy(&port, in + 72, 4);
        if (port != kNtpPort && port != 0)
            return fail(SDK_ERR_NOT_SUPPORTED); // ONVIF has no place for another port
        int rc = device.setNtp(boundedText(in + 4, 64), d);
        if (rc == SDK_OK)
            rc = device.setDateTimeType(in[0] != 0, d);
        return result(rc);
    }
    case kIpAdaptiveCommand: {
        if (size != 1)
            return fail(SDK_ERR_CONFIG_SIZE);
        ov::NetworkInterface ni;
        int rc = primaryInterface(device, ni, d);
        bool rebootNeeded = false;
        if (rc == SDK_OK)
            rc = device.setNetworkInterface(ni.token, std::string(), 0, in[0] != 0, rebootNeeded, d);
        return result(rc == SDK_OK && rebootNeeded ? SDK_ERR_NEED_REBOOT : rc);
    }
    case kFactoryResetCommand:
        // The configuration reset keeps the network settings: ONVIF's soft default.
        return result(device.factoryDefault(false, d));
    default:
        return fail(SDK_ERR_NOT_SUPPORTED);
    }
}

int control(Device& device, int type, int waitMs)
{
    if (type != 0)
        return static_cast<int>(failZero(SDK_ERR_NOT_SUPPORTED));
    const int rc = device.reboot(Deadline(callMs(waitMs)));
    return rc == SDK_OK ? 1 : static_cast<int>(failZero(rc));
}

long setAddress(const KnownDevice& known, const SDK_NET_ADDRESS_BLOCK& block, int waitMs)
{
    Device device(known.url, known.endpoint, boundedText(block.userName, sizeof block.userName),
                  boundedText(block.password, sizeof block.password));
    const Deadline d(callMs(waitMs));
    int rc = device.syncClock(d);
    if (rc == SDK_OK)
        rc = writeNetworkRecord(device, block, d);
    if (rc == SDK_OK) {
        net::Ip4 ip;
        std::memcpy(ip.data(), block.hostIp, 4);
        moved(known.mac, ip);
        return 1;
    }
    return fail(rc);
}

long startUpgrade(long login, const std::shared_ptr<Device>& device, const char* path, fUpgradeCallBack callback,
                  void* user)
{
    if (!path || !*path)
        return failZero(SDK_ERR_ILLEGAL_PARAM);
    auto u = std::make_shared<Upgrade>();
    std::FILE* f = std::fopen(path, "rb");
    if (f) {
        if (std::fseek(f, 0, SEEK_END) == 0)
            u->size = std::ftell(f);
        std::fclose(f);
    }
    if (u->size <= 0 || static_cast<unsigned long>(u->size) > protocol::kMaxUpgradePackage)
        return failZero(SDK_ERR_ILLEGAL_PARAM);
    const Deadline d(options().waitMs);
    ov::DeviceInformation info;
    int rc = device->deviceInformation(info, d);
    if (rc == SDK_OK)
        rc = device->startFirmwareUpgrade(u->upload, d);
    if (rc != SDK_OK)
        return failZero(rc);
    u->handle = nextUpgradeHandle();
    u->login = login;
    u->device = device;
    u->path = path;
    u->versionBefore = info.firmwareVersion;
    u->callback = callback;
    u->user = user;
    {
        std::lock_guard<std::mutex> lock(g_upgradeMutex);
        g_upgrades.emplace(u->handle, u);
    }
    u->thread = std::thread([u] { runUpgrade(*u); });
    return u->handle;
}

bool closeUpgrade(long handle)
{
    std::shared_ptr<Upgrade> u;
    {
        std::lock_guard<std::mutex> lock(g_upgradeMutex);
        const auto it = g_upgrades.find(handle);
        if (it == g_upgrades.end())
            return false;
        u = std::move(it->second);
        g_upgrades.erase(it);
    }
    finish(u);
    return true;
}

void stopAllUpgrades()
{
    std::vector<std::shared_ptr<Upgrade>> all;
    {
        std::lock_guard<std::mutex> lock(g_upgradeMutex);
        for (auto& entry : g_upgrades)
            all.push_back(std::move(entry.second));
        g_upgrades.clear();
    }
    for (const auto& u : all)
        finish(u);
}

} // namespace netsdk::onvif
