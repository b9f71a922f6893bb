// Reader of RTCM 3 recordings into an observation file object, and the start-time search
// that the main program and the import use.
//
// A raw recording (a plain RTCM 3 byte stream) is read twice: the first pass decodes the
// station, descriptor and ephemeris messages and notes every message number present; the
// navigation store is then limited to the days around the recording and reloaded; the
// second pass decodes the station messages and the observation messages chosen from that
// census (the highest MSM type of each system, legacy 1004/1012 of a system without MSM).
// A BNC raw file (text header lines "time ... RTCM ... byte count", each followed by that
// many bytes of RTCM 3 data and a line end) is read the same way, record by record, each
// record's time serving as the decoder's reference time: the two passes and their message
// choice make it convert to the same observations as the raw stream it carries (a single
// pass with every message would store a satellite twice where a system is sent in two MSM
// types, and lose both copies). Both kinds are closed alike: the last epoch, the station
// description, the file's time span, its receivers written, and the data sets finished
// (their output recordsets derived).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zqt_arrays.h"
#include "zqt_classes_bs.h"
#include "zqt_file_obs.h"
#include "zqt_rtc_parser.h"
#include "zqt_types_bs.h"

namespace zqt_rtcm_reader {

// Faults of an RTCM file as a whole (a malformed BNC record, no start time).
ZQT_DECLARE_EXCEPTION(ExceptionRTCMReader, zqt_types_bs::ExceptionZQS, "ExceptionRTCMReader");
// A recording without a single RTCM 3 frame ("No RTCM 3 message found in %s").
ZQT_DECLARE_EXCEPTION(ExceptionNoRTCMFrame, ExceptionRTCMReader, "ExceptionRTCMReader");

// The marker of a BNC raw file in its first line.
inline constexpr const char* BncRawMarker = "TTTTTBNC raw file";
// The longest line of a BNC raw file that is read as a line (a record line holds under
// 100 characters): a longer one is damaged, whatever follows it.
inline constexpr std::size_t BncMaxLineLength = 4096;
// Bytes of a recording searched for the first RMC sentence.
inline constexpr std::int64_t StartTimeScanBytes = 80000;

// What one Execute did, for the log and the tests.
struct RImportSummary {
    bool Bnc = false;
    std::int32_t Passes = 0;
    std::int64_t BncRecords = 0;
    zqt_arrays::TSortedArrayOfInteger Census;    // message numbers of the recording
    zqt_arrays::TSortedArrayOfInteger Selected;  // numbers decoded in the second pass
    std::int32_t Epochs = 0;                     // epochs closed by the decoder
    std::int64_t FirstEpoch = 0;                 // GPS ticks of the first and last epoch
    std::int64_t LastEpoch = 0;                  // written (0 when none was)
    std::int64_t LateEpochs = 0;
    zqt_rtc_parser::TZQS_RTCM_Decoder::RAssemblyCounts Assembly;  // repairs and skips
    std::int64_t DecodeErrors = 0;                                // messages not decoded, last pass
    std::int64_t Frames = 0;                                      // RTCM 3 frames (first pass)
    std::int64_t SkippedBytes = 0;                       // bytes outside frames and NMEA sentences
    zqt_rtc_parser::TZQS_RTCM_Parser::RNmeaCounts Nmea;  // sentences of the second pass
    std::int64_t BadBncLines = 0;                        // damaged BNC records passed over
    bool Closed = false;                                 // the import was closed (epochs met)
};

class TZQS_RTCMReader : public zqt_classes_bs::TZQS_TextFileReader {
public:
    // A reader of the owner's file; start time := the settings' day start.
    static std::shared_ptr<TZQS_RTCMReader> Create(const zqt_obs_intrf::IZQS_OBSFilePtr& Owner,
                                                   const zqt_types_bs::TRReaderSettings& Settings);

    // The whole import into the owner. A BNC raw file without a single sound record line
    // raises ExceptionRTCMReader "Error reading BNC raw file %s" (damaged record lines
    // among sound ones are passed over with their data), a file without a single RTCM 3
    // frame "No RTCM 3 message found in %s"; the decoder's buffer overflow, a cancel and failures
    // of the navigation store and of the closing steps leave it as well. Epochs are written while
    // they complete, so a failure leaves the epochs written so far. What could not be read
    // (bytes outside frames, messages not decoded, late epochs) is reported as a message.
    void Execute() override;

    const RImportSummary& Summary() const noexcept { return FSummary; }

    // The start time of a recording in GPS ticks, 0 when none is found: the time of the
    // first RMC sentence within the first 80,000 bytes of the stream, else the date (and
    // time) in the file name: the name without folder and extension is searched for its
    // first "_20"; from that "2" on, a text shorter than 11 characters is read as
    // yyyy_mm_dd, a longer one as yyyy_mm_dd_hh_nn_ss; a text that does not fit gives 0.
    static std::int64_t GetStartTime(const std::string& FileName);
    // GetStartTime; 0 raises ExceptionRTCMReader.
    static std::int64_t GetStartTimeChecked(const std::string& FileName);

protected:
    // One pass over the whole file: from the start, every byte to the parser, until the
    // end of the file or the parser's stop.
    void FeedFile(zqt_rtc_parser::TZQS_RTCM_Parser& Parser);
    // The same, ending once the file position passes Limit, the parser's reference time is
    // set or the parser stops.
    void FeedFileUntil(zqt_rtc_parser::TZQS_RTCM_Parser& Parser, std::int64_t Limit);

    void ExecuteRaw();
    void ExecuteBnc();
    // The two passes over a raw recording or over the records of a BNC raw file.
    void ExecutePasses(bool Bnc);
    // One pass over the records of a BNC raw file (each record's time becomes the
    // decoder's reference time); the RTCM bytes handed over. First: the first pass,
    // which counts the records and logs a record cut short.
    std::int64_t FeedBnc(zqt_rtc_parser::TZQS_RTCM_Parser& Parser, bool First);
    // The next record line of a BNC raw file: its time and byte count; false at the end of
    // the file. Blank lines are passed over, and so are damaged record lines with the data
    // behind them, up to the next line that is a record (First: they are counted).
    bool ReadBncHeader(std::int64_t& Time, std::int64_t& Count, bool First);
    // The time of the first record; 0 for a file without any line after the marker. A
    // file whose lines are all no records raises "Error reading BNC raw file %s".
    std::int64_t FirstBncRecordTime();
    // The closing steps after the last pass: the parser's Finish, the owner's times, its
    // receivers stored and its data sets finished, each step committed.
    void CloseImport(zqt_rtc_parser::TZQS_RTCM_Parser& Parser);
    // A pass that is not closed still reports its decoding errors.
    void LogDecodeErrors(const zqt_rtc_parser::TZQS_RTCM_Parser& Parser);
    // Counts the frames and their bytes of the pass that follows.
    void CountFrames(zqt_rtc_parser::TZQS_RTCM_Parser& Parser);
    // A recording without frames raises; bytes outside frames are reported.
    void CheckFrames(std::int64_t StreamBytes);
    // The message reporting what the import skipped, when it skipped anything.
    void ReportSkipped();
    void TakeSummary(const zqt_rtc_parser::TZQS_RTCM_Parser& Parser);

private:
    zqt_obs_intrf::IZQS_OBSFilePtr FOwner;
    std::int64_t FStartTime = 0;
    zqt_types_bs::TRReaderSettings FSettings;
    RImportSummary FSummary;
};

// Registers the reader with the observation-file import.
void InstallRTCMReader();

}  // namespace zqt_rtcm_reader
