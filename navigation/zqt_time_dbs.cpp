#include "zqt_time_dbs.h"

#include "zqt_iono_dbs.h"

namespace zqt_time_dbs {

using zqt_time_bs::RTimeParams;

const std::array<std::string_view, TimeParamsColumnCount> TimeParamsColumns = {
    "GPSTime", "Sys1",  "Sys2",  "a0",     "a1",     "tot", "wnt", "dtls",
    "dn",      "wnlsf", "dtlsf", "tauSys", "tauGps", "B1",  "B2",  "KP"};

std::shared_ptr<TZQS_TimeParams> TZQS_TimeParams::CreateChild(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_TimeParams>(Parent, std::move(Db));
}

void TZQS_TimeParams::InitFields() {
    TZQS_TimeParams_bs::InitFields();
    FTableName = "TimeParams";
    FWriteFields.assign(TimeParamsColumns.begin(), TimeParamsColumns.end());
}

bool TZQS_TimeParams::Next() {
    if (!TZQS_TimeParams_bs::Next()) return false;
    const zqt_iono_dbs::TRowFields r(*this, "TimeParams");
    RTimeParams s;
    s.GPSTime = r.Ticks("GPSTime");
    s.Sys1 = r.Int<std::uint8_t>("Sys1");
    s.Sys2 = r.Int<std::uint8_t>("Sys2");
    s.a0 = r.FloatZ("a0");
    s.a1 = static_cast<float>(r.FloatZ("a1"));
    s.tot = r.IntZ<std::uint32_t>("tot");
    s.wnt = r.IntZ<std::uint16_t>("wnt");
    s.dtls = r.IntZ<std::int8_t>("dtls");
    s.dn = r.IntZ<std::int16_t>("dn");
    s.wnlsf = r.IntZ<std::uint16_t>("wnlsf");
    s.dtlsf = r.IntZ<std::int8_t>("dtlsf");
    s.tauSys = r.FloatZ("tauSys");
    s.tauGps = static_cast<float>(r.FloatZ("tauGps"));
    s.B1 = static_cast<float>(r.FloatZ("B1"));
    s.B2 = static_cast<float>(r.FloatZ("B2"));
    s.KP = r.IntZ<std::uint8_t>("KP");
    s.N4 = r.IntZ<std::uint8_t>("N4");
    SetData(s);
    return true;
}

void TZQS_TimeParams::ExecuteWrite() {
    const SQLiteExt::IESQLitePreparedStatementPtr& st = WriteStatement();
    st->ClearBindings();
    SQLiteExt::IESQLitePreparedStatement& p = *st;
    const RTimeParams& s = FRecord;
    p.SetParamInt64ByName(":GPSTime", s.GPSTime);
    p.SetParamInt64ByName(":Sys1", s.Sys1);
    p.SetParamInt64ByName(":Sys2", s.Sys2);
    p.SetParamFloatByName(":a0", s.a0);
    p.SetParamFloatByName(":a1", s.a1);
    p.SetParamInt64ByName(":tot", s.tot);
    p.SetParamInt64ByName(":wnt", s.wnt);
    p.SetParamInt64ByName(":dtls", s.dtls);
    p.SetParamInt64ByName(":dn", s.dn);
    p.SetParamInt64ByName(":wnlsf", s.wnlsf);
    p.SetParamInt64ByName(":dtlsf", s.dtlsf);
    p.SetParamFloatByName(":tauSys", s.tauSys);
    p.SetParamFloatByName(":tauGps", s.tauGps);
    p.SetParamFloatByName(":B1", s.B1);
    p.SetParamFloatByName(":B2", s.B2);
    p.SetParamInt64ByName(":KP", s.KP);
    TZQS_TimeParams_bs::ExecuteWrite();
}

}  // namespace zqt_time_dbs
