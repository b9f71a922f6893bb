// Format and the number/text conversions of the runtime. Every RINEX line and every SQL
// text of the program passes through FormatV, so it builds into one string, uses
// std::to_chars for numbers and never touches iostreams or the C locale.
//
// Rounding of floating-point values: the printed digits are the exact binary value of the
// double rounded to the requested digit, halves away from zero (0.125 with two decimals
// gives "0.13"; 2.675 gives "2.67" because the double is 2.67499999...). std::to_chars
// rounds correctly to nearest with ties to even, so the two differ only on an exact tie;
// a tie is detected from the binary significand and exponent and rounded up by hand.
#include "sysutils.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "zqt_variant.h"

namespace sysutils {

TFormatSettings& DefaultFormatSettings() {
    static TFormatSettings settings;
    return settings;
}

const TFormatSettings& PointFormatSettings() {
    static const TFormatSettings settings;
    return settings;
}

namespace {

using zqt_variant::Variant;

// Widths and precisions above this are refused as malformed templates; float precisions
// are further clamped to kMaxFloatDigits (the digits beyond are zeros of the expansion
// or meaningless).
constexpr std::int64_t kMaxWidth = 1'000'000;
constexpr int kMaxFloatDigits = 1000;
// Room for the fixed form of the largest double with kMaxFloatDigits + 1 decimals.
constexpr std::size_t kFloatBuf = 1400;

[[noreturn]] void FormatError(std::string_view templ) {
    std::string msg;
    msg.reserve(templ.size() + 48);
    msg += "Format '";
    msg += templ;
    msg += "' invalid or incompatible with argument";
    throw EConvertError(std::move(msg));
}

// ---------------------------------------------------------------------------------------
// Decimal digits of a value: Digits[0] . Digits[1..] x 10^Exp. An empty digit string is zero.

struct Decimal {
    std::string Digits;
    int Exp = 0;
    bool IsZero() const { return Digits.empty(); }
};

void StripTrailingZeros(Decimal& x) {
    while (!x.Digits.empty() && x.Digits.back() == '0') x.Digits.pop_back();
}

// Adds one unit in the last place of a digit string; returns true when it carried out of
// the first digit (the string then reads "1000...").
bool IncrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    if (!digits.empty()) digits[0] = '1';
    return true;
}

// Rounds an exact decimal to P significant digits, halves away from zero.
void RoundSig(Decimal& x, int p) {
    if (x.IsZero() || static_cast<int>(x.Digits.size()) <= p) return;
    const bool up = x.Digits[static_cast<std::size_t>(p)] >= '5';
    x.Digits.resize(static_cast<std::size_t>(p));
    if (up && IncrementDigits(x.Digits)) ++x.Exp;
    StripTrailingZeros(x);
}

// Rounds an exact decimal to D digits after the point, halves away from zero.
void RoundFixed(Decimal& x, int d) {
    if (x.IsZero()) return;
    const std::int64_t keep = static_cast<std::int64_t>(x.Exp) + 1 + d;
    if (keep < 0) {
        x.Digits.clear();
        return;
    }
    if (keep == 0) {
        if (x.Digits[0] >= '5') {
            x.Digits = "1";
            x.Exp = -d;
        } else {
            x.Digits.clear();
        }
        return;
    }
    RoundSig(x, static_cast<int>(keep));
}

// The exact decimal value of a Currency raw representation (value x 10,000), unsigned.
Decimal CurrencyDecimal(std::int64_t raw) {
    const std::uint64_t u =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    Decimal x;
    if (u == 0) return x;
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, u);
    x.Digits.assign(buf, r.ptr);
    x.Exp = static_cast<int>(x.Digits.size()) - 1 - 4;
    StripTrailingZeros(x);
    return x;
}

// Splits a finite positive double into an odd integer significand M and exponent K with
// value = M * 2^K.
void BinaryParts(double a, std::uint64_t& m, int& k) {
    int ex = 0;
    const double f = std::frexp(a, &ex);
    m = static_cast<std::uint64_t>(std::ldexp(f, 53));
    k = ex - 53;
    const int tz = std::countr_zero(m);
    m >>= tz;
    k += tz;
}

