#include "tvsComp.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <typeinfo>

#include "tvsExprs.h"
#include "tvsGuardian.h"
#include "tvsStringFunctions.h"

namespace {

// Scripts may nest 1023 calls, each several native frames deep, and a debug
// or sanitizer build uses far more stack per frame than a release build.
// The memory is reserved, not committed, so a generous size costs nothing.
constexpr size_t ScriptThreadStackSize = size_t{256} * 1024 * 1024;

constexpr char16_t ThreadStartFailedMsg[] = u"Could not start a thread to run the script";

// Runs work on a new thread with a large stack and waits for it; whatever
// work throws is thrown again here.
void RunOnLargeStack(const std::function<void()>& work)
{
    struct TJob {
        const std::function<void()>* Work;
        std::exception_ptr Error;
    } job{&work, nullptr};
    const auto entry = [](void* arg) -> void* {
        auto* j = static_cast<TJob*>(arg);
        try {
            (*j->Work)();
        } catch (...) {
            j->Error = std::current_exception();
        }
        return nullptr;
    };
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, ScriptThreadStackSize);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, entry, &job);
    pthread_attr_destroy(&attr);
    if (rc != 0)
        throw Exception(ThreadStartFailedMsg);
    pthread_join(thread, nullptr);
    if (job.Error)
        std::rethrow_exception(job.Error);
}

// The "Default" unit's symbols under the default result type, shared by
// every component: a page request would otherwise build them afresh.
class TDefaultUnitCache final {
public:
    IStaticSymbolTable Table(TSystemSymbolTable& systemTable)
    {
        const std::lock_guard lock(FLock);
        if (!FTable || FSystemTable != &systemTable) {
            FTable.Reset();
            FSystemTable = nullptr;
            auto table = MakeRef<TStaticSymbolTable>(&systemTable);
            AddPrintFunctions(*table);
            table->Prepare();
            FTable = table;
            // Held alive by the table, whose parent it is.
            FSystemTable = &systemTable;
        }
        return FTable;
    }

private:
    std::mutex FLock;
    IStaticSymbolTable FTable;
    const TSystemSymbolTable* FSystemTable = nullptr;
};

TDefaultUnitCache& DefaultUnitCache()
{
    static TDefaultUnitCache cache;
    return cache;
}

void AppendMessages(const TtvsMessageList& list, std::vector<std::u16string>& out)
{
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.GetMsg(i).FormattedText());
}

} // namespace

// ---------------------------------------------------------------------------
// TtvsEmptyUnit

TSymbolTable* TtvsEmptyUnit::CreateUnitTable(TSystemSymbolTable& systemTable)
{
    auto table = std::make_unique<TUnitSymbolTable>(&systemTable);
    AddUnitSymbols(*table);
    return table.release();
}

// ---------------------------------------------------------------------------
// TtvsConfiguration

TtvsConfiguration::TtvsConfiguration() : FResultType(std::make_shared<TtvsDefaultResultType>())
{
    FUnits.push_back(&TInternalUnit::Instance());
}

TtvsConfiguration::~TtvsConfiguration()
{
    if (FFilter != nullptr)
        FFilter->RemoveFreeNotification(this);
}

void TtvsConfiguration::Assign(const TtvsConfiguration& source)
{
    FCompilerOptions = source.FCompilerOptions;
    FMaxDataSize = source.FMaxDataSize;
    FScriptPaths = source.FScriptPaths;
    FTimeoutMilliseconds = source.FTimeoutMilliseconds;
}

void TtvsConfiguration::SetFilter(TtvsFilter* filter)
{
    if (filter == FFilter)
        return;
    if (FFilter != nullptr)
        FFilter->RemoveFreeNotification(this);
    FFilter = filter;
    if (FFilter != nullptr)
        FFilter->AddFreeNotification(this);
}

