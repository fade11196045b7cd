// Media connections: the video frame's fixed part, the media-connection frame parser and the
// voice frame, checked against bytes built by hand. Streams cut anywhere are fuzz_media_frame's.
#include <cstdint>
#include <string>
#include <vector>

#include <QtTest>

#include "protocol/frame.h"
#include "protocol/media.h"
#include "protocol/messages.h"

using namespace protocol;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(std::uint16_t id, const Bytes& body)
{
    Bytes f(kHeaderSize, 0);
    f[0] = 0xFF;
    f[1] = 1;
    f[14] = static_cast<std::uint8_t>(id);
    f[15] = static_cast<std::uint8_t>(id >> 8);
    for (int i = 0; i < 4; ++i)
        f[16 + i] = static_cast<std::uint8_t>(body.size() >> (8 * i));
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

// codec 2 (H.265), key frame, 1280 x 720, frame 0x01020304, time 0x0000018B_CAFEBABE ms, payload 00 00 01 65.
Bytes handVideoBody()
{
    return Bytes{2,    1,    0x00, 0x05, 0xD0, 0x02, 0,    0,    0x04, 0x03, 0x02, 0x01,
                 0xBE, 0xBA, 0xFE, 0xCA, 0x8B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x65};
}

} // namespace

class TestProtocolMedia : public QObject
{
    Q_OBJECT

private slots:
    void videoFrameFields();
    void mediaConnectionRefusesWhatDoesNotBelong();
    void voiceFrames();
};

void TestProtocolMedia::videoFrameFields()
{
    const Bytes wire = frameOf(MsgVideoFrame, handVideoBody());
    const MediaFrame m = parseMediaFrame(wire.data(), wire.size());
    QCOMPARE(m.status, ParseStatus::Ok);
    QCOMPARE(m.used, wire.size());
    QCOMPARE(m.video.codec, VideoCodec::H265);
    QVERIFY(m.video.keyFrame);
    QCOMPARE(m.video.width, std::uint16_t(1280));
    QCOMPARE(m.video.height, std::uint16_t(720));
    QCOMPARE(m.video.number, 0x01020304u);
    QCOMPARE(m.video.timestampMs, std::uint64_t(0x0000018BCAFEBABEull));
    QCOMPARE(Bytes(m.payload, m.payload + m.payloadSize), (Bytes{0, 0, 1, 0x65}));
    QCOMPARE(m.payload, wire.data() + kHeaderSize + kVideoFrameFixed); // a view, nothing copied

    Bytes again = encodeVideoFrameHead(m.video);
    again.insert(again.end(), {0, 0, 1, 0x65});
    QCOMPARE(again, handVideoBody());
}

void TestProtocolMedia::mediaConnectionRefusesWhatDoesNotBelong()
{
    auto patched = [](std::size_t at, std::uint8_t value) {
        Bytes b = handVideoBody();
        b[at] = value;
        return b;
    };
    Bytes noPayload = handVideoBody();
    noPayload.resize(kVideoFrameFixed);
    Bytes tooLong = frameOf(MsgAudioFrame, {});
    tooLong[16] = 0x01; // 4097 bytes announced
    tooLong[17] = 0x10;
    const struct
    {
        const char* name;
        Bytes wire;
    } cases[] = {
        {"codec 3", frameOf(MsgVideoFrame, patched(0, 3))},
        {"unknown flag", frameOf(MsgVideoFrame, patched(1, 0x03))},
        {"width 0", frameOf(MsgVideoFrame, patched(3, 0))},
        {"height above 8192", frameOf(MsgVideoFrame, patched(5, 0x21))},
        {"reserved set", frameOf(MsgVideoFrame, patched(7, 1))},
        {"no payload", frameOf(MsgVideoFrame, noPayload)},
        {"empty audio", frameOf(MsgAudioFrame, {})},
        {"audio above its limit", tooLong},
        {"stop that is no object", frameOf(MsgMediaStop, {'[', ']'})},
        {"login message", frameOf(MsgGetConfig, {'{', '}'})},
    };
    for (const auto& c : cases) {
        const MediaFrame m = parseMediaFrame(c.wire.data(), c.wire.size());
        QVERIFY2(m.status == ParseStatus::Bad, c.name);
    }
    // A frame of the wrong kind is refused from its 16-byte prefix, before its body arrives.
    const Bytes login = frameOf(MsgGetConfig, Bytes(100, '{'));
    QCOMPARE(parseMediaFrame(login.data(), 16).status, ParseStatus::Bad);
    QCOMPARE(parseMediaFrame(login.data(), 15).status, ParseStatus::Incomplete);
}

void TestProtocolMedia::voiceFrames()
{
    // The frame the program builds: marker, A-law, 0x02, 160 little-endian, then the audio.
    Bytes audio(kVoicePayload);
    for (std::size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<std::uint8_t>(i);
    Bytes hand = {0x00, 0x00, 0x01, 0xFA, 0x0E, 0x02, 0xA0, 0x00};
    hand.insert(hand.end(), audio.begin(), audio.end());
    QCOMPARE(encodeVoiceFrame(audio.data(), audio.size()), hand);
    const VoiceFrame v = parseVoiceFrame(hand.data(), hand.size());
    QCOMPARE(v.status, ParseStatus::Ok);
    QCOMPARE(v.used, kVoiceFrameSize);
    QCOMPARE(v.coding, kVoiceCodingAlaw);
    QCOMPARE(Bytes(v.payload, v.payload + v.payloadSize), audio);
    QCOMPARE(parseVoiceFrame(hand.data(), hand.size() - 1).status, ParseStatus::Incomplete);
    QCOMPARE(parseVoiceFrame(hand.data(), 3).status, ParseStatus::Incomplete);

    Bytes wrongMarker = hand;
    wrongMarker[2] = 0x02;
    QCOMPARE(parseVoiceFrame(wrongMarker.data(), 3).status, ParseStatus::Bad);
    Bytes overLimit = hand;
    overLimit[6] = 0x01; // 2049
    overLimit[7] = 0x08;
    QCOMPARE(parseVoiceFrame(overLimit.data(), kVoiceHeaderSize).status, ParseStatus::Bad);
    overLimit[6] = 0x00; // 2048: allowed, waits for the audio
    QCOMPARE(parseVoiceFrame(overLimit.data(), overLimit.size()).status, ParseStatus::Incomplete);
}

QTEST_APPLESS_MAIN(TestProtocolMedia)
#include "tst_protocol_media.moc"
