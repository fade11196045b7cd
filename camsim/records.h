#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "models.h"

namespace camsim {

/// Identity of one emulated camera, fixed for its life.
struct Identity
{
    int index = 0;
    std::string mac;      ///< "02:56:54:xx:xx:xx"
    std::string serial;   ///< 16 hex digits, also the cloud identifier
};

/// The configuration records of one camera. Reads come from what was written, else from the
/// model's defaults (generated on demand, so a fleet of 256 cameras costs memory only for what
/// was written). Bytes the emulator does not interpret are stored and returned unchanged.
class RecordStore
{
public:
    RecordStore(const Model& model, const Identity& identity);

    /// Result codes: 100 ok; -11201 unknown command; -11202 wrong size or channel.
    int read(int command, int channel, std::vector<std::uint8_t>& out) const;
    /// Returns 100 when stored, -11401 when stored but applied only after a reboot (video
    /// standard, address assignment), -11201 / -11202 as for read. Command 33 (11 bytes) is a
    /// factory reset; 52 (1..131072 bytes) is a configuration import; 164 takes 4 bytes.
    int write(int command, int channel, const std::vector<std::uint8_t>& data);

    /// JSON configuration read (command 1042): the reply object {"Name","Ret","SessionID",Name:...}.
    Json::Value readJson(const std::string& name, int command, int channel) const;
    /// JSON configuration write (command 1040): returns 100, or a negative code.
    int writeJson(const std::string& name, int command, int channel, const Json::Value& value);
    /// Channel ability (names "ChannelSystemFunction@SmartH264", "...@SmartH264V2").
    Json::Value abilityJson(const std::string& name, int channel) const;

    /// Restores the model's defaults for every configuration record (the network address is kept).
    void factoryReset();

    /// Written records only, for the state file; load replaces them. load returns false (and keeps
    /// nothing) when the value is not what save produced.
    Json::Value save() const;
    bool load(const Json::Value& state);

    /// Size of command's record for channel (-1 = whole device), 0 when it has none.
    std::size_t recordSize(int command, int channel) const;

private:
    const Model* model_;
    Identity identity_;
    std::map<std::pair<int, int>, std::vector<std::uint8_t>> written_;
    std::map<std::string, Json::Value> writtenJson_;
};

} // namespace camsim
