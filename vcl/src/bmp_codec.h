// Internal: reading and writing BMP files into and out of a PixelStore.
//
// The reader validates every size against the bytes that are actually there before it allocates or
// reads, and raises EInvalidGraphic with a message naming the fault. Uncompressed rows go straight
// from the source into the store (one block for a bottom-up file).
#ifndef KORVEN_VCL_BMP_CODEC_H
#define KORVEN_VCL_BMP_CODEC_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics_store.h"

namespace vcl::detail {

// Where the reader takes its bytes from; Read must deliver exactly `count` bytes or throw.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Remaining() const = 0;
  virtual void Read(void* buffer, size_t count) = 0;
  virtual void Skip(uint64_t count) = 0;
  // The next `count` bytes in place (see TStream::Lend), or empty when they can only be copied.
  virtual std::shared_ptr<uint8_t[]> Lend(size_t) { return nullptr; }
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void* buffer, size_t count) = 0;
};

// A source over a block of memory (tests, fuzzing, DIB blocks).
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), left_(size) {}
  uint64_t Remaining() const override { return left_; }
  void Read(void* buffer, size_t count) override;
  void Skip(uint64_t count) override;

 private:
  const uint8_t* p_;
  size_t left_;
};

// Decoded images larger than this are refused when the file does not carry every pixel (RLE), so
// that a few bytes cannot demand gigabytes.
constexpr uint64_t kMaxCompressedImageBytes = 256ull << 20;

// Reads one BMP file (BITMAPFILEHEADER first) into `store`. On failure `store` is left empty.
void ReadBmp(ByteSource& src, PixelStore& store);
// Writes `store` as a BMP file with a 40-byte BITMAPINFOHEADER (bit fields for 5-6-5 rows).
void WriteBmp(const PixelStore& store, ByteSink& sink);

}  // namespace vcl::detail

#endif
