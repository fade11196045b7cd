// The emulator's camera models: their default records are plausible and consistent with each other,
// and the optional abilities the configuration pages look at differ across the models.

#include <algorithm>
#include <cstring>
#include <set>

#include <QtTest>

#include "models.h"
#include "records.h"

using namespace camsim;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Pixels per frame by resolution index, PAL and NTSC, and the extra-stream resolutions that may go
// with each main-stream resolution.
const std::int64_t kPixelsPal[32] = {405504,  202752,  202752,  101376,  25344,   307200,  76800,   230400,
                                     20480,   46080,   534528,  921600,  1228800, 1920000, 2073600, 2304000,
                                     2635776, 3145728, 4915200, 1019520, 3686400, 6291456, 7990272, 12000000,
                                     8294400, 460800,  589824,  230400,  1572864, 1843200, 2457600, 4147200};
const std::int64_t kPixelsNtscLow[5] = {337920, 168960, 168960, 84480, 21120};
constexpr std::int64_t k960HNtsc = 445440;
const std::uint32_t kExtraMask[32] = {0x5B,   0x1A,   0x1C,   0x18,  0x10,  0x60,  0x40,  0x80, 0x100, 0x200, 0x5B,
                                      0x5B,   0x5B,   0x5B,   0x85B, 0x85B, 0x85B, 0x85B, 0x5B, 0xC59, 0x85B, 0x4841,
                                      0x4841, 0x4841, 0x4849, 0x18,  0,     0,     0x49,  0x49, 0x49,  0x49};

std::int64_t pixels(int resolution, int standard)
{
    if (standard == 1 && resolution < 5)
        return kPixelsNtscLow[resolution];
    if (standard == 1 && resolution == 10)
        return k960HNtsc;
    return kPixelsPal[resolution];
}

using Row = std::array<int, 6>;
const Row kSet1[32] = {{512, 768, 1024, 1536, 2048, 2560},     {384, 512, 768, 1024, 1536, 2048},
                       {384, 512, 768, 1024, 1536, 2048},      {64, 192, 384, 512, 768, 1024},
                       {64, 128, 192, 384, 448, 512},          {512, 768, 896, 1280, 1536, 2048},
                       {256, 384, 512, 640, 768, 1024},        {512, 768, 896, 1280, 1536, 2048},
                       {64, 128, 192, 384, 448, 512},          {64, 128, 256, 448, 512, 768},
                       {896, 1024, 1536, 2048, 3072, 4096},    {1024, 1536, 2048, 2560, 3072, 4096},
                       {1024, 1536, 2048, 3072, 4096, 5120},   {1024, 2048, 3072, 4096, 6144, 8192},
                       {1024, 2048, 3072, 4096, 6144, 8192},   {1177, 2355, 3532, 4710, 7065, 10240},
                       {1280, 2560, 3840, 5120, 7680, 10240},  {1536, 3072, 4096, 6144, 8192, 10240},
                       {2048, 3072, 4096, 6144, 8192, 10240},  {1024, 1536, 2048, 2560, 3072, 4096},
                       {1536, 3072, 4096, 6144, 8192, 10240},  {1536, 3072, 4096, 6144, 8192, 10240},
                       {1536, 3072, 4096, 6144, 8192, 10240},  {1536, 3072, 4096, 6144, 8192, 10240},
                       {2048, 4096, 6144, 8192, 11264, 13312}, {512, 768, 1024, 1536, 2048, 2560},
                       {1024, 1536, 2048, 2560, 3072, 4096},   {512, 768, 896, 1280, 1536, 2048},
                       {1024, 1536, 2048, 3072, 4096, 5120},   {1024, 2048, 3072, 4096, 6144, 8192},
                       {1280, 2560, 3840, 5120, 7680, 10240},  {1536, 3072, 4096, 6144, 8192, 10240}};
