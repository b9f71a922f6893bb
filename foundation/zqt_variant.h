// Variant: the one value type through which database rows, parameter lists and header
// items travel, with every conversion rule in one place; and the null-tolerant
// conversions used for every value read from the database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sysutils.h"

namespace zqt_variant {

// Type codes of a variant's kind, as VarType reports them.
enum : std::uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varBoolean = 11,
    varVariant = 12,
    varShortInt = 16,
    varByte = 17,
    varWord = 18,
    varLongWord = 19,
    varInt64 = 20,
    varUInt64 = 21,
    varUString = 0x102,
    varArray = 0x2000,
    varByteArray = varArray | varByte,        // 8209
    varVariantArray = varArray | varVariant,  // 8204
};

using TBytes = std::vector<std::uint8_t>;

class Variant {
public:
    Variant() = default;  // Empty
    Variant(std::nullptr_t) : FType(varNull) {}
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
        Variant(T v)
        : FType(IntCode<T>()), FInt(static_cast<std::int64_t>(v)) {}
    Variant(bool v) : FType(varBoolean), FInt(v ? 1 : 0) {}
    Variant(double v) : FType(varDouble), FFloat(v) {}
    Variant(float v) : FType(varSingle), FFloat(static_cast<double>(v)) {}
    Variant(const char* s) : FType(varUString), FStr(s ? s : "") {}
    Variant(std::string s) : FType(varUString), FStr(std::move(s)) {}
    Variant(std::string_view s) : FType(varUString), FStr(s) {}
    Variant(char c) : FType(varUString), FStr(1, c) {}
    Variant(TBytes b) : FType(varByteArray), FBytes(std::move(b)) {}

    static Variant Null() { return Variant(nullptr); }
    static Variant Empty() { return Variant(); }
    // A Currency given by its raw representation (value x 10,000); GPS times travel so.
    static Variant Currency(std::int64_t raw);
    static Variant Date(sysutils::TDateTime dt);
    // An array of Variants (a row of several values where one value stands for the row).
    static Variant Array(std::vector<Variant> Items);

    std::uint16_t VarType() const noexcept { return FType; }
    bool IsNull() const noexcept { return FType == varNull; }
    bool IsEmpty() const noexcept { return FType == varEmpty; }
    bool IsNullOrEmpty() const noexcept { return FType <= varNull; }
    bool IsOrdinal() const noexcept;  // integer codes and Boolean
    bool IsFloat() const noexcept { return FType == varDouble || FType == varSingle; }
    bool IsNumeric() const noexcept;  // ordinal, float or Currency
    bool IsStr() const noexcept { return FType == varUString; }
    bool IsBytes() const noexcept { return FType == varByteArray; }
    bool IsArray() const noexcept { return FType == varVariantArray; }

    // Conversions; a value that does not convert (Null among them) raises
    // EVariantTypeCastError. Empty gives 0, False or "". True is -1 as a number. Texts
    // are read with "." as decimal separator and may have blanks around them.
    std::int64_t AsInt64() const;  // floats and Currency rounded half to even
    std::int32_t AsInteger() const;
    double AsDouble() const;
    std::int64_t AsCurrency() const;  // raw representation
    bool AsBoolean() const;
    std::string AsString() const;
    sysutils::TDateTime AsDateTime() const;
    const TBytes& AsBytes() const;                // only for byte arrays
    const std::vector<Variant>& AsArray() const;  // only for arrays of Variants

    // Equality of variants: same kind and value, numbers compared by value across kinds,
    // Null only equal to Null, arrays item by item.
    bool operator==(const Variant& other) const;

private:
    template <class T>
    static constexpr std::uint16_t IntCode() {
        if constexpr (std::is_signed_v<T>) {
            if constexpr (sizeof(T) == 1)
                return varShortInt;
            else if constexpr (sizeof(T) == 2)
                return varSmallint;
            else if constexpr (sizeof(T) == 4)
                return varInteger;
            else
                return varInt64;
        } else {
            if constexpr (sizeof(T) == 1)
                return varByte;
            else if constexpr (sizeof(T) == 2)
                return varWord;
            else if constexpr (sizeof(T) == 4)
                return varLongWord;
            else
                return varUInt64;
        }
    }
    [[noreturn]] void CastError(const char* target) const;
    std::string TypeName() const;

