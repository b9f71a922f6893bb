// Receivers, observers and file receivers on a real project database: rows written and
// read back, rows shared by receiver number and by observer name and agency (names with
// quotes and names equal to column names included), free events written as rows and
// built into site occupations that reach the data sets, names, data sets, and the move of
// a file receiver from a working database into the project.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "test_scratch.h"
#include "zqt_coordinates_dbs.h"
#include "zqt_db.h"
#include "zqt_file.h"
#include "zqt_observer_dbs.h"
#include "zqt_project.h"
#include "zqt_receiver_dbs.h"
#include "zqt_schema.h"

using zqt_obs_intrf::TZQS_Occupation;
using zqt_observer_dbs::TZQS_Observer;
using zqt_receiver_dbs::TZQS_FileReceiver;
using zqt_receiver_dbs::TZQS_Receiver;

namespace {

constexpr std::int64_t Day = 13000000000000LL;  // a GPS time in 2021, ticks
constexpr std::int64_t Sec = 10000;

// A data set that records what its file receiver hands it.
class TRecordingDataSet : public zqt_classes_dbs::TZQS_Object,
                          public virtual zqt_obs_intrf::IZQS_DataSet {
public:
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> GetSignalMapping() override {
        return nullptr;
    }
    void CheckRecord(const TZQS_Occupation& R) override { Checked.push_back(R); }
    void AddRecord(const TZQS_Occupation& R) override { Added.push_back(R); }
    void FinishWrite() override { ++Finished; }

    std::vector<TZQS_Occupation> Checked;
    std::vector<TZQS_Occupation> Added;
    int Finished = 0;
};

// A file receiver whose data set 0 is a recording one.
class TTestFileReceiver : public TZQS_FileReceiver {
public:
    std::shared_ptr<TRecordingDataSet> UseRecordingDataSet() {
        auto ds = CreateChildOf<TRecordingDataSet>(Intf(), nullptr);
        FDataSets.assign(1, ds);
        FAntCount = 1;
        return ds;
    }
};

class ReceiverTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = zqt_project::TZQS_Project::CreateProject("");
        zqt_receiver_dbs::InstallFileReceiverLoader();
        File = zqt_classes_dbs::TZQS_Object::CreateNewOf<zqt_file::TZQS_File>(nullptr, Db);
        File->SetFileName("/data/ABCD_2021_03_04.rtcm");
    }
    void TearDown() override { zqt_db::SetNewObjIDBody({}); }

    std::int64_t Int(const std::string& sql) { return Db->QueryInt(sql); }
    std::string Str(const std::string& sql) { return zqt_variant::VarToStrZ(Db->QueryValue(sql)); }
    std::shared_ptr<TTestFileReceiver> NewFileReceiver() {
        return zqt_classes_dbs::TZQS_Object::CreateChildOf<TTestFileReceiver>(File->Intf(), Db);
    }
    std::shared_ptr<TZQS_Receiver> NewReceiver(const std::string& Number, const std::string& Type) {
        auto r = TZQS_Receiver::CreateNew(Db);
        r->SetReceiverNumber(Number);
        r->SetReceiverType(Type);
        return r;
    }
    static void Event(TZQS_FileReceiver& Fr, double Seconds, const std::string& Text) {
        zqt_types_bs::RFreeEvent e;
        Fr.AddEventText(e, Day, Seconds, 0, Text);
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<zqt_file::TZQS_File> File;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Receivers and observers

TEST_F(ReceiverTest, ReceiverRowSharedByNumberKeepsItsBaseType) {
    auto first = NewReceiver("  R-17 ", "TYPE A");
    first->SetFirmwareVersion(" 5.1 ");
    first->SetSerialNumber("SN1");
    first->SetBoard("B1");
    first->SetBaseType(3);
    first->ExecuteWrite();
    EXPECT_EQ(first->GetBaseType(), 0) << "a new row starts with base type 0";
    EXPECT_EQ(Str("SELECT ReceiverNumber FROM Receiver"), "R-17");
    EXPECT_EQ(Str("SELECT FirmwareVersion FROM Receiver"), "5.1");
    EXPECT_EQ(Str("SELECT Name FROM ObjInfo WHERE ObjType = 3"), "TYPE A_R-17");
    EXPECT_EQ(Int("SELECT Visible FROM ObjInfo WHERE ObjType = 3"), 0);
    first->SetBaseType(3);
    EXPECT_EQ(Int("SELECT BaseType FROM Receiver"), 3);

    auto second = NewReceiver("R-17", "TYPE B");
    second->SetSerialNumber("SN2");
    second->SetBaseType(2);
    second->ExecuteWrite();
    EXPECT_EQ(second->GetObjID(), first->GetObjID());
    EXPECT_EQ(second->GetBaseType(), 3);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Receiver"), 1);
    EXPECT_EQ(Str("SELECT ReceiverType FROM Receiver"), "TYPE B");
    EXPECT_EQ(Int("SELECT BaseType FROM Receiver"), 3);

    auto loaded = TZQS_Receiver::CreateLoad(Db, first->GetObjID());
    EXPECT_EQ(loaded->GetReceiverType(), "TYPE B");
    EXPECT_EQ(loaded->GetSerialNumber(), "SN2");
    EXPECT_EQ(loaded->GetFirmwareVersion(), "") << "the second write's texts, all of them";
    EXPECT_EQ(loaded->GetBaseType(), 3);
    bool found = true;
    TZQS_Receiver::CreateLoad(Db, 999999, &found);
    EXPECT_FALSE(found);

    auto unnamed = NewReceiver("", "TYPE C");
    unnamed->ExecuteWrite();
    EXPECT_EQ(unnamed->GetReceiverNumber(), "Unknown TYPE C");
}

TEST_F(ReceiverTest, ReceiversAndObserversFoundAgainByTheirNames) {
    // Texts that would break SQL or read as a column when pasted into it.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Smith", "Geo"},
        {"O\"Neil", "Agency \"X\""},
        {"it's", "l'agence"},
        {"ObserverAgency", "ObserverName"},
        {"ObserverName", "ObserverAgency"},
        {"ReceiverNumber", "ReceiverType"},
    };
    std::vector<std::int32_t> observerIDs, receiverIDs;
    for (const auto& [a, b] : names) {
        auto o = TZQS_Observer::CreateNew(nullptr, Db);
        o->SetObserverName(a);
        o->SetObserverAgency(b);
        o->ExecuteWrite();
        observerIDs.push_back(o->GetObjID());
        auto r = NewReceiver(a, b);
        r->ExecuteWrite();
        receiverIDs.push_back(r->GetObjID());
    }
    ASSERT_EQ(Int("SELECT COUNT(*) FROM Observer"), static_cast<std::int64_t>(names.size()));
    ASSERT_EQ(Int("SELECT COUNT(*) FROM Receiver"), static_cast<std::int64_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].first);
        auto o = TZQS_Observer::CreateNew(nullptr, Db);
        o->SetObserverName(" " + names[i].first);
        o->SetObserverAgency(names[i].second + " ");
        o->ExecuteWrite();
        EXPECT_EQ(o->GetObjID(), observerIDs[i]);
        auto r = NewReceiver(names[i].first, "other");
        r->ExecuteWrite();
        EXPECT_EQ(r->GetObjID(), receiverIDs[i]);
        auto back = TZQS_Observer::CreateLoad(Db, observerIDs[i]);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetObserverName(), names[i].first);
        EXPECT_EQ(back->GetObserverAgency(), names[i].second);
    }
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Observer"), static_cast<std::int64_t>(names.size()));
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Receiver"), static_cast<std::int64_t>(names.size()));
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo WHERE ObjType = 14"),
              static_cast<std::int64_t>(names.size()));

    auto nobody = TZQS_Observer::CreateNew(nullptr, Db);
    nobody->SetObserverName("  ");
    nobody->ExecuteWrite();
    EXPECT_EQ(nobody->GetObjID(), 0);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Observer"), static_cast<std::int64_t>(names.size()));
    EXPECT_FALSE(TZQS_Observer::CreateLoad(Db, 999999));
}

