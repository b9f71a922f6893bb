// Recordsets on a real project database: the row written and read back column by column,
// the name and registry rules, recordsets made from occupation records, the recordset the
// main program opens (missing rows, reference positions, its data set) and the items of a
// RINEX header.
#include <gtest/gtest.h>

#include <string>

#include "dataset_test_util.h"

using namespace dataset_test;
using zqt_dataset_dbs::TZQS_DataSet;
using zqt_recordset_dbs::TZQS_Recordset;

namespace {

class RecordsetTest : public ProjectFixture {
protected:
    void SetUp() override {
        ProjectFixture::SetUp();
        Ds = NewDataSet();
        Ds->ExecuteWrite();
    }
    void TearDown() override {
        zqt_obs_intrf::SetSiteCreator({});
        ProjectFixture::TearDown();
    }
    std::shared_ptr<TZQS_Recordset> Load(std::int32_t id) {
        return TZQS_Recordset::Open(Db, id, zqt_types_bs::RecordsetSettingsDefault(), false);
    }
    // A Recordsets row written straight into the table.
    void InsertRow(std::int32_t id, const std::string& model, const std::string& ngs,
                   std::int32_t site) {
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,Interval,"
            "MarkerName,AntennaModel,AntennaNGSModel,SiteID,MotionMode,flags,VertexID) VALUES "
            "(%d,7,%d,1,2,10000,'M',%s,%s,%d,0,0,0)",
            id, Ds->GetObjID(), model, ngs, site));
    }

    std::shared_ptr<TZQS_DataSet> Ds;
};

}  // namespace

TEST_F(RecordsetTest, RowRoundTrip) {
    auto rs = TZQS_Recordset::CreateWithParent(Ds->Intf());
    rs->SetRecordsetType(8);
    rs->SetBegTime(T0);
    rs->SetEndTime(T0 + 3600 * Second);
    rs->SetInterval(300000);
    rs->SetMarkerName("MARK 1");
    rs->SetMarkerNumber(12);
    auto a = rs->GetAntenna();
    a->SetNumber("AN-5");
    a->SetModel("MODEL X");
    a->SetNGSModel("CAT X");
    a->SetDeltaH(0.125);
    a->SetDeltaE(-0.5);
    a->SetDeltaN(0.75);
    a->SetHeight(1.625);
    a->SetVerticalHeight(1.5);
    a->SetHeightType(2);
    rs->SetAntennaRXYZ({1.5, -2.5, 3.25});
    rs->SetSiteID(0);
    rs->SetMotionMode(1);
    rs->SetFlags(0x4100);
    zqt_file_bs::TGUID g;
    ASSERT_TRUE(zqt_file_bs::TryStringToGUID("{00112233-4455-6677-8899-AABBCCDDEEFF}", g));
    rs->SetGUID(g);
    rs->SetVertexID(33);
    rs->SetComment("free text");
    rs->ExecuteWrite();
    ASSERT_GT(rs->GetObjID(), 0);

    auto r = Load(rs->GetObjID());
    EXPECT_EQ(r->GetRecordsetType(), 8);
    EXPECT_EQ(r->GetObjType(), 8);
    EXPECT_EQ(r->GetDataSetColumn(), Ds->GetObjID());
    EXPECT_EQ(r->GetDataSetID(), Ds->GetObjID());
    EXPECT_EQ(r->GetBegTime(), T0);
    EXPECT_EQ(r->GetEndTime(), T0 + 3600 * Second);
    EXPECT_EQ(r->GetInterval(), 300000);
    EXPECT_EQ(r->GetMarkerName(), "MARK 1");
    EXPECT_EQ(r->GetName(), "MARK 1");
    EXPECT_EQ(r->GetMarkerNumber(), 12);
    auto b = r->GetAntenna();
    EXPECT_EQ(b->GetNumber(), "AN-5");
    EXPECT_EQ(b->GetModel(), "MODEL X");
    EXPECT_EQ(b->GetNGSModel(), "CAT X");
    EXPECT_EQ(b->GetDeltaH(), 0.125);
    EXPECT_EQ(b->GetDeltaE(), -0.5);
    EXPECT_EQ(b->GetDeltaN(), 0.75);
    EXPECT_EQ(b->GetHeight(), 1.625);
    EXPECT_EQ(b->GetVerticalHeight(), 1.5);
    EXPECT_EQ(b->GetHeightType(), 2);
    EXPECT_EQ(b->GetOffset().Y, -2.5);
    EXPECT_EQ(r->GetAntennaRXYZ().Z, 3.25);
    EXPECT_EQ(r->GetMotionMode(), 1);
    EXPECT_EQ(r->GetFlags(), 0x4100);
    EXPECT_EQ(r->GetGUID(), g);
    EXPECT_EQ(r->GetVertexID(), 33);
    EXPECT_EQ(r->GetComment(), "free text");
    // The registry row belongs to the data set.
    EXPECT_EQ(
        Int(sysutils::Format("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", rs->GetObjID())),
        Ds->GetObjID());
}

