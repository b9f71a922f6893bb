#include "zqt_sat_obs_rcrd.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zqt_sat_obs_rcrd {

using namespace zqt_sat_obs_types;

namespace {

constexpr std::int32_t FwMax = std::numeric_limits<std::int32_t>::max();

}  // namespace

// ---------------------------------------------------------------------------------------
// Signal table: row, system, band and attribute, primary slot, alternative slot, first
// version with a code and, where the code is not kept by every later version, the last.

constexpr std::array<RChannel, SignalRowCount + 1> SignalTable{{
    {0, SC_UNKNOWN, "", 0, 0, RNV_UNKNOWN, RNV_UNKNOWN},
    {1, SC_GPS, "1C", 1, 0, RN3_300},
    {2, SC_GPS, "1S", 0, 6, RN3_301},
    {3, SC_GPS, "1L", 0, 6, RN3_301},
    {4, SC_GPS, "1X", 6, 0, RN3_301},
    {5, SC_GPS, "1P", 0, 2, RN3_300},
    {6, SC_GPS, "1W", 2, 0, RN3_300},
    {7, SC_GPS, "1Y", 0, 2, RN3_300},
    {8, SC_GPS, "1M", 0, 2, RN3_300},
    {9, SC_GPS, "1N", 0, 2, RN3_300},
    {10, SC_GPS, "2C", 0, 3, RN3_300},
    {11, SC_GPS, "2D", 0, 3, RN3_300},
    {12, SC_GPS, "2S", 0, 3, RN3_300},
    {13, SC_GPS, "2L", 0, 3, RN3_300},
    {14, SC_GPS, "2X", 3, 0, RN3_300},
    {15, SC_GPS, "2P", 0, 4, RN3_300},
    {16, SC_GPS, "2W", 4, 0, RN3_300},
    {17, SC_GPS, "2Y", 0, 4, RN3_300},
    {18, SC_GPS, "2M", 0, 4, RN3_300},
    {19, SC_GPS, "2N", 0, 4, RN3_300},
    {20, SC_GPS, "5I", 0, 5, RN3_300},
    {21, SC_GPS, "5Q", 0, 5, RN3_300},
    {22, SC_GPS, "5X", 5, 0, RN3_300},
    {23, SC_GLONASS, "1C", 1, 0, RN3_300},
    {24, SC_GLONASS, "1P", 2, 0, RN3_300},
    {25, SC_GLONASS, "2C", 3, 0, RN3_300},
    {26, SC_GLONASS, "2P", 4, 0, RN3_300},
    {27, SC_GLONASS, "3I", 0, 5, RN3_301},
    {28, SC_GLONASS, "3Q", 0, 5, RN3_301},
    {29, SC_GLONASS, "3X", 5, 0, RN3_301},
    {30, SC_GALILEO, "1A", 0, 1, RN3_300},
    {31, SC_GALILEO, "1B", 0, 1, RN3_300},
    {32, SC_GALILEO, "1C", 0, 1, RN3_300},
    {33, SC_GALILEO, "1X", 1, 0, RN3_300},
    {34, SC_GALILEO, "1Z", 0, 1, RN3_300},
    {35, SC_GALILEO, "5I", 0, 5, RN3_300},
    {36, SC_GALILEO, "5Q", 0, 5, RN3_300},
    {37, SC_GALILEO, "5X", 5, 0, RN3_300},
    {38, SC_GALILEO, "7I", 0, 4, RN3_300},
    {39, SC_GALILEO, "7Q", 0, 4, RN3_300},
    {40, SC_GALILEO, "7X", 4, 0, RN3_300},
    {41, SC_GALILEO, "8I", 0, 2, RN3_300},
    {42, SC_GALILEO, "8Q", 0, 2, RN3_300},
    {43, SC_GALILEO, "8X", 2, 0, RN3_300},
    {44, SC_GALILEO, "6A", 0, 3, RN3_300},
    {45, SC_GALILEO, "6B", 0, 3, RN3_300},
    {46, SC_GALILEO, "6C", 0, 3, RN3_300},
    {47, SC_GALILEO, "6X", 3, 0, RN3_300},
    {48, SC_GALILEO, "6Z", 0, 3, RN3_300},
    {49, SC_WAAS, "1C", 1, 0, RN3_300},
    {50, SC_WAAS, "5I", 5, 0, RN3_300},
    {51, SC_WAAS, "5Q", 0, 5, RN3_300},
    {52, SC_WAAS, "5X", 0, 5, RN3_300},
    {53, SC_QZSS, "1C", 1, 0, RN3_301},
    {54, SC_QZSS, "1S", 0, 6, RN3_301},
    {55, SC_QZSS, "1L", 0, 6, RN3_301},
    {56, SC_QZSS, "1X", 6, 0, RN3_301},
    {57, SC_QZSS, "1Z", 2, 0, RN3_301},
    {58, SC_QZSS, "2S", 0, 3, RN3_301},
    {59, SC_QZSS, "2L", 0, 3, RN3_301},
    {60, SC_QZSS, "2X", 3, 0, RN3_301},
    {61, SC_QZSS, "5I", 0, 5, RN3_301},
    {62, SC_QZSS, "5Q", 0, 5, RN3_301},
    {63, SC_QZSS, "5X", 5, 0, RN3_301},
    {64, SC_QZSS, "6S", 0, 4, RN3_301},
    {65, SC_QZSS, "6L", 0, 4, RN3_301},
    {66, SC_QZSS, "6X", 4, 0, RN3_301},
    {67, SC_BDS, "2I", 1, 0, RN3_301},
    {68, SC_BDS, "2Q", 0, 1, RN3_301},
    {69, SC_BDS, "2X", 0, 1, RN3_301},
    {70, SC_BDS, "7I", 4, 0, RN3_301},
    {71, SC_BDS, "7Q", 0, 4, RN3_301},
    {72, SC_BDS, "7X", 0, 4, RN3_301},
    {73, SC_BDS, "6I", 3, 0, RN3_301},
    {74, SC_BDS, "6Q", 0, 3, RN3_301},
    {75, SC_BDS, "6X", 0, 3, RN3_301},
    {76, SC_BDS, "8X", 2, 0, RN3_304},
    {77, SC_BDS, "5X", 5, 0, RN3_304},
    {78, SC_BDS, "1X", 6, 0, RN3_304},
    {79, SC_IRNSS, "5A", 5, 0, RN3_301},
    {80, SC_IRNSS, "5B", 0, 5, RN3_301},
    {81, SC_IRNSS, "5C", 0, 5, RN3_301},
    {82, SC_IRNSS, "5X", 0, 5, RN3_301},
    {83, SC_IRNSS, "9A", 1, 0, RN3_301},
    {84, SC_IRNSS, "9B", 0, 0, RN3_301},
    {85, SC_IRNSS, "9C", 0, 0, RN3_301},
    {86, SC_IRNSS, "9X", 0, 0, RN3_301},
    {87, SC_GLONASS, "4A", 0, 0, RN3_304},
    {88, SC_GLONASS, "4B", 0, 0, RN3_304},
    {89, SC_GLONASS, "4X", 0, 0, RN3_304},
    {90, SC_GLONASS, "6A", 0, 0, RN3_304},
    {91, SC_GLONASS, "6B", 0, 0, RN3_304},
    {92, SC_GLONASS, "6X", 0, 0, RN3_304},
    {93, SC_QZSS, "5D", 0, 5, RN3_304},
    {94, SC_QZSS, "5P", 0, 5, RN3_304},
    {95, SC_QZSS, "5Z", 0, 5, RN3_304},
    {96, SC_QZSS, "6E", 0, 4, RN3_304},
    {97, SC_QZSS, "6Z", 4, 0, RN3_304},
    {98, SC_BDS, "1D", 0, 6, RN3_304},
    {99, SC_BDS, "1P", 0, 6, RN3_304},
    {100, SC_BDS, "1A", 0, 6, RN3_304, RN3_304},
    {101, SC_BDS, "1N", 0, 6, RN3_304, RN3_304},
    {102, SC_BDS, "5D", 0, 5, RN3_304},
    {103, SC_BDS, "5P", 0, 5, RN3_304},
    {104, SC_BDS, "7D", 0, 4, RN3_304},
    {105, SC_BDS, "7P", 0, 4, RN3_304},
    {106, SC_BDS, "7Z", 4, 0, RN3_304},
    {107, SC_BDS, "8D", 0, 2, RN3_304},
    {108, SC_BDS, "8P", 0, 2, RN3_304},
    {109, SC_BDS, "6A", 0, 3, RN3_304},
    {110, SC_QZSS, "1B", 0, 6, RNV_UNKNOWN, RNV_UNKNOWN},
    {111, SC_BDS, "1S", 0, 6, RN3_305},
    {112, SC_BDS, "1L", 0, 6, RN3_305},
    {113, SC_BDS, "1Z", 0, 6, RN3_305},
    {114, SC_BDS, "6D", 0, 3, RN3_305},
    {115, SC_BDS, "6P", 0, 3, RN3_305},
    {116, SC_BDS, "6Z", 0, 3, RN3_305},
    {117, SC_QZSS, "1E", 0, 1, RN4_400},
}};

