#include "run/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pipeline/save.h"
#include "platform/platform.h"
#include "util/strings.h"
#include "util/utf8.h"

namespace pixlane {
namespace {

constexpr std::string_view kConverted = "converted";
constexpr std::string_view kFailed = "failed";
constexpr std::string_view kSkipped = "skipped";
constexpr std::string_view kPlanned = "planned";

std::string_view status_word(FrameStatus status) {
    switch (status) {
    case FrameStatus::Converted: return kConverted;
    case FrameStatus::Skipped: return kSkipped;
    case FrameStatus::Failed:
    case FrameStatus::Pending: break; // never placed: nothing was written
    }
    return kFailed;
}

// `text` with every byte that is not part of a UTF-8 sequence as U+FFFD.
std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_length(text, at);
        if (length == 0) {
            out += "\uFFFD";
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string csv_field(std::string_view raw) {
    const std::string text = valid_utf8(raw);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_length(text, at);
        if (length == 0) {
            out += "\uFFFD";
            ++at;
            continue;
        }
        const char c = text[at];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    out += '"';
    return out;
}

} // namespace

std::optional<ReportFormat> report_format(std::string_view path) {
    const std::string ext = to_lower(platform::extension_of(path));
    if (ext == "csv") {
        return ReportFormat::Csv;
    }
    if (ext == "json") {
        return ReportFormat::Json;
    }
    return std::nullopt;
}

RunReport::RunReport(const InputList& list, bool dry_run)
    : m_list(list), m_dry_run(dry_run), m_files(list.size()) {}

void RunReport::file_ended(const FileEnd& file) {
    if (file.task.index >= m_files.size()) {
        return;
    }
    auto& rows = m_files[file.task.index];
    rows.clear();
    bool failed_row = false;
    for (const auto& f : file.outcome.frame_results) {
        const bool planned = m_dry_run && f.status == FrameStatus::Pending;
        const std::string_view status = planned ? kPlanned : status_word(f.status);
        failed_row = failed_row || status == kFailed;
        std::string reason = planned                            ? std::string()
                             : f.status == FrameStatus::Pending ? "never placed"
                             : f.status == FrameStatus::Skipped ? "the output exists"
                                                                : f.reason;
        rows.push_back({file.task.input_path, f.frame, f.output_path, status, std::move(reason),
                        f.ms, f.frames, file.outcome.dropped_frames});
    }
    if (!file.outcome.ok() && !failed_row) {
        const std::string& reason = file.outcome.failure->reason;
        rows.push_back({file.task.input_path,
                        0,
                        {},
                        kFailed,
                        reason.empty() ? std::string("not converted") : reason,
                        file.ms});
    }
}

std::vector<ReportRow> RunReport::rows() const {
    std::vector<ReportRow> out;
    const auto& entries = m_list.entries();
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].empty()) {
            const std::string input = i < entries.size() ? entries[i].path : std::string();
            out.push_back({input, 0, {}, kSkipped, "the run stopped before this file", 0});
        } else {
            out.insert(out.end(), m_files[i].begin(), m_files[i].end());
        }
    }
    return out;
}

std::string report_csv(const std::vector<ReportRow>& rows) {
    std::string out = "input,frame,output,status,reason,ms,frames,dropped\n";
    for (const auto& r : rows) {
        out += csv_field(r.input) + "," + (r.frame > 0 ? std::to_string(r.frame) : "") + "," +
               csv_field(r.output) + "," + std::string(r.status) + "," + csv_field(r.reason) + "," +
               std::to_string(r.ms) + "," + std::to_string(r.frames) + "," +
               std::to_string(r.dropped) + "\n";
    }
    return out;
}

std::string report_json(const std::vector<ReportRow>& rows) {
    std::string out = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        out += i == 0 ? "\n" : ",\n";
        out += "  {\"input\": " + json_string(r.input) +
               ", \"frame\": " + (r.frame > 0 ? std::to_string(r.frame) : "null") +
               ", \"output\": " + json_string(r.output) + ", \"status\": " + json_string(r.status) +
               ", \"reason\": " + json_string(r.reason) + ", \"ms\": " + std::to_string(r.ms) +
               ", \"frames\": " + std::to_string(r.frames) +
               ", \"dropped\": " + std::to_string(r.dropped) + "}";
    }
    out += rows.empty() ? "]\n" : "\n]\n";
    return out;
}

bool write_report(const std::string& path, const std::vector<ReportRow>& rows, std::string& error) {
    const std::string text =
        report_format(path) == ReportFormat::Json ? report_json(rows) : report_csv(rows);
    errno = 0;
    if (platform::replace_file(path, text)) {
        return true;
    }
    error = errno != 0 ? std::strerror(errno) : "the file could not be replaced";
    return false;
}

std::string report_path_fault(const std::string& path) {
    const std::string intro = "cannot write the report " + path + ": ";
    if (platform::is_folder(path)) {
        return intro + "it is a folder";
    }
    const std::string folder = platform::folder_of(path);
    if (!platform::is_folder(folder)) {
        return intro + "no such folder";
    }
    if (!platform::folder_is_writable(folder)) {
        const int error = errno;
        return intro + std::strerror(error);
    }
    return {};
}

std::string report_input_fault(const std::string& path, const std::string& input_path,
                               const InputList& list) {
    const std::string report = platform::file_identity(path);
    if (report.empty()) {
        return {}; // nothing there yet: no input can be it
    }
    const auto is_report = [&](const std::string& input) {
        return !input.empty() && platform::file_identity(input) == report;
    };
    const auto fault = [&](const std::string& input) {
        return "cannot write the report " + path + ": it is the input " + input;
    };
    if (is_report(input_path)) {
        return fault(input_path);
    }
    for (const auto& entry : list.entries()) {
        if (is_report(entry.path)) {
            return fault(entry.path);
        }
    }
    return {};
}

bool OutputPlan::taken(const std::string& path) const {
    return m_planned.contains(path) || platform::exists(path);
}

std::string OutputPlan::line(const std::string& input, const std::string& output) {
    ++m_outputs;
    std::vector<std::string> marks;
    const auto earlier = m_planned.find(output);
    const bool exists = platform::exists(output);
    if (exists) {
        ++m_existing;
        marks.push_back("exists");
    }
    if (earlier != m_planned.end()) {
        ++m_clashes;
        marks.push_back("clash with " + earlier->second);
    }
    std::string written = output;
    if (!marks.empty() && m_overwrite == kOverwriteSkip) {
        marks.back() += "; left alone";
        written.clear();
    } else if (exists && earlier == m_planned.end() && m_overwrite == kOverwriteNewer) {
        const bool current = output_is_current(output, input);
        marks.back() += current ? "; up to date, left alone" : "; older, replaced";
        if (current) {
            written.clear();
        }
    } else if (!marks.empty() && m_overwrite == kOverwriteRename) {
        for (int n = 2;; ++n) {
            written = numbered_name(output, n);
            if (!taken(written)) {
                break;
            }
        }
        marks.back() += "; written as " + written;
    }
    if (!written.empty()) {
        m_planned[written] = input;
    }
    std::string text = output;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        text += (i == 0 ? " (" : ", ") + marks[i];
    }
    return marks.empty() ? text : text + ")";
}

} // namespace pixlane
