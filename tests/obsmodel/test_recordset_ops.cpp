// Recordset operations on a real project database: splitting into hourly pieces (windows,
// names, sizes, gaps, unknown intervals, explicit starts, failures that leave the recordset
// as it was), copying the own recordsets with their intervals and positions, and the
// averaged static position with its filters.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dataset_test_util.h"
#include "zqt_geo.h"

using namespace dataset_test;
using sysutils::Format;
using zqt_dataset_dbs::TZQS_DataSet;
using zqt_recordset_dbs::TZQS_Recordset;

namespace {

constexpr std::int64_t Hour = 36'000'000;
constexpr std::int64_t Minute = 600'000;
constexpr std::int64_t H0 = (T0 / Hour) * Hour;  // 00:00 of the tests' clock

std::int64_t At(int Minutes) { return H0 + Minutes * Minute; }

struct RPiece {
    std::int64_t Beg, End;
    std::string Name;
    std::int64_t Size;
    bool operator==(const RPiece&) const = default;
};
std::ostream& operator<<(std::ostream& os, const RPiece& p) {
    return os << p.Name << " [" << (p.Beg - H0) / Minute << "," << (p.End - H0) / Minute << "] "
              << p.Size;
}

class RecordsetOpsTest : public ProjectFixture {
protected:
    std::shared_ptr<TZQS_DataSet> DataSet(const std::vector<std::int64_t>& Epochs,
                                          std::int64_t Interval) {
        auto ds = NewDataSet();
        ds->ExecuteWrite();
        for (const std::int64_t t : Epochs)
            Db->ExecSQL(Format("INSERT INTO Epochs (DataSetID,GPSTime,Interval) VALUES (%d,%d,%d)",
                               ds->GetObjID(), t, Interval));
        return ds;
    }
    // A recordset named RS with one Coordinates row.
    std::int32_t Recordset(TZQS_DataSet& Ds, std::uint8_t Type, std::int64_t Beg, std::int64_t End,
                           std::int64_t Interval) {
        auto rs = TZQS_Recordset::CreateWithParent(Ds.Intf());
        rs->SetRecordsetType(Type);
        rs->SetBegTime(Beg);
        rs->SetEndTime(End);
        rs->SetInterval(static_cast<std::int32_t>(Interval));
        rs->SetMarkerName("RS");
        rs->SetMotionMode(1);
        rs->ExecuteWrite();
        Db->ExecSQL(
            Format("INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,"
                   "SZ) VALUES (%d,%d,0,0,1,2,3,0,0,0)",
                   Type, rs->GetObjID()));
        return rs->GetObjID();
    }
    std::vector<RPiece> Read(const std::vector<zqt_types_bs::RObjID>& Ids) {
        std::vector<RPiece> out;
        for (const auto& id : Ids) {
            const std::string w = Format("WHERE ObjID = %d", id.ObjID);
            out.push_back(
                {Int(Format("SELECT BegTime + 0 FROM Recordsets WHERE RecordsetID = %d", id.ObjID)),
                 Int(Format("SELECT EndTime + 0 FROM Recordsets WHERE RecordsetID = %d", id.ObjID)),
                 Str("SELECT Name FROM ObjInfo " + w), Int("SELECT Size FROM ObjInfo " + w)});
        }
        return out;
    }
    std::vector<std::int64_t> Every10Minutes(int From, int To) {
        return Every(At(From), At(To), 10 * Minute);
    }
    static std::vector<std::int64_t> Every(std::int64_t From, std::int64_t To, std::int64_t Step) {
        std::vector<std::int64_t> v;
        for (std::int64_t t = From; t <= To; t += Step) v.push_back(t);
        return v;
    }
};

}  // namespace

