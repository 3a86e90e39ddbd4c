// The capabilities the virtual scanner answers: what each one offers for a connection's settings,
// and how a MSG_SET or MSG_RESET changes those settings. Sequence checks and the containers' memory
// live elsewhere (connection.cpp, containers.cpp); this layer only knows values.
#ifndef KORVEN_VIRTUAL_CAPABILITIES_H
#define KORVEN_VIRTUAL_CAPABILITIES_H

#include "containers.h"
#include "papers.h"
#include "settings.h"

#include <vector>

namespace korven::virtualds {

struct Outcome {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
};

// Every capability the device answers, in ascending order (the CAP_SUPPORTEDCAPS list).
std::vector<TW_UINT16> SupportedCaps(const Config& c);

bool IsSupported(const Config& c, TW_UINT16 cap);

// Fills `out` with the capability's answer under the current settings; false for a capability the
// device does not have.
bool DescribeCap(const Config& c, const Settings& s, TW_UINT16 cap, CapValue& out);

// Applies an application's value. Out-of-range values are clamped (TWRC_CHECKSTATUS), values off a
// whole-number step are rounded to it (TWRC_CHECKSTATUS), values not offered fail with TWCC_BADVALUE,
// read-only capabilities fail with TWCC_CAPBADOPERATION.
Outcome SetCap(const Config& c, Settings& s, TW_UINT16 cap, TW_UINT16 itemType, double value);

// Puts the capability back to its default.
void ResetCap(const Config& c, Settings& s, TW_UINT16 cap);

// The paper sizes of ICAP_SUPPORTEDSIZES that fit on the platen, TWSS_NONE first; and their size.
std::vector<TW_UINT16> SupportedSizes(const Config& c);
using ds::PaperSize;

}  // namespace korven::virtualds

#endif