    std::uint16_t FType = varEmpty;
    // Plain members rather than a std::variant: integers, Booleans and Currency raw values
    // live in FInt, floats and dates in FFloat, texts in FStr, byte arrays in FBytes, arrays
    // of Variants in FItems (shared: a Variant is never changed after it is made).
    std::int64_t FInt = 0;
    double FFloat = 0.0;
    std::string FStr;
    TBytes FBytes;
    std::shared_ptr<const std::vector<Variant>> FItems;
};

using TVariantArray = std::vector<Variant>;
using TVariantMatrix = std::vector<TVariantArray>;

// Null-tolerant conversions: Null, Empty or a text that trims to empty give 0.
std::int64_t VarToInt64Z(const Variant& v);
double VarToFloatZ(const Variant& v);
std::int64_t VarToCurrZ(const Variant& v);  // raw representation
// VarToInt64Z cut to 32 bits (identifiers, counts and flags of table rows).
std::int32_t VarToInt32Z(const Variant& v);
// A GPS time as ticks: a GPSTIME column reads as Currency whose raw value is the tick
// count; an expression over it comes back as a plain integer of ticks (VarToInt64Z).
std::int64_t VarToTicksZ(const Variant& v);
// The empty string for Null or Empty, otherwise the value as text.
std::string VarToStrZ(const Variant& v);
// V, or Default when V is Null, Empty or trims to empty.
Variant VarOrDefault(const Variant& v, const Variant& def);
// V, or Default when V is Null.
Variant VarNullDefault(const Variant& v, const Variant& def);
// True when V is Null, Empty or a text that trims to empty.
bool VarIsBlank(const Variant& v);

namespace detail {

// One value of a VarArrayOfValues list: integers up to 32 bits as Integer, wider ones as
// Int64 (an UInt64 above the Int64 range keeps its kind), Booleans, characters and texts,
// floating-point values as Double, byte arrays, Variants (Currency among them) copied;
// pointers and every other kind Null.
template <class T>
Variant VarRecValue(const T& v) {
    using U = std::remove_cvref_t<T>;
    using D = std::decay_t<T>;
    if constexpr (std::is_same_v<U, Variant>) {
        return v;
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        return Variant(static_cast<const char*>(v));
    } else if constexpr (std::is_same_v<U, bool> || std::is_same_v<U, char> ||
                         std::is_same_v<U, TBytes>) {
        return Variant(v);
    } else if constexpr (std::is_enum_v<U>) {
        return VarRecValue(static_cast<std::underlying_type_t<U>>(v));
    } else if constexpr (std::is_integral_v<U>) {
        if constexpr (std::is_signed_v<U>) {
            if constexpr (sizeof(U) <= 4)
                return Variant(static_cast<std::int32_t>(v));
            else
                return Variant(static_cast<std::int64_t>(v));
        } else {
            if (sizeof(U) < 4 || static_cast<std::uint64_t>(v) <= 0x7FFFFFFFu)
                return Variant(static_cast<std::int32_t>(v));
            else if (static_cast<std::uint64_t>(v) <= 0x7FFFFFFFFFFFFFFFull)
                return Variant(static_cast<std::int64_t>(v));
            else
                return Variant(static_cast<std::uint64_t>(v));
        }
    } else if constexpr (std::is_floating_point_v<U>) {
        return Variant(static_cast<double>(v));
    } else if constexpr (!std::is_null_pointer_v<U> && !std::is_pointer_v<D> &&
                         std::is_convertible_v<const U&, std::string_view>) {
        return Variant(std::string_view(v));
    } else {  // null, other pointers and anything else
        return Variant::Null();
    }
}

}  // namespace detail

// VarArrayOfValues: the values as a TVariantArray (see detail::VarRecValue).
template <class... A>
TVariantArray VarArrayOfValues(const A&... values) {
    return TVariantArray{detail::VarRecValue(values)...};
}

}  // namespace zqt_variant
