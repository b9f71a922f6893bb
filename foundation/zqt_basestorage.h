// Base records of positions and directions: the 3-vector RVec3 with its routines, the
// azimuth/elevation of a satellite seen from a station, the attitude angles of an epoch,
// and the WGS-84 conversion between Earth-centred coordinates and latitude, longitude
// and height; and the time-keyed storages that cache the rows of a table over a time
// window, indexed by key and by time per satellite or per satellite system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "zqt_classes_dbs.h"
#include "zqt_objects_intrf.h"
#include "zqt_variant.h"

namespace zqt_basestorage {

// ---------------------------------------------------------------------------------------
// 3-vectors

// X, Y, Z in metres, Earth-centred or local.
struct RVec3 {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

// Azimuth 0 to 2 pi and elevation, radians.
struct RAzEl {
    double Azimuth = 0.0;
    double Elevation = 0.0;
};

// Geodetic triple: latitude and longitude in degrees, height in metres.
struct RGeo {
    double Lat = 0.0;
    double Lon = 0.0;
    double Height = 0.0;
};

// Orientation of an antenna derived from the attitude values of an epoch.
struct ROrientation {
    double Angle = 0.0;  // radians, 0 to 2 pi
    double Factor = 0.0;
};

void Vec3Zero(RVec3& V);
void Vec3Set(RVec3& V, double X, double Y, double Z);
// Exact comparison of the three components.
bool Vec3Equal(const RVec3& A, const RVec3& B);
bool Vec3NotEqual(const RVec3& A, const RVec3& B);
// All three components exactly 0.0.
bool Vec3IsZero(const RVec3& V);
double Vec3Dot(const RVec3& A, const RVec3& B);
// R := A - B.
void Vec3Sub(RVec3& R, const RVec3& A, const RVec3& B);
// R := V / |V|; the zero vector when |V| is 0.
void Vec3Normalize(RVec3& R, const RVec3& V);
// Rotations about the X and Z axes by the angle a (radians). R may be V.
void Vec3RotateX(const RVec3& V, RVec3& R, double a);
void Vec3RotateZ(const RVec3& V, RVec3& R, double a);
// V turned into the local east, north, up frame at the station (Earth-centred, WGS-84).
// R may be V.
void Vec3ToLocal(const RVec3& V, RVec3& R, const RVec3& Station);
// "%18.3f %18.3f %18.3f" with "." as decimal separator.
std::string Vec3ToStr(const RVec3& V);

// "%.9f %.9f %.3f": latitude, longitude, height.
std::string GeoToStr(const RGeo& G);
void GeoClear(RGeo& G);
bool GeoIsZero(const RGeo& G);

// Azimuth and elevation of the satellite seen from the station (both Earth-centred).
// False when the elevation is not a number (a station or satellite with NaN components).
bool AzimuthElevation(const RVec3& Station, const RVec3& Satellite, RAzEl& AzEl);

// Orientation angle and factor from the attitude values (their third to sixth values are
// used). Both 0 when the attitude is missing (NaN or zero values, fewer than six values).
void OrientationAngles(std::span<const float> Attitude, ROrientation& Angles);

// ---------------------------------------------------------------------------------------
// WGS-84 coordinates

// Earth-centred X, Y, Z (m) to latitude, longitude (degrees) and height (m) on WGS-84
// (Bowring; exact to 1e-12 rad and 0.1 mm from below the surface to satellite heights).
// NaN in gives NaN out; points on the polar axis give longitude 0 and latitude +-90
// (0 at the centre).
void XYZToBLH(double X, double Y, double Z, double& Lat, double& Lon, double& Height);
void XYZToBLHVec(RGeo& G, const RVec3& V);
// The same without the height.
void XYZToLatLon(double X, double Y, double Z, double& Lat, double& Lon);
// Latitude, longitude (degrees) and height (m) to Earth-centred X, Y, Z (m); components
// below 1e-7 m become 0. NaN in gives NaN out.
void BLHToXYZ(double Lat, double Lon, double Height, double& X, double& Y, double& Z);

}  // namespace zqt_basestorage

// =======================================================================================
// Time-keyed storages
//
// A storage caches the rows of one table over a time window: it loads every row whose
// GPS time lies in the window widened by four hours on each side, keeps the first row of
// each key, and answers which row is nearest in time for a satellite (or a satellite
// system). The rows themselves live in the descendant's own record array; a storage keeps
// only keys, times and row indexes. The item, an object of the descendant's record type,
// is the cursor through which rows are read from the table and handed in.

namespace zqt_objects_intrf {

// What every storage offers over the object interface.
class IZQS_BaseStorage : public virtual IZQS_Object {
public:
    // Appends the item's record to the storage and indexes it; returns its row index.
    virtual std::int32_t Add() = 0;
    // Adds the item's current record when its key is new (the first row of a key wins;
    // key 0 is never added).
    virtual void IndexRow() = 0;
    // Forgets every row.
    virtual void Clear() = 0;
};

using IZQS_BaseStoragePtr = std::shared_ptr<IZQS_BaseStorage>;

}  // namespace zqt_objects_intrf

namespace zqt_basestorage {

// One entry of a time index: the time of a row and its row index (-1 for a sentinel).
struct RTimeIndexEntry {
    std::int64_t Time = 0;
    std::int32_t Row = -1;
};

// Entries in ascending time, framed by the low sentinel {0, -1} and the high sentinel
// {INT64_MAX, -1} as soon as it holds a row. The sentinels stand for minus and plus
// infinity: a row time outside [0, INT64_MAX) still sorts between them.
using TTimeIndex = std::vector<RTimeIndexEntry>;

// Index of the last entry whose time is <= t (entries of equal time: the last of them).
// A must hold its two sentinels.
std::size_t BinarySearch(const TTimeIndex& A, std::int64_t t) noexcept;
// Inserts {t, Row} after every entry whose time is <= t; an empty index gets its sentinels.
void TimeIndexInsert(TTimeIndex& A, std::int64_t t, std::int32_t Row);
// The row nearest in time to t (a tie goes to the later entry), or -1 for an empty index.
// Hint is the search position of the previous query: a query at or just after it costs
// one comparison; it is updated to the entry at or before t.
std::int32_t FindNearest(const TTimeIndex& A, std::int64_t t, std::size_t& Hint) noexcept;

// The window query of a storage: table name, window begin and end (ticks).
inline constexpr const char* StorageSQLTemplate =
    "SELECT * FROM %s WHERE GPSTime BETWEEN %d AND %d ORDER BY GPSTime";
// The widening of the window on each side: four hours in ticks.
inline constexpr std::int64_t StorageWindowMargin = 144'000'000;

class TZQS_BaseStorage : public zqt_classes_dbs::TZQS_Object,
                         public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    using TZQS_ScObjectPtr = std::shared_ptr<zqt_classes_dbs::TZQS_ScObject>;

