#pragma once

// The only place that knows the system's socket calls. Everything above it speaks in Socket,
// Endpoint and IoStatus, so a port to another socket API replaces socket_io.cpp alone.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace netsdk::net {

#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif
extern const Socket kInvalidSocket;

using Ip4 = std::array<std::uint8_t, 4>;

struct Endpoint
{
    Ip4 ip{};
    std::uint16_t port = 0;
};

enum class IoStatus
{
    Ok,
    WouldBlock,  ///< nothing could be done without waiting
    Closed,      ///< the peer closed the connection
    Refused,     ///< nothing listens there (connection refused or reset)
    Unreachable, ///< no route to the address
    Failed       ///< any other error
};

enum class WaitResult
{
    Ready,
    Timeout,
    Failed
};

/// A non-blocking TCP socket, or kInvalidSocket.
Socket openTcp();
/// A non-blocking UDP socket bound to 0.0.0.0:0, or kInvalidSocket.
Socket openUdp();
void closeSocket(Socket s);
/// Stops all traffic on the socket without releasing its descriptor; wakes a thread blocked on it.
void shutdownSocket(Socket s);

/// Ok when connected at once, WouldBlock while the connection is under way.
IoStatus startConnect(Socket s, const Endpoint& to);
/// The outcome of a connection under way, once the socket became writable.
IoStatus finishConnect(Socket s);

/// Waits for the socket to become readable/writable, at most ms milliseconds (0 = only look).
WaitResult waitReadable(Socket s, int ms);
WaitResult waitWritable(Socket s, int ms);
/// Waits ms milliseconds without a socket (spacing between connection attempts).
void pause(int ms);

IoStatus sendSome(Socket s, const std::uint8_t* data, std::size_t size, std::size_t& sent);
/// Sends `first` and then `second` (a frame's header and body) in one call, as far as the socket
/// takes them; `sent` counts from the start of `first`.
IoStatus sendPair(Socket s, const std::uint8_t* first, std::size_t firstSize, const std::uint8_t* second,
                  std::size_t secondSize, std::size_t& sent);
/// sendSome for bytes that more bytes follow at once: the system may hold them back to send them
/// together with those.
IoStatus sendSomeMore(Socket s, const std::uint8_t* data, std::size_t size, std::size_t& sent);
/// Sends up to `size` bytes of the open file `file` from `offset`, as far as the socket takes them,
/// without copying them through the process where the system can. Failed when the file has no byte
/// at `offset` (it ended early).
IoStatus sendFileSome(Socket s, int file, std::int64_t offset, std::size_t size, std::size_t& sent);
IoStatus recvSome(Socket s, std::uint8_t* data, std::size_t size, std::size_t& received);
IoStatus sendTo(Socket s, const Endpoint& to, const std::uint8_t* data, std::size_t size);
/// One datagram; `truncated` is set when it did not fit into the buffer.
IoStatus recvFrom(Socket s, std::uint8_t* data, std::size_t size, std::size_t& received, Endpoint& from,
                  bool& truncated);

bool enableBroadcast(Socket s);
/// Asks for a receive buffer of at least `bytes`; the system may grant less.
void raiseReceiveBuffer(Socket s, int bytes);

/// The broadcast address of every running IPv4 interface that has one.
std::vector<Ip4> interfaceBroadcasts();

/// The address and port a connected socket talks to; false when it has none.
bool peerOf(Socket s, Endpoint& out);
/// Small writes leave at once instead of waiting to be coalesced (timed media frames).
void setNoDelay(Socket s);
/// Stops sending only: the peer reads the end of the stream after what was sent; this side still reads.
void shutdownSend(Socket s);

} // namespace netsdk::net
