// The registry of module resources by type and name.
#include <vcl/Classes.h>
#include <vcl/Graphics.h>
#include <vcl/Resources.h>

#include <mutex>
#include <vector>

namespace vcl {

namespace {

struct Entry {
  std::string type, name;
  TResourceData data;
};

std::mutex& Lock() {
  static std::mutex m;
  return m;
}
// In registration order; the last one of a type and name wins.
std::vector<Entry>& Entries() {
  static std::vector<Entry> entries;
  return entries;
}

}  // namespace

void RegisterResource(const std::string& module, const std::string& type, const std::string& name,
                      const uint8_t* data, size_t size) {
  std::lock_guard lock(Lock());
  Entries().push_back(Entry{type, name, TResourceData{data, size, module}});
}

void UnregisterResource(const std::string& type, const std::string& name, const uint8_t* data) {
  std::lock_guard lock(Lock());
  auto& entries = Entries();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (it->data.Data == data && SameText(it->type, type) && SameText(it->name, name)) {
      entries.erase(std::next(it).base());
      return;
    }
}

TResourceData FindResourceData(std::string_view type, std::string_view name) {
  std::lock_guard lock(Lock());
  const auto& entries = Entries();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (SameText(it->type, type) && SameText(it->name, name)) return it->data;
  return {};
}

void LoadBitmapResource(TBitmap* Bitmap, std::string_view Name) {
  TResourceData res = FindResourceData(RT_BITMAP_NAME, Name);
  if (!res.Data) throw EResNotFound("Resource " + std::string(Name) + " not found");
  TMemoryStream stream;  // bitmap resources are small: a copy costs nothing
  stream.WriteBuffer(res.Data, static_cast<int64_t>(res.Size));
  stream.SetPosition(0);
  Bitmap->LoadFromStream(&stream);
}

}  // namespace vcl
