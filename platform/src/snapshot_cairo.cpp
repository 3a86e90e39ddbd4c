// Pictures of windows, drawn with cairo in the classic Windows style from the windows' own state:
// the built-in controls from their styles and control state, framework windows from their looks.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "internal.h"

using namespace korven::platform;
using namespace korven::platform::detail;

namespace {

// The classic 3D colours (COLORREF), the face being the window's own.
constexpr uint32_t kWhite = 0xFFFFFF, kShadow = 0x808080, kDarkShadow = 0x404040, kBlack = 0x000000;
constexpr uint32_t kFace = 0xC8D0D4;         // the framework's clBtnFace
constexpr uint32_t kHighlight = 0x6A240A;    // selected list items
constexpr uint32_t kCaptionLeft = 0x6A240A, kCaptionRight = 0xF0CAA6;  // an active caption's gradient

void SetColor(cairo_t* cr, uint32_t colorref) {
  cairo_set_source_rgb(cr, (colorref & 0xFF) / 255.0, ((colorref >> 8) & 0xFF) / 255.0,
                       ((colorref >> 16) & 0xFF) / 255.0);
}

void Fill(cairo_t* cr, int x, int y, int w, int h, uint32_t color) {
  if (w <= 0 || h <= 0) return;
  SetColor(cr, color);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

// A one-pixel line from (x0, y0) to (x1, y1) inclusive, horizontal or vertical.
void Line(cairo_t* cr, int x0, int y0, int x1, int y1, uint32_t color) {
  Fill(cr, std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1, color);
}

// One edge ring: top-left lines in `tl`, bottom-right lines in `br`.
void Edge(cairo_t* cr, int x, int y, int w, int h, uint32_t tl, uint32_t br) {
  if (w <= 0 || h <= 0) return;
  Line(cr, x, y, x + w - 1, y, tl);
  Line(cr, x, y, x, y + h - 1, tl);
  Line(cr, x, y + h - 1, x + w - 1, y + h - 1, br);
  Line(cr, x + w - 1, y, x + w - 1, y + h - 1, br);
}

void Raised(cairo_t* cr, int x, int y, int w, int h) {
  Edge(cr, x, y, w, h, kWhite, kDarkShadow);
  Edge(cr, x + 1, y + 1, w - 2, h - 2, kFace, kShadow);
}

void Sunken(cairo_t* cr, int x, int y, int w, int h) {
  Edge(cr, x, y, w, h, kShadow, kWhite);
  Edge(cr, x + 1, y + 1, w - 2, h - 2, kDarkShadow, kFace);
}

void Etched(cairo_t* cr, int x, int y, int w, int h) {
  Edge(cr, x, y, w - 1, h - 1, kShadow, kShadow);
  Edge(cr, x + 1, y + 1, w - 1, h - 1, kWhite, kWhite);
}

// ---- Text -----------------------------------------------------------------------------------------

struct Font {
  std::string family = "IPAPGothic";
  double em = 11;
  bool bold = false, italic = false, underline = false, strikeOut = false;
  uint32_t color = kBlack;
};

// The font a window's look asks for. Every proportional face, "ＭＳ Ｐゴシック" and the framework's
// defaults included, is drawn with IPAPGothic (metric-compatible with the former, and it covers Latin
// and Japanese text); the fixed-pitch ones with IPAGothic.
Font FontOf(const WindowInfo& info) {
  Font f;
  f.em = LookFontEm(info);
  if (const auto& look = info.control.look) {
    if (look->fontHeight > 0) f.em = look->fontHeight * 0.85;  // a cell height includes the leading
    const std::string name = ToUtf8(look->fontName);
    const bool fixed = (name.find("ゴシック") != std::string::npos && name.find("Ｐ") == std::string::npos) ||
                       name.find("Courier") != std::string::npos || name.find("Fixed") != std::string::npos;
    if (fixed) f.family = "IPAGothic";
    f.bold = look->bold;
    f.italic = look->italic;
    f.underline = look->underline;
    f.strikeOut = look->strikeOut;
    f.color = look->fontColor;
  }
  return f;
}

void UseFont(cairo_t* cr, const Font& f) {
  cairo_select_font_face(cr, f.family.c_str(), f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         f.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, f.em);
}

double Advance(cairo_t* cr, const std::string& utf8) {
  if (utf8.empty()) return 0;
  cairo_text_extents_t e;
  cairo_text_extents(cr, utf8.c_str(), &e);
  return e.x_advance;
}

// A line of text with its accelerator: the caption without '&'s, and the byte range of the character
// a single '&' marks (empty when none, or when prefixes are not shown).
struct Marked {
  std::string text;
  size_t accelBegin = 0, accelEnd = 0;
};

size_t Utf8Length(const std::string& s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  return std::min(n, s.size() - i);
}

Marked Mark(const std::string& utf8, bool prefixes) {
  Marked m;
  if (!prefixes) {
    m.text = utf8;
    return m;
  }
  for (size_t i = 0; i < utf8.size();) {
    if (utf8[i] == '&' && i + 1 < utf8.size()) {
      if (utf8[i + 1] == '&') {
        m.text += '&';
        i += 2;
        continue;
      }
      ++i;
      const size_t n = Utf8Length(utf8, i);
      if (m.accelEnd == 0) m.accelBegin = m.text.size(), m.accelEnd = m.text.size() + n;
      m.text += utf8.substr(i, n);
      i += n;
      continue;
    }
    if (utf8[i] == '&') {
      ++i;
      continue;
    }
    m.text += utf8[i++];
  }
  return m;
}

// Draws one line with its baseline at y; the accelerator is underlined.
void ShowLine(cairo_t* cr, const Font& f, const Marked& line, double x, double y, bool disabled) {
  auto draw = [&](double dx, double dy, uint32_t color) {
    SetColor(cr, color);
    cairo_move_to(cr, x + dx, y + dy);
    cairo_show_text(cr, line.text.c_str());
    const double width = Advance(cr, line.text);
    if (line.accelEnd > line.accelBegin) {
      const double a = Advance(cr, line.text.substr(0, line.accelBegin));
      const double b = Advance(cr, line.text.substr(0, line.accelEnd));
      cairo_rectangle(cr, std::floor(x + dx + a), std::floor(y + dy + 2), std::max(1.0, std::ceil(b - a)), 1);
      cairo_fill(cr);
    }
    if (f.underline) {
      cairo_rectangle(cr, std::floor(x + dx), std::floor(y + dy + 2), std::ceil(width), 1);
      cairo_fill(cr);
    }
    if (f.strikeOut) {
      cairo_rectangle(cr, std::floor(x + dx), std::floor(y + dy - f.em * 0.3), std::ceil(width), 1);
      cairo_fill(cr);
    }
  };
  if (disabled) {
    draw(1, 1, kWhite);
    draw(0, 0, kShadow);
  } else {
    draw(0, 0, f.color);
  }
}

// Breaks text into lines at line breaks and, with a width, between words (and between any two
// Japanese characters) so that each line fits.
std::vector<std::string> Lines(cairo_t* cr, const std::string& text, double width) {
  std::vector<std::string> out;
  std::string current;
  auto flush = [&] {
    out.push_back(current);
    current.clear();
  };
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '\r') {
      ++i;
      continue;
    }
    if (text[i] == '\n') {
      flush();
      ++i;
      continue;
    }
    // The next piece that may not be broken: a word with the blanks after it, or one wide character.
    size_t end = i;
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      end = i + Utf8Length(text, i);
    } else {
      while (end < text.size() && text[end] != ' ' && text[end] != '\n' && text[end] != '\r' &&
             static_cast<unsigned char>(text[end]) < 0x80)
        ++end;
      while (end < text.size() && text[end] == ' ') ++end;
    }
    const std::string piece = text.substr(i, end - i);
    if (width > 0 && !current.empty() && Advance(cr, current + piece) > width + 0.5) flush();
    current += piece;
    i = end;
  }
  flush();
  return out;
}

