#include "zqt_classes_bs.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "zqt_variant.h"

#include "test_scratch.h"

namespace {

using namespace zqt_classes_bs;
using sysutils::Format;
using zqt_types_bs::ExcCancelledByUser;
using zqt_types_bs::ExceptionZQS;
namespace fs = std::filesystem;

class ClassesBsTest : public ::testing::Test {
protected:
    void SetUp() override { ClearCancelFlag(); }
    void TearDown() override { ClearCancelFlag(); }

    std::string PathOf(const std::string& name) const { return (FDir / name).string(); }
    // Empties the test's folder for the next case.
    void Empty() const {
        fs::remove_all(FDir);
        fs::create_directory(FDir);
    }

    std::string MakeFile(const std::string& name, const std::string& content) const {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // The names in the test's folder, sorted; without the hidden ones when not All.
    std::vector<std::string> Names(bool All = true) const {
        std::vector<std::string> r;
        for (const auto& e : fs::directory_iterator(FDir))
            if (All || e.path().filename().string()[0] != '.') r.push_back(e.path().filename());
        std::sort(r.begin(), r.end());
        return r;
    }

    static std::string Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Reads every line until Eof.
    static std::vector<std::string> ReadAll(TZQS_TextFileReader& r) {
        std::vector<std::string> lines;
        std::string line;
        while (!r.Eof()) {
            r.ReadLn(line);
            lines.push_back(line);
        }
        return lines;
    }

    // Records every percentage reported to the object.
    static std::shared_ptr<std::vector<int>> Record(TZQS_BaseObject& obj) {
        auto seen = std::make_shared<std::vector<int>>();
        obj.SetOnProgress([seen](const void*, const std::string&, double, std::int32_t p, bool&) {
            seen->push_back(p);
        });
        return seen;
    }

    testutil::TScratchDir FScratch{"classes_bs"};
    const fs::path& FDir = FScratch.Path();
};

// Output files begun with a hidden name (Named), as on a file system that cannot make files
// without one, or without a name where it can; the latter again when it goes.
class TOutputPath {
public:
    explicit TOutputPath(bool Named) { SetUnnamedFiles(!Named); }
    TOutputPath(const TOutputPath&) = delete;
    TOutputPath& operator=(const TOutputPath&) = delete;
    ~TOutputPath() { SetUnnamedFiles(true); }
};

constexpr bool BothPaths[] = {false, true};
const char* PathText(bool Named) { return Named ? "named path" : "unnamed path"; }

// ---------------------------------------------------------------------------------------
// Progress counting

TEST_F(ClassesBsTest, ProgressReportsOnlyChangedPercentages) {
    struct Case {
        std::int64_t total;
        std::vector<std::int64_t> steps;
        std::vector<int> reported;  // after the 0 of ProgressStart
    };
    const Case cases[] = {
        {99, {50}, {50}},
        {99, {99}, {99}},             // the total itself: 99, not 100
        {100, {1, 2, 100}, {1, 99}},  // threshold 1010: step 1 stays at 0
        {20000, {199, 200, 201, 400}, {1, 2}},
        {20000, {20000}, {}},              // 100 mod 100 = 0 = last reported
        {20000, {19999, 20000}, {99, 0}},  // wraps to 0, never 100
        {0, {0, 1}, {}},
        {-1, {5, 50}, {}},  // threshold 0: nothing further
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        auto obj = TZQS_BaseObject::Create();
        auto seen = Record(*obj);
        obj->ProgressStart(c.total);
        for (auto p : c.steps) obj->ProgressStep(p);
        std::vector<int> expected{0};
        expected.insert(expected.end(), c.reported.begin(), c.reported.end());
        EXPECT_EQ(*seen, expected);
    }
}

TEST_F(ClassesBsTest, ProgressIncCountsFromStart) {
    auto obj = TZQS_BaseObject::Create();
    obj->SetLogName("reader");
    auto seen = Record(*obj);
    obj->ProgressStart(4);  // threshold 50: one step is 20 %
    for (int i = 0; i < 4; ++i) obj->ProgressInc();
    EXPECT_EQ(*seen, (std::vector<int>{0, 20, 40, 60, 80}));
    // Counting starts again; the report names its sender and the time since the start.
    obj->SetOnProgress([&](const void* s, const std::string& n, double e, std::int32_t p, bool&) {
        EXPECT_EQ(s, static_cast<const void*>(obj.get()));
        EXPECT_EQ(n, "reader");
        EXPECT_GE(e, 0.0);
        EXPECT_LT(e, 1.0 / 24);  // days
        seen->push_back(p);
    });
    obj->ProgressStart(4);
    obj->ProgressInc();
    EXPECT_EQ(seen->back(), 20);
}

// ---------------------------------------------------------------------------------------
// Cancellation

TEST_F(ClassesBsTest, CancellationRaisesWhereExpected) {
    enum How { GlobalStep, GlobalCheck, GlobalReportWithHandler, HandlerSetsCancel };
    for (How how : {GlobalStep, GlobalCheck, GlobalReportWithHandler, HandlerSetsCancel}) {
        SCOPED_TRACE(how);
        ClearCancelFlag();
        auto obj = TZQS_BaseObject::Create();
        obj->SetOnProgress([how](const void*, const std::string&, double, std::int32_t, bool& c) {
            if (how == HandlerSetsCancel) c = true;
        });
        if (how != HandlerSetsCancel) SetCancelFlag(true);
        try {
            switch (how) {
                case GlobalStep: obj->ProgressStep(1); break;
                case GlobalCheck: obj->CheckCancelled(); break;
                case GlobalReportWithHandler:
                case HandlerSetsCancel: obj->ReportProgress(5); break;
            }
            ADD_FAILURE() << "no exception";
        } catch (const ExcCancelledByUser& e) {
            EXPECT_STREQ(e.what(), "Cancelled by user");
            EXPECT_STREQ(e.ClassName(), "ExcCancelledByUser");
        }
    }
}

TEST_F(ClassesBsTest, NoCancellationWithoutFlagOrWithoutHandler) {
    auto obj = TZQS_BaseObject::Create();
    EXPECT_NO_THROW(obj->CheckCancelled());
    EXPECT_NO_THROW(obj->ProgressStart(10));
    // Without a handler, reporting does not look at the flag.
    SetCancelFlag(true);
    EXPECT_TRUE(CancelFlag());
    EXPECT_NO_THROW(obj->ReportProgress(50));
    ClearCancelFlag();
    EXPECT_FALSE(CancelFlag());
    EXPECT_NO_THROW(obj->ProgressStep(5));
}

TEST_F(ClassesBsTest, CancelFlagStopsReadingAFile) {
    const std::string path = MakeFile("big.txt", std::string(100000, 'x'));
    auto r = TZQS_TextFileReader::Create(path);
    SetCancelFlag(true);
    std::string line;
    EXPECT_THROW(r->ReadLn(line), ExcCancelledByUser);
}

// ---------------------------------------------------------------------------------------
// Log and messages

TEST_F(ClassesBsTest, LogAppendsStampedLinesOnlyWithALogList) {
    auto obj = TZQS_BaseObject::Create();
    obj->Log("lost");  // no list: nothing happens
    auto log = std::make_shared<std::vector<std::string>>();
    obj->SetLogger(log);
    obj->SetLogName("Nav");
    obj->Log("first");
    obj->LogFmt("Error %s in line %d", "X", 12);
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ(obj->GetLogger(), log);
    const std::string& l = (*log)[1];
    EXPECT_NE(l.find(": Nav: Error X in line 12"), std::string::npos) << l;
    EXPECT_EQ(l.substr(l.size() - 25), ": Nav: Error X in line 12");
    EXPECT_GT(l.size(), 25u + 10);  // a date-time stamp in front
}

// ---------------------------------------------------------------------------------------
// Text reading

TEST_F(ClassesBsTest, TextReaderSplitsLines) {
    const std::string longLine(10000, 'L');
    // A CR as the last byte of the first buffer fill, its LF in the next.
    const std::string crAtEdge(TZQS_TextFileReader::BufferSize - 1, 'c');
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"crlf and lf", "a\r\nb\nc\r\n", {"a", "b", "c"}},
        {"no final lf", "one\ntwo", {"one", "two"}},
        {"lone cr kept", "a\rb\nc\r", {"a\rb", "c\r"}},
        {"only lf", "\n", {""}},
        {"empty lines", "x\n\n\r\n", {"x", "", ""}},
        {"empty file", "", {}},
        {"long line", longLine + "\nend", {longLine, "end"}},
        {"cr lf across fills", crAtEdge + "\r\nnext\n", {crAtEdge, "next"}},
        {"exact buffer",
         std::string(TZQS_TextFileReader::BufferSize - 1, 'e') + "\n",
         {std::string(TZQS_TextFileReader::BufferSize - 1, 'e')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = TZQS_TextFileReader::Create(MakeFile("t.txt", c.content));
        EXPECT_EQ(ReadAll(*r), c.lines);
        EXPECT_TRUE(r->Eof());
        EXPECT_EQ(r->GetLineCount(), static_cast<std::int64_t>(c.lines.size()));
        if (!c.lines.empty()) {
            EXPECT_EQ(r->GetLastLine(), c.lines.back());
        }
        std::string line;
        try {
            r->ReadLn(line);
            ADD_FAILURE() << "read after EOF";
        } catch (const ExceptionZQS& e) {
            EXPECT_STREQ(e.what(), "Reading after EOF");
        }
    }
}

TEST_F(ClassesBsTest, CappedLinesKeepTheirStartAndAreMarkedCut) {
    // (content, limit, lines read, which of them were cut)
    const std::string big(3 * TZQS_TextFileReader::BufferSize + 5, 'B');
    struct Case {
        std::string content;
        std::size_t limit;
        std::vector<std::string> lines;
        std::vector<bool> cut;
    };
    const Case cases[] = {
        {"abcdef\nxy\n", 4, {"abcd", "xy"}, {true, false}},
        {"abcd\r\nxy", 4, {"abcd", "xy"}, {false, false}},
        {big + "\nend", 10, {std::string(10, 'B'), "end"}, {true, false}},
        {big, 0, {""}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.front());
        auto r = TZQS_TextFileReader::Create(MakeFile("cap.txt", c.content));
        r->SetMaxLineLength(c.limit);
        std::vector<std::string> lines;
        std::vector<bool> cut;
        std::string line;
        while (!r->Eof()) {
            r->ReadLn(line);
            lines.push_back(line);
            cut.push_back(r->LineCut());
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(cut, c.cut);
    }
}

TEST_F(ClassesBsTest, UnopenableFilesReadAsEmpty) {
    fs::create_directory(FDir / "sub");
    for (const std::string& path : {PathOf("missing.txt"), PathOf("sub"), std::string()}) {
        SCOPED_TRACE(path);
        auto r = TZQS_TextFileReader::Create(path);
        EXPECT_FALSE(r->IsOpen());
        EXPECT_TRUE(r->Eof());
        EXPECT_EQ(r->Size(), 0);
        std::string line;
        EXPECT_THROW(r->ReadLn(line), ExceptionZQS);
        auto b = TZQS_BinaryFileReader::Create(path);
        EXPECT_TRUE(b->Eof());
        char buf[4];
        EXPECT_EQ(b->ReadBlock(buf, sizeof buf), 0u);
    }
}

TEST_F(ClassesBsTest, TextReaderSeeksBackAndReportsProgress) {
    const std::string path = MakeFile("s.txt", "first\nsecond\n");
    auto r = TZQS_TextFileReader::Create(path);
    auto seen = Record(*r);
    r->RestartProgress();
    EXPECT_EQ(ReadAll(*r), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(r->Seek(0, soBeginning), 0);
    EXPECT_FALSE(r->Eof());
    std::string line;
    r->ReadLn(line);
    EXPECT_EQ(line, "first");
    EXPECT_EQ(r->GetLineCount(), 3);
    // 13 bytes: the whole file in one read reports (13 x 1000 div 140) mod 100 = 92.
    EXPECT_EQ(*seen, (std::vector<int>{0, 92}));
}

TEST_F(ClassesBsTest, ReaderStopsWhenTheFileIsCutWhileOpen) {
    const std::string path = MakeFile("cut.txt", std::string(20000, 'a'));
    auto b = TZQS_BinaryFileReader::Create(path);
    ASSERT_EQ(b->Size(), 20000);
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    std::vector<char> buf(4096);
    int reads = 0;
    while (!b->Eof() && reads < 100) {
        b->ReadBlock(buf.data(), buf.size());
        ++reads;
    }
    EXPECT_TRUE(b->Eof());
    EXPECT_EQ(b->Position(), 100);
}

TEST_F(ClassesBsTest, ItemsAndValuesOfLines) {
    auto r =
        TZQS_TextFileReader::Create(MakeFile("v.txt", "  2024 03   05  \n 1.5D+02abc -2.0d-1\n"));
    auto items = r->ReadItems();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].AsString(), "2024");
    EXPECT_EQ(items[2].AsString(), "05");
    const std::int32_t offsets[] = {1, 9, 12, 20};
    auto values = r->ReadValues(offsets);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_TRUE(values[0].IsFloat());
    EXPECT_DOUBLE_EQ(values[0].AsDouble(), 150.0);
    EXPECT_TRUE(values[1].IsStr());
    EXPECT_EQ(values[1].AsString(), "abc");
    EXPECT_DOUBLE_EQ(values[2].AsDouble(), -0.2);
    auto numbers = TZQS_TextFileReader::SplitNumbers("1d3 2D-1");
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_EQ(numbers[1].AsString(), "2E-1");
}

// A reader that hands out raw byte blocks between header lines, as readers of
// line-framed binary records do.
class BlockReader : public TZQS_TextFileReader {
public:
    std::string TakeBytes(std::size_t count) {
        std::string out;
        while (out.size() < count && FillBuffer()) {
            const std::string_view d = UnreadBytes().substr(0, count - out.size());
            out.append(d);
            SkipBytes(d.size());
        }
        return out;
    }
};

TEST_F(ClassesBsTest, LinesAndByteBlocksInterleave) {
    const std::string block(9000, '\n');  // line feeds inside a block are data
    const std::string path = MakeFile("bnc.raw", "HDR 9000\n" + block + "\nHDR 2\nab\n");
    auto r = TZQS_FileIO::CreateFileOf<BlockReader>(path);
    std::string line;
    r->ReadLn(line);
    EXPECT_EQ(line, "HDR 9000");
    EXPECT_EQ(r->TakeBytes(9000), block);
    EXPECT_EQ(r->TakeBytes(1), "\n");
    r->ReadLn(line);
    EXPECT_EQ(line, "HDR 2");
    EXPECT_EQ(r->TakeBytes(2), "ab");
    EXPECT_FALSE(r->Eof());
    EXPECT_EQ(r->TakeBytes(5), "\n");
    EXPECT_TRUE(r->Eof());
}

// ---------------------------------------------------------------------------------------
// Writing

TEST_F(ClassesBsTest, WriterCreatesAppendsAndRecreates) {
    const std::string path = PathOf("w.bin");
    struct Step {
        bool append;
        std::string data;
        std::string expected;
        std::int64_t position;
    };
    const Step steps[] = {
        {true, "new", "new", 3},     // append to a missing file creates it
        {false, "abc", "abc", 3},    // recreated
        {true, "def", "abcdef", 6},  // continued at the end
        {false, "", "", 0},          // recreated empty
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.expected);
        {
            auto w = TZQS_BinaryFileWriter::Create(path, s.append);
            EXPECT_TRUE(w->IsOpen());
            w->WriteStr(s.data);
            w->Close();
            EXPECT_EQ(w->Position(), s.position);
            EXPECT_TRUE(w->FileName().empty());
        }
        EXPECT_EQ(Content(path), s.expected);
    }
    // A writer made without a file keeps what it is given until its file is opened.
    MakeFile("w.bin", "old");
    auto w = TZQS_TextFileWriter::Create("", true);
    w->WriteLn("early");
    w->Open(path);
    w->WriteLn("late");
    w->Close();
    EXPECT_EQ(Content(path), "oldearly\r\nlate\r\n");
}

TEST_F(ClassesBsTest, WriterDestructorFlushes) {
    const std::string path = PathOf("d.txt");
    const std::string big(TZQS_BinaryFileWriter::BufferSize * 2 + 17, 'z');
    {
        auto w = TZQS_BinaryFileWriter::Create(path);
        w->WriteRaw(big);
        EXPECT_EQ(w->FillCount(), 17u);  // two full buffers went out already
    }
    EXPECT_EQ(Content(path), big);
    {
        auto t = TZQS_TextFileWriter::Create(path, true);
        t->WriteLn("tail");
    }
    EXPECT_EQ(Content(path), big + "tail\r\n");
}

TEST_F(ClassesBsTest, UnwritablePathsRaiseCantOpenFile) {
    fs::create_directory(FDir / "dir");
    for (const std::string& path : {PathOf("no/such/dir/out.txt"), PathOf("dir")}) {
        SCOPED_TRACE(path);
        for (bool append : {false, true}) {
            try {
                auto w = TZQS_TextFileWriter::Create(path, append);
                ADD_FAILURE() << "opened";
            } catch (const ExcZQSCantOpenFile& e) {
                EXPECT_STREQ(e.ClassName(), "ExcZQSCantOpenFile");
                EXPECT_EQ(std::string(e.what()).rfind("Can't open file " + path + ": ", 0), 0u)
                    << e.what();
            }
        }
    }
}

TEST_F(ClassesBsTest, FailedWritesRaiseOnFlushAndClose) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    {
        auto w = TZQS_BinaryFileWriter::Create("/dev/full");
        w->WriteStr("data");
        EXPECT_THROW(w->Close(), ExceptionZQS);
        EXPECT_FALSE(w->IsOpen());
        EXPECT_NO_THROW(w->Close());  // already closed
    }
    {
        auto w = TZQS_BinaryFileWriter::Create("/dev/full");
        try {
            w->WriteRaw(std::string(TZQS_BinaryFileWriter::BufferSize, 'x'));
            ADD_FAILURE() << "full buffer written";
        } catch (const ExceptionZQS& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Error writing file /dev/full", 0), 0u);
        }
        w->WriteStr("more");
    }  // the destructor swallows the second failure
    // Writing without any open file is an error too, not a silent loss.
    auto w = TZQS_BinaryFileWriter::Create("");
    w->WriteStr("x");
    EXPECT_THROW(w->Flush(), ExceptionZQS);
}

