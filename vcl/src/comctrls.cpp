// TTrackBar, TPageControl and TTabSheet on the platform's track bar and tab control.
#include <vcl/ComCtrls.h>
#include <vcl/Forms.h>
#include <vcl/TypInfo.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TTrackBar, TWinControl)
VCL_IMPLEMENT_CLASS(TTabSheet, TWinControl)
VCL_IMPLEMENT_CLASS(TPageControl, TWinControl)

namespace {

void ChangeStyle(HWND h, DWORD clear, DWORD set) {
  if (!h) return;
  LONG_PTR style = GetWindowLongPtrA(h, GWL_STYLE) & ~static_cast<LONG_PTR>(clear);
  SetWindowLongPtrA(h, GWL_STYLE, style | static_cast<LONG_PTR>(set));
}

}  // namespace

// ---- TTrackBar ----------------------------------------------------------------------------------

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 150;
  height_ = 45;
  SetTabStop(true);
}

void TTrackBar::DeclareProperties(TPropertyBuilder<TTrackBar>& p) {
  p.Property("Frequency", &TTrackBar::GetFrequency, &TTrackBar::SetFrequency).Default(1);
  p.Property("LineSize", &TTrackBar::GetLineSize, &TTrackBar::SetLineSize).Default(1);
  p.Property("Max", &TTrackBar::GetMax, &TTrackBar::SetMax).Default(10);
  p.Property("Min", &TTrackBar::GetMin, &TTrackBar::SetMin).Default(0);
  p.Property("Orientation", &TTrackBar::GetOrientation, &TTrackBar::SetOrientation).Default(trHorizontal);
  p.Property("PageSize", &TTrackBar::GetPageSize, &TTrackBar::SetPageSize).Default(2);
  p.Property("Position", &TTrackBar::GetPosition, &TTrackBar::SetPosition).Default(0);
  p.Property("SelEnd", &TTrackBar::GetSelEnd, &TTrackBar::SetSelEnd).Default(0);
  p.Property("SelStart", &TTrackBar::GetSelStart, &TTrackBar::SetSelStart).Default(0);
  p.Property("SliderVisible", &TTrackBar::GetSliderVisible, &TTrackBar::SetSliderVisible).Default(true);
  p.Property("TabStop", &TTrackBar::GetTabStop, &TTrackBar::SetTabStop).Default(true);
  p.Property("ThumbLength", &TTrackBar::GetThumbLength, &TTrackBar::SetThumbLength).Default(20);
  p.Property("TickMarks", &TTrackBar::GetTickMarks, &TTrackBar::SetTickMarks).Default(tmBottomRight);
  p.Property("TickStyle", &TTrackBar::GetTickStyle, &TTrackBar::SetTickStyle).Default(tsAuto);
  p.Property("OnChange", &TTrackBar::OnChange, &TTrackBar::OnChange).TypeName("TNotifyEvent");
}

int TTrackBar::GetPosition() const {
  return handle_ ? static_cast<int>(SendMessageA(handle_, TBM_GETPOS, 0, 0)) : position_;
}

void TTrackBar::SetMin(int value) {
  if (Loading()) {  // the form file's order does not matter: put together in Loaded
    min_ = value;
    return;
  }
  SetParams(position_, value, std::max(value, max_));
}

void TTrackBar::SetMax(int value) {
  if (Loading()) {
    max_ = value;
    return;
  }
  SetParams(position_, std::min(value, min_), value);
}

void TTrackBar::SetPosition(int value) {
  if (Loading()) {
    position_ = value;
    return;
  }
  SetParams(value, min_, max_);
}

void TTrackBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) throw EInvalidOperation(ClassName() + " property out of range");
  APosition = std::clamp(APosition, AMin, AMax);
  if (AMin != min_) {
    min_ = AMin;
    if (handle_) SendMessageA(handle_, TBM_SETRANGEMIN, TRUE, AMin);
  }
  if (AMax != max_) {
    max_ = AMax;
    if (handle_) SendMessageA(handle_, TBM_SETRANGEMAX, TRUE, AMax);
  }
  if (APosition != position_) {
    position_ = APosition;
    if (handle_) SendMessageA(handle_, TBM_SETPOS, TRUE, APosition);
    Changed();
  }
}

void TTrackBar::Loaded() {
  TWinControl::Loaded();
  // What the file gave, made consistent without an event: nobody moved the slider.
  if (max_ < min_) max_ = min_;
  position_ = std::clamp(position_, min_, max_);
  if (handle_) HandleCreated();
}

