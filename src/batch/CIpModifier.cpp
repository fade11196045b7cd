#include "CIpModifier.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QStringList>

#include "app/LogCategories.h"
#include "batch/BatchCommands.h"
#include "batch/CAddressCheck.h"
#include "batch/IpPlan.h"
#include "device/DeviceRecords.h"

namespace {

constexpr int kModeBatch = 254;
constexpr int kModeAssign = 1;
constexpr int kBatchWaitMs = 10000;
constexpr int kModifyIpWaitMs = 20000;
constexpr int kCredentialBytes = 32; // at most this much of user name and password is copied

void storeOctets(unsigned char* pDest, const int pOctets[4])
{
    for (int i = 0; i < 4; ++i)
        pDest[i] = static_cast<unsigned char>(pOctets[i]);
}

/// Zero-fills the field and copies at most nMax bytes of the text, so a terminator always follows.
void storeText(char* pField, size_t nFieldSize, const QByteArray& text, int nMax)
{
    std::memset(pField, 0, nFieldSize);
    const size_t nCount = std::min<size_t>({size_t(text.size()), size_t(nMax), nFieldSize - 1});
    std::memcpy(pField, text.constData(), nCount);
}

/// The PC's MAC text goes in without a terminator: the request flag follows it directly.
void storeHostMac(SDK_NET_ADDRESS_BLOCK& block, const QString& strMac)
{
    const QByteArray bytes = strMac.toLatin1();
    std::memcpy(block.hostMac, bytes.constData(), std::min<size_t>(size_t(bytes.size()), sizeof block.hostMac));
}

bool hasNoNetworkIdentity(const SDK_NET_ADDRESS_BLOCK& block)
{
    static const unsigned char zero[4] = {0, 0, 0, 0};
    return std::memcmp(block.submask, zero, 4) == 0 && std::memcmp(block.gateway, zero, 4) == 0 && block.mac[0] == '\0';
}

void storeAddressText(DEV_INFO* pRec, const QString& strIp)
{
    storeText(pRec->szIpAddr, sizeof pRec->szIpAddr, strIp.toLatin1(), int(sizeof pRec->szIpAddr) - 1);
}

} // namespace

QString CIpModifier::hostMacText()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsRunning))
            return iface.hardwareAddress();
    }
    return QString();
}

void CIpModifier::preparePlan(int nNewCode, const QString& strIp, const QString& strMask, const QString& strGateway,
                              const QString& strNewPassword, CAddressCheck* pNewCheck, const QStringList& lstNewTaken)
{
    nCode = nNewCode;
    lstTaken = lstNewTaken;
    pCheck = pNewCheck;
    strPassword = strNewPassword;
    strHostMac = hostMacText();
    bCycleExhausted = false;
    bPlanValid = IpPlan::parseDotted(strIp.trimmed(), anOctets) && IpPlan::parseDotted(strMask.trimmed(), anMask) &&
                 IpPlan::parseDotted(strGateway.trimmed(), anGateway) && isAddressCommand(nCode);
    nLast = bPlanValid ? anOctets[3] : 0;
    if (!bPlanValid)
        qCWarning(lcBatch) << "unusable address plan" << nCode << strIp << strMask << strGateway;
}

bool CIpModifier::findFreeLastOctet()
{
    if (bCycleExhausted)
        return false;
    const QString strMask = IpPlan::formatAddress(anMask[0], anMask[1], anMask[2], anMask[3]);
    bool bFound = false;
    nLast = IpPlan::nextFreeLastOctet(
        nLast,
        [this, &strMask](int nOctet) {
            // A stop ends the walk at once: every later candidate counts as taken without asking.
            if (stopRequested())
                return true;
            const QString strCandidate = IpPlan::formatAddress(anOctets[0], anOctets[1], anOctets[2], nOctet);
            if (lstTaken.contains(strCandidate) || IpPlan::isNetworkOrBroadcast(strCandidate, strMask))
                return true;
            if (pCheck == nullptr)
                return false;
            ++nCheckCount;
            return pCheck->isInUse(strCandidate);
        },
        &bFound);
    // A full cycle found nothing: every later device of this batch would ask the same questions.
    bCycleExhausted = !bFound && !stopRequested();
    return bFound;
}

