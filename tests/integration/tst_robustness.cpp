// Hostile and broken traffic: the emulator drops and counts bad frames and datagrams and goes on
// serving; the library survives a camera that answers garbage, without crashing or hanging.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include "emulatorprocess.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "sdktesthelpers.h"

namespace {

QByteArray frameBytes(quint16 messageId, quint32 session, quint32 sequence, const QByteArray& body)
{
    protocol::FrameHeader header;
    header.sessionId = session;
    header.sequence = sequence;
    header.messageId = messageId;
    const std::vector<std::uint8_t> bytes = protocol::encodeFrame(
        header, reinterpret_cast<const std::uint8_t*>(body.constData()), std::size_t(body.size()));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

QByteArray jsonBody(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

/// A client that speaks the wire protocol by hand.
class RawClient
{
public:
    bool connectTo(const QString& address, quint16 port = 34567)
    {
        socket_.connectToHost(address, port);
        return socket_.waitForConnected(3000);
    }
    void send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.waitForBytesWritten(3000);
    }
    /// Next whole frame; false when the peer closed, sent a bad frame or nothing came in time.
    bool read(protocol::Frame* frame, int timeoutMs = 3000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const protocol::ParseResult parsed = protocol::parseFrame(
                reinterpret_cast<const std::uint8_t*>(pending_.constData()), std::size_t(pending_.size()));
            if (parsed.status == protocol::ParseStatus::Ok) {
                pending_.remove(0, int(parsed.used));
                *frame = parsed.frame;
                return true;
            }
            if (parsed.status == protocol::ParseStatus::Bad || deadline.hasExpired() ||
                socket_.state() != QAbstractSocket::ConnectedState)
                return false;
            if (socket_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                pending_.append(socket_.readAll());
        }
    }
    /// Whether the peer closes the connection within the time, reading and dropping what it sends.
    bool closedByPeer(int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (socket_.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            if (socket_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                socket_.readAll();
        }
        return socket_.state() != QAbstractSocket::ConnectedState;
    }
    /// Challenge-response login as "admin" with an empty password; the session id, 0 on failure.
    quint32 login()
    {
        const QString clientNonce = QString::fromStdString(protocol::randomNonce());
        send(frameBytes(protocol::MsgLoginHello, 0, 1,
                        jsonBody({{QStringLiteral("UserName"), QStringLiteral("admin")},
                                  {QStringLiteral("ClientNonce"), clientNonce}})));
        protocol::Frame frame;
        if (!read(&frame) || frame.header.messageId != protocol::MsgLoginChallenge)
            return 0;
        const QJsonObject challenge = object(frame);
        const std::string proof = protocol::loginProof(
            protocol::deriveKey("admin", ""), challenge.value(QStringLiteral("Nonce")).toString().toStdString(),
            clientNonce.toStdString());
        send(frameBytes(protocol::MsgLoginProof, 0, 2,
                        jsonBody({{QStringLiteral("UserName"), QStringLiteral("admin")},
                                  {QStringLiteral("Proof"), QString::fromStdString(proof)}})));
        if (!read(&frame) || frame.header.messageId != protocol::MsgLoginResult)
            return 0;
        const QJsonObject result = object(frame);
        if (result.value(QStringLiteral("Ret")).toInt() != 100)
            return 0;
        return quint32(result.value(QStringLiteral("SessionID")).toDouble());
    }
    static QJsonObject object(const protocol::Frame& frame)
    {
        return QJsonDocument::fromJson(
                   QByteArray(reinterpret_cast<const char*>(frame.body.data()), int(frame.body.size())))
            .object();
    }

private:
    QTcpSocket socket_;
    QByteArray pending_;
};

/// The fleet's counter of bad frames or bad datagrams.
int badCount(EmulatorProcess& emulator, const char* name)
{
    return emulator.list().value(QLatin1String(name)).toInt(-1);
}

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void badTcpFramesAreDroppedAndCounted();
    void badDatagramsAreDroppedAndCounted();
    void malformedAnswersFailCleanly();
};

void TestRobustness::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestRobustness::cleanupTestCase()
{
    sdkCleanup();
}

void TestRobustness::badTcpFramesAreDroppedAndCounted()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString address = emulator.address(0);
    int expected = badCount(emulator, "BadFrames");
    QCOMPARE(expected, 0);

    // Each of these closes its connection and is counted once: text that is no frame, a hello whose
    // JSON body is cut short, a header announcing a 4 GB body, an unknown message id, a wrong version.
    QByteArray huge = frameBytes(protocol::MsgLoginHello, 0, 1, QByteArray());
    huge[16] = huge[17] = huge[18] = huge[19] = char(0xFF);
    QByteArray unknownId = frameBytes(protocol::MsgLoginHello, 0, 1, QByteArray("{}"));
    unknownId[14] = char(0x39);
    unknownId[15] = char(0x30);
    // A hello that would be answered but for its version.
    QByteArray wrongVersion =
        frameBytes(protocol::MsgLoginHello, 0, 1,
                   jsonBody({{QStringLiteral("UserName"), QStringLiteral("admin")},
                             {QStringLiteral("ClientNonce"), QString::fromStdString(protocol::randomNonce())}}));
    wrongVersion[1] = char(9);
    const QList<QByteArray> badFramesSent = {
        QByteArray("GET / HTTP/1.0\r\n\r\n this is not a frame at all......"),
        frameBytes(protocol::MsgLoginHello, 0, 1, QByteArray("{\"UserName\":\"adm")),
        huge,
        unknownId,
        wrongVersion,
    };
    for (const QByteArray& bytes : badFramesSent) {
        RawClient client;
        QVERIFY(client.connectTo(address));
        client.send(bytes);
        QVERIFY(client.closedByPeer());
        ++expected;
        QTRY_COMPARE_WITH_TIMEOUT(badCount(emulator, "BadFrames"), expected, 5000);
    }
    {
        // After a real login, a frame with another session id is not served and is counted.
        RawClient session;
        QVERIFY(session.connectTo(address));
        const quint32 id = session.login();
        QVERIFY(id != 0);
        session.send(frameBytes(protocol::MsgKeepAlive, id + 1, 3, QByteArray("{}")));
        ++expected;
        QTRY_COMPARE_WITH_TIMEOUT(badCount(emulator, "BadFrames"), expected, 5000);
        session.send(frameBytes(protocol::MsgKeepAlive, id, 4, QByteArray("{}")));
        protocol::Frame frame;
        // Either the camera closed the connection, or it answers only the right frame.
        if (session.read(&frame)) {
            QCOMPARE(frame.header.messageId, quint16(protocol::MsgKeepAliveAnswer));
            QCOMPARE(frame.header.sequence, 4u);
            QCOMPARE(RawClient::object(frame).value(QStringLiteral("Ret")).toInt(), 100);
        }
    }
    {
        // Half a frame, then the client goes away: nothing to answer, the camera carries on.
        RawClient half;
        QVERIFY(half.connectTo(address));
        half.send(frameBytes(protocol::MsgLoginHello, 0, 1, QByteArray("{\"UserName\":\"admin\"}")).left(25));
    }
    QCOMPARE(emulator.camera(1).value(QStringLiteral("BadFrames")).toInt(-1), 0);
    QVERIFY(emulator.camera(0).value(QStringLiteral("BadFrames")).toInt(-1) >= expected);

    int error = 0;
    const long login = loginTo(address, QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestRobustness::badDatagramsAreDroppedAndCounted()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("4")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QCOMPARE(badCount(emulator, "BadDatagrams"), 0);

    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    const QHostAddress broadcast(QStringLiteral("127.255.255.255"));
    QByteArray huge = frameBytes(protocol::MsgSearchRequest, 0, 1, QByteArray());
    huge[16] = huge[17] = huge[18] = huge[19] = char(0xFF);
    const QList<QByteArray> datagrams = {
        QByteArray("garbage datagram"),
        frameBytes(protocol::MsgSearchRequest, 0, 1, QByteArray("{\"Token\":")),
        frameBytes(protocol::MsgSearchRequest, 0, 1, QByteArray("[1,2,3]")),
        huge,
    };
    int sent = 0;
    for (const QByteArray& datagram : datagrams) {
        QCOMPARE(udp.writeDatagram(datagram, broadcast, emulator.discoveryPort()), qint64(datagram.size()));
        ++sent;
        // Every bad datagram is counted at least once (once per camera that received it, or once).
        QTRY_VERIFY_WITH_TIMEOUT(badCount(emulator, "BadDatagrams") >= sent, 5000);
    }
    // None of them drew an answer.
    QVERIFY(!udp.hasPendingDatagrams());

    const SearchResult result = searchDevices(256 * kSearchRecordSize, 1000);
    QVERIFY(result.returned != 0);
    QCOMPARE(result.records.size(), 4);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestRobustness::malformedAnswersFailCleanly()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("4")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    sdkSetup(1000, 1);
    int error = 0;
    const long login = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("Malformed"), true}}));
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("Malformed"), true}}));

    const unsigned long badBefore = sdkGetBadFrameCount();
    QElapsedTimer timer;
    timer.start();
    // Three passes cover every kind of bad answer the camera rotates through.
    for (int pass = 0; pass < 3; ++pass) {
        const SearchResult result = searchDevices(256 * kSearchRecordSize, 700);
        QVERIFY(result.returned != 0);
        QSet<QString> macs;
        for (const RawSearchRecord& record : result.records)
            macs.insert(record.mac);
        QCOMPARE(macs, (QSet<QString>{emulator.mac(2), emulator.mac(3)}));
        QCOMPARE(result.records.size(), 2);

        QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
        QVERIFY2(error <= 0, qPrintable(QString::number(error)));

        QByteArray buffer(4096, '\0');
        unsigned long size = 0;
        QVERIFY(sdkGetConfig(login, 41, -1, buffer.data(), (unsigned long)buffer.size(), &size, 1000) <= 0);
        QVERIFY2(sdkGetLastError() < 0, qPrintable(QString::number(sdkGetLastError())));
    }
    // Nothing waited longer than its time-outs allow.
    QVERIFY2(timer.elapsed() < 3 * (700 + 3000 + 1000) + 3000, qPrintable(QString::number(timer.elapsed())));
    // Two bad search answers per pass at least, and the bad login answers.
    QVERIFY2(sdkGetBadFrameCount() >= badBefore + 6,
             qPrintable(QStringLiteral("%1 -> %2").arg(badBefore).arg(sdkGetBadFrameCount())));

    // The healthy cameras are unaffected, and the faulty one recovers once the fault is lifted.
    const long healthy = loginTo(emulator.address(2), QString(), &error);
    QVERIFY2(healthy > 0, qPrintable(QString::number(error)));
    sdkLogout(healthy);
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("Malformed"), false}}));
    const long recovered = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(recovered > 0, qPrintable(QString::number(error)));
    sdkLogout(recovered);
    sdkLogout(login);
    sdkSetup(2000, 1);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestRobustness)
#include "tst_robustness.moc"
