// RINEX files of our own writers read back: every real recording converted into RINEX
// 2.11, 3.04, 3.05 and 4.00; its navigation files and then its observation file read into
// a new project database, the observations written again in the same version and
// compared value by value with the first file (all of them match); the ephemerides read
// back from each version's navigation files equal, field by field, those the recording
// gave. And --borb in a whole run: the union of both sources, or the recording's records
// untouched by a file of another day.
#include <gtest/gtest.h>

#include <cmath>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app_test_util.h"
#include "test_data.h"
#include "tolvar_project.h"
#include "zqt_components.h"
#include "zqt_dataset_dbs.h"
#include "zqt_datastorage.h"
#include "zqt_db.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"
#include "zqt_rnx3_writer.h"
#include "zqt_rnx_reader.h"
#include "zqt_rnx_writer.h"

namespace fs = std::filesystem;
using zqt_ephem_tp::REphem;
using namespace zqt_sat_obs_types;

namespace {

int RunTolvar(const std::vector<std::string>& Args, std::string* Out = nullptr) {
    zqt_components::InstallComponents();
    std::ostringstream out, err;
    const int code = tolvar_project::RunApplication(Args, out, err);
    if (Out) *Out = out.str() + err.str();
    return code;
}

// The files a run wrote: the observation file and the navigation files.
struct RWritten {
    std::string Obs;
    std::vector<std::string> Nav;
};
RWritten Written(const fs::path& Dir) {
    RWritten w;
    for (const auto& e : fs::directory_iterator(Dir)) {
        const std::string n = e.path().filename().string();
        if (n.size() < 5 || n[n.size() - 4] != '.') continue;
        (n.back() == 'o' ? w.Obs : w.Nav.emplace_back()) = e.path().string();
    }
    return w;
}

// A project with a fresh working database (and navigation database) for one read-back.
struct TProject {
    TProject() {
        zqt_components::InstallComponents();
        Project = zqt_project::TZQS_Project::Create();
        Db = zqt_project::TZQS_Project::CreateProject("");
    }
    ~TProject() {
        zqt_project::ClearCurrentProject();
        zqt_db::SetNewObjIDBody({});
    }
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;
    zqt_obs_intrf::IZQS_OBSFilePtr Load(const std::string& Path) {
        zqt_types_bs::TRReaderSettings settings;
        return zqt_file_obs::TZQS_ObsFile::LoadRinex(Project->Intf(), Path, settings);
    }
    std::shared_ptr<zqt_project::TZQS_Project> Project;
    SQLiteExt::IESQLiteDatabasePtr Db;
};

// Writes the output recordset of an imported observation file as the program does.
std::string WriteAgain(TProject& P, const zqt_obs_intrf::IZQS_OBSFilePtr& File,
                       std::uint8_t Version, const fs::path& Dir) {
    const std::int32_t ds = File->GetReceiver(0)->GetDataSet(0)->GetObjID();
    const std::int32_t id = zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*P.Db, ds, 7);
    if (id <= 0) return std::string();
    auto settings = zqt_types_bs::RecordsetSettingsDefault();
    settings.ElevationMask = 0;
    const auto rs = zqt_recordset_dbs::TZQS_Recordset::Create(P.Db, id, settings, false);
    const auto store =
        std::dynamic_pointer_cast<zqt_datastorage::IZQS_DataStorage>(rs->GetDataStorage());
    if (store && store->GetEphemerisStorage()) {
        store->GetEphemerisStorage()->SetAllRecords(true);
        store->GetEphemerisStorage()->Load();
    }
    auto w = Version >= RN3_300 ? zqt_rnx3_writer::TZQS_Rinex3Writer::Create(rs)
                                : zqt_rnx_writer::TZQS_RinexWriter::Create(rs);
    zqt_rnx_writer_settings::RRnxWriterSettings s;
    s.IncludedSystems = 0xFE;
    s.RnxVersion = Version;
    zqt_rnx_writer_settings::SetVersion(s.ObsCodes, Version);
    s.ProgramName = "tolvar";
    s.NoNavigation = true;
    w->SetSettings(s);
    w->SetPath((Dir / "again").string());
    w->WriteFile();
    return w->GetWrittenName();
}

