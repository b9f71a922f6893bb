#include "zqt_rnx_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "zqt_decimalseparator.h"
#include "zqt_misc.h"
#include "zqt_timefunc.h"
#include "zqt_variant.h"

namespace zqt_rnx_files {

using sysutils::Format;
using zqt_sat_obs_types::RSatNum;
using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SatKeyNumber;
using zqt_sat_obs_types::SatKeySystem;
using zqt_types_bs::eFields;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::Variant;

namespace {

using zqt_timefunc::CivilFromDays;
using zqt_timefunc::DaysFromCivil;
using zqt_timefunc::FloorDiv;
using zqt_timefunc::GPSOriginDays;
using zqt_timefunc::SecondsPerDay;
using zqt_timefunc::TicksPerDay;
using zqt_timefunc::TicksPerHour;
using zqt_timefunc::TicksPerMinute;
using zqt_timefunc::TicksPerSecond;
// The smallest epoch spacing before any is seen: 1,000,000 s.
constexpr std::int64_t NoSpacing = 1'000'000 * TicksPerSecond;
// The receiver digit of a long name ("SSSSMR"): receivers 0 to 9.
constexpr std::size_t MaxReceiverDigits = 10;

std::string RightTrimmed(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}

// Header text comes from the stream, the file name and the options: every character
// outside printable ASCII becomes one "?" (a UTF-8 sequence as a whole, as the formatting
// counted it), so that no source can split a header line or shift its columns.
std::string PrintableAscii(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte: its sequence counted once
        r += b >= 0x20 && b <= 0x7E ? c : '?';
    }
    return r;
}

bool IsAlnum(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Exactly Width characters of Text for a file name: letters and digits kept (upper-cased
// when asked), anything else and the missing characters "X".
std::string NameField(std::string_view Text, std::size_t Width, bool Upper) {
    std::string r(Width, 'X');
    for (std::size_t i = 0; i < Width && i < Text.size(); ++i) {
        char c = Text[i];
        if (!IsAlnum(c)) continue;
        if (Upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        r[i] = c;
    }
    return r;
}

// The directory part of a path with its trailing "/"; "" without a directory.
std::string DirectoryOf(const std::string& Path) {
    const std::size_t p = Path.rfind('/');
    return p == std::string::npos ? std::string() : Path.substr(0, p + 1);
}

// A two-digit count and its unit letter of a file name field ("00U" when it does not fit).
std::pair<std::int64_t, std::string> Field2(std::int64_t Value, const char* Unit) {
    if (Value < 0 || Value > 99) return {0, "U"};
    return {Value, Unit};
}

std::int64_t RoundHalfUp(double x) { return static_cast<std::int64_t>(std::floor(x + 0.5)); }
std::int64_t RoundEven(double x) { return static_cast<std::int64_t>(std::nearbyint(x)); }

std::pair<std::int64_t, std::string> PeriodField(std::int64_t First, std::int64_t Last) {
    std::int64_t span = Last - First;
    if (span < 0) span = 0;
    const std::int64_t s = (span + TicksPerSecond / 2) / TicksPerSecond;  // halves up
    if (s < 59) return Field2(s, "S");
    if (s < 3500) return Field2((s + 29) / 60, "M");
    if (s < 86000) return Field2((s + 1799) / 3600, "H");
    return Field2((s + SecondsPerDay / 2 - 1) / SecondsPerDay, "D");
}

std::pair<std::int64_t, std::string> FrequencyField(std::int64_t Interval) {
    const std::int64_t i = Interval <= 0 ? TicksPerSecond : Interval;
    const double seconds = static_cast<double>(i) / TicksPerSecond;
    if (i < TicksPerSecond) {
        const std::int64_t hz = RoundEven(1.0 / seconds);
        if (hz <= 99) return Field2(hz, "Z");
        if (hz % 100 == 0) return Field2(hz / 100, "C");
        return {0, "U"};
    }
    if (i < TicksPerMinute) return Field2(RoundHalfUp(seconds), "S");
    if (i < TicksPerHour) return Field2(RoundEven(seconds / 60), "M");
    if (i < TicksPerDay) return Field2(RoundEven(seconds / 3600), "H");
    return Field2(RoundEven(seconds / SecondsPerDay), "D");
}

// The last two letters of a long name.
std::string LongNameType(const RRinexNameParts& P) {
    if (P.TypeLetter == "o") return "MO";
    if (P.TypeLetter == "m") return "MM";
    if (P.TypeLetter == "p" || !zqt_sat_obs_types::IsSatSystem(P.NavSystem)) return "MN";
    return std::string(zqt_sat_obs_types::SatSystemInfo(P.NavSystem).Letter) + "N";
}

bool IsNavigationLetter(const std::string& Letter) { return Letter != "o" && Letter != "m"; }

}  // namespace

// =======================================================================================
// Calendar and naming

RRinexTime DecodeRinexTime(std::int64_t Ticks) {
    RRinexTime r;
    const std::int64_t days = FloorDiv(Ticks, TicksPerDay);
    const std::int64_t rem = Ticks - days * TicksPerDay;
    std::int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(GPSOriginDays + days, y, m, d);
    r.Year = static_cast<int>(y);
    r.Month = static_cast<int>(m);
    r.Day = static_cast<int>(d);
    r.DayOfYear = static_cast<int>(GPSOriginDays + days - DaysFromCivil(y, 1, 1) + 1);
    r.Hour = static_cast<int>(rem / TicksPerHour);
    r.Minute = static_cast<int>(rem / (60 * TicksPerSecond) % 60);
    r.Second = static_cast<int>(rem / TicksPerSecond % 60);
    r.Seconds = static_cast<double>(rem % (60 * TicksPerSecond)) / TicksPerSecond;
    return r;
}

bool OutputsNumbered(bool RinexNames, std::uint8_t RnxVersion, std::size_t Outputs) noexcept {
    return RinexNames && Outputs > 1 &&
           (!zqt_sat_obs_types::VersionFrom(RnxVersion, zqt_sat_obs_types::RN3_302) ||
            Outputs > MaxReceiverDigits);
}

std::string RinexFileName(const RRinexNameParts& P) {
    const RRinexTime t = DecodeRinexTime(P.FirstObs);
    const std::string number =
        OutputsNumbered(P.RinexNames, P.RnxVersion, P.Outputs) && P.Output > 0
            ? Format("_%3.3d", static_cast<std::uint64_t>(P.Output) + 1)
            : std::string();
    if (P.RinexNames && zqt_sat_obs_types::VersionFrom(P.RnxVersion, zqt_sat_obs_types::RN3_302)) {
        // Marker numbers that are no number 0..99 (a DOMES number) give "00".
        std::int64_t marker = 0;
        if (!sysutils::TryStrToInt(sysutils::Trim(P.MarkerNumber), marker) || marker < 0 ||
            marker > 99)
            marker = 0;
        // The receiver digit tells the outputs of a run apart.
        if (number.empty() && P.Output > 0)
            marker = marker - marker % 10 +
                     static_cast<std::int64_t>((static_cast<std::size_t>(marker % 10) + P.Output) %
                                               MaxReceiverDigits);
        const std::string cc = sysutils::Trim(P.CountryCode);
        const std::string country = cc.empty() ? std::string("RUS") : NameField(cc, 3, true);
        const auto period = PeriodField(P.FirstObs, P.LastObs);
        const std::string head = Format("%s%2.2d%s_R_%4.4d%3.3d%2.2d%2.2d_%2.2d%1.1s_",
                                        NameField(P.MarkerName, 4, true), marker, country, t.Year,
                                        t.DayOfYear, t.Hour, t.Minute, period.first, period.second);
        const std::string type = LongNameType(P);
        if (IsNavigationLetter(P.TypeLetter))
            return DirectoryOf(P.OutputPath) + head + type + number + ".rnx";
        const auto freq = FrequencyField(P.Interval);
        return DirectoryOf(P.OutputPath) + head +
               Format("%2.2d%1.1s_%s%s.rnx", freq.first, freq.second, type, number);
    }
    const int yy = static_cast<int>(((t.Year % 100) + 100) % 100);
    if (P.RinexNames) {
        const std::int64_t span = P.LastObs - P.FirstObs;
        const char sequence = span > 7000 * TicksPerSecond ? '0' : static_cast<char>('a' + t.Hour);
        return DirectoryOf(P.OutputPath) + NameField(P.MarkerName, 4, false) +
               Format("%3.3d%s%s.%2.2d%s", t.DayOfYear, std::string(1, sequence), number, yy,
                      P.TypeLetter);
    }
    return Format("%s.%2.2d%s", P.OutputPath, yy, P.TypeLetter);
}

// =======================================================================================
// TZQS_RinexFiles

void TZQS_RinexFiles::SetFirstObsTime(std::int64_t Ticks) { FHeader.Header.FirstObs = Ticks; }

std::int64_t TZQS_RinexFiles::GetFirstObsTime() const {
    std::int64_t t = 0;
    return ItemTicks(FHeader.Header.FirstObs, t) ? t : 0;
}

bool TZQS_RinexFiles::ItemTicks(const Variant& Item, std::int64_t& Ticks) {
    // GPS times travel as Currency values whose raw representation is the tick count.
    if (Item.VarType() == zqt_variant::varCurrency) {
        Ticks = Item.AsCurrency();
        return true;
    }
    double v = 0.0;
    if (!ItemNumber(Item, v) || std::fabs(v) > 9.0e18) return false;
    Ticks = static_cast<std::int64_t>(std::nearbyint(v));
    return true;
}

// An item that cannot be read is written blank, as an unknown one is; the observation
// writer names the blank items a station file should carry (ReportBlankItems).
std::string TZQS_RinexFiles::ItemText(const Variant& Item) {
    if (Item.IsNullOrEmpty()) return std::string();
    try {
        return zqt_variant::VarToStrZ(Item);
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string TZQS_RinexFiles::GivenOrItem(zqt_types_bs::eFields Field, const std::string& Given,
                                         const zqt_variant::Variant& Item) const {
    return FOverloaded.Has(Field) ? Given : ItemText(Item);
}

bool TZQS_RinexFiles::ItemNumber(const Variant& Item, double& Value) {
    if (Item.IsNullOrEmpty()) return false;
    try {
        if (Item.IsStr()) {
            const std::string s = sysutils::Trim(zqt_variant::VarToStrZ(Item));
            if (s.empty() || !sysutils::TryStrToFloat(s, Value, sysutils::PointFormatSettings()))
                return false;
        } else if (Item.IsNumeric()) {
            Value = zqt_variant::VarToFloatZ(Item);
        } else {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    return std::isfinite(Value);
}

bool TZQS_RinexFiles::ItemTrue(const Variant& Item) {
    if (Item.IsNullOrEmpty()) return false;
    try {
        return zqt_variant::VarToInt64Z(Item) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

std::string TZQS_RinexFiles::FixedNumber(std::string_view Template, std::size_t Width,
                                         double Value) {
    if (!std::isfinite(Value)) return std::string(Width, ' ');
    std::string s = FormatPoint(Template, Value);
    if (s.size() > Width) return std::string(Width, ' ');
    return s;
}

void TZQS_RinexFiles::WriteHeaderLine(std::string_view Content, std::string_view Label) {
    WriteLn(RightTrimmed(PrintableAscii(FormatPoint("%-60.60s%-20.20s", Content, Label))));
}

void TZQS_RinexFiles::WriteLine(std::string_view Text) {
    if (FSettings.KeepBlanks) {
        WriteLn(Text);
        return;
    }
    std::size_t n = Text.size();
    while (n > 0 && Text[n - 1] == ' ') --n;
    WriteLn(Text.substr(0, n));
}

void TZQS_RinexFiles::WriteVersionLine() {
    if (FSettings.RnxVersion == zqt_sat_obs_types::RN2_200)
        WriteHeaderFmt("RINEX VERSION / TYPE", "%6d%14.1s%-20.20s%-20.20s", 2, "", FFileTypeText,
                       FSystemText);
    else
        WriteHeaderFmt("RINEX VERSION / TYPE", "%9.2f%11.1s%-20.20s%-20.20s",
                       zqt_sat_obs_types::RnxVersionInfo(FSettings.RnxVersion).Number, "",
                       FFileTypeText, FSystemText);
}

void TZQS_RinexFiles::WritePgmLine() {
    const RRinexTime now = DecodeRinexTime(zqt_timefunc::NowUTCTicks());
    const std::string date = Format("%4.4d%2.2d%2.2d %2.2d%2.2d%2.2d UTC", now.Year, now.Month,
                                    now.Day, now.Hour, now.Minute, now.Second);
    WriteHeaderFmt("PGM / RUN BY / DATE", "%-20.20s%-20.20s%-20.20s",
                   FSettings.ProgramName + " " + FSettings.ProgramVersion, FOverloaded.RunBy, date);
}

void TZQS_RinexFiles::WriteMarkerLines() {
    if (FOverloaded.Has(zqt_types_bs::eMarkerName))
        FHeader.Header.MarkerName = FOverloaded.MarkerName;
    if (FOverloaded.Has(zqt_types_bs::eMarkerNumber))
        FHeader.Header.MarkerNumber = FOverloaded.MarkerNumber;
    WriteHeaderFmt("MARKER NAME", "%-60.60s", ItemText(FHeader.Header.MarkerName));
    WriteHeaderFmt("MARKER NUMBER", "%-60.60s", ItemText(FHeader.Header.MarkerNumber));
    // The record exists from RINEX 3 on.
    if (FOverloaded.Has(zqt_types_bs::eMarkerType) &&
        zqt_sat_obs_types::IsRinex3(FSettings.RnxVersion))
        WriteHeaderFmt("MARKER TYPE", "%-60.60s", FOverloaded.MarkerType.substr(0, 20));
}

void TZQS_RinexFiles::WriteLeapSecondsLine() {
    WriteHeaderFmt("LEAP SECONDS", "%6d", zqt_timefunc::LeapSeconds(GetFirstObsTime()));
}

RRinexNameParts TZQS_RinexFiles::NameParts() const {
    RRinexNameParts p;
    p.OutputPath = FOutputPath;
    p.MarkerName = ItemText(FHeader.Header.MarkerName);
    p.MarkerNumber = ItemText(FHeader.Header.MarkerNumber);
    p.CountryCode = ItemText(FHeader.Header.CountryCode);
    std::int64_t t = 0;
    if (ItemTicks(FHeader.Header.FirstObs, t)) p.FirstObs = t;
    p.LastObs = ItemTicks(FHeader.Header.LastObs, t) ? t : p.FirstObs;
    if (ItemTicks(FHeader.Header.Interval, t) && t > 0) p.Interval = t;
    p.RnxVersion = FSettings.RnxVersion;
    p.RinexNames = FSettings.RinexNames;
    p.TypeLetter = FFileTypeLetter;
    p.NavSystem = FNavSystem;
    p.Output = FOutput;
    p.Outputs = FOutputs;
    return p;
}

std::string TZQS_RinexFiles::GetFileName() { return RinexFileName(NameParts()); }

void TZQS_RinexFiles::CopyFrom(const TZQS_RinexFiles& Source) {
    FSettings = Source.FSettings;
    FRecordset = Source.FRecordset;
    FEpoch = Source.FEpoch;
    FSatObs = Source.FSatObs;
    FOutputPath = Source.FOutputPath;
    FOutput = Source.FOutput;
    FOutputs = Source.FOutputs;
    FSystemMask = Source.FSystemMask;
    FHeader = Source.FHeader;
    FOverloaded = Source.FOverloaded;
    if (FOverloaded.Has(zqt_types_bs::eCountryCode))
        FHeader.Header.CountryCode = FOverloaded.CountryCode;
    SetOnProgress(Source.GetOnProgress());
    SetOnMessage(Source.GetOnMessage());
    SetLogger(Source.GetLogger());
}

// =======================================================================================
// TZQS_RinexObservations

namespace {

// The header and body files of a writer: made in a private temporary folder, they lose
// their names (and the folder goes) at once, so that they live only as long as this object
// and leave nothing behind however the process ends. The file the writer has open is
// closed first on every way out.
class TScratchFiles {
public:
    explicit TScratchFiles(zqt_classes_bs::TZQS_BinaryFileWriter& File) : FFile(File) {
        const std::string folder = zqt_misc::CreateTempDir("tolvar");
        try {
            FHeaderName = folder + "obsheader.tmp";
            FBodyName = folder + "obsbody.tmp";
            FHeader = zqt_classes_bs::CreateUnlinkedFile(FHeaderName);
            FBody = zqt_classes_bs::CreateUnlinkedFile(FBodyName);
        } catch (...) {
            zqt_misc::DeleteDirTree(folder, true);
            throw;
        }
        zqt_misc::DeleteDirTree(folder, true);
    }
    TScratchFiles(const TScratchFiles&) = delete;
    TScratchFiles& operator=(const TScratchFiles&) = delete;
    ~TScratchFiles() {
        try {
            FFile.Close();
        } catch (...) {
            // An error is already on its way out; the files go all the same.
        }
    }
    void WriteHeader() { FFile.OpenHandle(Duplicate(FHeader), FHeaderName); }
    void WriteBody() { FFile.OpenHandle(Duplicate(FBody), FBodyName); }
    void AppendHeader(zqt_classes_bs::TZQS_BinaryFileWriter& To) {
        To.AppendFile(FHeader.Fd(), FHeaderName);
    }
    void AppendBody(zqt_classes_bs::TZQS_BinaryFileWriter& To) {
        To.AppendFile(FBody.Fd(), FBodyName);
    }

private:
    static zqt_classes_bs::TFileHandle Duplicate(const zqt_classes_bs::TFileHandle& File) {
        zqt_classes_bs::TFileHandle h = File.Duplicate();
        if (!h.Valid())
            throw zqt_classes_bs::ExcZQSCantOpenFile(
                Format("Can't open file: %s", std::string(std::strerror(errno))));
        return h;
    }

    zqt_classes_bs::TZQS_BinaryFileWriter& FFile;
    std::string FHeaderName;
    std::string FBodyName;
    zqt_classes_bs::TFileHandle FHeader;
    zqt_classes_bs::TFileHandle FBody;
};

const std::string Blank16(16, ' ');

}  // namespace

TZQS_RinexObservations::~TZQS_RinexObservations() = default;

void TZQS_RinexObservations::InitFrom(const IZQS_RecordSetPtr& Recordset) {
    FRecordset = Recordset;
    if (!FRecordset) throw ExceptionZQS("No recordset to write a RINEX file from");
    if (const auto dataset = FRecordset->OpenDataset()) FMapping = dataset->GetSignalMapping();
    if (!FMapping) FMapping = zqt_sat_obs_rcrd::TZQS_SignalMapping::Create(true);
    FEpoch = FRecordset->GetEpoch();
    if (!FEpoch) throw ExceptionZQS("The recordset hands out no epoch to read");
    FSatObs = FEpoch->GetSatObs();
    if (!FSatObs) throw ExceptionZQS("The epoch of the recordset has no satellite observations");
    FFileTypeText = "OBSERVATION DATA";
    FFileTypeLetter = "o";
    FNavSystem = 1;
}

void TZQS_RinexObservations::RecountSats() {
    FSatSet.Mask = 0;
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem;
         ++s) {
        if (!(FSystemMask & (1u << s))) FSatSet.Sats[s - 1].reset();
        FSatSet.Sats[s - 1].reset(0);
        FSatSet.Sats[s - 1].reset(255);
        if (FSatSet.Sats[s - 1].any()) {
            FSatSet.Mask |= 1u << s;
        } else {
            FSystemMask &= ~(1u << s);
            FObsTypes[s] = 0;
        }
    }
    FSystemMask &= zqt_sat_obs_types::AllSystemsMask;
    FSatCount = zqt_sat_obs_types::SatSetCount(FSatSet);
}

void TZQS_RinexObservations::DropSystems(std::uint32_t Systems) {
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem; ++s)
        if (Systems & (1u << s)) {
            FSystemMask &= ~(1u << s);
            FSatSet.Sats[s - 1].reset();
            FObsTypes[s] = 0;
        }
    RecountSats();
    if (FSystemMask == 0) throw ExcNoSatTypes("No sattypes");
}

void TZQS_RinexObservations::Prepare() {
    zqt_sat_obs_types::TObsInfoTable table;
    FRecordset->GetObsInfo(table);
    FMapping->SetSystemMode(table, FSettings.RnxVersion);

    FStats = std::make_unique<RObsStatistics>();
    zqt_geo::ObsStatClear(*FStats);
    FRecordset->GetObsStatistics(*FStats);
    // The systems asked for that the recordset observed, before satellites and signals are
    // left out: all beyond the version means the version, not the choice, leaves nothing.
    const std::uint32_t observed =
        FStats->SystemMask & FWantedSystems & zqt_sat_obs_types::AllSystemsMask;
    FOnlyNotCarried = observed != 0 && (observed & FSettings.IncludedSystems) == 0;
    zqt_geo::ObsStatRemoveSatellites(*FStats, FSettings.ExcludedSats);
    std::array<std::uint32_t, zqt_geo::StatSystems> unwanted{};
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem; ++s)
        unwanted[s - 1] = FSettings.ExcludedObsTypes[s];
    zqt_geo::ObsStatKeepSignals(*FStats, unwanted);
    FNotCarriedSystems = FStats->SystemMask & FWantedSystems & ~FSettings.IncludedSystems &
                         zqt_sat_obs_types::AllSystemsMask;
    zqt_geo::ObsStatKeepSystems(*FStats, FSettings.IncludedSystems);

    FSystemMask = FStats->SystemMask & zqt_sat_obs_types::AllSystemsMask;
    FSatSet = TSatSet{};
    FObsTypes.fill(0);
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem;
         ++s) {
        if (!(FSystemMask & (1u << s))) continue;
        FSatSet.Sats[s - 1] = FStats->Observed.Sats[s - 1];
        FObsTypes[s] = FStats->SystemObsTypes[s - 1] & zqt_geo::StatTypeBits;
    }
    RecountSats();
    if (FSystemMask == 0) throw ExcNoSatTypes("No sattypes");
}

void TZQS_RinexObservations::ApplySecondHeader() {
    auto take = [](Variant& Item, const Variant& Given) {
        if (!Given.IsNullOrEmpty()) Item = Given;
    };
    RFileHeaderFull& h = FHeader;
    const RFileHeaderFull& g = FHeader2;
    take(h.Header.MarkerName, g.Header.MarkerName);
    take(h.Header.MarkerNumber, g.Header.MarkerNumber);
    take(h.Header.Interval, g.Header.Interval);
    take(h.Header.FirstObs, g.Header.FirstObs);
    take(h.Header.LastObs, g.Header.LastObs);
    take(h.Header.Observer, g.Header.Observer);
    take(h.Header.Agency, g.Header.Agency);
    take(h.Header.CountryCode, g.Header.CountryCode);
    take(h.Header.Extra, g.Header.Extra);
    take(h.Header.ApproxX, g.Header.ApproxX);
    take(h.Header.ApproxY, g.Header.ApproxY);
    take(h.Header.ApproxZ, g.Header.ApproxZ);
    take(h.Receiver.Firmware, g.Receiver.Firmware);
    take(h.Receiver.Number, g.Receiver.Number);
    take(h.Receiver.Serial, g.Receiver.Serial);
    take(h.Receiver.Type, g.Receiver.Type);
    take(h.Receiver.Board, g.Receiver.Board);
    if (g.Receiver.FirmwareVersion != 0) h.Receiver.FirmwareVersion = g.Receiver.FirmwareVersion;
    take(h.Antenna.HeightType1, g.Antenna.HeightType1);
    take(h.Antenna.HeightType0, g.Antenna.HeightType0);
    take(h.Antenna.Height, g.Antenna.Height);
    take(h.Antenna.VerticalHeight, g.Antenna.VerticalHeight);
    take(h.Antenna.Number, g.Antenna.Number);
    take(h.Antenna.Type, g.Antenna.Type);
    take(h.Antenna.DeltaH, g.Antenna.DeltaH);
    take(h.Antenna.DeltaE, g.Antenna.DeltaE);
    take(h.Antenna.DeltaN, g.Antenna.DeltaN);
}

void TZQS_RinexObservations::WriteFile() {
    using namespace zqt_sat_obs_types;
    FWantedSystems = FSettings.IncludedSystems;
    FSettings.IncludedSystems &= RnxVersionInfo(FSettings.RnxVersion).Systems;
    const zqt_decimalseparator::TZQT_DecSepScope point('.');

    FHeader = RFileHeaderFull{};
    FPhasesWithoutChannel = FDopplersWithoutChannel = 0;
    FRecordset->GetFileHeader(FHeader);
    ApplySecondHeader();
    if (FOverloaded.Has(zqt_types_bs::eCountryCode))
        FHeader.Header.CountryCode = FOverloaded.CountryCode;
    FFirstObsNoted = GetFirstObsTime();
    Prepare();

    TScratchFiles temp(*this);
    temp.WriteHeader();
    WriteHeaderPart1();
    temp.WriteBody();
    WriteBody();
    ReportProgress(100);
    Close();
    if (FNavSystem != 0) WriteNavigationFiles();

    if (FWrittenAny) {
        FHeader.Header.FirstObs = FFirstWritten;
        FHeader.Header.LastObs = FLastWritten;
    }
    const std::string name = GetFileName();
    zqt_classes_bs::TReplacingFile file(*this, name);
    SetLogName("Compiling " + name);
    temp.AppendHeader(*this);
    WriteLateHeader();
    temp.AppendBody(*this);
    file.Commit();
    FWrittenName = name;
    ReportBlankItems(name);
    ReportSystemsNotCarried(name);
    ReportWithoutChannel(name);
}

void TZQS_RinexObservations::NoteBlankItem(bool Blank, std::string_view Item) {
    if (Blank) FBlankItems.emplace_back(Item);
}

void TZQS_RinexObservations::ReportBlankItems(const std::string& FileName) {
    if (FBlankItems.empty()) return;
    std::string items;
    for (const std::string& item : FBlankItems) items += (items.empty() ? "" : ", ") + item;
    DoMessage(Format("%s: header items left blank, no usable value in the recording: %s",
                     std::filesystem::path(FileName).filename().string(), items),
              1);
}

void TZQS_RinexObservations::ReportSystemsNotCarried(const std::string& FileName) {
    std::string systems;
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem; ++s)
        if (FNotCarriedSystems & (1u << s))
            systems += (systems.empty() ? "" : ", ") +
                       std::string(zqt_sat_obs_types::SatSystemInfo(s).LongName);
    if (systems.empty()) return;
    DoMessage(Format("%s: RINEX %4.2f cannot carry the observations of %s; not written",
                     std::filesystem::path(FileName).filename().string(),
                     zqt_sat_obs_types::RnxVersionInfo(FSettings.RnxVersion).Number, systems),
              1);
}

void TZQS_RinexObservations::ReportWithoutChannel(const std::string& FileName) {
    if (FPhasesWithoutChannel == 0 && FDopplersWithoutChannel == 0) return;
    std::string values = Format("%d GLONASS phase(s)", FPhasesWithoutChannel);
    if (FDopplersWithoutChannel > 0)
        values += Format(" and %d Doppler(s)", FDopplersWithoutChannel);
    DoMessage(Format("%s: %s left blank, no frequency channel known for their satellite",
                     std::filesystem::path(FileName).filename().string(), values),
              1);
}

void TZQS_RinexObservations::WriteHeaderPart1() {
    // Observer, agency, receiver number and firmware, antenna number: optional, and
    // seldom in a stream; their blanks go without a word.
    FBlankItems.clear();
    WriteVersionLine();
    WritePgmLine();
    const RFileHeaderFull& h = FHeader;
    WriteHeaderFmt(
        "OBSERVER / AGENCY", "%-20.20s%-40.40s",
        GivenOrItem(zqt_types_bs::eObserverName, FOverloaded.ObserverName, h.Header.Observer),
        GivenOrItem(zqt_types_bs::eObserverAgency, FOverloaded.ObserverAgency, h.Header.Agency));
    WriteMarkerLines();
    NoteBlankItem(!FOverloaded.Has(zqt_types_bs::eMarkerName) &&
                      sysutils::Trim(ItemText(h.Header.MarkerName)).empty(),
                  "marker name (--MN)");

    std::string number = ItemText(h.Receiver.Number);
    if (sysutils::Trim(number).empty()) number = ItemText(h.Receiver.Serial);
    if (FOverloaded.Has(zqt_types_bs::eReceiverNumber)) number = FOverloaded.ReceiverNumber;
    const std::string receiverType =
        GivenOrItem(zqt_types_bs::eReceiverType, FOverloaded.ReceiverType, h.Receiver.Type);
    WriteHeaderFmt("REC # / TYPE / VERS", "%-20.20s%-20.20s%-20.20s", number, receiverType,
                   GivenOrItem(zqt_types_bs::eFirmwareVersion, FOverloaded.FirmwareVersion,
                               h.Receiver.Firmware));
    NoteBlankItem(
        !FOverloaded.Has(zqt_types_bs::eReceiverType) && sysutils::Trim(receiverType).empty(),
        "receiver type (--RT)");

    std::array<double, 3> xyz{NAN, NAN, NAN};
    const std::array<const Variant*, 3> items{&h.Header.ApproxX, &h.Header.ApproxY,
                                              &h.Header.ApproxZ};
    const std::array<eFields, 3> fields{zqt_types_bs::eApproxX, zqt_types_bs::eApproxY,
                                        zqt_types_bs::eApproxZ};
    const std::array<double, 3> given{FOverloaded.ApproxX, FOverloaded.ApproxY,
                                      FOverloaded.ApproxZ};
    std::string position;
    bool positionBlank = false;
    for (int k = 0; k < 3; ++k) {
        if (FOverloaded.Has(fields[k]))
            xyz[k] = given[k];
        else if (!ItemNumber(*items[k], xyz[k]))
            xyz[k] = NAN;
        const std::string field = FixedNumber("%14.4f", 14, xyz[k]);
        positionBlank |= !FOverloaded.Has(fields[k]) && sysutils::Trim(field).empty();
        position += field;
    }
    WriteHeaderLine(position, "APPROX POSITION XYZ");
    NoteBlankItem(positionBlank, "approximate position (-X, -Y, -Z)");

    WriteAntennaLines();
    WriteWavelengthLines();
    WriteObsTypeLines();
    WriteGloSlotLines();
    WriteGloBiasLines();
}

void TZQS_RinexObservations::WriteGloBiasLines() {
    const zqt_obs_intrf::TGloPhaseBiases biases = FRecordset->GetGloPhaseBiases();
    const std::uint8_t phases = zqt_sat_obs_types::BandsOfKind(
        FObsTypes[zqt_sat_obs_types::SC_GLONASS], zqt_sat_obs_types::OBST_PH);
    bool applied = false;
    for (unsigned slot = 1; slot <= biases.size(); ++slot)
        applied |= (phases & (1u << slot)) != 0 && std::isfinite(biases[slot - 1]) &&
                   biases[slot - 1] != 0.0;
    if (!applied) return;
    WriteComment("GLONASS phases corrected by code-phase biases (m):");
    WriteComment(GloBiasEntries(biases));
}

std::string TZQS_RinexObservations::GloBiasEntries(const zqt_obs_intrf::TGloPhaseBiases& Biases) {
    static constexpr const char* Codes[4] = {"C1C", "C1P", "C2C", "C2P"};
    std::string line;
    for (std::size_t i = 0; i < Biases.size(); ++i)
        line += FormatPoint(" %3s %8.3f", Codes[i], std::isfinite(Biases[i]) ? Biases[i] : 0.0);
    return line;
}

void TZQS_RinexObservations::WriteAntennaLines() {
    auto& a = FHeader.Antenna;
    if (FOverloaded.Has(zqt_types_bs::eAntenaNumber)) a.Number = FOverloaded.AntennaNumber;
    if (FOverloaded.Has(zqt_types_bs::eAntennaModel)) a.Type = FOverloaded.AntennaModel;
    if (FOverloaded.Has(zqt_types_bs::eAntennaHeight)) {
        a.Height = FOverloaded.AntennaHeight;
        a.HeightType1 = false;
        a.HeightType0 = true;
    }
    if (FOverloaded.Has(zqt_types_bs::eAntennaDeltaE)) a.DeltaE = FOverloaded.AntennaDeltaE;
    if (FOverloaded.Has(zqt_types_bs::eAntennaDeltaN)) a.DeltaN = FOverloaded.AntennaDeltaN;
    if (FOverloaded.Has(zqt_types_bs::eAntennaDeltaH)) a.DeltaH = FOverloaded.AntennaDeltaH;

    WriteHeaderFmt("ANT # / TYPE", "%-20.20s%-20.20s", ItemText(a.Number), ItemText(a.Type));
    NoteBlankItem(
        !FOverloaded.Has(zqt_types_bs::eAntennaModel) && sysutils::Trim(ItemText(a.Type)).empty(),
        "antenna type (--AT)");
    // The height field: the height given on the command line (--DH), else the vertical
    // height of the data.
    double h = NAN;
    double e = NAN;
    double n = NAN;
    if (FOverloaded.Has(zqt_types_bs::eAntennaDeltaH))
        h = FOverloaded.AntennaDeltaH;
    else if (!ItemNumber(a.VerticalHeight, h))
        h = NAN;
    if (!ItemNumber(a.DeltaE, e)) e = NAN;
    if (!ItemNumber(a.DeltaN, n)) n = NAN;
    const std::string deltas =
        FixedNumber("%14.4f", 14, h) + FixedNumber("%14.4f", 14, e) + FixedNumber("%14.4f", 14, n);
    WriteHeaderLine(deltas, "ANTENNA: DELTA H/E/N");
    // Given values (--DH, --DE, --DN, within +-100 m) always fill their fields.
    NoteBlankItem(sysutils::Trim(deltas.substr(0, 14)).empty() ||
                      sysutils::Trim(deltas.substr(14, 14)).empty() ||
                      sysutils::Trim(deltas.substr(28, 14)).empty(),
                  "antenna delta H/E/N (--DH, --DE, --DN)");
    double height = 0.0;
    if (!ItemNumber(a.Height, height)) return;
    if (ItemTrue(a.HeightType1))
        WriteComment(FormatPoint("Antenna is slant; Height = %f", height));
    else if (ItemTrue(a.HeightType0))
        WriteComment(FormatPoint("Antenna height to marker; Height = %f", height));
}

void TZQS_RinexObservations::WriteBody() {
    FFirstWritten = FLastWritten = 0;
    FWrittenAny = false;
    FMinSpacing = NoSpacing;
    FFreeEventCount = 0;
    FPendingLli.assign(2049, 0);
    ProgressStart(FRecordset->GetEpochCount());

    FEvents.reset();
    FEventPending = false;
    if (FSettings.Events) {
        if (const auto db = FRecordset->GetDatabase()) {
            FEvents = db->PrepareSelectFmt(
                "SELECT * FROM Events WHERE (ParentID = %d) AND (GPSTime > %d) "
                "ORDER BY GPSTime, EventID",
                FRecordset->GetDataSetID(), FRecordset->GetBegTime() - 1);
            FetchEvent();
        }
    }

    bool first = true;
    std::int64_t previous = 0;
    while (FRecordset->NextEpoch()) {
        FEpochTime = FRecordset->GetCurTime();
        if (!first) {
            const std::int64_t spacing = FEpochTime - previous;
            if (spacing > 0 && spacing < FMinSpacing) FMinSpacing = spacing;
        }
        first = false;
        previous = FEpochTime;

        while (FEventPending && FEvent.Time < FEpochTime) {
            WriteEvent();
            FetchEvent();
        }

        FEpochFlag = FEpoch->GetEpochRecord().EpochFlag;
        FEpochSats.clear();
        FRecordCount = 0;
        FRecordset->ResetSatCursor();
        while (FRecordset->NextSat()) {
            const std::uint16_t key = FRecordset->GetCurSatKey();
            if (!zqt_sat_obs_types::SatSetContains(key, FSatSet)) continue;
            FEpochSats.push_back(key);
            AddSatRecord(key);
        }
        if (!FEpochSats.empty()) {
            WriteEpochHeader();
            WriteEpochObservations();
            if (!FWrittenAny) FFirstWritten = FEpochTime;
            FLastWritten = FEpochTime;
            FWrittenAny = true;
        }
        ProgressInc();
    }
    // Events after the last epoch that still lie inside the recordset's window.
    while (FEventPending && FEvent.Time <= FRecordset->GetEndTime()) {
        WriteEvent();
        FetchEvent();
    }
    FEvents.reset();
}

std::string& TZQS_RinexObservations::NewRecordLine() {
    if (FRecordCount == FRecordLines.size()) FRecordLines.emplace_back();
    std::string& line = FRecordLines[FRecordCount++];
    line.clear();
    return line;
}

void TZQS_RinexObservations::WriteEpochObservations() {
    for (std::size_t i = 0; i < FRecordCount; ++i) WriteLine(FRecordLines[i]);
}

bool TZQS_RinexObservations::EpochClock(std::string_view Template, std::size_t Width,
                                        std::string& Text) {
    if (FSettings.NoClockOffset) return false;
    const double metres = FEpoch->GetClock();
    if (!std::isfinite(metres) || metres == 0.0) return false;
    Text = FixedNumber(Template, Width, metres / zqt_sat_obs_types::SpeedOfLight);
    return Text.find_first_not_of(' ') != std::string::npos;
}

bool TZQS_RinexObservations::FormatObsField(unsigned T, std::array<char, 16>& Field) {
    using namespace zqt_sat_obs_types;
    std::memcpy(Field.data(), Blank16.data(), 16);
    if (T < 1 || T > 24 || !(FSatObs->GetCurObsTypes() & (1u << T))) return false;
    const auto slot = static_cast<std::uint8_t>(ObsTypeSlot(T));
    const unsigned kind = ObsTypeKind(T);
    const std::uint16_t key = FSatObs->GetCurSatKey();

    double range = NAN;
    double phase = NAN;
    double doppler = NAN;
    double strength = NAN;
    if (FSettings.RecordsetValues) {
        zqt_obs_intrf::RSatObsBand block;
        FRecordset->GetCurObsValues(block, slot);
        range = block.Range;
        phase = block.Phase;
        doppler = block.Doppler;
        if (block.Kinds & zqt_obs_intrf::KindStrength) strength = block.Strength;
    } else {
        if (kind == OBST_RN) range = FSatObs->GetCurRange(slot);
        if (kind == OBST_PH) phase = FSatObs->GetCurPhase(slot);
        if (kind == OBST_DP) doppler = FSatObs->GetCurDoppler(slot);
        strength = FSatObs->GetCurSignalStrength(slot);
    }

    double value = NAN;
    char lli = ' ';
    char digit = ' ';
    const std::size_t lliIndex = key < 2049 ? key : 0;
    const std::uint8_t lliBit = static_cast<std::uint8_t>(1u << slot);
    switch (kind) {
        case OBST_RN: value = range; break;
        case OBST_PH: {
            // Asked once per epoch and signal: the answer depends on the previous call.
            if (FSatObs->LossOfLock(slot)) FPendingLli[lliIndex] |= lliBit;
            const double wavelength = FRecordset->GetWavelength(slot);
            if (std::isfinite(wavelength) && wavelength > 0.0) {
                value = phase / wavelength;
                if (FSettings.PhaseShiftCorrection) {
                    const double shift = FMapping->SlotPhaseShift(key, slot);
                    if (std::isfinite(shift)) value -= shift;
                }
            } else if (std::isfinite(phase) && SatKeySystem(key) == SC_GLONASS) {
                ++FPhasesWithoutChannel;  // a GLONASS satellite of unknown channel
            }
            if (std::isfinite(strength)) {
                const double n = std::nearbyint(strength * 0.25);
                if (n >= 1.0 && n <= 99.0)
                    digit = static_cast<char>('0' + std::clamp(static_cast<int>(n) / 6, 1, 9));
            }
            break;
        }
        case OBST_DP:
            value = doppler;
            // A recordset value is a range rate, which needs the wavelength.
            if (FSettings.RecordsetValues) {
                const double wavelength = FRecordset->GetWavelength(slot);
                if (!std::isfinite(wavelength) || wavelength <= 0.0) {
                    if (std::isfinite(value) && SatKeySystem(key) == SC_GLONASS)
                        ++FDopplersWithoutChannel;
                    value = NAN;
                }
            }
            break;
        case OBST_SS: value = strength * 0.25; break;
        default: break;
    }
    // Format("%14.3f") of the value; a value that does not fit gives no field.
    if (!sysutils::FixedField(value, 14, 3, Field.data())) return false;
    if (kind == OBST_PH && (FPendingLli[lliIndex] & lliBit)) {
        lli = '1';
        FPendingLli[lliIndex] &= static_cast<std::uint8_t>(~lliBit);
    }
    Field[14] = lli;
    Field[15] = digit;
    return true;
}

void TZQS_RinexObservations::WriteLateHeader() {
    using namespace zqt_sat_obs_types;
    // INTERVAL is left out when no spacing was seen (a single epoch) or when it does not
    // fit its field.
    if (FMinSpacing < NoSpacing) {
        const std::int64_t spacing = FMinSpacing > 0 ? FMinSpacing : TicksPerSecond;
        if (FSettings.RnxVersion == RN2_200) {
            const std::int64_t whole = spacing / TicksPerSecond;
            if (whole >= 1 && whole <= 999999) WriteHeaderFmt("INTERVAL", "%6d", whole);
        } else {
            const std::string text =
                FixedNumber("%10.3f", 10, static_cast<double>(spacing) / TicksPerSecond);
            if (text.find_first_not_of(' ') != std::string::npos) WriteHeaderLine(text, "INTERVAL");
        }
    }
    const std::array<std::pair<const Variant*, const char*>, 2> times{
        {{&FHeader.Header.FirstObs, "TIME OF FIRST OBS"},
         {&FHeader.Header.LastObs, "TIME OF LAST OBS"}}};
    for (const auto& [item, label] : times) {
        std::int64_t ticks = 0;
        if (!ItemTicks(*item, ticks)) continue;
        const RRinexTime t = DecodeRinexTime(ticks);
        WriteHeaderFmt(label, "%6d%6d%6d%6d%6d%13.7f%8.3s", t.Year, t.Month, t.Day, t.Hour,
                       t.Minute, t.Seconds, "GPS");
    }
    WriteLeapSecondsLine();
    if (VersionFrom(FSettings.RnxVersion, RN3_301)) WritePhaseShiftLines();
    WriteLateLines();
    WriteEndOfHeader();
}

std::string TZQS_RinexObservations::VersionCode(unsigned Sys, std::string Code) const {
    // BeiDou B1 signals carry band 1 in RINEX 3.02 and band 2 in every other version.
    if (FSettings.RnxVersion == zqt_sat_obs_types::RN3_302 && Sys == zqt_sat_obs_types::SC_BDS &&
        Code.size() == 3 && Code[1] == '2')
        Code[1] = '1';
    return Code;
}

void TZQS_RinexObservations::WritePhaseShiftLines() {
    using namespace zqt_sat_obs_types;
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem;
         ++s) {
        if (!(FSystemMask & (1u << s))) continue;
        // (attribute index x 5 + quarter-cycle index) -> satellites; without the
        // phase-shift correction the phases carry the shifts of their signals.
        std::map<std::int32_t, std::vector<RSatNum>> pairs;
        for (const RSatNum key : SatWordKeys(FSatSet.Sats[s - 1], s)) {
            const int index = zqt_geo::ObsStatIndex(key);
            if (index < 0) continue;
            const std::uint32_t types = FStats->Entries[static_cast<std::size_t>(index)].ObsTypes;
            for (unsigned slot = zqt_sat_obs_types::SLOT_FIRST;
                 slot <= zqt_sat_obs_types::SLOT_LAST; ++slot) {
                const unsigned t = SlotKindToObsType(slot, OBST_PH);
                if (!(FObsTypes[s] & (1u << t)) || !(types & (1u << t))) continue;
                const std::int32_t attr = zqt_sat_obs_rcrd::TZQS_SignalMapping::CodeToAttrIndex(
                    FMapping->SlotCodeText(key, slot));
                if (attr < 0) continue;
                std::int32_t quarter = 2;  // no shift
                if (!FSettings.PhaseShiftCorrection) {
                    const double shift = FMapping->SlotPhaseShift(key, slot);
                    if (!std::isfinite(shift)) continue;
                    const double q = std::nearbyint((shift + 0.5) * 4.0);
                    quarter = static_cast<std::int32_t>(std::clamp(q, 0.0, 4.0));
                }
                pairs[attr * 5 + quarter].push_back(key);
            }
        }
        const std::string letter(SatSystemInfo(s).Letter);
        std::int32_t lastAttr = -1;
        for (const auto& [pairKey, sats] : pairs) {
            const std::int32_t attr = pairKey / 5;
            const std::string code =
                VersionCode(s, "L" + zqt_sat_obs_rcrd::TZQS_SignalMapping::AttrIndexToCode(attr));
            if (FSettings.PhaseShiftCorrection) {
                // The body holds the phases as tracked: no shift is declared.
                if (attr != lastAttr)
                    WriteHeaderFmt("SYS / PHASE SHIFT", "%1s %-3.3s", letter, code);
                lastAttr = attr;
                continue;
            }
            const double shift = (pairKey % 5) * 0.25 - 0.5;
            std::string line = FormatPoint("%1s %-3.3s %8.5f  %2.2d", letter, code, shift,
                                           static_cast<std::int64_t>(sats.size()));
            int onLine = 0;
            for (const RSatNum key : sats) {
                if (onLine == 10) {
                    WriteHeaderLine(line, "SYS / PHASE SHIFT");
                    line.assign(18, ' ');
                    onLine = 0;
                }
                line += ' ';
                line += SatNumToStr(key);
                ++onLine;
            }
            WriteHeaderLine(line, "SYS / PHASE SHIFT");
        }
    }
}

bool TZQS_RinexObservations::FetchEvent() {
    FEventPending = false;
    if (!FEvents || !FEvents->Next()) return false;
    using zqt_variant::VarToFloatZ;
    using zqt_variant::VarToInt64Z;
    using zqt_variant::VarToStrZ;
    FEvent.Time = VarToInt64Z(FEvents->Value(2));
    FEvent.TimeValue = VarToFloatZ(FEvents->Value(3));
    const std::int64_t kind = VarToInt64Z(FEvents->Value(4));
    FEvent.Kind = static_cast<std::uint8_t>(kind >= 0 && kind <= 255 ? kind : 0);
    FEvent.Tag = VarToStrZ(FEvents->Value(5));
    FEvent.Value = VarToStrZ(FEvents->Value(6));
    FEvent.Text = VarToStrZ(FEvents->Value(7));
    FEventPending = true;
    return true;
}

void TZQS_RinexObservations::WriteEvent() {
    using namespace zqt_types_bs;
    if (FEvent.Time < FFirstObsNoted) return;
    const unsigned kind = FEvent.Kind;
    if (!FSettings.AllEvents &&
        ((kind >= FE_ANT && kind <= FE_DSC) || kind == FE_GUI || kind == FE_VTN))
        return;
    const RRinexTime t = DecodeRinexTime(FEvent.Time);
    if (kind >= FE_XA && kind <= FE_XC) {
        double g = FEvent.TimeValue;
        double u = NAN;
        const std::string value = sysutils::Trim(FEvent.Value);
        if (!value.empty()) {
            const std::size_t comma = value.find(',');
            double a = 0.0;
            double b = 0.0;
            if (comma != std::string::npos &&
                sysutils::TryStrToFloat(sysutils::Trim(value.substr(0, comma)), a,
                                        sysutils::PointFormatSettings()) &&
                sysutils::TryStrToFloat(sysutils::Trim(value.substr(comma + 1)), b,
                                        sysutils::PointFormatSettings()) &&
                std::isfinite(a) && std::isfinite(b)) {
                g = a;
                u = b;
            }
        }
        if (!std::isfinite(g)) g = 0.0;
        if (!std::isfinite(u)) u = g - zqt_timefunc::LeapSeconds(FEvent.Time);
        const double shift = std::nearbyint((u - g) * TicksPerSecond);
        const std::int64_t utc = std::fabs(shift) < 1.0e15
                                     ? FEvent.Time + static_cast<std::int64_t>(shift)
                                     : FEvent.Time;
        const double gf = g - std::floor(g);
        const double uf = u - std::floor(u);
        const RRinexTime ut = DecodeRinexTime(utc);
        WriteLine(FormatEventEpochLine(t, t.Second + gf, 5, 2));
        WriteComment(Format("       *** EXTERNAL EVENT %s in GPS time     ***",
                            std::string(FreeEventTags[kind]).substr(1)));
        WriteComment(FormatPoint(" %2.2d%3d%3d%3d%3d%13.9f;U %2.2d%3d%3d%3d%3d%13.9f", t.Year % 100,
                                 t.Month, t.Day, t.Hour, t.Minute, t.Second + gf, ut.Year % 100,
                                 ut.Month, ut.Day, ut.Hour, ut.Minute, ut.Second + uf));
        return;
    }
    ++FFreeEventCount;
    WriteLine(FormatEventEpochLine(t, t.Second, 5, 1));
    WriteComment(Format("Free-form Event # %d %s=%s", FFreeEventCount, FEvent.Tag, FEvent.Value));
}

void TZQS_RinexObservations::WriteNavigationFiles() {
    using namespace zqt_sat_obs_types;
    if (FSettings.NoNavigation) return;
    if (FSettings.MixedNavigation) {
        TZQS_RinexNavigation::CreateFrom(*this, SC_GPS)->WriteFile();
    } else {
        for (const std::uint8_t s :
             {SC_GPS, SC_GLONASS, SC_GALILEO, SC_QZSS, SC_BDS, SC_IRNSS, SC_WAAS})
            TZQS_RinexNavigation::CreateFrom(*this, s)->WriteFile();
    }
    TZQS_RinexMeteo::CreateFrom(*this)->WriteFile();
}

// =======================================================================================
// TZQS_RinexNavigation: zqt_rnx_files_nav.cpp

// =======================================================================================
// TZQS_RinexMeteo

std::shared_ptr<TZQS_RinexMeteo> TZQS_RinexMeteo::CreateFrom(const TZQS_RinexFiles& Source) {
    auto w = zqt_classes_bs::TZQS_BaseObject::CreateOf<TZQS_RinexMeteo>();
    w->CopyFrom(Source);
    w->FFileTypeLetter = "m";
    w->FFileTypeText = "METEOROLOGICAL DATA";
    return w;
}

}  // namespace zqt_rnx_files
