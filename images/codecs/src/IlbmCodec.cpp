#include "OwnCodecs.h"

namespace pixkit::codec {

// Not written yet: every call reports failure.

bool looksLikeIlbm(Bytes /*data*/) { return false; }

bool decodeIlbm(Bytes /*data*/, dib& out) {
    out = dib{};
    return false;
}

bool encodeIlbm(const dib& /*image*/, std::vector<std::uint8_t>& out) {
    out.clear();
    return false;
}

} // namespace pixkit::codec
