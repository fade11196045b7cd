#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

#include <json/json.h>

#include "camera.h"
#include "discovery.h"
#include "options.h"
#include "session.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace camsim {

class ListenerSet;
class MediaHub;
class OnvifHttp;
class OnvifService;
class RtspService;

/// The network side of the emulator: every camera's listeners and connections, the shared
/// discovery socket, the control port, reboots and state files. One thread, driven by events.
class Fleet : public QObject
{
    Q_OBJECT

public:
    explicit Fleet(const FleetOptions& options, QObject* parent = nullptr);
    ~Fleet() override;

    /// Loads saved state, binds the discovery and control sockets and every camera that can hold
    /// its address. False with `error` when a shared socket cannot be bound.
    bool start(std::string& error);
    /// Closes every socket and writes the state files.
    void stop();

    /// "ready control=127.0.0.1:<port> discovery=<port> cameras=<n> addresses=<a0>,<a1>,..."
    std::string readyLine() const;

    quint16 controlPort() const;
    quint16 discoveryPort() const;
    /// The WS-Discovery port, 0 when no camera speaks ONVIF.
    quint16 onvifDiscoveryPort() const;
    int cameraCount() const { return static_cast<int>(cameras_.size()); }
    Camera& camera(int index) { return *cameras_[static_cast<std::size_t>(index)]; }
    bool isListening(int index) const;
    int badFrames() const;
    int badDatagrams() const { return discovery_->badDatagrams(); }
    /// Answers waiting to leave the discovery port; never more than max(1024, twice the fleet).
    std::size_t queuedDatagrams() const { return outbox_.size(); }

    /// Evaluates one control command ({"Cmd": ...}); the answer carries "Ret".
    Json::Value control(const Json::Value& request);

    void reboot(int index);
    /// The camera dies at once (connections reset) and comes back as after a reboot; a firmware
    /// write in progress is lost and the old firmware stays.
    void crash(int index);
    void kill(int index);
    void revive(int index);

signals:
    /// A camera finished its reboot (it may listen again).
    void rebooted(int index);

private:
    struct Connection;
    struct CameraNet;
    struct PendingDatagram
    {
        int camera;
        QHostAddress to;
        quint16 port;
        std::vector<std::uint8_t> bytes;
    };

    std::int64_t nowMs() const { return clock_.elapsed(); }
    std::string statePath(const Camera& camera) const;
    void loadState(Camera& camera);
    void saveState(const Camera& camera);

    void tryBind(int index);
    void closeListeners(int index);
    void retryBinds();
    void addressChanged(int index);
    /// Applies a stored address change `delayMs` from now (AddressApplyMs fault).
    void applyNetworkLater(int index, int delayMs);
    void faultsChanged(int index, bool refuseBefore);

    void acceptService(int index, qintptr descriptor);
    void acceptUpgrade(int index, qintptr descriptor);
    void readService(Connection* connection);
    void send(Connection* connection, Outgoing outgoing);
    void flushDue(Connection* connection);
    void perform(Connection* connection, Outgoing outgoing);
    void dropConnection(Connection* connection, bool reset);
    /// A claimed media connection leaves the service connections for the media hub.
    void handOverMedia(Connection* connection);
    void dropAll(int index, bool reset);

    void restart(int index, bool reset);
    void startFirmwareWrite(Connection* connection);
    void firmwareStep(int index);
    void reportWrite(int index, int ret);
    void stopFirmwareWrite(int index);

    void readDiscovery();
    void readOnvifDiscovery();
    void acceptOnvif(int index, qintptr descriptor);
    void acceptRtsp(int index, qintptr descriptor);
    void onvifFollowUp(int index, int after);
    /// A firmware write with no native connection to report to (an ONVIF upload).
    void beginFirmwareWrite(int index);
    void queueDatagram(PendingDatagram datagram, int delayMs);
    void flushDatagrams();

    void acceptControl();
    void readControl(QTcpSocket* socket);

    Json::Value listCameras() const;
    bool cameraArgument(const Json::Value& request, int& index, Json::Value& error, bool allowAll = false) const;

    FleetOptions options_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    std::vector<std::unique_ptr<CameraNet>> nets_;
    std::unique_ptr<Discovery> discovery_;
    ListenerSet* listeners_ = nullptr; ///< every camera's service and upgrade listeners
    MediaHub* media_ = nullptr;
    QUdpSocket* udp_ = nullptr;
    QUdpSocket* wsd_ = nullptr;         ///< WS-Discovery, when some camera speaks ONVIF
    OnvifHttp* onvifHttp_ = nullptr;    ///< every camera's ONVIF connections
    std::unique_ptr<RtspService> rtsp_; ///< the ONVIF cameras' live streams
    QTcpServer* controlServer_ = nullptr;
    std::map<QTcpSocket*, std::vector<std::uint8_t>> controlBuffers_;
    int controlBadFrames_ = 0;
    std::multimap<std::int64_t, PendingDatagram> outbox_;
    std::size_t maxOutbox_ = 0;
    QTimer* outboxTimer_ = nullptr;
    QElapsedTimer clock_;
    bool stopped_ = false;
};

} // namespace camsim
