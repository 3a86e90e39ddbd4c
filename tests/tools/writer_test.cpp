// korven-scan's writers: every page kind into every format, read back with the library that reads
// that format (libpng, libjpeg, libtiff, the framework's BMP reader, poppler's pdfinfo/pdfimages),
// checking geometry, resolution, pixel type, pixels and page count; and that files appear whole
// or not at all.
#include "image_writer.h"
#include "tools_support.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <tiffio.h>

#include <csetjmp>
#include <filesystem>
#include <csignal>
#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

using namespace korven::scan;
using namespace korven::tools_test;

namespace {

constexpr int k300 = 11811;  // 300 dpi in pels per metre

struct Rgb {
  int r = 0, g = 0, b = 0;
};
Rgb Split(vcl::TColor c) { return {vcl::GetRValue(c), vcl::GetGValue(c), vcl::GetBValue(c)}; }

// ---- Readers ------------------------------------------------------------------------------------

struct Decoded {
  int width = 0, height = 0;
  int bits = 0;                // bits per sample (PNG: IHDR depth)
  int samples = 0;             // components
  std::string kind;            // "gray", "rgb", "palette"
  double dpiX = 0, dpiY = 0;
  std::vector<Rgb> pixels;     // top-down
};

bool ReadPngHeader(const std::string& path, Decoded& d) {
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(fp);
    return false;
  }
  png_init_io(png, fp);
  png_read_info(png, info);
  d.width = int(png_get_image_width(png, info));
  d.height = int(png_get_image_height(png, info));
  d.bits = png_get_bit_depth(png, info);
  int ct = png_get_color_type(png, info);
  d.kind = ct == PNG_COLOR_TYPE_GRAY ? "gray" : ct == PNG_COLOR_TYPE_PALETTE ? "palette" : ct == PNG_COLOR_TYPE_RGB ? "rgb" : "other";
  png_uint_32 rx = 0, ry = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER) {
    d.dpiX = rx * 0.0254;
    d.dpiY = ry * 0.0254;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(fp);
  return true;
}

Decoded ReadPng(const std::string& path) {
  Decoded d;
  EXPECT_TRUE(ReadPngHeader(path, d)) << path;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << image.message;
    return d;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, buf.data(), 0, nullptr)) << image.message;
  for (size_t i = 0; i + 2 < buf.size(); i += 3) d.pixels.push_back({buf[i], buf[i + 1], buf[i + 2]});
  return d;
}

struct JpegJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};
void JpegFail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegJump*>(c->err)->jump, 1); }

Decoded ReadJpeg(const std::string& path) {
  Decoded d;
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) {
    ADD_FAILURE() << "no " << path;
    return d;
  }
  jpeg_decompress_struct c{};
  JpegJump err;
  c.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegFail;
  std::vector<uint8_t> row;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&c);
    fclose(fp);
    ADD_FAILURE() << "libjpeg cannot read " << path;
    return d;
  }
  jpeg_create_decompress(&c);
  jpeg_stdio_src(&c, fp);
  jpeg_read_header(&c, TRUE);
  d.samples = c.num_components;
  d.kind = c.jpeg_color_space == JCS_GRAYSCALE ? "gray" : "rgb";
  d.bits = 8;
  if (c.density_unit == 1) {
    d.dpiX = c.X_density;
    d.dpiY = c.Y_density;
  }
  c.out_color_space = JCS_RGB;
  jpeg_start_decompress(&c);
  d.width = int(c.output_width);
  d.height = int(c.output_height);
  row.resize(size_t(d.width) * 3);
  while (c.output_scanline < c.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&c, &r, 1);
    for (int x = 0; x < d.width; ++x) d.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  fclose(fp);
  return d;
}

struct TiffPage : Decoded {
  int compression = 0, photometric = 0, unit = 0;
};

