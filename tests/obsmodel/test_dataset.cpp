// Data sets on a real project database: a rover stream with station occupations turned
// into its recordsets, the verdicts on occupation records, reference-station streams,
// intervals, gaps and antenna changes, antenna heights from an antennas database, names,
// GLONASS slots and the upload into a project database file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "dataset_test_util.h"
#include "zqt_dirs.h"
#include "zqt_schema.h"

using namespace dataset_test;
using zqt_dataset_dbs::TRBuildSettings;
using zqt_dataset_dbs::TZQS_DataSet;
using zqt_recordset_dbs::TZQS_Recordset;

namespace {

class DataSetTest : public ProjectFixture {
protected:
    std::int64_t CountOfType(std::int32_t ds, int type) {
        return Int(sysutils::Format(
            "SELECT COUNT(*) FROM Recordsets WHERE DataSetID = %d AND RecordsetType = %d", ds,
            type));
    }
    std::int64_t IdOfType(std::int32_t ds, int type, int motion) {
        return Int(
            sysutils::Format("SELECT RecordsetID FROM Recordsets WHERE DataSetID = %d AND "
                             "RecordsetType = %d AND MotionMode = %d",
                             ds, type, motion));
    }
};

std::vector<int> Range(int from, int to) {
    std::vector<int> r;
    for (int s = from; s <= to; ++s) r.push_back(s);
    return r;
}

}  // namespace

TEST_F(DataSetTest, RoverStreamWithStationOccupationsBuildsItsRecordsets) {
    // Names with quotes travel as values, never as SQL text.
    const std::string file = "FILE \"A\" 'B'";
    Receiver->SetName(file);
    auto ds = NewDataSet();
    WriteEpochs(*ds, Range(0, 9));
    // A site occupied while the rover records, then a kinematic period.
    ds->CheckRecord(Occupation(0, 2, 5, "PT01"));
    ds->CheckRecord(Occupation(1, 6, 9, "RUN"));
    ds->FinishWrite();
    const std::int32_t id = ds->GetObjID();

    EXPECT_EQ(Int(sysutils::Format("SELECT Mode FROM Datasets WHERE DataSetID = %d", id)), 2);
    EXPECT_EQ(Int(sysutils::Format("SELECT FRcvrId FROM Datasets WHERE DataSetID = %d", id)),
              Receiver->GetObjID());
    EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", id)), file);
    EXPECT_EQ(ds->GetBegTime(), T0);
    EXPECT_EQ(ds->GetEndTime(), T0 + 9 * Second);

    // The data set's own recordset spans the stream.
    const std::int32_t own = TZQS_DataSet::FindRecordset(*Db, id, 6);
    ASSERT_GT(own, 0);
    EXPECT_EQ(Int(sysutils::Format("SELECT BegTime+0 FROM Recordsets WHERE RecordsetID = %d", own)),
              T0);
    EXPECT_EQ(Int(sysutils::Format("SELECT EndTime+0 FROM Recordsets WHERE RecordsetID = %d", own)),
              T0 + 9 * Second);
    EXPECT_EQ(Int(sysutils::Format("SELECT Interval FROM Recordsets WHERE RecordsetID = %d", own)),
              Second);
    EXPECT_EQ(Int(sysutils::Format("SELECT Size FROM ObjInfo WHERE ObjID = %d", own)), 10);

    // The occupations were kept as records of types 8 and 9 ...
    EXPECT_EQ(CountOfType(id, 8), 1);
    EXPECT_EQ(CountOfType(id, 9), 1);
    EXPECT_EQ(Str("SELECT MarkerName FROM Recordsets WHERE RecordsetType = 8"), "PT01");
    EXPECT_EQ(Str("SELECT _GUID FROM Recordsets WHERE RecordsetType = 8"),
              "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    // ... and each became an output recordset with its own window.
    ASSERT_EQ(CountOfType(id, 7), 2);
    const std::int64_t stat = IdOfType(id, 7, 0), kin = IdOfType(id, 7, 1);
    EXPECT_EQ(
        Int(sysutils::Format("SELECT BegTime+0 FROM Recordsets WHERE RecordsetID = %d", stat)),
        T0 + 2 * Second);
    EXPECT_EQ(Int(sysutils::Format("SELECT EndTime+0 FROM Recordsets WHERE RecordsetID = %d", kin)),
              T0 + 9 * Second);
    EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", stat)), "PT01");
    EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", kin)),
              file + "_go");
    // The static occupation is linked to the output recordset that covers it.
    const std::int64_t occ = Int("SELECT RecordsetID FROM Recordsets WHERE RecordsetType = 8");
    EXPECT_EQ(Int(sysutils::Format("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", occ)), stat);
    EXPECT_EQ(Int(sysutils::Format("SELECT LinkTyp1 FROM ObjInfo WHERE ObjID = %d", occ)), 7);

    // GLONASS slot, signal information and the epochs' intervals.
    EXPECT_EQ(Int(sysutils::Format("SELECT COUNT(*) FROM GLOSlots WHERE DatasetID = %d", id)), 1);
    EXPECT_EQ(
        Int(sysutils::Format("SELECT channel FROM GLOSlots WHERE DatasetID = %d AND prn = 3", id)),
        -4);
    EXPECT_GT(Int(sysutils::Format("SELECT COUNT(*) FROM ObsInfo WHERE DatasetID = %d", id)), 0);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Epochs WHERE Interval = 10000"), 9);
}

