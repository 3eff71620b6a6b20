#include "OwnCodecs.h"

namespace pixkit::codec {

// Not written yet: every call reports failure.

bool looksLikeBmp(Bytes /*data*/) { return false; }

bool decodeBmp(Bytes /*data*/, dib& out) {
    out = dib{};
    return false;
}

bool encodeBmp(const dib& /*image*/, bool /*rle*/, std::vector<std::uint8_t>& out) {
    out.clear();
    return false;
}

} // namespace pixkit::codec
