// The few services of the operating system the program needs, in one small layer: the
// user's language, the console width, the program's own path, the temporary and user
// folders, and the version text.
#pragma once

#include <string>
#include <string_view>

namespace zqt_platform {

// The value of an environment variable, empty when it is unset.
std::string GetEnv(const char* name);

// The two-letter language of a locale name ("ru_RU.UTF-8" -> "ru"); "en" for "C", "POSIX"
// and empty names.
std::string LanguageFromLocale(std::string_view locale);
// The user's language from LC_ALL, LC_MESSAGES and LANG, the first that is set and not
// empty; "en" when none is.
std::string UserLanguage();
// True when the user's language is Russian.
bool IsRussian();

// Columns of the terminal on standard output; 80 when it is no terminal or reports 0.
int ConsoleWidth();

// The full path of the running program; empty when it cannot be read.
std::string ProgramPath();

// $TMPDIR when it names a directory, else "/tmp"; always with a trailing "/".
std::string TempDirectory();

// The user's folder for application data: $XDG_DATA_HOME, else $HOME/.local/share; with a
// trailing "/", empty when neither is known.
std::string UserAppDataDir();

// "ProductName FileVersion" of this build.
std::string VersionString();

}  // namespace zqt_platform
