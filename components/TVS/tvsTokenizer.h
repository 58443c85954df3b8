// The generic tokenizer: token types and records, the table-driven state
// machine that reads them, positions, the switch callbacks and the include
// stack. The script language's own states live in tvsPascalTokenizer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tvsErrors.h"
#include "tvsScriptPos.h"

// The order matters: sets of token types are bit sets indexed by it.
// clang-format off
enum class TTokenType : uint8_t {
    ttNone, ttStrVal, ttIntVal, ttFloatVal, ttNAME, ttSWITCH,
    ttLAZY, ttVAR, ttCONST, ttRESOURCESTRING, ttTYPE, ttRECORD, ttARRAY, ttSET, ttDOT, ttDOTDOT,
    ttOF,
    ttTRY, ttEXCEPT, ttRAISE, ttFINALLY, ttON, ttREAD, ttWRITE, ttPROPERTY, ttFUNCTION,
    ttPROCEDURE, ttCONSTRUCTOR, ttDESTRUCTOR, ttMETHOD, ttOPERATOR, ttCLASS,
    ttNIL, ttIS, ttAS, ttIMPLEMENTS, ttINDEX, ttOBJECT, ttVIRTUAL, ttOVERRIDE, ttREINTRODUCE,
    ttINHERITED, ttFINAL, ttNEW, ttABSTRACT, ttSEALED, ttSTATIC, ttDEPRECATED, ttOVERLOAD,
    ttEXTERNAL, ttFORWARD,
    ttIN, ttENSURE, ttREQUIRE, ttINVARIANTS, ttOLD, ttINTERFACE, ttIMPLEMENTATION, ttBEGIN,
    ttEND, ttBREAK, ttCONTINUE, ttEXIT,
    ttIF, ttTHEN, ttELSE, ttWHILE, ttREPEAT, ttUNTIL, ttFOR, ttTO, ttDOWNTO, ttDO, ttCASE,
    ttTRUE, ttFALSE, ttAND, ttOR, ttXOR, ttIMPLIES, ttDIV, ttMOD, ttNOT, ttSHL, ttSHR, ttSAR,
    ttPLUS, ttMINUS, ttTIMES, ttDIVIDE, ttPERCENT, ttCARET, ttAT, ttDOLLAR, ttEQ, ttNOTEQ,
    ttGTR, ttGTREQ, ttLESS, ttLESSEQ, ttLESSLESS, ttGTRGTR,
    ttSEMI, ttCOMMA, ttCOLON, ttASSIGN, ttPLUS_ASSIGN, ttMINUS_ASSIGN, ttTIMES_ASSIGN,
    ttDIVIDE_ASSIGN, ttPERCENT_ASSIGN, ttCARET_ASSIGN, ttAT_ASSIGN, ttBLEFT, ttBRIGHT, ttALEFT,
    ttARIGHT, ttCRIGHT,
    ttDEFAULT, ttUSES, ttUNIT, ttPRIVATE, ttPROTECTED, ttPUBLIC, ttPUBLISHED, ttPROGRAM,
    ttREGISTER, ttPASCAL, ttCDECL, ttSTDCALL, ttFASTCALL,
};
// clang-format on

inline constexpr int TokenTypeCount = static_cast<int>(TTokenType::ttFASTCALL) + 1;

// The text that stands for a token type inside messages: "BEGIN", ":=", "NAME".
std::u16string_view TokenDisplayString(TTokenType t);
// The type's name as the code spells it ("ttNAME"), for debugging output.
std::u16string_view TokenTypeName(TTokenType t);

