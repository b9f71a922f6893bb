// RTCM 3 decoder: the coordinate transformation messages 1021 (Helmert / abridged
// Molodenski parameters), 1023 (residuals on an ellipsoidal grid) and 1025 (projection
// parameters).
#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

namespace {

// A name of a transformation message: a 5-bit character count, then the characters, all
// within the payload. Characters outside printable ASCII become "?".
std::string ReadName(TBitReader& b) {
    const auto length = static_cast<unsigned>(b.U(5));
    std::string s = b.Str(length);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return s;
}

double Scaled(std::int64_t Value, double Scale) noexcept {
    return static_cast<double>(Value) * Scale;
}
double ScaledU(std::uint64_t Value, double Scale) noexcept {
    return static_cast<double>(Value) * Scale;
}

// Semi-axes of the ellipsoids: offsets in mm from 6,370,000 m (major) and 6,350,000 m (minor).
constexpr double MajorAxisBase = 6370000.0;
constexpr double MinorAxisBase = 6350000.0;
// Scale factor of a projection: an offset in 1e-5 ppm from 993,000 ppm.
constexpr double ScaleFactorBase = 993000.0;

}  // namespace

std::int32_t TZQS_RTCM_Decoder::DecodeTransformationMessage(const std::uint8_t* Payload,
                                                            std::int32_t Length) {
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const RMessageRow* row = MessageRow(static_cast<std::uint32_t>(b.U(12)));
    return row && row->Fields ? (this->*row->Fields)(b) : 0;
}

std::int32_t TZQS_RTCM_Decoder::DecodeHelmert(TBitReader& b) {
    RHelmertRecord r;
    r.SourceName = ReadName(b);
    r.TargetName = ReadName(b);
    r.SystemID = static_cast<std::uint8_t>(b.U(8));
    r.UtilizedMessages = static_cast<std::uint16_t>(b.U(10));
    r.PlateNumber = static_cast<std::uint8_t>(b.U(5));
    r.ComputationIndicator = static_cast<std::uint8_t>(b.U(4));
    r.HeightIndicator = static_cast<std::uint8_t>(b.U(2));
    r.PhiV = Scaled(b.S(19), 2.0);
    r.LambdaV = Scaled(b.S(20), 2.0);
    r.DeltaPhiV = ScaledU(b.U(14), 2.0);
    r.DeltaLambdaV = ScaledU(b.U(14), 2.0);
    r.dX = Scaled(b.S(23), 0.001);
    r.dY = Scaled(b.S(23), 0.001);
    r.dZ = Scaled(b.S(23), 0.001);
    r.R1 = Scaled(b.S(32), 2e-5);
    r.R2 = Scaled(b.S(32), 2e-5);
    r.R3 = Scaled(b.S(32), 2e-5);
    r.dS = Scaled(b.S(25), 1e-5);
    r.aS = MajorAxisBase + ScaledU(b.U(24), 0.001);
    r.bS = MinorAxisBase + ScaledU(b.U(25), 0.001);
    r.aT = MajorAxisBase + ScaledU(b.U(24), 0.001);
    r.bT = MinorAxisBase + ScaledU(b.U(25), 0.001);
    r.HorizontalQuality = static_cast<std::uint8_t>(b.U(3));
    r.VerticalQuality = static_cast<std::uint8_t>(b.U(3));
    FHelmert = std::move(r);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeResidualGrid(TBitReader& b) {
    RResidualGridRecord r;
    r.SystemID = static_cast<std::uint8_t>(b.U(8));
    r.HorizontalShift = b.Bit();
    r.VerticalShift = b.Bit();
    r.Phi0 = Scaled(b.S(21), 0.5);
    r.Lambda0 = Scaled(b.S(22), 0.5);
    r.DeltaPhi = ScaledU(b.U(12), 0.5);
    r.DeltaLambda = ScaledU(b.U(12), 0.5);
    r.MeanDeltaPhi = Scaled(b.S(8), 0.001);
    r.MeanDeltaLambda = Scaled(b.S(8), 0.001);
    r.MeanDeltaH = Scaled(b.S(15), 0.01);
    for (RResidualGridRecord::RPoint& p : r.Points) {
        p.DeltaPhi = Scaled(b.S(9), 3e-5);
        p.DeltaLambda = Scaled(b.S(9), 3e-5);
        p.DeltaH = Scaled(b.S(9), 0.001);
    }
    r.HorizontalInterpolation = static_cast<std::uint8_t>(b.U(2));
    r.VerticalInterpolation = static_cast<std::uint8_t>(b.U(2));
    r.HorizontalQuality = static_cast<std::uint8_t>(b.U(3));
    r.VerticalQuality = static_cast<std::uint8_t>(b.U(3));
    r.ModifiedJulianDay = static_cast<std::uint16_t>(b.U(16));
    FResidualGrid = r;
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeProjection(TBitReader& b) {
    RProjectionRecord r;
    r.SystemID = static_cast<std::uint8_t>(b.U(8));
    r.ProjectionType = static_cast<std::uint8_t>(b.U(6));
    r.LatitudeOrigin = Scaled(b.S(34), 1.1e-8);
    r.LongitudeOrigin = Scaled(b.S(35), 1.1e-8);
    r.ScaleFactor = ScaleFactorBase + ScaledU(b.U(30), 1e-5);
    r.FalseEasting = ScaledU(b.U(36), 0.001);
    r.FalseNorthing = Scaled(b.S(35), 0.001);
    FProjection = r;
    return static_cast<std::int32_t>(b.Pos());
}

}  // namespace zqt_rtc_parser
