// Body codecs: strict JSON objects, typed member access, the search answer, the binary
// configuration bodies and dotted addresses.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <QtTest>

#include "protocol/codec.h"
#include "protocol/messages.h"

using namespace protocol;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

DecodeStatus decodeText(const std::string& text, Json::Value& out)
{
    return decodeJsonObject(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), out);
}

// Extreme ports and flag, so their full range is carried.
SearchInfo sampleInfo()
{
    return {"c0ffee",
            "Camera-Hall",
            {127, 0, 0, 21},
            {255, 0, 0, 0},
            {127, 0, 0, 1},
            {80, 34567, 554, 8899, 0, -1, 2147483647, -2147483647 - 1},
            255,
            "02:00:7f:00:00:15",
            "abcdef0123456789",
            3,
            "V5.00.R02.000529B4.10010.040400.0000000",
            2023,
            11,
            30};
}

// The search answer of sampleInfo() as a JSON object, to be bent by a test.
Json::Value sampleAnswerObject()
{
    const Bytes body = encodeSearchAnswer(sampleInfo());
    Json::Value o;
    if (decodeJsonObject(body.data(), body.size(), o) != DecodeStatus::Ok)
        qFatal("sample answer does not decode");
    return o;
}

// Decodes into a sentinel and reports whether it was accepted; a refused answer must leave the
// sentinel as it was.
bool acceptsAnswer(const Json::Value& object, SearchInfo* decoded = nullptr)
{
    const Bytes body = encodeJson(object);
    SearchInfo out;
    out.hostName = "sentinel";
    out.ports[3] = 4242;
    const DecodeStatus st = decodeSearchAnswer(body.data(), body.size(), out);
    if (st != DecodeStatus::Ok) {
        if (out.hostName != "sentinel" || out.ports[3] != 4242 || !out.token.empty())
            qFatal("refused answer changed its output");
        return false;
    }
    if (decoded)
        *decoded = out;
    return true;
}

} // namespace

class TestProtocolBodies : public QObject
{
    Q_OBJECT

private slots:
    void jsonObjectsAreParsedStrictlyAndWrittenCompactly();
    void jsonNestingAndSizeLimits();
    void typedMemberAccess();
    void searchAnswerRoundTrip();
    void searchAnswerRejectsMalformedMembers();
    void binaryConfigurationBodies();
    void dottedAddresses();
};

void TestProtocolBodies::jsonObjectsAreParsedStrictlyAndWrittenCompactly()
{
    const char* good[] = {R"({})", R"({"a":1})", " {\"a\":[1,2,{\"b\":null}]}\n", R"({"t":"x\u00e9\u0000y"})"};
    for (const char* text : good) {
        Json::Value v;
        QVERIFY2(decodeText(text, v) == DecodeStatus::Ok, text);
        QVERIFY(v.isObject());
    }
    const char* bad[] = {
        "",        "[]",           "1",          "{", "{}x", R"({"a":1,"a":2})", "{/*c*/\"a\":1}", "{\"a\":1} // c",
        "{'a':1}", R"({"a":NaN})", R"({"a":1,})"};
    for (const char* text : bad) {
        Json::Value v(42);
        QVERIFY2(decodeText(text, v) == DecodeStatus::Bad, text);
        QCOMPARE(v.asInt(), 42); // untouched
    }
    Json::Value v;
    QCOMPARE(decodeJsonObject(nullptr, 0, v), DecodeStatus::Bad);

    // Written on one line without padding, and read back equal.
    Json::Value o(Json::objectValue);
    o["Name"] = "two words";
    o["List"].append(1);
    o["Nested"]["Deep"] = true;
    const Bytes body = encodeJson(o);
    QCOMPARE(std::string(body.begin(), body.end()),
             std::string(R"({"List":[1],"Name":"two words","Nested":{"Deep":true}})"));
    QCOMPARE(decodeJsonObject(body.data(), body.size(), v), DecodeStatus::Ok);
    QVERIFY(v == o);
}