// ---------------------------------------------------------------------------------------
// Slot table: lowest and highest firmware code, system, slot, then first and last
// satellite number, signal row, phase shift (cycles) and flag.

constexpr std::array<RSlotTableEntry, SlotTableCount> SlotTable{{
    {0, FwMax, SC_GPS, 1, {1, 254, 1, 0.0, 0}},            // 1: 1C
    {0, FwMax, SC_GPS, 2, {1, 254, 6, -0.25, 0}},          // 2: 1W
    {0, FwMax, SC_GPS, 3, {1, 254, 14, 0.25, 0}},          // 3: 2X
    {0, FwMax, SC_GPS, 4, {1, 254, 16, 0.0, 0}},           // 4: 2W
    {0, FwMax, SC_GPS, 5, {1, 254, 22, 0.25, 0}},          // 5: 5X
    {0, FwMax, SC_GPS, 6, {1, 254, 4, -0.25, 0}},          // 6: 1X
    {0, FwMax, SC_GLONASS, 1, {1, 254, 23, 0.0, 0}},       // 7: 1C
    {0, FwMax, SC_GLONASS, 2, {1, 254, 24, -0.25, 0}},     // 8: 1P
    {0, FwMax, SC_GLONASS, 3, {1, 254, 25, 0.25, 0}},      // 9: 2C
    {0, FwMax, SC_GLONASS, 4, {1, 254, 26, 0.0, 0}},       // 10: 2P
    {0, 30699, SC_GLONASS, 5, {1, 254, 29, 0.0, 0}},       // 11: 3X
    {30700, FwMax, SC_GLONASS, 5, {1, 254, 29, 0.25, 0}},  // 12: 3X
    {0, FwMax, SC_WAAS, 1, {1, 135, 49, 0.0, 0}},          // 13: 1C
    {0, 30699, SC_WAAS, 5, {1, 135, 50, 0.0, 0}},          // 14: 5I
    {30700, FwMax, SC_WAAS, 5, {1, 135, 50, 0.25, 0}},     // 15: 5I
    {0, 30699, SC_GALILEO, 1, {1, 254, 33, 0.0, 0}},       // 16: 1X
    {30700, FwMax, SC_GALILEO, 1, {1, 254, 33, 0.5, 0}},   // 17: 1X
    {0, 30699, SC_GALILEO, 2, {1, 254, 43, 0.0, 0}},       // 18: 8X
    {30700, FwMax, SC_GALILEO, 2, {1, 254, 43, 0.25, 0}},  // 19: 8X
    {0, 30699, SC_GALILEO, 3, {1, 254, 47, 0.0, 0}},       // 20: 6X
    {30700, FwMax, SC_GALILEO, 3, {1, 254, 47, 0.5, 0}},   // 21: 6X
    {0, 30699, SC_GALILEO, 4, {1, 254, 40, 0.0, 0}},       // 22: 7X
    {30700, FwMax, SC_GALILEO, 4, {1, 254, 40, 0.25, 0}},  // 23: 7X
    {0, 30699, SC_GALILEO, 5, {1, 254, 37, 0.0, 0}},       // 24: 5X
    {30700, FwMax, SC_GALILEO, 5, {1, 254, 37, 0.25, 0}},  // 25: 5X
    {0, FwMax, SC_QZSS, 1, {1, 62, 53, 0.0, 0}},           // 26: 1C
    {0, FwMax, SC_QZSS, 2, {1, 62, 57, 0.0, 0}},           // 27: 1Z
    {0, 30699, SC_QZSS, 3, {1, 62, 60, 0.0, 0}},           // 28: 2X
    {30700, FwMax, SC_QZSS, 3, {1, 62, 60, 0.25, 0}},      // 29: 2X
    {0, FwMax, SC_QZSS, 4, {1, 1, 66, 0.0, 0}},            // 30: 6X
    {0, FwMax, SC_QZSS, 4, {2, 62, 97, 0.0, 0}},           // 31: 6Z
    {0, 30699, SC_QZSS, 5, {1, 62, 63, 0.0, 0}},           // 32: 5X
    {30700, FwMax, SC_QZSS, 5, {1, 62, 63, 0.25, 0}},      // 33: 5X
    {0, 30699, SC_QZSS, 6, {1, 62, 56, 0.25, 0}},          // 34: 1X
    {30700, FwMax, SC_QZSS, 6, {1, 62, 56, -0.25, 0}},     // 35: 1X
    {40000, FwMax, SC_BDS, 1, {1, 5, 67, 0.0, 0}},         // 36: 2I
    {0, 39999, SC_BDS, 1, {1, 254, 67, 0.0, 0}},           // 37: 2I
    {40000, FwMax, SC_BDS, 1, {6, 58, 67, 0.5, 0}},        // 38: 2I
    {40000, FwMax, SC_BDS, 1, {59, 254, 67, 0.0, 0}},      // 39: 2I
    {0, 30703, SC_BDS, 2, {1, 254, 76, 0.0, 0}},           // 40: 8X
    {30704, FwMax, SC_BDS, 2, {1, 254, 76, 0.25, 0}},      // 41: 8X
    {40000, FwMax, SC_BDS, 3, {1, 5, 73, 0.0, 0}},         // 42: 6I
    {0, 39999, SC_BDS, 3, {1, 254, 73, 0.0, 0}},           // 43: 6I
    {40000, FwMax, SC_BDS, 3, {6, 58, 73, 0.5, 0}},        // 44: 6I
    {40000, FwMax, SC_BDS, 3, {59, 254, 73, 0.0, 0}},      // 45: 6I
    {40000, FwMax, SC_BDS, 4, {1, 5, 70, 0.0, 0}},         // 46: 7I
    {0, 39999, SC_BDS, 4, {1, 18, 70, 0.0, 0}},            // 47: 7I
    {40000, FwMax, SC_BDS, 4, {6, 18, 70, 0.5, 0}},        // 48: 7I
    {0, 30703, SC_BDS, 4, {19, 58, 106, 0.0, 0}},          // 49: 7Z
    {30704, FwMax, SC_BDS, 4, {19, 58, 106, 0.25, 0}},     // 50: 7Z
    {0, 30703, SC_BDS, 4, {59, 254, 104, 0.0, 0}},         // 51: 7D
    {30704, FwMax, SC_BDS, 4, {59, 254, 104, 0.25, 0}},    // 52: 7D
    {0, 30699, SC_BDS, 5, {1, 254, 77, 0.0, 0}},           // 53: 5X
    {30700, FwMax, SC_BDS, 5, {1, 254, 77, 0.25, 0}},      // 54: 5X
    {0, FwMax, SC_BDS, 6, {1, 254, 78, 0.0, 0}},           // 55: 1X
    {0, FwMax, SC_IRNSS, 1, {1, 254, 83, 0.0, 0}},         // 56: 9A
    {0, FwMax, SC_IRNSS, 5, {1, 254, 79, 0.0, 0}},         // 57: 5A
}};

