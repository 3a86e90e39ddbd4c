// Form resources: a text form file of the tests' own (forms/SettingsDialog.dfm) compiled by the
// build into a form resource, read when the form is constructed, with published fields and event
// handlers bound by name at any depth; the errors a form file can make; Application->CreateForm.
#include <korven/desktop.h>
#include <korven/platform.h>
#include <vcl/ComCtrls.h>
#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "testsupport.h"

using namespace vcl;
namespace kp = korven::platform;

namespace {

// The form class behind forms/SettingsDialog.dfm: its published fields and handlers.
class TSettingsDialog : public TForm {
  VCL_CLASS(TSettingsDialog, TForm)
 public:
  explicit TSettingsDialog(TComponent* AOwner) : TForm(AOwner) {
    DeclareField("Pages", Pages);
    DeclareField("SheetGeneral", SheetGeneral);
    DeclareField("LabelName", LabelName);
    DeclareField("EditName", EditName);
    DeclareField("CheckFeeder", CheckFeeder);
    DeclareField("BarGamma", BarGamma);
    DeclareField("ComboUnit", ComboUnit);
    DeclareField("Image1", Image1);
    DeclareField("Bevel1", Bevel1);
    DeclareField("ButtonOK", ButtonOK);
    DeclareHandler("FormCreate", &TSettingsDialog::FormCreate);
    DeclareHandler("EditNameExit", &TSettingsDialog::EditNameExit);
    DeclareHandler("EditNameKeyPress", &TSettingsDialog::EditNameKeyPress);
    DeclareHandler("CheckFeederClick", &TSettingsDialog::CheckFeederClick);
    DeclareHandler("BarGammaChange", &TSettingsDialog::BarGammaChange);
    DeclareHandler("ComboUnitClick", &TSettingsDialog::ComboUnitClick);
  }

  TPageControl* Pages = nullptr;
  TTabSheet* SheetGeneral = nullptr;
  TLabel* LabelName = nullptr;
  TEdit* EditName = nullptr;
  TCheckBox* CheckFeeder = nullptr;
  TTrackBar* BarGamma = nullptr;
  TComboBox* ComboUnit = nullptr;
  TImage* Image1 = nullptr;
  TBevel* Bevel1 = nullptr;
  TButton* ButtonOK = nullptr;

  std::vector<std::string> events;
  bool raiseOnCreate = false;