void TestProtocolBodies::jsonNestingAndSizeLimits()
{
    auto nested = [](int depth) {
        std::string s;
        for (int i = 1; i < depth; ++i)
            s += "{\"a\":";
        s += "{}";
        for (int i = 1; i < depth; ++i)
            s += "}";
        return s;
    };
    Json::Value v;
    QCOMPARE(decodeText(nested(32), v), DecodeStatus::Ok);
    QCOMPARE(decodeText(nested(33), v), DecodeStatus::Bad);
    // Deep arrays inside an object count the same way, and far deeper input must not overflow the stack.
    QCOMPARE(decodeText("{\"a\":" + std::string(31, '[') + std::string(31, ']') + "}", v), DecodeStatus::Ok);
    QCOMPARE(decodeText("{\"a\":" + std::string(100000, '[') + "}", v), DecodeStatus::Bad);

    // Size: exactly the limit is fine, one byte more is refused before parsing.
    const std::string prefix = "{\"a\":\"";
    const std::string suffix = "\"}";
    std::string atLimit = prefix + std::string(kMaxJsonBody - prefix.size() - suffix.size(), 'x') + suffix;
    QCOMPARE(atLimit.size(), std::size_t(kMaxJsonBody));
    QCOMPARE(decodeText(atLimit, v), DecodeStatus::Ok);
    const std::string over = prefix + std::string(kMaxJsonBody - prefix.size() - suffix.size() + 1, 'x') + suffix;
    QCOMPARE(decodeText(over, v), DecodeStatus::Bad);
    // Messages allowed more room pass their own limit.
    const auto* p = reinterpret_cast<const std::uint8_t*>(over.data());
    QCOMPARE(decodeJsonObject(p, over.size(), v, maxBodyLength(MsgEmuControlAnswer)), DecodeStatus::Ok);
    QCOMPARE(decodeJsonObject(p, over.size(), v, over.size() - 1), DecodeStatus::Bad);
}

void TestProtocolBodies::typedMemberAccess()
{
    Json::Value o;
    QCOMPARE(decodeText(R"({"i":-7,"big":9223372036854775807,"small":-9223372036854775808,"huge":18446744073709551615,
        "d":3.0,"f":3.5,"e":1e300,"b":true,"s":"12345","n":null,"arr":[1],"obj":{"i":1}})",
                        o),
             DecodeStatus::Ok);
    std::int64_t i = 99;
    QVERIFY(getInt(o, "i", i) && i == -7);
    QVERIFY(getInt(o, "big", i) && i == INT64_MAX);
    QVERIFY(getInt(o, "small", i) && i == INT64_MIN);
    QVERIFY(getInt(o, "d", i) && i == 3);
    i = 99;
    for (const char* key : {"huge", "f", "e", "b", "s", "n", "arr", "obj", "absent"})
        QVERIFY2(!getInt(o, key, i), key);
    QCOMPARE(i, std::int64_t(99));

    std::string s = "keep";
    QVERIFY(getString(o, "s", s, 5) && s == "12345");
    s = "keep";
    QVERIFY(!getString(o, "s", s, 4));
    for (const char* key : {"i", "b", "n", "arr", "obj", "absent"})
        QVERIFY2(!getString(o, key, s, 100), key);
    QCOMPARE(s, std::string("keep"));

    // Readers on something that is not an object answer false instead of throwing.
    for (const Json::Value& v : {Json::Value(Json::arrayValue), Json::Value(5), Json::Value("x"), Json::Value()}) {
        QVERIFY(!getInt(v, "i", i));
        QVERIFY(!getString(v, "s", s, 10));
    }
}

void TestProtocolBodies::searchAnswerRoundTrip()
{
    const Bytes body = encodeSearchAnswer(sampleInfo());
    QVERIFY(body.size() <= maxBodyLength(MsgSearchAnswer));
    SearchInfo out;
    QCOMPARE(decodeSearchAnswer(body.data(), body.size(), out), DecodeStatus::Ok);
    QCOMPARE(encodeSearchAnswer(out), body); // the encoder writes every member
    QCOMPARE(out.hostName, std::string("Camera-Hall"));
    // Addresses travel as dotted texts.
    const Json::Value o = sampleAnswerObject();
    QCOMPARE(o["HostIP"].asString() + " " + o["Submask"].asString() + " " + o["GateWay"].asString(),
             std::string("127.0.0.21 255.0.0.0 127.0.0.1"));
}

