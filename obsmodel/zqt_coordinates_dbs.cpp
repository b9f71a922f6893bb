#include "zqt_coordinates_dbs.h"

#include <cmath>

#include "zqt_geo.h"
#include "zqt_types_bs.h"

namespace zqt_coordinates_dbs {

using SQLiteExt::FormatPt;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt32Z;
using zqt_variant::VarToInt64Z;

namespace {

// ObjType of an epoch: its positions belong to its solutions, never to the epoch itself.
constexpr std::uint8_t EpochObjType = 10;

double FiniteOrZero(double V) { return std::isfinite(V) ? V : 0.0; }

}  // namespace

// =======================================================================================
// TZQS_Coordinates

std::shared_ptr<TZQS_Coordinates> TZQS_Coordinates::Create(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Coordinates>(Parent);
}

void TZQS_Coordinates::InitFields() {
    TZQS_Coordinates_bs::InitFields();
    FTableName = "Coordinates";
    SetFieldNames({"ObjType", "ObjID", "SubObjID", "PointType", "X", "Y", "Z", "LAT", "LON", "ALT",
                   "SX", "SY", "SZ", "CXY", "CXZ", "CYZ"});
    FObjIDFromRowID = true;
    FVisible = false;
}

bool TZQS_Coordinates::Next() {
    const IZQS_ObjectPtr parent = GetParent();
    if (!parent || parent->GetObjType() == EpochObjType) return false;
    OpenFmt("SELECT * FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d)",
            static_cast<std::int32_t>(parent->GetObjType()), parent->GetObjID());
    const bool row = TZQS_Object::Next();
    if (row) {
        const auto f = [this](const char* Name) { return GetFieldValue(Variant(Name)); };
        FObjID = VarToInt32Z(f("CrdID"));
        FLinkedObjType = static_cast<std::uint8_t>(VarToInt64Z(f("ObjType")));
        FLinkedObjID = VarToInt32Z(f("ObjID"));
        FSubObjID = VarToInt64Z(f("SubObjID"));
        FPointType = static_cast<std::uint32_t>(VarToInt64Z(f("PointType")));
        FX = VarToFloatZ(f("X"));
        FY = VarToFloatZ(f("Y"));
        FZ = VarToFloatZ(f("Z"));
        FLat = VarToFloatZ(f("LAT"));
        FLon = VarToFloatZ(f("LON"));
        FAlt = VarToFloatZ(f("ALT"));
        FSX = VarToFloatZ(f("SX"));
        FSY = VarToFloatZ(f("SY"));
        FSZ = VarToFloatZ(f("SZ"));
        FCXY = VarToFloatZ(f("CXY"));
        FCXZ = VarToFloatZ(f("CXZ"));
        FCYZ = VarToFloatZ(f("CYZ"));
    }
    CloseSelect();
    return row;
}

void TZQS_Coordinates::ExecuteWrite() {
    if (!FModified) return;
    CheckedDatabase("ExecuteWrite");
    if (!std::isfinite(FX) || !std::isfinite(FY) || !std::isfinite(FZ))
        throw ExceptionZQS(sysutils::Format(
            "TZQS_Coordinates.ExecuteWrite: position %g %g %g is not a finite number", FX, FY, FZ));
    // 1. The geodetic values always follow X, Y, Z.
    zqt_geo::XYZToBLH(FX, FY, FZ, FLat, FLon, FAlt);
    // 2. Without variances of its own the position takes them from its quality figures.
    if (FExt && FSX == 0.0) {
        const double s = FExt->GetRMS() * FExt->GetPDOP();
        FSX = FSY = FSZ = s * s / 3.0;
    }
    // 3. The row, owned by the parent (or by the linked object without a parent).
    std::int32_t ownerID = FLinkedObjID;
    std::uint8_t ownerType = FLinkedObjType;
    if (const IZQS_ObjectPtr parent = GetParent()) {
        ownerID = parent->GetObjID();
        ownerType = parent->GetObjType();
    }
    ExecuteWriteParams(TVariantArray{
        Variant(static_cast<std::int32_t>(ownerType)), Variant(ownerID), Variant(FSubObjID),
        Variant(static_cast<std::int64_t>(FPointType)), Variant(FX), Variant(FY), Variant(FZ),
        Variant(FLat), Variant(FLon), Variant(FAlt), Variant(FiniteOrZero(FSX)),
        Variant(FiniteOrZero(FSY)), Variant(FiniteOrZero(FSZ)), Variant(FiniteOrZero(FCXY)),
        Variant(FiniteOrZero(FCXZ)), Variant(FiniteOrZero(FCYZ))});
    FLinkedObjID = ownerID;
    FLinkedObjType = ownerType;
    ++FWriteCount;
    // 4. The companions are keyed by this row's CrdID (this object's ObjID now).
    if (FExt) FExt->ExecuteWrite();
    if (FVelocity) FVelocity->ExecuteWrite();
    // 5. Ready for the next row.
    FModified = false;
    ClearValues();
}

IZQS_CoordinatesExtPtr TZQS_Coordinates::GetExt() {
    if (!FExt) FExt = TZQS_CoordinatesExt::Create(Intf());
    return FExt;
}

IZQS_VelocityPtr TZQS_Coordinates::GetVelocity() {
    if (!FVelocity) FVelocity = TZQS_Velocity::Create(Intf());
    return FVelocity;
}

void TZQS_Coordinates::Clear() {
    if (FModified) {
        ClearValues();
        if (FExt) FExt->Clear();
        if (FVelocity) FVelocity->Clear();
    }
    FModified = false;
}

double TZQS_Coordinates::GetSigma3D() const { return std::sqrt(FSX + FSY + FSZ); }

void TZQS_Coordinates::SetLinkedObjID(std::int32_t Value) {
    FLinkedObjID = Value;
    FModified = true;
}

void TZQS_Coordinates::SetSubObjID(std::int64_t Value) {
    FSubObjID = Value;
    FModified = true;
}

// ---- class functions --------------------------------------------------------------------

bool TZQS_Coordinates::GetXYZ(IESQLiteDatabase& Db, double& X, double& Y, double& Z,
                              std::int32_t ObjID, std::uint8_t ObjType) {
    X = Y = Z = 0.0;
    const TVariantArray row = Db.SelectFirstRow(
        FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjID = %d) AND (ObjType = %d)", ObjID,
                 static_cast<std::int32_t>(ObjType)));
    if (row.size() < 3) return false;
    X = VarToFloatZ(row[0]);
    Y = VarToFloatZ(row[1]);
    Z = VarToFloatZ(row[2]);
    return true;
}

