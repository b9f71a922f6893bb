// The converter: its option table in English and Russian, the console messages, the
// turning of the parsed options into the run settings, and the conversion run itself
// (working database, imports, RINEX output, console output, exit codes).
#pragma once

#include <signal.h>

#include <array>
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SQLiteExt.h"
#include "UMerrow.h"
#include "zqt_datastorage.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_rnx_files.h"
#include "zqt_rnx_writer_settings.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

namespace tolvar_project {

using zqt_rnx_writer_settings::RRnxWriterSettings;
using zqt_types_bs::TRReaderSettings;
using zqt_types_bs::TZQT_OverloadedParams;

// ---------------------------------------------------------------------------------------
// Language and console messages

// 0 English, 1 Russian: selects the option table and the message texts.
inline std::int32_t LanguageIndex = 0;

enum EMessage : int {
    msgNotice = 0,              // the banner's notice line
    msgNoDay = 1,               // no --day and no date in the file name
    msgWrongTime = 2,           // --st / --ft not dd_mm_yy_hh_mm_ss
    msgWrongDate = 3,           // --day not dd_mm_yy
    msgUnsupportedVersion = 4,  // "%4.2f" of the -v value
    msgMixedNavVersion = 5,     // --mxd with a RINEX 2 version
    msgNoEpochInWindow = 6,     // --st, --ft or --dt kept no epoch of the input
    msgNotRegularFile = 7,      // an input that is a pipe or a device
    msgOutputIsInput = 8,       // an output file that is one of the inputs
    msgStaleRemoved = 9,        // files of killed runs removed
    msgExtraInputs = 10,        // more than one positional argument
    msgStationNoEpochs = 11,    // --st, --ft or --dt kept no epoch of one station
    msgOutputsNumbered = 12,    // RINEX names that cannot tell the stations apart
    msgNavigationOnly = 13,     // a recording without frames: navigation from --borb, --rorb
    msgStaleRestored = 14,      // earlier files put back after a run killed while publishing
    msgNothingToWrite = 15,     // frames, but no observation to write and no ephemeris
    msgNotCarried = 16,         // an output whose systems the RINEX version cannot carry
    msgNoneChosen = 17,         // an output that the chosen systems and satellites leave empty
    msgSbasNotDecoded = 18,     // SBAS asked for with --icss
    msgNothingWritten = 19,     // no output of the recording could be written
    msgFarEphemerides = 20,     // ephemerides outside every navigation file's window
    msgStaleLeftAlone = 21,     // a name a killed run had placed a file under holds another now
    msgNoObsEphemerides = 22,   // ephemerides of a system no observation file holds
    msgWaitingForFolder = 23,   // another run is putting its files into the output folder
    msgStaleUndecided = 24,     // hidden files of runs that may not have ended, left in place
    msgNoFileLocks = 25,        // an output folder whose file system does not lock files
    msgStaleKeptUnread = 26,    // an earlier file left hidden: a killed run's list unreadable
};
inline constexpr int MessageCount = 27;

// Message pairs (English, Russian) by message number.
extern const std::array<std::array<std::string_view, 2>, MessageCount> Messages;

// The text of a message in the language of LanguageIndex.
std::string_view Message(EMessage index) noexcept;

// The usage line of the help (the parser follows it with an empty line).
inline constexpr std::string_view UsageText = "tolvar [-options] rtcmfilename\n";

// The option keys of the header overrides, indexed by eFields (entry 0 unused). "fv"
// (firmware version) has no option.
inline constexpr std::array<std::string_view, zqt_types_bs::FieldCount> HeaderFieldKeys{
    "",  "RB", "OB", "AG", "MN", "MB", "MT", "CC", "X",  "Y",
    "Z", "RN", "RT", "fv", "AN", "AT", "AH", "DE", "DN", "DH"};

// ---------------------------------------------------------------------------------------
// Option table

enum class EOptionKind : std::uint8_t { Text, Boolean, Integer, Float, Directory, File };

// One option: key, kind, default and limits, and its help in both languages. Directory
// options use the three modes as existence, emptiness and writability; file options the
// first two as existence and writability.
struct ROptionDef {
    std::string_view Key;
    EOptionKind Kind;
    std::string_view TextDefault;  // text, directory and file options
    double NumDefault;             // Boolean (nonzero = True), integer and float options
    double Minimum;
    double Maximum;
    std::uint8_t Mode1;
    std::uint8_t Mode2;
    std::uint8_t Mode3;
    std::string_view HelpEN;
    std::string_view HelpRU;
};

inline constexpr int OptionCount = 51;
extern const std::array<ROptionDef, OptionCount> OptionTable;

// The registered parameters of the table in one language (0 English, 1 Russian).
UMerrow::TParameterArray CreateParameters(int language);

// Register the options with their English or Russian help and parse the arguments
// (index 0 is the program path). Help requests print to out.
std::unique_ptr<UMerrow::TParameters> CreateParserEN(const std::vector<std::string>& args,
                                                     std::ostream& out = std::cout,
                                                     int consoleWidth = 0);
std::unique_ptr<UMerrow::TParameters> CreateParserRU(const std::vector<std::string>& args,
                                                     std::ostream& out = std::cout,
                                                     int consoleWidth = 0);

// ---------------------------------------------------------------------------------------
// Run settings

// What the options decide for one run.
struct RRunSettings {
    RRnxWriterSettings Settings;                   // copied into every writer
    TRReaderSettings ReaderSettings;               // passed to every import
    TZQT_OverloadedParams Overloaded;              // header overrides
    std::unique_ptr<UMerrow::TParameters> Params;  // kept for the whole run
    std::string InputFile;
    std::string DbName;               // working database: empty, a private temporary database
    std::string Borb;                 // RINEX navigation files, comma-separated
    std::string Rorb;                 // RTCM ephemeris file
    std::int64_t Day = 0;             // GPS ticks of the run's day
    std::vector<std::string> Inputs;  // every file the run reads (input, --rorb, --borb)
};

// The text of a time option dd_mm_yy_hh_mm_ss (seconds may have a fraction) as GPS
// ticks; an empty text gives 0. Another number of items raises message 2; a non-numeric
// item or a year outside 1..9999 raises EConvertError; a day, month, hour, minute or second
// outside its calendar range raises ECommandLineParser "\"%s\" is not a valid value for
// the \"%s\" parameter" with the text and the option key. Two-digit years below 50 are
// 20yy, 50 to 99 are 19yy. No leap seconds are applied.
std::int64_t ParseTime(std::string_view text, std::string_view key = "st");
// The same for a day dd_mm_yy at 00:00:00 (message 3 for a wrong number of items).
std::int64_t ParseDay(std::string_view text, std::string_view key = "day");

// The antenna height (--AH, a text option read as a number) within the limits of the
// antenna offsets.
inline constexpr double AntennaHeightMinimum = -100;
inline constexpr double AntennaHeightMaximum = 100;

// The header override of one option key (see HeaderFieldKeys): when the option was given
// its field is stored and marked as given, otherwise it is marked as not given. A key that
// is no header field does nothing.
void SetHeaderField(TZQT_OverloadedParams& overloaded, const UMerrow::TParameters& params,
                    std::string_view key);

// Parses the arguments (index 0 is the program path) with the option table of
// LanguageIndex into run. Returns false when there is nothing to convert: with no input
// file the banner goes to out. Raises on every option that cannot be used.
bool ParseParams(RRunSettings& run, const std::vector<std::string>& args,
                 std::ostream& out = std::cout, int consoleWidth = 0);

// The version index (ERnxVersion ordinal) of a -v value: the entry of the version table
// equal to trunc(value x 100 + 0.1); 0 when there is none.
std::uint8_t VersionIndexOf(double value) noexcept;

// ---------------------------------------------------------------------------------------
// Output names and windows

// Raises ExceptionInconsistentParams (message 8) when the file Output exists and is one of
// the run's inputs (also under another name or through a link).
void RefuseInputAsOutput(const RRunSettings& Run, const std::string& Output);
// The same before any work, for the names that the options alone decide: without RINEX
// names the files are "<output path>.<yy><letter>", yy of the run's day.
void RefuseOutputOverInput(const RRunSettings& Run);
// The folder that takes the files: the folder part of an output name that has one, else
// the output directory.
std::string OutputFolderOf(const RRunSettings& Run);

// The output name of the Index-th (0-based) output recordset of a data set, in time
// order: the first keeps the name, the later ones get "_002", "_003", ...
std::string RecordsetOutputName(const std::string& OutputName, std::size_t Index);
// The name of the Index-th (0-based) hourly piece: the name followed by the character of
// code 97 + Index (taken modulo 256): "a", "b", ... "z", "{", ...
std::string HourlyPieceName(const std::string& OutputName, std::size_t Index);
// The output path of a writer: a name with a directory part as it stands; a bare name
// inside the output directory, which first gets its trailing "/" when it has none.
std::string OutputPath(std::string& OutputDir, const std::string& OutputName);

// The navigation-only output of a day: the store covers three days on either side; the
// file is named and dated from the day itself.
struct RNavigationWindow {
    std::int64_t BegTime = 0;
    std::int64_t EndTime = 0;
    std::int64_t FileTime = 0;
};
inline constexpr std::int64_t NavigationHalfWindow = 3 * zqt_timefunc::TicksPerDay;
RNavigationWindow NavigationOnlyWindow(std::int64_t Day) noexcept;

// ---------------------------------------------------------------------------------------
// Exit codes

inline constexpr int ExitOK = 0;
inline constexpr int ExitCantOpenFile = 42;        // ExcZQSCantOpenFile
inline constexpr int ExitInconsistentParams = 47;  // ExceptionInconsistentParams
inline constexpr int ExitInconsistentConfig = 48;  // ExceptionInconsistentConfig
inline constexpr int ExitFailure = 50;             // any other exception

// The exit code of the exception that ended the program.
int ExitCodeOf(const std::exception& E) noexcept;
// "ClassName Message" of an exception, as the program prints it.
std::string ErrorLine(const std::exception& E);
// A text as the console gets it: texts from files and the database may hold control
// characters that a terminal would obey. A carriage return (alone or before a line feed)
// becomes a line feed; every other control character, C1 controls and bytes that are no
// UTF-8 are shown as "?".
std::string ConsoleText(std::string_view Text);

// ---------------------------------------------------------------------------------------
// The application

class TTolvar_project : public zqt_project::TZQS_Project {
public:
    // The process arguments (index 0 is the program path) and the console output.
    void SetArguments(std::vector<std::string> Args) { FArgs = std::move(Args); }
    void SetOutput(std::ostream& Out) noexcept { FOut = &Out; }

