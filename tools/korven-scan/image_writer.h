// korven-scan's output side: scanned pages (vcl::TBitmap) into PNM, BMP, PNG, JPEG, TIFF and PDF
// files, or to standard output.
//
// Every file appears complete or not at all: it is written into a temporary file in the target's
// folder, flushed to disk and then renamed over the target. The pixel type of a page is kept where
// the format can hold it (see PageKind); the resolution is recorded in every file.
#ifndef KORVEN_SCAN_IMAGE_WRITER_H
#define KORVEN_SCAN_IMAGE_WRITER_H

#include <vcl/Graphics.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korven::scan {

// ---- Formats and names --------------------------------------------------------------------------

enum class ImageFormat { Bmp, Png, Jpeg, Tiff, Pdf, Pnm };

// The format a file name asks for by its extension (any case): .pnm/.pgm/.ppm/.pbm, .bmp, .png,
// .jpg/.jpeg, .tif/.tiff, .pdf. Nothing for any other extension or none.
std::optional<ImageFormat> FormatForPath(const std::string& path);
// "BMP", "PNG", "JPEG", "TIFF", "PDF", "PNM".
const char* FormatName(ImageFormat format);
// TIFF and PDF keep several pages in one file; the others one page per file.
bool HoldsManyPages(ImageFormat format);

// A page-number pattern in a file name: one "%d" or "%0Nd" (N from 1 to 9); "%%" is a literal '%'.
// Returns an empty string for a valid name (with or without a number), else the reason.
std::string CheckNamePattern(const std::string& name);
// True when the name holds the page-number conversion.
bool HasPageNumber(const std::string& name);
// The name with the page number in place of the conversion and '%' for "%%".
std::string PageFileName(const std::string& pattern, int page);

// ---- Pages --------------------------------------------------------------------------------------

// Resolution in dots per inch; 0 on an axis means unknown.
struct Resolution {
  double x = 0;
  double y = 0;
  bool Known() const { return x > 0 && y > 0; }
};

// The resolution the bitmap carries (pels per metre), in dpi. A DIB stores 300 dpi as 11811 pels
// per metre (150 dpi as 5906, 0.0124 off), so a value within 0.02 of a whole number is taken as it.
Resolution ResolutionOf(const vcl::TBitmap& bitmap);

// How a page's pixels are written.
//  Bilevel: a 1-bit bitmap whose two colours are black and white (in either order).
//  Gray:    an indexed bitmap whose colours are all greys (the grey value of each index is written).
//  Palette: any other indexed bitmap (1, 4 or 8 bits).
//  Rgb:     every direct-colour bitmap (15, 16, 24, 32 bits).
enum class PageKind { Bilevel, Gray, Palette, Rgb };

// Told of the rows an encoder has taken from the page so far (row of rows).
using RowProgress = std::function<void(int row, int rows)>;

// What a writer needs to know of one page, and its rows in normalised forms.
class PageView {
 public:
  // Raises OutputError for an empty bitmap or pfCustom. The bitmap must outlive the view.
  explicit PageView(const vcl::TBitmap& bitmap);

