// korven-designer: the designer host. It loads design packages (by default the installed korvends)
// as the IDE loads packages, and works on form files: the palette, a component's Object Inspector
// rows, writing properties through their editors, and running component-editor verbs with the
// desktop. Exit codes: see Usage() and the README.
#include <CLI/CLI.hpp>
#include <korven/desktop.h>
#include <korven/snapshot.h>
#include <vcl/DesignIntf.h>
#include <vcl/Forms.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form_file.h"
#include "script.h"

namespace fs = std::filesystem;
using korven::designer::FormFile;
using korven::designer::FormFileError;

namespace {

constexpr const char* kProgram = "korven-designer";

enum Exit : int {
  kOk = 0,
  kFailure = 1,   // an unexpected error
  kUsage = 2,     // bad command line, unknown component, property or verb, refused value
  kPackage = 3,   // a design package could not be loaded
  kFormFile = 4,  // the form file cannot be read or written
  kVerb = 5,      // the verb raised an error (the form file is left as it was)
};

// An error that ends the program with its exit code and a one-line message.
struct Stop {
  int code;
  std::string message;
};

const char* kExitCodes =
    "Exit codes: 0 done; 2 bad usage, unknown component, property or verb, or a value the property\n"
    "editor refused (read-only row, bad value); 3 a design package could not be loaded; 4 the form\n"
    "file cannot be read or written; 5 the verb failed (the form file is left as it was); 1 any other\n"
    "error.";

// The folder of this program.
fs::path ProgramDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

// The installed korvends, relative to the program (an install and the build tree are laid out alike).
std::string DefaultPackage() {
  fs::path dir = ProgramDir();
  for (const char* rel : {KORVEN_DESIGN_PACKAGE_RELDIR, "../lib/korven/design"}) {
    fs::path p = (dir / rel / "korvends.so").lexically_normal();
    if (fs::exists(p)) return p.string();
  }
  return (dir / KORVEN_DESIGN_PACKAGE_RELDIR / "korvends.so").lexically_normal().string();
}

struct Options {
  std::vector<std::string> packages;
  std::string snapshotDir;
  std::string script;
  std::string form;
  std::string component;
  std::vector<std::string> assignments;
  int verb = -1;
  bool events = false;
  bool calls = false;
  std::string output;
};

vcl::TComponent* FindComponent(FormFile& form, const std::string& name) {
  vcl::TComponent* c = form.Find(name);
  if (!c) throw Stop{kUsage, form.FileName() + " has no component named " + name};
  return c;
}

std::unique_ptr<FormFile> OpenForm(const std::string& name) {
  try {
    return std::make_unique<FormFile>(name);
  } catch (const FormFileError& e) {
    throw Stop{kFormFile, e.what()};
  }
}

void SaveForm(FormFile& form) {
  try {
    form.Save();
  } catch (const FormFileError& e) {
    throw Stop{kFormFile, e.what()};
  }
  std::cerr << kProgram << ": saved " << form.FileName() << "\n";
}

// ---- Commands -----------------------------------------------------------------------------------

int Palette(const Options& o, const std::vector<std::unique_ptr<vcl::TDesignPackage>>& packages) {
  for (const auto& p : packages)
    std::cout << "package " << p->FileName() << (p->Description().empty() ? "" : ": " + p->Description()) << "\n";
  if (o.calls) {
    for (const auto& rec : vcl::Registrations()) std::cout << vcl::DescribeRegistration(rec) << "\n";
    return kOk;
  }
  for (const auto& page : vcl::PalettePages()) {
    std::cout << page.Name << "\n";
    for (const vcl::TMetaClass* c : page.Classes) std::cout << "  " << c->ClassName() << "\n";
  }
  return kOk;
}

int Inspect(const Options& o) {
  auto form = OpenForm(o.form);
  vcl::TComponent* c = FindComponent(*form, o.component);
  vcl::TFormDesigner designer(form->Root());
  auto rows = vcl::InspectorRows(c, &designer, o.events);
  size_t nameWidth = 0, valueWidth = 0;
  for (const auto& r : rows) {
    nameWidth = std::max(nameWidth, r.Path.size());
    valueWidth = std::max(valueWidth, r.Value.size());
  }
  valueWidth = std::min<size_t>(valueWidth, 24);  // a long value (a set) pushes only its own row's attributes
  std::cout << c->GetName() << ": " << c->ClassName() << "\n";
  for (const auto& r : rows) {
    std::string line = "  " + r.Path + std::string(nameWidth - r.Path.size() + 2, ' ') + r.Value;
    std::string attrs = vcl::AttributesText(r.Attributes);
    if (!attrs.empty()) line += std::string(std::max(valueWidth, r.Value.size()) - r.Value.size() + 2, ' ') + "[" + attrs + "]";
    std::cout << line << "\n";
  }
  return kOk;
}

// The row of that dotted path (properties first, then events).
vcl::TInspectorRow* FindRow(std::vector<vcl::TInspectorRow>& rows, const std::string& path) {
  for (auto& r : rows)
    if (vcl::SameText(r.Path, path)) return &r;
  return nullptr;
}

int Set(const Options& o) {
  auto form = OpenForm(o.form);
  vcl::TFormDesigner designer(form->Root());
  for (const std::string& a : o.assignments) {
    size_t eq = a.find('=');
    size_t dot = a.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot > eq)
      throw Stop{kUsage, "'" + a + "' is not NAME.PROPERTY=VALUE"};
    std::string name = a.substr(0, dot);
    std::string path = a.substr(dot + 1, eq - dot - 1);
    std::string value = a.substr(eq + 1);
    vcl::TComponent* c = FindComponent(*form, name);
    // Fresh rows for each assignment: one write may change what the others show.
    auto rows = vcl::InspectorRows(c, &designer);
    vcl::TInspectorRow* row = FindRow(rows, path);
    std::vector<vcl::TInspectorRow> events;
    if (!row) {
      events = vcl::InspectorRows(c, &designer, true);
      row = FindRow(events, path);
    }
    if (!row) throw Stop{kUsage, name + " (" + c->ClassName() + ") has no property " + path};
    std::string where = name + "." + row->Path;
    if (row->Attributes.Contains(vcl::paReadOnly)) throw Stop{kUsage, where + " is read-only"};
    try {
      row->Editor->SetValue(value);
    } catch (const vcl::Exception& e) {
      throw Stop{kUsage, where + " = '" + value + "': " + e.Message()};
    }
    std::cout << where << " = " << row->Editor->GetVisualValue() << "\n";
  }
  if (designer.IsModified()) SaveForm(*form);
  return kOk;
}

