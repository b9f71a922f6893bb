// Ephemeris messages: the time of an ephemeris next to the running reference (week
// rollover, the week boundary, GLONASS days), encoder -> decoder round trips of every
// system across the week boundary, the Galileo signal status, invalid and damaged
// messages, the hand-over to the navigation store, and the ephemerides of the shared
// recordings against the reference navigation files and as raw receiver records converted
// back.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "rtcm_test_util.h"
#include "zqt_datastorage.h"
#include "zqt_ephem_dbs.h"
#include "zqt_ephem_func.h"
#include "zqt_ephemerisstorage.h"
#include "zqt_rtc_parser.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"

namespace {

using namespace zqt_sat_obs_types;
using rtcm_encoder::Frame;
using rtcm_encoder::TBytes;
using zqt_ephem_tp::REphem;
using zqt_rtc_parser::TZQS_RTCM_Decoder;

constexpr std::int64_t S = zqt_timefunc::TicksPerSecond;
constexpr std::int64_t Day = zqt_timefunc::TicksPerDay;
constexpr std::int64_t Week = zqt_timefunc::TicksPerWeek;
constexpr std::int64_t BdsZero = 1356 * Week;  // BeiDou week 0 on the GPS tick scale

std::int64_t DateTicks(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    using namespace std::chrono;
    const auto days =
        sys_days(year(y) / month(static_cast<unsigned>(mo)) / day(static_cast<unsigned>(d))) -
        sys_days(year(1980) / January / 6);
    return days.count() * Day + (h * 3600LL + mi * 60LL + s) * S;
}

constexpr std::int64_t HMS(int h, int m, int s = 0) { return (h * 3600LL + m * 60LL + s) * S; }
double P2(int n) { return std::ldexp(1.0, n); }

bool IsEphemerisMessage(std::uint16_t n) {
    return n == 1019 || n == 1020 || n == 1042 || n == 1045 || n == 1046;
}

// A decoder that keeps every ephemeris it decodes.
struct TEphemRig : rtcmtest::TDecoderRig {
    std::vector<REphem> Decoded;
    explicit TEphemRig(std::int64_t Start, std::uint8_t Mode = 3) : TDecoderRig(Start, Mode) {
        Parser->SetOnMessageDecoded([this](zqt_rtc_parser::TZQS_RTC_Parser&, std::uint16_t n) {
            if (IsEphemerisMessage(n) && Parser->Ephemeris().svprn != 0)
                Decoded.push_back(Parser->Ephemeris());
        });
    }
    void FeedPayload(const TBytes& Payload) { Feed(Frame(Payload)); }
};

}  // namespace

// =======================================================================================
// Time of an ephemeris

TEST(RtcmEphemTime, KeplerWeekFromTheFieldAndTheReference) {
    const std::int64_t w2048 = 2048 * Week;
    struct RCase {
        const char* what;
        std::uint8_t sys;
        std::int64_t reference;
        std::uint32_t weekField, toc;
        std::int64_t time;
        std::uint16_t week;
    } cases[] = {
        {"GPS week 0 of the rollover at 2048", SC_GPS, w2048 + 3 * Day, 0, 3600, w2048 + 3600 * S,
         2048},
        {"GPS week 1023 just after the rollover", SC_GPS, w2048 + HMS(1, 0), 1023, 604784,
         w2048 - 16 * S, 2047},
        {"GPS toc of the next week sent in the old week", SC_GPS, w2048 - HMS(0, 40), 1023, 0,
         w2048, 2048},
        {"GPS toc of the old week sent in the new week", SC_GPS, w2048 + HMS(0, 10), 0, 604784,
         w2048 - 16 * S, 2047},
        {"GPS toc across the boundary, reference far earlier: the field holds", SC_GPS,
         w2048 - 3 * Day, 0, 0, w2048, 2048},
        {"Galileo week 1200 in GPS week 2224", SC_GALILEO, 2224 * Week + Day, 1200, 7200,
         2224 * Week + 7200 * S, 2224},
        {"Galileo toc of the next week", SC_GALILEO, 2225 * Week - HMS(0, 30), 1200, 600,
         2225 * Week + 600 * S, 2225},
        // BeiDou weeks begin 14 s after GPS weeks; the time is BeiDou time.
        {"BeiDou week 656", SC_BDS, DateTicks(2018, 8, 3, 12), 656, 486000,
         BdsZero + 656 * Week + 486000 * S, 656},
        {"BeiDou toc of the next week, 10 s before its start", SC_BDS, BdsZero + 657 * Week + 4 * S,
         656, 0, BdsZero + 657 * Week, 657},
        {"BeiDou toc of the old week after the start of the new", SC_BDS,
         BdsZero + 657 * Week + 20 * S, 657, 604792, BdsZero + 657 * Week - 8 * S, 656},
    };
    for (const RCase& c : cases) {
        std::uint16_t week = 0;
        EXPECT_EQ(
            TZQS_RTCM_Decoder::KeplerEphemerisTime(c.reference, c.sys, c.weekField, c.toc, week),
            c.time)
            << c.what;
        EXPECT_EQ(week, c.week) << c.what;
    }
}

