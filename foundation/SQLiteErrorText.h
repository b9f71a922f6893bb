// English sentence of an SQLite result code, used in the database error messages.
#pragma once

#include <string>

namespace SQLiteExt {

// The text of a primary result code; any other code gives
// Unknown SQLite Error Code "<code>".
std::string SQLiteErrorText(int code);

}  // namespace SQLiteExt
