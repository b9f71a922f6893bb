// The RINEX reader: creation, the kind and version of a file, header lines, the
// observation header, the clock files and the registration with the import.
#include "zqt_rnx_reader.h"

#include <algorithm>
#include <cmath>

#include "sysutils.h"
#include "zqt_antenna_bs.h"
#include "zqt_recordset_dbs.h"
#include "zqt_rnx_reader_impl.h"
#include "zqt_timefunc.h"

namespace zqt_rnx_reader {

using sysutils::Format;
using sysutils::Trim;
using namespace zqt_sat_obs_types;
using namespace detail;

// =======================================================================================
// Text helpers

namespace detail {

std::string_view Cols(std::string_view Line, std::size_t From, std::size_t To) noexcept {
    if (From < 1 || To < From || From > Line.size()) return {};
    return Line.substr(From - 1, To - From + 1);
}

std::string_view ColsFrom(std::string_view Line, std::size_t From) noexcept {
    if (From < 1 || From > Line.size()) return {};
    return Line.substr(From - 1);
}

std::string_view TrimView(std::string_view Text) noexcept {
    while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
    return Text;
}

bool IsBlank(std::string_view Text) noexcept { return TrimView(Text).empty(); }

std::vector<std::string> Words(std::string_view Text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < Text.size()) {
        while (i < Text.size() && static_cast<unsigned char>(Text[i]) <= ' ') ++i;
        const std::size_t b = i;
        while (i < Text.size() && static_cast<unsigned char>(Text[i]) > ' ') ++i;
        if (i > b) out.emplace_back(Text.substr(b, i - b));
    }
    return out;
}

bool FieldNumber(std::string_view Field, double& Value) {
    const std::string_view t = TrimView(Field);
    if (t.empty()) return false;
    std::string s(t);
    for (char& c : s)
        if (c == 'D' || c == 'd') c = 'E';
    return sysutils::TryStrToFloat(s, Value, sysutils::PointFormatSettings()) &&
           std::isfinite(Value);
}

bool RoundedInt(double Value, std::int64_t Low, std::int64_t High, std::int64_t& Result) noexcept {
    if (!std::isfinite(Value)) return false;
    const double r = std::nearbyint(Value);
    if (r < static_cast<double>(Low) || r > static_cast<double>(High)) return false;
    Result = static_cast<std::int64_t>(r);
    return true;
}

bool WordInt(std::string_view Word, std::int64_t& Result) {
    return sysutils::TryStrToInt(TrimView(Word), Result);
}

}  // namespace detail

// =======================================================================================
// Versions, dates and accuracies

std::uint8_t RnxVersionIndex(std::int32_t Value) noexcept {
    for (std::size_t i = 1; i < RnxVersions.size(); ++i)
        if (RnxVersions[i].X100 == Value) return static_cast<std::uint8_t>(i);
    return 0;
}

std::int32_t RnxVersionValue(std::string_view Text) noexcept {
    double v = 0.0;
    try {
        if (!FieldNumber(Text, v) || v <= 0.0 || v >= 100.0) return 0;
    } catch (...) {
        return 0;
    }
    // Truncated, with room for the binary representation of the decimal text (3.04 x 100
    // is 303.99999999999994).
    return static_cast<std::int32_t>(std::trunc(v * 100.0 + 1e-6));
}

std::uint8_t RnxReaderVersionIndex(std::int32_t Value) noexcept {
    if (const std::uint8_t index = RnxVersionIndex(Value)) return index;
    for (const RRnxReadAlike& v : RnxReadAlike)
        if (v.X100 == Value) return v.ReadAs;
    return 0;
}

std::int64_t RinexWordsToTicks(const std::vector<std::string>& Words) {
    if (Words.size() < 5) throw ExceptionRNX("Invalid DateTime");
    std::int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    if (!WordInt(Words[0], year) || !WordInt(Words[1], month) || !WordInt(Words[2], day) ||
        !WordInt(Words[3], hour) || !WordInt(Words[4], minute))
        throw ExceptionRNX("Invalid DateTime");
    if (Words.size() > 5 && !FieldNumber(Words[5], seconds)) throw ExceptionRNX("Invalid DateTime");
    if (year >= 0 && year < 50)
        year += 2000;
    else if (year >= 50 && year < 100)
        year += 1900;
    sysutils::TDateTime date = 0.0;
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 24 || minute < 0 || minute > 59 || seconds < 0.0 || seconds >= 61.0 ||
        !sysutils::TryEncodeDate(static_cast<int>(year), static_cast<int>(month),
                                 static_cast<int>(day), date))
        throw ExceptionRNX("Invalid DateTime");
    const auto days = static_cast<std::int64_t>(std::llround(date - zqt_timefunc::GPSTimeOrigin));
    const std::int64_t whole = ((days * 24 + hour) * 60 + minute) * 60;
    return whole * zqt_timefunc::TicksPerSecond +
           static_cast<std::int64_t>(std::nearbyint(seconds * zqt_timefunc::TicksPerSecond));
}

