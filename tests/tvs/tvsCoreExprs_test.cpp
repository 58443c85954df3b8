#include "tvsCoreExprs.h"

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"

namespace {

// PrintLn of each integer expression, one per line.
template <class... E> TStmt PrintEach(TTreeBuilder& b, E... values)
{
    auto block = std::make_unique<TBlockExpr>(b.Pos(1));
    int line = 1;
    (block->AddStatement(b.PrintLn(line++, std::move(values))), ...);
    return block;
}

} // namespace

TEST(tvsCoreExprs, IntegerArithmetic)
{
    RunCases({
        {"sum past the largest integer wraps",
         [](TTreeBuilder& b) {
             const int32_t x = b.NewInt();
             return b.Block(1, b.Assign(1, b.IntVar(x), b.Int(MaxInt)),
                            b.PrintLn(2, b.Bin<TAddIntExpr>(b.IntVar(x), b.Int(1))),
                            b.PrintLn(3, b.Bin<TSubIntExpr>(b.Int(MinInt), b.Int(1))),
                            b.PrintLn(4, b.Bin<TMultIntExpr>(b.IntVar(x), b.Int(2))),
                            b.PrintLn(5, b.Un<TNegIntExpr>(b.Int(MinInt))),
                            b.PrintLn(6, b.Un<TAbsIntExpr>(b.Int(MinInt))));
         },
         u"-9223372036854775808\r\n9223372036854775807\r\n-2\r\n-9223372036854775808\r\n"
         u"-9223372036854775808\r\n",
         u""},
        {"div truncates toward zero, mod takes the dividend's sign",
         [](TTreeBuilder& b) {
             return PrintEach(
                 b, b.Bin<TDivExpr>(b.Int(7), b.Int(-2)), b.Bin<TDivExpr>(b.Int(-7), b.Int(2)),
                 b.Bin<TModExpr>(b.Int(-7), b.Int(2)), b.Bin<TModExpr>(b.Int(7), b.Int(-2)),
                 b.Bin<TDivExpr>(b.Int(MinInt), b.Int(-1)),
                 b.Bin<TModExpr>(b.Int(MinInt), b.Int(-1)));
         },
         u"-3\r\n-3\r\n-1\r\n1\r\n-9223372036854775808\r\n0\r\n", u""},
        {"shift counts are taken modulo 64",
         [](TTreeBuilder& b) {
             return PrintEach(
                 b, b.Bin<TShlExpr>(b.Int(1), b.Int(64)), b.Bin<TShlExpr>(b.Int(1), b.Int(65)),
                 b.Bin<TSarExpr>(b.Int(-8), b.Int(1)), b.Bin<TSarExpr>(b.Int(-1), b.Int(100)),
                 b.Bin<TSarExpr>(b.Int(8), b.Int(64)), b.Bin<TShrExpr>(b.Int(-8), b.Int(1)),
                 b.Bin<TSarExpr>(b.Int(-8), b.Int(0)));
         },
         u"1\r\n2\r\n-4\r\n-1\r\n8\r\n9223372036854775804\r\n-8\r\n", u""},
        {"bitwise and, or, xor, not",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Bin<TIntAndExpr>(b.Int(12), b.Int(10)),
                              b.Bin<TIntOrExpr>(b.Int(12), b.Int(10)),
                              b.Bin<TIntXorExpr>(b.Int(12), b.Int(10)),
                              b.Un<TNotIntExpr>(b.Int(0)));
         },
         u"8\r\n14\r\n6\r\n-1\r\n", u""},
        {"division by zero stops the run at its statement, output kept",
         [](TTreeBuilder& b) {
             const int32_t zero = b.NewInt();
             return b.Block(1, b.Assign(1, b.IntVar(zero), b.Int(0)), b.Print(2, b.Str(u"before")),
                            b.PrintLn(3, b.Bin<TDivExpr>(b.Int(1), b.IntVar(zero))),
                            b.Print(4, b.Str(u"after")));
         },
         u"before", u"Runtime Error: Division by zero [line: 3, column: 1]\r\n"},
        {"mod by zero",
         [](TTreeBuilder& b) {
             const int32_t zero = b.NewInt();
             return b.Block(1, b.PrintLn(5, b.Bin<TModExpr>(b.Int(1), b.IntVar(zero))));
         },
         u"", u"Runtime Error: Division by zero [line: 5, column: 1]\r\n"},
    });
}

