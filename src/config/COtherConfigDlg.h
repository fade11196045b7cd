#pragma once

#include <functional>

#include <QDialog>
#include <QList>
#include <QModelIndex>
#include <QVector>

#include "batch/CConfigApplier.h"
#include "config/ConfigLoad.h"

class QFrame;
class QLabel;
class QStackedLayout;
class QStandardItem;
class QStandardItemModel;
class QThread;
class QToolButton;
class CAlarmMotionConfig;
class CCameraConfig;
class CDeviceTreeView;
class CEncodeConfig;
class CNetAppConfig;
class CNetCloudConfig;
class CNetNTPConfig;
class CNetTcpConfig;
class CNormalConfig;

/// The configuration dialog: the configuration pages behind a tree of check boxes. The operator ticks
/// the pages to apply and edits their values; Save accepts the dialog. The main window keeps one
/// dialog for its lifetime, so values and ticks survive between openings (each opening reloads the
/// values from the device, never the ticks).
///
/// Opening reads the device: loadAllConfig() runs every page's device reads on a worker thread and
/// fills the pages on the user-interface thread when they are done (configLoaded()); meanwhile the
/// dialog shows that it is reading and Save is disabled. initAllConfig() does the same synchronously,
/// for callers that may wait (the page contract, tests).
class COtherConfigDlg : public QDialog
{
    Q_OBJECT

public:
    /// Tree item data: the level (0 group, 1 page) and, on pages, the page code.
    static constexpr int kLevelRole = Qt::UserRole + 3;
    static constexpr int kTypeRole = Qt::UserRole + 2;

    explicit COtherConfigDlg(QWidget* parent = nullptr);
    /// Waits for a load still running (it ends within the device's read times, at once when its
    /// login has been logged out).
    ~COtherConfigDlg() override;

    /// Stores the handle and initialises every page from the device, in code order (blocking).
    void initAllConfig(long lLoginID);
    void initConfigByType(int nType);
    /// Stores the handle and loads every page's values on a worker thread; the pages are filled on the
    /// user-interface thread and configLoaded() follows. A load still running is superseded. The loads
    /// of a dialog that has been closed meanwhile are dropped: the pages keep what they showed.
    void loadAllConfig(long lLoginID);
    /// True from loadAllConfig until its pages are filled (or the load is dropped).
    bool isLoading() const { return bLoading; }
    long loginID() const { return lLoginID; }

    bool isConfigChecked(int nType) const;
    bool getConfigByType(int nType, char* pConfig, int nSize);
    /// The records of the ticked pages, taken here on the user-interface thread for a batch to write.
    CConfigSnapshot takeConfigSnapshot();
    void showConfigPage(int nType);
    QStandardItem* findItemByType(int nType) const;

    QStandardItemModel* treeModel() const { return pModel; }
    CDeviceTreeView* treeView() const { return pTreeView; }
    QToolButton* saveButton() const { return pBtnSave; }
    /// The page widget of a code; null for codes outside 7..14.
    QWidget* page(int nType) const;
    QWidget* currentPage() const;

signals:
    void treeCheckChanged(int nType, bool bChecked);
    /// The pages hold the values of the last loadAllConfig.
    void configLoaded();

public slots:
    void on_BtnSave_clicked();
    void onChangedCheck(QModelIndex index);
    void onTreeviewClicked(QModelIndex index);
    void onConfigCheckStateChanged(int nType, bool bChecked);

protected:
    void done(int nResult) override;

private:
    /// What the dialog needs of one page; the pages share a contract, not a base class.
    struct CPageSlot
    {
        QWidget* pWidget = nullptr;
        std::function<bool()> fnChecked;
        std::function<bool(char*, int)> fnGetConfig;
        std::function<void(long)> fnInit;
        std::function<void(const CPageData&)> fnFill;
    };
    template <class T> void addPage(T* pPage);
    const CPageSlot* slotOf(int nType) const;
    void buildTree();
    void setLoading(bool bOn);
    void onPagesLoaded(int nLoad, const QVector<CPageData>& lstData);

    CNetNTPConfig* pNtpConfig = nullptr;
    CNormalConfig* pNormalConfig = nullptr;
    CNetCloudConfig* pCloudConfig = nullptr;
    CNetAppConfig* pPmsConfig = nullptr;
    CNetTcpConfig* pTcpConfig = nullptr;
    CCameraConfig* pCameraConfig = nullptr;
    CEncodeConfig* pEncodeConfig = nullptr;
    CAlarmMotionConfig* pMotionConfig = nullptr;
    long lLoginID = 0;
    QStandardItemModel* pModel = nullptr;
    QStackedLayout* pStackedLayout = nullptr;
    CDeviceTreeView* pTreeView = nullptr;
    QToolButton* pBtnSave = nullptr;
    QLabel* pLabelLoading = nullptr;

    QVector<CPageSlot> lstSlots; ///< by code - kFirstConfigPage
    int nLoad = 0;               ///< number of the latest load; older loads' results are dropped
    bool bLoading = false;
    QList<QThread*> lstLoaders; ///< load threads still running
};
