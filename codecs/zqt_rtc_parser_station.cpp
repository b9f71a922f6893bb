// Station, antenna, receiver and bias messages of the RTCM decoder (1005, 1006, 1007, 1008,
// 1032, 1033, 1230) and their hand-over to the receiver objects of the observation file.
#include <cmath>

#include "zqt_antenna_bs.h"
#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

using sysutils::Format;
using zqt_rtcm_types::ExceptionRTCMMessage;

namespace {

// Coordinates of the station messages: 38-bit two's complement in 0.1 mm.
constexpr double CoordinateScale = 0.0001;
// The 1230 bias that marks "not given".
constexpr std::int64_t GloBiasInvalid = -32768;

std::string Decimal(std::uint16_t Value) {
    return sysutils::IntToStr(static_cast<std::int64_t>(Value));
}

}  // namespace

// =======================================================================================
// Stations of the stream

void TZQS_RTCM_Decoder::ExchangeStation(RStationState& S) {
    using std::swap;
    swap(FStation, S.Station);
    swap(FPhysical, S.Physical);
    swap(FDescriptor, S.Descriptor);
    swap(FGloBias, S.GloBias);
    swap(FStationPosition, S.Position);
    swap(FStationOcc, S.Occ);
    swap(FStationSequence, S.Sequence);
    swap(FOccupiedPosition, S.OccupiedPosition);
    swap(FLock, S.Lock);
    swap(FEpoch, S.Epoch);
    swap(FSatObs, S.SatObs);
    swap(FReceiverEpoch, S.ReceiverEpoch);
    swap(FFileReceiver, S.FileReceiver);
    swap(FDataSet, S.DataSet);
    swap(FStationLast, S.Last);
    swap(FStationEpochs, S.Epochs);
    swap(FStationFirstWritten, S.FirstWritten);
    swap(FStationLastWritten, S.LastWritten);
    swap(FGloApplied, S.GloApplied);
    swap(FGloAppliedChanged, S.GloAppliedChanged);
}

void TZQS_RTCM_Decoder::SelectStation(std::uint16_t ID) {
    if (FStationSelected && ID == FCurStation) return;
    if (!FStationSelected) {
        RSpareSinks& s = FSpare;
        s.Epoch = std::move(FEpoch);
        s.SatObs = std::move(FSatObs);
        s.ReceiverEpoch = std::move(FReceiverEpoch);
        s.FileReceiver = std::move(FFileReceiver);
        s.DataSet = std::move(FDataSet);
        FEpoch = nullptr;
        FSatObs = nullptr;
        FReceiverEpoch = nullptr;
        FFileReceiver = nullptr;
        FDataSet = nullptr;
        FStationSelected = true;
    } else {
        ExchangeStation(FStations[FCurStation]);
        ExchangeStation(FStations[ID]);
    }
    FStations.try_emplace(ID);  // its place, empty while it is current
    FCurStation = ID;
    // The receiver clock estimate of an epoch belongs to one receiver.
    FClock = RClockEstimate{};
}

std::uint16_t TZQS_RTCM_Decoder::DescribedStation(std::uint16_t ID) const {
    if (!FObsStationsComplete || FObsStations.count(ID) != 0 || !FObsStationKnown) return ID;
    return FObsStation;
}

void TZQS_RTCM_Decoder::AdoptUnobservedDescriptions() {
    if (!FStationSelected || !FFirstObsStationKnown) return;
    // Every station's descriptions wait in FStations meanwhile.
    ExchangeStation(FStations[FCurStation]);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> moves;
    for (const auto& [id, state] : FStations) {
        if (FObsStations.count(id) != 0) continue;
        const auto noted = FDescribedObsStation.find(id);
        moves.emplace_back(id,
                           noted != FDescribedObsStation.end() ? noted->second : FFirstObsStation);
    }
    for (const auto& [id, target] : moves) {
        const RStationState& from = FStations[id];
        RStationState& to = FStations[target];
        const bool placed = to.Station.MessageNumber != 0 || to.Physical.MessageNumber != 0;
        if (from.Station.MessageNumber != 0 && to.Station.MessageNumber == 0) {
            to.Station = from.Station;
            to.OccupiedPosition = from.OccupiedPosition;
            to.Occ.Position = from.Occ.Position;
            to.Occ.MotionMode = from.Occ.MotionMode;
            to.Occ.AntennaHeight = from.Occ.AntennaHeight;
        }
        if (from.Physical.MessageNumber != 0 && to.Physical.MessageNumber == 0)
            to.Physical = from.Physical;
        if (!placed) to.Position = from.Position;
        if (from.Descriptor.MessageNumber != 0 && to.Descriptor.MessageNumber == 0) {
            to.Descriptor = from.Descriptor;
            to.Occ.AntennaName = from.Occ.AntennaName;
            to.Occ.AntennaSerial = from.Occ.AntennaSerial;
        }
        if (from.GloBias.MessageNumber != 0 && to.GloBias.MessageNumber == 0)
            to.GloBias = from.GloBias;
    }
    ExchangeStation(FStations[FCurStation]);
}

