// The fresh project of the fuzz targets' inputs: whatever an import wrote and whatever an
// input left on the connection (an open transaction, an attached database, a temporary
// table), the next input finds the project database, the navigation database and the
// object counter as the first input found them, so that a finding reproduces from its
// input alone.
#include <gtest/gtest.h>

#include <string>

#include "../fuzz/fuzz_import.h"
#include "sample_recording.h"
#include "zqt_components.h"
#include "zqt_datastorage.h"
#include "zqt_file_obs.h"

namespace {

using zqt_project::TZQS_Project;

// Every row of every table of the database's schema "main", in a fixed order.
std::string Rows(SQLiteExt::IESQLiteDatabase& Db) {
    std::string all;
    for (const std::string& table :
         Db.SelectStrColumn("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
        const std::string row = Db.QueryValue(
                                      "SELECT group_concat('quote(\"' || name || '\")', "
                                      "\"||','||\") FROM pragma_table_info('" +
                                      table + "')")
                                    .AsString();
        all += table + ":" +
               Db.QueryValue("SELECT ifnull(group_concat(r, ';'), '') FROM (SELECT " + row +
                             " AS r FROM \"" + table + "\" ORDER BY r)")
                   .AsString() +
               "\n";
    }
    return all;
}

}  // namespace

TEST(FuzzFreshProject, EveryInputFindsWhatTheFirstFound) {
    zqt_components::InstallComponents();
    fuzzutil::TProjectFile::Get();
    const std::string path = fuzzutil::InputPath("FUZZ_2024_03_05.rtcm3");
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 3;
    o.GlonassEphemerides = true;
    const auto first = sample_recording::MakeSampleRecording(o);
    o.Epochs = 5;
    o.Observations = {1004, 1012};
    const auto other = sample_recording::MakeSampleRecording(o);

    struct RState {
        std::string Before, After;
    };
    // Imports the bytes; Debris runs on the project database after the import.
    const auto run = [&](const rtcm_encoder::TBytes& Bytes, bool Debris) {
        RState s;
        fuzzutil::ImportAs(
            path, Bytes.data(), Bytes.size(), [&](TZQS_Project& Project, const std::string& File) {
                SQLiteExt::IESQLiteDatabase& db = *Project.GetDatabase();
                SQLiteExt::IESQLiteDatabase& nav =
                    *zqt_datastorage::TZQS_DataStorage::NavDatabase();
                EXPECT_FALSE(db.InTransaction());
                EXPECT_EQ(db.QueryInt("SELECT COUNT(*) FROM temp.sqlite_master"), 0);
                EXPECT_EQ(db.QueryInt("SELECT COUNT(*) FROM pragma_database_list"), 2);
                EXPECT_EQ(TZQS_Project::NewObjID(), 1);
                s.Before = Rows(db) + Rows(nav);
                zqt_types_bs::TRReaderSettings settings;
                zqt_file_obs::TZQS_ObsFile::LoadRTCM(Project.Intf(), File, settings);
                s.After = Rows(db) + Rows(nav);
                if (!Debris) return;
                db.ExecSQL("CREATE TEMP TABLE leftover (x)");
                db.Attach(":memory:", "extra");
                db.BeginTransaction();
                db.ExecSQL("INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (9999, 1, 'x')");
            });
        return s;
    };
    const RState a = run(first, false);
    EXPECT_NE(a.After, a.Before);  // the import wrote
    const RState b = run(other, true);
    EXPECT_EQ(b.Before, a.Before);
    EXPECT_NE(b.After, a.After);
    const RState again = run(first, false);
    EXPECT_EQ(again.Before, a.Before);
    EXPECT_EQ(again.After, a.After);
}
