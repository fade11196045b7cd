#pragma once

// A live stream from an RTSP server (an ONVIF camera's), read with libavformat: RTP inside the
// RTSP connection (TCP), the first H.264 or H.265 video stream, access units as the demuxer's
// parser assembles them. Every blocking step is bounded (the open by its deadline, each read by the
// stream's silence limit) and ends at once when the owner asks it to stop.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <protocol/media.h>

#include "deadline.h"

struct AVFormatContext;
struct AVPacket;

namespace netsdk {

class RtspReader
{
public:
    explicit RtspReader(const std::atomic<bool>& stop);
    /// Closes the stream (the server is told, briefly).
    ~RtspReader();
    RtspReader(const RtspReader&) = delete;
    RtspReader& operator=(const RtspReader&) = delete;

    /// Opens "rtsp://a.b.c.d[:port]/path" (a dotted IPv4 host: no name is looked up; with
    /// loopback-only, only 127.0.0.0/8) with the credentials, if any. SDK_OK, or
    /// SDK_ERR_REFUSED_DEST, SDK_ERR_ILLEGAL_PARAM (not such a URI), SDK_ERR_NO_STREAM (no such
    /// stream, or no H.264/H.265 video in it), SDK_ERR_TIMEOUT, SDK_ERR_PASSWORD, SDK_ERR_SOCKET.
    int open(const std::string& uri, const std::string& user, const std::string& password, const Deadline& deadline);
    protocol::VideoCodec codec() const { return codec_; }
    /// The codec's parameter sets from the session description (may be empty).
    const std::vector<std::uint8_t>& extradata() const { return extradata_; }

    struct Unit
    {
        const std::uint8_t* data = nullptr; ///< valid until the next call
        std::size_t size = 0;
        bool keyFrame = false;
    };
    /// The next access unit, waiting at most `silenceMs`: SDK_OK, SDK_ERR_TIMEOUT (silent),
    /// SDK_ERR_SOCKET (the server ended the stream or the connection broke), SDK_ERR_PROTOCOL, or
    /// SDK_ERR_GENERAL when stopped.
    int next(Unit& out, int silenceMs);
    /// Closes the stream now, telling the server within a few milliseconds.
    void close();

private:
    static int interrupted(void* self);

    const std::atomic<bool>& stop_;
    AVFormatContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    int video_ = -1;
    protocol::VideoCodec codec_ = protocol::VideoCodec::H264;
    std::vector<std::uint8_t> extradata_;
    std::atomic<std::int64_t> deadlineMs_{0}; ///< steady clock; blocking steps end after it
    std::atomic<bool> closing_{false};
};

} // namespace netsdk
