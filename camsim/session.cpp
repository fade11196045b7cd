#include "session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include <QRandomGenerator>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif

#include "camera.h"
#include "package.h"
#include "protocol/codec.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

constexpr std::size_t kMaxUserName = 63;
constexpr std::size_t kMaxNonceText = 128;
constexpr std::size_t kMaxConfigName = 255;
constexpr int kActionReboot = 0;
constexpr std::size_t kMaxPackageName = 255;

// The frame buffer grows by at most this much ahead of the bytes that arrived, so a header that
// announces a large body costs no memory before the body comes.
constexpr std::size_t kReadStep = 256 * 1024;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

/// Room for a package of `size` bytes, or null; released with std::free. Packages are megabytes
/// written once at network speed: in 2 MiB pages the kernel takes one fault where it would take 512.
std::uint8_t* allocatePackage(std::size_t size)
{
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    if (size >= kHugePage) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        void* p = std::aligned_alloc(kHugePage, rounded);
        if (p)
            ::madvise(p, rounded, MADV_HUGEPAGE); // advice only: without it the pages are just smaller
        return static_cast<std::uint8_t*>(p);
    }
#endif
    return static_cast<std::uint8_t*>(std::malloc(size));
}

bool getInt32(const Json::Value& object, const char* key, int& out)
{
    std::int64_t v = 0;
    if (!protocol::getInt(object, key, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

/// A JSON configuration text (object or array) as the client wrote it.
bool parseConfigText(const std::string& text, Json::Value& out)
{
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder.settings_["stackLimit"] = 32;
    builder.settings_["strictRoot"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    } catch (const std::exception&) {
        return false;
    }
}

Json::Value retBody(int ret)
{
    Json::Value v(Json::objectValue);
    v["Ret"] = ret;
    return v;
}

} // namespace

Session::Session(Camera& camera, bool busy) : camera_(camera), busy_(busy) {}

Session::~Session()
{
    release();
}

void Session::release()
{
    if (holdsSlot_) {
        holdsSlot_ = false;
        camera_.removeSession(user_);
    }
}

Session::Result Session::feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs)
{
    Result result;
    while (size > 0 && state_ != State::Closed) {
        std::size_t room = 0;
        std::uint8_t* space = receiveSpace(room);
        const std::size_t n = std::min(room, size);
        std::memcpy(space, data, n);
        Result part = received(n, nowMs);
        std::move(part.out.begin(), part.out.end(), std::back_inserter(result.out));
        if (part.abort) {
            result.abort = true;
            break;
        }
        data += n;
        size -= n;
    }
    return result;
}

std::size_t Session::wanted() const
{
    if (!headerKnown_)
        return protocol::kHeaderSize - filled_;
    return protocol::kHeaderSize + header_.bodyLength - filled_;
}

std::uint8_t* Session::receiveSpace(std::size_t& room)
{
    if (bodyLeft_ > 0) {
        room = bodyLeft_;
        return package_.get() + packageSize_;
    }
    room = std::min(wanted(), kReadStep);
    // Grows only towards the frame at hand, which parseHeader has held to its message's limit.
    if (buffer_.size() < filled_ + room)
        buffer_.resize(filled_ + room);
    return buffer_.data() + filled_;
}

Session::Result Session::received(std::size_t size, std::int64_t nowMs)
{
    Result result;
    if (state_ == State::Closed) {
        filled_ = 0;
        return result;
    }
    if (bodyLeft_ > 0) {
        const std::size_t n = std::min(size, bodyLeft_);
        packageSize_ += n;
        bodyLeft_ -= n;
        if (bodyLeft_ == 0)
            upgradeChunkDone(result);
        return result;
    }
    filled_ += std::min(size, buffer_.size() - filled_);
    if (!headerKnown_) {
        const protocol::ParseResult parsed = protocol::parseHeader(buffer_.data(), filled_);
        if (parsed.status == protocol::ParseStatus::Bad) {
            fail(result);
            return result;
        }
        if (parsed.status == protocol::ParseStatus::Incomplete)
            return result;
        header_ = parsed.frame.header;
        headerKnown_ = true;
        if (takesUpgradeBody(header_)) {
            // The body goes from the socket straight into the package, never through buffer_.
            filled_ = 0;
            headerKnown_ = false;
            bodyLeft_ = header_.bodyLength;
            return result;
        }
    }
    if (filled_ < protocol::kHeaderSize + header_.bodyLength)
        return result;
    protocol::Frame frame;
    frame.header = header_;
    frame.body.assign(buffer_.data() + protocol::kHeaderSize, buffer_.data() + filled_);
    filled_ = 0;
    headerKnown_ = false;
    if (!handle(frame, nowMs, result))
        fail(result);
    return result;
}

bool Session::takesUpgradeBody(const protocol::FrameHeader& header) const
{
    // The same conditions under which handle() passes the frame to handleUpgradeData and that
    // accepts it; anything else takes the ordinary way and is judged there.
    return header.messageId == protocol::MsgUpgradeData && !camera_.faults.silent && state_ == State::LoggedIn &&
           header.sessionId == sessionId_ && !dying_ && receiving_ && header.bodyLength > 0 &&
           header.bodyLength <= upgradeSize_ - packageSize_;
}

void Session::fail(Result& result)
{
    ++camera_.badFrames;
    state_ = State::Closed;
    release();
    filled_ = 0;
    headerKnown_ = false;
    bodyLeft_ = 0;
    receiving_ = false;
    dropPackage();
    result.abort = true;
}

bool Session::handle(const protocol::Frame& frame, std::int64_t nowMs, Result& result)
{
    // A silent camera reads everything and answers nothing; only the framing is judged.
    if (camera_.faults.silent)
        return true;
    switch (state_) {
    case State::AwaitHello:
        return handleHello(frame, result);
    case State::AwaitProof:
        return handleProof(frame, nowMs, result);
    case State::LoggedIn:
        if (frame.header.sessionId != sessionId_) {
            ++camera_.badFrames; // not ours: ignored, the connection stays
            return true;
        }
        return handleRequest(frame, result);
    case State::Closed:
        return true;
    }
    return true;
}

bool Session::handleHello(const protocol::Frame& frame, Result& result)
{
    if (frame.header.messageId == protocol::MsgMediaClaim)
        return handleMediaClaim(frame, result);
    Json::Value body;
    if (frame.header.messageId != protocol::MsgLoginHello ||
        protocol::decodeJsonObject(frame.body.data(), frame.body.size(), body) != protocol::DecodeStatus::Ok ||
        !protocol::getString(body, "UserName", user_, kMaxUserName) ||
        !protocol::getString(body, "ClientNonce", clientNonce_, kMaxNonceText))
        return false;
    if (busy_) {
        answer(result, protocol::MsgLoginChallenge, frame.header.sequence, retBody(kRetBusy), After::Close);
        state_ = State::Closed;
        return true;
    }
    nonce_ = protocol::randomNonce();
    Json::Value challenge = retBody(protocol::kRetOk);
    challenge["Nonce"] = nonce_;
    answer(result, protocol::MsgLoginChallenge, frame.header.sequence, challenge);
    state_ = State::AwaitProof;
    return true;
}

bool Session::handleProof(const protocol::Frame& frame, std::int64_t nowMs, Result& result)
{
    Json::Value body;
    std::string user, proof;
    if (frame.header.messageId != protocol::MsgLoginProof ||
        protocol::decodeJsonObject(frame.body.data(), frame.body.size(), body) != protocol::DecodeStatus::Ok ||
        !protocol::getString(body, "UserName", user, kMaxUserName) ||
        !protocol::getString(body, "Proof", proof, kMaxNonceText) || user != user_)
        return false;
    const std::uint32_t sequence = frame.header.sequence;
    if (camera_.faults.loginCode != 0) {
        answer(result, protocol::MsgLoginResult, sequence, retBody(camera_.faults.loginCode), After::Close);
        state_ = State::Closed;
        return true;
    }
    int ret = camera_.authenticate(
        user_,
        [&](const std::vector<std::uint8_t>& key) {
            return protocol::constantTimeEqual(protocol::loginProof(key, nonce_, clientNonce_), proof);
        },
        nowMs);
    if (ret == protocol::kRetOk && camera_.sessionsOf(user_) >= camera_.options().maxSessions)
        ret = kRetTooManySessions;
    if (ret != protocol::kRetOk) {
        answer(result, protocol::MsgLoginResult, sequence, retBody(ret), After::Close);
        state_ = State::Closed;
        return true;
    }
    do {
        sessionId_ = QRandomGenerator::global()->generate();
    } while (sessionId_ == 0);
    camera_.addSession(user_);
    holdsSlot_ = true;
    ++camera_.logins;
    state_ = State::LoggedIn;
    Json::Value ok = retBody(protocol::kRetOk);
    ok["SessionID"] = static_cast<Json::UInt>(sessionId_);
    ok["DeviceInfo"] = camera_.deviceInfo();
    answer(result, protocol::MsgLoginResult, sequence, ok);
    return true;
}

bool Session::handleRequest(const protocol::Frame& frame, Result& result)
{
    const std::uint32_t sequence = frame.header.sequence;
    const std::uint8_t* data = frame.body.data();
    const std::size_t size = frame.body.size();

    if (frame.header.messageId == protocol::MsgSetConfig) {
        protocol::SetConfigBody set;
        if (protocol::decodeSetConfig(data, size, set) != protocol::DecodeStatus::Ok)
            return false;
        answer(result, protocol::MsgSetConfigAnswer, sequence,
               retBody(camera_.writeRecord(set.command, set.channel, set.record)));
        return true;
    }

    if (dying_)
        return true; // the camera is about to die: what follows is never read
    if (frame.header.messageId == protocol::MsgUpgradeData)
        return handleUpgradeData(frame, result);

    Json::Value body;
    if (!protocol::isJsonBody(frame.header.messageId) ||
        protocol::decodeJsonObject(data, size, body) != protocol::DecodeStatus::Ok)
        return false;

    switch (frame.header.messageId) {
    case protocol::MsgLogout:
        ++camera_.logouts;
        release();
        state_ = State::Closed;
        answer(result, protocol::MsgLogoutAnswer, sequence, retBody(protocol::kRetOk), After::Close);
        return true;
    case protocol::MsgKeepAlive:
        answer(result, protocol::MsgKeepAliveAnswer, sequence, retBody(protocol::kRetOk));
        return true;
    case protocol::MsgGetConfig: {
        int command = 0, channel = 0, maxSize = 0;
        if (!getInt32(body, "Command", command) || !getInt32(body, "Channel", channel) ||
            !getInt32(body, "MaxSize", maxSize))
            return false;
        protocol::GetConfigAnswer a;
        a.ret = camera_.readRecord(command, channel, a.record);
        if (a.ret != protocol::kRetOk || a.record.size() > protocol::kMaxRecordSize) {
            a.record.clear();
            if (a.ret == protocol::kRetOk)
                a.ret = kRetWrongSize;
        }
        answerBinary(result, protocol::MsgGetConfigAnswer, sequence, protocol::encodeGetConfigAnswer(a));
        return true;
    }
    case protocol::MsgGetConfigJson: {
        std::string name;
        int command = 0, channel = 0;
        if (!protocol::getString(body, "Name", name, kMaxConfigName) || !getInt32(body, "Command", command) ||
            !getInt32(body, "Channel", channel))
            return false;
        answer(result, protocol::MsgGetConfigJsonAnswer, sequence,
               withSessionId(camera_.records().readJson(name, command, channel)));
        return true;
    }
    case protocol::MsgSetConfigJson: {
        std::string name, text;
        int command = 0, channel = 0;
        if (!protocol::getString(body, "Name", name, kMaxConfigName) || !getInt32(body, "Command", command) ||
            !getInt32(body, "Channel", channel) || !protocol::getString(body, "Text", text, protocol::kMaxJsonBody))
            return false;
        Json::Value value;
        const int ret = parseConfigText(text, value) ? camera_.writeJson(name, command, channel, value) : kRetRefused;
        answer(result, protocol::MsgSetConfigJsonAnswer, sequence, retBody(ret));
        return true;
    }
    case protocol::MsgGetAbilityJson: {
        std::string name;
        int channel = 0;
        if (!protocol::getString(body, "Name", name, kMaxConfigName) || !getInt32(body, "Channel", channel))
            return false;
        answer(result, protocol::MsgGetAbilityJsonAnswer, sequence,
               withSessionId(camera_.records().abilityJson(name, channel)));
        return true;
    }
    case protocol::MsgControl: {
        int action = 0;
        if (!getInt32(body, "Action", action))
            return false;
        if (action == kActionReboot)
            answer(result, protocol::MsgControlAnswer, sequence, retBody(protocol::kRetOk), After::Reboot);
        else
            answer(result, protocol::MsgControlAnswer, sequence, retBody(kRetNoCommand));
        return true;
    }
    case protocol::MsgUpgradeStart:
        return handleUpgradeStart(body, sequence, result);
    case protocol::MsgMediaOpen:
        return handleMediaOpen(body, sequence, result);
    case protocol::MsgUpgradeAbort:
        // The client gave up between two chunks: the partial package is dropped, nothing answered.
        receiving_ = false;
        dropPackage();
        return true;
    default:
        return false; // a device message or one that belongs before the login
    }
}

bool Session::handleUpgradeStart(const Json::Value& body, std::uint32_t sequence, Result& result)
{
    std::int64_t size = 0;
    std::string name;
    if (!protocol::getInt(body, "Size", size) || !protocol::getString(body, "Name", name, kMaxPackageName))
        return false;
    int ret = protocol::kRetOk;
    if (camera_.faults.refuseUpgrade || camera_.upgrading || receiving_ || size <= 0 ||
        size > std::int64_t(protocol::kMaxUpgradePackage))
        ret = kRetUpgradeMemory;
    if (ret == protocol::kRetOk) {
        // Once, at the announced size (bounded above): the chunks are then written in place. The
        // memory is not touched here, so an announcement alone costs address space, not pages.
        dropPackage();
        package_.reset(allocatePackage(static_cast<std::size_t>(size)));
        if (!package_)
            ret = kRetUpgradeMemory;
    }
    if (ret == protocol::kRetOk) {
        receiving_ = true;
        upgradeSequence_ = sequence;
        upgradeSize_ = static_cast<std::size_t>(size);
    }
    answer(result, protocol::MsgUpgradeStartAnswer, sequence, retBody(ret));
    return true;
}

bool Session::handleUpgradeData(const protocol::Frame& frame, Result& result)
{
    // Data nobody asked for, or more than announced, breaks the stream.
    if (!receiving_ || frame.body.empty() || frame.body.size() > upgradeSize_ - packageSize_)
        return false;
    std::memcpy(package_.get() + packageSize_, frame.body.data(), frame.body.size());
    packageSize_ += frame.body.size();
    upgradeChunkDone(result);
    return true;
}

void Session::upgradeChunkDone(Result& result)
{
    if (camera_.faults.dieMidTransfer && packageSize_ * 2 >= upgradeSize_) {
        receiving_ = false;
        dying_ = true;
        dropPackage();
        result.out.push_back({{}, After::Die});
        return;
    }
    if (packageSize_ < upgradeSize_)
        return;
    receiving_ = false;
    const PackageCheck check = checkPackage(package_.get(), packageSize_, camera_.model().hardwareId);
    dropPackage();
    if (check.ret == protocol::kRetOk && camera_.upgrading)
        answer(result, protocol::MsgUpgradeCheck, upgradeSequence_, retBody(kRetUpgradeMemory));
    else if (check.ret != protocol::kRetOk)
        answer(result, protocol::MsgUpgradeCheck, upgradeSequence_, retBody(check.ret));
    else {
        camera_.upgrading = true;
        camera_.pendingFirmware = check.version;
        answer(result, protocol::MsgUpgradeCheck, upgradeSequence_, retBody(protocol::kRetOk), After::WriteFirmware);
    }
}

void Session::dropPackage()
{
    package_.reset();
    packageSize_ = 0;
}

void Session::FreePackage::operator()(std::uint8_t* p) const
{
    std::free(p);
}

std::uint32_t Session::upgradeSequence() const
{
    return upgradeSequence_;
}

Json::Value Session::withSessionId(Json::Value reply) const
{
    if (reply.isObject()) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", sessionId_);
        reply["SessionID"] = text;
    }
    return reply;
}

void Session::answer(Result& result, std::uint16_t messageId, std::uint32_t sequence, const Json::Value& body,
                     After after)
{
    std::vector<std::uint8_t> encoded = protocol::encodeJson(body);
    if (encoded.size() > protocol::maxBodyLength(messageId)) // a reply the wire cannot carry
        encoded = protocol::encodeJson(retBody(kRetRefused));
    protocol::FrameHeader h;
    h.sessionId = sessionId_;
    h.sequence = sequence;
    h.messageId = messageId;
    result.out.push_back({camera_.shapeAnswer(protocol::encodeFrame(h, encoded)), after});
}

void Session::answerBinary(Result& result, std::uint16_t messageId, std::uint32_t sequence,
                           const std::vector<std::uint8_t>& body)
{
    protocol::FrameHeader h;
    h.sessionId = sessionId_;
    h.sequence = sequence;
    h.messageId = messageId;
    result.out.push_back({camera_.shapeAnswer(protocol::encodeFrame(h, body)), After::Nothing});
}

} // namespace camsim
