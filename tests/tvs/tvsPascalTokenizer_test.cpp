#include "tvsPascalTokenizer.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using enum TTokenType;

std::string Utf8(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s) {
        if (c >= 32 && c < 127)
            out += static_cast<char>(c);
        else
            out += "#" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

const TPascalTokenizerStateRules& Rules()
{
    static const TPascalTokenizerStateRules rules;
    return rules;
}

// Every token of `code` as TokenDebugText, then every message, joined by " | ".
std::u16string Lex(std::u16string_view code)
{
    const TSourceFile file(MainModuleName, std::u16string(code));
    TtvsCompileMessageList msgs;
    auto tokenizer = Rules().CreateTokenizer(msgs);
    tokenizer->BeginSource(&file);
    std::u16string out;
    const auto add = [&out](const std::u16string& part) {
        if (!out.empty())
            out += u" | ";
        out += part;
    };
    try {
        for (int i = 0; i < 1000 && tokenizer->HasToken(); ++i) {
            add(TokenDebugText(tokenizer->CurrentToken()));
            tokenizer->Discard();
        }
    } catch (const ECompileError&) {
        add(u"stop");
    }
    for (int i = 0; i < msgs.Count(); ++i)
        add(msgs.GetMsg(i).FormattedText());
    return out;
}

struct TLexCase {
    std::u16string code;
    std::u16string expected;
};

void CheckLex(std::initializer_list<TLexCase> cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.code));
        EXPECT_EQ(Utf8(Lex(c.code)), Utf8(c.expected));
    }
}

} // namespace

TEST(tvsPascalTokenizer, SymbolsAndOperators)
{
    const struct {
        std::u16string text;
        TTokenType type;
    } cases[] = {
        {u"+", ttPLUS},
        {u"-", ttMINUS},
        {u"*", ttTIMES},
        {u"/", ttDIVIDE},
        {u"%", ttPERCENT},
        {u"^", ttCARET},
        {u"@", ttAT},
        {u"=", ttEQ},
        {u"<>", ttNOTEQ},
        {u">", ttGTR},
        {u">=", ttGTREQ},
        {u"<", ttLESS},
        {u"<=", ttLESSEQ},
        {u"<<", ttLESSLESS},
        {u">>", ttGTRGTR},
        {u";", ttSEMI},
        {u",", ttCOMMA},
        {u":", ttCOLON},
        {u":=", ttASSIGN},
        {u"+=", ttPLUS_ASSIGN},
        {u"-=", ttMINUS_ASSIGN},
        {u"*=", ttTIMES_ASSIGN},
        {u"/=", ttDIVIDE_ASSIGN},
        {u"%=", ttPERCENT_ASSIGN},
        {u"^=", ttCARET_ASSIGN},
        {u"@=", ttAT_ASSIGN},
        {u"(", ttBLEFT},
        {u")", ttBRIGHT},
        {u"[", ttALEFT},
        {u"]", ttARIGHT},
        {u"}", ttCRIGHT},
        {u".", ttDOT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.text));
        const std::u16string expected =
            u"1:2 " + std::u16string(TokenTypeName(c.type)) + u" " + c.text;
        EXPECT_EQ(Utf8(Lex(u" " + c.text + u" ")), Utf8(expected));
        EXPECT_EQ(TokenDisplayString(c.type), c.text);
    }
}

