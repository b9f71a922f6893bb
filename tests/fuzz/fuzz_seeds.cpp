// Seeds of the fuzz targets.
//
//   fuzz_seeds encoder FOLDER          short recordings made with the test encoder (every
//                                      observation message kind of the sample recording,
//                                      the other systems' MSM, ephemerides and descriptors,
//                                      NMEA sentences, a BNC raw file) into FOLDER/rtcm, and
//                                      command lines into FOLDER/cmdline: the corpus kept in
//                                      tests/fuzz/corpus
//   fuzz_seeds recordings DIR FOLDER   whole frames cut from every recording of DIR: its first
//                                      frames (about 6 KB) and the first frame of each of its
//                                      message numbers, one seed each; a BNC raw file's
//                                      first whole records
//   fuzz_seeds rinex DIR FOLDER        the first whole lines (about 6 KB) of every RINEX file
//                                      of DIR: its header and first records
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtcm_encoder.h"
#include "sample_recording.h"
#include "zqt_crc.h"

namespace fs = std::filesystem;
using rtcm_encoder::TBytes;

namespace {

void Write(const fs::path& File, const TBytes& Bytes) {
    fs::create_directories(File.parent_path());
    std::ofstream(File, std::ios::binary)
        .write(reinterpret_cast<const char*>(Bytes.data()),
               static_cast<std::streamsize>(Bytes.size()));
}

TBytes Text(const std::string& S) { return TBytes(S.begin(), S.end()); }

// An NMEA sentence with its checksum and line end.
std::string Nmea(const std::string& Body) {
    unsigned sum = 0;
    for (const char c : Body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + Body + tail;
}

void EncoderSeeds(const fs::path& Folder) {
    using namespace rtcm_encoder;
    const fs::path rtcm = Folder / "rtcm";
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 2;
    o.GlonassEphemerides = true;
    const std::vector<std::pair<std::string, std::vector<int>>> kinds = {
        {"msm7", {1077, 1087, 1097, 1127}}, {"msm6", {1076, 1086, 1096, 1126}},
        {"msm5", {1075, 1085, 1095, 1125}}, {"msm4", {1074, 1084, 1094, 1124}},
        {"msm3", {1073, 1083, 1093, 1123}}, {"msm2", {1072, 1082, 1092, 1122}},
        {"msm1", {1071, 1081, 1091, 1121}}, {"legacy1004", {1004, 1012}},
        {"legacy1003", {1003, 1011}},       {"legacy1002", {1002, 1010}},
        {"legacy1001", {1001, 1009}},       {"mixed", {1074, 1077, 1084, 1004, 1012}}};
    for (const auto& [name, numbers] : kinds) {
        o.Observations = numbers;
        Write(rtcm / (name + ".rtcm3"), sample_recording::MakeSampleRecording(o));
    }
    o.Observations = {1077, 1087};
    Write(rtcm / "msm7.bncraw", sample_recording::MakeBncRaw(o));

    // The other systems' MSM, the other ephemerides and descriptors, GLONASS biases.
    TBytes other;
    const std::int64_t t = o.Start;
    for (const int number : {1107, 1117, 1137, 1114, 1134}) {
        RMsmIn m;
        m.Number = number;
        m.EpochField = TowField(t);
        m.Sats.push_back({3, 0, false, false, {{2, 2.2e7, 2.2e7, 1.5, 9, false, 40.0}}});
        Append(other, Frame(EncodeMSM(m)));
    }
    RStationIn station;
    station.Number = 1005;
    station.X = 2854291.7, station.Y = 2198100.5, station.Z = 5245840.5;
    Append(other, Frame(EncodeStation(station)));
    RDescriptorIn descriptor;
    descriptor.Number = 1033;
    descriptor.Antenna = "TRM57971.00     NONE";
    descriptor.ReceiverType = "RECEIVER";
    descriptor.Firmware = "1.0";
    Append(other, Frame(EncodeDescriptor(descriptor)));
    descriptor.Number = 1007;
    Append(other, Frame(EncodeDescriptor(descriptor)));
    RGloBiasIn bias;
    bias.Mask = 15;
    bias.Bias[0] = 1.5;
    Append(other, Frame(EncodeGloBias(bias)));
    RBdsEphIn bds;
    bds.Sat = 24, bds.SqrtA = 1000000, bds.Toe = 1000, bds.Toc = 1000;
    Append(other, Frame(EncodeBdsEph(bds)));
    RGalEphIn gal;
    gal.Number = 1045, gal.Sat = 2, gal.SqrtA = 1000000;
    Append(other, Frame(EncodeGalEph(gal)));
    RGpsEphIn gps;
    gps.Sat = 3, gps.SqrtA = 1000000, gps.Week = 256;
    Append(other, Frame(EncodeGpsEph(gps)));
    RGloEphIn glo;
    glo.Sat = 4, glo.Tb = 40;
    Append(other, Frame(EncodeGloEph(glo)));
    Write(rtcm / "other.rtcm3", other);

    // NMEA sentences between frames.
    TBytes nmea = Text(Nmea("GPRMC,100000.00,A,5530.0000,N,03730.0000,E,0.0,0.0,050324,,,A") +
                       Nmea("GPGGA,100000.00,5530.0000,N,03730.0000,E,1,08,1.0,150.0,M,14.0,M,,") +
                       Nmea("GPGST,100000.00,1.2,0.8,0.6,45.0,0.7,0.9,1.5") + Nmea("GPMRK,SITE-A"));
    o.Observations = {1074};
    o.Epochs = 1;
    Append(nmea, sample_recording::MakeSampleRecording(o));
    Write(rtcm / "nmea.rtcm3", nmea);

    // Command lines: arguments separated by NUL bytes.
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"-h"},
        {"ABCD_2024_03_05.rtcm3"},
        {"ABCD_2024_03_05.rtcm3", "-v=2.11", "--hr", "--rn", "-o=out", "--of=name"},
        {"ABCD_2024_03_05.rtcm3", "-v=3.04", "--mxd", "--nonav", "--cd", "--lz", "--ca", "--tb",
         "--nodup", "--D"},
        {"ABCD_2024_03_05.rtcm3", "--opus", "--dt=300", "--st=05_03_24_10_00_00",
         "--ft=05_03_24_11_00_00", "--day=05_03_2024"},
        {"ABCD_2024_03_05.rtcm3", "--icss=G,R,E", "--ecss=C", "--ecsv=G1,R4,E6,C17", "-b=S1C,S??",
         "--bg=C1?", "--br=P1,D?", "--be=?5", "--bc=L2I", "--bj=C1C", "--bw=C1C", "--bi=C5A"},
        {"ABCD_2024_03_05.rtcm3", "--RB=run", "--OB=observer", "--AG=agency", "--MN=MARK",
         "--MB=12345M001", "--MT=GEODETIC", "--CC=NLD", "--X=1e6", "--Y=2e6", "--Z=3e6", "--RN=123",
         "--RT=TYPE", "--AN=456", "--AT=ANT", "--AH=1.5", "--DH=0.1", "--DE=0.2", "--DN=0.3"},
        {"ABCD_2024_03_05.rtcm3", "--borb=brdc0650.24n,brdc0650.24g", "--rorb=eph.rtcm3"},
        {"/?", "--help", "-oout", "-o:out", "/v=3.02", "\"my file.rtcm3\""},
    };
    int n = 0;
    for (const auto& line : lines) {
        std::string bytes;
        for (std::size_t i = 0; i < line.size(); ++i)
            bytes += (i ? std::string(1, '\0') : "") + line[i];
        Write(Folder / "cmdline" / ("line" + std::to_string(n++)), Text(bytes));
    }
}

