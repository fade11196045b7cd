#include "upgradepackage.h"

#include <cstdio>
#include <limits>

#include <json/json.h>
#include <zlib.h>

namespace upgradepackage {

namespace {

constexpr std::uint16_t kVersionNeeded = 20;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
// 1980-01-01 00:00 in DOS form, so that packages are byte-for-byte reproducible.
constexpr std::uint16_t kDosTime = 0;
constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

bool deflateRaw(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

} // namespace

std::vector<std::uint8_t> makeZip(const std::vector<ZipEntry>& entries, bool deflate)
{
    constexpr std::size_t kMax32 = std::numeric_limits<std::uint32_t>::max();
    if (entries.size() > 0xFFFF)
        return {};
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> directory;
    for (const ZipEntry& e : entries) {
        if (e.data.size() >= kMax32 || e.name.size() > 0xFFFF || out.size() >= kMax32)
            return {};
        const std::uint32_t crc =
            static_cast<std::uint32_t>(crc32(0L, e.data.data(), static_cast<uInt>(e.data.size())));
        std::vector<std::uint8_t> packed;
        std::uint16_t method = kStored;
        if (deflate && deflateRaw(e.data, packed))
            method = kDeflated;
        const std::vector<std::uint8_t>& body = method == kDeflated ? packed : e.data;
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());

        put32(out, 0x04034b50);
        put16(out, kVersionNeeded);
        put16(out, 0); // flags
        put16(out, method);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, crc);
        put32(out, static_cast<std::uint32_t>(body.size()));
        put32(out, static_cast<std::uint32_t>(e.data.size()));
        put16(out, static_cast<std::uint16_t>(e.name.size()));
        put16(out, 0); // extra
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), body.begin(), body.end());

        put32(directory, 0x02014b50);
        put16(directory, kVersionNeeded); // made by
        put16(directory, kVersionNeeded);
        put16(directory, 0);
        put16(directory, method);
        put16(directory, kDosTime);
        put16(directory, kDosDate);
        put32(directory, crc);
        put32(directory, static_cast<std::uint32_t>(body.size()));
        put32(directory, static_cast<std::uint32_t>(e.data.size()));
        put16(directory, static_cast<std::uint16_t>(e.name.size()));
        put16(directory, 0); // extra
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory.insert(directory.end(), e.name.begin(), e.name.end());
    }
    if (out.size() + directory.size() >= kMax32)
        return {};
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint16_t>(entries.size()));
    put16(out, static_cast<std::uint16_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0); // comment
    return out;
}

std::string installDescription(const PackageSpec& contents)
{
    Json::Value desc(Json::objectValue);
    desc["Hardware"] = contents.hardware;
    if (!contents.version.empty())
        desc["Version"] = contents.version;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "    ";
    return Json::writeString(builder, desc) + "\n";
}

std::vector<std::uint8_t> makePackage(const PackageSpec& contents)
{
    std::vector<ZipEntry> entries;
    if (contents.withDescription) {
        const std::string text = installDescription(contents);
        entries.push_back({"InstallDesc", std::vector<std::uint8_t>(text.begin(), text.end())});
    }
    ZipEntry firmware{"firmware.bin", std::vector<std::uint8_t>(contents.firmwareSize)};
    // A simple generator: the blob is reproducible and does not compress to nothing.
    std::uint32_t x = contents.seed ? contents.seed : 1;
    for (std::uint8_t& b : firmware.data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    entries.push_back(std::move(firmware));
    return makeZip(entries, contents.deflate);
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace upgradepackage