TEST(tvsCoreExprs, FloatStringBooleanAndVariantOperators)
{
    RunCases({
        {"float division of two integers",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Bin<TDivideExpr>(b.Int(3), b.Int(2)),
                              b.Bin<TMultFloatExpr>(b.Flt(1.5), b.Int(2)),
                              b.Un<TAbsFloatExpr>(b.Flt(-2.5)));
         },
         u"1.5\r\n3\r\n2.5\r\n", u""},
        {"float division by zero",
         [](TTreeBuilder& b) { return PrintEach(b, b.Bin<TDivideExpr>(b.Flt(1), b.Flt(0))); }, u"",
         u"Runtime Error: Floating point division by zero [line: 1, column: 1]\r\n"},
        {"zero by zero is invalid",
         [](TTreeBuilder& b) { return PrintEach(b, b.Bin<TDivideExpr>(b.Int(0), b.Int(0))); }, u"",
         u"Runtime Error: Invalid floating point operation [line: 1, column: 1]\r\n"},
        {"strings concatenate, booleans combine",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Bin<TAddStrExpr>(b.Str(u"ab"), b.Str(u"cd")),
                              b.Bin<TBoolXorExpr>(b.Bool(true), b.Bool(true)),
                              b.Bin<TBoolImpliesExpr>(b.Bool(false), b.Bool(false)),
                              b.Un<TNotBoolExpr>(b.Bool(false)));
         },
         u"abcd\r\nFalse\r\nTrue\r\nTrue\r\n", u""},
        {"variant operators follow the variant rules",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Bin<TAddVariantExpr>(b.Var(Variant(int64_t{2})), b.Var(u"3")),
                              b.Bin<TAddVariantExpr>(b.Var(u"2"), b.Var(u"3")),
                              b.Un<TAbsVariantExpr>(b.Var(Variant(int64_t{-3}))));
         },
         u"5\r\n23\r\n3\r\n", u""},
        {"Ord of a variant rounds half to even",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Un<TOrdExpr>(b.Var(2.5)), b.Un<TOrdExpr>(b.Var(3.5)),
                              b.Un<TOrdExpr>(b.Var(u"")), b.Un<TOrdStrExpr>(b.Str(u"A")));
         },
         u"2\r\n4\r\n0\r\n65\r\n", u""},
        {"Ord of something that is not ordinal",
         [](TTreeBuilder& b) { return PrintEach(b, b.Un<TOrdExpr>(b.Var(Variant::Null()))); }, u"",
         u"Runtime Error: Ordinal expected [line: 1, column: 1]\r\n"},
        {"variant that does not read as an integer",
         [](TTreeBuilder& b) { return PrintEach(b, b.Bin<TAddIntExpr>(b.Var(u"abc"), b.Int(1))); },
         u"",
         u"Runtime Error: Couldn't cast variant from \"String\" to \"Integer\" "
         u"(EVariantTypeCastError) [line: 1, column: 1]\r\n"},
    });
}

TEST(tvsCoreExprs, OperandOrderAndShortCircuit)
{
    RunCases({
        {"* evaluates its right operand first, + its left",
         [](TTreeBuilder& b) {
             return b.Block(1,
                            b.PrintLn(1, b.Bin<TMultIntExpr>(b.Traced(u"f", 2), b.Traced(u"g", 3))),
                            b.PrintLn(2, b.Bin<TAddIntExpr>(b.Traced(u"f", 2), b.Traced(u"g", 3))),
                            b.PrintLn(3, b.Bin<TDivExpr>(b.Traced(u"f", 6), b.Traced(u"g", 3))));
         },
         u"gf6\r\nfg5\r\ngf2\r\n", u""},
        {"and, or and implies skip the right operand when the left decides",
         [](TTreeBuilder& b) {
             return PrintEach(b, b.Bin<TBoolAndExpr>(b.Bool(false), b.Traced(u"f", 1)),
                              b.Bin<TBoolOrExpr>(b.Bool(true), b.Traced(u"f", 1)),
                              b.Bin<TBoolImpliesExpr>(b.Bool(false), b.Traced(u"f", 1)),
                              b.Bin<TBoolAndExpr>(b.Bool(true), b.Traced(u"f", 1)));
         },
         u"False\r\nTrue\r\nTrue\r\nfTrue\r\n", u""},
    });
}

