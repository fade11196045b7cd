// Authentication helpers: key derivation, proofs, nonces and comparison.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QtTest>

#include "protocol/codec.h"

using namespace protocol;

namespace {

QByteArray qbytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

QByteArray qbytes(const std::vector<std::uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

bool isLowerHex(const std::string& s)
{
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

const std::string kDeviceNonce = "00112233445566778899aabbccddeeff";
const std::string kClientNonce = "ffeeddccbbaa99887766554433221100";

} // namespace

class TestProtocolAuth : public QObject
{
    Q_OBJECT

private slots:
    void keyIsHashOfUserAndPassword();
    void loginProofKnownAnswers();
    void netSetProofKnownAnswers();
    void proofsDependOnEveryInput();
    void noncesAreFreshHex();
    void constantTimeComparison();
};

void TestProtocolAuth::keyIsHashOfUserAndPassword()
{
    const std::vector<std::uint8_t> key = deriveKey("admin", "s3cret");
    QCOMPARE(key.size(), std::size_t(32));
    QCOMPARE(qbytes(key), QCryptographicHash::hash("admin:s3cret", QCryptographicHash::Sha256));
    // Fixed vectors computed outside this code base.
    QCOMPARE(qbytes(key).toHex(), QByteArray("34268a9c315684b4dec933b1981f921aa7bfde34d850b3297def01d7fa44cfe7"));
    QCOMPARE(qbytes(deriveKey("admin", "")).toHex(),
             QByteArray("24f7c096d98b5db108aa9ba85149b93185ae4db44ab299e8caf74f662c597f36"));
    // The separator keeps "ab"+"c" apart from "a"+"bc".
    QVERIFY(deriveKey("ab", "c") != deriveKey("a", "bc"));
    // Bytes beyond ASCII are hashed as given.
    const std::string user = "\xE7\xAE\xA1\xE7\x90\x86";
    QCOMPARE(qbytes(deriveKey(user, "pw")), QCryptographicHash::hash(qbytes(user + ":pw"), QCryptographicHash::Sha256));
}

void TestProtocolAuth::loginProofKnownAnswers()
{
    const std::vector<std::uint8_t> key = deriveKey("admin", "s3cret");
    const std::string proof = loginProof(key, kDeviceNonce, kClientNonce);
    const QByteArray expected = QMessageAuthenticationCode::hash(qbytes("login:" + kDeviceNonce + ":" + kClientNonce),
                                                                 qbytes(key), QCryptographicHash::Sha256);
    QCOMPARE(QByteArray::fromStdString(proof), expected.toHex());
    QCOMPARE(proof, std::string("4e85fc102b8ddc56a1aa24b00fbb18aa068f201c5b467545a99b69735900ad2a"));
    QCOMPARE(proof.size(), std::size_t(64));
    QVERIFY(isLowerHex(proof));
}

void TestProtocolAuth::netSetProofKnownAnswers()
{
    const std::vector<std::uint8_t> key = deriveKey("admin", "s3cret");
    const std::string nonce = "0123456789abcdef0123456789abcdef";
    const std::string proof =
        netSetProof(key, nonce, "00:12:31:ab:cd:ef", 1, "127.0.0.21", "255.0.0.0", "127.0.0.1", "02:00:00:00:00:01");
    const std::string message =
        "netset:" + nonce + ":00:12:31:ab:cd:ef:1:127.0.0.21:255.0.0.0:127.0.0.1:02:00:00:00:00:01";
    const QByteArray expected =
        QMessageAuthenticationCode::hash(qbytes(message), qbytes(key), QCryptographicHash::Sha256);
    QCOMPARE(QByteArray::fromStdString(proof), expected.toHex());
    QCOMPARE(proof, std::string("fcb7feda6c91ee9e668c01349601964da26c6d785f549fedc4dbb5fee0304ec7"));

    // The mode is written as a signed decimal number.
    const std::string negative = netSetProof(key, nonce, "m", -254, "i", "k", "g", "h");
    const QByteArray negativeExpected = QMessageAuthenticationCode::hash(qbytes("netset:" + nonce + ":m:-254:i:k:g:h"),
                                                                         qbytes(key), QCryptographicHash::Sha256);
    QCOMPARE(QByteArray::fromStdString(negative), negativeExpected.toHex());
}

void TestProtocolAuth::proofsDependOnEveryInput()
{
    const std::vector<std::uint8_t> key = deriveKey("admin", "");
    const std::string base = loginProof(key, kDeviceNonce, kClientNonce);
    QVERIFY(loginProof(deriveKey("admin", "x"), kDeviceNonce, kClientNonce) != base);
    QVERIFY(loginProof(key, kClientNonce, kDeviceNonce) != base);
    QVERIFY(loginProof(key, kDeviceNonce, kDeviceNonce) != base);
    QCOMPARE(loginProof(key, kDeviceNonce, kClientNonce), base);

    const std::string args[6] = {"n", "aa:bb", "1.2.3.4", "255.0.0.0", "1.2.3.1", "cc:dd"};
    const std::string netBase = netSetProof(key, args[0], args[1], 1, args[2], args[3], args[4], args[5]);
    std::set<std::string> seen = {netBase};
    for (int changed = 0; changed < 6; ++changed) {
        std::string a[6];
        for (int i = 0; i < 6; ++i)
            a[i] = i == changed ? args[i] + "0" : args[i];
        seen.insert(netSetProof(key, a[0], a[1], 1, a[2], a[3], a[4], a[5]));
    }
    seen.insert(netSetProof(key, args[0], args[1], 254, args[2], args[3], args[4], args[5]));
    QCOMPARE(seen.size(), std::size_t(8));
}

void TestProtocolAuth::noncesAreFreshHex()
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string n = randomNonce();
        QCOMPARE(n.size(), std::size_t(32));
        QVERIFY2(isLowerHex(n), n.c_str());
        seen.insert(n);
    }
    QCOMPARE(seen.size(), std::size_t(200));
}

void TestProtocolAuth::constantTimeComparison()
{
    const std::string proof = loginProof(deriveKey("admin", ""), kDeviceNonce, kClientNonce);
    QVERIFY(constantTimeEqual(proof, proof));
    QVERIFY(constantTimeEqual("", ""));
    std::string flipped = proof;
    for (std::size_t i = 0; i < proof.size(); ++i) {
        flipped[i] = proof[i] == 'a' ? 'b' : 'a';
        QVERIFY(!constantTimeEqual(proof, flipped));
        flipped[i] = proof[i];
    }
    QVERIFY(!constantTimeEqual(proof, proof.substr(0, 63)));
    QVERIFY(!constantTimeEqual(proof.substr(0, 63), proof));
    QVERIFY(!constantTimeEqual("", proof));
    // A shorter text padded with zero bytes is still a different text.
    QVERIFY(!constantTimeEqual("ab", std::string("ab\0", 3)));
    QVERIFY(!constantTimeEqual(std::string("\0", 1), ""));
}

QTEST_APPLESS_MAIN(TestProtocolAuth)
#include "tst_protocol_auth.moc"
