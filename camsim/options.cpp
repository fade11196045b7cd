#include "options.h"

#include <cstdio>

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QStringList>

#include "protocol/codec.h"

namespace camsim {

namespace {

constexpr int kMaxCameras = 65536; // the MAC carries the index in two bytes

bool readBool(const Json::Value& object, const char* key, bool& out, std::string& error)
{
    if (!object.isMember(key))
        return true;
    const Json::Value& v = object[key];
    if (v.isBool())
        out = v.asBool();
    else if (v.isInt())
        out = v.asInt() != 0;
    else {
        error = std::string(key) + " must be a boolean";
        return false;
    }
    return true;
}

bool readInt(const Json::Value& object, const char* key, int min, int max, int& out, std::string& error)
{
    if (!object.isMember(key))
        return true;
    const Json::Value& v = object[key];
    if (!v.isInt() || v.asInt() < min || v.asInt() > max) {
        error = std::string(key) + " must be an integer from " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    out = v.asInt();
    return true;
}

bool toInt(const QString& text, int min, int max, int& out)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < min || v > max)
        return false;
    out = v;
    return true;
}

} // namespace

bool Faults::apply(const Json::Value& object, std::string& error)
{
    if (!object.isObject()) {
        error = "faults must be an object";
        return false;
    }
    Faults next = *this;
    if (!readInt(object, "LatencyMs", 0, 600000, next.latencyMs, error) ||
        !readBool(object, "Refuse", next.refuse, error) || !readBool(object, "Drop", next.drop, error) ||
        !readBool(object, "FailWrites", next.failWrites, error) ||
        !readBool(object, "RebootNeeded", next.rebootNeeded, error) ||
        !readBool(object, "Malformed", next.malformed, error) || !readBool(object, "Silent", next.silent, error) ||
        !readInt(object, "LoginCode", INT32_MIN, INT32_MAX, next.loginCode, error) ||
        !readBool(object, "DieMidTransfer", next.dieMidTransfer, error) ||
        !readBool(object, "DieMidWrite", next.dieMidWrite, error) ||
        !readBool(object, "RefuseUpgrade", next.refuseUpgrade, error) ||
        !readInt(object, "AddressApplyMs", 0, 600000, next.addressApplyMs, error) ||
        !readBool(object, "AddressAtReboot", next.addressAtReboot, error) ||
        !readInt(object, "FailRead", 0, INT32_MAX, next.failRead, error) ||
        !readInt(object, "FailWrite", 0, INT32_MAX, next.failWrite, error))
        return false;
    *this = next;
    return true;
}

Json::Value Faults::toJson() const
{
    Json::Value v(Json::objectValue);
    v["LatencyMs"] = latencyMs;
    v["Refuse"] = refuse;
    v["Drop"] = drop;
    v["FailWrites"] = failWrites;
    v["RebootNeeded"] = rebootNeeded;
    v["Malformed"] = malformed;
    v["Silent"] = silent;
    v["LoginCode"] = loginCode;
    v["DieMidTransfer"] = dieMidTransfer;
    v["DieMidWrite"] = dieMidWrite;
    v["RefuseUpgrade"] = refuseUpgrade;
    v["AddressApplyMs"] = addressApplyMs;
    v["AddressAtReboot"] = addressAtReboot;
    v["FailRead"] = failRead;
    v["FailWrite"] = failWrite;
    return v;
}

std::uint32_t FleetOptions::addressOf(int index) const
{
    if (index >= count)
        return foreignAddress + static_cast<std::uint32_t>(index - count);
    if (sameAddress <= 1)
        return firstAddress + static_cast<std::uint32_t>(index);
    if (index < sameAddress)
        return firstAddress;
    return firstAddress + static_cast<std::uint32_t>(index - sameAddress + 1);
}

const Model& FleetOptions::modelOf(int index) const
{
    return *models[static_cast<std::size_t>(index) % models.size()];
}

bool FleetOptions::faultApplies(int index) const
{
    return faultCameras.empty() || faultCameras.count(index) != 0;
}

std::string macFor(int fleetId, int index)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:56:54:%02x:%02x:%02x", fleetId & 0xFF, (index >> 8) & 0xFF, index & 0xFF);
    return text;
}