const Row kSet4[32] = {
    {332, 499, 665, 998, 1331, 1664},     {249, 332, 499, 665, 998, 1331},     {249, 332, 499, 665, 998, 1331},
    {41, 124, 249, 332, 499, 665},        {41, 83, 124, 249, 291, 332},        {332, 499, 582, 832, 998, 1331},
    {166, 249, 332, 416, 499, 665},       {332, 499, 582, 832, 998, 1331},     {41, 83, 124, 249, 291, 332},
    {41, 83, 166, 291, 332, 499},         {582, 665, 998, 1331, 1996, 2662},   {665, 998, 1331, 1664, 1996, 2662},
    {665, 998, 1331, 1996, 2662, 3328},   {665, 1331, 1996, 2662, 3993, 5324}, {665, 1331, 1996, 2662, 3993, 5324},
    {765, 1530, 2295, 3061, 4592, 6656},  {832, 1664, 2496, 3328, 4992, 6656}, {998, 1996, 2662, 3993, 5324, 6656},
    {1331, 1996, 2662, 3993, 5324, 6656}, {665, 998, 1331, 1664, 1996, 2662},  {998, 1996, 2662, 3993, 5324, 6656},
    {998, 1996, 2662, 3993, 5324, 6656},  {998, 1996, 2662, 3993, 5324, 6656}, {998, 1996, 2662, 3993, 5324, 6656},
    {1331, 2662, 3993, 5324, 7321, 8652}, {332, 499, 665, 998, 1331, 1664},    {582, 665, 998, 1331, 1996, 2662},
    {332, 499, 582, 832, 998, 1327},      {665, 998, 1331, 1996, 2662, 3328},  {665, 1331, 1996, 2662, 3993, 5324},
    {832, 1664, 2496, 3328, 4992, 6656},  {1331, 1996, 2665, 3993, 5324, 6656}};

Row bitRateRow(int set, int resolution)
{
    if (set == 4)
        return kSet4[resolution];
    if (set == 2) {
        if (resolution > 18)
            return Row{};
        switch (resolution) {
        case 0:
            return {384, 576, 768, 1152, 1536, 1920};
        case 3:
            return {48, 144, 288, 384, 576, 768};
        case 4:
            return {48, 96, 144, 288, 336, 384};
        case 11:
            return {768, 1152, 1536, 1920, 2304, 3072};
        case 15:
        case 16:
        case 17:
            return {640, 1024, 1536, 2048, 3072, 4096};
        case 18:
            return {720, 1024, 1536, 2048, 3072, 5120};
        default:
            return kSet1[resolution];
        }
    }
    if (set == 3) {
        if (resolution > 20)
            return Row{};
        if (resolution == 11)
            return {1536, 2048, 2560, 3072, 4096, 6096};
    }
    return kSet1[resolution];
}

std::int32_t i32(const Bytes& b, std::size_t offset)
{
    std::int32_t v = 0;
    std::memcpy(&v, b.data() + offset, 4); // little-endian host
    return v;
}

std::string text(const Bytes& b, std::size_t offset, std::size_t field)
{
    const char* p = reinterpret_cast<const char*>(b.data() + offset);
    return std::string(p, strnlen(p, field));
}

struct Format
{
    int compression, resolution, control, quality, frameRate, bitRate, gop;
    bool video, audio;
};

Format formatAt(const Bytes& b, std::size_t o)
{
    return {i32(b, o),      i32(b, o + 4),  i32(b, o + 8),  i32(b, o + 12), i32(b, o + 16),
            i32(b, o + 20), i32(b, o + 24), b[o + 40] != 0, b[o + 41] != 0};
}

Identity identity(int index)
{
    Identity id;
    id.index = index;
    id.mac = "02:56:54:00:00:" + QByteArray::number(index, 16).rightJustified(2, '0').toStdString();
    id.serial = QByteArray::number(0x56540000 + index, 16).rightJustified(16, '0').toStdString();
    return id;
}

Bytes readOk(const RecordStore& s, int command, int channel)
{
    Bytes b;
    const int r = s.read(command, channel, b);
    if (r != kRecordOk)
        qWarning("read %d/%d -> %d", command, channel, r);
    return b;
}

bool profileOffered(const Model& m, const RecordStore& s)
{
    const int date = m.buildYear * 10000 + m.buildMonth * 100 + m.buildDay;
    return i32(readOk(s, 17, -1), 332) == 2 && date > 20120710;
}

} // namespace