namespace {

// for i := from to|downto to [step s] do PrintLn(i); then PrintLn(i).
template <class TFor, class... Step>
TStmt ForLoop(TTreeBuilder& b, int64_t from, int64_t to, Step... step)
{
    const int32_t i = b.NewInt();
    TStmt loop;
    if constexpr (sizeof...(Step) == 0)
        loop = std::make_unique<TFor>(b.Pos(2), b.IntVar(i), b.Int(from), b.Int(to),
                                      b.Print(3, b.IntVar(i)));
    else
        loop = std::make_unique<TFor>(b.Pos(2), b.IntVar(i), b.Int(from), b.Int(to), b.Int(step)...,
                                      b.Print(3, b.IntVar(i)));
    return b.Block(1, std::move(loop), b.PrintLn(4, b.Str(u"|")), b.PrintLn(5, b.IntVar(i)));
}

} // namespace

TEST(tvsCoreExprs, ForLoops)
{
    RunCases({
        {"empty range leaves the variable at from",
         [](TTreeBuilder& b) { return ForLoop<TForUpwardExpr>(b, 1, 0); }, u"|\r\n1\r\n", u""},
        {"upward leaves the first value past the bound",
         [](TTreeBuilder& b) { return ForLoop<TForUpwardExpr>(b, 1, 3); }, u"123|\r\n4\r\n", u""},
        {"downward", [](TTreeBuilder& b) { return ForLoop<TForDownwardExpr>(b, 3, 1); },
         u"321|\r\n0\r\n", u""},
        {"step 4", [](TTreeBuilder& b) { return ForLoop<TForUpwardStepExpr>(b, 1, 10, 4); },
         u"159|\r\n13\r\n", u""},
        {"downward step",
         [](TTreeBuilder& b) { return ForLoop<TForDownwardStepExpr>(b, 10, 1, 4); },
         u"1062|\r\n-2\r\n", u""},
        {"step 0 fails before the first round",
         [](TTreeBuilder& b) { return ForLoop<TForUpwardStepExpr>(b, 1, 10, 0); }, u"",
         u"Runtime Error: FOR loop STEP should be strictly positive: 0 [line: 2, column: 1]\r\n"},
        {"negative step",
         [](TTreeBuilder& b) { return ForLoop<TForDownwardStepExpr>(b, 1, 10, -1); }, u"",
         u"Runtime Error: FOR loop STEP should be strictly positive: -1 [line: 2, column: 1]\r\n"},
        {"a step past the 64-bit range overflows",
         [](TTreeBuilder& b) { return ForLoop<TForUpwardStepExpr>(b, MaxInt - 10, MaxInt, 4); },
         u"922337203685477579792233720368547758019223372036854775805",
         u"Runtime Error: Integer overflow [line: 2, column: 1]\r\n"},
        {"a loop up to the largest integer ends there instead of wrapping",
         [](TTreeBuilder& b) { return ForLoop<TForUpwardExpr>(b, MaxInt - 1, MaxInt); },
         u"92233720368547758069223372036854775807|\r\n9223372036854775807\r\n", u""},
        {"a loop down to the smallest integer ends there",
         [](TTreeBuilder& b) { return ForLoop<TForDownwardExpr>(b, MinInt + 1, MinInt); },
         u"-9223372036854775807-9223372036854775808|\r\n-9223372036854775808\r\n", u""},
    });
}

namespace {

// while/repeat/for over i with a body that prints i, then breaks at 3,
// continues at 2 or exits at 4.
enum class TFlowKind { Break, Continue, Exit };

TStmt FlowBody(TTreeBuilder& b, int32_t i, TFlowKind kind)
{
    const int64_t at = kind == TFlowKind::Break ? 3 : kind == TFlowKind::Continue ? 2 : 4;
    TStmt jump;
    switch (kind) {
    case TFlowKind::Break:
        jump = std::make_unique<TBreakExpr>(b.Pos(4));
        break;
    case TFlowKind::Continue:
        jump = std::make_unique<TContinueExpr>(b.Pos(4));
        break;
    case TFlowKind::Exit:
        jump = std::make_unique<TExitExpr>(b.Pos(4));
        break;
    }
    return b.Block(3,
                   std::make_unique<TIfThenExpr>(
                       b.Pos(4), b.Bin<TRelEqualIntExpr>(b.IntVar(i), b.Int(at)), std::move(jump)),
                   b.Print(5, b.IntVar(i)));
}

} // namespace

