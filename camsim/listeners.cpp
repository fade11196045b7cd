#include "listeners.h"

#include <cerrno>

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(Q_OS_LINUX)
#include <sys/epoll.h>
#endif

namespace camsim {

namespace {
constexpr int kBacklog = 128;
constexpr int kEventsPerPass = 64;
constexpr int kPauseMs = 100;
} // namespace

ListenerSet::ListenerSet(QObject* parent) : QObject(parent)
{
#if defined(Q_OS_LINUX)
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ >= 0) {
        epollNotifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
        connect(epollNotifier_, &QSocketNotifier::activated, this, &ListenerSet::readyAll);
    }
#endif
}

ListenerSet::~ListenerSet()
{
    while (!listeners_.empty())
        close(listeners_.begin()->first);
    delete epollNotifier_;
    if (epoll_ >= 0)
        ::close(epoll_);
}

int ListenerSet::listen(std::uint32_t address, std::uint16_t port, Accept onConnection)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // As any server: a restarted camera binds again while old connections linger in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, kBacklog) != 0) {
        ::close(fd);
        return -1;
    }
    Listener& l = listeners_[fd];
    l.accept = std::move(onConnection);
#if defined(Q_OS_LINUX)
    if (epoll_ >= 0) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) == 0)
            return fd;
    }
#endif
    l.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(l.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { ready(fd); });
    return fd;
}

void ListenerSet::close(int id)
{
    const auto it = listeners_.find(id);
    if (it == listeners_.end())
        return;
    listeners_.erase(it); // the notifier first, then the descriptor (closing it leaves the epoll set)
    ::close(id);
}

void ListenerSet::pause(int id)
{
    setWatched(id, false);
    QTimer::singleShot(kPauseMs, this, [this, id] {
        if (listeners_.count(id))
            setWatched(id, true);
    });
}

void ListenerSet::setWatched(int id, bool on)
{
    Listener& l = listeners_.at(id);
    if (l.notifier) {
        l.notifier->setEnabled(on);
        return;
    }
#if defined(Q_OS_LINUX)
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = id;
    ::epoll_ctl(epoll_, on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, id, &e);
#endif
}

void ListenerSet::readyAll()
{
#if defined(Q_OS_LINUX)
    epoll_event events[kEventsPerPass];
    const int n = ::epoll_wait(epoll_, events, kEventsPerPass, 0);
    for (int i = 0; i < n; ++i)
        ready(events[i].data.fd);
#endif
}

void ListenerSet::ready(int id)
{
    // Everything waiting, one connection at a time; a handler may close this listener meanwhile.
    for (;;) {
        const auto it = listeners_.find(id);
        if (it == listeners_.end())
            return;
        const int fd = ::accept4(id, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                pause(id); // out of descriptors or memory: the connection waits instead of a busy loop
            return;
        }
        const Accept accept = it->second.accept;
        accept(fd);
    }
}

void abortWithReset(QTcpSocket* socket)
{
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0) {
        struct linger l;
        l.l_onoff = 1;
        l.l_linger = 0;
        ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    socket->abort();
}

} // namespace camsim
