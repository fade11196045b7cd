// Login against test devices: the handshake, every outcome of the error table, time-outs, handles.

#include <cstring>
#include <string>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

enum Script
{
    Busy,
    WrongPassword,
    RefusedWith,   ///< the login result carries the row's code
    ChallengeWith, ///< the challenge carries the row's code
    Garbage,
    WrongMessage,
    NoSessionId,
    ClosedAfterHello,
};

/// One device that logs in with admin/pw and then serves until logout.
void loginThenServe(peer::Connection& c)
{
    if (peer::acceptLogin(c, "admin", "pw", 9))
        peer::serve(c, [](peer::Connection&, const protocol::Frame&) { return true; });
}

long login(const peer::Device& device, const char* password = "pw", int* error = nullptr)
{
    int ignored = 0;
    return sdkLogin("127.0.0.1", device.port(), "admin", password, nullptr, 1, error ? error : &ignored);
}

} // namespace

class TestNetsdkLogin : public QObject
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

    void loginFillsDeviceInfoAndLogoutSaysGoodbye()
    {
        Json::Value info;
        info["Version"] = "V5.00.R02.000559A6";
        info["HardwareVersion"] = "rev.B";
        info["Model"] = std::string(100, 'M'); // longer than the 64-byte field
        info["BuildYear"] = 2022;
        info["BuildMonth"] = 11;
        info["BuildDay"] = "nine"; // wrong type: stays zero
        info["Channels"] = 1;
        info["DeviceKind"] = 4;
        info["Serial"] = "0123456789abcdef";
        info["MAC"] = "02:56:54:00:00:09";
        info["HardwareId"] = "HW-7731-A";
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
        QCOMPARE(QByteArray(di.version), QByteArray("V5.00.R02.000559A6"));
        QCOMPARE(QByteArray(di.hardwareVersion), QByteArray("rev.B"));
        QCOMPARE(QByteArray(di.modelName), QByteArray(63, 'M'));
        QCOMPARE(di.buildYear, 2022);
        QCOMPARE(di.buildMonth, 11);
        QCOMPARE(di.buildDay, 0);
        QCOMPARE(di.buildHour, 0);
        QCOMPARE(di.channelCount, 1);
        QCOMPARE(di.deviceKind, 4);
        QCOMPARE(QByteArray(di.serial), QByteArray("0123456789abcdef"));
        QCOMPARE(QByteArray(di.mac), QByteArray("02:56:54:00:00:09"));
        QCOMPARE(QByteArray(di.hardwareId), QByteArray("HW-7731-A"));
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

    void loginOutcomes_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("badFrames");
        QTest::newRow("busy") << int(Busy) << 0 << 7 << 0;
        QTest::newRow("wrong password") << int(WrongPassword) << 0 << -11301 << 0;
        QTest::newRow("no such user") << int(RefusedWith) << -11302 << -11302 << 0;
        QTest::newRow("locked") << int(RefusedWith) << -11303 << -11303 << 0;
        QTest::newRow("blacklist") << int(RefusedWith) << -11304 << -11304 << 0;
        QTest::newRow("logged in") << int(RefusedWith) << -11305 << -11305 << 0;
        QTest::newRow("unexpected result") << int(RefusedWith) << -99 << -11306 << 0;
        QTest::newRow("unexpected challenge") << int(ChallengeWith) << 12 << -11306 << 0;
        QTest::newRow("locked at hello") << int(ChallengeWith) << -11303 << -11303 << 0;
        QTest::newRow("garbage") << int(Garbage) << 0 << 0 << 1;
        QTest::newRow("wrong message") << int(WrongMessage) << 0 << 0 << 1;
        QTest::newRow("no session id") << int(NoSessionId) << 0 << 0 << 1;
        QTest::newRow("closed") << int(ClosedAfterHello) << 0 << 0 << 0;
    }

    void loginOutcomes()
    {
        QFETCH(int, script);
        QFETCH(int, code);
        QFETCH(int, expected);
        QFETCH(int, badFrames);
        peer::Device device([script, code](peer::Connection& c) {
            if (script == WrongPassword) {
                peer::acceptLogin(c, "admin", "other", 1);
                c.waitClosed();
                return;
            }
            protocol::Frame hello;
            if (!c.read(hello))
                return;
            const auto seq = hello.header.sequence;
            Json::Value body;
            switch (script) {
            case Busy:
                body["Ret"] = 7;
                c.send(peer::jsonFrame(protocol::MsgLoginChallenge, 0, seq, body));
                break;
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
            case ClosedAfterHello:
                return;
            default: {
                body["Ret"] = 100;
                body["Nonce"] = protocol::randomNonce();
                c.send(peer::jsonFrame(protocol::MsgLoginChallenge, 0, seq, body));
                protocol::Frame proof;
                if (!c.read(proof))
                    return;
                Json::Value result;
                result["Ret"] = script == NoSessionId ? 100 : code;
                c.send(peer::jsonFrame(protocol::MsgLoginResult, 0, proof.header.sequence, result));
            }
            }
            c.waitClosed();
        });
        const unsigned long badBefore = sdkGetBadFrameCount();
        int err = 1;
        QCOMPARE(login(device, "pw", &err), 0L);
        QCOMPARE(err, expected);
        QCOMPARE(long(sdkGetBadFrameCount() - badBefore), long(badFrames));
        if (expected != 0)
            QCOMPARE(sdkGetLastError(), long(expected));
    }

    void silentDeviceTimesOutWithinTheWaitTime()
    {
        peer::Device device([](peer::Connection& c) { c.waitClosed(); });
        QCOMPARE(sdkSetup(400, 1), 1L);
        QElapsedTimer timer;
        timer.start();
        int err = 1;
        QCOMPARE(login(device, "pw", &err), 0L);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(err, int(SDK_ERR_TIMEOUT));
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_TIMEOUT));
        QVERIFY2(elapsed >= 395 && elapsed < 2500, qPrintable(QString::number(elapsed)));
        QVERIFY(device.accepted());
    }

    void nothingListeningIsNoDevice()
    {
        // A bound socket that does not listen: connections to its port are refused.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        QCOMPARE(sdkSetup(3000, 2), 1L);
        int err = 1;
        QCOMPARE(sdkLogin("127.0.0.1", ntohs(a.sin_port), "admin", "", nullptr, 1, &err), 0L);
        ::close(fd);
        QCOMPARE(err, int(SDK_ERR_NO_DEVICE));
        QCOMPARE(sdkLogin("127.0.0.1", 0, "admin", "", nullptr, 1, &err), 0L);
        QCOMPARE(err, int(SDK_ERR_NO_DEVICE));
    }

    void handlesGrowAndAreNeverReused()
    {
        peer::Device a(loginThenServe), b(loginThenServe), c(loginThenServe), d(loginThenServe);
        const long h1 = login(a);
        const long h2 = login(b);
        QVERIFY(h1 > 0);
        QVERIFY(h2 > h1);
        QCOMPARE(sdkLogout(h1), 1L);
        const long h3 = login(c);
        QVERIFY(h3 > h2);
        QCOMPARE(sdkCleanup(), 1L); // closes h2 and h3
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        const long h4 = login(d);
        QVERIFY(h4 > h3);
        QCOMPARE(sdkLogout(h2), 0L);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
        QCOMPARE(sdkLogout(h4), 1L);
    }
};

QTEST_GUILESS_MAIN(TestNetsdkLogin)
#include "tst_netsdk_login.moc"
