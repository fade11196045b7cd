// Scanning the device's upgrade-progress blocks: frames of other identifiers, garbage and the
// filler byte between frames, every kind of "Ret", and frames cut off by the end of the received
// data (each scanned from a buffer of exactly the received size, so a read past it is caught by
// the address sanitizer build).
#include <cstring>
#include <vector>

#include <QtTest>

#include "upgrade/UpgradeStatus.h"

namespace {

QByteArray frame(quint16 nId, const QByteArray& baBody, qint64 nDeclared = -1)
{
    const quint32 nLength = nDeclared < 0 ? quint32(baBody.size()) : quint32(nDeclared);
    QByteArray ba(kStatusHeaderBytes, 0);
    ba[0] = char(0xFF);
    ba[1] = 1;
    ba[14] = char(nId & 0xFF);
    ba[15] = char(nId >> 8);
    for (int i = 0; i < 4; ++i)
        ba[16 + i] = char((nLength >> (8 * i)) & 0xFF);
    return ba + baBody;
}

QByteArray progressBody(const QByteArray& baRet)
{
    return "{ \"Name\" : \"OPSystemUpgrade\", \"Ret\" : " + baRet + ", \"Type\" : \"UpgradeProcess\" }";
}

QByteArray progress(int nRet)
{
    return frame(protocol::MsgUpgradeProgress, progressBody(QByteArray::number(nRet)));
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
    void endResultAndFillerStopTheScan();
    void cutOffAndOversizedFrames();
    void restCarriesOverToTheNextBlock();
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
    const QByteArray baZero = frame(protocol::MsgUpgradeProgress, progressBody("9") + QByteArray("\0{\"Ret\":", 8));
    const UpgradeScan scan2 = scanExact(frame(protocol::MsgUpgradeProgress, QByteArray()) + baZero);
    QCOMPARE(scan2.lstProgress, QList<int>({9}));
    QCOMPARE(scan2.nFrames, 2);
}

void TestAppUpgradeStatus::retValues_data()
{
    // A "Ret" of 0..100 is progress, 515 success, 514 failure, anything else nothing; -1: not read.
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("parsed");
    QTest::newRow("0") << progressBody("0") << 0;
    QTest::newRow("100") << progressBody("100") << 100;
    QTest::newRow("101") << progressBody("101") << 101;
    QTest::newRow("514 failure") << progressBody("514") << 514;
    QTest::newRow("515 success") << progressBody("515") << 515;
    QTest::newRow("above int") << progressBody("2147483648") << -1;
    QTest::newRow("text") << progressBody("\"50\"") << -1;
    // Another message's type, a body that is no object, a cut text.
    QTest::newRow("type") << QByteArray("{\"Name\":\"OPSystemUpgrade\",\"Type\":\"Upgrade\",\"Ret\":5}") << -1;
    QTest::newRow("array") << QByteArray("[\"OPSystemUpgrade\",\"UpgradeProcess\",5]") << -1;
    QTest::newRow("cut json") << progressBody("5").left(30) << -1;
}

void TestAppUpgradeStatus::retValues()
{
    QFETCH(QByteArray, body);
    QFETCH(int, parsed);
    QCOMPARE(parseUpgradeStatus(body), parsed);
    const UpgradeScan scan = scanExact(frame(protocol::MsgUpgradeProgress, body));
    QCOMPARE(scan.lstProgress, parsed >= 0 && parsed <= 100 ? QList<int>({parsed}) : QList<int>());
    QCOMPARE(scan.state, parsed == 515   ? UpgradeScan::Success
                         : parsed == 514 ? UpgradeScan::Failure
                                         : UpgradeScan::Undecided);
    QCOMPARE(scan.nFrames, 1);
}

void TestAppUpgradeStatus::endResultAndFillerStopTheScan()
{
    const QByteArray baHead = progress(99) + progress(515);
    const UpgradeScan scan = scanExact(baHead + progress(7) + progress(514));
    QCOMPARE(scan.state, UpgradeScan::Success);
    QCOMPARE(scan.lstProgress, QList<int>({99}));
    QCOMPARE(scan.nUsed, baHead.size());
    const UpgradeScan failed = scanExact(progress(514) + progress(515));
    QCOMPARE(failed.state, UpgradeScan::Failure);
    QCOMPARE(failed.nFrames, 1);

    // The filler byte marks the end of the received data: what follows it is not read.
    const QByteArray baFirst = progress(10);
    const UpgradeScan filled = scanExact(baFirst + QByteArray(1, kStatusFiller) + progress(20) + progress(515));
    QCOMPARE(filled.lstProgress, QList<int>({10}));
    QCOMPARE(filled.state, UpgradeScan::Undecided);
    QCOMPARE(filled.nUsed, baFirst.size());
    QCOMPARE(scanUpgradeStatus(baFirst.constData(), 0).nFrames, 0);
    QCOMPARE(scanUpgradeStatus(baFirst.constData(), -1).nUsed, 0);
}

void TestAppUpgradeStatus::cutOffAndOversizedFrames()
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
    const UpgradeScan past = scanExact(frame(protocol::MsgUpgradeProgress, baBody, baBody.size() + 200));
    QCOMPARE(past.state, UpgradeScan::Undecided);
    QCOMPARE(past.stop, UpgradeScan::Incomplete);
    QCOMPARE(past.nUsed, 0);
    QCOMPARE(past.nFrames, 0);

