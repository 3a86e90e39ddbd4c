// The framework's class library: TPersistent, TComponent with ownership and notification, TList,
// TStrings/TStringList, the streams, and form streaming (TReader/TWriter, the binary "TPF0" and
// the text form-file formats and the conversions between them).
#ifndef VCL_CLASSES_H
#define VCL_CLASSES_H

#include <vcl/SysUtils.h>
#include <vcl/System.h>
#include <vcl/TypInfo.h>

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vcl {

class TFiler;
class TReader;
class TWriter;
class TStream;

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---- TPersistent --------------------------------------------------------------------------------

// An object with published properties that can be assigned and streamed.
class TPersistent : public TObject {
  VCL_CLASS(TPersistent, TObject)
 public:
  // Copies source into this object: the base asks source->AssignTo(this). nullptr raises
  // EConvertError "Cannot assign a nil to a TBar".
  virtual void Assign(TPersistent* source);
  // The name an editor shows for this object ("Scanner1.Resolution"); the class name by default.
  virtual std::string GetNamePath() const;

  // Event bindings by handler name, kept so that a form file can name the handler again.
  std::string EventBinding(std::string_view property) const;
  void SetEventBinding(std::string_view property, const std::string& handlerName);

 protected:
  // Copies this object into dest; the base raises EConvertError "Cannot assign a TFoo to a TBar".
  virtual void AssignTo(TPersistent* dest);
  // Declares properties beyond the published ones (TStrings' "Strings"); see TFiler.
  virtual void DefineProperties(TFiler* filer);
  [[noreturn]] void AssignError(const TPersistent* source) const;

  friend class TReader;
  friend class TWriter;

 private:
  std::unique_ptr<std::map<std::string, std::string>> eventBindings_;
};

// ---- TComponent ---------------------------------------------------------------------------------

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor,
                           csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance };
VCL_ENUM_INFO(TComponentStateItem, csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor,
              csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance)
using TComponentState = Set<TComponentStateItem>;

enum TOperation { opInsert, opRemove };
VCL_ENUM_INFO(TOperation, opInsert, opRemove)

// A named object in an ownership tree. The owner frees the components it owns (the last inserted
// first) when it is destroyed; components that asked for FreeNotification hear of its removal.
// Published: Name (written in the object header, not as a property) and Tag (default 0).
class TComponent : public TPersistent {
  VCL_CLASS(TComponent, TPersistent)
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  static void DeclareProperties(TPropertyBuilder<TComponent>& p);

  TComponent* GetOwner() const { return owner_; }
  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // EListError "List index out of bounds (n)" outside 0..ComponentCount()-1.
  TComponent* Components(int index) const;
  int GetComponentIndex() const;

  const std::string& GetName() const { return name_; }
  // Validates the name (an identifier or empty; EComponentError "'1x' is not a valid component
  // name") and its uniqueness among the owner's components (EComponentError "A component named X
  // already exists"; names compare case-insensitively).
  virtual void SetName(const std::string& name);
  int GetTag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  TComponentState ComponentState() const { return state_; }
  // Marks this component and everything it owns as designing (used by the design-time layer).
  void SetDesigning(bool designing, bool setChildren = true);

  // The owned component with that name (case-insensitive), nullptr when none.
  TComponent* FindComponent(std::string_view name) const;
  // Asks to be told (Notification opRemove) when `component` goes away; mutual.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);
  // Takes ownership of component (removing it from a previous owner); validates its name.
  void InsertComponent(TComponent* component);
  // Gives up ownership without freeing; the caller owns component afterwards.
  void RemoveComponent(TComponent* component);
  // Frees every owned component, the last inserted first.
  void DestroyComponents();
  // Sets csDestroying here and in every owned component.
  void Destroying();

  std::string GetNamePath() const override { return name_; }

