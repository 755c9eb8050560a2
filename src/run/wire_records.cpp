#include "run/wire_records.h"

#include <charconv>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <variant>

namespace pixlane::wire {
namespace {

// One field of record T: its name on the wire and the member it fills.
template <class T> struct Field {
    std::string_view name;
    std::variant<std::string T::*, std::int32_t T::*, std::uint32_t T::*, std::int64_t T::*,
                 std::size_t T::*, bool T::*, FrameStatus T::*>
        member;
};

template <class N> std::string number_text(N n) { return std::to_string(n); }

template <class N> bool parse_number(std::string_view text, N& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

template <class T> std::string field_text(const T& record, const Field<T>& field) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& value = record.*member;
            using V = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<V, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<V, bool>) {
                return value ? "1" : "0";
            } else if constexpr (std::is_same_v<V, FrameStatus>) {
                return number_text(static_cast<int>(value));
            } else {
                return number_text(value);
            }
        },
        field.member);
}

template <class T> bool set_field(T& record, const Field<T>& field, const std::string& text) {
    return std::visit(
        [&](auto member) -> bool {
            auto& value = record.*member;
            using V = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<V, std::string>) {
                value = text;
                return true;
            } else if constexpr (std::is_same_v<V, bool>) {
                value = text == "1";
                return text == "1" || text == "0";
            } else if constexpr (std::is_same_v<V, FrameStatus>) {
                int n = 0;
                if (!parse_number(text, n) || n < 0 || n > static_cast<int>(FrameStatus::Pending)) {
                    return false;
                }
                value = static_cast<FrameStatus>(n);
                return true;
            } else {
                return parse_number(text, value);
            }
        },
        field.member);
}

const Field<BatchPlan> kPlanFields[] = {
    {"output_extension", &BatchPlan::output_extension},
    {"save_type", &BatchPlan::save_type},
    {"output_depth", &BatchPlan::output_depth},
    {"save_flags", &BatchPlan::save_flags},
    {"automatic_depth", &BatchPlan::automatic_depth},
    {"output_folder", &BatchPlan::output_folder},
    {"dry_run", &BatchPlan::dry_run},
    {"defer_outputs", &BatchPlan::defer_outputs},
};

const Field<FileTask> kTaskFields[] = {
    {"index", &FileTask::index},
    {"input_path", &FileTask::input_path},
    {"relative_subfolder", &FileTask::relative_subfolder},
    {"sequence_number", &FileTask::sequence_number},
    {"random_value", &FileTask::random_value},
    {"frame_pick", &FileTask::frame_pick},
    {"cores", &FileTask::cores},
};

const Field<Failure> kFailureFields[] = {
    {"reason", &Failure::reason},
    {"out_of_space", &Failure::out_of_space},
};

const Field<FrameResult> kFrameFields[] = {
    {"frame", &FrameResult::frame},   {"output_path", &FrameResult::output_path},
    {"status", &FrameResult::status}, {"reason", &FrameResult::reason},
    {"ms", &FrameResult::ms},         {"frames", &FrameResult::frames},
};

const Field<PendingOutput> kPendingFields[] = {
    {"temporary_path", &PendingOutput::temporary_path},
    {"output_path", &PendingOutput::output_path},
};

// Markers that start a nested record in an outcome.
constexpr std::string_view kFailureMark = "failure";
constexpr std::string_view kFrameMark = "frame_result";
constexpr std::string_view kPendingMark = "pending_output";
// Not a record: the one value that follows it.
constexpr std::string_view kDroppedMark = "dropped_frames";

template <class T> void append(Message& m, const T& record, std::span<const Field<T>> fields) {
    for (const auto& field : fields) {
        m.emplace_back(field.name);
        m.push_back(field_text(record, field));
    }
}

// Applies the name and value pair at `m[i]` to `record`; false for a name
// the list does not know or a value that does not parse.
template <class T>
bool apply(T& record, std::span<const Field<T>> fields, const std::string& name,
           const std::string& value) {
    for (const auto& field : fields) {
        if (field.name == name) {
            return set_field(record, field, value);
        }
    }
    return false;
}

