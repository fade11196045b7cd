// The encode capability model: the six bit rates offered, fitting a stream into
// the power left, the largest and allowed resolutions, and the power model over
// a whole encode record (two channels sharing power, a combined-power recorder,
// a device that reports no power, one whose power is used up). Which table a
// model takes and what the encode page offers per model are tst_gui_encode's.
#include <QtTest>

#include "config/ConfigRecords.h"
#include "config/EncodeCapability.h"
#include "config/EncodeLoad.h"

namespace {

using Row = QList<int>;

Row rowOf(const CBitRates& values)
{
    return Row(values.begin(), values.end());
}

SDK_VIDEO_FORMAT format(int nResolution, int nFps, int nQuality, int nBitRate, int nGop = 2)
{
    return SDK_VIDEO_FORMAT{Encode::kH264, nResolution, 0, nQuality, nFps, nBitRate, nGop};
}

QStringList allowedNames(const QByteArray& rec, int nList)
{
    QStringList lst;
    for (int r = 0; r < 32; ++r) {
        if (recordInt(rec, nList + 4 * r) == 1)
            lst << QString::fromLatin1(resolutionName(r));
    }
    return lst;
}

// Resolution codes used below.
constexpr int kD1 = 0, kCif = 3, kVga = 5, kQvga = 6, k720P = 11, k1080P = 14, k5M = 18, k1080N = 19;

constexpr quint32 bits(std::initializer_list<int> lst)
{
    quint32 n = 0;
    for (int b : lst)
        n |= 1u << b;
    return n;
}

/// An encode record of nAnalog PAL channels with the ability fields the model
/// reads.
struct CRecord
{
    QByteArray rec = QByteArray(EncodeRecord::kSize, '\0');

    CRecord(int nAnalog, qint32 nPower, bool bExtraCounts)
    {
        setRecordInt(rec, EncodeRecord::kAnalogChannels, nAnalog);
        setRecordInt(rec, EncodeRecord::kAbility + EncodeAbility::kTotalPower, nPower);
        setRecordByte(rec, EncodeRecord::kExtraLoadCounts, bExtraCounts ? 1 : 0);
    }
    void ability(int nOffset, qint32 nValue) { setRecordInt(rec, EncodeRecord::kAbility + nOffset, nValue); }
    void stream(int nChannel, int nStream, const SDK_VIDEO_FORMAT& f, bool bVideo = true)
    {
        const int nBlock = EncodeRecord::kEntries + 396 * nChannel + 132 * nStream;
        setVideoFormatAt(rec, nBlock, f);
        setRecordByte(rec, nBlock + 40, bVideo ? 1 : 0);
    }
    SDK_VIDEO_FORMAT at(int nChannel, int nStream) const
    {
        return videoFormatAt(rec, EncodeRecord::kEntries + 396 * nChannel + 132 * nStream);
    }
};

} // namespace

class TestAppEncodeCapability : public QObject
{
    Q_OBJECT

private slots:
    void bitRatesFittingAndResolutions();
    void powerModelOnTwoChannels();
    void combinedPowerAndDevicesWithoutPower();
    void firmwareRulesAndDeviceReplies();
};

