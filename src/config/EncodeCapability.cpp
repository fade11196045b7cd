#include "EncodeCapability.h"

#include <algorithm>

#include "config/ConfigRecords.h"

namespace {

struct CResolution
{
    const char* szName;
    int nPixelsPal;
    int nPixelsNtsc;
    quint32 nExtraMask; ///< bit n: resolution n may be the extra stream's under this main resolution
};

// By resolution code, as the devices number them.
const CResolution kResolutions[Encode::kResolutionCount] = {
    {"D1", 405504, 337920, 0x5B},       {"HD1", 202752, 168960, 0x1A},      {"BCIF", 202752, 168960, 0x1C},
    {"CIF", 101376, 84480, 0x18},       {"QCIF", 25344, 21120, 0x10},       {"VGA", 307200, 307200, 0x60},
    {"QVGA", 76800, 76800, 0x40},       {"SVCD", 230400, 230400, 0x80},     {"QQVGA", 20480, 20480, 0x100},
    {"ND1", 46080, 46080, 0x200},       {"960H", 534528, 445440, 0x5B},     {"720P", 921600, 921600, 0x5B},
    {"960P", 1228800, 1228800, 0x5B},   {"UXGA", 1920000, 1920000, 0x5B},   {"1080P", 2073600, 2073600, 0x85B},
    {"WUXGA", 2304000, 2304000, 0x85B}, {"2.5M", 2635776, 2635776, 0x85B},  {"3M", 3145728, 3145728, 0x85B},
    {"5M", 4915200, 4915200, 0x5B},     {"1080N", 1019520, 1019520, 0xC59}, {"4M", 3686400, 3686400, 0x85B},
    {"6M", 6291456, 6291456, 0x4841},   {"8M", 7990272, 7990272, 0x4841},   {"12M", 12000000, 12000000, 0x4841},
    {"4K", 8294400, 8294400, 0x4849},   {"720N", 460800, 460800, 0x18},     {"WSVGA", 589824, 589824, 0},
    {"NHD", 230400, 230400, 0},         {"3M_N", 1572864, 1572864, 0x49},   {"4M_N", 1843200, 1843200, 0x49},
    {"5M_N", 2457600, 2457600, 0x49},   {"4K_N", 4147200, 4147200, 0x49},
};

// Recommended bit rates in kbit/s by resolution and quality ("Worst" to "Best").
// Set 1: every resolution.
const CBitRates kSet1[32] = {
    {512, 768, 1024, 1536, 2048, 2560},     // D1
    {384, 512, 768, 1024, 1536, 2048},      // HD1
    {384, 512, 768, 1024, 1536, 2048},      // BCIF
    {64, 192, 384, 512, 768, 1024},         // CIF
    {64, 128, 192, 384, 448, 512},          // QCIF
    {512, 768, 896, 1280, 1536, 2048},      // VGA
    {256, 384, 512, 640, 768, 1024},        // QVGA
    {512, 768, 896, 1280, 1536, 2048},      // SVCD
    {64, 128, 192, 384, 448, 512},          // QQVGA
    {64, 128, 256, 448, 512, 768},          // ND1
    {896, 1024, 1536, 2048, 3072, 4096},    // 960H
    {1024, 1536, 2048, 2560, 3072, 4096},   // 720P
    {1024, 1536, 2048, 3072, 4096, 5120},   // 960P
    {1024, 2048, 3072, 4096, 6144, 8192},   // UXGA
    {1024, 2048, 3072, 4096, 6144, 8192},   // 1080P
    {1177, 2355, 3532, 4710, 7065, 10240},  // WUXGA
    {1280, 2560, 3840, 5120, 7680, 10240},  // 2.5M
    {1536, 3072, 4096, 6144, 8192, 10240},  // 3M
    {2048, 3072, 4096, 6144, 8192, 10240},  // 5M
    {1024, 1536, 2048, 2560, 3072, 4096},   // 1080N
    {1536, 3072, 4096, 6144, 8192, 10240},  // 4M
    {1536, 3072, 4096, 6144, 8192, 10240},  // 6M
    {1536, 3072, 4096, 6144, 8192, 10240},  // 8M
    {1536, 3072, 4096, 6144, 8192, 10240},  // 12M
    {2048, 4096, 6144, 8192, 11264, 13312}, // 4K
    {512, 768, 1024, 1536, 2048, 2560},     // 720N
    {1024, 1536, 2048, 2560, 3072, 4096},   // WSVGA
    {512, 768, 896, 1280, 1536, 2048},      // NHD
    {1024, 1536, 2048, 3072, 4096, 5120},   // 3M_N
    {1024, 2048, 3072, 4096, 6144, 8192},   // 4M_N
    {1280, 2560, 3840, 5120, 7680, 10240},  // 5M_N
    {1536, 3072, 4096, 6144, 8192, 10240},  // 4K_N
};
// Set 2, low bit rates: resolutions 0 to 18.
const CBitRates kSet2[19] = {
    {384, 576, 768, 1152, 1536, 1920},    // D1
    {384, 512, 768, 1024, 1536, 2048},    // HD1
    {384, 512, 768, 1024, 1536, 2048},    // BCIF
    {48, 144, 288, 384, 576, 768},        // CIF
    {48, 96, 144, 288, 336, 384},         // QCIF
    {512, 768, 896, 1280, 1536, 2048},    // VGA
    {256, 384, 512, 640, 768, 1024},      // QVGA
    {512, 768, 896, 1280, 1536, 2048},    // SVCD
    {64, 128, 192, 384, 448, 512},        // QQVGA
    {64, 128, 256, 448, 512, 768},        // ND1
    {896, 1024, 1536, 2048, 3072, 4096},  // 960H
    {768, 1152, 1536, 1920, 2304, 3072},  // 720P
    {1024, 1536, 2048, 3072, 4096, 5120}, // 960P
    {1024, 2048, 3072, 4096, 6144, 8192}, // UXGA
    {1024, 2048, 3072, 4096, 6144, 8192}, // 1080P
    {640, 1024, 1536, 2048, 3072, 4096},  // WUXGA
    {640, 1024, 1536, 2048, 3072, 4096},  // 2.5M
    {640, 1024, 1536, 2048, 3072, 4096},  // 3M
    {720, 1024, 1536, 2048, 3072, 5120},  // 5M
};
// Set 3: resolutions 0 to 20; its 720P row ends in 6096.
const CBitRates kSet3[21] = {
    {512, 768, 1024, 1536, 2048, 2560},    // D1
    {384, 512, 768, 1024, 1536, 2048},     // HD1
    {384, 512, 768, 1024, 1536, 2048},     // BCIF
    {64, 192, 384, 512, 768, 1024},        // CIF
    {64, 128, 192, 384, 448, 512},         // QCIF
    {512, 768, 896, 1280, 1536, 2048},     // VGA
    {256, 384, 512, 640, 768, 1024},       // QVGA
    {512, 768, 896, 1280, 1536, 2048},     // SVCD
    {64, 128, 192, 384, 448, 512},         // QQVGA
    {64, 128, 256, 448, 512, 768},         // ND1
    {896, 1024, 1536, 2048, 3072, 4096},   // 960H
    {1536, 2048, 2560, 3072, 4096, 6096},  // 720P
    {1024, 1536, 2048, 3072, 4096, 5120},  // 960P
    {1024, 2048, 3072, 4096, 6144, 8192},  // UXGA
    {1024, 2048, 3072, 4096, 6144, 8192},  // 1080P
    {1177, 2355, 3532, 4710, 7065, 10240}, // WUXGA
    {1280, 2560, 3840, 5120, 7680, 10240}, // 2.5M
    {1536, 3072, 4096, 6144, 8192, 10240}, // 3M
    {2048, 3072, 4096, 6144, 8192, 10240}, // 5M
    {1024, 1536, 2048, 2560, 3072, 4096},  // 1080N
    {1536, 3072, 4096, 6144, 8192, 10240}, // 4M
};
// Set 4, H.265: every resolution (NHD ends in 1327, 4K_N has 2665).
const CBitRates kSet4[32] = {
    {332, 499, 665, 998, 1331, 1664},     // D1
    {249, 332, 499, 665, 998, 1331},      // HD1
    {249, 332, 499, 665, 998, 1331},      // BCIF
    {41, 124, 249, 332, 499, 665},        // CIF
    {41, 83, 124, 249, 291, 332},         // QCIF
    {332, 499, 582, 832, 998, 1331},      // VGA
    {166, 249, 332, 416, 499, 665},       // QVGA
    {332, 499, 582, 832, 998, 1331},      // SVCD
    {41, 83, 124, 249, 291, 332},         // QQVGA
    {41, 83, 166, 291, 332, 499},         // ND1
    {582, 665, 998, 1331, 1996, 2662},    // 960H
    {665, 998, 1331, 1664, 1996, 2662},   // 720P
    {665, 998, 1331, 1996, 2662, 3328},   // 960P
    {665, 1331, 1996, 2662, 3993, 5324},  // UXGA
    {665, 1331, 1996, 2662, 3993, 5324},  // 1080P
    {765, 1530, 2295, 3061, 4592, 6656},  // WUXGA
    {832, 1664, 2496, 3328, 4992, 6656},  // 2.5M
    {998, 1996, 2662, 3993, 5324, 6656},  // 3M
    {1331, 1996, 2662, 3993, 5324, 6656}, // 5M
    {665, 998, 1331, 1664, 1996, 2662},   // 1080N
    {998, 1996, 2662, 3993, 5324, 6656},  // 4M
    {998, 1996, 2662, 3993, 5324, 6656},  // 6M
    {998, 1996, 2662, 3993, 5324, 6656},  // 8M
    {998, 1996, 2662, 3993, 5324, 6656},  // 12M
    {1331, 2662, 3993, 5324, 7321, 8652}, // 4K
    {332, 499, 665, 998, 1331, 1664},     // 720N
    {582, 665, 998, 1331, 1996, 2662},    // WSVGA
    {332, 499, 582, 832, 998, 1327},      // NHD
    {665, 998, 1331, 1996, 2662, 3328},   // 3M_N
    {665, 1331, 1996, 2662, 3993, 5324},  // 4M_N
    {832, 1664, 2496, 3328, 4992, 6656},  // 5M_N
    {1331, 1996, 2665, 3993, 5324, 6656}, // 4K_N
};

bool validResolution(int nResolution)
{
    return nResolution >= 0 && nResolution < Encode::kResolutionCount;
}

quint32 bit(int n)
{
    return quint32(1) << n;
}

qint32 clampToInt(qint64 nValue)
{
    return qint32(qBound(qint64(INT_MIN), nValue, qint64(INT_MAX)));
}

// (G x F + 9) and (G x N + 9) of the bit-rate formulas; the interval is the device's value, so a
// garbled one must not make a divisor of zero.
qint64 weight(qint32 nGop, qint32 nFrameRate)
{
    return qint64(nGop) * nFrameRate + 9;
}

int tableValue(const CBitRates& row, int nQuality)
{
    return nQuality >= 1 && nQuality <= Encode::kQualityLevels ? row[size_t(nQuality - 1)] : 0;
}

// The device's encode abilities for channel 0's neighbourhood: the analogue channels' ability record,
// or, on a device without analogue channels, digital channel 0's.
struct CAbilities
{
    qint64 nTotalPower = 0;
    bool bCombined = false;
    qint64 nLimit = 0;
    quint32 nMainMask = 0;
    quint32 nMainCompressions = 0;
    quint32 nExtraCompressions = 0;
    int nBudget = Encode::kNoLimit;
    bool bDigital = false;
};

int analogChannels(const QByteArray& rec)
{
    return qBound(0, recordInt(rec, EncodeRecord::kAnalogChannels), EncodeRecord::kChannels);
}

CAbilities abilitiesOf(const QByteArray& rec, int nChannel)
{
    CAbilities a;
    if (analogChannels(rec) > 0) {
        using namespace EncodeAbility;
        const int nBase = EncodeRecord::kAbility;
        const int c = qBound(0, nChannel, EncodeRecord::kChannels - 1);
        a.nTotalPower = recordInt(rec, nBase + kTotalPower);
        a.bCombined = recordInt(rec, nBase + kCombinedPower) != 0;
        a.nLimit = recordInt(rec, nBase + kChannelLimit + 4 * c);
        a.nMainMask = quint32(recordInt(rec, nBase + kMainResolutionMask + 4 * c));
        a.nMainCompressions = quint32(recordInt(rec, nBase + kMainCompressionMask));
        a.nExtraCompressions = quint32(recordInt(rec, nBase + kExtraCompressionMask));
        const int nBudget = recordInt(rec, nBase + kBitRateBudget);
        a.nBudget = nBudget > 0 ? nBudget : Encode::kDefaultBitRateBudget;
    } else if (recordFlag(rec, EncodeRecord::kDigitalStream)) {
        using namespace DigitalAbility;
        const int nBase = EncodeRecord::kDigitalAbility;
        a.bDigital = true;
        a.nTotalPower = recordInt(rec, nBase + kPower);
        a.nMainMask = quint32(recordInt(rec, nBase + kMainResolutionMask));
        a.nMainCompressions = a.nExtraCompressions = quint32(recordInt(rec, nBase + kCompressionMask));
    }
    return a;
}

int blockOffset(int nChannel, int nStream)
{
    return EncodeRecord::kEntries + EncodeRecord::kEntrySize * nChannel +
           (nStream == Encode::kMainStream ? EncodeRecord::kMainBlock : EncodeRecord::kExtraBlock);
}

bool videoOn(const QByteArray& rec, int nChannel, int nStream)
{
    return recordFlag(rec, blockOffset(nChannel, nStream) + EncodeRecord::kBlockVideo);
}

} // namespace

