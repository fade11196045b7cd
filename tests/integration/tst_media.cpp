// Live streams and voice talks through the library against the emulator: pictures decode at the
// size, codec and frame rate of the camera's encode entry (and follow a change of it), a stop is
// prompt and final, refusals give the device's codes, and a voice talk hands the camera's frames to
// its callback until it stops, and a camera that dies mid-stream ends its stream. What the camera
// hears of a talk, byte for byte, is tst_gui_voice's.

#include <cstring>
#include <mutex>
#include <vector>

#include <QJsonObject>
#include <QtEndian>
#include <QtTest>

#include "emulatorprocess.h"
#include "netsdk/netsdk_test.h"
#include "protocol/media.h"
#include "sdktesthelpers.h"

namespace {

constexpr int kEncodeCommand = 19;
constexpr int kEntrySize = 396;
constexpr int kExtraBlock = 132;

/// Frames the library reported, by stream handle.
struct Seen
{
    std::mutex mutex;
    std::vector<SDK_TEST_FRAME_INFO> frames;

    std::vector<SDK_TEST_FRAME_INFO> of(long handle)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<SDK_TEST_FRAME_INFO> out;
        for (const SDK_TEST_FRAME_INFO& f : frames)
            if (f.lRealHandle == handle)
                out.push_back(f);
        return out;
    }
    int pictures(long handle)
    {
        int n = 0;
        for (const SDK_TEST_FRAME_INFO& f : of(handle))
            n += f.bEnded ? 0 : 1;
        return n;
    }
    bool ended(long handle, long* code = nullptr)
    {
        for (const SDK_TEST_FRAME_INFO& f : of(handle))
            if (f.bEnded) {
                if (code)
                    *code = f.lEndCode;
                return true;
            }
        return false;
    }
};
Seen g_seen;

void observer(const SDK_TEST_FRAME_INFO* info, void*)
{
    std::lock_guard<std::mutex> lock(g_seen.mutex);
    g_seen.frames.push_back(*info);
}

/// A talk's callbacks: their handles, and whether any was not a whole A-law frame from the device.
struct Heard
{
    std::mutex mutex;
    std::vector<long> handles;
    bool wrong = false;

    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return handles.size();
    }
};

void onVoice(long handle, char* data, long size, char flag, void* user)
{
    auto* heard = static_cast<Heard*>(user);
    const protocol::VoiceFrame v =
        protocol::parseVoiceFrame(reinterpret_cast<const std::uint8_t*>(data), std::size_t(size));
    std::lock_guard<std::mutex> lock(heard->mutex);
    heard->wrong = heard->wrong || flag != 1 || std::size_t(size) != protocol::kVoiceFrameSize ||
                   v.status != protocol::ParseStatus::Ok || v.coding != protocol::kVoiceCodingAlaw;
    heard->handles.push_back(handle);
}

long startStream(long login, int channel, int stream)
{
    SDK_CLIENTINFO client;
    std::memset(&client, 0, sizeof client);
    client.nChannel = channel;
    client.nStream = stream;
    return sdkStartRealPlay(login, &client);
}

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void streamsFollowTheEncodeEntry();
    void stopIsPromptAndFinal();
    void refusals();
    void voiceTalkBothWays();
    void deathEndsTheStream();

private:
    /// Writes the block of `stream` in channel 0's encode entry.
    void setEncode(long login, int stream, int compression, int resolution, int frameRate, bool video = true);
    EmulatorProcess emulator_;
    long login_ = 0;
};

void TestMedia::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkTestSetFrameObserver(observer, nullptr);
    QVERIFY2(emulator_.start({"--count", "1", "--models", "IPC-A"}), qPrintable(emulator_.errorString()));
    QVERIFY(emulator_.configureLibrary());
    int error = 0;
    login_ = loginTo(emulator_.address(0), QString(), &error);
    QVERIFY2(login_ > 0, qPrintable(QString::number(error)));
}

void TestMedia::cleanupTestCase()
{
    sdkTestSetFrameObserver(nullptr, nullptr);
    sdkCleanup();
    QVERIFY(emulator_.stop());
}

void TestMedia::setEncode(long login, int stream, int compression, int resolution, int frameRate, bool video)
{
    QByteArray entry(kEntrySize, '\0');
    unsigned long got = 0;
    QCOMPARE(sdkGetConfig(login, kEncodeCommand, 0, entry.data(), kEntrySize, &got, 3000), 1L);
    const int block = stream * kExtraBlock;
    qToLittleEndian<qint32>(compression, entry.data() + block);
    qToLittleEndian<qint32>(resolution, entry.data() + block + 4);
    qToLittleEndian<qint32>(frameRate, entry.data() + block + 16);
    entry[block + 40] = video ? 1 : 0;
    QCOMPARE(sdkSetConfig(login, kEncodeCommand, 0, entry.data(), kEntrySize, 3000), 1L);
}