  void FormCreate(TObject*) {
    // The resource has been read: the fields are there.
    events.push_back(std::string("create:") + (EditName ? EditName->GetText() : "no field"));
    if (raiseOnCreate) throw EInvalidOperation("FormCreate failed");
  }
  void EditNameExit(TObject*) { events.push_back("exit:" + EditName->GetText()); }
  void EditNameKeyPress(TObject*, char& Key) {
    if (Key == ' ') Key = 0;  // names have no blanks
  }
  void CheckFeederClick(TObject*) { events.push_back(CheckFeeder->GetChecked() ? "feeder:on" : "feeder:off"); }
  void BarGammaChange(TObject*) { events.push_back("gamma:" + std::to_string(BarGamma->GetPosition())); }
  void ComboUnitClick(TObject*) { events.push_back("unit:" + ComboUnit->GetText()); }
};
VCL_IMPLEMENT_CLASS(TSettingsDialog, TForm)

// A form class with no handlers or fields, for form files that name what it lacks.
class TBareForm : public TForm {
  VCL_CLASS(TBareForm, TForm)
 public:
  explicit TBareForm(TComponent* AOwner) : TForm(AOwner) { DeclareField("Label1", Label1); }
  TLabel* Label1 = nullptr;
};
VCL_IMPLEMENT_CLASS(TBareForm, TForm)

class FormResources : public korven::test::KorvenTest {
 protected:
  kp::ScriptedDesktop desktop;
  kp::ScopedDesktop scope{desktop};
};

TEST_F(FormResources, ConstructionReadsTheResourceAndBindsFieldsAndHandlersAtAnyDepth) {
  TSettingsDialog* form = nullptr;
  Application->CreateForm(form);
  std::unique_ptr<TSettingsDialog> owned(form);

  // Fields bind at any depth, and everything read belongs to the form.
  ASSERT_NE(form->EditName, nullptr);
  for (TComponent* c : std::initializer_list<TComponent*>{form->Pages, form->SheetGeneral, form->LabelName,
                                                          form->EditName, form->CheckFeeder, form->BarGamma,
                                                          form->ComboUnit, form->Image1, form->Bevel1, form->ButtonOK})
    EXPECT_EQ(c->GetOwner(), form) << c->GetName();
  EXPECT_EQ(form->EditName->GetParent(), form->SheetGeneral);
  EXPECT_EQ(form->Image1->GetParent()->GetName(), "Panel1");
  EXPECT_EQ(form->events, std::vector<std::string>{"create:EditName"});  // OnCreate after the read

  // The form's own properties, as the file gives them.
  EXPECT_EQ(form->GetCaption(), "Settings");
  EXPECT_EQ(form->GetBorderStyle(), bsDialog);
  EXPECT_EQ(form->GetClientWidth(), 320);
  EXPECT_EQ(form->GetClientHeight(), 200);
  EXPECT_EQ(form->GetWidth(), 320 + 2 * 3);        // the dialog frame
  EXPECT_EQ(form->GetHeight(), 200 + 2 * 3 + 19);  // and the caption
  EXPECT_EQ(form->GetFont()->GetName(), kp::FromUtf8("ＭＳ Ｐゴシック"));
  EXPECT_EQ(form->GetFont()->GetHeight(), -12);
  EXPECT_EQ(form->GetFont()->GetCharset(), SHIFTJIS_CHARSET);
  EXPECT_EQ(form->EditName->GetFont()->GetName(), form->GetFont()->GetName());  // ParentFont
  EXPECT_EQ(form->GetPosition(), poScreenCenter);

  // Controls: the values the file gives, put together once it was read.
  EXPECT_EQ(form->Pages->PageCount(), 2);
  EXPECT_EQ(form->Pages->GetActivePage(), form->SheetGeneral);
  EXPECT_EQ(form->SheetGeneral->GetCaption(), kp::FromUtf8("基本設定"));
  EXPECT_EQ(form->LabelName->GetFocusControl(), form->EditName);
  EXPECT_EQ(form->EditName->GetImeMode(), imClose);
  EXPECT_EQ(form->BarGamma->GetMin(), 10);
  EXPECT_EQ(form->BarGamma->GetMax(), 500);
  EXPECT_EQ(form->BarGamma->GetPosition(), 220);
  EXPECT_EQ(form->BarGamma->GetHint(), "Min=10, Max=500, Step=1");
  EXPECT_TRUE(form->BarGamma->GetShowHint());
  EXPECT_EQ(form->ComboUnit->GetStyle(), csDropDownList);
  EXPECT_EQ(form->ComboUnit->GetItems()->GetCommaText(), "umInch,umCm,umPixel");
  EXPECT_EQ(form->ButtonOK->GetTabOrder(), 0);
  EXPECT_EQ(form->Pages->GetTabOrder(), 1);
  EXPECT_EQ(form->CheckFeeder->GetTabOrder(), 0);
  EXPECT_EQ(form->EditName->GetTabOrder(), 1);
  // The image fills the panel inside its two 2-pixel bevels; the bevel lies along the page's bottom.
  EXPECT_EQ(form->Image1->GetBoundsRect(), Bounds(4, 4, 92, 52));
  EXPECT_EQ(form->Bevel1->GetAlign(), alBottom);

  // The form works as a person sees it: the handlers run.
  desktop.Type("Jo hn", "Settings", "Name").Check("Use feeder", true, "Settings").Press("OK", "Settings");
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(form->EditName->GetText(), "John");  // the blank was discarded by OnKeyPress
  EXPECT_EQ(form->events,
            (std::vector<std::string>{"create:EditName", "exit:John", "feeder:on"}));
}

TEST_F(FormResources, FreeingAComponentClearsItsField) {
  TSettingsDialog* form = nullptr;
  Application->CreateForm(form);
  std::unique_ptr<TSettingsDialog> owned(form);
  delete form->Image1;
  EXPECT_EQ(form->Image1, nullptr);
  EXPECT_EQ(form->FieldValue("Image1"), nullptr);
  form->CheckFeeder->SetName("CheckOther");  // renamed: the field lets go
  EXPECT_EQ(form->CheckFeeder, nullptr);
}

// Form files that name what the form does not have: the error names it, and nothing is left over.
struct BadForm {
  const char* name;
  const char* body;
  const char* message;  // a part of the error's text
};

class FormResourceErrors : public korven::test::KorvenTest, public ::testing::WithParamInterface<BadForm> {};

TEST_P(FormResourceErrors, NameWhatIsMissing) {
  const BadForm& bad = GetParam();
  TStringStream text(std::string("object BareForm: TBareForm\n") + bad.body + "end\n");
  TMemoryStream binary;
  ObjectTextToBinary(&text, &binary);
  TFormResourceRegistration registration("TBareForm", static_cast<const uint8_t*>(binary.Memory()),
                                         static_cast<size_t>(binary.GetSize()));
  TBareForm* form = reinterpret_cast<TBareForm*>(1);
  try {
    Application->CreateForm(form);
    ADD_FAILURE() << "the form was created";
    delete form;
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(bad.message), std::string::npos) << e.Message();
  }
  EXPECT_EQ(form, nullptr);  // freed, and the reference says so
}

