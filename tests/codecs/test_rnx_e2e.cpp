// The RINEX observation writers on data that went the whole way through the project
// database: synthetic epochs written through the data set's epoch, the data set's
// FinishWrite cutting the output recordset, the recordset opened as the main program opens
// it, and RINEX 3.04 and 2.11 files written from it. Every file reads back completely with
// the comparison tool, and value by value equals what was put in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "test_data.h"
#include "test_rnx_writer_util.h"
#include "zqt_components.h"
#include "zqt_dataset_dbs.h"
#include "zqt_epoch_dbs.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"
#include "zqt_rnx3_writer.h"
#include "zqt_rnx_writer.h"
#include "zqt_rnx_writer_settings.h"

namespace fs = std::filesystem;
using namespace zqt_sat_obs_types;

namespace {

const std::int64_t T0 = rnx_test::Ticks(2021, 3, 4, 5, 6, 0.0);
constexpr std::int64_t Second = 10000;
constexpr int EpochCount = 4;
constexpr double DegToRad = 3.14159265358979323846 / 180.0;

struct Sat {
    std::uint16_t Key;
    int Glo;  // GLONASS channel the decoder announces (127 unknown)
    std::vector<std::uint8_t> Bands;
};

// GPS, GLONASS with a known and an unknown channel, Galileo.
const std::vector<Sat> Sats = {
    {SatKey(SC_GPS, 5), 127, {1, 3}},      {SatKey(SC_GPS, 12), 127, {1}},
    {SatKey(SC_GLONASS, 3), -4, {1, 3}},   {SatKey(SC_GLONASS, 7), 127, {1}},
    {SatKey(SC_GALILEO, 11), 127, {1, 5}},
};

// The values put in: code (m; the other bands hundreds of metres from the first, to the
// tenth of a millimetre), phase (m, close to the code as a receiver measures it), Doppler
// (Hz), strength (dB-Hz).
struct In {
    double Code, Phase, Doppler, Strength;
};

In InputOf(const Sat& S, std::uint8_t Band, int Epoch) {
    In v;
    v.Code = 20000000.0 + S.Key * 100.0 + (Band - 1) * 200.0617 + Epoch * 0.75;
    v.Phase = v.Code + 0.3 + Epoch * 0.01;
    v.Doppler = -1500.25 + Band + Epoch * 0.5;
    v.Strength = 40.0 + Band + Epoch;
    return v;
}

// The epochs go in as a decoder puts them: through the data set's epoch, one
// ExecuteWrite per epoch, FinishWrite at the end. The data set has no file receiver: the
// default slot data of its signal mapping serve.
std::int32_t FillProject(const SQLiteExt::IESQLiteDatabasePtr& Db) {
    auto ds = zqt_dataset_dbs::TZQS_DataSet::CreateNew(nullptr, Db);
    auto epoch = std::dynamic_pointer_cast<zqt_epoch_dbs::TZQS_Epoch>(ds->GetEpoch());
    for (int e = 0; e < EpochCount; ++e) {
        epoch->SetTime(T0 + e * Second);
        epoch->SetNumSat(static_cast<std::int32_t>(Sats.size()));
        auto so = epoch->GetSatObs();
        for (const Sat& s : Sats) {
            so->SetCurSat(s.Key, s.Glo);
            so->SetCurAzEl({100.0 * DegToRad, 40.0 * DegToRad});
            for (const std::uint8_t b : s.Bands) {
                const In v = InputOf(s, b, e);
                so->SetCurRange(b, v.Code);
                so->SetCurPhase(b, v.Phase);
                so->SetCurDoppler(b, v.Doppler);
                so->SetCurStrength(b, v.Strength * 4.0);
                so->GetCurBandRef(b)->Lock = 8;
            }
            so->Next();
        }
        epoch->GetNumSat();
        epoch->ExecuteWrite();
        epoch->PrepareSatObs();
    }
    ds->FinishWrite();
    return zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*Db, ds->GetObjID(), 7);
}

