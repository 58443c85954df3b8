#include "tvsPascalTokenizer.h"

namespace {

using enum TTokenType;
using enum TTokenAction;

constexpr std::u16string_view InvalidCharMsg = u"Invalid character";
constexpr std::u16string_view SwitchNameExpectedMsg = u"Name of compiler switch expected";
constexpr std::u16string_view NumberExpectedMsg = u"Number expected";
constexpr std::u16string_view HexDigitExpectedMsg = u"Hexadecimal digit expected";
constexpr std::u16string_view NumberPointExponentMsg = u"Number, point or exponent expected";
constexpr std::u16string_view NumberExponentMsg = u"Number or exponent expected";
constexpr std::u16string_view NumberMinusMsg = u"Number or minus expected";
constexpr std::u16string_view StringEndOfLineMsg =
    u"End of string constant not found (end of line)";
constexpr std::u16string_view StringEndOfFileMsg =
    u"End of string constant not found (end of file)";
constexpr std::u16string_view EqualExpectedMsg = u"\"=\" expected.";
constexpr std::u16string_view GreaterOrEqualMsg = u"\">\" or \"=\" expected";

TTransition Error(std::u16string_view message)
{
    return ErrorTransition(std::u16string(message));
}

// Blanks separate tokens. A U+0000 is not one: inside the text it is an
// ordinary character, invalid outside string literals.
TCharSet Blank()
{
    return TCharSet(u"\t\n\r ");
}

TCharSet Letter()
{
    TCharSet set;
    set.AddRange(u'A', u'Z').AddRange(u'a', u'z').Add(u'_').Add(u'\x7F');
    return set;
}

TCharSet Digit()
{
    return TCharSet().AddRange(u'0', u'9');
}

TCharSet Hex()
{
    return Digit().AddRange(u'A', u'F').AddRange(u'a', u'f');
}

// What may follow a word or a number directly.
TCharSet WordEnd()
{
    return Blank().Add(TCharSet(u"%()*+,-./:;<=>@[]^{}"));
}

// What may follow an operator directly: blanks, words, numbers, literals and
// other symbols, but not ! & ? \ ` | ~ or control characters.
TCharSet OpEnd()
{
    TCharSet set = Blank();
    set.Add(TCharSet(u"\"#$%'()*+,-./:;<=>@[]^_{}")).Add(Digit()).Add(Letter());
    return set;
}

// Every type except these can never be an identifier; these are accepted
// wherever the compiler asks for a name.
// clang-format off
constexpr TTokenType NameTokens[] = {
    ttNone, ttNAME, ttSWITCH, ttLAZY, ttON, ttREAD, ttWRITE, ttMETHOD, ttIMPLEMENTS, ttINDEX,
    ttVIRTUAL, ttOVERRIDE, ttFINAL, ttABSTRACT, ttSEALED, ttSTATIC, ttDEPRECATED, ttEXTERNAL,
    ttFORWARD, ttENSURE, ttREQUIRE, ttINVARIANTS, ttOLD, ttTO, ttDEFAULT, ttPRIVATE,
    ttPROTECTED, ttPUBLIC, ttPUBLISHED, ttPROGRAM, ttREGISTER, ttPASCAL, ttCDECL, ttSTDCALL,
    ttFASTCALL,
};
// clang-format on

TTokenTypes ReservedSet()
{
    TTokenTypes set;
    for (int n = 0; n < TokenTypeCount; ++n)
        set.Include(static_cast<TTokenType>(n));
    for (TTokenType t : NameTokens)
        set.Exclude(t);
    return set;
}

} // namespace

