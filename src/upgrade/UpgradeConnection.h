#pragma once

#include <QByteArray>

/// The receive connection of one device's upgrade: a TCP connection of its own to the device's
/// upgrade port, on which the device sends its progress frames while it writes firmware. Plain
/// POSIX sockets, used by one thread.
class CUpgradeConnection
{
public:
    CUpgradeConnection() = default;
    ~CUpgradeConnection();
    CUpgradeConnection(const CUpgradeConnection&) = delete;
    CUpgradeConnection& operator=(const CUpgradeConnection&) = delete;

    /// Connects to baIp (dotted IPv4) and nPort, up to nTries attempts, each bounded by
    /// nAttemptMs. With bLoopbackOnly an address outside 127.0.0.0/8 is refused without sending
    /// (error ENETUNREACH). False with error() set when every attempt failed.
    bool connectTo(const QByteArray& baIp, quint16 nPort, int nTries, int nAttemptMs, bool bLoopbackOnly);

    enum class Wait
    {
        Readable, ///< data (or the end of the connection) is there
        Timeout,
        Failed, ///< the wait itself failed (error())
    };
    /// Waits at most nTimeoutMs for the connection to become readable.
    Wait waitReadable(int nTimeoutMs);

    /// Receives at most nMax bytes into pBuffer: the count, 0 when the device closed the
    /// connection, -1 on an error (error()). A receive that would block counts as 0 bytes read
    /// only when wouldBlock() says so.
    int receive(char* pBuffer, int nMax);
    /// True when the last receive found nothing to read (not an error).
    bool wouldBlock() const { return bWouldBlock; }

    bool isOpen() const { return nFd >= 0; }
    /// The system error number of the last failure.
    int error() const { return nError; }
    void close();

private:
    bool attempt(unsigned int nAddress, quint16 nPort, int nAttemptMs);

    int nFd = -1;
    int nError = 0;
    bool bWouldBlock = false;
};
