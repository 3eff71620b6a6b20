#pragma once
// Shared pieces of the main-window tests: a window whose file dialogs,
// error boxes and runs are answered by the test, and a fixture that gives
// every test its own configuration folder.

#include "gui/TMainForm.h"

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace guitest {

class TestForm : public gui::TMainForm {
public:
    using gui::TMainForm::TMainForm;

    int runs1 = 0;
    int runs2 = 0;
    bool realRuns = false; // false: count the runs only
    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList dxfAnswers; // SaveDialog2
    QStringList errors;

    using gui::TMainForm::runSlot;

protected:
    rectify::RunEnd runSlot(int slot) override {
        ++(slot == 1 ? runs1 : runs2);
        return realRuns ? gui::TMainForm::runSlot(slot) : rectify::RunEnd::Held;
    }
    QString chooseOpenFile() override {
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString chooseSaveFile() override {
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void reportError(const QString& text) override { errors << text; }
    QString chooseDxfFile() override {
        return dxfAnswers.isEmpty() ? QString() : dxfAnswers.takeFirst();
    }
};

// Every test gets an empty configuration folder for options.dat and the
// stored window values.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("HOME", m_config.path().toUtf8());
        // QSettings remembers its folders; point it at this test's folder.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    }

    QString configDir() const { return m_config.path(); }
    QString optionsFile() const { return m_config.path() + "/Velkor/Quadrix/options.dat"; }

    // A shown window, ready for mouse and key events.
    std::unique_ptr<TestForm> shownForm(QStringList params = {});

private:
    QTemporaryDir m_config;
};

// The sample photographs.
QString samplePath(const char* name);

} // namespace guitest
