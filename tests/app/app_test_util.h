// A private temporary folder for the application tests, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace apptest {

class TempDir {
public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "tolvar-app-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp");
        FPath = templ;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    // A sub-folder, created when missing.
    std::filesystem::path Sub(const std::string& name) const {
        std::filesystem::create_directories(FPath / name);
        return FPath / name;
    }
    // A file in the folder holding the content; returns its path.
    std::string File(const std::string& name, const std::string& content = "x") const {
        std::ofstream(FPath / name) << content;
        return (FPath / name).string();
    }

private:
    std::filesystem::path FPath;
};

}  // namespace apptest
