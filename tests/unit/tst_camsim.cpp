// What of the emulator the device library cannot reach: its command line, which the tests, the
// benchmarks and outside scripts rely on (the addresses a fleet takes, which cameras the fault
// options reach, bad command lines refused with a reason), and its upgrade package check (a zip read
// from memory with every offset, length and count checked; the install description decides the
// hardware and the new version; inputs of every shape are left to fuzz_camsim_package). What the
// cameras do is driven through the device library (tests/integration); their state files are
// tst_config's.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <QtTest>

#include "options.h"
#include "package.h"
#include "protocol/messages.h"

using namespace camsim;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kHardware = "VTH-1080A";

/// Little-endian fields; widths[i] is the size in bytes of values[i] ('2' or '4').
void put(Bytes& out, const char* widths, std::initializer_list<std::uint32_t> values)
{
    for (std::uint32_t value : values) {
        for (int i = 0; i < *widths - '0'; ++i)
            out.push_back(std::uint8_t(value >> (8 * i)));
        ++widths;
    }
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

/// A stored zip of (name, data) entries, written by hand: local headers and data, the central
/// directory, the end record.
Bytes zipOf(const std::vector<std::pair<std::string, std::string>>& entries, const std::string& comment = {})
{
    Bytes out, directory;
    for (const auto& [name, data] : entries) {
        const std::uint32_t offset = std::uint32_t(out.size()), crc = crcOf(data), size = std::uint32_t(data.size());
        const std::uint32_t nameSize = std::uint32_t(name.size());
        put(out, "4222444422", {0x04034b50, 20, 0, 0, 0, crc, size, size, nameSize, 0});
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), data.begin(), data.end());
        put(directory, "4222244442222244",
            {0x02014b50, 20, 20, 0, 0, 0, crc, size, size, nameSize, 0, 0, 0, 0, 0, offset});
        directory.insert(directory.end(), name.begin(), name.end());
    }
    const std::uint32_t directoryOffset = std::uint32_t(out.size()), count = std::uint32_t(entries.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put(out, "42222442",
        {0x06054b50, 0, 0, count, count, std::uint32_t(directory.size()), directoryOffset,
         std::uint32_t(comment.size())});
    out.insert(out.end(), comment.begin(), comment.end());
    return out;
}

Bytes goodPackage()
{
    return zipOf({{"readme.txt", "firmware for tests"},
                  {"InstallDesc", R"({"Hardware": "VTH-1080A", "Version": "V2.70.R01"})"},
                  {"firmware.bin", std::string(3000, '\x5a')}});
}

int retOf(const Bytes& zip)
{
    return camsim::checkPackage(zip.data(), zip.size(), kHardware).ret;
}

ParseOutcome parse(const QStringList& args, FleetOptions& out, std::string& error)
{
    std::string help;
    return parseOptions(QStringList{QStringLiteral("vantrel-camsim")} + args, out, error, help);
}

} // namespace

class TestCamsim : public QObject
{
    Q_OBJECT

private slots:
    void addressesModelsAndFaults();
    void badCommandLinesAreRefusedWithAReason_data();
    void badCommandLinesAreRefusedWithAReason();
    void installDescriptionDecides();
    void damagedArchivesAreRefused();
};

void TestCamsim::addressesModelsAndFaults()
{
    FleetOptions o;
    std::string error;
    QCOMPARE(parse({"--count",
                    "5",
                    "--same-address",
                    "3",
                    "--first-address",
                    "127.1.0.255",
                    "--foreign",
                    "2",
                    "--foreign-address",
                    "10.0.0.254",
                    "--models",
                    "IPC-B,IPC-A",
                    "--fault-cameras",
                    "1,3",
                    "--latency-ms",
                    "250",
                    "--refuse",
                    "--login-code",
                    "-11306",
                    "--blacklist",
                    "guest"},
                   o, error),
             ParseOutcome::Run);
    // The first three share the first address; the rest count on across the byte boundary, the
    // foreign ones from their own address.
    QStringList addresses;
    for (int i = 0; i < o.total(); ++i)
        addresses << QString::fromStdString(dotted(o.addressOf(i)));
    QCOMPARE(addresses, (QStringList{"127.1.0.255", "127.1.0.255", "127.1.0.255", "127.1.1.0", "127.1.1.1",
                                     "10.0.0.254", "10.0.0.255"}));
    // Models go round-robin in the given order.
    QCOMPARE(o.modelOf(0).name, std::string("IPC-B"));
    QCOMPARE(o.modelOf(3).name, std::string("IPC-A"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(o.faultApplies(i), i == 1 || i == 3);
    QVERIFY(o.faults.latencyMs == 250 && o.faults.refuse && !o.faults.drop && o.faults.loginCode == -11306);
    QVERIFY(o.blacklist.count("guest"));
}

void TestCamsim::badCommandLinesAreRefusedWithAReason_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("count not a number") << QStringList{"--count", "four"} << "--count";
    QTest::newRow("negative count") << QStringList{"--count", "-1"} << "--count";
    QTest::newRow("bad address") << QStringList{"--first-address", "127.0.0"} << "--first-address";
    QTest::newRow("address overflow") << QStringList{"--first-address", "255.255.255.254", "--count", "3"}
                                      << "--first-address";
    QTest::newRow("foreign on loopback") << QStringList{"--foreign", "1", "--foreign-address", "127.0.0.200"}
                                         << "--foreign-address";
    QTest::newRow("foreign running into loopback")
        << QStringList{"--foreign", "2", "--foreign-address", "126.255.255.255"} << "--foreign-address";
    QTest::newRow("unknown model") << QStringList{"--models", "IPC-A,NOPE"} << "NOPE";
    QTest::newRow("same address beyond count")
        << QStringList{"--count", "2", "--same-address", "3"} << "--same-address";
    QTest::newRow("fault camera") << QStringList{"--count", "2", "--fault-cameras", "0,2"} << "2";
    QTest::newRow("port") << QStringList{"--service-port", "70000"} << "--service-port";
    QTest::newRow("positional") << QStringList{"extra"} << "extra";
}

void TestCamsim::badCommandLinesAreRefusedWithAReason()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    FleetOptions o;
    std::string error;
    QCOMPARE(parse(args, o, error), ParseOutcome::Error);
    QVERIFY2(QString::fromStdString(error).contains(mentions), error.c_str());
}