template <class T>
std::optional<T> read_flat(const Message& m, std::string_view kind,
                           std::span<const Field<T>> fields) {
    if (m.empty() || m[0] != kind || m.size() % 2 != 1) {
        return std::nullopt;
    }
    T record{};
    for (std::size_t i = 1; i + 1 < m.size(); i += 2) {
        if (!apply(record, fields, m[i], m[i + 1])) {
            return std::nullopt;
        }
    }
    return record;
}

} // namespace

Message plan_message(const BatchPlan& plan) {
    Message m{"plan"};
    append<BatchPlan>(m, plan, kPlanFields);
    return m;
}

std::optional<BatchPlan> read_plan(const Message& m) {
    return read_flat<BatchPlan>(m, "plan", kPlanFields);
}

Message task_message(const FileTask& task) {
    Message m{"task"};
    append<FileTask>(m, task, kTaskFields);
    return m;
}

std::optional<FileTask> read_task(const Message& m) {
    return read_flat<FileTask>(m, "task", kTaskFields);
}

Message outcome_message(const FileOutcome& outcome) {
    Message m{"outcome"};
    if (outcome.failure) {
        m.emplace_back(kFailureMark);
        append<Failure>(m, *outcome.failure, kFailureFields);
    }
    for (const auto& frame : outcome.frame_results) {
        m.emplace_back(kFrameMark);
        append<FrameResult>(m, frame, kFrameFields);
    }
    for (const auto& pending : outcome.pending_outputs) {
        m.emplace_back(kPendingMark);
        append<PendingOutput>(m, pending, kPendingFields);
    }
    if (outcome.dropped_frames != 0) {
        m.emplace_back(kDroppedMark);
        m.push_back(std::to_string(outcome.dropped_frames));
    }
    return m;
}

std::optional<FileOutcome> read_outcome(const Message& m) {
    if (m.empty() || m[0] != "outcome") {
        return std::nullopt;
    }
    FileOutcome outcome;
    // The record the pairs that follow a marker fill.
    std::variant<std::monostate, Failure*, FrameResult*, PendingOutput*> current;
    std::size_t i = 1;
    while (i < m.size()) {
        if (m[i] == kFailureMark) {
            current = &outcome.failure.emplace();
            ++i;
            continue;
        }
        if (m[i] == kFrameMark) {
            current = &outcome.frame_results.emplace_back();
            ++i;
            continue;
        }
        if (m[i] == kPendingMark) {
            current = &outcome.pending_outputs.emplace_back();
            ++i;
            continue;
        }
        if (i + 1 >= m.size()) {
            return std::nullopt;
        }
        if (m[i] == kDroppedMark) {
            const auto [end, error] = std::from_chars(
                m[i + 1].data(), m[i + 1].data() + m[i + 1].size(), outcome.dropped_frames);
            if (error != std::errc{} || end != m[i + 1].data() + m[i + 1].size()) {
                return std::nullopt;
            }
            current = std::monostate{};
            i += 2;
            continue;
        }
        if (i + 1 >= m.size()) {
            return std::nullopt;
        }
        const bool applied = std::visit(
            [&](auto record) -> bool {
                using R = std::remove_pointer_t<decltype(record)>;
                if constexpr (std::is_same_v<R, std::monostate>) {
                    return false; // a pair before any marker
                } else if constexpr (std::is_same_v<R, Failure>) {
                    return apply<Failure>(*record, kFailureFields, m[i], m[i + 1]);
                } else if constexpr (std::is_same_v<R, FrameResult>) {
                    return apply<FrameResult>(*record, kFrameFields, m[i], m[i + 1]);
                } else {
                    return apply<PendingOutput>(*record, kPendingFields, m[i], m[i + 1]);
                }
            },
            current);
        if (!applied) {
            return std::nullopt;
        }
        i += 2;
    }
    return outcome;
}

} // namespace pixlane::wire
