// The microphone's path without the program: a camera's tone comes through the voice talk's
// callback into a playback port, which decodes it to the tone's frequency and, with an audio
// device (the test script's PulseAudio null sink), plays it: the sink's monitor hears the tone.

#include <cmath>
#include <mutex>
#include <vector>

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "emulatorprocess.h"
#include "mediaplay/mediaplay.h"
#include "mediaplay/mediaplay_test.h"
#include "sdktesthelpers.h"

namespace {

constexpr long kPort = 499;
constexpr int kRate = 8000;
constexpr double kToneHz = 1000.0;

std::mutex g_mutex;
std::vector<short> g_decoded;

void onDecoded(long port, const short* samples, int count, void*)
{
    if (port != kPort)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_decoded.insert(g_decoded.end(), samples, samples + count);
}

std::size_t decodedCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_decoded.size();
}

void onVoice(long, char* data, long size, char, void*)
{
    mpInputData(kPort, reinterpret_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
}

/// The strongest frequency (10 Hz steps, 100..3900 Hz) of 8 kHz samples, and their RMS.
double peakFrequency(const std::vector<short>& x, double* rms)
{
    double sum = 0;
    for (short s : x)
        sum += double(s) * s;
    *rms = std::sqrt(sum / double(x.size()));
    double best = 0, bestPower = -1;
    for (double f = 100; f < 3900; f += 10) {
        // Goertzel: the power of one frequency.
        const double w = 2 * std::cos(2 * M_PI * f / kRate);
        double s1 = 0, s2 = 0;
        for (short s : x) {
            const double s0 = s + w * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - w * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

} // namespace

class TestVoicePlayback : public QObject
{
    Q_OBJECT

private slots:
    void toneReachesThePlaybackPort();
};

void TestVoicePlayback::toneReachesThePlaybackPort()
{
    sdkInit(nullptr, nullptr);
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "1"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY(login > 0);

    mpTestSetPcmObserver(onDecoded, nullptr);
    const unsigned char header = 0;
    QCOMPARE(mpOpenStream(kPort, &header, 1, 2560000), 1);
    QCOMPARE(mpPlay(kPort, nullptr), 1);
    const bool device = !QMediaDevices::defaultAudioOutput().isNull();
    QCOMPARE(mpSoundOn(kPort), device ? 1 : 0);

    const long talk = sdkStartVoiceCom(login, onVoice, nullptr);
    QVERIFY(talk > 0);
    QTRY_VERIFY_WITH_TIMEOUT(decodedCount() >= std::size_t(kRate), 5000);

    // What the monitor of the default sink hears while the talk runs.
    std::vector<short> heard;
    const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
    if (device && !parec.isEmpty()) {
        QProcess recorder;
        recorder.start(parec, {"--device=@DEFAULT_MONITOR@", "--format=s16le", "--rate=8000", "--channels=1", "--raw",
                               "--latency-msec=20"});
        QVERIFY(recorder.waitForStarted(5000));
        QByteArray bytes;
        // Half a second to settle, then one second to analyse.
        QTRY_VERIFY_WITH_TIMEOUT((bytes += recorder.readAllStandardOutput()).size() >= 3 * kRate, 10000);
        recorder.kill();
        recorder.waitForFinished(5000);
        for (int i = kRate; i + 1 < 3 * kRate; i += 2)
            heard.push_back(short(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8)));
    }
    QCOMPARE(sdkStopVoiceCom(talk), 1L);
    mpTestSetPcmObserver(nullptr, nullptr);
    QCOMPARE(mpStop(kPort), 1);
    QCOMPARE(mpSoundOff(kPort), 1);
    QCOMPARE(mpCloseStream(kPort), 1);

    // The decoded tone: the camera's frequency at 0.3 of full scale (RMS 0.3 / sqrt 2).
    double rms = 0;
    std::vector<short> decoded;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        decoded.assign(g_decoded.begin(), g_decoded.begin() + kRate);
    }
    QCOMPARE(peakFrequency(decoded, &rms), kToneHz);
    QVERIFY2(std::abs(rms - 0.3 * 32767 / std::sqrt(2.0)) < 300, qPrintable(QString::number(rms)));
    if (!heard.empty()) {
        const double played = peakFrequency(heard, &rms);
        QVERIFY2(std::abs(played - kToneHz) <= 20, qPrintable(QString::number(played)));
        QVERIFY2(rms > 1000, qPrintable(QString::number(rms))); // the tone, not the silence of a stalled output
    }
    sdkLogout(login);
    sdkCleanup();
    QVERIFY(emulator.stop());
}

QTEST_GUILESS_MAIN(TestVoicePlayback)
#include "tst_voiceplayback.moc"
