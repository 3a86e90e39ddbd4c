// TWAIN containers in global memory, as a data source uses them: writing the ones the source hands
// out (the application owns and frees them) and reading the one an application hands in, bounded by
// the block's GlobalSize. Shared by korven's data sources.
#ifndef KORVEN_DS_CONTAINERS_H
#define KORVEN_DS_CONTAINERS_H

#include <korven/twainh.h>
#include <windows.h>

#include <vector>

namespace korven::ds {

// Ways a container may lie about itself (Distortion::lies), for sources that imitate broken ones.
constexpr unsigned kLieNumItems = 1;      // NumItems claims more items than the block holds
constexpr unsigned kLieCurrentIndex = 2;  // CurrentIndex is one past the last item
constexpr unsigned kLieDefaultIndex = 4;  // DefaultIndex is one past the last item
constexpr unsigned kLieShortBlock = 8;    // the block ends half-way through its last item

// One capability's answer before it is put into a container: the natural container type and every
// value it may carry. Values are held as doubles (FIX32 values exactly, integers exactly).
struct CapValue {
  TW_UINT16 itemType = TWTY_UINT16;
  TW_UINT16 conType = TWON_ONEVALUE;  // TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE or TWON_ARRAY
  std::vector<double> items;          // ENUMERATION and ARRAY
  double min = 0, max = 0, step = 0;  // RANGE
  double current = 0, deflt = 0;
};

// A one-value's and an enumeration's answer.
CapValue OneValue(TW_UINT16 itemType, double current, double deflt);
CapValue Enumeration(TW_UINT16 itemType, std::vector<double> items, double current, double deflt);

// Size in bytes of one item of the type; 0 for types this source never exchanges.
size_t ItemSize(TW_UINT16 itemType);

// How a knob bends a container away from what the capability would answer.
struct Distortion {
  TW_UINT16 enumItemType = 0;  // an enumeration carries its items as this TWTY_* (0: the capability's own)
  bool emptyEnumeration = false;  // an enumeration carries no items
  unsigned lies = 0;              // kLie* flags
};

// Builds the container of type `conType` for the answer to `msg` (MSG_GET, MSG_GETCURRENT,
// MSG_GETDEFAULT or MSG_RESET) in a new global block, bent as `d` asks. Returns 0 when no memory is
// left.
HGLOBAL WriteContainer(const CapValue& v, TW_UINT16 conType, TW_UINT16 msg, const Distortion& d = {});

// The value an application's MSG_SET container carries: the item of a one-value, the current item of
// an enumeration, the current value of a range. False (nothing read) when the handle is invalid, the
// type is not a readable container, or the block is shorter than what the container claims.
bool ReadSetValue(TW_HANDLE h, TW_UINT16 conType, TW_UINT16& itemType, double& value);

// Encodes a value into `out` (ItemSize bytes) / decodes it; FIX32 rounds to the nearest 1/65536.
void EncodeItem(TW_UINT16 itemType, double v, unsigned char* out);
double DecodeItem(TW_UINT16 itemType, const unsigned char* in);

// A value as an item of another type: BOOL is 0 or 1, UINT32 is rounded and at least 0, FIX32 keeps
// it; and a list of them without duplicates (BOOL always offers FALSE and TRUE).
double ConvertItem(double v, TW_UINT16 itemType);
std::vector<double> ConvertItems(const std::vector<double>& items, TW_UINT16 itemType);

TW_FIX32 ToFix32(double v);
double FromFix32(TW_FIX32 f);

// A TW_FRAME item (ICAP_FRAMES): a one-value container of it, and the frame an application's MSG_SET
// container carries (a one-value, or an enumeration's current item), read within GlobalSize.
HGLOBAL WriteFrameOneValue(const TW_FRAME& frame);
bool ReadSetFrame(TW_HANDLE h, TW_UINT16 conType, TW_FRAME& frame);

}  // namespace korven::ds

#endif
