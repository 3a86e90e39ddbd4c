// TWriter and TReader: components in the binary form-file format ("TPF0").
#include <vcl/Classes.h>

#include <korven/platform.h>

#include <cmath>

#include "filer_internal.h"

namespace vcl {

VCL_IMPLEMENT_CLASS(TFiler, TObject)
VCL_IMPLEMENT_CLASS(TWriter, TFiler)
VCL_IMPLEMENT_CLASS(TReader, TFiler)

namespace filer {

void EncodeExtended(long double value, uint8_t out[10]) {
  uint64_t mantissa = 0;
  uint16_t exponent = 0;
  bool negative = std::signbit(value);
  if (std::isnan(value)) {
    exponent = 0x7FFF;
    mantissa = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    exponent = 0x7FFF;
    mantissa = 0x8000000000000000ull;
  } else if (value != 0) {
    int e = 0;
    long double m = std::frexp(std::fabs(value), &e);  // m in [0.5, 1)
    int biased = e - 1 + 16383;
    if (biased <= 0) {
      // Denormal: the integer bit is clear and the exponent field 0 (meaning 2^-16382).
      mantissa = static_cast<uint64_t>(std::ldexp(m, 64 + (biased - 1)));
      exponent = 0;
    } else {
      mantissa = static_cast<uint64_t>(std::ldexp(m, 64));  // exact: long double has <= 64 bits
      exponent = static_cast<uint16_t>(biased);
    }
  }
  if (negative) exponent |= 0x8000;
  std::memcpy(out, &mantissa, 8);
  std::memcpy(out + 8, &exponent, 2);
}

long double DecodeExtended(const uint8_t in[10]) {
  uint64_t mantissa;
  uint16_t se;
  std::memcpy(&mantissa, in, 8);
  std::memcpy(&se, in + 8, 2);
  bool negative = (se & 0x8000) != 0;
  int exponent = se & 0x7FFF;
  long double v;
  if (exponent == 0x7FFF) {
    v = (mantissa << 1) == 0 ? HUGE_VALL : NAN;
  } else {
    int e = exponent == 0 ? -16382 : exponent - 16383;
    v = std::ldexp(static_cast<long double>(mantissa), e - 63);
  }
  return negative ? -v : v;
}

std::string Utf16ToUtf8(const uint16_t* units, size_t count) {
  std::string r;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      r += static_cast<char>(c);
    } else if (c < 0x800) {
      r += static_cast<char>(0xC0 | (c >> 6));
      r += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      r += static_cast<char>(0xE0 | (c >> 12));
      r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      r += static_cast<char>(0xF0 | (c >> 18));
      r += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return r;
}

}  // namespace filer

using filer::ReadLE;
using filer::WriteLE;

namespace {
// Sets a component state flag for a scope.
class StateGuard {
 public:
  StateGuard(TComponent* c, TComponentStateItem item) : c_(c), item_(item), was_(c->ComponentState().Contains(item)) {
    c_->SetState(item_, true);
  }
  ~StateGuard() { c_->SetState(item_, was_); }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;

