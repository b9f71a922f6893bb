// The project database schema script: what a new project holds, how values read back,
// and how deletions cascade through the triggers.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "zqt_schema.h"

namespace {

// ---------------------------------------------------------------------------------------
// A bare SQLite connection, so that these tests depend on nothing but SQLite itself.

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* st) const noexcept { sqlite3_finalize(st); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Stand-ins for two of the program's own SQL functions that views call.
void VectTypeStandIn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const sqlite3_int64 a = sqlite3_value_int64(argv[0]);
    const sqlite3_int64 b = sqlite3_value_int64(argv[1]);
    sqlite3_result_int64(ctx, b != 0 ? 13 : (a != 0 ? 12 : 11));
}
void SqrtStandIn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const double x = sqlite3_value_double(argv[0]);
    if (x > 0)
        sqlite3_result_double(ctx, std::sqrt(x));
    else
        sqlite3_result_null(ctx);
}

enum class Quoting {
    Program,  // double-quoted strings accepted, as the program's connections do
    Strict    // double quotes mean identifiers only: a misspelled column is an error
};

class TestDb {
public:
    explicit TestDb(Quoting quoting = Quoting::Program) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open(":memory:", &raw);
        FDb.reset(raw);
        if (rc != SQLITE_OK) throw std::runtime_error("cannot open an in-memory database");
        const int dqs = quoting == Quoting::Program ? 1 : 0;
        sqlite3_db_config(FDb.get(), SQLITE_DBCONFIG_DQS_DML, dqs, nullptr);
        sqlite3_db_config(FDb.get(), SQLITE_DBCONFIG_DQS_DDL, dqs, nullptr);
        sqlite3_create_function(FDb.get(), "VectType", 2, SQLITE_UTF8, nullptr, VectTypeStandIn,
                                nullptr, nullptr);
        sqlite3_create_function(FDb.get(), "SQRT", 1, SQLITE_UTF8, nullptr, SqrtStandIn, nullptr,
                                nullptr);
    }

    sqlite3* Handle() const { return FDb.get(); }

    // Runs the schema script whole inside one transaction, as a new project is made.
    void CreateProject() {
        Exec("BEGIN");
        Exec(std::string(zqt_schema::ProjectSchemaScript()));
        Exec("COMMIT");
    }

    int ExecRc(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(FDb.get(), sql.c_str(), nullptr, nullptr, &err);
        FLastError = err ? err : "";
        sqlite3_free(err);
        return rc;
    }

    void Exec(const std::string& sql) {
        if (ExecRc(sql) != SQLITE_OK)
            throw std::runtime_error(FLastError + " in: " + sql.substr(0, 200));
    }

    StmtPtr Prepare(const std::string& sql) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(FDb.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            throw std::runtime_error(std::string(sqlite3_errmsg(FDb.get())) + " in: " + sql);
        }
        return StmtPtr(raw);
    }

    // All rows, each value as text; NULL reads as "<null>".
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        StmtPtr st = Prepare(sql);
        std::vector<std::vector<std::string>> rows;
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st.get()); ++i) {
                const auto* text = sqlite3_column_text(st.get(), i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "<null>");
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string(sqlite3_errmsg(FDb.get())) + " in: " + sql);
        return rows;
    }

    // First column of the first row; nothing when there is no row or the value is NULL.
    std::optional<std::int64_t> Int(const std::string& sql) {
        StmtPtr st = Prepare(sql);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW && sqlite3_column_type(st.get(), 0) != SQLITE_NULL)
            return sqlite3_column_int64(st.get(), 0);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw std::runtime_error(std::string(sqlite3_errmsg(FDb.get())) + " in: " + sql);
        return std::nullopt;
    }

    std::int64_t Count(const std::string& sql) { return Int(sql).value_or(-1); }

    std::set<std::string> Names(const std::string& type) {
        std::set<std::string> names;
        for (const auto& row : Rows("SELECT name FROM sqlite_master WHERE type = '" + type +
                                    "' AND name NOT LIKE 'sqlite_%'"))
            names.insert(row[0]);
        return names;
    }

    const std::string& LastError() const { return FLastError; }

private:
    std::unique_ptr<sqlite3, DbCloser> FDb;
    std::string FLastError;
};

