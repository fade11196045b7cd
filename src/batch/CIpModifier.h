#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "device/DevInfo.h"
#include "device/DeviceTable.h"

class CAddressCheck;

/// Changes camera addresses without a login (the library's address-change request over the LAN).
/// Used by the batch (codes 3 and 4: one plan for all checked rows) and by ModifyIP (one record).
class CIpModifier
{
public:
    /// Row texts of one address change.
    struct Result
    {
        QString strStatus;     ///< translated status text for column 3
        QString strNewIp;      ///< the new address for column 1; empty unless changed
        int nRet = 0;          ///< library result; 0 when nothing was sent
        bool bStopped = false; ///< a stop request ended the free-address search: nothing sent, no text
    };

    /// The sending PC's MAC text: hardwareAddress() of the first running interface (empty if none).
    static QString hostMacText();

    /// Once per batch (codes 3 and 4): the plan and the batch password; parses the next last octet L
    /// from the plan address and reads the host MAC text. pCheck is not owned and must outlive the
    /// batch (used by code 3 only). lstTaken are addresses code 3 never hands out and never asks
    /// about (the PC's own). A plan whose texts are not dotted addresses, or another code, makes
    /// every changeAddress answer "Set IP Fail" without sending.
    void preparePlan(int nCode, const QString& strIp, const QString& strMask, const QString& strGateway,
                     const QString& strPassword, CAddressCheck* pCheck, const QStringList& lstTaken = {});
    /// Asked during the free-address search of code 3; true ends it without sending.
    void setStopCheck(std::function<bool()> fnStop) { fnStopCheck = std::move(fnStop); }

    /// One device (codes 3/4): builds the block copy, free-address search (code 3, bounded to one cycle),
    /// sdkSetConfigOverNet(20, 254, ..., 400, 10000); on success copies the block back into *pRec,
    /// rewrites szIpAddr and logs out a logged-in record (lLoginID := 0). Code 3 moves the candidate
    /// on after every change it sent, whatever the answer: a device may take the address later (at
    /// its reboot, after a delay, after a time-out) while it does not answer there yet.
    Result changeAddress(DEV_INFO* pRec);

    /// ModifyIP(nIndex, nType) on a record, changed in place: type 1 sets the last octet to
    /// (nIndex + 20) % 256 (mode 1); type 2 saves the current last octet first (mode 254); type 3
    /// restores the saved octet (mode 254). Returns 1 on success (a time-out counts as success) or for a
    /// null record; 0 when the record cannot be reached this way (no mask, gateway or MAC) or for another
    /// type, nothing written; -1 after writing a failure text. Cell writes go through setCell(row, column, text).
    static int modifyIp(DEV_INFO* pRec, int nIndex, int nType, const CellWriter& setCell);

    /// Next candidate last octet of code 3.
    int nextLastOctet() const { return nLast; }
    /// How many addresses the free-address search has asked pCheck about since construction.
    int checkCount() const { return nCheckCount; }

private:
    /// Code 3: moves nLast to the first candidate that is free: not one of the taken addresses, not
    /// the subnet's network or broadcast address (by the plan's mask), and not in use by pCheck's
    /// answer. False after one full cycle without a free address; the batch then reports "No free
    /// address" for this and every later device without asking again. Without a check only the
    /// taken, network and broadcast addresses are passed over.
    bool findFreeLastOctet();
    bool stopRequested() const { return fnStopCheck && fnStopCheck(); }

    int nCode = 0;
    int anOctets[4] = {0, 0, 0, 0};
    int anMask[4] = {0, 0, 0, 0};
    int anGateway[4] = {0, 0, 0, 0};
    int nLast = 0;
    int nCheckCount = 0;
    bool bPlanValid = false;
    bool bCycleExhausted = false;
    QString strPassword;
    QString strHostMac;
    QStringList lstTaken;
    CAddressCheck* pCheck = nullptr;
    std::function<bool()> fnStopCheck;
};
