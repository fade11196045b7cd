// The fleet in this process, over real loopback sockets: listeners, moves, reboots, kills, the
// control port and state files.

#include <QtTest>

#include <QNetworkDatagram>
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

/// Addresses of their own for every test function, so nothing collides between them.
std::uint32_t rangeFor(int test)
{
    return 0x7F5A0000u | (std::uint32_t(QCoreApplication::applicationPid() & 0x3F) << 10) | (std::uint32_t(test) << 5) |
           2u;
}

FleetOptions fleetOptions(int test, int count)
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.count = count;
    o.firstAddress = rangeFor(test);
    o.servicePort = freePort();
    o.upgradePort = freePort();
    o.discoveryPort = 0;
    o.controlPort = 0;
    o.rebootMs = 50;
    return o;
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

    /// Next whole frame, or status Bad/Incomplete when none came (closed or time-out). Waits with
    /// the event loop running: the fleet lives in this thread.
    protocol::ParseResult next()
    {
        for (;;) {
            buffer += socket.readAll();
            const protocol::ParseResult p = protocol::parseFrame(
                reinterpret_cast<const std::uint8_t*>(buffer.constData()), std::size_t(buffer.size()));
            if (p.status != protocol::ParseStatus::Incomplete) {
                if (p.status == protocol::ParseStatus::Ok)
                    buffer.remove(0, qsizetype(p.used));
                return p;
            }
            if (socket.state() != QAbstractSocket::ConnectedState ||
                !QTest::qWaitFor(
                    [this] { return socket.bytesAvailable() > 0 || socket.state() != QAbstractSocket::ConnectedState; },
                    5000))
                return p;
        }
    }

    Json::Value call(std::uint16_t id, const Json::Value& body, std::uint32_t session = 0)
    {
        send(jsonFrame(id, session, ++sequence, body));
        const protocol::ParseResult p = next();
        Json::Value v;
        if (p.status != protocol::ParseStatus::Ok || p.frame.header.sequence != sequence ||
            protocol::decodeJsonObject(p.frame.body.data(), p.frame.body.size(), v) != protocol::DecodeStatus::Ok)
            return Json::Value();
        return v;
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
        std::string error;
        QVERIFY2(fleet.start(error), error.c_str());
        QVERIFY(fleet.isListening(0));
        QVERIFY(!fleet.isListening(1)); // same address as camera 0
        QVERIFY(fleet.isListening(2));
        QCOMPARE(dotted(fleet.camera(2).network().address), dotted(o.firstAddress + 1));
        const std::string ready = fleet.readyLine();
        QVERIFY(ready.find("ready control=127.0.0.1:" + std::to_string(fleet.controlPort())) == 0);
        QVERIFY(ready.find(" cameras=3 addresses=" + dotted(o.firstAddress) + "," + dotted(o.firstAddress) + "," +
                           dotted(o.firstAddress + 1)) != std::string::npos);

        // Camera 0 is logged in to, then moved by a write of its network record.
        Wire wire;
        QVERIFY(wire.connectTo(o.firstAddress, o.servicePort));
        const std::uint32_t session = wire.login();
        QVERIFY(session != 0);
        Bytes record = fleet.camera(0).networkRecord();
        record[0x43] = std::uint8_t((o.firstAddress + 9) & 0xFF);
        wire.send(protocol::encodeFrame({protocol::kVersion, session, ++wire.sequence, protocol::MsgSetConfig, 0},
                                        protocol::encodeSetConfig({20, -1, record})));
        QCOMPARE(wire.next().status, protocol::ParseStatus::Ok);
        QCOMPARE(fleet.camera(0).network().address, o.firstAddress + 9);
        QVERIFY(fleet.isListening(0));
        QVERIFY(fleet.isListening(1)); // took the address camera 0 left
        // The session that moved the camera goes on.
        Json::Value empty(Json::objectValue);
        QCOMPARE(wire.call(protocol::MsgKeepAlive, empty, session)["Ret"].asInt(), protocol::kRetOk);

        Wire second;
        QVERIFY(second.connectTo(o.firstAddress, o.servicePort));
        QVERIFY(second.login() != 0);
        QCOMPARE(fleet.camera(1).logins, 1);
        Wire moved;
        QVERIFY(moved.connectTo(o.firstAddress + 9, o.servicePort));
        QVERIFY(moved.login() != 0);
        QCOMPARE(fleet.camera(0).logins, 2);
        QCOMPARE(fleet.camera(0).sessions, 2);
        QCOMPARE(wire.call(protocol::MsgLogout, empty, session)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(wire.closedByPeer());
        QTRY_COMPARE(fleet.camera(0).sessions, 1);
    }

    void rebootDropsEverythingForItsTime()
    {
        FleetOptions o = fleetOptions(2, 2);
        o.rebootMs = 300;
        Fleet fleet(o);
        std::string error;
        QVERIFY2(fleet.start(error), error.c_str());
        QSignalSpy rebooted(&fleet, &Fleet::rebooted);

        Wire upgrade;
        QVERIFY(upgrade.connectTo(o.firstAddress, o.upgradePort));
        Wire wire;
        QVERIFY(wire.connectTo(o.firstAddress, o.servicePort));
        const std::uint32_t session = wire.login();
        QVERIFY(session != 0);
        Json::Value action(Json::objectValue);
        action["Action"] = 0;
        QCOMPARE(wire.call(protocol::MsgControl, action, session)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(wire.closedByPeer());
        QVERIFY(upgrade.closedByPeer());
        QVERIFY(fleet.camera(0).rebooting);
        QVERIFY(!fleet.isListening(0));
        QCOMPARE(fleet.camera(0).sessions, 0);

        // Nothing answers while it reboots: not the port, not discovery.
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        Json::Value search(Json::objectValue);
        search["Token"] = "t";
        const Bytes request = jsonFrame(protocol::MsgSearchRequest, 0, 1, search);
        udp.writeDatagram(reinterpret_cast<const char*>(request.data()), qint64(request.size()),
                          QHostAddress::LocalHost, fleet.discoveryPort());
        // Answers leave in camera order, so camera 0's would come before camera 1's.
        QVERIFY(QTest::qWaitFor([&] { return udp.hasPendingDatagrams(); }, 5000));
        const QByteArray first = udp.receiveDatagram().data();
        protocol::SearchInfo info;
        const protocol::ParseResult p =
            protocol::parseFrame(reinterpret_cast<const std::uint8_t*>(first.constData()), std::size_t(first.size()));
        QCOMPARE(p.status, protocol::ParseStatus::Ok);
        QCOMPARE(protocol::decodeSearchAnswer(p.frame.body.data(), p.frame.body.size(), info),
                 protocol::DecodeStatus::Ok);
        QCOMPARE(info.mac, macFor(0, 1));
        QCOMPARE(rebooted.count(), 0);
        QTRY_VERIFY(rebooted.count() == 1);
        QCOMPARE(rebooted.at(0).at(0).toInt(), 0);
        QVERIFY(!fleet.camera(0).rebooting);
        QVERIFY(fleet.isListening(0));
        QCOMPARE(fleet.camera(0).reboots, 1);
        Wire after;
        QVERIFY(after.connectTo(o.firstAddress, o.servicePort));
        QVERIFY(after.login() != 0);
    }

    void discoveryAnswersOnlyLiveCamerasAndOnlyLoopback()
    {
        FleetOptions o = fleetOptions(3, 3);
        o.foreign = 1;
        Fleet fleet(o);
        std::string error;
        QVERIFY2(fleet.start(error), error.c_str());
        QVERIFY(!fleet.isListening(3)); // foreign: never bound
        QCOMPARE(command(fleet, "kill", 1)["Ret"].asInt(), protocol::kRetOk);

        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        Json::Value search(Json::objectValue);
        search["Token"] = "t";
        const Bytes request = jsonFrame(protocol::MsgSearchRequest, 0, 1, search);
        udp.writeDatagram(reinterpret_cast<const char*>(request.data()), qint64(request.size()),
                          QHostAddress::LocalHost, fleet.discoveryPort());
        std::set<std::string> macs;
        while (macs.size() < 3 && QTest::qWaitFor([&] { return udp.hasPendingDatagrams(); }, 5000)) {
            const QNetworkDatagram d = udp.receiveDatagram();
            const QByteArray bytes = d.data();
            protocol::SearchInfo info;
            const protocol::ParseResult p = protocol::parseFrame(
                reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
            QCOMPARE(p.status, protocol::ParseStatus::Ok);
            QCOMPARE(protocol::decodeSearchAnswer(p.frame.body.data(), p.frame.body.size(), info),
                     protocol::DecodeStatus::Ok);
            macs.insert(info.mac);
        }
        QCOMPARE(macs, (std::set<std::string>{macFor(0, 0), macFor(0, 2), macFor(0, 3)}));

        // Garbage is counted; the list shows it.
        udp.writeDatagram("garbage", QHostAddress::LocalHost, fleet.discoveryPort());
        QTRY_COMPARE(fleet.badDatagrams(), 1);
        const Json::Value list = command(fleet, "list");
        QCOMPARE(list["BadDatagrams"].asInt(), 1);
        QCOMPARE(list["Cameras"].size(), 4u);
        QCOMPARE(list["Cameras"][1]["Dead"].asBool(), true);
        QCOMPARE(list["Cameras"][1]["Listening"].asBool(), false);
        QCOMPARE(list["Cameras"][3]["HostIP"].asString(), std::string("192.168.1.10"));

        QCOMPARE(command(fleet, "revive", 1)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(fleet.isListening(1));
    }

    void killResetsConnectionsAndFaultsShapeTheListeners()
    {
        FleetOptions o = fleetOptions(4, 2);
        Fleet fleet(o);
        std::string error;
        QVERIFY2(fleet.start(error), error.c_str());

        Wire wire;
        QVERIFY(wire.connectTo(o.firstAddress, o.servicePort));
        QVERIFY(wire.login() != 0);
        QCOMPARE(command(fleet, "kill", 0)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(wire.closedByPeer());
        QCOMPARE(fleet.camera(0).sessions, 0);
        Wire refused;
        QVERIFY(!refused.connectTo(o.firstAddress, o.servicePort));
        QCOMPARE(command(fleet, "revive", 0)["Ret"].asInt(), protocol::kRetOk);

        Json::Value fault(Json::objectValue);
        fault["Cmd"] = "fault";
        fault["Index"] = -1;
        fault["Refuse"] = true;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(!fleet.isListening(0) && !fleet.isListening(1));
        fault["Refuse"] = false;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(fleet.isListening(0) && fleet.isListening(1));
        fault.removeMember("Refuse");
        fault["Drop"] = true;
        fault["Index"] = 1;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        QVERIFY(fleet.camera(1).faults.drop && !fleet.camera(0).faults.drop);
        Wire dropped;
        QVERIFY(dropped.connectTo(o.firstAddress + 1, o.servicePort));
        QVERIFY(dropped.closedByPeer());

        // Latency holds every answer back by at least that long.
        fault = Json::Value(Json::objectValue);
        fault["Cmd"] = "fault";
        fault["Index"] = 0;
        fault["LatencyMs"] = 120;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), protocol::kRetOk);
        Wire slow;
        QVERIFY(slow.connectTo(o.firstAddress, o.servicePort));
        QElapsedTimer t;
        t.start();
        QVERIFY(slow.login() != 0);
        QVERIFY(t.elapsed() >= 240); // two answers

        fault["LatencyMs"] = "x";
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), -10002);
        fault["LatencyMs"] = 0;
        fault["Index"] = 7;
        QCOMPARE(fleet.control(fault)["Ret"].asInt(), -10002);
        QCOMPARE(command(fleet, "nonsense")["Ret"].asInt(), -10004);
    }

    void controlPortAnswersFramesAndRefusesGarbage()
    {
        FleetOptions o = fleetOptions(5, 1);
        Fleet fleet(o);
        std::string error;
        QVERIFY2(fleet.start(error), error.c_str());
        Wire control;
        QVERIFY(control.connectTo(0x7F000001, fleet.controlPort()));
        Json::Value request(Json::objectValue);
        request["Cmd"] = "record";
        request["Index"] = 0;
        request["Command"] = 20;
        request["Channel"] = -1;
        control.send(jsonFrame(protocol::MsgEmuControl, 0, 5, request));
        const protocol::ParseResult p = control.next();
        QCOMPARE(p.status, protocol::ParseStatus::Ok);
        QCOMPARE(p.frame.header.messageId, protocol::MsgEmuControlAnswer);
        QCOMPARE(p.frame.header.sequence, 5u);
        Json::Value answer;
        QCOMPARE(protocol::decodeJsonObject(p.frame.body.data(), p.frame.body.size(), answer),
                 protocol::DecodeStatus::Ok);
        QCOMPARE(answer["Ret"].asInt(), protocol::kRetOk);
        const QByteArray data = QByteArray::fromBase64(QByteArray::fromStdString(answer["Data"].asString()));
        const Bytes expected = fleet.camera(0).networkRecord();
        QCOMPARE(data, QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));

        request["Command"] = 999999;
        QVERIFY(control.call(protocol::MsgEmuControl, request)["Ret"].asInt() < 0);
        request["Cmd"] = "json";
        request["Name"] = "fVideo.Volume";
        request["Command"] = 1042;
        const Json::Value json = control.call(protocol::MsgEmuControl, request);
        QCOMPARE(json["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(json["Reply"]["Name"].asString(), std::string("fVideo.Volume"));

        control.send(Bytes(24, 0xAB));
        QVERIFY(control.closedByPeer());
        QCOMPARE(fleet.badFrames(), 1);
    }

    void stateDirectoryKeepsChangesAcrossRestarts()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        FleetOptions o = fleetOptions(6, 2);
        o.stateDir = dir.path().toStdString();
        const std::uint32_t movedTo = o.firstAddress + 20;
        {
            Fleet fleet(o);
            std::string error;
            QVERIFY2(fleet.start(error), error.c_str());
            Bytes record = fleet.camera(1).networkRecord();
            record[0x43] = std::uint8_t(movedTo & 0xFF);
            QCOMPARE(fleet.camera(1).writeRecord(20, -1, record), protocol::kRetOk);
            QCOMPARE(fleet.camera(0).writeRecord(274, -1, Bytes{1}), protocol::kRetOk);
            QVERIFY(QFile::exists(dir.filePath("025654000001.json")));
            QVERIFY(fleet.isListening(1));
        }
        Fleet again(o);
        std::string error;
        QVERIFY2(again.start(error), error.c_str());
        QCOMPARE(again.camera(1).network().address, movedTo);
        QVERIFY(again.isListening(1));
        Bytes adaptive;
        QCOMPARE(again.camera(0).readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, Bytes{1});
        QVERIFY(again.readyLine().find(dotted(movedTo)) != std::string::npos);

        again.stop();

        // A damaged file is reported and that camera starts from its defaults; the others keep theirs.
        QFile damaged(dir.filePath("025654000000.json"));
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{ not json");
        damaged.close();
        Fleet third(o);
        QVERIFY2(third.start(error), error.c_str());
        QCOMPARE(third.camera(0).readRecord(274, -1, adaptive), protocol::kRetOk);
        QCOMPARE(adaptive, Bytes{0});
        QCOMPARE(third.camera(1).network().address, movedTo);
    }
};

QTEST_GUILESS_MAIN(TestCamsimFleet)
#include "tst_camsim_fleet.moc"
