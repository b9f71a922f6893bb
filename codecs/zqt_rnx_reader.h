// Reader of RINEX files into an observation file object: it recognises the kind and the
// version of a file from its first line and reads observation files (epochs, events and
// the station description of the header) into the file's receiver, navigation files of
// versions 2.00 to 4.02 into the file's navigation store, and the satellite clock records
// of clock files into the project tables sp3_clk and sp3_clk_header. Meteorological files
// are recognised and not read.
//
// Faults of the file as a whole leave the reader as ExceptionRNX (or a descendant), with
// the line at which the reading stopped. A damaged navigation record or observation epoch
// is logged, counted and passed over; what was passed over is reported as one message
// when the file has been read.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zqt_classes_bs.h"
#include "zqt_ephem_tp.h"
#include "zqt_file_obs.h"
#include "zqt_iono_bs.h"
#include "zqt_obs_intrf.h"
#include "zqt_rinexconsts.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_types_bs.h"

namespace zqt_datastorage_bs {
class IZQS_DataStorage;
}

namespace zqt_rnx_reader {

// A fault of a RINEX file as a whole. Line: the line of the file at which the reading
// stopped (0 when none was read).
class ExceptionRNX : public zqt_types_bs::ExceptionZQS {
public:
    using ExceptionZQS::ExceptionZQS;
    const char* ClassName() const noexcept override { return "ExceptionRNX"; }
    std::int64_t Line() const noexcept { return FLine; }
    void SetLine(std::int64_t Value) noexcept { FLine = Value; }

private:
    std::int64_t FLine = 0;
};
// Galileo data sources that name no message ("Illegal bits for NavType %d").
ZQT_DECLARE_EXCEPTION(ExceptionRNXGALILEO, ExceptionRNX, "ExceptionRNXGALILEO");
// An event epoch whose date cannot be read ("Bad Epoch Header %s").
ZQT_DECLARE_EXCEPTION(ExceptionZQSRNXBadHeader, ExceptionRNX, "ExceptionZQSRNXBadHeader");

// File types, from the letter in column 21 of the first line.
inline constexpr std::uint8_t RnxFileObservation = 2;  // "O"
inline constexpr std::uint8_t RnxFileNavigation = 7;   // "N" (one system), "H" (SBAS)
inline constexpr std::uint8_t RnxFileGlonassNav = 8;   // "G"
inline constexpr std::uint8_t RnxFileMixedNav = 9;     // "N" with system letter "M"
inline constexpr std::uint8_t RnxFileMeteo = 12;       // "M"
inline constexpr std::uint8_t RnxFileClock = 14;       // "C"

// The index of a version value (version x 100) in the version table; 0 for a value
// outside it.
std::uint8_t RnxVersionIndex(std::int32_t Value) noexcept;
// The version value of the text of columns 1-20 (read as a number, x 100); 0 when it is
// no number.
std::int32_t RnxVersionValue(std::string_view Text) noexcept;
// The index a file of that version is read with: the table's, else that of the written
// version it is read as (RnxReadAlike: 4.00's for 4.01 and 4.02, whose navigation and
// observation records are laid out alike).
std::uint8_t RnxReaderVersionIndex(std::int32_t Value) noexcept;

// Ticks of a RINEX date of at least 5 words (year, month, day, hour, minute[, seconds]):
// two-digit years below 50 are 20yy, others 19yy. Raises ExceptionRNX "Invalid DateTime"
// for fewer words or a date that is none.
std::int64_t RinexWordsToTicks(const std::vector<std::string>& Words);

// The accuracy index of a navigation record's accuracy in metres. URA: the index whose
// range holds the value (255 for a value of 0 or less); SISA: the index of the Galileo
// table (values below 0 give 255, "no accuracy"; 6 m and more 255).
std::uint8_t UraIndexOfAccuracy(double Metres) noexcept;
std::uint8_t SisaIndexOfAccuracy(double Metres) noexcept;

// What one Execute read and what it passed over.
struct RRinexSummary {
    std::uint8_t FileType = 0;
    std::uint8_t VersionIndex = 0;
    std::int32_t Version = 0;      // x 100
    std::int32_t ColumnShift = 0;  // of navigation records: 1 from 2.12 on
    // Navigation files.
    std::int64_t Records = 0;           // ephemerides handed to the store
    std::int64_t IonoSets = 0;          // ionosphere sets stored
    std::int64_t TimeSets = 0;          // time-system sets stored
    std::int64_t Damaged = 0;           // records that could not be read
    std::int64_t FirstDamagedLine = 0;  // line of the first of them
    std::string FirstDamaged;           // and why
    std::int64_t Sbas = 0;              // SBAS records (read and dropped)
    std::int64_t OffGrid = 0;           // GLONASS records off the 15-minute grid
    std::int64_t Inaccurate = 0;        // records above the accuracy limits
    std::int64_t BadChannel = 0;        // GLONASS records without a valid channel
    std::int64_t Parameters = 0;        // RINEX 4 STO, EOP and ION records (not read)
    std::map<std::string, std::int64_t> OtherMessages;  // RINEX 4 EPH records by message
    // Observation files.
    std::int64_t EpochsRead = 0;        // epoch headers read, events included
    std::int64_t EpochsWritten = 0;     // observation epochs stored
    std::int64_t Satellites = 0;        // satellite records stored
    std::int64_t Events = 0;            // event epochs (flags 2 to 5)
    std::int64_t CycleSlipRecords = 0;  // flag 6 epochs passed over
    std::int64_t BadEpochs = 0;         // epochs lost to a damaged header
    std::int64_t BadSatellites = 0;     // satellite lines lost to an unreadable id
    std::int64_t Unaligned = 0;         // epochs off the interval that could not be aligned
    // Clock files.
    std::int64_t ClockRows = 0;
    std::int64_t ClockEpochs = 0;
};

class TZQS_RinexReaderBase : public zqt_classes_bs::TZQS_TextFileReader {};

class TZQS_RinexReader : public TZQS_RinexReaderBase {
public:
    // A reader of the owner's file. AFlag set: antenna heights and offsets of the file are
    // taken as 0.
    static std::shared_ptr<TZQS_RinexReader> Create(const zqt_obs_intrf::IZQS_OBSFilePtr& Owner,
                                                    std::uint8_t AFlag);
    // Create, with the day start of the settings' RINEX day time (0 when none is set).
    static std::shared_ptr<TZQS_RinexReader> CreateForDay(
        const zqt_obs_intrf::IZQS_OBSFilePtr& Owner, std::uint8_t AFlag,
        const zqt_types_bs::TRReaderSettings& Settings);

