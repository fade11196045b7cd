#pragma once

#include <QLoggingCategory>
#include <QString>

/// The texts of the firmware upgrade: the prompts before a run and the row texts written while it
/// runs. All are translated in the main window's context ("CVantrel").

Q_DECLARE_LOGGING_CATEGORY(lcUpgrade)

/// Error codes the device library reports through the upgrade callback (as the sent size).
constexpr int kUpgradeErrNoMemory = -11804;
constexpr int kUpgradeErrPacket = -11805;
constexpr int kUpgradeErrSomePart = -11806;
constexpr int kUpgradeErrHardware = -11807;
constexpr int kUpgradeErrVendor = -11808;
constexpr int kUpgradeErrCompatible = -11809;
constexpr int kUpgradeErrVersion = -11810;
constexpr int kUpgradeErrWifi = -11811;

/// The text of an upgrade error code; "Unknow error" for any code not in the table.
QString upgradeErrorText(int nCode);

/// "Send Progress: <percent>", percent = sent * 100 / total (integer division). A total of 0 or
/// less shows the label alone: there is no percentage to form.
QString sendProgressText(qint64 nTotal, qint64 nSent);
/// "Upgrade Progress: <value>" for the device's own write progress.
QString upgradeProgressText(int nValue);

QString startUpgradeText();
/// "Upgrade Failed,<error>" when the library refuses to start the upgrade.
QString upgradeRefusedText(int nError);
QString upgradeSuccessText();
QString upgradeFailText();
QString invalidHardwareText();
/// Receive-connection errors, followed by a space and the system error number.
QString connectFailedText(int nError);
QString selectFailedText(int nError);
QString recvErrorText(int nError);

/// Prompts of the Upgrade button (warnings titled "Prompt").
QString selectProgramText();
QString unzipFailText();
QString openInstallDescFailText();
QString selectDeviceText();