std::vector<TiffPage> ReadTiff(const std::string& path) {
  std::vector<TiffPage> pages;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) {
    ADD_FAILURE() << "libtiff cannot open " << path;
    return pages;
  }
  do {
    TiffPage p;
    uint32_t w = 0, h = 0;
    uint16_t bps = 0, spp = 0, comp = 0, photo = 0, unit = 0;
    float xr = 0, yr = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(t, TIFFTAG_COMPRESSION, &comp);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photo);
    if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &xr) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &yr)) {
      p.dpiX = xr;
      p.dpiY = yr;
    }
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    p.width = int(w);
    p.height = int(h);
    p.bits = bps;
    p.samples = spp;
    p.compression = comp;
    p.photometric = photo;
    p.unit = unit;
    p.kind = photo == PHOTOMETRIC_PALETTE ? "palette" : photo == PHOTOMETRIC_RGB ? "rgb" : "gray";
    std::vector<uint32_t> raster(size_t(w) * h);
    EXPECT_EQ(TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 0), 1);
    for (uint32_t px : raster) p.pixels.push_back({int(TIFFGetR(px)), int(TIFFGetG(px)), int(TIFFGetB(px))});
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(t));
  TIFFClose(t);
  return pages;
}

// One row of pdfimages -list.
struct PdfImage {
  int page = 0, width = 0, height = 0, bpc = 0;
  std::string color;
  double ppiX = 0, ppiY = 0;
};
std::vector<PdfImage> PdfImages(const std::string& path) {
  std::vector<PdfImage> images;
  std::istringstream in(Shell("pdfimages -list '" + path + "' 2>&1"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    PdfImage im;
    std::string num, type, comp, enc, interp, object, id;
    if (!(f >> im.page)) continue;
    f >> num >> type >> im.width >> im.height >> im.color >> comp >> im.bpc >> enc >> interp >> object >> id >> im.ppiX >> im.ppiY;
    images.push_back(im);
  }
  return images;
}
// Page sizes in points from pdfinfo, and the page count.
std::vector<std::pair<double, double>> PdfPageSizes(const std::string& path, int& pages) {
  std::string info = Shell("pdfinfo -f 1 -l 999 '" + path + "' 2>&1");
  std::smatch m;
  pages = std::regex_search(info, m, std::regex(R"(Pages:\s+(\d+))")) ? std::stoi(m[1]) : 0;
  std::vector<std::pair<double, double>> sizes;
  std::regex re(R"(Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts)");
  for (auto it = std::sregex_iterator(info.begin(), info.end(), re); it != std::sregex_iterator(); ++it)
    sizes.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
  return sizes;
}

// ---- Pages under test ---------------------------------------------------------------------------

struct PageCase {
  const char* name;
  vcl::TPixelFormat format;
  std::vector<vcl::TColor> palette;
  const char* expectPng;  // colour type and depth, e.g. "gray1"
  const char* expectTiff;
  const char* expectJpeg;
};

std::vector<PageCase> PageCases() {
  return {
      {"bilevel", vcl::pf1bit, BlackWhite(), "gray1", "gray1", "gray"},
      {"bilevel-inverted", vcl::pf1bit, WhiteBlack(), "gray1", "gray1", "gray"},
      {"gray8", vcl::pf8bit, GreyRamp(256), "gray8", "gray8", "gray"},
      {"gray4", vcl::pf4bit, GreyRamp(16), "gray8", "gray8", "gray"},
      {"gray-short-table", vcl::pf8bit, GreyRamp(16), "gray8", "gray8", "gray"},
      {"palette8", vcl::pf8bit, Colours(256), "palette8", "palette8", "rgb"},
      {"palette4", vcl::pf4bit, Colours(16), "palette4", "palette4", "rgb"},
      {"palette1", vcl::pf1bit, Colours(2), "palette1", "palette1", "rgb"},
      {"rgb24", vcl::pf24bit, {}, "rgb8", "rgb8", "rgb"},
      {"rgb16", vcl::pf16bit, {}, "rgb8", "rgb8", "rgb"},
  };
}

// Odd sizes, so that row padding and the last partial byte of packed rows are exercised.
constexpr int kW = 37, kH = 23;

void ExpectSamePixels(vcl::TBitmap& bmp, const std::vector<Rgb>& pixels, int tolerance, const std::string& what) {
  ASSERT_EQ(pixels.size(), size_t(kW) * kH) << what;
  long worst = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Rgb want = Split(PixelOf(bmp, x, y));
      const Rgb& got = pixels[size_t(y) * kW + x];
      worst = std::max<long>({worst, std::abs(want.r - got.r), std::abs(want.g - got.g), std::abs(want.b - got.b)});
      if (tolerance == 0 && worst > 0) {
        ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") differs";
        return;
      }
    }
  EXPECT_LE(worst, tolerance) << what;
}

class WriterByPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(WriterByPage, PngKeepsPixelTypeResolutionAndPixels) {
  const PageCase& c = GetParam();
  ScratchDir dir;
  auto bmp = MakePage(c.format, kW, kH, c.palette, k300, k300 * 2);
  PageWriter w(dir.File("p.png"), ImageFormat::Png);
  w.AddPage(*bmp);
  w.Commit();
  Decoded d = ReadPng(dir.File("p.png"));
  EXPECT_EQ(d.width, kW);
  EXPECT_EQ(d.height, kH);
  EXPECT_EQ(d.kind + std::to_string(d.bits), c.expectPng);
  EXPECT_NEAR(d.dpiX, 300, 0.01);
  EXPECT_NEAR(d.dpiY, 600, 0.01);
  ExpectSamePixels(*bmp, d.pixels, 0, "png");
}

TEST_P(WriterByPage, TiffKeepsPixelTypeResolutionAndPixels) {
  const PageCase& c = GetParam();
  ScratchDir dir;
  auto bmp = MakePage(c.format, kW, kH, c.palette, k300, k300);
  PageWriter w(dir.File("p.tif"), ImageFormat::Tiff);
  w.AddPage(*bmp);
  w.Commit();
  auto pages = ReadTiff(dir.File("p.tif"));
  ASSERT_EQ(pages.size(), 1u);
  const TiffPage& p = pages[0];
  EXPECT_EQ(p.width, kW);
  EXPECT_EQ(p.height, kH);
  EXPECT_EQ(p.kind + std::to_string(p.bits), c.expectTiff);
  if (p.bits == 1 && p.kind == "gray") {
    EXPECT_EQ(p.compression, COMPRESSION_CCITTFAX4);
  }
  EXPECT_FLOAT_EQ(float(p.dpiX), 300.0f);
  EXPECT_FLOAT_EQ(float(p.dpiY), 300.0f);
  EXPECT_EQ(p.unit, RESUNIT_INCH);
  ExpectSamePixels(*bmp, p.pixels, 0, "tiff");
}

TEST_P(WriterByPage, JpegIsGreyOrRgbWithDensity) {
  const PageCase& c = GetParam();
  ScratchDir dir;
  auto bmp = MakePage(c.format, kW, kH, c.palette, k300, k300);
  PageWriter w(dir.File("p.jpg"), ImageFormat::Jpeg);
  w.AddPage(*bmp);
  w.Commit();
  Decoded d = ReadJpeg(dir.File("p.jpg"));
  EXPECT_EQ(d.width, kW);
  EXPECT_EQ(d.height, kH);
  EXPECT_EQ(d.kind, c.expectJpeg);
  EXPECT_EQ(d.dpiX, 300);
  EXPECT_EQ(d.dpiY, 300);
  // Lossy, and the test pages are busy on purpose: compare each channel's mean, which still shows
  // swapped channels or a wrong palette.
  double want[3] = {}, got[3] = {};
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Rgb a = Split(PixelOf(*bmp, x, y)), b = d.pixels[size_t(y) * kW + x];
      want[0] += a.r, want[1] += a.g, want[2] += a.b;
      got[0] += b.r, got[1] += b.g, got[2] += b.b;
    }
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i] / (kW * kH), want[i] / (kW * kH), 6.0) << "channel " << i;
}

