#include "tvsFunctions.h"

#include <array>

#include "tvsCoreExprs.h"
#include "tvsGuardian.h"
#include "tvsInfo.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t MagicWithoutInfoMsg[] = u"Magic function \"%s\" called through program info";
constexpr char16_t ParamIndexMsg[] = u"Parameter index %d out of range (%d parameters)";
constexpr char16_t EvaluationFailedMsg[] = u"Evaluation of \"%s\" failed: %s %s";

// General-style calls with up to this many arguments keep their argument
// slots on the native stack.
constexpr size_t InlineArgCount = 8;

std::u16string Trimmed(std::u16string_view text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= u' ')
        ++first;
    while (last > first && text[last - 1] <= u' ')
        --last;
    return std::u16string(text.substr(first, last - first));
}

// Errors that already carry a script position, and the stop and stack
// errors, pass through host routines unchanged.
bool IsScriptError(const Exception& e)
{
    return dynamic_cast<const EScriptError*>(&e) != nullptr
           || dynamic_cast<const EScriptException*>(&e) != nullptr
           || dynamic_cast<const EScriptStackException*>(&e) != nullptr
           || dynamic_cast<const EScriptStackOverflow*>(&e) != nullptr;
}

// Runs a host routine; what the routine itself raises becomes a script
// error at the call.
template <class F>
auto Guarded(const TInternalFuncCallBase& call, TtvsExecution& exec, F&& run) -> decltype(run())
{
    try {
        return run();
    } catch (const Exception& e) {
        if (IsScriptError(e))
            throw;
        call.RaiseFromCall(exec);
    }
}

const Variant& ParamAt(TProgramInfo& info)
{
    const TtvsProgramExecution* exec = info.ProgramExecution();
    const int64_t index = info.ValueAsInteger(u"Index");
    const int64_t count = exec != nullptr ? static_cast<int64_t>(exec->Parameters().size()) : 0;
    if (index < 0 || index >= count)
        throw Exception(FormatText(ParamIndexMsg, {index, count}));
    return exec->Parameters()[static_cast<size_t>(index)];
}

// Param(Index): the host-supplied parameter at the 0-based index.
class TParamFunc final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override { info.SetResultAsVariant(ParamAt(info)); }
};

// ParamStr(Index): that parameter as text.
class TParamStrFunc final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override { info.SetResultAsString(VarToStr(ParamAt(info))); }
};

// ParamCount: how many parameters the host gave.
class TParamCountFunc final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override
    {
        const TtvsProgramExecution* exec = info.ProgramExecution();
        info.SetResultAsInteger(exec != nullptr ? static_cast<int64_t>(exec->Parameters().size())
                                                : 0);
    }
};

TRegisteredInternalFunction MakeRecord(TInternalFunctionFactory factory, std::u16string name,
                                       std::initializer_list<std::u16string_view> params,
                                       std::u16string resultType, TInternalFunctionFlags flags)
{
    return {factory, std::move(name),
            MakeParams(std::span<const std::u16string_view>(params.begin(), params.size())),
            std::move(resultType), flags};
}

} // namespace

// ---------------------------------------------------------------------------
// Routine classes

TFuncSymbol* TInternalFunction::CreateSymbol(TSymbolTable& table, const std::u16string& name,
                                             const TParamArray& params,
                                             std::u16string_view resultType,
                                             TInternalFunctionFlags flags,
                                             std::shared_ptr<TInternalFunction> self)
{
    auto symbol = std::make_unique<TFuncSymbol>(table, resultType, params, name);
    symbol->SetExecutable(std::move(self));
    symbol->SetIsStateless((flags & iffStateless) != 0);
    symbol->SetIsOverloaded((flags & iffOverloaded) != 0);
    symbol->SetIsDeprecated((flags & iffDeprecated) != 0);
    TFuncSymbol* result = symbol.get();
    table.AddSymbol(symbol.release());
    return result;
}

