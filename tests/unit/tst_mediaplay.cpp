// The playback library: A-law decoding against SoX's, the ports' states, and the sound output
// (on the default audio device when there is one; a clean refusal when there is none).
#include <functional>
#include <mutex>
#include <vector>

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "mediaplay/mediaplay.h"
#include "mediaplay/mediaplay_test.h"
#include "protocol/media.h"

namespace {

struct Decoded
{
    std::mutex mutex;
    std::vector<short> samples;
    long port = -1;
    bool otherPort = false;
};
Decoded g_decoded;

void collect(long port, const short* samples, int count, void*)
{
    std::lock_guard<std::mutex> lock(g_decoded.mutex);
    g_decoded.otherPort = g_decoded.otherPort || port != g_decoded.port;
    g_decoded.samples.insert(g_decoded.samples.end(), samples, samples + count);
}

QByteArray voiceFrame(const QByteArray& audio, std::uint8_t coding = protocol::kVoiceCodingAlaw)
{
    const std::vector<std::uint8_t> f = protocol::encodeVoiceFrame(
        reinterpret_cast<const std::uint8_t*>(audio.constData()), std::size_t(audio.size()), coding);
    return QByteArray(reinterpret_cast<const char*>(f.data()), int(f.size()));
}

} // namespace

class TestMediaplay : public QObject
{
    Q_OBJECT

private slots:
    void decodesAlawAsSoxDoes();
    void portStates();
    void soundOutput();
};

void TestMediaplay::decodesAlawAsSoxDoes()
{
    // Every A-law code, in two frames; between them garbage to skip and a frame of another coding.
    QByteArray codes;
    for (int c = 0; c < 256; ++c)
        codes.append(char(c));
    QByteArray stream = voiceFrame(codes.left(160)) + QByteArray("\x00\x00\x01\xFB junk", 9) +
                        voiceFrame(QByteArray(40, '\x11'), 0x0F) + voiceFrame(codes.mid(160));

    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    QVERIFY2(!sox.isEmpty(), "SoX is needed (scripts/setup-deps.sh)");
    QTemporaryDir dir;
    QFile in(dir.filePath("codes.al"));
    QVERIFY(in.open(QIODevice::WriteOnly) && in.write(codes) == 256);
    in.close();
    QProcess p;
    p.start(sox, QStringLiteral("-t raw -r 8000 -e a-law -b 8 -c 1 %1 -t raw -e signed-integer -b 16 -L -c 1 %2")
                     .arg(in.fileName(), dir.filePath("codes.s16"))
                     .split(QLatin1Char(' ')));
    QVERIFY(p.waitForFinished(10000) && p.exitCode() == 0);
    QFile out(dir.filePath("codes.s16"));
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray reference = out.readAll();
    QCOMPARE(reference.size(), 512);

    g_decoded.port = 7;
    mpTestSetPcmObserver(collect, nullptr);
    QCOMPARE(mpOpenStream(7, reinterpret_cast<const unsigned char*>("\0"), 1, 2560000), 1);
    // Fed before the start in one piece, then in uneven parts while playing.
    QCOMPARE(mpInputData(7, reinterpret_cast<const unsigned char*>(stream.constData()), 100), 1);
    QCOMPARE(mpPlay(7, nullptr), 1);
    for (int at = 100; at < stream.size(); at += 7)
        QCOMPARE(mpInputData(7, reinterpret_cast<const unsigned char*>(stream.constData()) + at,
                             unsigned(qMin(7, int(stream.size()) - at))),
                 1);
    mpTestSetPcmObserver(nullptr, nullptr);
    QCOMPARE(mpStop(7), 1);
    QCOMPARE(mpCloseStream(7), 1);
    QVERIFY(!g_decoded.otherPort);
    QCOMPARE(g_decoded.samples.size(), std::size_t(256));
    for (int c = 0; c < 256; ++c) {
        const short expected = short(quint8(reference[2 * c]) | (quint8(reference[2 * c + 1]) << 8));
        QVERIFY2(g_decoded.samples[std::size_t(c)] == expected, qPrintable(QString::number(c)));
    }
}

void TestMediaplay::portStates()
{
    const unsigned char data[4] = {};
    const struct
    {
        const char* name;
        std::function<int()> call;
        long error;
    } rows[] = {
        {"input before open", [&] { return mpInputData(3, data, 4); }, MP_ERR_ORDER},
        {"play before open", [] { return mpPlay(3, nullptr); }, MP_ERR_ORDER},
        {"close before open", [] { return mpCloseStream(3); }, MP_ERR_ORDER},
        {"port 500", [&] { return mpOpenStream(500, data, 1, 8192); }, MP_ERR_PORT},
        {"pool below 4 KiB", [&] { return mpOpenStream(3, data, 1, 4095); }, MP_ERR_PARAM},
        {"header size without header", [] { return mpOpenStream(3, nullptr, 1, 8192); }, MP_ERR_PARAM},
    };
    for (const auto& r : rows) {
        QVERIFY2(r.call() == 0, r.name);
        QVERIFY2(mpGetLastError() == r.error, r.name);
    }

    // A stream that is fed but not played holds at most its buffer pool.
    QCOMPARE(mpOpenStream(3, data, 1, 4096), 1);
    QCOMPARE(mpOpenStream(3, data, 1, 4096), 0);
    QCOMPARE(mpGetLastError(), long(MP_ERR_ORDER));
    const QByteArray block(4096, '\x55');
    QCOMPARE(mpInputData(3, reinterpret_cast<const unsigned char*>(block.constData()), 4096), 1);
    QCOMPARE(mpInputData(3, data, 1), 0);
    QCOMPARE(mpGetLastError(), long(MP_ERR_BUFFER_FULL));
    QCOMPARE(mpStop(3), 1); // drops what waited
    QCOMPARE(mpInputData(3, data, 1), 1);
    QCOMPARE(mpCloseStream(3), 1);
    QCOMPARE(mpStop(3), 0);
}

void TestMediaplay::soundOutput()
{
    // With an audio device (the test script's null sink) the output runs; without one it is refused
    // cleanly. CTest runs this test both ways.
    const bool device = !QMediaDevices::defaultAudioOutput().isNull();
    if (qEnvironmentVariableIsSet("VANTREL_EXPECT_NO_AUDIO"))
        QVERIFY(!device);
    if (device) {
        QCOMPARE(mpSoundOn(499), 1);
        QCOMPARE(mpSoundOn(499), 1); // already on
        QCOMPARE(mpTestSoundState(499), 1);
        QCOMPARE(mpTestSoundState(0), 0);
    } else {
        QCOMPARE(mpSoundOn(499), 0);
        QCOMPARE(mpGetLastError(), long(MP_ERR_NO_OUTPUT));
        QCOMPARE(mpTestSoundState(499), 0);
    }
    QCOMPARE(mpSoundOff(499), 1);
    QCOMPARE(mpTestSoundState(499), 0);
    QCOMPARE(mpSoundOff(0), 1); // never on: nothing to do
}

QTEST_GUILESS_MAIN(TestMediaplay)
#include "tst_mediaplay.moc"
