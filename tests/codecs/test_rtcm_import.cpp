// The RTCM import end to end: station, antenna, receiver and bias messages and their
// hand-over, the epochs assembled and written through the observation file (compared with
// what the decoder gives for the same encoder-made stream), the second-pass selection, the
// time window, late epochs, whole-millisecond ambiguities, BNC raw files, start times, and
// the real recordings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_import_util.h"
#include "rtcm_test_util.h"
#include "sysutils.h"
#include "zqt_recordset_dbs.h"
#include "zqt_rtc_parser.h"
#include "zqt_sat_obs_types.h"
#include "zqt_tropomodel.h"

using namespace rtcm_encoder;
using namespace rtcmimport;
using sysutils::Format;
using zqt_arrays::TSortedArrayOfInteger;
using zqt_obs_intrf::RVec3;
using zqt_rtc_parser::TZQS_RTCM_Parser;
using zqt_sat_obs_types::SatKey;

namespace {

constexpr int Leap = 18;
constexpr std::int64_t Sec = TicksPerSecond;
constexpr std::int64_t Day20240305 = 13936320000000;  // 2024-03-05 00:00 GPS
constexpr std::int64_t T0 = Day20240305 + 10 * 3600 * Sec;
constexpr const char* Name = "TEST_2024_03_05.rtcm3";

// ---------------------------------------------------------------------------------------
// Streams

// One satellite of an MSM with a cell per signal (signal 2 first) whose values follow from
// Base (m).
RMsmSatIn MsmSat(int Id, double Base, const std::vector<int>& Signals, int Channel = 0) {
    RMsmSatIn s;
    s.Id = Id;
    s.ExtInfo = Channel + 7;
    for (const int sig : Signals) {
        RMsmCellIn c;
        c.Signal = sig;
        c.Pseudorange = Base + (sig == 2 ? 0.0 : 3.25);
        c.Phase = Base - (sig == 2 ? 1.0 : 2.5);
        c.Rate = -350.0 + Id;
        c.Lock = 600;
        c.Cnr = sig == 2 ? 45.0 : 39.5;
        s.Cells.push_back(c);
    }
    return s;
}

// An MSM7 of a system at epoch t with satellites Ids; Last: the epoch ends with it. GLONASS
// satellites send L1 and L2 C/A, with GloP the L1 and L2 P code too.
TBytes Msm7(int Number, std::int64_t t, std::vector<int> Ids, bool Last, int Station = 7,
            bool GloP = false) {
    RMsmIn m;
    m.Number = Number;
    m.Station = Station;
    m.Multiple = !Last;
    const int group = Number / 10 * 10;
    m.EpochField = group == 1080   ? GloMsmField(t, Leap)
                   : group == 1120 ? BdsTowField(t)
                                   : TowField(t);
    const int sig2 = group == 1080 ? 8 : group == 1090 ? 15 : group == 1120 ? 14 : 10;
    const std::vector<int> signals =
        GloP && group == 1080 ? std::vector<int>{2, 3, 8, 9} : std::vector<int>{2, sig2};
    for (const int id : Ids)
        m.Sats.push_back(MsmSat(id,
                                2.0e7 + id * 1.1e5 + static_cast<double>((t - T0) / Sec) * 300.0,
                                signals, group == 1080 ? id % 5 - 2 : 0));
    return Frame(EncodeMSM(m));
}

// GPS, GLONASS and Galileo MSM7 of Count epochs at 1 s from T0 (first epoch Start).
TBytes MsmEpochs(int Count, int Start = 0) {
    TBytes s;
    for (int k = Start; k < Start + Count; ++k) {
        const std::int64_t t = T0 + k * Sec;
        Append(s, Msm7(1077, t, {3, 7, 11, 19}, false));
        Append(s, Msm7(1087, t, {2, 9, 17}, false));
        Append(s, Msm7(1097, t, {4, 12}, true));
    }
    return s;
}

TBytes Station(int Number, double X, double Y, double Z, bool Computed = false, double Height = 0.0,
               int Id = 7) {
    RStationIn s;
    s.Number = Number;
    s.Station = Id;
    s.X = X, s.Y = Y, s.Z = Z;
    s.ReferenceStation = Computed;
    s.Height = Height;
    return Frame(EncodeStation(s));
}

TBytes Descriptor(int Number, const std::string& Antenna, const std::string& Serial,
                  const std::string& Type = "", const std::string& Firmware = "",
                  const std::string& ReceiverSerial = "", int Id = 7) {
    RDescriptorIn d;
    d.Number = Number;
    d.Station = Id;
    d.Antenna = Antenna;
    d.AntennaSerial = Serial;
    d.ReceiverType = Type;
    d.Firmware = Firmware;
    d.ReceiverSerial = ReceiverSerial;
    return Frame(EncodeDescriptor(d));
}

constexpr double X0 = 2854291.7175, Y0 = 2198100.5335, Z0 = 5245840.5143;

TBytes Concat(std::initializer_list<TBytes> Parts) {
    TBytes s;
    for (const TBytes& p : Parts) Append(s, p);
    return s;
}

bool SameBands(const zqt_obs_intrf::RSatObsRecord& A, const zqt_obs_intrf::RSatObsRecord& B) {
    for (unsigned b = 1; b <= 6; ++b) {
        const auto& x = A.Band(b);
        const auto& y = B.Band(b);
        if (x.Kinds != y.Kinds || x.Strength != y.Strength || x.Lock != y.Lock) return false;
        if ((x.Kinds & 2) && x.Range != y.Range) return false;
        if ((x.Kinds & 4) && x.Phase != y.Phase) return false;
        if ((x.Kinds & 8) && x.Doppler != y.Doppler) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Station, antenna, receiver and bias messages

TEST(StationMessages, RecordsOfEachMessage) {
    RGloBiasIn bias;
    TBitWriter longName;  // a descriptor that announces more characters than it carries
    longName.U(1008, 12);
    longName.U(7, 12);
    longName.U(200, 8);
    longName.Str("ANT");
    rtcmtest::TDecoderRig rig(T0, 1);
    rig.Feed(Concat({Station(1006, X0, Y0, Z0, false, 1.234),
                     Descriptor(1033, "  ANT X  ", "S1", "REC", "4.2", "R9"),
                     Descriptor(1008, "ANT Y", "S2"), Frame(longName.Bytes())}));
    rig.Parser->EndOfData();
    const TZQS_RTCM_Parser& p = *rig.Parser;
    EXPECT_EQ(p.Station().MessageNumber, 1006);
    EXPECT_EQ(p.Station().StationID, 7);
    EXPECT_NEAR(p.Station().X, X0, 1e-4);
    EXPECT_NEAR(p.Station().Z, Z0, 1e-4);
    EXPECT_NEAR(p.Station().AntennaHeight, 1.234, 1e-4);
    EXPECT_NEAR(p.StationPosition().Y, Y0, 1e-4);
    // 1008 replaces the antenna fields and keeps the receiver's of the 1033 before it.
    EXPECT_EQ(p.Descriptor().Antenna, "ANT Y");
    EXPECT_EQ(p.Descriptor().AntennaSerial, "S2");
    EXPECT_EQ(p.Descriptor().ReceiverType, "REC");
    EXPECT_EQ(p.Descriptor().Firmware, "4.2");
    EXPECT_EQ(p.ReceiverNumber(), "R9/7/0/0");
    EXPECT_EQ(p.StationOccupation().AntennaName, "ANT Y");
    // The string beyond its message is refused; the records stay.
    EXPECT_EQ(p.ErrorCount(1008), 1);
}

TEST(StationMessages, GlonassBiasesKeepUnsentSlotsAndDropInvalidOnes) {
    struct Step {
        int mask;
        std::array<double, 4> biases;  // m, by slot (L1 C/A, L1 P, L2 C/A, L2 P)
        std::array<double, 5> expected;
    };
    const std::vector<Step> steps = {
        {0b1111, {0.10, 0.20, 0.30, 0.40}, {0, 0.10, 0.20, 0.30, 0.40}},
        {0b1010, {-1.00, 9.0, 0.50, 9.0}, {0, -1.00, 0.20, 0.50, 0.40}},  // L1 C/A and L2 C/A only
        {0b0001, {0, 0, 0, -655.36}, {0, -1.00, 0.20, 0.50, 0.0}},        // -32768: not applied
    };
    rtcmtest::TDecoderRig rig(T0, 1);
    for (const Step& s : steps) {
        RGloBiasIn b;
        b.Station = 7;
        b.Mask = s.mask;
        for (std::size_t i = 0; i < 4; ++i) b.Bias[i] = s.biases[i];
        rig.Feed(Frame(EncodeGloBias(b)));
        rig.Parser->EndOfData();
        for (int slot = 1; slot <= 4; ++slot)
            EXPECT_NEAR(rig.Parser->GloBiases().Bias[static_cast<std::size_t>(slot)],
                        s.expected[static_cast<std::size_t>(slot)], 1e-9)
                << "mask " << s.mask << " slot " << slot;
    }
}

// The station messages of a stream end up in the file receiver, its receiver and the
// output recordsets.
TEST_F(ImportFixture, StationHandOver) {
    struct Case {
        const char* what;
        std::vector<TBytes> perEpoch;  // station frames sent before epochs 0, 1, 2, ...
        int baseType;
        int stationRecordsets;  // output recordsets made from station occupations
        double height;
        std::string receiverNumber;
    };
    const TBytes fixed = Station(1006, X0, Y0, Z0, false, 1.5);
    const std::vector<Case> cases = {
        {"physical station", {fixed, fixed, fixed}, 2, 1, 1.5, "R9/7/0/0"},
        {"computed station", {Station(1006, X0, Y0, Z0, true, 1.5)}, 3, 1, 0.0, "R9/7/0/0"},
        {"position of zeros", {Station(1005, 0, 0, 0)}, 4, 0, 0.0, "R9/7/0/0"},
        {"positions scattering by centimetres",
         {fixed, Station(1006, X0 + 0.05, Y0, Z0, false, 1.5),
          Station(1006, X0, Y0 - 0.03, Z0, false, 1.5)},
         2,
         1,
         1.5,
         "R9/7/0/0"},
        {"station moved",
         {fixed, fixed, Station(1006, X0 + 500.0, Y0, Z0, false, 1.5)},
         2,
         2,
         1.5,
         "R9/7/0/0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TBytes s = Descriptor(1033, "ANT", "A1", "REC", "1.0", "R9");
        for (int k = 0; k < 6; ++k) {
            if (static_cast<std::size_t>(k / 2) < c.perEpoch.size() && k % 2 == 0)
                Append(s, c.perEpoch[static_cast<std::size_t>(k / 2)]);
            Append(s, MsmEpochs(1, k));
        }
        const auto file = Import(Dir.Write("C" + std::to_string(n++) + "_2024_03_05.rtcm3", s));
        const std::int32_t ds = DataSetID(file);
        const std::int32_t fr = file->GetReceiver(0)->GetObjID();
        EXPECT_EQ(Int(Format("SELECT BaseType FROM FileReceiver WHERE FRcvrID = %d", fr)),
                  c.baseType);
        EXPECT_EQ(Str(Format("SELECT r.ReceiverNumber FROM Receiver r JOIN FileReceiver f ON "
                             "f.ReceiverID = r.ReceiverID WHERE f.FRcvrID = %d",
                             fr)),
                  c.receiverNumber);
        const std::int64_t output = Int(Format(
            "SELECT COUNT(*) FROM Recordsets WHERE DataSetID = %d AND RecordsetType = 7", ds));
        EXPECT_EQ(output, c.stationRecordsets == 0 ? 1 : c.stationRecordsets)
            << "one output without a station";
        if (c.stationRecordsets > 0) {
            EXPECT_NEAR(zqt_variant::VarToFloatZ(
                            Db->QueryValue(Format("SELECT AntennaHeight FROM Recordsets WHERE "
                                                  "DataSetID = %d AND RecordsetType = 7",
                                                  ds))),
                        c.height, 1e-4);
            EXPECT_EQ(Str(Format("SELECT AntennaModel FROM Recordsets WHERE DataSetID = %d AND "
                                 "RecordsetType = 7",
                                 ds)),
                      "ANT");
        }
        // Every epoch belongs to exactly one output recordset.
        EXPECT_EQ(
            Int(Format(
                "SELECT COUNT(*) FROM Epochs e WHERE e.DataSetID = %d AND (SELECT COUNT(*) FROM "
                "Recordsets r WHERE r.DataSetID = e.DataSetID AND r.RecordsetType = 7 AND "
                "e.GPSTime BETWEEN r.BegTime AND r.EndTime) = 1",
                ds)),
            6);
        // The census in ascending order.
        const std::string messages =
            Str(Format("SELECT Messages FROM FileReceiver WHERE FRcvrID = %d", fr));
        EXPECT_TRUE(messages == "1005,1033,1077,1087,1097" ||
                    messages == "1006,1033,1077,1087,1097")
            << messages;
    }
}

// A caster that switches stations: 175 (legacy, then MSM7; its bias, position and
// receiver come after its first epochs), 1014 (MSM4 GPS and legacy GLONASS; no bias, no
// receiver description) and 59 (MSM7, its own bias and descriptions first). Each station is
// a receiver of its own whose epochs begin with its first; its GLONASS phases, legacy and
// MSM alike, C/A and P code, are aligned with its own code-phase biases only.
TEST_F(ImportFixture, StationChangesGiveEachStationItsReceiver) {
    const std::vector<int> glo = {3, 9, 15};  // channels 1, 2, -2; R09 legacy on the P code
    const auto legacy = [&](int Number, std::int64_t t, bool Last, int Id) {
        RLegacyIn m;
        m.Number = Number;
        m.Station = Id;
        m.Synchronous = !Last;
        const bool g = Number == 1012;
        m.EpochField = g ? GloTodField(t, Leap) : TowField(t);
        for (const int id : g ? glo : std::vector<int>{3, 7}) {
            RLegacySatIn e;
            e.Id = id;
            e.Fcn = g ? id % 5 - 2 + 7 : 7;
            e.L1Code = e.L2Code = g && id == 9 ? 1 : 0;
            e.P1 = 2.0e7 + id * 1.1e5 + static_cast<double>((t - T0) / Sec) * 300.0;
            e.L1 = e.P1 - 1.0, e.P2 = e.P1 + 3.25, e.L2 = e.P1 - 2.5;
            m.Sats.push_back(e);
        }
        return Frame(EncodeLegacy(m));
    };
    // Biases of L1 C/A, L1 P, L2 C/A and L2 P.
    using TBiases = std::array<double, 4>;
    const auto bias = [](int Id, const TBiases& Biases) {
        RGloBiasIn b;
        b.Station = Id;
        b.Mask = 0b1111;
        for (std::size_t i = 0; i < 4; ++i) b.Bias[i] = Biases[i];
        return Frame(EncodeGloBias(b));
    };
    const TBiases bias175{1.5, 0.6, -0.8, -8.1}, bias59{-2.0, 4.4, 3.0, 655.34};
    const auto stream = [&](bool Biases) {
        TBytes s;
        for (int k = 0; k < 15; ++k) {
            const std::int64_t t = T0 + k * Sec;
            if (k < 4) {
                Append(s, Concat({legacy(1004, t, false, 175), legacy(1012, t, true, 175)}));
            } else if (k < 8) {
                Append(s, Concat({Msm7(1077, t, {3, 7}, false, 175),
                                  Msm7(1087, t, glo, true, 175, true)}));
            } else if (k < 12) {
                Append(s,
                       Concat({Msm7(1074, t, {3, 7}, false, 1014), legacy(1012, t, true, 1014)}));
            } else {
                if (k == 12)
                    Append(s, Concat({Station(1006, X0 + 3e5, Y0, Z0, false, 0.5, 59),
                                      Descriptor(1033, "ANT C", "", "REC C", "3", "", 59)}));
                if (k == 12 && Biases) Append(s, bias(59, bias59));
                Append(s, Concat({Msm7(1077, t, {3, 7}, false, 59),
                                  Msm7(1087, t, glo, true, 59, true)}));
            }
            if (k == 1 && Biases) Append(s, bias(175, bias175));
            if (k == 2)
                Append(s, Concat({Station(1006, X0, Y0, Z0, false, 1.5, 175),
                                  Descriptor(1033, "ANT A", "", "REC A", "1", "", 175)}));
            if (k == 9) Append(s, Station(1006, X0 - 2e5, Y0, Z0, false, 0.0, 1014));
        }
        return s;
    };
    struct RWant {
        int first, count;
        std::string receiver, antenna;
        double x;        // position X
        TBiases biases;  // applied to the phases
        int phases;      // GLONASS phases compared
    };
    // The receivers of the file, and every GLONASS phase against the stream without biases.
    const auto check = [&](const auto& file, const auto& plain, const std::vector<RWant>& want) {
        ASSERT_EQ(file->ReceiverCount(), static_cast<std::int32_t>(want.size()));
        for (std::size_t i = 0; i < want.size(); ++i) {
            const RWant& w = want[i];
            SCOPED_TRACE(i);
            const auto r = static_cast<std::int32_t>(i);
            const std::int32_t ds = file->GetReceiver(r)->GetDataSet(0)->GetObjID();
            const std::vector<RStoredEpoch> epochs = Epochs(ds);
            ASSERT_EQ(epochs.size(), static_cast<std::size_t>(w.count));
            EXPECT_EQ(epochs.front().Time, T0 + w.first * Sec);
            const std::int32_t out = zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*Db, ds, 7);
            const auto rs = zqt_recordset_dbs::TZQS_Recordset::Open(
                Db, out, zqt_types_bs::RecordsetSettingsDefault(), false);
            ASSERT_NE(rs, nullptr);
            zqt_antenna_rcrd::RFileHeaderFull h;
            rs->GetFileHeader(h);
            EXPECT_EQ(h.Receiver.Type.AsString(), w.receiver);
            EXPECT_EQ(h.Antenna.Type.AsString(), w.antenna);
            EXPECT_NEAR(zqt_variant::VarToFloatZ(h.Header.ApproxX), w.x, 1e-3);
            EXPECT_EQ(rs->GetBegTime(), T0 + w.first * Sec);
            const zqt_obs_intrf::TGloPhaseBiases applied = rs->GetGloPhaseBiases();
            EXPECT_EQ(applied, (zqt_obs_intrf::TGloPhaseBiases{w.biases[0], w.biases[1],
                                                               w.biases[2], w.biases[3]}));
            // Every GLONASS phase differs from the plain stream's by its station's bias of
            // its signal, b k dF / (F0 + k dF) m on the carrier F0 + k dF of channel k: L1
            // 1602 MHz + k 562.5 kHz (slots 1 C/A and 2 P), L2 1246 MHz + k 437.5 kHz (slots
            // 3 C/A and 4 P).
            const std::vector<RStoredEpoch> base =
                Epochs(plain->GetReceiver(r)->GetDataSet(0)->GetObjID());
            ASSERT_EQ(base.size(), epochs.size());
            int compared = 0;
            for (std::size_t e = 0; e < epochs.size(); ++e)
                for (const int id : glo) {
                    const std::uint16_t key = SatKey(zqt_sat_obs_types::SC_GLONASS, id);
                    const RStoredSat* a = epochs[e].Find(key);
                    const RStoredSat* b = base[e].Find(key);
                    ASSERT_TRUE(a && b);
                    const double k = id % 5 - 2;
                    for (unsigned slot = 1; slot <= 4; ++slot) {
                        const bool phase = (b->Rec.Band(slot).Kinds & 4) != 0;
                        ASSERT_EQ((a->Rec.Band(slot).Kinds & 4) != 0, phase);
                        if (!phase) continue;
                        const double f0 = slot <= 2 ? 1602e6 : 1246e6;
                        const double step = slot <= 2 ? 562500.0 : 437500.0;
                        EXPECT_NEAR(a->Rec.Band(slot).Phase - b->Rec.Band(slot).Phase,
                                    w.biases[slot - 1] * k * step / (f0 + k * step), 2e-5)
                            << "epoch " << e << " R" << id << " slot " << slot;
                        ++compared;
                    }
                }
            EXPECT_EQ(compared, w.phases);
        }
    };
    check(Import(Dir.Write(Name, stream(true))),
          Import(Dir.Write("PLAIN_2024_03_05.rtcm3", stream(false))),
          // Legacy epochs carry 2 phases of each satellite, MSM epochs 4.
          {{0, 8, "REC A", "ANT A", X0, bias175, 4 * 6 + 4 * 12},
           {8, 4, "", "", X0 - 2e5, {}, 4 * 6},
           {12, 3, "REC C", "ANT C", X0 + 3e5, bias59, 3 * 12}});

    // Station messages under another ID (175) than the observations (0), after the first
    // epochs: they describe the observed station from its first epoch on.
    const auto foreign = [&](bool Biases) {
        TBytes s;
        for (int k = 0; k < 6; ++k) {
            const std::int64_t t = T0 + k * Sec;
            Append(s, Concat({Msm7(1077, t, {3, 7}, false, 0), Msm7(1087, t, glo, true, 0, true)}));
            if (k == 2)
                Append(s, Concat({Station(1006, X0, Y0, Z0, false, 1.5, 175),
                                  Descriptor(1033, "ANT F", "", "REC F", "1", "", 175)}));
            if (k == 2 && Biases) Append(s, bias(175, bias175));
        }
        return s;
    };
    check(Import(Dir.Write("FRGN_2024_03_05.rtcm3", foreign(true))),
          Import(Dir.Write("FRGP_2024_03_05.rtcm3", foreign(false))),
          {{0, 6, "REC F", "ANT F", X0, bias175, 6 * 12}});

    // A stream whose station messages carry another ID than its observations: they
    // describe the observed station.
    const auto single = Import(
        Dir.Write("ONE_2024_03_05.rtcm3",
                  Concat({Station(1006, X0, Y0, Z0, false, 1.5), Descriptor(1033, "ANT", "", "REC"),
                          Msm7(1077, T0, {3}, true, 0), Msm7(1077, T0 + Sec, {3}, true, 0)})));
    ASSERT_EQ(single->ReceiverCount(), 1);
    EXPECT_EQ(single->GetReceiver(0)->GetReceiver()->GetReceiverType(), "REC");
}

// BeiDou MSM whose encoder wrapped the time of week below zero at the week's start join
// their epochs, and the repair is told. Mid-week, such a field is corrupted: the message is
// refused, and no stray epoch at the week's start follows from it.
TEST_F(ImportFixture, BeidouTimeOfWeekWrappedAtTheWeekStart) {
    const std::int64_t week = Day20240305 - 2 * TicksPerDay;  // Sunday 2024-03-03 00:00 GPS
    const struct {
        const char* name;
        std::int64_t start;
        std::vector<int> wrapped;  // epochs whose BeiDou field is wrapped
        bool bdsFirst;  // BeiDou first in its burst: the first reference is the file's date
        const char* told;
    } cases[] = {
        {"WRAP_2024_03_03.rtcm3",
         week,
         {0, 1, 2},
         false,
         "repaired 3 BeiDou message(s) whose time of week wrapped below zero"},
        {"BDS1_2024_03_03.rtcm3",
         week,
         {0, 1, 2},
         true,
         "repaired 3 BeiDou message(s) whose time of week wrapped below zero"},
        {"MIDW_2024_03_05.rtcm3", T0, {1}, false, "skipped 1 message(s) not decoded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBytes s;
        for (int k = 0; k < 3; ++k) {
            const std::int64_t t = c.start + k * Sec;
            if (!c.bdsFirst) Append(s, Msm7(1077, t, {3, 7}, false));
            RMsmIn m;
            m.Number = 1127;
            m.Station = 7;
            const bool wrapped =
                std::find(c.wrapped.begin(), c.wrapped.end(), k) != c.wrapped.end();
            m.EpochField =
                wrapped ? static_cast<std::uint32_t>((1 << 30) - 14000 + k * 1000) : BdsTowField(t);
            m.Sats.push_back(MsmSat(12, 2.1e7, {2, 14}));
            m.Multiple = c.bdsFirst;
            Append(s, Frame(EncodeMSM(m)));
            if (c.bdsFirst) Append(s, Msm7(1077, t, {3, 7}, true));
        }
        const std::vector<RStoredEpoch> epochs = Epochs(DataSetID(Import(Dir.Write(c.name, s))));
        ASSERT_EQ(epochs.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            const RStoredEpoch& e = epochs[static_cast<std::size_t>(k)];
            EXPECT_EQ(e.Time, c.start + k * Sec);
            const bool refused = c.start != week && k == 1;
            EXPECT_EQ(e.Find(SatKey(zqt_sat_obs_types::SC_BDS, 12)) == nullptr, refused) << k;
        }
        EXPECT_TRUE(Told(c.told));
        EXPECT_EQ(Logged("not decoded"), c.start != week);  // the log holds every pass's
    }
    EXPECT_EQ(std::count_if(Messages.begin(), Messages.end(),
                            [](const std::string& l) {
                                return l.find("wrapped") != std::string::npos ||
                                       l.find("not decoded") != std::string::npos;
                            }),
              3);
}

// ---------------------------------------------------------------------------------------
// Passes, epochs and the window

TEST(SecondPass, SelectionFromTheCensus) {
    const auto A = zqt_rtc_parser::StationMessages();
    const auto with = [&A](TSortedArrayOfInteger obs) { return zqt_arrays::SortedConcat(A, obs); };
    // Every observation message present passes: the choice among kinds is made per epoch.
    const std::vector<std::pair<TSortedArrayOfInteger, TSortedArrayOfInteger>> cases = {
        {{1004, 1005, 1012, 1019}, with({1004, 1012})},
        {{1074, 1077, 1084}, with({1074, 1077, 1084})},
        {{1134, 1137}, with({1134, 1137})},
        {{1004, 1012, 1077}, with({1004, 1012, 1077})},
        {{1003, 1011, 1019, 1020}, with({1003, 1011})},
        {{1001, 1002, 1009, 1010}, {}},  // no decoder for L1-only legacy messages
        {{1019, 1020, 1045}, {}},
    };
    for (const auto& [census, expected] : cases)
        EXPECT_EQ(zqt_rtc_parser::SelectObservationMessages(census), expected)
            << ::testing::PrintToString(census);
}

TEST(SecondPass, BeginPassForgetsThePass) {
    rtcmtest::TDecoderRig rig(T0, 6);
    RLegacyIn legacy;
    legacy.EpochField = TowField(T0 + Sec);
    legacy.Synchronous = true;
    legacy.Sats.push_back({5, 7, 0, 2.1e7, 2.1e7, 127, 45.0, 0, 2.1e7, 2.1e7, 127, 40.0, false});
    TBytes s = Msm7(1077, T0, {3}, true);
    Append(s, Frame(EncodeLegacy(legacy)));
    s.resize(s.size() - 2);  // the last frame is incomplete
    rig.Feed(s);
    EXPECT_TRUE(rig.Parser->GPSMSMSeen());
    EXPECT_GT(rig.Parser->BufferFill(), 0);
    rig.Parser->BeginPass();
    EXPECT_FALSE(rig.Parser->MSMSeen());
    EXPECT_FALSE(rig.Parser->GPSMSMSeen());
    EXPECT_EQ(rig.Parser->BufferFill(), 0);
    EXPECT_EQ(rig.Parser->CurrentEpochTime(), 0);
    EXPECT_EQ(rig.Parser->LegacyGPS().SatCount, 0);
}

// The epochs written through the observation file are those the decoder assembles.
TEST_F(ImportFixture, EpochsInTheDatabaseEqualTheDecodedOnes) {
    const TBytes stream =
        Concat({Station(1006, X0, Y0, Z0, false, 1.5),
                Descriptor(1033, "ANT", "A1", "REC", "1.0", "R9"), MsmEpochs(20)});
    const auto file = Import(Dir.Write(Name, stream));
    const std::vector<RStoredEpoch> stored = Epochs(DataSetID(file));

    rtcmtest::TDecoderRig rig(Day20240305, 6);
    rig.Feed(stream);
    const auto& truth = rig.Finish();
    ASSERT_EQ(stored.size(), truth.size());
    ASSERT_EQ(stored.size(), 20u);
    std::size_t values = 0;
    for (std::size_t e = 0; e < truth.size(); ++e) {
        EXPECT_EQ(stored[e].Time, truth[e].Time);
        ASSERT_EQ(stored[e].Sats.size(), truth[e].Sats.size()) << "epoch " << e;
        for (const rtcmtest::RWrittenSat& t : truth[e].Sats) {
            const RStoredSat* s = stored[e].Find(t.Key);
            ASSERT_NE(s, nullptr) << t.Key;
            for (unsigned b = 1; b <= 6; ++b) {
                const auto& tb = t.Rec.Band(b);
                const auto& sb = s->Rec.Band(b);
                EXPECT_EQ(sb.Kinds, tb.Kinds) << t.Key << " band " << b;
                if (tb.Kinds & 2) {
                    EXPECT_NEAR(sb.Range, tb.Range, 0.0011);
                    ++values;
                }
                if (tb.Kinds & 4) {
                    EXPECT_NEAR(sb.Phase, tb.Phase, 0.0011);
                    ++values;
                }
                if (tb.Kinds & 8) {
                    EXPECT_NEAR(sb.Doppler, tb.Doppler, 0.0011);
                    ++values;
                }
                if (tb.Kinds & 16) {
                    EXPECT_EQ(sb.Strength, tb.Strength);
                    ++values;
                }
            }
        }
    }
    EXPECT_GT(values, 1000u);
    EXPECT_EQ(LastSettings.DayStart, T0) << "the settings take the file's span";
    EXPECT_EQ(LastSettings.EndTime, T0 + 19 * Sec);
}

// SBAS beside them, in an MSM and as a legacy satellite (ID 40, PRN 120), is kept out of
// the epochs and counted.
TEST_F(ImportFixture, SystemSentOnlyInLegacyMessagesIsKept) {
    TBytes s;
    for (int k = 0; k < 5; ++k) {
        RLegacyIn gps;
        gps.Station = 7;
        gps.EpochField = TowField(T0 + k * Sec);
        gps.Synchronous = true;
        for (const int id : {5, 8, 40})
            gps.Sats.push_back({id, 7, 0, 2.1e7 + id * 1e5, 2.1e7 + id * 1e5, 127, 45.0, 0,
                                2.1e7 + id * 1e5 + 2.0, 2.1e7 + id * 1e5, 127, 40.0, false});
        Append(s, Frame(EncodeLegacy(gps)));
        Append(s, Msm7(1107, T0 + k * Sec, {3}, false));
        Append(s, Msm7(1087, T0 + k * Sec, {2, 9}, true));
    }
    const auto file = Import(Dir.Write(Name, s));
    const auto epochs = Epochs(DataSetID(file));
    ASSERT_EQ(epochs.size(), 5u);
    for (const RStoredEpoch& e : epochs) {
        EXPECT_NE(e.Find(SatKey(1, 5)), nullptr) << "GPS from 1004";
        EXPECT_NE(e.Find(SatKey(2, 9)), nullptr) << "GLONASS from 1087";
        EXPECT_EQ(e.Sats.size(), 4u) << "no SBAS";
    }
    EXPECT_TRUE(
        Told("skipped 5 SBAS observation message(s) (SBAS MSM are not decoded), 5 SBAS "
             "satellite(s) of legacy observation messages (kept out of the epochs)"));
}

// Messages that come after their epoch left the assembly window: Galileo of a written epoch
// joins its row (NumSat follows), an epoch between written ones is inserted with the
// intervals of its neighbours set, and the console line counts both. A late message whose
// satellites the epoch holds already completes nothing and is counted as skipped.
TEST_F(ImportFixture, LateMessagesJoinTheWrittenEpochs) {
    TBytes s = Station(1005, X0, Y0, Z0);
    for (int k = 0; k <= 40; ++k) Append(s, Msm7(1077, T0 + k * Sec, {3, 7}, true));
    Append(s, Msm7(1097, T0, {4, 12}, true));
    Append(s, Msm7(1077, T0 + 5 * Sec / 10, {3, 7}, true));
    Append(s, Msm7(1077, T0 + 2 * Sec, {3, 7}, true));
    const auto file = Import(Dir.Write(Name, s));
    const std::int32_t ds = DataSetID(file);
    const auto epochs = Epochs(ds);
    ASSERT_EQ(epochs.size(), 42u);
    EXPECT_EQ(epochs[0].Sats.size(), 4u);
    EXPECT_NE(epochs[0].Find(SatKey(4, 12)), nullptr);
    EXPECT_EQ(
        Int(Format("SELECT NumSat FROM Epochs WHERE DataSetID = %d AND GPSTime = %d", ds, T0)), 4);
    EXPECT_EQ(epochs[1].Time, T0 + 5 * Sec / 10);
    for (const auto& [t, interval] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {T0 + 5 * Sec / 10, 5 * Sec / 10}, {T0 + Sec, 5 * Sec / 10}, {T0 + 2 * Sec, Sec}})
        EXPECT_EQ(
            Int(Format("SELECT Interval FROM Epochs WHERE DataSetID = %d AND GPSTime = %d", ds, t)),
            interval)
            << t;
    EXPECT_TRUE(
        Told("skipped 2 late satellite(s) already in their epoch; repaired 2 epoch(s) "
             "completed by 4 late satellite(s)"));
}

// The objects around an output recordset of a converted recording: its coordinates, its
// site at the station, the data set's file receiver and receiver, the country code, the
// rotation record, the velocity switch and the data set's facts.
TEST_F(ImportFixture, OutputRecordsetKnowsItsSurroundings) {
    const TBytes stream =
        Concat({Station(1006, X0, Y0, Z0, false, 1.5),
                Descriptor(1033, "ANT", "A1", "REC", "1.0", "R9"), MsmEpochs(10)});
    const auto file = Import(Dir.Write(Name, stream));
    const std::int32_t ds = DataSetID(file);
    const std::int32_t out = zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*Db, ds, 7);
    ASSERT_GT(out, 0);
    // The recordset's own position, apart from its site's.
    Db->ExecSQL(
        Format("INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,"
               "CXY,CXZ,CYZ) VALUES (7,%d,0,0,%.4f,%.4f,%.4f,0,0,0,0,0,0)",
               out, X0 + 1.5, Y0 - 2.5, Z0 + 3.5));
    const auto rs = zqt_recordset_dbs::TZQS_Recordset::Open(
        Db, out, zqt_types_bs::RecordsetSettingsDefault(), false);
    ASSERT_NE(rs, nullptr);

    const auto crd = rs->GetCoordinates();
    ASSERT_NE(crd, nullptr);
    EXPECT_NEAR(crd->GetX(), X0 + 1.5, 1e-6);
    EXPECT_NEAR(crd->GetZ(), Z0 + 3.5, 1e-6);
    EXPECT_EQ(rs->GetOwnPosition().Y, crd->GetY());
    const auto site = rs->GetSite();
    ASSERT_NE(site, nullptr) << "an occupation's output recordset stands on its site";
    EXPECT_NEAR(site->GetPosition().X, X0, 1e-3);
    EXPECT_EQ(rs->GetReferencePos().X, site->GetPosition().X) << "the site's position first";
    const auto fr = rs->GetFileReceiver();
    ASSERT_NE(fr, nullptr);
    EXPECT_EQ(fr->GetObjID(), file->GetReceiver(0)->GetObjID());
    ASSERT_NE(rs->GetReceiver(), nullptr);
    EXPECT_EQ(rs->GetReceiver()->GetReceiverType(), "REC");
    EXPECT_EQ(rs->GetCountryCode(), "RUS");
    EXPECT_EQ(rs->PassValue(-2.5), -2.5);
    EXPECT_EQ(rs->GetRotationRecord().SaveFlag, 0) << "no attitude in the stream";
    EXPECT_FALSE(rs->GetVelocitySwitch());
    rs->SetVelocitySwitch(true);
    EXPECT_TRUE(rs->GetVelocitySwitch());
    const zqt_obs_intrf::RDataSetInfo info = rs->GetDatasetInfo();
    EXPECT_EQ(info.DataSetID, ds);
    EXPECT_EQ(info.FRcvrID, fr->GetObjID());
    EXPECT_EQ(info.BegTime, T0);
    EXPECT_EQ(info.EndTime, T0 + 9 * Sec);
    EXPECT_FALSE(info.Name.empty());
    // Before the first epoch the troposphere model stands in the middle of the window.
    const auto tropo =
        std::dynamic_pointer_cast<zqt_tropomodel::TZQS_TropoModel>(rs->GetTropoModel());
    ASSERT_NE(tropo, nullptr);
    EXPECT_EQ(tropo->GetGPSTime(), rs->GetBegTime() + (rs->GetEndTime() - rs->GetBegTime()) / 2);
}

TEST_F(ImportFixture, TimeWindow) {
    struct Case {
        const char* what;
        zqt_types_bs::TRReaderSettings settings;
        std::int64_t first, last, count;
    };
    const std::vector<Case> cases = {
        {"none", {}, 0, 59, 60},
        {"start relative to the first epoch", {-20 * Sec, 0, 0}, 20, 59, 40},
        {"absolute end: feeding stops", {0, T0 + 30 * Sec, 0}, 0, 29, 30},
        {"interval of 10 s", {0, 0, 10 * Sec}, 0, 50, 6},
        {"all three", {T0 + 5 * Sec, -45 * Sec, 5 * Sec}, 5, 40, 8},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A station ID of its own keeps each recording apart from the others.
        const TBytes s = Concat({Station(1005, X0, Y0, Z0, false, 0.0, ++n), MsmEpochs(60)});
        const auto file =
            Import(Dir.Write("W" + std::to_string(n) + "_2024_03_05.rtcm3", s), c.settings);
        const auto epochs = Epochs(DataSetID(file));
        ASSERT_EQ(static_cast<std::int64_t>(epochs.size()), c.count);
        EXPECT_EQ(epochs.front().Time, T0 + c.first * Sec);
        EXPECT_EQ(epochs.back().Time, T0 + c.last * Sec);
        EXPECT_EQ(file->GetBegTime(), T0 + c.first * Sec);
        EXPECT_EQ(file->GetEndTime(), T0 + c.last * Sec);
    }
}

// ---------------------------------------------------------------------------------------
// Whole milliseconds from the orbits

TEST(Ambiguities, ResolvedTogetherForTheEpoch) {
    struct Case {
        const char* what;
        double offsetMs;               // receiver clock, shared by all satellites
        std::vector<double> errorsMs;  // per satellite (orbit, position)
        std::vector<double> unitMs;
        std::vector<bool> kept;
    };
    const std::vector<Case> cases = {
        {"small offset", 0.1, {0.01, -0.02, 0.0}, {1, 1, 1}, {true, true, true}},
        {"offset near half a millisecond",
         0.497,
         {0.006, -0.006, 0.004, -0.003},
         {1, 1, 1, 1},
         {true, true, true, true}},
        {"negative, legacy GLONASS units",
         -0.496,
         {-0.008, 0.008, 0.001},
         {1, 2, 2},
         {true, true, true}},
        {"one satellite far off",
         0.2,
         {0.0, 0.01, 0.35, -0.01},
         {1, 1, 1, 1},
         {true, true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto p = TZQS_RTCM_Parser::Create(T0);
        std::vector<double> x, whole;
        for (std::size_t i = 0; i < c.errorsMs.size(); ++i) {
            const double n = 60.0 + 3.0 * static_cast<double>(i);  // true whole units
            whole.push_back(n);
            // A prediction: the whole units, less the clock, plus the prediction's error.
            x.push_back(n + (-c.offsetMs + c.errorsMs[i]) / c.unitMs[i]);
        }
        p->ResolveAmbiguities(T0, x.data(), c.unitMs.data(), x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (c.kept[i])
                EXPECT_EQ(x[i], whole[i]) << i;
            else
                EXPECT_TRUE(std::isnan(x[i])) << i;
        }
    }
}

// MSM4 without whole milliseconds: each satellite's range is completed from its orbit
// and the station position; a clock near half a millisecond no longer splits the epoch.
TEST(Ambiguities, MsmRangesFromOrbitsAgreeAcrossSatellites) {
    rtcmtest::TDecoderRig rig(T0, 6);
    auto nav = rtcmtest::TFakeNav::Make();
    rig.Parser->SetDataStorage(nav);
    const RVec3 station{X0, Y0, Z0};
    const double clock = 0.4975 * LightMs;
    const std::vector<std::pair<int, RVec3>> sats = {{3, {15.0e6, 5.0e6, 20.0e6}},
                                                     {7, {-5.0e6, 14.0e6, 21.0e6}},
                                                     {11, {20.0e6, -8.0e6, 15.0e6}},
                                                     {19, {2.0e6, 3.0e6, 26.0e6}},
                                                     {23, {10.0e6, 18.0e6, 15.0e6}}};
    RMsmIn m;
    m.Number = 1074;
    m.Station = 7;
    m.EpochField = TowField(T0);
    std::map<int, double> encoded;
    int k = 0;
    for (const auto& [id, pos] : sats) {
        nav->Orbit->Positions[SatKey(1, static_cast<unsigned>(id))] = pos;
        // Errors of +-1.5 km put some satellites across the half millisecond.
        const double range = std::sqrt((pos.X - station.X) * (pos.X - station.X) +
                                       (pos.Y - station.Y) * (pos.Y - station.Y) +
                                       (pos.Z - station.Z) * (pos.Z - station.Z)) +
                             clock + (k++ % 2 ? 1500.0 : -1500.0);
        RMsmSatIn s;
        s.Id = id;
        s.OmitRoughMs = true;
        RMsmCellIn c;
        c.Signal = 2;
        c.Pseudorange = range;
        c.Phase = range;
        s.Cells.push_back(c);
        m.Sats.push_back(s);
        encoded[id] = range;
    }
    rig.Feed(Concat({Station(1005, X0, Y0, Z0), Frame(EncodeMSM(m))}));
    const auto& epochs = rig.Finish();
    ASSERT_EQ(epochs.size(), 1u);
    for (const auto& [id, range] : encoded) {
        const auto* s = epochs[0].Find(SatKey(1, static_cast<unsigned>(id)));
        ASSERT_NE(s, nullptr) << id;
        EXPECT_NEAR(s->Range(1), range, 0.01) << "G" << id;
    }
}

// ---------------------------------------------------------------------------------------
// BNC raw files

// The frames of a stream as a BNC raw file, one record per frame.
TBytes BncRaw(const TBytes& Stream, const std::string& Time = "2024-03-05T10:00:00") {
    TBytes out;
    const auto text = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    text("TTTTTBNC raw file of a test\n");
    for (std::size_t i = 0; i < Stream.size();) {
        const std::size_t n = 6 + (((Stream[i + 1] & 3u) << 8) | Stream[i + 2]);
        text(Time + " TEST0 2 3 4 5 RTCM 3 8 " + std::to_string(n) + "\n");
        out.insert(out.end(), Stream.begin() + static_cast<std::ptrdiff_t>(i),
                   Stream.begin() + static_cast<std::ptrdiff_t>(i + n));
        text("\n");
        i += n;
    }
    return out;
}

TEST_F(ImportFixture, BncRawFileConvertsLikeItsRawTwin) {
    // GPS is sent twice, in MSM4 and MSM7: only MSM7 may be taken, or each GPS satellite
    // would come twice into its epoch.
    TBytes stream = Station(1006, X0, Y0, Z0, false, 1.5);
    for (int k = 0; k < 30; ++k) {
        Append(stream, Msm7(1074, T0 + k * Sec, {3, 7, 11, 19}, false));
        Append(stream, MsmEpochs(1, k));
    }
    const auto raw = Import(Dir.Write("RAW_2024_03_05.rtcm3", stream));
    const auto bnc = Import(Dir.Write("BNC_2024_03_05.bncraw", BncRaw(stream)));
    const auto a = Epochs(DataSetID(raw));
    const auto b = Epochs(DataSetID(bnc));
    ASSERT_EQ(a.size(), 30u);
    ASSERT_EQ(b.size(), a.size());
    EXPECT_EQ(a[0].Sats.size(), 9u) << "four GPS, three GLONASS, two Galileo satellites";
    for (std::size_t e = 0; e < a.size(); ++e) {
        EXPECT_EQ(b[e].Time, a[e].Time);
        ASSERT_EQ(b[e].Sats.size(), a[e].Sats.size());
        for (std::size_t i = 0; i < a[e].Sats.size(); ++i)
            EXPECT_TRUE(SameBands(a[e].Sats[i].Rec, b[e].Sats[i].Rec));
    }
    // The BNC import is closed as the raw one: file times, receiver row, output recordset.
    EXPECT_EQ(bnc->GetBegTime(), raw->GetBegTime());
    EXPECT_EQ(bnc->GetEndTime(), raw->GetEndTime());
    EXPECT_EQ(Int("SELECT COUNT(*) FROM FileReceiver"), 2);
    EXPECT_EQ(
        Int(Format("SELECT COUNT(*) FROM Recordsets WHERE DataSetID = %d AND RecordsetType = 7",
                   DataSetID(bnc))),
        1);
}

TEST_F(ImportFixture, BncRawFaults) {
    const TBytes good = BncRaw(MsmEpochs(5));
    const std::string text(good.begin(), good.end());
    struct Case {
        const char* what;
        std::string content;
        const char* error;  // nullptr: converts
        std::size_t epochs;
    };
    const std::size_t firstRecord = text.find('\n') + 1;
    // The record line of the first frame of epoch 2 (the seventh record) damaged.
    std::string damaged = text;
    std::size_t line = firstRecord;
    for (int k = 0; k < 7; ++k) line = damaged.find(" RTCM ", line) + 1;
    damaged.replace(damaged.rfind('\n', line) + 1, 4, "2O24");
    const std::vector<Case> cases = {
        {"a record line without the word RTCM",
         text.substr(0, firstRecord) + "2024-03-05T10:00:00 X 2 3 4 5 RTXM 3 8 5\n",
         "Error reading BNC raw file", 0},
        {"too few fields", text.substr(0, firstRecord) + "2024-03-05T10:00:00 RTCM 12\n",
         "Error reading BNC raw file", 0},
        {"a byte count that is no number",
         text.substr(0, firstRecord) + "2024-03-05T10:00:00 X 2 3 4 5 RTCM 3 8 x1\n",
         "Error reading BNC raw file", 0},
        {"the last record cut short", text.substr(0, text.size() - 40), nullptr, 5},
        {"blank lines between records", text + "\n\n", nullptr, 5},
        {"a damaged record line among sound ones", damaged, nullptr, 5},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path =
            Dir.Write("B" + std::to_string(n++) + "_2024_03_05.bncraw",
                      std::vector<std::uint8_t>(c.content.begin(), c.content.end()));
        if (c.error) {
            try {
                Import(path);
                ADD_FAILURE() << "imported";
            } catch (const zqt_rtcm_reader::ExceptionRTCMReader& e) {
                EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.Message();
            }
            continue;
        }
        Log->clear();
        Messages.clear();
        const auto file = Import(path);
        const auto epochs = Epochs(DataSetID(file));
        EXPECT_EQ(epochs.size(), c.epochs);
        EXPECT_EQ(Logged("lacks"), c.content.size() < text.size())
            << "a record cut short is logged";
        const bool hit = c.content == damaged;
        EXPECT_EQ(Told("skipped 1 damaged BNC record(s)"), hit);
        if (hit) {
            EXPECT_EQ(epochs[2].Sats.size(), 5u) << "epoch 2 without its GPS message";
        }
    }
}

// ---------------------------------------------------------------------------------------
// Whole files

// Damaged and empty recordings, and NavIC (1041), SBAS (1043) and QZSS (1044) ephemerides,
// which are not decoded: each is counted once, though a raw stream with observations is read
// twice.
TEST_F(ImportFixture, DamagedAndEmptyRecordings) {
    // Noise between frames, a frame with a broken checksum and a frame cut off at the end.
    TBytes damaged = MsmEpochs(5);
    damaged.insert(damaged.end(), 25, 0xD3);
    TBytes broken = Msm7(1077, T0 + 5 * Sec, {3, 7, 11, 19}, false);
    broken[10] ^= 0x40;
    Append(damaged, broken);
    Append(damaged, MsmEpochs(5, 5));
    const TBytes tail = Msm7(1077, T0 + 10 * Sec, {3}, true);
    damaged.insert(damaged.end(), tail.begin(), tail.begin() + 20);
    const std::string skipped = Format("skipped %d byte(s) outside RTCM 3 frames",
                                       static_cast<std::int64_t>(25 + broken.size() + 20));
    TBytes undecoded = MsmEpochs(3);
    for (const unsigned number : {1044u, 1043u, 1041u, 1044u}) {
        TBytes payload(61, 0);  // the message number, then zeros
        payload[0] = static_cast<std::uint8_t>(number >> 4);
        payload[1] = static_cast<std::uint8_t>((number & 15u) << 4);
        Append(undecoded, Frame(payload));
    }
    const std::string undecodedTold =
        "1 NavIC ephemeris message(s) (1041 is not decoded), 1 SBAS ephemeris message(s) (1043 "
        "is not decoded), 2 QZSS ephemeris message(s) (1044 is not decoded)";
    struct Case {
        const char* what;
        TBytes content;
        const char* error;
        std::int64_t epochs;
        std::string told;  // on the reader's line
        const char* ext = ".rtcm3";
    };
    const std::vector<Case> cases = {
        {"damaged", damaged, nullptr, 10, skipped},
        {"ephemerides only", Frame(EncodeGpsEph(RGpsEphIn{})), nullptr, 0, ""},
        {"no frame at all", TBytes{'n', 'o', 'i', 's', 'e'}, "No RTCM 3 message found", 0, ""},
        {"empty", TBytes{}, "No RTCM 3 message found", 0, ""},
        {"undecoded ephemerides", undecoded, nullptr, 3, undecodedTold},
        {"undecoded ephemerides, BNC", BncRaw(undecoded), nullptr, 3, undecodedTold, ".bncraw"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path =
            Dir.Write("D" + std::to_string(n++) + "_2024_03_05" + c.ext, c.content);
        Messages.clear();
        if (c.error) {
            try {
                Import(path);
                ADD_FAILURE() << "imported";
            } catch (const zqt_rtcm_reader::ExceptionRTCMReader& e) {
                EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.Message();
            }
            continue;
        }
        const auto file = Import(path);
        EXPECT_EQ(Int(Format("SELECT COUNT(*) FROM Epochs WHERE DataSetID = %d", DataSetID(file))),
                  c.epochs);
        if (!c.told.empty()) {
            EXPECT_TRUE(Told(c.told)) << ::testing::PrintToString(Messages);
        }
    }
}

TEST_F(ImportFixture, SameFileTwiceIsRefused) {
    const std::string path = Dir.Write(Name, MsmEpochs(3));
    Import(path);
    try {
        Import(path);
        ADD_FAILURE() << "imported twice";
    } catch (const zqt_types_bs::ExpZQSAlreadyLoaded& e) {
        EXPECT_EQ(e.Message(), "File " + path + " already loaded");
    }
}

TEST(StartTime, FromTheFileName) {
    TTempDir dir;
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {"ABCD_2024_03_05.rtcm", Day20240305},
        {"ABCD_2024_03_05_10_20_30.rtcm", Day20240305 + (10 * 3600 + 20 * 60 + 30) * Sec},
        {"x/y_z/ABCD_2024_03_05.rtcm3", Day20240305},
        {"station.rtcm", 0},
        {"ABCD_2024_13_45.rtcm", 0},
        {"ABCD_20xx_03_05.rtcm", 0},
    };
    for (const auto& [name, t] : cases)
        EXPECT_EQ(zqt_rtcm_reader::TZQS_RTCMReader::GetStartTime(name), t) << name;
    try {
        zqt_rtcm_reader::TZQS_RTCMReader::GetStartTimeChecked("station.rtcm");
        ADD_FAILURE();
    } catch (const zqt_rtcm_reader::ExceptionRTCMReader& e) {
        EXPECT_EQ(
            e.Message(),
            "rtcm file name must be in the following format XXXX_yyyy_mm_dd_hh_nn_ss station.rtcm");
    }
}

// ---------------------------------------------------------------------------------------
// The real recordings

TEST_F(ImportFixture, SharedRecordingsImport) {
    struct Case {
        const char* file;
        std::size_t epochs;
        bool closed;
    };
    const std::vector<Case> cases = {
        {"GMSD_2012_10_13.rtcm3", 257, true}, {"TGLO_2009_12_18.rtcm3", 186, true},
        {"ROVR_2019_01_20.rtcm3", 638, true}, {"ROVR_2019_01_20.bncraw", 638, true},
        {"MSMS_2018_05_11.rtcm3", 36, true},  {"TRMB_2018_05_11.rtcm3", 153, true},
        {"JNBA_2018_05_10.rtcm3", 67, true},  {"TPCN_2018_05_07.rtcm3", 39, true},
        {"MIXD_2018_05_10.rtcm3", 34, true},  {"EPHM_2018_08_03.rtcm3", 0, false},
    };
    std::map<std::string, std::vector<RStoredEpoch>> byFile;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TESTDATA_FILE(path, std::string("rtcm/") + c.file);
        const auto file = Import(path);
        auto epochs = Epochs(DataSetID(file));
        EXPECT_EQ(epochs.size(), c.epochs);
        EXPECT_EQ(
            Int(Format("SELECT COUNT(*) FROM Recordsets WHERE DataSetID = %d AND RecordsetType = 7",
                       DataSetID(file))) > 0,
            c.closed);
        byFile[c.file] = std::move(epochs);
    }
    // The BNC raw file gives the observations of the raw stream it carries.
    const auto& raw = byFile["ROVR_2019_01_20.rtcm3"];
    const auto& bnc = byFile["ROVR_2019_01_20.bncraw"];
    ASSERT_EQ(raw.size(), bnc.size());
    for (std::size_t e = 0; e < raw.size(); ++e) {
        ASSERT_EQ(raw[e].Time, bnc[e].Time);
        ASSERT_EQ(raw[e].Sats.size(), bnc[e].Sats.size());
        for (std::size_t i = 0; i < raw[e].Sats.size(); ++i)
            ASSERT_TRUE(SameBands(raw[e].Sats[i].Rec, bnc[e].Sats[i].Rec));
    }
}

}  // namespace
