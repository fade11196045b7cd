#include "CVantrel.h"

#include <cstring>
#include <functional>

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaObject>
#include <QMutexLocker>
#include <QScreen>
#include <QStandardItemModel>
#include <QThread>
#include <QVector>

#include "app/BuildInfo.h"
#include "app/CAppSettings.h"
#include "app/LogCategories.h"
#include "batch/BatchTexts.h"
#include "batch/CAddressCheck.h"
#include "batch/CBatchDealThread.h"
#include "batch/CIpModifier.h"
#include "batch/CIpSetDlg.h"
#include "device/CSearchDeviceThread.h"
#include "device/DeviceRecords.h"
#include "device/LoginDlg.h"
#include "upgrade/CUpgradeRun.h"
#include "CMessageBox.h"
#include "ui_CVantrel.h"

CVantrel* g_pMainWindow = nullptr;

namespace {

constexpr int kColumnCount = 8;
// The per-row upgrade slots hold 256 rows: no row may go beyond them.
constexpr int kMaxTableRows = 256;

// Command codes of the batch worker.
constexpr int kCmdResetConfig = 0;
constexpr int kCmdOpenDhcp = 1;
constexpr int kCmdCloseDhcp = 2;
constexpr int kCmdModifyIpFromStart = 3;
constexpr int kCmdModifyIpSame = 4;
constexpr int kCmdModifyConfig = 7;

const char* const kFileDialogStartDir = "/home";

// The batch's pauses (after every row; after an automatic address change, before the login) and
// the time-outs of its device calls.
constexpr unsigned long kRowPauseMs = 100;
constexpr unsigned long kModifyIpPauseMs = 500;
constexpr int kBatchConfigWaitMs = 3000;
constexpr int kImportWaitMs = 10000;
constexpr int kDealWaitMs = 3000;

unsigned int batchThreadProc(void* pArg)
{
    if (pArg)
        static_cast<CVantrel*>(pArg)->runBatch();
    return 0;
}

unsigned int upgradeThreadProc(void* pArg)
{
    if (pArg)
        static_cast<CVantrel*>(pArg)->runUpgradeQueue();
    return 0;
}

// Every message box of the window has the one button that the box itself would default to.
QString okText()
{
    return QCoreApplication::translate("QDialogButtonBox", "OK");
}

// Parsed once per process: the title and the debug lines use the same value.
const QDateTime& buildDateTime()
{
    static const QDateTime dtBuild = parseBuildDateTime(__DATE__, __TIME__);
    return dtBuild;
}

} // namespace

/// One row of a batch as startBatch saw it on the user-interface thread.
struct CBatchRow
{
    bool bChecked = false;
    DEV_INFO* pRec = nullptr;
};

/// Everything a batch works on, taken when it starts: the worker never reads the table or the
/// form, so nothing the operator does meanwhile changes the running batch.
struct CBatchJob
{
    int nCmd = -1;
    unsigned char byAdaptive = 0;
    QString strPassword;
    bool bModifyIP = false;
    QVector<CBatchRow> lstRows;
    // Codes 3 and 4: the accepted plan and the check that finds free addresses.
    QString strPlanIp;
    QString strPlanMask;
    QString strPlanGateway;
    std::unique_ptr<CAddressCheck> pCheck;
};

