// Membership tests and the conversion wrapper, on hand-built trees.
#include "tvsConvExprs.h"

#include <functional>
#include <typeinfo>

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"

namespace {

using TMakeCondition = std::function<std::unique_ptr<TCaseCondition>(TTreeBuilder&)>;

TMakeCondition Value(int64_t v)
{
    return [v](TTreeBuilder& b) {
        return std::make_unique<TCompareCaseCondition>(b.Pos(1), nullptr, false, b.Int(v));
    };
}

TMakeCondition Range(int64_t from, int64_t to)
{
    return [from, to](TTreeBuilder& b) {
        return std::make_unique<TRangeCaseCondition>(b.Pos(1), nullptr, false, b.Int(from),
                                                     b.Int(to));
    };
}

std::unique_ptr<TInOpExpr> InTest(TTreeBuilder& b, TExpr left,
                                  const std::vector<TMakeCondition>& conditions)
{
    auto node = std::make_unique<TInOpExpr>(b.Prog(), std::move(left));
    for (const auto& make : conditions)
        node->AddCondition(make(b));
    return node;
}

} // namespace

TEST(tvsConvExprs, InTestAcceptsValuesAndInclusiveRanges)
{
    const std::vector<TMakeCondition> oneAndThreeToFive{Value(1), Range(3, 5)};
    const struct {
        const char* name;
        int64_t value;
        std::vector<TMakeCondition> conditions;
        bool expected;
    } rows[] = {
        {"single value", 1, oneAndThreeToFive, true},
        {"between value and range", 2, oneAndThreeToFive, false},
        {"range start", 3, oneAndThreeToFive, true},
        {"range end", 5, oneAndThreeToFive, true},
        {"past the range", 6, oneAndThreeToFive, false},
        {"empty list", 0, {}, false},
        {"empty range", 4, {Range(5, 3)}, false},
        {"negative bounds", -2, {Range(-3, -1)}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTreeBuilder b;
        int32_t addr = b.NewInt();
        TStmt init = b.Assign(1, b.IntVar(addr), b.Int(row.value));
        TStmt print = b.Print(2, InTest(b, b.IntVar(addr), row.conditions));
        ItvsProgramExecution exec = b.Run(b.Block(1, std::move(init), std::move(print)));
        EXPECT_EQ(Output(exec), row.expected ? u"True" : u"False");
        EXPECT_EQ(Errors(exec), u"");
    }
}

// The left operand may have side effects: it runs once however many
// conditions are tried.
TEST(tvsConvExprs, InTestEvaluatesLeftOperandOnce)
{
    TTreeBuilder b;
    auto node = InTest(b, b.Traced(u"x", 7), {Value(1), Value(2), Range(3, 6)});
    EXPECT_EQ(Output(b.Run(b.Print(1, std::move(node)))), u"xFalse");
}

TEST(tvsConvExprs, InTestIsConstantOnlyWithConstantParts)
{
    TTreeBuilder b;
    EXPECT_TRUE(InTest(b, b.Int(1), {Value(1), Range(2, 3)})->IsConstant());
    EXPECT_TRUE(InTest(b, b.Int(1), {})->IsConstant());
    EXPECT_FALSE(InTest(b, b.IntVar(b.NewInt()), {Value(1)})->IsConstant());
    auto varBound = std::make_unique<TInOpExpr>(b.Prog(), b.Int(1));
    varBound->AddCondition(
        std::make_unique<TCompareCaseCondition>(b.Pos(1), nullptr, false, b.IntVar(b.NewInt())));
    EXPECT_FALSE(varBound->IsConstant());
}

// Over an enumeration of at most 32 values the test becomes a bit test that
// answers the same for every value, also for values outside the mask.
TEST(tvsConvExprs, InTestOverSmallEnumerationBecomesBitTest)
{
    TTreeBuilder b;
    TEnumerationSymbol colors(u"TColors", &b.T.Integer);
    for (int32_t v = 0; v < 6; ++v)
        colors.AddElement(
            new TElementSymbol(u"c" + std::u16string(1, u'0' + v), &colors, v, false));

    for (int64_t value = -1; value <= 33; ++value) {
        SCOPED_TRACE(value);
        TTreeBuilder t;
        int32_t addr = t.NewInt();
        TStmt init = t.Assign(1, t.IntVar(addr), t.Int(value));
        TExpr node =
            InTest(t, std::make_unique<TIntVarExpr>(&colors, addr), {Value(1), Range(3, 5)});
        ItvsProgramExecution compileTime = t.Prog().CreateNewExecution();
        OptimizeExpr(node, t.Prog(), *compileTime);
        ASSERT_EQ(typeid(*node), typeid(TBitwiseInOpExpr));
        EXPECT_EQ(static_cast<TBitwiseInOpExpr&>(*node).Mask(), 0b111010u);
        TStmt print = t.Print(2, std::move(node));
        const bool expected = value == 1 || (value >= 3 && value <= 5);
        EXPECT_EQ(Output(t.Run(t.Block(1, std::move(init), std::move(print)))),
                  expected ? u"True" : u"False");
    }
}

TEST(tvsConvExprs, InTestOverIntegerStaysAsItIs)
{
    TTreeBuilder b;
    TExpr node = InTest(b, b.IntVar(b.NewInt()), {Value(1)});
    ItvsProgramExecution compileTime = b.Prog().CreateNewExecution();
    OptimizeExpr(node, b.Prog(), *compileTime);
    EXPECT_EQ(typeid(*node), typeid(TInOpExpr));
}

TEST(tvsConvExprs, WrapperInsertsConversionsAndListsMisfits)
{
    const struct {
        const char* name;
        std::function<TExpr(TTreeBuilder&)> value;
        std::function<TTypeSymbol*(TTreeBuilder&)> target;
        const std::type_info& node;
        std::u16string message;
    } rows[] = {
        {"Variant read as Integer", [](TTreeBuilder& b) { return b.Var(Variant(u"12")); },
         [](TTreeBuilder& b) { return &b.T.Integer; }, typeid(TConvIntegerExpr), u""},
        {"Variant read as Float", [](TTreeBuilder& b) { return b.Var(Variant(1.5)); },
         [](TTreeBuilder& b) { return &b.T.Float; }, typeid(TConvFloatExpr), u""},
        {"Variant read as String", [](TTreeBuilder& b) { return b.Var(Variant(1.5)); },
         [](TTreeBuilder& b) { return &b.T.String; }, typeid(TConvStringExpr), u""},
        {"Variant read as Boolean", [](TTreeBuilder& b) { return b.Var(Variant(true)); },
         [](TTreeBuilder& b) { return &b.T.Boolean; }, typeid(TConvBoolExpr), u""},
        {"Integer variable as Float", [](TTreeBuilder& b) -> TExpr { return b.IntVar(b.NewInt()); },
         [](TTreeBuilder& b) { return &b.T.Float; }, typeid(TConvFloatExpr), u""},
        {"Integer literal becomes a Float literal", [](TTreeBuilder& b) { return b.Int(3); },
         [](TTreeBuilder& b) { return &b.T.Float; }, typeid(TConstFloatExpr), u""},
        {"Integer into Variant needs nothing", [](TTreeBuilder& b) { return b.Int(3); },
         [](TTreeBuilder& b) { return &b.T.Variant; }, typeid(TConstIntExpr), u""},
        {"String into Integer is listed", [](TTreeBuilder& b) { return b.Str(u"x"); },
         [](TTreeBuilder& b) { return &b.T.Integer; }, typeid(TConstStringExpr),
         u"Compile Error: Incompatible types: Cannot assign \"String\" to \"Integer\" [line: 4, "
         u"column: 2]\r\n"},
        {"Float into Integer is listed", [](TTreeBuilder& b) { return b.Flt(1.5); },
         [](TTreeBuilder& b) { return &b.T.Integer; }, typeid(TConstFloatExpr),
         u"Compile Error: Incompatible types: Cannot assign \"Float\" to \"Integer\" [line: 4, "
         u"column: 2]\r\n"},
        {"no target type", [](TTreeBuilder& b) { return b.Int(1); },
         [](TTreeBuilder&) -> TTypeSymbol* { return nullptr; }, typeid(TConstIntExpr),
         u"Compile Error: Incompatible types: Cannot assign \"Integer\" to \"void\" [line: 4, "
         u"column: 2]\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTreeBuilder b;
        TExpr result = WrapWithConvCast(b.Prog(), b.Pos(4, 2), row.target(b), row.value(b), true);
        EXPECT_EQ(typeid(*result), row.node);
        EXPECT_EQ(b.Prog().Messages().AsInfo(), row.message);
    }
}

TEST(tvsConvExprs, WrapperKeepsMatchingValueAndCanStaySilent)
{
    TTreeBuilder b;
    TExpr value = b.Str(u"x");
    TTypedExpr* raw = value.get();
    EXPECT_EQ(WrapWithConvCast(b.Prog(), b.Pos(1), &b.T.String, std::move(value), true).get(), raw);
    TExpr misfit = WrapWithConvCast(b.Prog(), b.Pos(1), &b.T.Integer, b.Str(u"x"), false);
    EXPECT_EQ(b.Prog().Messages().Count(), 0);
}

// The literal's replacement keeps the exact value.
TEST(tvsConvExprs, WrappedIntegerLiteralKeepsItsValue)
{
    TTreeBuilder b;
    TExpr result = WrapWithConvCast(b.Prog(), b.Pos(1), &b.T.Float, b.Int(-7), true);
    ASSERT_EQ(typeid(*result), typeid(TConstFloatExpr));
    EXPECT_EQ(static_cast<TConstFloatExpr&>(*result).Value(), -7.0);
}
