#include "zqt_sat_obs_types.h"

#include <algorithm>
#include <cmath>

namespace zqt_sat_obs_types {

using sysutils::Format;
using sysutils::StrToInt;
using sysutils::Trim;
using sysutils::UpperCase;

namespace {

static_assert(RNX_SD == RnxObsCount - 1 && RnxObsNames.size() == RnxObsCount);
static_assert(RNX3_9X == Rnx3ObsCount - 1 && Rnx3ObsNames.size() == Rnx3ObsCount);
static_assert(SignalDescriptionCount == 118);
// The pairs are listed band by band, letters ascending, each once.
static_assert([] {
    for (std::size_t i = 2; i < Rnx3ObsNames.size(); ++i)
        if (!(Rnx3ObsNames[i - 1] < Rnx3ObsNames[i])) return false;
    return true;
}());

inline constexpr int MaxSatNumber = 254;  // highest number a key and a set word can hold

// Characters 2 and 3 of a satellite id, blanks around them dropped.
std::string NumberPart(std::string_view text) {
    return Trim(text.size() > 1 ? text.substr(1, 2) : std::string_view{});
}

// ---------------------------------------------------------------------------------------
// RINEX 2 mapping: per version 1..4 and system 1..7 the code group of each slot 1..6.

using TSlotGroups = std::array<std::uint8_t, 7>;  // index by slot, 0 unused
using TRnx2Map = std::array<std::array<TSlotGroups, SatSystemCount>, 5>;

constexpr TRnx2Map MakeRnx2Map() {
    TRnx2Map m{};
    const TSlotGroups classic{0, 1, 2, 0, 4, 0, 0};
    for (int v : {1, 2}) {
        m[v][SC_GPS] = classic;
        m[v][SC_GLONASS] = classic;
    }
    m[2][SC_WAAS] = {0, 1, 0, 0, 0, 0, 0};
    m[3][SC_GPS] = {0, 1, 2, 3, 4, 5, 0};
    m[3][SC_GLONASS] = {0, 1, 2, 3, 4, 0, 0};
    m[3][SC_WAAS] = {0, 1, 0, 0, 0, 5, 0};
    m[3][SC_GALILEO] = {0, 1, 8, 6, 7, 5, 0};
    m[4][SC_GPS] = {0, 9, 2, 11, 4, 5, 0};
    m[4][SC_GLONASS] = {0, 9, 2, 12, 4, 0, 0};
    m[4][SC_WAAS] = {0, 1, 0, 0, 0, 5, 0};
    m[4][SC_GALILEO] = {0, 1, 8, 6, 7, 5, 0};
    m[4][SC_QZSS] = {0, 9, 0, 11, 0, 5, 10};
    m[4][SC_BDS] = {0, 1, 0, 0, 0, 7, 0};
    return m;
}
constexpr TRnx2Map Rnx2Map = MakeRnx2Map();

// The inverse: per version and system the slot of each code group 0..12.
using TGroupSlots = std::array<std::uint8_t, 13>;
constexpr auto MakeRnx2Inverse() {
    std::array<std::array<TGroupSlots, SatSystemCount>, 5> inv{};
    for (int v = 1; v <= 4; ++v)
        for (int s = SC_GPS; s <= SC_IRNSS; ++s) {
            for (int slot = SLOT_FIRST; slot <= SLOT_LAST; ++slot)
                inv[v][s][Rnx2Map[v][s][slot]] = slot;
            inv[v][s][0] = 0;
        }
    return inv;
}
constexpr auto Rnx2Inverse = MakeRnx2Inverse();

// RINEX 2 code -> (group, kind): filled from the group rows, a later group wins.
struct RGroupKind {
    std::uint8_t Group = 0;
    std::uint8_t Kind = 0;
};
constexpr auto MakeRnxObsGroups() {
    std::array<RGroupKind, RnxObsCount> t{};
    for (int g = 1; g <= 12; ++g)
        for (int k = 1; k <= 4; ++k) {
            const RNXOBS c = RnxGroupCodes[g][k - 1];
            if (c != RNX_UNKNOWN)
                t[c] = {static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(k)};
        }
    return t;
}
constexpr auto RnxObsGroups = MakeRnxObsGroups();

// ---------------------------------------------------------------------------------------
// Carrier frequencies per system and slot 1..6, Hz.

constexpr std::array<std::array<double, 7>, SatSystemCount> Frequencies{{
    {0, 0, 0, 0, 0, 0, 0},
    {0, 1575420000.0, 1575420000.0, 1227600000.0, 1227600000.0, 1176450000.0, 1575420000.0},
    {0, 1602000000.0, 1602000000.0, 1246000000.0, 1246000000.0, 1202025000.0, 0},
    {0, 1575420000.0, 0, 0, 0, 1176450000.0, 0},
    {0, 1575420000.0, 1191795000.0, 1278750000.0, 1207140000.0, 1176450000.0, 0},
    {0, 1575420000.0, 1575420000.0, 1227600000.0, 1278750000.0, 1176450000.0, 1575420000.0},
    {0, 1561098000.0, 1191795000.0, 1268520000.0, 1207140000.0, 1176450000.0, 1575420000.0},
    {0, 2492028000.0, 0, 0, 0, 1176450000.0, 0},
}};
constexpr std::array<double, 7> GloChannelSteps{0, 562500.0, 562500.0, 437500.0, 437500.0, 0, 0};

constexpr std::array<std::int32_t, 10> StrengthValues{0, 10, 12, 18, 24, 30, 36, 42, 48, 54};

}  // namespace

// ---------------------------------------------------------------------------------------
// Satellite keys

RSatNum MakeSatNum(std::int32_t prn, unsigned sys) noexcept {
    if (!IsSatSystem(sys)) return 0;
    const std::int64_t number = std::int64_t{prn} - SatSystemInfo(sys).PrnBase + 1;
    if (number < 1 || number > MaxSatNumber) return 0;
    return SatKey(sys, static_cast<unsigned>(number));
}

std::uint16_t SatNumZeroBased(RSatNum key) noexcept {
    const int v =
        (static_cast<int>(SatKeySystem(key)) - 1) * 256 + (static_cast<int>(SatKeyNumber(key)) - 1);
    return static_cast<std::uint16_t>(v);
}

std::uint8_t RinexSatNumber(RSatNum key) noexcept {
    return static_cast<std::uint8_t>(
        (SatKeyNumber(key) + static_cast<unsigned>(SatSystemInfo(SatKeySystem(key)).RinexOffset)) &
        0xFF);
}

void SetRinexSatNumber(RSatNum& key, std::int32_t rinexNumber) noexcept {
    const unsigned sys = SatKeySystem(key);
    const std::int64_t number = std::int64_t{rinexNumber} - SatSystemInfo(sys).RinexOffset;
    key = (number >= 1 && number <= MaxSatNumber) ? SatKey(sys, static_cast<unsigned>(number)) : 0;
}

std::string SatNumToStr(RSatNum key) {
    if (key == 0) return "UNK";
    std::string s(SatSystemLetter(key));
    if (s.empty()) s = " ";
    const unsigned n = RinexSatNumber(key);
    if (n < 10) s += '0';
    s += std::to_string(n);
    return s;
}

void SystemBounds(unsigned sys, std::uint16_t& low, std::uint16_t& high) noexcept {
    low = static_cast<std::uint16_t>((static_cast<int>(sys) - 1) * 256);
    high = static_cast<std::uint16_t>(static_cast<int>(sys) * 256 - 1);
}

std::string_view SatSystemLetter(RSatNum key) noexcept {
    return SatSystemInfo(SatKeySystem(key)).Letter;
}

EZQSSatCode LetterToSatSystem(std::string_view text, bool useDefault) {
    const std::string t = UpperCase(text);
    if (useDefault && Trim(t).empty()) return SC_GPS;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        if (t == SatSystems[s].Letter) return static_cast<EZQSSatCode>(s);
    return SC_UNKNOWN;
}

EZQSSatCode ShortNameToSatSystem(std::string_view text) {
    const std::string t = UpperCase(text.substr(0, std::min<std::size_t>(3, text.size())));
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        if (t == SatSystems[s].ShortName) return static_cast<EZQSSatCode>(s);
    return SC_UNKNOWN;
}

EZQSSatCode CharToSatSystem(std::string_view text) noexcept {
    if (text.empty()) return SC_UNKNOWN;
    switch (text[0]) {
        case 'G': return SC_GPS;
        case 'R': return SC_GLONASS;
        case 'S': return SC_WAAS;
        case 'E': return SC_GALILEO;
        case 'J': return SC_QZSS;
        case 'C': return SC_BDS;
        case 'I': return SC_IRNSS;
        default: return SC_UNKNOWN;
    }
}

RSatNum SatIndexToSatNum(std::string_view text, bool useDefault) {
    const unsigned sys =
        LetterToSatSystem(text.substr(0, std::min<std::size_t>(1, text.size())), useDefault);
    const std::int64_t parsed = StrToInt(NumberPart(text));
    if (sys == SC_UNKNOWN) return 0;
    // The RINEX offset comes off before the range test: "S05" names no SBAS satellite.
    const std::int64_t number = parsed - SatSystemInfo(sys).RinexOffset;
    if (number < 1 || number > MaxSatNumber) return 0;
    return SatKey(sys, static_cast<unsigned>(number));
}

RSatNum StrToSatNum(std::string_view text) {
    if (text.empty()) return 0;
    const unsigned sys = CharToSatSystem(text);
    if (sys == SC_UNKNOWN) throw ExceptionZQS(Format("Bad sv %s", text));
    if (text.size() == 1) return SatKey(sys, 0);
    const std::int64_t value = StrToInt(NumberPart(text));
    if (value == 0) return SatKey(sys, 0);
    const std::int64_t number = value - SatSystemInfo(sys).RinexOffset;
    if (number < 1 || number > MaxSatNumber) throw ExceptionZQS(Format("Bad sv %s", text));
    return SatKey(sys, static_cast<unsigned>(number));
}

// ---------------------------------------------------------------------------------------
// Satellite sets

void SatSetClear(TSatSet& set) noexcept {
    for (auto& w : set.Sats) w.reset();
    set.Mask = 0;
}

void SatSetFullSystems(TSatSet& set, std::uint32_t mask) noexcept {
    SatSetClear(set);
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        if (mask & (1u << s))
            for (int n = 1; n <= SatSystems[s].MaxNumber; ++n) set.Sats[s - 1].set(n);
}

void SatSetAdd(TSatSet& set, RSatNum key) noexcept {
    const unsigned s = SatKeySystem(key);
    const unsigned n = SatKeyNumber(key);
    if (!IsSatSystem(s) || n < 1 || n > MaxSatNumber) return;
    set.Sats[s - 1].set(n);
    set.Mask |= 1u << s;
}

bool SatSetContains(RSatNum key, const TSatSet& set) noexcept {
    const unsigned s = SatKeySystem(key);
    if (!IsSatSystem(s)) return false;
    return set.Sats[s - 1].test(SatKeyNumber(key));
}

void StrToSatSet(TSatSet& set, std::string_view text) {
    SatSetClear(set);
    if (text.empty()) return;  // no list: no satellite
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        // An empty piece (a doubled or trailing comma) has no number: EConvertError.
        SatSetAdd(set, SatIndexToSatNum(Trim(text.substr(start, comma - start)), true));
        start = comma + 1;
    }
}