// A set of token types: 17 bytes, bit n for type n.
class TTokenTypes final {
public:
    constexpr TTokenTypes() = default;
    constexpr TTokenTypes(std::initializer_list<TTokenType> types)
    {
        for (TTokenType t : types)
            Include(t);
    }
    constexpr void Include(TTokenType t)
    {
        const auto n = static_cast<unsigned>(t);
        FBits[n / 8] = static_cast<uint8_t>(FBits[n / 8] | (1u << (n % 8)));
    }
    constexpr void Exclude(TTokenType t)
    {
        const auto n = static_cast<unsigned>(t);
        FBits[n / 8] = static_cast<uint8_t>(FBits[n / 8] & ~(1u << (n % 8)));
    }
    constexpr bool Contains(TTokenType t) const
    {
        const auto n = static_cast<unsigned>(t);
        return (FBits[n / 8] >> (n % 8)) & 1u;
    }
    constexpr bool operator==(const TTokenTypes&) const = default;

private:
    std::array<uint8_t, 17> FBits{};
};

// One token: where it starts, its text (the identifier or symbol, the switch
// name in upper case, or the decoded string literal) and its value.
struct TTokenRecord {
    TScriptPos ScriptPos;
    std::u16string Text;
    double FloatValue = 0;
    int64_t IntValue = 0;
    TTokenType TokenType = TTokenType::ttNone;
};
using TToken = TTokenRecord*;

// "3:5 ttNAME abc": position, type name and value of a token, for tools and
// tests. Strings are quoted the way a script writes them ('it''s'#13#10).
std::u16string TokenDebugText(const TTokenRecord& token);

// What a transition does with the characters collected so far.
enum class TTokenAction : uint8_t {
    taNone,
    taClear,
    taName,
    taNameEscaped,
    taHexInteger,
    taInteger,
    taFloat,
    taCharCode,
    taCharHexCode,
    taString,
    taMultiLineString,
    taSwitch,
    taDotDot,
};

// How a transition treats the current character: look at it (Check), move
// past it (Seek), move past it and keep it (Consume), or fail (Error).
enum class TTransitionKind : uint8_t { tkCheck, tkSeek, tkConsume, tkError };

class TState;

struct TTransition {
    TTransitionKind Kind = TTransitionKind::tkCheck;
    TState* NextState = nullptr;
    bool IsStart = false;
    bool IsFinal = false;
    TTokenAction Action = TTokenAction::taNone;
    // Error transitions only; empty for the silent end of the text.
    std::u16string ErrorMessage;

    bool Moves() const
    {
        return Kind == TTransitionKind::tkSeek || Kind == TTransitionKind::tkConsume;
    }
};

// Characters 0-127 as a set, for building states. Characters from 127 up
// share the last slot.
class TCharSet final {
public:
    TCharSet() = default;
    TCharSet(const char16_t* chars) // NOLINT(google-explicit-constructor)
    {
        for (; *chars != u'\0'; ++chars)
            Add(*chars);
    }
    TCharSet& Add(char16_t c)
    {
        FBits[c > 127 ? 127 : c] = true;
        return *this;
    }
    TCharSet& AddRange(char16_t first, char16_t last)
    {
        for (char16_t c = first; c <= last; ++c)
            Add(c);
        return *this;
    }
    TCharSet& Add(const TCharSet& other)
    {
        for (size_t i = 0; i < FBits.size(); ++i)
            FBits[i] = FBits[i] || other.FBits[i];
        return *this;
    }
    TCharSet& Remove(char16_t c)
    {
        FBits[c > 127 ? 127 : c] = false;
        return *this;
    }
    bool Contains(size_t slot) const { return slot < FBits.size() && FBits[slot]; }

private:
    std::array<bool, 128> FBits{};
};

// One state of the machine: a transition per character slot. Slots 0-127 are
// the character codes (every character above 127 uses slot 127); slot 128 is
// the end of the text, which is not a character: a U+0000 inside the text is
// read like any other control character.
class TState final {
public:
    static constexpr size_t EndOfTextSlot = 128;
    static constexpr size_t SlotCount = 129;

    const TTransition* Transition(size_t slot) const { return FSlots[slot]; }

private:
    friend class TTokenizerRules;
    std::array<const TTransition*, SlotCount> FSlots{};
};

