// The designer's interfaces: what a design package (a plug-in loaded by the designer host) uses to
// put components on the palette and to attach property editors and component editors, and what a
// designer host uses to show a component's rows in its Object Inspector and run its verbs.
//
// A package registers from its Register routine, which the host calls once after loading it:
//
//   void Register() {
//     vcl::RegisterComponents("Scanner", {&TScanner::StaticClass()});
//     vcl::RegisterPropertyEditor(vcl::TypeInfo<bool>(), &TScanRange::StaticClass(), "Supported",
//                                 vcl::PropertyEditorClass<TReadOnlyBoolProperty>());
//     vcl::RegisterComponentEditor(TScanner::StaticClass(), vcl::ComponentEditorClass<TScannerEditor>());
//   }
//
// The host finds the editor of a property (FindPropertyEditor: the most specific registration wins)
// and of a component (GetComponentEditor), and tells the designer (IDesigner) through Modified that
// the designed form changed. Everything runs on the GUI thread.
#ifndef VCL_DESIGNINTF_H
#define VCL_DESIGNINTF_H

#include <vcl/Classes.h>
#include <vcl/TypInfo.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace vcl {

class IDesigner;
class TPropertyEditor;
class TComponentEditor;

// ---- Type information ---------------------------------------------------------------------------

// A property type as registrations name it: the kind and the type name a published property reports
// ("Boolean", "Single", "TScanUnitMode", "TColor"), and for class types the class.
struct TTypeInfo {
  TTypeKind Kind = tkUnknown;
  std::string Name;
  const TMetaClass* ClassType = nullptr;  // tkClass only
};

// The type information of a C++ type, as the published-property builder classifies it: bool is
// Boolean, float Single, double Double, long double Extended, int32_t Integer, uint32_t Cardinal,
// std::string string, an enumeration with VCL_ENUM_INFO its name, vcl::Set<E> "set of E", a pointer
// to a framework class that class.
template <class T>
TTypeInfo TypeInfo();
// A type known only by kind and name (an integer type with named values: TypeInfoNamed(tkInteger,
// "TColor"); an event type: TypeInfoNamed(tkMethod, "TNotifyEvent")).
TTypeInfo TypeInfoNamed(TTypeKind kind, std::string name);
// The type of a published property.
TTypeInfo TypeInfoOf(const TPropInfo& prop);
// Whether a property of type `prop` is of the registered type `registered`: the same kind and name,
// or for classes a class inheriting from the registered one.
bool TypeMatches(const TTypeInfo& registered, const TPropInfo& prop);

// ---- Property editors ---------------------------------------------------------------------------

// What the Object Inspector may do with a row.
enum TPropertyAttribute {
  paValueList,       // GetValues offers a list of values
  paSubProperties,   // GetProperties offers rows below this one
  paDialog,          // Edit opens a dialog
  paMultiSelect,     // shown when several components are selected
  paAutoUpdate,      // SetValue on every change of the text
  paSortList,        // the value list is shown sorted
  paReadOnly,        // the value is shown but cannot be typed
  paRevertable,      // the value can be reverted to the inherited one
  paFullWidthName,   // the name takes the whole row
  paVolatileSubProperties,  // the sub-properties change with the value
  paVCL,
  paNotNestable      // not shown as a sub-property
};
VCL_ENUM_INFO(TPropertyAttribute, paValueList, paSubProperties, paDialog, paMultiSelect, paAutoUpdate, paSortList,
              paReadOnly, paRevertable, paFullWidthName, paVolatileSubProperties, paVCL, paNotNestable)
using TPropertyAttributes = Set<TPropertyAttribute>;

// How an editor hands out the editors of its sub-properties; the receiver owns each.
using TGetPropProc = std::function<void(std::unique_ptr<TPropertyEditor> Prop)>;
using TGetStrProc = std::function<void(const std::string& S)>;