TEST_F(ClassesBsTest, ReplacingFileAppearsOnlyWhenComplete) {
    for (const bool named : BothPaths) {
        SCOPED_TRACE(PathText(named));
        const TOutputPath path(named);
        const std::string final = MakeFile("out.txt", "earlier");
        auto w = TZQS_TextFileWriter::Create("");
        {
            TReplacingFile file(*w, final);  // abandoned: the earlier file stays
            w->WriteLn("half");
            // A hidden name beside the earlier file and the run's lock, or no name at all.
            EXPECT_EQ(Names().size(), named ? 3u : 1u);
            EXPECT_EQ(file.TempName().empty(), !named);
            if (named) {
                EXPECT_TRUE(fs::exists(file.TempName()));
            }
            EXPECT_EQ(Content(final), "earlier");
        }
        EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});
        {
            TReplacingFile file(*w, final);
            w->WriteLn("whole");
            file.Commit();
        }
        EXPECT_EQ(Content(final), "whole\r\n");
        EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});
    }
    auto w = TZQS_TextFileWriter::Create("");
    // A folder under the name, or a folder that does not exist: nothing is opened.
    fs::create_directory(FDir / "dir");
    for (const std::string& name : {PathOf("dir"), PathOf("none/out.txt")}) {
        SCOPED_TRACE(name);
        try {
            TReplacingFile file(*w, name);
            ADD_FAILURE() << "opened";
        } catch (const ExcZQSCantOpenFile& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Can't open file " + name + ": ", 0), 0u);
        }
    }
}

