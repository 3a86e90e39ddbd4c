// Class information, the class registry, enumeration names and generic property access.
#include <vcl/Classes.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace vcl {

// ---- Enumerations -------------------------------------------------------------------------------

int TEnumInfo::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < Names.size(); ++i)
    if (SameText(Names[i], name)) return static_cast<int>(i);
  return -1;
}

std::string TEnumInfo::NameOf(int64_t ordinal) const {
  if (ordinal < 0 || ordinal >= static_cast<int64_t>(Names.size())) return {};
  return Names[static_cast<size_t>(ordinal)];
}

TEnumInfo TEnumInfo::FromList(std::string typeName, std::string_view commaList) {
  TEnumInfo info;
  info.TypeName = std::move(typeName);
  size_t start = 0;
  while (start <= commaList.size()) {
    size_t comma = commaList.find(',', start);
    if (comma == std::string_view::npos) comma = commaList.size();
    std::string name = Trim(commaList.substr(start, comma - start));
    // "member = 3" is not supported: ordinals run 0..n-1.
    if (!name.empty()) info.Names.push_back(name);
    start = comma + 1;
  }
  return info;
}

const TEnumInfo& BooleanInfo() {
  static const TEnumInfo info{"Boolean", {"False", "True"}};
  return info;
}

// ---- Classes ------------------------------------------------------------------------------------

TMetaClass::TMetaClass(std::string name, const TMetaClass* parent, Factory factory, Describe describe)
    : name_(std::move(name)), parent_(parent), factory_(factory) {
  if (parent_) all_ = parent_->all_;
  if (describe) describe(*this);
}

TMetaClass::~TMetaClass() = default;

bool TMetaClass::InheritsFrom(const TMetaClass& other) const {
  for (const TMetaClass* c = this; c; c = c->parent_)
    if (c == &other) return true;
  return false;
}

bool TMetaClass::InheritsFrom(std::string_view className) const {
  for (const TMetaClass* c = this; c; c = c->parent_)
    if (SameText(c->name_, className)) return true;
  return false;
}

TComponent* TMetaClass::CreateComponent(TComponent* owner) const {
  if (!factory_) throw EClassNotFound("Class " + name_ + " not found");
  return factory_(owner);
}

const TPropInfo* TMetaClass::FindProperty(std::string_view name) const {
  // The last declaration of a name wins, so a class may redeclare an inherited property.
  for (auto it = all_.rbegin(); it != all_.rend(); ++it)
    if (SameText((*it)->Name, name)) return *it;
  return nullptr;
}

void TMetaClass::AddProperty(std::unique_ptr<TPropInfo> prop) {
  const TPropInfo* raw = prop.get();
  auto same = [&](const TPropInfo* p) { return SameText(p->Name, raw->Name); };
  // A redeclared property keeps its place in the streaming order.
  auto it = std::find_if(all_.begin(), all_.end(), same);
  if (it != all_.end())
    *it = raw;
  else
    all_.push_back(raw);
  own_.push_back(std::move(prop));
}

const TMetaClass& TObject::StaticClass() {
  static const TMetaClass meta("TObject", nullptr, nullptr);
  return meta;
}

void RaiseInvalidCast() { throw EInvalidCast("Invalid class typecast"); }

namespace {
std::mutex registryLock;
std::vector<const TMetaClass*>& Registry() {
  static std::vector<const TMetaClass*> classes;
  return classes;
}
}  // namespace

void RegisterClass(const TMetaClass& c) {
  std::lock_guard lock(registryLock);
  auto& r = Registry();
  if (std::find(r.begin(), r.end(), &c) == r.end()) r.push_back(&c);
}

void RegisterClasses(std::initializer_list<const TMetaClass*> classes) {
  for (auto* c : classes)
    if (c) RegisterClass(*c);
}

void UnRegisterClass(const TMetaClass& c) {
  std::lock_guard lock(registryLock);
  auto& r = Registry();
  r.erase(std::remove(r.begin(), r.end(), &c), r.end());
}