TEST(tvsCoreExprs, BreakContinueExit)
{
    const auto forLoop = [](TFlowKind kind) {
        return [kind](TTreeBuilder& b) {
            const int32_t i = b.NewInt();
            return b.Block(1,
                           std::make_unique<TForUpwardExpr>(b.Pos(2), b.IntVar(i), b.Int(1),
                                                            b.Int(5), FlowBody(b, i, kind)),
                           b.Print(6, b.Str(u"|")), b.Print(7, b.IntVar(i)));
        };
    };
    // i := 0; while i < 5 do begin i := i + 1; <body> end
    const auto whileLoop = [](TFlowKind kind) {
        return [kind](TTreeBuilder& b) {
            const int32_t i = b.NewInt();
            auto body =
                b.Block(3, b.Assign(3, b.IntVar(i), b.Bin<TAddIntExpr>(b.IntVar(i), b.Int(1))),
                        FlowBody(b, i, kind));
            return b.Block(
                1, b.Assign(1, b.IntVar(i), b.Int(0)),
                std::make_unique<TWhileExpr>(
                    b.Pos(2), b.Bin<TRelLessIntExpr>(b.IntVar(i), b.Int(5)), std::move(body)),
                b.Print(6, b.Str(u"|")), b.Print(7, b.IntVar(i)));
        };
    };
    // i := 0; repeat i := i + 1; <body> until i >= 5
    const auto repeatLoop = [](TFlowKind kind) {
        return [kind](TTreeBuilder& b) {
            const int32_t i = b.NewInt();
            auto body =
                b.Block(3, b.Assign(3, b.IntVar(i), b.Bin<TAddIntExpr>(b.IntVar(i), b.Int(1))),
                        FlowBody(b, i, kind));
            return b.Block(1, b.Assign(1, b.IntVar(i), b.Int(0)),
                           std::make_unique<TRepeatExpr>(
                               b.Pos(2), b.Bin<TRelGreaterEqualIntExpr>(b.IntVar(i), b.Int(5)),
                               std::move(body)),
                           b.Print(6, b.Str(u"|")), b.Print(7, b.IntVar(i)));
        };
    };
    RunCases({
        {"for break", forLoop(TFlowKind::Break), u"12|3", u""},
        {"for continue", forLoop(TFlowKind::Continue), u"1345|6", u""},
        {"exit leaves the loop and the main program", forLoop(TFlowKind::Exit), u"123", u""},
        {"while break", whileLoop(TFlowKind::Break), u"12|3", u""},
        {"while continue", whileLoop(TFlowKind::Continue), u"1345|5", u""},
        {"while exit", whileLoop(TFlowKind::Exit), u"123", u""},
        {"repeat break", repeatLoop(TFlowKind::Break), u"12|3", u""},
        {"repeat continue still tests the condition", repeatLoop(TFlowKind::Continue), u"1345|5",
         u""},
        {"an endless loop ends by break",
         [](TTreeBuilder& b) {
             const int32_t i = b.NewInt();
             auto body =
                 b.Block(3, b.Assign(3, b.IntVar(i), b.Bin<TAddIntExpr>(b.IntVar(i), b.Int(1))),
                         FlowBody(b, i, TFlowKind::Break));
             return b.Block(1, b.Assign(1, b.IntVar(i), b.Int(0)),
                            std::make_unique<TLoopExpr>(b.Pos(2), b.Bool(true), std::move(body)),
                            b.Print(6, b.Str(u"|")), b.Print(7, b.IntVar(i)));
         },
         u"12|3", u""},
        {"break in a case inside a loop leaves the loop",
         [](TTreeBuilder& b) {
             const int32_t i = b.NewInt();
             auto caseExpr = std::make_unique<TCaseExpr>(b.Pos(3), b.IntVar(i));
             caseExpr->AddCondition(std::make_unique<TCompareCaseCondition>(
                 b.Pos(3), new TBreakExpr(b.Pos(3)), true, b.Int(2)));
             auto body = b.Block(3, std::move(caseExpr), b.Print(4, b.IntVar(i)));
             return b.Block(1,
                            std::make_unique<TForUpwardExpr>(b.Pos(2), b.IntVar(i), b.Int(1),
                                                             b.Int(5), std::move(body)),
                            b.Print(6, b.IntVar(i)));
         },
         u"12", u""},
        {"break outside a loop ends the program with a message",
         [](TTreeBuilder& b) {
             return b.Block(1, b.Print(1, b.Str(u"a")), std::make_unique<TBreakExpr>(b.Pos(2)),
                            b.Print(3, b.Str(u"b")));
         },
         u"a", u"Runtime Error: break without for/while/repeat or case\r\n"},
        {"continue outside a loop",
         [](TTreeBuilder& b) { return b.Block(1, std::make_unique<TContinueExpr>(b.Pos(2))); }, u"",
         u"Runtime Error: continue without for/while/repeat or case\r\n"},
    });
}

