#include "CVoiceTalk.h"

#include <chrono>
#include <cstring>
#include <thread>

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include "app/LogCategories.h"
#include "mediaplay/mediaplay.h"
#include "netsdk/netsdk.h"

namespace {

constexpr int kHeaderSize = 8;
constexpr int kPayloadSize = 160;
constexpr auto kFramePace = std::chrono::milliseconds(20); // 160 bytes each: 8000 bytes a second
// The playback stream's header (one zero byte) and buffer pool.
constexpr unsigned char kStreamHeader[1] = {0};
constexpr unsigned long kBufferPool = 2560000;
// G.711 A-law silence: fills the rest of the file's last frame.
constexpr char kAlawSilence = char(0xD5);
// The texts below are the main window's (it shows them): translated in its context.

} // namespace

CVoiceTalk::CVoiceTalk(const QString& strSoundFile, QObject* parent) : QObject(parent), strSoundFile(strSoundFile) {}

CVoiceTalk::~CVoiceTalk()
{
    bStopSender.store(true);
    nVolumeRunning.store(0);
    senderRunning();
    if (pSenderThread) {
        pSenderThread->wait();
        delete pSenderThread;
    }
    stopTalk(-1);
}

long CVoiceTalk::talkHandle() const
{
    QMutexLocker locker(&mtxTalk);
    return lTalkHandle;
}

bool CVoiceTalk::senderRunning()
{
    if (!pSenderThread)
        return false;
    if (!pSenderThread->isFinished())
        return true;
    // A sender that ended (also early: no file, or no talk at its start) is released here, so the
    // next volume test always gets a sender of its own.
    pSenderThread->wait();
    delete pSenderThread;
    pSenderThread = nullptr;
    return false;
}

bool CVoiceTalk::startTalk(int nMode)
{
    if (talkHandle() > 0) {
        stopTalk(nMode);
        return false;
    }
    if (nMode == kModeRecvOnly) {
        if (mpSoundOn(kRecvOnlyPort)) {
            QMutexLocker locker(&mtxTalk);
            lTalkHandle = 1;
            nTalkMode = kModeRecvOnly;
            return true;
        }
        mpSoundOff(kRecvOnlyPort);
        emit showMessageSignal(QCoreApplication::translate("CVantrel", "OpenSoundShareFiled"));
        return false;
    }
    const long lLoginID = lTalkLoginID.load();
    if (lLoginID <= 0)
        return false;
    if (nMode == kModeMicro) {
        const long lHandle = sdkStartVoiceCom(lLoginID, &CVoiceTalk::talkDataCallback, this);
        {
            QMutexLocker locker(&mtxTalk);
            lTalkHandle = lHandle;
            nTalkMode = kModeMicro;
        }
        if (lHandle < 1) {
            qCDebug(lcMedia) << "sdkStartVoiceCom talkID" << lHandle << "  loginID" << lLoginID << "  lastError"
                             << sdkGetLastError();
            emit showMessageSignal(QCoreApplication::translate("CVantrel", "StartVoiceComError"));
            return false;
        }
        if (!openAudioPort(kMicroPort)) {
            emit showMessageSignal(QCoreApplication::translate("CVantrel", "OpenTalkFiled"));
            sdkStopVoiceCom(lHandle);
            QMutexLocker locker(&mtxTalk);
            lTalkHandle = -1;
            return false;
        }
        return true;
    }
    const long lHandle = sdkStartVoiceCom(lLoginID, &CVoiceTalk::ignoreDataCallback, nullptr);
    {
        QMutexLocker locker(&mtxTalk);
        lTalkHandle = lHandle;
        nTalkMode = kModeVolume;
    }
    if (lHandle < 1) {
        emit showMessageSignal(QCoreApplication::translate("CVantrel", "StartVoiceComError"));
        return false;
    }
    if (!senderRunning()) {
        bStopSender.store(false);
        pSenderThread = QThread::create([this] { playSoundFile(); });
        pSenderThread->setObjectName(QStringLiteral("volume test"));
        pSenderThread->start();
    }
    return true;
}

bool CVoiceTalk::stopTalk(int)
{
    QMutexLocker locker(&mtxTalk);
    if (nTalkMode == kModeRecvOnly && lTalkHandle > 0) {
        // Receive-only mode holds no talk: its handle 1 is a placeholder that may well be another
        // talk's. Stopping it switches off what it switched on, port 0's sound, and nothing else.
        mpSoundOff(kRecvOnlyPort);
        lTalkHandle = 0;
        nTalkMode = -1;
        return true;
    }
    if (lTalkHandle > 0) {
        // The library's stop delivers every frame sent before it, so nothing is left to wait for.
        sdkStopVoiceCom(lTalkHandle);
        lTalkHandle = 0;
        nTalkMode = -1;
        mpStop(kMicroPort);
        mpSoundOff(kMicroPort);
        mpCloseStream(kMicroPort);
    }
    return true;
}