    void InitFields() override;
    void Open(const std::string& FileName) override;
    // The whole reading: type and version, the reading of the file's kind, then the owner
    // stores and finishes what was read.
    void Execute() override;

    const RRinexSummary& Summary() const noexcept { return FSummary; }
    std::uint8_t FileType() const noexcept { return FFileType; }
    std::uint8_t VersionIndex() const noexcept { return FVersionIndex; }
    std::int32_t ColumnShift() const noexcept { return FColumnShift; }
    double Interval() const noexcept { return FInterval; }
    std::int64_t FirstObsTime() const noexcept { return FFirstObs; }
    std::int64_t LastObsTime() const noexcept { return FLastObs; }

protected:
    struct RHeaderLine {
        std::string Value;  // columns 1-60
        std::string Label;  // columns 61-80, trimmed
    };
    // One observation field of a RINEX 3/4 type list.
    struct RObsEntry {
        std::uint8_t Band = 0;  // 0: not read
        std::uint8_t Kind = 0;
        std::uint32_t Channel = 0;
    };
    // The ionosphere coefficients of one system (or one BeiDou hour) given by a header.
    struct RIonoEntry {
        bool Present = false;
        std::array<float, 4> Alpha{};
        std::array<float, 4> Beta{};
    };

    // ---- lines ----------------------------------------------------------------------------
    // The next line (false at the end of the file); PushBack makes the next call give the
    // line just read once more.
    bool NextLine(std::string& Line);
    void PushBack();
    // Back to the first line of the file.
    void Rewind();
    // The next line cut into value and label; false at the end of the file.
    bool ReadHeaderLine(RHeaderLine& Header);
    // A fault of the file as a whole, at the current line.
    [[noreturn]] void Fail(const std::string& Message) const;

    // ---- type, version, headers ------------------------------------------------------------
    void DetectType();
    void SetVersion(std::int32_t Value, const std::string& Text);
    // The observation header up to END OF HEADER (at most MaxLines lines when not 0).
    void ReadObsHeader(std::int64_t MaxLines);
    void ReadObsTypes2(const RHeaderLine& First);
    void ReadObsTypes3(const RHeaderLine& First);
    void ReadGloSlots(const RHeaderLine& Line);
    // Ticks of a header or epoch date, on the GPS scale (a "GLO" seventh word, or a header
    // time system "GLO" for epochs, moves it from GLONASS time).
    std::int64_t HeaderTime(const std::string& Value);
    std::int64_t GlonassOffset(std::int64_t Time);
    // Ticks of the date words of an epoch, moved from GLONASS time in a file whose time
    // system is GLONASS.
    std::int64_t EpochTicks(const std::vector<std::string>& Words);
    void ReadAntennaDelta(const std::string& Value, double& H, double& E, double& N) const;

