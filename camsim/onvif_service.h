#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <protocol/onvif.h>

namespace camsim {

class Camera;

/// The ONVIF side of one camera, without sockets: the device and media services over SOAP, the
/// firmware upload and the WS-Discovery answer. It reads and writes the camera's own state, so the
/// native side and the ONVIF side see the same camera (address, gateway, host name, time server,
/// DHCP, firmware, encode record).
class OnvifService
{
public:
    /// What the fleet does once the answer has left.
    enum class After
    {
        Nothing,
        Reboot,
        HardReset,    ///< factory address, then a reboot
        WriteFirmware ///< an accepted package: write it, then reboot
    };
    struct Reply
    {
        int status = 200;
        std::string body;
        std::string contentType = "application/soap+xml; charset=utf-8";
        After after = After::Nothing;
    };

    /// Seconds within which a UsernameToken's creation time must lie, and for which its nonce is kept.
    static constexpr int kWindowS = 300;
    /// Nonces remembered per camera; beyond, the oldest go (only nonces of verified requests are kept).
    static constexpr std::size_t kMaxNonces = 4096;
    static constexpr const char* kUploadPath = "/onvif/firmware_upload";

    OnvifService(Camera& camera, std::uint16_t httpPort, long clockOffsetS);

    /// One HTTP request on the camera's ONVIF port. `tooLarge` says the body was cut at the limit.
    Reply handle(const std::string& method, const std::string& path, const std::string& body, bool tooLarge,
                 std::int64_t nowMs);
    /// The ProbeMatches datagram answering `probe`, or empty when the probe asks for other types.
    std::string probeMatch(const protocol::onvif::Probe& probe) const;

    /// The camera's clock (UTC): the host's plus the camera's own offset.
    std::time_t now() const;
    /// Forgets nonces and an announced upload (a reboot clears the camera's memory).
    void resetVolatile();

    std::string deviceUrl() const;
    std::string endpointReference() const;
    /// The firmware package the last accepted upload left (for the fleet's write).
    const std::string& acceptedVersion() const { return acceptedVersion_; }

private:
    Reply soap(const std::string& body, bool tooLarge, std::int64_t nowMs);
    Reply upload(const std::string& body, bool tooLarge);
    Reply device(const protocol::onvif::Envelope& e, const std::string& op);
    Reply media(const protocol::onvif::Envelope& e, const std::string& op);
    /// Empty when the request may go on; else the refusal.
    bool authorised(const protocol::onvif::Envelope& e, std::int64_t nowMs, Reply& refusal);
    Reply shapeMalformed(Reply reply);

    std::string baseUrl() const;
    std::string scopes() const;

    Camera& camera_;
    std::uint16_t httpPort_;
    long clockOffset_;
    std::deque<std::pair<std::string, std::int64_t>> nonces_; ///< nonce, when it may go (ms)
    std::set<std::string> nonceSet_;
    bool uploadAnnounced_ = false;
    std::string uploadToken_; ///< the announced upload's path: one use, unguessable
    std::string acceptedVersion_;
    unsigned malformedTurn_ = 0;
};

} // namespace camsim
