#include "tvsHtmlFilter.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The page engine's filter: only the open pattern differs from the defaults.
std::u16string FilterPage(const std::u16string& page)
{
    TtvsHtmlFilter filter;
    filter.SetPatternOpen(u"<?dsp");
    return filter.Process(page, nullptr);
}

// Replaces every occurrence of one text by another: enough to see that a
// sub-filter runs, and in which order.
class TReplaceFilter final : public TtvsFilter {
public:
    TReplaceFilter(std::u16string from, std::u16string to)
        : FFrom(std::move(from))
        , FTo(std::move(to))
    {}
    std::u16string Process(const std::u16string& text, TtvsMessageList* msgs) override
    {
        std::u16string s = TtvsFilter::Process(text, msgs);
        for (size_t at = s.find(FFrom); at != std::u16string::npos;
             at = s.find(FFrom, at + FTo.size()))
            s.replace(at, FFrom.size(), FTo);
        return s;
    }
    void AddDependency(std::u16string name) { OwnDependencies().push_back(std::move(name)); }

private:
    std::u16string FFrom;
    std::u16string FTo;
};

} // namespace

TEST(tvsHtmlFilter, TurnsPagesIntoScriptSource)
{
    const struct {
        std::u16string page;
        std::u16string expected;
    } cases[] = {
        {u"", u""},
        {u"abc", u"Print('abc');"},
        // One CR LF per LF keeps later blocks on their page line.
        {u"A'B\r\nC", u"Print('A''B'#13#10'C');\r\n"},
        {u"A'B<?dsp=v?>C\r\nD", u"Print('A''B');Print(v);Print('C'#13#10'D');\r\n"},
        {u"\r\n<?dsp x := 1; ?>", u"Print(#13#10);\r\n x := 1; "},
        {u"a\nb", u"Print('a'#10'b');\r\n"},
        {u"\n\n<?dsp f;?>", u"Print(#10#10);\r\n\r\n f;"},
        {u"\r\r<?dsp f;?>", u"Print(#13#13); f;"}, // only LF moves the line
        {u"a\tb", u"Print('a'#9'b');"},
        {u"\t'", u"Print(#9'''');"},
        {u"'a", u"Print('''a');"},
        {u"a'", u"Print('a''');"},
        {u"''", u"Print('''''');"},
        {u"<?dsp a;?> <?dsp b;?>", u" a;Print(' '); b;"},
        {u"<?dspa;?><?dspb;?>", u"a;b;"},
        // Eval only when the pattern follows directly.
        {u"<?dsp =x?>", u" =x"},
        {u"<?dsp=x?>", u"Print(x);"},
        {u"<?dsp=?>", u"Print();"},
        {u"<?dsp=1?>\r\n", u"Print(1);Print(#13#10);\r\n"},
        // Unterminated blocks run to the end of the page.
        {u"a<?dsp x := 1;", u"Print('a'); x := 1;"},
        {u"<?dsp=x", u"Print(x);"},
        {u"x<?dsp", u"Print('x');"},
        {u"x<?dsp=", u"Print('x');Print();"},
        // The filter does not read the code: no nesting, strings not skipped.
        {u"<?dsp a <?dsp b ?>c", u" a <?dsp b Print('c');"},
        {u"<?dsp s := '?>'; ?>", u" s := 'Print('''; ?>');"},
        // The open pattern is case-sensitive and matched whole.
        {u"<?DSP x ?>", u"Print('<?DSP x ?>');"},
        {u"<?ds", u"Print('<?ds');"},
        {u"a?>b", u"Print('a?>b');"},
        {u"\u00e9\u20ac\U0001F600", u"Print('\u00e9\u20ac\U0001F600');"},
        {std::u16string(u"a\0b", 3), std::u16string(u"Print('a\0b');", 13)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.page));
        EXPECT_EQ(FilterPage(c.page), c.expected);
    }
}

TEST(tvsHtmlFilter, UsesItsOwnPatterns)
{
    const struct {
        std::u16string open, close, eval;
        std::u16string page;
        std::u16string expected;
    } cases[] = {
        {u"<?pas", u"?>", u"=", u"<?pas=x?><?dsp y?>", u"Print(x);Print('<?dsp y?>');"},
        {u"{{", u"}}", u"!", u"a{{!x}}b{{y;}}", u"Print('a');Print(x);Print('b');y;"},
        {u"{{", u"}}", u"==", u"{{=x}}{{==y}}", u"=xPrint(y);"},
        {u"<%", u"%>", u"=", u"<%=a%%>", u"Print(a%);"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.page));
        TtvsHtmlFilter filter;
        filter.SetPatternOpen(c.open);
        filter.SetPatternClose(c.close);
        filter.SetPatternEval(c.eval);
        EXPECT_EQ(filter.Process(c.page, nullptr), c.expected);
    }
}

