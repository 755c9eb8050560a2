#include "run/worker_process.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "decorations/watermark.h"
#include "naming/mask.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "pipeline/save.h"
#include "run/job.h"
#include "run/wire.h"
#include "settings/serialize.h"

namespace pixlane {
namespace {

// The child's exit status after it answered that it ran out of memory.
constexpr int kExitOutOfMemory = 3;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Seconds the watchdog can count in milliseconds in an int.
constexpr int kMaxSeconds = std::numeric_limits<int>::max() / 1000;

// A positive number from the environment, at most `maximum`; the fallback
// when unset, not a number or not positive.
int env_int(const char* name, int fallback, int maximum) {
    const char* v = std::getenv(name);
    if (!v || !*v) {
        return fallback;
    }
    const long n = std::strtol(v, nullptr, 10);
    return n > 0 ? static_cast<int>(std::min<long>(n, maximum)) : fallback;
}

// The job record fields the child needs, and those it answers with.
wire::Message job_request(const JobRecord& j) {
    return {"job",
            j.input_path,
            j.relative_subfolder,
            j.output_folder,
            std::to_string(j.random_value),
            std::to_string(j.sequence_number),
            std::to_string(j.save_type),
            j.output_extension,
            std::to_string(j.output_depth),
            std::to_string(j.save_flags),
            std::to_string(j.automatic_depth),
            std::to_string(j.console_mode),
            j.debug_word,
            std::to_string(j.width),
            std::to_string(j.height),
            std::to_string(j.source_depth),
            j.program_folder,
            j.list_name,
            j.input_folder,
            j.input_type,
            std::to_string(j.frame_pick),
            j.defer_outputs ? "1" : "0"};
}

int to_int(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }

bool read_job_request(const wire::Message& m, JobRecord& j) {
    if (m.size() != 22 || m[0] != "job") {
        return false;
    }
    j.input_path = m[1];
    j.relative_subfolder = m[2];
    j.output_folder = m[3];
    j.random_value = to_int(m[4]);
    j.sequence_number = to_int(m[5]);
    j.save_type = to_int(m[6]);
    j.output_extension = m[7];
    j.output_depth = to_int(m[8]);
    j.save_flags = to_int(m[9]);
    j.automatic_depth = static_cast<std::uint8_t>(to_int(m[10]));
    j.console_mode = static_cast<std::uint8_t>(to_int(m[11]));
    j.debug_word = m[12];
    j.width = to_int(m[13]);
    j.height = to_int(m[14]);
    j.source_depth = to_int(m[15]);
    j.program_folder = m[16];
    j.list_name = m[17];
    j.input_folder = m[18];
    j.input_type = m[19];
    j.frame_pick = static_cast<std::uint32_t>(std::strtoul(m[20].c_str(), nullptr, 10));
    j.defer_outputs = m[21] == "1";
    return true;
}

// The results, each frame's result (five fields), then each pending output
// as a temporary and a final path. The outputs written and skipped are read
// back from the frames.
constexpr std::size_t kAnswerFields = 10; // the last is the count of frames
constexpr std::size_t kFrameFields = 5;

wire::Message job_answer(bool ok, const JobRecord& j) {
    wire::Message m = {ok ? "ok" : "failed",          j.output_path,
                       j.temporary_path,              std::to_string(j.width),
                       std::to_string(j.height),      std::to_string(j.source_depth),
                       std::to_string(j.output_depth), j.failure_reason,
                       j.out_of_space ? "1" : "0",    std::to_string(j.frame_results.size())};
    for (const auto& f : j.frame_results) {
        m.insert(m.end(), {std::to_string(f.frame), f.output_path,
                           std::to_string(static_cast<int>(f.status)), f.reason,
                           std::to_string(f.ms)});
    }
    for (const auto& p : j.pending_outputs) {
        m.push_back(p.temporary_path);
        m.push_back(p.output_path);
    }
    return m;
}

void read_job_answer(const wire::Message& m, JobRecord& j) {
    if (m.size() < kAnswerFields) {
        return;
    }
    const std::size_t frames = std::strtoul(m[kAnswerFields - 1].c_str(), nullptr, 10);
    if (frames > (m.size() - kAnswerFields) / kFrameFields) {
        return;
    }
    const std::size_t pending_at = kAnswerFields + frames * kFrameFields;
    if ((m.size() - pending_at) % 2 != 0) {
        return;
    }
    j.output_path = m[1];
    j.temporary_path = m[2];
    j.width = to_int(m[3]);
    j.height = to_int(m[4]);
    j.source_depth = to_int(m[5]);
    j.output_depth = to_int(m[6]);
    j.failure_reason = m[7];
    j.out_of_space = m[8] == "1";
    j.frame_results.clear();
    j.written_outputs.clear();
    j.skipped_outputs = 0;
    for (std::size_t i = kAnswerFields; i < pending_at; i += kFrameFields) {
        const int status = std::clamp(to_int(m[i + 2]), 0, static_cast<int>(FrameStatus::Pending));
        const FrameResult& f = j.frame_results.emplace_back(
            FrameResult{to_int(m[i]), m[i + 1], static_cast<FrameStatus>(status), m[i + 3],
                        std::strtoll(m[i + 4].c_str(), nullptr, 10)});
        if (f.status == FrameStatus::Converted) {
            j.written_outputs.push_back(f.output_path);
        } else if (f.status == FrameStatus::Skipped) {
            ++j.skipped_outputs;
        }
    }
    j.pending_outputs.clear();
    for (std::size_t i = pending_at; i + 1 < m.size(); i += 2) {
        j.pending_outputs.push_back({m[i], m[i + 1]});
    }
}

// Only the soft limit moves: without privileges a hard limit, once lowered,
// can never be raised for the next file. Past the soft limit SIGXCPU ends
// the child; the parent's wall-clock watchdog stays the last resort.
void limit_cpu_from_now(int seconds) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const rlim_t used = static_cast<rlim_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1;
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = used + static_cast<rlim_t>(seconds);
    if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max) {
        cpu.rlim_cur = cpu.rlim_max;
    }
    ::setrlimit(RLIMIT_CPU, &cpu);
}