TEST_F(RecordsetTest, NameAndRegistryRules) {
    struct Case {
        std::uint8_t Type;
        const char* Marker;
        const char* Name;   // the object's name before the write
        const char* After;  // the name afterwards
        bool Registered;
    };
    const Case cases[] = {
        {7, "", "KEEP", "KEEP", true},
        {7, "MK", "KEEP", "MK", true},
        {8, "SITE", "", "SITE", true},
        {9, "RUN", "", "RUN", false},  // kinematic occupations have no registry row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Marker);
        auto rs = TZQS_Recordset::CreateWithParent(Ds->Intf());
        rs->SetRecordsetType(c.Type);
        rs->SetName(c.Name);
        rs->SetMarkerName(c.Marker);
        rs->ExecuteWrite();
        EXPECT_EQ(rs->GetName(), c.After);
        const std::string where = sysutils::Format("WHERE ObjID = %d", rs->GetObjID());
        EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo " + where), c.Registered ? 1 : 0);
        if (c.Registered) {
            EXPECT_EQ(Str("SELECT Name FROM ObjInfo " + where), c.After);
        }
    }
}

TEST_F(RecordsetTest, RecordsetsFromOccupationRecords) {
    std::string siteName;
    zqt_obs_intrf::SetSiteCreator([&](const zqt_objects_intrf::IESQLiteDatabasePtr&,
                                      const std::string& Name, std::uint8_t SnapedObjType,
                                      const zqt_obs_intrf::RVec3& Position, std::uint32_t) {
        siteName = Name;
        EXPECT_EQ(SnapedObjType, 8);
        EXPECT_EQ(Position.X, 4.0e6);
        return 501;
    });
    struct Case {
        std::uint8_t Motion;
        int Type;
        int MotionMode;
        const char* Name;
        std::int32_t Site;
    };
    const Case cases[] = {
        {0, 8, 0, "PT", 0},    {1, 9, 1, "", 0}, {3, 7, 0, "PT2", 501},
        {4, 7, 0, "PT2", 501}, {2, 7, 1, "", 0},  // unknown motion mode: kind and motion mode (1
                                                  // before) stay
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.Motion));
        siteName.clear();
        TZQS_Occupation r = Occupation(c.Motion, 10, 20, "PT");
        r.Position = {4.0e6, 1.0e6, 4.5e6};
        auto rs = zqt_classes_dbs::TZQS_Object::CreateChildOf<TZQS_Recordset>(Ds->Intf(), nullptr);
        rs->SetMotionMode(1);
        rs->ApplyOccupation(r);
        EXPECT_EQ(rs->GetRecordsetType(), c.Type);
        EXPECT_EQ(rs->GetObjType(), c.Type);
        EXPECT_EQ(rs->GetMotionMode(), c.MotionMode);
        EXPECT_EQ(rs->GetName(), c.Name);
        EXPECT_EQ(rs->GetSiteID(), c.Site);
        EXPECT_EQ(siteName, c.Site ? "PT_2" : "");
        if (c.Site) {
            EXPECT_EQ(rs->GetLinkObj2(), c.Site);
            EXPECT_EQ(rs->GetLinkTyp2(), 23);
        }
        // Times and items come with every record.
        EXPECT_EQ(rs->GetBegTime(), T0 + 10 * Second);
        EXPECT_EQ(rs->GetEndTime(), T0 + 20 * Second);
        EXPECT_EQ(rs->GetMarkerName(), "PT");
        EXPECT_EQ(rs->GetMarkerNumber(), 2);
        EXPECT_EQ(rs->GetVertexID(), 7);
        EXPECT_EQ(rs->GetComment(), "desc PT");
        EXPECT_EQ(rs->GetFlags(), static_cast<std::int32_t>(r.Flags));
        EXPECT_EQ(rs->GetGUID(), r.Identifier);
        auto a = rs->GetAntenna();
        EXPECT_EQ(a->GetModel(), "ANT-PT");
        EXPECT_EQ(a->GetNumber(), "SPT");
        EXPECT_EQ(a->GetHeightType(), 1);
        EXPECT_EQ(a->GetHeight(), 1.5);
        EXPECT_EQ(a->GetDeltaH(), 0.25);
        EXPECT_EQ(a->GetDeltaN(), 0.02);
        EXPECT_EQ(a->GetDeltaE(), 0.01);
    }
}

