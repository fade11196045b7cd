// Requests on a login: configuration reads and writes, JSON calls, control, late and bad answers,
// and several threads sharing one login.

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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

class TestNetsdkSession : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("VANTREL_LOOPBACK_ONLY", "1");
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        QCOMPARE(sdkSetup(5000, 1), 1L);
    }
    void cleanup() { sdkCleanup(); }

    void configurationReadsAndWrites()
    {
        std::atomic<bool> headersRight{true};
        std::uint32_t lastSequence = 0;
        std::vector<std::uint8_t> stored;
        auto d = device([&](peer::Connection& c, const protocol::Frame& f) {
            if (f.header.sessionId != kSession || f.header.sequence <= lastSequence)
                headersRight = false;
            lastSequence = f.header.sequence;
            if (f.header.messageId == protocol::MsgGetConfig) {
                const Json::Value q = peer::json(f);
                const int command = q["Command"].asInt();
                if (q["Channel"].asInt() != -1 || q["MaxSize"].asInt() <= 0)
                    headersRight = false;
                if (command == 20)
                    answerRecord(c, f, 100, stored.empty() ? pattern(144, 1) : stored);
                else if (command == 21)
                    answerRecord(c, f, 100, pattern(2000, 2));
                else
                    answerRecord(c, f, -11201, {});
            } else if (f.header.messageId == protocol::MsgSetConfig) {
                protocol::SetConfigBody b;
                protocol::decodeSetConfig(f.body.data(), f.body.size(), b);
                const int ret = b.command == 20 && b.record.size() == 144 ? 100
                                : b.command == 20                         ? -11202
                                : b.command == 274                        ? -11401
                                                                          : -11200;
                if (ret == 100)
                    stored = b.record;
                answerRet(c, f, protocol::MsgSetConfigAnswer, ret);
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

        // Too small for the 2000-byte record: nothing written, the size needed reported.
        std::fill(buf.begin(), buf.end(), char(0xAA));
        QCOMPARE(sdkGetConfig(h, 21, -1, buf.data(), 200, &got, 3000), long(SDK_ERR_BUFFER_SMALL));
        QCOMPARE(got, 2000UL);
        QVERIFY(std::all_of(buf.begin(), buf.end(), [](char c) { return c == char(0xAA); }));
        QCOMPARE(sdkGetConfig(h, 99, -1, buf.data(), 200, &got, 3000), long(SDK_ERR_CONFIG_UNKNOWN));
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_CONFIG_UNKNOWN));

        auto record = pattern(144, 9);
        char* raw = reinterpret_cast<char*>(record.data());
        QCOMPARE(sdkSetConfig(h, 20, -1, raw, 143, 3000), long(SDK_ERR_CONFIG_SIZE));
        QCOMPARE(sdkSetConfig(h, 274, -1, raw, 1, 3000), long(SDK_ERR_NEED_REBOOT));
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_NEED_REBOOT));
        QCOMPARE(sdkSetConfig(h, 33, -1, raw, 11, 3000), long(SDK_ERR_CONFIG_REJECTED));
        QCOMPARE(sdkSetConfig(h, 20, -1, raw, 144, 3000), 1L);
        QCOMPARE(sdkGetConfig(h, 20, -1, buf.data(), 200, &got, 3000), 1L);
        QVERIFY(std::memcmp(buf.data(), record.data(), 144) == 0);
        QCOMPARE(sdkLogout(h), 1L);
        d.reset();
        QVERIFY(headersRight);
    }

    void jsonCalls()
    {
        std::string textSeen;
        auto d = device([&](peer::Connection& c, const protocol::Frame& f) {
            const Json::Value q = peer::json(f);
            const std::string name = q["Name"].asString();
            Json::Value reply;
            reply["Name"] = name;
            reply["SessionID"] = "0x00000051";
            if (f.header.messageId == protocol::MsgSetConfigJson) {
                textSeen = q["Text"].asString();
                answerRet(c, f, protocol::MsgSetConfigJsonAnswer, name == "fVideo.Volume" ? 100 : -11201);
                return true;
            }
            const bool known = name == "fVideo.Volume" || name == "ChannelSystemFunction@SmartH264";
            reply["Ret"] = known ? 100 : -11201;
            if (known)
                reply[name][0] = f.header.messageId == protocol::MsgGetAbilityJson ? 1 : q["Channel"].asInt() + 70;
            const std::uint16_t answerId = f.header.messageId == protocol::MsgGetAbilityJson
                                               ? protocol::MsgGetAbilityJsonAnswer
                                               : protocol::MsgGetConfigJsonAnswer;
            c.send(peer::jsonFrame(answerId, kSession, f.header.sequence, reply));
            return true;
        });
        const long h = login(*d);
        QVERIFY(h > 0);

        char out[4096];
        int len = -1;
        QCOMPARE(sdkGetDevConfigJson(h, "fVideo.Volume", 1042, 2, out, sizeof out, &len, 3000), 1L);
        QCOMPARE(int(std::strlen(out)), len);
        Json::Value parsed;
        QCOMPARE(protocol::decodeJsonObject(reinterpret_cast<const std::uint8_t*>(out), std::strlen(out), parsed),
                 protocol::DecodeStatus::Ok);
        QCOMPARE(parsed["fVideo.Volume"][0].asInt(), 72);

        char small[16];
        std::memset(small, 0x33, sizeof small);
        QCOMPARE(sdkGetDevConfigJson(h, "fVideo.Volume", 1042, 2, small, sizeof small, &len, 3000),
                 long(SDK_ERR_BUFFER_SMALL));
        QVERIFY(std::all_of(small, small + sizeof small, [](char c) { return c == 0x33; }));
        // A name the device does not answer is still a reply: the caller reads its "Ret".
        QCOMPARE(sdkGetDevConfigJson(h, "No.Such", 1042, 0, out, sizeof out, &len, 3000), 1L);
        QVERIFY(QByteArray(out).contains("-11201"));

        QCOMPARE(sdkGetChannelAbilityJson(h, "ChannelSystemFunction@SmartH264", 0, out, sizeof out, &len, 3000), 1L);
        QVERIFY(QByteArray(out).contains("\"ChannelSystemFunction@SmartH264\":[1]"));
        // An ability the device lacks is still an answer: the caller reads its "Ret".
        QCOMPARE(sdkGetChannelAbilityJson(h, "ChannelSystemFunction@Other", 0, out, sizeof out, &len, 3000), 1L);
        QVERIFY(QByteArray(out).contains("-11201"));

        const char text[] = "{\"LeftVolume\":80}\0ignored";
        QCOMPARE(sdkSetDevConfigJson(h, "fVideo.Volume", 1040, 0, text, sizeof text, 3000), 1L);
        QCOMPARE(sdkSetDevConfigJson(h, "Other", 1040, 0, text, sizeof text, 3000), long(SDK_ERR_CONFIG_UNKNOWN));
        QCOMPARE(sdkLogout(h), 1L);
        d.reset();
        QCOMPARE(textSeen, std::string("{\"LeftVolume\":80}"));
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
        QTest::newRow("garbage") << QByteArray("\x00garbage-garbage-garbage", 24);
        const std::vector<std::uint8_t> wrongId = peer::jsonFrame(protocol::MsgControlAnswer, kSession, 0, {});
        const std::vector<std::uint8_t> shortBody = peer::frameBytes(protocol::MsgGetConfigAnswer, kSession, 0, {1});
        QTest::newRow("wrong message") << QByteArray(reinterpret_cast<const char*>(wrongId.data()),
                                                     int(wrongId.size()));
        QTest::newRow("short body") << QByteArray(reinterpret_cast<const char*>(shortBody.data()),
                                                  int(shortBody.size()));
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
        auto d = device([](peer::Connection& c, const protocol::Frame& f) {
            const bool reboot = f.header.messageId == protocol::MsgControl && peer::json(f)["Action"].asInt() == 0;
            answerRet(c, f, protocol::MsgControlAnswer, reboot ? 100 : -11200);
            return !reboot; // a rebooting device drops the connection
        });
        const long h = login(*d);
        QVERIFY(h > 0);
        QCOMPARE(sdkControlDevice(h, 3, 3000), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_SUPPORTED));
        QCOMPARE(sdkControlDevice(h, 0, 3000), 1);
        char buf[16];
        unsigned long got = 0;
        QCOMPARE(sdkGetConfig(h, 20, -1, buf, sizeof buf, &got, 3000), long(SDK_ERR_SOCKET));
        QCOMPARE(sdkControlDevice(h, 0, 3000), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_SOCKET));
        QCOMPARE(sdkLogout(h), 1L);

        auto refusing = device([](peer::Connection& c, const protocol::Frame& f) {
            answerRet(c, f, protocol::MsgControlAnswer, -11200);
            return true;
        });
        const long h2 = login(*refusing);
        QCOMPARE(sdkControlDevice(h2, 0, 3000), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_CONFIG_REJECTED));
        QCOMPARE(sdkLogout(h2), 1L);
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
