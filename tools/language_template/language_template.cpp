// Prints the translation template (.pot) of the built-in language table; the
// build captures it as po/pixlane.pot in the build tree, and translators
// start or update po/LANG.po from it with msginit or msgmerge.
#include <cstdio>
#include <string>

#include "base/language.h"
#include "base/translations.h"

int main() {
    const std::string text =
        pixlane::catalogue_template(pixlane::kBuiltinLanguage, pixlane::kBuiltinLanguageSize);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0
               ? 0
               : 1;
}
