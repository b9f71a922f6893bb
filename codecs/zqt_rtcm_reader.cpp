#include "zqt_rtcm_reader.h"

#include <string_view>

#include "sysutils.h"
#include "zqt_datastorage.h"
#include "zqt_misc.h"
#include "zqt_rtc_parser.h"
#include "zqt_timefunc.h"

namespace zqt_rtcm_reader {

using sysutils::Format;
using zqt_rtc_parser::TZQS_RTCM_Parser;
using zqt_timefunc::TicksPerDay;

namespace {

// The date (and time) that a file name carries after its first "_20"; 0 when it carries
// none or one that is no valid date.
std::int64_t StartTimeOfName(const std::string& FileName) {
    const std::string name = zqt_misc::FileNameWithoutExt(FileName);
    const std::size_t pos = name.find("_20");
    if (pos == std::string::npos) return 0;
    const std::string_view text = std::string_view(name).substr(pos + 1);
    const std::string_view templ = text.size() < 11 ? "yyyy_mm_dd" : "yyyy_mm_dd_hh_nn_ss";
    try {
        return zqt_timefunc::Str2GPSTime(text, templ, zqt_timefunc::TT_GPS, true);
    } catch (const sysutils::Exception&) {
        return 0;  // not a date: the caller asks for one
    }
}

// Ends the open transaction of the import and begins the next, so that each closing step
// stands on its own.
void CommitAndBegin(const zqt_objects_intrf::IESQLiteDatabasePtr& Db) {
    if (!Db) return;
    if (Db->InTransaction()) Db->Commit();
    Db->BeginTransaction();
}

}  // namespace

// =======================================================================================
// Creation

std::shared_ptr<TZQS_RTCMReader> TZQS_RTCMReader::Create(
    const zqt_obs_intrf::IZQS_OBSFilePtr& Owner, const zqt_types_bs::TRReaderSettings& Settings) {
    if (!Owner) throw ExceptionRTCMReader("TZQS_RTCMReader.Create: no observation file");
    auto r = CreateFileOf<TZQS_RTCMReader>(Owner->GetFileName());
    r->FOwner = Owner;
    r->FSettings = Settings;
    r->FStartTime = Settings.DayStart;
    r->SetLogName("RTCM reader");
    r->SetMaxLineLength(BncMaxLineLength);
    return r;
}

// =======================================================================================
// Feeding

void TZQS_RTCMReader::FeedFile(TZQS_RTCM_Parser& Parser) { FeedFileUntil(Parser, -1); }

void TZQS_RTCMReader::FeedFileUntil(TZQS_RTCM_Parser& Parser, std::int64_t Limit) {
    Seek(0, zqt_classes_bs::soBeginning);
    Parser.SetTotalBytes(0);
    while (FillBuffer()) {
        const std::string_view bytes = UnreadBytes();
        const bool taken = Parser.AddData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          static_cast<std::int32_t>(bytes.size()));
        SkipBytes(bytes.size());
        if (!taken || Parser.Stopped()) break;
        if (Limit >= 0 && (BufferStart() > Limit || Parser.ReferenceTime() != 0)) break;
    }
}

// =======================================================================================
// The import

void TZQS_RTCMReader::Execute() {
    FSummary = RImportSummary{};
    RestartProgress();
    Seek(0, zqt_classes_bs::soBeginning);
    // The marker stands in the first line; only the first buffer is looked at, so that a
    // binary stream without line ends is not read whole as one line.
    bool bnc = false;
    if (FillBuffer()) {
        std::string_view first = UnreadBytes();
        const std::size_t lf = first.find('\n');
        if (lf != std::string_view::npos) first = first.substr(0, lf);
        bnc = first.find(BncRawMarker) != std::string_view::npos;
    }
    if (bnc)
        ExecuteBnc();
    else
        ExecuteRaw();
}

void TZQS_RTCMReader::ExecuteRaw() { ExecutePasses(false); }

void TZQS_RTCMReader::ExecuteBnc() { ExecutePasses(true); }