// True when the exact value M * 2^K, whose leading digit has decimal exponent E, has
// exactly P + 1 significant digits ending in 5: rounding it to P digits is a tie.
// With K < 0 the exact expansion is the odd integer M * 5^-K over 10^-K, so it ends in 5
// and has E + 1 - K digits. With K >= 0 the value is an integer whose last nonzero digit
// is 5 only when 5^(K+1) divides M; it then has E + 1 - K significant digits.
bool IsTieAtSig(std::uint64_t m, int k, int e, int p) {
    if (k < 0) return -static_cast<std::int64_t>(k) == static_cast<std::int64_t>(p) - e;
    if (k > 21) return false;  // 5^(K+1) exceeds every 53-bit significand
    std::uint64_t pow5 = 5;
    for (int i = 0; i < k; ++i) pow5 *= 5;
    return m % pow5 == 0 && static_cast<std::int64_t>(e) - k == p;
}

// Parses the "d.ddde+XX" text of to_chars(scientific) into Digits and Exp.
void ParseScientific(const char* b, const char* e, Decimal& x) {
    x.Digits.clear();
    const char* p = b;
    for (; p != e && *p != 'e'; ++p)
        if (*p != '.') x.Digits.push_back(*p);
    int exp = 0;
    if (p != e) {
        ++p;  // 'e'
        if (p != e && *p == '+') ++p;
        std::from_chars(p, e, exp);
    }
    x.Exp = exp;
}

// |v| rounded to P significant digits (1 <= P <= kMaxFloatDigits), halves away from zero.
Decimal DoubleSig(double a, int p) {
    Decimal x;
    if (a == 0.0) return x;
    char buf[kFloatBuf];
    auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, p - 1);
    ParseScientific(buf, r.ptr, x);
    std::uint64_t m;
    int k;
    BinaryParts(a, m, k);
    // The correctly rounded result may have carried into the next power of ten, so the
    // exact leading exponent is x.Exp or x.Exp - 1.
    if (IsTieAtSig(m, k, x.Exp, p) || IsTieAtSig(m, k, x.Exp - 1, p)) {
        Decimal y;
        r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, p);
        ParseScientific(buf, r.ptr, y);
        if (y.Digits.back() == '5' && IsTieAtSig(m, k, y.Exp, p)) {
            y.Digits.pop_back();
            if (IncrementDigits(y.Digits)) ++y.Exp;
            x = std::move(y);
        }
    }
    StripTrailingZeros(x);
    return x;
}

bool HasNonZeroDigit(const char* b, const char* e) {
    for (; b != e; ++b)
        if (*b >= '1' && *b <= '9') return true;
    return false;
}

// Writes |v| with D decimals ("ddd.ddd", "." as separator) into buf; returns the end.
char* DoubleFixed(double a, int d, char* buf, char* bufEnd) {
    std::uint64_t m = 0;
    int k = 0;
    if (a != 0.0) BinaryParts(a, m, k);
    if (a != 0.0 && k < 0 && -static_cast<std::int64_t>(k) == static_cast<std::int64_t>(d) + 1) {
        // Exactly D + 1 decimals ending in 5: a tie, rounded away from zero.
        char* end = std::to_chars(buf, bufEnd, a, std::chars_format::fixed, d + 1).ptr;
        --end;              // the final 5
        if (d == 0) --end;  // the point
        char* p = end;
        while (p != buf) {
            --p;
            if (*p == '.') continue;
            if (*p == '9') {
                *p = '0';
                continue;
            }
            ++*p;
            return end;
        }
        // Carried out of the first digit: shift right and put a leading 1.
        std::memmove(buf + 1, buf, static_cast<std::size_t>(end - buf));
        buf[0] = '1';
        return end + 1;
    }
    return std::to_chars(buf, bufEnd, a, std::chars_format::fixed, d).ptr;
}

// ---------------------------------------------------------------------------------------
// Rendering of decimals

