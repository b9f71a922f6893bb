#include "zqt_ephem_dbs.h"

#include <limits>
#include <string>

#include "sysutils.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"
#include "zqt_variant.h"

namespace zqt_ephem_dbs {

using sysutils::Format;
using zqt_ephem_tp::ExcpEphemError;
using zqt_variant::Variant;
namespace sc = zqt_sat_obs_types;

const std::array<std::string_view, EphemerisColumnCount> EphemerisColumns = {
    "GPSTime",  "svprn",    "NavType",  "SatCode", "weekno",   "toc",      "toe",      "tom",
    "af0",      "af1",      "af2",      "iode",    "crs",      "deltan",   "M0",       "cuc",
    "ecc",      "cus",      "roota",    "cic",     "Omega0",   "cis",      "i0",       "crc",
    "omega",    "Omegadot", "idot",     "tgd",     "iodc",     "codes",    "L2flag",   "ura",
    "bgdE1E5a", "bgdE1E5b", "ai0",      "ai1",     "ai2",      "sfi",      "tgd2",     "lTope",
    "lTopc",    "dADot",    "fDelnDot", "cURAoe",  "cURAoc",   "cURAoc1",  "cURAoc2",  "fIscL1CA",
    "fIscL2C",  "fIscL5I5", "fIscL5Q5", "DAf0",    "fIscL1CP", "fIscL1CD", "Tk",       "Pos_X",
    "Vel_X",    "Acs_X",    "Pos_Y",    "Vel_Y",   "Acs_Y",    "Pos_Z",    "Vel_Z",    "Acs_Z",
    "health",   "freq_num", "aoi",      "TauC",    "LeapSec",  "flags",    "fDelTauN", "nFt",
    "nN4",      "flags2",   "tGPS"};

namespace {

// BeiDou message kinds: below 8 the legacy message with its ages of data; the bit values
// mark which inter-signal corrections the record carries.
constexpr std::uint8_t BdsIscFirst = 8;
constexpr std::uint8_t BdsIscSecond = 32;
constexpr std::uint8_t BdsIscThirdFourth = 64;

bool IsGpsTail(std::uint8_t sys) { return sys == sc::SC_GPS || sys == sc::SC_QZSS; }

// Reads the columns of the current row for one record, with the column named in every
// error.
class TRowReader {
public:
    explicit TRowReader(const TZQS_Ephem& Obj) : FObj(Obj) {}

    // A value that must be there.
    Variant Need(const char* Column) const {
        Variant v = FObj.GetFieldValue(Variant(Column));
        if (v.IsNull())
            throw ExcpEphemError(Format("Column %s of table Ephemeris is NULL", Column));
        return v;
    }
    template <class T>
    T Int(const char* Column) const {
        return Fit<T>(Column, Need(Column).AsInt64());
    }
    // NULL (or blank) reads as 0.
    template <class T>
    T IntZ(const char* Column) const {
        return Fit<T>(Column, zqt_variant::VarToInt64Z(FObj.GetFieldValue(Variant(Column))));
    }
    double Float(const char* Column) const { return Need(Column).AsDouble(); }
    double FloatZ(const char* Column) const {
        return zqt_variant::VarToFloatZ(FObj.GetFieldValue(Variant(Column)));
    }
    // A GPS time: a GPSTIME column arrives as Currency whose raw value is the tick count;
    // a plain integer is taken as ticks too.
    std::int64_t Ticks(const char* Column) const {
        const Variant v = Need(Column);
        return v.VarType() == zqt_variant::varCurrency ? v.AsCurrency() : v.AsInt64();
    }
    bool IsNull(const char* Column) const { return FObj.GetFieldValue(Variant(Column)).IsNull(); }

    template <class T>
    static T Fit(const char* Column, std::int64_t Value) {
        bool fits;
        if constexpr (std::numeric_limits<T>::is_signed)
            fits = Value >= static_cast<std::int64_t>(std::numeric_limits<T>::min()) &&
                   Value <= static_cast<std::int64_t>(std::numeric_limits<T>::max());
        else
            fits = Value >= 0 && static_cast<std::uint64_t>(Value) <=
                                     static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (!fits)
            throw ExcpEphemError(
                Format("Column %s of table Ephemeris holds %d, out of range", Column, Value));
        return static_cast<T>(Value);
    }

private:
    const TZQS_Ephem& FObj;
};

}  // namespace

std::shared_ptr<TZQS_Ephem> TZQS_Ephem::CreateChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                                    SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_Ephem>(Parent, std::move(Db));
}

