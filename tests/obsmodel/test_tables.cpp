// The constant tables of the observation vocabulary compared cell by cell with a second,
// independent transcription in tests/data/tables/: signals, slots, observation types,
// RINEX 2 codes and slot groups, RINEX 3/4 pairs, versions, carrier frequencies and the
// antenna carriers of the slots. A changed cell in either fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zqt_antenna_rcrd.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_sat_obs_types.h"

using namespace zqt_sat_obs_types;
using zqt_sat_obs_rcrd::SignalTable;
using zqt_sat_obs_rcrd::SlotTable;

namespace {

using TRow = std::vector<std::string>;

// The words of every line of a table file that is neither blank nor a "#" comment.
std::vector<TRow> ReadTable(const std::string& Name) {
    std::ifstream in(std::string(TOLVAR_TEST_DATA) + "/tables/" + Name);
    EXPECT_TRUE(in.good()) << Name;
    std::vector<TRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        TRow row;
        for (std::string w; words >> w;) row.push_back(w);
        if (!row.empty()) rows.push_back(std::move(row));
    }
    return rows;
}

int Int(const std::string& S) { return std::stoi(S, nullptr, 0); }

unsigned System(const std::string& Letter) { return LetterToSatSystem(Letter); }

// The version ordinal of a version text of the files ("-": none).
unsigned Version(const std::string& Text) {
    if (Text == "-") return RNV_UNKNOWN;
    for (unsigned v = RNV_BEG; v <= RNV_END; ++v)
        if (RnxVersionInfo(v).X100 == std::lround(std::stod(Text) * 100)) return v;
    ADD_FAILURE() << "no version " << Text;
    return RNV_UNKNOWN;
}

}  // namespace

TEST(TableTranscription, SignalTable) {
    const auto rows = ReadTable("signals.txt");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(zqt_sat_obs_rcrd::SignalRowCount));
    for (const TRow& r : rows) {
        const auto& s = SignalTable.at(static_cast<std::size_t>(Int(r[0])));
        SCOPED_TRACE("signal row " + r[0]);
        EXPECT_EQ(s.Row, Int(r[0]));
        EXPECT_EQ(+s.System, System(r[1]));
        EXPECT_EQ(s.Text, r[2]);
        EXPECT_EQ(+s.PrimarySlot, Int(r[3]));
        EXPECT_EQ(+s.AltSlot, Int(r[4]));
        EXPECT_EQ(+s.FirstVersion, Version(r[5]));
        EXPECT_EQ(+s.LastVersion, r[6] == "on" ? unsigned{RNV_END} : Version(r[6]));
    }
}

TEST(TableTranscription, SlotTable) {
    const auto rows = ReadTable("slots.txt");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(zqt_sat_obs_rcrd::SlotTableCount));
    for (const TRow& r : rows) {
        const auto& e = SlotTable.at(static_cast<std::size_t>(Int(r[0]) - 1));
        SCOPED_TRACE("slot entry " + r[0]);
        EXPECT_EQ(e.LowFirmware, Int(r[1]));
        EXPECT_EQ(e.HighFirmware, Int(r[2]));
        EXPECT_EQ(+e.System, System(r[3]));
        EXPECT_EQ(+e.Slot, Int(r[4]));
        EXPECT_EQ(e.Data.FirstSat, Int(r[5]));
        EXPECT_EQ(e.Data.LastSat, Int(r[6]));
        EXPECT_EQ(e.Data.SignalRow, static_cast<unsigned>(Int(r[7])));
        EXPECT_EQ(e.Data.PhaseShift, std::stod(r[8]));
    }
}

