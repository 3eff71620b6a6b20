#include "i18n/Messages.h"

#include "i18n/Dictionary.h"

namespace i18n {

const MessageEntry MessageTable[5] = {
    {1, u"Konte die folgende Datei nicht öffnen: "},
    {2, u"Bitte schließen Sie das Program und starten Sie es neu."},
    {3, u"Übersetzen"},
    {8, u"Fehler: Nicht genügent Speicher für diese Aktion!"},
    {9, u"Konnte folgende Datei nicht erstellen:"},
};

std::u16string MessageText(int n) {
    for (const MessageEntry& m : MessageTable)
        if (m.number == n)
            return Translate(m.text);
    return {};
}

void RegisterMessages() {
    for (const MessageEntry& m : MessageTable)
        Translate(m.text);
}

} // namespace i18n
