#include "fleet.h"

#include <algorithm>
#include <deque>
#include <iostream>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "listeners.h"
#include "onvif_http.h"
#include "onvif_service.h"
#include "rtsp.h"
#include "package.h"
#include "protocol/onvif.h"
#include "protocol/frame.h"
#include "mediahub.h"
#include "protocol/messages.h"
#include "session.h"

// The firmware write reports in steps of this many percent.
static constexpr int kWriteStepPercent = 5;

namespace camsim {

namespace {

constexpr int kDatagramBurst = 16; // answers sent per millisecond, so a client's buffer keeps up
// Room for two searches of the whole fleet at once; a flood of requests beyond it drops the oldest
// answers instead of growing memory.
constexpr std::size_t kMinOutbox = 1024;
constexpr qint64 kMaxStateFile = 64 << 20;
constexpr int kRetBadArgument = -10002;
constexpr int kRetUnknownCommand = -10004;

Json::Value errorAnswer(int ret, const std::string& text)
{
    Json::Value v(Json::objectValue);
    v["Ret"] = ret;
    v["Error"] = text;
    return v;
}

Json::Value okAnswer()
{
    Json::Value v(Json::objectValue);
    v["Ret"] = protocol::kRetOk;
    return v;
}

bool intMember(const Json::Value& v, const char* key, int& out)
{
    std::int64_t n = 0;
    if (!protocol::getInt(v, key, n) || n < INT32_MIN || n > INT32_MAX)
        return false;
    out = static_cast<int>(n);
    return true;
}

} // namespace

struct Fleet::Connection
{
    int camera = 0;
    QTcpSocket* socket = nullptr;
    std::unique_ptr<Session> session;
    bool counted = false; ///< holds one of the camera's connection slots
    std::deque<std::pair<std::int64_t, Outgoing>> queue;
    QTimer* timer = nullptr;
};

struct Fleet::CameraNet
{
    int service = -1; ///< listener ids in the fleet's ListenerSet, -1 while not listening
    int upgrade = -1;
    int onvif = -1;
    int rtsp = -1;
    std::unique_ptr<OnvifService> onvifService; ///< cameras that speak ONVIF
    std::map<QTcpSocket*, std::unique_ptr<Connection>> connections;
    std::vector<QTcpSocket*> upgradeSockets;
    QTimer* rebootTimer = nullptr;
    QTimer* networkTimer = nullptr; ///< a delayed address change
    // Firmware write in progress: its step timer, the percentage reached and the connection whose
    // package is written (reports go to it too, while it lasts).
    QTimer* writeTimer = nullptr;
    int writePercent = 0;
    QTcpSocket* writer = nullptr;
    std::uint32_t writerSession = 0;
    std::uint32_t writerSequence = 0;
};

Fleet::Fleet(const FleetOptions& options, QObject* parent) : QObject(parent), options_(options)
{
    clock_.start();
    std::vector<Camera*> raw;
    for (int i = 0; i < options_.total(); ++i) {
        cameras_.push_back(std::make_unique<Camera>(options_, i));
        nets_.push_back(std::make_unique<CameraNet>());
        if (options_.speaksOnvif(i))
            nets_.back()->onvifService =
                std::make_unique<OnvifService>(*cameras_.back(), options_.onvifPort, options_.onvifClockOffsetS);
        raw.push_back(cameras_.back().get());
    }
    discovery_ = std::make_unique<Discovery>(raw);
    listeners_ = new ListenerSet(this);
    maxOutbox_ = std::max(kMinOutbox, 2 * cameras_.size());
    media_ = new MediaHub([this](int index) -> Camera& { return camera(index); }, this);
    outboxTimer_ = new QTimer(this);
    outboxTimer_->setSingleShot(true);
    outboxTimer_->setTimerType(Qt::PreciseTimer);
    connect(outboxTimer_, &QTimer::timeout, this, &Fleet::flushDatagrams);
}

Fleet::~Fleet()
{
    stop();
}

bool Fleet::start(std::string& error)
{
    if (!options_.stateDir.empty() && !QDir().mkpath(QString::fromStdString(options_.stateDir))) {
        error = "cannot create the state directory " + options_.stateDir;
        return false;
    }
    for (auto& c : cameras_) {
        loadState(*c);
        if (!options_.stateDir.empty())
            c->onStateChanged = [this](Camera& camera) { saveState(camera); };
        if (c->hasPendingNetwork())
            c->applyPendingNetwork(); // a restart is a power cycle: stored changes take effect
        c->onAddressChanged = [this](Camera& camera, std::uint32_t) { addressChanged(camera.index()); };
        c->onDelayedNetwork = [this](Camera& camera, int delayMs) { applyNetworkLater(camera.index(), delayMs); };
    }

    udp_ = new QUdpSocket(this);
    if (!udp_->bind(QHostAddress::AnyIPv4, options_.discoveryPort,
                    QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        error = "cannot bind the discovery port " + std::to_string(options_.discoveryPort) + ": " +
                udp_->errorString().toStdString();
        return false;
    }
    connect(udp_, &QUdpSocket::readyRead, this, &Fleet::readDiscovery);

    controlServer_ = new QTcpServer(this);
    if (!controlServer_->listen(QHostAddress(QHostAddress::LocalHost), options_.controlPort)) {
        error = "cannot listen on the control port: " + controlServer_->errorString().toStdString();
        return false;
    }
    connect(controlServer_, &QTcpServer::newConnection, this, &Fleet::acceptControl);

    if (std::any_of(nets_.begin(), nets_.end(), [](const auto& n) { return n->onvifService != nullptr; })) {
        onvifHttp_ = new OnvifHttp(
            [this](int index, const std::string& method, const std::string& path, const std::string& body,
                   bool tooLarge) {
                OnvifHttp::Answer a;
                CameraNet& n = *nets_[index];
                if (!camera(index).live() || !n.onvifService) {
                    a.status = 503;
                    a.contentType = "text/plain";
                    return a;
                }
                OnvifService::Reply r = n.onvifService->handle(method, path, body, tooLarge, nowMs());
                a.status = r.status;
                a.contentType = std::move(r.contentType);
                a.body = std::move(r.body);
                if (r.after != OnvifService::After::Nothing)
                    a.after = [this, index, after = int(r.after)] { onvifFollowUp(index, after); };
                return a;
            },
            [](const std::string& path) {
                return path.rfind(OnvifService::kUploadPath, 0) == 0 ? std::size_t(protocol::kMaxUpgradePackage)
                                                                     : protocol::onvif::kMaxMessage;
            },
            this);
        if (!onvifHttp_->start(error))
            return false;
        rtsp_ = std::make_unique<RtspService>();
        if (!rtsp_->start(error))
            return false;
        wsd_ = new QUdpSocket(this);
        if (!wsd_->bind(QHostAddress::AnyIPv4, options_.onvifDiscoveryPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            error = "cannot bind the WS-Discovery port " + std::to_string(options_.onvifDiscoveryPort) + ": " +
                    wsd_->errorString().toStdString();
            return false;
        }
        connect(wsd_, &QUdpSocket::readyRead, this, &Fleet::readOnvifDiscovery);
        if (options_.onvifPort < 1024 && ::geteuid() != 0)
            std::cerr << "camsim: ONVIF port " << options_.onvifPort
                      << " needs root; the ONVIF cameras will not listen (use --onvif-port)\n";
    }

    for (int i = 0; i < cameraCount(); ++i)
        tryBind(i);
    return true;
}

void Fleet::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    for (int i = 0; i < cameraCount(); ++i) {
        stopFirmwareWrite(i);
        dropAll(i, true);
        closeListeners(i);
        for (QTimer* timer : {nets_[i]->rebootTimer, nets_[i]->networkTimer})
            if (timer)
                timer->stop();
    }
    for (auto& [socket, buffer] : controlBuffers_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    controlBuffers_.clear();
    if (controlServer_)
        controlServer_->close();
    if (udp_)
        udp_->close();
    if (wsd_)
        wsd_->close();
    if (onvifHttp_)
        onvifHttp_->stop();
    if (rtsp_)
        rtsp_->stop();
    outboxTimer_->stop();
    outbox_.clear();
    if (!options_.stateDir.empty())
        for (auto& c : cameras_)
            saveState(*c);
}

std::string Fleet::readyLine() const
{
    std::string line = "ready control=127.0.0.1:" + std::to_string(controlPort()) +
                       " discovery=" + std::to_string(discoveryPort()) + " cameras=" + std::to_string(cameras_.size()) +
                       " addresses=";
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        if (i)
            line += ',';
        line += dotted(cameras_[i]->network().address);
    }
    if (wsd_)
        line += " onvif-discovery=" + std::to_string(onvifDiscoveryPort());
    return line;
}

quint16 Fleet::controlPort() const
{
    return controlServer_ ? controlServer_->serverPort() : 0;
}

quint16 Fleet::discoveryPort() const
{
    return udp_ ? udp_->localPort() : 0;
}

quint16 Fleet::onvifDiscoveryPort() const
{
    return wsd_ ? wsd_->localPort() : 0;
}

bool Fleet::isListening(int index) const
{
    const CameraNet& n = *nets_[static_cast<std::size_t>(index)];
    return n.service >= 0 || n.onvif >= 0;
}

int Fleet::badFrames() const
{
    int total = controlBadFrames_;
    for (const auto& c : cameras_)
        total += c->badFrames;
    return total;
}

// ---- state files ------------------------------------------------------------------------------

std::string Fleet::statePath(const Camera& camera) const
{
    std::string name = camera.identity().mac;
    name.erase(std::remove(name.begin(), name.end(), ':'), name.end());
    return options_.stateDir + "/" + name + ".json";
}

void Fleet::loadState(Camera& camera)
{
    if (options_.stateDir.empty())
        return;
    QFile file(QString::fromStdString(statePath(camera)));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxStateFile) {
        std::cerr << "camsim: state file " << statePath(camera) << " unreadable or too large; defaults used\n";
        return;
    }
    const QByteArray bytes = file.readAll();
    Json::CharReaderBuilder builder;
    builder.settings_["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value state;
    std::string error;
    bool parsed = false;
    try {
        parsed = reader->parse(bytes.constData(), bytes.constData() + bytes.size(), &state, &error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!parsed || !camera.loadState(state, error))
        std::cerr << "camsim: state file " << statePath(camera) << " ignored: " << error << "\n";
}

void Fleet::saveState(const Camera& camera)
{
    if (options_.stateDir.empty())
        return;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = " ";
    const std::string text = Json::writeString(builder, camera.saveState());
    QSaveFile file(QString::fromStdString(statePath(camera)));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !file.commit())
        std::cerr << "camsim: cannot write " << statePath(camera) << ": " << file.errorString().toStdString() << "\n";
}

// ---- listeners ----------------------------------------------------------------------------------

void Fleet::tryBind(int index)
{
    Camera& c = camera(index);
    CameraNet& n = *nets_[index];
    if (stopped_ || isListening(index) || !c.live() || c.faults.refuse || !isLoopbackAddress(c.network().address))
        return;
    const std::uint32_t address = c.network().address;
    int service = -1, upgrade = -1, onvif = -1, rtsp = -1;
    // All of a camera's ports or none: another camera holds this address.
    auto undo = [&] {
        for (int id : {service, upgrade, onvif, rtsp})
            if (id >= 0)
                listeners_->close(id);
    };
    if (c.model().native) {
        service =
            listeners_->listen(address, options_.servicePort, [this, index](qintptr fd) { acceptService(index, fd); });
        upgrade = service < 0 ? -1 : listeners_->listen(address, options_.upgradePort, [this, index](qintptr fd) {
            acceptUpgrade(index, fd);
        });
        if (upgrade < 0)
            return undo();
    }
    if (n.onvifService) {
        onvif = listeners_->listen(address, options_.onvifPort, [this, index](qintptr fd) { acceptOnvif(index, fd); });
        rtsp = onvif < 0 ? -1 : listeners_->listen(address, options_.rtspPort, [this, index](qintptr fd) {
            acceptRtsp(index, fd);
        });
        if (rtsp < 0)
            return undo();
    }
    n.service = service;
    n.upgrade = upgrade;
    n.onvif = onvif;
    n.rtsp = rtsp;
}

void Fleet::closeListeners(int index)
{
    CameraNet& n = *nets_[index];
    for (int* listener : {&n.service, &n.upgrade, &n.onvif, &n.rtsp}) {
        listeners_->close(*listener);
        *listener = -1;
    }
}

void Fleet::retryBinds()
{
    for (int i = 0; i < cameraCount(); ++i)
        if (!isListening(i))
            tryBind(i);
}

void Fleet::addressChanged(int index)
{
    closeListeners(index);
    tryBind(index);
    retryBinds();
}

void Fleet::applyNetworkLater(int index, int delayMs)
{
    CameraNet& n = *nets_[index];
    if (!n.networkTimer) {
        n.networkTimer = new QTimer(this);
        n.networkTimer->setSingleShot(true);
        connect(n.networkTimer, &QTimer::timeout, this, [this, index] {
            Camera& c = camera(index);
            if (c.rebooting)
                return; // the end of the reboot applies it
            const std::uint32_t before = c.network().address;
            if (c.applyPendingNetwork() && c.network().address != before)
                addressChanged(index);
        });
    }
    n.networkTimer->start(delayMs);
}

void Fleet::faultsChanged(int index, bool refuseBefore)
{
    const bool refuse = camera(index).faults.refuse;
    if (refuse == refuseBefore)
        return;
    if (refuse) {
        closeListeners(index);
        retryBinds();
    } else {
        tryBind(index);
    }
}

// ---- service connections ------------------------------------------------------------------------

/// An accepted descriptor as a connected socket of the fleet (the listener may go away before the
/// connection does); null when it cannot be one.
static QTcpSocket* adopt(qintptr descriptor, QObject* parent)
{
    auto* socket = new QTcpSocket(parent);
    if (socket->setSocketDescriptor(descriptor))
        return socket;
    ::close(static_cast<int>(descriptor));
    delete socket;
    return nullptr;
}

void Fleet::acceptService(int index, qintptr descriptor)
{
    CameraNet& n = *nets_[index];
    Camera& c = camera(index);
    QTcpSocket* socket = adopt(descriptor, this);
    if (!socket)
        return;
    if (c.faults.drop || !c.live()) {
        socket->close();
        socket->deleteLater();
        return;
    }
    const bool busy = c.connections >= options_.maxConnections;
    auto connection = std::make_unique<Connection>();
    connection->camera = index;
    connection->socket = socket;
    connection->session = std::make_unique<Session>(c, busy);
    connection->counted = !busy;
    if (!busy)
        ++c.connections;
    Connection* raw = connection.get();
    n.connections[socket] = std::move(connection);
    connect(socket, &QTcpSocket::readyRead, this, [this, raw] { readService(raw); });
    connect(socket, &QTcpSocket::disconnected, this, [this, raw] { dropConnection(raw, false); });
    // A connection that never logs in must not hold its slot for ever; a camera slowed down by
    // the latency fault gets the time its own two answers take.
    QTimer::singleShot(options_.loginTimeoutMs + 2 * c.faults.latencyMs, socket, [this, index, socket, raw] {
        const auto& open = nets_[index]->connections;
        const auto it = open.find(socket);
        if (it != open.end() && it->second.get() == raw && !raw->session->loggedIn() && !camera(index).faults.silent)
            dropConnection(raw, false);
    });
    if (socket->bytesAvailable() > 0)
        readService(raw);
}

void Fleet::acceptUpgrade(int index, qintptr descriptor)
{
    CameraNet& n = *nets_[index];
    QTcpSocket* socket = adopt(descriptor, this);
    if (!socket)
        return;
    if (camera(index).faults.drop) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Held open; nothing is sent here yet and what arrives is discarded.
    n.upgradeSockets.push_back(socket);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, this, [this, index, socket] {
        auto& list = nets_[index]->upgradeSockets;
        list.erase(std::remove(list.begin(), list.end(), socket), list.end());
        socket->deleteLater();
    });
}

void Fleet::readService(Connection* connection)
{
    const int index = connection->camera;
    QTcpSocket* socket = connection->socket;
    auto alive = [&] {
        auto it = nets_[index]->connections.find(socket);
        return it != nets_[index]->connections.end() && it->second.get() == connection;
    };
    // Straight from the socket into the session's frame buffer or the package it assembles,
    // exactly as much as the current frame needs: no copy in between and nothing read ahead.
    while (socket->bytesAvailable() > 0) {
        std::size_t room = 0;
        std::uint8_t* space = connection->session->receiveSpace(room);
        const qint64 n = socket->read(reinterpret_cast<char*>(space), qint64(room));
        if (n <= 0)
            return;
        Session::Result result = connection->session->received(static_cast<std::size_t>(n), nowMs());
        for (Outgoing& o : result.out) {
            send(connection, std::move(o));
            if (!alive())
                return;
        }
        if (result.abort) {
            dropConnection(connection, true);
            return;
        }
    }
}

void Fleet::send(Connection* connection, Outgoing outgoing)
{
    const int latency = camera(connection->camera).faults.latencyMs;
    if (latency <= 0 && connection->queue.empty()) {
        perform(connection, std::move(outgoing));
        return;
    }
    connection->queue.emplace_back(nowMs() + latency, std::move(outgoing));
    if (!connection->timer) {
        connection->timer = new QTimer(connection->socket);
        connection->timer->setSingleShot(true);
        connect(connection->timer, &QTimer::timeout, this, [this, connection] { flushDue(connection); });
    }
    if (!connection->timer->isActive())
        connection->timer->start(int(std::max<std::int64_t>(0, connection->queue.front().first - nowMs())));
}

void Fleet::flushDue(Connection* connection)
{
    const int index = connection->camera;
    QTcpSocket* socket = connection->socket;
    while (!connection->queue.empty() && connection->queue.front().first <= nowMs()) {
        Outgoing o = std::move(connection->queue.front().second);
        connection->queue.pop_front();
        perform(connection, std::move(o));
        auto it = nets_[index]->connections.find(socket);
        if (it == nets_[index]->connections.end() || it->second.get() != connection)
            return;
    }
    if (!connection->queue.empty())
        connection->timer->start(int(std::max<std::int64_t>(0, connection->queue.front().first - nowMs())));
}

void Fleet::perform(Connection* connection, Outgoing outgoing)
{
    if (!outgoing.bytes.empty())
        connection->socket->write(reinterpret_cast<const char*>(outgoing.bytes.data()), qint64(outgoing.bytes.size()));
    switch (outgoing.after) {
    case After::Nothing:
        break;
    case After::Close:
        dropConnection(connection, false);
        break;
    case After::Reboot: {
        const int index = connection->camera;
        // Not from inside this connection's own handler: the reboot closes it.
        QMetaObject::invokeMethod(
            this, [this, index] { reboot(index); }, Qt::QueuedConnection);
        break;
    }
    case After::WriteFirmware:
        startFirmwareWrite(connection);
        break;
    case After::Media:
        handOverMedia(connection);
        break;
    case After::Die: {
        const int index = connection->camera;
        QMetaObject::invokeMethod(
            this, [this, index] { crash(index); }, Qt::QueuedConnection);
        break;
    }
    }
}

void Fleet::dropConnection(Connection* connection, bool reset)
{
    CameraNet& n = *nets_[connection->camera];
    auto it = n.connections.find(connection->socket);
    if (it == n.connections.end() || it->second.get() != connection)
        return;
    std::unique_ptr<Connection> owned = std::move(it->second);
    n.connections.erase(it);
    if (n.writer == owned->socket)
        n.writer = nullptr; // the write goes on; its reports no longer have a session to go to
    QTcpSocket* socket = owned->socket;
    socket->disconnect(this);
    if (owned->timer) {
        owned->timer->stop();
        owned->timer->disconnect(this);
    }
    if (owned->counted)
        --camera(owned->camera).connections;
    owned->session.reset();
    if (reset) {
        abortWithReset(socket);
        socket->deleteLater();
        return;
    }
    // Whatever was written still leaves before the close.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void Fleet::handOverMedia(Connection* connection)
{
    CameraNet& n = *nets_[connection->camera];
    auto it = n.connections.find(connection->socket);
    if (it == n.connections.end() || it->second.get() != connection)
        return;
    std::unique_ptr<Connection> owned = std::move(it->second);
    n.connections.erase(it);
    owned->socket->disconnect(this);
    if (owned->timer) {
        owned->timer->stop();
        owned->timer->disconnect(this);
    }
    if (owned->counted)
        --camera(owned->camera).connections;
    media_->adopt(owned->camera, owned->socket, owned->session->claimedMedia());
}

void Fleet::dropAll(int index, bool reset)
{
    CameraNet& n = *nets_[index];
    media_->dropCamera(index, reset);
    std::vector<Connection*> all;
    for (auto& [socket, connection] : n.connections)
        all.push_back(connection.get());
    for (Connection* c : all)
        dropConnection(c, reset);
    for (QTcpSocket* socket : n.upgradeSockets) {
        socket->disconnect(this);
        if (reset)
            abortWithReset(socket);
        else
            socket->abort();
        socket->deleteLater();
    }
    n.upgradeSockets.clear();
    if (onvifHttp_)
        onvifHttp_->dropCamera(index);
    if (rtsp_)
        rtsp_->dropCamera(index);
}

// ---- reboot, kill -------------------------------------------------------------------------------

void Fleet::reboot(int index)
{
    restart(index, false);
}

void Fleet::crash(int index)
{
    restart(index, true);
}

void Fleet::restart(int index, bool reset)
{
    Camera& c = camera(index);
    if (c.rebooting || c.dead || stopped_)
        return;
    stopFirmwareWrite(index);
    c.rebooting = true;
    dropAll(index, reset);
    closeListeners(index);
    c.resetVolatile();
    if ((*nets_[index]).onvifService)
        (*nets_[index]).onvifService->resetVolatile();
    retryBinds();
    CameraNet& n = *nets_[index];
    if (!n.rebootTimer) {
        n.rebootTimer = new QTimer(this);
        n.rebootTimer->setSingleShot(true);
        connect(n.rebootTimer, &QTimer::timeout, this, [this, index] {
            Camera& cam = camera(index);
            cam.rebooting = false;
            const bool moved = cam.applyPendingNetwork();
            ++cam.reboots;
            tryBind(index);
            if (moved)
                retryBinds();
            emit rebooted(index);
        });
    }
    n.rebootTimer->start(options_.rebootMs);
}

void Fleet::kill(int index)
{
    Camera& c = camera(index);
    if (c.dead)
        return;
    c.dead = true;
    stopFirmwareWrite(index);
    dropAll(index, true);
    closeListeners(index);
    c.resetVolatile();
    if ((*nets_[index]).onvifService)
        (*nets_[index]).onvifService->resetVolatile();
    retryBinds();
}

void Fleet::revive(int index)
{
    Camera& c = camera(index);
    if (!c.dead)
        return;
    c.dead = false;
    tryBind(index);
}

// ---- firmware write ------------------------------------------------------------------------------

void Fleet::startFirmwareWrite(Connection* connection)
{
    const int index = connection->camera;
    CameraNet& n = *nets_[index];
    n.writer = connection->socket;
    n.writerSession = connection->session->sessionId();
    n.writerSequence = connection->session->upgradeSequence();
    beginFirmwareWrite(index);
}

void Fleet::beginFirmwareWrite(int index)
{
    CameraNet& n = *nets_[index];
    n.writePercent = 0;
    if (!n.writeTimer) {
        n.writeTimer = new QTimer(this);
        connect(n.writeTimer, &QTimer::timeout, this, [this, index] { firmwareStep(index); });
    }
    reportWrite(index, 0);
    n.writeTimer->start(options_.upgradeMs * kWriteStepPercent / 100);
}

void Fleet::firmwareStep(int index)
{
    Camera& c = camera(index);
    CameraNet& n = *nets_[index];
    n.writePercent += kWriteStepPercent;
    if (c.faults.dieMidWrite && n.writePercent >= 50) {
        // Power lost mid-write: the camera boots its old firmware, never a half-written one.
        crash(index);
        return;
    }
    reportWrite(index, std::min(n.writePercent, 100));
    if (n.writePercent < 100)
        return;
    const std::string version = c.pendingFirmware;
    stopFirmwareWrite(index);
    c.installFirmware(version);
    reportWrite(index, protocol::kUpgradeSucceeded);
    n.writer = nullptr;
    // After the reports have left: the reboot closes every connection.
    QMetaObject::invokeMethod(
        this, [this, index] { reboot(index); }, Qt::QueuedConnection);
}

void Fleet::reportWrite(int index, int ret)
{
    CameraNet& n = *nets_[index];
    auto it = n.writer ? n.connections.find(n.writer) : n.connections.end();
    if (it != n.connections.end()) {
        Json::Value state(Json::objectValue);
        state["Ret"] = ret;
        send(it->second.get(), {jsonFrame(protocol::MsgUpgradeState, n.writerSession, n.writerSequence, state)});
    }
    Json::Value progress(Json::objectValue);
    progress["Name"] = "OPSystemUpgrade";
    progress["Type"] = "UpgradeProcess";
    progress["Ret"] = ret;
    const std::vector<std::uint8_t> frame = jsonFrame(protocol::MsgUpgradeProgress, 0, 0, progress);
    for (QTcpSocket* socket : n.upgradeSockets) {
        socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
        socket->flush();
    }
}

void Fleet::stopFirmwareWrite(int index)
{
    CameraNet& n = *nets_[index];
    if (n.writeTimer)
        n.writeTimer->stop();
    Camera& c = camera(index);
    c.upgrading = false;
    c.pendingFirmware.clear();
}

// ---- discovery ----------------------------------------------------------------------------------

void Fleet::readDiscovery()
{
    while (udp_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp_->receiveDatagram();
        const QByteArray data = datagram.data();
        bool ipv4 = false;
        const quint32 source = datagram.senderAddress().toIPv4Address(&ipv4);
        Discovery::Result result =
            discovery_->handle(reinterpret_cast<const std::uint8_t*>(data.constData()),
                               static_cast<std::size_t>(data.size()), ipv4 ? source : 0, nowMs());
        for (Discovery::Answer& a : result.answers)
            queueDatagram({a.camera, QHostAddress(source), quint16(datagram.senderPort()), std::move(a.bytes)},
                          camera(a.camera).faults.latencyMs);
    }
    if (!outboxTimer_->isActive())
        flushDatagrams();
}

void Fleet::queueDatagram(PendingDatagram datagram, int delayMs)
{
    const std::int64_t due = nowMs() + std::max(0, delayMs);
    if (outbox_.size() >= maxOutbox_)
        outbox_.erase(outbox_.begin());
    outbox_.emplace(due, std::move(datagram));
    const std::int64_t first = outbox_.begin()->first;
    if (!outboxTimer_->isActive() || outboxTimer_->remainingTime() > first - nowMs())
        outboxTimer_->start(int(std::max<std::int64_t>(0, first - nowMs())));
}

void Fleet::flushDatagrams()
{
    int sent = 0;
    const std::int64_t now = nowMs();
    while (!outbox_.empty() && outbox_.begin()->first <= now && sent < kDatagramBurst) {
        PendingDatagram d = std::move(outbox_.begin()->second);
        outbox_.erase(outbox_.begin());
        bool ipv4 = false;
        const quint32 to = d.to.toIPv4Address(&ipv4);
        if (!ipv4 || !isLoopbackAddress(to) || !camera(d.camera).live())
            continue; // only loopback destinations, and a camera that died meanwhile says nothing
        udp_->writeDatagram(reinterpret_cast<const char*>(d.bytes.data()), qint64(d.bytes.size()), d.to, d.port);
        ++sent;
    }
    if (outbox_.empty())
        outboxTimer_->stop();
    else
        outboxTimer_->start(sent >= kDatagramBurst ? 1 : int(std::max<std::int64_t>(0, outbox_.begin()->first - now)));
}

// ---- ONVIF ----------------------------------------------------------------------------------------

void Fleet::acceptOnvif(int index, qintptr descriptor)
{
    Camera& c = camera(index);
    if (!onvifHttp_ || c.faults.drop || !c.live()) {
        ::close(static_cast<int>(descriptor));
        return;
    }
    onvifHttp_->adopt(index, static_cast<int>(descriptor));
}

void Fleet::acceptRtsp(int index, qintptr descriptor)
{
    Camera& c = camera(index);
    if (!rtsp_ || c.faults.drop || !c.live()) {
        ::close(static_cast<int>(descriptor));
        return;
    }
    // The streams as the camera's records say now; the server's threads never read the camera.
    RtspService::Offer offer;
    offer.name = c.network().hostName;
    offer.address = dotted(c.network().address);
    for (int s = 0; s < 2; ++s)
        offer.available[s] = streamSettings(c, 0, s, offer.streams[s]) == protocol::kRetOk;
    rtsp_->adopt(index, static_cast<int>(descriptor), offer);
}

void Fleet::onvifFollowUp(int index, int after)
{
    Camera& c = camera(index);
    switch (OnvifService::After(after)) {
    case OnvifService::After::Reboot:
        reboot(index);
        break;
    case OnvifService::After::HardReset: {
        // The factory's network settings, then a restart.
        NetworkState next = c.network();
        next.address = options_.addressOf(index);
        next.mask = NetworkState().mask;
        next.gateway = (next.address & 0xFFFFFF00u) | 1u;
        c.requestNetworkChange(next);
        reboot(index);
        break;
    }
    case OnvifService::After::WriteFirmware:
        if (c.live() && c.upgrading) {
            nets_[index]->writer = nullptr;
            beginFirmwareWrite(index);
        }
        break;
    case OnvifService::After::Nothing:
        break;
    }
}

void Fleet::readOnvifDiscovery()
{
    while (wsd_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = wsd_->receiveDatagram(protocol::onvif::kMaxMessage);
        const QByteArray data = datagram.data();
        bool ipv4 = false;
        const quint32 source = datagram.senderAddress().toIPv4Address(&ipv4);
        if (!ipv4 || !isLoopbackAddress(source))
            continue; // nothing is ever sent outside 127.0.0.0/8
        protocol::onvif::Envelope e;
        protocol::onvif::Probe probe;
        if (protocol::onvif::parseEnvelope(data.constData(), std::size_t(data.size()), e) !=
                protocol::onvif::Status::Ok ||
            protocol::onvif::readProbe(e, probe) != protocol::onvif::Status::Ok)
            continue; // not a probe: other WS-Discovery traffic, or noise
        for (int i = 0; i < cameraCount(); ++i) {
            const CameraNet& n = *nets_[i];
            if (!n.onvifService || !camera(i).live() || camera(i).faults.silent)
                continue;
            const std::string answer = n.onvifService->probeMatch(probe);
            if (!answer.empty())
                wsd_->writeDatagram(answer.data(), qint64(answer.size()), datagram.senderAddress(),
                                    quint16(datagram.senderPort()));
        }
    }
}

// ---- control ------------------------------------------------------------------------------------

void Fleet::acceptControl()
{
    while (controlServer_->hasPendingConnections()) {
        QTcpSocket* socket = controlServer_->nextPendingConnection();
        socket->setParent(this);
        controlBuffers_[socket];
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readControl(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            controlBuffers_.erase(socket);
            socket->disconnect(this);
            socket->deleteLater();
        });
    }
}

void Fleet::readControl(QTcpSocket* socket)
{
    auto it = controlBuffers_.find(socket);
    if (it == controlBuffers_.end())
        return;
    std::vector<std::uint8_t>& buffer = it->second;
    const QByteArray data = socket->readAll();
    buffer.insert(buffer.end(), data.begin(), data.end());
    std::size_t offset = 0;
    for (;;) {
        const protocol::ParseResult parsed = protocol::parseFrame(buffer.data() + offset, buffer.size() - offset);
        if (parsed.status == protocol::ParseStatus::Incomplete)
            break;
        Json::Value request;
        if (parsed.status == protocol::ParseStatus::Bad || parsed.frame.header.messageId != protocol::MsgEmuControl ||
            protocol::decodeJsonObject(parsed.frame.body.data(), parsed.frame.body.size(), request) !=
                protocol::DecodeStatus::Ok) {
            ++controlBadFrames_;
            controlBuffers_.erase(it);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
        offset += parsed.used;
        const std::vector<std::uint8_t> answer =
            jsonFrame(protocol::MsgEmuControlAnswer, 0, parsed.frame.header.sequence, control(request));
        socket->write(reinterpret_cast<const char*>(answer.data()), qint64(answer.size()));
        if (stopped_)
            return;
    }
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool Fleet::cameraArgument(const Json::Value& request, int& index, Json::Value& error, bool allowAll) const
{
    if (!intMember(request, "Index", index) || index < (allowAll ? -1 : 0) || index >= int(cameras_.size())) {
        error = errorAnswer(kRetBadArgument, "Index must name a camera" + std::string(allowAll ? " or be -1" : ""));
        return false;
    }
    return true;
}

Json::Value Fleet::listCameras() const
{
    Json::Value list(Json::arrayValue);
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const Camera& c = *cameras_[i];
        Json::Value e(Json::objectValue);
        e["Index"] = c.index();
        e["MAC"] = c.identity().mac;
        e["HostIP"] = dotted(c.network().address);
        e["Submask"] = dotted(c.network().mask);
        e["GateWay"] = dotted(c.network().gateway);
        e["HostName"] = c.network().hostName;
        e["Model"] = c.model().name;
        e["DeviceKind"] = c.model().deviceKind;
        e["Version"] = c.version();
        e["Listening"] = isListening(int(i));
        e["Onvif"] = nets_[i]->onvifService != nullptr;
        e["Sessions"] = c.sessions;
        e["Connections"] = c.connections;
        e["Logins"] = c.logins;
        e["Logouts"] = c.logouts;
        e["Rebooting"] = c.rebooting;
        e["Dead"] = c.dead;
        e["Reboots"] = c.reboots;
        e["Upgrading"] = c.upgrading;
        e["Upgrades"] = c.upgrades;
        e["BadFrames"] = c.badFrames;
        e["PendingNetwork"] = c.hasPendingNetwork();
        e["Faults"] = c.faults.toJson();
        list.append(e);
    }
    Json::Value answer = okAnswer();
    answer["Cameras"] = list;
    answer["BadFrames"] = badFrames();
    answer["BadDatagrams"] = badDatagrams();
    answer["ForeignSources"] = discovery_->foreignSources();
    return answer;
}

Json::Value Fleet::control(const Json::Value& request)
{
    std::string cmd;
    if (!protocol::getString(request, "Cmd", cmd, 32))
        return errorAnswer(kRetBadArgument, "Cmd missing");
    Json::Value error;
    int index = 0;
    if (cmd == "list")
        return listCameras();
    if (cmd == "fault") {
        if (!cameraArgument(request, index, error, true))
            return error;
        const int first = index < 0 ? 0 : index;
        const int last = index < 0 ? cameraCount() - 1 : index;
        Faults probe;
        std::string text;
        if (!probe.apply(request, text))
            return errorAnswer(kRetBadArgument, text);
        for (int i = first; i <= last; ++i) {
            const bool refuseBefore = camera(i).faults.refuse;
            camera(i).faults.apply(request, text);
            faultsChanged(i, refuseBefore);
        }
        return okAnswer();
    }
    if (cmd == "kill" || cmd == "revive" || cmd == "reboot") {
        if (!cameraArgument(request, index, error))
            return error;
        if (cmd == "kill")
            kill(index);
        else if (cmd == "revive")
            revive(index);
        else
            reboot(index);
        return okAnswer();
    }
    if (cmd == "record") {
        int command = 0, channel = -1;
        if (!cameraArgument(request, index, error))
            return error;
        if (!intMember(request, "Command", command) || !intMember(request, "Channel", channel))
            return errorAnswer(kRetBadArgument, "Command and Channel must be integers");
        std::vector<std::uint8_t> record;
        const int ret = camera(index).readRecord(command, channel, record);
        if (ret != protocol::kRetOk)
            return errorAnswer(ret, "the camera has no such record");
        Json::Value answer = okAnswer();
        answer["Data"] =
            QByteArray(reinterpret_cast<const char*>(record.data()), qsizetype(record.size())).toBase64().toStdString();
        return answer;
    }
    if (cmd == "media") {
        if (!cameraArgument(request, index, error))
            return error;
        return media_->control(index, request);
    }
    if (cmd == "json") {
        std::string name;
        int command = 0, channel = -1;
        if (!cameraArgument(request, index, error))
            return error;
        if (!protocol::getString(request, "Name", name, 255) || !intMember(request, "Command", command) ||
            !intMember(request, "Channel", channel))
            return errorAnswer(kRetBadArgument, "Name, Command and Channel are needed");
        Json::Value answer = okAnswer();
        answer["Reply"] = camera(index).records().readJson(name, command, channel);
        return answer;
    }
    return errorAnswer(kRetUnknownCommand, "unknown command " + cmd);
}

} // namespace camsim
