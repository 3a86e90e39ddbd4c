// The component-level parts that the session and capability layers call: activation, the window
// handed to TWAIN and the proxy form. MINIMAL: the full activation (selection dialog, ranges, units,
// pixel types, settings, events) belongs to the component layer and replaces SetActive here.
#include "internal.h"

#include <korven/platform.h>
#include <vcl/Forms.h>

namespace korven {

namespace {
// The texts of the string table entries 65521 and 65523.
const char* const TextCannotLoadManager = "TWAINソースマネージャー ( TWAIN_32.DLL) をロードできません";
const char* const TextDeviceDoesNotWork = "TWAINデバイスが動作しません";
}  // namespace

TScanner::~TScanner() {
  // Whatever the state: no library, source or SourcesInUse entry outlives the component. A
  // destructor cannot pass an exception on; the session goes as far down as it can.
  try {
    if (FState != tsPRESESSION) TWAIN_UnloadSourceManager(GetHandle());
  } catch (const std::exception& e) {
    OutputDebugStringA((std::string("TScanner: ") + e.what()).c_str());
  }
  DestroyProxyForm();
}

void TScanner::SetActive(bool value) {
  if (value == FActive) return;
  FActive = false;
  if (!value) {
    if (FState != tsPRESESSION) TWAIN_UnloadSourceManager(GetHandle());
    DestroyProxyForm();
    FSourceName.clear();
    return;
  }
  if (!TWAIN_LoadSourceManager()) throw EScannerFaital(korven::platform::FromUtf8(TextCannotLoadManager));
  if (!FSourceName.empty()) TWAIN_OpenSource(GetHandle(), FSourceName);
  if (FState < tsSOURCE_OPEN && !TWAIN_OpenDefaultSource(GetHandle())) {
    if (FState != tsPRESESSION) TWAIN_UnloadSourceManager(GetHandle());
    DestroyProxyForm();
    FSourceName.clear();
    throw EScannerFaital(korven::platform::FromUtf8(TextDeviceDoesNotWork));
  }
  FSourceName = TWAIN_SourceName();
  FActive = true;
}

HWND TScanner::GetHandle() {
  HWND h = vcl::Application ? vcl::Application->GetHandle() : 0;
  if (auto* control = dynamic_cast<vcl::TControl*>(GetOwner())) {
    if (vcl::TCustomForm* form = vcl::GetParentForm(control)) h = form->GetHandle();
  }
  if (IsWindow(h)) return h;
  return CreateProxyForm();
}

HWND TScanner::CreateProxyForm() {
  if (!FProxyForm) {
    auto form = std::make_unique<vcl::TForm>(vcl::Application);
    form->SetBorderStyle(vcl::bsToolWindow);
    form->SetCaption("TScanner ProxyWindow");
    vcl::TSize extent = form->GetCanvas()->TextExtent("TScanner ProxyWindow");
    form->SetBounds(0, 0, extent.cx, extent.cy);
    form->Show();
    FProxyForm = form.release();
    FProxyForm->FreeNotification(this);
  }
  return FProxyForm->GetHandle();
}

void TScanner::Notification(vcl::TComponent* component, vcl::TOperation operation) {
  inherited::Notification(component, operation);
  if (operation == vcl::opRemove && component == static_cast<vcl::TComponent*>(FProxyForm)) FProxyForm = nullptr;
}

void TScanner::DestroyProxyForm() {
  delete FProxyForm;
  FProxyForm = nullptr;
}

}  // namespace korven
