#pragma once

// Process-wide state of the library: the initialised flag, the options, the login table, the
// bad-frame counter and the per-thread last error. One mutex guards the options and the table;
// no I/O ever happens while it is held.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "socket_io.h"

namespace netsdk {

class Session;
namespace onvif {
class Device;
}

constexpr int kDefaultWaitMs = 5000;
constexpr int kDefaultTries = 1;

struct Options
{
    std::vector<net::Ip4> broadcast; ///< empty: every running interface's broadcast address
    std::uint16_t discoveryPort = 0;
    bool loopbackOnly = false;
    bool loopbackForced = false; ///< switched on by the environment; cannot be switched off
    int waitMs = kDefaultWaitMs; ///< login time-out; default for calls given no time-out
    int tries = kDefaultTries;   ///< connection attempts per login
};

/// Records `code` as the calling thread's last error and returns it.
long fail(long code);
/// Records `code` as the calling thread's last error and returns 0 (the "failed" result of most calls).
long failZero(long code);
long lastError();

bool isInitialised();
/// Initialises from the environment; false when already initialised.
bool initialise();
/// Marks the library uninitialised, resets the options and hands back every open login.
std::vector<std::shared_ptr<Session>> shutdownState();

Options options();
/// Applies `change` to the options under the lock; false when not initialised.
bool updateOptions(const std::function<void(Options&)>& change);

/// Stores a session and returns its new handle (above 0, never reused), or 0 when the library
/// is not initialised any more.
long addSession(std::shared_ptr<Session> session);
std::shared_ptr<Session> findSession(long handle);
std::shared_ptr<Session> takeSession(long handle);

/// The same for a login on an ONVIF device; handles come from the same counter, so a handle names
/// one login of either kind.
long addOnvifSession(std::shared_ptr<onvif::Device> device);
std::shared_ptr<onvif::Device> findOnvifSession(long handle);
std::shared_ptr<onvif::Device> takeOnvifSession(long handle);
/// A new upgrade handle (above 0, never reused), for upgrades of either kind.
long nextUpgradeHandle();

/// Stops every running upgrade and waits for its thread (api_upgrade.cpp); no callback follows.
void stopAllUpgrades();
/// Stops every live stream and voice talk and waits for their threads (api_media.cpp).
void stopAllMedia();

void countBadFrame();
unsigned long badFrameCount();

/// "a.b.c.d,e.f.g.h" -> addresses; false when an entry is not a dotted address or is the
/// limited broadcast address (which would leave through every interface).
bool parseBroadcastList(const std::string& text, std::vector<net::Ip4>& out);
/// Where a search or address change is sent: the configured list, or the interfaces' broadcast
/// addresses (127.255.255.255 when loopback-only), without duplicates, without 255.255.255.255 and,
/// when loopback-only, without anything outside 127.0.0.0/8.
std::vector<net::Ip4> broadcastTargets(const Options& o);
std::uint16_t discoveryPort(const Options& o);

} // namespace netsdk
