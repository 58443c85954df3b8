#include "tvsExprs.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <random>
#include <typeinfo>

#include "tvsCoreExprs.h"
#include "tvsGuardian.h"
#include "tvsXPlatform.h"

namespace {

constexpr char16_t CrLf[] = u"\r\n";
constexpr char16_t TypeReferenceEvaluatedMsg[] = u"Type reference cannot be evaluated (%s)";

void DefaultMisuseReporter(const std::u16string& text)
{
    std::string utf8;
    for (char16_t c : text)
        utf8 += c < 0x80 ? static_cast<char>(c) : '?';
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

std::atomic<TMisuseReporter> MisuseReporter{&DefaultMisuseReporter};

void ReportMisuse(const std::u16string& text)
{
    MisuseReporter.load()(text);
}

// The conversion a typed default evaluation makes, with the cast error
// turned into the script engine's own, which names what failed.
template <class F> auto ConvertVariant(const Variant& value, const char16_t* target, F convert)
{
    try {
        return convert(value);
    } catch (const EVariantTypeCastError& e) {
        throw EtvsVariantTypeCastError(
            FormatText(VariantCastFailedMsg, {VarTypeName(value.Type()), target, e.ClassName()}));
    }
}

} // namespace

void SetMisuseReporter(TMisuseReporter reporter)
{
    MisuseReporter.store(reporter ? reporter : &DefaultMisuseReporter);
}

// ---------------------------------------------------------------------------
// TExprBase

void TExprBase::operator delete(TExprBase* expr, std::destroying_delete_t)
{
    if (expr->FShared)
        return;
    // The most derived object starts where the allocation does.
    void* block = dynamic_cast<void*>(expr);
    expr->~TExprBase();
    ::operator delete(block);
}

TExprBase* TExprBase::GetSubExpr(int /*index*/) const
{
    return nullptr;
}

int TExprBase::GetSubExprCount() const
{
    return 0;
}

std::u16string TExprBase::ScriptLocation(const TtvsProgram* prog) const
{
    std::u16string text;
    if (prog != nullptr && prog->Func() != nullptr)
        text = prog->Func()->QualifiedName();
    return text + PositionText(GetScriptPos());
}

// ---------------------------------------------------------------------------
// TProgramExpr

int64_t TProgramExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const Variant value = Eval(exec);
    return ConvertVariant(value, u"Integer", [](const Variant& v) { return v.ToInteger(); });
}

bool TProgramExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    const Variant value = Eval(exec);
    return ConvertVariant(value, u"Boolean", [](const Variant& v) { return v.ToBoolean(); });
}

double TProgramExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const Variant value = Eval(exec);
    return ConvertVariant(value, u"Float", [](const Variant& v) { return v.ToFloat(); });
}

void TProgramExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    const Variant value = Eval(exec);
    result = ConvertVariant(value, u"String", [](const Variant& v) { return v.ToString(); });
}

void TProgramExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    result = Eval(exec);
}

void TProgramExpr::EvalAsScriptObj(TtvsExecution& exec, TScriptObjRef& result) const
{
    const Variant value = Eval(exec);
    result = value.ToObject();
}

void TProgramExpr::AssignValue(TtvsExecution& exec, const Variant& /*value*/) const
{
    RaiseScriptError(exec, FormatText(CannotAssignToMsg, {ClassName()}));
}

void TProgramExpr::AssignValueAsInteger(TtvsExecution& exec, int64_t value) const
{
    AssignValue(exec, Variant(value));
}

void TProgramExpr::AssignValueAsBoolean(TtvsExecution& exec, bool value) const
{
    AssignValue(exec, Variant(value));
}

void TProgramExpr::AssignValueAsFloat(TtvsExecution& exec, double value) const
{
    AssignValue(exec, Variant(value));
}

void TProgramExpr::AssignValueAsString(TtvsExecution& exec, const UnicodeString& value) const
{
    AssignValue(exec, Variant(value));
}

void TProgramExpr::AssignValueAsScriptObj(TtvsExecution& exec, TRefCountedObject* value) const
{
    AssignValue(exec, Variant(value));
}

TExprBase* TProgramExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    return this;
}

void TProgramExpr::EvalNoResult(TtvsExecution& exec) const
{
    Eval(exec);
}

std::u16string TProgramExpr::ClassName() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    const char* name = status == 0 && demangled != nullptr ? demangled : mangled;
    std::u16string result;
    for (const char* p = name; *p != 0; ++p)
        result += static_cast<char16_t>(static_cast<unsigned char>(*p));
    std::free(demangled);
    return result;
}

void TProgramExpr::RaiseScriptError(TtvsExecution& exec, std::u16string message) const
{
    RaiseScriptError(exec, EScriptError(std::move(message)));
}

