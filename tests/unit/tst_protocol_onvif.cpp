// The SOAP readers: answers that are cut, huge, nested too deep, in the wrong namespace, entity
// tricks; namespaces by URI, not by prefix; the UsernameToken digest against a value another
// implementation produced. A fault's subcode, which the library maps to its codes, is read in
// tst_onvif (a wrong password).

#include <QtTest>

#include "protocol/onvif.h"

namespace ov = protocol::onvif;
Q_DECLARE_METATYPE(ov::Status)

namespace {

const char* kInfo = "<tds:GetDeviceInformationResponse><tds:Manufacturer>M</tds:Manufacturer><tds:Model>X-1</tds:Model>"
                    "<tds:FirmwareVersion>1.2</tds:FirmwareVersion><tds:SerialNumber>S9</tds:SerialNumber>"
                    "<tds:HardwareId>H7</tds:HardwareId></tds:GetDeviceInformationResponse>";

/// Parses `text` and reads it as device information: the first status that is not Ok.
ov::Status readInfo(const std::string& text, ov::DeviceInformation& out)
{
    ov::Envelope e;
    const ov::Status st = ov::parseEnvelope(text.data(), text.size(), e);
    return st == ov::Status::Ok ? ov::readDeviceInformation(e, out) : st;
}

} // namespace

class TestProtocolOnvif : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void digestMatchesAnotherImplementation();
    void probeMatchesBelongToTheirProbe();
    void timesAndDurations();
};

void TestProtocolOnvif::answers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<ov::Status>("status");
    const std::string good = ov::envelope({}, kInfo);
    std::string deep = "<tds:GetDeviceInformationResponse>";
    for (int i = 0; i < 40; ++i)
        deep += "<tds:X>";
    for (int i = 0; i < 40; ++i)
        deep += "</tds:X>";
    deep += "</tds:GetDeviceInformationResponse>";
    std::string wrongNs = good;
    wrongNs.replace(wrongNs.find(ov::ns::kDevice), std::strlen(ov::ns::kDevice),
                    "http://www.onvif.org/ver20/device/wsdl");
    std::string longText =
        ov::envelope({}, std::string(kInfo).replace(std::strlen("<tds:GetDeviceInformationResponse>") +
                                                        std::strlen("<tds:Manufacturer>"),
                                                    1, std::string(ov::kMaxText + 1, 'm')));

    QTest::newRow("good") << QByteArray::fromStdString(good) << ov::Status::Ok;
    // Other prefixes, and a default namespace, for the same URIs.
    QTest::newRow("other prefixes") << QByteArray(
                                           "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>"
                                           "<GetDeviceInformationResponse xmlns=\"http://www.onvif.org/ver10/device/"
                                           "wsdl\"><Manufacturer>M</Manufacturer><Model>X-1</Model><FirmwareVersion>"
                                           "1.2</FirmwareVersion><SerialNumber>S9</SerialNumber><HardwareId>H7"
                                           "</HardwareId></GetDeviceInformationResponse></e:Body></e:Envelope>")
                                    << ov::Status::Ok;
    QTest::newRow("cut") << QByteArray::fromStdString(good.substr(0, good.size() / 2)) << ov::Status::NotXml;
    QTest::newRow("huge") << QByteArray::fromStdString(good + std::string(ov::kMaxMessage, ' '))
                          << ov::Status::TooLarge;
    QTest::newRow("too deep") << QByteArray::fromStdString(ov::envelope({}, deep)) << ov::Status::NotXml;
    QTest::newRow("soap 1.1") << QByteArray("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                                            "<x/></s:Body></s:Envelope>")
                              << ov::Status::NotSoap;
    QTest::newRow("other service") << QByteArray::fromStdString(wrongNs) << ov::Status::Unexpected;
    QTest::newRow("field missing") << QByteArray::fromStdString(
                                          ov::envelope({}, "<tds:GetDeviceInformationResponse><tds:Model>X</tds:Model>"
                                                           "</tds:GetDeviceInformationResponse>"))
                                   << ov::Status::Malformed;
    QTest::newRow("text too long") << QByteArray::fromStdString(longText) << ov::Status::Malformed;
    QTest::newRow("empty") << QByteArray() << ov::Status::NotXml;
    // A document type with entities is not read: nothing expands.
    QTest::newRow("entities") << QByteArray(
                                     "<!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
                                     "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>"
                                     "<GetDeviceInformationResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\">"
                                     "<Manufacturer>&b;</Manufacturer><Model/><FirmwareVersion/><SerialNumber/>"
                                     "<HardwareId/></GetDeviceInformationResponse></s:Body></s:Envelope>")
                              << ov::Status::Ok;
}

