// Items first..last through three stages: each loaded in order on the
// calling thread, worked on any of several lanes (the calling thread and
// helper threads), and committed in order on the calling thread. The lanes
// in use follow a count asked between items, so work can spread when cores
// come free and narrow again when they are needed elsewhere.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace pixlane {

template <class Job, class Done> class OrderedLanes {
  public:
    struct Stages {
        // Item i's job, on the calling thread, in order.
        std::function<Job(int index)> load;
        // Item i's result, on any lane; jobs are taken in order, so the item
        // before is already under way (or done) when a job starts.
        std::function<Done(int index, Job job)> work;
        // Item i's result, on the calling thread, in order; false stops:
        // nothing more is loaded and what is under way goes to `discard`.
        std::function<bool(int index, Done done)> commit;
        // A result that arrived after the stop, on the calling thread.
        std::function<void(Done done)> discard;
        // How many lanes may work now (1 or more), asked between items.
        std::function<int()> lanes;
    };

    // Runs items first..last; an exception from a stage stops the run (the
    // lanes finish what they hold) and is thrown again here.
    static void run(int first, int last, const Stages& stages) {
        OrderedLanes lanes(stages);
        lanes.drive(first, last);
    }

  private:
    explicit OrderedLanes(const Stages& stages) : m_stages(stages) {}

    ~OrderedLanes() {
        {
            std::lock_guard guard(m_lock);
            m_closing = true;
        }
        m_changed.notify_all();
        for (auto& t : m_helpers) {
            t.join();
        }
    }

    // Works one job (m_lock held on entry and on return).
    void work_one(std::unique_lock<std::mutex>& guard) {
        auto [index, job] = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_working;
        guard.unlock();
        std::optional<Done> done;
        std::exception_ptr error;
        try {
            done.emplace(m_stages.work(index, std::move(job)));
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        --m_working;
        if (error) {
            if (!m_error) {
                m_error = error;
            }
        } else {
            m_done.emplace(index, std::move(*done));
        }
        m_changed.notify_all();
    }

    void helper(int lane) {
        std::unique_lock guard(m_lock);
        for (;;) {
            m_changed.wait(guard,
                           [&] { return m_closing || (!m_jobs.empty() && lane < m_allowed); });
            if (m_closing) {
                return;
            }
            work_one(guard);
        }
    }

    // Lanes as asked now, with a helper thread for each beyond the first.
    void follow_lanes() {
        const int wanted = std::max(1, m_stages.lanes ? m_stages.lanes() : 1);
        std::lock_guard guard(m_lock);
        if (wanted == m_allowed) {
            return;
        }
        m_allowed = wanted;
        while (static_cast<int>(m_helpers.size()) + 1 < m_allowed) {
            const int lane = static_cast<int>(m_helpers.size()) + 1;
            m_helpers.emplace_back([this, lane] { helper(lane); });
        }
        m_changed.notify_all();
    }

    void drive(int first, int last) {
        int next_load = first;
        int next_commit = first;
        bool stopped = false;
        std::unique_lock guard(m_lock);
        guard.unlock();
        follow_lanes();
        guard.lock();
        while (next_commit <= last) {
            if (m_error) {
                break;
            }
            if (auto ready = m_done.find(next_commit); ready != m_done.end()) {
                Done done = std::move(ready->second);
                m_done.erase(ready);
                guard.unlock();
                stopped = !m_stages.commit(next_commit, std::move(done));
                guard.lock();
                ++next_commit;
                if (stopped) {
                    break;
                }
                continue;
            }
            // Enough loaded to keep every lane busy and the next one waiting.
            const int loaded = next_load - next_commit;
            if (next_load <= last && loaded < 2 * m_allowed) {
                guard.unlock();
                follow_lanes();
                Job job = m_stages.load(next_load);
                guard.lock();
                m_jobs.emplace_back(next_load, std::move(job));
                ++next_load;
                m_changed.notify_all();
                continue;
            }
            if (!m_jobs.empty()) {
                work_one(guard);
                continue;
            }
            m_changed.wait(
                guard, [&] { return m_error || m_done.count(next_commit) > 0 || !m_jobs.empty(); });
        }
        // What was loaded but not taken is dropped; what is under way ends.
        m_jobs.clear();
        m_changed.wait(guard, [&] { return m_working == 0; });
        std::map<int, Done> late = std::move(m_done);
        const std::exception_ptr error = m_error;
        guard.unlock();
        for (auto& [index, done] : late) {
            if (m_stages.discard) {
                m_stages.discard(std::move(done));
            }
        }
        if (error) {
            std::rethrow_exception(error);
        }
    }

    const Stages& m_stages;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::pair<int, Job>> m_jobs;
    std::map<int, Done> m_done;
    int m_allowed = 0;
    int m_working = 0;
    bool m_closing = false;
    std::exception_ptr m_error;
    std::vector<std::thread> m_helpers;
};

} // namespace pixlane
