#include "tvsMagicExprs.h"


#include "tvsCoreExprs.h"
#include "tvsErrors.h"
#include "tvsSymbols.h"
#include "tvsTokenizer.h"
#include "tvsUnitSymbols.h"

bool IsStatementExpr(const TTypedExpr& expr)
{
    return dynamic_cast<const TStringArraySetExpr*>(&expr) != nullptr
           || dynamic_cast<const TIncDecVarFuncExpr*>(&expr) != nullptr
           || dynamic_cast<const TAssertExpr*>(&expr) != nullptr;
}

// ---------------------------------------------------------------------------
// Strings

int64_t TStringLengthExpr::EvalAsInteger(TtvsExecution& exec) const
{
    UnicodeString text;
    FExpr->EvalAsString(exec, text);
    return static_cast<int64_t>(text.Length());
}

TStringArrayOpExpr::TStringArrayOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> str,
                                       std::unique_ptr<TTypedExpr> index, const TScriptPos& pos)
    : TStringBinOpExpr(prog, std::move(str), std::move(index))
    , FScriptPos(pos)
{}

void TStringArrayOpExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    UnicodeString text;
    FLeft->EvalAsString(exec, text);
    const int64_t index = FRight->EvalAsInteger(exec);
    if (index > static_cast<int64_t>(text.Length()))
        RaiseUpperExceeded(exec, index);
    if (index < 1)
        RaiseLowerExceeded(exec, index);
    result = CharToString(text[static_cast<size_t>(index - 1)]);
}

TStringArraySetExpr::TStringArraySetExpr(std::unique_ptr<TDataExpr> str,
                                         std::unique_ptr<TTypedExpr> index,
                                         std::unique_ptr<TTypedExpr> value, const TScriptPos& pos)
    : FStr(std::move(str))
    , FIndex(std::move(index))
    , FValue(std::move(value))
    , FScriptPos(pos)
{}

TExprBase* TStringArraySetExpr::GetSubExpr(int index) const
{
    switch (index) {
    case 0:
        return FStr.get();
    case 1:
        return FIndex.get();
    default:
        return FValue.get();
    }
}

Variant TStringArraySetExpr::Eval(TtvsExecution& exec) const
{
    EvalNoResult(exec);
    return {};
}

char16_t TStringArraySetExpr::EvalChar(TtvsExecution& exec) const
{
    UnicodeString value;
    FValue->EvalAsString(exec, value);
    if (value.Length() != 1)
        RaiseScriptError(
            exec, FormatText(InputDataSizeMsg, {static_cast<int64_t>(value.Length()), int64_t{1}}));
    return value[0];
}

void TStringArraySetExpr::EvalNoResult(TtvsExecution& exec) const
{
    UnicodeString text;
    FStr->EvalAsString(exec, text);
    const int64_t index = FIndex->EvalAsInteger(exec);
    if (index > static_cast<int64_t>(text.Length()))
        RaiseUpperExceeded(exec, index);
    if (index < 1)
        RaiseLowerExceeded(exec, index);
    const char16_t c = EvalChar(exec);
    text.Data()[index - 1] = c;
    FStr->AssignValueAsString(exec, text);
}

TVarStringArraySetExpr::TVarStringArraySetExpr(std::unique_ptr<TStrVarExpr> str,
                                               std::unique_ptr<TTypedExpr> index,
                                               std::unique_ptr<TTypedExpr> value,
                                               const TScriptPos& pos)
    : TStringArraySetExpr(std::move(str), std::move(index), std::move(value), pos)
{}

// The size of the value is checked before the upper bound: the variable's
// length is only learnt when the character is stored.
void TVarStringArraySetExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t index = FIndex->EvalAsInteger(exec);
    if (index < 1)
        RaiseLowerExceeded(exec, index);
    const char16_t c = EvalChar(exec);
    if (!static_cast<const TStrVarExpr&>(*FStr).SetChar(exec, index, c))
        RaiseUpperExceeded(exec, index);
}

// ---------------------------------------------------------------------------
// Inc, Dec, Succ, Pred

TIncDecVarFuncExpr::TIncDecVarFuncExpr(std::unique_ptr<TDataExpr> target,
                                       std::unique_ptr<TTypedExpr> delta, const TScriptPos& pos)
    : TTypedExpr(target->Typ())
    , FTarget(std::move(target))
    , FDelta(std::move(delta))
    , FScriptPos(pos)
    , FIntVarTarget(typeid(*FTarget) == typeid(TIntVarExpr))
{}

TExprBase* TIncDecVarFuncExpr::GetSubExpr(int index) const
{
    if (index == 0)
        return FTarget.get();
    return FDelta.get();
}

