// How host code adds routines to the script language: registration records,
// the process-wide internal unit that turns them into symbols for every
// compilation, the two calling styles (general functions that read their
// parameters by name, magic functions that evaluate their argument nodes),
// the call nodes of both, and the system routines declared this way.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tvsExprs.h"
#include "tvsSymbols.h"
#include "tvsUnitSymbols.h"

class TProgramInfo;
class TSystemSymbolTable;

// A unit that host code provides: a name, the units it needs, and its table
// for a given system table.
class ItvsUnit {
public:
    virtual ~ItvsUnit() = default;
    virtual std::u16string UnitName() const = 0;
    virtual std::vector<std::u16string> Dependencies() const = 0;
    // A new table the caller owns; its parent is the system table.
    virtual TSymbolTable* CreateUnitTable(TSystemSymbolTable& systemTable) = 0;
    // Visible to scripts without a uses clause.
    virtual bool UsedImplicitly() const = 0;
};

// clang-format off
enum TInternalFunctionFlag : uint8_t {
    iffStateless  = 1, // the result depends only on the arguments: constant calls fold
    iffOverloaded = 2, // several registrations share the name
    iffDeprecated = 4, // every use warns
};
// clang-format on
using TInternalFunctionFlags = uint8_t;

// The code behind a host routine, shared by every execution of a program:
// it must keep no per-execution state.
class TFunctionPrototype : public IExecutable {
public:
    void InitSymbol(TSymbol* /*symbol*/) override {}
    void InitExpression(TExprBase* /*expr*/) override {}
};

// A general-style function: it reads its parameters and writes its result
// by name through the program-info object.
class TInternalFunction : public TFunctionPrototype {
public:
    virtual void Execute(TProgramInfo& info) = 0;

    // Creates the function symbol in table and makes this object its code.
    // Magic functions create their own kind of symbol instead.
    virtual TFuncSymbol* CreateSymbol(TSymbolTable& table, const std::u16string& name,
                                      const TParamArray& params, std::u16string_view resultType,
                                      TInternalFunctionFlags flags,
                                      std::shared_ptr<TInternalFunction> self);
};

// Reads the arguments of a magic call: the function evaluates each argument
// node itself, with the typed evaluation it needs, in the order it chooses.
class TMagicArgs final {
public:
    TMagicArgs(TtvsExecution& exec, std::span<const std::unique_ptr<TTypedExpr>> args)
        : FExec(exec)
        , FArgs(args)
    {}
    TtvsExecution& Exec() const { return FExec; }
    int Count() const { return static_cast<int>(FArgs.size()); }
    const TTypedExpr& Expr(int index) const { return *FArgs[static_cast<size_t>(index)]; }

    int64_t AsInteger(int index) const { return Expr(index).EvalAsInteger(FExec); }
    double AsFloat(int index) const { return Expr(index).EvalAsFloat(FExec); }
    bool AsBoolean(int index) const { return Expr(index).EvalAsBoolean(FExec); }
    UnicodeString AsString(int index) const;
    Variant AsVariant(int index) const;

private:
    TtvsExecution& FExec;
    std::span<const std::unique_ptr<TTypedExpr>> FArgs;
};

class TMagicFuncSymbol;

// A magic function: calls evaluate the argument nodes directly, with no
// call frame. Descendants implement the one evaluation of their kind.
class TInternalMagicFunction : public TInternalFunction {
public:
    // Magic functions are never called through a program-info object.
    void Execute(TProgramInfo& info) override;
    TFuncSymbol* CreateSymbol(TSymbolTable& table, const std::u16string& name,
                              const TParamArray& params, std::u16string_view resultType,
                              TInternalFunctionFlags flags,
                              std::shared_ptr<TInternalFunction> self) override;
    // The call node for this function.
    virtual std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                                     const TScriptPos& pos) = 0;
};

class TInternalMagicIntFunction : public TInternalMagicFunction {
public:
    virtual int64_t DoEvalAsInteger(const TMagicArgs& args) = 0;
    std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                             const TScriptPos& pos) override;
};

class TInternalMagicBoolFunction : public TInternalMagicFunction {
public:
    virtual bool DoEvalAsBoolean(const TMagicArgs& args) = 0;
    std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                             const TScriptPos& pos) override;
};

class TInternalMagicFloatFunction : public TInternalMagicFunction {
public:
    virtual void DoEvalAsFloat(const TMagicArgs& args, double& result) = 0;
    std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                             const TScriptPos& pos) override;
};

class TInternalMagicStringFunction : public TInternalMagicFunction {
public:
    virtual void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) = 0;
    std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                             const TScriptPos& pos) override;
};

