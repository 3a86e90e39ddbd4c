// Controls of the framework subset: TControl (bounds, alignment, visibility, enabled state, text,
// colour, font, hint), TWinControl (a real platform window, so that the desktop can see and operate
// it; tab order, focus, keys) and TGraphicControl (a control the framework would paint into its
// parent: here it is mirrored on a "STATIC" window so that the desktop and pictures see it too).
//
// A TWinControl creates its window when first needed (HandleNeeded, or when its form is shown), from
// the class its CreateParams names: the platform's built-in controls ("BUTTON", "STATIC", "EDIT",
// "LISTBOX", "COMBOBOX", the track bar and the tab control) for the standard controls, and a class the
// framework registers with RegisterClassA (named after the C++ class) for forms, panels and tab sheets.
// Child windows are created in the order the controls were inserted, so a desktop lists their texts
// and buttons in that order. Built-in windows are subclassed, as the framework does, so keys, focus
// and the notifications their parent receives (WM_COMMAND, WM_NOTIFY, WM_HSCROLL) reach the control's
// own methods. A vcl::Exception raised while a framework window handles a message goes to
// Application->HandleException (a message box) and not to the sender of the message; other
// exceptions pass.
//
// Focus follows the framework: the form keeps its active control; when the focus moves to another
// control of the form (a click, Tab, SetFocus, an accelerator), OnExit fires on the control that
// loses it (and on each container it leaves), then OnEnter on the new one. Tab moves through the
// controls with TabStop in TabOrder order, depth first.
#ifndef VCL_CONTROLS_H
#define VCL_CONTROLS_H

#include <vcl/Classes.h>
#include <vcl/Graphics.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vcl {

class TWinControl;
class TCustomForm;

// Internal: the window procedure of the framework's registered window classes and of the built-in
// windows it subclasses.
LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Modal results: what closed a modal form (TCustomForm::ModalResult, TButton::ModalResult).
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

// Where a control sits in its parent: as placed, or along an edge (taking the full width or
// height left), or filling what is left.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
VCL_ENUM_INFO(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient)
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
VCL_ENUM_INFO(TAnchorKind, akLeft, akTop, akRight, akBottom)
using TAnchors = Set<TAnchorKind>;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
VCL_ENUM_INFO(TAlignment, taLeftJustify, taRightJustify, taCenter)
// The input method editor's state while a control has the focus (kept; there is no input method here).
enum TImeMode { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata, imChinese,
                imSHanguel, imHanguel };
VCL_ENUM_INFO(TImeMode, imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata,
              imChinese, imSHanguel, imHanguel)

// A typed character on its way into a control; a handler may change it, and setting it to #0
// discards it.
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// A control: position and size in its parent's client area, alignment, visibility and enabling,
// colour, font and hint, and the parent it belongs to.
class TControl : public TComponent {
  VCL_CLASS(TControl, TComponent)
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  // Published: Left, Top, Width, Height, Align (alNone), Color, Enabled (true), Font, Hint,
  // ParentColor, ParentFont, ParentShowHint, ShowHint, Visible (true). Color and Font are written
  // only when not taken from the parent; ShowHint only when not ParentShowHint.
  static void DeclareProperties(TPropertyBuilder<TControl>& p);

  TWinControl* GetParent() const { return parent_; }
  // Moves the control into another parent's list (nullptr: out of any); its window follows.
  virtual void SetParent(TWinControl* AParent);

