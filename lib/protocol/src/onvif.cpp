#include "protocol/onvif.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include "protocol/codec.h"

namespace protocol::onvif {

namespace {

/// The namespace a prefix stands for at `node`, looking at the node and its ancestors.
std::string resolvePrefix(pugi::xml_node node, const std::string& prefix)
{
    const std::string attribute = prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix;
    for (pugi::xml_node n = node; n; n = n.parent()) {
        if (n.type() != pugi::node_element)
            continue;
        if (const pugi::xml_attribute a = n.attribute(attribute.c_str()))
            return a.value();
    }
    return {};
}

std::string trimmed(const char* s)
{
    std::string t(s);
    const auto b = t.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = t.find_last_not_of(" \t\r\n");
    return t.substr(b, e - b + 1);
}

/// Deepest element nesting, walked without recursion; stops counting past the limit.
bool depthWithin(const pugi::xml_document& doc, int limit)
{
    pugi::xml_node n = doc.first_child();
    int depth = 1;
    while (n) {
        if (depth > limit)
            return false;
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
        }
        if (n)
            n = n.next_sibling();
    }
    return true;
}

pugi::xml_node firstElement(pugi::xml_node node)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            return c;
    return {};
}

/// The local name of a QName text ("ter:NotAuthorized" -> "NotAuthorized").
std::string qnameLocal(const std::string& qname)
{
    const auto colon = qname.find(':');
    return colon == std::string::npos ? qname : qname.substr(colon + 1);
}

void readFault(pugi::xml_node fault, Fault& out)
{
    const pugi::xml_node code = child(fault, ns::kSoap, "Code");
    std::string value;
    if (childText(code, ns::kSoap, "Value", value))
        out.code = qnameLocal(value);
    // The innermost subcode names the reason most precisely.
    pugi::xml_node sub = child(code, ns::kSoap, "Subcode");
    for (int i = 0; sub && i < kMaxDepth; ++i) {
        if (childText(sub, ns::kSoap, "Value", value))
            out.subcode = qnameLocal(value);
        sub = child(sub, ns::kSoap, "Subcode");
    }
    const pugi::xml_node reason = child(fault, ns::kSoap, "Reason");
    if (!childText(reason, ns::kSoap, "Text", out.reason))
        out.reason.clear();
}

bool parseIntText(const std::string& t, long min, long max, long& out)
{
    if (t.empty() || t.size() > 12)
        return false;
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (*end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

/// Splits a whitespace-separated list (Types, Scopes, XAddrs), at most kMaxItems entries.
std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size() && out.size() < kMaxItems) {
        const auto b = text.find_first_not_of(" \t\r\n", pos);
        if (b == std::string::npos)
            break;
        const auto e = text.find_first_of(" \t\r\n", b);
        out.push_back(text.substr(b, e == std::string::npos ? std::string::npos : e - b));
        pos = e == std::string::npos ? text.size() : e;
    }
    return out;
}

} // namespace

// ---- parsing ------------------------------------------------------------------------------------

Status parseEnvelope(const char* data, std::size_t size, Envelope& out)
{
    out.header = pugi::xml_node();
    out.payload = pugi::xml_node();
    out.fault = Fault();
    if (size > kMaxMessage)
        return Status::TooLarge;
    if (!data || size == 0)
        return Status::NotXml;
    // No document type, no entities beyond the five predefined ones: nothing expands.
    const unsigned options = pugi::parse_default & ~pugi::parse_doctype;
    if (!out.document.load_buffer(data, size, options, pugi::encoding_utf8))
        return Status::NotXml;
    if (!depthWithin(out.document, kMaxDepth))
        return Status::NotXml;
    const pugi::xml_node root = out.document.document_element();
    if (!is(root, ns::kSoap, "Envelope"))
        return Status::NotSoap;
    const pugi::xml_node body = child(root, ns::kSoap, "Body");
    if (!body)
        return Status::NotSoap;
    out.header = firstElement(child(root, ns::kSoap, "Header"));
    out.payload = firstElement(body);
    if (!out.payload)
        return Status::NotSoap;
    if (is(out.payload, ns::kSoap, "Fault")) {
        readFault(out.payload, out.fault);
        return Status::Fault;
    }
    return Status::Ok;
}

