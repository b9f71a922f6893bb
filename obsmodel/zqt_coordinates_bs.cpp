#include "zqt_coordinates_bs.h"

#include "zqt_geo.h"

namespace zqt_coordinates_bs {

void TZQS_Coordinates_bs::StoreXYZ(const RVec3& Value) {
    FX = Value.X;
    FY = Value.Y;
    FZ = Value.Z;
    zqt_geo::XYZToBLH(FX, FY, FZ, FLat, FLon, FAlt);
    FModified = true;
}

void TZQS_Coordinates_bs::StoreBLH(const RGeo& Value) {
    FLat = Value.Lat;
    FLon = Value.Lon;
    FAlt = Value.Height;
    FModified = true;
}

void TZQS_Coordinates_bs::StoreCovariance(const TCovariance& Value) {
    FSX = Value[0];
    FSY = Value[1];
    FSZ = Value[2];
    FCXY = Value[3];
    FCXZ = Value[4];
    FCYZ = Value[5];
    FModified = true;
}

void TZQS_Coordinates_bs::StorePointType(std::uint32_t Value) {
    FPointType = Value;
    FModified = true;
}

void TZQS_Coordinates_bs::ClearValues() {
    FX = FY = FZ = 0.0;
    FSX = FSY = FSZ = FCXY = FCXZ = FCYZ = 0.0;
    FLat = FLon = FAlt = 0.0;
    FPointType = 0;
}

void TZQS_CoordinatesExt_bs::ClearValues() {
    FRMS = FPDOP = FGDOP = FHDOP = FTDOP = FClock = 0.0;
    FSatsUsed = 0;
}

void TZQS_Velocity_bs::ClearValues() { FX = FY = FZ = FS = 0.0; }

}  // namespace zqt_coordinates_bs
