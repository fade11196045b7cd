// The emulator's record store: sizes, channels, byte-exact storage, reboot answers, factory reset,
// JSON records and the state it saves and loads.

#include <array>
#include <functional>
#include <random>

#include <QtTest>

#include "models.h"
#include "records.h"

using namespace camsim;
using Bytes = std::vector<std::uint8_t>;

namespace {

const char* const kVolume = "fVideo.Volume";

// The store copies the identity into its defaults; what it holds does not matter here.
Identity identityFor(int index)
{
    return Identity{index, "02:56:54:00:00:2a", "565400000000002a"};
}

Bytes randomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

Json::Value volume(int left, int right)
{
    Json::Value v(Json::arrayValue);
    v[0]["AudioMode"] = "Single";
    v[0]["LeftVolume"] = left;
    v[0]["RightVolume"] = right;
    return v;
}

// The channels that address a readable record of c on m, with the size each reads; none when m lacks it.
std::vector<std::pair<int, std::size_t>> channelsOf(const Model& m, const CommandInfo& c)
{
    std::vector<std::pair<int, std::size_t>> out;
    if (c.digitalOnly && m.digitalChannels == 0)
        return out;
    switch (c.scope) {
    case ChannelScope::Device:
        for (int ch = -1; ch < m.channelCount(); ++ch)
            out.push_back({ch, c.size});
        break;
    case ChannelScope::FirstChannel:
        out = {{-1, c.size}, {0, c.size}};
        break;
    case ChannelScope::PerChannel:
        out.push_back({-1, c.size});
        for (int ch = 0; ch < (c.digitalOnly ? m.digitalChannels : m.channelCount()); ++ch)
            out.push_back({ch, c.entrySize});
        break;
    case ChannelScope::PerDigital:
        for (int ch = 0; ch < m.digitalChannels; ++ch)
            out.push_back({ch, c.size});
        break;
    default:
        break;
    }
    return out;
}

std::vector<int> badChannels(const Model& m, const CommandInfo& c)
{
    std::vector<int> bad = {-2, m.channelCount(), 64, 1000};
    if (c.scope == ChannelScope::FirstChannel && m.channelCount() > 1)
        bad.push_back(1);
    if (c.scope == ChannelScope::PerDigital)
        bad.push_back(-1);
    if (c.digitalOnly)
        bad.push_back(m.digitalChannels);
    return bad;
}

// Every whole readable record of a store, by (command, channel) with channel -1 or a digital channel.
std::map<std::pair<int, int>, Bytes> snapshot(const RecordStore& store, const Model& m)
{
    std::map<std::pair<int, int>, Bytes> all;
    for (const CommandInfo& c : commandTable()) {
        for (const auto& channel : channelsOf(m, c)) {
            if (channel.first == -1 || c.scope == ChannelScope::PerDigital)
                store.read(c.command, channel.first, all[{c.command, channel.first}]);
        }
    }
    return all;
}

} // namespace

class TestCamsimRecords : public QObject
{
    Q_OBJECT

private slots:
    void everyRecordOfEveryModel_data();
    void everyRecordOfEveryModel();
    void rebootAnswersOnlyForStandardAndDhcpChanges();
    void writeOnlyCommands();
    void jsonRecords();
    void loadRefusesCorruptState();
};

void TestCamsimRecords::everyRecordOfEveryModel_data()
{
    QTest::addColumn<QString>("model");
    for (const Model& m : models())
        QTest::newRow(m.name.c_str()) << QString::fromStdString(m.name);
}

