// Live streams and voice talks (docs/protocol.md, "Media"; docs/netsdk.md): each runs on a media
// connection of its own (an ONVIF camera's stream: its RTSP connection), read by a library thread.
// A stream's thread decodes and draws; a talk's thread hands the device's audio to the callback.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include <protocol/media.h>
#include <protocol/messages.h>

#include "deadline.h"
#include "library_state.h"
#include "media_connection.h"
#include "onvif_client.h"
#include "rtsp_reader.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"
#include "session.h"
#include "video_pipeline.h"

using namespace netsdk;

namespace {

// A device that sends nothing for this long (and longer than the library's wait time) is lost.
constexpr int kMinSilenceMs = 10000;
// How often a talk's thread looks whether it was stopped.
constexpr int kPollMs = 50;
// After the stop request a talk waits this long for the device to close, so that every frame
// sent before the stop reaches it; a stream is shut at once.
constexpr int kTalkDrainMs = 1000;
constexpr int kStopSendMs = 20;
// The callback's data kind: audio from the device.
constexpr char kAudioFromDevice = 1;

struct Stream
{
    long handle = 0;
    void* window = nullptr;
    std::atomic<bool> stop{false};
    // Where the access units come from: our media connection, or an ONVIF camera's RTSP server.
    std::unique_ptr<MediaConnection> connection;
    std::unique_ptr<RtspReader> rtsp;
    VideoPipeline pipeline;
    std::thread thread;

    // Only reached once the thread's function has returned (it holds the stream until then), also
    // when nobody stopped the stream before the process ends.
    ~Stream()
    {
        if (thread.joinable())
            thread.detach();
    }
};

struct Talk
{
    long handle = 0;
    std::unique_ptr<MediaConnection> connection;
    fVoiceDataCallBack callback = nullptr;
    void* user = nullptr;
    // Held around every callback; stop takes it, so no callback runs after stop returns. A
    // callback that stops its own talk takes it again on the same thread.
    std::recursive_mutex callbackMutex;
    bool closed = false;
    std::atomic<bool> stopping{false};
    std::atomic<std::int64_t> drainUntilMs{0};
    std::thread thread;

