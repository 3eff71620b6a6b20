#include "gui/Mnemonics.h"

#include <QAction>
#include <QActionEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

#include <array>

namespace gui {

namespace {

constexpr int LetterCount = 26 + 10;

// The index of a letter or digit of the basic Latin alphabet, case-blind; -1
// for anything else.
int letterIndex(QChar c) {
    const char16_t u = c.toUpper().unicode();
    if (u >= u'A' && u <= u'Z')
        return u - u'A';
    if (u >= u'0' && u <= u'9')
        return 26 + (u - u'0');
    return -1;
}

// The position of the letter after a caption's own single '&'; -1 without one.
int ownMnemonic(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&')
            continue;
        if (caption[i + 1] == u'&') {
            ++i; // "&&" is a plain ampersand
            continue;
        }
        return static_cast<int>(i + 1);
    }
    return -1;
}

} // namespace

QList<int> mnemonicPositions(const QStringList& captions) {
    QList<int> positions(captions.size(), -1);
    std::array<bool, LetterCount> taken{};
    QList<bool> own(captions.size(), false);
    for (qsizetype k = 0; k < captions.size(); ++k) {
        const int at = ownMnemonic(captions[k]);
        if (at < 0)
            continue;
        own[k] = true;
        if (const int l = letterIndex(captions[k][at]); l >= 0)
            taken[static_cast<std::size_t>(l)] = true;
    }
    for (qsizetype k = 0; k < captions.size(); ++k) {
        if (own[k])
            continue;
        const QString& t = captions[k];
        // First the first letters of the words, then any letter.
        for (int pass = 0; pass < 2 && positions[k] < 0; ++pass)
            for (qsizetype i = 0; i < t.size(); ++i) {
                const bool wordStart = i == 0 || !t[i - 1].isLetterOrNumber();
                if (pass == 0 && !wordStart)
                    continue;
                const int l = letterIndex(t[i]);
                if (l < 0 || taken[static_cast<std::size_t>(l)])
                    continue;
                taken[static_cast<std::size_t>(l)] = true;
                positions[k] = static_cast<int>(i);
                break;
            }
    }
    return positions;
}

QList<QAction*> mnemonicItems(const QWidget* level) {
    QList<QAction*> items;
    if (level == nullptr)
        return items;
    for (QAction* a : level->actions())
        if (!a->isSeparator() && a->isVisible() && !a->text().isEmpty())
            items << a;
    return items;
}

QChar mnemonicOf(const QWidget* level, const QAction* action) {
    const QList<QAction*> items = mnemonicItems(level);
    QStringList captions;
    for (const QAction* a : items)
        captions << a->text();
    const QList<int> positions = mnemonicPositions(captions);
    const qsizetype k = items.indexOf(action);
    if (k < 0)
        return {};
    const int own = ownMnemonic(captions[k]);
    const int at = own >= 0 ? own : positions[k];
    if (at < 0 || letterIndex(captions[k][at]) < 0)
        return {};
    return captions[k][at].toUpper();
}

QString mnemonicShown(const QWidget* level, const QString& text) {
    const qsizetype tab = text.indexOf(u'\t');
    const QString caption = tab < 0 ? text : text.left(tab);
    const QList<QAction*> items = mnemonicItems(level);
    QStringList captions;
    for (const QAction* a : items)
        captions << a->text();
    const qsizetype k = captions.indexOf(caption);
    if (k < 0 || ownMnemonic(caption) >= 0)
        return text;
    const int at = mnemonicPositions(captions)[k];
    if (at < 0)
        return text;
    QString shown = text;
    shown.insert(at, u'&');
    return shown;
}

MenuMnemonics::MenuMnemonics(QWidget* window, QMenuBar* bar) : QObject(window), m_bar(bar) {
    for (int l = 0; l < LetterCount; ++l) {
        const int key = l < 26 ? Qt::Key_A + l : Qt::Key_0 + (l - 26);
        const QChar letter = l < 26 ? QChar(u'A' + l) : QChar(u'0' + (l - 26));
        auto* s = new QShortcut(QKeySequence(Qt::ALT | key), window);
        connect(s, &QShortcut::activated, this, [this, letter] { openBarMenu(letter); });
    }
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    connect(f10, &QShortcut::activated, this, [this] {
        const QList<QAction*> items = mnemonicItems(m_bar);
        if (!items.isEmpty())
            m_bar->setActiveAction(items.front());
    });
    bar->installEventFilter(this);
    for (QAction* a : bar->actions())
        if (QMenu* m = QMenu::menuInAction(a))
            watch(m);
}

void MenuMnemonics::watch(QMenu* menu) {
    menu->installEventFilter(this);
    for (QAction* a : menu->actions())
        if (QMenu* sub = QMenu::menuInAction(a))
            watch(sub);
}

void MenuMnemonics::openBarMenu(QChar letter) {
    for (QAction* a : mnemonicItems(m_bar))
        if (a->isEnabled() && mnemonicOf(m_bar, a) == letter) {
            m_bar->setActiveAction(a);
            return;
        }
}

bool MenuMnemonics::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::ActionAdded) {
        // A menu added later (to the bar or as a submenu) is served too.
        if (QMenu* m = QMenu::menuInAction(static_cast<QActionEvent*>(e)->action()))
            watch(m);
        return false;
    }
    auto* menu = qobject_cast<QMenu*>(watched);
    if (menu == nullptr || e->type() != QEvent::KeyPress)
        return false;
    const auto* ke = static_cast<const QKeyEvent*>(e);
    if ((ke->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) || ke->text().size() != 1)
        return false;
    const QChar letter = ke->text()[0].toUpper();
    if (letterIndex(letter) < 0)
        return false;
    for (QAction* a : mnemonicItems(menu)) {
        if (mnemonicOf(menu, a) != letter)
            continue;
        if (a->isEnabled()) {
            // As if the item were chosen with the arrow keys and Enter: a
            // submenu opens, a command runs and the menus close.
            menu->setActiveAction(a);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(menu, &enter);
        }
        return true;
    }
    return false;
}

} // namespace gui