TEST(tvsPascalTokenizer, TokenStreams)
{
    CheckLex({
        {u"a:=b", u"1:1 ttNAME a | 1:2 ttASSIGN := | 1:4 ttNAME b"},
        {u"a : = b", u"1:1 ttNAME a | 1:3 ttCOLON : | 1:5 ttEQ = | 1:7 ttNAME b"},
        {u"x+y*(z)", u"1:1 ttNAME x | 1:2 ttPLUS + | 1:3 ttNAME y | 1:4 ttTIMES * | "
                     u"1:5 ttBLEFT ( | 1:6 ttNAME z | 1:7 ttBRIGHT )"},
        {u"a<>b<=c", u"1:1 ttNAME a | 1:2 ttNOTEQ <> | 1:4 ttNAME b | 1:5 ttLESSEQ <= | "
                     u"1:7 ttNAME c"},
        {u"a[1]", u"1:1 ttNAME a | 1:2 ttALEFT [ | 1:3 ttIntVal 1 | 1:4 ttARIGHT ]"},
        {u"o.f(x)", u"1:1 ttNAME o | 1:2 ttDOT . | 1:3 ttNAME f | 1:4 ttBLEFT ( | "
                    u"1:5 ttNAME x | 1:6 ttBRIGHT )"},
        {u"-1", u"1:1 ttMINUS - | 1:2 ttIntVal 1"},
        {u"a/b", u"1:1 ttNAME a | 1:2 ttDIVIDE / | 1:3 ttNAME b"},
        {u"$(", u"1:1 ttDOLLAR $ | 1:2 ttBLEFT ("},
        {u"1..5", u"1:1 ttIntVal 1 | 1:3 ttDOTDOT .. | 1:4 ttIntVal 5"},
        {u"a..b", u"1:1 ttNAME a | 1:2 ttDOTDOT .. | 1:4 ttNAME b"},
        {u"x.y", u"1:1 ttNAME x | 1:2 ttDOT . | 1:3 ttNAME y"},
        {u"&begin", u"1:1 ttNAME begin"},
        {u"gr\u00f6\u00dfe", u"1:1 ttNAME gr\u00f6\u00dfe"},
        {u"\ta", u"1:2 ttNAME a"},
        {u"a\r\n\tb", u"1:1 ttNAME a | 2:2 ttNAME b"},
        {u"a\nb", u"1:1 ttNAME a | 2:1 ttNAME b"},
        {u"", u""},
        {u"   ", u""},
        // Far beyond what a packed line/column word could hold.
        {std::u16string(5000, u' ') + u"x", u"1:5001 ttNAME x"},
        {std::u16string(1100000, u'\n') + u"x", u"1100001:1 ttNAME x"},
    });
}

TEST(tvsPascalTokenizer, ReservedWords)
{
    CheckLex({
        {u"END End end", u"1:1 ttEND END | 1:5 ttEND End | 1:9 ttEND end"},
        {u"Set FastCall", u"1:1 ttNAME Set | 1:5 ttNAME FastCall"},
        {u"implementation resourcestring",
         u"1:1 ttIMPLEMENTATION implementation | 1:16 ttRESOURCESTRING resourcestring"},
        {u"abcdefghijklmno", u"1:1 ttNAME abcdefghijklmno"},
        {u"begin_ beginx _begin", u"1:1 ttNAME begin_ | 1:8 ttNAME beginx | 1:15 ttNAME _begin"},
        {u"do of if in is", u"1:1 ttDO do | 1:4 ttOF of | 1:7 ttIF if | 1:10 ttIN in | "
                            u"1:13 ttIS is"},
        {u"x y z", u"1:1 ttNAME x | 1:3 ttNAME y | 1:5 ttNAME z"},
        // Only ASCII letters fold: a dotted capital I is not an "i".
        {u"\u0130F", u"1:1 ttNAME \u0130F"},
        {u"xor Xor sar stdcall", u"1:1 ttXOR xor | 1:5 ttXOR Xor | 1:9 ttSAR sar | "
                                 u"1:13 ttSTDCALL stdcall"},
    });
}

