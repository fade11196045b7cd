#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

/// Runs vantrel-camsim ($VANTREL_CAMSIM) as a child process for one test: a private discovery
/// port, a private range of loopback addresses and a fleet id of its own, so that test
/// executables running side by side never see each other's cameras. Talks to the emulator's
/// control port and stops it with SIGTERM, expecting a clean exit.
class EmulatorProcess
{
public:
    EmulatorProcess();
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    /// Starts the emulator with `arguments` and the per-test options that are not given there
    /// (--discovery-port, --first-address, --fleet-id), and waits for its "ready" line.
    /// False (see errorString()) when it does not start, exits early or is not ready in time.
    bool start(const QStringList& arguments, int readyTimeoutMs = 20000);
    /// Starts again with the arguments, ports and addresses of the last start (same fleet).
    bool restart(int readyTimeoutMs = 20000);
    /// SIGTERM, then waits; true when the emulator exited normally with code 0.
    bool stop(int timeoutMs = 10000);
    bool isRunning() const;
    QString errorString() const { return error_; }

    /// What the "ready" line said.
    quint16 controlPort() const { return controlPort_; }
    quint16 discoveryPort() const { return discoveryPort_; }
    int cameraCount() const { return cameraCount_; }
    QStringList addresses() const { return addresses_; }
    QString address(int index) const { return addresses_.value(index); }

    /// Per-test choices, valid after construction (start() passes them unless overridden).
    int fleetId() const { return fleetId_; }
    /// First address of this test's loopback range; cameras follow it.
    QString firstAddress() const;
    /// An address inside this test's range, `offset` after the first one (nothing listens there
    /// unless a camera was placed or moved there).
    QString rangeAddress(int offset) const;
    /// MAC text of camera `index` of this fleet, as the emulator forms it.
    QString mac(int index) const;

    /// One request on the control port; the answer object, or {"Ret": -1, "Error": ...} when the
    /// exchange itself failed (no connection, bad frame, time-out).
    QJsonObject control(const QJsonObject& request, int timeoutMs = 10000);
    /// The "list" answer and its "Cameras" array (empty on failure).
    QJsonObject list();
    QJsonArray cameras();
    QJsonObject camera(int index);
    /// "fault" with the given members; true when answered with Ret 100.
    bool setFault(int index, const QJsonObject& faults);
    bool kill(int index);
    bool revive(int index);
    /// The record as a get-configuration would return it; *ret receives the store's result
    /// (100 when the record exists). Empty when it does not.
    QByteArray record(int index, int command, int channel, int* ret = nullptr);
    /// The device's JSON reply object for a JSON configuration read.
    QJsonObject json(int index, const QString& name, int command, int channel);

    /// Points the device library of this process at this emulator: loopback broadcast, this
    /// discovery port, loopback-only on. Call after sdkInit and after each start().
    bool configureLibrary() const;

    /// The emulator's standard error so far (diagnostics; shown when a start fails).
    QString diagnostics() const;

private:
    bool launch(int readyTimeoutMs);
    bool parseReady(const QString& line);
    bool ensureControlConnection(int timeoutMs);

    std::unique_ptr<QProcess> process_;
    QTcpSocket controlSocket_;
    QTemporaryDir logDir_;
    QStringList arguments_;
    QString error_;
    quint32 firstAddress_ = 0;
    int fleetId_ = 0;
    quint16 discoveryPort_ = 0;
    quint16 controlPort_ = 0;
    int cameraCount_ = 0;
    QStringList addresses_;
    quint32 sequence_ = 0;
    QByteArray pending_;
};

/// A free UDP port on 127.0.0.1, found by binding port 0 and releasing it.
quint16 freeUdpPort();
/// "a.b.c.d" of four bytes, first byte first.
QString dottedText(const unsigned char* bytes);
