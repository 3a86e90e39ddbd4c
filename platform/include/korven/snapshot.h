// korven platform layer: what a window looks like, and pictures of windows.
//
// Win32 windows paint themselves; here nothing is painted until someone asks for a picture. The
// built-in controls ("BUTTON", "EDIT", "COMBOBOX", "LISTBOX", "STATIC", the track bar and the tab
// control) are drawn from their own state in the classic Windows style. What Win32 would learn from a
// window's own painting (the face colour and font a framework control uses, a panel's bevels, the
// pixels of an image control) the owner of the window states with SetWindowLook and SetWindowImage.
//
// RenderWindow draws a window and its visible descendants at 96 pixels per inch, each control at its
// own rectangle: a top-level window with its frame (caption bar, borders) at its window size, so the
// client area starts at the frame's left and top widths (AdjustWindowRectEx). Texts are drawn with
// fonts chosen through fontconfig; "ＭＳ Ｐゴシック" and the framework's default fonts are drawn with
// IPAPGothic (Debian's fonts-ipafont-gothic), which covers Latin and Japanese text.
#ifndef KORVEN_SNAPSHOT_H
#define KORVEN_SNAPSHOT_H

#include <korven/desktop.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korven::platform {

// How one edge of a panel is cut: none, sunk in, raised, or an empty band.
enum class BevelCut { None, Lowered, Raised, Space };
// What a frame control (a bevel) draws: a sunken/raised box, an etched frame, or one line.
enum class FrameShape { None, Box, Frame, TopLine, BottomLine, LeftLine, RightLine };

// The look of a window beyond its class and styles. Colours are COLORREF values (0x00BBGGRR).
struct WindowLook {
  static constexpr uint32_t kClassColor = 0xFFFFFFFFu;  // the class's own colour
  uint32_t color = kClassColor;  // background of the window's client area
  std::string fontName;          // in the ANSI code page; empty: the default font
  int fontHeight = 0;            // pixels; negative: character height without leading (as LOGFONT); 0: default
  bool bold = false, italic = false, underline = false, strikeOut = false;
  uint32_t fontColor = 0;        // text colour
  bool transparent = false;      // a label drawn over its parent's background
  // Panels: an outer and an inner bevel, each bevelWidth wide, borderWidth apart.
  BevelCut bevelOuter = BevelCut::None;
  BevelCut bevelInner = BevelCut::None;
  int bevelWidth = 1;
  int borderWidth = 0;
  // Frame controls (a "STATIC" used as a bevel): the shape, raised instead of lowered.
  FrameShape frame = FrameShape::None;
  bool frameRaised = false;
};

// Pixels an image control shows: COLORREF values, rows top-down. Stretch scales the picture to the
// control; Center centres it; Transparent leaves the pixels that have the colour of the bottom-left
// pixel to the parent's background.
struct WindowImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  bool stretch = false;
  bool center = false;
  bool transparent = false;
};

// States the look; false for an invalid window. The look is kept until the window is destroyed.
bool SetWindowLook(HWND hwnd, const WindowLook& look);
// The look stated for the window (a default look when none was).
WindowLook GetWindowLook(HWND hwnd);
// Gives an image control its pixels (nullptr: none); false for an invalid window.
bool SetWindowImage(HWND hwnd, std::shared_ptr<const WindowImage> image);

}  // namespace korven::platform

#endif  // KORVEN_SNAPSHOT_H
