// The project context: configuration-file parsing and its failures, data-file
// resolution, creation of the working project database (schema, replacement of an
// existing file, the set-up hook, its duration), the object-identifier counter, the
// current project with the run's log list, and the folder table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_sqlite_util.h"
#include "zqt_db.h"
#include "zqt_dirs.h"
#include "zqt_files.h"
#include "zqt_misc.h"
#include "zqt_platform.h"
#include "zqt_project.h"

using zqt_dirs::TZQS_Dirs;
using zqt_project::TZQS_Project;
namespace fs = std::filesystem;

namespace {

// Sets (or, with nullptr, unsets) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

// Works in another folder for the scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir) : FOld(fs::current_path()) { fs::current_path(dir); }
    ~ScopedCwd() {
        std::error_code ec;
        fs::current_path(FOld, ec);
    }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    fs::path FOld;
};

void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

// The configuration file name this test program looks for.
std::string OwnConfigName() {
    return zqt_misc::FileNameWithoutExt(zqt_platform::ProgramPath()) + ".cfg";
}

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_project::ClearCurrentProject();
        TZQS_Project::ClearConfig();
        TZQS_Project::SetInitStoreHook(nullptr);
        TZQS_Dirs::Reset();
    }
    void TearDown() override {
        SetUp();
        zqt_db::SetNewObjIDBody({});  // process-wide: leave no body to other suites
    }

    sqlite_test::TempDir Dir;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Configuration file

TEST_F(ProjectTest, ConfigLinesFollowTheirRules) {
    const std::string cfg = Dir.File("a.cfg");
    WriteFile(cfg,
              "\xEF\xBB\xBF"
              "antennadb=x.db3\r\n"
              "// ANTENNAEXT=commented.db3\n"
              "\n"
              "TEMPLATE=UNKWN\n"
              "SqliteDll=  lib UNKWNsqlite.so  \n"
              " Spaced = v \n"
              "no equals sign here\n"
              "Expr=a=b\n"
              "=empty key\n"
              "Last=no line end");
    TZQS_Project::LoadConfig(cfg);
    ASSERT_TRUE(TZQS_Project::HasConfig());
    struct Case {
        const char* Key;
        const char* Value;
    };
    const std::vector<Case> cases = {
        {"ANTENNADB", "x.db3"},
        {"antennadb", "x.db3"},  // looked up upper-cased
        {"ANTENNAEXT", ""},
        {"TEMPLATE", ""},
        {"SQLITEDLL", "lib sqlite.so"},
        {"SPACED", ""},
        {" SPACED ", "v"},  // keys are not trimmed
        {"EXPR", "a=b"},
        {"", "empty key"},
        {"LAST", "no line end"},
        {"NO EQUALS SIGN HERE", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Key);
        EXPECT_EQ(TZQS_Project::GetConfigValue(c.Key), c.Value);
    }
    TZQS_Project::LoadSettings();
    EXPECT_EQ(TZQS_Project::SQLiteLibraryName(), "lib sqlite.so");
}

TEST_F(ProjectTest, FaultyConfigFilesRaiseTheConfigurationException) {
    struct Case {
        const char* Text;
        const char* Message;
    };
    const std::vector<Case> cases = {
        {"A=1\nB=2\nA=3\n", "Duplicates not allowed in dictionary"},
        {"key=1\nKEY=2\n", "Duplicates not allowed in dictionary"},  // same once upper-cased
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        const std::string cfg = Dir.File("dup.cfg");
        WriteFile(cfg, c.Text);
        try {
            TZQS_Project::LoadConfig(cfg);
            ADD_FAILURE() << "no exception";
        } catch (const zqt_project::ExceptionInconsistentConfig& e) {
            EXPECT_EQ(e.Message(), c.Message);
            EXPECT_STREQ(e.ClassName(), "ExceptionInconsistentConfig");
        }
        EXPECT_FALSE(TZQS_Project::HasConfig());  // nothing half-loaded
    }
    // A folder in place of the file cannot be read.
    const std::string folder = Dir.File("folder.cfg");
    fs::create_directory(folder);
    EXPECT_THROW(TZQS_Project::LoadConfig(folder), zqt_project::ExceptionInconsistentConfig);
    // A missing file is no configuration at all.
    TZQS_Project::LoadConfig(Dir.File("missing.cfg"));
    EXPECT_FALSE(TZQS_Project::HasConfig());
    EXPECT_EQ(TZQS_Project::GetConfigValue("ANTENNADB"), "");
}

