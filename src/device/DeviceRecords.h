#pragma once

#include <QString>
#include <QVector>

#include "DevInfo.h"
#include "DeviceTable.h"

/// Widget-free rules that turn search records into table rows.

/// Size of one search record and the capacity of one search pass's result buffer.
constexpr int kSearchRecordSize = int(sizeof(SDK_CONFIG_NET_COMMON_V2));
constexpr int kMaxSearchRecords = kMaxTableRows;
constexpr int kSearchBufferSize = kSearchRecordSize * kMaxSearchRecords; // 143360

/// Texts of one search record as the device table shows them.
struct CDeviceRowTexts
{
    QString strIpAddr;    ///< "a.b.c.d"
    QString strPort;      ///< decimal service port
    QString strMac;       ///< the record's MAC text, unchanged
    QString strCloudId;   ///< the record's identifier (<= 32 chars) or the one derived from the MAC
    QString strVersion;   ///< empty when the record has none
    QString strBuildDate; ///< "yyyy-mm-dd", empty when the version is empty
};

/// The text of a fixed-size, zero-terminated 8-bit field (local 8-bit encoding). A device may fill a
/// field to the brim: nothing past nSize bytes is read.
QString fieldText(const char* pField, size_t nSize);
template <size_t N> QString fieldText(const char (&field)[N])
{
    return fieldText(field, N);
}

/// Only these kinds get a table row; a kind below 0 or above 5 counts as 1.
bool isListedDeviceKind(int nKind);

/// Cloud identifier derived from a MAC text: strip ':', read as 64-bit hex, add 5, format
/// "%012llx", MD5, bytes 4..11 as 16 lower-case hex digits.
/// The number is read like strtoull(.., 16) without sign or blanks: hexadecimal digits from the
/// start up to the first other character; no digit at all reads as 0 (so a MAC text that does not
/// begin with a hexadecimal digit hashes "000000000005"); a value beyond 64 bits saturates.
QString cloudIdFromMac(const QString& strMac);

/// "%04d-%02d-%02d".
QString buildDateText(int nYear, int nMonth, int nDay);

/// "%d.%d.%d.%d" of four address bytes, first byte first.
QString addressText(const unsigned char* pAddr);

CDeviceRowTexts deviceRowTexts(const SDK_CONFIG_NET_COMMON_V2& rec);

/// Fills a zero-filled record for row nRow from a search record.
void buildDevInfo(DEV_INFO* pInfo, const SDK_CONFIG_NET_COMMON_V2& rec, int nRow);

/// One search pass's filtering and ordering: records whose MAC text is not 17 characters are
/// dropped; one record per MAC text (the later in the buffer wins); ordered by the dotted address
/// text (string order), equal addresses with the greater MAC first. nBytes / 560 records are read,
/// at most kMaxSearchRecords.
/// Whether the device library reaches this row's device through ONVIF, as far as the record tells:
/// its login port is 80 (where the library looks for an ONVIF device service, also for a device
/// added by hand), or its search record names no port but the login port (the library's ONVIF
/// search records carry the device service's port alone; our protocol's answers always carry the
/// device's other ports too).
bool isOnvifRecord(const DEV_INFO& info);

QVector<SDK_CONFIG_NET_COMMON_V2> orderSearchResults(const char* pBuffer, int nBytes);

/// Text for a login error code, in the main window's translation context ("CVantrel").
QString loginErrorText(int nError);

/// Logs in to the record's device: its address and port, user name and password. The device
/// information goes into the record's block and the result into its lLoginID (a handle above 0, else
/// 0). *pError receives the library's error code (0 before the call). Returns the handle.
long loginDevice(DEV_INFO* pRec, int* pError);

/// The version and build date texts a successful login shows in its row. Each is empty when the login
/// reported nothing for it (no version text, a build year of 0): the row then keeps what the search
/// showed there.
struct CLoginTexts
{
    QString strVersion;
    QString strBuildDate;
};
CLoginTexts loginTexts(const SDK_DEVICE_INFO& info);

/// Writes a password (local 8-bit) into the record's 32-byte field: at most 31 bytes, so the field
/// always ends with a terminator.
void setRecordPassword(DEV_INFO* pInfo, const QByteArray& baPassword);
