// libFuzzer target for the BMP reader: any bytes either load or raise EInvalidGraphic, never read or
// write out of bounds; what loads is written again and reads back to the same pixels.
//
// Built and run by scripts/fuzz.sh (fuzz/README.md).
#include <vcl/SysUtils.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../vcl/src/bmp_codec.h"

namespace {

class VectorSink : public vcl::detail::ByteSink {
 public:
  void Write(const void* buffer, size_t count) override {
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes.insert(bytes.end(), p, p + count);
  }
  std::vector<uint8_t> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vcl::detail;
  PixelStore store;
  try {
    MemorySource src(data, size);
    ReadBmp(src, store);
  } catch (const vcl::EInvalidGraphic&) {
    return 0;
  } catch (const vcl::EOutOfMemory&) {
    return 0;
  }
  if (store.Empty()) std::abort();  // a load that succeeds gives pixels
  // The round trip of a large image (an RLE file of a few bytes may describe 256 MB of pixels) would
  // spend the run writing and rereading it; the write path is not what this target is after.
  if (store.ImageBytes() > (4u << 20)) return 0;

  VectorSink sink;
  WriteBmp(store, sink);
  PixelStore again;
  MemorySource src(sink.bytes.data(), sink.bytes.size());
  ReadBmp(src, again);
  if (again.width != store.width || again.height != store.height || again.layout != store.layout ||
      std::memcmp(again.bits.get(), store.bits.get(), store.ImageBytes()) != 0)
    std::abort();
  return 0;
}