// ---------------------------------------------------------------------------------------
// File receivers

TEST_F(ReceiverTest, FileReceiverRowsWrittenAndReadBack) {
    File->ExecuteWrite();
    auto fr = NewFileReceiver();
    fr->GetReceiver()->SetReceiverNumber("N-1");
    fr->GetReceiver()->SetReceiverType("RCV");
    fr->GetObserver()->SetObserverName("Ann");
    fr->SetMessages("1005 1006");
    fr->SetSourceType(5);
    fr->SetFirmwareVersion(42);
    fr->SetBegTime(Day + 5 * Sec);
    fr->SetEndTime(Day + 3600 * Sec);
    fr->GetPosition(true)->SetXYZ(zqt_obs_intrf::RVec3{2846228.0, 2198658.0, 5249004.0});
    EXPECT_FALSE(fr->GetCoordinates(false));
    EXPECT_TRUE(fr->GetCoordinates(true));
    fr->ExecuteWrite();

    const std::int32_t id = fr->GetObjID();
    ASSERT_GT(id, 0);
    EXPECT_EQ(Int("SELECT FileID FROM FileReceiver"), File->GetObjID());
    EXPECT_EQ(Int("SELECT ReceiverID FROM FileReceiver"), fr->GetReceiver()->GetObjID());
    EXPECT_EQ(Int("SELECT ObserverID FROM FileReceiver"), fr->GetObserver()->GetObjID());
    EXPECT_EQ(Int("SELECT BegTime+0 FROM FileReceiver"), Day + 5 * Sec);
    EXPECT_EQ(Int("SELECT BaseType FROM FileReceiver"), 0) << "the new receiver row's";
    EXPECT_EQ(Str("SELECT Messages FROM FileReceiver"), "1005 1006");
    // Registry row: named after the file, linked to the file (2) and the receiver (3).
    EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", id)),
              "ABCD_2021_03_04.rtcm");
    EXPECT_EQ(
        Int(sysutils::Format("SELECT LinkTyp1*100+LinkTyp2 FROM ObjInfo WHERE ObjID = %d", id)),
        203);
    EXPECT_EQ(Int(sysutils::Format("SELECT LinkObj2 FROM ObjInfo WHERE ObjID = %d", id)),
              fr->GetReceiver()->GetObjID());
    // The reference position belongs to the file receiver at its begin time, with its
    // kind; the second coordinates object was never set and writes nothing.
    EXPECT_EQ(Int(sysutils::Format("SELECT COUNT(*) FROM Coordinates WHERE ObjType = 4 AND "
                                   "ObjID = %d AND SubObjID = %d AND PointType = 1",
                                   id, Day + 5 * Sec)),
              1);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 1);

    auto back = TZQS_FileReceiver::CreateLoad(Db, id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetFileID(), File->GetObjID());
    EXPECT_EQ(back->GetSourceType(), 5);
    EXPECT_EQ(back->GetFirmwareVersion(), 42u);
    EXPECT_EQ(back->GetEndTime(), Day + 3600 * Sec);
    EXPECT_EQ(back->GetMessages(), "1005 1006");
    EXPECT_EQ(back->GetName(), "ABCD_2021_03_04.rtcm");
    ASSERT_TRUE(back->GetReceiver());
    EXPECT_EQ(back->GetReceiver()->GetReceiverNumber(), "N-1");
    ASSERT_TRUE(back->GetObserver());
    EXPECT_EQ(back->GetObserver()->GetObserverName(), "Ann");
    // Data sets reach a file receiver by its identifier through the installed loader.
    const auto& load = zqt_obs_intrf::FileReceiverLoader();
    ASSERT_TRUE(load);
    EXPECT_EQ(load(Db, id)->GetObjID(), id);
    EXPECT_FALSE(load(Db, id + 1000));

    // A second file of the same receiver: one Receiver row, its base type taken over.
    Db->ExecSQL("UPDATE Receiver SET BaseType = 3");
    auto second = NewFileReceiver();
    second->GetReceiver()->SetReceiverNumber("N-1");
    second->ExecuteWrite();
    EXPECT_EQ(second->GetBaseType(), 3);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Receiver"), 1);
    EXPECT_EQ(second->GetObserver()->GetObjID(), 0) << "an observer without texts";
    EXPECT_EQ(Int(sysutils::Format("SELECT ObserverID FROM FileReceiver WHERE FRcvrID = %d",
                                   second->GetObjID())),
              0);
}