const char* resolutionName(int nResolution)
{
    return validResolution(nResolution) ? kResolutions[nResolution].szName : "";
}

int pixelCount(int nResolution, int nVideoStandard)
{
    if (!validResolution(nResolution))
        return 0;
    const CResolution& r = kResolutions[nResolution];
    return nVideoStandard == Encode::kNtsc ? r.nPixelsNtsc : r.nPixelsPal;
}

quint32 extraStreamMask(int nMainResolution)
{
    return validResolution(nMainResolution) ? kResolutions[nMainResolution].nExtraMask : 0;
}

int frameRateCap(int nVideoStandard)
{
    return nVideoStandard == Encode::kNtsc ? 30 : 25;
}

CBitRates bitRateRow(int nSet, int nResolution)
{
    if (nResolution < 0)
        return CBitRates{};
    switch (nSet) {
    case 1:
        return nResolution < int(std::size(kSet1)) ? kSet1[nResolution] : CBitRates{};
    case 2:
        return nResolution < int(std::size(kSet2)) ? kSet2[nResolution] : CBitRates{};
    case 3:
        return nResolution < int(std::size(kSet3)) ? kSet3[nResolution] : CBitRates{};
    case 4:
        return nResolution < int(std::size(kSet4)) ? kSet4[nResolution] : CBitRates{};
    default:
        return CBitRates{};
    }
}

