#include "script.h"

#include <fstream>
#include <sstream>

namespace korven::designer {

namespace {

struct Shape {
  const char* verb;
  size_t min, max;
};
constexpr Shape kShapes[] = {{"press", 1, 2}, {"pick", 1, 3}, {"type", 1, 3}, {"check", 1, 3}, {"tab", 1, 2},
                             {"slide", 2, 3}, {"focus", 1, 2}, {"close", 0, 1}};

std::vector<std::string> Words(const std::string& line, const std::string& where) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    std::string w;
    if (line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) throw ScriptError(where + ": a quote is not closed");
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            w += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        w += line[i];
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') w += line[i++];
    }
    words.push_back(w);
  }
  return words;
}

// "" and "-" leave a control or window unnamed.
std::string Name(const std::vector<std::string>& args, size_t i) {
  if (i >= args.size() || args[i] == "-") return "";
  return args[i];
}

}  // namespace

Script Script::Load(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw ScriptError("cannot read the script " + fileName);
  std::ostringstream s;
  s << in.rdbuf();
  return Parse(s.str(), fileName);
}

Script Script::Parse(const std::string& text, const std::string& fileName) {
  Script script;
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string where = fileName + ":" + std::to_string(n);
    auto words = Words(line, where);
    if (words.empty() || words[0][0] == '#') continue;
    const Shape* shape = nullptr;
    for (const Shape& s : kShapes)
      if (words[0] == s.verb) shape = &s;
    if (!shape)
      throw ScriptError(where + ": unknown step '" + words[0] + "' (press, pick, type, check, tab, slide, focus, close)");
    std::vector<std::string> args(words.begin() + 1, words.end());
    if (args.size() < shape->min || args.size() > shape->max)
      throw ScriptError(where + ": '" + shape->verb + "' takes " + std::to_string(shape->min) + " to " +
                        std::to_string(shape->max) + " words");
    if (words[0] == "check" && args.size() >= 2 && args[1] != "on" && args[1] != "off")
      throw ScriptError(where + ": 'check' takes on or off, not '" + args[1] + "'");
    if (words[0] == "slide") {
      size_t used = 0;
      try {
        (void)std::stoi(args[1], &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != args[1].size()) throw ScriptError(where + ": '" + args[1] + "' is no slider position");
    }
    script.steps_.push_back(Step{words[0], args, n});
  }
  return script;
}

void Script::Queue(platform::ScriptedDesktop& desktop) const {
  for (const Step& s : steps_) {
    const auto& a = s.args;
    if (s.verb == "press")
      desktop.Press(a[0], Name(a, 1));
    else if (s.verb == "pick")
      desktop.Pick(a[0], Name(a, 2), Name(a, 1));
    else if (s.verb == "type")
      desktop.Type(a[0], Name(a, 2), Name(a, 1));
    else if (s.verb == "check")
      desktop.Check(a[0], a.size() < 2 || a[1] == "on", Name(a, 2));
    else if (s.verb == "tab")
      desktop.SelectTab(a[0], Name(a, 1));
    else if (s.verb == "slide")
      desktop.Slide(a[0], std::stoi(a[1]), Name(a, 2));
    else if (s.verb == "focus")
      desktop.Focus(a[0], Name(a, 1));
    else if (s.verb == "close")
      desktop.Close(Name(a, 0));
  }
}

}  // namespace korven::designer