// The state table and the set of reserved token types. Built once, then
// shared read-only by every tokenizer a compiler creates.
class TTokenizerRules {
public:
    TTokenizerRules();
    virtual ~TTokenizerRules();
    TTokenizerRules(const TTokenizerRules&) = delete;
    TTokenizerRules& operator=(const TTokenizerRules&) = delete;

    const TState* StartState() const { return FStartState; }
    const TTokenTypes& ReservedTokens() const { return FReservedTokens; }

    std::unique_ptr<class TTokenizer> CreateTokenizer(TtvsMessageList& msgs) const;

protected:
    // The first state created is the start state.
    TState* CreateState();
    // Fills the still-empty slots of `chars`: the first rule covering a
    // character wins.
    void AddRule(TState* state, const TCharSet& chars, TTransition transition);
    // Fills every still-empty character slot (0-127).
    void AddOtherwise(TState* state, TTransition transition);
    // What the state does at the end of the text, when it is not the shared
    // silent end.
    void AddEndOfText(TState* state, TTransition transition);
    // Gives every state without an end-of-text rule the shared silent end.
    // Called once after the last state is built.
    void FinishStates();

    void SetReservedTokens(const TTokenTypes& set) { FReservedTokens = set; }

private:
    const TTransition* Own(TTransition transition);

    std::vector<std::unique_ptr<TState>> FStates;
    std::vector<std::unique_ptr<TTransition>> FTransitions;
    TState* FStartState = nullptr;
    const TTransition* FEndOfText = nullptr;
    TTokenTypes FReservedTokens;
};

// Transition makers for building states.
TTransition CheckTo(TState* next, bool isFinal = false, TTokenAction action = TTokenAction::taNone);
TTransition SeekTo(TState* next, TTokenAction action = TTokenAction::taNone);
TTransition ConsumeTo(TState* next, bool isFinal = false,
                      TTokenAction action = TTokenAction::taNone);
TTransition StartConsumeTo(TState* next, bool isFinal = false,
                           TTokenAction action = TTokenAction::taNone);
TTransition StartSeekTo(TState* next);
TTransition ErrorTransition(std::u16string message);

// Where a source is being read; saved on the include stack while an included
// text is read in its place.
struct TTokenizerSourceInfo {
    const TSourceFile* SourceFile = nullptr;
    std::u16string Text;   // the file's text followed by CR LF
    size_t Index = 0;      // the read pointer
    TScriptPos DefaultPos; // null line and column in this source
    TScriptPos HotPos;
    TScriptPos CurPos;
};

// One open conditional part ({$IFDEF ...} or {$ELSE}) and where it began.
struct TTokenizerConditionalInfo {
    uint8_t Kind = 0; // 0: the part after the condition, 1: the part after ELSE
    TScriptPos ScriptPos;
};

// The defined conditional symbols, shared between the compiler and the
// tokenizers of the main text. Names compare case-insensitively.
class TConditionalSymbols final {
public:
    void Add(std::u16string_view name);
    void Remove(std::u16string_view name);
    bool Contains(std::u16string_view name) const;
    void Clear() { FNames.clear(); }
    const std::vector<std::u16string>& Names() const { return FNames; }

private:
    std::vector<std::u16string> FNames;
};

// Called with the upper-cased switch name: true when the name is a known
// switch (the token becomes a ttSWITCH), false when the handler has dealt with
// the switch itself (reading goes on after it).
using TSwitchHandler = std::function<bool(const std::u16string& name)>;
// Carries a switch out, reading the rest of it through the tokenizer: true
// when the switch leaves no token, false when the current token stays.
using TSwitchProcessor = std::function<bool(const std::u16string& name)>;
using TEndSourceFileEvent = std::function<void(const TSourceFile* file)>;

// Reads tokens on demand with one current and one pushed-back token. The
// switch callbacks may read tokens, inject tokens or begin a new source
// while a token is being read.
class TTokenizer final {
public:
    TTokenizer(const TTokenizerRules& rules, TtvsMessageList& msgs);
    ~TTokenizer();
    TTokenizer(const TTokenizer&) = delete;
    TTokenizer& operator=(const TTokenizer&) = delete;

