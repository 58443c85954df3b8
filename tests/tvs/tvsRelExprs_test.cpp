#include "tvsRelExprs.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"

namespace {

using TMakeRel = std::function<TExpr(TTreeBuilder&, TExpr, TExpr)>;

template <class Op> TMakeRel Rel()
{
    return [](TTreeBuilder& b, TExpr l, TExpr r) { return b.Bin<Op>(std::move(l), std::move(r)); };
}

struct TRelRow {
    const char* name;
    TMakeRel op;
    std::function<TExpr(TTreeBuilder&)> left;
    std::function<TExpr(TTreeBuilder&)> right;
    bool expected;
};

std::function<TExpr(TTreeBuilder&)> I(int64_t v)
{
    return [v](TTreeBuilder& b) { return b.Int(v); };
}
std::function<TExpr(TTreeBuilder&)> F(double v)
{
    return [v](TTreeBuilder& b) { return b.Flt(v); };
}
std::function<TExpr(TTreeBuilder&)> S(const char16_t* v)
{
    return [v](TTreeBuilder& b) { return b.Str(v); };
}
std::function<TExpr(TTreeBuilder&)> V(Variant v)
{
    return [v](TTreeBuilder& b) { return b.Var(v); };
}
// The value through a variable, so that the operands are not both constants.
std::function<TExpr(TTreeBuilder&)> IVar(int64_t v)
{
    return [v](TTreeBuilder& b) -> TExpr {
        const int32_t addr = b.NewInt();
        b.Prog().InitExpr().AddStatement(b.Assign(1, b.IntVar(addr), b.Int(v)));
        return b.IntVar(addr);
    };
}

} // namespace

TEST(tvsRelExprs, Comparisons)
{
    const double nan = std::nan("");
    const TRelRow rows[] = {
        {"signed integers", Rel<TRelLessIntExpr>(), I(MinInt), I(0), true},
        {"integer variable and constant", Rel<TRelGreaterEqualIntExpr>(), IVar(5), I(5), true},
        {"integer not equal", Rel<TRelNotEqualIntExpr>(), IVar(5), IVar(6), true},
        {"integer less or equal", Rel<TRelLessEqualIntExpr>(), I(6), IVar(5), false},
        {"float equal", Rel<TRelEqualFloatExpr>(), F(0.5), F(0.5), true},
        {"NaN is not equal to itself", Rel<TRelEqualFloatExpr>(), F(nan), F(nan), false},
        {"NaN is unequal", Rel<TRelNotEqualFloatExpr>(), F(nan), F(1), true},
        {"NaN is not greater", Rel<TRelGreaterFloatExpr>(), F(nan), F(1), false},
        {"strings compare by code unit", Rel<TRelLessStringExpr>(), S(u"abc"), S(u"abd"), true},
        {"upper case sorts before lower case", Rel<TRelLessStringExpr>(), S(u"B"), S(u"a"), true},
        {"a prefix sorts first", Rel<TRelGreaterStringExpr>(), S(u"ab"), S(u"a"), true},
        {"strings are case-sensitive", Rel<TRelEqualStringExpr>(), S(u"a"), S(u"A"), false},
        {"booleans", Rel<TRelNotEqualBoolExpr>(), V(true), V(false), true},
        {"variant string and number compare as numbers", Rel<TRelEqualVariantExpr>(), V(u"10"),
         V(Variant(int64_t{10})), true},
        {"Null is less than anything", Rel<TRelLessVariantExpr>(), V(Variant::Null()),
         V(Variant(int64_t{-5})), true},
        {"Null equals Null", Rel<TRelLessEqualVariantExpr>(), V(Variant::Null()),
         V(Variant::Null()), true},
        {"variant greater", Rel<TRelGreaterVariantExpr>(), V(2.5), V(Variant(int64_t{2})), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTreeBuilder b;
        TExpr left = row.left(b);
        TExpr right = row.right(b);
        ItvsProgramExecution exec = b.Run(b.Print(1, row.op(b, std::move(left), std::move(right))));
        EXPECT_EQ(Output(exec), row.expected ? u"True" : u"False");
        EXPECT_EQ(Errors(exec), u"");
    }
}

TEST(tvsRelExprs, LeftOperandFirstAndNoFolding)
{
    TTreeBuilder b;
    TExpr cmp = b.Bin<TRelLessIntExpr>(b.Traced(u"f", 1), b.Traced(u"g", 2));
    EXPECT_EQ(Output(b.Run(b.Print(1, std::move(cmp)))), u"fgTrue");

    TTreeBuilder c;
    TExpr constant = c.Bin<TRelLessIntExpr>(c.Int(1), c.Int(2));
    ItvsProgramExecution exec = c.Prog().CreateNewExecution();
    OptimizeExpr(constant, c.Prog(), *exec);
    EXPECT_EQ(typeid(*constant), typeid(TRelLessIntExpr));
}
