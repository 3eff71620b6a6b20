#include "OwnCodecs.h"

namespace pixkit::codec {

// Not written yet: every call reports failure.

bool looksLikeTga(Bytes /*data*/) { return false; }

bool decodeTga(Bytes /*data*/, dib& out) {
    out = dib{};
    return false;
}

bool encodeTga(const dib& /*image*/, std::vector<std::uint8_t>& out) {
    out.clear();
    return false;
}

} // namespace pixkit::codec