  // ---- Handlers by name, for event bindings in form files ----
  // Registers a handler an event property can be bound to by name. The std::any holds exactly the
  // event's std::function type; a member function of this object can be given directly:
  //   DeclareHandler("Scanner1AfterScan", &TMainForm::Scanner1AfterScan);
  template <class F>
  void DeclareHandler(const std::string& name, F handler) {
    handlers_[Key(name)] = Handler{name, std::any(std::move(handler))};
  }
  template <class R, class Self, class... A>
  void DeclareHandler(const std::string& name, R (Self::*method)(A...)) {
    Self* self = dynamic_cast<Self*>(this);
    if (!self) RaiseInvalidCast();
    DeclareHandler(name, std::function<R(A...)>([self, method](A... args) -> R {
                     return (self->*method)(std::forward<A>(args)...);
                   }));
  }
  template <class R, class Self, class... A>
  void DeclareHandler(const std::string& name, R (Self::*method)(A...) const) {
    const Self* self = dynamic_cast<const Self*>(this);
    if (!self) RaiseInvalidCast();
    DeclareHandler(name, std::function<R(A...)>([self, method](A... args) -> R {
                     return (self->*method)(std::forward<A>(args)...);
                   }));
  }
  // The handler of that name (case-insensitive), nullptr when none.
  const std::any* FindHandler(std::string_view name) const;
  // The declared handler names, sorted case-insensitively. An editor offers for an event those whose
  // FindHandler(name)->type() equals the property's EventType.
  std::vector<std::string> HandlerNames() const;

  // ---- Published fields, bound by name ----
  // Declares a field that holds the owned component of that name, as a form's published fields do:
  // whenever a component of that name is owned by this one (read from a form file, or named in
  // code) the field points at it; when it leaves (freed, renamed, removed) the field is cleared. A
  // component whose class does not fit the field's type is refused with EComponentError.
  //   DeclareField("CmdOK", CmdOK);   // TButton* CmdOK
  template <class T>
  void DeclareField(const std::string& name, T*& field) {
    fields_[Key(name)] = Field{name, &T::StaticClass(), [&field] { return static_cast<TComponent*>(field); },
                               [&field](TComponent* c) { field = dynamic_cast<T*>(c); }};
    if (TComponent* c = FindComponent(name)) BindField(name, c);
  }
  // The declared field names, sorted case-insensitively.
  std::vector<std::string> FieldNames() const;
  // The component a declared field holds now; nullptr when none (or no such field).
  TComponent* FieldValue(std::string_view name) const;

  // ---- Streaming hooks ----
  // The components written as this component's children: the owned ones, in order.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
  // Called by the reader with the enclosing component of a nested child.
  virtual void SetParentComponent(TComponent* parent);
  // The owner of the components read inside this one from a form file: this component (so plain
  // components nest), or nullptr for the root (controls and forms, as in the framework, so that a
  // form's published fields bind at any depth).
  virtual TComponent* GetChildOwner() { return this; }

  // The framework's hooks, public here so that a reader or a designer can drive them.
  // Called once after the whole tree was read: clears csLoading.
  virtual void Loaded();
  void SetState(TComponentStateItem item, bool on);

 protected:
  // Told about insertions into and removals from this component and about components it asked
  // FreeNotification of; the base passes it on to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);
  virtual void ValidateRename(TComponent* component, const std::string& curName, const std::string& newName);

 private:
  static std::string Key(std::string_view name);
  void Insert(TComponent* c);
  void Remove(TComponent* c);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  std::string name_;
  int tag_ = 0;
  TComponentState state_;
  struct Handler {
    std::string name;
    std::any fn;
  };
  std::map<std::string, Handler> handlers_;
  struct Field {
    std::string name;
    const TMetaClass* cls = nullptr;
    std::function<TComponent*()> get;
    std::function<void(TComponent*)> set;
  };
  std::map<std::string, Field> fields_;
  // Points the field of that name (if declared) at c; raises EComponentError when c does not fit.
  void BindField(std::string_view name, TComponent* c);
  // Clears the field of that name if it points at c.
  void UnbindField(std::string_view name, TComponent* c);
  void CheckField(std::string_view name, const TComponent* c) const;
};

// ---- TList --------------------------------------------------------------------------------------