// A property-editor class as registrations take it: its class information and its constructor.
struct TPropertyEditorClassRec {
  const TMetaClass* Class;
  std::unique_ptr<TPropertyEditor> (*Create)(IDesigner* Designer, int PropCount);
};
using TPropertyEditorClass = const TPropertyEditorClassRec*;
// The class reference of editor class E (which has a constructor (IDesigner*, int)).
template <class E>
TPropertyEditorClass PropertyEditorClass() {
  static const TPropertyEditorClassRec rec{
      &E::StaticClass(), [](IDesigner* d, int n) -> std::unique_ptr<TPropertyEditor> { return std::make_unique<E>(d, n); }};
  return &rec;
}

// Edits one published property of one or more objects (a multiple selection) as text. The designer
// makes it for PropCount objects, sets each entry (SetPropEntry), calls Initialize, then shows
// GetName and GetValue and calls SetValue with what the user typed. The Set...Value helpers write
// the property of every entry and then call Modified.
class TPropertyEditor : public TObject {
  VCL_CLASS(TPropertyEditor, TObject)
 public:
  TPropertyEditor(IDesigner* ADesigner, int APropCount);
  ~TPropertyEditor() override;

  // Called once after the entries are set.
  virtual void Initialize() {}
  // paRevertable here; each editor says what it allows.
  virtual TPropertyAttributes GetAttributes();
  // The property's name (the row's caption).
  virtual std::string GetName();
  // The value as the row shows it; "" here.
  virtual std::string GetValue();
  // The value the row shows for a multiple selection: GetValue when AllEqual, else "".
  std::string GetVisualValue();
  // Writes the value typed by the user; errors (a bad number, a name that is no value) raise an
  // exception with the reason and write nothing. Does nothing here.
  virtual void SetValue(const std::string& Value);
  // The values of the drop-down list (paValueList).
  virtual void GetValues(const TGetStrProc& Proc);
  // The editors of the sub-properties (paSubProperties).
  virtual void GetProperties(const TGetPropProc& Proc);
  // The ellipsis button or a double-click: does nothing here.
  virtual void Edit();
  // Whether every entry has the same value (true for a single entry).
  virtual bool AllEqual();
  // The longest text the row accepts.
  virtual int GetEditLimit();

  // Used by the designer while it makes the editor.
  void SetPropEntry(int Index, TPersistent* Instance, const TPropInfo* PropInfo);

  IDesigner* Designer() const { return designer_; }
  int PropCount() const { return static_cast<int>(entries_.size()); }
  // The object of entry Index (EListError outside 0..PropCount-1).
  TPersistent* GetComponent(int Index) const;
  const TPropInfo* GetPropInfo() const { return entries_.empty() ? nullptr : entries_[0].prop; }
  TTypeInfo GetPropType() const;
  // Tells the designer that the designed form changed.
  void Modified();

 protected:
  // Values of entry 0 (or Index), and writes to every entry followed by Modified.
  int64_t GetOrdValue() const { return GetOrdValueAt(0); }
  int64_t GetOrdValueAt(int Index) const;
  void SetOrdValue(int64_t Value);
  long double GetFloatValue() const { return GetFloatValueAt(0); }
  long double GetFloatValueAt(int Index) const;
  void SetFloatValue(long double Value);
  std::string GetStrValue() const { return GetStrValueAt(0); }
  std::string GetStrValueAt(int Index) const;
  void SetStrValue(const std::string& Value);
  TObject* GetObjectValueAt(int Index) const;
  void SetObjectValue(TObject* Value);

 private:
  struct Entry {
    TPersistent* instance = nullptr;
    const TPropInfo* prop = nullptr;
  };
  IDesigner* designer_;
  std::vector<Entry> entries_;
};

