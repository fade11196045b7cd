#pragma once

#include <memory>

#include <QDialog>
#include <QString>

#include "batch/CAddressCheck.h"

namespace Ui {
class CIpSetDlg;
}

/// The address plan for the batch address change: an address, a mask, a gateway and whether the
/// devices get consecutive free addresses from it (mode 0) or all the same address (mode 1).
class CIpSetDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CIpSetDlg(QWidget* parent = nullptr);
    ~CIpSetDlg() override;

    /// Fills the three editors from the PC's network: the first address after the PC's own that is
    /// not in use, the PC's mask and a gateway in the same subnet. When every address of one full
    /// cycle is in use, the address and gateway stay empty and a message says so.
    void proposePlan();

    int mode() const { return nMode_; } ///< 0 start address, 1 same address
    QString address() const { return strAddress_; }
    QString mask() const { return strMask_; }
    QString gateway() const { return strGateway_; }
    bool isConfigured() const { return bConfigured_; }

    /// The check proposePlan uses; without one it takes CAddressCheck::fromSettings of Config.ini.
    void setAddressCheck(std::unique_ptr<CAddressCheck> pCheck);
    /// Stands in for the PC's interface (address and mask) in proposePlan; both empty = ask the system.
    void setPcInterface(const QString& strIp, const QString& strMask);

    /// The PC's address and mask: [Network] Interface= names the interface when set, else the first
    /// running one; its first IPv4 entry. Both empty when there is none.
    static void pcInterface(const QString& strInterfaceName, QString* pStrIp, QString* pStrMask);

    /// The text shown under the editors after proposePlan (empty, or the "no free address" note).
    QString proposalNote() const;

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();
    void on_checkBoxStartIp_clicked();
    void on_checkBoxSameIp_clicked();

private:
    std::unique_ptr<Ui::CIpSetDlg> ui;
    int nMode_ = 0;
    QString strAddress_;
    QString strMask_;
    QString strGateway_;
    bool bConfigured_ = false;

    std::unique_ptr<CAddressCheck> pCheck_;
    QString strPcIp_;
    QString strPcMask_;
    bool bPcInjected_ = false;
    QString strNote_;
};
