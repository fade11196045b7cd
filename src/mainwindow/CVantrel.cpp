#include "CVantrel.h"

#include <cstring>
#include <utility>

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaObject>
#include <QScreen>
#include <QStandardItemModel>
#include <QThread>

#include "app/BuildInfo.h"
#include "app/CBackgroundTask.h"
#include "app/LogCategories.h"
#include "batch/BatchCommands.h"
#include "batch/BatchTexts.h"
#include "batch/CAddressCheck.h"
#include "batch/CBatchDealThread.h"
#include "batch/CBatchRunner.h"
#include "batch/CIpModifier.h"
#include "batch/CIpSetDlg.h"
#include "batch/DeviceCommands.h"
#include "config/COtherConfigDlg.h"
#include "config/ConfigRecords.h"
#include "device/CSearchDeviceThread.h"
#include "device/DeviceRecords.h"
#include "device/DeviceTable.h"
#include "device/LoginDlg.h"
#include "media/CRealplayDlg.h"
#include "media/CVoiceTalk.h"
#include "upgrade/CUpgradeWorker.h"
#include "CMessageBox.h"
#include "ui_CVantrel.h"

CVantrel* g_pMainWindow = nullptr;

namespace {

const char* const kFileDialogStartDir = "/home";
constexpr int kDealWaitMs = 3000;

unsigned int batchThreadProc(void* pArg)
{
    if (pArg)
        static_cast<CVantrel*>(pArg)->runBatch();
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

QList<QStandardItem*> newRowItems()
{
    QList<QStandardItem*> lstItems;
    for (int i = 0; i < ColumnCount; ++i)
        lstItems.append(new QStandardItem());
    return lstItems;
}

} // namespace

CVantrel::CVantrel(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), ui(new Ui::CVantrelClass)
{
    ui->setupUi(this);

    appSettings = CAppSettings::read();
    bModifyIP = appSettings.nModifyIP != 0;
    strSoundFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Sound/sound.wav");

    g_pMainWindow = this;
    bSelectAll = false;

    threadBatch.setThreadFunc(&batchThreadProc, this);
    pRunner = std::make_unique<CBatchRunner>(
        [this](int nRow, int nColumn, const QString& strText) { setTableCellText(nRow, nColumn, strText); });

    setupTable();

    const QDateTime& dtBuild = buildDateTime();
    setWindowTitle(windowTitleText(dtBuild));
    qCDebug(lcMainWindow).noquote() << dtBuild.date().toString(QStringLiteral("yyyy.MM.dd"));
    qCDebug(lcMainWindow).noquote() << dtBuild.time().toString(QStringLiteral("hh:mm:ss"));
    qCDebug(lcMainWindow).noquote() << dtBuild.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss"));

    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
    const QByteArray baBroadcast = appSettings.networkBroadcastList();
    sdkSetNetOptions(baBroadcast.constData(), appSettings.nDiscoveryPort, appSettings.bLoopbackOnly ? 1 : 0);

    pSearchThread = new CSearchDeviceThread();
    pSearchThread->setSearchTime(5000);
    CSearchDeviceThread::registerMetaType();
    connect(pSearchThread, &CSearchDeviceThread::deviceSearch, this, &CVantrel::fillDeviceTable);
    connect(pSearchThread, &CSearchDeviceThread::stop, this, &CVantrel::stopSearch);

    pDealThread = new CBatchDealThread(this);
    pDealThread->setWaitTime(kDealWaitMs);
    connect(pDealThread, &CBatchDealThread::message, this, &CVantrel::onDealBathMsg);
    pConfigDlg = new COtherConfigDlg();

    connect(ui->selectBtn, &QPushButton::clicked, this, &CVantrel::SelectDevice);
    ui->btnModifyIP->setEnabled(false);
    ui->btnModifyCfg->setEnabled(false);

    connect(this, &CVantrel::releaseCursor, this, &CVantrel::onReleaseCursor);
    connect(this, &CVantrel::updateTableInfo, this, &CVantrel::onUpdateTableInfo);
    // Queued even from this thread: a worker's message must not open a modal loop inside the
    // code that emitted it.
    connect(this, &CVantrel::showMessageSignal, this, &CVantrel::onShowMessage, Qt::QueuedConnection);
    connect(this, &CVantrel::updateBtnState, this, &CVantrel::onUpdateBtnState);

    pUpgrade = std::make_unique<CUpgradeWorker>(
        records, [this](int nRow, int nColumn, const QString& strText) { setTableCellText(nRow, nColumn, strText); },
        appSettings.bLoopbackOnly);
    pUpgrade->setFinishedHandler([this]() {
        QMetaObject::invokeMethod(
            this, [this]() { emit upgradeFinished(); }, Qt::QueuedConnection);
    });
    pLoginTask = new CBackgroundTask(this);
    pPackageTask = new CBackgroundTask(this);
    pLogoutTask = new CBackgroundTask(this);

    // The voice talk waits for devices: it lives on a thread of its own, which runs its calls one
    // after the other and deletes it as it ends. The thread starts at the first Volume or Micro press.
    pVoiceThread = new QThread(this);
    pVoiceThread->setObjectName(QStringLiteral("voice talk"));
    pVoiceTalk = new CVoiceTalk(strSoundFile);
    pVoiceTalk->moveToThread(pVoiceThread);
    connect(pVoiceThread, &QThread::finished, pVoiceTalk, &QObject::deleteLater);
    connect(pVoiceTalk, &CVoiceTalk::updateBtnState, this, &CVantrel::updateBtnState, Qt::QueuedConnection);
    connect(pVoiceTalk, &CVoiceTalk::showMessageSignal, this, &CVantrel::showMessageSignal, Qt::QueuedConnection);

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
    // A running batch stops before its next row: the row in progress ends within its device
    // calls' time-outs, and the remaining devices are left as they are.
    pRunner->requestStop();
    // Running upgrades are closed and their threads end first: they write into the rows and use
    // the library.
    pUpgrade->stop();
    // A pass still running uses the library: let it end (bounded by its wait time) before cleanup.
    pSearchThread->wait();
    // The workers use the records and the library: the records may only go once all have ended.
    // Each ends on its own, since every device call has a time-out.
    threadBatch.wait();
    pDealThread->wait();
    delete pLoginTask;
    delete pPackageTask;
    delete pLogoutTask;
    // A proposal still looking asks the library too: it ends at its next question.
    delete pIpSetDlg;
    pIpSetDlg = nullptr;
    // After the batch worker: a batch takes its records when it starts, but the dialog's own reads
    // use the library, so it goes before the library does (waiting for a read still running).
    delete pConfigDlg;
    pConfigDlg = nullptr;
    pUpgrade.reset();
    // The stream stops and the talk ends (a volume test first) while the library is up; each device
    // call is bounded by its time-out. A press still queued for the talk is dropped.
    delete pRealplayDlg;
    pRealplayDlg = nullptr;
    if (pVoiceThread->isRunning()) {
        pVoiceThread->quit();
        pVoiceThread->wait();
    } else {
        delete pVoiceTalk;
    }
    pVoiceTalk = nullptr;
    // The window is gone from the screen by now: these logouts keep no one waiting at a frozen window.
    for (long lLogin : clearDeviceRows() + lstPendingLogouts)
        sdkLogout(lLogin);
    sdkCleanup();
    delete pSearchThread;
    delete ui;
    if (g_pMainWindow == this)
        g_pMainWindow = nullptr;
}

void CVantrel::setupTable()
{
    pModel = new QStandardItemModel(0, ColumnCount, this);
    static const char* const aszHeaders[ColumnCount] = {
        QT_TRANSLATE_NOOP("QObject", "NO."),         QT_TRANSLATE_NOOP("QObject", "IP Address"),
        QT_TRANSLATE_NOOP("QObject", "Port"),        QT_TRANSLATE_NOOP("QObject", "Destribe"),
        QT_TRANSLATE_NOOP("QObject", "Mac Address"), QT_TRANSLATE_NOOP("QObject", "CloudID"),
        QT_TRANSLATE_NOOP("QObject", "Version"),     QT_TRANSLATE_NOOP("QObject", "BuildDate"),
    };
    static const int anWidths[ColumnCount] = {50, 100, 60, 140, 140, 150, 300, 140};
    for (int i = 0; i < ColumnCount; ++i)
        pModel->setHeaderData(i, Qt::Horizontal, QObject::tr(aszHeaders[i]), Qt::EditRole);

    ui->tableView->setModel(pModel);
    ui->tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int i = 0; i < ColumnCount; ++i)
        ui->tableView->setColumnWidth(i, anWidths[i]);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setShowGrid(true);
    ui->tableView->setAlternatingRowColors(true);
}

