// The compiler: a recursive-descent parser that turns one script text into a
// program, building symbols and expression nodes directly (there is no
// separate syntax tree), plus the compiler options a configuration sets.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tvsErrors.h"
#include "tvsScriptPos.h"
#include "tvsTokenizer.h"
#include "tvsVariant.h"

class TtvsConfiguration;
class TtvsMainProgram;
class TtvsProgram;
class TtvsProgramExecution;
class TtvsExecution;
class TSymbol;
class TSymbolTable;
class TTypeSymbol;
class TFuncSymbol;
class TDataSymbol;
class TConstSymbol;
class TExprBase;
class TProgramExpr;
class TTypedExpr;
class TNoResultExpr;
class TDataExpr;
class TBlockExpr;
class TTypedExprList;
class TPascalTokenizerStateRules;
class TInternalFuncCallBase;

// clang-format off
enum class TCompilerOption : uint8_t {
    coOptimize           = 0, // fold constants while no error is listed
    coSymbolDictionary   = 1,
    coContextMap         = 2,
    coAssertions         = 3,
    coHintsDisabled      = 4,
    coWarningsDisabled   = 5,
    coExplicitUnitUses   = 6,
    coVariablesAsVarOnly = 7,
    coAllowClosures      = 8,
};
// clang-format on

// A set of compiler options: bit n stands for option n.
class TCompilerOptions final {
public:
    constexpr TCompilerOptions() = default;
    constexpr TCompilerOptions(std::initializer_list<TCompilerOption> options)
    {
        for (TCompilerOption o : options)
            Include(o);
    }
    constexpr bool Contains(TCompilerOption o) const { return (FBits >> Bit(o)) & 1u; }
    constexpr void Include(TCompilerOption o) { FBits |= 1u << Bit(o); }
    constexpr void Exclude(TCompilerOption o) { FBits &= ~(1u << Bit(o)); }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TCompilerOptions&) const = default;

private:
    static constexpr unsigned Bit(TCompilerOption o) { return static_cast<unsigned>(o); }
    uint32_t FBits = 0;
};

inline constexpr TCompilerOptions DefaultCompilerOptions{TCompilerOption::coOptimize,
                                                         TCompilerOption::coAssertions};

// What has been seen inside a loop that can end it; a loop that ends with
// leNotExitable can only be left by an exception and is reported.
enum class TLoopExitable : uint8_t { leNotExitable, leBreak, leExit };

// Parentheses, blocks and nested statements deeper than this stop
// compiling with a syntax error: the parser recurses on the native stack
// and must not overflow it on a hostile text.
inline constexpr int MaxNestingDepth = 256;
inline constexpr char16_t NestingTooDeepMsg[] = u"Nesting too deep (more than %d levels)";

// Compiles one text at a time; not reentrant and not thread-safe. Programs it
// produces are independent of it.
class TtvsCompiler final {
public:
    TtvsCompiler();
    ~TtvsCompiler();
    TtvsCompiler(const TtvsCompiler&) = delete;
    TtvsCompiler& operator=(const TtvsCompiler&) = delete;

    // Always answers a program, with its compile messages; it can run when
    // they hold no error.
    TRefPtr<TtvsMainProgram> Compile(std::u16string_view text, TtvsConfiguration& config);

private:
    class TNestingGuard;
    class TTableScope;
    class TCompilerExecution;

    // Driver
    void ResetState();
    bool FoldingOn() const;
    const TScriptPos& HotPos() const;
    // The position of the token about to be read (HotPos moves onto it).
    TScriptPos NextTokenPos();
    TtvsCompileMessageList& Msgs() const;
    [[noreturn]] void AbortWithSyntaxError(const TScriptPos& pos, std::u16string text);
    [[noreturn]] void AbortWithSyntaxError(const TScriptPos& pos, std::u16string_view format,
                                           std::initializer_list<TFormatArg> args);
    TtvsExecution& CompileTimeExec();
    void MakeUnitsVisible();
    bool IsConfiguredUnit(std::u16string_view name) const;

