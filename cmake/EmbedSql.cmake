# Compiles an SQL script into the program as one text.
#
# Included from CMakeLists.txt, this file defines
#   tolvar_embed_sql(<target> SQL <file.sql> HEADER <header.h> NAMESPACE <ns> FUNCTION <name>)
# which generates, at build time, a source file that defines
#   std::string_view <ns>::<name>() noexcept
# (declared in <header.h>) returning the exact bytes of <file.sql>, and adds that source to
# <target>. The .sql file stays the readable, diffable original; editing it regenerates
# the source.
#
# Run with "cmake -P" (the build does this), the same file performs the generation itself
# from the variables SQL_FILE, OUT_FILE, HEADER, NAMESPACE and FUNCTION.

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(_var SQL_FILE OUT_FILE HEADER NAMESPACE FUNCTION)
    if(NOT DEFINED ${_var})
      message(FATAL_ERROR "EmbedSql: ${_var} is not set")
    endif()
  endforeach()

  file(READ "${SQL_FILE}" _sql)
  # The text goes into a raw string literal; its closing sequence must not occur in it.
  set(_delim "zqt_sql_")
  string(FIND "${_sql}" ")${_delim}\"" _clash)
  if(NOT _clash EQUAL -1)
    message(FATAL_ERROR "EmbedSql: ${SQL_FILE} contains the raw-string terminator )${_delim}\"")
  endif()

  set(_content "// Generated from ${SQL_FILE} by cmake/EmbedSql.cmake. Do not edit.\n")
  string(APPEND _content "#include \"${HEADER}\"\n\n")
  string(APPEND _content "namespace ${NAMESPACE} {\n\n")
  string(APPEND _content "namespace {\n")
  string(APPEND _content "constexpr char kText[] = R\"${_delim}(${_sql})${_delim}\";\n")
  string(APPEND _content "} // namespace\n\n")
  string(APPEND _content "std::string_view ${FUNCTION}() noexcept\n{\n")
  string(APPEND _content "    return std::string_view(kText, sizeof(kText) - 1);\n}\n\n")
  string(APPEND _content "} // namespace ${NAMESPACE}\n")

  file(WRITE "${OUT_FILE}" "${_content}")
  return()
endif()

set(TOLVAR_EMBED_SQL_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(tolvar_embed_sql target)
  cmake_parse_arguments(ARG "" "SQL;HEADER;NAMESPACE;FUNCTION" "" ${ARGN})
  foreach(_req SQL HEADER NAMESPACE FUNCTION)
    if(NOT ARG_${_req})
      message(FATAL_ERROR "tolvar_embed_sql: ${_req} is required")
    endif()
  endforeach()
  get_filename_component(_sql "${ARG_SQL}" ABSOLUTE)
  get_filename_component(_base "${_sql}" NAME_WE)
  set(_out "${CMAKE_BINARY_DIR}/generated/${_base}_sql.cpp")
  add_custom_command(
    OUTPUT "${_out}"
    COMMAND ${CMAKE_COMMAND}
            -DSQL_FILE=${_sql}
            -DOUT_FILE=${_out}
            -DHEADER=${ARG_HEADER}
            -DNAMESPACE=${ARG_NAMESPACE}
            -DFUNCTION=${ARG_FUNCTION}
            -P "${TOLVAR_EMBED_SQL_SCRIPT}"
    DEPENDS "${_sql}" "${TOLVAR_EMBED_SQL_SCRIPT}"
    COMMENT "Embedding ${ARG_SQL}"
    VERBATIM)
  target_sources(${target} PRIVATE "${_out}")
endfunction()