TEST(RtcmEphemTime, GlonassDayFromNTOrTheReference) {
    // 2012-10-13: GPS - UTC = 16 s. Times below are UTC on the tick scale.
    const std::int64_t d13 = DateTicks(2012, 10, 13);
    const std::int64_t leap = 16 * S;
    struct RCase {
        const char* what;
        std::int64_t reference;  // GPS time
        std::uint32_t tb, nt;
        std::int64_t time;
    } cases[] = {
        {"NT 0, same Moscow day", d13 + HMS(12, 0) + leap, 61, 0, d13 + HMS(12, 15)},
        {"NT 0, tb late in the Moscow day before the reference's", d13 + HMS(21, 5) + leap, 95, 0,
         d13 + HMS(20, 45)},
        {"NT 0, tb early in the next Moscow day", d13 + HMS(20, 50) + leap, 1, 0,
         d13 + HMS(21, 15)},
        // 2012 starts a four-year interval: 13 October is its day 287.
        {"NT of the reference's interval", d13 + HMS(12, 0) + leap, 4, 287, d13 + HMS(-2, 0)},
        {"NT of the interval before, just after its turn", DateTicks(2016, 1, 1, 0, 10) + 17 * S,
         95, 1461, DateTicks(2015, 12, 31, 20, 45)},
        {"NT out of range: the reference's day", d13 + HMS(12, 0) + leap, 61, 2000,
         d13 + HMS(12, 15)},
    };
    for (const RCase& c : cases)
        EXPECT_EQ(TZQS_RTCM_Decoder::GlonassEphemerisTime(c.reference, c.tb, c.nt), c.time)
            << c.what;
}

// =======================================================================================
// Encoder -> decoder round trips, each across a week or day boundary

TEST(RtcmEphemRoundTrip, EverySystemAcrossTheWeekBoundary) {
    // The scaled values of every field are checked against the reference files below; here
    // the times, and the fields that go to places of their own.
    const std::int64_t w = 2222 * Week;
    rtcm_encoder::RGpsEphIn gps;  // Sunday 00:00, sent on Saturday with the old week
    gps.Sat = 7;
    gps.Week = 2221 % 1024;
    gps.CodeL2 = 2;
    gps.L2PFlag = 1;
    gps.FitInterval = 1;
    gps.SqrtA = 2702000000;
    rtcm_encoder::RBdsEphIn bds;  // end of the old week, sent in the new one
    bds.Sat = 19;
    bds.Week = 867;
    bds.Aode = 1;
    bds.Aodc = 25;
    bds.Toc = bds.Toe = 604792 / 8;
    rtcm_encoder::RGalEphIn gal;  // F/NAV of the next week, sent with the old week
    gal.Number = 1045;
    gal.Sat = 11;
    gal.Week = 2221 - 1024;
    gal.Toc = gal.Toe = 10;
    gal.E5aHealth = 2;
    gal.E5aValidity = 1;
    rtcm_encoder::RGloEphIn glo;  // tb 23:45 of the Moscow day before the reference's
    glo.Sat = 9;
    glo.Fcn = 5;
    glo.P1 = 3;
    glo.Tk = (23 << 7) | (44 << 1) | 1;
    glo.P2 = 1;
    glo.Tb = 95;
    glo.Pos[0] = 1000;
    glo.P3 = 1;
    glo.P = 2;
    glo.Ln3 = 1;
    glo.DeltaTauN = -5;
    glo.P4 = 1;
    glo.Ft = 6;
    glo.M = 1;
    glo.Additional = true;
    glo.TauC = 20;
    glo.N4 = 6;
    glo.TauGps = -9;
    glo.Ln5 = 1;
    rtcm_encoder::RGloEphIn early;  // NT given, before 03:00 Moscow
    early.Sat = 24;
    early.Fcn = 13;
    early.Tb = 1;
    early.Nt = 287;
    early.Pos[0] = 1000;
    struct RCase {
        const char* what;
        std::int64_t reference;
        TBytes payload;
        std::uint16_t key;
        std::int64_t time;
        std::uint16_t week;
        std::function<void(const REphem&)> check;
    } cases[] = {
        {"GPS", w - HMS(0, 50), rtcm_encoder::EncodeGpsEph(gps), SatKey(SC_GPS, 7), w, 2222,
         [](const REphem& e) {
             EXPECT_EQ(std::make_tuple(e.codes, e.L2flag, e.flags),
                       std::make_tuple(2, 1, zqt_ephem_tp::GpsFlagFitInterval));
             EXPECT_EQ(e.tom, zqt_ephem_tp::TomUnknown);
         }},
        {"BeiDou", BdsZero + 867 * Week + HMS(0, 2) + 14 * S, rtcm_encoder::EncodeBdsEph(bds),
         SatKey(SC_BDS, 19), BdsZero + 867 * Week - 8 * S, 866,
         [](const REphem& e) {
             EXPECT_EQ(std::make_tuple(e.lTope, e.lTopc, e.toe), std::make_tuple(1, 25, 604792u));
             EXPECT_EQ(e.tom, zqt_ephem_tp::TomUnknown);
         }},
        {"Galileo", w - HMS(0, 20), rtcm_encoder::EncodeGalEph(gal), SatKey(SC_GALILEO, 11),
         w + 600 * S, 2222,
         [](const REphem& e) {
             EXPECT_EQ(e.NavType, zqt_ephem_tp::GalNavFNav);
             EXPECT_EQ(e.health,
                       1u << 3 | 2u << 4);  // E5a DVS and SHS in the navigation file's layout
             EXPECT_EQ(e.tom, zqt_ephem_tp::TomUnknown);
         }},
        {"GLONASS", DateTicks(2018, 8, 3, 21, 5) + 18 * S, rtcm_encoder::EncodeGloEph(glo),
         SatKey(SC_GLONASS, 9), DateTicks(2018, 8, 3, 20, 45), 2012,
         [](const REphem& e) {
             EXPECT_EQ(std::make_tuple(e.Tk, e.tom, e.toe, e.iode),
                       std::make_tuple(74670, 74670, 74700u, 95));
             EXPECT_EQ(std::make_tuple(e.freq_num, e.LeapSec, e.nFt, e.nN4, e.cURAoe),
                       std::make_tuple(-2, 18, 6, 6, 'X'));
             EXPECT_EQ(e.flags, 3 | 4 | 8 | 0x80);          // P1, P2, P3, GLONASS-M
             EXPECT_EQ(e.flags2, 2 * 2 + 1 + 8 + 16 + 64);  // P, ln, P4, M, ln of the extra data
             EXPECT_EQ(
                 std::make_tuple(e.TauC, e.tGPS, e.fDelTauN),
                 std::make_tuple(20 * P2(-31), -9 * P2(-30), static_cast<float>(-5 * P2(-30))));
             EXPECT_EQ(e.toc, static_cast<std::uint32_t>(e.GPSTime % Week / S));
         }},
        {"GLONASS before 03:00", DateTicks(2012, 10, 12, 21, 20) + 16 * S,
         rtcm_encoder::EncodeGloEph(early), SatKey(SC_GLONASS, 24), DateTicks(2012, 10, 12, 21, 15),
         1709,
         [](const REphem& e) {
             EXPECT_EQ(std::make_tuple(e.Tk, e.tom, e.toe, e.iode),
                       std::make_tuple(-10800, -10800, 76500u, 1));
         }},
    };
    for (const RCase& c : cases) {
        TEphemRig rig(0);
        rig.Parser->SetReferenceTime(c.reference);
        rig.FeedPayload(c.payload);
        EXPECT_EQ(rig.Parser->TotalErrors(), 0) << c.what;
        ASSERT_EQ(rig.Decoded.size(), 1u) << c.what;
        const REphem& e = rig.Decoded[0];
        EXPECT_EQ(std::make_tuple(e.svprn, e.GPSTime, e.weekno),
                  std::make_tuple(c.key, c.time, c.week))
            << c.what;
        SCOPED_TRACE(c.what);
        c.check(e);
    }
}