TEST_F(ReceiverTest, DisplayNames) {
    struct Case {
        const char* Own;
        std::int32_t Index;
        const char* Want;
    };
    for (const Case& c :
         {Case{"", 0, "ABCD_2021_03_04.rtcm"}, Case{"", 1, "ABCD_2021_03_04.rtcm_base"},
          Case{"", 2, "ABCD_2021_03_04.rtcm_base"}, Case{"OWN", 1, "OWN"}, Case{"OWN", 0, "OWN"}}) {
        auto fr = NewFileReceiver();
        fr->SetIndex(c.Index);
        if (*c.Own) fr->SetName(c.Own);
        EXPECT_EQ(fr->GetDisplayName(), c.Want) << c.Own << " " << c.Index;
    }
}

TEST_F(ReceiverTest, DataSetsByAntennaNumber) {
    auto fr = NewFileReceiver();
    EXPECT_EQ(fr->GetAntCount(), 0);
    auto ds = fr->GetDataSet(2);
    ASSERT_TRUE(ds);
    EXPECT_EQ(fr->GetAntCount(), 3);
    EXPECT_EQ(ds->GetAntennaNumber(), 2);
    EXPECT_EQ(ds, fr->GetDataSet(2));
    EXPECT_GT(fr->GetObjID(), 0) << "the data sets refer to it";
    EXPECT_EQ(ds->GetFileReceiver()->GetObjID(), fr->GetObjID());
    EXPECT_NE(fr->GetDataSet(0), ds);
    EXPECT_EQ(fr->GetAntCount(), 3);
    for (const std::int32_t bad : {-1, 256})
        EXPECT_THROW(fr->GetDataSet(bad), zqt_types_bs::ExceptionZQS) << bad;
}