std::uint8_t UraIndexOfAccuracy(double Metres) noexcept {
    if (!(Metres > 0.0)) return 255;
    // Upper bounds of the accuracy ranges of indexes 0 to 14.
    static constexpr std::array<double, 15> bounds{2.4,   3.4,   4.85,  6.85,   9.65,
                                                   13.65, 24.0,  48.0,  96.0,   192.0,
                                                   384.0, 768.0, 1536., 3072.0, 6144.0};
    for (std::size_t i = 0; i < bounds.size(); ++i)
        if (Metres <= bounds[i]) return static_cast<std::uint8_t>(i);
    return 15;
}

std::uint8_t SisaIndexOfAccuracy(double Metres) noexcept {
    const auto index = [](double v) { return static_cast<std::uint8_t>(std::nearbyint(v)); };
    if (!(Metres >= 0.0)) return 255;
    if (Metres <= 0.49) return index(Metres * 100.0);
    if (Metres < 1.0) return static_cast<std::uint8_t>(index((Metres - 0.5) * 50.0) + 50);
    if (Metres < 2.0) return static_cast<std::uint8_t>(index((Metres - 1.0) * 25.0) + 75);
    if (Metres < 6.0) return static_cast<std::uint8_t>(index((Metres - 2.0) / 0.16) + 100);
    return 255;
}

// =======================================================================================
// Creation

std::shared_ptr<TZQS_RinexReader> TZQS_RinexReader::Create(
    const zqt_obs_intrf::IZQS_OBSFilePtr& Owner, std::uint8_t AFlag) {
    if (!Owner) throw ExceptionRNX("TZQS_RinexReader.Create: no observation file");
    auto r = CreateFileOf<TZQS_RinexReader>(Owner->GetFileName());
    r->FOwner = Owner;
    r->FInterval = 1.0;
    r->FAntennaFlag = AFlag;
    r->FDayStart = 0;
    return r;
}

std::shared_ptr<TZQS_RinexReader> TZQS_RinexReader::CreateForDay(
    const zqt_obs_intrf::IZQS_OBSFilePtr& Owner, std::uint8_t AFlag,
    const zqt_types_bs::TRReaderSettings& Settings) {
    auto r = Create(Owner, AFlag);
    const std::int64_t t = zqt_timefunc::AddTicks(Settings.RinexDayTime, 10000);
    r->FDayStart = zqt_timefunc::TicksToDays(t) * zqt_timefunc::TicksPerDay;
    return r;
}

void TZQS_RinexReader::InitFields() {
    TZQS_RinexReaderBase::InitFields();
    FNavMask = (1u << SC_GPS) | (1u << SC_GLONASS) | (1u << SC_GALILEO) | (1u << SC_QZSS) |
               (1u << SC_BDS) | (1u << SC_IRNSS);
    FHeaderChannels.fill(static_cast<std::int8_t>(GloChannelUnknown));
}

void TZQS_RinexReader::Open(const std::string& FileName) {
    TZQS_RinexReaderBase::Open(FileName);
    FSummary = RRinexSummary{};
    FLineNo = 0;
    FPending = false;
}

// =======================================================================================
// Lines

bool TZQS_RinexReader::NextLine(std::string& Line) {
    if (FPending) {
        FPending = false;
        ++FLineNo;
        Line = FLine;
        return true;
    }
    if (Eof()) return false;
    ReadLn(FLine);
    ++FLineNo;
    Line = FLine;
    if ((FLineNo & 63) == 0) ProgressStep(Position());
    return true;
}

void TZQS_RinexReader::Rewind() {
    Seek(0, zqt_classes_bs::soBeginning);
    FLineNo = 0;
    FPending = false;
}

void TZQS_RinexReader::PushBack() {
    if (FPending || FLineNo == 0) return;
    FPending = true;
    --FLineNo;
}

bool TZQS_RinexReader::ReadHeaderLine(RHeaderLine& Header) {
    std::string line;
    if (!NextLine(line)) return false;
    Header.Value = std::string(Cols(line, 1, 60));
    Header.Label = std::string(TrimView(ColsFrom(line, 61)));
    return true;
}