TEST_F(RecordsetTest, OpenForOutput) {
    try {
        Load(77);
        FAIL() << "no exception";
    } catch (const zqt_sat_obs_types::ExceptionZQS& e) {
        EXPECT_EQ(e.Message(), "Recordset can not be read 77");
    }

    // The reference position: the linked site's, else the recordset's own.
    Db->ExecSQL(
        "INSERT INTO Coordinates (CrdID,ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,CXY,CXZ,"
        "CYZ) VALUES (1,7,901,0,0,1,2,3,0,0,0,0,0,0),(2,23,9,0,0,4,5,6,0,0,0,0,0,0),"
        "(3,7,902,0,0,7,8,9,0,0,0,0,0,0)");
    struct Case {
        std::int32_t Id;
        std::int32_t Site;
        double X;
    };
    const Case cases[] = {{901, 0, 1}, {902, 9, 4}, {903, 0, 0}, {904, 8, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        InsertRow(c.Id, "NULL", "NULL", c.Site);
        auto rs = Load(c.Id);
        EXPECT_EQ(rs->GetReferencePos().X, c.X);
        EXPECT_EQ(rs->GetStationPos().X, c.X);
    }
    // A linked site without a position gives no reference position; the recordset keeps
    // its own.
    InsertRow(906, "NULL", "NULL", 12);
    Db->ExecSQL(
        "INSERT INTO Coordinates (CrdID,ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,"
        "CXY,CXZ,CYZ) VALUES (4,7,906,0,0,11,0,0,0,0,0,0,0,0)");
    EXPECT_EQ(Load(906)->GetReferencePos().X, 0);
    EXPECT_EQ(Load(906)->GetStationPos().X, 0);
    EXPECT_EQ(Load(906)->GetOwnPosition().X, 11);

    // The data set is loaded for a recordset opened without one; a lost one is an error.
    auto rs = Load(901);
    auto ds = rs->OpenDataset();
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetObjID(), Ds->GetObjID());
    EXPECT_EQ(rs->OpenDataset(), ds);
    Db->ExecSQL(
        "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,"
        "Interval,MotionMode,flags,VertexID) VALUES (950,7,4242,0,0,0,0,0,0)");
    auto orphan = Load(950);
    EXPECT_EQ(orphan->GetDataSetID(), 4242);
    EXPECT_THROW(orphan->OpenDataset(), zqt_types_bs::ExceptionZQS);
}

