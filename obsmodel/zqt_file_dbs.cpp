#include "zqt_file_dbs.h"

#include "zqt_files.h"

namespace zqt_file_dbs {

using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToCurrZ;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

namespace {

// The file part of a path.
std::string FilePart(const std::string& Path) {
    const std::size_t p = Path.rfind(zqt_files::PathDelim);
    return p == std::string::npos ? Path : Path.substr(p + 1);
}

}  // namespace

void TZQS_File_dbs::InitFields() {
    TZQS_File_bs::InitFields();
    FTableName = "Files";
    SetFieldNames({"FileID", "FileName", "Name", "Typ", "Version", "URL", "Size", "Time", "CRC",
                   "BegTime", "EndTime", "Location", "NetFileID", "Compression", "CmpCRC",
                   "_GUID"});
}

bool TZQS_File_dbs::Next() {
    // Without an open cursor: load the row of the object's id.
    const bool byID = !FSelect;
    if (byID)
        OpenSQL("SELECT * FROM " + FTableName + " WHERE FileID = :FileID",
                TVariantArray{Variant(FObjID)});
    const bool found = TZQS_File_bs::Next();
    if (found) {
        auto field = [this](const char* Name) { return GetFieldValue(Variant(Name)); };
        FObjID = static_cast<std::int32_t>(VarToInt64Z(field("FileID")));
        FInfo.FileName = VarToStrZ(field("FileName"));
        FInfo.Name = VarToStrZ(field("Name"));
        FInfo.Typ = static_cast<std::uint8_t>(VarToInt64Z(field("Typ")));
        FInfo.Version = static_cast<std::uint32_t>(VarToInt64Z(field("Version")));
        FInfo.URL = VarToStrZ(field("URL"));
        FInfo.Size = VarToInt64Z(field("Size"));
        FInfo.Time = VarToFloatZ(field("Time"));
        FInfo.CRC = VarToInt64Z(field("CRC"));
        SetBegTime(VarToCurrZ(field("BegTime")));
        SetEndTime(VarToCurrZ(field("EndTime")));
        FInfo.Location = static_cast<std::uint8_t>(VarToInt64Z(field("Location")));
        FInfo.NetFileID = static_cast<std::int32_t>(VarToInt64Z(field("NetFileID")));
        FInfo.Compression = static_cast<std::uint8_t>(VarToInt64Z(field("Compression")));
        FInfo.CmpCRC = VarToInt64Z(field("CmpCRC"));
        // A missing or unreadable GUID text reads as the null GUID.
        zqt_file_bs::TGUID guid;
        FGUID = zqt_file_bs::TryStringToGUID(VarToStrZ(field("_GUID")), guid)
                    ? guid
                    : zqt_file_bs::TGUID{};
        FSize = FInfo.Size;
    }
    if (byID || !found) CloseSelect();
    return found;
}

void TZQS_File_dbs::ExecuteWrite() {
    // A Files row without an id would take FileID 0 and get no ObjInfo row.
    EnsureObjID();
    if (FName.empty()) FName = FilePart(FInfo.FileName);
    FSize = FInfo.Size;
    ExecuteWriteParams(TVariantArray{
        Variant(FObjID), Variant(FInfo.FileName), Variant(FInfo.Name),
        Variant(static_cast<std::int32_t>(FInfo.Typ)), Variant(FInfo.Version), Variant(FInfo.URL),
        Variant(FInfo.Size), Variant(FInfo.Time), Variant(FInfo.CRC), Variant(FBegTime),
        Variant(FEndTime), Variant(static_cast<std::int32_t>(FInfo.Location)),
        Variant(FInfo.NetFileID), Variant(static_cast<std::int32_t>(FInfo.Compression)),
        Variant(FInfo.CmpCRC), Variant(zqt_file_bs::GUIDToString(FGUID))});
    InsertObjInfo();
}

}  // namespace zqt_file_dbs
