// The RINEX reader: observation files of versions 2.00 to 4.02 into the observation file's
// receiver (epochs with their satellite observations, site occupations, events).
#include <algorithm>
#include <cmath>

#include "sysutils.h"
#include "zqt_file_bs.h"
#include "zqt_rnx_reader.h"
#include "zqt_model.h"
#include "zqt_rnx_reader_impl.h"
#include "zqt_timefunc.h"

namespace zqt_rnx_reader {

using sysutils::Format;
using sysutils::Trim;
using zqt_variant::Variant;
using namespace zqt_sat_obs_types;
using namespace detail;

namespace {

constexpr std::uint8_t SourceRinex = 2;
constexpr std::int64_t TicksPerDay = zqt_timefunc::TicksPerDay;
constexpr std::int64_t TicksPerSecond = zqt_timefunc::TicksPerSecond;
// Observation fields are 16 columns wide; RINEX 2 lines carry five of them.
constexpr std::size_t FieldWidth = 16;
constexpr std::size_t FieldsPerLine2 = 5;

// A digit field (loss of lock, strength): empty when blank or no digit.
Variant DigitField(std::string_view Text) {
    const std::string_view t = TrimView(Text);
    if (t.size() == 1 && t[0] >= '0' && t[0] <= '9') return Variant(std::int64_t{t[0] - '0'});
    return Variant();
}

// The value part of an observation field, empty when blank or no number.
Variant ValueField(std::string_view Field) {
    double v = 0.0;
    if (!FieldNumber(Cols(Field, 1, 14), v)) return Variant();
    return Variant(v);
}

// A RINEX 2 epoch header has six numbers in its date columns and the flag in column 29;
// an observation line does not.
bool LooksLikeEpochHeader2(std::string_view Line) {
    const std::vector<std::string> w = Words(Cols(Line, 1, 26));
    if (w.size() != 6) return false;
    for (const std::string& s : w) {
        double v = 0.0;
        if (!FieldNumber(s, v)) return false;
    }
    const std::string_view flag = Cols(Line, 29, 29);
    return flag.size() == 1 && flag[0] >= '0' && flag[0] <= '9';
}

}  // namespace

// =======================================================================================
// The file

void TZQS_RinexReader::SetFirstTime(std::int64_t Time) {
    FFirstObs = Time;
    if (const zqt_obs_intrf::IZQS_DataStoragePtr store = FOwner->GetDataStorage()) {
        store->SetBegTime(zqt_timefunc::SubTicks(Time, TicksPerDay));
        store->SetEndTime(zqt_timefunc::AddTicks(Time, 7 * TicksPerDay));
        store->Load();
    }
    FOwner->SetBegTime(Time);
    FFileReceiver->SetBegTime(Time);
    FDataSet->SetBegTime(Time);
    if (FRecordset) FRecordset->SetBegTime(Time);
    FOccupation.BegTime = Time;
}

std::int32_t TZQS_RinexReader::GloChannel(std::uint16_t Key, std::int64_t Time) {
    if (SatKeySystem(Key) != SC_GLONASS) return GloChannelUnknown;
    std::int32_t channel = GloChannelUnknown;
    if (const zqt_obs_intrf::IZQS_DataStoragePtr store = FOwner->GetDataStorage())
        if (const auto provider = store->GetOrbitProvider())
            channel = provider->GlonassChannel(Key, Time);
    // The file's own table serves satellites the navigation data do not know.
    if (channel == GloChannelUnknown && SatKeyNumber(Key) >= 1)
        channel = FHeaderChannels[SatKeyNumber(Key) - 1];
    return channel;
}

void TZQS_RinexReader::ReadObservations() {
    FFileReceiver = FOwner->AddReceiver();
    if (!FFileReceiver) Fail("The observation file gave no receiver");
    FFileReceiver->SetSourceType(SourceRinex);
    FDataSet = FFileReceiver->GetDataSet(0);
    FEpoch = FDataSet ? FDataSet->GetEpoch() : nullptr;
    FSatObs = FEpoch ? FEpoch->GetSatObs() : nullptr;
    if (!FEpoch || !FSatObs) Fail("The observation file gave no epoch to fill");
    FRecordset = FDataSet->GetRecordset();

    bool intervalGiven = false;
    {
        // The header; INTERVAL decides whether epochs are aligned to it.
        const double before = FInterval;
        FInterval = 0.0;
        ReadObsHeader(0);
        intervalGiven = FInterval > 0.0;
        if (!intervalGiven) FInterval = before;
    }
    const auto onDay = [this](std::int64_t T) {
        return FDayStart + zqt_timefunc::SubTicks(T, zqt_timefunc::DayStart(T));
    };
    if (FDayStart != 0) {
        if (FFirstObs != 0) FFirstObs = onDay(FFirstObs);
        if (FLastObs != 0) FLastObs = onDay(FLastObs);
    }
    if (FFirstObs != 0) SetFirstTime(FFirstObs);
    FEpoch->SetEngine(zqt_model::TZQS_Engine::Create(FOwner->GetDataStorage(), FEpoch));
    CheckCancelled();
    FOwner->SetFileType(RnxFileObservation);
    FOwner->SetVersion(static_cast<std::uint32_t>(FVersion));
    const auto intervalTicks =
        static_cast<std::int64_t>(std::nearbyint(FInterval * TicksPerSecond));
    if (IsRinex2(FVersionIndex) && FTypes2.empty()) Fail("No TYPES OF OBSERV data in file");

    while (!Eof() || FPending) {
        if (!ReadEpoch()) continue;
        std::int64_t t = FEpoch->GetTime();
        if (FDayStart != 0) {
            t = onDay(t);
            FEpoch->SetTime(t);
        }
        if (intervalGiven && intervalTicks > 0 && t % intervalTicks != 0) {
            if (!FEpoch->AlignToInterval(intervalTicks)) {
                ++FSummary.Unaligned;
                continue;
            }
            t = FEpoch->GetTime();
        }
        if (FFirstEpoch == 0) {
            FFirstEpoch = t;
            if (t != FFirstObs) SetFirstTime(t);
        }
        try {
            const std::int32_t sats = FEpoch->GetNumSat();
            if (FLastEpoch != 0 && t <= FLastEpoch) {
                FEpoch->ExecuteWriteLate();
            } else {
                FEpoch->ExecuteWrite();
                FLastEpoch = t;
            }
            FEpoch->PrepareSatObs();
            ++FSummary.EpochsWritten;
            FSummary.Satellites += sats;
        } catch (const zqt_types_bs::ExcCancelledByUser&) {
            throw;
        } catch (const std::exception& e) {
            Log(Format("Epoch %s not written: %s", zqt_timefunc::GPSTimeToStr(t),
                       std::string(e.what())));
            ++FSummary.BadEpochs;
            FEpoch->PrepareSatObs();
        }
    }
    if (FOccupation.BegTime != 0 && FOccupation.BegTime != FDataSet->GetBegTime()) {
        FOccupation.EndTime = FLastEpoch;
        FDataSet->CheckRecord(FOccupation);
    }
    if (FLastEpoch != 0) {
        FOwner->SetEndTime(FLastEpoch);
        FFileReceiver->SetEndTime(FLastEpoch);
        FDataSet->SetEndTime(FLastEpoch);
        if (FRecordset) FRecordset->SetEndTime(FLastEpoch);
    }
    ReportObservations();
}

void TZQS_RinexReader::ReportObservations() {
    const RRinexSummary& s = FSummary;
    std::string text;
    const auto add = [&text](const std::string& Item) {
        text += (text.empty() ? "" : ", ") + Item;
    };
    if (s.BadEpochs > 0)
        add(Format("%d damaged epoch(s) (the first in line %d: %s)", s.BadEpochs,
                   s.FirstDamagedLine, s.FirstDamaged));
    if (s.BadSatellites > 0)
        add(Format("%d satellite line(s) of an unreadable satellite", s.BadSatellites));
    if (s.CycleSlipRecords > 0) add(Format("%d cycle-slip record(s)", s.CycleSlipRecords));
    if (s.Unaligned > 0) add(Format("%d epoch(s) off the interval", s.Unaligned));
    if (!text.empty()) DoMessage(Format("%s: skipped %s", FFileName, text), 1);
}

// =======================================================================================
// Epochs

bool TZQS_RinexReader::ReadEpoch() {
    std::string line;
    do {
        if (!NextLine(line)) return false;
    } while (IsBlank(line));
    ++FSummary.EpochsRead;
    const bool rinex2 = IsRinex2(FVersionIndex);
    try {
        if (!(rinex2 ? ReadEpochHeader2(line) : ReadEpochHeader3(line))) return false;
        FEpoch->SetNumSat(FEpochSatCount);
        if (rinex2)
            ReadSatellites2();
        else
            ReadSatellites3();
        FEpoch->GetNumSat();
        return true;
    } catch (const zqt_types_bs::ExcCancelledByUser&) {
        throw;
    } catch (const std::exception& e) {
        LogFmt("ReadEpoch: %s in line %s # %d", std::string(e.what()), FLine, FLineNo);
        if (FSummary.BadEpochs++ == 0) {
            FSummary.FirstDamagedLine = FLineNo;
            FSummary.FirstDamaged = e.what();
        }
        // The lines of the damaged epoch are passed over up to the next epoch header.
        while (NextLine(line))
            if (rinex2 ? LooksLikeEpochHeader2(line) : (!line.empty() && line[0] == '>')) {
                PushBack();
                break;
            }
        return false;
    }
}

bool TZQS_RinexReader::ReadEpochHeader2(const std::string& Line) {
    const std::string date(Cols(Line, 1, 26));
    std::int64_t flag = 0, count = 0;
    if (!IsBlank(Cols(Line, 27, 29)) && !WordInt(Cols(Line, 27, 29), flag))
        throw ExceptionRNX("Bad epoch header");
    if (!IsBlank(Cols(Line, 30, 32)) && (!WordInt(Cols(Line, 30, 32), count) || count < 0))
        throw ExceptionRNX("Bad epoch header");
    FEpochFlag = static_cast<std::int32_t>(flag);
    FEpochSatCount = static_cast<std::int32_t>(count);
    if (flag >= 2 && flag <= 5) {
        ReadEvent(FEpochFlag, FEpochSatCount, date);
        return false;
    }
    if (flag != 0 && flag != 1 && flag != 6) throw ExceptionRNX("Bad epoch header");
    const std::vector<std::string> w = Words(date);
    if (w.size() != 6) throw ExceptionRNX("Bad epoch header");
    const std::int64_t t = EpochTicks(w);
    // The satellite list, continued on further lines beyond 12 satellites.
    std::string list(Cols(Line, 33, 68));
    std::string next;
    while (static_cast<std::int64_t>(list.size()) < 3 * count) {
        list.resize(((list.size() + 35) / 36) * 36, ' ');
        if (!NextLine(next)) throw ExceptionRNX("Bad epoch header");
        if (!IsBlank(Cols(next, 1, 32))) {
            PushBack();
            throw ExceptionRNX("Bad epoch header");
        }
        list += Cols(next, 33, 68);
    }
    if (flag == 6) {
        SkipCycleSlips(FEpochSatCount);
        return false;
    }
    FEpoch->SetTime(t);
    FEpochTime = t;
    const std::uint32_t allowed = RnxVersionInfo(FVersionIndex).Systems;
    FEpochSats.assign(static_cast<std::size_t>(count), 0);
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string_view sat =
            std::string_view(list).substr(static_cast<std::size_t>(3 * i), 3);
        const unsigned sys = LetterToSatSystem(sat.substr(0, 1), true);
        std::int64_t number = 0;
        if (sys == SC_UNKNOWN || !(allowed & (1u << sys)) || !WordInt(sat.substr(1), number))
            continue;
        RSatNum key = SatKey(sys, 1);
        SetRinexSatNumber(key, static_cast<std::int32_t>(number));
        FEpochSats[static_cast<std::size_t>(i)] = key;
    }
    return true;
}