void TZQS_Coordinates::CopyFrom(IESQLiteDatabase& Db, std::int32_t DestID, std::int32_t SourceID) {
    Db.ExecSQL(FormatPt(
        "INSERT OR REPLACE INTO Coordinates SELECT cdest.CrdID,odest.ObjType,odest.ObjID,0,0, "
        "src.X,src.Y,src.Z,src.LAT,src.LON,src.ALT, src.SX,src.SY,src.SZ,src.CXY,src.CXZ,src.CYZ "
        "FROM Coordinates as src  INNER JOIN ObjInfo as odest ON (odest.ObjID = %0:d) and "
        "(src.ObjID = %1:d) LEFT JOIN Coordinates as cdest  ON (cdest.ObjID = %0:d) and "
        "(src.ObjID = %1:d)",
        DestID, SourceID));
}

std::int32_t TZQS_Coordinates::SaveXYZ(IESQLiteDatabase& Db, std::int32_t ObjID,
                                       std::uint8_t ObjType, double X, double Y, double Z) {
    return Save(Db, ObjID, ObjType, X, Y, Z, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0);
}

std::int32_t TZQS_Coordinates::Save(IESQLiteDatabase& Db, std::int32_t ObjID, std::uint8_t ObjType,
                                    double X, double Y, double Z, double SX, double SY, double SZ,
                                    double CXY, double CXZ, double CYZ) {
    // The values are written into the SQL text; a NaN or an infinity would make no number
    // there, so they are refused before anything is written.
    for (const double v : {X, Y, Z, SX, SY, SZ, CXY, CXZ, CYZ})
        if (!std::isfinite(v))
            throw ExceptionZQS(sysutils::Format(
                "TZQS_Coordinates.Save: the coordinates of object %d are not finite numbers",
                ObjID));
    double lat = 0.0, lon = 0.0, alt = 0.0;
    zqt_geo::XYZToBLH(X, Y, Z, lat, lon, alt);
    const std::int64_t crdID = Db.QueryInt(
        FormatPt("SELECT CrdID FROM Coordinates WHERE (ObjID = %d) AND (SubObjID=0)", ObjID));
    const std::int32_t type = ObjType;
    if (crdID != 0) {
        Db.ExecSQL(FormatPt(
            "INSERT OR REPLACE INTO Coordinates VALUES(%d,%d,%d,0,0, %.17f,%.17f,%.17f,%.17f,"
            "%.17f,%.17f, %.7e,%.7e,%.7e,%.7e,%.7e,%.7e)",
            crdID, type, ObjID, X, Y, Z, lat, lon, alt, SX, SY, SZ, CXY, CXZ, CYZ));
        return static_cast<std::int32_t>(crdID);
    }
    Db.ExecSQL(FormatPt(
        "INSERT INTO Coordinates VALUES(NULL,%d,%d,0,0, %.17f,%.17f,%.17f,%.17f,%.17f,%.17f, "
        "%.7e,%.7e,%.7e,%.7e,%.7e,%.7e)",
        type, ObjID, X, Y, Z, lat, lon, alt, SX, SY, SZ, CXY, CXZ, CYZ));
    return static_cast<std::int32_t>(Db.LastInsertRowID());
}