void TProgramExpr::RaiseScriptError(TtvsExecution& exec) const
{
    try {
        throw;
    } catch (const Exception& e) {
        EScriptError error(e.Message());
        error.SetRawClassName(e.ClassName());
        RaiseScriptError(exec, std::move(error));
    }
}

void TProgramExpr::RaiseUpperExceeded(TtvsExecution& exec, int64_t index) const
{
    RaiseScriptError(exec, EScriptOutOfBounds(FormatText(UpperBoundExceededMsg, {index})));
}

void TProgramExpr::RaiseLowerExceeded(TtvsExecution& exec, int64_t index) const
{
    RaiseScriptError(exec, EScriptOutOfBounds(FormatText(LowerBoundExceededMsg, {index})));
}

namespace {

// Optimize under the compile-error rule: whatever goes wrong becomes a
// compile exception at the compiler's position.
template <class T>
std::unique_ptr<T> OptimizeChecked(std::unique_ptr<T> expr, TtvsProgram& prog, TtvsExecution& exec,
                                   const TScriptPos& pos)
{
    try {
        OptimizeExpr(expr, prog, exec, pos);
    } catch (const ECompileException&) {
        throw;
    } catch (const Exception& e) {
        throw ECompileException(pos, e.Message());
    }
    return expr;
}

} // namespace

std::unique_ptr<TTypedExpr> TProgramExpr::OptimizeToTypedExpr(std::unique_ptr<TTypedExpr> expr,
                                                              TtvsProgram& prog,
                                                              TtvsExecution& exec,
                                                              const TScriptPos& pos)
{
    return OptimizeChecked(std::move(expr), prog, exec, pos);
}

std::unique_ptr<TNoResultExpr>
TNoResultExpr::OptimizeToNoResultExpr(std::unique_ptr<TNoResultExpr> expr, TtvsProgram& prog,
                                      TtvsExecution& exec, const TScriptPos& pos)
{
    return OptimizeChecked(std::move(expr), prog, exec, pos);
}

// ---------------------------------------------------------------------------
// TTypedExpr

TTypeSymbol* TTypedExpr::GetBaseType() const
{
    return FTyp != nullptr ? FTyp->BaseType() : nullptr;
}

void TTypedExpr::CheckScriptObject(TtvsExecution& exec, const TRefCountedObject* obj) const
{
    // FIXME: destroyed objects ("Object already destroyed") are recognised
    // once script objects carry their destroyed state.
    if (obj == nullptr)
        RaiseScriptError(exec, std::u16string(ObjectNotInstantiatedMsg));
}

void TTypedExpr::CheckInterface(TtvsExecution& exec, const TRefCountedObject* intf) const
{
    if (intf == nullptr)
        RaiseScriptError(exec, std::u16string(InterfaceIsNilMsg));
}

bool TTypedExpr::IsOfType(TTypeSymbol* typ) const
{
    return ExprIsOfType(this, typ);
}

bool ExprIsOfType(const TTypedExpr* expr, TTypeSymbol* typ)
{
    return expr != nullptr && expr->Typ() != nullptr && typ != nullptr
           && expr->Typ()->IsOfType(typ);
}

// ---------------------------------------------------------------------------
// Statements

Variant TNoResultExpr::Eval(TtvsExecution& exec) const
{
    EvalNoResult(exec);
    return Variant();
}

TExprBase* TBlockExprBase::GetSubExpr(int index) const
{
    return FStatements[static_cast<size_t>(index)].get();
}

void TBlockExprBase::AddStatement(std::unique_ptr<TNoResultExpr> statement)
{
    FStatements.push_back(std::move(statement));
}

std::unique_ptr<TNoResultExpr> TBlockExprBase::ExtractStatement(int index)
{
    auto pos = FStatements.begin() + index;
    std::unique_ptr<TNoResultExpr> statement = std::move(*pos);
    FStatements.erase(pos);
    return statement;
}

void TBlockExprBase::ReplaceStatement(int index, std::unique_ptr<TNoResultExpr> statement)
{
    FStatements[static_cast<size_t>(index)] = std::move(statement);
}

void TBlockInitExpr::EvalNoResult(TtvsExecution& exec) const
{
    for (const auto& statement : FStatements)
        statement->EvalNoResult(exec);
}

TNoResultWrapperExpr::TNoResultWrapperExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> expr)
    : TNoResultExpr(pos)
    , FExpr(std::move(expr))
{}

TExprBase* TNoResultWrapperExpr::GetSubExpr(int /*index*/) const
{
    return FExpr.get();
}

bool TNoResultWrapperExpr::IsConstant() const
{
    return FExpr->IsConstant();
}

void TNoResultWrapperExpr::EvalNoResult(TtvsExecution& exec) const
{
    FExpr->EvalNoResult(exec);
}

