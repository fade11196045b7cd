#pragma once

// The bytes of ONVIF on the wire: SOAP 1.2 envelopes over HTTP (device and media services) and
// WS-Discovery over UDP. Parsing is namespace-aware (an element counts only in its namespace, never
// by its prefix), bounded in size, nesting and item counts, and never expands entities or reads
// a document type. The device library and the emulator both build and read messages here; the
// readers are fuzzed.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace protocol::onvif {

/// Largest SOAP message either side reads (HTTP body or discovery datagram).
constexpr std::size_t kMaxMessage = 256 * 1024;
/// Deepest element nesting accepted.
constexpr int kMaxDepth = 32;
/// Longest text taken from one element; longer texts make the message malformed.
constexpr std::size_t kMaxText = 1024;
/// Most items of one list taken from a message (interfaces, addresses, scopes, matches ...).
constexpr std::size_t kMaxItems = 64;

namespace ns {
constexpr const char* kSoap = "http://www.w3.org/2003/05/soap-envelope";
constexpr const char* kDevice = "http://www.onvif.org/ver10/device/wsdl";
constexpr const char* kMedia = "http://www.onvif.org/ver10/media/wsdl";
constexpr const char* kSchema = "http://www.onvif.org/ver10/schema";
constexpr const char* kError = "http://www.onvif.org/ver10/error";
constexpr const char* kWsse = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr const char* kWsu = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr const char* kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char* kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char* kNetwork = "http://www.onvif.org/ver10/network/wsdl";
} // namespace ns

constexpr const char* kPasswordDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
constexpr const char* kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr const char* kProbeMatchesAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr const char* kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr std::uint16_t kDiscoveryPort = 3702;
constexpr const char* kDeviceServicePath = "/onvif/device_service";

enum class Status
{
    Ok,
    TooLarge,   ///< beyond kMaxMessage
    NotXml,     ///< not well-formed, or nested deeper than kMaxDepth
    NotSoap,    ///< no SOAP 1.2 Envelope with a Body
    Fault,      ///< a SOAP fault; see Envelope::fault
    Unexpected, ///< a well-formed answer of another operation
    Malformed   ///< the expected answer with missing, overlong or ill-typed content
};

struct Fault
{
    std::string code;    ///< local name of the Code value ("Sender", "Receiver")
    std::string subcode; ///< local name of the innermost Subcode value ("NotAuthorized", ...)
    std::string reason;
};

/// A parsed SOAP envelope: the first element of its Header and of its Body.
struct Envelope
{
    pugi::xml_document document;
    pugi::xml_node header;  ///< may be empty
    pugi::xml_node payload; ///< the Body's first element
    Fault fault;
};

/// Parses one message. Ok with the payload, Fault with `fault` filled, or the reason it is no SOAP.
Status parseEnvelope(const char* data, std::size_t size, Envelope& out);

// ---- namespace-aware access ----------------------------------------------------------------
std::string namespaceOf(pugi::xml_node node);
std::string localName(pugi::xml_node node);
bool is(pugi::xml_node node, const char* nsUri, const char* local);
/// First element child with that namespace and local name.
pugi::xml_node child(pugi::xml_node node, const char* nsUri, const char* local);
/// Element children with that namespace and local name, at most kMaxItems.
std::vector<pugi::xml_node> children(pugi::xml_node node, const char* nsUri, const char* local);
/// The element's text, trimmed; false when it is longer than kMaxText.
bool text(pugi::xml_node node, std::string& out);
/// The text of child(node, nsUri, local); false when the child is missing or its text too long.
bool childText(pugi::xml_node node, const char* nsUri, const char* local, std::string& out);
/// xs:boolean.
bool parseBool(const std::string& text, bool& out);
/// xs:dateTime in UTC ("2026-01-02T03:04:05Z", fractions allowed); false otherwise.
bool parseUtc(const std::string& text, std::time_t& out);
std::string formatUtc(std::time_t t);
/// xs:duration of the simple forms "PT5S", "PT1M30S", "P1DT2H"; seconds, false otherwise.
bool parseDuration(const std::string& text, long& seconds);

// ---- building ---------------------------------------------------------------------------------
/// Text escaped for element content and attribute values.
std::string escape(const std::string& text);
/// A SOAP 1.2 envelope declaring the prefixes s, tds, trt, tt, ter, wsse, wsu, d, wsa, dn.
std::string envelope(const std::string& headerXml, const std::string& bodyXml);
/// Base64(SHA-1(nonce + created + password)).
std::string passwordDigest(const std::string& nonce, const std::string& created, const std::string& password);
std::string base64(const std::string& bytes);
/// Decodes strict base64; false on any other character or a decoded size beyond maxBytes.
bool unbase64(const std::string& text, std::string& out, std::size_t maxBytes);
/// A wsse:Security header with a UsernameToken (password digest) for this nonce and time.
std::string securityHeader(const std::string& user, const std::string& password, const std::string& nonce,
                           std::time_t created);
/// "urn:uuid:" and a random version-4 UUID.
std::string randomUuidUrn();
/// `count` random bytes from the system's source.
std::string randomBytes(std::size_t count);

