#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QModelIndex>
#include <QString>
#include <QWidget>

#include "app/CAppSettings.h"
#include "batch/CMyThread.h"
#include "device/CRowRecords.h"
#include "device/DevInfo.h"

class QLineEdit;
class QStandardItem;
class QStandardItemModel;
namespace Ui {
class CVantrelClass;
}
class CBackgroundTask;
class CBatchDealThread;
class CBatchRunner;
class CIpSetDlg;
class COtherConfigDlg;
class CRealplayDlg;
class CSearchDeviceThread;
class CUpgradeWorker;
class CVoiceTalk;
class QThread;
struct CBatchJob;
struct CUpgradeJob;

/// The main window: the device table, the select bar and the command buttons. The work behind the
/// buttons runs in widget-free workers (the batch runner, the dedicated reset/reboot thread, the
/// upgrade worker, background tasks for logins and the package); the window takes their snapshots
/// on the user-interface thread and shows what they report.
class CVantrel : public QWidget
{
    Q_OBJECT

public:
    explicit CVantrel(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    /// Stops the batch before its next row and the upgrade run, waits for every worker, then logs
    /// out every row's device, frees the rows' records and releases the device library.
    ~CVantrel() override;

    /// The record of a table row, or null when the row has none. Safe from any thread.
    DEV_INFO* getDevInfo(int nRow) const { return records.record(nRow); }
    /// Copies row nRow's record into *pOut under the table mutex; false when the row has none.
    bool getDevInfo(int nRow, int nColumn, DEV_INFO* pOut) const;
    /// Sets row nRow's record's login handle to 0 under the table mutex; false when the row has none.
    bool clearDevLogin(int nRow) { return records.clearLogin(nRow); }
    QStandardItemModel* tableModel() const { return pModel; }
    CSearchDeviceThread* searchThread() const { return pSearchThread; }
    /// The wait time of every later search pass (the window starts with 5000 ms).
    void setSearchTime(int nMs);
    bool modifyIPSetting() const { return bModifyIP; }
    QString soundFilePath() const { return strSoundFile; }
    /// The settings read when the window was built (the network options and the loopback switch).
    const CAppSettings& settings() const { return appSettings; }

    /// Batch state. The idle flag keeps batches (and the upgrade run) from overlapping and keeps
    /// Search and Add from replacing records a worker uses: cleared when a batch starts, set as the
    /// worker's very last step. Safe from any thread.
    bool isIdle() const { return bIdle.load(); }
    void setIdle(bool bNewIdle) { bIdle.store(bNewIdle); }
    /// What the batch worker does with each checked row (BatchCommand); -1 before any batch.
    int commandCode() const { return nCmd; }
    /// The value that commands 1 and 2 write.
    unsigned char adaptiveValue() const { return byAdaptive; }
    /// The password the batch logs in with, taken from lineEditPassword when the batch starts.
    QString batchPassword() const { return strBatchPassword; }
    /// The Volume and Micro buttons' states (volume test running, microphone on), as the voice
    /// talk, their one holder, last reported them through updateBtnState.
    int volumeState() const;
    int microState() const;
    /// The live preview, null until the first double-click opens it.
    CRealplayDlg* realplayDlg() const { return pRealplayDlg; }

    /// The batch worker's body: the runner walks the snapshot startBatch took; then the window queues
    /// releaseCursor and sets the idle flag. Runs on the worker thread.
    void runBatch();
    /// Writes a cell from any thread. The write reaches the model on the user-interface thread,
    /// after every earlier write and updateTableInfo of the same thread; on the user-interface
    /// thread itself it applies at once.
    void setTableCellText(int nRow, int nColumn, const QString& strText);
    CBatchDealThread* dealThread() const { return pDealThread; }
    /// The planning dialog, null until SetIP is first pressed.
    CIpSetDlg* ipSetDlg() const { return pIpSetDlg; }
    /// The configuration dialog, created with the window (without a parent) and kept until it goes:
    /// its pages keep their values and ticks between openings.
    COtherConfigDlg* configDlg() const { return pConfigDlg; }
    /// The configuration file imported before each upgrade, copied from lineEditCfg when Upgrade
    /// is pressed.
    QString configFilePath() const { return strCfgFile; }

    /// The upgrade run. True while its thread or any row's receive thread is alive; Search, Add and
    /// the batches wait for it like for a batch.
    bool isUpgrading() const;
    /// Threads of the upgrade run that are alive.
    int upgradeThreadCount() const;
    CUpgradeWorker* upgradeWorker() const { return pUpgrade.get(); }
    /// True while an Upgrade press is reading its package.
    bool isReadingPackage() const;
    /// One device of the upgrade run, on the upgrade worker.
    void upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& job);
    /// Row nRow's receive thread body, on the upgrade worker.
    void RecvProcressThread(int nRow);
    /// True while a double-click login is on its way.
    bool isLoginRunning() const;

signals:
    void sendDevInfoSignal(DEV_INFO& devInfo);
    void showMessageSignal(QString strMsg);
    void releaseCursor();
    void updateTableInfo(int nRow, int nCloumn, QString strMsg);
    void updateBtnState(int nType, int nState);
    /// The last thread of an upgrade run has ended (queued to the user-interface thread).
    void upgradeFinished();
    /// A double-click login has ended and its row shows the outcome.
    void loginFinished(int nRow);

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
    /// Gives row nIndex's device a fixed address without a login (ModifyIpType); any thread.
    int ModifyIP(int nIndex, int nType);
    void on_btnReverse_clicked();
    /// Sends the configuration file to a logged-in device; any thread. Returns the library's
    /// result, 0 when there is nothing to send, -1 when the file cannot be opened or is too large.
    int ImportDevConfig(long lLoginID, int nIndex);
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
    bool hasCheckedRow() const;
    /// The warning box of the window's precondition prompts ("Prompt", one "OK" button).
    void showPrompt(const QString& strText);
    /// The information box of the commands that need a device in the table ("Tips").
    void showTips(const QString& strText);
    /// True (after its prompt) when Search, Add or a login must wait for running work.
    bool refuseWhileBusy(const QString& strText);
    /// The open-file dialog of the Browse buttons; a chosen file replaces pEdit's text.
    void chooseFileInto(QLineEdit* pEdit, const QString& strFilter);
    bool anyConfigPageTicked() const;
    /// The configuration dialog's opening once the login (and command 164) ended, on the
    /// user-interface thread: runs the dialog on row nRow's device, then logs it out.
    void runConfigDialog(int nRow, const DEV_INFO& loggedIn, int nError, bool bNewLogin);
    /// Removes every row and frees its record; returns the login handles that were open, for the
    /// caller to log out.
    QVector<long> clearDeviceRows();
    /// Logs lLogin out off the user-interface thread (on pLogoutTask, in the order given); what is
    /// still waiting when the window goes is logged out by the destructor.
    void logoutLater(long lLogin);
    void startPendingLogouts();
    /// Appends a row whose column-0 item carries pInfo (owned by the row's records from now on).
    void appendDeviceRow(const QList<QStandardItem*>& lstItems, std::unique_ptr<DEV_INFO> pInfo);
    /// True when a batch, the upgrade run or a double-click login works on the records.
    bool isBusy() const;
    /// Runs fnLoggedIn(nRow) once row nRow is logged in: at once when it is, else after a login with
    /// the password field's text off this thread (refused while busy; a failure shows in the row).
    void loginRowThen(int nRow, std::function<void(int)> fnLoggedIn);
    /// A login's outcome, on the user-interface thread; true when the row is logged in.
    bool applyRowLogin(int nRow, const DEV_INFO& loggedIn, int nError);
    /// The live preview of a logged-in row starts here.
    void openLivePreview(int nRow);
    /// The audio buttons' common start: the current row (or row 0) logged in, then fnStart with its
    /// login on the voice talk's thread.
    void startTalkCommand(std::function<void(CVoiceTalk*, long)> fnStart);
    /// The Upgrade press once its package was read.
    void continueUpgrade(const QString& strPackage, qint64 nPackageBytes, int nRead, const QString& strHardware);

