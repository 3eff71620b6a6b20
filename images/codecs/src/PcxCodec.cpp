#include "OwnCodecs.h"

namespace pixkit::codec {

// Not written yet: every call reports failure.

bool looksLikePcx(Bytes /*data*/) { return false; }

bool decodePcx(Bytes /*data*/, dib& out) {
    out = dib{};
    return false;
}

bool encodePcx(const dib& /*image*/, std::vector<std::uint8_t>& out) {
    out.clear();
    return false;
}

} // namespace pixkit::codec
