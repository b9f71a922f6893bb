// NMEA sentences in the RTCM stream: the sentence parser (checksum, talkers, line ends,
// RMC, GGA and GST with their empty fields), sentences among frames (every frame found
// whatever the line ends and the reads), the start time from an RMC, and GGA and GST
// values in the coordinates of their epochs on a project database.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_import_util.h"
#include "rtcm_test_util.h"
#include "sysutils.h"
#include "zqt_coordinates_dbs.h"
#include "zqt_geo.h"
#include "zqt_nmea.h"
#include "zqt_rtc_parser.h"

using namespace rtcm_encoder;
using sysutils::Format;
using zqt_nmea::TZQS_Nmea;

namespace {

constexpr int Leap = 18;
constexpr std::int64_t Sec = TicksPerSecond;
constexpr std::int64_t Day20240305 = 13936320000000;  // 2024-03-05 00:00 GPS
constexpr std::int64_t T0 = Day20240305 + 10 * 3600 * Sec;

std::string Text(const TBytes& b) { return std::string(b.begin(), b.end()); }

bool Parse(TZQS_Nmea& n, const std::string& s) {
    return n.Parse(reinterpret_cast<const std::uint8_t*>(s.data()),
                   static_cast<std::int32_t>(s.size()));
}

const std::string Rmc13 =
    "GPRMC,100000.50,A,4807.038,N,01131.000,E,022.4,084.4,050324,003.1,W,A";  // NMEA 2.3
const std::string Rmc12 = "GPRMC,100000.50,A,4807.038,N,01131.000,E,022.4,084.4,050324,003.1,W";
const std::string Rmc10 = "GPRMC,100000.50,A,4807.038,N,01131.000,E,022.4,084.4,050324";
const std::string Gga = "GPGGA,123519,4807.038,N,01131.000,W,1,08,0.9,545.4,M,46.9,M,,";

}  // namespace

// ---------------------------------------------------------------------------------------
// Sentences

TEST(NmeaSentence, RecognisedWithTheLineEndThatIsThere) {
    const std::string crlf = Text(Nmea(Rmc13));  // checksum 2F
    const std::size_t star = crlf.find('*');
    const std::string next = "\xD3\x00\x13";  // a frame's first bytes after the sentence
    struct Case {
        std::string What, Text;
        std::size_t Length;  // bytes taken; 1: not recognised
        bool Complete;
    };
    const std::vector<Case> cases = {
        {"CR LF", crlf + next, crlf.size(), true},
        {"LF only", Text(Nmea(Rmc13, "\n")) + next, crlf.size() - 1, true},
        {"no line end", Text(Nmea(Rmc13, "")) + next, crlf.size() - 2, true},
        {"RMC of NMEA 2.2 (12 fields)", Text(Nmea(Rmc12)), Rmc12.size() + 6, true},
        {"RMC up to its date (10 fields)", Text(Nmea(Rmc10)), Rmc10.size() + 6, true},
        {"RMC before a fix", Text(Nmea("GPRMC,,V,,,,,,,,,,N")), 25, false},
        {"RMC with a date that is none", Text(Nmea("GPRMC,100000,A,,,,,,,310224,,,A")), 37, false},
        {"checksum in lower case", crlf.substr(0, star + 1) + "2f\r\n", 1, false},
        {"wrong checksum", crlf.substr(0, star + 1) + "00\r\n", 1, false},
        {"unknown talker XX", Text(Nmea("XX" + Gga.substr(2))), 1, false},
        {"talker in lower case", Text(Nmea("gp" + Gga.substr(2))), 1, false},
        {"formatter not taken (GSV)", Text(Nmea("GPGSV,1,1,00")), 1, false},
        {"no * within 82 bytes", Text(Nmea("GPRMC," + std::string(80, '1'))), 1, false},
        {"a byte that is no text before the *", Text(Nmea("GPRMC,1\x01")), 1, false},
        {"MRK", Text(Nmea("GPMRK,SITE-A")), 18, true},
        {"MRK without a name", Text(Nmea("GPMRK,")), 12, false},
    };
    for (const Case& c : cases) {
        TZQS_Nmea n;
        EXPECT_EQ(Parse(n, c.Text), c.Length > 1) << c.What;
        EXPECT_EQ(n.Length(), static_cast<std::int32_t>(c.Length)) << c.What;
        EXPECT_EQ(n.Complete(), c.Complete) << c.What;
    }
    TZQS_Nmea n;
    std::int32_t at = 0;
    EXPECT_THROW(n.Checksum(reinterpret_cast<const std::uint8_t*>("GPRMC"), 5, at),
                 sysutils::Exception);
}

