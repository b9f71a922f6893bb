// Input files as persistent objects: type and compression from names, the XOR checksum
// that decides "already loaded", the facts read from the file system, and the Files and
// ObjInfo rows written and read back on a real project database.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_scratch.h"
#include "zqt_classes_bs.h"
#include "zqt_db.h"
#include "zqt_file.h"
#include "zqt_schema.h"

using zqt_file::TZQS_File;

namespace {

using TempFolder = testutil::TScratchDir;

std::vector<unsigned char> Bytes(std::size_t n, std::uint32_t seed) {
    std::vector<unsigned char> b(n);
    std::uint32_t x = seed;
    for (auto& c : b) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<unsigned char>(x >> 24);
    }
    return b;
}

// Byte i lands in byte i mod 8 of a little-endian word.
std::int64_t ReferenceChecksum(const std::vector<unsigned char>& b) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < b.size(); ++i)
        sum ^= static_cast<std::uint64_t>(b[i]) << (8 * (i % 8));
    return static_cast<std::int64_t>(sum);
}

SQLiteExt::IESQLiteDatabasePtr NewProjectDb() {
    SQLiteExt::IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create("");
    db->BeginTransaction();
    db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
    db->Commit();
    return db;
}

// ---------------------------------------------------------------------------------------

TEST(FileNames, TypeAndCompressionFromName) {
    struct Case {
        const char* Name;
        int Type;
        int Compression;
    };
    const Case cases[] = {
        {"DATA.21D", 2, 5},
        {"data.21o", 2, 0},
        {"data.21d", 2, 5},
        {"data.21d.Z", 2, 1},
        {"data.21o.gz", 2, 2},
        {"/x/y/data.21o.zip", 2, 3},
        {"data.21O.Z.gz", 2, 2},  // packed twice: the inner name decides the type
        {"brdc.21n", 7, 0},
        {"brdc.21g", 8, 0},
        {"x.21c", 9, 0},
        {"x.21h", 9, 0},
        {"x.21l", 9, 0},
        {"x.21q", 9, 0},
        {"x.21p", 9, 0},
        {"x.21m", 12, 0},
        {"igs21000.sp3", 10, 0},
        {"IGL21000.SP3", 11, 0},
        {"cod21000.sp3", 17, 0},
        {"/data/igs/cod21000.sp3", 17, 0},  // the folder does not count, only the name
        {"igs21000.clk", 14, 0},
        {"igs21000.clk_30s", 14, 0},
        {"igs14.atx", 15, 0},
        {"x.2000p", 9, 0},  // "P" matches before the ".2000P" rule is reached
        {"x.bia", 23, 0},
        {"x.vlb", 1, 0},
        {"ABCD00RUS_R_20211000000_01D_30S_MO.rnx", 25, 0},
        {"ABCD00RUS_R_20211000000_01D_30S_MO.crx", 25, 5},
        {"x.erp", 24, 0},
        {"x.rtcm", 5, 0},
        {"x.RTCM3", 5, 0},
        {"x.dat", 5, 0},
        {"x.cmr", 6, 0},
        {"x.bz2", 0, 4},
        {"x.21,", 0, 5},  // the character class of the compact-RINEX rule holds a comma
        {"x.121d", 2, 0},
        {"x.txt", 0, 0},
        {"noextension", 0, 0},
        {"x.", 0, 0},
        {"", 0, 0},
        {"dir.21d/file", 0, 0},  // a dot of the folder is no extension
        {"x.Z", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TZQS_File::GetFileType(c.Name), c.Type);
        EXPECT_EQ(TZQS_File::GetCompression(c.Name), c.Compression);
    }
}

TEST(FileChecksum, XorOfLittleEndianWords) {
    TempFolder tmp;
    // Empty, partial words, block boundaries (32,768 bytes) and beyond.
    for (const std::size_t n : {0u, 1u, 7u, 8u, 9u, 32767u, 32768u, 32769u, 32776u, 100003u}) {
        SCOPED_TRACE(n);
        const auto b = Bytes(n, static_cast<std::uint32_t>(n) + 1);
        const std::string f = tmp.Write("f" + std::to_string(n), b);
        EXPECT_EQ(zqt_file_bs::TZQS_File_bs::Checksum(f), ReferenceChecksum(b));
    }
    // Nine bytes: the first word XOR the ninth byte alone.
    const std::vector<unsigned char> nine{1, 2, 3, 4, 5, 6, 7, 0x88, 0xF0};
    EXPECT_EQ(zqt_file_bs::TZQS_File_bs::Checksum(tmp.Write("nine", nine)),
              static_cast<std::int64_t>(0x8807060504030201ull ^ 0xF0ull));
}

