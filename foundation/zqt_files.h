// Path and file tests: joining paths, existence, size and date of files, the user's home
// and documents folders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sysutils.h"

namespace zqt_files {

// The folder delimiter of paths.
inline constexpr char PathDelim = '/';

// A empty -> B; B empty -> A; A ending with "/" -> A + B; else A + "/" + B.
std::string JoinPath(std::string_view a, std::string_view b);
// True when a file or folder exists at the path (symbolic links are followed).
bool PathExists(const std::string& path);
// Deletes a file (a symbolic link itself, not its target); false when that fails.
bool DeleteFileName(const std::string& path);
// The modification time of a file as a local date-time value; EInOutError when the file
// cannot be found.
sysutils::TDateTime FileDateTime(const std::string& path);
// The size of a file in bytes; -1 when it cannot be found.
std::int64_t FileSizeFind(const std::string& path);
// $XDG_DOCUMENTS_DIR, else the home folder + "Documents"; with a trailing "/", empty when
// neither is known.
std::string UserDocumentsDir();
// $HOME with a trailing "/"; empty when it is unset.
std::string HomeDir();
// The absolute form of the path + "/..".
std::string ParentDir(std::string_view path);

}  // namespace zqt_files
