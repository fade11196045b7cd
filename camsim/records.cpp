#include "records.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include <QByteArray>

namespace camsim {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kEntries = 64; // per-channel records have room for 64 channels
constexpr int kJsonReadCommand = 1042;
constexpr int kJsonWriteCommand = 1040;
constexpr std::size_t kMaxImport = 131072;
constexpr int kStateVersion = 1;

const char* const kVoiceTipName = "Ability.VoiceTipType";
const char* const kVolumeName = "fVideo.Volume";
const char* const kSmartName = "ChannelSystemFunction@SmartH264";
const char* const kSmartV2Name = "ChannelSystemFunction@SmartH264V2";

// Extra-stream resolutions that may go with each main-stream resolution (bit n = resolution n).
constexpr std::uint32_t kExtraMaskByMain[32] = {
    0x5B,  0x1A,  0x1C, 0x18,  0x10,  0x60,   0x40,   0x80,   0x100,  0x200, 0x5B, 0x5B, 0x5B, 0x5B, 0x85B, 0x85B,
    0x85B, 0x85B, 0x5B, 0xC59, 0x85B, 0x4841, 0x4841, 0x4841, 0x4849, 0x18,  0,    0,    0x49, 0x49, 0x49,  0x49};
constexpr int k5M = 18; // its extra mask is the device's own, uncut

// Profile record values by 1-based profile number: baseline, main, high.
constexpr std::int32_t kProfileValue[3] = {51, 41, 40};

const std::vector<CommandInfo> kCommands = {
    // command, scope, size, entry size, smallest write, digital only, read only
    {9, ChannelScope::Device, 222, 0, 0, false, false},
    {10, ChannelScope::FirstChannel, 9900, 0, 0, false, false},
    {17, ChannelScope::Device, 832, 0, 0, false, false},
    {18, ChannelScope::Device, 192, 0, 0, false, false},
    {19, ChannelScope::PerChannel, 25344, 396, 0, false, false},
    {20, ChannelScope::CameraCore, 144, 0, 0, false, false},
    {24, ChannelScope::FirstChannel, 2696, 0, 0, false, false},
    {33, ChannelScope::WriteOnly, 11, 0, 11, false, false},
    {37, ChannelScope::Device, 165, 0, 0, false, false},
    {41, ChannelScope::Device, 216, 0, 0, false, false},
    {52, ChannelScope::WriteOnly, kMaxImport, 0, 1, false, false},
    {64, ChannelScope::Device, 196, 0, 0, false, true},
    {68, ChannelScope::PerChannel, 5632, 88, 0, false, false},
    {79, ChannelScope::PerChannel, 1238784, 19356, 0, true, false},
    {94, ChannelScope::FirstChannel, 84, 0, 0, false, false},
    {95, ChannelScope::Device, 176, 0, 0, false, false},
    {102, ChannelScope::PerChannel, 13696, 214, 0, true, false},
    {117, ChannelScope::Device, 1536, 0, 0, false, false},
    {122, ChannelScope::Device, 84, 0, 0, false, false},
    {138, ChannelScope::Device, 224, 0, 0, false, false},
    {145, ChannelScope::FirstChannel, 264, 0, 0, false, false},
    {164, ChannelScope::WriteOnly, 4, 0, 4, false, false},
    {172, ChannelScope::PerDigital, 5632, 0, 0, true, false},
    {173, ChannelScope::PerDigital, 9932, 0, 0, true, false},
    {249, ChannelScope::PerChannel, 64, 1, 0, false, false},
    {274, ChannelScope::Device, 1, 0, 0, false, false},
    {302, ChannelScope::FirstChannel, 1056, 0, 0, false, false},
    {325, ChannelScope::PerChannel, 768, 12, 0, false, false},
    {326, ChannelScope::Device, 16, 0, 0, false, false},
};

// The per-channel encode entries (19) and the simplified entries (68) made of their first bytes.
constexpr int kEncodeCommand = 19;
constexpr int kSimpleEncodeCommand = 68;
constexpr std::size_t kEncodeEntry = 396;
constexpr std::size_t kStreamBlock = 132;
constexpr std::size_t kSimpleEntry = 88;
constexpr std::size_t kSimpleBlock = 44;

// Each channel's main and extra stream block, their first 44 bytes each.
Bytes simpleEntries(const Bytes& entries)
{
    Bytes b(kSimpleEntry * kEntries, 0);
    for (std::size_t c = 0; c < static_cast<std::size_t>(kEntries); ++c) {
        for (std::size_t half = 0; half < 2; ++half)
            std::copy_n(entries.begin() + static_cast<std::ptrdiff_t>(kEncodeEntry * c + kStreamBlock * half),
                        kSimpleBlock, b.begin() + static_cast<std::ptrdiff_t>(kSimpleEntry * c + kSimpleBlock * half));
    }
    return b;
}

void putI32(Bytes& b, std::size_t offset, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        b[offset + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

// Zero-terminated text in a fixed field; cut to leave room for the terminator.
void putText(Bytes& b, std::size_t offset, std::size_t field, const std::string& text)
{
    const std::size_t n = std::min(text.size(), field - 1);
    std::memcpy(b.data() + offset, text.data(), n);
    b[offset + n] = 0;
}

// The 28-byte video format followed by the block's video and audio switches.
void putStreamBlock(Bytes& b, std::size_t offset, const StreamDefaults& s)
{
    putI32(b, offset + 0, s.compression);
    putI32(b, offset + 4, s.resolution);
    putI32(b, offset + 8, s.bitRateControl);
    putI32(b, offset + 12, s.quality);
    putI32(b, offset + 16, s.frameRate);
    putI32(b, offset + 20, s.bitRate);
    putI32(b, offset + 24, s.iFrameInterval);
    b[offset + 40] = s.video ? 1 : 0;
    b[offset + 41] = s.audio ? 1 : 0;
}

bool isConnected(const Abilities& a, int digital)
{
    return std::find(a.connectedDigital.begin(), a.connectedDigital.end(), digital) != a.connectedDigital.end();
}

std::string formatDate(const Model& m)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", m.buildYear, m.buildMonth, m.buildDay);
    return text;
}

bool validVolume(const Json::Value& array)
{
    if (!array.isArray() || array.empty() || array.size() > kEntries)
        return false;
    for (const Json::Value& e : array) {
        if (!e.isObject() || !e.isMember("AudioMode") || !e["AudioMode"].isString() ||
            e["AudioMode"].asString().size() > 31)
            return false;
        for (const char* key : {"LeftVolume", "RightVolume"}) {
            if (!e.isMember(key) || !e[key].isInt() || e[key].asInt() < 0 || e[key].asInt() > 100)
                return false;
        }
    }
    return true;
}

} // namespace

const std::vector<CommandInfo>& commandTable()
{
    return kCommands;
}

const CommandInfo* commandInfo(int command)
{
    for (const CommandInfo& c : kCommands) {
        if (c.command == command)
            return &c;
    }
    return nullptr;
}

RecordStore::RecordStore(const Model& model, const Identity& identity) : model_(&model), identity_(identity) {}

bool RecordStore::validChannel(int channel) const
{
    return channel >= -1 && channel < model_->channelCount();
}

int RecordStore::locate(int command, int channel, Slot& slot) const
{
    const CommandInfo* info = commandInfo(command);
    if (!info || info->scope == ChannelScope::CameraCore)
        return kRecordUnknown;
    if (info->digitalOnly && model_->digitalChannels == 0)
        return kRecordUnknown;
    slot = Slot{};
    slot.info = info;
    switch (info->scope) {
    case ChannelScope::Device:
    case ChannelScope::WriteOnly:
        if (!validChannel(channel))
            return kRecordBadSize;
        slot.length = info->size;
        return kRecordOk;
    case ChannelScope::FirstChannel:
        if (channel != -1 && channel != 0)
            return kRecordBadSize;
        slot.length = info->size;
        return kRecordOk;
    case ChannelScope::PerChannel: {
        const int channels = info->digitalOnly ? model_->digitalChannels : model_->channelCount();
        if (channel < -1 || channel >= std::min(channels, kEntries))
            return kRecordBadSize;
        if (channel == -1) {
            slot.length = info->size;
        } else {
            slot.offset = info->entrySize * static_cast<std::size_t>(channel);
            slot.length = info->entrySize;
        }
        return kRecordOk;
    }
    case ChannelScope::PerDigital:
        if (channel < 0 || channel >= model_->digitalChannels)
            return kRecordBadSize;
        slot.key = channel;
        slot.length = info->size;
        return kRecordOk;
    case ChannelScope::CameraCore:
        break;
    }
    return kRecordUnknown;
}

std::vector<std::uint8_t> RecordStore::current(const CommandInfo& info, int key) const
{
    auto it = written_.find({info.command, key});
    if (it != written_.end())
        return it->second;
    return makeDefault(info.command, key);
}

int RecordStore::read(int command, int channel, std::vector<std::uint8_t>& out) const
{
    Slot slot;
    const int r = locate(command, channel, slot);
    if (r != kRecordOk)
        return r;
    if (slot.info->scope == ChannelScope::WriteOnly)
        return kRecordUnknown;
    const Bytes whole = command == kSimpleEncodeCommand ? simpleEntries(current(*commandInfo(kEncodeCommand), 0))
                                                        : current(*slot.info, slot.key);
    out.assign(whole.begin() + static_cast<std::ptrdiff_t>(slot.offset),
               whole.begin() + static_cast<std::ptrdiff_t>(slot.offset + slot.length));
    return kRecordOk;
}

int RecordStore::write(int command, int channel, const std::vector<std::uint8_t>& data)
{
    Slot slot;
    const int r = locate(command, channel, slot);
    if (r != kRecordOk)
        return r;
    const CommandInfo& info = *slot.info;
    if (info.readOnly)
        return kRecordRefused;
    if (info.scope == ChannelScope::WriteOnly) {
        if (data.size() < info.minWrite || data.size() > info.size)
            return kRecordBadSize;
        if (command == 33) {
            factoryReset();
            return kRecordOk;
        }
        written_[{command, 0}] = data;
        return kRecordOk;
    }
    if (data.size() != slot.length)
        return kRecordBadSize;
    if (command == kSimpleEncodeCommand) {
        // The simplified entries are the encode entries' first bytes: a write changes those, so both
        // paths change the same stream settings.
        Bytes entries = current(*commandInfo(kEncodeCommand), 0);
        for (std::size_t at = 0; at < data.size(); at += kSimpleEntry) {
            const std::size_t entry = (slot.offset + at) / kSimpleEntry;
            for (std::size_t half = 0; half < 2; ++half)
                std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at + kSimpleBlock * half), kSimpleBlock,
                            entries.begin() + static_cast<std::ptrdiff_t>(kEncodeEntry * entry + kStreamBlock * half));
        }
        written_[{kEncodeCommand, 0}] = std::move(entries);
        return kRecordOk;
    }

    Bytes whole = current(info, slot.key);
    int result = kRecordOk;
    // The video standard and the address assignment take effect only after a restart.
    if (command == 18 && std::memcmp(whole.data() + 116, data.data() + 116, 4) != 0)
        result = kRecordNeedReboot;
    if (command == 37 && whole[0] != data[0])
        result = kRecordNeedReboot;
    std::copy(data.begin(), data.end(), whole.begin() + static_cast<std::ptrdiff_t>(slot.offset));
    written_[{command, slot.key}] = std::move(whole);
    return result;
}

