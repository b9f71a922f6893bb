// Text helpers shared by the sections of the RINEX reader (not part of its interface).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zqt_rnx_reader::detail {

// Columns From..To (1-based, inclusive) of a line; a line that ends before gives what it
// has.
std::string_view Cols(std::string_view Line, std::size_t From, std::size_t To) noexcept;
// Columns From.. to the end of the line.
std::string_view ColsFrom(std::string_view Line, std::size_t From) noexcept;
std::string_view TrimView(std::string_view Text) noexcept;
bool IsBlank(std::string_view Text) noexcept;
// The words of a text between blanks.
std::vector<std::string> Words(std::string_view Text);
// The number of a field: blanks around it are dropped, Fortran "D" exponents read as "E".
// False for a blank field or one that is no number.
bool FieldNumber(std::string_view Field, double& Value);
// The number rounded to the nearest integer (halves to even) when it is finite and lies
// within Low..High.
bool RoundedInt(double Value, std::int64_t Low, std::int64_t High, std::int64_t& Result) noexcept;
bool WordInt(std::string_view Word, std::int64_t& Result);

}  // namespace zqt_rnx_reader::detail
