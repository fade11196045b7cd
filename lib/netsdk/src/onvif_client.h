#pragma once

// The ONVIF back end: a logged-in ONVIF device (device service over SOAP/HTTP with WS-UsernameToken
// password digests), the HTTP transport (libcurl), the search's WS-Discovery side and the
// translation of the contract's calls to ONVIF operations (onvif_api.cpp). See docs/onvif.md.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <protocol/onvif.h>

#include "deadline.h"
#include "netsdk/netsdk.h"
#include "socket_io.h"

namespace netsdk::onvif {

namespace ov = protocol::onvif;

/// Time-out of one request when the caller gives none.
constexpr int kDefaultCallMs = 5000;

/// POSTs `body` to an http:// URL whose host is a dotted IPv4 address (no name lookups, no
/// proxies, no redirects) and reads at most `maxAnswer` bytes of the answer. With `httpDigest`,
/// HTTP digest authentication with user/password (after a 401). Returns SDK_OK
/// with the HTTP status, SDK_ERR_REFUSED_DEST (loopback-only and the host is elsewhere),
/// SDK_ERR_ILLEGAL_PARAM (not such a URL), SDK_ERR_NO_DEVICE, SDK_ERR_TIMEOUT, SDK_ERR_PROTOCOL
/// (answer too large: counted) or SDK_ERR_SOCKET.
int httpPost(const std::string& url, const std::string& contentType, const std::string& body, const std::string& user,
             const std::string& password, bool httpDigest, const Deadline& deadline, std::size_t maxAnswer,
             std::string& answer, long& status);
/// The same for a file's bytes as the body; `progress(sent, total)` is called as they leave.
int httpUpload(const std::string& url, const std::string& path, const std::string& user, const std::string& password,
               const Deadline& deadline, const std::function<void(long sent, long total)>& progress,
               const std::atomic<bool>& stop, std::string& answer, long& status);

/// An ONVIF device service with credentials and the device's clock offset.
class Device
{
public:
    Device(std::string url, net::Endpoint endpoint, std::string user, std::string password);

    const std::string& url() const { return url_; }
    const net::Endpoint& endpoint() const { return endpoint_; }

    /// GetSystemDateAndTime (no credentials): learns the device's clock offset, so that the
    /// UsernameToken's creation time is the device's time.
    int syncClock(const Deadline& deadline);
    /// One SOAP request; SDK_OK when the answer's payload is (nsUri, response). Faults become
    /// SDK_ERR_PASSWORD (not authorised), SDK_ERR_NOT_SUPPORTED (unknown action) or
    /// SDK_ERR_CONFIG_REJECTED; a malformed answer SDK_ERR_PROTOCOL (counted).
    int call(const std::string& bodyXml, const char* nsUri, const char* response, const Deadline& deadline,
             ov::Envelope& answer, bool authenticated = true);
    /// The same to the media service, whose address GetCapabilities tells (asked once; the device
    /// service's own address when the device names none).
    int mediaCall(const std::string& bodyXml, const char* response, const Deadline& deadline, ov::Envelope& answer);
    /// A reader's verdict on an answer as the call's result.
    static int readResult(ov::Status status);

    int deviceInformation(ov::DeviceInformation& out, const Deadline& d);
    int networkInterfaces(std::vector<ov::NetworkInterface>& out, const Deadline& d);
    int defaultGateway(std::vector<std::string>& out, const Deadline& d);
    int hostname(std::string& out, const Deadline& d);
    int ntp(ov::NtpInformation& out, const Deadline& d);
    int systemDateAndTime(ov::SystemDateAndTime& out, const Deadline& d);
    /// SetNetworkInterfaces on one interface: a manual address (empty: leave the addresses) and DHCP.
    int setNetworkInterface(const std::string& token, const std::string& address, int prefix, bool dhcp,
                            bool& rebootNeeded, const Deadline& d);
    int setDefaultGateway(const std::string& ipv4, const Deadline& d);
    int setHostname(const std::string& name, const Deadline& d);
    int setNtp(const std::string& server, const Deadline& d);
    /// SetSystemDateAndTime: NTP, or manual with the device's present time.
    int setDateTimeType(bool ntp, const Deadline& d);
    int reboot(const Deadline& d);
    int factoryDefault(bool hard, const Deadline& d);
    int startFirmwareUpgrade(ov::FirmwareUpload& out, const Deadline& d);

