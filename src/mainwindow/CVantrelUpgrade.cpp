// The firmware upgrade of the main window: the Upgrade press (its package is read off the
// user-interface thread) and the forwarders to the upgrade worker, which owns the run.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStorageInfo>

#include <memory>

#include "CVantrel.h"
#include "app/CBackgroundTask.h"
#include "batch/CBatchDealThread.h"
#include "device/DeviceTable.h"
#include "upgrade/CUpgradeWorker.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeTexts.h"
#include "ui_CVantrel.h"

namespace {

/// What the package read hands back to the press.
struct CPackageResult
{
    PackageRead read = PackageRead::NotAnArchive;
    QString strHardware;
    qint64 nBytes = 0;
};

} // namespace

bool CVantrel::isUpgrading() const
{
    return pUpgrade && pUpgrade->isRunning();
}

int CVantrel::upgradeThreadCount() const
{
    return pUpgrade ? pUpgrade->threadCount() : 0;
}

bool CVantrel::isReadingPackage() const
{
    return pPackageTask && pPackageTask->isRunning();
}

void CVantrel::upgradeDevice(const std::shared_ptr<DEV_INFO>& pRec, const CUpgradeJob& job)
{
    pUpgrade->upgradeDevice(pRec, job);
}

void CVantrel::RecvProcressThread(int nRow)
{
    pUpgrade->RecvProcressThread(nRow);
}

void CVantrel::on_upgradeBtn_clicked()
{
    // A batch logs the same records in and out: the two must not overlap.
    if (!isIdle() || pDealThread->isRunning() || isLoginRunning()) {
        showPrompt(tr("Configuring, please try again later"));
        return;
    }
    if (isReadingPackage())
        return; // the press before this one is still reading its package
    bModifyIP = CAppSettings::read().nModifyIP != 0;
    const QString strPackage = ui->lineEditFileName->text();
    if (strPackage.isEmpty()) {
        showPrompt(selectProgramText());
        return;
    }
    strCfgFile = ui->lineEditCfg->text();

    // Nothing is unpacked any more: a scratch folder an older version left behind goes.
    removeDirectory(QCoreApplication::applicationDirPath() + QStringLiteral("/Temp"));
    // The package is read on a thread of its own (a large or slow file must not freeze the
    // window); the entries may claim no more than the disk beside the program could hold.
    const qint64 nDiskBytes = QStorageInfo(QCoreApplication::applicationDirPath()).bytesAvailable();
    auto pResult = std::make_shared<CPackageResult>();
    ui->upgradeBtn->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pPackageTask->start(
        [pResult, strPackage, nDiskBytes]() {
            pResult->read = readPackageHardware(strPackage, nDiskBytes, &pResult->strHardware);
            pResult->nBytes = QFileInfo(strPackage).size();
        },
        [this, pResult, strPackage]() {
            QApplication::restoreOverrideCursor();
            ui->upgradeBtn->setEnabled(true);
            continueUpgrade(strPackage, pResult->nBytes, int(pResult->read), pResult->strHardware);
        });
}

void CVantrel::continueUpgrade(const QString& strPackage, qint64 nPackageBytes, int nRead, const QString& strHardware)
{
    switch (PackageRead(nRead)) {
    case PackageRead::NotAnArchive:
    case PackageRead::TooLarge:
        showPrompt(unzipFailText());
        return;
    case PackageRead::NoInstallDesc:
        showPrompt(openInstallDescFailText());
        return;
    case PackageRead::Ok:
        break;
    }
    // A batch may have started while the package was read.
    if (!isIdle() || pDealThread->isRunning()) {
        showPrompt(tr("Configuring, please try again later"));
        return;
    }
    CUpgradeJob job;
    job.strPackage = strPackage;
    job.nPackageBytes = nPackageBytes;
    job.strCfgFile = strCfgFile;
    job.strHardware = strHardware;
    job.strPassword = ui->lineEditPassword->text();
    job.bModifyIP = bModifyIP;

    QVector<DEV_INFO> lstDevices;
    for (int nRow = 0; nRow < pModel->rowCount(); ++nRow) {
        const QStandardItem* pItem = pModel->item(nRow, ColumnNumber);
        DEV_INFO info;
        if (pItem && pItem->checkState() == Qt::Checked && getDevInfo(nRow, ColumnNumber, &info))
            lstDevices.append(info);
    }
    // A running upgrade thread takes the refilled queue, each device with this press's job; a press
    // without a device empties the queue.
    if (!pUpgrade->start(job, lstDevices))
        showPrompt(selectDeviceText());
}
