#include "zqt_basestorage.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "sysutils.h"
#include "zqt_constants.h"
#include "zqt_timefunc.h"

namespace zqt_basestorage {

using zqt_constants::DegToRad;
using zqt_constants::HalfPi;
using zqt_constants::RadToDeg;
using zqt_constants::TwoPi;

namespace {

// WGS-84 ellipsoid.
constexpr double kA = 6378137.0;                     // semi-major axis, m
constexpr double kB = 6356752.314245179;             // semi-minor axis, m
constexpr double kE2 = 0.006694379990141316;         // first eccentricity squared
constexpr double kE2Forward = 0.006694379990141381;  // the same, geodetic to XYZ
constexpr double kOneMinusE2 = 0.9933056200098587;
constexpr double kEp2B = 42841.31151331357;  // e'^2 * b
constexpr double kE2A = 42697.67270717996;   // e^2 * a
constexpr double kPi = 3.141592653589793;

// Latitude and longitude (radians, latitude not yet clamped) of a point off the polar
// axis (p > 0 is its distance from the axis). Bowring's closed form alone is exact to a
// micrometre up to 9 km, but not above: worst over all latitudes (at 45 degrees), it errs
// by 1.3 mm along the meridian (1.5 mm in height) at 400 km, by 0.21 m (0.25 m) at
// 20,200 km and by 0.26 m (0.31 m) at 35,786 km. Repeating the step from the latitude
// found brings every height up to the geostationary one within 0.02 micrometres.
void GeodeticOffAxis(double X, double Y, double Z, double p, double& lat, double& lon) {
    auto bowring = [&](double beta) {
        const double sb = std::sin(beta);
        const double cb = std::cos(beta);
        return std::atan2(Z + kEp2B * sb * sb * sb, p - kE2A * cb * cb * cb);
    };
    lat = bowring(std::atan2(Z * kA, p * kB));
    for (int i = 0; i < 4; ++i) {
        const double next = bowring(std::atan2(kB * std::sin(lat), kA * std::cos(lat)));
        const bool done = std::fabs(next - lat) < 1e-15;
        lat = next;
        if (done) break;
    }
    if (X == 0.0)
        lon = Y >= 0.0 ? HalfPi : -HalfPi;
    else
        lon = std::atan2(Y, X);
}

void XYZToBLHImpl(double X, double Y, double Z, double& Lat, double& Lon, double* Height) {
    if (std::isnan(X) || std::isnan(Y) || std::isnan(Z)) {
        Lat = Lon = NAN;
        if (Height) *Height = NAN;
        return;
    }
    const double p = std::sqrt(X * X + Y * Y);
    if (p < 1e-12) {
        Lon = 0.0;
        double h = 0.0;
        if (Z == 0.0) {
            Lat = 0.0;
        } else if (Z > 0.0) {
            Lat = 90.0;
            h = Z - kB;
        } else {
            Lat = -90.0;
            h = -Z - kB;
        }
        if (Height) *Height = h;
        return;
    }
    double lat = 0.0, lon = 0.0;
    GeodeticOffAxis(X, Y, Z, p, lat, lon);
    if (Height) {
        // p cos(lat) + Z sin(lat) - a^2 / N: the same height as p / cos(lat) - N, without
        // dividing by a vanishing cosine next to the polar axis.
        const double sl = std::sin(lat), cl = std::cos(lat);
        *Height = p * cl + Z * sl - kA * std::sqrt(1.0 - kE2 * sl * sl);
    }
    Lat = std::clamp(lat * RadToDeg, -90.0, 90.0);
    Lon = lon * RadToDeg;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// 3-vectors

void Vec3Zero(RVec3& V) { V = RVec3{}; }

void Vec3Set(RVec3& V, double X, double Y, double Z) { V = RVec3{X, Y, Z}; }

bool Vec3Equal(const RVec3& A, const RVec3& B) { return A.X == B.X && A.Y == B.Y && A.Z == B.Z; }

bool Vec3NotEqual(const RVec3& A, const RVec3& B) { return !Vec3Equal(A, B); }

bool Vec3IsZero(const RVec3& V) { return V.X == 0.0 && V.Y == 0.0 && V.Z == 0.0; }

double Vec3Dot(const RVec3& A, const RVec3& B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }

void Vec3Sub(RVec3& R, const RVec3& A, const RVec3& B) {
    R = RVec3{A.X - B.X, A.Y - B.Y, A.Z - B.Z};
}

void Vec3Normalize(RVec3& R, const RVec3& V) {
    const double len = std::sqrt(Vec3Dot(V, V));
    if (len == 0.0) {
        R = RVec3{};
        return;
    }
    R = RVec3{V.X / len, V.Y / len, V.Z / len};
}

void Vec3RotateX(const RVec3& V, RVec3& R, double a) {
    const double s = std::sin(a), c = std::cos(a);
    R = RVec3{V.X, s * V.Z + c * V.Y, c * V.Z - s * V.Y};
}

void Vec3RotateZ(const RVec3& V, RVec3& R, double a) {
    const double s = std::sin(a), c = std::cos(a);
    R = RVec3{s * V.Y + c * V.X, c * V.Y - s * V.X, V.Z};
}

void Vec3ToLocal(const RVec3& V, RVec3& R, const RVec3& Station) {
    double lat = 0.0, lon = 0.0;
    XYZToLatLon(Station.X, Station.Y, Station.Z, lat, lon);
    lat *= DegToRad;
    lon *= DegToRad;
    const double sb = std::sin(lat), cb = std::cos(lat);
    const double sl = std::sin(lon), cl = std::cos(lon);
    R = RVec3{-sl * V.X + cl * V.Y, -sb * cl * V.X - sb * sl * V.Y + cb * V.Z,
              cb * cl * V.X + cb * sl * V.Y + sb * V.Z};
}

std::string Vec3ToStr(const RVec3& V) {
    return sysutils::FormatS(sysutils::PointFormatSettings(), "%18.3f %18.3f %18.3f", V.X, V.Y,
                             V.Z);
}

// ---------------------------------------------------------------------------------------
// Geodetic triple

std::string GeoToStr(const RGeo& G) {
    return sysutils::FormatS(sysutils::PointFormatSettings(), "%.9f %.9f %.3f", G.Lat, G.Lon,
                             G.Height);
}

void GeoClear(RGeo& G) { G = RGeo{}; }

bool GeoIsZero(const RGeo& G) { return G.Lat == 0.0 && G.Lon == 0.0 && G.Height == 0.0; }

// ---------------------------------------------------------------------------------------
// Directions

bool AzimuthElevation(const RVec3& Station, const RVec3& Satellite, RAzEl& AzEl) {
    RVec3 u;
    Vec3Sub(u, Satellite, Station);
    Vec3Normalize(u, u);
    RVec3 l;
    Vec3ToLocal(u, l, Station);
    double az = 0.0;
    if (Vec3Dot(u, u) >= 1e-12) az = std::atan2(l.X, l.Y);
    if (az < 0.0) az += TwoPi;
    // Rounding can carry the up component of a unit vector a hair beyond 1 (a satellite
    // straight overhead); it must still give pi/2, not NaN.
    const double up = std::isnan(l.Z) ? l.Z : std::clamp(l.Z, -1.0, 1.0);
    AzEl.Azimuth = az;
    AzEl.Elevation = std::asin(up);
    return !std::isnan(AzEl.Elevation);
}

void OrientationAngles(std::span<const float> Attitude, ROrientation& Angles) {
    Angles = ROrientation{};
    if (Attitude.size() < 6) return;
    const double p2 = Attitude[2], p3 = Attitude[3], p4 = Attitude[4], p5 = Attitude[5];
    if (std::isnan(p2) || std::fabs(p2) < 1e-9 || std::fabs(p4) < 1e-9) return;

    // Into [-pi/2, pi/2] by a half turn.
    auto halfRange = [](double a) {
        if (a > HalfPi)
            a -= kPi;
        else if (a < -HalfPi)
            a += kPi;
        return a;
    };
    // Into [0, 2 pi].
    auto fullRange = [](double a) { return a < 0.0 ? a + TwoPi : a; };

    const double pitch = halfRange(-std::asin(p4));
    const double roll = halfRange(std::asin(p5 / std::sqrt(1.0 - p4 * p4)));
    const double yaw = fullRange(std::atan2(p3, p2));

    const double cR = std::cos(roll), sR = std::sin(roll);
    const double cP = std::cos(pitch), sP = std::sin(pitch);
    const double cY = std::cos(yaw), sY = std::sin(yaw);
    const double A = cY * sP * cR + sY * sR;
    const double B = sY * sP * cR - cY * sR;
    Angles.Angle = fullRange(std::atan2(-A, -B));
    Angles.Factor = cP * cR;
}

// ---------------------------------------------------------------------------------------
// WGS-84 coordinates

void XYZToBLH(double X, double Y, double Z, double& Lat, double& Lon, double& Height) {
    XYZToBLHImpl(X, Y, Z, Lat, Lon, &Height);
}

void XYZToBLHVec(RGeo& G, const RVec3& V) { XYZToBLH(V.X, V.Y, V.Z, G.Lat, G.Lon, G.Height); }

void XYZToLatLon(double X, double Y, double Z, double& Lat, double& Lon) {
    XYZToBLHImpl(X, Y, Z, Lat, Lon, nullptr);
}

void BLHToXYZ(double Lat, double Lon, double Height, double& X, double& Y, double& Z) {
    if (std::isnan(Lat) || std::isnan(Lon) || std::isnan(Height)) {
        X = Y = Z = NAN;
        return;
    }
    const double lat = Lat * DegToRad, lon = Lon * DegToRad;
    const double sb = std::sin(lat), cb = std::cos(lat);
    const double n = kA / std::sqrt(1.0 - kE2Forward * sb * sb);
    auto snap = [](double v) { return std::fabs(v) < 1e-7 ? 0.0 : v; };
    X = snap((n + Height) * cb * std::cos(lon));
    Y = snap((n + Height) * cb * std::sin(lon));
    Z = snap((kOneMinusE2 * n + Height) * sb);
}

}  // namespace zqt_basestorage

// =======================================================================================
// Time-keyed storages

namespace zqt_basestorage {

using sysutils::Exception;
using sysutils::Format;
using zqt_classes_dbs::TZQS_Object;
using zqt_classes_dbs::TZQS_ScObject;

namespace {

constexpr std::int64_t HighSentinelTime = INT64_MAX;

const TTimeIndex& EmptyIndex() {
    static const TTimeIndex empty;
    return empty;
}

}  // namespace

// The first and last entries are the sentinels; they are told apart by position, never by
// their stored times, so that no time (negative ones included) sorts outside them and no
// distance is ever taken to a sentinel.

std::size_t BinarySearch(const TTimeIndex& A, std::int64_t t) noexcept {
    if (A.size() < 3) return 0;
    const std::size_t high = A.size() - 1;
    // A time-ordered sweep appends: answer that case without a search.
    if (t > A[high - 1].Time) return high - 1;
    std::size_t lo = 0, hi = high;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (mid == 0 || t >= A[mid].Time)
            lo = mid + 1;
        else
            hi = mid;
    }
    // Entry lo is the first one later than t; the low sentinel is never later.
    return lo - 1;
}

void TimeIndexInsert(TTimeIndex& A, std::int64_t t, std::int32_t Row) {
    if (A.empty()) {
        A = {{0, -1}, {t, Row}, {HighSentinelTime, -1}};
        return;
    }
    const std::size_t p = BinarySearch(A, t);
    A.insert(A.begin() + static_cast<std::ptrdiff_t>(p + 1), RTimeIndexEntry{t, Row});
}

std::int32_t FindNearest(const TTimeIndex& A, std::int64_t t, std::size_t& Hint) noexcept {
    if (A.size() < 3) return -1;
    const std::size_t high = A.size() - 1;
    std::size_t i = std::min(Hint, high - 1);
    const bool inside = (i == 0 || A[i].Time <= t) && (i + 1 == high || t < A[i + 1].Time);
    if (!inside) i = BinarySearch(A, t);
    Hint = i;
    if (i == 0) return A[1].Row;         // before the first row
    if (i + 1 == high) return A[i].Row;  // at or after the last row
    // A[i].Time <= t < A[i + 1].Time: both distances are non-negative and below 2^64, so
    // the unsigned differences are exact whatever the times.
    const std::uint64_t before =
        static_cast<std::uint64_t>(t) - static_cast<std::uint64_t>(A[i].Time);
    const std::uint64_t after =
        static_cast<std::uint64_t>(A[i + 1].Time) - static_cast<std::uint64_t>(t);
    return after > before ? A[i].Row : A[i + 1].Row;
}

// ---------------------------------------------------------------------------------------
// TZQS_BaseStorage

void TZQS_BaseStorage::InitFields() {
    TZQS_Object::InitFields();
    FKeys.clear();
}

void TZQS_BaseStorage::InitChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                 zqt_classes_dbs::IESQLiteDatabasePtr Db) {
    TZQS_Object::InitChild(Parent, std::move(Db));
    FSQLTemplate = StorageSQLTemplate;
}

TZQS_ScObject& TZQS_BaseStorage::CheckedItem(TZQS_ScObjectPtr& Holder) {
    Holder = GetItem();
    if (!Holder) throw Exception(Format("%s: the storage has no item", ClassName()));
    return *Holder;
}

void TZQS_BaseStorage::OpenTable() {
    TZQS_ScObjectPtr holder;
    const TZQS_ScObject& item = CheckedItem(holder);
    OpenSQL(SQLiteExt::FormatPt(FSQLTemplate, item.GetTableName(),
                                zqt_timefunc::AddTicks(GetBegTime(), -StorageWindowMargin),
                                zqt_timefunc::AddTicks(GetEndTime(), StorageWindowMargin)),
            zqt_variant::TVariantArray{});
}

void TZQS_BaseStorage::OpenSQL(const std::string& SQL, const zqt_variant::TVariantArray& Values) {
    TZQS_ScObjectPtr holder;
    CheckedItem(holder).OpenSQL(SQL, Values);
}

bool TZQS_BaseStorage::Next() {
    Clear();
    OpenTable();
    TZQS_ScObjectPtr holder;
    TZQS_ScObject& item = CheckedItem(holder);
    try {
        while (item.Next()) IndexRow();
    } catch (...) {
        item.CloseSelect();
        throw;
    }
    item.CloseSelect();
    return true;
}

void TZQS_BaseStorage::IndexRow() {
    TZQS_ScObjectPtr holder;
    const TZQS_ScObject& item = CheckedItem(holder);
    const std::int64_t key = item.GetKey();
    if (key == 0 || FKeys.contains(key)) return;
    CheckItem(item);
    FCurrentTime = item.GetKeyTime();
    const std::int32_t row = AddIndex();
    FKeys.emplace(key, row);
}

void TZQS_BaseStorage::Clear() {
    FRowIndex = 0;
    FCurrentTime = 0;
    FKeys.clear();
}

void TZQS_BaseStorage::CheckItem(const TZQS_ScObject&) const {}

// ---------------------------------------------------------------------------------------
// TZQS_KeyedStorage

void TZQS_KeyedStorage::ResetIndex() {
    FIndex.assign(IndexKeyCount(), TTimeIndex{});
    FHints.assign(IndexKeyCount(), 0);
}

void TZQS_KeyedStorage::InitFields() {
    TZQS_BaseStorage::InitFields();
    ResetIndex();
}

void TZQS_KeyedStorage::Clear() {
    TZQS_BaseStorage::Clear();
    ResetIndex();
}

std::int32_t TZQS_KeyedStorage::AddIndex() {
    TZQS_ScObjectPtr holder;
    const TZQS_ScObject& item = CheckedItem(holder);
    CheckItem(item);
    if (FIndex.size() != IndexKeyCount()) ResetIndex();
    TimeIndexInsert(FIndex[ItemKey(item)], GetCurrentTime(), GetRowIndex());
    return GetRowIndex();
}

std::int32_t TZQS_KeyedStorage::NearestOf(std::size_t Key, std::int64_t t) {
    if (Key >= FIndex.size()) return -1;
    return zqt_basestorage::FindNearest(FIndex[Key], t, FHints[Key]);
}

const TTimeIndex& TZQS_KeyedStorage::IndexOf(std::size_t Key) const {
    return Key < FIndex.size() ? FIndex[Key] : EmptyIndex();
}

// ---------------------------------------------------------------------------------------
// TZQS_SvStorage

void TZQS_SvStorage::CheckItem(const TZQS_ScObject& Item) const {
    const auto* sv = dynamic_cast<const zqt_objects_intrf::IZQS_SvObject*>(&Item);
    if (!sv) throw Exception(Format("%s: the item has no satellite key", ClassName()));
    if (sv->GetSvprn() >= IndexCount)
        throw Exception(Format("Bad svprn: %d/%d", sv->GetSvprn(), IndexCount - 1));
}

std::size_t TZQS_SvStorage::ItemKey(const TZQS_ScObject& Item) const {
    return dynamic_cast<const zqt_objects_intrf::IZQS_SvObject&>(Item).GetSvprn();
}

// ---------------------------------------------------------------------------------------
// TZQS_ScStorage

void TZQS_ScStorage::CheckItem(const TZQS_ScObject& Item) const {
    if (Item.GetSatCode() >= IndexCount)
        throw Exception(Format("Bat SatCode: %d/%d/%d", Item.GetSatCode(), 7, IndexCount - 1));
}

std::size_t TZQS_ScStorage::ItemKey(const TZQS_ScObject& Item) const { return Item.GetSatCode(); }

}  // namespace zqt_basestorage
