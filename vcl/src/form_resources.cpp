// Form resources: the registry of binary form data by form class, and reading a form's resources
// into it as the framework's form constructors do.
#include <vcl/Classes.h>

#include <mutex>
#include <vector>

namespace vcl {

namespace {

struct Entry {
  std::string className;
  TFormResource resource;
};

std::mutex& RegistryLock() {
  static std::mutex m;
  return m;
}
// In registration order; the last one of a name wins.
std::vector<Entry>& Registry() {
  static std::vector<Entry> entries;
  return entries;
}

// A read-only stream over a registered resource, as the framework's TResourceStream.
class ResourceStream : public TCustomMemoryStream {
 public:
  ResourceStream(const uint8_t* data, size_t size) {
    SetPointer(const_cast<uint8_t*>(data), static_cast<int64_t>(size));
  }
  int64_t Write(const void*, int64_t) override { throw EWriteError("Can't write to a read-only resource stream"); }
};

}  // namespace

void RegisterFormResource(const std::string& className, const uint8_t* data, size_t size) {
  std::lock_guard lock(RegistryLock());
  Registry().push_back(Entry{className, TFormResource{data, size}});
}

void UnregisterFormResource(const std::string& className, const uint8_t* data) {
  std::lock_guard lock(RegistryLock());
  auto& entries = Registry();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (it->resource.Data == data && SameText(it->className, className)) {
      entries.erase(std::next(it).base());
      return;
    }
}

TFormResource FindFormResource(std::string_view className) {
  std::lock_guard lock(RegistryLock());
  const auto& entries = Registry();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (SameText(it->className, className)) return it->resource;
  return {};
}

bool InitInheritedComponent(TComponent* Instance, const TMetaClass& RootAncestor) {
  if (!Instance) return false;
  // The chain below RootAncestor, the most derived class last.
  std::vector<const TMetaClass*> chain;
  for (const TMetaClass* c = &Instance->ClassType(); c && c != &RootAncestor; c = c->ClassParent())
    chain.insert(chain.begin(), c);
  bool read = false;
  for (const TMetaClass* c : chain) {
    const TFormResource res = FindFormResource(c->ClassName());
    if (!res.Data) continue;
    ResourceStream stream(res.Data, res.Size);
    TReader reader(&stream);
    reader.ReadRootComponent(Instance);
    read = true;
  }
  return read;
}

}  // namespace vcl
