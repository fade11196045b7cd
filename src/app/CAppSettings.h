#pragma once

#include <QString>

#include <protocol/messages.h>

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

    /// True when a switch's text is a whole number other than 0.
    static bool isSwitchOn(const QString& strValue);

    /// The library's [Network] options, as sdkSetNetOptions takes them.
    QByteArray networkBroadcastList() const { return strBroadcast.toLatin1(); }

    QString strSolution;  ///< themes/Solution; "SimpChinese" (exactly) loads the Chinese texts
    int nModifyIP = 0;    ///< UpgradeInfo/ModifyIP
    int nMicOnlyRecv = 0; ///< Mic/OnlyRecv

    // [Network]. A key missing from the file falls back to the environment variable the library
    // itself reads (VANTREL_BROADCAST, VANTREL_DISCOVERY_PORT), then to the built-in default that
    // serves a real LAN.
    QString strBroadcast;                                 ///< Broadcast: comma list; empty = every IPv4 interface
    int nDiscoveryPort = protocol::kDefaultDiscoveryPort; ///< DiscoveryPort
    /// The loopback-only switch, decided here and nowhere else: on when LoopbackOnly in the file or
    /// VANTREL_LOOPBACK_ONLY in the environment holds a whole number other than 0 (every configuration
    /// in this repository uses 1). Either one is enough, so the environment cannot be switched off by
    /// the file, as it cannot be in the device library either. When on, nothing is sent outside
    /// 127.0.0.0/8 and no name is looked up.
    bool bLoopbackOnly = false;
    QString strAddressCheck = QStringLiteral("ping"); ///< AddressCheck: "ping" or "device"
    QString strInterface;                             ///< Interface: the PC's interface; empty = first running one
};
