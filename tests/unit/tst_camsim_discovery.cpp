#include <QtTest>

#include "camera.h"
#include "discovery.h"
#include "options.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

using namespace camsim;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kClient = 0x7F000001; // 127.0.0.1

FleetOptions testOptions(int count, int foreign)
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.count = count;
    o.foreign = foreign;
    o.password = "pw";
    o.lockAfter = 3;
    o.lockMs = 5000;
    return o;
}

/// A fleet's cameras without sockets.
struct Cameras
{
    explicit Cameras(const FleetOptions& options) : options(options)
    {
        for (int i = 0; i < options.total(); ++i)
            owned.push_back(std::make_unique<Camera>(this->options, i));
        for (auto& c : owned)
            raw.push_back(c.get());
    }
    FleetOptions options;
    std::vector<std::unique_ptr<Camera>> owned;
    std::vector<Camera*> raw;
};

Json::Value bodyOf(const Bytes& frame, std::uint16_t expectedId, std::uint32_t expectedSequence)
{
    const protocol::ParseResult p = protocol::parseFrame(frame.data(), frame.size());
    Json::Value v;
    if (p.status != protocol::ParseStatus::Ok || p.used != frame.size() || p.frame.header.messageId != expectedId ||
        p.frame.header.sequence != expectedSequence ||
        protocol::decodeJsonObject(p.frame.body.data(), p.frame.body.size(), v) != protocol::DecodeStatus::Ok)
        return Json::Value();
    return v;
}

struct NetSetClient
{
    Discovery& discovery;
    std::int64_t now = 0;
    std::uint32_t sequence = 0;

    Discovery::Result send(std::uint16_t id, const Json::Value& body)
    {
        const Bytes f = jsonFrame(id, 0, ++sequence, body);
        return discovery.handle(f.data(), f.size(), kClient, now);
    }

    std::string hello(const std::string& mac)
    {
        Json::Value b(Json::objectValue);
        b["Token"] = "tok";
        b["MAC"] = mac;
        b["UserName"] = "admin";
        const Discovery::Result r = send(protocol::MsgNetSetHello, b);
        if (r.answers.size() != 1)
            return std::string();
        const Json::Value a = bodyOf(r.answers[0].bytes, protocol::MsgNetSetChallenge, sequence);
        return a["Ret"].asInt() == protocol::kRetOk && a["MAC"].asString() == mac ? a["Nonce"].asString()
                                                                                  : std::string();
    }

    /// Returns the answer's Ret, or 0 when nothing came back.
    int request(const std::string& mac, const std::string& nonce, const std::string& password, const std::string& ip,
                const std::string& proofNonce = std::string())
    {
        Json::Value b(Json::objectValue);
        b["Token"] = "tok";
        b["MAC"] = mac;
        b["UserName"] = "admin";
        b["Nonce"] = nonce;
        b["Mode"] = 254;
        b["HostIP"] = ip;
        b["Submask"] = "255.255.0.0";
        b["GateWay"] = "127.0.9.1";
        b["HostMAC"] = "aa:bb:cc:dd:ee:ff";
        b["Proof"] =
            protocol::netSetProof(protocol::deriveKey("admin", password), proofNonce.empty() ? nonce : proofNonce, mac,
                                  254, ip, "255.255.0.0", "127.0.9.1", "aa:bb:cc:dd:ee:ff");
        const Discovery::Result r = send(protocol::MsgNetSetRequest, b);
        if (r.answers.size() != 1)
            return 0;
        const Json::Value a = bodyOf(r.answers[0].bytes, protocol::MsgNetSetAnswer, sequence);
        return a.isObject() && a["Token"].asString() == "tok" ? a["Ret"].asInt() : 0;
    }
};

} // namespace

class TestCamsimDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void everyLiveCameraAnswersASearch()
    {
        const FleetOptions o = testOptions(int(models().size()), 2);
        Cameras fleet(o);
        Discovery d(fleet.raw);
        fleet.raw[1]->rebooting = true;
        fleet.raw[2]->dead = true;
        fleet.raw[3]->faults.silent = true;

        Json::Value request(Json::objectValue);
        request["Token"] = "abc";
        const Bytes f = jsonFrame(protocol::MsgSearchRequest, 0, 42, request);
        const Discovery::Result r = d.handle(f.data(), f.size(), kClient, 0);
        QCOMPARE(r.verdict, Discovery::Verdict::Handled);
        QCOMPARE(int(r.answers.size()), o.total() - 3);

        std::set<int> answered;
        for (const Discovery::Answer& a : r.answers) {
            const protocol::ParseResult p = protocol::parseFrame(a.bytes.data(), a.bytes.size());
            QCOMPARE(p.status, protocol::ParseStatus::Ok);
            QCOMPARE(p.frame.header.messageId, protocol::MsgSearchAnswer);
            QCOMPARE(p.frame.header.sequence, 42u);
            protocol::SearchInfo info;
            QCOMPARE(protocol::decodeSearchAnswer(p.frame.body.data(), p.frame.body.size(), info),
                     protocol::DecodeStatus::Ok);
            const Camera& c = *fleet.raw[a.camera];
            answered.insert(a.camera);
            QCOMPARE(info.token, std::string("abc"));
            QCOMPARE(info.mac, c.identity().mac);
            QCOMPARE(info.hostName, "camera-" + std::to_string(a.camera));
            QCOMPARE(protocol::formatDotted(info.hostIp), dotted(o.addressOf(a.camera)));
            QCOMPARE(protocol::formatDotted(info.submask), std::string("255.255.255.0"));
            std::uint32_t gateway = 0;
            QVERIFY(parseAddress(protocol::formatDotted(info.gateway), gateway));
            QCOMPARE(gateway, (o.addressOf(a.camera) & 0xFFFFFF00u) | 1u);
            QCOMPARE(info.ports[0], 80);
            QCOMPARE(info.ports[1], int(o.servicePort));
            QCOMPARE(info.ports[2], 554);
            QCOMPARE(info.deviceKind, c.model().deviceKind);
            QCOMPARE(info.version, c.model().version);
            QCOMPARE(info.buildYear, c.model().buildYear);
            QCOMPARE(info.cloudId, c.model().answersCloudId ? c.identity().serial : std::string());
        }
        QVERIFY(!answered.count(1) && !answered.count(2) && !answered.count(3));
        QVERIFY(answered.count(o.total() - 1)); // foreign cameras answer too
    }

    void badAndForeignDatagramsAreDroppedAndCounted()
    {
        const FleetOptions o = testOptions(2, 0);
        Cameras fleet(o);
        Discovery d(fleet.raw);
        Json::Value request(Json::objectValue);
        request["Token"] = "abc";
        const Bytes good = jsonFrame(protocol::MsgSearchRequest, 0, 1, request);

        const Discovery::Result foreign = d.handle(good.data(), good.size(), 0xC0A80105, 0);
        QCOMPARE(foreign.verdict, Discovery::Verdict::Foreign);
        QVERIFY(foreign.answers.empty());
        QCOMPARE(d.foreignSources(), 1);

        Bytes trailing = good;
        trailing.push_back(0);
        Bytes truncated(good.begin(), good.end() - 1);
        Json::Value longToken(Json::objectValue);
        longToken["Token"] = std::string(65, 't');
        Json::Value noToken(Json::objectValue);
        noToken["Other"] = 1;
        const std::vector<Bytes> bad = {
            Bytes{},
            Bytes{0xFF, 1, 0},
            trailing,
            truncated,
            jsonFrame(protocol::MsgSearchAnswer, 0, 1, request),
            jsonFrame(protocol::MsgLoginHello, 0, 1, request),
            jsonFrame(protocol::MsgSearchRequest, 0, 1, longToken),
            jsonFrame(protocol::MsgSearchRequest, 0, 1, noToken),
            protocol::encodeFrame({protocol::kVersion, 0, 1, protocol::MsgSearchRequest, 0}, Bytes{'[', ']'}),
        };
        for (const Bytes& b : bad) {
            const Discovery::Result r = d.handle(b.data(), b.size(), kClient, 0);
            QCOMPARE(r.verdict, Discovery::Verdict::Bad);
            QVERIFY(r.answers.empty());
        }
        QCOMPARE(d.badDatagrams(), int(bad.size()));
        QCOMPARE(d.handle(good.data(), good.size(), kClient, 0).answers.size(), std::size_t(2));
    }

    void addressChangeWithoutLogin()
    {
        const FleetOptions o = testOptions(3, 1);
        Cameras fleet(o);
        Discovery d(fleet.raw);
        Camera& target = *fleet.raw[1];
        std::vector<int> moved;
        target.onAddressChanged = [&](Camera& c, std::uint32_t) { moved.push_back(c.index()); };
        NetSetClient client{d};

        // The MAC selects the camera whatever its letter case; nobody answers an unknown MAC.
        const std::string mac = target.identity().mac;
        const std::string upper = QString::fromStdString(mac).toUpper().toStdString();
        QVERIFY(client.hello("02:56:54:00:99:99").empty());
        const std::string nonce = client.hello(upper);
        QCOMPARE(nonce.size(), std::size_t(32));
        QCOMPARE(client.request(upper, nonce, "pw", "127.0.8.20"), protocol::kRetOk);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));
        QCOMPARE(dotted(target.network().mask), std::string("255.255.0.0"));
        QCOMPARE(dotted(target.network().gateway), std::string("127.0.9.1"));
        QCOMPARE(moved, std::vector<int>{1});
        QCOMPARE(fleet.raw[0]->network().address, o.addressOf(0));

        // A nonce is good once.
        QCOMPARE(client.request(upper, nonce, "pw", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));

        // ... and for ten seconds.
        const std::string stale = client.hello(mac);
        client.now += 10000;
        QCOMPARE(client.request(mac, stale, "pw", "127.0.8.21"), kRetWrongPassword);
        // A proof made for another nonce fails.
        const std::string fresh = client.hello(mac);
        QCOMPARE(client.request(mac, fresh, "pw", "127.0.8.21", "0123456789abcdef0123456789abcdef"), kRetWrongPassword);

        // Wrong passwords count toward the lock; once locked, even the right one is refused.
        QCOMPARE(client.request(mac, client.hello(mac), "bad", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(client.request(mac, client.hello(mac), "bad", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.21"), kRetLocked);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));
        client.now += o.lockMs;
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.21"), protocol::kRetOk);
        QCOMPARE(moved, (std::vector<int>{1, 1}));

        // Under the reboot-needed fault the change waits for the next reboot.
        target.faults.rebootNeeded = true;
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.30"), kRetRebootNeeded);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.21"));
        QVERIFY(target.hasPendingNetwork());
        QVERIFY(target.applyPendingNetwork());
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.30"));

        // A foreign camera is reached the same way; a dead one hears nothing.
        Camera& foreign = *fleet.raw[3];
        QCOMPARE(client.request(foreign.identity().mac, client.hello(foreign.identity().mac), "pw", "127.0.8.40"),
                 protocol::kRetOk);
        QCOMPARE(dotted(foreign.network().address), std::string("127.0.8.40"));
        fleet.raw[2]->dead = true;
        QVERIFY(client.hello(fleet.raw[2]->identity().mac).empty());

        // Addresses that are not addresses make the request bad.
        Json::Value b(Json::objectValue);
        b["Token"] = "tok";
        b["MAC"] = mac;
        b["UserName"] = "admin";
        b["Nonce"] = client.hello(mac);
        b["Mode"] = 1;
        b["HostIP"] = "127.0.8";
        b["Submask"] = "255.255.0.0";
        b["GateWay"] = "127.0.9.1";
        b["HostMAC"] = "";
        b["Proof"] = "00";
        const int badBefore = d.badDatagrams();
        QCOMPARE(client.send(protocol::MsgNetSetRequest, b).verdict, Discovery::Verdict::Bad);
        QCOMPARE(d.badDatagrams(), badBefore + 1);
    }
};

QTEST_GUILESS_MAIN(TestCamsimDiscovery)
#include "tst_camsim_discovery.moc"
