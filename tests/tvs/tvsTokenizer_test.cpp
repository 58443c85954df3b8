#include "tvsTokenizer.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tvsPascalTokenizer.h"

namespace {

using enum TTokenType;

std::string Utf8(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s)
        out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
    return out;
}

// A tokenizer over one main text, with the language's rules.
class tvsTokenizer : public testing::Test {
protected:
    void Begin(std::u16string code)
    {
        FMain = std::make_unique<TSourceFile>(MainModuleName, std::move(code));
        Tok = FRules.CreateTokenizer(Msgs);
        Tok->BeginSource(FMain.get());
    }

    // The remaining tokens as TokenDebugText, joined by " | ".
    std::u16string Rest()
    {
        std::u16string out;
        for (int i = 0; i < 1000 && Tok->HasToken(); ++i) {
            if (!out.empty())
                out += u" | ";
            out += TokenDebugText(Tok->CurrentToken());
            Tok->Discard();
        }
        return out;
    }

    const TSourceFile* Main() const { return FMain.get(); }

    TPascalTokenizerStateRules FRules;
    TtvsCompileMessageList Msgs;
    std::unique_ptr<TSourceFile> FMain;
    std::unique_ptr<TTokenizer> Tok;
};

} // namespace

TEST_F(tvsTokenizer, TokenTypeTexts)
{
    EXPECT_EQ(TokenTypeCount, 131);
    const struct {
        TTokenType type;
        std::u16string_view display;
        std::u16string_view name;
    } cases[] = {
        {ttNone, u"", u"ttNone"},
        {ttStrVal, u"StrVal", u"ttStrVal"},
        {ttSWITCH, u"SWITCH", u"ttSWITCH"},
        {ttSET, u"SET", u"ttSET"},
        {ttDOTDOT, u"..", u"ttDOTDOT"},
        {ttIMPLEMENTATION, u"IMPLEMENTATION", u"ttIMPLEMENTATION"},
        {ttSAR, u"SAR", u"ttSAR"},
        {ttPLUS, u"+", u"ttPLUS"},
        {ttCRIGHT, u"}", u"ttCRIGHT"},
        {ttDEFAULT, u"DEFAULT", u"ttDEFAULT"},
        {ttFASTCALL, u"FASTCALL", u"ttFASTCALL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        EXPECT_EQ(TokenDisplayString(c.type), c.display);
        EXPECT_EQ(TokenTypeName(c.type), c.name);
    }
}

TEST_F(tvsTokenizer, TokenTypeSets)
{
    constexpr TTokenTypes set{ttNone, ttOF, ttFASTCALL};
    EXPECT_TRUE(set.Contains(ttNone));
    EXPECT_TRUE(set.Contains(ttOF));
    EXPECT_TRUE(set.Contains(ttFASTCALL));
    EXPECT_FALSE(set.Contains(ttDOTDOT));
    EXPECT_FALSE(set.Contains(ttTRY));
    EXPECT_EQ(sizeof(TTokenTypes), 17u);
}

TEST_F(tvsTokenizer, NamesAcceptNonReservedKeywords)
{
    const struct {
        std::u16string code;
        bool isName;
    } cases[] = {
        {u"abc", true},    {u"Read", true},     {u"to", true},     {u"default", true},
        {u"set", true},    {u"fastcall", true}, {u"&begin", true}, {u"begin", false},
        {u"Array", false}, {u"'x'", false},     {u"5", false},     {u";", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.code));
        Begin(c.code);
        EXPECT_EQ(Tok->IsName(), c.isName);
    }
}

