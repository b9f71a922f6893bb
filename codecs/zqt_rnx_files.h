// The base of every RINEX writer (settings, header items, header overrides, output path,
// naming and the header lines all RINEX files share), the observation file writer frame
// that the RINEX 2 and RINEX 3/4 writers fill, the navigation file writer and the
// meteorological file writer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_antenna_rcrd.h"
#include "zqt_classes_bs.h"
#include "zqt_datastorage.h"
#include "zqt_ephem_tp.h"
#include "zqt_geo.h"
#include "zqt_iono_bs.h"
#include "zqt_obs_intrf.h"
#include "zqt_rnx_writer_settings.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_sat_obs_types.h"
#include "zqt_time_bs.h"
#include "zqt_types_bs.h"

namespace zqt_rnx_files {

// A recordset holds nothing that the RINEX version of the output can carry (a system the
// version lacks, every satellite excluded): "No sattypes". Nothing has been written then.
ZQT_DECLARE_EXCEPTION(ExcNoSatTypes, zqt_sat_obs_types::ExceptionZQS, "ExceptionZQS");

using zqt_antenna_rcrd::RFileHeaderFull;
using zqt_datastorage::IZQS_DataStoragePtr;
using zqt_geo::RObsStatistics;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_obs_intrf::IZQS_SatObsPtr;
using zqt_rnx_writer_settings::RRnxWriterSettings;
using zqt_sat_obs_types::TSatSet;
using zqt_types_bs::TZQT_OverloadedParams;

// ---------------------------------------------------------------------------------------
// Calendar and naming

// Calendar fields of a GPS time taken as it is (no leap seconds removed).
struct RRinexTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;        // whole seconds of the minute
    int DayOfYear = 0;     // 1-based
    double Seconds = 0.0;  // seconds of the minute with their fraction
};
RRinexTime DecodeRinexTime(std::int64_t Ticks);

// What the name of a RINEX file is made of.
struct RRinexNameParts {
    std::string OutputPath;  // directory and base name without extension
    std::string MarkerName;
    std::string MarkerNumber;  // text of the marker-number item
    std::string CountryCode;
    std::int64_t FirstObs = 0;  // GPS ticks
    std::int64_t LastObs = 0;
    std::int64_t Interval = 0;  // ticks; 0 counts as one second
    std::uint8_t RnxVersion = 0;
    bool RinexNames = false;
    std::string TypeLetter;  // "o" observation, "N", "G", ... navigation, "p" mixed, "m"
    std::uint8_t NavSystem = 0;
    // The place (0-based) of the file's output among the outputs of the run (one per station
    // of a stream), and their number: RINEX names keep the outputs of a run apart.
    std::size_t Output = 0;
    std::size_t Outputs = 1;
};

// The full name of a RINEX file: a long name (RINEX names from 3.02 on), a short name
// (RINEX names before 3.02), or the output path with ".yy" and the type letter.
// RINEX names tell the outputs of a run apart: in a long name the receiver digit (the
// second digit after the marker name) of a later output is the first's plus its place,
// modulo 10; where the names have no such digit (short names) or a run has more than ten
// outputs, the names of a later output end in "_002", "_003", ... before the extension.
// The first output is always named as a single one.
std::string RinexFileName(const RRinexNameParts& Parts);
// True when the RINEX names of a run of that many outputs number its later outputs.
bool OutputsNumbered(bool RinexNames, std::uint8_t RnxVersion, std::size_t Outputs) noexcept;

// ---------------------------------------------------------------------------------------
// TZQS_RinexFiles

class TZQS_RinexFiles : public zqt_classes_bs::TZQS_TextFileWriter {
public:
    ~TZQS_RinexFiles() override = default;

    // The writer keeps its own copy of the settings.
    void SetSettings(const RRnxWriterSettings& Value) { FSettings = Value; }
    const RRnxWriterSettings& GetSettings() const noexcept { return FSettings; }
    // Header values given on the command line; the given fields replace those of the data.
    void SetOverloadedParams(const TZQT_OverloadedParams& Value) { FOverloaded = Value; }
    const TZQT_OverloadedParams& GetOverloadedParams() const noexcept { return FOverloaded; }
    // Output directory and base name without extension.
    virtual void SetPath(const std::string& Value) { FOutputPath = Value; }
    const std::string& GetOutputPath() const noexcept { return FOutputPath; }
    // The RINEX VERSION / TYPE line.
    virtual void WriteVersionLine();
    // The full name of the file (see RinexFileName).
    virtual std::string GetFileName();
    // The place of the writer's output among the outputs of the run and their number; the
    // writers made from this one take them over.
    void SetOutputPlace(std::size_t Output, std::size_t Outputs) noexcept {
        FOutput = Output;
        FOutputs = Outputs;
    }
    // The full name of the file last written.
    const std::string& GetWrittenName() const noexcept { return FWrittenName; }

