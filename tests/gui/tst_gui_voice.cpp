// The Volume and Micro buttons against the emulator: receive-only mode ([Mic] OnlyRecv=1) switches
// port 0's sound and nothing else; the volume test sends Sound/sound.wav in 168-byte frames, its
// button disabled meanwhile, or reports a missing file; Micro during a volume test ends the test
// first; the camera's tone is decoded on port 499 and, with a sound server (the test script's null
// sink), heard on its monitor; no press waits for a silent camera on the window's thread.

#include <cmath>
#include <mutex>
#include <tuple>
#include <utility>
#include <vector>

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "mediaplay/mediaplay_test.h"
#include "netsdk/netsdk.h"

namespace {

constexpr int kRate = 8000;
constexpr double kToneHz = 1000.0;

std::mutex g_mutex;
std::vector<short> g_decoded;

void onDecoded(long nPort, const short* pSamples, int nCount, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (nPort == 499)
        g_decoded.insert(g_decoded.end(), pSamples, pSamples + nCount);
}

std::vector<short> decoded()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_decoded;
}

void ignore(long, char*, long, char, void*) {}

/// The strongest frequency (10 Hz steps, 100..3900 Hz, by Goertzel's power) of 8 kHz samples, and
/// their RMS.
double peakFrequency(const std::vector<short>& x, double* pRms)
{
    double dSum = 0, dBest = 0, dBestPower = -1;
    for (short s : x)
        dSum += double(s) * s;
    *pRms = std::sqrt(dSum / double(x.size()));
    for (double f = 100; f < 3900; f += 10) {
        const double w = 2 * std::cos(2 * M_PI * f / kRate);
        double s1 = 0, s2 = 0;
        for (short s : x)
            s2 = std::exchange(s1, s + w * s1 - s2);
        const double dPower = s1 * s1 + s2 * s2 - w * s1 * s2;
        if (dPower > dBestPower)
            std::tie(dBestPower, dBest) = std::make_pair(dPower, f);
    }
    return dBest;
}

/// One second of what the default sink's monitor hears, after half a second to settle; empty
/// without parec.
std::vector<short> recordMonitor()
{
    std::vector<short> heard;
    const QString strParec = QStandardPaths::findExecutable(QStringLiteral("parec"));
    if (strParec.isEmpty())
        return heard;
    QProcess recorder;
    recorder.start(strParec, {"--device=@DEFAULT_MONITOR@", "--format=s16le", "--rate=8000", "--channels=1", "--raw",
                              "--latency-msec=20"});
    if (!recorder.waitForStarted(5000))
        return heard;
    QByteArray baBytes;
    QElapsedTimer clock;
    clock.start();
    while (baBytes.size() < 3 * kRate && clock.elapsed() < 10000) {
        recorder.waitForReadyRead(100);
        baBytes += recorder.readAllStandardOutput();
    }
    recorder.kill();
    recorder.waitForFinished(5000);
    for (int i = kRate; i + 1 < qMin(int(baBytes.size()), 3 * kRate); i += 2)
        heard.push_back(short(quint8(baBytes[i]) | (quint8(baBytes[i + 1]) << 8)));
    return heard;
}

/// The frames the camera must receive for baFile: 160 bytes each behind the 8-byte header, the
/// last one filled up with A-law silence.
QByteArray framesOf(const QByteArray& baFile)
{
    const QByteArray baHeader("\x00\x00\x01\xFA\x0E\x02\xA0\x00", 8);
    QByteArray baOut;
    for (int i = 0; i < baFile.size(); i += 160) {
        QByteArray baPayload = baFile.mid(i, 160);
        baPayload.append(QByteArray(160 - baPayload.size(), char(0xD5)));
        baOut += baHeader + baPayload;
    }
    return baOut;
}

/// Writes the program's Sound/sound.wav with nSize bytes; returns them.
QByteArray writeSound(int nSize)
{
    QByteArray baFile(nSize, '\0');
    for (int i = 0; i < nSize; ++i)
        baFile[i] = char(i * 7 + 3);
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/Sound"));
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/Sound/sound.wav"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(baFile) != nSize)
        qWarning("cannot write %s", qPrintable(file.fileName()));
    return baFile;
}

} // namespace

class TestGuiVoice : public QObject
{
    Q_OBJECT

private slots:
    void volumeAndMicrophone();
};

