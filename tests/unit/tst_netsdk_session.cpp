// Requests on a login: request headers, answer sizes and buffers, JSON text, control, late and bad
// answers, and several threads sharing one login.

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

constexpr std::uint32_t kSession = 0x51;

using Handler = std::function<bool(peer::Connection&, const protocol::Frame&)>;

/// A device that logs in with admin/pw and answers requests with `handler`.
std::unique_ptr<peer::Device> device(Handler handler)
{
    return std::make_unique<peer::Device>([handler](peer::Connection& c) {
        if (peer::acceptLogin(c, "admin", "pw", kSession))
            peer::serve(c, handler);
    });
}

long login(const peer::Device& d)
{
    int err = 0;
    return sdkLogin("127.0.0.1", d.port(), "admin", "pw", nullptr, 1, &err);
}

void answerRet(peer::Connection& c, const protocol::Frame& request, std::uint16_t answerId, int ret)
{
    Json::Value body;
    body["Ret"] = ret;
    c.send(peer::jsonFrame(answerId, kSession, request.header.sequence, body));
}

void answerRecord(peer::Connection& c, const protocol::Frame& request, int ret, std::vector<std::uint8_t> record)
{
    protocol::GetConfigAnswer a;
    a.ret = ret;
    a.record = std::move(record);
    c.send(peer::frameBytes(protocol::MsgGetConfigAnswer, kSession, request.header.sequence,
                            protocol::encodeGetConfigAnswer(a)));
}

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

} // namespace

class TestNetsdkSession : public peer::Fixture
{
    Q_OBJECT

private slots:
    void configurationAndJsonCalls()
    {
        // Request headers carry the session and rising sequences; answers land only within their
        // size, a buffer too small is left untouched, and JSON text ends at its first NUL.
        std::atomic<bool> headersRight{true};
        std::uint32_t lastSequence = 0;
        std::string textSeen;
        auto d = device([&](peer::Connection& c, const protocol::Frame& f) {
            if (f.header.sessionId != kSession || f.header.sequence <= lastSequence)
                headersRight = false;
            lastSequence = f.header.sequence;
            const Json::Value q = peer::json(f);
            if (f.header.messageId == protocol::MsgGetConfig) {
                if (q["Channel"].asInt() != -1 || q["MaxSize"].asInt() <= 0)
                    headersRight = false;
                answerRecord(c, f, 100, pattern(q["Command"].asInt() == 20 ? 144 : 2000, 1));
            } else if (f.header.messageId == protocol::MsgSetConfigJson) {
                textSeen = q["Text"].asString();
                answerRet(c, f, protocol::MsgSetConfigJsonAnswer, 100);
            } else {
                Json::Value reply;
                reply["Name"] = q["Name"];
                reply["Ret"] = 100;
                reply[q["Name"].asString()][0] = q["Channel"].asInt() + 70;
                c.send(peer::jsonFrame(protocol::MsgGetConfigJsonAnswer, kSession, f.header.sequence, reply));
            }
            return true;
        });
        const long h = login(*d);
        QVERIFY(h > 0);

        std::vector<char> buf(200, char(0xAA));
        unsigned long got = 0;
        QCOMPARE(sdkGetConfig(h, 20, -1, buf.data(), 200, &got, 3000), 1L);
        QCOMPARE(got, 144UL);
        const auto expected = pattern(144, 1);
        QVERIFY(std::memcmp(buf.data(), expected.data(), 144) == 0);
        QVERIFY(std::all_of(buf.begin() + 144, buf.end(), [](char c) { return c == char(0xAA); }));
        std::fill(buf.begin(), buf.end(), char(0xAA));
        QCOMPARE(sdkGetConfig(h, 21, -1, buf.data(), 200, &got, 3000), long(SDK_ERR_BUFFER_SMALL));
        QCOMPARE(got, 2000UL);
        QVERIFY(std::all_of(buf.begin(), buf.end(), [](char c) { return c == char(0xAA); }));

        char out[4096];
        int len = -1;
        QCOMPARE(sdkGetDevConfigJson(h, "fVideo.Volume", 1042, 2, out, sizeof out, &len, 3000), 1L);
        QCOMPARE(int(std::strlen(out)), len);
        QVERIFY(QByteArray(out).contains("\"fVideo.Volume\":[72]"));
        char small[16];
        std::memset(small, 0x33, sizeof small);
        QCOMPARE(sdkGetDevConfigJson(h, "fVideo.Volume", 1042, 2, small, sizeof small, &len, 3000),
                 long(SDK_ERR_BUFFER_SMALL));
        QVERIFY(std::all_of(small, small + sizeof small, [](char c) { return c == 0x33; }));

        const char text[] = "{\"LeftVolume\":80}\0ignored";
        QCOMPARE(sdkSetDevConfigJson(h, "fVideo.Volume", 1040, 0, text, sizeof text, 3000), 1L);
        QCOMPARE(sdkLogout(h), 1L);
        d.reset();
        QCOMPARE(textSeen, std::string("{\"LeftVolume\":80}"));
        QVERIFY(headersRight);
    }