// ---------------------------------------------------------------------------------------
// Free events and site occupations

TEST_F(ReceiverTest, EventsWrittenAsRows) {
    auto fr = NewFileReceiver();
    zqt_types_bs::RFreeEvent e;
    fr->AddEventText(e, Day, 12.34564, 0, "_ANT=TRM 1");
    EXPECT_EQ(e.Kind, zqt_types_bs::FE_ANT);
    fr->AddEventText(e, Day, 1.0, 1, "_ANT=ignored");  // the reader's control flag
    EXPECT_EQ(e.Kind, zqt_types_bs::FE_BEG);
    fr->AddEventText(e, Day, 1.0, 0, "");
    fr->AddEventText(e, Day, 1.0, 0, "_ZZZ=unknown tag");
    EXPECT_EQ(e.Kind, zqt_types_bs::FE_BEG);
    EXPECT_THROW(fr->AddEventText(e, Day, std::numeric_limits<double>::quiet_NaN(), 0, "_ANT=x"),
                 zqt_types_bs::ExceptionZQS);

    ASSERT_EQ(Int("SELECT COUNT(*) FROM Events"), 1);
    EXPECT_EQ(Int("SELECT ParentID FROM Events"), fr->GetObjID());
    EXPECT_EQ(Int("SELECT GPSTime FROM Events"), Day + 123456);  // rounded to the tick
    EXPECT_EQ(Int("SELECT ev FROM Events"), zqt_types_bs::FE_ANT);
    EXPECT_EQ(Str("SELECT evstr FROM Events"), "_ANT");
    EXPECT_EQ(Str("SELECT Param FROM Events"), "TRM 1");
    EXPECT_EQ(fr->GetOccupation().AntennaName, "TRM 1");
}

TEST_F(ReceiverTest, IdentifierThatIsNoGUIDRaises) {
    auto fr = NewFileReceiver();
    zqt_types_bs::RFreeEvent e;
    for (const char* bad : {"_GUI=01234567-89AB-CDEF-0123-456789ABCDEX",
                            "_GUI=", "_GUI={01234567-89AB-CDEF-0123-456789ABCDEF}"}) {
        SCOPED_TRACE(bad);
        try {
            fr->AddEventText(e, Day, 1.0, 0, bad);
            ADD_FAILURE() << "no error";
        } catch (const sysutils::EConvertError& ex) {
            EXPECT_EQ(ex.Message(), "'{" + e.Value + "}' is not a valid GUID value");
        }
        // The event row stands; the occupation is left as it was.
        EXPECT_TRUE(fr->GetOccupation().Identifier.IsNull());
        EXPECT_EQ(fr->GetOccupation().Flags, 0);
    }
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Events WHERE evstr = '_GUI'"), 3);
}

