#include "zqt_site.h"

#include <array>
#include <climits>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "zqt_coordinates_dbs.h"
#include "zqt_obs_intrf.h"
#include "zqt_project.h"
#include "zqt_types_bs.h"

namespace zqt_site {

using SQLiteExt::FormatPt;
using sysutils::Format;
using zqt_coordinates_dbs::TZQS_Coordinates;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;

namespace {

bool IsFinite(const RVec3& P) {
    return std::isfinite(P.X) && std::isfinite(P.Y) && std::isfinite(P.Z);
}

// Drops a temporary table on the way out of a failed operation, keeping the first error.
void DropQuietly(IESQLiteDatabase& Db, const std::string& Table) noexcept {
    try {
        Db.ExecSQL("DROP TABLE IF EXISTS " + Table);
    } catch (...) {
        // The operation's own error goes on; the table is a temporary one of the
        // connection, gone with it at the latest, and "IF EXISTS" lets the next run make
        // it anew.
    }
}

}  // namespace

// =======================================================================================
// TWorkScope

TWorkScope::TWorkScope(IESQLiteDatabase& Db) : FDb(Db) {
    if (!FDb.InTransaction()) {
        FDb.BeginTransaction();
        FOwnTransaction = true;
    } else {
        FDb.ExecSQL("SAVEPOINT zqt_work");
    }
}

TWorkScope::~TWorkScope() {
    if (FDone) return;
    try {
        if (FOwnTransaction) {
            FDb.Rollback();
        } else {
            FDb.ExecSQL("ROLLBACK TO zqt_work");
            FDb.ExecSQL("RELEASE zqt_work");
        }
    } catch (...) {
        // Undoing failed as well; the error that ended the work is the one that counts.
    }
}

void TWorkScope::Commit() {
    if (FOwnTransaction)
        FDb.Commit();
    else
        FDb.ExecSQL("RELEASE zqt_work");
    FDone = true;
}

// =======================================================================================
// TZQS_Site

std::shared_ptr<TZQS_Site> TZQS_Site::Create(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_Site>(Parent, std::move(Db));
}

void TZQS_Site::InitFields() {
    TZQS_Object::InitFields();
    FTableName = "Sites";
    SetFieldNames({"SiteID", "SnapID", "SnapedObjType"});
    FObjType = SiteObjType;
    FVisible = true;
    FEnabled = true;
}

RVec3 TZQS_Site::GetPosition() {
    if (FPosition.X == 0.0)
        TZQS_Coordinates::GetXYZ(CheckedDatabase("GetPosition"), FPosition.X, FPosition.Y,
                                 FPosition.Z, FObjID, SiteObjType);
    return FPosition;
}

bool TZQS_Site::Load(std::int32_t SiteID) {
    IESQLiteDatabase& db = CheckedDatabase("Load");
    if (!FLoadSelect) FLoadSelect = db.PrepareSelect("SELECT * FROM Sites WHERE SiteID = :SiteID");
    const bool row =
        zqt_geo::ReadObjInfoRecord(FInfo, *FLoadSelect, TVariantArray{Variant(SiteID)});
    FLoadSelect->Reset();
    // Another site, or the same one moved: the position is read again.
    FPosition = RVec3{};
    FObjID = row ? FInfo.SiteID : 0;
    return row;
}

void TZQS_Site::SnapTo(std::int32_t SolutionID) {
    if (FInfo.SnapedObjType != SnapNone) return;
    IESQLiteDatabase& db = CheckedDatabase("SnapTo");
    TWorkScope work(db);
    SnapSite(db, FObjID, SolutionID);
    work.Commit();
    Load(FObjID);
}

// ---- class functions --------------------------------------------------------------------

std::int32_t TZQS_Site::FindByXYZ(IESQLiteDatabase& Db, const RVec3& Position) {
    // A NaN or an infinity would make no number in the query; no site lies there.
    if (!IsFinite(Position)) return 0;
    return static_cast<std::int32_t>(VarToInt64Z(Db.QueryValue(FormatPt(
        "SELECT ObjID FROM Coordinates WHERE (ObjType = %d)  AND (ABS(X - %.7f) < 1E-6) AND "
        "(ABS(Y - %.7f) < 1E-6) AND (ABS(Z - %.7f) < 1E-6)",
        static_cast<std::int32_t>(SiteObjType), Position.X, Position.Y, Position.Z))));
}

std::int32_t TZQS_Site::CreateSite(IESQLiteDatabase& Db, const std::string& Name,
                                   std::uint8_t SnapedObjType, const RVec3& Position,
                                   std::uint32_t SnapID) {
    if (!IsFinite(Position))
        throw ExceptionZQS(
            Format("TZQS_Site.CreateSite: the position of site %s is not a "
                   "finite number",
                   Name));
    const std::int64_t id = zqt_project::TZQS_Project::NewObjID();
    if (id <= 0 || id > INT32_MAX)
        throw ExceptionZQS(Format("TZQS_Site.CreateSite: object id %d out of range", id));
    const std::int64_t snap = SnapID;
    const std::int32_t type = SnapedObjType;
    TWorkScope work(Db);
    Db.ExecSQL(FormatPt("INSERT INTO Sites VALUES(%d,%d,%d)", id, snap, type));
    // The name is bound: quotes in it are text, not SQL.
    const auto st = Db.Prepare(
        FormatPt("INSERT INTO ObjInfo VALUES (%0:d,%3:d,:Name,0,0,0,%2:d,0,0,0,%1:d,0,'',1,1)", id,
                 type, snap, static_cast<std::int32_t>(SiteObjType)));
    st->SetParamTextByName(":Name", Name);
    st->Execute();
    TZQS_Coordinates::SaveXYZ(Db, static_cast<std::int32_t>(id), SiteObjType, Position.X,
                              Position.Y, Position.Z);
    work.Commit();
    return static_cast<std::int32_t>(id);
}

void TZQS_Site::SnapSite(IESQLiteDatabase& Db, std::int32_t SiteID, std::int32_t SolutionID) {
    Db.ExecSQL(FormatPt("UPDATE Sites SET SnapID = %d, SnapedObjType = %d WHERE SiteID = %d",
                        SolutionID, static_cast<std::int32_t>(SnapSolution), SiteID));
    Db.ExecSQL(FormatPt(
        "UPDATE ObjInfo SET (LinkObj1,LinkTyp1,Mode) = (VALUES(%d,%d,%d)) WHERE ObjId = %d;",
        SolutionID, static_cast<std::int32_t>(SolutionLinkType),
        static_cast<std::int32_t>(SnapSolution), SiteID));
    TZQS_Coordinates::CopyFrom(Db, SolutionID, SiteID);
    RefreshFromSolutions(Db, {});
}

void TZQS_Site::RefreshFromSolutions(IESQLiteDatabase& Db, const TZQSProgressEvent& Progress) {
    Db.ExecSQL("DROP TRIGGER IF EXISTS Coordinates_afterInsert; ");
    const std::int64_t total = Db.QueryInt("SELECT COUNT(SiteID) FROM Sites");
    // A table left by an interrupted run would make the creation fail.
    Db.ExecSQL("DROP TABLE IF EXISTS temp.tmp_pcd_sites");
    Db.ExecSQL("CREATE TEMP TABLE tmp_pcd_sites (SiteID INTEGER ,PRIMARY KEY(SiteID));");
    try {
        struct TRow {
            std::int32_t SiteID = 0;
            std::int32_t SolutionID = 0;
            RVec3 XYZ;
            std::array<double, 6> Cov{};
        };
        // The rows are read first: the updates below change the tables the query reads.
        std::vector<TRow> rows;
        {
            const auto sel = Db.PrepareSelect(
                " SELECT SiteID2 as SID,SolSites.SolutionID, SolCrd.X,SolCrd.Y,SolCrd.Z, "
                "sc.SX,sc.SY,sc.SZ, sc.CXY,sc.CXZ,sc.CYZ FROM SolSites INNER JOIN Sites ON "
                "Sites.SiteID = SolSites.SiteID2 INNER JOIN SolCrd On SolCrd.SolutionID = "
                "SolSites.SolutionID INNER JOIN Coordinates AS st ON (st.ObjID = "
                "SolSites.SiteID2) AND (st.SubObjID = 0) INNER JOIN SolutionsStatic AS sc ON "
                "(sc.SolutionID = SolSites.SolutionID) WHERE (SolSites.SiteID2 NOT IN (SELECT "
                "SiteID FROM tmp_pcd_sites)) AND ((SnapID = 0) OR (SnapID = "
                "SolSites.SolutionID)) AND (SnapedObjType < 2) AND (SolCrd.X <> st.X);");
            while (sel->Next()) {
                TRow r;
                r.SiteID = static_cast<std::int32_t>(VarToInt64Z(sel->Value(0)));
                r.SolutionID = static_cast<std::int32_t>(VarToInt64Z(sel->Value(1)));
                r.XYZ = RVec3{VarToFloatZ(sel->Value(2)), VarToFloatZ(sel->Value(3)),
                              VarToFloatZ(sel->Value(4))};
                for (int k = 0; k < 6; ++k) r.Cov[k] = VarToFloatZ(sel->Value(5 + k));
                rows.push_back(r);
            }
        }
        const auto mark = Db.Prepare("INSERT INTO tmp_pcd_sites Values(:SITE)");
        const auto move = Db.Prepare(
            "UPDATE Coordinates SET (X,Y,Z,Lat,Lon,Alt,SX,SY,SZ,CXY,CXZ,CYZ) =  "
            "(VALUES(:X,:Y,:Z,:Lat,:Lon,:Alt,:SX,:SY,:SZ,:CXY,:CXZ,:CYZ)) WHERE (ObjID = :ObjID) "
            "AND (SubObjID = 0)");
        const auto snap = Db.Prepare(
            "UPDATE Sites SET SnapID = :SnapID,SnapedObjType = :STYPE WHERE SiteID = :SITE");
        std::unordered_set<std::int32_t> moved;
        std::int64_t count = 0;
        for (const TRow& r : rows) {
            ++count;
            if (Progress && total > 0) {
                bool cancel = false;
                Progress(nullptr, "TZQS_Site", 0.0, static_cast<std::int32_t>(count * 100 / total),
                         cancel);
                if (cancel) throw zqt_types_bs::ExcCancelledByUser("Cancelled by user");
            }
            // A site is moved once, to the first solution that reaches it.
            if (!moved.insert(r.SiteID).second) continue;
            zqt_basestorage::RVec3 blh;
            zqt_geo::XYZToBLHVec(blh, r.XYZ);
            mark->SetParamIntByName(":SITE", r.SiteID);
            mark->Execute();
            snap->SetParamIntByName(":SnapID", r.SolutionID);
            snap->SetParamIntByName(":STYPE", SnapSolution);
            snap->SetParamIntByName(":SITE", r.SiteID);
            snap->Execute();
            static constexpr const char* CovNames[6] = {":SX",  ":SY",  ":SZ",
                                                        ":CXY", ":CXZ", ":CYZ"};
            for (const std::int32_t obj : {r.SolutionID, r.SiteID}) {
                move->SetParamFloatByName(":X", r.XYZ.X);
                move->SetParamFloatByName(":Y", r.XYZ.Y);
                move->SetParamFloatByName(":Z", r.XYZ.Z);
                move->SetParamFloatByName(":Lat", blh.X);
                move->SetParamFloatByName(":Lon", blh.Y);
                move->SetParamFloatByName(":Alt", blh.Z);
                for (int k = 0; k < 6; ++k) move->SetParamFloatByName(CovNames[k], r.Cov[k]);
                move->SetParamIntByName(":ObjID", obj);
                move->Execute();
            }
        }
        Db.Exec(FormatPt(
            " UPDATE ObjInfo SET (LinkObj1,LinkTyp1,Mode) = (SELECT SnapID, %d, SnapedObjType "
            "FROM Sites WHERE SiteID = ObjID) WHERE EXISTS (SELECT SiteId FROM Sites WHERE "
            "(SiteID = ObjID) AND (SnapedObjType = 1) AND (SnapID <> LinkObj1)); UPDATE ObjInfo "
            "SET (LinkObj1,LinkTyp1,Mode) = (Values(0,0,0)) WHERE EXISTS (SELECT SiteId FROM Sites "
            "WHERE (SiteID = ObjID) AND (SnapedObjType < 1) AND (SnapID <> LinkObj1));",
            static_cast<std::int32_t>(SolutionLinkType)));
    } catch (...) {
        DropQuietly(Db, "temp.tmp_pcd_sites");
        throw;
    }
    Db.ExecSQL("DROP TABLE IF EXISTS temp.tmp_pcd_sites");
}

// =======================================================================================

void InstallSiteCreator() {
    zqt_obs_intrf::SetSiteCreator([](const zqt_objects_intrf::IESQLiteDatabasePtr& Db,
                                     const std::string& Name, std::uint8_t SnapedObjType,
                                     const RVec3& Position, std::uint32_t SnapID) {
        if (!Db) throw ExceptionZQS("TZQS_Site.CreateSite: no database");
        return TZQS_Site::CreateSite(*Db, Name, SnapedObjType, Position, SnapID);
    });
}

}  // namespace zqt_site