TEST(tvsHtmlFilter, EmptyPatternsRaiseInFixedOrder)
{
    const struct {
        std::u16string open, close, eval;
        std::u16string message;
    } cases[] = {
        {u"", u"", u"", u"Property \"PatternOpen\" must be set!"},
        {u"", u"?>", u"=", u"Property \"PatternOpen\" must be set!"},
        {u"<?", u"", u"", u"Property \"PatternClose\" must be set!"},
        {u"<?", u"?>", u"", u"Property \"PatternEval\" must be set!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.message));
        TtvsHtmlFilter filter;
        filter.SetPatternOpen(c.open);
        filter.SetPatternClose(c.close);
        filter.SetPatternEval(c.eval);
        try {
            filter.Process(u"text", nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const EHTMLFilterException& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(std::u16string(e.ClassName()), u"EHTMLFilterException");
        }
    }
}

TEST(tvsHtmlFilter, SubFilterRunsFirstOnTheWholePage)
{
    TReplaceFilter brackets(u"[[", u"<?dsp");
    TtvsHtmlFilter filter;
    filter.SetPatternOpen(u"<?dsp");
    filter.SetSubFilter(&brackets);
    EXPECT_EQ(filter.Process(u"a[[=x?>b", nullptr), u"Print('a');Print(x);Print('b');");

    // Chains run innermost first.
    TReplaceFilter inner(u"{", u"[[");
    brackets.SetSubFilter(&inner);
    EXPECT_EQ(filter.Process(u"{=y?>", nullptr), u"Print(y);");
}

TEST(tvsFilter, BaseFilterPassesTextThrough)
{
    TtvsFilter plain;
    EXPECT_EQ(plain.Process(u"a\r\nb", nullptr), u"a\r\nb");
    TReplaceFilter sub(u"a", u"b");
    plain.SetSubFilter(&sub);
    EXPECT_EQ(plain.Process(u"aa", nullptr), u"bb");
}

TEST(tvsFilter, DependenciesListOwnThenSubFilters)
{
    TReplaceFilter outer(u"", u"");
    TReplaceFilter middle(u"", u"");
    TReplaceFilter inner(u"", u"");
    outer.AddDependency(u"A");
    inner.AddDependency(u"C1");
    inner.AddDependency(u"C2");
    outer.SetSubFilter(&middle);
    middle.SetSubFilter(&inner);

    const std::vector<std::u16string> expected{u"A", u"C1", u"C2"};
    EXPECT_EQ(outer.Dependencies(), expected);
    // The result list is emptied on every call, not added to.
    EXPECT_EQ(outer.Dependencies(), expected);
    EXPECT_TRUE(TtvsHtmlFilter().Dependencies().empty());
}

TEST(tvsFilter, DestroyedSubFilterIsUnlinked)
{
    TtvsHtmlFilter filter;
    auto first = std::make_unique<TReplaceFilter>(u"x", u"y");
    auto second = std::make_unique<TReplaceFilter>(u"x", u"z");

    filter.SetSubFilter(first.get());
    filter.SetSubFilter(second.get());
    first.reset(); // no longer linked: must not touch the filter
    EXPECT_EQ(filter.SubFilter(), second.get());

    second.reset();
    EXPECT_EQ(filter.SubFilter(), nullptr);
    EXPECT_EQ(filter.Process(u"x", nullptr), u"Print('x');");
}

TEST(tvsFilter, OuterFilterDestroyedFirstLeavesNoLink)
{
    TReplaceFilter sub(u"x", u"y");
    {
        TtvsHtmlFilter filter;
        filter.SetSubFilter(&sub);
    }
    // The sub-filter's destruction must not notify the filter that is gone;
    // with sanitizers on this is where a stale link would show.
}

TEST(tvsFilter, HolderIsToldWhenFilterGoes)
{
    struct THolder final : ItvsFilterFreeNotify {
        TtvsFilter* Linked = nullptr;
        void FilterFreed(TtvsFilter* filter) override
        {
            if (filter == Linked)
                Linked = nullptr;
        }
    } holder;
    auto filter = std::make_unique<TtvsHtmlFilter>();
    holder.Linked = filter.get();
    filter->AddFreeNotification(&holder);
    filter.reset();
    EXPECT_EQ(holder.Linked, nullptr);
}

TEST(tvsFilter, CircularChainIsRefused)
{
    TReplaceFilter a(u"a", u"b");
    TReplaceFilter b(u"b", u"c");
    EXPECT_THROW(a.SetSubFilter(&a), EFilterChainError);
    a.SetSubFilter(&b);
    EXPECT_THROW(b.SetSubFilter(&a), EFilterChainError);
    EXPECT_EQ(b.SubFilter(), nullptr);
    EXPECT_EQ(a.Process(u"ab", nullptr), u"bc"); // both still linked, sub-filter first
}
