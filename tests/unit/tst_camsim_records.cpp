// The emulator's record store: sizes, channels, byte-exact storage, reboot answers, factory reset,
// JSON records and the state it saves and loads.

#include <cstring>
#include <functional>
#include <random>

#include <QtTest>

#include "models.h"
#include "records.h"

using namespace camsim;
using Bytes = std::vector<std::uint8_t>;

namespace {

Identity identityFor(int index)
{
    Identity id;
    id.index = index;
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:56:54:00:%02x:%02x", (index >> 8) & 0xff, index & 0xff);
    id.mac = mac;
    char serial[32];
    std::snprintf(serial, sizeof serial, "5654%012x", index + 0x1000);
    id.serial = serial;
    return id;
}

Bytes randomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

bool exists(const Model& m, const CommandInfo& c)
{
    return !c.digitalOnly || m.digitalChannels > 0;
}

// Readable commands of a model, with the channels that address a record and the size each returns.
std::vector<std::pair<int, std::size_t>> channelsOf(const Model& m, const CommandInfo& c)
{
    std::vector<std::pair<int, std::size_t>> out;
    switch (c.scope) {
    case ChannelScope::Device:
        for (int ch = -1; ch < m.channelCount(); ++ch)
            out.push_back({ch, c.size});
        break;
    case ChannelScope::FirstChannel:
        out = {{-1, c.size}, {0, c.size}};
        break;
    case ChannelScope::PerChannel: {
        out.push_back({-1, c.size});
        const int n = c.digitalOnly ? m.digitalChannels : m.channelCount();
        for (int ch = 0; ch < n; ++ch)
            out.push_back({ch, c.entrySize});
        break;
    }
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

// Every readable record of a store, by (command, channel) with channel -1 or a digital channel.
std::map<std::pair<int, int>, Bytes> snapshot(const RecordStore& store, const Model& m)
{
    std::map<std::pair<int, int>, Bytes> all;
    for (const CommandInfo& c : commandTable()) {
        if (!exists(m, c) || c.scope == ChannelScope::WriteOnly || c.scope == ChannelScope::CameraCore)
            continue;
        const std::vector<int> chans = c.scope == ChannelScope::PerDigital ? [&] {
            std::vector<int> v;
            for (int i = 0; i < m.digitalChannels; ++i)
                v.push_back(i);
            return v;
        }()
                                                                           : std::vector<int>{-1};
        for (int ch : chans) {
            Bytes b;
            if (store.read(c.command, ch, b) == kRecordOk)
                all[{c.command, ch}] = b;
        }
    }
    return all;
}

int expectedWriteResult(int command, const Bytes& before, const Bytes& after)
{
    if (command == 18 && std::memcmp(before.data() + 116, after.data() + 116, 4) != 0)
        return kRecordNeedReboot;
    if (command == 37 && before[0] != after[0])
        return kRecordNeedReboot;
    return kRecordOk;
}

} // namespace

class TestCamsimRecords : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandOfEveryModel_data();
    void everyCommandOfEveryModel();
    void entriesAndWholeRecordsAgree();
    void rebootAnswersOnlyForStandardAndDhcpChanges();
    void factoryResetRestoresEveryDefault();
    void writeOnlyCommands();
    void jsonRecords();
    void saveLoadRoundTrip();
    void loadRefusesCorruptState();
    void unwrittenRecordsCostNothing();
};

void TestCamsimRecords::everyCommandOfEveryModel_data()
{
    QTest::addColumn<QString>("model");
    for (const Model& m : models())
        QTest::newRow(m.name.c_str()) << QString::fromStdString(m.name);
}

void TestCamsimRecords::everyCommandOfEveryModel()
{
    QFETCH(QString, model);
    const Model* m = findModel(model.toStdString());
    QVERIFY(m);
    RecordStore store(*m, identityFor(7));
    std::mt19937 rng(1234);

    for (int unknown : {-5, 0, 1, 11, 21, 100, 1040, 1042, 99999}) {
        Bytes out;
        QCOMPARE(store.read(unknown, -1, out), kRecordUnknown);
        QCOMPARE(store.write(unknown, -1, Bytes(16, 1)), kRecordUnknown);
        QCOMPARE(store.recordSize(unknown, -1), std::size_t(0));
    }

    for (const CommandInfo& c : commandTable()) {
        const QByteArray where = QByteArray::number(c.command);
        Bytes out;
        if (c.scope == ChannelScope::CameraCore) {
            QCOMPARE(store.recordSize(c.command, -1), c.size);
            QCOMPARE(store.read(c.command, -1, out), kRecordUnknown);
            continue;
        }
        if (c.scope == ChannelScope::WriteOnly) {
            QVERIFY2(store.read(c.command, -1, out) == kRecordUnknown, where);
            QCOMPARE(store.recordSize(c.command, -1), std::size_t(0));
            continue;
        }
        if (!exists(*m, c)) {
            QVERIFY2(store.read(c.command, -1, out) == kRecordUnknown, where);
            QVERIFY2(store.read(c.command, 0, out) == kRecordUnknown, where);
            QVERIFY2(store.write(c.command, -1, Bytes(c.size)) == kRecordUnknown, where);
            QCOMPARE(store.recordSize(c.command, -1), std::size_t(0));
            continue;
        }

        for (const auto& [channel, size] : channelsOf(*m, c)) {
            const QByteArray at = where + " channel " + QByteArray::number(channel);
            QVERIFY2(store.read(c.command, channel, out) == kRecordOk, at);
            QVERIFY2(out.size() == size, at);
            QVERIFY2(store.recordSize(c.command, channel) == size, at);

            const Bytes before = out;
            if (c.readOnly) {
                QVERIFY2(store.write(c.command, channel, randomBytes(rng, size)) == kRecordRefused, at);
                QCOMPARE(store.read(c.command, channel, out), kRecordOk);
                QVERIFY2(out == before, at);
                continue;
            }
            // Wrong sizes and bad channels are refused and change nothing.
            for (std::size_t wrong : {std::size_t(0), size - 1, size + 1, size * 2}) {
                if (wrong == size)
                    continue;
                QVERIFY2(store.write(c.command, channel, randomBytes(rng, wrong)) == kRecordBadSize, at);
            }
            for (int bad : badChannels(*m, c)) {
                QVERIFY2(store.write(c.command, bad, randomBytes(rng, size)) == kRecordBadSize,
                         at + " bad " + QByteArray::number(bad));
                QVERIFY2(store.read(c.command, bad, out) == kRecordBadSize, at + " bad " + QByteArray::number(bad));
                QVERIFY2(store.recordSize(c.command, bad) == 0, at);
            }
            QCOMPARE(store.read(c.command, channel, out), kRecordOk);
            QVERIFY2(out == before, at);

            // Whatever is written comes back byte for byte.
            const Bytes data = randomBytes(rng, size);
            Bytes wholeBefore;
            QCOMPARE(store.read(c.command, c.scope == ChannelScope::PerDigital ? channel : -1, wholeBefore), kRecordOk);
            Bytes wholeAfter = wholeBefore;
            if (c.scope == ChannelScope::PerChannel && channel >= 0)
                std::copy(data.begin(), data.end(), wholeAfter.begin() + c.entrySize * channel);
            else
                wholeAfter = data;
            QVERIFY2(store.write(c.command, channel, data) == expectedWriteResult(c.command, wholeBefore, wholeAfter),
                     at);
            QCOMPARE(store.read(c.command, channel, out), kRecordOk);
            QVERIFY2(out == data, at);
        }
    }
}

void TestCamsimRecords::entriesAndWholeRecordsAgree()
{
    std::mt19937 rng(99);
    for (const char* name : {"HVR-4", "NVR-8"}) {
        const Model* m = findModel(name);
        QVERIFY(m);
        QVERIFY(m->channelCount() > 1);
        RecordStore store(*m, identityFor(1));
        for (const CommandInfo& c : commandTable()) {
            if (c.scope != ChannelScope::PerChannel || !exists(*m, c))
                continue;
            const QByteArray where = QByteArray(name) + " " + QByteArray::number(c.command);
            const int channels = c.digitalOnly ? m->digitalChannels : m->channelCount();

            // An entry written alone shows in the whole record; the other entries stay as they were.
            Bytes whole;
            QCOMPARE(store.read(c.command, -1, whole), kRecordOk);
            const int target = channels - 1;
            const Bytes entry = randomBytes(rng, c.entrySize);
            QVERIFY2(store.write(c.command, target, entry) == kRecordOk, where);
            Bytes after;
            QCOMPARE(store.read(c.command, -1, after), kRecordOk);
            std::copy(entry.begin(), entry.end(), whole.begin() + c.entrySize * target);
            QVERIFY2(after == whole, where);

            // A whole write shows in every entry read.
            const Bytes all = randomBytes(rng, c.size);
            QVERIFY2(store.write(c.command, -1, all) == kRecordOk, where);
            for (int ch = 0; ch < channels; ++ch) {
                Bytes e;
                QCOMPARE(store.read(c.command, ch, e), kRecordOk);
                QVERIFY2(std::equal(e.begin(), e.end(), all.begin() + c.entrySize * ch), where);
            }
        }

        // One digital channel's own records do not touch another's.
        if (m->digitalChannels > 1) {
            for (int command : {172, 173}) {
                Bytes other;
                QCOMPARE(store.read(command, 1, other), kRecordOk);
                const Bytes data = randomBytes(rng, other.size());
                QCOMPARE(store.write(command, 0, data), kRecordOk);
                Bytes again;
                QCOMPARE(store.read(command, 1, again), kRecordOk);
                QCOMPARE(again, other);
                QCOMPARE(store.read(command, 0, again), kRecordOk);
                QCOMPARE(again, data);
            }
        }
    }
}

void TestCamsimRecords::rebootAnswersOnlyForStandardAndDhcpChanges()
{
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(3));
        Bytes general;
        QCOMPARE(store.read(18, -1, general), kRecordOk);
        QCOMPARE(store.write(18, -1, general), kRecordOk); // unchanged standard
        general[5] ^= 0x55;
        QCOMPARE(store.write(18, -1, general), kRecordOk); // another field
        const int standard = general[116];
        general[116] = standard == 0 ? 1 : 0;
        QCOMPARE(store.write(18, -1, general), kRecordNeedReboot);
        Bytes back;
        QCOMPARE(store.read(18, -1, back), kRecordOk);
        QCOMPARE(back, general); // stored although it needs a reboot
        QCOMPARE(store.write(18, -1, general), kRecordOk);
        general[116] = static_cast<std::uint8_t>(standard);
        QCOMPARE(store.write(18, -1, general), kRecordNeedReboot);