TEST(NmeaSentence, TalkersAndTheirSystemsInGst) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"GP", 1}, {"GL", 2}, {"GA", 4}, {"GQ", 5}, {"GI", 7},
        {"BD", 6}, {"GB", 6}, {"GN", 0}, {"PP", 0},
    };
    for (const auto& [talker, system] : cases) {
        TZQS_Nmea n;
        ASSERT_TRUE(Parse(n, Text(Nmea(talker + "GST,123519.50,1.25,0.9,0.6,45.0")))) << talker;
        EXPECT_EQ(n.RMS(), 1.25);
        EXPECT_EQ(n.GSTTimeOfDay(), (12 * 3600 + 35 * 60 + 19) * Sec + 5000);
        EXPECT_EQ(static_cast<int>(n.System()), system) << talker;
    }
}

TEST(NmeaSentence, RmcTimeInGpsTime) {
    TZQS_Nmea n;
    const std::int64_t expected = T0 + 5000 + Leap * Sec;  // 10:00:00.50 UTC
    for (const std::string& body : {Rmc13, Rmc12, Rmc10}) {
        ASSERT_TRUE(Parse(n, Text(Nmea(body))));
        EXPECT_EQ(n.RMCTime(), expected) << body;
        EXPECT_EQ(n.Kind(), zqt_nmea::NK_RMC);
    }
    // Without a time or a date the time stays as it was.
    ASSERT_TRUE(Parse(n, Text(Nmea("GPRMC,,V,,,,,,,,,,N"))));
    EXPECT_EQ(n.RMCTime(), expected);
}

TEST(NmeaSentence, GgaFixesAndTheirAbsence) {
    TZQS_Nmea n;
    ASSERT_TRUE(Parse(n, Text(Nmea(Gga))));
    ASSERT_TRUE(n.Complete());
    EXPECT_NEAR(n.Latitude(), 48.1173, 1e-12);
    EXPECT_NEAR(n.Longitude(), -11.516666666666667, 1e-12);
    EXPECT_NEAR(n.Height(), 545.4 + 46.9, 1e-9);
    EXPECT_EQ(n.HDOP(), 0.9);
    EXPECT_EQ(n.Satellites(), 8);
    EXPECT_EQ(n.SolutionType(), 1);
    EXPECT_EQ(n.GGATimeOfDay(), (12 * 3600 + 35 * 60 + 19) * Sec);
    double lat = 0, lon = 0, h = 0;
    zqt_geo::XYZToBLH(n.Position().X, n.Position().Y, n.Position().Z, lat, lon, h);
    EXPECT_NEAR(lat + lon + h, 48.1173 - 11.516666666666667 + 592.3, 1e-6);
    const zqt_basestorage::RVec3 fix = n.Position();

    // Before a fix the receiver leaves position, HDOP and altitude empty: no position.
    ASSERT_TRUE(Parse(n, Text(Nmea("GPGGA,123520.00,,,,,0,00,,,M,,M,,"))));
    EXPECT_TRUE(n.Complete());
    EXPECT_EQ(n.Latitude() + n.Height() + n.Position().X, 0.0);
    EXPECT_EQ(n.PreviousPosition().X, fix.X);
    // A position reported with quality 0 (no fix) is none either.
    ASSERT_TRUE(Parse(n, Text(Nmea("GPGGA,123521,4807.038,N,01131.000,W,0,00,,545.4,M,,M,,"))));
    EXPECT_EQ(n.Position().X, 0.0);

    // Fields that are no numbers: the sentence is taken but not used.
    for (const char* bad : {"GPGGA,,4807.038,N,01131.000,W,1,08,0.9,545.4,M,46.9,M,,",
                            "GPGGA,123522,48x7.038,N,01131.000,W,1,08,0.9,545.4,M,46.9,M,,",
                            "GPGGA,123522,4807.038,N,01131.000,W,1,08,0.9,,M,46.9,M,,"}) {
        ASSERT_TRUE(Parse(n, Text(Nmea(bad)))) << bad;
        EXPECT_FALSE(n.Complete()) << bad;
        EXPECT_EQ(n.GGATimeOfDay(), (12 * 3600 + 35 * 60 + 21) * Sec) << "unchanged: " << bad;
    }

    const int types[] = {0, 1, 2, 0, 4, 3, 0, 0, 0};
    for (int q = 0; q < 9; ++q) EXPECT_EQ(TZQS_Nmea::SolutionTypeOf(q), types[q]) << q;
}

