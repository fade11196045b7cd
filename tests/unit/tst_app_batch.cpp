// The widget-free rules of the batch that no emulated camera shows: a time-out counts as a done
// reset (the device may already be resetting), and a configuration file is read within its bound.
// The commands' texts and records are checked against the emulator (tst_batchrunner, tst_gui_batch).
#include <QTemporaryDir>
#include <QtTest>

#include "batch/BatchTexts.h"

class TestAppBatch : public QObject
{
    Q_OBJECT

private slots:
    void timeOutCountsAsDone();
    void configFileReading();
};

void TestAppBatch::timeOutCountsAsDone()
{
    // -10005: the library's time-out.
    QCOMPARE(resetResultText(-10005), resetResultText(1));
    QVERIFY(resetResultText(-11300) != resetResultText(1));
    QVERIFY(isDealSuccess(-10005));
    QVERIFY(!isDealSuccess(-1));
}

void TestAppBatch::configFileReading()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto write = [&dir](const QString& strName, const QByteArray& ba) {
        QFile file(dir.filePath(strName));
        return file.open(QIODevice::WriteOnly) && file.write(ba) == ba.size() ? file.fileName() : QString();
    };
    QByteArray baData("stale");
    int nChunks = -1;
    QCOMPARE(readConfigFile(dir.filePath("none.cfg"), &baData, &nChunks), ConfigFileRead::Unopenable);
    QVERIFY(baData.isEmpty());
    QCOMPARE(readConfigFile(write("empty.cfg", QByteArray()), &baData, &nChunks), ConfigFileRead::Empty);
    QCOMPARE(nChunks, 0);
    // Exactly the limit is read whole, in chunks; one byte more is refused and nothing is kept.
    const QByteArray baLimit(kImportMaxBytes, 'x');
    QCOMPARE(readConfigFile(write("limit.cfg", baLimit), &baData, &nChunks), ConfigFileRead::Ok);
    QCOMPARE(baData, baLimit);
    QCOMPARE(nChunks, (kImportMaxBytes + kImportChunkBytes - 1) / kImportChunkBytes);
    QCOMPARE(readConfigFile(write("over.cfg", baLimit + 'y'), &baData, &nChunks), ConfigFileRead::TooLarge);
    QVERIFY(baData.isEmpty());
}

QTEST_GUILESS_MAIN(TestAppBatch)
#include "tst_app_batch.moc"
