#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "models.h"

namespace camsim {

/// Identity of one emulated camera, fixed for its life.
struct Identity
{
    int index = 0;
    std::string mac;    ///< "02:56:54:xx:xx:xx"
    std::string serial; ///< 16 hex digits, also the cloud identifier
};

/// Result codes of the store.
constexpr int kRecordOk = 100;
constexpr int kRecordRefused = -11200; ///< the record cannot be written (read-only) or the value is malformed
constexpr int kRecordUnknown = -11201; ///< no such command on this model
constexpr int kRecordBadSize = -11202; ///< wrong size, or a channel the command does not have
constexpr int kRecordNeedReboot = -11401;
/// "Ret" of a JSON reply for a name the model does not answer (unknown name, missing ability, bad channel).
constexpr int kJsonNotSupported = 607;

/// How a command's channel argument selects its record.
enum class ChannelScope
{
    Device,       ///< one record; channel -1, or any channel of the model (ignored)
    FirstChannel, ///< one record belonging to channel 0; channel -1 or 0
    PerChannel,   ///< 64 entries of entrySize; -1 = all entries, channel c = entry c
    PerDigital,   ///< one record per digital channel i (channel i); no whole-device record
    WriteOnly,    ///< an action or an opaque upload; nothing to read
    CameraCore,   ///< answered by the camera itself (network record); the store only knows its size
};

/// One line of the command table: sizes are fixed by the command, not by the model.
struct CommandInfo
{
    int command = 0;
    ChannelScope scope = ChannelScope::Device;
    std::size_t size = 0;      ///< whole record (PerDigital: one channel's record; WriteOnly: largest write)
    std::size_t entrySize = 0; ///< PerChannel only
    std::size_t minWrite = 0;  ///< WriteOnly only: smallest write
    bool digitalOnly = false;  ///< exists only on models with digital channels
    bool readOnly = false;
};

/// Every command the store knows, in increasing order.
const std::vector<CommandInfo>& commandTable();
/// nullptr for an unknown command.
const CommandInfo* commandInfo(int command);

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

    /// "SessionID" of the JSON replies ("0x" and eight hex digits); the login's id, 10 until set.
    void setSessionId(std::uint32_t id);
    /// The last configuration file imported with command 52, empty when none.
    std::vector<std::uint8_t> importedConfiguration() const;
    /// Bytes held for written records (what the store costs beyond its fixed size).
    std::size_t writtenBytes() const;

private:
    struct Slot
    {
        const CommandInfo* info = nullptr;
        int key = 0;            ///< 0, or the digital channel of a PerDigital record
        std::size_t offset = 0; ///< of the addressed bytes within the stored record
        std::size_t length = 0;
    };
    /// kRecordOk, or the code refusing command/channel for this model.
    int locate(int command, int channel, Slot& slot) const;
    /// The stored record for (command, key): what was written, else the model's default.
    std::vector<std::uint8_t> current(const CommandInfo& info, int key) const;
    std::vector<std::uint8_t> makeDefault(int command, int key) const;
    bool validChannel(int channel) const;
    Json::Value jsonReply(const std::string& name, int ret) const;
    Json::Value defaultVolume() const;

    const Model* model_;
    Identity identity_;
    /// (command, key) -> the whole stored record; key as in Slot.
    std::map<std::pair<int, int>, std::vector<std::uint8_t>> written_;
    std::map<std::string, Json::Value> writtenJson_;
    std::uint32_t sessionId_ = 10;
};

} // namespace camsim
