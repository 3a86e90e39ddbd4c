// Common controls: TTrackBar (a slider, the platform's "msctls_trackbar32") and TPageControl with
// its TTabSheet pages (the platform's "SysTabControl32" with a framework window per page).
#ifndef VCL_COMCTRLS_H
#define VCL_COMCTRLS_H

#include <vcl/Controls.h>

#include <vector>

namespace vcl {

enum TTrackBarOrientation { trHorizontal, trVertical };
VCL_ENUM_INFO(TTrackBarOrientation, trHorizontal, trVertical)
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };
VCL_ENUM_INFO(TTickMark, tmBottomRight, tmTopLeft, tmBoth)
enum TTickStyle { tsNone, tsAuto, tsManual };
VCL_ENUM_INFO(TTickStyle, tsNone, tsAuto, tsManual)

// A slider over Min..Max. OnChange fires whenever Position really changes: a person moving the
// slider (the desktop's Slide, or the keys), Position set in code, or Min/Max moving the position
// into the new range; setting the same position again fires nothing, and nothing fires while the
// control is read from a form file. Min above Max raises Max with it (and Max below Min lowers
// Min), so the range stays whole whatever the order of the two settings. SliderVisible false hides
// the thumb (TBS_NOTHUMB); TickMarks says on which sides ticks go, TickStyle whether they are drawn
// (tsAuto: every Frequency; tsManual: the ends only; tsNone: none).
class TTrackBar : public TWinControl {
  VCL_CLASS(TTrackBar, TWinControl)
 public:
  explicit TTrackBar(TComponent* AOwner);
  // Published: Frequency (1), LineSize (1), Max (10), Min (0), Orientation (trHorizontal),
  // PageSize (2), Position (0), SelEnd (0), SelStart (0), SliderVisible (true), ThumbLength (20),
  // TickMarks (tmBottomRight), TickStyle (tsAuto), TabStop (true), OnChange.
  static void DeclareProperties(TPropertyBuilder<TTrackBar>& p);
  int GetMin() const { return min_; }
  void SetMin(int value);
  int GetMax() const { return max_; }
  void SetMax(int value);
  int GetPosition() const;
  void SetPosition(int value);
  int GetFrequency() const { return frequency_; }
  void SetFrequency(int value);
  int GetLineSize() const { return lineSize_; }
  void SetLineSize(int value);
  int GetPageSize() const { return pageSize_; }
  void SetPageSize(int value);
  bool GetSliderVisible() const { return sliderVisible_; }
  void SetSliderVisible(bool value);
  TTickMark GetTickMarks() const { return tickMarks_; }
  void SetTickMarks(TTickMark value);
  TTickStyle GetTickStyle() const { return tickStyle_; }
  void SetTickStyle(TTickStyle value);
  TTrackBarOrientation GetOrientation() const { return orientation_; }
  void SetOrientation(TTrackBarOrientation value);
  int GetThumbLength() const { return thumbLength_; }
  void SetThumbLength(int value) { thumbLength_ = value; }
  int GetSelStart() const { return selStart_; }
  void SetSelStart(int value) { selStart_ = value; }
  int GetSelEnd() const { return selEnd_; }
  void SetSelEnd(int value) { selEnd_ = value; }
  // Sets the range and the position together; the position is clamped into the range.
  void SetParams(int APosition, int AMin, int AMax);
  void ScrollNotify(WORD code) override;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;
  void Loaded() override;
  virtual void Changed();

 private:
  DWORD TickStyles() const;
  int min_ = 0, max_ = 10, position_ = 0;
  int frequency_ = 1, lineSize_ = 1, pageSize_ = 2;
  int thumbLength_ = 20, selStart_ = 0, selEnd_ = 0;
  bool sliderVisible_ = true;
  TTickMark tickMarks_ = tmBottomRight;
  TTickStyle tickStyle_ = tsAuto;
  TTrackBarOrientation orientation_ = trHorizontal;
};

class TPageControl;

// One page of a page control: a container window shown only while it is the active page, with its
// Caption on its tab. Read from a form file inside a TPageControl, it becomes that control's next
// page.
class TTabSheet : public TWinControl {
  VCL_CLASS(TTabSheet, TWinControl)
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  // Published: Caption, PageIndex, TabVisible (true).
  static void DeclareProperties(TPropertyBuilder<TTabSheet>& p);
  TPageControl* GetPageControl() const { return pageControl_; }
  // Moves the page to another page control (nullptr: none), as its last page.
  void SetPageControl(TPageControl* value);
  // The page's position among its page control's pages (-1 without one); setting it reorders.
  int GetPageIndex() const;
  void SetPageIndex(int value);
  // The page's position among the tabs shown (-1 when its tab is hidden or it has no control).
  int GetTabIndex() const;
  bool GetTabVisible() const { return tabVisible_; }
  void SetTabVisible(bool value);
  void SetParentComponent(TComponent* parent) override;

 protected:
  void TextChanged() override;
  void Loaded() override;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
  int pendingPageIndex_ = -1;
};

// A tabbed set of pages: one tab per page (with TabVisible) in page order, the active page shown
// below the tabs and the others hidden. A person choosing a tab (the desktop's SelectTab) fires
// OnChanging (which may refuse), makes that page active and fires OnChange; setting ActivePage or
// ActivePageIndex in code fires neither. MultiLine lets the tabs take several rows (the row of the
// active tab lies next to the pages); TabHeight and TabWidth fix the tab size (0: from the text).
// The pages fill the area below the tabs (TCM_ADJUSTRECT), recomputed when the control's size,
// tabs or active page change. The first page added becomes active while none is.
class TPageControl : public TWinControl {
  VCL_CLASS(TPageControl, TWinControl)
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  // Published: ActivePage, MultiLine (false), TabHeight (0), TabWidth (0), TabStop (true),
  // OnChange, OnChanging.
  static void DeclareProperties(TPropertyBuilder<TPageControl>& p);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  int GetPageCount() const { return PageCount(); }
  // EListError outside 0..PageCount()-1.
  TTabSheet* Pages(int index) const;
  TTabSheet* GetActivePage() const { return activePage_; }
  // Shows that page (which must be one of this control's; nullptr hides all).
  void SetActivePage(TTabSheet* value);
  int GetActivePageIndex() const;
  void SetActivePageIndex(int value);
  bool GetMultiLine() const { return multiLine_; }
  void SetMultiLine(bool value);
  int GetTabHeight() const { return tabHeight_; }
  void SetTabHeight(int value);
  int GetTabWidth() const { return tabWidth_; }
  void SetTabWidth(int value);
  // The page after (or before) `current` among the pages with visible tabs, wrapping around.
  TTabSheet* FindNextPage(TTabSheet* current, bool goForward) const;
  void SelectNextPage(bool goForward);
  // The area the pages take, in the control's client coordinates.
  TRect DisplayRect();
  void AdjustClientRect(TRect& rect) const override;

  // Pages are written in page order.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  LRESULT NotifyNotify(UINT code) override;
  bool DialogChar(char key) override;
  using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;
  void Loaded() override;
  void LookChanged() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void MovePage(TTabSheet* page, int index);
  // Puts the tabs into the window and the pages where they belong.
  void UpdateTabs();
  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
  bool multiLine_ = false;
  int tabHeight_ = 0;
  int tabWidth_ = 0;
};

}  // namespace vcl

#endif
