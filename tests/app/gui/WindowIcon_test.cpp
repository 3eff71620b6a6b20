// The program's icon: every size of the icon theme comes from the rendered
// PNGs, and the main window and its dialogs show it once the application is
// prepared as the interactive start prepares it.

#include "gui/InteractiveStart.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "gui/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace {

const int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString dataFile(const QString& rel) {
    return QString::fromUtf8(FP_DATA_DIR) + QLatin1Char('/') + rel;
}

// Premultiplied, as pixmaps hold them, so that both sides round alike.
QImage pixelsOf(const QImage& img) {
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
QImage pixelsOf(const QIcon& icon, int size) {
    return pixelsOf(icon.pixmap(QSize(size, size)).toImage());
}

// Number of pixels in which two pictures of one size differ; -1 for sizes.
int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

// The icon a shown top-level window hands to the window system.
QImage shownIcon(QWidget* w, int size) {
    if (w->windowHandle() == nullptr)
        return QImage();
    return pixelsOf(w->windowHandle()->icon(), size);
}

TEST(WindowIcon, EverySizeIsTheRenderedPng) {
    const QIcon icon = gui::applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : IconSizes) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage png(dataFile(QStringLiteral("icons/png/fassadenplan-%1.png").arg(size)));
        ASSERT_FALSE(png.isNull());
        ASSERT_EQ(png.size(), QSize(size, size));
        EXPECT_EQ(differingPixels(pixelsOf(icon, size), pixelsOf(png)), 0);
    }
}

TEST(WindowIcon, HasTransparentCornersAndAnOpaqueFacade) {
    const QImage img = pixelsOf(gui::applicationIcon(), 256);
    ASSERT_EQ(img.size(), QSize(256, 256));
    EXPECT_EQ(qAlpha(img.pixel(255, 0)), 0);     // above the upright facade's roof
    EXPECT_EQ(qAlpha(img.pixel(170, 150)), 255); // on the upright facade
}

class PreparedApplication : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("HOME", m_config.path().toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        // translate.dat goes into a folder of the test's own.
        ASSERT_TRUE(m_program.isValid());
        gui::TMainForm::setProgramFile(m_program.path() + "/fassadenplan");
        gui::prepareApplication();
    }
    void TearDown() override {
        QApplication::setWindowIcon(QIcon());
        gui::TMainForm::setProgramFile(QString());
    }

    // Triggers `action`, which opens a modal dialog, and hands the dialog to
    // `inspect` while it is shown; then closes it.
    static void whileModal(QAction* action, const std::function<void(QWidget*)>& inspect) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr)
                return;
            seen = true;
            inspect(modal);
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        action->trigger();
        EXPECT_TRUE(seen) << action->objectName().toStdString() << " showed no dialog";
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_program;
};

TEST_F(PreparedApplication, BelongsToTheDesktopEntry) {
    const QString entry = QGuiApplication::desktopFileName();
    EXPECT_EQ(entry, QStringLiteral("fassadenplan"));
    EXPECT_TRUE(QFileInfo::exists(dataFile(entry + QStringLiteral(".desktop"))));
}

TEST_F(PreparedApplication, MainWindowShowsTheIcon) {
    gui::TMainForm form{QStringList()};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QImage expected = pixelsOf(gui::applicationIcon(), 32);
    EXPECT_EQ(differingPixels(pixelsOf(form.windowIcon(), 32), expected), 0);
    EXPECT_EQ(differingPixels(shownIcon(&form, 32), expected), 0);
}

TEST_F(PreparedApplication, DialogsOfTheMenuShowTheIcon) {
    gui::TMainForm form{QStringList()};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QImage expected = pixelsOf(gui::applicationIcon(), 32);
    whileModal(form.ber1, [&](QWidget* dialog) {
        EXPECT_EQ(dialog, form.AboutBox);
        EXPECT_EQ(differingPixels(shownIcon(dialog, 32), expected), 0);
    });
    whileModal(form.JPEGQualitteinstellen1, [&](QWidget* dialog) {
        EXPECT_EQ(dialog, form.JPEGQualForm);
        EXPECT_EQ(differingPixels(shownIcon(dialog, 32), expected), 0);
    });
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