    // ---- navigation -------------------------------------------------------------------------
    void ReadNavigation2();
    void ReadNavigation4();
    void ReadNavHeader();
    void ReadIonoCorr(const std::string& Value);
    void ReadIonAlphaBeta(const std::string& Value, bool Beta);
    void ReadTimeSystemCorr(const std::string& Value);
    // The time of the first record of a RINEX 2/3 file (0 when none can be read).
    std::int64_t FirstRecordTime();
    // Reads one record from its first line on. True when REphem holds a record to keep;
    // a record that is read and dropped gives false.
    bool ReadRecord(std::int32_t Shift);
    bool ReadKeplerRecord(const std::array<double, 3>& Clock, std::int32_t Shift);
    bool ReadCartesianRecord(const std::array<double, 3>& Clock, std::int32_t Shift);
    // The four values of the next orbit line; false (and the line pushed back) when the
    // file ends or a new record begins.
    bool ReadOrbitLine(std::array<double, 4>& Values, std::int32_t Shift);
    // Hands REphem to the store under the GLONASS 15-minute rule.
    void StoreRecord();
    void StoreHeaderIono(std::int64_t Time);
    void CountDamaged(const std::string& Why);
    void ReportNavigation();

    // ---- observations -----------------------------------------------------------------------
    void ReadObservations();
    // Reads one epoch; true when it gave an observation epoch.
    bool ReadEpoch();
    bool ReadEpochHeader2(const std::string& Line);
    bool ReadEpochHeader3(const std::string& Line);
    void ReadSatellites2();
    void ReadSatellites3();
    void ReadEvent(std::int32_t Flag, std::int32_t Count, const std::string& Date);
    void SkipCycleSlips(std::int32_t Count);
    std::int32_t GloChannel(std::uint16_t Key, std::int64_t Time);
    void SetFirstTime(std::int64_t Time);
    void ReportObservations();

    // ---- clock files ------------------------------------------------------------------------
    void ReadClock();

    zqt_obs_intrf::IZQS_OBSFilePtr FOwner;
    RRinexSummary FSummary;
    std::uint8_t FFileType = 0;
    std::uint8_t FVersionIndex = 0;
    std::int32_t FVersion = 0;
    std::int32_t FColumnShift = 0;
    double FInterval = 1.0;
    std::int64_t FFirstObs = 0;
    std::int64_t FLastObs = 0;
    std::int32_t FLeapSeconds = 0;
    std::int64_t FGloOffset = 0;
    bool FGloTimeSystem = false;  // the header's times are GLONASS times
    std::uint8_t FAntennaFlag = 0;
    std::int64_t FDayStart = 0;

    // Lines.
    std::string FLine;  // the line just read
    std::int64_t FLineNo = 0;
    bool FPending = false;

    // Observation header and epochs.
    zqt_obs_intrf::IZQS_FileReceiverPtr FFileReceiver;
    zqt_obs_intrf::IZQS_DataSetPtr FDataSet;
    zqt_obs_intrf::IZQS_EpochPtr FEpoch;
    zqt_obs_intrf::IZQS_SatObsPtr FSatObs;
    zqt_obs_intrf::IZQS_RecordSetPtr FRecordset;
    std::vector<std::uint8_t> FTypes2;  // RINEX 2 RNXOBS codes in type order
    bool FCAFlag = false;               // C1 without P1
    bool FC2Flag = false;               // C2 without P2
    std::unique_ptr<zqt_sat_obs_rcrd::TRnxObsChannels> FChannels;
    std::array<std::vector<RObsEntry>, zqt_sat_obs_types::SatSystemCount> FTypes3;
    zqt_obs_intrf::TGloChannels FHeaderChannels{};  // GLONASS SLOT / FRQ #
    zqt_obs_intrf::TZQS_Occupation FOccupation;
    std::int32_t FEpochFlag = 0;
    std::int32_t FEpochSatCount = 0;
    std::vector<std::uint16_t> FEpochSats;  // RINEX 2 satellites of the epoch (0: skip)
    std::int64_t FEpochTime = 0;
    std::int64_t FFirstEpoch = 0;
    std::int64_t FLastEpoch = 0;

    // Navigation.
    std::shared_ptr<zqt_datastorage_bs::IZQS_DataStorage> FStore;
    zqt_ephem_tp::REphem FEphem;
    std::uint8_t FNavSystem = 0;
    std::uint32_t FNavMask = 0;
    double FTauC = 0.0;
    std::int64_t FFirstRecord = 0;
    bool FIonoGiven = false;
    std::array<RIonoEntry, zqt_sat_obs_types::SatSystemCount> FIono{};
    std::array<RIonoEntry, 24> FBdsIono{};
    zqt_rinexconsts::TRnx4SubType FSubType = zqt_rinexconsts::UNKSBT;
};

// Registers the reader with the observation-file import, with the copy of the own
// recordsets that follows an import.
void InstallRinexReader();

}  // namespace zqt_rnx_reader