TEST_P(WriterByPage, BmpIsTheFrameworksOwnFile) {
  const PageCase& c = GetParam();
  ScratchDir dir;
  auto bmp = MakePage(c.format, kW, kH, c.palette, k300, k300);
  PageWriter w(dir.File("p.bmp"), ImageFormat::Bmp);
  w.AddPage(*bmp);
  w.Commit();
  vcl::TBitmap back;
  back.LoadFromFile(dir.File("p.bmp"));
  EXPECT_EQ(back.GetWidth(), kW);
  EXPECT_EQ(back.GetHeight(), kH);
  EXPECT_EQ(back.GetPixelFormat(), bmp->GetPixelFormat());
  EXPECT_EQ(back.GetXPelsPerMeter(), k300);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(PixelOf(back, x, y), PixelOf(*bmp, x, y)) << x << "," << y;
}

TEST_P(WriterByPage, PdfPageHasThePhysicalSizeAndKeepsGreyCompact) {
  if (!HaveTool("pdfinfo") || !HaveTool("pdfimages")) GTEST_SKIP() << "poppler-utils not installed";
  const PageCase& c = GetParam();
  ScratchDir dir;
  auto bmp = MakePage(c.format, kW, kH, c.palette, k300, k300 * 2);
  PageWriter w(dir.File("p.pdf"), ImageFormat::Pdf);
  w.AddPage(*bmp);
  w.Commit();
  int pages = 0;
  auto sizes = PdfPageSizes(dir.File("p.pdf"), pages);
  EXPECT_EQ(pages, 1);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_NEAR(sizes[0].first, kW * 72.0 / 300, 0.01);
  EXPECT_NEAR(sizes[0].second, kH * 72.0 / 600, 0.01);
  auto images = PdfImages(dir.File("p.pdf"));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].width, kW);
  EXPECT_EQ(images[0].height, kH);
  EXPECT_NEAR(images[0].ppiX, 300, 1);
  EXPECT_NEAR(images[0].ppiY, 600, 1);
  std::string expect = c.expectPng;
  if (expect.rfind("gray", 0) == 0) {
    EXPECT_EQ(images[0].color, "gray") << c.name;
  }
  if (expect == "gray1") {
    EXPECT_EQ(images[0].bpc, 1) << c.name;
  }
  if (expect == "rgb8") {
    EXPECT_EQ(images[0].color, "rgb") << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, WriterByPage, ::testing::ValuesIn(PageCases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

// ---- Batches ------------------------------------------------------------------------------------

TEST(WriterBatch, TiffHoldsEveryPageWithItsOwnTypeAndResolution) {
  ScratchDir dir;
  auto a = MakePage(vcl::pf1bit, 40, 30, BlackWhite(), k300, k300);
  auto b = MakePage(vcl::pf8bit, 20, 10, GreyRamp(256), 5906, 5906);  // 150 dpi
  auto c = MakePage(vcl::pf24bit, 9, 7, {}, k300, k300);
  PageWriter w(dir.File("batch.tiff"), ImageFormat::Tiff);
  for (auto* p : {a.get(), b.get(), c.get()}) w.AddPage(*p);
  w.Commit();
  auto pages = ReadTiff(dir.File("batch.tiff"));
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].kind + std::to_string(pages[0].bits), "gray1");
  EXPECT_EQ(pages[1].kind + std::to_string(pages[1].bits), "gray8");
  EXPECT_EQ(pages[2].kind + std::to_string(pages[2].bits), "rgb8");
  EXPECT_EQ(pages[1].width, 20);
  EXPECT_FLOAT_EQ(float(pages[1].dpiX), 150.0f);
  EXPECT_EQ(w.Files(), std::vector<std::string>{dir.File("batch.tiff")});
}

TEST(WriterBatch, PdfHasOnePagePerImageAtItsPhysicalSize) {
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "poppler-utils not installed";
  ScratchDir dir;
  auto a = MakePage(vcl::pf8bit, 300, 150, GreyRamp(256), k300, k300);  // 1 x 0.5 inch
  auto b = MakePage(vcl::pf24bit, 100, 200, {}, 3937, 3937);            // 100 dpi: 1 x 2 inch
  auto c = MakePage(vcl::pf24bit, 144, 72, {}, 0, 0);                   // unknown: 72 dpi
  PageWriter w(dir.File("batch.pdf"), ImageFormat::Pdf);
  for (auto* p : {a.get(), b.get(), c.get()}) w.AddPage(*p);
  w.Commit();
  int pages = 0;
  auto sizes = PdfPageSizes(dir.File("batch.pdf"), pages);
  EXPECT_EQ(pages, 3);
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_NEAR(sizes[0].first, 72, 0.01);
  EXPECT_NEAR(sizes[0].second, 36, 0.01);
  EXPECT_NEAR(sizes[1].first, 72, 0.01);
  EXPECT_NEAR(sizes[1].second, 144, 0.01);
  EXPECT_NEAR(sizes[2].first, 144, 0.01);
  EXPECT_NEAR(sizes[2].second, 72, 0.01);
}