TEST(TableTranscription, ObservationTypesAndRinexCodes) {
    const auto types = ReadTable("obs_types.txt");
    ASSERT_EQ(types.size(), static_cast<std::size_t>(ObsTypeCount));
    for (const TRow& r : types) {
        const unsigned t = static_cast<unsigned>(Int(r[0]));
        SCOPED_TRACE("observation type " + r[0]);
        EXPECT_EQ(+ObsTypeSlot(t), Int(r[1]));
        EXPECT_EQ(+ObsTypeKind(t), Int(r[2]));
        EXPECT_EQ(ObsTypeTexts.at(t), r[3] == "-" ? "" : r[3]);
        if (t != OBS_NOOBS) {
            EXPECT_EQ(+SlotKindToObsType(Int(r[1]), Int(r[2])), t);
        }
    }

    int codes = 0;
    for (const TRow& r : ReadTable("rinex2_codes.txt")) {
        if (r[0] == "group") {  // group C L D S
            for (unsigned k = OBST_FIRST; k <= OBST_LAST; ++k)
                EXPECT_EQ(RnxObsText(RnxGroupKindToObs(Int(r[1]), k)), r[1 + k])
                    << "group " << r[1] << " kind " << k;
            continue;
        }
        const unsigned c = static_cast<unsigned>(Int(r[0]));
        EXPECT_EQ(RnxObsText(c), r[1]);
        EXPECT_EQ(+StrToRnxObs(r[1]), c) << r[1];
        EXPECT_EQ(+RnxObsGroup(c), Int(r[2])) << r[1];
        EXPECT_EQ(+RnxObsKind(c), Int(r[3])) << r[1];
        ++codes;
    }
    EXPECT_EQ(codes, RnxObsCount);

    // Every (version, system) pair not listed has no slot groups.
    const auto mapping = ReadTable("rinex2_slots.txt");
    for (unsigned v = RN2_BEG; v <= RN2_END; ++v)
        for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
            TRow want(6, "0");
            for (const TRow& r : mapping)
                if (Version(r[0]) == v && System(r[1]) == s) want.assign(r.begin() + 2, r.end());
            for (unsigned slot = SLOT_FIRST; slot <= SLOT_LAST; ++slot)
                EXPECT_EQ(+Rnx2SlotGroup(v, s, slot), Int(want[slot - 1]))
                    << RnxVersionText(v) << " " << SatSystems[s].Letter << " slot " << slot;
        }

    unsigned pair = 0;
    for (const TRow& r : ReadTable("rinex3_pairs.txt"))
        for (const std::string& p : r) EXPECT_EQ(Rnx3ObsText(++pair), p) << pair;
    EXPECT_EQ(pair, 68u);
}

TEST(TableTranscription, VersionsAndCarrierFrequencies) {
    const auto versions = ReadTable("rinex_versions.txt");
    ASSERT_EQ(versions.size(), static_cast<std::size_t>(RnxVersionCount));
    for (const TRow& r : versions) {
        const RRnxVersionInfo& v = RnxVersionInfo(static_cast<unsigned>(Int(r[0])));
        EXPECT_EQ(v.Text, r[1] == "-" ? "" : r[1]) << r[0];
        EXPECT_EQ(v.X100, Int(r[2])) << r[0];
        EXPECT_EQ(v.Systems, static_cast<std::uint32_t>(Int(r[3]))) << r[0];
    }
    for (const TRow& r : ReadTable("frequencies.txt"))
        for (unsigned slot = SLOT_FIRST; slot <= SLOT_LAST; ++slot) {
            const double want = std::stod(r[slot]);
            if (r[0] == "step")  // the GLONASS channel step
                EXPECT_EQ(
                    CarrierFrequency(SC_GLONASS, slot, 1) - CarrierFrequency(SC_GLONASS, slot, 0),
                    want)
                    << "slot " << slot;
            else
                EXPECT_EQ(CarrierFrequency(System(r[0]), slot, 0), want)
                    << r[0] << " slot " << slot;
        }
}

TEST(TableTranscription, AntennaCarriersOfTheSlots) {
    const auto rows = ReadTable("antenna_carriers.txt");
    ASSERT_EQ(rows.size(), 14u);
    for (const TRow& r : rows)
        for (unsigned slot = SLOT_FIRST; slot <= SLOT_LAST; ++slot) {
            const auto c = r[1] == "own" ? zqt_antenna_rcrd::OwnCarrier(System(r[0]), slot)
                                         : zqt_antenna_rcrd::FallbackCarrier(System(r[0]), slot);
            EXPECT_EQ(FrequencyNames.at(static_cast<std::size_t>(c)), r[1 + slot])
                << r[0] << " " << r[1] << " slot " << slot;
        }
}