// Integers, enumerations and sets: multi-select; all equal when the ordinals are.
class TOrdinalProperty : public TPropertyEditor {
  VCL_CLASS(TOrdinalProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paRevertable
  bool AllEqual() override;
  int GetEditLimit() override { return 63; }
};

// Integers in decimal (or an identifier of the type's named values, TColor's clBtnFace). SetValue
// raises EPropertyError "Value must be between <min> and <max>" outside the type's range.
class TIntegerProperty : public TOrdinalProperty {
  VCL_CLASS(TIntegerProperty, TOrdinalProperty)
 public:
  using TOrdinalProperty::TOrdinalProperty;
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
};

// Enumerations by identifier, with the identifiers as the value list. SetValue raises
// EPropertyError "Invalid property value" for a name the type lacks.
class TEnumProperty : public TOrdinalProperty {
  VCL_CLASS(TEnumProperty, TOrdinalProperty)
 public:
  using TOrdinalProperty::TOrdinalProperty;
  TPropertyAttributes GetAttributes() override;  // + paValueList, paSortList
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  void GetValues(const TGetStrProc& Proc) override;
};

// Boolean: "False" and "True" (SetValue also takes 0 and 1).
class TBoolProperty : public TEnumProperty {
  VCL_CLASS(TBoolProperty, TEnumProperty)
 public:
  using TEnumProperty::TEnumProperty;
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  void GetValues(const TGetStrProc& Proc) override;
};

// A set, shown as "[umInch,umCm]"; it is edited through one Boolean sub-property per member
// (TSetElementProperty), so the row itself is read-only.
class TSetProperty : public TOrdinalProperty {
  VCL_CLASS(TSetProperty, TOrdinalProperty)
 public:
  using TOrdinalProperty::TOrdinalProperty;
  TPropertyAttributes GetAttributes() override;  // + paSubProperties, paReadOnly
  std::string GetValue() override;
  void GetProperties(const TGetPropProc& Proc) override;
};

// One member of a set: "True" when the set holds it; writing adds or removes it.
class TSetElementProperty : public TPropertyEditor {
  VCL_CLASS(TSetElementProperty, TPropertyEditor)
 public:
  TSetElementProperty(IDesigner* ADesigner, int APropCount, int Element);
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paValueList, paSortList
  std::string GetName() override;
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  void GetValues(const TGetStrProc& Proc) override;
  bool AllEqual() override;

 private:
  int element_;
};

// Single, Double and Extended, shown with the type's precision (7, 15 or 18 significant digits) in
// the user's number format; SetValue raises EConvertError for text that is no number.
class TFloatProperty : public TPropertyEditor {
  VCL_CLASS(TFloatProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paRevertable
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  bool AllEqual() override;
};

// Strings as they are.
class TStringProperty : public TPropertyEditor {
  VCL_CLASS(TStringProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paRevertable
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  bool AllEqual() override;
  int GetEditLimit() override { return 255; }
};

// A persistent sub-object (TScanRange, TFont): shown as "(TScanRange)", edited through the rows of
// its own published properties.
class TClassProperty : public TPropertyEditor {
  VCL_CLASS(TClassProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paSubProperties, paReadOnly
  std::string GetValue() override;
  void GetProperties(const TGetPropProc& Proc) override;
};

// A reference to another component of the designed form, by name; the value list holds the names
// of the form's components of the property's class. SetValue raises EPropertyError "Invalid
// property value" for a name that is no such component; "" clears the reference.
class TComponentProperty : public TPropertyEditor {
  VCL_CLASS(TComponentProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paValueList, paSortList, paRevertable
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  void GetValues(const TGetStrProc& Proc) override;
};

// An event, by handler name; the value list holds the designed form's handlers of the event's type.
// SetValue binds the form's handler of that name; at design time a name the form does not (yet)
// implement is kept as the binding the form file will name. "" unbinds.
class TMethodProperty : public TPropertyEditor {
  VCL_CLASS(TMethodProperty, TPropertyEditor)
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() override;  // paMultiSelect, paValueList, paSortList, paRevertable
  std::string GetValue() override;
  void SetValue(const std::string& Value) override;
  void GetValues(const TGetStrProc& Proc) override;
  bool AllEqual() override;
};

// ---- Component editors --------------------------------------------------------------------------

// A context-menu item of the designer, as PrepareItem sees it before the menu is shown.
class TMenuItem : public TComponent {
  VCL_CLASS(TMenuItem, TComponent)
 public:
  explicit TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}
  std::string Caption;
  bool Enabled = true;
  bool Visible = true;
  bool Checked = false;
  bool Default = false;
};

struct TComponentEditorClassRec {
  const TMetaClass* Class;
  std::unique_ptr<TComponentEditor> (*Create)(TComponent* Component, IDesigner* Designer);
};
using TComponentEditorClass = const TComponentEditorClassRec*;
// The class reference of component-editor class E (which has a constructor (TComponent*, IDesigner*)).
template <class E>
TComponentEditorClass ComponentEditorClass() {
  static const TComponentEditorClassRec rec{
      &E::StaticClass(),
      [](TComponent* c, IDesigner* d) -> std::unique_ptr<TComponentEditor> { return std::make_unique<E>(c, d); }};
  return &rec;
}

// The designer's helper for one component: the verbs of its context menu and the action of a
// double-click. The base class has no verbs.
class TComponentEditor : public TObject {
  VCL_CLASS(TComponentEditor, TObject)
 public:
  TComponentEditor(TComponent* AComponent, IDesigner* ADesigner);
  ~TComponentEditor() override;