TEST(RtcmEphemRoundTrip, GalileoINavKindFromTheDataValidity) {
    // A message whose two signals are both flagged is still an I/NAV message of both.
    struct RCase {
        int e5bValidity, e1Validity;
        std::uint8_t navType;
        std::uint16_t dataSource;
    } cases[] = {{0, 0, 5, 517}, {1, 0, 1, 513}, {0, 1, 4, 516}, {1, 1, 5, 517}};
    for (const RCase& c : cases) {
        rtcm_encoder::RGalEphIn in;
        in.Number = 1046;
        in.Sat = 3;
        in.Week = 1198;
        in.SqrtA = 2852000000;
        in.E5bValidity = c.e5bValidity;
        in.E1Validity = c.e1Validity;
        TEphemRig rig(2222 * Week + Day);
        rig.FeedPayload(rtcm_encoder::EncodeGalEph(in));
        ASSERT_EQ(rig.Decoded.size(), 1u);
        const REphem& e = rig.Decoded[0];
        EXPECT_EQ(e.NavType, c.navType) << c.e5bValidity << c.e1Validity;
        EXPECT_EQ(zqt_ephem_tp::GalileoDataSource(e.NavType), c.dataSource);
        EXPECT_EQ(zqt_ephem_tp::GalileoDVS(e, zqt_ephem_tp::GalSigE5b),
                  static_cast<unsigned>(c.e5bValidity));
        EXPECT_EQ(zqt_ephem_tp::GalileoDVS(e, zqt_ephem_tp::GalSigE1B),
                  static_cast<unsigned>(c.e1Validity));
    }
}

// =======================================================================================
// Invalid and damaged messages

