// Login and logout.

#include <cstring>
#include <string>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "library_state.h"
#include "netsdk/netsdk.h"
#include "onvif_client.h"
#include "session.h"
#include "text_fields.h"

using namespace netsdk;

namespace {

constexpr int kLogoutWaitMs = 1000;
constexpr std::size_t kMaxNonce = 128;
constexpr std::size_t kMaxUserName = 255;

/// A dotted IPv4 address or "localhost"; never a name lookup.
bool loginAddress(const char* text, net::Ip4& ip)
{
    if (std::strcmp(text, "localhost") == 0) {
        ip = {127, 0, 0, 1};
        return true;
    }
    return protocol::parseDotted(text, ip.data());
}

/// A device's refusal as sdkLogin reports it.
int loginRefusal(std::int64_t ret)
{
    switch (ret) {
    case SDK_ERR_BUSY:
    case SDK_ERR_PASSWORD:
    case SDK_ERR_NO_USER:
    case SDK_ERR_USER_LOCKED:
    case SDK_ERR_USER_BLACKLIST:
    case SDK_ERR_USER_LOGGED_IN:
        return static_cast<int>(ret);
    default:
        return SDK_ERR_LOGIN_UNKNOWN;
    }
}

struct Handshake
{
    FrameChannel& channel;
    const Deadline& deadline;
    std::uint32_t sequence = 0;

