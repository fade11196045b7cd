#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

/// One entry of a camera's voice-tip list (the alarm sounds it can play).
struct VoiceTip
{
    int code = 0;     ///< "VoiceEnum"; the motion record's sound type refers to it
    std::string text; ///< "VoiceText"
};

/// Factory settings of one video stream (main or extra) of an analogue channel.
struct StreamDefaults
{
    int compression = 7;    ///< compression code, 7 H.264, 8 H.265
    int resolution = 0;     ///< resolution index 0..31
    int bitRateControl = 0; ///< 0 CBR, 1 VBR
    int quality = 4;        ///< 1..6
    int frameRate = 25;
    int bitRate = 0;        ///< kbit/s, one of the recommended values for the resolution and quality
    int iFrameInterval = 2; ///< 1..12
    bool video = true;
    bool audio = false;
};

/// What a model can do beyond its identity. The default records are generated from this.
struct Abilities
{
    std::vector<int> functionFlags;     ///< bytes of the 222-byte function record (command 9) that read 1
    bool intelligentMotionMode = false; ///< camera ability record (command 95) byte 145
    bool extendedCameraParams = false;  ///< camera ability byte 146: extended parameter record (command 145)
    int videoStandard = 0;              ///< 0 PAL, 1 NTSC
    int profileField = 0;               ///< system information offset 332; 2 offers the three fixed profiles
    int profileNumber = 3;              ///< 1-based profile of every channel's profile entry (command 117)
    std::uint32_t profileMask = 0;      ///< encode ability offset 528: bit 0 baseline, 1 main, 2 high profile

    // Encoding (command 10 and the encode entries of commands 19 and 68).
    std::uint32_t mainCompressions = 1u << 7; ///< bit n = compression code n may be the main stream's
    std::uint32_t extraCompressions = 1u << 7;
    std::int32_t encodePower = 0;       ///< pixels x frames per second for all channels together
    bool combinedPower = false;         ///< power shared equally by the analogue channels
    std::int32_t channelPowerLimit = 0; ///< per analogue channel, 0 = none
    std::int32_t bitRateBudget = 0;     ///< kbit/s for all main streams, 0 = the device does not say
    std::uint32_t mainResolutions = 0;  ///< resolution mask of every analogue channel's main stream
    std::uint32_t extraResolutions = 0; ///< extra-stream resolutions, cut per main resolution
    StreamDefaults mainStream;
    StreamDefaults extraStream;

    // Smart encoding: function byte 6 (per channel), 9 (per stream, masks of command 326) or 11 (JSON).
    std::uint32_t smartChannelMask = 0; ///< channels with per-channel smart encoding
    std::uint32_t smartStreamMask = 0;  ///< channels with per-stream smart encoding
    bool smartOn = false;               ///< factory state of smart encoding on the capable channels

    std::vector<VoiceTip> voiceTips;   ///< answered when function byte 203 is set
    int defaultSoundType = 0;          ///< motion record's sound type
    int volume = 0;                    ///< left and right volume, when function byte 205 is set
    std::vector<int> connectedDigital; ///< digital channels whose remote camera is connected

    // Plain factory settings that differ between models, so pages show different values.
    int dayNightMode = 0; ///< camera parameter record offset 4
    int ntpTimeZone = 13; ///< NTP record offset 212
    bool ntpEnabled = true;
    bool cloudEnabled = true;
    bool pushEnabled = false;
    bool dhcpEnabled = false;
    bool ipAdaptive = true;
    bool motionEnabled = true;
    bool humanoidEnabled = false;

    bool hasFunction(int byte) const;
};

/// A camera model: what it can do and which firmware it ships with. Abilities differ between
/// models so that every optional control of the program's configuration pages shows on one model
/// and hides on another.
struct Model
{
    std::string name;            ///< e.g. "IPC-A"; used by --models
    std::int32_t deviceKind = 0; ///< search record kind; the program lists 0, 3, 5 only
    std::string version;         ///< software version text
    int buildYear = 0, buildMonth = 0, buildDay = 0;
    std::string hardwareId;     ///< compared with upgrade packages
    bool answersCloudId = true; ///< false: the search answer's cloud identifier is empty
    int analogChannels = 1;
    int digitalChannels = 0;
    /// Speaks our own protocol (search, login, address change). A model without it speaks ONVIF only,
    /// as a camera of another maker.
    bool native = true;
    // Every further ability lives in the default records (models.cpp), e.g. the function record
    // of command 9.
    Abilities abilities;

    /// Analogue and digital channels together; channel numbers run from 0 to this - 1.
    int channelCount() const;
};

/// All models of our own protocol, in a fixed order ("all" on the command line). Never empty; names are unique.
const std::vector<Model>& models();
/// Models that speak ONVIF only (chosen by name).
const std::vector<Model>& onvifOnlyModels();
/// Either kind; nullptr when unknown.
const Model* findModel(const std::string& name);

} // namespace camsim
