#include "UpgradeTexts.h"

#include <QCoreApplication>

#include <netsdk/netsdk.h>

QString upgradeErrorText(int nCode)
{
    switch (nCode) {
    case SDK_ERR_UPGRADE_MEMORY:
        return QCoreApplication::translate("CVantrel", "No enough memory");
    case SDK_ERR_UPGRADE_PACKET:
        return QCoreApplication::translate("CVantrel", "Invaild upgrade packet");
    case SDK_ERR_UPGRADE_PART:
        return QCoreApplication::translate("CVantrel", "Some part upgrade fail");
    case SDK_ERR_UPGRADE_HARDWARE:
        return QCoreApplication::translate("CVantrel", "Invalid hardware");
    case SDK_ERR_UPGRADE_VENDOR:
        return QCoreApplication::translate("CVantrel", "Invalid vendor");
    case SDK_ERR_UPGRADE_COMPATIBLE:
        return QCoreApplication::translate("CVantrel", "Invalid compalible");
    case SDK_ERR_UPGRADE_VERSION:
        return QCoreApplication::translate("CVantrel", "Invalid version");
    case SDK_ERR_UPGRADE_WIFI:
        return QCoreApplication::translate("CVantrel", "Invalid wifi drive");
    default:
        return QCoreApplication::translate("CVantrel", "Unknow error");
    }
}

QString onvifWritingText()
{
    return QCoreApplication::translate("CVantrel", "Writing firmware (ONVIF reports no progress)");
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

QString upgradeTimeoutText()
{
    return QCoreApplication::translate("CVantrel", "Upgrade TimeOut");
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