std::string namespaceOf(pugi::xml_node node)
{
    if (node.type() != pugi::node_element)
        return {};
    const char* name = node.name();
    const char* colon = std::strchr(name, ':');
    return resolvePrefix(node, colon ? std::string(name, colon) : std::string());
}

std::string localName(pugi::xml_node node)
{
    const char* name = node.name();
    const char* colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(pugi::xml_node node, const char* nsUri, const char* local)
{
    return node && node.type() == pugi::node_element && localName(node) == local && namespaceOf(node) == nsUri;
}

pugi::xml_node child(pugi::xml_node node, const char* nsUri, const char* local)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (is(c, nsUri, local))
            return c;
    return {};
}

std::vector<pugi::xml_node> children(pugi::xml_node node, const char* nsUri, const char* local)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c = node.first_child(); c && out.size() < kMaxItems; c = c.next_sibling())
        if (is(c, nsUri, local))
            out.push_back(c);
    return out;
}

bool text(pugi::xml_node node, std::string& out)
{
    const char* t = node.child_value();
    if (std::strlen(t) > kMaxText)
        return false;
    out = trimmed(t);
    return true;
}

bool childText(pugi::xml_node node, const char* nsUri, const char* local, std::string& out)
{
    const pugi::xml_node c = child(node, nsUri, local);
    return c && text(c, out);
}

bool parseBool(const std::string& t, bool& out)
{
    if (t == "true" || t == "1")
        out = true;
    else if (t == "false" || t == "0")
        out = false;
    else
        return false;
    return true;
}

bool parseUtc(const std::string& t, std::time_t& out)
{
    // YYYY-MM-DDThh:mm:ss[.fff]Z
    if (t.size() < 20 || t.size() > 40 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t.back() != 'Z')
        return false;
    long y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!parseIntText(t.substr(0, 4), 1970, 9999, y) || !parseIntText(t.substr(5, 2), 1, 12, mo) ||
        !parseIntText(t.substr(8, 2), 1, 31, d) || !parseIntText(t.substr(11, 2), 0, 23, h) ||
        !parseIntText(t.substr(14, 2), 0, 59, mi) || !parseIntText(t.substr(17, 2), 0, 60, s))
        return false;
    const std::string rest = t.substr(19, t.size() - 20);
    if (!rest.empty() &&
        (rest[0] != '.' || rest.size() < 2 || rest.find_first_not_of("0123456789", 1) != std::string::npos))
        return false;
    std::tm tm = {};
    tm.tm_year = int(y) - 1900;
    tm.tm_mon = int(mo) - 1;
    tm.tm_mday = int(d);
    tm.tm_hour = int(h);
    tm.tm_min = int(mi);
    tm.tm_sec = int(s);
    out = timegm(&tm);
    return true;
}

std::string formatUtc(std::time_t t)
{
    std::tm tm = {};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

bool parseDuration(const std::string& t, long& seconds)
{
    if (t.size() < 3 || t.size() > 32 || t[0] != 'P')
        return false;
    long total = 0;
    bool inTime = false;
    long number = -1;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            number = (number < 0 ? 0 : number) * 10 + (c - '0');
            if (number > 100000000)
                return false;
            continue;
        }
        if (c == 'T' && number < 0 && !inTime) {
            inTime = true;
            continue;
        }
        if (number < 0)
            return false;
        long unit = 0;
        if (c == 'D' && !inTime)
            unit = 86400;
        else if (c == 'H' && inTime)
            unit = 3600;
        else if (c == 'M' && inTime)
            unit = 60;
        else if (c == 'S' && inTime)
            unit = 1;
        else
            return false;
        total += number * unit;
        number = -1;
    }
    if (number >= 0)
        return false;
    seconds = total;
    return true;
}

// ---- building -----------------------------------------------------------------------------------

