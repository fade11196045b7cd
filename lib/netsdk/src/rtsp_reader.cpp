#include "rtsp_reader.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <protocol/codec.h>

#include "library_state.h"
#include "netsdk/netsdk.h"

namespace netsdk {

namespace {

// How long the server is given to hear the end of a stream that is stopped.
constexpr int kCloseMs = 20;
constexpr std::size_t kMaxUri = 1024;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string percentEncoded(const std::string& s)
{
    std::string out;
    for (const unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

/// Splits "rtsp://[userinfo@]a.b.c.d[:port][/path]"; false for anything else.
bool splitRtspUri(const std::string& uri, std::uint8_t ip[4], std::string& hostPort, std::string& path)
{
    const std::string scheme = "rtsp://";
    if (uri.size() > kMaxUri || uri.compare(0, scheme.size(), scheme) != 0)
        return false;
    const auto slash = uri.find('/', scheme.size());
    std::string authority =
        uri.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    path = slash == std::string::npos ? "/" : uri.substr(slash);
    const auto at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1); // the device's own user info gives way to the login's
    const auto colon = authority.find(':');
    const std::string host = authority.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stol(port) < 1 || std::stol(port) > 65535)
            return false;
    }
    if (!protocol::parseDotted(host, ip) || path.find_first_of(" \r\n") != std::string::npos)
        return false;
    hostPort = authority;
    return true;
}

int openResult(int averror)
{
    switch (averror) {
    case AVERROR_EXIT:
        return SDK_ERR_TIMEOUT;
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR_STREAM_NOT_FOUND:
        return SDK_ERR_NO_STREAM;
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
        return SDK_ERR_PASSWORD;
    case AVERROR(ECONNREFUSED):
        return SDK_ERR_NO_DEVICE;
    default:
        return SDK_ERR_SOCKET;
    }
}

} // namespace

RtspReader::RtspReader(const std::atomic<bool>& stop) : stop_(stop) {}

RtspReader::~RtspReader()
{
    close();
}

int RtspReader::interrupted(void* self)
{
    auto* r = static_cast<RtspReader*>(self);
    if (!r->closing_.load() && r->stop_.load())
        return 1;
    return nowMs() > r->deadlineMs_.load() ? 1 : 0;
}

int RtspReader::open(const std::string& uri, const std::string& user, const std::string& password,
                     const Deadline& deadline)
{
    static std::once_flag network;
    std::call_once(network, [] { avformat_network_init(); });
    std::uint8_t ip[4];
    std::string hostPort, path;
    if (!splitRtspUri(uri, ip, hostPort, path))
        return SDK_ERR_ILLEGAL_PARAM;
    if (options().loopbackOnly && !protocol::isLoopback(ip))
        return SDK_ERR_REFUSED_DEST;
    const std::string credentials =
        user.empty() ? std::string() : percentEncoded(user) + ":" + percentEncoded(password) + "@";
    const std::string url = "rtsp://" + credentials + hostPort + path;

    context_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    if (!context_ || !packet_)
        return SDK_ERR_GENERAL;
    context_->interrupt_callback.callback = &RtspReader::interrupted;
    context_->interrupt_callback.opaque = this;
    deadlineMs_.store(nowMs() + deadline.remainingMs());
    AVDictionary* settings = nullptr;
    // RTP inside the RTSP connection only (no UDP ports, no multicast), only the protocols that
    // needs, bounded socket waits, and no buffering beyond what a picture needs.
    av_dict_set(&settings, "rtsp_transport", "tcp", 0);
    av_dict_set(&settings, "protocol_whitelist", "rtsp,tcp", 0);
    av_dict_set(&settings, "allowed_media_types", "video", 0);
    av_dict_set(&settings, "fflags", "nobuffer", 0);
    av_dict_set_int(&settings, "timeout", std::int64_t(std::max(1, deadline.remainingMs())) * 1000, 0);
    av_dict_set(&settings, "user_agent", "Vantrel", 0);
    const int opened = avformat_open_input(&context_, url.c_str(), nullptr, &settings);
    av_dict_free(&settings);
    if (opened < 0) {
        context_ = nullptr; // freed by the failed open
        return openResult(opened);
    }
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        AVStream* st = context_->streams[i];
        const AVCodecID id = st->codecpar->codec_id;
        if (video_ < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC)) {
            video_ = int(i);
            codec_ = id == AV_CODEC_ID_HEVC ? protocol::VideoCodec::H265 : protocol::VideoCodec::H264;
            if (st->codecpar->extradata && st->codecpar->extradata_size > 0)
                extradata_.assign(st->codecpar->extradata, st->codecpar->extradata + st->codecpar->extradata_size);
        } else {
            st->discard = AVDISCARD_ALL;
        }
    }
    return video_ < 0 ? SDK_ERR_NO_STREAM : SDK_OK;
}

int RtspReader::next(Unit& out, int silenceMs)
{
    if (!context_)
        return SDK_ERR_SOCKET;
    av_packet_unref(packet_);
    deadlineMs_.store(nowMs() + silenceMs);
    for (;;) {
        const int rc = av_read_frame(context_, packet_);
        if (rc == AVERROR_EXIT)
            return stop_.load() ? SDK_ERR_GENERAL : SDK_ERR_TIMEOUT;
        if (rc == AVERROR_INVALIDDATA)
            return SDK_ERR_PROTOCOL;
        if (rc < 0)
            return SDK_ERR_SOCKET;
        if (packet_->stream_index == video_ && packet_->size > 0)
            break;
        av_packet_unref(packet_);
    }
    out.data = packet_->data;
    out.size = std::size_t(packet_->size);
    out.keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    return SDK_OK;
}

void RtspReader::close()
{
    if (context_) {
        closing_.store(true);
        deadlineMs_.store(nowMs() + kCloseMs);
        avformat_close_input(&context_);
    }
    av_packet_free(&packet_);
}

} // namespace netsdk