std::size_t RecordStore::recordSize(int command, int channel) const
{
    const CommandInfo* info = commandInfo(command);
    if (info && info->scope == ChannelScope::CameraCore)
        return validChannel(channel) ? info->size : 0;
    Slot slot;
    if (locate(command, channel, slot) != kRecordOk || slot.info->scope == ChannelScope::WriteOnly)
        return 0;
    return slot.length;
}

void RecordStore::factoryReset()
{
    written_.clear();
    writtenJson_.clear();
}

void RecordStore::setSessionId(std::uint32_t id)
{
    sessionId_ = id;
}

std::vector<std::uint8_t> RecordStore::importedConfiguration() const
{
    auto it = written_.find({52, 0});
    return it == written_.end() ? Bytes{} : it->second;
}

std::size_t RecordStore::writtenBytes() const
{
    std::size_t total = 0;
    for (const auto& entry : written_)
        total += entry.second.capacity();
    return total;
}

// ---- default records ------------------------------------------------------------------------

std::vector<std::uint8_t> RecordStore::makeDefault(int command, int key) const
{
    const Model& m = *model_;
    const Abilities& a = m.abilities;
    const CommandInfo* info = commandInfo(command);
    Bytes b(info ? info->size : 0, 0);
    const int channels = std::min(m.channelCount(), kEntries);

    switch (command) {
    case 9: // system function abilities: one byte per function
        for (int f : a.functionFlags) {
            if (f >= 0 && f < static_cast<int>(b.size()))
                b[static_cast<std::size_t>(f)] = 1;
        }
        break;
    case 10: { // encode ability
        if (m.analogChannels == 0) {
            putI32(b, 520, static_cast<std::int32_t>(a.mainCompressions));
            putI32(b, 524, static_cast<std::int32_t>(a.extraCompressions));
            putI32(b, 1704, a.bitRateBudget);
            break;
        }
        putI32(b, 0, a.encodePower);
        putI32(b, 4, a.combinedPower ? 1 : 0);
        for (int n = 0; n < std::min(m.analogChannels, kEntries); ++n) {
            putI32(b, 8 + 4 * n, a.channelPowerLimit);
            putI32(b, 264 + 4 * n, static_cast<std::int32_t>(a.mainResolutions));
            for (int r = 0; r < 32; ++r) {
                if (!(a.mainResolutions & (1u << r)))
                    continue;
                const std::uint32_t extra = r == k5M ? a.extraResolutions : a.extraResolutions & kExtraMaskByMain[r];
                putI32(b, 1708 + 128 * n + 4 * r, static_cast<std::int32_t>(extra));
            }
        }
        // Allowed compressions, bit n = compression code n, per stream.
        putI32(b, 520, static_cast<std::int32_t>(a.mainCompressions));
        putI32(b, 524, static_cast<std::int32_t>(a.extraCompressions));
        putI32(b, 528, static_cast<std::int32_t>(a.profileMask));
        putI32(b, 1704, a.bitRateBudget);
        break;
    }
    case 17: // system information
        putText(b, 0, 64, m.version);
        putText(b, 64, 64, m.hardwareId);
        putText(b, 128, 32, identity_.serial);
        putText(b, 160, 32, identity_.mac);
        putText(b, 192, 32, m.name);
        putText(b, 224, 16, formatDate(m));
        putI32(b, 240, m.buildYear);
        putI32(b, 244, m.buildMonth);
        putI32(b, 248, m.buildDay);
        putI32(b, 288, m.analogChannels);
        putI32(b, 292, m.analogChannels > 0 ? m.analogChannels : 1); // alarm inputs
        putI32(b, 296, 1);                                           // alarm outputs
        putI32(b, 300, a.hasFunction(205) ? 1 : 0);                  // talk channels
        putI32(b, 304, m.deviceKind);
        putI32(b, 324, m.digitalChannels);
        putI32(b, 328, 2); // streams per channel
        putI32(b, 332, a.profileField);
        break;
    case 18: { // general
        char name[32];
        std::snprintf(name, sizeof name, "%s-%03d", m.name.c_str(), identity_.index);
        putText(b, 0, 32, name);
        putI32(b, 32, 0);  // language
        putI32(b, 36, 1);  // overwrite the oldest recording when full
        putI32(b, 40, 60); // minutes per recording file
        putI32(b, 44, 5);  // local menu lock after minutes
        putI32(b, 116, a.videoStandard);
        break;
    }
    case 19:
        for (int c = 0; c < channels; ++c) {
            putStreamBlock(b, 396 * c, a.mainStream);
            putStreamBlock(b, 396 * c + 132, a.extraStream);
            StreamDefaults third = a.extraStream;
            third.video = false;
            third.audio = false;
            putStreamBlock(b, 396 * c + 264, third);
        }
        break;
    case 24: // motion detection
        b[0] = a.motionEnabled ? 1 : 0;
        putI32(b, 4, 3); // sensitivity level
        for (int row = 0; row < 18; ++row)
            putI32(b, 8 + 4 * row, 0x3fffff); // every cell of the 22 x 18 grid
        b[2480] = 1;                          // record on motion
        b[2483] = 0;                          // phone report
        b[2485] = a.hasFunction(188) ? 1 : 0; // alarm sound
        putI32(b, 2684, a.voiceTips.empty() ? 0 : 5);
        putI32(b, 2688, a.defaultSoundType);
        break;
    case 37: // address assignment
        b[0] = a.dhcpEnabled ? 1 : 0;
        putText(b, 4, 32, "eth0");
        break;
    case 41: // time server
        b[0] = a.ntpEnabled ? 1 : 0;
        putText(b, 4, 64, "127.0.0.1");
        putI32(b, 72, 123);
        putText(b, 76, 32, "vantrel"); // user name of the server's authentication
        putI32(b, 204, 3);             // tries before the next period
        putI32(b, 208, 60);
        putI32(b, 212, a.ntpTimeZone);
        break;
    case 64: // video standards offered
        putI32(b, 0, 2);
        putText(b, 4, 16, "PAL");
        putText(b, 20, 16, "NTSC");
        break;
    case 79: // digital channels' encode configurations
        for (int i = 0; i < std::min(m.digitalChannels, kEntries); ++i) {
            const std::size_t e = 19356 * static_cast<std::size_t>(i);
            // A remote camera whose own settings rule (offset 4) or that streams a single stream
            // (offset 280 of the current sub-entry) gets no stream table from the recorder.
            putI32(b, e + 4, i == 3 ? 1 : 0);
            putI32(b, e + 12, 1); // current sub-entry, 1-based
            putText(b, e + 16, 32, "Remote " + std::to_string(i + 1));
            putI32(b, e + 280, i == 1 ? 1 : 0);
            putI32(b, e + 288, 0); // stream table entry in use
            putStreamBlock(b, e + 300, a.mainStream);
            putStreamBlock(b, e + 432, a.extraStream);
        }
        break;
    case 94:             // camera parameters
        putI32(b, 0, 0); // scene mode
        putI32(b, 4, a.dayNightMode);
        putI32(b, 12, a.extendedCameraParams ? 1 : 0); // automatic iris
        putI32(b, 16, 0);                              // backlight
        putI32(b, 20, 2);                              // white balance
        putI32(b, 40, 0);                              // flip
        putI32(b, 44, 0);                              // mirror
        putI32(b, 48, a.videoStandard == 0 ? 1 : 0);   // anti-flashing on 50 Hz mains
        putI32(b, 60, 30);                             // day/night threshold
        putI32(b, 68, 3);                              // day NT level
        putI32(b, 72, 3);                              // night NT level
        putI32(b, 76, 0);                              // IR swap
        break;
    case 95:             // camera abilities
        putI32(b, 0, 8); // exposure levels
        putI32(b, 4, 1); // backlight compensation
        putI32(b, 8, 1); // mirror and flip
        b[145] = a.intelligentMotionMode ? 1 : 0;
        b[146] = a.extendedCameraParams ? 1 : 0;
        break;
    case 102: // digital channel configurations
        for (int i = 0; i < std::min(m.digitalChannels, kEntries); ++i) {
            const std::size_t e = 214 * static_cast<std::size_t>(i);
            b[e] = 1;
            putText(b, e + 4, 32, "D" + std::to_string(i + 1));
            putText(b, e + 36, 32, "127.0.1." + std::to_string(i + 1));
            putI32(b, e + 100, 34567);
            putText(b, e + 104, 32, "admin");
            putText(b, e + 164, 50, isConnected(a, i) ? "Connected" : "Disconnected");
        }
        break;
    case 117: // profiles
        for (int c = 0; c < channels; ++c) {
            const int number = std::clamp(a.profileNumber, 1, 3);
            putI32(b, 24 * c, number);
            putI32(b, 24 * c + 4, kProfileValue[number - 1]);
        }
        break;
    case 122: // cloud
        b[0] = a.cloudEnabled ? 1 : 0;
        putI32(b, 4, 1280);
        putText(b, 8, 64, "cloud.vantrel.invalid");
        putI32(b, 72, 8000);
        break;
    case 138: // push service
        b[0] = a.pushEnabled ? 1 : 0;
        putText(b, 4, 64, "push.vantrel.invalid");
        putI32(b, 68, 80);
        putText(b, 72, 64, identity_.serial);
        break;
    case 145:             // extended camera parameters
        putI32(b, 0, 1);  // exposure mode
        putI32(b, 40, 0); // no-red-face exposure
        putI32(b, 48, 3); // soft photo adjustment
        break;
    case 172: { // digital channel key's stream table: entry 0 holds its main and extra formats
        Bytes block(132, 0);
        putStreamBlock(block, 0, a.mainStream);
        std::copy(block.begin(), block.begin() + 44, b.begin());
        putStreamBlock(block, 0, a.extraStream);
        std::copy(block.begin(), block.begin() + 44, b.begin() + 44);
        break;
    }
    case 173: { // digital channel key's encode ability
        const bool connected = isConnected(a, key);
        b[0] = connected ? 1 : 0;
        putI32(b, 4, connected ? 1 : 0); // accepts a stream table
        putI32(b, 8, connected ? 62000000 : 0);
        putI32(b, 12, static_cast<std::int32_t>((1u << 14) | (1u << 11) | 1u));
        putI32(b, 16, static_cast<std::int32_t>((1u << 0) | (1u << 3) | (1u << 6)));
        putI32(b, 20, static_cast<std::int32_t>(a.mainCompressions));
        break;
    }
    case 249: // smart encoding per channel
        for (int c = 0; c < channels; ++c)
            b[static_cast<std::size_t>(c)] = a.smartOn && (a.smartChannelMask & (1u << c)) ? 1 : 0;
        break;
    case 274: // IP adaptive
        b[0] = a.ipAdaptive ? 1 : 0;
        break;
    case 302: // humanoid detection
        b[0] = a.humanoidEnabled && a.hasFunction(34) ? 1 : 0;
        putI32(b, 4, 2); // sensitivity
        putI32(b, 8, 0); // tracking
        break;
    case 325: // smart encoding per stream
        for (int c = 0; c < channels; ++c)
            b[12 * static_cast<std::size_t>(c)] = a.smartOn && (a.smartStreamMask & (1u << c)) ? 1 : 0;
        break;
    case 326: // channels with smart encoding (offset 0) and with it per stream (offset 8)
        putI32(b, 0, static_cast<std::int32_t>(a.smartChannelMask));
        putI32(b, 8, static_cast<std::int32_t>(a.smartStreamMask));
        break;
    default:
        break;
    }
    return b;
}

