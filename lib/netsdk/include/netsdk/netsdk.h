#pragma once

/// netsdk: the device library. Searches cameras on the LAN, logs in to them and reads and
/// writes their configuration over the Vantrel wire protocol (docs/protocol.md).
///
/// Conventions: handles are `long` and valid above 0; a failing call returns 0, false or a
/// negative code and records the reason for sdkGetLastError() (per calling thread). Every call
/// that talks to a device is bounded by its time-out and then fails with SDK_ERR_TIMEOUT.
/// The library is thread-safe: several threads may call it at once, each on its own devices.
/// Callbacks arrive on the library's own threads.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(NETSDK_BUILD_SHARED)
#define NETSDK_API __declspec(dllexport)
#else
#define NETSDK_API
#endif

// The declarations below are aligned by hand.
// clang-format off
/* ---- error codes ------------------------------------------------------------------------ */
enum SDK_RESULT
{
    SDK_OK = 0,
    SDK_ERR_NETWORK = 0,            ///< login error output: connection lost or garbled during login
    SDK_ERR_BUSY = 7,               ///< device refuses: too many connections
    SDK_ERR_GENERAL = -10000,
    SDK_ERR_NOT_INIT = -10001,      ///< sdkInit was not called
    SDK_ERR_ILLEGAL_PARAM = -10002, ///< null pointer, bad size, bad address text
    SDK_ERR_INVALID_HANDLE = -10003,///< unknown or closed login/stream/talk handle
    SDK_ERR_NOT_SUPPORTED = -10004, ///< the operation is not available in this build of the library
    SDK_ERR_TIMEOUT = -10005,       ///< no answer within the time-out
    SDK_ERR_BUFFER_SMALL = -10006,  ///< the caller's buffer cannot hold the answer
    SDK_ERR_SOCKET = -10007,        ///< sending or receiving failed, or the device closed the connection
    SDK_ERR_PROTOCOL = -10008,      ///< the device's answer is malformed
    SDK_ERR_REFUSED_DEST = -10009,  ///< destination outside 127.0.0.0/8 while loopback-only is on
    SDK_ERR_CONFIG_REJECTED = -11200, ///< the device refused the write
    SDK_ERR_CONFIG_UNKNOWN = -11201,  ///< the device has no such configuration command
    SDK_ERR_CONFIG_SIZE = -11202,     ///< the record has the wrong size for this command
    SDK_ERR_PASSWORD = -11301,
    SDK_ERR_NO_USER = -11302,
    SDK_ERR_USER_LOCKED = -11303,
    SDK_ERR_USER_BLACKLIST = -11304,
    SDK_ERR_USER_LOGGED_IN = -11305,
    SDK_ERR_LOGIN_UNKNOWN = -11306,
    SDK_ERR_NO_DEVICE = -11307,       ///< nothing answers at the address (refused, unreachable)
    SDK_ERR_NEED_REBOOT = -11401,     ///< accepted; the device applies it after a reboot
    SDK_ERR_NO_STREAM = -11601,       ///< the device has no such channel or stream, or its video is off
    SDK_ERR_MEDIA_BUSY = -11602,      ///< the device serves no more live streams or voice talks
    SDK_ERR_MEDIA_TOKEN = -11603,     ///< the device refused the media connection's claim
    SDK_ERR_UPGRADE_MEMORY = -11804,
    SDK_ERR_UPGRADE_PACKET = -11805,
    SDK_ERR_UPGRADE_PART = -11806,
    SDK_ERR_UPGRADE_HARDWARE = -11807,
    SDK_ERR_UPGRADE_VENDOR = -11808,
    SDK_ERR_UPGRADE_COMPATIBLE = -11809,
    SDK_ERR_UPGRADE_VERSION = -11810,
    SDK_ERR_UPGRADE_WIFI = -11811
};

