// The test data of the project: the recordings, reference files and RINEX samples under
// tests/data (tests/data/README.md says what each one is) and the value-by-value comparer
// of RINEX files, tests/tools/rnxcmp.py. Every test finds them through this header; a file
// that a test needs and does not find fails the test, so that no test passes on data it
// never read.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace testdata {

// The path of a file or folder under tests/data ("rtcm/ROVR_2019_01_20.rtcm3").
inline std::string Path(std::string_view Rel) {
    return (std::filesystem::path(TOLVAR_TEST_DATA) / Rel).string();
}

// The comparer of RINEX observation and navigation files.
inline std::string Comparer() {
    return (std::filesystem::path(TOLVAR_SOURCE_DIR) / "tests" / "tools" / "rnxcmp.py").string();
}

// Whether python3 runs, which the comparer needs (the test command installs it).
inline bool PythonRuns() { return std::system("python3 -c '' > /dev/null 2>&1") == 0; }

}  // namespace testdata

// Declares `var` as the path of a file under tests/data; without the file the test fails.
#define TESTDATA_FILE(var, rel)                  \
    const std::string var = testdata::Path(rel); \
    ASSERT_TRUE(std::filesystem::is_regular_file(var)) << "test data missing: " << var
