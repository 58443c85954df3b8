// The script engine's entry point for its host: the script component (a
// compiler, its configuration and the unit "Default" that makes Print visible
// to every script), the configuration with its defaults, and the one-call
// compile-and-run that `tervalo run` and the script tests share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tvsCompiler.h"
#include "tvsErrors.h"
#include "tvsFilter.h"
#include "tvsFunctions.h"
#include "tvsUnitSymbols.h"

class TtvsResultType;
class TtvsDefaultResultType;
class TtvsMainProgram;
class TSystemSymbolTable;

// A unit whose symbols come from host code. It is visible to scripts without
// a uses clause; descendants add their symbols in AddUnitSymbols.
class TtvsEmptyUnit : public ItvsUnit {
public:
    explicit TtvsEmptyUnit(std::u16string unitName) : FUnitName(std::move(unitName)) {}
    ~TtvsEmptyUnit() override = default;
    TtvsEmptyUnit(const TtvsEmptyUnit&) = delete;
    TtvsEmptyUnit& operator=(const TtvsEmptyUnit&) = delete;

    std::u16string UnitName() const override { return FUnitName; }
    std::vector<std::u16string> Dependencies() const override { return FDependencies; }
    // A table over the system table with the unit's own symbols.
    TSymbolTable* CreateUnitTable(TSystemSymbolTable& systemTable) override;
    bool UsedImplicitly() const override { return true; }

    std::vector<std::u16string>& DependencyList() { return FDependencies; }

protected:
    virtual void AddUnitSymbols(TSymbolTable& table) = 0;

private:
    std::u16string FUnitName;
    std::vector<std::u16string> FDependencies;
};

// The engine's settings for one component; fixed in code for this server.
class TtvsConfiguration final : public ItvsFilterFreeNotify {
public:
    TtvsConfiguration();
    ~TtvsConfiguration() override;
    TtvsConfiguration(const TtvsConfiguration&) = delete;
    TtvsConfiguration& operator=(const TtvsConfiguration&) = delete;

    // Copies the options, the data size limit, the script paths and the
    // time-out; nothing else.
    void Assign(const TtvsConfiguration& source);

    TtvsFilter* Filter() const { return FFilter; }
    void SetFilter(TtvsFilter* filter);
    // Never none: setting none restores the default result type.
    TtvsResultType& ResultType() const { return *FResultType; }
    const std::shared_ptr<TtvsResultType>& ResultTypeRef() const { return FResultType; }
    void SetResultType(std::shared_ptr<TtvsResultType> resultType);

    TCompilerOptions CompilerOptions() const { return FCompilerOptions; }
    void SetCompilerOptions(TCompilerOptions value) { FCompilerOptions = value; }
    TtvsHintsLevel HintsLevel() const { return FHintsLevel; }
    void SetHintsLevel(TtvsHintsLevel value) { FHintsLevel = value; }
    int32_t MaxDataSize() const { return FMaxDataSize; }
    void SetMaxDataSize(int32_t value) { FMaxDataSize = value; }
    int32_t MaxRecursionDepth() const { return FMaxRecursionDepth; }
    void SetMaxRecursionDepth(int32_t value) { FMaxRecursionDepth = value; }
    int32_t StackChunkSize() const { return FStackChunkSize; }
    void SetStackChunkSize(int32_t value) { FStackChunkSize = value; }
    int32_t TimeoutMilliseconds() const { return FTimeoutMilliseconds; }
    void SetTimeoutMilliseconds(int32_t value) { FTimeoutMilliseconds = value; }
    // In seconds.
    void SetTimeOut(int32_t seconds);

    std::vector<std::u16string>& Conditionals() { return FConditionals; }
    const std::vector<std::u16string>& Conditionals() const { return FConditionals; }
    std::vector<std::u16string>& ScriptPaths() { return FScriptPaths; }
    const std::vector<std::u16string>& ScriptPaths() const { return FScriptPaths; }

    // The units scripts see; starts with the internal unit. Not owned.
    std::vector<ItvsUnit*>& Units() { return FUnits; }
    const std::vector<ItvsUnit*>& Units() const { return FUnits; }

    // The process-wide system table, shared by every program compiled with
    // any configuration: it is never changed once built.
    TSystemSymbolTable& SystemTable();

    void FilterFreed(TtvsFilter* filter) override;

private:
    TtvsFilter* FFilter = nullptr;
    // Programs keep their result type alive after the configuration is gone.
    std::shared_ptr<TtvsResultType> FResultType;
    TCompilerOptions FCompilerOptions = DefaultCompilerOptions;
    TtvsHintsLevel FHintsLevel = TtvsHintsLevel::hlStrict;
    int32_t FMaxDataSize = 0;
    int32_t FMaxRecursionDepth = 1024;
    int32_t FStackChunkSize = 4096;
    int32_t FTimeoutMilliseconds = 0;
    std::vector<std::u16string> FConditionals;
    std::vector<std::u16string> FScriptPaths;
    std::vector<ItvsUnit*> FUnits;
    TRefPtr<TSystemSymbolTable> FSystemTable;
};

inline constexpr char16_t DefaultUnitName[] = u"Default";
inline constexpr char16_t ComponentVersion[] = u"2.3";

// What a host needs to compile scripts: a compiler, a configuration and the
// unit "Default" with the output routines of the configured result type.
// One component compiles one text at a time.
class TtvsScriptComponent final : public TtvsEmptyUnit {
public:
    TtvsScriptComponent();
    ~TtvsScriptComponent() override;

    TtvsConfiguration& Config() { return *FConfig; }
    void SetConfig(const TtvsConfiguration& config) { FConfig->Assign(config); }
    std::u16string Version() const { return ComponentVersion; }

    TRefPtr<TtvsMainProgram> Compile(std::u16string_view text);

    // With the default result type the unit holds Print and PrintLn and
    // nothing else, the same for every component: a linked table over one
    // shared table per system table. Other result types build their own.
    TSymbolTable* CreateUnitTable(TSystemSymbolTable& systemTable) override;

    // Appends the unit (after removing it when it is already there).
    void AddUnit(ItvsUnit* unit);
    bool RemoveUnit(ItvsUnit* unit);

protected:
    void AddUnitSymbols(TSymbolTable& table) override;

private:
    std::unique_ptr<TtvsCompiler> FCompiler;
    std::unique_ptr<TtvsConfiguration> FConfig;
};

// The outcome of compiling and running one script text.
struct TtvsScriptRunOutcome {
    // Everything the script printed.
    std::u16string Output;
    // The formatted text of every compile message, then of every run-time
    // message, in order.
    std::vector<std::u16string> Messages;
    // 0: compiled and ran without a run-time message; 1: compilation listed
    // errors and nothing ran; 2: the run ended with a run-time error, an
    // unhandled exception or the time-out.
    int ExitStatus = 0;
};

// Compiles the text as a plain script (no page filter) with a fresh
// component and the default configuration, as pages are compiled, and runs
// it with the time-out (0: none) on a thread whose stack is large enough for
// the deepest recursion scripts are allowed.
TtvsScriptRunOutcome CompileAndRunScript(std::u16string_view source, int64_t timeoutMs);