bool TZQS_RinexReader::ReadEpochHeader3(const std::string& Line) {
    if (Line.empty() || Line[0] != '>') throw ExceptionRNX(Format("Bad epoch header %s", Line));
    const std::string date(Cols(Line, 2, 29));
    std::int64_t flag = 0, count = 0;
    if (!IsBlank(Cols(Line, 30, 32)) && !WordInt(Cols(Line, 30, 32), flag))
        throw ExceptionRNX(Format("Bad epoch header %s", Line));
    if (!IsBlank(Cols(Line, 33, 35)) && (!WordInt(Cols(Line, 33, 35), count) || count < 0))
        throw ExceptionRNX(Format("Bad epoch header %s", Line));
    FEpochFlag = static_cast<std::int32_t>(flag);
    FEpochSatCount = static_cast<std::int32_t>(count);
    if (flag >= 2 && flag <= 5) {
        ReadEvent(FEpochFlag, FEpochSatCount, date);
        return false;
    }
    if (flag == 6) {
        SkipCycleSlips(FEpochSatCount);
        return false;
    }
    if (flag != 0 && flag != 1) throw ExceptionRNX(Format("Bad epoch header %s", Line));
    const std::vector<std::string> w = Words(date);
    if (w.size() != 6) throw ExceptionRNX(Format("Bad epoch header %s", Line));
    const std::int64_t t = EpochTicks(w);
    FEpoch->SetTime(t);
    FEpochTime = t;
    return true;
}

