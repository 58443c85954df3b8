// The compiler driver, registration and the script component, seen from a
// host: what compiles to what, which overload is called, when calls fold,
// and what the configuration copies. Language behaviour itself is in the
// script files under tests/scripts.
#include "tvsCompiler.h"

#include <atomic>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "tvsComp.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsGuardian.h"
#include "tvsInfo.h"

namespace {

std::string Utf8(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// A unit of host routines for the tests, visible without a uses clause.
class TTestUnit final : public TtvsEmptyUnit {
public:
    TTestUnit() : TtvsEmptyUnit(u"TestUnit") {}
    std::vector<TRegisteredInternalFunction> Records;

protected:
    void AddUnitSymbols(TSymbolTable& table) override
    {
        for (const auto& record : Records)
            AddInternalFunction(table, record);
    }
};

TRegisteredInternalFunction Record(TInternalFunctionFactory factory, std::u16string name,
                                   std::initializer_list<std::u16string_view> params,
                                   std::u16string resultType, TInternalFunctionFlags flags = 0)
{
    return {factory, std::move(name),
            MakeParams(std::span<const std::u16string_view>(params.begin(), params.size())),
            std::move(resultType), flags};
}

// Each answers which overload ran.
template <const char16_t* Text> class TMarkerFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& /*args*/, UnicodeString& result) override
    {
        result = UnicodeString(Text);
    }
};
constexpr char16_t IntText[] = u"int";
constexpr char16_t FloatText[] = u"float";
constexpr char16_t StringText[] = u"string";

// Doubles its argument and counts how often it really ran.
std::atomic<int> DoubleCalls{0};
class TDoubleFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        ++DoubleCalls;
        return args.AsInteger(0) * 2;
    }
};

class TFailingFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& /*args*/) override { throw EConvertError(u"bad"); }
};

// A general-style function: reads "a" and "b" by name.
class TSumFunc final : public TInternalFunction {
public:
    void Execute(TProgramInfo& info) override
    {
        info.SetResultAsInteger(info.ValueAsInteger(u"a") + info.ValueAsInteger(u"b"));
    }
};

struct TRun {
    std::vector<std::string> Messages;
    std::string Output;
};

TRun CompileAndRun(TtvsScriptComponent& component, std::u16string_view source)
{
    TRun run;
    const TRefPtr<TtvsMainProgram> prog = component.Compile(source);
    for (int i = 0; i < prog->Messages().Count(); ++i)
        run.Messages.push_back(Utf8(prog->Messages().GetMsg(i).FormattedText()));
    if (prog->Messages().HasErrors())
        return run;
    const ItvsProgramExecution exec = prog->Execute();
    for (int i = 0; i < exec->Messages().Count(); ++i)
        run.Messages.push_back(Utf8(exec->Messages().GetMsg(i).FormattedText()));
    run.Output = Utf8(exec->Result()->ToString().View());
    return run;
}

TEST(tvsCompiler, EmptyTextIsEmptyStatement)
{
    TtvsScriptComponent component;
    TRefPtr<TtvsMainProgram> prog = component.Compile(u"");
    EXPECT_EQ(prog->Messages().Count(), 0);
    EXPECT_EQ(typeid(*prog->Expr()), typeid(TNullExpr));

    component.Config().SetCompilerOptions({TCompilerOption::coAssertions});
    prog = component.Compile(u"");
    EXPECT_EQ(typeid(*prog->Expr()), typeid(TBlockExpr));
}