    ~Talk()
    {
        if (thread.joinable())
            thread.detach();
    }
};

std::mutex g_mutex; // guards g_streams and g_talks
std::map<long, std::shared_ptr<Stream>> g_streams;
std::map<long, std::shared_ptr<Talk>> g_talks;
// Stream and talk handles: above 0, never reused within the process.
std::atomic<long> g_nextHandle{1};

std::shared_mutex g_observerMutex;
fTestFrameObserver g_observer = nullptr;
void* g_observerUser = nullptr;

int silenceMs()
{
    return std::max(options().waitMs, kMinSilenceMs);
}

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void observe(const SDK_TEST_FRAME_INFO& info)
{
    std::shared_lock<std::shared_mutex> lock(g_observerMutex);
    if (g_observer)
        g_observer(&info, g_observerUser);
}

int codeOf(MediaConnection::Status st)
{
    switch (st) {
    case MediaConnection::Status::Timeout:
        return SDK_ERR_TIMEOUT;
    case MediaConnection::Status::Bad:
        return SDK_ERR_PROTOCOL;
    default:
        return SDK_ERR_SOCKET;
    }
}

void ended(const Stream& s, long code)
{
    SDK_TEST_FRAME_INFO end{};
    end.lRealHandle = s.handle;
    end.bEnded = 1;
    end.lEndCode = code;
    observe(end);
}

/// The picture of one access unit, drawn and reported as every stream's.
void show(Stream& s, const protocol::VideoFrameInfo& info, const std::uint8_t* data, std::size_t size)
{
    s.pipeline.handle(info, data, size, [&](const SDK_TEST_FRAME_INFO& frame) {
        SDK_TEST_FRAME_INFO mine = frame;
        mine.lRealHandle = s.handle;
        if (!s.stop.load())
            observe(mine);
    });
}

/// An RTSP stream: RTP carries no frame number nor, until the server's first report, a capture
/// time; frames are numbered from 0 and timed when they arrive.
void runRtsp(Stream& s)
{
    s.pipeline.setExtradata(s.rtsp->extradata());
    s.pipeline.setWindow(s.window);
    protocol::VideoFrameInfo info;
    info.codec = s.rtsp->codec();
    for (std::uint32_t number = 0;; ++number) {
        RtspReader::Unit unit;
        const int rc = s.rtsp->next(unit, silenceMs());
        if (s.stop.load())
            break;
        if (rc != SDK_OK) {
            ended(s, rc);
            break;
        }
        info.keyFrame = unit.keyFrame;
        info.number = number;
        info.timestampMs = std::uint64_t(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
        show(s, info, unit.data, unit.size);
    }
    s.rtsp->close();
}

void runStream(Stream& s)
{
    if (s.rtsp) {
        runRtsp(s);
        return;
    }
    s.pipeline.setWindow(s.window);
    for (;;) {
        protocol::MediaFrame frame;
        const MediaConnection::Status st = s.connection->next(frame, Deadline(silenceMs()));
        if (s.stop.load())
            return;
        if (st != MediaConnection::Status::Ok || frame.header.messageId == protocol::MsgMediaStop) {
            // The device went away (or ended the stream): report it; the handle stays until stopped.
            s.connection->shut();
            ended(s, st == MediaConnection::Status::Ok ? SDK_ERR_SOCKET : codeOf(st));
            return;
        }
        if (frame.header.messageId == protocol::MsgVideoFrame)
            show(s, frame.video, frame.payload, frame.payloadSize);
    }
}

void runTalk(Talk& t)
{
    std::int64_t lastData = steadyMs();
    for (;;) {
        protocol::MediaFrame frame;
        const MediaConnection::Status st = t.connection->next(frame, Deadline(kPollMs));
        const std::int64_t now = steadyMs();
        if (st == MediaConnection::Status::Timeout) {
            if (t.stopping.load() ? now >= t.drainUntilMs.load() : now - lastData >= silenceMs())
                break;
            continue;
        }
        if (st != MediaConnection::Status::Ok || frame.header.messageId == protocol::MsgMediaStop)
            break;
        lastData = now;
        if (frame.header.messageId != protocol::MsgAudioFrame)
            continue;
        std::lock_guard<std::recursive_mutex> lock(t.callbackMutex);
        if (!t.closed && t.callback)
            t.callback(t.handle, reinterpret_cast<char*>(const_cast<std::uint8_t*>(frame.payload)),
                       static_cast<long>(frame.payloadSize), kAudioFromDevice, t.user);
    }
    t.connection->shut();
}

/// Joins a thread, or lets it end on its own when the call comes from that thread (a callback).
void joinOrDetach(std::thread& thread)
{
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

void finishStream(const std::shared_ptr<Stream>& s, void* window)
{
    s->stop.store(true);
    // The device is told, but not waited for: a stop must be prompt. An RTSP stream's reads end at
    // once on the stop flag, and its thread tells the server.
    if (s->connection) {
        s->connection->stop(Deadline(kStopSendMs));
        s->connection->shut();
    }
    joinOrDetach(s->thread);
    if (window) {
        // The window keeps no picture of a stopped stream.
        if (window == s->window)
            s->pipeline.clear();
        else if (std::unique_ptr<DrawTarget> other = openDrawTarget(window))
            other->clear();
    }
}

void finishTalk(const std::shared_ptr<Talk>& t)
{
    {
        std::lock_guard<std::recursive_mutex> lock(t->callbackMutex);
        t->closed = true;
    }
    // Everything sent before the stop reaches the device: the stop follows it, and the device's
    // close is awaited (briefly) before the connection goes.
    t->drainUntilMs.store(steadyMs() + kTalkDrainMs);
    t->stopping.store(true);
    t->connection->stop(Deadline(options().waitMs));
    if (t->thread.joinable() && t->thread.get_id() == std::this_thread::get_id()) {
        t->connection->shut();
        t->thread.detach();
        return;
    }
    joinOrDetach(t->thread);
}

template <class T> std::shared_ptr<T> take(std::map<long, std::shared_ptr<T>>& table, long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = table.find(handle);
    if (it == table.end())
        return nullptr;
    std::shared_ptr<T> found = std::move(it->second);
    table.erase(it);
    return found;
}

} // namespace

namespace netsdk {

void stopAllMedia()
{
    std::map<long, std::shared_ptr<Stream>> streams;
    std::map<long, std::shared_ptr<Talk>> talks;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        streams.swap(g_streams);
        talks.swap(g_talks);
    }
    for (auto& [handle, s] : streams)
        finishStream(s, nullptr);
    for (auto& [handle, t] : talks)
        finishTalk(t);
}

} // namespace netsdk

long sdkStartRealPlay(long lLoginID, SDK_CLIENTINFO* lpClientInfo)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    if (!lpClientInfo)
        return failZero(SDK_ERR_ILLEGAL_PARAM);
    auto s = std::make_shared<Stream>();
    if (const std::shared_ptr<onvif::Device> device = findOnvifSession(lLoginID)) {
        // An ONVIF camera: its profile's RTSP stream, decoded and drawn like ours.
        const Deadline deadline(options().waitMs);
        std::string uri;
        int rc = onvif::streamAddress(*device, lpClientInfo->nChannel, lpClientInfo->nStream, uri, deadline);
        s->rtsp = std::make_unique<RtspReader>(s->stop);
        if (rc == SDK_OK)
            rc = s->rtsp->open(uri, device->user(), device->password(), deadline);
        if (rc != SDK_OK)
            return failZero(rc);
    } else {
        const std::shared_ptr<Session> session = findSession(lLoginID);
        if (!session)
            return failZero(SDK_ERR_INVALID_HANDLE);
        Json::Value answer;
        const int rc = MediaConnection::open(*session, "Video", lpClientInfo->nChannel, lpClientInfo->nStream,
                                             Deadline(options().waitMs), s->connection, answer);
        if (rc != SDK_OK)
            return failZero(rc);
    }
    s->window = lpClientInfo->hWnd;
    s->handle = g_nextHandle.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_streams.emplace(s->handle, s);
    }
    // The thread keeps its stream alive: a stop from inside the observer lets it end on its own.
    s->thread = std::thread([s] { runStream(*s); });
    return s->handle;
}

