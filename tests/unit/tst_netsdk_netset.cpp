// Address change without login, against a test camera that checks the proof.

#include <cstring>
#include <string>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

const std::string kDeviceMac = "02:56:54:0A:0B:0C"; // the block names it in lower case

enum Behaviour
{
    Answer,    ///< answers the request with the row's code when the proof holds
    Locked,    ///< refuses at the challenge
    Silent,    ///< never answers
    NoiseFirst ///< a challenge for another camera and a broken datagram come first
};

struct Seen
{
    bool helloRight = false;
    bool requestRight = false;
    bool proofHolds = false;
};

void camera(peer::Camera& c, int behaviour, int code, Seen& seen)
{
    protocol::Frame hello;
    if (!c.read(hello) || hello.header.messageId != protocol::MsgNetSetHello)
        return;
    const Json::Value h = peer::json(hello);
    seen.helloRight = h["UserName"].asString() == "admin" && h["MAC"].asString() == "02:56:54:0a:0b:0c";
    if (behaviour == Silent)
        return;
    Json::Value challenge;
    challenge["Token"] = h["Token"];
    challenge["MAC"] = behaviour == NoiseFirst ? "02:56:54:99:99:99" : kDeviceMac;
    challenge["Ret"] = behaviour == Locked ? -11303 : 100;
    challenge["Nonce"] = protocol::randomNonce();
    if (behaviour == NoiseFirst) {
        c.reply(peer::jsonFrame(protocol::MsgNetSetChallenge, 0, 1, challenge));
        c.reply({0xFF, 0x01, 0x00});
        challenge["MAC"] = kDeviceMac;
        challenge["Nonce"] = protocol::randomNonce();
    }
    c.reply(peer::jsonFrame(protocol::MsgNetSetChallenge, 0, 1, challenge));
    if (behaviour == Locked)
        return;
    protocol::Frame request;
    if (!c.read(request) || request.header.messageId != protocol::MsgNetSetRequest)
        return;
    const Json::Value q = peer::json(request);
    seen.requestRight = q["Token"] == h["Token"] && q["Nonce"] == challenge["Nonce"] && q["Mode"].asInt() == 254 &&
                        q["HostIP"].asString() == "127.0.0.77" && q["Submask"].asString() == "255.255.255.0" &&
                        q["GateWay"].asString() == "127.0.0.1" && q["HostMAC"].asString() == "02:00:00:00:00:01";
    const std::string proof =
        protocol::netSetProof(protocol::deriveKey("admin", "pa55"), challenge["Nonce"].asString(), kDeviceMac, 254,
                              "127.0.0.77", "255.255.255.0", "127.0.0.1", "02:00:00:00:00:01");
    seen.proofHolds = q["Proof"].asString() == proof;
    Json::Value answer;
    answer["Token"] = h["Token"];
    answer["MAC"] = kDeviceMac;
    answer["Ret"] = seen.proofHolds ? code : -11301;
    c.reply(peer::jsonFrame(protocol::MsgNetSetAnswer, 0, 1, answer));
}

SDK_NET_ADDRESS_BLOCK block(const char* password)
{
    SDK_NET_ADDRESS_BLOCK b;
    std::memset(&b, 0, sizeof b);
    std::strcpy(b.hostName, "cam");
    protocol::parseDotted("127.0.0.77", b.hostIp);
    protocol::parseDotted("255.255.255.0", b.submask);
    protocol::parseDotted("127.0.0.1", b.gateway);
    std::strcpy(b.mac, "02:56:54:0a:0b:0c");
    std::strcpy(b.userName, "admin");
    std::strcpy(b.password, password);
    std::memcpy(b.hostMac, "02:00:00:00:00:01", 17); // written without a terminator
    b.requestFlag = 1;
    return b;
}

} // namespace

class TestNetsdkNetSet : public peer::Fixture
{
    Q_OBJECT

private slots:
    void outcomes_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<long>("expected");
        QTest::addColumn<int>("badFrames");
        QTest::newRow("applied") << int(Answer) << QByteArray("pa55") << 100 << 1L << 0;
        QTest::newRow("needs reboot") << int(Answer) << QByteArray("pa55") << -11401 << long(SDK_ERR_NEED_REBOOT) << 0;
        QTest::newRow("wrong password") << int(Answer) << QByteArray("nope") << 100 << long(SDK_ERR_PASSWORD) << 0;
        QTest::newRow("locked") << int(Locked) << QByteArray("pa55") << 100 << long(SDK_ERR_USER_LOCKED) << 0;
        QTest::newRow("other camera first") << int(NoiseFirst) << QByteArray("pa55") << 100 << 1L << 1;
        QTest::newRow("no answer") << int(Silent) << QByteArray("pa55") << 100 << long(SDK_ERR_TIMEOUT) << 0;
    }

    void outcomes()
    {
        QFETCH(int, behaviour);
        QFETCH(QByteArray, password);
        QFETCH(int, code);
        QFETCH(long, expected);
        QFETCH(int, badFrames);
        peer::Camera cam;
        QCOMPARE(sdkSetNetOptions("127.255.255.255", cam.port(), 1), 1L);
        Seen seen;
        cam.start([&](peer::Camera& c) { camera(c, behaviour, code, seen); });
        SDK_NET_ADDRESS_BLOCK b = block(password.constData());
        const unsigned long badBefore = sdkGetBadFrameCount();
        const int wait = behaviour == Silent ? 400 : 10000;
        QElapsedTimer timer;
        timer.start();
        const long result = sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&b), sizeof b, wait);
        const qint64 elapsed = timer.elapsed();
        cam.join();
        QCOMPARE(result, expected);
        if (expected != 1)
            QCOMPARE(sdkGetLastError(), expected);
        QCOMPARE(long(sdkGetBadFrameCount() - badBefore), long(badFrames));
        QVERIFY(seen.helloRight);
        if (behaviour == Answer || behaviour == NoiseFirst) {
            QVERIFY(seen.requestRight);
            QCOMPARE(seen.proofHolds, password == "pa55");
        }
        if (behaviour == Silent)
            QVERIFY2(elapsed >= 395 && elapsed < 2500, qPrintable(QString::number(elapsed)));
        QVERIFY(!peer::contains(cam.received(), password.toStdString()));
    }
};

QTEST_GUILESS_MAIN(TestNetsdkNetSet)
#include "tst_netsdk_netset.moc"
