// Several threads use the library at once, each on its own camera, logging in, writing and reading
// back records only they write. (Threads sharing one login: tst_netsdk_session.)

#include <atomic>
#include <thread>
#include <vector>

#include <QJsonObject>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 20;

struct Outcome
{
    int good = 0;
    QString failure; ///< first failure, empty when none
    QByteArray last; ///< last record written
};

/// One thread's work: log in, read, write a record only this thread makes, read it back, log out.
void work(const QString& address, int thread, Outcome* outcome)
{
    for (int round = 0; round < kRounds; ++round) {
        int error = 0;
        const long login = loginTo(address, QString(), &error);
        if (login <= 0) {
            outcome->failure = QStringLiteral("round %1: login %2").arg(round).arg(error);
            return;
        }
        QByteArray buffer(4096, '\0');
        unsigned long size = 0;
        if (sdkGetConfig(login, 41, -1, buffer.data(), (unsigned long)buffer.size(), &size, 5000) <= 0 || size < 8) {
            outcome->failure = QStringLiteral("round %1: read %2").arg(round).arg(sdkGetLastError());
            sdkLogout(login);
            return;
        }
        buffer.truncate(int(size));
        // The tail carries the thread and the round, so a record of another camera shows.
        buffer[buffer.size() - 1] = char(thread);
        buffer[buffer.size() - 2] = char(round);
        buffer[buffer.size() - 3] = char(0xC0 | thread);
        const long written = sdkSetConfig(login, 41, -1, buffer.data(), (unsigned long)buffer.size(), 5000);
        QByteArray back(4096, '\0');
        unsigned long backSize = 0;
        const long read = sdkGetConfig(login, 41, -1, back.data(), (unsigned long)back.size(), &backSize, 5000);
        sdkLogout(login);
        back.truncate(int(qMin<unsigned long>(backSize, 4096)));
        if (written != 1 || read <= 0 || back != buffer) {
            outcome->failure = QStringLiteral("round %1: write %2, read %3, same %4")
                                   .arg(round)
                                   .arg(written)
                                   .arg(read)
                                   .arg(back == buffer);
            return;
        }
        outcome->last = buffer;
        ++outcome->good;
    }
}

} // namespace

class TestConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eightThreadsEachOnItsCamera();
};

void TestConcurrency::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
}

void TestConcurrency::cleanupTestCase()
{
    sdkCleanup();
}

void TestConcurrency::eightThreadsEachOnItsCamera()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QString::number(kThreads)}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());

    std::vector<Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(work, emulator.address(i), i, &outcomes[std::size_t(i)]);
    for (std::thread& thread : threads)
        thread.join();

    for (int i = 0; i < kThreads; ++i) {
        const Outcome& outcome = outcomes[std::size_t(i)];
        QVERIFY2(outcome.failure.isEmpty(), qPrintable(QStringLiteral("thread %1: %2").arg(i).arg(outcome.failure)));
        QCOMPARE(outcome.good, kRounds);
        // Each camera holds exactly what its own thread wrote last.
        QCOMPARE(emulator.record(i, 41, -1), outcome.last);
        QCOMPARE(emulator.camera(i).value(QStringLiteral("Logins")).toInt(), kRounds);
        QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(i).value(QStringLiteral("Sessions")).toInt(-1), 0, 5000);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