TEST_F(ProjectTest, InitializeReadsTheProgramsConfigFromTheCurrentFolder) {
    ScopedCwd cwd(Dir.File(""));
    WriteFile(OwnConfigName(), "ANTENNADB=mine.db3\nANTENNAEXT=missing.db3\n");
    WriteFile("mine.db3", "");
    TZQS_Project::Initialize();
    EXPECT_EQ(TZQS_Project::AntennasDbFile(), "mine.db3");
    EXPECT_EQ(TZQS_Dirs::AntennasDbName(), "mine.db3");
    // Not found anywhere: the directory table keeps its default.
    EXPECT_EQ(TZQS_Project::AntennasExtFile(), "");
    EXPECT_EQ(TZQS_Dirs::AntennasExtDbName(), TZQS_Dirs::DataDir() + "antennas_ext.db3");

    // A start-up with a duplicate key fails with the exception the main program maps to
    // its configuration exit code.
    WriteFile(OwnConfigName(), "ANTENNADB=a\nANTENNADB=b\n");
    EXPECT_THROW(TZQS_Project::Initialize(), zqt_project::ExceptionInconsistentConfig);
}

TEST_F(ProjectTest, DataFilesResolveFromConfigThenCurrentThenProgramFolder) {
    ScopedCwd cwd(Dir.File(""));
    WriteFile("configured.db3", "");
    WriteFile("local.db3", "");
    fs::create_directory("somefolder");
    WriteFile("k.cfg", "A=configured.db3\nB=nothere.db3\nC=somefolder\n");
    TZQS_Project::LoadConfig("k.cfg");
    struct Case {
        const char* Key;
        const char* Default;
        const char* Expected;
    };
    const std::vector<Case> cases = {
        {"A", "local.db3", "configured.db3"},
        {"B", "local.db3", "local.db3"},
        {"C", "local.db3", "somefolder"},  // a folder counts as found
        {"B", "absent.db3", ""},
        {"UNSET", "local.db3", "local.db3"},
        {"B", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Key) + " " + c.Default);
        EXPECT_EQ(TZQS_Project::ResolveDataFile(c.Key, c.Default), c.Expected);
    }
    // The program's own folder is the last place looked at.
    const std::string program = zqt_platform::ProgramPath();
    const std::string own = fs::path(program).filename().string();
    EXPECT_EQ(TZQS_Project::ResolveDataFile("B", own), TZQS_Dirs::ProgramDir() + own);
}

// ---------------------------------------------------------------------------------------
// Working project database and object identifiers

TEST_F(ProjectTest, CreateProjectBuildsTheSchemaQuickly) {
    auto project = TZQS_Project::Create();
    EXPECT_EQ(zqt_project::CurrentProject(), project->Intf());
    int initStoreCalls = 0;
    TZQS_Project::SetInitStoreHook([&] { ++initStoreCalls; });

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto db = TZQS_Project::CreateProject("");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("[ timing ] working project database created in %.1f ms\n", ms);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(ms, 100.0);
#endif

    EXPECT_EQ(initStoreCalls, 1);
    EXPECT_EQ(project->GetDatabase(), db);
    EXPECT_EQ(TZQS_Project::GetProjectDatabase(), db);
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(
        db->QueryInt(
            "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'"),
        73);
    EXPECT_EQ(TZQS_Project::ProjectDatabaseName(), "");

    // The first id is MAX(ObjID) + 1: 1 for an empty registry.
    EXPECT_EQ(TZQS_Project::NewObjID(), 1);
    EXPECT_EQ(TZQS_Project::NewObjID(), 2);
    // The SQL function hands out ids from the same counter.
    EXPECT_EQ(db->QueryInt("SELECT NewObjID()"), 3);
    db->ExecSQL("INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (41, 1, 'a'), (7, 5, 'b')");
    TZQS_Project::InitObjIDCounter();
    EXPECT_EQ(TZQS_Project::NewObjID(), 42);
}