Variant TTypeReferenceExpr::Eval(TtvsExecution& exec) const
{
    // The compiler never lets a type name be evaluated; should it ever
    // happen, the run ends with an error instead of a made-up value.
    RaiseScriptError(exec, FormatText(TypeReferenceEvaluatedMsg, {ClassName()}));
}

// ---------------------------------------------------------------------------
// TDataExpr

int32_t TDataExpr::GetAddr(TtvsExecution& /*exec*/) const
{
    return 0;
}

TDataExpr::TDataPtr TDataExpr::GetDataPtr(TtvsExecution& exec) const
{
    // Address first: computing it may grow nothing, but the data reference
    // must be the last thing taken.
    const int32_t addr = GetAddr(exec);
    return {&GetData(exec), addr};
}

Variant TDataExpr::Eval(TtvsExecution& exec) const
{
    return GetDataPtr(exec).Slot();
}

void TDataExpr::CheckWritable(TtvsExecution& exec) const
{
    if (!IsWritable())
        RaiseScriptError(exec, FormatText(CannotAssignToMsg, {ClassName()}));
}

void TDataExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    CheckWritable(exec);
    GetDataPtr(exec).Slot() = value;
}

int32_t TDataExpr::TypeSize() const
{
    return FTyp != nullptr ? FTyp->Size() : 1;
}

void TDataExpr::AssignData(TtvsExecution& exec, const TData& source, int32_t sourceAddr) const
{
    CheckWritable(exec);
    const TDataPtr target = GetDataPtr(exec);
    CopyData(source, sourceAddr, *target.Data, target.Addr, TypeSize());
}

void TDataExpr::AssignDataExpr(TtvsExecution& exec, const TDataExpr& source) const
{
    // Copy out first: source and target may be the same array, and taking
    // the target's address may move it.
    const TDataPtr from = source.GetDataPtr(exec);
    TData copy(from.Data->begin() + from.Addr, from.Data->begin() + from.Addr + TypeSize());
    AssignData(exec, copy, 0);
}

void TDataExpr::AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const
{
    CheckWritable(exec);
    // Evaluate before taking the slot: the evaluation may grow the stack.
    Variant value;
    source.EvalAsVariant(exec, value);
    GetDataPtr(exec).Slot() = std::move(value);
}

// ---------------------------------------------------------------------------
// Operator families

TBinaryOpExpr::TBinaryOpExpr(TtvsProgram& /*prog*/, std::unique_ptr<TTypedExpr> left,
                             std::unique_ptr<TTypedExpr> right)
    : FLeft(std::move(left))
    , FRight(std::move(right))
{}

TExprBase* TBinaryOpExpr::GetSubExpr(int index) const
{
    return index == 0 ? FLeft.get() : FRight.get();
}

bool TBinaryOpExpr::IsConstant() const
{
    return FLeft->IsConstant() && FRight->IsConstant();
}

TVariantBinOpExpr::TVariantBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                     std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
{
    FTyp = prog.TypVariant();
}

Variant TVariantBinOpExpr::Eval(TtvsExecution& exec) const
{
    Variant result;
    EvalAsVariant(exec, result);
    return result;
}

TExprBase* TVariantBinOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    Variant value;
    EvalAsVariant(exec, value);
    return CreateUnifiedConst(prog, FTyp, value);
}

TIntOperand TIntOperand::Of(const TTypedExpr* expr)
{
    TIntOperand operand;
    if (expr == nullptr)
        return operand;
    if (typeid(*expr) == typeid(TIntVarExpr)) {
        operand.Kind = okVar;
        operand.Addr = static_cast<const TIntVarExpr*>(expr)->StackAddr();
    } else if (typeid(*expr) == typeid(TConstIntExpr)) {
        operand.Kind = okConst;
        operand.Value = static_cast<const TConstIntExpr*>(expr)->Value();
    }
    return operand;
}

TIntegerBinOpExpr::TIntegerBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                     std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
    , FLeftOp(TIntOperand::Of(FLeft.get()))
    , FRightOp(TIntOperand::Of(FRight.get()))
{
    FTyp = prog.TypInteger();
}

TExprBase* TIntegerBinOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    return UnifiedConstInt(prog, FTyp, EvalAsInteger(exec));
}

TStringBinOpExpr::TStringBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                   std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
{
    FTyp = prog.TypString();
}

Variant TStringBinOpExpr::Eval(TtvsExecution& exec) const
{
    UnicodeString result;
    EvalAsString(exec, result);
    return Variant(std::move(result));
}

TExprBase* TStringBinOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    UnicodeString value;
    EvalAsString(exec, value);
    return UnifiedConstString(prog, FTyp, value);
}

TFloatBinOpExpr::TFloatBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                 std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
{
    FTyp = prog.TypFloat();
}

