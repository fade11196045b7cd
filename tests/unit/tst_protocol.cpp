// Framing: the 20-byte header, per-message limits and stream reassembly.
#include <cstdint>
#include <string>
#include <vector>

#include <QtTest>

#include "protocol/codec.h"
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

const std::uint16_t kKnownIds[] = {
    MsgLoginHello,      MsgLoginChallenge,       MsgLoginProof,      MsgLoginResult,
    MsgLogout,          MsgLogoutAnswer,         MsgKeepAlive,       MsgKeepAliveAnswer,
    MsgGetConfig,       MsgGetConfigAnswer,      MsgSetConfig,       MsgSetConfigAnswer,
    MsgGetConfigJson,   MsgGetConfigJsonAnswer,  MsgSetConfigJson,   MsgSetConfigJsonAnswer,
    MsgGetAbilityJson,  MsgGetAbilityJsonAnswer, MsgControl,         MsgControlAnswer,
    MsgSearchRequest,   MsgSearchAnswer,         MsgNetSetHello,     MsgNetSetChallenge,
    MsgNetSetRequest,   MsgNetSetAnswer,         MsgUpgradeProgress, MsgEmuControl,
    MsgEmuControlAnswer, MsgUpgradeStart,        MsgUpgradeStartAnswer, MsgUpgradeData,
    MsgUpgradeCheck,    MsgUpgradeState,         MsgUpgradeAbort};

} // namespace

class TestProtocolFrame : public QObject
{
    Q_OBJECT

private slots:
    void headerLayoutMatchesHandBuiltBytes();
    void upgradeProgressFrameFromDevice();
    void roundTripKeepsEveryField();
    void everyPrefixIsIncomplete();
    void badHeadersAreRejectedEarly();
    void hostileLengthIsRejectedWithoutReadingBody();
    void limitsPerMessage();
    void backToBackFrames();
    void streamReassemblesAcrossAnySplit();
    void streamStaysBrokenAfterBadBytes();
    void refusedFramesAreCounted();
};

void TestProtocolFrame::headerLayoutMatchesHandBuiltBytes()
{
    const Bytes body = bytesOf("{}");
    FrameHeader h;
    h.sessionId = 0x11223344;
    h.sequence = 0xA1B2C3D4;
    h.messageId = MsgKeepAlive;
    h.bodyLength = 999; // ignored: the body's size wins
    const Bytes encoded = encodeFrame(h, body);

    Bytes expected = handHeader(MsgKeepAlive, 2, 0x11223344, 0xA1B2C3D4);
    expected.insert(expected.end(), body.begin(), body.end());
    QCOMPARE(encoded, expected);
    // Spot-check the offsets the other side of the wire relies on.
    QCOMPARE(encoded[14], std::uint8_t(1006 & 0xFF));
    QCOMPARE(encoded[15], std::uint8_t(1006 >> 8));
    QCOMPARE(encoded[16], std::uint8_t(2));
    QCOMPARE(encoded[4], std::uint8_t(0x44));
    QCOMPARE(encoded[11], std::uint8_t(0xA1));
    QCOMPARE(encoded[2], std::uint8_t(0));
    QCOMPARE(encoded[12], std::uint8_t(0));

    const ParseResult header = parseHeader(expected.data(), expected.size());
    QCOMPARE(header.status, ParseStatus::Ok);
    QCOMPARE(header.used, kHeaderSize);
    QCOMPARE(header.frame.header.bodyLength, 2u);
    QVERIFY(header.frame.body.empty());
}

