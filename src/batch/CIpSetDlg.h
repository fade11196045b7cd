#pragma once

#include <atomic>
#include <memory>

#include <QDialog>
#include <QString>
#include <QStringList>

#include "batch/CAddressCheck.h"

namespace Ui {
class CIpSetDlg;
}
class CBackgroundTask;

/// The address plan for the batch address change: an address, a mask, a gateway and whether the
/// devices get consecutive free addresses from it (mode 0) or all the same address (mode 1).
class CIpSetDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CIpSetDlg(QWidget* parent = nullptr);
    /// Ends a proposal that is still looking (at its next question) and waits for it.
    ~CIpSetDlg() override;

    /// Proposes a plan from the PC's network: the first address after the PC's own that is not in
    /// use, the PC's mask and a gateway in the same subnet. The questions (a device search or a ping
    /// each) run on a thread of their own; meanwhile the note says the dialog is looking and OK
    /// waits. When the proposal is there the editors are filled and proposalDone() is emitted. When
    /// every address of one full cycle is in use, the address and gateway stay empty and the note
    /// says so.
    void proposePlan();
    /// True while a proposal is looking.
    bool isProposing() const;

    int mode() const { return nMode; } ///< 0 start address, 1 same address
    QString address() const { return strAddress; }
    QString mask() const { return strMask; }
    QString gateway() const { return strGateway; }
    bool isConfigured() const { return bConfigured; }

    /// The check proposePlan uses; without one it takes CAddressCheck::fromSettings of Config.ini.
    void setAddressCheck(std::unique_ptr<CAddressCheck> pCheck);
    /// Stands in for the PC's interface (address and mask) in proposePlan; both empty = ask the system.
    void setPcInterface(const QString& strIp, const QString& strMask);
    /// Stands in for the PC's own addresses in proposePlan (by default every IPv4 address of the PC).
    void setHostAddresses(const QStringList& lstAddresses);

    /// The PC's address and mask: [Network] Interface= names the interface when set, else the first
    /// running one; its first IPv4 entry. Both empty when there is none.
    static void pcInterface(const QString& strInterfaceName, QString* pStrIp, QString* pStrMask);

    /// The text shown under the editors after proposePlan (empty, or the "no free address" note).
    QString proposalNote() const;

signals:
    void proposalDone();

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();
    void on_checkBoxStartIp_clicked();
    void on_checkBoxSameIp_clicked();

private:
    void showNote(const QString& strText);

    std::unique_ptr<Ui::CIpSetDlg> ui;
    int nMode = 0;
    QString strAddress;
    QString strMask;
    QString strGateway;
    bool bConfigured = false;

    std::unique_ptr<CAddressCheck> pCheck; ///< used by the proposal's thread while it runs
    QString strPcIp;
    QString strPcMask;
    bool bPcInjected = false;
    QStringList lstHostAddresses;
    bool bHostsInjected = false;
    QString strNote;
    std::atomic<bool> bStopProposal{false};
    CBackgroundTask* pTask = nullptr;
};