int bitRateSet(bool bSet2, bool bSet3, bool bH265)
{
    if (bSet2)
        return 2;
    if (bSet3)
        return 3;
    return bH265 ? 4 : 1;
}

int largestResolution(quint32 nMask, int nVideoStandard)
{
    int nBest = -1;
    for (int r = 0; r < Encode::kResolutionCount; ++r) {
        if ((nMask & bit(r)) && (nBest < 0 || pixelCount(r, nVideoStandard) > pixelCount(nBest, nVideoStandard)))
            nBest = r;
    }
    return nBest;
}

CFit fitStream(int nResolution, qint64 nAvailable, int nVideoStandard)
{
    const int nCap = frameRateCap(nVideoStandard);
    if (nAvailable <= 0)
        return CFit{nCap, largestResolution(~quint32(0), nVideoStandard)};
    const int nPixels = pixelCount(nResolution, nVideoStandard);
    if (nPixels <= 0 || nAvailable < nPixels)
        return CFit{};
    CFit fit;
    fit.nMaxFrameRate = int(qMin<qint64>(nAvailable / nPixels, nCap));
    fit.nMaxResolution = nResolution;
    for (int r = 0; r < Encode::kResolutionCount; ++r) {
        const int nOther = pixelCount(r, nVideoStandard);
        if (nOther <= nAvailable && nOther > pixelCount(fit.nMaxResolution, nVideoStandard))
            fit.nMaxResolution = r;
    }
    return fit;
}