TEST_F(tvsTokenizer, HotPosFollowsQueries)
{
    Begin(u"a\n  b c");
    EXPECT_EQ(Tok->HotPos(), TScriptPos(Main(), 0, 0));
    EXPECT_TRUE(Tok->HasToken());
    EXPECT_EQ(Tok->HotPos(), TScriptPos(Main(), 1, 1));
    EXPECT_TRUE(Tok->Accept(ttNAME));
    // The current token is gone: the next query loads "b".
    EXPECT_FALSE(Tok->IsToken(ttSEMI));
    EXPECT_EQ(Tok->HotPos(), TScriptPos(Main(), 2, 3));
    EXPECT_EQ(Tok->IsAnyToken({ttNAME, ttIntVal}), ttNAME);
    EXPECT_EQ(Tok->AcceptAny({ttIntVal}), ttNone);
    EXPECT_EQ(Tok->AcceptAny({ttNAME}), ttNAME);
    EXPECT_TRUE(Tok->IsName());
    EXPECT_EQ(Tok->HotPos(), TScriptPos(Main(), 2, 5));
    EXPECT_EQ(Tok->CurrentToken().Text, u"c");
    // The next character to read is the CR appended to the text.
    EXPECT_EQ(Tok->CurPos(), TScriptPos(Main(), 2, 6));
    Tok->Discard();
    EXPECT_FALSE(Tok->HasToken());
}

TEST_F(tvsTokenizer, InjectedTokensComeFirst)
{
    Begin(u"a b");
    ASSERT_TRUE(Tok->IsToken(ttNAME));
    const TScriptPos at(Main(), 7, 8);
    Tok->InjectString(at, u"injected");
    EXPECT_EQ(Tok->CurrentToken().TokenType, ttStrVal);
    EXPECT_EQ(Tok->CurrentToken().ScriptPos, at);
    EXPECT_EQ(Utf8(Rest()), "7:8 ttStrVal 'injected' | 1:1 ttNAME a | 1:3 ttNAME b");

    Begin(u"x");
    Tok->InjectToken(ttSEMI); // no current token yet
    EXPECT_EQ(Tok->CurrentToken().ScriptPos, TScriptPos());
    Tok->Discard();
    Tok->InjectName(at, u"n");
    EXPECT_EQ(Utf8(Rest()), "7:8 ttNAME n | 1:1 ttNAME x");
}

TEST_F(tvsTokenizer, IncludedSourceIsReadInPlace)
{
    const TSourceFile inc(u"inc.pas", u"i1 i2");
    const TSourceFile* ended = nullptr;
    Begin(u"a b c");
    Tok->SetOnEndSourceFile([&ended](const TSourceFile* f) { ended = f; });
    ASSERT_TRUE(Tok->Accept(ttNAME));
    Tok->BeginSource(&inc);
    EXPECT_EQ(Tok->IncludeDepth(), 1u);
    EXPECT_EQ(Tok->HotPos(), TScriptPos(&inc, 0, 0));
    ASSERT_TRUE(Tok->IsToken(ttNAME));
    EXPECT_EQ(Tok->CurrentToken().ScriptPos, TScriptPos(&inc, 1, 1));
    Tok->Discard();
    EXPECT_EQ(Utf8(Rest()), "1:4 ttNAME i2 | 1:3 ttNAME b | 1:5 ttNAME c");
    EXPECT_EQ(ended, &inc);
    EXPECT_EQ(Tok->IncludeDepth(), 0u);
    EXPECT_EQ(Msgs.Count(), 0);

    // The main text ends: the tokenizer is cleared.
    Tok->EndSource();
    EXPECT_EQ(Tok->CurPos(), TScriptPos());
    EXPECT_FALSE(Tok->HasToken());
}

TEST_F(tvsTokenizer, UnterminatedLiteralInIncludeGoesOnInTheIncludingText)
{
    const TSourceFile inc(u"inc.pas", u"\"abc");
    Begin(u"x \"; y");
    ASSERT_TRUE(Tok->Accept(ttNAME));
    Tok->BeginSource(&inc);
    // The literal is listed as unterminated at the end of the included text,
    // then reading goes on in the including text in the same state.
    EXPECT_EQ(Utf8(Rest()), "1:1 ttStrVal 'abc'#13#10' ' | 1:4 ttSEMI ; | 1:6 ttNAME y");
    ASSERT_EQ(Msgs.Count(), 1);
    EXPECT_EQ(Utf8(Msgs.GetMsg(0).FormattedText()),
              "Syntax Error: End of string constant not found (end of file) "
              "[line: 2, column: 1, file: inc.pas]");
}

