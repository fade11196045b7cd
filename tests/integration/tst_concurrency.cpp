// Several threads use the library at once, each on its own camera; a camera that dies under a
// call in flight fails that call within its time-out and leaves the others working.

#include <atomic>
#include <thread>
#include <vector>

#include <QElapsedTimer>
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
    void cameraKilledUnderACallInFlight();
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

void TestConcurrency::cameraKilledUnderACallInFlight()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("3")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long doomed = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(doomed > 0, qPrintable(QString::number(error)));
    const long other = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(other > 0, qPrintable(QString::number(error)));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 4000}}));

    constexpr int kWaitMs = 6000;
    std::atomic<bool> done{false};
    long result = 1;
    long lastError = 0;
    qint64 elapsed = 0;
    std::thread caller([&] {
        QElapsedTimer timer;
        timer.start();
        QByteArray buffer(4096, '\0');
        unsigned long size = 0;
        result = sdkGetConfig(doomed, 41, -1, buffer.data(), (unsigned long)buffer.size(), &size, kWaitMs);
        lastError = sdkGetLastError();
        elapsed = timer.elapsed();
        done = true;
    });
    QVERIFY(emulator.kill(0));
    QVERIFY(emulator.camera(0).value(QStringLiteral("Dead")).toBool());

    // Meanwhile the other camera answers as usual.
    QByteArray buffer(4096, '\0');
    unsigned long size = 0;
    QVERIFY(sdkGetConfig(other, 41, -1, buffer.data(), (unsigned long)buffer.size(), &size, 3000) > 0);

    QTRY_VERIFY_WITH_TIMEOUT(done.load(), kWaitMs + 4000);
    caller.join();
    QVERIFY2(result <= 0, qPrintable(QString::number(result)));
    QVERIFY2(lastError < 0, qPrintable(QString::number(lastError)));
    QVERIFY2(elapsed < kWaitMs + 2000, qPrintable(QString::number(elapsed)));

    // Dead: no login, no search answer.
    QCOMPARE(loginTo(emulator.address(0), QString(), &error), 0l);
    QVERIFY(searchRecordOf(emulator.mac(0), 500).isEmpty());
    QVERIFY(!searchRecordOf(emulator.mac(2), 500).isEmpty());

    QVERIFY(emulator.revive(0));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("LatencyMs"), 0}}));
    const long again = loginWithin(emulator.address(0), QString(), &error, 5000);
    QVERIFY2(again > 0, qPrintable(QString::number(error)));
    sdkLogout(again);
    sdkLogout(doomed);
    sdkLogout(other);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