TEST_F(RecordsetOpsTest, SplitIntoHourlyPieces) {
    struct RSetup {
        std::int64_t Interval;  // of the epochs and the recordset
        int Beg, End;           // the recordset's window (minutes)
        std::int64_t Start;
    };
    struct Case {
        const char* What;
        std::vector<std::int64_t> Epochs;  // of the data set
        RSetup S;
        std::vector<RPiece> Pieces;
    };
    const std::int64_t I = 10 * Minute;
    const Case cases[] = {
        {"00:20 to 02:10 inside a longer stream",
         Every10Minutes(0, 170),
         {I, 20, 130, 0},
         {{At(20), At(50), "RS_001", 4},
          {At(60), At(110), "RS_002", 6},
          {At(120), At(130), "RS_003", 2}}},
        {"interval equal to the step: the last piece starts at End",
         {At(0), At(60), At(120)},
         {Hour, 0, 120, 0},
         {{At(0), At(0), "RS_001", 1},
          {At(60), At(60), "RS_002", 1},
          {At(120), At(120), "RS_003", 1}}},
        {"an epoch at End on an hour boundary stays",
         Every10Minutes(20, 120),
         {I, 20, 120, 0},
         {{At(20), At(50), "RS_001", 4},
          {At(60), At(110), "RS_002", 6},
          {At(120), At(120), "RS_003", 1}}},
        {"no piece for the hours of a gap",
         {At(20), At(30), At(190), At(200)},
         {I, 20, 200, 0},
         {{At(20), At(30), "RS_001", 2}, {At(190), At(200), "RS_002", 2}}},
        {"interval 0: a single epoch", {At(90)}, {0, 90, 90, 0}, {{At(90), At(90), "RS_001", 1}}},
        {"interval 0: a piece per hour with epochs",
         {At(30), At(150)},
         {0, 30, 150, 0},
         {{At(30), At(30), "RS_001", 1}, {At(150), At(150), "RS_002", 1}}},
        // Clock hours whatever the interval: epochs two hours apart, and 7-minute and 7-second
        // epochs whose hours hold no whole number of intervals.
        {"epochs two hours apart",
         {At(0), At(120), At(240)},
         {2 * Hour, 0, 240, 0},
         {{At(0), At(0), "RS_001", 1},
          {At(120), At(120), "RS_002", 1},
          {At(240), At(240), "RS_003", 1}}},
        {"7-minute epochs",
         Every(At(0), At(180), 7 * Minute),
         {7 * Minute, 0, 180, 0},
         {{At(0), At(56), "RS_001", 9},
          {At(63), At(119), "RS_002", 9},
          {At(126), At(175), "RS_003", 8}}},
        {"7-second epochs",
         Every(At(0), At(130), 70'000),
         {70'000, 0, 130, 0},
         {{At(0), At(0) + 3598 * 10'000, "RS_001", 515},
          {At(60) + 5 * 10'000, At(120) - 4 * 10'000, "RS_002", 514},
          {At(120) + 3 * 10'000, At(130) - 2 * 10'000, "RS_003", 86}}},
        {"explicit start: pieces of one step that do not overlap",
         Every10Minutes(20, 130),
         {I, 20, 130, At(30)},
         {{At(30), At(90) - 1, "RS_001", 6}, {At(90), At(130), "RS_002", 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto ds = DataSet(c.Epochs, c.S.Interval);
        const std::int32_t id = Recordset(*ds, 7, At(c.S.Beg), At(c.S.End), c.S.Interval);
        const std::int64_t objInfo = Int("SELECT COUNT(*) FROM ObjInfo");
        std::vector<zqt_types_bs::RObjID> pieces(1);
        TZQS_Recordset::SplitRecordsetByTime(pieces, Db, id, static_cast<std::int32_t>(Hour),
                                             c.S.Start);
        EXPECT_EQ(Read(pieces), c.Pieces);
        // The old row is gone, and with it (the schema's delete cascade) its position; its
        // registry row stays; each piece is an output recordset of the data set with the
        // interval and a copy of the position.
        EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = %d", id)), 0);
        EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM ObjInfo WHERE ObjID = %d", id)), 1);
        EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM Coordinates WHERE ObjID = %d", id)), 0);
        EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo"),
                  objInfo + static_cast<std::int64_t>(pieces.size()));
        for (const auto& p : pieces) {
            EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM Recordsets WHERE RecordsetID = %d AND "
                                 "RecordsetType = 7 AND DataSetID = %d AND Interval = %d",
                                 p.ObjID, ds->GetObjID(), c.S.Interval)),
                      1);
            EXPECT_EQ(
                Int(Format("SELECT COUNT(*) FROM Coordinates WHERE ObjID = %d AND Z = 3", p.ObjID)),
                1);
        }
    }
}

TEST_F(RecordsetOpsTest, FailedSplitLeavesTheRecordsetAsItWas) {
    auto ds = DataSet(Every10Minutes(0, 170), 10 * Minute);
    const std::int32_t id = Recordset(*ds, 7, At(20), At(130), 10 * Minute);
    const auto unchanged = [&] {
        EXPECT_EQ(Int(Format("SELECT RecordsetType FROM Recordsets WHERE RecordsetID = %d", id)),
                  7);
        EXPECT_EQ(Int("SELECT COUNT(*) FROM Recordsets"), 1);
        EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 1);
    };
    std::vector<zqt_types_bs::RObjID> pieces;

    // A negative piece length, an explicit start at the end.
    struct Refusal {
        std::int64_t PieceLength, Start;
        const char* Class;
        const char* Message;
    };
    const Refusal refusals[] = {
        {-Hour, 0, "Exception", "Bad interval -36000000"},
        {Hour, At(130), "ExceptionZQS", "TZQS_Recordset.SplitRecordsetByTime wrong start time"}};
    for (const Refusal& r : refusals) {
        try {
            TZQS_Recordset::SplitRecordsetByTime(pieces, Db, id,
                                                 static_cast<std::int32_t>(r.PieceLength), r.Start);
            ADD_FAILURE() << "no exception";
        } catch (const sysutils::Exception& e) {
            EXPECT_STREQ(e.ClassName(), r.Class);
            EXPECT_EQ(e.Message(), r.Message);
        }
        unchanged();
    }

    // An SQL error at the second piece (its id is taken), alone and inside an open
    // transaction whose earlier work stays.
    for (const bool outer : {false, true}) {
        SCOPED_TRACE(outer);
        if (outer) {
            Db->BeginTransaction();
            Db->ExecSQL("INSERT INTO Settings (ObjID,TypeID,Field) VALUES (1,1,'KEPT')");
        }
        const auto next = zqt_project::TZQS_Project::NewObjID() + 2;
        Db->ExecSQL(Format("INSERT INTO ObjInfo (ObjID,ObjType,Name) VALUES (%d,1,'TAKEN')", next));
        EXPECT_THROW(TZQS_Recordset::SplitRecordsetByTime(pieces, Db, id,
                                                          static_cast<std::int32_t>(Hour), 0),
                     SQLiteExt::ESQLiteUniqueConstrain);
        EXPECT_TRUE(pieces.empty());
        unchanged();
        if (outer) {
            EXPECT_TRUE(Db->InTransaction());
            Db->Commit();
            EXPECT_EQ(Str("SELECT Field FROM Settings WHERE ObjID = 1 AND TypeID = 1"), "KEPT");
        }
    }

    // Nothing to do: no piece length, no such recordset.
    pieces.resize(2);
    TZQS_Recordset::SplitRecordsetByTime(pieces, Db, id, 0, 0);
    EXPECT_EQ(pieces.size(), 2u);
    TZQS_Recordset::SplitRecordsetByTime(pieces, Db, 4242, static_cast<std::int32_t>(Hour), 0);
    EXPECT_TRUE(pieces.empty());
    unchanged();
}

TEST_F(RecordsetOpsTest, CopyOwnRecordsetsWithIntervalsAndPositions) {
    // A: epochs mostly 1 s apart, a position of its own. B: no epochs, its file receiver's
    // static position. C: the average of its default solution.
    auto a = DataSet({At(0), At(0) + 10000, At(0) + 20000, At(0) + 40000}, 10000);
    Db->ExecSQL(Format("UPDATE Epochs SET Interval = 20000 WHERE GPSTime = %d", At(0) + 40000));
    const std::int32_t ownA = Recordset(*a, 6, At(0), At(0) + 40000, 5000);
    auto b = DataSet({}, 0);
    const std::int32_t ownB = Recordset(*b, 6, At(0), At(10), 30000);
    Db->ExecSQL(Format("DELETE FROM Coordinates WHERE ObjID = %d", ownB));
    Db->ExecSQL(
        Format("INSERT INTO FileReceiver (FRcvrID,FileID) VALUES (%d,0)", Receiver->GetObjID()));
    Db->ExecSQL(
        Format("INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ) "
               "VALUES (4,%d,0,1,7,8,9,0,0,0)",
               Receiver->GetObjID()));
    Receiver = TFakeFileReceiver::Make(Db);
    auto c = DataSet({}, 0);
    const std::int32_t ownC = Recordset(*c, 6, At(0), At(10), 10000);
    Db->ExecSQL(Format("DELETE FROM Coordinates WHERE ObjID = %d", ownC));
    Db->ExecSQL(
        Format("UPDATE Datasets SET DefaultSolutionID = 900 WHERE DataSetID = %d", c->GetObjID()));
    Db->ExecSQL(
        "INSERT INTO Solutions (SolutionID,ParentID,SettingsID,SolutionType,Engine) VALUES "
        "(900,0,0,0,0)");
    Db->ExecSQL(
        "INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ) VALUES "
        "(18,900,5,0,10,20,30,1,1,1),(18,900,6,0,20,40,60,1,1,1)");

    // All or nothing: a failing insert undoes the whole copy.
    Db->ExecSQL(
        "CREATE TEMP TRIGGER refuse BEFORE INSERT ON Coordinates BEGIN SELECT RAISE(ABORT,'no'); "
        "END");
    EXPECT_THROW(TZQS_Recordset::CopyOwnRecordsets(Db), SQLiteExt::ESQLiteException);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Recordsets WHERE RecordsetType = 7"), 0);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo WHERE ObjType = 7"), 0);
    Db->ExecSQL("DROP TRIGGER refuse");

    TZQS_Recordset::CopyOwnRecordsets(Db);
    struct Case {
        std::int32_t Own;
        std::int64_t Interval;
        double X;
    };
    const Case cases[] = {{ownA, 10000, 1}, {ownB, 30000, 7}, {ownC, 10000, 15}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Own);
        const std::int64_t copy = Int(Format(
            "SELECT r.RecordsetID FROM Recordsets r JOIN Recordsets o ON o.DataSetID = r.DataSetID "
            "WHERE o.RecordsetID = %d AND r.RecordsetType = 7 AND r.MotionMode = 0",
            k.Own));
        ASSERT_GT(copy, 0);
        for (const std::int64_t id : {static_cast<std::int64_t>(k.Own), copy}) {
            EXPECT_EQ(Int(Format("SELECT Interval FROM Recordsets WHERE RecordsetID = %d", id)),
                      k.Interval);
            EXPECT_EQ(
                Int(Format("SELECT X FROM Coordinates WHERE ObjID = %d AND PointType = 0", id)),
                k.X);
        }
        EXPECT_EQ(Str(Format("SELECT Name FROM ObjInfo WHERE ObjID = %d AND ObjType = 7", copy)),
                  "RS");
    }
}

