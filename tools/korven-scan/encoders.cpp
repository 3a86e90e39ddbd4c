// One encoder per format, each through the library that owns that format: the framework's own BMP
// writer, libpng, libjpeg(-turbo), libtiff and PoDoFo's streamed PDF document; PNM is written here.
// Every encoder takes the page row by row from the bitmap and holds no further copy of it.
//
// libpng and libjpeg report errors by longjmp: the functions that call them keep every object with a
// destructor outside the jump's reach (created before setjmp, in the same frame) and call nothing
// that throws between setjmp and the end.
#include "image_writer.h"

#include <jpeglib.h>
#include <png.h>
#include <podofo/podofo.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <vector>

namespace korven::scan {

namespace {

std::string WriteFailure(const std::string& target, const std::string& why) { return "cannot write " + target + ": " + why; }

// A stdio stream on a duplicate of the file's descriptor, for the libraries that want a FILE*.
class StdioFile {
 public:
  explicit StdioFile(AtomicFile& file) : target_(file.Shown()) {
    int fd = dup(file.Fd());
    if (fd >= 0) fp_ = fdopen(fd, "wb");
    if (!fp_) {
      int err = errno;
      if (fd >= 0) close(fd);
      throw OutputError(WriteFailure(target_, std::strerror(err)));
    }
  }
  ~StdioFile() {
    if (fp_) fclose(fp_);
  }
  FILE* Get() const { return fp_; }
  // Flushes and closes; raises OutputError when any write failed.
  void Close() {
    FILE* fp = fp_;
    fp_ = nullptr;
    bool failed = fflush(fp) != 0 || ferror(fp);
    int err = errno;
    if (fclose(fp) != 0 && !failed) {
      failed = true;
      err = errno;
    }
    if (failed) throw OutputError(WriteFailure(target_, std::strerror(err ? err : EIO)));
  }

 private:
  std::string target_;
  FILE* fp_ = nullptr;
};

// Writes everything or reports the reason.
bool WriteAll(int fd, const void* data, size_t size, int& err) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    p += n;
    size -= size_t(n);
  }
  return true;
}

// ---- BMP ----------------------------------------------------------------------------------------

// A framework stream writing straight to the file, so a large page is not copied into memory first.
class FdStream : public vcl::TStream {
 public:
  explicit FdStream(int fd) : fd_(fd) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    if (!WriteAll(fd_, buffer, size_t(count), err_)) return 0;
    return count;
  }
  int64_t Seek(int64_t offset, vcl::TSeekOrigin origin) override {
    int whence = origin == vcl::soBeginning ? SEEK_SET : origin == vcl::soCurrent ? SEEK_CUR : SEEK_END;
    return lseek(fd_, offset, whence);
  }
  int Error() const { return err_; }

 private:
  int fd_;
  int err_ = 0;
};

class BmpEncoder : public DocumentEncoder {
 public:
  explicit BmpEncoder(AtomicFile& file) : file_(file) {}
  void AddPage(const vcl::TBitmap& bitmap, const PageView&, Resolution res) override {
    FdStream stream(file_.Fd());
    off_t start = lseek(file_.Fd(), 0, SEEK_CUR);
    try {
      const_cast<vcl::TBitmap&>(bitmap).SaveToStream(&stream);  // SaveToStream only reads
    } catch (const vcl::Exception& e) {
      throw OutputError(WriteFailure(file_.Shown(), stream.Error() ? std::strerror(stream.Error()) : e.Message()));
    }
    if (stream.Error()) throw OutputError(WriteFailure(file_.Shown(), std::strerror(stream.Error())));
    // The file carries the resolution in the bitmap's info header (biXPelsPerMeter at byte 38,
    // biYPelsPerMeter at 42); a different one is written there rather than into a copy of the page.
    Resolution own = ResolutionOf(bitmap);
    if (res.Known() && (std::fabs(own.x - res.x) > 0.01 || std::fabs(own.y - res.y) > 0.01)) {
      uint8_t ppm[8];
      const uint32_t values[2] = {uint32_t(std::lround(res.x / 0.0254)), uint32_t(std::lround(res.y / 0.0254))};
      for (int i = 0; i < 8; ++i) ppm[i] = uint8_t(values[i / 4] >> (8 * (i % 4)));
      if (pwrite(file_.Fd(), ppm, sizeof ppm, start + 38) != ssize_t(sizeof ppm))
        throw OutputError(WriteFailure(file_.Shown(), std::strerror(errno ? errno : EIO)));
    }
  }
  void Finish() override {}

