// TWAIN containers in global memory: writing the ones the source hands out (the application owns
// and frees them) and reading the one an application hands in, bounded by the block's GlobalSize.
#ifndef KORVEN_VIRTUAL_CONTAINERS_H
#define KORVEN_VIRTUAL_CONTAINERS_H

#include <korven/twainh.h>
#include <windows.h>

#include <vector>

namespace korven::virtualds {

// One capability's answer before it is put into a container: the natural container type and every
// value it may carry. Values are held as doubles (FIX32 values exactly, integers exactly).
struct CapValue {
  TW_UINT16 itemType = TWTY_UINT16;
  TW_UINT16 conType = TWON_ONEVALUE;  // TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE or TWON_ARRAY
  std::vector<double> items;          // ENUMERATION and ARRAY
  double min = 0, max = 0, step = 0;  // RANGE
  double current = 0, deflt = 0;
};

// Size in bytes of one item of the type; 0 for types this source never exchanges.
size_t ItemSize(TW_UINT16 itemType);

// Builds the container of type `conType` for the answer to `msg` (MSG_GET, MSG_GETCURRENT,
// MSG_GETDEFAULT or MSG_RESET) in a new global block. Returns 0 when no memory is left.
HGLOBAL WriteContainer(const CapValue& v, TW_UINT16 conType, TW_UINT16 msg);

// The value an application's MSG_SET container carries: the item of a one-value, the current item of
// an enumeration, the current value of a range. False (nothing read) when the handle is invalid, the
// type is not a readable container, or the block is shorter than what the container claims.
bool ReadSetValue(TW_HANDLE h, TW_UINT16 conType, TW_UINT16& itemType, double& value);

// Encodes a value into `out` (ItemSize bytes) / decodes it; FIX32 rounds to the nearest 1/65536.
void EncodeItem(TW_UINT16 itemType, double v, unsigned char* out);
double DecodeItem(TW_UINT16 itemType, const unsigned char* in);

TW_FIX32 ToFix32(double v);
double FromFix32(TW_FIX32 f);

}  // namespace korven::virtualds

#endif