std::string FoldBlanks(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// What the script creates

const std::set<std::string> kTables = {"SatsDisabled",
                                       "SatArray",
                                       "RotationMatrix",
                                       "Observer",
                                       "ObjID",
                                       "MotionType",
                                       "Epochs",
                                       "CoordinatesExt",
                                       "Almanach",
                                       "SolutionsStatic",
                                       "DataSets",
                                       "Objects",
                                       "Velocity",
                                       "ProjectEpoch",
                                       "Residuals",
                                       "Settings",
                                       "ambiguity",
                                       "ReferencePointsGroups",
                                       "DSrnxobs",
                                       "SatObs",
                                       "GLOSlots",
                                       "FileType",
                                       "CoordinateSystemsGroups",
                                       "CoordinateSystems",
                                       "sp3_clk_header",
                                       "sp3_clk",
                                       "Recordsets",
                                       "Files",
                                       "Receiver",
                                       "Sites",
                                       "SnapObjType",
                                       "Vectors",
                                       "Solutions",
                                       "ObjInfo",
                                       "ReferencePoints",
                                       "EdgeSolutions",
                                       "Nodes",
                                       "SolLoops",
                                       "SubNet",
                                       "Loop",
                                       "Ephemeris",
                                       "Iono",
                                       "TimeParams",
                                       "Edges",
                                       "EvCraftHeading",
                                       "Events",
                                       "AdjustKinematic",
                                       "Cameras",
                                       "Airplanes",
                                       "AirParent",
                                       "CamParent",
                                       "Coordinates",
                                       "BaseType",
                                       "ProjectData",
                                       "FileReceiver",
                                       "ObsInfo",
                                       "GNSS",
                                       "sp3_pos",
                                       "sp3_header",
                                       "Version",
                                       "ssr_header",
                                       "ssr_hdr_orbits",
                                       "ssr_orbits",
                                       "ssr_hdr_clocks",
                                       "ssr_clocks",
                                       "ssr_hdr_code",
                                       "ssr_code_bias",
                                       "ssr_hdr_phase",
                                       "ssr_phase_sat",
                                       "ssr_phase_bias",
                                       "RTK_Results",
                                       "ssr_hdr_iono",
                                       "ssr_iono_layers"};

const std::set<std::string> kViews = {"EpochObs",
                                      "ObjInfoAll",
                                      "ObjInfoView",
                                      "ObjInfoAbbr",
                                      "ObjInfoViewVectors",
                                      "StaticSolutionView",
                                      "KinematicSolutionView",
                                      "AllSolutionView",
                                      "VectorViewAll",
                                      "VectorsView",
                                      "VectSites",
                                      "VectorSites",
                                      "SolSites",
                                      "SolCrd",
                                      "SolGrnd",
                                      "SolutionSites",
                                      "SiteOnSol",
                                      "ObjCrd",
                                      "EdgeView",
                                      "NodeView",
                                      "EvCamera",
                                      "CoordsViewStd",
                                      "CoordinatesView",
                                      "RecordsetBaseType"};

struct IndexDef {
    const char* name;
    const char* table;
    bool unique;
    std::vector<std::string> columns;
};

const std::vector<IndexDef> kIndexes = {
    {"observer_idx1", "Observer", true, {"ObserverName", "ObserverAgency"}},
    {"epochs_idx1", "Epochs", true, {"DataSetID", "GPSTime"}},
    {"Objects_abbr", "Objects", true, {"abbr"}},
    {"recorset_idx1", "Recordsets", false, {"RecordsetType", "DataSetID", "BegTime"}},
    {"files_idx1", "Files", false, {"CRC"}},
    {"Solutions_parent", "Solutions", false, {"ParentID"}},
    {"objinfo_type", "ObjInfo", false, {"ObjType"}},
    {"objinfo_name", "ObjInfo", false, {"Name"}},
    {"objinfo_LinkObj1", "ObjInfo", false, {"LinkObj1"}},
    {"objinfo_LinkObj2", "ObjInfo", false, {"LinkObj2"}},
    {"Events_parent", "Events", false, {"ParentID", "GPSTime", "ev"}},
    {"Dataset_idx", "DataSets", false, {"FRcvrId", "AntennaNumber"}},
    {"crd_type", "Coordinates", false, {"ObjType"}},
    {"crd_lat", "Coordinates", false, {"LAT"}},
    {"crd_lon", "Coordinates", false, {"LON"}},
    {"crd_idx", "Coordinates", true, {"ObjID", "SubObjID"}},
    {"GNSS_id", "GNSS", false, {"GNSSid"}},
    {"ssr_hdr_orbits_idx", "ssr_hdr_orbits", true, {"hid", "BegTime"}},
    {"ssr_hdr_clocks_idx", "ssr_hdr_clocks", true, {"hid", "BegTime"}},
    {"ssr_hdr_code_idx", "ssr_hdr_code", true, {"hid", "BegTime"}},
    {"ssr_hdr_phase_idx", "ssr_hdr_phase", true, {"hid", "BegTime"}},
    {"ssr_phase_sat_idx", "ssr_phase_sat", true, {"id", "svprn"}},
    {"residuals_idx", "Residuals", false, {"SolutionID", "typ", "freq", "GPSTime", "sv"}},
};

const std::vector<std::pair<const char*, const char*>> kTriggers = {
    {"Observer_beforedelete", "Observer"},
    {"DataSets_afterdelete", "DataSets"},
    {"DataSets_delete", "DataSets"},
    {"Epochs_delete", "Epochs"},
    {"sp3_clk_header_beforedelete", "sp3_clk_header"},
    {"Files_beforedelete", "Files"},
    {"FilesPN_beforedelete", "Files"},
    {"FilesObs_beforedelete", "Files"},
    {"FilesCLK_beforedelete", "Files"},
    {"Receiver_beforedelete", "Receiver"},
    {"Sites_delete", "Sites"},
    {"Vectors_delete", "Vectors"},
    {"ObjInfo_beforedelete_files", "ObjInfo"},
    {"ObjInfo_beforedelete_filereceiver", "ObjInfo"},
    {"ObjInfo_beforedelete_dataset", "ObjInfo"},
    {"ObjInfo_beforedelete_Vector", "ObjInfo"},
    {"ObjInfo_beforedelete_Receiver", "ObjInfo"},
    {"ObjInfo_beforedelete_Observer", "ObjInfo"},
    {"ObjInfo_beforedelete", "ObjInfo"},
    {"ObjInfo_beforedelete_Recordsets", "ObjInfo"},
    {"ObjInfo_beforedelete_EventSolution", "ObjInfo"},
    {"Solutions_delete", "Solutions"},
    {"Events_beforedelete", "Events"},
    {"Recordsets_afterdelete", "Recordsets"},
    {"Recordsets_delete", "Recordsets"},
    {"ObjInfo_beforedelete_ReferencePoint", "ObjInfo"},
    {"ObjInfo_beforedelete_Solution", "ObjInfo"},
    {"ObjInfo_beforedelete_SolutionEvents", "ObjInfo"},
    {"Coordinates_delete", "Coordinates"},
    {"FileReceiver_afterdelete", "FileReceiver"},
    {"FileReceiver_beforedelete", "FileReceiver"},
    {"sp3_header_beforedelete", "sp3_header"},
    {"ObjInfo_afterupdate_ReferencePoint", "ObjInfo"},
    {"ObjInfo_beforedelete_Site", "ObjInfo"},
};

// Seeded tables and their row counts; every other table starts empty.
const std::vector<std::pair<const char*, int>> kSeedCounts = {
    {"SnapObjType", 9},       {"ObjID", 1},     {"MotionType", 3},  {"Objects", 35},
    {"ProjectEpoch", 1},      {"Settings", 12}, {"FileType", 25},   {"CoordinateSystemsGroups", 3},
    {"CoordinateSystems", 3}, {"BaseType", 7},  {"ProjectData", 1}, {"GNSS", 7},
    {"Version", 1},
};

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override { Db.CreateProject(); }
    TestDb Db;
};

TEST_F(SchemaTest, CreatesEveryTableViewAndTriggerAndNothingElse) {
    EXPECT_EQ(Db.Names("table"), kTables);
    EXPECT_EQ(Db.Names("view"), kViews);

    std::set<std::string> triggers;
    for (const auto& [name, table] : kTriggers) {
        triggers.insert(name);
        EXPECT_EQ(Db.Rows("SELECT tbl_name FROM sqlite_master WHERE type = 'trigger' AND name = '" +
                          std::string(name) + "'"),
                  (std::vector<std::vector<std::string>>{{table}}))
            << name;
    }
    EXPECT_EQ(triggers.size(), 34u);
    EXPECT_EQ(Db.Names("trigger"), triggers);
}