quint32 allowedResolutions(int nMaxResolution, quint32 nMask, int nVideoStandard)
{
    if (!validResolution(nMaxResolution))
        return 0;
    const int nMaxPixels = pixelCount(nMaxResolution, nVideoStandard);
    quint32 nAllowed = 0;
    for (int r = 0; r < Encode::kResolutionCount; ++r) {
        if ((nMask & bit(r)) && pixelCount(r, nVideoStandard) <= nMaxPixels)
            nAllowed |= bit(r);
    }
    return nAllowed;
}

CBitRates recommendedBitRates(const SDK_VIDEO_FORMAT& format, int nSet, int nVideoStandard, int nLimit)
{
    const int nCap = frameRateCap(nVideoStandard);
    const CBitRates row = bitRateRow(nSet, format.nResolution);
    const qint64 nDivisor = weight(format.nGOP, nCap);
    const qint64 nFactor = weight(format.nGOP, qMin(format.nFPS, nCap));
    CBitRates values{};
    if (nDivisor <= 0 || nFactor <= 0)
        return values;
    for (size_t i = 0; i < values.size(); ++i) {
        const qint64 nValue = nFactor * row[i] / nDivisor;
        values[i] = nValue <= nLimit ? clampToInt(nValue) : 0;
    }
    return values;
}

