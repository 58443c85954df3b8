// The time-out guardian, one thread for the whole process that stops script runs
// whose time is up, and the results that collect what a run prints.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tvsUtils.h"
#include "tvsVariant.h"

class TtvsProgramExecution;
class TtvsMainProgram;
class TSymbolTable;

// Watches the time-outs of all running executions. It sleeps until the earliest
// time-out or a registration that comes due before it, never polls, and only
// ever calls Stop on an execution, which the running thread notices at its
// next statement step.
//
// Time is measured on the monotonic clock: a wall-clock change (NTP, daylight
// saving, the user) must neither stop a run early nor let it run for ever.
class TtvsGuardianThread final {
public:
    using TClock = std::chrono::steady_clock;

    // The process's one guardian; started on first use, stopped at exit.
    static TtvsGuardianThread& Instance();

    TtvsGuardianThread(const TtvsGuardianThread&) = delete;
    TtvsGuardianThread& operator=(const TtvsGuardianThread&) = delete;
    ~TtvsGuardianThread();

    void GuardExecution(TtvsProgramExecution* exec, int64_t timeoutMs);
    // Withdraws the registration: its entry leaves the list at once.
    void ForgetExecution(const TtvsProgramExecution* exec);

    // Number of guarded runs: registered, and neither withdrawn nor stopped
    // yet. For tests.
    size_t PendingCount();

private:
    TtvsGuardianThread();
    void Execute();

    // The execution is not reference-counted here: every registration is
    // withdrawn (under the lock) before the run that made it returns, so a
    // set Exec always points at a live execution.
    struct TtvsGuardedExecution {
        TtvsProgramExecution* Exec;
        TClock::time_point TimeOutAt;
    };

    std::mutex FLock;
    std::condition_variable FWakeUp;
    bool FSignalled = false;
    bool FTerminated = false;
    // When the thread wakes next by itself; a registration due later needs
    // no signal, as the thread looks at the list again by then.
    TClock::time_point FWaitUntil = TClock::time_point::max();
    // Sorted from the latest to the earliest time-out: the next one due is the
    // last item, and removing it costs nothing.
    std::vector<TtvsGuardedExecution> FList;
    std::thread FThread;
};

// Registers a run with the guardian (positive time-outs only).
void GuardExecution(TtvsProgramExecution* exec, int64_t timeoutMs);

// Where a run's printed text goes. A result belongs to one execution and is
// used only by the thread running it.
class TtvsResultType;

class TtvsResult {
public:
    explicit TtvsResult(TtvsResultType* resultType) : FResultType(resultType) {}
    virtual ~TtvsResult() = default;
    TtvsResult(const TtvsResult&) = delete;
    TtvsResult& operator=(const TtvsResult&) = delete;

    TtvsResultType* ResultType() const { return FResultType; }
    virtual void AddString(const UnicodeString& text) = 0;
    virtual void Clear() = 0;
    virtual UnicodeString ToString() const = 0;
    // The same text for hosts that hand it on as a standard string.
    virtual std::u16string ToU16String() const { return ToString().ToU16String(); }

private:
    TtvsResultType* FResultType;
};

// Collects everything printed, in order, in blocks that are never copied while
// the run appends.
class TtvsDefaultResult final : public TtvsResult {
public:
    explicit TtvsDefaultResult(TtvsResultType* resultType) : TtvsResult(resultType) {}
    void AddString(const UnicodeString& text) override;
    void Clear() override;
    UnicodeString ToString() const override;
    // Straight from the blocks, with no intermediate string.
    std::u16string ToU16String() const override { return FTextBuilder.ToU16String(); }

private:
    TWriteOnlyBlockStream FTextBuilder;
};

// Chooses the result class of a program's runs and the symbols that reach it.
using TProgramEvent = std::function<void(TtvsMainProgram&)>;

class TtvsResultType {
public:
    TtvsResultType() = default;
    virtual ~TtvsResultType() = default;
    TtvsResultType(const TtvsResultType&) = delete;
    TtvsResultType& operator=(const TtvsResultType&) = delete;

    TProgramEvent OnInitializeProgram;
    TProgramEvent OnFinalizeProgram;

    virtual void AddResultSymbols(TSymbolTable& table);
    virtual std::unique_ptr<TtvsResult> CreateProgResult();
};

class TtvsDefaultResultType : public TtvsResultType {
public:
    // Print and PrintLn are registered by the library that owns function
    // registration; this type only promises the result they write to.
    void AddResultSymbols(TSymbolTable& table) override;
    std::unique_ptr<TtvsResult> CreateProgResult() override;
};

// What Print and PrintLn do, for the nodes and functions that print: append
// the text to the running execution's result (PrintLn then appends CR LF as a
// second piece).
void PrintToResult(TtvsProgramExecution& exec, const UnicodeString& text);
void PrintLnToResult(TtvsProgramExecution& exec, const UnicodeString& text);