class TestCamsimModels : public QObject
{
    Q_OBJECT

private slots:
    void modelsCoverKindsVersionsAndDates();
    void optionalAbilitiesDifferAcrossModels();
    void encodeDefaultsFitTheAbilityRecord();
    void recorderDigitalChannels();
    void plainDefaults();
    void defaultsFollowIdentity();
};

void TestCamsimModels::modelsCoverKindsVersionsAndDates()
{
    const auto& all = models();
    QVERIFY(all.size() >= 5);
    std::set<std::string> names;
    std::set<int> kinds;
    int cameras = 0, older = 0, newer = 0, atOrJustAbove = 0, earlyBuilds = 0, lateBuilds = 0, noCloud = 0;
    for (const Model& m : all) {
        QVERIFY(!m.name.empty() && names.insert(m.name).second);
        QCOMPARE(findModel(m.name), &m);
        kinds.insert(m.deviceKind);
        QVERIFY(m.analogChannels >= 0 && m.digitalChannels >= 0 && m.channelCount() >= 1 && m.channelCount() <= 64);
        QVERIFY(!m.hardwareId.empty() && !m.version.empty() && m.version.size() < 64);
        QVERIFY(m.buildMonth >= 1 && m.buildMonth <= 12 && m.buildDay >= 1 && m.buildDay <= 31);
        if (m.deviceKind == 0 && m.digitalChannels == 0)
            ++cameras;
        if (m.deviceKind == 3) {
            QCOMPARE(m.analogChannels, 0);
            QVERIFY(m.digitalChannels > 0);
        }
        const int cmp = std::strcmp(m.version.c_str(), "V2.62.R07");
        (cmp < 0 ? older : newer)++;
        if (m.version.compare(0, 9, "V2.62.R07") == 0 || m.version == "V2.62.R08")
            ++atOrJustAbove;
        const int date = m.buildYear * 10000 + m.buildMonth * 100 + m.buildDay;
        (date > 20120710 ? lateBuilds : earlyBuilds)++;
        noCloud += m.answersCloudId ? 0 : 1;
    }
    QVERIFY(cameras >= 3);
    QVERIFY(kinds.count(0) && kinds.count(3) && kinds.count(5));
    QVERIFY(std::any_of(kinds.begin(), kinds.end(), [](int k) { return k != 0 && k != 3 && k != 5; }));
    QVERIFY(older > 0 && newer > 0 && atOrJustAbove > 0);
    QVERIFY(earlyBuilds > 0 && lateBuilds > 0);
    QVERIFY(noCloud > 0 && noCloud < static_cast<int>(all.size()));
    QCOMPARE(findModel("no such model"), nullptr);
}

void TestCamsimModels::optionalAbilitiesDifferAcrossModels()
{
    // What each model shows, as the program reads it from the records.
    std::map<std::string, std::vector<bool>> shown;
    auto note = [&](const std::string& what, bool on) { shown[what].push_back(on); };

    for (const Model& m : models()) {
        RecordStore s(m, identity(1));
        const Bytes function = readOk(s, 9, -1);
        QCOMPARE(function.size(), std::size_t(222));
        for (int byte : {0, 5, 6, 9, 11, 34, 147, 149, 164, 178, 188, 192, 198, 203, 205})
            note("function byte " + std::to_string(byte), function[static_cast<std::size_t>(byte)] != 0);

        const Bytes camera = readOk(s, 95, -1);
        note("camera ability 146 (extended parameters)", camera[146] != 0);
        note("camera ability 145 (intelligent motion mode)", camera[145] != 0);

        const Bytes ability = readOk(s, 10, 0);
        note("H.265", (i32(ability, 520) | i32(ability, 524)) & (1 << 8));
        note("profile", profileOffered(m, s));

        // Smart encoding: per channel, per stream (masks of command 326) or from the JSON ability query.
        const Bytes masks = readOk(s, 326, -1);
        note("smart per channel", function[6] && !function[9] && !function[11]);
        note("smart per stream", function[9] && (i32(masks, 8) & 1));
        const bool json = s.abilityJson("ChannelSystemFunction@SmartH264", 0)["Ret"].asInt() == 100;
        QCOMPARE(json, function[11] != 0);
        note("smart from JSON", json);
        note("no smart encoding", !function[6] && !function[9] && !function[11]);

        note("humanoid", function[34] != 0);
        note("alarm sound", function[188] != 0);
        const bool tips = s.readJson("Ability.VoiceTipType", 1042, -1)["Ret"].asInt() == 100;
        QCOMPARE(tips, function[203] != 0);
        note("voice tips", tips);
        const bool volume = s.readJson("fVideo.Volume", 1042, -1)["Ret"].asInt() == 100;
        QCOMPARE(volume, function[205] != 0);
        note("volume", volume);
        note("digital channels", i32(readOk(s, 17, -1), 324) > 0);
        note("NTSC", i32(readOk(s, 18, -1), 116) == 1);
        const int mode = i32(readOk(s, 94, 0), 4);
        note("soft photo day/night mode", mode >= 4 && mode <= 5);
    }
    for (const auto& [what, values] : shown) {
        const bool someOn = std::count(values.begin(), values.end(), true) > 0;
        const bool someOff = std::count(values.begin(), values.end(), false) > 0;
        QVERIFY2(someOn && someOff, what.c_str());
    }
}