int64_t TIncDecVarFuncExpr::AddToTarget(TtvsExecution& exec, int64_t delta) const
{
    if (FIntVarTarget)
        return static_cast<const TIntVarExpr&>(*FTarget).IncValue(exec, delta);
    const int64_t value = IntAdd(FTarget->EvalAsInteger(exec), delta);
    FTarget->AssignValueAsInteger(exec, value);
    return value;
}

int64_t TIncVarFuncExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return AddToTarget(exec, FDelta->EvalAsInteger(exec));
}

int64_t TDecVarFuncExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return AddToTarget(exec, IntNeg(FDelta->EvalAsInteger(exec)));
}

TSuccFuncExpr::TSuccFuncExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr,
                             std::unique_ptr<TTypedExpr> delta)
    : TIntegerBinOpExpr(prog, std::move(expr), std::move(delta))
{
    FTyp = FLeft->Typ();
}

int64_t TSuccFuncExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return IntAdd(LeftInt(exec), RightInt(exec));
}

TPredFuncExpr::TPredFuncExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr,
                             std::unique_ptr<TTypedExpr> delta)
    : TIntegerBinOpExpr(prog, std::move(expr), std::move(delta))
{
    FTyp = FLeft->Typ();
}

int64_t TPredFuncExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return IntSub(LeftInt(exec), RightInt(exec));
}

// ---------------------------------------------------------------------------
// Assert

TAssertExpr::TAssertExpr(std::unique_ptr<TTypedExpr> condition, std::unique_ptr<TTypedExpr> message,
                         const TScriptPos& pos)
    : FCondition(std::move(condition))
    , FMessage(std::move(message))
    , FScriptPos(pos)
{}

TExprBase* TAssertExpr::GetSubExpr(int index) const
{
    if (index == 0)
        return FCondition.get();
    return FMessage.get();
}

Variant TAssertExpr::Eval(TtvsExecution& exec) const
{
    EvalNoResult(exec);
    return {};
}

// The text carries the position, so that a handler that prints it shows
// where the assertion is; the run-time message of an uncaught failure cuts
// it off again.
void TAssertExpr::EvalNoResult(TtvsExecution& exec) const
{
    if (FCondition->EvalAsBoolean(exec))
        return;
    std::u16string messagePart;
    if (FMessage) {
        UnicodeString text;
        FMessage->EvalAsString(exec, text);
        messagePart = u" : " + text.ToU16String();
    }
    EScriptAssertionFailed error(
        FormatText(AssertionFailedMsg, {PositionText(FScriptPos), messagePart}), Variant(), nullptr,
        FScriptPos);
    error.SetScriptCallStack(exec.GetCallStack());
    throw error;
}

// ---------------------------------------------------------------------------
// Defined and Declared

TDefinedExpr::TDefinedExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> name,
                           std::shared_ptr<const TConditionalSymbols> conditionals)
    : TSpecialUnaryBoolExpr(prog, std::move(name))
    , FConditionals(std::move(conditionals))
{}

bool TDefinedExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    UnicodeString name;
    FExpr->EvalAsString(exec, name);
    return FConditionals != nullptr && FConditionals->Contains(name.View());
}

TDeclaredExpr::TDeclaredExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> name)
    : TSpecialUnaryBoolExpr(prog, std::move(name))
    , FRoot(prog.Root().Table())
{}

bool TDeclaredExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    UnicodeString name;
    FExpr->EvalAsString(exec, name);
    return FRoot != nullptr && IsDeclared(*FRoot, name.View());
}

namespace {

// A lookup that only reads the tables: runs of one program may ask at the
// same time, and a plain lookup may sort a table on first use.
TSymbol* FindWithoutSorting(const TSymbolTable& table, std::u16string_view name)
{
    TSymbol* found = nullptr;
    table.EnumerateSymbolsOfNameInScope(name, [&](TSymbol* symbol) {
        found = symbol;
        return true;
    });
    return found;
}

} // namespace

bool TDeclaredExpr::IsDeclared(const TSymbolTable& root, std::u16string_view name)
{
    const size_t dot = name.find(u'.');
    if (dot == std::u16string_view::npos)
        return FindWithoutSorting(root, name) != nullptr;
    TSymbol* first = FindWithoutSorting(root, name.substr(0, dot));
    const std::u16string_view rest = name.substr(dot + 1);
    if (auto* unit = dynamic_cast<TUnitSymbol*>(first)) {
        if (unit->Main() == nullptr || unit->Main()->Table() == nullptr)
            return false;
        return IsDeclared(*unit->Main()->Table(), rest);
    }
    if (auto* structured = dynamic_cast<TStructuredTypeSymbol*>(first))
        return FindWithoutSorting(structured->Members(), rest) != nullptr;
    return false;
}