void TestGuiVoice::volumeAndMicrophone()
{
    EmulatorProcess emulator;
    QVERIFY(guitest::startEmulator(emulator, {"--count", "1"}, {{"Mic/OnlyRecv", "1"}}));
    auto pWindow = guitest::searchedWindow(1);
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer;
    QPushButton* pVolume = guitest::button(*pWindow, "btnVolume");
    QPushButton* pMicro = guitest::button(*pWindow, "btnMicro");
    auto media = [&](bool bClear = false) {
        return emulator.control({{"Cmd", "media"}, {"Index", 0}, {"Clear", bClear}});
    };
    const bool bDevice = !QMediaDevices::defaultAudioOutput().isNull();
    const QString strOn = bDevice ? QStringLiteral("StopMicro") : QStringLiteral("StartMicro");

    // Receive-only, at the press that logs the row in: port 0's sound goes on, and off at the second
    // press, which leaves alone a talk holding handle 1, the number the mode keeps as its mark.
    guitest::click(*pWindow, "btnMicro");
    QTRY_COMPARE(pMicro->text(), strOn);
    QCOMPARE(guitest::cell(*pWindow, 0, guitest::kStatusColumn), QStringLiteral("Login Success"));
    QCOMPARE(mpTestSoundState(0), bDevice ? 1 : 0);
    const long lOther = sdkStartVoiceCom(pWindow->getDevInfo(0)->lLoginID, ignore, nullptr);
    QCOMPARE(lOther, 1L);
    if (bDevice) {
        guitest::click(*pWindow, "btnMicro");
        QTRY_COMPARE(pMicro->text(), QStringLiteral("StartMicro"));
        QCOMPARE(mpTestSoundState(0), 0);
    } else {
        guitest::expectOneBox(answerer, QStringLiteral("Prompt"), QStringLiteral("OpenSoundShareFiled"), 2);
    }
    char acFrame[168] = {0x00, 0x00, 0x01, char(0xFA), 0x0E, 0x02, char(0xA0), 0x00};
    QCOMPARE(sdkSendVoiceData(lOther, acFrame, sizeof acFrame), 1);
    QCOMPARE(sdkStopVoiceCom(lOther), 1L);
    QVERIFY(guitest::writeConfig(emulator.discoveryPort()));

    // The volume test: 400 bytes in three frames, the last with 80 bytes of the file; the button is
    // disabled while it runs and enabled after.
    QList<bool> lstEnabled;
    connect(pWindow.get(), &CVantrel::updateBtnState, this, [&](int nType, int) {
        if (nType == 0)
            lstEnabled << pVolume->isEnabled();
    });
    QByteArray baFile = writeSound(400);
    media(true);
    answerer.clear();
    guitest::click(*pWindow, "btnVolume");
    QTRY_COMPARE(lstEnabled, (QList<bool>{false, true, true}));
    QTRY_COMPARE(media()["Talks"].toInt(), 0);
    QCOMPARE(media()["HeardFrames"].toInt(), 3);
    QCOMPARE(QByteArray::fromBase64(media()["Heard"].toString().toLatin1()), framesOf(baFile));
    QCOMPARE(pWindow->volumeState(), 0);

    // No file: a message, and the button stays enabled.
    QVERIFY(QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/Sound/sound.wav")));
    lstEnabled.clear();
    guitest::click(*pWindow, "btnVolume");
    QTRY_COMPARE(answerer.lstBoxes.size(), 1);
    guitest::expectOneBox(answerer, QStringLiteral("Prompt"), QStringLiteral("OpenFileFailed"), 2);
    QTRY_COMPARE(lstEnabled, QList<bool>{true});
    QTRY_COMPARE(media()["Talks"].toInt(), 0);

    // Ten seconds of sound: Micro ends the test after a few frames, then listens.
    baFile = writeSound(80000);
    media(true);
    answerer.clear();
    guitest::click(*pWindow, "btnVolume");
    QTRY_VERIFY(!pVolume->isEnabled() && media()["HeardFrames"].toInt() >= 3);
    mpTestSetPcmObserver(onDecoded, nullptr);
    guitest::click(*pWindow, "btnMicro");
    if (bDevice)
        QTRY_COMPARE(pMicro->text(), QStringLiteral("StopMicro"));
    else
        QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|OpenTalkFiled")});
    QVERIFY(pVolume->isEnabled());
    const int nHeard = media()["HeardFrames"].toInt();
    QVERIFY2(nHeard < 100, qPrintable(QString::number(nHeard)));
    QCOMPARE(QByteArray::fromBase64(media()["Heard"].toString().toLatin1()), framesOf(baFile).left(nHeard * 168));
    if (bDevice) {
        // The camera's tone, decoded at its frequency and level (0.3 of full scale), and played.
        QTRY_VERIFY_WITH_TIMEOUT(decoded().size() >= std::size_t(kRate), 5000);
        QCOMPARE(media()["Talks"].toInt(), 1);
        const std::vector<short> heard = recordMonitor();
        std::vector<short> tone = decoded();
        tone.resize(kRate);
        double dRms = 0;
        QCOMPARE(peakFrequency(tone, &dRms), kToneHz);
        QVERIFY2(std::abs(dRms - 0.3 * 32767 / std::sqrt(2.0)) < 300, qPrintable(QString::number(dRms)));
        if (!heard.empty()) {
            const double dPlayed = peakFrequency(heard, &dRms);
            QVERIFY2(std::abs(dPlayed - kToneHz) <= 20, qPrintable(QString::number(dPlayed)));
            QVERIFY2(dRms > 1000, qPrintable(QString::number(dRms))); // the tone, not a stalled output's silence
        }
        guitest::click(*pWindow, "btnMicro");
        QTRY_COMPARE(pMicro->text(), QStringLiteral("StartMicro"));
        QCOMPARE(mpTestSoundState(499), 0);
    }
    mpTestSetPcmObserver(nullptr, nullptr);
    QTRY_COMPARE(media()["Talks"].toInt(), 0);

    // A silent camera: the press returns at once; the refusal comes after the library's wait time.
    QVERIFY(emulator.setFault(0, QJsonObject{{"Silent", true}}));
    answerer.clear();
    QElapsedTimer clock;
    clock.start();
    guitest::click(*pWindow, "btnMicro");
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(answerer.lstSeen, QStringList{QStringLiteral("Prompt|StartVoiceComError")}, 10000);
    QCOMPARE(pMicro->text(), QStringLiteral("StartMicro"));
    pWindow.reset();
    QVERIFY(guitest::stopEmulator(emulator));
    if (!bDevice)
        QSKIP("no audio output (no sound server): the tone was not played");
}

QTEST_MAIN(TestGuiVoice)
#include "tst_gui_voice.moc"