    // Media service (at the device service's address: the devices this library knows serve both there).
    int profiles(std::vector<ov::MediaProfile>& out, const Deadline& d);
    /// GetVideoEncoderConfiguration; `answer` keeps the device's own XML for a later write.
    int videoEncoderConfiguration(const std::string& token, ov::VideoEncoderConfig& out, ov::Envelope& answer,
                                  const Deadline& d);
    int videoEncoderOptions(const std::string& profileToken, const std::string& encoderToken,
                            ov::VideoEncoderOptions& out, const Deadline& d);
    /// SetVideoEncoderConfiguration with a body from ov::setVideoEncoderConfigurationBody.
    int setVideoEncoderConfiguration(const std::string& body, const Deadline& d);
    /// GetStreamUri: RTP over RTSP (TCP) for the profile.
    int streamUri(const std::string& profileToken, std::string& uri, const Deadline& d);

    /// Credentials for the firmware upload.
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }

private:
    std::string url_;
    net::Endpoint endpoint_;
    std::string user_;
    std::string password_;             ///< a password digest is formed anew for every request
    std::atomic<long> clockOffset_{0}; ///< device time minus local time, seconds
    std::mutex mediaMutex_;            // guards mediaUrl_
    std::string mediaUrl_;             ///< empty until asked

    int post(const std::string& url, const std::string& bodyXml, const char* nsUri, const char* response,
             const Deadline& deadline, ov::Envelope& answer, bool authenticated);
};

// ---- search side --------------------------------------------------------------------------------

/// The WS-Discovery port the probe goes to: VANTREL_ONVIF_DISCOVERY_PORT, read at each search, or 3702.
std::uint16_t discoveryPort();
/// Collects the ONVIF answers of one search and turns them into search records.
class SearchMerge
{
public:
    SearchMerge();
    const std::string& probe() const { return probe_; }
    /// One datagram that looks like XML; false when it is no answer to this probe (bad ones counted).
    bool take(const std::uint8_t* data, std::size_t size);
    /// Appends a record for every ONVIF device whose MAC text is not among `nativeMacs` (those
    /// are the same cameras, and our own protocol serves them better) and whose endpoint was not
    /// seen yet, until `capacity` records are in `buffer`. Remembers every listed device (address,
    /// port, service URL, MAC) for the login and the address change. Returns the new count.
    int append(char* buffer, int count, int capacity, const std::vector<std::string>& nativeMacs);

private:
    std::string messageId_;
    std::string probe_;
    std::vector<ov::ProbeMatch> matches_;
};

/// A device that the last searches found speaking ONVIF.
struct KnownDevice
{
    std::string url; ///< device service
    net::Endpoint endpoint;
    std::string mac;
};
/// Whether a login to `to` goes to an ONVIF device service: the search found one there, or the port is 80.
bool isOnvifEndpoint(const net::Endpoint& to, std::string& url);
/// The ONVIF device with this MAC text (letter case ignored) that a search found.
bool knownByMac(const std::string& mac, KnownDevice& out);
/// After an address change: the device with `mac` now answers at `ip`.
void moved(const std::string& mac, const net::Ip4& ip);

// ---- the contract's calls -------------------------------------------------------------------------
long login(const net::Endpoint& to, const std::string& url, const std::string& user, const std::string& password,
           SDK_DEVICE_INFO* info, int& error);
long getConfig(Device& device, unsigned long command, int channel, char* out, unsigned long outSize,
               unsigned long* returned, int waitMs);
long setConfig(Device& device, unsigned long command, int channel, const char* in, unsigned long size, int waitMs);
int control(Device& device, int type, int waitMs);
/// sdkSetConfigOverNet for a device that the search found speaking ONVIF only.
long setAddress(const KnownDevice& device, const SDK_NET_ADDRESS_BLOCK& block, int waitMs);
/// The encode records (commands 10, 17, 19, 68) and the encode page's ability query; onvif_media.cpp.
bool isEncodeCommand(unsigned long command);
long getEncodeConfig(Device& device, unsigned long command, int channel, char* out, unsigned long outSize,
                     unsigned long* returned, int waitMs);
long setEncodeConfig(Device& device, unsigned long command, int channel, const char* in, unsigned long size,
                     int waitMs);
long channelAbilityJson(const char* name, int channel, char* out, int outSize, int* returned);
/// The RTSP address of stream `stream` (0 main, 1 extra) of channel `channel`; SDK_OK or a code.
int streamAddress(Device& device, int channel, int stream, std::string& uri, const Deadline& d);

long startUpgrade(long login, const std::shared_ptr<Device>& device, const char* path, fUpgradeCallBack callback,
                  void* user);
/// True when the handle was an ONVIF upgrade (now closed).
bool closeUpgrade(long handle);
void stopAllUpgrades();

} // namespace netsdk::onvif