/* ---- records ---------------------------------------------------------------------------- */
/// One search answer, 560 bytes. Integers little-endian; texts zero-terminated.
typedef struct SDK_CONFIG_NET_COMMON_V2
{
    char hostName[64];             /* 0x000 */
    unsigned char hostIp[4];       /* 0x040 first dotted number first */
    unsigned char submask[4];      /* 0x044 */
    unsigned char gateway[4];      /* 0x048 */
    unsigned char reserved0[160];  /* 0x04C */
    int ports[8];                  /* 0x0EC [1] = service port */
    unsigned char flag;            /* 0x10C */
    char mac[32];                  /* 0x10D "xx:xx:xx:xx:xx:xx" */
    char cloudId[39];              /* 0x12D may be empty */
    int deviceKind;                /* 0x154 */
    char version[128];             /* 0x158 may be empty */
    int buildYear;                 /* 0x1D8 */
    int buildMonth;                /* 0x1DC */
    int buildDay;                  /* 0x1E0 */
    unsigned char reserved1[76];   /* 0x1E4 */
} SDK_CONFIG_NET_COMMON_V2;

/// Filled by sdkLogin; 848 bytes.
typedef struct SDK_DEVICE_INFO
{
    char version[64];              /* 0x000 software version */
    char hardwareVersion[64];      /* 0x040 */
    char modelName[64];            /* 0x080 */
    int buildYear;                 /* 0x0C0 */
    int buildMonth;                /* 0x0C4 */
    int buildDay;                  /* 0x0C8 */
    int buildHour;                 /* 0x0CC */
    int buildMinute;               /* 0x0D0 */
    int buildSecond;               /* 0x0D4 */
    int deviceKind;                /* 0x0D8 */
    int channelCount;              /* 0x0DC */
    char serial[64];               /* 0x0E0 also the cloud identifier */
    char mac[32];                  /* 0x120 */
    char reserved0[16];            /* 0x140 */
    char hardwareId[64];           /* 0x150 compared with upgrade packages */
    unsigned char reserved1[448];  /* 0x190 */
} SDK_DEVICE_INFO;

/// The 400-byte block of an address change without login (sdkSetConfigOverNet). The first 144
/// bytes are the device's network record (configuration command 20).
typedef struct SDK_NET_ADDRESS_BLOCK
{
    char hostName[64];             /* 0x000 */
    unsigned char hostIp[4];       /* 0x040 the (new) address */
    unsigned char submask[4];      /* 0x044 */
    unsigned char gateway[4];      /* 0x048 */
    int ports[8];                  /* 0x04C */
    unsigned char flag;            /* 0x06C */
    char mac[32];                  /* 0x06D the device's MAC text: selects the device */
    char userName[64];             /* 0x08D never sent: used to authenticate */
    char password[64];             /* 0x0CD never sent: used to authenticate */
    char hostMac[35];              /* 0x10D the sending PC's MAC text */
    int requestFlag;               /* 0x130 */
    unsigned char reserved[92];    /* 0x134 */
} SDK_NET_ADDRESS_BLOCK;

/* ---- callbacks ---------------------------------------------------------------------------- */
/// Upgrade progress: lUpgradeHandle, progress kind, value, user value.
typedef void (*fUpgradeCallBack)(long lLoginID, long lUpgradeHandle, int nType, int nValue, void* pUser);
/// Audio from the device during voice talk: talk handle, data (one voice frame, valid during the
/// call), length, data kind (1: audio from the device), user value. Called on a library thread.
typedef void (*fVoiceDataCallBack)(long lVoiceHandle, char* pDataBuf, long dwBufSize, char byAudioFlag, void* pUser);

/// Live stream request (live preview).
typedef struct SDK_CLIENTINFO
{
    int nChannel;     ///< channel number, 0-based
    int nStream;      ///< 0 main stream, 1 extra stream
    int nMode;        ///< 0 TCP
    int nComType;     ///< connection type; not read by this library (streams always use TCP)
    void* hWnd;       ///< native window to draw into (X11: the window id), or 0 to decode only
    void* pUser;
} SDK_CLIENTINFO;

/* ---- life cycle ------------------------------------------------------------------------- */
NETSDK_API long sdkInit(void* disconnectCallback, void* pUser);
/// waitTimeMs: default time-out of connects and logins; tryTimes: connect attempts.
NETSDK_API long sdkSetup(int waitTimeMs, int tryTimes);
NETSDK_API long sdkCleanup(void);
/// Code of the calling thread's last failure (SDK_RESULT), 0 when none.
NETSDK_API long sdkGetLastError(void);

