// Plain GNSS geometry and statistics routines shared across the program: WGS-84
// conversions between Earth-centred coordinates and latitude, longitude and height
// (degrees and metres), the rotation between Earth-centred axes and the local east,
// north, up frame, the broadcast (Klobuchar) ionosphere delay, and the observation
// statistics of a recordset that the RINEX writers use to choose observation types.
// None of them keeps state.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "SQLiteExt.h"
#include "zqt_basestorage.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_types.h"

namespace zqt_geo {

using zqt_basestorage::RGeo;
using zqt_basestorage::RVec3;
using zqt_obs_intrf::RSatObsRecord;
using zqt_sat_obs_types::TSatSet;

// ---------------------------------------------------------------------------------------
// WGS-84 coordinates (the conversions of zqt_basestorage)

// Earth-centred X, Y, Z (m) to latitude, longitude (degrees) and height (m). NaN in gives
// NaN out; on the polar axis longitude 0 and latitude +-90 (0 at the centre).
void XYZToBLH(double X, double Y, double Z, double& Lat, double& Lon, double& Height);
// The same on 3-Double records: BLH.X latitude, BLH.Y longitude, BLH.Z height.
void XYZToBLHVec(RVec3& BLH, const RVec3& XYZ);
void XYZToBLHVec(RGeo& BLH, const RVec3& XYZ);
// The same without the height.
void XYZToLatLon(double X, double Y, double Z, double& Lat, double& Lon);
// Latitude, longitude (degrees) and height (m) to X, Y, Z (m); components below 1e-7 m
// in magnitude become 0. NaN in gives NaN out.
void BLHToXYZ(double Lat, double Lon, double Height, double& X, double& Y, double& Z);

// ---------------------------------------------------------------------------------------
// Local frame

// Row-major 3 x 3 matrix: M[row][column].
using TMatrix3 = std::array<std::array<double, 3>, 3>;

// The matrix that turns an east, north, up vector at (Lat, Lon) (degrees) into an
// Earth-centred vector: the inverse of the rotation whose rows are east
// (-sin lon, cos lon, 0), north (-sin lat cos lon, -sin lat sin lon, cos lat) and up
// (cos lat cos lon, cos lat sin lon, sin lat). A singular rotation (not a number) is
// left uninverted.
void LocalToEcefMatrix(double Lat, double Lon, TMatrix3& M);
// (X, Y, Z) := M (A, B, C).
void ApplyMatrix(const TMatrix3& M, double A, double B, double C, double& X, double& Y, double& Z);
void ApplyMatrixVec(RVec3& R, const TMatrix3& M, const RVec3& V);
// An Earth-centred difference vector (dX, dY, dZ) turned into east, north, up at
// (Lat, Lon) (degrees).
void GeoFromDegrees(double Lat, double Lon, double dX, double dY, double dZ, double& East,
                    double& North, double& Up);

// ---------------------------------------------------------------------------------------
// Satellite records

// Zero bytes throughout, then the reference rate (the value after the base pseudorange)
// NaN: the state of an unused record.
void ClearSatRecord(RSatObsRecord& Rec);

// ---------------------------------------------------------------------------------------
// Signal paths

// Relativistic path delay (m) of a signal between two Earth-centred positions (m).
double ShapiroDelay(const RVec3& P1, const RVec3& P2) noexcept;
// Path length through the ionosphere (a shell from 50 km to 750 km above a sphere of
// 6378 km) at an elevation in degrees, relative to the path at the zenith: 1.0 at 90
// degrees, about 3.4036 at the horizon.
double IonoSlantFactor(double ElevationDeg) noexcept;

// ---------------------------------------------------------------------------------------
// Broadcast ionosphere delay

// The Klobuchar model with the four amplitude (Alpha) and four period (Beta) coefficients
// of a broadcast set, at Time (GPS ticks) for a receiver at Position (Earth-centred, m)
// and a satellite at Elevation and Azimuth (radians). Metres of delay on the first GPS
// frequency; never below the night value. A NaN azimuth gives 0.0, and so does any input
// that leaves the model undefined (a position or elevation that is not a number, an
// elevation so far below the horizon that the pierce point is not finite).
double IonoDelay(std::span<const float, 4> Alpha, std::span<const float, 4> Beta, std::int64_t Time,
                 const RVec3& Position, double Elevation, double Azimuth);

// ---------------------------------------------------------------------------------------
// Observation statistics

inline constexpr int StatSystems = 7;     // systems 1..7
inline constexpr int StatBands = 6;       // bands 1..6
inline constexpr int StatKinds = 4;       // 1 code, 2 phase, 3 Doppler, 4 strength
inline constexpr int StatTypes = 24;      // observation types 1..24
inline constexpr int StatEntries = 1792;  // (system - 1) x 256 + (number - 1)

// Observation-type bits 1..24 of the 32-bit type set.
inline constexpr std::uint32_t StatTypeBits = 0x01FFFFFEu;
// Code, phase and Doppler types (1..18).
inline constexpr std::uint32_t StatMeasurementBits = 0x0007FFFEu;

// The statistics of one satellite.
struct RObsStatEntry {
    std::uint32_t Records;
    std::array<std::uint32_t, StatTypes> TypeRecords;  // [t - 1]: records with type t
    std::uint32_t ObsTypes;                            // bit t = type t present
    std::uint32_t Bands;                               // bit b = band b present
};

// Observation statistics of a recordset. A plain record: all zero bytes is the empty
// statistics; it travels as bytes through the SQL aggregate ObsCount. Large (about
// 190 KB): keep it on the heap.
struct RObsStatistics {
    std::uint32_t TotalRecords;
    std::uint32_t RecordsAdded;
    std::uint8_t SystemMask;                                // bit n = system code n
    std::array<std::uint32_t, StatSystems> SystemRecords;   // [s - 1]
    std::array<std::uint32_t, StatSystems> SystemObsTypes;  // [s - 1], bit t = type t
    // [s - 1][b - 1][k - 1]: records of system s with kind k on band b.
    std::array<std::array<std::array<std::uint32_t, StatKinds>, StatBands>, StatSystems> Counters;
    TSatSet Observed;
    TSatSet Unhealthy;      // broadcast health other than 0
    TSatSet WithEphemeris;  // a broadcast ephemeris near the window
    std::array<RObsStatEntry, StatEntries> Entries;
};

// Entry index of a satellite key; -1 for a key without a system 1..7 or a number 1..254.
int ObsStatIndex(std::uint16_t Svprn) noexcept;
// Every count 0 and every set empty.
void ObsStatClear(RObsStatistics& S) noexcept;

// Copies the entry of the satellite (a zero entry for a key that is no satellite).
void CopyPositionRecord(const RObsStatistics& S, RObsStatEntry& Entry, std::uint16_t Svprn);
// Adds one satellite record with the observation-type set ObsTypes (bits 1..24; other
// bits are ignored). Keys that are no satellite are not counted.
void ObsStatAdd(RObsStatistics& S, std::uint16_t Svprn, std::uint32_t ObsTypes);
// Total records, system mask and the per-system records and type sets recomputed from
// the entries of the observed satellites.
void ObsStatRecount(RObsStatistics& S);
// Removes the satellites of Sats (the per-system membership words; the set's own system
// mask is not consulted) from the systems of the statistics, then recounts.
void ObsStatRemoveSatellites(RObsStatistics& S, const TSatSet& Sats);
// Keeps the systems of Mask (bit n = system n) and removes every other one.
void ObsStatKeepSystems(RObsStatistics& S, std::uint32_t Mask);
// Removes, per system 1..7 (Masks[s - 1], bit t = type t), the observation types that are
// not wanted; a satellite left without code, phase or Doppler leaves the statistics.
// Then recounts.
void ObsStatKeepSignals(RObsStatistics& S, const std::array<std::uint32_t, StatSystems>& Masks);

// Installs ObsStatAdd as the body of the SQL aggregate ObsCount(svprn, ObsTypes).
void InstallObsCount();
// The statistics of recordset RecordsetID of a project database: the counts of the
// satellite observations of its data set within its time window (all zero for a
// recordset without epochs, or an unknown one), then the satellites with a broadcast
// ephemeris within two hours of the window and those of them whose health is not 0.
// The SQL aggregate ObsCount must be installed (InstallObsCount).
void QueryObsCountsAndHealth(RObsStatistics& S, SQLiteExt::IESQLiteDatabase& Db,
                             std::int32_t RecordsetID);

// ---------------------------------------------------------------------------------------
// Site links of an object

struct TRDBObjInfo {
    std::int32_t SiteID = 0;
    std::int32_t SnapID = 0;
    std::int32_t SnapedObjType = 0;
};

// Runs the select with Params (reset first) and reads "SiteID", "SnapID" and
// "SnapedObjType" of its first row (a missing column or NULL reads as 0). False, with
// Info cleared, when no row comes.
bool ReadObjInfoRecord(TRDBObjInfo& Info, SQLiteExt::IESQLiteSelectStatement& Select,
                       const zqt_variant::TVariantArray& Params);

}  // namespace zqt_geo
