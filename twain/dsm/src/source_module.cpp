#include "source_module.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace korven::dsm {

std::string Str32(const TW_STR32& field) { return std::string(field, strnlen(field, sizeof(TW_STR32))); }

void Trace(const std::string& text) { OutputDebugStringA(("TWAIN_32: " + text).c_str()); }

std::string ListedSource::ProductName() const { return Str32(identity.ProductName); }

std::shared_ptr<SourceModule> SourceModule::Load(const std::string& path, std::string& why) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    DWORD error = GetLastError();
    why = "does not load (error " + std::to_string(error) + "): " + korven::platform::LastLoadLibraryError();
    return nullptr;
  }
  // Through void(*)(): FARPROC is a generic function pointer, as on Windows.
  auto entry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DS_Entry")));
  if (!entry) {
    why = "exports no DS_Entry";
    FreeLibrary(module);
    return nullptr;
  }
  return std::shared_ptr<SourceModule>(new SourceModule(module, entry));
}

SourceModule::~SourceModule() {
  if (module_) FreeLibrary(module_);
}

TW_UINT16 SourceModule::Condition(pTW_IDENTITY origin, TW_UINT16 fallback) const {
  TW_STATUS status{};
  if (Call(origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) return fallback;
  return status.ConditionCode == TWCC_SUCCESS ? fallback : status.ConditionCode;
}

namespace {

bool IsSourceFile(const fs::directory_entry& entry) {
  std::error_code ec;
  if (!entry.is_regular_file(ec)) return false;
  std::string ext = entry.path().extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".ds";
}

// The source's own strings may lack their NUL; the listing hands out terminated ones only.
void Terminate(TW_IDENTITY& id) {
  id.Version.Info[sizeof(TW_STR32) - 1] = 0;
  id.Manufacturer[sizeof(TW_STR32) - 1] = 0;
  id.ProductFamily[sizeof(TW_STR32) - 1] = 0;
  id.ProductName[sizeof(TW_STR32) - 1] = 0;
}

}  // namespace

std::vector<ListedSource> ScanSources(const std::string& windowsDir, const TW_IDENTITY& origin) {
  std::vector<ListedSource> listed;
  fs::path folder = fs::path(windowsDir) / "twain_32";
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (IsSourceFile(*it)) files.push_back(it->path());
  }
  if (ec && fs::exists(folder)) Trace("cannot read " + folder.string() + ": " + ec.message());
  std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) {
    return a.lexically_relative(folder).generic_string() < b.lexically_relative(folder).generic_string();
  });

  auto add = [&](const fs::path& file, TW_IDENTITY identity, std::shared_ptr<SourceModule> keep) {
    Terminate(identity);
    identity.Id = 0;
    ListedSource source{file.string(), identity, std::move(keep)};
    std::string name = source.ProductName();
    if (name.empty()) {
      Trace("skipped " + file.string() + ": its identity has no ProductName");
      return;
    }
    auto same = [&](const ListedSource& s) { return s.ProductName() == name; };
    if (std::find_if(listed.begin(), listed.end(), same) != listed.end()) {
      Trace("skipped " + file.string() + ": ProductName \"" + name + "\" is already listed");
      return;
    }
    listed.push_back(std::move(source));
  };

  for (const fs::path& file : files) {
    std::string why;
    auto module = SourceModule::Load(file.string(), why);
    if (!module) {
      Trace("skipped " + file.string() + ": " + why);
      continue;
    }
    TW_IDENTITY asking = origin;  // a copy: what a source writes into it stays with the listing
    TW_IDENTITY identity{};
    TW_UINT16 rc = module->Call(&asking, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity);
    if (rc == TWRC_SUCCESS || rc == TWRC_ENDOFLIST) {
      // A source of several devices: each identity is listed on its own; the source stays loaded so
      // that what it found is still there when one of them is opened.
      size_t count = 0;
      for (; rc == TWRC_SUCCESS; ++count) {
        if (count == kMaxIdentitiesPerSource) {
          Trace(file.string() + ": lists more than " + std::to_string(kMaxIdentitiesPerSource) + " sources; the rest are left out");
          break;
        }
        add(file, identity, module);
        identity = TW_IDENTITY{};
        rc = module->Call(&asking, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity);
      }
      if (count == 0) Trace("skipped " + file.string() + ": it lists no source now");
      continue;
    }
    rc = module->Call(&asking, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity);
    if (rc != TWRC_SUCCESS) {
      Trace("skipped " + file.string() + ": DAT_IDENTITY/MSG_GET answered " + std::to_string(rc));
      continue;
    }
    add(file, identity, nullptr);
  }
  return listed;
}

}  // namespace korven::dsm
