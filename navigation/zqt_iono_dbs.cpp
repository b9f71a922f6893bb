#include "zqt_iono_dbs.h"

#include <string>

namespace zqt_iono_dbs {

using sysutils::Format;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::Variant;

const std::array<std::string_view, IonoColumnCount> IonoColumns = {
    "GPSTime", "SatCode", "tot",   "wn",    "alpha0", "alpha1",
    "alpha2",  "alpha3",  "beta0", "beta1", "beta2",  "beta3"};

// =======================================================================================
// TRowFields

Variant TRowFields::Value(const char* Column) const { return FObj.GetFieldValue(Variant(Column)); }

Variant TRowFields::Need(const char* Column) const {
    Variant v = Value(Column);
    if (v.IsNull())
        throw ExceptionZQS(Format("Column %s of table %s is NULL", Column, std::string(FTable)));
    return v;
}

std::int64_t TRowFields::Ticks(const char* Column) const {
    const Variant v = Need(Column);
    return v.VarType() == zqt_variant::varCurrency ? v.AsCurrency() : v.AsInt64();
}

void TRowFields::OutOfRange(const char* Column, std::int64_t V) const {
    throw ExceptionZQS(
        Format("Column %s of table %s holds %d, out of range", Column, std::string(FTable), V));
}

// =======================================================================================
// TZQS_Iono

std::shared_ptr<TZQS_Iono> TZQS_Iono::CreateChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                                  SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_Iono>(Parent, std::move(Db));
}

void TZQS_Iono::InitFields() {
    TZQS_Iono_bs::InitFields();
    FTableName = "Iono";
    FWriteFields.assign(IonoColumns.begin(), IonoColumns.end());
}

bool TZQS_Iono::Next() {
    if (!TZQS_Iono_bs::Next()) return false;
    const TRowFields r(*this, "Iono");
    zqt_iono_bs::RIono s;
    s.GPSTime = r.Ticks("GPSTime");
    s.System = r.Int<std::uint8_t>("SatCode");
    s.tot = r.Int<std::uint32_t>("tot");
    s.wn = r.Int<std::uint16_t>("wn");
    s.alpha0 = static_cast<float>(r.FloatZ("alpha0"));
    s.alpha1 = static_cast<float>(r.FloatZ("alpha1"));
    s.alpha2 = static_cast<float>(r.FloatZ("alpha2"));
    s.alpha3 = static_cast<float>(r.FloatZ("alpha3"));
    s.beta0 = static_cast<float>(r.FloatZ("beta0"));
    s.beta1 = static_cast<float>(r.FloatZ("beta1"));
    s.beta2 = static_cast<float>(r.FloatZ("beta2"));
    s.beta3 = static_cast<float>(r.FloatZ("beta3"));
    SetRecord(s);
    return true;
}

void TZQS_Iono::ExecuteWrite() {
    const SQLiteExt::IESQLitePreparedStatementPtr& st = WriteStatement();
    st->ClearBindings();
    SQLiteExt::IESQLitePreparedStatement& p = *st;
    const zqt_iono_bs::RIono& s = FRecord;
    p.SetParamInt64ByName(":GPSTime", s.GPSTime);
    p.SetParamInt64ByName(":SatCode", s.System);
    p.SetParamInt64ByName(":tot", s.tot);
    p.SetParamInt64ByName(":wn", s.wn);
    p.SetParamFloatByName(":alpha0", s.alpha0);
    p.SetParamFloatByName(":alpha1", s.alpha1);
    p.SetParamFloatByName(":alpha2", s.alpha2);
    p.SetParamFloatByName(":alpha3", s.alpha3);
    p.SetParamFloatByName(":beta0", s.beta0);
    p.SetParamFloatByName(":beta1", s.beta1);
    p.SetParamFloatByName(":beta2", s.beta2);
    p.SetParamFloatByName(":beta3", s.beta3);
    TZQS_Iono_bs::ExecuteWrite();
}

}  // namespace zqt_iono_dbs