        Bytes dhcp;
        QCOMPARE(store.read(37, -1, dhcp), kRecordOk);
        QCOMPARE(store.write(37, -1, dhcp), kRecordOk);
        dhcp[10] ^= 0xff;
        QCOMPARE(store.write(37, -1, dhcp), kRecordOk);
        dhcp[0] = dhcp[0] ? 0 : 1;
        QCOMPARE(store.write(37, -1, dhcp), kRecordNeedReboot);
        QCOMPARE(store.read(37, -1, back), kRecordOk);
        QCOMPARE(back, dhcp);

        // The IP adaptive switch next to it is applied at once.
        Bytes adaptive;
        QCOMPARE(store.read(274, -1, adaptive), kRecordOk);
        adaptive[0] = adaptive[0] ? 0 : 1;
        QCOMPARE(store.write(274, -1, adaptive), kRecordOk);
    }
}

void TestCamsimRecords::factoryResetRestoresEveryDefault()
{
    std::mt19937 rng(5);
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(11));
        const auto defaults = snapshot(store, m);
        const Json::Value volumeDefault = store.readJson("fVideo.Volume", 1042, -1);

        for (const auto& entry : defaults) {
            const CommandInfo* c = commandInfo(entry.first.first);
            if (!c->readOnly)
                store.write(entry.first.first, entry.first.second, randomBytes(rng, entry.second.size()));
        }
        QCOMPARE(store.write(52, -1, randomBytes(rng, 300)), kRecordOk);
        QCOMPARE(store.write(164, -1, Bytes{1, 0, 0, 0}), kRecordOk);
        Json::Value volume(Json::arrayValue);
        volume[0]["AudioMode"] = "Single";
        volume[0]["LeftVolume"] = 3;
        volume[0]["RightVolume"] = 4;
        const bool hasVolume = m.abilities.hasFunction(205);
        QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, volume), hasVolume ? kRecordOk : kRecordUnknown);
        QVERIFY(snapshot(store, m) != defaults);

        // A reset record of the wrong size resets nothing.
        QCOMPARE(store.write(33, -1, Bytes(10, 1)), kRecordBadSize);
        QVERIFY(snapshot(store, m) != defaults);

        Bytes reset(11, 1);
        reset[10] = 0;
        QCOMPARE(store.write(33, -1, reset), kRecordOk);
        QVERIFY(snapshot(store, m) == defaults);
        QVERIFY(store.importedConfiguration().empty());
        QCOMPARE(store.readJson("fVideo.Volume", 1042, -1), volumeDefault);
        QCOMPARE(store.writtenBytes(), std::size_t(0));
    }
}