std::string escape(const std::string& t)
{
    std::string out;
    out.reserve(t.size());
    for (const char c : t) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string envelope(const std::string& headerXml, const std::string& bodyXml)
{
    std::string e = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s:Envelope xmlns:s=\"";
    e += ns::kSoap;
    e += "\" xmlns:tds=\"";
    e += ns::kDevice;
    e += "\" xmlns:trt=\"";
    e += ns::kMedia;
    e += "\" xmlns:tt=\"";
    e += ns::kSchema;
    e += "\" xmlns:ter=\"";
    e += ns::kError;
    e += "\" xmlns:wsse=\"";
    e += ns::kWsse;
    e += "\" xmlns:wsu=\"";
    e += ns::kWsu;
    e += "\" xmlns:d=\"";
    e += ns::kDiscovery;
    e += "\" xmlns:wsa=\"";
    e += ns::kAddressing;
    e += "\" xmlns:dn=\"";
    e += ns::kNetwork;
    e += "\">";
    if (!headerXml.empty())
        e += "<s:Header>" + headerXml + "</s:Header>";
    e += "<s:Body>" + bodyXml + "</s:Body></s:Envelope>\n";
    return e;
}

std::string passwordDigest(const std::string& nonce, const std::string& created, const std::string& password)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(nonce.data(), qsizetype(nonce.size())));
    hash.addData(QByteArrayView(created.data(), qsizetype(created.size())));
    hash.addData(QByteArrayView(password.data(), qsizetype(password.size())));
    return hash.result().toBase64().toStdString();
}

std::string base64(const std::string& bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64().toStdString();
}

bool unbase64(const std::string& t, std::string& out, std::size_t maxBytes)
{
    if (t.size() > (maxBytes + 2) / 3 * 4)
        return false;
    const auto r = QByteArray::fromBase64Encoding(QByteArray(t.data(), qsizetype(t.size())),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!r)
        return false;
    out.assign(r.decoded.constData(), std::size_t(r.decoded.size()));
    return out.size() <= maxBytes;
}

std::string securityHeader(const std::string& user, const std::string& password, const std::string& nonce,
                           std::time_t created)
{
    const std::string createdText = formatUtc(created);
    std::string h = "<wsse:Security s:mustUnderstand=\"1\"><wsse:UsernameToken><wsse:Username>";
    h += escape(user);
    h += "</wsse:Username><wsse:Password Type=\"";
    h += kPasswordDigestType;
    h += "\">";
    h += passwordDigest(nonce, createdText, password);
    h += "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
         "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">";
    h += base64(nonce);
    h += "</wsse:Nonce><wsu:Created>";
    h += createdText;
    h += "</wsu:Created></wsse:UsernameToken></wsse:Security>";
    return h;
}

std::string randomBytes(std::size_t count)
{
    std::string out(count, '\0');
    for (auto& c : out)
        c = static_cast<char>(QRandomGenerator::system()->generate() & 0xFF);
    return out;
}

std::string randomUuidUrn()
{
    std::string b = randomBytes(16);
    b[6] = static_cast<char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<char>((b[8] & 0x3F) | 0x80);
    static const char* hex = "0123456789abcdef";
    std::string out = "urn:uuid:";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += hex[(static_cast<unsigned char>(b[i]) >> 4) & 0xF];
        out += hex[static_cast<unsigned char>(b[i]) & 0xF];
    }
    return out;
}

// ---- device side: the security header -------------------------------------------------------------

Status readUsernameToken(const Envelope& e, UsernameToken& out)
{
    out = UsernameToken();
    pugi::xml_node security;
    for (pugi::xml_node h = e.header; h; h = h.next_sibling())
        if (is(h, ns::kWsse, "Security")) {
            security = h;
            break;
        }
    const pugi::xml_node token = child(security, ns::kWsse, "UsernameToken");
    if (!token)
        return Status::Ok;
    out.present = true;
    const pugi::xml_node password = child(token, ns::kWsse, "Password");
    if (!childText(token, ns::kWsse, "Username", out.user) || !password || !text(password, out.password))
        return Status::Malformed;
    const std::string type = password.attribute("Type").value();
    out.digest = type == kPasswordDigestType;
    if (!out.digest && !type.empty() && type.find("#PasswordText") == std::string::npos)
        return Status::Malformed;
    std::string nonce;
    if (childText(token, ns::kWsse, "Nonce", nonce) && !unbase64(nonce, out.nonce, 256))
        return Status::Malformed;
    if (!childText(token, ns::kWsu, "Created", out.created))
        out.created.clear();
    return Status::Ok;
}