TSatSet StrToSatSet(std::string_view text) {
    TSatSet set;
    StrToSatSet(set, text);
    return set;
}

TSatSet SatSetUnion(const TSatSet& a, const TSatSet& b) noexcept {
    TSatSet r = a;
    for (std::size_t i = 0; i < r.Sats.size(); ++i) r.Sats[i] |= b.Sats[i];
    return r;
}

TSatSet SatSetIntersection(const TSatSet& a, const TSatSet& b) noexcept {
    TSatSet r = a;
    for (std::size_t i = 0; i < r.Sats.size(); ++i) r.Sats[i] &= b.Sats[i];
    return r;
}

TSatSet SatSetDifference(const TSatSet& a, const TSatSet& b) noexcept {
    TSatSet r = a;
    for (std::size_t i = 0; i < r.Sats.size(); ++i) r.Sats[i] &= ~b.Sats[i];
    return r;
}

bool SatSetIsEmpty(const TSatSet& set) noexcept {
    return std::all_of(set.Sats.begin(), set.Sats.end(), [](const auto& w) { return w.none(); });
}

TArrayOfSatNum SatWordKeys(const std::bitset<256>& word, unsigned sys) {
    TArrayOfSatNum keys;
    for (unsigned n = 1; n <= MaxSatNumber; ++n)
        if (word.test(n)) keys.push_back(SatKey(sys, n));
    return keys;
}