 private:
  TComponent* c_;
  TComponentStateItem item_;
  bool was_;
};
}  // namespace

// ---- TWriter ------------------------------------------------------------------------------------

void TWriter::WriteSignature() { stream_->WriteBuffer("TPF0", 4); }

void TWriter::WriteRootComponent(TComponent* root) {
  root_ = root;
  WriteSignature();
  WriteComponent(root);
}

void TWriter::WriteComponent(TComponent* component) {
  if (!root_) root_ = component;
  StateGuard writing(component, csWriting);
  WriteStr(component->ClassName());
  WriteStr(component->GetName());
  std::string savedPath = std::move(propPath_);
  propPath_.clear();
  WriteProperties(component);
  propPath_ = std::move(savedPath);
  WriteListEnd();
  component->GetChildren([this](TComponent* child) { WriteComponent(child); }, root_);
  WriteListEnd();
}

void TWriter::WriteProperties(TPersistent* instance) {
  for (const TPropInfo* p : instance->ClassType().Properties()) WriteProperty(instance, *p);
  instance->DefineProperties(this);
}

void TWriter::WriteProperty(TPersistent* instance, const TPropInfo& p) {
  if (!p.IsStored(instance)) return;
  if (p.Kind == tkClass) {
    TObject* value = p.GetObject(instance);
    if (!value) return;
    if (auto* c = dynamic_cast<TComponent*>(value)) {
      // A reference to another component of the form, written by name.
      if (!p.Writable || c->GetName().empty()) return;
      std::string name = c->GetName();
      if (c != root_ && c->GetOwner() && c->GetOwner() != root_ && c->GetOwner()->GetOwner() == nullptr &&
          !c->GetOwner()->GetName().empty())
        name = c->GetOwner()->GetName() + "." + name;
      WritePropName(p.Name);
      WriteIdent(name);
      return;
    }
    if (auto* sub = dynamic_cast<TPersistent*>(value)) {
      std::string saved = propPath_;
      propPath_ += p.Name + ".";
      WriteProperties(sub);
      propPath_ = std::move(saved);
    }
    return;
  }
  if (p.Kind == tkMethod) {
    std::string handler = instance->EventBinding(p.Name);
    if (handler.empty()) return;  // unbound, or bound in code without a name: nothing a form file could say
    // At design time a name stands without code behind it (the form's code is elsewhere), as the
    // reader kept it; at run time only a bound handler is written.
    if (!p.HasHandler(instance) && !(root_ && root_->ComponentState().Contains(csDesigning))) return;
    WritePropName(p.Name);
    WriteIdent(handler);
    return;
  }
  if (!IsStoredProp(instance, p)) return;
  WritePropName(p.Name);
  switch (p.Kind) {
    case tkInteger: {
      int64_t v = p.GetOrd(instance);
      std::string ident = IntToIdent(p.TypeName, v);
      if (ident.empty())
        WriteInteger(v);
      else
        WriteIdent(ident);
      break;
    }
    case tkEnumeration: {
      int64_t v = p.GetOrd(instance);
      if (p.EnumType == &BooleanInfo()) {
        WriteBoolean(v != 0);
      } else {
        std::string name = p.EnumType->NameOf(v);
        if (name.empty()) throw EWriteError("Invalid property value: " + p.Name + " = " + std::to_string(v));
        WriteIdent(name);
      }
      break;
    }
    case tkSet: {
      WriteValue(vaSet);
      uint64_t bits = static_cast<uint64_t>(p.GetOrd(instance));
      for (int i = 0; i < 64; ++i)
        if (bits & (uint64_t{1} << i)) {
          std::string name = p.EnumType->NameOf(i);
          if (name.empty()) throw EWriteError("Invalid property value: " + p.Name);
          WriteStr(name);
        }
      WriteStr("");
      break;
    }
    case tkFloat:
      WriteFloat(p.GetFloat(instance));
      break;
    case tkLString:
    case tkString:
      WriteString(p.GetStr(instance));
      break;
    default:
      throw EWriteError("Cannot write property " + p.Name);
  }
}

void TWriter::WritePropName(std::string_view name) { WriteStr(propPath_ + std::string(name)); }

void TWriter::WriteValue(TValueType type) {
  uint8_t b = static_cast<uint8_t>(type);
  stream_->WriteBuffer(&b, 1);
}

void TWriter::WriteInteger(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    WriteValue(vaInt8);
    WriteLE<int8_t>(stream_, static_cast<int8_t>(value));
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    WriteValue(vaInt16);
    WriteLE<int16_t>(stream_, static_cast<int16_t>(value));
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteValue(vaInt32);
    WriteLE<int32_t>(stream_, static_cast<int32_t>(value));
  } else {
    WriteValue(vaInt64);
    WriteLE<int64_t>(stream_, value);
  }
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vaTrue : vaFalse); }

void TWriter::WriteFloat(long double value) {
  WriteValue(vaExtended);
  uint8_t b[10];
  filer::EncodeExtended(value, b);
  stream_->WriteBuffer(b, 10);
}

