// The ports: state, the stream bytes not decoded yet, and the decoded audio (docs in the header).

#include "mediaplay/mediaplay.h"
#include "mediaplay/mediaplay_test.h"

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include <protocol/media.h>

#include "audio_output.h"
#include "g711.h"
#include "ports.h"

namespace mediaplay {

namespace {

constexpr unsigned long kMinPool = 4 * 1024;
constexpr unsigned long kMaxPool = 64u * 1024 * 1024;
// Decoded audio waiting for the output: one second at most; older audio is dropped, so a port
// whose sound is off (or an output that stalled) never lags behind the stream.
constexpr std::size_t kMaxQueuedSamples = 8000;

struct Port
{
    std::mutex mutex;
    bool open = false;
    bool playing = false;
    std::vector<std::uint8_t> header;
    std::size_t pool = 0;
    std::vector<std::uint8_t> raw; ///< fed and not decoded yet
    std::deque<std::int16_t> pcm;  ///< decoded, not played yet
};

std::array<Port, MP_MAX_PORT> g_ports;

thread_local long t_lastError = MP_OK;

std::shared_mutex g_observerMutex;
fMpTestPcmObserver g_observer = nullptr;
void* g_observerUser = nullptr;

int fail(long code)
{
    t_lastError = code;
    return 0;
}

bool validPort(long port)
{
    return port >= 0 && port < MP_MAX_PORT;
}

/// Decodes every whole voice frame of the port's raw bytes into its queue; returns the samples
/// decoded (for the observer). Bytes that cannot start a frame are skipped one at a time.
std::vector<std::int16_t> decodeLocked(Port& p)
{
    std::vector<std::int16_t> out;
    std::size_t pos = 0;
    while (pos < p.raw.size()) {
        const protocol::VoiceFrame f = protocol::parseVoiceFrame(p.raw.data() + pos, p.raw.size() - pos);
        if (f.status == protocol::ParseStatus::Incomplete)
            break;
        if (f.status == protocol::ParseStatus::Bad) {
            ++pos;
            continue;
        }
        if (f.coding == protocol::kVoiceCodingAlaw)
            for (std::size_t i = 0; i < f.payloadSize; ++i)
                out.push_back(alawToLinear(f.payload[i]));
        pos += f.used;
    }
    p.raw.erase(p.raw.begin(), p.raw.begin() + static_cast<std::ptrdiff_t>(pos));
    p.pcm.insert(p.pcm.end(), out.begin(), out.end());
    if (p.pcm.size() > kMaxQueuedSamples)
        p.pcm.erase(p.pcm.begin(), p.pcm.begin() + static_cast<std::ptrdiff_t>(p.pcm.size() - kMaxQueuedSamples));
    return out;
}

void observe(long port, const std::vector<std::int16_t>& samples)
{
    if (samples.empty())
        return;
    std::shared_lock<std::shared_mutex> lock(g_observerMutex);
    if (g_observer)
        g_observer(port, samples.data(), static_cast<int>(samples.size()), g_observerUser);
}

} // namespace

void takeSamples(int port, std::int16_t* out, std::size_t count)
{
    std::size_t n = 0;
    if (validPort(port)) {
        Port& p = g_ports[static_cast<std::size_t>(port)];
        std::lock_guard<std::mutex> lock(p.mutex);
        if (p.playing) {
            n = std::min(count, p.pcm.size());
            std::copy(p.pcm.begin(), p.pcm.begin() + static_cast<std::ptrdiff_t>(n), out);
            p.pcm.erase(p.pcm.begin(), p.pcm.begin() + static_cast<std::ptrdiff_t>(n));
        }
    }
    std::fill(out + n, out + count, std::int16_t(0));
}

} // namespace mediaplay

using namespace mediaplay;

int mpOpenStream(long nPort, const unsigned char* pHeader, unsigned long nHeaderSize, unsigned long nBufPoolSize)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    if ((nHeaderSize > 0 && !pHeader) || nBufPoolSize < kMinPool || nBufPoolSize > kMaxPool)
        return fail(MP_ERR_PARAM);
    Port& p = g_ports[static_cast<std::size_t>(nPort)];
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.open)
        return fail(MP_ERR_ORDER);
    p.open = true;
    p.playing = false;
    p.header.assign(pHeader, pHeader + nHeaderSize);
    p.pool = nBufPoolSize;
    p.raw.clear();
    p.pcm.clear();
    return 1;
}

int mpCloseStream(long nPort)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    Port& p = g_ports[static_cast<std::size_t>(nPort)];
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.open)
        return fail(MP_ERR_ORDER);
    p.open = false;
    p.playing = false;
    p.header.clear();
    p.raw.clear();
    p.raw.shrink_to_fit();
    p.pcm.clear();
    return 1;
}

int mpPlay(long nPort, void*)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    Port& p = g_ports[static_cast<std::size_t>(nPort)];
    std::vector<std::int16_t> decoded;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        if (!p.open)
            return fail(MP_ERR_ORDER);
        p.playing = true;
        decoded = decodeLocked(p); // what arrived before the start
    }
    observe(nPort, decoded);
    return 1;
}

int mpStop(long nPort)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    Port& p = g_ports[static_cast<std::size_t>(nPort)];
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.open)
        return fail(MP_ERR_ORDER);
    p.playing = false;
    p.raw.clear();
    p.pcm.clear();
    return 1;
}

int mpInputData(long nPort, const unsigned char* pBuf, unsigned long nSize)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    if (!pBuf && nSize > 0)
        return fail(MP_ERR_PARAM);
    Port& p = g_ports[static_cast<std::size_t>(nPort)];
    std::vector<std::int16_t> decoded;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        if (!p.open)
            return fail(MP_ERR_ORDER);
        if (nSize > p.pool - std::min(p.pool, p.raw.size()))
            return fail(MP_ERR_BUFFER_FULL);
        p.raw.insert(p.raw.end(), pBuf, pBuf + nSize);
        if (p.playing)
            decoded = decodeLocked(p);
    }
    observe(nPort, decoded);
    return 1;
}

int mpSoundOn(long nPort)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    const int rc = soundOn(static_cast<int>(nPort));
    return rc == MP_OK ? 1 : fail(rc);
}

int mpSoundOff(long nPort)
{
    if (!validPort(nPort))
        return fail(MP_ERR_PORT);
    soundOff(static_cast<int>(nPort));
    return 1;
}

long mpGetLastError(void)
{
    return t_lastError;
}

void mpTestSetPcmObserver(fMpTestPcmObserver observer, void* pUser)
{
    std::unique_lock<std::shared_mutex> lock(g_observerMutex);
    g_observer = observer;
    g_observerUser = pUser;
}

int mpTestSoundState(long nPort)
{
    return validPort(nPort) && soundIsOn(static_cast<int>(nPort)) ? 1 : 0;
}
