// ONVIF transport and device service: libcurl for HTTP, the protocol layer for SOAP.

#include "onvif_client.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include <curl/curl.h>

#include <protocol/codec.h>

#include "library_state.h"
#include "text_fields.h"

namespace netsdk::onvif {

namespace {

constexpr std::size_t kMaxKnownDevices = 4096;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink
{
    std::string* out;
    std::size_t max;
    bool overflow = false;
};

std::size_t writeSink(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->out->size() + n > sink->max) {
        sink->overflow = true;
        return 0; // makes curl stop with a write error
    }
    sink->out->append(data, n);
    return n;
}

struct UploadSource
{
    std::FILE* file = nullptr;
    long total = 0;
    const std::function<void(long, long)>* progress = nullptr;
    const std::atomic<bool>* stop = nullptr;
    long lastReported = -1;
};

std::size_t readSource(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto* src = static_cast<UploadSource*>(user);
    if (src->stop->load())
        return CURL_READFUNC_ABORT;
    return std::fread(buffer, 1, size * count, src->file);
}

int progressSource(void* user, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
{
    auto* src = static_cast<UploadSource*>(user);
    if (src->stop->load())
        return 1;
    if (ulnow != src->lastReported && ulnow <= src->total) {
        src->lastReported = long(ulnow);
        (*src->progress)(long(ulnow), src->total);
    }
    return 0;
}

/// Checks the URL's destination; SDK_OK or the refusal.
int checkDestination(const std::string& url)
{
    std::uint8_t ip[4];
    std::uint16_t port = 0;
    std::string path;
    if (!ov::splitHttpUrl(url, ip, port, path))
        return SDK_ERR_ILLEGAL_PARAM;
    if (options().loopbackOnly && !protocol::isLoopback(ip))
        return SDK_ERR_REFUSED_DEST;
    return SDK_OK;
}

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

Easy newEasy(const std::string& url, const std::string& user, const std::string& password, const Deadline& deadline,
             bool httpDigest)
{
    globalInit();
    Easy easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy)
        return easy;
    CURL* c = easy.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // Only plain HTTP to the address in the URL: no proxy from the environment, no redirect.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    const long ms = std::max(1, deadline.remainingMs());
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, ms);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, ms);
    if (httpDigest) {
        // For a device that asked for it (some guard SOAP with HTTP digest as well). curl first sends
        // the request without its body to get the challenge, so it is used only after a 401.
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    return easy;
}

int transferResult(CURLcode rc, const Sink& sink)
{
    if (rc == CURLE_OK)
        return SDK_OK;
    if (sink.overflow) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return SDK_ERR_TIMEOUT;
    case CURLE_COULDNT_CONNECT:
        return SDK_ERR_NO_DEVICE;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    default:
        return SDK_ERR_SOCKET;
    }
}

std::mutex g_knownMutex;
std::map<std::string, KnownDevice> g_known; ///< by "a.b.c.d:port"

std::string endpointKey(const net::Endpoint& e)
{
    return protocol::formatDotted(e.ip.data()) + ":" + std::to_string(e.port);
}

std::string lower(std::string s)
{
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

/// "ab:cd:..." from a scope value (any of ':', '-' or nothing between the groups); empty when it is no MAC.
std::string macFromScope(const std::string& value)
{
    std::string hex;
    for (const char c : value) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c != ':' && c != '-')
            return {};
    }
    if (hex.size() != 12)
        return {};
    std::string mac;
    for (int i = 0; i < 6; ++i) {
        if (i)
            mac += ':';
        mac += hex.substr(std::size_t(i) * 2, 2);
    }
    return mac;
}