TArrayOfSatNum SatSetKeys(const TSatSet& set) {
    TArrayOfSatNum keys;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        for (unsigned n = 1; n <= MaxSatNumber; ++n)
            if (set.Sats[s - 1].test(n)) keys.push_back(SatKey(s, n));
    return keys;
}

TArrayOfSatNum SatSetKeysOfSystems(const TSatSet& set, std::uint32_t mask) {
    TArrayOfSatNum keys;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(mask & (1u << s))) continue;
        for (int n = 1; n <= SatSystems[s].MaxNumber; ++n)
            if (set.Sats[s - 1].test(n)) keys.push_back(SatKey(s, static_cast<unsigned>(n)));
    }
    return keys;
}

std::string SatSetToSQL(const TSatSet& set) {
    std::string text;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        for (int n = 1; n <= SatSystems[s].MaxNumber; ++n)
            if (set.Sats[s - 1].test(n)) {
                text += std::to_string(SatKey(s, static_cast<unsigned>(n)));
                text += ',';
            }
    if (!text.empty()) text.back() = ' ';
    return text;
}

int SatSetCount(const TSatSet& set) noexcept {
    int count = 0;
    for (const auto& w : set.Sats)
        count += static_cast<int>(w.count()) - (w.test(0) ? 1 : 0) - (w.test(255) ? 1 : 0);
    return count;
}

