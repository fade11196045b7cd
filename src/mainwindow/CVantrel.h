#pragma once

#include <QModelIndex>
#include <QMutex>
#include <QString>
#include <QWidget>

#include "device/DevInfo.h"

class QStandardItemModel;
namespace Ui {
class CVantrelClass;
}
class CSearchDeviceThread;

/// The main window: the device table, the select bar and the command buttons.
class CVantrel : public QWidget
{
    Q_OBJECT

public:
    explicit CVantrel(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    /// Logs out every row's device, frees the rows' records, then releases the device library.
    ~CVantrel() override;

    /// The record of a table row, or null when the row has none.
    DEV_INFO* getDevInfo(int nRow) const;
    QStandardItemModel* tableModel() const { return pModel; }
    CSearchDeviceThread* searchThread() const { return pSearchThread; }
    /// The wait time of every later search pass (the window starts with 5000 ms).
    void setSearchTime(int nMs);
    bool modifyIPSetting() const { return bModifyIP; }
    QString soundFilePath() const { return strSoundFile; }

signals:
    void sendDevInfoSignal(DEV_INFO& devInfo);
    void showMessageSignal(QString strMsg);
    void releaseCursor();
    void updateTableInfo(int nRow, int nCloumn, QString strMsg);
    void updateBtnState(int nType, int nState);

public slots:
    void onUpdateTableInfo(int nRow, int nCloumn, QString strMsg);
    void on_SearchButton_clicked();
    void fillDeviceTable(SDK_CONFIG_NET_COMMON_V2 deviceSearched);
    void SelectDevice();
    void stopSearch();
    void on_tableView_doubleClicked(QModelIndex nIndex);
    void on_tableView_clicked(QModelIndex nIndex);
    void on_btnReverse_clicked();
    void onReleaseCursor();

    // The remaining command buttons (Reset, DHCP, SetIP/DoModify, file dialogs, Upgrade, Add,
    // OtherConfig, Volume, Micro) have no slot yet: their commands are not built, so the buttons
    // do nothing when pressed.

private:
    void setupTable();
    /// Logs out every logged-in row, frees every row's record and removes all rows.
    void clearDeviceRows();

    Ui::CVantrelClass* ui;
    QStandardItemModel* pModel = nullptr;
    CSearchDeviceThread* pSearchThread = nullptr;
    mutable QMutex mutexTable; ///< guards the rows' records against workers reading them
    bool bModifyIP = false;
    QString strSoundFile;
    QString strPassword;
    bool bSelectAll = false;
};

/// The one main window of the process, set by its constructor before any worker thread exists.
extern CVantrel* g_pMainWindow;
