#include "zqt_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "zqt_platform.h"

namespace zqt_files {

namespace {

std::string WithTrailingDelim(std::string path) {
    if (!path.empty() && path.back() != PathDelim) path += PathDelim;
    return path;
}

}  // namespace

std::string JoinPath(std::string_view a, std::string_view b) {
    if (a.empty()) return std::string(b);
    if (b.empty()) return std::string(a);
    std::string r(a);
    if (r.back() != PathDelim) r += PathDelim;
    r += b;
    return r;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool DeleteFileName(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

sysutils::TDateTime FileDateTime(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        throw sysutils::EInOutError(sysutils::Format("File \"%s\" not found", path));
    // Local wall-clock seconds: UTC plus the zone offset in force at that moment.
    struct tm local {};
    const std::time_t t = st.st_mtim.tv_sec;
    ::localtime_r(&t, &local);
    const double seconds = static_cast<double>(st.st_mtim.tv_sec) +
                           static_cast<double>(local.tm_gmtoff) +
                           static_cast<double>(st.st_mtim.tv_nsec) * 1e-9;
    // Days since 1899-12-30; the Unix epoch is day 25569.
    return 25569.0 + seconds / 86400.0;
}

std::int64_t FileSizeFind(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::string HomeDir() { return WithTrailingDelim(zqt_platform::GetEnv("HOME")); }

std::string UserDocumentsDir() {
    const std::string xdg = zqt_platform::GetEnv("XDG_DOCUMENTS_DIR");
    if (!xdg.empty()) return WithTrailingDelim(xdg);
    const std::string home = HomeDir();
    if (home.empty()) return std::string();
    return home + "Documents" + PathDelim;
}

std::string ParentDir(std::string_view path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p(path);
    if (p.is_relative()) {
        const fs::path cwd = fs::current_path(ec);
        if (!ec) p = cwd / p;
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == PathDelim) s.pop_back();
    if (s.empty() || s.back() != PathDelim) s += PathDelim;
    return s + "..";
}

}  // namespace zqt_files
