// The session's part of live streams and voice talks: a logged-in client asks for a token
// (MsgMediaOpen), a new connection claims it (MsgMediaClaim) and is then handed to the media hub.

#include <cstdint>
#include <string>

#include "camera.h"
#include "media.h"
#include "protocol/codec.h"
#include "protocol/messages.h"
#include "session.h"

namespace camsim {

namespace {

constexpr std::size_t kMaxKindText = 16;
constexpr std::size_t kMaxTokenText = 64;

bool int32Member(const Json::Value& object, const char* key, int& out)
{
    std::int64_t v = 0;
    if (!protocol::getInt(object, key, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

Json::Value retOnly(int ret)
{
    Json::Value v(Json::objectValue);
    v["Ret"] = ret;
    return v;
}

} // namespace

bool Session::handleMediaOpen(const Json::Value& body, std::uint32_t sequence, Result& result)
{
    std::string kind;
    MediaGrant grant;
    if (!protocol::getString(body, "Kind", kind, kMaxKindText) || !int32Member(body, "Channel", grant.channel) ||
        !int32Member(body, "Stream", grant.stream) || (kind != "Video" && kind != "Voice"))
        return false;
    grant.kind = kind == "Video" ? MediaGrant::Kind::Video : MediaGrant::Kind::Voice;
    grant.sessionId = sessionId_;
    int ret = protocol::kRetOk;
    if (grant.kind == MediaGrant::Kind::Video) {
        ret = streamSettings(camera_, grant.channel, grant.stream, grant.settings);
        if (ret == protocol::kRetOk && camera_.media.streams >= kMaxStreamsPerCamera)
            ret = kRetMediaBusy;
    } else if (camera_.media.talks >= kMaxTalksPerCamera) {
        ret = kRetMediaBusy;
    }
    Json::Value answerBody = retOnly(ret);
    if (ret == protocol::kRetOk)
        answerBody["Token"] = camera_.media.issue(grant);
    answer(result, protocol::MsgMediaOpenAnswer, sequence, answerBody);
    return true;
}

bool Session::handleMediaClaim(const protocol::Frame& frame, Result& result)
{
    Json::Value body;
    std::string token;
    if (protocol::decodeJsonObject(frame.body.data(), frame.body.size(), body) != protocol::DecodeStatus::Ok ||
        !protocol::getString(body, "Token", token, kMaxTokenText))
        return false;
    state_ = State::Closed; // this connection never logs in: it carries media or closes
    MediaGrant grant;
    if (busy_ || !camera_.media.take(token, grant)) {
        answer(result, protocol::MsgMediaClaimAnswer, frame.header.sequence,
               retOnly(busy_ ? kRetMediaBusy : kRetBadToken), After::Close);
        return true;
    }
    Json::Value ok = retOnly(protocol::kRetOk);
    if (grant.kind == MediaGrant::Kind::Video) {
        // The stream is encoded as the record says now (it may have changed since the open).
        const int ret = streamSettings(camera_, grant.channel, grant.stream, grant.settings);
        if (ret != protocol::kRetOk) {
            answer(result, protocol::MsgMediaClaimAnswer, frame.header.sequence, retOnly(ret), After::Close);
            return true;
        }
        ok["Codec"] = grant.settings.h265 ? 2 : 1;
        ok["Width"] = grant.settings.width;
        ok["Height"] = grant.settings.height;
        ok["FrameRate"] = grant.settings.frameRate;
    }
    claimed_ = grant;
    const std::uint32_t saved = sessionId_;
    sessionId_ = grant.sessionId; // the answer carries the login's session id
    answer(result, protocol::MsgMediaClaimAnswer, frame.header.sequence, ok, After::Media);
    sessionId_ = saved;
    return true;
}

} // namespace camsim
