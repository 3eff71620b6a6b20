// Feeds arbitrary bytes to the reader of project files. Properties, beyond
// surviving: a refusal always says why; a project that is read is no absurd
// project, and written again (relative photo paths and all) it reads back
// as the same project, whose text is then written unchanged.

#include "app/Project.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = "/survey/facades/north.fassadenplan";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const app::ProjectRead read = app::parseProject(bytes, file);
    if (!read.project) {
        if (read.error == app::ProjectError::None)
            std::abort();
        return 0;
    }
    if (read.error != app::ProjectError::None || app::absurdValue(*read.project))
        std::abort();
    for (const auto& photo : read.project->photos)
        if (photo && (photo->path.empty() || photo->path.front() != '/'))
            std::abort();
    const std::string written = app::projectBytes(*read.project, file);
    const app::ProjectRead back = app::parseProject(written, file);
    if (!back.project || !(*back.project == *read.project))
        std::abort();
    if (app::projectBytes(*back.project, file) != written)
        std::abort();
    return 0;
}