void TZQS_Ephem::InitFields() {
    TZQS_Ephem_bs::InitFields();
    FTableName = "Ephemeris";
    FWriteFields.assign(EphemerisColumns.begin(), EphemerisColumns.end());
}

bool TZQS_Ephem::Next() {
    if (!TZQS_Ephem_bs::Next()) return false;
    ReadRow();
    SetBegTime(FRecord.GPSTime);
    FSvprn = FRecord.svprn;
    FSatCode = static_cast<std::uint8_t>(FRecord.svprn >> 8);
    return true;
}

void TZQS_Ephem::ReadRow() {
    const TRowReader r(*this);
    REphem& e = FRecord;
    e = REphem{};
    e.GPSTime = r.Ticks("GPSTime");
    e.svprn = r.Int<std::uint16_t>("svprn");
    e.NavType = r.Int<std::uint8_t>("NavType");
    e.weekno = r.Int<std::uint16_t>("weekno");
    e.toe = r.Int<std::uint32_t>("toe");
    // A transmission time that was not known is stored as NULL.
    e.tom = r.IsNull("tom") ? zqt_ephem_tp::TomUnknown : r.Int<std::int32_t>("tom");
    e.health = r.Int<std::uint16_t>("health");
    e.af0 = r.Float("af0");
    e.af1 = r.Float("af1");
    e.toc = TRowReader::Fit<std::uint32_t>("toc", r.Need("toc").AsInt64() / 1000);
    e.flags = r.IntZ<std::uint8_t>("flags");
    e.iode = r.IntZ<std::int16_t>("iode");

    const std::uint8_t sys = static_cast<std::uint8_t>(e.svprn >> 8);
    if (zqt_ephem_tp::IsCartesianSystem(sys)) {
        e.af2 = 0.0;
        e.tgd = 0.0;
        e.Tk = r.Int<std::int32_t>("Tk");
        e.Pos_X = r.Float("Pos_X");
        e.Vel_X = r.Float("Vel_X");
        e.Acs_X = r.Float("Acs_X");
        e.Pos_Y = r.Float("Pos_Y");
        e.Vel_Y = r.Float("Vel_Y");
        e.Acs_Y = r.Float("Acs_Y");
        e.Pos_Z = r.Float("Pos_Z");
        e.Vel_Z = r.Float("Vel_Z");
        e.Acs_Z = r.Float("Acs_Z");
        e.freq_num = r.Int<std::int8_t>("freq_num");
        e.aoi = r.Int<std::uint8_t>("aoi");
        e.TauC = r.Float("TauC");
        e.LeapSec = r.Int<std::uint8_t>("LeapSec");
        if (e.LeapSec == 0)
            e.LeapSec =
                TRowReader::Fit<std::uint8_t>("LeapSec", zqt_timefunc::LeapSeconds(e.GPSTime));
        e.fDelTauN = static_cast<float>(r.FloatZ("fDelTauN"));
        e.nFt = r.IntZ<std::uint8_t>("nFt");
        e.nN4 = r.IntZ<std::uint8_t>("nN4");
        e.flags2 = r.IntZ<std::uint16_t>("flags2");
        e.tGPS = r.FloatZ("tGPS");
        e.cURAoe = r.IntZ<std::int16_t>("cURAoe");
        if (e.cURAoe == 0) e.cURAoe = 'X';
        e.cURAoc = r.IntZ<std::int16_t>("cURAoc");
        e.cURAoc1 = r.IntZ<std::int16_t>("cURAoc1");
        e.cURAoc2 = r.IntZ<std::int16_t>("cURAoc2");
        e.lTope = r.IntZ<std::int64_t>("lTope");
        e.lTopc = r.IntZ<std::int64_t>("lTopc");
        e.fIscL1CA = static_cast<float>(r.FloatZ("fIscL1CA"));
        e.fIscL2C = static_cast<float>(r.FloatZ("fIscL2C"));
        return;
    }

    e.af2 = r.Float("af2");
    e.crs = r.Float("crs");
    e.deltan = r.Float("deltan");
    e.M0 = r.Float("M0");
    e.cuc = r.Float("cuc");
    e.ecc = r.Float("ecc");
    e.cus = r.Float("cus");
    e.roota = r.Float("roota");
    e.cic = r.Float("cic");
    e.Omega0 = r.Float("Omega0");
    e.cis = r.Float("cis");
    e.i0 = r.Float("i0");
    e.crc = r.Float("crc");
    e.omega = r.Float("omega");
    e.Omegadot = r.Float("Omegadot");
    e.idot = r.Float("idot");
    e.tgd = r.Float("tgd");
    e.iodc = r.Int<std::int16_t>("iodc");
    e.codes = r.Int<std::uint8_t>("codes");
    e.L2flag = r.Int<std::uint8_t>("L2flag");
    e.ura = r.Int<std::int8_t>("ura");
    e.DAf0 = static_cast<float>(r.Float("DAf0"));
    e.dADot = r.FloatZ("dADot");
    e.fDelnDot = static_cast<float>(r.FloatZ("fDelnDot"));

    // The tails; a tail column left NULL reads as 0.
    if (IsGpsTail(sys)) {
        e.lTope = r.IntZ<std::int64_t>("lTope");
        e.lTopc = r.IntZ<std::int64_t>("lTopc");
        e.cURAoe = r.IntZ<std::int16_t>("cURAoe");
        e.cURAoc = r.IntZ<std::int16_t>("cURAoc");
        e.cURAoc1 = r.IntZ<std::int16_t>("cURAoc1");
        e.cURAoc2 = r.IntZ<std::int16_t>("cURAoc2");
        e.fIscL1CA = static_cast<float>(r.FloatZ("fIscL1CA"));
        e.fIscL2C = static_cast<float>(r.FloatZ("fIscL2C"));
        e.fIscL5I5 = static_cast<float>(r.FloatZ("fIscL5I5"));
        e.fIscL5Q5 = static_cast<float>(r.FloatZ("fIscL5Q5"));
        e.fIscL1CP = static_cast<float>(r.FloatZ("fIscL1CP"));
        e.fIscL1CD = static_cast<float>(r.FloatZ("fIscL1CD"));
    } else if (sys == sc::SC_GALILEO) {
        e.bgdE1E5a = static_cast<float>(r.FloatZ("bgdE1E5a"));
        e.bgdE1E5b = static_cast<float>(r.FloatZ("bgdE1E5b"));
        e.ai0 = static_cast<float>(r.FloatZ("ai0"));
        e.ai1 = static_cast<float>(r.FloatZ("ai1"));
        e.ai2 = static_cast<float>(r.FloatZ("ai2"));
        e.sfi = r.IntZ<std::uint8_t>("sfi");
    } else if (sys == sc::SC_BDS) {
        e.tgd2 = static_cast<float>(r.FloatZ("tgd2"));
        e.flags2 = r.IntZ<std::uint16_t>("flags2");
        if (e.NavType < 8) {
            e.lTope = r.IntZ<std::int64_t>("lTope");
            e.lTopc = r.IntZ<std::int64_t>("lTopc");
        }
        if (e.NavType & BdsIscFirst) e.fIscL1CA = static_cast<float>(r.FloatZ("fIscL1CA"));
        if (e.NavType & BdsIscSecond) e.fIscL2C = static_cast<float>(r.FloatZ("fIscL2C"));
        if (e.NavType & BdsIscThirdFourth) {
            e.fIscL5I5 = static_cast<float>(r.FloatZ("fIscL5I5"));
            e.fIscL5Q5 = static_cast<float>(r.FloatZ("fIscL5Q5"));
        }
    }
}

