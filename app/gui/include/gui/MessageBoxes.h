#pragma once
// The program's modal message boxes: the restart notice after a language
// change or an editing pass, the out-of-memory report of the record container,
// and Qt's own translations so that standard dialogs and message-box buttons
// speak the language of the windows.

#include <QMessageBox>

#include <functional>
#include <string>

class QWidget;

namespace gui {

// Shows `box` modally and returns the button pressed (a
// QMessageBox::StandardButton value). With a hook installed the hook answers
// instead and the box is never shown: tests inspect the real box that way.
int execMessageBox(QMessageBox& box);

// Replaces the modal run of every box shown through execMessageBox; an empty
// function restores the real modal boxes.
using MessageBoxHook = std::function<int(QMessageBox&)>;
void setMessageBoxHook(MessageBoxHook hook);

// The application's display name: the caption of boxes that have none.
QString defaultCaption();

// Message 2 as the text, message 3 as the caption, the information icon and
// an OK button. The texts are fetched now, so a language chosen just before
// already shows here when the dictionary has it.
void RestartNotice(QWidget* parent);

// An error box (error icon, the application's display name as caption, OK)
// with `text`; the record container reports its out-of-memory texts here.
void showOutOfMemory(const std::string& text);

// Routes the record container's out-of-memory texts into showOutOfMemory.
void installOutOfMemoryHandler();

// Loads Qt's own translations for the windows' language, by the language
// code of its dictionary column: German (0) loads qtbase_de, French (2)
// qtbase_fr, Dutch (3) qtbase_nl, a free column with the code pt_BR
// qtbase_pt_BR or else qtbase_pt; English and columns without a code leave
// Qt's English texts. A translation loaded by an earlier call is removed
// first. False when Qt ships no translation for the language (the dialogs
// then stay English).
bool installQtTranslations(int language);

} // namespace gui