    // Program structure and statements
    std::unique_ptr<TNoResultExpr> ParseRootBlock();
    std::unique_ptr<TNoResultExpr> ParseRootStatement(bool& ownSemicolon, bool& stop);
    void ParseUses();
    std::unique_ptr<TNoResultExpr> ParseBlock(const TTokenTypes& endTokens, TTokenType& endToken);
    std::unique_ptr<TNoResultExpr> ParseBlockOrStatement();
    std::unique_ptr<TNoResultExpr> ParseDeclarationOrStatement(bool& ownSemicolon);
    std::unique_ptr<TNoResultExpr> ParseStatement();
    std::unique_ptr<TNoResultExpr> ReadVarDecl();
    void ReadConstDecl();
    void ReadResourceStringDecl();
    std::unique_ptr<TNoResultExpr> ReadExpressionStatement();
    std::unique_ptr<TNoResultExpr> BuildAssignment(const TScriptPos& pos, TTokenType token,
                                                   std::unique_ptr<TTypedExpr> right,
                                                   std::unique_ptr<TTypedExpr> left);
    std::unique_ptr<TNoResultExpr> BuildOpAssignment(const TScriptPos& pos, TTokenType token,
                                                     std::unique_ptr<TTypedExpr>& right,
                                                     std::unique_ptr<TTypedExpr>& left);
    std::unique_ptr<TNoResultExpr> ReadIf();
    std::unique_ptr<TNoResultExpr> ReadCase();
    std::unique_ptr<TNoResultExpr> ReadWhile();
    std::unique_ptr<TNoResultExpr> ReadRepeat();
    std::unique_ptr<TNoResultExpr> ReadFor();
    std::unique_ptr<TNoResultExpr> ReadForIn(const TScriptPos& pos,
                                             std::unique_ptr<TTypedExpr> varExpr,
                                             const TScriptPos& varPos);
    std::unique_ptr<TTypedExpr> ReadForStep();
    std::unique_ptr<TNoResultExpr> ReadForBody(const TScriptPos& pos,
                                               const TDataSymbol* controlVar);
    std::unique_ptr<TNoResultExpr> ReadBreakContinue(TTokenType token);
    std::unique_ptr<TNoResultExpr> ReadExit();
    void AddInitialization(TDataSymbol* var, const TScriptPos& pos);