void TZQS_RinexReader::Fail(const std::string& Message) const {
    ExceptionRNX e(Message);
    e.SetLine(FLineNo);
    throw e;
}

// =======================================================================================
// Kind and version

void TZQS_RinexReader::DetectType() {
    Rewind();
    std::string line;
    NextLine(line);
    const std::string label(TrimView(Cols(line, 61, 80)));
    std::string version(Cols(line, 1, 20));
    std::string type(Cols(line, 21, 21));
    std::string system(Cols(line, 41, 41));
    if (label != "RINEX VERSION / TYPE") {
        // Clock files of version 3.04 carry their labels from column 66 on and the type
        // letter in column 22.
        if (TrimView(Cols(line, 66, 85)) != "RINEX VERSION / TYPE")
            Fail(Format("The file is not rinex one\\nExpected: %s In file: %s\\n%s",
                        "RINEX VERSION / TYPE", label, line.substr(0, 100)));
        version = std::string(Cols(line, 1, 21));
        type = std::string(Cols(line, 22, 22));
        system = std::string(Cols(line, 43, 43));
    }
    FNavSystem = 0;
    if (type == "O") {
        FFileType = RnxFileObservation;
    } else if (type == "N") {
        FFileType = RnxFileNavigation;
        if (system == "M") {
            FFileType = RnxFileMixedNav;
        } else {
            FNavSystem = LetterToSatSystem(system, true);
        }
    } else if (type == "G") {
        FFileType = RnxFileGlonassNav;
        FNavSystem = SC_GLONASS;
    } else if (type == "H") {
        // SBAS navigation data of version 2: read, and dropped as every SBAS record.
        FFileType = RnxFileNavigation;
        FNavSystem = SC_WAAS;
    } else if (type == "E" || type == "L") {
        // Galileo navigation data of version 2.
        FFileType = RnxFileNavigation;
        FNavSystem = SC_GALILEO;
    } else if (type == "M") {
        FFileType = RnxFileMeteo;
    } else if (type == "C") {
        FFileType = RnxFileClock;
    } else {
        Fail(Format("Unknown rinex file type %s", type));
    }
    SetVersion(RnxVersionValue(version), std::string(TrimView(version)));
    FSummary.FileType = FFileType;
}

void TZQS_RinexReader::SetVersion(std::int32_t Value, const std::string& Text) {
    const std::uint8_t index = RnxReaderVersionIndex(Value);
    if (index == 0) Fail(Format("Unsupportable rinex version %s", Text));
    FVersion = Value;
    FVersionIndex = index;
    FColumnShift = index >= 4 ? 1 : 0;
    FSummary.Version = Value;
    FSummary.VersionIndex = index;
    FSummary.ColumnShift = FColumnShift;
}

// =======================================================================================
// The whole reading

void TZQS_RinexReader::Execute() {
    {
        const std::size_t slash = FFileName.find_last_of('/');
        SetLogName(slash == std::string::npos ? FFileName : FFileName.substr(slash + 1));
    }
    FSummary = RRinexSummary{};
    RestartProgress();
    try {
        DetectType();
        FOwner->SetFileType(FFileType);
        FOwner->SetVersion(static_cast<std::uint32_t>(FVersion));
        Rewind();
        switch (FFileType) {
            case RnxFileObservation: ReadObservations(); break;
            case RnxFileNavigation:
            case RnxFileGlonassNav:
            case RnxFileMixedNav:
                if (IsRinex4(FVersionIndex))
                    ReadNavigation4();
                else
                    ReadNavigation2();
                break;
            case RnxFileClock: ReadClock(); break;
            default: break;  // meteorological data: nothing is read
        }
        FOwner->Store();
        FOwner->FinishWrite();
    } catch (ExceptionRNX& e) {
        if (e.Line() == 0) e.SetLine(FLineNo);
        throw;
    }
}

// =======================================================================================
// Observation header

std::int64_t TZQS_RinexReader::GlonassOffset(std::int64_t Time) {
    if (FGloOffset == 0) {
        if (FLeapSeconds == 0) FLeapSeconds = zqt_timefunc::LeapSeconds(Time);
        FGloOffset = (10800 - static_cast<std::int64_t>(FLeapSeconds)) * 10000;
    }
    return FGloOffset;
}

