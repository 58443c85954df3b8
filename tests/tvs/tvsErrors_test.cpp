#include "tvsErrors.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const TSourceFile MainFile(MainModuleName, u"");
const TSourceFile IncFile(u"inc.pas", u"");

std::string Utf8(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

} // namespace

TEST(tvsErrors, FormatTextDirectives)
{
    const int64_t minInt = std::numeric_limits<int64_t>::min();
    const struct {
        std::u16string format;
        std::vector<TFormatArg> args;
        std::u16string expected;
    } cases[] = {
        {u"plain", {}, u"plain"},
        {u"100%%", {}, u"100%"},
        {u"Unknown name \"%s\"", {u"x"}, u"Unknown name \"x\""},
        {u"%s and %s", {u"a", u"b"}, u"a and b"},
        {u"%d", {42}, u"42"},
        {u"%d", {-7}, u"-7"},
        {u"%d", {minInt}, u"-9223372036854775808"},
        {u"%x", {255}, u"FF"},
        {u"%X", {0x1A}, u"1A"},
        {u"%x", {-1}, u"FFFFFFFFFFFFFFFF"},
        {u"%u", {-1}, u"18446744073709551615"},
        {u"%5d|", {42}, u"   42|"},
        {u"%-5d|", {42}, u"42   |"},
        {u"%.4d", {-5}, u"-0005"},
        {u"%.4x", {10}, u"000A"},
        {u"%.2s", {u"abc"}, u"ab"},
        {u"%6s|", {u"ab"}, u"    ab|"},
        {u"%*d", {4, 7}, u"   7"},
        {u"%1:s %0:s %s", {u"a", u"b"}, u"b a b"},
        {u"\u00e9%s\U0001F600", {u"\u00fc"}, u"\u00e9\u00fc\U0001F600"},
        {u"%s", {std::u16string(1, u'\0')}, std::u16string(1, u'\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.format));
        EXPECT_EQ(FormatText(c.format, c.args), c.expected);
    }
}

TEST(tvsErrors, FormatTextRejectsBadFormats)
{
    const struct {
        std::u16string format;
        std::vector<TFormatArg> args;
        std::u16string message;
    } cases[] = {
        {u"%d", {u"x"}, u"Format '%d' invalid or incompatible with argument"},
        {u"%s", {3}, u"Format '%s' invalid or incompatible with argument"},
        {u"%q", {3}, u"Format '%q' invalid or incompatible with argument"},
        {u"abc%", {}, u"Format 'abc%' invalid or incompatible with argument"},
        {u"%5:d", {1}, u"Format '%5:d' invalid or incompatible with argument"},
        {u"%d %d", {1}, u"No argument for format '%d %d'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.format));
        try {
            FormatText(c.format, c.args);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(tvsErrors, PositionText)
{
    const struct {
        TScriptPos pos;
        std::u16string expected;
    } cases[] = {
        {TScriptPos(nullptr, 3, 5), u""},
        {TScriptPos(&MainFile, 0, 0), u""},
        {TScriptPos(&MainFile, 3, 5), u" [line: 3, column: 5]"},
        {TScriptPos(&MainFile, 2, 0), u" [line: 2]"},
        {TScriptPos(&MainFile, 0, 7), u" [column: 7]"},
        {TScriptPos(&IncFile, 1, 2), u" [line: 1, column: 2, file: inc.pas]"},
        {TScriptPos(&IncFile, 0, 0), u" [file: inc.pas]"},
        // Beyond what a packed line/column word could hold.
        {TScriptPos(&MainFile, 1, 4096), u" [line: 1, column: 4096]"},
        {TScriptPos(&MainFile, 1048576, 70000), u" [line: 1048576, column: 70000]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.expected));
        EXPECT_EQ(PositionText(c.pos), c.expected);
    }
}

TEST(tvsErrors, FormattedTextByClass)
{
    const TScriptPos at(&MainFile, 1, 1);
    const struct {
        std::unique_ptr<TtvsMessage> msg;
        std::u16string expected;
    } cases[] = {
        {std::make_unique<THintMessage>(at, u"h"), u"Hint: h [line: 1, column: 1]"},
        {std::make_unique<TWarningMessage>(at, u"w"), u"Warning: w [line: 1, column: 1]"},
        {std::make_unique<TSyntaxErrorMessage>(at, u"Unknown name \"x\""),
         u"Syntax Error: Unknown name \"x\" [line: 1, column: 1]"},
        {std::make_unique<TCompilerErrorMessage>(at, u"T"),
         u"Compile Error: T [line: 1, column: 1]"},
        {std::make_unique<TErrorMessage>(at, u"plain"), u"plain [line: 1, column: 1]"},
        {std::make_unique<TSyntaxErrorMessage>(TScriptPos(), u"nowhere"), u"Syntax Error: nowhere"},
        // A "%" in the text is not a directive: the text is an argument.
        {std::make_unique<THintMessage>(TScriptPos(), u"50% %s"), u"Hint: 50% %s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.expected));
        EXPECT_EQ(c.msg->FormattedText(), c.expected);
    }
}

TEST(tvsErrors, HintsListedByLevel)
{
    using enum TtvsHintsLevel;
    const struct {
        TtvsHintsLevel listLevel;
        TtvsHintsLevel hintLevel;
        bool listed;
    } cases[] = {
        {hlDisabled, hlNormal, false}, {hlDisabled, hlStrict, false}, {hlNormal, hlNormal, true},
        {hlNormal, hlStrict, false},   {hlStrict, hlNormal, true},    {hlStrict, hlStrict, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.listLevel) * 10 + static_cast<int>(c.hintLevel));
        TtvsCompileMessageList msgs;
        msgs.SetHintsLevel(c.listLevel);
        msgs.AddHint(TScriptPos(), u"h", c.hintLevel);
        EXPECT_EQ(msgs.Count(), c.listed ? 1 : 0);
        EXPECT_FALSE(msgs.HasErrors());
    }
}

TEST(tvsErrors, WarningsSwitchAndErrorFlag)
{
    TtvsCompileMessageList msgs;
    msgs.AddWarning(TScriptPos(), u"w1");
    EXPECT_EQ(msgs.Count(), 1);
    EXPECT_FALSE(msgs.HasErrors());

    msgs.SetWarningsDisabled(true);
    msgs.AddWarning(TScriptPos(), u"w2");
    EXPECT_EQ(msgs.Count(), 1);
    msgs.AddCompilerError(TScriptPos(&MainFile, 4, 2), u"Name \"%s\" already exists", {u"a"});
    EXPECT_EQ(msgs.Count(), 2);
    EXPECT_TRUE(msgs.HasErrors());
    EXPECT_EQ(msgs.GetMsg(1).FormattedText(),
              u"Compile Error: Name \"a\" already exists [line: 4, column: 2]");
    EXPECT_EQ(msgs.GetMsg(1).MsgList(), &msgs);

    msgs.Clear();
    EXPECT_EQ(msgs.Count(), 0);
    EXPECT_FALSE(msgs.HasErrors());
}

TEST(tvsErrors, AbortListsThenThrows)
{
    TtvsCompileMessageList msgs;
    const TScriptPos at(&MainFile, 2, 9);
    try {
        msgs.AbortWithSyntaxError(at, u"\"%s\" expected", {u";"});
        ADD_FAILURE() << "no exception";
    } catch (const ECompileError& e) {
        EXPECT_EQ(e.Message(), u"\";\" expected");
        EXPECT_EQ(e.ScriptPos(), at);
        EXPECT_EQ(std::u16string(e.ClassName()), u"ECompileError");
    }
    ASSERT_EQ(msgs.Count(), 1);
    EXPECT_TRUE(msgs.HasErrors());
    EXPECT_EQ(msgs.AsInfo(), u"Syntax Error: \";\" expected [line: 2, column: 9]\r\n");

    EXPECT_THROW(msgs.AbortWithError<TCompilerErrorMessage>(at, u"stop"), ECompileError);
    EXPECT_EQ(msgs.GetMsg(1).FormattedText(), u"Compile Error: stop [line: 2, column: 9]");
}

TEST(tvsErrors, OptimizationListForwardsToCompileList)
{
    TtvsCompileMessageList compileMsgs;
    TtvsOptimizationMessageList optMsgs;

    // Without a compile list it keeps what it is told.
    optMsgs.AddWarning(TScriptPos(), u"alone");
    EXPECT_EQ(optMsgs.Count(), 1);

    optMsgs.SetCompileMsgs(&compileMsgs);
    EXPECT_EQ(optMsgs.Count(), 0);
    optMsgs.AddHint(TScriptPos(), u"h");
    EXPECT_EQ(compileMsgs.Count(), 1);
    EXPECT_FALSE(compileMsgs.HasErrors());

    // The first folding error already fails the program being compiled.
    optMsgs.AddSyntaxError(TScriptPos(&MainFile, 1, 5), u"Division by zero");
    ASSERT_EQ(compileMsgs.Count(), 2);
    EXPECT_TRUE(compileMsgs.HasErrors());
    EXPECT_EQ(compileMsgs.GetMsg(1).MsgList(), &compileMsgs);
    EXPECT_EQ(optMsgs.Count(), 2);
    EXPECT_EQ(&optMsgs.GetMsg(1), &compileMsgs.GetMsg(1));

    // Once it has errors, anything forwarded keeps the compile list failed.
    compileMsgs.SetHasErrors(false);
    optMsgs.AddWarning(TScriptPos(), u"later");
    EXPECT_TRUE(compileMsgs.HasErrors());

    // Clearing the forwarding list leaves the compile list's messages alone.
    optMsgs.Clear();
    EXPECT_EQ(optMsgs.Count(), 0);
    ASSERT_EQ(compileMsgs.Count(), 3);
    EXPECT_EQ(compileMsgs.GetMsg(2).Text(), u"later");
}