// =======================================================================================
// TZQS_CoordinatesExt

std::shared_ptr<TZQS_CoordinatesExt> TZQS_CoordinatesExt::Create(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_CoordinatesExt>(Parent);
}

void TZQS_CoordinatesExt::InitFields() {
    TZQS_CoordinatesExt_bs::InitFields();
    FTableName = "CoordinatesExt";
    SetFieldNames({"CrdID", "clock", "rms", "pdop", "gdop", "hdop", "tdop", "SatsUsed"});
    FVisible = false;
}

void TZQS_CoordinatesExt::ExecuteWrite() {
    if (!FModified) return;
    const IZQS_ObjectPtr parent = GetParent();
    const std::int32_t crdID = parent ? parent->GetObjID() : FObjID;
    // The columns take no NULL: a figure that is not known is stored as 0.
    ExecuteWriteParams(TVariantArray{
        Variant(crdID), Variant(FiniteOrZero(FClock)), Variant(FiniteOrZero(FRMS)),
        Variant(FiniteOrZero(FPDOP)), Variant(FiniteOrZero(FGDOP)), Variant(FiniteOrZero(FHDOP)),
        Variant(FiniteOrZero(FTDOP)), Variant(static_cast<std::int64_t>(FSatsUsed))});
    FModified = false;
}

void TZQS_CoordinatesExt::SetSatsUsed(std::uint32_t Value) {
    FSatsUsed = Value;
    FModified = true;
}

void TZQS_CoordinatesExt::Clear() {
    ClearValues();
    FModified = false;
}

// =======================================================================================
// TZQS_Velocity

std::shared_ptr<TZQS_Velocity> TZQS_Velocity::Create(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Velocity>(Parent);
}

void TZQS_Velocity::InitFields() {
    TZQS_Velocity_bs::InitFields();
    FTableName = "Velocity";
    SetFieldNames({"CrdID", "X", "Y", "Z", "S", "E", "N", "U"});
    FVisible = false;
}

void TZQS_Velocity::ExecuteWrite() {
    if (!FModified) return;
    FModified = false;
    if (!std::isfinite(FX) || !std::isfinite(FY) || !std::isfinite(FZ)) return;
    const IZQS_ObjectPtr parent = GetParent();
    double lat = 0.0, lon = 0.0;
    if (const auto crd = std::dynamic_pointer_cast<IZQS_Coordinates>(parent)) {
        lat = crd->GetLat();
        lon = crd->GetLon();
    }
    double e = 0.0, n = 0.0, u = 0.0;
    zqt_geo::GeoFromDegrees(lat, lon, FX, FY, FZ, e, n, u);
    const std::int32_t crdID = parent ? parent->GetObjID() : FObjID;
    ExecuteWriteParams(TVariantArray{Variant(crdID), Variant(FX), Variant(FY), Variant(FZ),
                                     Variant(FiniteOrZero(FS)), Variant(FiniteOrZero(e)),
                                     Variant(FiniteOrZero(n)), Variant(FiniteOrZero(u))});
}

void TZQS_Velocity::SetXYZ(const RVec3& Value) {
    FX = Value.X;
    FY = Value.Y;
    FZ = Value.Z;
    FModified = true;
}

void TZQS_Velocity::Clear() {
    ClearValues();
    FModified = false;
}

}  // namespace zqt_coordinates_dbs