void TestCamsimModels::encodeDefaultsFitTheAbilityRecord()
{
    int checked = 0;
    for (const Model& m : models()) {
        if (m.analogChannels == 0)
            continue;
        const QByteArray where = QByteArray::fromStdString(m.name);
        RecordStore s(m, identity(2));
        const Bytes function = readOk(s, 9, -1);
        const Bytes ability = readOk(s, 10, 0);
        const Bytes entries = readOk(s, 19, -1);
        const Bytes simple = readOk(s, 68, -1);
        const int standard = i32(readOk(s, 18, -1), 116);
        QVERIFY(standard == 0 || standard == 1);
        const int maxRate = standard == 0 ? 25 : 30;
        const int A = i32(readOk(s, 17, -1), 288);
        QCOMPARE(A, m.analogChannels);

        const std::int64_t total = i32(ability, 0);
        const bool combined = i32(ability, 4) != 0;
        const std::int32_t budget = i32(ability, 1704) ? i32(ability, 1704) : 24576;
        QVERIFY2(total > 0, where);

        std::vector<Format> mains, extras;
        for (int c = 0; c < A; ++c) {
            mains.push_back(formatAt(entries, 396 * c));
            extras.push_back(formatAt(entries, 396 * c + 132));
        }
        auto load = [&](const Format& f) { return pixels(f.resolution, standard) * f.frameRate; };
        std::int64_t extraLoads = 0, mainBitRates = 0;
        for (int c = 0; c < A; ++c) {
            if (function[0] && extras[c].video)
                extraLoads += load(extras[c]);
            if (mains[c].video)
                mainBitRates += mains[c].bitRate;
        }
        QVERIFY2(mainBitRates <= budget, where);

        for (int c = 0; c < A; ++c) {
            const Format& main = mains[c];
            const Format& extra = extras[c];
            for (const Format* f : {&main, &extra}) {
                QVERIFY2(f->resolution >= 0 && f->resolution < 32, where);
                QVERIFY2(f->quality >= 1 && f->quality <= 6 && f->gop >= 1 && f->gop <= 12, where);
                QVERIFY2(f->control == 0 || f->control == 1, where);
                QVERIFY2(f->frameRate >= 1 && f->frameRate <= maxRate, where);
                // The bit rate is one the page offers for this resolution and quality.
                const int set = function[5] ? 2 : function[164] ? 3 : f->compression == 8 ? 4 : 1;
                const Row row = bitRateRow(set, f->resolution);
                const int G = f->gop, N = maxRate;
                const int expected = ((G * std::min(f->frameRate, N) + 9) * row[f->quality - 1]) / (G * N + 9);
                QVERIFY2(expected > 0 && f->bitRate == expected, where + " bit rate " + QByteArray::number(f->bitRate));
            }
            QVERIFY2(main.video, where);
            QVERIFY2(i32(ability, 520) & (1 << main.compression), where);
            QVERIFY2(i32(ability, 524) & (1 << extra.compression), where);
            QVERIFY2(i32(ability, 264 + 4 * c) & (1 << main.resolution), where);
            const std::uint32_t deviceExtra =
                static_cast<std::uint32_t>(i32(ability, 1708 + 128 * c + 4 * main.resolution));
            QVERIFY2(deviceExtra & (1u << extra.resolution), where);
            if (main.resolution != 18)
                QVERIFY2(kExtraMask[main.resolution] & (1u << extra.resolution), where);

            // Encode power: what is left for this channel carries both of its streams at their frame rates.
            std::int64_t remaining = total;
            if (combined) {
                remaining = (total - extraLoads) / A;
            } else {
                for (int o = 0; o < A; ++o) {
                    if (o == c)
                        continue;
                    remaining -= mains[o].video ? load(mains[o]) : 0;
                    remaining -= extras[o].video ? load(extras[o]) : 0;
                }
            }
            const std::int64_t limit = i32(ability, 8 + 4 * c);
            if (limit > 0)
                remaining = std::min(remaining, limit);
            const std::int64_t forMain = remaining - (function[0] && extra.video ? load(extra) : 0);
            const std::int64_t forExtra = remaining - load(main);
            QVERIFY2(forMain / pixels(main.resolution, standard) >= main.frameRate, where + " main power");
            QVERIFY2(forExtra / pixels(extra.resolution, standard) >= extra.frameRate, where + " extra power");
            QVERIFY2(main.bitRate <= budget - (mainBitRates - main.bitRate), where);

            // The simplified record carries the same formats.
            QVERIFY2(std::equal(simple.begin() + 88 * c, simple.begin() + 88 * c + 44, entries.begin() + 396 * c),
                     where);
            QVERIFY2(
                std::equal(simple.begin() + 88 * c + 44, simple.begin() + 88 * c + 88, entries.begin() + 396 * c + 132),
                where);
        }

        // Profile entries name a profile the page offers, with its value.
        const Bytes profiles = readOk(s, 117, -1);
        const int number = i32(profiles, 0);
        QVERIFY2(number >= 1 && number <= 3, where);
        QCOMPARE(i32(profiles, 4), (std::array<int, 3>{51, 41, 40})[number - 1]);
        ++checked;
    }
    QVERIFY(checked >= 4);
}

