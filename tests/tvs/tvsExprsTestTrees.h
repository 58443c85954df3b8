// Builds small node trees by hand for the tests of the expression units, and
// runs them as a main program the way a compiled script runs.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsGuardian.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"

using TExpr = std::unique_ptr<TTypedExpr>;
using TStmt = std::unique_ptr<TNoResultExpr>;

// The base types a program's nodes take their result types from.
struct TTestTypes {
    TBaseIntegerSymbol Integer;
    TBaseFloatSymbol Float;
    TBaseStringSymbol String;
    TBaseBooleanSymbol Boolean;
    TBaseVariantSymbol Variant;
};

// An integer node that prints its tag when evaluated: shows evaluation order
// and short-circuiting.
class TTracedIntExpr final : public TTypedExpr {
public:
    TTracedIntExpr(TTypeSymbol* typ, std::u16string tag, int64_t value)
        : TTypedExpr(typ)
        , FTag(std::move(tag))
        , FValue(value)
    {}
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsInteger(exec)); }
    int64_t EvalAsInteger(TtvsExecution& exec) const override
    {
        PrintToResult(static_cast<TtvsProgramExecution&>(exec), FTag);
        return FValue;
    }
    bool EvalAsBoolean(TtvsExecution& exec) const override { return EvalAsInteger(exec) != 0; }

private:
    std::u16string FTag;
    int64_t FValue;
};

// One main program and the helpers that build its nodes. Variables are
// allocated in the program's frame as they are asked for.
class TTreeBuilder {
public:
    TTreeBuilder() : FSource(MainModuleName, u"")
    {
        FProg = ItvsProgram(new TtvsMainProgram());
        FProg->SetBaseTypes(
            {&T.Boolean, &T.Float, &T.Integer, nullptr, &T.String, &T.Variant, nullptr, nullptr});
    }

    TtvsMainProgram& Prog() { return *FProg; }
    TScriptPos Pos(int32_t line, int32_t col = 1) const { return {&FSource, line, col}; }

    TExpr Int(int64_t v) { return TExpr(UnifiedConstInt(*FProg, nullptr, v)); }
    TExpr Flt(double v) { return TExpr(UnifiedConstFloat(*FProg, nullptr, v)); }
    TExpr Str(const char16_t* v) { return TExpr(UnifiedConstString(*FProg, nullptr, v)); }
    TExpr Bool(bool v) { return TExpr(UnifiedConstBoolean(*FProg, nullptr, v)); }
    TExpr Var(const Variant& v) { return TExpr(new TConstExpr(&T.Variant, v)); }
    TExpr Traced(const char16_t* tag, int64_t v)
    {
        return std::make_unique<TTracedIntExpr>(&T.Integer, tag, v);
    }

    // A new variable of the program's frame; the same address again with At.
    template <class TVar> std::unique_ptr<TVar> NewVar(TTypeSymbol* typ, int32_t& addr)
    {
        addr = FProg->GetTempAddr(1);
        return std::make_unique<TVar>(typ, addr);
    }
    std::unique_ptr<TIntVarExpr> IntVar(int32_t addr)
    {
        return std::make_unique<TIntVarExpr>(&T.Integer, addr);
    }
    std::unique_ptr<TStrVarExpr> StrVar(int32_t addr)
    {
        return std::make_unique<TStrVarExpr>(&T.String, addr);
    }
    std::unique_ptr<TFloatVarExpr> FloatVar(int32_t addr)
    {
        return std::make_unique<TFloatVarExpr>(&T.Float, addr);
    }
    int32_t NewInt() { return FProg->GetTempAddr(1); }

    template <class Op> TExpr Bin(TExpr a, TExpr b)
    {
        return std::make_unique<Op>(*FProg, std::move(a), std::move(b));
    }
    template <class Op> TExpr Un(TExpr a) { return std::make_unique<Op>(*FProg, std::move(a)); }

    TStmt Assign(int line, std::unique_ptr<TDataExpr> left, TExpr right)
    {
        return std::make_unique<TAssignExpr>(Pos(line), std::move(left), std::move(right));
    }
    TStmt Print(int line, TExpr v)
    {
        return std::make_unique<TPrintExpr>(Pos(line), std::move(v), false);
    }
    TStmt PrintLn(int line, TExpr v)
    {
        return std::make_unique<TPrintExpr>(Pos(line), std::move(v), true);
    }

    template <class... S> std::unique_ptr<TBlockExpr> Block(int line, S... statements)
    {
        auto block = std::make_unique<TBlockExpr>(Pos(line));
        (block->AddStatement(std::move(statements)), ...);
        return block;
    }

    // Makes body the main program's body and runs it once.
    ItvsProgramExecution Run(TStmt body, int32_t timeoutMs = 0)
    {
        FProg->SetExpr(std::move(body));
        ItvsProgramExecution exec = FProg->CreateNewExecution();
        exec->Execute(timeoutMs);
        return exec;
    }

    TTestTypes T;

private:
    TSourceFile FSource;
    ItvsProgram FProg;
};

inline std::u16string Output(const ItvsProgramExecution& exec)
{
    return exec->Result()->ToString().ToU16String();
}

inline std::u16string Errors(const ItvsProgramExecution& exec)
{
    return exec->Messages().AsInfo();
}

inline constexpr int64_t MaxInt = std::numeric_limits<int64_t>::max();
inline constexpr int64_t MinInt = std::numeric_limits<int64_t>::min();

// A tree built by hand, run as a main program, with what it should print and
// the run-time messages it should leave.
struct TTreeCase {
    const char* name;
    std::function<TStmt(TTreeBuilder&)> build;
    std::u16string output;
    std::u16string errors;
};

inline void RunCases(const std::vector<TTreeCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTreeBuilder b;
        TStmt body = c.build(b);
        ItvsProgramExecution exec = b.Run(std::move(body));
        EXPECT_EQ(Output(exec), c.output);
        EXPECT_EQ(Errors(exec), c.errors);
    }
}