// ---------------------------------------------------------------------------------------
// Sentences among frames

namespace {

// An MSM7 epoch k of GPS from T0.
TBytes MsmEpoch(int k) {
    RMsmIn m;
    m.Number = 1077;
    m.Station = 7;
    m.EpochField = TowField(T0 + k * Sec);
    for (const int id : {3, 11, 19}) {
        const double range = 2.0e7 + id * 1.1e5 + k * 300.0;
        m.Sats.push_back(
            {id, 0, false, false, {{2, range, range - 1.5, -350.0, 600, false, 45.0}}});
    }
    return Frame(EncodeMSM(m));
}

std::string GgaBody(std::int64_t t, const std::string& Position, int Quality,
                    const std::string& Hdop = "0.8", const std::string& Alt = "150.000") {
    return Format("GPGGA,%s,%s,%d,12,%s,%s,M,14.000,M,,", NmeaTimeOfDay(t, Leap), Position, Quality,
                  Hdop, Alt);
}

// Count epochs; with Sentences an RMC before the first and a GGA after each, the GGA of
// every other epoch ended by LF alone so that the next frame's preamble follows the LF.
TBytes Stream(int Count, bool Sentences) {
    TBytes s;
    if (Sentences)
        Append(s, Nmea("GPRMC," + NmeaTimeOfDay(T0, Leap) + ",A,,,,,,," + NmeaDate(T0, Leap) +
                       ",,,A"));
    for (int k = 0; k < Count; ++k) {
        Append(s, MsmEpoch(k));
        if (Sentences)
            Append(s, Nmea(GgaBody(T0 + k * Sec, "5544.0000,N,03736.0000,E", 1),
                           k % 2 ? "\n" : "\r\n"));
    }
    return s;
}

bool SameEpochs(const std::vector<rtcmtest::RWrittenEpoch>& A,
                const std::vector<rtcmtest::RWrittenEpoch>& B) {
    const auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    bool equal = A.size() == B.size();
    for (std::size_t e = 0; equal && e < A.size(); ++e) {
        equal = A[e].Time == B[e].Time && A[e].Sats.size() == B[e].Sats.size();
        for (std::size_t i = 0; equal && i < A[e].Sats.size(); ++i)
            for (unsigned b = 1; b <= 6; ++b)
                equal = equal && A[e].Sats[i].Key == B[e].Sats[i].Key &&
                        same(A[e].Sats[i].Range(b), B[e].Sats[i].Range(b)) &&
                        same(A[e].Sats[i].Phase(b), B[e].Sats[i].Phase(b));
    }
    return equal;
}

}  // namespace

