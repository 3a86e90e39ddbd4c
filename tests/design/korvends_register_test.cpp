// Register's calls and what they do in the designer: the palette, the read-only range editors in the
// Object Inspector, the component editor's verbs and the about box.
#include <korven/ChgDlgs.h>

#include <vcl/Resources.h>

#include <map>

#include "ScanAbout.h"
#include "korvends_support.h"

namespace korven {

// A range that publishes a Boolean ReadOnly, as a derived class may; the registration for
// "ReadOnly" is meant for such classes.
class TLockableRange : public TScanRange {
  VCL_CLASS(TLockableRange, TScanRange)
 public:
  using TScanRange::TScanRange;
  static void DeclareProperties(vcl::TPropertyBuilder<TLockableRange>& p) {
    p.Property("ReadOnly", &TLockableRange::locked, &TLockableRange::locked).Default(false);
    p.Property("Min", &TLockableRange::ownMin, &TLockableRange::ownMin);  // redeclared: still a range's limit
  }
  bool locked = false;
  float ownMin = 0;
};
VCL_IMPLEMENT_CLASS(TLockableRange, TScanRange)

// Not a range: its ReadOnly and Min are ordinary properties.
class TPlainSettings : public vcl::TPersistent {
  VCL_CLASS(TPlainSettings, vcl::TPersistent)
 public:
  static void DeclareProperties(vcl::TPropertyBuilder<TPlainSettings>& p) {
    p.Property("ReadOnly", &TPlainSettings::locked, &TPlainSettings::locked).Default(false);
    p.Property("Min", &TPlainSettings::min, &TPlainSettings::min);
  }
  bool locked = false;
  float min = 0;
};
VCL_IMPLEMENT_CLASS(TPlainSettings, vcl::TPersistent)

}  // namespace korven

namespace korven::test {
namespace {

using KorvendsRegister = KorvendsTest;

TEST_F(KorvendsRegister, RegisterMakesItsTenCallsInOrderAndFillsOnePalettePage) {
  std::vector<std::string> calls;
  for (const auto& rec : vcl::Registrations())
    if (rec.Scope == registrations->Id()) calls.push_back(vcl::DescribeRegistration(rec));
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "RegisterComponents('Scanner', [TScanner])",
                       "RegisterPropertyEditor(Boolean, TScanRange, 'Supported', TReadOnlyBoolProperty)",
                       "RegisterPropertyEditor(Boolean, TScanRange, 'ReadOnly', TReadOnlyBoolProperty)",
                       "RegisterPropertyEditor(Single, TScanRange, 'Min', TReadOnlyFloatProperty)",
                       "RegisterPropertyEditor(Single, TScanRange, 'Max', TReadOnlyFloatProperty)",
                       "RegisterPropertyEditor(Single, TScanRange, 'Step', TReadOnlyFloatProperty)",
                       "RegisterPropertyEditor(Single, TScanRange, 'Default', TReadOnlyFloatProperty)",
                       "RegisterComponentEditor(TScanner, TScannerEditor)",
                       "RegisterComponents('Scanner', [TSaveExtDialog])",
                       "RegisterComponents('Scanner', [TSavePictureExtDialog])"}));
  auto pages = vcl::PalettePages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].Name, "Scanner");
  EXPECT_EQ(pages[0].Classes, (std::vector<const vcl::TMetaClass*>{&TScanner::StaticClass(),
                                                                   &TSaveExtDialog::StaticClass(),
                                                                   &TSavePictureExtDialog::StaticClass()}));
  // The classes the forms stream can be read by name.
  for (const char* name : {"TSaveExtDialog", "TSavePictureExtDialog", "TOpenDialog", "TSaveDialog"})
    EXPECT_NE(vcl::GetClass(name), nullptr) << name;
}

TEST_F(KorvendsRegister, EveryRangeShowsItsLimitsReadOnlyAndItsValueEditable) {
  auto rows = vcl::InspectorRows(scanner, designer.get());
  int ranges = 0;
  for (const char* range : {"Resolution", "Scaling", "Brightness", "Contrast", "Gamma", "Highlight", "Shadow",
                            "Threshold"}) {
    std::map<std::string, const vcl::TInspectorRow*> byName;
    for (const auto& r : rows)
      if (r.Path.rfind(std::string(range) + ".", 0) == 0) byName[r.Path.substr(std::string(range).size() + 1)] = &r;
    ASSERT_EQ(byName.size(), 6u) << range;
    for (const char* limit : {"Supported", "Min", "Max", "Step", "Default"}) {
      EXPECT_TRUE(byName[limit]->Attributes.Contains(vcl::paReadOnly)) << range << "." << limit;
      EXPECT_EQ(byName[limit]->Editor->ClassName(),
                std::string(limit) == "Supported" ? "TReadOnlyBoolProperty" : "TReadOnlyFloatProperty");
    }
    EXPECT_FALSE(byName["Value"]->Attributes.Contains(vcl::paReadOnly)) << range;
    EXPECT_EQ(byName["Value"]->Editor->ClassName(), "TFloatProperty");
    ++ranges;
  }
  EXPECT_EQ(ranges, 8);

  // The read-only editors keep everything else of the ordinary ones.
  for (const auto& r : rows) {
    if (r.Path == "Gamma.Default") {
      EXPECT_EQ(r.Value, "2.2");
      EXPECT_EQ(r.Attributes, (vcl::TPropertyAttributes{vcl::paReadOnly, vcl::paMultiSelect, vcl::paRevertable}));
    }
    if (r.Path == "Gamma.Supported") {
      EXPECT_EQ(r.Attributes, (vcl::TPropertyAttributes{vcl::paReadOnly, vcl::paValueList, vcl::paMultiSelect,
                                                        vcl::paSortList, vcl::paRevertable}));
    }
  }
  // Value writes through the range's setter and marks the form modified.
  for (auto& r : rows)
    if (r.Path == "Brightness.Value") r.Editor->SetValue("-25");
  EXPECT_EQ(scanner->GetBrightness()->GetValue(), -25);
  EXPECT_TRUE(designer->IsModified());
}

