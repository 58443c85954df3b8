#include "tvsRelExprs.h"

TRelOpExpr::TRelOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                       std::unique_ptr<TTypedExpr> right)
    : TBinaryOpExpr(prog, std::move(left), std::move(right))
    , FLeftOp(TIntOperand::Of(FLeft.get()))
    , FRightOp(TIntOperand::Of(FRight.get()))
{
    FTyp = prog.TypBoolean();
}

// Left operand first, then right, for every comparison.
#define TVS_REL_EVAL(Name, Type, Read, Compare)                                                    \
    bool Name::EvalAsBoolean(TtvsExecution& exec) const                                            \
    {                                                                                              \
        const Type a = FLeft->Read(exec);                                                          \
        const Type b = FRight->Read(exec);                                                         \
        return Compare;                                                                            \
    }

TVS_REL_EVAL(TRelEqualBoolExpr, bool, EvalAsBoolean, a == b)
TVS_REL_EVAL(TRelNotEqualBoolExpr, bool, EvalAsBoolean, a != b)

#define TVS_REL_INT(Name, Compare)                                                                 \
    bool Name::EvalAsBoolean(TtvsExecution& exec) const                                            \
    {                                                                                              \
        const int64_t a = LeftInt(exec);                                                           \
        const int64_t b = RightInt(exec);                                                          \
        return Compare;                                                                            \
    }

TVS_REL_INT(TRelEqualIntExpr, a == b)
TVS_REL_INT(TRelNotEqualIntExpr, a != b)
TVS_REL_INT(TRelLessIntExpr, a < b)
TVS_REL_INT(TRelLessEqualIntExpr, a <= b)
TVS_REL_INT(TRelGreaterIntExpr, a > b)
TVS_REL_INT(TRelGreaterEqualIntExpr, a >= b)

#undef TVS_REL_INT

TVS_REL_EVAL(TRelEqualFloatExpr, double, EvalAsFloat, a == b)
TVS_REL_EVAL(TRelNotEqualFloatExpr, double, EvalAsFloat, a != b)
TVS_REL_EVAL(TRelLessFloatExpr, double, EvalAsFloat, a < b)
TVS_REL_EVAL(TRelLessEqualFloatExpr, double, EvalAsFloat, a <= b)
TVS_REL_EVAL(TRelGreaterFloatExpr, double, EvalAsFloat, a > b)
TVS_REL_EVAL(TRelGreaterEqualFloatExpr, double, EvalAsFloat, a >= b)

#undef TVS_REL_EVAL

namespace {

// Both operands as text, left first.
template <class Compare>
bool CompareStrings(const TBinaryOpExpr& node, TtvsExecution& exec, Compare compare)
{
    UnicodeString a;
    UnicodeString b;
    node.Left()->EvalAsString(exec, a);
    node.Right()->EvalAsString(exec, b);
    return compare(a.View(), b.View());
}

TVariantRelationship CompareVariants(const TBinaryOpExpr& node, TtvsExecution& exec)
{
    Variant a;
    Variant b;
    node.Left()->EvalAsVariant(exec, a);
    node.Right()->EvalAsVariant(exec, b);
    return VarCompareValue(a, b);
}

} // namespace

#define TVS_REL_STRING(Name, Op)                                                                   \
    bool Name::EvalAsBoolean(TtvsExecution& exec) const                                            \
    {                                                                                              \
        return CompareStrings(                                                                     \
            *this, exec, [](std::u16string_view a, std::u16string_view b) { return a Op b; });     \
    }

TVS_REL_STRING(TRelEqualStringExpr, ==)
TVS_REL_STRING(TRelNotEqualStringExpr, !=)
TVS_REL_STRING(TRelLessStringExpr, <)
TVS_REL_STRING(TRelLessEqualStringExpr, <=)
TVS_REL_STRING(TRelGreaterStringExpr, >)
TVS_REL_STRING(TRelGreaterEqualStringExpr, >=)

#undef TVS_REL_STRING

using enum TVariantRelationship;

bool TRelEqualVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return CompareVariants(*this, exec) == vrEqual;
}

bool TRelNotEqualVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return CompareVariants(*this, exec) != vrEqual;
}

bool TRelLessVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return CompareVariants(*this, exec) == vrLessThan;
}

bool TRelLessEqualVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    const TVariantRelationship r = CompareVariants(*this, exec);
    return r == vrLessThan || r == vrEqual;
}

bool TRelGreaterVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return CompareVariants(*this, exec) == vrGreaterThan;
}

bool TRelGreaterEqualVariantExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    const TVariantRelationship r = CompareVariants(*this, exec);
    return r == vrGreaterThan || r == vrEqual;
}