TEST(FileChecksum, UnreadableFileIsAnErrorNotZero) {
    TempFolder tmp;
    using zqt_classes_bs::ExcZQSCantOpenFile;
    const std::string missing = (tmp.Path() / "missing.21o").string();
    EXPECT_THROW(zqt_file_bs::TZQS_File_bs::Checksum(missing), ExcZQSCantOpenFile);
    EXPECT_THROW(zqt_file_bs::TZQS_File_bs::Checksum(tmp.Path().string()), ExcZQSCantOpenFile);
    zqt_types_bs::RFileInfo info;
    EXPECT_THROW(TZQS_File::GetFileInfo(missing, info, false), ExcZQSCantOpenFile);
    EXPECT_THROW(TZQS_File::GetFileInfo(tmp.Path().string(), info, true), ExcZQSCantOpenFile);
    EXPECT_THROW(TZQS_File::GetFileInfo("", info, false), ExcZQSCantOpenFile);
}

TEST(FileInfo, FactsFromTheFileSystem) {
    TempFolder tmp;
    std::filesystem::create_directory(tmp.Path() / "sub");
    const auto b = Bytes(1000, 7);
    tmp.Write("data.21d", b);
    const std::string given = (tmp.Path() / "sub" / ".." / "data.21d").string();

    zqt_types_bs::RFileInfo info;
    info.Location = 9;  // cleared by GetFileInfo
    ASSERT_TRUE(TZQS_File::GetFileInfo(given, info, false));
    EXPECT_EQ(info.FileName, given);
    EXPECT_EQ(info.Name, "data.21d");
    EXPECT_EQ(info.URL, "file://" + (tmp.Path() / "data.21d").lexically_normal().string());
    EXPECT_EQ(info.Typ, 2);
    EXPECT_EQ(info.Compression, 5);
    EXPECT_EQ(info.Version, 0u);
    EXPECT_EQ(info.Size, 1000);
    EXPECT_EQ(info.CRC, 0);
    EXPECT_EQ(info.Location, 0);
    EXPECT_LT(std::fabs(info.Time - sysutils::Now()), 1.0 / 1440.0);

    ASSERT_TRUE(TZQS_File::GetFileInfo(given, info, true));
    EXPECT_EQ(info.CRC, ReferenceChecksum(b));
}

// ---------------------------------------------------------------------------------------

class FileDbTest : public ::testing::Test {
protected:
    void SetUp() override { Db = NewProjectDb(); }
    void TearDown() override { zqt_file::SetKnownCRCTest({}); }

    std::shared_ptr<TZQS_File> NewFile() {
        return zqt_classes_dbs::TZQS_Object::CreateChildOf<TZQS_File>(nullptr, Db);
    }

    TempFolder Tmp;
    SQLiteExt::IESQLiteDatabasePtr Db;
};