TEST_F(SchemaTest, IndexesCoverTheirColumnsInOrder) {
    std::set<std::string> names;
    for (const auto& idx : kIndexes) {
        names.insert(idx.name);
        SCOPED_TRACE(idx.name);
        EXPECT_EQ(Db.Rows("SELECT tbl_name FROM sqlite_master WHERE type = 'index' AND name = '" +
                          std::string(idx.name) + "'"),
                  (std::vector<std::vector<std::string>>{{idx.table}}));
        std::vector<std::string> columns;
        for (const auto& row : Db.Rows("SELECT name, desc FROM pragma_index_xinfo('" +
                                       std::string(idx.name) + "') WHERE key = 1 ORDER BY seqno")) {
            columns.push_back(row[0]);
            EXPECT_EQ(row[1], "0") << "descending column " << row[0];
        }
        EXPECT_EQ(columns, idx.columns);
        EXPECT_EQ(Db.Count("SELECT \"unique\" FROM pragma_index_list('" + std::string(idx.table) +
                           "') WHERE name = '" + idx.name + "'"),
                  idx.unique ? 1 : 0);
    }
    EXPECT_EQ(names.size(), 23u);
    EXPECT_EQ(Db.Names("index"), names);
}

// Declared types decide how the select statements read a column back; column counts
// matter to the positional INSERT ... VALUES and INSERT ... SELECT * of the data classes.
TEST_F(SchemaTest, DeclaredTypesAndColumnCountsAreKept) {
    const std::vector<std::tuple<const char*, const char*, const char*>> types = {
        {"Epochs", "GPSTime", "GPSTIME"},
        {"SatsDisabled", "Endtime", "GPSTIME"},
        {"ObjInfo", "ObjType", "INTOBJTYPE"},
        {"ObjInfo", "LinkTyp2", "INTOBJTYPE"},
        {"ObjInfo", "Size", "INT8"},
        {"ObjInfo", "Visible", "BOOLEAN"},
        {"Recordsets", "RecordsetType", "INT_RECTYPE"},
        {"Recordsets", "AntennaHeightType", "INT_ANTENNAHEIGHTTYPE"},
        {"Recordsets", "MotionMode", "INT_MOTIONMODE"},
        {"Files", "Typ", "INT_ORIGFILETYP"},
        {"Files", "Time", "REAL_DATETIME"},
        {"Files", "Location", "INT_LOCATION"},
        {"Files", "Compression", "INT_COMPRESSION"},
        {"Receiver", "BaseType", "INT_BASETYPE"},
        {"Sites", "SnapedObjType", "INT_SNAPOBJTYPE"},
        {"Coordinates", "X", "RXYZ"},
        {"Coordinates", "LAT", "RLAT"},
        {"Coordinates", "LON", "RLON"},
        {"Coordinates", "ALT", "RALT"},
        {"ssr_orbits", "CrsDot", "RXYZ"},
        {"FileType", "eOrigFileTyp", "CHAR(30)"},
        {"CoordinateSystems", "guid", "VARCHAR(36)"},
        {"GNSS", "system", "VARCHAR(50)"},
        {"ProjectData", "Kinematic", "BOOL"},
        {"Solutions", "ProcTime", "REAL_DATETIME"},
        {"Events", "GPSTime", "INTEGER"},
        {"SatObs", "Data", "BLOB"},
        {"sp3_header", "FileName", "Text"},
        {"sp3_header", "Typ", "Integer"},
    };
    for (const auto& [table, column, type] : types) {
        const char* decl = nullptr;
        ASSERT_EQ(sqlite3_table_column_metadata(Db.Handle(), nullptr, table, column, &decl, nullptr,
                                                nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << table << "." << column;
        // Readers compare declared types upper-cased; SQLite reports standard names so.
        EXPECT_STRCASEEQ(decl, type) << table << "." << column;
    }

    const std::vector<std::pair<const char*, int>> counts = {
        {"Ephemeris", 75},     {"Iono", 12},    {"TimeParams", 17},    {"ObjInfo", 15},
        {"Recordsets", 26},    {"Epochs", 8},   {"SatObs", 7},         {"Coordinates", 17},
        {"CoordinatesExt", 8}, {"Velocity", 8}, {"Sites", 3},          {"Files", 16},
        {"FileReceiver", 11},  {"DataSets", 5}, {"RotationMatrix", 6}, {"Almanach", 27},
    };
    for (const auto& [table, n] : counts)
        EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM pragma_table_info('" + std::string(table) + "')"),
                  n)
            << table;
}

TEST_F(SchemaTest, GpsTicksAndIdentifiersReadBackExactly) {
    // Ticks of 0.1 ms near 2040 need more than 53 bits of a double's mantissa to stay exact
    // only as integers; NUMERIC affinity keeps them integers.
    const std::int64_t ticks = 18'934'567'890'123LL;
    Db.Exec("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (5, " + std::to_string(ticks) + ")");
    EXPECT_EQ(Db.Rows("SELECT typeof(GPSTime), GPSTime, EpochID FROM Epochs"),
              (std::vector<std::vector<std::string>>{{"integer", std::to_string(ticks), "1"}}));
    // EpochID is the row id and grows even after the last row was deleted.
    Db.Exec("DELETE FROM Epochs");
    Db.Exec("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (5, 0)");
    EXPECT_EQ(Db.Int("SELECT EpochID FROM Epochs"), 2);
}

TEST_F(SchemaTest, NewProjectHoldsOnlyTheSeedRows) {
    std::set<std::string> seeded;
    for (const auto& [table, n] : kSeedCounts) {
        seeded.insert(table);
        EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM \"" + std::string(table) + "\""), n) << table;
    }
    for (const auto& table : kTables) {
        if (!seeded.count(table)) {
            EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM \"" + table + "\""), 0) << table;
        }
    }
    // The object-identifier counter starts after the largest ObjID: none yet.
    EXPECT_EQ(Db.Int("SELECT MAX(ObjID) FROM ObjInfo"), std::nullopt);
}

