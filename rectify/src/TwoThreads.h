#pragma once
// The machine has two cores; the search and the resampling split their work
// in two halves whose results are combined in loop order.

#include "foundation/TwoThreads.h"

namespace rectify::detail {

using fp::runBoth;

} // namespace rectify::detail
