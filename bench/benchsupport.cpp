#include "benchsupport.h"

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QUdpSocket>

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

quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, 0) ? probe.localPort() : 0;
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

Fleet::Fleet() = default;

Fleet::~Fleet()
{
    stop();
}

bool Fleet::start(const FleetSpec& setup, const QString& strLogFile, QString& error)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTREL_LOOPBACK_ONLY"), QStringLiteral("1"));
    process_.setProcessEnvironment(env);
    // A benchmark that crashes must not leave its fleet holding addresses and ports.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    strLog_ = strLogFile;
    process_.setStandardErrorFile(strLog_);
    QStringList lstArgs;
    lstArgs << QStringLiteral("--count") << QString::number(setup.count) << QStringLiteral("--first-address")
            << setup.firstAddress << QStringLiteral("--discovery-port") << QString::number(setup.discoveryPort)
            << QStringLiteral("--fleet-id") << QString::number(setup.fleetId) << QStringLiteral("--control-port")
            << QStringLiteral("0");
    if (!setup.models.isEmpty())
        lstArgs << QStringLiteral("--models") << setup.models;
    lstArgs << setup.extraArguments;
    process_.start(setup.camsim, lstArgs);
    if (!process_.waitForStarted(10000)) {
        error = QStringLiteral("cannot start %1: %2").arg(setup.camsim, process_.errorString());
        return false;
    }
    QElapsedTimer deadline;
    deadline.start();
    QByteArray baPending;
    while (deadline.elapsed() < 120000) {
        process_.waitForReadyRead(200);
        baPending += process_.readAllStandardOutput();
        const int nNewline = baPending.indexOf('\n');
        if (nNewline >= 0) {
            strReady_ = QString::fromUtf8(baPending.left(nNewline));
            if (baPending.startsWith("ready "))
                return true;
            error = QStringLiteral("unexpected first line: ") + strReady_;
            return false;
        }
        if (process_.state() == QProcess::NotRunning) {
            error = QStringLiteral("emulator exited before ready (code %1)").arg(process_.exitCode());
            return false;
        }
    }
    error = QStringLiteral("emulator not ready within 120 s");
    return false;
}

int Fleet::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    process_.terminate();
    if (!process_.waitForFinished(30000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QByteArray Fleet::logTail(int nBytes) const
{
    QFile log(strLog_);
    return log.open(QIODevice::ReadOnly) ? log.readAll().right(nBytes) : QByteArray();
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
    QByteArray baText(kMarker);
    baText += "[themes]\nSolution=\n\n[UpgradeInfo]\nModifyIP=0\n\n[Mic]\nOnlyRecv=0\n\n"
              "[Network]\nBroadcast=127.255.255.255\nAddressCheck=device\nInterface=\nLoopbackOnly=1\n"
              "DiscoveryPort=" +
              baPort + "\n";
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