TEST_F(ClassesBsTest, OutputSetPublishesItsFilesTogether) {
    for (const bool named : BothPaths) {
        SCOPED_TRACE(PathText(named));
        const TOutputPath path(named);
        Empty();
        const std::string a = PathOf("a.txt"), b = MakeFile("b.txt", "earlier");
        auto w = TZQS_TextFileWriter::Create("");
        const auto write = [&](const std::string& name, const std::string& text) {
            TReplacingFile file(*w, name);
            w->WriteLn(text);
            file.Commit();
        };
        const std::vector<std::string> before{"b.txt"}, both{"a.txt", "b.txt"};
        {
            // Dropped without Publish (a failed run): nothing appears, the earlier file stays.
            TOutputSet set;
            write(a, "new a");
            write(b, "new b");
            EXPECT_EQ(set.Count(), 2u);
            EXPECT_EQ(Names(false), before);
        }
        EXPECT_EQ(Names(), before);
        EXPECT_EQ(Content(b), "earlier");
        {
            TOutputSet set;
            EXPECT_THROW(TOutputSet(), ExceptionZQS) << "one set at a time";
            write(a, "first a");
            write(b, "new b");
            // A second file of a name would lose the first: the run's fault, raised.
            EXPECT_THROW(write(a, "second a"), ExceptionZQS);
            EXPECT_EQ(set.Count(), 2u);
            set.Publish();
            EXPECT_EQ(set.Count(), 0u);
        }
        EXPECT_EQ(Names(), both);
        EXPECT_EQ(Content(a), "first a\r\n");
        EXPECT_EQ(Content(b), "new b\r\n");
        {
            // The name check refuses a file when it is begun, and all of them when it refuses
            // one before they are put in place.
            TOutputSet set;
            bool refuse = false;
            set.SetNameCheck([&](const std::string& n) {
                if (refuse || n == b) throw ExceptionZQS("refused " + n);
            });
            EXPECT_THROW({ TReplacingFile file(*w, b); }, ExceptionZQS);
            write(a, "third a");
            refuse = true;
            EXPECT_THROW(set.Publish(), ExceptionZQS);
        }
        EXPECT_EQ(Names(), both);
        EXPECT_EQ(Content(a), "first a\r\n");
        // Without a set a file is in place when committed.
        write(b, "alone");
        EXPECT_EQ(Content(b), "alone\r\n");
    }
}

