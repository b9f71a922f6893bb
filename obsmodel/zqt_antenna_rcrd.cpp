#include "zqt_antenna_rcrd.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "zqt_constants.h"
#include "zqt_db.h"
#include "zqt_decimalseparator.h"
#include "zqt_dirs.h"
#include "zqt_files.h"
#include "zqt_misc.h"
#include "zqt_types_bs.h"

namespace zqt_antenna_rcrd {

using SQLiteExt::IESQLiteDatabasePtr;
using SQLiteExt::IESQLiteSelectStatementPtr;
using zqt_variant::TVariantArray;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

namespace {

using zqt_constants::HalfPi;
using zqt_constants::RadToDeg;

using F = eFrequencies;
using TCarrierTable = std::array<std::array<eFrequencies, SlotCount>, 8>;

// Carrier of each signal slot (0..6) per system (0..7).
constexpr TCarrierTable OwnCarriers{{
    {F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN},
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G05, F::G01},                      // GPS
    {F::UNKNOWN, F::R01, F::R01, F::R02, F::R02, F::R03, F::UNKNOWN},                  // GLONASS
    {F::UNKNOWN, F::S01, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::S05, F::UNKNOWN},      // SBAS
    {F::UNKNOWN, F::E01, F::E08, F::E06, F::E07, F::E05, F::UNKNOWN},                  // Galileo
    {F::UNKNOWN, F::J01, F::J01, F::J02, F::J06, F::J05, F::J01},                      // QZSS
    {F::UNKNOWN, F::C02, F::C01, F::C06, F::C07, F::G05, F::C01},                      // BeiDou
    {F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::G05, F::UNKNOWN},  // IRNSS
}};

// Carrier used when the antenna has no calibration of the slot's own carrier.
constexpr TCarrierTable FallbackCarriers{{
    {F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN},
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G02, F::G01},                      // GPS
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G02, F::UNKNOWN},                  // GLONASS
    {F::UNKNOWN, F::G01, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::G02, F::G01},          // SBAS
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G02, F::UNKNOWN},                  // Galileo
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G02, F::G01},                      // QZSS
    {F::UNKNOWN, F::G01, F::G01, F::G02, F::G02, F::G02, F::G01},                      // BeiDou
    {F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::UNKNOWN, F::G05, F::UNKNOWN},  // IRNSS
}};

eFrequencies LookUp(const TCarrierTable& Table, unsigned System, unsigned Slot) noexcept {
    if (System >= Table.size() || Slot >= static_cast<unsigned>(SlotCount)) return F::UNKNOWN;
    return Table[System][Slot];
}

// A double stored as a 32-bit float; values beyond the float range become infinities.
float ToSingle(double V) noexcept {
    constexpr double Max = std::numeric_limits<float>::max();
    if (V > Max) return std::numeric_limits<float>::infinity();
    if (V < -Max) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(V);  // NaN stays NaN
}

