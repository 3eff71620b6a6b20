#pragma once
// Saving never replaces a photograph that is open: the output (and its world
// file and GDAL sidecar, when they are written beside it) is compared with the photographs'
// files as files, so a link or another spelling of the path is found too.

#include <string>
#include <vector>

namespace app {

// The first file a save of `output` would write (the output, then its world
// file and sidecar when `worldFile`) that is one of `photographs`; empty when none is.
std::string replacedPhotograph(const std::string& output, bool worldFile,
                               const std::vector<std::string>& photographs);

} // namespace app
