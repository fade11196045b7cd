// Framing: the 20-byte header, per-message limits and stream reassembly.
#include <cstdint>
#include <string>
#include <vector>

#include <QtTest>

#include "protocol/frame.h"
#include "protocol/messages.h"

using namespace protocol;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// Builds a header byte by byte, independently of encodeFrame.
Bytes handHeader(std::uint16_t id, std::uint32_t length, std::uint32_t session = 0, std::uint32_t sequence = 0,
                 std::uint8_t version = kVersion)
{
    Bytes h(kHeaderSize, 0);
    h[0] = 0xFF;
    h[1] = version;
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<std::uint8_t>(session >> (8 * i));
        h[8 + i] = static_cast<std::uint8_t>(sequence >> (8 * i));
        h[16 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    h[14] = static_cast<std::uint8_t>(id & 0xFF);
    h[15] = static_cast<std::uint8_t>(id >> 8);
    return h;
}

/// Every message id the protocol knows: exactly those have a body limit.
std::vector<std::uint16_t> knownIds()
{
    std::vector<std::uint16_t> ids;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        if (maxBodyLength(std::uint16_t(id)) != 0)
            ids.push_back(std::uint16_t(id));
    }
    return ids;
}

} // namespace

class TestProtocolFrame : public QObject
{
    Q_OBJECT

private slots:
    void layoutMatchesHandBuiltBytes();
    void roundTripKeepsEveryField();
    void badHeadersAreRejectedAndCounted();
    void limitsPerMessage();
    void streamReassemblesAcrossAnySplit();
    void streamStaysBrokenAfterBadBytes();
};

void TestProtocolFrame::layoutMatchesHandBuiltBytes()
{
    // Both directions against bytes written out by hand, so encoder and parser cannot agree on a
    // wrong layout. Wire ids are literals: 1006 is the keep-alive, 0x05F4 the progress report a
    // camera sends on its upgrade port.
    FrameHeader h;
    h.sessionId = 0x11223344;
    h.sequence = 0xA1B2C3D4;
    h.messageId = MsgKeepAlive;
    h.bodyLength = 999; // ignored: the body's size wins
    Bytes expected = handHeader(1006, 2, 0x11223344, 0xA1B2C3D4);
    expected.push_back('{');
    expected.push_back('}');
    QCOMPARE(encodeFrame(h, bytesOf("{}")), expected);
    for (std::size_t n = 0; n <= expected.size(); ++n) {
        const ParseResult r = parseHeader(expected.data(), n);
        QCOMPARE(r.status, n < kHeaderSize ? ParseStatus::Incomplete : ParseStatus::Ok);
        QCOMPARE(r.used, n < kHeaderSize ? 0 : kHeaderSize);
    }

    const std::string json = R"({"Name":"OPSystemUpgrade","Type":"UpgradeProcess","Ret":37})";
    Bytes wire = handHeader(0x05F4, std::uint32_t(json.size()), 0x0A0B0C0D, 0x01020304);
    wire.insert(wire.end(), json.begin(), json.end());
    const ParseResult r = parseFrame(wire.data(), wire.size());
    QCOMPARE(r.status, ParseStatus::Ok);
    QCOMPARE(r.used, wire.size());
    QCOMPARE(r.frame.header.messageId, std::uint16_t(MsgUpgradeProgress));
    QCOMPARE(r.frame.header.sessionId, 0x0A0B0C0Du);
    QCOMPARE(r.frame.header.sequence, 0x01020304u);
    QCOMPARE(r.frame.body, bytesOf(json));
}

