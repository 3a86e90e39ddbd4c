// Byte-level helpers shared by the binary reader/writer and the text conversion.
#ifndef VCL_SRC_FILER_INTERNAL_H
#define VCL_SRC_FILER_INTERNAL_H

#include <vcl/Classes.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace vcl::filer {

// Deeper nesting (objects, lists, collections) than this is refused as malformed.
constexpr int kMaxDepth = 64;

// The 10-byte x87 extended format (64-bit mantissa with explicit integer bit, 15-bit exponent,
// sign), little-endian, converted portably from and to long double.
void EncodeExtended(long double value, uint8_t out[10]);
long double DecodeExtended(const uint8_t in[10]);

// UTF-16 code units to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(const uint16_t* units, size_t count);

template <class T>
T ReadLE(TStream* s) {
  uint8_t b[sizeof(T)];
  s->ReadBuffer(b, sizeof(T));
  T v;
  std::memcpy(&v, b, sizeof(T));  // x86-64 and the other targets we build for are little-endian
  return v;
}

template <class T>
void WriteLE(TStream* s, T v) {
  s->WriteBuffer(&v, sizeof(T));
}

}  // namespace vcl::filer

#endif