void TZQS_RinexReader::SkipCycleSlips(std::int32_t Count) {
    // Cycle-slip records have the layout of observation records; they are not kept.
    const std::size_t lines =
        IsRinex2(FVersionIndex)
            ? static_cast<std::size_t>(Count) *
                  std::max<std::size_t>(1, (FTypes2.size() + FieldsPerLine2 - 1) / FieldsPerLine2)
            : static_cast<std::size_t>(Count);
    std::string line;
    for (std::size_t i = 0; i < lines && NextLine(line); ++i) {
    }
    ++FSummary.CycleSlipRecords;
}

void TZQS_RinexReader::ReadSatellites2() {
    const std::size_t n = FTypes2.size();
    const std::size_t lines = std::max<std::size_t>(1, (n + FieldsPerLine2 - 1) / FieldsPerLine2);
    std::string line;
    for (const std::uint16_t key : FEpochSats) {
        // A file may end without the blank last lines of its last satellite.
        std::vector<std::string> sat(lines);
        std::size_t got = 0;
        while (got < lines && NextLine(sat[got])) ++got;
        if (got == 0) throw ExceptionRNX("Epoch cut short");
        // Satellites of a system the version does not allow, or SBAS, are passed over.
        if (key == 0 || !FSatObs->SetCurSat(key, GloChannel(key, FEpochTime))) continue;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string_view field =
                Cols(sat[i / FieldsPerLine2], 1 + FieldWidth * (i % FieldsPerLine2),
                     FieldWidth * (i % FieldsPerLine2 + 1));
            const Variant value = ValueField(field);
            if (value.IsNullOrEmpty()) continue;
            FSatObs->SetCurObsByCode(FTypes2[i], FVersionIndex, value,
                                     DigitField(Cols(field, 16, 16)),
                                     DigitField(Cols(field, 15, 15)), FCAFlag);
        }
        if (FVersionIndex <= 3) {
            // A satellite with the C/A code and no P code has its phase, Doppler and
            // strength in the slot of the C/A code; so has one without P2 of a file that
            // has C2 and no P2.
            const std::uint32_t types = FSatObs->GetCurObsTypes();
            const auto has = [types](unsigned t) { return (types & (1u << t)) != 0; };
            const auto move = [&](std::uint8_t From, std::uint8_t To) {
                if (has(From) && !has(To)) FSatObs->SwapCurSignals(From, To);
            };
            if (has(OBS_C1) && !has(OBS_P1)) {
                move(OBS_L1, OBS_CP);
                move(OBS_D1, OBS_DC);
                move(OBS_S1, OBS_SC1);
            }
            if ((has(OBS_C2) || FC2Flag) && !has(OBS_P2)) {
                move(OBS_L2, OBS_CP2);
                move(OBS_D2, OBS_DC2);
                move(OBS_S2, OBS_SC2);
            }
        }
        FSatObs->Next();
    }
}

