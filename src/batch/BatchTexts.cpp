#include "BatchTexts.h"

#include <cstdio>
#include <cstring>

#include <QCoreApplication>

#include "batch/BatchCommands.h"
#include "device/DeviceRecords.h"

QByteArray factoryResetRecord()
{
    QByteArray ba(kFactoryResetSize, char(1));
    ba[kFactoryResetSize - 1] = 0;
    return ba;
}

QString loginSuccessText()
{
    return QCoreApplication::translate("CVantrel", "Login Success");
}

QString resetResultText(long nRet)
{
    if (nRet < 0 && nRet != SDK_ERR_TIMEOUT)
        return QStringLiteral("%1 Err=%2").arg(QCoreApplication::translate("CVantrel", "Reset Config Filed")).arg(nRet);
    return QCoreApplication::translate("CVantrel", "Reset Config Success");
}

bool isAdaptiveSuccess(long nRet)
{
    return nRet >= 1;
}

QString adaptiveResultText(long nRet)
{
    return isAdaptiveSuccess(nRet) ? QCoreApplication::translate("CVantrel", "Set IP adaptive Success")
                                   : QCoreApplication::translate("CVantrel", "Set IP adaptive Failed");
}

QString importResultText(long nRet)
{
    if (nRet < 0 && nRet != SDK_ERR_NEED_REBOOT)
        return QCoreApplication::translate("CVantrel", "ImportConfigFailed");
    return QCoreApplication::translate("CVantrel", "ImportConfigSuccess");
}

QString importTooLargeText()
{
    return QCoreApplication::translate("CVantrel", "ImportConfigFailed: file larger than 128 KiB");
}

bool isDealSuccess(int nRet)
{
    return nRet >= 0 || nRet == SDK_ERR_TIMEOUT;
}

QString dealMessageText(int nRet, int nError, int nCmd)
{
    if (isDealSuccess(nRet)) {
        if (nCmd == DealResetConfig)
            return QCoreApplication::translate("CVantrel", "Reset Config Successfully");
        if (nCmd == DealReboot)
            return QCoreApplication::translate("CVantrel", "Reboot Successfully");
        return QString();
    }
    switch (nCmd) {
    case DealResetConfig:
        return QCoreApplication::translate("CVantrel", "Reset Config Failed");
    case DealReboot:
        return QCoreApplication::translate("CVantrel", "Reboot Failed");
    case DealLogin:
        return loginErrorText(nError);
    default:
        return QString();
    }
}

ConfigFileRead readConfigFile(const QString& strPath, QByteArray* pData, int* pChunks)
{
    pData->clear();
    if (pChunks)
        *pChunks = 0;
    // Opened by its local 8-bit name in "rb", as the device tool always did: a name the locale
    // cannot express cannot be opened either.
    std::FILE* pFile = std::fopen(strPath.toLocal8Bit().constData(), "rb");
    if (!pFile)
        return ConfigFileRead::Unopenable;
    QByteArray baBuffer(kImportMaxBytes, 0);
    int nUsed = 0;
    bool bTooLarge = false;
    char achChunk[kImportChunkBytes];
    for (;;) {
        const size_t nRead = std::fread(achChunk, 1, sizeof(achChunk), pFile);
        if (nRead == 0)
            break;
        if (pChunks)
            ++*pChunks;
        if (nUsed + int(nRead) > kImportMaxBytes) {
            bTooLarge = true;
            break;
        }
        std::memcpy(baBuffer.data() + nUsed, achChunk, nRead);
        nUsed += int(nRead);
    }
    std::fclose(pFile);
    if (bTooLarge)
        return ConfigFileRead::TooLarge;
    if (nUsed == 0)
        return ConfigFileRead::Empty;
    baBuffer.truncate(nUsed);
    *pData = baBuffer;
    return ConfigFileRead::Ok;
}
