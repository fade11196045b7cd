#pragma once

#include <array>
#include <climits>

#include <QByteArray>
#include <QtGlobal>

/// What a device can encode: the 32 resolutions it knows with their pixel counts per video standard,
/// the four tables of recommended bit rates, and the encode power model (pixels x frames per second)
/// from which the resolutions, frame rates and bit rates the encode page offers follow. No widgets:
/// the page shows what this computes. All arithmetic gives what 32-bit integer arithmetic with
/// truncating division gives; sums of loads are taken in 64 bits so that no device value overflows.

/// Stream format, as a stream block of a device's encode entry begins: seven 32-bit fields.
struct SDK_VIDEO_FORMAT
{
    qint32 nCompression = 0;    ///< compression code 0..8
    qint32 nResolution = 0;     ///< resolution code 0..31
    qint32 nBitRateControl = 0; ///< 0 "CBR", 1 "VBR"
    qint32 nQuality = 0;        ///< 1 "Worst" .. 6 "Best"
    qint32 nFPS = 0;            ///< frames per second
    qint32 nBitRate = 0;        ///< kbit/s
    qint32 nGOP = 0;            ///< I-frame interval 1..12
};

namespace Encode {
constexpr int kResolutionCount = 32;
constexpr int kCompressionCount = 9;
constexpr int kH264 = 7;
constexpr int kH265 = 8;
constexpr int kQualityLevels = 6;
constexpr int kResolution5M = 18;
constexpr int kPal = 0;
constexpr int kNtsc = 1;
constexpr int kMainStream = 0;
constexpr int kExtraStream = 1;
constexpr int kDefaultBitRateBudget = 24576; ///< kbit/s, for a device that reports none
constexpr int kNoLimit = INT_MAX;            ///< a bit-rate limit that keeps every value
} // namespace Encode

/// Six bit rates in kbit/s, one per quality level from "Worst" to "Best"; 0 = not offered.
using CBitRates = std::array<int, Encode::kQualityLevels>;

/// The resolution's name ("D1", "1080P", ...); empty outside 0..31.
const char* resolutionName(int nResolution);
/// Pixels per frame of a resolution in a video standard (0 PAL, 1 NTSC); 0 outside 0..31.
int pixelCount(int nResolution, int nVideoStandard);
/// The resolutions (bit n = resolution n) an extra stream may have while the main stream has
/// nMainResolution; 0 outside 0..31.
quint32 extraStreamMask(int nMainResolution);
/// The highest frame rate of a video standard: 25 PAL, 30 NTSC.
int frameRateCap(int nVideoStandard);

/// Row of bit-rate set nSet (1..4) for a resolution; six zeros where the set has no row.
CBitRates bitRateRow(int nSet, int nResolution);
/// The set a stream uses: 2 when the device asks for it, else 3 when it asks for that, else 4 for an
/// H.265 stream and 1 for any other.
int bitRateSet(bool bSet2, bool bSet3, bool bH265);

/// The resolution with the largest pixel count among the bits of nMask (ties keep the lower index),
/// or -1 for a mask without a known resolution.
int largestResolution(quint32 nMask, int nVideoStandard);

/// What one stream can do with the power left to it.
struct CFit
{
    int nMaxFrameRate = -1;  ///< -1: nothing fits
    int nMaxResolution = -1; ///< the largest resolution that fits at one frame per second
    bool fits() const { return nMaxFrameRate > 0 && nMaxResolution >= 0; }
};
/// Fits a stream of nResolution into nAvailable pixels per second. No power (0 or less) limits
/// nothing: the standard's frame-rate cap and the largest resolution. Power below one frame of the
/// resolution fits nothing. Otherwise the frame rate is the power's multiple of a frame, at most the
/// cap, and the resolution the largest one whose frame fits (nResolution when none is larger).
CFit fitStream(int nResolution, qint64 nAvailable, int nVideoStandard);
/// The resolutions of nMask whose pixel count is not above nMaxResolution's; 0 for a negative one.
quint32 allowedResolutions(int nMaxResolution, quint32 nMask, int nVideoStandard);