    // The header item time of first observation, from which the file is named and dated.
    void SetFirstObsTime(std::int64_t Ticks);
    std::int64_t GetFirstObsTime() const;
    RFileHeaderFull& HeaderItems() noexcept { return FHeader; }
    const RFileHeaderFull& HeaderItems() const noexcept { return FHeader; }

    // Systems of the output (bit s = system s).
    std::uint32_t GetSystemMask() const noexcept { return FSystemMask; }
    // System of a navigation writer; in an observation writer the switch of its
    // navigation files.
    std::uint8_t GetNavSystem() const noexcept { return FNavSystem; }
    const std::string& GetFileTypeLetter() const noexcept { return FFileTypeLetter; }
    const std::string& GetFileTypeText() const noexcept { return FFileTypeText; }
    const std::string& GetSystemText() const noexcept { return FSystemText; }
    const IZQS_RecordSetPtr& GetRecordset() const noexcept { return FRecordset; }

    // A header line: Content cut or padded to 60 characters, Label to 20, trailing blanks
    // removed.
    void WriteHeaderLine(std::string_view Content, std::string_view Label);
    template <class... A>
    void WriteHeaderFmt(std::string_view Label, std::string_view Template, const A&... Args) {
        WriteHeaderLine(FormatPoint(Template, Args...), Label);
    }
    void WriteComment(std::string_view Text) { WriteHeaderLine(Text, "COMMENT"); }
    // A body line; trailing blanks are removed unless the keep-blanks setting is on.
    void WriteLine(std::string_view Text);

    // Format with "." as decimal separator.
    template <class... A>
    static std::string FormatPoint(std::string_view Template, const A&... Args) {
        return sysutils::FormatS(sysutils::PointFormatSettings(), Template, Args...);
    }

protected:
    // Copies what a further writer made from this one takes over: settings, recordset,
    // epoch and satellite observations, output path, system mask, header items and
    // overrides, and the events of the application; the country-code override becomes
    // the country-code item.
    void CopyFrom(const TZQS_RinexFiles& Source);

    // The common header lines.
    void WritePgmLine();
    void WriteMarkerLines();
    void WriteLeapSecondsLine();
    void WriteEndOfHeader() { WriteHeaderLine("", "END OF HEADER"); }

    // The name parts of this writer's file.
    RRinexNameParts NameParts() const;

    // Header item helpers: the text of an item ("" for Null, Empty or an unreadable
    // value); a number formatted by a fixed-width template, blanks of that width when the
    // item is no number or does not fit.
    static std::string ItemText(const zqt_variant::Variant& Item);
    // The text given on the command line for the field, else the item's text.
    std::string GivenOrItem(zqt_types_bs::eFields Field, const std::string& Given,
                            const zqt_variant::Variant& Item) const;
    static bool ItemNumber(const zqt_variant::Variant& Item, double& Value);
    // A time or interval item in ticks (a Currency item by its raw value).
    static bool ItemTicks(const zqt_variant::Variant& Item, std::int64_t& Ticks);
    static std::string FixedNumber(std::string_view Template, std::size_t Width, double Value);
    static bool ItemTrue(const zqt_variant::Variant& Item);

    std::string FFileTypeText;
    std::string FSystemText;
    std::string FOutputPath;
    std::string FWrittenName;
    std::uint32_t FSystemMask = 0;
    IZQS_RecordSetPtr FRecordset;
    IZQS_EpochPtr FEpoch;
    IZQS_SatObsPtr FSatObs;
    std::string FFileTypeLetter;
    RRnxWriterSettings FSettings;
    RFileHeaderFull FHeader;
    TZQT_OverloadedParams FOverloaded;
    std::uint8_t FNavSystem = 0;
    std::size_t FOutput = 0;
    std::size_t FOutputs = 1;
};

// ---------------------------------------------------------------------------------------
// TZQS_RinexObservations

// One free event of the data set waiting to be written into the body.
struct RPendingEvent {
    std::int64_t Time = 0;   // GPS ticks
    double TimeValue = 0.0;  // seconds
    std::uint8_t Kind = 0;   // EFreeEvents
    std::string Tag;
    std::string Value;
    std::string Text;
};

