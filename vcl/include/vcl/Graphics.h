// Graphics of the framework subset: colours, rectangles, brushes and fonts, device-independent
// bitmaps (TBitmap, read from and written to BMP files), the canvas that draws into them, and TPicture.
//
// Nothing here is shown on a screen: a canvas draws into a bitmap's pixels, or (for a form) only
// measures text. Text metrics are deterministic (see TCanvas::TextExtent) so that layouts computed
// from them are the same on every machine.
#ifndef VCL_GRAPHICS_H
#define VCL_GRAPHICS_H

#include <vcl/Classes.h>
#include <vcl/SysUtils.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vcl {

namespace detail {
struct PixelStore;
}
template <class C>
class TPropertyBuilder;

// ---- Colours ------------------------------------------------------------------------------------

// 0x00BBGGRR: red in the low byte. clNone and clDefault are markers, not colours.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
// System colours have fixed values here (there is no theme): the classic Windows 2000 scheme.
constexpr TColor clBtnFace = 0xC8D0D4;
constexpr TColor clWindow = clWhite;
constexpr TColor clWindowText = clBlack;
constexpr TColor clBtnText = clBlack;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The colour as 0x00BBGGRR (clNone and clDefault give black).
inline uint32_t ColorToRGB(TColor c) { return (c == clNone || c == clDefault) ? 0u : static_cast<uint32_t>(c) & 0xFFFFFFu; }
inline TColor RGBToColor(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (b << 16); }
inline uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
inline uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
inline uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }

// ---- Geometry -----------------------------------------------------------------------------------

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom are exclusive edges, as in Win32.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TPoint TopLeft() const { return {Left, Top}; }
  TPoint BottomRight() const { return {Right, Bottom}; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TPoint Point(int32_t x, int32_t y) { return {x, y}; }
inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return {left, top, right, bottom}; }
inline TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return {left, top, left + width, top + height};
}
// The overlap of two rectangles; an empty rectangle (all 0) when they do not overlap.
TRect IntersectRect(const TRect& a, const TRect& b);

// ---- Graphics objects ---------------------------------------------------------------------------

// A brush, pen or font: a persistent value that tells its owner when it changes.
class TGraphicsObject : public TPersistent {
  VCL_CLASS(TGraphicsObject, TPersistent)
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

// Fill styles. The hatched styles draw 1-pixel lines every 8 pixels in the brush colour and leave
// the pixels between them alone; bsClear fills nothing.
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
VCL_ENUM_INFO(TBrushStyle, bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross)

// How a canvas fills areas: a colour and a fill style.
class TBrush : public TGraphicsObject {
  VCL_CLASS(TBrush, TGraphicsObject)
 public:
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  TBrushStyle GetStyle() const { return style_; }
  void SetStyle(TBrushStyle value);
  // Published: Color (default clWhite), Style (default bsSolid).
  static void DeclareProperties(TPropertyBuilder<TBrush>& p);
  // Copies colour and style from another TBrush; anything else raises the "Cannot assign" error.
  void Assign(TPersistent* Source) override;

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
VCL_ENUM_INFO(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)
using TFontStyles = Set<TFontStyle>;

enum TFontPitch { fpDefault, fpVariable, fpFixed };
VCL_ENUM_INFO(TFontPitch, fpDefault, fpVariable, fpFixed)

// Character sets a font is asked for (Charset); form files name them (SHIFTJIS_CHARSET = 128).
using TFontCharset = int32_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;
constexpr TFontCharset OEM_CHARSET = 255;

// A font as far as text measuring and pictures need it. Height is the character height in pixels,
// negative as Windows gives it (what form files store); Size is in points at 96 pixels per inch
// (-Height * 72 / 96, rounded; setting it sets Height = -Size * 96 / 72). The default is 8-point
// "MS Sans Serif" (Height -11) with DEFAULT_CHARSET.
class TFont : public TGraphicsObject {
  VCL_CLASS(TFont, TGraphicsObject)
 public:
  const std::string& GetName() const { return name_; }
  void SetName(const std::string& value);
  int GetSize() const;
  void SetSize(int value);
  int GetHeight() const { return height_; }
  void SetHeight(int value);
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  TFontStyles GetStyle() const { return style_; }
  void SetStyle(TFontStyles value);
  TFontCharset GetCharset() const { return charset_; }
  void SetCharset(TFontCharset value);
  TFontPitch GetPitch() const { return pitch_; }
  void SetPitch(TFontPitch value);
  // Published: Charset (always written), Color, Height, Name, Pitch (fpDefault), Size (not written),
  // Style.
  static void DeclareProperties(TPropertyBuilder<TFont>& p);
  void Assign(TPersistent* Source) override;