void TWriter::WriteSingle(float value) {
  WriteValue(vaSingle);
  WriteLE<float>(stream_, value);
}

void TWriter::WriteString(std::string_view value) {
  if (value.size() <= 255) {
    WriteValue(vaString);
    WriteStr(value);
    return;
  }
  if (value.size() > INT32_MAX) throw EWriteError("String too long");
  WriteValue(vaLString);
  WriteLE<int32_t>(stream_, static_cast<int32_t>(value.size()));
  stream_->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

void TWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False"))
    WriteValue(vaFalse);
  else if (SameText(ident, "True"))
    WriteValue(vaTrue);
  else if (SameText(ident, "Null"))
    WriteValue(vaNull);
  else if (SameText(ident, "nil"))
    WriteValue(vaNil);
  else {
    WriteValue(vaIdent);
    WriteStr(ident);
  }
}

void TWriter::WriteStr(std::string_view s) {
  if (s.size() > 255) throw EWriteError("Name too long: " + std::string(s.substr(0, 40)) + "...");
  uint8_t n = static_cast<uint8_t>(s.size());
  stream_->WriteBuffer(&n, 1);
  stream_->WriteBuffer(s.data(), n);
}

void TWriter::DefineProperty(const std::string& name, const TReaderProc&, const TWriterProc& write, bool hasData) {
  if (!hasData || !write) return;
  WritePropName(name);
  write(this);
}

void TWriter::DefineBinaryProperty(const std::string& name, const TStreamProc&, const TStreamProc& write,
                                   bool hasData) {
  if (!hasData || !write) return;
  TMemoryStream data;
  write(&data);
  if (data.GetSize() > INT32_MAX) throw EWriteError("Binary property too large: " + name);
  WritePropName(name);
  WriteValue(vaBinary);
  WriteLE<int32_t>(stream_, static_cast<int32_t>(data.GetSize()));
  data.SaveToStream(stream_);
}

// ---- TReader ------------------------------------------------------------------------------------

void TReader::ReadSignature() {
  char sig[4];
  if (stream_->Read(sig, 4) != 4 || std::memcmp(sig, "TPF0", 4) != 0) throw EReadError("Invalid stream format");
}

TValueType TReader::ReadValue() {
  uint8_t b = ReadLE<uint8_t>(stream_);
  if (b > vaInt64) throw EReadError("Invalid property value type (" + std::to_string(b) + ")");
  return static_cast<TValueType>(b);
}

TValueType TReader::NextValue() {
  TValueType v = ReadValue();
  stream_->Seek(-1, soCurrent);
  return v;
}

void TReader::CheckLength(int64_t length) {
  if (length < 0 || length > stream_->Remaining()) throw EReadError("Stream read error");
}

std::string TReader::ReadStr() {
  uint8_t n = ReadLE<uint8_t>(stream_);
  std::string s(n, '\0');
  stream_->ReadBuffer(s.data(), n);
  return s;
}

void TReader::PropValueError() { throw EReadError("Invalid property value"); }

int64_t TReader::ReadInteger() {
  switch (ReadValue()) {
    case vaInt8: return ReadLE<int8_t>(stream_);
    case vaInt16: return ReadLE<int16_t>(stream_);
    case vaInt32: return ReadLE<int32_t>(stream_);
    case vaInt64: return ReadLE<int64_t>(stream_);
    default: PropValueError();
  }
}

bool TReader::ReadBoolean() {
  TValueType t = ReadValue();
  if (t == vaTrue) return true;
  if (t == vaFalse) return false;
  if (t == vaIdent) {  // old files spell them as identifiers
    std::string s = ReadStr();
    if (SameText(s, "True")) return true;
    if (SameText(s, "False")) return false;
  }
  PropValueError();
}