TEST(WriterBatch, PageNumberInTheNameWritesOneFilePerPage) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf8bit, 8, 8, GreyRamp(256), k300, k300);
  PageWriter w(dir.File("scan-%03d.tif"), ImageFormat::Tiff);
  for (int i = 0; i < 3; ++i) {
    w.AddPage(*page);
    // Each page's file is in place as soon as the page is written.
    EXPECT_EQ(dir.Entries().size(), size_t(i + 1));
  }
  w.Commit();
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"scan-001.tif", "scan-002.tif", "scan-003.tif"}));
  for (const auto& name : dir.Entries()) EXPECT_EQ(ReadTiff(dir.File(name)).size(), 1u) << name;
}

TEST(WriterBatch, OnePageFormatRefusesASecondPageAndKeepsTheFirst) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf24bit, 8, 8, {}, k300, k300);
  PageWriter w(dir.File("one.png"), ImageFormat::Png);
  w.AddPage(*page);
  EXPECT_FALSE(w.AcceptsMorePages());
  EXPECT_THROW(w.AddPage(*page), OutputError);
  w.Commit();
  EXPECT_EQ(ReadPng(dir.File("one.png")).width, 8);
}

// "%%" stands for '%' in every name, so that the name the usage check asks for ("write %% for a
// '%'") is the name written, with or without a page number.
TEST(WriterBatch, DoublePercentInASingleFileNameIsOnePercent) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf24bit, 8, 8, {}, k300, k300);
  for (const char* name : {"100%%.png", "100%%.pdf"}) {
    PageWriter w(dir.File(name), FormatForPath(name).value());
    w.AddPage(*page);
    w.Commit();
    ASSERT_EQ(w.Files().size(), 1u);
    EXPECT_EQ(w.Files().front(), dir.File(PageFileName(name, 1)));
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"100%.pdf", "100%.png"}));
}

// ---- Whole or nothing ---------------------------------------------------------------------------

