#pragma once

#include <QByteArray>
#include <QList>

#include <protocol/frame.h>
#include <protocol/messages.h>

/// The device's own upgrade-progress messages, read on the receive connection (protocol::kUpgradePort):
/// frames of the protocol's header (start byte, 16-bit message identifier at offset 14, 32-bit
/// body length at offset 16, little-endian) and a JSON body; message protocol::MsgUpgradeProgress.

constexpr int kStatusHeaderBytes = int(protocol::kHeaderSize);
/// One receive reads at most this much; a frame longer than that can never be read.
constexpr int kStatusReceiveBytes = 2048;
/// The receive buffer is filled with this byte before each receive: it marks the end of the data.
constexpr char kStatusFiller = char(0xFE);

/// "Ret" of a progress message body ({"Name":"OPSystemUpgrade","Type":"UpgradeProcess","Ret":n}),
/// or -1 for a text that is not JSON, another message, or a "Ret" that is not an unsigned integer
/// in the range of int.
int parseUpgradeStatus(const QByteArray& baJson);

/// The outcome of one scan of a receive buffer.
struct UpgradeScan
{
    enum State
    {
        Undecided, ///< no end result in this block
        Success,   ///< the device reported protocol::kUpgradeSucceeded; the scan stopped there
        Failure,   ///< the device reported protocol::kUpgradeFailed; the scan stopped there
    };
    enum Stop
    {
        End,        ///< the data (or its filler byte) ended, or an end result was read
        Incomplete, ///< a frame starting at nUsed runs past the data: its header or body is not here
        Oversized,  ///< a frame starting at nUsed declares a body that no receive can hold
    };
    State state = Undecided;
    Stop stop = End;
    QList<int> lstProgress; ///< every 0..100 value, in order
    int nFrames = 0;        ///< whole frames passed over (of any identifier)
    int nUsed = 0;          ///< bytes before the first one not consumed
};

/// Scans the first nReceived bytes of pData (at most kStatusReceiveBytes of them) for progress
/// frames, the way the receive connection reads each block: a filler byte ends the scan, bytes
/// other than 0xFF are skipped, a frame is passed over by 20 plus its body length. Nothing past
/// nReceived is ever read: a header or body cut off by the end of the data stops the scan.
UpgradeScan scanUpgradeStatus(const char* pData, int nReceived);

/// The receive buffer of the progress connection. TCP may cut a frame anywhere: the bytes of a
/// frame cut off by the end of one receive are kept and completed by the next receive.
class CUpgradeStatusReader
{
public:
    /// Where the next receive writes, and how many bytes it may write (always at least one).
    char* receiveBuffer() { return aBuffer + nKept; }
    int receiveRoom() const { return kStatusReceiveBytes - nKept; }
    /// Scans the kept bytes followed by the nGot bytes just received into receiveBuffer().
    UpgradeScan consume(int nGot);

private:
    char aBuffer[kStatusReceiveBytes] = {};
    int nKept = 0;
};
