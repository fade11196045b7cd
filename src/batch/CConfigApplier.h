#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

/// The ticked configuration pages' records, by page code, as the configuration dialog hands them out.
/// The batch takes it on the user-interface thread when it starts, so its worker never reads a widget
/// and every device of the batch receives the same bytes. A page whose record the dialog refused is
/// absent, as if it were not ticked.
using CConfigSnapshot = QMap<int, QByteArray>;

/// Writes the configuration pages to one logged-in device (batch command 7). Widget-free; runs on the
/// batch worker.
class CConfigApplier
{
public:
    /// Write time-outs.
    static constexpr int kWriteWaitMs = 3000;
    static constexpr int kVolumeWaitMs = 5000;
    static constexpr int kRebootWaitMs = 2000;
    static constexpr int kEntryWaitMs = 1000;       ///< the encode page's per-channel entries
    static constexpr int kEncodeWriteWaitMs = 5000; ///< the encode page's other writes

    struct Result
    {
        QString strStatus;     ///< the row text: a page's failure text, "Modify Config Success" or "Need Reboot"
        bool bFailed = false;  ///< a write failed: the batch skips the logout and the pause of this device
        bool bLoggedIn = true; ///< false after the reboot: the login is gone and must not be logged out
    };

    /// The pages of snapshot, in their fixed order (NTP, cloud, push, address assignment, camera,
    /// encode, motion, normal), written to the device behind lLoginID. The first write that fails ends
    /// the device's work with its page's failure text; writes answered -11401 count as success and
    /// lead to one reboot at the end. baVersion is the device's software version text from the login:
    /// devices of "V2.62.R07" and later take the encode page's stream formats as simplified entries
    /// (command 68), older ones as per-channel entries (19). A record of the wrong size is skipped.
    static Result apply(long lLoginID, const QByteArray& baVersion, const CConfigSnapshot& snapshot);

    /// The texts of the row, in the main window's context.
    static QString successText();
    static QString needRebootText();
};