CIpModifier::Result CIpModifier::changeAddress(DEV_INFO* pRec)
{
    Result result;
    if (pRec == nullptr || !bPlanValid) {
        result.strStatus = QCoreApplication::translate("CVantrel", "Set IP Fail");
        return result;
    }

    SDK_NET_ADDRESS_BLOCK block;
    std::memcpy(&block, &pRec->netBlock, sizeof block);
    storeText(block.userName, sizeof block.userName, QByteArrayLiteral("admin"), kCredentialBytes);
    storeText(block.password, sizeof block.password, strPassword.toLocal8Bit(), kCredentialBytes);
    storeHostMac(block, strHostMac);
    block.requestFlag = 1;
    storeOctets(block.submask, anMask);
    storeOctets(block.gateway, anGateway);

    if (nCode == BatchSameAddress) {
        storeOctets(block.hostIp, anOctets);
    } else {
        const bool bFree = findFreeLastOctet();
        if (stopRequested()) {
            result.bStopped = true;
            return result;
        }
        if (!bFree) {
            result.strStatus = QCoreApplication::translate("CVantrel", "No free address");
            return result;
        }
        const int octets[4] = {anOctets[0], anOctets[1], anOctets[2], nLast};
        storeOctets(block.hostIp, octets);
    }

    result.nRet = int(sdkSetConfigOverNet(int(kCmdNetworkRecord), kModeBatch, reinterpret_cast<char*>(&block),
                                          sizeof block, kBatchWaitMs));
    if (nCode == BatchAddressFromStart) {
        // Whatever the answer, the device may hold this address soon: the next one starts after it.
        ++nLast;
        if (nLast >= 255)
            nLast = 1;
    }
    if (result.nRet == 0 || result.nRet == 1) {
        std::memcpy(&pRec->netBlock, &block, sizeof block);
        result.strNewIp = addressText(block.hostIp);
        storeAddressText(pRec, result.strNewIp);
        if (pRec->lLoginID > 0) {
            sdkLogout(pRec->lLoginID);
            pRec->lLoginID = 0;
        }
        result.strStatus = QCoreApplication::translate("CVantrel", "Modify Success");
    } else if (result.nRet == SDK_ERR_TIMEOUT) {
        result.strStatus = QCoreApplication::translate("CVantrel", "Modify TimeOut");
    } else if (result.nRet == SDK_ERR_NEED_REBOOT) {
        result.strStatus = QCoreApplication::translate("CVantrel", "Need Reboot");
    } else {
        result.strStatus = QCoreApplication::translate("CVantrel", "Set IP Fail");
    }
    return result;
}

int CIpModifier::modifyIp(DEV_INFO* pRec, int nIndex, int nType, const CellWriter& setCell)
{
    if (pRec == nullptr)
        return 1;
    SDK_NET_ADDRESS_BLOCK& block = pRec->netBlock;
    // A record added by hand carries no network identity: the request could not select the device.
    if (hasNoNetworkIdentity(block))
        return 0;

    // A row from the search has no credentials in its block; the device only applies an address
    // change that carries them, so take the record's own user and (batch) password then.
    // The record's fields may be full (32 bytes, no terminator); the block's are twice as long.
    if (block.userName[0] == '\0') {
        std::memset(block.userName, 0, sizeof block.userName);
        std::memset(block.password, 0, sizeof block.password);
        std::memcpy(block.userName, pRec->szUserName, sizeof pRec->szUserName);
        std::memcpy(block.password, pRec->szPassword, sizeof pRec->szPassword);
    }
    // A refused change must not leave the block claiming an address the device does not have.
    const SDK_NET_ADDRESS_BLOCK blockBefore = block;

    const unsigned char byRowOctet = static_cast<unsigned char>(((nIndex + 20) % 256 + 256) % 256);
    int nMode = kModeBatch;
    switch (nType) {
    case ModifyIpAssign:
        block.hostIp[3] = byRowOctet;
        nMode = kModeAssign;
        break;
    case ModifyIpSaveAndAssign:
        pRec->nSavedLastOctet = block.hostIp[3];
        block.hostIp[3] = byRowOctet;
        break;
    case ModifyIpRestore:
        block.hostIp[3] = static_cast<unsigned char>(pRec->nSavedLastOctet);
        break;
    default:
        return 0;
    }
    block.requestFlag = 1;
    storeHostMac(block, hostMacText());

    const long nRet = sdkSetConfigOverNet(int(kCmdNetworkRecord), nMode, reinterpret_cast<char*>(&block), sizeof block,
                                          kModifyIpWaitMs);
    qCDebug(lcBatch) << "ModifyIP nRet=" << nRet;
    if (nRet == SDK_ERR_TIMEOUT) {
        qCDebug(lcBatch) << "ModifyIP timeout nRet=" << nRet;
    } else if (nRet == SDK_ERR_NEED_REBOOT) {
        if (setCell)
            setCell(nIndex, ColumnStatus, QCoreApplication::translate("CVantrel", "Need Reboot"));
        return -1;
    } else if (nRet != 0 && nRet != 1) {
        block = blockBefore;
        if (setCell)
            setCell(nIndex, ColumnStatus, QCoreApplication::translate("CVantrel", "Set Ip Fail"));
        return -1;
    }

    const QString strIp = addressText(block.hostIp);
    if (setCell)
        setCell(nIndex, ColumnIpAddress, strIp);
    storeAddressText(pRec, strIp);
    return 1;
}
