#pragma once

#include <chrono>

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "emulatorprocess.h"

// What the window benchmarks share: an emulator fleet started as a real process on loopback, the
// Config.ini that points the window at it, and the meter of event-loop stalls.
namespace bench {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to);

using ::freeUdpPort;

/// VmRSS of this process in KiB, -1 when /proc cannot be read.
long residentKb();

/// CPU time (user + system) a process has used so far, in ms (0 = this process); -1 when /proc
/// cannot be read. The kernel counts in ticks, usually 10 ms.
double cpuMs(qint64 nPid = 0);

/// The emulator to run: the option's value, else $VANTREL_CAMSIM, else the one built beside the benchmark.
QString camsimPath(const QString& strOption, const char* szBuiltPath);

struct FleetSpec
{
    QString camsim;       ///< the emulator executable
    int count = 0;        ///< cameras
    QString firstAddress; ///< loopback address of camera 0
    int fleetId = 0;      ///< fourth byte of every MAC
    QString models;       ///< comma list given to --models
    quint16 discoveryPort = 0;
    QStringList extraArguments; ///< appended as they are (timings, ports, faults)
};

/// One emulator process (the tests' EmulatorProcess), always loopback-only. The destructor stops it.
class Fleet
{
public:
    /// Starts the emulator and waits (up to 120 s) for its "ready" line. Its stderr goes to strLogFile.
    /// False with a reason in error when it does not start or exits first.
    bool start(const FleetSpec& setup, const QString& strLogFile, QString& error);
    /// SIGTERM and wait; 0 when the emulator exited cleanly, -1 otherwise.
    int stop() { return emulator_.stop(30000) ? 0 : -1; }
    /// The "ready ..." line as the emulator printed it.
    QString readyLine() const { return emulator_.readyLine(); }
    /// The end of the emulator's stderr, for a failure report.
    QByteArray logTail(int nBytes = 4000) const { return emulator_.diagnostics().right(nBytes).toUtf8(); }
    qint64 processId() const { return emulator_.processId(); }

private:
    EmulatorProcess emulator_;
};

/// Config.ini beside the running program, written so that the window's search reaches the fleet
/// on loopback only: [Network] Broadcast=127.255.255.255, the fleet's DiscoveryPort,
/// LoopbackOnly=1, AddressCheck=device. A file that was there before is kept aside and put back by
/// the destructor (unless a crashed benchmark left it); otherwise the written file is removed. The environment
/// variables the library reads are set to the same values, so nothing else can point it elsewhere.
class ConfigIni
{
public:
    ConfigIni() = default;
    ~ConfigIni();
    ConfigIni(const ConfigIni&) = delete;
    ConfigIni& operator=(const ConfigIni&) = delete;

    bool write(quint16 nDiscoveryPort, QString& error);
    QString path() const { return strPath_; }

private:
    void restore();

    QString strPath_;
    QByteArray baPrevious_;
    bool bHadPrevious_ = false;
    bool bWritten_ = false;
};

/// The longest gap between two ticks of a precise timer on the calling thread's event loop: a
/// stall of the user-interface thread shows as a gap longer than the interval.
class StallMeter
{
public:
    explicit StallMeter(int nIntervalMs = 1);

    /// Starts ticking; the first gap counts from this moment.
    void start();
    void stop();
    double maxGapMs() const { return dMaxGapMs_; }
    /// When the longest gap ended.
    Clock::time_point maxGapEnd() const { return maxGapEnd_; }

private:
    QTimer timer_;
    Clock::time_point lastTick_;
    Clock::time_point maxGapEnd_;
    double dMaxGapMs_ = 0;
};

} // namespace bench
