#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace korbelt {

// Tells threads that wait on changed for work that none will come (finished, under mutex)
// and waits until they have ended. Called again, it finds them ended.
inline void FinishWorkers(std::mutex& mutex, bool& finished, std::condition_variable& changed,
                          std::vector<std::thread>& workers) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

}  // namespace korbelt