// Every record through every channel: refusals, byte-exact storage, then the state round trip and the
// factory reset of all that was written.
void TestCamsimRecords::everyRecordOfEveryModel()
{
    QFETCH(QString, model);
    const Model* m = findModel(model.toStdString());
    QVERIFY(m);
    RecordStore store(*m, identityFor(7));
    std::mt19937 rng(1234);
    const auto defaults = snapshot(store, *m);
    const Json::Value volumeDefault = store.readJson(kVolume, 1042, -1);
    QCOMPARE(store.writtenBytes(), std::size_t(0)); // defaults are generated, not kept

    for (int unknown : {-5, 0, 1, 11, 21, 100, 1040, 1042, 99999}) {
        Bytes out;
        QCOMPARE(store.read(unknown, -1, out), kRecordUnknown);
        QCOMPARE(store.write(unknown, -1, Bytes(16, 1)), kRecordUnknown);
        QCOMPARE(store.recordSize(unknown, -1), std::size_t(0));
    }

    auto expected = defaults;
    for (const CommandInfo& c : commandTable()) {
        const QByteArray where = QByteArray::number(c.command);
        const auto channels = channelsOf(*m, c);
        Bytes out;
        if (channels.empty()) {
            // Write-only, the camera's own network record, or digital records on a model without them.
            const std::size_t size = c.scope == ChannelScope::CameraCore ? c.size : 0;
            QVERIFY2(store.read(c.command, -1, out) == kRecordUnknown, where);
            QVERIFY2(store.read(c.command, 0, out) == kRecordUnknown, where);
            QVERIFY2(store.recordSize(c.command, -1) == size, where);
            if (c.scope != ChannelScope::WriteOnly)
                QVERIFY2(store.write(c.command, -1, Bytes(c.size)) == kRecordUnknown, where);
            continue;
        }
        for (const auto& [channel, size] : channels) {
            const QByteArray at = where + " channel " + QByteArray::number(channel);
            Bytes& whole = expected[{c.command, c.scope == ChannelScope::PerDigital ? channel : -1}];
            const std::size_t offset = c.scope == ChannelScope::PerChannel && channel >= 0 ? c.entrySize * channel : 0;
            QVERIFY2(store.read(c.command, channel, out) == kRecordOk && out.size() == size, at);
            QVERIFY2(std::equal(out.begin(), out.end(), whole.begin() + offset), at);
            QVERIFY2(store.recordSize(c.command, channel) == size, at);

            // Read-only records, wrong sizes and bad channels are refused and change nothing.
            const Bytes before = out;
            if (c.readOnly)
                QVERIFY2(store.write(c.command, channel, randomBytes(rng, size)) == kRecordRefused, at);
            for (std::size_t wrong : {std::size_t(0), size - 1, size + 1, size * 2}) {
                if (!c.readOnly && wrong != size)
                    QVERIFY2(store.write(c.command, channel, randomBytes(rng, wrong)) == kRecordBadSize, at);
            }
            for (int bad : badChannels(*m, c)) {
                const QByteArray badAt = at + " bad " + QByteArray::number(bad);
                QVERIFY2(store.write(c.command, bad, randomBytes(rng, size)) == kRecordBadSize, badAt);
                QVERIFY2(store.read(c.command, bad, out) == kRecordBadSize, badAt);
                QVERIFY2(store.recordSize(c.command, bad) == 0, badAt);
            }
            QVERIFY2(store.read(c.command, channel, out) == kRecordOk && out == before, at);
            if (c.readOnly)
                continue;

            // What is written comes back byte for byte, in its whole record too, and touches no other record.
            const Bytes data = randomBytes(rng, size);
            const int written = store.write(c.command, channel, data);
            QVERIFY2(written == kRecordOk || (written == kRecordNeedReboot && (c.command == 18 || c.command == 37)),
                     at);
            std::copy(data.begin(), data.end(), whole.begin() + offset);
            // The simplified encode entries (68) are the encode entries' (19) first 44 bytes of each
            // stream block: a write of either shows in both.
            Bytes& entries = expected[{19, -1}];
            for (std::size_t e = 0; c.command == 68 && e < size / 88; ++e) {
                for (std::size_t half = 0; half < 2; ++half)
                    std::copy_n(data.begin() + 88 * e + 44 * half, 44,
                                entries.begin() + 396 * (offset / 88 + e) + 132 * half);
            }
            for (std::size_t e = 0; e < 64 && (c.command == 19 || c.command == 68); ++e) {
                for (std::size_t half = 0; half < 2; ++half)
                    std::copy_n(entries.begin() + 396 * e + 132 * half, 44,
                                expected[{68, -1}].begin() + 88 * e + 44 * half);
            }
            QVERIFY2(store.read(c.command, channel, out) == kRecordOk && out == data, at);
        }
        QVERIFY2(snapshot(store, *m) == expected, where);
    }

    QCOMPARE(store.write(52, -1, randomBytes(rng, 1001)), kRecordOk);
    QCOMPARE(store.write(164, -1, Bytes{1, 0, 0, 0}), kRecordOk);
    const bool hasVolume = m->abilities.hasFunction(205);
    QCOMPARE(store.writeJson(kVolume, 1040, -1, volume(3, 4)), hasVolume ? kRecordOk : kRecordUnknown);

    // Saved through text, as the state file holds it, and loaded into a fresh store.
    const Json::Value state = store.save();
    const std::string text = Json::writeString(Json::StreamWriterBuilder(), state);
    Json::Value parsed;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    QVERIFY(reader->parse(text.data(), text.data() + text.size(), &parsed, &errors));
    RecordStore restored(*m, identityFor(7));
    QVERIFY(restored.load(parsed));
    QVERIFY(snapshot(restored, *m) == expected);
    QCOMPARE(restored.importedConfiguration(), store.importedConfiguration());
    QCOMPARE(restored.readJson(kVolume, 1042, -1), store.readJson(kVolume, 1042, -1));
    QCOMPARE(restored.save(), state);
    // Loading replaces what was written before; an empty state is the factory state.
    QVERIFY(restored.load(RecordStore(*m, identityFor(7)).save()));
    QVERIFY(snapshot(restored, *m) == defaults);

    // A reset record of the wrong size resets nothing; the right one restores every default.
    QCOMPARE(store.write(33, -1, Bytes(10, 1)), kRecordBadSize);
    QVERIFY(snapshot(store, *m) == expected);
    Bytes reset(11, 1);
    reset[10] = 0;
    QCOMPARE(store.write(33, -1, reset), kRecordOk);
    QVERIFY(snapshot(store, *m) == defaults);
    QVERIFY(store.importedConfiguration().empty());
    QCOMPARE(store.readJson(kVolume, 1042, -1), volumeDefault);
    QCOMPARE(store.writtenBytes(), std::size_t(0));
}

