#pragma once

#include <atomic>
#include <memory>

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>

#include "batch/BatchCommands.h"
#include "batch/CConfigApplier.h"
#include "device/DevInfo.h"
#include "device/DeviceTable.h"

class CAddressCheck;

/// What a login-based batch command does with one logged-in device. The window builds the command
/// on the user-interface thread when the batch starts, from what the controls hold at that moment,
/// and the worker runs it for each device; nothing it needs is read from a widget later.
///
/// A new login-based command is one more subclass and one more case in the window's start of a batch;
/// the runner's login, logout, pause and stop stay as they are.
class CBatchCommand
{
public:
    enum class Outcome
    {
        Done,     ///< the device is finished with: the runner logs it out and pauses
        KeepLogin ///< the command failed: the device stays logged in, the next row follows at once
    };

    virtual ~CBatchCommand() = default;
    /// Runs on the batch worker's thread; rec is logged in. Texts go to rec's row through setCell.
    virtual Outcome run(DEV_INFO& rec, const CellWriter& setCell) = 0;
};

/// Code 0: the factory reset. A failure is reported but still ends with the logout and the pause.
class CResetConfigCommand : public CBatchCommand
{
public:
    Outcome run(DEV_INFO& rec, const CellWriter& setCell) override;
};

/// Codes 1 and 2: IP adaptive on or off. A failure keeps the login for the next batch.
class CIpAdaptiveCommand : public CBatchCommand
{
public:
    explicit CIpAdaptiveCommand(unsigned char byValue) : byValue(byValue) {}
    Outcome run(DEV_INFO& rec, const CellWriter& setCell) override;

private:
    unsigned char byValue;
};

/// Code 7: the configuration pages. The records are the ones the configuration dialog handed out when
/// the batch started, the same bytes for every device. A failed write keeps the login; after the
/// reboot that a write asked for the login is gone, so the record's handle becomes -1 and no logout
/// is sent.
class CConfigPagesCommand : public CBatchCommand
{
public:
    explicit CConfigPagesCommand(CConfigSnapshot snapshot) : snapshot(std::move(snapshot)) {}
    Outcome run(DEV_INFO& rec, const CellWriter& setCell) override;

private:
    CConfigSnapshot snapshot;
};

/// The command object of a maintenance code (0, 1, 2); null for any other code.
std::unique_ptr<CBatchCommand> makeMaintenanceCommand(int nCmd, unsigned char byAdaptive);

/// One row of a batch as the window saw it when the batch started.
struct CBatchRow
{
    DEV_INFO* pRec = nullptr; ///< the row's own record (null: the row has none)
    bool bChecked = false;
};

/// Everything one batch works on, taken when it starts: the runner never reads the table or a
/// control, so nothing the operator does meanwhile changes the running batch.
struct CBatchJob
{
    int nCmd = BatchNone;
    QString strPassword; ///< the batch password (lineEditPassword when the batch started)
    bool bModifyIP = false;
    QVector<CBatchRow> lstRows;
    /// Login-based commands: the work on each logged-in device. Null: the device is only logged in
    /// and out.
    std::unique_ptr<CBatchCommand> pCommand;
    // Codes 3 and 4: the accepted plan, the check that finds free addresses, and the addresses that
    // count as taken without asking (the PC's own).
    QString strPlanIp;
    QString strPlanMask;
    QString strPlanGateway;
    std::unique_ptr<CAddressCheck> pCheck;
    QStringList lstTakenAddresses;
};

/// runBatch's loop, free of widgets: walks the job's rows in order and, for each checked row with a
/// record, changes its address (codes 3 and 4) or logs in, runs the command, logs out and pauses.
/// Row texts go out through the cell writer. A stop request is honoured before every row: the row
/// in progress finishes (each device call is bounded by its time-out), the rest are left untouched.
class CBatchRunner
{
public:
    /// The pause after every row (also an unchecked one) and the one between an automatic address
    /// change and the login.
    static constexpr unsigned long kRowPauseMs = 100;
    static constexpr unsigned long kModifyIpPauseMs = 500;
    /// Time-out of the maintenance commands' device calls.
    static constexpr int kConfigWaitMs = 3000;

    explicit CBatchRunner(CellWriter setCell);

    /// Runs the whole batch on the calling thread. Returns the number of rows it got to (all of
    /// them unless it was asked to stop).
    int run(CBatchJob& job);

    /// Asks a running (or the next) batch to stop before its next row; any thread.
    void requestStop();
    /// Clears a stop request before a new batch.
    void clearStop();
    bool isStopRequested() const { return bStop.load(); }

private:
    void changeAddress(class CIpModifier& modifier, DEV_INFO* pRec);
    void runLoginCommand(CBatchJob& job, DEV_INFO* pRec);
    /// Sleeps nMs, or less when a stop is requested.
    void pause(unsigned long nMs);

    CellWriter setCell;
    std::atomic<bool> bStop{false};
    QMutex mutexPause;
    QWaitCondition condPause;
};