void TestProtocolFrame::upgradeProgressFrameFromDevice()
{
    // A progress report exactly as a camera writes it on port 34560: id 0x05F4, length at 16.
    const std::string json = R"({"Name":"OPSystemUpgrade","Type":"UpgradeProcess","Ret":37})";
    Bytes wire = {0xFF,
                  0x01,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0xF4,
                  0x05,
                  static_cast<std::uint8_t>(json.size()),
                  0x00,
                  0x00,
                  0x00};
    wire.insert(wire.end(), json.begin(), json.end());

    const ParseResult r = parseFrame(wire.data(), wire.size());
    QCOMPARE(r.status, ParseStatus::Ok);
    QCOMPARE(r.used, wire.size());
    QCOMPARE(r.frame.header.messageId, std::uint16_t(MsgUpgradeProgress));
    QCOMPARE(r.frame.header.bodyLength, std::uint32_t(json.size()));
    QVERIFY(isJsonBody(r.frame.header.messageId));

    Json::Value o;
    QCOMPARE(decodeJsonObject(r.frame.body.data(), r.frame.body.size(), o), DecodeStatus::Ok);
    std::string name, type;
    std::int64_t ret = -1;
    QVERIFY(getString(o, "Name", name, 64));
    QVERIFY(getString(o, "Type", type, 64));
    QVERIFY(getInt(o, "Ret", ret));
    QCOMPARE(name, std::string("OPSystemUpgrade"));
    QCOMPARE(type, std::string("UpgradeProcess"));
    QCOMPARE(ret, std::int64_t(37));
}

void TestProtocolFrame::roundTripKeepsEveryField()
{
    Bytes bigRecord(100000);
    for (std::size_t i = 0; i < bigRecord.size(); ++i)
        bigRecord[i] = static_cast<std::uint8_t>(i * 31 + 7);
    for (std::uint16_t id : kKnownIds) {
        FrameHeader h;
        h.sessionId = 0xFFFFFFFF - id;
        h.sequence = id * 3u;
        h.messageId = id;
        const Bytes body = isJsonBody(id) ? bytesOf(R"({"Ret":100})") : bigRecord;
        const Bytes wire = encodeFrame(h, body);
        QCOMPARE(wire.size(), kHeaderSize + body.size());
        const ParseResult r = parseFrame(wire.data(), wire.size());
        QCOMPARE(r.status, ParseStatus::Ok);
        QCOMPARE(r.reason, BadReason::None);
        QCOMPARE(r.used, wire.size());
        QCOMPARE(r.frame.header.version, kVersion);
        QCOMPARE(r.frame.header.sessionId, h.sessionId);
        QCOMPARE(r.frame.header.sequence, h.sequence);
        QCOMPARE(r.frame.header.messageId, id);
        QCOMPARE(r.frame.header.bodyLength, std::uint32_t(body.size()));
        QCOMPARE(r.frame.body, body);
    }
    // An empty body is a valid frame at this level; the body codec decides whether it means anything.
    FrameHeader h;
    h.messageId = MsgLogout;
    const Bytes wire = encodeFrame(h, nullptr, 0);
    const ParseResult r = parseFrame(wire.data(), wire.size());
    QCOMPARE(r.status, ParseStatus::Ok);
    QCOMPARE(r.used, kHeaderSize);
    QVERIFY(r.frame.body.empty());
}

void TestProtocolFrame::everyPrefixIsIncomplete()
{
    FrameHeader h;
    h.messageId = MsgLoginHello;
    h.sequence = 5;
    const Bytes wire = encodeFrame(h, bytesOf(R"({"UserName":"admin","ClientNonce":"00ff"})"));
    for (std::size_t n = 0; n < wire.size(); ++n) {
        const ParseResult r = parseFrame(n == 0 ? nullptr : wire.data(), n);
        QVERIFY2(r.status == ParseStatus::Incomplete, qPrintable(QString("prefix %1").arg(n)));
        QCOMPARE(r.used, std::size_t(0));
        QCOMPARE(r.reason, BadReason::None);
        QVERIFY(r.frame.body.empty());
        const ParseResult hr = parseHeader(wire.data(), n);
        QCOMPARE(hr.status, n < kHeaderSize ? ParseStatus::Incomplete : ParseStatus::Ok);
    }
    QCOMPARE(parseFrame(wire.data(), wire.size()).status, ParseStatus::Ok);
}

