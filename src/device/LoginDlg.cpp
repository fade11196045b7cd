#include "LoginDlg.h"

#include <cstring>
#include <memory>

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QHostInfo>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <protocol/messages.h>

#include "CMessageBox.h"
#include "app/CBackgroundTask.h"
#include "app/LogCategories.h"
#include "batch/BatchCommands.h"
#include "batch/IpPlan.h"
#include "device/DeviceRecords.h"

namespace {

constexpr int kMaxCredentialLength = 12;
constexpr int kMaxButtonWidth = 75;
constexpr int kNetworkRecordWaitMs = 3000;

// Qt's QIntValidator lets a number beyond the top through as intermediate input while it has no
// more digits than the top; the port field must refuse it as it is typed, as it always did.
class CPortValidator : public QIntValidator
{
public:
    CPortValidator(int nBottom, int nTop, QObject* parent) : QIntValidator(nBottom, nTop, parent) {}

    State validate(QString& strInput, int& nPos) const override
    {
        const State state = QIntValidator::validate(strInput, nPos);
        if (state != Intermediate)
            return state;
        bool bOk = false;
        const qlonglong nValue = locale().toLongLong(strInput, &bOk);
        return bOk && (nValue > top() || nValue < bottom()) ? Invalid : state;
    }
};

// Copies text into a fixed record field, always leaving a terminator.
void copyText(char* pField, size_t nFieldSize, const QByteArray& baText)
{
    std::memset(pField, 0, nFieldSize);
    std::memcpy(pField, baText.constData(), qMin(size_t(baText.size()), nFieldSize - 1));
}

} // namespace

LoginDlg::LoginDlg(QWidget* parent, Qt::WindowFlags flags)
    : CDialogWidget(parent, tr("Login"), QCoreApplication::applicationDirPath() + QStringLiteral("/Skin/buttons/"),
                    true)
{
    if (flags != Qt::WindowFlags())
        setWindowFlags(windowFlags() | flags);
    std::memset(&devInfo, 0, sizeof(devInfo));
    pTask = new CBackgroundTask(this);
    buildForm();
}

LoginDlg::~LoginDlg() = default;

void LoginDlg::buildForm()
{
    pOkBtn = new QPushButton(tr("OK"), this);
    pOkBtn->setObjectName(QStringLiteral("btnOk"));
    pOkBtn->setMaximumWidth(kMaxButtonWidth);
    pCancelBtn = new QPushButton(tr("Cancel"), this);
    pCancelBtn->setObjectName(QStringLiteral("btnCancel"));
    pCancelBtn->setMaximumWidth(kMaxButtonWidth);

    pIpEdit = new QLineEdit(QStringLiteral("192.168.1.10"), this);
    pIpEdit->setObjectName(QStringLiteral("lineEditIp"));
    static const QRegularExpression reAddress(
        QStringLiteral("((2[0-4]\\d|25[0-5]|[01]?\\d\\d?)\\.){3}(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)"));
    pIpEdit->setValidator(new QRegularExpressionValidator(reAddress, pIpEdit));

    pPortEdit = new QLineEdit(QString::number(protocol::kDefaultServicePort), this);
    pPortEdit->setObjectName(QStringLiteral("lineEditPort"));
    pPortEdit->setValidator(new CPortValidator(0, 65535, pPortEdit));

    pUserEdit = new QLineEdit(QStringLiteral("admin"), this);
    pUserEdit->setObjectName(QStringLiteral("lineEditUser"));
    pUserEdit->setMaxLength(kMaxCredentialLength);

    pPasswordEdit = new QLineEdit(this);
    pPasswordEdit->setObjectName(QStringLiteral("lineEditPassword"));
    pPasswordEdit->setEchoMode(QLineEdit::Password);
    pPasswordEdit->setMaxLength(kMaxCredentialLength);

    auto* pFrame = new QFrame(this);
    pFrame->setObjectName(QStringLiteral("DlgTitle"));
    pFrame->setStyleSheet(QStringLiteral("#DlgTitle{border:1px solid rgb(40,40,40);}"));
    auto* pFrameLayout = new QVBoxLayout(pFrame);

    auto* pGrid = new QGridLayout();
    pGrid->setContentsMargins(30, 10, 30, 10);
    pGrid->setSpacing(10);
    pGrid->addWidget(new QLabel(tr("IP Address"), pFrame), 2, 0);
    pGrid->addWidget(pIpEdit, 2, 2);
    pGrid->addWidget(new QLabel(tr("Port"), pFrame), 3, 0);
    pGrid->addWidget(pPortEdit, 3, 2);
    pGrid->addWidget(new QLabel(tr("User Name"), pFrame), 4, 0);
    pGrid->addWidget(pUserEdit, 4, 2);
    pGrid->addWidget(new QLabel(tr("Password"), pFrame), 5, 0);
    pGrid->addWidget(pPasswordEdit, 5, 2);
    pFrameLayout->addLayout(pGrid);

    auto* pButtons = new QHBoxLayout();
    pButtons->addStretch();
    pButtons->addWidget(pOkBtn);
    pButtons->addWidget(pCancelBtn);
    pButtons->addStretch();
    pFrameLayout->addLayout(pButtons);

    addWidget(pFrame);
    resize(300, 128);

    connect(pOkBtn, &QPushButton::clicked, this, &LoginDlg::OnClickedOk);
    connect(pCancelBtn, &QPushButton::clicked, this, &LoginDlg::onClick);
}

