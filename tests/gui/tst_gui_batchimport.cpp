// Import of a configuration file into a logged-in camera through the window's ImportDevConfig:
// what reaches the camera (read back from the emulator's state file), the row texts by answer,
// and the files that send nothing.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

class TestGuiBatchImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void importSendsTheFileAndReportsTheAnswer();
    void filesThatSendNothing();

private:
    /// The bytes of the last import that camera nCamera stored (empty when none).
    QByteArray storedImport(int nCamera);
    QString writeFile(const QString& strName, const QByteArray& baData);
    void chooseConfigFile(const QString& strPath);
    int cameraOfRow(int nRow) { return guitest::cameraOfRow(*pWindow, emulator, nRow); }
    QString rowText(int nRow) { return guitest::cell(*pWindow, nRow, guitest::kStatusColumn); }

    QTemporaryDir dirState;
    QTemporaryDir dirFiles;
    EmulatorProcess emulator;
    std::unique_ptr<CVantrel> pWindow;
};

void TestGuiBatchImport::initTestCase()
{
    QVERIFY(dirState.isValid() && dirFiles.isValid());
    QVERIFY(guitest::startEmulator(emulator, {"--count", "2", "--models", "IPC-A", "--state-dir", dirState.path()}));
    pWindow = guitest::searchedWindow(2);
    QVERIFY(pWindow);
}

void TestGuiBatchImport::cleanupTestCase()
{
    pWindow.reset();
    QVERIFY(guitest::stopEmulator(emulator));
}

QByteArray TestGuiBatchImport::storedImport(int nCamera)
{
    QFile file(dirState.filePath(emulator.mac(nCamera).remove(QLatin1Char(':')) + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QJsonArray lstRecords = QJsonDocument::fromJson(file.readAll())
                                      .object()
                                      .value(QStringLiteral("Records"))
                                      .toObject()
                                      .value(QStringLiteral("Records"))
                                      .toArray();
    for (const QJsonValue& value : lstRecords) {
        const QJsonObject rec = value.toObject();
        if (rec.value(QStringLiteral("Command")).toInt() == 52)
            return QByteArray::fromBase64(rec.value(QStringLiteral("Data")).toString().toLatin1());
    }
    return QByteArray();
}

QString TestGuiBatchImport::writeFile(const QString& strName, const QByteArray& baData)
{
    const QString strPath = dirFiles.filePath(strName);
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(baData) != baData.size())
        return QString();
    return strPath;
}

void TestGuiBatchImport::chooseConfigFile(const QString& strPath)
{
    // The path is taken from the (hidden) configuration-file row when Upgrade is pressed, before
    // the package is opened (this one does not exist).
    guitest::ModalAnswerer answerer;
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditCfg"))->setText(strPath);
    pWindow->findChild<QLineEdit*>(QStringLiteral("lineEditFileName"))->setText(QStringLiteral("unused.bin"));
    guitest::click(*pWindow, "upgradeBtn");
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|UnZip Program Fail")});
    QCOMPARE(pWindow->configFilePath(), strPath);
}

void TestGuiBatchImport::importSendsTheFileAndReportsTheAnswer()
{
    pWindow->on_tableView_doubleClicked(pWindow->tableModel()->index(0, 0));
    const long lLogin = pWindow->getDevInfo(0)->lLoginID;
    QVERIFY(lLogin > 0);
    const int nCam = cameraOfRow(0);

    // 300 bytes (two reads of the file) arrive as one 300-byte record.
    QByteArray baFile;
    for (int i = 0; i < 300; ++i)
        baFile.append(char('A' + i % 26));
    chooseConfigFile(writeFile(QStringLiteral("a.cfg"), baFile));
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 0), 1);
    QCOMPARE(rowText(0), QStringLiteral("ImportConfigSuccess"));
    QTRY_COMPARE(storedImport(nCam), baFile);

    // A device that applies it after a reboot: still a success.
    QVERIFY(emulator.setFault(nCam, QJsonObject{{"RebootNeeded", true}}));
    const QByteArray baSecond(1000, 'x');
    chooseConfigFile(writeFile(QStringLiteral("b.cfg"), baSecond));
    pWindow->onUpdateTableInfo(0, 3, QString());
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 0), -11401);
    QCOMPARE(rowText(0), QStringLiteral("ImportConfigSuccess"));

    // A refused write and a time-out are failures.
    QVERIFY(emulator.setFault(nCam, QJsonObject{{"RebootNeeded", false}, {"FailWrites", true}}));
    pWindow->onUpdateTableInfo(0, 3, QString());
    QVERIFY(pWindow->ImportDevConfig(lLogin, 0) < 0);
    QCOMPARE(rowText(0), QStringLiteral("ImportConfigFailed"));
    QVERIFY(emulator.setFault(nCam, QJsonObject{{"FailWrites", false}, {"Silent", true}}));
    pWindow->onUpdateTableInfo(0, 3, QString());
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 0), -10005);
    QCOMPARE(rowText(0), QStringLiteral("ImportConfigFailed"));
    QVERIFY(emulator.setFault(nCam, QJsonObject{{"Silent", false}}));
}

void TestGuiBatchImport::filesThatSendNothing()
{
    pWindow->on_tableView_doubleClicked(pWindow->tableModel()->index(1, 0));
    const long lLogin = pWindow->getDevInfo(1)->lLoginID;
    QVERIFY(lLogin > 0);
    const int nCam = cameraOfRow(1);
    pWindow->onUpdateTableInfo(1, 3, QStringLiteral("before"));

    // No path (the row stays hidden in normal use): nothing to do.
    chooseConfigFile(QString());
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 1), 0);
    // An empty file: nothing sent, no text.
    chooseConfigFile(writeFile(QStringLiteral("empty.cfg"), QByteArray()));
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 1), 0);
    QCOMPARE(rowText(1), QStringLiteral("before"));
    // A file that cannot be opened: -1, no text.
    chooseConfigFile(dirFiles.filePath(QStringLiteral("missing.cfg")));
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 1), -1);
    QCOMPARE(rowText(1), QStringLiteral("before"));
    // Larger than the device takes: refused with its text, nothing sent.
    chooseConfigFile(writeFile(QStringLiteral("big.cfg"), QByteArray(200 * 1024, 'b')));
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 1), -1);
    QCOMPARE(rowText(1), QStringLiteral("ImportConfigFailed: file larger than 128 KiB"));
    // Exactly 128 KiB still goes.
    const QByteArray baLimit(131072, 'L');
    chooseConfigFile(writeFile(QStringLiteral("limit.cfg"), baLimit));
    QCOMPARE(storedImport(nCam), QByteArray());
    QCOMPARE(pWindow->ImportDevConfig(lLogin, 1), 1);
    QTRY_COMPARE(storedImport(nCam), baLimit);
}

QTEST_MAIN(TestGuiBatchImport)
#include "tst_gui_batchimport.moc"
