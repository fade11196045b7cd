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

    /// "device" (case-insensitive) gives a CDeviceAddressCheck, anything else a CPingAddressCheck.
    /// Loopback-only is on when the settings or VANTREL_LOOPBACK_ONLY=1 say so.
    static std::unique_ptr<CAddressCheck> fromSettings(const CAppSettings& settings);

    /// True when the text is a dotted IPv4 address inside 127.0.0.0/8.
    static bool isLoopbackAddress(const QString& strIp);
    /// True when VANTREL_LOOPBACK_ONLY is set to a non-zero number.
    static bool loopbackOnlyFromEnvironment();
};

/// The system ping: one echo request with a one-second wait; exit code 0 means the address answered.
class CPingAddressCheck : public CAddressCheck
{
public:
    explicit CPingAddressCheck(bool bLoopbackOnly);

    /// Under loopback-only an address outside 127.0.0.0/8 (or text that is no IPv4 address) counts
    /// as not answering and nothing runs.
    bool isInUse(const QString& strIp) override;

    /// The program and arguments that would run for strIp on this platform.
    static QString program();
    static QStringList arguments(const QString& strIp);

    /// How many times ping really ran (refused destinations do not count).
    int runCount() const { return nRunCount_; }

private:
    bool bLoopbackOnly_;
    int nRunCount_ = 0;
};

/// Asks the devices: one device search through the library's configured broadcast addresses; the
/// address is in use when any answer carries it. It never sends anything to strIp itself.
class CDeviceAddressCheck : public CAddressCheck
{
public:
    explicit CDeviceAddressCheck(int nWaitMs = 300);

    bool isInUse(const QString& strIp) override;

    int waitMs() const { return nWaitMs_; }
    /// Host addresses of the answers of the last search (for the log and tests).
    const QStringList& lastAnswers() const { return lstLastAnswers_; }

private:
    int nWaitMs_;
    QStringList lstLastAnswers_;
};