  // The double-click: runs verb 0 when there is at least one verb, otherwise nothing.
  virtual void Edit();
  // Runs the verb Index (0 .. GetVerbCount-1); nothing for another index.
  virtual void ExecuteVerb(int Index);
  // The menu caption of verb Index; "" for another index.
  virtual std::string GetVerb(int Index);
  virtual int GetVerbCount();
  // Lets the editor adjust the menu item of verb Index before the menu shows; nothing here.
  virtual void PrepareItem(int Index, TMenuItem* AItem);
  // Called after the designer copied the component to the clipboard; nothing here.
  virtual void Copy();

  TComponent* Component() const { return component_; }
  IDesigner* Designer() const { return designer_; }

 private:
  TComponent* component_;
  IDesigner* designer_;
};

// ---- The designer -------------------------------------------------------------------------------

// The form designer as editors see it: the designed root and its components, and Modified, which
// marks the form as changed so that the host saves it.
class IDesigner {
 public:
  virtual ~IDesigner() = default;
  // The designed form (or other root component).
  virtual TComponent* GetRoot() = 0;
  // The form changed: the host will save it.
  virtual void Modified() = 0;
  // The root or one of the components it owns, by name (case-insensitive); nullptr when none.
  virtual TComponent* GetComponent(std::string_view Name);
  // The name an editor shows for a component ("" for nullptr).
  virtual std::string GetComponentName(TComponent* Component);
  // The names of the root's components (and the root) of ClassType or a class derived from it.
  virtual void GetComponentNames(const TMetaClass& ClassType, const TGetStrProc& Proc);
  // The root's handlers whose type is EventType, sorted by name.
  virtual void GetMethods(const std::type_info& EventType, const TGetStrProc& Proc);
};

// A designer over one root that counts Modified calls: enough for a host working on form files,
// and for tests.
class TFormDesigner : public IDesigner {
 public:
  explicit TFormDesigner(TComponent* Root) : root_(Root) {}
  TComponent* GetRoot() override { return root_; }
  void Modified() override { ++modified_; }
  bool IsModified() const { return modified_ > 0; }
  int ModifiedCount() const { return modified_; }
  void ResetModified() { modified_ = 0; }

