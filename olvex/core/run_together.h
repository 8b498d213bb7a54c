// Runs a few jobs side by side and waits for all of them: the first on the
// calling thread, the others on threads of their own (or on the calling
// thread too, when the system gives no thread). When jobs throw, the first
// one's exception (in job order) is thrown again once all have ended.
#pragma once

#include <exception>
#include <functional>
#include <initializer_list>
#include <system_error>
#include <thread>
#include <vector>

namespace olvex {

inline void RunTogether(std::initializer_list<std::function<void()>> jobs) {
    std::vector<std::exception_ptr> failures(jobs.size());
    std::vector<std::function<void()>> guarded;
    guarded.reserve(jobs.size());
    std::size_t index = 0;
    for (const auto& job : jobs) {
        guarded.push_back([&job, &failure = failures[index++]] {
            try {
                job();
            } catch (...) {
                failure = std::current_exception();
            }
        });
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < guarded.size(); ++i) {
        try {
            threads.emplace_back(guarded[i]);
        } catch (const std::system_error&) {
            guarded[i]();
        }
    }
    if (!guarded.empty())
        guarded[0]();
    for (auto& thread : threads)
        thread.join();
    for (const auto& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

}  // namespace olvex
