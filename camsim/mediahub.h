#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QObject>

#include <json/json.h>

#include "media.h"
#include "stream.h"
#include "voice.h"

class QTcpSocket;
class QTimer;

namespace camsim {

class Camera;

/// The emulator's media connections, once claimed: live streams (each with its encoder thread,
/// whose frames this object writes on the event loop's thread) and voice talks (the camera's
/// tone out every 20 ms, the client's audio kept as what the camera's speaker heard).
class MediaHub : public QObject
{
    Q_OBJECT

public:
    using CameraAt = std::function<Camera&(int index)>;

    MediaHub(CameraAt camera, QObject* parent = nullptr);
    /// Ends every connection and joins every encoder thread.
    ~MediaHub() override;

    /// Takes over a connection whose claim was accepted; its unread bytes belong to the media.
    void adopt(int camera, QTcpSocket* socket, const MediaGrant& grant);
    /// Ends every media connection of a camera: reset (a camera that dies) or closed in order.
    void dropCamera(int camera, bool reset);
    void stopAll();

    /// The "media" control command for camera `index`: open streams and talks, streams served,
    /// and what the speaker heard (base64); "Clear": true forgets what it heard.
    Json::Value control(int index, const Json::Value& request);

private:
    struct Link;

    void onReady(std::uint64_t id);
    void flushVideo(Link& link);
    void sendTone(Link& link);
    void readLink(std::uint64_t id);
    /// Closes the link: reset, or in order after what was written has left.
    void endLink(std::uint64_t id, bool reset);
    void reap();

    CameraAt camera_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::unique_ptr<Link>> links_;
    /// Encoders of ended streams, joined once their threads have finished.
    std::vector<std::unique_ptr<VideoSource>> retiring_;
};

} // namespace camsim