// An unknown switch: the handler reads and drops the rest through the same
// tokenizer, and reading goes on after the "}".
TEST_F(tvsTokenizer, SwitchHandlerMayReadTheRestOfTheSwitch)
{
    Begin(u"a {$FOO x 'y' 3} b");
    std::vector<std::u16string> seen;
    Tok->SetSwitchHandler([this, &seen](const std::u16string& name) {
        seen.push_back(name);
        if (name == u"DEFINE")
            return true;
        Msgs.AddSyntaxError(Tok->HotPos(), u"Compiler switch \"%s\" unknown", {name});
        for (int i = 0; i < 100 && Tok->HasToken(); ++i) {
            const bool end = Tok->CurrentToken().TokenType == ttCRIGHT;
            Tok->Discard();
            if (end)
                break;
        }
        return false;
    });
    EXPECT_EQ(Utf8(Rest()), "1:1 ttNAME a | 1:18 ttNAME b");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], u"FOO");
    ASSERT_EQ(Msgs.Count(), 1);
    EXPECT_EQ(Utf8(Msgs.GetMsg(0).FormattedText()),
              "Syntax Error: Compiler switch \"FOO\" unknown [line: 1, column: 5]");

    Begin(u"{$define X} b");
    EXPECT_EQ(Utf8(Rest()), "1:3 ttSWITCH DEFINE | 1:10 ttNAME X | 1:11 ttCRIGHT } | "
                            "1:13 ttNAME b");
}

// The processor carries a known switch out: it may leave no token, leave a
// token of its own, or start reading an included source.
TEST_F(tvsTokenizer, SwitchProcessorDecidesWhatStays)
{
    const TSourceFile inc(u"inc.pas", u"i");
    auto conditionals = std::make_shared<TConditionalSymbols>();
    Begin(u"a {$DEFINE X} {$I %LINE%} {$I 'inc.pas'} b");
    Tok->SetConditionals(conditionals);
    Tok->SetSwitchHandler([](const std::u16string&) { return true; });
    Tok->SetSwitchProcessor([this, &inc](const std::u16string& name) {
        const TScriptPos directive = Tok->HotPos();
        Tok->Discard(); // the switch token
        if (name == u"DEFINE") {
            if (Tok->IsToken(ttNAME)) {
                Tok->Conditionals()->Add(Tok->CurrentToken().Text);
                Tok->Discard();
            }
            // The "}" becomes a ";" that goes with the switch.
            if (Tok->IsToken(ttCRIGHT))
                Tok->CurrentToken().TokenType = ttSEMI;
            return true;
        }
        if (Tok->Accept(ttPERCENT)) {
            Tok->Accept(ttNAME);
            Tok->Accept(ttPERCENT);
            Tok->Accept(ttCRIGHT);
            Tok->InjectString(directive, u"LINE");
            return false;
        }
        Tok->Accept(ttStrVal);
        Tok->Accept(ttCRIGHT);
        Tok->BeginSource(&inc);
        return true;
    });
    EXPECT_EQ(Utf8(Rest()), "1:1 ttNAME a | 1:17 ttStrVal 'LINE' | 1:1 ttNAME i | 1:42 ttNAME b");
    EXPECT_TRUE(conditionals->Contains(u"x"));
    EXPECT_EQ(Msgs.Count(), 0);
}

TEST_F(tvsTokenizer, AbortingErrorLeavesTheListFailed)
{
    Begin(u"a ! b");
    EXPECT_TRUE(Tok->Accept(ttNAME));
    EXPECT_THROW(Tok->HasToken(), ECompileError);
    EXPECT_TRUE(Msgs.HasErrors());
    EXPECT_EQ(Tok->GetToken(), nullptr);
}

TEST_F(tvsTokenizer, ConditionalSymbolsIgnoreCase)
{
    TConditionalSymbols symbols;
    symbols.Add(u"Debug");
    symbols.Add(u"\u00c4nderung");
    symbols.Add(u"DEBUG");
    EXPECT_EQ(symbols.Names().size(), 2u);
    EXPECT_TRUE(symbols.Contains(u"debug"));
    EXPECT_TRUE(symbols.Contains(u"\u00e4NDERUNG"));
    symbols.Remove(u"dEbUg");
    EXPECT_FALSE(symbols.Contains(u"Debug"));
}
