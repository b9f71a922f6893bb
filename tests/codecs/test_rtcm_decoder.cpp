// Message decoding against known values: epoch times, filters, epoch assembly, legacy and
// MSM round trips through the encoder, lock bookkeeping and error counting.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_test_util.h"
#include "zqt_rtc_parser.h"
#include "zqt_sat_obs_types.h"

using namespace rtcm_encoder;
using rtcmtest::RVec3;
using rtcmtest::RWrittenEpoch;
using rtcmtest::TDecoderRig;
using zqt_rtc_parser::TZQS_RTCM_Decoder;
using zqt_sat_obs_types::SatKey;

namespace {

constexpr int Leap = 18;                         // GPS - UTC in 2018
constexpr std::int64_t W = 2000 * TicksPerWeek;  // GPS week 2000 (2018-05-06)
constexpr std::int64_t Sec = TicksPerSecond;
// GLONASS midnight (Moscow) on the GPS scale: 21:00 UTC.
constexpr std::int64_t GloMidnight = W + 2 * TicksPerDay + (21 * 3600 + Leap) * Sec;

using zqt_sat_obs_types::SC_BDS;
using zqt_sat_obs_types::SC_GALILEO;
using zqt_sat_obs_types::SC_GLONASS;
using zqt_sat_obs_types::SC_GPS;
using zqt_sat_obs_types::SC_QZSS;

// ---------------------------------------------------------------------------------------
// Epoch times

TEST(RtcmDecoder, EpochTimesResolveNextToTheReference) {
    struct {
        const char* what;
        std::int64_t t;  // true epoch
        std::uint8_t system;
        bool legacy;
        std::int64_t offsets[2];  // reference - t
    } cases[] = {
        {"GPS mid-week", W + 3 * TicksPerDay, SC_GPS, false, {-3 * TicksPerDay, 3 * TicksPerDay}},
        {"GPS after the week turns", W + 5 * Sec, SC_GPS, false, {-20 * Sec, 3 * TicksPerDay}},
        {"GPS before the week turns", W - Sec, SC_GPS, false, {-3 * TicksPerDay, 20 * Sec}},
        {"Galileo", W + 12345 * Sec, SC_GALILEO, false, {-Sec, Sec}},
        {"BeiDou end of its week", W + 4 * Sec, SC_BDS, false, {-300000 * Sec, 10 * Sec}},
        {"GLONASS across Moscow midnight",
         GloMidnight - 500,
         SC_GLONASS,
         false,
         {-11 * 3600 * Sec, 11 * 3600 * Sec}},
        {"GLONASS after Moscow midnight",
         GloMidnight + 500,
         SC_GLONASS,
         false,
         {-11 * 3600 * Sec, 11 * 3600 * Sec}},
        {"GLONASS across the GPS week",
         W - 2 * Sec,
         SC_GLONASS,
         false,
         {-11 * 3600 * Sec, 11 * 3600 * Sec}},
        {"GLONASS time of day only",
         GloMidnight + 5 * Sec,
         SC_GLONASS,
         true,
         {-11 * 3600 * Sec, 11 * 3600 * Sec}},
        {"GLONASS time of day before midnight",
         GloMidnight - 5 * Sec,
         SC_GLONASS,
         true,
         {-11 * 3600 * Sec, 11 * 3600 * Sec}},
    };
    for (const auto& c : cases) {
        std::uint32_t field = 0;
        if (c.system == SC_GLONASS)
            field = c.legacy ? GloTodField(c.t, Leap) : GloMsmField(c.t, Leap);
        else
            field = c.system == SC_BDS ? BdsTowField(c.t) : TowField(c.t);
        for (std::int64_t off : {c.offsets[0], std::int64_t{0}, c.offsets[1]})
            EXPECT_EQ(TZQS_RTCM_Decoder::GPSTicksOfEpoch(c.t + off, c.system, field, c.legacy), c.t)
                << c.what << ", reference offset " << off;
    }
    // The GLONASS MSM time is its time of day nearest the reference: a day-of-week field
    // that names another day (receivers that always send 0) is ignored and reported; day 7
    // ("unknown") names none.
    struct {
        const char* what;
        std::uint32_t field;
        bool ignored;
    } days[] = {
        {"right day", GloMsmField(GloMidnight + Sec, Leap), false},
        {"day 7", GloMsmField(GloMidnight + Sec, Leap, true), false},
        {"day 0 on another day",
         (GloMsmField(GloMidnight + Sec, Leap) & 0x7FFFFFFu) |
             (((GloMsmField(GloMidnight + Sec, Leap) >> 27) + 3) % 7 << 27),
         true},
    };
    for (const auto& d : days) {
        bool ignored = !d.ignored;
        EXPECT_EQ(TZQS_RTCM_Decoder::GPSTicksOfEpoch(GloMidnight - 3600 * Sec, SC_GLONASS, d.field,
                                                     false, &ignored),
                  GloMidnight + Sec)
            << d.what;
        EXPECT_EQ(ignored, d.ignored) << d.what;
    }
    // A BeiDou time of week wrapped below zero (GPS time less 14 s, not brought into the
    // week) is the first 14 s of the GPS week, next to a reference on either side of it.
    for (const std::int64_t ms : {0, 3000, 13999})
        for (const std::int64_t ref : {W - 10 * Sec, W + 20 * Sec})
            EXPECT_EQ(TZQS_RTCM_Decoder::GPSTicksOfEpoch(
                          ref, SC_BDS, static_cast<std::uint32_t>((1 << 30) - 14000 + ms)),
                      W + ms * 10)
                << ms;
    // Fields outside their range are refused.
    EXPECT_THROW(TZQS_RTCM_Decoder::GPSTicksOfEpoch(W, SC_BDS, (1 << 30) - 14001),
                 zqt_rtcm_types::ExceptionRTCMMessage);
    EXPECT_THROW(TZQS_RTCM_Decoder::GPSTicksOfEpoch(W, SC_GPS, 604800000),
                 zqt_rtcm_types::ExceptionRTCMMessage);
    EXPECT_THROW(TZQS_RTCM_Decoder::GPSTicksOfEpoch(W, SC_BDS, 604800000),
                 zqt_rtcm_types::ExceptionRTCMMessage);
    EXPECT_THROW(TZQS_RTCM_Decoder::GPSTicksOfEpoch(W, SC_GLONASS, 86401000, true),
                 zqt_rtcm_types::ExceptionRTCMMessage);
}

// ---------------------------------------------------------------------------------------
// Filters

TEST(RtcmDecoder, Modes) {
    struct {
        std::uint8_t mode;
        std::vector<int> in, out;
    } modes[] = {
        {1, {1005, 1006, 1033, 1230}, {1004, 1019, 1074}},
        {2, {1000, 1074, 4094, 5000}, {999, 5001}},
        {3, {1005, 1019, 1020, 1042, 1043, 1046}, {1004, 1074, 1057}},
        {4, {1004, 1012, 1074, 1137, 1230}, {1003, 1019, 1070, 1138}},
        {5, {1057, 1068, 1240, 1270, 4076}, {1005, 1074}},
    };
    for (const auto& m : modes) {
        const auto list = zqt_rtc_parser::ModeMessages(m.mode);
        for (int n : m.in)
            EXPECT_TRUE(std::binary_search(list.begin(), list.end(), n)) << int(m.mode) << " " << n;
        for (int n : m.out)
            EXPECT_FALSE(std::binary_search(list.begin(), list.end(), n))
                << int(m.mode) << " " << n;
    }
    EXPECT_TRUE(zqt_rtc_parser::ModeMessages(0).empty());
    EXPECT_TRUE(zqt_rtc_parser::ModeMessages(9).empty());
}

TEST(RtcmDecoder, MessageTableGivesTheListsRanksAndHandOvers) {
    using namespace zqt_rtc_parser;
    using TList = zqt_arrays::TSortedArrayOfInteger;
    EXPECT_EQ(StationMessages(), (TList{1005, 1006, 1007, 1008, 1032, 1033, 1230}));
    EXPECT_EQ(EphemerisMessages(), (TList{1019, 1020, 1041, 1042, 1043, 1044, 1045, 1046}));
    EXPECT_EQ(LegacyObservationMessages(), (TList{1004, 1012}));
    EXPECT_EQ(CorrectionMessages().size(), 12u + 31u + 1u);
    const TList& msm = MSMMessages();
    EXPECT_EQ(msm.size(), 49u);
    for (const int n : msm) EXPECT_TRUE(n % 10 >= 1 && n % 10 <= 7 && n < 1140) << n;

    const std::pair<int, int> ranks[] = {{1001, 0}, {1003, 1},  {1004, 2},  {1011, 1}, {1012, 2},
                                         {1070, 0}, {1071, 11}, {1077, 17}, {1080, 0}, {1137, 17},
                                         {1140, 0}, {1005, 0},  {1019, 0}};
    for (const auto& [number, rank] : ranks)
        EXPECT_EQ(TZQS_RTCM_Decoder::ObservationRank(static_cast<std::uint16_t>(number)), rank)
            << number;

    // A row reaches its sink exactly when it has a decoder; a record goes on only from
    // rows that decode one.
    for (const TZQS_RTCM_Decoder::RMessageRow& row : TZQS_RTCM_Decoder::MessageTable()) {
        SCOPED_TRACE(row.First);
        EXPECT_EQ(row.Decoder == nullptr, row.Sink == EHandOver::Nothing);
        EXPECT_TRUE(row.Decoder || (!row.Fields && !row.HandOver && row.Rank == 0));
        if (row.Sink == EHandOver::NavigationStore) {
            EXPECT_EQ(row.Kind, EMessageKind::Ephemeris);
        }
        if (row.Rank > 0) {
            EXPECT_TRUE(IsObservationKind(row.Kind));
        }
    }
    EXPECT_EQ(TZQS_RTCM_Decoder::MessageRow(1000), nullptr);
    EXPECT_EQ(TZQS_RTCM_Decoder::MessageRow(1069), nullptr);
    ASSERT_NE(TZQS_RTCM_Decoder::MessageRow(1229), nullptr);
    EXPECT_EQ(TZQS_RTCM_Decoder::MessageRow(1229)->Kind, EMessageKind::MSM);
}

// ---------------------------------------------------------------------------------------
// MSM round trips

struct RSignalUse {
    int id;
    unsigned slot;
};

struct RSystemCase {
    const char* name;
    std::uint8_t system;
    int group;  // 1070, 1080, ...
    std::vector<RSignalUse> signals;
};

const std::vector<RSystemCase>& Systems() {
    static const std::vector<RSystemCase> s = {
        {"GPS", SC_GPS, 1070, {{2, 1}, {17, 3}, {24, 5}}},
        {"GLONASS", SC_GLONASS, 1080, {{2, 1}, {8, 3}}},
        {"Galileo", SC_GALILEO, 1090, {{5, 1}, {16, 4}, {24, 5}}},
        {"QZSS", SC_QZSS, 1110, {{2, 1}, {17, 3}, {24, 5}}},
        {"BeiDou", SC_BDS, 1120, {{2, 1}, {8, 3}, {14, 4}}},
    };
    return s;
}

// Truth of one cell at epoch k.
RMsmCellIn Truth(int sat, const RSignalUse& sig, int k, int type) {
    RMsmCellIn c;
    c.Signal = sig.id;
    c.Rate = -640.0 + sat * 41.7 + sig.id * 0.01;
    c.Pseudorange = 20.5e6 + sat * 1.1e5 + sig.id * 1.37 + c.Rate * k;
    c.Phase = c.Pseudorange + 0.731 * sig.id - 3.0;
    c.Lock = type >= 6 ? 300 + k : 9;
    c.Cnr = type >= 6 ? 33.5625 + sat * 0.25 : 30.0 + sat % 20;
    return c;
}

int GloChannelOf(int sat) { return sat % 14 - 7; }

TEST(RtcmDecoder, MsmRoundTripsOfEverySystemAcrossWeekAndGlonassDay) {
    // Epochs around the GPS week turn, and around Moscow midnight for GLONASS.
    const std::vector<int> sats = {1, 5, 9, 14};
    for (const RSystemCase& sys : Systems()) {
        const std::int64_t t0 = sys.system == SC_GLONASS ? GloMidnight - 2 * Sec : W - 2 * Sec;
        for (int type : {4, 5, 7}) {
            TDecoderRig rig(t0 - 3600 * Sec);
            for (int k = 0; k < 4; ++k) {
                const std::int64_t t = t0 + k * Sec;
                RMsmIn m;
                m.Number = sys.group + type;
                m.EpochField = sys.system == SC_GLONASS ? GloMsmField(t, Leap)
                               : sys.system == SC_BDS   ? BdsTowField(t)
                                                        : TowField(t);
                for (int id : sats) {
                    RMsmSatIn s;
                    s.Id = id;
                    s.ExtInfo = sys.system == SC_GLONASS ? GloChannelOf(id) + 7 : 0;
                    for (const RSignalUse& sig : sys.signals)
                        s.Cells.push_back(Truth(id, sig, k, type));
                    m.Sats.push_back(s);
                }
                rig.Feed(Frame(EncodeMSM(m)));
            }
            const auto& out = rig.Finish();
            const std::string what = std::string(sys.name) + " MSM" + std::to_string(type);
            ASSERT_EQ(out.size(), 4u) << what;
            const double rangeTol = type >= 6 ? 0.001 : 0.01;
            const double phaseTol = type >= 6 ? 0.0002 : 0.0006;
            const double cnrTol = type >= 6 ? 0.0 : 0.5;
            for (int k = 0; k < 4; ++k) {
                const RWrittenEpoch& e = out[static_cast<std::size_t>(k)];
                EXPECT_EQ(e.Time, t0 + k * Sec) << what;
                ASSERT_EQ(e.Sats.size(), sats.size()) << what;
                for (int id : sats) {
                    const auto* ws = e.Find(SatKey(sys.system, static_cast<unsigned>(id)));
                    ASSERT_NE(ws, nullptr) << what << " sat " << id;
                    const int ch = sys.system == SC_GLONASS ? GloChannelOf(id) : 0;
                    for (const RSignalUse& sig : sys.signals) {
                        const RMsmCellIn c = Truth(id, sig, k, type);
                        const double w =
                            zqt_sat_obs_types::CarrierWavelength(sys.system, sig.slot, ch);
                        EXPECT_NEAR(ws->Range(sig.slot), c.Pseudorange, rangeTol)
                            << what << " " << id << "/" << sig.id;
                        EXPECT_NEAR(ws->Phase(sig.slot), c.Phase, phaseTol)
                            << what << " " << id << "/" << sig.id;
                        EXPECT_NEAR(ws->Strength(sig.slot), std::round(c.Cnr * 4.0),
                                    cnrTol * 4.0 + 0.5)
                            << what;
                        if (type == 5 || type == 7)
                            EXPECT_NEAR(ws->Doppler(sig.slot), -c.Rate / w, 0.0001 / w) << what;
                        else
                            EXPECT_TRUE(std::isnan(ws->Doppler(sig.slot))) << what;
                    }
                    if (sys.system == SC_GLONASS && type != 4) {
                        EXPECT_EQ(ws->GloChannel, ch) << what;
                    }
                }
            }
        }
    }
}

TEST(RtcmDecoder, MsmTypesStoreWhatTheyCarry) {
    struct {
        int type;
        bool range, phase, strength, lock;
    } cases[] = {
        {1, true, false, false, false}, {2, false, true, false, true}, {3, true, true, false, true},
        {4, true, true, true, true},    {6, true, true, true, true},
    };
    for (const auto& c : cases) {
        // MSM1..3 carry no whole milliseconds: they are predicted from the orbit.
        TDecoderRig rig(W);
        auto nav = rtcmtest::TFakeNav::Make();
        const RVec3 station{3500000.0, 780000.0, 5250000.0};
        nav->Orbit->Positions[SatKey(SC_GPS, 6)] = {station.X + 21.0e6, station.Y, station.Z};
        rig.Parser->SetDataStorage(nav);
        rig.Parser->SetStationPosition(station);
        RMsmIn m;
        m.Number = 1070 + c.type;
        m.EpochField = TowField(W + 100 * Sec);
        m.Sats.push_back(
            {6, 0, false, false, {{2, 21.0e6 + 12.5, 21.0e6 + 20.25, 0.0, 5, false, 41.0}}});
        rig.Feed(Frame(EncodeMSM(m)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 1u) << c.type;
        ASSERT_EQ(out[0].Sats.size(), 1u) << c.type;
        const auto& s = out[0].Sats[0];
        EXPECT_EQ(s.Has(1, 1), c.range) << c.type;
        if (c.range) {
            EXPECT_NEAR(s.Range(1), 21.0e6 + 12.5, 0.02) << c.type;
        }
        EXPECT_EQ(s.Has(1, 2), c.phase) << c.type;
        if (c.phase) {
            EXPECT_NEAR(s.Phase(1), 21.0e6 + 20.25, 0.001) << c.type;
        }
        EXPECT_EQ(s.Has(1, 4), c.strength) << c.type;
        EXPECT_FALSE(s.Has(1, 3)) << c.type;
        EXPECT_GT(s.Rec.BaseRange, 2.0e7) << c.type;
    }
}

TEST(RtcmDecoder, MsmInvalidAndMissingValues) {
    auto run = [](RMsmSatIn sat, bool withNav) {
        TDecoderRig rig(W);
        if (withNav) {
            auto nav = rtcmtest::TFakeNav::Make();
            rig.Parser->SetDataStorage(nav);
        }
        RMsmIn m;
        m.Number = 1077;
        m.EpochField = TowField(W + 7 * Sec);
        m.Sats.push_back(sat);
        rig.Feed(Frame(EncodeMSM(m)));
        return rig.Finish();
    };
    const RMsmCellIn good{2, 22.0e6, 22.0e6 + 1.0, 100.0, 500, false, 44.0};
    {  // rough integer ms 255: no range, no phase
        auto out = run({3, 0, true, false, {good}}, false);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_FALSE(out[0].Sats.at(0).Has(1, 1) || out[0].Sats.at(0).Has(1, 2));
        EXPECT_EQ(out[0].Sats.at(0).Rec.BaseRange, 0.0);
    }
    {  // rough integer ms 0 without an orbit: the range is refused
        auto out = run({3, 0, false, true, {good}}, true);
        EXPECT_TRUE(out.empty() || !out[0].Sats[0].Has(1, 1));
    }
    {  // CNR 0, fine values invalid
        RMsmCellIn c = good;
        c.Cnr = 0.0;
        RMsmCellIn d = good;
        d.Signal = 17;
        d.Pseudorange = NAN;
        d.Rate = NAN;
        auto out = run({3, 0, false, false, {c, d}}, false);
        ASSERT_EQ(out.size(), 1u);
        const auto& s = out[0].Sats[0];
        EXPECT_TRUE(s.Has(1, 1) && s.Has(1, 2) && s.Has(1, 3));
        EXPECT_FALSE(s.Has(1, 4));
        EXPECT_FALSE(s.Has(3, 1));
        EXPECT_FALSE(s.Has(3, 3));
        EXPECT_TRUE(s.Has(3, 2));
    }
}

TEST(RtcmDecoder, MsmSignalSlots) {
    struct {
        int group;
        std::vector<int> signals;
        std::vector<std::pair<int, unsigned>> stored;  // signal -> slot; slot 0: not stored
    } cases[] = {
        {1070, {17, 16}, {{17, 3}, {16, 0}}},
        {1070, {16}, {{16, 3}}},
        {1090, {2, 5}, {{5, 1}, {2, 0}}},
        {1090, {2}, {{2, 1}}},
        {1070, {2, 3, 4}, {{2, 1}, {4, 2}, {3, 0}}},
        {1070, {1, 2}, {{2, 1}}},  // signal 1 is not in the table
    };
    for (const auto& c : cases) {
        TDecoderRig rig(W);
        RMsmIn m;
        m.Number = c.group + 4;
        m.EpochField = TowField(W + Sec);
        RMsmSatIn s{8, 0, false, false, {}};
        double off = 0.0;
        for (int sig : c.signals)
            s.Cells.push_back({sig, 23.0e6 + (off += 1.0), 23.0e6 + off, 0.0, 3, false, 40.0});
        m.Sats.push_back(s);
        rig.Feed(Frame(EncodeMSM(m)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 1u);
        const auto& rec = out[0].Sats.at(0);
        unsigned bands = 0;
        for (const auto& [sig, slot] : c.stored) {
            if (slot == 0) continue;
            bands |= 1u << slot;
            double expect = 23.0e6;
            for (std::size_t i = 0; i < c.signals.size(); ++i)
                if (c.signals[i] == sig) expect += static_cast<double>(i + 1);
            EXPECT_NEAR(rec.Range(slot), expect, 0.01) << c.group << " signal " << sig;
        }
        EXPECT_EQ(rec.Rec.BandMask, bands) << c.group;
    }
}

TEST(RtcmDecoder, MsmCellLimitAndEmptyMasks) {
    auto msm = [](int sats, int number, std::int64_t t) {
        RMsmIn m;
        m.Number = number;
        m.EpochField = TowField(t);
        m.Multiple = true;
        for (int id = 1; id <= sats; ++id) {
            RMsmSatIn s{id, 0, false, false, {}};
            for (int sig : {2, 3, 4, 8, 9, 10})
                s.Cells.push_back({sig, 2.2e7 + id, 2.2e7 + id, 0, 1, false, 40});
            m.Sats.push_back(s);
        }
        return Frame(EncodeMSM(m));
    };
    TDecoderRig rig(W);
    rig.Feed(msm(10, 1074, W + Sec));  // 60 cells
    rig.Feed(msm(11, 1074, W + Sec));  // 66 cells: dropped
    RMsmIn empty;
    empty.Number = 1094;
    empty.EpochField = TowField(W + Sec);
    empty.Multiple = true;
    rig.Feed(Frame(EncodeMSM(empty)));
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Sats.size(), 10u);
    EXPECT_EQ(rig.Parser->ErrorCount(1074), 1);
    EXPECT_NE(rig.Parser->DecodeErrors().at(1074).First.find("Size of cell mask is too big: 66"),
              std::string::npos);
}

// A GLONASS message of Station at t stating channel fields for satellites (id, field):
// 1012 (channel + 7) or an MSM7 (extended information, channel + 7).
TBytes GloStatement(int Number, int Station, std::int64_t t,
                    const std::vector<std::pair<int, int>>& Fields, bool Multiple = false) {
    if (Number == 1012) {
        RLegacyIn l;
        l.Number = 1012;
        l.Station = Station;
        l.Synchronous = Multiple;
        l.EpochField = GloTodField(t, Leap);
        for (const auto& [id, field] : Fields)
            l.Sats.push_back({id, field, 0, 2.1e7, 2.1e7, 127, 45.0, 0, 2.1e7, 2.1e7});
        return Frame(EncodeLegacy(l));
    }
    RMsmIn o;
    o.Number = Number;
    o.Station = Station;
    o.Multiple = Multiple;
    o.EpochField = GloMsmField(t, Leap);
    for (const auto& [id, field] : Fields)
        o.Sats.push_back({id, field, false, false, {{2, 2.1e7, 2.1e7, -300.0, 5, false, 40.0}}});
    return Frame(EncodeMSM(o));
}

TEST(RtcmDecoder, GlonassChannelsDopplerAndBiases) {
    // Extended information 15 (unknown) and MSM4: the channel comes from the orbit provider
    // when it knows one; without a channel range and phase stay, the Doppler is not written
    // (and is counted). A channel entered from an ephemeris serves as well. So does a
    // channel that another station states (1012, MSM7) in the first pass, which decodes no
    // observations, unless the satellite's orbit or ephemeris gives another; a channel
    // number outside the channels states none. A message's own statement that contradicts
    // the channel established (by a statement before it, an ephemeris or an orbit) is not
    // used, and is counted. A channel that a message gives to two satellites (a field the
    // receiver does not fill) states none for them, and each is counted; the message's
    // other channels (R14's 5) stand.
    struct {
        int number;
        int ext;
        bool provider, entered;
        int statedBy;     // a message of station 9 before (0: none)
        int statedValue;  // its channel field: 1012 channel + 7 (0..20), 1087 0..13
        bool crowd;       // false: in a first pass, for R11; true: in the same pass, R11, R12
        int expectChannel;
    } cases[] = {{1085, 15, false, false, 0, 0, false, 127},
                 {1085, 15, true, false, 0, 0, false, -3},
                 {1084, 0, true, false, 0, 0, false, -3},
                 {1085, 14, false, false, 0, 0, false, 127},
                 {1085, 15, false, true, 0, 0, false, -3},
                 {1084, 0, false, false, 1012, 4 + 7, false, 4},
                 {1084, 0, true, false, 1012, 4 + 7, false, -3},
                 {1084, 0, false, true, 1012, 4 + 7, false, -3},
                 {1085, 15, false, false, 1087, 2 + 7, false, 2},
                 {1084, 0, true, false, 1012, 25, false, -3},
                 {1084, 0, false, false, 1087, 14, false, 127},
                 {1085, 1 + 7, false, false, 1012, 4 + 7, false, 4},
                 {1085, 1 + 7, false, true, 0, 0, false, -3},
                 {1085, 1 + 7, true, false, 0, 0, false, -3},
                 {1085, 1 + 7, false, false, 0, 0, false, 1},
                 {1084, 0, true, false, 1012, 0, true, -3},
                 {1085, 15, false, false, 1087, 0, true, 127}};
    const std::uint16_t R14 = SatKey(SC_GLONASS, 14);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.number) + "/" + std::to_string(c.ext) + " stated by " +
                     std::to_string(c.statedBy) + "/" + std::to_string(c.statedValue) +
                     (c.crowd ? " for two" : "") + (c.provider ? " orbit" : "") +
                     (c.entered ? " 1020" : ""));
        const bool firstPass = c.statedBy != 0 && !c.crowd;
        TDecoderRig rig(GloMidnight, firstPass ? zqt_rtc_parser::ModeNavigation : 6);
        std::vector<std::pair<int, int>> stated{{11, c.statedValue}};
        if (c.crowd) stated.insert(stated.end(), {{12, c.statedValue}, {14, 12}});
        if (c.statedBy != 0) rig.Feed(GloStatement(c.statedBy, 9, GloMidnight, stated));
        if (firstPass) {
            rig.Parser->BeginPass();
            rig.Parser->SetMode(6);
        }
        if (c.entered) rig.Parser->EnterGloChannel(11, -3);
        if (c.provider) {
            auto nav = rtcmtest::TFakeNav::Make();
            nav->Orbit->Channels[SatKey(SC_GLONASS, 11)] = -3;
            rig.Parser->SetDataStorage(nav);
        }
        RMsmIn m;
        m.Number = c.number;
        m.EpochField = GloMsmField(GloMidnight + Sec, Leap);
        m.Sats.push_back(
            {11, c.ext, false, false, {{2, 2.1e7, 2.1e7 + 2.0, -300.0, 5, false, 40.0}}});
        rig.Feed(Frame(EncodeMSM(m)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), c.crowd ? 2u : 1u);  // the epoch of station 9's message
        const auto& s = out.back().Sats.at(0);
        EXPECT_EQ(s.GloChannel, c.expectChannel);
        EXPECT_TRUE(s.Has(1, 1));
        EXPECT_NEAR(s.Rec.Band(1).Phase, 2.1e7 + 2.0, 0.001);
        const bool doppler = c.number == 1085 && c.expectChannel != 127;
        EXPECT_EQ(s.Has(1, 3), doppler);
        if (doppler) {
            EXPECT_GT(s.Doppler(1), 0.0);  // approaching: positive Doppler
        }
        const auto& counts = rig.Parser->AssemblyCounts();
        // Station 9's MSM7 of R11 and R12 too.
        EXPECT_EQ(counts.GloDopplersWithoutChannel,
                  (c.number == 1085 && !doppler ? 1 : 0) + (c.crowd && c.statedBy == 1087 ? 2 : 0));
        EXPECT_EQ(counts.GloChannelsShared, c.crowd ? 2 : 0);
        EXPECT_EQ(counts.GloChannelsContradicted,
                  c.number == 1085 && c.ext <= 13 && c.ext - 7 != c.expectChannel ? 1 : 0);
        // Legacy phases (L1, L2) of R12, whose channel nothing gives, are left out.
        EXPECT_EQ(counts.GloPhasesWithoutChannel, c.crowd && c.statedBy == 1012 ? 2 : 0);
        if (c.crowd) {
            ASSERT_NE(out[0].Find(R14), nullptr);
            EXPECT_EQ(out[0].Find(R14)->GloChannel, 5);
        }
    }

    // GLONASS values left out for want of a channel are counted for the epochs that the
    // time window keeps only: of four epochs of MSM5 (R11, one Doppler) and 1012 (R12, two
    // phases), an interval of 2 s keeps two.
    {
        TDecoderRig rig(GloMidnight);
        zqt_types_bs::TRReaderSettings window;
        window.Interval = 2 * Sec;
        rig.Parser->SetReaderSettings(window);
        for (int k = 0; k < 4; ++k) {
            rig.Feed(GloStatement(1085, 0, GloMidnight + k * Sec, {{11, 15}}));
            rig.Feed(GloStatement(1012, 9, GloMidnight + k * Sec, {{12, 25}}));
        }
        EXPECT_EQ(rig.Finish().size(), 4u);  // two epochs of each station
        EXPECT_EQ(rig.Parser->AssemblyCounts().GloDopplersWithoutChannel, 2);
        EXPECT_EQ(rig.Parser->AssemblyCounts().GloPhasesWithoutChannel, 4);
    }

    // Streams shaped like receivers and casters, read in two passes as a recording is:
    // R11..R13 on the channels 4, 5, 6. The channel of a satellite is the same in every
    // epoch of every station, from the first one on, and the Dopplers are given with it: a
    // broadcast channel (1020), wherever it comes in the stream, beats every statement; a
    // channel given to two satellites of one message states none; the first statement
    // serves a station that states none (MSM4), and one that contradicts it is not used.
    struct RMsg {
        int sec, number, station;  // 1020: one ephemeris per satellite of Fields
        std::vector<std::pair<int, int>> fields;
        bool multiple = false;
    };
    const std::vector<std::pair<int, int>> right{{11, 4 + 7}, {12, 5 + 7}, {13, 6 + 7}};
    const std::vector<std::pair<int, int>> zero2{{11, 0}, {12, 0}};
    const struct {
        const char* name;
        std::vector<RMsg> stream;
        std::size_t epochs;
        int shared, contradicted;
    } shapes[] = {
        // The last message gives two satellites channel -7.
        {"last",
         {{0, 1020, 0, right}, {0, 1087, 5, right}, {1, 1087, 5, right}, {2, 1087, 5, zero2}},
         3,
         2,
         0},
        // The last message gives one satellite a wrong channel; no ephemeris.
        {"last alone",
         {{0, 1087, 5, right}, {1, 1087, 5, right}, {2, 1087, 5, {{11, 0}}}},
         3,
         0,
         1},
        // Every message gives one channel to all its satellites; the ephemerides come last.
        {"poisoned",
         {{0, 1087, 5, zero2}, {1, 1087, 5, {{11, 0}, {12, 0}, {13, 0}}}, {1, 1020, 0, right}},
         2,
         5,
         0},
        // Messages of two satellites and one, all with 0; the ephemerides after the first.
        {"split",
         {{0, 1087, 5, zero2, true},
          {0, 1087, 5, {{13, 0}}},
          {0, 1020, 0, right},
          {1, 1087, 5, zero2, true},
          {1, 1087, 5, {{13, 0}}}},
         2,
         4,
         2},
        // Station 9 states the channels in 1012, station 59 gives two satellites 0.
        {"two stations",
         {{0, 1012, 9, right}, {0, 1087, 59, zero2}, {1, 1012, 9, right}, {1, 1087, 59, zero2}},
         4,
         4,
         0},
        // Station 0 sends MSM4 from before another station states the channels.
        {"MSM4 first", {{0, 1084, 0, zero2}, {1, 1087, 9, right}}, 2, 0, 0},
    };
    for (const auto& c : shapes) {
        SCOPED_TRACE(c.name);
        TBytes stream;
        for (const RMsg& m : c.stream) {
            if (m.number != 1020) {
                Append(stream, GloStatement(m.number, m.station, GloMidnight + m.sec * Sec,
                                            m.fields, m.multiple));
                continue;
            }
            for (const auto& [id, field] : m.fields) {
                RGloEphIn e;
                e.Sat = id;
                e.Fcn = field;
                Append(stream, Frame(EncodeGloEph(e)));
            }
        }
        TDecoderRig rig(GloMidnight, zqt_rtc_parser::ModeNavigation);
        rig.Feed(stream);
        rig.Parser->BeginPass();
        rig.Parser->SetMode(6);
        rig.Feed(stream);
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), c.epochs);
        for (const RWrittenEpoch& e : out)
            for (const auto& s : e.Sats) {
                const auto number = static_cast<int>(zqt_sat_obs_types::SatKeyNumber(s.Key));
                const std::int32_t channel = number - 7;  // 11..13: 4..6
                EXPECT_EQ(s.GloChannel, channel) << "R" << number << " at " << e.Time;
                if (s.Has(1, 3)) {
                    EXPECT_NEAR(
                        s.Doppler(1),
                        300.0 / zqt_sat_obs_types::CarrierWavelength(SC_GLONASS, 1, channel), 1e-6);
                }
            }
        const auto& counts = rig.Parser->AssemblyCounts();
        EXPECT_EQ(counts.GloDopplersWithoutChannel, 0);
        EXPECT_EQ(counts.GloChannelsShared, c.shared);
        EXPECT_EQ(counts.GloChannelsContradicted, c.contradicted);
    }

    // 1230 biases of the same station move the phase by k * step / c * bias cycles.
    TDecoderRig rig(GloMidnight);
    auto& bias = rig.Parser->GloBiases();
    bias.StationID = 4;
    bias.Bias[1] = 2.5;
    RMsmIn m;
    m.Number = 1087;
    m.Station = 4;
    m.EpochField = GloMsmField(GloMidnight + Sec, Leap);
    m.Sats.push_back({11, 4 + 7, false, false, {{2, 2.1e7, 2.1e7 + 2.0, 0.0, 5, false, 40.0}}});
    rig.Feed(Frame(EncodeMSM(m)));
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 1u);
    const double w = zqt_sat_obs_types::CarrierWavelength(SC_GLONASS, 1, 4);
    EXPECT_NEAR(out[0].Sats.at(0).Phase(1), 2.1e7 + 2.0 + w * 4 * 562500.0 / SpeedOfLight * 2.5,
                0.0002);
}