    /// Sends one login message and reads the JSON answer to it. SDK_OK, SDK_ERR_TIMEOUT,
    /// SDK_ERR_SOCKET (connection closed) or SDK_ERR_PROTOCOL (a bad frame, counted).
    int exchange(std::uint16_t requestId, const Json::Value& body, std::uint16_t answerId, Json::Value& answer)
    {
        protocol::FrameHeader header;
        header.sequence = ++sequence;
        header.messageId = requestId;
        const FrameChannel::Status sent = channel.send(header, protocol::encodeJson(body), deadline);
        if (sent != FrameChannel::Status::Ok)
            return sent == FrameChannel::Status::Timeout ? SDK_ERR_TIMEOUT : SDK_ERR_SOCKET;
        for (;;) {
            protocol::Frame frame;
            const FrameChannel::Status st = channel.receive(frame, deadline);
            if (st == FrameChannel::Status::Timeout)
                return SDK_ERR_TIMEOUT;
            if (st == FrameChannel::Status::Closed)
                return SDK_ERR_SOCKET;
            if (st == FrameChannel::Status::Ok && frame.header.sequence != header.sequence) {
                if (deadline.expired())
                    return SDK_ERR_TIMEOUT; // a peer that keeps sending other frames
                continue;
            }
            if (st == FrameChannel::Status::Ok && frame.header.messageId == answerId &&
                protocol::decodeJsonObject(frame.body.data(), frame.body.size(), answer) == protocol::DecodeStatus::Ok)
                return SDK_OK;
            countBadFrame();
            return SDK_ERR_PROTOCOL;
        }
    }
};

void fillDeviceInfo(const Json::Value& info, SDK_DEVICE_INFO& out)
{
    std::memset(&out, 0, sizeof out);
    if (!info.isObject())
        return;
    copyText(info, "Version", out.version);
    copyText(info, "HardwareVersion", out.hardwareVersion);
    copyText(info, "Model", out.modelName);
    copyInt(info, "BuildYear", out.buildYear);
    copyInt(info, "BuildMonth", out.buildMonth);
    copyInt(info, "BuildDay", out.buildDay);
    copyInt(info, "BuildHour", out.buildHour);
    copyInt(info, "BuildMinute", out.buildMinute);
    copyInt(info, "BuildSecond", out.buildSecond);
    copyInt(info, "DeviceKind", out.deviceKind);
    copyInt(info, "Channels", out.channelCount);
    copyText(info, "Serial", out.serial);
    copyText(info, "MAC", out.mac);
    copyText(info, "HardwareId", out.hardwareId);
}

/// Runs hello / challenge / proof / result on a connected channel. On success fills the
/// session id and the device information and returns SDK_OK; otherwise sdkLogin's error output,
/// except that a lost connection or a bad frame give SDK_ERR_SOCKET / SDK_ERR_PROTOCOL.
int runLogin(FrameChannel& channel, const Deadline& deadline, const std::string& user, const std::string& password,
             std::uint32_t& sessionId, std::uint32_t& sequence, Json::Value& deviceInfo)
{
    Handshake hs{channel, deadline};
    const std::string clientNonce = protocol::randomNonce();

    Json::Value hello(Json::objectValue);
    hello["UserName"] = user;
    hello["ClientNonce"] = clientNonce;
    Json::Value challenge;
    int rc = hs.exchange(protocol::MsgLoginHello, hello, protocol::MsgLoginChallenge, challenge);
    if (rc != SDK_OK)
        return rc;
    std::int64_t ret = 0;
    if (!protocol::getInt(challenge, "Ret", ret)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    if (ret != protocol::kRetOk)
        return loginRefusal(ret);
    std::string nonce;
    if (!protocol::getString(challenge, "Nonce", nonce, kMaxNonce) || nonce.empty()) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }

    std::vector<std::uint8_t> key = protocol::deriveKey(user, password);
    Json::Value proof(Json::objectValue);
    proof["UserName"] = user;
    proof["Proof"] = protocol::loginProof(key, nonce, clientNonce);
    std::fill(key.begin(), key.end(), 0);
    Json::Value result;
    rc = hs.exchange(protocol::MsgLoginProof, proof, protocol::MsgLoginResult, result);
    if (rc != SDK_OK)
        return rc;
    if (!protocol::getInt(result, "Ret", ret)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    if (ret != protocol::kRetOk)
        return loginRefusal(ret);
    std::int64_t id = 0;
    if (!protocol::getInt(result, "SessionID", id) || id < 0 || id > 0xFFFFFFFFLL) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    sessionId = static_cast<std::uint32_t>(id);
    sequence = hs.sequence;
    deviceInfo = result.isMember("DeviceInfo") ? result["DeviceInfo"] : Json::Value();
    return SDK_OK;
}

} // namespace

long sdkLogin(const char* szDeviceAddress, unsigned short wDevicePort, const char* szUserName, const char* szPassword,
              SDK_DEVICE_INFO* lpDeviceInfo, int nType, int* nError)
{
    int ignored = 0;
    int& error = nError ? *nError : ignored;
    auto refuse = [&error](int code, long lastError) {
        error = code;
        return failZero(lastError);
    };

    if (!isInitialised())
        return refuse(SDK_ERR_NOT_INIT, SDK_ERR_NOT_INIT);
    if (!szDeviceAddress || !szUserName || strnlen(szUserName, kMaxUserName + 1) > kMaxUserName)
        return refuse(SDK_ERR_ILLEGAL_PARAM, SDK_ERR_ILLEGAL_PARAM);
    const Options opts = options();
    const Deadline deadline(opts.waitMs);

    net::Endpoint to;
    to.port = wDevicePort;
    if (!loginAddress(szDeviceAddress, to.ip) || wDevicePort == 0)
        return refuse(SDK_ERR_NO_DEVICE, SDK_ERR_NO_DEVICE);
    if (opts.loopbackOnly && !protocol::isLoopback(to.ip.data()))
        return refuse(SDK_ERR_NO_DEVICE, SDK_ERR_REFUSED_DEST);
    std::string onvifUrl;
    if (onvif::isOnvifEndpoint(to, onvifUrl))
        return onvif::login(to, onvifUrl, szUserName, szPassword ? szPassword : "", lpDeviceInfo, error);

    net::Socket s = net::kInvalidSocket;
    int rc = connectTcp(to, opts.tries, deadline, s);
    if (rc != SDK_OK)
        return refuse(rc == SDK_ERR_SOCKET ? SDK_ERR_NETWORK : rc, rc);
    auto channel = std::make_unique<FrameChannel>(s);

    std::uint32_t sessionId = 0;
    std::uint32_t sequence = 0;
    Json::Value info;
    rc = runLogin(*channel, deadline, szUserName, szPassword ? szPassword : "", sessionId, sequence, info);
    if (rc != SDK_OK)
        return refuse(rc == SDK_ERR_SOCKET || rc == SDK_ERR_PROTOCOL ? SDK_ERR_NETWORK : rc, rc);

    auto session = std::make_shared<Session>(std::move(channel), sessionId, sequence);
    const long handle = addSession(session);
    if (handle == 0) {
        // sdkCleanup ran while this login was under way.
        session->close();
        return refuse(SDK_ERR_NOT_INIT, SDK_ERR_NOT_INIT);
    }
    if (lpDeviceInfo)
        fillDeviceInfo(info, *lpDeviceInfo);
    error = 0;
    return handle;
}

long sdkLogout(long lLoginID)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    if (takeOnvifSession(lLoginID))
        return 1; // nothing to say goodbye to: every ONVIF request carries its own credentials
    const std::shared_ptr<Session> session = takeSession(lLoginID);
    if (!session)
        return failZero(SDK_ERR_INVALID_HANDLE);
    session->logout(Deadline(kLogoutWaitMs));
    return 1;
}