void TZQS_RTCMReader::ExecutePasses(bool Bnc) {
    if (Bnc) {
        // The records carry their times: the first one starts the decoder's time keeping.
        FStartTime = FirstBncRecordTime();
        if (FStartTime == 0)
            throw ExceptionNoRTCMFrame(Format("No RTCM 3 message found in %s", FFileName));
        FSummary.Bnc = true;
    }
    const std::unique_ptr<TZQS_RTCM_Parser> parser = TZQS_RTCM_Parser::Create(FStartTime, FOwner);
    parser->SetLogger(GetLogger());
    // Pass 1: station, descriptor and ephemeris messages; every number enters the census.
    parser->SetMode(zqt_rtc_parser::ModeNavigation);
    CountFrames(*parser);
    std::int64_t streamBytes = FSize;
    if (Bnc)
        streamBytes = FeedBnc(*parser, true);
    else
        FeedFile(*parser);
    parser->EndOfData();
    parser->SetOnMessageStart({});
    FSummary.Passes = 1;
    FSummary.Census = parser->Census();
    CheckFrames(streamBytes);

    // The navigation store keeps the ephemerides of the days around the recording.
    const auto store =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(FOwner->GetDataStorage());
    if (!store) throw ExceptionRTCMReader("The observation file has no navigation store");
    store->SetBegTime(FStartTime - TicksPerDay);
    store->SetEndTime(FStartTime + 3 * TicksPerDay);
    // The ephemerides of pass 1 are in the store's memory only: saved before the store is
    // emptied, they come back with the reload.
    store->Save();
    store->ClearStorages();
    store->Load();

    // Pass 2: the station messages and the chosen observation messages, in the window.
    parser->SetReaderSettings(FSettings);
    parser->SetScanNmea(true);
    parser->SetProcessNmea(true);
    const zqt_arrays::TSortedArrayOfInteger select =
        zqt_rtc_parser::SelectObservationMessages(parser->Census());
    FSummary.Selected = select;
    if (!select.empty()) {
        parser->SetMessages(select);
        parser->BeginPass();
        RestartProgress();
        if (Bnc)
            FeedBnc(*parser, false);
        else
            FeedFile(*parser);
        FSummary.Passes = 2;
        // The epochs still open are committed before the import is judged.
        parser->EndOfData();
        parser->CommitAll();
    }
    if (parser->FirstEpochTime() > 0)
        CloseImport(*parser);
    else
        LogDecodeErrors(*parser);
    TakeSummary(*parser);
    ReportSkipped();
}

namespace {

// A record line of a BNC raw file: its time and byte count; false when the line is none.
bool ParseBncHeader(const std::string& Line, std::int64_t& Time, std::int64_t& Count) {
    const zqt_variant::TVariantArray items = zqt_classes_bs::TZQS_TextFileReader::SplitWords(Line);
    if (items.size() < 10 || items[6].AsString() != "RTCM") return false;
    if (!sysutils::TryStrToInt(items[9].AsString(), Count) || Count < 0) return false;
    try {
        Time = zqt_timefunc::Str2GPSTime(items[0].AsString(), "yyyy-mm-ddThh:nn:ss",
                                         zqt_timefunc::TT_GPS, true);
    } catch (const sysutils::Exception&) {
        return false;
    }
    return Time > 0;
}

}  // namespace

bool TZQS_RTCMReader::ReadBncHeader(std::int64_t& Time, std::int64_t& Count, bool First) {
    std::string line;
    bool damaged = false;
    while (!Eof()) {
        ReadLn(line);
        if (!LineCut() && sysutils::Trim(line).empty()) continue;  // no record, no damage
        if (!LineCut() && ParseBncHeader(line, Time, Count)) {
            if (First && damaged) ++FSummary.BadBncLines;
            return true;
        }
        // A damaged record line: its bytes cannot be found; the lines that follow are
        // read until the next record line.
        damaged = true;
    }
    if (First && damaged) ++FSummary.BadBncLines;
    return false;
}

std::int64_t TZQS_RTCMReader::FirstBncRecordTime() {
    Seek(0, zqt_classes_bs::soBeginning);
    std::string line;
    if (Eof()) return 0;
    ReadLn(line);  // the marker line
    std::int64_t t = 0, count = 0;
    if (ReadBncHeader(t, count, false)) return t;
    // Lines that are no records, and none that is: this is no BNC raw file.
    if (FSize > static_cast<std::int64_t>(line.size()) + 1)
        throw ExceptionRTCMReader(Format("Error reading BNC raw file %s", FFileName));
    return 0;
}

