#include "camera.h"

#include <algorithm>
#include <cstring>

#include "protocol/frame.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

constexpr std::int64_t kNetNonceLifeMs = 10000;
// A flood of hellos must not grow memory: a few nonces per requesting host, and a bounded number
// of hosts (the one heard from least recently gives way).
constexpr std::size_t kNetNoncesPerHost = 8;
constexpr std::size_t kMaxNonceHosts = 64;
constexpr std::size_t kHostNameRoom = 64;
constexpr std::size_t kMacRoom = 32;
constexpr std::size_t kMaxVersionLength = 127;

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = std::uint8_t(v >> (8 * i));
}

void putAddress(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t address)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = std::uint8_t(address >> (24 - 8 * i));
}

std::uint32_t getAddress(const std::vector<std::uint8_t>& in, std::size_t at)
{
    return (std::uint32_t(in[at]) << 24) | (std::uint32_t(in[at + 1]) << 16) | (std::uint32_t(in[at + 2]) << 8) |
           std::uint32_t(in[at + 3]);
}

void toBytes(std::uint32_t address, std::uint8_t out[4])
{
    for (int i = 0; i < 4; ++i)
        out[i] = std::uint8_t(address >> (24 - 8 * i));
}

bool readAddress(const Json::Value& v, const char* key, std::uint32_t& out)
{
    std::string text;
    return protocol::getString(v, key, text, 15) && parseAddress(text, out);
}

bool readSmallInt(const Json::Value& v, const char* key, std::int64_t min, std::int64_t max, int& out)
{
    std::int64_t n = 0;
    if (!protocol::getInt(v, key, n) || n < min || n > max)
        return false;
    out = static_cast<int>(n);
    return true;
}

} // namespace

bool NetworkState::operator==(const NetworkState& o) const
{
    return hostName == o.hostName && address == o.address && mask == o.mask && gateway == o.gateway &&
           std::equal(std::begin(ports), std::end(ports), std::begin(o.ports)) && flag == o.flag;
}

Json::Value NetworkState::toJson() const
{
    Json::Value v(Json::objectValue);
    v["HostName"] = hostName;
    v["HostIP"] = dotted(address);
    v["Submask"] = dotted(mask);
    v["GateWay"] = dotted(gateway);
    Json::Value list(Json::arrayValue);
    for (std::int32_t p : ports)
        list.append(p);
    v["Ports"] = list;
    v["Flag"] = flag;
    return v;
}

bool NetworkState::fromJson(const Json::Value& v)
{
    NetworkState n;
    int flagValue = 0;
    if (!v.isObject() || !protocol::getString(v, "HostName", n.hostName, kHostNameRoom - 1) ||
        !readAddress(v, "HostIP", n.address) || !readAddress(v, "Submask", n.mask) ||
        !readAddress(v, "GateWay", n.gateway) || !readSmallInt(v, "Flag", 0, 255, flagValue))
        return false;
    const Json::Value& list = v["Ports"];
    if (!list.isArray() || list.size() != 8)
        return false;
    for (Json::ArrayIndex i = 0; i < 8; ++i) {
        if (!list[i].isInt())
            return false;
        n.ports[i] = list[i].asInt();
    }
    n.flag = static_cast<std::uint8_t>(flagValue);
    *this = n;
    return true;
}

Camera::Camera(const FleetOptions& options, int index)
    : options_(&options), model_(&options.modelOf(index)), identity_{index, macFor(options.fleetId, index),
                                                                     serialFor(macFor(options.fleetId, index))},
      records_(*model_, identity_)
{
    network_.hostName = "camera-" + std::to_string(index);
    network_.address = options.addressOf(index);
    network_.mask = 0xFFFFFF00u;
    network_.gateway = (network_.address & 0xFFFFFF00u) | 1u;
    network_.ports[0] = 80;
    network_.ports[1] = options.servicePort;
    network_.ports[2] = 554;
    version_ = model_->version;
    buildYear_ = model_->buildYear;
    buildMonth_ = model_->buildMonth;
    buildDay_ = model_->buildDay;
    users_["admin"].key = protocol::deriveKey("admin", options.password);
    if (options.faultApplies(index))
        faults = options.faults;
}

