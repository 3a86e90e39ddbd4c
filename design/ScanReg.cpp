// ScanReg: Register, the component editor of TScanner and the read-only range editors, and the
// package's entry for the designer.
#include "ScanReg.h"

#include <korven/ChgDlgs.h>
#include <korven/Scanner.h>
#include <korven/platform.h>
#include <vcl/FileDialogs.h>
#include <vcl/Forms.h>

#include <memory>

#include "ScanAbout.h"
#include "ScanEdit.h"

namespace korven {

VCL_IMPLEMENT_CLASS(TScannerEditor, vcl::TComponentEditor)
VCL_IMPLEMENT_CLASS(TReadOnlyBoolProperty, vcl::TBoolProperty)
VCL_IMPLEMENT_CLASS(TReadOnlyFloatProperty, vcl::TFloatProperty)

void Register() {
  using vcl::PropertyEditorClass;
  const vcl::TMetaClass* range = &TScanRange::StaticClass();
  vcl::RegisterComponents("Scanner", {&TScanner::StaticClass()});
  vcl::RegisterPropertyEditor(vcl::TypeInfo<bool>(), range, "Supported", PropertyEditorClass<TReadOnlyBoolProperty>());
  vcl::RegisterPropertyEditor(vcl::TypeInfo<bool>(), range, "ReadOnly", PropertyEditorClass<TReadOnlyBoolProperty>());
  vcl::RegisterPropertyEditor(vcl::TypeInfo<float>(), range, "Min", PropertyEditorClass<TReadOnlyFloatProperty>());
  vcl::RegisterPropertyEditor(vcl::TypeInfo<float>(), range, "Max", PropertyEditorClass<TReadOnlyFloatProperty>());
  vcl::RegisterPropertyEditor(vcl::TypeInfo<float>(), range, "Step", PropertyEditorClass<TReadOnlyFloatProperty>());
  vcl::RegisterPropertyEditor(vcl::TypeInfo<float>(), range, "Default", PropertyEditorClass<TReadOnlyFloatProperty>());
  vcl::RegisterComponentEditor(TScanner::StaticClass(), vcl::ComponentEditorClass<TScannerEditor>());
  vcl::RegisterComponents("Scanner", {&TSaveExtDialog::StaticClass()});
  vcl::RegisterComponents("Scanner", {&TSavePictureExtDialog::StaticClass()});
  // The classes the package's forms stream, and the framework dialogs the two above derive from.
  vcl::RegisterClasses({&TSaveExtDialog::StaticClass(), &TSavePictureExtDialog::StaticClass(),
                        &vcl::TOpenDialog::StaticClass(), &vcl::TSaveDialog::StaticClass(),
                        &vcl::TOpenPictureDialog::StaticClass(), &vcl::TSavePictureDialog::StaticClass()});
}

// ---- TScannerEditor -----------------------------------------------------------------------------

void TScannerEditor::ExecuteVerb(int Index) {
  switch (Index) {
    case 0: {
      // A form whose creation raises is freed by the factory; from here on it is freed on every
      // path, and the designer hears of a change only when OK copied one back.
      vcl::Application->CreateForm(FormScannerEditor);
      std::unique_ptr<TFormScannerEditor> form(FormScannerEditor);
      if (form->ShowModal(vcl::As<TScanner>(Component())) == vcl::mrOk) Designer()->Modified();
      break;
    }
    case 1: {
      vcl::Application->CreateForm(ScannerAbout);
      std::unique_ptr<TScannerAbout> about(ScannerAbout);
      // Checked like verb 0: another component here would otherwise be read as a scanner.
      about->LabelVersion->SetCaption(vcl::As<TScanner>(Component())->GetVersion());
      about->ShowModal();
      break;
    }
    default:
      break;
  }
}

std::string TScannerEditor::GetVerb(int Index) {
  switch (Index) {
    case 0:
      return platform::FromUtf8("プロパティの編集");
    case 1:
      return platform::FromUtf8("バージョン情報");
    default:
      return {};
  }
}

int TScannerEditor::GetVerbCount() { return 2; }

// ---- Read-only range editors --------------------------------------------------------------------

vcl::TPropertyAttributes TReadOnlyBoolProperty::GetAttributes() {
  return vcl::TBoolProperty::GetAttributes() + vcl::TPropertyAttributes{vcl::paReadOnly};
}

vcl::TPropertyAttributes TReadOnlyFloatProperty::GetAttributes() {
  return vcl::TFloatProperty::GetAttributes() + vcl::TPropertyAttributes{vcl::paReadOnly};
}

}  // namespace korven

// The package's entry and description, as the designer looks them up.
extern "C" void KorvenDesignRegister() { korven::Register(); }
extern "C" const char* KorvenDesignDescription() {
  return "TWAIN Scanner Control Components";
}
