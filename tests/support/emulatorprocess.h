#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

/// Runs vantrel-camsim as a child process: the integration tests, the GUI tests and the benchmarks
/// all start, watch and stop their fleets here. By default each instance takes a private discovery
/// port, a private range of loopback addresses and a fleet id of its own, so that test executables
/// running side by side never see each other's cameras. It talks to the emulator's control port and
/// stops it with SIGTERM, expecting a clean exit; a process that dies takes its emulator with it.
class EmulatorProcess
{
public:
    EmulatorProcess();
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    /// The emulator to run; $VANTREL_CAMSIM unless set.
    void setProgram(const QString& program) { program_ = program; }
    /// Where its standard error goes; a temporary file unless set.
    void setLogFile(const QString& path) { logFile_ = path; }

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
    qint64 processId() const { return process_ ? process_->processId() : 0; }

    /// What the "ready" line said.
    QString readyLine() const { return readyLine_; }
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
    /// The "list" answer's "Cameras" array (empty on failure).
    QJsonArray cameras();
    QJsonObject camera(int index);
    /// "fault" with the given members, "kill", "revive"; true when answered with Ret 100.
    bool setFault(int index, const QJsonObject& faults) { return command(QStringLiteral("fault"), index, faults); }
    bool kill(int index) { return command(QStringLiteral("kill"), index); }
    bool revive(int index) { return command(QStringLiteral("revive"), index); }
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
    bool command(const QString& name, int index, QJsonObject request = {});
    QString logPath() const;

    std::unique_ptr<QProcess> process_;
    QTcpSocket controlSocket_;
    QTemporaryDir logDir_;
    QString program_;
    QString logFile_;
    QStringList arguments_;
    QString error_;
    QString readyLine_;
    quint32 firstAddress_ = 0;
    int fleetId_ = 0;
    quint16 discoveryPort_ = 0;
    quint16 controlPort_ = 0;
    int cameraCount_ = 0;
    QStringList addresses_;
    quint32 sequence_ = 0;
    QByteArray pending_;
};

/// A UDP port free on every IPv4 interface at this moment, found by binding port 0 (0 when none).
quint16 freeUdpPort();
/// "a.b.c.d" of four bytes, first byte first.
QString dottedText(const unsigned char* bytes);

/// "Group/Key" and its value, e.g. {"UpgradeInfo/ModifyIP", "1"}.
using ConfigKeys = QList<QPair<QString, QString>>;
/// The text of a Config.ini that keeps the program on loopback: [Network] with the loopback
/// broadcast, AddressCheck=device, LoopbackOnly=1 and DiscoveryPort (left out when 0), then
/// `extra`; a key of an existing group joins that group.
QByteArray configIniText(quint16 discoveryPort, const ConfigKeys& extra = {});