    // A body no receive can hold, also where the length turns negative as an int.
    for (quint32 nDeclared : {quint32(kStatusReceiveBytes - kStatusHeaderBytes + 1), quint32(0x7FFFFFFF),
                              quint32(0x80000000), quint32(0xFFFFFFFF)}) {
        const UpgradeScan scan =
            scanExact(progress(1) + frame(protocol::MsgUpgradeProgress, progressBody("2"), nDeclared));
        QCOMPARE(scan.stop, UpgradeScan::Oversized);
        QCOMPARE(scan.lstProgress, QList<int>({1}));
    }
    // The largest body one receive can hold is still read; nothing past one receive is looked at.
    QByteArray baLargest = progressBody("88");
    baLargest += QByteArray(kStatusReceiveBytes - kStatusHeaderBytes - baLargest.size(), ' ');
    const UpgradeScan largest = scanExact(frame(protocol::MsgUpgradeProgress, baLargest) + progress(515));
    QCOMPARE(largest.lstProgress, QList<int>({88}));
    QCOMPARE(largest.state, UpgradeScan::Undecided);
    QCOMPARE(largest.nUsed, kStatusReceiveBytes);
}

void TestAppUpgradeStatus::restCarriesOverToTheNextBlock()
{
    // Feeds the stream to a reader in the given pieces; the progress seen and the end state.
    const auto feed = [](const QList<QByteArray>& lstPieces, UpgradeScan::State* pState) {
        CUpgradeStatusReader reader;
        QList<int> lstSeen;
        *pState = UpgradeScan::Undecided;
        for (const QByteArray& baPiece : lstPieces) {
            if (baPiece.size() > reader.receiveRoom())
                return QList<int>({-1}); // the reader kept more than a part of one short frame
            std::memcpy(reader.receiveBuffer(), baPiece.constData(), size_t(baPiece.size()));
            const UpgradeScan scan = reader.consume(int(baPiece.size()));
            lstSeen += scan.lstProgress;
            if (scan.state != UpgradeScan::Undecided)
                *pState = scan.state;
        }
        return lstSeen;
    };

    // A frame cut anywhere, in the header or the body, is completed by the next receive; so is
    // one that arrives a byte per receive.
    const QByteArray baStream = progress(11) + progress(12) + progress(515);
    UpgradeScan::State state = UpgradeScan::Undecided;
    for (int nSplit = 1; nSplit < baStream.size(); ++nSplit) {
        QCOMPARE(feed({baStream.left(nSplit), baStream.mid(nSplit)}, &state), QList<int>({11, 12}));
        QCOMPARE(state, UpgradeScan::Success);
    }
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

QTEST_GUILESS_MAIN(TestAppUpgradeStatus)
#include "tst_app_upgradestatus.moc"