void TestAppEncodeCapability::bitRatesFittingAndResolutions()
{
    // The six values offered: scaled by the frame rate (above the standard's cap counts as the cap),
    // none above the budget, none for a resolution the set has no row for.
    const struct
    {
        SDK_VIDEO_FORMAT f;
        int nSet, nStandard, nLimit;
        Row values;
    } offered[] = {
        {format(k1080P, 12, 4, 0), 1, 0, Encode::kNoLimit, {572, 1145, 1718, 2290, 3436, 4581}},
        {format(k1080P, 50, 4, 0), 1, 0, Encode::kNoLimit, {1024, 2048, 3072, 4096, 6144, 8192}},
        {format(k1080P, 25, 4, 0), 1, 0, 4096, {1024, 2048, 3072, 4096, 0, 0}},
        {format(kD1, 30, 4, 0, 1), 4, 1, Encode::kNoLimit, {332, 499, 665, 998, 1331, 1664}},
        {format(k1080N, 25, 4, 0), 2, 0, Encode::kNoLimit, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& o : offered)
        QCOMPARE(rowOf(recommendedBitRates(o.f, o.nSet, o.nStandard, o.nLimit)), o.values);

    // The largest frame rate and resolution that fit into the power left (pixels per second).
    const struct
    {
        int nResolution;
        qint64 nAvailable;
        int nStandard, nFrameRate, nMaxResolution;
    } fits[] = {
        {kD1, 20275200, 0, 25, 23},    // PAL D1, room for 50 frames
        {kD1, 405503, 0, -1, -1},      // PAL D1, a pixel short
        {kD1, 337920 * 40, 1, 30, 23}, // NTSC D1, room for 40 frames
        {kD1, 337920, 0, -1, -1},      // PAL D1 at NTSC's count
        {k1080P, 0, 0, 25, 23},        // no power limits nothing
    };
    for (const auto& f : fits) {
        const CFit fit = fitStream(f.nResolution, f.nAvailable, f.nStandard);
        QCOMPARE(fit.nMaxFrameRate, f.nFrameRate);
        QCOMPARE(fit.nMaxResolution, f.nMaxResolution);
    }

    // Largest by pixels; equal counts keep the lower code.
    QCOMPARE(largestResolution(0, 0), -1);
    QCOMPARE(largestResolution(bits({27, 7}), 0), 7);
    QCOMPARE(largestResolution(bits({kD1, 10, kVga}), 0), 10);
    QCOMPARE(largestResolution(bits({k5M, 24, 23}), 0), 23);
    QCOMPARE(allowedResolutions(k720P, bits({kD1, kCif, k720P, k1080P, 10}), 0), bits({kD1, kCif, 10, k720P}));
    QCOMPARE(allowedResolutions(-1, ~0u, 0), 0u);
}

void TestAppEncodeCapability::powerModelOnTwoChannels()
{
    // 60 million pixels per second for two channels; channel 1 takes a 720P and a
    // CIF stream at 25.
    CRecord r(2, 60000000, true);
    r.ability(EncodeAbility::kBitRateBudget, 8192);
    r.ability(EncodeAbility::kMainResolutionMask, qint32(bits({k1080P, k720P, kD1})));
    r.ability(EncodeAbility::kExtraResolutionMask + 4 * k1080P, qint32(bits({kD1, kCif, kQvga, kVga})));
    r.ability(EncodeAbility::kExtraResolutionMask + 4 * k720P, qint32(bits({kCif, kQvga})));
    r.stream(1, 0, format(k720P, 25, 4, 3072));
    r.stream(1, 1, format(kCif, 25, 3, 384));
    r.stream(0, 0, format(k1080P, 25, 5, 6144));
    r.stream(0, 1, format(kD1, 10, 3, 384));
    CEncodeModel model;
    model.initResolutionTable(0);

    QCOMPARE(model.remainingPower(r.rec, 0), qint64(34425600));
    QCOMPARE(model.remainingBitRateBudget(r.rec, 0), 5120);
    // The main stream shares with its D1 extra stream: 14 frames of 1080P. The
    // extra stream then has room for 13 frames of D1; VGA, which the device
    // offers, the table does not allow under 1080P.
    model.workOutAllowed(r.rec);
    QCOMPARE(r.at(0, 0).nFPS, 14);
    QCOMPARE(recordInt(r.rec, EncodeRecord::kMainFrameRates), 14);
    QCOMPARE(recordInt(r.rec, EncodeRecord::kExtraFrameRates), 13);
    QCOMPARE(allowedNames(r.rec, EncodeRecord::kMainResolutions), (QStringList{"D1", "720P", "1080P"}));
    QCOMPARE(allowedNames(r.rec, EncodeRecord::kExtraResolutions), (QStringList{"D1", "CIF", "QVGA"}));

    // A constant bit rate follows the frame rate: 6144 at 25 frames is 3853
    // at 14. Within the budget left by channel 1 (5120) the best quality's 5137
    // is not offered.
    const SDK_VIDEO_FORMAT saved = format(k1080P, 25, 5, 6144);
    QCOMPARE(rowOf(model.recompute(r.rec, 0, &saved)), (Row{642, 1284, 1926, 2568, 3853, 0}));
    QCOMPARE(r.at(0, 0).nBitRate, 3853);

    // The main stream goes to 720P: its bit rate is the quality's, and the extra
    // stream is re-fitted under 720P: D1 is not offered any more, CIF (the first
    // that is) takes its place at 25 frames.
    SDK_VIDEO_FORMAT main = r.at(0, 0);
    main.nResolution = k720P;
    setVideoFormatAt(r.rec, CEncodeModel::streamOffset(0), main);
    model.recompute(r.rec, 0, nullptr);
    QCOMPARE(r.at(0, 0).nBitRate, 1926);
    QCOMPARE(rowOf(model.refit(r.rec, 1)), (Row{31, 94, 188, 251, 377, 503}));
    QCOMPARE(r.at(0, 1).nResolution, kCif);
    QCOMPARE(r.at(0, 1).nBitRate, 188);
    QCOMPARE(recordInt(r.rec, EncodeRecord::kExtraFrameRates), 25);
    QCOMPARE(allowedNames(r.rec, EncodeRecord::kExtraResolutions), (QStringList{"CIF", "QVGA"}));
    // A variable bit rate is the quality's at any frame rate: tst_gui_encode, smart encoding on IPC-B.
}

void TestAppEncodeCapability::combinedPowerAndDevicesWithoutPower()
{
    // Four channels share 100 million equally after the four CIF extra streams,
    // capped at 20 million.
    CRecord r(4, 100000000, true);
    r.ability(EncodeAbility::kCombinedPower, 1);
    for (int c = 0; c < 4; ++c) {
        r.ability(EncodeAbility::kMainResolutionMask + 4 * c, qint32(bits({k1080N, k720P})));
        r.stream(c, 0, format(k720P, 25, 4, 2560));
        r.stream(c, 1, format(kCif, 25, 2, 192));
    }
    CEncodeModel model;
    model.initResolutionTable(0);
    QCOMPARE(model.remainingPower(r.rec, 0), qint64(22465600));
    r.ability(EncodeAbility::kChannelLimit, 20000000);
    QCOMPARE(model.remainingPower(r.rec, 0), qint64(20000000));
    // 1080N on channel 0: what is left beside its extra stream carries 17 frames,
    // and every channel takes the same format.
    SDK_VIDEO_FORMAT main = r.at(0, 0);
    main.nResolution = k1080N;
    setVideoFormatAt(r.rec, CEncodeModel::streamOffset(0), main);
    model.recompute(r.rec, 0, nullptr);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(r.at(c, 0).nResolution, k1080N);
        QCOMPARE(r.at(c, 0).nFPS, 17);
    }

    // A device that reports no power limits nothing but its lists; one whose
    // power the other channels use up offers nothing at all.
    CRecord none(1, 0, false);
    none.ability(EncodeAbility::kMainResolutionMask, qint32(bits({k1080P, kD1})));
    none.stream(0, 0, format(k1080P, 25, 4, 4096));
    model.workOutAllowed(none.rec);
    QCOMPARE(recordInt(none.rec, EncodeRecord::kMainFrameRates), 25);
    QCOMPARE(allowedNames(none.rec, EncodeRecord::kMainResolutions), (QStringList{"D1", "1080P"}));
    // Two million leave four frames of D1 and 720P as the largest offered; the
    // extra stream, which here does not count against the main one, has what the
    // main stream leaves: three frames of CIF.
    CRecord tight(1, 2000000, false);
    tight.ability(EncodeAbility::kMainResolutionMask, qint32(bits({k1080P, k720P, kD1})));
    tight.ability(EncodeAbility::kExtraResolutionMask, qint32(bits({kCif})));
    tight.stream(0, 0, format(kD1, 25, 4, 1024));
    tight.stream(0, 1, format(kCif, 25, 4, 512));
    model.workOutAllowed(tight.rec);
    QCOMPARE(allowedNames(tight.rec, EncodeRecord::kMainResolutions), (QStringList{"D1", "720P"}));
    QCOMPARE(recordInt(tight.rec, EncodeRecord::kMainFrameRates), 4);
    QCOMPARE(recordInt(tight.rec, EncodeRecord::kExtraFrameRates), 3);
    CRecord full(2, 10000000, false);
    full.ability(EncodeAbility::kMainResolutionMask, qint32(bits({k1080P, kD1})));
    full.stream(1, 0, format(k1080P, 25, 4, 4096));
    full.stream(0, 0, format(kD1, 25, 4, 1024));
    model.workOutAllowed(full.rec);
    QCOMPARE(recordInt(full.rec, EncodeRecord::kMainFrameRates), 0);
    QVERIFY(allowedNames(full.rec, EncodeRecord::kMainResolutions).isEmpty());
}

