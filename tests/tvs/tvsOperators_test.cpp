// The operator table: its lookup rule, the system entries in their
// registration order, and how compiled operators evaluate and fold.
#include "tvsOperators.h"

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "tvsComp.h"
#include "tvsCompiler.h"
#include "tvsConvExprs.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsGuardian.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"
#include "tvsSystemOperators.h"

namespace {

using enum TTokenType;

struct TTypes {
    TBaseIntegerSymbol Integer;
    TBaseFloatSymbol Float;
    TBaseStringSymbol String;
    TBaseBooleanSymbol Boolean;
    TBaseVariantSymbol Variant;
    TBaseIntegerSymbol ClassRef; // any distinct type stands in for TClass
    TAliasSymbol Count{u"TCount", &Integer};

    TSystemOperatorTypes System()
    {
        return {&Integer, &Float, &String, &Boolean, &Variant, &ClassRef};
    }
};

std::string Utf8(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The class names of every node in the tree under expr, depth first.
void CollectNodeClasses(const TExprBase* expr, std::vector<std::string>& names)
{
    if (expr == nullptr)
        return;
    names.push_back(typeid(*expr).name());
    for (int i = 0; i < expr->GetSubExprCount(); ++i)
        CollectNodeClasses(expr->GetSubExpr(i), names);
}

bool TreeHolds(const TtvsMainProgram& prog, const std::type_info& node)
{
    std::vector<std::string> names;
    CollectNodeClasses(prog.Expr(), names);
    for (const auto& name : names)
        if (name == node.name())
            return true;
    return false;
}

} // namespace

// An exact pair wins at once, even over later entries; otherwise the last
// entry both operands are of wins.
TEST(tvsOperators, ExactMatchFirstOtherwiseLastFit)
{
    TTypes t;
    TOperators table;
    table.RegisterBinary(ttPLUS, &MakeBinaryOp<TAddIntExpr>, &t.Integer, &t.Integer);
    table.RegisterBinary(ttPLUS, &MakeBinaryOp<TAddVariantExpr>, &t.Integer, &t.Integer);

    const TRegisteredOperator* exact = table.OperatorFor(ttPLUS, &t.Integer, &t.Integer);
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->BinExprClass, &MakeBinaryOp<TAddIntExpr>);

    const TRegisteredOperator* fit = table.OperatorFor(ttPLUS, &t.Count, &t.Integer);
    ASSERT_NE(fit, nullptr);
    EXPECT_EQ(fit->BinExprClass, &MakeBinaryOp<TAddVariantExpr>);

    EXPECT_EQ(table.OperatorFor(ttMINUS, &t.Integer, &t.Integer), nullptr);
    EXPECT_EQ(table.OperatorFor(ttPLUS, &t.Float, &t.Integer), nullptr);
    EXPECT_EQ(table.OperatorFor(ttPLUS, nullptr, &t.Integer), nullptr);
    EXPECT_EQ(table.OperatorFor(ttPLUS, &t.Integer, nullptr), nullptr);
}

TEST(tvsOperators, ChildTableFallsBackToParent)
{
    TTypes t;
    TSystemOperators system(t.System());
    TOperators& scope = system.AddChild();
    EXPECT_EQ(scope.Parent(), &system);

    TFuncSymbol userPlus(u"AddStrings", TRoutineKind::fkFunction, 1);
    EXPECT_TRUE(scope.RegisterOperator(ttPLUS, &userPlus, &t.String, &t.String));
    EXPECT_FALSE(scope.RegisterOperator(ttPLUS, &userPlus, &t.String, &t.String));
    EXPECT_TRUE(scope.RegisterOperator(ttPLUS, &userPlus, &t.String, &t.Integer));
    EXPECT_EQ(scope.Count(), 3);

    const TRegisteredOperator* own = scope.OperatorFor(ttPLUS, &t.String, &t.String);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->UsesSym, &userPlus);
    EXPECT_EQ(own->BinExprClass, nullptr);

    const TRegisteredOperator* inherited = scope.OperatorFor(ttPLUS, &t.Integer, &t.Integer);
    ASSERT_NE(inherited, nullptr);
    EXPECT_EQ(inherited->BinExprClass, &MakeBinaryOp<TAddIntExpr>);
}

