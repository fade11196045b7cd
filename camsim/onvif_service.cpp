#include "onvif_service.h"

#include <algorithm>
#include <cstring>

#include "camera.h"
#include "package.h"
#include "protocol/codec.h"
#include "protocol/media.h"
#include "protocol/messages.h"

namespace camsim {

namespace ov = protocol::onvif;

namespace {

constexpr int kIpAdaptiveCommand = 274; // the switch the program calls DHCP: ONVIF's DHCP flag
constexpr int kTimeServerCommand = 41;
constexpr int kEncodeCommand = 68;
constexpr std::size_t kStreamBlock = 44;
constexpr std::int32_t kCompressionH264 = 7;
constexpr std::int32_t kCompressionH265 = 8;
constexpr const char* kInterfaceToken = "eth0";

/// The camera's video standard (general record, offset 116): the sizes its resolution codes stand for.
int videoStandard(const Camera& c)
{
    std::vector<std::uint8_t> general;
    std::int32_t v = 0;
    if (c.readRecord(18, -1, general) == protocol::kRetOk && general.size() >= 120)
        std::memcpy(&v, general.data() + 116, 4);
    return v == 1 ? 1 : 0;
}

std::int32_t getI32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    std::int32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}

void setI32(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v)
{
    if (at + 4 <= b.size())
        std::memcpy(b.data() + at, &v, 4);
}

std::string tag(const char* name, const std::string& value)
{
    return std::string("<") + name + ">" + ov::escape(value) + "</" + name + ">";
}

std::string boolText(bool b)
{
    return b ? "true" : "false";
}

OnvifService::Reply soapReply(const std::string& body, int status = 200)
{
    OnvifService::Reply r;
    r.status = status;
    r.body = ov::envelope({}, body);
    return r;
}

/// A SOAP fault: Sender faults go with HTTP 400, Receiver faults with 500.
OnvifService::Reply fault(bool sender, const std::string& subcode, const std::string& reason)
{
    std::string body = std::string("<s:Fault><s:Code><s:Value>") + (sender ? "s:Sender" : "s:Receiver") +
                       "</s:Value><s:Subcode><s:Value>" + subcode +
                       "</s:Value></s:Subcode></s:Code><s:Reason>"
                       "<s:Text xml:lang=\"en\">" +
                       ov::escape(reason) + "</s:Text></s:Reason></s:Fault>";
    return soapReply(body, sender ? 400 : 500);
}

OnvifService::Reply notAuthorised()
{
    return fault(true, "ter:NotAuthorized", "Sender not authorized");
}

std::string dotted32(std::uint32_t a)
{
    return dotted(a);
}

int prefixOf(std::uint32_t mask)
{
    int p = 0;
    while (p < 32 && (mask & (0x80000000u >> p)))
        ++p;
    return p;
}

std::uint32_t maskOf(long prefix)
{
    return prefix <= 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - prefix)) - 1);
}

std::string utcDateTime(std::time_t t, const char* element)
{
    std::tm tm = {};
    gmtime_r(&t, &tm);
    return std::string("<tt:") + element + "><tt:Time><tt:Hour>" + std::to_string(tm.tm_hour) +
           "</tt:Hour><tt:Minute>" + std::to_string(tm.tm_min) + "</tt:Minute><tt:Second>" + std::to_string(tm.tm_sec) +
           "</tt:Second></tt:Time><tt:Date><tt:Year>" + std::to_string(tm.tm_year + 1900) + "</tt:Year><tt:Month>" +
           std::to_string(tm.tm_mon + 1) + "</tt:Month><tt:Day>" + std::to_string(tm.tm_mday) +
           "</tt:Day></tt:Date></tt:" + element + ">";
}

