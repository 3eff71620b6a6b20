#include "app/Translate.h"

#include "i18n/Dictionary.h"
#include "i18n/Messages.h"

#include <string>
#include <string_view>

namespace app {

namespace {

std::u16string_view view(const QString& text) {
    // QChar is one UTF-16 code unit: the same bytes as char16_t.
    return {reinterpret_cast<const char16_t*>(text.constData()),
            static_cast<std::size_t>(text.size())};
}

QString fromU16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString Translate(const QString& text) {
    if (text.isEmpty())
        return text;
    return fromU16(i18n::Translate(view(text)));
}

QString MessageText(int n) {
    return fromU16(i18n::MessageText(n));
}

} // namespace app
