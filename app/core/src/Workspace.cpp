#include "app/Workspace.h"

namespace app {

Workspace::Workspace() = default;

Workspace::~Workspace() {
    pixkit::releasedib(di);
    pixkit::releasedib(di2);
    pixkit::releasedib(bi);
    pixkit::releasedib(bi2);
    pixkit::releasedib(di3);
}

} // namespace app