long sdkStopRealPlay(long lRealHandle, void* hWnd)
{
    const std::shared_ptr<Stream> s = take(g_streams, lRealHandle);
    if (!s)
        return failZero(isInitialised() ? SDK_ERR_INVALID_HANDLE : SDK_ERR_NOT_INIT);
    finishStream(s, hWnd);
    return 1;
}

long sdkRealPlayReset(long lRealHandle, int nReserved1, int nReserved2)
{
    std::shared_ptr<Stream> s;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto it = g_streams.find(lRealHandle);
        if (it != g_streams.end())
            s = it->second;
    }
    if (!s)
        return failZero(isInitialised() ? SDK_ERR_INVALID_HANDLE : SDK_ERR_NOT_INIT);
    s->pipeline.clear();
    return 1;
}

long sdkStartVoiceCom(long lLoginID, fVoiceDataCallBack pVcb, void* pUser)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    // ONVIF's audio back channel is no part of the profiles this library speaks.
    if (findOnvifSession(lLoginID))
        return failZero(SDK_ERR_NOT_SUPPORTED);
    const std::shared_ptr<Session> session = findSession(lLoginID);
    if (!session)
        return failZero(SDK_ERR_INVALID_HANDLE);
    auto t = std::make_shared<Talk>();
    Json::Value answer;
    const int rc = MediaConnection::open(*session, "Voice", 0, 0, Deadline(options().waitMs), t->connection, answer);
    if (rc != SDK_OK)
        return failZero(rc);
    t->callback = pVcb;
    t->user = pUser;
    t->handle = g_nextHandle.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_talks.emplace(t->handle, t);
    }
    t->thread = std::thread([t] { runTalk(*t); });
    return t->handle;
}

int sdkSendVoiceData(long lVoiceHandle, char* pSendBuf, long lBufSize)
{
    if (!isInitialised())
        return static_cast<int>(failZero(SDK_ERR_NOT_INIT));
    if (!pSendBuf || lBufSize <= 0 || lBufSize > long(protocol::kMaxAudioFrameBody))
        return static_cast<int>(failZero(SDK_ERR_ILLEGAL_PARAM));
    std::shared_ptr<Talk> t;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto it = g_talks.find(lVoiceHandle);
        if (it != g_talks.end())
            t = it->second;
    }
    if (!t)
        return static_cast<int>(failZero(SDK_ERR_INVALID_HANDLE));
    const MediaConnection::Status st =
        t->connection->send(protocol::MsgAudioFrame, reinterpret_cast<const std::uint8_t*>(pSendBuf),
                            static_cast<std::size_t>(lBufSize), Deadline(options().waitMs));
    if (st != MediaConnection::Status::Ok)
        return static_cast<int>(failZero(codeOf(st)));
    return 1;
}

long sdkStopVoiceCom(long lVoiceHandle)
{
    const std::shared_ptr<Talk> t = take(g_talks, lVoiceHandle);
    if (!t)
        return failZero(isInitialised() ? SDK_ERR_INVALID_HANDLE : SDK_ERR_NOT_INIT);
    finishTalk(t);
    return 1;
}

void sdkTestSetFrameObserver(fTestFrameObserver observer, void* pUser)
{
    std::unique_lock<std::shared_mutex> lock(g_observerMutex);
    g_observer = observer;
    g_observerUser = pUser;
}
