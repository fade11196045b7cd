#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "media.h"

typedef struct _GstRTSPThreadPool GstRTSPThreadPool;

namespace camsim {

/// The live stream of ONVIF cameras over RTSP: GStreamer's RTSP server, fed through appsrc with the
/// test picture encoded exactly as the native stream is (EncodeLoop, VideoEncoder). Each camera has
/// a server object of its own without a listening socket: the fleet's listeners accept connections
/// on the camera's address and hand them over, so RTSP listens nowhere else. Only RTP inside the
/// RTSP connection (TCP interleaved) is offered: the camera never sends to another address or port,
/// and never to a group. Paths: "/profile_main" and "/profile_sub", as GetStreamUri names them.
class RtspService
{
public:
    /// What a connection may stream: the camera's name and address (drawn into the picture) and the
    /// settings of its main and extra stream as the camera's records say when it connects (an extra
    /// stream whose video is off is not offered).
    struct Offer
    {
        std::string name;
        std::string address;
        StreamSettings streams[2];
        bool available[2] = {false, false};
    };

    static constexpr const char* kPaths[2] = {"/profile_main", "/profile_sub"};

    RtspService();
    /// Ends every connection and stream.
    ~RtspService();
    RtspService(const RtspService&) = delete;
    RtspService& operator=(const RtspService&) = delete;

    /// Initialises GStreamer; false with `error` when the elements the streams need are missing.
    bool start(std::string& error);
    /// Takes an accepted connection of `camera` (a descriptor, taken over also on failure).
    void adopt(int camera, int descriptor, const Offer& offer);
    /// Ends every connection of `camera` and its streams (reboot, death).
    void dropCamera(int camera);
    void stop();

    struct Camera; // rtsp.cpp

private:
    Camera& cameraAt(int index);

    bool started_ = false;
    GstRTSPThreadPool* pool_ = nullptr;
    std::map<int, std::unique_ptr<Camera>> cameras_;
};

} // namespace camsim
