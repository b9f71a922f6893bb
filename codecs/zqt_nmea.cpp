#include "zqt_nmea.h"

#include <cmath>

#include "zqt_geo.h"
#include "zqt_timefunc.h"

namespace zqt_nmea {

using zqt_sat_obs_types::EZQSSatCode;
using zqt_timefunc::TicksPerSecond;

namespace {

struct RTalker {
    const char* Name;
    EZQSSatCode System;
};
// Talkers and the system each stands for; GN and PP stand for no single system.
constexpr RTalker Talkers[] = {
    {"GP", zqt_sat_obs_types::SC_GPS},     {"GL", zqt_sat_obs_types::SC_GLONASS},
    {"GA", zqt_sat_obs_types::SC_GALILEO}, {"GQ", zqt_sat_obs_types::SC_QZSS},
    {"GI", zqt_sat_obs_types::SC_IRNSS},   {"BD", zqt_sat_obs_types::SC_BDS},
    {"GB", zqt_sat_obs_types::SC_BDS},     {"GN", zqt_sat_obs_types::SC_UNKNOWN},
    {"PP", zqt_sat_obs_types::SC_UNKNOWN},
};

// Formatters by kind (ENmeaKind order).
constexpr const char* Formatters[] = {"UNK", "RMC", "GGA", "GST", "MRK"};

constexpr char HexDigits[] = "0123456789ABCDEF";

bool Digits(std::string_view Text) {
    for (const char c : Text)
        if (c < '0' || c > '9') return false;
    return !Text.empty();
}

int TwoDigits(std::string_view Text, std::size_t At) {
    return (Text[At] - '0') * 10 + (Text[At + 1] - '0');
}

}  // namespace

TZQS_Nmea::TZQS_Nmea() { FSettings.DecimalSeparator = '.'; }

std::uint8_t TZQS_Nmea::Checksum(const std::uint8_t* Sentence, std::int32_t Available,
                                 std::int32_t& StarIndex) {
    StarIndex = 0;
    if (!Sentence || Available < 1 || Sentence[0] != '$') throw sysutils::Exception("Not nmea");
    const std::int32_t limit = std::min(Available, NmeaMaxLength);
    std::uint8_t sum = 0;
    for (std::int32_t i = 1; i < limit; ++i) {
        const std::uint8_t b = Sentence[i];
        if (b == '*') {
            StarIndex = i + 1;
            return sum;
        }
        // Sentences are printable text: anything else ends the attempt (a "$" among the
        // bytes of binary data).
        if (b < 0x20 || b > 0x7E) return 0;
        sum ^= b;
    }
    return 0;
}

std::string TZQS_Nmea::Field(std::size_t i) const {
    return i < FFields.size() ? FFields[i] : std::string();
}

bool TZQS_Nmea::Parse(const std::uint8_t* Sentence, std::int32_t Available) {
    FLength = 1;
    FComplete = false;
    FSentence = Sentence;
    FChecksum = Checksum(Sentence, Available, FStarIndex);
    FChecksumText = std::string{HexDigits[FChecksum >> 4], HexDigits[FChecksum & 15]};
    // "$", five letters, "*" and the two checksum digits, which must be upper case.
    if (FStarIndex < 7 || FStarIndex + 2 > Available) return false;
    if (Sentence[FStarIndex] != static_cast<std::uint8_t>(FChecksumText[0]) ||
        Sentence[FStarIndex + 1] != static_cast<std::uint8_t>(FChecksumText[1]))
        return false;
    for (int i = 1; i <= 5; ++i)
        if (Sentence[i] < 'A' || Sentence[i] > 'Z') return false;
    // The first field is exactly "$" + talker + formatter.
    if (Sentence[6] != ',' && Sentence[6] != '*') return false;

    const std::string talker(reinterpret_cast<const char*>(Sentence) + 1, 2);
    const std::string formatter(reinterpret_cast<const char*>(Sentence) + 3, 3);
    const RTalker* t = nullptr;
    for (const RTalker& c : Talkers)
        if (talker == c.Name) t = &c;
    if (!t) return false;
    int kind = -1;
    for (int k = 0; k < static_cast<int>(std::size(Formatters)); ++k)
        if (formatter == Formatters[k]) kind = k;
    if (kind < 0) return false;

    // The line end that is there.
    std::int32_t end = FStarIndex + 2;
    if (end < Available && Sentence[end] == '\r') ++end;
    if (end < Available && Sentence[end] == '\n') ++end;
    FLength = end;
    FTalker = talker;
    FFormatter = formatter;
    FSystem = t->System;
    FKind = static_cast<ENmeaKind>(kind);

    FFields.clear();
    const std::string_view text(reinterpret_cast<const char*>(Sentence),
                                static_cast<std::size_t>(FStarIndex - 1));
    for (std::size_t p = 0;;) {
        const std::size_t q = text.find(',', p);
        FFields.emplace_back(text.substr(p, q == std::string_view::npos ? q : q - p));
        if (q == std::string_view::npos) break;
        p = q + 1;
    }

    switch (FKind) {
        case NK_RMC: DecodeRMC(); break;
        case NK_GGA: DecodeGGA(); break;
        case NK_GST: DecodeGST(); break;
        case NK_MRK: FComplete = !Field(1).empty(); break;
        default: FComplete = true; break;
    }
    return true;
}

bool TZQS_Nmea::Number(std::string_view Text, double& Value) const {
    return !Text.empty() && sysutils::TryStrToFloat(Text, Value, FSettings) && std::isfinite(Value);
}

bool TZQS_Nmea::TimeOfDay(std::string_view Text, std::int64_t& Ticks) const {
    // hhmmss, then optionally "." and the fraction of the second (to hundredths).
    if (Text.size() < 6 || !Digits(Text.substr(0, 6))) return false;
    std::int64_t hundredths = 0;
    if (Text.size() > 6) {
        if (Text[6] != '.' || (Text.size() > 7 && !Digits(Text.substr(7)))) return false;
        for (std::size_t i = 7; i < 9; ++i)
            hundredths = hundredths * 10 + (i < Text.size() ? Text[i] - '0' : 0);
    }
    const int h = TwoDigits(Text, 0), m = TwoDigits(Text, 2), s = TwoDigits(Text, 4);
    if (h > 23 || m > 59 || s > 60) return false;  // 60: a leap second
    Ticks = h * 36'000'000LL + m * 600'000LL + s * TicksPerSecond + hundredths * 100;
    return true;
}

void TZQS_Nmea::DecodeRMC() {
    // Field 9 holds the date in every version (10 fields before NMEA 2.3, 13 after).
    if (FFields.size() < 10) return;
    std::int64_t tod = 0;
    const std::string& date = FFields[9];
    if (!TimeOfDay(FFields[1], tod) || date.size() != 6 || !Digits(date)) return;
    sysutils::TDateTime day = 0.0;
    if (!sysutils::TryEncodeDate(2000 + TwoDigits(date, 4), TwoDigits(date, 2), TwoDigits(date, 0),
                                 day))
        return;
    FRMCTime = zqt_timefunc::UTCToGPS(zqt_timefunc::DateTimeToTicks(day) + tod);
    FComplete = true;
}

void TZQS_Nmea::DecodeGGA() {
    std::int64_t tod = 0;
    if (!TimeOfDay(Field(1), tod)) return;
    double quality = 0.0, sats = 0.0, hdop = 0.0;
    const std::string q = Field(6), n = Field(7), d = Field(8);
    if ((!q.empty() && (!Digits(q) || !Number(q, quality))) ||
        (!n.empty() && (!Digits(n) || !Number(n, sats))) || (!d.empty() && !Number(d, hdop)))
        return;

    double lat = 0.0, lon = 0.0, height = 0.0;
    const std::string la = Field(2), lo = Field(4);
    // A receiver without a fix leaves the position empty or reports quality 0.
    const bool fix = !la.empty() && quality > 0.0;
    if (fix) {
        double latMin = 0.0, lonMin = 0.0, alt = 0.0, sep = 0.0;
        const std::string ns = Field(3), ew = Field(5), sepText = Field(11);
        if (la.size() < 3 || lo.size() < 4 || !Digits(la.substr(0, 2)) ||
            !Digits(lo.substr(0, 3)) || !Number(la.substr(2), latMin) ||
            !Number(lo.substr(3), lonMin) || latMin < 0.0 || latMin >= 60.0 || lonMin < 0.0 ||
            lonMin >= 60.0 || (ns != "N" && ns != "S") || (ew != "E" && ew != "W") ||
            !Number(Field(9), alt) || (!sepText.empty() && !Number(sepText, sep)))
            return;
        lat = TwoDigits(la, 0) + latMin / 60.0;
        lon = (lo[0] - '0') * 100 + TwoDigits(lo, 1) + lonMin / 60.0;
        if (lat > 90.0 || lon > 180.0) return;
        if (ns == "S") lat = -lat;
        if (ew == "W") lon = -lon;
        height = alt + sep;
    }

    FGGATimeOfDay = tod;
    FLat = lat;
    FLon = lon;
    FHeight = height;
    FHDOP = hdop;
    FFixQuality = static_cast<std::int32_t>(quality);
    FSolutionType = SolutionTypeOf(FFixQuality);
    FSatellites = static_cast<std::int32_t>(sats);
    FPrevPosition = FPosition;
    FPosition = RVec3{};
    if (lat != 0.0 || lon != 0.0 || height != 0.0)
        zqt_geo::BLHToXYZ(lat, lon, height, FPosition.X, FPosition.Y, FPosition.Z);
    FComplete = true;
}

void TZQS_Nmea::DecodeGST() {
    std::int64_t tod = 0;
    double rms = 0.0;
    const std::string r = Field(2);
    if (!TimeOfDay(Field(1), tod) || (!r.empty() && !Number(r, rms))) return;
    FGSTTimeOfDay = tod;
    FRMS = rms;
    FComplete = true;
}

std::uint8_t TZQS_Nmea::SolutionTypeOf(std::int32_t FixQuality) noexcept {
    switch (FixQuality) {
        case 1: return 1;
        case 2: return 2;
        case 4: return 4;
        case 5: return 3;
        default: return 0;
    }
}

}  // namespace zqt_nmea
