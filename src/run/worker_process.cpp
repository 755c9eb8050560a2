#include "run/worker_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <vector>

#include "decorations/watermark.h"
#include "naming/mask.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "run/convert_file.h"
#include "run/preview.h"
#include "run/wire.h"
#include "run/wire_records.h"
#include "settings/serialize.h"

namespace pixlane {
namespace {

// The child's exit status after it answered that it ran out of memory.
constexpr int kExitOutOfMemory = 3;

// The message that lends the file in hand cores ("cores", count), and how
// often (ms) each side looks for a change.
constexpr const char* kCoresRequest = "cores";
constexpr int kCoresLookMs = 50;

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

// Only the soft limit moves: without privileges a hard limit, once lowered,
// can never be raised for the next file. Past the soft limit SIGXCPU ends
// the child; the parent's wall-clock watchdog stays the last resort.
// The limit only moves when the whole seconds used have, so a batch of
// small files pays one getrusage per file and a setrlimit now and then.
class CpuLimit {
  public:
    explicit CpuLimit(int seconds) : m_seconds(static_cast<rlim_t>(seconds)) {
        ::getrlimit(RLIMIT_CPU, &m_limit);
    }

    void from_now() {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const rlim_t used = static_cast<rlim_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1;
        rlim_t soft = used + m_seconds;
        if (m_limit.rlim_max != RLIM_INFINITY && soft > m_limit.rlim_max) {
            soft = m_limit.rlim_max;
        }
        if (soft != m_limit.rlim_cur) {
            m_limit.rlim_cur = soft;
            ::setrlimit(RLIMIT_CPU, &m_limit);
        }
    }

  private:
    rlim_t m_seconds;
    rlimit m_limit{};
};

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
    Child(platform::ChildProcess p, UniqueFd to, UniqueFd from)
        : process(std::move(p)), to_child(std::move(to)), from_child(std::move(from)),
          answers(from_child.get()) {}