// A set whose files cannot all be put in place leaves none of them, and the earlier files of
// their names as they were: a name that became a folder is seen before any file is placed;
// a name refused only by the rename (too long) takes out the files placed before it.
TEST_F(ClassesBsTest, OutputSetPublishesAllOrNothing) {
    for (const bool named : BothPaths) {
        SCOPED_TRACE(PathText(named));
        const TOutputPath path(named);
        Empty();
        auto w = TZQS_TextFileWriter::Create("");
        const auto write = [&](const std::string& name) {
            TReplacingFile file(*w, name);
            w->WriteLn("new");
            file.Commit();
        };
        const std::string folder = PathOf("dir"), fresh = PathOf("fresh.txt");
        const std::string tooLong = PathOf(std::string(300, 'n'));
        for (const bool rename : {false, true}) {
            SCOPED_TRACE(rename ? "rename fails" : "folder seen first");
            const std::string a = MakeFile("a.txt", "earlier");
            {
                TOutputSet set;
                write(a);
                write(fresh);
                write(rename ? tooLong : folder);
                if (!rename) fs::create_directory(folder);
                EXPECT_THROW(set.Publish(), ExceptionZQS);
            }
            EXPECT_EQ(Content(a), "earlier");
            EXPECT_FALSE(fs::exists(fresh));
            EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "dir"}))
                << "no hidden file stays";
        }
    }
}

// A set that fails while its files are written or put in place places nothing new, and
// leaves no hidden file and the earlier files as they were, whichever way its files were
// begun: a full disk (here a limit on the size of files, which refuses a write as a full disk
// does) while the last file is written, or a cancel when the files are about to be placed.
TEST_F(ClassesBsTest, AFailedSetLeavesTheEarlierFilesAndNothingHidden) {
    for (const bool named : BothPaths) {
        for (const bool full : {true, false}) {
            SCOPED_TRACE(std::string(PathText(named)) + (full ? ", full disk" : ", cancel"));
            Empty();
            MakeFile("a.txt", "earlier a");
            MakeFile("b.txt", "earlier b");
            const pid_t pid = ::fork();
            if (pid == 0) {
                SetUnnamedFiles(!named);
                const rlimit limit{8192, 8192};
                if (full && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR ||
                             ::setrlimit(RLIMIT_FSIZE, &limit) != 0))
                    ::_exit(2);
                try {
                    TOutputSet set;
                    auto w = TZQS_TextFileWriter::Create("");
                    for (const char* name : {"a.txt", "c.txt", "b.txt"}) {
                        TReplacingFile file(*w, PathOf(name));
                        w->WriteLn(std::string(name[0] == 'b' ? 20000 : 100, 'x'));
                        file.Commit();
                    }
                    SetCancelFlag(true);
                    set.Publish();
                } catch (const ExcCancelledByUser&) {
                    ::_exit(full ? 3 : 0);
                } catch (const ExceptionZQS&) {
                    ::_exit(full ? 0 : 4);
                }
                ::_exit(5);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
            EXPECT_EQ(Content(PathOf("a.txt")), "earlier a");
            EXPECT_EQ(Content(PathOf("b.txt")), "earlier b");
        }
    }
}

