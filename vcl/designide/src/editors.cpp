// The ordinary property editors: text round trips through the published-property information.
#include <vcl/DesignIntf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vcl {

VCL_IMPLEMENT_CLASS(TPropertyEditor, TObject)
VCL_IMPLEMENT_CLASS(TOrdinalProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TIntegerProperty, TOrdinalProperty)
VCL_IMPLEMENT_CLASS(TEnumProperty, TOrdinalProperty)
VCL_IMPLEMENT_CLASS(TBoolProperty, TEnumProperty)
VCL_IMPLEMENT_CLASS(TSetProperty, TOrdinalProperty)
VCL_IMPLEMENT_CLASS(TSetElementProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TFloatProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TStringProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TClassProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TComponentProperty, TPropertyEditor)
VCL_IMPLEMENT_CLASS(TMethodProperty, TPropertyEditor)

namespace {
[[noreturn]] void InvalidValue() { throw EPropertyError("Invalid property value"); }
}  // namespace

// ---- TPropertyEditor ----------------------------------------------------------------------------

TPropertyEditor::TPropertyEditor(IDesigner* ADesigner, int APropCount)
    : designer_(ADesigner), entries_(static_cast<size_t>(std::max(APropCount, 0))) {}

TPropertyEditor::~TPropertyEditor() = default;

TPropertyAttributes TPropertyEditor::GetAttributes() { return {paRevertable}; }

std::string TPropertyEditor::GetName() { return GetPropInfo() ? GetPropInfo()->Name : std::string(); }

std::string TPropertyEditor::GetValue() { return {}; }

std::string TPropertyEditor::GetVisualValue() { return AllEqual() ? GetValue() : std::string(); }

void TPropertyEditor::SetValue(const std::string&) {}

void TPropertyEditor::GetValues(const TGetStrProc&) {}

void TPropertyEditor::GetProperties(const TGetPropProc&) {}

void TPropertyEditor::Edit() {}

bool TPropertyEditor::AllEqual() { return PropCount() <= 1; }

int TPropertyEditor::GetEditLimit() { return 255; }

void TPropertyEditor::SetPropEntry(int Index, TPersistent* Instance, const TPropInfo* PropInfo) {
  if (Index < 0 || Index >= PropCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  entries_[static_cast<size_t>(Index)] = Entry{Instance, PropInfo};
}

TPersistent* TPropertyEditor::GetComponent(int Index) const {
  if (Index < 0 || Index >= PropCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return entries_[static_cast<size_t>(Index)].instance;
}

TTypeInfo TPropertyEditor::GetPropType() const { return GetPropInfo() ? TypeInfoOf(*GetPropInfo()) : TTypeInfo{}; }

void TPropertyEditor::Modified() {
  if (designer_) designer_->Modified();
}

int64_t TPropertyEditor::GetOrdValueAt(int Index) const { return GetPropInfo()->GetOrd(GetComponent(Index)); }

void TPropertyEditor::SetOrdValue(int64_t Value) {
  for (const Entry& e : entries_) e.prop->SetOrd(e.instance, Value);
  Modified();
}

long double TPropertyEditor::GetFloatValueAt(int Index) const { return GetPropInfo()->GetFloat(GetComponent(Index)); }

void TPropertyEditor::SetFloatValue(long double Value) {
  for (const Entry& e : entries_) e.prop->SetFloat(e.instance, Value);
  Modified();
}

std::string TPropertyEditor::GetStrValueAt(int Index) const { return GetPropInfo()->GetStr(GetComponent(Index)); }

void TPropertyEditor::SetStrValue(const std::string& Value) {
  for (const Entry& e : entries_) e.prop->SetStr(e.instance, Value);
  Modified();
}

TObject* TPropertyEditor::GetObjectValueAt(int Index) const { return GetPropInfo()->GetObject(GetComponent(Index)); }

void TPropertyEditor::SetObjectValue(TObject* Value) {
  for (const Entry& e : entries_) e.prop->SetObject(e.instance, Value);
  Modified();
}

// ---- Ordinals -----------------------------------------------------------------------------------

TPropertyAttributes TOrdinalProperty::GetAttributes() { return {paMultiSelect, paRevertable}; }

bool TOrdinalProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetOrdValueAt(i) != GetOrdValue()) return false;
  return true;
}

std::string TIntegerProperty::GetValue() {
  int64_t v = GetOrdValue();
  std::string ident = IntToIdent(GetPropInfo()->TypeName, v);
  return ident.empty() ? IntToStr(v) : ident;
}