// Every row sits at its own number, and every slot-table entry names a signal of its
// system that may fill its slot.
static_assert([] {
    for (std::size_t i = 0; i < SignalTable.size(); ++i)
        if (SignalTable[i].Row != static_cast<std::int32_t>(i)) return false;
    for (const auto& e : SlotTable) {
        if (e.Data.SignalRow < 1 || e.Data.SignalRow > SignalRowCount) return false;
        const RChannel& ch = SignalTable[e.Data.SignalRow];
        if (ch.System != e.System || (ch.PrimarySlot != e.Slot && ch.AltSlot != e.Slot))
            return false;
        if (e.LowFirmware > e.HighFirmware || e.Data.FirstSat > e.Data.LastSat) return false;
    }
    return true;
}());

const RChannel* SignalByRow(std::uint32_t row) noexcept {
    return (row >= 1 && row <= SignalRowCount) ? &SignalTable[row] : nullptr;
}

// ---------------------------------------------------------------------------------------
// TZQS_SignalMapping

namespace {

// The mapping constructed last in this thread. A weak reference: a mapping released in
// any thread simply stops being current.
thread_local std::weak_ptr<TZQS_SignalMapping> tCurrentMapping;

std::shared_ptr<TZQS_SignalMapping> DefaultMapping() {
    static const std::shared_ptr<TZQS_SignalMapping> mapping = [] {
        auto m = TZQS_SignalMapping::Create(false);
        m->BuildSlotData(TZQS_SignalMapping::DefaultBuildCode);
        m->SetCodeColumn(DefaultCodeColumn);
        return m;
    }();
    return mapping;
}

inline bool ValidSlotIndex(unsigned sys, unsigned slot) noexcept {
    return sys < SatSystemCount && slot < SlotCount;
}

}  // namespace

