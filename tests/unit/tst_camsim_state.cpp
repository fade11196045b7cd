#include <QtTest>

#include "camera.h"
#include "options.h"
#include "protocol/messages.h"

using namespace camsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

FleetOptions testOptions()
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.count = 3;
    return o;
}

} // namespace

class TestCamsimState : public QObject
{
    Q_OBJECT

private slots:
    void networkRecordLayout()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 2);
        const Bytes r = camera.networkRecord();
        QCOMPARE(r.size(), std::size_t(144));
        QCOMPARE(std::string(reinterpret_cast<const char*>(r.data())), std::string("camera-2"));
        QCOMPARE((Bytes{r[0x40], r[0x41], r[0x42], r[0x43]}), (Bytes{127, 0, 0, 12}));
        QCOMPARE((Bytes{r[0x44], r[0x45], r[0x46], r[0x47]}), (Bytes{255, 255, 255, 0}));
        QCOMPARE((Bytes{r[0x48], r[0x49], r[0x4A], r[0x4B]}), (Bytes{127, 0, 0, 1}));
        auto port = [&](int i) { return int(r[0x4C + 4 * i] | (r[0x4D + 4 * i] << 8)); };
        QCOMPARE(port(0), 80);
        QCOMPARE(port(1), 34567);
        QCOMPARE(port(2), 554);
        QCOMPARE(port(3), 0);
        QCOMPARE(std::string(reinterpret_cast<const char*>(r.data() + 0x6D)), camera.identity().mac);

        // Decoding takes name, address, mask and gateway; the ports stay.
        Bytes next = r;
        std::memset(next.data(), 0, 64);
        std::memcpy(next.data(), "door", 4);
        next[0x43] = 50;
        next[0x46] = 0;
        next[0x4C + 4] = 1;
        NetworkState decoded;
        QVERIFY(camera.decodeNetworkRecord(next, decoded));
        QCOMPARE(decoded.hostName, std::string("door"));
        QCOMPARE(dotted(decoded.address), std::string("127.0.0.50"));
        QCOMPARE(dotted(decoded.mask), std::string("255.255.0.0"));
        QCOMPARE(decoded.ports[1], 34567);
        QVERIFY(!camera.decodeNetworkRecord(Bytes(143, 0), decoded));
        Bytes zero = r;
        std::memset(zero.data() + 0x40, 0, 4);
        QVERIFY(!camera.decodeNetworkRecord(zero, decoded));
    }

    void savedStateComesBack()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 1);
        Bytes defaults;
        QCOMPARE(camera.readRecord(274, -1, defaults), protocol::kRetOk);
        const Bytes flipped{std::uint8_t(defaults.at(0) ? 0 : 1)};
        Bytes net = camera.networkRecord();
        net[0x43] = 200;
        QCOMPARE(camera.writeRecord(20, -1, net), protocol::kRetOk);
        QCOMPARE(camera.writeRecord(274, -1, flipped), protocol::kRetOk);
        camera.faults.rebootNeeded = true;
        Bytes later = camera.networkRecord();
        later[0x43] = 201;
        QCOMPARE(camera.writeRecord(20, -1, later), kRetRebootNeeded);

        // Through text, as the state file holds it.
        const std::string text = Json::writeString(Json::StreamWriterBuilder(), camera.saveState());
        Json::Value state;
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        QVERIFY(reader->parse(text.data(), text.data() + text.size(), &state, &errors));

        Camera restored(o, 1);
        std::string error;
        QVERIFY2(restored.loadState(state, error), error.c_str());
        QCOMPARE(dotted(restored.network().address), std::string("127.0.0.200"));
        QCOMPARE(restored.networkRecord(), camera.networkRecord());
        Bytes adaptive;
        QCOMPARE(restored.readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, flipped);
        QVERIFY(restored.hasPendingNetwork());
        QVERIFY(restored.applyPendingNetwork());
        QCOMPARE(dotted(restored.network().address), std::string("127.0.0.201"));
        QCOMPARE(restored.version(), camera.version());

        // A factory reset restores the records but keeps the address.
        QCOMPARE(restored.writeRecord(33, -1, Bytes{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), protocol::kRetOk);
        QCOMPARE(restored.readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, defaults);
        QCOMPARE(dotted(restored.network().address), std::string("127.0.0.201"));
    }

    void foreignOrDamagedStateIsRefusedWhole()
    {
        const FleetOptions o = testOptions();
        Camera source(o, 0);
        QCOMPARE(source.writeRecord(274, -1, Bytes{1}), protocol::kRetOk);
        const Json::Value good = source.saveState();

        auto refused = [&](const Json::Value& state) {
            Camera target(o, 0);
            std::string error;
            const bool loaded = target.loadState(state, error);
            Bytes adaptive;
            target.readRecord(274, -1, adaptive);
            return !loaded && !error.empty() && adaptive == Bytes{0} && target.network().address == o.addressOf(0);
        };
        Camera other(o, 1);
        std::string error;
        QVERIFY(!other.loadState(good, error)); // another camera's file
        QVERIFY(error.find("MAC") != std::string::npos);

        Json::Value s = good;
        s["Network"]["HostIP"] = "127.0.0.300";
        QVERIFY(refused(s));
        s = good;
        s["Network"]["Ports"].append(1);
        QVERIFY(refused(s));
        s = good;
        s["Version"] = std::string(200, 'v');
        QVERIFY(refused(s));
        s = good;
        s["Pending"] = "soon";
        QVERIFY(refused(s));
        s = good;
        s["Records"] = "nothing";
        QVERIFY(refused(s));
        QVERIFY(refused(Json::Value(3)));

        // Records saved for another model are left out; the network state is still taken.
        s = good;
        s["Model"] = "SOMETHING-ELSE";
        s["Network"]["HostIP"] = "127.0.0.99";
        Camera target(o, 0);
        QVERIFY(target.loadState(s, error));
        QCOMPARE(dotted(target.network().address), std::string("127.0.0.99"));
        Bytes adaptive;
        QCOMPARE(target.readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, Bytes{0});
    }
};

QTEST_GUILESS_MAIN(TestCamsimState)
#include "tst_camsim_state.moc"