TExprBase* TFloatBinOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (IsConstant())
        return UnifiedConstFloat(prog, FTyp, EvalAsFloat(exec));
    // A constant integer operand is turned into the equal float once here
    // instead of at every evaluation.
    for (std::unique_ptr<TTypedExpr>* operand : {&FLeft, &FRight}) {
        TTypedExpr& expr = **operand;
        if (expr.IsConstant() && ExprIsOfType(&expr, prog.TypInteger()))
            operand->reset(UnifiedConstFloat(prog, nullptr, expr.EvalAsFloat(exec)));
    }
    return this;
}

TBooleanBinOpExpr::TBooleanBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                     std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
{
    FTyp = prog.TypBoolean();
}

TExprBase* TBooleanBinOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    return UnifiedConstBoolean(prog, FTyp, EvalAsBoolean(exec));
}

TUnaryOpExpr::TUnaryOpExpr(TtvsProgram& /*prog*/, std::unique_ptr<TTypedExpr> expr)
    : FExpr(std::move(expr))
{}

TExprBase* TUnaryOpExpr::GetSubExpr(int /*index*/) const
{
    return FExpr.get();
}

bool TUnaryOpExpr::IsConstant() const
{
    return FExpr->IsConstant();
}

TUnaryOpBoolExpr::TUnaryOpBoolExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr)
    : TUnaryOpExpr(prog, std::move(expr))
{
    FTyp = prog.TypBoolean();
}

TUnaryOpIntExpr::TUnaryOpIntExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr)
    : TUnaryOpExpr(prog, std::move(expr))
    , FOperandOp(TIntOperand::Of(FExpr.get()))
{
    FTyp = prog.TypInteger();
}

TExprBase* TUnaryOpIntExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    return UnifiedConstInt(prog, FTyp, EvalAsInteger(exec));
}

TUnaryOpFloatExpr::TUnaryOpFloatExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr)
    : TUnaryOpExpr(prog, std::move(expr))
{
    FTyp = prog.TypFloat();
}

TExprBase* TUnaryOpFloatExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!IsConstant())
        return this;
    return UnifiedConstFloat(prog, FTyp, EvalAsFloat(exec));
}

TUnaryOpStringExpr::TUnaryOpStringExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr)
    : TUnaryOpExpr(prog, std::move(expr))
{
    FTyp = prog.TypString();
}

Variant TUnaryOpStringExpr::Eval(TtvsExecution& exec) const
{
    UnicodeString result;
    EvalAsString(exec, result);
    return Variant(std::move(result));
}

TUnaryOpVariantExpr::TUnaryOpVariantExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr)
    : TUnaryOpExpr(prog, std::move(expr))
{
    FTyp = prog.TypVariant();
}

Variant TUnaryOpVariantExpr::Eval(TtvsExecution& exec) const
{
    Variant result;
    EvalAsVariant(exec, result);
    return result;
}

void TTypedExprList::SetDefaultExpected(std::unique_ptr<TParamSymbol> param)
{
    FDefaultExpected = std::move(param);
}

TParamSymbol* TTypedExprList::ExpectedParam() const
{
    if (FTable != nullptr && FTable->Count() > Count())
        return FTable->Param(Count());
    return FDefaultExpected.get();
}

// ---------------------------------------------------------------------------
// Run-time error messages

std::u16string CallStackText(const TtvsExprLocationArray& callStack)
{
    std::u16string text;
    for (const TtvsExprLocation& location : callStack) {
        if (!text.empty())
            text += CrLf;
        if (location.Expr != nullptr)
            text += location.Expr->ScriptLocation(location.Prog);
    }
    return text;
}

namespace {

std::u16string CalledRoutineName(const TtvsExprLocation& location)
{
    const TFuncSymbol* func =
        location.Expr != nullptr ? location.Expr->CalledFuncSymbol() : nullptr;
    return func != nullptr ? func->QualifiedName() : std::u16string();
}

} // namespace

std::u16string TRuntimeErrorMessage::FormattedText() const
{
    std::u16string s = Text();
    if (!FCallStack.empty())
        s += u" in " + CalledRoutineName(FCallStack.back());
    if (ScriptPos().SourceFile != nullptr && !ScriptPos().IsNull())
        s += PositionText(ScriptPos());
    if (!FCallStack.empty())
        s += CrLf + CallStackText(FCallStack);
    return u"Runtime Error: " + s;
}

void AddRuntimeError(TtvsRuntimeMessageList& list, std::u16string text)
{
    list.AddError(std::make_unique<TRuntimeErrorMessage>(TScriptPos(), std::move(text),
                                                         TtvsExprLocationArray()));
}

void AddRuntimeError(TtvsRuntimeMessageList& list, const TScriptPos& pos, std::u16string text,
                     TtvsExprLocationArray callStack)
{
    list.AddError(
        std::make_unique<TRuntimeErrorMessage>(pos, std::move(text), std::move(callStack)));
}

// ---------------------------------------------------------------------------
// TtvsExecution