// rnxcmp.py: its last line and whether every value matched.
bool CompareObs(const std::string& Ours, const std::string& Reference, const std::string& Skip,
                std::string& Last) {
    const std::string cmd = "python3 '" + testdata::Comparer() + "' obs '" + Ours + "' '" +
                            Reference + "' --min-match 100" +
                            (Skip.empty() ? std::string() : " --skip " + Skip) + " 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        const int rc = pclose(p);
        std::istringstream lines(out);
        for (std::string l; std::getline(lines, l);)
            if (!l.empty()) Last = l;
        return WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
    }
    return false;
}

// Every ephemeris of the project's navigation database.
zqt_ephem_tp::TEphemArray StoredEphemerides(TProject& P) {
    const auto store = zqt_datastorage::TZQS_DataStorage::CreateWithParent(P.Project->Intf());
    store->SetBegTime(0);
    store->SetEndTime(std::numeric_limits<std::int64_t>::max() / 2);
    const auto ephemerides = store->GetEphemerisStorage();
    ephemerides->SetAllRecords(true);
    ephemerides->Load();
    return ephemerides->GetRecords();
}

// The fields a navigation file carries for a record of its system, as numbers.
#define FIELD(x) \
    { #x, static_cast < double>(E.x) }
std::vector<std::pair<const char*, double>> CarriedFields(const REphem& E, bool Glonass4) {
    std::vector<std::pair<const char*, double>> f = {FIELD(GPSTime), FIELD(af0),  FIELD(af1),
                                                     FIELD(toe),     FIELD(toc),  FIELD(weekno),
                                                     FIELD(health),  FIELD(iode), FIELD(NavType)};
    if (SatKeySystem(E.svprn) == SC_GLONASS) {
        f.insert(f.end(),
                 {FIELD(Tk), FIELD(tom), FIELD(Pos_X), FIELD(Pos_Y), FIELD(Pos_Z), FIELD(Vel_X),
                  FIELD(Vel_Y), FIELD(Vel_Z), FIELD(Acs_X), FIELD(Acs_Y), FIELD(Acs_Z),
                  FIELD(freq_num), FIELD(aoi), FIELD(LeapSec), FIELD(cURAoe)});
        if (Glonass4) f.insert(f.end(), {FIELD(flags), FIELD(flags2), FIELD(fDelTauN), FIELD(nFt)});
        return f;
    }
    f.insert(f.end(), {FIELD(af2),   FIELD(crs),      FIELD(deltan),  FIELD(M0),    FIELD(cuc),
                       FIELD(ecc),   FIELD(cus),      FIELD(roota),   FIELD(cic),   FIELD(Omega0),
                       FIELD(cis),   FIELD(i0),       FIELD(crc),     FIELD(omega), FIELD(Omegadot),
                       FIELD(idot),  FIELD(codes),    FIELD(L2flag),  FIELD(ura),   FIELD(tgd),
                       FIELD(iodc),  FIELD(tom),      FIELD(flags),   FIELD(tgd2),  FIELD(lTope),
                       FIELD(lTopc), FIELD(bgdE1E5a), FIELD(bgdE1E5b)});
    return f;
}
#undef FIELD

// Records by satellite (without the second-message mark), time and message kind.
using TEphemKey = std::tuple<std::uint16_t, std::int64_t, std::uint8_t>;
std::map<TEphemKey, REphem> ByKey(const zqt_ephem_tp::TEphemArray& Records) {
    std::map<TEphemKey, REphem> out;
    for (const REphem& e : Records)
        out.emplace(TEphemKey{static_cast<std::uint16_t>(e.svprn & ~0x80u), e.GPSTime, e.NavType},
                    e);
    return out;
}

const std::vector<std::string> Recordings = {
    "ROVR_2019_01_20.rtcm3", "MSMS_2018_05_11.rtcm3", "TRMB_2018_05_11.rtcm3",
    "JNBA_2018_05_10.rtcm3", "TGLO_2009_12_18.rtcm3", "TPCN_2018_05_07.rtcm3",
    "MIXD_2018_05_10.rtcm3", "GMSD_2012_10_13.rtcm3", "EPHM_2018_08_03.rtcm3"};

const std::set<std::string> GlonassWithoutEphemeris = {
    "MSMS_2018_05_11.rtcm3", "JNBA_2018_05_10.rtcm3", "TPCN_2018_05_07.rtcm3",
    "GMSD_2012_10_13.rtcm3"};

}  // namespace