void TInternalMagicFunction::Execute(TProgramInfo& info)
{
    throw Exception(FormatText(MagicWithoutInfoMsg, {info.FuncSym().Name()}));
}

TFuncSymbol* TInternalMagicFunction::CreateSymbol(TSymbolTable& table, const std::u16string& name,
                                                  const TParamArray& params,
                                                  std::u16string_view resultType,
                                                  TInternalFunctionFlags flags,
                                                  std::shared_ptr<TInternalFunction> self)
{
    auto symbol = std::make_unique<TMagicFuncSymbol>(
        table, resultType, params, name, std::static_pointer_cast<TInternalMagicFunction>(self));
    symbol->SetIsStateless((flags & iffStateless) != 0);
    symbol->SetIsOverloaded((flags & iffOverloaded) != 0);
    TFuncSymbol* result = symbol.get();
    table.AddSymbol(symbol.release());
    return result;
}

std::unique_ptr<TTypedExpr> TInternalMagicIntFunction::MakeCallNode(TtvsProgram& /*prog*/,
                                                                    TMagicFuncSymbol& func,
                                                                    const TScriptPos& pos)
{
    return std::make_unique<TMagicIntFuncExpr>(func, pos);
}

std::unique_ptr<TTypedExpr> TInternalMagicBoolFunction::MakeCallNode(TtvsProgram& /*prog*/,
                                                                     TMagicFuncSymbol& func,
                                                                     const TScriptPos& pos)
{
    return std::make_unique<TMagicBoolFuncExpr>(func, pos);
}

std::unique_ptr<TTypedExpr> TInternalMagicFloatFunction::MakeCallNode(TtvsProgram& /*prog*/,
                                                                      TMagicFuncSymbol& func,
                                                                      const TScriptPos& pos)
{
    return std::make_unique<TMagicFloatFuncExpr>(func, pos);
}

std::unique_ptr<TTypedExpr> TInternalMagicStringFunction::MakeCallNode(TtvsProgram& /*prog*/,
                                                                       TMagicFuncSymbol& func,
                                                                       const TScriptPos& pos)
{
    return std::make_unique<TMagicStringFuncExpr>(func, pos);
}

std::unique_ptr<TTypedExpr> TInternalMagicProcedure::MakeCallNode(TtvsProgram& /*prog*/,
                                                                  TMagicFuncSymbol& func,
                                                                  const TScriptPos& pos)
{
    return std::make_unique<TMagicProcedureExpr>(func, pos);
}

UnicodeString TMagicArgs::AsString(int index) const
{
    UnicodeString result;
    Expr(index).EvalAsString(FExec, result);
    return result;
}

Variant TMagicArgs::AsVariant(int index) const
{
    Variant result;
    Expr(index).EvalAsVariant(FExec, result);
    return result;
}

// ---------------------------------------------------------------------------
// Call nodes

TInternalFuncCallBase::TInternalFuncCallBase(TFuncSymbol& func, const TScriptPos& pos)
    : TPosDataExpr(func.Typ(), pos)
    , FFunc(&func)
{}

void TInternalFuncCallBase::SetFunc(TFuncSymbol& func)
{
    FFunc = &func;
    SetResultType(func.Typ());
}

TExprBase* TInternalFuncCallBase::GetSubExpr(int index) const
{
    return FArgs[static_cast<size_t>(index)].get();
}

TData& TInternalFuncCallBase::GetData(TtvsExecution& exec) const
{
    RaiseScriptError(exec, FormatText(CannotAssignToMsg, {ClassName()}));
}

bool TInternalFuncCallBase::IsConstant() const
{
    if (!FFunc->IsStateless() || Typ() == nullptr)
        return false;
    for (const auto& arg : FArgs)
        if (!arg->IsConstant())
            return false;
    return true;
}