// A database value as a 32-bit count (Null gives 0); counts beyond the range are clamped.
std::int32_t ToCount(const Variant& V) {
    const std::int64_t n = VarToInt64Z(V);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        n, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The items of a comma list, each read in millimetres and returned in metres.
float MillimetresItem(const Variant& Item) { return ToSingle(Item.AsDouble() / 1000.0); }

[[noreturn]] void BadDimensions() { throw zqt_types_bs::ExceptionZQS("Bad dimehsions"); }

// Position on an axis of N values (N >= 1): index and fraction of the value pair to
// interpolate. Positions before the axis take the first value, positions at or beyond
// the last value take the last one; Index + 1 < N whenever Fraction is not 0.
struct TAxisPos {
    std::size_t Index = 0;
    double Fraction = 0.0;
};

TAxisPos AxisPos(double Steps, std::size_t N) {
    TAxisPos p;
    if (!(Steps > 0.0)) return p;  // before the axis, or NaN
    const double last = static_cast<double>(N - 1);
    if (Steps >= last) {
        p.Index = N - 1;
        return p;
    }
    const double whole = std::trunc(Steps);
    p.Index = static_cast<std::size_t>(whole);
    p.Fraction = Steps - whole;
    return p;
}

// The grid form of an axis position: the last value is reached from the pair before it
// with weight 1 (an axis of one value keeps that value alone).
void ToGridPair(TAxisPos& P, std::size_t N) {
    if (N >= 2 && P.Index == N - 1) {
        P.Index = N - 2;
        P.Fraction = 1.0;
    }
}

// The SQL of the calibration rows of one antenna type (type bound as ?1).
constexpr const char* CalibrationSQL =
    "  SELECT ext.frequencies.freq,antex,NORTH,EAST,UP,AZI1,AZI2,DAZI,NAZI,ZEN1,ZEN2,DZEN,"
    "NZEN,NOAZI,PCV  FROM tab_AzimuthPhaseCenterVariations INNER JOIN ext.frequencies ON "
    "tab_AzimuthPhaseCenterVariations.freq = ext.frequencies.Id  WHERE "
    "(tab_AzimuthPhaseCenterVariations.Id = ?1) AND "
    "(tab_AzimuthPhaseCenterVariations.CalibrationType = ?2);";
// Calibrations of this type are the ones the correction uses.
constexpr std::int32_t CalibrationType = 2;

// Attaches the extended antennas database as "ext". A missing file is reported instead of
// being created empty by the attach.
void AttachExtension(SQLiteExt::IESQLiteDatabase& Db, const std::string& FileName) {
    if (FileName.empty() || !zqt_files::PathExists(FileName))
        throw SQLiteExt::ESQLiteException(
            sysutils::Format("Extended antennas database \"%s\" not found", FileName));
    Db.Attach(FileName, "ext");
}

}  // namespace

// =======================================================================================
// Carrier tables and text parsing

eFrequencies OwnCarrier(unsigned System, unsigned Slot) noexcept {
    return LookUp(OwnCarriers, System, Slot);
}

eFrequencies FallbackCarrier(unsigned System, unsigned Slot) noexcept {
    return LookUp(FallbackCarriers, System, Slot);
}

std::vector<float> ParseNoAzi(std::string_view Text, std::int32_t Count) {
    if (Count < 1) return {};
    TVariantArray items;
    zqt_misc::SplitToVariants(items, Text, ",", false);
    if (items.size() != static_cast<std::size_t>(Count)) BadDimensions();
    std::vector<float> values;
    values.reserve(items.size());
    for (const Variant& item : items) values.push_back(MillimetresItem(item));
    return values;
}

std::vector<std::vector<float>> ParsePcvGrid(std::string_view Text, std::int32_t NZen,
                                             std::int32_t NAzi) {
    if (NZen < 1 || NAzi < 1) return {};
    std::string text(Text);
    std::replace(text.begin(), text.end(), '\n', ',');
    TVariantArray items;
    zqt_misc::SplitToVariants(items, text, ",", false);
    const std::size_t nzen = static_cast<std::size_t>(NZen);
    const std::size_t nazi = static_cast<std::size_t>(NAzi);
    // The item count is checked before anything is allocated: the text bounds the grid.
    if (items.size() - 1 != nazi * nzen) BadDimensions();
    std::vector<std::vector<float>> grid(nazi);
    for (std::size_t i = 0; i < nazi; ++i) {
        grid[i].reserve(nzen);
        for (std::size_t j = 0; j < nzen; ++j)
            grid[i].push_back(MillimetresItem(items[i * nzen + j]));
    }
    return grid;
}

// =======================================================================================
// RParams

void RParams::Clear() { *this = RParams{}; }