TEST_F(ProjectTest, CreateProjectReplacesAnExistingFile) {
    const std::string name = Dir.File("work.prj");
    WriteFile(name, "this is not a database");
    bool existedDuringHook = true;
    TZQS_Project::SetInitStoreHook([&] { existedDuringHook = zqt_files::PathExists(name); });
    {
        // Without a current project the database is still created and returned.
        const auto db = TZQS_Project::CreateProject(name);
        EXPECT_FALSE(existedDuringHook);  // the hook runs before the database opens
        db->ExecSQL("INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (9, 1, 'old')");
    }
    EXPECT_EQ(TZQS_Project::ProjectDatabaseDir(), Dir.File(""));
    EXPECT_EQ(TZQS_Project::ProjectDatabaseBareName(), "work");
    const auto db = TZQS_Project::CreateProject(name);
    EXPECT_EQ(db->QueryInt("SELECT COUNT(*) FROM ObjInfo"), 0);
    EXPECT_EQ(TZQS_Project::NewObjID(), 1);
    EXPECT_EQ(TZQS_Project::GetProjectDatabase(), nullptr);  // no current project
}

TEST_F(ProjectTest, ObjectIdsAreUniqueAcrossThreads) {
    TZQS_Project::CreateProject(":memory:");
    constexpr int Threads = 4, PerThread = 2000;
    std::vector<std::vector<std::int64_t>> got(Threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < PerThread; ++i) got[t].push_back(TZQS_Project::NewObjID());
        });
    for (auto& w : workers) w.join();
    std::set<std::int64_t> all;
    for (const auto& v : got) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(Threads * PerThread));
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), Threads * PerThread);
}

TEST_F(ProjectTest, LogListOutlivesTheProjectWhileAWriterHoldsIt) {
    std::weak_ptr<std::vector<std::string>> watch;
    std::shared_ptr<zqt_classes_dbs::TZQS_Object> writer;
    {
        auto project = TZQS_Project::Create();
        auto log = std::make_shared<std::vector<std::string>>();
        watch = log;
        project->SetLogger(std::move(log));
        TZQS_Project::CreateProject("");
        writer = zqt_classes_dbs::TZQS_Object::CreateWithParent(project->Intf());
        zqt_project::ClearCurrentProject();
    }
    // The project is gone; the writer still appends to the shared list.
    ASSERT_FALSE(watch.expired());
    writer->Log("after the project");
    EXPECT_EQ(watch.lock()->size(), 1u);
    writer.reset();
    EXPECT_TRUE(watch.expired());  // freed exactly once, by the last holder
}

// ---------------------------------------------------------------------------------------
// Folder table

TEST_F(ProjectTest, FolderTableUnderTheProgramFolder) {
    TZQS_Dirs::Setup("", "/x/ext.db3", "Data");
    const std::string p = TZQS_Dirs::ProgramDir();
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.back(), '/');
    EXPECT_EQ(TZQS_Dirs::ProgramPath(), zqt_platform::ProgramPath());
    EXPECT_EQ(TZQS_Dirs::DataDir(), p + "Data/");
    EXPECT_EQ(TZQS_Dirs::AntennasDbName(), p + "Data/antennas.db3");
    EXPECT_EQ(TZQS_Dirs::AntennasExtDbName(), "/x/ext.db3");
    EXPECT_EQ(TZQS_Dirs::StationsDbName(), p + "Data/stations.db3");
    EXPECT_EQ(TZQS_Dirs::ContoursDir(), p + "Data/Contours");
    // Filled once: a second Setup only replaces the antennas databases it is given.
    TZQS_Dirs::Setup("/y/ant.db3", "", "Other");
    EXPECT_EQ(TZQS_Dirs::DataDir(), p + "Data/");
    EXPECT_EQ(TZQS_Dirs::AntennasDbName(), "/y/ant.db3");
    EXPECT_EQ(TZQS_Dirs::AntennasExtDbName(), "/x/ext.db3");
}

