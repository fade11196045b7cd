#include <QtTest>

#include "camera.h"
#include "options.h"
#include "package.h"
#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "session.h"

using namespace camsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

FleetOptions testOptions()
{
    FleetOptions o;
    for (const Model& m : models())
        o.models.push_back(&m);
    o.password = "secret";
    return o;
}

Json::Value object(std::initializer_list<std::pair<const char*, Json::Value>> members)
{
    Json::Value v(Json::objectValue);
    for (const auto& [k, m] : members)
        v[k] = m;
    return v;
}

std::uint32_t crc32Of(const Bytes& data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(Bytes& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(Bytes& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

/// A stored zip: `filler` bytes of a first entry, then "InstallDesc" naming the hardware. Any
/// byte of the description that arrives wrong fails its CRC.
Bytes package(const std::string& hardware, std::size_t filler)
{
    struct Entry
    {
        std::string name;
        Bytes data;
        std::uint32_t offset = 0;
    };
    Bytes fill(filler);
    for (std::size_t i = 0; i < filler; ++i)
        fill[i] = std::uint8_t(i * 7 + 3);
    const std::string desc = "{\"Hardware\":\"" + hardware + "\",\"Version\":\"V9.9.9\"}";
    std::vector<Entry> entries{{"Firmware.bin", fill}, {"InstallDesc", Bytes(desc.begin(), desc.end())}};
    Bytes out;
    for (Entry& e : entries) {
        e.offset = std::uint32_t(out.size());
        put32(out, 0x04034b50);
        put16(out, 10), put16(out, 0), put16(out, 0), put16(out, 0), put16(out, 0);
        put32(out, crc32Of(e.data)), put32(out, std::uint32_t(e.data.size())), put32(out, std::uint32_t(e.data.size()));
        put16(out, std::uint32_t(e.name.size())), put16(out, 0);
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    const std::uint32_t directory = std::uint32_t(out.size());
    for (const Entry& e : entries) {
        put32(out, 0x02014b50);
        put16(out, 20), put16(out, 10), put16(out, 0), put16(out, 0), put16(out, 0), put16(out, 0);
        put32(out, crc32Of(e.data)), put32(out, std::uint32_t(e.data.size())), put32(out, std::uint32_t(e.data.size()));
        put16(out, std::uint32_t(e.name.size())), put16(out, 0), put16(out, 0), put16(out, 0), put16(out, 0);
        put32(out, 0), put32(out, e.offset);
        out.insert(out.end(), e.name.begin(), e.name.end());
    }
    const std::uint32_t directorySize = std::uint32_t(out.size()) - directory;
    put32(out, 0x06054b50);
    put16(out, 0), put16(out, 0), put16(out, 2), put16(out, 2);
    put32(out, directorySize), put32(out, directory), put16(out, 0);
    return out;
}

/// One session driven as a client would, answers collected per message id.
class Client
{
public:
    explicit Client(Camera& camera) : session(camera, false) {}

    Session session;
    std::uint32_t sessionId = 0;
    std::uint32_t sequence = 0;
    std::vector<protocol::Frame> answers;
    std::vector<After> actions;
    bool aborted = false;

    /// Feeds the bytes in pieces of `piece` (0: all at once); the largest buffered() seen.
    std::size_t send(const Bytes& bytes, std::size_t piece = 0)
    {
        std::size_t most = 0;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = piece == 0 ? bytes.size() - at : std::min(piece, bytes.size() - at);
            const Session::Result r = session.feed(bytes.data() + at, n, 1000);
            at += n;
            most = std::max(most, session.buffered());
            aborted = aborted || r.abort;
            for (const Outgoing& o : r.out) {
                actions.push_back(o.after);
                if (o.bytes.empty())
                    continue;
                const protocol::ParseResult p = protocol::parseFrame(o.bytes.data(), o.bytes.size());
                if (p.status != protocol::ParseStatus::Ok || p.used != o.bytes.size())
                    qFatal("answer does not parse as one frame");
                answers.push_back(p.frame);
            }
        }
        return most;
    }

    Json::Value lastJson(std::uint16_t id) const
    {
        for (auto it = answers.rbegin(); it != answers.rend(); ++it) {
            Json::Value v;
            if (it->header.messageId == id &&
                protocol::decodeJsonObject(it->body.data(), it->body.size(), v) == protocol::DecodeStatus::Ok)
                return v;
        }
        return Json::Value("none");
    }

    int count(std::uint16_t id) const
    {
        return int(std::count_if(answers.begin(), answers.end(),
                                 [id](const protocol::Frame& f) { return f.header.messageId == id; }));
    }

    Bytes json(std::uint16_t id, const Json::Value& body) { return jsonFrame(id, sessionId, ++sequence, body); }

    void login()
    {
        const std::string clientNonce = protocol::randomNonce();
        send(json(protocol::MsgLoginHello, object({{"UserName", "admin"}, {"ClientNonce", clientNonce}})));
        const std::string nonce = lastJson(protocol::MsgLoginChallenge)["Nonce"].asString();
        const std::string proof = protocol::loginProof(protocol::deriveKey("admin", "secret"), nonce, clientNonce);
        send(json(protocol::MsgLoginProof, object({{"UserName", "admin"}, {"Proof", proof}})));
        sessionId = lastJson(protocol::MsgLoginResult)["SessionID"].asUInt();
    }

    /// The start request, then the package as data frames of at most `chunk` bytes.
    std::vector<Bytes> upload(const Bytes& pkg, std::size_t chunk, std::int64_t announced = -1)
    {
        std::vector<Bytes> frames{
            json(protocol::MsgUpgradeStart,
                 object({{"Size", Json::Int64(announced < 0 ? std::int64_t(pkg.size()) : announced)},
                         {"Name", "pkg.bin"}}))};
        for (std::size_t at = 0; at < pkg.size(); at += chunk)
            frames.push_back(protocol::encodeFrame({protocol::kVersion, sessionId, sequence, protocol::MsgUpgradeData, 0},
                                                   pkg.data() + at, std::min(chunk, pkg.size() - at)));
        return frames;
    }
};

Bytes joined(const std::vector<Bytes>& frames, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    Bytes out;
    for (std::size_t i = from; i < std::min(to, frames.size()); ++i)
        out.insert(out.end(), frames[i].begin(), frames[i].end());
    return out;
}

} // namespace

class TestCamsimUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void packageAssembledFromAnySplit_data()
    {
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("chunk");
        QTest::newRow("whole stream, 4 KiB chunks") << 0 << 4096;
        QTest::newRow("bytewise, 700-byte chunks") << 1 << 700;
        QTest::newRow("7-byte pieces, 1 KiB chunks") << 7 << 1024;
        QTest::newRow("pieces across chunk ends") << 1500 << 1024;
        QTest::newRow("one chunk, 64 KiB pieces") << 65536 << 1024 * 1024;
    }

    void packageAssembledFromAnySplit()
    {
        QFETCH(int, piece);
        QFETCH(int, chunk);
        const FleetOptions o = testOptions();
        Camera camera(o, 1); // IPC-B
        Client c(camera);
        c.login();
        QVERIFY(c.sessionId != 0);
        const Bytes pkg = package(camera.model().hardwareId, 150000);
        Bytes stream = joined(c.upload(pkg, std::size_t(chunk)));
        // A request right behind the last chunk, in the same bytes: framing goes on after a body.
        const Bytes keepAlive = c.json(protocol::MsgKeepAlive, Json::Value(Json::objectValue));
        stream.insert(stream.end(), keepAlive.begin(), keepAlive.end());

        const std::size_t most = c.send(stream, std::size_t(piece));
        QVERIFY(!c.aborted);
        QCOMPARE(camera.badFrames, 0);
        QCOMPARE(c.lastJson(protocol::MsgUpgradeStartAnswer)["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(c.count(protocol::MsgUpgradeCheck), 1);
        QCOMPARE(c.lastJson(protocol::MsgUpgradeCheck)["Ret"].asInt(), protocol::kRetOk);
        QCOMPARE(c.count(protocol::MsgKeepAliveAnswer), 1);
        QVERIFY(std::find(c.actions.begin(), c.actions.end(), After::WriteFirmware) != c.actions.end());
        QVERIFY(camera.upgrading);
        QCOMPARE(camera.pendingFirmware, std::string("V9.9.9"));
        QCOMPARE(c.session.buffered(), std::size_t(0));
        // Chunk bodies go to the package, not through the frame buffer: only the login's and the
        // start request's JSON frames are ever held there.
        if (piece != 0)
            QVERIFY2(most < 512, qPrintable(QString::number(most)));
    }

    void wrongDataEndsTheConnection()
    {
        const FleetOptions o = testOptions();
        const Bytes pkg = package("VTH-3MDOME-B", 5000);
        {
            // Data before any start request.
            Camera camera(o, 1);
            Client c(camera);
            c.login();
            c.send(joined(c.upload(pkg, 1000), 1), 333);
            QVERIFY(c.aborted);
            QCOMPARE(camera.badFrames, 1);
            QCOMPARE(c.session.buffered(), std::size_t(0));
        }
        {
            // More data than announced: the start says one byte less.
            Camera camera(o, 1);
            Client c(camera);
            c.login();
            c.send(joined(c.upload(pkg, 1000, std::int64_t(pkg.size()) - 1)), 64);
            QVERIFY(c.aborted);
            QCOMPARE(camera.badFrames, 1);
            QCOMPARE(c.count(protocol::MsgUpgradeCheck), 0);
            QVERIFY(!camera.upgrading);
        }
        {
            // An announcement above the protocol's limit is refused; nothing is reserved for it.
            Camera camera(o, 1);
            Client c(camera);
            c.login();
            c.send(c.json(protocol::MsgUpgradeStart, object({{"Size", Json::Int64(protocol::kMaxUpgradePackage) + 1},
                                                             {"Name", "big.bin"}})));
            QCOMPARE(c.lastJson(protocol::MsgUpgradeStartAnswer)["Ret"].asInt(), kRetUpgradeMemory);
            QVERIFY(!c.aborted);
        }
    }

    void foreignFramesAbortAndRestartKeepThePackageWhole()
    {
        const FleetOptions o = testOptions();
        Camera camera(o, 1);
        Client c(camera);
        c.login();
        const Bytes pkg = package(camera.model().hardwareId, 20000);
        std::vector<Bytes> frames = c.upload(pkg, 4096);
        // A chunk with another session id in the middle is ignored (and counted), not stored.
        frames.insert(frames.begin() + 3, protocol::encodeFrame({protocol::kVersion, c.sessionId + 1, c.sequence,
                                                                 protocol::MsgUpgradeData, 0},
                                                                Bytes(4096, 0xEE)));
        const Bytes stream = joined(frames);
        c.send(stream, 999);
        QVERIFY(!c.aborted);
        QCOMPARE(camera.badFrames, 1);
        QCOMPARE(c.lastJson(protocol::MsgUpgradeCheck)["Ret"].asInt(), protocol::kRetOk);

        // Given up half way: the next upload starts from an empty package.
        camera.upgrading = false;
        const std::vector<Bytes> first = c.upload(pkg, 4096);
        c.send(joined(first, 0, first.size() / 2), 4096);
        c.send(c.json(protocol::MsgUpgradeAbort, Json::Value(Json::objectValue)));
        c.send(joined(c.upload(pkg, 3000)), 5000);
        QVERIFY(!c.aborted);
        QCOMPARE(c.count(protocol::MsgUpgradeCheck), 2);
        QCOMPARE(c.lastJson(protocol::MsgUpgradeCheck)["Ret"].asInt(), protocol::kRetOk);
    }
};

QTEST_GUILESS_MAIN(TestCamsimUpgrade)
#include "tst_camsim_upgrade.moc"