TEST_F(DataSetTest, StandaloneSolutionGoesWithItsDataSet) {
    auto ds = NewDataSet();
    auto epoch = std::dynamic_pointer_cast<zqt_epoch_dbs::TZQS_Epoch>(ds->GetEpoch());
    for (int s = 0; s < 3; ++s) {
        epoch->GetCoordinates()->SetXYZ({6378137.0 + s, 0.0, 0.0});
        epoch_test::WriteEpoch(*epoch, T0 + s * Second, Sats(), s);
    }
    ds->FinishWrite();
    const std::int32_t id = ds->GetObjID();
    const std::int64_t solution =
        Int(sysutils::Format("SELECT DefaultSolutionID FROM Datasets WHERE DataSetID = %d", id));
    ASSERT_GT(solution, 0);
    const auto count = [this](const char* Sql, std::int64_t Id) {
        return Int(sysutils::Format(Sql, Id));
    };
    EXPECT_EQ(count("SELECT ParentID FROM Solutions WHERE SolutionID = %d", solution), id);
    EXPECT_EQ(count("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", solution), id);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Coordinates WHERE ObjID = %d", solution), 3);
    // Deleting the data set leaves no row of its solution behind.
    Db->ExecSQL(sysutils::Format("DELETE FROM DataSets WHERE DataSetID = %d", id));
    EXPECT_EQ(count("SELECT COUNT(*) FROM Solutions WHERE SolutionID = %d", solution), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM ObjInfo WHERE ObjID = %d", solution), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Coordinates WHERE ObjID = %d", solution), 0);
}

TEST_F(DataSetTest, OccupationsBeginningTogether) {
    auto ds = NewDataSet();
    WriteEpochs(*ds, Range(0, 9));
    ds->CheckRecord(Occupation(0, 2, 5, "P1"));
    ds->CheckRecord(Occupation(0, 2, 6, "P2"));
    ds->CheckRecord(Occupation(1, 2, 7, "K1"));
    ds->FinishWrite();
    const std::int32_t id = ds->GetObjID();
    EXPECT_EQ(CountOfType(id, 7), 3);
    // Every output recordset is registered once.
    EXPECT_EQ(Int(sysutils::Format("SELECT COUNT(*) FROM ObjInfo o JOIN Recordsets r ON "
                                   "o.ObjID = r.RecordsetID WHERE r.DataSetID = %d AND "
                                   "r.RecordsetType = 7",
                                   id)),
              3);
    EXPECT_EQ(Str(sysutils::Format("SELECT o.Name FROM ObjInfo o JOIN Recordsets r ON o.ObjID = "
                                   "r.RecordsetID WHERE r.DataSetID = %d AND r.RecordsetType = 7 "
                                   "AND r.MotionMode = 1",
                                   id)),
              "FILE_go");
}