    Ui::CVantrelClass* ui;
    QStandardItemModel* pModel = nullptr;
    CSearchDeviceThread* pSearchThread = nullptr;
    CRowRecords records; ///< row -> record, the records column 0 refers to
    CAppSettings appSettings;
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
    std::unique_ptr<CBatchRunner> pRunner;
    // What the running (or last) batch works on; written by startBatch only while idle.
    std::unique_ptr<CBatchJob> pJob;
    CBatchDealThread* pDealThread = nullptr;
    CIpSetDlg* pIpSetDlg = nullptr;
    COtherConfigDlg* pConfigDlg = nullptr;
    CRealplayDlg* pRealplayDlg = nullptr; ///< no parent: a window of its own, deleted here
    QThread* pVoiceThread = nullptr;      ///< runs every call of the voice talk
    CVoiceTalk* pVoiceTalk = nullptr;     ///< lives on pVoiceThread, deleted as it ends

    std::unique_ptr<CUpgradeWorker> pUpgrade;
    CBackgroundTask* pLoginTask = nullptr;   ///< the double-click login
    CBackgroundTask* pPackageTask = nullptr; ///< the Upgrade press's package read
    CBackgroundTask* pLogoutTask = nullptr;  ///< logs out what logoutLater was given
    QVector<long> lstPendingLogouts;         ///< given to logoutLater while pLogoutTask was busy
};

/// The one main window of the process, set by its constructor before any worker thread exists.
extern CVantrel* g_pMainWindow;