long double TReader::ReadFloat() {
  switch (NextValue()) {
    case vaExtended: {
      ReadValue();
      uint8_t b[10];
      stream_->ReadBuffer(b, 10);
      return filer::DecodeExtended(b);
    }
    case vaSingle: ReadValue(); return ReadLE<float>(stream_);
    case vaDate: ReadValue(); return ReadLE<double>(stream_);
    case vaCurrency: ReadValue(); return static_cast<long double>(ReadLE<int64_t>(stream_)) / 10000;
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64: return static_cast<long double>(ReadInteger());
    default: ReadValue(); PropValueError();
  }
}

std::string TReader::ReadString() {
  switch (ReadValue()) {
    case vaString: return ReadStr();
    case vaLString: {
      int32_t n = ReadLE<int32_t>(stream_);
      CheckLength(n);
      std::string s(static_cast<size_t>(n), '\0');
      stream_->ReadBuffer(s.data(), n);
      return s;
    }
    case vaWString: {
      int32_t n = ReadLE<int32_t>(stream_);
      CheckLength(int64_t{n} * 2);
      std::vector<uint16_t> units(static_cast<size_t>(n));
      stream_->ReadBuffer(units.data(), int64_t{n} * 2);
      return korven::platform::FromUtf8(filer::Utf16ToUtf8(units.data(), units.size()));
    }
    default: PropValueError();
  }
}

std::string TReader::ReadIdent() {
  switch (ReadValue()) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: PropValueError();
  }
}

void TReader::ReadListBegin() {
  if (ReadValue() != vaList) PropValueError();
}

void TReader::ReadListEnd() {
  if (ReadValue() != vaNull) PropValueError();
}

bool TReader::EndOfList() {
  // Peek at the raw byte: what follows may be a component's prefix byte, not a value type.
  uint8_t b = ReadLE<uint8_t>(stream_);
  stream_->Seek(-1, soCurrent);
  return b == 0;
}

void TReader::SkipValue() { SkipValueDepth(0); }

void TReader::SkipValueDepth(int depth) {
  if (depth > filer::kMaxDepth) throw EReadError("Nesting too deep");
  auto skip = [this](int64_t n) {
    CheckLength(n);
    stream_->Seek(n, soCurrent);
  };
  switch (ReadValue()) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: break;
    case vaList:
      while (!EndOfList()) SkipValueDepth(depth + 1);
      ReadListEnd();
      break;
    case vaInt8: skip(1); break;
    case vaInt16: skip(2); break;
    case vaInt32:
    case vaSingle: skip(4); break;
    case vaInt64:
    case vaCurrency:
    case vaDate: skip(8); break;
    case vaExtended: skip(10); break;
    case vaString:
    case vaIdent: ReadStr(); break;
    case vaBinary:
    case vaLString: skip(ReadLE<int32_t>(stream_)); break;
    case vaWString: skip(int64_t{ReadLE<int32_t>(stream_)} * 2); break;
    case vaSet:
      while (!ReadStr().empty()) {
      }
      break;
    case vaCollection:
      while (!EndOfList()) {
        TValueType t = NextValue();
        if (t == vaInt8 || t == vaInt16 || t == vaInt32) ReadInteger();
        ReadListBegin();
        while (!EndOfList()) {
          ReadStr();
          SkipValueDepth(depth + 1);
        }
        ReadListEnd();
      }
      ReadListEnd();
      break;
  }
}

void TReader::ReadPrefix(TFilerFlags& flags, int& childPos) {
  flags = {};
  childPos = -1;
  uint8_t b = ReadLE<uint8_t>(stream_);
  if ((b & 0xF0) != 0xF0) {
    stream_->Seek(-1, soCurrent);
    return;
  }
  flags = TFilerFlags::FromBits(b & 0x07);
  if (flags.Contains(ffChildPos)) {
    int64_t pos = ReadInteger();
    if (pos < INT32_MIN || pos > INT32_MAX) PropValueError();
    childPos = static_cast<int>(pos);
  }
}