TClass GetClass(std::string_view name) {
  std::lock_guard lock(registryLock);
  for (auto it = Registry().rbegin(); it != Registry().rend(); ++it)
    if (SameText((*it)->ClassName(), name)) return *it;
  return nullptr;
}

const TMetaClass& FindClass(std::string_view name) {
  if (TClass c = GetClass(name)) return *c;
  throw EClassNotFound("Class " + std::string(name) + " not found");
}

// ---- Integer identifiers ------------------------------------------------------------------------

namespace {
std::mutex constsLock;
std::map<std::string, std::vector<std::pair<std::string, int32_t>>>& Consts() {
  static std::map<std::string, std::vector<std::pair<std::string, int32_t>>> consts;
  return consts;
}
}  // namespace

void RegisterIntegerConsts(const std::string& typeName, std::vector<std::pair<std::string, int32_t>> consts) {
  std::lock_guard lock(constsLock);
  auto& list = Consts()[UpperCase(typeName)];
  list.insert(list.end(), consts.begin(), consts.end());
}

std::string IntToIdent(std::string_view typeName, int64_t value) {
  std::lock_guard lock(constsLock);
  auto it = Consts().find(UpperCase(typeName));
  if (it != Consts().end())
    for (auto& [name, v] : it->second)
      if (v == value) return name;
  return {};
}

bool IdentToInt(std::string_view typeName, std::string_view ident, int64_t& value) {
  std::lock_guard lock(constsLock);
  auto it = Consts().find(UpperCase(typeName));
  if (it != Consts().end())
    for (auto& [name, v] : it->second)
      if (SameText(name, ident)) {
        value = v;
        return true;
      }
  return false;
}

// ---- TPropInfo ----------------------------------------------------------------------------------

namespace {
[[noreturn]] void KindError(const TPropInfo& p) {
  throw EPropertyConvertError("Invalid property type: property " + p.Name + " is of type " + p.TypeName);
}
[[noreturn]] void ReadOnlyError(const TPropInfo& p) { throw EPropReadOnly("Property " + p.Name + " is read-only"); }
}  // namespace

int64_t TPropInfo::GetOrd(TObject* obj) const {
  if (!getOrd_) KindError(*this);
  return getOrd_(*obj);
}

void TPropInfo::SetOrd(TObject* obj, int64_t value) const {
  if (!getOrd_) KindError(*this);
  if (!setOrd_) ReadOnlyError(*this);
  setOrd_(*obj, value);
}

long double TPropInfo::GetFloat(TObject* obj) const {
  if (!getFloat_) KindError(*this);
  return getFloat_(*obj);
}

void TPropInfo::SetFloat(TObject* obj, long double value) const {
  if (!getFloat_) KindError(*this);
  if (!setFloat_) ReadOnlyError(*this);
  setFloat_(*obj, value);
}

std::string TPropInfo::GetStr(TObject* obj) const {
  if (!getStr_) KindError(*this);
  return getStr_(*obj);
}

void TPropInfo::SetStr(TObject* obj, const std::string& value) const {
  if (!getStr_) KindError(*this);
  if (!setStr_) ReadOnlyError(*this);
  setStr_(*obj, value);
}

TObject* TPropInfo::GetObject(TObject* obj) const {
  if (!getObj_) KindError(*this);
  return getObj_(*obj);
}

void TPropInfo::SetObject(TObject* obj, TObject* value) const {
  if (!getObj_) KindError(*this);
  if (!setObj_) ReadOnlyError(*this);
  setObj_(*obj, value);
}

bool TPropInfo::HasHandler(TObject* obj) const {
  if (!hasHandler_) KindError(*this);
  return hasHandler_(*obj);
}

void TPropInfo::SetHandler(TObject* obj, const std::any* handler) const {
  if (!hasHandler_) KindError(*this);
  if (!setHandler_) ReadOnlyError(*this);
  setHandler_(*obj, handler);
}

// ---- Generic access -----------------------------------------------------------------------------

const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name) {
  return obj ? obj->ClassType().FindProperty(name) : nullptr;
}

