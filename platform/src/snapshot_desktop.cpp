// SnapshotDesktop: a picture of each new look of every window, taken whenever the thread waits.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "internal.h"

namespace korven::platform {

namespace {

// A file name part from a caption: UTF-8, no '/' or control characters, at most about 60 bytes.
std::string FileNamePart(const std::string& ansiCaption) {
  const std::string caption = ToUtf8(detail::StripAccelerators(ansiCaption));
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    const auto c = static_cast<unsigned char>(caption[i]);
    // Cut only before the first byte of a character.
    if (out.size() >= 60 && (c & 0xC0) != 0x80) break;
    out += c < 0x20 || c == '/' || c == '\\' || c == '*' || c == '?' || c == ':' ? '_' : caption[i];
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "window" : out;
}

}  // namespace

SnapshotDesktop::SnapshotDesktop(Desktop& inner, std::string folder) : inner_(inner), folder_(std::move(folder)) {}

void SnapshotDesktop::Snap() {
  const std::vector<HWND> windows = VisibleWindows();
  // Forget windows that are gone (a handle may come back for another window).
  std::erase_if(last_, [&](const auto& entry) { return !IsWindow(entry.first); });
  // The bottom-most first, so the numbers follow what appeared first.
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    WindowPicture picture = RenderWindow(*it);
    auto known = std::find_if(last_.begin(), last_.end(), [&](const auto& e) { return e.first == *it; });
    if (known != last_.end() && known->second == picture) continue;
    char number[16];
    std::snprintf(number, sizeof number, "%03zu-", written_.size() + 1);
    const std::string file =
        (std::filesystem::path(folder_) / (number + FileNamePart(detail::Caption(*it)) + ".png")).string();
    WritePng(picture, file);
    written_.push_back(file);
    if (known != last_.end())
      known->second = std::move(picture);
    else
      last_.emplace_back(*it, std::move(picture));
  }
}

bool SnapshotDesktop::Idle() {
  Snap();
  return inner_.Idle();
}

}  // namespace korven::platform