std::shared_ptr<TZQS_SignalMapping> TZQS_SignalMapping::Create(bool build) {
    auto m = std::make_shared<TZQS_SignalMapping>(PrivateTag{});
    tCurrentMapping = m;
    if (build) m->BuildSlotData(DefaultBuildCode);
    return m;
}

std::shared_ptr<TZQS_SignalMapping> TZQS_SignalMapping::Current() {
    if (auto m = tCurrentMapping.lock()) return m;
    return DefaultMapping();
}

void TZQS_SignalMapping::BuildSlotData(std::uint32_t firmware) {
    const std::uint32_t code = firmware == 0 ? 40000 : firmware;
    if (FBuilt && code == FFirmwareCode) return;
    FFirmwareCode = code;
    FBuilt = true;
    for (auto& sys : FSlotData)
        for (auto& slot : sys) slot.clear();
    // Firmware codes compare as signed 64-bit values: a code above the 32-bit signed range
    // lies beyond every table range.
    const std::int64_t c = code;
    for (const auto& e : SlotTable)
        if (e.LowFirmware <= c && c <= e.HighFirmware && ValidSlotIndex(e.System, e.Slot))
            FSlotData[e.System][e.Slot].push_back(e.Data);
}

bool TZQS_SignalMapping::SetSatTable(const TObsInfoTable& table) {
    FObsInfo = table;
    FTableInUse = !FObsInfo.IsEmpty();
    return !FTableInUse;
}