void TestProtocolFrame::badHeadersAreRejectedEarly()
{
    struct Case
    {
        const char* name;
        Bytes bytes;
        BadReason reason;
    };
    Bytes goodHeader = handHeader(MsgKeepAlive, 2);
    Bytes wrongStart = goodHeader;
    wrongStart[0] = 0xFE;
    Bytes wrongVersion = handHeader(MsgKeepAlive, 2, 0, 0, 2);
    Bytes versionZero = handHeader(MsgKeepAlive, 2, 0, 0, 0);
    Bytes unknownPrefix = handHeader(1234, 0);
    unknownPrefix.resize(16);
    const Case cases[] = {
        {"start byte", wrongStart, BadReason::StartByte},
        {"start byte alone", Bytes{0x00}, BadReason::StartByte},
        {"version", wrongVersion, BadReason::Version},
        {"version zero", versionZero, BadReason::Version},
        {"version in 2-byte prefix", Bytes{0xFF, 0x07}, BadReason::Version},
        {"id 0", handHeader(0, 0), BadReason::UnknownMessage},
        {"id 999", handHeader(999, 0), BadReason::UnknownMessage},
        {"id 1008", handHeader(1008, 0), BadReason::UnknownMessage},
        {"id 1525", handHeader(1525, 0), BadReason::UnknownMessage},
        {"id 65535", handHeader(0xFFFF, 0), BadReason::UnknownMessage},
        {"unknown id seen in 16-byte prefix", unknownPrefix, BadReason::UnknownMessage},
        {"length one over", handHeader(MsgSearchAnswer, 4097), BadReason::TooLong},
    };
    for (const Case& c : cases) {
        const ParseResult r = parseFrame(c.bytes.data(), c.bytes.size());
        QVERIFY2(r.status == ParseStatus::Bad, c.name);
        QVERIFY2(r.reason == c.reason, c.name);
        QCOMPARE(r.used, std::size_t(0));
        // The header-only parser applies the same checks.
        const ParseResult h = parseHeader(c.bytes.data(), c.bytes.size());
        QVERIFY2(h.status == ParseStatus::Bad && h.reason == c.reason, c.name);
    }
    // Reserved bytes are not interpreted: a sender that fills them is still understood.
    Bytes reservedSet = handHeader(MsgKeepAlive, 0);
    reservedSet[2] = 0xAA;
    reservedSet[13] = 0x55;
    QCOMPARE(parseFrame(reservedSet.data(), reservedSet.size()).status, ParseStatus::Ok);
}

void TestProtocolFrame::hostileLengthIsRejectedWithoutReadingBody()
{
    // Only the header is present: a parser that trusted the length would have to allocate 4 GiB
    // or read past the buffer before seeing anything wrong.
    for (std::uint16_t id : kKnownIds) {
        const Bytes h = handHeader(id, 0xFFFFFFFF);
        const ParseResult r = parseFrame(h.data(), h.size());
        QCOMPARE(r.status, ParseStatus::Bad);
        QCOMPARE(r.reason, BadReason::TooLong);
        QVERIFY(r.frame.body.empty());
    }
}

void TestProtocolFrame::limitsPerMessage()
{
    int known = 0;
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id)
        known += maxBodyLength(static_cast<std::uint16_t>(id)) != 0 ? 1 : 0;
    QCOMPARE(known, int(std::size(kKnownIds)));

    for (std::uint16_t id : kKnownIds) {
        const std::uint32_t max = maxBodyLength(id);
        QVERIFY(max > 0);
        // At the limit the header is fine and the parser waits for the body; one more is refused.
        const Bytes atLimit = handHeader(id, max);
        QCOMPARE(parseFrame(atLimit.data(), atLimit.size()).status, ParseStatus::Incomplete);
        QCOMPARE(parseHeader(atLimit.data(), atLimit.size()).status, ParseStatus::Ok);
        const Bytes over = handHeader(id, max + 1);
        QCOMPARE(parseFrame(over.data(), over.size()).reason, BadReason::TooLong);
    }

    for (std::uint16_t id : {MsgSearchRequest, MsgSearchAnswer, MsgNetSetHello, MsgNetSetChallenge, MsgNetSetRequest,
                             MsgNetSetAnswer, MsgUpgradeProgress})
        QCOMPARE(maxBodyLength(id), 4096u);
    for (std::uint16_t id : {MsgLoginHello, MsgLoginResult, MsgGetConfigJsonAnswer, MsgSetConfigJson, MsgEmuControl})
        QCOMPARE(maxBodyLength(id), kMaxJsonBody);
    QCOMPARE(maxBodyLength(MsgGetConfigAnswer), 8 + kMaxRecordSize);
    QCOMPARE(maxBodyLength(MsgSetConfig), 8 + kMaxRecordSize);
    QCOMPARE(maxBodyLength(MsgEmuControlAnswer), 8u * 1024 * 1024);

    for (std::uint16_t id : kKnownIds)
        QCOMPARE(isJsonBody(id), id != MsgGetConfigAnswer && id != MsgSetConfig && id != MsgUpgradeData);
    QVERIFY(!isJsonBody(0));
    QVERIFY(!isJsonBody(4242));
}

