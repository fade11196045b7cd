#pragma once

// Bounded copies between JSON members, std::string and the fixed text fields of the records.

#include <cstddef>
#include <string>

#include <json/json.h>

namespace netsdk {

/// Writes at most size-1 bytes of text and a terminating zero; the rest of the field is zeroed.
void copyBounded(const std::string& text, char* field, std::size_t size);
/// The text of a field up to its first zero, never reading past `size` bytes.
std::string boundedText(const char* field, std::size_t size);

/// Copies a string member (truncated to fit) or leaves the field alone when it is absent or not a string.
void copyText(const Json::Value& object, const char* key, char* field, std::size_t size);
/// Copies an integer member that fits into int, else leaves `out` alone.
void copyInt(const Json::Value& object, const char* key, int& out);

template <std::size_t N> void copyText(const Json::Value& object, const char* key, char (&field)[N])
{
    copyText(object, key, field, N);
}

} // namespace netsdk