// Whole frames of a byte stream, in order.
std::vector<TBytes> Frames(const TBytes& S) {
    std::vector<TBytes> frames;
    std::size_t i = 0;
    while (i + 6 <= S.size()) {
        const std::size_t length = ((S[i + 1] & 0x03u) << 8) | S[i + 2];
        if (S[i] == 0xD3 && (S[i + 1] & 0xFC) == 0 && i + 6 + length <= S.size() &&
            zqt_crc::TZQS_CRC24Q::Check(S.data() + i, 3 + length)) {
            frames.emplace_back(S.begin() + static_cast<std::ptrdiff_t>(i),
                                S.begin() + static_cast<std::ptrdiff_t>(i + 6 + length));
            i += 6 + length;
        } else {
            ++i;
        }
    }
    return frames;
}

void RecordingSeeds(const fs::path& Dir, const fs::path& Folder) {
    constexpr std::size_t Budget = 6000;
    for (const auto& entry : fs::directory_iterator(Dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        const TBytes bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
        const std::string stem = entry.path().stem().string();
        const std::string marker = "TTTTTBNC raw file";
        if (std::string(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 200))
                .find(marker) != std::string::npos) {
            // The marker line and whole records (line, its bytes, the line end).
            std::size_t end = 0, p = 0;
            while (p < bytes.size() && p < Budget) {
                const auto lf = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(p),
                                          bytes.end(), static_cast<std::uint8_t>('\n'));
                if (lf == bytes.end()) break;
                const std::string line(bytes.begin() + static_cast<std::ptrdiff_t>(p), lf);
                std::size_t next = static_cast<std::size_t>(lf - bytes.begin()) + 1;
                const std::size_t rtcm = line.find(" RTCM ");
                if (rtcm != std::string::npos) {
                    try {
                        next += std::stoul(line.substr(line.find_last_of(' ') + 1)) + 1;
                    } catch (const std::exception&) {
                        break;
                    }
                }
                if (next > bytes.size()) break;
                p = end = next;
            }
            Write(Folder / (stem + "_records.bncraw"),
                  TBytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end)));
            continue;
        }
        TBytes first, each;
        std::map<int, bool> seen;
        for (const TBytes& frame : Frames(bytes)) {
            if (first.size() + frame.size() <= Budget) rtcm_encoder::Append(first, frame);
            const int number = frame.size() > 4 ? (frame[3] << 4 | frame[4] >> 4) : 0;
            if (!seen[number]) rtcm_encoder::Append(each, frame);
            seen[number] = true;
        }
        if (!first.empty()) Write(Folder / (stem + "_first.rtcm3"), first);
        if (!each.empty()) Write(Folder / (stem + "_kinds.rtcm3"), each);
    }
}

void RinexSeeds(const fs::path& Dir, const fs::path& Folder) {
    constexpr std::size_t Budget = 6000;
    for (const auto& entry : fs::directory_iterator(Dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        TBytes bytes(Budget);
        f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(Budget));
        bytes.resize(static_cast<std::size_t>(f.gcount()));
        const auto lf = std::find(bytes.rbegin(), bytes.rend(), static_cast<std::uint8_t>('\n'));
        bytes.erase(lf.base(), bytes.end());
        if (!bytes.empty()) Write(Folder / entry.path().filename(), bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "encoder") {
        EncoderSeeds(args[1]);
        return 0;
    }
    if (args.size() == 3 && args[0] == "recordings") {
        RecordingSeeds(args[1], args[2]);
        return 0;
    }
    if (args.size() == 3 && args[0] == "rinex") {
        RinexSeeds(args[1], args[2]);
        return 0;
    }
    std::fprintf(stderr, "usage: fuzz_seeds encoder FOLDER | recordings|rinex DIR FOLDER\n");
    return 2;
}
