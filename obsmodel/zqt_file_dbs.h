// The file facts bound to table Files: one row per imported file, keyed by FileID (the
// object's ObjID), written together with the file's ObjInfo row and loaded back by id.
#pragma once

#include <cstdint>

#include "zqt_file_bs.h"

namespace zqt_file_dbs {

class TZQS_File_dbs : public zqt_file_bs::TZQS_File_bs {
public:
    // Table "Files" and its 16 write fields.
    void InitFields() override;

    // Without an open cursor: loads the row of the object's ObjID into the record and
    // leaves no cursor behind; False when there is no such row. With a cursor opened on
    // Files (OpenTable, OpenSQL): steps it and reads the row, ObjID included; the cursor
    // is closed at its end.
    bool Next() override;

    // Writes the Files row (FileID = ObjID, taken from the project's counter when the
    // object has none) and the file's ObjInfo row; the object Size becomes the record
    // Size. The ObjInfo name is the object's name, else the file name without folder.
    void ExecuteWrite() override;
};

}  // namespace zqt_file_dbs