// --snapshot DIR: a desktop in front of the one given that writes a picture of every window it sees.
class Snapshots {
 public:
  Snapshots(const std::string& folder, korven::platform::Desktop*& desktop) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw Stop{kUsage, "cannot make the folder " + folder + ": " + ec.message()};
    desktop_ = std::make_unique<korven::platform::SnapshotDesktop>(*desktop, folder);
    desktop = desktop_.get();
  }
  korven::platform::SnapshotDesktop* Desktop() const { return desktop_.get(); }
  void Report() const {
    if (!desktop_) return;
    for (const std::string& file : desktop_->Written()) std::cerr << kProgram << ": wrote " << file << "\n";
  }

 private:
  std::unique_ptr<korven::platform::SnapshotDesktop> desktop_;
};

int Render(const Options& o) {
  auto form = OpenForm(o.form);
  auto* f = dynamic_cast<vcl::TCustomForm*>(form->Root());
  if (!f) throw Stop{kUsage, o.form + ": its root " + form->Root()->ClassName() + " is not a form"};
  korven::platform::DefaultDesktop person(true);
  korven::platform::Desktop* desktop = &person;
  Snapshots snapshots(o.snapshotDir, desktop);
  korven::platform::ScopedDesktop scope(*desktop);
  f->Show();
  try {
    korven::platform::RenderWindowToPng(f->GetHandle(), o.output);
  } catch (const std::exception& e) {
    f->Hide();
    throw Stop{kFormFile, e.what()};
  }
  if (snapshots.Desktop()) snapshots.Desktop()->Snap();
  f->Hide();
  snapshots.Report();
  std::cerr << kProgram << ": wrote " << o.output << "\n";
  return kOk;
}

std::unique_ptr<vcl::TComponentEditor> EditorOf(FormFile& form, const std::string& name, vcl::IDesigner& designer) {
  return vcl::GetComponentEditor(FindComponent(form, name), &designer);
}

int Verbs(const Options& o) {
  auto form = OpenForm(o.form);
  vcl::TFormDesigner designer(form->Root());
  auto editor = EditorOf(*form, o.component, designer);
  for (int i = 0; i < editor->GetVerbCount(); ++i) {
    vcl::TMenuItem item(nullptr);
    item.Caption = editor->GetVerb(i);
    editor->PrepareItem(i, &item);
    if (!item.Visible) continue;
    std::cout << i << "  " << item.Caption << (item.Enabled ? "" : "  (disabled)") << "\n";
  }
  return kOk;
}

