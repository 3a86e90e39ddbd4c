// The file dialogs, built from the platform's dialog class and built-in controls so that a desktop
// (a person, or a test's script) can read and operate them. Nothing is drawn.
#include <vcl/FileDialogs.h>
#include <vcl/Graphics.h>
#include <vcl/TypInfo.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace vcl {

VCL_IMPLEMENT_CLASS(TCommonDialog, TComponent)
VCL_IMPLEMENT_CLASS(TOpenDialog, TCommonDialog)
VCL_IMPLEMENT_CLASS(TSaveDialog, TOpenDialog)
VCL_IMPLEMENT_CLASS(TOpenPictureDialog, TOpenDialog)
VCL_IMPLEMENT_CLASS(TSavePictureDialog, TOpenPictureDialog)

namespace {

constexpr int kNameLabelId = 0x0442;  // stc3
constexpr int kTypeLabelId = 0x0441;  // stc2

// Filter items split at '|' on whole characters, so the second byte of a double-byte character is
// never taken for a separator. A '|' at the very end adds no empty item.
std::vector<std::string> SplitAtBars(const std::string& filter) {
  std::vector<std::string> items;
  const char* start = filter.c_str();
  const char* p = start;
  while (*p) {
    if (*p == '|') {
      items.emplace_back(start, p);
      start = ++p;
      continue;
    }
    p = CharNextA(p);
  }
  if (*start) items.emplace_back(start);
  return items;
}

// Byte offset just after the last '/' (0 when there is none), found on whole characters.
size_t NameStart(const std::string& path) {
  size_t start = 0;
  for (const char* p = path.c_str(); *p; p = CharNextA(p))
    if (*p == '/') start = static_cast<size_t>(p - path.c_str()) + 1;
  return start;
}

// Byte offset of the last '.' of a name, found on whole characters; npos when there is none.
size_t LastDot(const std::string& name) {
  size_t dot = std::string::npos;
  for (const char* p = name.c_str(); *p; p = CharNextA(p))
    if (*p == '.') dot = static_cast<size_t>(p - name.c_str());
  return dot;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string WorkingDirectory() {
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthA(h);
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n) + 1, '\0');
  int got = GetWindowTextA(h, s.data(), n + 1);
  s.resize(static_cast<size_t>(got > 0 ? got : 0));
  return s;
}

// The answer to CDM_GETSPEC and its kin: the size needed including the NUL; the text is copied
// only when it fits.
LRESULT CopyOut(const std::string& text, WPARAM size, LPARAM buffer) {
  const LRESULT needed = static_cast<LRESULT>(text.size()) + 1;
  if (buffer && size >= text.size() + 1) {
    char* out = reinterpret_cast<char*>(buffer);
    text.copy(out, text.size());
    out[text.size()] = '\0';
  }
  return needed;
}

// The visible, enabled top-level windows of this thread: a running dialog disables them.
BOOL CALLBACK CollectTaskWindow(HWND h, LPARAM param) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(param);
  if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId() && IsWindowVisible(h) && IsWindowEnabled(h))
    list->push_back(h);
  return TRUE;
}

}  // namespace

// ---- TCommonDialog ------------------------------------------------------------------------------

TCommonDialog::TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}

void TCommonDialog::DeclareProperties(TPropertyBuilder<TCommonDialog>& p) {
  p.Property("HelpContext", &TCommonDialog::GetHelpContext, &TCommonDialog::SetHelpContext).Default(0);
  p.Property("OnClose", &TCommonDialog::OnClose, &TCommonDialog::OnClose).TypeName("TNotifyEvent");
  p.Property("OnShow", &TCommonDialog::OnShow, &TCommonDialog::OnShow).TypeName("TNotifyEvent");
}

void TCommonDialog::DoShow() {
  if (OnShow) OnShow(this);
}

void TCommonDialog::DoClose() {
  if (OnClose) OnClose(this);
}

// ---- The running dialog -------------------------------------------------------------------------

// Everything one Execute needs while its window is up. Lives on Execute's stack; the dialog
// window's GWLP_USERDATA points here.
struct TOpenDialog::Session {
  TOpenDialog* owner = nullptr;
  bool save = false;
  HWND dialog = 0, hook = 0, edit = 0, combo = 0, folderLabel = 0, readOnly = 0, okButton = 0;
  WNDPROC baseProc = nullptr;
  std::string folder;
  std::string defaultExt;
  int typeCount = 0;
  bool done = false;
  bool accepted = false;
  std::string chosen;

