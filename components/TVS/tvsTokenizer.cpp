#include "tvsTokenizer.h"

#include <cassert>
#include <charconv>
#include <string>

#include "tvsUtils.h"

namespace {

using enum TTokenType;

constexpr std::u16string_view FoundCodeFormat = u"%s (found #%x)";
constexpr std::u16string_view FoundCharFormat = u"%s (found \"%s\")";
constexpr std::u16string_view InvalidCharConstMsg = u"Invalid char constant \"%s\"";
constexpr std::u16string_view InvalidHexConstMsg = u"Invalid hexadezimal constant \"%s\"";
constexpr std::u16string_view InvalidIntegerConstMsg = u"Invalid integer constant \"%s\"";
constexpr std::u16string_view InvalidFloatConstMsg = u"Invalid floating point constant \"%s\"";

struct TTokenTypeInfo {
    std::u16string_view Name;
    std::u16string_view Display;
};

// One row per token type, in the order of TTokenType.
// clang-format off
constexpr TTokenTypeInfo TokenTypeInfos[] = {
    {u"ttNone", u""}, {u"ttStrVal", u"StrVal"}, {u"ttIntVal", u"IntVal"},
    {u"ttFloatVal", u"FloatVal"}, {u"ttNAME", u"NAME"}, {u"ttSWITCH", u"SWITCH"},
    {u"ttLAZY", u"LAZY"}, {u"ttVAR", u"VAR"}, {u"ttCONST", u"CONST"},
    {u"ttRESOURCESTRING", u"RESOURCESTRING"}, {u"ttTYPE", u"TYPE"}, {u"ttRECORD", u"RECORD"},
    {u"ttARRAY", u"ARRAY"}, {u"ttSET", u"SET"}, {u"ttDOT", u"."}, {u"ttDOTDOT", u".."},
    {u"ttOF", u"OF"},
    {u"ttTRY", u"TRY"}, {u"ttEXCEPT", u"EXCEPT"}, {u"ttRAISE", u"RAISE"},
    {u"ttFINALLY", u"FINALLY"}, {u"ttON", u"ON"}, {u"ttREAD", u"READ"}, {u"ttWRITE", u"WRITE"},
    {u"ttPROPERTY", u"PROPERTY"}, {u"ttFUNCTION", u"FUNCTION"}, {u"ttPROCEDURE", u"PROCEDURE"},
    {u"ttCONSTRUCTOR", u"CONSTRUCTOR"}, {u"ttDESTRUCTOR", u"DESTRUCTOR"},
    {u"ttMETHOD", u"METHOD"}, {u"ttOPERATOR", u"OPERATOR"}, {u"ttCLASS", u"CLASS"},
    {u"ttNIL", u"NIL"}, {u"ttIS", u"IS"}, {u"ttAS", u"AS"}, {u"ttIMPLEMENTS", u"IMPLEMENTS"},
    {u"ttINDEX", u"INDEX"}, {u"ttOBJECT", u"OBJECT"}, {u"ttVIRTUAL", u"VIRTUAL"},
    {u"ttOVERRIDE", u"OVERRIDE"}, {u"ttREINTRODUCE", u"REINTRODUCE"},
    {u"ttINHERITED", u"INHERITED"}, {u"ttFINAL", u"FINAL"}, {u"ttNEW", u"NEW"},
    {u"ttABSTRACT", u"ABSTRACT"}, {u"ttSEALED", u"SEALED"}, {u"ttSTATIC", u"STATIC"},
    {u"ttDEPRECATED", u"DEPRECATED"}, {u"ttOVERLOAD", u"OVERLOAD"},
    {u"ttEXTERNAL", u"EXTERNAL"}, {u"ttFORWARD", u"FORWARD"},
    {u"ttIN", u"IN"}, {u"ttENSURE", u"ENSURE"}, {u"ttREQUIRE", u"REQUIRE"},
    {u"ttINVARIANTS", u"INVARIANTS"}, {u"ttOLD", u"OLD"}, {u"ttINTERFACE", u"INTERFACE"},
    {u"ttIMPLEMENTATION", u"IMPLEMENTATION"}, {u"ttBEGIN", u"BEGIN"}, {u"ttEND", u"END"},
    {u"ttBREAK", u"BREAK"}, {u"ttCONTINUE", u"CONTINUE"}, {u"ttEXIT", u"EXIT"},
    {u"ttIF", u"IF"}, {u"ttTHEN", u"THEN"}, {u"ttELSE", u"ELSE"}, {u"ttWHILE", u"WHILE"},
    {u"ttREPEAT", u"REPEAT"}, {u"ttUNTIL", u"UNTIL"}, {u"ttFOR", u"FOR"}, {u"ttTO", u"TO"},
    {u"ttDOWNTO", u"DOWNTO"}, {u"ttDO", u"DO"}, {u"ttCASE", u"CASE"}, {u"ttTRUE", u"TRUE"},
    {u"ttFALSE", u"FALSE"}, {u"ttAND", u"AND"}, {u"ttOR", u"OR"}, {u"ttXOR", u"XOR"},
    {u"ttIMPLIES", u"IMPLIES"}, {u"ttDIV", u"DIV"}, {u"ttMOD", u"MOD"}, {u"ttNOT", u"NOT"},
    {u"ttSHL", u"SHL"}, {u"ttSHR", u"SHR"}, {u"ttSAR", u"SAR"},
    {u"ttPLUS", u"+"}, {u"ttMINUS", u"-"}, {u"ttTIMES", u"*"}, {u"ttDIVIDE", u"/"},
    {u"ttPERCENT", u"%"}, {u"ttCARET", u"^"}, {u"ttAT", u"@"}, {u"ttDOLLAR", u"$"},
    {u"ttEQ", u"="}, {u"ttNOTEQ", u"<>"}, {u"ttGTR", u">"}, {u"ttGTREQ", u">="},
    {u"ttLESS", u"<"}, {u"ttLESSEQ", u"<="}, {u"ttLESSLESS", u"<<"}, {u"ttGTRGTR", u">>"},
    {u"ttSEMI", u";"}, {u"ttCOMMA", u","}, {u"ttCOLON", u":"}, {u"ttASSIGN", u":="},
    {u"ttPLUS_ASSIGN", u"+="}, {u"ttMINUS_ASSIGN", u"-="}, {u"ttTIMES_ASSIGN", u"*="},
    {u"ttDIVIDE_ASSIGN", u"/="}, {u"ttPERCENT_ASSIGN", u"%="}, {u"ttCARET_ASSIGN", u"^="},
    {u"ttAT_ASSIGN", u"@="}, {u"ttBLEFT", u"("}, {u"ttBRIGHT", u")"}, {u"ttALEFT", u"["},
    {u"ttARIGHT", u"]"}, {u"ttCRIGHT", u"}"},
    {u"ttDEFAULT", u"DEFAULT"}, {u"ttUSES", u"USES"}, {u"ttUNIT", u"UNIT"},
    {u"ttPRIVATE", u"PRIVATE"}, {u"ttPROTECTED", u"PROTECTED"}, {u"ttPUBLIC", u"PUBLIC"},
    {u"ttPUBLISHED", u"PUBLISHED"}, {u"ttPROGRAM", u"PROGRAM"}, {u"ttREGISTER", u"REGISTER"},
    {u"ttPASCAL", u"PASCAL"}, {u"ttCDECL", u"CDECL"}, {u"ttSTDCALL", u"STDCALL"},
    {u"ttFASTCALL", u"FASTCALL"},
};
// clang-format on
static_assert(std::size(TokenTypeInfos) == TokenTypeCount);

// Types whose word is looked up as a keyword. "set" and "fastcall" are left
// out on purpose: scripts use them as plain names.
bool IsReservedWordType(TTokenType t)
{
    const auto n = static_cast<int>(t);
    if (n >= static_cast<int>(ttLAZY) && n <= static_cast<int>(ttSAR))
        return t != ttSET && t != ttDOT && t != ttDOTDOT;
    return n >= static_cast<int>(ttDEFAULT) && n <= static_cast<int>(ttSTDCALL);
}

constexpr size_t MinWordLength = 2;
constexpr size_t MaxWordLength = 14;
constexpr int WordFirstLetters = 'X' - 'A' + 1;

char16_t UpperAscii(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

// Reserved words by length and first letter, so a lookup compares only the
// few words that can match.
class TReservedWords final {
public:
    TReservedWords()
    {
        for (int n = 0; n < TokenTypeCount; ++n) {
            const auto t = static_cast<TTokenType>(n);
            if (!IsReservedWordType(t))
                continue;
            const std::u16string_view word = TokenTypeInfos[n].Name.substr(2);
            FCells[word.size()][word[0] - u'A'].push_back({word, t});
        }
    }

    TTokenType Find(std::u16string_view word) const
    {
        if (word.size() < MinWordLength || word.size() > MaxWordLength)
            return ttNAME;
        const char16_t first = UpperAscii(word[0]);
        if (first < u'A' || first > u'X')
            return ttNAME;
        for (const TEntry& entry : FCells[word.size()][first - u'A']) {
            size_t i = 1;
            while (i < word.size() && UpperAscii(word[i]) == entry.Word[i])
                ++i;
            if (i == word.size())
                return entry.Type;
        }
        return ttNAME;
    }

private:
    struct TEntry {
        std::u16string_view Word;
        TTokenType Type;
    };
    std::vector<TEntry> FCells[MaxWordLength + 1][WordFirstLetters];
};

const TReservedWords& ReservedWords()
{
    static const TReservedWords words;
    return words;
}

// Symbols by their first character and length; ttNone when the text is not
// a symbol.
TTokenType SymbolType(std::u16string_view text)
{
    if (text.empty() || text.size() > 2)
        return ttNone;
    const bool two = text.size() == 2;
    const char16_t second = two ? text[1] : u'\0';
    // clang-format off
    switch (text[0]) {
    case u'$': return two ? ttNone : ttDOLLAR;
    case u'%': return two ? (second == u'=' ? ttPERCENT_ASSIGN : ttNone) : ttPERCENT;
    case u'(': return two ? ttNone : ttBLEFT;
    case u')': return two ? ttNone : ttBRIGHT;
    case u'*': return two ? (second == u'=' ? ttTIMES_ASSIGN : ttNone) : ttTIMES;
    case u'+': return two ? (second == u'=' ? ttPLUS_ASSIGN : ttNone) : ttPLUS;
    case u',': return two ? ttNone : ttCOMMA;
    case u'-': return two ? (second == u'=' ? ttMINUS_ASSIGN : ttNone) : ttMINUS;
    case u'.': return two ? ttNone : ttDOT;
    case u'/': return two ? (second == u'=' ? ttDIVIDE_ASSIGN : ttNone) : ttDIVIDE;
    case u':': return two ? (second == u'=' ? ttASSIGN : ttNone) : ttCOLON;
    case u';': return two ? ttNone : ttSEMI;
    case u'<':
        if (!two)
            return ttLESS;
        return second == u'<' ? ttLESSLESS : second == u'=' ? ttLESSEQ
                                           : second == u'>' ? ttNOTEQ : ttNone;
    case u'=': return two ? ttNone : ttEQ;
    case u'>':
        if (!two)
            return ttGTR;
        return second == u'=' ? ttGTREQ : second == u'>' ? ttGTRGTR : ttNone;
    case u'@': return two ? (second == u'=' ? ttAT_ASSIGN : ttNone) : ttAT;
    case u'[': return two ? ttNone : ttALEFT;
    case u']': return two ? ttNone : ttARIGHT;
    case u'^': return two ? (second == u'=' ? ttCARET_ASSIGN : ttNone) : ttCARET;
    case u'}': return two ? ttNone : ttCRIGHT;
    default: return ttNone;
    }
    // clang-format on
}

// The buffer of number actions holds ASCII only (the states let nothing else
// in), so it narrows losslessly for the standard parsers.
std::string Narrow(std::u16string_view text)
{
    std::string result(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        result[i] = static_cast<char>(text[i]);
    return result;
}

// Decimal digits as a 64-bit integer; false on overflow.
bool ParseDecimal(std::u16string_view digits, int64_t& value)
{
    const std::string s = Narrow(digits);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 10);
    return ec == std::errc() && end == s.data() + s.size();
}

// Hexadecimal digits as 64 bits: up to 16 significant digits, so $FFFFFFFFFFFFFFFF
// reads as -1 the way a 64-bit register holds it.
bool ParseHex(std::u16string_view digits, int64_t& value)
{
    if (digits.empty())
        return false;
    uint64_t result = 0;
    int significant = 0;
    for (char16_t c : digits) {
        unsigned d = 0;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return false;
        if (result != 0 || d != 0)
            ++significant;
        if (significant > 16)
            return false;
        result = (result << 4) | d;
    }
    value = static_cast<int64_t>(result);
    return true;
}

} // namespace

std::u16string_view TokenDisplayString(TTokenType t)
{
    return TokenTypeInfos[static_cast<size_t>(t)].Display;
}

std::u16string_view TokenTypeName(TTokenType t)
{
    return TokenTypeInfos[static_cast<size_t>(t)].Name;
}

std::u16string TokenDebugText(const TTokenRecord& token)
{
    std::u16string text =
        IntegerText(token.ScriptPos.Line) + u":" + IntegerText(token.ScriptPos.Col) + u" ";
    text += TokenTypeName(token.TokenType);
    switch (token.TokenType) {
    case ttStrVal: {
        text += u' ';
        bool quoted = false;
        for (char16_t c : token.Text) {
            const bool plain = c >= 32 && c != 127;
            if (plain != quoted) {
                text += u'\'';
                quoted = plain;
            }
            if (plain) {
                text += c;
                if (c == u'\'')
                    text += c;
            } else {
                text += u'#' + IntegerText(c);
            }
        }
        if (quoted)
            text += u'\'';
        if (token.Text.empty())
            text += u"''";
        break;
    }
    case ttIntVal:
        text += u' ' + IntegerText(token.IntValue);
        break;
    case ttFloatVal: {
        char digits[32];
        const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, token.FloatValue);
        text += u' ';
        for (const char* p = digits; ec == std::errc() && p != end; ++p)
            text += static_cast<char16_t>(*p);
        break;
    }
    default:
        if (!token.Text.empty())
            text += u' ' + token.Text;
        break;
    }
    return text;
}