CVantrel::CVantrel(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), ui(new Ui::CVantrelClass)
{
    ui->setupUi(this);

    const CAppSettings settings = CAppSettings::read();
    bModifyIP = settings.nModifyIP != 0;
    strSoundFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Sound/sound.wav");

    g_pMainWindow = this;
    bSelectAll = false;

    setupTable();

    const QDateTime& dtBuild = buildDateTime();
    setWindowTitle(windowTitleText(dtBuild));
    qCDebug(lcMainWindow).noquote() << dtBuild.date().toString(QStringLiteral("yyyy.MM.dd"));
    qCDebug(lcMainWindow).noquote() << dtBuild.time().toString(QStringLiteral("hh:mm:ss"));
    qCDebug(lcMainWindow).noquote() << dtBuild.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss"));

    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
    const QByteArray baBroadcast = settings.networkBroadcastList();
    sdkSetNetOptions(baBroadcast.constData(), settings.nDiscoveryPort, settings.bLoopbackOnly ? 1 : 0);

    pSearchThread = new CSearchDeviceThread();
    pSearchThread->setSearchTime(5000);
    CSearchDeviceThread::registerMetaType();
    connect(pSearchThread, &CSearchDeviceThread::deviceSearch, this, &CVantrel::fillDeviceTable);
    connect(pSearchThread, &CSearchDeviceThread::stop, this, &CVantrel::stopSearch);

    connect(ui->selectBtn, &QPushButton::clicked, this, &CVantrel::SelectDevice);
    ui->btnModifyIP->setEnabled(false);
    ui->btnModifyCfg->setEnabled(false);

    connect(this, &CVantrel::releaseCursor, this, &CVantrel::onReleaseCursor);
    connect(this, &CVantrel::updateTableInfo, this, &CVantrel::onUpdateTableInfo);
    // Queued even from this thread: a worker's message must not open a modal loop inside the
    // code that emitted it.
    connect(this, &CVantrel::showMessageSignal, this, &CVantrel::onShowMessage, Qt::QueuedConnection);
    connect(this, &CVantrel::updateBtnState, this, &CVantrel::onUpdateBtnState);

    threadBatch.setThreadFunc(&batchThreadProc, this);
    pUpgrade = std::make_unique<CUpgradeRun>();
    pUpgrade->threadUpgrade.setThreadFunc(&upgradeThreadProc, this);
    pDealThread = new CBatchDealThread(this);
    pDealThread->setWaitTime(kDealWaitMs);
    connect(pDealThread, &CBatchDealThread::message, this, &CVantrel::onDealBathMsg);

    if (const QScreen* pScreen = QGuiApplication::primaryScreen()) {
        const QRect rcDesktop = pScreen->geometry();
        move((rcDesktop.width() - width()) / 2, (rcDesktop.height() - height()) / 2);
    }

    ui->label_5->hide();
    ui->lineEditCfg->hide();
    ui->browseCfgBtn->hide();
}

CVantrel::~CVantrel()
{
    // Running upgrades are closed and their threads end first: they write into the rows and use
    // the library.
    stopUpgradeRun();
    // A pass still running uses the library: let it end (bounded by its wait time) before cleanup.
    pSearchThread->wait();
    // The batch worker and the dedicated thread use the records and the library: the records may
    // only go once both have ended. Each ends on its own, since every device call has a time-out.
    threadBatch.wait();
    pDealThread->wait();
    clearDeviceRows();
    sdkCleanup();
    delete pSearchThread;
    delete ui;
    if (g_pMainWindow == this)
        g_pMainWindow = nullptr;
}

void CVantrel::setupTable()
{
    pModel = new QStandardItemModel(0, kColumnCount, this);
    static const char* const aszHeaders[kColumnCount] = {
        QT_TRANSLATE_NOOP("QObject", "NO."),         QT_TRANSLATE_NOOP("QObject", "IP Address"),
        QT_TRANSLATE_NOOP("QObject", "Port"),        QT_TRANSLATE_NOOP("QObject", "Destribe"),
        QT_TRANSLATE_NOOP("QObject", "Mac Address"), QT_TRANSLATE_NOOP("QObject", "CloudID"),
        QT_TRANSLATE_NOOP("QObject", "Version"),     QT_TRANSLATE_NOOP("QObject", "BuildDate"),
    };
    static const int anWidths[kColumnCount] = {50, 100, 60, 140, 140, 150, 300, 140};
    for (int i = 0; i < kColumnCount; ++i)
        pModel->setHeaderData(i, Qt::Horizontal, QObject::tr(aszHeaders[i]), Qt::EditRole);

    ui->tableView->setModel(pModel);
    ui->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int i = 0; i < kColumnCount; ++i)
        ui->tableView->setColumnWidth(i, anWidths[i]);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setShowGrid(true);
    ui->tableView->setAlternatingRowColors(true);
}

DEV_INFO* CVantrel::getDevInfo(int nRow) const
{
    QMutexLocker locker(&mutexTable);
    return lstRowRecords.value(nRow, nullptr);
}

