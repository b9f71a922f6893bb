// The values of a position and of its companions: Earth-centred X, Y, Z with latitude,
// longitude and height, variances and covariances and a point type; clock and quality
// figures (rms, dilutions of precision, satellites used); an Earth-centred velocity with
// its standard deviation. Each value class carries a "modified" flag that every setter
// sets: the table binding (zqt_coordinates_dbs) writes a row only while it is set.
#pragma once

#include <cstdint>

#include "zqt_basestorage.h"
#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"

namespace zqt_coordinates_bs {

using zqt_basestorage::RGeo;
using zqt_basestorage::RVec3;
using zqt_obs_intrf::IZQS_CoordinatesExtPtr;
using zqt_obs_intrf::IZQS_VelocityPtr;
using zqt_obs_intrf::TCovariance;

// ---------------------------------------------------------------------------------------
// TZQS_Crds: a persistent value with a "modified" flag.

class TZQS_Crds : public zqt_classes_dbs::TZQS_Object {
public:
    bool IsModified() const { return FModified; }

protected:
    bool FModified = false;
};

// ---------------------------------------------------------------------------------------
// TZQS_Coordinates_bs

class TZQS_Coordinates_bs : public TZQS_Crds {
public:
    RVec3 XYZ() const { return RVec3{FX, FY, FZ}; }
    RGeo BLH() const { return RGeo{FLat, FLon, FAlt}; }
    double X() const { return FX; }
    double Y() const { return FY; }
    double Z() const { return FZ; }
    double Lat() const { return FLat; }
    double Lon() const { return FLon; }
    double Alt() const { return FAlt; }
    double SX() const { return FSX; }
    double SY() const { return FSY; }
    double SZ() const { return FSZ; }
    std::uint32_t PointType() const { return FPointType; }
    TCovariance Covariance() const { return {FSX, FSY, FSZ, FCXY, FCXZ, FCYZ}; }

    // Stores X, Y, Z and derives latitude, longitude (degrees) and height (m, WGS-84).
    void StoreXYZ(const RVec3& Value);
    // Latitude, longitude and height only.
    void StoreBLH(const RGeo& Value);
    void StoreCovariance(const TCovariance& Value);
    void StorePointType(std::uint32_t Value);

protected:
    // Zero position, variances, geodetic values and point type (the companions stay).
    void ClearValues();

    IZQS_CoordinatesExtPtr FExt;
    IZQS_VelocityPtr FVelocity;
    double FX = 0.0, FY = 0.0, FZ = 0.0;
    double FSX = 0.0, FSY = 0.0, FSZ = 0.0, FCXY = 0.0, FCXZ = 0.0, FCYZ = 0.0;
    double FLat = 0.0, FLon = 0.0, FAlt = 0.0;
    std::uint32_t FPointType = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_CoordinatesExt_bs: clock and quality figures.

class TZQS_CoordinatesExt_bs : public TZQS_Crds {
public:
    void ClearValues();

protected:
    double FRMS = 0.0;
    double FPDOP = 0.0;
    double FGDOP = 0.0;
    double FHDOP = 0.0;
    double FTDOP = 0.0;
    std::uint32_t FSatsUsed = 0;
    double FClock = 0.0;
};

// ---------------------------------------------------------------------------------------
// TZQS_Velocity_bs: Earth-centred velocity (m/s) and its standard deviation.

class TZQS_Velocity_bs : public TZQS_Crds {
public:
    void ClearValues();

protected:
    double FX = 0.0;
    double FY = 0.0;
    double FZ = 0.0;
    double FS = 0.0;
};

}  // namespace zqt_coordinates_bs
