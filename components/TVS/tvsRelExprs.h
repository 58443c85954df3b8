// The relational operators (=, <>, <, <=, >, >=) on booleans, integers,
// floats, strings and variants.
#pragma once

#include "tvsExprs.h"

// A comparison: Boolean-typed, Eval is EvalAsBoolean, and it does not fold.
class TRelOpExpr : public TBinaryOpExpr {
public:
    TRelOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
               std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsBoolean(exec)); }
    bool EvalAsBoolean(TtvsExecution& exec) const override = 0;

protected:
    // Integer comparisons read variable and constant operands inline.
    int64_t LeftInt(TtvsExecution& exec) const { return FLeftOp.Read(exec, *FLeft); }
    int64_t RightInt(TtvsExecution& exec) const { return FRightOp.Read(exec, *FRight); }

private:
    TIntOperand FLeftOp;
    TIntOperand FRightOp;
};

#define TVS_REL_OP(Name)                                                                           \
    class Name final : public TRelOpExpr {                                                         \
    public:                                                                                        \
        using TRelOpExpr::TRelOpExpr;                                                              \
        bool EvalAsBoolean(TtvsExecution& exec) const override;                                    \
    }

// Booleans compare truth values.
TVS_REL_OP(TRelEqualBoolExpr);
TVS_REL_OP(TRelNotEqualBoolExpr);

// Signed 64-bit.
TVS_REL_OP(TRelEqualIntExpr);
TVS_REL_OP(TRelNotEqualIntExpr);
TVS_REL_OP(TRelLessIntExpr);
TVS_REL_OP(TRelLessEqualIntExpr);
TVS_REL_OP(TRelGreaterIntExpr);
TVS_REL_OP(TRelGreaterEqualIntExpr);

// Doubles; a NaN compares unequal to everything.
TVS_REL_OP(TRelEqualFloatExpr);
TVS_REL_OP(TRelNotEqualFloatExpr);
TVS_REL_OP(TRelLessFloatExpr);
TVS_REL_OP(TRelLessEqualFloatExpr);
TVS_REL_OP(TRelGreaterFloatExpr);
TVS_REL_OP(TRelGreaterEqualFloatExpr);

// Ordinal, by code unit: 'B' < 'a'.
TVS_REL_OP(TRelEqualStringExpr);
TVS_REL_OP(TRelNotEqualStringExpr);
TVS_REL_OP(TRelLessStringExpr);
TVS_REL_OP(TRelLessEqualStringExpr);
TVS_REL_OP(TRelGreaterStringExpr);
TVS_REL_OP(TRelGreaterEqualStringExpr);

// The variant comparison rules (Null is less than everything else).
TVS_REL_OP(TRelEqualVariantExpr);
TVS_REL_OP(TRelNotEqualVariantExpr);
TVS_REL_OP(TRelLessVariantExpr);
TVS_REL_OP(TRelLessEqualVariantExpr);
TVS_REL_OP(TRelGreaterVariantExpr);
TVS_REL_OP(TRelGreaterEqualVariantExpr);

#undef TVS_REL_OP