    // The conversion: options, working database, imports, output, " ready" and the time.
    void Run();
    // Turns the process arguments into the run settings; false when there is nothing to
    // convert (banner or help only).
    bool ParseParams();

    // Writes the output recordsets of the data sets (one per station of the stream, in the
    // order their epochs began), each data set's in time order: the first under the output
    // name, the later ones with "_002", "_003", ...; without one, only a navigation file,
    // and without an ephemeris either, nothing (message 15 is raised).
    // RINEX names tell the outputs apart too (see zqt_rnx_files::RinexFileName); where they
    // number them, the console says so once. Returns the output name of the first output
    // written ("" for none).
    std::string WriteReceiver(const std::vector<std::int32_t>& DataSetIDs,
                              const std::string& OutputName);
    // The same, each recordset split into clock-hour pieces (an hour without epochs gives
    // none) named with a letter, RINEX naming forced on; without an output recordset, only
    // a navigation file.
    std::string WriteHourly(const std::vector<std::int32_t>& DataSetIDs,
                            const std::string& OutputName);

    void ImportNavFiles();
    void ImportRtcmEphemeris();
    void ImportInput();

    // Console events: "\r%3d" per progress step, an empty line and the text per message.
    void ShowPercent(const void* Sender, const std::string& Name, double Elapsed,
                     std::int32_t Percent, bool& Cancel);
    void ShowMessage(const std::string& Text, std::uint8_t Kind);
    // Ends a progress text still open on the console, so that the run's closing lines and a
    // failure's message (on standard error) start lines of their own.
    void EndProgressLine();

