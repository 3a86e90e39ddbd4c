// Capability queries (current, default, range, enumeration), the typed accessors on top of them,
// and the scan frame as the image layout. Each query reduces whatever container the source returns
// to the few values the component uses and frees the container. A container is read only within
// its block (GlobalSize): the counts and indexes a source writes are not trusted.
#include "internal.h"

#include <cmath>
#include <string_view>

namespace korven {

using detail::Peek;

namespace {

bool ItemTypesMatch(uint32_t a, uint32_t b) {
  if (a == b) return true;
  return a <= TWTY_UINT32 && b <= TWTY_UINT32 && TWItemSize[a] == TWItemSize[b];
}

float ItemToSingle(const void* item, uint32_t type) {
  switch (type) {
    case TWTY_INT8: return float(Peek<int8_t>(item, 0));
    case TWTY_INT16: return float(Peek<int16_t>(item, 0));
    case TWTY_INT32: return float(Peek<int32_t>(item, 0));
    case TWTY_UINT8: return float(Peek<uint8_t>(item, 0));
    case TWTY_UINT16: return float(Peek<uint16_t>(item, 0));
    case TWTY_UINT32: return float(Peek<uint32_t>(item, 0));
    case TWTY_BOOL: return Peek<uint16_t>(item, 0) != 0 ? -1.0f : 0.0f;
    case TWTY_FIX32: return Fix32ToSingle(Peek<TW_FIX32>(item, 0));
    default: return 0.0f;
  }
}

// The item-size table's entry (only asked for item types within it).
uint64_t SizeOf(uint32_t type) { return uint64_t(TWItemSize[type]); }

// A locked container with its type and the bytes it really has.
struct Container {
  uint16_t conType;
  const unsigned char* p;
  uint64_t size;
  // Whether [offset, offset + n) lies inside the block.
  bool Has(uint64_t offset, uint64_t n) const { return offset + n <= size; }
};

enum class Copied { Done, Refused, TooSmall };

// Copies the item of a one-value container, or the enumeration item whose index is stored at
// indexOffset (6: CurrentIndex, 10: DefaultIndex), into pDest when its item type fits.
Copied CopyItem(const Container& c, uint64_t indexOffset, uint32_t itemType, void* pDest) {
  uint64_t n = SizeOf(itemType);
  if (c.conType == TWON_ONEVALUE) {
    if (!c.Has(0, 2) || !ItemTypesMatch(Peek<uint16_t>(c.p, 0), itemType)) return Copied::Refused;
    if (!c.Has(2, n)) return Copied::TooSmall;
    std::memcpy(pDest, c.p + 2, n);
    return Copied::Done;
  }
  // TWON_ENUMERATION
  if (!c.Has(0, 14)) return Copied::TooSmall;
  uint32_t num = Peek<uint32_t>(c.p, 2), index = Peek<uint32_t>(c.p, indexOffset);
  if (!(index < num) || !ItemTypesMatch(Peek<uint16_t>(c.p, 0), itemType)) return Copied::Refused;
  if (!c.Has(14 + uint64_t(index) * n, n)) return Copied::TooSmall;
  std::memcpy(pDest, c.p + 14 + uint64_t(index) * n, n);
  return Copied::Done;
}

}  // namespace

// The common course of the four queries; reduce returns the query's result. The report texts are
// made only when a report is written: a query that succeeds builds no strings.
template <class FailText, class NullText, class Reduce>
static bool RunQuery(TScanner& s, uint32_t Cap, uint16_t hint, uint16_t msg, FailText failText, NullText nullText,
                     Reduce reduce) {
  if (!s.TWAIN_CheckSourceOpen()) return false;
  TW_CAPABILITY cap{};
  cap.Cap = uint16_t(Cap);
  cap.ConType = hint;
  cap.hContainer = 0;
  if (!s.TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, msg, &cap)) {
    s.TWAIN_ErrorBox(failText());
    // A failing source must not hand over a container; free what it left before saying so.
    if (cap.hContainer != 0) GlobalFree(cap.hContainer);
    VCL_ASSERT(cap.hContainer == 0);
    return false;
  }
  if (cap.hContainer == 0) {
    s.TWAIN_ErrorBox(nullText());
    return false;
  }
  HGLOBAL h = cap.hContainer;
  uint64_t size = GlobalSize(h);
  void* p = GlobalLock(h);
  return detail::TryFinally(
      [&] {
        if (!p) return false;
        return bool(reduce(Container{cap.ConType, static_cast<const unsigned char*>(p), size}));
      },
      [&] {
        GlobalUnlock(h);
        HGLOBAL left = GlobalFree(h);
        VCL_ASSERT(left == 0);
      });
}

