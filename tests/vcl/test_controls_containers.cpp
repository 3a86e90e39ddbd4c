// Containers: a page control with its pages in order and a person choosing tabs, panels whose
// bevels keep aligned controls clear, a bevel along the bottom, an image's pixels in its window,
// and a form file written and read back with all of it.
#include <korven/desktop.h>
#include <korven/snapshot.h>
#include <vcl/ComCtrls.h>
#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>

#include <memory>
#include <string>
#include <vector>

#include "testsupport.h"

using namespace vcl;
namespace kp = korven::platform;

namespace {

class Containers : public korven::test::KorvenTest {
 protected:
  kp::ScriptedDesktop desktop;
  kp::ScopedDesktop scope{desktop};
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
  TPageControl* pages = nullptr;
  std::vector<TTabSheet*> sheets;
  std::vector<std::string> events;

  void TearDown() override {
    form.reset();
    KorvenTest::TearDown();
  }

  void SetUp() override {
    KorvenTest::SetUp();
    form->SetName("Editor");
    form->SetCaption("Editor");
    form->SetBorderStyle(bsDialog);
    form->SetClientWidth(456);
    form->SetClientHeight(327);
    form->GetFont()->SetHeight(-12);
    pages = new TPageControl(form.get());
    pages->SetName("PageControl1");
    pages->SetParent(form.get());
    pages->SetBounds(8, 8, 345, 313);
    pages->SetMultiLine(true);
    pages->SetTabHeight(20);
    const char* names[] = {"Basic", "Control", "Image", "Feeder", "Test"};
    const char* captions[] = {"基本設定", "イメージ設定", "イメージ調整", "オートフィーダー", "テスト"};
    for (int i = 0; i < 5; ++i) {
      auto* sheet = new TTabSheet(form.get());
      sheet->SetName(std::string("TabSheet") + names[i]);
      sheet->SetCaption(kp::FromUtf8(captions[i]));
      sheet->SetPageControl(pages);
      sheets.push_back(sheet);
    }
    auto* ok = new TButton(form.get());
    ok->SetName("CmdOK");
    ok->SetParent(form.get());
    ok->SetBounds(368, 16, 75, 25);
    ok->SetCaption("O&K");
    ok->SetModalResult(mrOk);
  }
};

TEST_F(Containers, PagesInOrderAndAPersonChoosingTabs) {
  auto* check = new TCheckBox(form.get());
  check->SetName("CheckFeederEnabled");
  check->SetCaption("&FeederEnabled");
  check->SetParent(sheets[3]);
  EXPECT_EQ(pages->GetActivePage(), sheets[0]);  // the first page added
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pages->Pages(i)->GetPageIndex(), i);
  sheets[4]->SetPageIndex(1);
  EXPECT_EQ(pages->Pages(1), sheets[4]);
  sheets[4]->SetPageIndex(4);
  pages->OnChanging = [&](TObject*, bool& allow) {
    events.push_back("changing");
    allow = events.size() > 1;  // the first change is refused
  };
  pages->OnChange = [&](TObject*) { events.push_back("change:" + pages->GetActivePage()->GetName()); };