// ---- client side: answers -------------------------------------------------------------------------

Status expect(const Envelope& e, Status parsed, const char* nsUri, const char* local)
{
    if (parsed != Status::Ok)
        return parsed;
    return is(e.payload, nsUri, local) ? Status::Ok : Status::Unexpected;
}

Status readDeviceInformation(const Envelope& e, DeviceInformation& out)
{
    if (!is(e.payload, ns::kDevice, "GetDeviceInformationResponse"))
        return Status::Unexpected;
    const pugi::xml_node p = e.payload;
    if (!childText(p, ns::kDevice, "Manufacturer", out.manufacturer) ||
        !childText(p, ns::kDevice, "Model", out.model) ||
        !childText(p, ns::kDevice, "FirmwareVersion", out.firmwareVersion) ||
        !childText(p, ns::kDevice, "SerialNumber", out.serialNumber) ||
        !childText(p, ns::kDevice, "HardwareId", out.hardwareId))
        return Status::Malformed;
    return Status::Ok;
}

Status readSystemDateAndTime(const Envelope& e, SystemDateAndTime& out)
{
    if (!is(e.payload, ns::kDevice, "GetSystemDateAndTimeResponse"))
        return Status::Unexpected;
    const pugi::xml_node sdt = child(e.payload, ns::kDevice, "SystemDateAndTime");
    const pugi::xml_node utc = child(sdt, ns::kSchema, "UTCDateTime");
    const pugi::xml_node date = child(utc, ns::kSchema, "Date");
    const pugi::xml_node time = child(utc, ns::kSchema, "Time");
    if (!childText(sdt, ns::kSchema, "DateTimeType", out.dateTimeType))
        return Status::Malformed;
    std::string y, mo, d, h, mi, s;
    long vy = 0, vmo = 0, vd = 0, vh = 0, vmi = 0, vs = 0;
    if (!childText(date, ns::kSchema, "Year", y) || !childText(date, ns::kSchema, "Month", mo) ||
        !childText(date, ns::kSchema, "Day", d) || !childText(time, ns::kSchema, "Hour", h) ||
        !childText(time, ns::kSchema, "Minute", mi) || !childText(time, ns::kSchema, "Second", s) ||
        !parseIntText(y, 1970, 9999, vy) || !parseIntText(mo, 1, 12, vmo) || !parseIntText(d, 1, 31, vd) ||
        !parseIntText(h, 0, 23, vh) || !parseIntText(mi, 0, 59, vmi) || !parseIntText(s, 0, 60, vs))
        return Status::Malformed;
    std::tm tm = {};
    tm.tm_year = int(vy) - 1900;
    tm.tm_mon = int(vmo) - 1;
    tm.tm_mday = int(vd);
    tm.tm_hour = int(vh);
    tm.tm_min = int(vmi);
    tm.tm_sec = int(vs);
    out.utc = timegm(&tm);
    return Status::Ok;
}

Status readNetworkInterfaces(const Envelope& e, std::vector<NetworkInterface>& out)
{
    out.clear();
    if (!is(e.payload, ns::kDevice, "GetNetworkInterfacesResponse"))
        return Status::Unexpected;
    for (const pugi::xml_node n : children(e.payload, ns::kDevice, "NetworkInterfaces")) {
        NetworkInterface ni;
        ni.token = n.attribute("token").value();
        std::string t;
        if (ni.token.empty() || ni.token.size() > 64 || !childText(n, ns::kSchema, "Enabled", t) ||
            !parseBool(t, ni.enabled))
            return Status::Malformed;
        if (!childText(child(n, ns::kSchema, "Info"), ns::kSchema, "HwAddress", ni.hwAddress))
            ni.hwAddress.clear();
        const pugi::xml_node ipv4 = child(n, ns::kSchema, "IPv4");
        if (ipv4) {
            const pugi::xml_node config = child(ipv4, ns::kSchema, "Config");
            if (!childText(ipv4, ns::kSchema, "Enabled", t) || !parseBool(t, ni.ipv4Enabled) ||
                !childText(config, ns::kSchema, "DHCP", t) || !parseBool(t, ni.dhcp))
                return Status::Malformed;
            pugi::xml_node address = child(config, ns::kSchema, "Manual");
            if (!address)
                address = child(config, ns::kSchema, "FromDHCP");
            if (address) {
                long prefix = 0;
                if (!childText(address, ns::kSchema, "Address", ni.address) ||
                    !childText(address, ns::kSchema, "PrefixLength", t) || !parseIntText(t, 0, 32, prefix))
                    return Status::Malformed;
                ni.prefixLength = int(prefix);
            }
        }
        out.push_back(ni);
    }
    return Status::Ok;
}

