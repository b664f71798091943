// Where the About box's parts lie on its picture. The box's client area is the picture ("splash", 388 x 332),
// and the OK button and the place of the version text keep the pixels the template gives them with the standard
// system font, whatever font the system has: the template's dialog units follow the font, and a smaller one
// (Wine's gives 7 x 13 base units) would shrink the box below its picture and put the button on the picture's
// caption, while the picture itself never scales.
#pragma once

#include "ui/geometry.h"

namespace skiff {

inline constexpr DialogRect kAboutOkButton{79, 147, 32, 14};   // control 1
inline constexpr DialogRect kAboutVersionPlace{112, 151, 76, 11};  // control 1007, hidden
inline constexpr char kVersionText[] = "v2.03 QUAYLINE/32";

struct AboutLayout {
  PixelRect okButton;      // client pixels
  PixelRect versionPlace;  // client pixels
};

// The layout for a version text that measures `versionText` in the font it is drawn with. The text is drawn
// right-aligned from the place's top: a font too big for the place grows it leftwards and upwards, no further
// than the picture's edge, so no letter is cut off.
AboutLayout aboutLayout(PixelSize versionText);

}  // namespace skiff