  std::string Spec() const { return WindowText(edit); }
  std::string PathOf(const std::string& text) const { return text.empty() ? text : JoinPath(folder, text); }
  int Selected() const {
    auto sel = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    return sel >= 0 && sel < typeCount ? sel : -1;
  }
  // Runs a handler of the owner; the framework's exceptions go to the application, as they do in
  // any message handler, so that the dialog stays usable.
  template <class F>
  void Guarded(F f) {
    try {
      f();
    } catch (const Exception&) {
      if (Application) Application->HandleException(owner);
    }
  }
  int Ask(const std::string& text, UINT type) const {
    return MessageBoxA(dialog, text.c_str(), WindowText(dialog).c_str(), type);
  }
  void SetFolder(const std::string& path) {
    folder = path;
    SetWindowTextA(folderLabel, folder.c_str());
  }
  // The default button takes only a name that can be confirmed, so that a desktop pressing it
  // over and over (the default desktop) cannot keep an unusable dialog open: it cancels instead.
  void UpdateOkButton() {
    const std::string spec = Spec();
    EnableWindow(okButton, !spec.empty() && !HasWildcard(spec));
  }
  void TryAccept();
};

void TOpenDialog::Session::TryAccept() {
  std::string spec = Spec();
  if (spec.empty() || HasWildcard(spec)) return;  // nothing chosen yet
  bool canClose = true;
  Guarded([&] { canClose = owner->DoCanClose(); });
  if (!canClose || done) return;
  spec = Spec();  // DoCanClose may have rewritten the box
  if (spec.empty()) return;
  std::string path = PathOf(spec);
  if (IsDirectory(path)) {
    // A folder typed into the box is opened, as a person expects.
    SetFolder(path);
    SetWindowTextA(edit, "");
    return;
  }
  size_t nameAt = NameStart(path);
  if (nameAt == path.size()) return;  // "sub/": a folder that does not exist, no name
  if (!defaultExt.empty() && LastDot(path.substr(nameAt)) == std::string::npos) path += "." + defaultExt;

  const TOpenOptions options = owner->GetOptions();
  const bool exists = Exists(path);
  if (options.Contains(ofPathMustExist) || options.Contains(ofFileMustExist)) {
    std::string dir = nameAt > 0 ? path.substr(0, nameAt) : folder;
    if (!IsDirectory(dir)) {
      Ask(path + "\nPath does not exist.\nCheck the path and try again.", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  if (!exists && options.Contains(ofFileMustExist)) {
    Ask(path + "\nFile not found.\nCheck the file name and try again.", MB_OK | MB_ICONWARNING);
    return;
  }
  if (!exists && options.Contains(ofCreatePrompt) &&
      Ask(path + "\nThis file does not exist.\nDo you want to create it?", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  if (exists && save && options.Contains(ofOverwritePrompt) &&
      Ask(path + " already exists.\nDo you want to replace it?", MB_YESNO | MB_ICONWARNING) != IDYES)
    return;
  chosen = path;
  accepted = true;
  done = true;
}

LRESULT CALLBACK TOpenDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<Session*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!s) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const WORD code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) {
        s->TryAccept();
      } else if (id == IDCANCEL && code == BN_CLICKED) {
        s->done = true;
      } else if (id == cmb1 && code == CBN_SELCHANGE) {
        s->Guarded([s] { s->owner->DoTypeChange(); });
      } else if (id == edt1 && code == EN_CHANGE) {
        s->UpdateOkButton();
        s->Guarded([s] { s->owner->DoSelectionChange(); });
      }
      return 0;
    }
    case CDM_SETCONTROLTEXT: {
      HWND control = GetDlgItem(hwnd, static_cast<int>(wParam));
      if (!control) return FALSE;
      // The edit box notifies EN_CHANGE as for typing, so the button and the preview follow.
      SetWindowTextA(control, lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    }
    case CDM_GETSPEC:
      return CopyOut(s->Spec(), wParam, lParam);
    case CDM_GETFILEPATH:
      return CopyOut(s->PathOf(s->Spec()), wParam, lParam);
    case CDM_GETFOLDERPATH:
      return CopyOut(s->folder, wParam, lParam);
    case CDM_HIDECONTROL:
      if (HWND control = GetDlgItem(hwnd, static_cast<int>(wParam))) ShowWindow(control, SW_HIDE);
      return 0;
    case CDM_SETDEFEXT: {
      std::string ext = lParam ? reinterpret_cast<const char*>(lParam) : "";
      s->defaultExt = !ext.empty() && ext[0] == '.' ? ext.substr(1) : ext;
      return 0;
    }
    default:
      return CallWindowProcA(s->baseProc, hwnd, msg, wParam, lParam);
  }
}

// ---- TOpenDialog --------------------------------------------------------------------------------

TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner), files_(std::make_unique<TStringList>()) {}

TOpenDialog::~TOpenDialog() = default;

