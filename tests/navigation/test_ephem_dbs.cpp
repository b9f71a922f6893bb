// The ephemeris row object and table Ephemeris: every system's record round-trips, the
// stored column values (reference-time scale, issue of data, NULL for what a system does
// not use), the defaults on reading, NULL and out-of-range columns, and the storage key.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ephem_rows_util.h"
#include "zqt_datastorage.h"
#include "zqt_ephem_dbs.h"
#include "zqt_timefunc.h"

namespace {

using ephemrows::REphem;
using zqt_ephem_dbs::TZQS_Ephem;
using zqt_variant::Variant;

class EphemTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_datastorage::TZQS_DataStorage::InitStore();
        Db = zqt_datastorage::TZQS_DataStorage::NavDatabase();
        ASSERT_TRUE(Db);
        Ephem = TZQS_Ephem::CreateChild(nullptr, Db);
    }
    void Write(const REphem& e) {
        Ephem->SetRecord(e);
        Ephem->ExecuteWrite();
    }
    // The record read back by the object from the row of its satellite and kind.
    REphem Read(const REphem& e) {
        Ephem->OpenFmt("SELECT * FROM Ephemeris WHERE svprn = %d AND NavType = %d", e.svprn,
                       e.NavType);
        EXPECT_TRUE(Ephem->Next());
        REphem got = Ephem->GetRecord();
        EXPECT_FALSE(Ephem->Next());
        Ephem->CloseSelect();
        return got;
    }
    Variant Column(const REphem& e, const std::string& column) {
        return Db->QueryValue(
            SQLiteExt::FormatPt("SELECT %s FROM Ephemeris WHERE svprn = %d AND NavType = %d",
                                column, e.svprn, e.NavType));
    }
    void SetColumn(const REphem& e, const std::string& assignment) {
        Db->ExecSQL(SQLiteExt::FormatPt("UPDATE Ephemeris SET %s WHERE svprn = %d AND NavType = %d",
                                        assignment, e.svprn, e.NavType));
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TZQS_Ephem> Ephem;
};

}  // namespace

TEST_F(EphemTableTest, EverySystemsRecordRoundTrips) {
    for (const ephemrows::RSample& s : ephemrows::Samples()) Write(s.Record);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"),
              static_cast<std::int64_t>(ephemrows::Samples().size()));
    for (const ephemrows::RSample& s : ephemrows::Samples()) {
        const REphem got = Read(s.Record);
        ephemrows::ExpectSameRecord(s.Record, got, s.Name);
        EXPECT_EQ(Ephem->GetBegTime(), s.Record.GPSTime) << s.Name;
        EXPECT_EQ(Ephem->GetSvprn(), s.Record.svprn) << s.Name;
        EXPECT_EQ(Ephem->GetSatCode(), s.Record.svprn >> 8) << s.Name;
    }
}

TEST_F(EphemTableTest, StoredColumnValues) {
    using namespace zqt_sat_obs_types;
    REphem gps = ephemrows::Filled(SC_GPS, 1, 0);
    gps.toc = 7200;
    gps.tom = zqt_ephem_tp::TomUnknown;
    REphem bds = ephemrows::Filled(SC_BDS, 1, 0);
    bds.toe = 3600;
    REphem glo0 = ephemrows::Filled(SC_GLONASS, 1, 0);
    glo0.toe = 0;  // 03:00 Moscow time
    REphem glo23 = ephemrows::Filled(SC_GLONASS, 2, 0);
    glo23.toe = 85500;  // 23:45 UTC = 02:45 Moscow time of the next day
    REphem gal = ephemrows::Filled(SC_GALILEO, 1, 1);
    Write(gal);  // a Galileo row first, then the others through the same object
    for (const REphem& e : {gps, bds, glo0, glo23}) Write(e);

    struct Case {
        const char* what;
        REphem row;
        const char* column;
        Variant value;  // Null: the column must be NULL
    };
    const Case cases[] = {
        {"toc in milliseconds", gps, "toc", Variant(std::int64_t{7200000})},
        {"unknown tom", gps, "tom", Variant::Null()},
        {"GPS row: Galileo column", gps, "bgdE1E5a", Variant::Null()},
        {"GPS row: Galileo column", gps, "sfi", Variant::Null()},
        {"GPS row: GLONASS column", gps, "Pos_X", Variant::Null()},
        {"GPS row: BeiDou column", gps, "tgd2", Variant::Null()},
        {"Galileo row: GPS tail", gal, "fIscL1CA", Variant::Null()},
        {"GLONASS row: orbit", glo0, "roota", Variant::Null()},
        {"GLONASS row: clock drift rate", glo0, "af2", Variant::Null()},
        {"BeiDou iode from toe", bds, "iode", Variant(5.0)},
        {"GLONASS tb at 03:00 Moscow", glo0, "iode", Variant(12.0)},
        {"GLONASS tb at 02:45 Moscow", glo23, "iode", Variant(11.0)},
        {"GLONASS negative Tk", glo0, "Tk", Variant(std::int64_t{-1800})},
        {"system of the key", bds, "SatCode", Variant(std::int64_t{SC_BDS})},
    };
    for (const Case& c : cases) {
        const Variant v = Column(c.row, c.column);
        if (c.value.IsNull())
            EXPECT_TRUE(v.IsNull())
                << c.what << ": " << c.column << " = " << zqt_variant::VarToStrZ(v);
        else
            EXPECT_TRUE(v == c.value)
                << c.what << ": " << c.column << " = " << zqt_variant::VarToStrZ(v);
    }
    EXPECT_EQ(Read(gps).toc, 7200u);
    EXPECT_EQ(Read(gps).tom, zqt_ephem_tp::TomUnknown);
}

