#pragma once

#include <cstdlib>
#include <functional>

#include <pthread.h>

// Runs a reader of outside input on a thread with 512 KB of stack and waits for
// it. A Windows host's main thread has 1 MB, so input nested deeper than the
// readers' limits allow crashes here instead of passing on Linux's 8 MB.
struct SmallStackThread
{
    static constexpr size_t stackBytes = 512 * 1024;

    static void run (std::function<void()> work)
    {
        pthread_attr_t attributes;
        pthread_t thread;
        const auto body = [] (void* toRun) -> void* {
            (*static_cast<std::function<void()>*> (toRun))();
            return nullptr;
        };

        if (pthread_attr_init (&attributes) != 0
            || pthread_attr_setstacksize (&attributes, stackBytes) != 0
            || pthread_create (&thread, &attributes, body, &work) != 0)
            std::abort();
        pthread_join (thread, nullptr);
        pthread_attr_destroy (&attributes);
    }
};
