#include "KelvoBase/Unreachable.h"
#include "KelvoShared/DistanceUnit.h"
#include "KelvoShared/Localization.h"

namespace kelvo {

std::string DistanceUnit::title() const {
  // The raw values written out, so xgettext finds them; the tests hold them
  // equal to rawValue().
  switch (case_) {
    case Case::kilometers:
      // TRANSLATORS: Name of the distance unit in the settings; keep the symbol "km".
      return L("Kilometers (km)");
    case Case::miles:
      // TRANSLATORS: Name of the distance unit in the settings; keep the symbol "mi".
      return L("Miles (mi)");
  }
  unreachable(__func__);
}

}  // namespace kelvo