bool CVoiceTalk::openAudioPort(long nPort)
{
    if (!mpOpenStream(nPort, kStreamHeader, sizeof kStreamHeader, kBufferPool))
        return false;
    if (!mpPlay(nPort, nullptr)) {
        mpCloseStream(nPort);
        return false;
    }
    if (!mpSoundOn(nPort)) {
        mpStop(nPort);
        mpCloseStream(nPort);
        return false;
    }
    return true;
}

bool CVoiceTalk::sendAudio(long lTalkID, char* pFrame, int nPayloadLen)
{
    return sdkSendVoiceData(lTalkID, pFrame, nPayloadLen + kHeaderSize) > 0;
}

void CVoiceTalk::startVolumeTest(long lLoginID)
{
    if (nMicroOn.load() == 1) {
        nMicroOn.store(0);
        emit updateBtnState(1, 0);
        stopTalk(kModeMicro);
    }
    setTalkLoginID(lLoginID);
    if (!startTalk(kModeVolume)) {
        nVolumeRunning.store(0);
        emit updateBtnState(0, 0);
    }
}

void CVoiceTalk::switchMicro(long lLoginID, bool bOnlyRecv)
{
    // A sender that has not yet raised the running flag is a running test all the same.
    if (nVolumeRunning.load() == 1 || senderRunning()) {
        emit updateBtnState(0, 0);
        stopVolumeTest();
    }
    setTalkLoginID(lLoginID);
    const bool bOn = startTalk(bOnlyRecv ? kModeRecvOnly : kModeMicro);
    nMicroOn.store(bOn ? 1 : 0);
    emit updateBtnState(1, bOn ? 1 : 0);
}

void CVoiceTalk::stopVolumeTest()
{
    // Set here, not through a queued signal: the sender sees it at its next frame even while this
    // thread waits for it.
    bStopSender.store(true);
    nVolumeRunning.store(0);
    if (pSenderThread) {
        pSenderThread->wait();
        delete pSenderThread;
        pSenderThread = nullptr;
    }
    stopTalk(kModeVolume);
}

void CVoiceTalk::playSoundFile()
{
    QFile file(strSoundFile);
    if (!file.open(QIODevice::ReadOnly)) {
        emit showMessageSignal(QCoreApplication::translate("CVantrel", "OpenFileFailed"));
    } else if (talkHandle() > 0) {
        char frame[kHeaderSize + kPayloadSize] = {0x00, 0x00, 0x01, char(0xFA), 0x0E, 0x02, char(0xA0), 0x00};
        file.seek(0);
        nSendMode.store(1);
        emit updateBtnState(0, 1);
        nVolumeRunning.store(1);
        auto due = std::chrono::steady_clock::now();
        for (;;) {
            const long lHandle = talkHandle();
            if (lHandle == 0 || nVolumeRunning.load() == 0 || bStopSender.load())
                break;
            const qint64 nRead = file.read(frame + kHeaderSize, kPayloadSize);
            if (nRead >= 1) {
                // The file's last bytes fill a frame with silence, not with the frame before.
                if (nRead < kPayloadSize)
                    std::memset(frame + kHeaderSize + nRead, kAlawSilence, std::size_t(kPayloadSize - nRead));
                if (!sendAudio(lHandle, frame, kPayloadSize)) {
                    qCDebug(lcMedia) << "sendAudio failed, lastError" << sdkGetLastError();
                    break;
                }
            }
            if (nRead < kPayloadSize) {
                file.seek(0);
                break;
            }
            due += kFramePace;
            std::this_thread::sleep_until(due);
        }
        nVolumeRunning.store(0);
        emit updateBtnState(0, 0);
        file.close();
    }
    nVolumeRunning.store(0);
    emit updateBtnState(0, 0);
    stopTalk(kModeVolume);
}

void CVoiceTalk::talkDataCallback(long, char* pDataBuf, long dwBufSize, char, void*)
{
    // On the library's thread, straight into the playback port.
    mpInputData(kMicroPort, reinterpret_cast<const unsigned char*>(pDataBuf), static_cast<unsigned long>(dwBufSize));
}

void CVoiceTalk::ignoreDataCallback(long, char*, long, char, void*) {}
