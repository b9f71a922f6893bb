// Base records of positions and directions: the 3-vector RVec3 with its routines, the
// azimuth/elevation of a satellite seen from a station, the attitude angles of an epoch,
// and the WGS-84 conversion between Earth-centred coordinates and latitude, longitude
// and height.
#pragma once

#include <span>
#include <string>

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
    double Angle = 0.0;   // radians, 0 to 2 pi
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

// ---------------------------------------------------------------------------------------
// The time-keyed record storages join this unit.

}  // namespace zqt_basestorage