    RRunSettings& GetRunSettings() noexcept { return FRun; }

private:
    // One file set of the run: an output recordset or a clock-hour piece of one.
    struct ROutputPiece {
        std::int32_t RecordsetID = 0;
        std::string Name;        // the piece's output name
        std::string OutputName;  // the output name of its output recordset
        std::size_t Output = 0;  // the place of that recordset among the run's
    };
    // The span of a written observation file, the systems of its navigation files and the
    // systems it observed (those too that the version could not carry).
    struct RNavigationSpan {
        std::int64_t BegTime = 0;
        std::int64_t EndTime = 0;
        std::uint32_t Systems = 0;
        std::uint32_t Observed = 0;
    };
    // Why an output recordset gave no file.
    enum class ESkipped : std::uint8_t {
        None,
        NotCarried,  // the RINEX version carries none of the systems it observed
        NoneChosen,  // the chosen systems, satellites and observation types leave nothing
    };
    // One output recordset into one observation file (and its navigation files), the
    // Output-th of Outputs. The span of a file written with navigation files is added to
    // Spans.
    ESkipped WriteRecordset(std::int32_t RecordsetID, const std::string& OutputName,
                            std::size_t Output, std::size_t Outputs,
                            std::vector<RNavigationSpan>& Spans);
    // The pieces of a run of Outputs output recordsets, each into its files; a piece that
    // holds nothing the RINEX version and the chosen systems let through is skipped with a
    // message and the others are written. When no piece could be written, message 19 is
    // raised. Returns the output name of the first piece written's recordset.
    std::string WritePieces(const std::vector<ROutputPiece>& Pieces, std::size_t Outputs);
    // True when --icss names SBAS (and --ecss leaves it): its observations are never written.
    bool SbasAsked() const;
    // Counts on the console, per system, the ephemerides of the run that no navigation file
    // written holds: those in no window of the files of their system (each file's span and
    // four hours on either side), and those of a system that no observation file written
    // observed (unless --icss or --ecss left it out).
    void SayEphemeridesNotWritten(const std::vector<RNavigationSpan>& Spans);
    // Says once that the RINEX names of the run's Outputs outputs are numbered, when they are.
    void SayOutputsNumbered(std::size_t Outputs);
    // The data sets that have epochs, when a time window or interval is set (all of them
    // otherwise); each station left out (Stations names them, in the same order) is said.
    // Raises message 6 when the window or interval has kept no epoch of data sets that
    // recorded observations.
    std::vector<std::int32_t> DataSetsInWindow(const std::vector<std::int32_t>& DataSetIDs,
                                               const std::vector<std::string>& Stations);
    // The output recordsets of the data sets, one data set after the other.
    std::vector<std::int32_t> OutputRecordsets(const std::vector<std::int32_t>& DataSetIDs);
    // The navigation store of the run's day (three days on either side), loaded; empty when
    // it holds no ephemeris.
    zqt_datastorage::IZQS_DataStoragePtr NavigationOnlyStore();
    // A mixed RINEX 3.05 navigation file of the run's day from that store.
    void WriteNavigationOnly(const std::string& OutputName,
                             const zqt_datastorage::IZQS_DataStoragePtr& Store);
    // Hands a writer its output path, the run's events and log, and the header overrides.
    void PrepareWriter(zqt_rnx_files::TZQS_RinexFiles& Writer, const std::string& OutputName);
    SQLiteExt::IESQLiteDatabasePtr Database();

    RRunSettings FRun;
    std::vector<std::string> FArgs;
    std::ostream* FOut = &std::cout;
    bool FProgressOpen = false;  // a progress text without line end is on the console
    zqt_obs_intrf::IZQS_OBSFilePtr FObsFile;
};

// SIGINT, SIGTERM, SIGHUP and SIGPIPE set the cancel flag, each time: the run stops at
// its next progress step and unwinds (its unfinished files removed) to the message
// "Cancelled by user". Nothing of a run stays even when it is killed (its temporary and
// unfinished files have no names).
inline constexpr std::array<int, 4> InterruptSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};
void InstallInterruptHandlers();

// The program: start-up (configuration, folders), the application object, the language,
// the run. Messages of a failure go to err as "ClassName Message"; returns the exit code.
int RunApplication(const std::vector<std::string>& Args, std::ostream& Out = std::cout,
                   std::ostream& Err = std::cerr);

}  // namespace tolvar_project