// Every frame is found, in reads of any size, behind sentences ended by CR LF or LF alone.
TEST(NmeaInStream, FramesBetweenSentencesAreAllDecoded) {
    rtcmtest::TDecoderRig plain(Day20240305);
    plain.Feed(Stream(12, false));
    const auto& truth = plain.Finish();
    ASSERT_EQ(truth.size(), 12u);

    const TBytes stream = Stream(12, true);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{82},
                                    std::size_t{83}, std::size_t{500}, stream.size()}) {
        SCOPED_TRACE(piece);
        rtcmtest::TDecoderRig rig(Day20240305);
        rig.Parser->SetScanNmea(true);
        for (std::size_t at = 0; at < stream.size(); at += piece)
            rig.Parser->AddData(stream.data() + at,
                                static_cast<std::int32_t>(std::min(piece, stream.size() - at)));
        EXPECT_TRUE(SameEpochs(rig.Finish(), truth));
        EXPECT_EQ(rig.Parser->NmeaCounts().Sentences, 13);
        EXPECT_EQ(rig.Parser->NmeaCounts().Bytes,
                  static_cast<std::int64_t>(stream.size() - Stream(12, false).size()));
        EXPECT_EQ(rig.Parser->Nmea().RMCTime(), T0);
    }
}

// A stray "$" among the last 82 bytes holds them back while more may come; at the end of
// the input they are scanned once more, and the frame behind the "$" is decoded.
TEST(NmeaInStream, FrameBehindAStrayDollarAtTheEnd) {
    RStationIn st;
    st.Number = 1005;
    st.Station = 7;
    st.X = 1234.5;
    TBytes s = MsmEpoch(0);
    Append(s, TBytes{'$', 'G', 'P'});
    Append(s, Frame(EncodeStation(st)));
    rtcmtest::TDecoderRig rig(Day20240305);
    rig.Parser->SetScanNmea(true);
    rig.Feed(s);
    EXPECT_EQ(rig.Parser->Station().MessageNumber, 0) << "held while more may come";
    EXPECT_EQ(rig.Finish().size(), 1u);
    EXPECT_EQ(rig.Parser->Station().MessageNumber, 1005);
    EXPECT_NEAR(rig.Parser->Station().X, 1234.5, 1e-4);
}

// The start time of a recording: the first RMC of its stream, else its name.
TEST(NmeaInStream, StartTimeFromTheFirstRmc) {
    rtcmimport::TTempDir dir;
    const TBytes rmcLast = Nmea(
        "GNRMC," + NmeaTimeOfDay(T0 + 7 * Sec, Leap) + ",A,,,,,,," + NmeaDate(T0, Leap) + ",,", "");
    TBytes tail = Stream(3, false);
    Append(tail, rmcLast);
    TBytes far(100000, 0x20);
    Append(far, Stream(2, true));
    const struct {
        std::string Name;
        TBytes Bytes;
        std::int64_t Start;
    } cases[] = {
        {"station.rtcm3", Stream(3, true), T0},
        {"ABCD_2024_03_04.rtcm3", Stream(3, true), T0},  // the stream before the name
        {"station2.rtcm3", tail, T0 + 7 * Sec},          // the last bytes of the file
        {"station3.rtcm3", far, 0},                      // beyond the bytes searched
        {"ABCD_2024_03_04_10_00_00.rtcm3", far, Day20240305 - 14 * 3600 * Sec},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zqt_rtcm_reader::TZQS_RTCMReader::GetStartTime(dir.Write(c.Name, c.Bytes)),
                  c.Start)
            << c.Name;
}

// ---------------------------------------------------------------------------------------
// GGA and GST in the epochs of a project database

namespace {

class NmeaImport : public rtcmimport::ImportFixture {};

}  // namespace