TEST(tvsCoreExprs, IfAndCase)
{
    // case x of 1..3: A; 5: B; 'x': C else D
    const auto caseOf = [](Variant value) {
        return [value](TTreeBuilder& b) {
            auto caseExpr = std::make_unique<TCaseExpr>(b.Pos(1), b.Var(value));
            caseExpr->AddCondition(std::make_unique<TRangeCaseCondition>(
                b.Pos(2), b.Print(2, b.Str(u"A")).release(), true, b.Int(1), b.Int(3)));
            TNoResultExpr* shared = b.Print(3, b.Str(u"B")).release();
            caseExpr->AddCondition(
                std::make_unique<TCompareCaseCondition>(b.Pos(3), shared, true, b.Int(5)));
            caseExpr->AddCondition(
                std::make_unique<TCompareCaseCondition>(b.Pos(3), shared, false, b.Int(7)));
            caseExpr->AddCondition(std::make_unique<TCompareCaseCondition>(
                b.Pos(4), b.Print(4, b.Str(u"C")).release(), true, b.Str(u"xy")));
            caseExpr->SetElse(b.Print(5, b.Str(u"D")));
            return caseExpr;
        };
    };
    RunCases({
        {"case range", caseOf(Variant(int64_t{2})), u"A", u""},
        {"case value", caseOf(Variant(int64_t{5})), u"B", u""},
        {"labels sharing a statement", caseOf(Variant(int64_t{7})), u"B", u""},
        {"case else", caseOf(Variant(int64_t{4})), u"D", u""},
        {"string case compares whole strings", caseOf(Variant(u"xy")), u"C", u""},
        {"string case prefix is no match", caseOf(Variant(u"x")), u"D", u""},
        {"if then else",
         [](TTreeBuilder& b) {
             return b.Block(
                 1,
                 std::make_unique<TIfThenElseExpr>(
                     b.Pos(1), b.Bin<TRelLessIntExpr>(b.Int(1), b.Int(2)),
                     b.Print(1, b.Str(u"yes")), b.Print(1, b.Str(u"no"))),
                 std::make_unique<TIfThenExpr>(b.Pos(2), b.Bin<TRelLessIntExpr>(b.Int(2), b.Int(1)),
                                               b.Print(2, b.Str(u"never"))));
         },
         u"yes", u""},
    });
}

// With optimisation, trees are rewritten into faster forms that behave the
// same; each row checks the class of the result and what it prints.
TEST(tvsCoreExprs, OptimizeRewrites)
{
    struct TOptCase {
        const char* name;
        std::function<TStmt(TTreeBuilder&)> build;
        const std::type_info& expected;
        std::u16string output;
    };
    const int32_t x = 0; // the first variable every row allocates
    const TOptCase cases[] = {
        {"i := i + 1 becomes an in-place increment",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TAddIntExpr>(b.IntVar(x), b.Int(41)));
         },
         typeid(TIncIntVarExpr), u"41"},
        {"i := i - 1 becomes an in-place decrement",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TSubIntExpr>(b.IntVar(x), b.Int(2)));
         },
         typeid(TDecIntVarExpr), u"-2"},
        {"i := 1 + i stays an assignment",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TAddIntExpr>(b.Int(1), b.IntVar(x)));
         },
         typeid(TAssignExpr), u"1"},
        {"constant store",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TMultIntExpr>(b.Int(6), b.Int(7)));
         },
         typeid(TAssignConstToIntegerVarExpr), u"42"},
        {"s := s + 'x' appends the constant",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.StrVar(x), b.Bin<TAddStrExpr>(b.StrVar(x), b.Str(u"x")));
         },
         typeid(TAppendConstStringVarExpr), u"x"},
        {"s := 'x' + s stays an assignment",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.StrVar(x), b.Bin<TAddStrExpr>(b.Str(u"x"), b.StrVar(x)));
         },
         typeid(TAssignExpr), u"x"},
        {"i := (i + 3) mod 5 stores the remainder directly",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x),
                             b.Bin<TModExpr>(b.Bin<TAddIntExpr>(b.IntVar(x), b.Int(3)), b.Int(5)));
         },
         typeid(TAssignModConstToIntVarExpr), u"3"},
        {"i := i mod -1 keeps the checked remainder",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TModExpr>(b.IntVar(x), b.Int(-1)));
         },
         typeid(TAssignExpr), u"0"},
        {"i := i xor 5 works in place",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TIntXorExpr>(b.IntVar(x), b.Int(5)));
         },
         typeid(TIntVarSelfOpExpr), u"5"},
        {"i := 6 or i stays an assignment",
         [](TTreeBuilder& b) {
             b.NewInt();
             return b.Assign(1, b.IntVar(x), b.Bin<TIntOrExpr>(b.Int(6), b.IntVar(x)));
         },
         typeid(TAssignExpr), u"6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTreeBuilder b;
        TStmt statement = c.build(b);
        ItvsProgramExecution compileExec = b.Prog().CreateNewExecution();
        OptimizeExpr(statement, b.Prog(), *compileExec);
        EXPECT_EQ(typeid(*statement), c.expected);
        // The rows on strings print a letter, the others a number.
        const bool isString = c.output == u"x";
        auto print = isString ? b.PrintLn(2, TExpr(b.StrVar(x))) : b.PrintLn(2, TExpr(b.IntVar(x)));
        ItvsProgramExecution exec = b.Run(b.Block(1, std::move(statement), std::move(print)));
        EXPECT_EQ(Output(exec), c.output + u"\r\n");
    }
}

