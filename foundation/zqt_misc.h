// Shared text and folder routines: formatting with escapes and a fixed "." decimal
// separator, splitting texts into value arrays, fixed-column splitting, a bounded generic
// sort, private temporary folders and folder deletion.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sysutils.h"
#include "zqt_variant.h"

namespace zqt_misc {

ZQT_DECLARE_EXCEPTION(ExceptionMisc, Exception, "ExceptionMisc");

using sysutils::FormatArg;
using sysutils::TFormatArgs;

// The template with its two-character escapes turned into control characters: "\n"
// (backslash, n) into CR LF, "\r" into CR, "\t" into TAB.
std::string ExpandEscapes(std::string_view templ);

// Format of the expanded template with the default settings.
std::string FormatEsc(std::string_view templ, TFormatArgs args);
// Format of the expanded template with "." as decimal separator whatever the settings.
std::string FormatPt(std::string_view templ, TFormatArgs args);

template <class... A>
requires(std::is_constructible_v<FormatArg, const A&>&&...) std::string
    FormatEsc(std::string_view templ, const A&... args) {
    const std::array<FormatArg, sizeof...(A)> a{FormatArg(args)...};
    return FormatEsc(templ, TFormatArgs(a.data(), a.size()));
}

template <class... A>
requires(std::is_constructible_v<FormatArg, const A&>&&...) std::string
    FormatPt(std::string_view templ, const A&... args) {
    const std::array<FormatArg, sizeof...(A)> a{FormatArg(args)...};
    return FormatPt(templ, TFormatArgs(a.data(), a.size()));
}

// Splits the trimmed text at each separator into text items, each trimmed but the last,
// which is the rest of the text as it stands ("a, b" gives "a" and " b"); an empty text
// gives one empty item; with skipEmpty, empty items are dropped.
void SplitToVariants(zqt_variant::TVariantArray& result, std::string_view text,
                     std::string_view separator, bool skipEmpty);

// A byte-array Variant holding a copy of N bytes of the buffer; Null when N <= 0 or there
// is no buffer.
zqt_variant::Variant BufferToVarBytes(const void* buffer, std::int64_t n);

// The file name of a path without its folder and without its extension.
std::string FileNameWithoutExt(std::string_view path);

// Fixed-column split: with N + 1 offsets (1-based character positions) item I is the text
// from offsets[I] up to offsets[I + 1], cut to what the line holds. Fewer than two offsets
// raise ExceptionMisc.
void SplitByOffsets(std::string_view line, std::span<const std::int32_t> offsets,
                    zqt_variant::TVariantArray& values);
void SplitByOffsets(std::string_view line, std::span<const std::int32_t> offsets,
                    std::vector<std::string>& values);

// Compares two items: negative, zero or positive.
using TCompareFunc = std::function<std::int32_t(const void* a, const void* b)>;

// Sorts items low..high (indexes) of an array of fixed-size items in place. Items larger
// than 512 bytes raise ExceptionMisc "Too big item".
void QuickSort(void* base, std::size_t itemSize, std::ptrdiff_t low, std::ptrdiff_t high,
               const TCompareFunc& compare);

// Creates a new folder private to this user (mode 0700) in the temporary folder, its name
// starting with NAME; returns its path with a trailing "/".
std::string CreateTempDir(std::string_view name);

// Deletes every file and subfolder of a folder, and the folder itself when asked.
// Symbolic links are removed as links and never followed. Returns false when something
// could not be deleted.
bool DeleteDirTree(const std::string& folder, bool removeFolder);

}  // namespace zqt_misc
