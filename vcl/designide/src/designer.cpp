// Component editors, the designer's defaults, the Object Inspector's rows and design packages.
#include <vcl/DesignIntf.h>

#include <korven/platform.h>

#include <algorithm>
#include <filesystem>

namespace vcl {

VCL_IMPLEMENT_CLASS(TMenuItem, TComponent)
VCL_IMPLEMENT_CLASS(TComponentEditor, TObject)

// ---- TComponentEditor ---------------------------------------------------------------------------

TComponentEditor::TComponentEditor(TComponent* AComponent, IDesigner* ADesigner)
    : component_(AComponent), designer_(ADesigner) {}

TComponentEditor::~TComponentEditor() = default;

void TComponentEditor::Edit() {
  if (GetVerbCount() > 0) ExecuteVerb(0);
}

void TComponentEditor::ExecuteVerb(int) {}

std::string TComponentEditor::GetVerb(int) { return {}; }

int TComponentEditor::GetVerbCount() { return 0; }

void TComponentEditor::PrepareItem(int, TMenuItem*) {}

void TComponentEditor::Copy() {}

// ---- IDesigner defaults -------------------------------------------------------------------------

TComponent* IDesigner::GetComponent(std::string_view Name) {
  TComponent* root = GetRoot();
  if (!root || Name.empty()) return nullptr;
  if (SameText(root->GetName(), Name)) return root;
  return root->FindComponent(Name);
}

std::string IDesigner::GetComponentName(TComponent* Component) { return Component ? Component->GetName() : ""; }

void IDesigner::GetComponentNames(const TMetaClass& ClassType, const TGetStrProc& Proc) {
  TComponent* root = GetRoot();
  if (!root) return;
  if (root->InheritsFrom(ClassType) && !root->GetName().empty()) Proc(root->GetName());
  for (int i = 0; i < root->ComponentCount(); ++i) {
    TComponent* c = root->Components(i);
    if (c->InheritsFrom(ClassType) && !c->GetName().empty()) Proc(c->GetName());
  }
}

void IDesigner::GetMethods(const std::type_info& EventType, const TGetStrProc& Proc) {
  TComponent* root = GetRoot();
  if (!root) return;
  for (const std::string& name : root->HandlerNames())
    if (const std::any* h = root->FindHandler(name); h && h->type() == EventType) Proc(name);
}

// ---- Properties of a selection ------------------------------------------------------------------

void GetComponentProperties(const std::vector<TPersistent*>& Instances, IDesigner* Designer, const TGetPropProc& Proc,
                            bool Events) {
  if (Instances.empty() || !Instances.front()) return;
  for (const TPropInfo* p : Instances.front()->ClassType().Properties()) {
    if ((p->Kind == tkMethod) != Events) continue;
    if (!p->Writable && p->Kind != tkClass) continue;
    // A multiple selection shows what every selected object has, under the same information.
    bool shared = std::all_of(Instances.begin(), Instances.end(), [&](TPersistent* o) {
      return o && o->ClassType().FindProperty(p->Name) == p;
    });
    if (!shared) continue;
    // The last declaration of a name is the one in force.
    if (Instances.front()->ClassType().FindProperty(p->Name) != p) continue;
    Proc(CreatePropertyEditor(Designer, Instances, *p));
  }
}

// ---- The Object Inspector -----------------------------------------------------------------------

namespace {
constexpr int kMaxInspectorDepth = 8;

// Rows sorted by name, except the members of a set, which keep their ordinal order.
void AddRows(std::vector<std::unique_ptr<TPropertyEditor>> editors, const std::string& prefix, int depth, bool sort,
             std::vector<TInspectorRow>& rows) {
  if (sort)
    std::stable_sort(editors.begin(), editors.end(), [](const auto& a, const auto& b) {
      return CompareText(a->GetName(), b->GetName()) < 0;
    });
  for (auto& editor : editors) {
    TInspectorRow row;
    row.Path = prefix + editor->GetName();
    row.Attributes = editor->GetAttributes();
    row.Value = editor->GetVisualValue();
    row.Depth = depth;
    std::vector<std::unique_ptr<TPropertyEditor>> subs;
    if (row.Attributes.Contains(paSubProperties) && depth < kMaxInspectorDepth)
      editor->GetProperties([&](std::unique_ptr<TPropertyEditor> sub) { subs.push_back(std::move(sub)); });
    bool sortSubs = !editor->InheritsFrom(TSetProperty::StaticClass());
    row.Editor = std::move(editor);
    std::string path = row.Path;
    rows.push_back(std::move(row));
    AddRows(std::move(subs), path + ".", depth + 1, sortSubs, rows);
  }
}
}  // namespace

std::vector<TInspectorRow> InspectorRows(TPersistent* Instance, IDesigner* Designer, bool Events) {
  std::vector<std::unique_ptr<TPropertyEditor>> editors;
  GetComponentProperties({Instance}, Designer, [&](std::unique_ptr<TPropertyEditor> e) { editors.push_back(std::move(e)); },
                         Events);
  std::vector<TInspectorRow> rows;
  AddRows(std::move(editors), "", 0, true, rows);
  return rows;
}

std::string AttributesText(TPropertyAttributes Attributes) {
  static const char* const names[] = {"value-list",   "sub-properties", "dialog",
                                      "multi-select", "auto-update",    "sort-list",
                                      "read-only",    "revertable",     "full-width-name",
                                      "volatile-sub-properties", "vcl", "not-nestable"};
  // The read-only attribute first: it is what a person looks for.
  std::string r;
  auto add = [&](int i) {
    if (!r.empty()) r += ", ";
    r += names[i];
  };
  if (Attributes.Contains(paReadOnly)) add(paReadOnly);
  for (int i = 0; i <= paNotNestable; ++i)
    if (i != paReadOnly && Attributes.Contains(static_cast<TPropertyAttribute>(i))) add(i);
  return r;
}

// ---- Design packages ----------------------------------------------------------------------------

TDesignPackage::TDesignPackage(const std::string& FileName) : fileName_(FileName) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(FileName, ec))
    throw EPackageError("Cannot load package " + FileName + ": no such file");
  // The loader's reason goes to the debug output; catch it for the message.
  std::string reason;
  korven::platform::DebugSink previous = korven::platform::SetDebugSink([&](const std::string& line) { reason = line; });
  module_ = LoadLibraryA(FileName.c_str());
  korven::platform::SetDebugSink(previous);
  if (!module_) {
    if (auto colon = reason.find("failed: "); colon != std::string::npos) reason = reason.substr(colon + 8);
    throw EPackageError("Cannot load package " + FileName + ": " + (reason.empty() ? "not a shared object" : reason));
  }
  auto entry = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(module_, kPackageEntry)));
  if (!entry) {
    FreeLibrary(module_);
    throw EPackageError("Cannot load package " + FileName + ": it has no entry " + kPackageEntry);
  }
  if (auto describe = reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(GetProcAddress(module_, kPackageDescriptionEntry))))
    if (const char* text = describe()) description_ = text;
  try {
    scope_ = std::make_unique<TRegistrationScope>();
    entry();
    scope_->Stop();
  } catch (...) {
    scope_.reset();
    FreeLibrary(module_);
    throw;
  }
}

TDesignPackage::~TDesignPackage() {
  scope_.reset();
  FreeLibrary(module_);
}

}  // namespace vcl
