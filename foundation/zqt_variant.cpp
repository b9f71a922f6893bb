#include "zqt_variant.h"

#include <cmath>
#include <limits>

namespace zqt_variant {

using sysutils::EVariantTypeCastError;

namespace {

// Rounds half to even and checks the range before turning a double into an integer.
bool RoundToInt64(double d, std::int64_t& out) {
    if (std::isnan(d)) return false;
    const double r = std::nearbyint(d);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
    out = static_cast<std::int64_t>(r);
    return true;
}

}  // namespace

Variant Variant::Currency(std::int64_t raw) {
    Variant v;
    v.FType = varCurrency;
    v.FValue = raw;
    return v;
}

Variant Variant::Date(sysutils::TDateTime dt) {
    Variant v;
    v.FType = varDate;
    v.FValue = dt;
    return v;
}

bool Variant::IsOrdinal() const noexcept {
    switch (FType) {
    case varSmallint: case varInteger: case varBoolean: case varShortInt: case varByte:
    case varWord: case varLongWord: case varInt64: case varUInt64:
        return true;
    default:
        return false;
    }
}

bool Variant::IsNumeric() const noexcept {
    return IsOrdinal() || IsFloat() || FType == varCurrency;
}

std::string Variant::TypeName() const {
    switch (FType) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varSingle: return "Single";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varBoolean: return "Boolean";
    case varShortInt: return "ShortInt";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varLongWord: return "Cardinal";
    case varInt64: return "Int64";
    case varUInt64: return "UInt64";
    case varUString: return "UnicodeString";
    case varByteArray: return "Array Byte";
    default: return "Unknown";
    }
}

void Variant::CastError(const char* target) const {
    throw EVariantTypeCastError(sysutils::Format(
        "Could not convert variant of type (%s) into type (%s)", TypeName(), target));
}

std::int64_t Variant::AsInt64() const {
    switch (FType) {
    case varEmpty:
        return 0;
    case varBoolean:
        return std::get<std::int64_t>(FValue) ? -1 : 0;
    case varCurrency: {
        // Round the raw value / 10,000 half to even without going through a double.
        const std::int64_t raw = std::get<std::int64_t>(FValue);
        std::int64_t q = raw / 10000, r = raw % 10000;
        if (r > 5000 || (r == 5000 && (q & 1))) ++q;
        else if (r < -5000 || (r == -5000 && (q & 1))) --q;
        return q;
    }
    case varSingle: case varDouble: case varDate: {
        std::int64_t out;
        if (!RoundToInt64(std::get<double>(FValue), out)) CastError("Int64");
        return out;
    }
    case varUString: {
        const std::string& s = std::get<std::string>(FValue);
        std::int64_t out;
        if (sysutils::TryStrToInt(s, out)) return out;
        double d;
        if (sysutils::TryStrToFloat(s, d) && RoundToInt64(d, out)) return out;
        CastError("Int64");
    }
    default:
        if (IsOrdinal()) return std::get<std::int64_t>(FValue);
        CastError("Int64");
    }
}

std::int32_t Variant::AsInteger() const {
    const std::int64_t v = AsInt64();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        CastError("Integer");
    return static_cast<std::int32_t>(v);
}

double Variant::AsDouble() const {
    switch (FType) {
    case varEmpty:
        return 0.0;
    case varBoolean:
        return std::get<std::int64_t>(FValue) ? -1.0 : 0.0;
    case varCurrency:
        return static_cast<double>(std::get<std::int64_t>(FValue)) / 10000.0;
    case varSingle: case varDouble: case varDate:
        return std::get<double>(FValue);
    case varUInt64:
        return static_cast<double>(static_cast<std::uint64_t>(std::get<std::int64_t>(FValue)));
    case varUString: {
        double d;
        if (sysutils::TryStrToFloat(std::get<std::string>(FValue), d)) return d;
        CastError("Double");
    }
    default:
        if (IsOrdinal()) return static_cast<double>(std::get<std::int64_t>(FValue));
        CastError("Double");
    }
}

