#include "tvsMagicExprs.h"

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"
#include "tvsTokenizer.h"

namespace {

TStmt Stmt(TTreeBuilder& b, int line, TExpr expr)
{
    return std::make_unique<TNoResultWrapperExpr>(b.Pos(line), std::move(expr));
}

// s := text, then the character store s[index] := value at line 2.
TStmt StoreChar(TTreeBuilder& b, bool plainVariable, const char16_t* text, int64_t index,
                const char16_t* value)
{
    int32_t s = 0;
    b.NewVar<TStrVarExpr>(&b.T.String, s);
    TExpr store;
    if (plainVariable)
        store = std::make_unique<TVarStringArraySetExpr>(b.StrVar(s), b.Int(index), b.Str(value),
                                                         b.Pos(2, 3));
    else
        store = std::make_unique<TStringArraySetExpr>(std::make_unique<TVarExpr>(&b.T.String, s),
                                                      b.Int(index), b.Str(value), b.Pos(2, 3));
    return b.Block(1, b.Assign(1, b.StrVar(s), b.Str(text)), Stmt(b, 2, std::move(store)),
                   b.PrintLn(3, b.StrVar(s)));
}

} // namespace

TEST(tvsMagicExprs, StringIndexRead)
{
    const auto charAt = [](TTreeBuilder& b, const char16_t* text, int64_t index) {
        return b.PrintLn(1, std::make_unique<TStringArrayOpExpr>(b.Prog(), b.Str(text),
                                                                 b.Int(index), b.Pos(1, 9)));
    };
    RunCases({
        {"first and last characters",
         [&](TTreeBuilder& b) { return b.Block(1, charAt(b, u"abc", 1), charAt(b, u"abc", 3)); },
         u"a\r\nc\r\n", u""},
        {"index past the end", [&](TTreeBuilder& b) { return charAt(b, u"abc", 4); }, u"",
         u"Runtime Error: Upper bound exceeded! Index 4 [line: 1, column: 9]\r\n"},
        {"index 0", [&](TTreeBuilder& b) { return charAt(b, u"abc", 0); }, u"",
         u"Runtime Error: Lower bound exceeded! Index 0 [line: 1, column: 9]\r\n"},
        {"index 1 of the empty string", [&](TTreeBuilder& b) { return charAt(b, u"", 1); }, u"",
         u"Runtime Error: Upper bound exceeded! Index 1 [line: 1, column: 9]\r\n"},
        {"a very negative index does not wrap into range",
         [&](TTreeBuilder& b) { return charAt(b, u"abc", MinInt); }, u"",
         u"Runtime Error: Lower bound exceeded! Index -9223372036854775808 [line: 1, column: "
         u"9]\r\n"},
    });
}

// Both store forms change one character; they differ only in which error a
// wrong-size value beyond the end gives.
TEST(tvsMagicExprs, StringIndexWrite)
{
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain variable" : "general location");
        RunCases({
            {"store in the middle",
             [&](TTreeBuilder& b) { return StoreChar(b, plain, u"abc", 2, u"X"); }, u"aXc\r\n",
             u""},
            {"index 0", [&](TTreeBuilder& b) { return StoreChar(b, plain, u"abc", 0, u"X"); }, u"",
             u"Runtime Error: Lower bound exceeded! Index 0 [line: 2, column: 3]\r\n"},
            {"index past the end",
             [&](TTreeBuilder& b) { return StoreChar(b, plain, u"abc", 4, u"X"); }, u"",
             u"Runtime Error: Upper bound exceeded! Index 4 [line: 2, column: 3]\r\n"},
            {"two characters",
             [&](TTreeBuilder& b) { return StoreChar(b, plain, u"abc", 1, u"xy"); }, u"",
             u"Runtime Error: Input data of invalid size: 2 instead of 1 [line: 2, column: 3]\r\n"},
            {"no character", [&](TTreeBuilder& b) { return StoreChar(b, plain, u"abc", 1, u""); },
             u"",
             u"Runtime Error: Input data of invalid size: 0 instead of 1 [line: 2, column: 3]\r\n"},
        });
    }
    RunCases({
        {"general form: the bound is checked before the value",
         [](TTreeBuilder& b) { return StoreChar(b, false, u"abc", 9, u"xy"); }, u"",
         u"Runtime Error: Upper bound exceeded! Index 9 [line: 2, column: 3]\r\n"},
        {"plain variable: the value is checked before the bound",
         [](TTreeBuilder& b) { return StoreChar(b, true, u"abc", 9, u"xy"); }, u"",
         u"Runtime Error: Input data of invalid size: 2 instead of 1 [line: 2, column: 3]\r\n"},
    });
}

