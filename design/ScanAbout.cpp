#include "ScanAbout.h"

namespace korven {

VCL_IMPLEMENT_CLASS(TScannerAbout, vcl::TForm)

TScannerAbout* ScannerAbout = nullptr;

TScannerAbout::TScannerAbout(vcl::TComponent* AOwner) : vcl::TForm(AOwner) {
  DeclareField("CmdOk", CmdOk);
  DeclareField("Label1", Label1);
  DeclareField("Label2", Label2);
  DeclareField("LabelVersion", LabelVersion);
  DeclareField("Image1", Image1);
  DeclareField("Label3", Label3);
}

}  // namespace korven