void TestCamsimRecords::writeOnlyCommands()
{
    const Model& m = models().front();
    RecordStore store(m, identityFor(2));
    std::mt19937 rng(8);
    Bytes out;

    QCOMPARE(store.write(52, -1, Bytes{}), kRecordBadSize);
    QCOMPARE(store.write(52, -1, randomBytes(rng, 131073)), kRecordBadSize);
    QVERIFY(store.importedConfiguration().empty());
    QCOMPARE(store.write(52, -1, Bytes{42}), kRecordOk);
    QCOMPARE(store.importedConfiguration(), Bytes{42});
    const Bytes big = randomBytes(rng, 131072);
    QCOMPARE(store.write(52, -1, big), kRecordOk);
    QCOMPARE(store.importedConfiguration(), big);
    QCOMPARE(store.write(52, 5, big), kRecordBadSize);
    QCOMPARE(store.read(52, -1, out), kRecordUnknown);

    QCOMPARE(store.write(164, -1, Bytes{1, 0, 0}), kRecordBadSize);
    QCOMPARE(store.write(164, -1, Bytes{1, 0, 0, 0, 0}), kRecordBadSize);
    QCOMPARE(store.write(164, -1, Bytes{1, 0, 0, 0}), kRecordOk);
    QCOMPARE(store.read(164, -1, out), kRecordUnknown);

    QCOMPARE(store.write(33, -1, Bytes(12, 1)), kRecordBadSize);
    QCOMPARE(store.read(33, -1, out), kRecordUnknown);
    QCOMPARE(store.write(33, -1, Bytes(11, 0)), kRecordOk);
    QVERIFY(store.importedConfiguration().empty());

    // The network record is the camera's own business; the store only knows its size.
    QCOMPARE(store.recordSize(20, -1), std::size_t(144));
    QCOMPARE(store.write(20, -1, Bytes(144)), kRecordUnknown);
}

