#include "LoginDlg.h"

#include <cstring>

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

#include "CMessageBox.h"
#include "app/CAppSettings.h"
#include "app/LogCategories.h"

namespace {

constexpr int kMaxCredentialLength = 12;
constexpr int kMaxButtonWidth = 75;
constexpr unsigned long kNetworkRecordCommand = 20;
constexpr unsigned long kNetworkRecordSize = 144;
constexpr int kNetworkRecordWaitMs = 3000;

bool loopbackOnly()
{
    return CAppSettings::read().bLoopbackOnly || qgetenv("VANTREL_LOOPBACK_ONLY") == "1";
}

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

    pPortEdit = new QLineEdit(QStringLiteral("34567"), this);
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

QString LoginDlg::resolveAddress(const QString& strText, bool bLoopbackOnly)
{
    const QString strTrimmed = strText.trimmed();
    QHostAddress address;
    if (address.setAddress(strTrimmed) && address.protocol() == QHostAddress::IPv4Protocol)
        return address.toString();
    if (bLoopbackOnly) {
        // No resolver: a name could leave the machine as a DNS query.
        if (strTrimmed.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("127.0.0.1");
        return strText;
    }
    const QHostInfo info = QHostInfo::fromName(strTrimmed);
    for (const QHostAddress& candidate : info.addresses()) {
        if (candidate.protocol() == QHostAddress::IPv4Protocol)
            return candidate.toString();
    }
    return strText;
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

void LoginDlg::OnClickedOk()
{
    const QString strUser = pUserEdit->text();
    const QString strPassword = pPasswordEdit->text();

    const QString strAddress = resolveAddress(pIpEdit->text(), loopbackOnly());
    copyText(devInfo.szIpAddr, sizeof(devInfo.szIpAddr), strAddress.toLatin1());
    copyText(devInfo.szUserName, sizeof(devInfo.szUserName), strUser.toLatin1());
    copyText(devInfo.szPassword, sizeof(devInfo.szPassword), strPassword.toLatin1());
    devInfo.nPort = int(pPortEdit->text().toUInt());

    int nError = 0;
    const long lLoginID = sdkLogin(devInfo.szIpAddr, static_cast<unsigned short>(devInfo.nPort), devInfo.szUserName,
                                   devInfo.szPassword, &devInfo.devInfo, 1, &nError);
    if (lLoginID <= 0) {
        qCDebug(lcDevice) << "add device: login failed" << nError;
        CMessageBox::critical(QApplication::activeWindow(), tr("Error"), loginErrorText(nError),
                              QCoreApplication::translate("QDialogButtonBox", "OK"));
        return;
    }
    devInfo.lLoginID = lLoginID;
    unsigned long nBytes = 0;
    // A device that does not answer still gets its row; the MAC column then stays empty.
    sdkGetConfig(lLoginID, kNetworkRecordCommand, -1, reinterpret_cast<char*>(&devInfo.netBlock), kNetworkRecordSize,
                 &nBytes, kNetworkRecordWaitMs);
    accept();
}

void LoginDlg::onClick()
{
    reject();
}
