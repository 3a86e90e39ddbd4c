// The container layer: wrappers that tie a locked global block to its container type, container
// sizes, one-value containers as the component sends them, MSG_SET, and the TW_FIX32 conversions.
#include "internal.h"

#include <vcl/Forms.h>

#include <cmath>
#include <memory>
#include <unordered_map>

namespace korven {

using detail::Poke;

namespace {

// Live wrappers by their pcon. The values are never reused while the process runs (until the
// 32-bit counter wraps, and then live values are skipped), so a freed pcon is recognised as such.
struct WrapperTable {
  std::unordered_map<pcon, TContainerWrapper> live;  // a node keeps its address while it lives
  pcon next = 1;
};
WrapperTable& Wrappers() {
  static WrapperTable table;
  return table;
}

}  // namespace

// ---- TW_FIX32 -------------------------------------------------------------------------------------

TW_FIX32 SingleToFix32(float x) {
  // Truncation toward zero of x * 65536 + 0.5, low 32 bits kept (two's complement).
  double scaled = double(x) * 65536.0 + 0.5;
  int64_t t = std::isfinite(scaled) && std::fabs(scaled) < 9.2e18 ? int64_t(scaled) : 0;
  uint32_t v = uint32_t(uint64_t(t));
  TW_FIX32 f;
  f.Whole = int16_t(uint16_t(v >> 16));
  f.Frac = uint16_t(v & 0xFFFF);
  return f;
}

float Fix32ToSingle(const TW_FIX32& fix) {
  double f = double(fix.Whole) + double(fix.Frac) / 65536.0;
  double r = std::nearbyint(f * 10000.0);  // default rounding mode: ties to even
  return float(r / 10000.0);
}

// ---- Wrappers -------------------------------------------------------------------------------------

TContainerWrapper* TScanner::FindContainer(pcon p) {
  if (p == 0) return nullptr;
  auto& t = Wrappers();
  auto it = t.live.find(p);
  if (it == t.live.end() || it->second.Signature != ContainerSignature) return nullptr;
  return &it->second;
}

pcon TScanner::WrapContainer(int32_t ConType, HGLOBAL hContainer) {
  if (hContainer == 0) {
    TWAIN_ErrorBox("Illegal container handle");
    return 0;
  }
  void* address = GlobalLock(hContainer);
  if (!address) {
    HGLOBAL left = GlobalFree(hContainer);
    (void)left;  // a handle that cannot be locked may not be freeable either; nothing more to do
    TWAIN_ErrorBox("Can not Lock Container");
    return 0;
  }
  auto& t = Wrappers();
  while (t.next == 0 || t.live.count(t.next)) ++t.next;
  pcon p = t.next++;
  t.live.emplace(p, TContainerWrapper{ContainerSignature, ConType, hContainer, address});
  return p;
}

int32_t TScanner::ContainerSize(int32_t ConType, uint32_t ItemType, uint32_t NumItems) {
  int32_t itemSize = ItemSize(ItemType);
  switch (ConType) {
    case TWON_ARRAY: return int32_t(7 + NumItems * uint32_t(itemSize));
    case TWON_ENUMERATION: return int32_t(15 + NumItems * uint32_t(itemSize));
    case TWON_ONEVALUE: return itemSize <= 4 ? 6 : itemSize + 2;
    case TWON_RANGE: return 22;
    default: return 0;
  }
}

void TScanner::ContainerFree(pcon p) {
  if (p == 0) throw EScannerFaital("ContainerFree pcon = nil");
  TContainerWrapper* w = FindContainer(p);
  if (!w) throw EScannerFaital("ContainerFree Signature miss match");
  GlobalUnlock(w->hContainer);
  HGLOBAL left = GlobalFree(w->hContainer);
  w->Signature = 0;
  Wrappers().live.erase(p);
  VCL_ASSERT(left == 0);
}

pcon TScanner::ContainerOneValue(int32_t ItemType, float Value) {
  int32_t size = ContainerSize(TWON_ONEVALUE, uint32_t(ItemType), 1);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, SIZE_T(size));
  if (h == 0) return 0;
  void* p = GlobalLock(h);
  if (!p) {
    GlobalFree(h);
    return 0;
  }
  // t: the value truncated toward zero, low 32 bits kept.
  double d = Value;
  int64_t t64 = std::isfinite(d) && std::fabs(d) < 9.2e18 ? int64_t(d) : 0;
  uint32_t t = uint32_t(uint64_t(t64));
  uint32_t item = 0;
  switch (ItemType) {
    case TWTY_INT8: item = uint32_t(int32_t(int8_t(uint8_t(t)))); break;
    case TWTY_INT16: item = uint32_t(int32_t(int16_t(uint16_t(t)))); break;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_BOOL: item = t; break;
    case TWTY_UINT8: item = t & 0xFF; break;
    case TWTY_UINT16: item = t & 0xFFFF; break;
    case TWTY_FIX32: {
      TW_FIX32 f = SingleToFix32(Value);
      std::memcpy(&item, &f, sizeof item);
      break;
    }
    default: item = 0; break;
  }
  detail::TryFinally(
      [&] {
        Poke<uint16_t>(p, 0, uint16_t(ItemType));
        Poke<uint32_t>(p, 2, item);
      },
      [&] { GlobalUnlock(h); });
  return WrapContainer(TWON_ONEVALUE, h);
}

bool TScanner::TWAIN_Set(uint32_t Cap, pcon p) {
  if (!TWAIN_CheckSourceOpen()) return false;
  TContainerWrapper* w = FindContainer(p);
  if (!w) return false;
  try {
    TW_CAPABILITY cap{};
    cap.Cap = uint16_t(Cap);
    cap.ConType = uint16_t(w->ConType);
    cap.hContainer = w->hContainer;
    if (TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap)) return true;
    TWAIN_ErrorBox(GetCapabilityName(uint16_t(Cap)) + " Not Supported");
    return false;
  } catch (const vcl::Exception& e) {
    vcl::Application->MessageBox(e.Message(), "", MB_ICONSTOP);
    return false;
  }
}

bool TScanner::TWAIN_SetCapOneValue(uint32_t Cap, uint32_t ItemType, int32_t Value) {
  if (ItemType >= TWTY_FIX32) {
    TWAIN_ErrorBox("Unknow ItemType");
    return false;
  }
  pcon p = ContainerOneValue(int32_t(ItemType), float(Value));
  return detail::TryFinally(
      [&] {
        if (p == 0) {
          // The release below then raises "ContainerFree pcon = nil" for the caller.
          TWAIN_ErrorBox("Not enough memory at SetCapOneValue");
          return false;
        }
        return TWAIN_Set(Cap, p);
      },
      [&] { ContainerFree(p); });
}

bool TScanner::TWAIN_SetCapFix32(uint32_t Cap, float Value) {
  pcon p = ContainerOneValue(TWTY_FIX32, Value);
  return detail::TryFinally(
      [&] {
        if (p == 0) {
          TWAIN_ErrorBox("Not Enough Memory");
          return false;
        }
        return TWAIN_Set(Cap, p);
      },
      [&] { ContainerFree(p); });
}

}  // namespace korven
