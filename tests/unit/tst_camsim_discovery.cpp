// The fleet's discovery port without sockets: which cameras answer a search, which datagrams are
// dropped and counted, and the address change without login (nonce, proof, lock, pending change).
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

/// A fleet's cameras without sockets.
struct Cameras
{
    explicit Cameras(int count)
    {
        for (const Model& m : models())
            options.models.push_back(&m);
        options.count = count;
        options.password = "pw";
        options.lockAfter = 3;
        options.lockMs = 5000;
        options.fleetId = 0xab; // MAC texts with letters, so that their case can differ
        for (int i = 0; i < options.total(); ++i) {
            owned.push_back(std::make_unique<Camera>(options, i));
            raw.push_back(owned.back().get());
        }
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
    std::uint32_t source = kClient;

    /// The single answer's body, or null when there was not exactly one.
    Json::Value send(std::uint16_t id, Json::Value body, std::uint16_t answerId)
    {
        body["Token"] = "tok";
        body["UserName"] = "admin";
        const Bytes f = jsonFrame(id, 0, ++sequence, body);
        const Discovery::Result r = discovery.handle(f.data(), f.size(), source, now);
        return r.answers.size() == 1 ? bodyOf(r.answers[0].bytes, answerId, sequence) : Json::Value();
    }

    std::string hello(const std::string& mac)
    {
        Json::Value b(Json::objectValue);
        b["MAC"] = mac;
        const Json::Value a = send(protocol::MsgNetSetHello, b, protocol::MsgNetSetChallenge);
        return a["Ret"].asInt() == protocol::kRetOk && a["MAC"].asString() == mac ? a["Nonce"].asString()
                                                                                  : std::string();
    }

    /// Returns the answer's Ret, or 0 when nothing came back.
    int request(const std::string& mac, const std::string& nonce, const std::string& password, const std::string& ip,
                const std::string& proofNonce = std::string())
    {
        Json::Value b(Json::objectValue);
        const std::string mask = "255.255.0.0", gateway = "127.0.9.1", hostMac = "aa:bb:cc:dd:ee:ff";
        b["MAC"] = mac;
        b["Nonce"] = nonce;
        b["Mode"] = 254;
        b["HostIP"] = ip;
        b["Submask"] = mask;
        b["GateWay"] = gateway;
        b["HostMAC"] = hostMac;
        b["Proof"] =
            protocol::netSetProof(protocol::deriveKey("admin", password), proofNonce.empty() ? nonce : proofNonce, mac,
                                  254, ip, mask, gateway, hostMac);
        const Json::Value a = send(protocol::MsgNetSetRequest, b, protocol::MsgNetSetAnswer);
        return a.isObject() && a["Token"].asString() == "tok" ? a["Ret"].asInt() : 0;
    }
};

} // namespace

class TestCamsimDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void searchAnswersAndDroppedDatagrams()
    {
        Cameras fleet(int(models().size()));
        Discovery d(fleet.raw);
        fleet.raw[1]->dead = true;
        fleet.raw[2]->faults.silent = true;

        // Every live camera answers with its own record, echoing the request's token and sequence.
        Json::Value request(Json::objectValue);
        request["Token"] = "abc";
        const Bytes good = jsonFrame(protocol::MsgSearchRequest, 0, 42, request);
        const Discovery::Result r = d.handle(good.data(), good.size(), kClient, 0);
        QCOMPARE(r.verdict, Discovery::Verdict::Handled);
        QCOMPARE(int(r.answers.size()), fleet.options.total() - 2);
        std::set<int> answered;
        for (const Discovery::Answer& a : r.answers) {
            const Json::Value info = bodyOf(a.bytes, protocol::MsgSearchAnswer, 42);
            QCOMPARE(info["Token"].asString(), std::string("abc"));
            QCOMPARE(info["MAC"].asString(), fleet.raw[a.camera]->identity().mac);
            answered.insert(a.camera);
        }
        QVERIFY(!answered.count(1) && !answered.count(2));

        // Nothing is sent outside the loopback range, and nothing answers a malformed request.
        const Discovery::Result foreign = d.handle(good.data(), good.size(), 0xC0A80105, 0);
        QCOMPARE(foreign.verdict, Discovery::Verdict::Foreign);
        QVERIFY(foreign.answers.empty());
        QCOMPARE(d.foreignSources(), 1);
        Bytes trailing = good;
        trailing.push_back(0);
        Json::Value longToken(Json::objectValue);
        longToken["Token"] = std::string(65, 't');
        const std::vector<Bytes> bad = {
            trailing,
            Bytes(good.begin(), good.end() - 1),
            jsonFrame(protocol::MsgSearchAnswer, 0, 1, request),
            jsonFrame(protocol::MsgSearchRequest, 0, 1, longToken),
            jsonFrame(protocol::MsgSearchRequest, 0, 1, Json::Value(Json::objectValue)),
            protocol::encodeFrame({protocol::kVersion, 0, 1, protocol::MsgSearchRequest, 0}, Bytes{'[', ']'}),
        };
        for (const Bytes& b : bad) {
            const Discovery::Result dropped = d.handle(b.data(), b.size(), kClient, 0);
            QCOMPARE(dropped.verdict, Discovery::Verdict::Bad);
            QVERIFY(dropped.answers.empty());
        }
        QCOMPARE(d.badDatagrams(), int(bad.size()));
    }

    void addressChangeWithoutLogin()
    {
        Cameras fleet(2);
        Discovery d(fleet.raw);
        Camera& target = *fleet.raw[1];
        NetSetClient client{d};

        // The MAC selects the camera whatever its letter case.
        const std::string mac = target.identity().mac;
        const std::string upper = QString::fromStdString(mac).toUpper().toStdString();
        const std::string nonce = client.hello(upper);
        QCOMPARE(client.request(upper, nonce, "pw", "127.0.8.20"), protocol::kRetOk);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));
        // A flood of hellos from another host pushes out none of this client's nonces.
        const std::string kept = client.hello(mac);
        NetSetClient flood{d, 0, 0, kClient + 1};
        for (int i = 0; i < 200; ++i)
            flood.hello(mac);
        QCOMPARE(client.request(mac, kept, "pw", "127.0.8.20"), protocol::kRetOk);
        // The camera's own answer is passed on, e.g. a change that waits for the next reboot.
        target.faults.rebootNeeded = true;
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.30"), kRetRebootNeeded);

        // A nonce is good once, for ten seconds, and only with a proof made for it.
        QCOMPARE(client.request(upper, nonce, "pw", "127.0.8.21"), kRetWrongPassword);
        const std::string stale = client.hello(mac);
        client.now += 10000;
        QCOMPARE(client.request(mac, stale, "pw", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.21", "0123456789abcdef0123456789abcdef"),
                 kRetWrongPassword);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));

        // Wrong passwords count toward the lock; once locked, even the right one is refused.
        QCOMPARE(client.request(mac, client.hello(mac), "bad", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(client.request(mac, client.hello(mac), "bad", "127.0.8.21"), kRetWrongPassword);
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8.21"), kRetLocked);
        QCOMPARE(dotted(target.network().address), std::string("127.0.8.20"));

        // An address that is not one makes the request bad.
        QCOMPARE(client.request(mac, client.hello(mac), "pw", "127.0.8"), 0);
        QCOMPARE(d.badDatagrams(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCamsimDiscovery)
#include "tst_camsim_discovery.moc"