void TTrackBar::SetFrequency(int value) {
  frequency_ = value;
  if (handle_) SendMessageA(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(value), 0);
}

void TTrackBar::SetLineSize(int value) {
  lineSize_ = value;
  if (handle_) SendMessageA(handle_, TBM_SETLINESIZE, 0, value);
}

void TTrackBar::SetPageSize(int value) {
  pageSize_ = value;
  if (handle_) SendMessageA(handle_, TBM_SETPAGESIZE, 0, value);
}

void TTrackBar::SetSliderVisible(bool value) {
  sliderVisible_ = value;
  ChangeStyle(handle_, TBS_NOTHUMB, value ? 0 : TBS_NOTHUMB);
}

DWORD TTrackBar::TickStyles() const {
  DWORD style = tickStyle_ == tsNone ? TBS_NOTICKS : tickStyle_ == tsAuto ? TBS_AUTOTICKS : 0;
  if (tickMarks_ == tmTopLeft) style |= TBS_TOP;
  if (tickMarks_ == tmBoth) style |= TBS_BOTH;
  return style;
}

void TTrackBar::SetTickMarks(TTickMark value) {
  tickMarks_ = value;
  ChangeStyle(handle_, TBS_NOTICKS | TBS_AUTOTICKS | TBS_TOP | TBS_BOTH, TickStyles());
}

void TTrackBar::SetTickStyle(TTickStyle value) {
  tickStyle_ = value;
  ChangeStyle(handle_, TBS_NOTICKS | TBS_AUTOTICKS | TBS_TOP | TBS_BOTH, TickStyles());
}

void TTrackBar::SetOrientation(TTrackBarOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  RecreateWnd();
}

void TTrackBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = TRACKBAR_CLASSA;
  Params.Style |= (orientation_ == trVertical ? TBS_VERT : TBS_HORZ) | TickStyles() | (sliderVisible_ ? 0 : TBS_NOTHUMB);
}