// ---------------------------------------------------------------------------------------
// Epoch assembly

RMsmIn OneSat(int number, std::int64_t t, bool multiple, int sat = 5, double range = 2.2e7) {
    RMsmIn m;
    m.Number = number;
    m.Multiple = multiple;
    const std::uint8_t sys = zqt_rtcm_types::MSMSystem(static_cast<std::uint32_t>(number));
    m.EpochField = sys == SC_GLONASS ? GloMsmField(t, Leap)
                   : sys == SC_BDS   ? BdsTowField(t)
                                     : TowField(t);
    m.Sats.push_back({sat, 7, false, false, {{2, range, range, 0.0, 5, false, 40.0}}});
    return m;
}

TBytes Msm(int number, std::int64_t t, bool multiple, int sat = 5, double range = 2.2e7) {
    return Frame(EncodeMSM(OneSat(number, t, multiple, sat, range)));
}

// A legacy message (1003/1004 GPS, 1011/1012 GLONASS) with one satellite.
TBytes Legacy(int number, std::int64_t t, bool multiple, int sat = 5, double range = 2.2e7) {
    RLegacyIn l;
    l.Number = number;
    l.Synchronous = multiple;
    l.EpochField = number >= 1009 ? GloTodField(t, Leap) : TowField(t);
    RLegacySatIn s;
    s.Id = sat;
    s.P1 = s.L1 = s.P2 = s.L2 = range;
    l.Sats.push_back(s);
    return Frame(EncodeLegacy(l));
}

