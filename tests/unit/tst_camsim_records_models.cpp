// The emulator's camera models: their default records are plausible and consistent with each other,
// and the optional abilities the configuration pages look at differ across the models.

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include <QtTest>

#include "models.h"
#include "records.h"

using namespace camsim;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Pixels per frame by resolution index, PAL and NTSC.
const std::int64_t kPixelsPal[32] = {405504,  202752,  202752,  101376,  25344,   307200,  76800,   230400,
                                     20480,   46080,   534528,  921600,  1228800, 1920000, 2073600, 2304000,
                                     2635776, 3145728, 4915200, 1019520, 3686400, 6291456, 7990272, 12000000,
                                     8294400, 460800,  589824,  230400,  1572864, 1843200, 2457600, 4147200};
const std::int64_t kPixelsNtscLow[5] = {337920, 168960, 168960, 84480, 21120};
constexpr std::int64_t k960HNtsc = 445440;

std::int64_t pixels(int resolution, int standard)
{
    if (standard == 1 && resolution < 5)
        return kPixelsNtscLow[resolution];
    if (standard == 1 && resolution == 10)
        return k960HNtsc;
    return kPixelsPal[resolution];
}

using Row = std::array<int, 6>;
// The encode page's offered bit rates by quality, by (set, resolution), for the resolutions the models' defaults
// use (a missing row fails the check). Sets 2 (low bit rates, to resolution 18) and 3 (to resolution 20) take
// set 1's row where they have none of their own; set 4 (H.265) has its own.
const std::map<std::pair<int, int>, Row> kBitRates = {
    {{1, 0}, {512, 768, 1024, 1536, 2048, 2560}},    {{1, 3}, {64, 192, 384, 512, 768, 1024}},
    {{1, 6}, {256, 384, 512, 640, 768, 1024}},       {{1, 11}, {1024, 1536, 2048, 2560, 3072, 4096}},
    {{1, 14}, {1024, 2048, 3072, 4096, 6144, 8192}}, {{2, 3}, {48, 144, 288, 384, 576, 768}},
    {{4, 20}, {998, 1996, 2662, 3993, 5324, 6656}},  {{4, 18}, {1331, 1996, 2662, 3993, 5324, 6656}},
    {{4, 0}, {332, 499, 665, 998, 1331, 1664}}};

Row bitRateRow(int set, int resolution)
{
    auto it = kBitRates.find({set, resolution});
    if (it == kBitRates.end() && (set == 2 || set == 3) && resolution <= (set == 2 ? 18 : 20))
        it = kBitRates.find({1, resolution});
    return it == kBitRates.end() ? Row{} : it->second;
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
    return Identity{index, "02:56:54:00:00:" + QByteArray::number(index, 16).rightJustified(2, '0').toStdString(),
                    QByteArray::number(0x56540000 + index, 16).rightJustified(16, '0').toStdString()};
}

Bytes readOk(const RecordStore& s, int command, int channel)
{
    Bytes b;
    const int r = s.read(command, channel, b);
    if (r != kRecordOk)
        qWarning("read %d/%d -> %d", command, channel, r);
    return b;
}

} // namespace

class TestCamsimModels : public QObject
{
    Q_OBJECT

private slots:
    void optionalAbilitiesDifferAcrossModels();
    void encodeDefaultsFitTheAbilityRecord();
    void recorderDigitalChannels();
    void plainDefaultsAgreeWithAbilities();
};

