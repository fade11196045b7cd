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

    /// A binary configuration write; the answer's Ret, 0 when there is no single JSON answer.
    int setConfig(int command, const Bytes& record)
    {
        const auto frames =
            send(protocol::encodeFrame({protocol::kVersion, sessionId, ++sequence, protocol::MsgSetConfig, 0},
                                       protocol::encodeSetConfig({command, -1, record})));
        Json::Value v;
        if (frames.size() != 1 || frames[0].header.messageId != protocol::MsgSetConfigAnswer ||
            protocol::decodeJsonObject(frames[0].body.data(), frames[0].body.size(), v) != protocol::DecodeStatus::Ok)
            return 0;
        return v["Ret"].asInt();
    }

    After lastAction() const { return last.out.empty() ? After::Nothing : last.out.back().after; }
};

} // namespace

class TestCamsimSession : public QObject
{
    Q_OBJECT

private slots:
    void loginThenRequestsThenLogout()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        std::vector<std::uint32_t> moves;
        camera.onAddressChanged = [&](Camera&, std::uint32_t previous) { moves.push_back(previous); };
        Client c(camera);
        QCOMPARE(c.login("admin", "secret")["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(c.sessionId != 0 && c.session.loggedIn());
        QCOMPARE(camera.sessions, 1);

        // A frame with another session id is ignored and counted; the connection stays.
        QVERIFY(c.send(frameOf(protocol::MsgKeepAlive, Json::Value(Json::objectValue), c.sessionId + 1, 7)).empty());
        QVERIFY(!c.last.abort);
        QCOMPARE(camera.badFrames, 1);

        // The network record written back with another address moves the camera.
        Bytes record = camera.networkRecord();
        record[0x40 + 3] = 99;
        QCOMPARE(c.setConfig(20, record), protocol::kRetOk);
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.99"));
        QCOMPARE(moves, std::vector<std::uint32_t>{o.addressOf(0)});

        // Write faults and record checks decide whether the camera moves.
        Bytes net = camera.networkRecord();
        net[0x40 + 3] = 77;
        camera.faults.failWrites = true;
        QCOMPARE(c.setConfig(20, net), kRetRefused);
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.99"));

        camera.faults.failWrites = false;
        camera.faults.rebootNeeded = true;
        QCOMPARE(c.setConfig(20, net), kRetRebootNeeded);
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.99")); // not yet
        QVERIFY(camera.applyPendingNetwork());
        QCOMPARE(dotted(camera.network().address), std::string("127.0.0.77"));

        camera.faults.rebootNeeded = false;
        QCOMPARE(c.setConfig(20, Bytes(100, 0)), kRetWrongSize);
        Bytes noTerminator = camera.networkRecord();
        std::fill(noTerminator.begin(), noTerminator.begin() + 64, 'a');
        QCOMPARE(c.setConfig(20, noTerminator), kRetRefused);

        // JSON replies carry this session's id.
        const Json::Value ability = c.request(protocol::MsgGetAbilityJson,
                                              object({{"Name", "ChannelSystemFunction@SmartH264"}, {"Channel", 0}}),
                                              protocol::MsgGetAbilityJsonAnswer);
        QCOMPARE(ability["SessionID"].asString(), QString::asprintf("0x%08X", c.sessionId).toStdString());
        QCOMPARE(c.request(protocol::MsgControl, object({{"Action", 5}}), protocol::MsgControlAnswer)["Ret"].asInt(),
                 kRetNoCommand);

        const Json::Value bye =
            c.request(protocol::MsgLogout, Json::Value(Json::objectValue), protocol::MsgLogoutAnswer);
        QCOMPARE(bye["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(c.lastAction(), After::Close);
        QCOMPARE(camera.logouts, 1);
        QCOMPARE(camera.sessions, 0);
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
        QCOMPARE(c.send(stream).size(), std::size_t(3));
        QCOMPARE(c.session.buffered(), std::size_t(0));
    }

    void wrongProofsLockUntilTheLockEnds()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 0);
        auto loginAt = [&](std::int64_t now, const char* password) {
            Client client(camera);
            client.now = now;
            const int ret = client.login("admin", password)["Ret"].asInt();
            return ret == protocol::kRetOk || client.lastAction() == After::Close ? ret : 0;
        };
        // Three wrong proofs in a row lock the user; even the right one is refused until the lock ends.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(loginAt(1000, "guess"), kRetWrongPassword);
        QCOMPARE(loginAt(1000 + o.lockMs - 1, "secret"), kRetLocked);
        QCOMPARE(loginAt(1000 + o.lockMs, "secret"), protocol::kRetOk);
        // A success clears the failure count: two more wrong proofs do not lock.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(loginAt(1000 + o.lockMs, "guess"), kRetWrongPassword);
        QCOMPARE(loginAt(1000 + o.lockMs, "secret"), protocol::kRetOk);
        QCOMPARE(camera.logins, 2);
        QCOMPARE(camera.badFrames, 0);
    }

    void badInputClosesTheConnectionAndIsCounted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("afterLogin");
        auto raw = [](const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size())); };
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
};

QTEST_GUILESS_MAIN(TestCamsimSession)
#include "tst_camsim_session.moc"