    platform::ChildProcess process;
    UniqueFd to_child;
    UniqueFd from_child;
    wire::MessageReader answers;
};

WorkerSupervisor::WorkerSupervisor(const Settings& s, const BatchPlan& plan, WorkerLimits limits,
                                   std::string program)
    : m_settings(s), m_plan(plan), m_limits(limits), m_program(std::move(program)) {
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

std::optional<Failure> WorkerSupervisor::ensure_child() {
    if (m_child) {
        return std::nullopt;
    }
    auto down = platform::make_pipe();
    auto up = platform::make_pipe();
    if (!down || !up) {
        return Failure{"cannot start the worker process"};
    }
    platform::ChildProcess::Spec spec;
    spec.program = m_program;
    spec.arguments = {kWorkerModeArgument, std::to_string(m_limits.address_space_bytes),
                      std::to_string(m_limits.cpu_seconds_per_file), std::to_string(::getpid())};
    spec.fds = {{down->read_end.get(), 3}, {up->write_end.get(), 4}};
    auto process = platform::ChildProcess::spawn(spec);
    if (!process) {
        return Failure{"cannot start the worker process"};
    }
    {
        std::lock_guard guard(m_pid_lock);
        m_live_pid = process->pid();
        if (m_aborted || m_interrupted) {
            ::kill(m_live_pid, SIGKILL);
        }
    }
    m_child = std::make_unique<Child>(std::move(*process), std::move(down->write_end),
                                      std::move(up->read_end));
    ++m_spawned;
    wire::Message settings{"settings"};
    for (auto& [name, value] : settings_to_pairs(m_settings)) {
        settings.push_back(std::move(name));
        settings.push_back(std::move(value));
    }
    if (!wire::write_message(m_child->to_child.get(), settings) ||
        !wire::write_message(m_child->to_child.get(), wire::plan_message(m_plan))) {
        return Failure{end_child(true)};
    }
    return std::nullopt;
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
        // Ctrl-C on the terminal, a logout or a kill of the whole group
        // reaches the worker too: the file was stopped, not crashed.
        if (ended.signal == SIGINT || ended.signal == SIGTERM || ended.signal == SIGHUP) {
            return "stopped";
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

void WorkerSupervisor::interrupt() {
    std::lock_guard guard(m_pid_lock);
    m_interrupted = true;
    if (m_live_pid > 0) {
        ::kill(m_live_pid, SIGKILL);
    }
}

void WorkerSupervisor::resume() {
    std::lock_guard guard(m_pid_lock);
    m_interrupted = false;
}

std::variant<wire::Message, std::string>
WorkerSupervisor::exchange(const wire::Message& request, std::vector<std::string>& announced,
                           int cores) {
    // A child that ended while idle (killed from outside) is replaced before
    // it is handed a request; that request never reached it.
    if (m_child && m_child->process.has_ended()) {
        end_child(false);
    }
    if (auto failure = ensure_child()) {
        return std::move(failure->reason);
    }
    // The child names each temporary file before it creates it; only those
    // are removed when it dies, never a finished output that merely looks
    // like one.
    bool timed_out = false;
    std::optional<wire::Message> answer;
    if (wire::write_message(m_child->to_child.get(), request)) {
        const std::int64_t deadline =
            platform::elapsed_ms() + std::int64_t{m_limits.wall_seconds_per_file} * 1000;
        for (;;) {
            // A file that was lent cores learns of every change.
            if (cores > 0 && m_cores.load() != cores) {
                cores = m_cores.load();
                wire::write_message(m_child->to_child.get(),
                                    {kCoresRequest, std::to_string(cores)});
            }
            const std::int64_t left = std::max<std::int64_t>(deadline - platform::elapsed_ms(), 0);
            const std::int64_t wait = cores > 0 ? std::min<std::int64_t>(left, kCoresLookMs) : left;
            answer = m_child->answers.read(static_cast<int>(wait), &timed_out);
            if (!answer && timed_out && wait < left) {
                continue;
            }
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
        remove_announced(announced);
        return aborted ? std::string("stopped")
               : timed_out
                   ? "took longer than " + std::to_string(m_limits.wall_seconds_per_file) + " s"
                   : why;
    }
    if ((*answer)[0] == "oom") {
        const std::string why = end_child(false);
        remove_announced(announced);
        return why;
    }
    return std::move(*answer);
}

void WorkerSupervisor::lend_cores(int cores) { m_cores.store(std::max(cores, 1)); }

FileOutcome WorkerSupervisor::convert(const FileTask& task) {
    FileOutcome outcome;
    std::vector<std::string> announced;
    FileTask lent = task;
    lent.cores = m_cores.load();
    auto answer = exchange(wire::task_message(lent), announced, lent.cores);
    if (auto* why = std::get_if<std::string>(&answer)) {
        outcome.failure = Failure{std::move(*why)};
        return outcome;
    }
    std::optional<FileOutcome> answered = wire::read_outcome(std::get<wire::Message>(answer));
    if (!answered) {
        end_child(true);
        remove_announced(announced);
        outcome.failure = Failure{"the worker process gave an answer that could not be read"};
        return outcome;
    }
    return std::move(*answered);
}

std::variant<wire::Message, std::string> WorkerSupervisor::ask(const wire::Message& request) {
    std::vector<std::string> announced;
    return exchange(request, announced, 0);
}

namespace {

// A preview in the worker: the request's settings, and its own watermark
// font when the watermark is text.
bool answer_preview(const wire::Message& request, int out_fd, const BeforeJob& before_job,
                    PreviewFrames& frames) {
    const std::optional<PreviewRequest> preview = wire::read_preview_request(request);
    if (!preview) {
        return false;
    }
    if (before_job) {
        before_job(preview->settings, preview->plan, preview->task);
    }
    std::unique_ptr<WatermarkFont> font;
    if (preview->settings.do_watermark == kWatermarkText) {
        font = WatermarkFont::load(preview->settings);
    }
    return wire::write_message(
        out_fd, wire::preview_message(make_preview(*preview, font.get(), nullptr, &frames)));
}

} // namespace

int run_worker_process(int in_fd, int out_fd, std::uint64_t address_space_bytes,
                       int cpu_seconds_per_file, pid_t parent, const BeforeJob& before_job) {
    // A worker never outlives the run that started it: killed with it (even
    // by SIGKILL or the out-of-memory killer), and gone at once when the
    // parent died before the request took effect.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (parent > 0 && ::getppid() != parent) {
        return 1;
    }
    // The temporary files the worker makes are its run's.
    if (parent > 0) {
        set_run_owner({parent, platform::process_start_ticks(parent).value_or(0)});
    }
    rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (!kAddressSanitizer && address_space_bytes > 0) {
        rlimit as{address_space_bytes, address_space_bytes};
        ::setrlimit(RLIMIT_AS, &as);
    }
    wire::MessageReader requests(in_fd);
    auto first = requests.read(-1);
    if (!first || first->empty() || (*first)[0] != "settings") {
        return 1;
    }
    Settings settings;
    SettingPairs pairs;
    for (std::size_t i = 1; i + 1 < first->size(); i += 2) {
        pairs.emplace_back((*first)[i], (*first)[i + 1]);
    }
    settings_from_pairs(settings, pairs);
    auto plan_request = requests.read(-1);
    const std::optional<BatchPlan> plan =
        plan_request ? wire::read_plan(*plan_request) : std::nullopt;
    if (!plan) {
        return 1;
    }
    std::unique_ptr<WatermarkFont> font;
    if (settings.do_watermark == kWatermarkText) {
        font = WatermarkFont::load(settings);
    }
    set_temporary_file_observer([out_fd](const std::string& path) {
        wire::write_message(out_fd, {"temp", path});
    });
    PreviewFrames preview_frames; // the file previewed last
    CpuLimit cpu_limit(cpu_seconds_per_file);
    // Requests that arrived while a file was converting, for after it.
    std::deque<wire::Message> held;
    for (;;) {
        std::optional<wire::Message> request;
        if (held.empty()) {
            request = requests.read(-1);
        } else {
            request = std::move(held.front());
            held.pop_front();
        }
        if (!request || request->empty() || (*request)[0] == "quit") {
            return 0;
        }
        if ((*request)[0] == kCoresRequest) {
            continue; // meant for a file that has ended
        }
        cpu_limit.from_now();
        if ((*request)[0] == "preview") {
            try {
                if (!answer_preview(*request, out_fd, before_job, preview_frames)) {
                    return 1;
                }
            } catch (const std::bad_alloc&) {
                wire::write_message(out_fd, {"oom"});
                return kExitOutOfMemory;
            }
            continue;
        }
        const std::optional<FileTask> task = wire::read_task(*request);
        if (!task) {
            return 1;
        }
        FileOutcome outcome;
        try {
            if (before_job) {
                before_job(settings, *plan, *task);
            }
            // The cores the supervisor lends the file, looked for now and
            // then between frames.
            int cores = task->cores;
            std::int64_t looked = platform::elapsed_ms();
            const CoreCount lent = [&] {
                if (const std::int64_t now = platform::elapsed_ms(); now - looked >= kCoresLookMs) {
                    looked = now;
                    while (auto m = requests.read(0)) {
                        if (m->size() == 2 && (*m)[0] == kCoresRequest) {
                            cores = std::max(1, std::atoi((*m)[1].c_str()));
                        } else {
                            held.push_back(std::move(*m));
                        }
                    }
                }
                return cores;
            };
            outcome = convert_file(settings, *plan, *task, font.get(), lent);
        } catch (const std::bad_alloc&) {
            wire::write_message(out_fd, {"oom"});
            return kExitOutOfMemory;
        }
        if (!wire::write_message(out_fd, wire::outcome_message(outcome))) {
            return 0;
        }
    }
}

} // namespace pixlane
