#pragma once

#include <QByteArray>
#include <QtGlobal>

struct CPageData;

/// Reading a device's encode configuration into the encode page's record (EncodeRecord layout), and
/// the rules the page and the configuration writer share. No widgets: loading runs off the
/// user-interface thread.

/// The first software version that takes the simplified encode entries (command 68).
constexpr char kSimpleEncodeVersion[] = "V2.62.R07";
/// True for kSimpleEncodeVersion and every version text that sorts after it byte-wise. The page
/// reads and the configuration writer writes a device's stream formats by this one rule, so a
/// device at exactly that version is read the way it is written.
bool isNewEncodeFirmware(const QByteArray& baVersion);
/// True when the build date, written "%04d%02d%02d", sorts after "20120710": the device has the
/// profile record (command 117).
bool hasProfileRecord(int nYear, int nMonth, int nDay);

/// The reply of a channel-ability query: its "Name", "Ret" and "SessionID", and one flag per element
/// of its array (true where the element is 1).
struct CChannelAbility
{
    char szName[120] = {};
    qint32 nRet = 0;
    char szSessionId[20] = {};
    bool abFlags[64] = {};
};

/// Reads a channel-ability reply text into pAbility (cleared by the caller): 1 when read, -Ret when
/// "Ret" is not 100 (no flags then), -1 for a reply that does not read.
long readChannelAbilityReply(const QByteArray& baText, CChannelAbility* pAbility);
/// The channel-ability query of name index 0 ("ChannelSystemFunction@SmartH264") or 1 ("...V2"):
/// the device call's result when it is not 1, else as readChannelAbilityReply. Any other index does
/// nothing and returns 1.
long getChannelAbilityJson(long lLoginID, int nNameIndex, int nChannel, CChannelAbility* pAbility);

/// Whether digital channel nChannel's stream table is the recorder's to write: its state reads
/// "Connected", its own settings do not rule, and its current stream is not a single one. False for
/// entries whose counters point outside the record.
bool digitalChannelTakesTable(const QByteArray& baRecord, int nChannel);
/// The stream table entry digital channel nChannel uses, or -1 when its counters point outside
/// the record or the table.
int digitalTableEntry(const QByteArray& baRecord, int nChannel);

/// Reads the encode page's record from the device behind lLoginID into data.baRecord (cleared
/// first), the function record into data.baFunctions and the system information into
/// data.baSystemInfo, and works out what the device allows. data.nResult is 1, or below 1 when the
/// stream formats or the smart-encoding records could not be read.
void loadEncodeData(long lLoginID, CPageData& data);

/// Device read times of the encode page.
constexpr int kEncodeReadWaitMs = 1000;
constexpr int kAbilityQueryWaitMs = 5000;