void TestProtocolFrame::backToBackFrames()
{
    FrameHeader a;
    a.messageId = MsgSetConfig;
    a.sequence = 1;
    FrameHeader b;
    b.messageId = MsgKeepAlive;
    b.sequence = 2;
    Bytes wire = encodeFrame(a, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0x01});
    const std::size_t firstSize = wire.size();
    const Bytes second = encodeFrame(b, bytesOf("{}"));
    wire.insert(wire.end(), second.begin(), second.end());
    wire.push_back(0xFF); // start of a third frame

    const ParseResult r1 = parseFrame(wire.data(), wire.size());
    QCOMPARE(r1.status, ParseStatus::Ok);
    QCOMPARE(r1.used, firstSize);
    QCOMPARE(r1.frame.header.sequence, 1u);
    QCOMPARE(r1.frame.body.size(), std::size_t(10));

    const ParseResult r2 = parseFrame(wire.data() + r1.used, wire.size() - r1.used);
    QCOMPARE(r2.status, ParseStatus::Ok);
    QCOMPARE(r2.frame.header.messageId, std::uint16_t(MsgKeepAlive));
    QCOMPARE(r2.frame.header.sequence, 2u);
    QCOMPARE(r2.used, second.size());

    const std::size_t rest = r1.used + r2.used;
    QCOMPARE(parseFrame(wire.data() + rest, wire.size() - rest).status, ParseStatus::Incomplete);
}

void TestProtocolFrame::streamReassemblesAcrossAnySplit()
{
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
        QCOMPARE(stream.buffered(), std::size_t(0));
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

    FrameStream stream;
    stream.append(wire.data(), wire.size());
    QCOMPARE(stream.next().status, ParseStatus::Ok);
    const ParseResult bad = stream.next();
    QCOMPARE(bad.status, ParseStatus::Bad);
    QCOMPARE(bad.reason, BadReason::StartByte);
    QVERIFY(stream.broken());
    QCOMPARE(stream.buffered(), std::size_t(0));
    // Later bytes, even a valid frame, are not trusted any more.
    stream.append(good.data(), good.size());
    QCOMPARE(stream.next().status, ParseStatus::Bad);

    stream.reset();
    QVERIFY(!stream.broken());
    stream.append(good.data(), good.size());
    QCOMPARE(stream.next().status, ParseStatus::Ok);
    QCOMPARE(stream.next().status, ParseStatus::Incomplete);
}

void TestProtocolFrame::refusedFramesAreCounted()
{
    const std::uint64_t before = parserCounters().badFrames;
    const Bytes good = handHeader(MsgKeepAlive, 0);
    const Bytes unknown = handHeader(4321, 0);
    parseFrame(good.data(), good.size());
    parseFrame(good.data(), 5); // incomplete, not bad
    QCOMPARE(parserCounters().badFrames, before);
    parseFrame(unknown.data(), unknown.size());
    parseHeader(unknown.data(), unknown.size());
    QCOMPARE(parserCounters().badFrames, before + 2);

    // A broken stream reports its bad header once, however often it is asked.
    FrameStream stream;
    stream.append(unknown.data(), unknown.size());
    QCOMPARE(stream.next().status, ParseStatus::Bad);
    QCOMPARE(stream.next().status, ParseStatus::Bad);
    QCOMPARE(parserCounters().badFrames, before + 3);
}

QTEST_APPLESS_MAIN(TestProtocolFrame)
#include "tst_protocol.moc"
