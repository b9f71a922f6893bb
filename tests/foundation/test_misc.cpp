// Text, path and decimal-separator routines and the platform layer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "test_scratch.h"
#include "zqt_decimalseparator.h"
#include "zqt_files.h"
#include "zqt_misc.h"
#include "zqt_platform.h"

namespace fs = std::filesystem;
using zqt_decimalseparator::TZQT_DecSep;
using zqt_decimalseparator::TZQT_DecSepScope;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;

namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class EnvGuard {
public:
    ~EnvGuard() {
        for (const auto& [name, value] : FSaved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const char* value) {
        if (!FSaved.count(name)) {
            const char* old = std::getenv(name.c_str());
            FSaved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> FSaved;
};

using ScratchDir = testutil::TScratchDir;

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> Texts(const TVariantArray& a) {
    std::vector<std::string> r;
    for (const Variant& v : a) {
        EXPECT_TRUE(v.IsStr());
        r.push_back(v.AsString());
    }
    return r;
}

using Strings = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------------------
// zqt_misc

TEST(MiscTest, FormatEscTurnsEscapesIntoControlCharacters) {
    const std::vector<std::pair<const char*, const char*>> table = {
        {"a\\nb", "a\r\nb"}, {"\\r", "\r"},      {"x\\ty", "x\ty"},         {"\\\\n", "\\\r\n"},
        {"\\x\\", "\\x\\"},  {"plain", "plain"}, {"\\n\\r\\t", "\r\n\r\t"},
    };
    for (const auto& [in, out] : table) EXPECT_EQ(zqt_misc::ExpandEscapes(in), out) << in;
    EXPECT_EQ(zqt_misc::FormatEsc("\\r%3d%", 5), "\r  5");
    EXPECT_EQ(zqt_misc::FormatPt("%s\\n%.2f", "a", 1.5), "a\r\n1.50");
}

TEST(MiscTest, FormatPtUsesPointWhateverTheSettings) {
    const TZQT_DecSepScope comma(',');
    EXPECT_EQ(zqt_misc::FormatPt("%.1f;%g", 2.5, 0.25), "2.5;0.25");
    EXPECT_EQ(zqt_misc::FormatEsc("%.1f", 2.5), "2,5");
    // Argument lists passed through as a whole.
    const std::vector<sysutils::FormatArg> args{3, "x", 0.5};
    EXPECT_EQ(zqt_misc::FormatPt("%d %s %.1f", args), "3 x 0.5");
    EXPECT_EQ(zqt_misc::FormatEsc("%d %s %.1f\\t", args), "3 x 0,5\t");
    EXPECT_THROW(zqt_misc::FormatPt("%d", 1.5), sysutils::EConvertError);
}

TEST(MiscTest, SplitToVariants) {
    struct Case {
        const char* Text;
        const char* Sep;
        bool SkipEmpty;
        Strings Items;
    };
    const std::vector<Case> table = {
        {"05_03_24", "_", false, {"05", "03", "24"}},
        {"a,,b", ",", true, {"a", "b"}},
        {"a,,b", ",", false, {"a", "", "b"}},
        {"", ",", false, {""}},
        {"   ", ",", true, {""}},
        {" a , b ,c ", ",", false, {"a", "b", "c"}},
        {"a, b", ",", false, {"a", " b"}},  // the last item is the rest as it stands
        {" b ,a", ",", false, {"b", "a"}},
        {"x_\t5", "_", true, {"x", "\t5"}},
        {"a::b::", "::", false, {"a", "b", ""}},
        {"a,", ",", true, {"a"}},
        {",", ",", true, {}},
        {"1 2 3", "", false, {"1 2 3"}},
        {"12_30_00.5", "_", true, {"12", "30", "00.5"}},
    };
    for (const auto& c : table) {
        TVariantArray r{Variant(1)};  // replaced, not appended to
        zqt_misc::SplitToVariants(r, c.Text, c.Sep, c.SkipEmpty);
        EXPECT_EQ(Texts(r), c.Items) << '"' << c.Text << '"';
    }
}

TEST(MiscTest, BufferToVarBytes) {
    const std::uint8_t data[] = {1, 2, 0, 255};
    const Variant v = zqt_misc::BufferToVarBytes(data, 4);
    ASSERT_TRUE(v.IsBytes());
    EXPECT_EQ(v.AsBytes(), (zqt_variant::TBytes{1, 2, 0, 255}));
    EXPECT_TRUE(zqt_misc::BufferToVarBytes(data, 0).IsNull());
    EXPECT_TRUE(zqt_misc::BufferToVarBytes(data, -5).IsNull());
    EXPECT_TRUE(zqt_misc::BufferToVarBytes(nullptr, 4).IsNull());
}

TEST(MiscTest, FileNameWithoutExt) {
    const std::vector<std::pair<const char*, const char*>> table = {
        {"/data/STAT_2024_01_05.rtcm3", "STAT_2024_01_05"},
        {"a.b.c", "a.b"},
        {"noext", "noext"},
        {"/dir.x/file", "file"},
        {"rel/dir/name.", "name"},
        {".hidden", ".hidden"},
        {"dir/", ""},
        {"", ""},
    };
    for (const auto& [in, out] : table) EXPECT_EQ(zqt_misc::FileNameWithoutExt(in), out) << in;
}

TEST(MiscTest, SplitByOffsets) {
    struct Case {
        std::vector<std::int32_t> Offsets;
        Strings Items;
    };
    const std::string line = "ABCDEFGHIJ";
    const std::vector<Case> table = {
        {{1, 4, 6, 11}, {"ABC", "DE", "FGHIJ"}},
        {{1, 5, 20, 30}, {"ABCD", "EFGHIJ", ""}},  // cut to the line
        {{0, 3}, {"ABC"}},                         // a start below 1 counts from the first
        {{5, 3}, {""}},                            // a negative width gives nothing
        {{11, 12}, {""}},
    };
    for (const auto& c : table) {
        std::vector<std::string> texts;
        zqt_misc::SplitByOffsets(line, c.Offsets, texts);
        EXPECT_EQ(texts, c.Items);
        TVariantArray values;
        zqt_misc::SplitByOffsets(line, c.Offsets, values);
        EXPECT_EQ(Texts(values), c.Items);
    }
    for (const std::vector<std::int32_t>& bad :
         {std::vector<std::int32_t>{}, std::vector<std::int32_t>{3}}) {
        std::vector<std::string> texts{"kept"};
        try {
            zqt_misc::SplitByOffsets(line, bad, texts);
            FAIL();
        } catch (const zqt_misc::ExceptionMisc& e) {
            EXPECT_STREQ(e.what(), "Illegal size of offsets array");
            EXPECT_STREQ(e.ClassName(), "ExceptionMisc");
        }
        EXPECT_EQ(texts, Strings{"kept"});
    }
}

TEST(MiscTest, QuickSortSortsFixedSizeItems) {
    std::mt19937 rng(7);
    auto cmpInt = [](const void* a, const void* b) -> std::int32_t {
        const int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    for (const std::size_t n : {0u, 1u, 2u, 3u, 10u, 1000u}) {
        std::vector<int> v(n);
        for (int& x : v) x = static_cast<int>(rng() % 50);  // many equal keys
        std::vector<int> expected = v;
        std::sort(expected.begin(), expected.end());
        zqt_misc::QuickSort(v.data(), sizeof(int), 0, static_cast<std::ptrdiff_t>(n) - 1, cmpInt);
        EXPECT_EQ(v, expected) << n;
    }
    // Already sorted and reversed long runs: no deep recursion.
    std::vector<int> sorted(200000);
    for (std::size_t i = 0; i < sorted.size(); ++i) sorted[i] = static_cast<int>(i);
    std::vector<int> rev(sorted.rbegin(), sorted.rend());
    zqt_misc::QuickSort(rev.data(), sizeof(int), 0, static_cast<std::ptrdiff_t>(rev.size()) - 1,
                        cmpInt);
    EXPECT_EQ(rev, sorted);

    // Only the given range moves.
    std::vector<int> part{9, 5, 4, 3, 0};
    zqt_misc::QuickSort(part.data(), sizeof(int), 1, 3, cmpInt);
    EXPECT_EQ(part, (std::vector<int>{9, 3, 4, 5, 0}));

    // Items of the largest allowed size keep their whole content.
    struct Big {
        std::int32_t Key;
        char Fill[508];
    };
    static_assert(sizeof(Big) == 512);
    std::vector<Big> big(50);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i].Key = static_cast<std::int32_t>((i * 37) % 50);
        std::fill(std::begin(big[i].Fill), std::end(big[i].Fill), static_cast<char>(big[i].Key));
    }
    zqt_misc::QuickSort(big.data(), sizeof(Big), 0, 49, [](const void* a, const void* b) {
        return static_cast<const Big*>(a)->Key - static_cast<const Big*>(b)->Key;
    });
    for (std::size_t i = 0; i < big.size(); ++i) {
        EXPECT_EQ(big[i].Key, static_cast<std::int32_t>(i));
        EXPECT_EQ(big[i].Fill[507], static_cast<char>(i));
    }
}

TEST(MiscTest, QuickSortRejectsBadInput) {
    std::vector<char> buf(513 * 2);
    auto none = [](const void*, const void*) -> std::int32_t { return 0; };
    try {
        zqt_misc::QuickSort(buf.data(), 513, 0, 1, none);
        FAIL();
    } catch (const zqt_misc::ExceptionMisc& e) {
        EXPECT_STREQ(e.what(), "Too big item");
    }
    EXPECT_THROW(zqt_misc::QuickSort(nullptr, 4, 0, 3, none), zqt_misc::ExceptionMisc);
    EXPECT_THROW(zqt_misc::QuickSort(buf.data(), 4, -1, 3, none), zqt_misc::ExceptionMisc);
    EXPECT_NO_THROW(zqt_misc::QuickSort(nullptr, 4, 3, 3, none));  // nothing to sort

    // A compare function that contradicts itself never leads outside the range.
    std::vector<int> v(500);
    std::mt19937 rng(3);
    for (int& x : v) x = static_cast<int>(rng());
    for (const std::int32_t answer : {-1, 1}) {
        zqt_misc::QuickSort(v.data(), sizeof(int), 0, 499,
                            [answer](const void*, const void*) { return answer; });
    }
    zqt_misc::QuickSort(v.data(), sizeof(int), 0, 499, [&rng](const void*, const void*) {
        return static_cast<std::int32_t>(rng() % 3) - 1;
    });
}

TEST(MiscTest, CreateTempDirIsPrivateAndUnique) {
    ScratchDir scratch;
    EnvGuard env;
    env.Set("TMPDIR", scratch.Path().c_str());
    const std::string a = zqt_misc::CreateTempDir("tolvar");
    const std::string b = zqt_misc::CreateTempDir("tolvar");
    EXPECT_NE(a, b);
    for (const std::string& d : {a, b}) {
        ASSERT_EQ(d.back(), '/');
        EXPECT_EQ(d.rfind(scratch.Path().string() + "/tolvar", 0), 0u) << d;
        struct stat st {};
        ASSERT_EQ(::stat(d.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // A name never reaches outside the temporary folder.
    const std::string c = zqt_misc::CreateTempDir("../x/y");
    EXPECT_EQ(fs::path(c).parent_path().parent_path(), scratch.Path());
    EXPECT_EQ(c.find("/../"), std::string::npos);

    EXPECT_TRUE(zqt_misc::DeleteDirTree(a, true));
    EXPECT_FALSE(fs::exists(a));

    // A temporary folder where nothing can be created, not even by root.
    env.Set("TMPDIR", "/proc/self");
    try {
        zqt_misc::CreateTempDir("app");
        FAIL();
    } catch (const zqt_misc::ExceptionMisc&) {
        FAIL() << "wrong class";
    } catch (const sysutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Can't create temp directory \"/proc/self/app\"");
    }
}

TEST(MiscTest, DeleteDirTreeNeverFollowsLinks) {
    ScratchDir scratch;
    const fs::path outside = scratch.Path() / "outside";
    fs::create_directories(outside / "deep");
    WriteFile(outside / "keep.txt", "keep");
    WriteFile(outside / "deep" / "keep2.txt", "keep");

    const fs::path tree = scratch.Path() / "tree";
    fs::create_directories(tree / "sub" / "subsub");
    WriteFile(tree / "a.txt", "1");
    WriteFile(tree / "noext", "2");
    WriteFile(tree / ".hidden", "3");
    WriteFile(tree / "sub" / "subsub" / "b.rnx", "4");
    fs::create_directory_symlink(outside, tree / "sub" / "linkdir");
    fs::create_symlink(outside / "keep.txt", tree / "linkfile");
    fs::create_symlink(scratch.Path() / "missing", tree / "dangling");
    ::mkfifo((tree / "fifo").c_str(), 0600);

    // Emptying keeps the folder.
    EXPECT_TRUE(zqt_misc::DeleteDirTree(tree.string() + "/", false));
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));

    fs::create_directories(tree / "x");
    fs::create_directory_symlink(outside, tree / "x" / "link");
    EXPECT_TRUE(zqt_misc::DeleteDirTree(tree.string(), true));
    EXPECT_FALSE(fs::exists(tree));

    // The link targets are untouched.
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(fs::exists(outside / "deep" / "keep2.txt"));

    // A folder given as a link is removed as a link at most.
    const fs::path topLink = scratch.Path() / "toplink";
    fs::create_directory_symlink(outside, topLink);
    EXPECT_TRUE(zqt_misc::DeleteDirTree(topLink.string(), false));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(zqt_misc::DeleteDirTree(topLink.string() + "/", true));
    EXPECT_FALSE(fs::is_symlink(topLink));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));

    EXPECT_TRUE(zqt_misc::DeleteDirTree("", true));
    EXPECT_FALSE(zqt_misc::DeleteDirTree((scratch.Path() / "none").string(), true));
    EXPECT_FALSE(zqt_misc::DeleteDirTree((outside / "keep.txt").string(), true));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

// ---------------------------------------------------------------------------------------
// zqt_files

TEST(FilesTest, JoinPath) {
    const std::vector<std::tuple<const char*, const char*, const char*>> table = {
        {"", "b", "b"},    {"a", "", "a"},       {"a/", "b", "a/b"},
        {"a", "b", "a/b"}, {"/", "etc", "/etc"}, {"", "", ""},
    };
    for (const auto& [a, b, r] : table) EXPECT_EQ(zqt_files::JoinPath(a, b), r) << a << " + " << b;
}

TEST(FilesTest, FileTests) {
    ScratchDir scratch;
    const std::string file = (scratch.Path() / "f.dat").string();
    WriteFile(file, "12345");
    EXPECT_TRUE(zqt_files::PathExists(file));
    EXPECT_TRUE(zqt_files::PathExists(scratch.Path().string()));
    EXPECT_FALSE(zqt_files::PathExists(file + ".none"));
    EXPECT_FALSE(zqt_files::PathExists(""));
    EXPECT_EQ(zqt_files::FileSizeFind(file), 5);
    EXPECT_EQ(zqt_files::FileSizeFind(file + ".none"), -1);

    // The date is local time: pin the zone to check it exactly.
    EnvGuard env;
    env.Set("TZ", "UTC");
    ::tzset();
    const struct timespec times[2] = {{1'700'000'000, 500'000'000}, {1'700'000'000, 500'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_NEAR(zqt_files::FileDateTime(file), 25569.0 + 1'700'000'000.5 / 86400.0, 1e-9);
    env.Set("TZ", "UTC-3");
    ::tzset();
    EXPECT_NEAR(zqt_files::FileDateTime(file), 25569.0 + (1'700'000'000.5 + 3 * 3600) / 86400.0,
                1e-9);
    EXPECT_THROW(zqt_files::FileDateTime(file + ".none"), sysutils::EInOutError);
    env.Set("TZ", nullptr);
    ::tzset();

    EXPECT_TRUE(zqt_files::DeleteFileName(file));
    EXPECT_FALSE(zqt_files::DeleteFileName(file));
    EXPECT_FALSE(zqt_files::PathExists(file));
}

TEST(FilesTest, UserFolders) {
    EnvGuard env;
    env.Set("XDG_DOCUMENTS_DIR", nullptr);
    env.Set("HOME", "/home/obs");
    EXPECT_EQ(zqt_files::HomeDir(), "/home/obs/");
    EXPECT_EQ(zqt_files::UserDocumentsDir(), "/home/obs/Documents/");
    env.Set("HOME", "/home/obs/");
    EXPECT_EQ(zqt_files::HomeDir(), "/home/obs/");
    env.Set("XDG_DOCUMENTS_DIR", "/srv/docs");
    EXPECT_EQ(zqt_files::UserDocumentsDir(), "/srv/docs/");
    env.Set("XDG_DOCUMENTS_DIR", nullptr);
    env.Set("HOME", nullptr);
    EXPECT_EQ(zqt_files::HomeDir(), "");
    EXPECT_EQ(zqt_files::UserDocumentsDir(), "");
}

TEST(FilesTest, ParentDir) {
    const std::vector<std::pair<const char*, const char*>> table = {
        {"/a/b", "/a/b/.."},
        {"/a/b/", "/a/b/.."},
        {"/a/./c/../b", "/a/b/.."},
        {"/", "/.."},
    };
    for (const auto& [in, out] : table) EXPECT_EQ(zqt_files::ParentDir(in), out) << in;
    EXPECT_EQ(zqt_files::ParentDir("x"), (fs::current_path() / "x").string() + "/..");
}

// ---------------------------------------------------------------------------------------
// TZQT_DecSep

TEST(DecSepTest, NestedSwitchesRestoreTheSeparatorOfBefore) {
    char& sep = sysutils::DefaultFormatSettings().DecimalSeparator;
    ASSERT_EQ(sep, '.');
    TZQT_DecSep::SetSeparator(',');
    EXPECT_EQ(sep, ',');
    EXPECT_EQ(sysutils::Format("%.1f", 1.5), "1,5");
    EXPECT_EQ(sysutils::FloatToStr(0.5), "0,5");
    TZQT_DecSep::SetSeparator(';');
    EXPECT_EQ(sep, ';');
    TZQT_DecSep::RestoreSeparator();  // inner: only the count drops
    EXPECT_EQ(sep, ';');
    TZQT_DecSep::RestoreSeparator();
    EXPECT_EQ(sep, '.');
    TZQT_DecSep::RestoreSeparator();  // one too many: nothing changes
    EXPECT_EQ(sep, '.');
    TZQT_DecSep::SetSeparator(',');
    TZQT_DecSep::RestoreSeparator();
    EXPECT_EQ(sep, '.');
}

TEST(DecSepTest, ScopeRestoresOnEveryWayOut) {
    const char before = sysutils::DefaultFormatSettings().DecimalSeparator;
    try {
        const TZQT_DecSepScope point('.');
        const TZQT_DecSepScope comma(',');
        EXPECT_EQ(sysutils::DefaultFormatSettings().DecimalSeparator, ',');
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
        // Thrown only to leave the scopes by an exception.
    }
    EXPECT_EQ(sysutils::DefaultFormatSettings().DecimalSeparator, before);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) {
                const TZQT_DecSepScope scope(',');
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(sysutils::DefaultFormatSettings().DecimalSeparator, before);
}

// ---------------------------------------------------------------------------------------
// zqt_platform

TEST(PlatformTest, LanguageFromLocale) {
    const std::vector<std::pair<const char*, const char*>> table = {
        {"ru_RU.UTF-8", "ru"}, {"en_US", "en"}, {"C", "en"},       {"POSIX", "en"},      {"", "en"},
        {"de", "de"},          {"RU_ru", "ru"}, {"C.UTF-8", "en"}, {"uk_UA@euro", "uk"},
    };
    for (const auto& [loc, lang] : table)
        EXPECT_EQ(zqt_platform::LanguageFromLocale(loc), lang) << loc;
}

TEST(PlatformTest, UserLanguageTakesTheFirstNonEmptyVariable) {
    EnvGuard env;
    env.Set("LC_ALL", "");
    env.Set("LC_MESSAGES", "ru_RU.UTF-8");
    env.Set("LANG", "en_US.UTF-8");
    EXPECT_EQ(zqt_platform::UserLanguage(), "ru");
    EXPECT_TRUE(zqt_platform::IsRussian());
    env.Set("LC_ALL", "de_DE");
    EXPECT_EQ(zqt_platform::UserLanguage(), "de");
    EXPECT_FALSE(zqt_platform::IsRussian());
    env.Set("LC_ALL", nullptr);
    env.Set("LC_MESSAGES", nullptr);
    EXPECT_EQ(zqt_platform::UserLanguage(), "en");
    env.Set("LANG", nullptr);
    EXPECT_EQ(zqt_platform::UserLanguage(), "en");
}

TEST(PlatformTest, Folders) {
    ScratchDir scratch;
    EnvGuard env;
    env.Set("TMPDIR", scratch.Path().c_str());
    EXPECT_EQ(zqt_platform::TempDirectory(), scratch.Path().string() + "/");
    env.Set("TMPDIR", (scratch.Path().string() + "//").c_str());
    EXPECT_EQ(zqt_platform::TempDirectory(), scratch.Path().string() + "/");
    env.Set("TMPDIR", (scratch.Path() / "missing").c_str());
    EXPECT_EQ(zqt_platform::TempDirectory(), "/tmp/");
    env.Set("TMPDIR", nullptr);
    EXPECT_EQ(zqt_platform::TempDirectory(), "/tmp/");

    env.Set("XDG_DATA_HOME", "/x/data");
    EXPECT_EQ(zqt_platform::UserAppDataDir(), "/x/data/");
    env.Set("XDG_DATA_HOME", nullptr);
    env.Set("HOME", "/home/obs");
    EXPECT_EQ(zqt_platform::UserAppDataDir(), "/home/obs/.local/share/");
    env.Set("HOME", nullptr);
    EXPECT_EQ(zqt_platform::UserAppDataDir(), "");
}

TEST(PlatformTest, ProgramConsoleAndVersion) {
    const std::string exe = zqt_platform::ProgramPath();
    EXPECT_TRUE(fs::path(exe).is_absolute()) << exe;
    EXPECT_TRUE(fs::is_regular_file(exe)) << exe;
    EXPECT_EQ(fs::path(exe).filename().string().rfind("test_", 0), 0u) << exe;
    EXPECT_GT(zqt_platform::ConsoleWidth(), 0);
    const std::string v = zqt_platform::VersionString();
    EXPECT_EQ(v.rfind("tolvar ", 0), 0u) << v;
    EXPECT_GT(v.size(), 7u);
}