TEST_F(ProjectTest, UserFoldersResolveLazilyWithoutHome) {
    ScopedEnv home("HOME", nullptr), docs("XDG_DOCUMENTS_DIR", nullptr),
        data("XDG_DATA_HOME", nullptr);
    // Program folders need no home at all.
    EXPECT_NO_THROW(TZQS_Dirs::Setup("", "", "Data"));
    EXPECT_NO_THROW(TZQS_Dirs::StationsDbName());
    // User folders fall back to the password database.
    const std::string pwHome = TZQS_Dirs::HomeDir();
    if (pwHome.empty()) GTEST_SKIP() << "no password entry for this user";
    EXPECT_EQ(TZQS_Dirs::UserDataDir(), pwHome + "Documents/Haldor/");
    EXPECT_EQ(TZQS_Dirs::CatalogDbName(), pwHome + "Documents/Haldor/catalog.db3");
    EXPECT_EQ(TZQS_Dirs::SuiteDir(), pwHome + ".local/share/Tervan GNSS/");
    EXPECT_EQ(TZQS_Dirs::ProductDir(), pwHome + ".local/share/Tervan GNSS/Haldor/");
}

TEST_F(ProjectTest, UserFolderRulesAndTheGeoDataSearch) {
    struct Case {
        const char* Xdg;
        const char* Home;
        const char* Expected;  // nullptr: raises "No user home dir"
    };
    const std::vector<Case> cases = {
        {"/d/docs", "/h", "/d/docs/"},
        {"", "/h/", "/h/Documents/"},
        {"", "/h", "/h/Documents/"},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        if (c.Expected) {
            EXPECT_EQ(zqt_dirs::detail::DocumentsDirFrom(c.Xdg, c.Home), c.Expected);
        } else {
            try {
                zqt_dirs::detail::DocumentsDirFrom(c.Xdg, c.Home);
                ADD_FAILURE() << "no exception";
            } catch (const sysutils::Exception& e) {
                EXPECT_EQ(e.Message(), "No user home dir");
            }
        }
    }
    {
        ScopedEnv home("HOME", "/home/someone"), docs("XDG_DOCUMENTS_DIR", nullptr);
        EXPECT_EQ(TZQS_Dirs::UserDataDir(), "/home/someone/Documents/Haldor/");
        EXPECT_EQ(TZQS_Dirs::LogsDir(), "/home/someone/Documents/Haldor/Logs/");
        EXPECT_EQ(TZQS_Dirs::ImportTemplateFile(),
                  "/home/someone/Documents/Haldor/Logs/ImportTemplate.txt");
        EXPECT_EQ(TZQS_Dirs::UserAntennasDbName(),
                  "/home/someone/Documents/Haldor/Antennas/antennas_user.db3");
        EXPECT_EQ(TZQS_Dirs::CoordinateSystemsParamFile(),
                  "/home/someone/Documents/Haldor/CoordinateSystems/Param.vkc");
    }

    // GeoData: the suite's folder with the database, else the program's, else a parent's.
    const std::string root = Dir.File("");
    fs::create_directories(root + "suite/GeoData");
    fs::create_directories(root + "a/GeoData");
    fs::create_directories(root + "a/b/prog");
    const std::string prog = root + "a/b/prog/";
    EXPECT_EQ(zqt_dirs::detail::FindGeoDataDir(root + "suite/", prog), root + "a/GeoData/");
    fs::create_directories(prog + "GeoData");
    WriteFile(prog + "GeoData/CoordinateSystemDB.db3", "");
    EXPECT_EQ(zqt_dirs::detail::FindGeoDataDir("", prog), prog + "GeoData/");
    WriteFile(root + "suite/GeoData/CoordinateSystemDB.db3", "");
    EXPECT_EQ(zqt_dirs::detail::FindGeoDataDir(root + "suite/", prog), root + "suite/GeoData/");
    fs::remove_all(root + "a/GeoData");
    fs::remove_all(prog + "GeoData");
    const std::string none = zqt_dirs::detail::FindGeoDataDir("", prog);
    // No GeoData anywhere above (unless the machine has one): the program's own is kept.
    if (!fs::exists("/GeoData") && !fs::exists(fs::temp_directory_path() / "GeoData")) {
        EXPECT_EQ(none, prog + "GeoData/");
    }
}