bool readLong(pugi::xml_node node, const char* nsUri, const char* local, long min, long max, long& out)
{
    std::string t;
    if (!ov::childText(node, nsUri, local, t) || t.empty() || t.size() > 10)
        return false;
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (*end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

} // namespace

OnvifService::OnvifService(Camera& camera, std::uint16_t httpPort, long clockOffsetS)
    : camera_(camera), httpPort_(httpPort), clockOffset_(clockOffsetS)
{
}

std::time_t OnvifService::now() const
{
    return std::time(nullptr) + clockOffset_;
}

void OnvifService::resetVolatile()
{
    nonces_.clear();
    nonceSet_.clear();
    uploadAnnounced_ = false;
}

std::string OnvifService::baseUrl() const
{
    std::string url = "http://" + dotted32(camera_.network().address);
    if (httpPort_ != 80)
        url += ":" + std::to_string(httpPort_);
    return url;
}

std::string OnvifService::deviceUrl() const
{
    return baseUrl() + ov::kDeviceServicePath;
}

std::string OnvifService::endpointReference() const
{
    // Stable for the camera's life, whatever its address: derived from its MAC.
    std::string hex;
    for (const char c : camera_.identity().mac)
        if (c != ':')
            hex += c;
    return "urn:uuid:00000000-0000-4000-8000-" + hex;
}

std::string OnvifService::scopes() const
{
    const std::string& model = camera_.model().name;
    return "onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming "
           "onvif://www.onvif.org/name/" +
           model + " onvif://www.onvif.org/hardware/" + model + " onvif://www.onvif.org/MAC/" + camera_.identity().mac;
}

std::string OnvifService::probeMatch(const ov::Probe& probe) const
{
    // Empty types ask for every device; otherwise one of them must be the video transmitter.
    bool wanted = probe.types.empty();
    for (const auto& t : probe.types) {
        const auto colon = t.find(':');
        if ((colon == std::string::npos ? t : t.substr(colon + 1)) == "NetworkVideoTransmitter" ||
            (colon == std::string::npos ? t : t.substr(colon + 1)) == "Device")
            wanted = true;
    }
    if (!wanted)
        return {};
    const std::string header = tag("wsa:MessageID", ov::randomUuidUrn()) + tag("wsa:RelatesTo", probe.messageId) +
                               "<wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>" +
                               tag("wsa:Action", ov::kProbeMatchesAction);
    const std::string body =
        "<d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference>" + tag("wsa:Address", endpointReference()) +
        "</wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>" + tag("d:Scopes", scopes()) +
        tag("d:XAddrs", deviceUrl()) + "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches>";
    return ov::envelope(header, body);
}

OnvifService::Reply OnvifService::handle(const std::string& method, const std::string& path, const std::string& body,
                                         bool tooLarge, std::int64_t nowMs)
{
    Reply r;
    if (method != "POST") {
        r.status = 405;
        r.contentType = "text/plain";
        r.body = "POST only\n";
        return r;
    }
    if (path.rfind(std::string(kUploadPath) + "/", 0) == 0)
        r = uploadAnnounced_ && path == std::string(kUploadPath) + "/" + uploadToken_
                ? upload(body, tooLarge)
                : fault(true, "ter:InvalidArgVal", "No upload announced");
    else
        r = soap(body, tooLarge, nowMs);
    return camera_.faults.malformed ? shapeMalformed(std::move(r)) : r;
}

OnvifService::Reply OnvifService::shapeMalformed(Reply reply)
{
    // Rotates between a cut answer, one far beyond any limit, the right names in a wrong namespace
    // and a fault nobody asked for.
    switch (malformedTurn_++ % 4) {
    case 0:
        reply.body.resize(reply.body.size() / 2);
        break;
    case 1:
        reply.body = ov::envelope({}, "<tds:Pad>" + std::string(ov::kMaxMessage, 'x') + "</tds:Pad>");
        break;
    case 2: {
        const std::string from = ov::ns::kDevice;
        const auto at = reply.body.find(from);
        if (at != std::string::npos)
            reply.body.replace(at, from.size(), "http://www.onvif.org/ver10/device/wsdl/other");
        break;
    }
    default:
        reply = fault(false, "ter:Action", "Internal error");
        reply.status = 200;
        break;
    }
    reply.after = After::Nothing;
    return reply;
}

bool OnvifService::authorised(const ov::Envelope& e, std::int64_t nowMs, Reply& refusal)
{
    ov::UsernameToken token;
    if (ov::readUsernameToken(e, token) != ov::Status::Ok || !token.present || !token.digest || token.nonce.empty() ||
        token.nonce.size() < 8) {
        refusal = notAuthorised();
        return false;
    }
    std::time_t created = 0;
    if (!ov::parseUtc(token.created, created) || std::abs(long(created - now())) > kWindowS) {
        refusal = notAuthorised();
        return false;
    }
    while (!nonces_.empty() && nonces_.front().second <= nowMs) {
        nonceSet_.erase(nonces_.front().first);
        nonces_.pop_front();
    }
    const std::string expected = ov::passwordDigest(token.nonce, token.created, camera_.options().password);
    const int ret = camera_.authenticate(
        token.user,
        [&](const std::vector<std::uint8_t>&) { return protocol::constantTimeEqual(expected, token.password); }, nowMs);
    if (ret != protocol::kRetOk) {
        refusal = notAuthorised();
        return false;
    }
    // A nonce seen within the window with the same creation time is a replay, even with a valid
    // digest. The pair, not the nonce alone: some clients keep one nonce for a whole session and vary
    // only the creation time, which the digest covers, so an eavesdropper cannot vary it.
    const std::string key = token.nonce + '|' + token.created;
    if (!nonceSet_.insert(key).second && !camera_.options().onvifReplays) {
        refusal = notAuthorised();
        return false;
    }
    nonces_.emplace_back(key, nowMs + 2 * kWindowS * 1000);
    if (nonces_.size() > kMaxNonces) {
        nonceSet_.erase(nonces_.front().first);
        nonces_.pop_front();
    }
    return true;
}

OnvifService::Reply OnvifService::soap(const std::string& body, bool tooLarge, std::int64_t nowMs)
{
    if (tooLarge)
        return fault(true, "ter:InvalidArgVal", "Message too large");
    ov::Envelope e;
    const ov::Status st = ov::parseEnvelope(body.data(), body.size(), e);
    if (st != ov::Status::Ok) {
        ++camera_.badFrames;
        return fault(true, "ter:WellFormed", "Not a SOAP 1.2 request");
    }
    const std::string nsUri = ov::namespaceOf(e.payload);
    const std::string op = ov::localName(e.payload);
    // What ONVIF lets a client ask before it knows the device's time: the time itself, the services.
    const bool preAuth =
        nsUri == ov::ns::kDevice && (op == "GetSystemDateAndTime" || op == "GetServices" || op == "GetCapabilities");
    Reply refusal;
    if (!preAuth && !authorised(e, nowMs, refusal))
        return refusal;
    if (nsUri == ov::ns::kDevice)
        return device(e, op);
    if (nsUri == ov::ns::kMedia)
        return media(e, op);
    return fault(true, "ter:ActionNotSupported", "Unknown service");
}

OnvifService::Reply OnvifService::device(const ov::Envelope& e, const std::string& op)
{
    Camera& c = camera_;
    const NetworkState& net = c.network();
    const pugi::xml_node p = e.payload;
    if (op == "GetSystemDateAndTime") {
        std::vector<std::uint8_t> ntp;
        c.readRecord(kTimeServerCommand, -1, ntp);
        const bool useNtp = !ntp.empty() && ntp[0] != 0;
        const std::time_t t = now();
        return soapReply(
            "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>" +
            tag("tt:DateTimeType", useNtp ? "NTP" : "Manual") +
            "<tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>" +
            utcDateTime(t, "UTCDateTime") + utcDateTime(t, "LocalDateTime") +
            "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
    }
    if (op == "SetSystemDateAndTime") {
        std::string type;
        if (!ov::childText(p, ov::ns::kDevice, "DateTimeType", type) || (type != "NTP" && type != "Manual"))
            return fault(true, "ter:InvalidArgVal", "DateTimeType");
        if (type == "Manual") {
            const pugi::xml_node utc = ov::child(p, ov::ns::kDevice, "UTCDateTime");
            const pugi::xml_node date = ov::child(utc, ov::ns::kSchema, "Date");
            const pugi::xml_node time = ov::child(utc, ov::ns::kSchema, "Time");
            long y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
            if (utc) {
                if (!readLong(date, ov::ns::kSchema, "Year", 1970, 9999, y) ||
                    !readLong(date, ov::ns::kSchema, "Month", 1, 12, mo) ||
                    !readLong(date, ov::ns::kSchema, "Day", 1, 31, d) ||
                    !readLong(time, ov::ns::kSchema, "Hour", 0, 23, h) ||
                    !readLong(time, ov::ns::kSchema, "Minute", 0, 59, mi) ||
                    !readLong(time, ov::ns::kSchema, "Second", 0, 60, s))
                    return fault(true, "ter:InvalidDateTime", "UTCDateTime");
                std::tm tm = {};
                tm.tm_year = int(y) - 1900, tm.tm_mon = int(mo) - 1, tm.tm_mday = int(d);
                tm.tm_hour = int(h), tm.tm_min = int(mi), tm.tm_sec = int(s);
                clockOffset_ = long(timegm(&tm) - std::time(nullptr));
            }
        }
        std::vector<std::uint8_t> ntp;
        c.readRecord(kTimeServerCommand, -1, ntp);
        if (ntp.empty())
            return fault(false, "ter:Action", "No time-server record");
        ntp[0] = type == "NTP" ? 1 : 0;
        const int r = c.writeRecord(kTimeServerCommand, -1, ntp);
        if (r != protocol::kRetOk && r != kRetRebootNeeded)
            return fault(false, "ter:Action", "Write refused");
        return soapReply("<tds:SetSystemDateAndTimeResponse/>");
    }
    if (op == "GetDeviceInformation")
        return soapReply("<tds:GetDeviceInformationResponse>" + tag("tds:Manufacturer", "Vantrel") +
                         tag("tds:Model", c.model().name) + tag("tds:FirmwareVersion", c.version()) +
                         tag("tds:SerialNumber", c.identity().serial) + tag("tds:HardwareId", c.model().hardwareId) +
                         "</tds:GetDeviceInformationResponse>");
    if (op == "GetCapabilities")
        return soapReply(
            "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device>" + tag("tt:XAddr", deviceUrl()) +
            "<tt:Network><tt:IPFilter>false</tt:IPFilter><tt:ZeroConfiguration>false</tt:ZeroConfiguration>"
            "<tt:IPVersion6>false</tt:IPVersion6><tt:DynDNS>false</tt:DynDNS></tt:Network>"
            "<tt:System><tt:DiscoveryResolve>false</tt:DiscoveryResolve><tt:DiscoveryBye>false</tt:DiscoveryBye>"
            "<tt:RemoteDiscovery>false</tt:RemoteDiscovery><tt:SystemBackup>false</tt:SystemBackup>"
            "<tt:SystemLogging>false</tt:SystemLogging><tt:FirmwareUpgrade>true</tt:FirmwareUpgrade>"
            "<tt:SupportedVersions><tt:Major>2</tt:Major><tt:Minor>0</tt:Minor></tt:SupportedVersions>"
            "</tt:System><tt:Security><tt:TLS1.1>false</tt:TLS1.1><tt:TLS1.2>false</tt:TLS1.2>"
            "<tt:OnboardKeyGeneration>false</tt:OnboardKeyGeneration><tt:AccessPolicyConfig>false"
            "</tt:AccessPolicyConfig><tt:X.509Token>false</tt:X.509Token><tt:SAMLToken>false</tt:SAMLToken>"
            "<tt:KerberosToken>false</tt:KerberosToken><tt:RELToken>false</tt:RELToken></tt:Security>"
            "</tt:Device><tt:Media>" +
            tag("tt:XAddr", baseUrl() + "/onvif/media_service") +
            "<tt:StreamingCapabilities><tt:RTPMulticast>false</tt:RTPMulticast><tt:RTP_TCP>true</tt:RTP_TCP>"
            "<tt:RTP_RTSP_TCP>true</tt:RTP_RTSP_TCP></tt:StreamingCapabilities></tt:Media>"
            "</tds:Capabilities></tds:GetCapabilitiesResponse>");
    if (op == "GetServices") {
        auto service = [](const char* nsUri, const std::string& url) {
            return std::string("<tds:Service>") + tag("tds:Namespace", nsUri) + tag("tds:XAddr", url) +
                   "<tds:Version><tt:Major>2</tt:Major><tt:Minor>0</tt:Minor></tds:Version></tds:Service>";
        };
        return soapReply("<tds:GetServicesResponse>" + service(ov::ns::kDevice, deviceUrl()) +
                         service(ov::ns::kMedia, baseUrl() + "/onvif/media_service") + "</tds:GetServicesResponse>");
    }
    if (op == "GetScopes") {
        std::string items;
        std::string all = scopes();
        std::size_t pos = 0;
        while (pos < all.size()) {
            const auto space = all.find(' ', pos);
            const std::string s = all.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
            items += "<tds:Scopes><tt:ScopeDef>Fixed</tt:ScopeDef>" + tag("tt:ScopeItem", s) + "</tds:Scopes>";
            pos = space == std::string::npos ? all.size() : space + 1;
        }
        return soapReply("<tds:GetScopesResponse>" + items + "</tds:GetScopesResponse>");
    }
    if (op == "GetHostname")
        return soapReply("<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP>" +
                         tag("tt:Name", net.hostName) + "</tds:HostnameInformation></tds:GetHostnameResponse>");
    if (op == "SetHostname") {
        std::string name;
        if (!ov::childText(p, ov::ns::kDevice, "Name", name) || name.size() > 63)
            return fault(true, "ter:InvalidArgVal", "Name");
        NetworkState next = net;
        next.hostName = name;
        c.requestNetworkChange(next);
        return soapReply("<tds:SetHostnameResponse/>");
    }
    std::vector<std::uint8_t> adaptive;
    c.readRecord(kIpAdaptiveCommand, -1, adaptive);
    const bool dhcp = !adaptive.empty() && adaptive[0] != 0;
    if (op == "GetNetworkInterfaces") {
        const std::string address = "<tt:Address>" + dotted32(net.address) + "</tt:Address><tt:PrefixLength>" +
                                    std::to_string(prefixOf(net.mask)) + "</tt:PrefixLength>";
        return soapReply(
            std::string("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"") + kInterfaceToken +
            "\"><tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name>" + tag("tt:HwAddress", c.identity().mac) +
            "<tt:MTU>1500</tt:MTU></tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>" +
            (dhcp ? "<tt:FromDHCP>" + address + "</tt:FromDHCP>" : "<tt:Manual>" + address + "</tt:Manual>") +
            "<tt:DHCP>" + boolText(dhcp) +
            "</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>");
    }
    if (op == "SetNetworkInterfaces") {
        // The schema says tds:; onvif-util's library writes these two in tt:, and is understood too.
        auto member = [&](const char* local) {
            const pugi::xml_node n = ov::child(p, ov::ns::kDevice, local);
            return n ? n : ov::child(p, ov::ns::kSchema, local);
        };
        std::string token;
        if (!ov::text(member("InterfaceToken"), token) || token != kInterfaceToken)
            return fault(true, "ter:InvalidNetworkInterface", "Unknown interface");
        const pugi::xml_node ipv4 = ov::child(member("NetworkInterface"), ov::ns::kSchema, "IPv4");
        NetworkState next = net;
        bool rebootNeeded = false;
        const pugi::xml_node manual = ov::child(ipv4, ov::ns::kSchema, "Manual");
        if (manual) {
            std::string address;
            long prefix = 0;
            std::uint32_t ip = 0;
            if (!ov::childText(manual, ov::ns::kSchema, "Address", address) || !parseAddress(address, ip) ||
                !readLong(manual, ov::ns::kSchema, "PrefixLength", 1, 32, prefix))
                return fault(true, "ter:InvalidIPv4Address", "Manual address");
            next.address = ip;
            next.mask = maskOf(prefix);
        }
        std::string dhcpText;
        bool wantDhcp = dhcp;
        if (ov::childText(ipv4, ov::ns::kSchema, "DHCP", dhcpText) && !ov::parseBool(dhcpText, wantDhcp))
            return fault(true, "ter:InvalidArgVal", "DHCP");
        if (wantDhcp != dhcp) {
            const int r = c.writeRecord(kIpAdaptiveCommand, -1, {std::uint8_t(wantDhcp ? 1 : 0)});
            if (r == kRetRebootNeeded)
                rebootNeeded = true;
            else if (r != protocol::kRetOk)
                return fault(false, "ter:Action", "Write refused");
        }
        if (next != net && c.requestNetworkChange(next) == kRetRebootNeeded)
            rebootNeeded = true;
        return soapReply("<tds:SetNetworkInterfacesResponse>" + tag("tds:RebootNeeded", boolText(rebootNeeded)) +
                         "</tds:SetNetworkInterfacesResponse>");
    }
    if (op == "GetNetworkDefaultGateway")
        return soapReply("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>" +
                         tag("tt:IPv4Address", dotted32(net.gateway)) +
                         "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>");
    if (op == "SetNetworkDefaultGateway") {
        std::string address;
        std::uint32_t ip = 0;
        if (!ov::childText(p, ov::ns::kDevice, "IPv4Address", address) || !parseAddress(address, ip))
            return fault(true, "ter:InvalidGatewayAddress", "IPv4Address");
        NetworkState next = net;
        next.gateway = ip;
        c.requestNetworkChange(next);
        return soapReply("<tds:SetNetworkDefaultGatewayResponse/>");
    }
    if (op == "GetDNS")
        return soapReply("<tds:GetDNSResponse><tds:DNSInformation>" + tag("tt:FromDHCP", boolText(dhcp)) +
                         "<tt:DNSManual><tt:Type>IPv4</tt:Type>" + tag("tt:IPv4Address", dotted32(net.gateway)) +
                         "</tt:DNSManual></tds:DNSInformation></tds:GetDNSResponse>");
    std::vector<std::uint8_t> ntp;
    c.readRecord(kTimeServerCommand, -1, ntp);
    if (op == "GetNTP") {
        std::string server;
        if (ntp.size() >= 68)
            server.assign(reinterpret_cast<const char*>(ntp.data() + 4),
                          strnlen(reinterpret_cast<const char*>(ntp.data() + 4), 64));
        std::uint32_t ip = 0;
        const std::string manual =
            server.empty() ? std::string()
            : parseAddress(server, ip)
                ? "<tt:NTPManual><tt:Type>IPv4</tt:Type>" + tag("tt:IPv4Address", server) + "</tt:NTPManual>"
                : "<tt:NTPManual><tt:Type>DNS</tt:Type>" + tag("tt:DNSname", server) + "</tt:NTPManual>";
        return soapReply("<tds:GetNTPResponse><tds:NTPInformation><tt:FromDHCP>false</tt:FromDHCP>" + manual +
                         "</tds:NTPInformation></tds:GetNTPResponse>");
    }
    if (op == "SetNTP") {
        const pugi::xml_node manual = ov::child(p, ov::ns::kDevice, "NTPManual");
        std::string type, server;
        if (manual && (!ov::childText(manual, ov::ns::kSchema, "Type", type) ||
                       !ov::childText(manual, ov::ns::kSchema, type == "DNS" ? "DNSname" : "IPv4Address", server) ||
                       server.size() > 63))
            return fault(true, "ter:InvalidArgVal", "NTPManual");
        if (ntp.size() < 68)
            return fault(false, "ter:Action", "No time-server record");
        std::fill(ntp.begin() + 4, ntp.begin() + 68, 0);
        std::memcpy(ntp.data() + 4, server.data(), server.size());
        const int r = c.writeRecord(kTimeServerCommand, -1, ntp);
        if (r != protocol::kRetOk && r != kRetRebootNeeded)
            return fault(false, "ter:Action", "Write refused");
        return soapReply("<tds:SetNTPResponse/>");
    }
    if (op == "SystemReboot") {
        Reply r =
            soapReply("<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message></tds:SystemRebootResponse>");
        r.after = After::Reboot;
        return r;
    }
    if (op == "SetSystemFactoryDefault") {
        std::string kind;
        if (!ov::childText(p, ov::ns::kDevice, "FactoryDefault", kind) || (kind != "Soft" && kind != "Hard"))
            return fault(true, "ter:InvalidArgVal", "FactoryDefault");
        // Soft keeps the network settings, as the native configuration reset (the same write) does;
        // hard loses them too.
        std::vector<std::uint8_t> reset(11, 1);
        reset[10] = 0;
        const int w = c.writeRecord(33, -1, reset);
        if (w != protocol::kRetOk && w != kRetRebootNeeded)
            return fault(false, "ter:Action", "Write refused");
        Reply r = soapReply("<tds:SetSystemFactoryDefaultResponse/>");
        r.after = kind == "Hard" ? After::HardReset : After::Nothing;
        return r;
    }
    if (op == "StartFirmwareUpgrade") {
        if (c.faults.refuseUpgrade || c.upgrading)
            return fault(false, "ter:Action", "Upgrade not possible now");
        uploadAnnounced_ = true;
        uploadToken_ = ov::randomUuidUrn().substr(9);
        const long down = (c.options().upgradeMs + c.options().rebootMs) / 1000 + 1;
        return soapReply(
            "<tds:StartFirmwareUpgradeResponse>" + tag("tds:UploadUri", baseUrl() + kUploadPath + "/" + uploadToken_) +
            "<tds:UploadDelay>PT0S</tds:UploadDelay>" + tag("tds:ExpectedDownTime", "PT" + std::to_string(down) + "S") +
            "</tds:StartFirmwareUpgradeResponse>");
    }
    return fault(true, "ter:ActionNotSupported", "Not supported: " + op);
}

OnvifService::Reply OnvifService::upload(const std::string& body, bool tooLarge)
{
    uploadAnnounced_ = false; // one upload per announcement
    Camera& c = camera_;
    if (tooLarge || c.upgrading)
        return fault(false, "ter:Action", "Upgrade not possible now");
    const PackageCheck check =
        checkPackage(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), c.model().hardwareId);
    if (check.ret != protocol::kRetOk)
        return fault(true, "ter:InvalidArgVal",
                     check.ret == kRetUpgradeHardware ? "Invalid hardware" : "Invalid package");
    c.upgrading = true;
    c.pendingFirmware = check.version;
    Reply r;
    r.contentType = "text/plain";
    r.body = "OK\n";
    r.after = After::WriteFirmware;
    return r;
}

OnvifService::Reply OnvifService::media(const ov::Envelope& e, const std::string& op)
{
    Camera& c = camera_;
    std::vector<std::uint8_t> encode;
    c.readRecord(kEncodeCommand, 0, encode);
    if (encode.size() < 2 * kStreamBlock)
        return fault(false, "ter:Action", "No encode record");
    const int standard = videoStandard(c);
    auto configuration = [&](int stream) {
        const std::size_t at = std::size_t(stream) * kStreamBlock;
        int width = 0, height = 0;
        protocol::resolutionSize(getI32(encode, at + 4), standard, width, height);
        const int fps = std::max(1, getI32(encode, at + 16));
        const std::string token = stream == 0 ? "encoder_main" : "encoder_sub";
        return "<tt:VideoEncoderConfiguration token=\"" + token + "\">" + tag("tt:Name", token) +
               "<tt:UseCount>1</tt:UseCount>" +
               // H.265 is no encoding of this media service's schema; cameras name it so anyway.
               tag("tt:Encoding", getI32(encode, at) == kCompressionH265 ? "H265" : "H264") + "<tt:Resolution>" +
               tag("tt:Width", std::to_string(width)) + tag("tt:Height", std::to_string(height)) + "</tt:Resolution>" +
               tag("tt:Quality", std::to_string(getI32(encode, at + 12))) + "<tt:RateControl>" +
               tag("tt:FrameRateLimit", std::to_string(fps)) + "<tt:EncodingInterval>1</tt:EncodingInterval>" +
               tag("tt:BitrateLimit", std::to_string(getI32(encode, at + 20))) + "</tt:RateControl><tt:H264>" +
               tag("tt:GovLength", std::to_string(getI32(encode, at + 24) * fps)) +
               "<tt:H264Profile>Main</tt:H264Profile></tt:H264><tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type>"
               "<tt:IPv4Address>0.0.0.0</tt:IPv4Address></tt:Address><tt:Port>0</tt:Port><tt:TTL>0</tt:TTL>"
               "<tt:AutoStart>false</tt:AutoStart></tt:Multicast><tt:SessionTimeout>PT60S</tt:SessionTimeout>"
               "</tt:VideoEncoderConfiguration>";
    };
    auto withTag = [](std::string xml, const char* element) {
        // The same configuration under another element name (profile member, answer member).
        xml.replace(0, std::strlen("<tt:VideoEncoderConfiguration"), std::string("<") + element);
        xml.replace(xml.size() - std::strlen("</tt:VideoEncoderConfiguration>"),
                    std::strlen("</tt:VideoEncoderConfiguration>"), std::string("</") + element + ">");
        return xml;
    };
    auto streamOf = [](const std::string& token) {
        return token == "encoder_main" || token == "profile_main" ? 0
               : token == "encoder_sub" || token == "profile_sub" ? 1
                                                                  : -1;
    };
    const pugi::xml_node p = e.payload;
    if (op == "GetProfiles" || op == "GetProfile") {
        std::string profiles;
        for (int s = 0; s < 2; ++s) {
            const std::string token = s == 0 ? "profile_main" : "profile_sub";
            std::string wanted;
            if (op == "GetProfile" && (!ov::childText(p, ov::ns::kMedia, "ProfileToken", wanted) || wanted != token))
                continue;
            profiles +=
                std::string(op == "GetProfiles" ? "<trt:Profiles" : "<trt:Profile") + " token=\"" + token +
                "\" fixed=\"true\">" + tag("tt:Name", token) +
                "<tt:VideoSourceConfiguration token=\"source0\"><tt:Name>source0</tt:Name><tt:UseCount>2</tt:UseCount>"
                "<tt:SourceToken>video0</tt:SourceToken><tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/>"
                "</tt:VideoSourceConfiguration>" +
                withTag(configuration(s), "tt:VideoEncoderConfiguration") +
                (op == "GetProfiles" ? "</trt:Profiles>" : "</trt:Profile>");
        }
        if (profiles.empty())
            return fault(true, "ter:NoProfile", "Unknown profile");
        return soapReply("<trt:" + op + "Response>" + profiles + "</trt:" + op + "Response>");
    }
    if (op == "GetVideoEncoderConfigurations")
        return soapReply(
            "<trt:GetVideoEncoderConfigurationsResponse>" + withTag(configuration(0), "trt:Configurations") +
            withTag(configuration(1), "trt:Configurations") + "</trt:GetVideoEncoderConfigurationsResponse>");
    if (op == "GetVideoEncoderConfiguration") {
        std::string token;
        const int s = ov::childText(p, ov::ns::kMedia, "ConfigurationToken", token) ? streamOf(token) : -1;
        if (s < 0)
            return fault(true, "ter:NoConfig", "Unknown configuration");
        return soapReply("<trt:GetVideoEncoderConfigurationResponse>" + withTag(configuration(s), "trt:Configuration") +
                         "</trt:GetVideoEncoderConfigurationResponse>");
    }
    if (op == "GetVideoEncoderConfigurationOptions") {
        std::string token;
        int s = 0;
        if (ov::childText(p, ov::ns::kMedia, "ConfigurationToken", token) ||
            ov::childText(p, ov::ns::kMedia, "ProfileToken", token))
            s = std::max(0, streamOf(token));
        const Abilities& a = c.model().abilities;
        const std::uint32_t mask =
            s == 0 ? a.mainResolutions : (a.extraResolutions ? a.extraResolutions : a.mainResolutions);
        std::string resolutions;
        for (int code = 0; code < 32; ++code) {
            int width = 0, height = 0;
            if ((mask & (1u << code)) && protocol::resolutionSize(code, standard, width, height))
                resolutions += "<tt:ResolutionsAvailable>" + tag("tt:Width", std::to_string(width)) +
                               tag("tt:Height", std::to_string(height)) + "</tt:ResolutionsAvailable>";
        }
        return soapReply(
            "<trt:GetVideoEncoderConfigurationOptionsResponse><trt:Options><tt:QualityRange><tt:Min>1</tt:Min>"
            "<tt:Max>6</tt:Max></tt:QualityRange><tt:H264>" +
            resolutions +
            "<tt:GovLengthRange><tt:Min>1</tt:Min><tt:Max>360</tt:Max></tt:GovLengthRange>"
            "<tt:FrameRateRange><tt:Min>1</tt:Min><tt:Max>30</tt:Max></tt:FrameRateRange>"
            "<tt:EncodingIntervalRange><tt:Min>1</tt:Min><tt:Max>1</tt:Max></tt:EncodingIntervalRange>"
            "<tt:H264ProfilesSupported>Main</tt:H264ProfilesSupported></tt:H264></trt:Options>"
            "</trt:GetVideoEncoderConfigurationOptionsResponse>");
    }
    if (op == "SetVideoEncoderConfiguration") {
        const pugi::xml_node cfg = ov::child(p, ov::ns::kMedia, "Configuration");
        const int s = streamOf(cfg.attribute("token").value());
        const pugi::xml_node res = ov::child(cfg, ov::ns::kSchema, "Resolution");
        const pugi::xml_node rate = ov::child(cfg, ov::ns::kSchema, "RateControl");
        long width = 0, height = 0, fps = 0, bitrate = 0, quality = 0, gov = 0;
        std::string encoding;
        if (s < 0 || !ov::childText(cfg, ov::ns::kSchema, "Encoding", encoding) ||
            (encoding != "H264" && encoding != "H265") || !readLong(res, ov::ns::kSchema, "Width", 1, 16384, width) ||
            !readLong(res, ov::ns::kSchema, "Height", 1, 16384, height) ||
            !readLong(rate, ov::ns::kSchema, "FrameRateLimit", 1, 60, fps) ||
            !readLong(rate, ov::ns::kSchema, "BitrateLimit", 1, 1000000, bitrate))
            return fault(true, "ter:ConfigModify", "Configuration");
        if (!readLong(cfg, ov::ns::kSchema, "Quality", 1, 6, quality))
            quality = getI32(encode, std::size_t(s) * kStreamBlock + 12);
        if (!readLong(ov::child(cfg, ov::ns::kSchema, "H264"), ov::ns::kSchema, "GovLength", 1, 3600, gov))
            gov = getI32(encode, std::size_t(s) * kStreamBlock + 24) * fps;
        const Abilities& a = c.model().abilities;
        const std::uint32_t mask =
            s == 0 ? a.mainResolutions : (a.extraResolutions ? a.extraResolutions : a.mainResolutions);
        const int chosen = protocol::resolutionCode(int(width), int(height), standard);
        if (chosen < 0 || !(mask & (1u << chosen)))
            return fault(true, "ter:ConfigModify", "Resolution not offered");
        const std::size_t at = std::size_t(s) * kStreamBlock;
        setI32(encode, at + 0, encoding == "H265" ? kCompressionH265 : kCompressionH264);
        setI32(encode, at + 4, chosen);
        setI32(encode, at + 12, std::int32_t(quality));
        setI32(encode, at + 16, std::int32_t(fps));
        setI32(encode, at + 20, std::int32_t(bitrate));
        setI32(encode, at + 24, std::int32_t(std::clamp<long>(gov / fps, 1, 12)));
        const int r = c.writeRecord(kEncodeCommand, 0, encode);
        if (r != protocol::kRetOk && r != kRetRebootNeeded)
            return fault(false, "ter:Action", "Write refused");
        return soapReply("<trt:SetVideoEncoderConfigurationResponse/>");
    }
    if (op == "GetStreamUri") {
        std::string token;
        const int s = ov::childText(p, ov::ns::kMedia, "ProfileToken", token) ? streamOf(token) : -1;
        if (s < 0)
            return fault(true, "ter:NoProfile", "Unknown profile");
        // The camera's RTSP server (rtsp.cpp) serves the profile's stream at this path.
        const std::uint16_t port = c.options().rtspPort;
        return soapReply(
            "<trt:GetStreamUriResponse><trt:MediaUri>" +
            tag("tt:Uri", "rtsp://" + dotted32(c.network().address) + (port == 554 ? "" : ":" + std::to_string(port)) +
                              "/" + token) +
            "<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect><tt:InvalidAfterReboot>false"
            "</tt:InvalidAfterReboot><tt:Timeout>PT60S</tt:Timeout></trt:MediaUri></trt:GetStreamUriResponse>");
    }
    return fault(true, "ter:ActionNotSupported", "Not supported: " + op);
}

} // namespace camsim