void TestCamsimRecords::rebootAnswersOnlyForStandardAndDhcpChanges()
{
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(3));
        // The video standard (general record, 116) and the address assignment's DHCP switch (byte 0).
        for (const auto& [command, offset] : {std::pair<int, std::size_t>{18, 116}, {37, 0}}) {
            Bytes record;
            QCOMPARE(store.read(command, -1, record), kRecordOk);
            QCOMPARE(store.write(command, -1, record), kRecordOk); // unchanged
            const std::uint8_t old = record[offset];
            record[offset] = old ? 0 : 1;
            QCOMPARE(store.write(command, -1, record), kRecordNeedReboot);
            QCOMPARE(store.write(command, -1, record), kRecordOk); // compared with what is stored
            record[offset] = old;
            QCOMPARE(store.write(command, -1, record), kRecordNeedReboot);
        }
    }
}

void TestCamsimRecords::writeOnlyCommands()
{
    RecordStore store(models().front(), identityFor(2));
    QCOMPARE(models().front().channelCount(), 1);
    std::mt19937 rng(8);
    Bytes imported;
    // Command, smallest and largest write: configuration import, 164, factory reset (last: it clears the import).
    for (const auto& [command, least, most] : {std::array<std::size_t, 3>{52, 1, 131072}, {164, 4, 4}, {33, 11, 11}}) {
        const int cmd = static_cast<int>(command);
        Bytes out;
        QCOMPARE(store.read(cmd, -1, out), kRecordUnknown);
        QCOMPARE(store.write(cmd, -1, randomBytes(rng, least - 1)), kRecordBadSize);
        QCOMPARE(store.write(cmd, -1, randomBytes(rng, most + 1)), kRecordBadSize);
        QCOMPARE(store.write(cmd, 5, randomBytes(rng, least)), kRecordBadSize);
        const Bytes smallest = randomBytes(rng, least), largest = randomBytes(rng, most);
        if (cmd == 52) {
            QVERIFY(store.importedConfiguration().empty());
            QCOMPARE(store.write(cmd, -1, smallest), kRecordOk);
            QCOMPARE(store.importedConfiguration(), smallest);
        }
        QCOMPARE(store.write(cmd, -1, largest), kRecordOk);
        imported = cmd == 52 ? largest : cmd == 33 ? Bytes{} : imported;
        QCOMPARE(store.importedConfiguration(), imported);
    }
}