void Camera::changed()
{
    if (onStateChanged)
        onStateChanged(*this);
}

int Camera::authenticate(const std::string& user,
                         const std::function<bool(const std::vector<std::uint8_t>&)>& proofMatches, std::int64_t nowMs)
{
    if (options_->blacklist.count(user))
        return kRetBlacklisted;
    auto it = users_.find(user);
    if (it == users_.end())
        return kRetNoUser;
    User& u = it->second;
    if (u.lockedUntil > nowMs)
        return kRetLocked;
    if (!proofMatches(u.key)) {
        if (++u.failures >= options_->lockAfter) {
            u.failures = 0;
            u.lockedUntil = nowMs + options_->lockMs;
        }
        return kRetWrongPassword;
    }
    u.failures = 0;
    return protocol::kRetOk;
}

bool Camera::isLocked(const std::string& user, std::int64_t nowMs) const
{
    auto it = users_.find(user);
    return it != users_.end() && it->second.lockedUntil > nowMs;
}

int Camera::sessionsOf(const std::string& user) const
{
    auto it = users_.find(user);
    return it == users_.end() ? 0 : it->second.sessions;
}

void Camera::addSession(const std::string& user)
{
    ++users_[user].sessions;
    ++sessions;
}

void Camera::removeSession(const std::string& user)
{
    auto it = users_.find(user);
    if (it != users_.end() && it->second.sessions > 0)
        --it->second.sessions;
    if (sessions > 0)
        --sessions;
}

std::string Camera::newNetNonce(std::uint32_t requester, std::int64_t nowMs)
{
    if (netNonces_.size() >= kMaxNonceHosts && !netNonces_.count(requester)) {
        const auto quietest = std::min_element(netNonces_.begin(), netNonces_.end(), [](const auto& a, const auto& b) {
            return a.second.lastHello < b.second.lastHello;
        });
        netNonces_.erase(quietest);
    }
    NonceHost& host = netNonces_[requester];
    host.lastHello = nowMs;
    if (host.nonces.size() >= kNetNoncesPerHost)
        host.nonces.pop_front();
    std::string nonce = protocol::randomNonce();
    host.nonces.emplace_back(nonce, nowMs + kNetNonceLifeMs);
    return nonce;
}

bool Camera::takeNetNonce(std::uint32_t requester, const std::string& nonce, std::int64_t nowMs)
{
    const auto host = netNonces_.find(requester);
    if (host == netNonces_.end())
        return false;
    auto& list = host->second.nonces;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (protocol::constantTimeEqual(it->first, nonce)) {
            const bool fresh = nowMs < it->second;
            list.erase(it);
            if (list.empty())
                netNonces_.erase(host);
            return fresh;
        }
    }
    return false;
}

std::vector<std::uint8_t> Camera::networkRecord() const
{
    std::vector<std::uint8_t> r(kNetworkRecordSize, 0);
    std::memcpy(r.data(), network_.hostName.data(), std::min(network_.hostName.size(), kHostNameRoom - 1));
    putAddress(r, 0x40, network_.address);
    putAddress(r, 0x44, network_.mask);
    putAddress(r, 0x48, network_.gateway);
    for (int i = 0; i < 8; ++i)
        putU32(r, 0x4C + 4 * i, static_cast<std::uint32_t>(network_.ports[i]));
    r[0x6C] = network_.flag;
    std::memcpy(r.data() + 0x6D, identity_.mac.data(), std::min(identity_.mac.size(), kMacRoom - 1));
    return r;
}

bool Camera::decodeNetworkRecord(const std::vector<std::uint8_t>& record, NetworkState& out) const
{
    if (record.size() != kNetworkRecordSize)
        return false;
    const auto nameEnd = std::find(record.begin(), record.begin() + kHostNameRoom, 0);
    if (nameEnd == record.begin() + kHostNameRoom)
        return false; // no terminating zero
    NetworkState n = network_;
    n.hostName.assign(record.begin(), nameEnd);
    n.address = getAddress(record, 0x40);
    n.mask = getAddress(record, 0x44);
    n.gateway = getAddress(record, 0x48);
    if (n.address == 0 || n.address == 0xFFFFFFFFu)
        return false;
    // Ports, flag and MAC stay the camera's own: the fleet listens on one service port.
    out = n;
    return true;
}

