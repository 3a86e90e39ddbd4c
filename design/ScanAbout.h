// ScanAbout: the about box of the design package, laid out by its form resource (ScanAbout.dfm).
#ifndef KORVEN_SCANABOUT_H
#define KORVEN_SCANABOUT_H

#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>

namespace korven {

// "バージョン情報": the palette picture, the component's name and version, the package's description
// and the copyright line, and OK. LabelVersion holds "Version" until the caller puts the version of
// the component the box is about into it.
class TScannerAbout : public vcl::TForm {
  VCL_CLASS(TScannerAbout, vcl::TForm)
 public:
  // The published fields below point at the controls once the form resource is read (by
  // Application->CreateForm, or the first ShowModal).
  explicit TScannerAbout(vcl::TComponent* AOwner);

  vcl::TButton* CmdOk = nullptr;
  vcl::TLabel* Label1 = nullptr;
  vcl::TLabel* Label2 = nullptr;
  vcl::TLabel* LabelVersion = nullptr;
  vcl::TImage* Image1 = nullptr;
  vcl::TLabel* Label3 = nullptr;
};

// The about box while it is shown (set by the application's form factory; not cleared after).
extern TScannerAbout* ScannerAbout;

}  // namespace korven

#endif
