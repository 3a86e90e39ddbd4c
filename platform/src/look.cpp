// What the owners of windows tell the desktop beyond Win32 (looks, pictures, automation ids, hints,
// labels), and the deterministic layout of tab controls that both the tab control and its pictures use.
#include <algorithm>

#include "internal.h"

using namespace korven::platform;
using namespace korven::platform::detail;

namespace korven::platform {

bool SetWindowLook(HWND hwnd, const WindowLook& look) {
  auto shared = std::make_shared<const WindowLook>(look);
  return WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.look = shared; });
}

WindowLook GetWindowLook(HWND hwnd) {
  WindowLook look;
  WithControl(hwnd, [&](ControlState& c, WindowInfo&) {
    if (c.look) look = *c.look;
  });
  return look;
}

bool SetWindowImage(HWND hwnd, std::shared_ptr<const WindowImage> image) {
  return WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.image = std::move(image); });
}

bool SetAutomationId(HWND hwnd, const std::string& id) {
  return WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.automationId = id; });
}

bool SetWindowHint(HWND hwnd, const std::string& hint) {
  return WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.hint = hint; });
}

bool SetLabelFor(HWND label, HWND control) {
  return WithControl(label, [&](ControlState& c, WindowInfo&) { c.labelFor = control; });
}

}  // namespace korven::platform

namespace korven::platform::detail {

std::string StripAccelerators(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out.push_back('&'), ++i;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

int EstimateTextWidth(const std::string& text, int em) {
  // Advances in twentieths of an em, summed and rounded once: narrow, wide, capitals, digits, the
  // rest; a multi-byte character is one full em.
  long twentieths = 0;
  for (const char* p = text.c_str(); *p;) {
    const char* next = CharNextA(p);
    const auto ch = static_cast<unsigned char>(*p);
    if (next - p > 1 || ch >= 0x80)
      twentieths += 20;
    else if (std::string_view("ijlI!|.,:;'ftr ").find(static_cast<char>(ch)) != std::string_view::npos)
      twentieths += 6;
    else if (std::string_view("mwMW@%").find(static_cast<char>(ch)) != std::string_view::npos)
      twentieths += 16;
    else if (ch >= 'A' && ch <= 'Z')
      twentieths += 13;
    else if (ch >= '0' && ch <= '9')
      twentieths += 11;
    else
      twentieths += 10;
    p = next;
  }
  return static_cast<int>((twentieths * em + 10) / 20);
}

int LookFontEm(const WindowInfo& info) {
  const int h = info.control.look ? info.control.look->fontHeight : 0;
  return h == 0 ? 11 : std::abs(h);
}

TabLayout LayoutTabs(const WindowInfo& info, int width, int height) {
  TabLayout out;
  const ControlState& c = info.control;
  const int em = LookFontEm(info);
  const int tabHeight = c.tabHeight > 0 ? c.tabHeight : em + 8;
  const bool multiLine = (info.style & TCS_MULTILINE) != 0;
  const bool fixed = (info.style & TCS_FIXEDWIDTH) != 0 && c.tabWidth > 0;
  const int left = 2, right = std::max(left, width - 2);
  // The tab strip: each tab is its text plus 6 pixels either side (or the fixed width).
  std::vector<int> widths;
  for (const auto& item : c.items) {
    const int text = EstimateTextWidth(StripAccelerators(item), em);
    widths.push_back(fixed ? c.tabWidth : std::max(text + 12, 2 * em));
  }
  // Rows in order, each as full as fits (a multi-line control); one row otherwise.
  std::vector<std::vector<size_t>> rows;
  int x = left;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (rows.empty() || (multiLine && x + widths[i] > right && !rows.back().empty())) {
      rows.emplace_back();
      x = left;
    }
    rows.back().push_back(i);
    x += widths[i];
  }
  // The row of the selected tab lies next to the pages; the rows after it move to the top.
  size_t selectedRow = rows.empty() ? 0 : rows.size() - 1;
  for (size_t r = 0; r < rows.size(); ++r)
    if (std::find(rows[r].begin(), rows[r].end(), static_cast<size_t>(c.selected)) != rows[r].end()) selectedRow = r;
  std::rotate(rows.begin(), rows.begin() + static_cast<long>((selectedRow + 1) % std::max<size_t>(rows.size(), 1)),
              rows.end());
  out.rows = static_cast<int>(rows.size());
  out.tabs.assign(widths.size(), RECT{});
  for (size_t r = 0; r < rows.size(); ++r) {
    int used = 0;
    for (size_t i : rows[r]) used += widths[i];
    // With several rows every row is stretched to the full width, as Windows does.
    const int extra = rows.size() > 1 ? std::max(0, right - left - used) : 0;
    int xi = left, given = 0;
    for (size_t k = 0; k < rows[r].size(); ++k) {
      const size_t i = rows[r][k];
      const int share = static_cast<int>(extra * static_cast<long>(k + 1) / static_cast<long>(rows[r].size())) - given;
      given += share;
      const int top = 2 + static_cast<int>(r) * tabHeight;
      out.tabs[i] = RECT{xi, top, xi + widths[i] + share, top + tabHeight};
      xi += widths[i] + share;
    }
  }
  const int pagesTop = 2 + out.rows * tabHeight;
  out.display = RECT{4, pagesTop + 2, std::max(4, width - 4), std::max(pagesTop + 2, height - 4)};
  return out;
}

}  // namespace korven::platform::detail