TEST(tvsPascalTokenizer, Numbers)
{
    CheckLex({
        {u"0 7 42 123", u"1:1 ttIntVal 0 | 1:3 ttIntVal 7 | 1:5 ttIntVal 42 | 1:8 ttIntVal 123"},
        {u"9223372036854775807", u"1:1 ttIntVal 9223372036854775807"},
        {u"$FF $ff $7FFFFFFFFFFFFFFF",
         u"1:1 ttIntVal 255 | 1:5 ttIntVal 255 | 1:9 ttIntVal 9223372036854775807"},
        {u"$FFFFFFFFFFFFFFFF $000000000000000001", u"1:1 ttIntVal -1 | 1:19 ttIntVal 1"},
        {u"1e5 1.5E-3 2.5 1E+2",
         u"1:1 ttFloatVal 1e+05 | 1:5 ttFloatVal 0.0015 | 1:12 ttFloatVal 2.5 | "
         u"1:16 ttFloatVal 100"},
        {u"1e-999", u"1:1 ttFloatVal 0"},
        {u"3.14;", u"1:1 ttFloatVal 3.14 | 1:5 ttSEMI ;"},
        {u"5)", u"1:1 ttIntVal 5 | 1:2 ttBRIGHT )"},
    });
}

TEST(tvsPascalTokenizer, StringLiterals)
{
    CheckLex({
        {u"'it''s'", u"1:1 ttStrVal 'it''s'"},
        {u"''", u"1:1 ttStrVal ''"},
        {u"'a' 'b'", u"1:1 ttStrVal 'a' | 1:5 ttStrVal 'b'"},
        {u"#$41#66", u"1:1 ttStrVal 'AB'"},
        {u"#13#10", u"1:1 ttStrVal #13#10"},
        {u"'ab'#9'cd'", u"1:1 ttStrVal 'ab'#9'cd'"},
        {u"#65\"xy\"", u"1:1 ttStrVal 'Axy'"},
        {u"\"a\"\"b\"", u"1:1 ttStrVal 'a\"b'"},
        {u"\"two\r\nlines\"", u"1:1 ttStrVal 'two'#13#10'lines'"},
        {u"#65;", u"1:1 ttStrVal 'A' | 1:4 ttSEMI ;"},
        {u"#$FFFF", u"1:1 ttStrVal '\uFFFF'"},
        {u"'\u20ac'", u"1:1 ttStrVal '\u20ac'"},
        {u"x:='a'+'b'", u"1:1 ttNAME x | 1:2 ttASSIGN := | 1:4 ttStrVal 'a' | 1:7 ttPLUS + | "
                        u"1:8 ttStrVal 'b'"},
        // U+0000 is an ordinary character inside a literal.
        {std::u16string(u"'a\0b'", 5), u"1:1 ttStrVal 'a'#0'b'"},
        {std::u16string(u"\"a\0b\"", 5), u"1:1 ttStrVal 'a'#0'b'"},
    });
}

TEST(tvsPascalTokenizer, MultiLineStrings)
{
    CheckLex({
        {u"#\"  abc\"", u"1:1 ttStrVal 'abc'"},
        // The blank first line goes; the smallest indentation (4) is removed.
        {u"#\"\r\n    a\r\n      b\r\n    \"", u"1:1 ttStrVal 'a'#13#10'  b'#13#10"},
        {u"#\"x\n  y\n\"", u"1:1 ttStrVal 'x'#10'  y'#10"},
        // Lines of spaces do not count for the indentation.
        {u"#\"\n    a\n  \n    b\n\"", u"1:1 ttStrVal 'a'#10#10'b'#10"},
        // A tab is not indentation: that line has none, so nothing is removed.
        {u"#\"\n  a\n\t b\n\"", u"1:1 ttStrVal '  a'#10#9' b'#10"},
        {u"#\"a\"\"b\"", u"1:1 ttStrVal 'a\"b'"},
        {u"#\"\n  a\n  \"#65", u"1:1 ttStrVal 'a'#10'A'"},
        {u"#\"x\"\r\ny", u"1:1 ttStrVal 'x' | 2:1 ttNAME y"},
    });
}

