#include "zqt_geo.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "zqt_db.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

namespace zqt_geo {

using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SatKeyNumber;
using zqt_sat_obs_types::SatKeySystem;
using zqt_sat_obs_types::SatSetAdd;
using zqt_sat_obs_types::SatSetClear;

static_assert(std::is_trivially_copyable_v<RObsStatistics>,
              "the statistics travel as bytes through ObsCount");
static_assert(std::is_trivially_copyable_v<RSatObsRecord>,
              "satellite records are cleared as bytes");

namespace {

constexpr double DegToRad = 0.017453292519943295;
constexpr double Pi = 3.14159265358979323846;
constexpr double SpeedOfLight = 299792458.0;
using zqt_timefunc::TicksPerDay;
using zqt_timefunc::TicksPerSecond;
constexpr unsigned MaxNumber = 254;

// Rows east, north, up of the rotation at (Lat, Lon) in degrees.
TMatrix3 EnuRotation(double Lat, double Lon) {
    const double b = Lat * DegToRad, l = Lon * DegToRad;
    const double sb = std::sin(b), cb = std::cos(b), sl = std::sin(l), cl = std::cos(l);
    return TMatrix3{{{-sl, cl, 0.0}, {-sb * cl, -sb * sl, cb}, {cb * cl, cb * sl, sb}}};
}

// Band 1..6 and kind 1..4 of observation type 1..24: codes, phases and Dopplers of band b
// are types 3b - 2, 3b - 1, 3b; the strength of band b is type 18 + b.
void TypeBandKind(unsigned t, unsigned& Band, unsigned& Kind) noexcept {
    if (t <= 18) {
        Band = (t + 2) / 3;
        Kind = t - 3 * (Band - 1);
    } else {
        Band = t - 18;
        Kind = 4;
    }
}

void ZeroEntry(RObsStatEntry& E) noexcept { std::memset(&E, 0, sizeof E); }

// The per-system word of a satellite set, with the set's system bit kept in step.
void RemoveFromSet(TSatSet& Set, unsigned Sys, unsigned Number) noexcept {
    Set.Sats[Sys - 1].reset(Number);
    if (Set.Sats[Sys - 1].none()) Set.Mask &= ~(1u << Sys);
}

}  // namespace

// =======================================================================================
// WGS-84 coordinates

void XYZToBLH(double X, double Y, double Z, double& Lat, double& Lon, double& Height) {
    zqt_basestorage::XYZToBLH(X, Y, Z, Lat, Lon, Height);
}

void XYZToBLHVec(RVec3& BLH, const RVec3& XYZ) {
    zqt_basestorage::XYZToBLH(XYZ.X, XYZ.Y, XYZ.Z, BLH.X, BLH.Y, BLH.Z);
}

void XYZToBLHVec(RGeo& BLH, const RVec3& XYZ) { zqt_basestorage::XYZToBLHVec(BLH, XYZ); }

void XYZToLatLon(double X, double Y, double Z, double& Lat, double& Lon) {
    zqt_basestorage::XYZToLatLon(X, Y, Z, Lat, Lon);
}

void BLHToXYZ(double Lat, double Lon, double Height, double& X, double& Y, double& Z) {
    zqt_basestorage::BLHToXYZ(Lat, Lon, Height, X, Y, Z);
}

// =======================================================================================
// Local frame

void LocalToEcefMatrix(double Lat, double Lon, TMatrix3& M) {
    M = EnuRotation(Lat, Lon);
    // General inverse through the cofactors and the determinant.
    const TMatrix3 a = M;
    TMatrix3 c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            c[i][j] = a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1];
        }
    const double det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
    if (det == 0.0) return;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[i][j] = c[j][i] / det;
}

void ApplyMatrix(const TMatrix3& M, double A, double B, double C, double& X, double& Y, double& Z) {
    const double x = M[0][0] * A + M[0][1] * B + M[0][2] * C;
    const double y = M[1][0] * A + M[1][1] * B + M[1][2] * C;
    const double z = M[2][0] * A + M[2][1] * B + M[2][2] * C;
    X = x;
    Y = y;
    Z = z;
}

void ApplyMatrixVec(RVec3& R, const TMatrix3& M, const RVec3& V) {
    ApplyMatrix(M, V.X, V.Y, V.Z, R.X, R.Y, R.Z);
}

void GeoFromDegrees(double Lat, double Lon, double dX, double dY, double dZ, double& East,
                    double& North, double& Up) {
    ApplyMatrix(EnuRotation(Lat, Lon), dX, dY, dZ, East, North, Up);
}

