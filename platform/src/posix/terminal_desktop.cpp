// The terminal desktop (POSIX): windows as text on a terminal, answered with keys.
#include <korven/terminal_desktop.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace korven::platform {

namespace {

void Write(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= size_t(n);
  }
}

// The caption without '&' accelerators, as a person reads it.
std::string Plain(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] != '&') continue;
    out += caption[i];
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The terminal in the mode that delivers single keys without echo, while it lives.
class RawMode {
 public:
  explicit RawMode(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawMode() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

enum class Key { None, Digit, Up, Down, Left, Right, Tab, Enter, Escape, Type, Other };

}  // namespace

struct TerminalDesktop::State {
  int in = 0, out = 2;
  HWND shown = 0;          // the window last written to the terminal
  std::string drawn;       // what was written for it
  size_t button = 0;       // the marked button
  std::string buttonOf;    // ... of this window's caption, so a new window starts at its default

  // Waits up to ms for a key; digit receives the digit's value.
  Key Read(int ms, int& digit) {
    RawMode raw(in);
    pollfd p{in, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return Key::None;
    char c = 0;
    if (read(in, &c, 1) != 1) return Key::None;
    if (c >= '1' && c <= '9') {
      digit = c - '0';
      return Key::Digit;
    }
    if (c == '\r' || c == '\n') return Key::Enter;
    if (c == '\t') return Key::Tab;
    if (c == 't' || c == 'T') return Key::Type;
    if (c == '\x1b') {
      // An escape sequence follows at once; a lone Esc does not.
      pollfd q{in, POLLIN, 0};
      if (poll(&q, 1, 50) <= 0) return Key::Escape;
      char seq[2] = {};
      if (read(in, &seq[0], 1) != 1) return Key::Escape;
      if (seq[0] != '[' && seq[0] != 'O') return Key::Escape;
      if (read(in, &seq[1], 1) != 1) return Key::Other;
      switch (seq[1]) {
        case 'A': return Key::Up;
        case 'B': return Key::Down;
        case 'C': return Key::Right;
        case 'D': return Key::Left;
        default: return Key::Other;
      }
    }
    return Key::Other;
  }

  // One line typed by the person, echoed, ended by Enter.
  std::string ReadLine() {
    std::string line;
    for (;;) {
      char c = 0;
      ssize_t n = read(in, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == '\n' || c == '\r') break;
      line += c;
    }
    return line;
  }

  std::string Describe(const ShownWindow& w, size_t marked) const {
    std::string text = "\r\n== " + (w.caption.empty() ? std::string("(untitled)") : w.caption) + " ==\r\n";
    for (const auto& t : w.texts)
      if (!t.empty()) text += "  " + Plain(t) + "\r\n";
    for (size_t i = 0; i < w.items.size(); ++i)
      text += "  " + (i < 9 ? std::to_string(i + 1) + ")" : std::string("  ")) + " " + w.items[i] +
              (w.items[i] == w.selectedItem ? "   <- selected" : "") + "\r\n";
    for (size_t i = 0; i < w.edits.size(); ++i) text += "  [" + w.edits[i] + "]" + (i == 0 ? "  (t to type)" : "") + "\r\n";
    text += " ";
    for (size_t i = 0; i < w.buttons.size(); ++i)
      text += i == marked ? " >[" + Plain(w.buttons[i]) + "]<" : "  [" + Plain(w.buttons[i]) + "] ";
    text += "\r\n  (";
    if (!w.items.empty()) text += "1-9 or Up/Down pick, ";
    text += "Left/Right choose a button, Enter presses it, Esc cancels)\r\n";
    return text;
  }
};

bool TerminalDesktop::Usable(int in, int out) { return isatty(in) && isatty(out); }

TerminalDesktop::TerminalDesktop(int in, int out) : state_(new State) {
  state_->in = in;
  state_->out = out;
}

TerminalDesktop::~TerminalDesktop() { delete state_; }

void TerminalDesktop::Shown(const ShownWindow&) {}

bool TerminalDesktop::Idle() {
  State& s = *state_;
  // The topmost enabled dialog (or window with buttons) of this thread is the one in front.
  HWND front = 0;
  ShownWindow w;
  for (HWND h : VisibleWindows()) {
    if (!IsWindowEnabled(h)) continue;
    ShownWindow d = Describe(h);
    if (d.dialog || !d.buttons.empty()) {
      front = h;
      w = d;
      break;
    }
  }
  if (!front) return false;
  if (front != s.shown || s.buttonOf != w.caption) {
    // A new window: the marked button starts at its default button.
    s.button = 0;
    for (size_t i = 0; i < w.buttons.size(); ++i)
      if (w.buttons[i] == w.defaultButton) s.button = i;
    s.buttonOf = w.caption;
  }
  if (s.button >= w.buttons.size()) s.button = 0;
  std::string text = s.Describe(w, s.button);
  if (front != s.shown || text != s.drawn) {
    Write(s.out, text);
    s.shown = front;
    s.drawn = text;
  }

  int digit = 0;
  Key key = s.Read(100, digit);
  auto selected = [&] {
    auto it = std::find(w.items.begin(), w.items.end(), w.selectedItem);
    return it == w.items.end() ? -1 : int(it - w.items.begin());
  };
  switch (key) {
    case Key::None:
    case Key::Other: return false;
    case Key::Digit:
      if (size_t(digit) > w.items.size()) return false;
      return PickItem(front, w.items[size_t(digit) - 1]);
    case Key::Up:
    case Key::Down: {
      if (w.items.empty()) return false;
      int i = selected() + (key == Key::Down ? 1 : -1);
      if (selected() < 0) i = key == Key::Down ? 0 : int(w.items.size()) - 1;
      i = std::clamp(i, 0, int(w.items.size()) - 1);
      return PickItem(front, w.items[size_t(i)]);
    }
    case Key::Left:
    case Key::Right:
    case Key::Tab:
      if (w.buttons.empty()) return false;
      s.button = (s.button + (key == Key::Left ? w.buttons.size() - 1 : 1)) % w.buttons.size();
      s.drawn.clear();  // written again with the new mark at the next turn
      return true;
    case Key::Enter:
      if (w.buttons.empty()) return false;
      Write(s.out, "  -> " + Plain(w.buttons[s.button]) + "\r\n");
      s.shown = 0;
      return PressButton(front, w.buttons[s.button]);
    case Key::Escape: {
      s.shown = 0;
      for (const auto& b : w.buttons)
        if (Lower(Plain(b)) == "cancel") {
          Write(s.out, "  -> " + Plain(b) + "\r\n");
          return PressButton(front, b);
        }
      Write(s.out, "  -> closed\r\n");
      return RequestClose(front);
    }
    case Key::Type: {
      if (w.edits.empty()) return false;
      Write(s.out, "  text: ");
      std::string line = s.ReadLine();
      s.drawn.clear();
      return TypeText(front, line);
    }
  }
  return false;
}

}  // namespace korven::platform
