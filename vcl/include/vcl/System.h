// The root of the framework subset: TObject with its class information (TMetaClass), the small
// set type vcl::Set<E>, and names for enumerations (VCL_ENUM_INFO) that streaming and editors use.
#ifndef VCL_SYSTEM_H
#define VCL_SYSTEM_H

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vcl {

// ---- Sets ---------------------------------------------------------------------------------------

// A Pascal "set of E": member n is bit n. E is a plain enumeration with at most 64 members.
template <class E>
class Set {
 public:
  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }
  static constexpr Set FromBits(uint64_t bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }
  constexpr uint64_t Bits() const { return bits_; }
  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set& Include(E m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr Set& Exclude(E m) {
    bits_ &= ~Bit(m);
    return *this;
  }
  friend constexpr bool operator==(Set a, Set b) { return a.bits_ == b.bits_; }
  friend constexpr Set operator+(Set a, Set b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr Set operator-(Set a, Set b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr Set operator*(Set a, Set b) { return FromBits(a.bits_ & b.bits_); }
  Set& operator+=(Set b) { return *this = *this + b; }
  Set& operator-=(Set b) { return *this = *this - b; }

 private:
  static constexpr uint64_t Bit(E m) {
    auto n = static_cast<unsigned>(m);
    return n < 64 ? uint64_t{1} << n : 0;
  }
  uint64_t bits_ = 0;
};

template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<Set<E>> : std::true_type {
  using Element = E;
};

// ---- Enumeration names --------------------------------------------------------------------------

// The type name and member identifiers of an enumeration whose ordinals run 0..n-1.
struct TEnumInfo {
  std::string TypeName;
  std::vector<std::string> Names;
  // Ordinal of an identifier (case-insensitive), -1 when it is not a member.
  int IndexOf(std::string_view name) const;
  // Identifier of an ordinal; "" when out of range.
  std::string NameOf(int64_t ordinal) const;
  // Builds the info from "a, b, c" as the macro below stringifies it.
  static TEnumInfo FromList(std::string typeName, std::string_view commaList);
};

// The Boolean type: False, True.
const TEnumInfo& BooleanInfo();

}  // namespace vcl

// Declares the names of an enumeration, next to it in the enumeration's own namespace:
//   enum TScanUnitMode { umInch, umCm, umPixel };
//   VCL_ENUM_INFO(TScanUnitMode, umInch, umCm, umPixel)
// vcl::EnumInfo<TScanUnitMode>() then finds it (argument-dependent lookup).
#define VCL_ENUM_INFO(Type, ...)                                                       \
  inline const ::vcl::TEnumInfo& VclEnumInfo(Type*) {                                  \
    static const ::vcl::TEnumInfo info = ::vcl::TEnumInfo::FromList(#Type, #__VA_ARGS__); \
    return info;                                                                       \
  }

namespace vcl {

template <class E>
const TEnumInfo& EnumInfo() {
  if constexpr (std::is_same_v<E, bool>)
    return BooleanInfo();
  else
    return VclEnumInfo(static_cast<E*>(nullptr));
}

// ---- Objects and their classes ------------------------------------------------------------------

class TObject;
class TComponent;
class TPropInfo;

// What the framework knows about a class: its name, its parent, its published properties (the
// inherited ones first) and, for components, how to create one by name.
class TMetaClass {
 public:
  using Factory = TComponent* (*)(TComponent* owner);
  using Describe = void (*)(TMetaClass& meta);
  // Calls describe (which adds the published properties) once the class information exists.
  TMetaClass(std::string name, const TMetaClass* parent, Factory factory, Describe describe = nullptr);
  ~TMetaClass();
  TMetaClass(const TMetaClass&) = delete;
  TMetaClass& operator=(const TMetaClass&) = delete;

  const std::string& ClassName() const { return name_; }
  const TMetaClass* ClassParent() const { return parent_; }
  bool InheritsFrom(const TMetaClass& other) const;
  bool InheritsFrom(std::string_view className) const;  // case-insensitive
  // True for component classes that can be created by name.
  bool CanCreate() const { return factory_ != nullptr; }
  // Creates a component of this class; raises EClassNotFound when the class has no factory.
  TComponent* CreateComponent(TComponent* owner) const;

  // Published properties, inherited ones first, in declaration order.
  const std::vector<const TPropInfo*>& Properties() const { return all_; }
  // Case-insensitive; nullptr when there is none.
  const TPropInfo* FindProperty(std::string_view name) const;

  // Used by the property builder (TypInfo.h) while the class information is made.
  void AddProperty(std::unique_ptr<TPropInfo> prop);

  // The factory and property declarations of C; see VCL_IMPLEMENT_CLASS in TypInfo.h.
  template <class C>
  static Factory FactoryOf();
  template <class C>
  static void DescribeOf(TMetaClass& meta);

 private:
  std::string name_;
  const TMetaClass* parent_;
  Factory factory_;
  std::vector<std::unique_ptr<TPropInfo>> own_;
  std::vector<const TPropInfo*> all_;
};

using TClass = const TMetaClass*;

// Inside a class body derived from TObject: VCL_CLASS(TScanner, TComponent) declares its class
// information and `inherited`. The .cpp file gives the definition with VCL_IMPLEMENT_CLASS. Leaves
// the access at private.
#define VCL_CLASS(Class, Parent)                                                  \
 public:                                                                          \
  using inherited = Parent;                                                       \
  static const ::vcl::TMetaClass& StaticClass();                                  \
  const ::vcl::TMetaClass& ClassType() const override { return StaticClass(); }   \
                                                                                  \
 private:

// The root of all framework classes. Objects are held by pointer and freed with delete (Free).
class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static const TMetaClass& StaticClass();
  virtual const TMetaClass& ClassType() const { return StaticClass(); }
  const std::string& ClassName() const { return ClassType().ClassName(); }
  bool InheritsFrom(const TMetaClass& c) const { return ClassType().InheritsFrom(c); }
  bool InheritsFrom(std::string_view className) const { return ClassType().InheritsFrom(className); }
  template <class C>
  bool Is() const {
    return ClassType().InheritsFrom(C::StaticClass());
  }
};

// The `as` operator: obj cast to C, nullptr for nullptr, EInvalidCast ("Invalid class typecast")
// when obj is not a C.
[[noreturn]] void RaiseInvalidCast();
template <class C>
C* As(TObject* obj) {
  if (!obj) return nullptr;
  if (auto* c = dynamic_cast<C*>(obj)) return c;
  RaiseInvalidCast();
}

// ---- Class registry -----------------------------------------------------------------------------

// Registers classes so that form reading can create them by name. Registering twice is harmless.
void RegisterClass(const TMetaClass& c);
void RegisterClasses(std::initializer_list<const TMetaClass*> classes);
void UnRegisterClass(const TMetaClass& c);
// nullptr when no class of that name is registered (case-insensitive).
TClass GetClass(std::string_view name);
// Raises EClassNotFound "Class TFoo not found".
const TMetaClass& FindClass(std::string_view name);

}  // namespace vcl

#endif