std::int64_t TZQS_RTCMReader::FeedBnc(TZQS_RTCM_Parser& Parser, bool First) {
    Seek(0, zqt_classes_bs::soBeginning);
    Parser.SetTotalBytes(0);
    std::string line;
    ReadLn(line);  // the marker line
    std::int64_t streamBytes = 0;
    std::int64_t t = 0, count = 0;
    while (ReadBncHeader(t, count, First)) {
        Parser.SetReferenceTime(t);
        if (First) ++FSummary.BncRecords;
        std::int64_t remaining = count;
        while (remaining > 0 && FillBuffer()) {
            const std::string_view bytes = UnreadBytes();
            const auto n = static_cast<std::size_t>(
                std::min<std::int64_t>(remaining, static_cast<std::int64_t>(bytes.size())));
            Parser.AddData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           static_cast<std::int32_t>(n));
            SkipBytes(n);
            remaining -= static_cast<std::int64_t>(n);
            streamBytes += static_cast<std::int64_t>(n);
        }
        if (remaining > 0) {
            if (First)
                Log(Format("%s: the last record lacks %d of its %d bytes", FFileName, remaining,
                           count));
            break;
        }
        SkipBytes(1);  // the line end after the data
        if (Parser.Stopped()) break;
    }
    return streamBytes;
}

void TZQS_RTCMReader::CountFrames(TZQS_RTCM_Parser& Parser) {
    FSummary.Frames = 0;
    FSummary.SkippedBytes = 0;
    Parser.SetOnMessageStart([this](zqt_rtc_parser::TZQS_RTC_Parser& Decoder, std::uint16_t) {
        ++FSummary.Frames;
        FSummary.SkippedBytes -= Decoder.PayloadLength() + 6;  // preamble, length, CRC
    });
}

void TZQS_RTCMReader::CheckFrames(std::int64_t StreamBytes) {
    if (FSummary.Frames == 0)
        throw ExceptionNoRTCMFrame(Format("No RTCM 3 message found in %s", FFileName));
    FSummary.SkippedBytes = std::max<std::int64_t>(0, FSummary.SkippedBytes + StreamBytes);
}

void TZQS_RTCMReader::ReportSkipped() {
    const zqt_rtc_parser::TZQS_RTCM_Decoder::RAssemblyCounts& a = FSummary.Assembly;
    const zqt_rtc_parser::TZQS_RTCM_Parser::RNmeaCounts& n = FSummary.Nmea;
    // Each item of the line: its count and the text that formats it, said when not 0.
    struct RItem {
        std::int64_t Count;
        const char* Text;
    };
    const RItem skips[] = {
        {FSummary.BadBncLines, "%d damaged BNC record(s)"},
        {FSummary.SkippedBytes, "%d byte(s) outside RTCM 3 frames"},
        {FSummary.DecodeErrors, "%d message(s) not decoded"},
        {n.Incomplete, "%d incomplete NMEA sentence(s)"},
        {n.NoFix, "%d NMEA GGA sentence(s) without a fix"},
        {n.Unplaced, "%d NMEA position(s) without a written epoch of their time"},
        {n.NotStored, "%d NMEA position(s) of epochs that keep no standalone solution"},
        {a.Superseded,
         "%d observation message(s) of a system sent in a richer kind in the same epoch"},
        {a.Duplicates, "%d observation message(s) received twice"},
        {a.WithoutWholeMs,
         "%d satellite(s) without whole milliseconds (no orbit or station position to give "
         "them)"},
        {a.NotWritten, "%d epoch(s) that could not be stored"},
        {a.GloChannelsShared,
         "%d GLONASS frequency channel statement(s) of messages that give one channel to "
         "several satellites (not used)"},
        {a.GloChannelsContradicted,
         "%d GLONASS frequency channel statement(s) that contradict the channel established "
         "for their satellite (not used)"},
        {a.GloPhasesWithoutChannel,
         "%d GLONASS phase(s) of satellites without a known frequency channel"},
        {a.GloDopplersWithoutChannel,
         "%d GLONASS Doppler(s) of satellites without a known frequency channel"},
        {a.LateDuplicates, "%d late satellite(s) already in their epoch"},
        {a.SbasMessages, "%d SBAS observation message(s) (SBAS MSM are not decoded)"},
        {a.SbasSatellites,
         "%d SBAS satellite(s) of legacy observation messages (kept out of the epochs)"},
        {a.NavicEphemerides, "%d NavIC ephemeris message(s) (1041 is not decoded)"},
        {a.SbasEphemerides, "%d SBAS ephemeris message(s) (1043 is not decoded)"},
        {a.QzssEphemerides, "%d QZSS ephemeris message(s) (1044 is not decoded)"},
    };
    const RItem repairs[] = {
        {a.GloDayIgnored, "%d GLONASS day-of-week field(s) ignored (time of day used)"},
        {a.BdsRetimed, "%d BeiDou message(s) stamped with GPS time put into their epoch"},
        {a.BdsWeekWrapped,
         "%d BeiDou message(s) whose time of week wrapped below zero at the week's start put "
         "into their epoch"},
    };
    std::string skipped, repaired;
    const auto add = [](std::string& Text, const std::string& Item) {
        Text += (Text.empty() ? "" : ", ") + Item;
    };
    for (const RItem& i : skips)
        if (i.Count > 0) add(skipped, Format(i.Text, i.Count));
    for (const RItem& i : repairs)
        if (i.Count > 0) add(repaired, Format(i.Text, i.Count));
    if (a.LateEpochs > 0)
        add(repaired, Format("%d epoch(s) completed by %d late satellite(s)", a.LateEpochs,
                             a.LateSatellites));
    std::string text;
    if (!skipped.empty()) text = "skipped " + skipped;
    if (!repaired.empty()) text += (text.empty() ? "" : "; ") + ("repaired " + repaired);
    if (!text.empty()) DoMessage(Format("%s: %s", FFileName, text), 1);
}