class TInternalMagicProcedure : public TInternalMagicFunction {
public:
    virtual void DoEvalProc(const TMagicArgs& args) = 0;
    std::unique_ptr<TTypedExpr> MakeCallNode(TtvsProgram& prog, TMagicFuncSymbol& func,
                                             const TScriptPos& pos) override;
};

// The symbol of a magic function; it keeps the function object alive.
class TMagicFuncSymbol final : public TFuncSymbol {
public:
    TMagicFuncSymbol(TSymbolTable& table, std::u16string_view resultTypeName,
                     const TParamArray& params, std::u16string name,
                     std::shared_ptr<TInternalMagicFunction> function)
        : TFuncSymbol(table, resultTypeName, params, std::move(name))
        , FFunction(std::move(function))
    {}
    TInternalMagicFunction& Function() const { return *FFunction; }

private:
    std::shared_ptr<TInternalMagicFunction> FFunction;
};

// ---------------------------------------------------------------------------
// Call nodes of host routines

// What the compiler needs of any call under construction: the routine, the
// argument list, and rebinding to another overload.
class TInternalFuncCallBase : public TPosDataExpr {
public:
    TInternalFuncCallBase(TFuncSymbol& func, const TScriptPos& pos);

    TFuncSymbol& Func() const { return *FFunc; }
    void SetFunc(TFuncSymbol& func);
    const TFuncSymbol* CalledFuncSymbol() const override { return FFunc; }

    std::vector<std::unique_ptr<TTypedExpr>>& Args() { return FArgs; }
    const std::vector<std::unique_ptr<TTypedExpr>>& Args() const { return FArgs; }
    void AddArg(std::unique_ptr<TTypedExpr> arg) { FArgs.push_back(std::move(arg)); }

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return static_cast<int>(FArgs.size()); }
    // A call has no storage of its own to write to.
    bool IsWritable() const override { return false; }
    TData& GetData(TtvsExecution& exec) const override;
    // Stateless routines with constant arguments are folded.
    bool IsConstant() const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

    // Called while handling what the routine itself raised: it becomes a
    // script error at the call. Script errors never come here; they pass
    // through calls unchanged.
    [[noreturn]] void RaiseFromCall(TtvsExecution& exec) const;

protected:
    TFuncSymbol* FFunc;
    std::vector<std::unique_ptr<TTypedExpr>> FArgs;
};

// A call of a general-style host function: the arguments are evaluated into
// slots on the native stack and the function reads them by name.
class TInternalFuncExpr final : public TInternalFuncCallBase {
public:
    using TInternalFuncCallBase::TInternalFuncCallBase;

    Variant Eval(TtvsExecution& exec) const override;
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    void Call(TtvsExecution& exec, Variant& result) const;
};

// A call of a magic function.
class TMagicFuncExpr : public TInternalFuncCallBase {
public:
    TMagicFuncExpr(TMagicFuncSymbol& func, const TScriptPos& pos);

protected:
    TInternalMagicFunction& Function() const;
};

class TMagicIntFuncExpr final : public TMagicFuncExpr {
public:
    using TMagicFuncExpr::TMagicFuncExpr;
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsInteger(exec)); }
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
    double EvalAsFloat(TtvsExecution& exec) const override
    {
        return static_cast<double>(EvalAsInteger(exec));
    }
};

class TMagicBoolFuncExpr final : public TMagicFuncExpr {
public:
    using TMagicFuncExpr::TMagicFuncExpr;
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsBoolean(exec)); }
    bool EvalAsBoolean(TtvsExecution& exec) const override;
};