int Verb(const Options& o) {
  std::optional<korven::designer::Script> script;
  if (!o.script.empty()) {
    try {
      script.emplace(korven::designer::Script::Load(o.script));
    } catch (const korven::designer::ScriptError& e) {
      throw Stop{kUsage, e.what()};
    }
  }
  auto form = OpenForm(o.form);
  vcl::TFormDesigner designer(form->Root());
  auto editor = EditorOf(*form, o.component, designer);
  int count = editor->GetVerbCount();
  if (o.verb < 0 || o.verb >= count)
    throw Stop{kUsage, o.component + " (" + editor->ClassName() + ") has " + std::to_string(count) + " verb" +
                           (count == 1 ? "" : "s") + (count ? " (0 to " + std::to_string(count - 1) + ")" : "")};
  std::cerr << kProgram << ": " << o.component << ": " << editor->GetVerb(o.verb) << "\n";

  korven::platform::DefaultDesktop person;
  korven::platform::ScriptedDesktop scripted;
  korven::platform::Desktop* desktop = &person;
  if (script) {
    script->Queue(scripted);
    desktop = &scripted;
  }
  Snapshots snapshots(o.snapshotDir, desktop);
  {
    korven::platform::ScopedDesktop scope(*desktop);
    try {
      editor->ExecuteVerb(o.verb);
    } catch (const vcl::Exception& e) {
      throw Stop{kVerb, o.component + ": " + e.Message()};
    } catch (const std::exception& e) {
      throw Stop{kVerb, o.component + ": " + e.what()};
    }
  }
  snapshots.Report();
  if (script) {
    for (const std::string& step : scripted.Remaining())
      std::cerr << kProgram << ": warning: the script's step '" << step << "' was not used\n";
  }
  if (designer.IsModified())
    SaveForm(*form);
  else
    std::cerr << kProgram << ": " << o.form << " not modified\n";
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"korven-designer: design packages and form files from the command line", kProgram};
  app.footer(std::string("\n") + kExitCodes);
  app.require_subcommand(1);
  app.fallthrough();
  Options o;
  app.add_option("--package", o.packages,
                 "Load this design package (repeatable); default: the installed korvends, " KORVEN_DESIGN_PACKAGE_RELDIR
                 "/korvends.so beside the program");
  app.add_option("--snapshot", o.snapshotDir, "Also write every window the desktop sees as a PNG into DIR");
  app.set_version_flag("--version", std::string(kProgram) + " " KORVEN_DESIGNER_VERSION);

  auto* palette = app.add_subcommand("palette", "List the palette pages and their components");
  palette->add_flag("--calls", o.calls, "List the packages' registration calls in order instead");
  auto* inspect = app.add_subcommand("inspect", "Show a component's Object Inspector rows");
  inspect->add_option("form", o.form, "Form file (text or binary)")->required();
  inspect->add_option("name", o.component, "Component name")->required();
  inspect->add_flag("--events", o.events, "Show the events page");
  auto* set = app.add_subcommand("set", "Write properties through their property editors, then save");
  set->add_option("form", o.form, "Form file")->required();
  set->add_option("assignments", o.assignments, "NAME.PROPERTY=VALUE (dotted sub-properties: Resolution.Value)")
      ->required();
  auto* verbs = app.add_subcommand("verbs", "List a component's editor verbs");
  verbs->add_option("form", o.form, "Form file")->required();
  verbs->add_option("name", o.component, "Component name")->required();
  auto* render = app.add_subcommand("render", "Draw a whole form file as a PNG");
  render->add_option("form", o.form, "Form file whose root is a form")->required();
  render->add_option("-o,--output", o.output, "The PNG to write")->required();
  auto* verb = app.add_subcommand("verb", "Run a component-editor verb; save when the designer was marked modified");
  verb->add_option("form", o.form, "Form file")->required();
  verb->add_option("name", o.component, "Component name")->required();
  verb->add_option("index", o.verb, "Verb index (see verbs)")->required();
  verb->add_option("--script", o.script, "Desktop steps to answer the windows with (default: press the default button)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? kOk : kUsage;
  }

  try {
    std::vector<std::unique_ptr<vcl::TDesignPackage>> packages;
    if (o.packages.empty()) o.packages.push_back(DefaultPackage());
    for (const std::string& p : o.packages) {
      try {
        packages.push_back(std::make_unique<vcl::TDesignPackage>(p));
      } catch (const vcl::Exception& e) {
        throw Stop{kPackage, e.Message()};
      }
    }
    int rc = kOk;
    if (palette->parsed())
      rc = Palette(o, packages);
    else if (inspect->parsed())
      rc = Inspect(o);
    else if (set->parsed())
      rc = Set(o);
    else if (verbs->parsed())
      rc = Verbs(o);
    else if (verb->parsed())
      rc = Verb(o);
    else if (render->parsed())
      rc = Render(o);
    // Packages go last, after every form and editor of theirs.
    while (!packages.empty()) packages.pop_back();
    return rc;
  } catch (const Stop& s) {
    std::cerr << kProgram << ": " << s.message << "\n";
    return s.code;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return kFailure;
  }
}