 private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
};

class TCanvas;
class TBitmap;

// ---- Graphics -----------------------------------------------------------------------------------

// An image that can load and save itself and draw itself on a canvas.
class TGraphic : public TPersistent {
  VCL_CLASS(TGraphic, TPersistent)
 public:
  virtual bool GetEmpty() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual void SetWidth(int value) = 0;
  virtual void SetHeight(int value) = 0;
  // Reads the image from the stream's position to its end; raises EInvalidGraphic for bad data.
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  // TFileStream around LoadFromStream/SaveToStream (EFOpenError/EFCreateError for file problems).
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  bool GetModified() const { return modified_; }
  void SetModified(bool value);
  TNotifyEvent OnChange;

  // Draws the image into rect of the canvas's surface, resampled to the rectangle's size.
  virtual void Draw(TCanvas* ACanvas, const TRect& rect) = 0;

 protected:
  void Changed();
  // Form files keep a non-empty graphic as the binary property "Data" (ReadData/WriteData).
  void DefineProperties(TFiler* filer) override;
  virtual void ReadData(TStream* Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream* Stream) { SaveToStream(Stream); }
  friend class TPicture;

 private:
  bool modified_ = false;
};

// ---- Canvas -------------------------------------------------------------------------------------

// A drawing surface. A bitmap's canvas draws into the bitmap's pixels; a canvas without a surface
// (a form's) measures text and ignores drawing.
//
// Text metrics, deterministic by design: with em = |Font.Height| pixels (11 for 8 points),
// TextHeight = (6 * em + 2) / 5 (13 for 8 points), and TextWidth is the sum of the
// character advances, in pixels rounded once at the end: em * 3/10 for narrow characters
// (i j l I ! | . , : ; ' f t r and space), em * 8/10 for wide ones (m w M W @ %), em * 13/20 for other
// capitals, em * 11/20 for digits and em / 2 for everything else; a multi-byte character counts as
// one character of width em. Bold adds one pixel per character.
class TCanvas : public TPersistent {
  VCL_CLASS(TCanvas, TPersistent)
 public:
  TCanvas();
  ~TCanvas() override;

  TBrush* GetBrush() const { return brush_.get(); }
  void SetBrush(TBrush* value) { brush_->Assign(value); }
  TFont* GetFont() const { return font_.get(); }
  void SetFont(TFont* value) { font_->Assign(value); }

  // The pixel's colour; clNone outside the surface (or without one). Setting outside does nothing.
  TColor GetPixels(int x, int y);
  void SetPixels(int x, int y, TColor color);

  // Fills the rectangle (clipped to the surface) with the brush; bsClear fills nothing.
  void FillRect(const TRect& rect);
  // Copies the graphic with its top-left corner at (x, y), unscaled.
  void Draw(int x, int y, TGraphic* graphic);
  // Draws the graphic scaled into rect (clipped to the surface). Shrinking averages the covered
  // source area of each destination pixel (box filter with fractional edges), enlarging
  // interpolates bilinearly between pixel centres; each axis is treated on its own. An empty or
  // inverted rectangle or an empty graphic draws nothing.
  void StretchDraw(const TRect& rect, TGraphic* graphic);

  TSize TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  // Fills the text's extent at (x, y) with the brush (no glyphs are rasterised) and moves PenPos to
  // its right edge.
  void TextOut(int x, int y, const std::string& text);

  TPoint GetPenPos() const { return penPos_; }
  void SetPenPos(TPoint value) { penPos_ = value; }
  // The surface's bounds, (0, 0, 0, 0) without a surface.
  TRect GetClipRect();

  TNotifyEvent OnChange;

  // The pixels this canvas draws into; nullptr when it has none. Internal to the framework.
  virtual detail::PixelStore* Surface() { return nullptr; }

 protected:
  // The surface is about to change / has changed.
  virtual void Changing() {}
  virtual void Changed();

 private:
  std::unique_ptr<TBrush> brush_;
  std::unique_ptr<TFont> font_;
  TPoint penPos_;
};

// ---- Bitmaps ------------------------------------------------------------------------------------

// pfDevice: a bitmap nobody chose a format for; it is kept as 24-bit and written as such.
// pf15bit is 5-5-5 and pf16bit 5-6-5 (16 bits per pixel each); pf32bit is B, G, R and an unused byte.
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
VCL_ENUM_INFO(TPixelFormat, pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom)

// A device-independent bitmap. Rows are stored as a bottom-up DIB stores them, so loading a BMP or
// a DIB moves whole blocks; ScanLine(y) gives row y (0 = top) in the bitmap's own format.
//
// LoadFromStream reads every valid BMP file: 12-, 40-, 52-, 56-, 108- and 124-byte headers; 1, 4, 8,
// 16, 24 and 32 bits; uncompressed, RLE8, RLE4 and bit fields; bottom-up and top-down; short
// colour tables (missing entries are black); biSizeImage 0; the file's pixel offset is honoured.
// 16-bit files become pf15bit or pf16bit, 32-bit files pf32bit; bit field masks other than
// 5-5-5, 5-6-5 and 8-8-8 are converted to pf32bit. Malformed data raises EInvalidGraphic naming the
// fault: a fault in the headers leaves the bitmap as it was, a fault in the pixel data leaves it
// empty. Nothing is allocated before the data for it is known to be there (compressed files are
// limited to 256 MiB of pixels).
class TBitmap : public TGraphic {
  VCL_CLASS(TBitmap, TGraphic)
 public:
  TBitmap();
  ~TBitmap() override;

