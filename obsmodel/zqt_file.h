// An input file as a persistent object: its facts taken from the file system (name, URL,
// modification time, size, checksum), its type and compression derived from the name,
// and the "already loaded" test against the checksums the navigation store keeps.
//
// The type rules work on the upper-cased extension (the text from the last "." of the
// file part) and are tried in this order: ".Z", ".GZ", ".ZIP" give the type of the name
// without them; ".VLB" 1; ".RNX", ".CRX" 25; ".ERP" 24; ".RTCM", ".RTCM3", ".DAT" 5;
// ".CMR" 6; an extension ending in "D" or "O" 2; in "N" 7; in "G" 8; in "C", "H", "L",
// "Q" or "P" 9; in "M" 12; ".SP3" 10 for names beginning with "igs", 11 with "igl", else
// 17; ".CLK", ".CLK_30S" 14; ".ATX" 15; ".2000P" 16 (never reached: "P" matches first);
// ".BIA" 23; anything else 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "SQLiteExt.h"
#include "zqt_file_dbs.h"
#include "zqt_objects_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_file {

using zqt_objects_intrf::IZQS_Object;
using zqt_types_bs::RFileInfo;

// ---------------------------------------------------------------------------------------
// The navigation store's record of loaded files, installed by the navigation layer at
// start-up: True when the checksum was recorded before; otherwise the call records it and
// returns False.

using TKnownCRCTest = std::function<bool(std::int64_t CRC)>;
void SetKnownCRCTest(TKnownCRCTest Test);
// The installed test; raises zqt_types_bs::ExceptionZQS when none is installed (a file
// must never pass as new because nobody kept the checksums).
bool IsKnownCRC(std::int64_t CRC);

// ---------------------------------------------------------------------------------------
// IZQS_File. The object's Size (GetSize/SetSize of IZQS_ObjectRead) mirrors the record's
// Size: SetSize sets both.

class IZQS_File : public virtual IZQS_Object {
public:
    // True when a file with this checksum was loaded before; otherwise records the
    // checksum and returns False.
    virtual bool IsKnownFile() = 0;
    virtual std::int64_t GetCRC() const = 0;
    virtual std::string GetFileName() const = 0;
    virtual std::uint8_t GetFileType() const = 0;
    // The file name without folder.
    virtual std::string GetShortName() const = 0;
    virtual std::string GetURL() const = 0;
    // Modification time (days since 1899-12-30, local time).
    virtual double GetFileTime() const = 0;
    virtual std::uint32_t GetVersion() const = 0;
    // Reads the facts of FileName into the record (with its checksum when asked); True.
    virtual bool LoadFromFile(const std::string& FileName, bool WithChecksum) = 0;
    virtual RFileInfo GetFileInfo() const = 0;
    // Checksum of the record's file (not stored).
    virtual std::int64_t CalcCRC() const = 0;
    // The file-level save step; defined by the kinds of files that have one.
    virtual void SaveFile() = 0;
    virtual void SetCRC(std::int64_t Value) = 0;
    virtual void SetFileType(std::uint8_t Value) = 0;
    virtual void SetVersion(std::uint32_t Value) = 0;
    virtual void SetFileName(const std::string& Value) = 0;
};

using IZQS_FilePtr = std::shared_ptr<IZQS_File>;

// ---------------------------------------------------------------------------------------
// TZQS_File

class TZQS_File : public zqt_file_dbs::TZQS_File_dbs, public virtual IZQS_File {
public:
    // A file object on Db with the given ObjID, its Files row loaded. Raises
    // zqt_types_bs::ExceptionZQS when there is no such row.
    static std::shared_ptr<TZQS_File> CreateLoad(const SQLiteExt::IESQLiteDatabasePtr& Db,
                                                 std::int32_t ID);

    // ---- class functions ---------------------------------------------------------------
    // The facts of a file: the record is cleared; FileName as given, Name its file part,
    // Time its modification time, URL "file://" + the absolute path, Typ and Compression
    // from the name, Version 0, Size the size in bytes, CRC the checksum when asked.
    // A file that does not exist raises zqt_classes_bs::ExcZQSCantOpenFile. True.
    static bool GetFileInfo(const std::string& FileName, RFileInfo& Info, bool WithChecksum);
    // File type code from the name (rules at the top of this header).
    static std::uint8_t GetFileType(const std::string& FileName);
    // Compression code from the name: ".Z" 1, ".GZ" 2, ".ZIP" 3, ".BZ2" 4; ".CRX" or an
    // extension in which "[.][\d]{2}[d,D]" finds a match (compact RINEX 2, ".21d";
    // the character class also takes a comma) 5; else 0.
    static std::uint8_t GetCompression(const std::string& FileName);
    // The upper-cased extension of a path: from the last "." of its file part ("" when
    // there is none).
    static std::string UpperExtension(const std::string& FileName);

    // ---- IZQS_File ---------------------------------------------------------------------
    bool IsKnownFile() override;
    std::int64_t GetCRC() const override { return FInfo.CRC; }
    std::string GetFileName() const override { return FInfo.FileName; }
    std::uint8_t GetFileType() const override { return FInfo.Typ; }
    std::string GetShortName() const override { return FInfo.Name; }
    std::string GetURL() const override { return FInfo.URL; }
    double GetFileTime() const override { return FInfo.Time; }
    std::uint32_t GetVersion() const override { return FInfo.Version; }
    bool LoadFromFile(const std::string& FileName, bool WithChecksum) override;
    RFileInfo GetFileInfo() const override { return FInfo; }
    std::int64_t CalcCRC() const override { return TZQS_File_bs::CalcCRC(); }
    // Raises zqt_types_bs::ExceptionZQS: a plain file has no save step.
    void SaveFile() override;
    void SetCRC(std::int64_t Value) override { FInfo.CRC = Value; }
    void SetFileType(std::uint8_t Value) override { FInfo.Typ = Value; }
    void SetVersion(std::uint32_t Value) override { FInfo.Version = Value; }
    void SetFileName(const std::string& Value) override { FInfo.FileName = Value; }
    void SetSize(std::int64_t Value) override;

    // ---- IZQS_Object -------------------------------------------------------------------
    // The file part of FileName.
    std::string GetDisplayName() const override;
};

}  // namespace zqt_file
