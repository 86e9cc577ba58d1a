// Force-included in the web build only. Debian's Emscripten 3.1.6 ships libc++ 13, whose <bit>
// lacks C++20's std::bit_cast (libc++ 14 has it); its clang has the builtin the library's own
// version is made of.
#pragma once

#include <bit>
#include <type_traits>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000
namespace std {
template <class To, class From>
requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
         is_trivially_copyable_v<From>) constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
