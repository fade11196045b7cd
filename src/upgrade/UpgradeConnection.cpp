#include "UpgradeConnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

CUpgradeConnection::~CUpgradeConnection()
{
    close();
}

void CUpgradeConnection::close()
{
    if (nFd >= 0)
        ::close(nFd);
    nFd = -1;
}

bool CUpgradeConnection::connectTo(const QByteArray& baIp, quint16 nPort, int nTries, int nAttemptMs,
                                   bool bLoopbackOnly)
{
    close();
    in_addr address{};
    if (inet_pton(AF_INET, baIp.constData(), &address) != 1) {
        nError = EINVAL;
        return false;
    }
    if (bLoopbackOnly && (ntohl(address.s_addr) >> 24) != 127) {
        nError = ENETUNREACH;
        return false;
    }
    for (int i = 0; i < nTries; ++i) {
        if (attempt(address.s_addr, nPort, nAttemptMs))
            return true;
    }
    return false;
}

bool CUpgradeConnection::attempt(unsigned int nAddress, quint16 nPort, int nAttemptMs)
{
    // A socket whose connect failed is in no defined state: every attempt gets a new one.
    close();
    nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (nFd < 0) {
        nError = errno;
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(nPort);
    to.sin_addr.s_addr = nAddress;
    if (::connect(nFd, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0)
        return true;
    if (errno != EINPROGRESS) {
        nError = errno;
        close();
        return false;
    }
    pollfd pfd{nFd, POLLOUT, 0};
    int nReady = 0;
    do {
        nReady = ::poll(&pfd, 1, nAttemptMs);
    } while (nReady < 0 && errno == EINTR);
    if (nReady <= 0) {
        nError = nReady == 0 ? ETIMEDOUT : errno;
        close();
        return false;
    }
    int nSoError = 0;
    socklen_t nLen = sizeof(nSoError);
    if (::getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nSoError, &nLen) != 0 || nSoError != 0) {
        nError = nSoError != 0 ? nSoError : errno;
        close();
        return false;
    }
    return true;
}

CUpgradeConnection::Wait CUpgradeConnection::waitReadable(int nTimeoutMs)
{
    if (nFd < 0) {
        nError = EBADF;
        return Wait::Failed;
    }
    pollfd pfd{nFd, POLLIN, 0};
    const int nReady = ::poll(&pfd, 1, nTimeoutMs);
    if (nReady < 0) {
        if (errno == EINTR)
            return Wait::Timeout;
        nError = errno;
        return Wait::Failed;
    }
    return nReady == 0 ? Wait::Timeout : Wait::Readable;
}

int CUpgradeConnection::receive(char* pBuffer, int nMax)
{
    bWouldBlock = false;
    if (nFd < 0) {
        nError = EBADF;
        return -1;
    }
    const ssize_t nGot = ::recv(nFd, pBuffer, size_t(nMax), 0);
    if (nGot >= 0)
        return int(nGot);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        bWouldBlock = true;
        return 0;
    }
    nError = errno;
    return -1;
}
