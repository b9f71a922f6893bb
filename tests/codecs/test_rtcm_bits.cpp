// CRC-24Q and the bit reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rtcm_encoder.h"
#include "zqt_crc.h"
#include "zqt_rtcm_types.h"
#include "zqt_sat_obs_types.h"

using zqt_crc::TZQS_CRC24Q;
using zqt_rtcm_types::TBitReader;
using zqt_rtcm_types::TRTBits;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(RtcmCrc, CheckValues) {
    struct {
        std::string text;
        std::uint32_t crc;
    } cases[] = {{"123456789", 0xCDE703}, {"abc", 0x9FF359}, {"", 0x000000}};
    for (const auto& c : cases) {
        const auto b = Bytes(c.text);
        EXPECT_EQ(TZQS_CRC24Q::Compute(b.data(), b.size()), c.crc) << c.text;
    }
}

TEST(RtcmCrc, TableMatchesBitwiseCrcAndCheckFindsEverySingleBitError) {
    EXPECT_EQ(TZQS_CRC24Q::Table()[1], 0x1864CFBu);
    std::mt19937 rng(7);
    for (int n : {1, 2, 3, 10, 100, 1023}) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(n));
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        EXPECT_EQ(TZQS_CRC24Q::Compute(data.data(), data.size()),
                  rtcm_encoder::Crc24Q(data.data(), data.size()));
        // Update in two parts equals one pass.
        const std::uint32_t part = TZQS_CRC24Q::Update(data.data(), data.size() / 2, 0);
        EXPECT_EQ(TZQS_CRC24Q::Update(data.data() + data.size() / 2, data.size() - data.size() / 2,
                                      part) &
                      0xFFFFFF,
                  TZQS_CRC24Q::Compute(data.data(), data.size()));
    }
    std::vector<std::uint8_t> frame(40);
    for (auto& b : frame) b = static_cast<std::uint8_t>(rng());
    TZQS_CRC24Q::Put(frame.data() + 37, TZQS_CRC24Q::Compute(frame.data(), 37));
    ASSERT_TRUE(TZQS_CRC24Q::Check(frame.data(), 37));
    for (std::size_t bit = 0; bit < frame.size() * 8; ++bit) {
        frame[bit / 8] ^= static_cast<std::uint8_t>(0x80u >> (bit % 8));
        EXPECT_FALSE(TZQS_CRC24Q::Check(frame.data(), 37)) << bit;
        frame[bit / 8] ^= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    }
}

TEST(RtcmBits, GetBitsKindsAndAlignments) {
    struct {
        std::uint64_t value;
        unsigned count;
        unsigned kind;
        std::int64_t expect;
    } cases[] = {
        {0x80000, 20, 0, -524288},  // two's complement, lowest value
        {0x80001, 20, 3, -1},       // sign-magnitude
        {0x00001, 20, 3, 1},
        {0x7FFFF, 20, 0, 524287},
        {0xFFFFF, 20, 1, 0xFFFFF},  // unsigned
        {0x3FFF, 14, 0, -1},
        {1, 1, 2, 1},
        {0x123456789Aull, 38, 0, 0x123456789A},
        {0x2000000000ull, 38, 0, -0x2000000000ll},
        {0xFFFFFFFFFFFFFFFFull, 64, 1, -1},  // the raw 64 bits (a mask with the top bit set)
        {0x8000000000000001ull, 64, 1, static_cast<std::int64_t>(0x8000000000000001ull)},
        {0x00FFFFFFFFFFFFFFull, 56, 1, 0x00FFFFFFFFFFFFFF},
        {0x1FFFFFFFFFFFFFFull, 57, 1, 0x1FFFFFFFFFFFFFF},
    };
    for (const auto& c : cases) {
        for (unsigned lead = 0; lead < 8; ++lead) {
            rtcm_encoder::TBitWriter w;
            w.U(0x5A, lead);
            w.U(c.value, c.count);
            w.U(0x5, 3);
            std::uint32_t pos = lead;
            EXPECT_EQ(TRTBits::GetBits(w.Bytes().data(), pos, c.count, c.kind), c.expect)
                << c.count << " bits at " << lead;
            EXPECT_EQ(pos, lead + c.count);
            EXPECT_EQ(TRTBits::GetBits(w.Bytes().data(), pos, 3, 1), 5);
        }
    }
    std::uint32_t pos = 3;
    const std::uint8_t none[1] = {0};
    EXPECT_EQ(TRTBits::GetBits(none, pos, 0, 0), 0);
    EXPECT_EQ(pos, 3u);
    EXPECT_THROW(TRTBits::GetBits(none, pos, 65, 0), zqt_sat_obs_types::ExceptionZQS);
}

TEST(RtcmBits, StringsAtAnyBitPosition) {
    for (unsigned lead : {0u, 3u, 7u}) {
        rtcm_encoder::TBitWriter w;
        w.U(0, lead);
        w.Str("TRM57971.00");
        std::uint32_t pos = lead;
        EXPECT_EQ(TRTBits::GetString(w.Bytes().data(), pos, 11), "TRM57971.00");
        EXPECT_EQ(pos, lead + 88);
        EXPECT_EQ(TRTBits::GetString(w.Bytes().data(), pos, 0), "");
        EXPECT_EQ(pos, lead + 88);
    }
}

TEST(RtcmBits, ReaderNeverReadsPastItsPayload) {
    const std::uint8_t data[3] = {0xFF, 0x00, 0xAB};
    TBitReader r(data, 2);  // the third byte lies outside the payload
    EXPECT_EQ(r.U(8), 0xFFu);
    EXPECT_EQ(r.S(4), 0);
    EXPECT_THROW(r.U(5), zqt_rtcm_types::ExceptionRTCMMessage);
    EXPECT_EQ(r.Pos(), 12u);
    EXPECT_EQ(r.U(4), 0u);
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_THROW(r.Str(1), zqt_rtcm_types::ExceptionRTCMMessage);
    EXPECT_THROW(r.Need(1), zqt_rtcm_types::ExceptionRTCMMessage);
}

}  // namespace
