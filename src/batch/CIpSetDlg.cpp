#include "CIpSetDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

#include "CMessageBox.h"
#include "CMyIpAddrEdit.h"
#include "app/CAppSettings.h"
#include "batch/IpPlan.h"
#include "ui_CIpSetDlg.h"

namespace {

Q_LOGGING_CATEGORY(lcIpPlan, "vantrel.ipplan")

} // namespace

CIpSetDlg::CIpSetDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CIpSetDlg>())
{
    ui->setupUi(this);
    ui->checkBoxStartIp->setChecked(true);
    ui->checkBoxSameIp->setChecked(false);
    ui->labelNote->hide();
}

CIpSetDlg::~CIpSetDlg() = default;

void CIpSetDlg::setAddressCheck(std::unique_ptr<CAddressCheck> pCheck)
{
    pCheck_ = std::move(pCheck);
}

void CIpSetDlg::setPcInterface(const QString& strIp, const QString& strMask)
{
    strPcIp_ = strIp;
    strPcMask_ = strMask;
    bPcInjected_ = !strIp.isEmpty() || !strMask.isEmpty();
}

QString CIpSetDlg::proposalNote() const
{
    return strNote_;
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

void CIpSetDlg::proposePlan()
{
    const CAppSettings settings = CAppSettings::read();
    QString strPcIp = strPcIp_;
    QString strPcMask = strPcMask_;
    if (!bPcInjected_)
        pcInterface(settings.strInterface, &strPcIp, &strPcMask);
    if (!pCheck_)
        pCheck_ = CAddressCheck::fromSettings(settings);

    strNote_.clear();
    if (strPcIp.isEmpty()) {
        // Counting upward from 0.0.0.0 would only propose an address no device can use.
        strNote_ = tr("No running network interface with an IPv4 address: no address is proposed.");
        ui->lineEditIP->setText(QString());
        ui->lineEditMask->setText(QString());
        ui->lineEditGateway->setText(QString());
    } else {
        const IpPlan::Proposal proposal =
            IpPlan::propose(strPcIp, strPcMask, [this](const QString& strIp) { return pCheck_->isInUse(strIp); });
        qCInfo(lcIpPlan) << "PC" << strPcIp << strPcMask << "proposal" << proposal.strIp << "after" << proposal.nChecks
                         << "checks";
        ui->lineEditMask->setText(proposal.strMask);
        ui->lineEditIP->setText(proposal.strIp);
        ui->lineEditGateway->setText(proposal.strGateway);
        if (!proposal.bFound)
            strNote_ = tr("Every address of this subnet is in use: no free address is proposed.");
    }
    ui->labelNote->setText(strNote_);
    ui->labelNote->setVisible(!strNote_.isEmpty());
}

void CIpSetDlg::on_btnOK_clicked()
{
    nMode_ = ui->checkBoxStartIp->isChecked() ? 0 : 1;
    strAddress_ = ui->lineEditIP->text();
    strMask_ = ui->lineEditMask->text();
    strGateway_ = ui->lineEditGateway->text();
    if (!IpPlan::isContiguousMask(strMask_)) {
        CMessageBox::information(QApplication::activeWindow(), tr("Prompt"), tr("Set Subnet Mask Failed"), tr("OK"));
        return;
    }
    bConfigured_ = true;
    accept();
}

void CIpSetDlg::on_btnCancel_clicked()
{
    bConfigured_ = false;
    reject();
}

void CIpSetDlg::on_checkBoxStartIp_clicked()
{
    ui->checkBoxStartIp->setChecked(true);
    ui->checkBoxSameIp->setChecked(false);
    nMode_ = 0;
}

void CIpSetDlg::on_checkBoxSameIp_clicked()
{
    ui->checkBoxStartIp->setChecked(false);
    ui->checkBoxSameIp->setChecked(true);
    nMode_ = 1;
}
