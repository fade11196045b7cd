#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upgradepackage {

/// One file of a zip archive.
struct ZipEntry
{
    std::string name;
    std::vector<std::uint8_t> data;
};

/// A zip archive (no data descriptors, no zip64) holding the entries in order, each stored or,
/// with `deflate`, deflated. Entries and the archive must stay
/// below 4 GiB and 65535 entries; larger input gives an empty result.
std::vector<std::uint8_t> makeZip(const std::vector<ZipEntry>& entries, bool deflate);

struct PackageSpec
{
    std::string hardware;         ///< "Hardware" of the install description
    std::string version;          ///< "Version"; left out when empty
    std::size_t firmwareSize = 0; ///< bytes of the firmware blob
    std::uint32_t seed = 1;       ///< the blob's bytes follow from it
    bool deflate = false;
    bool withDescription = true; ///< false: no "InstallDesc" (a package every camera refuses)
};

/// The install description text: {"Hardware": ..., "Version": ...}.
std::string installDescription(const PackageSpec& contents);
/// An upgrade package: "InstallDesc" first, then "firmware.bin".
std::vector<std::uint8_t> makePackage(const PackageSpec& contents);
/// Writes bytes to a file; false when it cannot be written completely.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace upgradepackage
