#pragma once

#include <QString>

#include "app/LogCategories.h"

/// The texts of the firmware upgrade: the prompts before a run and the row texts written while it
/// runs. All are translated in the main window's context ("CVantrel").

/// The text of an upgrade error code (SDK_ERR_UPGRADE_..., reported through the callback as the
/// sent size); "Unknow error" for any code not in the table.
QString upgradeErrorText(int nCode);

/// "Send Progress: <percent>", percent = sent * 100 / total (integer division). A total of 0 or
/// less shows the label alone: there is no percentage to form.
QString sendProgressText(qint64 nTotal, qint64 nSent);
/// "Upgrade Progress: <value>" for the device's own write progress.
QString upgradeProgressText(int nValue);

/// After the transfer to a device reached through ONVIF: it writes the firmware without reports.
QString onvifWritingText();
QString startUpgradeText();
/// "Upgrade Failed,<error>" when the library refuses to start the upgrade.
QString upgradeRefusedText(int nError);
QString upgradeSuccessText();
QString upgradeFailText();
/// The upgrade ran past its limit without an end report from the device or the library.
QString upgradeTimeoutText();
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