TEST(tvsCoreExprs, FoldingReplacesConstantOperators)
{
    TTreeBuilder b;
    ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    TExpr sum = b.Bin<TAddIntExpr>(b.Int(2), b.Bin<TMultIntExpr>(b.Int(3), b.Int(4)));
    OptimizeExpr(sum, b.Prog(), *exec);
    ASSERT_EQ(typeid(*sum), typeid(TConstIntExpr));
    EXPECT_EQ(static_cast<TConstIntExpr&>(*sum).Value(), 14);
    // The fold answers the program's one constant of that value.
    EXPECT_EQ(sum.get(), b.Int(14).get());

    // A float operation keeps its variable operand, but its integer constant
    // becomes the equal float constant.
    TExpr product = b.Bin<TMultFloatExpr>(b.FloatVar(b.NewInt()), b.Int(2));
    OptimizeExpr(product, b.Prog(), *exec);
    ASSERT_EQ(typeid(*product), typeid(TMultFloatExpr));
    EXPECT_EQ(typeid(*static_cast<TBinaryOpExpr&>(*product).Right()), typeid(TConstFloatExpr));

    // x * x on one variable becomes a square.
    const int32_t v = b.NewInt();
    TExpr square = b.Bin<TMultIntExpr>(b.IntVar(v), b.IntVar(v));
    OptimizeExpr(square, b.Prog(), *exec);
    EXPECT_EQ(typeid(*square), typeid(TSqrIntExpr));

    // A fold that fails raises while compiling.
    TExpr failing = b.Bin<TDivExpr>(b.Int(1), b.Int(0));
    EXPECT_THROW(OptimizeExpr(failing, b.Prog(), *exec), EDivByZero);
}

