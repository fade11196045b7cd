// Configuration reads and writes, JSON configuration and device control on a login.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "library_state.h"
#include "netsdk/netsdk.h"
#include "onvif_client.h"
#include "session.h"

using namespace netsdk;

namespace {

constexpr std::size_t kMaxNameLength = 256;

/// The session behind a handle, or the reason there is none (already recorded as last error).
long sessionFor(long handle, std::shared_ptr<Session>& out)
{
    if (!isInitialised())
        return fail(SDK_ERR_NOT_INIT);
    out = findSession(handle);
    if (!out)
        return fail(SDK_ERR_INVALID_HANDLE);
    return SDK_OK;
}

/// The ONVIF device behind a handle, or null (then the native path decides).
std::shared_ptr<onvif::Device> onvifDevice(long handle)
{
    return isInitialised() ? findOnvifSession(handle) : nullptr;
}

Deadline callDeadline(int waitMs)
{
    return Deadline(waitMs > 0 ? waitMs : options().waitMs);
}

/// A device result code as the call's result: 1 for success, the device's negative code
/// otherwise (recorded as last error). A positive code other than success is not in the
/// contract and reads as a general failure.
long deviceResult(std::int64_t ret)
{
    if (ret == protocol::kRetOk)
        return 1;
    if (ret < 0 && ret >= INT32_MIN)
        return fail(static_cast<long>(ret));
    return fail(SDK_ERR_GENERAL);
}

/// One request whose answer is {"Ret": n}. Returns the call's result.
long retRequest(Session& session, std::uint16_t requestId, const std::vector<std::uint8_t>& body,
                std::uint16_t answerId, const Deadline& deadline)
{
    protocol::Frame answer;
    const int rc = session.request(requestId, body, answerId, deadline, answer);
    if (rc != SDK_OK)
        return fail(rc);
    Json::Value object;
    std::int64_t ret = 0;
    if (protocol::decodeJsonObject(answer.body.data(), answer.body.size(), object) != protocol::DecodeStatus::Ok ||
        !protocol::getInt(object, "Ret", ret))
        return fail(session.rejectAnswer());
    return deviceResult(ret);
}

enum class ReplyRet
{
    Decides,  ///< a failing "Ret" in the reply is the call's result
    ForCaller ///< any well-formed reply is a success; the caller reads its "Ret"
};

/// One request whose answer is the device's JSON reply object, copied as text into the caller's
/// buffer with a terminating zero. Returns the call's result.
long jsonReplyRequest(Session& session, std::uint16_t requestId, const Json::Value& body, std::uint16_t answerId,
                      const Deadline& deadline, char* out, int outSize, int* retLength, ReplyRet replyRet)
{
    protocol::Frame answer;
    const int rc = session.request(requestId, protocol::encodeJson(body), answerId, deadline, answer);
    if (rc != SDK_OK)
        return fail(rc);
    Json::Value reply;
    if (protocol::decodeJsonObject(answer.body.data(), answer.body.size(), reply) != protocol::DecodeStatus::Ok)
        return fail(session.rejectAnswer());
    if (answer.body.size() + 1 > static_cast<std::size_t>(outSize)) {
        if (retLength)
            *retLength = static_cast<int>(answer.body.size());
        return fail(SDK_ERR_BUFFER_SMALL);
    }
    std::memcpy(out, answer.body.data(), answer.body.size());
    out[answer.body.size()] = '\0';
    if (retLength)
        *retLength = static_cast<int>(answer.body.size());
    // A reply without "Ret" carries only data; a reply with a failing "Ret" is still handed over.
    std::int64_t ret = protocol::kRetOk;
    if (reply.isMember("Ret") && !protocol::getInt(reply, "Ret", ret))
        return fail(session.rejectAnswer());
    return replyRet == ReplyRet::Decides ? deviceResult(ret) : 1;
}

bool validName(const char* name)
{
    return name && std::strlen(name) <= kMaxNameLength;
}

} // namespace

long sdkGetConfig(long lLoginID, unsigned long dwCommand, int nChannelNO, char* lpOutBuffer,
                  unsigned long dwOutBufferSize, unsigned long* lpBytesReturned, int waittime)
{
    if (const auto device = onvifDevice(lLoginID)) {
        if (!lpOutBuffer || dwOutBufferSize == 0)
            return fail(SDK_ERR_ILLEGAL_PARAM);
        return onvif::getConfig(*device, dwCommand, nChannelNO, lpOutBuffer, dwOutBufferSize, lpBytesReturned,
                                waittime);
    }
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return lastError();
    if (!lpOutBuffer || dwOutBufferSize == 0 || dwCommand > INT32_MAX)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    const Deadline deadline = callDeadline(waittime);

    Json::Value request(Json::objectValue);
    request["Command"] = static_cast<Json::Int64>(dwCommand);
    request["Channel"] = nChannelNO;
    request["MaxSize"] = static_cast<Json::Int64>(std::min<unsigned long>(dwOutBufferSize, protocol::kMaxRecordSize));
    protocol::Frame answer;
    const int rc = session->request(protocol::MsgGetConfig, protocol::encodeJson(request), protocol::MsgGetConfigAnswer,
                                    deadline, answer);
    if (rc != SDK_OK)
        return fail(rc);
    protocol::GetConfigAnswer decoded;
    if (protocol::decodeGetConfigAnswer(answer.body.data(), answer.body.size(), decoded) != protocol::DecodeStatus::Ok)
        return fail(session->rejectAnswer());
    if (decoded.ret != protocol::kRetOk)
        return deviceResult(decoded.ret);
    if (decoded.record.size() > dwOutBufferSize) {
        // The caller learns the size it needs; its buffer stays untouched.
        if (lpBytesReturned)
            *lpBytesReturned = decoded.record.size();
        return fail(SDK_ERR_BUFFER_SMALL);
    }
    std::memcpy(lpOutBuffer, decoded.record.data(), decoded.record.size());
    if (lpBytesReturned)
        *lpBytesReturned = decoded.record.size();
    return 1;
}