TtvsExecution::TtvsExecution(const TStackParameters& stackParams) : FStack(stackParams)
{}

TtvsExecution::~TtvsExecution() = default;

void TtvsExecution::SlowStatementStep(const TExprBase* expr)
{
    if (ProgramState() == psRunningStopped)
        RaiseStopped(expr);
    if (FIsDebugging)
        FDebugger->NotifyStatement(*this, expr);
}

void TtvsExecution::RaiseStopped(const TExprBase* expr)
{
    EScriptStopped error{std::u16string(ScriptStoppedMsg)};
    if (expr != nullptr)
        error.SetScriptPos(expr->GetScriptPos());
    error.SetScriptCallStack(GetCallStack());
    throw error;
}

TtvsExprLocationArray TtvsExecution::GetCallStack() const
{
    TtvsExprLocationArray stack;
    if (FCallStack.size() > 1) {
        stack.reserve(FCallStack.size() - 1);
        for (size_t i = FCallStack.size() - 1; i >= 1; --i)
            stack.push_back(FCallStack[i]);
    }
    return stack;
}

int TtvsExecution::CallStackDepth() const
{
    return static_cast<int>(FCallStack.size()) - 1;
}

std::u16string TtvsExecution::LocalizeSymbol(const TResourceStringSymbol& symbol) const
{
    return symbol.Value();
}

void TtvsExecution::ResetCallStack(const TtvsProgram* prog)
{
    FCallStack.clear();
    FCallStack.push_back({nullptr, prog});
}

void TtvsExecution::EnterRecursion(const TExprBase* callExpr)
{
    FCallStack.push_back({callExpr, FCurrentProg});
    const int32_t maxDepth = FStack.MaxRecursionDepth();
    if (static_cast<int64_t>(FCallStack.size()) > maxDepth) {
        FCallStack.pop_back();
        SetErrorLocation(callExpr);
        throw EScriptStackOverflow(FormatText(MaxRecursionExceededMsg, {maxDepth}));
    }
    if (FIsDebugging)
        FDebugger->NotifyEnterCall(*this, callExpr);
}

void TtvsExecution::LeaveRecursion()
{
    if (FIsDebugging)
        FDebugger->NotifyLeaveCall(*this, FCallStack.back());
    FCurrentProg = FCallStack.back().Prog;
    FCallStack.pop_back();
}

void TtvsExecution::SetErrorLocation(const TExprBase* expr)
{
    if (FErrorLocation != nullptr)
        return;
    FErrorLocation = expr;
    FErrorCallStack = GetCallStack();
}

void TtvsExecution::ClearErrorLocation()
{
    FErrorLocation = nullptr;
    FErrorCallStack.clear();
}

void TtvsExecution::SetDebugger(IDebugger* debugger)
{
    FDebugger = debugger;
    SetIsDebugging(debugger != nullptr);
}

void TtvsExecution::StartDebug()
{
    SetIsDebugging(FDebugger.Get() != nullptr);
    if (FIsDebugging)
        FDebugger->StartDebug(*this);
}

void TtvsExecution::StopDebug()
{
    if (FDebugger)
        FDebugger->StopDebug(*this);
    SetIsDebugging(false);
}

double TtvsExecution::Random()
{
    uint64_t x = FRandSeed;
    if (x == 0) {
        x = DefaultRandSeed;
    } else {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
    }
    FRandSeed = x;
    // 63 random bits do not fit a double: the largest states round up to
    // 1.0, which Random must never return (RandomInt(n) would reach n).
    constexpr double LargestBelowOne = 0x1.fffffffffffffp-1;
    const double value = std::ldexp(static_cast<double>(x >> 1), -63);
    return value < 1.0 ? value : LargestBelowOne;
}

// ---------------------------------------------------------------------------
// TtvsProgramExecution

namespace {

// A host random value in [0, 2147483646]. Opening the system's random
// device for every run costs more than running a small page, so it is read
// once per process; each run then takes the next value of a SplitMix64
// sequence from there, which any thread may draw from at once.
uint64_t HostRandomValue()
{
    static std::atomic<uint64_t> state{[] {
        std::random_device device;
        return (uint64_t{device()} << 32) ^ uint64_t{device()};
    }()};
    uint64_t z = state.fetch_add(0x9E3779B97F4A7C15, std::memory_order_relaxed)
                 + 0x9E3779B97F4A7C15;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    z ^= z >> 31;
    return z % 2147483647;
}

uint64_t InitialRandSeed()
{
    return (HostRandomValue() << 15) ^ TtvsExecution::DefaultRandSeed;
}

// Withdraws a time-out however the run ends.
class TGuardRegistration final {
public:
    TGuardRegistration(TtvsProgramExecution* exec, int32_t timeoutMs)
        : FExec(timeoutMs > 0 ? exec : nullptr)
    {
        if (FExec != nullptr)
            GuardExecution(FExec, timeoutMs);
    }
    ~TGuardRegistration()
    {
        if (FExec != nullptr)
            TtvsGuardianThread::Instance().ForgetExecution(FExec);
    }
    TGuardRegistration(const TGuardRegistration&) = delete;
    TGuardRegistration& operator=(const TGuardRegistration&) = delete;

private:
    TtvsProgramExecution* FExec;
};

// An assertion's text without its position part: cut before the last "["
// together with the blank in front of it.
std::u16string CutBeforeLastBracket(const std::u16string& text)
{
    const size_t bracket = text.rfind(u'[');
    if (bracket == std::u16string::npos || bracket == 0)
        return {};
    return text.substr(0, bracket - 1);
}

} // namespace

