#include "CIpSetDlg.h"

#include <QApplication>
#include <QLabel>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QPushButton>

#include <memory>

#include "CMessageBox.h"
#include "CMyIpAddrEdit.h"
#include "app/CAppSettings.h"
#include "app/CBackgroundTask.h"
#include "app/LogCategories.h"
#include "batch/IpPlan.h"
#include "ui_CIpSetDlg.h"

CIpSetDlg::CIpSetDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CIpSetDlg>())
{
    ui->setupUi(this);
    ui->checkBoxStartIp->setChecked(true);
    ui->checkBoxSameIp->setChecked(false);
    ui->labelNote->hide();
    pTask = new CBackgroundTask(this);
}

CIpSetDlg::~CIpSetDlg()
{
    // The proposal's thread uses the check: it must be gone before the members are.
    bStopProposal.store(true);
    delete pTask;
}

void CIpSetDlg::setAddressCheck(std::unique_ptr<CAddressCheck> pNewCheck)
{
    if (!isProposing())
        pCheck = std::move(pNewCheck);
}

void CIpSetDlg::setPcInterface(const QString& strIp, const QString& strNewMask)
{
    strPcIp = strIp;
    strPcMask = strNewMask;
    bPcInjected = !strIp.isEmpty() || !strNewMask.isEmpty();
}

void CIpSetDlg::setHostAddresses(const QStringList& lstAddresses)
{
    lstHostAddresses = lstAddresses;
    bHostsInjected = true;
}

QString CIpSetDlg::proposalNote() const
{
    return strNote;
}

bool CIpSetDlg::isProposing() const
{
    return pTask->isRunning();
}

void CIpSetDlg::pcInterface(const QString& strInterfaceName, QString* pStrIp, QString* pStrMask)
{
    pStrIp->clear();
    pStrMask->clear();
    QNetworkInterface pc;
    if (!strInterfaceName.isEmpty()) {
        pc = QNetworkInterface::interfaceFromName(strInterfaceName);
    } else {
        const QList<QNetworkInterface> lstInterfaces = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface& candidate : lstInterfaces) {
            if (candidate.flags().testFlag(QNetworkInterface::IsRunning)) {
                pc = candidate;
                break;
            }
        }
    }
    if (!pc.isValid())
        return;
    for (const QNetworkAddressEntry& entry : pc.addressEntries()) {
        if (entry.netmask().protocol() == QAbstractSocket::IPv4Protocol) {
            *pStrIp = entry.ip().toString();
            *pStrMask = entry.netmask().toString();
            return;
        }
    }
}

void CIpSetDlg::showNote(const QString& strText)
{
    strNote = strText;
    ui->labelNote->setText(strNote);
    ui->labelNote->setVisible(!strNote.isEmpty());
}

void CIpSetDlg::proposePlan()
{
    if (isProposing())
        return;
    const CAppSettings settings = CAppSettings::read();
    QString strIp = strPcIp;
    QString strPcMaskNow = strPcMask;
    if (!bPcInjected)
        pcInterface(settings.strInterface, &strIp, &strPcMaskNow);
    if (!pCheck)
        pCheck = CAddressCheck::fromSettings(settings);

    if (strIp.isEmpty()) {
        // Counting upward from 0.0.0.0 would only propose an address no device can use.
        ui->lineEditIP->setText(QString());
        ui->lineEditMask->setText(QString());
        ui->lineEditGateway->setText(QString());
        showNote(tr("No running network interface with an IPv4 address: no address is proposed."));
        emit proposalDone();
        return;
    }
    // The PC itself holds its addresses, whatever a check that asks the devices answers.
    QStringList lstTaken = bHostsInjected ? lstHostAddresses : CAddressCheck::hostAddresses();
    lstTaken.append(strIp);
    const QSet<QString> setTaken(lstTaken.cbegin(), lstTaken.cend());

    showNote(tr("Looking for a free address..."));
    ui->btnOK->setEnabled(false);
    auto pProposal = std::make_shared<IpPlan::Proposal>();
    CAddressCheck* pCheckNow = pCheck.get();
    std::atomic<bool>* pStop = &bStopProposal;
    pTask->start(
        [pProposal, strIp, strPcMaskNow, setTaken, pCheckNow, pStop]() {
            // A closing dialog ends the walk at its next question.
            *pProposal = IpPlan::propose(
                strIp, strPcMaskNow,
                [pCheckNow, pStop](const QString& strCandidate) {
                    return !pStop->load() && pCheckNow->isInUse(strCandidate);
                },
                setTaken);
        },
        [this, pProposal, strIp, strPcMaskNow]() {
            qCInfo(lcIpPlan) << "PC" << strIp << strPcMaskNow << "proposal" << pProposal->strIp << "after"
                             << pProposal->nChecks << "checks";
            ui->lineEditMask->setText(pProposal->strMask);
            ui->lineEditIP->setText(pProposal->strIp);
            ui->lineEditGateway->setText(pProposal->strGateway);
            ui->btnOK->setEnabled(true);
            showNote(pProposal->bFound ? QString()
                                       : tr("Every address of this subnet is in use: no free address is proposed."));
            emit proposalDone();
        });
}

void CIpSetDlg::on_btnOK_clicked()
{
    if (isProposing())
        return;
    nMode = ui->checkBoxStartIp->isChecked() ? 0 : 1;
    strAddress = ui->lineEditIP->text();
    strMask = ui->lineEditMask->text();
    strGateway = ui->lineEditGateway->text();
    if (!IpPlan::isContiguousMask(strMask)) {
        CMessageBox::information(QApplication::activeWindow(), tr("Prompt"), tr("Set Subnet Mask Failed"), tr("OK"));
        return;
    }
    bConfigured = true;
    accept();
}

void CIpSetDlg::on_btnCancel_clicked()
{
    bConfigured = false;
    reject();
}

void CIpSetDlg::on_checkBoxStartIp_clicked()
{
    ui->checkBoxStartIp->setChecked(true);
    ui->checkBoxSameIp->setChecked(false);
    nMode = 0;
}

void CIpSetDlg::on_checkBoxSameIp_clicked()
{
    ui->checkBoxStartIp->setChecked(false);
    ui->checkBoxSameIp->setChecked(true);
    nMode = 1;
}
