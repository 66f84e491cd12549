#include "media_kind.h"

namespace vistamo::lens {

MediaKind mediaKindOf(const std::string& calibText) {
    if (calibText.rfind("6_", 0) == 0)
        return MediaKind::Twins;
    if (calibText.rfind("5_", 0) == 0)
        return MediaKind::Sphere;
    return MediaKind::Standard;
}

}  // namespace vistamo::lens