std::string percentDecoded(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

// ---- HTTP ---------------------------------------------------------------------------------------

int httpPost(const std::string& url, const std::string& contentType, const std::string& body, const std::string& user,
             const std::string& password, bool httpDigest, const Deadline& deadline, std::size_t maxAnswer,
             std::string& answer, long& status)
{
    answer.clear();
    status = 0;
    if (const int rc = checkDestination(url); rc != SDK_OK)
        return rc;
    if (deadline.expired())
        return SDK_ERR_TIMEOUT;
    Easy easy = newEasy(url, user, password, deadline, httpDigest);
    if (!easy)
        return SDK_ERR_SOCKET;
    CURL* c = easy.get();
    Sink sink{&answer, maxAnswer};
    const std::string header = "Content-Type: " + contentType;
    curl_slist* headers = curl_slist_append(nullptr, header.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeSink);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(c);
    curl_slist_free_all(headers);
    const int result = transferResult(rc, sink);
    if (result == SDK_OK)
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return result;
}

int httpUpload(const std::string& url, const std::string& path, const std::string& user, const std::string& password,
               const Deadline& deadline, const std::function<void(long sent, long total)>& progress,
               const std::atomic<bool>& stop, std::string& answer, long& status)
{
    answer.clear();
    status = 0;
    if (const int rc = checkDestination(url); rc != SDK_OK)
        return rc;
    UploadSource src;
    src.file = std::fopen(path.c_str(), "rb");
    if (!src.file)
        return SDK_ERR_ILLEGAL_PARAM;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> closer(src.file, &std::fclose);
    if (std::fseek(src.file, 0, SEEK_END) != 0 || (src.total = std::ftell(src.file)) <= 0 ||
        std::fseek(src.file, 0, SEEK_SET) != 0)
        return SDK_ERR_ILLEGAL_PARAM;
    src.progress = &progress;
    src.stop = &stop;
    Easy easy = newEasy(url, user, password, deadline, false);
    if (!easy)
        return SDK_ERR_SOCKET;
    CURL* c = easy.get();
    Sink sink{&answer, ov::kMaxMessage};
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readSource);
    curl_easy_setopt(c, CURLOPT_READDATA, &src);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(src.total));
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progressSource);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &src);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeSink);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(c);
    curl_slist_free_all(headers);
    if (stop.load())
        return SDK_ERR_SOCKET;
    const int result = transferResult(rc, sink);
    if (result == SDK_OK)
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return result;
}

// ---- device ---------------------------------------------------------------------------------------

Device::Device(std::string url, net::Endpoint endpoint, std::string user, std::string password)
    : url_(std::move(url)), endpoint_(endpoint), user_(std::move(user)), password_(std::move(password))
{
}

int Device::readResult(ov::Status status)
{
    if (status == ov::Status::Ok)
        return SDK_OK;
    countBadFrame();
    return SDK_ERR_PROTOCOL;
}

int Device::call(const std::string& bodyXml, const char* nsUri, const char* response, const Deadline& deadline,
                 ov::Envelope& answer, bool authenticated)
{
    return post(url_, bodyXml, nsUri, response, deadline, answer, authenticated);
}

int Device::mediaCall(const std::string& bodyXml, const char* response, const Deadline& deadline, ov::Envelope& answer)
{
    std::string url;
    {
        std::lock_guard<std::mutex> lock(mediaMutex_);
        url = mediaUrl_;
    }
    if (url.empty()) {
        ov::Envelope e;
        std::string xaddr;
        std::uint8_t ip[4];
        std::uint16_t port = 0;
        std::string path;
        const int rc = call("<tds:GetCapabilities><tds:Category>Media</tds:Category></tds:GetCapabilities>",
                            ov::ns::kDevice, "GetCapabilitiesResponse", deadline, e);
        if (rc == SDK_ERR_TIMEOUT || rc == SDK_ERR_SOCKET || rc == SDK_ERR_NO_DEVICE || rc == SDK_ERR_REFUSED_DEST)
            return rc;
        // A device that names no usable address serves its media where its device service is.
        url =
            rc == SDK_OK && ov::readMediaAddress(e, xaddr) == ov::Status::Ok && ov::splitHttpUrl(xaddr, ip, port, path)
                ? xaddr
                : url_;
        std::lock_guard<std::mutex> lock(mediaMutex_);
        mediaUrl_ = url;
    }
    return post(url, bodyXml, ov::ns::kMedia, response, deadline, answer, true);
}