// =======================================================================================
// Satellite records

void ClearSatRecord(RSatObsRecord& Rec) {
    std::memset(static_cast<void*>(&Rec), 0, sizeof Rec);
    Rec.RefRate = std::numeric_limits<double>::quiet_NaN();
}

// =======================================================================================
// Broadcast ionosphere delay

double ShapiroDelay(const RVec3& P1, const RVec3& P2) noexcept {
    constexpr double GM = 3.986005e14;          // m^3/s^2
    constexpr double C2 = 89875517873681760.0;  // (speed of light)^2, m^2/s^2
    const double r1 = std::sqrt(P1.X * P1.X + P1.Y * P1.Y + P1.Z * P1.Z);
    const double r2 = std::sqrt(P2.X * P2.X + P2.Y * P2.Y + P2.Z * P2.Z);
    const double dx = P1.X - P2.X, dy = P1.Y - P2.Y, dz = P1.Z - P2.Z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    return 2.0 * GM / C2 * std::log((r1 + r2 + d) / (r1 + r2 - d));
}

double IonoSlantFactor(double ElevationDeg) noexcept {
    const double x = (6378.0 / 6428.0) * std::sin((90.0 - ElevationDeg) * 0.017453292519943295);
    return (std::sqrt(50808384.0 - 41319184.0 * x * x) - 6428.0 * std::sqrt(1.0 - x * x)) / 700.0;
}

double IonoDelay(std::span<const float, 4> Alpha, std::span<const float, 4> Beta, std::int64_t Time,
                 const RVec3& Position, double Elevation, double Azimuth) {
    if (std::isnan(Azimuth) || !std::isfinite(Elevation)) return 0.0;
    double lat = 0.0, lon = 0.0;
    XYZToLatLon(Position.X, Position.Y, Position.Z, lat, lon);
    if (!std::isfinite(lat) || !std::isfinite(lon)) return 0.0;
    // Semicircles.
    const double phiU = lat / 180.0, lamU = lon / 180.0, E = Elevation / Pi;
    // Earth-centred angle between the receiver and the ionospheric pierce point.
    const double psi = 0.0137 / (E + 0.11) - 0.022;
    double phiI = phiU + psi * std::cos(Azimuth);
    if (phiI > 0.416)
        phiI = 0.416;
    else if (phiI < -0.416)
        phiI = -0.416;
    const double lamI = lamU + psi * std::sin(Azimuth) / std::cos(phiI * Pi);
    const double phiM = phiI + 0.064 * std::cos((lamI - 1.617) * Pi);
    // Local time at the pierce point.
    const double shift = std::nearbyint(lamI * 43200.0 * static_cast<double>(TicksPerSecond));
    if (!std::isfinite(shift) || std::fabs(shift) > 1e15 || !std::isfinite(phiM)) return 0.0;
    // Reduced to the day before adding, so that no time can overflow.
    const std::int64_t timeOfDay = zqt_timefunc::FloorMod(Time, TicksPerDay);
    const std::int64_t shiftOfDay = static_cast<std::int64_t>(shift) % TicksPerDay;
    const std::int64_t ofDay = (timeOfDay + shiftOfDay + TicksPerDay) % TicksPerDay;
    const double t = static_cast<double>(ofDay) / static_cast<double>(TicksPerSecond);
    // Obliquity, amplitude and period.
    const double F = 1.0 + 16.0 * std::pow(0.53 - E, 3);
    double amp = 0.0, per = 0.0, p = 1.0;
    for (int n = 0; n < 4; ++n) {
        amp += static_cast<double>(Alpha[static_cast<std::size_t>(n)]) * p;
        per += static_cast<double>(Beta[static_cast<std::size_t>(n)]) * p;
        p *= phiM;
    }
    if (amp < 0.0) amp = 0.0;
    if (per < 72000.0) per = 72000.0;
    const double x = 2.0 * Pi * (t - 50400.0) / per;
    const double ax = std::fabs(x);
    const double night = F * 5e-9;
    double delay = night;
    if (ax < 1.57) {
        const double x2 = x * x;
        const double day = F * (5e-9 + amp * (1.0 - x2 / 2.0 + x2 * x2 / 24.0));
        if (ax > 1.47) {
            // Blend into the night value so that the delay has no step at |x| = 1.57.
            const double w = (1.57 - ax) / 0.1;
            delay = (1.0 - w) * night + w * day;
        } else {
            delay = day;
        }
    }
    return delay * SpeedOfLight;
}