// ---- The four queries -----------------------------------------------------------------------------

namespace {
std::string TooSmall(const std::string& name) { return "Illegal container size (" + name + ")"; }

// The capability's name for a report, looked up only when one is written.
struct CapName {
  uint32_t cap;
  std::string operator()() const { return TScanner::GetCapabilityName(uint16_t(cap)); }
};
}  // namespace

namespace {

// What sets the current-value and the default-value queries apart.
struct ItemQuery {
  uint16_t msg;            // MSG_GETCURRENT or MSG_GETDEFAULT
  const char* verb;        // "GetCurrent" or "GetDefault", for the failure texts
  uint64_t indexOffset;    // the enumeration's CurrentIndex (6) or DefaultIndex (10)
  bool takesRange;         // a range's CurrentValue answers the current-value query only
  bool namesCapInMismatch; // the current-value query names the capability in its mismatch text
};

// One item of the capability into pDest: the one-value item, the enumeration item at the query's
// index or, for the current value, a range's CurrentValue; everything read within the block.
bool QueryItem(TScanner& s, const ItemQuery& q, uint32_t Cap, uint32_t ItemType, void* pDest) {
  VCL_ASSERT(pDest != nullptr);
  VCL_ASSERT(ItemSize(ItemType) > 0);
  CapName name{Cap};
  std::string_view verb = q.verb;
  auto failText = [&] { return std::string(verb) + " Failed (" + name() + ")"; };
  auto nullText = [&] { return std::string(verb) + " Failed. Invalid Container Handle (" + name() + ")"; };
  return RunQuery(s, Cap, TWON_ONEVALUE, q.msg, failText, nullText, [&](const Container& c) {
    if (c.conType == TWON_ONEVALUE || c.conType == TWON_ENUMERATION) {
      Copied r = CopyItem(c, q.indexOffset, ItemType, pDest);
      if (r == Copied::TooSmall) s.TWAIN_ErrorBox(TooSmall(name()));
      return r == Copied::Done;
    }
    if (c.conType == TWON_RANGE && q.takesRange) {
      if (!c.Has(0, 22)) return s.TWAIN_ErrorBox(TooSmall(name())), false;
      if (!ItemTypesMatch(Peek<uint16_t>(c.p, 0), ItemType)) return false;
      if (!c.Has(18, SizeOf(ItemType))) return s.TWAIN_ErrorBox(TooSmall(name())), false;
      std::memcpy(pDest, c.p + 18, SizeOf(ItemType));
      return true;
    }
    char buf[160];
    if (q.namesCapInMismatch)
      std::snprintf(buf, sizeof buf, "GetCapCurrent Fail (%s:ConType=%d)", name().c_str(), int(c.conType));
    else
      std::snprintf(buf, sizeof buf, "GetCapCurrent Fail (ConType=%d)", int(c.conType));
    s.TWAIN_ErrorBox(buf);
    return false;
  });
}

}  // namespace

bool TScanner::TWAIN_GetCapCurrent(uint32_t Cap, uint32_t ItemType, void* pDest) {
  return QueryItem(*this, {MSG_GETCURRENT, "GetCurrent", 6, true, true}, Cap, ItemType, pDest);
}

bool TScanner::TWAIN_GetCapDefault(uint32_t Cap, uint32_t ItemType, void* pDest) {
  return QueryItem(*this, {MSG_GETDEFAULT, "GetDefault", 10, false, false}, Cap, ItemType, pDest);
}

