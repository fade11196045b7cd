#include "audio_output.h"

#include <map>
#include <memory>
#include <mutex>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include "mediaplay/mediaplay.h"
#include "ports.h"

namespace mediaplay {

namespace {

constexpr int kSampleRate = 8000;
// The output's own buffer: 100 ms, so what a camera says is heard soon after it arrives.
constexpr int kSinkBufferBytes = kSampleRate * 2 / 10;

/// What a port's output pulls: the port's decoded audio, silence while there is none, so that a
/// live stream's output never stops and starts again.
class PortSource : public QIODevice
{
public:
    explicit PortSource(int port) : port_(port) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return kSinkBufferBytes + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 samples = maxSize / 2;
        takeSamples(port_, reinterpret_cast<std::int16_t*>(data), std::size_t(samples));
        return samples * 2;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int port_;
};

/// Lives on the audio thread: every sink is made, run and ended there.
class Outputs : public QObject
{
public:
    int start(int port)
    {
        if (sinks_.count(port))
            return MP_OK;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(kSampleRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (device.isNull() || !device.isFormatSupported(format))
            return MP_ERR_NO_OUTPUT;
        auto sink = std::make_unique<QAudioSink>(device, format);
        auto source = std::make_unique<PortSource>(port);
        sink->setBufferSize(kSinkBufferBytes);
        sink->start(source.get());
        if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState)
            return MP_ERR_NO_OUTPUT;
        sinks_[port] = Entry{std::move(source), std::move(sink)};
        return MP_OK;
    }

    void stop(int port)
    {
        const auto it = sinks_.find(port);
        if (it == sinks_.end())
            return;
        it->second.sink->stop();
        sinks_.erase(it);
    }

    void stopAll()
    {
        for (auto& entry : sinks_)
            entry.second.sink->stop();
        sinks_.clear();
    }

    bool isOn(int port) const { return sinks_.count(port) != 0; }

private:
    struct Entry
    {
        std::unique_ptr<PortSource> source; // outlives its sink (declared first, destroyed last)
        std::unique_ptr<QAudioSink> sink;
    };
    std::map<int, Entry> sinks_;
};

std::mutex g_mutex; // guards g_thread and g_outputs
QThread* g_thread = nullptr;
Outputs* g_outputs = nullptr;

/// Runs `work` on the audio thread and waits for it.
template <class F> void onAudioThread(F work)
{
    QMetaObject::invokeMethod(g_outputs, work, Qt::BlockingQueuedConnection);
}

/// At the application's end (its destructor runs the post routines): outputs end on their
/// thread, then the thread ends, while Qt is still there.
void shutDown()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_thread)
        return;
    onAudioThread([] { g_outputs->stopAll(); });
    g_thread->quit();
    g_thread->wait();
    delete g_outputs; // its thread has ended: nothing of it runs any more
    g_outputs = nullptr;
    delete g_thread;
    g_thread = nullptr;
}

/// Starts the audio thread once an application exists; false when there is none.
bool ensureThread()
{
    if (g_thread)
        return true;
    if (!QCoreApplication::instance())
        return false;
    g_thread = new QThread;
    g_thread->setObjectName(QStringLiteral("mediaplay audio"));
    g_outputs = new Outputs;
    g_outputs->moveToThread(g_thread);
    g_thread->start();
    qAddPostRoutine(shutDown);
    return true;
}

} // namespace

int soundOn(int port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!ensureThread())
        return MP_ERR_NO_APPLICATION;
    int result = MP_ERR_NO_OUTPUT;
    onAudioThread([&] { result = g_outputs->start(port); });
    return result;
}

void soundOff(int port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_outputs)
        onAudioThread([&] { g_outputs->stop(port); });
}

bool soundIsOn(int port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    bool on = false;
    if (g_outputs)
        onAudioThread([&] { on = g_outputs->isOn(port); });
    return on;
}

} // namespace mediaplay
