// Every JSON control body goes through decodeJsonObject and the typed readers; both must cope
// with anything, including members of every type and deep nesting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/messages.h"

using namespace protocol;

namespace {

void readMembers(const Json::Value& object, int depth)
{
    for (const std::string& name : object.getMemberNames()) {
        std::int64_t i = 0;
        std::string s;
        const bool isInt = getInt(object, name.c_str(), i);
        const bool isString = getString(object, name.c_str(), s, 1 << 20);
        if (isInt && isString)
            std::abort();
        if (isString && getString(object, name.c_str(), s, s.size() == 0 ? 0 : s.size() - 1) && !s.empty())
            std::abort(); // one byte less room must refuse a non-empty text
        const Json::Value& v = object[name];
        if (v.isObject() && depth < 40)
            readMembers(v, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Json::Value object;
    const DecodeStatus status = decodeJsonObject(data, size, object);
    // A larger size limit accepts longer bodies but must judge the others the same way.
    Json::Value wide;
    const DecodeStatus wideStatus = decodeJsonObject(data, size, wide, maxBodyLength(MsgEmuControlAnswer));
    if (size <= kMaxJsonBody && status != wideStatus)
        std::abort();
    if (status != DecodeStatus::Ok)
        return 0;
    if (!object.isObject() || size > kMaxJsonBody || !(wide == object))
        std::abort();
    readMembers(object, 0);

    // What we write we must read back as the same value.
    const std::vector<std::uint8_t> again = encodeJson(object);
    Json::Value back;
    if (decodeJsonObject(again.data(), again.size(), back, again.size()) != DecodeStatus::Ok || !(back == object))
        std::abort();
    return 0;
}