// A stateless routine with constant arguments is evaluated once, now; when
// that fails the failure is a compile error and the call stays.
TExprBase* TInternalFuncCallBase::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    try {
        const Variant value = Eval(exec);
        return CreateUnifiedConst(prog, Typ(), value);
    } catch (const EScriptError& e) {
        exec.Messages().AddCompilerError(e.ScriptPos(), EvaluationFailedMsg,
                                         {FFunc->Name(), e.RawClassName(), e.Message()});
    } catch (const Exception& e) {
        exec.Messages().AddCompilerError(GetScriptPos(), EvaluationFailedMsg,
                                         {FFunc->Name(), e.ClassName(), e.Message()});
    }
    return this;
}

void TInternalFuncCallBase::RaiseFromCall(TtvsExecution& exec) const
{
    RaiseScriptError(exec);
}

Variant TInternalFuncExpr::Eval(TtvsExecution& exec) const
{
    Variant result;
    Call(exec, result);
    return result;
}

void TInternalFuncExpr::EvalNoResult(TtvsExecution& exec) const
{
    Variant result;
    Call(exec, result);
}

// The arguments are evaluated first, outside the guarded region: an error
// in an argument is the argument's, not the routine's.
void TInternalFuncExpr::Call(TtvsExecution& exec, Variant& result) const
{
    std::array<Variant, InlineArgCount> inlineSlots;
    std::vector<Variant> heapSlots;
    std::span<Variant> slots;
    if (FArgs.size() <= inlineSlots.size()) {
        slots = std::span<Variant>(inlineSlots.data(), FArgs.size());
    } else {
        heapSlots.resize(FArgs.size());
        slots = heapSlots;
    }
    for (size_t i = 0; i < FArgs.size(); ++i)
        FArgs[i]->EvalAsVariant(exec, slots[i]);
    auto* function = static_cast<TInternalFunction*>(FFunc->Executable());
    TProgramInfo info(exec, *FFunc, slots, result);
    Guarded(*this, exec, [&] { function->Execute(info); });
}

TMagicFuncExpr::TMagicFuncExpr(TMagicFuncSymbol& func, const TScriptPos& pos)
    : TInternalFuncCallBase(func, pos)
{}

TInternalMagicFunction& TMagicFuncExpr::Function() const
{
    return static_cast<TMagicFuncSymbol*>(FFunc)->Function();
}

int64_t TMagicIntFuncExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return Guarded(*this, exec, [&] {
        return static_cast<TInternalMagicIntFunction&>(Function())
            .DoEvalAsInteger(TMagicArgs(exec, FArgs));
    });
}

bool TMagicBoolFuncExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return Guarded(*this, exec, [&] {
        return static_cast<TInternalMagicBoolFunction&>(Function())
            .DoEvalAsBoolean(TMagicArgs(exec, FArgs));
    });
}

double TMagicFloatFuncExpr::EvalAsFloat(TtvsExecution& exec) const
{
    return Guarded(*this, exec, [&] {
        double result = 0;
        static_cast<TInternalMagicFloatFunction&>(Function())
            .DoEvalAsFloat(TMagicArgs(exec, FArgs), result);
        return result;
    });
}

Variant TMagicStringFuncExpr::Eval(TtvsExecution& exec) const
{
    UnicodeString result;
    EvalAsString(exec, result);
    return Variant(std::move(result));
}

void TMagicStringFuncExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    Guarded(*this, exec, [&] {
        static_cast<TInternalMagicStringFunction&>(Function())
            .DoEvalAsString(TMagicArgs(exec, FArgs), result);
    });
}

Variant TMagicProcedureExpr::Eval(TtvsExecution& exec) const
{
    EvalNoResult(exec);
    return Variant();
}

void TMagicProcedureExpr::EvalNoResult(TtvsExecution& exec) const
{
    Guarded(*this, exec, [&] {
        static_cast<TInternalMagicProcedure&>(Function()).DoEvalProc(TMagicArgs(exec, FArgs));
    });
}

// ---------------------------------------------------------------------------
// Registration

