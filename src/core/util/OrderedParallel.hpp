#pragma once

// Runs produce(i) for i = 0..count-1 on worker threads and hands the results
// to consume(i, result) on the calling thread strictly in index order, so
// the outcome is the same whatever the thread count. At most `window`
// results are in flight, which bounds memory. An exception from produce
// surfaces from this call at its index, in order; an exception from consume
// (a Cancel, a write failure) stops the workers and propagates.
//
// Life of one index: claimed by a worker (next_) -> produced into its slot
// -> consumed by the caller (committed_) -> slot free for index + window.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orvane {

template <class Result, class WorkerState>
class OrderedParallel {
public:
    using Produce = std::function<Result(std::int64_t index, WorkerState& state)>;
    using Consume = std::function<void(std::int64_t index, Result&& result)>;

    static void Run(std::int64_t count, int threads, std::int64_t window, const Produce& produce,
                    const Consume& consume)
    {
        if (count <= 0) return;
        threads = std::max(1, threads);
        window = std::max<std::int64_t>(window, threads);
        if (threads == 1) {
            WorkerState state{};
            for (std::int64_t i = 0; i < count; ++i) consume(i, produce(i, state));
            return;
        }
        Shared shared(static_cast<std::size_t>(window));
        std::vector<std::thread> workers;
        workers.reserve(static_cast<std::size_t>(threads));
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&] { Work(shared, count, window, produce); });
        auto stopAll = [&] {
            {
                std::lock_guard lock(shared.mutex);
                shared.stop = true;
            }
            shared.slotFree.notify_all();
            for (auto& w : workers) w.join();
        };
        try {
            for (std::int64_t i = 0; i < count; ++i) {
                Slot& slot = shared.slots[static_cast<std::size_t>(i % window)];
                std::optional<Result> result;
                std::exception_ptr error;
                {
                    std::unique_lock lock(shared.mutex);
                    shared.resultReady.wait(lock, [&] { return slot.ready; });
                    result = std::move(slot.result);
                    error = slot.error;
                    slot.result.reset();
                    slot.error = nullptr;
                    slot.ready = false;
                    shared.committed = i + 1;
                }
                shared.slotFree.notify_all();
                if (error) std::rethrow_exception(error);
                consume(i, std::move(*result));
            }
        } catch (...) {
            stopAll();
            throw;
        }
        stopAll();
    }

private:
    struct Slot {
        bool ready = false;
        std::optional<Result> result;
        std::exception_ptr error;
    };
    struct Shared {
        explicit Shared(std::size_t n) : slots(n) {}
        std::mutex mutex;
        std::condition_variable resultReady;
        std::condition_variable slotFree;
        std::vector<Slot> slots;
        std::int64_t next = 0;       // next index to claim
        std::int64_t committed = 0;  // indices below this were consumed
        bool stop = false;
    };

    static void Work(Shared& shared, std::int64_t count, std::int64_t window, const Produce& produce)
    {
        WorkerState state{};
        for (;;) {
            std::int64_t index = 0;
            {
                std::unique_lock lock(shared.mutex);
                if (shared.stop || shared.next >= count) return;
                index = shared.next++;
                // Wait until this index's slot has been consumed.
                shared.slotFree.wait(lock, [&] { return shared.stop || index < shared.committed + window; });
                if (shared.stop) return;
            }
            std::optional<Result> result;
            std::exception_ptr error;
            try {
                result.emplace(produce(index, state));
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(shared.mutex);
                Slot& slot = shared.slots[static_cast<std::size_t>(index % window)];
                slot.result = std::move(result);
                slot.error = error;
                slot.ready = true;
            }
            shared.resultReady.notify_all();
        }
    }
};

} // namespace orvane