void CVantrel::appendDeviceRow(const QList<QStandardItem*>& lstItems, DEV_INFO* pInfo)
{
    lstItems[0]->setData(QVariant::fromValue(reinterpret_cast<quintptr>(pInfo)), Qt::UserRole);
    QMutexLocker locker(&mutexTable);
    pModel->appendRow(lstItems);
    lstRowRecords.append(pInfo);
}

void CVantrel::setSearchTime(int nMs)
{
    pSearchThread->setSearchTime(nMs);
}

void CVantrel::clearDeviceRows()
{
    QVector<DEV_INFO*> lstRecords;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        DEV_INFO* pInfo = getDevInfo(nRow);
        if (!pInfo)
            continue;
        if (pInfo->lLoginID > 0)
            sdkLogout(pInfo->lLoginID);
        lstRecords.append(pInfo);
    }
    {
        QMutexLocker locker(&mutexTable);
        pModel->removeRows(0, pModel->rowCount());
        lstRowRecords.clear();
    }
    qDeleteAll(lstRecords);
}

void CVantrel::onUpdateTableInfo(int nRow, int nCloumn, QString strMsg)
{
    // setData on a cell outside the table is refused by the model, which is what we want.
    pModel->setData(pModel->index(nRow, nCloumn), strMsg, Qt::EditRole);
}

void CVantrel::on_SearchButton_clicked()
{
    if (refuseWhileBusy(tr("Devices are being configured, search again when the work has finished")))
        return;
    ui->selectBtn->setText(tr("SelectAll"));
    bSelectAll = false;
    clearDeviceRows();
    ui->SearchButton->setEnabled(false);
    pSearchThread->start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CVantrel::fillDeviceTable(SDK_CONFIG_NET_COMMON_V2 deviceSearched)
{
    ui->SearchButton->setEnabled(true);
    if (isListedDeviceKind(deviceSearched.deviceKind) && pModel->rowCount() < kMaxSearchRecords) {
        const int nRow = pModel->rowCount();
        const CDeviceRowTexts texts = deviceRowTexts(deviceSearched);
        QList<QStandardItem*> lstItems;
        for (int i = 0; i < kColumnCount; ++i)
            lstItems.append(new QStandardItem());
        lstItems[0]->setText(QStringLiteral("%1").arg(nRow + 1));
        lstItems[0]->setCheckable(true);
        lstItems[0]->setCheckState(Qt::Unchecked);
        lstItems[1]->setText(texts.strIpAddr);
        lstItems[4]->setText(texts.strMac);
        lstItems[2]->setText(texts.strPort);
        if (!texts.strVersion.isEmpty()) {
            lstItems[6]->setText(texts.strVersion);
            lstItems[7]->setText(texts.strBuildDate);
        }
        lstItems[5]->setText(texts.strCloudId);

        auto* pInfo = new DEV_INFO;
        std::memset(pInfo, 0, sizeof(*pInfo));
        buildDevInfo(pInfo, deviceSearched, nRow);
        appendDeviceRow(lstItems, pInfo);
        if (nRow == 0)
            on_tableView_clicked(pModel->index(0, 0));
    }
    onReleaseCursor();
}

void CVantrel::SelectDevice()
{
    bSelectAll = !bSelectAll;
    const Qt::CheckState state = bSelectAll ? Qt::Checked : Qt::Unchecked;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow)
        pModel->item(nRow, 0)->setCheckState(state);
    ui->selectBtn->setText(bSelectAll ? tr("UnSelectAll") : tr("SelectAll"));
}

void CVantrel::stopSearch()
{
    ui->SearchButton->setEnabled(true);
    onReleaseCursor();
}

void CVantrel::onReleaseCursor()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (QWidget* pGrabber = QWidget::mouseGrabber())
        pGrabber->releaseMouse();
}