    // Starts reading `file` (which must outlive its reading); an active source
    // is saved on the include stack and resumes when this one ends.
    void BeginSource(const TSourceFile* file);
    // Ends the current source: resumes the including one, or clears the
    // tokenizer when there is none.
    void EndSource();

    bool HasToken();
    bool IsToken(TTokenType t);
    TTokenType IsAnyToken(const TTokenTypes& set);
    bool Accept(TTokenType t);
    TTokenType AcceptAny(const TTokenTypes& set);
    // A token with text that may serve as an identifier.
    bool IsName();
    // The current token, after one of the queries above found one.
    TTokenRecord& CurrentToken() { return *FToken; }
    TToken GetToken() { return FToken.get(); }
    void Discard();

    void InjectToken(TTokenType t);
    void InjectString(const TScriptPos& pos, std::u16string text);
    void InjectName(const TScriptPos& pos, std::u16string text);

    const TScriptPos& HotPos() const { return FSource.HotPos; }
    void SetHotPos(const TScriptPos& pos) { FSource.HotPos = pos; }
    const TScriptPos& CurPos() const { return FSource.CurPos; }
    const TScriptPos& DefaultPos() const { return FSource.DefaultPos; }
    const TSourceFile* SourceFile() const { return FSource.SourceFile; }
    size_t IncludeDepth() const { return FIncludeStack.size(); }

    const TTokenizerRules& Rules() const { return FRules; }
    TtvsMessageList& Msgs() { return FMsgs; }

    const std::shared_ptr<TConditionalSymbols>& Conditionals() const { return FConditionals; }
    void SetConditionals(std::shared_ptr<TConditionalSymbols> value)
    {
        FConditionals = std::move(value);
    }
    std::vector<TTokenizerConditionalInfo>& ConditionalStack() { return FConditionalStack; }

    const TSwitchHandler& SwitchHandler() const { return FSwitchHandler; }
    void SetSwitchHandler(TSwitchHandler value) { FSwitchHandler = std::move(value); }
    const TSwitchProcessor& SwitchProcessor() const { return FSwitchProcessor; }
    void SetSwitchProcessor(TSwitchProcessor value) { FSwitchProcessor = std::move(value); }
    void SetOnEndSourceFile(TEndSourceFileEvent value) { FOnEndSourceFile = std::move(value); }

private:
    using TTokenPtr = std::unique_ptr<TTokenRecord>;

    void Load();
    TTokenPtr ReadToken();
    TTokenPtr AllocToken();
    void ReleaseToken(TTokenPtr token);
    void SetHotPosLineCol(const TTokenRecord& token);
    [[noreturn]] void Fail(TTokenPtr token, std::u16string text);
    // False when reading must restart at the start state (a switch the
    // handler dealt with).
    bool RunAction(TTokenAction action, TTokenRecord& token);
    void ActionName(TTokenRecord& token);
    void ActionHexInteger(TTokenRecord& token);
    void ActionInteger(TTokenRecord& token);
    void ActionFloat(TTokenRecord& token);
    void ActionCharCode(TTokenRecord& token, bool hex);
    void ActionMultiLineString(TTokenRecord& token);

    const TTokenizerRules& FRules;
    TtvsMessageList& FMsgs;
    std::u16string FBuffer;
    const TState* FNextStart;
    TTokenPtr FToken;
    TTokenPtr FNextToken; // the pushed-back token
    TTokenizerSourceInfo FSource;
    TSwitchHandler FSwitchHandler;
    TSwitchProcessor FSwitchProcessor;
    TEndSourceFileEvent FOnEndSourceFile;
    std::shared_ptr<TConditionalSymbols> FConditionals;
    std::vector<TTokenizerConditionalInfo> FConditionalStack;
    std::vector<TTokenPtr> FPool;
    std::vector<TTokenizerSourceInfo> FIncludeStack;
};