TEST(tvsCoreExprs, StatementOptimizations)
{
    struct TStmtCase {
        const char* name;
        std::function<TStmt(TTreeBuilder&)> build;
        const std::type_info& expected;
        std::u16string output;
    };
    const TStmtCase cases[] = {
        {"while False disappears",
         [](TTreeBuilder& b) {
             return std::make_unique<TWhileExpr>(b.Pos(1), b.Bool(false), b.Print(1, b.Str(u"x")));
         },
         typeid(TNullExpr), u""},
        {"repeat until True stays and runs once",
         [](TTreeBuilder& b) {
             return std::make_unique<TRepeatExpr>(b.Pos(1), b.Bool(true), b.Print(1, b.Str(u"x")));
         },
         typeid(TRepeatExpr), u"x"},
        {"if True keeps the then branch",
         [](TTreeBuilder& b) {
             return std::make_unique<TIfThenElseExpr>(
                 b.Pos(1), b.Bool(true), b.Print(1, b.Str(u"t")), b.Print(1, b.Str(u"e")));
         },
         typeid(TPrintExpr), u"t"},
        {"if False without else disappears",
         [](TTreeBuilder& b) {
             return std::make_unique<TIfThenExpr>(b.Pos(1), b.Bool(false), b.Print(1, b.Str(u"t")));
         },
         typeid(TNullExpr), u""},
        {"a block of one statement becomes the statement",
         [](TTreeBuilder& b) {
             return b.Block(1, std::make_unique<TNullExpr>(b.Pos(1)), b.Print(1, b.Str(u"a")));
         },
         typeid(TPrintExpr), u"a"},
        {"a block of three statements is unrolled",
         [](TTreeBuilder& b) {
             return b.Block(1, b.Print(1, b.Str(u"a")), b.Print(1, b.Str(u"b")),
                            b.Print(1, b.Str(u"c")));
         },
         typeid(TBlockExprNoTable3), u"abc"},
        {"a longer block keeps every statement",
         [](TTreeBuilder& b) {
             return b.Block(1, b.Print(1, b.Str(u"a")), b.Print(1, b.Str(u"b")),
                            b.Print(1, b.Str(u"c")), b.Print(1, b.Str(u"d")),
                            b.Print(1, b.Str(u"e")));
         },
         typeid(TBlockExprNoTable), u"abcde"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTreeBuilder b;
        TStmt statement = c.build(b);
        ItvsProgramExecution compileExec = b.Prog().CreateNewExecution();
        OptimizeExpr(statement, b.Prog(), *compileExec);
        EXPECT_EQ(typeid(*statement), c.expected);
        EXPECT_EQ(Output(b.Run(std::move(statement))), c.output);
    }
}

TEST(tvsCoreExprs, UnifiedConstantsAreShared)
{
    TTreeBuilder b;
    TExpr a = b.Int(7);
    TExpr again = b.Int(7);
    EXPECT_EQ(a.get(), again.get());
    EXPECT_NE(static_cast<TExprBase*>(b.Int(1).get()), static_cast<TExprBase*>(b.Flt(1).get()));
    EXPECT_NE(b.Flt(0.0).get(), b.Flt(-0.0).get());
    EXPECT_EQ(b.Str(u"x").get(), b.Str(u"x").get());
    // Both holders let go; the constant lives on in the program's list.
    a.reset();
    EXPECT_EQ(static_cast<TConstIntExpr&>(*again).Value(), 7);
}

TEST(tvsCoreExprs, AssignToAValueRaises)
{
    TTreeBuilder b;
    ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    TExpr sum = b.Bin<TAddIntExpr>(b.Int(1), b.Int(2));
    try {
        sum->AssignValue(*exec, Variant(int64_t{1}));
        FAIL() << "no error";
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), u"Cannot assign to TAddIntExpr");
    }
    try {
        b.Int(1)->AssignValueAsInteger(*exec, 1);
        FAIL() << "no error";
    } catch (const EScriptError& e) {
        EXPECT_EQ(e.Message(), u"Cannot assign to TConstIntExpr");
    }
}

TEST(tvsCoreExprs, SubExpressionsAreTheOwnedChildren)
{
    TTreeBuilder b;
    const int32_t i = b.NewInt();
    TExpr sum = b.Bin<TAddIntExpr>(b.Int(1), b.IntVar(i));
    EXPECT_EQ(sum->GetSubExprCount(), 2);
    EXPECT_EQ(typeid(*sum->GetSubExpr(1)), typeid(TIntVarExpr));
    EXPECT_EQ(b.Un<TNegIntExpr>(b.Int(1))->GetSubExprCount(), 1);
    auto block = b.Block(1, b.Print(1, b.Int(1)), b.Print(2, b.Int(2)), b.Print(3, b.Int(3)));
    EXPECT_EQ(block->GetSubExprCount(), 3);
    auto loop = std::make_unique<TForUpwardStepExpr>(b.Pos(1), b.IntVar(i), b.Int(1), b.Int(2),
                                                     b.Int(3), b.Print(1, b.Int(4)));
    ASSERT_EQ(loop->GetSubExprCount(), 5);
    EXPECT_EQ(typeid(*loop->GetSubExpr(0)), typeid(TIntVarExpr));
    EXPECT_EQ(typeid(*loop->GetSubExpr(3)), typeid(TPrintExpr));
    EXPECT_EQ(static_cast<TConstIntExpr*>(loop->GetSubExpr(4))->Value(), 3);
}