// A list of untyped pointers; indexes outside 0..Count()-1 raise EListError
// "List index out of bounds (n)".
class TList : public TObject {
  VCL_CLASS(TList, TObject)
 public:
  TList() = default;
  int Count() const { return static_cast<int>(items_.size()); }
  int GetCount() const { return Count(); }
  void SetCount(int count);
  int Capacity() const { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity);
  void* Get(int index) const;
  void Put(int index, void* item);
  void* Items(int index) const { return Get(index); }
  void* operator[](int index) const { return Get(index); }
  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  int Remove(void* item);  // index it had, -1 when absent
  void* Extract(void* item);
  int IndexOf(const void* item) const;
  void Clear() { items_.clear(); }
  void Exchange(int a, int b);
  void Move(int from, int to);
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  void Pack();  // removes nullptr entries
  // compare returns <0, 0, >0 as for qsort.
  void Sort(const std::function<int(void*, void*)>& compare);
  void** List() { return items_.data(); }

 private:
  void Check(int index) const;
  std::vector<void*> items_;
};

// ---- TStrings / TStringList ---------------------------------------------------------------------

enum TDuplicates { dupIgnore, dupAccept, dupError };
VCL_ENUM_INFO(TDuplicates, dupIgnore, dupAccept, dupError)

// A list of strings with an object per item. Comparison is ASCII case-insensitive unless
// CaseSensitive. Text joins lines with CR LF and reads CR LF, LF or CR. Indexes outside the list
// raise EStringListError "List index out of bounds (n)". Streams its lines as the defined
// property "Strings" (a list of strings).
class TStrings : public TPersistent {
  VCL_CLASS(TStrings, TPersistent)
 public:
  virtual int Count() const = 0;
  int GetCount() const { return Count(); }
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* obj);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int IndexOf(std::string_view s) const;
  virtual int Add(const std::string& s);

  std::string Strings(int index) const { return Get(index); }
  std::string operator[](int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }
  int AddObject(const std::string& s, TObject* obj);
  void InsertObject(int index, const std::string& s, TObject* obj);
  void AddStrings(const TStrings* other);
  int IndexOfObject(const TObject* obj) const;
  void Move(int from, int to);
  virtual void Exchange(int a, int b);
  bool Equals(const TStrings* other) const;

  std::string GetText() const;
  virtual void SetText(std::string_view text);
  // Items separated by ','; items with blanks, commas or quotes in double quotes ("a b","x""y").
  std::string GetCommaText() const;
  void SetCommaText(std::string_view text);
  // "Name=Value" items.
  std::string Names(int index) const;
  std::string Values(std::string_view name) const;
  void SetValue(std::string_view name, const std::string& value);  // empty value deletes the item
  int IndexOfName(std::string_view name) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  bool GetCaseSensitive() const { return caseSensitive_; }
  virtual void SetCaseSensitive(bool value) { caseSensitive_ = value; }

  void Assign(TPersistent* source) override;
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 protected:
  void DefineProperties(TFiler* filer) override;
  virtual void SetUpdateState(bool updating);
  int CompareStrings(std::string_view a, std::string_view b) const;
  [[noreturn]] void Error(const char* format, int index) const;

 private:
  int updateCount_ = 0;
  bool caseSensitive_ = false;
};

// The framework's string list: strings with an object each, optionally sorted (then Duplicates
// applies and Insert is refused), with OnChanging/OnChange around every change.
class TStringList : public TStrings {
  VCL_CLASS(TStringList, TStrings)
 public:
  TStringList() = default;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  // Raises EStringListError "Operation not allowed on sorted string list" when Sorted.
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int IndexOf(std::string_view s) const override;
  // Sorted lists insert in order and apply Duplicates (dupError raises EStringListError
  // "String list does not allow duplicates").
  int Add(const std::string& s) override;
  void Exchange(int a, int b) override;
  void SetCaseSensitive(bool value) override;