TEST_F(RecordsetOpsTest, AverageStaticPositionAndItsFilters) {
    double px, py, pz;
    zqt_geo::BLHToXYZ(45.0, 10.0, 100.0, px, py, pz);
    struct Row {
        double Offset, Sigma, Rms, Alt;
        int Minute;  // of the solution's epoch
    };
    const Row good[] = {{1.0, 1.0, 1.0, 100, 10}, {-2.0, 2.0, 5.0, 100, 20}};
    const Row bad[] = {{100, 1, 0.0, 100, 30},
                       {100, 1, 30.0, 100, 31},
                       {100, 1, 1.0, 20000, 32},
                       {100, 1, 1.0, -1500, 33},
                       {100, 1, 1.0, 100, 90}};  // outside the window
    auto ds = DataSet({}, 0);
    Db->ExecSQL(
        Format("UPDATE Datasets SET DefaultSolutionID = 900 WHERE DataSetID = %d", ds->GetObjID()));
    const std::int32_t id = Recordset(*ds, 7, At(0), At(60), 10000);
    Db->ExecSQL(Format("DELETE FROM Coordinates WHERE ObjID = %d", id));
    Db->ExecSQL(
        Format("UPDATE Recordsets SET AntennaDeltaH = 0.6, AntennaVerticalHeight = 0.4 "
               "WHERE RecordsetID = %d",
               id));
    const auto add = [&](const Row& r) {
        const double d = r.Offset;
        Db->ExecSQL(
            Format("INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,ALT,"
                   "SX,SY,SZ) VALUES (18,900,%d,0,%19.4f,%19.4f,%19.4f,%f,%f,%f,%f)",
                   At(r.Minute), px + d, py + d, pz + d, r.Alt, r.Sigma, r.Sigma, r.Sigma));
        Db->ExecSQL(Format("INSERT INTO CoordinatesExt (CrdID,rms) VALUES (%d,%f)",
                           Db->LastInsertRowID(), r.Rms));
    };
    const auto position = [&] {
        return Int(Format("SELECT COUNT(*) FROM Coordinates WHERE ObjID = %d", id));
    };

    // Each filtered solution alone gives no position.
    for (const Row& r : bad) {
        SCOPED_TRACE(r.Rms);
        add(r);
        TZQS_Recordset::AverageStaticPosition(Db, id, 0.0);
        EXPECT_EQ(position(), 0);
        Db->ExecSQL("DELETE FROM Coordinates WHERE ObjID = 900");
    }
    EXPECT_EQ(Int(Format("SELECT MotionMode FROM Recordsets WHERE RecordsetID = %d", id)), 1);

    // Among them, the good ones weigh 1/SX: offsets +1 (SX 1) and -2 (SX 2) average to 0.
    for (const Row& r : bad) add(r);
    for (const Row& r : good) add(r);
    for (int run = 0; run < 2; ++run) {  // a second run replaces the row
        TZQS_Recordset::AverageStaticPosition(Db, id, 0.0);
        ASSERT_EQ(position(), 1);
    }
    // The marker lies 1 m (delta H + vertical height) below the antenna; the antenna offset
    // vector leads up to it; motion mode 0.
    double mx, my, mz;
    zqt_geo::BLHToXYZ(45.0, 10.0, 99.0, mx, my, mz);
    const double s2 = std::sqrt(2.0);
    const std::vector<double> expected = {
        mx,  my,      mz,      99.0,    s2, s2, s2, 7.0, static_cast<double>(ds->GetObjID()),
        0.0, px - mx, py - my, pz - mz, 0.0};
    const std::vector<double> got = Db->SelectFirstRowFloats(
        Format("SELECT X,Y,Z,ALT,SX,SY,SZ,c.ObjType,SubObjID,PointType,AntennaRX,AntennaRY,"
               "AntennaRZ,MotionMode FROM Coordinates c JOIN Recordsets r ON r.RecordsetID = "
               "c.ObjID WHERE c.ObjID = %d",
               id));
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], expected[k], 2e-4) << k;
    // Mode 8 without a catalogue antenna.
    EXPECT_EQ(Int(Format("SELECT Mode FROM ObjInfo WHERE ObjID = %d", id)), 8);
}
