// The project context shared by the whole process: the configuration file beside the
// program, the suite's data files it names, the working project database (created empty
// from the built-in schema), the counter that hands out object identifiers, the current
// project through which every object reaches the project's database and events, the
// application name and version text, and the language test.
//
// TZQS_Project is the base class of the application object; nearly everything else is
// class routines over process-wide state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "SQLiteExt.h"
#include "zqt_classes_dbs.h"
#include "zqt_objects_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_project {

// Inconsistent command-line parameters (the main program ends with exit code 47).
ZQT_DECLARE_EXCEPTION(ExceptionInconsistentParams, zqt_types_bs::ExceptionZQS,
                      "ExceptionInconsistentParams");
// A faulty configuration file (the main program ends with exit code 48).
ZQT_DECLARE_EXCEPTION(ExceptionInconsistentConfig, zqt_types_bs::ExceptionZQS,
                      "ExceptionInconsistentConfig");

using SQLiteExt::IESQLiteDatabase;
using SQLiteExt::IESQLiteDatabasePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;

// A set-up step of a later subsystem, run by the project context; empty: nothing to do.
using TProjectHook = std::function<void()>;

// The current project: the application object's interface once it exists; empty before
// and after (program end and tests clear it).
IZQS_ObjectPtr CurrentProject();
void SetCurrentProject(IZQS_ObjectPtr Project);
void ClearCurrentProject();

// A plain record of generator values, zeroed by Clear.
struct TRPrjGen {
    std::int32_t Int1 = 0;
    std::int32_t Int2 = 0;
    std::int64_t Big1 = 0;
    std::int64_t Big2 = 0;
    double Value = 0.0;
    void Clear();
};

class TZQS_Project : public zqt_classes_dbs::TZQS_Object {
public:
    // The run's log list is shared (std::shared_ptr): this object and every writer it was
    // handed to hold it, and the last holder frees it.
    ~TZQS_Project() override = default;

    // Constructs the application object of class T (without a database: CreateProject
    // gives it one), runs InitFields and publishes it as the current project.
    template <class T = TZQS_Project>
    static std::shared_ptr<T> CreateOf() {
        auto obj = std::make_shared<T>();
        TZQS_Project& p = *obj;
        p.InitFields();
        SetCurrentProject(p.Intf());
        return obj;
    }
    static std::shared_ptr<TZQS_Project> Create() { return CreateOf<TZQS_Project>(); }

    // ---- start-up ---------------------------------------------------------------------
    // Once, before the project object exists: LoadConfig, LoadSettings, the directory
    // table (with the configured antennas databases), the SQL function NewObjID, and the
    // database catalogue. A faulty configuration file raises
    // ExceptionInconsistentConfig.
    static void Initialize();
    // Reads "<program name>.cfg" from the current folder, else from the program's folder.
    // Without such a file there is no configuration (every value reads empty).
    static void LoadConfig();
    // Reads the named file; a missing file leaves no configuration. Lines: empty ones
    // and those starting with "//" are skipped, lines without "=" are ignored; the others
    // are KEY=VALUE split at the first "=", the key upper-cased (not trimmed), every
    // "UNKWN" removed from the value. A repeated key raises ExceptionInconsistentConfig
    // "Duplicates not allowed in dictionary"; an unreadable file raises it too.
    static void LoadConfig(const std::string& FileName);
    // Drops the configuration (as if no file had been found).
    static void ClearConfig();
    // True when a configuration file was read.
    static bool HasConfig();
    // The trimmed value of KEY; "" without a configuration or without that key.
    static std::string GetConfigValue(std::string_view Key);
    // Resolves the configured data files: ANTENNADB, ANTENNAEXT, TEMPLATE; SQLITEDLL kept.
    static void LoadSettings();
    // The configured value when it names an existing file or folder; else Default when it
    // exists as given; else the program's folder + Default when that exists; else "".
    static std::string ResolveDataFile(std::string_view Key, const std::string& Default);
    static std::string AntennasDbFile();
    static std::string AntennasExtFile();
    static std::string TemplateFile();
    static std::string SQLiteLibraryName();

    // Hook of a later subsystem: the navigation store's InitStore (run by CreateProject
    // before the project database opens).
    static void SetInitStoreHook(TProjectHook Hook);

    // ---- the working project database -----------------------------------------------
    // Creates the working project database FileName afresh ("" : SQLite's private
    // temporary database, removed when closed; ":memory:": an in-memory one; an existing
    // file is replaced), runs the schema in one transaction, hands the database to the
    // current project (when there is one), starts the ObjID counter and returns it.
    static IESQLiteDatabasePtr CreateProject(const std::string& FileName);
    static std::string ProjectDatabaseName();
    static std::string ProjectDatabaseDir();       // with a trailing "/"; "" for none
    static std::string ProjectDatabaseBareName();  // without folder and extension
    // The current project's database; empty when there is none.
    static IESQLiteDatabasePtr GetProjectDatabase();
    // Always empty: this program keeps no temporary project database.
    static IESQLiteDatabasePtr GetTemporaryDatabase() { return nullptr; }

    // ---- object identifiers -----------------------------------------------------------
    // The next object identifier (thread-safe).
    static std::int64_t NewObjID();
    // Counter := MAX(ObjID) of ObjInfo + 1 on the project database (1 for an empty table).
    static void InitObjIDCounter();
    static void InitObjIDCounter(IESQLiteDatabase& Db);

    // ---- application --------------------------------------------------------------------
    static std::string GetAppName();
    static void SetAppName(std::string Name);
    // "ProductName FileVersion" of this build.
    static std::string GetVersionString();
    static std::string GetVersionText() { return GetVersionString(); }
    // True when the user's language (LC_ALL, LC_MESSAGES, LANG: the first set) is Russian.
    static bool IsRussianUI();
    // A new private temporary folder named after the application (with a trailing "/").
    static std::string CreateAppTempDir();
};

}  // namespace zqt_project