std::string serialFor(const std::string& mac)
{
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(mac), QCryptographicHash::Sha256).left(8);
    return digest.toHex().toStdString();
}

std::string dotted(std::uint32_t address)
{
    const std::uint8_t bytes[4] = {std::uint8_t(address >> 24), std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                                   std::uint8_t(address)};
    return protocol::formatDotted(bytes);
}

bool parseAddress(const std::string& text, std::uint32_t& out)
{
    std::uint8_t bytes[4];
    if (!protocol::parseDotted(text, bytes))
        return false;
    out = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
          std::uint32_t(bytes[3]);
    return true;
}

ParseOutcome parseOptions(const QStringList& args, FleetOptions& out, std::string& error, std::string& helpText)
{
    QCommandLineParser p;
    p.setApplicationDescription("Camera emulator: a fleet of emulated cameras on loopback addresses.");
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    auto opt = [&p](const char* name, const char* text, const char* value = nullptr, const char* def = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(text));
        if (value)
            o.setValueName(QString::fromLatin1(value));
        if (def)
            o.setDefaultValue(QString::fromLatin1(def));
        p.addOption(o);
        return o;
    };
    const auto count = opt("count", "Cameras on loopback addresses.", "N", "4");
    const auto firstAddress =
        opt("first-address", "Address of the first camera; the next ones follow.", "A", "127.0.0.10");
    const auto sameAddress = opt("same-address", "The first K cameras all take the first address.", "K", "0");
    const auto foreign = opt("foreign", "K more cameras on addresses outside 127.0.0.0/8.", "K", "0");
    const auto foreignAddress = opt("foreign-address", "Address of the first foreign camera.", "A", "192.168.1.10");
    const auto modelsOpt =
        opt("models", "Comma-separated model names, assigned round-robin (\"all\" = every model).", "LIST", "all");
    const auto password = opt("password", "Admin password of every camera.", "P", "");
    const auto stateDir = opt("state-dir", "Directory of the per-camera state files (default: memory only).", "DIR");
    const auto rebootMs = opt("reboot-ms", "How long a reboot keeps a camera unreachable.", "MS", "3000");
    const auto upgradeMs = opt("upgrade-ms", "How long writing new firmware takes.", "MS", "3000");
    const auto servicePort = opt("service-port", "TCP login port of every camera.", "P", "34567");
    const auto upgradePort = opt("upgrade-port", "TCP upgrade port of every camera.", "P", "34560");
    const auto discoveryPort = opt("discovery-port", "UDP discovery port.", "P", "34569");
    const auto controlPort = opt("control-port", "TCP control port on 127.0.0.1 (0 = any free port).", "P", "0");
    const auto onvif = opt("onvif", "Every camera speaks ONVIF as well (model IPC-O speaks only ONVIF).");
    const auto onvifPort = opt("onvif-port", "TCP port of the ONVIF services on each camera's address.", "P", "80");
    const auto rtspPort =
        opt("rtsp-port", "TCP port of the ONVIF cameras' RTSP streams on each camera's address.", "P", "554");
    const auto onvifDiscoveryPort = opt(
        "onvif-discovery-port", "UDP port of the ONVIF cameras' WS-Discovery (0.0.0.0, never a group).", "P", "3702");
    const auto onvifReplays = opt("onvif-accept-replays",
                                  "Accept a UsernameToken seen before (some ONVIF clients repeat nonce and time within "
                                  "a millisecond); replays then pass. Off: refused within the 300 s window.");
    const auto onvifClockOffset =
        opt("onvif-clock-offset", "Seconds the ONVIF cameras' clocks run ahead of the host's (negative: behind).", "S",
            "0");
    const auto fleetId = opt("fleet-id", "0..255, the fourth byte of every MAC.", "N", "0");
    const auto lockAfter = opt("lock-after", "Consecutive wrong proofs that lock the user.", "N", "5");
    const auto lockMs = opt("lock-ms", "How long a locked user stays locked.", "MS", "30000");
    const auto maxSessions = opt("max-sessions", "Sessions per user; beyond, a login answers -11305.", "N", "32");
    const auto maxConnections =
        opt("max-connections", "Connections per camera; beyond, a hello answers 7.", "N", "128");
    const auto loginTimeoutMs =
        opt("login-timeout-ms", "A connection that has not logged in within this time is closed.", "MS", "5000");
    const auto blacklist = opt("blacklist", "A user whose login answers -11304 (may be repeated).", "USER");
    const auto faultCameras = opt("fault-cameras",
                                  "Comma-separated camera indexes the fault options apply to "
                                  "(default: all).",
                                  "LIST");
    const auto latency = opt("latency-ms", "Fault: delay every answer.", "MS", "0");
    const auto refuse = opt("refuse", "Fault: refuse TCP connections.");
    const auto drop = opt("drop", "Fault: accept and close TCP connections at once.");
    const auto failWrites = opt("fail-writes", "Fault: configuration writes answer -11200.");
    const auto rebootNeeded = opt("reboot-needed", "Fault: stored writes answer -11401.");
    const auto malformed = opt("malformed", "Fault: every answer is replaced by bad bytes.");
    const auto silent = opt("silent", "Fault: requests are never answered.");
    const auto loginCode = opt("login-code", "Fault: every login result carries this Ret (0 = off).", "N", "0");
    const auto dieMidTransfer = opt("die-mid-transfer", "Fault: die once half an upgrade package has arrived.");
    const auto dieMidWrite = opt("die-mid-write", "Fault: die halfway through writing new firmware.");
    const auto refuseUpgrade = opt("refuse-upgrade", "Fault: refuse upgrade requests.");
    const auto addressApplyMs = opt("address-apply-ms",
                                    "Fault: an address change without login answers at once but moves the camera "
                                    "this much later.",
                                    "MS", "0");
    const auto addressAtReboot =
        opt("address-at-reboot", "Fault: an address change without login answers -11401 and moves the camera at "
                                 "its next reboot.");

    helpText = p.helpText().toStdString();
    if (!p.parse(args)) {
        error = p.errorText().toStdString();
        return ParseOutcome::Error;
    }
    if (p.isSet(help))
        return ParseOutcome::Help;
    if (p.isSet(version))
        return ParseOutcome::Version;
    if (!p.positionalArguments().isEmpty()) {
        error = "unexpected argument: " + p.positionalArguments().first().toStdString();
        return ParseOutcome::Error;
    }

    FleetOptions o;
    auto intOpt = [&](const QCommandLineOption& option, int min, int max, int& target) {
        if (toInt(p.value(option), min, max, target))
            return true;
        error = "--" + option.names().first().toStdString() + " must be a number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
    };
    auto portOpt = [&](const QCommandLineOption& option, int min, std::uint16_t& target) {
        int v = 0;
        if (!intOpt(option, min, 65535, v))
            return false;
        target = static_cast<std::uint16_t>(v);
        return true;
    };
    int latencyMs = 0, loginCodeValue = 0, addressApplyValue = 0;
    if (!intOpt(count, 0, kMaxCameras, o.count) || !intOpt(sameAddress, 0, kMaxCameras, o.sameAddress) ||
        !intOpt(foreign, 0, kMaxCameras, o.foreign) || !intOpt(rebootMs, 0, 3600000, o.rebootMs) ||
        !intOpt(upgradeMs, 0, 3600000, o.upgradeMs) || !portOpt(servicePort, 1, o.servicePort) ||
        !portOpt(upgradePort, 1, o.upgradePort) || !portOpt(discoveryPort, 1, o.discoveryPort) ||
        !portOpt(controlPort, 0, o.controlPort) || !intOpt(fleetId, 0, 255, o.fleetId) ||
        !portOpt(onvifPort, 1, o.onvifPort) || !portOpt(rtspPort, 1, o.rtspPort) ||
        !portOpt(onvifDiscoveryPort, 1, o.onvifDiscoveryPort) ||
        !intOpt(onvifClockOffset, -86400 * 365, 86400 * 365, o.onvifClockOffsetS) ||
        !intOpt(lockAfter, 1, 1000000, o.lockAfter) || !intOpt(lockMs, 0, 86400000, o.lockMs) ||
        !intOpt(maxSessions, 0, 1000000, o.maxSessions) || !intOpt(maxConnections, 0, 1000000, o.maxConnections) ||
        !intOpt(loginTimeoutMs, 1, 3600000, o.loginTimeoutMs) || !intOpt(latency, 0, 600000, latencyMs) ||
        !intOpt(addressApplyMs, 0, 600000, addressApplyValue) ||
        !toInt(p.value(loginCode), INT32_MIN, INT32_MAX, loginCodeValue)) {
        if (error.empty())
            error = "--login-code must be a number";
        return ParseOutcome::Error;
    }
    if (o.count + o.foreign > kMaxCameras) {
        error = "--count plus --foreign must not exceed " + std::to_string(kMaxCameras);
        return ParseOutcome::Error;
    }
    if (o.sameAddress > o.count) {
        error = "--same-address must not exceed --count";
        return ParseOutcome::Error;
    }
    if (!parseAddress(p.value(firstAddress).toStdString(), o.firstAddress)) {
        error = "--first-address must be a dotted IPv4 address";
        return ParseOutcome::Error;
    }
    if (!parseAddress(p.value(foreignAddress).toStdString(), o.foreignAddress)) {
        error = "--foreign-address must be a dotted IPv4 address";
        return ParseOutcome::Error;
    }
    if (o.count > 0 && std::uint64_t(o.firstAddress) + std::uint64_t(o.count) > 0x100000000ull) {
        error = "--first-address leaves no room for --count cameras";
        return ParseOutcome::Error;
    }
    if (o.foreign > 0) {
        if (std::uint64_t(o.foreignAddress) + std::uint64_t(o.foreign) > 0x100000000ull) {
            error = "--foreign-address leaves no room for --foreign cameras";
            return ParseOutcome::Error;
        }
        const std::uint32_t last = o.foreignAddress + std::uint32_t(o.foreign - 1);
        if (isLoopbackAddress(o.foreignAddress) || isLoopbackAddress(last) ||
            (o.foreignAddress < 0x7F000000u && last > 0x7FFFFFFFu)) {
            error = "--foreign-address must keep every foreign camera outside 127.0.0.0/8";
            return ParseOutcome::Error;
        }
    }

    const QString modelList = p.value(modelsOpt).trimmed();
    if (modelList.isEmpty() || modelList == QLatin1String("all")) {
        for (const Model& m : models())
            o.models.push_back(&m);
    } else {
        for (const QString& name : modelList.split(QLatin1Char(','))) {
            const Model* m = findModel(name.trimmed().toStdString());
            if (!m) {
                error = "unknown model: " + name.trimmed().toStdString();
                return ParseOutcome::Error;
            }
            o.models.push_back(m);
        }
    }

    o.password = p.value(password).toStdString();
    o.stateDir = p.value(stateDir).toStdString();
    for (const QString& user : p.values(blacklist))
        o.blacklist.insert(user.toStdString());

    if (p.isSet(faultCameras)) {
        for (const QString& item : p.value(faultCameras).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            int index = 0;
            if (!toInt(item.trimmed(), 0, o.total() - 1, index)) {
                error = "--fault-cameras: no camera " + item.trimmed().toStdString();
                return ParseOutcome::Error;
            }
            o.faultCameras.insert(index);
        }
    }
    o.faults.latencyMs = latencyMs;
    o.onvif = p.isSet(onvif);
    o.onvifReplays = p.isSet(onvifReplays);
    o.faults.refuse = p.isSet(refuse);
    o.faults.drop = p.isSet(drop);
    o.faults.failWrites = p.isSet(failWrites);
    o.faults.rebootNeeded = p.isSet(rebootNeeded);
    o.faults.malformed = p.isSet(malformed);
    o.faults.silent = p.isSet(silent);
    o.faults.loginCode = loginCodeValue;
    o.faults.dieMidTransfer = p.isSet(dieMidTransfer);
    o.faults.dieMidWrite = p.isSet(dieMidWrite);
    o.faults.refuseUpgrade = p.isSet(refuseUpgrade);
    o.faults.addressApplyMs = addressApplyValue;
    o.faults.addressAtReboot = p.isSet(addressAtReboot);

    out = std::move(o);
    return ParseOutcome::Run;
}

} // namespace camsim
