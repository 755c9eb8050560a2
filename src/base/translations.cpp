#include "base/translations.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {
namespace {

// A compiled catalogue larger than this is no catalogue of this table.
constexpr std::int64_t kMaxCatalogueBytes = 8 << 20;

// A string literal of a .po file, escaped as gettext reads it.
std::string po_string(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

bool is_key(const LanguagePair& pair, std::string_view upper) {
    return to_upper(pair.key) == upper;
}

// Walks the entries of the built-in pairs with the group each belongs to.
template <typename Visit>
void for_each_entry(const LanguagePair* pairs, std::size_t count, Visit visit) {
    std::string group;
    for (std::size_t i = 0; i < count; ++i) {
        if (is_key(pairs[i], "_END_")) {
            break;
        }
        if (is_key(pairs[i], "_GROUP_")) {
            group = pairs[i].text;
        } else if (!group.empty()) {
            visit(group, pairs[i]);
        }
    }
}

} // namespace

std::string catalogue_context(std::string_view group, std::string_view key) {
    std::string context(group);
    context += '|';
    context += key;
    return context;
}

std::string catalogue_original(std::string_view group, std::string_view key,
                               std::string_view text) {
    std::string original = catalogue_context(group, key);
    original += '\x04';
    original += text;
    return original;
}

std::optional<CatalogueEntries> parse_catalogue(std::string_view bytes) {
    if (bytes.size() < 20) {
        return std::nullopt;
    }
    const auto byte = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]));
    };
    const auto little = [&](std::size_t at) {
        return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    };
    const auto big = [&](std::size_t at) {
        return byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    };
    bool swapped = false;
    if (little(0) == 0x950412deU) {
        swapped = false;
    } else if (big(0) == 0x950412deU) {
        swapped = true;
    } else {
        return std::nullopt;
    }
    const auto word = [&](std::size_t at) { return swapped ? big(at) : little(at); };
    if (word(4) >> 16 != 0) { // major revision 0 is the only one there is
        return std::nullopt;
    }
    const std::uint64_t n = word(8);
    const std::uint64_t originals = word(12);
    const std::uint64_t translations = word(16);
    if (originals + n * 8 > bytes.size() || translations + n * 8 > bytes.size()) {
        return std::nullopt;
    }
    // The string a table entry (length, offset) points at, which must be
    // followed by its terminating zero inside the file.
    const auto text_at = [&](std::uint64_t entry) -> std::optional<std::string_view> {
        const std::uint64_t length = word(entry);
        const std::uint64_t offset = word(entry + 4);
        if (offset + length >= bytes.size()) {
            return std::nullopt;
        }
        return bytes.substr(offset, length);
    };
    CatalogueEntries entries;
    for (std::uint64_t i = 0; i < n; ++i) {
        const auto original = text_at(originals + i * 8);
        const auto translation = text_at(translations + i * 8);
        if (!original || !translation) {
            return std::nullopt;
        }
        if (!original->empty()) {
            entries.emplace(std::string(*original), std::string(*translation));
        }
    }
    return entries;
}

std::string catalogue_template(const LanguagePair* pairs, std::size_t count) {
    std::string out =
        "# Texts of the Pixlane window, written by the build from its language table.\n"
        "# Each context is the text's group and key.\n"
        "msgid \"\"\n"
        "msgstr \"\"\n"
        "\"Project-Id-Version: Pixlane\\n\"\n"
        "\"MIME-Version: 1.0\\n\"\n"
        "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
        "\"Content-Transfer-Encoding: 8bit\\n\"\n";
    std::set<std::string> written; // upper case: lookups ignore case
    for_each_entry(pairs, count, [&](const std::string& group, const LanguagePair& pair) {
        if (!written.insert(to_upper(catalogue_context(group, pair.key))).second) {
            return;
        }
        out += "\nmsgctxt " + po_string(catalogue_context(group, pair.key)) + "\n";
        out += "msgid " + po_string(pair.text) + "\n";
        out += "msgstr \"\"\n";
    });
    return out;
}