// A store must not change another string that shares the same text.
TEST(tvsMagicExprs, StringIndexWriteCopiesSharedText)
{
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain variable" : "general location");
        TTreeBuilder b;
        int32_t s = 0;
        int32_t t = 0;
        b.NewVar<TStrVarExpr>(&b.T.String, s);
        b.NewVar<TStrVarExpr>(&b.T.String, t);
        TExpr store;
        if (plain)
            store = std::make_unique<TVarStringArraySetExpr>(b.StrVar(s), b.Int(1), b.Str(u"z"),
                                                             b.Pos(3));
        else
            store = std::make_unique<TStringArraySetExpr>(
                std::make_unique<TVarExpr>(&b.T.String, s), b.Int(1), b.Str(u"z"), b.Pos(3));
        auto exec = b.Run(b.Block(1, b.Assign(1, b.StrVar(s), b.Str(u"abc")),
                                  b.Assign(2, b.StrVar(t), b.StrVar(s)),
                                  Stmt(b, 3, std::move(store)), b.PrintLn(4, b.StrVar(s)),
                                  b.PrintLn(5, b.StrVar(t)), b.PrintLn(6, b.Str(u"abc"))));
        EXPECT_EQ(Output(exec), u"zbc\r\nabc\r\nabc\r\n");
        EXPECT_EQ(Errors(exec), u"");
    }
}

TEST(tvsMagicExprs, StringLength)
{
    RunCases({
        {"code units, also of a Variant",
         [](TTreeBuilder& b) {
             return b.Block(1, b.PrintLn(1, b.Un<TStringLengthExpr>(b.Str(u""))),
                            b.PrintLn(2, b.Un<TStringLengthExpr>(b.Str(u"h\u00e9llo"))),
                            b.PrintLn(3, b.Un<TStringLengthExpr>(b.Str(u"\U0001F600"))),
                            b.PrintLn(4, b.Un<TStringLengthExpr>(b.Var(Variant(int64_t{1234})))));
         },
         u"0\r\n5\r\n2\r\n4\r\n", u""},
    });
}

TEST(tvsMagicExprs, IncDecSuccPred)
{
    RunCases({
        {"Inc and Dec change the variable and answer its new value",
         [](TTreeBuilder& b) {
             const int32_t x = b.NewInt();
             return b.Block(
                 1, b.Assign(1, b.IntVar(x), b.Int(10)),
                 Stmt(b, 2, std::make_unique<TIncVarFuncExpr>(b.IntVar(x), b.Int(1), b.Pos(2))),
                 b.PrintLn(3, std::make_unique<TIncVarFuncExpr>(b.IntVar(x), b.Int(5), b.Pos(3))),
                 b.PrintLn(4, std::make_unique<TDecVarFuncExpr>(b.IntVar(x), b.Int(20), b.Pos(4))),
                 b.PrintLn(5, b.IntVar(x)));
         },
         u"16\r\n-4\r\n-4\r\n", u""},
        {"Inc and Dec wrap around",
         [](TTreeBuilder& b) {
             const int32_t x = b.NewInt();
             return b.Block(
                 1, b.Assign(1, b.IntVar(x), b.Int(MaxInt)),
                 b.PrintLn(2, std::make_unique<TIncVarFuncExpr>(b.IntVar(x), b.Int(1), b.Pos(2))),
                 b.PrintLn(3, std::make_unique<TDecVarFuncExpr>(b.IntVar(x), b.Int(1), b.Pos(3))),
                 b.PrintLn(
                     4, std::make_unique<TDecVarFuncExpr>(b.IntVar(x), b.Int(MinInt), b.Pos(4))));
         },
         u"-9223372036854775808\r\n9223372036854775807\r\n-1\r\n", u""},
        {"a general integer location is read and written through the node",
         [](TTreeBuilder& b) {
             const int32_t x = b.NewInt();
             return b.Block(
                 1, b.Assign(1, b.IntVar(x), b.Int(1)),
                 Stmt(b, 2,
                      std::make_unique<TIncVarFuncExpr>(std::make_unique<TVarExpr>(&b.T.Integer, x),
                                                        b.Int(41), b.Pos(2))),
                 b.PrintLn(3, b.IntVar(x)));
         },
         u"42\r\n", u""},
        {"Succ and Pred wrap around and leave their operand alone",
         [](TTreeBuilder& b) {
             const int32_t x = b.NewInt();
             return b.Block(1, b.Assign(1, b.IntVar(x), b.Int(MaxInt)),
                            b.PrintLn(2, b.Bin<TSuccFuncExpr>(b.IntVar(x), b.Int(1))),
                            b.PrintLn(3, b.Bin<TPredFuncExpr>(b.Int(MinInt), b.Int(1))),
                            b.PrintLn(4, b.Bin<TPredFuncExpr>(b.Int(5), b.Int(-3))),
                            b.PrintLn(5, b.IntVar(x)));
         },
         u"-9223372036854775808\r\n9223372036854775807\r\n8\r\n9223372036854775807\r\n", u""},
    });
}

