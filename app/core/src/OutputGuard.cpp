#include "app/OutputGuard.h"

#include "foundation/ReplaceFile.h"
#include "lines/WorldFile.h"

namespace app {

std::string replacedPhotograph(const std::string& output, bool worldFile,
                               const std::vector<std::string>& photographs) {
    std::vector<std::string> written{output};
    if (worldFile)
        for (const std::string& beside : lines::WorldFileNames(output))
            written.push_back(beside);
    for (const std::string& file : written)
        for (const std::string& photo : photographs)
            if (!photo.empty() && fp::sameFile(file, photo))
                return file;
    return {};
}

} // namespace app