TEST_F(SchemaTest, SeedRowsAreExact) {
    using Rows = std::vector<std::vector<std::string>>;
    const std::vector<std::pair<std::string, Rows>> cases = {
        {"SELECT ObjType, ObjClassName, abbr FROM Objects WHERE ObjType IN (0, 2, 13, 14, 31, 33, "
         "34, 35) ORDER BY ObjType",
         {{"0", "Unknown", "OBJ_UNKNOWN"},
          {"2", "Observation File", "OBJ_OBSFILE"},
          {"13", "Stop Vector", "OBJ_VECTOR_STOP"},
          {"14", "Observer", "OBJ_OBSERVER"},
          {"31", "External events (XA,XB)", "OBJ_EXTERNAL_EVENT"},
          {"33", "Static PPP", "OBJ_STATIC_PPP"},
          {"35", "Haldor Project", "OBJ_PROJECT"}}},
        {"SELECT MIN(ObjType), MAX(ObjType), COUNT(DISTINCT abbr) FROM Objects",
         {{"0", "35", "35"}}},
        {"SELECT ID, eOrigFileTyp, Description FROM FileType WHERE ID IN (0, 7, 8, 9, 14, 23, 24) "
         "ORDER BY ID",
         {{"0", "OFT_UNKNOWN", "Unknown"},
          {"7", "OFT_BN_GPS", "RINENX GPS broadcast ephemeris"},
          {"8", "OFT_BN_GLO", "RINENX GLONASS broadcast ephemeris"},
          {"9", "OFT_BN", "RINENX broadcast ephemeris"},
          {"14", "OFT_PN_CLOCKS", "Precise clocks"},
          {"23", "OFT_BIA", "Pseudo-absolute biases (OSB) "},
          {"24", "OFT_RNX", "All RINEX files"}}},
        {"SELECT GNSSid, system, abbr FROM GNSS ORDER BY GNSSid",
         {{"1", "GPS", "SC_GPS"},
          {"2", "GLONASS", "SC_GLONASS"},
          {"3", "SBAS", "SC_WAAS"},
          {"4", "GALILEO", "SC_GALILEO"},
          {"5", "QZSS", "SC_QZSS"},
          {"6", "BEJDOU", "SC_BDS"},
          {"7", "IRNSS", "SC_IRNSS"}}},
        {"SELECT ID, Typ FROM MotionType ORDER BY ID",
         {{"0", "Static"}, {"1", "Dynamic"}, {"2", "Stop&Go"}}},
        {"SELECT BaseType, abbr, ord FROM BaseType ORDER BY BaseType",
         {{"0", "BS_UNKNOWN", "1"},
          {"1", "BS_HARD", "7"},
          {"2", "BS_RTCM_PHIS", "6"},
          {"3", "BS_RTCM_VIRT", "5"},
          {"4", "BS_VIRTUAL", "5"},
          {"5", "BS_ROVER", "0"},
          {"6", "BS_VROVER", "0"}}},
        {"SELECT SnapID, abbr, desc FROM SnapObjType WHERE SnapID IN (0, 4, 8) ORDER BY SnapID",
         {{"0", "stNone", ""}, {"4", "stRINEX", ""}, {"8", "stVirtualBase", ""}}},
        {"SELECT ObjID, TypeID, Field, Value, typeof(Value) FROM Settings WHERE Field IN "
         "('Gen.TimeCreate', 'Gen.Guid', 'Gen.Creator', 'Scenario.EpochGap', "
         "'Scenario.fMaxVectorLengthKm') ORDER BY Field",
         {{"0", "0", "Gen.Creator", "", "text"},
          {"0", "0", "Gen.Guid", "{69D82A08-B796-43BF-8461-7EC48BCF3110}", "text"},
          {"0", "0", "Gen.TimeCreate", "45636.6489364236", "text"},
          {"0", "0", "Scenario.EpochGap", "300", "text"},
          {"0", "0", "Scenario.fMaxVectorLengthKm", "3000.0", "text"}}},
        {"SELECT ObjID FROM ObjID", {{"0"}}},
        {"SELECT Epoch, typeof(Epoch) FROM ProjectEpoch", {{"0.0", "real"}}},
        {"SELECT ID, ParentID, Name FROM CoordinateSystemsGroups WHERE ID < 3 ORDER BY ID",
         {{"1", "0", "Default"}, {"2", "0", "Default"}}},
        {"SELECT CoordSysID, GroupID, Name, Type, Datum <> '', guid <> '' FROM CoordinateSystems "
         "ORDER BY CoordSysID",
         {{"1", "3", "WGS84", "1", "1", "1"},
          {"2", "3", "WGS84(ECEF)", "0", "1", "1"},
          {"3", "3", "World Mercator", "2", "1", "1"}}},
        {"SELECT FileName, TRID FROM ProjectData", {{"templ.hbx", "12"}}},
        {"SELECT num, instr(ver, '1.84.8') > 0 FROM Version", {{"88", "1"}}},
    };
    for (const auto& [sql, expected] : cases) EXPECT_EQ(Db.Rows(sql), expected) << sql;
}

TEST_F(SchemaTest, ViewsReadBySiteRoutinesHaveTheirExactText) {
    const std::vector<std::pair<const char*, const char*>> views = {
        {"VectorsView",
         "SELECT * FROM Vectors WHERE Inverse = 0 UNION SELECT VectorID,RecordsetID2,RecordsetID1,"
         "Inverse,BegTime,EndTime,Duration,Interval,MotionMode,Stop,Visible,Enable FROM Vectors "
         "WHERE Inverse = 1"},
        {"VectSites",
         "SELECT VectorID,r1.SiteID as SiteID1,r2.SiteID as SiteID2, RecordsetID1,RecordsetID2,"
         "Inverse,v.MotionMode as MotionMode FROM VectorsView as v INNER JOIN Recordsets as r1 ON "
         "r1.RecordsetID = v.RecordsetID1 INNER JOIN Recordsets as r2 ON r2.RecordsetID = "
         "v.RecordsetID2"},
        {"SolSites",
         "SELECT s.SolutionID,VectorID,SiteID1,SiteID2,GrndX,GrndY,GrndZ FROM SolutionsStatic as s "
         "INNER JOIN Solutions AS sl ON s.SolutionID = sl.SolutionID INNER JOIN VectSites AS v ON "
         "sl.ParentID = v.VectorID"},
        {"SolCrd",
         "SELECT SolutionID,s.SiteID1 As BaseID,s.SiteID2 As RoverID, sc.X + GrnDX AS X,sc.Y + "
         "GrnDY AS Y,sc.Z + GrnDZ AS Z FROM SolSites AS s INNER JOIN Coordinates AS sc ON sc.ObjID "
         "= s.SiteID1"},
    };
    for (const auto& [name, text] : views) {
        const auto rows = Db.Rows("SELECT sql FROM sqlite_master WHERE type = 'view' AND name = '" +
                                  std::string(name) + "'");
        ASSERT_EQ(rows.size(), 1u) << name;
        EXPECT_EQ(FoldBlanks(rows[0][0]),
                  "CREATE VIEW \"" + std::string(name) + "\" AS " + std::string(text));
    }
}