    // Expressions
    std::unique_ptr<TTypedExpr> ParseExpression(TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ParseAdditive(TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ParseMultiplicative(TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ParseTerm(bool isWrite, TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ParseNameExpression(bool isWrite, TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ParseMemberChain(std::unique_ptr<TTypedExpr> node, bool isWrite,
                                                 TTypeSymbol* expected);
    std::unique_ptr<TTypedExpr> ReadInTest(std::unique_ptr<TTypedExpr> left, const TScriptPos& pos);
    std::unique_ptr<TTypedExpr> ReadLiteral();
    std::unique_ptr<TTypedExpr> ReadNegation(const TScriptPos& pos);
    std::unique_ptr<TTypedExpr> ReadNot(const TScriptPos& pos);
    TTypeSymbol* ReadType();
    // cast -> type-name [ "(" expression ")" ]; the name has been consumed.
    // Without "(" the answer is a type reference, listed as an error unless
    // typeRefAllowed.
    std::unique_ptr<TTypedExpr> ParseTypeCast(TTypeSymbol* typ, const TScriptPos& namePos,
                                              bool typeRefAllowed);
    // Pass this as the expected type where a bare type name may stand for
    // itself (Low(Integer), High(T)).
    static TTypeSymbol* TypeReferenceExpected();
    std::unique_ptr<TTypedExpr> ReadAddressOf(const TScriptPos& pos, TTypeSymbol* expected);
    // unit-member -> unit-name { "." name } "." name; the first part of the
    // unit name has been consumed. Answers the member's symbol.
    TSymbol* ReadUnitMember(TSymbol* unit, const std::u16string& name, const TScriptPos& namePos);
    // Moves both operands into the node it answers; answers nothing (and
    // leaves them) when the operator table has no entry for their types.
    std::unique_ptr<TTypedExpr> BuildBinaryOperation(TTokenType token,
                                                     std::unique_ptr<TTypedExpr>& left,
                                                     std::unique_ptr<TTypedExpr>& right);
    std::unique_ptr<TTypedExpr> BuildComparison(TTokenType token, const TScriptPos& pos,
                                                std::unique_ptr<TTypedExpr> left,
                                                std::unique_ptr<TTypedExpr> right);
    std::unique_ptr<TTypedExpr> Fold(std::unique_ptr<TTypedExpr> expr, const TScriptPos& pos);
    std::unique_ptr<TTypedExpr> Optimized(std::unique_ptr<TTypedExpr> expr, const TScriptPos& pos);
    std::unique_ptr<TNoResultExpr> FoldStatement(std::unique_ptr<TNoResultExpr> stmt);
    std::unique_ptr<TTypedExpr> ConvertArgument(std::unique_ptr<TTypedExpr> value,
                                                TTypeSymbol* target);
    std::unique_ptr<TTypedExpr> ConvertForAssignment(std::unique_ptr<TTypedExpr> value,
                                                     TTypeSymbol* target, const TScriptPos& pos);
    std::unique_ptr<TTypedExpr> MakeConstant(TTypeSymbol* typ, const Variant& value);
    std::unique_ptr<TDataExpr> MakeVarExpr(TDataSymbol* var);
    bool IsOfBaseType(const TTypeSymbol* typ, const TTypeSymbol* base) const;
    bool IsBooleanOrVariant(const TTypedExpr& expr) const;
    bool IsConstantBoolean(const TTypedExpr& expr, bool value);

    // Calls
    std::unique_ptr<TTypedExpr> ReadFuncCall(TFuncSymbol* func, const TScriptPos& namePos);
    void ParseArguments(TInternalFuncCallBase& call, std::vector<TScriptPos>& argPos);
    bool ResolveOverload(std::unique_ptr<TInternalFuncCallBase>& call,
                         const std::vector<TFuncSymbol*>& candidates);
    void CheckArguments(TInternalFuncCallBase& call, const std::vector<TScriptPos>& argPos);

    // Special functions and string indexing (tvsCompiler_Special.cpp)
    // The special function a name stands for (Ord, Length, Inc ...), -1 for
    // none. Callers test a name with it before looking the name up.
    static int SpecialFunctionKind(std::u16string_view name);
    // special-call -> "(" argument(s) ")"; the name has been consumed. Inc and
    // Dec answer nodes that also stand as statements (see IsStatementExpr).
    std::unique_ptr<TTypedExpr> ParseSpecialFunction(int kind, const TScriptPos& namePos);
    // string-index -> index "]" [ ":=" value ]; "[" has been consumed, pos is
    // its position. With isWrite and ":=" following, the answer is the
    // character store, a node without result type (see IsStatementExpr).
    std::unique_ptr<TTypedExpr> ParseStringIndex(std::unique_ptr<TTypedExpr> str, bool isWrite,
                                                 const TScriptPos& pos);

    // Names and loops
    void CheckName(const std::u16string& name, const TScriptPos& pos);
    void CheckSpecialName(const std::u16string& name, const TScriptPos& pos);
    void EnterLoop(const TScriptPos& pos);
    void MarkLoopExitable(TLoopExitable kind);
    void LeaveLoop();
    const TDataSymbol* LocalIntegerVariable(const TTypedExpr& expr) const;
    void WarnIfForLoopVariable(const TTypedExpr& target, const TScriptPos& pos);

    // The process-wide rule set, shared by every tokenizer.
    const TPascalTokenizerStateRules* FTokRules;
    std::unique_ptr<TTokenizer> FTok;
    TCompilerOptions FOptions;
    TtvsConfiguration* FConfig = nullptr;
    TtvsMainProgram* FMainProg = nullptr;
    // The program receiving code: the main program or a routine body.
    TtvsProgram* FProg = nullptr;
    // The scope names are looked up in; blocks replace it while they read.
    TSymbolTable* FTable = nullptr;
    // The operator table for this compilation, in registration order.
    // Loop bookkeeping: the loop nodes, what can end each, and whether the
    // code being read sits in a finally part.
    std::vector<TScriptPos> FLoops;
    std::vector<TLoopExitable> FLoopExitable;
    std::vector<bool> FFinallyExprs;
    // Control variables of the for loops being read, innermost last.
    std::vector<const TDataSymbol*> FForVars;
    int FNesting = 0;
    // Evaluates constant expressions while compiling, on a data stack of its
    // own; its messages go to the program being compiled.
    TRefPtr<TCompilerExecution> FCompileTimeExec;
};

// Counts one level of recursion in the parser and refuses to go deeper than
// the native stack safely allows.
class TtvsCompiler::TNestingGuard final {
public:
    explicit TNestingGuard(TtvsCompiler& compiler) : FCompiler(compiler)
    {
        if (FCompiler.FNesting >= MaxNestingDepth)
            FCompiler.AbortWithSyntaxError(FCompiler.HotPos(), NestingTooDeepMsg,
                                           {MaxNestingDepth});
        ++FCompiler.FNesting;
    }
    ~TNestingGuard() { --FCompiler.FNesting; }
    TNestingGuard(const TNestingGuard&) = delete;
    TNestingGuard& operator=(const TNestingGuard&) = delete;

private:
    TtvsCompiler& FCompiler;
};

// Makes a block's table the current one and restores the previous table
// however the block is left, aborts included.
class TtvsCompiler::TTableScope final {
public:
    TTableScope(TtvsCompiler& compiler, TSymbolTable* table)
        : FCompiler(compiler)
        , FSaved(compiler.FTable)
    {
        compiler.FTable = table;
    }
    ~TTableScope() { FCompiler.FTable = FSaved; }
    TTableScope(const TTableScope&) = delete;
    TTableScope& operator=(const TTableScope&) = delete;

private:
    TtvsCompiler& FCompiler;
    TSymbolTable* FSaved;
};
