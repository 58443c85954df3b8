#include "tvsExprs.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"

namespace {

// A statement that stands for a call of routine: it answers the routine as
// the one it calls, and its body runs inside EnterRecursion/LeaveRecursion.
class TFakeCallExpr final : public TNoResultExpr {
public:
    TFakeCallExpr(const TScriptPos& pos, TFuncSymbol* func, const TtvsProcedure* callee,
                  TNoResultExpr* body)
        : TNoResultExpr(pos)
        , FFunc(func)
        , FCallee(callee)
        , FBody(body)
    {}
    const TFuncSymbol* CalledFuncSymbol() const override { return FFunc; }
    void EvalNoResult(TtvsExecution& exec) const override
    {
        exec.EnterRecursion(this);
        exec.SetCurrentProg(FCallee);
        try {
            FBody->EvalNoResult(exec);
        } catch (...) {
            exec.SetErrorLocation(this);
            exec.LeaveRecursion();
            throw;
        }
        exec.LeaveRecursion();
    }

private:
    TFuncSymbol* FFunc;
    const TtvsProcedure* FCallee;
    TNoResultExpr* FBody; // not owned: the test keeps the routine bodies
};

// Asks its own execution to stop, as the guardian would.
class TStopExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& exec) const override
    {
        static_cast<TtvsProgramExecution&>(exec).Stop();
    }
};

// Raises a script error at its own position.
class TFailExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& exec) const override
    {
        RaiseScriptError(exec, std::u16string(u"boom"));
    }
};

} // namespace

TEST(tvsExprs, StateMachineMisuse)
{
    TTreeBuilder b;
    b.Prog().SetExpr(b.Print(1, b.Str(u"x")));

    ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    EXPECT_EQ(exec->ProgramState(), psReadyToRun);
    exec->RunProgram(0);
    EXPECT_EQ(Errors(exec), u"Runtime Error: Program state psRunning expected\r\n");
    EXPECT_THROW(exec->EndProgram(), Exception);

    exec->BeginProgram();
    EXPECT_EQ(exec->ProgramState(), psRunning);
    exec->BeginProgram();
    EXPECT_EQ(Errors(exec), u"Runtime Error: Script is already running!\r\n");
    exec->RunProgram(0);
    exec->EndProgram();
    EXPECT_EQ(exec->ProgramState(), psReadyToRun);
    EXPECT_EQ(Output(exec), u"x");

    // An execution can run again; each run starts with a fresh result.
    exec->Execute();
    EXPECT_EQ(Output(exec), u"x");
    EXPECT_EQ(Errors(exec), u"");

    try {
        exec->EndProgram();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Program was not started!");
    }
}

TEST(tvsExprs, ProgramWithCompileErrorsDoesNotRun)
{
    TTreeBuilder b;
    b.Prog().SetExpr(b.Print(1, b.Str(u"x")));
    ItvsProgramExecution before = b.Prog().CreateNewExecution();
    b.Prog().Messages().AddSyntaxError(b.Pos(1), u"bad");
    try {
        b.Prog().CreateNewExecution();
        FAIL() << "no error";
    } catch (const EScriptException& e) {
        EXPECT_EQ(e.Message(), u"Script compiled with errors. Can't execute!");
    }
    EXPECT_EQ(b.Prog().ExecutionCount(), 1);
    before.Reset();
    EXPECT_EQ(b.Prog().ExecutionCount(), 0);
}