void TestCamsimModels::recorderDigitalChannels()
{
    const Model* nvr = nullptr;
    for (const Model& m : models())
        if (m.digitalChannels > 0)
            nvr = &m;
    QVERIFY(nvr);
    RecordStore s(*nvr, identity(3));
    const Bytes info = readOk(s, 17, -1);
    QCOMPARE(i32(info, 288), 0);
    QCOMPARE(i32(info, 324), nvr->digitalChannels);
    QVERIFY(readOk(s, 9, -1)[147] != 0);

    const Bytes config = readOk(s, 102, -1);
    const Bytes encode = readOk(s, 79, -1);
    QCOMPARE(config.size(), std::size_t(13696));
    QCOMPARE(encode.size(), std::size_t(1238784));
    int connected = 0, qualifying = 0, connectedNotQualifying = 0;
    for (int i = 0; i < nvr->digitalChannels; ++i) {
        const bool isConnected = text(config, 214 * i + 164, 50) == "Connected";
        const std::size_t e = 19356 * static_cast<std::size_t>(i);
        const int k = i32(encode, e + 12) - 1;
        QVERIFY(k >= 0 && k < 32);
        const bool qualifies = isConnected && i32(encode, e + 4) == 0 && i32(encode, e + 604 * k + 280) != 1;
        const int s_ = i32(encode, e + 604 * k + 288);
        QVERIFY(s_ >= 0 && s_ < 64);
        connected += isConnected;
        qualifying += qualifies;
        connectedNotQualifying += isConnected && !qualifies;

        const Bytes ability = readOk(s, 173, i);
        QCOMPARE(ability.size(), std::size_t(9932));
        if (qualifies) {
            QCOMPARE(ability[0], std::uint8_t(1));
            QVERIFY(i32(ability, 4) != 0);
        }
        // The stream table's entry in use holds the channel's two formats.
        const Bytes table = readOk(s, 172, i);
        QCOMPARE(table.size(), std::size_t(5632));
        const Format main = formatAt(table, 88 * s_);
        QVERIFY(main.resolution >= 0 && main.resolution < 32 && main.frameRate > 0 && main.bitRate > 0);
        QVERIFY(main.quality >= 1 && main.quality <= 6);
    }
    QVERIFY(connected > 0 && connected < nvr->digitalChannels);
    QVERIFY(qualifying > 0);
    QVERIFY(connectedNotQualifying > 0);

    // The JSON ability names the channels, one flag each.
    const Json::Value smart = s.abilityJson("ChannelSystemFunction@SmartH264", -1);
    QCOMPARE(smart["Ret"].asInt(), 100);
    QCOMPARE(static_cast<int>(smart["ChannelSystemFunction@SmartH264"].size()), nvr->digitalChannels);
}

