#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <pthread.h>

// Runs a reader of outside input on a thread with 512 KB of stack. A Windows
// host's main thread has 1 MB, so input nested deeper than the readers'
// limits allow crashes here instead of passing on Linux's 8 MB.
struct SmallStackThread
{
    static constexpr size_t stackBytes = 512 * 1024;

    // Waits for the work however long it takes.
    static void run (std::function<void()> work)
    {
        pthread_t thread;
        const auto body = [] (void* toRun) -> void* {
            (*static_cast<std::function<void()>*> (toRun))();
            return nullptr;
        };

        if (! start (thread, body, &work))
            std::abort();
        pthread_join (thread, nullptr);
    }

    // False when the work has not finished within the time; the thread is then
    // left to itself (a hung reader), holding what it needs.
    static bool runWithin (std::function<void()> work, std::chrono::milliseconds limit)
    {
        struct Run
        {
            std::function<void()> work;
            std::atomic<bool> done { false };
        };
        auto shared = std::make_shared<Run>();
        shared->work = std::move (work);

        pthread_t thread;
        auto* handedOver = new std::shared_ptr<Run> (shared);
        const auto body = [] (void* argument) -> void* {
            const std::unique_ptr<std::shared_ptr<Run>> own (static_cast<std::shared_ptr<Run>*> (argument));
            (*own)->work();
            (*own)->done = true;
            return nullptr;
        };

        if (! start (thread, body, handedOver))
            std::abort();

        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (! shared->done && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for (std::chrono::milliseconds (2));

        if (! shared->done)
        {
            pthread_detach (thread);
            return false;
        }
        pthread_join (thread, nullptr);
        return true;
    }

private:
    static bool start (pthread_t& thread, void* (*body) (void*), void* argument)
    {
        pthread_attr_t attributes;
        if (pthread_attr_init (&attributes) != 0)
            return false;
        const bool started = pthread_attr_setstacksize (&attributes, stackBytes) == 0
                             && pthread_create (&thread, &attributes, body, argument) == 0;
        pthread_attr_destroy (&attributes);
        return started;
    }
};
