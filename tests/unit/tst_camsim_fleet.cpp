// The fleet in this process, over real loopback sockets: listeners, moves, reboots, kills, the
// control port and state files.

#include <QtTest>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "fleet.h"
#include "options.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

using namespace camsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

/// A port that was free a moment ago on 127.0.0.1 (the cameras listen on other addresses).
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

FleetOptions fleetOptions(int test, int count)
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.count = count;
    // Addresses of their own for every test function, so nothing collides between them.
    o.firstAddress = 0x7F5A0000u | (std::uint32_t(QCoreApplication::applicationPid() & 0x3F) << 10) |
                     (std::uint32_t(test) << 5) | 2u;
    o.servicePort = freePort();
    o.upgradePort = freePort();
    o.discoveryPort = 0;
    o.controlPort = 0;
    o.rebootMs = 50;
    return o;
}

bool started(Fleet& fleet)
{
    std::string error;
    const bool ok = fleet.start(error);
    if (!ok)
        qWarning("fleet did not start: %s", error.c_str());
    return ok;
}

/// Frames over one TCP connection, waiting on the socket's signals.
class Wire
{
public:
    bool connectTo(std::uint32_t address, quint16 port)
    {
        socket.connectToHost(QHostAddress(address), port);
        return socket.waitForConnected(5000);
    }

    void send(const Bytes& frame) { socket.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size())); }

    /// Sends a frame numbered `sequence`; the JSON body of the answer with that number, null when none
    /// came (bad, closed or time-out). Waits with the event loop running: the fleet lives in this thread.
    Json::Value exchange(const Bytes& frame)
    {
        send(frame);
        for (;;) {
            buffer += socket.readAll();
            const protocol::ParseResult p = protocol::parseFrame(
                reinterpret_cast<const std::uint8_t*>(buffer.constData()), std::size_t(buffer.size()));
            Json::Value v;
            if (p.status == protocol::ParseStatus::Ok) {
                buffer.remove(0, qsizetype(p.used));
                const bool ok = p.frame.header.sequence == sequence &&
                                protocol::decodeJsonObject(p.frame.body.data(), p.frame.body.size(), v) ==
                                    protocol::DecodeStatus::Ok;
                return ok ? v : Json::Value();
            }
            if (p.status == protocol::ParseStatus::Bad || socket.state() != QAbstractSocket::ConnectedState ||
                !QTest::qWaitFor(
                    [this] { return socket.bytesAvailable() > 0 || socket.state() != QAbstractSocket::ConnectedState; },
                    5000))
                return v;
        }
    }

    Json::Value call(std::uint16_t id, const Json::Value& body, std::uint32_t session = 0)
    {
        return exchange(jsonFrame(id, session, ++sequence, body));
    }

    /// Whole login with the empty admin password; the session id, 0 on failure.
    std::uint32_t login()
    {
        Json::Value hello(Json::objectValue);
        hello["UserName"] = "admin";
        hello["ClientNonce"] = "cn";
        const Json::Value challenge = call(protocol::MsgLoginHello, hello);
        if (challenge["Ret"].asInt() != protocol::kRetOk)
            return 0;
        Json::Value proof(Json::objectValue);
        proof["UserName"] = "admin";
        proof["Proof"] = protocol::loginProof(protocol::deriveKey("admin", ""), challenge["Nonce"].asString(), "cn");
        const Json::Value result = call(protocol::MsgLoginProof, proof);
        return result["Ret"].asInt() == protocol::kRetOk ? result["SessionID"].asUInt() : 0;
    }

    bool closedByPeer()
    {
        return QTest::qWaitFor(
            [this] {
                socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            5000);
    }

    QTcpSocket socket;
    QByteArray buffer;
    std::uint32_t sequence = 0;
};

Json::Value command(Fleet& fleet, const char* cmd, int index = -2)
{
    Json::Value v(Json::objectValue);
    v["Cmd"] = cmd;
    if (index != -2)
        v["Index"] = index;
    return fleet.control(v);
}

} // namespace