bool TZQS_SignalMapping::SetSystemMode(const TObsInfoTable& table, std::uint8_t rnxVersion,
                                       std::uint8_t) {
    FCodeColumn = rnxVersion > RN2_END ? CodeColumnOf(rnxVersion) : DefaultCodeColumn;
    return SetSatTable(table);
}

std::optional<RSlotData> TZQS_SignalMapping::FindSlotData(RSatNum key, unsigned slot) const {
    const unsigned sys = SatKeySystem(key);
    if (!ValidSlotIndex(sys, slot)) return std::nullopt;
    const TASlotData& a = FSlotData[sys][slot];
    if (a.size() == 1) return a.front();
    const auto number = static_cast<std::int32_t>(SatKeyNumber(key));
    std::optional<RSlotData> found;
    for (const auto& d : a)
        if (d.FirstSat <= number && number <= d.LastSat) found = d;
    return found;
}

std::uint32_t TZQS_SignalMapping::SignalRow(RSatNum key, unsigned slot) const {
    if (FTableInUse) {
        if (slot >= SlotCount) return 0;
        const RSatObsInfo& e = FObsInfo.Get(key);
        return (e.Bands & (1u << slot)) ? e.Channel[slot] : 0;
    }
    const auto d = FindSlotData(key, slot);
    return d ? d->SignalRow : 0;
}

