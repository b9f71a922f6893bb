#include "zqt_misc.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "zqt_platform.h"

namespace zqt_misc {

using sysutils::Format;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;

std::string ExpandEscapes(std::string_view templ) {
    // The escapes all start with a backslash and none ends with one, so one pass from the
    // left gives what replacing "\n", then "\r", then "\t" would.
    if (templ.find('\\') == std::string_view::npos) return std::string(templ);
    std::string r;
    r.reserve(templ.size() + 8);
    for (std::size_t i = 0; i < templ.size(); ++i) {
        const char c = templ[i];
        if (c == '\\' && i + 1 < templ.size()) {
            const char n = templ[i + 1];
            if (n == 'n') {
                r += "\r\n";
                ++i;
                continue;
            }
            if (n == 'r') {
                r += '\r';
                ++i;
                continue;
            }
            if (n == 't') {
                r += '\t';
                ++i;
                continue;
            }
        }
        r += c;
    }
    return r;
}

std::string FormatEsc(std::string_view templ, TFormatArgs args) {
    return sysutils::FormatV(ExpandEscapes(templ), args, sysutils::DefaultFormatSettings());
}

std::string FormatPt(std::string_view templ, TFormatArgs args) {
    return sysutils::FormatV(ExpandEscapes(templ), args, sysutils::PointFormatSettings());
}

void SplitToVariants(TVariantArray& result, std::string_view text, std::string_view separator,
                     bool skipEmpty) {
    result.clear();
    const std::string t = sysutils::Trim(text);
    if (t.empty() || separator.empty()) {
        result.emplace_back(t);
        return;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = t.find(separator, from);
        // The last item is the rest of the trimmed text, taken as it stands (a blank after
        // the last separator stays).
        const std::string_view rest = std::string_view(t).substr(from);
        std::string item =
            at == std::string::npos ? std::string(rest) : sysutils::Trim(rest.substr(0, at - from));
        if (!(skipEmpty && item.empty())) result.emplace_back(std::move(item));
        if (at == std::string::npos) break;
        from = at + separator.size();
    }
}

Variant BufferToVarBytes(const void* buffer, std::int64_t n) {
    if (n <= 0 || buffer == nullptr) return Variant::Null();
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    return Variant(zqt_variant::TBytes(p, p + n));
}

std::string FileNameWithoutExt(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    // A dot that starts the name (".profile") begins no extension.
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

namespace {

// Copy: count characters from a 1-based start, clipped to the text; a start below 1 counts
// from the first character.
std::string_view CopyText(std::string_view s, std::int64_t index, std::int64_t count) {
    std::int64_t start = index < 1 ? 0 : index - 1;
    const auto len = static_cast<std::int64_t>(s.size());
    if (start > len) start = len;
    if (count < 0) count = 0;
    if (count > len - start) count = len - start;
    return s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count));
}

template <class Out>
void SplitOffsets(std::string_view line, std::span<const std::int32_t> offsets, Out&& put) {
    if (offsets.size() < 2) throw ExceptionMisc("Illegal size of offsets array");
    for (std::size_t i = 0; i + 1 < offsets.size(); ++i)
        put(CopyText(line, offsets[i], static_cast<std::int64_t>(offsets[i + 1]) - offsets[i]));
}

}  // namespace

void SplitByOffsets(std::string_view line, std::span<const std::int32_t> offsets,
                    TVariantArray& values) {
    TVariantArray r;
    SplitOffsets(line, offsets, [&](std::string_view s) { r.emplace_back(s); });
    values = std::move(r);
}

void SplitByOffsets(std::string_view line, std::span<const std::int32_t> offsets,
                    std::vector<std::string>& values) {
    std::vector<std::string> r;
    SplitOffsets(line, offsets, [&](std::string_view s) { r.emplace_back(s); });
    values = std::move(r);
}

void QuickSort(void* base, std::size_t itemSize, std::ptrdiff_t low, std::ptrdiff_t high,
               const TCompareFunc& compare) {
    constexpr std::size_t kMaxItem = 512;
    if (itemSize > kMaxItem) throw ExceptionMisc("Too big item");
    if (low >= high || itemSize == 0) return;
    if (base == nullptr || low < 0) throw ExceptionMisc("Illegal sort range");
    auto* const bytes = static_cast<unsigned char*>(base);
    auto item = [&](std::ptrdiff_t i) { return bytes + static_cast<std::size_t>(i) * itemSize; };
    unsigned char pivot[kMaxItem];
    unsigned char tmp[kMaxItem];

    std::ptrdiff_t l = low, r = high;
    while (l < r) {
        std::ptrdiff_t i = l, j = r;
        std::memcpy(pivot, item(l + (r - l) / 2), itemSize);
        do {
            // The bounds only matter for a compare function that contradicts itself; a
            // consistent one always stops at the pivot's value within l..r.
            while (i < r && compare(item(i), pivot) < 0) ++i;
            while (j > l && compare(item(j), pivot) > 0) --j;
            if (i <= j) {
                if (i != j) {
                    std::memcpy(tmp, item(i), itemSize);
                    std::memcpy(item(i), item(j), itemSize);
                    std::memcpy(item(j), tmp, itemSize);
                }
                ++i;
                --j;
            }
        } while (i <= j);
        // Recurse into the smaller part and go on with the larger one, so the depth of
        // recursion stays logarithmic whatever the data.
        if (j - l < r - i) {
            if (l < j) QuickSort(base, itemSize, l, j, compare);
            l = i;
        } else {
            if (i < r) QuickSort(base, itemSize, i, r, compare);
            r = j;
        }
    }
}

std::string CreateTempDir(std::string_view name) {
    const std::string base = zqt_platform::TempDirectory();
    struct stat st {};
    if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ExceptionMisc(Format("Couldn't create \"%s\"", base));
    // The name becomes one path component of bounded length.
    std::string prefix(name.substr(0, 64));
    for (char& c : prefix)
        if (c == '/' || c == '\0') c = '_';
    if (prefix.empty()) prefix = "tmp";
    std::string templ = base + prefix + "-XXXXXX";
    // mkdtemp picks an unused random name and creates it with mode 0700 in one step.
    if (::mkdtemp(templ.data()) == nullptr)
        throw sysutils::Exception(Format("Can't create temp directory \"%s\"", base + prefix));
    return templ + '/';
}

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Deletes the entries of the open folder DIRFD (taken over) without following links.
bool ClearFolder(int dirfd) {
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(dirfd));
    if (!dir) {
        ::close(dirfd);
        return false;
    }
    // Gather the names first: the folder is not changed while it is being read.
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    const int fd = ::dirfd(dir.get());
    bool ok = true;
    for (const std::string& n : names) {
        struct stat st {};
        if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !ClearFolder(sub)) ok = false;
            if (::unlinkat(fd, n.c_str(), AT_REMOVEDIR) != 0) ok = false;
        } else if (::unlinkat(fd, n.c_str(), 0) != 0) {
            ok = false;
        }
    }
    return ok;
}

}  // namespace

bool DeleteDirTree(const std::string& folder, bool removeFolder) {
    if (folder.empty()) return true;
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") return false;  // never the whole file system
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return !removeFolder || ::unlink(path.c_str()) == 0;
    if (!S_ISDIR(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ClearFolder(fd);
    if (removeFolder && ::rmdir(path.c_str()) != 0) ok = false;
    return ok;
}

}  // namespace zqt_misc