TEST_F(NmeaImport, GgaAndGstReachTheCoordinatesOfTheirEpochs) {
    const auto t = [](int k) { return T0 + k * Sec; };
    TBytes nmea = Nmea("GPMRK,SITE-A");
    Append(nmea,
           Nmea("GPRMC," + NmeaTimeOfDay(T0, Leap) + ",A,,,,,,," + NmeaDate(T0, Leap) + ",,"));
    RStationIn st;
    st.Number = 1006;
    st.Station = 7;
    st.X = 2854291.7175, st.Y = 2198100.5335, st.Z = 5245840.5143;
    Append(nmea, Frame(EncodeStation(st)));
    Append(nmea, MsmEpoch(0));
    Append(nmea, Nmea(GgaBody(t(1), "5544.1000,N,03736.2000,E", 4, "0.7")));  // before epoch 1
    Append(nmea, MsmEpoch(1));
    Append(nmea, MsmEpoch(2));
    Append(nmea, Nmea("GPGST," + NmeaTimeOfDay(t(2), Leap) + ",0.75,,,,,,", "\n"));
    Append(nmea, Nmea(GgaBody(t(2), "5544.1000,N,03736.2001,E", 4, "0.7"), "\n"));
    Append(nmea, Nmea(GgaBody(t(2) + 5000, "5544.1000,N,03736.2002,E", 4)));  // no epoch
    Append(nmea, MsmEpoch(3));
    Append(nmea, Nmea("GPGGA," + NmeaTimeOfDay(t(3), Leap) + ",,,,,0,00,,,M,,M,,"));  // no fix
    Append(nmea, MsmEpoch(4));
    Append(nmea, Nmea(GgaBody(t(4), "5544.2000,N,03736.3000,E", 2, "1.2", "151.500")));
    Append(nmea, Nmea(GgaBody(t(5), "5544.2000,N,03736.3000,E", 1, "1.3", "152.500")));
    Append(nmea, MsmEpoch(5));

    // No date in the name: the import starts at the RMC time.
    const auto file = Import(Dir.Write("STAT.rtcm3", nmea));
    EXPECT_EQ(LastSettings.DayStart, T0);
    ASSERT_EQ(Epochs(DataSetID(file)).size(), 6u);

    // One position per epoch that had a fix, at its time, in the data set's solution (the
    // receiver's own positions stand in for the standalone engine): the epoch before the
    // fix, the epoch without one and the stray fix between epochs leave no row.
    const std::string rows = Format(
        "FROM Coordinates c LEFT JOIN CoordinatesExt e ON e.CrdID = c.CrdID LEFT JOIN Velocity v "
        "ON v.CrdID = c.CrdID WHERE c.ObjID = (SELECT DefaultSolutionID FROM Datasets WHERE "
        "DataSetID = %d)",
        DataSetID(file));
    EXPECT_EQ(Int("SELECT COUNT(*) " + rows), 4);
    // Per epoch with a fix: latitude, longitude, height, point type, HDOP, satellites, RMS
    // and the vertical velocity (-1: none).
    const std::vector<std::vector<double>> expected = {
        {1, 55.735, 37.603333333333333, 164.0, 4, 0.7, 12, 0.0, -1},
        {2, 55.735, 37.603335, 164.0, 4, 0.7, 12, 0.75, 0.0},
        {4, 55.736666666666667, 37.605, 165.5, 2, 1.2, 12, 0.0, -1},   // no fix before it
        {5, 55.736666666666667, 37.605, 166.5, 1, 1.3, 12, 0.0, 1.0},  // 1 m up in 1 s
    };
    for (const std::vector<double>& r : expected) {
        const std::vector<double> row = Db->SelectFirstRowFloats(
            "SELECT c.LAT, c.LON, c.ALT, c.PointType, e.hdop, e.SatsUsed, e.rms, "
            "IFNULL(v.U, -1) " +
            rows + Format(" AND c.SubObjID = %d", t(static_cast<int>(r[0]))));
        ASSERT_EQ(row.size(), 8u) << r[0];
        for (std::size_t i = 0; i < row.size(); ++i)
            EXPECT_NEAR(row[i], r[i + 1], 1e-6) << "epoch " << r[0] << " column " << i;
    }

    EXPECT_EQ(file->GetReceiver(0)->GetDataSet(0)->GetName(), "SITE-A");
    EXPECT_TRUE(Told("1 NMEA GGA sentence(s) without a fix"));
    EXPECT_TRUE(Told("1 NMEA position(s) without a written epoch of their time"));
    EXPECT_FALSE(Told("outside RTCM 3 frames")) << "the sentences are no skipped bytes";
}