 private:
  TComponent* root_;
  int modified_ = 0;
};

// ---- Registration -------------------------------------------------------------------------------

// Puts component classes on the palette page Page (created on first use; pages keep the order in
// which they were first named, classes the order of registration) and registers each class for form
// reading (RegisterClass).
void RegisterComponents(const std::string& Page, std::initializer_list<const TMetaClass*> ComponentClasses);
// Attaches EditorClass to properties of PropertyType. ComponentClass (nullptr: any class) limits it
// to objects of that class or a derived one, PropertyName ("" : any name) to properties of that
// name. When several registrations fit a property, the most specific wins: one naming the property
// beats one that does not, then a registration for a derived component class beats one for its base
// (or for any class), then an exact property type beats a base class of it, and among equals the
// later registration wins.
void RegisterPropertyEditor(const TTypeInfo& PropertyType, const TMetaClass* ComponentClass,
                            const std::string& PropertyName, TPropertyEditorClass EditorClass);
// Attaches EditorClass to components of ComponentClass and its descendants (the most derived
// registration wins, then the later one).
void RegisterComponentEditor(const TMetaClass& ComponentClass, TComponentEditorClass EditorClass);

// One palette page: its name and its classes in registration order.
struct TPalettePage {
  std::string Name;
  std::vector<const TMetaClass*> Classes;
};
std::vector<TPalettePage> PalettePages();

// Every registration call still in force, in the order made, for a host (and tests) to show.
struct TRegistrationRecord {
  enum TKind { rkComponents, rkPropertyEditor, rkComponentEditor };
  TKind Kind;
  std::string Page;                         // rkComponents
  std::vector<const TMetaClass*> Classes;   // rkComponents
  TTypeInfo PropertyType;                   // rkPropertyEditor
  const TMetaClass* ComponentClass = nullptr;  // rkPropertyEditor (may be nullptr), rkComponentEditor
  std::string PropertyName;                 // rkPropertyEditor
  TPropertyEditorClass PropertyEditor = nullptr;
  TComponentEditorClass ComponentEditor = nullptr;
  int Scope = 0;                            // the TRegistrationScope that made it, 0 for none
};
const std::vector<TRegistrationRecord>& Registrations();
// The call as one line: "RegisterComponents('Scanner', [TScanner])",
// "RegisterPropertyEditor(Boolean, TScanRange, 'Supported', TReadOnlyBoolProperty)",
// "RegisterComponentEditor(TScanner, TScannerEditor)".
std::string DescribeRegistration(const TRegistrationRecord& Record);

// Collects what is registered from its construction until Stop (palette entries, editors, and the
// classes RegisterComponents registered that were not registered before) and withdraws all of it
// when it ends, so that a package can be unloaded. Scopes nest; the innermost collecting one owns
// what is registered.
class TRegistrationScope {
 public:
  TRegistrationScope();
  ~TRegistrationScope();
  TRegistrationScope(const TRegistrationScope&) = delete;
  TRegistrationScope& operator=(const TRegistrationScope&) = delete;
  // Stops collecting; what was collected stays registered until the scope ends.
  void Stop();
  int Id() const { return id_; }

