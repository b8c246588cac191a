#pragma once

// Polls `done` every few milliseconds until it holds or `timeout` has passed; whether it held.
// For tests that wait on other threads or processes (devices, servers) with a generous limit.
#include <chrono>
#include <functional>
#include <thread>

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
