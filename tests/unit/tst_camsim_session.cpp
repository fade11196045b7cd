#include <QtTest>

#include "camera.h"
#include "options.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "session.h"

using namespace camsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(std::uint16_t id, const Json::Value& body, std::uint32_t session = 0, std::uint32_t sequence = 1)
{
    return jsonFrame(id, session, sequence, body);
}

Json::Value object(std::initializer_list<std::pair<const char*, Json::Value>> members)
{
    Json::Value v(Json::objectValue);
    for (const auto& [k, m] : members)
        v[k] = m;
    return v;
}

FleetOptions testOptions()
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.password = "secret";
    o.lockAfter = 3;
    o.lockMs = 1000;
    o.maxSessions = 2;
    o.blacklist.insert("banned");
    return o;
}

/// Drives one session as a client would, checking every answer's framing on the way.
class Client
{
public:
    Client(Camera& camera, bool busy = false) : session(camera, busy) {}

    Session session;
    std::int64_t now = 1000;
    std::uint32_t sequence = 0;
    std::uint32_t sessionId = 0;
    Session::Result last;

    /// Sends bytes, returns the answers' frames (each must parse whole).
    std::vector<protocol::Frame> send(const Bytes& bytes)
    {
        last = session.feed(bytes.data(), bytes.size(), now);
        std::vector<protocol::Frame> frames;
        for (const Outgoing& o : last.out) {
            if (o.bytes.empty())
                continue;
            const protocol::ParseResult p = protocol::parseFrame(o.bytes.data(), o.bytes.size());
            if (p.status != protocol::ParseStatus::Ok || p.used != o.bytes.size())
                qFatal("answer does not parse as one frame");
            frames.push_back(p.frame);
        }
        return frames;
    }

    Json::Value request(std::uint16_t id, const Json::Value& body, std::uint16_t expectedAnswer)
    {
        const auto frames = send(frameOf(id, body, sessionId, ++sequence));
        if (frames.size() != 1 || frames[0].header.messageId != expectedAnswer || frames[0].header.sequence != sequence)
            return Json::Value("no single answer");
        Json::Value out;
        if (protocol::decodeJsonObject(frames[0].body.data(), frames[0].body.size(), out) != protocol::DecodeStatus::Ok)
            return Json::Value("answer is not a JSON object");
        return out;
    }

    /// Whole login; returns the result object.
    Json::Value login(const std::string& user, const std::string& password)
    {
        const std::string clientNonce = protocol::randomNonce();
        const Json::Value challenge =
            request(protocol::MsgLoginHello, object({{"UserName", user}, {"ClientNonce", clientNonce}}),
                    protocol::MsgLoginChallenge);
        if (!challenge.isObject() || challenge["Ret"].asInt() != protocol::kRetOk)
            return challenge;
        const std::string proof =
            protocol::loginProof(protocol::deriveKey(user, password), challenge["Nonce"].asString(), clientNonce);
        const Json::Value result =
            request(protocol::MsgLoginProof, object({{"UserName", user}, {"Proof", proof}}), protocol::MsgLoginResult);
        if (result.isObject() && result["Ret"].asInt() == protocol::kRetOk)
            sessionId = result["SessionID"].asUInt();
        return result;
    }

    After lastAction() const { return last.out.empty() ? After::Nothing : last.out.back().after; }
};

} // namespace

class TestCamsimSession : public QObject
{
    Q_OBJECT

private slots:
    void loginThenConfigurationThenLogout()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        std::vector<std::uint32_t> moves;
        camera.onAddressChanged = [&](Camera&, std::uint32_t previous) { moves.push_back(previous); };
        Client c(camera);