class TMagicFloatFuncExpr final : public TMagicFuncExpr {
public:
    using TMagicFuncExpr::TMagicFuncExpr;
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsFloat(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const override;
};

class TMagicStringFuncExpr final : public TMagicFuncExpr {
public:
    using TMagicFuncExpr::TMagicFuncExpr;
    Variant Eval(TtvsExecution& exec) const override;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
};

class TMagicProcedureExpr final : public TMagicFuncExpr {
public:
    using TMagicFuncExpr::TMagicFuncExpr;
    Variant Eval(TtvsExecution& exec) const override;
    void EvalNoResult(TtvsExecution& exec) const override;
};

// ---------------------------------------------------------------------------
// Registration

using TInternalFunctionFactory = std::shared_ptr<TInternalFunction> (*)();

template <class T> std::shared_ptr<TInternalFunction> MakeInternalFunction()
{
    return std::make_shared<T>();
}

// One registered routine, in registration order.
struct TRegisteredInternalFunction {
    TInternalFunctionFactory Factory;
    std::u16string Name;
    TParamArray Params;
    std::u16string ResultType; // empty for a procedure
    TInternalFunctionFlags Flags = 0;
};

// Declares types and constants of the internal unit: (system table, unit table).
using TSymbolsRegistrationProc = void (*)(TSystemSymbolTable& systemTable, TSymbolTable& unitTable);

// Parameters as registration writes them: name, type pairs; "@name" is a var
// parameter, "&name" a const parameter, "name=value" has a default value
// (kept as a string until it is used).
TParamArray MakeParams(std::span<const std::u16string_view> nameTypePairs);

inline constexpr char16_t InternalUnitName[] = u"Internal";
inline constexpr char16_t RegistrationFailedMsg[] = u"AddInternalFunctions failed on %s\r\n%s";

// The process-wide unit "Internal": every registered routine, made into
// symbols once per system table in a shared static table that each
// compilation links to. Registration happens before compiling starts (a
// later registration drops the shared table, so the next compilation sees
// it); building tables holds the unit's lock, so compilations on several
// threads may ask for it at once.
class TInternalUnit final : public ItvsUnit {
public:
    static TInternalUnit& Instance();

    void AddFunction(TRegisteredInternalFunction record);
    void AddSymbolsRegistrationProc(TSymbolsRegistrationProc proc);

    std::u16string UnitName() const override { return InternalUnitName; }
    std::vector<std::u16string> Dependencies() const override { return {}; }
    // A new linked table over the shared static table of systemTable.
    TSymbolTable* CreateUnitTable(TSystemSymbolTable& systemTable) override;
    bool UsedImplicitly() const override { return true; }

    // The shared table of every registration over systemTable: built on the
    // first request for that system table, then the same table until
    // another system table is presented or a routine is registered.
    IStaticSymbolTable StaticTable(TSystemSymbolTable& systemTable);

private:
    TInternalUnit() = default;

    // Runs the symbol procedures and adds every registered routine; the
    // caller holds the lock.
    void FillTable(TSystemSymbolTable& systemTable, TSymbolTable& table) const;

    mutable std::mutex FLock;
    std::vector<TRegisteredInternalFunction> FFunctions;
    std::vector<TSymbolsRegistrationProc> FSymbolsProcs;
    // The static table has the system table as parent and so keeps it
    // alive: the pointer below cannot come to name another table.
    IStaticSymbolTable FStaticTable;
    const TSystemSymbolTable* FStaticSystemTable = nullptr;
};

void RegisterInternalFunction(TInternalFunctionFactory factory, std::u16string name,
                              std::initializer_list<std::u16string_view> params,
                              std::u16string resultType, TInternalFunctionFlags flags = 0);
void RegisterInternalProcedure(TInternalFunctionFactory factory, std::u16string name,
                               std::initializer_list<std::u16string_view> params);
void RegisterInternalIntFunction(TInternalFunctionFactory factory, std::u16string name,
                                 std::initializer_list<std::u16string_view> params,
                                 TInternalFunctionFlags flags = 0);
void RegisterInternalBoolFunction(TInternalFunctionFactory factory, std::u16string name,
                                  std::initializer_list<std::u16string_view> params,
                                  TInternalFunctionFlags flags = 0);
void RegisterInternalFloatFunction(TInternalFunctionFactory factory, std::u16string name,
                                   std::initializer_list<std::u16string_view> params,
                                   TInternalFunctionFlags flags = 0);
void RegisterInternalStringFunction(TInternalFunctionFactory factory, std::u16string name,
                                    std::initializer_list<std::u16string_view> params,
                                    TInternalFunctionFlags flags = 0);
void RegisterInternalSymbolsProc(TSymbolsRegistrationProc proc);

// Adds one host routine to a table directly (the script component's unit
// and the result types register this way).
TFuncSymbol* AddInternalFunction(TSymbolTable& table, const TRegisteredInternalFunction& record);

// ---------------------------------------------------------------------------
// The system scope

// Builds the shared system table: the base types, Null and Unassigned, and
// the host parameter routines.
TRefPtr<TSystemSymbolTable> CreateSystemSymbolTable();
// The process-wide system table, built on first use. Configurations share
// it, so that what is built over it (the internal unit's table) is built
// once per process rather than once per configuration.
TRefPtr<TSystemSymbolTable> SharedSystemSymbolTable();

// Print and PrintLn of the default result: the text of "v" goes to the
// running execution's result.
class TPrintFunction final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override;
};

class TPrintLnFunction final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override;
};

// Registers Print and PrintLn in table.
void AddPrintFunctions(TSymbolTable& table);
