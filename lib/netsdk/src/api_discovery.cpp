// Search and address change without login: UDP broadcasts to the configured broadcast addresses.

#include <cstring>
#include <string>
#include <unordered_set>

#include <protocol/codec.h>
#include <protocol/frame.h>
#include <protocol/messages.h>

#include "deadline.h"
#include "library_state.h"
#include "netsdk/netsdk.h"
#include "onvif_client.h"
#include "text_fields.h"

using namespace netsdk;

namespace {

constexpr int kRecordSize = static_cast<int>(sizeof(SDK_CONFIG_NET_COMMON_V2));
// A fleet of 256 cameras answers one search at the same moment.
constexpr int kSearchReceiveBuffer = 4 * 1024 * 1024;
constexpr std::size_t kDatagramBuffer = 64 * 1024;
constexpr std::size_t kMaxToken = 64;
constexpr std::size_t kMaxNonce = 128;
constexpr std::size_t kMacField = sizeof(SDK_NET_ADDRESS_BLOCK::mac);

class UdpSocket
{
public:
    UdpSocket() : s_(net::openUdp()) {}
    ~UdpSocket() { net::closeSocket(s_); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    net::Socket get() const { return s_; }
    bool valid() const { return s_ != net::kInvalidSocket; }

private:
    net::Socket s_;
};

/// Sends one frame to every target; returns how many sends succeeded.
int broadcast(const UdpSocket& socket, const std::vector<net::Ip4>& targets, std::uint16_t port,
              const std::vector<std::uint8_t>& frame)
{
    int sent = 0;
    for (const auto& ip : targets) {
        net::Endpoint to;
        to.ip = ip;
        to.port = port;
        if (net::sendTo(socket.get(), to, frame.data(), frame.size()) == net::IoStatus::Ok)
            ++sent;
    }
    return sent;
}

std::vector<std::uint8_t> requestFrame(std::uint16_t messageId, const Json::Value& body)
{
    protocol::FrameHeader header;
    header.sequence = 1;
    header.messageId = messageId;
    return protocol::encodeFrame(header, protocol::encodeJson(body));
}

/// One datagram as a frame: false (and counted) when it is not exactly one valid frame.
bool datagramFrame(const std::uint8_t* data, std::size_t size, bool truncated, protocol::Frame& frame)
{
    if (!truncated) {
        protocol::ParseResult r = protocol::parseFrame(data, size);
        if (r.status == protocol::ParseStatus::Ok && r.used == size) {
            frame = std::move(r.frame);
            return true;
        }
    }
    countBadFrame();
    return false;
}

void fillSearchRecord(const protocol::SearchInfo& info, SDK_CONFIG_NET_COMMON_V2& r)
{
    std::memset(&r, 0, sizeof r);
    copyBounded(info.hostName, r.hostName, sizeof r.hostName);
    std::memcpy(r.hostIp, info.hostIp, 4);
    std::memcpy(r.submask, info.submask, 4);
    std::memcpy(r.gateway, info.gateway, 4);
    for (int i = 0; i < 8; ++i)
        r.ports[i] = info.ports[i];
    r.flag = info.flag;
    copyBounded(info.mac, r.mac, sizeof r.mac);
    copyBounded(info.cloudId, r.cloudId, sizeof r.cloudId);
    r.deviceKind = info.deviceKind;
    copyBounded(info.version, r.version, sizeof r.version);
    r.buildYear = info.buildYear;
    r.buildMonth = info.buildMonth;
    r.buildDay = info.buildDay;
}

bool sameMac(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

/// The JSON body of an address-change answer for this exchange (same token and MAC), or false.
/// A body that is not well-formed is counted.
bool netSetAnswer(const protocol::Frame& frame, std::uint16_t messageId, const std::string& token,
                  const std::string& mac, Json::Value& body, std::string& answerMac, std::int64_t& ret)
{
    if (frame.header.messageId != messageId)
        return false;
    std::string answerToken;
    if (protocol::decodeJsonObject(frame.body.data(), frame.body.size(), body) != protocol::DecodeStatus::Ok ||
        !protocol::getString(body, "Token", answerToken, kMaxToken) ||
        !protocol::getString(body, "MAC", answerMac, kMacField - 1) || !protocol::getInt(body, "Ret", ret)) {
        countBadFrame();
        return false;
    }
    return answerToken == token && sameMac(answerMac, mac);
}

enum class Wait
{
    Answer,
    Timeout,
    Failed
};

/// Receives datagrams until `accept` takes one or the deadline passes.
template <typename Accept> Wait receiveUntil(const UdpSocket& socket, const Deadline& deadline, Accept accept)
{
    std::vector<std::uint8_t> buffer(kDatagramBuffer);
    // The deadline is checked before every datagram: a peer that keeps sending must not hold the call.
    while (!deadline.expired()) {
        std::size_t n = 0;
        net::Endpoint from;
        bool truncated = false;
        const net::IoStatus st = net::recvFrom(socket.get(), buffer.data(), buffer.size(), n, from, truncated);
        if (st == net::IoStatus::Ok) {
            protocol::Frame frame;
            if (datagramFrame(buffer.data(), n, truncated, frame) && accept(frame))
                return Wait::Answer;
            continue;
        }
        if (st != net::IoStatus::WouldBlock && st != net::IoStatus::Refused)
            return Wait::Failed;
        if (net::waitReadable(socket.get(), deadline.remainingMs()) == net::WaitResult::Failed)
            return Wait::Failed;
    }
    return Wait::Timeout;
}

long netSetResult(std::int64_t ret)
{
    if (ret == protocol::kRetOk)
        return 1;
    if (ret < 0 && ret >= INT32_MIN)
        return fail(static_cast<long>(ret));
    return fail(SDK_ERR_GENERAL);
}

} // namespace

int sdkSearchDevice(char* szBuf, int nBufLen, int* pRetLength, int nSearchTime)
{
    if (pRetLength)
        *pRetLength = 0;
    if (!isInitialised())
        return static_cast<int>(failZero(SDK_ERR_NOT_INIT));
    if (!szBuf || !pRetLength || nBufLen < kRecordSize || nSearchTime < 0)
        return static_cast<int>(failZero(SDK_ERR_ILLEGAL_PARAM));
    const Options opts = options();
    const Deadline deadline(nSearchTime);
    const std::vector<net::Ip4> targets = broadcastTargets(opts);
    if (targets.empty())
        return 1; // every configured address is refused: nothing is sent, nothing found

    UdpSocket socket;
    if (!socket.valid() || !net::enableBroadcast(socket.get()))
        return static_cast<int>(failZero(SDK_ERR_SOCKET));
    net::raiseReceiveBuffer(socket.get(), kSearchReceiveBuffer);

    const std::string token = protocol::randomNonce();
    Json::Value request(Json::objectValue);
    request["Token"] = token;
    const int nativeSent =
        broadcast(socket, targets, discoveryPort(opts), requestFrame(protocol::MsgSearchRequest, request));
    // ONVIF devices: a WS-Discovery probe from the same socket, to the same broadcast addresses on the
    // WS-Discovery port. On a real LAN (no configured list, loopback-only off) it also goes to the
    // standard multicast group, where ONVIF devices listen.
    onvif::SearchMerge onvifAnswers;
    const std::vector<std::uint8_t> probe(onvifAnswers.probe().begin(), onvifAnswers.probe().end());
    std::vector<net::Ip4> probeTargets = targets;
    if (opts.broadcast.empty() && !opts.loopbackOnly)
        probeTargets.push_back(net::Ip4{239, 255, 255, 250});
    const int probeSent = broadcast(socket, probeTargets, onvif::discoveryPort(), probe);
    if (nativeSent + probeSent == 0)
        return static_cast<int>(failZero(SDK_ERR_SOCKET));
    std::vector<std::string> nativeMacs;

    const int capacity = nBufLen / kRecordSize;
    int count = 0;
    // A camera reached through two broadcast addresses answers twice with the same bytes.
    std::unordered_set<std::string> seen;
    std::vector<std::uint8_t> buffer(kDatagramBuffer);
    // The deadline is checked before every datagram: a peer that keeps sending must not hold the search.
    while (count < capacity && !deadline.expired()) {
        std::size_t n = 0;
        net::Endpoint from;
        bool truncated = false;
        const net::IoStatus st = net::recvFrom(socket.get(), buffer.data(), buffer.size(), n, from, truncated);
        if (st == net::IoStatus::Ok) {
            if (n > 0 && !truncated && buffer[0] != 0xFF) {
                // Not one of our frames: XML from a device that speaks WS-Discovery (or noise, counted there).
                onvifAnswers.take(buffer.data(), n);
                continue;
            }
            protocol::Frame frame;
            protocol::SearchInfo info;
            if (!datagramFrame(buffer.data(), n, truncated, frame) ||
                frame.header.messageId != protocol::MsgSearchAnswer)
                continue;
            if (protocol::decodeSearchAnswer(frame.body.data(), frame.body.size(), info) !=
                protocol::DecodeStatus::Ok) {
                countBadFrame();
                continue;
            }
            if (info.token != token)
                continue; // an answer to somebody else's search
            std::string key(reinterpret_cast<const char*>(from.ip.data()), 4);
            key.append(reinterpret_cast<const char*>(&from.port), sizeof from.port);
            key.append(reinterpret_cast<const char*>(buffer.data()), n);
            if (!seen.insert(key).second)
                continue;
            SDK_CONFIG_NET_COMMON_V2 record;
            fillSearchRecord(info, record);
            std::memcpy(szBuf + static_cast<std::size_t>(count) * kRecordSize, &record, sizeof record);
            ++count;
            nativeMacs.push_back(info.mac);
            continue;
        }
        if (st != net::IoStatus::WouldBlock && st != net::IoStatus::Refused)
            break;
        if (net::waitReadable(socket.get(), deadline.remainingMs()) == net::WaitResult::Failed)
            break;
    }
    // A camera that answered both ways is listed once, as a camera of our own protocol.
    count = onvifAnswers.append(szBuf, count, capacity, nativeMacs);
    *pRetLength = count * kRecordSize;
    return 1;
}

long sdkSetConfigOverNet(int nType, int nMode, char* pBlock, unsigned long nSize, int nWaitTime)
{
    if (!isInitialised())
        return fail(SDK_ERR_NOT_INIT);
    if (nType != 20 || (nMode != 1 && nMode != 254) || !pBlock || nSize < sizeof(SDK_NET_ADDRESS_BLOCK))
        return fail(SDK_ERR_ILLEGAL_PARAM);
    SDK_NET_ADDRESS_BLOCK block;
    std::memcpy(&block, pBlock, sizeof block);
    const std::string mac = boundedText(block.mac, sizeof block.mac);
    // A camera that a search found speaking ONVIF only is re-addressed through its device service,
    // with the credentials of the block (docs/onvif.md).
    onvif::KnownDevice onvifDevice;
    if (onvif::knownByMac(mac, onvifDevice))
        return onvif::setAddress(onvifDevice, block, nWaitTime);
    const std::string user = boundedText(block.userName, sizeof block.userName);
    std::string password = boundedText(block.password, sizeof block.password);
    const std::string hostMac = boundedText(block.hostMac, sizeof block.hostMac);
    std::memset(block.password, 0, sizeof block.password);
    // A MAC text that fills its whole field has no room for the zero the answers' texts need.
    if (mac.empty() || mac.size() >= sizeof block.mac)
        return fail(SDK_ERR_ILLEGAL_PARAM);

    const Options opts = options();
    const Deadline deadline(nWaitTime > 0 ? nWaitTime : opts.waitMs);
    const std::vector<net::Ip4> targets = broadcastTargets(opts);
    if (targets.empty())
        return fail(SDK_ERR_REFUSED_DEST);
    UdpSocket socket;
    if (!socket.valid() || !net::enableBroadcast(socket.get()))
        return fail(SDK_ERR_SOCKET);
    const std::uint16_t port = discoveryPort(opts);
    const std::string token = protocol::randomNonce();

    Json::Value hello(Json::objectValue);
    hello["Token"] = token;
    hello["MAC"] = mac;
    hello["UserName"] = user;
    if (broadcast(socket, targets, port, requestFrame(protocol::MsgNetSetHello, hello)) == 0)
        return fail(SDK_ERR_SOCKET);

    std::int64_t ret = 0;
    std::string nonce;
    std::string deviceMac;
    Wait w = receiveUntil(socket, deadline, [&](const protocol::Frame& frame) {
        Json::Value body;
        if (!netSetAnswer(frame, protocol::MsgNetSetChallenge, token, mac, body, deviceMac, ret))
            return false;
        if (ret == protocol::kRetOk && (!protocol::getString(body, "Nonce", nonce, kMaxNonce) || nonce.empty())) {
            countBadFrame();
            return false;
        }
        return true;
    });
    if (w != Wait::Answer)
        return fail(w == Wait::Timeout ? SDK_ERR_TIMEOUT : SDK_ERR_SOCKET);
    if (ret != protocol::kRetOk)
        return netSetResult(ret);

    // The proof is over the MAC text the device itself gave, so a difference in letter case
    // between the block and the device does not spoil it.
    const std::string ip = protocol::formatDotted(block.hostIp);
    const std::string mask = protocol::formatDotted(block.submask);
    const std::string gateway = protocol::formatDotted(block.gateway);
    std::vector<std::uint8_t> key = protocol::deriveKey(user, password);
    std::fill(password.begin(), password.end(), '\0');
    Json::Value request(Json::objectValue);
    request["Token"] = token;
    request["MAC"] = deviceMac;
    request["UserName"] = user;
    request["Nonce"] = nonce;
    request["Mode"] = nMode;
    request["HostIP"] = ip;
    request["Submask"] = mask;
    request["GateWay"] = gateway;
    request["HostMAC"] = hostMac;
    request["Proof"] = protocol::netSetProof(key, nonce, deviceMac, nMode, ip, mask, gateway, hostMac);
    std::fill(key.begin(), key.end(), 0);
    if (broadcast(socket, targets, port, requestFrame(protocol::MsgNetSetRequest, request)) == 0)
        return fail(SDK_ERR_SOCKET);

    w = receiveUntil(socket, deadline, [&](const protocol::Frame& frame) {
        Json::Value body;
        std::string answerMac;
        return netSetAnswer(frame, protocol::MsgNetSetAnswer, token, mac, body, answerMac, ret);
    });
    if (w != Wait::Answer)
        return fail(w == Wait::Timeout ? SDK_ERR_TIMEOUT : SDK_ERR_SOCKET);
    return netSetResult(ret);
}
