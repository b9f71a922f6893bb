// Finding frames in byte pieces: splits, corruption, resynchronisation, the buffer limits
// and hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <utility>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_test_util.h"
#include "zqt_rtc_parser.h"

using namespace rtcm_encoder;
using zqt_rtc_parser::TZQS_RTC_Parser;
using zqt_rtc_parser::TZQS_RTCM_Parser;

namespace {

constexpr std::int64_t Start = 2000 * TicksPerWeek + 3 * TicksPerDay;

// A decoder that notes (message number, stream offset) of every frame it takes.
struct TFrameLog {
    std::unique_ptr<TZQS_RTCM_Parser> Parser = TZQS_RTCM_Parser::Create(Start);
    std::vector<std::pair<int, std::int64_t>> Seen;
    explicit TFrameLog(std::uint8_t Mode = 6) {
        Parser->SetMode(Mode);
        Parser->SetOnMessageStart(
            [this](TZQS_RTC_Parser& d, std::uint16_t n) { Seen.emplace_back(n, d.FrameOffset()); });
    }
    void Feed(const TBytes& b, std::size_t from, std::size_t to) {
        Parser->AddData(b.data() + from, static_cast<std::int32_t>(to - from));
    }
};

TBytes StationFrame(int station) {
    RStationIn s;
    s.Number = 1006;
    s.Station = station;
    s.X = 3512345.6789;
    s.Y = 780123.4567;
    s.Z = 5248765.4321;
    s.Height = 1.234;
    return Frame(EncodeStation(s));
}

TBytes MsmFrame(int number, std::int64_t t, bool multiple) {
    RMsmIn m;
    m.Number = number;
    m.EpochField = TowField(t);
    m.Multiple = multiple;
    for (int id : {3, 7, 12}) {
        RMsmSatIn s;
        s.Id = id;
        s.Cells = {
            {2, 21000000.0 + id * 1000.0, 21000000.0 + id * 1000.0 + 0.5, -120.0, 9, false, 45.0},
            {15, 21000003.0 + id * 1000.0, 21000003.0 + id * 1000.0 + 0.7, -120.0, 9, false, 40.0}};
        m.Sats.push_back(s);
    }
    return Frame(EncodeMSM(m));
}

// Frames with bytes between them: garbage, a stray preamble, an NMEA-like text.
TBytes TestStream(std::vector<std::pair<int, std::int64_t>>* expect) {
    TBytes s = {0x00, 0x11, 0xD3};
    auto add = [&](const TBytes& f, int number) {
        if (expect) expect->emplace_back(number, static_cast<std::int64_t>(s.size()));
        Append(s, f);
    };
    add(StationFrame(17), 1006);
    Append(s, {0x55, 0xD3, 0x00});
    add(MsmFrame(1074, Start + 10000, true), 1074);
    add(MsmFrame(1077, Start + 10000, false), 1077);
    Append(s, {'$', 'G', 'P', 'X', 0xD3, 0x03});
    add(StationFrame(17), 1006);
    return s;
}

TEST(RtcmFraming, FramesSplitAtEveryBoundaryAreTakenOnceInOrder) {
    std::vector<std::pair<int, std::int64_t>> expect;
    const TBytes s = TestStream(&expect);
    for (std::size_t split = 0; split <= s.size(); ++split) {
        TFrameLog log;
        log.Feed(s, 0, split);
        log.Feed(s, split, s.size());
        // The stray preamble at the start announces a frame longer than the stream: the
        // frames behind it are taken when the data end.
        log.Parser->EndOfData();
        ASSERT_EQ(log.Seen, expect) << "split at " << split;
        EXPECT_EQ(log.Parser->TotalBytes(), static_cast<std::int64_t>(s.size()));
    }
    TFrameLog bytewise;
    for (std::size_t i = 0; i < s.size(); ++i) bytewise.Feed(s, i, i + 1);
    bytewise.Parser->EndOfData();
    EXPECT_EQ(bytewise.Seen, expect);
}

TEST(RtcmFraming, CorruptFrameIsSkippedAndTheScanResynchronises) {
    TBytes good = StationFrame(5);
    TBytes msm = MsmFrame(1074, Start, false);
    struct {
        const char* what;
        std::size_t at;  // byte of the MSM frame changed
        std::uint8_t value;
    } cases[] = {
        {"payload byte", 20, 0xFF},
        {"preamble inside the payload", 10, 0xD3},
        {"length byte", 2, 0x10},
        {"crc byte", 0, 0},  // the last byte, below
    };
    for (auto c : cases) {
        TBytes bad = msm;
        if (c.at == 0) c.at = bad.size() - 1, c.value = static_cast<std::uint8_t>(bad.back() ^ 1);
        bad[c.at] = c.value;
        TBytes s = good;
        Append(s, bad);
        Append(s, good);
        TFrameLog log;
        log.Feed(s, 0, s.size());
        log.Parser->EndOfData();
        std::vector<std::pair<int, std::int64_t>> expect = {
            {1006, 0}, {1006, static_cast<std::int64_t>(good.size() + bad.size())}};
        EXPECT_EQ(log.Seen, expect) << c.what;
    }
}

TEST(RtcmFraming, ReservedBitsSetAreNoFrameStart) {
    // Each reserved bit alone, under a checksum that covers the header as sent: no frame;
    // the sound frame behind it is found.
    for (const std::uint8_t bit : {0x04, 0x08, 0x10, 0x20, 0x40, 0x80}) {
        TBytes f = StationFrame(9);
        f[1] = static_cast<std::uint8_t>(f[1] | bit);
        const std::uint32_t crc = Crc24Q(f.data(), f.size() - 3);
        f[f.size() - 3] = static_cast<std::uint8_t>(crc >> 16);
        f[f.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
        f[f.size() - 1] = static_cast<std::uint8_t>(crc);
        Append(f, StationFrame(4));
        TFrameLog log;
        log.Feed(f, 0, f.size());
        log.Parser->EndOfData();
        ASSERT_EQ(log.Seen.size(), 1u) << int(bit);
        EXPECT_EQ(log.Parser->StationID(), 4);
    }
}

TEST(RtcmFraming, RunOfPreamblesIsRefusedQuickly) {
    // 10 MiB of 0xD3 (each a candidate with reserved bits set), then a frame.
    TBytes s(10u << 20, 0xD3);
    Append(s, StationFrame(6));
    TFrameLog log;
    const auto t0 = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < s.size(); i += 8196) log.Feed(s, i, std::min(s.size(), i + 8196));
    log.Parser->EndOfData();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 1.0);
    ASSERT_EQ(log.Seen.size(), 1u);
    EXPECT_EQ(log.Seen[0].second, 10 << 20);
}

