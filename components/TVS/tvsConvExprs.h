// Membership tests (`in` over a list of values and ranges, and its bit-mask
// form) and the conversion wrapper the compiler puts around a value used
// where another type is expected.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tvsCoreExprs.h"
#include "tvsExprs.h"

// x in [a, b..c]: the left operand is evaluated once, then the conditions in
// order until one accepts it. An empty list is always false.
class TInOpExpr final : public TTypedExpr {
public:
    TInOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left);
    ~TInOpExpr() override;

    // The conditions carry no statement of their own.
    void AddCondition(std::unique_ptr<TCaseCondition> condition);
    int ConditionCount() const { return static_cast<int>(FConditions.size()); }
    const TCaseCondition& Condition(int index) const
    {
        return *FConditions[static_cast<size_t>(index)];
    }
    TTypedExpr* Left() const { return FLeft.get(); }

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 1; }
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsBoolean(exec)); }
    bool EvalAsBoolean(TtvsExecution& exec) const override;
    bool IsConstant() const override;
    // Over a small enumeration with constant conditions the test becomes a
    // bit test: no variant is built at run time.
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

private:
    std::unique_ptr<TTypedExpr> FLeft;
    std::vector<std::unique_ptr<TCaseCondition>> FConditions;
};

// True when the operand's integer value is in 0..31 and its bit is set.
class TBitwiseInOpExpr final : public TUnaryOpBoolExpr {
public:
    TBitwiseInOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr, uint32_t mask);
    bool EvalAsBoolean(TtvsExecution& exec) const override;
    uint32_t Mask() const { return FMask; }

private:
    uint32_t FMask;
};

inline constexpr char16_t IncompatibleConversionMsg[] =
    u"Incompatible types: Cannot assign \"%s\" to \"%s\"";

// The value to store where a target of type target is expected: the
// expression itself, or wrapped in the conversion it needs (a Variant read
// as a scalar, an Integer read as a Float). When report is set, a value
// that still does not fit is listed as a compile error at pos; either way
// the (possibly wrapped) expression is answered, so compiling goes on.
std::unique_ptr<TTypedExpr> WrapWithConvCast(TtvsProgram& prog, const TScriptPos& pos,
                                             TTypeSymbol* target, std::unique_ptr<TTypedExpr> expr,
                                             bool report);
