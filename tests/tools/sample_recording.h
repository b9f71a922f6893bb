// A synthetic RTCM 3 recording of a static reference station, made with the test encoder:
// station, antenna and receiver descriptions (1006, 1008, 1033), GPS and Galileo broadcast
// ephemerides (1019, 1046), and MSM7 observations of GPS, GLONASS, Galileo and BeiDou
// satellites on circular orbits. Ranges, phases and rates follow the geometry of those
// orbits from the station, so the recording converts into plausible RINEX files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtcm_encoder.h"

namespace sample_recording {

struct RSampleOptions {
    std::int64_t Start = 0;      // GPS ticks of the first epoch
    std::int32_t Epochs = 600;   // number of epochs
    std::int32_t Interval = 1;   // seconds between epochs
    std::int32_t Station = 100;  // station ID
    // Observation messages of each epoch, in this order: MSM1..7 of GPS (107x), GLONASS
    // (108x), Galileo (109x) and BeiDou (112x), legacy 1003/1004 (GPS) and 1011/1012
    // (GLONASS).
    std::vector<int> Observations = {1077, 1087, 1097, 1127};
    // GLONASS broadcast ephemerides (1020) beside the GPS and Galileo ones.
    bool GlonassEphemerides = false;
    double AntennaHeight = 1.5;  // m, the height of the station's 1006
};

// GPS ticks of a calendar date and time (GPS time).
std::int64_t GpsTicks(int Year, int Month, int Day, int Hour = 0, int Minute = 0, int Second = 0);

// The recording as one byte stream of frames.
rtcm_encoder::TBytes MakeSampleRecording(const RSampleOptions& Options);

// The same frames in a BNC raw file: a marker line, then one record per frame (time stamp,
// mount point, the word "RTCM" and the byte count, the frame and a line end).
rtcm_encoder::TBytes MakeBncRaw(const RSampleOptions& Options);

// Earth-centred position of the station (m).
void StationPosition(double& X, double& Y, double& Z);

}  // namespace sample_recording
