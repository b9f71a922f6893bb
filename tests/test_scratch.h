// The scratch folder of a test: made private under the temporary folder (TMPDIR when set),
// removed with everything in it when the object ends, even where the test took the write
// permission of the folder away.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace testutil {

class TScratchDir {
public:
    // The folder's name begins with Prefix, which tells a leftover folder's test.
    explicit TScratchDir(std::string_view Prefix = "tolvar-test") {
        std::string templ =
            (std::filesystem::temp_directory_path() / (std::string(Prefix) + "-XXXXXX")).string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp: " + templ);
        FPath = templ;
    }
    ~TScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(FPath, ec);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(std::string_view Name) const { return FPath / Name; }

    // Writes the bytes into the file Name of the folder; returns the file's path.
    std::string Write(std::string_view Name, std::string_view Bytes) const {
        const std::filesystem::path p = FPath / Name;
        std::ofstream os(p, std::ios::binary);
        os.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
        if (!os) throw std::runtime_error("cannot write " + p.string());
        return p.string();
    }
    std::string Write(std::string_view Name, const std::vector<std::uint8_t>& Bytes) const {
        return Write(Name,
                     std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
    }

private:
    std::filesystem::path FPath;
};

}  // namespace testutil