void AppendExponent(std::string& out, int e, bool forceSign, int minDigits) {
    if (e < 0)
        out += '-';
    else if (forceSign)
        out += '+';
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, e < 0 ? -e : e);
    const int n = static_cast<int>(r.ptr - buf);
    if (n < minDigits) out.append(static_cast<std::size_t>(minDigits - n), '0');
    out.append(buf, r.ptr);
}

// Scientific form with P digits: "d.dddE+ddd".
void RenderExponent(std::string& out, const Decimal& x, int p, char sep) {
    const std::size_t n = x.Digits.size();
    out += n > 0 ? x.Digits[0] : '0';
    if (p > 1) {
        out += sep;
        for (int i = 1; i < p; ++i)
            out += static_cast<std::size_t>(i) < n ? x.Digits[static_cast<std::size_t>(i)] : '0';
    }
    out += 'E';
    AppendExponent(out, x.IsZero() ? 0 : x.Exp, true, 3);
}

// Fixed form with D decimals, optionally with thousand separators (thou != 0).
void RenderFixed(std::string& out, const Decimal& x, int d, char sep, char thou) {
    const std::int64_t n = static_cast<std::int64_t>(x.Digits.size());
    auto digit = [&](std::int64_t pos) -> char {  // digit of weight 10^pos
        const std::int64_t i = static_cast<std::int64_t>(x.Exp) - pos;
        return (!x.IsZero() && i >= 0 && i < n) ? x.Digits[static_cast<std::size_t>(i)] : '0';
    };
    const std::int64_t top = (x.IsZero() || x.Exp < 0) ? 0 : x.Exp;
    for (std::int64_t pos = top; pos >= 0; --pos) {
        out += digit(pos);
        if (thou && pos > 0 && pos % 3 == 0) out += thou;
    }
    if (d > 0) {
        out += sep;
        for (std::int64_t pos = -1; pos >= -static_cast<std::int64_t>(d); --pos) out += digit(pos);
    }
}

// General form with P significant digits: the shortest of fixed and scientific, trailing
// zeros removed, scientific when the exponent is >= P or < -4, exponent without "+" and
// without leading zeros ("1E20", "1.5E-5").
void RenderGeneral(std::string& out, Decimal x, int p, char sep) {
    RoundSig(x, p);
    StripTrailingZeros(x);
    if (x.IsZero()) {
        out += '0';
        return;
    }
    const int n = static_cast<int>(x.Digits.size());
    if (x.Exp >= p || x.Exp < -4) {
        out += x.Digits[0];
        if (n > 1) {
            out += sep;
            out.append(x.Digits, 1, std::string::npos);
        }
        out += 'E';
        AppendExponent(out, x.Exp, false, 0);
        return;
    }
    const int decimals = std::max(0, n - 1 - x.Exp);
    RenderFixed(out, x, decimals, sep, 0);
}

void AppendSpecial(std::string& out, double v) {
    if (std::isnan(v))
        out += "NAN";
    else
        out += v < 0 ? "-INF" : "INF";
}

// A float argument as Format sees it: a double, or a Currency with its exact decimal value.
struct FloatValue {
    bool IsCurrency = false;
    double D = 0.0;
    std::int64_t Raw = 0;
};

