// The facts of one input file kept by a persistent object: the RFileInfo record (name,
// type, version, URL, time, checksum, compression, size), the file's GUID, and the
// checksum that tells whether a file was loaded before.
//
// The checksum is the XOR of the file read as little-endian 64-bit words, the last word
// padded with zero bytes; an empty file gives 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "zqt_classes_dbs.h"
#include "zqt_types_bs.h"

namespace zqt_file_bs {

using zqt_types_bs::RFileInfo;

// Object type of a file row in ObjInfo.
inline constexpr std::uint8_t OBJ_FILE = 1;

// ---------------------------------------------------------------------------------------
// GUID in its text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex).

struct TGUID {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0;
    std::uint16_t D3 = 0;
    std::array<std::uint8_t, 8> D4{};

    bool operator==(const TGUID&) const = default;
    bool IsNull() const noexcept { return *this == TGUID{}; }
};

std::string GUIDToString(const TGUID& G);
// Reads "{...}" (braces optional, either letter case); False, with G untouched, for any
// other text.
bool TryStringToGUID(std::string_view Text, TGUID& G);
// The same, raising EConvertError "'<text>' is not a valid GUID value" for any other text.
TGUID StringToGUID(std::string_view Text);

// ---------------------------------------------------------------------------------------
// TZQS_File_bs

class TZQS_File_bs : public zqt_classes_dbs::TZQS_Object {
public:
    // ObjType 1, the record cleared.
    void InitFields() override;

    // Checksum of the record's FileName (returned, not stored).
    std::int64_t CalcCRC() const;

    // XOR of the file's little-endian 64-bit words, the last one padded with zero bytes;
    // 0 for an empty file. A file that cannot be opened raises
    // zqt_classes_bs::ExcZQSCantOpenFile; a failed read raises.
    static std::int64_t Checksum(const std::string& FileName);

    const RFileInfo& FileInfo() const noexcept { return FInfo; }
    RFileInfo& FileInfoRef() noexcept { return FInfo; }
    void SetFileInfo(const RFileInfo& Info) { FInfo = Info; }
    const TGUID& GetGUID() const noexcept { return FGUID; }
    void SetGUID(const TGUID& Value) noexcept { FGUID = Value; }

protected:
    RFileInfo FInfo;
    TGUID FGUID;
};

}  // namespace zqt_file_bs
