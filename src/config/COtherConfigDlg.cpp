#include "COtherConfigDlg.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QThread>
#include <QToolButton>

#include "config/CAlarmMotionConfig.h"
#include "config/CCameraConfig.h"
#include "config/CDeviceTreeView.h"
#include "config/CEncodeConfig.h"
#include "config/CNetAppConfig.h"
#include "config/CNetCloudConfig.h"
#include "config/CNetNTPConfig.h"
#include "config/CNetTcpConfig.h"
#include "config/CNormalConfig.h"
#include "config/ConfigRecords.h"

namespace {

struct CTreeGroup
{
    const char* szText;
    QVector<QPair<const char*, int>> lstPages;
};

const CTreeGroup kGroups[] = {
    {QT_TRANSLATE_NOOP("COtherConfigDlg", "Network Config"),
     {{QT_TRANSLATE_NOOP("COtherConfigDlg", "Ntp"), kPageNtp},
      {QT_TRANSLATE_NOOP("COtherConfigDlg", "NetCloud"), kPageCloud},
      {QT_TRANSLATE_NOOP("COtherConfigDlg", "NetPMS"), kPagePms},
      {QT_TRANSLATE_NOOP("COtherConfigDlg", "NetTcp"), kPageTcp}}},
    {QT_TRANSLATE_NOOP("COtherConfigDlg", "System Config"),
     {{QT_TRANSLATE_NOOP("COtherConfigDlg", "Normal"), kPageNormal},
      {QT_TRANSLATE_NOOP("COtherConfigDlg", "CameraParam"), kPageCamera},
      {QT_TRANSLATE_NOOP("COtherConfigDlg", "EncodeMedia"), kPageEncode}}},
    {QT_TRANSLATE_NOOP("COtherConfigDlg", "Alarm Config"),
     {{QT_TRANSLATE_NOOP("COtherConfigDlg", "Motion Detect"), kPageMotion}}},
};

bool isPageCode(int nType)
{
    return nType >= kFirstConfigPage && nType <= kLastConfigPage;
}

} // namespace

template <class T> void COtherConfigDlg::addPage(T* pPage)
{
    CPageSlot& slot = lstSlots[pPage->type() - kFirstConfigPage];
    slot.pWidget = pPage;
    slot.fnChecked = [pPage] { return pPage->isSetEnableChecked(); };
    slot.fnGetConfig = [pPage](char* pConfig, int nSize) { return pPage->getConfig(pConfig, nSize); };
    slot.fnInit = [pPage](long lLogin) { pPage->initConfig(lLogin); };
    slot.fnFill = [pPage](const CPageData& data) { pPage->fillConfig(data); };
    pStackedLayout->addWidget(pPage);
    connect(pPage, &T::checkStateChanged, this, &COtherConfigDlg::onConfigCheckStateChanged);
    connect(this, &COtherConfigDlg::treeCheckChanged, pPage, &T::onCheckChanged);
}