void TTrackBar::HandleCreated() {
  SendMessageA(handle_, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageA(handle_, TBM_SETRANGEMAX, FALSE, max_);
  SendMessageA(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
  SendMessageA(handle_, TBM_SETLINESIZE, 0, lineSize_);
  SendMessageA(handle_, TBM_SETPAGESIZE, 0, pageSize_);
  SendMessageA(handle_, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::ScrollNotify(WORD code) {
  (void)code;  // every code ends with the slider somewhere: what counts is whether it moved
  const int now = GetPosition();
  if (now == position_) return;
  position_ = now;
  Changed();
}

void TTrackBar::Changed() {
  if (OnChange && !Loading()) OnChange(this);
}

// ---- TTabSheet ----------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  visible_ = false;  // shown while it is the active page
  SetAlign(alClient);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::DeclareProperties(TPropertyBuilder<TTabSheet>& p) {
  // The page control places and shows its pages; a form file says neither.
  p.Property("Left", &TTabSheet::GetLeft, &TTabSheet::SetLeft).Stored(false);
  p.Property("Top", &TTabSheet::GetTop, &TTabSheet::SetTop).Stored(false);
  p.Property("Width", &TTabSheet::GetWidth, &TTabSheet::SetWidth).Stored(false);
  p.Property("Height", &TTabSheet::GetHeight, &TTabSheet::SetHeight).Stored(false);
  p.Property("Align", &TTabSheet::GetAlign, &TTabSheet::SetAlign).Stored(false);
  p.Property("Visible", &TTabSheet::GetVisible, &TTabSheet::SetVisible).Stored(false);
  p.Property("Caption", &TTabSheet::GetCaption, &TTabSheet::SetCaption);
  p.Property("PageIndex", &TTabSheet::GetPageIndex, &TTabSheet::SetPageIndex).Stored(false);
  p.Property("TabVisible", &TTabSheet::GetTabVisible, &TTabSheet::SetTabVisible).Default(true);
}

void TTabSheet::SetPageControl(TPageControl* value) {
  if (value == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  if (value) value->InsertPage(this);
}

int TTabSheet::GetPageIndex() const {
  if (!pageControl_) return -1;
  const auto& pages = pageControl_->pages_;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetPageIndex(int value) {
  if (Loading()) {
    pendingPageIndex_ = value;
    return;
  }
  if (pageControl_) pageControl_->MovePage(this, value);
}

int TTabSheet::GetTabIndex() const {
  if (!pageControl_ || !tabVisible_) return -1;
  int index = 0;
  for (TTabSheet* p : pageControl_->pages_) {
    if (p == this) return index;
    if (p->tabVisible_) ++index;
  }
  return -1;
}

void TTabSheet::SetTabVisible(bool value) {
  if (value == tabVisible_) return;
  tabVisible_ = value;
  if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::SetParentComponent(TComponent* parent) {
  if (auto* pc = dynamic_cast<TPageControl*>(parent))
    SetPageControl(pc);
  else
    TWinControl::SetParentComponent(parent);
}

void TTabSheet::TextChanged() {
  if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::Loaded() {
  TWinControl::Loaded();
  if (pendingPageIndex_ >= 0 && pageControl_) pageControl_->MovePage(this, pendingPageIndex_);
  pendingPageIndex_ = -1;
}

// ---- TPageControl -------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 289;
  height_ = 193;
  SetTabStop(true);
}

TPageControl::~TPageControl() {
  // The pages are child controls and go with ~TWinControl; they must not call back into a
  // half-destroyed page control.
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}

void TPageControl::DeclareProperties(TPropertyBuilder<TPageControl>& p) {
  p.Property("ActivePage", &TPageControl::GetActivePage, &TPageControl::SetActivePage);
  p.Property("MultiLine", &TPageControl::GetMultiLine, &TPageControl::SetMultiLine).Default(false);
  p.Property("TabHeight", &TPageControl::GetTabHeight, &TPageControl::SetTabHeight).Default(0);
  p.Property("TabStop", &TPageControl::GetTabStop, &TPageControl::SetTabStop).Default(true);
  p.Property("TabWidth", &TPageControl::GetTabWidth, &TPageControl::SetTabWidth).Default(0);
  p.Property("OnChange", &TPageControl::OnChange, &TPageControl::OnChange).TypeName("TNotifyEvent");
  p.Property("OnChanging", &TPageControl::OnChanging, &TPageControl::OnChanging).TypeName("TTabChangingEvent");
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return pages_[static_cast<size_t>(index)];
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  page->pageControl_ = this;
  page->SetParent(this);
  if (!activePage_) SetActivePage(page);
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  TTabSheet* next = activePage_ == page ? FindNextPage(page, true) : activePage_;
  pages_.erase(it);
  page->pageControl_ = nullptr;
  if (activePage_ == page) {
    activePage_ = nullptr;
    SetActivePage(next == page ? nullptr : next);
  }
  UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* page, int index) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  pages_.erase(it);
  index = std::clamp(index, 0, static_cast<int>(pages_.size()));
  pages_.insert(pages_.begin() + index, page);
  UpdateTabs();
}

void TPageControl::SetActivePage(TTabSheet* value) {
  if (value && value->pageControl_ != this) throw EInvalidOperation("The page belongs to another page control");
  if (value == activePage_) return;
  TTabSheet* old = activePage_;
  activePage_ = value;
  if (value) {
    value->SetVisible(true);
    value->Realign();
  }
  if (old) {
    // The focus does not stay on a page that goes out of sight: it goes to the tabs.
    TCustomForm* form = GetParentForm(this);
    const bool hadFocus = form && form->GetActiveControl() && old->ContainsControl(form->GetActiveControl());
    old->SetVisible(false);
    if (hadFocus && CanFocus() && HandleAllocated()) SetFocus();
  }
  if (handle_ && value && value->GetTabIndex() >= 0)
    SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(value->GetTabIndex()), 0);
  Realign();  // the row of the active tab lies next to the pages
}

int TPageControl::GetActivePageIndex() const { return activePage_ ? activePage_->GetPageIndex() : -1; }

void TPageControl::SetActivePageIndex(int value) {
  SetActivePage(value >= 0 && value < PageCount() ? pages_[static_cast<size_t>(value)] : nullptr);
}

void TPageControl::SetMultiLine(bool value) {
  if (value == multiLine_) return;
  multiLine_ = value;
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE) & ~static_cast<LONG_PTR>(TCS_MULTILINE);
    SetWindowLongPtrA(handle_, GWL_STYLE, style | (value ? TCS_MULTILINE : 0));
  }
  Realign();
}

void TPageControl::SetTabHeight(int value) {
  tabHeight_ = std::max(value, 0);
  if (handle_) SendMessageA(handle_, TCM_SETITEMSIZE, 0, MAKELPARAM(tabWidth_, tabHeight_));
  Realign();
}

void TPageControl::SetTabWidth(int value) {
  tabWidth_ = std::max(value, 0);
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE) & ~static_cast<LONG_PTR>(TCS_FIXEDWIDTH);
    SetWindowLongPtrA(handle_, GWL_STYLE, style | (tabWidth_ > 0 ? TCS_FIXEDWIDTH : 0));
    SendMessageA(handle_, TCM_SETITEMSIZE, 0, MAKELPARAM(tabWidth_, tabHeight_));
  }
  Realign();
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool goForward) const {
  const int n = PageCount();
  if (n == 0) return nullptr;
  auto it = std::find(pages_.begin(), pages_.end(), current);
  int start = it == pages_.end() ? (goForward ? n - 1 : 0) : static_cast<int>(it - pages_.begin());
  for (int step = 1; step <= n; ++step) {
    const int i = goForward ? (start + step) % n : (start - step + n) % n;
    if (pages_[static_cast<size_t>(i)]->tabVisible_) return pages_[static_cast<size_t>(i)];
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool goForward) {
  if (TTabSheet* next = FindNextPage(activePage_, goForward)) SetActivePage(next);
}

TRect TPageControl::DisplayRect() {
  const TRect client = GetClientRect();
  if (handle_) {
    RECT r{client.Left, client.Top, client.Right, client.Bottom};
    SendMessageA(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return Rect(r.left, r.top, std::max(r.left, r.right), std::max(r.top, r.bottom));
  }
  // No window yet: one row of tabs, as a first guess; the window's own layout replaces it.
  const int em = std::abs(GetFont()->GetHeight());
  const int rowHeight = tabHeight_ > 0 ? tabHeight_ : em + 8;
  return Rect(4, rowHeight + 4, std::max(4, client.Right - 4), std::max(rowHeight + 4, client.Bottom - 4));
}

void TPageControl::UpdateTabs() {
  if (handle_) {
    SendMessageA(handle_, TCM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (TTabSheet* p : pages_) {
      if (!p->tabVisible_) continue;
      std::string caption = p->GetCaption();
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = caption.data();
      SendMessageA(handle_, TCM_INSERTITEMA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
    }
    if (activePage_ && activePage_->GetTabIndex() >= 0)
      SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(activePage_->GetTabIndex()), 0);
  }
  Realign();
}

void TPageControl::AdjustClientRect(TRect& rect) const { rect = const_cast<TPageControl*>(this)->DisplayRect(); }

void TPageControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = WC_TABCONTROLA;
  Params.Style |= (multiLine_ ? TCS_MULTILINE : 0) | (tabWidth_ > 0 ? TCS_FIXEDWIDTH : 0);
}

void TPageControl::HandleCreated() {
  if (tabHeight_ || tabWidth_) SendMessageA(handle_, TCM_SETITEMSIZE, 0, MAKELPARAM(tabWidth_, tabHeight_));
  UpdateTabs();
}

void TPageControl::Loaded() {
  TWinControl::Loaded();
  UpdateTabs();
}

void TPageControl::LookChanged() {
  TWinControl::LookChanged();
  Realign();  // the tabs' sizes follow the font
}

void TPageControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  const std::vector<TTabSheet*> pages = pages_;
  for (TTabSheet* p : pages)
    if (p->GetOwner() == root || p->GetOwner() == this) proc(p);
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!dynamic_cast<TTabSheet*>(c) && (c->GetOwner() == root || c->GetOwner() == this)) proc(c);
  }
}

LRESULT TPageControl::NotifyNotify(UINT code) {
  if (code == TCN_SELCHANGING) {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    return allow ? FALSE : TRUE;
  }
  if (code == TCN_SELCHANGE) {
    const auto index = static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0));
    for (TTabSheet* p : pages_)
      if (p->GetTabIndex() == index) {
        SetActivePage(p);
        break;
      }
    if (OnChange) OnChange(this);
  }
  return 0;
}

bool TPageControl::DialogChar(char key) {
  for (TTabSheet* p : pages_) {
    if (!p->tabVisible_ || !IsAccel(key, p->GetCaption()) || !CanFocus()) continue;
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (allow) {
      SetActivePage(p);
      if (OnChange) OnChange(this);
    }
    return true;
  }
  return false;
}

}  // namespace vcl
