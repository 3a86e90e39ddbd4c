// libFuzzer target for the save dialogs' filter and file-name routines under both code pages
// (65001, 932) and both path rules: any filter, name and index either give a name or an empty
// result; they never read outside the strings. Checks what must hold whatever the bytes: a name
// rewritten with NameOnly has no separator left, and the preselected index names a filter.
#include <korven/ChgDlgs.h>
#include <korven/platform.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  const int index = int(int8_t(data[1]));
  std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  // The filter and the name are separated by the first NUL.
  size_t nul = rest.find('\0');
  std::string filter = rest.substr(0, nul);
  std::string name = nul == std::string::npos ? "" : rest.substr(nul + 1);

  korven::platform::SetACP(mode & 1 ? 932 : CP_UTF8);
  korven::platform::SetPathRules(mode & 2 ? korven::platform::PathRules::Windows : korven::platform::PathRules::Posix);

  vcl::TStringList list;
  korven::SplitFilter(&list, filter);
  for (int n = -1; n <= list.Count() / 2 + 1; ++n) {
    korven::GetFilterMask(n, filter);
    korven::GetFilterExt(n, filter);
  }
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFilter(filter);
  dialog.SetFileName(name);
  dialog.SetFilterIndex(index);
  std::string full = korven::ApplyFilterExt(&dialog, false);
  std::string bare = korven::ApplyFilterExt(&dialog, true);
  // The bare name has no folder left in it (whole characters only: a second byte is no separator).
  // (A name ending in a bare '.' comes back whole, path and all.)
  if (bare != name)
    for (const char* p = bare.c_str(); *p; p = CharNextA(p))
      if (CharNextA(p) == p + 1 && korven::platform::IsPathSeparator(*p)) std::abort();
  if (bare.size() > full.size()) std::abort();
  korven::SelectFilterIndex(&dialog);
  int chosen = dialog.GetFilterIndex();
  if (chosen != index && (chosen < 1 || chosen > (list.Count() + 1) / 2)) std::abort();
  korven::platform::SetACP(CP_UTF8);
  korven::platform::SetPathRules(korven::platform::PathRules::Posix);
  return 0;
}