void TZQS_RinexReader::ReadSatellites3() {
    std::string line;
    for (std::int32_t i = 0; i < FEpochSatCount; ++i) {
        if (!NextLine(line)) throw ExceptionRNX("Epoch cut short");
        if (!line.empty() && line[0] == '>') {
            PushBack();
            throw ExceptionRNX(Format("Epoch cut short after %d of %d satellites",
                                      static_cast<std::int64_t>(i),
                                      static_cast<std::int64_t>(FEpochSatCount)));
        }
        std::string id(Cols(line, 1, 3));
        if (id.size() > 1 && id[1] == ' ') id[1] = '0';
        std::uint16_t key = 0;
        try {
            key = StrToSatNum(TrimView(id));
        } catch (const sysutils::Exception&) {
            key = 0;
        }
        if (key == 0 || SatKeyNumber(key) == 0) {
            // Only this satellite's line is lost.
            ++FSummary.BadSatellites;
            LogFmt("ReadEpoch: Bad sv %s in line %s # %d", id, line, FLineNo);
            continue;
        }
        if (!FSatObs->SetCurSat(key, GloChannel(key, FEpochTime))) continue;
        const std::vector<RObsEntry>& entries = FTypes3[SatKeySystem(key)];
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const RObsEntry& entry = entries[k];
            if (entry.Band == 0) continue;
            const std::size_t from = 4 + FieldWidth * k;
            const std::string_view field = Cols(line, from, from + FieldWidth - 1);
            const Variant value = ValueField(field);
            if (value.IsNullOrEmpty()) continue;
            FSatObs->SetCurObsValue(entry.Band, entry.Kind, value, DigitField(Cols(field, 16, 16)),
                                    DigitField(Cols(field, 15, 15)), entry.Channel);
        }
        FSatObs->Next();
    }
}