void TestAppEncodeCapability::firmwareRulesAndDeviceReplies()
{
    // One version rule for reading and writing: "V2.62.R07" itself takes the
    // simplified entries.
    const QList<QPair<QByteArray, bool>> lstVersions{{"V2.62.R07", true},
                                                     {"V3.10.R02", true},
                                                     {"V2.62.R06.9", false},
                                                     {"", false},
                                                     {QByteArray("V2.62.R07\0junk", 14), true}};
    for (const auto& version : lstVersions)
        QVERIFY2(isNewEncodeFirmware(version.first) == version.second, version.first.constData());
    QVERIFY(!hasProfileRecord(2012, 7, 10));
    QVERIFY(hasProfileRecord(2012, 7, 11));
    QVERIFY(!hasProfileRecord(2011, 12, 31));

    // Ability replies: flags only from a reply whose "Ret" is 100, only elements
    // equal to 1.
    const QList<std::tuple<QByteArray, long, QList<bool>>> lstReplies{
        {R"({"Name":"N","Ret":100,"SessionID":"0x1","N":[1,0,1,"1",2]})", 1, {true, false, true, false, false}},
        {R"({"Name":"N","Ret":607,"SessionID":"0x1","N":[1,1]})", -607, {false, false}},
        {R"({"Name":"N","Ret":100,"N":[0,1]})", 1, {false, true}}, // no SessionID: read all the same
        {R"({"Name":"N","Ret":100,"N":{"0":1}})", -1, {false, false}},
        {R"({"Name":5,"Ret":100})", -1, {false, false}},
        {"{not json", -1, {false, false}}};
    for (const auto& [baText, nResult, lstFlags] : lstReplies) {
        CChannelAbility ability;
        QCOMPARE(readChannelAbilityReply(baText, &ability), nResult);
        for (int i = 0; i < lstFlags.size(); ++i)
            QCOMPARE(ability.abFlags[i], lstFlags[i]);
    }

    // Digital channels: a connected channel of its own counters takes its table
    // entry; counters that point outside the record or the table are not
    // followed.
    QByteArray rec(EncodeRecord::kSize, '\0');
    const int nEntry = EncodeRecord::kDigitalEncode + EncodeRecord::kDigitalEncodeEntry;
    setRecordText(rec, EncodeRecord::kDigitalConfig + 214 + 164, 50, "Connected");
    const QList<std::tuple<int, int, bool, int>> lstCounters{{1, 5, true, 5},    {0, 5, false, -1}, {33, 5, false, -1},
                                                             {32, 63, true, 63}, {1, 64, true, -1}, {1, -1, true, -1}};
    for (const auto& [nSub, nTableEntry, bTakes, nExpected] : lstCounters) {
        setRecordInt(rec, nEntry + 12, nSub);
        setRecordInt(rec, nEntry + 604 * (qBound(1, nSub, 32) - 1) + 288, nTableEntry);
        QCOMPARE(digitalChannelTakesTable(rec, 1), bTakes);
        QCOMPARE(digitalTableEntry(rec, 1), nExpected);
    }
    QVERIFY(!digitalChannelTakesTable(rec, 0));
}

QTEST_APPLESS_MAIN(TestAppEncodeCapability)
#include "tst_app_encodecapability.moc"
