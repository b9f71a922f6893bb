#include "zqt_rnx3_writer.h"

#include <cmath>
#include <cstring>

namespace zqt_rnx3_writer {

using zqt_rnx_files::RRinexTime;
using zqt_sat_obs_rcrd::TZQS_SignalMapping;
using namespace zqt_sat_obs_types;

namespace {
constexpr std::size_t KeyCount = 2049;
constexpr int CodesPerLine = 13;
constexpr int CountsPerLine = 9;
const std::vector<std::string> NoCodes;
}  // namespace

std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> TZQS_Rinex3Writer::Create(
    const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset) {
    auto w = zqt_classes_bs::TZQS_BaseObject::CreateOf<TZQS_Rinex3Writer>();
    w->InitFrom(Recordset);
    w->FSystemText = "M";
    return w;
}

const std::vector<std::string>& TZQS_Rinex3Writer::Codes(unsigned Sys) const {
    return Sys < FCodes.size() ? FCodes[Sys] : NoCodes;
}

void TZQS_Rinex3Writer::Prepare() {
    TZQS_RinexObservations::Prepare();

    // The code table over the file's satellites and the types observed in the window.
    zqt_rnx_writer_settings::RRnxWriterSettings settings = FSettings;
    settings.IncludedSystems &= FSystemMask;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        settings.ExcludedObsTypes[s] |= ~FObsTypes[s] & zqt_geo::StatTypeBits;
        settings.ExcludedSats.Sats[s - 1] |= ~FSatSet.Sats[s - 1];
    }
    FCodeTable = std::make_unique<zqt_sat_obs_rcrd::TRnxObs>(FMapping, settings);

    // Columns of the header: the codes of the table whose type stays in the file.
    std::array<std::vector<std::int16_t>, 8> outIndex;
    std::uint32_t withoutCodes = 0;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        FCodes[s].clear();
        if (!(FSystemMask & (1u << s))) continue;
        FObsTypes[s] &= ~FCodeTable->ExcludedObsTypes(s);
        const auto& items = FCodeTable->List(s).Items();
        outIndex[s].assign(items.size(), -1);
        for (std::size_t i = 0; i < items.size(); ++i) {
            // The order key holds (4 x slot + kind - 1) x 26 + letter rank above the code key.
            const std::int32_t group = items[i].Key / TZQS_SignalMapping::CodeKeyCount() / 26;
            const unsigned t = SlotKindToObsType(static_cast<unsigned>(group / 4),
                                                 static_cast<unsigned>(group % 4 + 1));
            if (t == OBS_NOOBS || !(FObsTypes[s] & (1u << t))) continue;
            outIndex[s][i] = static_cast<std::int16_t>(FCodes[s].size());
            FCodes[s].push_back(VersionCode(s, FCodeTable->Code(s, static_cast<int>(i))));
        }
        if (FCodes[s].empty()) withoutCodes |= 1u << s;
        FSatSet.Sats[s - 1] &= FCodeTable->SatsWithCodes().Sats[s - 1];
    }
    DropSystems(withoutCodes);

    FColumns.assign(KeyCount, TColumns{});
    FCounts.assign(KeyCount, {});
    for (const RSatNum key : SatSetKeys(FSatSet)) {
        const unsigned s = SatKeySystem(key);
        TColumns& cols = FColumns[key];
        cols.fill(-1);
        for (unsigned t = 1; t <= 24; ++t) {
            if (!(FObsTypes[s] & (1u << t))) continue;
            const int i = FCodeTable->ColumnIndex(key, t);
            if (i >= 0 && static_cast<std::size_t>(i) < outIndex[s].size())
                cols[t] = outIndex[s][static_cast<std::size_t>(i)];
        }
        FCounts[key].assign(FCodes[s].size(), 0);
    }
    FEpochLines = 0;
}

void TZQS_Rinex3Writer::WriteObsTypeLines() {
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(FSystemMask & (1u << s))) continue;
        const auto& codes = FCodes[s];
        FLine = FormatPoint("%1.1s%5d", SatSystemInfo(s).Letter,
                            static_cast<std::int64_t>(codes.size()));
        int onLine = 0;
        for (const std::string& code : codes) {
            if (onLine == CodesPerLine) {
                WriteHeaderLine(FLine, "SYS / # / OBS TYPES");
                FLine.assign(6, ' ');
                onLine = 0;
            }
            FLine += ' ';
            FLine += code;
            ++onLine;
        }
        WriteHeaderLine(FLine, "SYS / # / OBS TYPES");
    }
}

