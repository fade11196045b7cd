// Firmware upgrade: the package file is sent unchanged over the login's connection on a thread of
// its own, and the transfer and the device's firmware write are reported through the caller's
// callback (see docs/protocol.md, "Upgrade").

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <protocol/codec.h>
#include <protocol/messages.h>

#include "deadline.h"
#include "library_state.h"
#include "netsdk/netsdk.h"
#include "onvif_client.h"
#include "session.h"

using namespace netsdk;

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
// How often a waiting upgrade thread looks whether it was closed.
constexpr int kPollMs = 50;
// A device that says nothing for this long (and longer than the library's wait time) is lost.
constexpr int kMinSilenceMs = 10000;

// Values of the callback's nValue that end an upgrade (nType is then the package size).
constexpr int kReportSuccess = -1;
constexpr int kReportFailure = -2;
// nType of the device's firmware-write progress.
constexpr int kWriteProgress = -1;

struct Upgrade
{
    long handle = 0;
    long login = 0;
    std::shared_ptr<Session> session;
    std::FILE* file = nullptr;
    std::string name;
    long size = 0;
    fUpgradeCallBack callback = nullptr;
    void* user = nullptr;

    // Held around every callback; close takes it, so no callback runs after close returns. A
    // callback that closes its own upgrade takes it again on the same thread.
    std::recursive_mutex callbackMutex;
    bool closed = false;
    std::atomic<bool> stop{false};
    std::thread thread;
    std::promise<int> accepted; ///< the device's answer to the start request (SDK_OK or a code)
    std::promise<void> go;      ///< set once sdkStartUpgrade has the handle registered

    ~Upgrade()
    {
        if (file)
            std::fclose(file);
    }
};

std::mutex g_mutex; // guards g_upgrades
std::map<long, std::shared_ptr<Upgrade>> g_upgrades;

void report(Upgrade& u, int total, int value)
{
    std::lock_guard<std::recursive_mutex> lock(u.callbackMutex);
    if (!u.closed && u.callback)
        u.callback(u.login, u.handle, total, value, u.user);
}

int silenceMs()
{
    return std::max(options().waitMs, kMinSilenceMs);
}

/// One JSON answer with a "Ret" member; false when the body is not one.
bool readRet(const protocol::Frame& frame, std::int64_t& ret)
{
    Json::Value body;
    return protocol::decodeJsonObject(frame.body.data(), frame.body.size(), body) == protocol::DecodeStatus::Ok &&
           protocol::getInt(body, "Ret", ret);
}

/// The code a failed device result is reported with: the device's own code when it is one of the
/// contract's error codes (below -2), else plain failure.
int failureCode(std::int64_t ret)
{
    return ret < kReportFailure && ret >= INT32_MIN ? static_cast<int>(ret) : kReportFailure;
}

class Transfer
{
public:
    Transfer(Upgrade& u, FrameChannel& channel, std::uint32_t sessionId, std::uint32_t& sequence)
        : u_(u), channel_(channel), sessionId_(sessionId), sequence_(sequence)
    {
    }

    /// Runs the whole upgrade; settles u.accepted exactly once.
    int run()
    {
        const int start = requestStart();
        u_.accepted.set_value(start);
        if (start != SDK_OK)
            return start;
        u_.go.get_future().wait();
        if (!sendPackage())
            return SDK_OK;
        if (!checked_ && !awaitCheck())
            return SDK_OK;
        awaitWrite();
        return SDK_OK;
    }

private:
    enum class Wait
    {
        Frame,
        Stopped,
        Lost ///< the connection is gone, bad bytes arrived or the device fell silent
    };

    int requestStart()
    {
        Json::Value body(Json::objectValue);
        body["Size"] = static_cast<Json::Int64>(u_.size);
        body["Name"] = u_.name;
        startSequence_ = ++sequence_;
        const Deadline deadline(options().waitMs);
        if (send(protocol::MsgUpgradeStart, protocol::encodeJson(body), deadline) != FrameChannel::Status::Ok)
            return channel_.isOpen() ? SDK_ERR_TIMEOUT : SDK_ERR_SOCKET;
        for (;;) {
            protocol::Frame frame;
            switch (channel_.receive(frame, deadline)) {
            case FrameChannel::Status::Ok:
                break;
            case FrameChannel::Status::Timeout:
                return SDK_ERR_TIMEOUT;
            case FrameChannel::Status::Bad:
                return reject();
            case FrameChannel::Status::Closed:
                return SDK_ERR_SOCKET;
            }
            if (frame.header.sequence != startSequence_) {
                if (deadline.expired())
                    return SDK_ERR_TIMEOUT;
                continue; // a late answer to an earlier request
            }
            std::int64_t ret = 0;
            if (frame.header.messageId != protocol::MsgUpgradeStartAnswer || !readRet(frame, ret))
                return reject();
            if (ret == protocol::kRetOk)
                return SDK_OK;
            return ret < 0 && ret >= INT32_MIN ? static_cast<int>(ret) : SDK_ERR_GENERAL;
        }
    }

