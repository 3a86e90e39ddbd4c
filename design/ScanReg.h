// ScanReg: the registration of the design package korvends and its editors. Register puts TScanner
// and the two extension-changing save dialogs on the palette page "Scanner", makes the limits of
// every TScanRange read-only in the Object Inspector, and attaches TScannerEditor to TScanner.
#ifndef KORVEN_SCANREG_H
#define KORVEN_SCANREG_H

#include <vcl/DesignIntf.h>

#include <string>

namespace korven {

// The package's registration routine; the designer calls it once when it loads the package.
void Register();

// The component editor of TScanner: two verbs, the scanner editor form (0, also the double-click)
// and the about box (1).
class TScannerEditor : public vcl::TComponentEditor {
  VCL_CLASS(TScannerEditor, vcl::TComponentEditor)
 public:
  using vcl::TComponentEditor::TComponentEditor;
  // 0: shows the editor form on a copy of the component; OK copies it back and marks the designer
  // modified. 1: shows the about box with the component's version. Other indices do nothing.
  void ExecuteVerb(int Index) override;
  // "プロパティの編集" and "バージョン情報" (in the ANSI code page); "" for other indices.
  std::string GetVerb(int Index) override;
  int GetVerbCount() override;
};

// The Object Inspector's Boolean editor with the read-only attribute added.
class TReadOnlyBoolProperty : public vcl::TBoolProperty {
  VCL_CLASS(TReadOnlyBoolProperty, vcl::TBoolProperty)
 public:
  using vcl::TBoolProperty::TBoolProperty;
  vcl::TPropertyAttributes GetAttributes() override;
};

// The Object Inspector's float editor with the read-only attribute added.
class TReadOnlyFloatProperty : public vcl::TFloatProperty {
  VCL_CLASS(TReadOnlyFloatProperty, vcl::TFloatProperty)
 public:
  using vcl::TFloatProperty::TFloatProperty;
  vcl::TPropertyAttributes GetAttributes() override;
};

}  // namespace korven

#endif