const RChannel* TZQS_SignalMapping::SignalRecord(RSatNum key, unsigned slot) const {
    return SignalByRow(SignalRow(key, slot));
}

double TZQS_SignalMapping::SlotPhaseShift(RSatNum key, unsigned slot) const {
    if (FTableInUse) return slot < SlotCount ? FObsInfo.Get(key).Shift[slot] : 0.0;
    const auto d = FindSlotData(key, slot);
    return d ? d->PhaseShift : std::numeric_limits<double>::quiet_NaN();
}

std::uint8_t TZQS_SignalMapping::SatBandMask(RSatNum key) const noexcept {
    return FTableInUse ? FObsInfo.Get(key).Bands : 0;
}

std::uint8_t TZQS_SignalMapping::SatBandKinds(RSatNum key, unsigned slot) const noexcept {
    return (FTableInUse && slot < SlotCount) ? FObsInfo.Get(key).Kinds[slot] : 0;
}

std::string_view TZQS_SignalMapping::SlotCodeText(RSatNum key, unsigned slot) const {
    const RChannel* ch = SignalRecord(key, slot);
    return ch ? ch->RinexCode(FCodeColumn) : std::string_view{};
}

std::string TZQS_SignalMapping::Rinex3Code(RSatNum key, unsigned obsType) const {
    const unsigned kind = ObsTypeKind(obsType);
    if (kind == OBST_NONE) return {};
    std::string r(ObsKindLetter(kind));
    const std::string_view code = SlotCodeText(key, ObsTypeSlot(obsType));
    if (code.size() == 2) r += code;
    return r;
}

std::int32_t TZQS_SignalMapping::CodeKeyOf(RSatNum key, unsigned obsType) const {
    const unsigned kind = ObsTypeKind(obsType);
    if (kind == OBST_NONE) return -1;
    const std::int32_t attr = CodeToAttrIndex(SlotCodeText(key, ObsTypeSlot(obsType)));
    if (attr < 0) return -1;
    return 4 * attr + static_cast<std::int32_t>(kind) - 1;
}

std::int32_t TZQS_SignalMapping::CodeToAttrIndex(std::string_view code) noexcept {
    if (code.size() < 2) return -1;
    const char band = code[0];
    const char attr = code[1];
    if (band < '1' || band > '9' || attr < 'A' || attr > 'Z') return -1;
    return (band - '1') * 26 + (attr - 'A');
}

std::string TZQS_SignalMapping::AttrIndexToCode(std::int32_t index) {
    if (index < 0 || index >= AttrIndexCount()) return {};
    return {static_cast<char>('1' + index / 26), static_cast<char>('A' + index % 26)};
}

std::int32_t TZQS_SignalMapping::CodeKey(std::string_view code) {
    const EOBS_CTYPES kind = LetterToObsKind(code.substr(0, 1));
    const std::int32_t attr = CodeToAttrIndex(code.substr(1));
    if (attr < 0) return -1;
    return 4 * attr + static_cast<std::int32_t>(kind) - 1;
}