  // Binary search in a sorted list: true when found; index is where s is or would be.
  bool Find(std::string_view s, int& index) const;
  virtual void Sort();
  void CustomSort(const std::function<int(TStringList*, int, int)>& compare);
  bool GetSorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates GetDuplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct Item {
    std::string s;
    TObject* obj = nullptr;
  };
  void InsertItem(int index, const std::string& s, TObject* obj);
  void CheckIndex(int index) const;
  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---- Streams ------------------------------------------------------------------------------------

enum TSeekOrigin { soBeginning, soCurrent, soEnd };
enum : uint16_t {
  soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2,
  fmOpenRead = 0x0000, fmOpenWrite = 0x0001, fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000, fmShareExclusive = 0x0010, fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030, fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

// A sequence of bytes with a position. Read and Write move as far as they can and return how far;
// ReadBuffer/WriteBuffer insist on the whole count.
class TStream : public TObject {
  VCL_CLASS(TStream, TObject)
 public:
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  virtual int64_t GetSize();
  virtual void SetSize(int64_t size);
  // Bytes left from the position to the end.
  int64_t Remaining() { return GetSize() - GetPosition(); }

  // EReadError "Stream read error" when fewer than count bytes are there.
  void ReadBuffer(void* buffer, int64_t count);
  // EWriteError "Stream write error" when fewer than count bytes could be written.
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position (count 0: all of source from its start).
  int64_t CopyFrom(TStream* source, int64_t count);
  // Hands the next count bytes over in place instead of copying them out: a shared owner of memory
  // that holds them, which the receiver may keep and write into, and the position moves past them.
  // Only a stream whose bytes nobody reads again after this can lend them; the default cannot and
  // returns an empty pointer with the position unchanged (the reader then copies with Read).
  virtual std::shared_ptr<uint8_t[]> Lend(int64_t count);

  // Form streaming: writes "TPF0" and the component tree of instance; reads one back into
  // instance (or a new component of the stream's class when instance is nullptr).
  void WriteComponent(TComponent* instance);
  TComponent* ReadComponent(TComponent* instance);
};

// A stream over a block of memory that it does not own.
class TCustomMemoryStream : public TStream {
  VCL_CLASS(TCustomMemoryStream, TStream)
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return size_; }
  void* Memory() const { return memory_; }
  void SaveToStream(TStream* stream) const;
  void SaveToFile(const std::string& fileName) const;

 protected:
  void SetPointer(void* memory, int64_t size) {
    memory_ = static_cast<uint8_t*>(memory);
    size_ = size;
  }
  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A growable stream in memory. Writing past the end grows the capacity geometrically; SetSize
// sets the size exactly (new bytes are not cleared). EOutOfMemory when a size cannot be had.
class TMemoryStream : public TCustomMemoryStream {
  VCL_CLASS(TMemoryStream, TCustomMemoryStream)
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  void Clear();
  int64_t Capacity() const { return capacity_; }
  void SetCapacity(int64_t capacity);
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const std::string& fileName);

