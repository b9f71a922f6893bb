#include "zqt_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <system_error>
#include <utility>

#include "zqt_classes_bs.h"
#include "zqt_files.h"

namespace zqt_file {

using sysutils::StartsText;
using zqt_types_bs::ExceptionZQS;

namespace {

TKnownCRCTest& KnownCRCSlot() {
    static TKnownCRCTest test;
    return test;
}

std::string FilePart(const std::string& Path) {
    const std::size_t p = Path.rfind(zqt_files::PathDelim);
    return p == std::string::npos ? Path : Path.substr(p + 1);
}

// Position of the extension's "." in Path, npos when the file part has none.
std::size_t ExtensionPos(const std::string& Path) {
    const std::size_t dot = Path.rfind('.');
    if (dot == std::string::npos) return std::string::npos;
    const std::size_t slash = Path.rfind(zqt_files::PathDelim);
    if (slash != std::string::npos && slash > dot) return std::string::npos;
    return dot;
}

[[noreturn]] void RaiseCantOpen(const std::string& FileName, int Err) {
    throw zqt_classes_bs::ExcZQSCantOpenFile(
        Format("Can't open file %s: %s", FileName,
               std::error_code(Err, std::generic_category()).message()));
}

// "file://" followed by the absolute, lexically normalised path.
std::string FileURL(const std::string& FileName) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(FileName, ec);
    if (ec) p = FileName;
    return "file://" + p.lexically_normal().string();
}

}  // namespace

void SetKnownCRCTest(TKnownCRCTest Test) { KnownCRCSlot() = std::move(Test); }

bool IsKnownCRC(std::int64_t CRC) {
    const TKnownCRCTest& test = KnownCRCSlot();
    if (!test) throw ExceptionZQS("IsKnownCRC: no record of loaded files is installed");
    return test(CRC);
}

// =======================================================================================
// Class functions

std::string TZQS_File::UpperExtension(const std::string& FileName) {
    const std::size_t dot = ExtensionPos(FileName);
    return dot == std::string::npos ? std::string() : sysutils::UpperCase(FileName.substr(dot));
}

std::uint8_t TZQS_File::GetFileType(const std::string& FileName) {
    std::string name = FileName;
    std::string ext = UpperExtension(name);
    // A packed file has the type of the name without the packer's extension.
    while (ext == ".Z" || ext == ".GZ" || ext == ".ZIP") {
        name.erase(ExtensionPos(name));
        ext = UpperExtension(name);
    }
    if (ext == ".VLB") return 1;
    if (ext == ".RNX" || ext == ".CRX") return 25;
    if (ext == ".ERP") return 24;
    if (ext == ".RTCM" || ext == ".RTCM3" || ext == ".DAT") return 5;
    if (ext == ".CMR") return 6;
    if (!ext.empty()) {
        switch (ext.back()) {
            case 'D':
            case 'O': return 2;
            case 'N': return 7;
            case 'G': return 8;
            case 'C':
            case 'H':
            case 'L':
            case 'Q':
            case 'P': return 9;
            case 'M': return 12;
            default: break;
        }
    }
    if (ext == ".SP3") {
        const std::string shortName = FilePart(name);
        if (StartsText("igs", shortName)) return 10;
        if (StartsText("igl", shortName)) return 11;
        return 17;
    }
    if (ext == ".CLK" || ext == ".CLK_30S") return 14;
    if (ext == ".ATX") return 15;
    if (ext == ".2000P") return 16;
    if (ext == ".BIA") return 23;
    return 0;
}

std::uint8_t TZQS_File::GetCompression(const std::string& FileName) {
    static const std::regex CompactRinex2("[.][\\d]{2}[d,D]");
    const std::string ext = UpperExtension(FileName);
    if (ext == ".Z") return 1;
    if (ext == ".GZ") return 2;
    if (ext == ".BZ2") return 4;
    if (ext == ".ZIP") return 3;
    if (ext == ".CRX" || std::regex_search(ext, CompactRinex2)) return 5;
    return 0;
}

bool TZQS_File::GetFileInfo(const std::string& FileName, RFileInfo& Info, bool WithChecksum) {
    struct stat st {};
    if (FileName.empty()) RaiseCantOpen(FileName, ENOENT);
    if (::stat(FileName.c_str(), &st) != 0) RaiseCantOpen(FileName, errno);
    if (S_ISDIR(st.st_mode)) RaiseCantOpen(FileName, EISDIR);
    RFileInfo r;
    zqt_types_bs::FileInfoClear(r);
    r.FileName = FileName;
    r.Name = FilePart(FileName);
    r.Time = zqt_files::FileDateTime(FileName);
    r.URL = FileURL(FileName);
    r.Typ = GetFileType(FileName);
    r.Compression = GetCompression(FileName);
    r.Version = 0;
    r.Size = static_cast<std::int64_t>(st.st_size);
    if (WithChecksum) r.CRC = Checksum(FileName);
    Info = std::move(r);
    return true;
}

// =======================================================================================
// TZQS_File

std::shared_ptr<TZQS_File> TZQS_File::CreateLoad(const SQLiteExt::IESQLiteDatabasePtr& Db,
                                                 std::int32_t ID) {
    auto f = CreateChildOf<TZQS_File>(nullptr, Db);
    f->SetObjID(ID);
    if (!f->Next()) throw ExceptionZQS(Format("File %d not found", ID));
    return f;
}

bool TZQS_File::IsKnownFile() { return IsKnownCRC(FInfo.CRC); }

bool TZQS_File::LoadFromFile(const std::string& FileName, bool WithChecksum) {
    GetFileInfo(FileName, FInfo, WithChecksum);
    FSize = FInfo.Size;
    return true;
}

void TZQS_File::SaveFile() {
    throw ExceptionZQS(Format("%s.SaveFile: this kind of file has no save step", ClassName()));
}

void TZQS_File::SetSize(std::int64_t Value) {
    FSize = Value;
    FInfo.Size = Value;
}

std::string TZQS_File::GetDisplayName() const { return FilePart(FInfo.FileName); }

}  // namespace zqt_file