 private:
  AtomicFile& file_;
};

// ---- PNG ----------------------------------------------------------------------------------------

struct PngErrors {
  char text[256] = {};
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
  std::snprintf(errors->text, sizeof errors->text, "%s", message);
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// Returns false with errors filled on failure. Pixel types: bilevel as 1-bit grey, grey as 8-bit
// grey, indexed colour as a palette of the bitmap's depth, the rest as 8-bit RGB.
bool EncodePng(FILE* fp, const PageView& page, Resolution res, std::vector<uint8_t>& row, PngErrors& errors) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, PngError, PngWarning);
  if (!png) {
    std::snprintf(errors.text, sizeof errors.text, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, fp);
  int colorType = PNG_COLOR_TYPE_RGB, depth = 8;
  switch (page.Kind()) {
    case PageKind::Bilevel: colorType = PNG_COLOR_TYPE_GRAY; depth = 1; break;
    case PageKind::Gray: colorType = PNG_COLOR_TYPE_GRAY; break;
    case PageKind::Palette: colorType = PNG_COLOR_TYPE_PALETTE; depth = page.IndexBits(); break;
    case PageKind::Rgb: break;
  }
  png_set_IHDR(png, info, png_uint_32(page.Width()), png_uint_32(page.Height()), depth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (page.Kind() == PageKind::Palette) {
    png_color colors[256];
    const auto& pal = page.Palette();
    for (size_t i = 0; i < pal.size(); ++i)
      colors[i] = {vcl::GetRValue(pal[i]), vcl::GetGValue(pal[i]), vcl::GetBValue(pal[i])};
    png_set_PLTE(png, info, colors, int(pal.size()));
  }
  if (res.Known())
    png_set_pHYs(png, info, png_uint_32(std::lround(res.x / 0.0254)), png_uint_32(std::lround(res.y / 0.0254)),
                 PNG_RESOLUTION_METER);
  png_text text[1];
  text[0] = {};
  text[0].compression = PNG_TEXT_COMPRESSION_NONE;
  text[0].key = const_cast<char*>("Software");
  text[0].text = const_cast<char*>(WriterSoftwareName());
  png_set_text(png, info, text, 1);
  png_write_info(png, info);
  for (int y = 0; y < page.Height(); ++y) {
    switch (page.Kind()) {
      case PageKind::Bilevel: page.BilevelRow(y, row.data()); break;
      case PageKind::Gray: page.GrayRow(y, row.data()); break;
      case PageKind::Palette: page.IndexRow(y, row.data()); break;
      case PageKind::Rgb: page.RgbRow(y, row.data()); break;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

class PngEncoder : public DocumentEncoder {
 public:
  explicit PngEncoder(AtomicFile& file) : file_(file), stdio_(file) {}
  void AddPage(const vcl::TBitmap&, const PageView& page, Resolution res) override {
    std::vector<uint8_t> row(size_t(page.Width()) * 3 + 8);
    PngErrors errors;
    if (!EncodePng(stdio_.Get(), page, res, row, errors)) throw OutputError(WriteFailure(file_.Shown(), errors.text));
  }
  void Finish() override { stdio_.Close(); }

 private:
  AtomicFile& file_;
  StdioFile stdio_;
};

// ---- JPEG ---------------------------------------------------------------------------------------

struct JpegErrors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char text[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void JpegError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->text);
  std::longjmp(errors->jump, 1);
}
void JpegMessage(j_common_ptr) {}

// Grey and bilevel pages as one-component greyscale, the others as RGB (JPEG has no palette).
bool EncodeJpeg(FILE* fp, const PageView& page, Resolution res, std::vector<uint8_t>& row, JpegErrors& errors) {
  jpeg_compress_struct cinfo{};
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JpegError;
  errors.mgr.output_message = JpegMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, fp);
  bool grey = page.Kind() == PageKind::Bilevel || page.Kind() == PageKind::Gray;
  cinfo.image_width = JDIMENSION(page.Width());
  cinfo.image_height = JDIMENSION(page.Height());
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  if (res.Known()) {
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = 1;  // dots per inch
    cinfo.X_density = UINT16(std::clamp(std::lround(res.x), 1L, 65535L));
    cinfo.Y_density = UINT16(std::clamp(std::lround(res.y), 1L, 65535L));
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = int(cinfo.next_scanline);
    if (grey) page.GrayRow(y, row.data());
    else page.RgbRow(y, row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

class JpegEncoder : public DocumentEncoder {
 public:
  explicit JpegEncoder(AtomicFile& file) : file_(file), stdio_(file) {}
  void AddPage(const vcl::TBitmap&, const PageView& page, Resolution res) override {
    if (page.Width() > JPEG_MAX_DIMENSION || page.Height() > JPEG_MAX_DIMENSION)
      throw OutputError(WriteFailure(file_.Shown(), "a JPEG page is at most 65500 pixels wide and high"));
    std::vector<uint8_t> row(size_t(page.Width()) * 3);
    auto errors = std::make_unique<JpegErrors>();
    if (!EncodeJpeg(stdio_.Get(), page, res, row, *errors)) throw OutputError(WriteFailure(file_.Shown(), errors->text));
  }
  void Finish() override { stdio_.Close(); }

 private:
  AtomicFile& file_;
  StdioFile stdio_;
};

// ---- TIFF ---------------------------------------------------------------------------------------

// libtiff reports through process-wide handlers; the last error text is kept for the message.
thread_local std::string tiffError;

void TiffError(const char* module, const char* fmt, va_list ap) {
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  tiffError = module ? std::string(module) + ": " + buf : std::string(buf);
}
void TiffWarning(const char*, const char*, va_list) {}

// One directory per page: bilevel as CCITT Group 4 (white is zero, as fax readers expect), grey
// and RGB with Deflate and the horizontal predictor, indexed colour as a palette with Deflate.
class TiffEncoder : public DocumentEncoder {
 public:
  explicit TiffEncoder(AtomicFile& file) : file_(file) {
    static const bool installed = [] {
      TIFFSetErrorHandler(TiffError);
      TIFFSetWarningHandler(TiffWarning);
      return true;
    }();
    (void)installed;
    int fd = dup(file.Fd());
    if (fd < 0) throw OutputError(WriteFailure(file_.Shown(), std::strerror(errno)));
    tiffError.clear();
    tif_ = TIFFFdOpen(fd, file.Shown().c_str(), "w");
    if (!tif_) {
      close(fd);
      throw OutputError(WriteFailure(file_.Shown(), tiffError.empty() ? "libtiff cannot open it" : tiffError));
    }
  }
  ~TiffEncoder() override {
    if (tif_) TIFFClose(tif_);
  }

  void AddPage(const vcl::TBitmap&, const PageView& page, Resolution res) override {
    tiffError.clear();
    TIFF* t = tif_;
    uint32_t w = uint32_t(page.Width()), h = uint32_t(page.Height());
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_SOFTWARE, WriterSoftwareName());
    TIFFSetField(t, TIFFTAG_PAGENUMBER, uint16_t(pages_), uint16_t(0));  // the total is not known yet
    if (res.Known()) {
      TIFFSetField(t, TIFFTAG_XRESOLUTION, float(res.x));
      TIFFSetField(t, TIFFTAG_YRESOLUTION, float(res.y));
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    std::vector<uint16_t> map[3];
    switch (page.Kind()) {
      case PageKind::Bilevel:
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
        break;
      case PageKind::Gray:
      case PageKind::Rgb: {
        bool grey = page.Kind() == PageKind::Gray;
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, grey ? 1 : 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        break;
      }
      case PageKind::Palette: {
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.IndexBits());
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        const auto& pal = page.Palette();
        for (auto& m : map) m.resize(pal.size());
        for (size_t i = 0; i < pal.size(); ++i) {
          map[0][i] = uint16_t(vcl::GetRValue(pal[i]) * 257);
          map[1][i] = uint16_t(vcl::GetGValue(pal[i]) * 257);
          map[2][i] = uint16_t(vcl::GetBValue(pal[i]) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
        break;
      }
    }
    std::vector<uint8_t> row(size_t(w) * 3 + 8);
    for (uint32_t y = 0; y < h; ++y) {
      switch (page.Kind()) {
        case PageKind::Bilevel: {
          page.BilevelRow(int(y), row.data());
          for (size_t i = 0; i < (w + 7) / 8; ++i) row[i] = uint8_t(~row[i]);  // white is zero here
          break;
        }
        case PageKind::Gray: page.GrayRow(int(y), row.data()); break;
        case PageKind::Palette: page.IndexRow(int(y), row.data()); break;
        case PageKind::Rgb: page.RgbRow(int(y), row.data()); break;
      }
      if (TIFFWriteScanline(t, row.data(), y, 0) < 0) Fail();
    }
    if (!TIFFWriteDirectory(t)) Fail();
    ++pages_;
  }

  void Finish() override {
    tiffError.clear();
    // TIFFClose reports nothing; a flush first tells whether the last bytes reached the file.
    bool ok = TIFFFlush(tif_) == 1;
    TIFFClose(tif_);
    tif_ = nullptr;
    if (!ok) Fail();
  }

 private:
  [[noreturn]] void Fail() {
    std::string why = tiffError.empty() ? std::string(std::strerror(errno ? errno : EIO)) : tiffError;
    throw OutputError(WriteFailure(file_.Shown(), why));
  }

  AtomicFile& file_;
  TIFF* tif_ = nullptr;
  int pages_ = 0;
};

// ---- PDF ----------------------------------------------------------------------------------------

// A std::streambuf writing straight to the file's descriptor, keeping the first error.
class FdStreamBuf : public std::streambuf {
 public:
  explicit FdStreamBuf(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~FdStreamBuf() override { sync(); }
  int Error() const { return err_; }

 protected:
  int sync() override {
    size_t n = size_t(pptr() - pbase());
    if (n && !err_ && !WriteAll(fd_, pbase(), n, err_)) return -1;
    setp(buffer_, buffer_ + sizeof buffer_);
    return err_ ? -1 : 0;
  }
  // PoDoFo asks where it is (tellp) to note each object's offset; it may also seek.
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    if (sync() != 0) return pos_type(off_type(-1));
    off_t at = lseek(fd_, off_t(off), dir == std::ios_base::beg ? SEEK_SET : dir == std::ios_base::cur ? SEEK_CUR : SEEK_END);
    return at < 0 ? pos_type(off_type(-1)) : pos_type(off_type(at));
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }
  int_type overflow(int_type ch) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }

 private:
  int fd_;
  int err_ = 0;
  char buffer_[1 << 16];
};

// A page's rows as PoDoFo reads an image's data: produced row by row on demand, so no copy of the
// whole page is ever made; PoDoFo compresses them (Flate) straight into the file.
class RowInputStream : public PoDoFo::PdfInputStream {
 public:
  RowInputStream(const PageView& page) : page_(page) {
    switch (page.Kind()) {
      case PageKind::Bilevel: rowBytes_ = (size_t(page.Width()) + 7) / 8; break;
      case PageKind::Gray: rowBytes_ = size_t(page.Width()); break;
      case PageKind::Palette:
      case PageKind::Rgb: rowBytes_ = size_t(page.Width()) * 3; break;
    }
    row_.resize(rowBytes_);
  }
  PoDoFo::pdf_long Read(char* buffer, PoDoFo::pdf_long length, PoDoFo::pdf_long* left) override {
    PoDoFo::pdf_long done = 0;
    while (done < length) {
      if (used_ == filled_) {
        if (y_ >= page_.Height()) break;
        switch (page_.Kind()) {
          case PageKind::Bilevel: page_.BilevelRow(y_, row_.data()); break;  // 1 is white, as in DeviceGray
          case PageKind::Gray: page_.GrayRow(y_, row_.data()); break;
          case PageKind::Palette:
          case PageKind::Rgb: page_.RgbRow(y_, row_.data()); break;
        }
        ++y_;
        used_ = 0;
        filled_ = rowBytes_;
      }
      size_t n = std::min(size_t(length - done), filled_ - used_);
      std::memcpy(buffer + done, row_.data() + used_, n);
      used_ += n;
      done += PoDoFo::pdf_long(n);
    }
    if (left) *left = PoDoFo::pdf_long((filled_ - used_) + size_t(page_.Height() - y_) * rowBytes_);
    return done;
  }

 private:
  const PageView& page_;
  size_t rowBytes_ = 0, used_ = 0, filled_ = 0;
  int y_ = 0;
  std::vector<uint8_t> row_;
};

// One page per image, sized from the image's resolution (72 dpi when it has none). PoDoFo's streamed
// document writes each image to the file as its rows come: a bilevel page as a 1-bit DeviceGray
// image, a grey page as 8-bit DeviceGray, every other page as 8-bit DeviceRGB, each compressed with
// Flate. Only the page objects are kept until the end.
class PdfEncoder : public DocumentEncoder {
 public:
  explicit PdfEncoder(AtomicFile& file) : file_(file), buf_(file.Fd()), out_(&buf_) {
    static const bool quiet = [] {
      PoDoFo::PdfError::EnableLogging(false);
      PoDoFo::PdfError::EnableDebug(false);
      return true;
    }();
    (void)quiet;
    Guard([&] {
      device_ = std::make_unique<PoDoFo::PdfOutputDevice>(&out_);
      doc_ = std::make_unique<PoDoFo::PdfStreamedDocument>(device_.get(), PoDoFo::ePdfVersion_1_4);
      doc_->GetInfo()->SetCreator(PoDoFo::PdfString(WriterSoftwareName()));
      doc_->GetInfo()->SetProducer(PoDoFo::PdfString(WriterSoftwareName()));
    });
  }
  ~PdfEncoder() override {
    // An unfinished document is dropped with its temporary file; PoDoFo must not write more.
    try {
      doc_.reset();
      device_.reset();
    } catch (...) {
    }
  }

  void AddPage(const vcl::TBitmap&, const PageView& page, Resolution res) override {
    double dx = res.Known() ? res.x : 72, dy = res.Known() ? res.y : 72;
    double wpt = page.Width() * 72.0 / dx, hpt = page.Height() * 72.0 / dy;
    Guard([&] {
      // The image's stream is written (and closed) before the page's content stream is opened:
      // a streamed document has one open stream at a time.
      PoDoFo::PdfImage image(doc_.get());
      image.SetImageColorSpace(page.Kind() == PageKind::Bilevel || page.Kind() == PageKind::Gray
                                   ? PoDoFo::ePdfColorSpace_DeviceGray
                                   : PoDoFo::ePdfColorSpace_DeviceRGB);
      RowInputStream rows(page);
      image.SetImageData(unsigned(page.Width()), unsigned(page.Height()), page.Kind() == PageKind::Bilevel ? 1 : 8,
                         &rows);
      PoDoFo::PdfPage* pdfPage = doc_->CreatePage(PoDoFo::PdfRect(0, 0, wpt, hpt));
      PoDoFo::PdfPainter painter;
      painter.SetPage(pdfPage);
      painter.DrawImage(0, 0, &image, 72.0 / dx, 72.0 / dy);  // the image keeps every pixel; the page is in points
      painter.FinishPage();
    });
  }

  void Finish() override {
    Guard([&] { doc_->Close(); });
    out_.flush();
    if (!out_ && !buf_.Error()) throw OutputError(WriteFailure(file_.Shown(), "the PDF could not be written"));
    doc_.reset();
    device_.reset();
    if (buf_.Error()) throw OutputError(WriteFailure(file_.Shown(), std::strerror(buf_.Error())));
  }

 private:
  template <class F>
  void Guard(F&& f) {
    try {
      f();
    } catch (const PoDoFo::PdfError& e) {
      std::string why = buf_.Error() ? std::strerror(buf_.Error()) : PoDoFo::PdfError::ErrorMessage(e.GetError());
      if (why.empty()) why = PoDoFo::PdfError::ErrorName(e.GetError());
      throw OutputError(WriteFailure(file_.Shown(), why));
    }
  }

  AtomicFile& file_;
  FdStreamBuf buf_;
  std::ostream out_;
  std::unique_ptr<PoDoFo::PdfOutputDevice> device_;
  std::unique_ptr<PoDoFo::PdfStreamedDocument> doc_;
};

// ---- PNM ----------------------------------------------------------------------------------------

// Netpbm's binary formats, as scanimage writes them: a bilevel page as PBM (P4, 1 is black), a grey
// page as PGM (P5), every other page as PPM (P6). The format has no field for the resolution; a
// comment line carries it.
class PnmEncoder : public DocumentEncoder {
 public:
  explicit PnmEncoder(AtomicFile& file) : file_(file), stdio_(file) {}
  void AddPage(const vcl::TBitmap&, const PageView& page, Resolution res) override {
    const char* magic = "P6";
    size_t rowBytes = size_t(page.Width()) * 3;
    switch (page.Kind()) {
      case PageKind::Bilevel: magic = "P4"; rowBytes = (size_t(page.Width()) + 7) / 8; break;
      case PageKind::Gray: magic = "P5"; rowBytes = size_t(page.Width()); break;
      case PageKind::Palette:
      case PageKind::Rgb: break;
    }
    FILE* fp = stdio_.Get();
    std::fprintf(fp, "%s\n# %s", magic, WriterSoftwareName());
    if (res.Known()) std::fprintf(fp, ", %g x %g dpi", res.x, res.y);
    std::fprintf(fp, "\n%d %d\n", page.Width(), page.Height());
    if (page.Kind() != PageKind::Bilevel) std::fprintf(fp, "255\n");
    std::vector<uint8_t> row(size_t(page.Width()) * 3 + 8);
    for (int y = 0; y < page.Height(); ++y) {
      switch (page.Kind()) {
        case PageKind::Bilevel:
          page.BilevelRow(y, row.data());
          for (size_t i = 0; i < rowBytes; ++i) row[i] = uint8_t(~row[i]);  // PBM: 1 is black
          if (page.Width() % 8) row[rowBytes - 1] &= uint8_t(0xFF << (8 - page.Width() % 8));
          break;
        case PageKind::Gray: page.GrayRow(y, row.data()); break;
        case PageKind::Palette:
        case PageKind::Rgb: page.RgbRow(y, row.data()); break;
      }
      if (std::fwrite(row.data(), 1, rowBytes, fp) != rowBytes)
        throw OutputError(WriteFailure(file_.Shown(), std::strerror(errno ? errno : EIO)));
    }
  }
  void Finish() override { stdio_.Close(); }

 private:
  AtomicFile& file_;
  StdioFile stdio_;
};

}  // namespace

std::unique_ptr<DocumentEncoder> MakeEncoder(ImageFormat format, AtomicFile& file) {
  switch (format) {
    case ImageFormat::Bmp: return std::make_unique<BmpEncoder>(file);
    case ImageFormat::Png: return std::make_unique<PngEncoder>(file);
    case ImageFormat::Jpeg: return std::make_unique<JpegEncoder>(file);
    case ImageFormat::Tiff: return std::make_unique<TiffEncoder>(file);
    case ImageFormat::Pdf: return std::make_unique<PdfEncoder>(file);
    case ImageFormat::Pnm: return std::make_unique<PnmEncoder>(file);
  }
  throw OutputError("unknown format");
}

}  // namespace korven::scan