TParamArray MakeParams(std::span<const std::u16string_view> nameTypePairs)
{
    TParamArray result;
    for (size_t i = 0; i + 1 < nameTypePairs.size(); i += 2) {
        TParamRec rec;
        std::u16string_view name = nameTypePairs[i];
        if (!name.empty() && name[0] == u'@') {
            rec.IsVarParam = true;
            name.remove_prefix(1);
        } else if (!name.empty() && name[0] == u'&') {
            rec.IsConstParam = true;
            name.remove_prefix(1);
        }
        if (const size_t eq = name.find(u'='); eq != std::u16string_view::npos) {
            rec.HasDefaultValue = true;
            rec.DefaultValue.push_back(Variant(Trimmed(name.substr(eq + 1))));
            name = name.substr(0, eq);
        }
        rec.ParamName = Trimmed(name);
        rec.ParamType = std::u16string(nameTypePairs[i + 1]);
        result.push_back(std::move(rec));
    }
    return result;
}

TInternalUnit& TInternalUnit::Instance()
{
    static TInternalUnit unit;
    return unit;
}

// Programs compiled earlier keep the table they linked; only the cache is
// dropped.
void TInternalUnit::AddFunction(TRegisteredInternalFunction record)
{
    std::lock_guard lock(FLock);
    FFunctions.push_back(std::move(record));
    FStaticTable.Reset();
    FStaticSystemTable = nullptr;
}

void TInternalUnit::AddSymbolsRegistrationProc(TSymbolsRegistrationProc proc)
{
    std::lock_guard lock(FLock);
    FSymbolsProcs.push_back(proc);
    FStaticTable.Reset();
    FStaticSystemTable = nullptr;
}

void TInternalUnit::FillTable(TSystemSymbolTable& systemTable, TSymbolTable& table) const
{
    for (TSymbolsRegistrationProc proc : FSymbolsProcs)
        proc(systemTable, table);
    for (const TRegisteredInternalFunction& record : FFunctions) {
        try {
            AddInternalFunction(table, record);
        } catch (const Exception& e) {
            throw Exception(FormatText(RegistrationFailedMsg, {record.Name, e.Message()}));
        }
    }
}

// Building the table is most of the cost of compiling a small page, and
// nothing a compilation does changes it: symbols are only looked up, and
// the function objects keep no state of their own.
IStaticSymbolTable TInternalUnit::StaticTable(TSystemSymbolTable& systemTable)
{
    std::lock_guard lock(FLock);
    if (FStaticTable && FStaticSystemTable == &systemTable)
        return FStaticTable;
    // A failed build leaves no cache behind.
    FStaticTable.Reset();
    FStaticSystemTable = nullptr;
    auto table = MakeRef<TStaticSymbolTable>(&systemTable);
    FillTable(systemTable, *table);
    // Sorted here, before any compilation shares it.
    table->Prepare();
    FStaticTable = table;
    FStaticSystemTable = &systemTable;
    return table;
}

TSymbolTable* TInternalUnit::CreateUnitTable(TSystemSymbolTable& systemTable)
{
    const IStaticSymbolTable shared = StaticTable(systemTable);
    return new TLinkedSymbolTable(shared.Get());
}

TFuncSymbol* AddInternalFunction(TSymbolTable& table, const TRegisteredInternalFunction& record)
{
    std::shared_ptr<TInternalFunction> function = record.Factory();
    return function->CreateSymbol(table, record.Name, record.Params, record.ResultType,
                                  record.Flags, function);
}

void RegisterInternalFunction(TInternalFunctionFactory factory, std::u16string name,
                              std::initializer_list<std::u16string_view> params,
                              std::u16string resultType, TInternalFunctionFlags flags)
{
    TInternalUnit::Instance().AddFunction(
        MakeRecord(factory, std::move(name), params, std::move(resultType), flags));
}

void RegisterInternalProcedure(TInternalFunctionFactory factory, std::u16string name,
                               std::initializer_list<std::u16string_view> params)
{
    RegisterInternalFunction(factory, std::move(name), params, u"", 0);
}

void RegisterInternalIntFunction(TInternalFunctionFactory factory, std::u16string name,
                                 std::initializer_list<std::u16string_view> params,
                                 TInternalFunctionFlags flags)
{
    RegisterInternalFunction(factory, std::move(name), params, u"Integer", flags);
}

