#include "zqt_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "zqt_platform.h"

namespace zqt_dirs {

namespace {

constexpr const char* SuiteFolder = "Tervan GNSS";
constexpr const char* ProductFolder = "Haldor";
constexpr const char* GeoDataFolder = "GeoData";
constexpr const char* CoordinateSystemDb = "CoordinateSystemDB.db3";

std::string WithSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool DirExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PasswdHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buf(static_cast<std::size_t>(size));
    struct passwd pw {};
    struct passwd* result = nullptr;
    for (;;) {
        const int rc = ::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result);
        if (rc == ERANGE && buf.size() < (1u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (rc != 0 || result == nullptr || pw.pw_dir == nullptr) return std::string();
        return std::string(pw.pw_dir);
    }
}

// The directory table. Program entries are filled together; user entries one by one on
// first use.
struct TDirTable {
    std::recursive_mutex Lock;
    bool Filled = false;
    std::string ProgramPath, ProgramDir, DataDir, AntennasDb, AntennasExtDb, ContoursDir,
        DefaultsDb, FtpDb, StationsDb;
    std::optional<std::string> SuiteDir, GeoDataDir, UserDataDir;

    void Fill(const std::string& DataSubfolder) {
        if (Filled) return;
        ProgramPath = zqt_platform::ProgramPath();
        const std::size_t slash = ProgramPath.rfind('/');
        ProgramDir =
            slash == std::string::npos ? std::string("./") : ProgramPath.substr(0, slash + 1);
        DataDir = DataSubfolder.empty() ? ProgramDir : WithSlash(ProgramDir + DataSubfolder);
        AntennasDb = DataDir + "antennas.db3";
        AntennasExtDb = DataDir + "antennas_ext.db3";
        ContoursDir = DataDir + "Contours";
        DefaultsDb = DataDir + "defaults.db3";
        FtpDb = DataDir + "ftpdata.db3";
        StationsDb = DataDir + "stations.db3";
        Filled = true;
    }
};

TDirTable& Table() {
    static TDirTable t;
    return t;
}

// Runs F on the table filled with the defaults at least.
template <class F>
auto WithTable(F f) {
    TDirTable& t = Table();
    std::lock_guard<std::recursive_mutex> lock(t.Lock);
    t.Fill("Data");
    return f(t);
}

// A cached user entry, computed by Make on first use (a raise leaves it unresolved).
template <class F>
std::string UserEntry(std::optional<std::string> TDirTable::*Member, F Make) {
    return WithTable([&](TDirTable& t) {
        std::optional<std::string>& v = t.*Member;
        if (!v) v = Make(t);
        return *v;
    });
}

}  // namespace

namespace detail {

std::string DocumentsDirFrom(std::string_view XdgDocuments, std::string_view Home) {
    if (!XdgDocuments.empty()) return WithSlash(std::string(XdgDocuments));
    if (!Home.empty()) return WithSlash(std::string(Home)) + "Documents/";
    throw sysutils::Exception("No user home dir");
}

std::string FindGeoDataDir(const std::string& SuiteDir, const std::string& ProgramDir) {
    if (!SuiteDir.empty()) {
        std::string g = SuiteDir + GeoDataFolder + "/";
        if (FileExists(g + CoordinateSystemDb)) return g;
    }
    std::string own = ProgramDir + GeoDataFolder + "/";
    if (FileExists(own + CoordinateSystemDb)) return own;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(ProgramDir), ec);
    if (!ec) {
        p = p.lexically_normal();
        if (!p.has_filename()) p = p.parent_path();  // "dir/" -> "dir"
        while (p.has_parent_path() && p.parent_path() != p) {
            p = p.parent_path();
            const std::string candidate = (p / GeoDataFolder).string();
            if (DirExists(candidate)) return candidate + "/";
        }
    }
    return own;
}

}  // namespace detail

// ---------------------------------------------------------------------------------------
// Set-up

void TZQS_Dirs::Setup(const std::string& AntennasDb, const std::string& AntennasExtDb,
                      const std::string& DataSubfolder) {
    TDirTable& t = Table();
    std::lock_guard<std::recursive_mutex> lock(t.Lock);
    t.Fill(DataSubfolder);
    if (!AntennasDb.empty()) t.AntennasDb = AntennasDb;
    if (!AntennasExtDb.empty()) t.AntennasExtDb = AntennasExtDb;
}

void TZQS_Dirs::Reset() {
    TDirTable& t = Table();
    std::lock_guard<std::recursive_mutex> lock(t.Lock);
    t.Filled = false;
    t.SuiteDir.reset();
    t.GeoDataDir.reset();
    t.UserDataDir.reset();
}

