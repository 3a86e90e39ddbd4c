// Registrations of design packages: the palette, property editors and component editors, the
// choice of the most specific editor, and the scopes that withdraw a package's registrations.
#include <vcl/DesignIntf.h>

#include <algorithm>
#include <tuple>

namespace vcl {

namespace {

struct Registry {
  std::vector<TRegistrationRecord> records;
  // Classes RegisterComponents registered for the first time, by scope, to be unregistered again.
  std::vector<std::pair<int, const TMetaClass*>> classes;
  int currentScope = 0;
  int nextScope = 1;
};

Registry& Reg() {
  static Registry r;
  return r;
}

// Depth of a class below TObject (TObject 0); -1 for none.
int Depth(const TMetaClass* c) {
  if (!c) return -1;
  int d = 0;
  for (const TMetaClass* p = c->ClassParent(); p; p = p->ClassParent()) ++d;
  return d;
}

}  // namespace

// ---- Type information ---------------------------------------------------------------------------

TTypeInfo TypeInfoNamed(TTypeKind kind, std::string name) { return {kind, std::move(name), nullptr}; }

TTypeInfo TypeInfoOf(const TPropInfo& prop) { return {prop.Kind, prop.TypeName, prop.PropClass}; }

bool TypeMatches(const TTypeInfo& registered, const TPropInfo& prop) {
  if (registered.Kind == tkClass) {
    if (prop.Kind != tkClass || !prop.PropClass) return false;
    return registered.ClassType ? prop.PropClass->InheritsFrom(*registered.ClassType)
                                : prop.PropClass->InheritsFrom(registered.Name);
  }
  auto stringKind = [](TTypeKind k) { return k == tkString || k == tkLString || k == tkWString; };
  bool kindOk = registered.Kind == prop.Kind || (stringKind(registered.Kind) && stringKind(prop.Kind));
  return kindOk && SameText(registered.Name, prop.TypeName);
}

// ---- Registration -------------------------------------------------------------------------------

void RegisterComponents(const std::string& Page, std::initializer_list<const TMetaClass*> ComponentClasses) {
  Registry& r = Reg();
  TRegistrationRecord rec{};
  rec.Kind = TRegistrationRecord::rkComponents;
  rec.Page = Page;
  for (const TMetaClass* c : ComponentClasses) {
    if (!c) throw EInvalidOperation("RegisterComponents: a class of page '" + Page + "' is nil");
    if (!GetClass(c->ClassName())) r.classes.emplace_back(r.currentScope, c);
    RegisterClass(*c);
    rec.Classes.push_back(c);
  }
  rec.Scope = r.currentScope;
  r.records.push_back(std::move(rec));
}

void RegisterPropertyEditor(const TTypeInfo& PropertyType, const TMetaClass* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass) {
  if (!EditorClass) throw EInvalidOperation("RegisterPropertyEditor: the editor class is nil");
  TRegistrationRecord rec{};
  rec.Kind = TRegistrationRecord::rkPropertyEditor;
  rec.PropertyType = PropertyType;
  rec.ComponentClass = ComponentClass;
  rec.PropertyName = PropertyName;
  rec.PropertyEditor = EditorClass;
  rec.Scope = Reg().currentScope;
  Reg().records.push_back(std::move(rec));
}

void RegisterComponentEditor(const TMetaClass& ComponentClass, TComponentEditorClass EditorClass) {
  if (!EditorClass) throw EInvalidOperation("RegisterComponentEditor: the editor class is nil");
  TRegistrationRecord rec{};
  rec.Kind = TRegistrationRecord::rkComponentEditor;
  rec.ComponentClass = &ComponentClass;
  rec.ComponentEditor = EditorClass;
  rec.Scope = Reg().currentScope;
  Reg().records.push_back(std::move(rec));
}

std::vector<TPalettePage> PalettePages() {
  std::vector<TPalettePage> pages;
  for (const TRegistrationRecord& rec : Reg().records) {
    if (rec.Kind != TRegistrationRecord::rkComponents) continue;
    auto it = std::find_if(pages.begin(), pages.end(), [&](const TPalettePage& p) { return SameText(p.Name, rec.Page); });
    if (it == pages.end()) it = pages.insert(pages.end(), TPalettePage{rec.Page, {}});
    for (const TMetaClass* c : rec.Classes)
      if (std::find(it->Classes.begin(), it->Classes.end(), c) == it->Classes.end()) it->Classes.push_back(c);
  }
  return pages;
}

const std::vector<TRegistrationRecord>& Registrations() { return Reg().records; }

std::string DescribeRegistration(const TRegistrationRecord& rec) {
  auto className = [](const TMetaClass* c) { return c ? c->ClassName() : std::string("nil"); };
  switch (rec.Kind) {
    case TRegistrationRecord::rkComponents: {
      std::string list;
      for (const TMetaClass* c : rec.Classes) list += (list.empty() ? "" : ", ") + c->ClassName();
      return "RegisterComponents(" + QuotedStr(rec.Page) + ", [" + list + "])";
    }
    case TRegistrationRecord::rkPropertyEditor:
      return "RegisterPropertyEditor(" + rec.PropertyType.Name + ", " + className(rec.ComponentClass) + ", " +
             QuotedStr(rec.PropertyName) + ", " + rec.PropertyEditor->Class->ClassName() + ")";
    case TRegistrationRecord::rkComponentEditor:
      return "RegisterComponentEditor(" + className(rec.ComponentClass) + ", " +
             rec.ComponentEditor->Class->ClassName() + ")";
  }
  return {};
}

TRegistrationScope::TRegistrationScope() : id_(Reg().nextScope++), outer_(Reg().currentScope) {
  Reg().currentScope = id_;
}

void TRegistrationScope::Stop() {
  if (!collecting_) return;
  collecting_ = false;
  // Scopes stop in reverse order of their start; an out-of-order stop leaves the current one.
  if (Reg().currentScope == id_) Reg().currentScope = outer_;
}

TRegistrationScope::~TRegistrationScope() {
  Stop();
  Registry& r = Reg();
  std::erase_if(r.records, [&](const TRegistrationRecord& rec) { return rec.Scope == id_; });
  for (auto it = r.classes.begin(); it != r.classes.end();) {
    if (it->first == id_) {
      UnRegisterClass(*it->second);
      it = r.classes.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- Choosing editors ---------------------------------------------------------------------------

TPropertyEditorClass FindPropertyEditor(const TPersistent* Instance, const TPropInfo& Prop) {
  // (names the property, depth of the component class, exact type or depth of its class, order)
  using Key = std::tuple<int, int, int, size_t>;
  TPropertyEditorClass best = nullptr;
  Key bestKey{};
  const auto& records = Reg().records;
  for (size_t i = 0; i < records.size(); ++i) {
    const TRegistrationRecord& rec = records[i];
    if (rec.Kind != TRegistrationRecord::rkPropertyEditor) continue;
    if (!TypeMatches(rec.PropertyType, Prop)) continue;
    if (rec.ComponentClass && !(Instance && Instance->InheritsFrom(*rec.ComponentClass))) continue;
    if (!rec.PropertyName.empty() && !SameText(rec.PropertyName, Prop.Name)) continue;
    int typeRank = 1000;  // an exact type beats any base class of it
    if (rec.PropertyType.Kind == tkClass) {
      const TMetaClass* c = rec.PropertyType.ClassType;
      if (!c) c = GetClass(rec.PropertyType.Name);
      typeRank = (c && c == Prop.PropClass) ? 1000 : Depth(c);
    }
    Key key{rec.PropertyName.empty() ? 0 : 1, Depth(rec.ComponentClass), typeRank, i};
    if (!best || key > bestKey) {
      best = rec.PropertyEditor;
      bestKey = key;
    }
  }
  if (best) return best;
  switch (Prop.Kind) {
    case tkInteger:
    case tkChar:
    case tkWChar:
      return PropertyEditorClass<TIntegerProperty>();
    case tkEnumeration:
      return Prop.EnumType == &BooleanInfo() ? PropertyEditorClass<TBoolProperty>()
                                              : PropertyEditorClass<TEnumProperty>();
    case tkSet:
      return PropertyEditorClass<TSetProperty>();
    case tkFloat:
      return PropertyEditorClass<TFloatProperty>();
    case tkString:
    case tkLString:
    case tkWString:
      return PropertyEditorClass<TStringProperty>();
    case tkClass:
      if (Prop.PropClass && Prop.PropClass->InheritsFrom(TComponent::StaticClass()))
        return PropertyEditorClass<TComponentProperty>();
      return PropertyEditorClass<TClassProperty>();
    case tkMethod:
      return PropertyEditorClass<TMethodProperty>();
    default:
      return PropertyEditorClass<TPropertyEditor>();
  }
}

std::unique_ptr<TPropertyEditor> CreatePropertyEditor(IDesigner* Designer, const std::vector<TPersistent*>& Instances,
                                                      const TPropInfo& Prop) {
  if (Instances.empty()) throw EInvalidOperation("CreatePropertyEditor: no object");
  TPropertyEditorClass cls = FindPropertyEditor(Instances.front(), Prop);
  std::unique_ptr<TPropertyEditor> editor = cls->Create(Designer, static_cast<int>(Instances.size()));
  for (size_t i = 0; i < Instances.size(); ++i) editor->SetPropEntry(static_cast<int>(i), Instances[i], &Prop);
  editor->Initialize();
  return editor;
}

std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, IDesigner* Designer) {
  using Key = std::pair<int, size_t>;
  TComponentEditorClass best = nullptr;
  Key bestKey{};
  const auto& records = Reg().records;
  for (size_t i = 0; i < records.size(); ++i) {
    const TRegistrationRecord& rec = records[i];
    if (rec.Kind != TRegistrationRecord::rkComponentEditor) continue;
    if (!Component || !Component->InheritsFrom(*rec.ComponentClass)) continue;
    Key key{Depth(rec.ComponentClass), i};
    if (!best || key > bestKey) {
      best = rec.ComponentEditor;
      bestKey = key;
    }
  }
  if (best) return best->Create(Component, Designer);
  return std::make_unique<TComponentEditor>(Component, Designer);
}

}  // namespace vcl
