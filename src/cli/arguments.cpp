#include "cli/arguments.h"

#include "util/strings.h"

namespace pixlane::cli {

std::string trimmed_argument(std::string_view argument) { return std::string(trim(argument)); }

std::string argument_key(std::string_view argument) {
    const std::string_view a = trim(argument);
    if (a.starts_with("--")) {
        return to_upper(a.substr(0, a.find('=')));
    }
    if (a.starts_with("-")) {
        return to_upper(a);
    }
    return {};
}

std::string argument_value(std::string_view argument) {
    const std::string_view a = trim(argument);
    if (a.starts_with("--")) {
        const auto eq = a.find('=', 2);
        if (eq != std::string_view::npos) {
            return std::string(a.substr(eq + 1));
        }
    }
    return std::string(a);
}

std::string join_quoted(std::string value, const std::vector<std::string>& args,
                        std::size_t& index) {
    if (!value.starts_with('"') || value.ends_with('"')) {
        return value;
    }
    while (index + 1 < args.size()) {
        ++index;
        value += ' ';
        value += trimmed_argument(args[index]);
        if (value.ends_with('"')) {
            break;
        }
    }
    return value;
}

std::string strip_quotes(std::string_view text) {
    while (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == '"') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace pixlane::cli