std::string WriteRinex(const SQLiteExt::IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                       std::uint8_t Version, const fs::path& Dir) {
    auto settings = zqt_types_bs::RecordsetSettingsDefault();
    settings.ElevationMask = 0;
    const auto rs = zqt_recordset_dbs::TZQS_Recordset::Create(Db, RecordsetID, settings, false);
    auto w = Version >= RN3_300 ? zqt_rnx3_writer::TZQS_Rinex3Writer::Create(rs)
                                : zqt_rnx_writer::TZQS_RinexWriter::Create(rs);
    zqt_rnx_writer_settings::RRnxWriterSettings s;
    s.IncludedSystems = 0xFE;
    s.RnxVersion = Version;
    zqt_rnx_writer_settings::SetVersion(s.ObsCodes, Version);
    s.ProgramName = "tolvar";
    s.NoNavigation = true;
    w->SetSettings(s);
    w->SetPath((Dir / ("e2e_" + std::to_string(Version))).string());
    w->WriteFile();
    return w->GetWrittenName();
}

// ---------------------------------------------------------------------------------------
// Reading the files back: (epoch index, satellite, code) -> value; blank fields are left
// out. RINEX 3: "> " epoch lines, then one line per satellite with its id and the fields
// of its system's codes; RINEX 2: epoch lines with the satellite list from column 32,
// then per satellite lines of five fields.

using TValues = std::map<std::tuple<int, std::string, std::string>, double>;

std::string SatId(std::string Id) {
    if (Id[0] == ' ') Id[0] = 'G';
    if (Id[1] == ' ') Id[1] = '0';
    return Id;
}

void TakeFields(TValues& Out, int Epoch, const std::string& Sat, const std::string& Line,
                std::size_t From, const std::vector<std::string>& Codes, std::size_t First,
                std::size_t Count) {
    for (std::size_t k = 0; k < Count && First + k < Codes.size(); ++k) {
        const std::size_t at = From + 16 * k;
        const std::string f = at < Line.size() ? Line.substr(at, 14) : std::string();
        if (f.find_first_not_of(' ') != std::string::npos)
            Out[{Epoch, Sat, Codes[First + k]}] = std::stod(f);
    }
}

TValues ReadRinex(const std::vector<std::string>& Lines, bool Rinex2,
                  std::vector<std::string>& EpochLines) {
    std::map<char, std::vector<std::string>> codes;  // per system; ' ' for RINEX 2
    std::size_t i = 0;
    char sys = ' ';
    for (; i < Lines.size() && Lines[i].find("END OF HEADER") == std::string::npos; ++i) {
        const std::string& l = Lines[i];
        const std::string label = l.size() > 60 ? l.substr(60) : std::string();
        if (label.rfind(Rinex2 ? "# / TYPES OF OBSERV" : "SYS / # / OBS TYPES", 0) != 0) continue;
        if (!Rinex2 && l[0] != ' ') sys = l[0];
        std::istringstream text(l.substr(Rinex2 ? 6 : 7, Rinex2 ? 54 : 53));
        for (std::string c; text >> c;) codes[sys].push_back(c);
    }
    TValues r;
    for (++i; i < Lines.size();) {
        const std::string l = Lines[i++];
        if (l.empty()) continue;
        const int epoch = static_cast<int>(EpochLines.size());
        EpochLines.push_back(l);
        const int n = std::stoi(l.substr(Rinex2 ? 29 : 32, 3));
        std::string list = Rinex2 && l.size() > 32 ? l.substr(32) : std::string();
        for (int k = 0; k < n && i < Lines.size(); ++k) {
            if (!Rinex2) {
                const std::string& sl = Lines[i++];
                TakeFields(r, epoch, SatId(sl.substr(0, 3)), sl, 3, codes[sl[0]], 0, 99);
                continue;
            }
            if (static_cast<int>(list.size()) < 3 * (k + 1)) list += Lines[i++].substr(32);
            const std::vector<std::string>& all = codes[' '];
            for (std::size_t first = 0; first < all.size() && i < Lines.size(); first += 5)
                TakeFields(r, epoch, SatId(list.substr(3 * k, 3)), Lines[i++], 0, all, first, 5);
        }
    }
    return r;
}