void CVantrel::on_btnReverse_clicked()
{
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        QStandardItem* pItem = pModel->item(nRow, 0);
        pItem->setCheckState(pItem->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void CVantrel::on_tableView_clicked(QModelIndex nIndex)
{
    if (!nIndex.isValid())
        return;
    const int nRow = nIndex.row();
    const DEV_INFO* pInfo = getDevInfo(nRow);
    if (!pInfo)
        return;
    ui->labelDevInfo->setText(
        QStringLiteral("%1%2   IP:%3").arg(tr("Dev No :")).arg(nRow + 1).arg(QString::fromLocal8Bit(pInfo->szIpAddr)));
    ui->tableView->setCurrentIndex(nIndex);
}

void CVantrel::on_tableView_doubleClicked(QModelIndex nIndex)
{
    strPassword = ui->lineEditPassword->text();
    if (!nIndex.isValid())
        return;
    DEV_INFO* pInfo = getDevInfo(nIndex.row());
    if (!pInfo)
        return;
    // A running batch owns the records' logins: a login from here would race with the worker's.
    if (refuseWhileBusy(tr("Configuring, please try again later")))
        return;
    if (pInfo->lLoginID < 1) {
        setRecordPassword(pInfo, strPassword.toLocal8Bit());
        int nError = 0;
        pInfo->lLoginID = sdkLogin(pInfo->szIpAddr, static_cast<unsigned short>(pInfo->nPort), pInfo->szUserName,
                                   pInfo->szPassword, &pInfo->devInfo, 1, &nError);
        if (pInfo->lLoginID < 1) {
            onUpdateTableInfo(nIndex.row(), kStatusColumn, loginErrorText(nError));
            return;
        }
        onUpdateTableInfo(nIndex.row(), kStatusColumn, tr("Login Success"));
        const SDK_DEVICE_INFO& devInfo = pInfo->devInfo;
        const QString strVersion =
            QString::fromLocal8Bit(devInfo.version, qsizetype(strnlen(devInfo.version, sizeof(devInfo.version))));
        onUpdateTableInfo(nIndex.row(), 6, strVersion);
        onUpdateTableInfo(nIndex.row(), 7, buildDateText(devInfo.buildYear, devInfo.buildMonth, devInfo.buildDay));
    }
    // The live preview of the logged-in device opens here once it is built; the login stays open.
}

void CVantrel::showPrompt(const QString& strText)
{
    CMessageBox::warning(QApplication::activeWindow(), tr("Prompt"), strText, okText());
}

void CVantrel::showTips(const QString& strText)
{
    CMessageBox::information(QApplication::activeWindow(), tr("Tips"), strText, okText());
}

bool CVantrel::refuseWhileBusy(const QString& strText)
{
    if (!isBusy())
        return false;
    showPrompt(strText);
    return true;
}

bool CVantrel::hasCheckedRow() const
{
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, 0);
        if (pItem && pItem->checkState() == Qt::Checked)
            return true;
    }
    return false;
}

bool CVantrel::startBatch(int nNewCmd, int nNewAdaptive)
{
    if (isBusy()) {
        showPrompt(tr("Configuring, please try again later"));
        return false;
    }
    if (!hasCheckedRow()) {
        showPrompt(tr("Please select device first"));
        return false;
    }
    nCmd = nNewCmd;
    if (nNewAdaptive >= 0)
        byAdaptive = static_cast<unsigned char>(nNewAdaptive);
    strBatchPassword = ui->lineEditPassword->text();
    setIdle(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    startBatchWorker();
    return true;
}

void CVantrel::startBatchWorker()
{
    auto pNewJob = std::make_unique<CBatchJob>();
    pNewJob->nCmd = nCmd;
    pNewJob->byAdaptive = byAdaptive;
    pNewJob->strPassword = strBatchPassword;
    pNewJob->bModifyIP = bModifyIP;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, 0);
        CBatchRow row;
        row.bChecked = pItem && pItem->checkState() == Qt::Checked;
        row.pRec = getDevInfo(nRow);
        pNewJob->lstRows.append(row);
    }
    if ((nCmd == kCmdModifyIpFromStart || nCmd == kCmdModifyIpSame) && pIpSetDlg) {
        pNewJob->strPlanIp = pIpSetDlg->address();
        pNewJob->strPlanMask = pIpSetDlg->mask();
        pNewJob->strPlanGateway = pIpSetDlg->gateway();
        pNewJob->pCheck = CAddressCheck::fromSettings(CAppSettings::read());
    }
    // The previous worker has set the idle flag as its very last step, but may still be returning.
    threadBatch.wait();
    pJob = std::move(pNewJob);
    threadBatch.start(QThread::InheritPriority);
}