void TZQS_Rinex3Writer::WriteGloSlotLines() {
    if (!VersionFrom(FSettings.RnxVersion, RN3_301)) return;
    zqt_obs_intrf::TGloChannels channels;
    channels.fill(static_cast<std::int8_t>(GloChannelUnknown));
    if (!FRecordset->GetGloChannels(channels)) return;
    // Satellite numbers that a three-character id holds, channels that fit "%2d".
    std::vector<std::pair<unsigned, int>> known;
    for (unsigned n = 1; n <= 99; ++n) {
        const int ch = channels[n - 1];
        if (ch != GloChannelUnknown && ch >= -9 && ch <= 99) known.emplace_back(n, ch);
    }
    // From 3.02 on a file with GLONASS observations must carry the record, with the
    // satellites whose channel is known or with none.
    if (known.empty() &&
        (!VersionFrom(FSettings.RnxVersion, RN3_302) || FCodes[SC_GLONASS].empty()))
        return;
    FLine = FormatPoint("%3d ", static_cast<std::int64_t>(known.size()));
    int onLine = 0;
    for (const auto& [n, ch] : known) {
        if (onLine == 8) {
            WriteHeaderLine(FLine, "GLONASS SLOT / FRQ #");
            FLine.assign(4, ' ');
            onLine = 0;
        }
        FLine += FormatPoint("%s %2d ", SatNumToStr(SatKey(SC_GLONASS, n)), ch);
        ++onLine;
    }
    WriteHeaderLine(FLine, "GLONASS SLOT / FRQ #");
}

void TZQS_Rinex3Writer::WriteGloBiasLines() {
    if (!VersionFrom(FSettings.RnxVersion, RN3_302)) {
        TZQS_RinexObservations::WriteGloBiasLines();
        return;
    }
    if (FCodes[SC_GLONASS].empty()) return;
    // The biases applied to the phases to align them with the ranges (0 where none was).
    WriteHeaderLine(GloBiasEntries(FRecordset->GetGloPhaseBiases()), "GLONASS COD/PHS/BIS");
}

void TZQS_Rinex3Writer::WriteEpochHeader() {
    if (FEpochSats.empty()) return;
    const RRinexTime t = zqt_rnx_files::DecodeRinexTime(FEpochTime);
    FLine =
        FormatPoint(">%5.4d%3.2d%3.2d%3.2d%3.2d%8.4f000%3d%3d", t.Year, t.Month, t.Day, t.Hour,
                    t.Minute, t.Seconds, FEpochFlag, static_cast<std::int64_t>(FEpochSats.size()));
    std::string clock;
    if (EpochClock("%21.12f", 21, clock)) FLine += clock;
    WriteLine(FLine);
    ++FEpochLines;
}

void TZQS_Rinex3Writer::AddSatRecord(std::uint16_t Key) {
    const unsigned s = SatKeySystem(Key);
    std::string& line = NewRecordLine();
    line.assign(3 + 16 * FCodes[s].size(), ' ');
    const std::string id = SatNumToStr(Key);
    std::memcpy(line.data(), id.data(), std::min<std::size_t>(3, id.size()));
    const TColumns& cols = FColumns[Key];
    std::vector<std::uint32_t>& counts = FCounts[Key];
    for (unsigned t = 1; t <= 24; ++t) {
        const int c = cols[t];
        if (c < 0 || !FormatObsField(t, FField)) continue;
        std::memcpy(line.data() + 3 + 16 * static_cast<std::size_t>(c), FField.data(), 16);
        ++counts[static_cast<std::size_t>(c)];
    }
}

void TZQS_Rinex3Writer::WriteLateLines() {
    WriteHeaderFmt("# OF SATELLITES", "%6d", FSatCount);
    for (const RSatNum key : SatSetKeys(FSatSet)) {
        FLine = FormatPoint("%6s", SatNumToStr(key));
        int onLine = 0;
        for (const std::uint32_t n : FCounts[key]) {
            if (onLine == CountsPerLine) {
                WriteHeaderLine(FLine, "PRN / # OF OBS");
                FLine.assign(6, ' ');
                onLine = 0;
            }
            FLine += FormatPoint("%6d", CapCount(n));
            ++onLine;
        }
        WriteHeaderLine(FLine, "PRN / # OF OBS");
    }
}

std::string TZQS_Rinex3Writer::FormatEventEpochLine(const RRinexTime& T, double Seconds, int Flag,
                                                    int Count) {
    return FormatPoint(">%5.4d%3.2d%3.2d%3.2d%3.2d%11.7f%3d%3d", T.Year, T.Month, T.Day, T.Hour,
                       T.Minute, Seconds, Flag, Count);
}

}  // namespace zqt_rnx3_writer
