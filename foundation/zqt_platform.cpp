#include "zqt_platform.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "zqt_version.h"

namespace zqt_platform {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

}  // namespace

std::string GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string LanguageFromLocale(std::string_view locale) {
    const std::size_t end = locale.find_first_of("_.@-");
    std::string lang(locale.substr(0, end));
    for (char& c : lang)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (lang.size() < 2 || lang == "posix") return "en";
    lang.resize(2);
    return lang;
}

std::string UserLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string v = GetEnv(name);
        if (!v.empty()) return LanguageFromLocale(v);
    }
    return "en";
}

bool IsRussian() { return UserLanguage() == "ru"; }

int ConsoleWidth() {
    struct winsize ws {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return 80;
    return ws.ws_col;
}

std::string ProgramPath() {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return std::string();
        if (static_cast<std::size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<std::size_t>(n));
        if (buf.size() >= 65536) return std::string();
        buf.resize(buf.size() * 2);
    }
}

std::string TempDirectory() {
    const std::string tmp = GetEnv("TMPDIR");
    return WithTrailingSlash(IsDirectory(tmp) ? tmp : std::string("/tmp"));
}

std::string UserAppDataDir() {
    const std::string xdg = GetEnv("XDG_DATA_HOME");
    if (!xdg.empty()) return WithTrailingSlash(xdg);
    const std::string home = GetEnv("HOME");
    if (home.empty()) return std::string();
    return WithTrailingSlash(home) + ".local/share/";
}

std::string VersionString() {
    return std::string(zqt_version::ProductName) + " " + zqt_version::FileVersion;
}

}  // namespace zqt_platform