std::int64_t TZQS_RinexReader::EpochTicks(const std::vector<std::string>& Words) {
    const std::int64_t t = RinexWordsToTicks(Words);
    return FGloTimeSystem ? t - GlonassOffset(t) : t;
}

std::int64_t TZQS_RinexReader::HeaderTime(const std::string& Value) {
    const std::vector<std::string> w = Words(Value);
    std::int64_t t = RinexWordsToTicks(w);
    if (w.size() > 6 && w[6] == "GLO") t -= GlonassOffset(t);
    return t;
}

void TZQS_RinexReader::ReadAntennaDelta(const std::string& Value, double& H, double& E,
                                        double& N) const {
    H = E = N = 0.0;
    if (FAntennaFlag != 0) return;
    if (!FieldNumber(Cols(Value, 1, 14), H)) H = 0.0;
    if (!FieldNumber(Cols(Value, 15, 28), E)) E = 0.0;
    if (!FieldNumber(Cols(Value, 29, 42), N)) N = 0.0;
}

void TZQS_RinexReader::ReadObsHeader(std::int64_t MaxLines) {
    static constexpr std::array<std::string_view, 10> ignored{
        "PGM / RUN BY / DATE",  "MARKER TYPE",       "COMMENT",
        "WAVELENGTH FACT L1/2", "LEAP SECONDS",      "RCV CLOCK OFFS APPL",
        "GLONASS COD/PHS/BIS",  "SYS / PHASE SHIFT", "# OF SATELLITES",
        "PRN / # OF OBS"};
    const auto antenna = [this]() -> zqt_antenna_bs::IZQS_AntennaPtr {
        return FRecordset ? FRecordset->GetAntenna() : nullptr;
    };
    const auto setBeg = [this](std::int64_t T) {
        if (FRecordset) FRecordset->SetBegTime(T);
        FOwner->SetBegTime(T);
        if (FFileReceiver) FFileReceiver->SetBegTime(T);
        if (FDataSet) FDataSet->SetBegTime(T);
    };
    const auto setEnd = [this](std::int64_t T) {
        if (FRecordset) FRecordset->SetEndTime(T);
        FOwner->SetEndTime(T);
        if (FFileReceiver) FFileReceiver->SetEndTime(T);
        if (FDataSet) FDataSet->SetEndTime(T);
    };
    RHeaderLine h;
    // MaxLines counts lines, also the continuation lines that a record reads itself (a
    // type list over several lines inside an event).
    const std::int64_t first = FLineNo;
    while ((MaxLines <= 0 || FLineNo - first < MaxLines) && ReadHeaderLine(h)) {
        const std::string& v = h.Value;
        const std::string& label = h.Label;
        if (label == "END OF HEADER") return;
        if (std::find(ignored.begin(), ignored.end(), label) != ignored.end()) continue;
        if (label == "RINEX VERSION / TYPE") {
            const std::string text(TrimView(Cols(v, 1, 20)));
            SetVersion(RnxVersionValue(text), text);
        } else if (label == "MARKER NAME") {
            if (FRecordset) {
                FRecordset->SetMarkerName(Trim(v));
                FOccupation.SiteName = FRecordset->GetMarkerName();
            }
        } else if (label == "MARKER NUMBER") {
            std::int64_t number = 0;
            if (FRecordset && WordInt(v, number) && number >= INT32_MIN && number <= INT32_MAX) {
                FRecordset->SetMarkerNumber(static_cast<std::int32_t>(number));
                FOccupation.OccupationNumber = FRecordset->GetMarkerNumber();
            }
        } else if (label == "OBSERVER / AGENCY") {
            if (const auto observer = FFileReceiver ? FFileReceiver->GetObserver() : nullptr) {
                observer->SetObserverName(Trim(Cols(v, 1, 20)));
                observer->SetObserverAgency(Trim(Cols(v, 21, 60)));
            }
        } else if (label == "REC # / TYPE / VERS") {
            if (const auto receiver = FFileReceiver ? FFileReceiver->GetReceiver() : nullptr) {
                receiver->SetReceiverNumber(Trim(Cols(v, 1, 20)));
                receiver->SetReceiverType(Trim(Cols(v, 21, 40)));
                receiver->SetFirmwareVersion(Trim(Cols(v, 41, 60)));
            }
        } else if (label == "ANT # / TYPE") {
            if (const auto a = antenna()) {
                a->SetNumber(Trim(Cols(v, 1, 20)));
                a->SetModel(Trim(Cols(v, 21, 60)));
                FOccupation.AntennaSerial = a->GetNumber();
                FOccupation.AntennaName = a->GetModel();
            }
        } else if (label == "APPROX POSITION XYZ") {
            const std::vector<std::string> w = Words(v);
            zqt_basestorage::RVec3 p;
            if (w.size() >= 3 && FieldNumber(w[0], p.X) && FieldNumber(w[1], p.Y) &&
                FieldNumber(w[2], p.Z) && FFileReceiver) {
                if (const auto c = FFileReceiver->GetCoordinates(true)) c->SetXYZ(p);
                FOccupation.Position = p;
            }
        } else if (label == "INTERVAL") {
            double interval = 0.0;
            if (FieldNumber(v, interval) && interval > 0.0 && interval < 1e6) FInterval = interval;
        } else if (label == "ANTENNA: DELTA H/E/N") {
            double height = 0.0, east = 0.0, north = 0.0;
            ReadAntennaDelta(v, height, east, north);
            if (const auto a = antenna()) {
                a->SetHeight(height);
                a->SetDeltaE(east);
                a->SetDeltaN(north);
                FOccupation.AntennaHeight = a->GetHeight();
                FOccupation.EastOffset = a->GetDeltaE();
                FOccupation.NorthOffset = a->GetDeltaN();
            }
        } else if (label == "TIME OF FIRST OBS") {
            const std::vector<std::string> w = Words(v);
            FGloTimeSystem = w.size() > 6 && w[6] == "GLO";
            FFirstObs = HeaderTime(v);
            setBeg(FFirstObs);
        } else if (label == "TIME OF LAST OBS") {
            FLastObs = HeaderTime(v);
            setEnd(FLastObs);
        } else if (label == "# / TYPES OF OBSERV") {
            ReadObsTypes2(h);
        } else if (label == "SYS / # / OBS TYPES") {
            ReadObsTypes3(h);
        } else if (label == "GLONASS SLOT / FRQ #") {
            ReadGloSlots(h);
        } else {
            Log("Unsupported header label: \"" + label + "\"");
        }
    }
}