void TestMedia::streamsFollowTheEncodeEntry()
{
    // Each row writes the entry, then starts the stream anew: the size, codec and rate follow it.
    const struct
    {
        int stream, compression, resolution, frameRate, width, height, codec;
    } rows[] = {
        {0, 7, 3, 10, 352, 288, 1}, // main: H.264 CIF at 10 fps
        {0, 8, 6, 20, 320, 240, 2}, // main changed: H.265 QVGA at 20 fps
        {1, 7, 4, 25, 176, 144, 1}, // extra: H.264 QCIF at 25 fps
    };
    for (const auto& r : rows) {
        setEncode(login_, r.stream, r.compression, r.resolution, r.frameRate);
        const long stream = startStream(login_, 0, r.stream);
        QVERIFY2(stream > 0, qPrintable(QString::number(sdkGetLastError())));
        constexpr int kFrames = 12;
        QTRY_VERIFY_WITH_TIMEOUT(g_seen.pictures(stream) >= kFrames, 10000);
        QCOMPARE(sdkStopRealPlay(stream, nullptr), 1L);
        const std::vector<SDK_TEST_FRAME_INFO> frames = g_seen.of(stream);
        QVERIFY(frames.front().bKeyFrame); // a viewer starts with a picture it can decode
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].bEnded, 0);
            QCOMPARE(frames[i].nWidth, r.width);
            QCOMPARE(frames[i].nHeight, r.height);
            QCOMPARE(frames[i].nCodec, r.codec);
            QCOMPARE(frames[i].nFrameNumber, unsigned(i)); // none lost, in order
            QCOMPARE(frames[i].bDrawn, 0);                 // no window: decoded only
        }
        // The device's capture times step by the frame interval.
        const double interval =
            double(frames.back().llCaptureMs - frames.front().llCaptureMs) / double(frames.size() - 1);
        QVERIFY2(qAbs(interval - 1000.0 / r.frameRate) < 0.2 * 1000.0 / r.frameRate,
                 qPrintable(QString::number(interval)));
    }
}

void TestMedia::stopIsPromptAndFinal()
{
    // One frame a second: a stop must not wait for the next frame (bench_preview measures how long
    // it takes); nothing is reported once it returned.
    setEncode(login_, 0, 7, 3, 1);
    const long stream = startStream(login_, 0, 0);
    QVERIFY(stream > 0);
    QTRY_VERIFY(g_seen.pictures(stream) >= 1);
    QCOMPARE(sdkStopRealPlay(stream, nullptr), 1L);
    const int after = g_seen.pictures(stream);
    QTRY_COMPARE(emulator_.control({{"Cmd", "media"}, {"Index", 0}})["Streams"].toInt(), 0);
    QCOMPARE(g_seen.pictures(stream), after); // nothing reported after the stop returned
    QVERIFY(!g_seen.ended(stream));
    QCOMPARE(sdkStopRealPlay(stream, nullptr), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
}

void TestMedia::refusals()
{
    setEncode(login_, 1, 7, 6, 25, false); // extra stream's video off
    const struct
    {
        const char* name;
        long login;
        int channel, stream;
        long code;
    } rows[] = {
        {"channel the camera lacks", login_, 3, 0, SDK_ERR_NO_STREAM},
        {"stream 2", login_, 0, 2, SDK_ERR_NO_STREAM},
        {"extra stream switched off", login_, 0, 1, SDK_ERR_NO_STREAM},
    };
    for (const auto& r : rows) {
        QCOMPARE(startStream(r.login, r.channel, r.stream), 0L);
        QVERIFY2(sdkGetLastError() == r.code, r.name);
    }
    QCOMPARE(sdkStartRealPlay(login_, nullptr), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));

    // A camera serves four streams at a time; the fifth is refused until one stops.
    setEncode(login_, 0, 7, 4, 1);
    std::vector<long> streams;
    for (int i = 0; i < 4; ++i) {
        streams.push_back(startStream(login_, 0, 0));
        QVERIFY(streams.back() > 0);
    }
    QCOMPARE(startStream(login_, 0, 0), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_MEDIA_BUSY));
    for (long s : streams)
        QCOMPARE(sdkStopRealPlay(s, nullptr), 1L);
    QTRY_COMPARE(emulator_.control({{"Cmd", "media"}, {"Index", 0}})["Streams"].toInt(), 0);
    const long again = startStream(login_, 0, 0);
    QVERIFY(again > 0);
    QCOMPARE(sdkStopRealPlay(again, nullptr), 1L);
}

void TestMedia::voiceTalkBothWays()
{
    Heard heard;
    const long talk = sdkStartVoiceCom(login_, onVoice, &heard);
    QVERIFY(talk > 0);
    QTRY_VERIFY(heard.count() >= 5); // the camera's tone, every 20 ms
    QByteArray tooLong(4097, '\0');
    QCOMPARE(sdkSendVoiceData(talk, tooLong.data(), 4097), 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkStopVoiceCom(talk), 1L);
    const std::size_t count = heard.count();
    QTRY_COMPARE(emulator_.control({{"Cmd", "media"}, {"Index", 0}})["Talks"].toInt(), 0);
    QCOMPARE(heard.count(), count); // no callback after the stop returned

    std::lock_guard<std::mutex> lock(heard.mutex);
    QVERIFY(!heard.wrong);
    for (long h : heard.handles)
        QCOMPARE(h, talk);
    QCOMPARE(sdkSendVoiceData(talk, tooLong.data(), 168), 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
}

QTEST_GUILESS_MAIN(TestMedia)
void TestMedia::deathEndsTheStream()
{
    // The camera dies mid-stream (last: it stays dead): the stream ends by itself with the socket's
    // code, without a stop, and its handle stays until it is stopped.
    setEncode(login_, 0, 7, 3, 25);
    const long stream = startStream(login_, 0, 0);
    QVERIFY(stream > 0);
    QTRY_VERIFY(g_seen.pictures(stream) >= 3);
    QVERIFY(emulator_.kill(0));
    long code = 0;
    QTRY_VERIFY_WITH_TIMEOUT(g_seen.ended(stream, &code), 5000);
    QCOMPARE(code, long(SDK_ERR_SOCKET));
    QCOMPARE(sdkStopRealPlay(stream, nullptr), 1L);
}

#include "tst_media.moc"
