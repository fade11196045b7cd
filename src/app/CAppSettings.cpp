#include "CAppSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

QString envText(const char* szName)
{
    return QString::fromLocal8Bit(qgetenv(szName));
}

} // namespace

QString CAppSettings::iniPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini");
}

bool CAppSettings::isSwitchOn(const QString& strValue)
{
    bool bOk = false;
    const qlonglong nValue = strValue.trimmed().toLongLong(&bOk, 10);
    return bOk && nValue != 0;
}

CAppSettings CAppSettings::read()
{
    return read(iniPath());
}

CAppSettings CAppSettings::read(const QString& strIniPath)
{
    CAppSettings settings;
    QSettings ini(strIniPath, QSettings::IniFormat);
    settings.strSolution = ini.value(QStringLiteral("themes/Solution"), QString()).toString();
    settings.nModifyIP = ini.value(QStringLiteral("UpgradeInfo/ModifyIP"), 0).toInt();
    settings.nMicOnlyRecv = ini.value(QStringLiteral("Mic/OnlyRecv"), 0).toInt();

    // QSettings splits an unquoted comma list into a string list; join it back.
    const QVariant varBroadcast = ini.value(QStringLiteral("Network/Broadcast"));
    if (varBroadcast.isValid())
        settings.strBroadcast = varBroadcast.toStringList().join(QLatin1Char(',')).trimmed();
    else
        settings.strBroadcast = envText("VANTREL_BROADCAST");

    bool bOk = false;
    int nPort = ini.contains(QStringLiteral("Network/DiscoveryPort"))
                    ? ini.value(QStringLiteral("Network/DiscoveryPort")).toInt(&bOk)
                    : envText("VANTREL_DISCOVERY_PORT").toInt(&bOk);
    if (bOk && nPort > 0 && nPort < 65536)
        settings.nDiscoveryPort = nPort;

    settings.bLoopbackOnly = isSwitchOn(ini.value(QStringLiteral("Network/LoopbackOnly")).toString()) ||
                             isSwitchOn(envText("VANTREL_LOOPBACK_ONLY"));

    const QString strCheck = ini.value(QStringLiteral("Network/AddressCheck")).toString().trimmed();
    if (strCheck == QLatin1String("device") || strCheck == QLatin1String("ping"))
        settings.strAddressCheck = strCheck;
    settings.strInterface = ini.value(QStringLiteral("Network/Interface")).toString().trimmed();
    return settings;
}