    void InitFields() override;
    // The inherited set-up, then the window query template.
    void InitChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                   zqt_classes_dbs::IESQLiteDatabasePtr Db) override;

    // The window query on the item's table: GPSTime between BegTime - 4 h and
    // EndTime + 4 h (the storage's own times).
    void OpenTable() override;
    // Forwarded to the item, whose cursor the rows are read from.
    void OpenSQL(const std::string& SQL, const zqt_variant::TVariantArray& Values) override;
    // Loads the whole window: Clear, OpenTable, IndexRow for every row of the item's
    // cursor, then the item's cursor is closed (also when a row fails). True.
    bool Next() override;

    // IZQS_BaseStorage
    std::int32_t Add() override { return AddIndex(); }
    void IndexRow() override;
    void Clear() override;

    // The item whose table and cursor the storage uses (an object of the descendant's
    // record type). Never empty in a working storage.
    virtual TZQS_ScObjectPtr GetItem() = 0;

    const std::string& GetSQLTemplate() const { return FSQLTemplate; }
    void SetSQLTemplate(std::string Value) { FSQLTemplate = std::move(Value); }
    // Number of keys held (rows added).
    std::size_t KeyCount() const { return FKeys.size(); }
    // True when a row of that key was added.
    bool HasKey(std::int64_t Key) const { return FKeys.contains(Key); }

protected:
    // Descendants append the item's record to their array, set the row index to its
    // position (SetRowIndex) and then call the inherited AddIndex, which indexes it by
    // time and returns the row index.
    virtual std::int32_t AddIndex() = 0;
    // Raises when the item's record cannot be indexed (its satellite or system is out of
    // range). IndexRow calls it before AddIndex, so that a refused row leaves nothing
    // behind in the descendant's array either.
    virtual void CheckItem(const zqt_classes_dbs::TZQS_ScObject& Item) const;