TEST(WriterAtomic, NothingIsVisibleBeforeCommitAndDiscardLeavesNothing) {
  ScratchDir dir;
  {
    std::ofstream(dir.File("old.pdf")) << "previous contents";
  }
  auto page = MakePage(vcl::pf8bit, 16, 16, GreyRamp(256), k300, k300);
  {
    PageWriter w(dir.File("old.pdf"), ImageFormat::Pdf);
    w.AddPage(*page);
    w.AddPage(*page);
    std::ifstream f(dir.File("old.pdf"));
    std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(text, "previous contents");
    w.Discard();
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.pdf"});
  {
    PageWriter w(dir.File("new.tif"), ImageFormat::Tiff);
    w.AddPage(*page);
  }  // destroyed without Commit
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.pdf"});
}

TEST(WriterAtomic, CommittedFileHasTheModeOfANewFile) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf24bit, 4, 4, {}, k300, k300);
  mode_t old = umask(027);
  PageWriter w(dir.File("m.png"), ImageFormat::Png);
  w.AddPage(*page);
  w.Commit();
  umask(old);
  auto perms = std::filesystem::status(dir.File("m.png")).permissions();
  // The umask is read once per process, so only check the part every umask keeps: owner rw.
  EXPECT_EQ(perms & std::filesystem::perms::owner_all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(WriterAtomic, MissingFolderIsAnOutputErrorNamingTheFile) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf24bit, 4, 4, {}, k300, k300);
  PageWriter w(dir.File("gone/p.png"), ImageFormat::Png);
  try {
    w.AddPage(*page);
    ADD_FAILURE() << "no error";
  } catch (const OutputError& e) {
    EXPECT_NE(std::string(e.what()).find("gone/p.png"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(WriterAtomic, InterruptedProgramLeavesNoTemporaryFile) {
  ScratchDir dir;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RemoveTemporaryFilesOnSignals();
    AtomicFile first(dir.File("a.tif"));
    AtomicFile second(dir.File("b.pdf"));
    raise(SIGTERM);
    _exit(0);  // not reached
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(dir.Entries().empty());
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(AtomicFile& f, const std::string& text) {
  ASSERT_EQ(write(f.Fd(), text.data(), text.size()), ssize_t(text.size()));
}

// The file being written has no name until it is complete, new target or replaced one alike; where
// the file system cannot make an unnamed file, a hidden temporary one stands in.
TEST(WriterAtomic, TheFileHasNoNameUntilItIsComplete) {
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed file");
    AtomicFile::UseNamedTemporaries(named);
    ScratchDir dir;
    std::ofstream(dir.File("old.png")) << "old";
    {
      AtomicFile fresh(dir.File("new.png"));
      AtomicFile replacing(dir.File("old.png"));
      EXPECT_EQ(fresh.Unnamed(), !named);
      WriteText(fresh, "new page");
      WriteText(replacing, "newer page");
      EXPECT_EQ(dir.Entries().size(), named ? 3u : 1u);  // the temporaries, or nothing but the old file
      EXPECT_EQ(Contents(dir.File("old.png")), "old");
      fresh.Commit();
      replacing.Commit();
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"new.png", "old.png"}));
    EXPECT_EQ(Contents(dir.File("new.png")), "new page");
    EXPECT_EQ(Contents(dir.File("old.png")), "newer page");
    {
      AtomicFile dropped(dir.File("dropped.png"));
      WriteText(dropped, "never complete");
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"new.png", "old.png"}));
  }
  AtomicFile::UseNamedTemporaries(false);
}

TEST(WriterAtomic, AKilledProgramLeavesNothing) {
  // SIGKILL cannot be caught: only a file without a name is sure to go with the process.
  ScratchDir dir;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    AtomicFile f(dir.File("big.png"));
    if (!f.Unnamed() || write(f.Fd(), "half", 4) != 4) _exit(1);
    raise(SIGKILL);
    _exit(0);  // not reached
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_TRUE(dir.Entries().empty());
}

// A full disk, as the writer sees it: writes past a size limit fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int);
};

class WriterByFormat : public ::testing::TestWithParam<ImageFormat> {};

TEST_P(WriterByFormat, FailedWriteLeavesNoFileAndNamesIt) {
  ScratchDir dir;
  std::string name = dir.File(std::string("full.") + (GetParam() == ImageFormat::Jpeg ? "jpg" : FormatName(GetParam())));
  // Noise does not compress, so every format needs far more than the limit.
  auto page = MakePage(vcl::pf24bit, 200, 200, {}, k300, k300);
  uint32_t state = 2463534242u;
  for (int y = 0; y < 200; ++y) {
    auto* row = static_cast<uint8_t*>(page->ScanLine(y));
    for (int i = 0; i < 600; ++i) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;  // xorshift32
      row[i] = uint8_t(state >> 24);
    }
  }
  std::string message;
  {
    FileSizeLimit limit(4096);
    try {
      PageWriter w(name, GetParam());
      w.AddPage(*page);
      w.Commit();
    } catch (const OutputError& e) {
      message = e.what();
    }
  }
  EXPECT_NE(message.find(name), std::string::npos) << "message: " << message;
  EXPECT_TRUE(dir.Entries().empty()) << dir.Entries().front();
}

INSTANTIATE_TEST_SUITE_P(Formats, WriterByFormat,
                         ::testing::Values(ImageFormat::Bmp, ImageFormat::Png, ImageFormat::Jpeg, ImageFormat::Tiff, ImageFormat::Pdf),
                         [](const auto& info) { return std::string(FormatName(info.param)); });

// ---- Names and resolutions ----------------------------------------------------------------------

