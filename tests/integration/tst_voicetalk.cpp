// The program's voice talk against the emulator: the volume test's frames as the camera receives
// them, the button states it reports, a missing file, a second test after the first, a test cut
// short by the microphone, the microphone's playback port and receive-only mode.

#include <mutex>
#include <vector>

#include <QAudioDevice>
#include <QJsonObject>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "emulatorprocess.h"
#include "media/CVoiceTalk.h"
#include "mediaplay/mediaplay.h"
#include "mediaplay/mediaplay_test.h"
#include "netsdk/netsdk.h"
#include "sdktesthelpers.h"

namespace {

std::mutex g_mutex;
std::size_t g_decoded = 0;

void onDecoded(long port, const short*, int count, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (port == CVoiceTalk::kMicroPort)
        g_decoded += std::size_t(count);
}

std::size_t decoded()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_decoded;
}

void ignore(long, char*, long, char, void*) {}

/// The frames the camera must receive for `file`: 160 bytes each behind the 8-byte header, the
/// last one filled up with A-law silence.
QByteArray framesOf(const QByteArray& file)
{
    const QByteArray header("\x00\x00\x01\xFA\x0E\x02\xA0\x00", 8);
    QByteArray out;
    for (int at = 0; at < file.size(); at += 160) {
        QByteArray payload = file.mid(at, 160);
        payload.append(QByteArray(160 - payload.size(), char(0xD5)));
        out += header + payload;
    }
    return out;
}

QByteArray fileOf(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 7 + 3);
    return b;
}

} // namespace

class TestVoiceTalk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void receiveOnlyTouchesNoOtherTalk();
    void volumeTestSendsTheFile();
    void missingFileAndMicrophoneCutsTheTestShort();
    void microphonePlaysTheCamera();

private:
    QJsonObject media() { return emulator_.control({{"Cmd", "media"}, {"Index", 0}}); }
    void writeSound(const QByteArray& bytes);
    EmulatorProcess emulator_;
    QTemporaryDir dir_;
    QString strSound_;
    long login_ = 0;
    bool device_ = false;
};

void TestVoiceTalk::initTestCase()
{
    sdkInit(nullptr, nullptr);
    QVERIFY2(emulator_.start({"--count", "1"}), qPrintable(emulator_.errorString()));
    QVERIFY(emulator_.configureLibrary());
    int error = 0;
    login_ = loginTo(emulator_.address(0), QString(), &error);
    QVERIFY(login_ > 0);
    strSound_ = dir_.filePath("Sound/sound.wav");
    QVERIFY(QDir().mkpath(dir_.filePath("Sound")));
    device_ = !QMediaDevices::defaultAudioOutput().isNull();
}

void TestVoiceTalk::cleanupTestCase()
{
    sdkCleanup();
    QVERIFY(emulator_.stop());
}