TtvsProgramExecution::TtvsProgramExecution(TtvsMainProgram& prog)
    : TtvsExecution(prog.StackParameters())
    , FProg(&prog)
{
    FRandSeed = InitialRandSeed();
    FUserObject = prog.DefaultUserObject();
    ResetCallStack(&prog);
    FCurrentProg = &prog;
    SetProgramState(prog.Messages().HasErrors() ? psUndefined : psReadyToRun);
    std::lock_guard lock(prog.FExecutionsLock);
    prog.FExecutions.push_back(this);
}

TtvsProgramExecution::~TtvsProgramExecution()
{
    // A destructor must not raise: misuse is reported, and the run's state is
    // released anyway so that nothing leaks.
    const TProgramState state = ProgramState();
    if (state == psRunning)
        ReportMisuse(StillRunningMsg);
    if (state == psRunning || state == psRunningStopped) {
        try {
            EndProgram();
        } catch (...) {
            // Nothing may escape a destructor; the messages die with us.
        }
    }
    FProg->RemoveExecution(this);
}

void TtvsProgramExecution::Execute(int32_t timeoutMs)
{
    // The run keeps its execution alive even if the caller lets go (an
    // execution nobody holds yet must not be freed by this reference).
    TRefPtr<TtvsProgramExecution> self(RefCount() > 0 ? this : nullptr);
    BeginProgram();
    if (ProgramState() == psRunning)
        RunProgram(timeoutMs);
    const TProgramState state = ProgramState();
    if (state == psRunning || state == psRunningStopped)
        EndProgram();
}

void TtvsProgramExecution::ExecuteParam(const TData& params, int32_t timeoutMs)
{
    FParameters = params;
    Execute(timeoutMs);
}

void TtvsProgramExecution::ExecuteParam(const Variant& params, int32_t timeoutMs)
{
    FParameters.assign(1, params);
    Execute(timeoutMs);
}

void TtvsProgramExecution::BeginProgram()
{
    switch (ProgramState()) {
    case psReadyToRun:
        break;
    case psUndefined:
        AddRuntimeError(FMessages, CompiledWithErrorsMsg);
        return;
    case psRunning:
    case psRunningStopped:
        AddRuntimeError(FMessages, AlreadyRunningMsg);
        return;
    default:
        AddRuntimeError(FMessages, ReadyToRunExpectedMsg);
        return;
    }
    SetProgramState(psRunning);
    try {
        FMessages.Clear();
        ClearErrorLocation();
        ResetCallStack(FProg.Get());
        FCurrentProg = FProg.Get();
        FStack.Reset();
        FStack.Push(FProg->DataSize() + FProg->GlobalAddrGenerator().DataSize);
        FStack.PushSavedBp(0, 0);
        FResult.reset();
        FResult = FProg->ResultType().CreateProgResult();
        StartDebug();
        FStatus = fsNone;
        FProg->InitExpr().EvalNoResult(*this);
        TNoResultExpr* body = FProg->Expr();
        if (body != nullptr && dynamic_cast<TBlockExprBase*>(body) == nullptr)
            StatementStep(body);
    } catch (...) {
        HandleRunException(std::current_exception());
        SetProgramState(psRunningStopped);
    }
}

void TtvsProgramExecution::RunProgram(int32_t timeoutMs)
{
    if (ProgramState() != psRunning) {
        AddRuntimeError(FMessages, RunningExpectedMsg);
        return;
    }
    if (timeoutMs == 0)
        timeoutMs = FProg->TimeoutMilliseconds();
    {
        TGuardRegistration registration(this, timeoutMs);
        try {
            FStatus = fsNone;
            if (TNoResultExpr* body = FProg->Expr())
                body->EvalNoResult(*this);
            if (FStatus == fsBreak)
                AddRuntimeError(FMessages, BreakOutsideLoopMsg);
            else if (FStatus == fsContinue)
                AddRuntimeError(FMessages, ContinueOutsideLoopMsg);
        } catch (...) {
            HandleRunException(std::current_exception());
        }
    }
    ClearErrorLocation();
}