int Device::post(const std::string& url, const std::string& bodyXml, const char* nsUri, const char* response,
                 const Deadline& deadline, ov::Envelope& answer, bool authenticated)
{
    std::string text;
    long status = 0;
    // A device that wants HTTP digest as well answers 401 first: once more with it, and a new token.
    for (const bool httpDigest : {false, true}) {
        const std::string header = authenticated ? ov::securityHeader(user_, password_, ov::randomBytes(16),
                                                                      std::time(nullptr) + clockOffset_.load())
                                                 : std::string();
        const int rc = httpPost(url, "application/soap+xml; charset=utf-8", ov::envelope(header, bodyXml), user_,
                                password_, httpDigest, deadline, ov::kMaxMessage, text, status);
        if (rc != SDK_OK)
            return rc;
        if (status != 401)
            break;
    }
    if (status == 401)
        return SDK_ERR_PASSWORD;
    const ov::Status parsed = ov::parseEnvelope(text.data(), text.size(), answer);
    if (parsed == ov::Status::Fault) {
        const std::string& sub = answer.fault.subcode;
        if (sub == "NotAuthorized" || sub == "FailedAuthentication" || sub == "InvalidSecurityToken")
            return SDK_ERR_PASSWORD;
        if (sub == "ActionNotSupported")
            return SDK_ERR_NOT_SUPPORTED;
        return SDK_ERR_CONFIG_REJECTED;
    }
    if (parsed != ov::Status::Ok || status != 200 || !ov::is(answer.payload, nsUri, response)) {
        countBadFrame();
        return SDK_ERR_PROTOCOL;
    }
    return SDK_OK;
}

int Device::syncClock(const Deadline& d)
{
    ov::SystemDateAndTime t;
    ov::Envelope e;
    int rc = call("<tds:GetSystemDateAndTime/>", ov::ns::kDevice, "GetSystemDateAndTimeResponse", d, e, false);
    if (rc == SDK_OK)
        rc = readResult(ov::readSystemDateAndTime(e, t));
    if (rc == SDK_OK)
        clockOffset_.store(long(t.utc - std::time(nullptr)));
    return rc;
}

int Device::systemDateAndTime(ov::SystemDateAndTime& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetSystemDateAndTime/>", ov::ns::kDevice, "GetSystemDateAndTimeResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readSystemDateAndTime(e, out)) : rc;
}

int Device::deviceInformation(ov::DeviceInformation& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetDeviceInformation/>", ov::ns::kDevice, "GetDeviceInformationResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readDeviceInformation(e, out)) : rc;
}

int Device::networkInterfaces(std::vector<ov::NetworkInterface>& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetNetworkInterfaces/>", ov::ns::kDevice, "GetNetworkInterfacesResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readNetworkInterfaces(e, out)) : rc;
}

int Device::defaultGateway(std::vector<std::string>& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetNetworkDefaultGateway/>", ov::ns::kDevice, "GetNetworkDefaultGatewayResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readDefaultGateway(e, out)) : rc;
}

int Device::hostname(std::string& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetHostname/>", ov::ns::kDevice, "GetHostnameResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readHostname(e, out)) : rc;
}

int Device::ntp(ov::NtpInformation& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:GetNTP/>", ov::ns::kDevice, "GetNTPResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readNtp(e, out)) : rc;
}

