#include "ui/about_layout.h"

#include <algorithm>

namespace skiff {

AboutLayout aboutLayout(PixelSize versionText) {
  AboutLayout layout;
  layout.okButton = mapDialogUnits(kAboutOkButton, kStandardBaseUnitX, kStandardBaseUnitY);
  PixelRect place = mapDialogUnits(kAboutVersionPlace, kStandardBaseUnitX, kStandardBaseUnitY);
  place.left = std::max(0, std::min(place.left, place.right - versionText.width));
  place.top = std::max(0, std::min(place.top, place.bottom - versionText.height));
  layout.versionPlace = place;
  return layout;
}

}  // namespace skiff
