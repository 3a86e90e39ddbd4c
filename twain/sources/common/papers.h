// The paper sizes of ICAP_SUPPORTEDSIZES that korven's data sources know, in inches (portrait).
// Shared by korven's data sources.
#ifndef KORVEN_DS_PAPERS_H
#define KORVEN_DS_PAPERS_H

#include <korven/twainh.h>

#include <vector>

namespace korven::ds {

// TWSS_NONE, then every known size that fits a platen of that many inches (within 1/65536 inch).
std::vector<TW_UINT16> SizesThatFit(double platenWidth, double platenHeight);
// The size of a TWSS_* paper in inches; false for TWSS_NONE and sizes not known.
bool PaperSize(TW_UINT16 size, double& width, double& height);

}  // namespace korven::ds

#endif