// One expected epoch: its time, and per satellite the L1 range that tells which message
// carried it.
struct RExpectedEpoch {
    std::int64_t time;
    std::vector<std::pair<std::uint16_t, double>> sats;
};

// Epochs are assembled from every message of their time, whatever came in between, and
// written in time order once they leave the window; per system and epoch the richest kind
// of message is kept.
TEST(RtcmDecoder, EpochAssembly) {
    const std::int64_t T = W + Sec;
    const std::uint16_t G5 = SatKey(SC_GPS, 5), E5 = SatKey(SC_GALILEO, 5), C5 = SatKey(SC_BDS, 5),
                        R5 = SatKey(SC_GLONASS, 5);
    struct {
        const char* what;
        std::vector<TBytes> frames;
        std::vector<RExpectedEpoch> epochs;
        std::int64_t retimed;  // BeiDou messages moved into their burst's epoch
    } cases[] = {
        {"GPS and Galileo of one epoch",
         {Msm(1074, T, true), Msm(1094, T, false)},
         {{T, {{G5, 2.2e7}, {E5, 2.2e7}}}},
         0},
        {"a message after the one that closed its epoch still joins it",
         {Msm(1074, T, false), Msm(1094, T, false)},
         {{T, {{G5, 2.2e7}, {E5, 2.2e7}}}},
         0},
        {"an epoch between two of another system",
         {Msm(1074, T, true), Msm(1074, T + Sec, false), Msm(1094, T, false)},
         {{T, {{G5, 2.2e7}, {E5, 2.2e7}}}, {T + Sec, {{G5, 2.2e7}}}},
         0},
        {"an unknown MSM number carries nothing",
         {Msm(1074, T, true), Msm(1145, T, false)},
         {{T, {{G5, 2.2e7}}}},
         0},
        {"BeiDou stamped with GPS time joins its burst",
         {Msm(1074, T, true), Msm(1124, T + 14 * Sec, false), Msm(1074, T + Sec, true),
          Msm(1124, T + 15 * Sec, false)},
         {{T, {{G5, 2.2e7}, {C5, 2.2e7}}}, {T + Sec, {{G5, 2.2e7}, {C5, 2.2e7}}}},
         2},
        {"BeiDou stamped with GPS time first in its burst",
         {Msm(1124, T + 14 * Sec, true), Msm(1074, T, false)},
         {{T, {{G5, 2.2e7}, {C5, 2.2e7}}}},
         1},
        {"BeiDou in BeiDou time 14 s after a closed burst is an epoch of its own",
         {Msm(1074, T, false), Msm(1124, T + 14 * Sec, false)},
         {{T, {{G5, 2.2e7}}}, {T + 14 * Sec, {{C5, 2.2e7}}}},
         0},
        {"MSM over legacy, the higher MSM type over the lower, per system",
         {Legacy(1004, T, true, 5, 2.1e7), Msm(1074, T, true, 5, 2.2e7),
          Msm(1077, T, true, 5, 2.3e7), Legacy(1012, T, false, 5, 2.4e7)},
         {{T, {{G5, 2.3e7}, {R5, 2.4e7}}}},
         0},
        {"1004 over 1003",
         {Legacy(1003, T, true, 5, 2.1e7), Legacy(1004, T, false, 5, 2.2e7)},
         {{T, {{G5, 2.2e7}}}},
         0},
        {"an empty MSM leaves the legacy message",
         {Legacy(1004, T, true, 5, 2.1e7), Frame(EncodeMSM([&] {
              RMsmIn m = OneSat(1077, T, false);
              m.Sats.clear();
              return m;
          }()))},
         {{T, {{G5, 2.1e7}}}},
         0},
        {"a caster switching sources: legacy, MSM4, legacy, MSM7",
         {Legacy(1004, T, false, 5, 2.1e7), Msm(1074, T + Sec, false, 5, 2.2e7),
          Legacy(1004, T + 2 * Sec, false, 5, 2.1e7), Msm(1077, T + 3 * Sec, false, 5, 2.3e7)},
         {{T, {{G5, 2.1e7}}},
          {T + Sec, {{G5, 2.2e7}}},
          {T + 2 * Sec, {{G5, 2.1e7}}},
          {T + 3 * Sec, {{G5, 2.3e7}}}},
         0},
    };
    for (const auto& c : cases) {
        TDecoderRig rig(W);
        for (const TBytes& f : c.frames) rig.Feed(f);
        EXPECT_TRUE(rig.Sink->Written.empty()) << c.what << ": written before leaving the window";
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), c.epochs.size()) << c.what;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].Time, c.epochs[i].time) << c.what;
            ASSERT_EQ(out[i].Sats.size(), c.epochs[i].sats.size()) << c.what << " epoch " << i;
            for (const auto& [key, range] : c.epochs[i].sats) {
                const rtcmtest::RWrittenSat* s = out[i].Find(key);
                ASSERT_NE(s, nullptr) << c.what;
                EXPECT_NEAR(s->Range(1), range, 0.1) << c.what << " epoch " << i;
            }
        }
        EXPECT_EQ(rig.Parser->AssemblyCounts().BdsRetimed, c.retimed) << c.what;
        EXPECT_EQ(rig.Sink->LateWrites, 0) << c.what;
    }
    // BeiDou whose time of week its encoder wrapped below zero at the week's start joins
    // the epoch of its burst and is counted.
    TDecoderRig rig(W - 10 * Sec);
    for (const std::int64_t k : {0, 1}) {
        rig.Feed(Msm(1074, W + k * Sec, true));
        RMsmIn m = OneSat(1124, W + k * Sec, false);
        m.EpochField = static_cast<std::uint32_t>((1 << 30) - 14000 + k * 1000);
        rig.Feed(Frame(EncodeMSM(m)));
    }
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 2u);
    for (const auto& e : out) EXPECT_NE(e.Find(C5), nullptr);
    EXPECT_EQ(rig.Parser->AssemblyCounts().BdsWeekWrapped, 2);
    EXPECT_EQ(rig.Parser->TotalErrors(), 0);
}

