#pragma once

#include <QByteArray>
#include <QString>

/// Widget-free rules of the batch commands: the records they write, how a library result becomes a
/// row text, and how a configuration file is read for import. Texts are translated in the main
/// window's context ("CVantrel").

constexpr int kFactoryResetSize = 11;
/// The largest configuration file a device takes in one import, and the size of each read.
constexpr int kImportMaxBytes = 131072;
constexpr int kImportChunkBytes = 255;

/// The factory-reset record: ten bytes 1, then one byte 0.
QByteArray factoryResetRecord();

QString loginSuccessText();
/// Row text of a reset: a time-out counts as success (the device may already be resetting).
QString resetResultText(long nRet);
/// Row text of the IP adaptive write: only a result above 0 is a success.
QString adaptiveResultText(long nRet);
bool isAdaptiveSuccess(long nRet);
/// Row text of an import: "reboot needed" counts as success, a time-out as failure.
QString importResultText(long nRet);
/// Row text of a configuration file refused for its size (nothing is sent).
QString importTooLargeText();

/// True when a dedicated-worker message reports success (ret 0 or above, or a time-out).
bool isDealSuccess(int nRet);
/// The row text of one dedicated-worker message.
QString dealMessageText(int nRet, int nError, int nCmd);

/// Outcome of reading a configuration file for import.
enum class ConfigFileRead
{
    Ok,         ///< the bytes are in baData
    Empty,      ///< the file holds nothing: nothing to send
    Unopenable, ///< the file cannot be opened for reading
    TooLarge,   ///< the file is larger than kImportMaxBytes; baData stays empty
};
/// Reads the file at strPath (local 8-bit path) in chunks of kImportChunkBytes, never holding
/// more than kImportMaxBytes + 1 bytes. *pChunks receives the number of reads that returned data.
ConfigFileRead readConfigFile(const QString& strPath, QByteArray* pData, int* pChunks = nullptr);
