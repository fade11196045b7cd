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

SearchInfo sampleInfo()
{
    SearchInfo s;
    s.token = "c0ffee";
    s.hostName = "Camera-Hall";
    const std::uint8_t ip[4] = {127, 0, 0, 21}, mask[4] = {255, 0, 0, 0}, gw[4] = {127, 0, 0, 1};
    std::memcpy(s.hostIp, ip, 4);
    std::memcpy(s.submask, mask, 4);
    std::memcpy(s.gateway, gw, 4);
    const std::int32_t ports[8] = {80, 34567, 554, 8899, 0, -1, 2147483647, -2147483647 - 1};
    std::memcpy(s.ports, ports, sizeof(ports));
    s.flag = 255;
    s.mac = "02:00:7f:00:00:15";
    s.cloudId = "abcdef0123456789";
    s.deviceKind = 3;
    s.version = "V5.00.R02.000529B4.10010.040400.0000000";
    s.buildYear = 2023;
    s.buildMonth = 11;
    s.buildDay = 30;
    return s;
}

bool sameInfo(const SearchInfo& a, const SearchInfo& b)
{
    return a.token == b.token && a.hostName == b.hostName && std::memcmp(a.hostIp, b.hostIp, 4) == 0 &&
           std::memcmp(a.submask, b.submask, 4) == 0 && std::memcmp(a.gateway, b.gateway, 4) == 0 &&
           std::memcmp(a.ports, b.ports, sizeof(a.ports)) == 0 && a.flag == b.flag && a.mac == b.mac &&
           a.cloudId == b.cloudId && a.deviceKind == b.deviceKind && a.version == b.version &&
           a.buildYear == b.buildYear && a.buildMonth == b.buildMonth && a.buildDay == b.buildDay;
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
    void jsonObjectsAreParsedStrictly();
    void jsonNestingAndSizeLimits();
    void jsonEncodingIsCompactAndRoundTrips();
    void typedMemberAccess();
    void searchAnswerRoundTrip();
    void searchAnswerTextLimits();
    void searchAnswerRejectsMalformedMembers();
    void setConfigBody();
    void getConfigAnswerBody();
    void dottedAddresses();
    void refusedBodiesAreCounted();
};