void RegisterInternalBoolFunction(TInternalFunctionFactory factory, std::u16string name,
                                  std::initializer_list<std::u16string_view> params,
                                  TInternalFunctionFlags flags)
{
    RegisterInternalFunction(factory, std::move(name), params, u"Boolean", flags);
}

void RegisterInternalFloatFunction(TInternalFunctionFactory factory, std::u16string name,
                                   std::initializer_list<std::u16string_view> params,
                                   TInternalFunctionFlags flags)
{
    RegisterInternalFunction(factory, std::move(name), params, u"Float", flags);
}

void RegisterInternalStringFunction(TInternalFunctionFactory factory, std::u16string name,
                                    std::initializer_list<std::u16string_view> params,
                                    TInternalFunctionFlags flags)
{
    RegisterInternalFunction(factory, std::move(name), params, u"String", flags);
}

void RegisterInternalSymbolsProc(TSymbolsRegistrationProc proc)
{
    TInternalUnit::Instance().AddSymbolsRegistrationProc(proc);
}

// ---------------------------------------------------------------------------
// The system scope

// FIXME: TObject, TClass, Exception, EAssertionFailed, EHostException,
// IInterface and ExceptObject join the system table with class support.
TRefPtr<TSystemSymbolTable> CreateSystemSymbolTable()
{
    auto table = MakeRef<TSystemSymbolTable>();
    auto* boolean = new TBaseBooleanSymbol();
    auto* floatType = new TBaseFloatSymbol();
    auto* integer = new TBaseIntegerSymbol();
    auto* string = new TBaseStringSymbol();
    auto* variant = new TBaseVariantSymbol();
    for (TSymbol* typ :
         std::initializer_list<TSymbol*>{boolean, floatType, integer, string, variant})
        table->AddSymbol(typ);
    table->SetBaseTypes(integer, boolean, floatType, string, variant);
    table->AddSymbol(new TConstSymbol(u"Null", variant, Variant::Null()));
    table->AddSymbol(new TConstSymbol(u"Unassigned", variant, Variant::Unassigned()));
    table->AddSymbol(new TOpenArraySymbol(u"array of const", variant, integer));

    AddInternalFunction(*table, MakeRecord(&MakeInternalFunction<TParamFunc>, u"Param",
                                           {u"Index", u"Integer"}, u"Variant", 0));
    AddInternalFunction(*table, MakeRecord(&MakeInternalFunction<TParamStrFunc>, u"ParamStr",
                                           {u"Index", u"Integer"}, u"String", 0));
    AddInternalFunction(*table, MakeRecord(&MakeInternalFunction<TParamCountFunc>, u"ParamCount",
                                           {}, u"Integer", 0));
    // Shared by every compilation from here on: sorted once now.
    table->Prepare();
    return table;
}

TRefPtr<TSystemSymbolTable> SharedSystemSymbolTable()
{
    static const TRefPtr<TSystemSymbolTable> table = CreateSystemSymbolTable();
    return table;
}

void TPrintFunction::Execute(TProgramInfo& info)
{
    if (TtvsProgramExecution* exec = info.Execution().AsProgramExecution())
        PrintToResult(*exec, info.ValueAsString(u"v"));
}

void TPrintLnFunction::Execute(TProgramInfo& info)
{
    if (TtvsProgramExecution* exec = info.Execution().AsProgramExecution())
        PrintLnToResult(*exec, info.ValueAsString(u"v"));
}

void AddPrintFunctions(TSymbolTable& table)
{
    AddInternalFunction(table, MakeRecord(&MakeInternalFunction<TPrintFunction>, u"Print",
                                          {u"v", u"Variant"}, u"", 0));
    AddInternalFunction(table, MakeRecord(&MakeInternalFunction<TPrintLnFunction>, u"PrintLn",
                                          {u"v", u"Variant"}, u"", 0));
}