// This host's name as hidden files carry it.
std::string Here() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
    return std::string(host).substr(0, 40);
}

// The id of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

// Hidden files beside the outputs belong to the run whose lock file ".<run>@<host>.lock" is
// there: a run that has ended (its lock free) loses them; a live run (its lock held), another
// host's and files of no run's lock keep them. Files of versions before the lock files carry
// the process id: they go once that process is gone, and are counted while it is there.
TEST_F(ClassesBsTest, UnfinishedFilesOfEndedRunsAreRemoved) {
    const std::string here = Here();
    const std::string ended = "e000000000000001", live = "a000000000000001";
    const std::string gone = std::to_string(EndedProcess()), there = std::to_string(::getppid());
    const auto hidden = [&](const std::string& run, const std::string& h) {
        return ".x.24o." + run + "-3@" + h + ".part";
    };
    // Each file, and the clearing up that removes it: the first (1), the one after the live
    // run has ended (2), none (0).
    const std::vector<std::pair<std::string, int>> files{
        {"." + ended + "@" + here + ".lock", 1},
        {hidden(ended, here), 1},
        {"." + live + "@" + here + ".lock", 2},
        {hidden(live, here), 2},
        {hidden(ended, "otherhost"), 0},        // another host's (a folder shared over the network)
        {hidden("b000000000000001", here), 0},  // of no run's lock
        {hidden("1234x", here), 0},             // not a run's name
        {".x.24o.part", 0},
        {hidden(gone, here), 1},  // of an earlier version, its process gone
        {".x.24o." + gone + "-4@" + here + ".keep", 1},
        {hidden(there, here), 0},  // of an earlier version, its process there
    };
    for (const auto& [name, removedBy] : files) MakeFile(name, "");
    const auto check = [&](int After) {
        for (const auto& [name, removedBy] : files)
            EXPECT_EQ(fs::exists(PathOf(name)), removedBy == 0 || removedBy > After) << name;
    };
    const int lock = ::open(PathOf("." + live + "@" + here + ".lock").c_str(), O_RDWR);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
    EXPECT_EQ(r.Removed, 3);
    EXPECT_EQ(r.Undecided, 1) << "the earlier version's run whose process is there";
    check(1);
    ::close(lock);
    EXPECT_EQ(TOutputSet::RemoveStale(FDir.string()).Removed, 1) << "the live run has ended";
    check(2);
}

// A journal of an ended run takes back what it placed when the folder's file system comes
// back under another device number; a journal of an earlier version, which does not name the
// file placed, takes back a file changed before it was written (the run's own files were
// complete by then) and leaves a later one.
TEST_F(ClassesBsTest, JournalsOfOtherMountsAndEarlierVersionsAreTakenBack) {
    const std::string here = Here(), mark = "c000000000000001";
    const std::string pid = std::to_string(EndedProcess());
    const auto of = [&](const std::string& final, const std::string& run, int n,
                        const std::string& suffix) {
        return "." + final + "." + run + "-" + std::to_string(n) + "@" + here + suffix;
    };
    const auto setTime = [&](const std::string& name, const timespec& t) {
        const timespec times[2] = {t, t};
        ASSERT_EQ(::utimensat(AT_FDCWD, PathOf(name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    };
    // The run with a lock file: r.19o placed over an earlier file, the device recorded not the
    // one seen now.
    MakeFile("." + mark + "@" + here + ".lock", "");
    MakeFile("r.19o", "placed");
    MakeFile(of("r.19o", mark, 1, ".keep"), "earlier");
    struct stat st {};
    ASSERT_EQ(::stat(PathOf("r.19o").c_str(), &st), 0);
    MakeFile(
        of("publish", mark, 9, ".publish"),
        Format("r.19o\t%s\t%s\t%d\t%d\t%d\t%d\n", of("r.19o", mark, 1, ".keep"),
               of("r.19o", mark, 2, ".part"), static_cast<std::int64_t>(st.st_dev + 1),
               static_cast<std::int64_t>(st.st_ino), static_cast<std::int64_t>(st.st_size),
               static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec));
    // The earlier version's run: p.19o placed over an earlier file, q.19n placed as new,
    // s.19g holds a later run's file, t.19l not replaced yet (its file still hidden).
    MakeFile("p.19o", "placed");
    MakeFile(of("p.19o", pid, 1, ".keep"), "earlier");
    MakeFile("q.19n", "placed");
    MakeFile("s.19g", "later");
    MakeFile(of("s.19g", pid, 3, ".keep"), "earlier");
    MakeFile("t.19l", "earlier");
    ASSERT_EQ(::link(PathOf("t.19l").c_str(), PathOf(of("t.19l", pid, 5, ".keep")).c_str()), 0);
    MakeFile(of("t.19l", pid, 6, ".part"), "unplaced");
    const std::string journal = of("publish", pid, 7, ".publish");
    MakeFile(journal, Format("p.19o\t%s\t%s\nq.19n\t\t%s\ns.19g\t%s\t%s\nt.19l\t%s\t%s\n",
                             of("p.19o", pid, 1, ".keep"), of("p.19o", pid, 2, ".part"),
                             of("q.19n", pid, 8, ".part"), of("s.19g", pid, 3, ".keep"),
                             of("s.19g", pid, 4, ".part"), of("t.19l", pid, 5, ".keep"),
                             of("t.19l", pid, 6, ".part")));
    ASSERT_EQ(::stat(PathOf(journal).c_str(), &st), 0);
    setTime("p.19o", {st.st_mtim.tv_sec - 10, 0});
    setTime("q.19n", {st.st_mtim.tv_sec - 10, 0});
    setTime("s.19g", {st.st_mtim.tv_sec + 10, 0});

    const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
    EXPECT_EQ(r.Restored, 2);
    EXPECT_EQ(r.LeftAlone, std::vector<std::string>{PathOf("s.19g")});
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"r.19o", "earlier"}, {"p.19o", "earlier"}, {"s.19g", "later"}, {"t.19l", "earlier"}})
        EXPECT_EQ(Content(PathOf(name)), content) << name;
    EXPECT_FALSE(fs::exists(PathOf("q.19n")));
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 4)
        << "no hidden file stays";
}

