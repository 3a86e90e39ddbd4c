#include "papers.h"

namespace korven::ds {

namespace {

struct Paper {
  TW_UINT16 id;
  double width, height;  // inches, portrait
};
constexpr Paper kPapers[] = {
    {TWSS_A4LETTER, 210 / 25.4, 297 / 25.4}, {TWSS_B5LETTER, 182 / 25.4, 257 / 25.4},
    {TWSS_USLETTER, 8.5, 11},                {TWSS_USLEGAL, 8.5, 14},
    {TWSS_A5, 148 / 25.4, 210 / 25.4},       {TWSS_B4, 257 / 25.4, 364 / 25.4},
    {TWSS_B6, 128 / 25.4, 182 / 25.4},       {TWSS_USLEDGER, 11, 17},
    {TWSS_USEXECUTIVE, 7.25, 10.5},          {TWSS_A3, 297 / 25.4, 420 / 25.4},
    {TWSS_A6, 105 / 25.4, 148 / 25.4},
};

constexpr double kEpsilon = 1.0 / 65536;

}  // namespace

std::vector<TW_UINT16> SizesThatFit(double platenWidth, double platenHeight) {
  std::vector<TW_UINT16> out{TWSS_NONE};
  for (const auto& p : kPapers)
    if (p.width <= platenWidth + kEpsilon && p.height <= platenHeight + kEpsilon) out.push_back(p.id);
  return out;
}

bool PaperSize(TW_UINT16 size, double& width, double& height) {
  for (const auto& p : kPapers)
    if (p.id == size) {
      width = p.width, height = p.height;
      return true;
    }
  return false;
}

}  // namespace korven::ds
