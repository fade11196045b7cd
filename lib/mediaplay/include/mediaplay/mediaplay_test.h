#pragma once

/// Test hooks of mediaplay: not part of the playback interface.

#include "mediaplay/mediaplay.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Decoded audio of a port: nCount 16-bit samples at 8 kHz, on the thread that fed the data.
typedef void (*fMpTestPcmObserver)(long nPort, const short* pSamples, int nCount, void* pUser);

/// Registers the observer of every port's decoded audio (NULL removes it; no call follows the
/// return). Not to be called from inside the observer.
MEDIAPLAY_API void mpTestSetPcmObserver(fMpTestPcmObserver observer, void* pUser);
/// 1 while the port's sound output is on (an audio output runs), else 0.
MEDIAPLAY_API int mpTestSoundState(long nPort);

#ifdef __cplusplus
} // extern "C"
#endif