/// Library options that the device contract leaves open; call after sdkInit.
/// broadcastList: comma-separated IPv4 broadcast addresses for search and address change
///   (NULL or "" = every running IPv4 interface's broadcast address).
/// discoveryPort: UDP port the devices listen on for search (0 = default 34569).
/// loopbackOnly: non-zero refuses every destination outside 127.0.0.0/8.
/// The environment variables VANTREL_BROADCAST, VANTREL_DISCOVERY_PORT and
/// VANTREL_LOOPBACK_ONLY=1 are read by sdkInit and give the initial values; loopback-only set by
/// the environment cannot be switched off by this call.
NETSDK_API long sdkSetNetOptions(const char* broadcastList, int discoveryPort, int loopbackOnly);

/// Frames refused as malformed since the process started: search and address-change datagrams,
/// and device answers on login connections. Works before sdkInit; sdkCleanup does not reset it.
NETSDK_API unsigned long sdkGetBadFrameCount(void);

/* ---- search and address change ---------------------------------------------------------- */
/// Broadcasts one search and collects answers for waitTimeMs or until the buffer is full.
/// Writes whole SDK_CONFIG_NET_COMMON_V2 records; *pRetLength = bytes written. Returns non-zero
/// on success (also when nothing answered).
NETSDK_API int sdkSearchDevice(char* szBuf, int nBufLen, int* pRetLength, int nSearchTime);

/// Changes a device's network settings without login. nType must be 20; nMode 1 or 254;
/// pBlock an SDK_NET_ADDRESS_BLOCK of nSize (400) bytes. Returns 1 on success, SDK_ERR_TIMEOUT,
/// SDK_ERR_NEED_REBOOT, or another negative code.
NETSDK_API long sdkSetConfigOverNet(int nType, int nMode, char* pBlock, unsigned long nSize, int nWaitTime);

/* ---- login ---------------------------------------------------------------------------------- */
/// Returns a login handle above 0, or 0 with *nError set (SDK_RESULT; 0 = network error).
NETSDK_API long sdkLogin(const char* szDeviceAddress, unsigned short wDevicePort, const char* szUserName,
                         const char* szPassword, SDK_DEVICE_INFO* lpDeviceInfo, int nType, int* nError);
NETSDK_API long sdkLogout(long lLoginID);

/* ---- configuration ---------------------------------------------------------------------------- */
/// Reads configuration command dwCommand on nChannelNO (-1 = whole device). Returns above 0
/// when read; *lpBytesReturned = record size.
NETSDK_API long sdkGetConfig(long lLoginID, unsigned long dwCommand, int nChannelNO, char* lpOutBuffer,
                             unsigned long dwOutBufferSize, unsigned long* lpBytesReturned, int waittime);
/// Writes configuration command dwCommand. Returns 1 when stored, SDK_ERR_NEED_REBOOT when the
/// device applies it after a reboot, a negative code on failure.
NETSDK_API long sdkSetConfig(long lLoginID, unsigned long dwCommand, int nChannelNO, char* lpInBuffer,
                             unsigned long dwInBufferSize, int waittime);
/// JSON configuration read: the device's reply text (zero-terminated) in szOutBuffer.
/// Returns 1 on success.
NETSDK_API long sdkGetDevConfigJson(long lLoginID, const char* szCommandName, int nCommand, int nChannelNO,
                                    char* szOutBuffer, int nOutBufferSize, int* pRetLength, int waittime);
/// JSON configuration write. Returns 1 on success, SDK_ERR_NEED_REBOOT or a negative code.
NETSDK_API long sdkSetDevConfigJson(long lLoginID, const char* szCommandName, int nCommand, int nChannelNO,
                                    const char* szInBuffer, int nInBufferSize, int waittime);
