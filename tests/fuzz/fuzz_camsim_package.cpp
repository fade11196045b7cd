// The emulator reads uploaded upgrade packages with checkPackage; whatever a client uploads, the
// check must give one of its three answers. Each input is checked against two hardware ids: a
// fixed one and one taken from the input's last 12 bytes, where a zip keeps its comment: a package
// whose comment names its hardware (seed named_by_comment.zip) is accepted for that id, so the
// fuzzer also mutates around the accepting path for a hardware other than the fixed one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package.h"
#include "protocol/messages.h"

namespace {

const std::string kFixedHardware = "VTH-1080A";

bool validAnswer(const camsim::PackageCheck& c)
{
    if (c.ret == protocol::kRetOk)
        return c.version.size() <= 127;
    return (c.ret == camsim::kRetUpgradePacket || c.ret == camsim::kRetUpgradeHardware) && c.version.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const camsim::PackageCheck fixed = camsim::checkPackage(data, size, kFixedHardware);
    if (!validAnswer(fixed))
        std::abort();

    std::string derived;
    if (size > 0) {
        const std::size_t tail = size < 12 ? size : 12;
        derived.assign(reinterpret_cast<const char*>(data + size - tail), tail);
    }
    const camsim::PackageCheck other = camsim::checkPackage(data, size, derived);
    if (!validAnswer(other))
        std::abort();
    if (derived == kFixedHardware) {
        if (other.ret != fixed.ret || other.version != fixed.version)
            std::abort();
        return 0;
    }
    // One description names one hardware: a package fits at most one of two different ids, and
    // the archive's soundness does not depend on which id asks.
    if (fixed.ret == protocol::kRetOk && other.ret != camsim::kRetUpgradeHardware)
        std::abort();
    if (other.ret == protocol::kRetOk && fixed.ret != camsim::kRetUpgradeHardware)
        std::abort();
    return 0;
}
