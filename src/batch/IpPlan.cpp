#include "IpPlan.h"

#include <QStringList>

namespace IpPlan {

bool parseDotted(const QString& strIp, int octets[4])
{
    const QStringList parts = strIp.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        const QString& part = parts.at(i);
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar ch : part) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return false;
        }
        values[i] = part.toInt(nullptr, 10);
        if (values[i] > 255)
            return false;
    }
    for (int i = 0; i < 4; ++i)
        octets[i] = values[i];
    return true;
}

bool isDottedAddress(const QString& strIp)
{
    int octets[4];
    return parseDotted(strIp, octets);
}

void parseOctets(const QString& strIp, int octets[4])
{
    const QStringList parts = strIp.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i) {
        octets[i] = 0;
        if (i >= parts.size())
            continue;
        bool bOk = false;
        const int nValue = parts.at(i).toInt(&bOk);
        if (bOk && nValue >= 0 && nValue <= 255)
            octets[i] = nValue;
    }
}

uint32_t toValue(const QString& strIp)
{
    int octets[4];
    parseOctets(strIp, octets);
    return (uint32_t(octets[0]) << 24) | (uint32_t(octets[1]) << 16) | (uint32_t(octets[2]) << 8) | uint32_t(octets[3]);
}

bool isContiguousMask(const QString& strMask)
{
    const uint32_t nInverse = ~toValue(strMask);
    // Unsigned wrap of 0xFFFFFFFF + 1 gives 0, so 0.0.0.0 passes as the formula intends.
    return (nInverse & (nInverse + 1u)) == 0;
}

int gatewayLastOctet(int nLastOctet, int nMaskLast)
{
    for (int g = 1; g <= 254; ++g) {
        if ((nLastOctet & nMaskLast) == (g & nMaskLast))
            return g;
    }
    return 254;
}

int nextProposalOctet(int nOctet)
{
    if (nOctet == 255)
        nOctet = 1;
    return nOctet + 1;
}

bool isNetworkOrBroadcast(const QString& strIp, const QString& strMask)
{
    const uint32_t nMask = toValue(strMask);
    const uint32_t nHost = ~nMask;
    if (nHost <= 1u)
        return false; // /31 and /32: every address is a host
    const uint32_t nIp = toValue(strIp);
    return (nIp & nHost) == 0 || (nIp & nHost) == nHost;
}

QString formatAddress(int o1, int o2, int o3, int o4)
{
    return QStringLiteral("%1.%2.%3.%4").arg(o1).arg(o2).arg(o3).arg(o4);
}

Proposal propose(const QString& strPcIp, const QString& strPcMask, const std::function<bool(const QString&)>& answers,
                 const QSet<QString>& setTaken)
{
    Proposal proposal;
    int ip[4];
    int mask[4];
    parseOctets(strPcIp, ip);
    parseOctets(strPcMask, mask);
    proposal.strMask = strPcMask.isEmpty() ? QStringLiteral("0.0.0.0") : strPcMask;

    const QString strMask = proposal.strMask;
    const auto taken = [&](int nOctet) {
        const QString strCandidate = formatAddress(ip[0], ip[1], ip[2], nOctet);
        if (setTaken.contains(strCandidate) || isNetworkOrBroadcast(strCandidate, strMask))
            return true;
        ++proposal.nChecks;
        return answers(strCandidate);
    };
    // The walk never revisits a last octet: once the next candidate was already seen, every
    // reachable address of the cycle is taken.
    bool bSeen[256] = {};
    int nOctet = ip[3];
    bSeen[nOctet] = true;
    bool bTaken = taken(nOctet);
    while (bTaken) {
        const int nNext = nextProposalOctet(nOctet);
        if (nNext > 255 || bSeen[nNext])
            return proposal;
        nOctet = nNext;
        bSeen[nOctet] = true;
        bTaken = taken(nOctet);
    }
    proposal.bFound = true;
    proposal.strIp = formatAddress(ip[0], ip[1], ip[2], nOctet);
    proposal.strGateway = formatAddress(ip[0], ip[1], ip[2], gatewayLastOctet(nOctet, mask[3]));
    return proposal;
}

int nextFreeLastOctet(int nStart, const std::function<bool(int)>& inUse, bool* pbFound)
{
    if (nStart < 0 || nStart > 255)
        nStart = 1;
    bool bSeen[256] = {};
    int nOctet = nStart;
    while (!bSeen[nOctet]) {
        bSeen[nOctet] = true;
        if (!inUse(nOctet)) {
            if (pbFound)
                *pbFound = true;
            return nOctet;
        }
        ++nOctet;
        if (nOctet >= 255)
            nOctet = 1;
    }
    if (pbFound)
        *pbFound = false;
    return nStart;
}

} // namespace IpPlan
