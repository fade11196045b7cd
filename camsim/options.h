#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <QStringList>

#include <json/json.h>

#include "models.h"

namespace camsim {

/// Injected misbehaviour of one camera. Zero / false means the camera behaves.
struct Faults
{
    int latencyMs = 0;            ///< every answer (TCP and UDP) leaves this much later
    bool refuse = false;          ///< TCP listeners closed: connections are refused
    bool drop = false;            ///< connections are accepted and closed at once
    bool failWrites = false;      ///< configuration writes answer -11200 and store nothing
    bool rebootNeeded = false;    ///< stored writes answer -11401
    bool malformed = false;       ///< every answer is replaced by bad bytes
    bool silent = false;          ///< requests are read but never answered
    int loginCode = 0;            ///< non-zero: every login result carries this Ret
    bool dieMidTransfer = false;  ///< the camera dies once half an upgrade package has arrived
    bool dieMidWrite = false;     ///< the camera dies halfway through writing new firmware
    bool refuseUpgrade = false;   ///< upgrade requests are refused (-11804)
    int addressApplyMs = 0;       ///< an address change without login answers at once, moves this much later
    bool addressAtReboot = false; ///< an address change without login answers -11401, moves at the next reboot
    int failRead = 0;             ///< reads of this configuration command answer -11200 (0 = none)
    int failWrite = 0;            ///< writes of this configuration command answer -11200 (0 = none)

    /// Changes only the members present in `object` ("LatencyMs", "Refuse", ...). Returns false
    /// with `error` set, changing nothing, when a member has the wrong type or range.
    bool apply(const Json::Value& object, std::string& error);
    Json::Value toJson() const;
};

/// Everything the command line decides about a fleet.
struct FleetOptions
{
    int count = 4;
    std::uint32_t firstAddress = 0x7F00000A; ///< 127.0.0.10
    int sameAddress = 0;
    int foreign = 0;
    std::uint32_t foreignAddress = 0xC0A8010A; ///< 192.168.1.10
    std::vector<const Model*> models;          ///< round-robin; never empty after parsing
    std::string password;
    std::string stateDir; ///< empty: memory only
    int rebootMs = 3000;
    int upgradeMs = 3000; ///< how long writing new firmware takes
    std::uint16_t servicePort = 34567;
    std::uint16_t upgradePort = 34560;
    std::uint16_t discoveryPort = 34569;
    std::uint16_t controlPort = 0;
    bool onvif = false;           ///< every camera speaks ONVIF as well (ONVIF-only models always do)
    std::uint16_t onvifPort = 80; ///< HTTP port of the ONVIF services on each camera's address
    std::uint16_t rtspPort = 554; ///< RTSP port of the ONVIF cameras' live streams, on each camera's address
    std::uint16_t onvifDiscoveryPort = 3702;
    int onvifClockOffsetS = 0; ///< the cameras' clocks run this far from the host's
    bool onvifReplays = false; ///< accept a repeated UsernameToken (for clients that repeat them)
    int fleetId = 0;
    int lockAfter = 5;
    int lockMs = 30000;
    int maxSessions = 32;
    int maxConnections = 128;
    int loginTimeoutMs = 5000; ///< a connection not logged in by then is closed (plus twice the latency fault)
    std::set<std::string> blacklist;
    Faults faults;              ///< applied at start to faultCameras
    std::set<int> faultCameras; ///< empty: every camera

    int total() const { return count + foreign; }
    /// Address of camera `index` before any saved state is applied (host byte order).
    std::uint32_t addressOf(int index) const;
    const Model& modelOf(int index) const;
    bool speaksOnvif(int index) const { return onvif || !modelOf(index).native; }
    bool faultApplies(int index) const;
};

enum class ParseOutcome
{
    Run,
    Help, ///< --help was given: print the help text and exit 0
    Version,
    Error ///< `error` tells why
};

/// Parses the command line (args[0] is the program name). `helpText` receives the text of --help.
ParseOutcome parseOptions(const QStringList& args, FleetOptions& out, std::string& error, std::string& helpText);

/// "02:56:54:<fleet>:<index high>:<index low>", lower-case.
std::string macFor(int fleetId, int index);
/// 16 lower-case hex digits: the first 8 bytes of SHA-256 of the MAC text.
std::string serialFor(const std::string& mac);

std::string dotted(std::uint32_t address);
bool parseAddress(const std::string& text, std::uint32_t& out);
inline bool isLoopbackAddress(std::uint32_t address)
{
    return (address >> 24) == 127;
}

} // namespace camsim