 private:
  int id_;
  int outer_;
  bool collecting_ = true;
};

// The editor class for property Prop of Instance: the best registration (see
// RegisterPropertyEditor), otherwise the ordinary editor of its kind: TBoolProperty for Boolean,
// TEnumProperty, TIntegerProperty, TSetProperty, TFloatProperty, TStringProperty, TComponentProperty
// for component references, TClassProperty for other objects, TMethodProperty for events.
TPropertyEditorClass FindPropertyEditor(const TPersistent* Instance, const TPropInfo& Prop);
// An editor for property Prop of every object in Instances (all must have it), initialized.
std::unique_ptr<TPropertyEditor> CreatePropertyEditor(IDesigner* Designer, const std::vector<TPersistent*>& Instances,
                                                      const TPropInfo& Prop);
// The editors of the published properties that Instances all have, in publishing order: for events
// when Events, otherwise for the other properties; properties without a writer are left out unless
// they hold a sub-object.
void GetComponentProperties(const std::vector<TPersistent*>& Instances, IDesigner* Designer, const TGetPropProc& Proc,
                            bool Events = false);
// The component editor for Component (the best registration, else the base TComponentEditor).
std::unique_ptr<TComponentEditor> GetComponentEditor(TComponent* Component, IDesigner* Designer);

// ---- The Object Inspector -----------------------------------------------------------------------

// One row of the Object Inspector: its dotted path ("Resolution.Min"), its value, its editor's
// attributes, and the editor itself (for SetValue).
struct TInspectorRow {
  std::string Path;
  std::string Value;
  TPropertyAttributes Attributes;
  int Depth = 0;  // 0 for a property of the component, 1 for a sub-property, ...
  std::unique_ptr<TPropertyEditor> Editor;
};
// The rows of Instance as the Object Inspector lists them: sorted by name, each followed by its
// sub-properties (expanded), Events selecting the events page.
std::vector<TInspectorRow> InspectorRows(TPersistent* Instance, IDesigner* Designer, bool Events = false);
// The attribute names as a person reads them: "read-only, sub-properties, multi-select".
std::string AttributesText(TPropertyAttributes Attributes);

// ---- Packages -----------------------------------------------------------------------------------

// The entry a design package exports: extern "C" void KorvenDesignRegister(void), which calls the
// package's Register routines. An optional entry extern "C" const char* KorvenDesignDescription(void)
// gives the description a host shows.
inline constexpr const char* kPackageEntry = "KorvenDesignRegister";
inline constexpr const char* kPackageDescriptionEntry = "KorvenDesignDescription";

VCL_EXCEPTION_CLASS(EPackageError, Exception);

// A design package loaded by path (LoadLibraryA), its entry called once inside a registration
// scope. Raises EPackageError naming the file and the reason when the file is missing, cannot be
// loaded or has no entry, and passes on an exception of the entry (its registrations withdrawn, the
// module freed). The destructor withdraws the registrations and frees the module.
class TDesignPackage {
 public:
  explicit TDesignPackage(const std::string& FileName);
  ~TDesignPackage();
  TDesignPackage(const TDesignPackage&) = delete;
  TDesignPackage& operator=(const TDesignPackage&) = delete;
  const std::string& FileName() const { return fileName_; }
  // The package's description, "" when it gives none.
  const std::string& Description() const { return description_; }

 private:
  std::string fileName_;
  std::string description_;
  HMODULE module_ = 0;
  std::unique_ptr<TRegistrationScope> scope_;
};

// ---- Template definitions -----------------------------------------------------------------------

namespace detail {
template <class T>
struct IsStdFunctionT : std::false_type {};
template <class R, class... A>
struct IsStdFunctionT<std::function<R(A...)>> : std::true_type {};
}  // namespace detail

template <class T>
TTypeInfo TypeInfo() {
  if constexpr (std::is_same_v<T, bool>) {
    return {tkEnumeration, "Boolean", nullptr};
  } else if constexpr (std::is_enum_v<T>) {
    return {tkEnumeration, EnumInfo<T>().TypeName, nullptr};
  } else if constexpr (std::is_integral_v<T>) {
    static_assert(sizeof(T) <= 4, "integer properties are 32-bit");
    return {tkInteger, std::is_signed_v<T> ? "Integer" : "Cardinal", nullptr};
  } else if constexpr (IsSet<T>::value) {
    return {tkSet, "set of " + EnumInfo<typename IsSet<T>::Element>().TypeName, nullptr};
  } else if constexpr (std::is_floating_point_v<T>) {
    return {tkFloat, std::is_same_v<T, float> ? "Single" : std::is_same_v<T, double> ? "Double" : "Extended", nullptr};
  } else if constexpr (std::is_same_v<T, std::string>) {
    return {tkLString, "string", nullptr};
  } else if constexpr (std::is_pointer_v<T> && std::is_base_of_v<TObject, std::remove_pointer_t<T>>) {
    const TMetaClass& c = std::remove_pointer_t<T>::StaticClass();
    return {tkClass, c.ClassName(), &c};
  } else if constexpr (detail::IsStdFunctionT<T>::value) {
    return {tkMethod, "TMethod", nullptr};
  } else {
    static_assert(sizeof(T) == 0, "not a published property type");
  }
}

}  // namespace vcl

#endif
