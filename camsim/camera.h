#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "media.h"
#include "models.h"
#include "options.h"
#include "protocol/codec.h"
#include "records.h"

namespace camsim {

/// Size of the network record (configuration command 20).
constexpr std::size_t kNetworkRecordSize = 144;
constexpr int kNetworkCommand = 20;

// Result codes the camera answers with.
constexpr int kRetBusy = 7;
constexpr int kRetRefused = -11200;
constexpr int kRetNoCommand = -11201;
constexpr int kRetWrongSize = -11202;
constexpr int kRetWrongPassword = -11301;
constexpr int kRetNoUser = -11302;
constexpr int kRetLocked = -11303;
constexpr int kRetBlacklisted = -11304;
constexpr int kRetTooManySessions = -11305;
constexpr int kRetRebootNeeded = -11401;

/// What the camera tells the network about itself: host name, address and ports.
struct NetworkState
{
    std::string hostName;
    std::uint32_t address = 0; ///< host byte order, first dotted number in the top byte
    std::uint32_t mask = 0xFFFFFF00u;
    std::uint32_t gateway = 0;
    std::int32_t ports[8] = {};
    std::uint8_t flag = 0;

    bool operator==(const NetworkState& o) const;
    bool operator!=(const NetworkState& o) const { return !(*this == o); }
    Json::Value toJson() const;
    bool fromJson(const Json::Value& v);
};

/// One emulated camera, without sockets: identity, records, network state, users, counters and
/// faults. The fleet owns the sockets and reacts to the hooks.
class Camera
{
public:
    Camera(const FleetOptions& options, int index);

    int index() const { return identity_.index; }
    const Identity& identity() const { return identity_; }
    const Model& model() const { return *model_; }
    RecordStore& records() { return records_; }
    const RecordStore& records() const { return records_; }
    const NetworkState& network() const { return network_; }
    bool hasPendingNetwork() const { return hasPending_; }
    const NetworkState& pendingNetwork() const { return pending_; }
    const std::string& version() const { return version_; }
    const FleetOptions& options() const { return *options_; }

    Faults faults;
    MediaState media; ///< live streams and voice talks (the media hub keeps the counts)

    // Life cycle, set by the fleet.
    bool rebooting = false;
    bool dead = false;
    bool live() const { return !rebooting && !dead; }

    // Upgrade, set by the session and the fleet.
    bool upgrading = false;      ///< a package is being written; a second upgrade is refused
    std::string pendingFirmware; ///< version the write in progress installs (empty: keep the old text)
    int upgrades = 0;            ///< firmware writes completed
    /// Installs a written firmware: its version text (when not empty) becomes the camera's.
    void installFirmware(const std::string& version);

    // Counters.
    int sessions = 0;    ///< logged-in sessions now
    int connections = 0; ///< service-port connections now
    int logins = 0;
    int logouts = 0;
    int reboots = 0;
    int badFrames = 0;

    /// Called after every change worth persisting.
    std::function<void(Camera&)> onStateChanged;
    /// Called after the live address changed (listeners must move); `previous` is the old address.
    std::function<void(Camera&, std::uint32_t previous)> onAddressChanged;
    /// Called when an address change without login was stored to be applied `delayMs` from now
    /// (AddressApplyMs fault): the fleet applies it then with applyPendingNetwork.
    std::function<void(Camera&, int delayMs)> onDelayedNetwork;

    // ---- authentication ----
    /// Checks a user and a proof, keeping the lock bookkeeping: 100, -11301, -11302, -11303 or -11304.
    /// `proofMatches` receives the user's key.
    int authenticate(const std::string& user, const std::function<bool(const std::vector<std::uint8_t>&)>& proofMatches,
                     std::int64_t nowMs);
    bool isLocked(const std::string& user, std::int64_t nowMs) const;
    int sessionsOf(const std::string& user) const;
    void addSession(const std::string& user);
    void removeSession(const std::string& user);

    /// Nonces of the address change without login: single use, good for 10 s, and kept per
    /// requesting address, so that a flood of hellos from one host pushes out only its own.
    std::string newNetNonce(std::uint32_t requester, std::int64_t nowMs);
    bool takeNetNonce(std::uint32_t requester, const std::string& nonce, std::int64_t nowMs);

    // ---- network ----
    std::vector<std::uint8_t> networkRecord() const;
    /// Decodes a network record into the state it asks for (address, mask, gateway, host name;
    /// ports, flag and MAC stay the camera's own). False when the bytes cannot be one.
    bool decodeNetworkRecord(const std::vector<std::uint8_t>& record, NetworkState& out) const;
    /// Applies a requested network state: 100 applied now, -11401 stored for the next reboot
    /// (RebootNeeded fault).
    int requestNetworkChange(const NetworkState& next);
    /// The same for an address change without login, which the AddressApplyMs fault delays (100
    /// answered now, the move later) and the AddressAtReboot fault leaves to the next reboot (-11401).
    int requestAddressChange(const NetworkState& next);
    /// At the end of a reboot: applies a stored change. True when something changed.
    bool applyPendingNetwork();

    // ---- configuration ----
    /// A configuration write through the session, faults applied.
    int writeRecord(int command, int channel, const std::vector<std::uint8_t>& data);
    int readRecord(int command, int channel, std::vector<std::uint8_t>& out) const;
    int writeJson(const std::string& name, int command, int channel, const Json::Value& value);

    // ---- what the camera says ----
    protocol::SearchInfo searchInfo(const std::string& token) const;
    Json::Value deviceInfo() const;

    /// Replaces an answer by bad bytes while the Malformed fault is on, rotating between a wrong
    /// start byte, a header announcing a body far beyond any limit, and a broken body.
    std::vector<std::uint8_t> shapeAnswer(std::vector<std::uint8_t> frame);

    // ---- state file ----
    Json::Value saveState() const;
    /// Replaces the network state, firmware and records by a saved state. False (nothing
    /// changed) when the value is not one.
    bool loadState(const Json::Value& state, std::string& error);

    /// Forgets locks, nonces and sessions (a reboot clears the camera's memory).
    void resetVolatile();

private:
    struct User
    {
        std::vector<std::uint8_t> key;
        int failures = 0;
        std::int64_t lockedUntil = 0;
        int sessions = 0;
    };

    void changed();

    const FleetOptions* options_;
    const Model* model_;
    Identity identity_;
    RecordStore records_;
    NetworkState network_;
    NetworkState pending_;
    bool hasPending_ = false;
    std::string version_;
    int buildYear_ = 0, buildMonth_ = 0, buildDay_ = 0;
    std::map<std::string, User> users_;
    struct NonceHost
    {
        std::deque<std::pair<std::string, std::int64_t>> nonces; ///< nonce, expiry
        std::int64_t lastHello = 0;
    };
    std::map<std::uint32_t, NonceHost> netNonces_; ///< by requesting address
    unsigned malformedTurn_ = 0;
};

/// Frame helpers shared by the session, discovery and control code.
std::vector<std::uint8_t> jsonFrame(std::uint16_t messageId, std::uint32_t sessionId, std::uint32_t sequence,
                                    const Json::Value& body);

} // namespace camsim