const BadForm kBadForms[] = {
    {"UnknownHandler", "  OnCreate = FormCreate\n", "Method 'FormCreate' not found"},
    {"UnknownHandlerOfAControl",
     "  object Label1: TLabel\n    OnClick = Label1Click\n  end\n", "Label1Click"},
    {"UnknownClass", "  object Scanner1: TNoSuchScanner\n  end\n", "Class TNoSuchScanner not found"},
    {"UnknownProperty", "  object Label1: TLabel\n    Colour = clRed\n  end\n", "Label1.Colour"},
    {"FieldOfAnotherClass", "  object Label1: TButton\n  end\n", "The field Label1 of TBareForm holds a TLabel"},
    {"BadValue", "  object Label1: TLabel\n    Alignment = taSideways\n  end\n", "Label1.Alignment"},
};
INSTANTIATE_TEST_SUITE_P(Forms, FormResourceErrors, ::testing::ValuesIn(kBadForms),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormResources, CreateFormWithAClassAndAFailingOnCreate) {
  TForm* form = nullptr;
  Application->CreateForm(TSettingsDialog::StaticClass(), form);
  ASSERT_NE(dynamic_cast<TSettingsDialog*>(form), nullptr);
  EXPECT_EQ(static_cast<TSettingsDialog*>(form)->ButtonOK->GetCaption(), "O&K");
  delete form;

  // A class that is no form, and one that is not what the reference holds.
  TSettingsDialog* typed = nullptr;
  EXPECT_THROW(Application->CreateForm(TBareForm::StaticClass(), typed), EInvalidCast);
  EXPECT_EQ(typed, nullptr);

  // OnCreate raising frees the form; the reference stays empty.
  struct TFailing : TSettingsDialog {
    explicit TFailing(TComponent* o) : TSettingsDialog(o) { raiseOnCreate = true; }
  };
  TFailing* failing = reinterpret_cast<TFailing*>(1);
  const int before = Application->ComponentCount();
  EXPECT_THROW(Application->CreateForm(failing), EInvalidOperation);
  EXPECT_EQ(failing, nullptr);
  EXPECT_EQ(Application->ComponentCount(), before);
}

// The build's form compiler refuses a malformed form file, naming the file and the line.
TEST(FormCompiler, AMalformedFormFileFailsWithItsLine) {
  const auto dir = korven::test::MakeTempDir("dfm2cpp");
  {
    std::ofstream(dir / "Bad.dfm") << "object Bad: TBad\n  Caption = 'unterminated\nend\n";
    std::ofstream(dir / "Good.dfm") << "object Good: TGood\n  Caption = 'fine'\nend\n";
  }
  const std::string tool = KORVEN_DFM2CPP;
  const std::string bad = tool + " " + (dir / "Bad.dfm").string() + " " + (dir / "Bad.cpp").string() + " 2>" +
                          (dir / "err.txt").string();
  EXPECT_NE(std::system(bad.c_str()), 0);
  std::ifstream err(dir / "err.txt");
  std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(message.find("Bad.dfm"), std::string::npos) << message;
  EXPECT_NE(message.find("line 2"), std::string::npos) << message;
  EXPECT_FALSE(std::filesystem::exists(dir / "Bad.cpp"));

  const std::string good = tool + " " + (dir / "Good.dfm").string() + " " + (dir / "Good.cpp").string();
  EXPECT_EQ(std::system(good.c_str()), 0);
  std::ifstream out(dir / "Good.cpp");
  std::string source((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  EXPECT_NE(source.find("TFormResourceRegistration kRegistration(\"TGood\""), std::string::npos);
  EXPECT_NE(source.find("0x54, 0x50, 0x46, 0x30"), std::string::npos);  // "TPF0"
  std::filesystem::remove_all(dir);
}

}  // namespace