/// Channel ability in JSON: the device's reply text in szOutBuffer. Returns 1 on success.
NETSDK_API long sdkGetChannelAbilityJson(long lLoginID, const char* szCommandName, int nChannelNO,
                                         char* szOutBuffer, int nOutBufferSize, int* pRetLength, int waittime);

/* ---- control ------------------------------------------------------------------------------- */
/// nType 0 = reboot. Returns non-zero on success.
NETSDK_API int sdkControlDevice(long lLoginID, int nType, int waittime);

/* ---- upgrade ------------------------------------------------------------------------------- */
/// Sends the package at sFileName (local 8-bit path) and starts the upgrade. Returns an upgrade
/// handle above 0, else 0.
NETSDK_API long sdkStartUpgrade(long lLoginID, const char* sFileName, int nType, fUpgradeCallBack cbUpgrade,
                                void* pUser);
NETSDK_API long sdkCloseUpgrade(long lUpgradeHandle);

/* ---- live stream --------------------------------------------------------------------------- */
/// Starts the live stream of a channel: received, decoded and drawn into lpClientInfo->hWnd
/// (scaled to fill it) on a library thread. Returns a stream handle above 0, else 0 (last error:
/// the device's refusal such as SDK_ERR_NO_STREAM, or the connection's failure).
NETSDK_API long sdkStartRealPlay(long lLoginID, SDK_CLIENTINFO* lpClientInfo);
/// Stops the stream and waits for its thread (promptly); a window handle other than 0 is painted
/// black. Returns 1, or 0 for an unknown handle.
NETSDK_API long sdkStopRealPlay(long lRealHandle, void* hWnd);
/// Paints the stream's window black; the stream goes on and draws its next picture. Returns 1.
NETSDK_API long sdkRealPlayReset(long lRealHandle, int nReserved1, int nReserved2);

/* ---- voice talk ---------------------------------------------------------------------------- */
/// Opens a voice talk: the device's audio arrives through pVcb on a library thread. Returns a
/// talk handle above 0, else 0.
NETSDK_API long sdkStartVoiceCom(long lLoginID, fVoiceDataCallBack pVcb, void* pUser);
/// Sends one voice frame (1 to 4096 bytes, passed unchanged). Returns 1 when sent.
NETSDK_API int sdkSendVoiceData(long lVoiceHandle, char* pSendBuf, long lBufSize);
/// Ends the talk: every frame sent before reaches the device; no callback follows the return.
NETSDK_API long sdkStopVoiceCom(long lVoiceHandle);

#ifdef __cplusplus
} // extern "C"

static_assert(sizeof(SDK_CONFIG_NET_COMMON_V2) == 560, "search record is 560 bytes");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, ports) == 0x0EC, "search record layout");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, mac) == 0x10D, "search record layout");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, cloudId) == 0x12D, "search record layout");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, deviceKind) == 0x154, "search record layout");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, version) == 0x158, "search record layout");
static_assert(offsetof(SDK_CONFIG_NET_COMMON_V2, buildYear) == 0x1D8, "search record layout");
static_assert(sizeof(SDK_DEVICE_INFO) == 848, "device information block is 848 bytes");
static_assert(offsetof(SDK_DEVICE_INFO, buildYear) == 0x0C0, "device information layout");
static_assert(offsetof(SDK_DEVICE_INFO, serial) == 0x0E0, "device information layout");
static_assert(offsetof(SDK_DEVICE_INFO, hardwareId) == 0x150, "device information layout");
static_assert(sizeof(SDK_NET_ADDRESS_BLOCK) == 400, "address block is 400 bytes");
static_assert(offsetof(SDK_NET_ADDRESS_BLOCK, mac) == 109, "address block layout");
static_assert(offsetof(SDK_NET_ADDRESS_BLOCK, userName) == 141, "address block layout");
static_assert(offsetof(SDK_NET_ADDRESS_BLOCK, password) == 205, "address block layout");
static_assert(offsetof(SDK_NET_ADDRESS_BLOCK, hostMac) == 269, "address block layout");
static_assert(offsetof(SDK_NET_ADDRESS_BLOCK, requestFlag) == 304, "address block layout");
#endif
// clang-format on