bool TScanner::TWAIN_GetCapRange(uint32_t Cap, float& Min, float& Max, float& Step, float& Default, float& Current) {
  CapName name{Cap};
  auto fail = [&] { return "TWAIN_GetCapRange Failed : " + name(); };
  return RunQuery(*this, Cap, TWON_RANGE, MSG_GET, fail, fail, [&](const Container& c) {
    switch (c.conType) {
      case TWON_RANGE: {
        if (!c.Has(0, 22)) return TWAIN_ErrorBox(TooSmall(name())), false;
        float v[5];
        bool fix = Peek<uint16_t>(c.p, 0) == TWTY_FIX32;
        for (int i = 0; i < 5; ++i)
          v[i] = fix ? Fix32ToSingle(Peek<TW_FIX32>(c.p, 2 + 4 * i)) : float(Peek<uint32_t>(c.p, 2 + 4 * i));
        Min = v[0], Max = v[1], Step = v[2], Default = v[3], Current = v[4];
        return true;
      }
      case TWON_ENUMERATION: {
        if (!c.Has(0, 14)) return TWAIN_ErrorBox(TooSmall(name())), false;
        uint32_t type = Peek<uint16_t>(c.p, 0);
        uint32_t num = Peek<uint32_t>(c.p, 2), def = Peek<uint32_t>(c.p, 10);
        if (!(def < num)) return false;
        float v = 0;
        // Types above TWTY_FIX32 give 0 and are not read (their stride may not even be known).
        if (type <= TWTY_FIX32) {
          uint64_t n = SizeOf(type);
          if (!c.Has(14 + uint64_t(def) * n, n)) return TWAIN_ErrorBox(TooSmall(name())), false;
          v = ItemToSingle(c.p + 14 + uint64_t(def) * n, type);
        }
        Min = Max = Default = Current = v;
        Step = 0;
        return true;
      }
      default: {
        char buf[160];
        std::snprintf(buf, sizeof buf, "ConType Missmatch %d (%s)", int(c.conType), name().c_str());
        TWAIN_ErrorBox(buf);
        return false;
      }
    }
  });
}

bool TScanner::TWAIN_GetCapEnumeration(uint32_t Cap, int32_t ItemType, vcl::TList* List, int32_t& CurrentIndex,
                                       int32_t& DefaultIndex) {
  List->Clear();
  VCL_ASSERT(ItemSize(uint32_t(ItemType)) > 0);
  CapName name{Cap};
  auto fail = [&] { return "TWAIN_GetCapEnumeration Failed : " + name(); };
  uint32_t T = uint32_t(ItemType);
  uint64_t n = SizeOf(T);
  auto add = [&](const unsigned char* item) {
    // Truncated toward zero, kept as the list's pointer-sized item.
    List->Add(reinterpret_cast<void*>(intptr_t(std::trunc(double(ItemToSingle(item, T))))));
  };
  return RunQuery(*this, Cap, TWON_ENUMERATION, MSG_GET, fail, fail, [&](const Container& c) {
    switch (c.conType) {
      case TWON_ENUMERATION: {
        if (!c.Has(0, 14)) return TWAIN_ErrorBox(TooSmall(name())), false;
        if (!ItemTypesMatch(T, Peek<uint16_t>(c.p, 0))) return TWAIN_ErrorBox("ItemType Missmatch"), false;
        uint32_t num = Peek<uint32_t>(c.p, 2);
        if (!c.Has(14, uint64_t(num) * n)) return TWAIN_ErrorBox(TooSmall(name())), false;
        CurrentIndex = int32_t(Peek<uint32_t>(c.p, 6));
        DefaultIndex = int32_t(Peek<uint32_t>(c.p, 10));
        for (uint32_t i = 0; i < num; ++i) add(c.p + 14 + uint64_t(i) * n);
        return true;
      }
      case TWON_ONEVALUE: {
        if (!c.Has(0, 2)) return TWAIN_ErrorBox(TooSmall(name())), false;
        if (!ItemTypesMatch(T, Peek<uint16_t>(c.p, 0))) return TWAIN_ErrorBox("ItemType Missmatch"), false;
        if (!c.Has(2, n)) return TWAIN_ErrorBox(TooSmall(name())), false;
        CurrentIndex = DefaultIndex = 0;
        add(c.p + 2);
        return true;
      }
      default: {
        char buf[160];
        std::snprintf(buf, sizeof buf, "ConType Missmatch %d (%s)", int(c.conType), name().c_str());
        TWAIN_ErrorBox(buf);
        return false;
      }
    }
  });
}

