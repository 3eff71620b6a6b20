#pragma once
// The plain lookup kept next to the fast one: Translate with a linear search
// through the text's bucket from its first entry to its last. It gives the
// same results as Translate (the tests check this) and serves as the
// benchmark's reference.

#include <string>
#include <string_view>

namespace i18n {

std::u16string TranslateReference(std::u16string_view text);

} // namespace i18n
