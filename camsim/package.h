#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace camsim {

/// Result codes of the package check.
constexpr int kRetUpgradeMemory = -11804;
constexpr int kRetUpgradePacket = -11805;
constexpr int kRetUpgradeHardware = -11807;

/// What a camera learns from an upgrade package.
struct PackageCheck
{
    int ret = kRetUpgradePacket; ///< 100, kRetUpgradePacket (not a readable zip or no "InstallDesc"),
                                 ///< kRetUpgradeHardware ("Hardware" is not the camera's)
    std::string version;         ///< "Version" of the install description; empty when absent
};

/// Reads a zip archive from memory: the end record, the central directory and the "InstallDesc"
/// entry (stored or deflated), every offset, length and count checked against the data before use.
/// The install description must be one JSON object whose "Hardware" equals `hardwareId`.
PackageCheck checkPackage(const std::uint8_t* data, std::size_t size, const std::string& hardwareId);

} // namespace camsim