TComponent* TReader::ReadRootComponent(TComponent* root) {
  ReadSignature();
  TFilerFlags flags;
  int childPos;
  ReadPrefix(flags, childPos);
  std::string className = ReadStr();
  std::string name = ReadStr();
  bool created = false;
  if (!root) {
    root = FindClass(className).CreateComponent(nullptr);
    created = true;
  }
  root_ = root;
  loaded_.clear();
  fixups_.clear();
  try {
    for (auto item : {csLoading, csReading}) root->SetState(item, true);
    loaded_.push_back(root);
    if (!name.empty() && name != root->GetName()) {
      try {
        root->SetName(name);
      } catch (const EComponentError& e) {
        throw EReadError(e.Message());
      }
    }
    current_ = root;
    while (!EndOfList()) ReadProperty(root);
    ReadListEnd();
    while (!EndOfList()) ReadComponent(root, 1);
    ReadListEnd();
    // References to components of the form, now that all of them exist.
    for (const Fixup& f : fixups_) {
      TComponent* target = nullptr;
      std::string_view n = f.name;
      if (auto dot = n.rfind('.'); dot != std::string_view::npos) n = n.substr(dot + 1);
      for (TComponent* c : loaded_)
        if (SameText(c->GetName(), n)) {
          target = c;
          break;
        }
      if (!target) target = root->FindComponent(n);
      // An unknown name (or one of another class) stays unresolved, as the framework leaves it.
      if (target && target->InheritsFrom(*f.prop->PropClass)) f.prop->SetObject(f.instance, target);
    }
    fixups_.clear();
    std::vector<TComponent*> loaded = std::move(loaded_);
    for (TComponent* c : loaded) c->SetState(csReading, false);
    for (TComponent* c : loaded) c->Loaded();
  } catch (...) {
    if (created) {
      delete root;
    } else {
      for (TComponent* c : loaded_) {
        c->SetState(csReading, false);
        c->SetState(csLoading, false);
      }
    }
    loaded_.clear();
    fixups_.clear();
    root_ = nullptr;
    throw;
  }
  return root;
}

void TReader::ReadComponent(TComponent* parent, int depth) {
  if (depth > filer::kMaxDepth) throw EReadError("Nesting too deep");
  TFilerFlags flags;
  int childPos;
  ReadPrefix(flags, childPos);
  std::string className = ReadStr();
  std::string name = ReadStr();
  // The enclosing component says who owns what is read inside it: itself, or (controls and forms)
  // the root, so that a form's published fields bind at any depth.
  TComponent* owner = parent->GetChildOwner();
  if (!owner) owner = root_;
  TComponent* c = owner->FindComponent(name);
  if (!c) {
    c = FindClass(className).CreateComponent(owner);
    try {
      c->SetName(name);
    } catch (const EComponentError& e) {
      delete c;
      throw EReadError(e.Message());
    }
  }
  for (auto item : {csLoading, csReading}) c->SetState(item, true);
  loaded_.push_back(c);
  c->SetParentComponent(parent);
  TComponent* saved = current_;
  current_ = c;
  while (!EndOfList()) ReadProperty(c);
  ReadListEnd();
  while (!EndOfList()) ReadComponent(c, depth + 1);
  ReadListEnd();
  current_ = saved;
}

void TReader::ReadProperty(TPersistent* instance) {
  std::string path = ReadStr();
  try {
    TPersistent* obj = instance;
    std::string_view rest = path;
    for (;;) {
      size_t dot = rest.find('.');
      std::string part(rest.substr(0, dot));
      const TPropInfo* p = obj->ClassType().FindProperty(part);
      if (dot == std::string_view::npos) {
        if (p) {
          ReadPropValue(obj, *p);
          return;
        }
        // Not published: perhaps a property the class streams itself.
        pendingProp_ = part;
        propFound_ = false;
        obj->DefineProperties(this);
        if (propFound_) return;
        SkipValue();
        throw EReadError("Property " + part + " does not exist");
      }
      if (!p || p->Kind != tkClass) {
        SkipValue();
        throw EReadError("Property " + part + " does not exist");
      }
      auto* sub = dynamic_cast<TPersistent*>(p->GetObject(obj));
      if (!sub) {
        SkipValue();
        PropValueError();
      }
      obj = sub;
      rest.remove_prefix(dot + 1);
    }
  } catch (Exception& e) {
    std::string where = current_ && !current_->GetName().empty() ? current_->GetName() : (current_ ? current_->ClassName() : "");
    e.SetMessage("Error reading " + where + "." + path + ": " + e.Message());
    throw;
  }
}