 private:
  void Reallocate(int64_t capacity);
  int64_t capacity_ = 0;
};

// A stream over a std::string, for texts (ObjectBinaryToText output, tests).
class TStringStream : public TStream {
  VCL_CLASS(TStringStream, TStream)
 public:
  explicit TStringStream(std::string data = {}) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  const std::string& DataString() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A file. mode is fmCreate (create or truncate) or fmOpenRead/fmOpenWrite/fmOpenReadWrite or-ed
// with a share flag (accepted, not enforced). Raises EFCreateError 'Cannot create file "x". <reason>'
// or EFOpenError 'Cannot open file "x". <reason>'.
class TFileStream : public TStream {
  VCL_CLASS(TFileStream, TStream)
 public:
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  const std::string& FileName() const { return fileName_; }
  int Handle() const { return fd_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

// ---- Form streaming -----------------------------------------------------------------------------

enum TValueType { vaNull, vaList, vaInt8, vaInt16, vaInt32, vaExtended, vaString, vaIdent, vaFalse,
                  vaTrue, vaBinary, vaSet, vaLString, vaNil, vaCollection, vaSingle, vaCurrency,
                  vaDate, vaWString, vaInt64 };

// Flags of the optional prefix byte (0xF0 | flags) before a component.
enum TFilerFlag { ffInherited, ffChildPos, ffInline };
using TFilerFlags = Set<TFilerFlag>;

using TReaderProc = std::function<void(TReader*)>;
using TWriterProc = std::function<void(TWriter*)>;
using TStreamProc = std::function<void(TStream*)>;

// What TReader and TWriter share: the stream, the root, and DefineProperty for properties that a
// class streams itself (DefineProperties).
class TFiler : public TObject {
  VCL_CLASS(TFiler, TObject)
 public:
  explicit TFiler(TStream* stream) : stream_(stream) {}
  TComponent* Root() const { return root_; }
  TStream* Stream() const { return stream_; }
  // A property written by `write` when hasData, read by `read`; the value is any value the
  // writer's Write* functions produce.
  virtual void DefineProperty(const std::string& name, const TReaderProc& read, const TWriterProc& write,
                              bool hasData) = 0;
  // A property whose value is a block of bytes (vaBinary).
  virtual void DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc& write,
                                    bool hasData) = 0;

 protected:
  TStream* stream_;
  TComponent* root_ = nullptr;
};

// Writes components in the binary format. Which properties are written: see IsStoredProp.
class TWriter : public TFiler {
  VCL_CLASS(TWriter, TFiler)
 public:
  using TFiler::TFiler;
  // "TPF0" then the component tree of root.
  void WriteRootComponent(TComponent* root);
  void WriteSignature();
  void WriteComponent(TComponent* component);
  void WriteProperties(TPersistent* instance);

  void WriteValue(TValueType type);
  void WriteInteger(int64_t value);  // smallest of vaInt8/16/32 (vaInt64 beyond)
  void WriteBoolean(bool value);
  void WriteFloat(long double value);  // vaExtended
  void WriteSingle(float value);
  void WriteString(std::string_view value);  // vaString up to 255 bytes, vaLString beyond
  void WriteIdent(std::string_view ident);   // vaIdent (vaFalse/vaTrue/vaNil/vaNull for those names)
  void WriteListBegin() { WriteValue(vaList); }
  void WriteListEnd() { WriteValue(vaNull); }
  void WriteStr(std::string_view s);  // a short string: length byte + bytes; EWriteError beyond 255

  void DefineProperty(const std::string& name, const TReaderProc& read, const TWriterProc& write,
                      bool hasData) override;
  void DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc& write,
                            bool hasData) override;

 private:
  void WriteProperty(TPersistent* instance, const TPropInfo& prop);
  void WritePropName(std::string_view name);
  std::string propPath_;
};

// Reads components in the binary format. Everything read is checked: a short stream, a bad value
// type, a length beyond the stream or a name that means nothing raises EReadError (EClassNotFound
// for an unregistered class); property errors say where: "Error reading Scanner1.Foo: Property Foo
// does not exist".
class TReader : public TFiler {
  VCL_CLASS(TReader, TFiler)
 public:
  using TFiler::TFiler;
  // Reads "TPF0" and a component tree. With root nullptr, creates a component of the stream's
  // class (registered); otherwise reads into root. Calls Loaded on every component read.
  TComponent* ReadRootComponent(TComponent* root);
  void ReadSignature();

  TValueType ReadValue();
  TValueType NextValue();  // without consuming it
  int64_t ReadInteger();
  bool ReadBoolean();
  long double ReadFloat();  // vaExtended, vaSingle, vaDate, vaCurrency or an integer
  std::string ReadString();  // vaString, vaLString, vaWString (converted to the ANSI code page)
  std::string ReadIdent();   // vaIdent, vaFalse, vaTrue, vaNil, vaNull as their names
  void ReadListBegin();
  void ReadListEnd();
  bool EndOfList();
  void SkipValue();
  std::string ReadStr();  // a short string
  // The optional prefix byte of a component (flags, and the child position when ffChildPos).
  void ReadPrefix(TFilerFlags& flags, int& childPos);
  // Raises EReadError unless length bytes are left in the stream.
  void CheckLength(int64_t length);