// A vector between two recordsets of two sites and its static solution give one row of
// SolCrd: the base site's position plus the ground vector.
TEST_F(SchemaTest, SolCrdAddsTheGroundVectorToTheBasePosition) {
    Db.Exec(R"(
        INSERT INTO Recordsets (RecordsetID, DataSetID, BegTime, EndTime, Interval, SiteID, MotionMode, flags, VertexID)
            VALUES (1, 9, 0, 0, 10000, 100, 0, 0, 0), (2, 9, 0, 0, 10000, 200, 0, 0, 0);
        INSERT INTO Coordinates (ObjType, ObjID, SubObjID, PointType, X, Y, Z, SX, SY, SZ)
            VALUES (23, 100, 0, 0, 1000.5, 2000.25, 3000.0, 0, 0, 0);
        INSERT INTO Vectors (VectorID, RecordsetID1, RecordsetID2, Inverse, MotionMode) VALUES (50, 2, 1, 1, 0);
        INSERT INTO Solutions (SolutionID, ParentID, SettingsID, SolutionType, Engine) VALUES (60, 50, 0, 0, 0);
        INSERT INTO SolutionsStatic (SolutionID, GrndX, GrndY, GrndZ) VALUES (60, 1.5, -0.25, 10.0);
    )");
    // The vector is stored inverted: VectorsView turns it round, so site 100 is the base.
    EXPECT_EQ(Db.Rows("SELECT SolutionID, BaseID, RoverID, X, Y, Z FROM SolCrd"),
              (std::vector<std::vector<std::string>>{
                  {"60", "100", "200", "1002.0", "2000.0", "3010.0"}}));
}

