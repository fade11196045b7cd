#include "text_fields.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace netsdk {

void copyBounded(const std::string& text, char* field, std::size_t size)
{
    if (size == 0)
        return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

std::string boundedText(const char* field, std::size_t size)
{
    const char* end = static_cast<const char*>(std::memchr(field, 0, size));
    return std::string(field, end ? static_cast<std::size_t>(end - field) : size);
}

void copyText(const Json::Value& object, const char* key, char* field, std::size_t size)
{
    if (!object.isObject() || !object.isMember(key) || !object[key].isString())
        return;
    copyBounded(object[key].asString(), field, size);
}

void copyInt(const Json::Value& object, const char* key, int& out)
{
    if (!object.isObject() || !object.isMember(key) || !object[key].isInt())
        return;
    out = object[key].asInt();
}

} // namespace netsdk