TZQS_SatSetEnumerator::TZQS_SatSetEnumerator(const TSatSet& set) : FSet(set) {
    Seek(FirstSatSystem, 1);
}

void TZQS_SatSetEnumerator::Seek(unsigned sys, unsigned number) noexcept {
    for (; sys <= LastSatSystem; ++sys, number = 1)
        for (; number <= MaxSatNumber; ++number)
            if (FSet.Sats[sys - 1].test(number)) {
                FSys = sys;
                FNumber = number;
                FDone = false;
                return;
            }
    FDone = true;
}

RSatNum TZQS_SatSetEnumerator::Step() noexcept {
    if (FDone) return 0;
    const RSatNum key = SatKey(FSys, FNumber);
    Seek(FSys, FNumber + 1);
    return key;
}

// ---------------------------------------------------------------------------------------
// System masks

void StrToSatSetRec(std::uint32_t& mask, std::string_view text) {
    mask &= ~std::uint32_t{0xFF};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        // Blanks around a piece are no part of it: "G, R" names both systems (read as it
        // stands, " R" would drop GLONASS from the user's choice without a word).
        const unsigned s = CharToSatSystem(Trim(text.substr(start, comma - start)));
        if (s != SC_UNKNOWN) mask |= 1u << s;
        start = comma + 1;
    }
}

std::uint32_t StrToSatSetRec(std::string_view text) {
    std::uint32_t mask = 0;
    StrToSatSetRec(mask, text);
    return mask;
}

std::string SysMaskToSQL(std::uint32_t mask) {
    std::string text;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        if (mask & (1u << s)) {
            text += static_cast<char>('0' + s);
            text += ',';
        }
    if (!text.empty()) text.back() = ' ';
    return text;
}

// ---------------------------------------------------------------------------------------
// Observation kinds, slots and types

std::string_view ObsKindLetter(unsigned kind) noexcept {
    return kind < ObsKindLetters.size() ? ObsKindLetters[kind] : std::string_view{};
}

EOBS_CTYPES ObsKindOfChar(char letter) noexcept {
    switch (letter) {
        case 'C': return OBST_RN;
        case 'L': return OBST_PH;
        case 'D': return OBST_DP;
        case 'S': return OBST_SS;
        default: return OBST_NONE;
    }
}

EOBS_CTYPES LetterToObsKind(std::string_view letter) {
    const EOBS_CTYPES k = letter.empty() ? OBST_NONE : ObsKindOfChar(letter[0]);
    if (k == OBST_NONE) throw EOBS_CTYPESExp(Format("Wrong value %s Allowed C,L,D,S", letter));
    return k;
}

EOBS_CTYPES LetterToObsKind(char letter) { return LetterToObsKind(std::string_view(&letter, 1)); }

std::uint8_t ObsTypeSlot(unsigned type) noexcept {
    if (type == 0 || type >= ObsTypeCount) return 0;
    return static_cast<std::uint8_t>(type <= OBS_DB ? (type - 1) / 3 + 1 : type - (OBS_SC1 - 1));
}

EOBS_CTYPES ObsTypeKind(unsigned type) noexcept {
    if (type == 0 || type >= ObsTypeCount) return OBST_NONE;
    return type <= OBS_DB ? static_cast<EOBS_CTYPES>((type - 1) % 3 + 1) : OBST_SS;
}

OBSTYPE SlotKindToObsType(unsigned slot, unsigned kind) noexcept {
    if (slot < SLOT_FIRST || slot > SLOT_LAST || kind < OBST_FIRST || kind > OBST_LAST)
        return OBS_NOOBS;
    // Code, phase and Doppler of slot s are the types 3(s - 1) + kind; the strengths follow
    // from OBS_SC1 on.
    return static_cast<OBSTYPE>(kind == OBST_SS ? OBS_SC1 - 1 + slot : 3 * (slot - 1) + kind);
}

std::uint8_t BandsOfKind(std::uint32_t typeBits, unsigned kind) noexcept {
    std::uint8_t bands = 0;
    for (unsigned b = SLOT_FIRST; b <= SLOT_LAST; ++b) {
        const OBSTYPE t = SlotKindToObsType(b, kind);
        if (t != OBS_NOOBS && (typeBits & (1u << t))) bands |= static_cast<std::uint8_t>(1u << b);
    }
    return bands;
}

