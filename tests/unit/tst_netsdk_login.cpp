// Login against test devices: the device information block, the password never on the wire, the
// goodbye, answers the handshake does not expect and a silent device.

#include <cstring>
#include <string>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

enum Script
{
    ChallengeWith, ///< the challenge carries the row's code
    Garbage,
    WrongMessage,
    NoSessionId,
    ClosedAfterHello,
    Silent,
};

long login(const peer::Device& device, const char* password = "pw", int* error = nullptr)
{
    int ignored = 0;
    return sdkLogin("127.0.0.1", device.port(), "admin", password, nullptr, 1, error ? error : &ignored);
}

} // namespace

class TestNetsdkLogin : public peer::Fixture
{
    Q_OBJECT

private slots:
    void loginFillsDeviceInfoAndLogoutSaysGoodbye()
    {
        Json::Value info;
        info["HardwareVersion"] = "rev.B";
        info["Model"] = std::string(100, 'M'); // longer than the 64-byte field
        info["BuildDay"] = "nine";             // wrong type: stays zero
        bool provedPassword = false, logoutHadSession = false, closed = false;
        std::vector<std::uint8_t> sent;
        std::atomic<bool> done{false};
        peer::Device device([&](peer::Connection& c) {
            provedPassword = peer::acceptLogin(c, "admin", "s3cret!", 0x51, info);
            protocol::Frame f;
            if (c.read(f) && f.header.messageId == protocol::MsgLogout) {
                logoutHadSession = f.header.sessionId == 0x51;
                Json::Value ok;
                ok["Ret"] = 100;
                c.send(peer::jsonFrame(protocol::MsgLogoutAnswer, 0x51, f.header.sequence, ok));
            }
            closed = c.waitClosed();
            sent = c.received();
            done = true;
        });

        SDK_DEVICE_INFO di;
        std::memset(&di, 0x77, sizeof di);
        int err = 1;
        const long handle = sdkLogin("localhost", device.port(), "admin", "s3cret!", &di, 1, &err);
        QVERIFY(handle > 0);
        QCOMPARE(err, 0);
        QCOMPARE(QByteArray(di.hardwareVersion), QByteArray("rev.B"));
        QCOMPARE(QByteArray(di.modelName), QByteArray(63, 'M'));
        QCOMPARE(di.buildDay, 0);
        QCOMPARE(di.buildHour, 0);
        QVERIFY(std::all_of(di.reserved1, di.reserved1 + sizeof di.reserved1, [](unsigned char c) { return !c; }));

        QCOMPARE(sdkLogout(handle), 1L);
        QCOMPARE(sdkLogout(handle), 0L);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
        QTRY_VERIFY(done.load());
        QVERIFY(closed);
        QVERIFY(provedPassword);
        QVERIFY(logoutHadSession);
        QVERIFY(!sent.empty());
        QVERIFY(!peer::contains(sent, "s3cret!"));
    }

    void unexpectedAnswers_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("badFrames");
        QTest::newRow("unexpected challenge") << int(ChallengeWith) << 12 << -11306 << 0;
        QTest::newRow("locked at hello") << int(ChallengeWith) << -11303 << -11303 << 0;
        QTest::newRow("garbage") << int(Garbage) << 0 << 0 << 1;
        QTest::newRow("wrong message") << int(WrongMessage) << 0 << 0 << 1;
        QTest::newRow("no session id") << int(NoSessionId) << 0 << 0 << 1;
        QTest::newRow("closed") << int(ClosedAfterHello) << 0 << 0 << 0;
        QTest::newRow("silent") << int(Silent) << 0 << int(SDK_ERR_TIMEOUT) << 0;
    }

    void unexpectedAnswers()
    {
        QFETCH(int, script);
        QFETCH(int, code);
        QFETCH(int, expected);
        QFETCH(int, badFrames);
        peer::Device device([script, code](peer::Connection& c) {
            protocol::Frame hello;
            if (!c.read(hello))
                return;
            const auto seq = hello.header.sequence;
            Json::Value body;
            switch (script) {
            case ChallengeWith:
                body["Ret"] = code;
                c.send(peer::jsonFrame(protocol::MsgLoginChallenge, 0, seq, body));
                break;
            case Garbage:
                c.send({'H', 'T', 'T', 'P', '/', '1', '.', '0', ' ', '4', '0', '0', '\r', '\n'});
                break;
            case WrongMessage:
                body["Ret"] = 100;
                body["SessionID"] = 3;
                c.send(peer::jsonFrame(protocol::MsgLoginResult, 0, seq, body));
                break;
            case NoSessionId: {
                body["Ret"] = 100;
                body["Nonce"] = protocol::randomNonce();
                c.send(peer::jsonFrame(protocol::MsgLoginChallenge, 0, seq, body));
                protocol::Frame proof;
                if (!c.read(proof))
                    return;
                c.send(peer::jsonFrame(protocol::MsgLoginResult, 0, proof.header.sequence, body));
                break;
            }
            case ClosedAfterHello:
                return;
            }
            c.waitClosed();
        });
        QCOMPARE(sdkSetup(400, 1), 1L);
        const unsigned long badBefore = sdkGetBadFrameCount();
        QElapsedTimer timer;
        timer.start();
        int err = 1;
        QCOMPARE(login(device, "pw", &err), 0L);
        QCOMPARE(err, expected);
        QCOMPARE(long(sdkGetBadFrameCount() - badBefore), long(badFrames));
        if (expected != 0)
            QCOMPARE(sdkGetLastError(), long(expected));
        if (script == Silent) // the whole wait time, not less
            QVERIFY2(timer.elapsed() >= 395, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestNetsdkLogin)
#include "tst_netsdk_login.moc"