void TIntegerProperty::SetValue(const std::string& Value) {
  const TPropInfo* p = GetPropInfo();
  int64_t v;
  if (!IdentToInt(p->TypeName, Trim(Value), v)) v = StrToInt64(Value);
  bool cardinal = SameText(p->TypeName, "Cardinal");
  int64_t lo = cardinal ? 0 : std::numeric_limits<int32_t>::min();
  int64_t hi = cardinal ? std::numeric_limits<uint32_t>::max() : std::numeric_limits<int32_t>::max();
  if (v < lo || v > hi) throw EPropertyError("Value must be between " + IntToStr(lo) + " and " + IntToStr(hi));
  SetOrdValue(v);
}

TPropertyAttributes TEnumProperty::GetAttributes() { return {paMultiSelect, paValueList, paSortList, paRevertable}; }

std::string TEnumProperty::GetValue() {
  int64_t v = GetOrdValue();
  std::string name = GetPropInfo()->EnumType->NameOf(v);
  return name.empty() ? IntToStr(v) : name;
}

void TEnumProperty::SetValue(const std::string& Value) {
  int v = GetPropInfo()->EnumType->IndexOf(Trim(Value));
  if (v < 0) InvalidValue();
  SetOrdValue(v);
}

void TEnumProperty::GetValues(const TGetStrProc& Proc) {
  for (const std::string& n : GetPropInfo()->EnumType->Names) Proc(n);
}

std::string TBoolProperty::GetValue() { return GetOrdValue() ? "True" : "False"; }

void TBoolProperty::SetValue(const std::string& Value) {
  std::string t = Trim(Value);
  if (SameText(t, "False") || t == "0")
    SetOrdValue(0);
  else if (SameText(t, "True") || t == "1")
    SetOrdValue(1);
  else
    InvalidValue();
}

void TBoolProperty::GetValues(const TGetStrProc& Proc) {
  Proc("False");
  Proc("True");
}

// ---- Sets ---------------------------------------------------------------------------------------

TPropertyAttributes TSetProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paReadOnly, paRevertable};
}

std::string TSetProperty::GetValue() {
  uint64_t bits = static_cast<uint64_t>(GetOrdValue());
  const TEnumInfo* e = GetPropInfo()->EnumType;
  std::string r;
  for (int i = 0; i < 64; ++i)
    if (bits & (uint64_t{1} << i)) {
      if (!r.empty()) r += ',';
      std::string n = e->NameOf(i);
      r += n.empty() ? IntToStr(i) : n;
    }
  return "[" + r + "]";
}

void TSetProperty::GetProperties(const TGetPropProc& Proc) {
  const TEnumInfo* e = GetPropInfo()->EnumType;
  for (int i = 0; i < static_cast<int>(e->Names.size()) && i < 64; ++i) {
    auto element = std::make_unique<TSetElementProperty>(Designer(), PropCount(), i);
    for (int k = 0; k < PropCount(); ++k) element->SetPropEntry(k, GetComponent(k), GetPropInfo());
    element->Initialize();
    Proc(std::move(element));
  }
}

TSetElementProperty::TSetElementProperty(IDesigner* ADesigner, int APropCount, int Element)
    : TPropertyEditor(ADesigner, APropCount), element_(Element) {}

TPropertyAttributes TSetElementProperty::GetAttributes() { return {paMultiSelect, paValueList, paSortList}; }

std::string TSetElementProperty::GetName() { return GetPropInfo()->EnumType->NameOf(element_); }

std::string TSetElementProperty::GetValue() {
  return (static_cast<uint64_t>(GetOrdValue()) >> element_) & 1 ? "True" : "False";
}

void TSetElementProperty::SetValue(const std::string& Value) {
  std::string t = Trim(Value);
  bool on;
  if (SameText(t, "True") || t == "1")
    on = true;
  else if (SameText(t, "False") || t == "0")
    on = false;
  else
    InvalidValue();
  uint64_t bit = uint64_t{1} << element_;
  for (int i = 0; i < PropCount(); ++i) {
    uint64_t bits = static_cast<uint64_t>(GetOrdValueAt(i));
    bits = on ? bits | bit : bits & ~bit;
    GetPropInfo()->SetOrd(GetComponent(i), static_cast<int64_t>(bits));
  }
  Modified();
}

void TSetElementProperty::GetValues(const TGetStrProc& Proc) {
  Proc("False");
  Proc("True");
}