// ---- Typed accessors and named wrappers -----------------------------------------------------------

bool TScanner::TWAIN_GetCapBool(uint32_t Cap, bool Default) {
  uint32_t v = 0;
  if (!TWAIN_GetCapCurrent(Cap, TWTY_BOOL, &v)) return Default;
  return uint16_t(v) != 0;
}

bool TScanner::TWAIN_SetCapBool(uint32_t Cap, bool Value) {
  return TWAIN_SetCapOneValue(Cap, TWTY_BOOL, Value ? 1 : 0);
}

float TScanner::TWAIN_GetCapFix32(uint32_t Cap, float Default) {
  uint32_t v = 0;
  if (!TWAIN_GetCapCurrent(Cap, TWTY_FIX32, &v)) return Default;
  return Fix32ToSingle(Peek<TW_FIX32>(&v, 0));
}

int32_t TScanner::TWAIN_GetCapUint16(uint32_t Cap, int32_t Default) {
  uint32_t v = 0;
  if (!TWAIN_GetCapCurrent(Cap, TWTY_UINT16, &v)) return Default;
  return int32_t(uint16_t(v));
}

int32_t TScanner::TWAIN_GetCurrentUnits() { return TWAIN_GetCapUint16(ICAP_UNITS, TWUN_INCHES); }
bool TScanner::TWAIN_SetCurrentUnits(int32_t Value) {
  return TWAIN_SetCapOneValue(ICAP_UNITS, TWTY_UINT16, Value & 0xFFFF);
}
int32_t TScanner::TWAIN_GetPixelType() { return TWAIN_GetCapUint16(ICAP_PIXELTYPE, TWPT_RGB); }
bool TScanner::TWAIN_SetPixelType(int32_t Value) {
  return TWAIN_SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, Value & 0xFFFF);
}
int32_t TScanner::TWAIN_GetBitDepth() { return TWAIN_GetCapUint16(ICAP_BITDEPTH, 8); }
bool TScanner::TWAIN_SetBitDepth(int32_t Value) { return TWAIN_SetCapOneValue(ICAP_BITDEPTH, TWTY_UINT16, Value); }
bool TScanner::TWAIN_GetIndicators() { return TWAIN_GetCapBool(CAP_INDICATORS, true); }
bool TScanner::TWAIN_SetIndicators(bool Value) {
  return TWAIN_SetCapOneValue(CAP_INDICATORS, TWTY_BOOL, Value ? 1 : 0);
}

// ---- Image layout ---------------------------------------------------------------------------------

bool TScanner::TWAIN_SetImageLayout(float Left, float Top, float Right, float Bottom) {
  if (!TWAIN_CheckSourceOpen()) return false;
  TW_IMAGELAYOUT layout{};
  layout.Frame.Left = SingleToFix32(Left);
  layout.Frame.Top = SingleToFix32(Top);
  layout.Frame.Right = SingleToFix32(Right);
  layout.Frame.Bottom = SingleToFix32(Bottom);
  layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = TWON_DONTCARE32;
  if (!TWAIN_DS(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout)) {
    TWAIN_ErrorBox("Can not set Imagelayout");
    return false;
  }
  return true;
}

bool TScanner::TWAIN_GetImageLayout(float& Left, float& Top, float& Right, float& Bottom) {
  if (!TWAIN_CheckSourceOpen()) return false;
  TW_IMAGELAYOUT layout{};
  if (!TWAIN_DS(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout)) {
    TWAIN_ErrorBox("Can not get Imagelayout");
    return false;
  }
  Left = Fix32ToSingle(layout.Frame.Left);
  Top = Fix32ToSingle(layout.Frame.Top);
  Right = Fix32ToSingle(layout.Frame.Right);
  Bottom = Fix32ToSingle(layout.Frame.Bottom);
  if (Left < 0) Left = 0;
  if (Top < 0) Top = 0;
  if (Right < Left) Right = Left;
  if (Bottom < Top) Bottom = Top;
  return true;
}

}  // namespace korven
