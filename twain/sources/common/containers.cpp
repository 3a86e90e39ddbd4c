#include "containers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korven::ds {

namespace {

// Holds a block locked for the lifetime of the guard.
class Locked {
 public:
  explicit Locked(HGLOBAL h) : h_(h), p_(static_cast<unsigned char*>(GlobalLock(h))) {}
  ~Locked() {
    if (p_) GlobalUnlock(h_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  unsigned char* get() const { return p_; }

 private:
  HGLOBAL h_;
  unsigned char* p_;
};

void Put16(unsigned char* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t Get16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// An enumeration's items for a range, so that the override knob can hand a range out as a list. The
// current and default values join the grid when they lie off it.
std::vector<double> RangeItems(const CapValue& v) {
  std::vector<double> items;
  double step = v.step > 0 ? v.step : 1;
  double n = std::floor((v.max - v.min) / step + 1e-9) + 1;
  while (n > 4096) step *= 2, n = std::floor((v.max - v.min) / step + 1e-9) + 1;
  for (double i = 0; i < n; ++i) items.push_back(v.min + i * step);
  for (double extra : {v.current, v.deflt})
    if (std::none_of(items.begin(), items.end(), [&](double x) { return std::fabs(x - extra) < 1e-9; }))
      items.push_back(extra);
  std::sort(items.begin(), items.end());
  return items;
}

uint32_t IndexOf(const std::vector<double>& items, double x) {
  uint32_t best = 0;
  for (uint32_t i = 0; i < items.size(); ++i)
    if (std::fabs(items[i] - x) < std::fabs(items[best] - x)) best = i;
  return best;
}

}  // namespace

CapValue OneValue(TW_UINT16 itemType, double current, double deflt) {
  CapValue v;
  v.itemType = itemType;
  v.conType = TWON_ONEVALUE;
  v.current = current, v.deflt = deflt;
  return v;
}

CapValue Enumeration(TW_UINT16 itemType, std::vector<double> items, double current, double deflt) {
  CapValue v;
  v.itemType = itemType;
  v.conType = TWON_ENUMERATION;
  v.items = std::move(items);
  v.current = current, v.deflt = deflt;
  return v;
}

double ConvertItem(double v, TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_BOOL: return v != 0 ? 1 : 0;
    case TWTY_FIX32: return v;
    case TWTY_UINT32: return std::max(0.0, std::round(v));
    default: return std::round(v);
  }
}

std::vector<double> ConvertItems(const std::vector<double>& items, TW_UINT16 itemType) {
  // A boolean offers both truths, whatever the capability's own values are.
  if (itemType == TWTY_BOOL) return {0, 1};
  std::vector<double> out;
  for (double x : items) out.push_back(ConvertItem(x, itemType));
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

size_t ItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32: return 4;
    default: return 0;
  }
}

TW_FIX32 ToFix32(double v) {
  int32_t raw = static_cast<int32_t>(std::floor(v * 65536.0 + 0.5));
  TW_FIX32 f;
  f.Whole = static_cast<TW_INT16>(raw >> 16);
  f.Frac = static_cast<TW_UINT16>(raw & 0xFFFF);
  return f;
}

double FromFix32(TW_FIX32 f) { return f.Whole + f.Frac / 65536.0; }

void EncodeItem(TW_UINT16 itemType, double v, unsigned char* out) {
  switch (itemType) {
    case TWTY_INT8: out[0] = static_cast<unsigned char>(static_cast<int8_t>(v)); break;
    case TWTY_UINT8: out[0] = static_cast<unsigned char>(v); break;
    case TWTY_INT16: Put16(out, static_cast<uint16_t>(static_cast<int16_t>(v))); break;
    case TWTY_UINT16: Put16(out, static_cast<uint16_t>(v)); break;
    case TWTY_BOOL: Put16(out, v != 0 ? 1 : 0); break;
    case TWTY_INT32: Put32(out, static_cast<uint32_t>(static_cast<int32_t>(v))); break;
    case TWTY_UINT32: Put32(out, static_cast<uint32_t>(v)); break;
    case TWTY_FIX32: {
      TW_FIX32 f = ToFix32(v);
      std::memcpy(out, &f, 4);
      break;
    }
    default: break;
  }
}

double DecodeItem(TW_UINT16 itemType, const unsigned char* in) {
  switch (itemType) {
    case TWTY_INT8: return static_cast<int8_t>(in[0]);
    case TWTY_UINT8: return in[0];
    case TWTY_INT16: return static_cast<int16_t>(Get16(in));
    case TWTY_UINT16: return Get16(in);
    case TWTY_BOOL: return Get16(in) != 0 ? 1 : 0;
    case TWTY_INT32: return static_cast<int32_t>(Get32(in));
    case TWTY_UINT32: return Get32(in);
    case TWTY_FIX32: {
      TW_FIX32 f;
      std::memcpy(&f, in, 4);
      return FromFix32(f);
    }
    default: return 0;
  }
}

HGLOBAL WriteContainer(const CapValue& v, TW_UINT16 conType, TW_UINT16 msg, const Distortion& d) {
  TW_UINT16 itemType = v.itemType;
  double current = v.current, deflt = v.deflt;
  const double value = msg == MSG_GETDEFAULT ? v.deflt : v.current;

  // The list an enumeration or array shows, whatever the natural type. Only those containers (and a
  // range made from a list) read it: a range spelt out as a list is thousands of items, too many to
  // build for every one-value answer.
  const bool listed = conType == TWON_ENUMERATION || conType == TWON_ARRAY ||
                      (conType == TWON_RANGE && v.conType != TWON_RANGE);
  std::vector<double> items;
  if (listed) {
    if (v.conType == TWON_RANGE)
      items = RangeItems(v);
    else if (v.conType == TWON_ONEVALUE)
      items = v.deflt == v.current ? std::vector<double>{v.current}
                                   : std::vector<double>{std::min(v.current, v.deflt), std::max(v.current, v.deflt)};
    else
      items = v.items;
  }
  if (conType == TWON_ENUMERATION && d.enumItemType && d.enumItemType != itemType) {
    itemType = d.enumItemType;
    items = ConvertItems(items, itemType);
    current = ConvertItem(current, itemType);
    deflt = ConvertItem(deflt, itemType);
  }
  if (conType == TWON_ENUMERATION && d.emptyEnumeration) items.clear();
  const size_t isz = ItemSize(itemType);

  // Written into a buffer of the size the header implies; the block may then be shorter.
  size_t size = 0;
  switch (conType) {
    case TWON_ONEVALUE: size = 2 + isz; break;
    case TWON_RANGE: size = 22; break;
    case TWON_ENUMERATION: size = 14 + items.size() * isz; break;
    case TWON_ARRAY: size = 6 + items.size() * isz; break;
    default: return 0;
  }
  std::vector<unsigned char> buf(std::max<size_t>(size, 6), 0);
  unsigned char* p = buf.data();
  Put16(p, itemType);
  switch (conType) {
    case TWON_ONEVALUE: EncodeItem(itemType, value, p + 2); break;
    case TWON_RANGE: {
      double lo = v.min, hi = v.max, step = v.step;
      if (v.conType != TWON_RANGE) {
        lo = *std::min_element(items.begin(), items.end());
        hi = *std::max_element(items.begin(), items.end());
        step = 0;
        for (size_t i = 1; i < items.size(); ++i) {
          double gap = items[i] - items[i - 1];
          if (gap > 0 && (step == 0 || gap < step)) step = gap;
        }
        if (step == 0) step = 1;
      }
      EncodeItem(itemType, lo, p + 2);
      EncodeItem(itemType, hi, p + 6);
      EncodeItem(itemType, step, p + 10);
      EncodeItem(itemType, v.deflt, p + 14);
      EncodeItem(itemType, v.current, p + 18);
      break;
    }
    case TWON_ENUMERATION: {
      const uint32_t n = static_cast<uint32_t>(items.size());
      Put32(p + 2, d.lies & kLieNumItems ? n + 1000 : n);
      Put32(p + 6, d.lies & kLieCurrentIndex ? n : IndexOf(items, current));
      Put32(p + 10, d.lies & kLieDefaultIndex ? n : IndexOf(items, deflt));
      for (size_t i = 0; i < items.size(); ++i) EncodeItem(itemType, items[i], p + 14 + i * isz);
      break;
    }
    case TWON_ARRAY: {
      const uint32_t n = static_cast<uint32_t>(items.size());
      Put32(p + 2, d.lies & kLieNumItems ? n + 1000 : n);
      for (size_t i = 0; i < items.size(); ++i) EncodeItem(itemType, items[i], p + 6 + i * isz);
      break;
    }
  }
  // A one-value takes a whole TW_ONEVALUE (6 bytes) even for a shorter item; a short block ends
  // half-way through the last item (or one byte before the end of an empty list's header).
  size_t blockSize = conType == TWON_ONEVALUE ? std::max<size_t>(size, 6) : size;
  if (d.lies & kLieShortBlock) {
    const bool noItems = (conType == TWON_ENUMERATION || conType == TWON_ARRAY) && items.empty();
    blockSize = noItems ? size - 1 : size - (isz - isz / 2);
  }

  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, blockSize);
  if (!h) return 0;
  {
    Locked lock(h);
    if (!lock.get()) {
      GlobalFree(h);
      return 0;
    }
    std::memcpy(lock.get(), buf.data(), blockSize);
  }
  return h;
}

