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

namespace {

// The candidate after v: v + step rounded to Single, as the walk makes it.
inline float NextCandidate(float v, float step) { return float(double(v) + double(step)); }

// The walk's running choice: the candidate taken so far and the distance (a Single) to beat.
struct Choice {
  float result;
  float d;
};

// Where a run of candidates v, v + s, v + 2s, ... lies, with v + k * s exact in Single for every k
// below n: the stretch of the number line around v on which Single has one spacing u (a binade of
// one sign, or the subnormals together with the smallest normals), and the sum v + step of every
// candidate in the run still lands in that stretch, so each rounds to the same grid. Returns n >= 1;
// n == 1 when no run can be taken (the caller then steps once the plain way).
uint64_t RunLength(float v, float step, float max, double& stride) {
  if (!std::isfinite(v)) return 1;
  const double a = std::fabs(double(v));
  double lo, hi, u;
  if (a < 0x1p-125) {
    u = 0x1p-149;
    lo = -0x1p-125;
    hi = 0x1p-125;
  } else {
    int e = std::ilogb(a);  // a in [2^e, 2^(e+1))
    u = std::ldexp(1.0, e - 23);
    if (v > 0) {
      lo = std::ldexp(1.0, e);
      hi = std::ldexp(1.0, e + 1);
    } else {
      lo = -std::ldexp(1.0, e + 1);
      hi = -std::ldexp(1.0, e);
    }
  }
  // step / u and the grid arithmetic below are exact in double (u is a power of two, and every value
  // is a multiple of u well within 53 bits).
  const double q = double(step) / u;
  const double whole = std::floor(q);
  const double frac = q - whole;
  double k;
  if (frac < 0.5) {
    k = whole;
  } else if (frac > 0.5) {
    k = whole + 1;
  } else {
    // A tie rounds to the even neighbour: from an even multiple of u the sums keep landing on even
    // multiples, so the stride is the even one of whole and whole + 1. From an odd one, step once.
    if (std::fmod(std::fabs(double(v) / u), 2.0) != 0) return 1;
    k = std::fmod(whole, 2.0) == 0 ? whole : whole + 1;
  }
  if (k <= 0) return 1;  // the walk stands still or stops here
  stride = k * u;
  // Candidates v + i * stride for i < n, each of whose sums v + i * stride + step stays in [lo, hi].
  if (double(v) + double(step) > hi || double(v) < lo) return 1;
  double room = std::floor((hi - double(step) - double(v)) / stride) + 1;
  double below = std::floor((double(max) - double(v)) / stride) + 1;  // candidates not above max
  double n = std::min({room, below, 0x1p40});
  if (n < 2) return 1;
  auto count = static_cast<uint64_t>(n);
  // Guard the floor divisions: every candidate of the run must be within its bounds exactly.
  while (count > 1 && (double(v) + double(count - 1) * stride + double(step) > hi ||
                       double(v) + double(count - 1) * stride > double(max)))
    --count;
  return count;
}

// The first index in [lo, hi) for which pred holds, pred being false then true over the range;
// hi when it never holds.
template <class Pred>
uint64_t FirstTrue(uint64_t lo, uint64_t hi, Pred pred) {
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo) / 2;
    if (pred(mid))
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

}  // namespace

float TScanRange::NearestValue(float x) const {
  if (!FSupported) return x;
  // A negative or non-finite step has no upward walk: it clamps like a step of 0.
  if (FStep == 0 || !(FStep > 0) || !std::isfinite(FStep)) {
    if (x < FMin) return FMin;
    if (x > FMax) return FMax;
    return x;
  }
  // No candidate is nearer to a NaN than anything: the walk would keep x.
  if (std::isnan(x)) return x;

  // The walk: candidates Min, then each previous one + Step rounded to Single, while not above Max;
  // a candidate nearer to x than the distance d so far (strictly; distances are worked out in double
  // and kept rounded to Single) becomes the result. A source may report a range of billions of
  // candidates, so the walk goes by runs on which the candidates are exactly v + i * stride: on such a
  // run the distances fall, then rise, and the walk's choices follow from a few of them (found by
  // bisection), and once candidates only move away from x nothing can change any more. The answer
  // is the plain walk's, bit for bit.
  Choice c{x, float(double(FMax) - double(FMin) + double(FStep))};
  auto dist = [x](double v) { return std::fabs(v - double(x)); };
  float v = FMin;
  while (v <= FMax) {
    double stride = 0;
    const uint64_t n = RunLength(v, FStep, FMax, stride);
    // Exact, and a Single; the first is v itself (a Min of -0 stays -0).
    auto cand = [&](uint64_t i) { return i == 0 ? double(v) : double(v) + double(i) * stride; };
    // Candidates at or below x come nearer (their distances never grow, rounding being monotone).
    const uint64_t below = n == 1 ? (double(v) <= double(x) ? 1 : 0)
                                  : FirstTrue(0, n, [&](uint64_t i) { return cand(i) > double(x); });
    if (below > 0) {
      const uint64_t m = below - 1;
      const double em = dist(cand(m));
      if (em < c.d) {
        // The first that beats d is taken; so is, later, the first of each group of candidates whose
        // distances round to the same Single, and within a group every candidate whose distance lies
        // below that Single. With distances falling, the last group's Single is the one at m: the
        // choice ends at m when its distance lies below it, else at that group's first member.
        const float dOld = c.d;
        const uint64_t k0 = FirstTrue(0, m + 1, [&](uint64_t i) { return dist(cand(i)) < dOld; });
        const float fm = float(em);
        const uint64_t g0 = FirstTrue(k0, m + 1, [&](uint64_t i) { return float(dist(cand(i))) <= fm; });
        c.result = float(em < fm ? cand(m) : cand(g0));
        c.d = fm;
      }
    }
    // Candidates above x only move away: the first one decides whether any of them is taken; if
    // it is, so is every following one whose distance stays below its Single, and after the first
    // that does not, nothing can be taken any more.
    if (below < n) {
      const double ea = dist(cand(below));
      if (!(ea < c.d)) return c.result;
      const float fa = float(ea);
      const uint64_t stop = FirstTrue(below + 1, n, [&](uint64_t i) { return !(dist(cand(i)) < fa); });
      c.result = float(cand(stop - 1));
      c.d = fa;
      if (stop < n) return c.result;
    }
    const float last = float(cand(n - 1));
    const float next = NextCandidate(last, FStep);
    if (next == last) break;  // a step too small to move a candidate ends the walk
    v = next;
  }
  return c.result;
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
