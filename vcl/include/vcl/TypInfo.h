// Published-property information: what form streaming and the design-time editors know about a
// class's properties, how a class declares them, and generic access to a property by name.
//
// A class declares its published properties in a static function that VCL_IMPLEMENT_CLASS finds:
//
//   class TScanRange : public vcl::TPersistent {
//     VCL_CLASS(TScanRange, vcl::TPersistent)
//    public:
//     static void DeclareProperties(vcl::TPropertyBuilder<TScanRange>& p);
//     ...
//   };
//   VCL_IMPLEMENT_CLASS(TScanRange, vcl::TPersistent)
//   void TScanRange::DeclareProperties(vcl::TPropertyBuilder<TScanRange>& p) {
//     p.Property("Supported", &TScanRange::FSupported, vcl::IgnoreValue).Default(true);
//     p.Property("Value", &TScanRange::GetValue, &TScanRange::SetValue);
//   }
//
// The kind follows from the reader's type: int32_t/uint32_t integer; bool Boolean; an enumeration
// with VCL_ENUM_INFO; vcl::Set<E>; float/double/long double (Single/Double/Extended); std::string;
// a pointer to a TObject class (sub-object or component reference); a std::function (event).
// A reader is a member function (const or not), a data member pointer or a callable taking C&.
// A writer is a member function, a data member pointer, a callable (C&, value), vcl::IgnoreValue
// (published writable, but the value is dropped) or nullptr (read-only).
#ifndef VCL_TYPINFO_H
#define VCL_TYPINFO_H