bool TSetElementProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (((GetOrdValueAt(i) ^ GetOrdValue()) >> element_) & 1) return false;
  return true;
}

// ---- Floats and strings -------------------------------------------------------------------------

TPropertyAttributes TFloatProperty::GetAttributes() { return {paMultiSelect, paRevertable}; }

std::string TFloatProperty::GetValue() {
  // The general format with the type's precision: a Single 2.2 reads "2.2", not its binary tail.
  static const int precision[] = {7, 15, 18, 18, 19};
  int digits = precision[std::clamp(static_cast<int>(GetPropInfo()->FloatType), 0, 4)];
  long double v = GetFloatValue();
  if (std::isfinite(v)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Lg", digits, v);
    v = std::strtold(buf, nullptr);
  }
  return FloatToStr(v);
}

void TFloatProperty::SetValue(const std::string& Value) { SetFloatValue(StrToFloat(Value)); }

bool TFloatProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetFloatValueAt(i) != GetFloatValue()) return false;
  return true;
}

TPropertyAttributes TStringProperty::GetAttributes() { return {paMultiSelect, paRevertable}; }

std::string TStringProperty::GetValue() { return GetStrValue(); }

void TStringProperty::SetValue(const std::string& Value) { SetStrValue(Value); }

bool TStringProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetStrValueAt(i) != GetStrValue()) return false;
  return true;
}

// ---- Objects ------------------------------------------------------------------------------------

TPropertyAttributes TClassProperty::GetAttributes() { return {paMultiSelect, paSubProperties, paReadOnly}; }

std::string TClassProperty::GetValue() { return "(" + GetPropInfo()->TypeName + ")"; }

void TClassProperty::GetProperties(const TGetPropProc& Proc) {
  std::vector<TPersistent*> subs;
  for (int i = 0; i < PropCount(); ++i) {
    auto* sub = dynamic_cast<TPersistent*>(GetObjectValueAt(i));
    if (!sub) return;  // nothing to show below a nil object
    subs.push_back(sub);
  }
  GetComponentProperties(subs, Designer(), Proc);
}

TPropertyAttributes TComponentProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList, paRevertable};
}

std::string TComponentProperty::GetValue() {
  auto* c = dynamic_cast<TComponent*>(GetObjectValueAt(0));
  if (!c) return {};
  return Designer() ? Designer()->GetComponentName(c) : c->GetName();
}

void TComponentProperty::SetValue(const std::string& Value) {
  std::string name = Trim(Value);
  if (name.empty()) {
    SetObjectValue(nullptr);
    return;
  }
  TComponent* c = Designer() ? Designer()->GetComponent(name) : nullptr;
  const TMetaClass* cls = GetPropInfo()->PropClass;
  if (!c || (cls && !c->InheritsFrom(*cls))) InvalidValue();
  SetObjectValue(c);
}

void TComponentProperty::GetValues(const TGetStrProc& Proc) {
  if (Designer() && GetPropInfo()->PropClass) Designer()->GetComponentNames(*GetPropInfo()->PropClass, Proc);
}

TPropertyAttributes TMethodProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList, paRevertable};
}

std::string TMethodProperty::GetValue() { return GetComponent(0)->EventBinding(GetPropInfo()->Name); }

void TMethodProperty::SetValue(const std::string& Value) {
  std::string name = Trim(Value);
  const TPropInfo* p = GetPropInfo();
  if (!name.empty() && !IsValidIdent(name)) throw EPropertyError("'" + name + "' is not a valid method name");
  TComponent* root = Designer() ? Designer()->GetRoot() : nullptr;
  const std::any* handler = (root && !name.empty()) ? root->FindHandler(name) : nullptr;
  if (handler && handler->type() != *p->EventType) InvalidValue();
  for (int i = 0; i < PropCount(); ++i) {
    TPersistent* obj = GetComponent(i);
    p->SetHandler(obj, handler);  // a name without code behind it binds nothing yet
    obj->SetEventBinding(p->Name, name);
  }
  Modified();
}

void TMethodProperty::GetValues(const TGetStrProc& Proc) {
  if (Designer() && GetPropInfo()->EventType) Designer()->GetMethods(*GetPropInfo()->EventType, Proc);
}

bool TMethodProperty::AllEqual() {
  for (int i = 1; i < PropCount(); ++i)
    if (GetComponent(i)->EventBinding(GetPropInfo()->Name) != GetValue()) return false;
  return true;
}

}  // namespace vcl
