// Authentication helpers: key derivation and proofs against values computed outside this code base
// (they pin the wire format the protocol document gives), every input mattering, fresh nonces and
// the comparison of proofs.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <QtTest>

#include "protocol/codec.h"

using namespace protocol;

namespace {

QByteArray hexOf(const std::vector<std::uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size())).toHex();
}

const std::string kDeviceNonce = "00112233445566778899aabbccddeeff";
const std::string kClientNonce = "ffeeddccbbaa99887766554433221100";

} // namespace

class TestProtocolAuth : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswers();
    void proofsDependOnEveryInput();
    void noncesAndComparison();
};

void TestProtocolAuth::knownAnswers()
{
    // SHA-256 of "admin:s3cret" and of "admin:", HMAC-SHA-256 of the login and address-change texts.
    const std::vector<std::uint8_t> key = deriveKey("admin", "s3cret");
    QCOMPARE(hexOf(key), QByteArray("34268a9c315684b4dec933b1981f921aa7bfde34d850b3297def01d7fa44cfe7"));
    QCOMPARE(hexOf(deriveKey("admin", "")),
             QByteArray("24f7c096d98b5db108aa9ba85149b93185ae4db44ab299e8caf74f662c597f36"));
    QCOMPARE(loginProof(key, kDeviceNonce, kClientNonce),
             std::string("4e85fc102b8ddc56a1aa24b00fbb18aa068f201c5b467545a99b69735900ad2a"));
    QCOMPARE(netSetProof(key, "0123456789abcdef0123456789abcdef", "00:12:31:ab:cd:ef", 1, "127.0.0.21", "255.0.0.0",
                         "127.0.0.1", "02:00:00:00:00:01"),
             std::string("fcb7feda6c91ee9e668c01349601964da26c6d785f549fedc4dbb5fee0304ec7"));
}

void TestProtocolAuth::proofsDependOnEveryInput()
{
    // The separator keeps "ab"+"c" apart from "a"+"bc".
    QVERIFY(deriveKey("ab", "c") != deriveKey("a", "bc"));
    const std::vector<std::uint8_t> key = deriveKey("admin", "");
    const std::string base = loginProof(key, kDeviceNonce, kClientNonce);
    QVERIFY(loginProof(deriveKey("admin", "x"), kDeviceNonce, kClientNonce) != base);
    QVERIFY(loginProof(key, kClientNonce, kDeviceNonce) != base);

    const std::string args[6] = {"n", "aa:bb", "1.2.3.4", "255.0.0.0", "1.2.3.1", "cc:dd"};
    std::set<std::string> seen = {netSetProof(key, args[0], args[1], 1, args[2], args[3], args[4], args[5])};
    for (int changed = 0; changed < 6; ++changed) {
        std::string a[6];
        for (int i = 0; i < 6; ++i)
            a[i] = i == changed ? args[i] + "0" : args[i];
        seen.insert(netSetProof(key, a[0], a[1], 1, a[2], a[3], a[4], a[5]));
    }
    seen.insert(netSetProof(key, args[0], args[1], 254, args[2], args[3], args[4], args[5]));
    QCOMPARE(seen.size(), std::size_t(8));
}

void TestProtocolAuth::noncesAndComparison()
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string n = randomNonce();
        QVERIFY2(n.size() == 32 && n.find_first_not_of("0123456789abcdef") == std::string::npos, n.c_str());
        seen.insert(n);
    }
    QCOMPARE(seen.size(), std::size_t(200));

    const std::string proof = loginProof(deriveKey("admin", ""), kDeviceNonce, kClientNonce);
    QVERIFY(constantTimeEqual(proof, proof));
    std::string flipped = proof;
    for (std::size_t i = 0; i < proof.size(); ++i) {
        flipped[i] = proof[i] == 'a' ? 'b' : 'a';
        QVERIFY(!constantTimeEqual(proof, flipped));
        flipped[i] = proof[i];
    }
    QVERIFY(!constantTimeEqual(proof, proof.substr(0, 63)));
    QVERIFY(!constantTimeEqual("", proof));
    // A shorter text padded with zero bytes is still a different text.
    QVERIFY(!constantTimeEqual("ab", std::string("ab\0", 3)));
}

QTEST_APPLESS_MAIN(TestProtocolAuth)
#include "tst_protocol_auth.moc"
