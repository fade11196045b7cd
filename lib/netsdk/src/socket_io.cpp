#include "socket_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

// POSIX implementation. A Winsock port swaps this file: closesocket, ioctlsocket(FIONBIO),
// WSAPoll, WSAGetLastError and GetAdaptersAddresses stand in for the calls below.

namespace netsdk::net {

const Socket kInvalidSocket = -1;

namespace {

sockaddr_in toSockaddr(const Endpoint& e)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(e.port);
    std::memcpy(&a.sin_addr.s_addr, e.ip.data(), 4);
    return a;
}

IoStatus statusFromErrno(int err)
{
    switch (err) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
    case EINTR:
        return IoStatus::WouldBlock;
    case ECONNREFUSED:
    case ECONNRESET:
        return IoStatus::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case EADDRNOTAVAIL:
        return IoStatus::Unreachable;
    case EPIPE:
        return IoStatus::Closed;
    default:
        return IoStatus::Failed;
    }
}

bool setNonBlocking(Socket s)
{
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

WaitResult waitFor(Socket s, short events, int ms)
{
    pollfd p{};
    p.fd = s;
    p.events = events;
    for (;;) {
        const int n = ::poll(&p, 1, ms < 0 ? 0 : ms);
        if (n > 0)
            return WaitResult::Ready; // errors and hang-ups show up in the following call
        if (n == 0)
            return WaitResult::Timeout;
        if (errno != EINTR)
            return WaitResult::Failed;
        // An interrupted poll is retried with the same time; the caller's deadline bounds the total.
    }
}

} // namespace

Socket openTcp()
{
    const Socket s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return kInvalidSocket;
    if (!setNonBlocking(s)) {
        ::close(s);
        return kInvalidSocket;
    }
    return s;
}

Socket openUdp()
{
    const Socket s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return kInvalidSocket;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    if (!setNonBlocking(s) || ::bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        ::close(s);
        return kInvalidSocket;
    }
    return s;
}

void closeSocket(Socket s)
{
    if (s != kInvalidSocket)
        ::close(s);
}

void shutdownSocket(Socket s)
{
    if (s != kInvalidSocket)
        ::shutdown(s, SHUT_RDWR);
}

IoStatus startConnect(Socket s, const Endpoint& to)
{
    const sockaddr_in a = toSockaddr(to);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return IoStatus::Ok;
    return statusFromErrno(errno);
}

IoStatus finishConnect(Socket s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return statusFromErrno(errno);
    if (err == 0)
        return IoStatus::Ok;
    const IoStatus st = statusFromErrno(err);
    return st == IoStatus::WouldBlock ? IoStatus::Failed : st;
}

WaitResult waitReadable(Socket s, int ms)
{
    return waitFor(s, POLLIN, ms);
}

WaitResult waitWritable(Socket s, int ms)
{
    return waitFor(s, POLLOUT, ms);
}

void pause(int ms)
{
    if (ms > 0)
        ::poll(nullptr, 0, ms);
}

IoStatus sendSome(Socket s, const std::uint8_t* data, std::size_t size, std::size_t& sent)
{
    sent = 0;
    const ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
    if (n >= 0) {
        sent = static_cast<std::size_t>(n);
        return IoStatus::Ok;
    }
    return statusFromErrno(errno);
}

IoStatus sendPair(Socket s, const std::uint8_t* first, std::size_t firstSize, const std::uint8_t* second,
                  std::size_t secondSize, std::size_t& sent)
{
    // Gathered by the kernel: the body is never copied next to its header first.
    sent = 0;
    iovec parts[2];
    parts[0].iov_base = const_cast<std::uint8_t*>(first);
    parts[0].iov_len = firstSize;
    parts[1].iov_base = const_cast<std::uint8_t*>(second);
    parts[1].iov_len = secondSize;
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    const ssize_t n = ::sendmsg(s, &message, MSG_NOSIGNAL);
    if (n >= 0) {
        sent = static_cast<std::size_t>(n);
        return IoStatus::Ok;
    }
    return statusFromErrno(errno);
}

