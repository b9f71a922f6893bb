// Sites: named station locations. A site is a row of table Sites (SiteID, SnapID,
// SnapedObjType) with its ObjInfo row (ObjType 23) and a Coordinates row holding its
// position. Recordsets and file receivers link to sites; a site may be snapped to a
// solution (SnapedObjType 1, SnapID the SolutionID), and then follows that solution's
// static coordinates.
//
// InstallSiteCreator makes TZQS_Site::CreateSite the site creator of zqt_obs_intrf.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SQLiteExt.h"
#include "zqt_basestorage.h"
#include "zqt_classes_dbs.h"
#include "zqt_geo.h"
#include "zqt_objects_intrf.h"

namespace zqt_site {

using SQLiteExt::IESQLiteDatabase;
using SQLiteExt::IESQLiteDatabasePtr;
using SQLiteExt::IESQLiteSelectStatementPtr;
using zqt_basestorage::RVec3;
using zqt_objects_intrf::IZQS_Object;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_objects_intrf::TZQSProgressEvent;

// Object type of a site in the registry.
inline constexpr std::uint8_t SiteObjType = 23;
// SnapedObjType values.
inline constexpr std::uint8_t SnapNone = 0;
inline constexpr std::uint8_t SnapSolution = 1;
inline constexpr std::uint8_t SnapRinex = 4;
inline constexpr std::uint8_t SnapOccupation = 8;
// LinkTyp1 of a snapped site's ObjInfo row (the solution's object type).
inline constexpr std::uint8_t SolutionLinkType = 18;

// ---------------------------------------------------------------------------------------
// IZQS_Site

class IZQS_Site : public virtual IZQS_Object {
public:
    // The site's position, read from its Coordinates row on first use and kept.
    virtual RVec3 GetPosition() = 0;
    virtual IZQS_ObjectPtr GetInstance() = 0;
    // Loads row SiteID; False (and ObjID 0) when there is none.
    virtual bool Load(std::int32_t SiteID) = 0;
    virtual std::int32_t GetSnapID() const = 0;
    virtual std::int32_t GetSnapedObjType() const = 0;
    // Snaps a site that is not snapped to a solution, in one transaction.
    virtual void SnapTo(std::int32_t SolutionID) = 0;
};
using IZQS_SitePtr = std::shared_ptr<IZQS_Site>;

// ---------------------------------------------------------------------------------------
// TZQS_Site

class TZQS_Site : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_Site {
public:
    // The object constructor: a child of Parent on Db (or on the parent's database).
    static std::shared_ptr<TZQS_Site> Create(const IZQS_ObjectPtr& Parent,
                                             IESQLiteDatabasePtr Db = nullptr);

    // Table "Sites": SiteID, SnapID, SnapedObjType; ObjType 23, visible, enabled.
    void InitFields() override;

    // ---- IZQS_Site --------------------------------------------------------------------------
    // The cache counts as empty while its X is 0.0, so such a site is read every time.
    RVec3 GetPosition() override;
    IZQS_ObjectPtr GetInstance() override { return Intf(); }
    // A loaded site starts with an empty position cache.
    bool Load(std::int32_t SiteID) override;
    std::int32_t GetSnapID() const override { return FInfo.SnapID; }
    std::int32_t GetSnapedObjType() const override { return FInfo.SnapedObjType; }
    // Nothing for a snapped site; SQL errors roll the snap back and propagate.
    void SnapTo(std::int32_t SolutionID) override;

    // ---- class functions on a database ----------------------------------------------------
    // The site whose stored X, Y and Z each lie within 1E-6 m of Position (written with
    // 7 decimals into the query); 0 when there is none, or for a position that is not a
    // finite number.
    static std::int32_t FindByXYZ(IESQLiteDatabase& Db, const RVec3& Position);
    // A new site (new ObjID): its Sites row, its ObjInfo row named Name (Mode
    // SnapedObjType, LinkObj1 SnapID) and its Coordinates row at Position, all or nothing.
    // A position that is not a finite number raises before anything is written.
    static std::int32_t CreateSite(IESQLiteDatabase& Db, const std::string& Name,
                                   std::uint8_t SnapedObjType, const RVec3& Position,
                                   std::uint32_t SnapID);
    // Snaps site SiteID to solution SolutionID: Sites and ObjInfo links, the solution's
    // Coordinates row copied from the site's, then RefreshFromSolutions.
    static void SnapSite(IESQLiteDatabase& Db, std::int32_t SiteID, std::int32_t SolutionID);
    // Moves the snapped and snappable sites to their solutions' static coordinates (each
    // site once) and brings the ObjInfo links of all sites in line with their snaps.
    static void RefreshFromSolutions(IESQLiteDatabase& Db, const TZQSProgressEvent& Progress);

    const zqt_geo::TRDBObjInfo& GetInfo() const { return FInfo; }

private:
    RVec3 FPosition;
    zqt_geo::TRDBObjInfo FInfo;
    IESQLiteSelectStatementPtr FLoadSelect;
};

// ---------------------------------------------------------------------------------------
// A unit of work on a database: a transaction of its own when none is open, else a
// savepoint inside the open one. Commit ends it; leaving the scope without Commit undoes
// what was done in it.

class TWorkScope {
public:
    explicit TWorkScope(IESQLiteDatabase& Db);
    ~TWorkScope();
    TWorkScope(const TWorkScope&) = delete;
    TWorkScope& operator=(const TWorkScope&) = delete;
    void Commit();

private:
    IESQLiteDatabase& FDb;
    bool FOwnTransaction = false;
    bool FDone = false;
};

// Installs CreateSite as the site creator of zqt_obs_intrf.
void InstallSiteCreator();

}  // namespace zqt_site