// Formats a float value for f, e, g, n and m into out (prec < 0: the default).
void FormatFloat(std::string& out, char type, const FloatValue& v, int prec,
                 const TFormatSettings& fs) {
    const char sep = fs.DecimalSeparator;
    if (!v.IsCurrency && !std::isfinite(v.D)) {
        AppendSpecial(out, v.D);
        return;
    }
    const bool negative = v.IsCurrency ? v.Raw < 0 : std::signbit(v.D);
    const double a = std::fabs(v.D);
    switch (type) {
        case 'F':
        case 'N':
        case 'M': {
            const int d = std::min(prec < 0 ? 2 : prec, kMaxFloatDigits);
            const char thou = type == 'F' ? '\0' : fs.ThousandSeparator;
            if (v.IsCurrency) {
                Decimal x = CurrencyDecimal(v.Raw);
                RoundFixed(x, d);
                if (negative && !x.IsZero()) out += '-';
                RenderFixed(out, x, d, sep, thou);
                return;
            }
            char buf[kFloatBuf];
            const char* end = DoubleFixed(a, d, buf, buf + sizeof buf);
            if (negative && HasNonZeroDigit(buf, end)) out += '-';
            const char* point = std::find(static_cast<const char*>(buf), end, '.');
            const std::size_t intLen = static_cast<std::size_t>(point - buf);
            for (std::size_t i = 0; i < intLen; ++i) {
                out += buf[i];
                const std::size_t rest = intLen - 1 - i;
                if (thou && rest > 0 && rest % 3 == 0) out += thou;
            }
            if (point != end) {
                out += sep;
                out.append(point + 1, end);
            }
            return;
        }
        case 'E': {
            const int p = std::clamp(prec < 0 ? 15 : prec, 1, kMaxFloatDigits);
            Decimal x;
            if (v.IsCurrency) {
                x = CurrencyDecimal(v.Raw);
                RoundSig(x, p);
            } else {
                x = DoubleSig(a, p);
            }
            if (negative && !x.IsZero()) out += '-';
            RenderExponent(out, x, p, sep);
            return;
        }
        default: {  // 'G'
            const int p = std::clamp(prec < 0 ? 15 : prec, 1, kMaxFloatDigits);
            // Rounding to significant digits never turns a nonzero value into zero.
            Decimal x = v.IsCurrency ? CurrencyDecimal(v.Raw) : DoubleSig(a, p);
            if (negative && !x.IsZero()) out += '-';
            RenderGeneral(out, std::move(x), p, sep);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Integers

void AppendUnsigned(std::string& out, std::uint64_t u, int base, int minDigits) {
    char buf[72];
    auto r = std::to_chars(buf, buf + sizeof buf, u, base);
    const int n = static_cast<int>(r.ptr - buf);
    if (minDigits > n) out.append(static_cast<std::size_t>(minDigits - n), '0');
    for (char* p = buf; p != r.ptr; ++p)
        out += (*p >= 'a' && *p <= 'f') ? static_cast<char>(*p - 'a' + 'A') : *p;
}

std::size_t Utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// The first N code points of S.
std::string_view Utf8Prefix(std::string_view s, std::size_t n) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == n) return s.substr(0, i);
            ++count;
        }
    }
    return s;
}

// An integer argument: the magnitude and whether it is signed-negative or unsigned.
struct IntValue {
    std::int64_t I = 0;
    std::uint64_t U = 0;
    bool IsUnsigned = false;
};

bool GetIntArg(const FormatArg& a, IntValue& v) {
    switch (a.GetKind()) {
        case FormatArg::Kind::Int: v.I = a.AsInt(); return true;
        case FormatArg::Kind::UInt:
            v.U = a.AsUInt();
            v.IsUnsigned = true;
            return true;
        case FormatArg::Kind::Variant: {
            const Variant& var = a.AsVariant();
            if (var.VarType() == zqt_variant::varUInt64) {
                // The Variant hands out no unsigned value above the Int64 range but its text.
                const std::string t = var.AsString();
                v.IsUnsigned = true;
                return std::from_chars(t.data(), t.data() + t.size(), v.U).ec == std::errc();
            }
            if (var.IsOrdinal()) {
                v.I = var.AsInt64();
                return true;
            }
            if (var.IsStr()) return TryStrToInt(var.AsString(), v.I);
            return false;
        }
        default: return false;
    }
}

