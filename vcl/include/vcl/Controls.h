// Controls of the framework subset: TControl (bounds, visibility, enabled state, text), TWinControl
// (a real platform window, so that the desktop can see and operate it) and TGraphicControl (drawn
// into its parent, no window).
//
// A TWinControl creates its window when first needed (HandleNeeded, or when its form is shown), from
// the class its CreateParams names: the platform's built-in controls ("BUTTON", "STATIC", "EDIT",
// "LISTBOX", "COMBOBOX") for the standard controls, and a class the framework registers with
// RegisterClassA (named after the C++ class) for forms and panels. Child windows are created in the
// order the controls were inserted, so a desktop lists their texts and buttons in that order.
// Notifications a built-in control sends to its parent (WM_COMMAND) reach the control's
// CommandNotify. A vcl::Exception raised while a framework window handles a message goes to
// Application->HandleException (a message box) and not to the sender of the message; other
// exceptions pass.
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

// Internal: the window procedure of the framework's registered window classes.
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

// A control: position and size in its parent's client area, visibility and enabling, and the
// parent it belongs to. Windowless by itself; TWinControl adds the window.
class TControl : public TComponent {
  VCL_CLASS(TControl, TComponent)
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  // Published: Left, Top, Width, Height, Enabled (default true), Visible (default true).
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
  TRect GetClientRect() const { return Rect(0, 0, width_, height_); }
  int GetClientWidth() const { return width_; }
  int GetClientHeight() const { return height_; }

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

  // Form reading: a control read inside a windowed control becomes its child.
  void SetParentComponent(TComponent* parent) override;

  // Raises OnClick.
  virtual void Click();
  TNotifyEvent OnClick;

  // Nothing is drawn on a screen here; these exist for code written against the framework.
  virtual void Invalidate() {}
  void Repaint() { Invalidate(); }
  void Refresh() { Invalidate(); }

 protected:
  virtual void TextChanged() {}
  virtual void BoundsChanged() {}
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}

  std::string text_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool enabled_ = true;
  bool visible_ = true;

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
};

// A control without a window, drawn by its parent (TImage).
class TGraphicControl : public TControl {
  VCL_CLASS(TGraphicControl, TControl)
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  virtual TCanvas* GetCanvas();

 private:
  std::unique_ptr<TCanvas> canvas_;
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

  bool GetTabStop() const { return tabStop_; }
  void SetTabStop(bool value) { tabStop_ = value; }
  // Whether the control and all its parents are visible and enabled.
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

  // Form writing: the child controls owned by the root (or by this control), in z-order, so that
  // a control inside a panel is written inside it.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

  // Internal to the framework: a notification code from WM_COMMAND (BN_CLICKED, EN_CHANGE, ...).
  virtual void CommandNotify(WORD code) { (void)code; }
  // Internal: messages for windows of the framework's registered classes.
  virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);

 protected:
  virtual void CreateParams(TCreateParams& Params);
  // Creates this window and then those of the child controls.
  virtual void CreateWnd();
  // Destroys the child windows and then this one.
  virtual void DestroyWnd();
  // After the window exists: push state the window keeps (list items, ...).
  virtual void HandleCreated() {}

  HWND handle_ = 0;

 private:
  friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  void ForgetHandle();
  std::vector<TControl*> controls_;
  bool tabStop_ = false;
  int nextChildId_ = 100;
  int childId_ = 0;
};

// The framework control that owns a window; nullptr for windows of other code.
TWinControl* FindControl(HWND handle);

// The form a control sits on (following parents), nullptr when none.
TCustomForm* GetParentForm(TControl* Control);

}  // namespace vcl

#endif
