#include "zqt_rinexconsts.h"

namespace zqt_rinexconsts {

namespace {

template <std::size_t N>
std::uint8_t IndexOf(const std::array<std::string_view, N>& Names, std::string_view Text) {
    while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
    for (std::size_t i = 0; i < N; ++i)
        if (Names[i] == Text) return static_cast<std::uint8_t>(i);
    return 0;
}

}  // namespace

TRnx4DataType StrToRnx4DataType(std::string_view Text) noexcept {
    return static_cast<TRnx4DataType>(IndexOf(Rnx4DataTypeNames, Text));
}

TRnx4SubType StrToRnx4SubType(std::string_view Text) noexcept {
    return static_cast<TRnx4SubType>(IndexOf(Rnx4SubTypeNames, Text));
}

}  // namespace zqt_rinexconsts
