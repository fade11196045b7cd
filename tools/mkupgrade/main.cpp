// mkupgrade: writes an upgrade package for the emulator's cameras.
//
//   mkupgrade --hardware ID [--version TEXT] [--size BYTES] [--deflate] [--no-desc] [--seed N] OUT.zip

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "upgradepackage.h"

namespace {

const char kUsage[] =
    "usage: mkupgrade --hardware ID [--version TEXT] [--size BYTES] [--deflate] [--no-desc] [--seed N] OUT.zip\n"
    "  --hardware ID   hardware identifier the package fits (\"Hardware\" of its InstallDesc)\n"
    "  --version TEXT  firmware version the camera reports after the upgrade\n"
    "  --size BYTES    size of the firmware blob (default 1048576; suffixes K and M)\n"
    "  --deflate       compress the entries (default: stored)\n"
    "  --no-desc       leave out the InstallDesc (a package every camera refuses)\n"
    "  --seed N        seed of the blob's bytes (default 1)\n";

bool parseSize(const char* text, std::size_t& out)
{
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text)
        return false;
    unsigned long long factor = 1;
    if (*end == 'K' || *end == 'k')
        factor = 1024, ++end;
    else if (*end == 'M' || *end == 'm')
        factor = 1024 * 1024, ++end;
    if (*end != '\0' || v > (1ull << 32) / factor)
        return false;
    out = static_cast<std::size_t>(v * factor);
    return true;
}

int usage(const char* why)
{
    std::fprintf(stderr, "mkupgrade: %s\n%s", why, kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    upgradepackage::PackageSpec contents;
    contents.firmwareSize = 1024 * 1024;
    std::string out;
    bool hardwareGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--hardware" && hasValue) {
            contents.hardware = argv[++i];
            hardwareGiven = true;
        } else if (arg == "--version" && hasValue) {
            contents.version = argv[++i];
        } else if (arg == "--size" && hasValue) {
            if (!parseSize(argv[++i], contents.firmwareSize))
                return usage("--size must be a number of bytes below 4 GiB");
        } else if (arg == "--seed" && hasValue) {
            contents.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--deflate") {
            contents.deflate = true;
        } else if (arg == "--no-desc") {
            contents.withDescription = false;
        } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
            out = arg;
        } else {
            return usage(("unexpected argument " + arg).c_str());
        }
    }
    if (out.empty())
        return usage("no output file");
    if (!hardwareGiven && contents.withDescription)
        return usage("--hardware is needed");
    const std::vector<std::uint8_t> package = upgradepackage::makePackage(contents);
    if (package.empty())
        return usage("the package would be too large for a zip archive");
    if (!upgradepackage::writeFile(out, package)) {
        std::fprintf(stderr, "mkupgrade: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes, hardware %s, version %s\n", out.c_str(), package.size(), contents.hardware.c_str(),
                contents.version.empty() ? "(unchanged)" : contents.version.c_str());
    return 0;
}