void TestVoiceTalk::writeSound(const QByteArray& bytes)
{
    QFile file(strSound_);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void TestVoiceTalk::receiveOnlyTouchesNoOtherTalk()
{
    // Another talk of this process holds handle 1, the number receive-only mode uses as its mark.
    const long other = sdkStartVoiceCom(login_, ignore, nullptr);
    QCOMPARE(other, 1L);
    CVoiceTalk talk(strSound_);
    QSignalSpy messages(&talk, &CVoiceTalk::showMessageSignal);
    QCOMPARE(talk.startTalk(CVoiceTalk::kModeRecvOnly), device_);
    QCOMPARE(mpTestSoundState(CVoiceTalk::kRecvOnlyPort), device_ ? 1 : 0);
    if (!device_)
        QCOMPARE(messages.value(0).value(0).toString(), QStringLiteral("OpenSoundShareFiled"));
    // A second press stops it: port 0's sound goes off, the other talk stays open.
    QCOMPARE(talk.startTalk(CVoiceTalk::kModeRecvOnly), false);
    QCOMPARE(mpTestSoundState(CVoiceTalk::kRecvOnlyPort), 0);
    char frame[168] = {0x00, 0x00, 0x01, char(0xFA), 0x0E, 0x02, char(0xA0), 0x00};
    QCOMPARE(sdkSendVoiceData(other, frame, sizeof frame), 1);
    QCOMPARE(sdkStopVoiceCom(other), 1L);
}

void TestVoiceTalk::volumeTestSendsTheFile()
{
    // 400 bytes: three frames, the last with 80 bytes of the file. Twice: a finished test leaves
    // nothing behind that keeps the next one from starting.
    const QByteArray file = fileOf(400);
    writeSound(file);
    CVoiceTalk talk(strSound_);
    talk.setTalkLoginID(login_);
    for (int run = 1; run <= 2; ++run) {
        QVERIFY(media()["Ret"].toInt() == 100);
        emulator_.control({{"Cmd", "media"}, {"Index", 0}, {"Clear", true}});
        QSignalSpy states(&talk, &CVoiceTalk::updateBtnState);
        QVERIFY(talk.startTalk(CVoiceTalk::kModeVolume));
        QTRY_VERIFY(talk.talkHandle() == 0 && states.count() >= 3);
        QTRY_COMPARE(media()["Talks"].toInt(), 0);
        const QJsonObject m = media();
        QCOMPARE(m["HeardFrames"].toInt(), 3);
        QCOMPARE(QByteArray::fromBase64(m["Heard"].toString().toLatin1()), framesOf(file));
        // Disabled while it runs, enabled after.
        QCOMPARE(states.first(), (QList<QVariant>{0, 1}));
        QCOMPARE(states.last(), (QList<QVariant>{0, 0}));
        QCOMPARE(talk.volumeState(), 0); // the sender lowers its own mark
    }
}

void TestVoiceTalk::missingFileAndMicrophoneCutsTheTestShort()
{
    CVoiceTalk talk(dir_.filePath("no/such.wav"));
    talk.setTalkLoginID(login_);
    QSignalSpy messages(&talk, &CVoiceTalk::showMessageSignal);
    QSignalSpy states(&talk, &CVoiceTalk::updateBtnState);
    QVERIFY(talk.startTalk(CVoiceTalk::kModeVolume));
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(), QStringLiteral("OpenFileFailed"));
    QTRY_COMPARE(talk.talkHandle(), 0L);
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first(), (QList<QVariant>{0, 0}));
    QTRY_COMPARE(media()["Talks"].toInt(), 0);

    // Ten seconds of sound: the microphone's press ends the test after a few frames.
    writeSound(fileOf(80000));
    emulator_.control({{"Cmd", "media"}, {"Index", 0}, {"Clear", true}});
    CVoiceTalk longer(strSound_);
    longer.setTalkLoginID(login_);
    QSignalSpy longStates(&longer, &CVoiceTalk::updateBtnState);
    QVERIFY(longer.startTalk(CVoiceTalk::kModeVolume));
    QTRY_VERIFY(media()["HeardFrames"].toInt() >= 3);
    QElapsedTimer clock;
    clock.start();
    longer.stopVolumeTest();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(longer.talkHandle(), 0L);
    QCOMPARE(longStates.last(), (QList<QVariant>{0, 0}));
    QTRY_COMPARE(media()["Talks"].toInt(), 0);
    QVERIFY(media()["HeardFrames"].toInt() < 100);
}

void TestVoiceTalk::microphonePlaysTheCamera()
{
    mpTestSetPcmObserver(onDecoded, nullptr);
    CVoiceTalk talk(strSound_);
    talk.setTalkLoginID(login_);
    QSignalSpy messages(&talk, &CVoiceTalk::showMessageSignal);
    QCOMPARE(talk.startTalk(CVoiceTalk::kModeMicro), device_);
    if (device_) {
        QTRY_VERIFY(decoded() >= 1600); // the camera's tone decoded on port 499
        QCOMPARE(mpTestSoundState(CVoiceTalk::kMicroPort), 1);
        QCOMPARE(talk.startTalk(CVoiceTalk::kModeMicro), false); // the second press stops it
    } else {
        QCOMPARE(messages.value(0).value(0).toString(), QStringLiteral("OpenTalkFiled"));
    }
    mpTestSetPcmObserver(nullptr, nullptr);
    QCOMPARE(talk.talkHandle() > 0, false);
    QCOMPARE(mpTestSoundState(CVoiceTalk::kMicroPort), 0);
    QCOMPARE(mpInputData(CVoiceTalk::kMicroPort, reinterpret_cast<const unsigned char*>("x"), 1), 0); // closed
    QTRY_COMPARE(media()["Talks"].toInt(), 0);
}

QTEST_GUILESS_MAIN(TestVoiceTalk)
#include "tst_voicetalk.moc"