void TtvsProgramExecution::HandleRunException(std::exception_ptr error)
{
    // A host exception without a position of its own is reported where the
    // first block or call it passed recorded it.
    const auto addAtErrorLocation = [this](std::u16string text, bool nameRoutine) {
        TScriptPos pos;
        if (FErrorLocation != nullptr) {
            pos = FErrorLocation->GetScriptPos();
            if (nameRoutine) {
                if (const TFuncSymbol* func = FErrorLocation->CalledFuncSymbol())
                    text += u" in " + func->QualifiedName();
            }
        } else if (FIsDebugging) {
            if (const TExprBase* step = FDebugger->CurrentStepExpr())
                pos = step->GetScriptPos();
        }
        AddRuntimeError(FMessages, pos, std::move(text), FErrorCallStack);
    };
    try {
        std::rethrow_exception(error);
    } catch (const EScriptAssertionFailed& e) {
        AddRuntimeError(FMessages, e.ScriptPos(), CutBeforeLastBracket(e.Message()),
                        e.ScriptCallStack());
    } catch (const EScriptException& e) {
        AddRuntimeError(FMessages, e.ScriptPos(), e.Message(), e.ScriptCallStack());
    } catch (const EScriptError& e) {
        // Value nodes have no position of their own; the statement the error
        // passed through says where it happened.
        if (e.ScriptPos().IsNull() && FErrorLocation != nullptr)
            AddRuntimeError(FMessages, FErrorLocation->GetScriptPos(), e.Message(),
                            FErrorCallStack);
        else
            AddRuntimeError(FMessages, e.ScriptPos(), e.Message(), e.ScriptCallStack());
    } catch (const EScriptStackException& e) {
        // Stack overflows included.
        addAtErrorLocation(e.Message(), false);
    } catch (const Exception& e) {
        addAtErrorLocation(e.Message(), true);
    }
}

void TtvsProgramExecution::EndProgram()
{
    const TProgramState state = ProgramState();
    if (state != psRunning && state != psRunningStopped)
        throw Exception(NotStartedMsg);
    SetProgramState(psTerminated);
    try {
        ReleaseRunState();
        SetProgramState(psReadyToRun);
    } catch (const EScriptError& e) {
        AddRuntimeError(FMessages, e.ScriptPos(), e.Message(), e.ScriptCallStack());
    } catch (const Exception& e) {
        AddRuntimeError(FMessages, e.Message());
    }
}

void TtvsProgramExecution::ReleaseRunState()
{
    FStack.PopSavedBp(0);
    FStack.Pop(FStack.StackPointer());
    FExceptionObjectStack.clear();
    StopDebug();
}

// ---------------------------------------------------------------------------
// Programs

TtvsProgram::TtvsProgram(TtvsProgram* parent, int16_t level)
    : FInitExpr(std::make_unique<TBlockInitExpr>(TScriptPos()))
    , FAddrGenerator(level, false)
    , FParent(parent)
    , FRoot(parent != nullptr ? &parent->Root() : nullptr)
{
    if (parent != nullptr) {
        FMessages = &parent->Messages();
        CopyTypesFrom(parent->Root());
    }
}

TtvsProgram::~TtvsProgram()
{
    // The tree goes before the tables its nodes point into.
    FExpr.reset();
    FInitExpr.reset();
}

void TtvsProgram::SetExpr(std::unique_ptr<TNoResultExpr> expr)
{
    FExpr = std::move(expr);
}

void TtvsProgram::SetTable(std::unique_ptr<TSymbolTable> table)
{
    FTable = std::move(table);
    FCurrentTable = FTable.get();
}

int32_t TtvsProgram::GetTempAddr(int32_t size)
{
    return FAddrGenerator.GetStackAddr(size);
}

int32_t TtvsProgram::GetGlobalAddr(int32_t size)
{
    return Root().GlobalAddrGenerator().GetStackAddr(size);
}

void TtvsProgram::SetBaseTypes(const TBaseTypes& types)
{
    FTypBoolean = types.Boolean;
    FTypFloat = types.Float;
    FTypInteger = types.Integer;
    FTypObject = types.Object;
    FTypString = types.String;
    FTypVariant = types.Variant;
    FTypException = types.Exception;
    FTypInterface = types.Interface;
    // The constants nearly every program uses are there from the start.
    if (FParent == nullptr && Root().UnifiedConstList().Count() == 0) {
        if (FTypString != nullptr)
            UnifiedConstString(*this, nullptr, UnicodeString());
        if (FTypInteger != nullptr) {
            for (int64_t value = -1; value <= 2; ++value)
                UnifiedConstInt(*this, nullptr, value);
        }
        if (FTypFloat != nullptr)
            UnifiedConstFloat(*this, nullptr, 0.0);
    }
}