TPascalTokenizerStateRules::TPascalTokenizerStateRules()
{
    TState* sStart = CreateState();
    TState* sBrace = CreateState();
    TState* sBraceBody = CreateState();
    TState* sSwitchStart = CreateState();
    TState* sSwitchName = CreateState();
    TState* sSlash = CreateState();
    TState* sLineComment = CreateState();
    TState* sParen = CreateState();
    TState* sParenComment = CreateState();
    TState* sParenCommentStar = CreateState();
    TState* sSlashComment = CreateState();
    TState* sSlashCommentStar = CreateState();
    TState* sCharCode = CreateState();
    TState* sCharCodeDec = CreateState();
    TState* sCharCodeHexStart = CreateState();
    TState* sCharCodeHex = CreateState();
    TState* sName = CreateState();
    TState* sEscape = CreateState();
    TState* sEscapedName = CreateState();
    TState* sInteger = CreateState();
    TState* sIntegerDot = CreateState();
    TState* sFraction = CreateState();
    TState* sExponent = CreateState();
    TState* sExponentSign = CreateState();
    TState* sExponentDigits = CreateState();
    TState* sDollar = CreateState();
    TState* sHexInteger = CreateState();
    TState* sQuoted = CreateState();
    TState* sQuotedQuote = CreateState();
    TState* sDQuoted = CreateState();
    TState* sDQuotedQuote = CreateState();
    TState* sMultiLine = CreateState();
    TState* sMultiLineQuote = CreateState();
    TState* sOperator = CreateState();
    TState* sGreater = CreateState();
    TState* sLess = CreateState();
    TState* sDot = CreateState();

    const TCharSet letterOrDigit = Letter().Add(Digit());
    const TCharSet literalGoesOn(u"'\"#");

    // Rules of each state in priority order: the first rule that covers a
    // character wins.
    AddRule(sStart, Blank(), SeekTo(sStart));
    AddRule(sStart, Letter(), StartConsumeTo(sName));
    AddRule(sStart, u"&", StartSeekTo(sEscape));
    AddRule(sStart, Digit(), StartConsumeTo(sInteger));
    AddRule(sStart, u"'", StartSeekTo(sQuoted));
    AddRule(sStart, u"\"", StartSeekTo(sDQuoted));
    AddRule(sStart, u"#", StartSeekTo(sCharCode));
    AddRule(sStart, u"%*+-:@^", StartConsumeTo(sOperator));
    AddRule(sStart, u"=", StartConsumeTo(sStart, true, taName));
    AddRule(sStart, u"),;[]}", StartConsumeTo(sStart, true, taName));
    AddRule(sStart, u"(", StartConsumeTo(sParen));
    AddRule(sStart, u"/", StartConsumeTo(sSlash));
    AddRule(sStart, u"<", StartConsumeTo(sLess));
    AddRule(sStart, u">", StartConsumeTo(sGreater));
    AddRule(sStart, u".", StartConsumeTo(sDot));
    AddRule(sStart, u"{", SeekTo(sBrace));
    AddRule(sStart, u"$", StartConsumeTo(sDollar));
    AddOtherwise(sStart, Error(InvalidCharMsg));

    AddRule(sBrace, u"}", SeekTo(sStart, taClear));
    AddRule(sBrace, u"$", SeekTo(sSwitchStart));
    AddOtherwise(sBrace, SeekTo(sBraceBody));

    AddRule(sBraceBody, u"}", SeekTo(sStart, taClear));
    AddOtherwise(sBraceBody, SeekTo(sBraceBody));

    AddRule(sSwitchStart, Letter(), StartConsumeTo(sSwitchName));
    AddOtherwise(sSwitchStart, Error(SwitchNameExpectedMsg));

    AddRule(sSwitchName, letterOrDigit, ConsumeTo(sSwitchName));
    AddRule(sSwitchName, WordEnd(), CheckTo(sStart, true, taSwitch));
    AddOtherwise(sSwitchName, Error(InvalidCharMsg));

    AddRule(sSlash, u"/", SeekTo(sLineComment));
    AddRule(sSlash, u"=", ConsumeTo(sStart, true, taName));
    AddRule(sSlash, u"*", ConsumeTo(sSlashComment));
    AddOtherwise(sSlash, CheckTo(sStart, true, taName));

    AddRule(sLineComment, u"\n", SeekTo(sStart, taClear));
    AddOtherwise(sLineComment, SeekTo(sLineComment));

    AddRule(sParen, u"*", SeekTo(sParenComment));
    AddOtherwise(sParen, CheckTo(sStart, true, taName));

    AddRule(sParenComment, u"*", SeekTo(sParenCommentStar));
    AddOtherwise(sParenComment, SeekTo(sParenComment));

    AddRule(sParenCommentStar, u")", SeekTo(sStart, taClear));
    AddOtherwise(sParenCommentStar, SeekTo(sParenComment));

    AddRule(sSlashComment, u"*", SeekTo(sSlashCommentStar));
    AddOtherwise(sSlashComment, SeekTo(sSlashComment));

    AddRule(sSlashCommentStar, u"/", SeekTo(sStart, taClear));
    AddOtherwise(sSlashCommentStar, SeekTo(sSlashComment));

    AddRule(sCharCode, Digit(), ConsumeTo(sCharCodeDec));
    AddRule(sCharCode, u"$", ConsumeTo(sCharCodeHexStart));
    AddRule(sCharCode, u"\"", SeekTo(sMultiLine));
    AddOtherwise(sCharCode, Error(NumberExpectedMsg));

    // Not final before a quote or "#": the literal goes on with the next piece.
    AddRule(sCharCodeDec, Digit(), ConsumeTo(sCharCodeDec));
    AddRule(sCharCodeDec, literalGoesOn, CheckTo(sStart, false, taCharCode));
    AddRule(sCharCodeDec, WordEnd(), CheckTo(sStart, true, taCharCode));
    AddOtherwise(sCharCodeDec, Error(InvalidCharMsg));

    AddRule(sCharCodeHexStart, Hex(), ConsumeTo(sCharCodeHex));
    AddOtherwise(sCharCodeHexStart, Error(HexDigitExpectedMsg));

    AddRule(sCharCodeHex, Hex(), ConsumeTo(sCharCodeHex));
    AddRule(sCharCodeHex, literalGoesOn, CheckTo(sStart, false, taCharHexCode));
    AddRule(sCharCodeHex, WordEnd(), CheckTo(sStart, true, taCharHexCode));
    AddOtherwise(sCharCodeHex, Error(HexDigitExpectedMsg));

    AddRule(sName, letterOrDigit, ConsumeTo(sName));
    AddRule(sName, WordEnd(), CheckTo(sStart, true, taName));
    AddOtherwise(sName, Error(InvalidCharMsg));

    AddRule(sEscape, Letter(), StartConsumeTo(sEscapedName));
    AddOtherwise(sEscape, Error(InvalidCharMsg));

    AddRule(sEscapedName, letterOrDigit, ConsumeTo(sEscapedName));
    AddRule(sEscapedName, WordEnd(), CheckTo(sStart, true, taNameEscaped));
    AddOtherwise(sEscapedName, Error(InvalidCharMsg));

    AddRule(sInteger, Digit(), ConsumeTo(sInteger));
    AddRule(sInteger, u".", ConsumeTo(sIntegerDot));
    AddRule(sInteger, u"Ee", ConsumeTo(sExponent));
    AddRule(sInteger, WordEnd(), CheckTo(sStart, true, taInteger));
    AddOtherwise(sInteger, Error(NumberPointExponentMsg));

    // "1..5": the number ends before the second dot, which starts the "..".
    AddRule(sIntegerDot, u".", CheckTo(sDot, true, taInteger));
    AddRule(sIntegerDot, Digit(), ConsumeTo(sFraction));
    AddOtherwise(sIntegerDot, Error(NumberExpectedMsg));

    AddRule(sFraction, Digit(), ConsumeTo(sFraction));
    AddRule(sFraction, u"Ee", ConsumeTo(sExponent));
    AddRule(sFraction, WordEnd(), CheckTo(sStart, true, taFloat));
    AddOtherwise(sFraction, Error(NumberExponentMsg));

    AddRule(sExponent, u"+-", ConsumeTo(sExponentSign));
    AddRule(sExponent, Digit(), ConsumeTo(sExponentDigits));
    AddOtherwise(sExponent, Error(NumberMinusMsg));

    AddRule(sExponentSign, Digit(), ConsumeTo(sExponentDigits));
    AddOtherwise(sExponentSign, Error(NumberExpectedMsg));

    AddRule(sExponentDigits, Digit(), ConsumeTo(sExponentDigits));
    AddRule(sExponentDigits, WordEnd(), CheckTo(sStart, true, taFloat));
    AddOtherwise(sExponentDigits, Error(NumberExpectedMsg));

    AddRule(sDollar, Hex(), ConsumeTo(sHexInteger));
    AddRule(sDollar, u"(", CheckTo(sStart, true, taName));
    AddOtherwise(sDollar, Error(HexDigitExpectedMsg));

    AddRule(sHexInteger, Hex(), ConsumeTo(sHexInteger));
    AddRule(sHexInteger, WordEnd(), CheckTo(sStart, true, taHexInteger));
    AddOtherwise(sHexInteger, Error(HexDigitExpectedMsg));

    AddRule(sQuoted, u"'", SeekTo(sQuotedQuote));
    AddRule(sQuoted, u"\n\r", Error(StringEndOfLineMsg));
    AddOtherwise(sQuoted, ConsumeTo(sQuoted));

    AddRule(sQuotedQuote, u"'", ConsumeTo(sQuoted));
    AddRule(sQuotedQuote, u"#", CheckTo(sStart, false, taString));
    AddRule(sQuotedQuote, WordEnd(), CheckTo(sStart, true, taString));
    AddOtherwise(sQuotedQuote, Error(InvalidCharMsg));

    // "..." literals may span lines; only the end of the text stops them.
    AddRule(sDQuoted, u"\"", SeekTo(sDQuotedQuote));
    AddOtherwise(sDQuoted, ConsumeTo(sDQuoted));
    AddEndOfText(sDQuoted, Error(StringEndOfFileMsg));

    AddRule(sDQuotedQuote, u"\"", ConsumeTo(sDQuoted));
    AddRule(sDQuotedQuote, u"#", CheckTo(sStart, false, taString));
    AddRule(sDQuotedQuote, WordEnd(), CheckTo(sStart, true, taString));
    AddOtherwise(sDQuotedQuote, Error(InvalidCharMsg));

    AddRule(sMultiLine, u"\"", SeekTo(sMultiLineQuote));
    AddOtherwise(sMultiLine, ConsumeTo(sMultiLine));
    AddEndOfText(sMultiLine, Error(StringEndOfFileMsg));

    AddRule(sMultiLineQuote, u"\"", ConsumeTo(sMultiLine));
    AddRule(sMultiLineQuote, u"#", CheckTo(sStart, false, taMultiLineString));
    AddRule(sMultiLineQuote, WordEnd(), CheckTo(sStart, true, taMultiLineString));
    AddOtherwise(sMultiLineQuote, Error(InvalidCharMsg));

    AddRule(sOperator, u"=", ConsumeTo(sStart, true, taName));
    AddRule(sOperator, OpEnd(), CheckTo(sStart, true, taName));
    AddOtherwise(sOperator, Error(EqualExpectedMsg));

    AddRule(sGreater, u"=>", ConsumeTo(sStart, true, taName));
    AddRule(sGreater, OpEnd(), CheckTo(sStart, true, taName));
    AddOtherwise(sGreater, Error(EqualExpectedMsg));

    AddRule(sLess, u"=><", ConsumeTo(sStart, true, taName));
    AddRule(sLess, OpEnd(), CheckTo(sStart, true, taName));
    AddOtherwise(sLess, Error(GreaterOrEqualMsg));

    AddRule(sDot, u".", ConsumeTo(sStart, true, taDotDot));
    AddOtherwise(sDot, CheckTo(sStart, true, taName));

    FinishStates();
    SetReservedTokens(ReservedSet());
}

const TPascalTokenizerStateRules& TPascalTokenizerStateRules::Shared()
{
    // Building the table costs more than tokenizing a small page, and pages
    // are compiled on several threads at once: a function-local static is
    // built exactly once, and every thread sees it complete.
    static const TPascalTokenizerStateRules rules;
    return rules;
}