void TestProtocolBodies::searchAnswerRejectsMalformedMembers()
{
    // One member changed at a time; an accepted text must arrive whole.
    auto portsWith = [](std::size_t count, const Json::Value& fifth) {
        Json::Value ports(Json::arrayValue);
        for (std::size_t i = 0; i < count; ++i)
            ports.append(i == 5 ? fifth : Json::Value(int(i)));
        return ports;
    };
    const std::string zero("ab\0cd", 5); // would cut a text short in the 560-byte record
    struct Case
    {
        const char* member;
        Json::Value value;
        bool ok;
    };
    // Each text at its longest and one byte beyond, or with a zero inside; numbers out of range or
    // of the wrong type; the wrong number of ports.
    const Case cases[] = {{"Token", std::string(64, 'a'), true},
                          {"Token", std::string(65, 'a'), false},
                          {"HostName", std::string(63, 'a'), true},
                          {"HostName", std::string(64, 'a'), false},
                          {"MAC", std::string(31, 'a'), true},
                          {"MAC", std::string(32, 'a'), false},
                          {"MAC", zero, false},
                          {"CloudID", std::string(39, 'a'), false},
                          {"Version", std::string(128, 'a'), false},
                          {"HostIP", "127.0.0.256", false},
                          {"GateWay", 2130706433, false},
                          {"Ports", portsWith(8, 5), true},
                          {"Ports", portsWith(7, 5), false},
                          {"Ports", portsWith(9, 5), false},
                          {"Ports", portsWith(8, "80"), false},
                          {"Ports", portsWith(8, Json::Int64(2147483648LL)), false},
                          {"Flag", 256, false},
                          {"Flag", -1, false},
                          {"DeviceKind", Json::Int64(1) << 31, false},
                          {"BuildYear", 2024.0, true},
                          {"BuildYear", 2024.5, false}};
    for (const Case& c : cases) {
        Json::Value o = sampleAnswerObject();
        o[c.member] = c.value;
        SearchInfo decoded;
        const std::string what = c.member + (" = " + c.value.toStyledString());
        QVERIFY2(acceptsAnswer(o, &decoded) == c.ok, what.c_str());
        Json::Value back;
        const Bytes again = encodeSearchAnswer(decoded);
        if (c.ok && c.value.isString() && decodeJsonObject(again.data(), again.size(), back) == DecodeStatus::Ok)
            QCOMPARE(back[c.member].asString(), c.value.asString());
    }

    // Every member is required, and nothing else is allowed.
    const Json::Value sample = sampleAnswerObject();
    for (const std::string& name : sample.getMemberNames()) {
        Json::Value o = sample;
        o.removeMember(name);
        QVERIFY2(!acceptsAnswer(o), name.c_str());
    }
    Json::Value extra = sample;
    extra["Extra"] = 1;
    QVERIFY(!acceptsAnswer(extra));
    Json::Value mistyped = sample;
    mistyped.removeMember("GateWay");
    mistyped["Gateway"] = "127.0.0.1";
    QVERIFY(!acceptsAnswer(mistyped));

    // Larger than a discovery datagram may be, even if the JSON in it is good.
    SearchInfo out;
    Json::Value padded = sample;
    padded["HostName"] = "";
    const Bytes paddedBody = encodeJson(padded);
    const Bytes tooBig = bytesOf(std::string(5000, ' ') + std::string(paddedBody.begin(), paddedBody.end()));
    QCOMPARE(decodeSearchAnswer(tooBig.data(), tooBig.size(), out), DecodeStatus::Bad);
}