  PageKind Kind() const { return kind_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bits per index of a Palette page (1, 4 or 8).
  int IndexBits() const { return indexBits_; }
  // The colour table of a Palette page (2, 16 or 256 entries).
  const std::vector<vcl::TColor>& Palette() const { return palette_; }

  // Calls progress (may be empty) as rows are taken; the function must outlive the view.
  void SetProgress(const RowProgress* progress) { progress_ = progress; }

  // Row y (0 = top) of a Bilevel page: 1 bit per pixel, first pixel in the high bit, 1 = white;
  // (Width + 7) / 8 bytes, the bits past the last pixel 0.
  void BilevelRow(int y, uint8_t* out) const;
  // Row y as 8-bit grey (any kind but Palette and Rgb; Bilevel gives 0 and 255).
  void GrayRow(int y, uint8_t* out) const;
  // Row y of a Palette page: packed indices as the bitmap holds them, (Width * IndexBits + 7) / 8 bytes.
  void IndexRow(int y, uint8_t* out) const;
  // Row y as R, G, B bytes (any kind).
  void RgbRow(int y, uint8_t* out) const;

 private:
  void Taken(int y) const {
    if (progress_ && *progress_) (*progress_)(y + 1, height_);
  }

  const vcl::TBitmap* bitmap_;
  const RowProgress* progress_ = nullptr;
  vcl::TPixelFormat directFormat_ = vcl::pf24bit;  // of an Rgb page
  PageKind kind_ = PageKind::Rgb;
  int width_ = 0, height_ = 0, indexBits_ = 0;
  bool whiteIsZero_ = false;
  std::vector<vcl::TColor> palette_;
  uint8_t grey_[256] = {};
};

// ---- Writing ------------------------------------------------------------------------------------

// A file could not be written; the message names the file and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file under construction: an unnamed file in the target's folder (O_TMPFILE), which no crash can
// leave behind and which gets a name only when Commit links it in; where the file system cannot make
// one, a temporary file beside the target (".<name>.XXXXXX"), which the signal handler and the
// destructor remove. A target that is a symbolic link stands for the file it points to; an existing
// file's mode (and owner, where the process may set it) is kept, a new file gets the mode the umask
// leaves. Commit flushes it to disk and puts it in place whole (a new target is linked in directly,
// an existing one replaced by rename); the destructor removes it unless it was committed. An empty
// target is standard output: the file is built unlinked in $TMPDIR (/tmp) and Commit copies it out.
class AtomicFile {
 public:
  explicit AtomicFile(std::string target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  int Fd() const { return fd_; }
  const std::string& Target() const { return target_; }
  // The target as messages name it ("standard output" for the empty target).
  std::string Shown() const;
  // The temporary file's name; empty while the file has none (unnamed, or standard output).
  const std::string& TempPath() const { return temp_; }
  // Whether the file is being built without a name (O_TMPFILE).
  bool Unnamed() const { return unnamed_; }
  // For tests: make later AtomicFiles use a named temporary file, as where O_TMPFILE is unsupported.
  static void UseNamedTemporaries(bool named);
  // fsync, close, rename into place, fsync of the folder. Raises OutputError (the temporary file is
  // then removed by the destructor).
  void Commit();

 private:
  std::string target_, temp_;
  std::string path_;  // the target with symbolic links followed
  int fd_ = -1;
  int slot_ = -1;  // in the table the signal handler cleans up
  bool committed_ = false;
  bool unnamed_ = false;
  void OpenNamedTemporary(const std::string& folder, const std::string& base);
  void LinkUnnamed();
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of the AtomicFiles alive at that
// moment before the process ends by the signal, so an interrupted scan leaves nothing behind either.
void RemoveTemporaryFilesOnSignals();

// One encoder writing pages into one open file.
class DocumentEncoder {
 public:
  virtual ~DocumentEncoder() = default;
  virtual void AddPage(const vcl::TBitmap& bitmap, const PageView& page, Resolution res) = 0;
  // Writes what is still buffered; the file may then be committed.
  virtual void Finish() = 0;
};
// An encoder of the format writing to file's descriptor (which stays the file's).
std::unique_ptr<DocumentEncoder> MakeEncoder(ImageFormat format, AtomicFile& file);

// Writes a scan's pages: all into one file (TIFF, PDF), or one file per page when the name holds a
// page number (PageFileName, counted from 1), or a single page into a one-page format.
// Nothing is visible under the target names before it is complete.
class PageWriter {
 public:
  // The name must pass CheckNamePattern; format is the one to write (normally FormatForPath(name)).
  // An empty name is standard output (one page, or a TIFF or PDF of several).
  PageWriter(std::string name, ImageFormat format);
  ~PageWriter();

  // With one file per page: the first page's number and the step between numbers (1 and 1).
  void SetNumbering(int start, int increment) {
    start_ = start;
    increment_ = increment;
  }
  // The file name the next page goes to.
  std::string NextFileName() const;
  // Told of every row the encoders take (for a progress meter).
  void SetProgress(RowProgress progress) { progress_ = std::move(progress); }

  // Encodes one page at res (unknown: the bitmap's own resolution; still unknown: written without
  // one, and a PDF page then takes 72 dpi). With one file per page that file is in place when this
  // returns. Raises OutputError; a one-page format without a page number refuses a second page.
  void AddPage(const vcl::TBitmap& bitmap, Resolution res = {});
  // False when the next AddPage would be refused (a one-page file that has its page).
  bool AcceptsMorePages() const;
  // Completes the multi-page file and puts it in place. Raises OutputError.
  void Commit();
  // Drops the file under construction (pages already put in place as their own files stay).
  void Discard();

  int Pages() const { return pages_; }
  // The files put in place so far.
  const std::vector<std::string>& Files() const { return files_; }

 private:
  std::string name_;
  ImageFormat format_;
  bool perPage_;
  int pages_ = 0;
  int start_ = 1, increment_ = 1;
  RowProgress progress_;
  std::vector<std::string> files_;
  std::unique_ptr<AtomicFile> file_;
  std::unique_ptr<DocumentEncoder> encoder_;
};

// The program's version text, also written into the files' creator fields.
const char* WriterSoftwareName();

}  // namespace korven::scan

#endif
