#pragma once

#include <atomic>

#include <QMutex>
#include <QObject>
#include <QString>

class QThread;

/// The audio tests of one camera at a time, without widgets: the volume test streams the sound
/// file to the camera's speaker in voice frames on a sender thread at 20 ms a frame; the
/// microphone plays the camera's audio on the PC through playback port 499; receive-only mode
/// only switches on playback port 0's sound. Only one talk exists at a time. This object holds the
/// Volume and Micro buttons' states (volume test running, microphone on) and reports every change
/// through updateBtnState; messages go through showMessageSignal (both also from the sender thread).
///
/// Every call but the state getters must come from one thread, the owner's. startTalk, stopTalk and
/// the button steps call the device library and may wait for a device's answer (up to the library's
/// wait time): a window keeps this object on a worker thread of its own.
class CVoiceTalk : public QObject
{
    Q_OBJECT

public:
    enum
    {
        kModeVolume = 0,
        kModeMicro = 1,
        kModeRecvOnly = 2
    };
    static constexpr long kMicroPort = 499;
    static constexpr long kRecvOnlyPort = 0;

    /// strSoundFile: the volume test's file (the application folder's "Sound/sound.wav").
    explicit CVoiceTalk(const QString& strSoundFile, QObject* parent = nullptr);
    /// Ends a running volume test (waiting for its sender) and the talk.
    ~CVoiceTalk() override;

    /// The Volume button once its device lLoginID is logged in: the microphone stops first when it
    /// is on, then the volume test starts; a test that cannot start leaves the button enabled.
    void startVolumeTest(long lLoginID);
    /// The Micro button once its device lLoginID is logged in: a running volume test ends first,
    /// then listening (receive-only mode when bOnlyRecv) starts, or stops when it was on.
    void switchMicro(long lLoginID, bool bOnlyRecv);

    /// The device the next talk opens on.
    void setTalkLoginID(long lLoginID) { lTalkLoginID = lLoginID; }
    /// Opens a talk in nMode; false (after stopping it) when a talk is on already, or when it
    /// cannot start (the reason goes to showMessageSignal).
    bool startTalk(int nMode);
    /// Ends the talk that is on, whatever it is; always true.
    bool stopTalk(int nMode);
    /// Opens playback port nPort's stream, starts it and switches its sound on.
    bool openAudioPort(long nPort);
    /// Sends one frame: its 8-byte header and nPayloadLen bytes of audio.
    bool sendAudio(long lTalkID, char* pFrame, int nPayloadLen);
    /// Ends a running volume test: the sender leaves its loop at its next frame and is waited for,
    /// then the talk stops. Nothing happens when no test runs.
    void stopVolumeTest();

    /// The buttons' states as last reported through updateBtnState: type 0, 1 while a volume test
    /// runs; type 1, 1 while the microphone is on (1 at start, as if it were: the first volume test
    /// then stops a talk that is not there). Safe from any thread.
    int volumeState() const { return nVolumeRunning.load(); }
    int microState() const { return nMicroOn.load(); }
    long talkHandle() const;

signals:
    void updateBtnState(int nType, int nState);
    void showMessageSignal(QString strMsg);

private:
    void playSoundFile();
    /// Whether the sender thread still runs; a finished one is waited for and released.
    bool senderRunning();
    static void talkDataCallback(long lTalkHandle, char* pDataBuf, long dwBufSize, char byAudioFlag, void* pUser);
    static void ignoreDataCallback(long lTalkHandle, char* pDataBuf, long dwBufSize, char byAudioFlag, void* pUser);

    QString strSoundFile;
    mutable QMutex mtxTalk; // guards lTalkHandle and nTalkMode (the sender stops talks too)
    long lTalkHandle = -1;
    int nTalkMode = -1;
    std::atomic<long> lTalkLoginID{-1};
    std::atomic<int> nVolumeRunning{0};
    std::atomic<int> nMicroOn{1};
    std::atomic<int> nSendMode{0};
    // Set by stopVolumeTest, cleared before a sender starts: unlike the running flag, which the
    // sender itself raises, nothing can overwrite it while the sender is being stopped.
    std::atomic<bool> bStopSender{false};
    QThread* pSenderThread = nullptr; // only touched by the thread that owns this object
};