TEST(tvsCoreExprs, OpAssignments)
{
    // x := 10; x <op>= operand; PrintLn(x) -- with and without optimisation.
    struct TOpRow {
        const char* name;
        std::function<TStmt(TTreeBuilder&, std::unique_ptr<TDataExpr>, TExpr)> make;
        TExpr (*operand)(TTreeBuilder&);
        std::u16string output;
        const std::type_info& optimized;
    };
    const auto make = [](auto tag) {
        using TOp = typename decltype(tag)::type;
        return [](TTreeBuilder& b, std::unique_ptr<TDataExpr> left, TExpr right) -> TStmt {
            return std::make_unique<TOp>(b.Pos(2), std::move(left), std::move(right));
        };
    };
    const TOpRow rows[] = {
        {"+= on an integer", make(std::type_identity<TPlusAssignIntExpr>()),
         [](TTreeBuilder& b) { return b.Int(5); }, u"15", typeid(TIncIntVarExpr)},
        {"-= on an integer", make(std::type_identity<TMinusAssignIntExpr>()),
         [](TTreeBuilder& b) { return b.Int(5); }, u"5", typeid(TDecIntVarExpr)},
        {"*= on an integer", make(std::type_identity<TMultAssignIntExpr>()),
         [](TTreeBuilder& b) { return b.Int(MaxInt); }, u"-10", typeid(TMultAssignIntExpr)},
        {"variant +=", make(std::type_identity<TPlusAssignExpr>()),
         [](TTreeBuilder& b) { return b.Var(u"5"); }, u"15", typeid(TPlusAssignExpr)},
        {"/= is a float division", make(std::type_identity<TDivideAssignExpr>()),
         [](TTreeBuilder& b) { return b.Int(4); }, u"2.5", typeid(TDivideAssignExpr)},
    };
    for (const bool optimize : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (optimize ? " (optimised)" : ""));
            TTreeBuilder b;
            const int32_t x = b.NewInt();
            // The variable is a Variant slot so that every form can store to it.
            auto var = std::make_unique<TVarExpr>(&b.T.Variant, x);
            std::unique_ptr<TDataExpr> target = std::move(var);
            if (row.optimized == typeid(TIncIntVarExpr) || row.optimized == typeid(TDecIntVarExpr))
                target = b.IntVar(x);
            TStmt op = row.make(b, std::move(target), row.operand(b));
            if (optimize) {
                ItvsProgramExecution compileExec = b.Prog().CreateNewExecution();
                OptimizeExpr(op, b.Prog(), *compileExec);
                EXPECT_EQ(typeid(*op), row.optimized);
            }
            ItvsProgramExecution exec = b.Run(b.Block(
                1, b.Assign(1, std::make_unique<TVarExpr>(&b.T.Variant, x), b.Int(10)),
                std::move(op), b.PrintLn(3, TExpr(std::make_unique<TVarExpr>(&b.T.Variant, x)))));
            EXPECT_EQ(Output(exec), row.output + u"\r\n");
            EXPECT_EQ(Errors(exec), u"");
        }
    }
}

TEST(tvsCoreExprs, MultAssignEvaluatesTheOperandFirst)
{
    TTreeBuilder b;
    const int32_t x = b.NewInt();
    // x *= f(): f runs before x is read; x += f() reads x first.
    ItvsProgramExecution exec = b.Run(
        b.Block(1, b.Assign(1, b.IntVar(x), b.Int(3)),
                std::make_unique<TMultAssignIntExpr>(b.Pos(2), b.IntVar(x), b.Traced(u"f", 2)),
                std::make_unique<TPlusAssignStrExpr>(b.Pos(3), b.StrVar(b.NewInt()), b.Str(u"s")),
                b.PrintLn(4, b.IntVar(x))));
    EXPECT_EQ(Output(exec), u"f6\r\n");
}

TEST(tvsCoreExprs, InitDataWritesTheTypesDefault)
{
    TTreeBuilder b;
    const int32_t i = b.NewInt();
    const int32_t s = b.NewInt();
    ItvsProgramExecution exec = b.Run(b.Block(
        1, b.Assign(1, b.IntVar(i), b.Int(7)), b.Assign(1, b.StrVar(s), b.Str(u"x")),
        std::make_unique<TInitDataExpr>(b.Pos(2), b.IntVar(i)),
        std::make_unique<TInitDataExpr>(b.Pos(2), b.StrVar(s)),
        b.PrintLn(3, b.Bin<TAddStrExpr>(b.Str(u"["), b.Bin<TAddStrExpr>(b.StrVar(s), b.Str(u"]")))),
        b.PrintLn(4, b.IntVar(i))));
    EXPECT_EQ(Output(exec), u"[]\r\n0\r\n");
}

TEST(tvsCoreExprs, ResourceStringReadsItsValue)
{
    TTreeBuilder b;
    TResourceStringSymbol symbol(u"Greeting", u"hello");
    ItvsProgramExecution exec =
        b.Run(b.Print(1, std::make_unique<TResourceStringExpr>(&b.T.String, &symbol, b.Pos(1))));
    EXPECT_EQ(Output(exec), u"hello");
}