const TPropInfo& FindPropInfo(const TObject* obj, std::string_view name) {
  if (const TPropInfo* p = GetPropInfo(obj, name)) return *p;
  throw EPropertyError("Property " + std::string(name) + " does not exist");
}

int64_t GetOrdProp(TObject* obj, std::string_view name) { return FindPropInfo(obj, name).GetOrd(obj); }
void SetOrdProp(TObject* obj, std::string_view name, int64_t value) { FindPropInfo(obj, name).SetOrd(obj, value); }

std::string GetEnumProp(TObject* obj, std::string_view name) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkEnumeration) KindError(p);
  return p.EnumType->NameOf(p.GetOrd(obj));
}

void SetEnumProp(TObject* obj, std::string_view name, std::string_view ident) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkEnumeration) KindError(p);
  int v = p.EnumType->IndexOf(Trim(ident));
  if (v < 0) throw EPropertyConvertError("Invalid enumeration name: " + std::string(ident));
  p.SetOrd(obj, v);
}

static std::string SetToText(const TPropInfo& p, uint64_t bits, const char* separator) {
  std::string r;
  for (size_t i = 0; i < 64; ++i)
    if (bits & (uint64_t{1} << i)) {
      if (!r.empty()) r += separator;
      std::string n = p.EnumType->NameOf(static_cast<int64_t>(i));
      r += n.empty() ? std::to_string(i) : n;
    }
  return r;
}

std::string GetSetProp(TObject* obj, std::string_view name, bool brackets) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkSet) KindError(p);
  std::string r = SetToText(p, static_cast<uint64_t>(p.GetOrd(obj)), ",");
  return brackets ? "[" + r + "]" : r;
}

static uint64_t TextToSet(const TPropInfo& p, std::string_view text) {
  std::string t = Trim(text);
  std::string_view s = t;
  if (!s.empty() && s.front() == '[') s.remove_prefix(1);
  if (!s.empty() && s.back() == ']') s.remove_suffix(1);
  uint64_t bits = 0;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(',', start);
    if (comma == std::string_view::npos) comma = s.size();
    std::string n = Trim(s.substr(start, comma - start));
    if (!n.empty()) {
      int v = p.EnumType->IndexOf(n);
      if (v < 0 || v >= 64) throw EPropertyConvertError("Invalid enumeration name: " + n);
      bits |= uint64_t{1} << v;
    }
    start = comma + 1;
  }
  return bits;
}

void SetSetProp(TObject* obj, std::string_view name, std::string_view text) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkSet) KindError(p);
  p.SetOrd(obj, static_cast<int64_t>(TextToSet(p, text)));
}

long double GetFloatProp(TObject* obj, std::string_view name) { return FindPropInfo(obj, name).GetFloat(obj); }
void SetFloatProp(TObject* obj, std::string_view name, long double value) {
  FindPropInfo(obj, name).SetFloat(obj, value);
}
std::string GetStrProp(TObject* obj, std::string_view name) { return FindPropInfo(obj, name).GetStr(obj); }
void SetStrProp(TObject* obj, std::string_view name, const std::string& value) {
  FindPropInfo(obj, name).SetStr(obj, value);
}
TObject* GetObjectProp(TObject* obj, std::string_view name) { return FindPropInfo(obj, name).GetObject(obj); }
void SetObjectProp(TObject* obj, std::string_view name, TObject* value) {
  FindPropInfo(obj, name).SetObject(obj, value);
}

// Walks "A.B.C" to the object holding C and its property.
static const TPropInfo& ResolvePath(TObject*& obj, std::string_view path) {
  for (;;) {
    size_t dot = path.find('.');
    if (dot == std::string_view::npos) return FindPropInfo(obj, path);
    const TPropInfo& p = FindPropInfo(obj, path.substr(0, dot));
    if (p.Kind != tkClass) KindError(p);
    TObject* sub = p.GetObject(obj);
    if (!sub) throw EPropertyError("Property " + p.Name + " is nil");
    obj = sub;
    path.remove_prefix(dot + 1);
  }
}