TEST_F(EphemTableTest, GlonassDefaultsOnReading) {
    const REphem glo = ephemrows::Filled(zqt_sat_obs_types::SC_GLONASS, 4, 0);
    Write(glo);
    SetColumn(glo, "LeapSec = 0, cURAoe = 0, fDelTauN = NULL, tGPS = NULL, lTope = NULL");
    const REphem got = Read(glo);
    EXPECT_EQ(got.LeapSec, zqt_timefunc::LeapSeconds(glo.GPSTime));
    EXPECT_EQ(got.LeapSec, 18);
    EXPECT_EQ(got.cURAoe, 'X');
    EXPECT_EQ(got.fDelTauN, 0.0f);
    EXPECT_EQ(got.tGPS, 0.0);
    EXPECT_EQ(got.lTope, 0);
    EXPECT_EQ(got.Pos_X, glo.Pos_X);
}

TEST_F(EphemTableTest, NullTailsReadAsZeroWhileNeededColumnsRaise) {
    using namespace zqt_sat_obs_types;
    for (const std::uint8_t sys : {SC_GPS, SC_QZSS, SC_GALILEO, SC_BDS}) {
        const REphem e = ephemrows::Filled(sys, 20, sys == SC_BDS ? 8 | 32 | 64 : 0);
        Write(e);
        SetColumn(e,
                  "lTope = NULL, lTopc = NULL, cURAoe = NULL, fIscL1CA = NULL, "
                  "fIscL5Q5 = NULL, bgdE1E5b = NULL, ai2 = NULL, sfi = NULL, tgd2 = NULL, "
                  "flags2 = NULL, dADot = NULL, fDelnDot = NULL, flags = NULL, iode = NULL");
        const REphem got = Read(e);
        EXPECT_EQ(got.lTope, 0) << sys;
        EXPECT_EQ(got.cURAoe, 0) << sys;
        EXPECT_EQ(got.fIscL1CA, 0.0f) << sys;
        EXPECT_EQ(got.fIscL5Q5, 0.0f) << sys;
        EXPECT_EQ(got.bgdE1E5b, 0.0f) << sys;
        EXPECT_EQ(got.sfi, 0) << sys;
        EXPECT_EQ(got.tgd2, 0.0f) << sys;
        EXPECT_EQ(got.dADot, 0.0) << sys;
        EXPECT_EQ(got.iode, 0) << sys;
        EXPECT_EQ(got.roota, e.roota) << sys;
    }

    struct Case {
        const char* assignment;
        const char* column;  // named in the message
    };
    const Case bad[] = {
        {"roota = NULL", "roota"}, {"toe = NULL", "toe"},      {"toc = NULL", "toc"},
        {"codes = 300", "codes"},  {"svprn = 70000", "svprn"}, {"tom = 3000000000", "tom"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.assignment);
        Db->ExecSQL("DELETE FROM Ephemeris");
        const REphem e = ephemrows::Filled(SC_GPS, 21, 0);
        Write(e);
        Db->ExecSQL(std::string("UPDATE Ephemeris SET ") + c.assignment);
        Ephem->OpenTable();
        try {
            Ephem->Next();
            ADD_FAILURE() << "no error";
        } catch (const zqt_ephem_tp::ExcpEphemError& err) {
            EXPECT_NE(std::string(err.what()).find(std::string("Column ") + c.column),
                      std::string::npos)
                << err.what();
        }
        Ephem->CloseSelect();
    }
}

TEST_F(EphemTableTest, ARowOfAKnownKeyIsNotReplaced) {
    REphem e = ephemrows::Filled(zqt_sat_obs_types::SC_GPS, 9, 0);
    Write(e);
    e.af0 = 1.0;
    Write(e);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"), 1);
    EXPECT_EQ(Read(e).af0, -1.234567890123e-4);
}

