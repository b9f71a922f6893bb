// Helpers of the RINEX reader tests: a project with a fresh working database into which
// RINEX files are read (through the import, or by a reader whose summary the test sees),
// and small files written by the tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtcm_import_util.h"
#include "zqt_datastorage.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_rnx_reader.h"

namespace rnxread {

namespace fs = std::filesystem;

// The path of a shared data file ("rinex/abvi0010.15m"); empty when it is missing.
inline std::string Shared(const std::string& Rel) {
    const fs::path p = fs::path(TOLVAR_SHARED_DIR) / "data" / Rel;
    std::error_code ec;
    return fs::is_regular_file(p, ec) ? p.string() : std::string();
}

inline bool InCI() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

#define RNXREAD_REQUIRE_SHARED(var, rel)                                               \
    const std::string var = rnxread::Shared(rel);                                      \
    if (var.empty()) {                                                                 \
        if (rnxread::InCI()) FAIL() << "shared test data missing under CI: " << (rel); \
        GTEST_SKIP() << "shared test data missing: " << (rel);                         \
    }

class ReaderFixture : public rtcmimport::ImportFixture {
protected:
    // Reads a file by a reader of its own, as the import does (one transaction), into a new
    // observation file (or the last one), and gives the reader's summary.
    zqt_rnx_reader::RRinexSummary Read(const std::string& Path, bool NewFile = true) {
        zqt_types_bs::RFileInfo info;
        zqt_file::TZQS_File::GetFileInfo(Path, info, false);
        info.Typ = zqt_file_obs::FileTypeRinex;
        if (NewFile || !File) File = zqt_file_obs::TZQS_ObsFile::CreateNew(Db);
        File->SetFileInfo(info);
        File->SetLogger(Log);
        File->SetOnMessage(
            [this](const std::string& Text, std::uint8_t) { Messages.push_back(Text); });
        const auto reader = zqt_rnx_reader::TZQS_RinexReader::Create(File, 0);
        reader->SetLogger(Log);
        reader->SetOnMessage(File->GetOnMessage());
        Db->BeginTransaction();
        try {
            reader->Execute();
            Db->Commit();
        } catch (...) {
            Db->Rollback();
            throw;
        }
        return reader->Summary();
    }
    // A file of the test's folder with the given lines.
    std::string WriteLines(const std::string& Name, const std::vector<std::string>& Lines) {
        const fs::path p = Dir.Path() / Name;
        std::ofstream f(p, std::ios::binary);
        for (const std::string& l : Lines) f << l << "\n";
        return p.string();
    }
    std::shared_ptr<zqt_file_obs::TZQS_ObsFile> File;
};

}  // namespace rnxread
