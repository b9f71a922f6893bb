// The schema of a project database as one SQL text compiled into the program.
// The text is foundation/zqt_schema.sql, embedded by the build (cmake/EmbedSql.cmake).
#pragma once

#include <string_view>

namespace zqt_schema {

// The whole script: every table (each dropped first, so an existing project is replaced),
// the seed rows, indexes, triggers and views. Run it whole with one Exec inside one
// transaction; it is not meant to be split at ";" (trigger bodies hold several
// statements). The views ObjInfoViewVectors and CoordsViewStd call the connection's own
// SQL functions VectType and SQRT; the delete triggers expect recursive triggers off,
// SQLite's default. The text is followed by a NUL byte, so data() can be handed to
// sqlite3_exec as it is.
std::string_view ProjectSchemaScript() noexcept;

}  // namespace zqt_schema