// =======================================================================================
// Observation statistics

int ObsStatIndex(std::uint16_t Svprn) noexcept {
    const unsigned s = SatKeySystem(Svprn), n = SatKeyNumber(Svprn);
    if (s < 1 || s > static_cast<unsigned>(StatSystems) || n < 1 || n > MaxNumber) return -1;
    return static_cast<int>((s - 1) * 256 + (n - 1));
}

void ObsStatClear(RObsStatistics& S) noexcept { std::memset(static_cast<void*>(&S), 0, sizeof S); }

void CopyPositionRecord(const RObsStatistics& S, RObsStatEntry& Entry, std::uint16_t Svprn) {
    const int i = ObsStatIndex(Svprn);
    if (i < 0)
        ZeroEntry(Entry);
    else
        Entry = S.Entries[static_cast<std::size_t>(i)];
}

void ObsStatAdd(RObsStatistics& S, std::uint16_t Svprn, std::uint32_t ObsTypes) {
    const int i = ObsStatIndex(Svprn);
    if (i < 0) return;
    const unsigned sys = SatKeySystem(Svprn);
    const std::uint32_t types = ObsTypes & StatTypeBits;
    ++S.TotalRecords;
    ++S.RecordsAdded;
    RObsStatEntry& e = S.Entries[static_cast<std::size_t>(i)];
    ++e.Records;
    auto& counters = S.Counters[sys - 1];
    for (unsigned t = 1; t <= static_cast<unsigned>(StatTypes); ++t) {
        if (!(types & (1u << t))) continue;
        unsigned band = 0, kind = 0;
        TypeBandKind(t, band, kind);
        ++e.TypeRecords[t - 1];
        e.Bands |= 1u << band;
        ++counters[band - 1][kind - 1];
    }
    e.ObsTypes |= types;
    ++S.SystemRecords[sys - 1];
    S.SystemObsTypes[sys - 1] |= types;
    S.SystemMask = static_cast<std::uint8_t>(S.SystemMask | (1u << sys));
    SatSetAdd(S.Observed, Svprn);
}

void ObsStatRecount(RObsStatistics& S) {
    S.TotalRecords = 0;
    S.SystemMask = 0;
    S.SystemRecords.fill(0);
    S.SystemObsTypes.fill(0);
    for (unsigned sys = 1; sys <= static_cast<unsigned>(StatSystems); ++sys) {
        const auto& word = S.Observed.Sats[sys - 1];
        for (unsigned n = 1; n <= MaxNumber; ++n) {
            if (!word.test(n)) continue;
            const RObsStatEntry& e = S.Entries[(sys - 1) * 256 + (n - 1)];
            S.SystemObsTypes[sys - 1] |= e.ObsTypes;
            S.SystemRecords[sys - 1] += e.Records;
            S.SystemMask = static_cast<std::uint8_t>(S.SystemMask | (1u << sys));
            S.TotalRecords += e.Records;
        }
    }
}

void ObsStatRemoveSatellites(RObsStatistics& S, const TSatSet& Sats) {
    for (unsigned sys = 1; sys <= static_cast<unsigned>(StatSystems); ++sys) {
        if (!(S.SystemMask & (1u << sys))) continue;
        const auto& word = Sats.Sats[sys - 1];
        for (unsigned n = 1; n <= MaxNumber; ++n) {
            if (!word.test(n)) continue;
            RemoveFromSet(S.Observed, sys, n);
            ZeroEntry(S.Entries[(sys - 1) * 256 + (n - 1)]);
        }
    }
    ObsStatRecount(S);
}

void ObsStatKeepSystems(RObsStatistics& S, std::uint32_t Mask) {
    S.SystemMask = static_cast<std::uint8_t>(S.SystemMask & Mask);
    for (unsigned sys = 1; sys <= static_cast<unsigned>(StatSystems); ++sys) {
        if (Mask & (1u << sys)) continue;
        S.Observed.Sats[sys - 1].reset();
        S.Observed.Mask &= ~(1u << sys);
        const std::uint32_t records = S.SystemRecords[sys - 1];
        S.TotalRecords = S.TotalRecords > records ? S.TotalRecords - records : 0;
        S.SystemRecords[sys - 1] = 0;
        S.SystemObsTypes[sys - 1] = 0;
        for (unsigned n = 0; n < 256; ++n) ZeroEntry(S.Entries[(sys - 1) * 256 + n]);
    }
}