void TZQS_RinexReader::ReadObsTypes2(const RHeaderLine& First) {
    std::vector<std::string> w = Words(First.Value);
    std::int64_t n = 0;
    if (w.empty() || !WordInt(w[0], n) || n < 0 || n > 999) Fail("Invalid Obs");
    w.erase(w.begin());
    RHeaderLine next;
    while (static_cast<std::int64_t>(w.size()) < n) {
        if (!ReadHeaderLine(next) || next.Label != First.Label) Fail("Invalid Obs");
        for (std::string& c : Words(next.Value)) w.push_back(std::move(c));
    }
    if (static_cast<std::int64_t>(w.size()) != n) Fail("Invalid Obs");
    FTypes2.clear();
    bool c1 = false, p1 = false, c2 = false, p2 = false;
    for (const std::string& code : w) {
        const RNXOBS obs = StrToRnxObs(code);
        FTypes2.push_back(static_cast<std::uint8_t>(obs));
        c1 = c1 || obs == RNX_C1;
        p1 = p1 || obs == RNX_P1;
        c2 = c2 || obs == RNX_C2;
        p2 = p2 || obs == RNX_P2;
    }
    FCAFlag = c1 && !p1;
    FC2Flag = c2 && !p2;
}

void TZQS_RinexReader::ReadObsTypes3(const RHeaderLine& First) {
    if (!FChannels) {
        try {
            FChannels = std::make_unique<zqt_sat_obs_rcrd::TRnxObsChannels>(FVersionIndex);
        } catch (const sysutils::Exception&) {
            Fail("Invalid Obs");
        }
    }
    const unsigned sys = LetterToSatSystem(Cols(First.Value, 1, 1));
    std::int64_t n = 0;
    if (sys == SC_UNKNOWN || !WordInt(Cols(First.Value, 2, 6), n) || n < 0 || n > 999)
        Fail("Invalid Obs");
    std::string codes(Cols(First.Value, 7, 60));
    RHeaderLine next;
    for (std::int64_t remaining = n; remaining > 13; remaining -= 13) {
        if (!ReadHeaderLine(next) || next.Label != First.Label) Fail("Invalid Obs");
        codes += ' ';
        codes += Cols(next.Value, 7, 60);
    }
    const std::vector<std::string> w = Words(codes);
    if (static_cast<std::int64_t>(w.size()) != n) Fail("Invalid Obs");
    std::vector<RObsEntry>& entries = FTypes3[sys];
    entries.assign(w.size(), RObsEntry{});
    for (std::size_t i = 0; i < w.size(); ++i) {
        zqt_sat_obs_rcrd::RZQS_RnxSysObs rec;
        try {
            FChannels->Fill(sys, std::string_view(w[i]).substr(0, 3), rec);
        } catch (const EOBS_CTYPESExp&) {
            continue;  // an observation kind of no band (channel numbers): not read
        }
        if (rec.Row == 0 || rec.Slot == 0) continue;
        entries[i] = RObsEntry{rec.Slot, static_cast<std::uint8_t>(rec.Kind), rec.Row};
    }
}

