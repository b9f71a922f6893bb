// tolvar: converts RTCM 3 recordings into RINEX observation and navigation files.
#include <cstdio>

#include "zqt_version.h"

int main() {
    std::printf("%s %s\n", zqt_version::ProductName, zqt_version::FileVersion);
    return 0;
}