// Removes the temporary files a child announced for a file it did not finish.
void remove_announced(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (platform::is_plain_file(path)) {
            platform::remove_file(path);
        }
    }
}

} // namespace

WorkerLimits WorkerLimits::from_environment() {
    WorkerLimits l;
    l.address_space_bytes =
        std::uint64_t(env_int("PIXLANE_WORKER_MEMORY_MB", int(l.address_space_bytes >> 20),
                              std::numeric_limits<int>::max()))
        << 20;
    l.cpu_seconds_per_file =
        env_int("PIXLANE_WORKER_CPU_SECONDS", l.cpu_seconds_per_file, kMaxSeconds);
    l.wall_seconds_per_file =
        env_int("PIXLANE_WORKER_TIMEOUT_SECONDS", l.wall_seconds_per_file, kMaxSeconds);
    return l;
}

struct WorkerSupervisor::Child {
    platform::ChildProcess process;
    UniqueFd to_child;
    UniqueFd from_child;
};

WorkerSupervisor::WorkerSupervisor(const Settings& s, WorkerLimits limits, std::string program)
    : m_settings(s), m_limits(limits), m_program(std::move(program)) {
    // A child that dies makes writes to its pipe raise SIGPIPE; the write
    // failing is enough.
    ::signal(SIGPIPE, SIG_IGN);
}

WorkerSupervisor::~WorkerSupervisor() {
    if (m_child) {
        wire::write_message(m_child->to_child.get(), {"quit"});
        end_child(false);
    }
}

bool WorkerSupervisor::ensure_child(std::string& reason) {
    if (m_child) {
        return true;
    }
    auto down = platform::make_pipe();
    auto up = platform::make_pipe();
    if (!down || !up) {
        reason = "cannot start the worker process";
        return false;
    }
    platform::ChildProcess::Spec spec;
    spec.program = m_program;
    spec.arguments = {kWorkerModeArgument, std::to_string(m_limits.address_space_bytes),
                      std::to_string(m_limits.cpu_seconds_per_file)};
    spec.fds = {{down->read_end.get(), 3}, {up->write_end.get(), 4}};
    auto process = platform::ChildProcess::spawn(spec);
    if (!process) {
        reason = "cannot start the worker process";
        return false;
    }
    {
        std::lock_guard guard(m_pid_lock);
        m_live_pid = process->pid();
        if (m_aborted) {
            ::kill(m_live_pid, SIGKILL);
        }
    }
    m_child = std::make_unique<Child>(
        Child{std::move(*process), std::move(down->write_end), std::move(up->read_end)});
    ++m_spawned;
    wire::Message settings{"settings"};
    for (auto& [name, value] : settings_to_pairs(m_settings)) {
        settings.push_back(std::move(name));
        settings.push_back(std::move(value));
    }
    if (!wire::write_message(m_child->to_child.get(), settings)) {
        reason = end_child(true);
        return false;
    }
    return true;
}