    /// Streams the file. False when the upgrade ended here (reported, or closed by the caller).
    bool sendPackage()
    {
        long sent = 0;
        int lastPercent = -1;
        while (sent < u_.size) {
            if (u_.stop.load()) {
                abortTransfer();
                return false;
            }
            const std::size_t want = std::min<std::size_t>(kChunkSize, static_cast<std::size_t>(u_.size - sent));
            if (!fileHolds(sent + static_cast<long>(want))) {
                // The file shrank or became unreadable after the start.
                abortTransfer();
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return false;
            }
            // Straight from the file to the socket; a file that shrinks even so within the chunk
            // leaves the frame unfinished, and the connection is shut.
            if (sendChunk(sent, want) != FrameChannel::Status::Ok) {
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return false;
            }
            sent += static_cast<long>(want);
            // The chunk is on its way whatever the device says next: its progress is reported first,
            // so a refusal right behind the last chunk still follows a report of the whole size.
            const int percent = static_cast<int>(static_cast<long long>(sent) * 100 / u_.size);
            if (percent != lastPercent) {
                lastPercent = percent;
                report(u_, static_cast<int>(u_.size), static_cast<int>(sent));
            }
            // The device may refuse before the end (it only answers when something is wrong).
            if (earlyCheck())
                return false;
        }
        return true;
    }

    bool fileHolds(long end) const
    {
        struct stat st;
        return ::fstat(fileno(u_.file), &st) == 0 && st.st_size >= end;
    }

    /// True when the device already ended the upgrade (reported).
    bool earlyCheck()
    {
        protocol::Frame frame;
        switch (channel_.receive(frame, Deadline(0))) {
        case FrameChannel::Status::Timeout:
            return false;
        case FrameChannel::Status::Ok:
            if (frame.header.sequence != startSequence_)
                return false;
            // An accepted check can come this early too (behind the last chunk): it is not waited for again.
            if (handleCheck(frame))
                return true;
            checked_ = true;
            return false;
        case FrameChannel::Status::Bad:
            reject();
            break;
        case FrameChannel::Status::Closed:
            break;
        }
        report(u_, static_cast<int>(u_.size), kReportFailure);
        return true;
    }

    /// True when the check ended the upgrade (reported); false when the device accepted the package.
    bool handleCheck(const protocol::Frame& frame)
    {
        std::int64_t ret = 0;
        if (frame.header.messageId != protocol::MsgUpgradeCheck || !readRet(frame, ret)) {
            reject();
            report(u_, static_cast<int>(u_.size), kReportFailure);
            return true;
        }
        if (ret == protocol::kRetOk)
            return false;
        report(u_, static_cast<int>(u_.size), failureCode(ret));
        return true;
    }

    bool awaitCheck()
    {
        protocol::Frame frame;
        for (;;) {
            const Wait w = next(frame);
            if (w == Wait::Stopped)
                return false;
            if (w == Wait::Lost) {
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return false;
            }
            if (frame.header.sequence == startSequence_)
                return !handleCheck(frame);
        }
    }

    void awaitWrite()
    {
        protocol::Frame frame;
        for (;;) {
            const Wait w = next(frame);
            if (w == Wait::Stopped)
                return;
            std::int64_t ret = 0;
            if (w == Wait::Lost) {
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return;
            }
            if (frame.header.sequence != startSequence_)
                continue;
            if (frame.header.messageId != protocol::MsgUpgradeState || !readRet(frame, ret)) {
                reject();
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return;
            }
            if (ret >= 0 && ret <= 100) {
                report(u_, kWriteProgress, static_cast<int>(ret));
            } else if (ret == protocol::kUpgradeSucceeded) {
                report(u_, static_cast<int>(u_.size), kReportSuccess);
                return;
            } else if (ret == protocol::kUpgradeFailed) {
                report(u_, static_cast<int>(u_.size), kReportFailure);
                return;
            }
        }
    }

    /// The next frame, waiting in short slices so that a close is seen at once; Lost after the
    /// device's silence limit.
    Wait next(protocol::Frame& frame)
    {
        const Deadline silence(silenceMs());
        for (;;) {
            if (u_.stop.load())
                return Wait::Stopped;
            switch (channel_.receive(frame, silence.capped(kPollMs))) {
            case FrameChannel::Status::Ok:
                return Wait::Frame;
            case FrameChannel::Status::Timeout:
                if (silence.expired())
                    return Wait::Lost;
                continue;
            case FrameChannel::Status::Bad:
                reject();
                return Wait::Lost;
            case FrameChannel::Status::Closed:
                return Wait::Lost;
            }
        }
    }

    FrameChannel::Status send(std::uint16_t id, const std::vector<std::uint8_t>& body, const Deadline& deadline)
    {
        protocol::FrameHeader h;
        h.sessionId = sessionId_;
        h.sequence = startSequence_;
        h.messageId = id;
        const FrameChannel::Status st = channel_.send(h, body, deadline);
        if (st == FrameChannel::Status::Timeout)
            channel_.shut(); // a device that stopped reading cannot take the rest either
        return st;
    }