// Writes one RINEX observation file from a recordset (and, unless switched off, its
// navigation files). The version writers fill the slots.
class TZQS_RinexObservations : public TZQS_RinexFiles {
public:
    ~TZQS_RinexObservations() override;

    // The whole file; afterwards GetWrittenName holds its name. The header and the body
    // are written to "obsheader.tmp" and "obsbody.tmp" of a private temporary folder,
    // which lose their names as soon as they are made (nothing of them stays, however the
    // process ends). The file appears under its name only when complete (or, while an
    // output set is current, when the set is published): a failure leaves an earlier file
    // of the name as it was.
    virtual void WriteFile();
    // The navigation files (and the meteorological writer) made from this writer.
    virtual void WriteNavigationFiles();

    // Header items that replace those of the recordset (items left Empty or Null do not).
    RFileHeaderFull& SecondHeaderItems() noexcept { return FHeader2; }

    // Results of the prepare step: the satellites of the file, their count and the
    // observation types per system (bit t = type t).
    const TSatSet& GetSatSet() const noexcept { return FSatSet; }
    std::int32_t GetSatCount() const noexcept { return FSatCount; }
    std::uint32_t GetObsTypes(unsigned Sys) const noexcept { return Sys < 8 ? FObsTypes[Sys] : 0; }

protected:
    // Keeps the recordset, takes its data set's signal mapping, its epoch and that
    // epoch's satellite observations. No recordset, or one that hands out no epoch,
    // raises zqt_types_bs::ExceptionZQS.
    void InitFrom(const IZQS_RecordSetPtr& Recordset);

    // ---- slots of the version writers ----------------------------------------------------
    virtual void WriteObsTypeLines() = 0;
    virtual void WriteLateLines() = 0;
    virtual void WriteWavelengthLines() {}
    virtual void WriteGloSlotLines() {}
    // Versions without the GLONASS COD/PHS/BIS record: comments that state the code-phase
    // biases applied to the file's GLONASS phases, when any was.
    virtual void WriteGloBiasLines();
    // Statistics of the recordset restricted by the settings; the file's systems and
    // satellites. No system left: "No sattypes".
    virtual void Prepare();
    // The epoch line(s) of the current epoch (FEpochSats holds its satellites).
    virtual void WriteEpochHeader() = 0;
    // Formats the observation record of the current satellite into the record buffer.
    virtual void AddSatRecord(std::uint16_t Key) = 0;
    // Writes the record buffer.
    virtual void WriteEpochObservations();
    // An event epoch line at the calendar fields of T with the fraction of Seconds.
    virtual std::string FormatEventEpochLine(const RRinexTime& T, double Seconds, int Flag,
                                             int Count) = 0;

    // ---- shared by the version writers ---------------------------------------------------
    // The 16-character field "%14.3f%1s%1s" of observation type T of the current
    // satellite into Field; false (and 16 blanks) when the satellite has no such
    // observation or its value cannot be written.
    bool FormatObsField(unsigned T, std::array<char, 16>& Field);
    // A line of the record buffer for the current epoch, cleared.
    std::string& NewRecordLine();
    // The epoch's receiver clock offset in seconds; false when unknown, switched off or
    // not writable in Width characters by Template.
    bool EpochClock(std::string_view Template, std::size_t Width, std::string& Text);
    // Removes systems without observation codes from the file (system mask, satellite
    // set, observation types); "No sattypes" when none is left.
    void DropSystems(std::uint32_t Systems);
    void RecountSats();
    // The code as the file's version writes it (BeiDou B1 is band 1 in RINEX 3.02).
    std::string VersionCode(unsigned Sys, std::string Code) const;
    static std::uint32_t CapCount(std::uint32_t N) noexcept { return N > 999999u ? 999999u : N; }
    // The GLONASS biases (m) as the entries " %3s %8.3f" of C1C, C1P, C2C and C2P.
    static std::string GloBiasEntries(const zqt_obs_intrf::TGloPhaseBiases& Biases);

    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> FMapping;
    std::unique_ptr<RObsStatistics> FStats;
    TSatSet FSatSet;
    std::int32_t FSatCount = 0;
    std::array<std::uint32_t, 8> FObsTypes{};  // per system, bit t = type t

    // The current epoch.
    std::int64_t FEpochTime = 0;
    std::uint8_t FEpochFlag = 0;
    std::vector<std::uint16_t> FEpochSats;
    std::vector<std::string> FRecordLines;
    std::size_t FRecordCount = 0;