// Per recording and version: the ephemerides read back from the navigation files equal
// those the recording gave, field by field (all but the records of too low an accuracy,
// which the reader leaves out, come back); the observations read back and written again
// match the first file value by value.
TEST(RinexRoundTrip, OwnFilesReadBack) {
    ASSERT_TRUE(testdata::PythonRuns()) << "python3 is needed to compare the files";
    apptest::TempDir dir;
    int n = 0;
    std::map<std::string, std::size_t> ephemerides, files;  // per version
    for (const std::string& recording : Recordings) {
        SCOPED_TRACE(recording);
        TESTDATA_FILE(input, "rtcm/" + recording);
        std::map<TEphemKey, REphem> original;
        {
            TProject p;
            zqt_types_bs::TRReaderSettings settings;
            zqt_file_obs::TZQS_ObsFile::LoadRTCM(p.Project->Intf(), input, settings);
            original = ByKey(StoredEphemerides(p));
        }
        for (const auto& [text, version] : std::vector<std::pair<std::string, std::uint8_t>>{
                 {"2.11", RN2_211}, {"3.04", RN3_304}, {"3.05", RN3_305}, {"4.00", RN4_400}}) {
            SCOPED_TRACE(text);
            const fs::path out = dir.Sub(std::to_string(n++));
            ASSERT_EQ(RunTolvar({"tolvar", input, "-o=" + out.string(), "-v=" + text}), 0);
            const RWritten first = Written(out);
            TProject p;
            for (const std::string& nav : first.Nav) p.Load(nav);
            const std::map<TEphemKey, REphem> read = ByKey(StoredEphemerides(p));
            // A recording without observations gives a mixed 3.05 navigation file only.
            const std::string v = first.Obs.empty() ? "3.05" : text;
            std::size_t expected = 0;
            for (const auto& [key, e] : original) {
                const unsigned sys = SatKeySystem(std::get<0>(key));
                const bool carried = v == "2.11"
                                         ? sys == SC_GPS || sys == SC_GLONASS || sys == SC_GALILEO
                                         : sys != SC_WAAS;
                if (carried && (sys == SC_GALILEO || sys == SC_GLONASS || e.ura <= 3)) ++expected;
            }
            EXPECT_EQ(read.size(), expected);
            ephemerides[v] += read.size();
            for (const auto& [key, e] : read) {
                const auto it = original.find(key);
                ASSERT_NE(it, original.end()) << SatNumToStr(std::get<0>(key));
                const auto a = CarriedFields(it->second, v >= "3.05");
                const auto b = CarriedFields(e, v >= "3.05");
                for (std::size_t i = 0; i < a.size(); ++i)
                    EXPECT_NEAR(b[i].second, a[i].second, 1e-11 * std::fabs(a[i].second) + 1e-25)
                        << SatNumToStr(e.svprn) << " " << a[i].first;
            }
            if (first.Obs.empty()) continue;
            const auto file = p.Load(first.Obs);
            const std::string written = WriteAgain(p, file, version, dir.Sub(std::to_string(n++)));
            ASSERT_FALSE(written.empty());
            // A RINEX 2 file carries no GLONASS frequency channels: the phases of GLONASS
            // satellites of which the recording has no ephemeris cannot be read back.
            const bool noChannels = version == RN2_211 && GlonassWithoutEphemeris.count(recording);
            std::string last;
            EXPECT_TRUE(CompareObs(written, first.Obs, noChannels ? "R:L" : "", last)) << last;
            ++files[text];
        }
    }
    for (const auto& [v, count] : ephemerides)
        std::printf("%s: %zu ephemerides read back\n", v.c_str(), count);
    for (const auto& [v, count] : files)
        std::printf("%s: %zu observation files read back\n", v.c_str(), count);
}