// ---- JSON ---------------------------------------------------------------------------------------

Json::Value RecordStore::jsonReply(const std::string& name, int ret) const
{
    char session[16];
    std::snprintf(session, sizeof session, "0x%08x", sessionId_);
    Json::Value reply(Json::objectValue);
    reply["Name"] = name;
    reply["Ret"] = ret;
    reply["SessionID"] = session;
    return reply;
}

Json::Value RecordStore::defaultVolume() const
{
    Json::Value entry(Json::objectValue);
    entry["AudioMode"] = "Single";
    entry["LeftVolume"] = model_->abilities.volume;
    entry["RightVolume"] = model_->abilities.volume;
    Json::Value array(Json::arrayValue);
    array.append(entry);
    return array;
}

Json::Value RecordStore::readJson(const std::string& name, int command, int channel) const
{
    const Abilities& a = model_->abilities;
    if (command != kJsonReadCommand || !validChannel(channel))
        return jsonReply(name, kJsonNotSupported);
    if (name == kVoiceTipName && a.hasFunction(203)) {
        Json::Value tips(Json::arrayValue);
        for (const VoiceTip& t : a.voiceTips) {
            Json::Value e(Json::objectValue);
            e["VoiceEnum"] = t.code;
            e["VoiceText"] = t.text;
            tips.append(e);
        }
        Json::Value reply = jsonReply(name, kRecordOk);
        reply[name]["VoiceTip"] = tips;
        return reply;
    }
    if (name == kVolumeName && a.hasFunction(205)) {
        Json::Value reply = jsonReply(name, kRecordOk);
        auto it = writtenJson_.find(name);
        reply[name] = it != writtenJson_.end() ? it->second : defaultVolume();
        return reply;
    }
    return jsonReply(name, kJsonNotSupported);
}

