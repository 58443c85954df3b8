// The application's worker thread base and the registry that owns every such
// thread: finished threads are freed when a new one starts, and the ones still
// running are waited for at exit.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>

class EThreading final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A worker thread owned by the registry. Subclasses put their work in Execute
// and check Terminated() in long loops. Create them with Spawn: the thread
// starts once the object is fully built, and the registry frees it.
class TMyThread {
public:
    virtual ~TMyThread();
    TMyThread(const TMyThread&) = delete;
    TMyThread& operator=(const TMyThread&) = delete;

    // Builds the thread, registers it (freeing registered threads that have
    // finished) and starts it unless createSuspended; answers a pointer the
    // registry owns.
    template <typename T, typename... TArgs> static T* Spawn(bool createSuspended, TArgs&&... args)
    {
        auto thread = std::make_unique<T>(std::forward<TArgs>(args)...);
        T* result = thread.get();
        Register(std::move(thread), !createSuspended);
        return result;
    }

    // Starts a thread created suspended; does nothing the second time.
    void Start();
    // Asks Execute to return; it is up to Execute to look.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Finished() const { return FFinished; }
    void WaitFor();
    // Takes the thread out of the registry without freeing it: the caller
    // owns it from then on.
    std::unique_ptr<TMyThread> Delete();

protected:
    TMyThread() = default;
    virtual void Execute() = 0;

private:
    static void Register(std::unique_ptr<TMyThread> thread, bool start);

    std::thread FThread;
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
};

// Asks every registered thread to stop and frees it, last registered first,
// waiting for the ones still running. Called once at program exit; raises
// EThreading when a thread cannot be freed.
void FreeRegisteredThreads();

// How many threads the registry holds (finished ones not yet reaped included).
size_t RegisteredThreadCount();