std::string GetPropValue(TObject* obj, std::string_view path) {
  const TPropInfo& p = ResolvePath(obj, path);
  switch (p.Kind) {
    case tkInteger: {
      int64_t v = p.GetOrd(obj);
      std::string ident = IntToIdent(p.TypeName, v);
      return ident.empty() ? std::to_string(v) : ident;
    }
    case tkEnumeration:
      return p.EnumType->NameOf(p.GetOrd(obj));
    case tkSet:
      {
        std::string text = "[";
        text += SetToText(p, static_cast<uint64_t>(p.GetOrd(obj)), ",");
        text += ']';
        return text;
      }
    case tkFloat:
      return FloatToStr(p.GetFloat(obj));
    case tkLString:
      return p.GetStr(obj);
    case tkClass: {
      TObject* v = p.GetObject(obj);
      if (!v) return "";
      if (auto* c = dynamic_cast<TComponent*>(v); c && !c->GetName().empty()) return c->GetName();
      return "(" + v->ClassName() + ")";
    }
    case tkMethod:
      if (auto* pers = dynamic_cast<TPersistent*>(obj); pers && p.HasHandler(obj)) return pers->EventBinding(p.Name);
      return "";
    default:
      KindError(p);
  }
}

void SetPropValue(TObject* obj, std::string_view path, std::string_view text) {
  const TPropInfo& p = ResolvePath(obj, path);
  switch (p.Kind) {
    case tkInteger: {
      int64_t v;
      if (!IdentToInt(p.TypeName, Trim(text), v)) v = StrToInt64(text);
      if (v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
      p.SetOrd(obj, v);
      return;
    }
    case tkEnumeration: {
      int v = p.EnumType->IndexOf(Trim(text));
      if (v < 0) throw EPropertyConvertError("Invalid enumeration name: " + std::string(text));
      p.SetOrd(obj, v);
      return;
    }
    case tkSet:
      p.SetOrd(obj, static_cast<int64_t>(TextToSet(p, text)));
      return;
    case tkFloat:
      p.SetFloat(obj, StrToFloat(text));
      return;
    case tkLString:
      p.SetStr(obj, std::string(text));
      return;
    default:
      KindError(p);
  }
}

bool IsDefaultPropValue(TObject* obj, const TPropInfo& p) {
  switch (p.Kind) {
    case tkInteger:
    case tkEnumeration:
    case tkSet:
    case tkChar:
      return p.HasDefault && p.GetOrd(obj) == p.Default;
    case tkFloat:
      return p.GetFloat(obj) == 0;
    case tkLString:
    case tkString:
      return p.GetStr(obj).empty();
    case tkClass:
      return p.GetObject(obj) == nullptr;
    case tkMethod:
      return !p.HasHandler(obj);
    default:
      return true;
  }
}

bool IsStoredProp(TObject* obj, const TPropInfo& p) {
  if (!p.IsStored(obj)) return false;
  // A read-only property is not streamed, except a sub-object, whose own properties are.
  if (!p.Writable && p.Kind != tkClass) return false;
  return !IsDefaultPropValue(obj, p);
}

void SetMethodProp(TPersistent* obj, std::string_view name, TComponent* root, const std::string& handlerName) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkMethod) KindError(p);
  if (handlerName.empty()) {
    p.SetHandler(obj, nullptr);
    obj->SetEventBinding(p.Name, "");
    return;
  }
  const std::any* h = root ? root->FindHandler(handlerName) : nullptr;
  if (!h) throw EPropertyError("Method '" + handlerName + "' not found");
  p.SetHandler(obj, h);
  obj->SetEventBinding(p.Name, handlerName);
}

std::string GetMethodProp(TPersistent* obj, std::string_view name) {
  const TPropInfo& p = FindPropInfo(obj, name);
  if (p.Kind != tkMethod) KindError(p);
  return p.HasHandler(obj) ? obj->EventBinding(p.Name) : std::string();
}

}  // namespace vcl