enum class HAlign { Left, Center, Right };
constexpr double kNarrowest = 1.2;  // how much wider than its box a line may be and still be narrowed
enum class VAlign { Top, Center };

// Draws a caption into the box: lines broken to the box's width when `wrap`, '&' marking the
// accelerator unless `noPrefix`.
void DrawText(cairo_t* cr, const Font& f, const std::string& ansi, int x, int y, int w, int h, HAlign ha, VAlign va,
              bool wrap, bool noPrefix, bool disabled) {
  if (ansi.empty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  UseFont(cr, f);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double lineHeight = std::ceil(fe.ascent + fe.descent);
  std::vector<Marked> lines;
  for (const std::string& line : Lines(cr, ToUtf8(ansi), wrap ? w : 0))
    lines.push_back(Mark(line, !noPrefix));
  double top = y;
  if (va == VAlign::Center) top = y + (h - lineHeight * static_cast<double>(lines.size())) / 2;
  for (size_t i = 0; i < lines.size(); ++i) {
    double width = Advance(cr, lines[i].text);
    // IPAPGothic's Latin letters run up to a tenth wider than the bitmap faces forms were laid out
    // with: a line a little too wide for its box is narrowed to fit instead of being cut off.
    const double narrow = width > w && width <= w * kNarrowest ? w / width : 1.0;
    width *= narrow;
    double left = x;
    if (ha == HAlign::Center) left = x + (w - width) / 2;
    if (ha == HAlign::Right) left = x + w - width;
    cairo_save(cr);
    cairo_translate(cr, std::round(left), std::round(top + fe.ascent + lineHeight * static_cast<double>(i)));
    cairo_scale(cr, narrow, 1);
    ShowLine(cr, f, lines[i], 0, 0, disabled);
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

// ---- Controls ---------------------------------------------------------------------------------------

bool Disabled(const WindowInfo& info) { return (info.style & WS_DISABLED) != 0; }

// The dotted rectangle around what has the keyboard focus.
void FocusRect(cairo_t* cr, int x, int y, int w, int h) {
  cairo_save(cr);
  SetColor(cr, kBlack);
  cairo_set_line_width(cr, 1);
  const double dash = 1;
  cairo_set_dash(cr, &dash, 1, 0);
  cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
  cairo_stroke(cr);
  cairo_restore(cr);
}

uint32_t Background(const WindowInfo& info, uint32_t fallback) {
  const auto& look = info.control.look;
  return look && look->color != WindowLook::kClassColor ? look->color : fallback;
}

void DrawButton(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const Font font = FontOf(info);
  const DWORD type = info.style & BS_TYPEMASK;
  const bool disabled = Disabled(info);
  const uint32_t face = Background(info, kFace);
  if (type == BS_GROUPBOX) {
    UseFont(cr, font);
    const int mid = static_cast<int>(font.em / 2);
    Etched(cr, 0, mid, w, h - mid);
    const double textWidth = Advance(cr, Mark(ToUtf8(info.caption), true).text);
    if (textWidth > 0) Fill(cr, 6, 0, static_cast<int>(textWidth) + 4, static_cast<int>(font.em) + 2, face);
    DrawText(cr, font, info.caption, 8, 0, w - 16, static_cast<int>(font.em) + 4, HAlign::Left, VAlign::Top, false,
             false, disabled);
    return;
  }
  const bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
  const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
  if (check || radio) {
    Fill(cr, 0, 0, w, h, face);
    const int box = 13, top = (h - box) / 2;
    const bool leftText = (info.style & BS_LEFTTEXT) != 0;
    const int bx = leftText ? w - box : 0;
    const uint32_t inside = disabled || info.control.check == BST_INDETERMINATE ? kFace : kWhite;
    if (radio) {
      cairo_save(cr);
      SetColor(cr, inside);
      cairo_arc(cr, bx + 6.5, top + 6.5, 5.5, 0, 2 * M_PI);
      cairo_fill_preserve(cr);
      SetColor(cr, kShadow);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      if (info.control.check == BST_CHECKED) {
        SetColor(cr, disabled ? kShadow : kBlack);
        cairo_arc(cr, bx + 6.5, top + 6.5, 2, 0, 2 * M_PI);
        cairo_fill(cr);
      }
      cairo_restore(cr);
    } else {
      Fill(cr, bx + 2, top + 2, box - 4, box - 4, inside);
      Sunken(cr, bx, top, box, box);
      if (info.control.check != BST_UNCHECKED) {
        // The tick: seven short columns, three pixels high.
        const uint32_t tick = disabled || info.control.check == BST_INDETERMINATE ? kShadow : kBlack;
        static const int kDrop[] = {2, 3, 4, 3, 2, 1, 0};
        for (int i = 0; i < 7; ++i) Fill(cr, bx + 3 + i, top + 3 + kDrop[i], 1, 3, tick);
      }
    }
    const int tx = leftText ? 0 : box + 4;
    DrawText(cr, font, info.caption, tx, 0, w - box - 4, h, leftText ? HAlign::Right : HAlign::Left, VAlign::Center,
             false, false, disabled);
    if (GetFocus() == info.hwnd) {
      UseFont(cr, font);
      const double width = std::min<double>(w - tx, Advance(cr, Mark(ToUtf8(info.caption), true).text));
      FocusRect(cr, tx - 2, static_cast<int>(h / 2 - font.em / 2 - 3), static_cast<int>(std::ceil(width)) + 4,
                static_cast<int>(font.em) + 6);
    }
    return;
  }
  // A push button; the default one has a black ring.
  Fill(cr, 0, 0, w, h, face);
  int x = 0, y = 0, bw = w, bh = h;
  const bool isDefault = type == BS_DEFPUSHBUTTON;
  if (isDefault) {
    Edge(cr, 0, 0, w, h, kBlack, kBlack);
    x = y = 1, bw -= 2, bh -= 2;
  }
  Raised(cr, x, y, bw, bh);
  DrawText(cr, font, info.caption, x + 3, y + 2, bw - 6, bh - 4, HAlign::Center, VAlign::Center, false, false,
           disabled);
  if (GetFocus() == info.hwnd) FocusRect(cr, x + 3, y + 3, bw - 7, bh - 7);
}

// A drop-down's arrow: a small black triangle centred in the box.
void Arrow(cairo_t* cr, int x, int y, int w, int h, bool disabled) {
  const int cx = x + w / 2, cy = y + h / 2 - 1;
  for (int i = 0; i < 4; ++i) Line(cr, cx - 3 + i, cy + i, cx + 3 - i, cy + i, disabled ? kShadow : kBlack);
}

void DrawEdit(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const bool disabled = Disabled(info);
  Fill(cr, 0, 0, w, h, Background(info, kWhite));
  const bool readOnlyFace = (info.style & ES_READONLY) && !info.control.look;
  if (readOnlyFace) Fill(cr, 0, 0, w, h, kFace);
  DrawText(cr, FontOf(info), info.caption, 2, 0, w - 4, h, HAlign::Left, VAlign::Center, false, true, disabled);
}

void DrawComboBox(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const bool disabled = Disabled(info);
  const ControlState& c = info.control;
  const bool list = (info.style & 0x3) == CBS_DROPDOWNLIST;
  // The closed box: a field of one line (a combo box is as high as its field; the list drops below).
  const int fh = std::min(h, static_cast<int>(LookFontEm(info)) + 10);
  Fill(cr, 0, 0, w, fh, disabled ? kFace : Background(info, kWhite));
  Sunken(cr, 0, 0, w, fh);
  const int bw = 16;
  Fill(cr, w - bw - 2, 2, bw, fh - 4, kFace);
  Raised(cr, w - bw - 2, 2, bw, fh - 4);
  Arrow(cr, w - bw - 2, 2, bw, fh - 4, disabled);
  std::string text = info.caption;
  if (list) text = c.selected >= 0 && c.selected < static_cast<int>(c.items.size()) ? c.items[c.selected] : "";
  const bool highlighted = list && GetFocus() == info.hwnd && !text.empty();
  Font font = FontOf(info);
  if (highlighted) {
    Fill(cr, 3, 3, w - bw - 6, fh - 6, kHighlight);
    font.color = kWhite;
  }
  DrawText(cr, font, text, 4, 2, w - bw - 8, fh - 4, HAlign::Left, VAlign::Center, false, true, disabled);
}

void DrawListBox(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const bool disabled = Disabled(info);
  Fill(cr, 0, 0, w, h, Background(info, kWhite));
  const Font font = FontOf(info);
  const int rowHeight = static_cast<int>(std::ceil(font.em)) + 3;
  const auto& c = info.control;
  for (size_t i = 0; i < c.items.size(); ++i) {
    const int y = static_cast<int>(i) * rowHeight;
    if (y >= h) break;
    Font f = font;
    if (static_cast<int>(i) == c.selected) {
      Fill(cr, 0, y, w, rowHeight, kHighlight);
      f.color = kWhite;
    }
    DrawText(cr, f, c.items[i], 2, y, w - 4, rowHeight, HAlign::Left, VAlign::Center, false, true, disabled);
  }
}

void DrawTrackBar(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const ControlState& c = info.control;
  const bool disabled = Disabled(info);
  Fill(cr, 0, 0, w, h, Background(info, kFace));
  const bool vertical = (info.style & TBS_VERT) != 0;
  // Work in the bar's own direction: `len` along it, `across` across it.
  const int len = vertical ? h : w, across = vertical ? w : h;
  const int margin = 11;  // half a thumb: the ends of the channel
  const int channelAt = std::min(across / 2 - 4, 8);
  auto rect = [&](int along, int off, int l, int a, uint32_t color) {
    if (vertical)
      Fill(cr, off, along, a, l, color);
    else
      Fill(cr, along, off, l, a, color);
  };
  // The channel: a sunken groove four pixels deep.
  const int ch0 = margin - 2, chLen = std::max(0, len - 2 * margin + 4);
  rect(ch0, channelAt, chLen, 4, kWhite);
  rect(ch0, channelAt, chLen - 1, 3, kShadow);
  rect(ch0 + 1, channelAt + 1, chLen - 3, 1, kDarkShadow);
  rect(ch0 + 1, channelAt + 2, chLen - 3, 1, kFace);
  const int span = std::max(1, c.rangeMax - c.rangeMin);
  auto at = [&](int value) {
    const int usable = std::max(0, len - 2 * margin);
    return margin + static_cast<int>(std::lround(static_cast<double>(value - c.rangeMin) * usable / span));
  };
  // Ticks below (right of) the channel, every TBM_SETTICFREQ positions, and at both ends.
  if ((info.style & TBS_AUTOTICKS) && !(info.style & TBS_NOTICKS) && c.rangeMax > c.rangeMin) {
    const int freq = std::max(1, c.ticFreq);
    const int tickAt = std::min(across - 4, channelAt + 15);
    int drawn = 0;
    for (int v = c.rangeMin; v <= c.rangeMax && drawn < 1000; v += freq, ++drawn) rect(at(v), tickAt, 1, 3, kBlack);
    rect(at(c.rangeMax), tickAt, 1, 3, kBlack);
  }
  if (info.style & TBS_NOTHUMB) return;
  // The thumb: eleven pixels wide, pointing at the ticks.
  const int pos = at(std::clamp(c.pos, std::min(c.rangeMin, c.rangeMax), std::max(c.rangeMin, c.rangeMax)));
  const int t0 = pos - 5, thumbLen = 11, thumbTop = std::max(0, channelAt - 6), thumbAcross = 16;
  rect(t0, thumbTop, thumbLen, thumbAcross, kFace);
  rect(t0, thumbTop, thumbLen, 1, kWhite);
  rect(t0, thumbTop, 1, thumbAcross, kWhite);
  rect(t0 + thumbLen - 1, thumbTop, 1, thumbAcross, kDarkShadow);
  rect(t0 + thumbLen - 2, thumbTop + 1, 1, thumbAcross - 1, kShadow);
  rect(t0, thumbTop + thumbAcross - 1, thumbLen, 1, kDarkShadow);
  if (disabled)
    for (int y = thumbTop + 2; y < thumbTop + thumbAcross - 2; y += 2) rect(t0 + 3 + (y % 4 == 0), y, 1, 1, kShadow);
}

void DrawTabControl(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const ControlState& c = info.control;
  const bool disabled = Disabled(info);
  Fill(cr, 0, 0, w, h, Background(info, kFace));
  const TabLayout layout = LayoutTabs(info, w, h);
  // The pages' frame, raised.
  const RECT d = layout.display;
  const int fx = d.left - 4, fy = d.top - 2, fw = d.right - d.left + 8, fh = d.bottom - d.top + 6;
  Edge(cr, fx, fy, fw, fh, kWhite, kDarkShadow);
  Edge(cr, fx + 1, fy + 1, fw - 2, fh - 2, kFace, kShadow);
  const Font font = FontOf(info);
  auto tab = [&](size_t i, bool selected) {
    const RECT r = layout.tabs[i];
    int x = r.left, y = r.top, tw = r.right - r.left, th = r.bottom - r.top;
    if (selected) x -= 2, y -= 2, tw += 4, th += 3;
    Fill(cr, x, y, tw, th, kFace);
    Line(cr, x, y + 2, x, y + th - 1, kWhite);
    Line(cr, x + 1, y + 1, x + 1, y + 1, kWhite);
    Line(cr, x + 2, y, x + tw - 3, y, kWhite);
    Line(cr, x + tw - 2, y + 1, x + tw - 2, y + 1, kDarkShadow);
    Line(cr, x + tw - 1, y + 2, x + tw - 1, y + th - 1, kDarkShadow);
    Line(cr, x + tw - 2, y + 2, x + tw - 2, y + th - 1, kShadow);
    DrawText(cr, font, c.items[i], x + 2, y + 1, tw - 4, th - 2, HAlign::Center, VAlign::Center, false, false,
             disabled);
    if (selected && GetFocus() == info.hwnd) FocusRect(cr, x + 3, y + 3, tw - 6, th - 5);
  };
  for (size_t i = 0; i < layout.tabs.size(); ++i)
    if (static_cast<int>(i) != c.selected) tab(i, false);
  if (c.selected >= 0 && c.selected < static_cast<int>(layout.tabs.size())) tab(static_cast<size_t>(c.selected), true);
}

void DrawBevel(cairo_t* cr, FrameShape shape, bool raised, int w, int h) {
  const uint32_t a = raised ? kWhite : kShadow, b = raised ? kShadow : kWhite;
  switch (shape) {
    case FrameShape::Box: Edge(cr, 0, 0, w, h, a, b); break;
    case FrameShape::Frame:
      Edge(cr, 0, 0, w - 1, h - 1, a, a);
      Edge(cr, 1, 1, w - 1, h - 1, b, b);
      break;
    case FrameShape::TopLine:
      Line(cr, 0, 0, w - 1, 0, a);
      Line(cr, 0, 1, w - 1, 1, b);
      break;
    case FrameShape::BottomLine:
      Line(cr, 0, h - 2, w - 1, h - 2, a);
      Line(cr, 0, h - 1, w - 1, h - 1, b);
      break;
    case FrameShape::LeftLine:
      Line(cr, 0, 0, 0, h - 1, a);
      Line(cr, 1, 0, 1, h - 1, b);
      break;
    case FrameShape::RightLine:
      Line(cr, w - 2, 0, w - 2, h - 1, a);
      Line(cr, w - 1, 0, w - 1, h - 1, b);
      break;
    case FrameShape::None: break;
  }
}

void DrawImage(cairo_t* cr, const WindowImage& image, int w, int h) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return;
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint32_t clear = image.pixels[static_cast<size_t>(image.height - 1) * static_cast<size_t>(image.width)];
  for (int y = 0; y < image.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < image.width; ++x) {
      const uint32_t c = image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
      if (image.transparent && c == clear) {
        row[x] = 0;
        continue;
      }
      row[x] = 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
  }
  cairo_surface_mark_dirty(s);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_clip(cr);
  if (image.stretch) {
    cairo_scale(cr, static_cast<double>(w) / image.width, static_cast<double>(h) / image.height);
  } else if (image.center) {
    cairo_translate(cr, (w - image.width) / 2, (h - image.height) / 2);
  }
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  // A stretched picture's edges keep their own colour instead of fading into nothing.
  if (image.stretch) cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

void DrawStatic(cairo_t* cr, const WindowInfo& info, int w, int h) {
  const DWORD type = info.style & SS_TYPEMASK;
  const auto& look = info.control.look;
  const bool transparent = look && look->transparent;
  if (look && look->frame != FrameShape::None) {
    DrawBevel(cr, look->frame, look->frameRaised, w, h);
    return;
  }
  switch (type) {
    case SS_BITMAP:
    case SS_ICON:
      if (!transparent) Fill(cr, 0, 0, w, h, Background(info, kFace));
      if (info.control.image) DrawImage(cr, *info.control.image, w, h);
      return;
    case SS_ETCHEDFRAME: Etched(cr, 0, 0, w, h); return;
    case SS_ETCHEDHORZ: DrawBevel(cr, FrameShape::TopLine, false, w, h); return;
    case SS_ETCHEDVERT: DrawBevel(cr, FrameShape::LeftLine, false, w, h); return;
    case SS_BLACKRECT: Fill(cr, 0, 0, w, h, kBlack); return;
    case SS_GRAYRECT: Fill(cr, 0, 0, w, h, kShadow); return;
    case SS_WHITERECT: Fill(cr, 0, 0, w, h, kWhite); return;
    case SS_BLACKFRAME: Edge(cr, 0, 0, w, h, kBlack, kBlack); return;
    case SS_GRAYFRAME: Edge(cr, 0, 0, w, h, kShadow, kShadow); return;
    case SS_WHITEFRAME: Edge(cr, 0, 0, w, h, kWhite, kWhite); return;
    default: break;
  }
  if (!transparent) Fill(cr, 0, 0, w, h, Background(info, kFace));
  const HAlign ha = type == SS_CENTER ? HAlign::Center : type == SS_RIGHT ? HAlign::Right : HAlign::Left;
  const bool wrap = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
  DrawText(cr, FontOf(info), info.caption, 0, 0, w, h, ha, VAlign::Top, wrap, (info.style & SS_NOPREFIX) != 0,
           Disabled(info));
}

// Framework windows (forms, panels, pages): the face, then a panel's bevels and caption.
void DrawFrameworkWindow(cairo_t* cr, const WindowInfo& info, int w, int h, bool topLevel) {
  Fill(cr, 0, 0, w, h, Background(info, kFace));
  const auto& look = info.control.look;
  if (!look) return;
  int inset = 0;
  auto bevel = [&](BevelCut cut) {
    if (cut == BevelCut::None) return;
    for (int i = 0; i < look->bevelWidth; ++i, ++inset) {
      if (cut == BevelCut::Raised) Edge(cr, inset, inset, w - 2 * inset, h - 2 * inset, kWhite, kShadow);
      if (cut == BevelCut::Lowered) Edge(cr, inset, inset, w - 2 * inset, h - 2 * inset, kShadow, kWhite);
    }
  };
  bevel(look->bevelOuter);
  inset += look->borderWidth;
  bevel(look->bevelInner);
  // A panel shows its caption centred (or as its alignment says); forms show theirs in the title bar.
  if (!topLevel && look->bevelOuter != BevelCut::None) {
    const DWORD align = info.style & SS_TYPEMASK;
    DrawText(cr, FontOf(info), info.caption, inset + 1, inset, w - 2 * inset - 2, h - 2 * inset,
             align == SS_CENTER ? HAlign::Center : align == SS_RIGHT ? HAlign::Right : HAlign::Left, VAlign::Center,
             false, false, Disabled(info));
  }
}

// The non-client area: borders by FrameInsets, and the caption bar with its close box.
void DrawNonClient(cairo_t* cr, const WindowInfo& info, int w, int h, const RECT& frame) {
  const bool topLevel = !(info.style & WS_CHILD);
  const int border = frame.left;
  if (border >= 2 && topLevel) {
    Fill(cr, 0, 0, w, h, kFace);
    Raised(cr, 0, 0, w, h);
  } else if (info.exStyle & WS_EX_CLIENTEDGE) {
    Sunken(cr, 0, 0, w, h);
  } else if (info.exStyle & WS_EX_STATICEDGE) {
    Edge(cr, 0, 0, w, h, kShadow, kWhite);
  } else if (border >= 1) {
    Edge(cr, 0, 0, w, h, kBlack, kBlack);
  }
  if ((info.style & WS_CAPTION) != WS_CAPTION) return;
  const int cx = border, cy = border, cw = w - 2 * border, chh = frame.top - border - 1;
  if (cw <= 0 || chh <= 0) return;
  cairo_save(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(cx, 0, cx + cw, 0);
  auto stop = [&](double at, uint32_t c) {
    cairo_pattern_add_color_stop_rgb(g, at, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
  };
  stop(0, kCaptionLeft);
  stop(1, kCaptionRight);
  cairo_rectangle(cr, cx, cy, cw, chh);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_restore(cr);
  const int box = (info.style & WS_SYSMENU) ? chh - 4 : 0;
  Font font;
  font.bold = true;
  font.color = kWhite;
  DrawText(cr, font, info.caption, cx + 4, cy, cw - 8 - (box ? box + 4 : 0), chh, HAlign::Left, VAlign::Center, false,
           true, false);
  if (box > 0) {
    // The close box: a small raised button with a cross.
    const int bx = cx + cw - box - 4, by = cy + 2, bw = box + 2;
    Fill(cr, bx, by, bw, box, kFace);
    Raised(cr, bx, by, bw, box);
    cairo_save(cr);
    SetColor(cr, kBlack);
    cairo_set_line_width(cr, 1.5);
    const double m = 4;
    cairo_move_to(cr, bx + m, by + m - 0.5);
    cairo_line_to(cr, bx + bw - m, by + box - m - 0.5);
    cairo_move_to(cr, bx + bw - m, by + m - 0.5);
    cairo_line_to(cr, bx + m, by + box - m - 0.5);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
}

// Draws the window at the current origin, then its visible children in creation order.
void DrawWindow(cairo_t* cr, HWND hwnd, int depth) {
  WindowInfo info;
  if (depth > 64 || !GetWindowInfo(hwnd, info)) return;
  const int w = info.rect.right - info.rect.left, h = info.rect.bottom - info.rect.top;
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_clip(cr);
  const bool topLevel = !(info.style & WS_CHILD);
  const RECT frame = FrameInsets(info.style, info.exStyle);
  DrawNonClient(cr, info, w, h, frame);
  const int cw = w - frame.left - frame.right, ch = h - frame.top - frame.bottom;
  cairo_translate(cr, frame.left, frame.top);
  cairo_rectangle(cr, 0, 0, std::max(cw, 0), std::max(ch, 0));
  cairo_clip(cr);
  if (EqualNoCase(info.className, "BUTTON"))
    DrawButton(cr, info, cw, ch);
  else if (EqualNoCase(info.className, "EDIT"))
    DrawEdit(cr, info, cw, ch);
  else if (EqualNoCase(info.className, "COMBOBOX"))
    DrawComboBox(cr, info, cw, ch);
  else if (EqualNoCase(info.className, "LISTBOX"))
    DrawListBox(cr, info, cw, ch);
  else if (EqualNoCase(info.className, "STATIC"))
    DrawStatic(cr, info, cw, ch);
  else if (EqualNoCase(info.className, TRACKBAR_CLASSA))
    DrawTrackBar(cr, info, cw, ch);
  else if (EqualNoCase(info.className, WC_TABCONTROLA))
    DrawTabControl(cr, info, cw, ch);
  else
    DrawFrameworkWindow(cr, info, cw, ch, topLevel);
  for (HWND child : ChildWindows(hwnd)) {
    WindowInfo ci;
    if (!GetWindowInfo(child, ci) || !(ci.style & WS_VISIBLE) || !(ci.style & WS_CHILD)) continue;
    cairo_save(cr);
    cairo_translate(cr, ci.rect.left, ci.rect.top);
    DrawWindow(cr, child, depth + 1);
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                             : CAIRO_STATUS_WRITE_ERROR;
}

// cairo and fontconfig keep their font caches for the life of the process. Leak-checking builds give
// them back at exit, once the pictures are done, so that the checker reports only what was lost;
// elsewhere they are left alone, as another user of cairo in the process may still need them.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kReleaseFontCaches = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kReleaseFontCaches = true;
#else
constexpr bool kReleaseFontCaches = false;
#endif
#else
constexpr bool kReleaseFontCaches = false;
#endif

struct FontCaches {
  ~FontCaches() {
    if (!kReleaseFontCaches) return;
    cairo_debug_reset_static_data();
    FcFini();
  }
};

// Called before the first text is drawn: the caches are given back after everything that exists by
// then (objects destroyed at exit go in the reverse order of their making).
void UsingFontCaches() { static FontCaches caches; }

}  // namespace

namespace korven::platform {

WindowPicture RenderWindow(HWND hwnd) {
  WindowInfo info;
  if (!GetWindowInfo(hwnd, info)) throw std::invalid_argument("RenderWindow: not a window");
  WindowPicture picture;
  picture.width = std::max(0, static_cast<int>(info.rect.right - info.rect.left));
  picture.height = std::max(0, static_cast<int>(info.rect.bottom - info.rect.top));
  if (picture.width == 0 || picture.height == 0) return picture;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    const std::string why = cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    throw std::runtime_error("RenderWindow: " + why);
  }
  UsingFontCaches();
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
  // Advances as the font has them, so that a narrowed line is exactly as wide as its box.
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  DrawWindow(cr, hwnd, 0);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  picture.pixels.resize(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t c = row[x];  // 0x00RRGGBB
      picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x)] =
          ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
    }
  }
  cairo_surface_destroy(surface);
  return picture;
}

void WritePng(const WindowPicture& picture, const std::string& fileName) {
  if (picture.width <= 0 || picture.height <= 0)
    throw std::runtime_error("cannot write " + fileName + ": the window has no area");
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  if (!data) {
    cairo_surface_destroy(surface);
    throw std::runtime_error("cannot write " + fileName + ": out of memory");
  }
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < picture.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t c = picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x)];
      row[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
  }
  cairo_surface_mark_dirty(surface);
  // Written beside the target and renamed over it, so a reader never sees half a picture.
  const std::string temporary = fileName + ".part";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    const int err = errno;
    cairo_surface_destroy(surface);
    throw std::runtime_error("cannot write " + fileName + ": " + std::strerror(err));
  }
  cairo_status_t status = cairo_surface_write_to_png_stream(surface, &WriteToFile, out);
  const int err = errno;
  cairo_surface_destroy(surface);
  const bool closed = std::fclose(out) == 0;
  if (status != CAIRO_STATUS_SUCCESS || !closed || std::rename(temporary.c_str(), fileName.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot write " + fileName + ": " +
                             (status == CAIRO_STATUS_SUCCESS || status == CAIRO_STATUS_WRITE_ERROR
                                  ? std::string(std::strerror(err ? err : EIO))
                                  : std::string(cairo_status_to_string(status))));
  }
}

void RenderWindowToPng(HWND hwnd, const std::string& fileName) { WritePng(RenderWindow(hwnd), fileName); }

}  // namespace korven::platform