// Epochs leave the window in time order once the stream is EpochWindow past them; a message
// for an epoch that left joins the written epoch; memory stays bounded.
TEST(RtcmDecoder, EpochWindowAndLateMessages) {
    const std::int64_t T = W + Sec;
    const std::int64_t window = TZQS_RTCM_Decoder::EpochWindow;
    TDecoderRig rig(W);
    rig.Feed(Msm(1074, T, false, 5));
    rig.Feed(Msm(1074, T + window, false, 5));
    EXPECT_TRUE(rig.Sink->Written.empty()) << "still within the window";
    rig.Feed(Msm(1074, T + window + Sec, false, 5));
    ASSERT_EQ(rig.Sink->Written.size(), 1u);
    EXPECT_EQ(rig.Sink->Written[0].Time, T);
    // Galileo of the written epoch, GPS of a satellite it holds, and an epoch of its own
    // before the first.
    rig.Feed(Msm(1094, T, false, 5));
    rig.Feed(Msm(1074, T, false, 5));
    rig.Feed(Msm(1074, T - Sec, false, 7));
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].Time, T - Sec);
    EXPECT_EQ(out[1].Time, T);
    EXPECT_EQ(out[1].Sats.size(), 2u);
    const auto& n = rig.Parser->AssemblyCounts();
    EXPECT_EQ(n.LateEpochs, 2);
    EXPECT_EQ(n.LateSatellites, 2);
    EXPECT_EQ(n.LateDuplicates, 1);
    EXPECT_EQ(rig.Parser->EpochCount(), 3) << "a late epoch is no new epoch";
    bool logged = false;
    for (const std::string& l : *rig.Log)
        logged |= l.find("came after the epoch was written") != std::string::npos;
    EXPECT_TRUE(logged);

    // A stream of epochs far apart in time holds little; a burst of many epochs within the
    // window is bounded by the byte limit.
    TDecoderRig busy(W);
    busy.Sink->KeepSatellites = false;
    RMsmIn m = OneSat(1077, T, false);
    m.Sats[0].Cells.push_back(m.Sats[0].Cells[0]);
    m.Sats[0].Cells[1].Signal = 15;
    for (int s = 6; s < 37; ++s) m.Sats.push_back({s, 7, false, false, m.Sats[0].Cells});
    constexpr int Epochs = 12000;
    for (int k = 0; k < Epochs; ++k) {
        m.EpochField = TowField(T + k * 10);  // 1 ms apart: all within the window
        busy.Feed(Frame(EncodeMSM(m)));
        ASSERT_LE(busy.Parser->HeldBytes(), TZQS_RTCM_Decoder::HeldBytesLimit + 1029);
    }
    EXPECT_GT(busy.Sink->Written.size(), 0u);
    EXPECT_EQ(busy.Finish().size(), static_cast<std::size_t>(Epochs));
}