TEST_F(ReceiverTest, OccupationsFromFreeEvents) {
    struct Want {
        const char* Site;
        std::int32_t Number;
        int Beg, End;  // seconds of the day
        std::uint8_t Motion;
    };
    struct Case {
        const char* Name;
        int ReceiverBeg;  // seconds; the file receiver's begin time
        std::vector<std::pair<double, const char*>> Events;
        std::vector<Want> Checked;
        const char* Previous;
    };
    const Case cases[] = {
        {"static then kinematic",
         0,
         {{10, "_DYM=STATIC"}, {20, "_DYM=KINEMATIC"}},
         {{"", 1, 10, 20, 0}},
         ""},
        {"same site again",
         0,
         {{10, "_SIT=A"}, {20, "_SIT=A"}, {30, "_SIT=B"}, {40, "_SAV=B"}},
         {{"A", 1, 10, 20, 0}, {"A", 2, 20, 30, 0}, {"B", 1, 30, 40, 0}},
         "B"},
        {"no time spanned", 0, {{10, "_SIT=A"}, {10, "_SAV=A"}}, {}, ""},
        {"save renames", 0, {{10, "_SIT=A"}, {25, "_SAV=Z"}}, {{"Z", 1, 10, 25, 0}}, "Z"},
        {"save with nothing open", 0, {{10, "_SAV=A"}}, {}, ""},
        {"before the receiver's data", 100, {{10, "_SIT=A"}, {20, "_SIT=B"}}, {}, "A"},
        {"clipped to the receiver's data",
         15,
         {{10, "_SIT=A"}, {20, "_SIT=B"}},
         {{"A", 1, 15, 20, 0}},
         "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto fr = NewFileReceiver();
        auto ds = fr->UseRecordingDataSet();
        fr->SetBegTime(c.ReceiverBeg ? Day + c.ReceiverBeg * Sec : 0);
        for (const auto& [s, text] : c.Events) Event(*fr, s, text);
        ASSERT_EQ(ds->Checked.size(), c.Checked.size());
        for (std::size_t i = 0; i < c.Checked.size(); ++i) {
            const TZQS_Occupation& o = ds->Checked[i];
            EXPECT_EQ(o.SiteName, c.Checked[i].Site) << i;
            EXPECT_EQ(o.OccupationNumber, c.Checked[i].Number) << i;
            EXPECT_EQ(o.BegTime, Day + c.Checked[i].Beg * Sec) << i;
            EXPECT_EQ(o.EndTime, Day + c.Checked[i].End * Sec) << i;
            EXPECT_EQ(o.MotionMode, c.Checked[i].Motion) << i;
        }
        EXPECT_EQ(fr->GetPreviousOccupation().SiteName, c.Previous);
    }
}

TEST_F(ReceiverTest, MotionPeriodsAndWithdrawnSites) {
    auto fr = NewFileReceiver();
    auto ds = fr->UseRecordingDataSet();
    Event(*fr, 10, "_DYM=STATIC");
    Event(*fr, 20, "_DYM=KINEMATIC");
    ASSERT_EQ(ds->Checked.size(), 1u);
    EXPECT_EQ(ds->Checked[0].StaticCount, 1);
    const TZQS_Occupation& o = fr->GetOccupation();
    EXPECT_EQ(o.StaticCount, 1);
    EXPECT_EQ(o.KinematicCount, 1);
    EXPECT_EQ(o.MotionMode, 1);
    EXPECT_EQ(o.BegTime, Day + 20 * Sec);
    EXPECT_EQ(o.Flags, TZQS_Occupation::FlagMotion);

    auto fr2 = NewFileReceiver();
    fr2->UseRecordingDataSet();
    Event(*fr2, 5, "_ANT=ANT ONE");
    Event(*fr2, 6, "_ANH=1.25");
    Event(*fr2, 10, "_SIT=A");
    Event(*fr2, 20, "_SIT=B");  // A is written with ANT ONE
    Event(*fr2, 25, "_ANT=ANT TWO");
    Event(*fr2, 30, "_CAN=X");  // not the open site: nothing changes
    EXPECT_EQ(fr2->GetOccupation().SiteName, "B");
    EXPECT_EQ(fr2->GetOccupation().AntennaName, "ANT TWO");
    Event(*fr2, 35, "_CAN=B");
    const TZQS_Occupation& w = fr2->GetOccupation();
    EXPECT_EQ(w.SiteName, "");
    EXPECT_EQ(w.BegTime, 0);
    EXPECT_EQ(w.Flags, 0u);
    EXPECT_EQ(w.AntennaName, "ANT ONE") << "taken back from the previous occupation";
    EXPECT_EQ(w.AntennaHeight, 1.25);
    EXPECT_THROW(fr2->WriteAndClear(), sysutils::Exception);
}

TEST_F(ReceiverTest, OccupationItemsFromEvents) {
    auto fr = NewFileReceiver();
    auto ds = fr->UseRecordingDataSet();
    for (const auto& [s, text] : std::vector<std::pair<double, const char*>>{
             {1, "_ANO=1.5S;0.25"},
             {2, "_DSC=near the mast"},
             {3, "_VTN=12"},
             {4, "_VTN=twelve"},
             {5, "_GUI=01234567-89AB-CDEF-0123-456789ABCDEF"},
             {6, "_SIT=P"},
             {7, "_EVT=mark"},
             {9, "_SAV=P"}})
        Event(*fr, s, text);
    ASSERT_EQ(ds->Checked.size(), 1u);
    const TZQS_Occupation& o = ds->Checked[0];
    EXPECT_EQ(o.AntennaHeight, 1.5);
    EXPECT_EQ(o.HeightReference, 1);
    EXPECT_EQ(o.AntennaOffset, 0.25);
    EXPECT_EQ(o.Description, "near the mast");
    EXPECT_EQ(o.VehicleNumber, 12) << "a value that is no integer leaves it unchanged";
    EXPECT_EQ(zqt_file_bs::GUIDToString(o.Identifier), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(o.Flags, TZQS_Occupation::FlagAntennaOffset | TZQS_Occupation::FlagDescription |
                           TZQS_Occupation::FlagVehicle | TZQS_Occupation::FlagIdentifier |
                           TZQS_Occupation::FlagSite);
    EXPECT_EQ(o.BegTime, Day + 6 * Sec);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Events"), 8);
    // After the write the site items are cleared and the antenna items stay.
    EXPECT_TRUE(fr->GetOccupation().Identifier.IsNull());
    EXPECT_EQ(fr->GetOccupation().VehicleNumber, 0);
    EXPECT_EQ(fr->GetOccupation().AntennaOffset, 0.25);

    // The occupation open when the input ends goes to the data sets, which then finish.
    Event(*fr, 20, "_SIT=Q");
    fr->FinishWrite();
    ASSERT_EQ(ds->Added.size(), 1u);
    EXPECT_EQ(ds->Added[0].SiteName, "Q");
    EXPECT_EQ(ds->Finished, 1);
}

// ---------------------------------------------------------------------------------------
// Moving a file receiver from a working database into the project

TEST_F(ReceiverTest, UploadToProjectMovesRowsAndEvents) {
    namespace fs = std::filesystem;
    const testutil::TScratchDir scratch("tolvar-rcv");
    const std::string folder = scratch.Path().string();
    const auto open = [](const std::string& name) {
        SQLiteExt::IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create(name);
        db->BeginTransaction();
        db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
        db->Commit();
        return db;
    };
    const auto project = open(folder + "/project.db3");
    const auto working = open(folder + "/working.db3");
    auto parent = zqt_classes_dbs::TZQS_Object::CreateNew(nullptr, project);
    parent->SetName("PARENT");
    auto fr = TZQS_FileReceiver::CreateChild(parent->Intf(), working);
    fr->GetReceiver()->SetReceiverNumber("UP-1");
    Event(*fr, 1, "_ANT=A1");
    Event(*fr, 2, "_DSC=d");
    // A row of another file receiver stays behind.
    working->ExecSQL("INSERT INTO Events (ParentID,GPSTime,sod,ev) VALUES (424242,1,0,4)");
    fr->UploadToProject();

    const auto count = [](const SQLiteExt::IESQLiteDatabasePtr& db, const std::string& sql) {
        return db->QueryInt(sql);
    };
    EXPECT_EQ(count(project, "SELECT COUNT(*) FROM FileReceiver"), 1);
    EXPECT_EQ(count(project, "SELECT COUNT(*) FROM Receiver WHERE ReceiverNumber = 'UP-1'"), 1);
    EXPECT_EQ(count(project, sysutils::Format("SELECT COUNT(*) FROM Events WHERE ParentID = %d",
                                              fr->GetObjID())),
              2);
    EXPECT_EQ(count(project, "SELECT COUNT(*) FROM Events"), 2);
    EXPECT_EQ(count(working, "SELECT COUNT(*) FROM FileReceiver"), 0);
    EXPECT_EQ(fr->GetDatabase(), project);
    EXPECT_FALSE(working->InTransaction());
}
