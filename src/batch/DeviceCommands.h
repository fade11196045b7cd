#pragma once

#include <QString>

#include "device/DeviceTable.h"

/// The maintenance work on one logged-in device, shared by the batch worker, the dedicated
/// reset/reboot worker and the upgrade run. Each returns the device library's result.

/// Resets the configuration to factory values (command 33, the factory-reset record).
long resetDeviceConfig(long lLoginID, int nWaitMs);
/// Writes IP adaptive on (1) or off (0) (command 274, one byte).
long setDeviceIpAdaptive(long lLoginID, unsigned char byValue, int nWaitMs);

/// ImportDevConfig's work: sends the configuration file strFile to the device (command 52) and
/// writes "ImportConfigSuccess" / "ImportConfigFailed" into row nRow's status. Returns the library's
/// result; 0 when there is nothing to send (no file chosen, an empty file), -1 when the file cannot
/// be opened or is larger than a device takes (the latter with its own text).
int importConfigFile(const QString& strFile, long lLoginID, int nRow, const CellWriter& setCell);
