#include "discovery.h"

#include <algorithm>
#include <cctype>

#include "camera.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

constexpr std::size_t kMaxToken = 64;
constexpr std::size_t kMaxMac = 31;
constexpr std::size_t kMaxUser = 63;
constexpr std::size_t kMaxHex = 128;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

struct Discovery::Request
{
    protocol::FrameHeader header;
    Json::Value body;
    std::uint32_t source = 0;
};

Discovery::Discovery(const std::vector<Camera*>& cameras) : cameras_(cameras)
{
    for (Camera* c : cameras_)
        byMac_[lower(c->identity().mac)] = c;
}

Camera* Discovery::findByMac(const std::string& mac) const
{
    auto it = byMac_.find(lower(mac));
    if (it == byMac_.end())
        return nullptr;
    Camera* c = it->second;
    return c->live() && !c->faults.silent && c->model().native ? c : nullptr;
}

Discovery::Result Discovery::handle(const std::uint8_t* data, std::size_t size, std::uint32_t sourceAddress,
                                    std::int64_t nowMs)
{
    Result result;
    if (!isLoopbackAddress(sourceAddress)) {
        ++foreign_;
        result.verdict = Verdict::Foreign;
        return result;
    }
    const protocol::ParseResult parsed = protocol::parseFrame(data, size);
    Request request;
    request.source = sourceAddress;
    bool good = parsed.status == protocol::ParseStatus::Ok && parsed.used == size &&
                protocol::decodeJsonObject(parsed.frame.body.data(), parsed.frame.body.size(), request.body) ==
                    protocol::DecodeStatus::Ok;
    if (good) {
        request.header = parsed.frame.header;
        switch (request.header.messageId) {
        case protocol::MsgSearchRequest:
            good = search(request, result);
            break;
        case protocol::MsgNetSetHello:
            good = netSetHello(request, nowMs, result);
            break;
        case protocol::MsgNetSetRequest:
            good = netSetRequest(request, nowMs, result);
            break;
        default:
            good = false;
        }
    }
    if (!good) {
        ++bad_;
        result.answers.clear();
        result.verdict = Verdict::Bad;
    }
    return result;
}

bool Discovery::search(const Request& request, Result& result)
{
    std::string token;
    if (!protocol::getString(request.body, "Token", token, kMaxToken))
        return false;
    protocol::FrameHeader h;
    h.sequence = request.header.sequence;
    h.messageId = protocol::MsgSearchAnswer;
    for (Camera* c : cameras_) {
        if (!c->live() || c->faults.silent || !c->model().native)
            continue;
        result.answers.push_back(
            {c->index(), c->shapeAnswer(protocol::encodeFrame(h, protocol::encodeSearchAnswer(c->searchInfo(token))))});
    }
    return true;
}

bool Discovery::netSetHello(const Request& request, std::int64_t nowMs, Result& result)
{
    std::string token, mac, user;
    if (!protocol::getString(request.body, "Token", token, kMaxToken) ||
        !protocol::getString(request.body, "MAC", mac, kMaxMac) ||
        !protocol::getString(request.body, "UserName", user, kMaxUser))
        return false;
    Camera* c = findByMac(mac);
    if (!c)
        return true; // not one of ours, or it cannot hear now
    Json::Value a(Json::objectValue);
    a["Token"] = token;
    a["MAC"] = mac;
    a["Ret"] = protocol::kRetOk;
    a["Nonce"] = c->newNetNonce(request.source, nowMs);
    result.answers.push_back(
        {c->index(), c->shapeAnswer(jsonFrame(protocol::MsgNetSetChallenge, 0, request.header.sequence, a))});
    return true;
}

bool Discovery::netSetRequest(const Request& request, std::int64_t nowMs, Result& result)
{
    const Json::Value& b = request.body;
    std::string token, mac, user, nonce, ip, mask, gateway, hostMac, proof;
    std::int64_t mode = 0;
    std::uint32_t address = 0, maskValue = 0, gatewayValue = 0;
    if (!protocol::getString(b, "Token", token, kMaxToken) || !protocol::getString(b, "MAC", mac, kMaxMac) ||
        !protocol::getString(b, "UserName", user, kMaxUser) || !protocol::getString(b, "Nonce", nonce, kMaxHex) ||
        !protocol::getInt(b, "Mode", mode) || !protocol::getString(b, "HostIP", ip, 15) ||
        !protocol::getString(b, "Submask", mask, 15) || !protocol::getString(b, "GateWay", gateway, 15) ||
        !protocol::getString(b, "HostMAC", hostMac, kMaxToken) || !protocol::getString(b, "Proof", proof, kMaxHex) ||
        !parseAddress(ip, address) || !parseAddress(mask, maskValue) || !parseAddress(gateway, gatewayValue))
        return false;
    Camera* c = findByMac(mac);
    if (!c)
        return true;

    int ret;
    const bool freshNonce = c->takeNetNonce(request.source, nonce, nowMs);
    if (c->isLocked(user, nowMs))
        ret = kRetLocked;
    else if (!freshNonce)
        ret = kRetWrongPassword; // replayed or stale: refused, but no guess was made
    else
        ret = c->authenticate(
            user,
            [&](const std::vector<std::uint8_t>& key) {
                return protocol::constantTimeEqual(
                    protocol::netSetProof(key, nonce, mac, mode, ip, mask, gateway, hostMac), proof);
            },
            nowMs);
    if (ret == kRetNoUser || ret == kRetBlacklisted)
        ret = kRetWrongPassword;
    if (ret == protocol::kRetOk) {
        if (address == 0 || address == 0xFFFFFFFFu) {
            ret = kRetRefused;
        } else {
            NetworkState next = c->network();
            next.address = address;
            next.mask = maskValue;
            next.gateway = gatewayValue;
            ret = c->requestAddressChange(next);
        }
    }
    Json::Value a(Json::objectValue);
    a["Token"] = token;
    a["MAC"] = mac;
    a["Ret"] = ret;
    result.answers.push_back(
        {c->index(), c->shapeAnswer(jsonFrame(protocol::MsgNetSetAnswer, 0, request.header.sequence, a))});
    return true;
}

} // namespace camsim