void CVantrel::runBatch()
{
    CBatchJob& job = *pJob;
    CIpModifier modifier;
    const bool bAddressCommand = job.nCmd == kCmdModifyIpFromStart || job.nCmd == kCmdModifyIpSame;
    if (bAddressCommand)
        modifier.preparePlan(job.nCmd, job.strPlanIp, job.strPlanMask, job.strPlanGateway, job.strPassword,
                             job.pCheck.get());

    for (const CBatchRow& row : job.lstRows) {
        if (!row.bChecked || !row.pRec) {
            QThread::msleep(kRowPauseMs);
            continue;
        }
        DEV_INFO* pRec = row.pRec;
        const int n = pRec->nIndex;
        if (bAddressCommand) {
            const CIpModifier::Result result = modifier.changeAddress(pRec);
            emit updateTableInfo(n, kStatusColumn, result.strStatus);
            if (!result.strNewIp.isEmpty())
                setTableCellText(n, 1, result.strNewIp);
            continue;
        }
        if (pRec->lLoginID < 1) {
            setRecordPassword(pRec, job.strPassword.toLocal8Bit());
            if (job.bModifyIP) {
                // A device that cannot be moved to its fixed address keeps ModifyIP's text and is skipped.
                const int nModify =
                    CIpModifier::modifyIp(pRec, n, 1, [this](int nRow, int nColumn, const QString& strText) {
                        setTableCellText(nRow, nColumn, strText);
                    });
                if (nModify <= 0)
                    continue;
                QThread::msleep(kModifyIpPauseMs);
            }
            int nError = 0;
            pRec->lLoginID = sdkLogin(pRec->szIpAddr, static_cast<unsigned short>(pRec->nPort), pRec->szUserName,
                                      pRec->szPassword, &pRec->devInfo, 1, &nError);
            if (pRec->lLoginID < 1) {
                emit updateTableInfo(n, kStatusColumn, loginErrorText(nError));
                continue;
            }
            emit updateTableInfo(n, kStatusColumn, loginSuccessText());
        }
        runLoginCommand(job, pRec);
    }
    emit releaseCursor();
    setIdle(true);
}

void CVantrel::runLoginCommand(CBatchJob& job, DEV_INFO* pRec)
{
    const int n = pRec->nIndex;
    switch (job.nCmd) {
    case kCmdResetConfig: {
        QByteArray baRecord = factoryResetRecord();
        const long nRet = sdkSetConfig(pRec->lLoginID, kCmdFactoryReset, -1, baRecord.data(),
                                       static_cast<unsigned long>(baRecord.size()), kBatchConfigWaitMs);
        // Reset failures are reported but still end with the logout and the pause.
        emit updateTableInfo(n, kStatusColumn, resetResultText(nRet));
        break;
    }
    case kCmdOpenDhcp:
    case kCmdCloseDhcp: {
        char chValue = char(job.byAdaptive);
        const long nRet = sdkSetConfig(pRec->lLoginID, kCmdIpAdaptive, -1, &chValue, 1, kBatchConfigWaitMs);
        emit updateTableInfo(n, kStatusColumn, adaptiveResultText(nRet));
        if (!isAdaptiveSuccess(nRet))
            return; // keeps the login for the next batch and skips the pause
        break;
    }
    default:
        // The configuration pages (code 7) are written here once their dialog is part of the program.
        break;
    }
    if (pRec->lLoginID > 0) {
        sdkLogout(pRec->lLoginID);
        pRec->lLoginID = -1;
    }
    QThread::msleep(kRowPauseMs);
}

void CVantrel::setTableCellText(int nRow, int nColumn, const QString& strText)
{
    if (QThread::currentThread() == thread()) {
        onUpdateTableInfo(nRow, nColumn, strText);
        return;
    }
    // Posted to this object like the queued updateTableInfo emissions, so the writes of one thread
    // keep their order.
    QMetaObject::invokeMethod(
        this, [this, nRow, nColumn, strText]() { onUpdateTableInfo(nRow, nColumn, strText); }, Qt::QueuedConnection);
}

int CVantrel::ModifyIP(int nIndex, int nType)
{
    return CIpModifier::modifyIp(
        getDevInfo(nIndex), nIndex, nType,
        [this](int nRow, int nColumn, const QString& strText) { setTableCellText(nRow, nColumn, strText); });
}