void ObsStatKeepSignals(RObsStatistics& S, const std::array<std::uint32_t, StatSystems>& Masks) {
    for (unsigned sys = 1; sys <= static_cast<unsigned>(StatSystems); ++sys) {
        const std::uint32_t removed = Masks[sys - 1];
        if (!(S.SystemMask & (1u << sys)) || removed == 0) continue;
        for (unsigned n = 1; n <= MaxNumber; ++n) {
            if (!S.Observed.Sats[sys - 1].test(n)) continue;
            RObsStatEntry& e = S.Entries[(sys - 1) * 256 + (n - 1)];
            e.ObsTypes &= ~removed;
            if (e.ObsTypes & StatMeasurementBits) {
                for (unsigned t = 1; t <= static_cast<unsigned>(StatTypes); ++t)
                    if (removed & (1u << t)) e.TypeRecords[t - 1] = 0;
            } else {
                // Signal strength alone is no observation.
                ZeroEntry(e);
                RemoveFromSet(S.Observed, sys, n);
            }
        }
    }
    ObsStatRecount(S);
}

void InstallObsCount() {
    zqt_db::SetObsCountRecord<RObsStatistics>(
        [](RObsStatistics& S, std::uint16_t Svprn, std::int64_t ObsTypes) {
            ObsStatAdd(S, Svprn, static_cast<std::uint32_t>(ObsTypes));
        });
}

void QueryObsCountsAndHealth(RObsStatistics& S, SQLiteExt::IESQLiteDatabase& Db,
                             std::int32_t RecordsetID) {
    ObsStatClear(S);
    const zqt_variant::Variant counts = Db.QueryValue(SQLiteExt::FormatPt(
        "SELECT ObsCount(SatObs.svprn,SatObs.ObsTypes) FROM Recordsets LEFT JOIN DataSets ON "
        "Recordsets.DatasetID = Datasets.DataSetID LEFT JOIN Epochs ON (Datasets.DataSetID = "
        "Epochs.DataSetID) AND (Epochs.GPSTime BETWEEN Recordsets.BegTime AND "
        "Recordsets.EndTime) LEFT JOIN SatObs ON Epochs.EpochID = SatObs.EpochID WHERE "
        "Recordsets.RecordsetID = %d;",
        RecordsetID));
    // NULL: no such recordset, the statistics stay empty.
    if (!counts.IsNull() && !zqt_db::ObsCountToRecord(counts, S))
        throw zqt_types_bs::ExceptionZQS(
            Format("ObsCount of recordset %d gave no observation statistics", RecordsetID));

    SatSetClear(S.Unhealthy);
    SatSetClear(S.WithEphemeris);
    const zqt_variant::TVariantMatrix rows = Db.SelectMatrix(SQLiteExt::FormatPt(
        "SELECT svprn,Max(Health) FROM Ephemeris INNER JOIN Recordsets ON Ephemeris.GPSTime "
        "BETWEEN Recordsets.BegTime - 72000000 AND Recordsets.EndTime + 72000000 WHERE "
        "Recordsets.RecordsetID = %d GROUP By svprn",
        RecordsetID));
    for (const auto& row : rows) {
        if (row.size() < 2) continue;
        const auto svprn = static_cast<std::uint16_t>(zqt_variant::VarToInt64Z(row[0]));
        const std::uint16_t key = SatKey(SatKeySystem(svprn), SatKeyNumber(svprn) % 128);
        SatSetAdd(S.WithEphemeris, key);
        if (zqt_variant::VarToInt64Z(row[1]) != 0) SatSetAdd(S.Unhealthy, key);
    }
}

// =======================================================================================
// Site links

bool ReadObjInfoRecord(TRDBObjInfo& Info, SQLiteExt::IESQLiteSelectStatement& Select,
                       const zqt_variant::TVariantArray& Params) {
    Info = TRDBObjInfo{};
    Select.Reset();
    if (!Params.empty()) Select.BindParams(Params);
    if (!Select.Next()) return false;
    auto value = [&Select](const char* Name) {
        return static_cast<std::int32_t>(zqt_variant::VarToInt64Z(Select.ValueByName(Name)));
    };
    Info.SiteID = value("SiteID");
    Info.SnapID = value("SnapID");
    Info.SnapedObjType = value("SnapedObjType");
    return true;
}

}  // namespace zqt_geo