void TZQS_RTCMReader::CloseImport(TZQS_RTCM_Parser& Parser) {
    Parser.Finish();
    // The file spans the epochs written; without one, the epochs met.
    const bool written = Parser.FirstWrittenTime() > 0;
    FOwner->SetBegTime(written ? Parser.FirstWrittenTime() : Parser.FirstEpochTime());
    FOwner->SetEndTime(written ? Parser.LastWrittenTime() : Parser.LastEpochTime());
    const zqt_objects_intrf::IESQLiteDatabasePtr db = FOwner->GetDatabase();
    CommitAndBegin(db);
    FOwner->Store();
    CommitAndBegin(db);
    FOwner->FinishWrite();
    CommitAndBegin(db);
    FSummary.Closed = true;
}

void TZQS_RTCMReader::LogDecodeErrors(const TZQS_RTCM_Parser& Parser) {
    for (const auto& [number, e] : Parser.DecodeErrors())
        Log(Format("RTCM %d: %d message(s) not decoded; first: %s",
                   static_cast<std::int32_t>(number), e.Count, e.First));
}

void TZQS_RTCMReader::TakeSummary(const TZQS_RTCM_Parser& Parser) {
    FSummary.Epochs = Parser.EpochCount();
    FSummary.FirstEpoch = Parser.FirstWrittenTime();
    FSummary.LastEpoch = Parser.LastWrittenTime();
    FSummary.LateEpochs = Parser.LateEpochs();
    FSummary.Assembly = Parser.AssemblyCounts();
    FSummary.DecodeErrors = Parser.TotalErrors();
    // The sentences read in the second pass were counted as bytes outside frames in the
    // first, which does not look for them.
    FSummary.Nmea = Parser.NmeaCounts();
    FSummary.SkippedBytes = std::max<std::int64_t>(0, FSummary.SkippedBytes - FSummary.Nmea.Bytes);
}

// =======================================================================================
// Start time

std::int64_t TZQS_RTCMReader::GetStartTime(const std::string& FileName) {
    {
        // The first RMC sentence of the stream, when the file can be read.
        auto reader = CreateFileOf<TZQS_RTCMReader>(FileName);
        if (reader->IsOpen()) {
            const std::unique_ptr<TZQS_RTCM_Parser> parser = TZQS_RTCM_Parser::Create(0);
            parser->SetScanNmea(true);
            parser->SetStopAtRMC(true);
            parser->SetMode(zqt_rtc_parser::ModeFramesOnly);
            reader->FeedFileUntil(*parser, StartTimeScanBytes);
            // A sentence among the last bytes waits for more: the bytes held are scanned
            // once more.
            if (parser->ReferenceTime() == 0) parser->EndOfData();
            if (parser->ReferenceTime() != 0) return parser->ReferenceTime();
        }
    }
    return StartTimeOfName(FileName);
}

std::int64_t TZQS_RTCMReader::GetStartTimeChecked(const std::string& FileName) {
    const std::int64_t t = GetStartTime(FileName);
    if (t == 0)
        throw ExceptionRTCMReader(
            Format("rtcm file name must be in the following format XXXX_yyyy_mm_dd_hh_nn_ss %s",
                   FileName));
    return t;
}

// =======================================================================================

void InstallRTCMReader() {
    zqt_file_obs::SetRTCMReader(
        [](const zqt_obs_intrf::IZQS_OBSFilePtr& Owner,
           const zqt_types_bs::TRReaderSettings& Settings)
            -> std::shared_ptr<zqt_classes_bs::TZQS_FileIO> {
            return TZQS_RTCMReader::Create(Owner, Settings);
        },
        [](const std::string& FileName) { return TZQS_RTCMReader::GetStartTimeChecked(FileName); });
}

}  // namespace zqt_rtcm_reader