TEST_F(FileDbTest, RowWrittenAndReadBack) {
    const auto b = Bytes(4099, 3);
    const std::string path = Tmp.Write("ABCD0010.21o", b);
    auto f = NewFile();
    EXPECT_EQ(f->GetObjType(), 1);
    ASSERT_TRUE(f->LoadFromFile(path, true));
    EXPECT_EQ(f->GetSize(), 4099);
    f->SetObjID(77);
    f->SetVersion(211);
    f->SetBegTime(13000000000000LL);
    f->SetEndTime(13000000864000LL);
    zqt_types_bs::RFileInfo& r = f->FileInfoRef();
    r.Location = 1;
    r.NetFileID = -5;
    r.CmpCRC = INT64_MIN;
    r.CRC = -2;  // the high bit of the checksum survives
    zqt_file_bs::TGUID guid;
    ASSERT_TRUE(zqt_file_bs::TryStringToGUID("{A1C7636C-5C4F-4964-B96F-04AE4281F944}", guid));
    f->SetGUID(guid);
    f->ExecuteWrite();

    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Files"), 1);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM ObjInfo WHERE ObjID = 77 AND ObjType = 1 AND "
                           "Name = 'ABCD0010.21o' AND Size = 4099"),
              1);

    const auto g = TZQS_File::CreateLoad(Db, 77);
    const zqt_types_bs::RFileInfo a = f->GetFileInfo(), c = g->GetFileInfo();
    EXPECT_TRUE(c.FileName == a.FileName && c.Name == "ABCD0010.21o" && c.URL == a.URL);
    EXPECT_TRUE(c.Typ == 2 && c.Version == 211u && c.Compression == 0 && c.Size == 4099);
    EXPECT_TRUE(c.CRC == -2 && c.CmpCRC == INT64_MIN && c.Location == 1 && c.NetFileID == -5);
    EXPECT_DOUBLE_EQ(c.Time, a.Time);
    EXPECT_EQ(g->GetGUID(), guid);
    EXPECT_EQ(g->GetBegTime(), 13000000000000LL);
    EXPECT_EQ(g->GetEndTime(), 13000000864000LL);
    EXPECT_EQ(g->GetDisplayName(), "ABCD0010.21o");

    // Loading by id leaves no cursor, so it can be repeated; an open cursor is stepped.
    EXPECT_TRUE(g->Next());
    EXPECT_EQ(g->GetCRC(), -2);
    auto h = NewFile();
    h->SetObjID(78);
    h->SetFileName("/x/second.21n");
    h->ExecuteWrite();
    g->OpenSQL("SELECT * FROM Files ORDER BY FileID DESC", {});
    ASSERT_TRUE(g->Next());
    EXPECT_EQ(g->GetObjID(), 78);
    EXPECT_EQ(g->GetFileName(), "/x/second.21n");
    ASSERT_TRUE(g->Next());
    EXPECT_EQ(g->GetObjID(), 77);
    EXPECT_FALSE(g->Next());
    EXPECT_TRUE(g->Eof());
    // The row is written once: a second write of the same id is refused.
    EXPECT_THROW(f->ExecuteWrite(), SQLiteExt::ESQLiteException);
}

TEST_F(FileDbTest, UnknownIdAndNoIdAndOddValues) {
    EXPECT_THROW(TZQS_File::CreateLoad(Db, 12345), zqt_types_bs::ExceptionZQS);

    // Without an id the file takes one from the counter; a NaN time becomes NULL and
    // reads back as 0; names with quotes travel as values.
    auto f = NewFile();
    f->SetFileName("/x/it's \"odd\".21o");
    f->FileInfoRef().Name = "it's \"odd\".21o";
    f->FileInfoRef().Time = std::nan("");
    f->ExecuteWrite();
    ASSERT_GT(f->GetObjID(), 0);
    const auto g = TZQS_File::CreateLoad(Db, f->GetObjID());
    EXPECT_EQ(g->GetFileName(), "/x/it's \"odd\".21o");
    EXPECT_EQ(g->GetShortName(), "it's \"odd\".21o");
    EXPECT_EQ(g->GetFileTime(), 0.0);
    EXPECT_TRUE(g->GetGUID().IsNull());
    EXPECT_THROW(g->SaveFile(), zqt_types_bs::ExceptionZQS);  // a plain file has no save step
}

TEST_F(FileDbTest, AlreadyLoadedThroughTheChecksumRecord) {
    const std::string a = Tmp.Write("a.rtcm3", Bytes(100, 1));
    const std::string b = Tmp.Write("b.rtcm3", Bytes(100, 2));
    auto fa = NewFile();
    fa->LoadFromFile(a, true);
    // Nobody keeps the checksums: an error, never "new".
    EXPECT_THROW(fa->IsKnownFile(), zqt_types_bs::ExceptionZQS);

    std::set<std::int64_t> known;
    zqt_file::SetKnownCRCTest([&known](std::int64_t crc) { return !known.insert(crc).second; });
    EXPECT_FALSE(fa->IsKnownFile());
    EXPECT_TRUE(fa->IsKnownFile());
    auto fb = NewFile();
    fb->LoadFromFile(b, true);
    EXPECT_FALSE(fb->IsKnownFile());
    // The same content under another name is the same file.
    auto fc = NewFile();
    fc->LoadFromFile(Tmp.Write("copy.rtcm3", Bytes(100, 1)), true);
    EXPECT_TRUE(fc->IsKnownFile());
    EXPECT_EQ(fc->CalcCRC(), fa->GetCRC());
}

}  // namespace
