// Scanning the device's upgrade-progress blocks: frames of other identifiers, garbage and the
// filler byte between frames, every kind of "Ret", and frames cut off by the end of the received
// data (each scanned from a buffer of exactly the received size, so a read past it is caught by
// the address sanitizer build).
#include <cstring>
#include <vector>

#include <QRandomGenerator>
#include <QtTest>

#include "upgrade/UpgradeStatus.h"

namespace {

QByteArray frame(quint16 nId, const QByteArray& baBody, quint32 nDeclared)
{
    QByteArray ba(kStatusHeaderBytes, 0);
    ba[0] = char(0xFF);
    ba[1] = 1;
    ba[14] = char(nId & 0xFF);
    ba[15] = char(nId >> 8);
    for (int i = 0; i < 4; ++i)
        ba[16 + i] = char((nDeclared >> (8 * i)) & 0xFF);
    return ba + baBody;
}

QByteArray frame(quint16 nId, const QByteArray& baBody)
{
    return frame(nId, baBody, quint32(baBody.size()));
}

QByteArray progressBody(const QByteArray& baRet)
{
    return "{ \"Name\" : \"OPSystemUpgrade\", \"Ret\" : " + baRet + ", \"Type\" : \"UpgradeProcess\" }";
}

QByteArray progress(int nRet)
{
    return frame(kMsgUpgradeProgress, progressBody(QByteArray::number(nRet)));
}

/// Scans a copy held in a heap block of exactly the data's size.
UpgradeScan scanExact(const QByteArray& ba)
{
    std::vector<char> block(ba.constData(), ba.constData() + ba.size());
    return scanUpgradeStatus(block.data(), int(block.size()));
}

} // namespace

class TestAppUpgradeStatus : public QObject
{
    Q_OBJECT

private slots:
    void progressAfterOtherFrames();
    void retValues_data();
    void retValues();
    void endResultStopsTheScan();
    void fillerEndsTheScan();
    void cutOffFrames();
    void oversizedBody();
    void onlyOneReceiveIsScanned();
    void restCarriesOverToTheNextBlock();
    void randomBlocksStayInside();
};

void TestAppUpgradeStatus::progressAfterOtherFrames()
{
    // A frame of another identifier carries a body that would read as progress: it is passed over.
    const QByteArray baBlock = QByteArray("\x01\x02 noise ") + frame(1000, progressBody("77")) + frame(1525, "{}") +
                               QByteArray("\x00\x13", 2) + progress(42) + progress(43);
    const UpgradeScan scan = scanExact(baBlock);
    QCOMPARE(scan.lstProgress, QList<int>({42, 43}));
    QCOMPARE(scan.state, UpgradeScan::Undecided);
    QCOMPARE(scan.stop, UpgradeScan::End);
    QCOMPARE(scan.nFrames, 4);
    QCOMPARE(scan.nUsed, baBlock.size());

    // An empty body and a body with a zero byte inside (the text ends there).
    const QByteArray baZero = frame(kMsgUpgradeProgress, progressBody("9") + QByteArray("\0{\"Ret\":", 8));
    const UpgradeScan scan2 = scanExact(frame(kMsgUpgradeProgress, QByteArray()) + baZero);
    QCOMPARE(scan2.lstProgress, QList<int>({9}));
    QCOMPARE(scan2.nFrames, 2);
}

void TestAppUpgradeStatus::retValues_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("parsed");
    QTest::addColumn<int>("progress"); // -1: no progress value
    QTest::addColumn<int>("state");
    QTest::newRow("0") << progressBody("0") << 0 << 0 << int(UpgradeScan::Undecided);
    QTest::newRow("57") << progressBody("57") << 57 << 57 << int(UpgradeScan::Undecided);
    QTest::newRow("100") << progressBody("100") << 100 << 100 << int(UpgradeScan::Undecided);
    QTest::newRow("101") << progressBody("101") << 101 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("513") << progressBody("513") << 513 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("514 failure") << progressBody("514") << 514 << -1 << int(UpgradeScan::Failure);
    QTest::newRow("515 success") << progressBody("515") << 515 << -1 << int(UpgradeScan::Success);
    QTest::newRow("516") << progressBody("516") << 516 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("negative") << progressBody("-1") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("above int") << progressBody("4294967295") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("text") << progressBody("\"50\"") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("bool") << progressBody("true") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("whole double") << progressBody("50.0") << 50 << 50 << int(UpgradeScan::Undecided);
    QTest::newRow("fraction") << progressBody("50.5") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("no Ret") << QByteArray("{\"Name\":\"OPSystemUpgrade\",\"Type\":\"UpgradeProcess\"}") << -1 << -1
                            << int(UpgradeScan::Undecided);
    QTest::newRow("other name") << QByteArray("{\"Name\":\"OPSystemUpgrad\",\"Type\":\"UpgradeProcess\",\"Ret\":515}")
                                << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("other type") << QByteArray("{\"Name\":\"OPSystemUpgrade\",\"Type\":\"Upgrade\",\"Ret\":515}") << -1
                                << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("name not text") << QByteArray("{\"Name\":[1],\"Type\":\"UpgradeProcess\",\"Ret\":515}") << -1 << -1
                                   << int(UpgradeScan::Undecided);
    QTest::newRow("array") << QByteArray("[\"OPSystemUpgrade\",\"UpgradeProcess\",515]") << -1 << -1
                           << int(UpgradeScan::Undecided);
    QTest::newRow("not json") << QByteArray("Ret=515") << -1 << -1 << int(UpgradeScan::Undecided);
    QTest::newRow("cut json") << progressBody("515").left(30) << -1 << -1 << int(UpgradeScan::Undecided);
}