void TestCamsimModels::optionalAbilitiesDifferAcrossModels()
{
    // What each model shows, as the program reads it from the model table and the records.
    std::map<std::string, std::vector<bool>> shown;
    auto note = [&](const std::string& what, bool on) { shown[what].push_back(on); };
    std::set<std::string> names;

    for (const Model& m : models()) {
        QVERIFY(!m.name.empty() && names.insert(m.name).second && findModel(m.name) == &m);
        QVERIFY(m.analogChannels >= 0 && m.digitalChannels >= 0 && m.channelCount() >= 1 && m.channelCount() <= 64);
        QVERIFY(!m.hardwareId.empty() && !m.version.empty() && m.version.size() < 64);
        QVERIFY(m.buildMonth >= 1 && m.buildMonth <= 12 && m.buildDay >= 1 && m.buildDay <= 31);
        QVERIFY(m.deviceKind != 3 || (m.analogChannels == 0 && m.digitalChannels > 0));
        for (int kind : {0, 3, 5})
            note("device kind " + std::to_string(kind), m.deviceKind == kind);
        note("a kind the program does not list", m.deviceKind != 0 && m.deviceKind != 3 && m.deviceKind != 5);
        note("software before V2.62.R07", m.version < "V2.62.R07");
        note("software V2.62.R07 or R08", m.version.compare(0, 9, "V2.62.R07") == 0 || m.version == "V2.62.R08");
        const bool lateBuild = m.buildYear * 10000 + m.buildMonth * 100 + m.buildDay > 20120710;
        note("built after 2012-07-10", lateBuild);
        note("cloud identifier answered", m.answersCloudId);

        RecordStore s(m, identity(1));
        const Bytes function = readOk(s, 9, -1);
        for (int byte : {0, 5, 6, 9, 11, 34, 147, 149, 164, 178, 188, 192, 198, 203, 205})
            note("function byte " + std::to_string(byte), function[static_cast<std::size_t>(byte)] != 0);

        const Bytes camera = readOk(s, 95, -1);
        note("camera ability 146 (extended parameters)", camera[146] != 0);
        note("camera ability 145 (intelligent motion mode)", camera[145] != 0);

        const Bytes ability = readOk(s, 10, 0);
        note("H.265", (i32(ability, 520) | i32(ability, 524)) & (1 << 8));
        note("profile", i32(readOk(s, 17, -1), 332) == 2 && lateBuild);

        // Smart encoding: per channel, per stream (masks of command 326) or from the JSON ability query (byte 11).
        const Bytes masks = readOk(s, 326, -1);
        note("smart per channel", function[6] && !function[9] && !function[11]);
        note("smart per stream", function[9] && (i32(masks, 8) & 1));
        note("no smart encoding", !function[6] && !function[9] && !function[11]);
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
        const Bytes function = readOk(s, 9, -1), ability = readOk(s, 10, 0);
        const Bytes entries = readOk(s, 19, -1), simple = readOk(s, 68, -1);
        const int standard = i32(readOk(s, 18, -1), 116);
        QVERIFY(standard == 0 || standard == 1);
        const int maxRate = standard == 0 ? 25 : 30;
        const int A = i32(readOk(s, 17, -1), 288);
        QCOMPARE(A, m.analogChannels);

        const std::int64_t total = i32(ability, 0);
        const bool combined = i32(ability, 4) != 0;
        const std::int32_t budget = i32(ability, 1704) ? i32(ability, 1704) : 24576;
        QVERIFY2(total > 0, where);

        auto load = [&](const Format& f) { return pixels(f.resolution, standard) * f.frameRate; };
        std::vector<Format> mains, extras;
        std::int64_t extraLoads = 0, mainBitRates = 0;
        for (int c = 0; c < A; ++c) {
            mains.push_back(formatAt(entries, 396 * c));
            extras.push_back(formatAt(entries, 396 * c + 132));
            extraLoads += function[0] && extras[c].video ? load(extras[c]) : 0;
            mainBitRates += mains[c].video ? mains[c].bitRate : 0;
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
            QVERIFY2(i32(ability, 1708 + 128 * c + 4 * main.resolution) & (1 << extra.resolution), where);

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

            // The simplified record carries the same two formats.
            for (int half : {0, 1})
                QVERIFY2(std::equal(simple.begin() + 88 * c + 44 * half, simple.begin() + 88 * c + 44 * (half + 1),
                                    entries.begin() + 396 * c + 132 * half),
                         where);
        }
        ++checked;
    }
    QVERIFY(checked >= 4);
}