class TestCamsimFleet : public QObject
{
    Q_OBJECT

private slots:
    void sharedAddressPassesToTheCameraLeftBehind()
    {
        FleetOptions o = fleetOptions(1, 3);
        o.sameAddress = 2;
        Fleet fleet(o);
        QVERIFY(started(fleet));
        QVERIFY(fleet.isListening(0));
        QVERIFY(!fleet.isListening(1)); // same address as camera 0
        QVERIFY(fleet.isListening(2));

        // Camera 0 is logged in to, then moved by a write of its network record.
        Wire wire;
        QVERIFY(wire.connectTo(o.firstAddress, o.servicePort));
        const std::uint32_t session = wire.login();
        QVERIFY(session != 0);
        Bytes record = fleet.camera(0).networkRecord();
        record[0x43] = std::uint8_t((o.firstAddress + 9) & 0xFF);
        const Bytes set =
            protocol::encodeFrame({protocol::kVersion, session, ++wire.sequence, protocol::MsgSetConfig, 0},
                                  protocol::encodeSetConfig({20, -1, record}));
        QCOMPARE(wire.exchange(set)["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(fleet.camera(0).network().address, o.firstAddress + 9);
        QVERIFY(fleet.isListening(1)); // took the address camera 0 left
        // The session that moved the camera goes on.
        QCOMPARE(wire.call(protocol::MsgKeepAlive, Json::Value(Json::objectValue), session)["Ret"].asInt(),
                 protocol::kRetOk);

        QVERIFY(fleet.isListening(0));
        // The old address now reaches camera 1.
        Wire second;
        QVERIFY(second.connectTo(o.firstAddress, o.servicePort));
        QVERIFY(second.login() != 0);
        QCOMPARE(fleet.camera(1).logins, 1);
    }

    void rebootAndKillDropEverythingForTheirTime()
    {
        FleetOptions o = fleetOptions(2, 2);
        o.rebootMs = 300;
        Fleet fleet(o);
        QVERIFY(started(fleet));
        QSignalSpy rebooted(&fleet, &Fleet::rebooted);

        Wire upgrade, wire, killed;
        QVERIFY(upgrade.connectTo(o.firstAddress, o.upgradePort));
        QVERIFY(wire.connectTo(o.firstAddress, o.servicePort));
        const std::uint32_t session = wire.login();
        QVERIFY(session != 0);
        QVERIFY(killed.connectTo(o.firstAddress + 1, o.servicePort));
        QVERIFY(killed.login() != 0);
        Json::Value action(Json::objectValue);
        action["Action"] = 0;
        QCOMPARE(wire.call(protocol::MsgControl, action, session)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(wire.closedByPeer());
        QVERIFY(upgrade.closedByPeer());
        QVERIFY(fleet.camera(0).rebooting);
        QVERIFY(!fleet.isListening(0));
        QCOMPARE(fleet.camera(0).sessions, 0);

        QCOMPARE(command(fleet, "kill", 1)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(killed.closedByPeer());
        QCOMPARE(fleet.camera(1).sessions, 0);
        Wire refused;
        QVERIFY(!refused.connectTo(o.firstAddress + 1, o.servicePort));

        QCOMPARE(rebooted.count(), 0);
        QTRY_VERIFY(rebooted.count() == 1);
        QCOMPARE(rebooted.at(0).at(0).toInt(), 0);
        QVERIFY(!fleet.camera(0).rebooting);
        QVERIFY(fleet.isListening(0));
        QCOMPARE(fleet.camera(0).reboots, 1);
        QVERIFY(!fleet.isListening(1)); // dead until revived
        QCOMPARE(command(fleet, "revive", 1)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(fleet.isListening(1));
    }

    void controlFaultsForAllAndRefusals()
    {
        FleetOptions o = fleetOptions(4, 2);
        Fleet fleet(o);
        QVERIFY(started(fleet));

        // Index -1 names every camera.
        Json::Value fault(Json::objectValue);
        fault["Cmd"] = "fault";
        fault["Index"] = -1;
        fault["Refuse"] = true;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(!fleet.isListening(0) && !fleet.isListening(1));
        fault["Refuse"] = false;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(fleet.isListening(0) && fleet.isListening(1));

        fault["LatencyMs"] = "x";
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), -10002);
        fault["LatencyMs"] = 0;
        fault["Index"] = 7;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), -10002);
        QCOMPARE(command(fleet, "nonsense")["Ret"].asInt(), -10004);

        // The control port closes on anything that is not a control frame, and counts it.
        Wire control;
        QVERIFY(control.connectTo(0x7F000001, fleet.controlPort()));
        control.send(Bytes(24, 0xAB));
        QVERIFY(control.closedByPeer());
        QCOMPARE(fleet.badFrames(), 1);
    }

    void floodsStayBounded()
    {
        FleetOptions o = fleetOptions(7, 64);
        o.loginTimeoutMs = 1000;
        Fleet fleet(o);
        QVERIFY(started(fleet));

        // 40 searches at once ask for 40 x 64 answers, which leave at 16 a millisecond: at most the
        // queue's bound (1024 for 64 cameras) waits, the oldest answers give way.
        QUdpSocket flood;
        Json::Value search(Json::objectValue);
        search["Token"] = "flood";
        const Bytes request = jsonFrame(protocol::MsgSearchRequest, 0, 1, search);
        for (int i = 0; i < 40; ++i)
            flood.writeDatagram(reinterpret_cast<const char*>(request.data()), qint64(request.size()),
                                QHostAddress::LocalHost, fleet.discoveryPort());
        QTRY_VERIFY(fleet.queuedDatagrams() > 0);
        QVERIFY2(fleet.queuedDatagrams() <= 1024, qPrintable(QString::number(fleet.queuedDatagrams())));

        // A connection that does not log in is closed after the login time; a logged-in one stays.
        Wire idle, active;
        QVERIFY(idle.connectTo(o.firstAddress, o.servicePort));
        QVERIFY(active.connectTo(o.firstAddress, o.servicePort));
        const std::uint32_t session = active.login();
        QVERIFY(session != 0);
        QVERIFY(idle.closedByPeer());
        QCOMPARE(active.call(protocol::MsgKeepAlive, Json::Value(Json::objectValue), session)["Ret"].asInt(),
                 protocol::kRetOk);
    }

    void damagedStateFileGivesThatCameraItsDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        FleetOptions o = fleetOptions(6, 2);
        o.stateDir = dir.path().toStdString();
        const std::uint32_t movedTo = o.firstAddress + 20;
        {
            Fleet fleet(o);
            QVERIFY(started(fleet));
            Bytes record = fleet.camera(1).networkRecord();
            record[0x43] = std::uint8_t(movedTo & 0xFF);
            QCOMPARE(fleet.camera(1).writeRecord(20, -1, record), protocol::kRetOk);
            QCOMPARE(fleet.camera(0).writeRecord(274, -1, Bytes{1}), protocol::kRetOk);
        }
        QFile damaged(dir.filePath("025654000000.json"));
        QVERIFY(damaged.exists());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{ not json");
        damaged.close();

        Fleet again(o);
        QVERIFY(started(again));
        Bytes adaptive;
        QCOMPARE(again.camera(0).readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, Bytes{0});
        QCOMPARE(again.camera(1).network().address, movedTo);
        QVERIFY(again.isListening(1));
    }
};

QTEST_GUILESS_MAIN(TestCamsimFleet)
#include "tst_camsim_fleet.moc"
