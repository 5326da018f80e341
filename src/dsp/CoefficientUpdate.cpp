// The cutoff limits, computed once when the library is loaded.
#include "CoefficientUpdate.h"

namespace vexa {

const float cutoffMin = static_cast<float>(detail::pitchToHz(detail::pitchFloor));
const float cutoffMax = static_cast<float>(detail::pitchToHz(detail::standardCeiling));
const float cutoffMaxAlt = static_cast<float>(detail::pitchToHz(detail::alternativeCeiling));

}  // namespace vexa
