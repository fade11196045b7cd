#include "protocol/codec.h"

#include <cstring>
#include <iterator>
#include <limits>
#include <memory>

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include "protocol/messages.h"
#include "counters.h"

namespace protocol {

namespace {

// ---- little-endian helpers for the binary bodies ----

void appendI32(std::vector<std::uint8_t>& out, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t readI32(const std::uint8_t* p)
{
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(u);
}

// ---- JSON ----

// The reader lets comments through even when told not to; JSON has no '/' outside strings, so
// one pass over the bytes settles it.
bool hasCommentOutsideStrings(const char* begin, const char* end)
{
    bool inString = false;
    for (const char* p = begin; p != end; ++p) {
        if (inString) {
            if (*p == '\\' && p + 1 != end)
                ++p;
            else if (*p == '"')
                inString = false;
        } else if (*p == '"') {
            inString = true;
        } else if (*p == '/') {
            return true;
        }
    }
    return false;
}

const Json::CharReaderBuilder& strictReaderBuilder()
{
    static const Json::CharReaderBuilder builder = [] {
        Json::CharReaderBuilder b;
        Json::CharReaderBuilder::strictMode(&b.settings_);
        b["strictRoot"] = true;
        b["allowComments"] = false;
        b["stackLimit"] = 32;
        b["rejectDupKeys"] = true;
        b["failIfExtra"] = true;
        return b;
    }();
    return builder;
}

const Json::Value* member(const Json::Value& object, const char* key)
{
    if (!object.isObject() || key == nullptr)
        return nullptr;
    return object.find(key, key + std::strlen(key));
}

bool getInt32(const Json::Value& object, const char* key, std::int32_t& out)
{
    std::int64_t v = 0;
    if (!getInt(object, key, v) || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// Texts of the search record end at their first zero byte; a zero inside would make the record
// say something other than the answer did.
bool getRecordText(const Json::Value& object, const char* key, std::string& out, std::size_t maxLength)
{
    std::string text;
    if (!getString(object, key, text, maxLength) || text.find('\0') != std::string::npos)
        return false;
    out = std::move(text);
    return true;
}

bool getDotted(const Json::Value& object, const char* key, std::uint8_t out[4])
{
    std::string text;
    return getString(object, key, text, 15) && parseDotted(text, out);
}

// Members of a search answer, in the order they are written.
const char* const kSearchMembers[] = {"Token",   "HostName",  "HostIP",     "Submask", "GateWay",
                                      "Ports",   "Flag",      "MAC",        "CloudID", "DeviceKind",
                                      "Version", "BuildYear", "BuildMonth", "BuildDay"};

constexpr std::size_t kTokenMax = 64;
constexpr std::size_t kHostNameMax = 63;
constexpr std::size_t kMacMax = 31;
constexpr std::size_t kCloudIdMax = 38;
constexpr std::size_t kVersionMax = 127;
constexpr std::size_t kPortCount = 8;

// ---- hashing ----

std::string toHex(const QByteArray& bytes)
{
    const QByteArray hex = bytes.toHex();
    return std::string(hex.constData(), static_cast<std::size_t>(hex.size()));
}

QByteArray toBytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string hmacHex(const std::vector<std::uint8_t>& key, const std::string& message)
{
    const QByteArray k(reinterpret_cast<const char*>(key.data()), static_cast<qsizetype>(key.size()));
    return toHex(QMessageAuthenticationCode::hash(toBytes(message), k, QCryptographicHash::Sha256));
}

// ---- decoders (uncounted; the public entry points count refusals) ----

DecodeStatus jsonObjectImpl(const std::uint8_t* data, std::size_t size, Json::Value& out, std::size_t maxSize)
{
    if (size == 0 || data == nullptr || size > maxSize)
        return DecodeStatus::Bad;
    const std::unique_ptr<Json::CharReader> reader(strictReaderBuilder().newCharReader());
    const char* begin = reinterpret_cast<const char*>(data);
    if (hasCommentOutsideStrings(begin, begin + size))
        return DecodeStatus::Bad;
    Json::Value value;
    std::string errors;
    try {
        // The reader throws instead of returning false when the nesting limit is exceeded.
        if (!reader->parse(begin, begin + size, &value, &errors))
            return DecodeStatus::Bad;
    } catch (const std::exception&) {
        return DecodeStatus::Bad;
    }
    if (!value.isObject())
        return DecodeStatus::Bad;
    out = std::move(value);
    return DecodeStatus::Ok;
}

DecodeStatus counted(DecodeStatus status, std::atomic<std::uint64_t>& counter)
{
    if (status == DecodeStatus::Bad)
        detail::count(counter);
    return status;
}

DecodeStatus searchAnswerImpl(const std::uint8_t* body, std::size_t size, SearchInfo& out)
{
    Json::Value o;
    if (jsonObjectImpl(body, size, o, maxBodyLength(MsgSearchAnswer)) != DecodeStatus::Ok)
        return DecodeStatus::Bad;
    if (o.size() != std::size(kSearchMembers))
        return DecodeStatus::Bad;
    for (const char* name : kSearchMembers) {
        if (member(o, name) == nullptr)
            return DecodeStatus::Bad;
    }

    SearchInfo info;
    if (!getString(o, "Token", info.token, kTokenMax) || !getRecordText(o, "HostName", info.hostName, kHostNameMax) ||
        !getDotted(o, "HostIP", info.hostIp) || !getDotted(o, "Submask", info.submask) ||
        !getDotted(o, "GateWay", info.gateway) || !getRecordText(o, "MAC", info.mac, kMacMax) ||
        !getRecordText(o, "CloudID", info.cloudId, kCloudIdMax) ||
        !getRecordText(o, "Version", info.version, kVersionMax) || !getInt32(o, "DeviceKind", info.deviceKind) ||
        !getInt32(o, "BuildYear", info.buildYear) || !getInt32(o, "BuildMonth", info.buildMonth) ||
        !getInt32(o, "BuildDay", info.buildDay))
        return DecodeStatus::Bad;

    std::int64_t flag = 0;
    if (!getInt(o, "Flag", flag) || flag < 0 || flag > 255)
        return DecodeStatus::Bad;
    info.flag = static_cast<std::uint8_t>(flag);

    const Json::Value& ports = *member(o, "Ports");
    if (!ports.isArray() || ports.size() != kPortCount)
        return DecodeStatus::Bad;
    for (Json::ArrayIndex i = 0; i < kPortCount; ++i) {
        const Json::Value& p = ports[i];
        if (!p.isInt64())
            return DecodeStatus::Bad;
        const std::int64_t v = p.asInt64();
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
            return DecodeStatus::Bad;
        info.ports[i] = static_cast<std::int32_t>(v);
    }

    out = std::move(info);
    return DecodeStatus::Ok;
}

DecodeStatus setConfigImpl(const std::uint8_t* body, std::size_t size, SetConfigBody& out)
{
    if (body == nullptr || size < 8 || size - 8 > kMaxRecordSize)
        return DecodeStatus::Bad;
    SetConfigBody b;
    b.command = readI32(body);
    b.channel = readI32(body + 4);
    b.record.assign(body + 8, body + size);
    out = std::move(b);
    return DecodeStatus::Ok;
}

DecodeStatus getConfigAnswerImpl(const std::uint8_t* body, std::size_t size, GetConfigAnswer& out)
{
    if (body == nullptr || size < 4 || size - 4 > kMaxRecordSize)
        return DecodeStatus::Bad;
    GetConfigAnswer a;
    a.ret = readI32(body);
    if (a.ret != kRetOk && size != 4)
        return DecodeStatus::Bad;
    a.record.assign(body + 4, body + size);
    out = std::move(a);
    return DecodeStatus::Ok;
}

} // namespace

// ---- JSON ----------------------------------------------------------------------------------

DecodeStatus decodeJsonObject(const std::uint8_t* data, std::size_t size, Json::Value& out)
{
    return decodeJsonObject(data, size, out, kMaxJsonBody);
}

DecodeStatus decodeJsonObject(const std::uint8_t* data, std::size_t size, Json::Value& out, std::size_t maxSize)
{
    return counted(jsonObjectImpl(data, size, out, maxSize), detail::badJsonBodies);
}

std::vector<std::uint8_t> encodeJson(const Json::Value& object)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    // Texts go out byte for byte: a device name in a local 8-bit encoding must come back unchanged.
    builder["emitUTF8"] = true;
    const std::string text = Json::writeString(builder, object);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool getInt(const Json::Value& object, const char* key, std::int64_t& out)
{
    const Json::Value* v = member(object, key);
    // isInt64 covers integers and integral doubles within range, and excludes booleans.
    if (v == nullptr || !v->isInt64())
        return false;
    out = v->asInt64();
    return true;
}

bool getString(const Json::Value& object, const char* key, std::string& out, std::size_t maxLength)
{
    const Json::Value* v = member(object, key);
    if (v == nullptr || !v->isString())
        return false;
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!v->getString(&begin, &end))
        return false;
    const auto length = static_cast<std::size_t>(end - begin);
    if (length > maxLength)
        return false;
    out.assign(begin, length);
    return true;
}

// ---- search answer -------------------------------------------------------------------------

std::vector<std::uint8_t> encodeSearchAnswer(const SearchInfo& info)
{
    Json::Value o(Json::objectValue);
    o["Token"] = info.token;
    o["HostName"] = info.hostName;
    o["HostIP"] = formatDotted(info.hostIp);
    o["Submask"] = formatDotted(info.submask);
    o["GateWay"] = formatDotted(info.gateway);
    Json::Value ports(Json::arrayValue);
    for (std::int32_t p : info.ports)
        ports.append(p);
    o["Ports"] = ports;
    o["Flag"] = info.flag;
    o["MAC"] = info.mac;
    o["CloudID"] = info.cloudId;
    o["DeviceKind"] = info.deviceKind;
    o["Version"] = info.version;
    o["BuildYear"] = info.buildYear;
    o["BuildMonth"] = info.buildMonth;
    o["BuildDay"] = info.buildDay;
    return encodeJson(o);
}

DecodeStatus decodeSearchAnswer(const std::uint8_t* body, std::size_t size, SearchInfo& out)
{
    return counted(searchAnswerImpl(body, size, out), detail::badSearchAnswers);
}

// ---- binary configuration bodies -----------------------------------------------------------

std::vector<std::uint8_t> encodeSetConfig(const SetConfigBody& b)
{
    std::vector<std::uint8_t> out;
    out.reserve(8 + b.record.size());
    appendI32(out, b.command);
    appendI32(out, b.channel);
    out.insert(out.end(), b.record.begin(), b.record.end());
    return out;
}

DecodeStatus decodeSetConfig(const std::uint8_t* body, std::size_t size, SetConfigBody& out)
{
    return counted(setConfigImpl(body, size, out), detail::badBinaryBodies);
}

std::vector<std::uint8_t> encodeGetConfigAnswer(const GetConfigAnswer& a)
{
    std::vector<std::uint8_t> out;
    appendI32(out, a.ret);
    // A failure answer carries only its result code.
    if (a.ret == kRetOk)
        out.insert(out.end(), a.record.begin(), a.record.end());
    return out;
}

DecodeStatus decodeGetConfigAnswer(const std::uint8_t* body, std::size_t size, GetConfigAnswer& out)
{
    return counted(getConfigAnswerImpl(body, size, out), detail::badBinaryBodies);
}

// ---- authentication ------------------------------------------------------------------------

std::vector<std::uint8_t> deriveKey(const std::string& user, const std::string& password)
{
    const QByteArray digest = QCryptographicHash::hash(toBytes(user + ":" + password), QCryptographicHash::Sha256);
    return std::vector<std::uint8_t>(digest.begin(), digest.end());
}

std::string loginProof(const std::vector<std::uint8_t>& key, const std::string& deviceNonce,
                       const std::string& clientNonce)
{
    return hmacHex(key, "login:" + deviceNonce + ":" + clientNonce);
}

std::string netSetProof(const std::vector<std::uint8_t>& key, const std::string& nonce, const std::string& mac,
                        std::int64_t mode, const std::string& ip, const std::string& mask, const std::string& gateway,
                        const std::string& hostMac)
{
    return hmacHex(key, "netset:" + nonce + ":" + mac + ":" + std::to_string(mode) + ":" + ip + ":" + mask + ":" +
                            gateway + ":" + hostMac);
}

std::string randomNonce()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return toHex(QByteArray(reinterpret_cast<const char*>(words), sizeof(words)));
}

bool constantTimeEqual(const std::string& a, const std::string& b)
{
    // Walk the longer text whole so the time depends only on the lengths.
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        diff |= static_cast<unsigned>(x ^ y);
    }
    return diff == 0;
}

// ---- dotted addresses ----------------------------------------------------------------------

bool parseDotted(const std::string& text, std::uint8_t out[4])
{
    std::uint8_t bytes[4] = {};
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (++digits > 3)
                return false;
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        if (digits == 0 || value > 255)
            return false;
        bytes[part] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size())
        return false;
    std::memcpy(out, bytes, 4);
    return true;
}

std::string formatDotted(const std::uint8_t in[4])
{
    return std::to_string(in[0]) + "." + std::to_string(in[1]) + "." + std::to_string(in[2]) + "." +
           std::to_string(in[3]);
}

bool isLoopback(const std::uint8_t ip[4])
{
    return ip[0] == 127;
}

} // namespace protocol