TEST_F(RecordsetTest, FileHeaderItems) {
    struct Case {
        const char* Model;  // SQL literals
        const char* Ngs;
        const char* Type;  // the header's antenna type
    };
    const Case cases[] = {{"NULL", "NULL", ""},
                          {"'RCV'", "NULL", "RCV"},
                          {"'RCV'", "'CAT'", "CAT"},
                          {"NULL", "'CAT'", "CAT"}};
    std::int32_t id = 700;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Type);
        InsertRow(++id, c.Model, c.Ngs, 0);
        auto rs = Load(id);
        EXPECT_EQ(rs->GetAntenna()->GetModel(), c.Model[0] == 'N' ? "" : "RCV");
        zqt_antenna_rcrd::RFileHeaderFull h;
        rs->GetFileHeader(h);
        EXPECT_EQ(h.Antenna.Type.AsString(), c.Type);
        // Without receiver and observer the observer items are empty texts.
        EXPECT_EQ(h.Header.Observer.AsString(), "");
        EXPECT_TRUE(h.Receiver.Number.IsEmpty());
    }

    // Receiver, observer, antenna, window, marker and position items.
    Receiver->Receiver = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFakeReceiver>(nullptr, Db);
    Receiver->Observer = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFakeObserver>(nullptr, Db);
    Receiver->Firmware = 40100;
    auto rs = TZQS_Recordset::CreateWithParent(Ds->Intf());
    rs->SetBegTime(T0);
    rs->SetEndTime(T0 + 5 * Second);
    rs->SetInterval(10000);
    rs->SetMarkerName("MK");
    rs->SetMarkerNumber(3);
    rs->GetAntenna()->SetHeightType(1);
    rs->GetAntenna()->SetHeight(1.25);
    rs->GetAntenna()->SetVerticalHeight(1.2);
    rs->GetAntenna()->SetNumber("A7");
    rs->GetAntenna()->SetModel("RCV");
    rs->GetAntenna()->SetDeltaH(0.1);
    rs->GetAntenna()->SetDeltaE(0.2);
    rs->GetAntenna()->SetDeltaN(0.3);
    rs->SetReferencePos({10.0, 20.0, 30.0});
    zqt_antenna_rcrd::RFileHeaderFull h;
    rs->GetFileHeader(h);
    EXPECT_EQ(h.Receiver.Firmware.AsString(), "5.1");
    EXPECT_EQ(h.Receiver.Number.AsString(), "R-17");
    EXPECT_EQ(h.Receiver.Serial.AsString(), "SN9");
    EXPECT_EQ(h.Receiver.Type.AsString(), "TYPE X");
    EXPECT_EQ(h.Receiver.Board.AsString(), "BRD");
    EXPECT_EQ(h.Receiver.FirmwareVersion, 40100u);
    EXPECT_EQ(h.Header.Observer.AsString(), "OBSERVER");
    EXPECT_EQ(h.Header.Agency.AsString(), "AGENCY");
    EXPECT_TRUE(h.Antenna.HeightType1.AsBoolean());
    EXPECT_FALSE(h.Antenna.HeightType0.AsBoolean());
    EXPECT_EQ(h.Antenna.Height.AsDouble(), 1.25);
    EXPECT_EQ(h.Antenna.VerticalHeight.AsDouble(), 1.2);
    EXPECT_EQ(h.Antenna.Number.AsString(), "A7");
    EXPECT_EQ(h.Antenna.Type.AsString(), "RCV");
    EXPECT_EQ(h.Antenna.DeltaH.AsDouble(), 0.1);
    EXPECT_EQ(h.Antenna.DeltaE.AsDouble(), 0.2);
    EXPECT_EQ(h.Antenna.DeltaN.AsDouble(), 0.3);
    EXPECT_EQ(h.Header.FirstObs.AsInt64(), T0);
    EXPECT_EQ(h.Header.LastObs.AsInt64(), T0 + 5 * Second);
    EXPECT_EQ(h.Header.Interval.AsInt64(), 10000);
    EXPECT_EQ(h.Header.MarkerName.AsString(), "MK");
    EXPECT_EQ(h.Header.MarkerNumber.AsInt64(), 3);
    EXPECT_EQ(h.Header.ApproxX.AsDouble(), 10.0);
    EXPECT_EQ(h.Header.ApproxZ.AsDouble(), 30.0);
    EXPECT_TRUE(h.Header.Extra.IsStr());
}

TEST_F(RecordsetTest, DataSetTablesThroughTheRecordset) {
    WriteEpochs(*Ds, {0, 1});
    Ds->GetEpoch()->FinishWrite();
    Db->ExecSQL(sysutils::Format("INSERT INTO GLOSlots VALUES (%d, 3, -4), (%d, 0, 5)",
                                 Ds->GetObjID(), Ds->GetObjID()));
    InsertRow(800, "NULL", "NULL", 0);
    auto rs = Load(800);
    zqt_obs_intrf::TGloChannels ch{};
    ASSERT_TRUE(rs->GetGloChannels(ch));
    EXPECT_EQ(ch[2], -4);
    EXPECT_EQ(ch[0], 127);
    zqt_sat_obs_types::TObsInfoTable info;
    rs->GetObsInfo(info);
    EXPECT_FALSE(info.IsEmpty());
    zqt_sat_obs_types::TObsInfoTable direct;
    Ds->GetObsInfo(direct);
    EXPECT_EQ(zqt_sat_obs_types::SatSetKeys(info.Present()),
              zqt_sat_obs_types::SatSetKeys(direct.Present()));
}
