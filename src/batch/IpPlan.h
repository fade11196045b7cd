#pragma once

#include <cstdint>
#include <functional>

#include <QSet>
#include <QString>

/// Address planning arithmetic, free of widgets and of the network: every "does this address
/// answer" question goes through a predicate given by the caller.
namespace IpPlan {

/// The one reader of dotted addresses: exactly four dot-separated decimal numbers from 0 to 255,
/// each of one to three digits (leading zeros are decimal: "010" is 10). Fills octets and returns
/// true; false for anything else (then octets is left alone).
bool parseDotted(const QString& strIp, int octets[4]);

/// True when parseDotted accepts the text.
bool isDottedAddress(const QString& strIp);

/// The four octets of a possibly incomplete dotted text, as the planning dialog's editors give it:
/// missing, non-numeric or out-of-range octets read as 0.
void parseOctets(const QString& strIp, int octets[4]);

/// The 32-bit value o1*2^24 + o2*2^16 + o3*2^8 + o4 of a dotted text (missing octets read as 0).
uint32_t toValue(const QString& strIp);

/// True when the mask's ones are contiguous from the top: with N = NOT M, N AND (N + 1) == 0.
/// 0.0.0.0 and 255.255.255.255 are valid.
bool isContiguousMask(const QString& strMask);

/// The gateway's last octet: the first g from 1 to 254 with (nLastOctet AND nMaskLast) ==
/// (g AND nMaskLast); 254 if none matches.
int gatewayLastOctet(int nLastOctet, int nMaskLast);

/// The last octet after o in the proposal walk: 255 -> 2 (.1 is skipped after a wrap), else o + 1.
int nextProposalOctet(int nOctet);

/// True when the address is the network or the broadcast address of its subnet under the mask:
/// no device may be given either. Masks of /31 and /32 have neither.
bool isNetworkOrBroadcast(const QString& strIp, const QString& strMask);

struct Proposal
{
    bool bFound = false; ///< false: every candidate of one full cycle answered
    QString strIp;       ///< the proposed address (empty when not found)
    QString strMask;     ///< the PC's mask as given (0.0.0.0 when empty)
    QString strGateway;  ///< o1.o2.o3.g for the proposed address (empty when not found)
    int nChecks = 0;     ///< how many times answers() was asked
};

/// The proposal from the PC's own address and mask: start at the PC's address; while the candidate
/// is taken, move the last octet on (nextProposalOctet). A candidate is taken when it is one of
/// setTaken (the PC's own addresses: they look free to a check that asks the devices), the network
/// or broadcast address of the PC's subnet, or when answers() says so; answers() is asked only about
/// the others. The first free candidate is proposed with the PC's mask and the gateway of
/// gatewayLastOctet. The walk ends without a proposal after one full cycle of the last octet.
Proposal propose(const QString& strPcIp, const QString& strPcMask, const std::function<bool(const QString&)>& answers,
                 const QSet<QString>& setTaken = {});

/// The batch's free-address search: from nStart, the first last octet o for which inUse(o) is false,
/// moving on o + 1 and wrapping to 1 when that reaches 255 or more (so .255 and .0 are never
/// proposed after a step). Bounded to one full cycle: when every candidate is in use, *pbFound :=
/// false and nStart comes back. pbFound may be null.
int nextFreeLastOctet(int nStart, const std::function<bool(int)>& inUse, bool* pbFound);

/// "%1.%2.%3.%4" in plain decimal.
QString formatAddress(int o1, int o2, int o3, int o4);

} // namespace IpPlan