long sdkSetConfig(long lLoginID, unsigned long dwCommand, int nChannelNO, char* lpInBuffer,
                  unsigned long dwInBufferSize, int waittime)
{
    if (const auto device = onvifDevice(lLoginID))
        return onvif::setConfig(*device, dwCommand, nChannelNO, lpInBuffer, dwInBufferSize, waittime);
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return lastError();
    // The record travels behind two int32 in one frame: it must fit the frame's limit.
    if ((!lpInBuffer && dwInBufferSize > 0) || dwCommand > INT32_MAX ||
        dwInBufferSize > protocol::maxBodyLength(protocol::MsgSetConfig) - 8)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    protocol::SetConfigBody body;
    body.command = static_cast<std::int32_t>(dwCommand);
    body.channel = nChannelNO;
    body.record.assign(reinterpret_cast<const std::uint8_t*>(lpInBuffer),
                       reinterpret_cast<const std::uint8_t*>(lpInBuffer) + dwInBufferSize);
    return retRequest(*session, protocol::MsgSetConfig, protocol::encodeSetConfig(body), protocol::MsgSetConfigAnswer,
                      callDeadline(waittime));
}

long sdkGetDevConfigJson(long lLoginID, const char* szCommandName, int nCommand, int nChannelNO, char* szOutBuffer,
                         int nOutBufferSize, int* pRetLength, int waittime)
{
    if (onvifDevice(lLoginID))
        return fail(SDK_ERR_NOT_SUPPORTED); // no JSON configuration over ONVIF
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return lastError();
    if (!validName(szCommandName) || !szOutBuffer || nOutBufferSize <= 0)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    if (pRetLength)
        *pRetLength = 0;
    Json::Value request(Json::objectValue);
    request["Name"] = szCommandName;
    request["Command"] = nCommand;
    request["Channel"] = nChannelNO;
    // Like the ability query, the caller reads "Ret" from the reply: a name the device does not
    // support still comes back as a reply (with its own "Ret") and the call succeeds.
    return jsonReplyRequest(*session, protocol::MsgGetConfigJson, request, protocol::MsgGetConfigJsonAnswer,
                            callDeadline(waittime), szOutBuffer, nOutBufferSize, pRetLength, ReplyRet::ForCaller);
}

long sdkSetDevConfigJson(long lLoginID, const char* szCommandName, int nCommand, int nChannelNO, const char* szInBuffer,
                         int nInBufferSize, int waittime)
{
    if (onvifDevice(lLoginID))
        return fail(SDK_ERR_NOT_SUPPORTED); // no JSON configuration over ONVIF
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return lastError();
    if (!validName(szCommandName) || !szInBuffer || nInBufferSize < 0)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    // The text ends at its terminating zero when it has one within the given size.
    const std::string text = std::string(szInBuffer, strnlen(szInBuffer, static_cast<std::size_t>(nInBufferSize)));
    Json::Value request(Json::objectValue);
    request["Name"] = szCommandName;
    request["Command"] = nCommand;
    request["Channel"] = nChannelNO;
    request["Text"] = text;
    const std::vector<std::uint8_t> body = protocol::encodeJson(request);
    if (body.size() > protocol::maxBodyLength(protocol::MsgSetConfigJson))
        return fail(SDK_ERR_ILLEGAL_PARAM);
    return retRequest(*session, protocol::MsgSetConfigJson, body, protocol::MsgSetConfigJsonAnswer,
                      callDeadline(waittime));
}

long sdkGetChannelAbilityJson(long lLoginID, const char* szCommandName, int nChannelNO, char* szOutBuffer,
                              int nOutBufferSize, int* pRetLength, int waittime)
{
    if (onvifDevice(lLoginID)) // the encode page's smart-encoding abilities only
        return onvif::channelAbilityJson(szCommandName, nChannelNO, szOutBuffer, nOutBufferSize, pRetLength);
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return lastError();
    if (!validName(szCommandName) || !szOutBuffer || nOutBufferSize <= 0)
        return fail(SDK_ERR_ILLEGAL_PARAM);
    if (pRetLength)
        *pRetLength = 0;
    Json::Value request(Json::objectValue);
    request["Name"] = szCommandName;
    request["Channel"] = nChannelNO;
    // The ability query's caller reads "Ret" from the reply itself (an ability the channel lacks
    // is an answer, not a failure of the call).
    return jsonReplyRequest(*session, protocol::MsgGetAbilityJson, request, protocol::MsgGetAbilityJsonAnswer,
                            callDeadline(waittime), szOutBuffer, nOutBufferSize, pRetLength, ReplyRet::ForCaller);
}

int sdkControlDevice(long lLoginID, int nType, int waittime)
{
    if (const auto device = onvifDevice(lLoginID))
        return onvif::control(*device, nType, waittime);
    std::shared_ptr<Session> session;
    if (sessionFor(lLoginID, session) != SDK_OK)
        return 0;
    if (nType != 0)
        return static_cast<int>(failZero(SDK_ERR_NOT_SUPPORTED));
    Json::Value request(Json::objectValue);
    request["Action"] = nType;
    const long rc = retRequest(*session, protocol::MsgControl, protocol::encodeJson(request),
                               protocol::MsgControlAnswer, callDeadline(waittime));
    if (rc != 1)
        return 0;
    // The device drops the connection to reboot; later calls on this login fail cleanly.
    session->close();
    return 1;
}