void TOpenDialog::DeclareProperties(TPropertyBuilder<TOpenDialog>& p) {
  p.Property("DefaultExt", &TOpenDialog::GetDefaultExt, &TOpenDialog::SetDefaultExt);
  p.Property("FileName", &TOpenDialog::GetFileName, &TOpenDialog::SetFileName);
  p.Property("Filter", &TOpenDialog::GetFilter, &TOpenDialog::SetFilter);
  p.Property("FilterIndex", &TOpenDialog::GetFilterIndex, &TOpenDialog::SetFilterIndex).Default(1);
  p.Property("InitialDir", &TOpenDialog::GetInitialDir, &TOpenDialog::SetInitialDir);
  p.Property("Options", &TOpenDialog::GetOptions, &TOpenDialog::SetOptions)
      .Default(TOpenOptions{ofHideReadOnly, ofEnableSizing});
  p.Property("Title", &TOpenDialog::GetTitle, &TOpenDialog::SetTitle);
  p.Property("OnCanClose", &TOpenDialog::OnCanClose, &TOpenDialog::OnCanClose).TypeName("TCloseQueryEvent");
  p.Property("OnTypeChange", &TOpenDialog::OnTypeChange, &TOpenDialog::OnTypeChange).TypeName("TNotifyEvent");
}

std::string TOpenDialog::GetFileName() const {
  return session_ ? session_->PathOf(session_->Spec()) : fileName_;
}

int TOpenDialog::GetFilterIndex() const {
  if (session_) {
    int sel = session_->Selected();
    if (sel >= 0) return sel + 1;
  }
  return filterIndex_;
}

std::string TOpenDialog::GetFolder() const { return session_ ? session_->folder : std::string(); }

void TOpenDialog::DoTypeChange() {
  if (OnTypeChange) OnTypeChange(this);
}

bool TOpenDialog::DoCanClose() {
  bool canClose = true;
  if (OnCanClose) OnCanClose(this, canClose);
  return canClose;
}

bool TOpenDialog::Execute() { return DoExecute(false); }