int RecordStore::writeJson(const std::string& name, int command, int channel, const Json::Value& value)
{
    if (name != kVolumeName || command != kJsonWriteCommand || !model_->abilities.hasFunction(205))
        return kRecordUnknown;
    if (!validChannel(channel))
        return kRecordBadSize;
    // The program sends the bare array; a reply-shaped object carrying it is taken as well.
    const Json::Value array = value.isObject() && value.isMember(name) ? value[name] : value;
    if (!validVolume(array))
        return kRecordRefused;
    writtenJson_[name] = array;
    return kRecordOk;
}

Json::Value RecordStore::abilityJson(const std::string& name, int channel) const
{
    const Abilities& a = model_->abilities;
    const bool known = name == kSmartName || name == kSmartV2Name;
    if (!known || !a.hasFunction(11) || !validChannel(channel))
        return jsonReply(name, kJsonNotSupported);
    const std::uint32_t mask = name == kSmartName ? a.smartChannelMask : a.smartStreamMask;
    Json::Value flags(Json::arrayValue);
    for (int c = 0; c < std::min(model_->channelCount(), kEntries); ++c)
        flags.append((mask & (1u << c)) ? 1 : 0);
    Json::Value reply = jsonReply(name, kRecordOk);
    reply[name] = flags;
    return reply;
}