bool CVantrel::getDevInfo(int nRow, int nColumn, DEV_INFO* pOut) const
{
    Q_UNUSED(nColumn); // every row keeps its record in its first column
    return records.copy(nRow, pOut);
}

void CVantrel::appendDeviceRow(const QList<QStandardItem*>& lstItems, std::unique_ptr<DEV_INFO> pInfo)
{
    DEV_INFO* pKept = records.append(std::move(pInfo));
    lstItems[ColumnNumber]->setData(QVariant::fromValue(reinterpret_cast<quintptr>(pKept)), Qt::UserRole);
    pModel->appendRow(lstItems);
}

void CVantrel::setSearchTime(int nMs)
{
    pSearchThread->setSearchTime(nMs);
}

QVector<long> CVantrel::clearDeviceRows()
{
    QVector<long> lstLogins;
    for (const std::unique_ptr<DEV_INFO>& pInfo : records.takeAll()) {
        if (pInfo->lLoginID > 0)
            lstLogins.append(pInfo->lLoginID);
    }
    pModel->removeRows(0, pModel->rowCount());
    return lstLogins;
}

bool CVantrel::isBusy() const
{
    return !isIdle() || isUpgrading() || isLoginRunning();
}

bool CVantrel::isLoginRunning() const
{
    return pLoginTask && pLoginTask->isRunning();
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
    // The rows go at once; their logouts (up to a second each for a device that does not answer)
    // run on the search thread before its search.
    pSearchThread->setLogoutsBeforeSearch(clearDeviceRows());
    ui->SearchButton->setEnabled(false);
    pSearchThread->start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CVantrel::fillDeviceTable(SDK_CONFIG_NET_COMMON_V2 deviceSearched)
{
    ui->SearchButton->setEnabled(true);
    if (isListedDeviceKind(deviceSearched.deviceKind) && pModel->rowCount() < kMaxTableRows) {
        const int nRow = pModel->rowCount();
        const CDeviceRowTexts texts = deviceRowTexts(deviceSearched);
        const QList<QStandardItem*> lstItems = newRowItems();
        lstItems[ColumnNumber]->setText(QStringLiteral("%1").arg(nRow + 1));
        lstItems[ColumnNumber]->setCheckable(true);
        lstItems[ColumnNumber]->setCheckState(Qt::Unchecked);
        lstItems[ColumnIpAddress]->setText(texts.strIpAddr);
        lstItems[ColumnMac]->setText(texts.strMac);
        lstItems[ColumnPort]->setText(texts.strPort);
        if (!texts.strVersion.isEmpty()) {
            lstItems[ColumnVersion]->setText(texts.strVersion);
            lstItems[ColumnBuildDate]->setText(texts.strBuildDate);
        }
        lstItems[ColumnCloudId]->setText(texts.strCloudId);

        auto pInfo = std::make_unique<DEV_INFO>();
        std::memset(pInfo.get(), 0, sizeof(DEV_INFO));
        buildDevInfo(pInfo.get(), deviceSearched, nRow);
        appendDeviceRow(lstItems, std::move(pInfo));
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
        pModel->item(nRow, ColumnNumber)->setCheckState(state);
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
        QStandardItem* pItem = pModel->item(nRow, ColumnNumber);
        pItem->setCheckState(pItem->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void CVantrel::on_tableView_clicked(QModelIndex nIndex)
{
    if (!nIndex.isValid())
        return;
    const int nRow = nIndex.row();
    DEV_INFO info;
    if (!records.copy(nRow, &info))
        return;
    ui->labelDevInfo->setText(
        QStringLiteral("%1%2   IP:%3").arg(tr("Dev No :")).arg(nRow + 1).arg(fieldText(info.szIpAddr)));
    ui->tableView->setCurrentIndex(nIndex);
}

void CVantrel::on_tableView_doubleClicked(QModelIndex nIndex)
{
    strPassword = ui->lineEditPassword->text();
    if (!nIndex.isValid() || !records.record(nIndex.row()))
        return;
    // A running batch owns the records' logins: a login from here would race with the worker's.
    if (refuseWhileBusy(tr("Configuring, please try again later")))
        return;
    loginRowThen(nIndex.row(), [this](int nRow) { openLivePreview(nRow); });
}

void CVantrel::loginRowThen(int nRow, std::function<void(int)> fnLoggedIn)
{
    DEV_INFO login;
    if (!records.copy(nRow, &login))
        return;
    if (login.lLoginID > 0) {
        fnLoggedIn(nRow);
        return;
    }
    if (refuseWhileBusy(tr("Configuring, please try again later")))
        return;
    // The login (up to its time-out) runs on a copy off this thread; the row's record takes the
    // outcome when it is back. Meanwhile the window counts as busy, so nothing replaces the rows.
    setRecordPassword(&login, ui->lineEditPassword->text().toLocal8Bit());
    auto pResult = std::make_shared<std::pair<DEV_INFO, int>>(login, 0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pLoginTask->start([pResult]() { loginDevice(&pResult->first, &pResult->second); },
                      [this, nRow, pResult, fnLoggedIn]() {
                          QApplication::restoreOverrideCursor();
                          if (applyRowLogin(nRow, pResult->first, pResult->second))
                              fnLoggedIn(nRow);
                      });
}

bool CVantrel::applyRowLogin(int nRow, const DEV_INFO& loggedIn, int nError)
{
    if (loggedIn.lLoginID < 1) {
        onUpdateTableInfo(nRow, ColumnStatus, loginErrorText(nError));
        emit loginFinished(nRow);
        return false;
    }
    records.update(nRow, [&loggedIn](DEV_INFO& rec) {
        std::memcpy(rec.szPassword, loggedIn.szPassword, sizeof(rec.szPassword));
        rec.devInfo = loggedIn.devInfo;
        rec.lLoginID = loggedIn.lLoginID;
    });
    onUpdateTableInfo(nRow, ColumnStatus, tr("Login Success"));
    // A login that reports no version or build date keeps what the search showed.
    const CLoginTexts texts = loginTexts(loggedIn.devInfo);
    if (!texts.strVersion.isEmpty())
        onUpdateTableInfo(nRow, ColumnVersion, texts.strVersion);
    if (!texts.strBuildDate.isEmpty())
        onUpdateTableInfo(nRow, ColumnBuildDate, texts.strBuildDate);
    emit loginFinished(nRow);
    return true;
}

void CVantrel::openLivePreview(int nRow)
{
    DEV_INFO rec;
    if (!records.copy(nRow, &rec) || rec.lLoginID < 1)
        return;
    // One preview for every device, kept from the first double-click on; the login stays open
    // after it closes. The stream's device calls run on the preview's own thread.
    if (!pRealplayDlg)
        pRealplayDlg = new CRealplayDlg();
    pRealplayDlg->startRealPlay(rec.lLoginID, 0, ui->checkBoxMainStream->isChecked() ? 0 : 1);
    pRealplayDlg->show();
}

void CVantrel::startTalkCommand(std::function<void(CVoiceTalk*, long)> fnStart)
{
    if (pModel->rowCount() == 0) {
        showTips(tr("Please add device first"));
        return;
    }
    const QModelIndex index = ui->tableView->currentIndex();
    // A row logged in already goes on at once, even while a batch runs (the press may be the one
    // that stops listening); one that must log in first waits for the batch like the double-click.
    loginRowThen(index.isValid() ? index.row() : 0, [this, fnStart](int nRow) {
        DEV_INFO rec;
        if (!records.copy(nRow, &rec) || rec.lLoginID < 1)
            return;
        if (!pVoiceThread->isRunning())
            pVoiceThread->start();
        CVoiceTalk* pTalk = pVoiceTalk;
        const long lLoginID = rec.lLoginID;
        QMetaObject::invokeMethod(
            pTalk, [pTalk, lLoginID, fnStart]() { fnStart(pTalk, lLoginID); }, Qt::QueuedConnection);
    });
}

int CVantrel::volumeState() const
{
    return pVoiceTalk ? pVoiceTalk->volumeState() : 0;
}

int CVantrel::microState() const
{
    return pVoiceTalk ? pVoiceTalk->microState() : 0;
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
        const QStandardItem* pItem = pModel->item(nRow, ColumnNumber);
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
    pNewJob->strPassword = strBatchPassword;
    pNewJob->bModifyIP = bModifyIP;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, ColumnNumber);
        CBatchRow row;
        row.bChecked = pItem && pItem->checkState() == Qt::Checked;
        row.pRec = getDevInfo(nRow);
        pNewJob->lstRows.append(row);
    }
    // What each command needs from the controls is taken here, on this thread, when the batch
    // starts: the login-based commands get their command object (code 7 the records of the
    // configuration dialog's ticked pages), the address commands the accepted plan.
    pNewJob->pCommand = makeMaintenanceCommand(nCmd, byAdaptive);
    if (nCmd == BatchConfigPages && pConfigDlg)
        pNewJob->pCommand = std::make_unique<CConfigPagesCommand>(pConfigDlg->takeConfigSnapshot());
    if (isAddressCommand(nCmd) && pIpSetDlg) {
        pNewJob->strPlanIp = pIpSetDlg->address();
        pNewJob->strPlanMask = pIpSetDlg->mask();
        pNewJob->strPlanGateway = pIpSetDlg->gateway();
        pNewJob->pCheck = CAddressCheck::fromSettings(CAppSettings::read());
        pNewJob->lstTakenAddresses = CAddressCheck::hostAddresses();
    }
    // The previous worker has set the idle flag as its very last step, but may still be returning.
    threadBatch.wait();
    pJob = std::move(pNewJob);
    pRunner->clearStop();
    threadBatch.start(QThread::InheritPriority);
}

void CVantrel::runBatch()
{
    pRunner->run(*pJob);
    emit releaseCursor();
    setIdle(true);
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
    return importConfigFile(strCfgFile, lLoginID, nIndex, [this](int nRow, int nColumn, const QString& strText) {
        setTableCellText(nRow, nColumn, strText);
    });
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
        const QStandardItem* pItem = pModel->item(nRow, ColumnNumber);
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

void CVantrel::logoutLater(long lLogin)
{
    if (lLogin <= 0)
        return;
    lstPendingLogouts.append(lLogin);
    startPendingLogouts();
}

void CVantrel::startPendingLogouts()
{
    if (lstPendingLogouts.isEmpty() || pLogoutTask->isRunning())
        return;
    const QVector<long> lstLogins = std::exchange(lstPendingLogouts, {});
    pLogoutTask->start(
        [lstLogins]() {
            for (long lLogin : lstLogins)
                sdkLogout(lLogin);
        },
        [this]() { startPendingLogouts(); });
}

void CVantrel::onDealBathMsg(int ret, int nError, int nIndex, int nCmdDeal)
{
    onUpdateTableInfo(nIndex, ColumnStatus, dealMessageText(ret, nError, nCmdDeal));
    if (!isDealSuccess(ret))
        return;
    // While a batch runs its worker owns the records' logins: leave them to it.
    DEV_INFO* pRec = getDevInfo(nIndex);
    if (pRec && pRec->lLoginID > 0 && isIdle()) {
        logoutLater(pRec->lLoginID);
        pRec->lLoginID = 0;
    }
}

void CVantrel::on_btnReset_clicked()
{
    startBatch(BatchResetConfig);
}

void CVantrel::on_btnOpenDhcp_clicked()
{
    startBatch(BatchIpAdaptiveOn, 1);
}

void CVantrel::on_btnCloseDhcp_clicked()
{
    startBatch(BatchIpAdaptiveOff, 0);
}

void CVantrel::on_btnSetIP_clicked()
{
    if (!pIpSetDlg) {
        pIpSetDlg = new CIpSetDlg(this);
        // The proposal asks the network (a search per candidate) on a thread of its own; the
        // dialog shows that it is looking and fills its editors when the answer is there.
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
    startBatch(pIpSetDlg->mode() == 1 ? BatchSameAddress : BatchAddressFromStart);
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
    chooseFileInto(ui->lineEditFileName, tr("Upgrade File(*.bin);;Files(*.*)"));
}

void CVantrel::on_browseCfgBtn_clicked()
{
    chooseFileInto(ui->lineEditCfg, tr("Config File(*.cfg)"));
}

void CVantrel::on_addBtn_clicked()
{
    if (refuseWhileBusy(tr("Devices are being configured, add the device when the work has finished")))
        return;
    if (pModel->rowCount() >= kMaxTableRows)
        return;
    // A new dialog per press: nothing typed into an earlier one is kept.
    LoginDlg dlg;
    dlg.setLoopbackOnly(appSettings.bLoopbackOnly);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const DEV_INFO& result = dlg.record();
    // Search results may have filled the table while the dialog was open: the new login then has
    // no row, and goes again.
    if (pModel->rowCount() >= kMaxTableRows) {
        const long lLogin = result.lLoginID;
        logoutLater(lLogin);
        showPrompt(tr("The table is full: the device was not added"));
        return;
    }

    const SDK_DEVICE_INFO& devInfo = result.devInfo;
    const int nRow = pModel->rowCount();
    const QList<QStandardItem*> lstItems = newRowItems();
    lstItems[ColumnNumber]->setData(nRow + 1, Qt::EditRole);
    lstItems[ColumnMac]->setText(fieldText(result.netBlock.mac));
    lstItems[ColumnIpAddress]->setText(fieldText(result.szIpAddr));
    lstItems[ColumnPort]->setData(result.nPort, Qt::EditRole);
    lstItems[ColumnCloudId]->setText(fieldText(devInfo.serial));
    lstItems[ColumnStatus]->setText(tr("Login Success"));
    const QString strVersion = fieldText(devInfo.version);
    if (!strVersion.isEmpty()) {
        lstItems[ColumnVersion]->setText(strVersion);
        lstItems[ColumnBuildDate]->setText(buildDateText(devInfo.buildYear, devInfo.buildMonth, devInfo.buildDay));
    }
    lstItems[ColumnNumber]->setCheckable(true);
    lstItems[ColumnNumber]->setCheckState(Qt::Unchecked);

    auto pInfo = std::make_unique<DEV_INFO>();
    std::memcpy(pInfo.get(), &result, sizeof(DEV_INFO));
    pInfo->nIndex = nRow;
    std::memset(pInfo->szCloudId, 0, sizeof(pInfo->szCloudId));
    std::memcpy(pInfo->szCloudId, devInfo.serial, qMin(sizeof(pInfo->szCloudId), sizeof(devInfo.serial)) - 1);
    DEV_INFO* pAdded = pInfo.get();
    appendDeviceRow(lstItems, std::move(pInfo));

    ui->tableView->selectRow(nRow);
    on_tableView_clicked(pModel->index(nRow, ColumnNumber));
    emit sendDevInfoSignal(*pAdded);
}

void CVantrel::on_btnOtherCfg_clicked()
{
    if (pModel->rowCount() == 0) {
        showTips(tr("Please add device first"));
        return;
    }
    // The opening logs the row's device in and out: not while a worker owns the records' logins.
    if (refuseWhileBusy(tr("Configuring, please try again later")))
        return;
    const QModelIndex current = ui->tableView->currentIndex();
    const int nRow = current.isValid() ? current.row() : 0;
    DEV_INFO login;
    if (!records.copy(nRow, &login))
        return;
    const bool bNewLogin = login.lLoginID < 1;
    if (bNewLogin)
        setRecordPassword(&login, ui->lineEditPassword->text().toLocal8Bit());
    // The login and command 164 (up to their time-outs) run on a copy off this thread, as the
    // double-click login does; meanwhile the window counts as busy.
    auto pResult = std::make_shared<std::pair<DEV_INFO, int>>(login, 0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pLoginTask->start(
        [pResult, bNewLogin]() {
            DEV_INFO& rec = pResult->first;
            if (bNewLogin && loginDevice(&rec, &pResult->second) < 1)
                return;
            qint32 nValue = 1;
            sdkSetConfig(rec.lLoginID, kCmdConfigOpening, -1, reinterpret_cast<char*>(&nValue), sizeof(nValue),
                         kConfigOpeningWaitMs);
        },
        [this, nRow, pResult, bNewLogin]() {
            QApplication::restoreOverrideCursor();
            runConfigDialog(nRow, pResult->first, pResult->second, bNewLogin);
        });
}

void CVantrel::runConfigDialog(int nRow, const DEV_INFO& loggedIn, int nError, bool bNewLogin)
{
    const long lLogin = loggedIn.lLoginID;
    if (lLogin < 1) {
        onUpdateTableInfo(nRow, ColumnStatus, loginErrorText(nError));
        return;
    }
    if (bNewLogin) {
        records.update(nRow, [&loggedIn](DEV_INFO& rec) {
            std::memcpy(rec.szPassword, loggedIn.szPassword, sizeof(rec.szPassword));
            rec.devInfo = loggedIn.devInfo;
            rec.lLoginID = loggedIn.lLoginID;
        });
        onUpdateTableInfo(nRow, ColumnStatus, tr("Login Success"));
    }
    // The pages read the device on the dialog's own thread while it is already shown.
    pConfigDlg->loadAllConfig(lLogin);
    ui->btnModifyCfg->setEnabled(pConfigDlg->exec() == QDialog::Accepted);
    records.update(nRow, [](DEV_INFO& rec) { rec.lLoginID = -1; });
    if (!pLoginTask->start([lLogin]() { sdkLogout(lLogin); }))
        logoutLater(lLogin);
}

bool CVantrel::anyConfigPageTicked() const
{
    if (!pConfigDlg)
        return false;
    for (int nType = kFirstConfigPage; nType <= kLastConfigPage; ++nType) {
        if (pConfigDlg->isConfigChecked(nType))
            return true;
    }
    return false;
}

void CVantrel::on_btnModifyCfg_clicked()
{
    if (!anyConfigPageTicked()) {
        showTips(tr("Please select device first"));
        return;
    }
    startBatch(BatchConfigPages);
}

void CVantrel::on_btnVolume_clicked()
{
    startTalkCommand([](CVoiceTalk* pTalk, long lLoginID) { pTalk->startVolumeTest(lLoginID); });
}

void CVantrel::on_btnMicro_clicked()
{
    // Read at every press, so that a change of Config.ini takes effect without a restart.
    const bool bOnlyRecv = CAppSettings::read().nMicOnlyRecv != 0;
    startTalkCommand([bOnlyRecv](CVoiceTalk* pTalk, long lLoginID) { pTalk->switchMicro(lLoginID, bOnlyRecv); });
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
    // The states themselves are the voice talk's: it changes them where it decides them, on its own
    // threads, so that a late notice cannot undo a stop.
    if (nType == 0) {
        ui->btnVolume->setEnabled(nState == 0);
    } else if (nType == 1) {
        ui->btnMicro->setText(nState != 0 ? tr("StopMicro") : tr("StartMicro"));
    }
}