    std::int64_t FFirstWritten = 0;
    std::int64_t FLastWritten = 0;
    bool FWrittenAny = false;
    std::int64_t FMinSpacing = 0;  // ticks

private:
    void WriteHeaderPart1();
    void WriteBody();
    void WriteLateHeader();
    void WriteAntennaLines();
    void WritePhaseShiftLines();
    void ApplySecondHeader();
    bool FetchEvent();
    void WriteEvent();
    // Header items a station file should carry that were written blank (neither the
    // recording nor the command line gave a value): noted while the header is written and
    // named in one notice once the file is complete.
    void NoteBlankItem(bool Blank, std::string_view Item);
    void ReportBlankItems(const std::string& FileName);
    // Systems of the recordset that the chosen RINEX version cannot carry (and the user did
    // not leave out), named in one notice once the file is complete.
    void ReportSystemsNotCarried(const std::string& FileName);
    // GLONASS phases (and range-rate Dopplers) left blank because no frequency channel is
    // known for their satellite (neither the recording nor an ephemeris gave one), counted
    // while the body is written and named in one notice once the file is complete.
    void ReportWithoutChannel(const std::string& FileName);

public:
    std::uint32_t NotCarriedSystems() const noexcept { return FNotCarriedSystems; }
    // True when every system asked for that the recordset observed is beyond the version
    // (before satellites and observation types are left out): a file without systems then
    // owes its emptiness to the version, else to the systems, satellites and types chosen.
    bool OnlyNotCarried() const noexcept { return FOnlyNotCarried; }

protected:
    std::uint32_t FNotCarriedSystems = 0;  // observed, asked for, beyond the version

private:
    RFileHeaderFull FHeader2;
    std::vector<std::string> FBlankItems;
    std::int64_t FPhasesWithoutChannel = 0;
    std::int64_t FDopplersWithoutChannel = 0;
    std::uint32_t FWantedSystems = 0;  // the systems asked for, before the version's limit
    bool FOnlyNotCarried = false;
    std::int64_t FFirstObsNoted = 0;
    SQLiteExt::IESQLiteSelectStatementPtr FEvents;
    RPendingEvent FEvent;
    bool FEventPending = false;
    std::int32_t FFreeEventCount = 0;
    // Loss of lock seen on a phase that could not be written, per svprn and slot; it is
    // reported with the next written phase of that signal.
    std::vector<std::uint8_t> FPendingLli;
};

// ---------------------------------------------------------------------------------------
// TZQS_RinexNavigation

// Text of a number of a navigation file in exponent form with "." as decimal separator:
// a minus sign only for a negative value (-0.0 prints as "0.000..."), one digit, ".", the
// remaining of Digits significant digits, "E", the exponent sign and at least two
// exponent digits ("1.000000000000E+00"). A three-digit exponent costs significant digits
// rather than letting the text grow past Width. With DExponent the "E" is a "D". NaN and
// infinities give "" (a blank field).
std::string RinexNavNumber(double Value, int Digits, std::size_t Width, bool DExponent);

// The record buffer of a navigation writer, in which every record is composed before it
// is written. Opening a record sets only the key and the line count to 0: kind, message
// type and the values of lines a record does not set stay as the previous record left
// them.
struct RRnxNavRecord {
    std::string Kind = "EPH";      // "EPH", "STO" or "ION"
    std::string MsgType = "LNAV";  // "LNAV", "FDMA", "FNAV", "INAV", "D1", "D2", "SBAS", ...
    std::uint16_t Key = 0;         // satellite key (svprn)
    std::int64_t Time = 0;         // GPS ticks
    // Line 0: the three clock values of the epoch line (the fourth is never printed);
    // lines 1 on: the orbit lines. NaN prints as a blank field.
    std::array<std::array<double, 4>, 10> Lines{};
    std::int32_t LineCount = 0;
    std::uint8_t Sys1 = 0;  // time systems of an STO record
    std::uint8_t Sys2 = 0;
};