std::string TZQS_SignalMapping::CodeKeyText(std::int32_t key) {
    if (key < 0 || key >= CodeKeyCount()) return {};
    std::string r(ObsKindLetter(static_cast<unsigned>(key % 4 + 1)));
    r += AttrIndexToCode(key / 4);
    return r;
}

// ---------------------------------------------------------------------------------------
// TObsSatList

bool TObsSatList::Find(std::int32_t key, int& index) const noexcept {
    int lo = 0;
    int hi = Count() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const std::int32_t k = FItems[static_cast<std::size_t>(mid)].Key;
        if (k < key) {
            lo = mid + 1;
        } else if (k > key) {
            hi = mid - 1;
        } else {
            index = mid;
            return true;
        }
    }
    index = lo;
    return false;
}

TObsSatPair& TObsSatList::Add(std::int32_t key, int index) {
    const int at = std::clamp(index, 0, Count());
    TObsSatPair pair;
    pair.Key = key;
    return *FItems.insert(FItems.begin() + at, pair);
}

// ---------------------------------------------------------------------------------------
// TRnxObsChannels

TRnxObsChannels::TRnxObsChannels(unsigned rnxVersion) {
    if (rnxVersion < RN3_BEG || rnxVersion > RN3_END)
        throw ERnxSysObsExp(std::string("TRnxObsChannels: illegal version ") +
                            std::string(RnxVersionText(rnxVersion)));
    FColumn = CodeColumnOf(rnxVersion);
    for (int row = 1; row <= SignalRowCount; ++row) {
        const RChannel& ch = SignalTable[static_cast<std::size_t>(row)];
        const std::string_view code = ch.RinexCode(FColumn);
        const std::int32_t attr = TZQS_SignalMapping::CodeToAttrIndex(code);
        if (code.empty() || attr < 0 || ch.System >= FLists.size()) continue;
        auto& list = FLists[ch.System];
        if (!list) list.emplace();
        int index = 0;
        TObsSatPair* entry = list->Find(attr, index) ? &list->Item(index) : &list->Add(attr, index);
        entry->Value = static_cast<std::uint32_t>(row);  // a later row of the code wins
    }
}

void TRnxObsChannels::Fill(unsigned sys, std::string_view code, RZQS_RnxSysObs& rec) const {
    code = code.substr(0, 3);
    if (code == "NON") {
        rec.Code = "NON";
        rec.Attr = "NO";
        rec.Row = 0;
        rec.Slot = 0;
        rec.Kind = OBST_NONE;
        return;
    }
    const EOBS_CTYPES kind = LetterToObsKind(code.substr(0, 1));
    rec.Row = 0;
    const TObsSatList* list = List(sys);
    const std::string_view attrText = code.substr(1);
    const std::int32_t attr = TZQS_SignalMapping::CodeToAttrIndex(attrText);
    int index = 0;
    if (!list || attr < 0 || !list->Find(attr, index)) return;
    const RChannel* ch = SignalByRow(list->Item(index).Value);
    if (!ch) return;
    rec.Code = std::string(code);
    rec.Attr = std::string(attrText);
    rec.Row = static_cast<std::uint32_t>(ch->Row);
    rec.Slot = ch->Slot();
    rec.Kind = kind;
}

RZQS_RnxSysObs TRnxObsChannels::Fill(unsigned sys, std::string_view code) const {
    RZQS_RnxSysObs rec;
    Fill(sys, code, rec);
    return rec;
}

const TObsSatList* TRnxObsChannels::List(unsigned sys) const noexcept {
    if (sys >= FLists.size() || !FLists[sys]) return nullptr;
    return &*FLists[sys];
}

// ---------------------------------------------------------------------------------------
// TRnxObs

