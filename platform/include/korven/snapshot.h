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
#include <utility>
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

// A picture of a window: COLORREF values, rows top-down.
struct WindowPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  bool operator==(const WindowPicture&) const = default;
};

// Draws the window (a top-level one with its frame) and its visible descendants as they are now.
// Throws std::invalid_argument for an invalid window.
WindowPicture RenderWindow(HWND hwnd);
// Writes the picture as a PNG file (through a temporary file beside it); throws std::runtime_error
// naming the file and the cause.
void WritePng(const WindowPicture& picture, const std::string& fileName);
// RenderWindow, then WritePng.
void RenderWindowToPng(HWND hwnd, const std::string& fileName);

// A desktop in front of another that writes a picture of every visible top-level window of the
// waiting thread into a folder whenever the thread waits and the window looks different from its last
// picture (so each state a person would see is kept once), then lets the other desktop act. Files are
// named "NNN-caption.png", numbered in the order written.
class SnapshotDesktop : public Desktop {
 public:
  SnapshotDesktop(Desktop& inner, std::string folder);
  // Pictures of the windows that changed since their last picture; throws std::runtime_error when a
  // file cannot be written.
  void Snap();
  // The files written so far, in order.
  const std::vector<std::string>& Written() const { return written_; }

  void Shown(const ShownWindow& window) override { inner_.Shown(window); }
  bool Idle() override;
  int BlockLimitMs() const override { return inner_.BlockLimitMs(); }
  void Stalled() override { inner_.Stalled(); }
  int TimerOnlyLimitMs() const override { return inner_.TimerOnlyLimitMs(); }
  void StalledOnTimers() override { inner_.StalledOnTimers(); }

 private:
  Desktop& inner_;
  std::string folder_;
  std::vector<std::pair<HWND, WindowPicture>> last_;
  std::vector<std::string> written_;
};

}  // namespace korven::platform

#endif  // KORVEN_SNAPSHOT_H