void TestCamsim::installDescriptionDecides()
{
    struct Case
    {
        std::string description;
        int ret;
        std::string version;
    };
    const Case cases[] = {
        {R"({"Hardware":"VTH-1080A","Version":"V9"})", 100, "V9"},
        {R"({"Hardware":"VTH-1080A"})", 100, ""}, // no version keeps the old text
        {R"({"Hardware":"VTH-X720","Version":"V9"})", -11807, ""},
        {R"({"Hardware":"vth-1080a"})", -11807, ""},
        {R"({"Version":"V9"})", -11807, ""},
        {R"({"Hardware":"VTH-1080A","Version":3})", -11805, ""},
        {R"(["VTH-1080A"])", -11805, ""},
        {"", -11805, ""},
        {std::string(70000, ' ') + R"({"Hardware":"VTH-1080A"})", -11805, ""}, // larger than a description
    };
    for (const Case& c : cases) {
        const Bytes zip = zipOf({{"InstallDesc", c.description}, {"firmware.bin", "blob"}});
        const camsim::PackageCheck check = camsim::checkPackage(zip.data(), zip.size(), kHardware);
        QVERIFY2(check.ret == c.ret && (c.ret != 100 || check.version == c.version),
                 c.description.substr(0, 60).c_str());
    }
}

void TestCamsim::damagedArchivesAreRefused()
{
    // A comment after the end record is fine when the record accounts for it.
    QCOMPARE(retOf(zipOf({{"InstallDesc", R"({"Hardware":"VTH-1080A"})"}}, "made for tests")), 100);
    QCOMPARE(retOf(zipOf({{"firmware.bin", "blob"}})), -11805);                            // no InstallDesc
    QCOMPARE(retOf(zipOf({{"Temp/InstallDesc", R"({"Hardware":"VTH-1080A"})"}})), -11805); // not at the top
    QCOMPARE(
        retOf(zipOf({{"InstallDesc", R"({"Hardware":"VTH-1080A"})"}, {"InstallDesc", R"({"Hardware":"VTH-X720"})"}})),
        -11805); // two descriptions: which one would count?

    const Bytes good = goodPackage();
    QCOMPARE(retOf(good), 100);
    const std::size_t end = good.size() - 22;
    const std::size_t directory = good[end + 16] | (good[end + 17] << 8); // small enough for 16 bits
    const std::size_t second = directory + 46 + 10; // central header of InstallDesc, after readme.txt's
    QCOMPARE(good[second + 46], std::uint8_t('I'));
    struct Patch
    {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int width;
    };
    const Patch patches[] = {
        {"more entries than the directory holds", end + 10, 0xFFFF, 2},
        {"a count that leaves InstallDesc out of reach", end + 10, 1, 2},
        {"directory beyond the data", end + 16, std::uint32_t(good.size()), 4},
        {"huge directory", end + 12, 0xFFFFFFF0u, 4},
        {"a comment announced but not there", end + 20, 5, 2},
        {"wrong CRC", second + 16, std::uint32_t(good[second + 16] ^ 1), 1},
        {"local header elsewhere", second + 42, std::uint32_t(directory - 10), 4},
        {"name running past the directory", second + 28, 0xFF, 1},
        {"a compression the camera does not know", second + 10, 12, 2},
        {"stored, but the sizes disagree", second + 24, 10, 4},
    };
    for (const Patch& p : patches) {
        Bytes bad = good;
        for (int i = 0; i < p.width; ++i)
            bad[p.at + i] = std::uint8_t(p.value >> (8 * i));
        QVERIFY2(retOf(bad) == -11805, p.what);
    }
}

QTEST_GUILESS_MAIN(TestCamsim)
#include "tst_camsim.moc"
