// Overload resolution of calls, through a unit of overloaded host routines
// that answer which overload ran.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tvsComp.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsGuardian.h"

namespace {

// Answers its tag: shows which overload a call was bound to.
template <char16_t Tag> class TTagFunction final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& /*args*/, UnicodeString& result) override
    {
        result = UnicodeString(std::u16string(1, Tag));
    }
};

class TOverloadsUnit final : public TtvsEmptyUnit {
public:
    TOverloadsUnit() : TtvsEmptyUnit(u"Overloads") {}

protected:
    void AddUnitSymbols(TSymbolTable& table) override
    {
        const auto add = [&](TInternalFunctionFactory factory, const char16_t* name,
                             std::vector<std::u16string_view> params) {
            AddInternalFunction(table, {factory, name, MakeParams(params), u"String",
                                        static_cast<TInternalFunctionFlags>(iffOverloaded)});
        };
        add(&MakeInternalFunction<TTagFunction<u'a'>>, u"F", {u"x", u"Float"});
        add(&MakeInternalFunction<TTagFunction<u'b'>>, u"F", {u"x", u"Integer"});
        add(&MakeInternalFunction<TTagFunction<u'c'>>, u"G", {u"x", u"Float"});
        add(&MakeInternalFunction<TTagFunction<u'd'>>, u"G", {u"x", u"String"});
        add(&MakeInternalFunction<TTagFunction<u'e'>>, u"T", {u"x", u"Float", u"y", u"Integer"});
        add(&MakeInternalFunction<TTagFunction<u'f'>>, u"T", {u"x", u"Integer", u"y", u"Float"});
        add(&MakeInternalFunction<TTagFunction<u'g'>>, u"D",
            {u"x", u"Integer", u"y=5", u"Integer"});
        add(&MakeInternalFunction<TTagFunction<u'h'>>, u"D", {u"x", u"String"});
    }
};

struct TRun {
    std::u16string Output;
    std::u16string Messages;
};

TRun CompileAndRun(const std::u16string& source)
{
    TtvsScriptComponent component;
    TOverloadsUnit unit;
    component.AddUnit(&unit);
    TRefPtr<TtvsMainProgram> prog = component.Compile(source);
    TRun run{u"", prog->Messages().AsInfo()};
    if (!prog->Messages().HasErrors()) {
        ItvsProgramExecution exec = prog->Execute();
        run.Output = exec->Result()->ToString().ToU16String();
        run.Messages += exec->Messages().AsInfo();
    }
    component.RemoveUnit(&unit);
    return run;
}

} // namespace

TEST(tvsCompiler_Calls, OverloadWithTheLowestCostIsCalled)
{
    const struct {
        const char16_t* call;
        const char16_t* tag;
    } cases[] = {
        {u"F(1)", u"b"},            // exact fit beats Integer to Float
        {u"F(1.5)", u"a"},
        {u"G(1)", u"c"},            // Integer to Float; String is no fit
        {u"G('x')", u"d"},
        {u"F(v)", u"a"},            // a Variant for Float costs 1, for Integer 256
        {u"D(1)", u"g"},            // the default completes the call
        {u"D(1, 2)", u"g"},
        {u"D('x')", u"h"},
    };
    for (const auto& c : cases) {
        const std::u16string source = u"var v: Variant := 1; Print(" + std::u16string(c.call) + u");";
        SCOPED_TRACE(std::string(source.begin(), source.end()));
        const TRun run = CompileAndRun(source);
        EXPECT_EQ(run.Messages, u"");
        EXPECT_EQ(run.Output, c.tag);
    }
}

TEST(tvsCompiler_Calls, TieOrNoFitIsListed)
{
    const struct {
        const char16_t* call;
        const char16_t* name;
    } cases[] = {
        {u"T(1, 1)", u"T"},         // two conversions either way
        {u"G(True)", u"G"},
        {u"F()", u"F"},
        {u"F(1, 2)", u"F"},
    };
    for (const auto& c : cases) {
        const std::u16string source = u"Print(" + std::u16string(c.call) + u");";
        SCOPED_TRACE(std::string(source.begin(), source.end()));
        const TRun run = CompileAndRun(source);
        EXPECT_EQ(run.Messages, u"Syntax Error: There is no overloaded version of \"" +
                                    std::u16string(c.name) +
                                    u"\" that can be called with these arguments [line: 1, "
                                    u"column: 7]\r\n");
    }
}
