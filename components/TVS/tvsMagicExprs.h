// Nodes of the special functions that are no routine calls (Length, Inc,
// Succ, Defined ...) and of character access in strings: s[i] and s[i] := c.
#pragma once

#include <memory>

#include "tvsExprs.h"

class TConditionalSymbols;
class TStrVarExpr;

inline constexpr char16_t InputDataSizeMsg[] = u"Input data of invalid size: %d instead of %d";
inline constexpr char16_t AssertionFailedMsg[] = u"Assertion failed%s%s";

// True for the nodes of this unit that have no result and stand as
// statements of their own (character stores, Inc, Dec, Assert); the statement
// reader keeps them, wrapped, instead of asking for an assignment.
bool IsStatementExpr(const TTypedExpr& expr);

// Length of a string (in UTF-16 code units); a Variant is read as text.
class TStringLengthExpr final : public TUnaryOpIntExpr {
public:
    using TUnaryOpIntExpr::TUnaryOpIntExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

// s[i]: the one-character string at the 1-based index i.
class TStringArrayOpExpr final : public TStringBinOpExpr {
public:
    TStringArrayOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> str,
                       std::unique_ptr<TTypedExpr> index, const TScriptPos& pos);
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
    TScriptPos GetScriptPos() const override { return FScriptPos; }

private:
    TScriptPos FScriptPos;
};

// s[i] := c on any writable string location: the whole string is read,
// changed and stored back. It yields nothing.
class TStringArraySetExpr : public TTypedExpr {
public:
    TStringArraySetExpr(std::unique_ptr<TDataExpr> str, std::unique_ptr<TTypedExpr> index,
                        std::unique_ptr<TTypedExpr> value, const TScriptPos& pos);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 3; }
    TScriptPos GetScriptPos() const override { return FScriptPos; }
    Variant Eval(TtvsExecution& exec) const override;
    void EvalNoResult(TtvsExecution& exec) const override;

protected:
    // The character to store; raises when the value is not one character.
    char16_t EvalChar(TtvsExecution& exec) const;

    std::unique_ptr<TDataExpr> FStr;
    std::unique_ptr<TTypedExpr> FIndex;
    std::unique_ptr<TTypedExpr> FValue;
    TScriptPos FScriptPos;
};

// s[i] := c on a plain string variable: the character changes in the
// variable's slot, without copying the string when it is not shared.
class TVarStringArraySetExpr final : public TStringArraySetExpr {
public:
    TVarStringArraySetExpr(std::unique_ptr<TStrVarExpr> str, std::unique_ptr<TTypedExpr> index,
                           std::unique_ptr<TTypedExpr> value, const TScriptPos& pos);
    void EvalNoResult(TtvsExecution& exec) const override;
};

// Inc(v [, delta]) and Dec(v [, delta]): change an integer location in place
// and answer its new value. Both wrap around like every integer operation.
class TIncDecVarFuncExpr : public TTypedExpr {
public:
    TIncDecVarFuncExpr(std::unique_ptr<TDataExpr> target, std::unique_ptr<TTypedExpr> delta,
                       const TScriptPos& pos);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    TScriptPos GetScriptPos() const override { return FScriptPos; }
    Variant Eval(TtvsExecution& exec) const override { return Variant(EvalAsInteger(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const override
    {
        return static_cast<double>(EvalAsInteger(exec));
    }
    void EvalNoResult(TtvsExecution& exec) const override { EvalAsInteger(exec); }

    TDataExpr* Target() const { return FTarget.get(); }

protected:
    // The new value of the target after adding delta.
    int64_t AddToTarget(TtvsExecution& exec, int64_t delta) const;

    std::unique_ptr<TDataExpr> FTarget;
    std::unique_ptr<TTypedExpr> FDelta;
    TScriptPos FScriptPos;

private:
    // Set when the target is a plain integer variable, changed in its slot.
    bool FIntVarTarget;
};

class TIncVarFuncExpr final : public TIncDecVarFuncExpr {
public:
    using TIncDecVarFuncExpr::TIncDecVarFuncExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

class TDecVarFuncExpr final : public TIncDecVarFuncExpr {
public:
    using TIncDecVarFuncExpr::TIncDecVarFuncExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

// Succ(x [, delta]) and Pred(x [, delta]): the value plus or minus delta,
// wrapping; the result keeps the argument's type.
class TSuccFuncExpr final : public TIntegerBinOpExpr {
public:
    TSuccFuncExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr,
                  std::unique_ptr<TTypedExpr> delta);
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

class TPredFuncExpr final : public TIntegerBinOpExpr {
public:
    TPredFuncExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr,
                  std::unique_ptr<TTypedExpr> delta);
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

// Assert(condition [, message]): a false condition raises the assertion
// failure at the assertion. It yields nothing.
class TAssertExpr final : public TTypedExpr {
public:
    // message may be nil.
    TAssertExpr(std::unique_ptr<TTypedExpr> condition, std::unique_ptr<TTypedExpr> message,
                const TScriptPos& pos);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return FMessage ? 2 : 1; }
    TScriptPos GetScriptPos() const override { return FScriptPos; }
    Variant Eval(TtvsExecution& exec) const override;
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    std::unique_ptr<TTypedExpr> FCondition;
    std::unique_ptr<TTypedExpr> FMessage;
    TScriptPos FScriptPos;
};

// Questions about the compilation asked at run time; never folded, since
// the answer belongs to the finished program, not to the point of the call.
class TSpecialUnaryBoolExpr : public TUnaryOpBoolExpr {
public:
    using TUnaryOpBoolExpr::TUnaryOpBoolExpr;
    bool IsConstant() const override { return false; }
};

// Defined(name): is name one of the program's conditional symbols?
class TDefinedExpr final : public TSpecialUnaryBoolExpr {
public:
    TDefinedExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> name,
                 std::shared_ptr<const TConditionalSymbols> conditionals);
    bool EvalAsBoolean(TtvsExecution& exec) const override;

private:
    std::shared_ptr<const TConditionalSymbols> FConditionals;
};

// Declared(name): does name, possibly "Unit.Name" or "Type.Member", resolve
// from the program's root table?
class TDeclaredExpr final : public TSpecialUnaryBoolExpr {
public:
    TDeclaredExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> name);
    bool EvalAsBoolean(TtvsExecution& exec) const override;

    // The lookup itself, also used while compiling.
    static bool IsDeclared(const TSymbolTable& root, std::u16string_view name);

private:
    const TSymbolTable* FRoot;
};