void load_translated(LanguageTable& table, const CatalogueEntries& entries) {
    std::vector<std::string> texts;
    texts.reserve(kBuiltinLanguageSize);
    for (std::size_t i = 0; i < kBuiltinLanguageSize; ++i) {
        texts.emplace_back(kBuiltinLanguage[i].text);
    }
    std::size_t index = 0;
    std::string group;
    for (; index < kBuiltinLanguageSize; ++index) {
        const LanguagePair& pair = kBuiltinLanguage[index];
        if (is_key(pair, "_END_")) {
            break;
        }
        if (is_key(pair, "_GROUP_")) {
            group = pair.text;
            continue;
        }
        const auto found = entries.find(catalogue_original(group, pair.key, pair.text));
        if (found != entries.end() && !found->second.empty()) {
            texts[index] = found->second;
        }
    }
    std::vector<LanguagePair> pairs;
    pairs.reserve(kBuiltinLanguageSize);
    for (std::size_t i = 0; i < kBuiltinLanguageSize; ++i) {
        pairs.push_back({kBuiltinLanguage[i].key, texts[i].c_str()});
    }
    table.load(pairs.data(), pairs.size());
}

std::string locale_language(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX") {
        return {};
    }
    return std::string(locale);
}

std::string resolve_language(std::string_view setting, std::string_view locale,
                             const std::vector<std::string>& codes) {
    const auto installed = [&](std::string_view code) {
        return !code.empty() && std::find(codes.begin(), codes.end(), code) != codes.end();
    };
    if (setting != kAutomaticLanguage) {
        return installed(setting) ? std::string(setting) : std::string(kEnglishLanguage);
    }
    const std::string whole = locale_language(locale);
    if (installed(whole)) {
        return whole;
    }
    const std::string language = whole.substr(0, whole.find('_'));
    return installed(language) ? language : std::string(kEnglishLanguage);
}

std::string locale_folder() {
    const std::string beside = platform::program_folder() + "locale/";
    if (platform::is_folder(beside)) {
        return beside;
    }
    return platform::program_folder() + "../share/locale/";
}

std::string catalogue_path(const std::string& folder, std::string_view code) {
    return platform::join(platform::join(platform::join(folder, code), "LC_MESSAGES"),
                          std::string(kCatalogueDomain) + ".mo");
}

namespace {

std::optional<CatalogueEntries> read_catalogue(const std::string& folder, std::string_view code) {
    const auto bytes = platform::read_plain_file(catalogue_path(folder, code), kMaxCatalogueBytes);
    return bytes ? parse_catalogue(*bytes) : std::nullopt;
}

// The text of Preferences/Language Name: the English name and its original.
const std::string& builtin_name() {
    static const std::string name = [] {
        LanguageTable english;
        english.load_builtin();
        return english.text("Preferences", "Language Name");
    }();
    return name;
}

} // namespace

std::vector<LanguageChoice> installed_languages(const std::string& folder) {
    std::vector<LanguageChoice> choices{{std::string(kEnglishLanguage), builtin_name()}};
    const std::string original = catalogue_original("Preferences", "Language Name", builtin_name());
    for (const platform::FolderEntry& entry : platform::list_folder(folder)) {
        if (!entry.is_folder || entry.name == kEnglishLanguage) {
            continue;
        }
        if (!platform::is_plain_file(catalogue_path(folder, entry.name))) {
            continue;
        }
        const auto entries = read_catalogue(folder, entry.name);
        if (!entries) {
            continue;
        }
        const auto name = entries->find(original);
        choices.push_back({entry.name, name != entries->end() && !name->second.empty()
                                           ? name->second
                                           : entry.name});
    }
    std::sort(choices.begin() + 1, choices.end(),
              [](const LanguageChoice& a, const LanguageChoice& b) { return a.code < b.code; });
    return choices;
}

void load_language(LanguageTable& table, std::string_view setting, const std::string& folder) {
    std::vector<LanguageChoice> choices = installed_languages(folder);
    std::vector<std::string> codes;
    for (const LanguageChoice& choice : choices) {
        codes.push_back(choice.code);
    }
    const std::string code = resolve_language(setting, platform::message_locale(), codes);
    const auto entries = code == kEnglishLanguage ? std::nullopt : read_catalogue(folder, code);
    if (entries) {
        load_translated(table, *entries);
    } else {
        table.load_builtin();
    }
    table.set_choices(std::move(choices));
}

} // namespace pixlane