void TtvsProgram::CopyTypesFrom(const TtvsProgram& other)
{
    FTypBoolean = other.FTypBoolean;
    FTypFloat = other.FTypFloat;
    FTypInteger = other.FTypInteger;
    FTypNil = other.FTypNil;
    FTypObject = other.FTypObject;
    FTypString = other.FTypString;
    FTypVariant = other.FTypVariant;
    FTypException = other.FTypException;
    FTypInterface = other.FTypInterface;
}

TtvsMainProgram::TtvsMainProgram(const TStackParameters& stackParams,
                                 std::shared_ptr<TtvsResultType> resultType)
    : TtvsProgram(nullptr, 0)
    , FUnifiedConstList(std::make_unique<TUnifiedConstList>())
    , FOwnNilType(std::make_unique<TNilSymbol>())
    , FStackParameters(stackParams)
    , FResultType(resultType ? std::move(resultType) : std::make_shared<TtvsDefaultResultType>())
{
    FRoot = this;
    FMessages = &FOwnMessages;
    FTypNil = FOwnNilType.get();
    FGlobalAddrGenerator = TAddrGenerator(0, false);
}

TtvsMainProgram::~TtvsMainProgram()
{
    // Executions hold their program, so none can be alive here unless a host
    // freed the program by hand; that is reported, never raised.
    if (const int count = ExecutionCount(); count > 0)
        ReportMisuse(FormatText(LiveExecutionsMsg, {count}));
    // Nodes (which may share unified constants) go before the constants.
    FExpr.reset();
    FInitExpr.reset();
    FUnifiedConstList.reset();
}

int16_t TtvsMainProgram::NextStackLevel(int16_t level)
{
    const int16_t next = static_cast<int16_t>(level + 1);
    if (next > FStackParameters.MaxLevel)
        FStackParameters.MaxLevel = next;
    return next;
}

const TSourceFile* TtvsMainProgram::RegisterSourceFile(const std::u16string& name,
                                                       const std::u16string& text)
{
    for (const auto& file : FSourceFiles) {
        if (FastSameText(file->Name(), name) && file->Code() == text)
            return file.get();
    }
    FSourceFiles.push_back(std::make_unique<TSourceFile>(name, text));
    return FSourceFiles.back().get();
}

const TSourceFile* TtvsMainProgram::FindSourceFile(const std::u16string& name) const
{
    for (const auto& file : FSourceFiles) {
        if (FastSameText(file->Name(), name))
            return file.get();
    }
    return nullptr;
}

ItvsProgramExecution TtvsMainProgram::CreateNewExecution()
{
    if (Messages().HasErrors())
        throw EScriptException(CompiledWithErrorsMsg, Variant(), nullptr);
    return ItvsProgramExecution(new TtvsProgramExecution(*this));
}

ItvsProgramExecution TtvsMainProgram::BeginNewExecution()
{
    ItvsProgramExecution exec = CreateNewExecution();
    exec->BeginProgram();
    return exec;
}

ItvsProgramExecution TtvsMainProgram::Execute(int32_t timeoutMs)
{
    ItvsProgramExecution exec = CreateNewExecution();
    exec->Execute(timeoutMs);
    return exec;
}

ItvsProgramExecution TtvsMainProgram::ExecuteParam(const TData& params, int32_t timeoutMs)
{
    ItvsProgramExecution exec = CreateNewExecution();
    exec->ExecuteParam(params, timeoutMs);
    return exec;
}

int TtvsMainProgram::ExecutionCount() const
{
    std::lock_guard lock(FExecutionsLock);
    return static_cast<int>(FExecutions.size());
}

void TtvsMainProgram::RemoveExecution(TtvsProgramExecution* exec)
{
    std::lock_guard lock(FExecutionsLock);
    std::erase(FExecutions, exec);
}

TtvsProcedure::TtvsProcedure(TtvsProgram& parent, TFuncSymbol* func)
    : TtvsProgram(&parent, static_cast<int16_t>(parent.Level() + 1))
    , FFunc(func)
{}

void TtvsProcedure::Call(TtvsExecution& exec, const TExprBase* /*callExpr*/) const
{
    exec.SetCurrentProg(this);
    TStack& stack = exec.Stack();
    const int32_t locals = DataSize();
    stack.Push(locals);
    // Restores the caller's flow status and drops the locals however the
    // body ends.
    struct TRestore {
        TtvsExecution& Exec;
        TFlowStatus Status;
        int32_t Locals;
        ~TRestore()
        {
            Exec.SetStatus(Status);
            Exec.Stack().Pop(Locals);
        }
    } restore{exec, exec.Status(), locals};
    exec.SetStatus(fsNone);
    // FIXME: pre- and post-conditions run here once contracts exist.
    exec.StatementStep(FInitExpr.get());
    FInitExpr->EvalNoResult(exec);
    if (FExpr) {
        exec.StatementStep(FExpr.get());
        FExpr->EvalNoResult(exec);
    }
}
