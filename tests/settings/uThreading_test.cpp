#include "uThreading.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace {

// A worker whose end the test controls, and whose destruction it can see.
class TProbeThread final : public TMyThread {
public:
    TProbeThread(std::atomic<bool>& release, std::atomic<int>& freed, bool untilTerminated = false)
        : FRelease(release)
        , FFreed(freed)
        , FUntilTerminated(untilTerminated)
    {}
    ~TProbeThread() override
    {
        WaitFor();
        ++FFreed;
    }

protected:
    void Execute() override
    {
        // Bounded: a broken Terminate fails the test instead of hanging it.
        for (int i = 0; i < 5000; ++i) {
            if (FRelease || (FUntilTerminated && Terminated()))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    std::atomic<bool>& FRelease;
    std::atomic<int>& FFreed;
    bool FUntilTerminated;
};

class TFailingThread final : public TMyThread {
protected:
    void Execute() override { throw std::runtime_error("worker failed"); }
};

void WaitUntilFinished(const TMyThread& thread)
{
    for (int i = 0; i < 5000 && !thread.Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(thread.Finished());
}

// Each test starts and ends with an empty registry.
class uThreading : public testing::Test {
protected:
    void SetUp() override { FreeRegisteredThreads(); }
    void TearDown() override { FreeRegisteredThreads(); }
};

} // namespace

TEST_F(uThreading, CreatingAThreadFreesTheFinishedOnes)
{
    std::atomic<bool> released{true};
    std::atomic<bool> firstHeld{false};
    std::atomic<bool> held{false};
    std::atomic<int> freed{0};
    auto* done = TMyThread::Spawn<TProbeThread>(false, firstHeld, freed);
    auto* running = TMyThread::Spawn<TProbeThread>(false, held, freed);
    firstHeld = true;
    WaitUntilFinished(*done);
    EXPECT_EQ(freed, 0) << "a thread is never freed by itself when it ends";
    EXPECT_EQ(RegisteredThreadCount(), 2u);

    TMyThread::Spawn<TProbeThread>(false, released, freed);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(RegisteredThreadCount(), 2u);
    EXPECT_FALSE(running->Finished());
    held = true;
}

TEST_F(uThreading, FreeingTheRegistryStopsAndWaitsForRunningThreads)
{
    std::atomic<bool> never{false};
    std::atomic<int> freed{0};
    for (int i = 0; i < 3; ++i)
        TMyThread::Spawn<TProbeThread>(false, never, freed, true);
    FreeRegisteredThreads();
    EXPECT_EQ(freed, 3);
    EXPECT_EQ(RegisteredThreadCount(), 0u);
}

TEST_F(uThreading, SuspendedThreadRunsOnlyWhenStarted)
{
    std::atomic<bool> released{true};
    std::atomic<int> freed{0};
    auto* thread = TMyThread::Spawn<TProbeThread>(true, released, freed);
    EXPECT_FALSE(thread->Finished());
    // A later creation must not reap a thread that has not run yet.
    TMyThread::Spawn<TProbeThread>(true, released, freed);
    EXPECT_EQ(freed, 0);
    thread->Start();
    WaitUntilFinished(*thread);
}

TEST_F(uThreading, DeleteTakesTheThreadOutWithoutFreeingIt)
{
    std::atomic<bool> released{true};
    std::atomic<int> freed{0};
    auto* thread = TMyThread::Spawn<TProbeThread>(false, released, freed);
    std::unique_ptr<TMyThread> owned = thread->Delete();
    ASSERT_EQ(owned.get(), thread);
    EXPECT_EQ(RegisteredThreadCount(), 0u);
    EXPECT_EQ(freed, 0);
    owned->WaitFor();
    owned.reset();
    EXPECT_EQ(freed, 1);
}

TEST_F(uThreading, AnErrorInAWorkerEndsOnlyThatWorker)
{
    auto* thread = TMyThread::Spawn<TFailingThread>(false);
    WaitUntilFinished(*thread);
}
