// Satellite records of an epoch: the checks of stored values, the cursor and key
// bookkeeping, lock indicators, and the Data blob (packing, precision, size rules).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <limits>
#include <string>
#include <vector>

#include "zqt_epoch_bs.h"
#include "zqt_types_bs.h"

using namespace zqt_epoch_bs;
using zqt_sat_obs_types::SatKey;
using zqt_variant::TBytes;
using zqt_variant::Variant;

namespace {

constexpr std::uint16_t G05 = SatKey(1, 5);
constexpr std::uint16_t G07 = SatKey(1, 7);
constexpr std::uint16_t R03 = SatKey(2, 3);
constexpr std::uint16_t E11 = SatKey(4, 11);
constexpr double Base = 22000000.0;
const double NaN = std::numeric_limits<double>::quiet_NaN();

// A free-standing object with N records, the first satellite at the cursor.
std::shared_ptr<TZQS_SatObs_bs> WithSat(std::uint16_t key, std::int32_t glo = 127) {
    auto so = TZQS_SatObs_bs::Create();
    so->Init(1);
    EXPECT_TRUE(so->SetCurSat(key, glo));
    return so;
}

std::vector<std::uint8_t> Pack(TZQS_SatObs_bs& so, std::int32_t index = 0) {
    TBlob b{};
    const std::size_t n = so.PackBlob(index, b);
    return std::vector<std::uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

RSatObsRecord Unpack(const std::vector<std::uint8_t>& blob) {
    RSatObsRecord r;
    EXPECT_EQ(UnpackBlob(r, blob.data(), blob.size()), blob.size());
    return r;
}

template <class E>
std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return "(no exception)";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Storing values

TEST(EpochSatObs, PseudorangeLimits) {
    struct Case {
        double first, second;
        bool secondKept;
        const char* what;
    } cases[] = {
        {999999.999, NaN, false, "below 1e6 m"},
        {1000000.0, NaN, true, "1e6 m"},
        {1000000000.0, NaN, true, "1e9 m"},
        {1000000000.5, NaN, false, "above 1e9 m"},
        // Any distance from the satellite's first pseudorange is kept.
        {Base, Base + 327.68, true, "327.68 m from the base"},
        {Base, Base - 400.0, true, "400 m below the base"},
        {Base, Base + 30000.0, true, "30 km from the base"},
    };
    for (const Case& c : cases) {
        auto so = WithSat(G05);
        if (std::isnan(c.second)) {
            so->SetCurRange(1, c.first);
            EXPECT_EQ(so->HasCurObs(1, 1), c.secondKept) << c.what;
            EXPECT_EQ(so->GetCurObsTypes() == 0u, !c.secondKept) << c.what;
        } else {
            so->SetCurRange(1, c.first);
            so->SetCurRange(3, c.second);
            EXPECT_EQ(so->HasCurObs(3, 1), c.secondKept) << c.what;
            EXPECT_EQ(so->GetCurBaseRange(), c.first) << c.what;
            EXPECT_EQ(Unpack(Pack(*so)).Band(3).Range, c.second) << c.what;
        }
    }
}

TEST(EpochSatObs, StrengthIsRoundedAndCapped) {
    const struct {
        double in;
        int out;
    } cases[] = {{255.4, 255}, {-1.0, 255}, {300.0, 255}, {12.5, 12}, {13.5, 14}, {0.0, 0}};
    for (const auto& c : cases) {
        auto so = WithSat(G05);
        so->SetCurStrength(1, c.in);
        EXPECT_EQ(so->GetCurSignalStrength(1), c.out) << c.in;
    }
}

TEST(EpochSatObs, ObservationTypeBits) {
    // Band 1 uses bits 1, 2, 3 and 19; band 6 uses 16, 17, 18 and 24.
    auto so = WithSat(G05);
    const double v[] = {0.0, Base, Base + 1.0, -500.0, 40.0};
    for (std::uint8_t k = 1; k <= 4; ++k) so->SetCurObs(1, k, v[k], 0);
    EXPECT_EQ(so->GetCurObsTypes(), (1u << 1) | (1u << 2) | (1u << 3) | (1u << 19));
    for (std::uint8_t k = 1; k <= 4; ++k) so->SetCurObs(6, k, v[k], 0);
    EXPECT_EQ(so->GetCurObsTypes() >> 16, (1u << 0) | (1u << 1) | (1u << 2) | (1u << 3) | (1u << 8))
        << "bits 16, 17, 18, 24 and band 1's 19";
    EXPECT_EQ(so->GetCurBandMask(), (1u << 1) | (1u << 6));
    // A NaN clears the kind, and the band when nothing is left of it.
    for (std::uint8_t k = 1; k <= 4; ++k) so->SetCurObs(6, k, NaN, 0);
    EXPECT_EQ(so->GetCurBandMask(), 1u << 1);
    EXPECT_TRUE(std::isnan(so->GetCurDoppler(6)));
}

TEST(EpochSatObs, IndexAndKeyErrors) {
    auto so = TZQS_SatObs_bs::Create();
    so->Init(2);
    EXPECT_EQ(MessageOf<zqt_types_bs::ExceptionZQS>([&] { so->SetObs(5, 1, 1, Base, 0); }),
              "SetObs: Bat sat idx 5/2");
    EXPECT_EQ(MessageOf<zqt_types_bs::ExceptionZQS>([&] { so->SetBaseRange(-1, Base); }),
              "SetObs: Bat sat idx -1/2");
    // An unused record: refused when a channel is given, ignored when none is found.
    EXPECT_EQ(MessageOf<zqt_types_bs::ExceptionZQS>([&] { so->SetObs(0, 1, 1, Base, 7); }),
              "SetObs: sat idx 0 not set");
    EXPECT_NO_THROW(so->SetObs(1, 1, 1, Base, 0));
    EXPECT_EQ(so->GetObsTypes(1), 0u);
}

TEST(EpochSatObs, SetCurSatRefusals) {
    const struct {
        std::uint16_t key;
        const char* what;
    } refused[] = {{SatKey(3, 1), "SBAS is disabled"},
                   {SatKey(8, 1), "system past the table"},
                   {SatKey(1, 0), "satellite number 0"},
                   {SatKey(1, 255), "satellite number 255"},
                   {0, "key 0"}};
    for (const auto& c : refused) {
        auto so = TZQS_SatObs_bs::Create();
        so->Init(1);
        EXPECT_FALSE(so->SetCurSat(c.key, 127)) << c.what;
        EXPECT_EQ(so->GetCurSatKey(), 0) << c.what;
    }
    auto so = TZQS_SatObs_bs::Create();
    so->Init(1);
    so->SetCursor(1);
    EXPECT_FALSE(so->SetCurSat(G05, 127)) << "cursor past the end";
    so->SetCursor(-1);
    EXPECT_FALSE(so->SetCurSat(G05, 127)) << "cursor before the first record";
}

TEST(EpochSatObs, DuplicateSatelliteDiscardsBothCopies) {
    auto so = TZQS_SatObs_bs::Create();
    so->Init(4);
    EXPECT_TRUE(so->SetCurSat(G05, 127));
    so->Next();
    EXPECT_TRUE(so->SetCurSat(G07, 127));
    so->Next();
    EXPECT_FALSE(so->SetCurSat(G05, 127));
    so->Next();
    EXPECT_FALSE(so->SetCurSat(G05, 127)) << "further copies are refused too";
    EXPECT_EQ(so->GetRecord(0)->Key, 0);
    EXPECT_EQ(so->GetRecord(1)->Key, G07);
    EXPECT_EQ(so->FindRecord(G05), nullptr);
    EXPECT_EQ(so->GetSystemCount(1), 1);
    EXPECT_EQ(so->PackAll(), 0) << "no record holds observations yet";
}

TEST(EpochSatObs, DescendingKeysAreSorted) {
    auto so = TZQS_SatObs_bs::Create();
    so->Init(3);
    for (std::uint16_t k : {E11, R03, G05}) {
        EXPECT_TRUE(so->SetCurSat(k, k == R03 ? -4 : 127));
        so->Next();
    }
    EXPECT_FALSE(so->GetInOrder());
    so->SortRecords();
    EXPECT_EQ(so->GetRecord(0)->Key, G05);
    EXPECT_EQ(so->GetRecord(2)->Key, E11);
    EXPECT_TRUE(so->SelectSat(R03));
    EXPECT_EQ(so->GetCursor(), 1);
    EXPECT_EQ(so->GetCurGloChannel(), -4);
    EXPECT_EQ(so->GetSatListText(), "G05 R03 E11 ");
    EXPECT_FALSE(so->SelectSat(200)) << "keys below 257";
    EXPECT_EQ(so->GetCursor(), -1);
}

TEST(EpochSatObs, CarrierFrequencies) {
    const struct {
        std::uint16_t Key;
        std::int32_t Channel;
        std::uint8_t Band;
        double Frequency;
    } cases[] = {
        {G05, 127, 1, 1575420000.0},
        {G05, 127, 5, 1176450000.0},
        {R03, -4, 1, 1602000000.0 - 4 * 562500.0},
        {R03, -4, 6, 0.0},    // GLONASS sends nothing on band 6
        {R03, 127, 1, -1.0},  // channel unknown
        {G05, 127, 0, 0.0},   // no band
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Key << " band " << int(c.Band));
        auto so = WithSat(c.Key, c.Channel);
        EXPECT_DOUBLE_EQ(so->GetFrequency(0, c.Band), c.Frequency);
        EXPECT_DOUBLE_EQ(so->GetWavelength(0, c.Band),
                         c.Frequency > 0.0 ? 299792458.0 / c.Frequency : 0.0);
    }
    EXPECT_DOUBLE_EQ(WithSat(G05)->GetFrequency(1, 1), -1.0) << "no record";
}

TEST(EpochSatObs, GetCountCutsBackToTheCursor) {
    auto so = TZQS_SatObs_bs::Create();
    so->Init(6);
    for (std::uint16_t k : {G05, G07, E11}) {
        so->SetCurSat(k, 127);
        so->Next();
    }
    EXPECT_EQ(so->GetCount(), 3);
    EXPECT_EQ(so->GetRecordCount(), 3);
    so->AddRecords(2);
    so->SetCursor(4);
    EXPECT_EQ(so->GetCount(), 3) << "unused records after the last one are dropped";
    so->ResetCursor();
    EXPECT_EQ(so->GetCount(), 3) << "a cursor before the first record cuts nothing";
}

TEST(EpochSatObs, AssignCopiesUsedRecordsOnly) {
    auto src = TZQS_SatObs_bs::Create();
    src->Init(4);
    for (std::uint16_t k : {G05, G05, G07, E11}) {  // the duplicate leaves two unused records
        src->SetCurSat(k, 127);
        src->SetCurRange(1, Base + k);
        src->Next();
    }
    src->SelectSat(E11);
    auto dst = TZQS_SatObs_bs::Create();
    dst->Init(1);
    dst->SetCurSat(R03, 1);
    dst->Assign(*src);
    EXPECT_EQ(dst->GetRecordCount(), 2);
    EXPECT_EQ(dst->GetCurSatKey(), E11);
    EXPECT_EQ(dst->FindRecord(R03), nullptr);
    EXPECT_EQ(dst->GetSystemCount(1), 1);
    EXPECT_EQ(dst->GetCurRange(1), Base + E11);
}

TEST(EpochSatObs, RinexFields) {
    auto so = WithSat(G05);
    const double w = so->GetCurWavelength(1);
    ASSERT_GT(w, 0.19);
    so->SetCurObsValue(1, 2, Variant("1000.5"), Variant("7"), Variant("1"), 0);
    EXPECT_NEAR(so->GetCurPhase(1), 1000.5 * w, 1e-9);
    EXPECT_EQ(so->GetCurSignalStrength(1), 42 * 4) << "digit 7 is 42 dB-Hz";
    EXPECT_EQ(so->GetCurLock(1), 0) << "LLI restarts the lock time";
    for (const Variant& v :
         {Variant(), Variant::Null(), Variant("NULL"), Variant("  "), Variant(0.0)}) {
        so->SetCurObsValue(3, 1, v, Variant(), Variant(), 0);
        EXPECT_FALSE(so->HasCurObs(3, 1));
    }
    // RINEX 2 codes: P1 counts as C/A with the C1-without-P1 flag.
    so->SetCurObsByCode(zqt_sat_obs_types::RNX_P1, 3, Variant(Base), Variant(), Variant(), true);
    EXPECT_TRUE(so->HasCurObs(1, 1));
    so->SetCurObsByCode(zqt_sat_obs_types::RNX_P1, 3, Variant(Base + 1), Variant(), Variant(),
                        false);
    EXPECT_TRUE(so->HasCurObs(2, 1));
}

TEST(EpochSatObs, SwapSignals) {
    auto so = WithSat(G05);
    so->SetCurObs(2, 2, Base + 5.0, 0);  // L1
    so->SetCurObs(2, 4, 44.0, 0);        // S1
    so->SwapCurSignals(zqt_sat_obs_types::OBS_L1, zqt_sat_obs_types::OBS_CP);
    so->SwapCurSignals(zqt_sat_obs_types::OBS_S1, zqt_sat_obs_types::OBS_SC1);
    EXPECT_EQ(so->GetCurPhase(1), Base + 5.0);
    EXPECT_EQ(so->GetCurSignalStrength(1), 44.0);
    EXPECT_FALSE(so->HasCurObs(2, 2));
    EXPECT_EQ(so->GetCurBandMask(), 1u << 1);
}

TEST(EpochSatObs, LockIndicator) {
    const struct {
        std::int64_t ticks;
        int lock;
    } cases[] = {{0, 0}, {310, 0}, {320, 1}, {10000, 5}, {10000000, 15}, {1000000000, 15}};
    for (const auto& c : cases) {
        auto so = WithSat(G05);
        so->SetEpochTime(1000000);
        so->UpdateLockTime(1, true);
        so->SetEpochTime(1000000 + c.ticks);
        so->UpdateLockTime(1, false);
        EXPECT_EQ(so->GetCurLock(1), c.lock) << c.ticks;
    }
}

TEST(EpochSatObs, LossOfLock) {
    const struct {
        int prevLock, curLock;
        std::int64_t dtTicks;
        bool loss;
    } cases[] = {
        {10, 10, 10000, false},  // locked 16 s, one second later: still locked
        {10, 9, 10000, true},    // indicator went down
        {5, 5, 10000, true},     // 512 ms lock and a 1 s gap: cannot tell
        {5, 6, 10000, false},    // grew within the gap
        {5, 6, 20000, true},     // grew too little for the gap
        {5, 5, 0, false},        // the same epoch again
    };
    for (const auto& c : cases) {
        auto so = WithSat(G05);
        so->SetEpochTime(5000000);
        so->GetCurBandRef(1)->Lock = static_cast<std::uint8_t>(c.prevLock);
        so->LossOfLock(1);
        so->SetEpochTime(5000000 + c.dtTicks);
        so->GetCurBandRef(1)->Lock = static_cast<std::uint8_t>(c.curLock);
        EXPECT_EQ(so->LossOfLock(1), c.loss) << c.prevLock << "->" << c.curLock;
    }
}

// ---------------------------------------------------------------------------------------
// Data blob

TEST(EpochBlob, RoundTripPrecision) {
    auto so = WithSat(G05);
    for (std::uint8_t b : {1, 3, 5}) {
        so->SetCurObs(b, 1, Base + 1.234567 * b, 0);
        so->SetCurObs(b, 2, Base + 0.3 + 0.1111117 * b, 0);
        so->SetCurObs(b, 3, -1234.5678 + b, 0);
        so->SetCurObs(b, 4, 40.0 + b, 0);
        so->GetCurBandRef(b)->Lock = static_cast<std::uint8_t>(b + 8);
    }
    const auto blob = Pack(*so);
    EXPECT_EQ(blob.size(), 9u + 3u * 19u);
    const RSatObsRecord r = Unpack(blob);
    EXPECT_EQ(r.BaseRange, Base + 1.234567);
    EXPECT_EQ(r.ObsTypes, so->GetCurObsTypes());
    EXPECT_EQ(r.BandMask, so->GetCurBandMask());
    for (unsigned b : {1u, 3u, 5u}) {
        const RSatObsBand& in = so->GetCurRecord()->Band(b);
        const RSatObsBand& out = r.Band(b);
        EXPECT_EQ(out.Range, in.Range) << "pseudoranges are kept whole, band " << b;
        EXPECT_NEAR(out.Phase, in.Phase, 0.000005 + 1e-9) << b;
        EXPECT_EQ(out.Doppler, static_cast<double>(static_cast<float>(in.Doppler))) << b;
        EXPECT_EQ(out.Strength, in.Strength);
        EXPECT_EQ(out.Lock, in.Lock);
        EXPECT_EQ(out.Kinds, in.Kinds);
    }
}

TEST(EpochBlob, ExactTiesRoundToEven) {
    // Phase differences from the base whose 1e-5 m end in exactly one half: the packed
    // field takes the even neighbour.
    const struct {
        double Diff;
        std::int64_t Field;
    } cases[] = {{0.015625, 1562}, {0.046875, 4688}, {-0.015625, -1562}};
    for (const auto& c : cases) {
        auto so = WithSat(G05);
        so->SetCurObs(1, 1, Base, 0);
        so->SetCurObs(3, 2, Base + c.Diff, 0);
        const RSatObsRecord r = Unpack(Pack(*so));
        ASSERT_EQ(r.BaseRange, Base);
        EXPECT_EQ(std::nearbyint((r.Band(3).Phase - Base) * 100000.0), c.Field) << c.Diff;
    }
}

TEST(EpochBlob, RecordsThatPackToNothing) {
    auto zeroBase = WithSat(G05);
    zeroBase->SetCurPhase(1, Base);
    auto nanBase = WithSat(G05);
    nanBase->SetCurRange(1, Base);
    nanBase->SetCurBaseRange(NaN);
    auto dopplerOnly = WithSat(G05);
    dopplerOnly->SetCurBaseRange(Base);
    dopplerOnly->SetCurDoppler(1, 100.0);
    dopplerOnly->SetCurStrength(1, 40.0);
    for (auto* so : {zeroBase.get(), nanBase.get(), dopplerOnly.get()}) {
        EXPECT_TRUE(Pack(*so).empty());
        EXPECT_EQ(so->PackAll(), 0);
        EXPECT_TRUE(so->PackedBlob(0).empty());
    }
}

TEST(EpochBlob, SizeRules) {
    std::vector<std::uint8_t> nine(9, 0);
    std::memcpy(nine.data(), &Base, 8);  // the hosts we build for are little-endian
    RSatObsRecord r;
    EXPECT_NO_THROW(ReadDataColumn(r, Variant(TBytes(nine))));
    EXPECT_EQ(r.BandMask, 0);
    EXPECT_EQ(r.BaseRange, Base);

    auto so = WithSat(G05);
    so->SetCurRange(1, Base);
    so->SetCurDoppler(1, 10.0);
    const auto good = Pack(*so);
    const struct {
        TBytes bytes;
        const char* what;
    } bad[] = {
        {TBytes(8, 0), "8 bytes"},
        {TBytes(good.begin(), good.end() - 1), "a field cut short"},
        {TBytes(good.begin(), good.begin() + 10), "a band header cut short"},
        {[&] {
             TBytes b(good.begin(), good.end());
             b.push_back(0);
             return b;
         }(),
         "a byte too many"},
    };
    for (const auto& c : bad) {
        EXPECT_EQ(
            MessageOf<zqt_types_bs::ExceptionZQS>([&] { ReadDataColumn(r, Variant(c.bytes)); }),
            "Bad Blob size")
            << c.what;
    }
    EXPECT_EQ(UnpackBlob(r, good.data(), good.size() - 1), BlobTruncated);
    EXPECT_EQ(MessageOf<zqt_types_bs::ExceptionZQS>([&] { ReadDataColumn(r, Variant("abc")); }),
              "Variant is not byte array");
    EXPECT_EQ(MessageOf<zqt_types_bs::ExceptionZQS>([&] { ReadDataColumn(r, Variant::Null()); }),
              "Variant is not byte array");
}

TEST(EpochBlob, PhaseOffsetRenewal) {
    auto so = WithSat(G05);
    const double w = so->GetCurWavelength(1);
    so->SetCurRange(1, Base);
    // Exactly at the limit (the largest representable phase not beyond it): no offset.
    double atLimit = Base + 21474.83646;
    while (atLimit - Base > 21474.83646) atLimit = std::nextafter(atLimit, 0.0);
    so->SetCurPhase(1, atLimit);
    EXPECT_NEAR(Unpack(Pack(*so)).Band(1).Phase, atLimit, 0.000005 + 1e-9);
    // Beyond it: the nearest whole number of wavelengths is taken off.
    const double beyond = Base + 21474.85;
    so->SetCurPhase(1, beyond);
    const double back = Unpack(Pack(*so)).Band(1).Phase;
    const double cycles = (beyond - back) / w;
    EXPECT_NEAR(cycles, std::nearbyint(cycles), 1e-4);
    EXPECT_NEAR(std::nearbyint(cycles), std::nearbyint(21474.85 / w), 0.5);
    EXPECT_LT(std::fabs(back - Base), 0.2);
    // The offset carries over: the next epoch's phase packs against it.
    so->SetCurPhase(1, beyond + 1.0);
    EXPECT_NEAR(beyond + 1.0 - Unpack(Pack(*so)).Band(1).Phase, beyond - back, 1e-5);
}

TEST(EpochBlob, PhaseWithoutWavelengthDropsOnlyThePhase) {
    // A GLONASS satellite of unknown channel has no wavelength for a new offset.
    auto so = WithSat(R03);
    so->SetCurRange(1, Base);
    so->SetCurPhase(1, Base + 30000.0);
    so->SetCurPhase(3, Base + 30000.0);  // a band with nothing else
    const auto blob = Pack(*so);
    ASSERT_FALSE(blob.empty()) << "the pseudorange is still saved";
    const RSatObsRecord r = Unpack(blob);
    EXPECT_EQ(r.Band(1).Kinds, zqt_obs_intrf::KindRange);
    EXPECT_EQ(r.BandMask, 1u << 1);
    // The record now tells what the blob holds.
    EXPECT_EQ(so->GetCurObsTypes(), r.ObsTypes);
    EXPECT_EQ(so->GetCurBandMask(), r.BandMask);
}

TEST(EpochBlob, CodeIsKeptWhenTheBaseMoves) {
    auto so = WithSat(G05);
    so->SetCurRange(1, Base);
    so->SetCurRange(3, Base + 300.0);
    so->SetCurPhase(3, Base + 300.5);
    so->SetCurBaseRange(Base - 100.0);  // band 3 is now 400 m away
    const RSatObsRecord r = Unpack(Pack(*so));
    EXPECT_EQ(r.Band(1).Range, Base);
    EXPECT_EQ(r.Band(3).Range, Base + 300.0);
    EXPECT_NEAR(r.Band(3).Phase, Base + 300.5, 1e-5);
    EXPECT_EQ(so->GetCurObsTypes(), r.ObsTypes);
}

TEST(EpochBlob, WholeDegrees) {
    const struct {
        double rad;
        int deg;
    } cases[] = {{NaN, 0},
                 {std::numeric_limits<double>::infinity(), 0},
                 {0.5 * std::numbers::pi, 90},
                 {-0.1, -6},
                 {-0.5 * std::numbers::pi, -90},
                 {1e300, 32767}};
    for (const auto& c : cases) EXPECT_EQ(WholeDegrees(c.rad), c.deg) << c.rad;
}