TEST_F(SchemaTest, SecondEpochAtTheSameTimeOfADataSetIsRefused) {
    Db.Exec("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (5, 1000)");
    Db.Exec("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (6, 1000)");
    EXPECT_EQ(Db.ExecRc("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (5, 1000)"),
              SQLITE_CONSTRAINT);
    EXPECT_EQ(sqlite3_extended_errcode(Db.Handle()), SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM Epochs"), 2);
}

TEST_F(SchemaTest, RunningTheScriptAgainReplacesTheSchema) {
    Db.Exec("INSERT INTO Epochs (DataSetID, GPSTime) VALUES (5, 1000)");
    Db.Exec("INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (5, 5, 'data set')");
    Db.CreateProject();
    EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM Epochs"), 0);
    EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM ObjInfo"), 0);
    for (const auto& [table, n] : kSeedCounts)
        EXPECT_EQ(Db.Count("SELECT COUNT(*) FROM \"" + std::string(table) + "\""), n) << table;
    EXPECT_EQ(Db.Names("table"), kTables);
    EXPECT_EQ(Db.Names("trigger").size(), 34u);
    EXPECT_EQ(Db.Names("view"), kViews);
}

TEST(SchemaScript, EmbeddedTextIsTheSqlFileByteForByte) {
    std::ifstream in(TOLVAR_SOURCE_DIR "/foundation/zqt_schema.sql", std::ios::binary);
    ASSERT_TRUE(in) << "cannot read foundation/zqt_schema.sql";
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(zqt_schema::ProjectSchemaScript(), file);
    EXPECT_EQ(zqt_schema::ProjectSchemaScript().find('\0'), std::string_view::npos);
}

// With double-quoted strings refused, every quoted identifier of the script must name a
// real table or column; preparing each view checks the views' references.
TEST(SchemaScript, EveryViewResolvesWithStrictQuoting) {
    TestDb db(Quoting::Strict);
    db.CreateProject();
    for (const auto& view : kViews) {
        SCOPED_TRACE(view);
        EXPECT_NO_THROW(db.Rows("SELECT * FROM \"" + view + "\""));
    }
}

TEST(SchemaScript, CreatingAProjectIsFast) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms;
    for (int i = 0; i < 7; ++i) {
        TestDb db;
        const auto start = Clock::now();
        db.CreateProject();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    RecordProperty("median_ms", std::to_string(median));
    std::cout << "[          ] creating a project from the script: median " << median << " ms\n";
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(median, 1000.0);
#else
    EXPECT_LT(median, 100.0);
#endif
}

// ---------------------------------------------------------------------------------------
// Deletions cascading through the triggers

// Two observation files, each with file receiver, data set, epochs and recordsets; the
// first also carries a site, a standalone solution, an event with its event solution, a
// camera assignment and a vector. ObjIDs: file 1, receiver 2, observer 3, file receiver
// 4, data set 5, recordsets 7 and 8, site 9, solution 10, event solution 11; the second
// file's chain uses 20 to 24 and must survive every case.
const char* const kGraph = R"(
INSERT INTO ObjInfo (ObjID, ObjType, Name, LinkObj1, LinkTyp1, LinkObj2, LinkTyp2, Mode) VALUES
    (1, 2, 'file', 0, 0, 0, 0, 0), (2, 3, 'receiver', 0, 0, 0, 0, 0), (3, 14, 'observer', 0, 0, 0, 0, 0),
    (4, 4, 'file receiver', 1, 2, 2, 3, 0), (5, 5, 'data set', 4, 4, 0, 0, 0),
    (7, 6, 'whole', 5, 5, 0, 0, 0), (8, 7, 'piece', 5, 5, 9, 23, 0), (9, 23, 'site', 0, 0, 0, 0, 0),
    (10, 20, 'standalone', 5, 5, 0, 0, 0), (11, 31, 'event solution', 5, 5, 10, 20, 1),
    (20, 2, 'file 2', 0, 0, 0, 0, 0), (21, 3, 'receiver 2', 0, 0, 0, 0, 0),
    (22, 4, 'file receiver 2', 20, 2, 21, 3, 0), (23, 5, 'data set 2', 22, 4, 0, 0, 0),
    (24, 7, 'piece 2', 23, 5, 0, 0, 0);
INSERT INTO Files (FileId, FileName, Typ) VALUES (1, 'a.rtcm3', 5), (20, 'b.rtcm3', 5);
INSERT INTO Receiver (ReceiverID, ReceiverType) VALUES (2, 'R1'), (21, 'R2');
INSERT INTO Observer (ObserverID, ObserverName, ObserverAgency) VALUES (3, 'obs', 'agency');
INSERT INTO FileReceiver (FRcvrID, FileID, ReceiverID, ObserverID) VALUES (4, 1, 2, 3), (22, 20, 21, 0);
INSERT INTO DataSets (DataSetID, FRcvrId, DefaultSolutionID) VALUES (5, 4, 10), (23, 22, 0);
INSERT INTO Epochs (EpochID, DataSetID, GPSTime) VALUES (1, 5, 10000), (2, 5, 20000), (3, 23, 10000);
INSERT INTO SatObs (EpochID, svprn, SatCode, Elevation, Data) VALUES
    (1, 257, 1, 30, x'01'), (1, 258, 1, 40, x'02'), (2, 257, 1, 31, x'03'), (3, 257, 1, 30, x'04');
INSERT INTO RotationMatrix (EpochID, time, q00) VALUES (1, 10000, 1.0), (3, 10000, 1.0);
INSERT INTO SatArray VALUES (5, 257, 1, 10000, 20000, 30, 7, 0), (23, 257, 1, 10000, 10000, 30, 7, 0);
INSERT INTO DSrnxobs (DatasetID, SatCode, obsc) VALUES (5, 1, 1), (23, 1, 1);
INSERT INTO GLOSlots (DatasetID, prn, channel) VALUES (5, 1, 1), (23, 1, 1);
INSERT INTO ObsInfo (DatasetID, sv, slot, types, ChannelID) VALUES (5, 257, 1, 7, 1), (23, 257, 1, 7, 1);
INSERT INTO Recordsets (RecordsetID, RecordsetType, DataSetID, BegTime, EndTime, Interval, SiteID, MotionMode, flags, VertexID)
    VALUES (7, 6, 5, 10000, 20000, 10000, 9, 0, 0, 0), (8, 7, 5, 10000, 20000, 10000, 9, 0, 0, 0),
           (24, 7, 23, 10000, 10000, 10000, 0, 0, 0, 0);
INSERT INTO Sites (SiteID, SnapID, SnapedObjType) VALUES (9, 0, 0);
INSERT INTO Coordinates (CrdID, ObjType, ObjID, SubObjID, PointType, X, Y, Z, SX, SY, SZ) VALUES
    (100, 7, 8, 0, 0, 1, 2, 3, 0, 0, 0), (101, 23, 9, 0, 0, 1, 2, 3, 0, 0, 0),
    (102, 31, 11, 0, 0, 1, 2, 3, 0, 0, 0), (103, 4, 4, 0, 1, 1, 2, 3, 0, 0, 0),
    (104, 20, 10, 10000, 0, 1, 2, 3, 0, 0, 0), (120, 7, 24, 0, 0, 1, 2, 3, 0, 0, 0);
INSERT INTO CoordinatesExt (CrdID) VALUES (100), (120);
INSERT INTO Velocity (CrdID, E, N, U) VALUES (100, 0, 0, 0), (120, 0, 0, 0);
INSERT INTO Solutions (SolutionID, ParentID, SettingsID, SolutionType, Engine) VALUES (10, 5, 0, 0, 0);
INSERT INTO SolutionsStatic (SolutionID) VALUES (10);
INSERT INTO RTK_Results (SolutionID, GPSTime, fix, dX, dY, dZ, sXX, sXY, sXZ, sYY, sYZ, sZZ, pdop, VX, VY, VZ)
    VALUES (10, 10000, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO Residuals VALUES (10, 1, 1, 257, 258, 10000, 0.5);
INSERT INTO ambiguity (SolutionID, typ, freq, sv, GPSTime, value) VALUES (10, 1, 1, 257, 10000, 3.0);
INSERT INTO Events (EventID, ParentID, GPSTime, sod, ev) VALUES (1, 4, 10000, 1.0, 1), (2, 22, 10000, 1.0, 1);
INSERT INTO CamParent (ParentID, EventType, CamID) VALUES (4, 1, 1), (22, 1, 1);
INSERT INTO EvCraftHeading (EventID) VALUES (1), (2);
INSERT INTO Settings (ObjID, TypeID, Field, Value) VALUES (5, 1, 'Mask', '10'), (23, 1, 'Mask', '10');
)";

// Rows of the second file's chain and of the project itself, untouched by every case.
const std::vector<std::pair<const char*, std::int64_t>> kSurvivors = {
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID BETWEEN 20 AND 24", 5},
    {"SELECT COUNT(*) FROM Files WHERE FileId = 20", 1},
    {"SELECT COUNT(*) FROM FileReceiver WHERE FRcvrID = 22", 1},
    {"SELECT COUNT(*) FROM Receiver WHERE ReceiverID = 21", 1},
    {"SELECT COUNT(*) FROM DataSets WHERE DataSetID = 23", 1},
    {"SELECT COUNT(*) FROM Epochs WHERE DataSetID = 23", 1},
    {"SELECT COUNT(*) FROM SatObs WHERE EpochID = 3", 1},
    {"SELECT COUNT(*) FROM RotationMatrix WHERE EpochID = 3", 1},
    {"SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = 24", 1},
    {"SELECT COUNT(*) FROM Coordinates WHERE CrdID = 120", 1},
    {"SELECT COUNT(*) FROM CoordinatesExt WHERE CrdID = 120", 1},
    {"SELECT COUNT(*) FROM Events WHERE EventID = 2", 1},
    {"SELECT COUNT(*) FROM CamParent WHERE ParentID = 22", 1},
    {"SELECT COUNT(*) FROM Settings WHERE ObjID IN (0, 23)", 13},
    {"SELECT COUNT(*) FROM Objects", 35},
};

// Everything that hangs under data set 5.
const std::vector<std::pair<const char*, std::int64_t>> kDataSetGone = {
    {"SELECT COUNT(*) FROM DataSets WHERE DataSetID = 5", 0},
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 5", 0},
    {"SELECT COUNT(*) FROM Epochs WHERE DataSetID = 5", 0},
    {"SELECT COUNT(*) FROM SatObs WHERE EpochID IN (1, 2)", 0},
    {"SELECT COUNT(*) FROM RotationMatrix WHERE EpochID = 1", 0},
    {"SELECT COUNT(*) FROM SatArray WHERE DataSetID = 5", 0},
    {"SELECT COUNT(*) FROM DSrnxobs WHERE DatasetID = 5", 0},
    {"SELECT COUNT(*) FROM GLOSlots WHERE DatasetID = 5", 0},
    {"SELECT COUNT(*) FROM ObsInfo WHERE DatasetID = 5", 0},
    {"SELECT COUNT(*) FROM Recordsets WHERE DataSetID = 5", 0},
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (7, 8)", 0},
    {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 8", 0},
    {"SELECT COUNT(*) FROM CoordinatesExt WHERE CrdID = 100", 0},
    {"SELECT COUNT(*) FROM Velocity WHERE CrdID = 100", 0},
    {"SELECT COUNT(*) FROM Sites WHERE SiteID = 9", 0},
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 9", 0},
    {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 9", 0},
    {"SELECT COUNT(*) FROM Solutions WHERE SolutionID = 10", 0},
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (10, 11)", 0},
    {"SELECT COUNT(*) FROM Coordinates WHERE ObjID IN (10, 11)", 0},
    {"SELECT COUNT(*) FROM SolutionsStatic", 0},
    {"SELECT COUNT(*) FROM RTK_Results", 0},
    {"SELECT COUNT(*) FROM Residuals", 0},
    {"SELECT COUNT(*) FROM ambiguity", 0},
    {"SELECT COUNT(*) FROM Settings WHERE ObjID = 5", 0},
};

// The file receiver 4 with its file and receiver (the data set's parents).
const std::vector<std::pair<const char*, std::int64_t>> kFileGone = {
    {"SELECT COUNT(*) FROM FileReceiver WHERE FRcvrID = 4", 0},
    {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (1, 2, 4)", 0},
    {"SELECT COUNT(*) FROM Files WHERE FileId = 1", 0},
    {"SELECT COUNT(*) FROM Receiver WHERE ReceiverID = 2", 0},
    {"SELECT COUNT(*) FROM Events WHERE ParentID = 4", 0},
    {"SELECT COUNT(*) FROM EvCraftHeading WHERE EventID = 1", 0},
    {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 4", 0},
};

struct CascadeCase {
    const char* name;
    const char* setup;
    const char* action;
    std::vector<std::vector<std::pair<const char*, std::int64_t>>> expect;
};

const std::vector<CascadeCase> kCascades = {
    {"data set ObjInfo row removes the data set, its epochs, recordsets and coordinates, "
     "and the file of its only data set",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 5",
     {kDataSetGone,
      kFileGone,
      {{"SELECT COUNT(*) FROM Observer WHERE ObserverID = 3", 1},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 3", 1}}}},
    {"a second data set keeps its file receiver and file",
     "INSERT INTO DataSets (DataSetID, FRcvrId, DefaultSolutionID) VALUES (30, 4, 0);",
     "DELETE FROM ObjInfo WHERE ObjID = 5",
     {kDataSetGone,
      {{"SELECT COUNT(*) FROM DataSets WHERE DataSetID = 30", 1},
       {"SELECT COUNT(*) FROM FileReceiver WHERE FRcvrID = 4", 1},
       {"SELECT COUNT(*) FROM Files WHERE FileId = 1", 1},
       {"SELECT COUNT(*) FROM Receiver WHERE ReceiverID = 2", 1}}}},
    {"observer ObjInfo row (type 14) removes the observer and its file receivers",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 3",
     {kDataSetGone, kFileGone, {{"SELECT COUNT(*) FROM Observer", 0}}}},
    {"stop vector ObjInfo row (type 13) leaves an observer of the same id alone",
     "INSERT INTO Observer (ObserverID, ObserverName) VALUES (40, 'x');"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (40, 13, 'stop vector');",
     "DELETE FROM ObjInfo WHERE ObjID = 40",
     {{{"SELECT COUNT(*) FROM Observer WHERE ObserverID = 40", 1},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 40", 0}}}},
    {"deleting the observer row removes its ObjInfo row and file receivers",
     "",
     "DELETE FROM Observer WHERE ObserverID = 3",
     {kDataSetGone, kFileGone, {{"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 3", 0}}}},
    {"file receiver ObjInfo row (type 4)",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 4",
     {kDataSetGone, kFileGone, {{"SELECT COUNT(*) FROM Observer", 1}}}},
    {"observation file ObjInfo row (type 2)",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 1",
     {kDataSetGone, kFileGone}},
    {"receiver row", "", "DELETE FROM Receiver WHERE ReceiverID = 2", {kDataSetGone, kFileGone}},
    {"receiver ObjInfo row (type 3)",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 2",
     {kDataSetGone, kFileGone}},
    {"a file receiver shared file and receiver stay while another file receiver uses them",
     "INSERT INTO FileReceiver (FRcvrID, FileID, ReceiverID) VALUES (41, 1, 2);",
     "DELETE FROM FileReceiver WHERE FRcvrID = 4",
     {kDataSetGone,
      {{"SELECT COUNT(*) FROM Files WHERE FileId = 1", 1},
       {"SELECT COUNT(*) FROM Receiver WHERE ReceiverID = 2", 1},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (1, 2)", 2},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 4", 0}}}},
    {"epoch row takes its satellite observations and attitude along",
     "",
     "DELETE FROM Epochs WHERE EpochID = 1",
     {{{"SELECT COUNT(*) FROM SatObs WHERE EpochID = 1", 0},
       {"SELECT COUNT(*) FROM SatObs WHERE EpochID = 2", 1},
       {"SELECT COUNT(*) FROM RotationMatrix WHERE EpochID = 1", 0},
       {"SELECT COUNT(*) FROM Epochs WHERE DataSetID = 5", 1}}}},
    {"coordinates row takes its extension and velocity along",
     "",
     "DELETE FROM Coordinates WHERE CrdID = 100",
     {{{"SELECT COUNT(*) FROM CoordinatesExt WHERE CrdID = 100", 0},
       {"SELECT COUNT(*) FROM Velocity WHERE CrdID = 100", 0}}}},
    {"recordset removes its vectors, coordinates and ObjInfo row; the site stays while "
     "another recordset refers to it",
     "INSERT INTO Vectors (VectorID, RecordsetID1, RecordsetID2, MotionMode) VALUES (50, 7, 8, 0), "
     "(51, 8, 7, 0);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (50, 11, 'v1'), (51, 11, 'v2'), (52, 18, "
     "'s');"
     "INSERT INTO Solutions (SolutionID, ParentID, SettingsID, SolutionType, Engine) VALUES (52, "
     "50, 0, 0, 0);",
     "DELETE FROM Recordsets WHERE RecordsetID = 8",
     {{{"SELECT COUNT(*) FROM Vectors", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (8, 50, 51, 52)", 0},
       {"SELECT COUNT(*) FROM Solutions WHERE SolutionID = 52", 0},
       {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 8", 0},
       {"SELECT COUNT(*) FROM Sites WHERE SiteID = 9", 1},
       {"SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = 7", 1}}}},
    {"the last recordset of a site removes the site",
     "",
     "DELETE FROM Recordsets WHERE DataSetID = 5",
     {{{"SELECT COUNT(*) FROM Sites WHERE SiteID = 9", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID IN (7, 8, 9)", 0},
       {"SELECT COUNT(*) FROM Coordinates WHERE ObjID IN (8, 9)", 0},
       {"SELECT COUNT(*) FROM DataSets WHERE DataSetID = 5", 1}}}},
    {"recordset ObjInfo row removes the recordset",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 8",
     {{{"SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = 8", 0},
       {"SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = 7", 1}}}},
    {"site ObjInfo row (type 23) removes the site and its position",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 9",
     {{{"SELECT COUNT(*) FROM Sites", 0},
       {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 9", 0},
       {"SELECT COUNT(*) FROM Recordsets WHERE DataSetID = 5", 2}}}},
    {"static vector ObjInfo row (type 11) removes the vector and its solutions",
     "INSERT INTO Vectors (VectorID, RecordsetID1, RecordsetID2, MotionMode) VALUES (50, 7, 8, 0);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (50, 11, 'v'), (52, 18, 's');"
     "INSERT INTO Solutions (SolutionID, ParentID, SettingsID, SolutionType, Engine) VALUES (52, "
     "50, 0, 0, 0);",
     "DELETE FROM ObjInfo WHERE ObjID = 50",
     {{{"SELECT COUNT(*) FROM Vectors", 0},
       {"SELECT COUNT(*) FROM Solutions WHERE SolutionID = 52", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 52", 0},
       {"SELECT COUNT(*) FROM Recordsets WHERE DataSetID = 5", 2}}}},
    {"solution ObjInfo row (type 20) removes the solution, its results and event solutions",
     "",
     "DELETE FROM ObjInfo WHERE ObjID = 10",
     {{{"SELECT COUNT(*) FROM Solutions", 0},
       {"SELECT COUNT(*) FROM SolutionsStatic", 0},
       {"SELECT COUNT(*) FROM RTK_Results", 0},
       {"SELECT COUNT(*) FROM Residuals", 0},
       {"SELECT COUNT(*) FROM ambiguity", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 11", 0},
       {"SELECT COUNT(*) FROM Coordinates WHERE ObjID IN (10, 11)", 0},
       {"SELECT COUNT(*) FROM DataSets WHERE DataSetID = 5", 1}}}},
    {"event of kind 1 removes its event solutions, camera assignment and heading",
     "",
     "DELETE FROM Events WHERE EventID = 1",
     {{{"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 11", 0},
       {"SELECT COUNT(*) FROM Coordinates WHERE ObjID = 11", 0},
       {"SELECT COUNT(*) FROM CamParent WHERE ParentID = 4", 0},
       {"SELECT COUNT(*) FROM EvCraftHeading WHERE EventID = 1", 0},
       {"SELECT COUNT(*) FROM Solutions WHERE SolutionID = 10", 1}}}},
    {"event of kind 4 removes nothing else",
     "UPDATE Events SET ev = 4 WHERE EventID = 1;",
     "DELETE FROM Events WHERE EventID = 1",
     {{{"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 11", 1},
       {"SELECT COUNT(*) FROM CamParent WHERE ParentID = 4", 1},
       {"SELECT COUNT(*) FROM EvCraftHeading WHERE EventID = 1", 1}}}},
    {"precise orbit file removes its header and positions",
     "INSERT INTO Files (FileId, Typ) VALUES (60, 10);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (60, 2, 'orbits');"
     "INSERT INTO sp3_header (FileID) VALUES (60);"
     "INSERT INTO sp3_pos (FileID, GPSTime, svprn) VALUES (60, 0, 257), (60, 9000, 257);",
     "DELETE FROM Files WHERE FileId = 60",
     {{{"SELECT COUNT(*) FROM sp3_header", 0},
       {"SELECT COUNT(*) FROM sp3_pos", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 60", 0}}}},
    {"precise orbit header removes its file",
     "INSERT INTO Files (FileId, Typ) VALUES (60, 17);"
     "INSERT INTO sp3_header (FileID) VALUES (60);"
     "INSERT INTO sp3_pos (FileID, GPSTime, svprn) VALUES (60, 0, 257);",
     "DELETE FROM sp3_header WHERE FileID = 60",
     {{{"SELECT COUNT(*) FROM Files WHERE FileId = 60", 0}, {"SELECT COUNT(*) FROM sp3_pos", 0}}}},
    {"clock file ObjInfo row removes the file, its clock header and records",
     "INSERT INTO Files (FileId, Typ) VALUES (61, 14);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (61, 2, 'clocks');"
     "INSERT INTO sp3_clk_header (FileID) VALUES (61);"
     "INSERT INTO sp3_clk (FileID, GPSTime, svprn) VALUES (61, 0, 257), (61, 300000, 257);",
     "DELETE FROM ObjInfo WHERE ObjID = 61",
     {{{"SELECT COUNT(*) FROM Files WHERE FileId = 61", 0},
       {"SELECT COUNT(*) FROM sp3_clk_header", 0},
       {"SELECT COUNT(*) FROM sp3_clk", 0}}}},
    {"a meteorological file touches no orbit or clock table",
     "INSERT INTO Files (FileId, Typ) VALUES (62, 12);"
     "INSERT INTO sp3_header (FileID) VALUES (62); INSERT INTO sp3_clk_header (FileID) VALUES "
     "(62);",
     "DELETE FROM Files WHERE FileId = 62",
     {{{"SELECT COUNT(*) FROM sp3_header", 1}, {"SELECT COUNT(*) FROM sp3_clk_header", 1}}}},
    {"reference point ObjInfo row unlinks snapped sites and removes the point",
     "INSERT INTO ReferencePoints (PointID, Name, X, Y, Z) VALUES (70, 'RP', 1, 2, 3);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (70, 24, 'RP');"
     "UPDATE ObjInfo SET LinkObj1 = 70, LinkTyp1 = 24, Mode = 7 WHERE ObjID = 9;"
     "UPDATE Sites SET SnapID = 70, SnapedObjType = 7 WHERE SiteID = 9;",
     "DELETE FROM ObjInfo WHERE ObjID = 70",
     {{{"SELECT COUNT(*) FROM ReferencePoints", 0},
       {"SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 9 AND LinkObj1 = 0 AND LinkTyp1 = 0 AND Mode = "
        "0",
        1},
       {"SELECT COUNT(*) FROM Sites WHERE SiteID = 9 AND SnapID = 0 AND SnapedObjType = 0", 1}}}},
    {"renaming a reference point's ObjInfo row renames the point",
     "INSERT INTO ReferencePoints (PointID, Name, X, Y, Z) VALUES (70, 'RP', 1, 2, 3);"
     "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (70, 24, 'RP');",
     "UPDATE ObjInfo SET Name = 'RP-2' WHERE ObjID = 70; UPDATE ObjInfo SET Name = 'other' WHERE "
     "ObjID = 9",
     {{{"SELECT COUNT(*) FROM ReferencePoints WHERE PointID = 70 AND Name = 'RP-2'", 1},
       {"SELECT COUNT(*) FROM ReferencePoints WHERE Name = 'other'", 0}}}},
};

void PrintTo(const CascadeCase& c, std::ostream* os) { *os << c.name; }

class SchemaCascade : public ::testing::TestWithParam<CascadeCase> {};

// Strict quoting, so that a trigger naming a column that does not exist fails here.
TEST_P(SchemaCascade, DeleteCascadesThroughTheTriggers) {
    const CascadeCase& c = GetParam();
    SCOPED_TRACE(c.name);
    TestDb db(Quoting::Strict);
    db.CreateProject();
    db.Exec(kGraph);
    db.Exec(c.setup);
    db.Exec(c.action);
    for (const auto& group : c.expect)
        for (const auto& [sql, n] : group) EXPECT_EQ(db.Count(sql), n) << sql;
    for (const auto& [sql, n] : kSurvivors) EXPECT_EQ(db.Count(sql), n) << "survivor: " << sql;
}

std::string CaseName(const ::testing::TestParamInfo<CascadeCase>& info) {
    return "case" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Triggers, SchemaCascade, ::testing::ValuesIn(kCascades), CaseName);

}  // namespace