COtherConfigDlg::COtherConfigDlg(QWidget* parent) : QDialog(parent), lstSlots(kLastConfigPage - kFirstConfigPage + 1)
{
    setWindowTitle(tr("Device Config"));
    auto* pGrid = new QGridLayout(this);
    pTreeView = new CDeviceTreeView(this);
    pTreeView->setMinimumSize(200, 200);
    pTreeView->setMaximumSize(200, 65535);
    pTreeView->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    pStackedLayout = new QStackedLayout;
    auto* pRow = new QHBoxLayout;
    auto* pFrame = new QFrame(this);
    pFrame->setFixedHeight(25);
    pFrame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The frame in front of Save says while the device is being read.
    pLabelLoading = new QLabel(tr("Reading the device's configuration..."), pFrame);
    pLabelLoading->setObjectName(QStringLiteral("labelLoading"));
    auto* pFrameLayout = new QHBoxLayout(pFrame);
    pFrameLayout->setContentsMargins(0, 0, 0, 0);
    pFrameLayout->addWidget(pLabelLoading);
    pLabelLoading->hide();
    pBtnSave = new QToolButton(this);
    pBtnSave->setObjectName(QStringLiteral("BtnSave"));
    pBtnSave->setFixedSize(75, 25);
    pBtnSave->setText(tr("Save"));
    pRow->addWidget(pFrame);
    pRow->addWidget(pBtnSave);

    pGrid->addWidget(pTreeView, 0, 0, 2, 1);
    pGrid->addLayout(pStackedLayout, 0, 1);
    pGrid->addLayout(pRow, 1, 1);

    pModel = new QStandardItemModel(this);
    pTreeView->setModel(pModel);
    pTreeView->setHeaderHidden(true);
    pTreeView->setAllColumnsShowFocus(true);
    pTreeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    pTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    pTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTreeView->setAutoExpandDelay(800);
    pTreeView->setAnimated(true);
    buildTree();
    pTreeView->expandAll();

    pNtpConfig = new CNetNTPConfig(this);
    pCloudConfig = new CNetCloudConfig(this);
    pPmsConfig = new CNetAppConfig(this);
    pTcpConfig = new CNetTcpConfig(this);
    pNormalConfig = new CNormalConfig(this);
    pCameraConfig = new CCameraConfig(this);
    pEncodeConfig = new CEncodeConfig(this);
    pMotionConfig = new CAlarmMotionConfig(this);
    addPage(pNtpConfig);
    addPage(pCloudConfig);
    addPage(pPmsConfig);
    addPage(pTcpConfig);
    addPage(pNormalConfig);
    addPage(pCameraConfig);
    addPage(pEncodeConfig);
    addPage(pMotionConfig);

    connect(pBtnSave, &QToolButton::clicked, this, &COtherConfigDlg::on_BtnSave_clicked);
    connect(pTreeView, &CDeviceTreeView::checkChanged, this, &COtherConfigDlg::onChangedCheck);
    connect(pTreeView, &CDeviceTreeView::leftClicked, this, &COtherConfigDlg::onTreeviewClicked);

    if (const QScreen* pScreen = QGuiApplication::primaryScreen()) {
        const QRect desktop = pScreen->geometry();
        move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
    }
}

COtherConfigDlg::~COtherConfigDlg()
{
    for (QThread* pThread : lstLoaders) {
        pThread->wait();
        delete pThread;
    }
}

void COtherConfigDlg::buildTree()
{
    for (const CTreeGroup& group : kGroups) {
        auto* pGroup = new QStandardItem(tr(group.szText));
        pGroup->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        pGroup->setData(0, kLevelRole);
        pGroup->setCheckState(Qt::Unchecked);
        for (const auto& page : group.lstPages) {
            auto* pItem = new QStandardItem(tr(page.first));
            pItem->setData(1, kLevelRole);
            pItem->setData(page.second, kTypeRole);
            // Ticks change only through the view's check-box strip (which reports them); the
            // delegate's own toggling would bypass the pages.
            pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            pItem->setCheckState(Qt::Unchecked);
            pGroup->appendRow(pItem);
        }
        pModel->appendRow(pGroup);
    }
}

const COtherConfigDlg::CPageSlot* COtherConfigDlg::slotOf(int nType) const
{
    if (!isPageCode(nType))
        return nullptr;
    const CPageSlot& slot = lstSlots.at(nType - kFirstConfigPage);
    return slot.pWidget ? &slot : nullptr;
}

QWidget* COtherConfigDlg::page(int nType) const
{
    const CPageSlot* pSlot = slotOf(nType);
    return pSlot ? pSlot->pWidget : nullptr;
}

QWidget* COtherConfigDlg::currentPage() const
{
    return pStackedLayout->currentWidget();
}

void COtherConfigDlg::initAllConfig(long lLogin)
{
    lLoginID = lLogin;
    for (int nType = kFirstConfigPage; nType <= kLastConfigPage; ++nType)
        initConfigByType(nType);
}

void COtherConfigDlg::initConfigByType(int nType)
{
    if (const CPageSlot* pSlot = slotOf(nType))
        pSlot->fnInit(lLoginID);
}

void COtherConfigDlg::loadAllConfig(long lLogin)
{
    lLoginID = lLogin;
    const int nThisLoad = ++nLoad;
    setLoading(true);
    QVector<int> lstTypes;
    for (int nType = kFirstConfigPage; nType <= kLastConfigPage; ++nType) {
        if (slotOf(nType))
            lstTypes.append(nType);
    }
    QThread* pThread = QThread::create([this, lLogin, nThisLoad, lstTypes] {
        QVector<CPageData> lstData;
        for (int nType : lstTypes)
            lstData.append(loadPageData(nType, lLogin));
        QMetaObject::invokeMethod(
            this, [this, nThisLoad, lstData] { onPagesLoaded(nThisLoad, lstData); }, Qt::QueuedConnection);
    });
    lstLoaders.append(pThread);
    connect(pThread, &QThread::finished, this, [this, pThread] {
        lstLoaders.removeOne(pThread);
        pThread->deleteLater();
    });
    pThread->start();
}