Status readDefaultGateway(const Envelope& e, std::vector<std::string>& ipv4)
{
    ipv4.clear();
    if (!is(e.payload, ns::kDevice, "GetNetworkDefaultGatewayResponse"))
        return Status::Unexpected;
    const pugi::xml_node g = child(e.payload, ns::kDevice, "NetworkGateway");
    if (!g)
        return Status::Malformed;
    for (const pugi::xml_node a : children(g, ns::kSchema, "IPv4Address")) {
        std::string t;
        if (!text(a, t))
            return Status::Malformed;
        ipv4.push_back(t);
    }
    return Status::Ok;
}

Status readNtp(const Envelope& e, NtpInformation& out)
{
    out = NtpInformation();
    if (!is(e.payload, ns::kDevice, "GetNTPResponse"))
        return Status::Unexpected;
    const pugi::xml_node info = child(e.payload, ns::kDevice, "NTPInformation");
    std::string t;
    if (!childText(info, ns::kSchema, "FromDHCP", t) || !parseBool(t, out.fromDhcp))
        return Status::Malformed;
    for (const pugi::xml_node m : children(info, ns::kSchema, "NTPManual")) {
        std::string type, server;
        if (!childText(m, ns::kSchema, "Type", type))
            return Status::Malformed;
        const char* field = type == "IPv4"   ? "IPv4Address"
                            : type == "DNS"  ? "DNSname"
                            : type == "IPv6" ? "IPv6Address"
                                             : nullptr;
        if (!field || !childText(m, ns::kSchema, field, server))
            return Status::Malformed;
        out.servers.push_back(server);
    }
    return Status::Ok;
}

Status readHostname(const Envelope& e, std::string& name)
{
    if (!is(e.payload, ns::kDevice, "GetHostnameResponse"))
        return Status::Unexpected;
    const pugi::xml_node info = child(e.payload, ns::kDevice, "HostnameInformation");
    if (!info)
        return Status::Malformed;
    if (!childText(info, ns::kSchema, "Name", name))
        name.clear(); // optional: a device may have no name
    return Status::Ok;
}

Status readRebootNeeded(const Envelope& e, bool& rebootNeeded)
{
    if (!is(e.payload, ns::kDevice, "SetNetworkInterfacesResponse"))
        return Status::Unexpected;
    std::string t;
    if (!childText(e.payload, ns::kDevice, "RebootNeeded", t) || !parseBool(t, rebootNeeded))
        return Status::Malformed;
    return Status::Ok;
}

Status readStartFirmwareUpgrade(const Envelope& e, FirmwareUpload& out)
{
    if (!is(e.payload, ns::kDevice, "StartFirmwareUpgradeResponse"))
        return Status::Unexpected;
    std::string delay, down;
    if (!childText(e.payload, ns::kDevice, "UploadUri", out.uploadUri) || out.uploadUri.empty() ||
        !childText(e.payload, ns::kDevice, "UploadDelay", delay) ||
        !childText(e.payload, ns::kDevice, "ExpectedDownTime", down) || !parseDuration(delay, out.uploadDelay) ||
        !parseDuration(down, out.expectedDownTime))
        return Status::Malformed;
    return Status::Ok;
}

// ---- media service -----------------------------------------------------------------------------------

namespace {

bool readNumber(pugi::xml_node node, const char* local, long min, long max, long& out)
{
    std::string t;
    return childText(node, ns::kSchema, local, t) && parseIntText(t, min, max, out);
}

bool readReal(const std::string& t, double& out)
{
    if (t.empty() || t.size() > 24)
        return false;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !(v >= -1e6 && v <= 1e6))
        return false;
    out = v;
    return true;
}

