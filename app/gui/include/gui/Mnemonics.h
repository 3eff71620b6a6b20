#pragma once
// Keyboard access to the menus without touching their captions: the captions
// are the dictionary's keys, so no '&' is written into them. Each menu level
// (the menu bar, every menu) gets one letter per item, picked afresh from the
// captions shown now, so a language switch or an item added later gets its
// letters too. The letter is drawn underlined, Alt+letter opens a menu of the
// bar, a letter in an open menu chooses its item, F10 opens the first menu.

#include <QChar>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace gui {

// The position of the letter chosen in each caption of one menu level, -1
// where none is left. A caption that brings its own '&' letter keeps it
// (position -1, its letter counts as taken). Letters and digits of the basic
// Latin alphabet only, case-blind; the first letter of a word first, in the
// order of the captions.
QList<int> mnemonicPositions(const QStringList& captions);

// The items of a menu level that take part: visible, not separators, with a caption.
QList<QAction*> mnemonicItems(const QWidget* level);

// The letter (upper case) of `action` in menu level `level`; null when none.
QChar mnemonicOf(const QWidget* level, const QAction* action);

// `text` as the menu level draws it: the caption (up to a tab) with '&'
// before its letter, for the style; unchanged without one.
QString mnemonicShown(const QWidget* level, const QString& text);

// The keys: Alt+letter and F10 in `window`, letters in open menus. Menus
// added to the bar or to a menu later are served as well.
class MenuMnemonics : public QObject {
public:
    MenuMnemonics(QWidget* window, QMenuBar* bar);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void watch(QMenu* menu);
    void openBarMenu(QChar letter);
    QMenuBar* m_bar;
};

} // namespace gui
