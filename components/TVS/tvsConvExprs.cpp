#include "tvsConvExprs.h"

#include "tvsErrors.h"
#include "tvsSymbols.h"

TInOpExpr::TInOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left)
    : TTypedExpr(prog.TypBoolean())
    , FLeft(std::move(left))
{}

TInOpExpr::~TInOpExpr() = default;

void TInOpExpr::AddCondition(std::unique_ptr<TCaseCondition> condition)
{
    FConditions.push_back(std::move(condition));
}

TExprBase* TInOpExpr::GetSubExpr(int index) const
{
    return index == 0 ? FLeft.get() : nullptr;
}

bool TInOpExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    Variant value;
    FLeft->EvalAsVariant(exec, value);
    for (const auto& condition : FConditions)
        if (condition->IsTrue(exec, value))
            return true;
    return false;
}

bool TInOpExpr::IsConstant() const
{
    if (!FLeft->IsConstant())
        return false;
    for (const auto& condition : FConditions)
        if (!condition->IsConstant())
            return false;
    return true;
}

TExprBase* TInOpExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    TTypeSymbol* typ = FLeft->Typ() != nullptr ? FLeft->Typ()->UnAliasedType() : nullptr;
    const auto* enumeration = dynamic_cast<const TEnumerationSymbol*>(typ);
    if (enumeration == nullptr || enumeration->LowBound() < 0 || enumeration->HighBound() >= 32)
        return this;
    for (const auto& condition : FConditions)
        if (!condition->IsConstant())
            return this;
    uint32_t mask = 0;
    for (int32_t v = enumeration->LowBound(); v <= enumeration->HighBound(); ++v) {
        const Variant value(static_cast<int64_t>(v));
        for (const auto& condition : FConditions) {
            if (condition->IsTrue(exec, value)) {
                mask |= 1u << static_cast<unsigned>(v);
                break;
            }
        }
    }
    return new TBitwiseInOpExpr(prog, std::move(FLeft), mask);
}

TBitwiseInOpExpr::TBitwiseInOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr,
                                   uint32_t mask)
    : TUnaryOpBoolExpr(prog, std::move(expr))
    , FMask(mask)
{}

bool TBitwiseInOpExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    const int64_t value = FExpr->EvalAsInteger(exec);
    if (value < 0 || value > 31)
        return false;
    return ((FMask >> static_cast<unsigned>(value)) & 1u) != 0;
}

namespace {

void ReportIncompatible(TtvsProgram& prog, const TScriptPos& pos, TTypeSymbol* target,
                        TTypeSymbol* source)
{
    prog.Messages().AddCompilerError(
        pos, IncompatibleConversionMsg,
        {TSymbol::DisplayNameOf(source), TSymbol::DisplayNameOf(target)});
}

} // namespace

std::unique_ptr<TTypedExpr> WrapWithConvCast(TtvsProgram& prog, const TScriptPos& pos,
                                             TTypeSymbol* target, std::unique_ptr<TTypedExpr> expr,
                                             bool report)
{
    TTypeSymbol* source = expr->Typ();
    if (target == nullptr || source == nullptr) {
        if (report)
            ReportIncompatible(prog, pos, target, source);
        return expr;
    }
    if (source == target)
        return expr;

    TTypeSymbol* to = target->UnAliasedType();
    if (source->UnAliasedType() == prog.TypVariant()) {
        if (to == prog.TypInteger())
            expr = std::make_unique<TConvIntegerExpr>(prog, std::move(expr));
        else if (to == prog.TypFloat())
            expr = std::make_unique<TConvFloatExpr>(prog, std::move(expr));
        else if (to == prog.TypString())
            expr = std::make_unique<TConvStringExpr>(prog, std::move(expr));
        else if (to == prog.TypBoolean())
            expr = std::make_unique<TConvBoolExpr>(prog, std::move(expr));
    } else if (to == prog.TypFloat() && ExprIsOfType(expr.get(), prog.TypInteger())) {
        // A literal becomes the equal float literal rather than a conversion
        // that would run on every evaluation.
        if (const auto* constant = dynamic_cast<const TConstIntExpr*>(expr.get()))
            expr.reset(
                UnifiedConstFloat(prog, prog.TypFloat(), static_cast<double>(constant->Value())));
        else
            expr = std::make_unique<TConvFloatExpr>(prog, std::move(expr));
    }
    if (report && !target->IsCompatible(expr->Typ()))
        ReportIncompatible(prog, pos, target, expr->Typ());
    return expr;
}