TEST_F(KorvendsRegister, ADerivedRangeThatPublishesReadOnlyGetsItReadOnlyAndOtherClassesDoNot) {
  TLockableRange lockable(scanner);
  TPlainSettings plain;
  auto attributes = [&](vcl::TPersistent* obj, const char* prop) {
    return vcl::CreatePropertyEditor(designer.get(), {obj}, vcl::FindPropInfo(obj, prop))->GetAttributes();
  };
  EXPECT_TRUE(attributes(&lockable, "ReadOnly").Contains(vcl::paReadOnly));
  EXPECT_TRUE(attributes(&lockable, "Min").Contains(vcl::paReadOnly));
  EXPECT_FALSE(attributes(&lockable, "Value").Contains(vcl::paReadOnly));
  EXPECT_FALSE(attributes(&plain, "ReadOnly").Contains(vcl::paReadOnly));
  EXPECT_FALSE(attributes(&plain, "Min").Contains(vcl::paReadOnly));
  // TScanRange itself publishes no ReadOnly.
  EXPECT_EQ(vcl::GetPropInfo(scanner->GetGamma(), "ReadOnly"), nullptr);
}

TEST_F(KorvendsRegister, TheComponentEditorHasTwoJapaneseVerbsAndNothingBeyond) {
  auto editor = vcl::GetComponentEditor(scanner, designer.get());
  ASSERT_EQ(editor->ClassName(), "TScannerEditor");
  EXPECT_EQ(editor->GetVerbCount(), 2);
  EXPECT_EQ(editor->GetVerb(0), U("プロパティの編集"));
  EXPECT_EQ(editor->GetVerb(1), U("バージョン情報"));
  EXPECT_EQ(editor->GetVerb(2), "");
  EXPECT_EQ(editor->GetVerb(-1), "");
  editor->ExecuteVerb(2);  // nothing: no window, no change
  EXPECT_TRUE(desktop.Shown().empty());
  EXPECT_FALSE(designer->IsModified());
  // Under Shift-JIS the verbs come in that code page.
  ASSERT_TRUE(kp::SetACP(932));
  std::string sjis = editor->GetVerb(1);
  kp::SetACP(65001);
  EXPECT_EQ(sjis, std::string("\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x8F\xEE\x95\xF1"));
}

TEST_F(KorvendsRegister, TheAboutBoxShowsTheVersionOfTheRightClickedComponentAndThePalettePicture) {
  std::string version;
  vcl::TBitmap shown;
  desktop.Do("read the about box", [&] {
    if (!ScannerAbout || !ScannerAbout->GetVisible()) return false;
    version = ScannerAbout->LabelVersion->GetCaption();
    shown.Assign(ScannerAbout->Image1->GetPicture()->GetBitmap());
    return true;
  });
  desktop.Press("OK", U("バージョン情報"));
  vcl::GetComponentEditor(scanner, designer.get())->ExecuteVerb(1);
  EXPECT_EQ(version, "Version 5.0.2");  // the resource says "Version"
  ASSERT_EQ(desktop.Shown().size(), 1u);
  EXPECT_EQ(desktop.Shown()[0].caption, U("バージョン情報"));
  EXPECT_EQ(desktop.Shown()[0].texts,
            (std::vector<std::string>{"TScanner ", "TWAIN Scanner Control Component", "Version 5.0.2",
                                      "Copyright (C) the korven project"}));
  EXPECT_FALSE(designer->IsModified());

  // The same 24 x 24, 16-colour picture as the palette bitmap.
  vcl::TBitmap palette;
  vcl::LoadBitmapResource(&palette, "TSCANNER");
  ASSERT_EQ(shown.GetWidth(), 24);
  ASSERT_EQ(shown.GetHeight(), 24);
  EXPECT_EQ(shown.GetPixelFormat(), vcl::pf4bit);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      ASSERT_EQ(shown.GetCanvas()->GetPixels(x, y), palette.GetCanvas()->GetPixels(x, y)) << x << "," << y;
}

}  // namespace
}  // namespace korven::test