int CVantrel::ImportDevConfig(long lLoginID, int nIndex)
{
    return importConfigFile(strCfgFile, lLoginID, nIndex);
}

int CVantrel::importConfigFile(const QString& strFile, long lLoginID, int nIndex)
{
    if (strFile.isEmpty())
        return 0;
    QByteArray baData;
    switch (readConfigFile(strFile, &baData)) {
    case ConfigFileRead::Unopenable:
        return -1;
    case ConfigFileRead::Empty:
        return 0;
    case ConfigFileRead::TooLarge:
        // The device takes at most 128 KiB: sending the head of a larger file would configure it
        // from a cut-off text.
        setTableCellText(nIndex, kStatusColumn, importTooLargeText());
        return -1;
    case ConfigFileRead::Ok:
        break;
    }
    const long nRet = sdkSetConfig(lLoginID, kCmdImportConfig, -1, baData.data(),
                                   static_cast<unsigned long>(baData.size()), kImportWaitMs);
    setTableCellText(nIndex, kStatusColumn, importResultText(nRet));
    return int(nRet);
}

void CVantrel::BatchOpr(int nCmdDeal)
{
    // The dedicated thread takes its list at the start of a pass; adding to it or changing its
    // command while a pass runs would mix two requests, so a press meanwhile is refused with the
    // same prompt as a second batch.
    if (pDealThread->isRunning() || isUpgrading()) {
        showPrompt(tr("Configuring, please try again later"));
        return;
    }
    bool bAny = false;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, 0);
        if (pItem && pItem->checkState() == Qt::Checked) {
            pDealThread->addDevice(getDevInfo(nRow));
            bAny = true;
        }
    }
    if (!bAny) {
        showPrompt(tr("Please Select a Device"));
        return;
    }
    pDealThread->setCmd(nCmdDeal);
    pDealThread->setWaitTime(kDealWaitMs);
    pDealThread->start(QThread::InheritPriority);
}

void CVantrel::onDealBathMsg(int ret, int nError, int nIndex, int nCmdDeal)
{
    onUpdateTableInfo(nIndex, kStatusColumn, dealMessageText(ret, nError, nCmdDeal));
    if (!isDealSuccess(ret))
        return;
    // While a batch runs its worker owns the records' logins: leave them to it.
    DEV_INFO* pRec = getDevInfo(nIndex);
    if (pRec && pRec->lLoginID > 0 && isIdle()) {
        sdkLogout(pRec->lLoginID);
        pRec->lLoginID = 0;
    }
}

void CVantrel::on_btnReset_clicked()
{
    startBatch(kCmdResetConfig);
}

void CVantrel::on_btnOpenDhcp_clicked()
{
    startBatch(kCmdOpenDhcp, 1);
}

void CVantrel::on_btnCloseDhcp_clicked()
{
    startBatch(kCmdCloseDhcp, 0);
}

void CVantrel::on_btnSetIP_clicked()
{
    if (!pIpSetDlg) {
        pIpSetDlg = new CIpSetDlg(this);
        pIpSetDlg->proposePlan();
    }
    ui->btnModifyIP->setEnabled(pIpSetDlg->exec() == QDialog::Accepted);
}

void CVantrel::on_btnModifyIP_clicked()
{
    if (!pIpSetDlg || !pIpSetDlg->isConfigured()) {
        showPrompt(tr("Please Set IP Config first"));
        return;
    }
    startBatch(pIpSetDlg->mode() == 1 ? kCmdModifyIpSame : kCmdModifyIpFromStart);
}

void CVantrel::chooseFileInto(QLineEdit* pEdit, const QString& strFilter)
{
    const QString strFile = QFileDialog::getOpenFileName(this, tr("Choose a file to open"),
                                                         QString::fromLatin1(kFileDialogStartDir), strFilter);
    if (!strFile.isEmpty())
        pEdit->setText(strFile);
}

void CVantrel::on_browseBtn_clicked()
{
    chooseFileInto(ui->lineEditFileName, QStringLiteral("Upgrade File(*.bin);;Files(*.*)"));
}

void CVantrel::on_browseCfgBtn_clicked()
{
    chooseFileInto(ui->lineEditCfg, QStringLiteral("Config File(*.cfg)"));
}