TEST(tvsOperators, SystemEntries)
{
    TTypes t;
    TSystemOperators table(t.System());
    TTypeSymbol* I = &t.Integer;
    TTypeSymbol* F = &t.Float;
    TTypeSymbol* S = &t.String;
    TTypeSymbol* B = &t.Boolean;
    TTypeSymbol* V = &t.Variant;
    TTypeSymbol* C = &t.ClassRef;
    const struct {
        TTokenType token;
        TTypeSymbol* left;
        TTypeSymbol* right;
        TBinaryOpFactory binary;
        TOpAssignFactory assign;
    } rows[] = {
        {ttPLUS, I, I, &MakeBinaryOp<TAddIntExpr>, nullptr},
        {ttPLUS, V, S, &MakeBinaryOp<TAddStrExpr>, nullptr},
        {ttPLUS, S, V, &MakeBinaryOp<TAddStrExpr>, nullptr},
        {ttPLUS, V, F, &MakeBinaryOp<TAddFloatExpr>, nullptr},
        {ttPLUS, I, V, &MakeBinaryOp<TAddVariantExpr>, nullptr},
        {ttPLUS, V, V, &MakeBinaryOp<TAddVariantExpr>, nullptr},
        {ttMINUS, F, I, &MakeBinaryOp<TSubFloatExpr>, nullptr},
        {ttTIMES, V, I, &MakeBinaryOp<TMultVariantExpr>, nullptr},
        {ttDIVIDE, I, I, &MakeBinaryOp<TDivideExpr>, nullptr},
        {ttDIVIDE, V, V, &MakeBinaryOp<TDivideExpr>, nullptr},
        {ttDIV, V, I, &MakeBinaryOp<TDivExpr>, nullptr},
        {ttMOD, I, V, &MakeBinaryOp<TModExpr>, nullptr},
        {ttOR, B, V, &MakeBinaryOp<TBoolOrExpr>, nullptr},
        {ttOR, V, I, &MakeBinaryOp<TIntOrExpr>, nullptr},
        {ttOR, V, V, &MakeBinaryOp<TVariantOrExpr>, nullptr},
        {ttAND, V, B, &MakeBinaryOp<TBoolAndExpr>, nullptr},
        {ttXOR, I, I, &MakeBinaryOp<TIntXorExpr>, nullptr},
        {ttIMPLIES, V, V, &MakeBinaryOp<TBoolImpliesExpr>, nullptr},
        {ttSHL, V, V, &MakeBinaryOp<TShlExpr>, nullptr},
        {ttSAR, I, V, &MakeBinaryOp<TSarExpr>, nullptr},
        {ttEQ, B, V, &MakeBinaryOp<TRelEqualBoolExpr>, nullptr},
        {ttNOTEQ, V, B, &MakeBinaryOp<TRelNotEqualBoolExpr>, nullptr},
        {ttEQ, I, I, &MakeBinaryOp<TRelEqualIntExpr>, nullptr},
        {ttLESS, I, F, &MakeBinaryOp<TRelLessFloatExpr>, nullptr},
        {ttGTREQ, S, V, &MakeBinaryOp<TRelGreaterEqualStringExpr>, nullptr},
        {ttLESSEQ, V, I, &MakeBinaryOp<TRelLessEqualVariantExpr>, nullptr},
        {ttNOTEQ, V, V, &MakeBinaryOp<TRelNotEqualVariantExpr>, nullptr},
        {ttEQ, C, C, &MakeBinaryOp<TRelEqualStringExpr>, nullptr},
        {ttNOTEQ, C, C, &MakeBinaryOp<TRelNotEqualStringExpr>, nullptr},
        {ttPLUS_ASSIGN, I, I, nullptr, &MakeOpAssign<TPlusAssignIntExpr>},
        {ttPLUS_ASSIGN, I, F, nullptr, &MakeOpAssign<TPlusAssignFloatExpr>},
        {ttPLUS_ASSIGN, V, S, nullptr, &MakeOpAssign<TPlusAssignStrExpr>},
        {ttPLUS_ASSIGN, V, I, nullptr, &MakeOpAssign<TPlusAssignExpr>},
        {ttMINUS_ASSIGN, F, V, nullptr, &MakeOpAssign<TMinusAssignFloatExpr>},
        {ttTIMES_ASSIGN, I, V, nullptr, &MakeOpAssign<TMultAssignExpr>},
        {ttDIVIDE_ASSIGN, I, I, nullptr, &MakeOpAssign<TDivideAssignExpr>},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&row - rows) << ": " << Utf8(row.left->Name())
                                        << ", " << Utf8(row.right->Name()));
        const TRegisteredOperator* entry = table.OperatorFor(row.token, row.left, row.right);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->BinExprClass, row.binary);
        EXPECT_EQ(entry->AssignExprClass, row.assign);
    }
}