bool ReadSetValue(TW_HANDLE h, TW_UINT16 conType, TW_UINT16& itemType, double& value) {
  const size_t size = GlobalSize(h);
  if (size < 2) return false;
  Locked lock(h);
  const unsigned char* p = lock.get();
  if (!p) return false;
  itemType = Get16(p);
  const size_t isz = ItemSize(itemType);
  if (isz == 0) return false;
  switch (conType) {
    case TWON_ONEVALUE:
      if (size < 2 + isz) return false;
      value = DecodeItem(itemType, p + 2);
      return true;
    case TWON_RANGE:
      if (size < 22) return false;
      value = DecodeItem(itemType, p + 18);
      return true;
    case TWON_ENUMERATION: {
      if (size < 14) return false;
      const uint64_t n = Get32(p + 2), cur = Get32(p + 6);
      // The list must fit in the block as a whole, and the current item must be in the list.
      if (cur >= n || 14 + n * isz > size) return false;
      value = DecodeItem(itemType, p + 14 + cur * isz);
      return true;
    }
    default: return false;
  }
}

HGLOBAL WriteFrameOneValue(const TW_FRAME& frame) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 2 + sizeof(TW_FRAME));
  if (!h) return 0;
  Locked lock(h);
  if (!lock.get()) {
    GlobalFree(h);
    return 0;
  }
  Put16(lock.get(), TWTY_FRAME);
  std::memcpy(lock.get() + 2, &frame, sizeof frame);
  return h;
}

bool ReadSetFrame(TW_HANDLE h, TW_UINT16 conType, TW_FRAME& frame) {
  const size_t size = GlobalSize(h);
  if (size < 2) return false;
  Locked lock(h);
  const unsigned char* p = lock.get();
  if (!p || Get16(p) != TWTY_FRAME) return false;
  if (conType == TWON_ONEVALUE) {
    if (size < 2 + sizeof frame) return false;
    std::memcpy(&frame, p + 2, sizeof frame);
    return true;
  }
  if (conType != TWON_ENUMERATION || size < 14) return false;
  const uint64_t n = Get32(p + 2), cur = Get32(p + 6);
  if (cur >= n || 14 + n * sizeof frame > size) return false;
  std::memcpy(&frame, p + 14 + cur * sizeof frame, sizeof frame);
  return true;
}

}  // namespace korven::ds
