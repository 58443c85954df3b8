#include "tvsGuardian.h"

#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tvsExprsTestTrees.h"

namespace {

// Print('before'); count `rounds` times; Print('after'). The default is far
// more rounds than any time-out here allows, yet finite: should the guardian
// fail, the test fails instead of hanging.
TStmt CountingLoop(TTreeBuilder& b, int64_t rounds = 2'000'000'000)
{
    const int32_t i = b.NewInt();
    auto increment = std::make_unique<TIncIntVarExpr>(b.Pos(3), b.IntVar(i), b.Int(1));
    TStmt loop = std::make_unique<TWhileExpr>(
        b.Pos(2), b.Bin<TRelLessIntExpr>(b.IntVar(i), b.Int(rounds)), std::move(increment));
    return b.Block(1, b.Assign(1, b.IntVar(i), b.Int(0)), b.Print(1, b.Str(u"before")),
                   std::move(loop), b.Print(4, b.Str(u"after")));
}

constexpr char16_t StoppedAtLoopBody[] =
    u"Runtime Error: Script was stopped. [line: 3, column: 1]\r\n";

} // namespace

TEST(tvsGuardian, TimeOutStopsALongLoopAndKeepsTheOutput)
{
    TTreeBuilder b;
    ItvsProgramExecution exec = b.Run(CountingLoop(b), 30);
    EXPECT_EQ(Output(exec), u"before");
    EXPECT_EQ(Errors(exec), StoppedAtLoopBody);
    EXPECT_EQ(exec->ProgramState(), psReadyToRun);
}

TEST(tvsGuardian, ProgramTimeOutAppliesWhenTheRunGivesNone)
{
    TTreeBuilder b;
    b.Prog().SetTimeoutMilliseconds(30);
    ItvsProgramExecution exec = b.Run(CountingLoop(b), 0);
    EXPECT_EQ(Errors(exec), StoppedAtLoopBody);
}

TEST(tvsGuardian, FinishedRunIsWithdrawn)
{
    TTreeBuilder b;
    // The same execution runs twice: first briefly under a short time-out,
    // then without one. A registration left over from the first run would
    // stop the second.
    b.Prog().SetExpr(CountingLoop(b, 200000));
    ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    exec->Execute(1);
    exec->Execute(0);
    EXPECT_EQ(Output(exec), u"beforeafter");
    EXPECT_EQ(Errors(exec), u"");
}

// A server registers every page run with a long time-out; runs that end
// early must leave nothing behind, or the list grows with every request.
TEST(tvsGuardian, FinishedRunsLeaveNoEntries)
{
    TTreeBuilder b;
    b.Prog().SetExpr(CountingLoop(b, 10));
    const ItvsProgramExecution exec = b.Prog().CreateNewExecution();
    for (int run = 0; run < 200; ++run)
        exec->Execute(60000);
    EXPECT_EQ(Output(exec), u"beforeafter");
    EXPECT_EQ(TtvsGuardianThread::Instance().PendingCount(), 0u);
}

// A registration due later than the one the guardian waits for does not
// wake it; one due earlier must, or the earlier run would overstay.
TEST(tvsGuardian, EarlierRegistrationIsStoppedOnTime)
{
    TTreeBuilder slowTree;
    slowTree.Prog().SetExpr(CountingLoop(slowTree));
    const ItvsProgramExecution slow = slowTree.Prog().CreateNewExecution();
    std::thread longRun([&] { slow->Execute(60000); });
    // Bounded: the long run stops by the time-out at the latest.
    for (int i = 0; i < 6000 && TtvsGuardianThread::Instance().PendingCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TTreeBuilder b;
    EXPECT_EQ(Errors(b.Run(CountingLoop(b), 30)), StoppedAtLoopBody);
    slow->Stop();
    longRun.join();
    EXPECT_EQ(Errors(slow), StoppedAtLoopBody);
}

TEST(tvsGuardian, StopsEveryGuardedRunOnItsOwnThread)
{
    constexpr int Runs = 4;
    std::vector<std::u16string> errors(Runs);
    std::vector<std::thread> threads;
    for (int r = 0; r < Runs; ++r) {
        threads.emplace_back([r, &errors] {
            TTreeBuilder b;
            errors[static_cast<size_t>(r)] = Errors(b.Run(CountingLoop(b), 20 + 10 * r));
        });
    }
    for (auto& t : threads)
        t.join();
    for (const auto& e : errors)
        EXPECT_EQ(e, StoppedAtLoopBody);
}

TEST(tvsGuardian, PrintAndPrintLn)
{
    struct TRow {
        const char* name;
        std::function<TStmt(TTreeBuilder&)> build;
        std::u16string output;
    };
    const TRow rows[] = {
        {"PrintLn ends the line with CR LF",
         [](TTreeBuilder& b) {
             return b.Block(1, b.PrintLn(1, b.Str(u"a")), b.Print(2, b.Str(u"b")));
         },
         u"a\r\nb"},
        {"numbers and booleans print as text",
         [](TTreeBuilder& b) {
             return b.Block(1, b.Print(1, b.Int(5)), b.Print(1, b.Flt(0.5)),
                            b.Print(1, b.Bool(true)), b.Print(1, b.Var(Variant::Null())));
         },
         u"50.5True"},
        {"nothing printed", [](TTreeBuilder& b) { return std::make_unique<TNullExpr>(b.Pos(1)); },
         u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTreeBuilder b;
        EXPECT_EQ(Output(b.Run(row.build(b))), row.output);
    }
}

TEST(tvsGuardian, DefaultResultCollectsEverything)
{
    TtvsDefaultResultType type;
    std::unique_ptr<TtvsResult> result = type.CreateProgResult();
    std::u16string expected;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string piece = u"line " + std::u16string(IntToStr(i).View()) + u"\r\n";
        result->AddString(piece);
        expected += piece;
    }
    EXPECT_EQ(result->ToString().ToU16String(), expected);
    result->Clear();
    EXPECT_EQ(result->ToString().ToU16String(), u"");
}