  bool GetEmpty() const override;
  int GetWidth() const override;
  int GetHeight() const override;
  void SetWidth(int value) override;
  void SetHeight(int value) override;
  // Resizes, keeping the overlapping pixels; new pixels are 0 (black, or palette entry 0).
  void SetSize(int width, int height);

  TPixelFormat GetPixelFormat() const { return format_; }
  // Converts the pixels to the format (indexed formats map each colour to its nearest palette entry,
  // with a default palette when the bitmap has none of that size). pfCustom is refused.
  void SetPixelFormat(TPixelFormat value);

  // The colour table of an indexed bitmap (2, 16 or 256 entries); empty for the others.
  std::vector<TColor> GetPalette() const;
  // Replaces the colour table; a shorter table is padded with black, a longer one cut. Pixels keep
  // their indices. Does nothing for a direct-colour bitmap.
  void SetPalette(const std::vector<TColor>& colors);

  // Resolution in pixels per metre (0 when unknown); kept through load and save.
  int GetXPelsPerMeter() const;
  int GetYPelsPerMeter() const;
  void SetPelsPerMeter(int x, int y);

  // Row y (0 = top) in the bitmap's format. Raises EInvalidGraphicOperation ("Scan line index out of
  // range") for a row outside the bitmap.
  void* ScanLine(int y);
  const void* ScanLine(int y) const;
  // Bytes from one row to the next in memory (rows are 4-byte aligned).
  size_t BytesPerScanLine() const;

  // The canvas drawing into this bitmap (created on first use, owned by the bitmap).
  TCanvas* GetCanvas();

  // Deep copy from a TBitmap; empties for nullptr; other sources get their AssignTo (a TPicture
  // hands over its graphic).
  void Assign(TPersistent* Source) override;
  void LoadFromStream(TStream* Stream) override;
  // Writes a BMP file with a 40-byte header (bit fields for pf16bit) and the full colour table of
  // an indexed bitmap; an empty bitmap writes nothing.
  void SaveToStream(TStream* Stream) override;
  void Draw(TCanvas* ACanvas, const TRect& rect) override;

  // Internal to the framework: the pixel store.
  detail::PixelStore& Store() { return *store_; }
  const detail::PixelStore& Store() const { return *store_; }
  // Marks the pixels changed (Modified, OnChange).
  void PixelsChanged() { Changed(); }

 protected:
  // In form files: a 32-bit byte count, then the BMP file.
  void ReadData(TStream* Stream) override;
  void WriteData(TStream* Stream) override;

 private:
  // Reads a BMP file of at most `limit` bytes from the stream's position.
  void ReadBmp(TStream* Stream, uint64_t limit);
  std::unique_ptr<detail::PixelStore> store_;
  TPixelFormat format_ = pfDevice;
  std::unique_ptr<TCanvas> canvas_;
};

// ---- Pictures -----------------------------------------------------------------------------------

// Holds one graphic (or none) and owns it.
class TPicture : public TPersistent {
  VCL_CLASS(TPicture, TPersistent)
 public:
  TPicture();
  ~TPicture() override;

  TGraphic* GetGraphic() const { return graphic_.get(); }
  // Stores a copy of the graphic (nullptr clears the picture).
  void SetGraphic(TGraphic* value);
  // The graphic as a bitmap; replaces a graphic of another kind (or none) by an empty TBitmap.
  TBitmap* GetBitmap();
  void SetBitmap(TBitmap* value) { SetGraphic(value); }
  int GetWidth() const;
  int GetHeight() const;

  // Only ".bmp" files (any case); another extension raises EInvalidGraphic "Unknown picture file
  // extension (.xyz)".
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  // From a TPicture, a TGraphic (copied) or nullptr (cleared).
  void Assign(TPersistent* Source) override;
  TNotifyEvent OnChange;

 protected:
  void AssignTo(TPersistent* Dest) override;
  // Form files keep the graphic as the binary property "Data": its class name as a short string,
  // then the graphic's own data. An unknown class name raises EInvalidGraphic.
  void DefineProperties(TFiler* filer) override;

 private:
  void Changed();
  void Hook();
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace vcl

#endif
