// Signals behind the six slots of a satellite record and their RINEX 3/4 codes: the
// signal table, the slot table per receiver firmware, the signal mapping that answers per
// satellite and slot, the code-to-signal table of the RINEX reader, and the ordered code
// lists of a RINEX 3/4 output file.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zqt_rnx_writer_settings.h"
#include "zqt_sat_obs_types.h"

namespace zqt_sat_obs_rcrd {

using zqt_sat_obs_types::EOBS_CTYPES;
using zqt_sat_obs_types::ERnxVersion;
using zqt_sat_obs_types::EZQSSatCode;
using zqt_sat_obs_types::RN3_BEG;
using zqt_sat_obs_types::RNV_END;
using zqt_sat_obs_types::RSatNum;
using zqt_sat_obs_types::TObsInfoTable;
using zqt_sat_obs_types::TSatSet;

// Raised for a version that has no RINEX 3/4 codes.
ZQT_DECLARE_EXCEPTION(ERnxSysObsExp, Exception, "ERnxSysObsExp");

// ---------------------------------------------------------------------------------------
// Signal table: one row per tracked signal; the row number is the channel id stored with
// the observations.

struct RChannel {
    std::int32_t Row;
    EZQSSatCode System;
    std::string_view Text;     // band digit and attribute letter, "1C"
    std::uint8_t PrimarySlot;  // 1..6, 0 none
    std::uint8_t AltSlot;      // 1..6, 0 none
    ERnxVersion FirstVersion;  // first version with a code for the signal, 0 none
    // Last version with a code; left out, every version from the first on, those added
    // to the table later included.
    ERnxVersion LastVersion = RNV_END;

    // The code of code column 0..7 (column k serves version ordinal k + 5: 3.00 ... 4.00,
    // a column beyond the last version empty); "" where that version has no code for the
    // signal.
    std::string_view RinexCode(unsigned column) const noexcept {
        const unsigned v = column + RN3_BEG;
        return (FirstVersion != 0 && v >= FirstVersion && v <= LastVersion) ? Text
                                                                            : std::string_view{};
    }
    // The primary slot, or the alternative one when there is none.
    std::uint8_t Slot() const noexcept { return PrimarySlot != 0 ? PrimarySlot : AltSlot; }
};

// The code column of a version from 3.00 on.
constexpr std::uint32_t CodeColumnOf(unsigned rnxVersion) noexcept { return rnxVersion - RN3_BEG; }
// The column of a mapping that serves no version of three-character codes (a new mapping,
// RINEX 2 output): the 4.00 column.
inline constexpr std::uint32_t DefaultCodeColumn = CodeColumnOf(zqt_sat_obs_types::RN4_400);

inline constexpr int SignalRowCount = 117;
// Entry i is row i; entry 0 is the empty row.
extern const std::array<RChannel, SignalRowCount + 1> SignalTable;
// The row, or nullptr for 0 and numbers beyond the table.
const RChannel* SignalByRow(std::uint32_t row) noexcept;

// ---------------------------------------------------------------------------------------
// Slot table: which signal fills a slot, per system, slot, satellite range and firmware.

struct RSlotData {
    std::int32_t FirstSat;
    std::int32_t LastSat;
    std::uint32_t SignalRow;
    double PhaseShift;  // cycles
    std::uint8_t Flag;
};

struct RSlotTableEntry {
    std::int32_t LowFirmware;
    std::int32_t HighFirmware;
    std::uint8_t System;
    std::uint8_t Slot;
    RSlotData Data;
};

inline constexpr int SlotTableCount = 57;
extern const std::array<RSlotTableEntry, SlotTableCount> SlotTable;

using TASlotData = std::vector<RSlotData>;
using TChannels = std::array<std::array<TASlotData, zqt_sat_obs_types::SlotCount>,
                             zqt_sat_obs_types::SatSystemCount>;

// ---------------------------------------------------------------------------------------
// Signal mapping

// Answers, for a satellite and a slot, the signal, its RINEX code and its phase shift:
// from the observation-information table when one with satellites was given (the
// recordset's, for writing), else from the slot data built for a firmware code. Every
// lookup answers from the mapping it is called on; Current() names the mapping
// constructed last in the calling thread for code that holds none.
class TZQS_SignalMapping {
    struct PrivateTag {
        explicit PrivateTag() = default;
    };

public:
    static constexpr std::uint32_t InitialFirmwareCode = 1000000;
    static constexpr std::uint32_t DefaultBuildCode = 10000000;

