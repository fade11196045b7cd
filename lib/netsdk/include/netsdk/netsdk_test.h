#pragma once

/// Test hooks of netsdk: not part of the device contract. Tests and benchmarks use them to see
/// what a live stream does when nothing can be looked at (no display, window handle 0) or to
/// time it.

#include "netsdk/netsdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/// One decoded (and, where possible, drawn) picture of a live stream, or the stream's end.
typedef struct SDK_TEST_FRAME_INFO
{
    long lRealHandle; ///< the stream
    int bEnded;       ///< 1: the stream ended on its own (the fields below are 0); lEndCode says why
    long lEndCode;    ///< SDK_ERR_SOCKET (connection lost), SDK_ERR_TIMEOUT (device silent), SDK_ERR_PROTOCOL
    int nCodec;       ///< 1 H.264, 2 H.265
    int nWidth;       ///< decoded picture size
    int nHeight;
    unsigned int nFrameNumber; ///< the device's frame number (0 = first of the stream)
    long long llCaptureMs;     ///< the device's capture time, ms since 1970 (wall clock)
    long long llShownMs;       ///< when it was drawn (or decoded, when not drawn), ms since 1970
    int nDecodeUs;             ///< time spent decoding this frame
    int bDrawn;                ///< 1 when it went into the window
    int bKeyFrame;
} SDK_TEST_FRAME_INFO;

typedef void (*fTestFrameObserver)(const SDK_TEST_FRAME_INFO* pInfo, void* pUser);

/// Registers the observer of every stream's decoded frames (NULL removes it). It is called on the
/// stream's own thread, after the frame was drawn; keep it short. No call follows
/// sdkStopRealPlay for that stream, nor this function's return with NULL.
NETSDK_API void sdkTestSetFrameObserver(fTestFrameObserver observer, void* pUser);

#ifdef __cplusplus
} // extern "C"
#endif
