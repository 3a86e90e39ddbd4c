// Build tool: turns a text picture (one character per pixel, each a hexadecimal index into the
// 16-colour palette; '#' lines are comments) into a 16-colour BMP and writes it as
//   - a C++ source that registers it as a bitmap resource of a module:
//       korven_bitmap_resource PICTURE NAME cpp OUT.cpp MODULE
//   - the picture of an image in a text form file, replacing its one empty "Picture.Data = {}":
//       korven_bitmap_resource PICTURE NAME dfm IN.dfm OUT.dfm
// Exit code 0 on success, 1 with a message on standard error otherwise.
#include <vcl/Classes.h>
#include <vcl/Graphics.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) Fail("cannot read " + name);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  if (!(out << text) || !out.flush()) Fail("cannot write " + name);
}

// The picture's palette indices, row by row from the top.
std::vector<std::string> ReadPicture(const std::string& name) {
  std::istringstream in(ReadFile(name));
  std::vector<std::string> rows;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    for (char c : line)
      if (!std::isxdigit(static_cast<unsigned char>(c)))
        Fail(name + ": line " + std::to_string(n) + ": '" + std::string(1, c) + "' is no colour (0-9, A-F)");
    if (!rows.empty() && line.size() != rows[0].size())
      Fail(name + ": line " + std::to_string(n) + ": " + std::to_string(line.size()) + " pixels, the first row has " +
           std::to_string(rows[0].size()));
    rows.push_back(line);
  }
  if (rows.empty() || rows.size() > 256 || rows[0].size() > 256) Fail(name + ": the picture must be 1 to 256 pixels each way");
  return rows;
}

// The picture as a 16-colour BMP file with the standard palette.
std::string MakeBmp(const std::vector<std::string>& rows) {
  vcl::TBitmap bmp;
  bmp.SetPixelFormat(vcl::pf4bit);
  bmp.SetSize(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (size_t y = 0; y < rows.size(); ++y) {
    auto* line = static_cast<uint8_t*>(bmp.ScanLine(static_cast<int>(y)));
    for (size_t x = 0; x < rows[y].size(); ++x) {
      uint8_t index = static_cast<uint8_t>(std::stoi(std::string(1, rows[y][x]), nullptr, 16));
      uint8_t& byte = line[x / 2];
      byte = (x % 2 == 0) ? static_cast<uint8_t>((byte & 0x0F) | (index << 4)) : static_cast<uint8_t>((byte & 0xF0) | index);
    }
  }
  bmp.PixelsChanged();
  vcl::TMemoryStream out;
  bmp.SaveToStream(&out);
  return std::string(static_cast<const char*>(out.Memory()), static_cast<size_t>(out.GetSize()));
}

std::string CppSource(const std::string& picture, const std::string& name, const std::string& module,
                      const std::string& bmp) {
  std::string base = picture.substr(picture.find_last_of("/\\") + 1);
  std::string s = "// Generated from " + base + " by korven_bitmap_resource: do not edit.\n";
  s += "#include <vcl/Resources.h>\n\nnamespace {\nconst uint8_t kData[] = {";
  for (size_t i = 0; i < bmp.size(); ++i) {
    if (i % 16 == 0) s += "\n   ";
    char hex[8];
    std::snprintf(hex, sizeof hex, " 0x%02X,", static_cast<uint8_t>(bmp[i]));
    s += hex;
  }
  s += "\n};\nconst vcl::TResourceRegistration kRegistration(\"" + module + "\", vcl::RT_BITMAP_NAME, \"" + name +
       "\", kData, sizeof kData);\n}  // namespace\n";
  return s;
}

// A form file's picture data: the graphic's class name, then the bitmap's byte count and file.
std::string DfmWithPicture(const std::string& dfmName, const std::string& bmp) {
  std::string text = ReadFile(dfmName);
  const std::string marker = "Picture.Data = {}";
  size_t at = text.find(marker);
  if (at == std::string::npos || text.find(marker, at + 1) != std::string::npos)
    Fail(dfmName + ": needs exactly one line '" + marker + "' to fill");
  size_t lineStart = text.rfind('\n', at);
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  std::string indent = text.substr(lineStart, at - lineStart);
  if (indent.find_first_not_of(' ') != std::string::npos) Fail(dfmName + ": '" + marker + "' must start its line");
  std::string data = "\x07TBitmap";
  uint32_t n = static_cast<uint32_t>(bmp.size());
  for (int i = 0; i < 4; ++i) data += static_cast<char>((n >> (8 * i)) & 0xFF);
  data += bmp;
  std::string value = "Picture.Data = {";
  static const char hex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 32 == 0) value += "\r\n" + indent + "  ";
    value += hex[static_cast<uint8_t>(data[i]) >> 4];
    value += hex[static_cast<uint8_t>(data[i]) & 15];
  }
  value += "}";
  return text.replace(at, marker.size(), value);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() != 5 || (a[2] != "cpp" && a[2] != "dfm"))
      Fail("usage: korven_bitmap_resource PICTURE NAME cpp OUT.cpp MODULE | PICTURE NAME dfm IN.dfm OUT.dfm");
    std::string bmp = MakeBmp(ReadPicture(a[0]));
    if (a[2] == "cpp")
      WriteFile(a[3], CppSource(a[0], a[1], a[4], bmp));
    else
      WriteFile(a[4], DfmWithPicture(a[3], bmp));
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "korven_bitmap_resource: " << e.what() << "\n";
    return 1;
  }
}
