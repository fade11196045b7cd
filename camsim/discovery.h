#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace camsim {

class Camera;

/// The fleet's side of the UDP discovery port, without the socket: search answers and the
/// address change without login, for every camera of the fleet.
class Discovery
{
public:
    explicit Discovery(const std::vector<Camera*>& cameras);

    struct Answer
    {
        int camera = 0; ///< index of the answering camera (its latency applies)
        std::vector<std::uint8_t> bytes;
    };
    enum class Verdict
    {
        Handled,
        Bad,    ///< not a well-formed request: dropped and counted
        Foreign ///< source outside 127.0.0.0/8: dropped and counted, nothing is sent there
    };
    struct Result
    {
        Verdict verdict = Verdict::Handled;
        std::vector<Answer> answers;
    };

    /// One datagram from `sourceAddress` (host byte order).
    Result handle(const std::uint8_t* data, std::size_t size, std::uint32_t sourceAddress, std::int64_t nowMs);

    int badDatagrams() const { return bad_; }
    int foreignSources() const { return foreign_; }

private:
    struct Request;
    Camera* findByMac(const std::string& mac) const;
    bool search(const Request& request, Result& result);
    bool netSetHello(const Request& request, std::int64_t nowMs, Result& result);
    bool netSetRequest(const Request& request, std::int64_t nowMs, Result& result);

    std::vector<Camera*> cameras_;
    std::map<std::string, Camera*> byMac_; ///< lower-case MAC text
    int bad_ = 0;
    int foreign_ = 0;
};

} // namespace camsim