TEST(RtcmEphemDecoder, SatelliteZeroAndDamagedMessagesGiveNoEphemeris) {
    rtcm_encoder::RGpsEphIn gps, good, badToc;
    rtcm_encoder::RGloEphIn glo;
    rtcm_encoder::RBdsEphIn bds;
    rtcm_encoder::RGalEphIn gal, badToe;
    gps.SqrtA = good.SqrtA = badToc.SqrtA = 2702000000;
    glo.Pos[0] = 1000;
    gps.Sat = glo.Sat = bds.Sat = gal.Sat = 0;
    good.Sat = badToc.Sat = 5;
    badToc.Toc = 40000;  // 640,000 s: beyond the week
    badToe.Sat = 2;
    badToe.Toc = 100;
    badToe.Toe = 16000;
    TBytes shortGood = rtcm_encoder::EncodeGpsEph(good);
    shortGood.resize(shortGood.size() - 2);
    struct RCase {
        const char* what;
        TBytes payload;
        std::int64_t errors;
    } cases[] = {
        {"GPS satellite 0", rtcm_encoder::EncodeGpsEph(gps), 0},
        {"GLONASS slot 0", rtcm_encoder::EncodeGloEph(glo), 0},
        {"BeiDou satellite 0", rtcm_encoder::EncodeBdsEph(bds), 0},
        {"Galileo satellite 0", rtcm_encoder::EncodeGalEph(gal), 0},
        {"message cut short", shortGood, 1},
        {"toc beyond the week", rtcm_encoder::EncodeGpsEph(badToc), 1},
        {"toe beyond the week", rtcm_encoder::EncodeGalEph(badToe), 1},
    };
    zqt_datastorage::TZQS_DataStorage::InitStore();
    zqt_ephemerisstorage::InstallEphemerisStorage();
    for (const RCase& c : cases) {
        TEphemRig rig(2222 * Week);
        auto store = zqt_datastorage::TZQS_DataStorage::CreateChild(
            nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase());
        rig.Parser->SetDataStorage(store);
        // A good ephemeris first: a later failed message must not leave it as the current one.
        rig.FeedPayload(rtcm_encoder::EncodeGpsEph(good));
        rig.FeedPayload(c.payload);
        EXPECT_EQ(rig.Parser->Ephemeris().svprn, 0) << c.what;
        EXPECT_EQ(rig.Decoded.size(), 1u) << c.what;
        EXPECT_EQ(rig.Parser->TotalErrors(), c.errors) << c.what;
        EXPECT_EQ(store->GetEphemerisStorage()->GetRecords().size(), 1u) << c.what;
    }
}

// =======================================================================================
// Hand-over

namespace {

// A navigation store whose ephemeris storage cannot be had.
class TFailingStore : public zqt_datastorage::TZQS_DataStorage {
public:
    zqt_ephemerisstorage::IZQS_EphemerisStoragePtr GetEphemerisStorage() override {
        return nullptr;
    }
};

}  // namespace

TEST(RtcmEphemDecoder, HandOverToTheNavigationStoreAndTheGlonassChannelTable) {
    zqt_datastorage::TZQS_DataStorage::InitStore();
    zqt_ephemerisstorage::InstallEphemerisStorage();
    auto store = zqt_datastorage::TZQS_DataStorage::CreateChild(
        nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase());
    const std::int64_t start = DateTicks(2018, 8, 3);
    TEphemRig rig(start);
    rig.Parser->SetDataStorage(store);

    rtcm_encoder::RGpsEphIn gps;
    gps.Sat = 12;
    gps.Week = 2012 % 1024;
    gps.Toc = 432000 / 16;
    gps.Toe = 432000 / 16;
    gps.SqrtA = 2702000000;
    rtcm_encoder::RGloEphIn glo;
    glo.Sat = 4;
    glo.Fcn = 7 + 6;
    glo.Tb = 50;
    glo.Pos[0] = 10000000;
    const TBytes g = Frame(rtcm_encoder::EncodeGpsEph(gps));
    rig.Feed(g);
    rig.Feed(g);  // a repeated message is kept once
    rig.Feed(Frame(rtcm_encoder::EncodeGloEph(glo)));

    const auto records = store->GetEphemerisStorage()->GetRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].svprn, SatKey(SC_GPS, 12));
    EXPECT_EQ(records[0].GPSTime, DateTicks(2018, 8, 3, 0, 0) + 0 * S);
    EXPECT_EQ(records[1].svprn, SatKey(SC_GLONASS, 4));
    EXPECT_EQ(rig.Sink->GetSatObs()->GetGloChannels()[3], 6);

    // A store that cannot keep the ephemeris ends the import instead of losing it quietly.
    auto failing = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFailingStore>(
        nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase());
    TEphemRig broken(start);
    broken.Parser->SetDataStorage(failing);
    EXPECT_ANY_THROW(broken.Feed(g));
    EXPECT_EQ(broken.Parser->TotalErrors(), 0);
    // The decoder goes on after the failure.
    broken.Parser->SetDataStorage(store);
    EXPECT_NO_THROW(broken.Feed(Frame(rtcm_encoder::EncodeGloEph(glo))));
    EXPECT_EQ(broken.Decoded.size(), 2u);
}