void TestAppUpgradeStatus::retValues()
{
    QFETCH(QByteArray, body);
    QFETCH(int, parsed);
    QFETCH(int, progress);
    QFETCH(int, state);
    QCOMPARE(parseUpgradeStatus(body), parsed);
    const UpgradeScan scan = scanExact(frame(kMsgUpgradeProgress, body));
    QCOMPARE(scan.lstProgress, progress < 0 ? QList<int>() : QList<int>({progress}));
    QCOMPARE(int(scan.state), state);
    QCOMPARE(scan.nFrames, 1);
}

void TestAppUpgradeStatus::endResultStopsTheScan()
{
    const QByteArray baHead = progress(99) + progress(515);
    const UpgradeScan scan = scanExact(baHead + progress(7) + progress(514));
    QCOMPARE(scan.state, UpgradeScan::Success);
    QCOMPARE(scan.lstProgress, QList<int>({99}));
    QCOMPARE(scan.nUsed, baHead.size());

    const UpgradeScan failed = scanExact(progress(514) + progress(515));
    QCOMPARE(failed.state, UpgradeScan::Failure);
    QCOMPARE(failed.nFrames, 1);
}

void TestAppUpgradeStatus::fillerEndsTheScan()
{
    const QByteArray baFirst = progress(10);
    const UpgradeScan scan = scanExact(baFirst + QByteArray(1, kStatusFiller) + progress(20) + progress(515));
    QCOMPARE(scan.lstProgress, QList<int>({10}));
    QCOMPARE(scan.state, UpgradeScan::Undecided);
    QCOMPARE(scan.nUsed, baFirst.size());

    // The receive connection's own buffer: 2049 filler bytes, a receive of a few bytes at the front.
    std::vector<char> buffer(kStatusReceiveBytes + 1, kStatusFiller);
    const QByteArray baReceived = progress(30) + progress(31);
    std::copy(baReceived.begin(), baReceived.end(), buffer.begin());
    const UpgradeScan whole = scanUpgradeStatus(buffer.data(), kStatusReceiveBytes);
    QCOMPARE(whole.lstProgress, QList<int>({30, 31}));
    QCOMPARE(whole.nUsed, baReceived.size());

    QCOMPARE(scanUpgradeStatus(buffer.data(), 0).nFrames, 0);
    QCOMPARE(scanUpgradeStatus(buffer.data(), -1).nUsed, 0);
}

void TestAppUpgradeStatus::cutOffFrames()
{
    const QByteArray baFirst = progress(5);
    const QByteArray baWhole = progress(6);
    // Every cut through the second frame: its header or body is missing, so it is not read.
    for (int nCut = 1; nCut < baWhole.size(); ++nCut) {
        const UpgradeScan scan = scanExact(baFirst + baWhole.left(nCut));
        QCOMPARE(scan.lstProgress, QList<int>({5}));
        QCOMPARE(scan.stop, UpgradeScan::Incomplete);
        QCOMPARE(scan.nUsed, baFirst.size());
        QCOMPARE(scan.nFrames, 1);
    }
    // A body length past the data: the bytes that are there are not taken for the body.
    const QByteArray baBody = progressBody("515");
    const UpgradeScan scan = scanExact(frame(kMsgUpgradeProgress, baBody, quint32(baBody.size() + 200)));
    QCOMPARE(scan.state, UpgradeScan::Undecided);
    QCOMPARE(scan.stop, UpgradeScan::Incomplete);
    QCOMPARE(scan.nUsed, 0);
    QCOMPARE(scan.nFrames, 0);
}