void TestCamsimRecords::jsonRecords()
{
    const char* const smart = "ChannelSystemFunction@SmartH264";
    const char* const smartV2 = "ChannelSystemFunction@SmartH264V2";
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(4));
        store.setSessionId(0x2b);
        const QByteArray where = QByteArray::fromStdString(m.name);
        const int none = m.channelCount();

        // Every reply carries its name and session; what the model lacks is "not supported" and nothing more.
        auto check = [&](const char* name, const Json::Value& reply, bool answered) {
            const QByteArray at = where + " " + name;
            QVERIFY2(reply["Name"].asString() == name && reply["SessionID"].asString() == "0x0000002b", at);
            QVERIFY2(reply["Ret"].asInt() == (answered ? kRecordOk : kJsonNotSupported), at);
            QVERIFY2(reply.size() == (answered ? 4u : 3u) && reply.isMember(name) == answered, at);
        };
        check("Ability.VoiceTipType", store.readJson("Ability.VoiceTipType", 1042, -1), m.abilities.hasFunction(203));
        check(kVolume, store.readJson(kVolume, 1042, -1), m.abilities.hasFunction(205));
        check(kVolume, store.readJson(kVolume, 1040, -1), false);
        check(kVolume, store.readJson(kVolume, 1042, none), false);
        check("Nope.Nothing", store.readJson("Nope.Nothing", 1042, -1), false);
        for (const char* name : {smart, smartV2}) {
            check(name, store.abilityJson(name, 0), m.abilities.hasFunction(11));
            check(name, store.abilityJson(name, none), false);
        }
        check("ChannelSystemFunction@Nope", store.abilityJson("ChannelSystemFunction@Nope", 0), false);
        QCOMPARE(store.writeJson("Nope.Nothing", 1040, -1, volume(1, 1)), kRecordUnknown);
        if (!m.abilities.hasFunction(205)) {
            QCOMPARE(store.writeJson(kVolume, 1040, -1, volume(1, 1)), kRecordUnknown);
            continue;
        }

        // Malformed values, the read command and bad channels are refused and leave the stored value alone.
        const Json::Value before = store.readJson(kVolume, 1042, -1);
        const Json::Value mine = volume(37, 37);
        using Edit = std::function<void(Json::Value&)>;
        for (const Edit& edit : std::vector<Edit>{
                 [](Json::Value& v) { v[0]["LeftVolume"] = 101; }, [](Json::Value& v) { v[0]["RightVolume"] = -1; },
                 [](Json::Value& v) { v[0]["RightVolume"] = "loud"; },
                 [](Json::Value& v) { v[0].removeMember("AudioMode"); },
                 [](Json::Value& v) { v[0]["AudioMode"] = std::string(32, 'a'); },
                 [](Json::Value& v) { v = Json::Value(Json::arrayValue); }, [](Json::Value& v) { v = 5; },
                 [](Json::Value& v) {
                     const Json::Value entry = v[0u];
                     for (int i = 0; i < 64; ++i)
                         v.append(entry);
                 }}) {
            Json::Value bad = mine;
            edit(bad);
            QVERIFY2(store.writeJson(kVolume, 1040, -1, bad) == kRecordRefused, bad.toStyledString().c_str());
        }
        QCOMPARE(store.writeJson(kVolume, 1042, -1, mine), kRecordUnknown);
        QCOMPARE(store.writeJson(kVolume, 1040, none, mine), kRecordBadSize);
        QCOMPARE(store.readJson(kVolume, 1042, -1), before);

        QCOMPARE(store.writeJson(kVolume, 1040, -1, mine), kRecordOk);
        QCOMPARE(store.readJson(kVolume, 1042, -1)[kVolume], mine);
        // The reply-shaped object is taken as well.
        Json::Value wrapped(Json::objectValue);
        wrapped[kVolume] = volume(12, 13);
        QCOMPARE(store.writeJson(kVolume, 1040, -1, wrapped), kRecordOk);
        QCOMPARE(store.readJson(kVolume, 1042, -1)[kVolume], wrapped[kVolume]);
    }
}

