#pragma once

#include <QString>

/// The program's settings, read from Config.ini (INI form) beside the executable. The program
/// never writes the file; a missing file or key gives the default.
class CAppSettings
{
public:
    /// applicationDirPath + "/Config.ini".
    static QString iniPath();
    /// Reads every key from the given file (which need not exist).
    static CAppSettings read(const QString& strIniPath);
    /// Reads from iniPath().
    static CAppSettings read();

    /// The library's [Network] options, as sdkSetNetOptions takes them.
    QByteArray networkBroadcastList() const { return strBroadcast.toLatin1(); }

    QString strSolution;  ///< themes/Solution; "SimpChinese" (exactly) loads the Chinese texts
    int nModifyIP = 0;    ///< UpgradeInfo/ModifyIP
    int nMicOnlyRecv = 0; ///< Mic/OnlyRecv

    // [Network]. A key missing from the file falls back to the environment variable the library
    // itself reads (VANTREL_BROADCAST, VANTREL_DISCOVERY_PORT, VANTREL_LOOPBACK_ONLY), then to the
    // built-in default that serves a real LAN.
    QString strBroadcast;                             ///< Broadcast: comma list; empty = every IPv4 interface
    int nDiscoveryPort = 34569;                       ///< DiscoveryPort
    bool bLoopbackOnly = false;                       ///< LoopbackOnly: refuse destinations outside 127.0.0.0/8
    QString strAddressCheck = QStringLiteral("ping"); ///< AddressCheck: "ping" or "device"
    QString strInterface;                             ///< Interface: the PC's interface; empty = first running one
};
