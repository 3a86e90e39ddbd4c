// The virtual scanner's configuration: the device it pretends to be and the knobs that make it
// misbehave as real sources do. Read from <name>.ini beside <name>.ds; every key is optional.
#ifndef KORVEN_VIRTUAL_CONFIG_H
#define KORVEN_VIRTUAL_CONFIG_H

#include "containers.h"

#include <korven/twainh.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace korven::virtualds {

enum class TransferResult { XferDone, Cancel, Failure };
enum class DibHeader { Info, Core };
enum class LayoutRefusal { None, Get, Set, All };

// The containers of korven's data sources (twain/sources/common).
using ds::CapValue;
using ds::ConvertItem;
using ds::ConvertItems;
using ds::DecodeItem;
using ds::Distortion;
using ds::EncodeItem;
using ds::FromFix32;
using ds::ItemSize;
using ds::ReadSetValue;
using ds::ToFix32;
using ds::WriteContainer;

// Lies a capability container may tell about itself (bit flags, several may apply at once).
using ds::kLieCurrentIndex;
using ds::kLieDefaultIndex;
using ds::kLieNumItems;
using ds::kLieShortBlock;

struct Config {
  // Identity.
  std::string productName = "Virtual Scanner";
  std::string manufacturer = "korven";
  std::string productFamily = "Virtual Flatbed";
  TW_UINT16 versionMajor = 1, versionMinor = 0;
  std::string versionInfo = "korven virtual scanner";
  TW_UINT16 language = 2;  // TWLG_ENGLISH
  TW_UINT16 country = 1;   // TWCY_USA

  // Device, lengths in inches, resolutions in dots per inch.
  double platenWidth = 8.8, platenHeight = 12.0;
  double nativeXResolution = 600, nativeYResolution = 600;
  // Either a list (answered as an enumeration) or a range min..max/step.
  bool resolutionIsList = false;
  std::vector<double> resolutionList;  // sorted, used when resolutionIsList
  double resolutionMin = 50, resolutionMax = 1200, resolutionStep = 1;
  double defaultResolution = 300;
  bool feeder = true;
  int pagesLoaded = 3;
  int maxConnections = 4;
  uint64_t maxImageBytes = uint64_t(1) << 30;

  // Knobs.
  std::set<TW_UINT16> refuseGet, refuseSet, unsupported;
  std::map<TW_UINT16, TW_UINT16> containerOverride;  // capability -> TWON_*
  std::map<TW_UINT16, unsigned> containerLies;       // capability -> kLie* flags
  std::set<TW_UINT16> emptyEnumeration;              // gets answer an enumeration without items
  std::map<TW_UINT16, TW_UINT16> enumerationType;    // capability -> TWTY_* of a forced enumeration
  std::set<TW_UINT16> failWithContainer;             // gets fail but still hand out a container
  std::set<TW_UINT16> defaultAsRange;                // MSG_GETDEFAULT answers a range
  bool enableCheckStatus = false;
  bool refuseImageInfo = false;
  TransferResult transferResult = TransferResult::XferDone;
  uint32_t imagesPerScan = 1;
  bool unknownCount = false;
  DibHeader dibHeader = DibHeader::Info;
  bool shortColorTable = false;
  bool zeroSizeImage = false;
  bool truncateDib = false;
  bool refuseEndXfer = false;
  uint32_t refuseEndXferCount = 0;  // refuse only the first n of a connection; 0: every one
  uint32_t refuseEndXferAt = 0;     // refuse only the n-th MSG_ENDXFER of a connection; 0: off
  uint32_t refuseEnableAfter = 0;   // after n enables of a connection every MSG_ENABLEDS fails; 0: off
  // Hangs, as a stuck device causes them: announce late or never, deliver slowly, go silent.
  int64_t announceAfterMs = 0;      // images are announced this long after the enable or Scan; -1: never
  uint32_t deliverDelayMs = 0;      // each native transfer takes this long
  uint32_t stopAnsweringAfter = 0;  // after n images of an enable the source goes silent; 0: off
  uint32_t closeAfter = 0;  // 0: never
  bool closeWhenDone = false;  // without the dialog, ask to be closed once nothing is pending
  bool refuseNative = false;
  LayoutRefusal refuseLayout = LayoutRefusal::None;
  bool physicalSize = true;
};

// Parses the configuration text; problems (unknown keys, bad values) are appended to `warnings`
// and the affected key keeps its default.
Config ParseConfig(const std::string& text, std::vector<std::string>& warnings);

// A capability's number from its standard name ("ICAP_GAMMA") or a number ("0x1108", "4360");
// 0 when unknown.
TW_UINT16 CapabilityFromName(const std::string& name);
const char* CapabilityName(TW_UINT16 cap);

}  // namespace korven::virtualds

#endif