// ---- the security header (device side) ----------------------------------------------------
struct UsernameToken
{
    bool present = false;
    bool digest = false; ///< the password is a digest (else plain text)
    std::string user;
    std::string password; ///< the digest (base64) or the plain text
    std::string nonce;    ///< decoded bytes
    std::string created;
};
/// Reads wsse:Security/UsernameToken from the envelope's header; Malformed when present but broken.
Status readUsernameToken(const Envelope& envelope, UsernameToken& out);

// ---- answers the client reads -----------------------------------------------------------------
/// The payload must be (nsUri, local): Ok, or Unexpected / the envelope's status.
Status expect(const Envelope& envelope, Status parsed, const char* nsUri, const char* local);

struct DeviceInformation
{
    std::string manufacturer, model, firmwareVersion, serialNumber, hardwareId;
};
Status readDeviceInformation(const Envelope& e, DeviceInformation& out);

struct SystemDateAndTime
{
    std::string dateTimeType; ///< "Manual" or "NTP"
    std::time_t utc = 0;
};
Status readSystemDateAndTime(const Envelope& e, SystemDateAndTime& out);

struct NetworkInterface
{
    std::string token;
    bool enabled = false;
    std::string hwAddress; ///< as the device writes it
    bool ipv4Enabled = false;
    bool dhcp = false;
    std::string address; ///< first manual address, else the one from DHCP; may be empty
    int prefixLength = 0;
};
Status readNetworkInterfaces(const Envelope& e, std::vector<NetworkInterface>& out);
Status readDefaultGateway(const Envelope& e, std::vector<std::string>& ipv4);
struct NtpInformation
{
    bool fromDhcp = false;
    std::vector<std::string> servers; ///< manual entries: IPv4 address or DNS name
};
Status readNtp(const Envelope& e, NtpInformation& out);
Status readHostname(const Envelope& e, std::string& name);
/// SetNetworkInterfacesResponse.
Status readRebootNeeded(const Envelope& e, bool& rebootNeeded);
struct FirmwareUpload
{
    std::string uploadUri;
    long uploadDelay = 0;      ///< seconds
    long expectedDownTime = 0; ///< seconds
};
Status readStartFirmwareUpgrade(const Envelope& e, FirmwareUpload& out);

// ---- media service -----------------------------------------------------------------------------
/// A video encoder configuration, as far as the encode records carry it.
struct VideoEncoderConfig
{
    std::string token;
    std::string encoding; ///< "H264", "JPEG", "MPEG4" (and "H265", which many cameras name here)
    int width = 0;
    int height = 0;
    double quality = 0;
    int frameRateLimit = 0; ///< 0: not told
    int bitrateLimit = 0;   ///< kbit/s, 0: not told
    int govLength = 0;      ///< frames between key frames (H264 or MPEG4), 0: not told
};
struct MediaProfile
{
    std::string token;
    bool hasEncoder = false;
    VideoEncoderConfig encoder;
};
/// GetProfilesResponse: the profiles in the device's order (at most kMaxItems).
Status readProfiles(const Envelope& e, std::vector<MediaProfile>& out);
/// GetVideoEncoderConfigurationResponse.
Status readVideoEncoderConfiguration(const Envelope& e, VideoEncoderConfig& out);
struct Size
{
    int width = 0;
    int height = 0;
};
struct VideoEncoderOptions
{
    double qualityMin = 0, qualityMax = 0;
    std::vector<Size> h264, jpeg, mpeg4; ///< resolutions available per encoding (at most kMaxItems each)
    bool hasH264 = false, hasJpeg = false, hasMpeg4 = false;
    int frameRateMax = 0; ///< the largest of the encodings' ranges, 0: not told
    int govLengthMin = 0, govLengthMax = 0;
};
/// GetVideoEncoderConfigurationOptionsResponse.
Status readVideoEncoderOptions(const Envelope& e, VideoEncoderOptions& out);
/// GetCapabilitiesResponse: the media service's address (not checked here).
Status readMediaAddress(const Envelope& e, std::string& xaddr);
/// GetStreamUriResponse: the URI (not checked here).
Status readStreamUri(const Envelope& e, std::string& uri);
/// The body of SetVideoEncoderConfiguration for the configuration a GetVideoEncoderConfiguration
/// answer holds, every element kept as the device wrote it except the values of `want` (encoding,
/// resolution, quality, frame rate, bit rate and, for H264, the GOP length), with ForcePersistence.
/// Empty when the answer holds no configuration.
std::string setVideoEncoderConfigurationBody(const Envelope& current, const VideoEncoderConfig& want);

// ---- WS-Discovery -----------------------------------------------------------------------------
std::string probeMessage(const std::string& messageId);
struct Probe
{
    std::string messageId;
    std::vector<std::string> types; ///< "prefix:local" as written; empty = any
};
Status readProbe(const Envelope& e, Probe& out);
struct ProbeMatch
{
    std::string endpoint; ///< the EndpointReference address ("urn:uuid:...")
    std::vector<std::string> types;
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
};
/// ProbeMatches relating to `messageId`; Unexpected for another probe's answer.
Status readProbeMatches(const Envelope& e, const std::string& messageId, std::vector<ProbeMatch>& out);

/// Splits "http://host[:port]/path": host must be a dotted IPv4 address. False otherwise.
bool splitHttpUrl(const std::string& url, std::uint8_t ip[4], std::uint16_t& port, std::string& path);

} // namespace protocol::onvif