void TestProtocolBodies::jsonObjectsAreParsedStrictly()
{
    const char* good[] = {R"({})", R"({"a":1})", " {\"a\":[1,2,{\"b\":null}]}\n", R"({"t":"x\u00e9\u0000y"})"};
    for (const char* text : good) {
        Json::Value v;
        QVERIFY2(decodeText(text, v) == DecodeStatus::Ok, text);
        QVERIFY(v.isObject());
    }
    const char* bad[] = {"",
                         "[]",
                         "[{}]",
                         "1",
                         "\"text\"",
                         "null",
                         "{",
                         "{}x",
                         "{}{}",
                         R"({"a":1,"a":2})",
                         "{/*c*/\"a\":1}",
                         "{\"a\":1} // c",
                         "{'a':1}",
                         R"({"a":NaN})",
                         R"({"a":1,})",
                         R"({a:1})"};
    for (const char* text : bad) {
        Json::Value v(42);
        QVERIFY2(decodeText(text, v) == DecodeStatus::Bad, text);
        QCOMPARE(v.asInt(), 42); // untouched
    }
    Json::Value v;
    QCOMPARE(decodeJsonObject(nullptr, 0, v), DecodeStatus::Bad);
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

void TestProtocolBodies::jsonEncodingIsCompactAndRoundTrips()
{
    Json::Value o(Json::objectValue);
    o["Name"] = "OPSystemUpgrade";
    o["Ret"] = 515;
    o["List"] = Json::Value(Json::arrayValue);
    o["List"].append(1);
    o["List"].append("two words");
    o["Nested"]["Deep"] = true;
    const Bytes body = encodeJson(o);
    const std::string text(body.begin(), body.end());
    QVERIFY(text.find('\n') == std::string::npos);
    QVERIFY(text.find(": ") == std::string::npos);
    QVERIFY(text.find(", ") == std::string::npos);
    QCOMPARE(text.front(), '{');
    QCOMPARE(text.back(), '}');
    Json::Value back;
    QCOMPARE(decodeJsonObject(body.data(), body.size(), back), DecodeStatus::Ok);
    QVERIFY(back == o);
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
    const Json::Value notObjects[] = {Json::Value(Json::arrayValue), Json::Value(5), Json::Value("x"), Json::Value()};
    for (const Json::Value& v : notObjects) {
        QVERIFY(!getInt(v, "i", i));
        QVERIFY(!getString(v, "s", s, 10));
    }
}

void TestProtocolBodies::searchAnswerRoundTrip()
{
    const SearchInfo in = sampleInfo();
    const Bytes body = encodeSearchAnswer(in);
    QVERIFY(body.size() <= maxBodyLength(MsgSearchAnswer));
    SearchInfo out;
    QCOMPARE(decodeSearchAnswer(body.data(), body.size(), out), DecodeStatus::Ok);
    QVERIFY(sameInfo(in, out));

    // The members as another implementation would read them.
    Json::Value o;
    QCOMPARE(decodeJsonObject(body.data(), body.size(), o), DecodeStatus::Ok);
    QCOMPARE(o.size(), Json::ArrayIndex(14));
    QCOMPARE(o["HostIP"].asString(), std::string("127.0.0.21"));
    QCOMPARE(o["Submask"].asString(), std::string("255.0.0.0"));
    QCOMPARE(o["GateWay"].asString(), std::string("127.0.0.1"));
    QCOMPARE(o["Ports"][1].asInt(), 34567);
    QCOMPARE(o["Flag"].asInt(), 255);

    // Empty optional texts survive as empty texts.
    SearchInfo bare = sampleInfo();
    bare.cloudId.clear();
    bare.version.clear();
    bare.hostName.clear();
    const Bytes bareBody = encodeSearchAnswer(bare);
    QCOMPARE(decodeSearchAnswer(bareBody.data(), bareBody.size(), out), DecodeStatus::Ok);
    QVERIFY(sameInfo(bare, out));
}

void TestProtocolBodies::searchAnswerTextLimits()
{
    struct Limit
    {
        const char* member;
        std::size_t max;
    };
    const Limit limits[] = {{"Token", 64}, {"HostName", 63}, {"MAC", 31}, {"CloudID", 38}, {"Version", 127}};
    for (const Limit& l : limits) {
        Json::Value o = sampleAnswerObject();
        o[l.member] = std::string(l.max, 'a');
        SearchInfo decoded;
        QVERIFY2(acceptsAnswer(o, &decoded), l.member);
        const std::string* field = nullptr;
        if (std::strcmp(l.member, "Token") == 0)
            field = &decoded.token;
        else if (std::strcmp(l.member, "HostName") == 0)
            field = &decoded.hostName;
        else if (std::strcmp(l.member, "MAC") == 0)
            field = &decoded.mac;
        else if (std::strcmp(l.member, "CloudID") == 0)
            field = &decoded.cloudId;
        else
            field = &decoded.version;
        QCOMPARE(*field, std::string(l.max, 'a'));

        o[l.member] = std::string(l.max + 1, 'a');
        QVERIFY2(!acceptsAnswer(o), l.member);
    }
    // A zero inside a record text would cut it short in the 560-byte record.
    for (const char* member : {"HostName", "MAC", "CloudID", "Version"}) {
        Json::Value o = sampleAnswerObject();
        o[member] = std::string("ab\0cd", 5);
        QVERIFY2(!acceptsAnswer(o), member);
    }
}

void TestProtocolBodies::searchAnswerRejectsMalformedMembers()
{
    for (const char* member : {"HostIP", "Submask", "GateWay"}) {
        for (const char* text : {"", "127.0.0", "127.0.0.256", "127.0.0.1 ", "127.0.0.-1", "localhost"}) {
            Json::Value o = sampleAnswerObject();
            o[member] = text;
            QVERIFY2(!acceptsAnswer(o), qPrintable(QString("%1=%2").arg(member, text)));
        }
        Json::Value o = sampleAnswerObject();
        o[member] = 2130706433; // a number, not a dotted text
        QVERIFY2(!acceptsAnswer(o), member);
    }

    auto withPorts = [](const Json::Value& ports) {
        Json::Value o = sampleAnswerObject();
        o["Ports"] = ports;
        return o;
    };
    Json::Value seven(Json::arrayValue), nine(Json::arrayValue), eight(Json::arrayValue);
    for (int i = 0; i < 9; ++i) {
        if (i < 7)
            seven.append(i);
        if (i < 8)
            eight.append(i);
        nine.append(i);
    }
    QVERIFY(acceptsAnswer(withPorts(eight)));
    QVERIFY(!acceptsAnswer(withPorts(seven)));
    QVERIFY(!acceptsAnswer(withPorts(nine)));
    QVERIFY(!acceptsAnswer(withPorts(Json::Value(Json::arrayValue))));
    QVERIFY(!acceptsAnswer(withPorts(Json::Value(34567))));
    const Json::Value wrongEntries[] = {Json::Value(1.5),
                                        Json::Value("80"),
                                        Json::Value(true),
                                        Json::Value(),
                                        Json::Value(Json::Int64(2147483648LL)),
                                        Json::Value(Json::Int64(-2147483649LL)),
                                        Json::Value(Json::arrayValue)};
    for (const Json::Value& entry : wrongEntries) {
        Json::Value ports = eight;
        ports[5] = entry;
        QVERIFY2(!acceptsAnswer(withPorts(ports)), entry.toStyledString().c_str());
    }

    // Integer members: type and range.
    struct IntCase
    {
        const char* member;
        Json::Value value;
        bool ok;
    };
    const IntCase ints[] = {
        {"Flag", Json::Value(0), true},
        {"Flag", Json::Value(256), false},
        {"Flag", Json::Value(-1), false},
        {"Flag", Json::Value("1"), false},
        {"DeviceKind", Json::Value(-5), true},
        {"DeviceKind", Json::Value(Json::Int64(1) << 31), false},
        {"BuildYear", Json::Value(2024.0), true},
        {"BuildYear", Json::Value(2024.5), false},
        {"BuildMonth", Json::Value(false), false},
        {"BuildDay", Json::Value(), false},
    };
    for (const IntCase& c : ints) {
        Json::Value o = sampleAnswerObject();
        o[c.member] = c.value;
        QVERIFY2(acceptsAnswer(o) == c.ok, c.member);
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

    // Not JSON, or larger than a discovery datagram may be.
    SearchInfo out;
    const Bytes junk = bytesOf("{\"Token\":");
    QCOMPARE(decodeSearchAnswer(junk.data(), junk.size(), out), DecodeStatus::Bad);
    Json::Value padded = sample;
    padded["HostName"] = "";
    const Bytes paddedBody = encodeJson(padded);
    const Bytes tooBig = bytesOf(std::string(5000, ' ') + std::string(paddedBody.begin(), paddedBody.end()));
    QCOMPARE(decodeSearchAnswer(tooBig.data(), tooBig.size(), out), DecodeStatus::Bad);
}

void TestProtocolBodies::setConfigBody()
{
    SetConfigBody in;
    in.command = 20;
    in.channel = -1;
    in.record = Bytes{9, 8, 7, 6, 5, 4, 3};
    const Bytes body = encodeSetConfig(in);
    const Bytes expected = {20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 8, 7, 6, 5, 4, 3};
    QCOMPARE(body, expected);

    // Every prefix: shorter than the fixed part is refused, anything longer is a (shorter) record.
    for (std::size_t n = 0; n <= body.size(); ++n) {
        SetConfigBody out;
        out.command = 777;
        const DecodeStatus st = decodeSetConfig(n == 0 ? nullptr : body.data(), n, out);
        if (n < 8) {
            QCOMPARE(st, DecodeStatus::Bad);
            QCOMPARE(out.command, 777);
        } else {
            QCOMPARE(st, DecodeStatus::Ok);
            QCOMPARE(out.command, 20);
            QCOMPARE(out.channel, -1);
            QCOMPARE(out.record, Bytes(body.begin() + 8, body.begin() + static_cast<std::ptrdiff_t>(n)));
        }
    }

    Bytes big(8 + kMaxRecordSize, 0xAB);
    SetConfigBody out;
    QCOMPARE(decodeSetConfig(big.data(), big.size(), out), DecodeStatus::Ok);
    QCOMPARE(out.record.size(), std::size_t(kMaxRecordSize));
    big.push_back(0);
    out.record.clear();
    QCOMPARE(decodeSetConfig(big.data(), big.size(), out), DecodeStatus::Bad);
    QVERIFY(out.record.empty());
}

void TestProtocolBodies::getConfigAnswerBody()
{
    GetConfigAnswer ok;
    ok.ret = kRetOk;
    ok.record = Bytes{1, 2, 3, 4, 5};
    const Bytes body = encodeGetConfigAnswer(ok);
    QCOMPARE(body, (Bytes{100, 0, 0, 0, 1, 2, 3, 4, 5}));
    for (std::size_t n = 0; n <= body.size(); ++n) {
        GetConfigAnswer out;
        out.ret = 1;
        const DecodeStatus st = decodeGetConfigAnswer(n == 0 ? nullptr : body.data(), n, out);
        if (n < 4) {
            QCOMPARE(st, DecodeStatus::Bad);
            QCOMPARE(out.ret, 1);
        } else {
            QCOMPARE(st, DecodeStatus::Ok);
            QCOMPARE(out.ret, kRetOk);
            QCOMPARE(out.record.size(), n - 4);
        }
    }

    // A failure carries its code only; a record after it is malformed, and the encoder never writes one.
    GetConfigAnswer failed;
    failed.ret = -11201;
    failed.record = Bytes{1, 2, 3};
    const Bytes failBody = encodeGetConfigAnswer(failed);
    QCOMPARE(failBody, (Bytes{0x3F, 0xD4, 0xFF, 0xFF}));
    GetConfigAnswer out;
    QCOMPARE(decodeGetConfigAnswer(failBody.data(), failBody.size(), out), DecodeStatus::Ok);
    QCOMPARE(out.ret, -11201);
    QVERIFY(out.record.empty());
    const Bytes failWithRecord = {0x3F, 0xD4, 0xFF, 0xFF, 0};
    out.ret = 5;
    QCOMPARE(decodeGetConfigAnswer(failWithRecord.data(), failWithRecord.size(), out), DecodeStatus::Bad);
    QCOMPARE(out.ret, 5);

    Bytes big(4 + kMaxRecordSize, 0);
    big[0] = 100;
    QCOMPARE(decodeGetConfigAnswer(big.data(), big.size(), out), DecodeStatus::Ok);
    QCOMPARE(out.record.size(), std::size_t(kMaxRecordSize));
    big.push_back(0);
    QCOMPARE(decodeGetConfigAnswer(big.data(), big.size(), out), DecodeStatus::Bad);
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
                         {"127.0.0.1", {127, 0, 0, 1}},
                         {"192.168.1.10", {192, 168, 1, 10}},
                         {"010.001.000.009", {10, 1, 0, 9}}}; // decimal, never octal
    for (const Good& g : good) {
        std::uint8_t out[4] = {1, 1, 1, 1};
        QVERIFY2(parseDotted(g.text, out), g.text);
        QVERIFY(std::memcmp(out, g.bytes, 4) == 0);
    }
    const std::string bad[] = {"",          "1.2.3",         "1.2.3.4.5",  "256.1.1.1",  "1.2.3.300",
                               "1.2.3.4 ",  " 1.2.3.4",      "+1.2.3.4",   "1.+2.3.4",   "1..3.4",
                               "1.2.3.",    ".1.2.3",        "0001.2.3.4", "1.2.3.0004", "a.b.c.d",
                               "1.2.3.-4",  "1,2,3,4",       "1.2.3.4.",   "0x7f.0.0.1", std::string("1.2.3.4\0", 8),
                               "1.2.3.4\n", "\xD9\xA1.2.3.4"};
    for (const std::string& text : bad) {
        std::uint8_t out[4] = {9, 9, 9, 9};
        QVERIFY2(!parseDotted(text, out), text.c_str());
        QVERIFY(out[0] == 9 && out[1] == 9 && out[2] == 9 && out[3] == 9);
    }

    for (const Good& g : good) {
        std::uint8_t back[4];
        QVERIFY(parseDotted(formatDotted(g.bytes), back));
        QVERIFY(std::memcmp(back, g.bytes, 4) == 0);
    }
    const std::uint8_t sample[4] = {127, 0, 10, 255};
    QCOMPARE(formatDotted(sample), std::string("127.0.10.255"));

    const std::uint8_t loop1[4] = {127, 0, 0, 1}, loop2[4] = {127, 255, 255, 255}, lan[4] = {192, 168, 1, 10},
                       near[4] = {126, 255, 255, 255}, zero[4] = {0, 0, 0, 0};
    QVERIFY(isLoopback(loop1));
    QVERIFY(isLoopback(loop2));
    QVERIFY(!isLoopback(lan));
    QVERIFY(!isLoopback(near));
    QVERIFY(!isLoopback(zero));
}

void TestProtocolBodies::refusedBodiesAreCounted()
{
    const ParserCounters before = parserCounters();
    Json::Value v;
    QCOMPARE(decodeText("{}", v), DecodeStatus::Ok);
    QCOMPARE(decodeText("[]", v), DecodeStatus::Bad);
    QCOMPARE(decodeText("{\"a\":1,\"a\":1}", v), DecodeStatus::Bad);

    SearchInfo info;
    const Bytes notJson = bytesOf("nope");
    QCOMPARE(decodeSearchAnswer(notJson.data(), notJson.size(), info), DecodeStatus::Bad);
    const Bytes empty = bytesOf("{}");
    QCOMPARE(decodeSearchAnswer(empty.data(), empty.size(), info), DecodeStatus::Bad);

    SetConfigBody set;
    GetConfigAnswer get;
    const Bytes shortBody = {1, 2, 3};
    QCOMPARE(decodeSetConfig(shortBody.data(), shortBody.size(), set), DecodeStatus::Bad);
    QCOMPARE(decodeGetConfigAnswer(shortBody.data(), shortBody.size(), get), DecodeStatus::Bad);
    const Bytes okAnswer = {100, 0, 0, 0};
    QCOMPARE(decodeGetConfigAnswer(okAnswer.data(), okAnswer.size(), get), DecodeStatus::Ok);

    const ParserCounters after = parserCounters();
    QCOMPARE(after.badJsonBodies, before.badJsonBodies + 2);
    // A search answer that is not even JSON counts as a bad answer, once.
    QCOMPARE(after.badSearchAnswers, before.badSearchAnswers + 2);
    QCOMPARE(after.badBinaryBodies, before.badBinaryBodies + 2);
    QCOMPARE(after.badFrames, before.badFrames);
}

QTEST_APPLESS_MAIN(TestProtocolBodies)
#include "tst_protocol_bodies.moc"