Status readEncoder(pugi::xml_node n, VideoEncoderConfig& out)
{
    out = VideoEncoderConfig();
    out.token = n.attribute("token").value();
    const pugi::xml_node resolution = child(n, ns::kSchema, "Resolution");
    const pugi::xml_node rate = child(n, ns::kSchema, "RateControl");
    long width = 0, height = 0, value = 0;
    std::string quality;
    if (out.token.empty() || out.token.size() > 64 || !childText(n, ns::kSchema, "Encoding", out.encoding) ||
        !readNumber(resolution, "Width", 1, 16384, width) || !readNumber(resolution, "Height", 1, 16384, height) ||
        !childText(n, ns::kSchema, "Quality", quality) || !readReal(quality, out.quality))
        return Status::Malformed;
    out.width = int(width);
    out.height = int(height);
    if (rate) {
        if (!readNumber(rate, "FrameRateLimit", 0, 1000, value))
            return Status::Malformed;
        out.frameRateLimit = int(value);
        if (!readNumber(rate, "BitrateLimit", 0, 10000000, value))
            return Status::Malformed;
        out.bitrateLimit = int(value);
    }
    for (const char* codec : {"H264", "MPEG4"}) {
        const pugi::xml_node settings = child(n, ns::kSchema, codec);
        if (settings && child(settings, ns::kSchema, "GovLength")) {
            if (!readNumber(settings, "GovLength", 0, 100000, value))
                return Status::Malformed;
            out.govLength = int(value);
        }
    }
    return Status::Ok;
}

Status readRange(pugi::xml_node range, double& min, double& max)
{
    std::string a, b;
    if (!childText(range, ns::kSchema, "Min", a) || !childText(range, ns::kSchema, "Max", b) || !readReal(a, min) ||
        !readReal(b, max) || min > max)
        return Status::Malformed;
    return Status::Ok;
}

} // namespace

Status readProfiles(const Envelope& e, std::vector<MediaProfile>& out)
{
    out.clear();
    if (!is(e.payload, ns::kMedia, "GetProfilesResponse"))
        return Status::Unexpected;
    for (const pugi::xml_node p : children(e.payload, ns::kMedia, "Profiles")) {
        MediaProfile profile;
        profile.token = p.attribute("token").value();
        if (profile.token.empty() || profile.token.size() > 64)
            return Status::Malformed;
        const pugi::xml_node encoder = child(p, ns::kSchema, "VideoEncoderConfiguration");
        if (encoder) {
            if (readEncoder(encoder, profile.encoder) != Status::Ok)
                return Status::Malformed;
            profile.hasEncoder = true;
        }
        out.push_back(std::move(profile));
    }
    return Status::Ok;
}

Status readVideoEncoderConfiguration(const Envelope& e, VideoEncoderConfig& out)
{
    if (!is(e.payload, ns::kMedia, "GetVideoEncoderConfigurationResponse"))
        return Status::Unexpected;
    return readEncoder(child(e.payload, ns::kMedia, "Configuration"), out);
}

Status readVideoEncoderOptions(const Envelope& e, VideoEncoderOptions& out)
{
    out = VideoEncoderOptions();
    if (!is(e.payload, ns::kMedia, "GetVideoEncoderConfigurationOptionsResponse"))
        return Status::Unexpected;
    const pugi::xml_node options = child(e.payload, ns::kMedia, "Options");
    if (!options ||
        readRange(child(options, ns::kSchema, "QualityRange"), out.qualityMin, out.qualityMax) != Status::Ok)
        return Status::Malformed;
    struct Codec
    {
        const char* name;
        std::vector<Size>* sizes;
        bool* present;
    };
    for (const Codec& c : {Codec{"H264", &out.h264, &out.hasH264}, Codec{"JPEG", &out.jpeg, &out.hasJpeg},
                           Codec{"MPEG4", &out.mpeg4, &out.hasMpeg4}}) {
        const pugi::xml_node codec = child(options, ns::kSchema, c.name);
        if (!codec)
            continue;
        *c.present = true;
        for (const pugi::xml_node r : children(codec, ns::kSchema, "ResolutionsAvailable")) {
            long width = 0, height = 0;
            if (!readNumber(r, "Width", 1, 16384, width) || !readNumber(r, "Height", 1, 16384, height))
                return Status::Malformed;
            c.sizes->push_back(Size{int(width), int(height)});
        }
        double min = 0, max = 0;
        if (child(codec, ns::kSchema, "FrameRateRange")) {
            if (readRange(child(codec, ns::kSchema, "FrameRateRange"), min, max) != Status::Ok)
                return Status::Malformed;
            out.frameRateMax = std::max(out.frameRateMax, int(std::min(max, 1000.0)));
        }
        if (child(codec, ns::kSchema, "GovLengthRange")) {
            if (readRange(child(codec, ns::kSchema, "GovLengthRange"), min, max) != Status::Ok)
                return Status::Malformed;
            out.govLengthMin = int(std::max(min, 0.0));
            out.govLengthMax = int(std::min(max, 100000.0));
        }
    }
    return Status::Ok;
}

