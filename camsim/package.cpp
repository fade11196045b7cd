#include "package.h"

#include <algorithm>
#include <vector>

#include <zlib.h>

#include "protocol/codec.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
// The install description is a short object; a larger entry is not one.
constexpr std::uint32_t kMaxDescription = 64 * 1024;
constexpr std::size_t kMaxHardware = 64;
constexpr std::size_t kMaxVersion = 127;

std::uint16_t u16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

/// Position of the end record, or size when there is none.
std::size_t findEnd(const std::uint8_t* data, std::size_t size)
{
    if (size < kEndSize)
        return size;
    const std::size_t lowest = size - kEndSize > kMaxComment ? size - kEndSize - kMaxComment : 0;
    for (std::size_t pos = size - kEndSize + 1; pos-- > lowest;) {
        // The comment length must account exactly for the bytes after the record.
        if (u32(data + pos) == kEndSignature && pos + kEndSize + u16(data + pos + 20) == size)
            return pos;
    }
    return size;
}

bool inflateRaw(const std::uint8_t* in, std::size_t inSize, std::vector<std::uint8_t>& out)
{
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(inSize);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == out.size();
    inflateEnd(&z);
    return ok;
}

/// The bytes of the entry whose central header starts at `central`, or false when the entry's
/// local header or data do not lie inside `[0, dataEnd)` or the data do not check out.
bool entryData(const std::uint8_t* data, std::size_t dataEnd, const std::uint8_t* central,
               std::vector<std::uint8_t>& out)
{
    const std::uint16_t method = u16(central + 10);
    const std::uint32_t crc = u32(central + 16);
    const std::uint32_t packed = u32(central + 20);
    const std::uint32_t plain = u32(central + 24);
    const std::uint32_t local = u32(central + 42);
    if (plain > kMaxDescription || (method != 0 && method != 8) || (method == 0 && packed != plain))
        return false;
    if (local > dataEnd || dataEnd - local < kLocalSize || u32(data + local) != kLocalSignature)
        return false;
    const std::size_t skip = kLocalSize + std::size_t(u16(data + local + 26)) + u16(data + local + 28);
    if (dataEnd - local < skip || dataEnd - local - skip < packed)
        return false;
    const std::uint8_t* body = data + local + skip;
    out.assign(plain, 0);
    if (method == 0)
        std::copy(body, body + plain, out.begin());
    else if (!inflateRaw(body, packed, out))
        return false;
    return crc32(0L, out.data(), static_cast<uInt>(out.size())) == crc;
}

} // namespace

PackageCheck checkPackage(const std::uint8_t* data, std::size_t size, const std::string& hardwareId)
{
    PackageCheck result;
    const std::size_t end = findEnd(data, size);
    if (end == size)
        return result;
    const std::uint16_t entries = u16(data + end + 10);
    const std::uint32_t directorySize = u32(data + end + 12);
    const std::uint32_t directoryOffset = u32(data + end + 16);
    if (directoryOffset > end || end - directoryOffset < directorySize ||
        std::size_t(entries) * kCentralSize > directorySize)
        return result;

    std::vector<std::uint8_t> description;
    bool found = false;
    std::size_t pos = directoryOffset;
    const std::size_t directoryEnd = std::size_t(directoryOffset) + directorySize;
    for (std::uint16_t i = 0; i < entries; ++i) {
        if (directoryEnd - pos < kCentralSize || u32(data + pos) != kCentralSignature)
            return result;
        const std::size_t nameLength = u16(data + pos + 28);
        const std::size_t variable = nameLength + u16(data + pos + 30) + u16(data + pos + 32);
        if (directoryEnd - pos - kCentralSize < variable)
            return result;
        // Every entry's data must lie before the directory, whether or not it is read.
        const std::uint32_t local = u32(data + pos + 42);
        if (local >= directoryOffset || u32(data + pos + 20) > directoryOffset - local)
            return result;
        const std::string name(reinterpret_cast<const char*>(data + pos + kCentralSize), nameLength);
        if (name == "InstallDesc") {
            if (found || !entryData(data, directoryOffset, data + pos, description))
                return result;
            found = true;
        }
        pos += kCentralSize + variable;
    }
    if (!found)
        return result;

    Json::Value desc;
    if (protocol::decodeJsonObject(description.data(), description.size(), desc) != protocol::DecodeStatus::Ok)
        return result;
    std::string hardware;
    if (!protocol::getString(desc, "Hardware", hardware, kMaxHardware) || hardware != hardwareId) {
        result.ret = kRetUpgradeHardware;
        return result;
    }
    if (desc.isMember("Version") && !protocol::getString(desc, "Version", result.version, kMaxVersion))
        return result;
    result.ret = protocol::kRetOk;
    return result;
}

} // namespace camsim
