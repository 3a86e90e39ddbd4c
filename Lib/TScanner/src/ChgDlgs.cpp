// The extension-changing save dialogs and their filter routines.
#include <korven/ChgDlgs.h>
#include <korven/platform.h>
#include <vcl/TypInfo.h>

#include <cstdint>
#include <vector>

namespace korven {

VCL_IMPLEMENT_CLASS(TSaveExtDialog, vcl::TSaveDialog)
VCL_IMPLEMENT_CLASS(TSavePictureExtDialog, vcl::TSavePictureDialog)

namespace {

constexpr size_t npos = std::string::npos;

// Folders are separated as the platform's path rules say: '/' on POSIX, also '\\' and ':' under the
// Windows rules, so a name typed as "a:b.jpeg" on POSIX keeps its "a:".
bool IsSeparator(char c) { return korven::platform::IsPathSeparator(c); }

// Where the file name part of a path starts (after the last separator) and where its last '.' is
// (npos when it has none), found on whole characters of the active code page.
struct NameParts {
  size_t nameStart = 0;
  size_t dot = npos;
};

NameParts Parts(const std::string& path) {
  NameParts parts;
  const char* begin = path.c_str();
  for (const char* p = begin; *p; p = CharNextA(p)) {
    const auto at = static_cast<size_t>(p - begin);
    if (IsSeparator(*p)) {
      parts.nameStart = at + 1;
      parts.dot = npos;
    } else if (*p == '.') {
      parts.dot = at;
    }
  }
  return parts;
}

// The extension rule of the unit: the text from the last '.' after the last separator, dot included.
std::string ExtensionOf(const std::string& path) {
  const NameParts parts = Parts(path);
  return parts.dot == npos ? std::string() : path.substr(parts.dot);
}

bool HasWildcard(const std::string& ext) { return ext.find_first_of("*?") != npos; }

// The text in the open dialog's name box, "" when the dialog is not open.
std::string BoxText(vcl::TOpenDialog* dialog) {
  const HWND hook = dialog->GetHandle();
  if (!hook) return {};
  const HWND window = GetParent(hook);
  const LRESULT needed = SendMessageA(window, CDM_GETSPEC, 0, 0);
  if (needed <= 1) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  SendMessageA(window, CDM_GETSPEC, static_cast<WPARAM>(needed), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(needed) - 1);
  return text;
}

bool HasFolder(const std::string& path) { return Parts(path).nameStart > 0; }

// Before the framework checks the confirmed name (overwrite prompt), the box gets the name that
// Execute will return; a name typed with a folder keeps it.
void RewriteBeforeClose(vcl::TOpenDialog* dialog) { ApplyFilterExt(dialog, !HasFolder(BoxText(dialog))); }

}  // namespace

void SplitFilter(vcl::TStrings* List, const std::string& Filter) {
  List->BeginUpdate();
  try {
    List->Clear();
    const char* start = Filter.c_str();
    const char* p = start;
    while (*p) {
      if (*p == '|') {
        List->Add(std::string(start, p));
        start = ++p;
        continue;
      }
      p = CharNextA(p);
    }
    if (*start) List->Add(start);
  } catch (...) {
    List->EndUpdate();
    throw;
  }
  List->EndUpdate();
}

std::string GetFilterMask(int N, const std::string& Filter) {
  if (N < 1) return {};
  vcl::TStringList list;
  SplitFilter(&list, Filter);
  const int64_t index = 2 * static_cast<int64_t>(N) - 1;
  return index < list.Count() ? list.Get(static_cast<int>(index)) : std::string();
}

std::string GetFilterExt(int N, const std::string& Filter) {
  const std::string masks = GetFilterMask(N, Filter);
  const char* begin = masks.c_str();
  const char* p = begin;
  while (*p && *p != ';') p = CharNextA(p);
  return ExtensionOf(std::string(begin, p));
}

std::string ApplyFilterExt(vcl::TOpenDialog* Dialog, bool NameOnly) {
  std::string name = Dialog->GetFileName();
  NameParts parts = Parts(name);
  if (parts.dot != npos && parts.dot + 1 == name.size()) return name;  // a bare dot is the user's word

  std::string ext = GetFilterExt(Dialog->GetFilterIndex(), Dialog->GetFilter());
  // A wildcard is no extension to give a file; such a type keeps the name's own.
  if (HasWildcard(ext)) ext.clear();
  // Nothing to give an extension to: an empty box or a bare folder would become ".bmp".
  if (!ext.empty() && parts.nameStart < name.size()) {
    if (parts.dot != npos) name.erase(parts.dot);
    name += ext;
  }
  if (NameOnly) name.erase(0, parts.nameStart);

  if (const HWND hook = Dialog->GetHandle())
    SendMessageA(GetParent(hook), CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(name.c_str()));
  return name;
}

void SelectFilterIndex(vcl::TOpenDialog* Dialog) {
  const std::string ext = vcl::UpperCase(ExtensionOf(Dialog->GetFileName()));
  if (ext.empty()) return;
  vcl::TStringList list;
  SplitFilter(&list, Dialog->GetFilter());
  for (int i = 1; i < list.Count(); i += 2) {
    if (vcl::UpperCase(list.Get(i)).find(ext) != npos) {
      Dialog->SetFilterIndex((i - 1) / 2 + 1);
      return;
    }
  }
}

// ---- TSaveExtDialog -----------------------------------------------------------------------------

TSaveExtDialog::TSaveExtDialog(vcl::TComponent* AOwner) : vcl::TSaveDialog(AOwner) {}

bool TSaveExtDialog::Execute() {
  SelectFilterIndex(this);
  const bool result = inherited::Execute();
  // The window is gone by now, so this only computes the name.
  if (result) SetFileName(ApplyFilterExt(this, false));
  return result;
}

void TSaveExtDialog::DoTypeChange() {
  ApplyFilterExt(this, true);
  inherited::DoTypeChange();
}

bool TSaveExtDialog::DoCanClose() {
  RewriteBeforeClose(this);
  return inherited::DoCanClose();
}

// ---- TSavePictureExtDialog ----------------------------------------------------------------------

TSavePictureExtDialog::TSavePictureExtDialog(vcl::TComponent* AOwner) : vcl::TSavePictureDialog(AOwner) {}

bool TSavePictureExtDialog::Execute() {
  SelectFilterIndex(this);
  const bool result = inherited::Execute();
  if (result) SetFileName(ApplyFilterExt(this, false));
  return result;
}

void TSavePictureExtDialog::DoTypeChange() {
  ApplyFilterExt(this, true);
  inherited::DoTypeChange();
}

bool TSavePictureExtDialog::DoCanClose() {
  RewriteBeforeClose(this);
  return inherited::DoCanClose();
}

}  // namespace korven