namespace {

// The records of navigation files by system letter, satellite and epoch.
std::set<std::string> NavRecordKeys(const std::vector<std::string>& Files) {
    std::set<std::string> keys;
    for (const std::string& file : Files) {
        std::ifstream f(file);
        std::string line;
        bool body = false;
        while (std::getline(f, line)) {
            if (!body) {
                body = line.find("END OF HEADER") != std::string::npos;
                continue;
            }
            if (line.size() > 23 && std::isalpha(static_cast<unsigned char>(line[0])) &&
                line[4] != ' ')
                keys.insert(line.substr(0, 23));
        }
    }
    return keys;
}

std::string Body(const std::string& Path) {
    std::ifstream f(Path);
    const std::string s((std::istreambuf_iterator<char>(f)), {});
    const std::size_t h = s.find("END OF HEADER");
    return h == std::string::npos ? std::string() : s.substr(h);
}

}  // namespace

TEST(BorbImport, TheNavigationFileHoldsTheUnionOfBothSources) {
    TESTDATA_FILE(input, "rtcm/ROVR_2019_01_20.rtcm3");
    TESTDATA_FILE(nav, "reference/ROVR_2019_01_20.nav");
    TESTDATA_FILE(other, "orbits/brdc1820.10n");
    apptest::TempDir dir;
    const fs::path alone = dir.Sub("alone"), both = dir.Sub("both"), day = dir.Sub("day");
    ASSERT_EQ(RunTolvar({"tolvar", input, "-o=" + alone.string()}), 0);
    std::string out;
    ASSERT_EQ(RunTolvar({"tolvar", "--borb=" + nav, input, "-o=" + both.string()}, &out), 0) << out;
    const std::set<std::string> rtcm = NavRecordKeys(Written(alone).Nav);
    const std::set<std::string> file = NavRecordKeys({nav});
    std::set<std::string> expected = rtcm;
    expected.insert(file.begin(), file.end());
    const std::set<std::string> written = NavRecordKeys(Written(both).Nav);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(written.size(), 38u);
    // Ephemerides of another day leave the recording's records untouched.
    ASSERT_EQ(RunTolvar({"tolvar", "--borb=" + other, input, "-o=" + day.string()}, &out), 0)
        << out;
    EXPECT_NE(out.find("Reading " + other), std::string::npos);
    ASSERT_EQ(Written(day).Nav.size(), 1u);
    EXPECT_EQ(Body(Written(day).Nav[0]), Body(Written(alone).Nav[0]));
    EXPECT_EQ(Body(Written(day).Obs), Body(Written(alone).Obs));
}

TEST(BorbImport, FilesThatCannotBeReadAreNamedAndLeftOut) {
    TESTDATA_FILE(input, "rtcm/ROVR_2019_01_20.rtcm3");
    TESTDATA_FILE(sound, "rinex/cbw10010.21n");
    apptest::TempDir dir;
    const std::string text = dir.File("notes.txt", "no navigation data\n");
    // A navigation file with a damaged record between two sound ones.
    std::ifstream in(sound);
    std::string nav, line;
    for (int n = 1; std::getline(in, line) && n <= 40; ++n)
        nav += (n == 30 ? line.replace(5, 1, "x") : line) + "\n";
    const std::string damaged = dir.File("damaged.21n", nav);
    std::string out;
    ASSERT_EQ(RunTolvar({"tolvar", "--borb=" + text + "," + damaged, input,
                         "-o=" + dir.Sub("out").string()},
                        &out),
              0)
        << out;
    EXPECT_NE(out.find(text + ", line 1: ExceptionRNX The file is not rinex one"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(damaged + ": skipped 1 damaged record(s) (the first in line 30:"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("ROVR_2019_01_20 ready"), std::string::npos);
}