    explicit TZQS_SignalMapping(PrivateTag) {}
    TZQS_SignalMapping(const TZQS_SignalMapping&) = delete;
    TZQS_SignalMapping& operator=(const TZQS_SignalMapping&) = delete;

    // A new mapping; it becomes the current mapping of the calling thread. With build it
    // gets the slot data of DefaultBuildCode.
    static std::shared_ptr<TZQS_SignalMapping> Create(bool build);
    // The calling thread's current mapping, or the process-wide default mapping (built
    // for DefaultBuildCode, 4.00 code column) when there is none.
    static std::shared_ptr<TZQS_SignalMapping> Current();

    // Slot data for a firmware code (0 stands for 40000); nothing happens when the data
    // were already built for that code.
    void BuildSlotData(std::uint32_t firmware);
    std::uint32_t FirmwareCode() const noexcept { return FFirmwareCode; }
    void SetCodeColumn(std::uint32_t column) noexcept { FCodeColumn = column; }
    std::uint32_t CodeColumn() const noexcept { return FCodeColumn; }
    // Takes a copy of the table; true when the table is empty.
    bool SetSatTable(const TObsInfoTable& table);
    // Code column of the version (the 4.00 column for RINEX 2 output), then SetSatTable.
    bool SetSystemMode(const TObsInfoTable& table, std::uint8_t rnxVersion,
                       std::uint8_t unused = 0);
    bool TableInUse() const noexcept { return FTableInUse; }
    const TObsInfoTable& ObsInfo() const noexcept { return FObsInfo; }

    // The slot data that serve the satellite: a single element serves every satellite of
    // the system, otherwise the last element whose satellite range holds the number.
    std::optional<RSlotData> FindSlotData(RSatNum key, unsigned slot) const;
    // Signal row of (satellite, slot); 0 for none.
    std::uint32_t SignalRow(RSatNum key, unsigned slot) const;
    const RChannel* SignalRecord(RSatNum key, unsigned slot) const;
    // Phase shift in cycles; NaN when no slot data serve the satellite (0.0 for a
    // satellite missing from a table in use).
    double SlotPhaseShift(RSatNum key, unsigned slot) const;
    // A mapping accepts every band.
    bool IsExcluded(RSatNum, unsigned) const noexcept { return false; }
    // The satellites of the observation-information table.
    const TSatSet& GetSatSet() const noexcept { return FObsInfo.Present(); }
    // Band set and kinds byte of the satellite in the table; 0 when no table is in use.
    std::uint8_t SatBandMask(RSatNum key) const noexcept;
    std::uint8_t SatBandKinds(RSatNum key, unsigned slot) const noexcept;
    static void ClearChannelInfo(zqt_sat_obs_types::TChannelInfo& info) noexcept {
        zqt_sat_obs_types::ClearChannelInfo(info);
    }

    // Code of the signal of (satellite, slot) in the code column: "1C"; "" for none.
    std::string_view SlotCodeText(RSatNum key, unsigned slot) const;
    // Kind letter and slot code, "C1C"; the kind letter alone when the slot has no signal
    // or the version no code for it (such a type has no code); "" for no kind.
    std::string Rinex3Code(RSatNum key, unsigned obsType) const;
    // Key of the type's code (CodeKey of Rinex3Code); -1 when it has none.
    std::int32_t CodeKeyOf(RSatNum key, unsigned obsType) const;

