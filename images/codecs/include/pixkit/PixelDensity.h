#pragma once
// The real scale a written picture carries in its resolution fields.

namespace pixkit {

// Pixels per centimetre of the real object, across and down. A value that is
// not positive means: not known (the picture gets no resolution of its own).
struct PixelDensity {
    double xPerCm = 0.0;
    double yPerCm = 0.0;
    bool known() const { return xPerCm > 0.0 && yPerCm > 0.0; }
};

} // namespace pixkit
