// Search: one broadcast on loopback, answered by a test camera with good and bad datagrams.

#include <cstring>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

protocol::SearchInfo sampleInfo(const std::string& token, const std::string& mac)
{
    protocol::SearchInfo info;
    info.token = token;
    info.hostName = "lobby-cam";
    protocol::parseDotted("127.0.0.42", info.hostIp);
    protocol::parseDotted("255.0.0.0", info.submask);
    protocol::parseDotted("127.0.0.1", info.gateway);
    for (int i = 0; i < 8; ++i)
        info.ports[i] = 1000 + i;
    info.ports[1] = 34567;
    info.flag = 3;
    info.mac = mac;
    info.cloudId = "abcdef0123456789";
    info.deviceKind = 7;
    info.version = "V4.02.R11";
    info.buildYear = 2021;
    info.buildMonth = 6;
    info.buildDay = 30;
    return info;
}

std::vector<std::uint8_t> answer(const protocol::SearchInfo& info)
{
    return peer::frameBytes(protocol::MsgSearchAnswer, 0, 1, protocol::encodeSearchAnswer(info));
}

int readInt(const char* p)
{
    int v;
    std::memcpy(&v, p, 4);
    return v;
}

} // namespace

class TestNetsdkSearch : public peer::Fixture
{
    Q_OBJECT

private slots:
    void keepsExactlyTheValidAnswers()
    {
        peer::Camera camera;
        // The same address twice and one outside loopback: one request goes out, on loopback.
        QCOMPARE(sdkSetNetOptions("127.255.255.255,192.0.2.255,127.255.255.255", camera.port(), 1), 1L);
        int requests = 0;
        bool requestWellFormed = false;
        camera.start([&](peer::Camera& c) {
            protocol::Frame request;
            if (!c.read(request))
                return;
            ++requests;
            const Json::Value body = peer::json(request);
            const std::string token = body["Token"].asString();
            requestWellFormed = request.header.messageId == protocol::MsgSearchRequest &&
                                request.header.sessionId == 0 && token.size() >= 16;
            const auto good = answer(sampleInfo(token, "02:56:54:00:00:2a"));
            c.reply(answer(sampleInfo("not-" + token, "02:56:54:00:00:01")));
            c.reply({'G', 'E', 'T', ' ', '/', '\n'});
            c.reply(std::vector<std::uint8_t>(good.begin(), good.end() - 5));
            Json::Value longMac;
            protocol::decodeJsonObject(good.data() + protocol::kHeaderSize, good.size() - protocol::kHeaderSize,
                                       longMac);
            longMac["MAC"] = std::string(32, 'a');
            c.reply(peer::jsonFrame(protocol::MsgSearchAnswer, 0, 1, longMac));
            c.reply(good);
            c.reply(good); // the same datagram again: one camera, one record
        });

        std::vector<char> buf(560 * 4, char(0xAA));
        int len = -1;
        const unsigned long badBefore = sdkGetBadFrameCount();
        QCOMPARE(sdkSearchDevice(buf.data(), int(buf.size()), &len, 1500), 1);
        camera.join();
        QCOMPARE(requests, 1);
        QVERIFY(!camera.pending()); // a second request would be waiting here
        QVERIFY(requestWellFormed);
        QCOMPARE(len, 560);
        QCOMPARE(sdkGetBadFrameCount() - badBefore, 3UL); // garbage, truncated, over-long MAC

        const char* r = buf.data();
        QCOMPARE(QByteArray(r), QByteArray("lobby-cam"));
        QCOMPARE(QByteArray(r + 0x40, 12), QByteArray("\x7f\x00\x00\x2a\xff\x00\x00\x00\x7f\x00\x00\x01", 12));
        QVERIFY(std::all_of(r + 0x4C, r + 0xEC, [](char c) { return c == 0; }));
        QCOMPARE(readInt(r + 0xEC), 1000);
        QCOMPARE(readInt(r + 0xF0), 34567);
        QCOMPARE(int(static_cast<unsigned char>(r[0x10C])), 3);
        QCOMPARE(QByteArray(r + 0x10D), QByteArray("02:56:54:00:00:2a"));
        QCOMPARE(QByteArray(r + 0x12D), QByteArray("abcdef0123456789"));
        QCOMPARE(readInt(r + 0x154), 7);
        QCOMPARE(QByteArray(r + 0x158), QByteArray("V4.02.R11"));
        QCOMPARE(readInt(r + 0x1D8), 2021);
        QCOMPARE(readInt(r + 0x1DC), 6);
        QCOMPARE(readInt(r + 0x1E0), 30);
        QVERIFY(std::all_of(r + 0x10D + 17, r + 0x12D, [](char c) { return c == 0; }));
        QVERIFY(std::all_of(r + 0x1E4, r + 560, [](char c) { return c == 0; }));
        QVERIFY(std::all_of(buf.begin() + 560, buf.end(), [](char c) { return c == char(0xAA); }));
    }

    void stopsWhenTheBufferIsFull()
    {
        peer::Camera camera;
        // An empty list with loopback-only means the loopback broadcast address.
        QCOMPARE(sdkSetNetOptions("", camera.port(), 1), 1L);
        camera.start([](peer::Camera& c) {
            protocol::Frame request;
            if (!c.read(request))
                return;
            const std::string token = peer::json(request)["Token"].asString();
            for (int i = 1; i <= 3; ++i)
                c.reply(answer(sampleInfo(token, "02:56:54:00:00:0" + std::to_string(i))));
        });
        std::vector<char> buf(560 * 2 + 559, char(0xAA));
        int len = -1;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(sdkSearchDevice(buf.data(), int(buf.size()), &len, 30000), 1);
        camera.join();
        QVERIFY2(timer.elapsed() < 20000, "the search waited although the buffer was full");
        QCOMPARE(len, 2 * 560);
        QCOMPARE(QByteArray(buf.data() + 0x10D), QByteArray("02:56:54:00:00:01"));
        QCOMPARE(QByteArray(buf.data() + 560 + 0x10D), QByteArray("02:56:54:00:00:02"));
        QVERIFY(std::all_of(buf.begin() + 1120, buf.end(), [](char c) { return c == char(0xAA); }));
    }

    void nothingAnsweringFindsNothing()
    {
        peer::Camera silent;
        QCOMPARE(sdkSetNetOptions("127.255.255.255", silent.port(), 1), 1L);
        std::vector<char> buf(560, 0);
        int len = -1;
        QCOMPARE(sdkSearchDevice(buf.data(), int(buf.size()), &len, 200), 1);
        QCOMPARE(len, 0);
        QVERIFY(silent.pending()); // the request did go out
    }
};

QTEST_GUILESS_MAIN(TestNetsdkSearch)
#include "tst_netsdk_search.moc"