void TestCamsimModels::plainDefaults()
{
    for (const Model& m : models()) {
        const QByteArray where = QByteArray::fromStdString(m.name);
        RecordStore s(m, identity(4));

        const Bytes ntp = readOk(s, 41, -1);
        QVERIFY2(!text(ntp, 4, 64).empty(), where);
        QCOMPARE(i32(ntp, 72), 123);
        QVERIFY2(i32(ntp, 208) > 0 && i32(ntp, 208) < 100000, where);
        QVERIFY2(i32(ntp, 212) >= 0 && i32(ntp, 212) <= 32, where);

        const Bytes cloud = readOk(s, 122, -1);
        QVERIFY(cloud[0] <= 1);
        QCOMPARE(i32(cloud, 4), 1280);

        const Bytes standards = readOk(s, 64, -1);
        QCOMPARE(i32(standards, 0), 2);
        QCOMPARE(text(standards, 4, 16), std::string("PAL"));
        QCOMPARE(text(standards, 20, 16), std::string("NTSC"));
        QVERIFY(i32(readOk(s, 18, -1), 116) < i32(standards, 0));

        const Bytes motion = readOk(s, 24, 0);
        QVERIFY(motion[0] <= 1);
        const Bytes function = readOk(s, 9, -1);
        if (function[203]) {
            const Json::Value tips = s.readJson("Ability.VoiceTipType", 1042, -1)["Ability.VoiceTipType"]["VoiceTip"];
            bool found = false;
            for (const Json::Value& t : tips)
                found |= t["VoiceEnum"].asInt() == i32(motion, 2688);
            QVERIFY2(found, where);
            QVERIFY2(i32(motion, 2684) > 0, where);
        }
        QCOMPARE(motion[2485] != 0, function[188] != 0);

        const Bytes camera = readOk(s, 94, 0);
        QVERIFY2(i32(camera, 60) >= 10 && i32(camera, 60) <= 50, where);
        QVERIFY(i32(camera, 68) <= 5 && i32(camera, 72) <= 5 && i32(camera, 0) <= 2);
        // The day/night mode is one the camera page offers on this model.
        const int mode = i32(camera, 4);
        const bool offered = (mode <= 2 && !function[216]) ||
                             (mode == 3 && (function[34] || readOk(s, 95, -1)[145] == 1)) ||
                             ((mode == 4 || mode == 5) && function[192]) || (mode == 6 && function[178]);
        QVERIFY2(offered, where);
        const int soft = i32(readOk(s, 145, 0), 48);
        QVERIFY(soft >= 0 && soft <= 5);

        QVERIFY(readOk(s, 274, -1)[0] <= 1);
        QVERIFY(readOk(s, 37, -1)[0] <= 1);
        QCOMPARE(readOk(s, 302, 0)[0] != 0, m.abilities.humanoidEnabled && function[34] != 0);
    }
}

void TestCamsimModels::defaultsFollowIdentity()
{
    const Model& m = models().front();
    RecordStore a(m, identity(1));
    RecordStore again(m, identity(1));
    RecordStore b(m, identity(2));
    QCOMPARE(readOk(a, 17, -1), readOk(again, 17, -1));
    QVERIFY(readOk(a, 17, -1) != readOk(b, 17, -1));
    QCOMPARE(text(readOk(a, 17, -1), 128, 32), identity(1).serial);
    QCOMPARE(text(readOk(a, 17, -1), 160, 32), identity(1).mac);
    QCOMPARE(text(readOk(a, 17, -1), 0, 64), m.version);
    QVERIFY(readOk(a, 18, -1) != readOk(b, 18, -1));
}

QTEST_GUILESS_MAIN(TestCamsimModels)
#include "tst_camsim_records_models.moc"