bool TOpenDialog::DoExecute(bool save) {
  if (session_) return false;  // already open

  // The folder the dialog works in and the name it starts with.
  std::string base = initialDir_.empty() ? WorkingDirectory() : JoinPath(WorkingDirectory(), initialDir_);
  std::string name = fileName_;
  const size_t nameAt = NameStart(fileName_);
  std::string folder = base;
  if (nameAt > 0) {
    folder = JoinPath(base, fileName_.substr(0, nameAt > 1 ? nameAt - 1 : 1));
    name = fileName_.substr(nameAt);
  }
  std::vector<std::string> items = SplitAtBars(filter_);

  Session s;  // outlives the scope below: the window procedure reads it until the window is gone
  s.owner = this;
  s.save = save;
  s.folder = folder;
  s.defaultExt = !defaultExt_.empty() && defaultExt_[0] == '.' ? defaultExt_.substr(1) : defaultExt_;
  s.typeCount = static_cast<int>(items.size() / 2);

  // Everything Execute changes is put back here, on every path.
  struct Scope {
    TOpenDialog* self;
    std::vector<HWND> disabled;
    HWND active = GetActiveWindow();
    HWND dialog = 0;
    explicit Scope(TOpenDialog* d) : self(d) { EnumWindows(&CollectTaskWindow, reinterpret_cast<LPARAM>(&disabled)); }
    ~Scope() {
      self->handle_ = 0;
      self->session_ = nullptr;
      for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
      if (dialog && IsWindow(dialog)) DestroyWindow(dialog);
      if (active && IsWindow(active)) SetActiveWindow(active);
    }
  } scope(this);

  HWND owner = scope.active ? scope.active : (Application ? Application->GetHandle() : 0);
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | (options_.Contains(ofEnableSizing) ? WS_THICKFRAME : 0);
  std::string caption = !title_.empty() ? title_ : save ? "Save As" : "Open";
  HWND dlg = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             560, 360, owner, 0, 0, nullptr);
  if (!dlg) throw EInvalidOperation("Cannot create the file dialog window");
  scope.dialog = dlg;
  s.dialog = dlg;

  auto control = [&](const char* cls, const char* text, DWORD extra, int x, int y, int w, int h, int id) {
    HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | extra, x, y, w, h, dlg, static_cast<HMENU>(id), 0,
                             nullptr);
    if (!c) throw EInvalidOperation("Cannot create the file dialog window");
    return c;
  };
  s.folderLabel = control("STATIC", folder.c_str(), 0, 8, 8, 540, 20, kFileDlgFolderId);
  control("STATIC", "File &name:", 0, 8, 250, 90, 20, kNameLabelId);
  s.edit = control("EDIT", name.c_str(), WS_TABSTOP | WS_BORDER, 100, 250, 300, 22, edt1);
  control("STATIC", save ? "Save as &type:" : "Files of &type:", 0, 8, 280, 90, 20, kTypeLabelId);
  s.combo = control("COMBOBOX", "", WS_TABSTOP | CBS_DROPDOWNLIST, 100, 280, 300, 200, cmb1);
  for (int i = 0; i < s.typeCount; ++i)
    SendMessageA(s.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[static_cast<size_t>(2 * i)].c_str()));
  if (filterIndex_ >= 1 && filterIndex_ <= s.typeCount) SendMessageA(s.combo, CB_SETCURSEL, filterIndex_ - 1, 0);
  if (!options_.Contains(ofHideReadOnly)) {
    s.readOnly = control("BUTTON", "Open as &read-only", WS_TABSTOP | BS_AUTOCHECKBOX, 100, 310, 200, 20,
                         kFileDlgReadOnlyId);
    SendMessageA(s.readOnly, BM_SETCHECK, options_.Contains(ofReadOnly) ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  s.okButton = control("BUTTON", save ? "&Save" : "&Open", WS_TABSTOP | BS_DEFPUSHBUTTON, 420, 250, 100, 24, IDOK);
  control("BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 420, 280, 100, 24, IDCANCEL);
  // The hook window: hidden, so a person never sees it; its parent is the visible dialog.
  s.hook = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 0, 0, dlg, 0, 0, nullptr);
  if (!s.hook) throw EInvalidOperation("Cannot create the file dialog window");

  s.baseProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dlg, GWLP_WNDPROC));
  SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&s));
  SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogProc));
  handle_ = s.hook;
  session_ = &s;
  CreateExtraControls(dlg);
  s.UpdateOkButton();

  for (HWND h : scope.disabled) EnableWindow(h, FALSE);
  ShowWindow(dlg, SW_SHOW);
  SetFocus(s.edit);
  DoSelectionChange();
  DoShow();

  MSG msg{};
  while (!s.done && IsWindow(dlg)) {
    const BOOL r = GetMessageA(&msg, 0, 0, 0);
    if (r == 0) {
      // WM_QUIT ends the dialog as Cancel and is posted again for the caller's loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (r == -1) break;
    try {
      if (!IsDialogMessageA(dlg, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } catch (const Exception&) {
      if (Application) Application->HandleException(this);
    }
  }

  const bool ok = s.accepted;
  if (ok) {
    fileName_ = s.chosen;
    const int sel = s.Selected();
    if (sel >= 0) filterIndex_ = sel + 1;
    if (s.readOnly) {
      if (SendMessageA(s.readOnly, BM_GETCHECK, 0, 0) == BST_CHECKED)
        options_.Include(ofReadOnly);
      else
        options_.Exclude(ofReadOnly);
    }
    const std::string bare = s.chosen.substr(NameStart(s.chosen));
    const size_t dot = LastDot(bare);
    const std::string ext = dot == std::string::npos ? std::string() : bare.substr(dot + 1);
    if (!s.defaultExt.empty() && !SameText(ext, s.defaultExt))
      options_.Include(ofExtensionDifferent);
    else
      options_.Exclude(ofExtensionDifferent);
    files_->Clear();
    files_->Add(fileName_);
  }
  DoClose();
  return ok;
}

// ---- TSaveDialog --------------------------------------------------------------------------------

TSaveDialog::TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}

bool TSaveDialog::Execute() { return DoExecute(true); }

// ---- The picture dialogs ------------------------------------------------------------------------

TOpenPictureDialog::TOpenPictureDialog(TComponent* AOwner) : TOpenDialog(AOwner) {
  SetFilter("All (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp");
}

std::string TOpenPictureDialog::PreviewText() const {
  return GetHandle() && IsWindow(preview_) ? WindowText(preview_) : std::string();
}

void TOpenPictureDialog::CreateExtraControls(HWND dialog) {
  preview_ = CreateWindowExA(0, "STATIC", "(None)", WS_CHILD | WS_VISIBLE, 420, 40, 120, 180, dialog,
                             static_cast<HMENU>(kFileDlgPreviewId), 0, nullptr);
}

void TOpenPictureDialog::DoSelectionChange() {
  if (!preview_ || !IsWindow(preview_)) return;
  std::string text = "(None)";
  const std::string path = GetFileName();
  std::error_code ec;
  if (!path.empty() && std::filesystem::is_regular_file(path, ec)) {
    try {
      TPicture picture;
      picture.LoadFromFile(path);
      text = "(" + std::to_string(picture.GetWidth()) + "x" + std::to_string(picture.GetHeight()) + ")";
    } catch (const Exception&) {
      // Not a picture the framework reads: the preview stays empty.
    }
  }
  SetWindowTextA(preview_, text.c_str());
}

TSavePictureDialog::TSavePictureDialog(TComponent* AOwner) : TOpenPictureDialog(AOwner) {}

bool TSavePictureDialog::Execute() { return DoExecute(true); }

}  // namespace vcl