int presetBitRate(const SDK_VIDEO_FORMAT& format, int nSet, int nVideoStandard)
{
    const qint64 nDivisor = weight(format.nGOP, frameRateCap(nVideoStandard));
    const qint64 nFactor = weight(format.nGOP, format.nFPS);
    if (nDivisor <= 0 || nFactor <= 0)
        return 0;
    return clampToInt(nFactor * tableValue(bitRateRow(nSet, format.nResolution), format.nQuality) / nDivisor);
}

int scaleBitRate(const SDK_VIDEO_FORMAT& format, const SDK_VIDEO_FORMAT& previous, int nVideoStandard)
{
    const qint64 nFull = weight(format.nGOP, frameRateCap(nVideoStandard));
    const qint64 nOld = weight(format.nGOP, previous.nFPS);
    const qint64 nNew = weight(format.nGOP, format.nFPS);
    if (nFull <= 0 || nOld <= 0 || nNew <= 0)
        return previous.nBitRate;
    return clampToInt(nNew * (nFull * previous.nBitRate / nOld) / nFull);
}

SDK_VIDEO_FORMAT videoFormatAt(const QByteArray& baRecord, int nOffset)
{
    SDK_VIDEO_FORMAT f;
    f.nCompression = recordInt(baRecord, nOffset);
    f.nResolution = recordInt(baRecord, nOffset + 4);
    f.nBitRateControl = recordInt(baRecord, nOffset + 8);
    f.nQuality = recordInt(baRecord, nOffset + 12);
    f.nFPS = recordInt(baRecord, nOffset + 16);
    f.nBitRate = recordInt(baRecord, nOffset + 20);
    f.nGOP = recordInt(baRecord, nOffset + 24);
    return f;
}