void COtherConfigDlg::onPagesLoaded(int nThisLoad, const QVector<CPageData>& lstData)
{
    if (nThisLoad != nLoad)
        return;
    for (const CPageData& data : lstData) {
        if (const CPageSlot* pSlot = slotOf(data.nType))
            pSlot->fnFill(data);
    }
    setLoading(false);
    emit configLoaded();
}

void COtherConfigDlg::setLoading(bool bOn)
{
    bLoading = bOn;
    pLabelLoading->setVisible(bOn);
    pBtnSave->setEnabled(!bOn);
    for (const CPageSlot& slot : lstSlots) {
        if (slot.pWidget)
            slot.pWidget->setEnabled(!bOn);
    }
    if (bOn)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void COtherConfigDlg::done(int nResult)
{
    if (bLoading) {
        ++nLoad; // what is still being read belongs to a closed opening
        setLoading(false);
    }
    QDialog::done(nResult);
}

bool COtherConfigDlg::isConfigChecked(int nType) const
{
    const CPageSlot* pSlot = slotOf(nType);
    return pSlot && pSlot->fnChecked();
}

bool COtherConfigDlg::getConfigByType(int nType, char* pConfig, int nSize)
{
    const CPageSlot* pSlot = slotOf(nType);
    return pSlot && pSlot->fnGetConfig(pConfig, nSize);
}

CConfigSnapshot COtherConfigDlg::takeConfigSnapshot()
{
    CConfigSnapshot snapshot;
    for (int nType = kFirstConfigPage; nType <= kLastConfigPage; ++nType) {
        if (!isConfigChecked(nType))
            continue;
        QByteArray baRecord(configRecordSize(nType), 0);
        if (getConfigByType(nType, baRecord.data(), int(baRecord.size())))
            snapshot.insert(nType, baRecord);
    }
    return snapshot;
}

void COtherConfigDlg::showConfigPage(int nType)
{
    if (QWidget* pPage = page(nType))
        pStackedLayout->setCurrentWidget(pPage);
}

QStandardItem* COtherConfigDlg::findItemByType(int nType) const
{
    for (int i = 0; i < pModel->rowCount(); ++i) {
        QStandardItem* pTop = pModel->item(i);
        const int nLevel = pTop->data(kLevelRole).toInt();
        if (nLevel == 0) {
            for (int j = 0; j < pTop->rowCount(); ++j) {
                QStandardItem* pChild = pTop->child(j);
                if (pChild->data(kLevelRole).toInt() == 1 && pChild->data(kTypeRole).toInt() == nType)
                    return pChild;
            }
        } else if (nLevel == 1 && pTop->data(kTypeRole).toInt() == nType) {
            return pTop;
        }
    }
    return nullptr;
}

void COtherConfigDlg::on_BtnSave_clicked()
{
    accept();
}

void COtherConfigDlg::onChangedCheck(QModelIndex index)
{
    if (!index.isValid())
        return;
    QStandardItem* pItem = pModel->itemFromIndex(index);
    if (!pItem)
        return;
    if (pItem->data(kLevelRole).toInt() == 0) {
        const Qt::CheckState state = pItem->checkState();
        for (int i = 0; i < pItem->rowCount(); ++i) {
            QStandardItem* pChild = pItem->child(i);
            pChild->setCheckState(state);
            emit treeCheckChanged(pChild->data(kTypeRole).toInt(), state == Qt::Checked);
        }
    } else {
        emit treeCheckChanged(pItem->data(kTypeRole).toInt(), pItem->checkState() == Qt::Checked);
    }
}

void COtherConfigDlg::onTreeviewClicked(QModelIndex index)
{
    if (index.isValid() && index.data(kLevelRole).toInt() == 1)
        showConfigPage(index.data(kTypeRole).toInt());
}

void COtherConfigDlg::onConfigCheckStateChanged(int nType, bool bChecked)
{
    if (QStandardItem* pItem = findItemByType(nType))
        pItem->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
}