TEST(EphemKey, RecordsShareAKeyWithinOneTimeBlockOfOneKind) {
    using namespace zqt_sat_obs_types;
    const std::int64_t block = ephemrows::T0 & zqt_ephem_bs::EphemKeyTimeMask;
    auto key = [](REphem e) {
        const auto obj = zqt_classes_dbs::TZQS_Object::CreateChildOf<zqt_ephem_bs::TZQS_Ephem_bs>(
            nullptr, zqt_datastorage::TNavDB::Create());
        obj->SetRecord(e);
        return obj->GetKey();
    };
    REphem a = ephemrows::Filled(SC_GPS, 3, 0);
    a.GPSTime = block;
    REphem sameBlock = a;
    sameBlock.GPSTime = block + 8191;
    REphem nextBlock = a;
    nextBlock.GPSTime = block + 8192;
    REphem otherKind = a;
    otherKind.NavType = 2;
    REphem otherSat = a;
    otherSat.svprn = a.svprn + 1;
    REphem noOrbit = a;
    noOrbit.roota = 0.0;
    REphem glo = ephemrows::Filled(SC_GLONASS, 3, 0);
    REphem noSat = a;
    noSat.svprn = 0;

    EXPECT_NE(key(a), 0);
    EXPECT_EQ(key(sameBlock), key(a));
    EXPECT_NE(key(nextBlock), key(a));
    EXPECT_NE(key(otherKind), key(a));
    EXPECT_NE(key(otherSat), key(a));
    EXPECT_EQ(key(noOrbit), 0);
    EXPECT_NE(key(glo), 0);  // GLONASS carries no roota
    EXPECT_EQ(key(noSat), 0);
}

TEST(EphemKey, GlonassLeapSecondsAreRaisedToTheTable) {
    const auto obj = zqt_classes_dbs::TZQS_Object::CreateChildOf<zqt_ephem_bs::TZQS_Ephem_bs>(
        nullptr, zqt_datastorage::TNavDB::Create());
    REphem e = ephemrows::Filled(zqt_sat_obs_types::SC_GLONASS, 1, 0);
    for (const auto& [given, kept] : {std::pair{0, 18}, {10, 18}, {18, 18}, {30, 30}}) {
        e.LeapSec = static_cast<std::uint8_t>(given);
        obj->SetRecord(e);
        EXPECT_EQ(obj->GetRecord().LeapSec, kept) << given;
    }
    REphem gps = ephemrows::Filled(zqt_sat_obs_types::SC_GPS, 1, 0);
    obj->SetRecord(gps);  // other systems keep theirs
    EXPECT_EQ(obj->GetRecord().LeapSec, 0);
    EXPECT_EQ(obj->GetSatCode(), zqt_sat_obs_types::SC_GPS);
}

// The receiver's raw records through the object's entries: the keys follow the converted
// record; a record that fails leaves key 0.
TEST_F(EphemTableTest, RawRecordEntriesDeriveTheKeys) {
    using namespace zqt_sat_obs_types;
    const std::int64_t t = (2013LL * 7 + 5) * zqt_timefunc::TicksPerDay;  // 2018-08-03
    zqt_ephem_tp::RVLBKeplerEphem k{.SatNumber = 5, .RootA = 5153.6};
    const auto raw = [&k](std::uint16_t Number) {
        auto r = k;
        r.SatNumber = Number;
        return r;
    };
    const struct {
        const char* Name;
        std::function<void()> Run;
        std::uint16_t Key;
        std::int64_t Time;
    } cases[] = {
        {"GPS", [&] { Ephem->SetFromRawRecordB(t, SC_GPS, raw(5)); }, SatKey(SC_GPS, 5), t},
        {"QZSS", [&] { Ephem->SetFromRawRecordB(t, SC_QZSS, raw(194)); }, SatKey(SC_QZSS, 2), t},
        {"Galileo", [&] { Ephem->SetFromRawRecordC(t, raw(11)); }, SatKey(SC_GALILEO, 11), t},
        {"BeiDou", [&] { Ephem->SetFromRawRecordD(t, raw(30)); }, SatKey(SC_BDS, 30), t},
        {"IRNSS", [&] { Ephem->SetFromRawRecordA(t, raw(3)); }, SatKey(SC_IRNSS, 3), t},
        {"SBAS", [&] { Ephem->SetFromRawRecordE(t, {.SatNumber = 127, .TimeOfDay = 3600}); },
         SatKey(SC_WAAS, 8), t + 3600 * zqt_timefunc::TicksPerSecond},
        {"GLONASS", [&] { Ephem->Check(t, {.SatNumber = 9, .Tb = 11700}, 0, 'M'); },
         SatKey(SC_GLONASS, 9), t},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Run();
        EXPECT_EQ(Ephem->GetSvprn(), c.Key);
        EXPECT_EQ(Ephem->GetSatCode(), c.Key >> 8);
        EXPECT_EQ(Ephem->GetBegTime(), c.Time);
        EXPECT_NE(Ephem->GetKey(), 0);
    }
    EXPECT_EQ(Ephem->GetRecord().LeapSec, 18) << "a GLONASS record's leap seconds";
    // A kind the GPS conversion does not know: raised, and nothing left to index.
    k.NavType = 3;
    EXPECT_THROW(Ephem->SetFromRawRecordB(t, SC_GPS, k), zqt_ephem_tp::ExcpVLBBadEphemData);
    EXPECT_EQ(Ephem->GetSvprn(), 0);
    EXPECT_EQ(Ephem->GetKey(), 0);
}
