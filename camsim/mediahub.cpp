#include "mediahub.h"

#include <algorithm>
#include <iostream>

#include <QByteArray>
#include <QTcpSocket>
#include <QTimer>

#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#endif

#include "camera.h"
#include "listeners.h"
#include "protocol/frame.h"
#include "protocol/media.h"
#include "protocol/messages.h"

namespace camsim {

namespace {

// A viewer that has this much unsent behind it loses frames until it catches up (from a key
// frame), so a slow client never makes the camera buffer without bound.
constexpr qint64 kMaxBacklog = 1 << 20;
constexpr int kToneIntervalMs = 20;
constexpr std::size_t kIdEnd = 16; // a frame's message id is known once this many bytes are in

} // namespace

struct MediaHub::Link
{
    int camera = 0;
    QTcpSocket* socket = nullptr;
    MediaGrant grant;
    std::unique_ptr<VideoSource> source; ///< Video
    bool waitKey = false;                ///< Video: frames were dropped; wait for a key frame
    QTimer* toneTimer = nullptr;         ///< Voice
    ToneSource tone;
    QElapsedTimer toneClock;
    std::int64_t toneSent = 0;
    std::vector<std::uint8_t> inbox;
};

MediaHub::MediaHub(CameraAt camera, QObject* parent) : QObject(parent), camera_(std::move(camera)) {}

MediaHub::~MediaHub()
{
    stopAll();
}

void MediaHub::adopt(int cameraIndex, QTcpSocket* socket, const MediaGrant& grant)
{
    Camera& camera = camera_(cameraIndex);
    const std::uint64_t id = nextId_++;
    auto link = std::make_unique<Link>();
    link->camera = cameraIndex;
    link->socket = socket;
    link->grant = grant;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // frames leave as soon as they exist
    if (grant.kind == MediaGrant::Kind::Video) {
        ++camera.media.streams;
        ++camera.media.streamsServed;
        link->source = std::make_unique<VideoSource>(grant.settings, camera.network().hostName,
                                                     dotted(camera.network().address), grant.sessionId, [this, id] {
                                                         QMetaObject::invokeMethod(
                                                             this, [this, id] { onReady(id); }, Qt::QueuedConnection);
                                                     });
        link->source->start();
    } else {
        ++camera.media.talks;
        link->toneTimer = new QTimer(socket);
        link->toneTimer->setTimerType(Qt::PreciseTimer);
        link->toneTimer->setInterval(kToneIntervalMs);
        link->toneClock.start();
        Link* raw = link.get();
        connect(link->toneTimer, &QTimer::timeout, this, [this, raw] { sendTone(*raw); });
        link->toneTimer->start();
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { readLink(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] { endLink(id, false); });
    Link* raw = link.get();
    links_[id] = std::move(link);
    if (raw->toneTimer)
        sendTone(*raw);
    if (socket->bytesAvailable() > 0)
        readLink(id);
}

void MediaHub::onReady(std::uint64_t id)
{
    reap();
    const auto it = links_.find(id);
    if (it == links_.end())
        return;
    Link& link = *it->second;
    flushVideo(link);
    if (link.source && link.source->finished()) {
        std::cerr << "camsim: camera " << link.camera << " stream ended: " << link.source->error() << "\n";
        endLink(id, false);
    }
}

void MediaHub::flushVideo(Link& link)
{
    for (VideoSource::Frame& f : link.source->take()) {
        if (link.waitKey && !f.keyFrame)
            continue;
        if (link.socket->bytesToWrite() > kMaxBacklog) {
            link.waitKey = true;
            link.source->forceKeyFrame();
            continue;
        }
        link.waitKey = false;
        link.socket->write(reinterpret_cast<const char*>(f.bytes.data()), qint64(f.bytes.size()));
    }
    link.socket->flush();
}

void MediaHub::sendTone(Link& link)
{
    // As many frames as 20 ms steps have passed, so a late timer does not slow the audio down.
    const std::int64_t due = link.toneClock.elapsed() / kToneIntervalMs + 1;
    protocol::FrameHeader header;
    header.sessionId = link.grant.sessionId;
    header.messageId = protocol::MsgAudioFrame;
    for (; link.toneSent < due; ++link.toneSent) {
        const std::vector<std::uint8_t> frame = protocol::encodeFrame(header, link.tone.nextFrame());
        link.socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    }
    link.socket->flush();
}

void MediaHub::readLink(std::uint64_t id)
{
    const auto it = links_.find(id);
    if (it == links_.end())
        return;
    Link& link = *it->second;
    const QByteArray data = link.socket->readAll();
    link.inbox.insert(link.inbox.end(), data.begin(), data.end());
    std::size_t pos = 0;
    for (;;) {
        const std::uint8_t* at = link.inbox.data() + pos;
        const std::size_t left = link.inbox.size() - pos;
        // Only a client's messages, audio only on a talk: refused before their bodies arrive.
        bool wrong = false;
        if (left >= kIdEnd) {
            const std::uint16_t messageId = static_cast<std::uint16_t>(at[14] | (at[15] << 8));
            wrong = messageId != protocol::MsgMediaStop &&
                    (messageId != protocol::MsgAudioFrame || link.grant.kind != MediaGrant::Kind::Voice);
        }
        const protocol::MediaFrame m = wrong ? protocol::MediaFrame{} : protocol::parseMediaFrame(at, left);
        if (wrong || m.status == protocol::ParseStatus::Bad) {
            ++camera_(link.camera).badFrames;
            endLink(id, true);
            return;
        }
        if (m.status == protocol::ParseStatus::Incomplete)
            break;
        if (m.header.messageId == protocol::MsgMediaStop) {
            endLink(id, false);
            return;
        }
        camera_(link.camera).media.hear(m.payload, m.payloadSize);
        pos += m.used;
    }
    link.inbox.erase(link.inbox.begin(), link.inbox.begin() + static_cast<std::ptrdiff_t>(pos));
}

void MediaHub::endLink(std::uint64_t id, bool reset)
{
    const auto it = links_.find(id);
    if (it == links_.end())
        return;
    std::unique_ptr<Link> link = std::move(it->second);
    links_.erase(it);
    Camera& camera = camera_(link->camera);
    if (link->source) {
        --camera.media.streams;
        link->source->requestStop(); // joined once finished: never wait for an encoder here
        retiring_.push_back(std::move(link->source));
    } else {
        --camera.media.talks;
        link->toneTimer->stop();
        link->toneTimer->disconnect(this);
    }
    QTcpSocket* socket = link->socket;
    socket->disconnect(this);
    if (reset) {
        abortWithReset(socket);
        socket->deleteLater();
        return;
    }
    // What was written still leaves before the close.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void MediaHub::reap()
{
    retiring_.erase(std::remove_if(retiring_.begin(), retiring_.end(),
                                   [](const std::unique_ptr<VideoSource>& s) { return s->finished(); }),
                    retiring_.end());
}

void MediaHub::dropCamera(int camera, bool reset)
{
    std::vector<std::uint64_t> ids;
    for (const auto& [id, link] : links_)
        if (link->camera == camera)
            ids.push_back(id);
    for (std::uint64_t id : ids)
        endLink(id, reset);
}

void MediaHub::stopAll()
{
    std::vector<std::uint64_t> ids;
    for (const auto& [id, link] : links_)
        ids.push_back(id);
    for (std::uint64_t id : ids)
        endLink(id, true);
    retiring_.clear(); // joins
}

Json::Value MediaHub::control(int index, const Json::Value& request)
{
    MediaState& media = camera_(index).media;
    const Json::Value* clear = request.find("Clear", "Clear" + 5);
    if (clear && clear->isBool() && clear->asBool())
        media.clearHeard();
    Json::Value answer(Json::objectValue);
    answer["Ret"] = 100;
    answer["Streams"] = media.streams;
    answer["Talks"] = media.talks;
    answer["StreamsServed"] = media.streamsServed;
    answer["HeardFrames"] = media.heardFrames();
    const std::vector<std::uint8_t>& heard = media.heard();
    answer["Heard"] =
        QByteArray(reinterpret_cast<const char*>(heard.data()), qsizetype(heard.size())).toBase64().toStdString();
    answer["ToneHz"] = ToneSource::kFrequencyHz;
    return answer;
}

} // namespace camsim