    std::int32_t GetRowIndex() const { return FRowIndex; }
    void SetRowIndex(std::int32_t Value) { FRowIndex = Value; }
    std::int64_t GetCurrentTime() const { return FCurrentTime; }
    void SetCurrentTime(std::int64_t Value) { FCurrentTime = Value; }
    // The item, or a raise when the descendant gives none.
    zqt_classes_dbs::TZQS_ScObject& CheckedItem(TZQS_ScObjectPtr& Holder);

private:
    std::unordered_map<std::int64_t, std::int32_t> FKeys;
    std::string FSQLTemplate = StorageSQLTemplate;
    std::int32_t FRowIndex = 0;
    std::int64_t FCurrentTime = 0;
};

// A storage with one time index per key of its items (satellite key or system code).
class TZQS_KeyedStorage : public TZQS_BaseStorage {
public:
    void InitFields() override;
    void Clear() override;

protected:
    // Number of keys: items have keys 0 to IndexKeyCount() - 1.
    virtual std::size_t IndexKeyCount() const = 0;
    // The key of an item that CheckItem accepted.
    virtual std::size_t ItemKey(const zqt_classes_dbs::TZQS_ScObject& Item) const = 0;
    // Indexes {current time, row index} under the item's key.
    std::int32_t AddIndex() override;
    // Row index of the key's row nearest in time to t; -1 when the key has none.
    std::int32_t NearestOf(std::size_t Key, std::int64_t t);
    // The time index of a key (empty beyond the range).
    const TTimeIndex& IndexOf(std::size_t Key) const;

private:
    void ResetIndex();

    std::vector<TTimeIndex> FIndex;
    std::vector<std::size_t> FHints;
};

// One time index per satellite key (svprn 0 to 2048).
class TZQS_SvStorage : public TZQS_KeyedStorage {
public:
    static constexpr std::size_t IndexCount = 2049;

    // Row index of svprn's row nearest in time to t; -1 when the satellite has none.
    std::int32_t FindNearest(std::uint16_t Svprn, std::int64_t t) { return NearestOf(Svprn, t); }
    // The time index of a satellite (empty beyond the range).
    const TTimeIndex& TimeIndex(std::uint16_t Svprn) const { return IndexOf(Svprn); }

protected:
    std::size_t IndexKeyCount() const override { return IndexCount; }
    std::size_t ItemKey(const zqt_classes_dbs::TZQS_ScObject& Item) const override;
    // Raises "Bad svprn: %d/%d" for an item without a satellite key or one of 2049 or more.
    void CheckItem(const zqt_classes_dbs::TZQS_ScObject& Item) const override;
};

// One time index per satellite-system code (SatCode 0 to 10).
class TZQS_ScStorage : public TZQS_KeyedStorage {
public:
    static constexpr std::size_t IndexCount = 11;

    // Row index of the system's row nearest in time to t; -1 when the system has none.
    std::int32_t FindNearest(std::uint8_t SatCode, std::int64_t t) { return NearestOf(SatCode, t); }
    const TTimeIndex& TimeIndex(std::uint8_t SatCode) const { return IndexOf(SatCode); }

protected:
    std::size_t IndexKeyCount() const override { return IndexCount; }
    std::size_t ItemKey(const zqt_classes_dbs::TZQS_ScObject& Item) const override;
    // Raises "Bat SatCode: %d/%d/%d" (SatCode, 7, 10) for a SatCode above 10.
    void CheckItem(const zqt_classes_dbs::TZQS_ScObject& Item) const override;
};

}  // namespace zqt_basestorage
