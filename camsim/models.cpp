#include "models.h"

#include <algorithm>

namespace camsim {

namespace {

constexpr std::uint32_t bit(int n)
{
    return 1u << n;
}

// Resolution indexes used below.
constexpr int kD1 = 0, kCif = 3, kQcif = 4, kQvga = 6, k960H = 10, k720P = 11, k960P = 12, k1080P = 14, k3M = 17,
              k5M = 18, k1080N = 19, k4M = 20, k4K = 24;
constexpr int kH264 = 7, kH265 = 8, kMjpg = 5;

StreamDefaults stream(int compression, int resolution, int frameRate, int quality, int bitRate, int control, bool video,
                      bool audio)
{
    StreamDefaults s;
    s.compression = compression;
    s.resolution = resolution;
    s.frameRate = frameRate;
    s.quality = quality;
    s.bitRate = bitRate;
    s.bitRateControl = control;
    s.iFrameInterval = 2;
    s.video = video;
    s.audio = audio;
    return s;
}

// A small 1080P bullet camera on old firmware: no optional ability except the low bit-rate set.
Model ipcA()
{
    Model m;
    m.name = "IPC-A";
    m.deviceKind = 0;
    m.version = "V2.60.R05.00000117.10001";
    m.buildYear = 2012, m.buildMonth = 5, m.buildDay = 18;
    m.hardwareId = "VTH-1080A";
    m.answersCloudId = false;
    m.analogChannels = 1;
    Abilities& a = m.abilities;
    a.functionFlags = {5, 149};
    a.videoStandard = 0;
    a.mainCompressions = bit(kH264);
    a.extraCompressions = bit(kH264) | bit(kMjpg);
    a.encodePower = 56000000;
    a.mainResolutions = bit(k1080P) | bit(k960P) | bit(k720P) | bit(kD1) | bit(kCif);
    a.extraResolutions = bit(kD1) | bit(kCif) | bit(kQvga);
    a.mainStream = stream(kH264, k1080P, 25, 4, 4096, 0, true, false);
    a.extraStream = stream(kH264, kCif, 25, 3, 288, 0, true, false);
    a.dayNightMode = 0;
    a.ntpTimeZone = 14;
    a.cloudEnabled = false;
    a.ipAdaptive = false;
    return m;
}

// A dome camera with nearly everything the image and alarm pages can show, on the first firmware that
// takes the simplified encode record.
Model ipcB()
{
    Model m;
    m.name = "IPC-B";
    m.deviceKind = 0;
    m.version = "V2.62.R07";
    m.buildYear = 2013, m.buildMonth = 3, m.buildDay = 15;
    m.hardwareId = "VTH-3MDOME-B";
    m.analogChannels = 1;
    Abilities& a = m.abilities;
    a.functionFlags = {0, 6, 34, 164, 178, 188, 192, 203, 205};
    a.intelligentMotionMode = true;
    a.extendedCameraParams = true;
    a.videoStandard = 0;
    a.profileField = 2;
    a.profileNumber = 2;
    a.mainCompressions = bit(kH264) | bit(kH265);
    a.extraCompressions = bit(kH264) | bit(kH265);
    a.encodePower = 80000000;
    a.mainResolutions = bit(k3M) | bit(k1080P) | bit(k960P) | bit(k720P) | bit(kD1);
    a.extraResolutions = bit(kD1) | bit(kCif) | bit(kQvga);
    a.mainStream = stream(kH264, k1080P, 25, 4, 4096, 0, true, true);
    a.extraStream = stream(kH264, kD1, 25, 3, 1024, 0, true, false);
    a.smartChannelMask = bit(0);
    a.smartOn = true;
    a.voiceTips = {
        {1, "Alarm bell"}, {2, "Warning, you have entered a monitored area"}, {3, "Please leave"}, {7, "Welcome"}};
    a.defaultSoundType = 2;
    a.volume = 80;
    a.dayNightMode = 4;
    a.ntpTimeZone = 13;
    a.pushEnabled = true;
    a.humanoidEnabled = true;
    return m;
}

// A 4M turret on current firmware, NTSC, H.265 main stream with per-stream smart encoding.
Model ipcC()
{
    Model m;
    m.name = "IPC-C";
    m.deviceKind = 0;
    m.version = "V3.10.R02.0002A3F1";
    m.buildYear = 2019, m.buildMonth = 8, m.buildDay = 1;
    m.hardwareId = "VTH-4MTUR-C";
    m.analogChannels = 1;
    Abilities& a = m.abilities;
    a.functionFlags = {9, 149, 188, 192, 198, 205, 216};
    a.videoStandard = 1;
    a.mainCompressions = bit(kH264) | bit(kH265);
    a.extraCompressions = bit(kH264);
    a.encodePower = 124000000;
    a.bitRateBudget = 12288;
    a.profileMask = bit(2); // high profile only
    a.profileNumber = 3;
    a.mainResolutions = bit(k4M) | bit(k3M) | bit(k1080P) | bit(k720P) | bit(kD1);
    a.extraResolutions = bit(kD1) | bit(kCif) | bit(kQvga) | bit(k720P);
    a.mainStream = stream(kH265, k4M, 30, 5, 5324, 1, true, true);
    a.extraStream = stream(kH264, kD1, 30, 3, 1024, 0, true, true);
    a.smartChannelMask = bit(0);
    a.smartStreamMask = bit(0);
    a.smartOn = true;
    a.volume = 60;
    a.dayNightMode = 5;
    a.ntpTimeZone = 25;
    a.dhcpEnabled = true;
    return m;
}

// An eight-channel recorder of network cameras: no encoder of its own, digital channels only.
Model nvr8()
{
    Model m;
    m.name = "NVR-8";
    m.deviceKind = 3;
    m.version = "V4.02.R11.A6381";
    m.buildYear = 2020, m.buildMonth = 11, m.buildDay = 20;
    m.hardwareId = "VTH-NVR8-K3";
    m.analogChannels = 0;
    m.digitalChannels = 8;
    Abilities& a = m.abilities;
    a.functionFlags = {11, 34, 147, 188, 203};
    a.videoStandard = 0;
    a.profileField = 1;
    a.mainCompressions = bit(kH264) | bit(kH265);
    a.extraCompressions = bit(kH264) | bit(kH265);
    a.mainStream = stream(kH264, k1080P, 25, 4, 4096, 0, true, false);
    a.extraStream = stream(kH264, kD1, 25, 3, 1024, 0, true, false);
    a.smartChannelMask = bit(0) | bit(1) | bit(4);
    a.smartStreamMask = bit(1);
    a.smartOn = false;
    a.voiceTips = {{0, "Siren"}, {4, "Private property, keep out"}, {5, "Dog barking"}};
    a.defaultSoundType = 4;
    a.connectedDigital = {0, 1, 3, 6};
    a.dayNightMode = 3; // "IntellMotionDetect", offered through the humanoid ability (no soft photo slider)
    a.ntpTimeZone = 0;
    a.motionEnabled = false;
    return m;
}

// A four-channel hybrid recorder with analogue inputs sharing one encoder.
Model hvr4()
{
    Model m;
    m.name = "HVR-4";
    m.deviceKind = 5;
    m.version = "V2.41.R03";
    m.buildYear = 2011, m.buildMonth = 11, m.buildDay = 2;
    m.hardwareId = "VTH-HVR4-L";
    m.analogChannels = 4;
    Abilities& a = m.abilities;
    a.functionFlags = {0, 149};
    a.videoStandard = 0;
    a.mainCompressions = bit(kH264);
    a.extraCompressions = bit(kH264);
    a.encodePower = 114000000;
    a.combinedPower = true;
    a.channelPowerLimit = 26000000;
    a.bitRateBudget = 12288;
    a.mainResolutions = bit(k1080N) | bit(k720P) | bit(k960H) | bit(kD1) | bit(kCif);
    a.extraResolutions = bit(kCif) | bit(kQcif);
    a.mainStream = stream(kH264, k720P, 25, 4, 2560, 0, true, false);
    a.extraStream = stream(kH264, kCif, 25, 2, 192, 0, true, false);
    a.ntpEnabled = false;
    a.ntpTimeZone = 14;
    return m;
}

// A 4K bullet on current firmware taking the simplified encode record: H.265 on both streams, smart
// encoding per stream, and an encoder that runs 4K at 16 frames beside its extra stream.
Model ipcD()
{
    Model m;
    m.name = "IPC-D";
    m.deviceKind = 0;
    m.version = "V2.80.R01.0004B2C7";
    m.buildYear = 2021, m.buildMonth = 4, m.buildDay = 12;
    m.hardwareId = "VTH-4KBUL-D";
    m.analogChannels = 1;
    Abilities& a = m.abilities;
    a.functionFlags = {0, 9, 188};
    a.videoStandard = 0;
    a.profileNumber = 2;
    a.profileMask = bit(1) | bit(2); // main and high profile
    a.mainCompressions = bit(kH264) | bit(kH265);
    a.extraCompressions = bit(kH264) | bit(kH265);
    a.encodePower = 150000000;
    a.mainResolutions = bit(k4K) | bit(k5M) | bit(k4M) | bit(k1080P) | bit(k720P);
    a.extraResolutions = bit(k720P) | bit(kD1) | bit(kCif) | bit(kQvga);
    a.mainStream = stream(kH265, k5M, 20, 4, 3316, 0, true, true);
    a.extraStream = stream(kH265, kD1, 25, 3, 665, 0, true, false);
    a.smartChannelMask = bit(0);
    a.smartStreamMask = bit(0);
    a.smartOn = true;
    a.dayNightMode = 0;
    a.ntpTimeZone = 13;
    return m;
}

// A camera of a kind the program does not list (it answers the search all the same).
Model ipcX()
{
    Model m;
    m.name = "IPC-X";
    m.deviceKind = 1;
    m.version = "V2.62.R08";
    m.buildYear = 2012, m.buildMonth = 7, m.buildDay = 10;
    m.hardwareId = "VTH-X720";
    m.answersCloudId = false;
    m.analogChannels = 1;
    Abilities& a = m.abilities;
    a.functionFlags = {149};
    a.videoStandard = 0;
    a.encodePower = 30000000;
    a.mainResolutions = bit(k720P) | bit(kD1) | bit(kCif);
    a.extraResolutions = bit(kCif) | bit(kQvga);
    a.mainStream = stream(kH264, k720P, 25, 3, 2048, 0, true, false);
    a.extraStream = stream(kH264, kQvga, 25, 3, 512, 0, false, false);
    return m;
}

// A camera of another maker: ONVIF only, no answer to our search, no login of our protocol.
Model ipcO()
{
    Model m = ipcB();
    m.name = "IPC-O";
    m.version = "V5.1.0.20240301";
    m.buildYear = 2024, m.buildMonth = 3, m.buildDay = 1;
    m.hardwareId = "OVF-5100";
    m.answersCloudId = false;
    m.native = false;
    return m;
}

} // namespace

bool Abilities::hasFunction(int byte) const
{
    return std::find(functionFlags.begin(), functionFlags.end(), byte) != functionFlags.end();
}

int Model::channelCount() const
{
    return analogChannels + digitalChannels;
}

const std::vector<Model>& models()
{
    static const std::vector<Model> all = {ipcA(), ipcB(), ipcC(), nvr8(), hvr4(), ipcX(), ipcD()};
    return all;
}

const std::vector<Model>& onvifOnlyModels()
{
    static const std::vector<Model> all = {ipcO()};
    return all;
}

const Model* findModel(const std::string& name)
{
    for (const auto* list : {&models(), &onvifOnlyModels()})
        for (const Model& m : *list)
            if (m.name == name)
                return &m;
    return nullptr;
}

} // namespace camsim