void TZQS_Ephem::ExecuteWrite() {
    const SQLiteExt::IESQLitePreparedStatementPtr& st = WriteStatement();
    // Every column starts NULL: what a record's system does not use stays NULL.
    st->ClearBindings();
    SQLiteExt::IESQLitePreparedStatement& p = *st;
    auto I = [&p](std::string_view Column, std::int64_t Value) {
        p.SetParamInt64ByName(":" + std::string(Column), Value);
    };
    auto F = [&p](std::string_view Column, double Value) {
        p.SetParamFloatByName(":" + std::string(Column), Value);
    };
    const REphem& e = FRecord;
    const std::uint8_t sys = static_cast<std::uint8_t>(FSvprn >> 8);

    I("GPSTime", GetBegTime());
    I("svprn", FSvprn);
    I("SatCode", sys);
    I("NavType", e.NavType);
    I("weekno", e.weekno);
    I("health", e.health);
    F("af0", e.af0);
    F("af1", e.af1);
    I("flags", e.flags);
    I("toe", e.toe);
    if (zqt_ephem_tp::HasTransmissionTime(e)) I("tom", e.tom);
    I("toc", static_cast<std::int64_t>(e.toc) * 1000);

    if (FSatCode == sc::SC_GLONASS || FSatCode == sc::SC_WAAS) {
        // The GLONASS reference-time index tb: quarter hours of the Moscow day.
        I("iode", ((static_cast<std::int64_t>(e.toe) + 10800) / 900) % 96);
        I("Tk", e.Tk);
        F("Pos_X", e.Pos_X);
        F("Vel_X", e.Vel_X);
        F("Acs_X", e.Acs_X);
        F("Pos_Y", e.Pos_Y);
        F("Vel_Y", e.Vel_Y);
        F("Acs_Y", e.Acs_Y);
        F("Pos_Z", e.Pos_Z);
        F("Vel_Z", e.Vel_Z);
        F("Acs_Z", e.Acs_Z);
        I("freq_num", e.freq_num);
        I("aoi", e.aoi);
        F("TauC", e.TauC);
        I("LeapSec", e.LeapSec);
        F("fDelTauN", e.fDelTauN);
        I("nFt", e.nFt);
        I("nN4", e.nN4);
        I("flags2", e.flags2);
        F("tGPS", e.tGPS);
        I("cURAoe", e.cURAoe);
        // The extended GLONASS data set.
        I("cURAoc", e.cURAoc);
        I("cURAoc1", e.cURAoc1);
        I("cURAoc2", e.cURAoc2);
        I("lTope", e.lTope);
        I("lTopc", e.lTopc);
        F("fIscL1CA", e.fIscL1CA);
        F("fIscL2C", e.fIscL2C);
    } else {
        F("af2", e.af2);
        F("crs", e.crs);
        F("deltan", e.deltan);
        F("M0", e.M0);
        F("cuc", e.cuc);
        F("ecc", e.ecc);
        F("cus", e.cus);
        F("roota", e.roota);
        F("cic", e.cic);
        F("Omega0", e.Omega0);
        F("cis", e.cis);
        F("i0", e.i0);
        F("crc", e.crc);
        F("omega", e.omega);
        F("Omegadot", e.Omegadot);
        F("idot", e.idot);
        F("tgd", e.tgd);
        I("iodc", e.iodc);
        I("codes", e.codes);
        I("L2flag", e.L2flag);
        I("ura", e.ura);
        F("DAf0", e.DAf0);
        F("dADot", e.dADot);
        F("fDelnDot", e.fDelnDot);
        // BeiDou's issue of data follows from toe (one value per 720 s, cycling at 240).
        I("iode", FSatCode == sc::SC_BDS ? static_cast<std::int64_t>(e.toe / 720 % 240)
                                         : static_cast<std::int64_t>(e.iode));
        if (IsGpsTail(sys)) {
            I("lTope", e.lTope);
            I("lTopc", e.lTopc);
            I("cURAoe", e.cURAoe);
            I("cURAoc", e.cURAoc);
            I("cURAoc1", e.cURAoc1);
            I("cURAoc2", e.cURAoc2);
            F("fIscL1CA", e.fIscL1CA);
            F("fIscL2C", e.fIscL2C);
            F("fIscL5I5", e.fIscL5I5);
            F("fIscL5Q5", e.fIscL5Q5);
            F("fIscL1CP", e.fIscL1CP);
            F("fIscL1CD", e.fIscL1CD);
        } else if (sys == sc::SC_GALILEO) {
            F("bgdE1E5a", e.bgdE1E5a);
            F("bgdE1E5b", e.bgdE1E5b);
            F("ai0", e.ai0);
            F("ai1", e.ai1);
            F("ai2", e.ai2);
            I("sfi", e.sfi);
        } else if (sys == sc::SC_BDS) {
            F("tgd2", e.tgd2);
            I("flags2", e.flags2);
            if (e.NavType < 8) {
                I("lTope", e.lTope);
                I("lTopc", e.lTopc);
            }
            if (e.NavType & BdsIscFirst) F("fIscL1CA", e.fIscL1CA);
            if (e.NavType & BdsIscSecond) F("fIscL2C", e.fIscL2C);
            if (e.NavType & BdsIscThirdFourth) {
                F("fIscL5I5", e.fIscL5I5);
                F("fIscL5Q5", e.fIscL5Q5);
            }
        }
    }
    TZQS_Ephem_bs::ExecuteWrite();
}

}  // namespace zqt_ephem_dbs