void TestCamsimRecords::loadRefusesCorruptState()
{
    const Model* nvr = findModel("NVR-8");
    const Model* ipc = findModel("IPC-B");
    QVERIFY(nvr && ipc);
    std::mt19937 rng(3);

    RecordStore source(*nvr, identityFor(5));
    QCOMPARE(source.write(122, -1, randomBytes(rng, 84)), kRecordOk);
    QCOMPARE(source.write(173, 2, randomBytes(rng, 9932)), kRecordOk);
    QCOMPARE(source.write(52, -1, randomBytes(rng, 40)), kRecordOk);
    const Json::Value good = source.save();
    QCOMPARE(good["Records"].size(), Json::ArrayIndex(3));

    // The record of command in a state, to edit in place.
    auto record = [](Json::Value& s, int command) -> Json::Value& {
        for (Json::Value& r : s["Records"])
            if (r["Command"].asInt() == command)
                return r;
        return s["Records"][0];
    };
    auto b64 = [](std::size_t n) { return QByteArray(static_cast<int>(n), 'x').toBase64().toStdString(); };
    using Edit = std::function<void(Json::Value&)>;
    // A well-formed record of a command the state may not hold.
    auto appended = [&](int command, std::size_t size) -> Edit {
        return [=](Json::Value& s) {
            Json::Value r(Json::objectValue);
            r["Command"] = command;
            r["Key"] = 0;
            r["Data"] = b64(size);
            s["Records"].append(r);
        };
    };
    const std::vector<std::pair<const char*, Edit>> corruptions = {
        {"not an object", [](Json::Value& s) { s = Json::Value(Json::arrayValue); }},
        {"wrong version", [](Json::Value& s) { s["Version"] = 2; }},
        {"version text", [](Json::Value& s) { s["Version"] = "1"; }},
        {"no records", [](Json::Value& s) { s.removeMember("Records"); }},
        {"records object", [](Json::Value& s) { s["Records"] = Json::Value(Json::objectValue); }},
        {"json array", [](Json::Value& s) { s["Json"] = Json::Value(Json::arrayValue); }},
        {"extra member", [](Json::Value& s) { s["Extra"] = 1; }},
        {"record not object", [](Json::Value& s) { s["Records"].append(5); }},
        {"command text", [&](Json::Value& s) { record(s, 122)["Command"] = "122"; }},
        {"unknown command", [&](Json::Value& s) { record(s, 122)["Command"] = 121; }},
        {"read-only command", appended(64, 196)},
        {"network record", appended(20, 144)},
        {"reset record", appended(33, 11)},
        {"key on device record", [&](Json::Value& s) { record(s, 122)["Key"] = 1; }},
        {"digital key out of range", [&](Json::Value& s) { record(s, 173)["Key"] = 8; }},
        {"data not text", [&](Json::Value& s) { record(s, 122)["Data"] = 12; }},
        {"bad base64", [&](Json::Value& s) { record(s, 122)["Data"] = "@@@@not base64@@@@"; }},
        {"one byte short", [&](Json::Value& s) { record(s, 122)["Data"] = b64(83); }},
        {"one byte over", [&](Json::Value& s) { record(s, 122)["Data"] = b64(85); }},
        {"empty import", [&](Json::Value& s) { record(s, 52)["Data"] = ""; }},
        {"duplicate", [&](Json::Value& s) { s["Records"].append(Json::Value(record(s, 122))); }},
        {"missing member", [&](Json::Value& s) { record(s, 122).removeMember("Key"); }},
        {"unknown json name", [](Json::Value& s) { s["Json"]["Ability.VoiceTipType"] = Json::arrayValue; }},
        {"volume on a model without it", [](Json::Value& s) { s["Json"][kVolume] = volume(1, 1); }},
    };

    RecordStore target(*nvr, identityFor(5));
    QCOMPARE(target.write(41, -1, randomBytes(rng, 216)), kRecordOk);
    const Json::Value before = target.save();
    for (const auto& [what, edit] : corruptions) {
        Json::Value state = good;
        edit(state);
        QVERIFY2(!target.load(state), what);
        QVERIFY2(target.save() == before, what);
    }

    // Valid for the recorder, not for a camera without digital channels; a bad volume on a camera with one.
    RecordStore camera(*ipc, identityFor(5));
    const Json::Value cameraBefore = camera.save();
    QVERIFY(!camera.load(good));
    Json::Value volumeState = camera.save();
    volumeState["Json"][kVolume] = Json::Value(Json::arrayValue);
    QVERIFY(!camera.load(volumeState));
    QCOMPARE(camera.save(), cameraBefore);

    QVERIFY(target.load(good));
    QVERIFY(target.save() == good);
}

QTEST_GUILESS_MAIN(TestCamsimRecords)
#include "tst_camsim_records.moc"