TEST(tvsPascalTokenizer, CommentsAndSwitches)
{
    CheckLex({
        {u"a{x}b", u"1:1 ttNAME a | 1:5 ttNAME b"},
        {u"a(*x*)b", u"1:1 ttNAME a | 1:7 ttNAME b"},
        {u"a/*x*/b", u"1:1 ttNAME a | 1:7 ttNAME b"},
        {u"a//x\nb", u"1:1 ttNAME a | 2:1 ttNAME b"},
        {u"a // x", u"1:1 ttNAME a"},
        {u"{}a", u"1:3 ttNAME a"},
        // A star followed by a star goes back to the comment body.
        {u"(* a **) b *)c", u"1:14 ttNAME c"},
        {u"(* a *) x", u"1:9 ttNAME x"},
        {u"/* a **/ x", u""},
        {u"/* a */ x", u"1:9 ttNAME x"},
        {u"{ a\r\nb } c", u"2:5 ttNAME c"},
        // An unterminated comment ends the tokens quietly.
        {u"a (* x", u"1:1 ttNAME a"},
        {u"a { x", u"1:1 ttNAME a"},
        {u"a /* x", u"1:1 ttNAME a"},
        {std::u16string(u"{\0}a", 4), u"1:4 ttNAME a"},
        // Without a switch handler every switch stays a token.
        {u"{$define X}", u"1:3 ttSWITCH DEFINE | 1:10 ttNAME X | 1:11 ttCRIGHT }"},
        {u"{$I2}", u"1:3 ttSWITCH I2 | 1:5 ttCRIGHT }"},
    });
}

