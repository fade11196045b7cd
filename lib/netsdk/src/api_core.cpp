// Life cycle, options and last error.

#include <string>

#include "deadline.h"
#include "library_state.h"
#include "netsdk/netsdk.h"
#include "session.h"

using namespace netsdk;

long sdkInit(void* disconnectCallback, void* pUser)
{
    // The disconnect callback is not called in this version: a lost connection shows as
    // SDK_ERR_SOCKET on the next call on that login.
    initialise();
    return 1;
}

long sdkSetup(int waitTimeMs, int tryTimes)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    if (waitTimeMs <= 0 || tryTimes <= 0)
        return failZero(SDK_ERR_ILLEGAL_PARAM);
    const bool ok = updateOptions([&](Options& o) {
        o.waitMs = waitTimeMs;
        o.tries = tryTimes;
    });
    if (!ok)
        return failZero(SDK_ERR_NOT_INIT);
    return 1;
}

long sdkCleanup(void)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    // Release only closes the connections that are still open: a device sees the session end
    // at once. Callers that want to say goodbye log out first (sdkLogout), so release never
    // waits on a device that no longer answers.
    // Upgrades end first: their threads hold sessions and call back into the program.
    stopAllUpgrades();
    stopAllMedia();
    for (const auto& session : shutdownState())
        session->close();
    return 1;
}

long sdkGetLastError(void)
{
    return lastError();
}

long sdkSetNetOptions(const char* broadcastList, int discoveryPort, int loopbackOnly)
{
    if (!isInitialised())
        return failZero(SDK_ERR_NOT_INIT);
    std::vector<net::Ip4> list;
    if (discoveryPort < 0 || discoveryPort > 65535 || (broadcastList && !parseBroadcastList(broadcastList, list)))
        return failZero(SDK_ERR_ILLEGAL_PARAM);
    const bool ok = updateOptions([&](Options& o) {
        o.broadcast = list;
        o.discoveryPort = static_cast<std::uint16_t>(discoveryPort);
        o.loopbackOnly = o.loopbackForced || loopbackOnly != 0;
    });
    if (!ok)
        return failZero(SDK_ERR_NOT_INIT);
    return 1;
}

unsigned long sdkGetBadFrameCount(void)
{
    return badFrameCount();
}