  desktop.SelectTab(kp::FromUtf8("オートフィーダー"), "Editor")
      .Do("still on the first page; the check box is out of reach", [&] {
        EXPECT_EQ(pages->GetActivePage(), sheets[0]);
        EXPECT_FALSE(kp::SetCheck(form->GetHandle(), "FeederEnabled", true));
        const kp::ShownControl tabs = kp::ReadControl(form->GetHandle(), "PageControl1");
        EXPECT_EQ(tabs.items.size(), 5u);
        EXPECT_EQ(tabs.selected, 0);
        return true;
      })
      .SelectTab(kp::FromUtf8("オートフィーダー"), "Editor")
      .Check("FeederEnabled", true, "Editor");
  desktop.Press("OK", "Editor");
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "changing", "change:TabSheetFeeder"}));
  EXPECT_TRUE(check->GetChecked());
  EXPECT_TRUE(desktop.Remaining().empty());

  // In code: no events; the tab follows.
  pages->SetActivePage(sheets[2]);
  EXPECT_EQ(SendMessageA(pages->GetHandle(), TCM_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(events.size(), 3u);
  EXPECT_FALSE(sheets[3]->GetVisible());
  EXPECT_TRUE(sheets[2]->GetVisible());
}

TEST_F(Containers, PagesFillTheAreaBelowTheirRowsOfTabs) {
  form->HandleNeeded();
  // 345 pixels hold the five tabs in two rows of 20 pixels; the pages take the rest.
  EXPECT_EQ(SendMessageA(pages->GetHandle(), TCM_GETROWCOUNT, 0, 0), 2);
  const TRect display = pages->DisplayRect();
  EXPECT_EQ(display, Rect(4, 2 * 20 + 4, 345 - 4, 313 - 4));
  for (TTabSheet* s : sheets) EXPECT_EQ(s->GetBoundsRect(), display) << s->GetName();
  // The tab of the active page sits in the row next to the pages.
  RECT tab{};
  pages->SetActivePage(sheets[0]);
  SendMessageA(pages->GetHandle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
  EXPECT_EQ(tab.bottom, 2 + 2 * 20);
  pages->SetActivePage(sheets[4]);
  SendMessageA(pages->GetHandle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
  EXPECT_EQ(tab.top, 2);  // the first row moved to the top
  // One row when they fit.
  pages->SetMultiLine(false);
  EXPECT_EQ(SendMessageA(pages->GetHandle(), TCM_GETROWCOUNT, 0, 0), 1);
  EXPECT_EQ(sheets[0]->GetTop(), 20 + 4);
}

TEST_F(Containers, APanelsBevelsAndABevelAlongTheBottom) {
  TTabSheet* test = sheets[4];
  auto* panel = new TPanel(form.get());
  panel->SetName("Panel1");
  panel->SetParent(test);
  panel->SetBounds(8, 8, 201, 209);
  panel->SetBevelInner(bvLowered);
  panel->SetBevelWidth(2);
  auto* image = new TImage(form.get());
  image->SetName("Image1");
  image->SetParent(panel);
  image->SetAlign(alClient);
  image->SetStretch(true);
  image->SetCenter(true);
  EXPECT_EQ(image->GetBoundsRect(), Bounds(4, 4, 193, 201));  // inside both 2-pixel bevels
  panel->SetBevelOuter(bvNone);
  EXPECT_EQ(image->GetBoundsRect(), Bounds(2, 2, 197, 205));
  auto* bevel = new TBevel(form.get());
  bevel->SetName("Bevel1");
  bevel->SetParent(test);
  bevel->SetHeight(22);
  bevel->SetAlign(alBottom);
  form->HandleNeeded();
  EXPECT_EQ(bevel->GetBoundsRect(), Rect(0, test->GetHeight() - 22, test->GetWidth(), test->GetHeight()));

  // The image's pixels reach its window.
  TBitmap picture;
  picture.SetSize(2, 1);
  picture.GetCanvas()->SetPixels(0, 0, clRed);
  picture.GetCanvas()->SetPixels(1, 0, clBlue);
  image->GetPicture()->Assign(&picture);
  const kp::WindowLook look = kp::GetWindowLook(panel->GetHandle());
  EXPECT_EQ(look.bevelOuter, kp::BevelCut::None);
  EXPECT_EQ(look.bevelInner, kp::BevelCut::Lowered);
  EXPECT_EQ(look.bevelWidth, 2);
  EXPECT_EQ(kp::GetWindowLook(bevel->GetHandle()).frame, kp::FrameShape::Box);
}

TEST_F(Containers, AFormFileKeepsPagesControlsAndTheirOrder) {
  auto* combo = new TComboBox(form.get());
  combo->SetName("ComboPixelType");
  combo->SetParent(sheets[1]);
  combo->SetStyle(csDropDownList);
  combo->SetImeMode(imClose);
  combo->GetItems()->SetCommaText("ptBW,ptGray,ptRGB");
  combo->SetItemIndex(2);
  auto* label = new TLabel(form.get());
  label->SetName("Label1");
  label->SetParent(sheets[1]);
  label->SetCaption("&PixelType:");
  label->SetFocusControl(combo);
  auto* bar = new TTrackBar(form.get());
  bar->SetName("BarGamma");
  bar->SetParent(sheets[2]);
  bar->SetParams(150, 10, 500);
  bar->SetSliderVisible(false);
  bar->SetTickMarks(tmBoth);
  bar->SetTickStyle(tsNone);
  pages->SetActivePage(sheets[2]);
  const std::string text = ComponentToText(form.get());

  TForm back(nullptr);
  TextToComponent(text, &back);
  EXPECT_EQ(ComponentToText(&back), text);
  auto* pagesBack = dynamic_cast<TPageControl*>(back.FindComponent("PageControl1"));
  ASSERT_NE(pagesBack, nullptr);
  ASSERT_EQ(pagesBack->PageCount(), 5);
  EXPECT_EQ(pagesBack->GetActivePage(), back.FindComponent("TabSheetImage"));
  EXPECT_EQ(pagesBack->Pages(4)->GetCaption(), kp::FromUtf8("テスト"));
  auto* comboBack = dynamic_cast<TComboBox*>(back.FindComponent("ComboPixelType"));
  ASSERT_NE(comboBack, nullptr);
  EXPECT_EQ(comboBack->GetOwner(), &back);  // owned by the form, not by the page
  EXPECT_EQ(comboBack->GetText(), "ptRGB");
  EXPECT_EQ(dynamic_cast<TLabel*>(back.FindComponent("Label1"))->GetFocusControl(), comboBack);
  auto* barBack = dynamic_cast<TTrackBar*>(back.FindComponent("BarGamma"));
  ASSERT_NE(barBack, nullptr);
  EXPECT_EQ(barBack->GetPosition(), 150);
  EXPECT_FALSE(barBack->GetSliderVisible());
  EXPECT_EQ(back.GetClientWidth(), 456);
  EXPECT_EQ(back.GetFont()->GetHeight(), -12);
  EXPECT_EQ(text.find("Width = 462"), std::string::npos);  // a form keeps its client size only
  EXPECT_NE(text.find("ClientWidth = 456"), std::string::npos);
}

}  // namespace