void setVideoFormatAt(QByteArray& baRecord, int nOffset, const SDK_VIDEO_FORMAT& format)
{
    setRecordInt(baRecord, nOffset, format.nCompression);
    setRecordInt(baRecord, nOffset + 4, format.nResolution);
    setRecordInt(baRecord, nOffset + 8, format.nBitRateControl);
    setRecordInt(baRecord, nOffset + 12, format.nQuality);
    setRecordInt(baRecord, nOffset + 16, format.nFPS);
    setRecordInt(baRecord, nOffset + 20, format.nBitRate);
    setRecordInt(baRecord, nOffset + 24, format.nGOP);
}

// ---- the power model on a record ------------------------------------------------------------------

void CEncodeModel::initResolutionTable(int nStandard)
{
    nVideoStandard = nStandard == Encode::kNtsc ? Encode::kNtsc : Encode::kPal;
}

int CEncodeModel::streamSet(const QByteArray& baRecord, int nStream)
{
    using namespace EncodeRecord;
    return bitRateSet(recordFlag(baRecord, kBitRateSet2), recordFlag(baRecord, kBitRateSet3),
                      recordFlag(baRecord, nStream == Encode::kMainStream ? kH265Main : kH265Extra));
}

int CEncodeModel::streamOffset(int nStream)
{
    return blockOffset(0, nStream);
}

qint64 CEncodeModel::remainingPower(const QByteArray& baRecord, int nChannel) const
{
    const CAbilities a = abilitiesOf(baRecord, nChannel);
    if (a.nTotalPower <= 0)
        return 0;
    const int nAnalog = analogChannels(baRecord);
    auto load = [&](int c, int nStream) -> qint64 {
        const SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, blockOffset(c, nStream));
        return qint64(pixelCount(f.nResolution, nVideoStandard)) * qMax(0, f.nFPS);
    };
    qint64 nRemaining = a.nTotalPower;
    if (a.bCombined && nAnalog > 0) {
        qint64 nExtraLoads = 0;
        if (recordFlag(baRecord, EncodeRecord::kExtraLoadCounts)) {
            for (int c = 0; c < nAnalog; ++c)
                nExtraLoads += videoOn(baRecord, c, Encode::kExtraStream) ? load(c, Encode::kExtraStream) : 0;
        }
        nRemaining = (a.nTotalPower - nExtraLoads) / nAnalog;
    } else {
        for (int c = 0; c < nAnalog; ++c) {
            if (c == nChannel)
                continue;
            for (int nStream : {Encode::kMainStream, Encode::kExtraStream})
                nRemaining -= videoOn(baRecord, c, nStream) ? load(c, nStream) : 0;
        }
    }
    if (a.nLimit > 0)
        nRemaining = qMin(nRemaining, a.nLimit);
    return nRemaining;
}

int CEncodeModel::remainingBitRateBudget(const QByteArray& baRecord, int nChannel) const
{
    const CAbilities a = abilitiesOf(baRecord, nChannel);
    if (a.nBudget == Encode::kNoLimit)
        return Encode::kNoLimit;
    qint64 nRemaining = a.nBudget;
    for (int c = 0; c < analogChannels(baRecord); ++c) {
        if (c != nChannel && videoOn(baRecord, c, Encode::kMainStream))
            nRemaining -= videoFormatAt(baRecord, blockOffset(c, Encode::kMainStream)).nBitRate;
    }
    return clampToInt(nRemaining);
}