int Device::setNetworkInterface(const std::string& token, const std::string& address, int prefix, bool dhcp,
                                bool& rebootNeeded, const Deadline& d)
{
    std::string body = "<tds:SetNetworkInterfaces><tds:InterfaceToken>" + ov::escape(token) +
                       "</tds:InterfaceToken><tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
                       "<tt:Enabled>true</tt:Enabled>";
    if (!address.empty())
        body += "<tt:Manual><tt:Address>" + ov::escape(address) + "</tt:Address><tt:PrefixLength>" +
                std::to_string(prefix) + "</tt:PrefixLength></tt:Manual>";
    body += std::string("<tt:DHCP>") + (dhcp ? "true" : "false") +
            "</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>";
    ov::Envelope e;
    const int rc = call(body, ov::ns::kDevice, "SetNetworkInterfacesResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readRebootNeeded(e, rebootNeeded)) : rc;
}

int Device::setDefaultGateway(const std::string& ipv4, const Deadline& d)
{
    ov::Envelope e;
    return call("<tds:SetNetworkDefaultGateway><tds:IPv4Address>" + ov::escape(ipv4) +
                    "</tds:IPv4Address></tds:SetNetworkDefaultGateway>",
                ov::ns::kDevice, "SetNetworkDefaultGatewayResponse", d, e);
}

int Device::setHostname(const std::string& name, const Deadline& d)
{
    ov::Envelope e;
    return call("<tds:SetHostname><tds:Name>" + ov::escape(name) + "</tds:Name></tds:SetHostname>", ov::ns::kDevice,
                "SetHostnameResponse", d, e);
}

int Device::setNtp(const std::string& server, const Deadline& d)
{
    std::uint8_t ip[4];
    const bool dotted = protocol::parseDotted(server, ip);
    std::string body = "<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP>";
    if (!server.empty())
        body += dotted ? "<tds:NTPManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>" + ov::escape(server) +
                             "</tt:IPv4Address></tds:NTPManual>"
                       : "<tds:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>" + ov::escape(server) +
                             "</tt:DNSname></tds:NTPManual>";
    body += "</tds:SetNTP>";
    ov::Envelope e;
    return call(body, ov::ns::kDevice, "SetNTPResponse", d, e);
}

int Device::setDateTimeType(bool ntp, const Deadline& d)
{
    std::string body = std::string("<tds:SetSystemDateAndTime><tds:DateTimeType>") + (ntp ? "NTP" : "Manual") +
                       "</tds:DateTimeType><tds:DaylightSavings>false</tds:DaylightSavings>";
    if (!ntp) {
        // A manual clock needs a time: the device's own, so that switching NTP off does not move it.
        const std::time_t now = std::time(nullptr) + clockOffset_.load();
        std::tm tm = {};
        gmtime_r(&now, &tm);
        body += "<tds:UTCDateTime><tt:Time><tt:Hour>" + std::to_string(tm.tm_hour) + "</tt:Hour><tt:Minute>" +
                std::to_string(tm.tm_min) + "</tt:Minute><tt:Second>" + std::to_string(tm.tm_sec) +
                "</tt:Second></tt:Time><tt:Date><tt:Year>" + std::to_string(tm.tm_year + 1900) +
                "</tt:Year><tt:Month>" + std::to_string(tm.tm_mon + 1) + "</tt:Month><tt:Day>" +
                std::to_string(tm.tm_mday) + "</tt:Day></tt:Date></tds:UTCDateTime>";
    }
    body += "</tds:SetSystemDateAndTime>";
    ov::Envelope e;
    return call(body, ov::ns::kDevice, "SetSystemDateAndTimeResponse", d, e);
}

int Device::reboot(const Deadline& d)
{
    ov::Envelope e;
    return call("<tds:SystemReboot/>", ov::ns::kDevice, "SystemRebootResponse", d, e);
}

int Device::factoryDefault(bool hard, const Deadline& d)
{
    ov::Envelope e;
    return call(std::string("<tds:SetSystemFactoryDefault><tds:FactoryDefault>") + (hard ? "Hard" : "Soft") +
                    "</tds:FactoryDefault></tds:SetSystemFactoryDefault>",
                ov::ns::kDevice, "SetSystemFactoryDefaultResponse", d, e);
}

int Device::startFirmwareUpgrade(ov::FirmwareUpload& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = call("<tds:StartFirmwareUpgrade/>", ov::ns::kDevice, "StartFirmwareUpgradeResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readStartFirmwareUpgrade(e, out)) : rc;
}

int Device::profiles(std::vector<ov::MediaProfile>& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc = mediaCall("<trt:GetProfiles/>", "GetProfilesResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readProfiles(e, out)) : rc;
}

int Device::videoEncoderConfiguration(const std::string& token, ov::VideoEncoderConfig& out, ov::Envelope& answer,
                                      const Deadline& d)
{
    const int rc = mediaCall("<trt:GetVideoEncoderConfiguration><trt:ConfigurationToken>" + ov::escape(token) +
                                 "</trt:ConfigurationToken></trt:GetVideoEncoderConfiguration>",
                             "GetVideoEncoderConfigurationResponse", d, answer);
    return rc == SDK_OK ? readResult(ov::readVideoEncoderConfiguration(answer, out)) : rc;
}

int Device::videoEncoderOptions(const std::string& profileToken, const std::string& encoderToken,
                                ov::VideoEncoderOptions& out, const Deadline& d)
{
    ov::Envelope e;
    const int rc =
        mediaCall("<trt:GetVideoEncoderConfigurationOptions><trt:ConfigurationToken>" + ov::escape(encoderToken) +
                      "</trt:ConfigurationToken><trt:ProfileToken>" + ov::escape(profileToken) +
                      "</trt:ProfileToken></trt:GetVideoEncoderConfigurationOptions>",
                  "GetVideoEncoderConfigurationOptionsResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readVideoEncoderOptions(e, out)) : rc;
}

int Device::setVideoEncoderConfiguration(const std::string& body, const Deadline& d)
{
    ov::Envelope e;
    return mediaCall(body, "SetVideoEncoderConfigurationResponse", d, e);
}

int Device::streamUri(const std::string& profileToken, std::string& uri, const Deadline& d)
{
    ov::Envelope e;
    const int rc = mediaCall("<trt:GetStreamUri><trt:StreamSetup><tt:Stream>RTP-Unicast</tt:Stream><tt:Transport>"
                             "<tt:Protocol>RTSP</tt:Protocol></tt:Transport></trt:StreamSetup><trt:ProfileToken>" +
                                 ov::escape(profileToken) + "</trt:ProfileToken></trt:GetStreamUri>",
                             "GetStreamUriResponse", d, e);
    return rc == SDK_OK ? readResult(ov::readStreamUri(e, uri)) : rc;
}

// ---- search -----------------------------------------------------------------------------------------

std::uint16_t discoveryPort()
{
    if (const char* port = std::getenv("VANTREL_ONVIF_DISCOVERY_PORT")) {
        char* end = nullptr;
        const long value = std::strtol(port, &end, 10);
        if (end != port && *end == '\0' && value > 0 && value <= 65535)
            return static_cast<std::uint16_t>(value);
    }
    return ov::kDiscoveryPort;
}

SearchMerge::SearchMerge() : messageId_(ov::randomUuidUrn()), probe_(ov::probeMessage(messageId_)) {}

bool SearchMerge::take(const std::uint8_t* data, std::size_t size)
{
    ov::Envelope e;
    const ov::Status parsed = ov::parseEnvelope(reinterpret_cast<const char*>(data), size, e);
    std::vector<ov::ProbeMatch> matches;
    const ov::Status read = parsed == ov::Status::Ok ? ov::readProbeMatches(e, messageId_, matches) : parsed;
    if (read == ov::Status::Unexpected)
        return false; // another client's traffic, or another probe's answer
    if (read != ov::Status::Ok) {
        countBadFrame();
        return false;
    }
    for (auto& m : matches)
        if (matches_.size() < 4 * kMaxKnownDevices)
            matches_.push_back(std::move(m));
    return true;
}

int SearchMerge::append(char* buffer, int count, int capacity, const std::vector<std::string>& nativeMacs)
{
    std::vector<std::string> seenEndpoints;
    std::vector<std::string> seenMacs;
    for (const auto& m : nativeMacs)
        seenMacs.push_back(lower(m));
    for (const ov::ProbeMatch& m : matches_) {
        if (count >= capacity)
            break;
        if (std::find(seenEndpoints.begin(), seenEndpoints.end(), m.endpoint) != seenEndpoints.end())
            continue;
        // The first device service address we can reach: http:// and a dotted IPv4 host.
        KnownDevice known;
        std::string path;
        for (const auto& x : m.xaddrs) {
            std::uint16_t port = 0;
            if (ov::splitHttpUrl(x, known.endpoint.ip.data(), port, path)) {
                known.endpoint.port = port;
                known.url = x;
                break;
            }
        }
        if (known.url.empty())
            continue;
        std::string name, hardware, firmware;
        for (const auto& scope : m.scopes) {
            const std::string base = "onvif://www.onvif.org/";
            if (!startsWith(scope, base))
                continue;
            const std::string rest = scope.substr(base.size());
            const auto slash = rest.find('/');
            if (slash == std::string::npos)
                continue;
            const std::string key = lower(rest.substr(0, slash));
            const std::string value = percentDecoded(rest.substr(slash + 1));
            if (key == "mac")
                known.mac = macFromScope(value);
            else if (key == "name")
                name = value;
            else if (key == "hardware")
                hardware = value;
            else if (key == "firmware")
                firmware = value;
        }
        if (!known.mac.empty() && std::find(seenMacs.begin(), seenMacs.end(), known.mac) != seenMacs.end())
            continue;
        seenEndpoints.push_back(m.endpoint);
        if (!known.mac.empty())
            seenMacs.push_back(known.mac);

        SDK_CONFIG_NET_COMMON_V2 r;
        std::memset(&r, 0, sizeof r);
        copyBounded(name.empty() ? hardware : name, r.hostName, sizeof r.hostName);
        std::memcpy(r.hostIp, known.endpoint.ip.data(), 4);
        r.ports[1] = known.endpoint.port;
        copyBounded(known.mac, r.mac, sizeof r.mac);
        r.deviceKind = 0; // an IP camera: ONVIF's network video transmitter
        copyBounded(firmware, r.version, sizeof r.version);
        std::memcpy(buffer + static_cast<std::size_t>(count) * sizeof r, &r, sizeof r);
        ++count;

        std::lock_guard<std::mutex> lock(g_knownMutex);
        if (g_known.size() >= kMaxKnownDevices)
            g_known.clear();
        g_known[endpointKey(known.endpoint)] = known;
    }
    return count;
}

bool isOnvifEndpoint(const net::Endpoint& to, std::string& url)
{
    {
        std::lock_guard<std::mutex> lock(g_knownMutex);
        const auto it = g_known.find(endpointKey(to));
        if (it != g_known.end()) {
            url = it->second.url;
            return true;
        }
    }
    if (to.port != 80)
        return false;
    url = "http://" + protocol::formatDotted(to.ip.data()) + ov::kDeviceServicePath;
    return true;
}

bool knownByMac(const std::string& mac, KnownDevice& out)
{
    const std::string wanted = lower(mac);
    if (wanted.empty())
        return false;
    std::lock_guard<std::mutex> lock(g_knownMutex);
    for (const auto& [key, device] : g_known)
        if (device.mac == wanted) {
            out = device;
            return true;
        }
    return false;
}

void moved(const std::string& mac, const net::Ip4& ip)
{
    const std::string wanted = lower(mac);
    std::lock_guard<std::mutex> lock(g_knownMutex);
    for (auto it = g_known.begin(); it != g_known.end(); ++it) {
        if (it->second.mac != wanted)
            continue;
        KnownDevice d = it->second;
        g_known.erase(it);
        std::uint8_t old[4];
        std::uint16_t port = 0;
        std::string path;
        if (!ov::splitHttpUrl(d.url, old, port, path))
            return;
        d.endpoint.ip = ip;
        d.url = "http://" + protocol::formatDotted(ip.data()) + (port == 80 ? "" : ":" + std::to_string(port)) + path;
        g_known[endpointKey(d.endpoint)] = d;
        return;
    }
}

} // namespace netsdk::onvif
