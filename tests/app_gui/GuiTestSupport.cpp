#include "GuiTestSupport.h"

#include <QApplication>
#include <QTest>

namespace guitest {

std::unique_ptr<TestForm> GuiTest::shownForm(QStringList params) {
    auto form = std::make_unique<TestForm>(std::move(params));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
    return form;
}

QString samplePath(const char* name) {
    return QString::fromUtf8(FP_TEST_DATA_DIR) + "/" + QString::fromUtf8(name);
}

} // namespace guitest

// The widgets need an application object for the whole test run.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
