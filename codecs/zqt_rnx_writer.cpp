#include "zqt_rnx_writer.h"

#include <cstring>

namespace zqt_rnx_writer {

using zqt_rnx_files::RRinexTime;
using namespace zqt_sat_obs_types;

namespace {
constexpr std::size_t KeyCount = 2049;
constexpr int CodesPerLine = 9;
constexpr int FieldsPerLine = 5;
constexpr int SatsPerLine = 12;
}  // namespace

std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> TZQS_RinexWriter::Create(
    const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset) {
    auto w = zqt_classes_bs::TZQS_BaseObject::CreateOf<TZQS_RinexWriter>();
    w->InitFrom(Recordset);
    // The main program's settings replace these.
    w->FSettings.RnxVersion = RN2_211;
    w->FSettings.IncludedSystems = 0x82;
    w->FSettings.ProgramName = "Harbeckworks";
    w->FSystemText = "M (MIXED)";
    return w;
}

void TZQS_RinexWriter::Prepare() {
    TZQS_RinexObservations::Prepare();
    const unsigned version = FSettings.RnxVersion;
    std::array<bool, RnxCodeCount> inFile{};
    std::uint32_t withoutCodes = 0;
    for (auto& row : FColumn) row.fill(0);
    for (auto& row : FColumn2) row.fill(0);
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(FSystemMask & (1u << s))) continue;
        for (unsigned t = 1; t <= 24; ++t) {
            if (!(FObsTypes[s] & (1u << t))) continue;
            const RNXOBS code = ObsTypeToRnx2Code(version, s, t);
            if (code == RNX_UNKNOWN ||
                zqt_rnx_writer_settings::ObsCodeSelected(FSettings.ObsCodes, s, RnxObsText(code))) {
                FObsTypes[s] &= ~(1u << t);
                continue;
            }
            inFile[code] = true;
            std::uint8_t& column = FColumn[s][code];
            if (column == 0) {
                column = static_cast<std::uint8_t>(t);
            } else if (FSettings.CAPhase && ObsTypeSlot(column) == SLOT_R0) {
                // With the C/A flag the C/A signal stands for the first frequency.
                FColumn2[s][code] = static_cast<std::uint8_t>(t);
            } else {
                // The later type takes the column; the earlier one serves satellites
                // that lack it.
                FColumn2[s][code] = column;
                column = static_cast<std::uint8_t>(t);
            }
        }
        if (FObsTypes[s] == 0) withoutCodes |= 1u << s;
    }
    DropSystems(withoutCodes);

    FCodeList.clear();
    for (std::size_t c = 1; c < RnxCodeCount; ++c)
        if (inFile[c]) FCodeList.push_back(static_cast<std::uint8_t>(c));
    FCounts.assign(KeyCount, {});
    for (const RSatNum key : SatSetKeys(FSatSet)) FCounts[key].assign(FCodeList.size(), 0);
    FEpochLines = 0;
}

void TZQS_RinexWriter::WriteObsTypeLines() {
    FLine = FormatPoint("%6d", static_cast<std::int64_t>(FCodeList.size()));
    int onLine = 0;
    for (const std::uint8_t code : FCodeList) {
        if (onLine == CodesPerLine) {
            WriteHeaderLine(FLine, "# / TYPES OF OBSERV");
            FLine.assign(6, ' ');
            onLine = 0;
        }
        FLine += FormatPoint("%6.2s", RnxObsText(code));
        ++onLine;
    }
    WriteHeaderLine(FLine, "# / TYPES OF OBSERV");
}

void TZQS_RinexWriter::WriteWavelengthLines() {
    WriteHeaderFmt("WAVELENGTH FACT L1/2", "%6d%6d", 1, 1);
}

void TZQS_RinexWriter::WriteEpochHeader() {
    if (FEpochSats.empty()) return;
    const RRinexTime t = zqt_rnx_files::DecodeRinexTime(FEpochTime);
    FLine =
        FormatPoint(" %2.2d%3d%3d%3d%3d%11.7f%3d%3d", t.Year % 100, t.Month, t.Day, t.Hour,
                    t.Minute, t.Seconds, FEpochFlag, static_cast<std::int64_t>(FEpochSats.size()));
    const char* numberFormat = FSettings.LeadingZeros ? "%1.1s%2.2d" : "%1.1s%2d";
    std::string clock;
    const bool withClock = EpochClock("%12.9f", 12, clock);
    bool firstLine = true;
    int onLine = 0;
    for (const RSatNum key : FEpochSats) {
        if (onLine == SatsPerLine) {
            if (firstLine && withClock)
                WriteLine(FormatPoint("%-68.68s", FLine) + clock);
            else
                WriteLine(FLine);
            firstLine = false;
            FLine.assign(32, ' ');
            onLine = 0;
        }
        FLine += FormatPoint(numberFormat, SatSystemLetter(key), RinexSatNumber(key));
        ++onLine;
    }
    if (firstLine && withClock)
        WriteLine(FormatPoint("%-68.68s", FLine) + clock);
    else
        WriteLine(FLine);
    ++FEpochLines;
}

void TZQS_RinexWriter::AddSatRecord(std::uint16_t Key) {
    const unsigned s = SatKeySystem(Key);
    const std::uint32_t present = FSatObs->GetCurObsTypes();
    std::vector<std::uint32_t>& counts = FCounts[Key];
    std::string* line = nullptr;
    for (std::size_t i = 0; i < FCodeList.size(); ++i) {
        if (i % FieldsPerLine == 0) {
            line = &NewRecordLine();
            line->reserve(std::size_t{16} * FieldsPerLine);
        }
        const std::uint8_t code = FCodeList[i];
        unsigned t = FColumn[s][code];
        if (t != 0 && !(present & (1u << t)) && FColumn2[s][code] != 0) t = FColumn2[s][code];
        if (t != 0 && FormatObsField(t, FField)) {
            line->append(FField.data(), FField.size());
            if (i < counts.size()) ++counts[i];
        } else {
            line->append(16, ' ');
        }
    }
}

void TZQS_RinexWriter::WriteLateLines() {
    WriteHeaderFmt("# OF SATELLITES", "%6d", FSatCount);
    for (const RSatNum key : SatSetKeys(FSatSet)) {
        if (!(FSettings.IncludedSystems & (1u << SatKeySystem(key)))) continue;
        FLine = FormatPoint("%4s%2d", SatSystemLetter(key), RinexSatNumber(key));
        int onLine = 0;
        for (const std::uint32_t n : FCounts[key]) {
            if (onLine == CodesPerLine) {
                WriteHeaderLine(FLine, "PRN / # OF OBS");
                FLine.assign(6, ' ');
                onLine = 0;
            }
            FLine += FormatPoint("%6d", CapCount(n));
            ++onLine;
        }
        if (onLine > 0 || FCounts[key].empty()) WriteHeaderLine(FLine, "PRN / # OF OBS");
    }
}

std::string TZQS_RinexWriter::FormatEventEpochLine(const RRinexTime& T, double Seconds, int Flag,
                                                   int Count) {
    return FormatPoint(" %2.2d%3d%3d%3d%3d%11.7f%3d%3d", T.Year % 100, T.Month, T.Day, T.Hour,
                       T.Minute, Seconds, Flag, Count);
}

}  // namespace zqt_rnx_writer
