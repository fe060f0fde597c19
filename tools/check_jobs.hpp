// Work on a list of items in several threads, shown in the list's order, so
// that what is printed does not depend on the number of threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ckptool {

// The number of cores this process may run on (at least 1).
unsigned availableCores();

// Calls work(i) for i = 0 .. count - 1 in up to `jobs` threads, and show(i,
// result) in the calling thread for each i in order, as soon as item i and
// every item before it are done. At most 2 * jobs items wait to be shown,
// so that their results hold little memory. An exception from work(i) is
// thrown again at item i's turn; one from show stops the work: items begun
// are finished, none is begun, and the exception passes on.
template <class Result, class Work, class Show>
void forEachInOrder(std::size_t count, unsigned jobs, Work work, Show show) {
    if (jobs <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            show(i, work(i));
        }
        return;
    }
    struct Slot {
        std::optional<Result> result;
        std::exception_ptr thrown;
        bool done = false;
    };
    std::vector<Slot> slots(count);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;  // the next item to begin
    std::size_t shown = 0; // the items handed to show
    bool stop = false;
    std::size_t ahead = 2 * static_cast<std::size_t>(jobs);

    auto worker = [&] {
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || next >= count || next < shown + ahead; });
                if (stop || next >= count) {
                    return;
                }
                i = next++;
            }
            Slot slot;
            try {
                slot.result.emplace(work(i));
            } catch (...) {
                slot.thrown = std::current_exception();
            }
            slot.done = true;
            {
                std::lock_guard lock(mutex);
                slots[i] = std::move(slot);
            }
            changed.notify_all();
        }
    };

    // Joins the threads however the showing ends.
    struct Threads {
        std::vector<std::thread> all;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Threads() {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& thread : all) {
                thread.join();
            }
        }
    } threads{{}, mutex, changed, stop};
    for (unsigned t = 0; t < jobs && t < count; ++t) {
        threads.all.emplace_back(worker);
    }
    for (std::size_t i = 0; i < count; ++i) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return slots[i].done; });
            slot = std::move(slots[i]);
            slots[i] = Slot();
            shown = i + 1;
        }
        changed.notify_all();
        if (slot.thrown) {
            std::rethrow_exception(slot.thrown);
        }
        show(i, std::move(*slot.result));
    }
}

} // namespace ckptool