  int GetLeft() const { return left_; }
  int GetTop() const { return top_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect GetBoundsRect() const { return Bounds(left_, top_, width_, height_); }
  // The client area: the whole control, less a form's frame.
  virtual TRect GetClientRect() const { return Rect(0, 0, width_, height_); }
  int GetClientWidth() const { return GetClientRect().Width(); }
  int GetClientHeight() const { return GetClientRect().Height(); }
  // Sets the size so that the client area gets this size.
  void SetClientWidth(int value) { SetWidth(width_ - GetClientWidth() + value); }
  void SetClientHeight(int value) { SetHeight(height_ - GetClientHeight() + value); }

  TAlign GetAlign() const { return align_; }
  void SetAlign(TAlign value);

  bool GetEnabled() const { return enabled_; }
  virtual void SetEnabled(bool value);
  bool GetVisible() const { return visible_; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // The control's text: a form's or button's caption, an edit box's contents.
  virtual std::string GetText() const { return text_; }
  virtual void SetText(const std::string& value);
  std::string GetCaption() const { return GetText(); }
  void SetCaption(const std::string& value) { SetText(value); }

  // The background colour; setting it clears ParentColor. With ParentColor the parent's is used.
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  bool GetParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  // The control's font (owned); changing it clears ParentFont. With ParentFont (the default for
  // controls) it follows the parent's font.
  TFont* GetFont() const { return font_.get(); }
  void SetFont(TFont* value) { font_->Assign(value); }
  bool GetParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  // The hint a person sees when hovering over the control, shown when ShowHint is true (taken from
  // the parent while ParentShowHint).
  const std::string& GetHint() const { return hint_; }
  void SetHint(const std::string& value);
  bool GetShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  bool GetParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value);

  // Form reading: a control read inside a windowed control becomes its child.
  void SetParentComponent(TComponent* parent) override;
  // Components read inside a control belong to the form (the root), not to the control.
  TComponent* GetChildOwner() override { return nullptr; }

  // Raises OnClick.
  virtual void Click();
  TNotifyEvent OnClick;

  // Nothing is painted on a screen here; these exist for code written against the framework.
  virtual void Invalidate() {}
  void Repaint() { Invalidate(); }
  void Refresh() { Invalidate(); }

 protected:
  virtual void TextChanged() {}
  virtual void BoundsChanged() {}
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}
  // The look (colour, font) changed: tell the window.
  virtual void LookChanged() {}
  // The parent's colour, font or ShowHint changed (or the control got a parent).
  virtual void ParentChanged();
  // The class's own colour (clBtnFace; edit and list controls clWindow) and whether it takes its
  // colour and font from the parent unless told otherwise: what a constructor sets with InitLook, and
  // what form files leave out.
  void InitLook(TColor color, bool parentColor, bool parentFont);
  virtual TColor DefaultColor() const { return clBtnFace; }
  virtual bool DefaultParentColor() const { return false; }
  virtual bool DefaultParentFont() const { return true; }
  // True while the control is being read from a form file (setters store and fire no events).
  bool Loading() const { return ComponentState().Contains(csLoading) || ComponentState().Contains(csReading); }

  std::string text_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool enabled_ = true;
  bool visible_ = true;

 private:
  friend class TWinControl;
  void FontChanged();
  TWinControl* parent_ = nullptr;
  TAlign align_ = alNone;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool fontFromParent_ = false;  // set while the parent's font is copied in
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
};

// What CreateWindowExA receives for a control; CreateParams fills it.
struct TCreateParams {
  std::string WinClassName;  // built-in class or a framework class registered on first use
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = 0;
};

// A control with a platform window, made on first need, and child controls it owns and frees.
class TWinControl : public TControl {
  VCL_CLASS(TWinControl, TControl)
 public:
  explicit TWinControl(TComponent* AOwner);
  // Destroys the window and frees the child controls still in its list, as the framework does.
  ~TWinControl() override;
  // Published: TabOrder (-1: not in a tab order), TabStop, OnEnter, OnExit, OnKeyPress.
  static void DeclareProperties(TPropertyBuilder<TWinControl>& p);

  // The window, created on first use (with the parent's window first). Raises EInvalidOperation
  // when the platform refuses to create it.
  HWND GetHandle();
  HWND Handle() { return GetHandle(); }
  bool HandleAllocated() const { return handle_ != 0; }
  void HandleNeeded() { GetHandle(); }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // EListError outside 0..ControlCount()-1.
  TControl* Controls(int index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // Whether AControl is this control or sits somewhere inside it.
  bool ContainsControl(const TControl* AControl) const;

  // The position among the parent's windowed controls that Tab walks through; -1 without a parent
  // (or for a graphic control). Setting it moves the control there (clamped), the others shift;
  // while the form is being read the values are collected and put in order once it is loaded.
  int GetTabOrder() const;
  void SetTabOrder(int value);
  bool GetTabStop() const { return tabStop_; }
  void SetTabStop(bool value);
  // The windowed controls inside this one in tab order, depth first (each followed by its own).
  void GetTabOrderList(std::vector<TWinControl*>& list) const;
  // The next (or previous) control after `current` in tab order that can take the focus (with
  // TabStop when checkTabStop), wrapping around; nullptr when there is none.
  TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const;
  // Moves the focus there (SetFocus); nothing when there is no such control.
  void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);

