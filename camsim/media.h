#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace camsim {

class Camera;

// Result codes of a media request (docs/protocol.md, "Media").
constexpr int kRetNoStream = -11601;    ///< no such channel or stream, or the stream's video is off
constexpr int kRetMediaBusy = -11602;   ///< the camera serves no more streams or talks
constexpr int kRetBadToken = -11603;    ///< the claim's token is unknown, used or expired
constexpr int kMaxStreamsPerCamera = 4; ///< each stream costs an encoder thread
constexpr int kMaxTalksPerCamera = 4;

/// How one video stream is encoded, from the camera's encode entry (command 19) and video
/// standard (command 18).
struct StreamSettings
{
    bool h265 = false; ///< compression code 8; every other code is sent as H.264
    int width = 0;
    int height = 0;
    int frameRate = 25;
    int bitRateKbps = 1024;
    bool constantBitRate = true; ///< bit-rate control 0 (CBR); 1 (VBR) caps a quality-driven rate
    int quality = 4;             ///< 1..6, "Worst" to "Best": the VBR quality
    int keyFrameInterval = 50;   ///< frames: the I-frame interval (seconds) times the frame rate
};

/// Width and height of a resolution code (0..31) for a video standard (0 PAL, 1 NTSC); false for
/// another code.
bool resolutionSize(int resolution, int videoStandard, int& width, int& height);

/// The settings of `stream` (0 main, 1 extra) of `channel`: 100, or kRetNoStream when the camera
/// has no such channel or stream, or the extra stream's video is switched off.
int streamSettings(const Camera& camera, int channel, int stream, StreamSettings& out);

/// What a media token grants: a stream of a channel, or a voice talk.
struct MediaGrant
{
    enum class Kind
    {
        Video,
        Voice
    };
    Kind kind = Kind::Video;
    int channel = 0;
    int stream = 0;
    std::uint32_t sessionId = 0; ///< of the login that asked; media frames carry it
    StreamSettings settings;     ///< Video: how the stream is encoded, fixed when it is claimed
};

/// A camera's media bookkeeping: the tokens it issued, the streams and talks it serves, and what
/// its speaker heard (the audio the clients sent, kept for tests).
class MediaState
{
public:
    using Clock = std::chrono::steady_clock;

    /// A fresh token for `grant`, good for one claim within 10 s.
    std::string issue(const MediaGrant& grant);
    /// Takes a token (single use); false when unknown or expired.
    bool take(const std::string& token, MediaGrant& out);
    /// Forgets every token (a reboot).
    void clearTokens() { tokens_.clear(); }

    int streams = 0;       ///< video connections open now
    int talks = 0;         ///< voice connections open now
    int streamsServed = 0; ///< video connections claimed since start

    /// Keeps the body of one audio frame a client sent; beyond kMaxHeard bytes only counts.
    void hear(const std::uint8_t* data, std::size_t size);
    const std::vector<std::uint8_t>& heard() const { return heard_; }
    int heardFrames() const { return heardFrames_; }
    void clearHeard();

    static constexpr std::size_t kMaxHeard = 4u << 20;

private:
    struct Token
    {
        MediaGrant grant;
        Clock::time_point expires;
    };
    std::map<std::string, Token> tokens_;
    std::vector<std::uint8_t> heard_;
    int heardFrames_ = 0;
};

} // namespace camsim
