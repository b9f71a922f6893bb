#include "zqt_variant.h"

#include <cmath>
#include <limits>
#include <utility>

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

// Texts are numbers with "." as decimal separator, blanks around them allowed.
bool TextToFloat(const std::string& s, double& d) {
    return sysutils::TryStrToFloat(sysutils::Trim(s), d, sysutils::PointFormatSettings());
}

// Currency text, exact to the tick: [sign] digits [. digits], "." as decimal separator.
// Decimals beyond the fourth round the tick half to even.
bool TextToCurrency(std::string_view t, std::int64_t& raw) {
    constexpr std::uint64_t kLimit = 9223372036854775808ull;  // 2^63
    std::size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    std::uint64_t whole = 0;
    int digits = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++digits) {
        whole = whole * 10 + static_cast<std::uint64_t>(t[i] - '0');
        if (whole >= kLimit / 10000 + 1) return false;
    }
    std::uint64_t frac = 0;
    int decimals = 0;
    int roundDigit = -1;        // the fifth decimal
    bool stickyBeyond = false;  // anything non-zero after the fifth decimal
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++digits) {
            const int d = t[i] - '0';
            if (decimals < 4) {
                frac = frac * 10 + static_cast<std::uint64_t>(d);
                ++decimals;
            } else if (roundDigit < 0) {
                roundDigit = d;
            } else if (d != 0) {
                stickyBeyond = true;
            }
        }
    }
    if (digits == 0 || i != t.size()) return false;
    for (; decimals < 4; ++decimals) frac *= 10;
    std::uint64_t mag = whole * 10000 + frac;
    if (roundDigit > 5 || (roundDigit == 5 && (stickyBeyond || (mag & 1)))) ++mag;
    if (mag > (neg ? kLimit : kLimit - 1)) return false;
    raw = neg ? static_cast<std::int64_t>(0 - mag) : static_cast<std::int64_t>(mag);
    return true;
}

// Currency as text: up to four decimals with "." as separator, trailing zeros dropped.
std::string CurrencyToText(std::int64_t raw) {
    const bool neg = raw < 0;
    const std::uint64_t mag =
        neg ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::string s = neg ? "-" : "";
    s += std::to_string(mag / 10000);
    std::uint64_t frac = mag % 10000;
    if (frac != 0) {
        std::string f = std::to_string(frac);
        f.insert(0, 4 - f.size(), '0');
        while (f.back() == '0') f.pop_back();
        s += '.';
        s += f;
    }
    return s;
}

bool TextToInt64(const std::string& s, std::int64_t& out) {
    const std::string t = sysutils::Trim(s);
    if (sysutils::TryStrToInt(t, out)) return true;
    double d;
    return sysutils::TryStrToFloat(t, d, sysutils::PointFormatSettings()) && RoundToInt64(d, out);
}

}  // namespace

Variant Variant::Currency(std::int64_t raw) {
    Variant v;
    v.FType = varCurrency;
    v.FInt = raw;
    return v;
}

Variant Variant::Date(sysutils::TDateTime dt) {
    Variant v;
    v.FType = varDate;
    v.FFloat = dt;
    return v;
}

Variant Variant::Array(std::vector<Variant> Items) {
    Variant v;
    v.FType = varVariantArray;
    v.FItems = std::make_shared<const std::vector<Variant>>(std::move(Items));
    return v;
}

bool Variant::IsOrdinal() const noexcept {
    switch (FType) {
        case varSmallint:
        case varInteger:
        case varBoolean:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64:
        case varUInt64: return true;
        default: return false;
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
        case varVariantArray: return "Array Variant";
        default: return "Unknown";
    }
}

void Variant::CastError(const char* target) const {
    throw EVariantTypeCastError(sysutils::Format(
        "Could not convert variant of type (%s) into type (%s)", TypeName(), target));
}

std::int64_t Variant::AsInt64() const {
    switch (FType) {
        case varEmpty: return 0;
        case varBoolean: return FInt ? -1 : 0;
        case varCurrency: {
            // Round the raw value / 10,000 half to even without going through a double.
            const std::int64_t raw = FInt;
            std::int64_t q = raw / 10000, r = raw % 10000;
            if (r > 5000 || (r == 5000 && (q & 1)))
                ++q;
            else if (r < -5000 || (r == -5000 && (q & 1)))
                --q;
            return q;
        }
        case varSingle:
        case varDouble:
        case varDate: {
            std::int64_t out;
            if (!RoundToInt64(FFloat, out)) CastError("Int64");
            return out;
        }
        case varUString: {
            std::int64_t out;
            if (TextToInt64(FStr, out)) return out;
            CastError("Int64");
        }
        case varUInt64: {
            // Stored in the same 64 bits; values above the Int64 range do not convert.
            const std::int64_t raw = FInt;
            if (raw < 0) CastError("Int64");
            return raw;
        }
        default:
            if (IsOrdinal()) return FInt;
            CastError("Int64");
    }
}

