// The database catalogue: the file each descriptor stands for, read connections counted as
// readers of their file for as long as they live, and the antennas read connection with
// its views (a database without one of the antenna tables fails when opened).
#include <gtest/gtest.h>

#include <string>

#include "SQLiteExt.h"
#include "test_sqlite_util.h"
#include "zqt_db.h"
#include "zqt_dirs.h"
#include "zqt_project.h"

using namespace zqt_db;
using zqt_dirs::TZQS_Dirs;

namespace {

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override { TZQS_Dirs::Setup(Antennas, Dir.File("ext.db3")); }
    void TearDown() override {
        TZQS_Dirs::Reset();
        zqt_db::SetNewObjIDBody({});
    }
    // An antennas database holding the given tables.
    void MakeAntennas(const std::string& Tables) {
        auto db = TPellamDatabase::Create(Antennas);
        for (std::size_t p = 0, q; p < Tables.size(); p = q + 1) {
            q = Tables.find(',', p);
            if (q == std::string::npos) q = Tables.size();
            db->Exec("CREATE TABLE " + Tables.substr(p, q - p) + " (ID TEXT, Alias TEXT)");
        }
    }

    sqlite_test::TempDir Dir;
    std::string Antennas = Dir.File("antennas.db3");
};

}  // namespace

TEST_F(CatalogTest, DescriptorFileNames) {
    zqt_project::TZQS_Project::CreateProject(Dir.File("work.db3"));
    SetupCatalog();
    const std::string data = TZQS_Dirs::DataDir();
    const struct {
        const TZQS_DbDesc& Desc;
        std::string Name;
    } cases[] = {
        {TZQS_DbProject::Instance(), Dir.File("work.db3")},
        {TZQS_DbGNSSNet::Instance(), data + "stations.db3"},
        {TZQS_DbBias::Instance(), data + "bias.db3"},
        {TZQS_DbDefaults::Instance(), data + "defaults.db3"},
        {TZQS_DbZQS::Instance(), data + "ZQS.vpd"},
        {TZQS_DbLanguage::Instance(), ""},
        {TZQS_DbAntennas::Instance(), Antennas},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Desc.GetFileName(), c.Name);
    // The language database is SQLite's private temporary one.
    EXPECT_EQ(TZQS_DbLanguageRead::Create()->QueryInt("SELECT 40 + 2"), 42);
}

TEST_F(CatalogTest, ReadConnectionsCountWhileTheyLive) {
    MakeAntennas("tab_Aliases,tab_Antennas,tab_AzimuthPhaseCenterVariations");
    const TZQS_DbDesc& desc = TZQS_DbAntennas::Instance();
    ASSERT_EQ(desc.ReaderCount(), 0);
    {
        const auto a = TZQS_DbAntennasRead::Create();
        const auto b = TZQS_DbAntennasRead::Create();
        EXPECT_EQ(desc.ReaderCount(), 2);
        EXPECT_EQ(a->QueryInt("SELECT COUNT(*) FROM v_Antennas"), 0);
        EXPECT_EQ(b->GetFileName(), Antennas);
    }
    EXPECT_EQ(desc.ReaderCount(), 0);
}

TEST_F(CatalogTest, AntennasDatabaseWithoutTheAntennaTableFailsInItsViews) {
    MakeAntennas("tab_Aliases,tab_AzimuthPhaseCenterVariations");
    try {
        TZQS_DbAntennasRead::Create();
        ADD_FAILURE() << "opened";
    } catch (const SQLiteExt::ESQLiteException& e) {
        EXPECT_NE(std::string(e.what()).find("no such table: tab_Antennas"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(TZQS_DbAntennas::Instance().ReaderCount(), 0) << "the failed reader left";
}