// Writes RINEX navigation files of versions 2.xx, 3.xx and 4.00 from a navigation store:
// one file per satellite system or one mixed file, with the ionosphere and time-system
// header lines (before 4.00), one record per broadcast ephemeris and, in 4.00, the STO
// and ION records.
class TZQS_RinexNavigation : public TZQS_RinexFiles {
public:
    // A writer of one mixed navigation file from the store: systems 1 to 6 that the
    // settings include; the header's time of first observation is the store's begin time.
    static std::shared_ptr<TZQS_RinexNavigation> Create(const IZQS_DataStoragePtr& Store,
                                                        const RRnxWriterSettings& Settings);
    // A writer of the navigation file of System (GPS for the mixed file) beside an
    // observation file: settings, header items and system mask of the observation writer,
    // the navigation store of its recordset. A 2.11 output writes GPS and GLONASS files
    // as 2.10.
    static std::shared_ptr<TZQS_RinexNavigation> CreateFrom(const TZQS_RinexObservations& Source,
                                                            std::uint8_t System);
    // Writes the file when a system is to be written (with the mixed setting every system
    // of the mask, else the navigation system when it is in the mask); nothing otherwise.
    // A version 2 file needs a file type for its system (BeiDou has none: its ephemerides
    // are counted in a console message instead). Without a
    // navigation store, or when writing fails, raises; the file appears under its name
    // only when complete (a failure leaves an earlier file of the name as it was).
    virtual void WriteFile();

    // The systems WriteFile writes (bit s = system s); 0 when it writes nothing.
    std::uint32_t SystemsToWrite() const;
    const IZQS_DataStoragePtr& GetStore() const noexcept { return FStore; }
    // The store to write from (CreateFrom takes the one of the recordset).
    void SetStore(IZQS_DataStoragePtr Value) { FStore = std::move(Value); }

protected:
    // Names on the console the ephemerides that WriteFile leaves out because of the version:
    // of a system it has no navigation file type for, or whose observations it cannot carry.
    void ReportWithoutFileType();
    // Parameter sets (STO, ION) of a 4.00 file left out because the file holds no satellite
    // of their system to name them after: counted while the systems are written, named once.
    void ReportSetsWithoutSatellite();
    void WriteHeader();
    void WriteIonoHeaderLines(std::uint32_t Systems);
    void WriteTimeCorrLines(std::uint32_t Systems);
    void WriteSystem(std::uint8_t System);
    // Writes the record of one ephemeris by the writer of its system.
    void WriteEphemeris(const zqt_ephem_tp::REphem& E);
    void WriteGpsRecord(const zqt_ephem_tp::REphem& E);
    void WriteGalileoRecord(const zqt_ephem_tp::REphem& E);
    void WriteBeiDouRecord(const zqt_ephem_tp::REphem& E);
    void WriteGlonassRecord(const zqt_ephem_tp::REphem& E);
    void WriteSbasRecord(const zqt_ephem_tp::REphem& E);
    void WriteStoRecord(const zqt_time_bs::RTimeParams& Set, std::uint16_t Key);
    void WriteIonRecord(const zqt_iono_bs::RIono& Set, std::uint16_t Key);

    // The record buffer: open a record, set one line, write the buffer.
    void ClearRecord();
    void SetLine(std::size_t Line, double V1, double V2, double V3, double V4);
    void WriteRecord();
    // The clear step and the head of an EPH record of the ephemeris.
    void StartEphemeris(const zqt_ephem_tp::REphem& E);
    // Lines 0 to 7 of a Keplerian record.
    void SetKeplerLines(const zqt_ephem_tp::REphem& E);

    // A value as its 19-column field (19 blanks for NaN).
    std::string Field(double Value) const;
    // The orbit line of a buffer line, after the indent that aligns it with its epoch line.
    std::string OrbitLine(std::size_t Line, std::string_view Indent) const;
    // Records outside the recordset's span widened by 7200 s are left out when the
    // settings ask for the time window.
    bool InTimeWindow(std::int64_t Time) const;
    // The satellite of a written EPH record of System nearest to Time; 0 when the file
    // holds none.
    std::uint16_t TransmittingSatellite(std::uint8_t System, std::int64_t Time) const;

    IZQS_DataStoragePtr FStore;
    RRnxNavRecord FRecord;
    // The ephemerides of the system being written.
    zqt_ephem_tp::TEphemArray FEphemerides;
    // Time and satellite of every EPH record written, per system.
    std::array<std::vector<std::pair<std::int64_t, std::uint16_t>>, 8> FWrittenSats;
    std::array<std::int64_t, 8> FSetsWithoutSatellite{};
    std::uint32_t FNotCarriedSystems = 0;  // observed, asked for, beyond the version
};

// ---------------------------------------------------------------------------------------
// TZQS_RinexMeteo

// The meteorological file writer beside an observation file; it writes no file.
class TZQS_RinexMeteo : public TZQS_RinexFiles {
public:
    static std::shared_ptr<TZQS_RinexMeteo> CreateFrom(const TZQS_RinexFiles& Source);
    virtual void WriteFile() {}
};

}  // namespace zqt_rnx_files
