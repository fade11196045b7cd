#pragma once

#include <memory>

#include <QString>
#include <QStringList>

class CAppSettings;

/// Answers whether an IPv4 address is taken on the network. The address planning dialog and the
/// batch address change ask it before they hand out an address.
class CAddressCheck
{
public:
    virtual ~CAddressCheck() = default;

    /// True when some host or device answers at strIp (one check; about 1 s for ping, the search
    /// wait for device).
    virtual bool isInUse(const QString& strIp) = 0;

    /// "device" (case-insensitive) gives a CDeviceAddressCheck, anything else a CPingAddressCheck
    /// with the settings' loopback-only switch.
    static std::unique_ptr<CAddressCheck> fromSettings(const CAppSettings& settings);

    /// True when the text is a dotted IPv4 address inside 127.0.0.0/8.
    static bool isLoopbackAddress(const QString& strIp);
    /// Every IPv4 address of the PC's own interfaces. They count as taken wherever an address is
    /// handed out: a check that asks the devices would find them free.
    static QStringList hostAddresses();
};

/// The system ping: one echo request with a one-second wait; exit code 0 means the address answered.
class CPingAddressCheck : public CAddressCheck
{
public:
    explicit CPingAddressCheck(bool bOn);

    /// With bLoopbackOnly an address outside 127.0.0.0/8 (or text that is no IPv4 address) counts
    /// as not answering and nothing runs.
    bool isInUse(const QString& strIp) override;

    /// The program and arguments that would run for strIp on this platform.
    static QString program();
    static QStringList arguments(const QString& strIp);

    /// How many times ping really ran (refused destinations do not count).
    int runCount() const { return nRunCount; }

private:
    bool bLoopbackOnly;
    int nRunCount = 0;
};

/// Asks the devices: one device search through the library's configured broadcast addresses; the
/// address is in use when any answer carries it. It never sends anything to strIp itself.
class CDeviceAddressCheck : public CAddressCheck
{
public:
    explicit CDeviceAddressCheck(int nNewWaitMs = 300);

    bool isInUse(const QString& strIp) override;

    int waitMs() const { return nWaitMs; }
    /// Host addresses of the answers of the last search (for the log and tests).
    const QStringList& lastAnswers() const { return lstLastAnswers; }

private:
    int nWaitMs;
    QStringList lstLastAnswers;
};
