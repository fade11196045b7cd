#include "CAddressCheck.h"

#include <vector>

#include <QNetworkInterface>
#include <QProcess>
#include <QStringList>

#include "app/CAppSettings.h"
#include "app/LogCategories.h"
#include "batch/IpPlan.h"
#include <netsdk/netsdk.h>

namespace {

/// A ping that hangs (no such program behaving, a stuck resolver) must not block the caller for
/// long: one echo request waits 1 s, so 3 s covers start-up as well.
constexpr int kPingBoundMs = 3000;
constexpr int kSearchRecords = 256;

} // namespace

std::unique_ptr<CAddressCheck> CAddressCheck::fromSettings(const CAppSettings& settings)
{
    if (settings.strAddressCheck.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CDeviceAddressCheck>();
    return std::make_unique<CPingAddressCheck>(settings.bLoopbackOnly);
}

bool CAddressCheck::isLoopbackAddress(const QString& strIp)
{
    int octets[4];
    return IpPlan::parseDotted(strIp, octets) && octets[0] == 127;
}

QStringList CAddressCheck::hostAddresses()
{
    QStringList lstAddresses;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            lstAddresses.append(address.toString());
    }
    return lstAddresses;
}

CPingAddressCheck::CPingAddressCheck(bool bOn) : bLoopbackOnly(bOn) {}

QString CPingAddressCheck::program()
{
    return QStringLiteral("ping");
}

QStringList CPingAddressCheck::arguments(const QString& strIp)
{
#ifdef Q_OS_WIN
    return {strIp, QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("1000")};
#else
    return {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"), strIp};
#endif
}

bool CPingAddressCheck::isInUse(const QString& strIp)
{
    // Only a well-formed dotted address reaches the command line, so no text can turn into an option.
    if (!IpPlan::isDottedAddress(strIp)) {
        qCWarning(lcAddressCheck) << "not an IPv4 address, not checked:" << strIp;
        return false;
    }
    if (bLoopbackOnly && !isLoopbackAddress(strIp)) {
        qCInfo(lcAddressCheck) << "loopback-only: no ping to" << strIp;
        return false;
    }
    ++nRunCount;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(), arguments(strIp));
    if (!process.waitForStarted(kPingBoundMs)) {
        qCWarning(lcAddressCheck) << "ping did not start:" << process.errorString();
        return false;
    }
    if (!process.waitForFinished(kPingBoundMs)) {
        process.kill();
        process.waitForFinished(kPingBoundMs);
        qCWarning(lcAddressCheck) << "ping to" << strIp << "did not end in time";
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

CDeviceAddressCheck::CDeviceAddressCheck(int nNewWaitMs) : nWaitMs(nNewWaitMs > 0 ? nNewWaitMs : 300) {}

bool CDeviceAddressCheck::isInUse(const QString& strIp)
{
    lstLastAnswers.clear();
    int target[4];
    if (!IpPlan::parseDotted(strIp, target))
        return false;
    const QString strWanted = IpPlan::formatAddress(target[0], target[1], target[2], target[3]);
    std::vector<SDK_CONFIG_NET_COMMON_V2> records(kSearchRecords);
    const int nBufLen = int(records.size() * sizeof(SDK_CONFIG_NET_COMMON_V2));
    int nRetLength = 0;
    if (!sdkSearchDevice(reinterpret_cast<char*>(records.data()), nBufLen, &nRetLength, nWaitMs)) {
        qCWarning(lcAddressCheck) << "device search failed:" << sdkGetLastError();
        return false;
    }
    if (nRetLength < 0 || nRetLength > nBufLen) {
        qCWarning(lcAddressCheck) << "device search returned a bad length:" << nRetLength;
        return false;
    }
    const int nCount = nRetLength / int(sizeof(SDK_CONFIG_NET_COMMON_V2));
    bool bInUse = false;
    for (int i = 0; i < nCount; ++i) {
        const unsigned char* ip = records[size_t(i)].hostIp;
        const QString strAnswer = IpPlan::formatAddress(ip[0], ip[1], ip[2], ip[3]);
        lstLastAnswers.append(strAnswer);
        if (strAnswer == strWanted)
            bInUse = true;
    }
    return bInUse;
}
