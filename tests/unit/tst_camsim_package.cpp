// The camera's upgrade package check: a zip read from memory with every offset, length and count
// checked; the install description decides the hardware and the new version.

#include <cstdint>
#include <string>
#include <vector>

#include <QtTest>

#include "package.h"
#include "protocol/messages.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kHardware = "VTH-1080A";

void put16(Bytes& out, std::size_t value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void put32(Bytes& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

std::uint32_t crcOf(const std::string& data)
{
    // Bitwise CRC-32 (the zip polynomial), independent of the code under test.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct Entry
{
    std::string name;
    std::string data;
};

/// A stored zip, written by hand: local headers and data, the central directory, the end record.
Bytes zipOf(const std::vector<Entry>& entries, const std::string& comment = std::string())
{
    Bytes out, directory;
    for (const Entry& e : entries) {
        const std::uint32_t offset = std::uint32_t(out.size());
        const std::uint32_t crc = crcOf(e.data);
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, 0);
        put16(out, 0);
        put32(out, 0);
        put32(out, crc);
        put32(out, std::uint32_t(e.data.size()));
        put32(out, std::uint32_t(e.data.size()));
        put16(out, e.name.size());
        put16(out, 0);
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), e.data.begin(), e.data.end());

        put32(directory, 0x02014b50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, std::uint32_t(e.data.size()));
        put32(directory, std::uint32_t(e.data.size()));
        put16(directory, e.name.size());
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        directory.insert(directory.end(), e.name.begin(), e.name.end());
    }
    const std::uint32_t directoryOffset = std::uint32_t(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, entries.size());
    put16(out, entries.size());
    put32(out, std::uint32_t(directory.size()));
    put32(out, directoryOffset);
    put16(out, comment.size());
    out.insert(out.end(), comment.begin(), comment.end());
    return out;
}

Bytes goodPackage()
{
    return zipOf({{"readme.txt", "firmware for tests"},
                  {"InstallDesc", R"({"Hardware": "VTH-1080A", "Version": "V2.70.R01"})"},
                  {"firmware.bin", std::string(3000, '\x5a')}});
}

camsim::PackageCheck check(const Bytes& zip)
{
    return camsim::checkPackage(zip.data(), zip.size(), kHardware);
}

std::size_t endRecord(const Bytes& zip)
{
    for (std::size_t pos = zip.size() - 22;; --pos)
        if (zip[pos] == 0x50 && zip[pos + 1] == 0x4b && zip[pos + 2] == 5 && zip[pos + 3] == 6)
            return pos;
}

void set32(Bytes& zip, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        zip[at + i] = std::uint8_t(value >> (8 * i));
}

} // namespace

class TestCamsimPackage : public QObject
{
    Q_OBJECT

private slots:
    void installDescriptionDecides_data();
    void installDescriptionDecides();
    void damagedArchivesAreRefused();
    void everyTruncationAndByteFlipIsSafe();
};

void TestCamsimPackage::installDescriptionDecides_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<int>("ret");
    QTest::addColumn<QString>("version");
    QTest::newRow("hardware and version")
        << QByteArray(R"({"Hardware":"VTH-1080A","Version":"V9"})") << 100 << QStringLiteral("V9");
    QTest::newRow("no version keeps the old text") << QByteArray(R"({"Hardware":"VTH-1080A"})") << 100 << QString();
    QTest::newRow("other hardware") << QByteArray(R"({"Hardware":"VTH-X720","Version":"V9"})") << -11807 << QString();
    QTest::newRow("hardware differs in case") << QByteArray(R"({"Hardware":"vth-1080a"})") << -11807 << QString();
    QTest::newRow("no hardware") << QByteArray(R"({"Version":"V9"})") << -11807 << QString();
    QTest::newRow("hardware not a string") << QByteArray(R"({"Hardware":1080})") << -11807 << QString();
    QTest::newRow("hardware too long") << QByteArray(R"({"Hardware":")" + QByteArray(65, 'H') + R"("})") << -11807
                                       << QString();
    QTest::newRow("version not a string")
        << QByteArray(R"({"Hardware":"VTH-1080A","Version":3})") << -11805 << QString();
    QTest::newRow("not JSON") << QByteArray("Hardware=VTH-1080A") << -11805 << QString();
    QTest::newRow("an array") << QByteArray(R"(["VTH-1080A"])") << -11805 << QString();
    QTest::newRow("empty") << QByteArray() << -11805 << QString();
}

void TestCamsimPackage::installDescriptionDecides()
{
    QFETCH(QByteArray, description);
    QFETCH(int, ret);
    QFETCH(QString, version);
    const Bytes zip = zipOf({{"InstallDesc", description.toStdString()}, {"firmware.bin", "blob"}});
    const camsim::PackageCheck c = check(zip);
    QCOMPARE(c.ret, ret);
    if (ret == 100)
        QCOMPARE(QString::fromStdString(c.version), version);
}