int Camera::requestNetworkChange(const NetworkState& next)
{
    if (faults.rebootNeeded) {
        pending_ = next;
        hasPending_ = true;
        changed();
        return kRetRebootNeeded;
    }
    const std::uint32_t previous = network_.address;
    network_ = next;
    hasPending_ = false;
    changed();
    if (previous != network_.address && onAddressChanged)
        onAddressChanged(*this, previous);
    return protocol::kRetOk;
}

int Camera::requestAddressChange(const NetworkState& next)
{
    if (!faults.addressAtReboot && (faults.addressApplyMs <= 0 || faults.rebootNeeded))
        return requestNetworkChange(next);
    // Accepted, but the camera goes on answering at its old address until the change takes effect.
    pending_ = next;
    hasPending_ = true;
    changed();
    if (faults.addressAtReboot)
        return kRetRebootNeeded;
    if (onDelayedNetwork)
        onDelayedNetwork(*this, faults.addressApplyMs);
    return protocol::kRetOk;
}

bool Camera::applyPendingNetwork()
{
    if (!hasPending_)
        return false;
    hasPending_ = false;
    const bool differs = pending_ != network_;
    network_ = pending_;
    changed();
    return differs;
}

int Camera::writeRecord(int command, int channel, const std::vector<std::uint8_t>& data)
{
    if (command == kNetworkCommand) {
        if (channel != -1 || data.size() != kNetworkRecordSize)
            return kRetWrongSize;
        if (faults.failWrites)
            return kRetRefused;
        NetworkState next;
        if (!decodeNetworkRecord(data, next))
            return kRetRefused;
        return requestNetworkChange(next);
    }
    if (faults.failWrites || (faults.failWrite != 0 && command == faults.failWrite))
        return kRetRefused;
    const int r = records_.write(command, channel, data);
    if (r == protocol::kRetOk || r == kRetRebootNeeded)
        changed();
    if (r == protocol::kRetOk && faults.rebootNeeded)
        return kRetRebootNeeded;
    return r;
}

int Camera::readRecord(int command, int channel, std::vector<std::uint8_t>& out) const
{
    if (faults.failRead != 0 && command == faults.failRead)
        return kRetRefused;
    if (command == kNetworkCommand) {
        if (channel != -1)
            return kRetWrongSize;
        out = networkRecord();
        return protocol::kRetOk;
    }
    return records_.read(command, channel, out);
}

int Camera::writeJson(const std::string& name, int command, int channel, const Json::Value& value)
{
    if (faults.failWrites)
        return kRetRefused;
    const int r = records_.writeJson(name, command, channel, value);
    if (r == protocol::kRetOk || r == kRetRebootNeeded)
        changed();
    if (r == protocol::kRetOk && faults.rebootNeeded)
        return kRetRebootNeeded;
    return r;
}

protocol::SearchInfo Camera::searchInfo(const std::string& token) const
{
    protocol::SearchInfo s;
    s.token = token;
    s.hostName = network_.hostName;
    toBytes(network_.address, s.hostIp);
    toBytes(network_.mask, s.submask);
    toBytes(network_.gateway, s.gateway);
    std::copy(std::begin(network_.ports), std::end(network_.ports), s.ports);
    s.flag = network_.flag;
    s.mac = identity_.mac;
    s.cloudId = model_->answersCloudId ? identity_.serial : std::string();
    s.deviceKind = model_->deviceKind;
    s.version = version_;
    s.buildYear = buildYear_;
    s.buildMonth = buildMonth_;
    s.buildDay = buildDay_;
    return s;
}

Json::Value Camera::deviceInfo() const
{
    Json::Value d(Json::objectValue);
    d["Version"] = version_;
    d["HardwareVersion"] = "1.0";
    d["Model"] = model_->name;
    d["BuildYear"] = buildYear_;
    d["BuildMonth"] = buildMonth_;
    d["BuildDay"] = buildDay_;
    d["BuildHour"] = 12;
    d["BuildMinute"] = 0;
    d["BuildSecond"] = 0;
    d["DeviceKind"] = model_->deviceKind;
    d["Channels"] = model_->analogChannels + model_->digitalChannels;
    d["Serial"] = identity_.serial;
    d["MAC"] = identity_.mac;
    d["HardwareId"] = model_->hardwareId;
    return d;
}

