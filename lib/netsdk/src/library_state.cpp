#include "library_state.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "onvif_client.h"
#include "session.h"

namespace netsdk {

namespace {

thread_local long t_lastError = 0;

std::atomic<unsigned long> g_badFrames{0};
std::atomic<bool> g_initialised{false};
// Handles keep growing across sdkCleanup so that a stale handle never names a later login.
std::atomic<long> g_nextHandle{1};

std::mutex g_mutex; // guards g_options and g_sessions
Options g_options;
std::map<long, std::shared_ptr<Session>> g_sessions;
std::map<long, std::shared_ptr<onvif::Device>> g_onvifSessions;
std::atomic<long> g_nextUpgradeHandle{1};

const net::Ip4 kLimitedBroadcast{255, 255, 255, 255};
const net::Ip4 kLoopbackBroadcast{127, 255, 255, 255};

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

/// Comma-separated items, trimmed; empty items are left out.
std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t pos = 0;
    for (;;) {
        const auto comma = text.find(',', pos);
        const std::string item = trim(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (!item.empty())
            items.push_back(item);
        if (comma == std::string::npos)
            return items;
        pos = comma + 1;
    }
}

bool envFlag(const char* name)
{
    const char* v = std::getenv(name);
    return v && std::string(v) == "1";
}

Options optionsFromEnvironment()
{
    Options o;
    if (const char* list = std::getenv("VANTREL_BROADCAST")) {
        // A malformed entry is ignored; the well-formed ones are kept.
        for (const auto& item : splitList(list)) {
            net::Ip4 ip;
            if (protocol::parseDotted(item, ip.data()) && ip != kLimitedBroadcast)
                o.broadcast.push_back(ip);
        }
    }
    if (const char* port = std::getenv("VANTREL_DISCOVERY_PORT")) {
        char* end = nullptr;
        const long value = std::strtol(port, &end, 10);
        if (end != port && *end == '\0' && value > 0 && value <= 65535)
            o.discoveryPort = static_cast<std::uint16_t>(value);
    }
    o.loopbackForced = envFlag("VANTREL_LOOPBACK_ONLY");
    o.loopbackOnly = o.loopbackForced;
    return o;
}

} // namespace

long fail(long code)
{
    t_lastError = code;
    return code;
}

long failZero(long code)
{
    t_lastError = code;
    return 0;
}

long lastError()
{
    return t_lastError;
}

bool isInitialised()
{
    return g_initialised.load();
}

bool initialise()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_initialised.load())
        return false;
    g_options = optionsFromEnvironment();
    g_initialised.store(true);
    return true;
}

std::vector<std::shared_ptr<Session>> shutdownState()
{
    std::vector<std::shared_ptr<Session>> out;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_initialised.store(false);
    for (auto& entry : g_sessions)
        out.push_back(std::move(entry.second));
    g_sessions.clear();
    g_onvifSessions.clear(); // nothing to close: ONVIF requests hold no connection between calls
    g_options = Options();
    return out;
}

Options options()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_options;
}

bool updateOptions(const std::function<void(Options&)>& change)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_initialised.load())
        return false;
    change(g_options);
    return true;
}

long addSession(std::shared_ptr<Session> session)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_initialised.load())
        return 0;
    const long handle = g_nextHandle.fetch_add(1);
    g_sessions.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> findSession(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_sessions.find(handle);
    return it == g_sessions.end() ? nullptr : it->second;
}

std::shared_ptr<Session> takeSession(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_sessions.find(handle);
    if (it == g_sessions.end())
        return nullptr;
    auto session = std::move(it->second);
    g_sessions.erase(it);
    return session;
}

long addOnvifSession(std::shared_ptr<onvif::Device> device)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_initialised.load())
        return 0;
    const long handle = g_nextHandle.fetch_add(1);
    g_onvifSessions.emplace(handle, std::move(device));
    return handle;
}

std::shared_ptr<onvif::Device> findOnvifSession(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_onvifSessions.find(handle);
    return it == g_onvifSessions.end() ? nullptr : it->second;
}

std::shared_ptr<onvif::Device> takeOnvifSession(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_onvifSessions.find(handle);
    if (it == g_onvifSessions.end())
        return nullptr;
    auto device = std::move(it->second);
    g_onvifSessions.erase(it);
    return device;
}

long nextUpgradeHandle()
{
    return g_nextUpgradeHandle.fetch_add(1);
}

void countBadFrame()
{
    g_badFrames.fetch_add(1);
}

unsigned long badFrameCount()
{
    return g_badFrames.load();
}

bool parseBroadcastList(const std::string& text, std::vector<net::Ip4>& out)
{
    std::vector<net::Ip4> parsed;
    for (const auto& item : splitList(text)) {
        net::Ip4 ip;
        if (!protocol::parseDotted(item, ip.data()) || ip == kLimitedBroadcast)
            return false;
        parsed.push_back(ip);
    }
    out = parsed;
    return true;
}

std::vector<net::Ip4> broadcastTargets(const Options& o)
{
    std::vector<net::Ip4> candidates = o.broadcast;
    if (candidates.empty()) {
        if (o.loopbackOnly)
            candidates.push_back(kLoopbackBroadcast);
        else
            candidates = net::interfaceBroadcasts();
    }
    std::vector<net::Ip4> out;
    for (const auto& ip : candidates) {
        if (ip == kLimitedBroadcast || ip == net::Ip4{0, 0, 0, 0})
            continue;
        if (o.loopbackOnly && !protocol::isLoopback(ip.data()))
            continue;
        if (std::find(out.begin(), out.end(), ip) == out.end())
            out.push_back(ip);
    }
    return out;
}

std::uint16_t discoveryPort(const Options& o)
{
    return o.discoveryPort ? o.discoveryPort : protocol::kDefaultDiscoveryPort;
}

} // namespace netsdk