void TestCamsimRecords::jsonRecords()
{
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(4));
        store.setSessionId(0x2b);
        const QByteArray where = QByteArray::fromStdString(m.name);

        const Json::Value tips = store.readJson("Ability.VoiceTipType", 1042, -1);
        QCOMPARE(tips["Name"].asString(), std::string("Ability.VoiceTipType"));
        QCOMPARE(tips["SessionID"].asString(), std::string("0x0000002b"));
        if (m.abilities.hasFunction(203)) {
            QVERIFY2(tips["Ret"].asInt() == 100, where);
            const Json::Value& list = tips["Ability.VoiceTipType"]["VoiceTip"];
            QVERIFY2(list.isArray() && list.size() == m.abilities.voiceTips.size() && !list.empty(), where);
            bool soundTypeOffered = false;
            for (const Json::Value& e : list) {
                QVERIFY(e["VoiceEnum"].isInt() && e["VoiceText"].isString() && !e["VoiceText"].asString().empty());
                soundTypeOffered |= e["VoiceEnum"].asInt() == m.abilities.defaultSoundType;
            }
            QVERIFY2(soundTypeOffered, where);
        } else {
            QVERIFY2(tips["Ret"].asInt() != 100 && !tips.isMember("Ability.VoiceTipType"), where);
        }

        const Json::Value volume = store.readJson("fVideo.Volume", 1042, -1);
        Json::Value mine(Json::arrayValue);
        mine[0]["AudioMode"] = "Single";
        mine[0]["LeftVolume"] = 37;
        mine[0]["RightVolume"] = 37;
        if (m.abilities.hasFunction(205)) {
            QVERIFY2(volume["Ret"].asInt() == 100, where);
            const Json::Value& v = volume["fVideo.Volume"];
            QVERIFY(v.isArray() && v.size() == 1);
            QCOMPARE(v[0]["AudioMode"].asString(), std::string("Single"));
            QCOMPARE(v[0]["LeftVolume"].asInt(), m.abilities.volume);
            QCOMPARE(v[0]["RightVolume"].asInt(), m.abilities.volume);

            // Malformed values are refused and leave the stored one alone.
            Json::Value bad = mine;
            bad[0]["LeftVolume"] = 101;
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, bad), kRecordRefused);
            bad = mine;
            bad[0]["RightVolume"] = "loud";
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, bad), kRecordRefused);
            bad = mine;
            bad[0].removeMember("AudioMode");
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, bad), kRecordRefused);
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, Json::Value(Json::arrayValue)), kRecordRefused);
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, Json::Value(5)), kRecordRefused);
            QCOMPARE(store.writeJson("fVideo.Volume", 1042, -1, mine), kRecordUnknown);
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, m.channelCount(), mine), kRecordBadSize);
            QCOMPARE(store.readJson("fVideo.Volume", 1042, -1), volume);

            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, mine), kRecordOk);
            QCOMPARE(store.readJson("fVideo.Volume", 1042, -1)["fVideo.Volume"], mine);
            // The reply-shaped object is taken as well.
            Json::Value wrapped(Json::objectValue);
            mine[0]["LeftVolume"] = 12;
            wrapped["fVideo.Volume"] = mine;
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, wrapped), kRecordOk);
            QCOMPARE(store.readJson("fVideo.Volume", 1042, -1)["fVideo.Volume"], mine);
        } else {
            QVERIFY2(volume["Ret"].asInt() != 100 && !volume.isMember("fVideo.Volume"), where);
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, mine), kRecordUnknown);
        }

        for (const char* name : {"ChannelSystemFunction@SmartH264", "ChannelSystemFunction@SmartH264V2"}) {
            const Json::Value a = store.abilityJson(name, 0);
            QCOMPARE(a["Name"].asString(), std::string(name));
            if (m.abilities.hasFunction(11)) {
                QVERIFY2(a["Ret"].asInt() == 100, where);
                const Json::Value& flags = a[name];
                QVERIFY(flags.isArray());
                QCOMPARE(static_cast<int>(flags.size()), m.channelCount());
                const std::uint32_t mask =
                    std::string(name).back() == '2' ? m.abilities.smartStreamMask : m.abilities.smartChannelMask;
                for (Json::ArrayIndex i = 0; i < flags.size(); ++i)
                    QCOMPARE(flags[i].asInt(), (mask >> i) & 1 ? 1 : 0);
                QVERIFY(store.abilityJson(name, m.channelCount())["Ret"].asInt() != 100);
            } else {
                QVERIFY2(a["Ret"].asInt() != 100 && !a.isMember(name), where);
            }
        }

        for (const Json::Value& unknown :
             {store.readJson("Nope.Nothing", 1042, -1), store.abilityJson("ChannelSystemFunction@Nope", 0),
              store.readJson("fVideo.Volume", 1040, -1)}) {
            QCOMPARE(unknown["Ret"].asInt(), kJsonNotSupported);
            QCOMPARE(unknown.size(), Json::ArrayIndex(3));
        }
        QCOMPARE(store.writeJson("Nope.Nothing", 1040, -1, mine), kRecordUnknown);
    }
}

