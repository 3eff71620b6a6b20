// The further languages of the menu "Sprache": every column of the
// dictionary beyond German and English that a translator has filled in.

#include "app/PoCommand.h"
#include "gui/MessageBoxes.h"
#include "gui/TMainForm.h"
#include "i18n/Dictionary.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace gui {

void TMainForm::buildLanguageItems() {
    for (QAction* a : LanguageItems) {
        LanguageGroup->removeAction(a);
        Spracge1->removeAction(a);
        delete a;
    }
    LanguageItems.clear();
    for (int c = 2; c < i18n::DictColumns; ++c) {
        if (!i18n::ColumnHasTranslations(c))
            continue;
        // Owned by the window, so the window translation finds it.
        auto* a = new QAction(app::columnName(c), this);
        a->setObjectName(QStringLiteral("Language%1").arg(c));
        a->setCheckable(true);
        LanguageGroup->addAction(a);
        Spracge1->insertAction(N4, a);
        connect(a, &QAction::triggered, this, [this, c] { LanguageItemClick(c); });
        LanguageItems << a;
    }
    if (QAction* a = languageItem(language)) {
        dontchlang = true;
        a->setChecked(true);
        dontchlang = false;
    }
}

QAction* TMainForm::languageItem(int column) const {
    const QString name = QStringLiteral("Language%1").arg(column);
    for (QAction* a : LanguageItems)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void TMainForm::LanguageItemClick(int column) {
    if (dontchlang)
        return;
    if (QAction* a = languageItem(column))
        a->setChecked(true);
    language = column;
    SaveOptions(); // kept at once, whichever way the program ends
    RestartNotice(this);
}

} // namespace gui