// A receiver that always sends day 0 in the GLONASS MSM: the time of day is used, the day
// field counted, and the other systems of the burst stay in their epoch.
TEST(RtcmDecoder, GlonassDayFieldAlwaysZero) {
    const std::int64_t monday = W + TicksPerDay + 10 * 3600 * Sec;
    TDecoderRig rig(W + TicksPerDay);
    for (int k = 0; k < 5; ++k) {
        const std::int64_t t = monday + k * Sec;
        RMsmIn glo = OneSat(1084, t, true);
        glo.EpochField &= 0x7FFFFFFu;  // day 0 (Sunday)
        rig.Feed(Msm(1074, t, true));
        rig.Feed(Frame(EncodeMSM(glo)));
        rig.Feed(Msm(1094, t, true));
        rig.Feed(Msm(1124, t, false));
    }
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(out[static_cast<std::size_t>(k)].Time, monday + k * Sec);
        EXPECT_EQ(out[static_cast<std::size_t>(k)].Sats.size(), 4u) << k;
    }
    EXPECT_EQ(rig.Parser->AssemblyCounts().GloDayIgnored, 5);
}

TEST(RtcmDecoder, StreamStateAcrossMessages) {
    TDecoderRig rig(W);
    RLegacyIn l;
    l.Station = 21;
    l.Synchronous = true;
    l.EpochField = TowField(W + Sec);
    l.Sats.push_back({});
    l.Sats[0].Id = 3;
    l.Sats[0].P1 = l.Sats[0].L1 = l.Sats[0].P2 = l.Sats[0].L2 = 2.3e7;
    rig.Feed(Frame(EncodeLegacy(l)));
    RMsmIn m = OneSat(1074, W + 2 * Sec, false, 9);
    m.Station = 22;
    rig.Feed(Frame(EncodeMSM(m)));
    l.EpochField = TowField(W + 3 * Sec);
    rig.Feed(Frame(EncodeLegacy(l)));  // legacy after MSM: the only GPS of its epoch
    rig.Parser->CommitAll();           // the stream's station ID stays from here on
    m = OneSat(1074, W + 4 * Sec, false, 9);
    m.Station = 23;
    rig.Feed(Frame(EncodeMSM(m)));
    const auto& out = rig.Finish();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].Sats.at(0).Key, SatKey(SC_GPS, 3));
    EXPECT_EQ(out[1].Sats.at(0).Key, SatKey(SC_GPS, 9));
    EXPECT_EQ(out[2].Sats.at(0).Key, SatKey(SC_GPS, 3));
    EXPECT_EQ(out[3].Time, W + 4 * Sec);
    EXPECT_EQ(rig.Parser->StationID(), 21);
    EXPECT_EQ(rig.Parser->Census(), (zqt_arrays::TSortedArrayOfInteger{1004, 1074}));
    EXPECT_TRUE(rig.Parser->GPSMSMSeen());
    EXPECT_EQ(rig.Parser->EpochCount(), 4);
    EXPECT_EQ(rig.Parser->FirstEpochTime(), W + Sec);
    EXPECT_EQ(rig.Parser->LastEpochTime(), W + 4 * Sec);
    EXPECT_EQ(rig.Parser->PreviousReferenceTime(), W + 3 * Sec);
}