void TestCamsimRecords::saveLoadRoundTrip()
{
    std::mt19937 rng(77);
    for (const Model& m : models()) {
        RecordStore store(m, identityFor(21));
        QCOMPARE(store.write(41, -1, randomBytes(rng, 216)), kRecordOk);
        QCOMPARE(store.write(19, 0, randomBytes(rng, 396)), kRecordOk);
        QCOMPARE(store.write(249, -1, randomBytes(rng, 64)), kRecordOk);
        QCOMPARE(store.write(52, -1, randomBytes(rng, 1001)), kRecordOk);
        if (m.digitalChannels > 0) {
            QCOMPARE(store.write(172, m.digitalChannels - 1, randomBytes(rng, 5632)), kRecordOk);
            QCOMPARE(store.write(79, 0, randomBytes(rng, 19356)), kRecordOk);
        }
        if (m.abilities.hasFunction(205)) {
            Json::Value v(Json::arrayValue);
            v[0]["AudioMode"] = "Single";
            v[0]["LeftVolume"] = 9;
            v[0]["RightVolume"] = 10;
            QCOMPARE(store.writeJson("fVideo.Volume", 1040, -1, v), kRecordOk);
        }
        const Json::Value state = store.save();

        // Through text, as the state file holds it.
        Json::StreamWriterBuilder writer;
        const std::string text = Json::writeString(writer, state);
        Json::Value parsed;
        Json::CharReaderBuilder reader;
        std::string errors;
        std::unique_ptr<Json::CharReader> r(reader.newCharReader());
        QVERIFY(r->parse(text.data(), text.data() + text.size(), &parsed, &errors));

        RecordStore restored(m, identityFor(21));
        QVERIFY(restored.load(parsed));
        QVERIFY(snapshot(restored, m) == snapshot(store, m));
        QCOMPARE(restored.importedConfiguration(), store.importedConfiguration());
        QCOMPARE(restored.readJson("fVideo.Volume", 1042, -1), store.readJson("fVideo.Volume", 1042, -1));
        QCOMPARE(restored.save(), state);

        // Loading replaces what was written before; an empty state is the factory state.
        RecordStore empty(m, identityFor(21));
        QVERIFY(restored.load(empty.save()));
        QVERIFY(snapshot(restored, m) == snapshot(empty, m));
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

    auto recordOf = [&](int command) -> Json::Value {
        for (const Json::Value& r : good["Records"])
            if (r["Command"].asInt() == command)
                return r;
        return Json::Value();
    };
    // The cloud record of a state, to edit in place.
    auto cloud = [](Json::Value& s) -> Json::Value& {
        for (Json::Value& r : s["Records"])
            if (r["Command"].asInt() == 122)
                return r;
        return s["Records"][0];
    };
    auto b64 = [](std::size_t n) { return QByteArray(static_cast<int>(n), 'x').toBase64().toStdString(); };

    using Edit = std::function<void(Json::Value&)>;
    const std::vector<std::pair<const char*, Edit>> corruptions = {
        {"not an object", [](Json::Value& s) { s = Json::Value(Json::arrayValue); }},
        {"wrong version", [](Json::Value& s) { s["Version"] = 2; }},
        {"version text", [](Json::Value& s) { s["Version"] = "1"; }},
        {"no records", [](Json::Value& s) { s.removeMember("Records"); }},
        {"records object", [](Json::Value& s) { s["Records"] = Json::Value(Json::objectValue); }},
        {"json array", [](Json::Value& s) { s["Json"] = Json::Value(Json::arrayValue); }},
        {"extra member", [](Json::Value& s) { s["Extra"] = 1; }},
        {"record not object", [](Json::Value& s) { s["Records"].append(5); }},
        {"command text", [&](Json::Value& s) { cloud(s)["Command"] = "122"; }},
        {"unknown command", [&](Json::Value& s) { cloud(s)["Command"] = 121; }},
        {"read-only command",
         [&](Json::Value& s) {
             Json::Value r = recordOf(122);
             r["Command"] = 64;
             r["Data"] = b64(196);
             s["Records"].append(r);
         }},
        {"network record",
         [&](Json::Value& s) {
             Json::Value r = recordOf(122);
             r["Command"] = 20;
             r["Data"] = b64(144);
             s["Records"].append(r);
         }},
        {"reset record",
         [&](Json::Value& s) {
             Json::Value r = recordOf(122);
             r["Command"] = 33;
             r["Data"] = b64(11);
             s["Records"].append(r);
         }},
        {"key on device record", [&](Json::Value& s) { cloud(s)["Key"] = 1; }},
        {"digital key out of range",
         [&](Json::Value& s) {
             for (Json::Value& r : s["Records"])
                 if (r["Command"].asInt() == 173)
                     r["Key"] = 8;
         }},
        {"data not text", [&](Json::Value& s) { cloud(s)["Data"] = 12; }},
        {"bad base64", [&](Json::Value& s) { cloud(s)["Data"] = "@@@@not base64@@@@"; }},
        {"one byte short", [&](Json::Value& s) { cloud(s)["Data"] = b64(83); }},
        {"one byte over", [&](Json::Value& s) { cloud(s)["Data"] = b64(85); }},
        {"huge data", [&](Json::Value& s) { cloud(s)["Data"] = b64(2000000); }},
        {"empty import",
         [&](Json::Value& s) {
             for (Json::Value& r : s["Records"])
                 if (r["Command"].asInt() == 52)
                     r["Data"] = "";
         }},
        {"duplicate",
         [&](Json::Value& s) {
             const Json::Value copy = cloud(s);
             s["Records"].append(copy);
         }},
        {"missing member", [&](Json::Value& s) { cloud(s).removeMember("Key"); }},
        {"unknown json name",
         [](Json::Value& s) { s["Json"]["Ability.VoiceTipType"] = Json::Value(Json::arrayValue); }},
        {"volume on a model without it",
         [](Json::Value& s) {
             Json::Value v(Json::arrayValue);
             v[0]["AudioMode"] = "Single";
             v[0]["LeftVolume"] = 1;
             v[0]["RightVolume"] = 1;
             s["Json"]["fVideo.Volume"] = v;
         }},
    };

    RecordStore target(*nvr, identityFor(5));
    const Bytes marker = randomBytes(rng, 216);
    QCOMPARE(target.write(41, -1, marker), kRecordOk);
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
    volumeState["Json"]["fVideo.Volume"] = Json::Value(Json::arrayValue);
    QVERIFY(!camera.load(volumeState));
    QCOMPARE(camera.save(), cameraBefore);

    QVERIFY(target.load(good));
    QVERIFY(target.save() == good);
}

void TestCamsimRecords::unwrittenRecordsCostNothing()
{
    // A fleet that only reads keeps nothing per camera; writing one entry of the largest record keeps
    // at most that record.
    std::vector<RecordStore> fleet;
    const auto& all = models();
    for (int i = 0; i < 256; ++i)
        fleet.emplace_back(all[static_cast<std::size_t>(i) % all.size()], identityFor(i));
    for (RecordStore& store : fleet) {
        Bytes out;
        store.read(19, -1, out);
        store.read(79, -1, out);
        store.read(10, 0, out);
        QCOMPARE(store.writtenBytes(), std::size_t(0));
    }
    RecordStore& nvr = fleet[3];
    QCOMPARE(all[3].name, std::string("NVR-8"));
    Bytes entry;
    QCOMPARE(nvr.read(79, 2, entry), kRecordOk);
    entry[0] ^= 1;
    QCOMPARE(nvr.write(79, 2, entry), kRecordOk);
    QVERIFY(nvr.writtenBytes() >= 19356);
    QVERIFY(nvr.writtenBytes() <= 2 * 1238784);
}

QTEST_GUILESS_MAIN(TestCamsimRecords)
#include "tst_camsim_records.moc"