double RParams::Variation(const RAzEl& Direction, std::uint8_t AzimuthIndependent) const {
    if (NZen <= 0) return 0.0;
    const double z = 90.0 - Direction.Elevation * RadToDeg;  // zenith angle, degrees
    if (std::isnan(z)) return 0.0;
    const double zen1 = Zen1, zen2 = Zen2;

    // Zenith position in steps of DZen; the clamps at the ends need no step.
    enum { Inner, First, Last } zone = Inner;
    double zsteps = 0.0;
    if (z <= zen1) {
        zone = First;
    } else if (z >= zen2) {
        zone = Last;
    } else {
        const double dzen = DZen;
        if (!(dzen > 0.0)) return 0.0;
        zsteps = z / dzen;
    }
    const auto zenithPos = [&](std::size_t n) {
        if (zone == First) return TAxisPos{};
        if (zone == Last) return TAxisPos{n - 1, 0.0};
        return AxisPos(zsteps, n);
    };

    if (NAzi == 0 || AzimuthIndependent != 0) {
        const std::size_t n = std::min(static_cast<std::size_t>(NZen), NoAzi.size());
        if (n == 0) return 0.0;
        const TAxisPos p = zenithPos(n);
        if (p.Fraction == 0.0) return NoAzi[p.Index];
        return static_cast<double>(NoAzi[p.Index]) * (1.0 - p.Fraction) +
               static_cast<double>(NoAzi[p.Index + 1]) * p.Fraction;
    }

    // Grid: the rows present (at most NAzi) and the zenith values every one of them has.
    const std::size_t m = std::min(NAzi > 0 ? static_cast<std::size_t>(NAzi) : 0, Pcv.size());
    if (m == 0) return 0.0;
    std::size_t n = static_cast<std::size_t>(NZen);
    for (std::size_t r = 0; r < m; ++r) n = std::min(n, Pcv[r].size());
    if (n == 0) return 0.0;

    TAxisPos zp = zenithPos(n);
    ToGridPair(zp, n);

    double a = Direction.Azimuth * RadToDeg;
    if (!std::isfinite(a)) return 0.0;
    // Far outside one turn the remainder is taken first, so that the loops stay short.
    if (std::fabs(a) > 3600.0) a = std::fmod(a, 360.0);
    while (a < 0.0) a += 360.0;
    while (a > 360.0) a -= 360.0;
    const double dazi = DAzi;
    if (!(dazi > 0.0)) return 0.0;
    TAxisPos ap = AxisPos(a / dazi, m);
    ToGridPair(ap, m);

    const std::size_t i0 = zp.Index, i1 = std::min(zp.Index + 1, n - 1);
    const std::size_t j0 = ap.Index, j1 = std::min(ap.Index + 1, m - 1);
    const std::vector<float>& R0 = Pcv[j0];
    const std::vector<float>& R1 = Pcv[j1];
    const double f = zp.Fraction, g = ap.Fraction;
    return static_cast<double>(R1[i0]) * (1.0 - f) * g +
           static_cast<double>(R0[i0]) * (1.0 - f) * (1.0 - g) +
           static_cast<double>(R0[i1]) * f * (1.0 - g) + static_cast<double>(R1[i1]) * f * g;
}

// =======================================================================================
// RZQSAntenna

bool RZQSAntenna::HasCarrier(eFrequencies C) const noexcept {
    const auto c = static_cast<unsigned>(C);
    return c < static_cast<unsigned>(CarrierCount) && (Carriers & (1u << c)) != 0;
}

const RParams* RZQSAntenna::CarrierParams(unsigned System, unsigned Slot) const noexcept {
    if (!Loaded) return nullptr;
    eFrequencies c = OwnCarrier(System, Slot);
    if (!HasCarrier(c)) c = FallbackCarrier(System, Slot);
    if (!HasCarrier(c)) return nullptr;
    return &Params[static_cast<std::size_t>(c)];
}

RParams RZQSAntenna::GetCarrierParams(unsigned System, unsigned Slot) const {
    const RParams* p = CarrierParams(System, Slot);
    return p ? *p : RParams{};
}