#include <vcl/SysUtils.h>
#include <vcl/System.h>

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace vcl {

class TPersistent;
class TComponent;

enum TTypeKind { tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
                 tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64 };
enum TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

// One published property. Made once per class and never changed afterwards.
class TPropInfo {
 public:
  std::string Name;
  TTypeKind Kind = tkUnknown;
  // "Integer", "Cardinal", "Boolean", "Single", "string", an enumeration's, set's or class's name,
  // or an event type's name ("TNotifyEvent") when the declaration gives one.
  std::string TypeName;
  const TEnumInfo* EnumType = nullptr;  // enumeration (Boolean too) or the element type of a set
  TFloatType FloatType = ftExtended;
  const TMetaClass* PropClass = nullptr;  // tkClass: the declared class of the value
  const TMetaClass* DeclaringClass = nullptr;
  const std::type_info* EventType = nullptr;  // tkMethod: the property's std::function type
  bool HasDefault = false;  // ordinal and set properties; "nodefault" when false
  int64_t Default = 0;      // ordinal value or set bits
  bool Writable = true;     // false for a read-only property (no writer)

  // True unless the declaration says stored false or its predicate says so for this object.
  bool IsStored(TObject* obj) const { return !stored_ || stored_(*obj); }

  // Generic access. The object must be of the declaring class (EInvalidCast otherwise); the
  // accessor must fit the kind (EPropertyConvertError otherwise). Setting a read-only property
  // raises EPropReadOnly.
  int64_t GetOrd(TObject* obj) const;  // integer, enumeration, Boolean, set bits
  void SetOrd(TObject* obj, int64_t value) const;
  long double GetFloat(TObject* obj) const;
  void SetFloat(TObject* obj, long double value) const;
  std::string GetStr(TObject* obj) const;
  void SetStr(TObject* obj, const std::string& value) const;
  TObject* GetObject(TObject* obj) const;
  void SetObject(TObject* obj, TObject* value) const;
  // Events: whether a handler is bound, and binding a handler (a std::any holding exactly the
  // property's std::function type; nullptr clears). A wrong handler type raises EInvalidCast.
  bool HasHandler(TObject* obj) const;
  void SetHandler(TObject* obj, const std::any* handler) const;

  // Filled by TPropertyBuilder.
  std::function<int64_t(TObject&)> getOrd_;
  std::function<void(TObject&, int64_t)> setOrd_;
  std::function<long double(TObject&)> getFloat_;
  std::function<void(TObject&, long double)> setFloat_;
  std::function<std::string(TObject&)> getStr_;
  std::function<void(TObject&, const std::string&)> setStr_;
  std::function<TObject*(TObject&)> getObj_;
  std::function<void(TObject&, TObject*)> setObj_;
  std::function<bool(TObject&)> hasHandler_;
  std::function<void(TObject&, const std::any*)> setHandler_;
  std::function<bool(TObject&)> stored_;
};

VCL_EXCEPTION_CLASS(EPropertyError, Exception);         // "Property Foo does not exist"
VCL_EXCEPTION_CLASS(EPropReadOnly, EPropertyError);     // "Property Foo is read-only"
VCL_EXCEPTION_CLASS(EPropertyConvertError, EPropertyError);  // value of the wrong kind

// A writer that accepts and drops the value.
struct IgnoreValueT {};
inline constexpr IgnoreValueT IgnoreValue{};

namespace detail {
template <class T>
struct IsStdFunction : std::false_type {};
template <class R, class... A>
struct IsStdFunction<std::function<R(A...)>> : std::true_type {};

template <class C>
C& Self(TObject& obj) {
  auto* c = dynamic_cast<C*>(&obj);
  if (!c) RaiseInvalidCast();
  return *c;
}

template <class C, class G>
decltype(auto) Read(G& get, C& c) {
  return std::invoke(get, c);
}

template <class C, class T, class S>
void Write(S& set, C& c, T value) {
  if constexpr (std::is_same_v<S, IgnoreValueT>) {
    (void)c, (void)value;
  } else if constexpr (std::is_member_object_pointer_v<S>) {
    c.*set = std::move(value);
  } else {
    std::invoke(set, c, std::move(value));
  }
}
}  // namespace detail

// Sets the default and stored flag of the property just declared.
template <class C>
class TPropertyRef {
 public:
  explicit TPropertyRef(TPropInfo* info) : info_(info) {}
  // Ordinal or set default: the value is written only when it differs.
  template <class T>
  TPropertyRef& Default(T value) {
    info_->HasDefault = true;
    if constexpr (IsSet<T>::value)
      info_->Default = static_cast<int64_t>(value.Bits());
    else
      info_->Default = static_cast<int64_t>(value);
    return *this;
  }
  TPropertyRef& NoDefault() {
    info_->HasDefault = false;
    return *this;
  }
  TPropertyRef& Stored(bool stored) {
    if (stored)
      info_->stored_ = nullptr;
    else
      info_->stored_ = [](TObject&) { return false; };
    return *this;
  }
  // A predicate: member function of C returning bool, or a callable taking C&.
  template <class P>
    requires(!std::is_same_v<P, bool>)
  TPropertyRef& Stored(P pred) {
    info_->stored_ = [pred](TObject& o) { return static_cast<bool>(std::invoke(pred, detail::Self<C>(o))); };
    return *this;
  }
  // The type name editors show (e.g. "TNotifyEvent", "TColor", "Cardinal").
  TPropertyRef& TypeName(std::string name) {
    info_->TypeName = std::move(name);
    return *this;
  }

 private:
  TPropInfo* info_;
};

// Declares the published properties of class C, in publishing (and streaming) order.
template <class C>
class TPropertyBuilder {
 public:
  explicit TPropertyBuilder(TMetaClass& meta) : meta_(meta) {}

  template <class G, class S>
  TPropertyRef<C> Property(std::string name, G get, S set) {
    using T = std::remove_cvref_t<std::invoke_result_t<G&, C&>>;
    auto p = std::make_unique<TPropInfo>();
    p->Name = std::move(name);
    p->DeclaringClass = &meta_;
    p->Writable = !std::is_same_v<S, std::nullptr_t>;
    if constexpr (std::is_same_v<T, bool>) {
      p->Kind = tkEnumeration;
      p->TypeName = "Boolean";
      p->EnumType = &BooleanInfo();
      Ordinal<T>(*p, get, set);
    } else if constexpr (std::is_enum_v<T>) {
      p->Kind = tkEnumeration;
      p->EnumType = &EnumInfo<T>();
      p->TypeName = p->EnumType->TypeName;
      Ordinal<T>(*p, get, set);
    } else if constexpr (std::is_integral_v<T>) {
      static_assert(sizeof(T) <= 4, "integer properties are 32-bit");
      p->Kind = tkInteger;
      p->TypeName = std::is_signed_v<T> ? "Integer" : "Cardinal";
      Ordinal<T>(*p, get, set);
    } else if constexpr (IsSet<T>::value) {
      using E = typename IsSet<T>::Element;
      p->Kind = tkSet;
      p->EnumType = &EnumInfo<E>();
      p->TypeName = "set of " + p->EnumType->TypeName;
      p->getOrd_ = [get](TObject& o) mutable {
        return static_cast<int64_t>(detail::Read(get, detail::Self<C>(o)).Bits());
      };
      if constexpr (!std::is_same_v<S, std::nullptr_t>)
        p->setOrd_ = [set](TObject& o, int64_t v) mutable {
          detail::Write<C, T>(set, detail::Self<C>(o), T::FromBits(static_cast<uint64_t>(v)));
        };
    } else if constexpr (std::is_floating_point_v<T>) {
      p->Kind = tkFloat;
      p->FloatType = std::is_same_v<T, float> ? ftSingle : std::is_same_v<T, double> ? ftDouble : ftExtended;
      p->TypeName = std::is_same_v<T, float> ? "Single" : std::is_same_v<T, double> ? "Double" : "Extended";
      p->getFloat_ = [get](TObject& o) mutable {
        return static_cast<long double>(detail::Read(get, detail::Self<C>(o)));
      };
      if constexpr (!std::is_same_v<S, std::nullptr_t>)
        p->setFloat_ = [set](TObject& o, long double v) mutable {
          detail::Write<C, T>(set, detail::Self<C>(o), static_cast<T>(v));
        };
    } else if constexpr (std::is_same_v<T, std::string>) {
      p->Kind = tkLString;
      p->TypeName = "string";
      p->getStr_ = [get](TObject& o) mutable { return std::string(detail::Read(get, detail::Self<C>(o))); };
      if constexpr (!std::is_same_v<S, std::nullptr_t>)
        p->setStr_ = [set](TObject& o, const std::string& v) mutable {
          detail::Write<C, T>(set, detail::Self<C>(o), v);
        };
    } else if constexpr (std::is_pointer_v<T> && std::is_base_of_v<TObject, std::remove_pointer_t<T>>) {
      using O = std::remove_pointer_t<T>;
      p->Kind = tkClass;
      p->PropClass = &O::StaticClass();
      p->TypeName = p->PropClass->ClassName();
      p->getObj_ = [get](TObject& o) mutable -> TObject* { return detail::Read(get, detail::Self<C>(o)); };
      if constexpr (!std::is_same_v<S, std::nullptr_t>)
        p->setObj_ = [set](TObject& o, TObject* v) mutable {
          O* typed = nullptr;
          if (v) {
            typed = dynamic_cast<O*>(v);
            if (!typed) RaiseInvalidCast();
          }
          detail::Write<C, T>(set, detail::Self<C>(o), typed);
        };
    } else if constexpr (detail::IsStdFunction<T>::value) {
      p->Kind = tkMethod;
      p->TypeName = "TMethod";
      p->EventType = &typeid(T);
      p->hasHandler_ = [get](TObject& o) mutable { return static_cast<bool>(detail::Read(get, detail::Self<C>(o))); };
      if constexpr (!std::is_same_v<S, std::nullptr_t>)
        p->setHandler_ = [set](TObject& o, const std::any* h) mutable {
          T fn;
          if (h && h->has_value()) {
            const T* typed = std::any_cast<T>(h);
            if (!typed) RaiseInvalidCast();
            fn = *typed;
          }
          detail::Write<C, T>(set, detail::Self<C>(o), std::move(fn));
        };
    } else {
      static_assert(sizeof(T) == 0, "unsupported published property type");
    }
    TPropInfo* raw = p.get();
    meta_.AddProperty(std::move(p));
    return TPropertyRef<C>(raw);
  }

 private:
  template <class T, class G, class S>
  void Ordinal(TPropInfo& p, G& get, S& set) {
    p.getOrd_ = [get](TObject& o) mutable { return static_cast<int64_t>(detail::Read(get, detail::Self<C>(o))); };
    if constexpr (!std::is_same_v<S, std::nullptr_t>)
      p.setOrd_ = [set](TObject& o, int64_t v) mutable {
        detail::Write<C, T>(set, detail::Self<C>(o), static_cast<T>(v));
      };
  }

  TMetaClass& meta_;
};

template <class C>
TMetaClass::Factory TMetaClass::FactoryOf() {
  if constexpr (std::is_base_of_v<TComponent, C> && !std::is_abstract_v<C> &&
                std::is_constructible_v<C, TComponent*>)
    return [](TComponent* owner) -> TComponent* { return new C(owner); };
  else
    return nullptr;
}

template <class C>
void TMetaClass::DescribeOf(TMetaClass& meta) {
  if constexpr (requires(TPropertyBuilder<C>& b) { C::DeclareProperties(b); }) {
    TPropertyBuilder<C> builder(meta);
    C::DeclareProperties(builder);
  } else {
    (void)meta;
  }
}

// ---- Identifiers for integer values --------------------------------------------------------------

// Names for values of an integer type (TColor: clBlack, clBtnFace, ...): an integer property whose
// TypeName has such a table is written as the identifier when its value has one, and reads and
// shows identifiers as well as numbers.
void RegisterIntegerConsts(const std::string& typeName, std::vector<std::pair<std::string, int32_t>> consts);
// The identifier of value for that type, "" when none.
std::string IntToIdent(std::string_view typeName, int64_t value);
// True and the value when ident names one for that type (case-insensitive).
bool IdentToInt(std::string_view typeName, std::string_view ident, int64_t& value);

// ---- Generic access by name ---------------------------------------------------------------------

// The property of obj's class (case-insensitive); nullptr when there is none.
const TPropInfo* GetPropInfo(const TObject* obj, std::string_view name);
// Like GetPropInfo but raises EPropertyError "Property Foo does not exist".
const TPropInfo& FindPropInfo(const TObject* obj, std::string_view name);

int64_t GetOrdProp(TObject* obj, std::string_view name);
void SetOrdProp(TObject* obj, std::string_view name, int64_t value);
std::string GetEnumProp(TObject* obj, std::string_view name);                  // identifier
void SetEnumProp(TObject* obj, std::string_view name, std::string_view ident);  // EPropertyConvertError if unknown
std::string GetSetProp(TObject* obj, std::string_view name, bool brackets = false);  // "umInch,umCm"
void SetSetProp(TObject* obj, std::string_view name, std::string_view text);  // with or without brackets
long double GetFloatProp(TObject* obj, std::string_view name);
void SetFloatProp(TObject* obj, std::string_view name, long double value);
std::string GetStrProp(TObject* obj, std::string_view name);
void SetStrProp(TObject* obj, std::string_view name, const std::string& value);
TObject* GetObjectProp(TObject* obj, std::string_view name);
void SetObjectProp(TObject* obj, std::string_view name, TObject* value);

// A property's value as the text an editor shows: integers in decimal, enumerations and Booleans
// by identifier, sets as "[a,b]", floats as FloatToStr, strings as they are, objects by their
// class name or component name, events by handler name. The name may be a dotted path through
// sub-objects ("Resolution.Value").
std::string GetPropValue(TObject* obj, std::string_view path);
// Sets a property from such text; events and objects cannot be set this way (EPropertyConvertError).
void SetPropValue(TObject* obj, std::string_view path, std::string_view text);

// Whether form streaming writes this property of obj: stored, and not at its default (ordinal with
// a default equal to it, float 0, empty string, nil object, unbound event).
bool IsStoredProp(TObject* obj, const TPropInfo& prop);
bool IsDefaultPropValue(TObject* obj, const TPropInfo& prop);

// Binds an event property of obj to the handler `handlerName` of root (its table of handlers,
// TComponent::DeclareHandler). Raises EPropertyError "Method 'X' not found" when root has none;
// an empty name unbinds.
void SetMethodProp(TPersistent* obj, std::string_view name, TComponent* root, const std::string& handlerName);
// The bound handler's name, "" when none is bound (or the handler was set in code without a name).
std::string GetMethodProp(TPersistent* obj, std::string_view name);

}  // namespace vcl

// In the .cpp file of a class that used VCL_CLASS: defines its class information. Component
// classes with a constructor taking the owner can be created by name once registered.
#define VCL_IMPLEMENT_CLASS(Class, Parent)                                                      \
  const ::vcl::TMetaClass& Class::StaticClass() {                                               \
    static const ::vcl::TMetaClass meta(#Class, &Parent::StaticClass(),                        \
                                        ::vcl::TMetaClass::FactoryOf<Class>(),                  \
                                        &::vcl::TMetaClass::DescribeOf<Class>);                 \
    return meta;                                                                                \
  }

#endif
