// A temporary folder for the database tests, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

#include "test_scratch.h"

namespace sqlite_test {

struct TempDir : testutil::TScratchDir {
    TempDir() : TScratchDir("tolvar-sqlite") {}
    std::string File(const std::string& name) const { return (Path() / name).string(); }
};

}  // namespace sqlite_test
