// Shared parts of the targets that import a file: the input file in the process's private
// folder, and a fresh project per input over databases built once per process.
//
// The working project database is a file of the private folder, made once by
// CreateProject and kept open; its bytes as CreateProject left them (the schema and its
// seed rows) are kept too. Before each input the file gets those bytes back while the
// connection is idle: SQLite sees from the header's change counter that the file changed
// and drops its cached pages, while its parsed schema stays valid (the schema cookie is the
// one it read), so no input pays for the schema. What else an input may leave on the
// connection goes too: an open transaction, a failure of the write-behind worker, attached
// databases and temporary tables. The navigation database is emptied. Nothing of one input
// reaches the next: a finding reproduces from its input alone.
#pragma once

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "zqt_datastorage.h"
#include "zqt_db.h"
#include "zqt_project.h"

namespace fuzzutil {

// The path of FileName in the private folder.
inline std::string InputPath(const std::string& FileName) {
    return PrivateFolder() + "/" + FileName;
}

// Writes the bytes to Path, with the same modification time every time (the import
// records it): an input is imported alike whenever it runs.
inline void WriteInput(const std::string& Path, const std::uint8_t* Data, std::size_t Size) {
    std::ofstream(Path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    const struct timespec times[2] = {{1709640000, 0}, {1709640000, 0}};  // 2024-03-05 12:00
    ::utimensat(AT_FDCWD, Path.c_str(), times, 0);
}

class TProjectFile {
public:
    // Made on the first call (from LLVMFuzzerInitialize, with the navigation database).
    static TProjectFile& Get() {
        static TProjectFile file;
        return file;
    }

    // Gives Project the project database as CreateProject left it, and an empty navigation
    // database. A reset that fails ends the process: the inputs after it would test nothing.
    void Fresh(zqt_project::TZQS_Project& Project) {
        try {
            Restore();
            Project.SetDatabase(FDb);
            zqt_project::TZQS_Project::InitObjIDCounter(*FDb);
        } catch (const std::exception& e) {
            Fail("cannot reset the databases", e.what());
        }
    }

    // Lets SQLite free the pages it keeps cached for the connections: what an input made
    // it allocate is freed within the same input (libFuzzer runs an input whose allocations
    // outnumber its frees a second time, looking for a leak).
    void ReleaseMemory() {
        sqlite3_db_release_memory(FDb->Handle());
        if (const auto nav = zqt_datastorage::TZQS_DataStorage::NavDatabase())
            sqlite3_db_release_memory(nav->Handle());
    }

private:
    void Restore() {
        SQLiteExt::IESQLiteDatabase& db = *FDb;
        try {
            db.WriteBehind().Sync();
        } catch (const std::exception&) {
            // The failure of the earlier input's last job was that input's answer.
        }
        if (db.InTransaction()) SQLiteExt::RollbackQuietly(db);
        for (sqlite3_stmt* s = sqlite3_next_stmt(db.Handle(), nullptr); s != nullptr;
             s = sqlite3_next_stmt(db.Handle(), s))
            if (sqlite3_stmt_busy(s)) Fail("a statement still runs", sqlite3_sql(s));
        for (const std::string& name : db.SelectStrColumn(
                 "SELECT name FROM pragma_database_list WHERE name NOT IN ('main', 'temp')"))
            db.Detach(name);
        for (const std::string& drop : db.SelectStrColumn(
                 "SELECT 'DROP ' || type || ' IF EXISTS temp.\"' || name || '\"' FROM "
                 "temp.sqlite_master WHERE type IN ('trigger', 'view', 'table') "
                 "ORDER BY type = 'table'"))
            db.ExecSQL(drop);
        if (::pwrite(FFd, FImage.data(), FImage.size(), 0) != static_cast<ssize_t>(FImage.size()) ||
            ::ftruncate(FFd, static_cast<off_t>(FImage.size())) != 0)
            Fail("cannot restore the project database", FPath.c_str());
        SQLiteExt::IESQLiteDatabase& nav = *zqt_datastorage::TZQS_DataStorage::NavDatabase();
        if (nav.InTransaction()) SQLiteExt::RollbackQuietly(nav);
        zqt_datastorage::TZQS_DataStorage::ClearStore();
    }

    TProjectFile() : FPath(PrivateFolder() + "/project.db") {
        FDb = zqt_project::TZQS_Project::CreateProject(FPath);
        // Durability is of no use here: no journal file, no waiting for the disk.
        FDb->QueryValue("PRAGMA journal_mode = MEMORY");
        FDb->ExecSQL("PRAGMA synchronous = OFF");
        std::ifstream in(FPath, std::ios::binary);
        FImage.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        // Kept open: closing a second descriptor of the file would drop SQLite's locks.
        FFd = ::open(FPath.c_str(), O_RDWR | O_CLOEXEC);
        if (FImage.empty() || FFd < 0) Fail("cannot read the project database", FPath.c_str());
    }

    [[noreturn]] static void Fail(const char* What, const char* Detail) {
        std::fprintf(stderr, "fuzz: %s: %s\n", What, Detail ? Detail : "");
        std::abort();
    }

    std::string FPath;
    SQLiteExt::IESQLiteDatabasePtr FDb;
    std::string FImage;
    int FFd = -1;
};

// Clears the current project at the end of an input.
struct TProjectScope {
    TProjectScope() = default;
    TProjectScope(const TProjectScope&) = delete;
    TProjectScope& operator=(const TProjectScope&) = delete;
    ~TProjectScope() {
        zqt_project::ClearCurrentProject();
        TProjectFile::Get().ReleaseMemory();
    }
};

// Writes the bytes to Path and runs Load(project, Path) in a fresh project.
template <class L>
void ImportAs(const std::string& Path, const std::uint8_t* Data, std::size_t Size, L&& Load) {
    WriteInput(Path, Data, Size);
    const TProjectScope scope;
    const auto project = zqt_project::TZQS_Project::Create();
    project->SetLogger(std::make_shared<std::vector<std::string>>());
    TProjectFile::Get().Fresh(*project);
    Load(*project, Path);
}

}  // namespace fuzzutil