TEST(RtcmEphemDecoder, FirstPassDatesEphemeridesByTheObservationsItSees) {
    // The recording is named after Monday; its observations have reached Tuesday when a
    // GLONASS ephemeris without a day arrives.
    const std::int64_t monday = DateTicks(2018, 8, 6);
    const std::int64_t tuesday = monday + Day + HMS(10, 0);
    TEphemRig rig(monday, 3);
    rtcm_encoder::RMsmIn msm;
    msm.Number = 1074;
    msm.EpochField = rtcm_encoder::TowField(tuesday);
    msm.Sats = {{3, 0, false, false, {{2, 2.2e7, 2.2e7, 0.0, 0, false, 45.0}}}};
    rig.FeedPayload(rtcm_encoder::EncodeMSM(msm));
    rtcm_encoder::RGloEphIn glo;
    glo.Sat = 1;
    glo.Tb = (10 * 4 + 3 * 4) + 1;  // 13:15 Moscow = 10:15 UTC
    glo.Pos[0] = 1000;
    rig.FeedPayload(rtcm_encoder::EncodeGloEph(glo));
    ASSERT_EQ(rig.Decoded.size(), 1u);
    EXPECT_EQ(rig.Decoded[0].GPSTime, monday + Day + HMS(10, 15));
    EXPECT_TRUE(rig.Sink->Written.empty());
}

// =======================================================================================
// The real recordings against the reference navigation files

namespace {

// One record of a RINEX 3 navigation file: its epoch (on the system's own scale: GPS,
// Galileo and BeiDou time, UTC for GLONASS) and its values in file order.
struct RNavRecord {
    std::uint16_t Key = 0;
    std::int64_t Epoch = 0;
    std::vector<double> V;
};

double NavValue(const std::string& line, std::size_t pos) {
    if (pos >= line.size()) return NAN;
    std::string v = line.substr(pos, 19);
    if (v.find_first_not_of(' ') == std::string::npos) return NAN;
    for (char& ch : v)
        if (ch == 'D' || ch == 'd') ch = 'E';
    return std::stod(v);
}

std::vector<RNavRecord> ReadNavFile(const std::string& path) {
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line) && line.find("END OF HEADER") == std::string::npos) {
    }
    std::vector<RNavRecord> out;
    while (std::getline(f, line)) {
        if (line.size() < 23 || line[0] == ' ') continue;
        RNavRecord r;
        r.Key = StrToSatNum(line.substr(0, 3));
        r.Epoch = DateTicks(std::stoi(line.substr(4, 4)), std::stoi(line.substr(9, 2)),
                            std::stoi(line.substr(12, 2)), std::stoi(line.substr(15, 2)),
                            std::stoi(line.substr(18, 2)), std::stoi(line.substr(21, 2)));
        for (int i = 0; i < 3; ++i)
            r.V.push_back(NavValue(line, 23 + 19 * static_cast<std::size_t>(i)));
        const int more = (line[0] == 'R' || line[0] == 'S') ? 3 : 7;
        for (int l = 0; l < more && std::getline(f, line); ++l)
            for (int i = 0; i < 4; ++i)
                r.V.push_back(NavValue(line, 4 + 19 * static_cast<std::size_t>(i)));
        out.push_back(std::move(r));
    }
    return out;
}

// Nominal accuracy (m) of a GPS or BeiDou accuracy index, and of a Galileo SISA value.
double UraMetres(int n) {
    static const double t[16] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,   32.0,
                                 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0, 6144.0};
    return n >= 0 && n < 16 ? t[n] : NAN;
}
double SisaMetres(int n) {
    if (n < 0) n += 256;
    if (n < 50) return 0.01 * n;
    if (n < 75) return 0.5 + 0.02 * (n - 50);
    if (n < 100) return 1.0 + 0.04 * (n - 75);
    if (n < 126) return 2.0 + 0.16 * (n - 100);
    return -1.0;
}

bool Close(double a, double b) {
    if (std::isnan(b)) return false;
    return std::fabs(a - b) <= 1e-11 * std::max(std::fabs(a), std::fabs(b)) + 1e-300;
}

// The values of a decoded record in the file's order; NaN where the file's value is not
// compared (transmission time, which the message does not carry).
std::vector<double> ExpectedValues(const REphem& e) {
    const double nan = NAN;
    switch (SatKeySystem(e.svprn)) {
        case SC_GLONASS:
            return {e.af0,
                    e.af1,
                    nan,
                    e.Pos_X,
                    e.Vel_X,
                    e.Acs_X,
                    static_cast<double>(e.health),
                    e.Pos_Y,
                    e.Vel_Y,
                    e.Acs_Y,
                    static_cast<double>(e.freq_num),
                    e.Pos_Z,
                    e.Vel_Z,
                    e.Acs_Z,
                    static_cast<double>(e.aoi)};
        default: break;
    }
    const unsigned sys = SatKeySystem(e.svprn);
    std::vector<double> v = {e.af0,
                             e.af1,
                             e.af2,
                             sys == SC_BDS ? static_cast<double>(e.lTope) : e.iode,
                             e.crs,
                             e.deltan,
                             e.M0,
                             e.cuc,
                             e.ecc,
                             e.cus,
                             e.roota,
                             static_cast<double>(e.toe),
                             e.cic,
                             e.Omega0,
                             e.cis,
                             e.i0,
                             e.crc,
                             e.omega,
                             e.Omegadot,
                             e.idot,
                             nan,
                             static_cast<double>(e.weekno),
                             nan,
                             nan,
                             static_cast<double>(e.health),
                             e.tgd,
                             nan,
                             nan,
                             nan};
    switch (sys) {
        case SC_GPS:
            v[20] = e.codes;
            v[22] = e.L2flag;
            v[23] = UraMetres(e.ura);
            v[26] = e.iodc;
            break;
        case SC_GALILEO:
            v[20] = zqt_ephem_tp::GalileoDataSource(e.NavType);
            v[23] = SisaMetres(e.ura);
            v[25] = e.bgdE1E5a;
            v[26] = e.bgdE1E5b;
            break;
        case SC_BDS:
            v[23] = UraMetres(e.ura);
            v[26] = e.tgd2;
            v[28] = static_cast<double>(e.lTopc);
            break;
        default: break;
    }
    return v;
}

