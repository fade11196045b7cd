#pragma once

#include <QString>

#include "CDialogWidget.h"
#include "device/DevInfo.h"

class QLineEdit;
class QPushButton;

/// The add-device dialog: the operator types a camera's address, port, user name and password;
/// OK logs in and, when that works, reads the camera's network record and accepts. The caller
/// copies record() after an accepted exec(). A failed login shows its reason and keeps the dialog
/// open for another try.
class LoginDlg : public CDialogWidget
{
    Q_OBJECT

public:
    explicit LoginDlg(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~LoginDlg() override;

    /// The dialog's result: zero-filled until OK; after an accepted exec() it carries the login
    /// handle, the address, port and credentials, the device information and the network record.
    const DEV_INFO& record() const { return devInfo; }

    QLineEdit* addressEdit() const { return pIpEdit; }
    QLineEdit* portEdit() const { return pPortEdit; }
    QLineEdit* userEdit() const { return pUserEdit; }
    QLineEdit* passwordEdit() const { return pPasswordEdit; }
    QPushButton* okButton() const { return pOkBtn; }
    QPushButton* cancelButton() const { return pCancelBtn; }

    /// The address that a login to `strText` uses. With `bLoopbackOnly` no name goes to DNS: a
    /// dotted address is taken as it is, "localhost" is 127.0.0.1. Otherwise the system resolver
    /// answers and its first IPv4 address wins. Text that does not resolve is returned as typed.
    static QString resolveAddress(const QString& strText, bool bLoopbackOnly);
    /// The dialog's own text for a login error code (it differs from the table's in two texts).
    static QString loginErrorText(int nError);

public slots:
    void OnClickedOk();
    void onClick();

private:
    void buildForm();

    QPushButton* pOkBtn = nullptr;
    QPushButton* pCancelBtn = nullptr;
    QLineEdit* pIpEdit = nullptr;
    QLineEdit* pPortEdit = nullptr;
    QLineEdit* pUserEdit = nullptr;
    QLineEdit* pPasswordEdit = nullptr;
    DEV_INFO devInfo;
};