TEST(WriterNames, ExtensionsPickTheFormat) {
  struct {
    const char* name;
    std::optional<ImageFormat> format;
  } cases[] = {{"a.BMP", ImageFormat::Bmp}, {"a.png", ImageFormat::Png},  {"a.Jpeg", ImageFormat::Jpeg},
               {"a.jpg", ImageFormat::Jpeg}, {"a.tif", ImageFormat::Tiff}, {"x/a.TIFF", ImageFormat::Tiff},
               {"a.pdf", ImageFormat::Pdf},  {"a.gif", std::nullopt},      {"png", std::nullopt},
               {"dir.png/a", std::nullopt},  {"a.", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(FormatForPath(c.name), c.format) << c.name;
}

TEST(WriterNames, PageNumberPatterns) {
  struct {
    const char* name;
    bool valid;
    bool numbered;
    const char* page7;
  } cases[] = {
      {"scan.png", true, false, "scan.png"},      {"scan-%d.png", true, true, "scan-7.png"},
      {"scan-%03d.png", true, true, "scan-007.png"}, {"100%%-%d.png", true, true, "100%-7.png"},
      {"100%%.pdf", true, false, "100%.pdf"},     {"scan-%s.png", false, false, nullptr},
      {"%d-%d.png", false, false, nullptr},       {"scan%.png", false, false, nullptr},
      {"scan-%00d.png", false, false, nullptr},   {"scan-%", false, false, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckNamePattern(c.name).empty(), c.valid) << c.name;
    if (!c.valid) continue;
    EXPECT_EQ(HasPageNumber(c.name), c.numbered) << c.name;
    EXPECT_EQ(PageFileName(c.name, 7), c.page7) << c.name;
  }
}

TEST(WriterNames, ResolutionFromPelsPerMetre) {
  struct {
    int ppm;
    double dpi;
  } cases[] = {{11811, 300}, {3937, 100}, {23622, 600}, {5000, 127}, {12000, 304.8}, {0, 0}, {-5, 0}};
  for (const auto& c : cases) {
    vcl::TBitmap b;
    b.SetPelsPerMeter(c.ppm, c.ppm);
    EXPECT_NEAR(ResolutionOf(b).x, c.dpi, 1e-9) << c.ppm;
  }
}

TEST(WriterNames, EmptyPageIsRefused) {
  vcl::TBitmap empty;
  ScratchDir dir;
  PageWriter w(dir.File("e.png"), ImageFormat::Png);
  EXPECT_THROW(w.AddPage(empty), OutputError);
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace

namespace {

// Replacing a file keeps what the person set on it: its mode survives, and a symbolic link stays a
// link while the file it points to (also through a relative link, also one not there yet) gets the
// page.
TEST(WriterAtomic, ReplacingKeepsTheModeAndWritesThroughLinks) {
  ScratchDir dir;
  auto page = MakePage(vcl::pf24bit, 8, 8, {}, k300, k300);
  auto write = [&](const std::string& name) {
    PageWriter w(name, FormatForPath(name).value());
    w.AddPage(*page);
    w.Commit();
  };
  std::ofstream(dir.File("private.png")) << "old";
  ASSERT_EQ(chmod(dir.File("private.png").c_str(), 0600), 0);
  write(dir.File("private.png"));
  struct stat st {};
  ASSERT_EQ(stat(dir.File("private.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadPng(dir.File("private.png")).width, 8);

  std::filesystem::create_directory(dir.Path() / "real");
  std::ofstream(dir.File("real/target.png")) << "old";
  std::filesystem::create_symlink("real/target.png", dir.Path() / "link.png");
  std::filesystem::create_symlink(dir.Path() / "real/new.pnm", dir.Path() / "dangling.pnm");
  write(dir.File("link.png"));
  write(dir.File("dangling.pnm"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "link.png"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "dangling.pnm"));
  EXPECT_EQ(ReadPng(dir.File("real/target.png")).width, 8);
  std::ifstream pnm(dir.File("real/new.pnm"), std::ios::binary);
  std::string magic(2, '\0');
  pnm.read(magic.data(), 2);
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dangling.pnm", "link.png", "private.png", "real"}));
}

}  // namespace