void TestProtocolFrame::roundTripKeepsEveryField()
{
    // A large binary body for binary messages; an empty body is a valid frame at this level (the
    // body codec decides whether it means anything).
    Bytes bigRecord(100000);
    for (std::size_t i = 0; i < bigRecord.size(); ++i)
        bigRecord[i] = static_cast<std::uint8_t>(i * 31 + 7);
    for (std::uint16_t id : knownIds()) {
        FrameHeader h;
        h.sessionId = 0xFFFFFFFF - id;
        h.sequence = id * 3u;
        h.messageId = id;
        // Binary bodies as large as the record, or as the message allows when that is less.
        const std::size_t binary = std::min<std::size_t>(bigRecord.size(), maxBodyLength(id));
        const Bytes body = id == MsgLogout  ? Bytes{}
                           : isJsonBody(id) ? bytesOf(R"({"Ret":100})")
                                            : Bytes(bigRecord.begin(), bigRecord.begin() + std::ptrdiff_t(binary));
        const Bytes wire = encodeFrame(h, body);
        const ParseResult r = parseFrame(wire.data(), wire.size());
        QCOMPARE(r.status, ParseStatus::Ok);
        QCOMPARE(r.used, wire.size());
        QCOMPARE(r.frame.header.sessionId, h.sessionId);
        QCOMPARE(r.frame.header.sequence, h.sequence);
        QCOMPARE(r.frame.header.messageId, id);
        QCOMPARE(r.frame.body, body);
    }
}

void TestProtocolFrame::badHeadersAreRejectedAndCounted()
{
    // Refused as early as the bytes allow, by both parsers, each refusal counted once.
    struct Case
    {
        const char* name;
        Bytes bytes;
        BadReason reason;
    };
    Bytes wrongStart = handHeader(MsgKeepAlive, 2);
    wrongStart[0] = 0xFE;
    Bytes unknownPrefix = handHeader(1234, 0);
    unknownPrefix.resize(16);
    const Case cases[] = {
        {"start byte", wrongStart, BadReason::StartByte},
        {"start byte alone", Bytes{0x00}, BadReason::StartByte},
        {"version", handHeader(MsgKeepAlive, 2, 0, 0, 2), BadReason::Version},
        {"version in 2-byte prefix", Bytes{0xFF, 0x07}, BadReason::Version},
        {"id 0", handHeader(0, 0), BadReason::UnknownMessage},
        {"id 1008", handHeader(1008, 0), BadReason::UnknownMessage},
        {"id 1525", handHeader(1525, 0), BadReason::UnknownMessage},
        {"unknown id seen in 16-byte prefix", unknownPrefix, BadReason::UnknownMessage},
    };
    const std::uint64_t before = parserCounters().badFrames;
    for (const Case& c : cases) {
        const ParseResult r = parseFrame(c.bytes.data(), c.bytes.size());
        QVERIFY2(r.status == ParseStatus::Bad && r.reason == c.reason, c.name);
        QCOMPARE(r.used, std::size_t(0));
        const ParseResult h = parseHeader(c.bytes.data(), c.bytes.size());
        QVERIFY2(h.status == ParseStatus::Bad && h.reason == c.reason, c.name);
    }
    // Reserved bytes are not interpreted: a sender that fills them is still understood. Neither
    // that frame nor an incomplete one counts as bad.
    Bytes reservedSet = handHeader(MsgKeepAlive, 0);
    reservedSet[2] = 0xAA;
    reservedSet[13] = 0x55;
    QCOMPARE(parseFrame(reservedSet.data(), reservedSet.size()).status, ParseStatus::Ok);
    QCOMPARE(parseFrame(reservedSet.data(), 5).status, ParseStatus::Incomplete);
    QCOMPARE(parserCounters().badFrames, before + 2 * std::size(cases));
}