TEST(tvsOperators, SystemHasNoEntryForMismatchedTypes)
{
    TTypes t;
    TSystemOperators table(t.System());
    const struct {
        TTokenType token;
        TTypeSymbol* left;
        TTypeSymbol* right;
    } rows[] = {
        {ttPLUS, &t.Boolean, &t.Boolean},       {ttPLUS, &t.String, &t.Integer},
        {ttLESS, &t.Boolean, &t.Boolean},       {ttEQ, &t.Boolean, &t.Integer},
        {ttDIV, &t.Float, &t.Integer},          {ttSHL, &t.Float, &t.Integer},
        {ttMINUS, &t.String, &t.String},        {ttLESS, &t.ClassRef, &t.ClassRef},
        {ttCARET, &t.Integer, &t.Integer},      {ttLESSLESS, &t.Integer, &t.Integer},
        {ttMINUS_ASSIGN, &t.String, &t.String},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8(row.left->Name() + u", " + row.right->Name()));
        EXPECT_EQ(table.OperatorFor(row.token, row.left, row.right), nullptr);
    }
}

// A missing base type drops the entries that name it and nothing else.
TEST(tvsOperators, SystemWithoutClassReferences)
{
    TTypes t;
    TSystemOperatorTypes types = t.System();
    types.Class = nullptr;
    TSystemOperators table(types);
    TSystemOperators full(t.System());
    EXPECT_EQ(full.Count() - table.Count(), 2);
    EXPECT_NE(table.OperatorFor(ttEQ, &t.Integer, &t.Integer), nullptr);
}

// The compiler builds the node that the system table names for each pair of
// operand types; with folding off every operator stays in the tree.
TEST(tvsOperators, CompilerBuildsTheTableEntry)
{
    const struct {
        const char16_t* source;
        const std::type_info& node;
    } rows[] = {
        {u"var a: Integer; var b: Integer; PrintLn(a + b);", typeid(TAddIntExpr)},
        {u"var a: Integer; var b: Float; PrintLn(a + b);", typeid(TAddFloatExpr)},
        {u"var a: Variant; var b: Float; PrintLn(a - b);", typeid(TSubFloatExpr)},
        {u"var a: Variant; var b: String; PrintLn(a + b);", typeid(TAddStrExpr)},
        {u"var a: Variant; var b: Integer; PrintLn(a * b);", typeid(TMultVariantExpr)},
        {u"var a: Integer; var b: Integer; PrintLn(a / b);", typeid(TDivideExpr)},
        {u"var a: Variant; var b: Integer; PrintLn(a div b);", typeid(TDivExpr)},
        {u"var a: Boolean; var b: Variant; PrintLn(a or b);", typeid(TBoolOrExpr)},
        {u"var a: Integer; var b: Variant; PrintLn(a and b);", typeid(TIntAndExpr)},
        {u"var a: Variant; var b: Variant; PrintLn(a xor b);", typeid(TVariantXorExpr)},
        {u"var a: Integer; var b: Integer; PrintLn(a sar b);", typeid(TSarExpr)},
        {u"var a: Boolean; var b: Variant; PrintLn(a = b);", typeid(TRelEqualBoolExpr)},
        {u"var a: Integer; var b: Float; PrintLn(a < b);", typeid(TRelLessFloatExpr)},
        {u"var a: String; var b: Variant; PrintLn(a >= b);", typeid(TRelGreaterEqualStringExpr)},
        {u"var a: Integer; var b: Variant; PrintLn(a <> b);", typeid(TRelNotEqualVariantExpr)},
        {u"var a: Integer; PrintLn(a in [1, 2..3]);", typeid(TInOpExpr)},
        {u"var a: Integer; PrintLn(a not in [1]);", typeid(TNotBoolExpr)},
        {u"var a: Variant; PrintLn(Integer(a));", typeid(TConvIntegerExpr)},
        {u"var a: Integer; PrintLn(Float(a));", typeid(TConvFloatExpr)},
        {u"var a: Variant; PrintLn(String(a));", typeid(TConvStringExpr)},
        {u"var a: Integer; PrintLn(Boolean(a));", typeid(TConvBoolExpr)},
        {u"var a: Integer; PrintLn(Variant(a));", typeid(TConvVariantExpr)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8(row.source));
        TtvsScriptComponent component;
        component.Config().SetCompilerOptions({});
        TRefPtr<TtvsMainProgram> prog = component.Compile(row.source);
        EXPECT_EQ(prog->Messages().Count(), 0) << Utf8(prog->Messages().AsInfo());
        EXPECT_TRUE(TreeHolds(*prog, row.node));
    }
}