// Band of a frequency digit for the bands put in.
std::uint8_t BandOf(char System, char Digit) {
    if (Digit == '1') return 1;
    if (Digit == '2' && System != 'E') return 3;
    if (Digit == '5' && System == 'E') return 5;
    return 0;
}

// Every value of the file equals its input; every input value is there except the
// phases of the GLONASS satellite of unknown channel, which has no wavelength.
void ExpectValuesAsPutIn(const TValues& Values) {
    std::size_t expected = 0;
    for (const Sat& s : Sats) {
        const bool noPhase = s.Glo == 127 && s.Key >> 8 == SC_GLONASS;
        expected += EpochCount * s.Bands.size() * (noPhase ? 3 : 4);
    }
    EXPECT_EQ(Values.size(), expected);
    for (const auto& [key, value] : Values) {
        const auto& [epoch, sat, code] = key;
        SCOPED_TRACE(testing::Message() << "epoch " << epoch << " " << sat << " " << code);
        const auto s = std::find_if(Sats.begin(), Sats.end(),
                                    [&](const Sat& S) { return SatNumToStr(S.Key) == sat; });
        ASSERT_NE(s, Sats.end());
        const std::uint8_t band = BandOf(sat[0], code[1]);
        ASSERT_NE(band, 0) << "a band that was not put in";
        const In v = InputOf(*s, band, epoch);
        switch (code[0]) {
            case 'C': EXPECT_NEAR(value, v.Code, 0.0005 + 1e-7); break;
            case 'L':
                // Cycles of the wavelength of the satellite's channel.
                EXPECT_NEAR(value, v.Phase / CarrierWavelength(s->Key >> 8, band, s->Glo), 0.002);
                break;
            case 'D': EXPECT_NEAR(value, v.Doppler, 0.002); break;
            case 'S': EXPECT_NEAR(value, v.Strength, 0.001); break;
            default: ADD_FAILURE() << "unexpected code";
        }
    }
}

class RnxEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_components::InstallComponents();
        Db = zqt_project::TZQS_Project::CreateProject("");
    }
    void TearDown() override { zqt_db::SetNewObjIDBody({}); }
    SQLiteExt::IESQLiteDatabasePtr Db;
    rnx_test::TempDir Dir;
};

void ExpectToolReadsBack(const std::string& File) {
    const fs::path tool = testdata::Comparer();
    ASSERT_TRUE(fs::exists(tool)) << "comparison tool missing: " << tool;
    ASSERT_TRUE(testdata::PythonRuns()) << "python3 is needed to run " << tool;
    const std::string cmd =
        "python3 '" + tool.string() + "' obs '" + File + "' '" + File + "' 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    EXPECT_NE(out.find("(100.00%)"), std::string::npos) << File << ": " << out;
}

}  // namespace

TEST_F(RnxEndToEnd, ProjectDatabaseToRinexFiles) {
    const std::int32_t id = FillProject(Db);
    ASSERT_GT(id, 0);
    struct Case {
        std::uint8_t Version;
        bool Rinex2;
        const char* FirstEpoch;  // the time part of the first epoch line
    };
    const Case cases[] = {
        {RN3_304, false, "> 2021 03 04 05 06  0.0000000  0  5"},
        {RN2_211, true, " 21  3  4  5  6  0.0000000  0  5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(RnxVersionText(c.Version));
        const std::string file = WriteRinex(Db, id, c.Version, Dir.Path());
        const std::vector<std::string> lines = rnx_test::Lines(rnx_test::ReadFile(file));
        std::vector<std::string> epochLines;
        const TValues values = ReadRinex(lines, c.Rinex2, epochLines);
        ASSERT_EQ(epochLines.size(), static_cast<std::size_t>(EpochCount));
        EXPECT_EQ(epochLines.front().rfind(c.FirstEpoch, 0), 0u) << epochLines.front();
        ExpectValuesAsPutIn(values);
        ExpectToolReadsBack(file);
    }
}