// Folding must never change what a script computes: the same sources run
// with and without optimisation.
TEST(tvsCompiler, FoldingKeepsResults)
{
    const std::u16string sources[] = {
        u"PrintLn(1 + 2 * 3 - 4 div 3 mod 2);",
        u"PrintLn(9223372036854775807 + 1);",
        u"PrintLn(-(-9223372036854775807 - 1));",
        u"PrintLn(7 / 2 + 1);",
        u"PrintLn('a' + 'b' + 'c');",
        u"PrintLn((1 < 2) and not (3 <= 2) or False);",
        u"PrintLn(1 shl 63 shr 62);",
        u"const C = 6 * 7; PrintLn(C);",
        u"if 1 > 2 then PrintLn('no') else PrintLn('yes');",
        u"var i: Integer; while False do i := 1; repeat i := i + 1 until True; PrintLn(i);",
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(Utf8(source));
        TtvsScriptComponent folded;
        TtvsScriptComponent plain;
        plain.Config().SetCompilerOptions({TCompilerOption::coAssertions});
        const TRun a = CompileAndRun(folded, source);
        const TRun b = CompileAndRun(plain, source);
        EXPECT_TRUE(a.Messages.empty());
        EXPECT_EQ(a.Messages, b.Messages);
        EXPECT_EQ(a.Output, b.Output);
        EXPECT_FALSE(a.Output.empty());
    }
}

TEST(tvsCompiler, NegativeLiteralIsConstantWithoutFolding)
{
    TtvsScriptComponent component;
    component.Config().SetCompilerOptions({});
    const TRun run = CompileAndRun(component, u"const C = -5; PrintLn(C);");
    EXPECT_TRUE(run.Messages.empty());
    EXPECT_EQ(run.Output, "-5\r\n");
}

// Deep nesting stops with a syntax error instead of overflowing the stack.
TEST(tvsCompiler, NestingDepthIsBounded)
{
    const struct {
        std::u16string Open, Close;
        int Depth;
        bool Fails;
    } cases[] = {
        {u"(", u")", 100, false},
        {u"(", u")", 5000, true},
        {u"begin ", u" end", 100, false},
        {u"begin ", u" end", 5000, true},
        {u"if True then ", u"", 5000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.Open) + std::to_string(c.Depth));
        std::u16string source;
        const bool expression = c.Open == u"(";
        if (expression)
            source = u"PrintLn(";
        for (int i = 0; i < c.Depth; ++i)
            source += c.Open;
        source += expression ? u"1" : u"PrintLn(1)";
        for (int i = 0; i < c.Depth; ++i)
            source += c.Close;
        if (expression)
            source += u")";
        TtvsScriptComponent component;
        const TRun run = CompileAndRun(component, source);
        if (c.Fails) {
            ASSERT_EQ(run.Messages.size(), 1u);
            EXPECT_NE(run.Messages[0].find("Nesting too deep (more than 256 levels)"),
                      std::string::npos);
        } else {
            EXPECT_TRUE(run.Messages.empty());
            EXPECT_EQ(run.Output, "1\r\n");
        }
    }
}