TEST_F(DataSetTest, AcceptedOccupationDescribesTheWholeStream) {
    auto ds = NewDataSet();
    WriteEpochs(*ds, Range(0, 4));
    TZQS_Occupation r = Occupation(0, -10, 0, "BASE");
    r.StaticCount = 1;
    ds->AddRecord(r);
    ds->FinishWrite();
    const std::int32_t id = ds->GetObjID();
    EXPECT_EQ(CountOfType(id, 8), 0);
    ASSERT_EQ(CountOfType(id, 7), 1);
    const std::int64_t out = IdOfType(id, 7, 0);
    // The output piece spans the stream and carries the station description.
    EXPECT_EQ(
        Str(sysutils::Format("SELECT MarkerName FROM Recordsets WHERE RecordsetID = %d", out)),
        "BASE");
    EXPECT_EQ(
        Str(sysutils::Format("SELECT AntennaModel FROM Recordsets WHERE RecordsetID = %d", out)),
        "ANT-BASE");
    EXPECT_EQ(Int(sysutils::Format("SELECT EndTime+0 FROM Recordsets WHERE RecordsetID = %d", out)),
              T0 + 4 * Second);
    EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", out)), "FILE");
    EXPECT_EQ(Int(sysutils::Format("SELECT Size FROM ObjInfo WHERE ObjID = %d", out)), 4);
    EXPECT_EQ(Int(sysutils::Format("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", out)), id);
}

TEST_F(DataSetTest, OpenOccupationEndsWithTheLastEpochWritten) {
    // The input ends before the data set is finished: its begin and end time are those of
    // the epochs written so far, never 0.
    auto ds = NewDataSet();
    WriteEpochs(*ds, {2, 3, 7});
    EXPECT_EQ(ds->GetEndTime(), 0) << "set only when the writing ends";
    TZQS_Occupation r = Occupation(1, 5, 0, "RUN");
    r.KinematicCount = 1;
    ds->AddRecord(r);
    const std::int64_t occ = IdOfType(ds->GetObjID(), 9, 1);
    EXPECT_EQ(Int(sysutils::Format("SELECT BegTime+0 FROM Recordsets WHERE RecordsetID = %d", occ)),
              T0 + 5 * Second);
    EXPECT_EQ(Int(sysutils::Format("SELECT EndTime+0 FROM Recordsets WHERE RecordsetID = %d", occ)),
              T0 + 7 * Second);
    // An accepted occupation open before the first epoch describes the data set only.
    r = Occupation(0, 1, 0, "BASE");
    r.StaticCount = 1;
    ds->CheckRecord(r);
    EXPECT_EQ(CountOfType(ds->GetObjID(), 8), 0);
    EXPECT_EQ(ds->GetRecordset()->GetMarkerName(), "BASE");
}

TEST_F(DataSetTest, CheckRecordVerdicts) {
    struct Case {
        std::uint8_t Motion;
        int Static;
        int BegSecond;
        int Mode;         // expected verdict
        int NewType;      // kind of the recordset made for the record, 0 for none
        bool ItemsTaken;  // the data set's recordset took the record's items
    };
    const Case cases[] = {
        {0, 1, -5, 0, 0, true},   // open before the stream: describes it
        {0, 1, 3, 0, 8, true},    // accepted, but begins inside the stream
        {0, 0, -5, 2, 8, false},  // no single static period
        {4, 1, -5, 0, 0, true},   // occupation at a new point, accepted
        {1, 1, 3, 2, 9, false},   // kinematic
        {2, 1, -5, 2, 7, false},  // unknown motion mode keeps the default kind
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "motion " << int(c.Motion) << " static " << c.Static
                                        << " begin " << c.BegSecond);
        auto ds = NewDataSet();
        WriteEpochs(*ds, Range(0, 5));
        TZQS_Occupation r = Occupation(c.Motion, c.BegSecond, 5, "S");
        r.StaticCount = c.Static;
        ds->CheckRecord(r);
        EXPECT_EQ(ds->GetRecordMode(), c.Mode);
        const std::int32_t id = ds->GetObjID();
        for (const int type : {7, 8, 9})
            EXPECT_EQ(CountOfType(id, type), type == c.NewType ? 1 : 0) << type;
        EXPECT_EQ(ds->GetRecordset()->GetMarkerName(), c.ItemsTaken ? "S" : "");
    }
}

