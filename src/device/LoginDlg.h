#pragma once

#include <QString>

#include "CDialogWidget.h"
#include "device/DevInfo.h"

class CBackgroundTask;
class QLineEdit;
class QPushButton;

/// The add-device dialog: the operator types a camera's address, port, user name and password;
/// OK logs in and, when that works, reads the camera's network record and accepts. The caller
/// copies record() after an accepted exec(). A failed login shows its reason and keeps the dialog
/// open for another try. The login and the read run off the user-interface thread; meanwhile OK and
/// Cancel are disabled and the dialog cannot be closed.
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

    /// The loopback-only switch of the settings: with it no name is looked up. On until set.
    void setLoopbackOnly(bool bOn) { bLoopbackOnly = bOn; }
    /// True while OK's login runs.
    bool isLoggingIn() const;

    enum class AddressText
    {
        Address, ///< *pAddress is the dotted address to log in to
        Name,    ///< a host name: the system resolver gives the address (only without loopback-only)
        Refused, ///< digits and dots that are not four numbers from 0 to 255
    };
    /// What the address field's text means. Text of digits and dots must be four decimal numbers
    /// from 0 to 255 ("127.000.000.010" is 127.0.0.10; "10" or "192.168" are refused) and never goes
    /// to a resolver. "localhost" is 127.0.0.1. Any other text is a name; with bLoopbackOnly it is
    /// kept as typed and never looked up (the login then fails as an unreachable device).
    static AddressText readAddress(const QString& strText, bool bLoopbackOnly, QString* pAddress);
    /// The first IPv4 address the system resolver gives for a name, or the name itself. Blocking.
    static QString resolveName(const QString& strName);
    /// The dialog's own text for a login error code (it differs from the table's in two texts).
    static QString loginErrorText(int nError);

    /// Accepts only with a login (closing by the title bar accepts, and must not add an empty
    /// row), and never while the login runs.
    void done(int nResult) override;

public slots:
    void OnClickedOk();
    void onClick();

private:
    void buildForm();
    void setLoggingIn(bool bOn);

    QPushButton* pOkBtn = nullptr;
    QPushButton* pCancelBtn = nullptr;
    QLineEdit* pIpEdit = nullptr;
    QLineEdit* pPortEdit = nullptr;
    QLineEdit* pUserEdit = nullptr;
    QLineEdit* pPasswordEdit = nullptr;
    DEV_INFO devInfo;
    bool bLoopbackOnly = true;
    CBackgroundTask* pTask = nullptr;
};