void TestProtocolBodies::binaryConfigurationBodies()
{
    // Little-endian command and channel, then the record.
    const Bytes set = encodeSetConfig({20, -1, Bytes{9, 8, 7}});
    QCOMPARE(set, (Bytes{20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 8, 7}));
    // Result code, then the record only on success.
    const Bytes get = encodeGetConfigAnswer({kRetOk, Bytes{1, 2, 3}});
    QCOMPARE(get, (Bytes{100, 0, 0, 0, 1, 2, 3}));
    Bytes failed = encodeGetConfigAnswer({-11201, Bytes{1, 2, 3}});
    QCOMPARE(failed, (Bytes{0x3F, 0xD4, 0xFF, 0xFF}));

    // Every prefix: shorter than the fixed part is refused and leaves the output alone, anything
    // longer is a (shorter) record.
    for (std::size_t n = 0; n <= set.size(); ++n) {
        SetConfigBody out;
        out.command = 777;
        const DecodeStatus st = decodeSetConfig(n == 0 ? nullptr : set.data(), n, out);
        QCOMPARE(st, n < 8 ? DecodeStatus::Bad : DecodeStatus::Ok);
        QCOMPARE(out.command, n < 8 ? 777 : 20);
        if (n >= 8) {
            QCOMPARE(out.channel, -1);
            QCOMPARE(out.record, Bytes(set.begin() + 8, set.begin() + static_cast<std::ptrdiff_t>(n)));
        }
    }
    for (std::size_t n = 0; n <= get.size(); ++n) {
        GetConfigAnswer out;
        out.ret = 1;
        const DecodeStatus st = decodeGetConfigAnswer(n == 0 ? nullptr : get.data(), n, out);
        QCOMPARE(st, n < 4 ? DecodeStatus::Bad : DecodeStatus::Ok);
        QCOMPARE(out.ret, n < 4 ? 1 : kRetOk);
        QCOMPARE(out.record.size(), n < 4 ? 0 : n - 4);
    }

    // A failure carries its code only; a record after it is malformed.
    GetConfigAnswer out;
    QCOMPARE(decodeGetConfigAnswer(failed.data(), failed.size(), out), DecodeStatus::Ok);
    QCOMPARE(out.ret, -11201);
    failed.push_back(0);
    QCOMPARE(decodeGetConfigAnswer(failed.data(), failed.size(), out), DecodeStatus::Bad);
    QCOMPARE(out.ret, -11201);

    // Records up to the largest allowed, not a byte more.
    Bytes big(8 + kMaxRecordSize, 0);
    big[4] = 100; // read from byte 4 on, an answer with Ret 100
    SetConfigBody setOut;
    QCOMPARE(decodeSetConfig(big.data(), big.size(), setOut), DecodeStatus::Ok);
    QCOMPARE(setOut.record.size(), std::size_t(kMaxRecordSize));
    QCOMPARE(decodeGetConfigAnswer(big.data() + 4, big.size() - 4, out), DecodeStatus::Ok);
    QCOMPARE(out.record.size(), std::size_t(kMaxRecordSize));
    big.push_back(0);
    setOut.record.clear();
    QCOMPARE(decodeSetConfig(big.data(), big.size(), setOut), DecodeStatus::Bad);
    QVERIFY(setOut.record.empty());
    QCOMPARE(decodeGetConfigAnswer(big.data() + 4, big.size() - 4, out), DecodeStatus::Bad);
}

void TestProtocolBodies::dottedAddresses()
{
    struct Good
    {
        const char* text;
        std::uint8_t bytes[4];
    };
    const Good good[] = {{"0.0.0.0", {0, 0, 0, 0}},
                         {"255.255.255.255", {255, 255, 255, 255}},
                         {"192.168.1.10", {192, 168, 1, 10}},
                         {"010.001.000.009", {10, 1, 0, 9}}}; // decimal, never octal
    for (const Good& g : good) {
        std::uint8_t out[4] = {1, 1, 1, 1};
        QVERIFY2(parseDotted(g.text, out), g.text);
        QVERIFY(std::memcmp(out, g.bytes, 4) == 0);
        QVERIFY(parseDotted(formatDotted(g.bytes), out));
        QVERIFY(std::memcmp(out, g.bytes, 4) == 0);
    }
    // Trailing, leading and embedded junk, and an address followed by a zero byte.
    const std::string bad[] = {"",           "1.2.3",      "1.2.3.4.5",      "1.2.3.300",
                               "1.2.3.4 ",   "+1.2.3.4",   "1..3.4",         "1.2.3.",
                               "0001.2.3.4", "0x7f.0.0.1", "\xD9\xA1.2.3.4", std::string("1.2.3.4\0", 8)};
    for (const std::string& text : bad) {
        std::uint8_t out[4] = {9, 9, 9, 9};
        QVERIFY2(!parseDotted(text, out), text.c_str());
        QVERIFY(out[0] == 9 && out[1] == 9 && out[2] == 9 && out[3] == 9);
    }
    const std::uint8_t sample[4] = {127, 0, 10, 255};
    QCOMPARE(formatDotted(sample), std::string("127.0.10.255"));

    // All of 127.0.0.0/8 and nothing else.
    const std::uint8_t in[][4] = {{127, 0, 0, 1}, {127, 255, 255, 255}},
                       out[][4] = {{126, 255, 255, 255}, {0, 0, 0, 0}};
    QVERIFY(isLoopback(in[0]) && isLoopback(in[1]));
    QVERIFY(!isLoopback(out[0]) && !isLoopback(out[1]));
}

QTEST_APPLESS_MAIN(TestProtocolBodies)
#include "tst_protocol_bodies.moc"
