#pragma once

/// mediaplay: the playback library. Numbered ports each take a stream of voice frames (8-byte
/// header and payload, as a device's voice talk delivers them), decode 8 kHz G.711 A-law to
/// 16-bit PCM and play it on the default audio output through Qt Multimedia.
///
/// A port is opened (mpOpenStream), started (mpPlay), fed (mpInputData), stopped (mpStop) and
/// closed (mpCloseStream); its sound output is switched on and off on its own (mpSoundOn,
/// mpSoundOff), also for a port that has no stream open (it then plays silence). Calls return
/// non-zero on success; on failure 0, with the reason for mpGetLastError() (per calling thread).
/// Any thread may call; sound output needs a Qt application object in the process.

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(MEDIAPLAY_BUILD_SHARED)
#define MEDIAPLAY_API __declspec(dllexport)
#else
#define MEDIAPLAY_API
#endif

enum MP_RESULT
{
    MP_OK = 0,
    MP_ERR_PORT = 1,          ///< port number outside 0..MP_MAX_PORT-1
    MP_ERR_ORDER = 2,         ///< not in this state (stream not open, already open, not playing)
    MP_ERR_PARAM = 3,         ///< null data, a buffer pool size outside 4 KiB..64 MiB
    MP_ERR_BUFFER_FULL = 4,   ///< the stream's buffer pool cannot take the data (dropped)
    MP_ERR_NO_OUTPUT = 5,     ///< no audio output device, or it refused the format
    MP_ERR_NO_APPLICATION = 6 ///< sound output needs a Qt application object
};

#define MP_MAX_PORT 500

/// Opens port nPort's stream. The header (nHeaderSize bytes, may be 0) describes the stream and
/// is kept; nBufPoolSize bounds the bytes held undecoded.
MEDIAPLAY_API int mpOpenStream(long nPort, const unsigned char* pHeader, unsigned long nHeaderSize,
                               unsigned long nBufPoolSize);
/// Closes the stream (stopping it first); the port's sound switch stays as it is.
MEDIAPLAY_API int mpCloseStream(long nPort);
/// Starts decoding the stream's data for output. hWnd: no picture is shown (audio streams); ignored.
MEDIAPLAY_API int mpPlay(long nPort, void* hWnd);
/// Stops playing; audio not played yet is dropped.
MEDIAPLAY_API int mpStop(long nPort);
/// Feeds stream bytes: voice frames, in whole or in parts. Frames of other codings are skipped.
MEDIAPLAY_API int mpInputData(long nPort, const unsigned char* pBuf, unsigned long nSize);
/// Switches the port's sound output on: an output on the default audio device plays what the
/// port decodes (silence while it has nothing). Fails cleanly with MP_ERR_NO_OUTPUT when there is
/// no audio device.
MEDIAPLAY_API int mpSoundOn(long nPort);
/// Switches the port's sound output off (also when it was not on).
MEDIAPLAY_API int mpSoundOff(long nPort);
MEDIAPLAY_API long mpGetLastError(void);

#ifdef __cplusplus
} // extern "C"
#endif
