// TScanRange: one numeric TW_FIX32 setting, its limits as the source reports them, and the value
// the application wants.
#include "internal.h"

#include <cmath>

namespace korven {

VCL_IMPLEMENT_CLASS(TScanRange, vcl::TPersistent)

void TScanRange::DeclareProperties(vcl::TPropertyBuilder<TScanRange>& p) {
  // Only Value is really writable; the others show what the last negotiation found.
  p.Property("Supported", &TScanRange::GetSupported, &TScanRange::SetSupported).Default(true);
  p.Property("Min", &TScanRange::GetMin, &TScanRange::SetMin);
  p.Property("Max", &TScanRange::GetMax, &TScanRange::SetMax);
  p.Property("Step", &TScanRange::GetStep, &TScanRange::SetStep);
  p.Property("Default", &TScanRange::GetDefault, &TScanRange::SetDefault);
  p.Property("Value", &TScanRange::GetValue, &TScanRange::SetValue);
}

TScanRange::TScanRange(TScanner* owner) : FOwner(owner) {}

void TScanRange::SetParam(TScannerCap cap, float min, float max, float step, float def, uint32_t capability) {
  FCap = cap;
  FCapability = capability;
  FMin = min;
  FMax = max;
  FStep = step;
  FDefault = def;
  FValue = def;
  FSupported = true;
}

void TScanRange::SetValue(float v) {
  if (v == FValue) return;
  FValue = v;
  ApplySetting();
}

void TScanRange::ApplySetting() {
  if (!FOwner->GetActive() || !FSupported) return;
  if (FOwner->TWAIN_SetCapFix32(FCapability, FValue)) {
    // X and Y go together; the Y answer is not looked at.
    if (FCapability == ICAP_XRESOLUTION)
      FOwner->TWAIN_SetCapFix32(ICAP_YRESOLUTION, FValue);
    else if (FCapability == ICAP_XSCALING)
      FOwner->TWAIN_SetCapFix32(ICAP_YSCALING, FValue);
  }
  FValue = FOwner->TWAIN_GetCapFix32(FCapability, FValue);
}

void TScanRange::Reset() {
  FValue = FDefault;
  ApplySetting();
}

void TScanRange::Refresh() {
  FOwner->FCaps.Exclude(FCap);
  FSupported = FOwner->TWAIN_GetCapRange(FCapability, FMin, FMax, FStep, FDefault, FCurrent);
  if (FSupported && FOwner->GetUseCurrentValue()) {
    FOwner->TWAIN_SetCapFix32(FCapability, FCurrent);
    FValue = FOwner->TWAIN_GetCapFix32(FCapability, FCurrent);
    if (FValue != FCurrent) FSupported = false;
  } else if (FSupported) {
    FOwner->TWAIN_SetCapFix32(FCapability, FValue);
  }
  if (FSupported) {
    FOwner->FCaps.Include(FCap);
  } else {
    FMin = FMax = FStep = FDefault = 0;
    FValue = FOwner->TWAIN_GetCapFix32(FCapability, FCurrent);
  }
}

float TScanRange::NearestValue(float x) const {
  if (!FSupported) return x;
  // A negative or non-finite step has no upward walk: it clamps like a step of 0.
  if (FStep == 0 || !(FStep > 0) || !std::isfinite(FStep)) {
    if (x < FMin) return FMin;
    if (x > FMax) return FMax;
    return x;
  }
  // The limits and distances are worked out in double, each rounded to Single once, as the
  // candidates are: Min, then each previous candidate + Step rounded to Single.
  float d = float(double(FMax) - double(FMin) + double(FStep));
  float result = x;
  for (float v = FMin; v <= FMax;) {
    double dist = std::fabs(double(v) - double(x));
    if (dist < d) {
      result = v;
      d = float(dist);
    }
    float next = float(double(v) + double(FStep));
    if (next == v) break;  // a step too small to move a candidate ends the walk
    v = next;
  }
  return result;
}

void TScanRange::AssignTo(vcl::TPersistent* dest) {
  if (auto* r = dynamic_cast<TScanRange*>(dest)) {
    r->FCapability = FCapability;
    r->FMin = FMin;
    r->FMax = FMax;
    r->FStep = FStep;
    r->FDefault = FDefault;
    r->FValue = FValue;
    r->FCurrent = FCurrent;
    return;
  }
  inherited::AssignTo(dest);
}

}  // namespace korven