void TestCamsimPackage::damagedArchivesAreRefused()
{
    QCOMPARE(check(goodPackage()).ret, 100);
    QCOMPARE(check(goodPackage()).version, std::string("V2.70.R01"));
    // A comment after the end record is fine when the record accounts for it.
    const Bytes commented = zipOf({{"InstallDesc", R"({"Hardware":"VTH-1080A"})"}}, "made for tests");
    QCOMPARE(check(commented).ret, 100);

    QCOMPARE(check(Bytes()).ret, -11805);
    QCOMPARE(check(Bytes(21, 0)).ret, -11805);
    QCOMPARE(check(zipOf({{"firmware.bin", "blob"}})).ret, -11805);                            // no InstallDesc
    QCOMPARE(check(zipOf({{"Temp/InstallDesc", R"({"Hardware":"VTH-1080A"})"}})).ret, -11805); // not at the top
    QCOMPARE(
        check(zipOf({{"InstallDesc", R"({"Hardware":"VTH-1080A"})"}, {"InstallDesc", R"({"Hardware":"VTH-X720"})"}}))
            .ret,
        -11805); // two descriptions: which one would count?
    QCOMPARE(check(zipOf({{"InstallDesc", std::string(70000, ' ') + R"({"Hardware":"VTH-1080A"})"}})).ret, -11805);

    const Bytes good = goodPackage();
    const std::size_t end = endRecord(good);
    const std::uint32_t directoryOffset =
        std::uint32_t(good[end + 16] | (good[end + 17] << 8) | (good[end + 18] << 16) | (good[end + 19] << 24));

    Bytes more = good; // more entries than the directory holds
    more[end + 10] = 0xFF;
    more[end + 11] = 0xFF;
    QCOMPARE(check(more).ret, -11805);
    Bytes fewer = good; // a count that leaves InstallDesc out of reach
    fewer[end + 10] = 1;
    QCOMPARE(check(fewer).ret, -11805);
    Bytes beyond = good;
    set32(beyond, end + 16, std::uint32_t(good.size()));
    QCOMPARE(check(beyond).ret, -11805);
    Bytes huge = good;
    set32(huge, end + 12, 0xFFFFFFF0u);
    QCOMPARE(check(huge).ret, -11805);
    Bytes wrapped = good; // offset + size would wrap around in 32 bits
    set32(wrapped, end + 16, 0xFFFFFFF0u);
    QCOMPARE(check(wrapped).ret, -11805);
    Bytes wrongComment = good;
    wrongComment[end + 20] = 5; // announces a comment that is not there
    QCOMPARE(check(wrongComment).ret, -11805);

    // Central header of InstallDesc (the second entry): 46 + 10 bytes after the first one.
    const std::size_t second = directoryOffset + 46 + 10;
    QCOMPARE(good[second], std::uint8_t(0x50));
    Bytes badCrc = good;
    badCrc[second + 16] ^= 0x01;
    QCOMPARE(check(badCrc).ret, -11805);
    Bytes badLocal = good;
    set32(badLocal, second + 42, directoryOffset - 10);
    QCOMPARE(check(badLocal).ret, -11805);
    Bytes longName = good;
    longName[second + 28] = 0xFF;
    QCOMPARE(check(longName).ret, -11805);
    Bytes bigData = good;
    set32(bigData, second + 20, 0x7FFFFFFFu);
    set32(bigData, second + 24, 0x7FFFFFFFu);
    QCOMPARE(check(bigData).ret, -11805);
    Bytes method = good;
    method[second + 10] = 12; // a compression the camera does not know
    QCOMPARE(check(method).ret, -11805);
    Bytes sizes = good; // stored, but the sizes disagree
    set32(sizes, second + 24, 10);
    QCOMPARE(check(sizes).ret, -11805);
}

void TestCamsimPackage::everyTruncationAndByteFlipIsSafe()
{
    const Bytes good = goodPackage();
    for (std::size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(n));
        QCOMPARE(check(cut).ret, -11805);
    }
    // Each byte of the directory and the end record replaced: refused or, for the bytes the check
    // does not look at, still accepted; never anything else.
    const std::size_t end = endRecord(good);
    const std::size_t directoryOffset =
        std::size_t(good[end + 16] | (good[end + 17] << 8) | (good[end + 18] << 16) | (good[end + 19] << 24));
    int refused = 0;
    for (std::size_t at = directoryOffset; at < good.size(); ++at) {
        for (std::uint8_t value : {std::uint8_t(0x00), std::uint8_t(0xFF), std::uint8_t(good[at] ^ 0x80)}) {
            Bytes bad = good;
            if (bad[at] == value)
                continue;
            bad[at] = value;
            const int ret = check(bad).ret;
            QVERIFY2(ret == 100 || ret == -11805 || ret == -11807, qPrintable(QString::number(at)));
            refused += ret != 100 ? 1 : 0;
        }
    }
    QVERIFY(refused > 100);
}

QTEST_GUILESS_MAIN(TestCamsimPackage)
#include "tst_camsim_package.moc"