qint64 CEncodeModel::availablePower(const QByteArray& baRecord, int nStream) const
{
    const int nOther = nStream == Encode::kMainStream ? Encode::kExtraStream : Encode::kMainStream;
    qint64 nAvailable = remainingPower(baRecord, 0);
    const bool bCounts = nStream == Encode::kExtraStream || recordFlag(baRecord, EncodeRecord::kExtraLoadCounts);
    if (bCounts && videoOn(baRecord, 0, nOther)) {
        const SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, blockOffset(0, nOther));
        nAvailable -= qint64(pixelCount(f.nResolution, nVideoStandard)) * qMax(0, f.nFPS);
    }
    return nAvailable;
}

quint32 CEncodeModel::deviceResolutions(const QByteArray& baRecord, int nStream) const
{
    const CAbilities a = abilitiesOf(baRecord, 0);
    if (nStream == Encode::kMainStream)
        return a.nMainMask;
    const int nMain = videoFormatAt(baRecord, blockOffset(0, Encode::kMainStream)).nResolution;
    quint32 nMask = 0;
    if (a.bDigital)
        nMask = quint32(recordInt(baRecord, EncodeRecord::kDigitalAbility + DigitalAbility::kExtraResolutionMask));
    else if (validResolution(nMain) && analogChannels(baRecord) > 0)
        nMask = quint32(recordInt(baRecord, EncodeRecord::kAbility + EncodeAbility::kExtraResolutionMask + 4 * nMain));
    // Under "5M" the device's own list stands; under any other main resolution the table's cuts it.
    return nMain == Encode::kResolution5M ? nMask : nMask & extraStreamMask(nMain);
}

quint32 CEncodeModel::deviceCompressions(const QByteArray& baRecord, int nStream) const
{
    const CAbilities a = abilitiesOf(baRecord, 0);
    const quint32 nMask = nStream == Encode::kMainStream ? a.nMainCompressions : a.nExtraCompressions;
    return nMask & (bit(Encode::kCompressionCount) - 1);
}

void CEncodeModel::applyPowerModel(QByteArray& baRecord, int nStream) const
{
    const int nOffset = streamOffset(nStream);
    SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, nOffset);
    const quint32 nMask = deviceResolutions(baRecord, nStream);
    const int nLargest = largestResolution(nMask, nVideoStandard);
    if (nLargest >= 0 && pixelCount(nLargest, nVideoStandard) < pixelCount(f.nResolution, nVideoStandard))
        f.nResolution = nLargest;

    quint32 nAllowed = 0;
    int nMaxFrameRate = 0;
    const bool bPowered = abilitiesOf(baRecord, 0).nTotalPower > 0;
    const qint64 nAvailable = availablePower(baRecord, nStream);
    if (!bPowered) {
        // A device that reports no encode power limits nothing but its resolution list.
        nAllowed = nMask;
        nMaxFrameRate = frameRateCap(nVideoStandard);
    } else if (nAvailable > 0) {
        // (Power used up by the other channels and streams leaves this stream nothing at all.)
        CFit fit = fitStream(f.nResolution, nAvailable, nVideoStandard);
        if (!fit.fits()) {
            // The present resolution does not fit: the device's largest one that does.
            quint32 nWithin = 0;
            for (int r = 0; r < Encode::kResolutionCount; ++r) {
                if (pixelCount(r, nVideoStandard) <= nAvailable)
                    nWithin |= bit(r);
            }
            const int nSmaller = largestResolution(nMask & nWithin, nVideoStandard);
            if (nSmaller >= 0) {
                f.nResolution = nSmaller;
                fit = fitStream(nSmaller, nAvailable, nVideoStandard);
            }
        }
        if (fit.fits())
            nAllowed = allowedResolutions(fit.nMaxResolution, nMask, nVideoStandard);
    }
    if (nAllowed != 0 && (!validResolution(f.nResolution) || !(nAllowed & bit(f.nResolution)))) {
        // Not offered (any more): the first resolution that is.
        int r = 0;
        while (!(nAllowed & bit(r)))
            ++r;
        f.nResolution = r;
    }
    if (nAllowed != 0 && bPowered)
        nMaxFrameRate = fitStream(f.nResolution, nAvailable, nVideoStandard).nMaxFrameRate;
    if (nMaxFrameRate > 0)
        f.nFPS = qBound(1, f.nFPS, nMaxFrameRate);
    setVideoFormatAt(baRecord, nOffset, f);

    const bool bMain = nStream == Encode::kMainStream;
    const int nList = bMain ? EncodeRecord::kMainResolutions : EncodeRecord::kExtraResolutions;
    for (int r = 0; r < Encode::kResolutionCount; ++r)
        setRecordInt(baRecord, nList + 4 * r, (nAllowed & bit(r)) ? 1 : 0);
    setRecordInt(baRecord, bMain ? EncodeRecord::kMainFrameRates : EncodeRecord::kExtraFrameRates,
                 qMax(0, nMaxFrameRate));

    // Combined power is shared equally: every analogue channel's stream takes channel 0's.
    if (abilitiesOf(baRecord, 0).bCombined) {
        for (int c = 1; c < analogChannels(baRecord); ++c) {
            setRecordInt(baRecord, blockOffset(c, nStream) + 4, f.nResolution);
            setRecordInt(baRecord, blockOffset(c, nStream) + 16, f.nFPS);
        }
    }
}

