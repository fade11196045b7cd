// How the emulator's streams are encoded: picture sizes of the device's resolution codes against
// the pixel counts of the resolution table, and the settings a camera derives from its records.
#include <QtTest>

#include "camera.h"
#include "media.h"
#include "options.h"

using namespace camsim;

namespace {

// Pixels per resolution code, PAL and NTSC, as the encode page's resolution table lists them.
const int kPixels[32][2] = {
    {405504, 337920},   {202752, 168960},   {202752, 168960},   {101376, 84480},      {25344, 21120},
    {307200, 307200},   {76800, 76800},     {230400, 230400},   {20480, 20480},       {46080, 46080},
    {534528, 445440},   {921600, 921600},   {1228800, 1228800}, {1920000, 1920000},   {2073600, 2073600},
    {2304000, 2304000}, {2635776, 2635776}, {3145728, 3145728}, {4915200, 4915200},   {1019520, 1019520},
    {3686400, 3686400}, {6291456, 6291456}, {7990272, 7990272}, {12000000, 12000000}, {8294400, 8294400},
    {460800, 460800},   {589824, 589824},   {230400, 230400},   {1572864, 1572864},   {1843200, 1843200},
    {2457600, 2457600}, {4147200, 4147200},
};

void putInt(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(std::uint32_t(v) >> (8 * i));
}

} // namespace

class TestCamsimMedia : public QObject
{
    Q_OBJECT

private slots:
    void sizesMatchThePixelCounts();
    void settingsFromTheRecords();
};

void TestCamsimMedia::sizesMatchThePixelCounts()
{
    for (int code = 0; code < 32; ++code) {
        for (int standard = 0; standard < 2; ++standard) {
            int width = 0, height = 0;
            QVERIFY(resolutionSize(code, standard, width, height));
            QVERIFY2(width * height == kPixels[code][standard], qPrintable(QString::number(code)));
            QVERIFY(width % 2 == 0 && height % 2 == 0); // 4:2:0 pictures
        }
    }
    int width = 0, height = 0;
    QVERIFY(!resolutionSize(32, 0, width, height));
    QVERIFY(!resolutionSize(-1, 0, width, height));
}

void TestCamsimMedia::settingsFromTheRecords()
{
    FleetOptions options;
    options.models.push_back(findModel("IPC-A"));
    Camera camera(options, 0);
    std::vector<std::uint8_t> entry;
    QCOMPARE(camera.readRecord(19, 0, entry), 100);
    // Main: H.265 D1, VBR quality 2, 12 fps, 768 kbit/s, a key frame every 3 s; extra: video off.
    putInt(entry, 0, 8);
    putInt(entry, 4, 0);
    putInt(entry, 8, 1);
    putInt(entry, 12, 2);
    putInt(entry, 16, 12);
    putInt(entry, 20, 768);
    putInt(entry, 24, 3);
    entry[132 + 40] = 0;
    QCOMPARE(camera.writeRecord(19, 0, entry), 100);

    StreamSettings s;
    QCOMPARE(streamSettings(camera, 0, 0, s), 100);
    QVERIFY(s.h265);
    QCOMPARE(s.width, 704);
    QCOMPARE(s.height, 576);
    QVERIFY(!s.constantBitRate);
    QCOMPARE(s.quality, 2);
    QCOMPARE(s.frameRate, 12);
    QCOMPARE(s.bitRateKbps, 768);
    QCOMPARE(s.keyFrameInterval, 36);
    QCOMPARE(streamSettings(camera, 0, 1, s), kRetNoStream);
    QCOMPARE(streamSettings(camera, 1, 0, s), kRetNoStream);
    QCOMPARE(streamSettings(camera, 0, 2, s), kRetNoStream);

    // NTSC (general record offset 116) makes D1 480 lines high; an unknown code is sent as H.264.
    std::vector<std::uint8_t> general;
    QCOMPARE(camera.readRecord(18, -1, general), 100);
    putInt(general, 116, 1);
    camera.writeRecord(18, -1, general);
    putInt(entry, 0, 5);
    QCOMPARE(camera.writeRecord(19, 0, entry), 100);
    QCOMPARE(streamSettings(camera, 0, 0, s), 100);
    QVERIFY(!s.h265);
    QCOMPARE(s.height, 480);
}

QTEST_APPLESS_MAIN(TestCamsimMedia)
#include "tst_camsim_media.moc"