TEST(tvsExprs, RunTimeMessageFormat)
{
    TTreeBuilder b;
    TSourceFile unit(u"inc.pas", u"");
    const TScriptPos inc(&unit, 2, 9);
    TFuncSymbol funcA(u"A", TRoutineKind::fkProcedure, 1);
    TFuncSymbol funcB(u"B", TRoutineKind::fkProcedure, 1);
    TtvsProcedure procA(b.Prog(), &funcA);
    TtvsProcedure procB(b.Prog(), &funcB);
    struct TRow {
        const char* name;
        TScriptPos pos;
        TtvsExprLocationArray stack;
        std::u16string expected;
    };
    const TFakeCallExpr callA(b.Pos(10, 3), &funcA, &procA, nullptr);
    const TFakeCallExpr callB(b.Pos(5, 7), &funcB, &procB, nullptr);
    const TRow rows[] = {
        {"main program: text and position only",
         b.Pos(4, 7),
         {},
         u"Runtime Error: boom [line: 4, column: 7]"},
        {"no position", TScriptPos(), {}, u"Runtime Error: boom"},
        {"another source file",
         inc,
         {},
         u"Runtime Error: boom [line: 2, column: 9, file: inc.pas]"},
        {"two calls deep: outermost routine, position, then the calls innermost first",
         b.Pos(3, 1),
         {{&callB, &procA}, {&callA, &b.Prog()}},
         u"Runtime Error: boom in A [line: 3, column: 1]\r\nA [line: 5, column: 7]\r\n"
         u" [line: 10, column: 3]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TRuntimeErrorMessage msg(row.pos, u"boom", row.stack);
        EXPECT_EQ(msg.FormattedText(), row.expected);
    }
}

TEST(tvsExprs, ErrorsInsideCallsCarryTheCallStack)
{
    TTreeBuilder b;
    TFuncSymbol funcA(u"A", TRoutineKind::fkProcedure, 1);
    TtvsProcedure procA(b.Prog(), &funcA);
    TFailExpr fail(b.Pos(7, 5));
    b.Prog().SetExpr(b.Block(1, b.Print(1, b.Str(u"in main ")),
                             std::make_unique<TFakeCallExpr>(b.Pos(2, 3), &funcA, &procA, &fail)));
    ItvsProgramExecution exec = b.Prog().Execute();
    EXPECT_EQ(Output(exec), u"in main ");
    EXPECT_EQ(Errors(exec),
              u"Runtime Error: boom in A [line: 7, column: 5]\r\n [line: 2, column: 3]\r\n");
}

TEST(tvsExprs, RecursionLimit)
{
    TTreeBuilder b;
    b.Prog().StackParameters().MaxRecursionDepth = 1024;
    ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    TNullExpr call(b.Pos(1));
    for (int depth = 1; depth <= 1023; ++depth)
        exec->EnterRecursion(&call);
    EXPECT_EQ(exec->CallStackDepth(), 1023);
    try {
        exec->EnterRecursion(&call);
        FAIL() << "no error";
    } catch (const EScriptStackOverflow& e) {
        EXPECT_EQ(e.Message(), u"Maximal recursion exceeded (1024 calls)");
    }
    EXPECT_EQ(exec->CallStackDepth(), 1023);
    EXPECT_EQ(exec->ErrorLocation(), &call);
    for (int depth = 1; depth <= 1023; ++depth)
        exec->LeaveRecursion();
    EXPECT_EQ(exec->CallStackDepth(), 0);
}

TEST(tvsExprs, HostErrorsAreReportedWhereTheyHappened)
{
    TTreeBuilder b;
    const int32_t zero = b.NewInt();
    // The division sits in a statement of an inner block: the innermost
    // statement it passed is the one reported.
    auto inner = b.Block(2, b.Print(3, b.Str(u"a")),
                         b.PrintLn(4, b.Bin<TModExpr>(b.Int(1), b.IntVar(zero))));
    ItvsProgramExecution exec = b.Run(b.Block(1, std::move(inner), b.Print(5, b.Str(u"b"))));
    EXPECT_EQ(Output(exec), u"a");
    EXPECT_EQ(Errors(exec), u"Runtime Error: Division by zero [line: 4, column: 1]\r\n");
    // The location is cleared after the run: the next run reports afresh.
    exec->Execute();
    EXPECT_EQ(Errors(exec), u"Runtime Error: Division by zero [line: 4, column: 1]\r\n");
}

TEST(tvsExprs, StopEndsTheRunAtTheNextStatement)
{
    TTreeBuilder b;
    // The host (or the guardian) asks for a stop while the script runs.
    b.Prog().SetExpr(b.Block(1, b.Print(1, b.Str(u"before")), std::make_unique<TStopExpr>(b.Pos(2)),
                             b.Print(3, b.Str(u"after"))));
    ItvsProgramExecution exec = b.Prog().Execute();
    EXPECT_EQ(Output(exec), u"before");
    EXPECT_EQ(Errors(exec), u"Runtime Error: Script was stopped. [line: 3, column: 1]\r\n");
    EXPECT_EQ(exec->ProgramState(), psReadyToRun);

    // Stop outside a run changes nothing.
    exec->Stop();
    EXPECT_EQ(exec->ProgramState(), psReadyToRun);
}

TEST(tvsExprs, RandomSequence)
{
    TTreeBuilder b;
    ItvsProgramExecution exec = b.Prog().CreateNewExecution();

    // A zero state does not step: it becomes the default seed.
    exec->SetRandSeed(0);
    EXPECT_EQ(exec->RandSeed(), TtvsExecution::DefaultRandSeed);
    exec->SetRandSeed(5);
    const double first = exec->Random();
    uint64_t x = 5;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    EXPECT_EQ(exec->RandSeed(), x);
    EXPECT_EQ(first, std::ldexp(static_cast<double>(x >> 1), -63));

    // The largest states give the largest double below 1, never 1 itself:
    // seed the state that steps to all ones.
    const auto unshiftLeft = [](uint64_t y, int k) {
        uint64_t v = y;
        for (int s = k; s < 64; s += k)
            v ^= y << s;
        return v;
    };
    const auto unshiftRight = [](uint64_t y, int k) {
        uint64_t v = y;
        for (int s = k; s < 64; s += k)
            v ^= y >> s;
        return v;
    };
    const uint64_t previous =
        unshiftLeft(unshiftRight(unshiftLeft(0xFFFFFFFFFFFFFFFFull, 5), 17), 13);
    exec->SetRandSeed(previous);
    const double top = exec->Random();
    EXPECT_EQ(exec->RandSeed(), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(top, 0x1.fffffffffffffp-1);
}

// A new execution's state is r shl 15 xor the default seed, with r a host
// random value in [0, 2147483646]; executions must not share a sequence.
TEST(tvsExprs, NewExecutionsAreSeededApart)
{
    TTreeBuilder b;
    constexpr int Runs = 16;
    std::vector<uint64_t> seeds;
    for (int n = 0; n < Runs; ++n) {
        const ItvsProgramExecution exec = b.Prog().CreateNewExecution();
        const uint64_t r = (exec->RandSeed() ^ TtvsExecution::DefaultRandSeed) >> 15;
        EXPECT_EQ(r << 15, exec->RandSeed() ^ TtvsExecution::DefaultRandSeed);
        EXPECT_LE(r, 2147483646u);
        seeds.push_back(exec->RandSeed());
    }
    std::sort(seeds.begin(), seeds.end());
    EXPECT_EQ(std::unique(seeds.begin(), seeds.end()), seeds.end());
}

TEST(tvsExprs, ScriptLocationNamesTheRoutine)
{
    TTreeBuilder b;
    TFuncSymbol func(u"M", TRoutineKind::fkProcedure, 1);
    TtvsProcedure proc(b.Prog(), &func);
    TNullExpr statement(b.Pos(12, 3));
    EXPECT_EQ(statement.ScriptLocation(&proc), u"M [line: 12, column: 3]");
    EXPECT_EQ(statement.ScriptLocation(&b.Prog()), u" [line: 12, column: 3]");
}

TEST(tvsExprs, DroppingARunningExecutionIsReportedNotRaised)
{
    static std::vector<std::u16string> reported;
    reported.clear();
    SetMisuseReporter([](const std::u16string& text) { reported.push_back(text); });
    {
        TTreeBuilder b;
        b.Prog().SetExpr(b.Print(1, b.Str(u"x")));
        ItvsProgramExecution exec = b.Prog().CreateNewExecution();
        exec->BeginProgram();
        EXPECT_EQ(b.Prog().ExecutionCount(), 1);
    }
    SetMisuseReporter(nullptr);
    EXPECT_EQ(reported, std::vector<std::u16string>{u"Script is still running!"});
}
