// The small runtime under the whole program: the root exception, Format (printf-like
// directives, below), number and text conversions with a fixed "." decimal separator, and
// date-time values (days since 1899-12-30, as the project database's REAL_DATETIME columns
// and the log lines hold them).
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zqt_variant {
class Variant;
}

namespace sysutils {

// ---------------------------------------------------------------------------------------
// Exceptions

// Root of every exception the program raises itself. ClassName() is the class name the
// program prints in front of the message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    ~Exception() override = default;
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

    // Exception.CreateFmt: the message is Format(template, args).
    template <class... A>
    static Exception CreateFmt(std::string_view templ, const A&... args);

private:
    std::string FMessage;
};

// Declares an exception class with the given parent and printed class name.
// The parent may be a qualified name (zqt_types_bs::ExceptionZQS): constructors are
// inherited through a local alias. (A class name and a base class cannot stand in
// parentheses.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ZQT_DECLARE_EXCEPTION(Name, Parent, Printed)                        \
    class Name : public Parent {                                            \
        using ZqtBase_ = Parent;                                            \
                                                                            \
    public:                                                                 \
        using ZqtBase_::ZqtBase_;                                           \
        const char* ClassName() const noexcept override { return Printed; } \
    }
// NOLINTEND(bugprone-macro-parentheses)

ZQT_DECLARE_EXCEPTION(EConvertError, Exception, "EConvertError");
ZQT_DECLARE_EXCEPTION(EVariantError, Exception, "EVariantError");
ZQT_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError, "EVariantTypeCastError");
ZQT_DECLARE_EXCEPTION(EInOutError, Exception, "EInOutError");

// ---------------------------------------------------------------------------------------
// Format

// The settings a Format call reads: decimal and thousand separators.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
};

// The process-wide settings used by Format without explicit settings. The decimal
// separator starts as "." and is switched only by TZQT_DecSep.
TFormatSettings& DefaultFormatSettings();
// A constant copy with "." as decimal separator (FormatPt and friends).
const TFormatSettings& PointFormatSettings();

// One argument of Format. Built implicitly from integers, floating-point values, texts,
// characters, pointers and Variants; Currency values are passed with FormatArg::Curr.
class FormatArg {
public:
    enum class Kind : std::uint8_t {
        Int,
        UInt,
        Float,
        Currency,
        Str,
        Char,
        Pointer,
        Bool,
        Variant
    };

    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
        FormatArg(T v) {
        if constexpr (std::is_signed_v<T>) {
            FKind = Kind::Int;
            FInt = static_cast<std::int64_t>(v);
        } else {
            FKind = Kind::UInt;
            FUInt = static_cast<std::uint64_t>(v);
        }
    }
    template <class T>
    requires std::is_enum_v<T> FormatArg(T v)
        : FormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
    FormatArg(bool v) : FKind(Kind::Bool), FInt(v ? 1 : 0) {}
    FormatArg(char c) : FKind(Kind::Char), FChar(c) {}
    FormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
    FormatArg(float v) : FKind(Kind::Float), FFloat(v) {}
    FormatArg(long double v) : FKind(Kind::Float), FFloat(static_cast<double>(v)) {}
    FormatArg(const char* s) : FKind(Kind::Str), FStr(s ? s : "") {}
    FormatArg(const std::string& s) : FKind(Kind::Str), FStr(s) {}
    FormatArg(std::string_view s) : FKind(Kind::Str), FStr(s) {}
    FormatArg(const void* p) : FKind(Kind::Pointer), FPtr(p) {}
    FormatArg(const zqt_variant::Variant& v) : FKind(Kind::Variant), FVar(&v) {}

    // A Currency value given by its raw 64-bit representation (value x 10,000).
    static FormatArg Curr(std::int64_t raw) {
        FormatArg a(std::int64_t{0});
        a.FKind = Kind::Currency;
        a.FInt = raw;
        return a;
    }

    Kind GetKind() const noexcept { return FKind; }
    std::int64_t AsInt() const noexcept { return FInt; }
    std::uint64_t AsUInt() const noexcept { return FUInt; }
    double AsFloat() const noexcept { return FFloat; }
    std::string_view AsStr() const noexcept { return FStr; }
    char AsChar() const noexcept { return FChar; }
    const void* AsPointer() const noexcept { return FPtr; }
    const zqt_variant::Variant& AsVariant() const noexcept { return *FVar; }

private:
    Kind FKind = Kind::Int;
    union {
        std::int64_t FInt;
        std::uint64_t FUInt;
        double FFloat;
        char FChar;
        const void* FPtr;
        const zqt_variant::Variant* FVar;
    };
    std::string_view FStr;
};