TEST(tvsMagicExprs, Assert)
{
    const auto assertion = [](TTreeBuilder& b, bool holds, const char16_t* message) {
        TExpr text = message != nullptr ? b.Str(message) : nullptr;
        return Stmt(b, 2,
                    std::make_unique<TAssertExpr>(b.Bool(holds), std::move(text), b.Pos(2, 5)));
    };
    RunCases({
        {"a holding assertion does nothing",
         [&](TTreeBuilder& b) {
             return b.Block(1, assertion(b, true, u"no"), b.PrintLn(3, b.Str(u"after")));
         },
         u"after\r\n", u""},
        {"a failing one stops the run at the assertion, without its message part",
         [&](TTreeBuilder& b) {
             return b.Block(1, assertion(b, false, u"count wrong"), b.PrintLn(3, b.Str(u"after")));
         },
         u"", u"Runtime Error: Assertion failed [line: 2, column: 5]\r\n"},
        {"without a message",
         [&](TTreeBuilder& b) { return b.Block(1, assertion(b, false, nullptr)); }, u"",
         u"Runtime Error: Assertion failed [line: 2, column: 5]\r\n"},
    });
}

TEST(tvsMagicExprs, StatementNodes)
{
    TTreeBuilder b;
    const int32_t x = b.NewInt();
    EXPECT_TRUE(
        IsStatementExpr(*std::make_unique<TIncVarFuncExpr>(b.IntVar(x), b.Int(1), b.Pos(1))));
    EXPECT_TRUE(IsStatementExpr(*std::make_unique<TAssertExpr>(b.Bool(true), nullptr, b.Pos(1))));
    EXPECT_FALSE(IsStatementExpr(*b.Bin<TSuccFuncExpr>(b.Int(1), b.Int(1))));
    EXPECT_FALSE(IsStatementExpr(
        *std::make_unique<TStringArrayOpExpr>(b.Prog(), b.Str(u"a"), b.Int(1), b.Pos(1))));
}

TEST(tvsMagicExprs, DefinedReadsTheConditionalSymbols)
{
    auto conditionals = std::make_shared<TConditionalSymbols>();
    conditionals->Add(u"DEBUG");
    TTreeBuilder b;
    const auto defined = [&](const char16_t* name) {
        return std::make_unique<TDefinedExpr>(b.Prog(), b.Str(name), conditionals);
    };
    auto exec = b.Run(
        b.Block(1, b.PrintLn(1, defined(u"DEBUG")), b.PrintLn(2, defined(u"debug")),
                b.PrintLn(3, defined(u"RELEASE")),
                b.PrintLn(4, std::make_unique<TDefinedExpr>(b.Prog(), b.Str(u"DEBUG"), nullptr))));
    EXPECT_EQ(Output(exec), u"True\r\nTrue\r\nFalse\r\nFalse\r\n");
    EXPECT_EQ(Errors(exec), u"");
}