TEST_F(DataSetTest, ReferenceStationStreamsAreNotCut) {
    auto rtcm = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFakeObsFile>(nullptr, Db);
    rtcm->SetFileType(5);
    auto rinex = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFakeObsFile>(nullptr, Db);
    rinex->SetFileType(2);
    struct Case {
        std::uint8_t Base;
        std::shared_ptr<TFakeObsFile> File;
        bool Static;
    };
    const Case cases[] = {{2, nullptr, true}, {3, nullptr, true}, {1, rtcm, true},
                          {1, rinex, false},  {4, rtcm, false},   {0, nullptr, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "base type " << int(c.Base));
        Receiver->BaseType = c.Base;
        Receiver->ObsFile = c.File;
        auto ds = NewDataSet();
        WriteEpochs(*ds, Range(0, 3));
        // An occupation record with nothing to cover it keeps its link to the data set.
        ds->CheckRecord(Occupation(0, 1, 2, "P"));
        ds->FinishWrite();
        Db->Commit();
        EXPECT_EQ(CountOfType(ds->GetObjID(), 7), c.Static ? 0 : 1);
        const std::int64_t occ = IdOfType(ds->GetObjID(), 8, 0);
        EXPECT_EQ(Int(sysutils::Format("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", occ)),
                  c.Static ? ds->GetObjID() : IdOfType(ds->GetObjID(), 7, 0));
    }
}

TEST_F(DataSetTest, IntervalOfTheStream) {
    // One epoch only: an interval of one tick, one output recordset without length.
    auto one = NewDataSet();
    WriteEpochs(*one, {0});
    one->FinishWrite();
    ASSERT_EQ(CountOfType(one->GetObjID(), 7), 1);
    const std::int64_t out = IdOfType(one->GetObjID(), 7, 0);
    EXPECT_EQ(Int(sysutils::Format("SELECT Size FROM ObjInfo WHERE ObjID = %d", out)), 0);
    EXPECT_EQ(Int(sysutils::Format("SELECT Interval FROM Recordsets WHERE RecordsetID = %d", out)),
              10000);

    // No epoch with a step: the mean step goes to every epoch after the first.
    Db->Commit();
    auto ds = NewDataSet();
    WriteEpochs(*ds, {0, 2, 4, 6});
    Db->ExecSQL("UPDATE Epochs SET Interval = 0");
    ds->FinishWrite();
    const std::int32_t id = ds->GetObjID();
    EXPECT_EQ(Int(sysutils::Format(
                  "SELECT Interval FROM Epochs WHERE DataSetID = %d ORDER BY GPSTime LIMIT 1", id)),
              0);
    EXPECT_EQ(Int(sysutils::Format(
                  "SELECT COUNT(*) FROM Epochs WHERE DataSetID = %d AND Interval = 20000", id)),
              3);
}

TEST_F(DataSetTest, StreamWithoutEpochsGivesNoOutput) {
    auto ds = NewDataSet();
    ds->GetEpoch();
    ds->FinishWrite();
    EXPECT_EQ(CountOfType(ds->GetObjID(), 6), 1);
    EXPECT_EQ(CountOfType(ds->GetObjID(), 7), 0);
}