double RZQSAntenna::PhaseCentreCorrection(unsigned System, unsigned Slot, const RAzEl& Direction,
                                          std::uint8_t AzimuthIndependent,
                                          double ExtraHeight) const {
    const double E = Direction.Elevation;
    if (!Loaded || std::isnan(E)) return 0.0;
    const RParams* p = CarrierParams(System, Slot);
    if (!p) return 0.0 + ExtraHeight * std::sin(E);
    const double A = Direction.Azimuth;
    const double v = p->Variation(Direction, AzimuthIndependent);
    const double north = p->North, east = p->East, up = p->Up;
    return 0.0 +
           ((up + ExtraHeight) * std::sin(E) + ((-north) * std::sin(A - HalfPi) * std::cos(E) +
                                                east * std::cos(A - HalfPi) * std::cos(E))) -
           v;
}

bool RZQSAntenna::Load(const std::string& AntennaType) {
    Carriers = 0;
    Loaded = false;
    const std::string dbName = zqt_db::TZQS_DbAntennas::Instance().GetFileName();
    if (dbName.empty() || !zqt_files::PathExists(dbName)) return false;

    Name.clear();
    const IESQLiteDatabasePtr db = zqt_db::TZQS_DbAntennasRead::Create();
    AttachExtension(*db, zqt_dirs::TZQS_Dirs::AntennasExtDbName());
    const zqt_decimalseparator::TZQT_DecSepScope pointSeparator('.');

    // The antenna type is bound, never pasted into the SQL text.
    {
        const IESQLiteSelectStatementPtr st = db->PrepareSelectParams(
            "SELECT Radius,MeasurePointHeight FROM tab_Antennas WHERE Id = ?1;",
            TVariantArray{Variant(AntennaType)});
        if (!st->Next()) return false;
        Radius = ToSingle(VarToFloatZ(st->Value(0)) / 1000.0);
        MeasurePointHeight = ToSingle(VarToFloatZ(st->Value(1)) / 1000.0);
    }

    const IESQLiteSelectStatementPtr st = db->PrepareSelectParams(
        CalibrationSQL, TVariantArray{Variant(AntennaType), Variant(CalibrationType)});
    const auto field = [&st](const char* Column) { return st->Field(Variant(Column)); };
    while (st->Next()) {
        const std::int64_t c = VarToInt64Z(st->Value(0));
        if (c < 0 || c >= CarrierCount) continue;
        Carriers |= 1u << static_cast<unsigned>(c);
        RParams& p = Params[static_cast<std::size_t>(c)];
        p.North = ToSingle(VarToFloatZ(field("NORTH")) / 1000.0);
        p.East = ToSingle(VarToFloatZ(field("EAST")) / 1000.0);
        p.Up = ToSingle(VarToFloatZ(field("UP")) / 1000.0);
        p.Azi1 = ToSingle(VarToFloatZ(field("AZI1")));
        p.Azi2 = ToSingle(VarToFloatZ(field("AZI2")));
        p.DAzi = ToSingle(VarToFloatZ(field("DAZI")));
        p.NAzi = ToCount(field("NAZI"));
        p.Zen1 = ToSingle(VarToFloatZ(field("ZEN1")));
        p.Zen2 = ToSingle(VarToFloatZ(field("ZEN2")));
        p.DZen = ToSingle(VarToFloatZ(field("DZEN")));
        p.NZen = ToCount(field("NZEN"));
        if (p.NZen > 0) p.NoAzi = ParseNoAzi(VarToStrZ(field("NOAZI")), p.NZen);
        if (p.NAzi > 0) p.Pcv = ParsePcvGrid(VarToStrZ(field("PCV")), p.NZen, p.NAzi);
    }

    Loaded = true;
    Name = AntennaType;
    return true;
}

}  // namespace zqt_antenna_rcrd
