// The RINEX reader on small files written by the tests (versions, kinds of file, header
// lines, navigation records of every layout, observation epochs and events, clock files,
// and what a damaged file loses) and on every sample RINEX file, with the counts each
// gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "rtcm_import_util.h"
#include "test_data.h"
#include "sysutils.h"
#include "zqt_datastorage_bs.h"
#include "zqt_file_obs.h"
#include "zqt_rnx_reader.h"

namespace fs = std::filesystem;
using namespace zqt_sat_obs_types;
using sysutils::Format;
using zqt_ephem_tp::REphem;
using zqt_rnx_reader::ExceptionRNX;

namespace {

constexpr std::int64_t Sec = 10'000;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
const std::int64_t Day20240305 = 13'936'320'000'000;  // 2024-03-05 00:00:00 GPS

// A header line: the value in columns 1-60, the label from 61 on.
std::string H(const std::string& Value, const std::string& Label) {
    std::string v = Value.substr(0, 60);
    v.resize(60, ' ');
    return v + Label;
}
std::string VersionLine(const std::string& Version, const std::string& Type,
                        const std::string& System = "") {
    return H(Format("%9s%11s%-20s%-20s", Version, "", Type, System), "RINEX VERSION / TYPE");
}
const std::string EndOfHeader = H("", "END OF HEADER");

// A navigation field of 19 columns; blank for NaN.
std::string F(double V) {
    if (std::isnan(V)) return std::string(19, ' ');
    char b[32];
    std::snprintf(b, sizeof b, "%19.12E", V);
    return b;
}
using TOrbit = std::vector<std::array<double, 4>>;
// A record: its first line (satellite and epoch, then three clock fields) and orbit lines
// after the indent of the version.
std::vector<std::string> Record(const std::string& Head, const std::array<double, 3>& Clock,
                                const TOrbit& Lines, const std::string& Indent = "    ") {
    std::vector<std::string> r{Head + F(Clock[0]) + F(Clock[1]) + F(Clock[2])};
    for (const auto& l : Lines) r.push_back(Indent + F(l[0]) + F(l[1]) + F(l[2]) + F(l[3]));
    return r;
}
// The seven orbit lines of a Keplerian record; accuracy, transmission time and the second
// value of line 5 (codes on L2, or Galileo's data sources) as given.
TOrbit Kepler(double Toe, double Accuracy = 2.0, double Tom = 200000.0, double Line5 = 1.0,
              double Line6Last = 45.0) {
    return {{45, -24.5625, 4.357e-09, 1.2345},
            {-1.2e-06, 5.1e-03, 8.8e-06, 5153.6},
            {Toe, 1.6e-08, -2.8, -9.3e-08},
            {0.96, 215.3, 0.765, -8.1e-09},
            {2.5e-10, Line5, 2304, 1},
            {Accuracy, 0, -1.16e-08, Line6Last},
            {Tom, 4, NaN, NaN}};
}
TOrbit Cartesian(double Channel) {
    return {
        {-11588.2, -0.567, 0.0, 0}, {-11089.9, -2.65, 9.3e-10, Channel}, {19864.3, -1.82, 0, 1}};
}
void Append(std::vector<std::string>& To, const std::vector<std::string>& Lines) {
    To.insert(To.end(), Lines.begin(), Lines.end());
}

class ReaderFixture : public rtcmimport::ImportFixture {
protected:
    // Reads a file by a reader of its own, as the import does (one transaction), into a new
    // observation file (or the last one), and gives the reader's summary.
    zqt_rnx_reader::RRinexSummary Read(const std::string& Path, bool NewFile = true) {
        zqt_types_bs::RFileInfo info;
        zqt_file::TZQS_File::GetFileInfo(Path, info, false);
        info.Typ = zqt_file_obs::FileTypeRinex;
        if (NewFile || !File) File = zqt_file_obs::TZQS_ObsFile::CreateNew(Db);
        File->SetFileInfo(info);
        File->SetLogger(Log);
        File->SetOnMessage(
            [this](const std::string& Text, std::uint8_t) { Messages.push_back(Text); });
        const auto reader = zqt_rnx_reader::TZQS_RinexReader::Create(File, 0);
        reader->SetLogger(Log);
        reader->SetOnMessage(File->GetOnMessage());
        Db->BeginTransaction();
        try {
            reader->Execute();
            Db->Commit();
        } catch (...) {
            Db->Rollback();
            throw;
        }
        return reader->Summary();
    }
    // A file of the test's folder with the given lines.
    std::string WriteLines(const std::string& Name, const std::vector<std::string>& Lines) {
        const fs::path p = Dir.Path() / Name;
        std::ofstream f(p, std::ios::binary);
        for (const std::string& l : Lines) f << l << "\n";
        return p.string();
    }
    std::shared_ptr<zqt_file_obs::TZQS_ObsFile> File;
};

class RinexReader : public ReaderFixture {
protected:
    std::shared_ptr<zqt_datastorage_bs::IZQS_DataStorage> Store() {
        return std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(
            File->GetDataStorage());
    }
    zqt_ephem_tp::TEphemArray Ephemerides() { return Store()->GetEphemerisStorage()->GetRecords(); }
    const REphem* Find(const zqt_ephem_tp::TEphemArray& All, std::uint16_t Key) {
        for (const REphem& e : All)
            if (e.svprn == Key) return &e;
        return nullptr;
    }
    // The message of the exception a file raises, "" when it reads.
    std::string Failure(const std::vector<std::string>& Lines, std::int64_t* Line = nullptr) {
        try {
            Read(WriteLines("f.rnx", Lines));
        } catch (const ExceptionRNX& e) {
            if (Line) *Line = e.Line();
            return e.Message();
        }
        return std::string();
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Versions, dates, accuracies

TEST(RinexVersions, TableShiftAndTheVersionsReadAs400) {
    using namespace zqt_rnx_reader;
    struct Case {
        const char* text;
        std::int32_t value;
        int index, reader;
    };
    for (const Case& c : std::vector<Case>{{"3.04", 304, 9, 9},
                                           {"2.12", 212, 4, 4},
                                           {"2.11", 211, 3, 3},
                                           {"  4.00 ", 400, 11, 11},
                                           {"4.01", 401, 0, 11},
                                           {"4.02", 402, 0, 11},
                                           {"3.99", 399, 0, 0},
                                           {"RINEX", 0, 0, 0}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(RnxVersionValue(c.text), c.value);
        EXPECT_EQ(RnxVersionIndex(c.value), c.index);
        EXPECT_EQ(RnxReaderVersionIndex(c.value), c.reader);
    }
}

TEST(RinexVersions, DatesAndAccuracyIndexes) {
    using namespace zqt_rnx_reader;
    const std::int64_t jan15 = 13'577'760'000'000;  // 2023-01-15 00:00:00
    EXPECT_EQ(RinexWordsToTicks({"2023", "1", "15", "0", "0", "0.0000000"}), jan15);
    EXPECT_EQ(RinexWordsToTicks({"23", "1", "15", "0", "0"}), jan15);
    EXPECT_EQ(RinexWordsToTicks({"24", "3", "5", "12", "30", "15.5"}),
              Day20240305 + (12 * 3600 + 30 * 60) * Sec + 155'000);
    EXPECT_EQ(RinexWordsToTicks({"99", "12", "31", "0", "0"}), 6'306'336'000'000);  // 1999
    for (const auto& bad : std::vector<std::vector<std::string>>{{"2023", "1", "15", "0"},
                                                                 {"2023", "13", "1", "0", "0"},
                                                                 {"2023", "2", "30", "0", "0"}})
        EXPECT_THROW(RinexWordsToTicks(bad), ExceptionRNX);
    // URA: the index whose range holds the accuracy (the writer's nominal values among them).
    const std::vector<std::pair<double, int>> ura = {
        {2.0, 0},  {2.8, 1},  {4.0, 2},     {5.7, 3},     {8.0, 4},   {11.3, 5},
        {16.0, 6}, {32.0, 7}, {4096.0, 14}, {8192.0, 15}, {0.0, 255}, {-1.0, 255}};
    for (const auto& [m, i] : ura) EXPECT_EQ(UraIndexOfAccuracy(m), i) << m;
    const std::vector<std::pair<double, int>> sisa = {
        {0.3, 30}, {0.49, 49}, {0.7, 60}, {1.2, 80}, {2.16, 101}, {6.0, 255}, {-1.0, 255}};
    for (const auto& [m, i] : sisa) EXPECT_EQ(SisaIndexOfAccuracy(m), i) << m;
}

// ---------------------------------------------------------------------------------------
// Kinds of file

TEST_F(RinexReader, KindsOfFileAndFaultsOfTheFirstLine) {
    struct Case {
        std::vector<std::string> lines;
        std::string error;  // "" when the file reads
        std::uint8_t type;
        std::int32_t shift = 0;
        std::int64_t line = 0;  // of the error; 0: the first line of a one-line file, else 2
    };
    const std::vector<Case> cases = {
        {{H("a comment", "COMMENT")},
         "The file is not rinex one\\nExpected: RINEX VERSION / TYPE In file: COMMENT\\n" +
             H("a comment", "COMMENT"),
         0},
        {{VersionLine("2.11", "N: GPS NAV DATA"), EndOfHeader}, "", 7},
        {{VersionLine("2.12", "N: GNSS NAV DATA", "J: QZSS"), EndOfHeader}, "", 7, 1},
        {{VersionLine("3.04", "N: GNSS NAV DATA", "M: MIXED"), EndOfHeader}, "", 9, 1},
        {{VersionLine("2.11", "G: GLONASS NAV DATA"), EndOfHeader}, "", 8},
        {{VersionLine("2.11", "H: GEO NAV MSG DATA"), EndOfHeader}, "", 7},
        {{VersionLine("2.11", "METEOROLOGICAL DATA"), EndOfHeader}, "", 12},
        {{VersionLine("2.11", "Q: SOMETHING")}, "Unknown rinex file type Q", 0},
        {{VersionLine("3.99", "N: GNSS NAV DATA", "M: MIXED")},
         "Unsupportable rinex version 3.99",
         0},
        {{VersionLine("3.04", "OBSERVATION DATA", "M: MIXED"), H("", "RINEX VERSION / TYPE")},
         "Unsupportable rinex version ",
         0},
        // A navigation header without its end would take the records as header lines.
        {{VersionLine("2.11", "N: GPS NAV DATA"), H("    18", "LEAP SECONDS"),
          " 5 24  3  5 12  0  0.0" + F(1.0) + F(0.0) + F(0.0)},
         "No END OF HEADER line",
         0,
         0,
         3},
        {{VersionLine("4.00", "N: GNSS NAV DATA", "M: MIXED")}, "No END OF HEADER line", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        std::int64_t line = 0;
        EXPECT_EQ(Failure(c.lines, &line), c.error);
        if (c.error.empty()) {
            EXPECT_EQ(File->GetFileType(), c.type);
            EXPECT_EQ(Read(WriteLines("f.rnx", c.lines)).ColumnShift, c.shift);
        } else {
            EXPECT_EQ(line, c.line != 0 ? c.line : c.lines.size() == 1 ? 1 : 2);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Navigation files

TEST_F(RinexReader, Rinex2GpsRecordsAndTheirHeader) {
    // Iono values that touch (a minus sign in the first column of a field).
    std::vector<std::string> f = {
        VersionLine("2.10", "N: GPS NAV DATA"),
        H("    1.1176E-08-7.45060E-09-5.96050E-08-1.19210E-07", "ION ALPHA"),
        H("    9.0112E+04-1.63840E+04-1.96610E+05-6.55360E+04", "ION BETA"),
        H("    18", "LEAP SECONDS"), EndOfHeader};
    const std::array<double, 3> clock{-1.2345e-4, -3.4e-13, 0.0};
    Append(f, Record(" 5 24  3  5 12  0  0.0", clock, Kepler(216000, 2.0, 0), "   "));
    Append(f, Record(" 7 24  3  5 12  0  0.0", clock, Kepler(216000, 8.0), "   "));  // 8 m
    Append(f, Record("12 24  3  5 14  0  0.0", clock, Kepler(223200, 2.8, 9.99999999999e8), "   "));
    f.push_back(" 9 24  3  5 14  0 xx.x" + F(1.0));  // damaged
    f.push_back("   " + F(1.0));
    Append(f, Record(" 1 24  3  5 16  0  0.0", clock, Kepler(230400), "   "));
    const auto s = Read(WriteLines("brdc0650.24n", f));
    EXPECT_EQ(s.Records, 3);
    EXPECT_EQ(s.Inaccurate, 1);
    EXPECT_EQ(s.Damaged, 1);
    EXPECT_EQ(s.FirstDamagedLine, 30);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_NE(Messages[0].find("skipped 1 damaged record(s) (the first in line 30"),
              std::string::npos)
        << Messages[0];
    const auto all = Ephemerides();
    const REphem* g5 = Find(all, SatKey(SC_GPS, 5));
    ASSERT_NE(g5, nullptr);
    EXPECT_EQ(g5->GPSTime, Day20240305 + 12 * 3600 * Sec);
    EXPECT_EQ(g5->ura, 0);
    EXPECT_EQ(g5->tom, 215999);  // 0: toe - 1
    const REphem* g12 = Find(all, SatKey(SC_GPS, 12));
    ASSERT_NE(g12, nullptr);
    EXPECT_EQ(g12->ura, 1);
    EXPECT_EQ(g12->tom, zqt_ephem_tp::TomUnknown);
    EXPECT_EQ(File->GetBegTime(), g5->GPSTime);
    EXPECT_EQ(File->GetEndTime(), Day20240305 + 16 * 3600 * Sec);
    // One GPS set at the time of the first record, week modulo 1024.
    const auto ionos = Store()->GetIonoStorage()->GetItems();
    ASSERT_EQ(ionos.size(), 1u);
    EXPECT_EQ(ionos[0].GPSTime, g5->GPSTime);
    EXPECT_EQ(ionos[0].System, SC_GPS);
    EXPECT_FLOAT_EQ(ionos[0].alpha1, -7.4506e-09f);
    EXPECT_FLOAT_EQ(ionos[0].beta3, -65536.0f);
}

TEST_F(RinexReader, Rinex212RecordsInEitherLayout) {
    // Version 2.12 puts satellite and epoch in 23 columns and the orbit values from column
    // 5; files that keep the 2.11 columns are read too.
    std::vector<std::string> old = {VersionLine("2.12", "N: GPS NAV DATA"), EndOfHeader};
    Append(old, Record(" 5 24  3  5 12  0  0.0", {-1.2345e-4, -3.4e-13, 0.0},
                       Kepler(216000, 2.0, 210000), "   "));
    Append(old, Record(" 7 24  3  5 14  0  0.0", {2.5e-5, 1.1e-12, 0.0},
                       Kepler(223200, 2.0, 220000), "   "));
    const std::string files[] = {
        (fs::path(TOLVAR_TEST_DATA) / "rinex" / "nav_212_gps.rnx").string(),
        WriteLines("old0650.24n", old)};
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const auto s = Read(path);
        EXPECT_EQ(s.Records, 2);
        EXPECT_EQ(s.Damaged, 0) << s.FirstDamaged;
        const auto all = Ephemerides();
        const REphem* g5 = Find(all, SatKey(SC_GPS, 5));
        const REphem* g7 = Find(all, SatKey(SC_GPS, 7));
        ASSERT_TRUE(g5 && g7);
        EXPECT_EQ(g5->GPSTime, Day20240305 + 12 * 3600 * Sec);
        EXPECT_DOUBLE_EQ(g5->af0, -1.2345e-4);
        EXPECT_DOUBLE_EQ(g5->roota, 5153.6);
        EXPECT_EQ(g5->toe, 216000u);
        EXPECT_DOUBLE_EQ(g7->af0, 2.5e-5);
        EXPECT_EQ(g7->tom, 220000);
    }
}

TEST_F(RinexReader, Rinex2LinesOfAnotherKindEndTheirRecordOnly) {
    // Lines of an observation epoch in a navigation file (found by fuzzing: the reading
    // never ended) are a damaged record; the records around them are read.
    std::vector<std::string> f = {VersionLine("2.11", "N: GPS NAV DATA"), EndOfHeader};
    const std::array<double, 3> clock{-1.2345e-4, -3.4e-13, 0.0};
    Append(f, Record(" 5 24  3  5 12  0  0.0", clock, Kepler(216000), "   "));
    f.push_back("> 2024 03 05 12 00  0.0000000  0 18");
    f.push_back("> 2024 03 05 12 00 30.0000000  0 17");
    Append(f, Record(" 7 24  3  5 14  0  0.0", clock, Kepler(223200), "   "));
    const auto s = Read(WriteLines("brdc0650.24n", f));
    EXPECT_EQ(s.Records, 2);
    EXPECT_EQ(s.Damaged, 1);
}

TEST_F(RinexReader, Rinex3MixedRecordsOfEverySystem) {
    std::vector<std::string> f = {
        VersionLine("3.05", "N: GNSS NAV DATA", "M: MIXED"),
        H("GAL    6.6250E+01-1.64060E-01-2.47190E-03  0.0000E+00", "IONOSPHERIC CORR"),
        H("BDSA   1.1180E-08  2.9800E-08-4.17200E-07  6.5570E-07 C  6", "IONOSPHERIC CORR"),
        H("BDSB   1.4130E+05-5.24300E+05  1.6380E+06-4.58800E+05 C  6", "IONOSPHERIC CORR"),
        H("GPGA  2.1536834538E-09-9.769962617E-15 432000 2304", "TIME SYSTEM CORR"),
        H("    18", "LEAP SECONDS"),
        EndOfHeader};
    const std::array<double, 3> clock{1e-4, 0, 0};
    // A GPS record, then Galileo: SISA 0.7 m of I/NAV (517), F/NAV (258), and data sources
    // that name none.
    Append(f, Record("G05 2024 03 05 12 00 00", clock, Kepler(216000)));
    Append(f, Record("E11 2024 03 05 12 00 00", clock, Kepler(216000, 0.7, 210000, 517, 1e-9)));
    Append(f, Record("E11 2024 03 05 12 10 00", clock, Kepler(216600, 0.7, 210000, 258, 0)));
    Append(f, Record("E12 2024 03 05 12 00 00", clock, Kepler(216000, 0.7, 210000, 0)));
    // GLONASS at 00:10 (off the quarter hours) and at 00:15, with the fourth line of 3.05.
    TOrbit r = Cartesian(-4);
    r.push_back({183, -2.8e-9, 3, 1});
    Append(f, Record("R03 2024 03 05 00 10 00", {5.8e-5, 9e-13, 600}, r));
    Append(f, Record("R03 2024 03 05 00 15 00", {5.8e-5, 9e-13, 900}, r));
    Append(f, Record("C06 2024 03 05 12 00 00", clock, Kepler(302400, 2.0, 302400, NaN, -1e-8)));
    Append(f, Record("S23 2024 03 05 12 01 04", clock, Cartesian(32)));
    const auto s = Read(WriteLines("mixed.rnx", f));
    EXPECT_EQ(s.Records, 5);
    EXPECT_EQ(s.OffGrid, 1);
    EXPECT_EQ(s.Sbas, 1);
    EXPECT_EQ(s.Damaged, 1);
    EXPECT_NE(s.FirstDamaged.find("Illegal bits for NavType 0"), std::string::npos);
    const auto all = Ephemerides();
    const REphem* inav = nullptr;
    const REphem* fnav = nullptr;
    for (const REphem& e : all)
        if (e.svprn == SatKey(SC_GALILEO, 11)) (e.NavType == 2 ? fnav : inav) = &e;
    ASSERT_NE(inav, nullptr);
    ASSERT_NE(fnav, nullptr);
    EXPECT_EQ(inav->NavType, 5);
    EXPECT_EQ(inav->ura, 60);
    EXPECT_FLOAT_EQ(inav->bgdE1E5b, 1e-9f);
    EXPECT_EQ(inav->iodc + inav->codes + inav->L2flag, 0);  // nothing of the GPS record stays
    EXPECT_EQ(fnav->NavType, 2);
    const REphem* glo = Find(all, SatKey(SC_GLONASS, 3));
    ASSERT_NE(glo, nullptr);
    EXPECT_EQ(glo->GPSTime, Day20240305 + 900 * Sec);
    EXPECT_EQ(glo->flags2, 0x17);  // the fourth line: P 3, M 1, ln
    // BeiDou's hour C: the hourly entry of 02:00; Galileo's model is not kept.
    const auto ionos = Store()->GetIonoStorage()->GetItems();
    ASSERT_EQ(ionos.size(), 1u);
    EXPECT_EQ(ionos[0].System, SC_BDS);
    EXPECT_EQ(ionos[0].GPSTime, Day20240305 + 2 * 3600 * Sec);
    EXPECT_FLOAT_EQ(ionos[0].beta1, -5.243e5f);
    // GPGA is kept as Galileo to GPS.
    const auto times = Store()->GetTimeStorage()->GetItems();
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(times[0].Sys1 * 10 + times[0].Sys2, 41);
}

TEST_F(RinexReader, Rinex4RecordsOfTheLegacyMessagesOnly) {
    const std::array<double, 3> clock{1e-4, 0, 0};
    for (const std::string version : {"4.00", "4.02"}) {
        SCOPED_TRACE(version);
        Messages.clear();
        std::vector<std::string> f = {VersionLine(version, "N: GNSS NAV DATA", "M: MIXED"),
                                      H("    18", "LEAP SECONDS"),
                                      EndOfHeader,
                                      "> STO G05 LNAV",
                                      "    2024 03 05 12 00 00 GPUT",
                                      "    " + F(216000) + F(1e-9) + F(0) + F(0),
                                      "> EPH G05 LNAV"};
        Append(f, Record("G05 2024 03 05 12 00 00", clock, Kepler(216000)));
        f.push_back("> EPH G07 CNAV");
        Append(f, Record("G07 2024 03 05 12 00 00", clock, Kepler(216000)));
        f.push_back("    " + F(1) + F(2));  // the civil message's further lines
        f.push_back("> EPH G08 LNAV");      // a damaged record loses only itself
        f.push_back("G08 2024 03 05 1");
        f.push_back("> EPH R03 FDMA");
        TOrbit r = Cartesian(-4);
        r.push_back({183, -2.8e-9, 3, 1});
        Append(f, Record("R03 2024 03 05 00 15 00", {5.8e-5, 9e-13, 900}, r));
        f.push_back("> ION G05 LNAV");
        f.push_back("> XYZ G05");  // a head that names no record: counted, not passed over silently
        const auto s = Read(WriteLines("nav4.rnx", f));
        EXPECT_EQ(s.Records, 2);
        EXPECT_EQ(s.Parameters, 2);
        EXPECT_EQ(s.OtherMessages.at("CNAV"), 1);
        EXPECT_EQ(s.Damaged, 2);
        EXPECT_EQ(Ephemerides().size(), 2u);
        ASSERT_FALSE(Messages.empty());
        EXPECT_NE(Messages[0].find("1 CNAV record(s) (message not read)"), std::string::npos);
    }
}

// ---------------------------------------------------------------------------------------
// Observation files

namespace {

const std::string Obs2Types =
    H("    10    C1    L1    S1    P2    L2    C5    L5    S5    D1", "# / TYPES OF OBSERV");
std::vector<std::string> Obs2Header(const std::string& Version) {
    return {VersionLine(Version, "OBSERVATION DATA", "M (MIXED)"),
            H("ROVR", "MARKER NAME"),
            H("    30.000", "INTERVAL"),
            Obs2Types,
            H("          D2", "# / TYPES OF OBSERV"),
            H("  2024     3     5    12     0    0.0000000     GPS", "TIME OF FIRST OBS"),
            EndOfHeader};
}
// The two lines of a satellite of Obs2Types: the fields of the types given.
std::vector<std::string> Sat2(double Code) {
    const auto fld = [](double v, const char* flags) { return Format("%14.3f%s", v, flags); };
    return {fld(Code, "  ") + fld(Code / 0.19, " 7") + fld(45.25, "  ") + fld(Code + 3.5, "  ") +
                fld(Code / 0.24, "  "),
            std::string(64, ' ') + fld(-1234.5, "  ")};
}

}  // namespace

TEST_F(RinexReader, Rinex2EpochsSatelliteListsAndDroppedEpochs) {
    std::vector<std::string> f = Obs2Header("2.11");
    // 15 satellites: the list goes on in a second line.
    f.push_back(" 24  3  5 12  0  0.0000000  0 15G01G02G03G04G05G06G07G08G09G10G11G12");
    f.push_back(std::string(32, ' ') + "G13G14S20");
    for (int i = 1; i <= 15; ++i) Append(f, Sat2(2.0e7 + i));
    // A cycle-slip record, and an epoch off the interval (no orbit moves its ranges to the
    // interval: not aligned).
    f.push_back(" 24  3  5 12  0 30.0000000  6  1G01");
    Append(f, Sat2(2.0e7));
    f.push_back(" 24  3  5 12  0 45.0000000  0  1G01");
    Append(f, Sat2(2.0e7));
    // A damaged epoch header: its lines are passed over up to the next epoch.
    f.push_back(" 24  3  5 12  1 xx.0000000  0  2G01G02");
    Append(f, Sat2(2.0e7));
    Append(f, Sat2(2.0e7));
    f.push_back(" 24  3  5 12  1 30.0000000  0  2G01E11");  // Galileo: allowed in 2.11
    Append(f, Sat2(2.0e7));
    Append(f, Sat2(2.1e7));
    const auto s = Read(WriteLines("rovr0650.24o", f));
    EXPECT_EQ(s.EpochsWritten, 2);
    EXPECT_EQ(s.Satellites, 14 + 2);  // S20 refused
    EXPECT_EQ(s.CycleSlipRecords, 1);
    EXPECT_EQ(s.Unaligned, 1);
    EXPECT_EQ(s.BadEpochs, 1);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Epochs"), 2);
    EXPECT_EQ(File->GetBegTime(), Day20240305 + 12 * 3600 * Sec);
    EXPECT_EQ(File->GetEndTime(), Day20240305 + (12 * 3600 + 90) * Sec);
    // Version 2.10 has no Galileo: the satellite's lines are read and dropped.
    f[0] = VersionLine("2.10", "OBSERVATION DATA", "M (MIXED)");
    EXPECT_EQ(Read(WriteLines("rovr0650.24o", f)).Satellites, 14 + 1);
}

TEST_F(RinexReader, Rinex3EpochsTypeListsAndAnUnreadableSatellite) {
    const std::string codes15 =
        "G   15 C1C L1C D1C S1C C2W L2W D2W S2W C5Q L5Q D5Q S5Q C1W L1W S1W";
    std::vector<std::string> f = {
        VersionLine("3.04", "OBSERVATION DATA", "M: MIXED"),
        H(codes15.substr(0, 58), "SYS / # / OBS TYPES"),
        H("      " + codes15.substr(58), "SYS / # / OBS TYPES"),
        H("R    4 C1C L1C X1  S1C", "SYS / # / OBS TYPES"),
        H("  1 R07 -4", "GLONASS SLOT / FRQ #"),
        H("  2024     3     5    12     0    0.0000000     GLO", "TIME OF FIRST OBS"),
        EndOfHeader,
        "> 2024 03 05 12 00  0.0000000  0  3",
        "G05  20000000.000   105000000.000 5      -400.000          40.000",
        "X99  20000000.000",  // an unreadable satellite loses its line only
        "R07  21000000.000   110000000.250           5.000          41.000",
        "  2024 03 05 12 00 30.0000000  0  1",  // no ">": logged, reading goes on
        "G05  20000000.000",
        "> 2024 03 05 12 01  0.0000000  0  1",
        "G05  20000000.000"};
    const auto s = Read(WriteLines("mixd.rnx", f));
    EXPECT_EQ(s.EpochsWritten, 2);
    EXPECT_EQ(s.Satellites, 3);
    EXPECT_EQ(s.BadSatellites, 1);
    EXPECT_EQ(s.BadEpochs, 1);
    EXPECT_TRUE(Logged("ReadEpoch: Bad epoch header   2024 03 05 12 00 30.0000000  0  1 in line"));
    // A GLO time of first observation: 10782 s earlier on the GPS scale (18 leap seconds).
    const std::int64_t first = Day20240305 + 12 * 3600 * Sec - 10782 * Sec;
    const auto epochs = Epochs(File->GetReceiver(0)->GetDataSet(0)->GetObjID());
    ASSERT_EQ(epochs.size(), 2u);
    EXPECT_EQ(epochs[0].Time, first);
    // The channel of the header gives the GLONASS phase its wavelength (phases are kept
    // up to whole cycles).
    const auto* glo = epochs[0].Find(SatKey(SC_GLONASS, 7));
    ASSERT_NE(glo, nullptr);
    ASSERT_TRUE(glo->Rec.Band(1).Kinds & zqt_obs_intrf::KindPhase);
    const double cycles = glo->Rec.Band(1).Phase / (SpeedOfLight / (1602.0e6 - 4 * 0.5625e6));
    EXPECT_NEAR(cycles - std::floor(cycles), 0.25, 1e-3);
    EXPECT_EQ(epochs[0].Find(SatKey(SC_GPS, 5))->Rec.Band(1).Strength, 160);
    // The type lists that cannot be read.
    std::vector<std::string> g = f;
    g[2] = H("      " + codes15.substr(58), "COMMENT");
    EXPECT_EQ(Failure(g), "Invalid Obs");
    g = Obs2Header("2.11");
    g.erase(g.begin() + 4);  // 10 types announced, 9 given
    EXPECT_EQ(Failure(g), "Invalid Obs");
}

TEST_F(RinexReader, EventsOpenOccupationsAndWriteEvents) {
    std::vector<std::string> f = Obs2Header("2.11");
    f.push_back(" 24  3  5 12  0  0.0000000  0  1G01");
    Append(f, Sat2(2.0e7));
    f.push_back(" 24  3  5 12  0 30.0000000  3  2");
    f.push_back(H("SITE1", "MARKER NAME"));
    f.push_back(H("Description: first point", "COMMENT"));
    f.push_back(" 24  3  5 12  1  0.0000000  0  1G01");
    Append(f, Sat2(2.0e7));
    f.push_back(" 24  3  5 12  1 30.0000000  2  1");  // the antenna starts moving
    f.push_back(H("SITE2", "MARKER NAME"));
    f.push_back(" 24  3  5 12  1 40.0000000  5  1");
    f.push_back(H("Free-form Event # 1 _ANH=1.5", "COMMENT"));
    // New header records: a type list of two lines counts as two.
    f.push_back(" 24  3  5 12  1 50.0000000  4  2");
    f.push_back(Obs2Types);
    f.push_back(H("          D2", "# / TYPES OF OBSERV"));
    f.push_back(" 24  3  5 12  2  0.0000000  0  1G01");
    Append(f, Sat2(2.0e7));
    const auto s = Read(WriteLines("ev.24o", f));
    EXPECT_EQ(s.Events, 4);
    EXPECT_EQ(s.EpochsWritten, 3);
    // The first occupation ends at the second event.
    EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM Recordsets WHERE RecordsetType = 8 AND "
                         "MarkerName = 'SITE1' AND EndTime = %d",
                         Day20240305 + (12 * 3600 + 90) * Sec)),
              1);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Recordsets WHERE RecordsetType = 9 AND MotionMode = 1 "
                  "AND MarkerName = 'SITE2'"),
              1);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Events WHERE evstr = '_ANH'"), 1);
}

// ---------------------------------------------------------------------------------------
// Clock files

TEST_F(RinexReader, ClockFileRows) {
    std::vector<std::string> f = {VersionLine("3.00", "C"),
                                  H("     2    AS    AR", "# / TYPES OF DATA"), EndOfHeader};
    for (const char* t : {"00  0  0.000000", "00  0 30.000000", "00  1  0.000000"})
        for (const char* sat : {"G01", "R02"})
            f.push_back(std::string("AS ") + sat + "       2024 03 05 " + t +
                        "  2    0.150000000000E-03  0.1E-10");
    f.push_back("AR BRUX      2024 03 05 00  0  0.000000  1    0.1E-07");
    const std::string path = WriteLines("c.clk", f);
    Read(path);
    Read(path, false);  // the same file again: its rows are replaced
    const std::int32_t id = File->GetObjID();
    EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM sp3_clk WHERE FileID = %d", id)), 6);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM sp3_clk WHERE T = 150"), 6);
    EXPECT_EQ(Str(Format("SELECT TimeSystem || Agency || SatCodes || ' ' || NumEpochs || ' ' || "
                         "Interval || ' ' || (GPSTimeEnd - GPSTimeBeg) FROM sp3_clk_header WHERE "
                         "FileID = %d",
                         id)),
              "GPSAG6 3 300000 600000");
    EXPECT_EQ(File->GetBegTime(), Day20240305);
    // Without satellite clocks: the marks of "no record".
    f.resize(3);
    Read(WriteLines("c2.clk", f));
    EXPECT_EQ(Str(Format("SELECT GPSTimeBeg || ' ' || GPSTimeEnd || ' ' || Interval || ' ' || "
                         "NumEpochs FROM sp3_clk_header WHERE FileID = %d",
                         File->GetObjID())),
              "9223372036854770000 0 9223372036854770000 0");
    f.pop_back();
    EXPECT_EQ(Failure(f), "Illegal clock format");
}

// ---------------------------------------------------------------------------------------
// The sample RINEX files

TEST_F(RinexReader, EverySharedFileReadsWithItsCounts) {
    struct Case {
        const char* file;
        std::uint8_t type;
        std::int64_t records, sbas, parameters, epochs, satellites, clocks;
    };
    const std::vector<Case> cases = {
        {"ALAC00ESP_R_20220090000_01D_30S_MO.rnx", 2, 0, 0, 0, 3, 119, 0},
        {"AMEL00NLD_R_20210010000_01D_MN.rnx", 9, 6, 0, 0, 0, 0, 0},
        {"BRDC00GOP_R_20210010000_01D_MN.rnx", 9, 3, 1, 0, 0, 0, 0},
        {"CBW100NLD_R_20210010000_01D_MN.rnx", 9, 6, 0, 0, 0, 0, 0},
        {"CLK_example1.clk", 14, 0, 0, 0, 0, 0, 1},
        {"CLK_example2.clk", 14, 0, 0, 0, 0, 0, 2},
        {"COD21925.CLK_05S", 14, 0, 0, 0, 0, 0, 10},
        {"DUTH0630.22O", 2, 0, 0, 0, 3, 52, 0},
        {"KMS300DNK_R_20221591000_01H_MN.rnx", 9, 199, 158, 6, 0, 0, 0},
        {"VLNS0010.22O", 2, 0, 0, 0, 3, 54, 0},
        {"abvi0010.15m", 12, 0, 0, 0, 0, 0, 0},
        {"amel0010.21g", 8, 6, 0, 0, 0, 0, 0},
        {"aopr0010.17o", 2, 0, 0, 0, 3, 30, 0},
        {"barq071q.19o", 2, 0, 0, 0, 1, 15, 0},
        {"cbw10010.21n", 7, 187, 0, 0, 0, 0, 0},
        {"dlf10010.21g", 8, 7, 0, 0, 0, 0, 0},
        {"rovn0010.21o", 2, 0, 0, 0, 6, 133, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TESTDATA_FILE(path, std::string("rinex/") + c.file);
        const auto s = Read(path);
        EXPECT_EQ(s.FileType, c.type);
        EXPECT_EQ(s.Records, c.records);
        EXPECT_EQ(s.Sbas, c.sbas);
        EXPECT_EQ(s.Parameters, c.parameters);
        EXPECT_EQ(s.Damaged + s.BadEpochs + s.BadSatellites, 0);
        EXPECT_EQ(s.EpochsWritten, c.epochs);
        EXPECT_EQ(s.Satellites, c.satellites);
        EXPECT_EQ(s.ClockRows, c.clocks);
    }
}