// ---------------------------------------------------------------------------
// Conditional symbols

void TConditionalSymbols::Add(std::u16string_view name)
{
    if (!Contains(name))
        FNames.emplace_back(name);
}

void TConditionalSymbols::Remove(std::u16string_view name)
{
    std::erase_if(FNames, [name](const std::u16string& n) { return FastSameText(n, name); });
}

bool TConditionalSymbols::Contains(std::u16string_view name) const
{
    for (const std::u16string& n : FNames)
        if (FastSameText(n, name))
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Rules

TTransition CheckTo(TState* next, bool isFinal, TTokenAction action)
{
    return {TTransitionKind::tkCheck, next, false, isFinal, action, {}};
}

TTransition SeekTo(TState* next, TTokenAction action)
{
    return {TTransitionKind::tkSeek, next, false, false, action, {}};
}

TTransition ConsumeTo(TState* next, bool isFinal, TTokenAction action)
{
    return {TTransitionKind::tkConsume, next, false, isFinal, action, {}};
}

TTransition StartConsumeTo(TState* next, bool isFinal, TTokenAction action)
{
    return {TTransitionKind::tkConsume, next, true, isFinal, action, {}};
}

TTransition StartSeekTo(TState* next)
{
    return {TTransitionKind::tkSeek, next, true, false, TTokenAction::taNone, {}};
}

TTransition ErrorTransition(std::u16string message)
{
    return {TTransitionKind::tkError, nullptr,           false, false,
            TTokenAction::taNone,     std::move(message)};
}

TTokenizerRules::TTokenizerRules()
{
    FEndOfText = Own(ErrorTransition({}));
}

TTokenizerRules::~TTokenizerRules() = default;

const TTransition* TTokenizerRules::Own(TTransition transition)
{
    FTransitions.push_back(std::make_unique<TTransition>(std::move(transition)));
    return FTransitions.back().get();
}

TState* TTokenizerRules::CreateState()
{
    FStates.push_back(std::make_unique<TState>());
    if (FStartState == nullptr)
        FStartState = FStates.back().get();
    return FStates.back().get();
}

void TTokenizerRules::AddRule(TState* state, const TCharSet& chars, TTransition transition)
{
    const TTransition* owned = Own(std::move(transition));
    for (size_t slot = 0; slot < 128; ++slot)
        if (chars.Contains(slot) && state->FSlots[slot] == nullptr)
            state->FSlots[slot] = owned;
}

void TTokenizerRules::AddOtherwise(TState* state, TTransition transition)
{
    const TTransition* owned = Own(std::move(transition));
    for (size_t slot = 0; slot < 128; ++slot)
        if (state->FSlots[slot] == nullptr)
            state->FSlots[slot] = owned;
}

void TTokenizerRules::AddEndOfText(TState* state, TTransition transition)
{
    state->FSlots[TState::EndOfTextSlot] = Own(std::move(transition));
}

void TTokenizerRules::FinishStates()
{
    for (const auto& state : FStates) {
        if (state->FSlots[TState::EndOfTextSlot] == nullptr)
            state->FSlots[TState::EndOfTextSlot] = FEndOfText;
        for ([[maybe_unused]] const TTransition*& slot : state->FSlots)
            assert(slot != nullptr && "every state needs an otherwise rule");
    }
}

std::unique_ptr<TTokenizer> TTokenizerRules::CreateTokenizer(TtvsMessageList& msgs) const
{
    return std::make_unique<TTokenizer>(*this, msgs);
}

// ---------------------------------------------------------------------------
// Tokenizer

TTokenizer::TTokenizer(const TTokenizerRules& rules, TtvsMessageList& msgs)
    : FRules(rules)
    , FMsgs(msgs)
    , FNextStart(rules.StartState())
{
    FPool.reserve(8);
}

TTokenizer::~TTokenizer() = default;

void TTokenizer::BeginSource(const TSourceFile* file)
{
    if (FSource.SourceFile != nullptr)
        FIncludeStack.push_back(std::move(FSource));
    FSource = {};
    FSource.SourceFile = file;
    FSource.Text = file->Code();
    FSource.Text += u"\r\n";
    FSource.Index = 0;
    FSource.DefaultPos = TScriptPos(file, 0, 0);
    FSource.HotPos = FSource.DefaultPos;
    FSource.CurPos = TScriptPos(file, 1, 1);
}

void TTokenizer::EndSource()
{
    if (!FIncludeStack.empty()) {
        if (FOnEndSourceFile)
            FOnEndSourceFile(FSource.SourceFile);
        FSource = std::move(FIncludeStack.back());
        FIncludeStack.pop_back();
        return;
    }
    assert(FSource.SourceFile != nullptr && "EndSource without a source");
    FSource = {};
}

TTokenizer::TTokenPtr TTokenizer::AllocToken()
{
    if (FPool.empty())
        return std::make_unique<TTokenRecord>();
    TTokenPtr token = std::move(FPool.back());
    FPool.pop_back();
    return token;
}

void TTokenizer::ReleaseToken(TTokenPtr token)
{
    if (!token)
        return;
    token->Text.clear();
    token->ScriptPos = {};
    token->FloatValue = 0;
    token->IntValue = 0;
    token->TokenType = ttNone;
    FPool.push_back(std::move(token));
}

void TTokenizer::SetHotPosLineCol(const TTokenRecord& token)
{
    FSource.HotPos.Line = token.ScriptPos.Line;
    FSource.HotPos.Col = token.ScriptPos.Col;
}

void TTokenizer::Fail(TTokenPtr token, std::u16string text)
{
    ReleaseToken(std::move(token));
    FBuffer.clear();
    FMsgs.AbortWithSyntaxError(FSource.CurPos, std::move(text));
}

void TTokenizer::Load()
{
    while (!FToken) {
        if (FNextToken) {
            FToken = std::move(FNextToken);
            return;
        }
        TTokenPtr token = ReadToken();
        if (!token)
            return;
        // A switch callback that read ahead must not leave a token behind:
        // it would be lost under the one just read.
        assert(!FToken && "a switch callback left a current token");
        FToken = std::move(token);
        if (FToken->TokenType == ttSWITCH && FSwitchProcessor) {
            // The processor reads the rest of the switch through this
            // tokenizer; what it leaves current is the result, unless the
            // switch is to leave no token.
            const std::u16string name = FToken->Text;
            if (FSwitchProcessor(name))
                Discard();
        }
    }
}

TTokenizer::TTokenPtr TTokenizer::ReadToken()
{
    TTokenPtr token = AllocToken();
    token->ScriptPos = FSource.DefaultPos;
    FBuffer.clear();
    const TState* state = FNextStart;
    if (FSource.SourceFile == nullptr) {
        ReleaseToken(std::move(token));
        return nullptr;
    }
    for (;;) {
        const std::u16string& text = FSource.Text;
        const bool atEnd = FSource.Index >= text.size();
        const char16_t c = atEnd ? u'\0' : text[FSource.Index];
        const size_t slot = atEnd ? TState::EndOfTextSlot : (c > 127 ? 127 : c);
        const TTransition& trns = *state->Transition(slot);

        if (trns.Kind == TTransitionKind::tkError) {
            if (!atEnd) {
                if (c < 32)
                    Fail(std::move(token),
                         FormatText(FoundCodeFormat, {trns.ErrorMessage, static_cast<int>(c)}));
                Fail(std::move(token),
                     FormatText(FoundCharFormat, {trns.ErrorMessage, std::u16string_view(&c, 1)}));
            }
            if (!trns.ErrorMessage.empty())
                FMsgs.AddSyntaxError(FSource.CurPos, trns.ErrorMessage);
            if (FIncludeStack.empty()) {
                ReleaseToken(std::move(token));
                return nullptr;
            }
            EndSource();
            continue;
        }

        if (trns.IsStart && token->ScriptPos.Line == 0 && token->ScriptPos.Col == 0)
            token->ScriptPos = FSource.CurPos;
        // The body of a literal, comment or name stays in its state one
        // character after another: take the whole run of characters with
        // this same transition at once. Line breaks take the step below,
        // which counts lines.
        if (trns.NextState == state && trns.Action == TTokenAction::taNone && !trns.IsFinal
            && trns.Moves() && !atEnd && c != u'\n') {
            const size_t first = FSource.Index;
            size_t last = first + 1;
            while (last < text.size()) {
                const char16_t d = text[last];
                if (d == u'\n' || state->Transition(d > 127 ? 127 : d) != &trns)
                    break;
                ++last;
            }
            if (trns.Kind == TTransitionKind::tkConsume)
                FBuffer.append(text, first, last - first);
            FSource.Index = last;
            FSource.CurPos.Col += static_cast<int32_t>(last - first);
            continue;
        }
        if (trns.Kind == TTransitionKind::tkConsume)
            FBuffer.push_back(c);
        if (trns.Moves()) {
            ++FSource.Index;
            if (c == u'\n') {
                ++FSource.CurPos.Line;
                FSource.CurPos.Col = 1;
            } else {
                ++FSource.CurPos.Col;
            }
        }

        if (trns.Action != TTokenAction::taNone) {
            bool keepGoing = true;
            try {
                keepGoing = RunAction(trns.Action, *token);
            } catch (...) {
                // The token goes back to the pool before the error unwinds.
                ReleaseToken(std::move(token));
                FBuffer.clear();
                throw;
            }
            if (!keepGoing) {
                // The switch handler dealt with the switch: read on from the
                // start state with the same token record.
                token->TokenType = ttNone;
                token->Text.clear();
                token->ScriptPos = FSource.DefaultPos;
                FBuffer.clear();
                state = FRules.StartState();
                continue;
            }
        }

        if (trns.IsFinal) {
            FNextStart = trns.NextState;
            return token;
        }
        state = trns.NextState;
    }
}

bool TTokenizer::RunAction(TTokenAction action, TTokenRecord& token)
{
    switch (action) {
    case TTokenAction::taNone:
        break;
    case TTokenAction::taClear:
        token.ScriptPos = FSource.DefaultPos;
        break;
    case TTokenAction::taName:
        ActionName(token);
        break;
    case TTokenAction::taNameEscaped:
        token.TokenType = ttNAME;
        token.Text.swap(FBuffer);
        break;
    case TTokenAction::taHexInteger:
        ActionHexInteger(token);
        break;
    case TTokenAction::taInteger:
        ActionInteger(token);
        break;
    case TTokenAction::taFloat:
        ActionFloat(token);
        break;
    case TTokenAction::taCharCode:
        ActionCharCode(token, false);
        break;
    case TTokenAction::taCharHexCode:
        ActionCharCode(token, true);
        break;
    case TTokenAction::taString:
        token.Text += FBuffer;
        token.TokenType = ttStrVal;
        break;
    case TTokenAction::taMultiLineString:
        ActionMultiLineString(token);
        break;
    case TTokenAction::taSwitch: {
        FSource.HotPos = token.ScriptPos;
        token.Text = FBuffer;
        for (char16_t& ch : token.Text)
            ch = UpperAscii(ch);
        FBuffer.clear();
        // Without a handler every switch is kept as a token (tools read them).
        if (FSwitchHandler && !FSwitchHandler(token.Text))
            return false;
        token.TokenType = ttSWITCH;
        break;
    }
    case TTokenAction::taDotDot:
        token.TokenType = ttDOTDOT;
        token.Text = u"..";
        // After "1." the first dot went with the number: the token then
        // starts at the second dot.
        if (token.ScriptPos.Line == 0 && token.ScriptPos.Col == 0) {
            token.ScriptPos = FSource.CurPos;
            --token.ScriptPos.Col;
        }
        break;
    }
    FBuffer.clear();
    return true;
}

void TTokenizer::ActionName(TTokenRecord& token)
{
    TTokenType t = SymbolType(FBuffer);
    if (t == ttNone)
        t = ReservedWords().Find(FBuffer);
    token.TokenType = t;
    // Swapping keeps both strings' storage in use: no allocation per token.
    token.Text.swap(FBuffer);
}

void TTokenizer::ActionHexInteger(TTokenRecord& token)
{
    int64_t value = 0;
    if (FBuffer.empty() || FBuffer[0] != u'$'
        || !ParseHex(std::u16string_view(FBuffer).substr(1), value))
        FMsgs.AbortWithSyntaxError(FSource.CurPos, InvalidHexConstMsg, {FBuffer});
    token.IntValue = value;
    token.TokenType = ttIntVal;
}

void TTokenizer::ActionInteger(TTokenRecord& token)
{
    // The "1" of "1..5" arrives with its dot.
    if (!FBuffer.empty() && FBuffer.back() == u'.')
        FBuffer.pop_back();
    int64_t value = 0;
    if (FBuffer.size() == 1)
        value = FBuffer[0] - u'0';
    else if (FBuffer.size() == 2)
        value = (FBuffer[0] - u'0') * 10 + (FBuffer[1] - u'0');
    else if (!ParseDecimal(FBuffer, value))
        FMsgs.AbortWithSyntaxError(FSource.CurPos, InvalidIntegerConstMsg, {FBuffer});
    token.IntValue = value;
    token.TokenType = ttIntVal;
}

void TTokenizer::ActionFloat(TTokenRecord& token)
{
    // std::from_chars ignores the host locale: "." is always the separator.
    const std::string s = Narrow(FBuffer);
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    bool ok = end == s.data() + s.size();
    if (ec == std::errc::result_out_of_range) {
        // A value too small for a double reads as zero, as the host's own
        // conversion does; one too large is an error.
        const size_t e = s.find_first_of("eE");
        ok = ok && e != std::string::npos && s.find('-', e) != std::string::npos;
        value = 0;
    } else if (ec != std::errc()) {
        ok = false;
    }
    if (!ok)
        FMsgs.AbortWithSyntaxError(FSource.CurPos, InvalidFloatConstMsg, {FBuffer});
    token.FloatValue = value;
    token.TokenType = ttFloatVal;
}

void TTokenizer::ActionCharCode(TTokenRecord& token, bool hex)
{
    int64_t value = 0;
    const bool ok = hex ? !FBuffer.empty() && FBuffer[0] == u'$'
                              && ParseHex(std::u16string_view(FBuffer).substr(1), value)
                        : ParseDecimal(FBuffer, value);
    if (!ok || value < 0 || value > 0xFFFF)
        FMsgs.AbortWithSyntaxError(FSource.CurPos, InvalidCharConstMsg, {FBuffer});
    token.Text.push_back(static_cast<char16_t>(value));
    token.TokenType = ttStrVal;
}

void TTokenizer::ActionMultiLineString(TTokenRecord& token)
{
    const std::u16string_view s = FBuffer;
    // The smallest indentation (leading spaces) of the lines ended by a line
    // feed that hold anything besides spaces and CR.
    size_t minIndent = std::u16string_view::npos;
    size_t lineStart = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != u'\n')
            continue;
        // Spaces count as indentation; a CR is passed over without ending the
        // run; anything else ends it and makes the line count.
        size_t indent = 0;
        bool counts = false;
        for (size_t j = lineStart; j < i && !counts; ++j) {
            if (s[j] == u' ')
                ++indent;
            else if (s[j] != u'\r')
                counts = true;
        }
        if (counts && indent < minIndent)
            minIndent = indent;
        lineStart = i + 1;
    }

    size_t pos = 0;
    const size_t firstLf = s.find(u'\n');
    if (firstLf != std::u16string_view::npos) {
        bool blank = true;
        for (size_t j = 0; j < firstLf; ++j)
            if (s[j] != u' ' && s[j] != u'\r')
                blank = false;
        if (blank)
            pos = firstLf + 1;
    }

    std::u16string result;
    result.reserve(s.size() - pos);
    size_t skip = minIndent; // spaces still to drop at the start of this line
    for (; pos < s.size(); ++pos) {
        const char16_t c = s[pos];
        if (c == u' ' && skip > 0) {
            --skip;
            continue;
        }
        skip = 0;
        result.push_back(c);
        if (c == u'\n')
            skip = minIndent;
    }
    token.Text += result;
    token.TokenType = ttStrVal;
}