        const Json::Value result = c.login("admin", "secret");
        QCOMPARE(result["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(c.sessionId != 0);
        QVERIFY(c.session.loggedIn());
        QCOMPARE(result["DeviceInfo"]["MAC"].asString(), camera.identity().mac);
        QCOMPARE(result["DeviceInfo"]["Serial"].asString(), camera.identity().serial);
        QCOMPARE(result["DeviceInfo"]["Model"].asString(), camera.model().name);
        QCOMPARE(result["DeviceInfo"]["HardwareId"].asString(), camera.model().hardwareId);
        QCOMPARE(camera.logins, 1);
        QCOMPARE(camera.sessions, 1);

        QCOMPARE(c.request(protocol::MsgKeepAlive, Json::Value(Json::objectValue), protocol::MsgKeepAliveAnswer)["Ret"]
                     .asInt(),
                 protocol::kRetOk);

        // The network record comes from the live network state.
        auto frames =
            c.send(frameOf(protocol::MsgGetConfig, object({{"Command", 20}, {"Channel", -1}, {"MaxSize", 144}}),
                           c.sessionId, ++c.sequence));
        QCOMPARE(frames.size(), std::size_t(1));
        protocol::GetConfigAnswer got;
        QCOMPARE(protocol::decodeGetConfigAnswer(frames[0].body.data(), frames[0].body.size(), got),
                 protocol::DecodeStatus::Ok);
        QCOMPARE(got.ret, protocol::kRetOk);
        QCOMPARE(got.record, camera.networkRecord());
        QCOMPARE(got.record.size(), kNetworkRecordSize);
        QCOMPARE(std::string(reinterpret_cast<const char*>(got.record.data())), std::string("camera-0"));

        // Writing it back with another address moves the camera.
        Bytes record = got.record;
        record[0x40 + 3] = 99;
        protocol::SetConfigBody set{20, -1, record};
        frames =
            c.send(protocol::encodeFrame({protocol::kVersion, c.sessionId, ++c.sequence, protocol::MsgSetConfig, 0},
                                         protocol::encodeSetConfig(set)));
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(frames[0].header.messageId, protocol::MsgSetConfigAnswer);
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.99"));
        QCOMPARE(moves, std::vector<std::uint32_t>{o.addressOf(0)});

        // A store record goes through the record store and reads back.
        const Bytes adaptive{1};
        set = {274, -1, adaptive};
        c.send(protocol::encodeFrame({protocol::kVersion, c.sessionId, ++c.sequence, protocol::MsgSetConfig, 0},
                                     protocol::encodeSetConfig(set)));
        Bytes stored;
        QCOMPARE(camera.readRecord(274, -1, stored), protocol::kRetOk);
        QCOMPARE(stored, adaptive);
        frames = c.send(frameOf(protocol::MsgGetConfig, object({{"Command", 999999}, {"Channel", -1}, {"MaxSize", 10}}),
                                c.sessionId, ++c.sequence));
        QCOMPARE(frames.size(), std::size_t(1));
        protocol::GetConfigAnswer none;
        QCOMPARE(protocol::decodeGetConfigAnswer(frames[0].body.data(), frames[0].body.size(), none),
                 protocol::DecodeStatus::Ok);
        QCOMPARE(none.ret, kRetNoCommand);

        // JSON replies carry this session's id.
        const Json::Value ability = c.request(protocol::MsgGetAbilityJson,
                                              object({{"Name", "ChannelSystemFunction@SmartH264"}, {"Channel", 0}}),
                                              protocol::MsgGetAbilityJsonAnswer);
        QCOMPARE(ability["Name"].asString(), std::string("ChannelSystemFunction@SmartH264"));
        QCOMPARE(ability["SessionID"].asString(), QString::asprintf("0x%08X", c.sessionId).toStdString());

        const Json::Value bye =
            c.request(protocol::MsgLogout, Json::Value(Json::objectValue), protocol::MsgLogoutAnswer);
        QCOMPARE(bye["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(c.lastAction(), After::Close);
        QCOMPARE(camera.logouts, 1);
        QCOMPARE(camera.sessions, 0);
        QCOMPARE(camera.badFrames, 0);
        // Nothing is read after the logout.
        QVERIFY(c.send(frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue), c.sessionId, 9)).empty());
    }

    void framesSplitAnywhereOrJoinedGiveTheSameAnswers()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 1);
        Client c(camera);
        QCOMPARE(c.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
        Bytes stream;
        for (std::uint32_t seq = 10; seq < 13; ++seq) {
            const Bytes f = frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue), c.sessionId, seq);
            stream.insert(stream.end(), f.begin(), f.end());
        }
        std::vector<std::uint32_t> answered;
        for (std::uint8_t byte : stream) {
            for (const auto& f : c.send(Bytes{byte}))
                answered.push_back(f.header.sequence);
            QVERIFY(c.session.buffered() < protocol::kHeaderSize + 64);
        }
        QCOMPARE(answered, (std::vector<std::uint32_t>{10, 11, 12}));
        const auto joined = c.send(stream);
        QCOMPARE(joined.size(), std::size_t(3));
        QCOMPARE(c.session.buffered(), std::size_t(0));
    }

    void loginResultsFollowTheCameraRules()
    {
        FleetOptions o = testOptions();
        Camera camera(o, 0);

        QCOMPARE(Client(camera).login("nobody", "secret")["Ret"].asInt(), kRetNoUser);
        QCOMPARE(Client(camera).login("banned", "secret")["Ret"].asInt(), kRetBlacklisted);

        // Three wrong proofs in a row lock the user; even the right one is refused until the lock ends.
        for (int i = 0; i < 3; ++i) {
            Client wrong(camera);
            QCOMPARE(wrong.login("admin", "guess")["Ret"].asInt(), kRetWrongPassword);
            QCOMPARE(wrong.lastAction(), After::Close);
        }
        Client locked(camera);
        QCOMPARE(locked.login("admin", "secret")["Ret"].asInt(), kRetLocked);
        Client later(camera);
        later.now += o.lockMs;
        QCOMPARE(later.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);

        // A success clears the failure count: two more wrong proofs do not lock.
        for (int i = 0; i < 2; ++i) {
            Client wrong(camera);
            wrong.now = later.now;
            QCOMPARE(wrong.login("admin", "guess")["Ret"].asInt(), kRetWrongPassword);
        }
        Client second(camera);
        second.now = later.now;
        QCOMPARE(second.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);

        // Two sessions is the limit here; the third is refused until one ends.
        Client third(camera);
        third.now = later.now;
        QCOMPARE(third.login("admin", "secret")["Ret"].asInt(), kRetTooManySessions);
        second.session.release();
        Client fourth(camera);
        fourth.now = later.now;
        QCOMPARE(fourth.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(camera.logins, 3);

        // A connection beyond the camera's room gets 7 at its hello and is closed.
        Client busy(camera, true);
        QCOMPARE(busy.login("admin", "secret")["Ret"].asInt(), kRetBusy);
        QCOMPARE(busy.lastAction(), After::Close);

        camera.faults.loginCode = -11306;
        QCOMPARE(Client(camera).login("admin", "secret")["Ret"].asInt(), -11306);
        QCOMPARE(camera.logins, 3);
        QCOMPARE(camera.badFrames, 0);
    }

    void badInputClosesTheConnectionAndIsCounted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("afterLogin");
        auto raw = [](const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size())); };
        Bytes wrongStart = frameOf(protocol::MsgLoginHello, object({{"UserName", "admin"}, {"ClientNonce", "x"}}));
        wrongStart[0] = 0xFE;
        QTest::newRow("start byte") << raw(wrongStart) << false;
        Bytes huge = frameOf(protocol::MsgLoginHello, Json::Value(Json::objectValue));
        huge.resize(protocol::kHeaderSize);
        huge[16] = huge[17] = huge[18] = 0xFF;
        huge[19] = 0x7F;
        QTest::newRow("announced body too long") << raw(huge) << false;
        Bytes unknownId = frameOf(protocol::MsgLoginHello, Json::Value(Json::objectValue));
        unknownId[14] = 0x39;
        unknownId[15] = 0x30;
        QTest::newRow("unknown message") << raw(unknownId) << false;
        Bytes notJson = protocol::encodeFrame({protocol::kVersion, 0, 1, protocol::MsgLoginHello, 0}, Bytes{'{', '"'});
        QTest::newRow("broken JSON") << raw(notJson) << false;
        QTest::newRow("missing member") << raw(frameOf(protocol::MsgLoginHello, object({{"UserName", "admin"}})))
                                        << false;
        QTest::newRow("member of wrong type")
            << raw(frameOf(protocol::MsgLoginHello, object({{"UserName", 5}, {"ClientNonce", "x"}}))) << false;
        QTest::newRow("request before login")
            << raw(frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue))) << false;
        QTest::newRow("device message") << raw(frameOf(protocol::MsgLoginResult, object({{"Ret", 100}}))) << true;
        QTest::newRow("short binary body")
            << raw(protocol::encodeFrame({protocol::kVersion, 0, 1, protocol::MsgSetConfig, 0}, Bytes{1, 2, 3}))
            << true;
        QTest::newRow("config request without members")
            << raw(frameOf(protocol::MsgGetConfig, object({{"Command", 20}}))) << true;
    }

    void badInputClosesTheConnectionAndIsCounted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, afterLogin);
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        Client c(camera);
        if (afterLogin) {
            QCOMPARE(c.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
            // A logged-in frame keeps the session id so only the body is at fault.
            if (bytes.size() >= 8)
                for (int i = 0; i < 4; ++i)
                    bytes[4 + i] = char(c.sessionId >> (8 * i));
        }
        c.send(Bytes(bytes.begin(), bytes.end()));
        QVERIFY(c.last.abort);
        QCOMPARE(camera.badFrames, 1);
        QCOMPARE(c.session.buffered(), std::size_t(0));
        QCOMPARE(camera.sessions, 0); // a session that ends badly gives its slot back
        QVERIFY(c.send(frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue), c.sessionId, 5)).empty());
    }

    void foreignSessionIdsAreIgnoredButCounted()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        Client c(camera);
        QCOMPARE(c.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(c.send(frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue), c.sessionId + 1, 7)).empty());
        QVERIFY(!c.last.abort);
        QCOMPARE(camera.badFrames, 1);
        QCOMPARE(c.request(protocol::MsgKeepAlive, Json::Value(Json::objectValue), protocol::MsgKeepAliveAnswer)["Ret"]
                     .asInt(),
                 protocol::kRetOk);
    }

    void writeFaultsDecideWhatIsStored()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        int saves = 0;
        camera.onStateChanged = [&](Camera&) { ++saves; };
        Client c(camera);
        QCOMPARE(c.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
        auto setConfig = [&](int command, const Bytes& record) {
            const auto frames =
                c.send(protocol::encodeFrame({protocol::kVersion, c.sessionId, ++c.sequence, protocol::MsgSetConfig, 0},
                                             protocol::encodeSetConfig({command, -1, record})));
            Json::Value v;
            if (frames.size() != 1 || protocol::decodeJsonObject(frames[0].body.data(), frames[0].body.size(), v) !=
                                          protocol::DecodeStatus::Ok)
                return 0;
            return v["Ret"].asInt();
        };

        camera.faults.failWrites = true;
        QCOMPARE(setConfig(274, Bytes{1}), kRetRefused);
        Bytes r;
        QCOMPARE(camera.readRecord(274, -1, r), protocol::kRetOk);
        QCOMPARE(r, Bytes{0});
        Bytes net = camera.networkRecord();
        net[0x40 + 3] = 77;
        QCOMPARE(setConfig(20, net), kRetRefused);
        QCOMPARE(camera.network().address, o.addressOf(0));
        QCOMPARE(saves, 0);

        camera.faults.failWrites = false;
        camera.faults.rebootNeeded = true;
        QCOMPARE(setConfig(274, Bytes{1}), kRetRebootNeeded);
        QCOMPARE(camera.readRecord(274, -1, r), protocol::kRetOk);
        QCOMPARE(r, Bytes{1});
        QCOMPARE(setConfig(20, net), kRetRebootNeeded);
        QCOMPARE(camera.network().address, o.addressOf(0)); // not yet
        QVERIFY(camera.hasPendingNetwork());
        QVERIFY(camera.applyPendingNetwork());
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.77"));
        QCOMPARE(saves, 3);

        camera.faults.rebootNeeded = false;
        QCOMPARE(setConfig(20, Bytes(100, 0)), kRetWrongSize);
        Bytes noTerminator = camera.networkRecord();
        std::fill(noTerminator.begin(), noTerminator.begin() + 64, 'a');
        QCOMPARE(setConfig(20, noTerminator), kRetRefused);

        // Control: reboot is answered first, then done by the connection's owner.
        const Json::Value answer = c.request(protocol::MsgControl, object({{"Action", 0}}), protocol::MsgControlAnswer);
        QCOMPARE(answer["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(c.lastAction(), After::Reboot);
        QCOMPARE(c.request(protocol::MsgControl, object({{"Action", 5}}), protocol::MsgControlAnswer)["Ret"].asInt(),
                 kRetNoCommand);
    }

    void silentAndMalformedCamerasMisbehaveAsTold()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        camera.faults.silent = true;
        Client quiet(camera);
        QVERIFY(quiet.send(frameOf(protocol::MsgLoginHello, object({{"UserName", "admin"}, {"ClientNonce", "n"}})))
                    .empty());
        QVERIFY(!quiet.last.abort);

        camera.faults.silent = false;
        camera.faults.malformed = true;
        // Three hellos on three connections: each answer is bad in its own way, and the reader
        // of the protocol refuses every one.
        std::set<int> kinds;
        for (int i = 0; i < 3; ++i) {
            Session s(camera, false);
            const Bytes hello = frameOf(protocol::MsgLoginHello, object({{"UserName", "admin"}, {"ClientNonce", "n"}}));
            const Session::Result r = s.feed(hello.data(), hello.size(), 0);
            QCOMPARE(r.out.size(), std::size_t(1));
            const Bytes& answer = r.out[0].bytes;
            const protocol::ParseResult p = protocol::parseFrame(answer.data(), answer.size());
            if (p.status == protocol::ParseStatus::Bad) {
                kinds.insert(int(p.reason));
                continue;
            }
            QCOMPARE(p.status, protocol::ParseStatus::Ok);
            Json::Value body;
            QCOMPARE(protocol::decodeJsonObject(p.frame.body.data(), p.frame.body.size(), body),
                     protocol::DecodeStatus::Bad);
            kinds.insert(-1);
        }
        QCOMPARE(kinds, (std::set<int>{int(protocol::BadReason::StartByte), int(protocol::BadReason::TooLong), -1}));

        // Binary answers are broken too: a body shorter than its fixed part.
        Bytes frame = protocol::encodeFrame({protocol::kVersion, 1, 1, protocol::MsgGetConfigAnswer, 0},
                                            protocol::encodeGetConfigAnswer({100, Bytes(10, 1)}));
        for (int i = 0; i < 2; ++i)
            camera.shapeAnswer(frame); // advance the rotation to the body case
        const Bytes shaped = camera.shapeAnswer(frame);
        const protocol::ParseResult p = protocol::parseFrame(shaped.data(), shaped.size());
        QCOMPARE(p.status, protocol::ParseStatus::Ok);
        protocol::GetConfigAnswer a;
        QCOMPARE(protocol::decodeGetConfigAnswer(p.frame.body.data(), p.frame.body.size(), a),
                 protocol::DecodeStatus::Bad);
    }
};

QTEST_GUILESS_MAIN(TestCamsimSession)
#include "tst_camsim_session.moc"