std::int32_t Variant::AsInteger() const {
    const std::int64_t v = AsInt64();
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        CastError("Integer");
    return static_cast<std::int32_t>(v);
}

double Variant::AsDouble() const {
    switch (FType) {
        case varEmpty: return 0.0;
        case varBoolean: return FInt ? -1.0 : 0.0;
        case varCurrency: return static_cast<double>(FInt) / 10000.0;
        case varSingle:
        case varDouble:
        case varDate: return FFloat;
        case varUInt64: return static_cast<double>(static_cast<std::uint64_t>(FInt));
        case varUString: {
            double d;
            if (TextToFloat(FStr, d)) return d;
            CastError("Double");
        }
        default:
            if (IsOrdinal()) return static_cast<double>(FInt);
            CastError("Double");
    }
}

std::int64_t Variant::AsCurrency() const {
    switch (FType) {
        case varEmpty: return 0;
        case varCurrency: return FInt;
        case varSingle:
        case varDouble:
        case varDate: {
            std::int64_t out;
            if (!RoundToInt64(FFloat * 10000.0, out)) CastError("Currency");
            return out;
        }
        case varUString: {
            // Four decimals exactly; other number forms ("1E3") through a double.
            const std::string t = sysutils::Trim(FStr);
            std::int64_t raw;
            if (TextToCurrency(t, raw)) return raw;
            // Only a number with an exponent goes through a double; a plain decimal text that
            // failed above is out of range or malformed.
            double d;
            if (t.find_first_of("eE") != std::string::npos &&
                sysutils::TryStrToFloat(t, d, sysutils::PointFormatSettings()) &&
                RoundToInt64(d * 10000.0, raw))
                return raw;
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
        case varEmpty: return false;
        case varUString: {
            const std::string& s = FStr;
            const std::string t = sysutils::Trim(s);
            if (sysutils::SameText(t, "True")) return true;
            if (sysutils::SameText(t, "False")) return false;
            double d;
            if (sysutils::TryStrToFloat(t, d, sysutils::PointFormatSettings())) return d != 0.0;
            CastError("Boolean");
        }
        case varCurrency: return FInt != 0;
        case varSingle:
        case varDouble:
        case varDate: return FFloat != 0.0;
        default:
            if (IsOrdinal()) return FInt != 0;
            CastError("Boolean");
    }
}

std::string Variant::AsString() const {
    switch (FType) {
        case varEmpty: return std::string();
        case varBoolean: return FInt ? "True" : "False";
        case varCurrency: return CurrencyToText(FInt);
        case varSingle:
        case varDouble: return sysutils::FloatToStr(FFloat, sysutils::PointFormatSettings());
        case varDate: return sysutils::DateTimeToStr(FFloat);
        case varUInt64: return std::to_string(static_cast<std::uint64_t>(FInt));
        case varUString: return FStr;
        default:
            if (IsOrdinal()) return sysutils::IntToStr(FInt);
            CastError("UnicodeString");
    }
}

sysutils::TDateTime Variant::AsDateTime() const {
    if (FType == varDate) return FFloat;
    return AsDouble();
}

const TBytes& Variant::AsBytes() const {
    if (FType != varByteArray) CastError("Array Byte");
    return FBytes;
}

const std::vector<Variant>& Variant::AsArray() const {
    if (FType != varVariantArray) CastError("Array Variant");
    return *FItems;
}

bool Variant::operator==(const Variant& other) const {
    if (IsNull() || other.IsNull()) return IsNull() && other.IsNull();
    if (IsEmpty() || other.IsEmpty()) return IsEmpty() && other.IsEmpty();
    if (IsStr() && other.IsStr()) return FStr == other.FStr;
    if (IsBytes() || other.IsBytes())
        return IsBytes() && other.IsBytes() && AsBytes() == other.AsBytes();
    if (IsArray() || other.IsArray())
        return IsArray() && other.IsArray() && AsArray() == other.AsArray();
    if (IsOrdinal() && other.IsOrdinal()) {
        const std::int64_t a = FInt;
        const std::int64_t b = other.FInt;
        // An UInt64 above the Int64 range equals only the same UInt64.
        const bool aBig = FType == varUInt64 && a < 0;
        const bool bBig = other.FType == varUInt64 && b < 0;
        return aBig == bBig && a == b;
    }
    if (FType == varCurrency && other.FType == varCurrency) return FInt == other.FInt;
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
std::int32_t VarToInt32Z(const Variant& v) { return static_cast<std::int32_t>(VarToInt64Z(v)); }
std::int64_t VarToTicksZ(const Variant& v) {
    return v.VarType() == varCurrency ? v.AsCurrency() : VarToInt64Z(v);
}
std::string VarToStrZ(const Variant& v) { return v.IsNullOrEmpty() ? std::string() : v.AsString(); }

Variant VarOrDefault(const Variant& v, const Variant& def) { return VarIsBlank(v) ? def : v; }
Variant VarNullDefault(const Variant& v, const Variant& def) { return v.IsNull() ? def : v; }

}  // namespace zqt_variant