// 258 F/NAV or 512 I/NAV of a Galileo data source.
int GalileoMessage(int DataSource) { return DataSource & 512 ? 512 : DataSource; }

// Single-precision fields are compared at their own precision.
bool SingleField(unsigned sys, std::size_t i) {
    return (sys == SC_GALILEO && (i == 25 || i == 26)) || (sys == SC_BDS && i == 26);
}

}  // namespace

TEST(RtcmEphemFiles, DecodedEphemeridesEqualTheReferenceNavigationFiles) {
    const char* names[] = {"EPHM_2018_08_03", "GMSD_2012_10_13", "ROVR_2019_01_20",
                           "TGLO_2009_12_18"};
    for (const std::string name : names) {
        TESTDATA_FILE(rtcmPath, "rtcm/" + name + ".rtcm3");
        TESTDATA_FILE(navPath, "reference/" + name + ".nav");
        const auto p = name.find("_20");
        TEphemRig rig(DateTicks(std::stoi(name.substr(p + 1, 4)), std::stoi(name.substr(p + 6, 2)),
                                std::stoi(name.substr(p + 9, 2))));
        const auto data = rtcmtest::ReadFile(rtcmPath);
        for (std::size_t i = 0; i < data.size(); i += 4096)
            rig.Parser->AddData(data.data() + i, static_cast<std::int32_t>(
                                                     std::min<std::size_t>(4096, data.size() - i)));
        rig.Parser->EndOfData();
        EXPECT_EQ(rig.Parser->TotalErrors(), 0) << name;

        // Decoded records by satellite, time and, for Galileo, the message (F/NAV, I/NAV); the
        // first of each, as the navigation store keeps it (repeats differ in their frame time).
        std::map<std::tuple<std::uint16_t, std::int64_t, int>, REphem> decoded;
        for (const REphem& e : rig.Decoded) {
            const int source = SatKeySystem(e.svprn) == SC_GALILEO
                                   ? GalileoMessage(zqt_ephem_tp::GalileoDataSource(e.NavType))
                                   : 0;
            decoded.try_emplace({e.svprn, e.GPSTime, source}, e);
        }
        int compared = 0;
        std::set<std::tuple<std::uint16_t, std::int64_t, int>> referenced;
        for (const RNavRecord& r : ReadNavFile(navPath)) {
            const unsigned sys = SatKeySystem(r.Key);
            if (sys == SC_QZSS) continue;  // 1044: no decoder
            const int source = sys == SC_GALILEO ? GalileoMessage(static_cast<int>(r.V[20])) : 0;
            auto key = std::make_tuple(r.Key, r.Epoch, source);
            auto it = decoded.find(key);
            if (it == decoded.end() && sys == SC_GLONASS) {
                // The reference converter dates a GLONASS ephemeris that arrives before it
                // knows the day one day early (all of EPHM, which has no observations; the
                // first R08 of TGLO). The messages' day numbers NT give the day after.
                key = std::make_tuple(r.Key, r.Epoch + Day, source);
                it = decoded.find(key);
            }
            referenced.insert(key);
            const std::string what =
                name + " " + SatNumToStr(r.Key) + " " + zqt_timefunc::GPSTimeToStr(r.Epoch);
            if (it == decoded.end()) {
                ADD_FAILURE() << what << ": not decoded";
                continue;
            }
            ++compared;
            const REphem& e = it->second;
            std::vector<double> want = ExpectedValues(e);
            if (sys == SC_GALILEO && source == 512) {
                // The reference marks every I/NAV record as from both signals; here the
                // signals whose data are flagged valid are named (E14 of EPHM has invalid
                // E1-B data).
                if (zqt_ephem_tp::GalileoDVS(e, zqt_ephem_tp::GalSigE1B) != 0 ||
                    zqt_ephem_tp::GalileoDVS(e, zqt_ephem_tp::GalSigE5b) != 0) {
                    EXPECT_EQ(r.V[20], 517.0) << what;
                    want[20] = NAN;
                }
            }
            for (std::size_t i = 0; i < want.size() && i < r.V.size(); ++i) {
                if (std::isnan(want[i])) continue;
                if (SingleField(sys, i))
                    EXPECT_FLOAT_EQ(static_cast<float>(want[i]), static_cast<float>(r.V[i]))
                        << what << " value " << i;
                else
                    EXPECT_TRUE(Close(want[i], r.V[i]))
                        << what << " value " << i << ": " << want[i] << " vs " << r.V[i];
            }
            if (sys == SC_GLONASS) {
                // Frame time: seconds of the UTC week in the file, of the UTC day here.
                EXPECT_EQ(static_cast<std::int64_t>(r.V[2]) % 86400,
                          ((e.Tk % 86400) + 86400) % 86400)
                    << what;
            }
            if (sys == SC_GPS) {
                EXPECT_EQ(zqt_ephem_tp::GpsFitIntervalFlag(e), r.V[28] > 4.0) << what;
            }
        }
        EXPECT_GT(compared, 0) << name;
        for (const auto& [key, e] : decoded)
            EXPECT_TRUE(referenced.count(key))
                << name << " " << SatNumToStr(e.svprn) << " "
                << zqt_timefunc::GPSTimeToStr(e.GPSTime) << ": not in the reference";
    }
}