void TtvsConfiguration::FilterFreed(TtvsFilter* filter)
{
    if (filter == FFilter)
        FFilter = nullptr;
}

void TtvsConfiguration::SetResultType(std::shared_ptr<TtvsResultType> resultType)
{
    FResultType = resultType ? std::move(resultType) : std::make_shared<TtvsDefaultResultType>();
}

void TtvsConfiguration::SetTimeOut(int32_t seconds)
{
    // The time-out is a 32-bit millisecond count; larger values saturate.
    const int64_t ms = int64_t{seconds} * 1000;
    FTimeoutMilliseconds = static_cast<int32_t>(std::clamp<int64_t>(
        ms, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

TSystemSymbolTable& TtvsConfiguration::SystemTable()
{
    if (!FSystemTable)
        FSystemTable = SharedSystemSymbolTable();
    return *FSystemTable;
}

// ---------------------------------------------------------------------------
// TtvsScriptComponent

TtvsScriptComponent::TtvsScriptComponent()
    : TtvsEmptyUnit(DefaultUnitName)
    , FCompiler(std::make_unique<TtvsCompiler>())
    , FConfig(std::make_unique<TtvsConfiguration>())
{
    // The engine's own libraries are there for every script, in pages and
    // on the command line alike; registering twice changes nothing.
    RegisterStringFunctions();
    AddUnit(this);
}

TtvsScriptComponent::~TtvsScriptComponent() = default;

TRefPtr<TtvsMainProgram> TtvsScriptComponent::Compile(std::u16string_view text)
{
    return FCompiler->Compile(text, *FConfig);
}

TSymbolTable* TtvsScriptComponent::CreateUnitTable(TSystemSymbolTable& systemTable)
{
    const TtvsResultType& resultType = FConfig->ResultType();
    if (typeid(resultType) != typeid(TtvsDefaultResultType) || !DependencyList().empty())
        return TtvsEmptyUnit::CreateUnitTable(systemTable);
    return new TLinkedSymbolTable(DefaultUnitCache().Table(systemTable).Get());
}

void TtvsScriptComponent::AddUnit(ItvsUnit* unit)
{
    RemoveUnit(unit);
    if (unit != nullptr)
        FConfig->Units().push_back(unit);
}

bool TtvsScriptComponent::RemoveUnit(ItvsUnit* unit)
{
    auto& units = FConfig->Units();
    const auto it = std::find(units.begin(), units.end(), unit);
    if (it == units.end())
        return false;
    units.erase(it);
    return true;
}

// The result type decides how scripts print; the default one prints with
// Print and PrintLn.
void TtvsScriptComponent::AddUnitSymbols(TSymbolTable& table)
{
    TtvsResultType& resultType = FConfig->ResultType();
    resultType.AddResultSymbols(table);
    if (dynamic_cast<TtvsDefaultResultType*>(&resultType) != nullptr)
        AddPrintFunctions(table);
}

// ---------------------------------------------------------------------------
// Compile and run

TtvsScriptRunOutcome CompileAndRunScript(std::u16string_view source, int64_t timeoutMs)
{
    TtvsScriptRunOutcome outcome;
    const auto timeout = static_cast<int32_t>(
        std::clamp<int64_t>(timeoutMs, 0, std::numeric_limits<int32_t>::max()));
    RunOnLargeStack([&] {
        TtvsScriptComponent component;
        const TRefPtr<TtvsMainProgram> prog = component.Compile(source);
        AppendMessages(prog->Messages(), outcome.Messages);
        if (prog->Messages().HasErrors()) {
            outcome.ExitStatus = 1;
            return;
        }
        const ItvsProgramExecution exec = prog->Execute(timeout);
        if (const TtvsResult* result = exec->Result())
            outcome.Output = result->ToU16String();
        AppendMessages(exec->Messages(), outcome.Messages);
        outcome.ExitStatus = exec->Messages().Count() > 0 ? 2 : 0;
    });
    return outcome;
}
