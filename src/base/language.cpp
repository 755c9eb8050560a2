#include "base/language.h"

#include <algorithm>
#include <numeric>

#include "util/strings.h"

namespace pixlane {

void LanguageTable::load(const LanguagePair* pairs, std::size_t count) {
    m_groups.assign(1, Group{});
    m_keys.assign(1, std::string{});
    m_texts.assign(1, std::string{});
    m_remembered.store(0, std::memory_order_relaxed);

    auto close_group = [&] {
        if (m_groups.size() > 1) {
            m_groups.back().last = m_keys.size() - 1;
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = to_upper(pairs[i].key);
        if (key == "_END_") {
            break;
        }
        if (key == "_GROUP_") {
            close_group();
            Group g;
            g.name = to_upper(pairs[i].text);
            g.first = m_keys.size();
            g.last = g.first - 1;
            m_groups.push_back(std::move(g));
            continue;
        }
        if (m_groups.size() == 1) {
            continue; // an entry before any group belongs nowhere
        }
        m_keys.push_back(key);
        m_texts.emplace_back(pairs[i].text);
    }
    close_group();

    for (std::size_t gi = 1; gi < m_groups.size(); ++gi) {
        Group& g = m_groups[gi];
        if (g.last < g.first) {
            continue;
        }
        // Sort the group's entries by key (character codes), each text staying
        // with its key; equal keys keep table order, so the first one wins.
        std::vector<std::size_t> order(g.last - g.first + 1);
        std::iota(order.begin(), order.end(), g.first);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return m_keys[a] < m_keys[b]; });
        std::vector<std::string> keys, texts;
        for (auto idx : order) {
            keys.push_back(std::move(m_keys[idx]));
            texts.push_back(std::move(m_texts[idx]));
        }
        for (std::size_t k = 0; k < keys.size(); ++k) {
            m_keys[g.first + k] = std::move(keys[k]);
            m_texts[g.first + k] = std::move(texts[k]);
        }
        for (std::size_t e = g.first; e <= g.last; ++e) {
            const auto c = static_cast<unsigned char>(m_keys[e][0]);
            if (g.first_letter[c] == 0) {
                g.first_letter[c] = e;
            }
        }
    }
}

std::string LanguageTable::text(std::string_view group, std::string_view key) const {
    const std::string ugroup = to_upper(group);
    const std::string ukey = to_upper(key);
    // The remembered group is shared by every reader (the window and its
    // worker may look texts up at the same time), so it is read and
    // replaced as one atomic value.
    std::size_t remembered = m_remembered.load(std::memory_order_relaxed);
    if (remembered == 0 || m_groups[remembered].name != ugroup) {
        remembered = 0;
        for (std::size_t gi = 1; gi < m_groups.size(); ++gi) {
            if (m_groups[gi].name == ugroup) {
                remembered = gi;
                break;
            }
        }
        m_remembered.store(remembered, std::memory_order_relaxed);
    }
    if (remembered == 0 || ukey.empty()) {
        return std::string(kNoStringError);
    }
    const Group& g = m_groups[remembered];
    std::size_t e = g.first_letter[static_cast<unsigned char>(ukey[0])];
    if (e == 0) {
        return std::string(kNoStringError);
    }
    for (; e <= g.last; ++e) {
        if (m_keys[e] == ukey) {
            return m_texts[e];
        }
        if (m_keys[e] > ukey) {
            break;
        }
    }
    return std::string(kNoStringError);
}

std::string substitute(std::string text, std::string_view s1, std::string_view s2,
                       std::string_view s3, std::string_view s4) {
    const std::string_view args[] = {s1, s2, s3, s4};
    const char* const marks[] = {"%s1%", "%s2%", "%s3%", "%s4%"};
    for (int i = 0; i < 4; ++i) {
        if (args[i].empty()) {
            continue;
        }
        std::size_t pos = 0;
        while ((pos = ifind(text, marks[i], pos)) != std::string::npos) {
            text.replace(pos, 4, args[i]);
            pos += args[i].size();
        }
    }
    return text;
}

QuestionText question_text(Question q) {
    switch (q) {
    case Question::NewUpdate: return {"New Update", "New Update Text", false};
    case Question::CheckForUpdates: return {"Check for Updates", "Ask check for updates", false};
    case Question::ResetToDefaults: return {"Reset to Defaults", "Ask reset to defaults", false};
    case Question::OverwriteFile: return {"Warning", "Ask overwrite file", true};
    case Question::BreakImport: return {"Warning", "Ask break import", true};
    case Question::BreakExport: return {"Warning", "Ask break export", true};
    case Question::BreakConversion: return {"Warning", "Ask break conversion", true};
    }
    return {"Warning", "Warning", true};
}

} // namespace pixlane