// ---------------------------------------------------------------------------------------
// Raw receiver records of the decoded ephemerides

namespace {

constexpr double Pi = 3.141592653589793;

std::uint16_t ReceiverNumber(std::uint16_t Key) {
    const unsigned sys = SatKeySystem(Key);
    return static_cast<std::uint16_t>(SatKeyNumber(Key) + SatSystemInfo(sys).PrnBase - 1);
}

// The record the receiver gives for a Keplerian ephemeris: angles in semicircles, the
// small terms in single precision.
zqt_ephem_tp::RVLBKeplerEphem KeplerRaw(const REphem& e) {
    zqt_ephem_tp::RVLBKeplerEphem r;
    r.SatNumber = ReceiverNumber(e.svprn), r.NavType = e.NavType;
    r.Flags = static_cast<std::uint8_t>((e.flags & 1u) | (e.L2flag << 1) | (e.codes << 2));
    r.Health = e.health, r.Ura = e.ura, r.Week = e.weekno, r.Iode = e.iode, r.Iodc = e.iodc;
    r.Toc = e.toc, r.Toe = e.toe, r.Tom = e.tom;
    r.Af0 = e.af0, r.Af1 = static_cast<float>(e.af1), r.Af2 = static_cast<float>(e.af2);
    r.Tgd = static_cast<float>(e.tgd);
    r.Crs = static_cast<float>(e.crs), r.Crc = static_cast<float>(e.crc);
    r.Cuc = static_cast<float>(e.cuc), r.Cus = static_cast<float>(e.cus);
    r.Cic = static_cast<float>(e.cic), r.Cis = static_cast<float>(e.cis);
    r.DeltaN = static_cast<float>(e.deltan / Pi), r.M0 = e.M0 / Pi, r.Ecc = e.ecc;
    r.RootA = e.roota, r.Omega0 = e.Omega0 / Pi, r.I0 = e.i0 / Pi, r.Omega = e.omega / Pi;
    r.OmegaDot = static_cast<float>(e.Omegadot / Pi), r.IDot = static_cast<float>(e.idot / Pi);
    r.BgdE1E5a = e.bgdE1E5a, r.BgdE1E5b = e.bgdE1E5b, r.Tgd2 = e.tgd2;
    r.Aode = static_cast<std::uint8_t>(e.lTope), r.Aodc = static_cast<std::uint8_t>(e.lTopc);
    return r;
}

zqt_ephem_tp::RVLBGlonassEphem GlonassRaw(const REphem& e) {
    zqt_ephem_tp::RVLBGlonassEphem r;
    r.SatNumber = SatKeyNumber(e.svprn), r.FreqNum = e.freq_num, r.Health = e.health;
    r.Flags = e.flags, r.Aoi = e.aoi, r.TauN = -e.af0, r.GammaN = static_cast<float>(e.af1);
    r.TauC = e.TauC;
    r.Tk = static_cast<std::uint32_t>(zqt_timefunc::FloorMod(e.Tk + 10800, 86400));
    r.Tb = (e.toe + 10800) % 86400;
    r.Pos = {e.Pos_X, e.Pos_Y, e.Pos_Z};
    r.Vel = {static_cast<float>(e.Vel_X), static_cast<float>(e.Vel_Y), static_cast<float>(e.Vel_Z)};
    r.Acc = {static_cast<float>(e.Acs_X), static_cast<float>(e.Acs_Y), static_cast<float>(e.Acs_Z)};
    r.DelTauN = e.fDelTauN, r.Ft = e.nFt, r.N4 = e.nN4, r.Flags2 = e.flags2;
    return r;
}

}  // namespace

