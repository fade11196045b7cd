#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include "ConfigJson.h"

/// What one configuration page reads from a device, without widgets: its record as the device
/// returned it and what the page needs besides. Loading runs off the user-interface thread (it waits
/// for the device); the page then fills its widgets from it on the user-interface thread.
struct CPageData
{
    int nType = 0;
    /// The login handle the page was read with.
    long lLoginID = 0;
    /// False when nothing was read (login handle 0 or below): the page keeps what it shows.
    bool bLoaded = false;
    /// The page record: cleared, then read.
    QByteArray baRecord;
    /// The system-function ability record (camera, motion and encode pages), cleared, then read.
    QByteArray baFunctions;
    /// The system information record (encode page), cleared, then read.
    QByteArray baSystemInfo;
    /// Result of the page's main read: cloud 122, push 138, address assignment 37, camera
    /// parameters 94, general record 18, motion detection 24; NTP: 41 (not used by the page); encode:
    /// 1, or below 1 when its stream formats or smart-encoding records could not be read.
    long nResult = 0;
    /// Result of its second read: IP adaptive 274 (Tcp), video standard list 64 (Normal), humanoid
    /// detection 302 (motion).
    long nSecondResult = 0;
    /// Motion page: results of the voice-tip and volume queries.
    long nVoiceResult = 0;
    long nVolumeResult = 0;
    /// Normal page: the video standard names the device offers (when the list was read).
    QStringList lstNames;
    /// Motion page: the alarm sounds the device offers (when the voice-tip query succeeded).
    QVector<CVoiceTip> lstVoiceTips;
};

/// Reads what page nType shows from the device behind lLoginID (no widget is touched; safe on any
/// thread). For a handle of 0 or below nothing is read; the encode page reads for a handle of 0 as
/// well (and fails).
CPageData loadPageData(int nType, long lLoginID);

/// Device read times of the pages.
constexpr int kPageReadWaitMs = 1000;
constexpr int kTcpReadWaitMs = 5000;