TEST(tvsPascalTokenizer, LexicalErrors)
{
    // Aborting errors stop the stream at the offending character.
    CheckLex({
        {u"x+!y", u"1:1 ttNAME x | stop | Syntax Error: \"=\" expected. (found \"!\") "
                  u"[line: 1, column: 3]"},
        {u"a <?", u"1:1 ttNAME a | stop | Syntax Error: \">\" or \"=\" expected (found \"?\") "
                  u"[line: 1, column: 4]"},
        {u"a >?", u"1:1 ttNAME a | stop | Syntax Error: \"=\" expected. (found \"?\") "
                  u"[line: 1, column: 4]"},
        {u"1. ", u"stop | Syntax Error: Number expected (found \" \") [line: 1, column: 3]"},
        {u"1.", u"stop | Syntax Error: Number expected (found #D) [line: 1, column: 3]"},
        {u"1e ", u"stop | Syntax Error: Number or minus expected (found \" \") "
                 u"[line: 1, column: 3]"},
        {u"1e+ ", u"stop | Syntax Error: Number expected (found \" \") [line: 1, column: 4]"},
        {u"1e5x", u"stop | Syntax Error: Number expected (found \"x\") [line: 1, column: 4]"},
        {u"1.5x", u"stop | Syntax Error: Number or exponent expected (found \"x\") "
                  u"[line: 1, column: 4]"},
        {u"12x", u"stop | Syntax Error: Number, point or exponent expected (found \"x\") "
                 u"[line: 1, column: 3]"},
        {u"$G", u"stop | Syntax Error: Hexadecimal digit expected (found \"G\") "
                u"[line: 1, column: 2]"},
        {u"$FG", u"stop | Syntax Error: Hexadecimal digit expected (found \"G\") "
                 u"[line: 1, column: 3]"},
        {u"#$G", u"stop | Syntax Error: Hexadecimal digit expected (found \"G\") "
                 u"[line: 1, column: 3]"},
        {u"#$4G", u"stop | Syntax Error: Hexadecimal digit expected (found \"G\") "
                  u"[line: 1, column: 4]"},
        {u"#x", u"stop | Syntax Error: Number expected (found \"x\") [line: 1, column: 2]"},
        {u"#65x", u"stop | Syntax Error: Invalid character (found \"x\") [line: 1, column: 4]"},
        {u"#70000", u"stop | Syntax Error: Invalid char constant \"70000\" [line: 1, column: 7]"},
        {u"#99999999999999999999",
         u"stop | Syntax Error: Invalid char constant \"99999999999999999999\" "
         u"[line: 1, column: 22]"},
        {u"#$10000", u"stop | Syntax Error: Invalid char constant \"$10000\" "
                     u"[line: 1, column: 8]"},
        {u"'abc", u"stop | Syntax Error: End of string constant not found (end of line) "
                  u"(found #D) [line: 1, column: 5]"},
        {u"'abc\nx", u"stop | Syntax Error: End of string constant not found (end of line) "
                     u"(found #A) [line: 1, column: 5]"},
        {u"{$ x}", u"stop | Syntax Error: Name of compiler switch expected (found \" \") "
                   u"[line: 1, column: 3]"},
        {u"{$de!}", u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 5]"},
        {u"!", u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 1]"},
        {u"a!", u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 2]"},
        {u"a\x01", u"stop | Syntax Error: Invalid character (found #1) [line: 1, column: 2]"},
        {u"&1", u"stop | Syntax Error: Invalid character (found \"1\") [line: 1, column: 2]"},
        {u"&ab!", u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 4]"},
        {u"'a'x", u"stop | Syntax Error: Invalid character (found \"x\") [line: 1, column: 4]"},
        // The message shows the character itself, not its table slot.
        {u"'a'\u20ac", u"stop | Syntax Error: Invalid character (found \"\u20ac\") "
                       u"[line: 1, column: 4]"},
        {u"\"a\"x", u"stop | Syntax Error: Invalid character (found \"x\") [line: 1, column: 4]"},
        {u"#\"a\"x", u"stop | Syntax Error: Invalid character (found \"x\") [line: 1, column: 5]"},
        {u"99999999999999999999",
         u"stop | Syntax Error: Invalid integer constant \"99999999999999999999\" "
         u"[line: 1, column: 21]"},
        {u"$10000000000000000",
         u"stop | Syntax Error: Invalid hexadezimal constant \"$10000000000000000\" "
         u"[line: 1, column: 19]"},
        {u"1e999", u"stop | Syntax Error: Invalid floating point constant \"1e999\" "
                   u"[line: 1, column: 6]"},
        // U+0000 outside a literal is just an invalid character.
        {std::u16string(u"a\0", 2),
         u"stop | Syntax Error: Invalid character (found #0) [line: 1, column: 2]"},
        {std::u16string(u"\0", 1),
         u"stop | Syntax Error: Invalid character (found #0) [line: 1, column: 1]"},
        {std::u16string(4100, u' ') + u"!",
         u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 4101]"},
    });
    // The end of the text inside a "..." literal is listed, and reading ends.
    CheckLex({
        {u"a \"abc", u"1:1 ttNAME a | Syntax Error: End of string constant not found "
                     u"(end of file) [line: 2, column: 1]"},
        {u"#\"abc", u"Syntax Error: End of string constant not found (end of file) "
                    u"[line: 2, column: 1]"},
    });
}

// Literal bodies, comments and names are read a run of characters at a
// time; positions after such runs, across lines and at the character that
// ends a run badly must still be exact.
TEST(tvsPascalTokenizer, LongRunsKeepPositions)
{
    CheckLex({
        {u"{ one\r\ntwo three }\r\n  abcdefgh;", u"3:3 ttNAME abcdefgh | 3:11 ttSEMI ;"},
        {u"// aaaa\r\n// bb\r\nx", u"3:1 ttNAME x"},
        {u"'abc\u20acdef' + x", u"1:1 ttStrVal 'abc\u20acdef' | 1:11 ttPLUS + | 1:13 ttNAME x"},
        {u"(* a\nbb\nccc *)y", u"3:7 ttNAME y"},
        {u"abcdefgh!", u"stop | Syntax Error: Invalid character (found \"!\") [line: 1, column: 9]"},
        {u"x := 'abcdef\r\n", u"1:1 ttNAME x | 1:3 ttASSIGN := | stop | Syntax Error: End of "
                             u"string constant not found (end of line) (found #D) [line: 1, "
                             u"column: 13]"},
    });
}