CBitRates CEncodeModel::finish(QByteArray& baRecord, int nStream) const
{
    const int nOffset = streamOffset(nStream);
    SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, nOffset);
    const int nSet = streamSet(baRecord, nStream);
    const int nLimit = nStream == Encode::kMainStream ? remainingBitRateBudget(baRecord, 0) : Encode::kNoLimit;
    const CBitRates values = recommendedBitRates(f, nSet, nVideoStandard, nLimit);
    if (f.nBitRateControl != 0) {
        // A variable bit rate follows the quality, within the budget.
        SDK_VIDEO_FORMAT capped = f;
        capped.nFPS = qMin(f.nFPS, frameRateCap(nVideoStandard));
        f.nBitRate = qMin(presetBitRate(capped, nSet, nVideoStandard), nLimit);
        setVideoFormatAt(baRecord, nOffset, f);
    }
    return values;
}

CBitRates CEncodeModel::recompute(QByteArray& baRecord, int nStream, const SDK_VIDEO_FORMAT* pPrevious) const
{
    applyPowerModel(baRecord, nStream);
    const int nOffset = streamOffset(nStream);
    SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, nOffset);
    if (!pPrevious || f.nBitRateControl != 0)
        f.nBitRate = presetBitRate(f, streamSet(baRecord, nStream), nVideoStandard);
    else
        f.nBitRate = scaleBitRate(f, *pPrevious, nVideoStandard);
    setVideoFormatAt(baRecord, nOffset, f);
    return finish(baRecord, nStream);
}

CBitRates CEncodeModel::refit(QByteArray& baRecord, int nStream) const
{
    const int nOffset = streamOffset(nStream);
    const SDK_VIDEO_FORMAT before = videoFormatAt(baRecord, nOffset);
    applyPowerModel(baRecord, nStream);
    SDK_VIDEO_FORMAT f = videoFormatAt(baRecord, nOffset);
    if (f.nResolution != before.nResolution || f.nFPS != before.nFPS) {
        f.nBitRate = presetBitRate(f, streamSet(baRecord, nStream), nVideoStandard);
        setVideoFormatAt(baRecord, nOffset, f);
    }
    return finish(baRecord, nStream);
}

void CEncodeModel::workOutAllowed(QByteArray& baRecord) const
{
    for (int nStream : {Encode::kMainStream, Encode::kExtraStream}) {
        const quint32 nMask = deviceCompressions(baRecord, nStream);
        const int nList =
            nStream == Encode::kMainStream ? EncodeRecord::kMainCompressions : EncodeRecord::kExtraCompressions;
        for (int c = 0; c < Encode::kCompressionCount; ++c)
            setRecordInt(baRecord, nList + 4 * c, (nMask & bit(c)) ? 1 : 0);
        applyPowerModel(baRecord, nStream);
    }
}