// ---------------------------------------------------------------------------
// Queries

bool TTokenizer::HasToken()
{
    if (!FToken) {
        Load();
        if (FToken)
            SetHotPosLineCol(*FToken);
    }
    return FToken != nullptr;
}

bool TTokenizer::IsToken(TTokenType t)
{
    Load();
    if (!FToken)
        return false;
    SetHotPosLineCol(*FToken);
    return FToken->TokenType == t;
}

TTokenType TTokenizer::IsAnyToken(const TTokenTypes& set)
{
    Load();
    if (!FToken)
        return ttNone;
    SetHotPosLineCol(*FToken);
    return set.Contains(FToken->TokenType) ? FToken->TokenType : ttNone;
}

bool TTokenizer::Accept(TTokenType t)
{
    if (!IsToken(t))
        return false;
    Discard();
    return true;
}

TTokenType TTokenizer::AcceptAny(const TTokenTypes& set)
{
    const TTokenType t = IsAnyToken(set);
    if (t != ttNone)
        Discard();
    return t;
}

bool TTokenizer::IsName()
{
    Load();
    if (!FToken)
        return false;
    FSource.HotPos = FToken->ScriptPos;
    return !FToken->Text.empty() && !FRules.ReservedTokens().Contains(FToken->TokenType);
}

void TTokenizer::Discard()
{
    ReleaseToken(std::move(FToken));
}

void TTokenizer::InjectToken(TTokenType t)
{
    assert(!FNextToken && "a token is already pushed back");
    FNextToken = std::move(FToken);
    FToken = AllocToken();
    FToken->TokenType = t;
}

void TTokenizer::InjectString(const TScriptPos& pos, std::u16string text)
{
    InjectToken(ttStrVal);
    FToken->Text = std::move(text);
    FToken->ScriptPos = pos;
}

void TTokenizer::InjectName(const TScriptPos& pos, std::u16string text)
{
    InjectToken(ttNAME);
    FToken->Text = std::move(text);
    FToken->ScriptPos = pos;
}