TEST(RtcmFraming, BufferLimits) {
    const TBytes frame = MsmFrame(1074, Start, false);
    TBytes big;
    while (big.size() + frame.size() <= TZQS_RTC_Parser::BufferSize) Append(big, frame);
    const std::size_t frames = big.size() / frame.size();
    big.resize(TZQS_RTC_Parser::BufferSize, 0);
    {
        TFrameLog log;
        EXPECT_NO_THROW(log.Feed(big, 0, big.size()));
        EXPECT_EQ(log.Seen.size(), frames);
    }
    {
        TBytes over(TZQS_RTC_Parser::BufferSize + 1, 0);
        TFrameLog log;
        EXPECT_THROW(log.Feed(over, 0, over.size()), sysutils::Exception);
    }
    {
        // Half a frame waits in the buffer when a full-size piece arrives: nothing is lost.
        TBytes s = frame;
        Append(s, big);
        TFrameLog log;
        log.Feed(s, 0, frame.size() / 2);
        log.Feed(s, frame.size() / 2, frame.size() / 2 + TZQS_RTC_Parser::BufferSize);
        log.Feed(s, frame.size() / 2 + TZQS_RTC_Parser::BufferSize, s.size());
        EXPECT_EQ(log.Seen.size(), frames + 1);
    }
}

TEST(RtcmFraming, EndOfDataTakesFramesHiddenBehindAFalsePreamble) {
    // A stray preamble announcing 1000 bytes hides the frames that follow it until that
    // many bytes have arrived; at the end of the data they are taken.
    TBytes s = {0xD3, 0x03, 0xE8};
    Append(s, StationFrame(3));
    Append(s, StationFrame(3));
    TFrameLog log;
    log.Feed(s, 0, s.size());
    EXPECT_TRUE(log.Seen.empty());
    log.Parser->EndOfData();
    EXPECT_EQ(log.Seen.size(), 2u);
    EXPECT_EQ(log.Parser->BufferFill(), 0);
}