std::int64_t Variant::AsCurrency() const {
    switch (FType) {
    case varEmpty:
        return 0;
    case varCurrency:
        return std::get<std::int64_t>(FValue);
    case varSingle: case varDouble: case varDate: {
        std::int64_t out;
        if (!RoundToInt64(std::get<double>(FValue) * 10000.0, out)) CastError("Currency");
        return out;
    }
    case varUString: {
        std::int64_t raw;
        if (sysutils::TryStrToCurr(std::get<std::string>(FValue), raw)) return raw;
        CastError("Currency");
    }
    default:
        if (IsOrdinal()) {
            const std::int64_t v = AsInt64();
            if (v > std::numeric_limits<std::int64_t>::max() / 10000 ||
                v < std::numeric_limits<std::int64_t>::min() / 10000)
                CastError("Currency");
            return v * 10000;
        }
        CastError("Currency");
    }
}

bool Variant::AsBoolean() const {
    switch (FType) {
    case varEmpty:
        return false;
    case varUString: {
        const std::string& s = std::get<std::string>(FValue);
        const std::string t = sysutils::Trim(s);
        if (sysutils::SameText(t, "True")) return true;
        if (sysutils::SameText(t, "False")) return false;
        double d;
        if (sysutils::TryStrToFloat(t, d)) return d != 0.0;
        CastError("Boolean");
    }
    case varCurrency:
        return std::get<std::int64_t>(FValue) != 0;
    case varSingle: case varDouble: case varDate:
        return std::get<double>(FValue) != 0.0;
    default:
        if (IsOrdinal()) return std::get<std::int64_t>(FValue) != 0;
        CastError("Boolean");
    }
}

std::string Variant::AsString() const {
    switch (FType) {
    case varEmpty:
        return std::string();
    case varBoolean:
        return std::get<std::int64_t>(FValue) ? "True" : "False";
    case varCurrency:
        return sysutils::CurrToStr(std::get<std::int64_t>(FValue));
    case varSingle: case varDouble:
        return sysutils::FloatToStr(std::get<double>(FValue));
    case varDate:
        return sysutils::DateTimeToStr(std::get<double>(FValue));
    case varUInt64:
        return std::to_string(static_cast<std::uint64_t>(std::get<std::int64_t>(FValue)));
    case varUString:
        return std::get<std::string>(FValue);
    default:
        if (IsOrdinal()) return sysutils::IntToStr(std::get<std::int64_t>(FValue));
        CastError("UnicodeString");
    }
}

sysutils::TDateTime Variant::AsDateTime() const {
    if (FType == varDate) return std::get<double>(FValue);
    return AsDouble();
}

const TBytes& Variant::AsBytes() const {
    if (FType != varByteArray) CastError("Array Byte");
    return std::get<TBytes>(FValue);
}

bool Variant::operator==(const Variant& other) const {
    if (IsNull() || other.IsNull()) return IsNull() && other.IsNull();
    if (IsEmpty() || other.IsEmpty()) return IsEmpty() && other.IsEmpty();
    if (IsStr() && other.IsStr()) return std::get<std::string>(FValue) == std::get<std::string>(other.FValue);
    if (IsBytes() || other.IsBytes())
        return IsBytes() && other.IsBytes() && AsBytes() == other.AsBytes();
    if (IsOrdinal() && other.IsOrdinal())
        return std::get<std::int64_t>(FValue) == std::get<std::int64_t>(other.FValue);
    if (FType == varCurrency && other.FType == varCurrency)
        return std::get<std::int64_t>(FValue) == std::get<std::int64_t>(other.FValue);
    if (IsStr() || other.IsStr()) return AsString() == other.AsString();
    return AsDouble() == other.AsDouble();
}

bool VarIsBlank(const Variant& v) {
    if (v.IsNullOrEmpty()) return true;
    return v.IsStr() && sysutils::Trim(v.AsString()).empty();
}

std::int64_t VarToInt64Z(const Variant& v) { return VarIsBlank(v) ? 0 : v.AsInt64(); }
double VarToFloatZ(const Variant& v) { return VarIsBlank(v) ? 0.0 : v.AsDouble(); }
std::int64_t VarToCurrZ(const Variant& v) { return VarIsBlank(v) ? 0 : v.AsCurrency(); }
std::string VarToStrZ(const Variant& v) { return v.IsNullOrEmpty() ? std::string() : v.AsString(); }

Variant VarOrDefault(const Variant& v, const Variant& def) { return VarIsBlank(v) ? def : v; }
Variant VarNullDefault(const Variant& v, const Variant& def) { return v.IsNull() ? def : v; }

}  // namespace zqt_variant