std::vector<std::uint8_t> Camera::shapeAnswer(std::vector<std::uint8_t> frame)
{
    if (!faults.malformed || frame.size() < protocol::kHeaderSize)
        return frame;
    const std::uint16_t messageId = std::uint16_t(frame[14] | (frame[15] << 8));
    switch (malformedTurn_++ % 3) {
    case 0:
        frame[0] = 0x00;
        break;
    case 1:
        frame.resize(protocol::kHeaderSize);
        putU32(frame, 16, 0x7FFFFFF0u);
        break;
    default: {
        // The length is honest, the body is not: unfinished JSON, or a binary body shorter than
        // its fixed part.
        static const char kBrokenJson[] = "{\"Ret\":";
        frame.resize(protocol::kHeaderSize);
        if (protocol::isJsonBody(messageId))
            frame.insert(frame.end(), kBrokenJson, kBrokenJson + sizeof kBrokenJson - 1);
        else
            frame.insert(frame.end(), {0x64, 0x00});
        putU32(frame, 16, static_cast<std::uint32_t>(frame.size() - protocol::kHeaderSize));
        break;
    }
    }
    return frame;
}

Json::Value Camera::saveState() const
{
    Json::Value s(Json::objectValue);
    s["MAC"] = identity_.mac;
    s["Model"] = model_->name;
    s["Network"] = network_.toJson();
    if (hasPending_)
        s["Pending"] = pending_.toJson();
    s["Version"] = version_;
    s["BuildYear"] = buildYear_;
    s["BuildMonth"] = buildMonth_;
    s["BuildDay"] = buildDay_;
    s["Records"] = records_.save();
    return s;
}

bool Camera::loadState(const Json::Value& state, std::string& error)
{
    if (!state.isObject()) {
        error = "not an object";
        return false;
    }
    std::string mac, modelName, version;
    if (!protocol::getString(state, "MAC", mac, kMacRoom - 1) || mac != identity_.mac) {
        error = "MAC does not match " + identity_.mac;
        return false;
    }
    if (!protocol::getString(state, "Model", modelName, 255)) {
        error = "Model missing";
        return false;
    }
    NetworkState network, pending;
    if (!network.fromJson(state["Network"])) {
        error = "Network is not a network state";
        return false;
    }
    const bool hasPending = state.isMember("Pending");
    if (hasPending && !pending.fromJson(state["Pending"])) {
        error = "Pending is not a network state";
        return false;
    }
    int year = 0, month = 0, day = 0;
    if (!protocol::getString(state, "Version", version, kMaxVersionLength) ||
        !readSmallInt(state, "BuildYear", 0, 9999, year) || !readSmallInt(state, "BuildMonth", 0, 12, month) ||
        !readSmallInt(state, "BuildDay", 0, 31, day)) {
        error = "firmware fields missing or out of range";
        return false;
    }
    RecordStore records = records_;
    // Records written under another model would not fit this one's layouts: they are left out.
    if (modelName == model_->name && !records.load(state["Records"])) {
        error = "Records are not a saved record store";
        return false;
    }
    network_ = network;
    pending_ = pending;
    hasPending_ = hasPending;
    version_ = version;
    buildYear_ = year;
    buildMonth_ = month;
    buildDay_ = day;
    records_ = records;
    return true;
}

void Camera::installFirmware(const std::string& version)
{
    if (!version.empty())
        version_ = version;
    ++upgrades;
    changed();
}

void Camera::resetVolatile()
{
    for (auto& [name, user] : users_) {
        user.failures = 0;
        user.lockedUntil = 0;
        user.sessions = 0;
    }
    sessions = 0;
    netNonces_.clear();
    media.clearTokens();
}

std::vector<std::uint8_t> jsonFrame(std::uint16_t messageId, std::uint32_t sessionId, std::uint32_t sequence,
                                    const Json::Value& body)
{
    protocol::FrameHeader h;
    h.sessionId = sessionId;
    h.sequence = sequence;
    h.messageId = messageId;
    return protocol::encodeFrame(h, protocol::encodeJson(body));
}

} // namespace camsim