void TZQS_RinexReader::ReadGloSlots(const RHeaderLine& Line) {
    const std::vector<std::string> w = Words(Cols(Line.Value, 5, 60));
    for (std::size_t i = 0; i + 1 < w.size(); i += 2) {
        std::int64_t channel = 0;
        if (w[i].size() != 3 || w[i][0] != 'R' || !WordInt(w[i + 1], channel)) continue;
        std::int64_t number = 0;
        if (!WordInt(std::string_view(w[i]).substr(1), number) || number < 1 || number > 254)
            continue;
        if (channel >= -7 && channel <= 13)
            FHeaderChannels[static_cast<std::size_t>(number - 1)] =
                static_cast<std::int8_t>(channel);
    }
}

// =======================================================================================
// Clock files

void TZQS_RinexReader::ReadClock() {
    RHeaderLine h;
    bool end = false;
    while (!end && ReadHeaderLine(h)) end = h.Label == "END OF HEADER";
    if (!end) Fail("Illegal clock format");
    FOwner->SetFileType(RnxFileClock);

    const SQLiteExt::IESQLiteDatabasePtr db = FOwner->GetDatabase();
    if (!db) Fail("No database for the clock records");
    const std::int32_t id = FOwner->GetObjID();
    const SQLiteExt::IESQLitePreparedStatementPtr insert = db->Prepare(
        Format("INSERT OR REPLACE INTO sp3_clk VALUES(%d,:GPSTime,:svprn,:SatCode,:T)", id));
    // No record yet: these stand until the first one.
    constexpr std::int64_t NoTime = 9223372036854770000;
    std::int64_t previous = NoTime, first = NoTime, step = NoTime, last = 0, epochs = 0;
    std::uint32_t systems = 0;
    std::string line;
    while (NextLine(line)) {
        const std::vector<std::string> w = Words(line);
        if ((w.size() != 10 && w.size() != 11) || w[0] != "AS") continue;
        const std::int64_t t = RinexWordsToTicks({w.begin() + 2, w.begin() + 8});
        const std::uint16_t key = StrToSatNum(w[1]);
        const unsigned sys = SatKeySystem(key);
        double bias = 0.0;
        if (!FieldNumber(w[9], bias)) Fail(Format("Bad clock value %s", w[9]));
        if (sys < 32) systems |= 1u << sys;
        insert->SetParamInt64ByName(":GPSTime", t);
        insert->SetParamInt64ByName(":svprn", key);
        insert->SetParamInt64ByName(":SatCode", sys);
        insert->SetParamFloatByName(":T", bias * 1000000.0);
        insert->Execute();
        ++FSummary.ClockRows;
        if (t != previous) ++epochs;
        if (previous != NoTime && previous < t) step = std::min(step, t - previous);
        first = std::min(first, t);
        last = std::max(last, t);
        previous = t;
    }
    insert->Finalize();
    db->ExecSQL(
        Format("INSERT OR REPLACE INTO sp3_clk_header VALUES(%d,\"%s\",%d,\"%s\",%d,%d,%d,%d)", id,
               "GPS", static_cast<std::int64_t>(systems), "AG", first, last, step, epochs));
    FSummary.ClockEpochs = epochs;
    FOwner->SetBegTime(first);
    FOwner->SetEndTime(last);
}

// =======================================================================================

void InstallRinexReader() {
    zqt_file_obs::SetRinexReader(
        [](const zqt_obs_intrf::IZQS_OBSFilePtr& Owner,
           const zqt_types_bs::TRReaderSettings& Settings)
            -> std::shared_ptr<zqt_classes_bs::TZQS_FileIO> {
            return TZQS_RinexReader::CreateForDay(Owner, 0, Settings);
        },
        [](const zqt_objects_intrf::IESQLiteDatabasePtr& Db) {
            zqt_recordset_dbs::TZQS_Recordset::CopyOwnRecordsets(Db);
        });
}

}  // namespace zqt_rnx_reader