// Every ephemeris decoded from the real recordings, given as the receiver's raw record,
// converts back to the same satellite, times, orbit and clock.
TEST(RtcmEphemFiles, RawRecordsOfDecodedEphemeridesGiveTheSameOrbitAndClock) {
    zqt_datastorage::TZQS_DataStorage::InitStore();
    const auto object = zqt_ephem_dbs::TZQS_Ephem::CreateChild(
        nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase());
    std::map<unsigned, int> converted;
    for (const std::string name : {"EPHM_2018_08_03", "ROVR_2019_01_20", "TGLO_2009_12_18"}) {
        TESTDATA_FILE(rtcmPath, "rtcm/" + name + ".rtcm3");
        const auto p = name.find("_20");
        TEphemRig rig(DateTicks(std::stoi(name.substr(p + 1, 4)), std::stoi(name.substr(p + 6, 2)),
                                std::stoi(name.substr(p + 9, 2))));
        const auto data = rtcmtest::ReadFile(rtcmPath);
        for (std::size_t i = 0; i < data.size(); i += 4096)
            rig.Parser->AddData(data.data() + i, static_cast<std::int32_t>(
                                                     std::min<std::size_t>(4096, data.size() - i)));
        rig.Parser->EndOfData();
        for (const REphem& d : rig.Decoded) {
            const unsigned sys = SatKeySystem(d.svprn);
            const std::string what =
                name + " " + SatNumToStr(d.svprn) + " " + zqt_timefunc::GPSTimeToStr(d.GPSTime);
            switch (sys) {
                case SC_GPS: object->SetFromRawRecordB(d.GPSTime, SC_GPS, KeplerRaw(d)); break;
                case SC_GALILEO: object->SetFromRawRecordC(d.GPSTime, KeplerRaw(d)); break;
                case SC_BDS: object->SetFromRawRecordD(d.GPSTime, KeplerRaw(d)); break;
                case SC_GLONASS: object->Check(d.GPSTime, GlonassRaw(d), d.LeapSec, 'X'); break;
                default: ADD_FAILURE() << what << ": no raw record"; continue;
            }
            ++converted[sys];
            const REphem e = object->GetRecord();
            ASSERT_EQ(e.svprn, d.svprn) << what;
            EXPECT_EQ(object->GetBegTime(), d.GPSTime) << what;
            EXPECT_EQ(e.toe, d.toe) << what;
            EXPECT_EQ(e.health, d.health) << what;
            EXPECT_EQ(e.weekno, d.weekno) << what;
            if (sys == SC_GLONASS) {
                EXPECT_EQ(e.freq_num, d.freq_num) << what;
                EXPECT_EQ(zqt_timefunc::FloorMod(e.Tk, 86400), zqt_timefunc::FloorMod(d.Tk, 86400))
                    << what;
                EXPECT_EQ(e.iode, d.iode) << what;
                // The clock reference time on the GPS scale.
                EXPECT_EQ(e.toc, d.toc + e.LeapSec) << what;
            } else {
                EXPECT_EQ(e.toc, d.toc) << what;
                EXPECT_EQ(e.iode, d.iode) << what;
                EXPECT_EQ(e.iodc, d.iodc) << what;
                EXPECT_EQ(e.ura, d.ura) << what;
                EXPECT_EQ(e.NavType, d.NavType) << what;
                EXPECT_EQ(e.codes, d.codes) << what;
                EXPECT_EQ(e.L2flag, d.L2flag) << what;
                EXPECT_EQ(zqt_ephem_tp::GpsFitIntervalFlag(e), zqt_ephem_tp::GpsFitIntervalFlag(d))
                    << what;
                // Single precision, then eight significant digits (3e-8 m).
                EXPECT_NEAR(e.tgd, d.tgd, 1e-7 * std::fabs(d.tgd)) << what;
                EXPECT_EQ(e.bgdE1E5b, d.bgdE1E5b) << what;
                EXPECT_FLOAT_EQ(e.tgd2, d.tgd2) << what;
                EXPECT_EQ(e.lTope, d.lTope) << what;
            }
            // Orbit and clock across the validity of the record.
            const double span = sys == SC_GLONASS ? 900.0 : 3600.0;
            for (const double dt : {-span, 0.0, span}) {
                zqt_ephem_func::RSatState a, b;
                ASSERT_TRUE(zqt_ephem_func::TZQS_BRDCFunc::SatPosition(d, d.GPSTime, dt, a))
                    << what;
                ASSERT_TRUE(zqt_ephem_func::TZQS_BRDCFunc::SatPosition(e, d.GPSTime, dt, b))
                    << what;
                EXPECT_NEAR(b.Pos.X, a.Pos.X, 1e-4) << what << " dt " << dt;
                EXPECT_NEAR(b.Pos.Y, a.Pos.Y, 1e-4) << what << " dt " << dt;
                EXPECT_NEAR(b.Pos.Z, a.Pos.Z, 1e-4) << what << " dt " << dt;
                double driftA = 0.0, driftB = 0.0;
                EXPECT_NEAR(zqt_ephem_func::TZQS_BRDCFunc::SatClockBias(e, d.GPSTime, dt, driftB),
                            zqt_ephem_func::TZQS_BRDCFunc::SatClockBias(d, d.GPSTime, dt, driftA),
                            1e-15)
                    << what << " dt " << dt;
                EXPECT_NEAR(driftB, driftA, 1e-19) << what;
            }
        }
    }
    for (const unsigned sys : {SC_GPS, SC_GLONASS, SC_GALILEO, SC_BDS})
        EXPECT_GT(converted[sys], 0) << "system " << sys;
}
