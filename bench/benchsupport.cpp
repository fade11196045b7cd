#include "benchsupport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace bench {

namespace {

// The first line of every Config.ini a benchmark writes: a file that starts with it was left by a
// benchmark that crashed, and is not put back afterwards.
constexpr char kMarker[] = "; written by a Vantrel benchmark, removed when it ends\n";

} // namespace

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuMs(qint64 nPid)
{
    QFile stat(nPid > 0 ? QStringLiteral("/proc/%1/stat").arg(nPid) : QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray baText = stat.readAll();
    // The command name may hold spaces and parentheses: the fields start after its last ')'.
    const int nEnd = baText.lastIndexOf(')');
    if (nEnd < 0)
        return -1;
    const QList<QByteArray> lstFields = baText.mid(nEnd + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (lstFields.size() < 13)
        return -1;
    const long nTicksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (nTicksPerSecond <= 0)
        return -1;
    const double dTicks = lstFields[11].toDouble() + lstFields[12].toDouble();
    return dTicks * 1000.0 / double(nTicksPerSecond);
}

QString camsimPath(const QString& strOption, const char* szBuiltPath)
{
    if (!strOption.isEmpty())
        return strOption;
    return qEnvironmentVariable("VANTREL_CAMSIM", QString::fromLocal8Bit(szBuiltPath));
}

bool Fleet::start(const FleetSpec& setup, const QString& strLogFile, QString& error)
{
    QStringList lstArgs{QStringLiteral("--count"),          QString::number(setup.count),
                        QStringLiteral("--first-address"),  setup.firstAddress,
                        QStringLiteral("--discovery-port"), QString::number(setup.discoveryPort),
                        QStringLiteral("--fleet-id"),       QString::number(setup.fleetId)};
    if (!setup.models.isEmpty())
        lstArgs << QStringLiteral("--models") << setup.models;
    emulator_.setProgram(setup.camsim);
    emulator_.setLogFile(strLogFile);
    if (emulator_.start(lstArgs + setup.extraArguments, 120000))
        return true;
    error = emulator_.errorString();
    return false;
}

ConfigIni::~ConfigIni()
{
    restore();
}

bool ConfigIni::write(quint16 nDiscoveryPort, QString& error)
{
    restore();
    strPath_ = QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini");
    QFile previous(strPath_);
    bHadPrevious_ = previous.exists();
    if (bHadPrevious_) {
        if (!previous.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read the existing %1").arg(strPath_);
            return false;
        }
        baPrevious_ = previous.readAll();
        bHadPrevious_ = !baPrevious_.startsWith(kMarker);
    }
    const QByteArray baPort = QByteArray::number(nDiscoveryPort);
    QSaveFile file(strPath_);
    // No Solution key: the English texts, which the benchmarks compare row texts with.
    const QByteArray baText =
        kMarker + configIniText(nDiscoveryPort, {{QStringLiteral("Network/Interface"), QString()},
                                                 {QStringLiteral("themes/Solution"), QString()},
                                                 {QStringLiteral("UpgradeInfo/ModifyIP"), QStringLiteral("0")},
                                                 {QStringLiteral("Mic/OnlyRecv"), QStringLiteral("0")}});
    if (!file.open(QIODevice::WriteOnly) || file.write(baText) != baText.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1").arg(strPath_);
        return false;
    }
    bWritten_ = true;
    qputenv("VANTREL_LOOPBACK_ONLY", "1");
    qputenv("VANTREL_BROADCAST", "127.255.255.255");
    qputenv("VANTREL_DISCOVERY_PORT", baPort);
    return true;
}

void ConfigIni::restore()
{
    if (!bWritten_)
        return;
    bWritten_ = false;
    if (!bHadPrevious_) {
        QFile::remove(strPath_);
        return;
    }
    QSaveFile file(strPath_);
    if (!file.open(QIODevice::WriteOnly) || file.write(baPrevious_) != baPrevious_.size() || !file.commit())
        qWarning("could not put back the earlier %s", qPrintable(strPath_));
}

StallMeter::StallMeter(int nIntervalMs)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(nIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const Clock::time_point now = Clock::now();
        const double dGapMs = msBetween(lastTick_, now);
        if (dGapMs > dMaxGapMs_) {
            dMaxGapMs_ = dGapMs;
            maxGapEnd_ = now;
        }
        lastTick_ = now;
    });
}

void StallMeter::start()
{
    dMaxGapMs_ = 0;
    timer_.start();
    lastTick_ = Clock::now();
    maxGapEnd_ = lastTick_;
}

void StallMeter::stop()
{
    timer_.stop();
}

} // namespace bench
