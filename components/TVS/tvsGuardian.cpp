#include "tvsGuardian.h"

#include <algorithm>

#include "tvsExprs.h"

TtvsGuardianThread& TtvsGuardianThread::Instance()
{
    // Created on first use and destroyed at exit, which stops and joins the
    // thread: no run is ever stopped by a guardian that is half torn down.
    static TtvsGuardianThread guardian;
    return guardian;
}

TtvsGuardianThread::TtvsGuardianThread() : FThread([this] { Execute(); })
{}

TtvsGuardianThread::~TtvsGuardianThread()
{
    {
        std::lock_guard lock(FLock);
        FTerminated = true;
        FSignalled = true;
    }
    FWakeUp.notify_one();
    if (FThread.joinable())
        FThread.join();
}

void TtvsGuardianThread::GuardExecution(TtvsProgramExecution* exec, int64_t timeoutMs)
{
    const TtvsGuardedExecution entry{exec, TClock::now() + std::chrono::milliseconds(timeoutMs)};
    bool wake = true;
    {
        std::lock_guard lock(FLock);
        // Latest first; equal time-outs keep registration order ahead of the
        // new entry, so the earlier registration is stopped first.
        const auto pos =
            std::upper_bound(FList.begin(), FList.end(), entry,
                             [](const TtvsGuardedExecution& a, const TtvsGuardedExecution& b) {
                                 return a.TimeOutAt > b.TimeOutAt;
                             });
        // Only a time-out due before the thread's next wake-up needs it now;
        // waking it for every page request would cost a thread switch each.
        wake = entry.TimeOutAt < FWaitUntil;
        FList.insert(pos, entry);
        FSignalled = FSignalled || wake;
    }
    if (wake)
        FWakeUp.notify_one();
}

// The entry goes at once. Left in the list until its time-out passed, the
// withdrawn entries of a busy server would pile up (requests per second
// times the time-out) and make every registration shift them all. The
// thread looks at entries only under the lock, so none is in use here.
void TtvsGuardianThread::ForgetExecution(const TtvsProgramExecution* exec)
{
    std::lock_guard lock(FLock);
    const auto it = std::find_if(FList.begin(), FList.end(), [exec](const auto& entry) {
        return entry.Exec == exec;
    });
    if (it != FList.end())
        FList.erase(it);
}

size_t TtvsGuardianThread::PendingCount()
{
    std::lock_guard lock(FLock);
    return FList.size();
}

void TtvsGuardianThread::Execute()
{
    std::unique_lock lock(FLock);
    while (!FTerminated) {
        const auto now = TClock::now();
        bool pending = false;
        TClock::time_point wakeAt{};
        while (!FList.empty()) {
            const TtvsGuardedExecution& last = FList.back();
            if (last.Exec != nullptr && last.TimeOutAt > now) {
                pending = true;
                wakeAt = last.TimeOutAt;
                break;
            }
            // Stop only flips the run's state byte; it is safe under the lock,
            // and the lock is what keeps the execution alive here.
            if (last.Exec != nullptr)
                last.Exec->Stop();
            FList.pop_back();
        }
        const auto woken = [this] { return FSignalled; };
        FWaitUntil = pending ? wakeAt : TClock::time_point::max();
        if (pending)
            FWakeUp.wait_until(lock, wakeAt, woken);
        else
            FWakeUp.wait(lock, woken);
        FSignalled = false;
    }
}

void GuardExecution(TtvsProgramExecution* exec, int64_t timeoutMs)
{
    TtvsGuardianThread::Instance().GuardExecution(exec, timeoutMs);
}

void TtvsDefaultResult::AddString(const UnicodeString& text)
{
    FTextBuilder.WriteString(text);
}

void TtvsDefaultResult::Clear()
{
    FTextBuilder.Clear();
}

UnicodeString TtvsDefaultResult::ToString() const
{
    return FTextBuilder.ToString();
}

void TtvsResultType::AddResultSymbols(TSymbolTable& /*table*/)
{}

std::unique_ptr<TtvsResult> TtvsResultType::CreateProgResult()
{
    return std::make_unique<TtvsDefaultResult>(this);
}

void TtvsDefaultResultType::AddResultSymbols(TSymbolTable& table)
{
    TtvsResultType::AddResultSymbols(table);
}

std::unique_ptr<TtvsResult> TtvsDefaultResultType::CreateProgResult()
{
    return std::make_unique<TtvsDefaultResult>(this);
}

namespace {
constexpr char16_t CrLf[] = u"\r\n";
}

void PrintToResult(TtvsProgramExecution& exec, const UnicodeString& text)
{
    exec.Result()->AddString(text);
}

void PrintLnToResult(TtvsProgramExecution& exec, const UnicodeString& text)
{
    TtvsResult* result = exec.Result();
    // One shared line break rather than a new string for every line.
    static const UnicodeString lineBreak(CrLf);
    result->AddString(text);
    result->AddString(lineBreak);
}