TEST(RtcmFraming, TruncatedRandomAndMalformedInputIsHandled) {
    std::vector<std::pair<int, std::int64_t>> expect;
    const TBytes s = TestStream(&expect);
    // Cut anywhere: the frames wholly before the cut are taken.
    for (std::size_t cut = 0; cut <= s.size(); ++cut) {
        TFrameLog log;
        log.Feed(s, 0, cut);
        log.Parser->Finish();
        std::size_t whole = 0;
        for (const auto& [n, off] : expect)
            if (static_cast<std::size_t>(off) + (n == 1006 ? StationFrame(17).size() : 0) <= cut &&
                n == 1006)
                ++whole;
        std::size_t seen1006 = 0;
        for (const auto& [n, off] : log.Seen) seen1006 += n == 1006;
        EXPECT_EQ(seen1006, whole) << "cut at " << cut;
    }
    // Random bytes through a decoding parser.
    std::mt19937 rng(11);
    TBytes noise(300000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
    for (std::size_t i = 0; i < noise.size(); i += 997) noise[i] = 0xD3;
    rtcmtest::TDecoderRig rig(Start);
    for (std::size_t i = 0; i < noise.size(); i += 8196) {
        const std::size_t n = std::min<std::size_t>(8196, noise.size() - i);
        rig.Parser->AddData(noise.data() + i, static_cast<std::int32_t>(n));
    }
    rig.Finish();
    EXPECT_EQ(rig.Parser->TotalBytes(), static_cast<std::int64_t>(noise.size()));

    // Messages with random bytes changed or cut, under a correct checksum.
    std::vector<TBytes> seeds = {
        EncodeMSM([] {
            RMsmIn m;
            m.Number = 1087;
            m.Sats.push_back({3,
                              9,
                              false,
                              false,
                              {{2, 2e7, 2e7, 5, 700, true, 40}, {8, 2e7, 2e7, 5, 3, false, 30}}});
            return m;
        }()),
        [] {
            const TBytes f = StationFrame(1);
            return TBytes(f.begin() + 3, f.end() - 3);
        }()};
    for (int n : {1004, 1012}) {
        RLegacyIn l;
        l.Number = n;
        l.Sats.resize(3);
        for (auto& sat : l.Sats) sat.Id = 5, sat.P1 = sat.L1 = sat.P2 = sat.L2 = 2.1e7;
        seeds.push_back(EncodeLegacy(l));
    }
    rtcmtest::TDecoderRig fuzz(Start);
    for (int i = 0; i < 20000; ++i) {
        TBytes p = seeds[static_cast<std::size_t>(i) % seeds.size()];
        for (int k = 0; k < 1 + i % 4; ++k) p[rng() % p.size()] = static_cast<std::uint8_t>(rng());
        if (i % 3 == 0) p.resize(rng() % p.size() + 1);
        fuzz.Feed(Frame(p));
    }
    fuzz.Finish();
    EXPECT_GT(fuzz.Parser->TotalErrors(), 0);
}

TEST(RtcmFraming, GoodCrcShortBodyIsCountedAndSkipped) {
    // Each message cut after its header: the checksum is right, the fields are missing.
    struct {
        TBytes payload;
        int number;
    } cases[] = {
        {[] {
             RMsmIn m;
             m.Number = 1077;
             m.Sats.push_back({5, 0, false, false, {{2, 2.1e7, 2.1e7, 0, 1, false, 40}}});
             return EncodeMSM(m);
         }(),
         1077},
        {[] {
             RLegacyIn l;
             l.Sats.push_back({});
             l.Sats[0].Id = 4;
             l.Sats[0].P1 = 2.2e7;
             l.Sats[0].L1 = l.Sats[0].P2 = l.Sats[0].L2 = 2.2e7;
             return EncodeLegacy(l);
         }(),
         1004},
    };
    for (const auto& c : cases) {
        rtcmtest::TDecoderRig rig(Start);
        for (std::size_t len :
             {std::size_t{1}, std::size_t{3}, std::size_t{12}, c.payload.size() - 1}) {
            TBytes cut(c.payload.begin(), c.payload.begin() + static_cast<std::ptrdiff_t>(len));
            rig.Feed(Frame(cut));
        }
        rig.Feed(Frame(c.payload));
        rig.Finish();
        EXPECT_EQ(rig.Parser->ErrorCount(static_cast<std::uint16_t>(c.number)), 3) << c.number;
        EXPECT_EQ(rig.Parser->ErrorCount(0), 1) << c.number;  // the one-byte payload
        EXPECT_FALSE(rig.Log->empty());
        ASSERT_EQ(rig.Sink->Written.size(), 1u) << c.number;  // the whole message
    }
}

TEST(RtcmFraming, DecodeFrameChecksAWholeFrame) {
    TBytes f = StationFrame(77);
    auto p = TZQS_RTCM_Parser::Create(Start);
    p->SetMode(6);
    p->DecodeFrame(f.data(), static_cast<std::int32_t>(f.size()));
    EXPECT_EQ(p->StationID(), 77);
    EXPECT_EQ(p->Census(), (zqt_arrays::TSortedArrayOfInteger{1006}));
    f[8] ^= 0x40;
    EXPECT_THROW(p->DecodeFrame(f.data(), static_cast<std::int32_t>(f.size())),
                 zqt_rtcm_types::ExceptionRTCMCRC);
    EXPECT_THROW(p->DecodeFrame(f.data(), 5), zqt_rtcm_types::ExceptionRTCMCRC);
    EXPECT_THROW(p->DecodeFrame(f.data(), static_cast<std::int32_t>(f.size()) - 1),
                 zqt_rtcm_types::ExceptionRTCMCRC);
}

TEST(RtcmFraming, LengthOnlyModeChecksFramesWithoutDecoding) {
    const TBytes f = MsmFrame(1074, Start, false);
    auto p = TZQS_RTCM_Parser::Create(Start);
    EXPECT_FALSE(p->DecodesFrames());
    p->AddData(f.data(), static_cast<std::int32_t>(f.size()));
    EXPECT_EQ(p->PayloadLength(), f.size() - 6);
    EXPECT_TRUE(p->Census().empty());
    p->SetStop(true);
    EXPECT_FALSE(p->AddData(f.data(), static_cast<std::int32_t>(f.size())));
    EXPECT_EQ(p->TotalBytes(), static_cast<std::int64_t>(f.size()));
}

}  // namespace