LoginDlg::AddressText LoginDlg::readAddress(const QString& strText, bool bLoopbackOnlyNow, QString* pAddress)
{
    const QString strTrimmed = strText.trimmed();
    static const QRegularExpression reDigitsAndDots(QStringLiteral("^[0-9.]+$"));
    if (reDigitsAndDots.match(strTrimmed).hasMatch()) {
        int anOctets[4];
        if (!IpPlan::parseDotted(strTrimmed, anOctets))
            return AddressText::Refused;
        *pAddress = IpPlan::formatAddress(anOctets[0], anOctets[1], anOctets[2], anOctets[3]);
        return AddressText::Address;
    }
    if (strTrimmed.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        *pAddress = QStringLiteral("127.0.0.1");
        return AddressText::Address;
    }
    *pAddress = strText;
    // No resolver under loopback-only: a name could leave the machine as a DNS query.
    return bLoopbackOnlyNow ? AddressText::Address : AddressText::Name;
}

QString LoginDlg::resolveName(const QString& strName)
{
    const QHostInfo info = QHostInfo::fromName(strName.trimmed());
    for (const QHostAddress& candidate : info.addresses()) {
        if (candidate.protocol() == QHostAddress::IPv4Protocol)
            return candidate.toString();
    }
    return strName;
}

QString LoginDlg::loginErrorText(int nError)
{
    switch (nError) {
    case 0:
        return tr("Network is error");
    case 7:
        return tr("System is busying");
    case -10005:
        return tr("Login timeout");
    case -11301:
        return tr("Password is error");
    case -11302:
        return tr("The user is not existed");
    case -11303:
        return tr("The user is locked");
    case -11304:
        return tr("The user is in blacklist");
    case -11305:
        return tr("The user has logined.");
    case -11307:
        return tr("Cann't find the device.");
    default:
        return tr("Unknow Error");
    }
}

bool LoginDlg::isLoggingIn() const
{
    return pTask->isRunning();
}

void LoginDlg::setLoggingIn(bool bOn)
{
    pOkBtn->setEnabled(!bOn);
    pCancelBtn->setEnabled(!bOn);
    if (bOn)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void LoginDlg::OnClickedOk()
{
    if (isLoggingIn())
        return;
    QString strAddress;
    const AddressText kind = readAddress(pIpEdit->text(), bLoopbackOnly, &strAddress);
    if (kind == AddressText::Refused) {
        CMessageBox::critical(QApplication::activeWindow(), tr("Error"),
                              tr("The address must be four numbers from 0 to 255, such as 192.168.1.10"),
                              QCoreApplication::translate("QDialogButtonBox", "OK"));
        return;
    }
    DEV_INFO rec = devInfo;
    copyText(rec.szUserName, sizeof(rec.szUserName), pUserEdit->text().toLatin1());
    copyText(rec.szPassword, sizeof(rec.szPassword), pPasswordEdit->text().toLatin1());
    rec.nPort = int(pPortEdit->text().toUInt());
    rec.lLoginID = 0;

    // Resolving a name, the login and the read of the network record wait for the network (the
    // login up to its time-out): they run on a thread of their own, on a copy of the record.
    auto pResult = std::make_shared<std::pair<DEV_INFO, int>>(rec, 0);
    const bool bResolve = kind == AddressText::Name;
    setLoggingIn(true);
    pTask->start(
        [pResult, strAddress, bResolve]() {
            DEV_INFO& login = pResult->first;
            const QString strLoginAddress = bResolve ? resolveName(strAddress) : strAddress;
            copyText(login.szIpAddr, sizeof(login.szIpAddr), strLoginAddress.toLatin1());
            if (loginDevice(&login, &pResult->second) <= 0)
                return;
            unsigned long nBytes = 0;
            // A device that does not answer still gets its row; the MAC column then stays empty.
            sdkGetConfig(login.lLoginID, kCmdNetworkRecord, -1, reinterpret_cast<char*>(&login.netBlock),
                         kNetworkRecordSize, &nBytes, kNetworkRecordWaitMs);
        },
        [this, pResult]() {
            setLoggingIn(false);
            devInfo = pResult->first;
            if (devInfo.lLoginID <= 0) {
                devInfo.lLoginID = 0;
                qCDebug(lcDevice) << "add device: login failed" << pResult->second;
                CMessageBox::critical(QApplication::activeWindow(), tr("Error"),
                                      LoginDlg::loginErrorText(pResult->second),
                                      QCoreApplication::translate("QDialogButtonBox", "OK"));
                return;
            }
            accept();
        });
}

void LoginDlg::done(int nResult)
{
    if (isLoggingIn())
        return;
    CDialogWidget::done(nResult == QDialog::Accepted && devInfo.lLoginID <= 0 ? int(QDialog::Rejected) : nResult);
}

void LoginDlg::onClick()
{
    reject();
}