// =======================================================================================
// Events

void TZQS_RinexReader::ReadEvent(std::int32_t Flag, std::int32_t Count, const std::string& Date) {
    ++FSummary.Events;
    zqt_obs_intrf::TZQS_Occupation& occ = FOccupation;
    const auto eventTime = [this, &Date]() {
        const std::vector<std::string> w = Words(Date);
        if (w.size() < 5) throw ExceptionZQSRNXBadHeader(Format("Bad Epoch Header %s", Date));
        return EpochTicks(w);
    };
    if (Flag == 4) {
        ReadObsHeader(Count);
        return;
    }
    if (Flag == 2 || Flag == 3) {
        const std::int64_t t = eventTime();
        if (occ.BegTime != 0) {
            if (occ.EndTime == 0) occ.EndTime = t;
            FDataSet->CheckRecord(occ);
            occ.BegTime = t;
            occ.EndTime = 0;
        }
        occ.MotionMode = Flag == 2 ? 1 : 0;
        occ.Flags |= zqt_obs_intrf::TZQS_Occupation::FlagMotion;
        occ.BegTime = t;
        RHeaderLine h;
        for (std::int32_t i = 0; i < Count && ReadHeaderLine(h); ++i) {
            if (h.Label == "END OF HEADER") break;
            if (h.Label == "MARKER NAME") {
                occ.SiteName = Trim(h.Value);
                occ.Flags |= zqt_obs_intrf::TZQS_Occupation::FlagSite;
            } else if (h.Label == "ANT # / TYPE") {
                occ.AntennaName = Trim(Cols(h.Value, 21, 60));
                occ.Flags |= zqt_obs_intrf::TZQS_Occupation::FlagAntennaName;
            } else if (h.Label == "ANTENNA: DELTA H/E/N") {
                double height = 0.0, east = 0.0, north = 0.0;
                ReadAntennaDelta(h.Value, height, east, north);
                occ.AntennaHeight = height;
                occ.HeightReference = 0;
                occ.Flags |= zqt_obs_intrf::TZQS_Occupation::FlagAntennaHeight;
            } else if (h.Label == "TIME OF LAST OBS") {
                if (Words(h.Value).size() < 5)
                    throw ExceptionRNX(Format("Invalid time %s", h.Value));
                occ.EndTime = HeaderTime(h.Value);
            } else if (h.Label == "COMMENT") {
                const std::size_t colon = h.Value.find(':');
                if (colon == std::string::npos) continue;
                const std::string key = Trim(h.Value.substr(0, colon));
                const std::string text = Trim(h.Value.substr(colon + 1));
                std::int64_t number = 0;
                if (key == "Description") {
                    occ.Description = text;
                } else if (key == "GUID") {
                    zqt_file_bs::TryStringToGUID(text, occ.Identifier);
                } else if (key == "VertexID" && WordInt(text, number) && number >= INT32_MIN &&
                           number <= INT32_MAX) {
                    occ.VehicleNumber = static_cast<std::int32_t>(number);
                }
            }
        }
        return;
    }
    // Flag 5: an external event, or free-form events given as comments.
    const std::int64_t t = eventTime();
    const auto secondsOfDay = [](std::int64_t T) {
        return static_cast<double>(T - zqt_timefunc::DayStart(T)) / TicksPerSecond;
    };
    std::string external;
    RHeaderLine h;
    for (std::int32_t i = 0; i < Count && ReadHeaderLine(h); ++i) {
        if (h.Label != "COMMENT") continue;
        static constexpr std::string_view FreeForm = "Free-form Event # ";
        static constexpr std::string_view External = "       *** EXTERNAL EVENT ";
        if (const std::size_t p = h.Value.find(FreeForm); p != std::string::npos) {
            // The text after the marker and the event's number.
            std::string_view text = TrimView(std::string_view(h.Value).substr(p + FreeForm.size()));
            const std::size_t blank = text.find(' ');
            if (blank != std::string_view::npos &&
                text.substr(0, blank).find_first_not_of("0123456789") == std::string_view::npos)
                text = TrimView(text.substr(blank));
            zqt_types_bs::RFreeEvent event;
            zqt_types_bs::StrToFreeEvent(event, text);
            event.Time = t;
            event.dTime = secondsOfDay(t);
            FFileReceiver->AddEvent(event);
        } else if (h.Value.find(External) != std::string::npos) {
            // The time of the event stands in the next line, before its ";".
            RHeaderLine time;
            if (++i < Count && ReadHeaderLine(time))
                external = time.Value.substr(0, time.Value.find(';'));
        }
    }
    if (Words(external).size() >= 6) {
        const std::int64_t et = RinexWordsToTicks(Words(external));
        const double s = secondsOfDay(et);
        zqt_types_bs::RFreeEvent event;
        zqt_types_bs::StrToFreeEvent(
            event, sysutils::FormatS(sysutils::PointFormatSettings(), "_%s=%20.9f,%20.9f", "XA", s,
                                     s - zqt_timefunc::LeapSeconds(et)));
        event.Time = et;
        event.dTime = s;
        FFileReceiver->AddEvent(event);
    }
}

}  // namespace zqt_rnx_reader