    FrameChannel::Status sendChunk(long offset, std::size_t size)
    {
        protocol::FrameHeader h;
        h.sessionId = sessionId_;
        h.sequence = startSequence_;
        h.messageId = protocol::MsgUpgradeData;
        const FrameChannel::Status st = channel_.sendFile(h, fileno(u_.file), offset, size, Deadline(silenceMs()));
        if (st == FrameChannel::Status::Timeout)
            channel_.shut();
        return st;
    }

    /// Tells the device to drop the partial package, so the login stays usable.
    void abortTransfer()
    {
        send(protocol::MsgUpgradeAbort, protocol::encodeJson(Json::Value(Json::objectValue)),
             Deadline(options().waitMs));
    }

    int reject()
    {
        countBadFrame();
        channel_.shut();
        return SDK_ERR_PROTOCOL;
    }

    Upgrade& u_;
    FrameChannel& channel_;
    std::uint32_t sessionId_;
    std::uint32_t& sequence_;
    std::uint32_t startSequence_ = 0;
    bool checked_ = false; ///< the device accepted the package already
};

void runUpgrade(const std::shared_ptr<Upgrade>& u)
{
    const int rc = u->session->exclusive(Deadline(options().waitMs),
                                         [&](FrameChannel& channel, std::uint32_t sessionId, std::uint32_t& sequence) {
                                             return Transfer(*u, channel, sessionId, sequence).run();
                                         });
    // The connection was busy or gone before the start request: the caller is still waiting.
    if (rc == SDK_ERR_TIMEOUT || rc == SDK_ERR_SOCKET) {
        try {
            u->accepted.set_value(rc);
        } catch (const std::future_error&) {
            // already settled by the transfer
        }
    }
}

/// Marks the upgrade closed (no callback after this returns) and ends its thread: joined, or
/// left to finish on its own when the call comes from inside its own callback.
void finish(const std::shared_ptr<Upgrade>& u)
{
    {
        std::lock_guard<std::recursive_mutex> lock(u->callbackMutex);
        u->closed = true;
    }
    u->stop.store(true);
    if (!u->thread.joinable())
        return;
    if (u->thread.get_id() == std::this_thread::get_id())
        u->thread.detach(); // it returns from the callback and ends without reporting again
    else
        u->thread.join();
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 255)
        name.resize(255);
    return name;
}

} // namespace

namespace netsdk {

void stopAllUpgrades()
{
    std::vector<std::shared_ptr<Upgrade>> all;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (auto& entry : g_upgrades)
            all.push_back(std::move(entry.second));
        g_upgrades.clear();
    }
    for (const auto& u : all)
        finish(u);
    onvif::stopAllUpgrades();
}

} // namespace netsdk

long sdkStartUpgrade(long lLoginID, const char* sFileName, int nType, fUpgradeCallBack cbUpgrade, void* pUser)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    if (const auto device = findOnvifSession(lLoginID))
        return onvif::startUpgrade(lLoginID, device, sFileName, cbUpgrade, pUser);
    std::shared_ptr<Session> session = findSession(lLoginID);
    if (!session)
        return failZero(SDK_ERR_INVALID_HANDLE);
    if (!sFileName || !*sFileName)
        return failZero(SDK_ERR_ILLEGAL_PARAM);

    auto u = std::make_shared<Upgrade>();
    u->file = std::fopen(sFileName, "rb");
    long size = -1;
    if (u->file && std::fseek(u->file, 0, SEEK_END) == 0) {
        size = std::ftell(u->file);
        if (std::fseek(u->file, 0, SEEK_SET) != 0)
            size = -1;
    }
    if (size <= 0 || static_cast<unsigned long>(size) > protocol::kMaxUpgradePackage)
        return failZero(SDK_ERR_ILLEGAL_PARAM); // unreadable, empty, or larger than a device takes
    u->login = lLoginID;
    u->session = std::move(session);
    u->name = baseName(sFileName);
    u->size = size;
    u->callback = cbUpgrade;
    u->user = pUser;
    u->handle = nextUpgradeHandle();

    std::future<int> accepted = u->accepted.get_future();
    u->thread = std::thread([u] { runUpgrade(u); });
    const int rc = accepted.get();
    if (rc != SDK_OK) {
        u->thread.join();
        return failZero(rc);
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_upgrades.emplace(u->handle, u);
    }
    u->go.set_value();
    return u->handle;
}

long sdkCloseUpgrade(long lUpgradeHandle)
{
    if (onvif::closeUpgrade(lUpgradeHandle))
        return 1;
    std::shared_ptr<Upgrade> u;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto it = g_upgrades.find(lUpgradeHandle);
        if (it != g_upgrades.end()) {
            u = std::move(it->second);
            g_upgrades.erase(it);
        }
    }
    if (!u)
        return failZero(SDK_ERR_INVALID_HANDLE);
    finish(u);
    return 1;
}
