// Positions bound to their tables: a position of a parent object (a file receiver's
// reference position, a solution's position at an epoch, a site) is one row of table
// Coordinates, keyed by CrdID (the row id, which becomes the object's ObjID when the row
// is inserted) and carrying the parent's ObjType and ObjID; its clock and quality figures
// are a row of CoordinatesExt and its velocity a row of Velocity, both keyed by that
// CrdID. The companions are created on first use with the position as parent.
//
// A position is written only when it was modified; after the write its values are
// cleared, so one object serves one row per epoch.
#pragma once

#include <cstdint>
#include <memory>

#include "SQLiteExt.h"
#include "zqt_coordinates_bs.h"
#include "zqt_obs_intrf.h"

namespace zqt_coordinates_dbs {

using SQLiteExt::IESQLiteDatabase;
using zqt_basestorage::RGeo;
using zqt_basestorage::RVec3;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_Coordinates;
using zqt_obs_intrf::IZQS_CoordinatesExt;
using zqt_obs_intrf::IZQS_CoordinatesExtPtr;
using zqt_obs_intrf::IZQS_Velocity;
using zqt_obs_intrf::IZQS_VelocityPtr;
using zqt_obs_intrf::TCovariance;

// ---------------------------------------------------------------------------------------
// TZQS_Coordinates

class TZQS_Coordinates : public zqt_coordinates_bs::TZQS_Coordinates_bs,
                         public virtual IZQS_Coordinates {
public:
    // A position of Parent, on the parent's database.
    static std::shared_ptr<TZQS_Coordinates> Create(const IZQS_ObjectPtr& Parent);

    // Table "Coordinates" and its 16 write fields; the ObjID is the inserted row's id.
    void InitFields() override;
    // Loads the parent's row (ObjType and ObjID of the parent); nothing without a parent
    // or for an epoch parent. True when a row came.
    bool Next() override;
    // Only when modified: latitude, longitude and height from X, Y, Z; variances from the
    // extension's rms and PDOP when SX is 0; the row; the extension's and the velocity's
    // rows; then the values are cleared. A position that is not a finite number raises
    // (nothing is written); variances that are not finite numbers are written as 0.
    void ExecuteWrite() override;

    // ---- IZQS_Coordinates -----------------------------------------------------------------
    RVec3 GetXYZ() const override { return XYZ(); }
    RGeo GetBLH() const override { return BLH(); }
    double GetX() const override { return FX; }
    double GetY() const override { return FY; }
    double GetZ() const override { return FZ; }
    double GetLat() const override { return FLat; }
    double GetLon() const override { return FLon; }
    double GetAlt() const override { return FAlt; }
    double GetSX() const override { return FSX; }
    double GetSY() const override { return FSY; }
    double GetSZ() const override { return FSZ; }
    std::uint8_t GetPointType() const override { return static_cast<std::uint8_t>(FPointType); }
    std::uint32_t GetPointType32() const override { return FPointType; }
    IZQS_CoordinatesExtPtr GetExt() override;
    IZQS_VelocityPtr GetVelocity() override;
    bool IsModified() const override { return FModified; }
    // When modified: the values and those of the companions are cleared; not modified.
    void Clear() override;
    TCovariance GetCovariance() const override { return Covariance(); }
    void SetCovariance(const TCovariance& Value) override { StoreCovariance(Value); }
    void SetXYZ(const RVec3& Value) override { StoreXYZ(Value); }
    void SetBLH(const RGeo& Value) override { StoreBLH(Value); }
    void SetPointType(std::uint8_t Value) override { StorePointType(Value); }
    void SetPointType32(std::uint32_t Value) override { StorePointType(Value); }
    std::int32_t GetLinkedObjID() const override { return FLinkedObjID; }
    std::int64_t GetSubObjID() const override { return FSubObjID; }
    std::int32_t GetWriteCount() const override { return FWriteCount; }
    double GetSigma3D() const override;
    void SetLinkedObjID(std::int32_t Value) override;
    void SetSubObjID(std::int64_t Value) override;

    // ObjType of the owner as read from the row (the parent's when there is a parent).
    std::uint8_t GetLinkedObjType() const { return FLinkedObjType; }
    void SetLinkedObjType(std::uint8_t Value) { FLinkedObjType = Value; }

    // ---- class functions on a database ----------------------------------------------------
    // X, Y, Z of the owner's row; zeros (and False) without one.
    static bool GetXYZ(IESQLiteDatabase& Db, double& X, double& Y, double& Z, std::int32_t ObjID,
                       std::uint8_t ObjType);
    // The rows of source object SourceID copied to object DestID (with DestID's ObjType
    // from ObjInfo), replacing DestID's row where it has one.
    static void CopyFrom(IESQLiteDatabase& Db, std::int32_t DestID, std::int32_t SourceID);
    // Save with every variance and covariance 0.
    static std::int32_t SaveXYZ(IESQLiteDatabase& Db, std::int32_t ObjID, std::uint8_t ObjType,
                                double X, double Y, double Z);
    // Writes the SubObjID-0 row of ObjID (replacing an existing one, whose CrdID is kept)
    // with latitude, longitude and height computed from X, Y, Z; returns the CrdID.
    // Coordinates are stored with 17 decimals, variances with 7 significant digits.
    // Values that are not finite numbers raise zqt_types_bs::ExceptionZQS.
    static std::int32_t Save(IESQLiteDatabase& Db, std::int32_t ObjID, std::uint8_t ObjType,
                             double X, double Y, double Z, double SX, double SY, double SZ,
                             double CXY, double CXZ, double CYZ);

protected:
    // Not registered in ObjInfo: a CrdID is no object identifier.
    void InsertObjInfo() override {}
    void UpdateObjInfo() override {}

    std::int32_t FLinkedObjID = 0;
    std::uint8_t FLinkedObjType = 0;
    std::int64_t FSubObjID = 0;
    std::int32_t FWriteCount = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_CoordinatesExt

class TZQS_CoordinatesExt : public zqt_coordinates_bs::TZQS_CoordinatesExt_bs,
                            public virtual IZQS_CoordinatesExt {
public:
    static std::shared_ptr<TZQS_CoordinatesExt> Create(const IZQS_ObjectPtr& Parent);

    // Table "CoordinatesExt": CrdID, clock, rms, pdop, gdop, hdop, tdop, SatsUsed.
    void InitFields() override;
    // Only when modified: the row keyed by the parent's ObjID; a figure that is not a
    // finite number is written as 0.0. The flag is cleared.
    void ExecuteWrite() override;

    double GetClock() const override { return FClock; }
    double GetGDOP() const override { return FGDOP; }
    double GetHDOP() const override { return FHDOP; }
    double GetPDOP() const override { return FPDOP; }
    double GetRMS() const override { return FRMS; }
    std::uint32_t GetSatsUsed() const override { return FSatsUsed; }
    double GetTDOP() const override { return FTDOP; }
    void SetGDOP(double Value) override { Store(FGDOP, Value); }
    void SetHDOP(double Value) override { Store(FHDOP, Value); }
    void SetPDOP(double Value) override { Store(FPDOP, Value); }
    void SetRMS(double Value) override { Store(FRMS, Value); }
    void SetSatsUsed(std::uint32_t Value) override;
    void SetTDOP(double Value) override { Store(FTDOP, Value); }
    void SetClock(double Value) override { Store(FClock, Value); }
    void Clear() override;

protected:
    void InsertObjInfo() override {}
    void UpdateObjInfo() override {}

private:
    void Store(double& Field, double Value) {
        Field = Value;
        FModified = true;
    }
};

// ---------------------------------------------------------------------------------------
// TZQS_Velocity

class TZQS_Velocity : public zqt_coordinates_bs::TZQS_Velocity_bs, public virtual IZQS_Velocity {
public:
    static std::shared_ptr<TZQS_Velocity> Create(const IZQS_ObjectPtr& Parent);

    // Table "Velocity": CrdID, X, Y, Z, S, E, N, U.
    void InitFields() override;
    // Only when modified: the row keyed by the parent's ObjID, with the velocity turned
    // into east, north and up at the parent position's latitude and longitude; a standard
    // deviation that is not a number is written as 0.0. A velocity that is not a finite
    // number is not written (an unknown velocity has no row). The flag is cleared.
    void ExecuteWrite() override;

    RVec3 GetXYZ() const override { return RVec3{FX, FY, FZ}; }
    double GetX() const override { return FX; }
    double GetY() const override { return FY; }
    double GetZ() const override { return FZ; }
    double GetS() const override { return FS; }
    void SetXYZ(const RVec3& Value) override;
    void SetX(double Value) override { Store(FX, Value); }
    void SetY(double Value) override { Store(FY, Value); }
    void SetZ(double Value) override { Store(FZ, Value); }
    void SetS(double Value) override { Store(FS, Value); }
    void Clear() override;

protected:
    void InsertObjInfo() override {}
    void UpdateObjInfo() override {}

private:
    void Store(double& Field, double Value) {
        Field = Value;
        FModified = true;
    }
};

}  // namespace zqt_coordinates_dbs