// ---- state ----------------------------------------------------------------------------------

Json::Value RecordStore::save() const
{
    Json::Value state(Json::objectValue);
    state["Version"] = kStateVersion;
    Json::Value records(Json::arrayValue);
    for (const auto& entry : written_) {
        Json::Value r(Json::objectValue);
        r["Command"] = entry.first.first;
        r["Key"] = entry.first.second;
        const QByteArray raw(reinterpret_cast<const char*>(entry.second.data()),
                             static_cast<qsizetype>(entry.second.size()));
        r["Data"] = raw.toBase64().toStdString();
        records.append(r);
    }
    state["Records"] = records;
    Json::Value json(Json::objectValue);
    for (const auto& entry : writtenJson_)
        json[entry.first] = entry.second;
    state["Json"] = json;
    return state;
}

bool RecordStore::load(const Json::Value& state)
{
    if (!state.isObject() || state.size() != 3 || !state.isMember("Version") || !state["Version"].isInt() ||
        state["Version"].asInt() != kStateVersion || !state.isMember("Records") || !state["Records"].isArray() ||
        !state.isMember("Json") || !state["Json"].isObject())
        return false;

    std::map<std::pair<int, int>, Bytes> records;
    for (const Json::Value& r : state["Records"]) {
        if (!r.isObject() || r.size() != 3 || !r.isMember("Command") || !r["Command"].isInt() || !r.isMember("Key") ||
            !r["Key"].isInt() || !r.isMember("Data") || !r["Data"].isString())
            return false;
        const int command = r["Command"].asInt();
        const int key = r["Key"].asInt();
        const CommandInfo* info = commandInfo(command);
        if (!info || info->scope == ChannelScope::CameraCore || info->readOnly || command == 33)
            return false;
        if (info->digitalOnly && model_->digitalChannels == 0)
            return false;
        const bool keyOk =
            info->scope == ChannelScope::PerDigital ? key >= 0 && key < model_->digitalChannels : key == 0;
        if (!keyOk)
            return false;
        const std::string& text = r["Data"].asString();
        // Base64 of the largest record, with room to spare; refuse before decoding anything bigger.
        if (text.size() > (info->size / 3 + 1) * 4)
            return false;
        auto decoded =
            QByteArray::fromBase64Encoding(QByteArray::fromStdString(text), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return false;
        const QByteArray& raw = *decoded;
        const auto size = static_cast<std::size_t>(raw.size());
        const bool sizeOk =
            info->scope == ChannelScope::WriteOnly ? size >= info->minWrite && size <= info->size : size == info->size;
        if (!sizeOk || !records.emplace(std::make_pair(command, key), Bytes(raw.begin(), raw.end())).second)
            return false;
    }

    std::map<std::string, Json::Value> json;
    const Json::Value& jsonState = state["Json"];
    for (const std::string& name : jsonState.getMemberNames()) {
        if (name != kVolumeName || !model_->abilities.hasFunction(205) || !validVolume(jsonState[name]))
            return false;
        json[name] = jsonState[name];
    }

    written_ = std::move(records);
    writtenJson_ = std::move(json);
    return true;
}

} // namespace camsim
