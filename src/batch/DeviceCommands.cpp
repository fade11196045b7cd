#include "DeviceCommands.h"

#include <netsdk/netsdk.h>

#include "batch/BatchCommands.h"
#include "batch/BatchTexts.h"

namespace {

constexpr int kImportWaitMs = 10000;

} // namespace

long resetDeviceConfig(long lLoginID, int nWaitMs)
{
    QByteArray baRecord = factoryResetRecord();
    return sdkSetConfig(lLoginID, kCmdFactoryReset, -1, baRecord.data(), static_cast<unsigned long>(baRecord.size()),
                        nWaitMs);
}

long setDeviceIpAdaptive(long lLoginID, unsigned char byValue, int nWaitMs)
{
    char chValue = char(byValue);
    return sdkSetConfig(lLoginID, kCmdIpAdaptive, -1, &chValue, 1, nWaitMs);
}

int importConfigFile(const QString& strFile, long lLoginID, int nRow, const CellWriter& setCell)
{
    if (strFile.isEmpty())
        return 0;
    QByteArray baData;
    switch (readConfigFile(strFile, &baData)) {
    case ConfigFileRead::Unopenable:
        return -1;
    case ConfigFileRead::Empty:
        return 0;
    case ConfigFileRead::TooLarge:
        // The device takes at most 128 KiB: sending the head of a larger file would configure it
        // from a cut-off text.
        setCell(nRow, ColumnStatus, importTooLargeText());
        return -1;
    case ConfigFileRead::Ok:
        break;
    }
    const long nRet = sdkSetConfig(lLoginID, kCmdImportConfig, -1, baData.data(),
                                   static_cast<unsigned long>(baData.size()), kImportWaitMs);
    setCell(nRow, ColumnStatus, importResultText(nRet));
    return int(nRet);
}