  // Whether the control and all its parents are visible and enabled (and it is windowed).
  virtual bool CanFocus() const;
  // Gives the window the keyboard focus; EInvalidOperation "Cannot focus a disabled or invisible
  // window" when it cannot have it.
  virtual void SetFocus();
  bool Focused() const;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetEnabled(bool value) override;
  void SetVisible(bool value) override;
  std::string GetText() const override;
  void SetText(const std::string& value) override;
  // The window also carries the name, as its automation id for the desktop.
  void SetName(const std::string& name) override;

  // Places the aligned child controls (alTop, alBottom, alLeft, alRight, alClient, in that order)
  // inside the client area less AdjustClientRect's margins.
  void Realign();
  virtual void AdjustClientRect(TRect& rect) const { (void)rect; }

  // Form writing: the child controls owned by the root (or by this control), in z-order, so that
  // a control inside a panel is written inside it.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  // Puts the tab order collected while reading into effect.
  void Loaded() override;

  // Raise OnEnter/OnExit (the form calls them as the focus moves) and OnKeyPress.
  virtual void DoEnter();
  virtual void DoExit();
  virtual void KeyPress(char& Key);
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyPressEvent OnKeyPress;

  // Alt+key on the form: the control takes it when it is its accelerator (a label focuses the
  // control it names, a button presses itself) and returns true.
  virtual bool DialogChar(char key) { (void)key; return false; }

  // Internal to the framework: notifications a built-in window sends its parent, passed on to the
  // control: WM_COMMAND codes (BN_CLICKED, EN_CHANGE, ...), WM_NOTIFY codes (the result goes back),
  // WM_HSCROLL/WM_VSCROLL codes.
  virtual void CommandNotify(WORD code) { (void)code; }
  virtual LRESULT NotifyNotify(UINT code) { (void)code; return 0; }
  virtual void ScrollNotify(WORD code) { (void)code; }
  // Internal: messages for windows of the framework's registered classes and subclassed windows.
  virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);

 protected:
  virtual void CreateParams(TCreateParams& Params);
  // Creates this window and then those of the child controls.
  virtual void CreateWnd();
  // Destroys the child windows and then this one.
  virtual void DestroyWnd();
  // Makes the window again (styles that only take effect at creation changed).
  void RecreateWnd();
  // After the window exists: push state the window keeps (list items, ...).
  virtual void HandleCreated() {}
  // Whether the control is a windowed control proper (in tab orders, able to take the focus).
  virtual bool IsWindowed() const { return true; }
  void BoundsChanged() override;
  void LookChanged() override;
  // Passes a message on to the window's own procedure (the built-in class's, or DefWindowProcA).
  LRESULT DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam);

  HWND handle_ = 0;

 private:
  friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  friend class TControl;
  void ForgetHandle();
  void PushExtras();
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  int pendingTabOrder_ = -1;
  bool tabStop_ = false;
  int nextChildId_ = 100;
  int childId_ = 0;
  WNDPROC defProc_ = nullptr;
  bool aligning_ = false;
};

// A control the framework would paint into its parent (TLabel, TImage, TBevel): it takes no
// focus and is in no tab order. Here it is mirrored on a "STATIC" window, so that the desktop can
// read it and pictures show it.
class TGraphicControl : public TWinControl {
  VCL_CLASS(TGraphicControl, TWinControl)
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  virtual TCanvas* GetCanvas();
  bool CanFocus() const override { return false; }

 protected:
  void CreateParams(TCreateParams& Params) override;
  bool IsWindowed() const override { return false; }
  bool DefaultParentColor() const override { return true; }

 private:
  std::unique_ptr<TCanvas> canvas_;
};

// The framework control that owns a window; nullptr for windows of other code.
TWinControl* FindControl(HWND handle);

// The form a control sits on (following parents), nullptr when none.
TCustomForm* GetParentForm(TControl* Control);

// Whether `caption` has `key` as its accelerator ('&' before it, without regard to case; "&&" is a
// literal '&').
bool IsAccel(char key, const std::string& caption);
// The caption as shown: without the '&' marks ("&&" becomes '&').
std::string StripAccelChars(const std::string& caption);

}  // namespace vcl

#endif