// A run waiting for another that puts its files into the same folder (here this process
// holding the folder's lock) says so after a second, and a cancel ends the wait: nothing is
// placed or taken back, and no hidden file of the run stays.
TEST_F(ClassesBsTest, ACancelEndsTheWaitForAnotherRunInTheFolder) {
    const std::string here = Here(), mark = "d000000000000001";
    for (const bool publish : {true, false}) {
        SCOPED_TRACE(publish ? "publishing" : "taking back an ended run's set");
        Empty();
        MakeFile("a.txt", "earlier");
        if (!publish) {
            MakeFile("." + mark + "@" + here + ".lock", "");
            MakeFile(".publish." + mark + "-0@" + here + ".publish", "");
        }
        const std::vector<std::string> before = Names();
        const int folder = ::open(FDir.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(::flock(folder, LOCK_EX), 0);
        std::vector<std::string> told;
        const TOutputSet::TWaitNotice notice = [&told](const std::string& f) { told.push_back(f); };
        std::thread cancel([publish] {
            std::this_thread::sleep_for(std::chrono::milliseconds(publish ? 1300 : 100));
            SetCancelFlag(true);
        });
        if (publish) {
            TOutputSet set;
            set.SetOnWait(notice);
            auto w = TZQS_TextFileWriter::Create("");
            for (const std::string name : {"a.txt", "b.txt"}) {
                TReplacingFile file(*w, PathOf(name));
                w->WriteLn("new");
                file.Commit();
            }
            EXPECT_THROW(set.Publish(), ExcCancelledByUser);
        } else {
            EXPECT_THROW(TOutputSet::RemoveStale(FDir.string(), notice), ExcCancelledByUser);
        }
        cancel.join();
        ClearCancelFlag();
        ::close(folder);
        EXPECT_EQ(told,
                  publish ? std::vector<std::string>{FDir.string()} : std::vector<std::string>{});
        EXPECT_EQ(Names(), before);
        EXPECT_EQ(Content(PathOf("a.txt")), "earlier");
    }
}

// A run in a child process that puts a set of files in place, held by this process (its
// tracer) at the entry of its Stop-th rename or unlink while publishing: Stop - 1 of them done.
// With NewPidNamespace the run is the first process of a PID namespace of its own, as in a
// container sharing the folder: its process id means nothing here.
class THeldRun {
public:
    using TFiles = std::vector<std::pair<std::string, std::string>>;  // final name, content

    THeldRun(const TFiles& Files, int Stop, bool NewPidNamespace) {
        int id[2], ready[2], go[2];
        if (::pipe(id) != 0 || ::pipe(ready) != 0 || ::pipe(go) != 0) return;
        FChild = ::fork();
        if (FChild == 0) {
            ::close(id[0]);
            ::close(ready[0]);
            ::close(go[1]);
            if (NewPidNamespace && ::unshare(CLONE_NEWPID) != 0) ::_exit(3);
            const pid_t run = ::fork();
            if (run != 0) {
                // Tells the run's process id as seen here, and ends as the run ends.
                int status = 0;
                if (run < 0 || ::write(id[1], &run, sizeof run) != sizeof run ||
                    ::waitpid(run, &status, 0) != run)
                    ::_exit(4);
                ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            }
            char c = 0;
            try {
                TOutputSet set;
                auto w = TZQS_TextFileWriter::Create("");
                for (const auto& [name, text] : Files) {
                    TReplacingFile file(*w, name);
                    w->WriteLn(text);
                    file.Commit();
                }
                if (::write(ready[1], "r", 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(5);
                set.Publish();
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        ::close(id[1]);
        ::close(ready[1]);
        ::close(go[0]);
        char c = 0;
        if (FChild < 0 || ::read(id[0], &FRun, sizeof FRun) != sizeof FRun ||
            ::read(ready[0], &c, 1) != 1)
            FRun = -1;
        ::close(id[0]);
        ::close(ready[0]);
        int status = 0;
        const bool seized = FRun > 0 && ::ptrace(PTRACE_SEIZE, FRun, nullptr,
                                                 PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) == 0;
        // A sandbox that forbids tracing (seccomp, ptrace_scope 3) cannot hold a run.
        FRefused = FRun > 0 && !seized && (errno == EPERM || errno == ENOSYS);
        FTraced = seized && ::ptrace(PTRACE_INTERRUPT, FRun, nullptr, nullptr) == 0 &&
                  ::waitpid(FRun, &status, __WALL) == FRun;
        if (::write(go[1], "g", 1) != 1) FTraced = false;
        ::close(go[1]);
        for (int seen = 0, signal = 0; FTraced;) {
            if (::ptrace(PTRACE_SYSCALL, FRun, nullptr, signal) != 0 ||
                ::waitpid(FRun, &status, __WALL) != FRun || !WIFSTOPPED(status)) {
                FTraced = false;  // the run ended before the stop
                break;
            }
            signal = 0;
            if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
                __ptrace_syscall_info info{};
                ::ptrace(PTRACE_GET_SYSCALL_INFO, FRun, sizeof info, &info);
                if (info.op == PTRACE_SYSCALL_INFO_ENTRY && RenameOrUnlink(info.entry.nr) &&
                    ++seen == Stop)
                    break;
            } else if (status >> 16 != PTRACE_EVENT_STOP) {
                signal = WSTOPSIG(status);
            }
        }
    }
    THeldRun(const THeldRun&) = delete;
    THeldRun& operator=(const THeldRun&) = delete;
    ~THeldRun() {
        if (FRun > 0 && FTraced) ::kill(FRun, SIGKILL);
        Wait();
    }

    bool Started() const { return FRun > 0; }
    bool Held() const { return FTraced; }
    bool TracingRefused() const { return FRefused; }
    // Kills the run where it is held, as SIGKILL does.
    void Kill() {
        ::kill(FRun, SIGKILL);
        int status = 0;
        ::waitpid(FRun, &status, __WALL);
        FTraced = false;
        Wait();
    }
    // Lets the run go on; its exit code.
    int Finish() {
        if (FTraced) ::ptrace(PTRACE_DETACH, FRun, nullptr, nullptr);
        FTraced = false;
        return Wait();
    }

private:
    static bool RenameOrUnlink(std::uint64_t Nr) {
        for (const long n : {
#ifdef SYS_rename
                 static_cast<long>(SYS_rename), static_cast<long>(SYS_unlink),
#endif
                 static_cast<long>(SYS_renameat), static_cast<long>(SYS_renameat2),
                 static_cast<long>(SYS_unlinkat)})
            if (Nr == static_cast<std::uint64_t>(n)) return true;
        return false;
    }
    int Wait() {
        int status = 0;
        if (FChild > 0 && ::waitpid(FChild, &status, 0) == FChild) FCode = WEXITSTATUS(status);
        FChild = -1;
        return FCode;
    }

    pid_t FChild = -1, FRun = -1;
    bool FTraced = false;
    bool FRefused = false;
    int FCode = -1;
};

// A run killed while putting its set in place leaves its journal: the next run takes the
// change back, whichever file the kill came at, whatever the names hold (a tab, a line feed,
// a backslash) and whichever way the files were begun. The set: the first name replaces an
// earlier file, the second is new, the third replaces an earlier file; a kill before the k-th
// rename leaves k - 1 of them in place (k = 4: all three, the journal not yet removed).
TEST_F(ClassesBsTest, AKillWhilePublishingIsTakenBackByTheNextRun) {
    const std::vector<std::vector<std::string>> sets{{"a.24o", "b.24n", "c.24g"},
                                                     {"a\t.24o", "b\n.24n", "c\\t.24g"}};
    for (const std::vector<std::string>& finals : sets) {
        for (const bool named : BothPaths) {
            const TOutputPath path(named);  // the child made for the run takes it over
            for (int stop = 1; stop <= 4; ++stop) {
                SCOPED_TRACE(finals[0] + ", " + PathText(named) + ", stop " + std::to_string(stop));
                Empty();
                MakeFile(finals[0], "earlier");
                MakeFile(finals[2], "earlier");
                THeldRun::TFiles files;
                for (const std::string& f : finals) files.emplace_back(PathOf(f), "new");
                THeldRun run(files, stop, false);
                if (run.TracingRefused()) GTEST_SKIP() << "no process can be traced here";
                ASSERT_TRUE(run.Held());
                run.Kill();
                const int placed = stop - 1;
                const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
                EXPECT_EQ(Content(PathOf(finals[0])), "earlier");
                EXPECT_FALSE(fs::exists(PathOf(finals[1])));
                EXPECT_EQ(Content(PathOf(finals[2])), "earlier");
                EXPECT_EQ(Names().size(), 2u) << "no hidden file stays";
                EXPECT_EQ(r.Restored, (placed >= 1) + (placed >= 3));
                EXPECT_EQ(r.Removed, 3 - placed + (placed >= 2));
                EXPECT_TRUE(r.LeftAlone.empty());
                EXPECT_TRUE(r.KeptUnread.empty());
            }
        }
    }
}

// An earlier file that a killed run kept aside for a line of its journal that cannot be read
// stays under its hidden name and is named, as the final name it belongs to is not known:
// removed, it would be lost. The readable lines are taken back as ever.
TEST_F(ClassesBsTest, AnUnreadableJournalLineLeavesItsEarlierFile) {
    const std::string here = Here(), mark = "f000000000000001";
    const auto of = [&](const std::string& final, int n, const std::string& suffix) {
        return "." + final + "." + mark + "-" + std::to_string(n) + "@" + here + suffix;
    };
    MakeFile("." + mark + "@" + here + ".lock", "");
    std::string journal;
    for (const std::string f : {"r.19o", "u.19o"}) {
        MakeFile(f, "placed");
        MakeFile(of(f, 1, ".keep"), "earlier");
        struct stat st {};
        ASSERT_EQ(::stat(PathOf(f).c_str(), &st), 0);
        // The second line with an escape that no journal holds.
        journal +=
            Format("%s\t%s\t%s\t%d\t%d\t%d\t%d\n", f[0] == 'u' ? "u\\x.19o" : f, of(f, 1, ".keep"),
                   of(f, 2, ".part"), static_cast<std::int64_t>(st.st_dev),
                   static_cast<std::int64_t>(st.st_ino), static_cast<std::int64_t>(st.st_size),
                   static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    }
    MakeFile(of("publish", 9, ".publish"), journal);
    const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
    EXPECT_EQ(r.Restored, 1);
    EXPECT_EQ(r.KeptUnread, std::vector<std::string>{PathOf(of("u.19o", 1, ".keep"))});
    EXPECT_EQ(Content(PathOf("r.19o")), "earlier");
    EXPECT_EQ(Content(PathOf("u.19o")), "placed");
    EXPECT_EQ(Content(PathOf(of("u.19o", 1, ".keep"))), "earlier");
    EXPECT_EQ(Names(), (std::vector<std::string>{of("u.19o", 1, ".keep"), "r.19o", "u.19o"}));
}

// Run A is killed while putting its files in place, run B then writes the same names and
// ends well, and a later run C clears up after A: B's files stay as B wrote them, with or
// without earlier files of the names before A, and C names the files it leaves alone.
TEST_F(ClassesBsTest, AKilledRunsJournalLeavesALaterRunsFilesAlone) {
    const std::vector<std::string> finals{"a.19o", "a.19g", "a.19n"};
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "earlier files" : "no earlier files");
        Empty();
        THeldRun::TFiles a;
        for (const std::string& f : finals) {
            if (earlier) MakeFile(f, "earlier " + f);
            a.emplace_back(PathOf(f), "A " + f);
        }
        {
            THeldRun run(a, 3, false);  // two of A's files in place
            if (run.TracingRefused()) GTEST_SKIP() << "no process can be traced here";
            ASSERT_TRUE(run.Held());
            run.Kill();
        }
        {
            TOutputSet b;
            auto w = TZQS_TextFileWriter::Create("");
            for (const std::string& f : finals) {
                TReplacingFile file(*w, PathOf(f));
                w->WriteLn("B " + f);
                file.Commit();
            }
            b.Publish();
        }
        const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
        for (const std::string& f : finals) EXPECT_EQ(Content(PathOf(f)), "B " + f + "\r\n");
        EXPECT_EQ(r.LeftAlone, (std::vector<std::string>{PathOf("a.19g"), PathOf("a.19o")}));
        EXPECT_EQ(r.Restored, 0);
        EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 3)
            << "no hidden file stays";
    }
}

// A run that lives is never cleared up after, in this PID namespace or in one of its own
// (where its process id names no process here, or another one): held in the middle of
// putting its files in place while a later run looks at the folder, it then ends well.
TEST_F(ClassesBsTest, ALiveRunIsLeftAloneWhateverItsPidNamespace) {
    for (const bool own : {false, true}) {
        SCOPED_TRACE(own ? "own PID namespace" : "this PID namespace");
        Empty();
        MakeFile("a.19o", "earlier");
        const THeldRun::TFiles files{{PathOf("a.19o"), "A"}, {PathOf("a.19n"), "A"}};
        THeldRun run(files, 2, own);
        if (own && !run.Started()) GTEST_SKIP() << "no PID namespace can be made here";
        if (run.TracingRefused()) GTEST_SKIP() << "no process can be traced here";
        ASSERT_TRUE(run.Held());
        const std::vector<std::string> before = Names();
        const TOutputSet::RStale r = TOutputSet::RemoveStale(FDir.string());
        EXPECT_EQ(r.Removed + r.Restored + static_cast<int>(r.LeftAlone.size()), 0);
        EXPECT_EQ(Names(), before);
        EXPECT_EQ(run.Finish(), 0);
        EXPECT_EQ(Names(), (std::vector<std::string>{"a.19n", "a.19o"}));
        EXPECT_EQ(Content(PathOf("a.19o")), "A\r\n");
    }
}

// Runs at once into one folder, each clearing up first as a run does and then putting the
// same three names in place, a few of them killed while doing so: every run that ends ends
// well, the three files are of one run, and no hidden file stays.
TEST_F(ClassesBsTest, RunsAtOnceIntoOneFolderPublishWholeSets) {
    const std::vector<std::string> finals{"s.19o", "s.19g", "s.19n"};
    constexpr int Runs = 24;
    std::vector<pid_t> pids;
    for (int i = 0; i < Runs; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            try {
                TOutputSet::RemoveStale(FDir.string());
                TOutputSet set;
                auto w = TZQS_TextFileWriter::Create("");
                for (const std::string& f : finals) {
                    TReplacingFile file(*w, PathOf(f));
                    w->WriteLn(std::to_string(i));
                    file.Commit();
                }
                set.Publish();
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        ASSERT_GT(pid, 0);
        pids.push_back(pid);
    }
    // Every fourth run killed at some point of its work.
    for (std::size_t i = 0; i < pids.size(); i += 4) ::kill(pids[i], SIGKILL);
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
    }
    TOutputSet::RemoveStale(FDir.string());
    EXPECT_EQ(Names(), (std::vector<std::string>{"s.19g", "s.19n", "s.19o"}));
    EXPECT_EQ(Content(PathOf("s.19g")), Content(PathOf("s.19o")));
    EXPECT_EQ(Content(PathOf("s.19n")), Content(PathOf("s.19o")));
}

TEST_F(ClassesBsTest, TextWriterLinesAndFormats) {
    const std::string path = PathOf("f.txt");
    {
        auto w = TZQS_TextFileWriter::Create(path);
        EXPECT_TRUE(w->GetPointDecimal());
        w->WriteLn("plain");
        static_cast<TZQS_BinaryFileWriter&>(*w).WriteStr("slot");  // a line in a text file
        w->WriteFmt("%d\\n%5.2f|\\t|\\r", 7, 2.5);
        w->WriteFmtRaw("%s", "raw");
        // The decimal separator of the process does not reach WriteFmt.
        sysutils::DefaultFormatSettings().DecimalSeparator = ',';
        w->WriteFmt("%.1f", 0.5);
        sysutils::DefaultFormatSettings().DecimalSeparator = '.';
    }
    EXPECT_EQ(Content(path), "plain\r\nslot\r\n7\r\n 2.50|\t|\r\r\nraw\r\n0.5\r\n");
}

TEST_F(ClassesBsTest, WriteLenStrLayout) {
    const std::string path = PathOf("len.bin");
    {
        auto w = TZQS_BinaryFileWriter::Create(path);
        w->WriteLenStr("h\xC3\xA9llo");  // 6 bytes of UTF-8
        w->WriteLenStr("");
    }
    const std::string expected("\x06\x00\x00\x00h\xC3\xA9llo\x00\x00\x00\x00", 14);
    EXPECT_EQ(Content(path), expected);
    // Through a text writer the length prefix stays unbroken (no line ends inserted).
    {
        auto t = TZQS_TextFileWriter::Create(path);
        t->WriteLenStr("ab");
    }
    EXPECT_EQ(Content(path), std::string("\x02\x00\x00\x00"
                                         "ab",
                                         6));
}

TEST_F(ClassesBsTest, AppendFileJoinsFilesAndEndsWith100) {
    std::string body;
    for (int i = 0; i < 70000; ++i) body.push_back(static_cast<char>('a' + i % 26));
    const std::string src = MakeFile("body.tmp", body);
    const std::string path = PathOf("joined.txt");
    {
        auto w = TZQS_TextFileWriter::Create(path);
        auto seen = Record(*w);
        w->WriteLn("header");
        w->AppendFile(src);
        w->WriteLn("");
        // 70000 bytes: 3 blocks over a total of 3 steps (threshold 40).
        EXPECT_EQ(*seen, (std::vector<int>{0, 25, 50, 75, 100}));
        EXPECT_EQ(w->Position(), 8 + 70000);
    }
    EXPECT_EQ(Content(path), "header\r\n" + body + "\r\n");

    auto w = TZQS_BinaryFileWriter::Create(PathOf("other.bin"));
    EXPECT_THROW(w->AppendFile(PathOf("missing.tmp")), ExcZQSCantOpenFile);
    w->AppendFile(MakeFile("empty.tmp", ""));  // an empty file adds nothing
    w->Close();
    EXPECT_EQ(Content(PathOf("other.bin")), "");
}

}  // namespace