bool GetFloatArg(const FormatArg& a, FloatValue& v) {
    switch (a.GetKind()) {
        case FormatArg::Kind::Float: v.D = a.AsFloat(); return true;
        case FormatArg::Kind::Currency:
            v.IsCurrency = true;
            v.Raw = a.AsInt();
            return true;
        case FormatArg::Kind::Variant: {
            const Variant& var = a.AsVariant();
            if (var.VarType() == zqt_variant::varCurrency) {
                v.IsCurrency = true;
                v.Raw = var.AsCurrency();
                return true;
            }
            if (var.IsNumeric() || var.VarType() == zqt_variant::varDate) {
                v.D = var.AsDouble();
                return true;
            }
            if (var.IsStr()) return TryStrToFloat(var.AsString(), v.D);
            return false;
        }
        default: return false;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// FormatV

std::string FormatV(std::string_view templ, TFormatArgs args, const TFormatSettings& settings) {
    std::string out;
    out.reserve(templ.size() + 16 * args.size());
    std::size_t argIndex = 0;
    const std::size_t len = templ.size();
    std::size_t i = 0;

    auto nextArg = [&]() -> const FormatArg& {
        if (argIndex >= args.size()) FormatError(templ);
        return args[argIndex++];
    };
    // A number of the specifier, or "*" taking the next argument; -1 when absent.
    auto readNumber = [&]() -> std::int64_t {
        if (i < len && templ[i] == '*') {
            ++i;
            const FormatArg& a = nextArg();
            std::int64_t n;
            if (a.GetKind() == FormatArg::Kind::Int)
                n = a.AsInt();
            else if (a.GetKind() == FormatArg::Kind::UInt &&
                     a.AsUInt() <= static_cast<std::uint64_t>(kMaxWidth))
                n = static_cast<std::int64_t>(a.AsUInt());
            else
                FormatError(templ);
            if (n > kMaxWidth) FormatError(templ);
            return n < 0 ? -1 : n;
        }
        if (i >= len || templ[i] < '0' || templ[i] > '9') return -1;
        std::int64_t n = 0;
        while (i < len && templ[i] >= '0' && templ[i] <= '9') {
            n = n * 10 + (templ[i] - '0');
            if (n > kMaxWidth) FormatError(templ);
            ++i;
        }
        return n;
    };

    while (i < len) {
        const std::size_t pct = templ.find('%', i);
        if (pct == std::string_view::npos) {
            out.append(templ.substr(i));
            break;
        }
        out.append(templ.substr(i, pct - i));
        i = pct + 1;
        if (i >= len) break;  // a lone "%" at the end is dropped
        if (templ[i] == '%') {
            out += '%';
            ++i;
            continue;
        }

        bool left = false;
        std::int64_t width = -1, prec = -1;
        if (templ[i] == '-') {
            left = true;
            ++i;
            width = readNumber();
        } else {
            const std::int64_t n = readNumber();
            if (i < len && templ[i] == ':') {
                if (n < 0 || static_cast<std::uint64_t>(n) >= args.size()) FormatError(templ);
                argIndex = static_cast<std::size_t>(n);
                ++i;
                if (i < len && templ[i] == '-') {
                    left = true;
                    ++i;
                }
                width = readNumber();
            } else {
                width = n;
            }
        }
        if (i < len && templ[i] == '.') {
            ++i;
            // "." alone is precision 0; a negative "*" value leaves the default.
            const bool given = i < len && (templ[i] == '*' || (templ[i] >= '0' && templ[i] <= '9'));
            prec = given ? readNumber() : 0;
        }
        if (i >= len) FormatError(templ);
        char type = templ[i++];
        if (type >= 'a' && type <= 'z') type = static_cast<char>(type - 'a' + 'A');

        const FormatArg& arg = nextArg();
        const std::size_t start = out.size();
        bool textField = false;
        switch (type) {
            case 'D':
            case 'U':
            case 'X': {
                IntValue v;
                if (!GetIntArg(arg, v)) FormatError(templ);
                const int minDigits = static_cast<int>(prec);
                if (type == 'D') {
                    if (v.IsUnsigned) {
                        AppendUnsigned(out, v.U, 10, minDigits);
                    } else {
                        const std::uint64_t mag = v.I < 0 ? 0 - static_cast<std::uint64_t>(v.I)
                                                          : static_cast<std::uint64_t>(v.I);
                        if (v.I < 0) out += '-';
                        AppendUnsigned(out, mag, 10, minDigits);
                    }
                } else {
                    const std::uint64_t u = v.IsUnsigned ? v.U : static_cast<std::uint64_t>(v.I);
                    AppendUnsigned(out, u, type == 'U' ? 10 : 16, minDigits);
                }
                break;
            }
            case 'F':
            case 'E':
            case 'G':
            case 'N':
            case 'M': {
                FloatValue v;
                if (!GetFloatArg(arg, v)) FormatError(templ);
                FormatFloat(out, type, v, static_cast<int>(prec), settings);
                break;
            }
            case 'S': {
                textField = true;
                std::string tmp;
                std::string_view s;
                switch (arg.GetKind()) {
                    case FormatArg::Kind::Str: s = arg.AsStr(); break;
                    case FormatArg::Kind::Char:
                        tmp.assign(1, arg.AsChar());
                        s = tmp;
                        break;
                    case FormatArg::Kind::Variant: {
                        const Variant& var = arg.AsVariant();
                        if (var.IsNull() || var.IsBytes() || var.IsArray()) FormatError(templ);
                        tmp = var.AsString();
                        s = tmp;
                        break;
                    }
                    default: FormatError(templ);
                }
                if (prec >= 0) s = Utf8Prefix(s, static_cast<std::size_t>(prec));
                out.append(s);
                break;
            }
            case 'P': {
                if (arg.GetKind() != FormatArg::Kind::Pointer) FormatError(templ);
                AppendUnsigned(out, reinterpret_cast<std::uintptr_t>(arg.AsPointer()), 16, 16);
                break;
            }
            default: FormatError(templ);
        }

        if (width > 0) {
            const std::string_view field(out.data() + start, out.size() - start);
            const std::size_t fieldLen = textField ? Utf8Length(field) : field.size();
            const std::size_t w = static_cast<std::size_t>(width);
            if (fieldLen < w) {
                if (left)
                    out.append(w - fieldLen, ' ');
                else
                    out.insert(start, w - fieldLen, ' ');
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Numbers

std::string IntToStr(std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string IntToHex(std::uint64_t v, int digits) {
    std::string out;
    AppendUnsigned(out, v, 16, std::max(digits, 0));
    return out;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool TryStrToInt(std::string_view s, std::int64_t& v) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    std::uint64_t u = 0;
    const auto r = std::from_chars(s.data() + i, s.data() + s.size(), u, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    if (base == 10) {
        // Decimal text must fit the signed range.
        const std::uint64_t limit =
            negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
        if (u > limit) return false;
    }
    // Hexadecimal text of up to 16 digits is the two's complement bit pattern.
    const std::uint64_t bits = negative ? 0 - u : u;
    v = static_cast<std::int64_t>(bits);
    return true;
}

std::int64_t StrToInt(std::string_view s) {
    std::int64_t v;
    if (!TryStrToInt(s, v)) throw EConvertError(Format("'%s' is not a valid integer value", s));
    return v;
}

std::int64_t StrToIntDef(std::string_view s, std::int64_t def) {
    std::int64_t v;
    return TryStrToInt(s, v) ? v : def;
}

namespace {

// The pieces of a decimal number text: blanks, sign, digits with the settings' separator,
// an optional exponent, blanks. Mantissa holds the digits without the point; PointPos is
// the count of digits before the point.
struct NumberText {
    bool Negative = false;
    std::string Mantissa;
    std::int64_t PointPos = 0;
    std::int64_t Exponent = 0;
};

bool ParseNumberText(std::string_view s, char sep, NumberText& t) {
    std::size_t i = 0, n = s.size();
    while (i < n && static_cast<unsigned char>(s[i]) <= ' ') ++i;
    while (n > i && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        t.Negative = s[i] == '-';
        ++i;
    }
    bool anyDigit = false, point = false;
    for (; i < n; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (t.Mantissa.empty() && c == '0') {
                // Leading zeros carry no digits; after the point they shift the value.
                if (point) --t.PointPos;
                continue;
            }
            t.Mantissa += c;
            if (!point) ++t.PointPos;
        } else if (c == sep && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNeg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            expNeg = s[i] == '-';
            ++i;
        }
        if (i >= n || s[i] < '0' || s[i] > '9') return false;
        std::int64_t e = 0;
        for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i)
            if (e < 100'000'000) e = e * 10 + (s[i] - '0');
        t.Exponent = expNeg ? -e : e;
    }
    return i == n;
}

}  // namespace

bool TryStrToFloat(std::string_view s, double& v, const TFormatSettings& settings) {
    NumberText t;
    if (!ParseNumberText(s, settings.DecimalSeparator, t)) return false;
    if (t.Mantissa.empty()) {
        v = t.Negative ? -0.0 : 0.0;
        return true;
    }
    // Value = 0.Mantissa x 10^(PointPos + Exponent).
    const std::int64_t e10 = t.PointPos + t.Exponent;
    if (e10 > 400) return false;  // beyond the double range
    if (e10 < -400) {             // below the smallest subnormal
        v = t.Negative ? -0.0 : 0.0;
        return true;
    }
    std::string text;
    text.reserve(t.Mantissa.size() + 16);
    text += "0.";
    text += t.Mantissa;
    text += 'e';
    text += IntToStr(e10);
    double d = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (r.ec == std::errc::result_out_of_range) {
        if (e10 > 0) return false;
        d = 0.0;
    } else if (r.ec != std::errc() || r.ptr != text.data() + text.size()) {
        return false;
    }
    v = t.Negative ? -d : d;
    return true;
}

bool TryStrToFloat(std::string_view s, double& v) {
    return TryStrToFloat(s, v, DefaultFormatSettings());
}

double StrToFloat(std::string_view s, const TFormatSettings& settings) {
    double v;
    if (!TryStrToFloat(s, v, settings))
        throw EConvertError(Format("'%s' is not a valid floating point value", s));
    return v;
}

double StrToFloat(std::string_view s) { return StrToFloat(s, DefaultFormatSettings()); }

double StrToFloatDef(std::string_view s, double def) {
    double v;
    return TryStrToFloat(s, v) ? v : def;
}

std::string FloatToStr(double v, const TFormatSettings& settings) {
    std::string out;
    FloatValue f;
    f.D = v;
    FormatFloat(out, 'G', f, 15, settings);
    return out;
}

std::string FloatToStr(double v) { return FloatToStr(v, DefaultFormatSettings()); }

std::string CurrToStr(std::int64_t raw) {
    std::string out;
    Decimal x = CurrencyDecimal(raw);
    if (raw < 0) out += '-';
    const int decimals =
        x.IsZero() ? 0 : std::max(0, static_cast<int>(x.Digits.size()) - 1 - x.Exp);
    RenderFixed(out, x, decimals, DefaultFormatSettings().DecimalSeparator, 0);
    return out;
}

bool TryStrToCurr(std::string_view s, std::int64_t& raw) {
    NumberText t;
    if (!ParseNumberText(s, DefaultFormatSettings().DecimalSeparator, t)) return false;
    if (t.Mantissa.empty()) {
        raw = 0;
        return true;
    }
    // Digits of value x 10^4 before its point.
    const std::int64_t intDigits = t.PointPos + t.Exponent + 4;
    if (intDigits > 20) return false;
    const std::int64_t m = static_cast<std::int64_t>(t.Mantissa.size());
    std::uint64_t u = 0;
    const std::uint64_t limit = t.Negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    for (std::int64_t k = 0; k < intDigits; ++k) {
        const unsigned d =
            k < m ? static_cast<unsigned>(t.Mantissa[static_cast<std::size_t>(k)] - '0') : 0u;
        if (u > (limit - d) / 10) return false;
        u = u * 10 + d;
    }
    // Round the rest half to even.
    const std::int64_t restStart = std::max<std::int64_t>(intDigits, 0);
    if (restStart < m) {
        const char first = t.Mantissa[static_cast<std::size_t>(restStart)];
        // Digits skipped between the point and the mantissa count as zeros.
        const bool leadingZeros = intDigits < 0;
        bool up = false;
        if (!leadingZeros) {
            if (first > '5') {
                up = true;
            } else if (first == '5') {
                bool tail = false;
                for (std::int64_t k = restStart + 1; k < m && !tail; ++k)
                    tail = t.Mantissa[static_cast<std::size_t>(k)] != '0';
                up = tail || (u & 1);
            }
        }
        if (up) {
            if (u >= limit) return false;
            ++u;
        }
    }
    raw = t.Negative ? static_cast<std::int64_t>(0 - u) : static_cast<std::int64_t>(u);
    return true;
}

std::string BoolToStr(bool v, bool useText) {
    if (useText) return v ? "True" : "False";
    return v ? "-1" : "0";
}

// ---------------------------------------------------------------------------------------
// Texts

namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

}  // namespace

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsTrimmed(s[b])) ++b;
    while (e > b && IsTrimmed(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size() && IsTrimmed(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && IsTrimmed(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = AsciiUpper(c);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = AsciiLower(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to,
                       bool ignoreCase) {
    if (from.empty()) return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t hit = std::string_view::npos;
        if (ignoreCase) {
            for (std::size_t k = i; k + from.size() <= s.size(); ++k)
                if (EqualNoCase(s.substr(k, from.size()), from)) {
                    hit = k;
                    break;
                }
        } else {
            hit = s.find(from, i);
        }
        if (hit == std::string_view::npos) break;
        out.append(s.substr(i, hit - i));
        out.append(to);
        i = hit + from.size();
    }
    out.append(s.substr(std::min(i, s.size())));
    return out;
}

bool StartsText(std::string_view prefix, std::string_view s) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view s) {
    return s.size() >= suffix.size() && EqualNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// ---------------------------------------------------------------------------------------
// Fixed-point fields

bool FixedField(double Value, int Width, int Decimals, char* Out) noexcept {
    static constexpr std::uint64_t Pow10[] = {1,      10,      100,      1000,      10000,
                                              100000, 1000000, 10000000, 100000000, 1000000000};
    if (!std::isfinite(Value) || Decimals < 0 || Decimals > 9 || Width <= 0 || Width > 64)
        return false;
    const double a = std::fabs(Value);
    // |Value| x 10^Decimals below 2^62: the rounded digits fit an unsigned 64-bit integer.
    if (a * static_cast<double>(Pow10[Decimals]) >= 4.0e18) return false;
    std::uint64_t n = 0;
    if (a != 0.0) {
        // a = m x 2^e exactly; a x 10^d = m x 10^d x 2^e, rounded to the nearest integer
        // with exact ties away from zero, as Format rounds.
        int e = 0;
        const double f = std::frexp(a, &e);
        const auto m = static_cast<std::uint64_t>(std::ldexp(f, 53));
        e -= 53;
        const unsigned __int128 p = static_cast<unsigned __int128>(m) * Pow10[Decimals];
        if (e >= 0) {
            n = static_cast<std::uint64_t>(p << e);
        } else if (e > -127) {
            const unsigned shift = static_cast<unsigned>(-e);
            n = static_cast<std::uint64_t>(p >> shift);
            const unsigned __int128 rest = p - (static_cast<unsigned __int128>(n) << shift);
            if (rest >= (static_cast<unsigned __int128>(1) << (shift - 1))) ++n;
        }
    }
    // The digits, at least Decimals + 1 of them, then the point and the sign.
    char digits[32];
    int len = 0;
    do {
        digits[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0 || len <= Decimals);
    const bool minus =
        std::signbit(Value) && std::any_of(digits, digits + len, [](char c) { return c != '0'; });
    const int total = len + (Decimals > 0 ? 1 : 0) + (minus ? 1 : 0);
    if (total > Width) return false;
    char* p = Out;
    for (int i = total; i < Width; ++i) *p++ = ' ';
    if (minus) *p++ = '-';
    for (int i = len - 1; i >= 0; --i) {
        *p++ = digits[i];
        if (i == Decimals && Decimals > 0) *p++ = '.';
    }
    return true;
}

}  // namespace sysutils
