#pragma once

#include <atomic>
#include <memory>

#include <QModelIndex>
#include <QMutex>
#include <QString>
#include <QVector>
#include <QWidget>

#include "batch/CMyThread.h"
#include "device/DevInfo.h"

class QLineEdit;
class QStandardItem;
class QStandardItemModel;
namespace Ui {
class CVantrelClass;
}
class CSearchDeviceThread;
class CBatchDealThread;
class CIpSetDlg;
struct CBatchJob;
class CUpgradeRun;
struct CUpgradeRow;
struct CUpgradeJob;

/// The main window: the device table, the select bar and the command buttons.
class CVantrel : public QWidget
{
    Q_OBJECT

public:
    /// The table's status column ("Destribe"): every row text of a command goes there.
    static constexpr int kStatusColumn = 3;

    explicit CVantrel(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    /// Waits for the search, the batch worker and the dedicated thread to end, then logs out every
    /// row's device, frees the rows' records and releases the device library.
    ~CVantrel() override;

    /// The record of a table row, or null when the row has none. Safe from any thread: it reads a
    /// list kept beside the model under the table mutex, never the model itself.
    DEV_INFO* getDevInfo(int nRow) const;
    QStandardItemModel* tableModel() const { return pModel; }
    CSearchDeviceThread* searchThread() const { return pSearchThread; }
    /// The wait time of every later search pass (the window starts with 5000 ms).
    void setSearchTime(int nMs);
    bool modifyIPSetting() const { return bModifyIP; }
    QString soundFilePath() const { return strSoundFile; }

    /// Batch state. The idle flag keeps batches (and the upgrade run) from overlapping and keeps
    /// Search and Add from replacing records a worker uses: a worker clears it when it starts and
    /// sets it as its very last step. Safe from any thread.
    bool isIdle() const { return bIdle.load(); }
    void setIdle(bool bNewIdle) { bIdle.store(bNewIdle); }
    /// What the batch worker does with each checked row: 0 reset, 1/2 IP adaptive on/off, 3/4
    /// address change (start address / same address), 7 configuration pages; -1 before any batch.
    int commandCode() const { return nCmd; }
    /// The value that commands 1 and 2 write.
    unsigned char adaptiveValue() const { return byAdaptive; }
    /// The password the batch logs in with, taken from lineEditPassword when the batch starts.
    QString batchPassword() const { return strBatchPassword; }
    /// State reported through updateBtnState: volume test running, microphone on.
    int volumeState() const { return nVolumeState; }
    int microState() const { return nMicroState; }

    /// The batch worker's body: walks the snapshot that startBatch took, one device at a time,
    /// and ends by queuing releaseCursor and setting the idle flag. Runs on the worker thread.
    void runBatch();
    /// Writes a cell from any thread. The write reaches the model on the user-interface thread,
    /// after every earlier write and updateTableInfo of the same thread; on the user-interface
    /// thread itself it applies at once.
    void setTableCellText(int nRow, int nColumn, const QString& strText);
    CBatchDealThread* dealThread() const { return pDealThread; }
    /// The planning dialog, null until SetIP is first pressed.
    CIpSetDlg* ipSetDlg() const { return pIpSetDlg; }
    /// The configuration file imported before each upgrade, copied from lineEditCfg when Upgrade
    /// is pressed.
    QString configFilePath() const { return strCfgFile; }

    /// Upgrade run state, safe from any thread: true while the upgrade thread or any row's receive
    /// thread is alive. Search, Add and the batches wait for it like for a batch.
    bool isUpgrading() const;
    /// Threads of the upgrade run that are still alive: the upgrade thread (0 or 1) plus every
    /// row's receive thread.
    int upgradeThreadCount() const;
    /// The upgrade thread's body: upgrades every pending device of the queue, one after the other,
    /// without waiting for a device to finish. Runs on the upgrade thread.
    void runUpgradeQueue();
    /// One device of the upgrade run (login, hardware check, import, receive thread, start).
    void upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& job);
    /// The device library's report on row nRow's upgrade (see the callback's branches); any thread.
    void onUpgradeReport(DEV_INFO* pRec, long lUpgradeHandle, int nTotal, int nSent);
    /// The body of row nRow's receive thread: reads the device's own progress frames on its
    /// upgrade port until the device or the library reports the end.
    void receiveUpgradeProgress(int nRow);
    /// Copies row nRow's record into *pOut under the table mutex; false when the row has none.
    bool getDevInfo(int nRow, int nColumn, DEV_INFO* pOut) const;
    /// Sets row nRow's record's login handle to 0 under the table mutex; false when the row has none.
    bool clearDevLogin(int nRow);

signals:
    void sendDevInfoSignal(DEV_INFO& devInfo);
    void showMessageSignal(QString strMsg);
    void releaseCursor();
    void updateTableInfo(int nRow, int nCloumn, QString strMsg);
    void updateBtnState(int nType, int nState);
    /// The last thread of an upgrade run has ended (queued to the user-interface thread).
    void upgradeFinished();

public slots:
    void onUpdateTableInfo(int nRow, int nCloumn, QString strMsg);
    void on_SearchButton_clicked();
    void on_btnReset_clicked();
    void on_btnOpenDhcp_clicked();
    void on_btnCloseDhcp_clicked();
    void on_btnSetIP_clicked();
    void on_btnModifyIP_clicked();
    void on_browseBtn_clicked();
    void on_browseCfgBtn_clicked();
    void on_upgradeBtn_clicked();
    void on_addBtn_clicked();
    void on_btnOtherCfg_clicked();
    void on_btnModifyCfg_clicked();
    void on_btnVolume_clicked();
    void on_btnMicro_clicked();
    void fillDeviceTable(SDK_CONFIG_NET_COMMON_V2 deviceSearched);
    void SelectDevice();
    void stopSearch();
    void on_tableView_doubleClicked(QModelIndex nIndex);
    void on_getLogoBinFile(QString strFilePath);
    void on_tableView_clicked(QModelIndex nIndex);
    /// Gives row nIndex's device a fixed address without a login (types 1, 2, 3); any thread.
    int ModifyIP(int nIndex, int nType);
    void on_btnReverse_clicked();
    /// Sends the configuration file to a logged-in device; any thread. Returns the library's
    /// result, 0 when there is nothing to send, -1 when the file cannot be opened or is too large.
    int ImportDevConfig(long lLoginID, int nIndex);
    /// ImportDevConfig with a given file, for workers that took the path when they started.
    int importConfigFile(const QString& strFile, long lLoginID, int nIndex);
    /// Resets (1) or reboots (2) the checked rows' devices on the dedicated thread.
    void BatchOpr(int nCmd);
    void onDealBathMsg(int ret, int nError, int nIndex, int nCmd);
    void onShowMessage(QString strMsg);
    void onReleaseCursor();
    void onUpdateBtnState(int nType, int nState);

private:
    void setupTable();
    /// Starts a batch of command nNewCmd over the checked rows, after the two checks every batch
    /// makes: refused while one runs, refused when no row is checked (each with its prompt). The
    /// code and nNewAdaptive (when not negative) take effect only when the start is accepted, so
    /// a refused press cannot change what a running batch does. True when accepted.
    bool startBatch(int nNewCmd, int nNewAdaptive = -1);
    /// Takes the snapshot of the checked rows and starts the worker; startBatch calls it once the
    /// window is marked busy.
    void startBatchWorker();
    /// The per-device steps of runBatch for the login-based commands (0, 1, 2).
    void runLoginCommand(CBatchJob& job, DEV_INFO* pRec);
    bool hasCheckedRow() const;
    /// The warning box of the window's precondition prompts ("Prompt", one "OK" button).
    void showPrompt(const QString& strText);
    /// The information box of the commands that need a device in the table ("Tips").
    void showTips(const QString& strText);
    /// True (after its prompt) when Search or Add must wait for a running batch.
    bool refuseWhileBusy(const QString& strText);
    /// The open-file dialog of the Browse buttons; a chosen file replaces pEdit's text.
    void chooseFileInto(QLineEdit* pEdit, const QString& strFilter);
    bool anyConfigPageTicked() const;
    /// Logs out every logged-in row, frees every row's record and removes all rows.
    void clearDeviceRows();
    /// Appends a row whose column-0 item carries pInfo, keeping the record list in step.
    void appendDeviceRow(const QList<QStandardItem*>& lstItems, DEV_INFO* pInfo);
    /// True when a batch or an upgrade run is working on the records.
    bool isBusy() const { return !isIdle() || isUpgrading(); }
    /// Ends the upgrade run for good: no device is started any more, every running upgrade is
    /// closed and every thread of the run has ended when it returns. For the destructor.
    void stopUpgradeRun();
    /// Writes the upgrade password into row nRow's own record (under the table mutex).
    void setRowPassword(int nRow, const QByteArray& baPassword);
    /// Counts a thread of the run out and posts upgradeFinished when it was the last one.
    void upgradeThreadEnded();
    /// The end branches of onUpgradeReport: success (-1), failure (-2), error code (below -2).
    void reportUpgradeEnd(DEV_INFO* pRec, CUpgradeRow* pRow, long lUpgradeHandle, int nSent);

    Ui::CVantrelClass* ui;
    QStandardItemModel* pModel = nullptr;
    CSearchDeviceThread* pSearchThread = nullptr;
    mutable QMutex mutexTable;        ///< guards lstRowRecords against workers reading it
    QVector<DEV_INFO*> lstRowRecords; ///< row -> record, the same pointers as column 0's user data
    bool bModifyIP = false;
    QString strSoundFile;
    QString strPassword;
    bool bSelectAll = false;

    int nCmd = -1;
    std::atomic<bool> bIdle{true};
    unsigned char byAdaptive = 0;
    QString strBatchPassword;
    QString strCfgFile;
    CMyThread threadBatch;
    CBatchDealThread* pDealThread = nullptr;
    CIpSetDlg* pIpSetDlg = nullptr;
    // What the running (or last) batch works on; written by startBatch only while idle.
    std::unique_ptr<CBatchJob> pJob;
    int nVolumeState = 0;
    int nMicroState = 0;

    // The upgrade run: its job, queue, threads and per-row slots.
    std::unique_ptr<CUpgradeRun> pUpgrade;
};

/// The one main window of the process, set by its constructor before any worker thread exists.
extern CVantrel* g_pMainWindow;