TRnxObs::TRnxObs(std::shared_ptr<const TZQS_SignalMapping> mapping,
                 const zqt_rnx_writer_settings::RRnxWriterSettings& settings)
    : FMapping(std::move(mapping)), FSettings(settings) {
    if (!FMapping) throw ExceptionZQS("TRnxObs: no signal mapping");
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        FExcluded[s] = FSettings.ExcludedObsTypes[s];

    const TSatSet& sats = FMapping->GetSatSet();
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(FSettings.IncludedSystems & (1u << s)) || sats.Sats[s - 1].none()) continue;
        for (const RSatNum key : SatWordKeys(sats.Sats[s - 1], s)) {
            if (SatSetContains(key, FSettings.ExcludedSats)) continue;
            const std::uint8_t bands = FMapping->SatBandMask(key);
            for (unsigned b = 0; b < SlotCount; ++b) {
                if (!(bands & (1u << b))) continue;
                const std::uint8_t kinds = FMapping->SatBandKinds(key, b);
                for (unsigned k = OBST_RN; k <= OBST_SS; ++k) {
                    if (!(kinds & (1u << k))) continue;
                    const OBSTYPE t = SlotKindToObsType(b, k);
                    if (t == OBS_NOOBS || (FExcluded[s] & (1u << t))) continue;
                    const std::string code = FMapping->Rinex3Code(key, t);
                    // The kind letter alone: the version has no code for the signal.
                    if (code.size() != 3) continue;
                    if (zqt_rnx_writer_settings::ObsCodeSelected(FSettings.ObsCodes, s, code)) {
                        FExcluded[s] |= 1u << t;
                        continue;
                    }
                    const std::int32_t order = OrderKey(key, t);
                    if (order < 0) continue;
                    int index = 0;
                    TObsSatPair& entry = FLists[s].Find(order, index) ? FLists[s].Item(index)
                                                                      : FLists[s].Add(order, index);
                    entry.Sats.set(SatKeyNumber(key));
                    SatSetAdd(FSatsWithCodes, key);
                }
            }
        }
    }
}

std::int32_t TRnxObs::OrderKey(RSatNum key, unsigned obsType) const {
    const unsigned slot = ObsTypeSlot(obsType);
    const unsigned kind = ObsTypeKind(obsType);
    if (kind == OBST_NONE) return -1;
    const std::string_view code = FMapping->SlotCodeText(key, slot);
    const std::int32_t attr = TZQS_SignalMapping::CodeToAttrIndex(code);
    if (attr < 0) return -1;
    const std::int32_t codeKey = 4 * attr + static_cast<std::int32_t>(kind) - 1;
    const std::int32_t group =
        static_cast<std::int32_t>((4 * slot + kind - 1) * 26) + ('Z' - code[1]);
    return TZQS_SignalMapping::CodeKeyCount() * group + codeKey;
}

int TRnxObs::CodeCount(unsigned sys) const noexcept {
    return sys < FLists.size() ? FLists[sys].Count() : 0;
}

std::string TRnxObs::Code(unsigned sys, int index) const {
    if (sys >= FLists.size() || index < 0 || index >= FLists[sys].Count()) return {};
    return TZQS_SignalMapping::CodeKeyText(FLists[sys].Item(index).Key %
                                           TZQS_SignalMapping::CodeKeyCount());
}

std::string TRnxObs::CodesText(unsigned sys) const {
    std::string text;
    for (int i = 0; i < CodeCount(sys); ++i) {
        text += ' ';
        text += Code(sys, i);
    }
    return text;
}

int TRnxObs::ColumnIndex(RSatNum key, unsigned obsType) const {
    const unsigned sys = SatKeySystem(key);
    if (!IsSatSystem(sys)) return -1;
    const std::int32_t order = OrderKey(key, obsType);
    int index = 0;
    if (order < 0 || !FLists[sys].Find(order, index)) return -1;
    return index;
}

const TObsSatList& TRnxObs::List(unsigned sys) const {
    return FLists[sys < FLists.size() ? sys : 0];
}

std::uint32_t TRnxObs::ExcludedObsTypes(unsigned sys) const noexcept {
    return sys < FExcluded.size() ? FExcluded[sys] : 0;
}

}  // namespace zqt_sat_obs_rcrd
