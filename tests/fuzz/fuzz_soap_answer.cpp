// SOAP answers and WS-Discovery datagrams arrive from any device on the LAN. Every reader must stay
// within its limits, whatever the bytes: texts at most kMaxText, lists at most kMaxItems.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/onvif.h"

namespace ov = protocol::onvif;

namespace {

void check(const std::string& text)
{
    if (text.size() > ov::kMaxText)
        std::abort();
}

template <typename T> void checkList(const std::vector<T>& list)
{
    if (list.size() > ov::kMaxItems)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ov::Envelope e;
    const ov::Status st = ov::parseEnvelope(reinterpret_cast<const char*>(data), size, e);
    if (st == ov::Status::Fault) {
        check(e.fault.code);
        check(e.fault.subcode);
        check(e.fault.reason);
        return 0;
    }
    if (st != ov::Status::Ok)
        return 0;
    ov::DeviceInformation info;
    if (ov::readDeviceInformation(e, info) == ov::Status::Ok)
        for (const auto* t :
             {&info.manufacturer, &info.model, &info.firmwareVersion, &info.serialNumber, &info.hardwareId})
            check(*t);
    ov::SystemDateAndTime time;
    ov::readSystemDateAndTime(e, time);
    std::vector<ov::NetworkInterface> interfaces;
    if (ov::readNetworkInterfaces(e, interfaces) == ov::Status::Ok) {
        checkList(interfaces);
        for (const auto& n : interfaces) {
            check(n.address);
            if (n.prefixLength < 0 || n.prefixLength > 32)
                std::abort();
        }
    }
    std::vector<std::string> gateways;
    if (ov::readDefaultGateway(e, gateways) == ov::Status::Ok)
        checkList(gateways);
    ov::NtpInformation ntp;
    if (ov::readNtp(e, ntp) == ov::Status::Ok)
        checkList(ntp.servers);
    std::string name;
    ov::readHostname(e, name);
    check(name);
    bool reboot = false;
    ov::readRebootNeeded(e, reboot);
    ov::FirmwareUpload upload;
    if (ov::readStartFirmwareUpgrade(e, upload) == ov::Status::Ok &&
        (upload.uploadDelay < 0 || upload.expectedDownTime < 0))
        std::abort();
    std::vector<ov::ProbeMatch> matches;
    if (ov::readProbeMatches(e, "urn:uuid:probe", matches) == ov::Status::Ok) {
        checkList(matches);
        for (const auto& m : matches) {
            checkList(m.scopes);
            checkList(m.xaddrs);
            for (const auto& x : m.xaddrs) {
                std::uint8_t ip[4];
                std::uint16_t port = 0;
                std::string path;
                ov::splitHttpUrl(x, ip, port, path);
            }
        }
    }
    ov::UsernameToken token;
    ov::readUsernameToken(e, token);
    if (token.nonce.size() > 256)
        std::abort();
    ov::Probe probe;
    ov::readProbe(e, probe);
    // The media service's answers, and the write built from a configuration answer.
    std::vector<ov::MediaProfile> profiles;
    if (ov::readProfiles(e, profiles) == ov::Status::Ok)
        checkList(profiles);
    ov::VideoEncoderConfig config;
    if (ov::readVideoEncoderConfiguration(e, config) == ov::Status::Ok) {
        check(config.encoding);
        if (config.width < 1 || config.height < 1 || config.width > 16384 || config.height > 16384)
            std::abort();
        const std::string body = ov::setVideoEncoderConfigurationBody(e, config);
        ov::Envelope again;
        if (body.empty() || ov::parseEnvelope(ov::envelope({}, body).data(), ov::envelope({}, body).size(), again) ==
                                ov::Status::NotXml)
            std::abort(); // what we send must be well-formed whatever the device wrote
    }
    ov::VideoEncoderOptions options;
    if (ov::readVideoEncoderOptions(e, options) == ov::Status::Ok)
        for (const auto* sizes : {&options.h264, &options.jpeg, &options.mpeg4})
            checkList(*sizes);
    std::string uri;
    ov::readStreamUri(e, uri);
    check(uri);
    ov::readMediaAddress(e, uri);
    check(uri);
    return 0;
}
