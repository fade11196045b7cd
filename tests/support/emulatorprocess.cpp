#include "emulatorprocess.h"

#include <atomic>
#include <csignal>

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUdpSocket>

#include "netsdk/netsdk.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

namespace {

// Successive emulators of one test executable get neighbouring ranges, so a camera of a stopped
// fleet can never be mistaken for one of the next.
std::atomic<int> startCounter{0};

} // namespace

quint16 freeUdpPort()
{
    // The cameras bind 0.0.0.0 for discovery: the port must be free there, not only on loopback.
    QUdpSocket socket;
    return socket.bind(QHostAddress::AnyIPv4, 0) ? socket.localPort() : 0;
}

QString dottedText(const unsigned char* bytes)
{
    return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

EmulatorProcess::EmulatorProcess() : program_(qEnvironmentVariable("VANTREL_CAMSIM"))
{
    const qint64 pid = QCoreApplication::applicationPid();
    const int counter = startCounter.fetch_add(1);
    // 127.<20..219>.<third>.1: the second byte and the third byte's base come from the process id,
    // the counter moves successive fleets of one process two third-byte steps apart (a fleet of up
    // to 510 cameras fits in two steps). The whole range stays inside 127.0.0.0/8.
    const quint32 second = 20 + quint32(pid % 200);
    const quint32 third = quint32((pid / 200) % 40) * 6 + quint32(counter % 3) * 2;
    firstAddress_ = (127u << 24) | (second << 16) | (third << 8) | 1u;
    fleetId_ = int((pid * 7 + counter) % 256);
}

EmulatorProcess::~EmulatorProcess()
{
    if (isRunning())
        stop(5000);
}

QString EmulatorProcess::firstAddress() const
{
    return rangeAddress(0);
}

QString EmulatorProcess::rangeAddress(int offset) const
{
    const quint32 address = firstAddress_ + quint32(offset);
    Q_ASSERT((address >> 24) == 127u);
    return QHostAddress(address).toString();
}

QString EmulatorProcess::mac(int index) const
{
    return QStringLiteral("02:56:54:%1:%2:%3")
        .arg(fleetId_, 2, 16, QLatin1Char('0'))
        .arg((index >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(index & 0xFF, 2, 16, QLatin1Char('0'));
}

bool EmulatorProcess::start(const QStringList& arguments, int readyTimeoutMs)
{
    arguments_ = arguments;
    if (!arguments_.contains(QStringLiteral("--discovery-port"))) {
        discoveryPort_ = freeUdpPort();
        if (discoveryPort_ == 0) {
            error_ = QStringLiteral("no free UDP port");
            return false;
        }
        arguments_ << QStringLiteral("--discovery-port") << QString::number(discoveryPort_);
    }
    if (!arguments_.contains(QStringLiteral("--first-address")))
        arguments_ << QStringLiteral("--first-address") << firstAddress();
    if (!arguments_.contains(QStringLiteral("--fleet-id")))
        arguments_ << QStringLiteral("--fleet-id") << QString::number(fleetId_);
    return launch(readyTimeoutMs);
}

bool EmulatorProcess::restart(int readyTimeoutMs)
{
    if (isRunning() && !stop())
        return false;
    return launch(readyTimeoutMs);
}

bool EmulatorProcess::launch(int readyTimeoutMs)
{
    error_.clear();
    readyLine_.clear();
    addresses_.clear();
    cameraCount_ = 0;
    controlPort_ = 0;
    controlSocket_.abort();
    pending_.clear();

    if (program_.isEmpty()) {
        error_ = QStringLiteral("VANTREL_CAMSIM is not set");
        return false;
    }
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VANTREL_LOOPBACK_ONLY"), QStringLiteral("1"));
    process_->setProcessEnvironment(environment);
    // A test or benchmark that crashes must not leave its fleet holding addresses and ports.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // Diagnostics go to a file: a pipe nobody reads while the test blocks in a library call would
    // fill up and stall the emulator.
    process_->setStandardErrorFile(logPath(), QIODevice::Append);
    process_->setReadChannel(QProcess::StandardOutput);
    process_->start(program_, arguments_);
    if (!process_->waitForStarted(5000)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(program_, process_->errorString());
        return false;
    }

    // The first line on standard output: "ready control=127.0.0.1:<port> discovery=<port>
    // cameras=<n> addresses=<a,b,...>", possibly followed by more fields.
    QDeadlineTimer deadline(readyTimeoutMs);
    while (!process_->canReadLine() && process_->state() == QProcess::Running && !deadline.hasExpired())
        process_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    readyLine_ = QString::fromUtf8(process_->readLine().trimmed());
    static const QRegularExpression reReady(
        QStringLiteral("^ready control=127\\.0\\.0\\.1:(\\d+) discovery=(\\d+) cameras=(\\d+) addresses=(\\S*)"));
    const QRegularExpressionMatch match = reReady.match(readyLine_);
    if (!match.hasMatch()) {
        error_ = QStringLiteral("no ready line (state %1, exit code %2): '%3' %4")
                     .arg(int(process_->state()))
                     .arg(process_->exitCode())
                     .arg(readyLine_, diagnostics().right(2000));
        stop(2000);
        return false;
    }
    controlPort_ = quint16(match.captured(1).toUInt());
    discoveryPort_ = quint16(match.captured(2).toUInt());
    cameraCount_ = match.captured(3).toInt();
    addresses_ = match.captured(4).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (controlPort_ != 0 && discoveryPort_ != 0 && addresses_.size() == cameraCount_)
        return true;
    error_ = QStringLiteral("unexpected ready line: ") + readyLine_;
    stop(2000);
    return false;
}

bool EmulatorProcess::stop(int timeoutMs)
{
    controlSocket_.abort();
    if (!process_)
        return true;
    // SIGTERM, and SIGKILL when that is not answered in time (which makes the exit unclean).
    const bool running = process_->state() != QProcess::NotRunning;
    if (running && (process_->terminate(), !process_->waitForFinished(timeoutMs))) {
        process_->kill();
        process_->waitForFinished(5000);
    }
    const bool clean = process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
    if (!clean)
        error_ = QStringLiteral("emulator %1 with status %2, code %3: %4")
                     .arg(running ? QStringLiteral("stopped") : QStringLiteral("ended on its own"))
                     .arg(int(process_->exitStatus()))
                     .arg(process_->exitCode())
                     .arg(diagnostics().right(2000));
    process_.reset();
    return clean;
}

bool EmulatorProcess::isRunning() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

QString EmulatorProcess::logPath() const
{
    return logFile_.isEmpty() ? logDir_.filePath(QStringLiteral("camsim.log")) : logFile_;
}

QString EmulatorProcess::diagnostics() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QJsonObject EmulatorProcess::control(const QJsonObject& request, int timeoutMs)
{
    auto failure = [](const QString& text) {
        return QJsonObject{{QStringLiteral("Ret"), -1}, {QStringLiteral("Error"), text}};
    };
    QDeadlineTimer deadline(timeoutMs);
    if (controlSocket_.state() != QAbstractSocket::ConnectedState) {
        controlSocket_.abort();
        pending_.clear();
        controlSocket_.connectToHost(QHostAddress::LocalHost, controlPort_);
        if (controlPort_ == 0 || !controlSocket_.waitForConnected(timeoutMs))
            return failure(QStringLiteral("no control connection"));
    }

    const QByteArray json = QJsonDocument(request).toJson(QJsonDocument::Compact);
    protocol::FrameHeader header;
    header.sequence = ++sequence_;
    header.messageId = protocol::MsgEmuControl;
    const std::vector<std::uint8_t> frame = protocol::encodeFrame(
        header, reinterpret_cast<const std::uint8_t*>(json.constData()), std::size_t(json.size()));
    controlSocket_.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    if (!controlSocket_.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return failure(QStringLiteral("control request not sent"));

    for (;;) {
        const protocol::ParseResult parsed = protocol::parseFrame(
            reinterpret_cast<const std::uint8_t*>(pending_.constData()), std::size_t(pending_.size()));
        if (parsed.status == protocol::ParseStatus::Bad) {
            controlSocket_.abort();
            pending_.clear();
            return failure(QStringLiteral("bad control answer frame (reason %1)").arg(int(parsed.reason)));
        }
        if (parsed.status == protocol::ParseStatus::Ok) {
            pending_.remove(0, int(parsed.used));
            if (parsed.frame.header.messageId != protocol::MsgEmuControlAnswer)
                return failure(QStringLiteral("unexpected message %1").arg(parsed.frame.header.messageId));
            if (parsed.frame.header.sequence != header.sequence)
                continue; // a late answer to an earlier request that timed out
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(
                QByteArray(reinterpret_cast<const char*>(parsed.frame.body.data()), int(parsed.frame.body.size())),
                &error);
            if (error.error != QJsonParseError::NoError || !document.isObject())
                return failure(QStringLiteral("control answer is not a JSON object"));
            return document.object();
        }
        if (deadline.hasExpired() || controlSocket_.state() != QAbstractSocket::ConnectedState)
            return failure(QStringLiteral("no control answer"));
        if (controlSocket_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            pending_.append(controlSocket_.readAll());
    }
}

QJsonArray EmulatorProcess::cameras()
{
    // Without a "Cameras" member (a failed exchange) the array is empty.
    return control(QJsonObject{{QStringLiteral("Cmd"), QStringLiteral("list")}})
        .value(QStringLiteral("Cameras"))
        .toArray();
}

QJsonObject EmulatorProcess::camera(int index)
{
    for (const QJsonValue& value : cameras())
        if (value.toObject().value(QStringLiteral("Index")).toInt(-1) == index)
            return value.toObject();
    return QJsonObject();
}

bool EmulatorProcess::command(const QString& name, int index, QJsonObject request)
{
    request.insert(QStringLiteral("Cmd"), name);
    request.insert(QStringLiteral("Index"), index);
    return control(request).value(QStringLiteral("Ret")).toInt() == 100;
}

QByteArray EmulatorProcess::record(int index, int command, int channel, int* ret)
{
    const QJsonObject answer = control(QJsonObject{{QStringLiteral("Cmd"), QStringLiteral("record")},
                                                   {QStringLiteral("Index"), index},
                                                   {QStringLiteral("Command"), command},
                                                   {QStringLiteral("Channel"), channel}});
    if (ret)
        *ret = answer.value(QStringLiteral("Ret")).toInt(-1);
    return QByteArray::fromBase64(answer.value(QStringLiteral("Data")).toString().toLatin1());
}

QJsonObject EmulatorProcess::json(int index, const QString& name, int command, int channel)
{
    const QJsonObject answer = control(QJsonObject{{QStringLiteral("Cmd"), QStringLiteral("json")},
                                                   {QStringLiteral("Index"), index},
                                                   {QStringLiteral("Name"), name},
                                                   {QStringLiteral("Command"), command},
                                                   {QStringLiteral("Channel"), channel}});
    return answer.value(QStringLiteral("Reply")).toObject(); // only in an answer with Ret 100
}

bool EmulatorProcess::configureLibrary() const
{
    return sdkSetNetOptions("127.255.255.255", discoveryPort_, 1) > 0;
}

QByteArray configIniText(quint16 discoveryPort, const ConfigKeys& extra)
{
    // Groups in the order they first appear, Network first.
    QStringList groups{QStringLiteral("Network")};
    QHash<QString, QString> lines;
    lines[QStringLiteral("Network")] =
        QStringLiteral("Broadcast=127.255.255.255\nAddressCheck=device\nLoopbackOnly=1\n");
    if (discoveryPort != 0)
        lines[QStringLiteral("Network")] += QStringLiteral("DiscoveryPort=%1\n").arg(discoveryPort);
    for (const auto& key : extra) {
        const QString group = key.first.section(QLatin1Char('/'), 0, 0);
        const QString name = key.first.section(QLatin1Char('/'), 1);
        if (name.isEmpty()) {
            qWarning("configIniText: '%s' is not Group/Key", qPrintable(key.first));
            return QByteArray();
        }
        if (!groups.contains(group))
            groups << group;
        lines[group] += name + QLatin1Char('=') + key.second + QLatin1Char('\n');
    }
    QString text;
    for (const QString& group : groups)
        text += QLatin1Char('[') + group + QStringLiteral("]\n") + lines.value(group);
    return text.toUtf8();
}