// Whole milliseconds that no orbit can give are counted; a navigation store that fails
// while it is asked ends the decoding with its own error instead of passing for "no orbit".
TEST(RtcmDecoder, WholeMillisecondsFromTheOrbits) {
    RMsmIn m = OneSat(1074, W + Sec, false);
    m.Sats[0].OmitRoughMs = true;
    {
        TDecoderRig rig(W);
        rig.Feed(Frame(EncodeMSM(m)));
        rig.Finish();
        EXPECT_EQ(rig.Parser->AssemblyCounts().WithoutWholeMs, 1);
    }
    class TBrokenOrbit : public rtcmtest::TFakeOrbit {
    public:
        bool SelectEphemeris(std::uint16_t, std::int64_t) override {
            throw std::runtime_error("navigation database is locked");
        }
    };
    TDecoderRig rig(W);
    auto nav = rtcmtest::TFakeNav::Make();
    nav->Orbit = std::make_shared<TBrokenOrbit>();
    rig.Parser->SetDataStorage(nav);
    rig.Parser->SetStationPosition({3500000.0, 780000.0, 5250000.0});
    rig.Feed(Frame(EncodeMSM(m)));
    EXPECT_THROW(rig.Finish(), std::runtime_error);
    EXPECT_EQ(rig.Parser->TotalErrors(), 0) << "no message is blamed";
}

TEST(RtcmDecoder, FailingSinkIsLoggedAndDecodingGoesOn) {
    TDecoderRig rig(W);
    rig.Sink->FailAt = W + Sec;
    rig.Feed(Msm(1074, W + Sec, false));
    rig.Feed(Msm(1074, W + 2 * Sec, false));
    const auto& out = rig.Finish();
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(rig.Parser->EpochCount(), 2);
    EXPECT_EQ(rig.Parser->AssemblyCounts().NotWritten, 1);
    bool logged = false;
    for (const auto& line : *rig.Log)
        logged |= line.find("not written: sink refused the epoch") != std::string::npos;
    EXPECT_TRUE(logged);
}

// A working database that fails ends the decoding with its error: the epochs after it
// would fail alike, and a run that lost them all must not end as one without observations.
TEST(RtcmDecoder, FailingDatabaseEndsTheDecoding) {
    TDecoderRig rig(W);
    rig.Sink->DatabaseFailAt = W + Sec;
    rig.Feed(Msm(1074, W + Sec, false));
    EXPECT_THROW(
        {
            rig.Feed(Msm(1074, W + 2 * Sec, false));
            rig.Finish();
        },
        SQLiteExt::ESQLiteException);
    EXPECT_EQ(rig.Parser->TotalErrors(), 0) << "no message is blamed";
}

// ---------------------------------------------------------------------------------------
// Legacy observations

TEST(RtcmDecoder, LegacyRoundTripAcrossWeekAndGlonassDay) {
    // GPS and GLONASS of one epoch; the GLONASS messages come first, around Moscow
    // midnight and the GPS week turn. Phase drifts from the range by 40 m per epoch, so
    // that the receiver's 1500-cycle adjustments occur.
    for (std::int64_t t0 : {W - 3 * Sec, GloMidnight - 3 * Sec}) {
        TDecoderRig rig(t0 - 2 * 3600 * Sec);
        std::vector<std::vector<RLegacySatIn>> gps, glo;
        for (int k = 0; k < 6; ++k) {
            const std::int64_t t = t0 + k * Sec;
            RLegacyIn r;
            r.Number = 1012;
            r.EpochField = GloTodField(t, Leap);
            r.Synchronous = true;
            RLegacyIn g;
            g.Number = 1004;
            g.EpochField = TowField(t);
            for (int id : {2, 17}) {
                RLegacySatIn s;
                s.Id = id;
                s.Fcn = id % 14;
                s.L1Code = id == 17;
                s.L2Code = id == 17;
                s.P1 = 2.05e7 + id * 2.3e4 + k * 311.0;
                s.L1 = s.P1 + 12.34 + k * 40.0;
                s.P2 = s.P1 + 3.46;
                s.L2 = s.P1 - 7.89 - k * 40.0;
                s.Cnr1 = 44.25;
                s.Cnr2 = id == 17 ? 0.0 : 38.5;
                r.Sats.push_back(s);
                s.Id = id + 1;
                g.Sats.push_back(s);
            }
            gps.push_back(g.Sats);
            glo.push_back(r.Sats);
            rig.Feed(Frame(EncodeLegacy(r)));
            rig.Feed(Frame(EncodeLegacy(g)));
        }
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 6u);
        double offset[2][2][2] = {};  // system, satellite, frequency: phase - truth at k = 0
        for (int k = 0; k < 6; ++k) {
            const RWrittenEpoch& e = out[static_cast<std::size_t>(k)];
            EXPECT_EQ(e.Time, t0 + k * Sec);
            ASSERT_EQ(e.Sats.size(), 4u);
            for (int sys = 0; sys < 2; ++sys) {
                for (int i = 0; i < 2; ++i) {
                    const RLegacySatIn& s =
                        (sys ? glo : gps)[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)];
                    const auto* ws =
                        e.Find(SatKey(sys ? SC_GLONASS : SC_GPS, static_cast<unsigned>(s.Id)));
                    ASSERT_NE(ws, nullptr);
                    const unsigned b1 = s.L1Code ? 2 : 1, b2 = s.L2Code ? 4 : 3;
                    EXPECT_NEAR(ws->Range(b1), s.P1, 0.011);
                    EXPECT_NEAR(ws->Range(b2), s.P2, 0.021);
                    EXPECT_EQ(ws->Strength(b1), 177.0);
                    if (s.Cnr2 == 0.0)
                        EXPECT_FALSE(ws->Has(b2, 4));
                    else
                        EXPECT_EQ(ws->Strength(b2), 154.0);
                    const double d1 = ws->Phase(b1) - s.L1, d2 = ws->Phase(b2) - s.L2;
                    if (k == 0) offset[sys][i][0] = d1, offset[sys][i][1] = d2;
                    EXPECT_NEAR(d1, offset[sys][i][0], 0.002) << "L1 continuous, epoch " << k;
                    EXPECT_NEAR(d2, offset[sys][i][1], 0.002) << "L2 continuous, epoch " << k;
                    if (sys) {
                        EXPECT_EQ(ws->GloChannel, s.Fcn - 7);
                    }
                }
            }
        }
    }
}