/// The six values offered for a stream: value i = ((G x min(F, N) + 9) x T[i]) / (G x N + 9), G the
/// I-frame interval, F the frame rate, N the standard's cap, T the resolution's row of nSet. Values
/// above nLimit are not offered (0).
CBitRates recommendedBitRates(const SDK_VIDEO_FORMAT& format, int nSet, int nVideoStandard, int nLimit);
/// A stream's bit rate for its quality: ((G x F + 9) x T[quality - 1]) / (G x N + 9), F uncapped.
int presetBitRate(const SDK_VIDEO_FORMAT& format, int nSet, int nVideoStandard);
/// A constant bit rate carried from previous's frame rate and bit rate over to format's frame rate:
/// ((G x F + 9) x (((G x N + 9) x old) / (G x F_old + 9))) / (G x N + 9).
int scaleBitRate(const SDK_VIDEO_FORMAT& format, const SDK_VIDEO_FORMAT& previous, int nVideoStandard);

/// The format at nOffset of a record (zeros where the record is too short) and its write.
SDK_VIDEO_FORMAT videoFormatAt(const QByteArray& baRecord, int nOffset);
void setVideoFormatAt(QByteArray& baRecord, int nOffset, const SDK_VIDEO_FORMAT& format);

/// The encode power model over one device's encode record (layout EncodeRecord in ConfigRecords.h)
/// for the channel the encode page edits, channel 0. The record's header says which bit-rate set
/// each stream uses; the model keeps the video standard.
class CEncodeModel
{
public:
    /// Takes the video standard (0 PAL, 1 NTSC) whose pixel counts and frame-rate cap apply.
    void initResolutionTable(int nVideoStandard);
    int videoStandard() const { return nVideoStandard; }

    /// Bit-rate set of a stream (Encode::kMainStream, kExtraStream) by the record's header.
    static int streamSet(const QByteArray& baRecord, int nStream);
    /// Offset of channel 0's stream block of a stream in the record.
    static int streamOffset(int nStream);

    /// Encode power left to analogue channel nChannel after the other channels' loads, capped by
    /// its own limit; shared equally in combined-power mode. For a device without analogue channels,
    /// digital channel 0's own power. 0 or less when the device reports none.
    qint64 remainingPower(const QByteArray& baRecord, int nChannel) const;
    /// The bit-rate budget less the other analogue channels' main-stream bit rates (video on).
    int remainingBitRateBudget(const QByteArray& baRecord, int nChannel) const;
    /// Power for one stream of channel 0: the remaining power less the other stream's load.
    qint64 availablePower(const QByteArray& baRecord, int nStream) const;
    /// The device's resolutions for a stream of channel 0 (the extra stream's under the main
    /// stream's resolution, cut by the resolution table unless that is "5M").
    quint32 deviceResolutions(const QByteArray& baRecord, int nStream) const;
    /// Compressions the device allows for a stream (bit n = code n).
    quint32 deviceCompressions(const QByteArray& baRecord, int nStream) const;

    /// The power model on one stream of channel 0: its resolution lowered to the device's largest
    /// where that is smaller, moved to an allowed one where the present one is not, its frame rate
    /// capped; the stream's allowed resolutions and frame-rate count written into the record. In
    /// combined-power mode the resolution and frame rate go to every analogue channel's stream.
    void applyPowerModel(QByteArray& baRecord, int nStream) const;
    /// After a change to a stream: the power model, then its bit rate (scaled from pPrevious after a
    /// frame-rate change of a "CBR" stream, else the preset of its quality); returns the values to
    /// offer.
    CBitRates recompute(QByteArray& baRecord, int nStream, const SDK_VIDEO_FORMAT* pPrevious) const;
    /// A stream the change did not touch: the power model; its bit rate is preset anew only when the
    /// model had to change its resolution or frame rate. Returns the values to offer.
    CBitRates refit(QByteArray& baRecord, int nStream) const;
    /// At read: the allowed compressions of both streams, then the power model on both.
    void workOutAllowed(QByteArray& baRecord) const;

private:
    CBitRates finish(QByteArray& baRecord, int nStream) const;

    int nVideoStandard = Encode::kPal;
};