    void lateAnswersAreSkipped()
    {
        auto d = device([](peer::Connection& c, const protocol::Frame& first) {
            // Hold the first answer back until the second request arrives, then send both.
            protocol::Frame second;
            if (!c.read(second))
                return false;
            answerRecord(c, first, 100, {'o', 'l', 'd'});
            answerRecord(c, second, 100, {'n', 'e', 'w'});
            return true;
        });
        const long h = login(*d);
        QVERIFY(h > 0);
        char buf[16] = {};
        unsigned long got = 0;
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 300), long(SDK_ERR_TIMEOUT));
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_TIMEOUT));
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 5000), 1L);
        QCOMPARE(QByteArray(buf, int(got)), QByteArray("new"));
        QCOMPARE(sdkLogout(h), 1L);
    }

    void badAnswerClosesTheConnection_data()
    {
        QTest::addColumn<QByteArray>("answer");
        const auto bytes = [](const std::vector<std::uint8_t>& v) {
            return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
        };
        QTest::newRow("garbage") << QByteArray("\x00garbage-garbage-garbage", 24);
        QTest::newRow("wrong message") << bytes(peer::jsonFrame(protocol::MsgControlAnswer, kSession, 0, {}));
        QTest::newRow("short body") << bytes(peer::frameBytes(protocol::MsgGetConfigAnswer, kSession, 0, {1}));
    }

    void badAnswerClosesTheConnection()
    {
        QFETCH(QByteArray, answer);
        std::vector<std::uint8_t> bytes(answer.begin(), answer.end());
        auto d = device([bytes](peer::Connection& c, const protocol::Frame& f) {
            std::vector<std::uint8_t> out = bytes;
            if (out.size() >= protocol::kHeaderSize && out[0] == protocol::kStartByte)
                std::memcpy(out.data() + 8, &f.header.sequence, 4); // answer this very request
            c.send(out);
            c.waitClosed();
            return false;
        });
        const long h = login(*d);
        QVERIFY(h > 0);
        const unsigned long badBefore = sdkGetBadFrameCount();
        char buf[16];
        unsigned long got = 0;
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 3000), long(SDK_ERR_PROTOCOL));
        QCOMPARE(sdkGetBadFrameCount() - badBefore, 1UL);
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 3000), long(SDK_ERR_SOCKET));
        QCOMPARE(sdkSetConfig(h, 20, -1, buf, 4, 3000), long(SDK_ERR_SOCKET));
        QCOMPARE(sdkLogout(h), 1L);
    }

    void rebootEndsTheSession()
    {
        // The first reboot is refused, the second accepted; then the device drops the connection.
        std::atomic<int> controls{0};
        auto d = device([&](peer::Connection& c, const protocol::Frame& f) {
            const bool accept = f.header.messageId == protocol::MsgControl && ++controls > 1;
            answerRet(c, f, protocol::MsgControlAnswer, accept ? 100 : -11200);
            return !accept;
        });
        const long h = login(*d);
        QVERIFY(h > 0);
        QCOMPARE(sdkControlDevice(h, 3, 3000), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_SUPPORTED));
        QCOMPARE(sdkControlDevice(h, 0, 3000), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_CONFIG_REJECTED));
        QCOMPARE(sdkControlDevice(h, 0, 3000), 1);
        QCOMPARE(controls.load(), 2); // the unsupported action never reached the device
        char buf[16];
        unsigned long got = 0;
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 3000), long(SDK_ERR_SOCKET));
        QCOMPARE(sdkLogout(h), 1L);
    }

    void peerThatKeepsTalking_data()
    {
        QTest::addColumn<QString>("call");
        for (const char* call : {"search", "address change", "login", "request", "logout"})
            QTest::newRow(call) << QString::fromLatin1(call);
    }

    void peerThatKeepsTalking()
    {
        // The peer sends answers nobody waits for (another token, another sequence number) faster
        // than they are read: the call still ends at its time-out.
        QFETCH(QString, call);
        constexpr int kWaitMs = 500; // a logout waits 1 s of its own
        QCOMPARE(sdkSetup(kWaitMs, 1), 1L);
        std::atomic<bool> stop{false};
        std::unique_ptr<peer::Camera> camera;
        std::unique_ptr<peer::Device> device;
        long h = 0;
        if (call == "search" || call == "address change") {
            camera = std::make_unique<peer::Camera>();
            QCOMPARE(sdkSetNetOptions("127.255.255.255", camera->port(), 1), 1L);
            protocol::SearchInfo other;
            other.token = "another search";
            Json::Value challenge;
            challenge["Token"] = "another exchange";
            challenge["MAC"] = "02:56:54:00:00:01";
            challenge["Ret"] = 100;
            challenge["Nonce"] = "n";
            for (int i = 0; i < 300; ++i) // slow to read, quick to send
                challenge["k" + std::to_string(i)] = i;
            const auto chatter = call == "search" ? peer::frameBytes(protocol::MsgSearchAnswer, 0, 1,
                                                                     protocol::encodeSearchAnswer(other))
                                                  : peer::jsonFrame(protocol::MsgNetSetChallenge, 0, 1, challenge);
            camera->start([&stop, chatter](peer::Camera& c) {
                protocol::Frame request;
                if (c.read(request))
                    c.flood(chatter, stop);
            });
        } else {
            device = std::make_unique<peer::Device>([&stop, call](peer::Connection& c) {
                protocol::Frame f;
                if ((call != "login" && !peer::acceptLogin(c, "admin", "pw", kSession)) || !c.read(f))
                    return;
                std::vector<std::uint8_t> chatter;
                for (int i = 0; i < 64; ++i) {
                    const auto one = peer::jsonFrame(f.header.messageId + 1, kSession, f.header.sequence + 1, {});
                    chatter.insert(chatter.end(), one.begin(), one.end());
                }
                c.flood(chatter, stop);
            });
            if (call != "login")
                QVERIFY((h = login(*device)) > 0);
        }

        QElapsedTimer timer;
        timer.start();
        if (call == "search") {
            std::vector<char> buf(560 * 4);
            int len = -1;
            QCOMPARE(sdkSearchDevice(buf.data(), int(buf.size()), &len, kWaitMs), 1);
            QCOMPARE(len, 0);
        } else if (call == "address change") {
            SDK_NET_ADDRESS_BLOCK block{};
            std::strcpy(block.mac, "02:56:54:00:00:01");
            QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, kWaitMs),
                     long(SDK_ERR_TIMEOUT));
        } else if (call == "login") {
            int err = 0;
            QCOMPARE(sdkLogin("127.0.0.1", device->port(), "admin", "pw", nullptr, 1, &err), 0L);
            QCOMPARE(err, int(SDK_ERR_TIMEOUT));
        } else if (call == "request") {
            char buf[16];
            unsigned long got = 0;
            QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, kWaitMs), long(SDK_ERR_TIMEOUT));
        } else {
            QCOMPARE(sdkLogout(h), 1L);
        }
        const qint64 elapsed = timer.elapsed();
        stop = true;
        if (call == "request")
            sdkLogout(h);
        QVERIFY2(elapsed < (call == "logout" ? 1000 : kWaitMs) + 1000, qPrintable(QString::number(elapsed)));
    }

    void threadsShareLoginsSafely()
    {
        // Each answer echoes the command it answers; a device never sees a second request before
        // it answered the first.
        std::atomic<int> overlaps{0};
        const Handler echo = [&](peer::Connection& c, const protocol::Frame& f) {
            if (c.pending())
                ++overlaps;
            const int command = peer::json(f)["Command"].asInt();
            answerRecord(c, f, 100, {std::uint8_t(command), std::uint8_t(command >> 8)});
            return true;
        };
        auto d1 = device(echo), d2 = device(echo);
        const long h1 = login(*d1), h2 = login(*d2);
        QVERIFY(h1 > 0 && h2 > 0);
        std::atomic<int> wrong{0}, done{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                const long h = t % 2 ? h2 : h1;
                for (int i = 0; i < 30; ++i) {
                    const int command = t * 100 + i;
                    unsigned char buf[2] = {};
                    unsigned long got = 0;
                    if (sdkGetConfig(h, command, -1, reinterpret_cast<char*>(buf), 2, &got, 5000) != 1 ||
                        buf[0] + buf[1] * 256 != command)
                        ++wrong;
                    ++done;
                }
            });
        }
        for (auto& th : threads)
            th.join();
        QCOMPARE(done.load(), 180);
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(overlaps.load(), 0);
        QCOMPARE(sdkLogout(h1), 1L);
        QCOMPARE(sdkLogout(h2), 1L);
    }
};

QTEST_GUILESS_MAIN(TestNetsdkSession)
#include "tst_netsdk_session.moc"
