// Where a project file keeps its photographs: below its own folder they are
// kept relative, so a survey folder can be moved or copied as a whole, and
// read back they are absolute paths on the disk again.

#include "app/Project.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string ProjectFile = "/survey/facades/north.fassadenplan";

TEST(ProjectPaths, StoredPathsReadBackAsTheSameAbsolutePhotographs) {
    struct Case {
        std::string photo;
        std::string stored;
    };
    const Case cases[] = {
        {"/survey/facades/left12.jpg", "left12.jpg"},
        {"/survey/facades/day 2/ost.jpg", "day 2/ost.jpg"},
        {"/survey/left12.jpg", "/survey/left12.jpg"},
        {"/survey/facadesX/a.jpg", "/survey/facadesX/a.jpg"},
        // A leading ':' is part of the file's name, not a built-in resource.
        {"/survey/facades/:north.jpg", ":north.jpg"},
        {"/survey/facades/:./a.jpg", ":./a.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo);
        EXPECT_EQ(app::storedPhotoPath(c.photo, ProjectFile), c.stored);
        EXPECT_EQ(app::resolvedPhotoPath(c.stored, ProjectFile), c.photo);
    }
    // Hand-written files may climb out of the project's folder.
    EXPECT_EQ(app::resolvedPhotoPath("../old/./b.jpg", ProjectFile), "/survey/old/b.jpg");
    EXPECT_EQ(app::resolvedPhotoPath(":/b.jpg", ProjectFile), "/survey/facades/:/b.jpg");
}

} // namespace
