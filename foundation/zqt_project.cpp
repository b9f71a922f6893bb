#include "zqt_project.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "zqt_db.h"
#include "zqt_dirs.h"
#include "zqt_files.h"
#include "zqt_misc.h"
#include "zqt_platform.h"
#include "zqt_schema.h"

namespace zqt_project {

using sysutils::Format;
using zqt_types_bs::ExceptionZQS;

namespace {

constexpr const char* DuplicateKeyText = "Duplicates not allowed in dictionary";

using TConfig = std::map<std::string, std::string, std::less<>>;

// Process-wide state of the project context.
struct TGlobals {
    std::string AppName;
    IZQS_ObjectPtr Current;
    std::optional<TConfig> Config;
    std::string AntennasDb, AntennasExt, Template, SQLiteDll;
    std::string DbName, DbDir, DbBareName;
    TProjectHook InitStore;
    std::mutex CounterLock;
    // An empty project starts at 1 as well: 0 is never handed out as an object id.
    std::int64_t Counter = 1;
};

TGlobals& G() {
    static TGlobals g;
    return g;
}

// The program's folder with a trailing "/" ("./" when the program path is unknown). Read
// here rather than from the directory table, which Initialize fills only afterwards.
std::string ProgramFolder() {
    const std::string path = zqt_platform::ProgramPath();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void InstallSqlFunctions() {
    zqt_db::SetNewObjIDBody([] { return TZQS_Project::NewObjID(); });
}

// The file's lines without their line ends (LF or CR LF); a leading UTF-8 byte-order
// mark is dropped. A file that cannot be read whole raises.
std::vector<std::string> ReadLines(const std::string& FileName) {
    std::string s;
    {
        zqt_classes_bs::TFileHandle f(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
        int err = f.Valid() ? 0 : errno;
        char buf[8192];
        while (err == 0) {
            const ssize_t n = ::read(f.Fd(), buf, sizeof buf);
            if (n > 0)
                s.append(buf, static_cast<std::size_t>(n));
            else if (n == 0)
                break;
            else if (errno != EINTR)
                err = errno;
        }
        if (err != 0)
            throw ExceptionInconsistentConfig(
                Format("Cannot read configuration file %s: %s", FileName, std::strerror(err)));
    }
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        std::string line = s.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace

// =======================================================================================
// Current project

IZQS_ObjectPtr CurrentProject() { return G().Current; }
void SetCurrentProject(IZQS_ObjectPtr Project) { G().Current = std::move(Project); }
void ClearCurrentProject() {
    // Released outside the slot, so that a destructor reaching back here sees it empty.
    IZQS_ObjectPtr old;
    old.swap(G().Current);
}

void TRPrjGen::Clear() { *this = TRPrjGen{}; }

// =======================================================================================
// Configuration

void TZQS_Project::Initialize() {
    LoadConfig();
    LoadSettings();
    zqt_dirs::TZQS_Dirs::Setup(G().AntennasDb, G().AntennasExt, "Data");
    InstallSqlFunctions();
    zqt_db::SetupCatalog();
}

void TZQS_Project::LoadConfig() {
    const std::string program = zqt_platform::ProgramPath();
    if (program.empty()) {
        G().Config.reset();
        return;
    }
    const std::string name = zqt_misc::FileNameWithoutExt(program) + ".cfg";
    if (zqt_files::PathExists(name)) {
        LoadConfig(name);
        return;
    }
    LoadConfig(ProgramFolder() + name);
}

void TZQS_Project::LoadConfig(const std::string& FileName) {
    G().Config.reset();
    if (FileName.empty() || !zqt_files::PathExists(FileName)) return;
    TConfig config;
    for (const std::string& line : ReadLines(FileName)) {
        if (line.empty() || line.compare(0, 2, "//") == 0) continue;
        const std::size_t eq = line.find('=');
        // A line that is not KEY=VALUE carries nothing this program reads.
        if (eq == std::string::npos) continue;
        std::string key = sysutils::UpperCase(std::string_view(line).substr(0, eq));
        std::string value =
            sysutils::ReplaceAll(std::string_view(line).substr(eq + 1), "UNKWN", "");
        if (!config.emplace(std::move(key), std::move(value)).second)
            throw ExceptionInconsistentConfig(DuplicateKeyText);
    }
    G().Config = std::move(config);
}

void TZQS_Project::ClearConfig() { G().Config.reset(); }

bool TZQS_Project::HasConfig() { return G().Config.has_value(); }

std::string TZQS_Project::GetConfigValue(std::string_view Key) {
    const std::optional<TConfig>& config = G().Config;
    if (!config) return std::string();
    const auto it = config->find(sysutils::UpperCase(Key));
    return it == config->end() ? std::string() : sysutils::Trim(it->second);
}

std::string TZQS_Project::ResolveDataFile(std::string_view Key, const std::string& Default) {
    std::string configured = GetConfigValue(Key);
    if (!configured.empty() && zqt_files::PathExists(configured)) return configured;
    if (!Default.empty()) {
        if (zqt_files::PathExists(Default)) return Default;
        std::string own = ProgramFolder() + Default;
        if (zqt_files::PathExists(own)) return own;
    }
    return std::string();
}

void TZQS_Project::LoadSettings() {
    TGlobals& g = G();
    g.AntennasDb = ResolveDataFile("ANTENNADB", "antennas.db3");
    g.AntennasExt = ResolveDataFile("ANTENNAEXT", "antennas_ext.db3");
    g.Template = ResolveDataFile("TEMPLATE", "template.zqe");
    g.SQLiteDll = GetConfigValue("SQLITEDLL");
}

std::string TZQS_Project::AntennasDbFile() { return G().AntennasDb; }
std::string TZQS_Project::AntennasExtFile() { return G().AntennasExt; }
std::string TZQS_Project::TemplateFile() { return G().Template; }
std::string TZQS_Project::SQLiteLibraryName() { return G().SQLiteDll; }

void TZQS_Project::SetInitStoreHook(TProjectHook Hook) { G().InitStore = std::move(Hook); }

// =======================================================================================
// The working project database

IESQLiteDatabasePtr TZQS_Project::CreateProject(const std::string& FileName) {
    TGlobals& g = G();
    if (!FileName.empty() && FileName != ":memory:" && zqt_files::PathExists(FileName) &&
        !zqt_files::DeleteFileName(FileName))
        throw ExceptionZQS(
            Format("Cannot replace the project database %s: %s", FileName, std::strerror(errno)));
    g.DbName = FileName;
    const std::size_t slash = FileName.rfind('/');
    g.DbDir = slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
    g.DbBareName = zqt_misc::FileNameWithoutExt(FileName);

    if (g.InitStore) g.InitStore();
    InstallSqlFunctions();

    IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create(FileName, 0);
    db->BeginTransaction();
    try {
        db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
        db->Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(*db);
        throw;
    }
    if (g.Current) g.Current->SetDatabase(db);
    InitObjIDCounter(*db);
    return db;
}

std::string TZQS_Project::ProjectDatabaseName() { return G().DbName; }
std::string TZQS_Project::ProjectDatabaseDir() { return G().DbDir; }
std::string TZQS_Project::ProjectDatabaseBareName() { return G().DbBareName; }

IESQLiteDatabasePtr TZQS_Project::GetProjectDatabase() {
    const IZQS_ObjectPtr p = G().Current;
    return p ? p->GetDatabase() : nullptr;
}

// =======================================================================================
// Object identifiers

std::int64_t TZQS_Project::NewObjID() {
    TGlobals& g = G();
    std::lock_guard<std::mutex> lock(g.CounterLock);
    return g.Counter++;
}

void TZQS_Project::InitObjIDCounter() {
    const IESQLiteDatabasePtr db = GetProjectDatabase();
    if (!db) throw ExceptionZQS("TZQS_Project.InitObjIDCounter: no project database");
    InitObjIDCounter(*db);
}

void TZQS_Project::InitObjIDCounter(IESQLiteDatabase& Db) {
    const std::int64_t next = Db.QueryInt("SELECT MAX(ObjID) FROM ObjInfo") + 1;
    TGlobals& g = G();
    std::lock_guard<std::mutex> lock(g.CounterLock);
    g.Counter = next;
}

// =======================================================================================
// Application

std::string TZQS_Project::GetAppName() { return G().AppName; }
void TZQS_Project::SetAppName(std::string Name) { G().AppName = std::move(Name); }
std::string TZQS_Project::GetVersionString() { return zqt_platform::VersionString(); }
bool TZQS_Project::IsRussianUI() { return zqt_platform::IsRussian(); }
std::string TZQS_Project::CreateAppTempDir() { return zqt_misc::CreateTempDir(G().AppName); }

}  // namespace zqt_project