void TReader::ReadPropValue(TPersistent* obj, const TPropInfo& p) {
  if (!p.Writable) {
    SkipValue();
    throw EReadError("Property " + p.Name + " is read-only");
  }
  switch (p.Kind) {
    case tkInteger: {
      int64_t v;
      if (NextValue() == vaIdent) {
        if (!IdentToInt(p.TypeName, ReadIdent(), v)) PropValueError();
      } else {
        v = ReadInteger();
      }
      bool isCardinal = p.TypeName == "Cardinal";
      if (v < INT32_MIN || v > (isCardinal ? static_cast<int64_t>(UINT32_MAX) : INT32_MAX)) PropValueError();
      p.SetOrd(obj, v);
      break;
    }
    case tkEnumeration: {
      if (p.EnumType == &BooleanInfo()) {
        p.SetOrd(obj, ReadBoolean() ? 1 : 0);
        break;
      }
      if (NextValue() != vaIdent) {
        SkipValue();
        PropValueError();
      }
      int v = p.EnumType->IndexOf(ReadIdent());
      if (v < 0) PropValueError();
      p.SetOrd(obj, v);
      break;
    }
    case tkSet: {
      if (NextValue() != vaSet) {
        SkipValue();
        PropValueError();
      }
      ReadValue();
      uint64_t bits = 0;
      bool bad = false;
      for (std::string n = ReadStr(); !n.empty(); n = ReadStr()) {
        int v = p.EnumType->IndexOf(n);
        if (v < 0 || v >= 64)
          bad = true;
        else
          bits |= uint64_t{1} << v;
      }
      if (bad) PropValueError();
      p.SetOrd(obj, static_cast<int64_t>(bits));
      break;
    }
    case tkFloat:
      p.SetFloat(obj, ReadFloat());
      break;
    case tkLString:
    case tkString:
      p.SetStr(obj, ReadString());
      break;
    case tkClass: {
      TValueType t = NextValue();
      if (t == vaNil) {
        ReadValue();
        p.SetObject(obj, nullptr);
      } else if (t == vaIdent && p.PropClass->InheritsFrom(TComponent::StaticClass())) {
        fixups_.push_back(Fixup{obj, &p, ReadIdent()});
      } else {
        SkipValue();
        PropValueError();
      }
      break;
    }
    case tkMethod: {
      TValueType t = NextValue();
      if (t == vaNil || t == vaNull) {
        ReadValue();
        p.SetHandler(obj, nullptr);
        obj->SetEventBinding(p.Name, "");
        break;
      }
      if (t != vaIdent) {
        SkipValue();
        PropValueError();
      }
      std::string handler = ReadIdent();
      const std::any* h = root_ ? root_->FindHandler(handler) : nullptr;
      if (h) {
        p.SetHandler(obj, h);
      } else if (!(root_ && root_->ComponentState().Contains(csDesigning))) {
        // At design time the name is kept without code behind it; at run time it must exist.
        throw EReadError("Method '" + handler + "' not found");
      }
      obj->SetEventBinding(p.Name, handler);
      break;
    }
    default:
      SkipValue();
      PropValueError();
  }
}

void TReader::DefineProperty(const std::string& name, const TReaderProc& read, const TWriterProc&, bool) {
  if (propFound_ || !read || !SameText(name, pendingProp_)) return;
  propFound_ = true;
  read(this);
}

void TReader::DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc&, bool) {
  if (propFound_ || !read || !SameText(name, pendingProp_)) return;
  propFound_ = true;
  if (ReadValue() != vaBinary) PropValueError();
  int32_t n = ReadLE<int32_t>(stream_);
  CheckLength(n);
  TMemoryStream data;
  data.SetSize(n);
  stream_->ReadBuffer(data.Memory(), n);
  data.SetPosition(0);
  read(&data);
}

}  // namespace vcl