// The first message of a faulty text, with its position: the reader must
// stop (or go on) at the right token and say what it expected there.
TEST(tvsCompiler, FirstMessageOfFaultyText)
{
    const struct {
        std::u16string Source;
        std::string Message;
    } cases[] = {
        {u"var a, b := 5;", "Syntax Error: Colon \":\" expected [line: 1, column: 10]"},
        // An initializer is read only for a single name.
        {u"var a, b: Integer = 5;", "Syntax Error: \";\" expected. [line: 1, column: 19]"},
        {u"var a := 1;\nbegin a := 1 a := 2 end;",
         "Syntax Error: \";\" expected. [line: 2, column: 14]"},
        // A literal cannot start a statement: an empty statement is read first.
        {u"1 + 2;", "Syntax Error: \";\" expected. [line: 1, column: 1]"},
        {u"var x := 1;\nx %= 2;", "Syntax Error: Invalid Instruction - function or assignment "
                                  "expected [line: 2, column: 1]"},
        {u"(1 + 2);", "Hint: Constant Instruction - has no effect [line: 1, column: 1]"},
        {u"if True PrintLn(1);", "Syntax Error: Then expected [line: 1, column: 9]"},
        {u"while True PrintLn(1);", "Syntax Error: DO expected [line: 1, column: 12]"},
        {u"case 1 1: ; end;", "Syntax Error: OF expected [line: 1, column: 8]"},
        {u"case 1 of 1 PrintLn(1); end;",
         "Syntax Error: Colon \":\" expected [line: 1, column: 13]"},
        {u"var i: Integer;\nfor i := 0 to 9 step 0 do ;",
         "Syntax Error: FOR loop STEP should be strictly positive: 0 [line: 2, column: 22]"},
        {u"var s: String;\nfor s := 1 to 2 do ;",
         "Syntax Error: Integer expected [line: 2, column: 5]"},
        {u"repeat until 1;", "Syntax Error: Boolean expected [line: 1, column: 14]"},
        {u"exit 5;", "Syntax Error: No result required [line: 1, column: 1]"},
        {u"end.", "Syntax Error: Unexpected END [line: 1, column: 1]"},
        {u"implementation",
         "Syntax Error: Unexpected section declaration \"IMPLEMENTATION\" [line: 1, column: 1]"},
        {u"var x := 1;\nconst C = x;",
         "Syntax Error: Constant expression expected [line: 2, column: 11]"},
        {u"var x: Foo;", "Syntax Error: Type \"Foo\" not found [line: 1, column: 8]"},
        {u"var Ord := 1;", "Syntax Error: Name \"Ord\" is reserved [line: 1, column: 5]"},
        {u"var x := 1; var x := 2;",
         "Syntax Error: Name \"x\" already exists [line: 1, column: 17]"},
        {u"var x := 'a' < 1;", "Syntax Error: Invalid Operands [line: 1, column: 14]"},
        {u"PrintLn(-'a');", "Syntax Error: Numerical operand expected [line: 1, column: 9]"},
        {u"begin\nPrintLn(1);", "Syntax Error: End of block expected [line: 2, column: 11]"},
        {u"PrintLn(1 div 0);", "Syntax Error: Division by zero [line: 1, column: 11]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.Source));
        TtvsScriptComponent component;
        const TRun run = CompileAndRun(component, c.Source);
        ASSERT_FALSE(run.Messages.empty());
        EXPECT_EQ(run.Messages[0], c.Message);
    }
}

TEST(tvsFunctions, ParameterStrings)
{
    const std::u16string_view pairs[] = {u"p=99",      u"Float",   u"quoteChar=", u"String",
                                         u"@v",        u"Integer", u"&c",         u"String",
                                         u" s = a b ", u"String"};
    const TParamArray params = MakeParams(pairs);
    ASSERT_EQ(params.size(), 5u);
    EXPECT_EQ(params[0].ParamName, u"p");
    EXPECT_TRUE(params[0].HasDefaultValue);
    EXPECT_EQ(params[0].DefaultValue[0].ToString().View(), u"99");
    EXPECT_EQ(params[1].ParamName, u"quoteChar");
    EXPECT_TRUE(params[1].HasDefaultValue);
    EXPECT_EQ(params[1].DefaultValue[0].ToString().View(), u"");
    EXPECT_TRUE(params[2].IsVarParam);
    EXPECT_EQ(params[2].ParamName, u"v");
    EXPECT_TRUE(params[3].IsConstParam);
    EXPECT_EQ(params[3].ParamName, u"c");
    EXPECT_EQ(params[4].ParamName, u"s");
    EXPECT_EQ(params[4].DefaultValue[0].ToString().View(), u"a b");
}

TEST(tvsFunctions, OverloadChoice)
{
    const auto intF = &MakeInternalFunction<TMarkerFunc<IntText>>;
    const auto floatF = &MakeInternalFunction<TMarkerFunc<FloatText>>;
    const auto stringF = &MakeInternalFunction<TMarkerFunc<StringText>>;
    const struct {
        const char* Name;
        std::vector<TRegisteredInternalFunction> Overloads;
        std::u16string Source;
        std::string Output;
        std::string Message;
    } cases[] = {
        {"int beats float for an Integer",
         {Record(floatF, u"F", {u"x", u"Float"}, u"String", iffOverloaded),
          Record(intF, u"F", {u"x", u"Integer"}, u"String", iffOverloaded)},
         u"PrintLn(F(1));",
         "int\r\n",
         ""},
        {"Integer converts to Float, not String",
         {Record(floatF, u"F", {u"x", u"Float"}, u"String", iffOverloaded),
          Record(stringF, u"F", {u"x", u"String"}, u"String", iffOverloaded)},
         u"PrintLn(F(1));",
         "float\r\n",
         ""},
        {"a Variant prefers Float over Integer",
         {Record(intF, u"F", {u"x", u"Integer"}, u"String", iffOverloaded),
          Record(floatF, u"F", {u"x", u"Float"}, u"String", iffOverloaded)},
         u"var v: Variant := 1; PrintLn(F(v));",
         "float\r\n",
         ""},
        {"a tie is an error",
         {Record(intF, u"F", {u"x", u"Float", u"y", u"Integer"}, u"String", iffOverloaded),
          Record(floatF, u"F", {u"x", u"Integer", u"y", u"Float"}, u"String", iffOverloaded)},
         u"PrintLn(F(1, 2));",
         "",
         "Syntax Error: There is no overloaded version of \"F\" that can be called with these "
         "arguments [line: 1, column: 9]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTestUnit unit;
        unit.Records = c.Overloads;
        TtvsScriptComponent component;
        component.AddUnit(&unit);
        const TRun run = CompileAndRun(component, c.Source);
        if (c.Message.empty()) {
            EXPECT_TRUE(run.Messages.empty()) << (run.Messages.empty() ? "" : run.Messages[0]);
        } else {
            ASSERT_FALSE(run.Messages.empty());
            EXPECT_EQ(run.Messages[0], c.Message);
        }
        EXPECT_EQ(run.Output, c.Output);
    }
}

TEST(tvsFunctions, ArgumentChecks)
{
    const struct {
        std::u16string Source;
        std::string Output;
        std::vector<std::string> Messages;
    } cases[] = {
        {u"PrintLn(Sum(1, 2));", "3\r\n", {}},
        {u"PrintLn(Sum(1));", "11\r\n", {}}, // b defaults to 10
        {u"PrintLn(Sum(1, 2, 3));", "", {"Syntax Error: Too many arguments! [line: 1, column: 9]"}},
        {u"PrintLn(Sum());", "", {"Syntax Error: More arguments expected! [line: 1, column: 9]"}},
        // Only the type error is listed when there is one.
        {u"PrintLn(Sum('x', 2, 3));",
         "",
         {"Syntax Error: Argument 0 expects type \"Integer\" instead of \"String\" [line: 1, "
          "column: 13]"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.Source));
        TTestUnit unit;
        unit.Records = {Record(&MakeInternalFunction<TSumFunc>, u"Sum",
                               {u"a", u"Integer", u"b=10", u"Integer"}, u"Integer")};
        TtvsScriptComponent component;
        component.AddUnit(&unit);
        const TRun run = CompileAndRun(component, c.Source);
        EXPECT_EQ(run.Messages, c.Messages);
        EXPECT_EQ(run.Output, c.Output);
    }
}

// A stateless function with constant arguments runs once, while compiling;
// one that is not stateless runs at every call.
TEST(tvsFunctions, StatelessCallsFold)
{
    for (const bool stateless : {true, false}) {
        SCOPED_TRACE(stateless);
        TTestUnit unit;
        unit.Records = {Record(&MakeInternalFunction<TDoubleFunc>, u"Twice", {u"x", u"Integer"},
                               u"Integer", stateless ? iffStateless : 0)};
        TtvsScriptComponent component;
        component.AddUnit(&unit);
        DoubleCalls = 0;
        const TRefPtr<TtvsMainProgram> prog = component.Compile(u"PrintLn(Twice(21));");
        ASSERT_FALSE(prog->Messages().HasErrors());
        EXPECT_EQ(DoubleCalls, stateless ? 1 : 0);
        for (int run = 0; run < 2; ++run) {
            const ItvsProgramExecution exec = prog->Execute();
            EXPECT_EQ(Utf8(exec->Result()->ToString().View()), "42\r\n");
        }
        EXPECT_EQ(DoubleCalls, stateless ? 1 : 2);
    }
}

TEST(tvsFunctions, FailingFoldIsCompileErrorAndRunFailureIsRuntimeError)
{
    for (const bool stateless : {true, false}) {
        SCOPED_TRACE(stateless);
        TTestUnit unit;
        unit.Records = {Record(&MakeInternalFunction<TFailingFunc>, u"Fail", {u"x", u"Integer"},
                               u"Integer", stateless ? iffStateless : 0)};
        TtvsScriptComponent component;
        component.AddUnit(&unit);
        const TRun run = CompileAndRun(component, u"PrintLn('a');\nPrintLn(Fail(1));");
        ASSERT_EQ(run.Messages.size(), 1u);
        if (stateless)
            EXPECT_EQ(run.Messages[0], "Compile Error: Evaluation of \"Fail\" failed: "
                                       "EConvertError bad [line: 2, column: 9]");
        else
            EXPECT_EQ(run.Messages[0], "Runtime Error: bad [line: 2, column: 9]");
        EXPECT_EQ(run.Output, stateless ? "" : "a\r\n");
    }
}

TEST(tvsFunctions, HostParameters)
{
    TtvsScriptComponent component;
    const TRefPtr<TtvsMainProgram> prog = component.Compile(
        u"PrintLn(ParamCount);\nPrintLn(ParamStr(1) + Param(0));\nPrintLn(Param(2));");
    ASSERT_EQ(prog->Messages().Count(), 0);
    const TData params = {Variant(int64_t{5}), Variant(u"x")};
    const ItvsProgramExecution exec = prog->ExecuteParam(params);
    EXPECT_EQ(Utf8(exec->Result()->ToString().View()), "2\r\nx5\r\n");
    ASSERT_EQ(exec->Messages().Count(), 1);
    EXPECT_EQ(Utf8(exec->Messages().GetMsg(0).FormattedText()),
              "Runtime Error: Parameter index 2 out of range (2 parameters) [line: 3, column: 9]");
}

// Compilations share one table of the registered routines per system
// table. A routine registered later must still reach the next compilation,
// and a program keeps the table it linked whatever happens to the cache.
TEST(tvsFunctions, InternalUnitTableIsSharedAndFollowsRegistrations)
{
    TInternalUnit& unit = TInternalUnit::Instance();
    const TRefPtr<TSystemSymbolTable> system = SharedSystemSymbolTable();
    const IStaticSymbolTable first = unit.StaticTable(*system);
    EXPECT_EQ(unit.StaticTable(*system).Get(), first.Get());

    const TRefPtr<TSystemSymbolTable> otherSystem = CreateSystemSymbolTable();
    const IStaticSymbolTable other = unit.StaticTable(*otherSystem);
    EXPECT_NE(other.Get(), first.Get());

    // A new name each time, as registrations stay for the whole process.
    static int round = 0;
    const std::u16string name = u"LateTwice" + std::u16string(1, u'a' + round++ % 26);
    const std::u16string call = u"PrintLn(" + name + u"(4));";
    TtvsScriptComponent component;
    const TRefPtr<TtvsMainProgram> before = component.Compile(u"PrintLn('before');");
    ASSERT_FALSE(before->Messages().HasErrors());
    EXPECT_NE(CompileAndRun(component, call).Messages, std::vector<std::string>{});

    RegisterInternalIntFunction(&MakeInternalFunction<TDoubleFunc>, name, {u"x", u"Integer"});
    const TRun run = CompileAndRun(component, call);
    EXPECT_TRUE(run.Messages.empty()) << (run.Messages.empty() ? "" : run.Messages[0]);
    EXPECT_EQ(run.Output, "8\r\n");
    // Compiled over the table the registration dropped.
    const ItvsProgramExecution exec = before->Execute();
    EXPECT_EQ(Utf8(exec->Result()->ToString().View()), "before\r\n");
}

// Pages compile and run on several worker threads at once, each with its
// own component, over the shared tokenizer rules, system table and
// routine table. Every run must print exactly what a lone run prints.
TEST(tvsComp, ConcurrentCompilationsAgree)
{
    constexpr int Threads = 4;
    constexpr int RunsPerThread = 20;
    const std::u16string source =
        u"var s: String;\nvar i: Integer;\nfor i := 1 to 20 do\n  s := s + IntToStr(i) + ',';\n"
        u"PrintLn(UpperCase('x') + s);";
    TtvsScriptComponent reference;
    const TRun expected = CompileAndRun(reference, source);
    ASSERT_TRUE(expected.Messages.empty())
        << (expected.Messages.empty() ? "" : expected.Messages[0]);

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < RunsPerThread; ++n) {
                TtvsScriptComponent component;
                const TRun run = CompileAndRun(component, source);
                if (!run.Messages.empty() || run.Output != expected.Output)
                    ++mismatches;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(tvsComp, PrintNeedsNoUses)
{
    TtvsScriptComponent component;
    const TRun run = CompileAndRun(component, u"Print('a'); PrintLn(5); Print(True);");
    EXPECT_TRUE(run.Messages.empty());
    EXPECT_EQ(run.Output, "a5\r\nTrue");
}

TEST(tvsComp, ConfigurationSettings)
{
    TtvsConfiguration config;
    config.SetTimeOut(3);
    EXPECT_EQ(config.TimeoutMilliseconds(), 3000);

    TtvsConfiguration source;
    source.SetHintsLevel(TtvsHintsLevel::hlDisabled);
    source.SetMaxDataSize(77);
    source.SetCompilerOptions({TCompilerOption::coAssertions});
    config.Assign(source);
    EXPECT_EQ(config.HintsLevel(), TtvsHintsLevel::hlStrict);
    EXPECT_EQ(config.MaxDataSize(), 77);
    EXPECT_EQ(config.CompilerOptions(), (TCompilerOptions{TCompilerOption::coAssertions}));

    config.SetResultType(nullptr);
    EXPECT_NE(dynamic_cast<TtvsDefaultResultType*>(&config.ResultType()), nullptr);
}

// Configured units are made visible in dependency order; a missing or a
// circular dependency stops compiling before the text is read.
TEST(tvsComp, UnitDependencies)
{
    const struct {
        const char* Name;
        std::vector<std::u16string> DependsOfA, DependsOfB;
        std::string Message;
    } cases[] = {
        {"in order", {u"TestUnit"}, {}, ""},
        {"missing",
         {u"Nowhere"},
         {},
         "Syntax Error: Unit \"Nowhere\" referenced in unit \"A\" not found"},
        {"circular", {u"TestUnit"}, {u"A"}, "Syntax Error: Circular referencing units detected!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        class TNamedUnit final : public TtvsEmptyUnit {
        public:
            using TtvsEmptyUnit::TtvsEmptyUnit;

        protected:
            void AddUnitSymbols(TSymbolTable& /*table*/) override {}
        } a(u"A");
        TTestUnit b;
        a.DependencyList() = c.DependsOfA;
        b.DependencyList() = c.DependsOfB;
        TtvsScriptComponent component;
        component.AddUnit(&a);
        component.AddUnit(&b);
        const TRun run = CompileAndRun(component, u"PrintLn('ran');");
        if (c.Message.empty()) {
            EXPECT_TRUE(run.Messages.empty());
            EXPECT_EQ(run.Output, "ran\r\n");
        } else {
            EXPECT_EQ(run.Messages, std::vector<std::string>{c.Message});
        }
    }
}

TEST(tvsComp, UnknownUnitIsListedAndCompilingGoesOn)
{
    TtvsScriptComponent component;
    const TRun run = CompileAndRun(component, u"uses Foo, Internal;\nPrintLn(x);");
    const std::vector<std::string> expected = {
        "Syntax Error: Unknown unit \"Foo\" [line: 1, column: 6]",
        "Syntax Error: Unknown name \"x\" [line: 2, column: 9]",
    };
    EXPECT_EQ(run.Messages, expected);
}

} // namespace