void CVantrel::on_addBtn_clicked()
{
    if (refuseWhileBusy(tr("Devices are being configured, add the device when the work has finished")))
        return;
    if (pModel->rowCount() >= kMaxTableRows)
        return;
    // A new dialog per press: nothing typed into an earlier one is kept.
    LoginDlg dlg;
    if (dlg.exec() != QDialog::Accepted)
        return;

    const DEV_INFO& result = dlg.record();
    const SDK_DEVICE_INFO& devInfo = result.devInfo;
    const int nRow = pModel->rowCount();
    QList<QStandardItem*> lstItems;
    for (int i = 0; i < kColumnCount; ++i)
        lstItems.append(new QStandardItem());
    lstItems[0]->setData(nRow + 1, Qt::EditRole);
    lstItems[4]->setText(QString::fromLocal8Bit(result.netBlock.mac,
                                                qsizetype(strnlen(result.netBlock.mac, sizeof(result.netBlock.mac)))));
    lstItems[1]->setText(
        QString::fromLocal8Bit(result.szIpAddr, qsizetype(strnlen(result.szIpAddr, sizeof(result.szIpAddr)))));
    lstItems[2]->setData(result.nPort, Qt::EditRole);
    const QString strSerial =
        QString::fromLocal8Bit(devInfo.serial, qsizetype(strnlen(devInfo.serial, sizeof(devInfo.serial))));
    lstItems[5]->setText(strSerial);
    lstItems[3]->setText(tr("Login Success"));
    const QString strVersion =
        QString::fromLocal8Bit(devInfo.version, qsizetype(strnlen(devInfo.version, sizeof(devInfo.version))));
    if (!strVersion.isEmpty()) {
        lstItems[6]->setText(strVersion);
        lstItems[7]->setText(buildDateText(devInfo.buildYear, devInfo.buildMonth, devInfo.buildDay));
    }
    lstItems[0]->setCheckable(true);
    lstItems[0]->setCheckState(Qt::Unchecked);

    auto* pInfo = new DEV_INFO;
    std::memcpy(pInfo, &result, sizeof(*pInfo));
    pInfo->nIndex = nRow;
    std::memset(pInfo->szCloudId, 0, sizeof(pInfo->szCloudId));
    std::memcpy(pInfo->szCloudId, devInfo.serial, qMin(sizeof(pInfo->szCloudId), sizeof(devInfo.serial)) - 1);
    appendDeviceRow(lstItems, pInfo);

    ui->tableView->selectRow(nRow);
    on_tableView_clicked(pModel->index(nRow, 0));
    emit sendDevInfoSignal(*pInfo);
}

void CVantrel::on_btnOtherCfg_clicked()
{
    if (pModel->rowCount() == 0) {
        showTips(tr("Please add device first"));
        return;
    }
    // The configuration dialog opens here for the current row once it is part of the program.
}

bool CVantrel::anyConfigPageTicked() const
{
    // The ticks live in the configuration dialog's page tree; without the dialog none is ticked.
    return false;
}

void CVantrel::on_btnModifyCfg_clicked()
{
    if (!anyConfigPageTicked()) {
        showTips(tr("Please select device first"));
        return;
    }
    startBatch(kCmdModifyConfig);
}

void CVantrel::on_btnVolume_clicked()
{
    if (pModel->rowCount() == 0) {
        showTips(tr("Please add device first"));
        return;
    }
    // The test sound goes to the current row's camera here once voice talk is part of the program.
}

void CVantrel::on_btnMicro_clicked()
{
    if (pModel->rowCount() == 0) {
        showTips(tr("Please add device first"));
        return;
    }
    // Listening to the current row's camera starts here once voice talk is part of the program.
}

void CVantrel::on_getLogoBinFile(QString strFilePath)
{
    ui->lineEditFileName->setText(strFilePath);
}

void CVantrel::onShowMessage(QString strMsg)
{
    showPrompt(strMsg);
}

void CVantrel::onUpdateBtnState(int nType, int nState)
{
    if (nType == 0) {
        nVolumeState = nState;
        ui->btnVolume->setEnabled(nState == 0);
    } else if (nType == 1) {
        nMicroState = nState;
        ui->btnMicro->setText(nState != 0 ? tr("StopMicro") : tr("StartMicro"));
    }
}
