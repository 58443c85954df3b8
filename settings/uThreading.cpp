#include "uThreading.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr char ThreadingErrorMessage[] = "Threading error occurred!";

// The registry: its own lock, because threads may be created on any thread.
struct TThreadRegistry {
    std::mutex Lock;
    std::vector<std::unique_ptr<TMyThread>> Threads;
};

TThreadRegistry& Registry()
{
    // Never destroyed: a thread still registered when the program ends must
    // not meet a registry that static destruction has already torn down.
    static TThreadRegistry* registry = new TThreadRegistry;
    return *registry;
}

void FreeThread(std::unique_ptr<TMyThread> thread)
{
    thread->Terminate();
    thread->WaitFor();
    thread.reset();
}

} // namespace

TMyThread::~TMyThread()
{
    // Owners wait before freeing (the subclass is gone by now); this only
    // keeps a forgotten thread from ending the process through std::thread.
    Terminate();
    WaitFor();
}

void TMyThread::Start()
{
    if (FStarted.exchange(true))
        return;
    FThread = std::thread([this] {
        // An error escaping a worker must not end the whole program.
        try {
            Execute();
        } catch (...) {
        }
        FFinished = true;
    });
}

void TMyThread::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TMyThread::Register(std::unique_ptr<TMyThread> thread, bool start)
{
    TMyThread* raw = thread.get();
    {
        TThreadRegistry& registry = Registry();
        std::lock_guard<std::mutex> guard(registry.Lock);
        auto& list = registry.Threads;
        // From the last entry to the first: finished threads are freed, the
        // running ones and those not started yet stay.
        for (size_t i = list.size(); i-- > 0;) {
            if (!list[i]) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (list[i]->Finished()) {
                std::unique_ptr<TMyThread> done = std::move(list[i]);
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                FreeThread(std::move(done));
            }
        }
        list.push_back(std::move(thread));
    }
    if (start)
        raw->Start();
}

std::unique_ptr<TMyThread> TMyThread::Delete()
{
    TThreadRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    auto& list = registry.Threads;
    const auto it = std::find_if(list.begin(), list.end(),
                                 [this](const auto& entry) { return entry.get() == this; });
    if (it == list.end())
        return nullptr;
    std::unique_ptr<TMyThread> result = std::move(*it);
    list.erase(it);
    return result;
}

void FreeRegisteredThreads()
{
    // Taken out of the list first, so that a thread which creates another
    // thread while it ends cannot deadlock on the registry lock.
    std::vector<std::unique_ptr<TMyThread>> threads;
    {
        TThreadRegistry& registry = Registry();
        std::lock_guard<std::mutex> guard(registry.Lock);
        threads.swap(registry.Threads);
    }
    bool failed = false;
    while (!threads.empty()) {
        std::unique_ptr<TMyThread> last = std::move(threads.back());
        threads.pop_back();
        if (!last)
            continue;
        try {
            FreeThread(std::move(last));
        } catch (...) {
            failed = true;
        }
    }
    if (failed)
        throw EThreading(ThreadingErrorMessage);
}

size_t RegisteredThreadCount()
{
    TThreadRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    return registry.Threads.size();
}