void TestProtocolFrame::limitsPerMessage()
{
    // The wire ids of a login and of a media connection are among them.
    const std::vector<std::uint16_t> ids = knownIds();
    for (int id : {1000, 1006, 1524, int(MsgVideoFrame)})
        QVERIFY(std::find(ids.begin(), ids.end(), id) != ids.end());
    for (std::uint16_t id : ids) {
        const std::uint32_t max = maxBodyLength(id);
        // At the limit the header is fine and the parser waits for the body; one more is refused,
        // and so is a hostile 4 GiB length, from the header alone (nothing allocated, nothing read).
        const Bytes atLimit = handHeader(id, max);
        QCOMPARE(parseFrame(atLimit.data(), atLimit.size()).status, ParseStatus::Incomplete);
        QCOMPARE(parseHeader(atLimit.data(), atLimit.size()).status, ParseStatus::Ok);
        for (std::uint32_t length : {max + 1, 0xFFFFFFFFu}) {
            const Bytes over = handHeader(id, length);
            const ParseResult r = parseFrame(over.data(), over.size());
            QCOMPARE(r.status, ParseStatus::Bad);
            QCOMPARE(r.reason, BadReason::TooLong);
            QCOMPARE(parseHeader(over.data(), over.size()).reason, BadReason::TooLong);
        }
    }
}

void TestProtocolFrame::streamReassemblesAcrossAnySplit()
{
    // Every chunk size from one byte (every prefix of every frame is incomplete) to all frames, and
    // the start of another, in a single append.
    Bytes wire;
    std::vector<Bytes> bodies = {bytesOf(R"({"Ret":100})"), Bytes{}, Bytes(300, 0xFF), bytesOf("{}")};
    const std::uint16_t ids[] = {MsgKeepAliveAnswer, MsgLogout, MsgGetConfigAnswer, MsgKeepAlive};
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        FrameHeader h;
        h.messageId = ids[i];
        h.sequence = static_cast<std::uint32_t>(i + 10);
        const Bytes f = encodeFrame(h, bodies[i]);
        wire.insert(wire.end(), f.begin(), f.end());
    }
    wire.push_back(0xFF); // start of a frame still on its way

    for (std::size_t chunk = 1; chunk <= wire.size(); ++chunk) {
        FrameStream stream;
        std::vector<Frame> frames;
        for (std::size_t pos = 0; pos < wire.size(); pos += chunk) {
            stream.append(wire.data() + pos, std::min(chunk, wire.size() - pos));
            for (;;) {
                ParseResult r = stream.next();
                QVERIFY(r.status != ParseStatus::Bad);
                if (r.status != ParseStatus::Ok)
                    break;
                frames.push_back(std::move(r.frame));
            }
        }
        QCOMPARE(frames.size(), bodies.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].header.messageId, ids[i]);
            QCOMPARE(frames[i].header.sequence, std::uint32_t(i + 10));
            QCOMPARE(frames[i].body, bodies[i]);
        }
        QCOMPARE(stream.buffered(), std::size_t(1));
        QVERIFY(!stream.broken());
    }
}

void TestProtocolFrame::streamStaysBrokenAfterBadBytes()
{
    FrameHeader h;
    h.messageId = MsgKeepAlive;
    const Bytes good = encodeFrame(h, bytesOf("{}"));
    Bytes wire = good;
    wire.push_back(0x00); // garbage where the next start byte should be
    wire.insert(wire.end(), good.begin(), good.end());

    const std::uint64_t before = parserCounters().badFrames;
    FrameStream stream;
    stream.append(wire.data(), wire.size());
    QCOMPARE(stream.next().status, ParseStatus::Ok);
    const ParseResult bad = stream.next();
    QCOMPARE(bad.status, ParseStatus::Bad);
    QCOMPARE(bad.reason, BadReason::StartByte);
    QVERIFY(stream.broken());
    QCOMPARE(stream.buffered(), std::size_t(0));
    // Later bytes, even a valid frame, are not trusted any more; the bad header is counted once,
    // however often the stream is asked.
    stream.append(good.data(), good.size());
    QCOMPARE(stream.next().status, ParseStatus::Bad);
    QCOMPARE(parserCounters().badFrames, before + 1);

    stream.reset();
    QVERIFY(!stream.broken());
    stream.append(good.data(), good.size());
    QCOMPARE(stream.next().status, ParseStatus::Ok);
    QCOMPARE(stream.next().status, ParseStatus::Incomplete);
}

QTEST_APPLESS_MAIN(TestProtocolFrame)
#include "tst_protocol.moc"