// ---------------------------------------------------------------------------------------
// Program entries

std::string TZQS_Dirs::ProgramPath() {
    return WithTable([](TDirTable& t) { return t.ProgramPath; });
}
std::string TZQS_Dirs::ProgramDir() {
    return WithTable([](TDirTable& t) { return t.ProgramDir; });
}
std::string TZQS_Dirs::DataDir() {
    return WithTable([](TDirTable& t) { return t.DataDir; });
}
std::string TZQS_Dirs::AntennasDbName() {
    return WithTable([](TDirTable& t) { return t.AntennasDb; });
}
std::string TZQS_Dirs::AntennasExtDbName() {
    return WithTable([](TDirTable& t) { return t.AntennasExtDb; });
}
std::string TZQS_Dirs::ContoursDir() {
    return WithTable([](TDirTable& t) { return t.ContoursDir; });
}
std::string TZQS_Dirs::DefaultsDbName() {
    return WithTable([](TDirTable& t) { return t.DefaultsDb; });
}
std::string TZQS_Dirs::FtpDbName() {
    return WithTable([](TDirTable& t) { return t.FtpDb; });
}
std::string TZQS_Dirs::StationsDbName() {
    return WithTable([](TDirTable& t) { return t.StationsDb; });
}

// ---------------------------------------------------------------------------------------
// The user's folders

std::string TZQS_Dirs::HomeDir() {
    const std::string home = zqt_platform::GetEnv("HOME");
    return WithSlash(home.empty() ? PasswdHome() : home);
}

std::string TZQS_Dirs::DocumentsDir() {
    return detail::DocumentsDirFrom(zqt_platform::GetEnv("XDG_DOCUMENTS_DIR"), HomeDir());
}

std::string TZQS_Dirs::AppDataDir() {
    const std::string xdg = zqt_platform::GetEnv("XDG_DATA_HOME");
    if (!xdg.empty()) return WithSlash(xdg);
    const std::string home = HomeDir();
    if (home.empty()) throw sysutils::Exception("No user home dir");
    return home + ".local/share/";
}

std::string TZQS_Dirs::SuiteDir() {
    return UserEntry(&TDirTable::SuiteDir,
                     [](TDirTable&) { return AppDataDir() + SuiteFolder + "/"; });
}

std::string TZQS_Dirs::ProductDir() { return SuiteDir() + ProductFolder + "/"; }

std::string TZQS_Dirs::GeoDataDir() {
    return UserEntry(&TDirTable::GeoDataDir, [](TDirTable& t) {
        // Without a home folder the suite's geodata cannot be there; the program's
        // folders are searched all the same.
        std::string suite;
        try {
            suite = SuiteDir();
        } catch (const sysutils::Exception&) {
            // No home folder: no suite folder to search; nothing else depends on it.
        }
        return detail::FindGeoDataDir(suite, t.ProgramDir);
    });
}

std::string TZQS_Dirs::CoordinateSystemDbName() { return GeoDataDir() + CoordinateSystemDb; }

std::string TZQS_Dirs::UserDataDir() {
    return UserEntry(&TDirTable::UserDataDir,
                     [](TDirTable&) { return DocumentsDir() + ProductFolder + "/"; });
}

std::string TZQS_Dirs::CatalogDbName() { return UserDataDir() + "catalog.db3"; }
std::string TZQS_Dirs::ReferencePointsDir() { return UserDataDir() + "ReferencePoints/"; }
std::string TZQS_Dirs::ReferencePointsParamFile() { return ReferencePointsDir() + "Param.zqs"; }
std::string TZQS_Dirs::CamerasDir() { return UserDataDir() + "Cameras/"; }
std::string TZQS_Dirs::CamerasParamFile() { return CamerasDir() + "Param.vmr"; }
std::string TZQS_Dirs::CoordinateSystemsDir() { return UserDataDir() + "CoordinateSystems/"; }
std::string TZQS_Dirs::CoordinateSystemsParamFile() { return CoordinateSystemsDir() + "Param.vkc"; }
std::string TZQS_Dirs::LogsDir() { return UserDataDir() + "Logs/"; }
std::string TZQS_Dirs::ImportTemplateFile() { return LogsDir() + "ImportTemplate.txt"; }
std::string TZQS_Dirs::UserAntennasDbName() { return UserDataDir() + "Antennas/antennas_user.db3"; }
std::string TZQS_Dirs::ProjectTemplatesDir() { return UserDataDir() + "ProjectTemplates/"; }

}  // namespace zqt_dirs