void TestProtocolOnvif::answers()
{
    QFETCH(QByteArray, text);
    QFETCH(ov::Status, status);
    ov::DeviceInformation info;
    QCOMPARE(readInfo(text.toStdString(), info), status);
    if (status == ov::Status::Ok && info.model == "X-1")
        QCOMPARE(QString::fromStdString(info.hardwareId), QStringLiteral("H7"));
    QVERIFY(info.manufacturer.size() <= 16);
}

void TestProtocolOnvif::digestMatchesAnotherImplementation()
{
    // Nonce, time and digest as another ONVIF client sent them for the password "pw".
    std::string nonce;
    QVERIFY(ov::unbase64("dkEojxW+w0wbxGyqd9Dt/6I9gBg=", nonce, 64));
    QCOMPARE(QString::fromStdString(ov::passwordDigest(nonce, "2026-12-06T17:31:19.108Z", "pw")),
             QStringLiteral("fDHp61jwAXVeR0d64a0x/SULIWc="));
    QVERIFY(!ov::unbase64("not*base64", nonce, 64));
    // The headers we write are read by the emulator's device service: tst_onvif's logins.
}

void TestProtocolOnvif::probeMatchesBelongToTheirProbe()
{
    const std::string body =
        "<d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:1</wsa:Address>"
        "</wsa:EndpointReference><d:Scopes>onvif://www.onvif.org/MAC/02:00:00:00:00:01</d:Scopes>"
        "<d:XAddrs>http://127.0.0.9/onvif/device_service http://[::1]/x</d:XAddrs></d:ProbeMatch>"
        "</d:ProbeMatches>";
    const std::string text = ov::envelope("<wsa:RelatesTo>urn:uuid:probe</wsa:RelatesTo>", body);
    ov::Envelope e;
    QCOMPARE(ov::parseEnvelope(text.data(), text.size(), e), ov::Status::Ok);
    std::vector<ov::ProbeMatch> matches;
    QCOMPARE(ov::readProbeMatches(e, "urn:uuid:other", matches), ov::Status::Unexpected);
    QCOMPARE(ov::readProbeMatches(e, "urn:uuid:probe", matches), ov::Status::Ok);
    QCOMPARE(int(matches.size()), 1);
    QCOMPARE(int(matches[0].xaddrs.size()), 2);
    std::uint8_t ip[4];
    std::uint16_t port = 0;
    std::string path;
    QVERIFY(ov::splitHttpUrl(matches[0].xaddrs[0], ip, port, path));
    QCOMPARE(int(port), 80);
    QVERIFY(!ov::splitHttpUrl(matches[0].xaddrs[1], ip, port, path)); // no name or IPv6 host is looked up
    QVERIFY(!ov::splitHttpUrl("http://camera.local/onvif", ip, port, path));
}

void TestProtocolOnvif::timesAndDurations()
{
    std::time_t t = 0;
    QVERIFY(ov::parseUtc("2024-02-29T23:59:58.5Z", t));
    QCOMPARE(QString::fromStdString(ov::formatUtc(t)), QStringLiteral("2024-02-29T23:59:58Z"));
    QVERIFY(!ov::parseUtc("2024-02-29T23:59:58+01:00", t));
    long s = 0; // the durations a device gives are read on each ONVIF upgrade (tst_onvif)
    for (const char* bad : {"PT", "1S", "PTS", "PT5", "PT99999999999S"})
        QVERIFY2(!ov::parseDuration(bad, s), bad);
}

QTEST_GUILESS_MAIN(TestProtocolOnvif)
#include "tst_protocol_onvif.moc"