// Constant operations fold only while optimising and while no error has been
// listed; either way the script computes the same.
TEST(tvsOperators, FoldingFollowsOptionAndErrors)
{
    const std::u16string source = u"PrintLn(1 + 2 * 3); PrintLn(7 / 2); PrintLn('a' + 'b');"
                                  u"PrintLn(10 div 3 mod 2); PrintLn(1 shl 3 or 1);";
    const std::type_info* folded[] = {
        &typeid(TAddIntExpr), &typeid(TMultIntExpr), &typeid(TDivideExpr), &typeid(TAddStrExpr),
        &typeid(TDivExpr),    &typeid(TModExpr),     &typeid(TShlExpr),    &typeid(TIntOrExpr)};

    TtvsScriptComponent optimising;
    TRefPtr<TtvsMainProgram> on = optimising.Compile(source);
    ASSERT_EQ(on->Messages().Count(), 0);

    TtvsScriptComponent plain;
    plain.Config().SetCompilerOptions({});
    TRefPtr<TtvsMainProgram> off = plain.Compile(source);
    ASSERT_EQ(off->Messages().Count(), 0);

    // An earlier error stops folding for the rest of the text.
    TRefPtr<TtvsMainProgram> afterError = optimising.Compile(u"var i: Integer := 'x';" + source);
    ASSERT_TRUE(afterError->Messages().HasErrors());

    for (const std::type_info* node : folded) {
        SCOPED_TRACE(node->name());
        EXPECT_FALSE(TreeHolds(*on, *node));
        EXPECT_TRUE(TreeHolds(*off, *node));
        EXPECT_TRUE(TreeHolds(*afterError, *node));
    }
    const TtvsScriptRunOutcome folding = CompileAndRunScript(source, 0);
    EXPECT_EQ(Utf8(folding.Output), "7\r\n3.5\r\nab\r\n1\r\n9\r\n");
    const ItvsProgramExecution exec = off->Execute();
    EXPECT_EQ(Utf8(exec->Result()->ToString().View()), Utf8(folding.Output));
}

// Operands run left first, except for *, div, mod, shl and shr, which run
// the right one first. The left operand fails with one message and the
// right one with another, so the message shows which side ran first.
TEST(tvsOperators, CompiledOperandsEvaluateInTheirOrder)
{
    constexpr char LeftFirst[] = "Runtime Error: Division by zero";
    constexpr char RightFirst[] = "Runtime Error: Couldn't cast variant";
    const struct {
        const char16_t* op;
        const char* first;
    } rows[] = {
        {u"+", LeftFirst},    {u"-", LeftFirst},    {u"*", RightFirst},   {u"div", RightFirst},
        {u"mod", RightFirst}, {u"shl", RightFirst}, {u"shr", RightFirst}, {u"sar", LeftFirst},
        {u"and", LeftFirst},  {u"or", LeftFirst},   {u"xor", LeftFirst},  {u"<", LeftFirst},
        {u"=", LeftFirst},    {u"/", LeftFirst},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8(row.op));
        const std::u16string source = u"var zero := 0; var v: Variant := 'x';\n"
                                      u"PrintLn((1 div zero) "
                                      + std::u16string(row.op) + u" Integer(v));";
        const TtvsScriptRunOutcome outcome = CompileAndRunScript(source, 0);
        ASSERT_EQ(outcome.Messages.size(), 1u);
        EXPECT_EQ(Utf8(outcome.Messages[0]).rfind(row.first, 0), 0u) << Utf8(outcome.Messages[0]);
    }
}