  void DefineProperty(const std::string& name, const TReaderProc& read, const TWriterProc& write,
                      bool hasData) override;
  void DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc& write,
                            bool hasData) override;

  // The component whose properties are being read, for error messages.
  TComponent* Current() const { return current_; }

 private:
  void ReadComponent(TComponent* parent, int depth);
  void ReadProperty(TPersistent* instance);
  void ReadPropValue(TPersistent* instance, const TPropInfo& prop);
  void SkipValueDepth(int depth);
  [[noreturn]] void PropValueError();

  TComponent* current_ = nullptr;
  std::vector<TComponent*> loaded_;
  std::string pendingProp_;
  bool propFound_ = false;
  struct Fixup {
    TPersistent* instance;
    const TPropInfo* prop;
    std::string name;
  };
  std::vector<Fixup> fixups_;
};

// ---- Form resources ------------------------------------------------------------------------------

// A form resource: the binary form data of a form class, kept under the class name of the form
// file's root (what a Windows module carries as an RT_RCDATA resource). Modules register theirs when
// loaded (TFormResourceRegistration, which the build's form compiler generates); a later
// registration of the same name hides the earlier one until it is withdrawn.
struct TFormResource {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
};
void RegisterFormResource(const std::string& className, const uint8_t* data, size_t size);
// Withdraws that registration (the same data); others of the name stay.
void UnregisterFormResource(const std::string& className, const uint8_t* data);
// The resource registered last under the name (case-insensitive); Data nullptr when none.
TFormResource FindFormResource(std::string_view className);

// Registers a form resource for the lifetime of a module: a static object of the generated source.
class TFormResourceRegistration {
 public:
  TFormResourceRegistration(const char* className, const uint8_t* data, size_t size)
      : className_(className), data_(data) {
    RegisterFormResource(className_, data, size);
  }
  ~TFormResourceRegistration() { UnregisterFormResource(className_, data_); }
  TFormResourceRegistration(const TFormResourceRegistration&) = delete;
  TFormResourceRegistration& operator=(const TFormResourceRegistration&) = delete;

 private:
  std::string className_;
  const uint8_t* data_;
};

// Reads the form resources of Instance's class and of its ancestors below RootAncestor (the
// ancestors' first) into Instance, as the framework's constructors of forms do: properties, the
// components the form owns at any depth, published fields and event handlers bound by name (the
// handlers and fields must be declared before). Returns false when no class in the chain has a
// resource. A form file that names an unknown class, handler or property raises EReadError (or
// EClassNotFound) naming it.
bool InitInheritedComponent(TComponent* Instance, const TMetaClass& RootAncestor);

// Converts a binary form stream (from its position) to the text format, and back. Raise
// EReadError (binary) or EParserError (text, "Line n: ...") on malformed input; both can be caught
// as vcl::Exception. Binary → text → binary gives the same bytes for every stream TWriter makes.
void ObjectBinaryToText(TStream* input, TStream* output);
void ObjectTextToBinary(TStream* input, TStream* output);

// Text and file conveniences over the two formats.
std::string ComponentToText(TComponent* component);
// Reads text into instance (or a new component of the text's class when nullptr).
TComponent* TextToComponent(std::string_view text, TComponent* instance);
enum TFormFileFormat { fffBinary, fffText };
void WriteComponentFile(const std::string& fileName, TComponent* component, TFormFileFormat format = fffBinary);
// Detects the format ("TPF0" or text) by the first bytes.
TComponent* ReadComponentFile(const std::string& fileName, TComponent* instance);

// Floats in form text: 18 digits after the point when that reads back to the very same value
// (reading prefers the Single, then the Double that prints the same), otherwise exponent form
// with 21 significant digits ("1.00000000000000000000E+20").
std::string FormFloatToText(long double value);
long double FormTextToFloat(std::string_view text);  // EConvertError on bad text

}  // namespace vcl

#endif