void TestAppUpgradeStatus::oversizedBody()
{
    for (quint32 nDeclared : {quint32(kStatusReceiveBytes - kStatusHeaderBytes + 1), quint32(0x7FFFFFFF),
                              quint32(0x80000000), quint32(0xFFFFFFFF)}) {
        const UpgradeScan scan = scanExact(progress(1) + frame(kMsgUpgradeProgress, progressBody("2"), nDeclared));
        QCOMPARE(scan.stop, UpgradeScan::Oversized);
        QCOMPARE(scan.lstProgress, QList<int>({1}));
    }
    // The largest body one receive can hold is still read.
    QByteArray baBody = progressBody("88");
    baBody += QByteArray(kStatusReceiveBytes - kStatusHeaderBytes - baBody.size(), ' ');
    const UpgradeScan scan = scanExact(frame(kMsgUpgradeProgress, baBody));
    QCOMPARE(scan.lstProgress, QList<int>({88}));
    QCOMPARE(scan.nUsed, kStatusReceiveBytes);
}

void TestAppUpgradeStatus::onlyOneReceiveIsScanned()
{
    // Whatever lies past one receive's worth of bytes is not looked at.
    QByteArray baBlock;
    while (baBlock.size() + progress(1).size() <= kStatusReceiveBytes)
        baBlock += progress(1);
    const int nWhole = baBlock.size() / progress(1).size();
    baBlock += QByteArray(kStatusReceiveBytes - baBlock.size(), 'z');
    baBlock += progress(515);
    const UpgradeScan scan = scanExact(baBlock);
    QCOMPARE(scan.lstProgress.size(), nWhole);
    QCOMPARE(scan.state, UpgradeScan::Undecided);
    QCOMPARE(scan.nUsed, kStatusReceiveBytes);
}

void TestAppUpgradeStatus::restCarriesOverToTheNextBlock()
{
    // Feeds the stream to a reader in the given pieces; the progress seen and the end state.
    const auto feed = [](const QList<QByteArray>& lstPieces, UpgradeScan::State* pState) {
        CUpgradeStatusReader reader;
        QList<int> lstSeen;
        *pState = UpgradeScan::Undecided;
        for (const QByteArray& baPiece : lstPieces) {
            for (int nDone = 0; nDone < baPiece.size();) {
                const int nCopy = qMin(reader.receiveRoom(), int(baPiece.size()) - nDone);
                std::memcpy(reader.receiveBuffer(), baPiece.constData() + nDone, size_t(nCopy));
                nDone += nCopy;
                const UpgradeScan scan = reader.consume(nCopy);
                lstSeen += scan.lstProgress;
                if (scan.state != UpgradeScan::Undecided)
                    *pState = scan.state;
            }
        }
        return lstSeen;
    };

    // A frame cut anywhere, in the header or the body, is completed by the next receive.
    const QByteArray baStream = progress(11) + progress(12) + progress(515);
    UpgradeScan::State state = UpgradeScan::Undecided;
    for (int nSplit = 1; nSplit < baStream.size(); ++nSplit) {
        QCOMPARE(feed({baStream.left(nSplit), baStream.mid(nSplit)}, &state), QList<int>({11, 12}));
        QCOMPARE(state, UpgradeScan::Success);
    }
    // One byte per receive.
    QList<QByteArray> lstBytes;
    for (char ch : baStream)
        lstBytes << QByteArray(1, ch);
    QCOMPARE(feed(lstBytes, &state), QList<int>({11, 12}));
    QCOMPARE(state, UpgradeScan::Success);

    // A frame too long for any receive is dropped; the frame after its body is still found.
    const QByteArray baLong = frame(1000, QByteArray(3000, 'a'));
    QCOMPARE(feed({progress(1) + baLong.left(100), baLong.mid(100, 2000), baLong.mid(2100) + progress(514)}, &state),
             QList<int>({1}));
    QCOMPARE(state, UpgradeScan::Failure);
}

void TestAppUpgradeStatus::randomBlocksStayInside()
{
    // Random blocks seeded with start bytes and plausible headers; run under the address sanitizer
    // this shows that no length sends the scan past the data.
    QRandomGenerator random(1524);
    for (int nRound = 0; nRound < 3000; ++nRound) {
        const int nSize = int(random.bounded(kStatusReceiveBytes + 64));
        std::vector<char> block(static_cast<size_t>(nSize), 0);
        for (char& ch : block) {
            // Start bytes and the progress identifier's bytes come often, so headers form.
            static const char achCommon[] = {char(0xFF), char(0xF4), char(0x05)};
            const quint32 nPick = random.bounded(16);
            ch = nPick < 3 ? achCommon[nPick] : char(random.bounded(256));
            if (ch == kStatusFiller)
                ch = 0;
        }
        const UpgradeScan scan = scanUpgradeStatus(block.data(), nSize);
        QVERIFY(scan.nUsed >= 0);
        QVERIFY(scan.nUsed <= qMin(nSize, kStatusReceiveBytes));
        QVERIFY(scan.lstProgress.size() <= scan.nFrames);
    }
}

QTEST_GUILESS_MAIN(TestAppUpgradeStatus)
#include "tst_app_upgradestatus.moc"