// ---------------------------------------------------------------------------------------
// RINEX 2 codes

RNXOBS StrToRnxObs(std::string_view text) noexcept {
    for (int i = 0; i < RnxObsCount; ++i)
        if (RnxObsNames[i] == text) return static_cast<RNXOBS>(i);
    return RNX_UNKNOWN;
}

std::string_view RnxObsText(unsigned code) noexcept {
    return code < RnxObsNames.size() ? RnxObsNames[code] : std::string_view{};
}

std::uint8_t RnxObsGroup(unsigned code) noexcept {
    return code < RnxObsGroups.size() ? RnxObsGroups[code].Group : 0;
}

EOBS_CTYPES RnxObsKind(unsigned code) noexcept {
    return code < RnxObsGroups.size() ? static_cast<EOBS_CTYPES>(RnxObsGroups[code].Kind)
                                      : OBST_NONE;
}

RNXOBS RnxGroupKindToObs(unsigned group, unsigned kind) noexcept {
    if (group < 1 || group > 12 || kind < OBST_FIRST || kind > OBST_LAST) return RNX_UNKNOWN;
    return RnxGroupCodes[group][kind - 1];
}

std::uint8_t Rnx2SlotGroup(unsigned version, unsigned sys, unsigned slot) noexcept {
    if (version < 1 || version > 4 || !IsSatSystem(sys) || slot < SLOT_FIRST || slot > SLOT_LAST)
        return 0;
    return Rnx2Map[version][sys][slot];
}

std::uint8_t Rnx2GroupSlot(unsigned version, unsigned sys, unsigned group) noexcept {
    if (version < 1 || version > 4 || !IsSatSystem(sys) || group > 12) return 0;
    return Rnx2Inverse[version][sys][group];
}

RNXOBS ObsTypeToRnx2Code(unsigned version, unsigned sys, unsigned obsType) noexcept {
    return RnxGroupKindToObs(Rnx2SlotGroup(version, sys, ObsTypeSlot(obsType)),
                             ObsTypeKind(obsType));
}

OBSTYPE Rnx2CodeToObsType(unsigned version, unsigned sys, unsigned code, bool caFlag) noexcept {
    if (version < 1 || version > 4) return OBS_NOOBS;
    const unsigned g = RnxObsGroup(code);
    const unsigned k = RnxObsKind(code);
    unsigned slot = Rnx2GroupSlot(version, sys, g);
    if (caFlag && version <= 3 && (sys == SC_GPS || sys == SC_GLONASS) && g == 2) slot = SLOT_R0;
    if (version <= 3 && sys == SC_GALILEO && g == 2) slot = SLOT_R0;
    return SlotKindToObsType(slot, k);
}

std::string_view Rnx3ObsText(unsigned attr) noexcept {
    return attr < Rnx3ObsNames.size() ? Rnx3ObsNames[attr] : std::string_view{};
}

// ---------------------------------------------------------------------------------------
// RINEX versions

const RRnxVersionInfo& RnxVersionInfo(unsigned version) noexcept {
    return RnxVersions[version < RnxVersions.size() ? version : 0];
}

std::string_view RnxVersionText(unsigned version) noexcept { return RnxVersionInfo(version).Text; }

bool IsRinex2(unsigned version) noexcept { return version >= RN2_BEG && version <= RN2_END; }
bool IsRinex3(unsigned version) noexcept { return version >= RN3_BEG && version <= RN3_END; }

// ---------------------------------------------------------------------------------------
// Carrier frequencies

double CarrierFrequency(unsigned sys, unsigned slot, int gloChannel) {
    if (!IsSatSystem(sys)) return -1.0;
    if (slot < SLOT_FIRST || slot > SLOT_LAST) return 0.0;
    if (sys == SC_GLONASS) {
        if (gloChannel == GloChannelUnknown) return -1.0;
        return Frequencies[sys][slot] + gloChannel * GloChannelSteps[slot];
    }
    return Frequencies[sys][slot];
}

double CarrierWavelength(unsigned sys, unsigned slot, int gloChannel) {
    const double f = CarrierFrequency(sys, slot, gloChannel);
    return f > 0.0 ? SpeedOfLight / f : 0.0;
}

void ClearChannelInfo(TChannelInfo& info) noexcept {
    for (auto& pair : info) pair = {0, 0};
}

std::int32_t SignalStrengthValue(std::uint8_t digit) noexcept {
    return digit < StrengthValues.size() ? StrengthValues[digit] : 0;
}

}  // namespace zqt_sat_obs_types
