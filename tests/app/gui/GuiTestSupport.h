#pragma once
// Shared pieces of the main-window tests: a window whose file dialogs,
// error boxes and runs are answered by the test, and a fixture that gives
// every test its own configuration folder.

#include "gui/MessageBoxes.h"
#include "gui/TMainForm.h"

#include <QMessageBox>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

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

    using gui::TMainForm::render;

protected:
    rectify::RunEnd render(int slot) override {
        ++(slot == 1 ? runs1 : runs2);
        return realRuns ? gui::TMainForm::render(slot) : rectify::RunEnd::Held;
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

// A message box as the program built it, and the answers tests give.
struct ShownBox {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
    QString informativeText;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box of the program without showing it: records the
// box and returns the next queued answer (without one: Cancel, No or OK,
// whichever the box offers first).
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<ShownBox> boxes;
    std::vector<QMessageBox::StandardButton> answers;
};

// translate.dat as an independent reader sees it.
struct DictFile {
    bool ok = false;
    qint32 columns = 0;
    qint32 rows = 0;
    std::vector<QStringList> cells; // each row with `columns` cells
};
DictFile readDictFile(const QString& fileName);
// Writes a dictionary file with C = 20 and the given rows (missing cells empty).
void writeDictFile(const QString& fileName, const std::vector<QStringList>& rows);
// The dictionary the build generates beside the executable.
QString shippedDictionary();

// Every test gets an empty configuration folder for options.dat and the
// stored window values, and an empty program folder for translate.dat.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        ASSERT_TRUE(m_program.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("HOME", m_config.path().toUtf8());
        // QSettings remembers its folders; point it at this test's folder.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        gui::TMainForm::setProgramFile(m_program.path() + "/fassadenplan");
    }
    void TearDown() override { gui::TMainForm::setProgramFile(QString()); }

    QString configDir() const { return m_config.path(); }
    QString optionsFile() const { return m_config.path() + "/Velkor/Quadrix/options.dat"; }
    QString programDir() const { return m_program.path(); }
    QString dictionaryFile() const { return m_program.path() + "/translate.dat"; }
    // Writes options.dat holding `language`.
    void writeLanguage(int language);
    // Copies the shipped dictionary into the program folder.
    void installShippedDictionary();

    // A shown window, ready for mouse and key events.
    std::unique_ptr<TestForm> shownForm(QStringList params = {});

    BoxRecorder m_boxes;

private:
    QTemporaryDir m_config;
    QTemporaryDir m_program;
};

// The sample photographs.
QString samplePath(const char* name);

} // namespace guitest