TEST(RtcmDecoder, LegacySpecialCases) {
    auto sat = [](int id) {
        RLegacySatIn s;
        s.Id = id;
        s.P1 = 2.2e7 + id;
        s.L1 = s.P2 = s.L2 = s.P1;
        return s;
    };
    {  // SBAS IDs 40..58 are SBAS PRNs 120..138; a GLONASS-only epoch keeps its own time
        TDecoderRig rig(W + 3600 * Sec);
        RLegacyIn g;
        g.EpochField = TowField(W + 3600 * Sec);
        g.Sats = {sat(40), sat(58)};
        rig.Feed(Frame(EncodeLegacy(g)));
        RLegacyIn r;
        r.Number = 1012;
        r.EpochField = GloTodField(W + 3601 * Sec, Leap);
        r.Sats = {sat(7)};
        rig.Feed(Frame(EncodeLegacy(r)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 2u);
        EXPECT_NE(out[0].Find(SatKey(zqt_sat_obs_types::SC_WAAS, 1)), nullptr);
        EXPECT_NE(out[0].Find(SatKey(zqt_sat_obs_types::SC_WAAS, 19)), nullptr);
        EXPECT_EQ(out[1].Time, W + 3601 * Sec);
        EXPECT_NE(out[1].Find(SatKey(SC_GLONASS, 7)), nullptr);
    }
    {  // A recording known by its date only: a GLONASS time of day late that day.
        const std::int64_t day = W + 3 * TicksPerDay;
        TDecoderRig rig(day);
        RLegacyIn r;
        r.Number = 1012;
        r.EpochField = GloTodField(day + 20 * 3600 * Sec, Leap);
        r.Sats = {sat(7)};
        rig.Feed(Frame(EncodeLegacy(r)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].Time, day + 20 * 3600 * Sec);
    }
    {  // 1003 carries no whole milliseconds: ranges only where the orbit predicts them
        TDecoderRig rig(W);
        auto nav = rtcmtest::TFakeNav::Make();
        const RVec3 station{3500000.0, 780000.0, 5250000.0};
        nav->Orbit->Positions[SatKey(SC_GPS, 4)] = {station.X, station.Y + 2.2e7, station.Z};
        rig.Parser->SetDataStorage(nav);
        rig.Parser->SetStationPosition(station);
        RLegacyIn g;
        g.Number = 1003;
        g.EpochField = TowField(W + Sec);
        g.Sats = {sat(4), sat(5)};
        rig.Feed(Frame(EncodeLegacy(g)));
        const auto& out = rig.Finish();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_NEAR(out[0].Find(SatKey(SC_GPS, 4))->Range(1), 2.2e7 + 4, 0.011);
        EXPECT_FALSE(out[0].Find(SatKey(SC_GPS, 5))->Has(1, 1));
        EXPECT_FALSE(out[0].Find(SatKey(SC_GPS, 4))->Has(1, 4));
    }
}

// ---------------------------------------------------------------------------------------
// Lock bookkeeping

TEST(RtcmDecoder, LossOfLockRules) {
    struct {
        bool tenBit;
        std::int32_t prev, cur;
        std::int64_t dtMs;
        bool flag;
    } cases[] = {
        {false, 5, 4, 1000, true},  // indicator fell
        {false, 5, 5, 1000, true},  // same indicator after its minimum lock: must have grown
        {false, 6, 6, 1000, false}, {false, 5, 6, 1000, false},
        {false, 5, 6, 1100, true},  // grew, but less than the time passed
        {false, 0, 0, 1000, true},  {true, 300, 301, 1000, false},
        {true, 64, 64, 2, true},                               // 64 ms, step 2
        {true, 64, 64, 1, false},   {true, 96, 96, 3, false},  // 128 ms, step 4
        {true, 96, 96, 4, true},    {true, 700, 100, 1000, true},
    };
    for (const auto& c : cases) {
        auto p = zqt_rtc_parser::TZQS_RTCM_Parser::Create(W);
        TDecoderRig rig(W);  // a committed epoch makes the test count
        rig.Feed(Frame(EncodeMSM(OneSat(1074, W + Sec, false))));
        rig.Parser->CommitAll();
        auto& d = *rig.Parser;
        d.MSMLossOfLock(W, 300, 1, c.prev, c.tenBit);  // a first value: kept
        EXPECT_EQ(d.MSMLossOfLock(W + c.dtMs * 10, 300, 1, c.cur, c.tenBit), c.flag)
            << c.tenBit << " " << c.prev << "->" << c.cur << " after " << c.dtMs;
        EXPECT_FALSE(d.MSMLossOfLock(W + c.dtMs * 10, 300, 1, c.cur, c.tenBit));  // same time
        // No value is flagged before the first epoch has been committed.
        EXPECT_FALSE(p->MSMLossOfLock(W, 300, 1, c.prev, c.tenBit));
        EXPECT_FALSE(p->MSMLossOfLock(W + c.dtMs * 10, 300, 1, c.cur, c.tenBit));
    }
    EXPECT_EQ(TZQS_RTCM_Decoder::MSMMinLock10(64), 64);
    EXPECT_EQ(TZQS_RTCM_Decoder::MSMMinLock10(96), 128);
    EXPECT_EQ(TZQS_RTCM_Decoder::MSMMinLock4(15), 524288);
    // Legacy: the first value of a pair carries the flag; continuous lock does not.
    auto p = zqt_rtc_parser::TZQS_RTCM_Parser::Create(W);
    EXPECT_TRUE(p->LegacyLossOfLock(W, 260, 1, 10));
    EXPECT_FALSE(p->LegacyLossOfLock(W + Sec, 260, 1, 11));
    EXPECT_TRUE(p->LegacyLossOfLock(W + 2 * Sec, 260, 1, 0));
    EXPECT_FALSE(p->LegacyLossOfLock(W + 32 * Sec, 260, 1, 40));  // 40 -> 56 s of lock
    EXPECT_EQ(zqt_rtcm_types::LegacyMinLockSeconds(40), 56);
    EXPECT_EQ(zqt_rtcm_types::LegacyMinLockSeconds(126), 936);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Coordinate transformation messages

// Every field comes back as sent (within its resolution), also at both ends of its range,
// names are made printable, and a message cut short leaves the record of the last good one
// and is counted.
TEST(RtcmDecoder, TransformationMessagesIntoTheirRecords) {
    RHelmertIn h;
    h.Source = "ETRF89", h.Target = std::string("SK-42") + '\x07';
    h.SystemId = 7, h.Utilized = 0x2A5, h.Plate = 11, h.Computation = 3, h.Height = 2;
    h.PhiV = 201600.0, h.LambdaV = -129600.0, h.DeltaPhiV = 7200.0, h.DeltaLambdaV = 10800.0;
    h.dX = 23.557, h.dY = -140.844, h.dZ = -79.778;
    h.R1 = -0.0023, h.R2 = -0.34646, h.R3 = -0.79421, h.dS = -0.22;
    h.aT = 6378245.0, h.bT = 6356863.019, h.HorizontalQuality = 5, h.VerticalQuality = 1;
    RResidualGridIn g;
    g.SystemId = 7, g.HorizontalShift = true, g.Phi0 = 198000.5, g.Lambda0 = -36000.0;
    g.DeltaPhi = 900.0, g.DeltaLambda = 1800.5, g.MeanDeltaPhi = -0.052, g.MeanDeltaLambda = 0.127;
    g.MeanDeltaH = -31.25, g.HorizontalInterpolation = 1, g.VerticalInterpolation = 2;
    g.HorizontalQuality = 3, g.VerticalQuality = 6, g.Mjd = 58241;
    for (int i = 0; i < 16; ++i) {
        g.Points[i][0] = (i - 8) * 3e-4;
        g.Points[i][1] = (7 - i) * 6e-4;
        g.Points[i][2] = (i - 5) * 0.013;
    }
    RProjectionIn p;
    p.SystemId = 7, p.Type = 2, p.LatitudeOrigin = -33.75, p.LongitudeOrigin = 147.123456;
    p.ScaleFactor = 999600.0, p.FalseEasting = 500000.0, p.FalseNorthing = -10000000.0;

    // The ends of the fields' ranges, from their widths and resolutions: two's complement
    // fields of n bits from -2^(n-1) to 2^(n-1) - 1 steps (PhiV, 19 bits of 2": -524288" to
    // 524286"; dX, 23 bits of 1 mm: -4194.304 m to 4194.303 m; the mean delta lambda, 8 bits
    // of 0.001": -0.128" to 0.127"; the longitude of origin, 35 bits of 1.1e-8 degrees:
    // -188.978561024 to 188.978561013), unsigned ones from 0 to 2^n - 1 steps.
    const auto ends = [](bool Low) {
        const auto s = [Low](int Bits, double Step) {
            return Low ? -std::ldexp(Step, Bits - 1) : (std::ldexp(1.0, Bits - 1) - 1.0) * Step;
        };
        const auto u = [Low](int Bits, double Step) {
            return Low ? 0.0 : (std::ldexp(1.0, Bits) - 1.0) * Step;
        };
        RHelmertIn eh;
        eh.PhiV = s(19, 2.0), eh.LambdaV = s(20, 2.0);
        eh.DeltaPhiV = u(14, 2.0), eh.DeltaLambdaV = u(14, 2.0);
        eh.dX = eh.dY = eh.dZ = s(23, 0.001);
        eh.R1 = eh.R2 = eh.R3 = s(32, 2e-5);
        eh.dS = s(25, 1e-5);
        eh.aS = eh.aT = 6370000.0 + u(24, 0.001);
        eh.bS = eh.bT = 6350000.0 + u(25, 0.001);
        RResidualGridIn eg;
        eg.Phi0 = s(21, 0.5), eg.Lambda0 = s(22, 0.5);
        eg.DeltaPhi = eg.DeltaLambda = u(12, 0.5);
        eg.MeanDeltaPhi = eg.MeanDeltaLambda = s(8, 0.001);
        eg.MeanDeltaH = s(15, 0.01);
        for (auto& point : eg.Points) point[0] = point[1] = s(9, 3e-5), point[2] = s(9, 0.001);
        RProjectionIn ep;
        ep.LatitudeOrigin = s(34, 1.1e-8), ep.LongitudeOrigin = s(35, 1.1e-8);
        ep.ScaleFactor = 993000.0 + u(30, 1e-5);
        ep.FalseEasting = u(36, 0.001), ep.FalseNorthing = s(35, 0.001);
        return std::tuple{eh, eg, ep};
    };
    EXPECT_EQ(std::get<0>(ends(true)).PhiV, -524288.0);
    EXPECT_NEAR(std::get<0>(ends(false)).dX, 4194.303, 1e-9);
    EXPECT_NEAR(std::get<1>(ends(true)).MeanDeltaLambda, -0.128, 1e-12);
    EXPECT_NEAR(std::get<2>(ends(true)).LongitudeOrigin, -188.978561024, 1e-9);

    TDecoderRig rig(W);
    // The typical values last: the records keep them for the checks below.
    for (const auto& [sent, what] :
         {std::pair{ends(true), "lowest"}, std::pair{ends(false), "highest"},
          std::pair{std::tuple{h, g, p}, "typical"}}) {
        SCOPED_TRACE(what);
        const auto& [sh, sg, sp] = sent;
        rig.Feed(Frame(EncodeHelmert(sh)));
        rig.Feed(Frame(EncodeResidualGrid(sg)));
        rig.Feed(Frame(EncodeProjection(sp)));
        const auto& r = rig.Parser->Helmert();
        const auto& grid = rig.Parser->ResidualGrid();
        const auto& proj = rig.Parser->Projection();
        const struct {
            double Got, Want, Resolution;
        } values[] = {
            {r.PhiV, sh.PhiV, 2.0},
            {r.LambdaV, sh.LambdaV, 2.0},
            {r.DeltaPhiV, sh.DeltaPhiV, 2.0},
            {r.DeltaLambdaV, sh.DeltaLambdaV, 2.0},
            {r.dX, sh.dX, 0.001},
            {r.dY, sh.dY, 0.001},
            {r.dZ, sh.dZ, 0.001},
            {r.R1, sh.R1, 2e-5},
            {r.R2, sh.R2, 2e-5},
            {r.R3, sh.R3, 2e-5},
            {r.dS, sh.dS, 1e-5},
            {r.aS, sh.aS, 0.001},
            {r.bS, sh.bS, 0.001},
            {r.aT, sh.aT, 0.001},
            {r.bT, sh.bT, 0.001},
            {grid.Phi0, sg.Phi0, 0.5},
            {grid.Lambda0, sg.Lambda0, 0.5},
            {grid.DeltaPhi, sg.DeltaPhi, 0.5},
            {grid.DeltaLambda, sg.DeltaLambda, 0.5},
            {grid.MeanDeltaPhi, sg.MeanDeltaPhi, 0.001},
            {grid.MeanDeltaLambda, sg.MeanDeltaLambda, 0.001},
            {grid.MeanDeltaH, sg.MeanDeltaH, 0.01},
            {proj.LatitudeOrigin, sp.LatitudeOrigin, 1.1e-8},
            {proj.LongitudeOrigin, sp.LongitudeOrigin, 1.1e-8},
            {proj.ScaleFactor, sp.ScaleFactor, 1e-5},
            {proj.FalseEasting, sp.FalseEasting, 0.001},
            {proj.FalseNorthing, sp.FalseNorthing, 0.001},
        };
        for (std::size_t i = 0; i < std::size(values); ++i)
            EXPECT_NEAR(values[i].Got, values[i].Want, values[i].Resolution / 2) << "value " << i;
        for (std::size_t i = 0; i < 16; ++i) {
            EXPECT_NEAR(grid.Points[i].DeltaPhi, sg.Points[i][0], 1.5e-5) << "point " << i;
            EXPECT_NEAR(grid.Points[i].DeltaLambda, sg.Points[i][1], 1.5e-5) << "point " << i;
            EXPECT_NEAR(grid.Points[i].DeltaH, sg.Points[i][2], 5e-4) << "point " << i;
        }
    }
    const auto& r = rig.Parser->Helmert();
    EXPECT_EQ(r.SourceName, "ETRF89");
    EXPECT_EQ(r.TargetName, "SK-42?");
    EXPECT_EQ(r.SystemID, 7);
    EXPECT_EQ(r.UtilizedMessages, 0x2A5);
    EXPECT_EQ(r.PlateNumber, 11);
    EXPECT_EQ(r.ComputationIndicator, 3);
    EXPECT_EQ(r.HeightIndicator, 2);
    EXPECT_EQ(r.HorizontalQuality, 5);
    EXPECT_EQ(r.VerticalQuality, 1);

    const auto& grid = rig.Parser->ResidualGrid();
    EXPECT_EQ(grid.SystemID, 7);
    EXPECT_TRUE(grid.HorizontalShift);
    EXPECT_FALSE(grid.VerticalShift);
    EXPECT_EQ(grid.HorizontalInterpolation, 1);
    EXPECT_EQ(grid.VerticalInterpolation, 2);
    EXPECT_EQ(grid.HorizontalQuality, 3);
    EXPECT_EQ(grid.VerticalQuality, 6);
    EXPECT_EQ(grid.ModifiedJulianDay, 58241);
    EXPECT_EQ(rig.Parser->Projection().SystemID, 7);
    EXPECT_EQ(rig.Parser->Projection().ProjectionType, 2);
    EXPECT_EQ(rig.Parser->TotalErrors(), 0);

    // Cut short: counted, and the records keep the messages before.
    for (TBytes cut : {EncodeHelmert(RHelmertIn{}), EncodeResidualGrid(RResidualGridIn{}),
                       EncodeProjection(RProjectionIn{})}) {
        cut.resize(cut.size() - 2);
        rig.Feed(Frame(cut));
    }
    EXPECT_EQ(rig.Parser->TotalErrors(), 3);
    EXPECT_EQ(rig.Parser->Helmert().SourceName, "ETRF89");
    EXPECT_EQ(rig.Parser->ResidualGrid().ModifiedJulianDay, 58241);
    EXPECT_EQ(rig.Parser->Projection().ProjectionType, 2);
}
