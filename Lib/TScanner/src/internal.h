// Helpers shared by the TScanner sources; not installed.
#ifndef KORVEN_RT_INTERNAL_H
#define KORVEN_RT_INTERNAL_H

#include <korven/Scanner.h>

#include <cstring>
#include <string>
#include <utility>

namespace korven::detail {

// try { body } finally { fin }: fin runs on every path; an exception fin raises while another passes
// replaces it, as the framework's try/finally does.
template <class Body, class Fin>
decltype(auto) TryFinally(Body&& body, Fin&& fin) {
  using R = decltype(body());
  if constexpr (std::is_void_v<R>) {
    try {
      body();
    } catch (...) {
      fin();
      throw;
    }
    fin();
  } else {
    R r = [&]() -> R {
      try {
        return body();
      } catch (...) {
        fin();
        throw;
      }
    }();
    fin();
    return r;
  }
}

// The text of a TW_STR32 up to its first NUL (at most 34 characters).
inline std::string Str32(const TW_STR32& s) { return std::string(s, strnlen(s, sizeof(TW_STR32))); }

// Copies text into a TW_STR32, cut so that a terminating NUL fits, NUL-padded.
inline void SetStr32(TW_STR32& dst, const std::string& text) {
  std::memset(dst, 0, sizeof(TW_STR32));
  std::memcpy(dst, text.data(), std::min(text.size(), sizeof(TW_STR32) - 1));
}

// The enumeration name of a state ("tsTRANSFERRING").
inline std::string StateName(TWAINState s) { return vcl::EnumInfo<TWAINState>().NameOf(s); }

// An unaligned little-endian read from a container or DIB.
template <class T>
T Peek(const void* base, size_t offset) {
  T v;
  std::memcpy(&v, static_cast<const char*>(base) + offset, sizeof(T));
  return v;
}
template <class T>
void Poke(void* base, size_t offset, T v) {
  std::memcpy(static_cast<char*>(base) + offset, &v, sizeof(T));
}

}  // namespace korven::detail

#endif
