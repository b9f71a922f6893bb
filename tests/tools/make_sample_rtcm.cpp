// Writes the sample RTCM 3 recording of `make demo`: ten minutes of a static reference
// station at 1 Hz (GPS, GLONASS, Galileo and BeiDou MSM7 with station, receiver and
// ephemeris messages), named so that the converter finds its day.
//
//   make_sample_rtcm [FOLDER]     writes FOLDER/SMPL_2024_03_05.rtcm3 (default: .)
//   make_sample_rtcm --bnc [FOLDER]   the same frames as a BNC raw file
#include <cstdio>
#include <fstream>
#include <string>

#include "sample_recording.h"

int main(int argc, char** argv) {
    bool bnc = false;
    std::string folder = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--bnc")
            bnc = true;
        else
            folder = a;
    }
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    const rtcm_encoder::TBytes bytes =
        bnc ? sample_recording::MakeBncRaw(o) : sample_recording::MakeSampleRecording(o);
    const std::string path = folder + (bnc ? "/SMPL_2024_03_05.bncraw" : "/SMPL_2024_03_05.rtcm3");
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
