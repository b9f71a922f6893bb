// Recordset operations that work on a project database as a whole rather than on one
// loaded recordset: splitting a recordset into time pieces, copying the data sets' own
// recordsets into output recordsets, giving every recordset its most frequent interval and
// a position, and averaging a static recordset's position from its data set's solutions.
#include <cmath>
#include <optional>
#include <utility>

#include "zqt_geo.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_site.h"
#include "zqt_timefunc.h"

namespace zqt_recordset_dbs {

using SQLiteExt::FormatPt;
using SQLiteExt::IESQLiteDatabase;
using SQLiteExt::IESQLiteSelectStatement;
using zqt_recordset_bs::RecordsetOutput;
using zqt_recordset_bs::RecordsetRetired;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

namespace {

IESQLiteDatabase& CheckedDb(const IESQLiteDatabasePtr& Db, const char* Operation) {
    if (!Db) throw zqt_types_bs::ExceptionZQS(sysutils::Format("%s: no database", Operation));
    return *Db;
}

// A GPS time column or an expression over one, as ticks; nothing for Null.
std::optional<std::int64_t> TicksOrNull(const Variant& V) {
    if (V.IsNullOrEmpty()) return std::nullopt;
    return zqt_variant::VarToTicksZ(V);
}

// Whole multiples of Step (> 0) at or below Value, also for negative values.
std::int64_t AlignDown(std::int64_t Value, std::int64_t Step) {
    return zqt_timefunc::FloorDiv(Value, Step) * Step;
}

bool AllFinite(std::initializer_list<double> Values) {
    for (const double v : Values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

// =======================================================================================
// Splitting

void TZQS_Recordset::SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>& Pieces,
                                          const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                          std::int32_t PieceLength, std::int64_t StartTime) {
    if (PieceLength == 0) return;
    Pieces.clear();
    IESQLiteDatabase& db = CheckedDb(Db, "TZQS_Recordset.SplitRecordsetByTime");

    // Everything is read and checked before anything changes.
    const TVariantArray row = db.SelectFirstRow(FormatPt(
        "SELECT BegTime,EndTime,Interval FROM Recordsets WHERE RecordsetID = %d", RecordsetID));
    if (row.size() < 3) return;
    const std::int64_t beg = TicksOrNull(row[0]).value_or(0);
    const std::int64_t end = TicksOrNull(row[1]).value_or(0);
    // An interval of 0 (a single epoch) or Null is unknown.
    const std::int64_t interval = VarToInt64Z(row[2]);
    if (PieceLength < 0)
        throw sysutils::Exception(sysutils::Format("Bad interval %d", PieceLength));
    // The pieces are PieceLength long whatever the interval: hourly pieces are clock hours,
    // each with the epochs of its hour. A step rounded down to whole intervals would make
    // pieces of 56 minutes for 7-minute epochs (drifting off the hours), and none at all
    // for epochs more than an hour apart.
    const std::int64_t step = PieceLength;
    const std::int64_t sizeUnit = interval > 0 ? interval : step;

    const bool aligned = StartTime < 1;
    std::int64_t t = aligned ? AlignDown(beg, step) : std::max(StartTime, beg);
    if (!aligned && t >= end)
        throw zqt_sat_obs_types::ExceptionZQS(
            "TZQS_Recordset.SplitRecordsetByTime wrong start time");
    // One past End: a piece may start exactly at End, so that an epoch there is not lost.
    const std::int64_t stop = end + 1;

    std::int32_t dataSetID = ParentIDByID(db, RecordsetID);
    if (dataSetID == 0)
        dataSetID = static_cast<std::int32_t>(db.QueryInt(
            FormatPt("SELECT DataSetID FROM Recordsets WHERE RecordsetID = %d", RecordsetID)));

    zqt_site::TWorkScope work(db);
    db.ExecSQLFmt("UPDATE Recordsets SET RecordsetType = %d WHERE RecordsetID = %d",
                  RecordsetRetired, RecordsetID);
    const auto insRecordset = db.Prepare(FormatPt(
        "INSERT INTO Recordsets SELECT  :RecordsetID,%d,DataSetID,:BegTime,:EndTime,:Interval,  "
        "MarkerName,MarkerNumber,AntennaNumber,AntennaModel,AntennaNGSModel,AntennaDeltaH,  "
        "AntennaDeltaE,AntennaDeltaN,AntennaHeight,AntennaVerticalHeight,AntennaHeightType,  "
        "AntennaRX,AntennaRY,AntennaRZ,  SiteID,MotionMode,flags,_GUID,VertexID,Comment FROM "
        "Recordsets WHERE RecordsetID = %d",
        RecordsetOutput, RecordsetID));
    const auto insObjInfo = db.Prepare(FormatPt(
        "INSERT INTO ObjInfo SELECT  :ObjID,ObjType,%s,:BegTime,:EndTime,:Size,LinkObj1,LinkTyp1,"
        "LinkObj2,LinkTyp2,Mode,StyleID,ObjLabel,Visible,Enabled FROM ObjInfo WHERE ObjID = %d",
        std::string("printf(\"%s_%3.3d\",Name,:Idx)"), RecordsetID));
    const auto insCoordinates = db.Prepare(
        FormatPt("INSERT INTO Coordinates  (ObjType,ObjID,SubObjID,PointType,X,Y,Z,LAT,LON,ALT,SX,"
                 "SY,SZ)  SELECT  ObjType,:ObjID,SubObjID,PointType,X,Y,Z,LAT,LON,ALT,SX,SY,SZ  "
                 "FROM Coordinates WHERE ObjID = %d",
                 RecordsetID));
    const auto lastBefore = db.PrepareSelect(FormatPt(
        "SELECT MAX(GPSTIME) FROM Epochs WHERE (DataSetID = %d) AND (GPSTime < :GT)", dataSetID));
    const auto firstFrom = db.PrepareSelect(FormatPt(
        "SELECT MIN(GPSTIME) FROM Epochs WHERE (DataSetID = %d) AND (GPSTime >= :GT)", dataSetID));
    const auto anyEpoch = db.PrepareSelect(
        FormatPt("SELECT EXISTS (SELECT 1 FROM Epochs WHERE (DataSetID = %d) AND (GPSTime "
                 "BETWEEN :BegTime AND :EndTime))",
                 dataSetID));
    auto epochAt = [](IESQLiteSelectStatement& Select, std::int64_t GT) {
        Select.Reset();
        Select.SetParamInt64ByName(":GT", GT);
        std::optional<std::int64_t> r;
        if (Select.Next()) r = TicksOrNull(Select.Value(0));
        Select.Reset();
        return r;
    };

    std::vector<zqt_types_bs::RObjID> pieces;
    std::int32_t idx = 0;
    for (std::int64_t next = t + step; t < stop; t = next, next += step) {
        std::int64_t pieceBeg = t;
        // An explicit start gives windows that meet; the last tick before the next piece
        // ends this one, so that no epoch is in two pieces.
        std::int64_t pieceEnd = next - 1;
        if (aligned) {
            const std::optional<std::int64_t> first = epochAt(*firstFrom, t);
            if (!first) break;  // no epoch from here on
            // No epoch in this piece: on to the piece that holds the next one.
            if (*first >= next) {
                next = AlignDown(*first, step);
                continue;
            }
            pieceBeg = *first;
            const std::optional<std::int64_t> last = epochAt(*lastBefore, next);
            pieceEnd = last ? *last : next;
        }
        pieceBeg = std::max(pieceBeg, beg);
        pieceEnd = std::min(pieceEnd, end);
        if (pieceBeg > pieceEnd) continue;
        anyEpoch->Reset();
        anyEpoch->SetParamInt64ByName(":BegTime", pieceBeg);
        anyEpoch->SetParamInt64ByName(":EndTime", pieceEnd);
        const bool hasEpoch = anyEpoch->Next() && VarToInt64Z(anyEpoch->Value(0)) != 0;
        anyEpoch->Reset();
        if (!hasEpoch) continue;

        const auto id = static_cast<std::int32_t>(zqt_project::TZQS_Project::NewObjID());
        ++idx;
        insRecordset->SetParamInt64ByName(":RecordsetID", id);
        insRecordset->SetParamInt64ByName(":BegTime", pieceBeg);
        insRecordset->SetParamInt64ByName(":EndTime", pieceEnd);
        insRecordset->SetParamInt64ByName(":Interval", interval);
        insRecordset->Execute();
        insObjInfo->SetParamInt64ByName(":ObjID", id);
        insObjInfo->SetParamInt64ByName(":BegTime", pieceBeg);
        insObjInfo->SetParamInt64ByName(":EndTime", pieceEnd);
        insObjInfo->SetParamInt64ByName(":Size", (pieceEnd - pieceBeg + sizeUnit) / sizeUnit);
        insObjInfo->SetParamInt64ByName(":Idx", idx);
        insObjInfo->Execute();
        insCoordinates->SetParamInt64ByName(":ObjID", id);
        insCoordinates->Execute();
        zqt_types_bs::RObjID piece;
        piece.ObjID = id;
        pieces.push_back(piece);
    }
    // The old Recordsets row goes; its registry row stays (the schema's delete trigger
    // takes it with the row, so it is put back).
    db.ExecFmt(
        "DROP TABLE IF EXISTS temp.tmp_retired;"
        "CREATE TEMP TABLE tmp_retired AS SELECT * FROM ObjInfo WHERE ObjID = %0:d;"
        "DELETE FROM Recordsets WHERE RecordsetID = %0:d;"
        "INSERT OR IGNORE INTO ObjInfo SELECT * FROM tmp_retired;"
        "DROP TABLE temp.tmp_retired;",
        RecordsetID);
    work.Commit();
    Pieces = std::move(pieces);
}

// =======================================================================================
// Copying, intervals and positions

void TZQS_Recordset::CopyOwnRecordsets(const IESQLiteDatabasePtr& Db) {
    IESQLiteDatabase& db = CheckedDb(Db, "TZQS_Recordset.CopyOwnRecordsets");
    zqt_site::TWorkScope work(db);
    db.Exec(
        "CREATE TEMP TABLE tmp_newr AS SELECT ObjID FSet,NewObjId() AS RSet FROM ObjInfo WHERE "
        "ObjType=6;"
        "DROP TABLE IF EXISTS tmp_recordsets;DROP TABLE IF EXISTS tmp_objinfo;DROP TABLE IF EXISTS "
        "tmp_coordinates;CREATE TEMP TABLE tmp_recordsets AS SELECT * FROM Recordsets WHERE "
        "RecordsetID IN (SELECT FSet FROM tmp_newr);CREATE TEMP TABLE tmp_objinfo AS SELECT * FROM "
        "ObjInfo WHERE ObjId IN (SELECT FSet FROM tmp_newr);CREATE TEMP TABLE tmp_coordinates AS "
        "SELECT * FROM Coordinates WHERE ObjId IN (SELECT FSet FROM tmp_newr);UPDATE "
        "tmp_recordsets "
        "SET RecordsetType=7,MotionMode=0,RecordsetID = (SELECT RSet FROM tmp_newr WHERE "
        "FSet=RecordsetID);UPDATE tmp_objinfo SET ObjType=7,ObjID = (SELECT RSet FROM tmp_newr "
        "WHERE FSet=ObjId);UPDATE tmp_coordinates SET CrdID=NULL,ObjType=7,ObjID = (SELECT RSet "
        "FROM tmp_newr WHERE FSet=ObjId);INSERT INTO Recordsets SELECT * FROM "
        "tmp_recordsets;INSERT INTO ObjInfo SELECT * FROM tmp_objinfo;INSERT INTO Coordinates "
        "SELECT * FROM tmp_coordinates;DROP TABLE IF EXISTS tmp_newr;DROP TABLE IF EXISTS "
        "tmp_recordsets;DROP TABLE IF EXISTS tmp_objinfo;DROP TABLE IF EXISTS tmp_coordinates;");
    UpdateIntervals(Db);
    FillPositions(Db);
    work.Commit();
}

void TZQS_Recordset::UpdateIntervals(const IESQLiteDatabasePtr& Db) {
    IESQLiteDatabase& db = CheckedDb(Db, "TZQS_Recordset.UpdateIntervals");
    zqt_site::TWorkScope work(db);
    // A recordset without epochs keeps its interval (the column takes no Null).
    db.Exec(
        "DROP TABLE IF EXISTS tmp_recintrv;\r\n"
        "CREATE TEMP TABLE tmp_recintrv AS\r\n"
        "select r.RecordsetID as RecordsetID,e.Interval as Interval, Count(e.Interval) as cnt\r\n"
        "FROM Recordsets as r\r\n"
        "INNER JOIN Epochs as e ON (e.DatasetID = r.DatasetID) and (e.GPSTime BETWEEN r.BegTime "
        "AND r.EndTime)\r\n"
        "GROUP BY r.RecordsetID,e.Interval;\r\n"
        "DROP TABLE IF EXISTS tmp_recintrv2;\r\n"
        "CREATE TEMP TABLE tmp_recintrv2 AS\r\n"
        "select RecordsetID,Interval\r\n"
        "FROM tmp_recintrv as r \r\n"
        "WHERE cnt = (SELECT MAX(cnt) FROM tmp_recintrv WHERE r.RecordsetID = RecordsetID);\r\n"
        "UPDATE Recordsets SET Interval = (SELECT Interval FROM tmp_recintrv2 WHERE "
        "tmp_recintrv2.RecordsetID = Recordsets.RecordsetID)\r\n"
        "WHERE RecordsetID IN (SELECT RecordsetID FROM tmp_recintrv2);\r\n"
        "DROP TABLE IF EXISTS tmp_recintrv;\r\n"
        "DROP TABLE IF EXISTS tmp_recintrv2;");
    work.Commit();
}

void TZQS_Recordset::FillPositions(const IESQLiteDatabasePtr& Db) {
    IESQLiteDatabase& db = CheckedDb(Db, "TZQS_Recordset.FillPositions");
    zqt_site::TWorkScope work(db);
    db.Exec(
        "INSERT INTO Coordinates\r\n"
        " select NULL,r.RecordsetType,r.RecordsetID,c.SubObjID,0,X,Y,Z,LAT,LON,ALT,SX,SY,SZ,CXY,"
        "CXZ,CYZ FROM Coordinates as c\r\n"
        " INNER JOIN FileReceiver as f ON (c.ObjID = f.FRcvrID) and (c.PointType=1)\r\n"
        " INNER JOIN Datasets as d ON (f.FRcvrID = d.FRcvrID)\r\n"
        " INNER JOIN Recordsets as r ON (d.DatasetID = r.DatasetID)\r\n"
        " WHERE NOT EXISTS (SELECT CrdID FROM Coordinates WHERE ObjID = r.RecordseTID);\r\n"
        " INSERT INTO Coordinates\r\n"
        " select NULL,r.RecordsetType,r.RecordsetID,Min(c.SubObjID),0,AVG(X),AVG(Y),AVG(Z),\r\n"
        "   AVG(LAT),AVG(LON),AVG(ALT),AVG(SX),AVG(SY),AVG(SZ),AVG(CXY),AVG(CXZ),AVG(CYZ) FROM "
        "Coordinates as c\r\n"
        " INNER JOIN Solutions as s ON (c.ObjID = s.SolutionID)\r\n"
        " INNER JOIN Datasets as d ON (s.SolutionID = d.DefaultSolutionID)\r\n"
        " INNER JOIN Recordsets as r ON (d.DatasetID = r.DatasetID)\r\n"
        " WHERE NOT EXISTS (SELECT CrdID FROM Coordinates WHERE ObjID = r.RecordsetID)\r\n"
        " GROUP BY  r.RecordsetType,r.RecordsetID;");
    work.Commit();
}

// =======================================================================================
// Static position

void TZQS_Recordset::AverageStaticPosition(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                           double) {
    IESQLiteDatabase& db = CheckedDb(Db, "TZQS_Recordset.AverageStaticPosition");
    const TVariantArray rs = db.SelectFirstRow(FormatPt(
        "SELECT RecordsetType,DataSetID,  "
        "AntennaDeltaH,AntennaDeltaE,AntennaDeltaN,AntennaVerticalHeight, "
        "BegTime,EndTime,AntennaNGSModel,MotionMode FROM Recordsets WHERE (RecordsetID = %d)",
        RecordsetID));
    if (rs.size() < 10) return;
    const std::int64_t recordsetType = VarToInt64Z(rs[0]);
    const std::int64_t dataSetID = VarToInt64Z(rs[1]);
    const double deltaH = VarToFloatZ(rs[2]);
    const double deltaE = VarToFloatZ(rs[3]);
    const double deltaN = VarToFloatZ(rs[4]);
    const double verticalHeight = VarToFloatZ(rs[5]);
    const std::int64_t beg = TicksOrNull(rs[6]).value_or(0);
    const std::int64_t end = TicksOrNull(rs[7]).value_or(0);
    const std::int32_t mode = VarToStrZ(rs[8]).empty() ? 8 : 0;

    const std::int64_t solutionID = db.QueryInt(
        FormatPt("SELECT DefaultSolutionID FROM Datasets WHERE DataSetID = %d", dataSetID));
    const TVariantArray ref = db.SelectFirstRow(
        FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjID = %d) And (SubObjID BETWEEN %d AND "
                 "%d) and (ALT BETWEEN -1000 and 15000) LIMIT 1",
                 solutionID, beg, end));
    if (ref.size() < 3) return;
    const double x0 = VarToFloatZ(ref[0]), y0 = VarToFloatZ(ref[1]), z0 = VarToFloatZ(ref[2]);

    // Each solution weighs 1/SX (not 1/SX squared).
    const TVariantArray sums = db.SelectFirstRow(FormatPt(
        "SELECT Count(*), SUM((C.X-%0:19.4f)/SX),SUM((C.X-%0:19.4f)*(C.X-%0:19.4f)/SX),SUM(1/SX), "
        "SUM((C.Y-%1:19.4f)/SY),SUM((C.Y-%1:19.4f)*(C.Y-%1:19.4f)/SY),SUM(1/SY), "
        "SUM((C.Z-%2:19.4f)/SZ),SUM((C.Z-%2:19.4f)*(C.Z-%2:19.4f)/SZ),SUM(1/SZ) FROM Coordinates "
        "as C INNER JOIN CoordinatesExt as E ON c.CrdId=e.CrdID WHERE (c.ObjID = %3:d) And "
        "(c.SubObjID BETWEEN %4:d AND %5:d) and (c.ALT BETWEEN -1000 and 15000) and (e.rms < "
        "%6:f) and (e.rms > 0);",
        x0, y0, z0, solutionID, beg, end, 30.0));
    if (sums.size() < 10) return;
    for (std::size_t k = 1; k < 10; ++k)
        if (sums[k].IsNullOrEmpty()) return;
    double mean[3], sigma[3];
    const double origin[3] = {x0, y0, z0};
    for (int axis = 0; axis < 3; ++axis) {
        const double s1 = VarToFloatZ(sums[1 + 3 * axis]);
        const double s2 = VarToFloatZ(sums[2 + 3 * axis]);
        const double w = VarToFloatZ(sums[3 + 3 * axis]);
        mean[axis] = s1 / w + origin[axis];
        sigma[axis] = std::sqrt(std::fabs(s2 / w - (s1 / w) * (s1 / w)));
    }
    // Weights that sum to nothing give no position rather than a row of non-numbers.
    if (!AllFinite({mean[0], mean[1], mean[2], sigma[0], sigma[1], sigma[2]})) return;

    // From the antenna down to the marker.
    double lat = 0.0, lon = 0.0, height = 0.0;
    zqt_geo::XYZToBLH(mean[0], mean[1], mean[2], lat, lon, height);
    zqt_geo::TMatrix3 m{};
    zqt_geo::LocalToEcefMatrix(lat, lon, m);
    double dX = 0.0, dY = 0.0, dZ = 0.0;
    zqt_geo::ApplyMatrix(m, deltaE, deltaN, deltaH + verticalHeight, dX, dY, dZ);
    const double x = mean[0] - dX, y = mean[1] - dY, z = mean[2] - dZ;
    zqt_geo::XYZToBLH(x, y, z, lat, lon, height);
    if (!AllFinite({dX, dY, dZ, x, y, z, lat, lon, height})) return;

    zqt_site::TWorkScope work(db);
    db.ExecSQLFmt(
        "UPDATE Recordsets SET MotionMode = %d, AntennaRX = %19.4f,AntennaRY = "
        "%19.4f,AntennaRZ = %19.4f WHERE RecordsetID = %d",
        0, dX, dY, dZ, RecordsetID);
    db.ExecSQLFmt("UPDATE ObjInfo SET Mode = %d WHERE ObjID = %d", mode, RecordsetID);
    const Variant crd =
        db.QueryValue(FormatPt("SELECT CrdID FROM Coordinates WHERE ObjID = %d", RecordsetID));
    if (crd.IsNullOrEmpty())
        db.ExecSQLFmt(
            "INSERT INTO Coordinates(ObjType,ObjID,SubObjID,PointType,X,Y,Z,LAT,LON,ALT,SX,SY,SZ)  "
            "VALUES(%d,%d,%d,%d,%19.4f,%19.4f,%19.4f,%22.14f,%22.14f,%22.14f,%19.4f,%19.4f,%19.4f)",
            recordsetType, RecordsetID, dataSetID, 0, x, y, z, lat, lon, height, sigma[0], sigma[1],
            sigma[2]);
    else
        db.ExecSQLFmt(
            "INSERT OR REPLACE INTO "
            "Coordinates(CrdID,ObjType,ObjID,SubObjID,PointType,X,Y,Z,LAT,LON,ALT,SX,SY,SZ)  "
            "VALUES(%d,%d,%d,%d,%d,%19.4f,%19.4f,%19.4f,%22.14f,%22.14f,%22.14f,%19.4f,%19.4f,%19."
            "4f)",
            VarToInt64Z(crd), recordsetType, RecordsetID, dataSetID, 0, x, y, z, lat, lon, height,
            sigma[0], sigma[1], sigma[2]);
    work.Commit();
}

}  // namespace zqt_recordset_dbs