IoStatus sendSomeMore(Socket s, const std::uint8_t* data, std::size_t size, std::size_t& sent)
{
#ifdef MSG_MORE
    sent = 0;
    const ssize_t n = ::send(s, data, size, MSG_NOSIGNAL | MSG_MORE);
    if (n >= 0) {
        sent = static_cast<std::size_t>(n);
        return IoStatus::Ok;
    }
    return statusFromErrno(errno);
#else
    return sendSome(s, data, size, sent);
#endif
}

IoStatus sendFileSome(Socket s, int file, std::int64_t offset, std::size_t size, std::size_t& sent)
{
    sent = 0;
    if (size == 0)
        return IoStatus::Ok;
#if defined(__linux__)
    // The file's pages go to the socket from the page cache: no read into the process, no copy
    // out of it again.
    off_t from = static_cast<off_t>(offset);
    const ssize_t n = ::sendfile(s, file, &from, size);
    if (n > 0) {
        sent = static_cast<std::size_t>(n);
        return IoStatus::Ok;
    }
    if (n == 0)
        return IoStatus::Failed;
    // EINVAL or ENOSYS: a file the system cannot send from, read and sent below instead.
    if (errno != EINVAL && errno != ENOSYS)
        return statusFromErrno(errno);
#endif
    std::uint8_t block[16 * 1024];
    const ssize_t got = ::pread(file, block, std::min(size, sizeof block), static_cast<off_t>(offset));
    if (got <= 0)
        return IoStatus::Failed;
    return sendSome(s, block, static_cast<std::size_t>(got), sent);
}

IoStatus recvSome(Socket s, std::uint8_t* data, std::size_t size, std::size_t& received)
{
    received = 0;
    const ssize_t n = ::recv(s, data, size, 0);
    if (n > 0) {
        received = static_cast<std::size_t>(n);
        return IoStatus::Ok;
    }
    if (n == 0)
        return IoStatus::Closed;
    const IoStatus st = statusFromErrno(errno);
    // A reset after the connection stood is a closed connection to the caller.
    return st == IoStatus::Refused ? IoStatus::Closed : st;
}

IoStatus sendTo(Socket s, const Endpoint& to, const std::uint8_t* data, std::size_t size)
{
    const sockaddr_in a = toSockaddr(to);
    const ssize_t n = ::sendto(s, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    if (n == static_cast<ssize_t>(size))
        return IoStatus::Ok;
    return n < 0 ? statusFromErrno(errno) : IoStatus::Failed;
}

IoStatus recvFrom(Socket s, std::uint8_t* data, std::size_t size, std::size_t& received, Endpoint& from,
                  bool& truncated)
{
    received = 0;
    truncated = false;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const ssize_t n = ::recvfrom(s, data, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &len);
    if (n < 0)
        return statusFromErrno(errno);
    truncated = static_cast<std::size_t>(n) > size;
    received = truncated ? size : static_cast<std::size_t>(n);
    std::memcpy(from.ip.data(), &a.sin_addr.s_addr, 4);
    from.port = ntohs(a.sin_port);
    return IoStatus::Ok;
}

bool enableBroadcast(Socket s)
{
    const int on = 1;
    return ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

void raiseReceiveBuffer(Socket s, int bytes)
{
#ifdef SO_RCVBUFFORCE
    // Goes beyond the system's limit when the process may; otherwise the plain request below is capped.
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0)
        return;
#endif
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

std::vector<Ip4> interfaceBroadcasts()
{
    std::vector<Ip4> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    const unsigned wanted = IFF_BROADCAST | IFF_UP | IFF_RUNNING;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & wanted) != wanted)
            continue;
        if (!i->ifa_broadaddr || i->ifa_broadaddr->sa_family != AF_INET)
            continue;
        Ip4 ip;
        std::memcpy(ip.data(), &reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr, 4);
        out.push_back(ip);
    }
    ::freeifaddrs(list);
    return out;
}

bool peerOf(Socket s, Endpoint& out)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&a), &length) != 0 || a.sin_family != AF_INET)
        return false;
    std::memcpy(out.ip.data(), &a.sin_addr.s_addr, 4);
    out.port = ntohs(a.sin_port);
    return true;
}

void setNoDelay(Socket s)
{
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void shutdownSend(Socket s)
{
    if (s != kInvalidSocket)
        ::shutdown(s, SHUT_WR);
}

} // namespace netsdk::net