TEST_F(DataSetTest, PiecesBetweenGapsAndAntennaChanges) {
    struct Occ {
        int Beg, End;
        const char* Antenna;
    };
    struct Piece {
        int Beg, End;
        const char* Antenna;
        const char* Name;
    };
    struct Case {
        const char* Title;
        int Mode;
        std::vector<Occ> Occs;
        std::vector<Piece> Pieces;
    };
    const std::vector<Case> cases = {
        {"gap only", 0, {}, {{0, 9, "", "FILE"}, {30, 39, "", "FILE"}}},
        {"antenna change",
         1,
         {{2, 6, "A"}, {25, 35, "B"}},
         {{0, 9, "A", "FILE"}, {30, 39, "B", "FILE"}}},
        {"change inside a span",
         1,
         {{0, 4, "A"}, {5, 9, "B"}, {30, 35, "B"}},
         {{0, 4, "A", "FILE_001"}, {5, 9, "B", "FILE_002"}, {30, 39, "B", "FILE"}}},
        {"back to the first antenna",
         1,
         {{0, 2, "A"}, {3, 5, "B"}, {6, 9, "A"}},
         {{0, 2, "A", "FILE_001"},
          {3, 5, "B", "FILE_002"},
          {6, 9, "A", "FILE_003"},
          {30, 39, "", "FILE"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Title);
        auto ds = NewDataSet();
        std::vector<int> seconds = Range(0, 9);
        for (int s = 30; s <= 39; ++s) seconds.push_back(s);
        WriteEpochs(*ds, seconds);
        ds->FinishWrite();
        Db->Commit();
        const std::int32_t id = ds->GetObjID();
        // Start again from the data set's own recordset, with occupation records of the
        // antennas and a gap of more than two intervals.
        Db->ExecSQL(sysutils::Format(
            "DELETE FROM ObjInfo WHERE ObjID IN (SELECT RecordsetID FROM Recordsets WHERE "
            "DataSetID = %d AND RecordsetType <> 6)",
            id));
        Db->ExecSQL(sysutils::Format(
            "DELETE FROM Recordsets WHERE DataSetID = %d AND RecordsetType <> 6", id));
        Db->ExecSQL(
            sysutils::Format("UPDATE Datasets SET Mode = %d WHERE DataSetID = %d", c.Mode, id));
        for (const Occ& o : c.Occs) {
            TZQS_Occupation r = Occupation(0, o.Beg, o.End, "X");
            r.AntennaName = o.Antenna;
            TZQS_Recordset::CreateNewForOccupation(ds->Intf(), nullptr, ds, r)->ExecuteWrite();
        }
        TRBuildSettings settings;
        settings.MaxGap = 2;
        TZQS_DataSet::BuildRecordsets(Db, id, settings, false);

        const auto rows = Db->SelectMatrix(sysutils::Format(
            "SELECT r.BegTime - %d, r.EndTime - %d, r.AntennaModel, o.Name FROM Recordsets r "
            "JOIN ObjInfo o ON o.ObjID = r.RecordsetID WHERE r.DataSetID = %d AND "
            "r.RecordsetType = 7 ORDER BY r.BegTime",
            T0, T0, id));
        ASSERT_EQ(rows.size(), c.Pieces.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(zqt_variant::VarToInt64Z(rows[k][0]), c.Pieces[k].Beg * Second) << k;
            EXPECT_EQ(zqt_variant::VarToInt64Z(rows[k][1]), c.Pieces[k].End * Second) << k;
            EXPECT_EQ(zqt_variant::VarToStrZ(rows[k][2]), c.Pieces[k].Antenna) << k;
            EXPECT_EQ(zqt_variant::VarToStrZ(rows[k][3]), c.Pieces[k].Name) << k;
        }
    }
}

TEST_F(DataSetTest, AntennaHeightsFromTheAntennasDatabase) {
    sqlite_like::TempFile tmp;
    // A folder name with quotes and blanks: the path must never be pasted into SQL.
    const std::filesystem::path dir = tmp.Dir / "ant\"s 'db";
    std::filesystem::create_directory(dir);
    const std::string antennas = (dir / "antennas.db3").string();
    {
        auto a = zqt_db::TPellamDatabase::Create(antennas);
        a->Exec(
            "CREATE TABLE tab_Aliases (Alias TEXT, ID TEXT);"
            "CREATE TABLE tab_Antennas (ID TEXT, Radius REAL, MeasurePointHeight REAL);"
            "CREATE TABLE tab_AzimuthPhaseCenterVariations (Id TEXT);"
            "INSERT INTO tab_Aliases VALUES ('ANT-BASE', 'CAT 1');"
            "INSERT INTO tab_Antennas VALUES ('CAT 1', 200, 50);");
    }
    zqt_dirs::TZQS_Dirs::Setup(antennas, "");
    auto ds = NewDataSet();
    WriteEpochs(*ds, Range(0, 4));
    TZQS_Occupation r = Occupation(0, -10, 0, "BASE");
    r.StaticCount = 1;
    ds->AddRecord(r);                             // known to the catalogue, slant height
    ds->CheckRecord(Occupation(0, 1, 3, "ROV"));  // unknown model
    ds->FinishWrite();
    // Run inside an open transaction, the reduction leaves one open.
    ASSERT_TRUE(Db->InTransaction());
    TZQS_DataSet::BuildRecordsets(Db, ds->GetObjID(), TRBuildSettings{}, true);
    zqt_dirs::TZQS_Dirs::Reset();
    EXPECT_TRUE(Db->InTransaction());

    const std::int32_t own = TZQS_DataSet::FindRecordset(*Db, ds->GetObjID(), 6);
    EXPECT_EQ(
        Str(sysutils::Format("SELECT AntennaNGSModel FROM Recordsets WHERE RecordsetID = %d", own)),
        "CAT 1");
    const double vertical = zqt_variant::VarToFloatZ(Db->QueryValue(sysutils::Format(
        "SELECT AntennaVerticalHeight FROM Recordsets WHERE RecordsetID = %d", own)));
    EXPECT_NEAR(vertical, std::sqrt(1.5 * 1.5 - 0.2 * 0.2) - 0.05, 1e-12);
    EXPECT_EQ(zqt_variant::VarToFloatZ(Db->QueryValue(
                  "SELECT AntennaVerticalHeight FROM Recordsets WHERE RecordsetType = 8")),
              1.5);
    EXPECT_EQ(Str("SELECT AntennaNGSModel FROM Recordsets WHERE RecordsetType = 8"), "");
    // The catalogue is detached again.
    EXPECT_EQ(Int("SELECT COUNT(*) FROM pragma_database_list WHERE name = 'igs'"), 0);
}

TEST_F(DataSetTest, DisplayNames) {
    struct Case {
        int AntCount;
        std::uint8_t Antenna;
        const char* Name;
    };
    const Case cases[] = {{1, 0, "FILE"}, {2, 0, "FILE_a"}, {2, 1, "FILE_b"}, {30, 27, "FILE_27"}};
    for (const Case& c : cases) {
        Receiver->AntCount = c.AntCount;
        auto ds = NewDataSet();
        ds->SetAntennaNumber(c.Antenna);
        EXPECT_EQ(ds->GetDisplayName(), c.Name);
        EXPECT_EQ(ds->GetName(), c.Name);
    }
    auto named = NewDataSet();
    named->SetName("OWN");
    EXPECT_EQ(named->GetName(), "OWN");
}

TEST_F(DataSetTest, GlonassSlotsReadBackOnlyValidRows) {
    Db->ExecSQL(
        "INSERT INTO GLOSlots VALUES (5, 0, 1), (5, 255, 2), (5, -3, 3), (5, 3, 500), "
        "(5, 4, -7), (5, 254, 6), (6, 1, 1)");
    zqt_obs_intrf::TGloChannels table{};
    TZQS_DataSet::LoadGLOSlots(*Db, table, 5);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int expected = i == 3 ? -7 : i == 253 ? 6 : 127;
        EXPECT_EQ(table[i], expected) << i;
    }
}

TEST_F(DataSetTest, RecordsetsOfATypeInTimeOrder) {
    // (id, type, data set, begin): two pieces of data set 5 stored out of time order, its
    // own recordset (6), an occupation record (8) and another data set's piece.
    const std::vector<std::array<std::int64_t, 4>> rows = {
        {30, 7, 5, 5000}, {10, 7, 5, 9000}, {20, 7, 5, 1000}, {40, 6, 5, 0},
        {50, 8, 5, 2000}, {60, 7, 6, 0},    {70, 7, 5, 5000}};
    for (const auto& r : rows)
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,"
            "EndTime,Interval,MotionMode,flags,VertexID) VALUES(%d,%d,%d,%d,%d,10000,0,0,0)",
            r[0], r[1], r[2], r[3], r[3] + 1000));
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(TZQS_DataSet::FindRecordsets(*Db, 5, 7), (V{20, 30, 70, 10}));
    EXPECT_EQ(TZQS_DataSet::FindRecordsets(*Db, 5, 6), V{40});
    EXPECT_EQ(TZQS_DataSet::FindRecordsets(*Db, 6, 7), V{60});
    EXPECT_TRUE(TZQS_DataSet::FindRecordsets(*Db, 7, 7).empty());
}