void TestCamsimModels::recorderDigitalChannels()
{
    int recorders = 0;
    for (const Model& m : models()) {
        if (m.digitalChannels == 0)
            continue;
        ++recorders;
        RecordStore s(m, identity(3));
        QVERIFY(readOk(s, 9, -1)[147] != 0);
        const Bytes config = readOk(s, 102, -1);
        const Bytes encode = readOk(s, 79, -1);
        // Channels in every state the digital channel page tells apart.
        int connected = 0, qualifying = 0, connectedNotQualifying = 0;
        for (int i = 0; i < m.digitalChannels; ++i) {
            const bool isConnected = text(config, 214 * i + 164, 50) == "Connected";
            const std::size_t e = 19356 * static_cast<std::size_t>(i);
            const int k = i32(encode, e + 12) - 1;
            QVERIFY(k >= 0 && k < 32);
            const bool qualifies = isConnected && i32(encode, e + 4) == 0 && i32(encode, e + 604 * k + 280) != 1;
            const int entry = i32(encode, e + 604 * k + 288);
            QVERIFY(entry >= 0 && entry < 64);
            connected += isConnected;
            qualifying += qualifies;
            connectedNotQualifying += isConnected && !qualifies;

            const Bytes ability = readOk(s, 173, i);
            QVERIFY(!qualifies || (ability[0] == 1 && i32(ability, 4) != 0));
            // The stream table's entry in use holds the channel's formats.
            const Format main = formatAt(readOk(s, 172, i), 88 * static_cast<std::size_t>(entry));
            QVERIFY(main.resolution >= 0 && main.resolution < 32 && main.frameRate > 0 && main.bitRate > 0);
            QVERIFY(main.quality >= 1 && main.quality <= 6);
        }
        QVERIFY(connected > 0 && connected < m.digitalChannels);
        QVERIFY(qualifying > 0 && connectedNotQualifying > 0);
    }
    QVERIFY(recorders > 0);
}

void TestCamsimModels::plainDefaultsAgreeWithAbilities()
{
    for (const Model& m : models()) {
        const QByteArray where = QByteArray::fromStdString(m.name);
        RecordStore s(m, identity(4));
        const Bytes function = readOk(s, 9, -1);

        // The camera's identity shows in its records; the same identity gives the same records.
        const Bytes info = readOk(s, 17, -1);
        QCOMPARE(text(info, 128, 32), identity(4).serial);
        QCOMPARE(text(info, 160, 32), identity(4).mac);
        QCOMPARE(readOk(RecordStore(m, identity(4)), 17, -1), info);
        QVERIFY2(readOk(RecordStore(m, identity(5)), 18, -1) != readOk(s, 18, -1), where);

        // The NTP time zone is in range, and the video standard is one the device offers.
        const int zone = i32(readOk(s, 41, -1), 212);
        QVERIFY2(zone >= 0 && zone <= 32, where);
        QVERIFY2(i32(readOk(s, 18, -1), 116) < i32(readOk(s, 64, -1), 0), where);

        // The motion record's sound is one of the voice tips, and its alarm sound follows the ability.
        const Bytes motion = readOk(s, 24, 0);
        if (function[203]) {
            const Json::Value tips = s.readJson("Ability.VoiceTipType", 1042, -1)["Ability.VoiceTipType"]["VoiceTip"];
            bool found = false;
            for (const Json::Value& t : tips)
                found |= t["VoiceEnum"].asInt() == i32(motion, 2688);
            QVERIFY2(found && i32(motion, 2684) > 0, where);
        }
        QCOMPARE(motion[2485] != 0, function[188] != 0);

        // The day/night mode is one the camera page offers on this model.
        const int mode = i32(readOk(s, 94, 0), 4);
        const bool offered = (mode <= 2 && !function[216]) ||
                             (mode == 3 && (function[34] || readOk(s, 95, -1)[145] == 1)) ||
                             ((mode == 4 || mode == 5) && function[192]) || (mode == 6 && function[178]);
        QVERIFY2(offered, where);
        QCOMPARE(readOk(s, 302, 0)[0] != 0, m.abilities.humanoidEnabled && function[34] != 0);
    }
}

QTEST_GUILESS_MAIN(TestCamsimModels)
#include "tst_camsim_records_models.moc"
