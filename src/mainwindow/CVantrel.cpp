#include "CVantrel.h"

#include <cstring>

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMutexLocker>
#include <QScreen>
#include <QStandardItemModel>
#include <QVector>

#include "app/BuildInfo.h"
#include "app/CAppSettings.h"
#include "app/LogCategories.h"
#include "device/CSearchDeviceThread.h"
#include "device/DeviceRecords.h"
#include "ui_CVantrel.h"

CVantrel* g_pMainWindow = nullptr;

namespace {

constexpr int kColumnCount = 8;
constexpr int kStatusColumn = 3;

// Parsed once per process: the title and the debug lines use the same value.
const QDateTime& buildDateTime()
{
    static const QDateTime dtBuild = parseBuildDateTime(__DATE__, __TIME__);
    return dtBuild;
}

} // namespace

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
    // A pass still running uses the library: let it end (bounded by its wait time) before cleanup.
    pSearchThread->wait();
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
    const QStandardItem* pItem = pModel->item(nRow, 0);
    if (!pItem)
        return nullptr;
    return reinterpret_cast<DEV_INFO*>(pItem->data(Qt::UserRole).value<quintptr>());
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
        lstItems[0]->setData(QVariant::fromValue(reinterpret_cast<quintptr>(pInfo)), Qt::UserRole);
        {
            QMutexLocker locker(&mutexTable);
            pModel->appendRow(lstItems);
        }
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
    if (pInfo->lLoginID < 1) {
        const QByteArray baPassword = strPassword.toLocal8Bit().left(int(sizeof(pInfo->szPassword)));
        std::memset(pInfo->szPassword, 0, sizeof(pInfo->szPassword));
        // At most 32 bytes: a password filling the whole field carries no terminator, so copy 31.
        std::memcpy(pInfo->szPassword, baPassword.constData(),
                    size_t(qMin(baPassword.size(), int(sizeof(pInfo->szPassword)) - 1)));
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
