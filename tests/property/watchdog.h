// Ends the test process, naming what it was doing, when one step takes far too long: a loop that
// never ends in the program would otherwise hang the suite without saying which machine it was on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace property {

class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // A new step begins; it has the whole limit.
    void Arm(const std::string& what) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            what_ = what;
            deadline_ = std::chrono::steady_clock::now() + limit_;
            armed_ = true;
        }
        changed_.notify_all();
    }

    void Disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }

  private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (armed_ && std::chrono::steady_clock::now() >= deadline_) {
                std::fprintf(stderr, "still running after %lld s: %s\n",
                             static_cast<long long>(limit_.count()), what_.c_str());
                std::abort();
            }
            changed_.wait_for(lock, std::chrono::milliseconds(200));
        }
    }

    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string what_;
    std::chrono::steady_clock::time_point deadline_;
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace property
