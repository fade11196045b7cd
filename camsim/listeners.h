#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include <QObject>

class QSocketNotifier;
class QTcpSocket;

namespace camsim {

/// Listening TCP sockets on many addresses behind one event-loop notifier. With a notifier of its
/// own per listener, the event loop polls every listener of the fleet on every pass, and each
/// request's cost grows with the fleet; here the system keeps the set (epoll) and the loop sees one
/// descriptor. Elsewhere than on Linux each listener gets its own notifier.
class ListenerSet : public QObject
{
    Q_OBJECT

public:
    /// Takes an accepted, non-blocking connection's descriptor.
    using Accept = std::function<void(qintptr descriptor)>;

    explicit ListenerSet(QObject* parent = nullptr);
    ~ListenerSet() override;

    /// Listens on address:port (host byte order); the listener's id, or -1 when it cannot be bound
    /// (another socket holds the address).
    int listen(std::uint32_t address, std::uint16_t port, Accept onConnection);
    /// Closes the listener: connections to its address are refused from now on.
    void close(int id);

private:
    struct Listener
    {
        Accept accept;
        std::unique_ptr<QSocketNotifier> notifier; ///< only without epoll
    };
    void ready(int id);
    void readyAll();
    /// Stops watching a listener for a moment (accept failed for want of resources).
    void pause(int id);
    void setWatched(int id, bool on);

    std::map<int, Listener> listeners_; ///< by descriptor
    int epoll_ = -1;
    QSocketNotifier* epollNotifier_ = nullptr;
};

/// Closes an accepted connection with a reset (a zero linger), as a camera that loses power does.
void abortWithReset(QTcpSocket* socket);

} // namespace camsim
