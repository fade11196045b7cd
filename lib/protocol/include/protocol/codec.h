#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <json/json.h>

namespace protocol {

enum class DecodeStatus
{
    Ok,
    Bad ///< the body does not have the message's shape; nothing was produced
};

/// Parses a JSON object body. Refuses anything that is not one object, nesting deeper than 32,
/// and bodies longer than kMaxJsonBody.
DecodeStatus decodeJsonObject(const std::uint8_t* data, std::size_t size, Json::Value& out);
/// Same checks with another size limit, for bodies allowed to exceed kMaxJsonBody (see maxBodyLength).
DecodeStatus decodeJsonObject(const std::uint8_t* data, std::size_t size, Json::Value& out, std::size_t maxSize);
std::vector<std::uint8_t> encodeJson(const Json::Value& object);

/// Typed readers for members of a decoded object: false when absent or of the wrong type/range.
bool getInt(const Json::Value& object, const char* key, std::int64_t& out);
bool getString(const Json::Value& object, const char* key, std::string& out, std::size_t maxLength);

/// What one camera says about itself in a search answer. Text lengths are limited to the room the
/// 560-byte search record has for them (including the terminating zero).
struct SearchInfo
{
    std::string token;           ///< repeats the request's token
    std::string hostName;        ///< <= 63
    std::uint8_t hostIp[4] = {}; ///< first dotted number first
    std::uint8_t submask[4] = {};
    std::uint8_t gateway[4] = {};
    std::int32_t ports[8] = {}; ///< [1] is the service port
    std::uint8_t flag = 0;
    std::string mac;     ///< <= 31, "xx:xx:xx:xx:xx:xx"
    std::string cloudId; ///< <= 38, may be empty
    std::int32_t deviceKind = 0;
    std::string version; ///< <= 127, may be empty
    std::int32_t buildYear = 0, buildMonth = 0, buildDay = 0;
};
std::vector<std::uint8_t> encodeSearchAnswer(const SearchInfo& info);
DecodeStatus decodeSearchAnswer(const std::uint8_t* body, std::size_t size, SearchInfo& out);

/// Binary body of MsgSetConfig: int32 command, int32 channel, record bytes.
struct SetConfigBody
{
    std::int32_t command = 0;
    std::int32_t channel = -1;
    std::vector<std::uint8_t> record;
};
std::vector<std::uint8_t> encodeSetConfig(const SetConfigBody& b);
DecodeStatus decodeSetConfig(const std::uint8_t* body, std::size_t size, SetConfigBody& out);

/// Binary body of MsgGetConfigAnswer: int32 ret, then the record when ret == kRetOk.
struct GetConfigAnswer
{
    std::int32_t ret = 0;
    std::vector<std::uint8_t> record;
};
std::vector<std::uint8_t> encodeGetConfigAnswer(const GetConfigAnswer& a);
DecodeStatus decodeGetConfigAnswer(const std::uint8_t* body, std::size_t size, GetConfigAnswer& out);

// ---- authentication ------------------------------------------------------------------------
// key   = SHA-256( user ":" password )                  (32 bytes; what a camera stores)
// login = HMAC-SHA-256( key, "login:" deviceNonce ":" clientNonce )            as lower-case hex
// net   = HMAC-SHA-256( key, "netset:" nonce ":" mac ":" mode ":" ip ":" mask ":" gw ":" hostMac ) as hex
// Nonces are 32 lower-case hex digits (128 random bits).

std::vector<std::uint8_t> deriveKey(const std::string& user, const std::string& password);
std::string loginProof(const std::vector<std::uint8_t>& key, const std::string& deviceNonce,
                       const std::string& clientNonce);
std::string netSetProof(const std::vector<std::uint8_t>& key, const std::string& nonce, const std::string& mac,
                        std::int64_t mode, const std::string& ip, const std::string& mask, const std::string& gateway,
                        const std::string& hostMac);
std::string randomNonce();
/// Comparison whose time does not depend on where the texts differ.
bool constantTimeEqual(const std::string& a, const std::string& b);

/// "a.b.c.d" <-> 4 bytes; false for anything that is not four numbers 0..255.
bool parseDotted(const std::string& text, std::uint8_t out[4]);
std::string formatDotted(const std::uint8_t in[4]);
bool isLoopback(const std::uint8_t ip[4]);

} // namespace protocol