std::string WorkerSupervisor::end_child(bool kill) {
    if (!m_child) {
        return {};
    }
    {
        std::lock_guard guard(m_pid_lock);
        m_live_pid = -1;
    }
    if (kill) {
        m_child->process.kill();
    }
    m_child->to_child.reset();
    m_child->from_child.reset();
    const platform::ExitInfo ended = m_child->process.wait();
    m_child.reset();
    if (ended.signalled) {
        if (ended.signal == SIGXCPU) {
            return "took longer than " + std::to_string(m_limits.cpu_seconds_per_file) +
                   " s of processor time";
        }
        return "crashed with signal " + std::to_string(ended.signal);
    }
    if (ended.status == kExitOutOfMemory) {
        return "out of memory";
    }
    return "worker process ended with status " + std::to_string(ended.status);
}

void WorkerSupervisor::kill_child() { end_child(true); }

void WorkerSupervisor::abort() {
    std::lock_guard guard(m_pid_lock);
    m_aborted = true;
    if (m_live_pid > 0) {
        ::kill(m_live_pid, SIGKILL);
    }
}

bool WorkerSupervisor::convert(JobRecord& job, std::string& reason) {
    reason.clear();
    job.out_of_space = false;
    job.written_outputs.clear();
    job.skipped_outputs = 0;
    job.frame_results.clear();
    // A child that ended while idle (killed from outside) is replaced before
    // it is handed a file; that file never reached it.
    if (m_child && m_child->process.has_ended()) {
        end_child(false);
    }
    if (!ensure_child(reason)) {
        return false;
    }
    // The child names each temporary file before it creates it; only those
    // are removed when it dies, never a finished output that merely looks
    // like one.
    std::vector<std::string> announced;
    bool timed_out = false;
    std::optional<wire::Message> answer;
    if (wire::write_message(m_child->to_child.get(), job_request(job))) {
        const std::int64_t deadline =
            platform::elapsed_ms() + std::int64_t{m_limits.wall_seconds_per_file} * 1000;
        for (;;) {
            const std::int64_t left = std::max<std::int64_t>(deadline - platform::elapsed_ms(), 0);
            answer = wire::read_message(m_child->from_child.get(), static_cast<int>(left), &timed_out);
            if (!answer || answer->size() != 2 || (*answer)[0] != "temp") {
                break;
            }
            announced.push_back((*answer)[1]);
        }
    }
    if (!answer || answer->empty()) {
        const std::string why = end_child(timed_out);
        bool aborted = false;
        {
            std::lock_guard guard(m_pid_lock);
            aborted = m_aborted;
        }
        reason = aborted     ? "stopped"
                 : timed_out ? "took longer than " +
                                   std::to_string(m_limits.wall_seconds_per_file) + " s"
                             : why;
        remove_announced(announced);
        return false;
    }
    if ((*answer)[0] == "oom") {
        reason = end_child(false);
        remove_announced(announced);
        return false;
    }
    read_job_answer(*answer, job);
    if ((*answer)[0] != "ok") {
        reason = job.failure_reason;
        return false;
    }
    return true;
}

int run_worker_process(int in_fd, int out_fd, std::uint64_t address_space_bytes,
                       int cpu_seconds_per_file, const BeforeJob& before_job) {
    rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (!kAddressSanitizer && address_space_bytes > 0) {
        rlimit as{address_space_bytes, address_space_bytes};
        ::setrlimit(RLIMIT_AS, &as);
    }
    auto first = wire::read_message(in_fd, -1);
    if (!first || first->empty() || (*first)[0] != "settings") {
        return 1;
    }
    Settings settings;
    SettingPairs pairs;
    for (std::size_t i = 1; i + 1 < first->size(); i += 2) {
        pairs.emplace_back((*first)[i], (*first)[i + 1]);
    }
    settings_from_pairs(settings, pairs);
    std::unique_ptr<WatermarkFont> font;
    if (settings.do_watermark == 1) {
        font = WatermarkFont::load(settings);
    }
    set_temporary_file_observer(
        [out_fd](const std::string& path) { wire::write_message(out_fd, {"temp", path}); });
    for (;;) {
        auto request = wire::read_message(in_fd, -1);
        if (!request || request->empty() || (*request)[0] == "quit") {
            return 0;
        }
        JobRecord job;
        if (!read_job_request(*request, job)) {
            return 1;
        }
        limit_cpu_from_now(cpu_seconds_per_file);
        bool ok = false;
        try {
            if (before_job) {
                before_job(settings, job);
            }
            ok = run_job(settings, job, font.get());
        } catch (const std::bad_alloc&) {
            wire::write_message(out_fd, {"oom"});
            return kExitOutOfMemory;
        }
        if (!wire::write_message(out_fd, job_answer(ok, job))) {
            return 0;
        }
    }
}

} // namespace pixlane