void TZQS_RTCM_Decoder::AttachStationSinks() {
    const RSpareSinks& s = FSpare;
    FEpoch = s.Epoch;
    FSatObs = s.SatObs;
    FReceiverEpoch = s.ReceiverEpoch;
    // The sinks of the wiring describe the first station only.
    if (!FSpareTaken) {
        FFileReceiver = s.FileReceiver;
        FDataSet = s.DataSet;
    }
    FSpareTaken = true;
    if (!FLock) FLock = std::make_unique<TLockTables>();
}

// =======================================================================================
// Decoding

std::int32_t TZQS_RTCM_Decoder::DecodeStationMessage(const std::uint8_t* Payload,
                                                     std::int32_t Length) {
    TBitReader b(Payload, static_cast<std::size_t>(Length), 12);
    // Every message of the list carries the station ID it describes first (1032: the
    // computed station's).
    const auto id = static_cast<std::uint16_t>(TBitReader(b).U(12));
    if (!FObsStationsComplete && FObsStationKnown) FDescribedObsStation[id] = FObsStation;
    SelectStation(DescribedStation(id));
    const RMessageRow* row = MessageRow(FMessageNumber);
    return row && row->Fields ? (this->*row->Fields)(b) : 0;
}

std::int32_t TZQS_RTCM_Decoder::DecodeStation(TBitReader& Bits) {
    // Every field is read into a new record, so a message too short for its fields
    // changes nothing.
    RStationRecord r;
    r.MessageNumber = FMessageNumber;
    r.StationID = static_cast<std::uint16_t>(Bits.U(12));
    r.ItrfYear = static_cast<std::uint16_t>(Bits.U(6));
    r.Gps = Bits.Bit();
    r.Glonass = Bits.Bit();
    r.Galileo = Bits.Bit();
    r.ReferenceStation = Bits.Bit();
    r.X = static_cast<double>(Bits.S(38)) * CoordinateScale;
    r.SingleOscillator = Bits.Bit();
    Bits.Skip(1);
    r.Y = static_cast<double>(Bits.S(38)) * CoordinateScale;
    r.QuarterCycle = static_cast<std::uint16_t>(Bits.U(2));
    r.Z = static_cast<double>(Bits.S(38)) * CoordinateScale;
    if (FMessageNumber == 1006) r.AntennaHeight = static_cast<double>(Bits.U(16)) * CoordinateScale;
    FStation = r;
    FStationPosition = RVec3{r.X, r.Y, r.Z};
    return static_cast<std::int32_t>(Bits.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodePhysicalStation(TBitReader& Bits) {
    RPhysicalStationRecord r;
    r.MessageNumber = FMessageNumber;
    r.NonPhysicalID = static_cast<std::uint16_t>(Bits.U(12));
    r.PhysicalID = static_cast<std::uint16_t>(Bits.U(12));
    r.ItrfYear = static_cast<std::uint16_t>(Bits.U(6));
    r.X = static_cast<double>(Bits.S(38)) * CoordinateScale;
    r.Y = static_cast<double>(Bits.S(38)) * CoordinateScale;
    r.Z = static_cast<double>(Bits.S(38)) * CoordinateScale;
    FPhysical = r;
    FStationPosition = RVec3{r.X, r.Y, r.Z};
    return static_cast<std::int32_t>(Bits.Pos());
}

std::string TZQS_RTCM_Decoder::ReadDescriptorString(TBitReader& Bits) {
    const auto length = static_cast<unsigned>(Bits.U(8));
    if (Bits.Remaining() < 8u * length)
        throw ExceptionRTCMMessage(
            Format("Descriptor of %d characters beyond the message (%d bits left)",
                   static_cast<std::int32_t>(length), static_cast<std::int64_t>(Bits.Remaining())));
    std::string s = Bits.Str(length);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return s;
}

std::int32_t TZQS_RTCM_Decoder::DecodeDescriptor(TBitReader& Bits) {
    // The fields the message carries replace those of the record; the others (the receiver
    // of a 1033 when a 1008 follows) stay.
    RDescriptorRecord r = FDescriptor;
    r.MessageNumber = FMessageNumber;
    r.StationID = static_cast<std::uint16_t>(Bits.U(12));
    r.Antenna = ReadDescriptorString(Bits);
    r.SetupID = static_cast<std::uint8_t>(Bits.U(8));
    if (FMessageNumber >= 1008) r.AntennaSerial = ReadDescriptorString(Bits);
    if (FMessageNumber == 1033) {
        r.ReceiverType = ReadDescriptorString(Bits);
        r.Firmware = ReadDescriptorString(Bits);
        r.ReceiverSerial = ReadDescriptorString(Bits);
    }
    FDescriptor = std::move(r);
    return static_cast<std::int32_t>(Bits.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeGloBiases(TBitReader& Bits) {
    // The fields are read first: a message too short for them changes nothing.
    const auto station = static_cast<std::uint16_t>(Bits.U(12));
    const bool aligned = Bits.Bit();
    Bits.Skip(3);
    const auto mask = static_cast<std::uint32_t>(Bits.U(4));
    std::array<std::int64_t, 5> raw{};
    for (std::uint8_t slot = 1; slot <= 4; ++slot)
        if (mask & (1u << (4 - slot))) raw[slot] = Bits.S(16);
    const std::uint32_t end = Bits.Pos();

    // The record is the described station's (see DescribedStation).
    RGloBiasRecord& g = FGloBias;
    g.MessageNumber = FMessageNumber;
    g.StationID = station;
    g.Indicator = aligned ? 1 : 0;
    for (std::uint8_t slot = 1; slot <= 4; ++slot) {
        if (!(mask & (1u << (4 - slot)))) continue;  // the bias of an earlier 1230 stays
        // An invalid bias is not applied.
        g.Bias[slot] = raw[slot] == GloBiasInvalid ? 0.0 : static_cast<double>(raw[slot]) * 0.02;
    }
    return static_cast<std::int32_t>(end);
}

// =======================================================================================
// Hand-over

std::string TZQS_RTCM_Decoder::ReceiverNumber() const {
    return FDescriptor.ReceiverSerial + "/" + Decimal(FStation.StationID) + "/" +
           Decimal(FPhysical.NonPhysicalID) + "/" + Decimal(FPhysical.PhysicalID);
}

void TZQS_RTCM_Decoder::HandOverReceiver() {
    if (FAssembling) StoreReceiverInfo();
}

void TZQS_RTCM_Decoder::StoreAntennaInfo() {
    FStationOcc.AntennaName = sysutils::Trim(FDescriptor.Antenna);
    FStationOcc.AntennaSerial = FDescriptor.AntennaSerial;
}

void TZQS_RTCM_Parser::StoreStationPosition() {
    const RVec3 position{FStation.X, FStation.Y, FStation.Z};
    FStationPosition = position;
    if (FStation.X == 0.0) return;
    zqt_obs_intrf::TZQS_Occupation& occ = FStationOcc;
    const bool first = FOccupiedPosition.X == 0.0;
    const bool moved =
        !first && zqt_vector::Distance3(position, FOccupiedPosition) > StationMoveLimit;
    if (moved) {
        // The station moved: the occupation at the old position ends with the last epoch
        // written there.
        if (occ.BegTime != 0 && FDataSet) {
            occ.SiteName = FDataSet->GetName();
            occ.OccupationNumber = ++FStationSequence;
            occ.EndTime = FStationLast != 0 ? FStationLast : FCurEpochTime;
            FDataSet->CheckRecord(occ);
        }
        occ.BegTime = 0;
    }
    if (first || moved) {
        FOccupiedPosition = position;
        occ.Position = position;
    }
    if (FStation.ReferenceStation) {
        // A computed station: no antenna stands there.
        occ.MotionMode = 4;
        occ.AntennaHeight = 0.0;
    } else {
        occ.MotionMode = 3;
        occ.AntennaHeight = FStation.AntennaHeight;
    }
    HandOverStation();
}

void TZQS_RTCM_Parser::HandOverStation() {
    if (FStation.X == 0.0) return;
    // Satellites of epochs without a solution of their own are described from here.
    if (FEpoch)
        if (const zqt_obs_intrf::IZQS_EnginePtr engine = FEpoch->GetEngine())
            engine->SetStationPosition(RVec3{FStation.X, FStation.Y, FStation.Z});
    if (!FFileReceiver) return;
    FFileReceiver->SetBaseType(FStation.ReferenceStation ? 3 : 2);
    if (const zqt_obs_intrf::IZQS_ReceiverPtr receiver = FFileReceiver->GetReceiver())
        receiver->SetReceiverNumber(ReceiverNumber());
}

void TZQS_RTCM_Parser::StoreReceiverInfo() {
    const std::string antenna = sysutils::Trim(FDescriptor.Antenna);
    if (FDataSet) {
        if (const zqt_obs_intrf::IZQS_RecordSetPtr rs = FDataSet->GetRecordset())
            if (const auto a = rs->GetAntenna()) {
                a->SetNumber(FDescriptor.AntennaSerial);
                a->SetModel(antenna);
                a->SetHeight(FStationOcc.AntennaHeight);
            }
    }
    FStationOcc.AntennaName = antenna;
    FStationOcc.AntennaSerial = FDescriptor.AntennaSerial;
    if (!FFileReceiver) return;
    if (const zqt_obs_intrf::IZQS_ReceiverPtr receiver = FFileReceiver->GetReceiver()) {
        receiver->SetReceiverNumber(ReceiverNumber());
        receiver->SetReceiverType(FDescriptor.ReceiverType);
        receiver->SetFirmwareVersion(FDescriptor.Firmware);
    }
    // A position of zeros is no position: the file receiver keeps none.
    const RVec3& p = FStationPosition;
    if (p.X != 0.0 || p.Y != 0.0 || p.Z != 0.0)
        if (const zqt_obs_intrf::IZQS_CoordinatesPtr pos = FFileReceiver->GetPosition(true))
            pos->SetXYZ(p);
}

}  // namespace zqt_rtc_parser