TEST_F(DataSetTest, LoadsByIdentifier) {
    auto ds = NewDataSet();
    ds->SetAntennaNumber(1);
    WriteEpochs(*ds, Range(0, 2));
    ds->FinishWrite();
    auto loaded = TZQS_DataSet::CreateLoad(Db, ds->GetObjID());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetFRcvrId(), Receiver->GetObjID());
    EXPECT_EQ(loaded->GetAntennaNumber(), 1);
    EXPECT_EQ(loaded->GetBegTime(), T0);
    EXPECT_EQ(loaded->GetEndTime(), T0 + 2 * Second);
    EXPECT_EQ(loaded->GetName(), ds->GetName());
    EXPECT_FALSE(TZQS_DataSet::CreateLoad(Db, 999999));
}

TEST_F(DataSetTest, UploadIntoAProjectFile) {
    sqlite_like::TempFile tmp;
    const std::string projectFile = (tmp.Dir / "pro\"ject's file.db3").string();
    {
        auto p = epoch_test::NewProjectDb(projectFile);
        p->ExecSQL("INSERT INTO Epochs (EpochID, DataSetID, GPSTime) VALUES (41, 1, 5)");
    }
    auto work = epoch_test::NewProjectDb((tmp.Dir / "work.db3").string());
    auto ds = TZQS_DataSet::CreateNew(Receiver->Intf(), work);
    // The GLONASS code-phase biases applied to its phases travel with the data set.
    const zqt_obs_intrf::TGloPhaseBiases biases{-8.1, 0.0, 0.0, 2.5};
    ds->SetGloPhaseBiases(biases);
    WriteEpochs(*ds, Range(0, 2));
    ds->FinishWrite();
    work->Commit();

    EXPECT_THROW(TZQS_DataSet::Upload(*ds, ""), zqt_types_bs::ExceptionZQS);
    EXPECT_THROW(TZQS_DataSet::Upload(*ds, work->GetFileName()), zqt_types_bs::ExceptionZQS);

    TZQS_DataSet::Upload(*ds, projectFile);
    const auto attached = [&] {
        return work->QueryInt("SELECT COUNT(*) FROM pragma_database_list WHERE name = 'proj'");
    };
    EXPECT_EQ(attached(), 0);
    {
        auto p = zqt_db::TPellamDatabase::Create(projectFile);
        EXPECT_EQ(p->QueryInt("SELECT COUNT(*) FROM Epochs"), 4);
        EXPECT_EQ(p->QueryInt("SELECT MIN(EpochID) FROM SatObs"), 42);
        EXPECT_EQ(p->QueryInt(sysutils::Format("SELECT COUNT(*) FROM Datasets WHERE DataSetID = %d",
                                               ds->GetObjID())),
                  1);
        EXPECT_EQ(TZQS_DataSet::LoadGloPhaseBiases(*p, ds->GetObjID()), biases);
    }
    // A second upload collides with the rows already there: nothing is half-copied and the
    // project file is detached again.
    EXPECT_THROW(TZQS_DataSet::Upload(*ds, projectFile), SQLiteExt::ESQLiteException);
    EXPECT_EQ(attached(), 0);
    auto p = zqt_db::TPellamDatabase::Create(projectFile);
    EXPECT_EQ(p->QueryInt("SELECT COUNT(*) FROM Epochs"), 4);
}