    // (band digit - "1") x 26 + (attribute letter - "A"); -1 for a text that is shorter
    // than two characters or holds no band 1..9 and letter A..Z.
    static std::int32_t CodeToAttrIndex(std::string_view code) noexcept;
    // The two characters of an attribute index; "" outside 0..233.
    static std::string AttrIndexToCode(std::int32_t index);
    static constexpr std::int32_t AttrIndexCount() noexcept { return 234; }
    // 4 x attribute index + kind - 1 of a three-character code; -1 when the band and
    // attribute are not readable. A kind letter other than C, L, D, S raises
    // EOBS_CTYPESExp.
    static std::int32_t CodeKey(std::string_view code);
    // The code of a key; "" outside 0..935.
    static std::string CodeKeyText(std::int32_t key);
    static constexpr std::int32_t CodeKeyCount() noexcept { return 936; }

private:
    std::uint32_t FFirmwareCode = InitialFirmwareCode;
    std::uint32_t FCodeColumn = DefaultCodeColumn;
    bool FBuilt = false;
    TChannels FSlotData;
    TObsInfoTable FObsInfo;
    bool FTableInUse = false;
};

// ---------------------------------------------------------------------------------------
// Sorted code lists

struct TObsSatPair {
    std::int32_t Key = 0;
    std::uint32_t Value = 0;
    std::bitset<256> Sats;  // bit n = satellite number n
};
using TObsSatPairArray = std::vector<TObsSatPair>;

// A list kept sorted by key.
class TObsSatList {
public:
    // Bisection: true when the key is present; index is where it is or would be inserted.
    bool Find(std::int32_t key, int& index) const noexcept;
    // Inserts an entry with the key and no satellites at index (clamped to the list).
    TObsSatPair& Add(std::int32_t key, int index);
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    const TObsSatPair& Item(int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    TObsSatPair& Item(int index) { return FItems.at(static_cast<std::size_t>(index)); }
    const TObsSatPairArray& Items() const noexcept { return FItems; }

private:
    TObsSatPairArray FItems;
};

// Channel record of one observation type of a SYS / # / OBS TYPES line.
struct RZQS_RnxSysObs {
    std::string Code;  // up to three characters
    std::string Attr;  // band digit and attribute letter
    std::uint8_t Slot = 0;
    EOBS_CTYPES Kind = zqt_sat_obs_types::OBST_NONE;
    std::uint32_t Row = 0;  // signal row, 0 when the code is unknown
};

// The code-to-signal table of one RINEX 3/4 version, for reading observation headers.
class TRnxObsChannels {
public:
    // Version ordinals 5..11; others raise ERnxSysObsExp.
    explicit TRnxObsChannels(unsigned rnxVersion);

    // The record of a code of the system: "NON" gives the placeholder record; a known
    // code gives its signal row, slot and kind; an unknown one leaves row 0. A kind
    // letter other than C, L, D, S raises EOBS_CTYPESExp.
    void Fill(unsigned sys, std::string_view code, RZQS_RnxSysObs& rec) const;
    RZQS_RnxSysObs Fill(unsigned sys, std::string_view code) const;
    // The system's list, nullptr when the version has no code for the system.
    const TObsSatList* List(unsigned sys) const noexcept;
    unsigned Column() const noexcept { return FColumn; }

private:
    unsigned FColumn = 0;
    std::array<std::optional<TObsSatList>, zqt_sat_obs_types::SatSystemCount> FLists;
};

// The code table of a RINEX 3/4 output file: per system its codes in column order, each
// with the satellites that carry it.
class TRnxObs {
public:
    TRnxObs(std::shared_ptr<const TZQS_SignalMapping> mapping,
            const zqt_rnx_writer_settings::RRnxWriterSettings& settings);

    int CodeCount(unsigned sys) const noexcept;
    // The code of column index of the system, "" outside the list.
    std::string Code(unsigned sys, int index) const;
    // Every code of the system, each preceded by a blank.
    std::string CodesText(unsigned sys) const;
    // Column of the code of (satellite, type) in its system's list; -1 when absent.
    int ColumnIndex(RSatNum key, unsigned obsType) const;
    // The system's list (empty for systems without codes).
    const TObsSatList& List(unsigned sys) const;
    // Types left out for the system: those of the settings and those whose code the
    // observation-code filter selected.
    std::uint32_t ExcludedObsTypes(unsigned sys) const noexcept;
    // Satellites that carry at least one code of the file.
    const TSatSet& SatsWithCodes() const noexcept { return FSatsWithCodes; }
    const zqt_rnx_writer_settings::RRnxWriterSettings& Settings() const noexcept {
        return FSettings;
    }

    // Sorting key of (satellite, type): slot, kind, attribute letter from Z down to A,
    // then code key. -1 when the type has no code.
    std::int32_t OrderKey(RSatNum key, unsigned obsType) const;

private:
    std::shared_ptr<const TZQS_SignalMapping> FMapping;
    zqt_rnx_writer_settings::RRnxWriterSettings FSettings;
    std::array<TObsSatList, zqt_sat_obs_types::SatSystemCount> FLists;  // index 0 unused
    std::array<std::uint32_t, zqt_sat_obs_types::SatSystemCount> FExcluded{};
    TSatSet FSatsWithCodes;
};

}  // namespace zqt_sat_obs_rcrd
