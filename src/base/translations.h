// Translations of the language table: gettext message catalogues, one per
// language, compiled to .mo files. Each entry of a catalogue is addressed by
// the context "Group|Key" and carries the English text as its message, so a
// translation is used only while the English text it was made from stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/language.h"

namespace pixlane {

// The `Language` setting: "auto" follows the environment, "en" is the
// built-in table, any other value names a catalogue.
inline constexpr std::string_view kAutomaticLanguage = "auto";
inline constexpr std::string_view kEnglishLanguage = "en";

// The catalogue file of a language below a locale folder.
inline constexpr std::string_view kCatalogueDomain = "pixlane";

// Compiled catalogue: original ("context" 0x04 "message") to translation.
using CatalogueEntries = std::unordered_map<std::string, std::string>;

// The gettext context of a table entry.
std::string catalogue_context(std::string_view group, std::string_view key);
// The original of a table entry as a compiled catalogue stores it.
std::string catalogue_original(std::string_view group, std::string_view key, std::string_view text);

// The entries of a compiled catalogue (either byte order); nullopt when the
// bytes are no catalogue or point outside themselves. The header entry (the
// empty original) is left out.
std::optional<CatalogueEntries> parse_catalogue(std::string_view bytes);

// The template (.pot) of the table: one entry per group and key, in table
// order; a key a group holds twice is written once.
std::string catalogue_template(const LanguagePair* pairs, std::size_t count);

// Loads `table` from the built-in pairs with every text the catalogue
// translates replaced (an empty translation keeps the English text).
void load_translated(LanguageTable& table, const CatalogueEntries& entries);

// The language code of a locale value ("de_DE.UTF-8" gives "de_DE");
// empty for "C", "POSIX" and the empty value.
std::string locale_language(std::string_view locale);

// The catalogue a `Language` setting selects among the installed `codes`:
// "auto" tries `locale` (as the environment names it) whole and then its
// language part ("pt_BR", then "pt"); English ("en") when none matches.
std::string resolve_language(std::string_view setting, std::string_view locale,
                             const std::vector<std::string>& codes);

// The locale folder: "locale/" beside the executable (a build tree), else
// "../share/locale/" from it (an installed program).
std::string locale_folder();
// The path of the catalogue of `code` below `folder`.
std::string catalogue_path(const std::string& folder, std::string_view code);

// English first, then every language with a readable catalogue below
// `folder`, sorted by code; each named by its entry Preferences/Language Name.
std::vector<LanguageChoice> installed_languages(const std::string& folder);

// Loads `table` in the language the setting selects (the environment's
// locale for "auto") from the catalogues below `folder`, and gives it the
// installed languages as its choices. English when the catalogue is missing
// or unreadable.
void load_language(LanguageTable& table, std::string_view setting, const std::string& folder);

} // namespace pixlane
