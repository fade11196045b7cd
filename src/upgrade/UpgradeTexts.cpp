#include "UpgradeTexts.h"

#include <QCoreApplication>

Q_LOGGING_CATEGORY(lcUpgrade, "vantrel.upgrade")

QString upgradeErrorText(int nCode)
{
    switch (nCode) {
    case kUpgradeErrNoMemory:
        return QCoreApplication::translate("CVantrel", "No enough memory");
    case kUpgradeErrPacket:
        return QCoreApplication::translate("CVantrel", "Invaild upgrade packet");
    case kUpgradeErrSomePart:
        return QCoreApplication::translate("CVantrel", "Some part upgrade fail");
    case kUpgradeErrHardware:
        return QCoreApplication::translate("CVantrel", "Invalid hardware");
    case kUpgradeErrVendor:
        return QCoreApplication::translate("CVantrel", "Invalid vendor");
    case kUpgradeErrCompatible:
        return QCoreApplication::translate("CVantrel", "Invalid compalible");
    case kUpgradeErrVersion:
        return QCoreApplication::translate("CVantrel", "Invalid version");
    case kUpgradeErrWifi:
        return QCoreApplication::translate("CVantrel", "Invalid wifi drive");
    default:
        return QCoreApplication::translate("CVantrel", "Unknow error");
    }
}

QString sendProgressText(qint64 nTotal, qint64 nSent)
{
    const QString strLabel = QCoreApplication::translate("CVantrel", "Send Progress:");
    if (nTotal <= 0)
        return strLabel;
    // 64-bit: sent * 100 overflows an int once a package passes about 21 MB.
    return QStringLiteral("%1 %2").arg(strLabel).arg(nSent * 100 / nTotal);
}

QString upgradeProgressText(int nValue)
{
    return QStringLiteral("%1 %2").arg(QCoreApplication::translate("CVantrel", "Upgrade Progress:")).arg(nValue);
}

QString startUpgradeText()
{
    return QCoreApplication::translate("CVantrel", "Start Upgrade");
}

QString upgradeRefusedText(int nError)
{
    return QStringLiteral("%1,%2").arg(QCoreApplication::translate("CVantrel", "Upgrade Failed")).arg(nError);
}

QString upgradeSuccessText()
{
    return QCoreApplication::translate("CVantrel", "Upgrade Success");
}

QString upgradeFailText()
{
    return QCoreApplication::translate("CVantrel", "Upgrade Fail");
}

QString invalidHardwareText()
{
    return QCoreApplication::translate("CVantrel", "Invalid hardware");
}

QString connectFailedText(int nError)
{
    return QStringLiteral("%1 %2").arg(QCoreApplication::translate("CVantrel", "connect Failed:")).arg(nError);
}

QString selectFailedText(int nError)
{
    return QStringLiteral("%1 %2").arg(QCoreApplication::translate("CVantrel", "select Failed:")).arg(nError);
}

QString recvErrorText(int nError)
{
    return QStringLiteral("%1 %2").arg(QCoreApplication::translate("CVantrel", "recv Error:")).arg(nError);
}

QString selectProgramText()
{
    return QCoreApplication::translate("CVantrel", "Please Select a Program");
}

QString unzipFailText()
{
    return QCoreApplication::translate("CVantrel", "UnZip Program Fail");
}

QString openInstallDescFailText()
{
    return QCoreApplication::translate("CVantrel", "Open InstallDesc Fail");
}

QString selectDeviceText()
{
    return QCoreApplication::translate("CVantrel", "Please Select a Device");
}