Status readMediaAddress(const Envelope& e, std::string& xaddr)
{
    if (!is(e.payload, ns::kDevice, "GetCapabilitiesResponse"))
        return Status::Unexpected;
    const pugi::xml_node media = child(child(e.payload, ns::kDevice, "Capabilities"), ns::kSchema, "Media");
    if (!childText(media, ns::kSchema, "XAddr", xaddr) || xaddr.empty())
        return Status::Malformed;
    return Status::Ok;
}

Status readStreamUri(const Envelope& e, std::string& uri)
{
    if (!is(e.payload, ns::kMedia, "GetStreamUriResponse"))
        return Status::Unexpected;
    if (!childText(child(e.payload, ns::kMedia, "MediaUri"), ns::kSchema, "Uri", uri) || uri.empty())
        return Status::Malformed;
    return Status::Ok;
}

namespace {

/// The child (ns, local) of `node`, appended with the prefix `prefix` when missing.
pugi::xml_node ensureChild(pugi::xml_node node, const char* nsUri, const char* local, const char* prefix)
{
    pugi::xml_node c = child(node, nsUri, local);
    return c ? c : node.append_child((std::string(prefix) + ":" + local).c_str());
}

void setText(pugi::xml_node node, const std::string& value)
{
    while (node.first_child())
        node.remove_child(node.first_child());
    node.append_child(pugi::node_pcdata).set_value(value.c_str());
}

struct StringWriter : pugi::xml_writer
{
    std::string text;
    void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
};

std::string number(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

} // namespace

std::string setVideoEncoderConfigurationBody(const Envelope& current, const VideoEncoderConfig& want)
{
    const pugi::xml_node configuration = child(current.payload, ns::kMedia, "Configuration");
    if (!configuration)
        return {};
    // Prefixes of our own, declared on the request's element, for what we name ourselves; the copied
    // configuration keeps its own prefixes, declared as they were where it came from.
    pugi::xml_document doc;
    pugi::xml_node request = doc.append_child("vmd:SetVideoEncoderConfiguration");
    request.append_attribute("xmlns:vmd") = ns::kMedia;
    request.append_attribute("xmlns:vsc") = ns::kSchema;
    pugi::xml_node copy = request.append_copy(configuration);
    copy.set_name("vmd:Configuration");
    for (pugi::xml_node n = configuration.parent(); n; n = n.parent())
        for (const pugi::xml_attribute a : n.attributes()) {
            const std::string name = a.name();
            if ((name == "xmlns" || name.rfind("xmlns:", 0) == 0) && !copy.attribute(a.name()))
                copy.append_attribute(a.name()) = a.value();
        }
    setText(ensureChild(copy, ns::kSchema, "Encoding", "vsc"), want.encoding);
    pugi::xml_node resolution = ensureChild(copy, ns::kSchema, "Resolution", "vsc");
    setText(ensureChild(resolution, ns::kSchema, "Width", "vsc"), std::to_string(want.width));
    setText(ensureChild(resolution, ns::kSchema, "Height", "vsc"), std::to_string(want.height));
    setText(ensureChild(copy, ns::kSchema, "Quality", "vsc"), number(want.quality));
    pugi::xml_node rate = ensureChild(copy, ns::kSchema, "RateControl", "vsc");
    setText(ensureChild(rate, ns::kSchema, "FrameRateLimit", "vsc"), std::to_string(want.frameRateLimit));
    if (!child(rate, ns::kSchema, "EncodingInterval"))
        setText(rate.append_child("vsc:EncodingInterval"), "1");
    setText(ensureChild(rate, ns::kSchema, "BitrateLimit", "vsc"), std::to_string(want.bitrateLimit));
    if (want.encoding == "H264" && want.govLength > 0) {
        pugi::xml_node h264 = child(copy, ns::kSchema, "H264");
        if (!h264) {
            h264 = copy.append_child("vsc:H264");
            setText(h264.append_child("vsc:GovLength"), "1");
            setText(h264.append_child("vsc:H264Profile"), "Main");
        }
        setText(ensureChild(h264, ns::kSchema, "GovLength", "vsc"), std::to_string(want.govLength));
    }
    setText(request.append_child("vmd:ForcePersistence"), "true");
    StringWriter out;
    request.print(out, "", pugi::format_raw);
    return out.text;
}

// ---- WS-Discovery -----------------------------------------------------------------------------------

std::string probeMessage(const std::string& messageId)
{
    const std::string header = "<wsa:MessageID>" + escape(messageId) + "</wsa:MessageID><wsa:To>" + kDiscoveryTo +
                               "</wsa:To><wsa:Action>" + kProbeAction + "</wsa:Action>";
    return envelope(header, "<d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>");
}

Status readProbe(const Envelope& e, Probe& out)
{
    out = Probe();
    if (!is(e.payload, ns::kDiscovery, "Probe"))
        return Status::Unexpected;
    for (pugi::xml_node h = e.header; h; h = h.next_sibling())
        if (is(h, ns::kAddressing, "MessageID") && !text(h, out.messageId))
            return Status::Malformed;
    std::string types;
    if (child(e.payload, ns::kDiscovery, "Types") && !childText(e.payload, ns::kDiscovery, "Types", types))
        return Status::Malformed;
    out.types = splitList(types);
    return out.messageId.empty() ? Status::Malformed : Status::Ok;
}

Status readProbeMatches(const Envelope& e, const std::string& messageId, std::vector<ProbeMatch>& out)
{
    out.clear();
    if (!is(e.payload, ns::kDiscovery, "ProbeMatches"))
        return Status::Unexpected;
    std::string relatesTo;
    for (pugi::xml_node h = e.header; h; h = h.next_sibling())
        if (is(h, ns::kAddressing, "RelatesTo") && !text(h, relatesTo))
            return Status::Malformed;
    if (relatesTo != messageId)
        return Status::Unexpected;
    for (const pugi::xml_node m : children(e.payload, ns::kDiscovery, "ProbeMatch")) {
        ProbeMatch pm;
        std::string t;
        if (!childText(child(m, ns::kAddressing, "EndpointReference"), ns::kAddressing, "Address", pm.endpoint) ||
            pm.endpoint.empty() || !childText(m, ns::kDiscovery, "XAddrs", t))
            return Status::Malformed;
        pm.xaddrs = splitList(t);
        if (childText(m, ns::kDiscovery, "Types", t))
            pm.types = splitList(t);
        if (childText(m, ns::kDiscovery, "Scopes", t))
            pm.scopes = splitList(t);
        out.push_back(pm);
    }
    return Status::Ok;
}

bool splitHttpUrl(const std::string& url, std::uint8_t ip[4], std::uint16_t& port, std::string& path)
{
    const std::string scheme = "http://";
    if (url.size() > kMaxText || url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const auto hostStart = scheme.size();
    const auto slash = url.find('/', hostStart);
    const std::string authority =
        url.substr(hostStart, slash == std::string::npos ? std::string::npos : slash - hostStart);
    path = slash == std::string::npos ? "/" : url.substr(slash);
    const auto colon = authority.find(':');
    const std::string host = authority.substr(0, colon);
    long p = 80;
    if (colon != std::string::npos && !parseIntText(authority.substr(colon + 1), 1, 65535, p))
        return false;
    if (!parseDotted(host, ip))
        return false;
    port = static_cast<std::uint16_t>(p);
    return true;
}

} // namespace protocol::onvif