using TFormatArgs = std::span<const FormatArg>;

// Format: %d %u %x %s %f %e %g %n %m %p %%, with optional "index:", "-", width
// and ".precision" (each may be "*"). A specifier that does not fit its argument, or a
// missing argument, raises EConvertError. A lone "%" at the very end is dropped.
// Floating-point values print their exact binary value rounded half away from zero
// (0.125 -> "0.13", 2.675 -> "2.67"), Currency values their exact decimal value; a minus
// sign appears only when a printed digit is nonzero ("%.3f" of -0.0001 is "0.000").
// %e: precision = significant digits (15), exponent "E+ddd"; %g: 15 significant digits,
// shortest form, exponent as "1E20" or "1.5E-5"; %n and %m: %f with thousand separators.
std::string FormatV(std::string_view templ, TFormatArgs args, const TFormatSettings& settings);
inline std::string FormatV(std::string_view templ, TFormatArgs args) {
    return FormatV(templ, args, DefaultFormatSettings());
}

template <class... A>
std::string Format(std::string_view templ, const A&... args) {
    const std::array<FormatArg, sizeof...(A)> a{FormatArg(args)...};
    return FormatV(templ, TFormatArgs(a.data(), a.size()), DefaultFormatSettings());
}

// Format("%<Width>.<Decimals>f") with "." as decimal separator, written into Out[0..Width)
// without building a string: the same characters, for the hot paths of the RINEX writers.
// False (Out untouched) when the text would be longer than Width, when Value is no finite
// number, or when Decimals lies outside 0..9.
bool FixedField(double Value, int Width, int Decimals, char* Out) noexcept;

template <class... A>
std::string FormatS(const TFormatSettings& settings, std::string_view templ, const A&... args) {
    const std::array<FormatArg, sizeof...(A)> a{FormatArg(args)...};
    return FormatV(templ, TFormatArgs(a.data(), a.size()), settings);
}

template <class... A>
Exception Exception::CreateFmt(std::string_view templ, const A&... args) {
    return Exception(Format(templ, args...));
}

// ---------------------------------------------------------------------------------------
// Numbers and texts. Every conversion uses the settings' decimal separator, "." unless
// switched.

std::string IntToStr(std::int64_t v);
std::string IntToHex(std::uint64_t v, int digits);
std::int64_t StrToInt(std::string_view s);  // EConvertError
std::int64_t StrToIntDef(std::string_view s, std::int64_t def);
bool TryStrToInt(std::string_view s, std::int64_t& v);
double StrToFloat(std::string_view s);  // EConvertError
double StrToFloat(std::string_view s, const TFormatSettings& settings);
bool TryStrToFloat(std::string_view s, double& v);
bool TryStrToFloat(std::string_view s, double& v, const TFormatSettings& settings);
double StrToFloatDef(std::string_view s, double def);
// General format with 15 significant digits ("0.1", "1E20", "1.5E-5").
std::string FloatToStr(double v);
std::string FloatToStr(double v, const TFormatSettings& settings);
// Currency from its raw representation: up to four decimals, trailing zeros dropped.
std::string CurrToStr(std::int64_t raw);
bool TryStrToCurr(std::string_view s, std::int64_t& raw);
std::string BoolToStr(bool v, bool useText = true);  // "True"/"False" or "-1"/"0"

std::string Trim(std::string_view s);  // drops characters <= ' ' at both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);  // ASCII letters only
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive
// StringReplace with rfReplaceAll, optionally case-insensitive.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to,
                       bool ignoreCase = false);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);

// ---------------------------------------------------------------------------------------
// Date-time values: days since 1899-12-30 00:00 as a double (local time of the machine
// where "now" is concerned).

using TDateTime = double;

TDateTime EncodeDate(int year, int month, int day);  // EConvertError on a bad date
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& dt);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
bool IsLeapYear(int year);
int DaysInAMonth(int year, int month);
TDateTime Now();
// "yyyy-mm-dd hh:nn:ss" (the log lines' time stamp).
std::string DateTimeToStr(TDateTime dt);

}  // namespace sysutils

using sysutils::Exception;
using sysutils::Format;
