// The core nodes: constants and scalar variables, assignments, the integer,
// float, string, boolean and variant operators and conversions, and the
// statements of control flow (blocks, if, case, loops, break, continue, exit).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tvsExprs.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// A constant of any type, in its own data array of the type's size.
class TConstExpr : public TDataExpr {
public:
    TConstExpr(TTypeSymbol* typ, const Variant& value);
    TConstExpr(TTypeSymbol* typ, const TData& data, int32_t addr);

    TData& GetData(TtvsExecution& exec) const override;
    bool IsConstant() const override { return true; }
    bool IsWritable() const override { return false; }
    void EvalAsVariant(TtvsExecution& exec, Variant& result) const override;
    Variant Eval(TtvsExecution& /*exec*/) const override { return FData[0]; }

    const TData& Data() const { return FData; }
    // Same size, and slot by slot the same kind and value.
    bool SameValueAs(const TConstExpr& other) const;

protected:
    // Constants never change; GetData hands out a non-const reference only
    // because locations in general are writable (IsWritable says no).
    mutable TData FData;
};

// One instance per (class, type, value) in a program, shared by all users
// and owned by the program's unified-constant list.
class TUnifiedConstExpr : public TConstExpr {
public:
    using TConstExpr::TConstExpr;
};

class TConstBooleanExpr final : public TUnifiedConstExpr {
public:
    TConstBooleanExpr(TTypeSymbol* typ, bool value);
    bool EvalAsBoolean(TtvsExecution& /*exec*/) const override { return FValue; }
    int64_t EvalAsInteger(TtvsExecution& /*exec*/) const override { return FValue ? 1 : 0; }
    bool Value() const { return FValue; }

private:
    bool FValue;
};

class TConstIntExpr final : public TUnifiedConstExpr {
public:
    TConstIntExpr(TTypeSymbol* typ, int64_t value);
    int64_t EvalAsInteger(TtvsExecution& /*exec*/) const override { return FValue; }
    double EvalAsFloat(TtvsExecution& /*exec*/) const override
    {
        return static_cast<double>(FValue);
    }
    int64_t Value() const { return FValue; }

private:
    int64_t FValue;
};

class TConstFloatExpr final : public TUnifiedConstExpr {
public:
    TConstFloatExpr(TTypeSymbol* typ, double value);
    double EvalAsFloat(TtvsExecution& /*exec*/) const override { return FValue; }
    double Value() const { return FValue; }

private:
    double FValue;
};

class TConstStringExpr final : public TUnifiedConstExpr {
public:
    TConstStringExpr(TTypeSymbol* typ, const UnicodeString& value);
    void EvalAsString(TtvsExecution& /*exec*/, UnicodeString& result) const override
    {
        result = FValue;
    }
    const UnicodeString& Value() const { return FValue; }

private:
    UnicodeString FValue;
};

// The unified constants of a program. Each is stored once; nodes that use
// one hold it without owning it (their delete leaves it alone) and the list
// frees them all with the program.
class TUnifiedConstList final {
public:
    TUnifiedConstList();
    ~TUnifiedConstList();
    TUnifiedConstList(const TUnifiedConstList&) = delete;
    TUnifiedConstList& operator=(const TUnifiedConstList&) = delete;

    // Takes a freshly built constant: answers the equal one already listed
    // (the new one is freed) or lists and answers the new one.
    TUnifiedConstExpr* Add(std::unique_ptr<TUnifiedConstExpr> expr);
    int Count() const { return static_cast<int>(FItems.size()); }

private:
    std::vector<TUnifiedConstExpr*> FItems;
};

// The unified-constant factory. A nil type means the family's own type
// (Boolean, Integer, Float, String) of prog.
TConstBooleanExpr* UnifiedConstBoolean(TtvsProgram& prog, TTypeSymbol* typ, bool value);
TConstIntExpr* UnifiedConstInt(TtvsProgram& prog, TTypeSymbol* typ, int64_t value);
TConstFloatExpr* UnifiedConstFloat(TtvsProgram& prog, TTypeSymbol* typ, double value);
TConstStringExpr* UnifiedConstString(TtvsProgram& prog, TTypeSymbol* typ,
                                     const UnicodeString& value);
// The typed constant factory: a unified constant for String, Integer (and
// types whose base type is Integer), Boolean and Float; a plain constant
// for anything else (a Variant folded to a value, for instance).
TConstExpr* CreateUnifiedConst(TtvsProgram& prog, TTypeSymbol* typ, const Variant& value);
TConstExpr* CreateTypedConst(TtvsProgram& prog, TTypeSymbol* typ, const TData& data, int32_t addr);

// A resource string: each evaluation asks the execution for its localised
// text.
class TResourceStringExpr final : public TTypedExpr {
public:
    TResourceStringExpr(TTypeSymbol* typ, const TResourceStringSymbol* symbol,
                        const TScriptPos& pos)
        : TTypedExpr(typ)
        , FSymbol(symbol)
        , FScriptPos(pos)
    {}
    Variant Eval(TtvsExecution& exec) const override;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
    TScriptPos GetScriptPos() const override { return FScriptPos; }

private:
    const TResourceStringSymbol* FSymbol;
    TScriptPos FScriptPos;
};

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

// A variable of the running frame: base pointer + stack address. Typed
// descendants read and write their slot directly and never allocate.
class TVarExpr : public TDataExpr {
public:
    // stackAddr: the variable's address in its frame; dataSym may be nil.
    TVarExpr(TTypeSymbol* typ, int32_t stackAddr, TDataSymbol* dataSym = nullptr)
        : TDataExpr(typ)
        , FStackAddr(stackAddr)
        , FDataSym(dataSym)
    {}

    int32_t StackAddr() const { return FStackAddr; }
    TDataSymbol* DataSym() const { return FDataSym; }

    int32_t GetAddr(TtvsExecution& exec) const override;
    TData& GetData(TtvsExecution& exec) const override;
    Variant Eval(TtvsExecution& exec) const override { return Slot(exec); }
    void EvalAsVariant(TtvsExecution& exec, Variant& result) const override { result = Slot(exec); }
    void AssignValue(TtvsExecution& exec, const Variant& value) const override
    {
        Slot(exec) = value;
    }
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override;

    // Same class and same address: the compiler's "same variable" test.
    bool SameVarAs(const TExprBase& other) const;

protected:
    Variant& Slot(TtvsExecution& exec) const;

    int32_t FStackAddr;
    TDataSymbol* FDataSym;
};

class TIntVarExpr final : public TVarExpr {
public:
    using TVarExpr::TVarExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override { return Slot(exec).ToInteger(); }
    double EvalAsFloat(TtvsExecution& exec) const override { return Slot(exec).ToFloat(); }
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignValueAsInteger(TtvsExecution& exec, int64_t value) const override
    {
        Slot(exec).SetInteger(value);
    }
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override
    {
        const int64_t value = source.EvalAsInteger(exec);
        Slot(exec).SetInteger(value);
    }
    // In place; answers the new value (for and Inc use it).
    int64_t IncValue(TtvsExecution& exec, int64_t delta) const;
};

class TFloatVarExpr final : public TVarExpr {
public:
    using TVarExpr::TVarExpr;
    double EvalAsFloat(TtvsExecution& exec) const override { return Slot(exec).ToFloat(); }
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignValueAsFloat(TtvsExecution& exec, double value) const override
    {
        Slot(exec).SetFloat(value);
    }
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override
    {
        const double value = source.EvalAsFloat(exec);
        Slot(exec).SetFloat(value);
    }
};

class TStrVarExpr final : public TVarExpr {
public:
    using TVarExpr::TVarExpr;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override
    {
        result = Slot(exec).ToString();
    }
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignValueAsString(TtvsExecution& exec, const UnicodeString& value) const override
    {
        Slot(exec).SetString(value);
    }
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override;
    // Appends without copying the text already there (when not shared).
    void Append(TtvsExecution& exec, std::u16string_view text) const;
    // 1-based index; false when past the end.
    bool SetChar(TtvsExecution& exec, int64_t index, char16_t c) const;
};

class TBoolVarExpr final : public TVarExpr {
public:
    using TVarExpr::TVarExpr;
    bool EvalAsBoolean(TtvsExecution& exec) const override { return Slot(exec).ToBoolean(); }
    int64_t EvalAsInteger(TtvsExecution& exec) const override
    {
        return Slot(exec).ToBoolean() ? 1 : 0;
    }
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignValueAsBoolean(TtvsExecution& exec, bool value) const override
    {
        Slot(exec).SetBoolean(value);
    }
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override
    {
        const bool value = source.EvalAsBoolean(exec);
        Slot(exec).SetBoolean(value);
    }
};

// A variable of an enclosing level (a global seen from a routine, or a
// local of the routine a nested routine sits in).
class TVarParentExpr final : public TVarExpr {
public:
    TVarParentExpr(TTypeSymbol* typ, int32_t stackAddr, int16_t level,
                   TDataSymbol* dataSym = nullptr)
        : TVarExpr(typ, stackAddr, dataSym)
        , FLevel(level)
    {}
    int32_t GetAddr(TtvsExecution& exec) const override;
    Variant Eval(TtvsExecution& exec) const override;
    void EvalAsVariant(TtvsExecution& exec, Variant& result) const override;
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const override;
    int16_t Level() const { return FLevel; }

private:
    int16_t FLevel;
};

// ---------------------------------------------------------------------------
// Assignments
// ---------------------------------------------------------------------------

// left := right. The right value is evaluated straight into the target.
class TAssignExpr : public TNoResultExpr {
public:
    TAssignExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> left,
                std::unique_ptr<TTypedExpr> right);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    void EvalNoResult(TtvsExecution& exec) const override;
    // Constant stores, in-place increments and appends.
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

    TDataExpr* Left() const { return FLeft.get(); }
    TTypedExpr* Right() const { return FRight.get(); }

protected:
    std::unique_ptr<TDataExpr> FLeft;
    std::unique_ptr<TTypedExpr> FRight;

private:
    TExprBase* FuseIntVarAssign();

    // Set when the target is an integer variable: the most common statement
    // of a loop then stores without a call through the target.
    bool FIntVarTarget;
};

// Stores of a value known at compile time; no right node is kept.
class TAssignConstExpr : public TNoResultExpr {
public:
    TAssignConstExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> left)
        : TNoResultExpr(pos)
        , FLeft(std::move(left))
    {}
    TExprBase* GetSubExpr(int /*index*/) const override { return FLeft.get(); }
    int GetSubExprCount() const override { return 1; }
    TDataExpr* Left() const { return FLeft.get(); }

protected:
    std::unique_ptr<TDataExpr> FLeft;
};

// One class per kind of value, so the optimiser and the tests can tell the
// stores apart; the store itself is the target's typed assignment.
template <class TValue, class TParam, void (TExprBase::*Store)(TtvsExecution&, TParam) const>
class TAssignConstToVarExpr final : public TAssignConstExpr {
public:
    TAssignConstToVarExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> left, TValue value)
        : TAssignConstExpr(pos, std::move(left))
        , FValue(std::move(value))
    {}
    void EvalNoResult(TtvsExecution& exec) const override { (FLeft.get()->*Store)(exec, FValue); }

private:
    TValue FValue;
};

using TAssignConstToIntegerVarExpr =
    TAssignConstToVarExpr<int64_t, int64_t, &TExprBase::AssignValueAsInteger>;
using TAssignConstToFloatVarExpr =
    TAssignConstToVarExpr<double, double, &TExprBase::AssignValueAsFloat>;
using TAssignConstToBoolVarExpr =
    TAssignConstToVarExpr<bool, bool, &TExprBase::AssignValueAsBoolean>;
using TAssignConstToStringVarExpr =
    TAssignConstToVarExpr<UnicodeString, const UnicodeString&, &TExprBase::AssignValueAsString>;

// i := i + n and i := i - n, in place on the slot (wrapping).
class TIncIntVarExpr final : public TAssignExpr {
public:
    TIncIntVarExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                   std::unique_ptr<TTypedExpr> delta);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }
};

class TDecIntVarExpr final : public TAssignExpr {
public:
    TDecIntVarExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                   std::unique_ptr<TTypedExpr> delta);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }
};

// How a fused integer statement reads an operand without calling into it:
// a local integer variable, a constant, the square of a variable, or
// (anything else) through the node.
struct TIntLeaf {
    enum TKind : uint8_t { ilExpr, ilVar, ilConst, ilSqrVar };
    TKind Kind = ilExpr;
    int32_t Addr = 0;
    int64_t Value = 0;
    const TTypedExpr* Expr = nullptr;

    static TIntLeaf Of(const TTypedExpr& expr);
    // Forced inline: as a call it would cost what it saves.
    [[gnu::always_inline]] int64_t Read(TtvsExecution& exec) const
    {
        switch (Kind) {
        case ilVar:
            return exec.Stack().ReadIntValue(exec.Stack().BasePointer() + Addr);
        case ilConst:
            return Value;
        case ilSqrVar: {
            const int64_t v = exec.Stack().ReadIntValue(exec.Stack().BasePointer() + Addr);
            return IntMul(v, v);
        }
        default:
            return Expr->EvalAsInteger(exec);
        }
    }
};

// An integer operand of a fused statement: one leaf, or the sum or the
// difference of two (read left first, as the operator nodes do).
struct TIntTerm {
    enum TKind : uint8_t { itLeaf, itAdd, itSub };
    TKind Kind = itLeaf;
    TIntLeaf A;
    TIntLeaf B;

    static TIntTerm Of(const TTypedExpr& expr);
    [[gnu::always_inline]] int64_t Eval(TtvsExecution& exec) const
    {
        switch (Kind) {
        case itAdd: {
            const int64_t a = A.Read(exec);
            return IntAdd(a, B.Read(exec));
        }
        case itSub: {
            const int64_t a = A.Read(exec);
            return IntSub(a, B.Read(exec));
        }
        default:
            return A.Read(exec);
        }
    }
};

// v := e mod c with a constant c other than 0 and -1: no checks of the
// divisor at run time, and the value goes straight into the integer slot.
class TAssignModConstToIntVarExpr final : public TAssignExpr {
public:
    TAssignModConstToIntVarExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                                std::unique_ptr<TTypedExpr> dividend, int64_t divisor);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }

private:
    TIntTerm FDividend; // reads FRight
    int64_t FDivisor;
    int32_t FTargetAddr;
};

// v := v xor e, v := v and e, v := v or e on an integer variable: the
// variable's value is read first, then e, and the result stored in place.
enum class TIntSelfOp : uint8_t { isoXor, isoAnd, isoOr };

class TIntVarSelfOpExpr final : public TAssignExpr {
public:
    TIntVarSelfOpExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                      std::unique_ptr<TTypedExpr> operand, TIntSelfOp op);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }
    TIntSelfOp Op() const { return FOp; }

private:
    TIntTerm FOperand; // reads FRight
    TIntSelfOp FOp;
    int32_t FTargetAddr;
};

// s := s + t, appended in place.
class TAppendStringVarExpr final : public TAssignExpr {
public:
    TAppendStringVarExpr(const TScriptPos& pos, std::unique_ptr<TStrVarExpr> left,
                         std::unique_ptr<TTypedExpr> right);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }
};

class TAppendConstStringVarExpr final : public TAssignExpr {
public:
    TAppendConstStringVarExpr(const TScriptPos& pos, std::unique_ptr<TStrVarExpr> left,
                              UnicodeString text);
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }

private:
    UnicodeString FText;
};

// x += y and friends. The variant forms combine variants; the typed forms
// compute natively. The left operand (the current value) is read first,
// except by *= on integers, which evaluates the right operand first.
class TOpAssignExpr : public TAssignExpr {
public:
    using TAssignExpr::TAssignExpr;
    TExprBase* Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/) override { return this; }
};

#define TVS_OP_ASSIGN(Name, Base)                                                                  \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
        void EvalNoResult(TtvsExecution& exec) const override;                                     \
    }

TVS_OP_ASSIGN(TPlusAssignExpr, TOpAssignExpr);
TVS_OP_ASSIGN(TMinusAssignExpr, TOpAssignExpr);
TVS_OP_ASSIGN(TMultAssignExpr, TOpAssignExpr);
TVS_OP_ASSIGN(TPlusAssignFloatExpr, TPlusAssignExpr);
TVS_OP_ASSIGN(TMinusAssignFloatExpr, TMinusAssignExpr);
TVS_OP_ASSIGN(TMultAssignFloatExpr, TMultAssignExpr);
TVS_OP_ASSIGN(TMultAssignIntExpr, TMultAssignExpr);
TVS_OP_ASSIGN(TDivideAssignExpr, TOpAssignExpr);

#undef TVS_OP_ASSIGN

// On an integer variable these become in-place increments and decrements.
class TPlusAssignIntExpr final : public TPlusAssignExpr {
public:
    using TPlusAssignExpr::TPlusAssignExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TMinusAssignIntExpr final : public TMinusAssignExpr {
public:
    using TMinusAssignExpr::TMinusAssignExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

// On a string variable this becomes an in-place append.
class TPlusAssignStrExpr final : public TPlusAssignExpr {
public:
    using TPlusAssignExpr::TPlusAssignExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

// Fills a location with its type's initial values (0, 0.0, '', False, nil,
// records and static arrays element by element).
class TInitDataExpr final : public TNoResultExpr {
public:
    TInitDataExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> expr);
    TExprBase* GetSubExpr(int /*index*/) const override { return FExpr.get(); }
    int GetSubExprCount() const override { return 1; }
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    std::unique_ptr<TDataExpr> FExpr;
};

// ---------------------------------------------------------------------------
// Operators
// ---------------------------------------------------------------------------

// Declares a binary operator of a family: the class defines only its
// family's native evaluation.
#define TVS_BINARY_OP(Name, Family, Signature)                                                     \
    class Name final : public Family {                                                             \
    public:                                                                                        \
        using Family::Family;                                                                      \
        Signature const override;                                                                  \
    }

#define TVS_INT_BINOP(Name)                                                                        \
    TVS_BINARY_OP(Name, TIntegerBinOpExpr, int64_t EvalAsInteger(TtvsExecution& exec))
#define TVS_FLOAT_BINOP(Name)                                                                      \
    TVS_BINARY_OP(Name, TFloatBinOpExpr, double EvalAsFloat(TtvsExecution& exec))
#define TVS_BOOL_BINOP(Name)                                                                       \
    TVS_BINARY_OP(Name, TBooleanBinOpExpr, bool EvalAsBoolean(TtvsExecution& exec))
#define TVS_VARIANT_BINOP(Name)                                                                    \
    TVS_BINARY_OP(Name, TVariantBinOpExpr, void EvalAsVariant(TtvsExecution& exec, Variant& result))

// Integers wrap; div, mod, *, shl and shr evaluate their right operand first.
TVS_INT_BINOP(TAddIntExpr);
TVS_INT_BINOP(TSubIntExpr);
TVS_INT_BINOP(TDivExpr);
TVS_INT_BINOP(TModExpr);
TVS_INT_BINOP(TIntAndExpr);
TVS_INT_BINOP(TIntOrExpr);
TVS_INT_BINOP(TIntXorExpr);
TVS_INT_BINOP(TShlExpr);
TVS_INT_BINOP(TShrExpr);
TVS_INT_BINOP(TSarExpr);

// x * x on one variable becomes a square.
class TMultIntExpr final : public TIntegerBinOpExpr {
public:
    using TIntegerBinOpExpr::TIntegerBinOpExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

TVS_FLOAT_BINOP(TAddFloatExpr);
TVS_FLOAT_BINOP(TSubFloatExpr);
// Always a float division, also of two integers.
TVS_FLOAT_BINOP(TDivideExpr);

class TMultFloatExpr final : public TFloatBinOpExpr {
public:
    using TFloatBinOpExpr::TFloatBinOpExpr;
    double EvalAsFloat(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TAddStrExpr final : public TStringBinOpExpr {
public:
    using TStringBinOpExpr::TStringBinOpExpr;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
};

// and, or and implies short-circuit; xor evaluates both.
TVS_BOOL_BINOP(TBoolAndExpr);
TVS_BOOL_BINOP(TBoolOrExpr);
TVS_BOOL_BINOP(TBoolXorExpr);
TVS_BOOL_BINOP(TBoolImpliesExpr);

TVS_VARIANT_BINOP(TAddVariantExpr);
TVS_VARIANT_BINOP(TSubVariantExpr);
TVS_VARIANT_BINOP(TMultVariantExpr);
TVS_VARIANT_BINOP(TVariantAndExpr);
TVS_VARIANT_BINOP(TVariantOrExpr);
TVS_VARIANT_BINOP(TVariantXorExpr);

#define TVS_UNARY_OP(Name, Family, Signature)                                                      \
    class Name final : public Family {                                                             \
    public:                                                                                        \
        using Family::Family;                                                                      \
        Signature const override;                                                                  \
    }

#define TVS_INT_UNOP(Name)                                                                         \
    TVS_UNARY_OP(Name, TUnaryOpIntExpr, int64_t EvalAsInteger(TtvsExecution& exec))
#define TVS_FLOAT_UNOP(Name)                                                                       \
    TVS_UNARY_OP(Name, TUnaryOpFloatExpr, double EvalAsFloat(TtvsExecution& exec))
#define TVS_BOOL_UNOP(Name)                                                                        \
    TVS_UNARY_OP(Name, TUnaryOpBoolExpr, bool EvalAsBoolean(TtvsExecution& exec))

// The most negative integer stays itself under negation and Abs.
TVS_INT_UNOP(TNegIntExpr);
TVS_INT_UNOP(TNotIntExpr);
TVS_INT_UNOP(TAbsIntExpr);
// The operand is evaluated once.
TVS_INT_UNOP(TSqrIntExpr);
TVS_INT_UNOP(TOrdIntExpr);
TVS_INT_UNOP(TOrdBoolExpr);
TVS_INT_UNOP(TOrdStrExpr);
TVS_INT_UNOP(TConvIntegerExpr);

TVS_FLOAT_UNOP(TNegFloatExpr);
TVS_FLOAT_UNOP(TAbsFloatExpr);
TVS_FLOAT_UNOP(TSqrFloatExpr);
TVS_FLOAT_UNOP(TConvFloatExpr);

TVS_BOOL_UNOP(TNotBoolExpr);
TVS_BOOL_UNOP(TConvBoolExpr);

class TConvStringExpr final : public TUnaryOpStringExpr {
public:
    using TUnaryOpStringExpr::TUnaryOpStringExpr;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
};

#define TVS_VARIANT_UNOP(Name)                                                                     \
    TVS_UNARY_OP(Name, TUnaryOpVariantExpr,                                                        \
                 void EvalAsVariant(TtvsExecution& exec, Variant& result))

TVS_VARIANT_UNOP(TNegVariantExpr);
TVS_VARIANT_UNOP(TNotVariantExpr);
// Always a float: the operand's value as float, made positive.
TVS_VARIANT_UNOP(TAbsVariantExpr);
TVS_VARIANT_UNOP(TConvVariantExpr);

inline constexpr char16_t OrdinalExpectedMsg[] = u"Ordinal expected";

// Ord of a Variant: dispatches on what the value holds.
class TOrdExpr final : public TUnaryOpIntExpr {
public:
    using TUnaryOpIntExpr::TUnaryOpIntExpr;
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
};

// ---------------------------------------------------------------------------
// Control flow
// ---------------------------------------------------------------------------

// A block with its own declarations. Every block records the statement an
// exception passes first as the error location, so that errors raised
// without a position (an integer division by zero) are reported at their
// statement.
class TBlockExpr final : public TBlockExprBase {
public:
    explicit TBlockExpr(const TScriptPos& pos, std::unique_ptr<TSymbolTable> table = nullptr);
    ~TBlockExpr() override;

    void EvalNoResult(TtvsExecution& exec) const override;
    // Drops empty statements; without declarations of its own the block
    // becomes a plain block, its single statement, or an empty statement.
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
    TSymbolTable* Table() const { return FTable.get(); }

private:
    std::unique_ptr<TSymbolTable> FTable;
};

class TBlockExprNoTable final : public TBlockExprBase {
public:
    using TBlockExprBase::TBlockExprBase;
    void EvalNoResult(TtvsExecution& exec) const override;
};

// Blocks of exactly two, three and four statements, unrolled.
class TBlockExprNoTable2 final : public TBlockExprBase {
public:
    using TBlockExprBase::TBlockExprBase;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TBlockExprNoTable3 final : public TBlockExprBase {
public:
    using TBlockExprBase::TBlockExprBase;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TBlockExprNoTable4 final : public TBlockExprBase {
public:
    using TBlockExprBase::TBlockExprBase;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TIfThenExpr : public TNoResultExpr {
public:
    TIfThenExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
                std::unique_ptr<TNoResultExpr> thenExpr);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

protected:
    std::unique_ptr<TTypedExpr> FCond;
    std::unique_ptr<TNoResultExpr> FThen;
};

class TIfThenElseExpr final : public TIfThenExpr {
public:
    TIfThenElseExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
                    std::unique_ptr<TNoResultExpr> thenExpr,
                    std::unique_ptr<TNoResultExpr> elseExpr);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 3; }
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

private:
    std::unique_ptr<TNoResultExpr> FElse;
};

// One label of a case statement (a value or a range). Several labels of
// one list share a statement; only the first owns it.
class TCaseCondition {
public:
    TCaseCondition(const TScriptPos& pos, TNoResultExpr* statement, bool ownsStatement)
        : FScriptPos(pos)
        , FStatement(statement)
        , FOwnsStatement(ownsStatement)
    {}
    virtual ~TCaseCondition();
    TCaseCondition(const TCaseCondition&) = delete;
    TCaseCondition& operator=(const TCaseCondition&) = delete;

    virtual TExprBase* GetSubExpr(int index) const;
    virtual int GetSubExprCount() const { return 1; }
    virtual bool IsTrue(TtvsExecution& exec, const Variant& value) const = 0;
    // Compile-time check of the label against the case value's type.
    virtual void TypeCheck(TtvsProgram& prog, TTypeSymbol* valueType) const = 0;
    virtual bool IsConstant() const = 0;

    const TScriptPos& ScriptPos() const { return FScriptPos; }
    TNoResultExpr* Statement() const { return FStatement; }

protected:
    TScriptPos FScriptPos;
    TNoResultExpr* FStatement;
    bool FOwnsStatement;
};

inline constexpr char16_t IncompatibleCaseTypesMsg[] = u"Incompatible types: \"%s\" and \"%s\"";
inline constexpr char16_t IncompatibleRangeTypesMsg[] =
    u"Range start and range stop are of incompatible types: \"%s\" and \"%s\"";

class TCompareCaseCondition final : public TCaseCondition {
public:
    TCompareCaseCondition(const TScriptPos& pos, TNoResultExpr* statement, bool ownsStatement,
                          std::unique_ptr<TTypedExpr> value);
    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    bool IsTrue(TtvsExecution& exec, const Variant& value) const override;
    void TypeCheck(TtvsProgram& prog, TTypeSymbol* valueType) const override;
    bool IsConstant() const override { return FValue->IsConstant(); }

private:
    std::unique_ptr<TTypedExpr> FValue;
};

class TRangeCaseCondition final : public TCaseCondition {
public:
    TRangeCaseCondition(const TScriptPos& pos, TNoResultExpr* statement, bool ownsStatement,
                        std::unique_ptr<TTypedExpr> fromExpr, std::unique_ptr<TTypedExpr> toExpr);
    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 3; }
    bool IsTrue(TtvsExecution& exec, const Variant& value) const override;
    void TypeCheck(TtvsProgram& prog, TTypeSymbol* valueType) const override;
    bool IsConstant() const override { return FFrom->IsConstant() && FTo->IsConstant(); }

private:
    std::unique_ptr<TTypedExpr> FFrom;
    std::unique_ptr<TTypedExpr> FTo;
};

class TCaseExpr final : public TNoResultExpr {
public:
    TCaseExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> value);

    void AddCondition(std::unique_ptr<TCaseCondition> condition);
    void SetElse(std::unique_ptr<TNoResultExpr> elseExpr) { FElse = std::move(elseExpr); }
    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override;
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    std::unique_ptr<TTypedExpr> FValue;
    std::vector<std::unique_ptr<TCaseCondition>> FConditions;
    std::unique_ptr<TNoResultExpr> FElse;
};

// How a loop runs one round of its body. A body that is a block without
// declarations has its statements run in a row with one stop check for the
// whole round, instead of one per statement and one for the block.
class TLoopRound final {
public:
    // Looks at the loop's body once it is final (the loop's Optimize).
    void Prepare(const TNoResultExpr& body);
    // False when break or exit ends the loop.
    bool Run(TtvsExecution& exec, const TNoResultExpr& body) const;

private:
    // The statements of the body, when it qualifies (owned by the body).
    // Taken when the loop is optimised; the body does not change after that.
    std::vector<const TNoResultExpr*> FStatements;
};

inline constexpr char16_t ForStepNotPositiveMsg[] =
    u"FOR loop STEP should be strictly positive: %d";
inline constexpr char16_t IntegerOverflowMsg[] = u"Integer overflow";

// for v := from to|downto to [step s] do body. The counter lives in the
// variable's slot, which the body sees directly; it keeps its value after
// the loop.
class TForExpr : public TNoResultExpr {
public:
    TForExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> var,
             std::unique_ptr<TTypedExpr> fromExpr, std::unique_ptr<TTypedExpr> toExpr,
             std::unique_ptr<TNoResultExpr> body);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 4; }
    // Lets a body that is a plain block run its statements directly.
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

protected:
    std::unique_ptr<TIntVarExpr> FVar;
    std::unique_ptr<TTypedExpr> FFrom;
    std::unique_ptr<TTypedExpr> FTo;
    std::unique_ptr<TNoResultExpr> FBody;
    TLoopRound FRound;
};

class TForUpwardExpr final : public TForExpr {
public:
    using TForExpr::TForExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TForDownwardExpr final : public TForExpr {
public:
    using TForExpr::TForExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TForStepExpr : public TForExpr {
public:
    TForStepExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> var,
                 std::unique_ptr<TTypedExpr> fromExpr, std::unique_ptr<TTypedExpr> toExpr,
                 std::unique_ptr<TTypedExpr> step, std::unique_ptr<TNoResultExpr> body);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 5; }

protected:
    // The step, checked to be positive before the first round.
    int64_t EvalStep(TtvsExecution& exec) const;
    std::unique_ptr<TTypedExpr> FStep;
};

class TForUpwardStepExpr final : public TForStepExpr {
public:
    using TForStepExpr::TForStepExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
};

class TForDownwardStepExpr final : public TForStepExpr {
public:
    using TForStepExpr::TForStepExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
};

// for c in s [step n] do body: the string is read once when the loop
// starts, and its characters, each as a one-character string, are stored in
// turn into the control variable before each round. Changing the string in
// the body does not change the characters visited.
class TForInStringExpr final : public TNoResultExpr {
public:
    // step may be nil (every character).
    TForInStringExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> var,
                     std::unique_ptr<TTypedExpr> str, std::unique_ptr<TTypedExpr> step,
                     std::unique_ptr<TNoResultExpr> body);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return FStep ? 4 : 3; }
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

private:
    std::unique_ptr<TDataExpr> FVar;
    std::unique_ptr<TTypedExpr> FStr;
    std::unique_ptr<TTypedExpr> FStep;
    std::unique_ptr<TNoResultExpr> FBody;
    TLoopRound FRound;
};

// Runs its body until exit, break or an exception (while True).
class TLoopExpr : public TNoResultExpr {
public:
    TLoopExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
              std::unique_ptr<TNoResultExpr> body);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

protected:
    std::unique_ptr<TTypedExpr> FCond;
    std::unique_ptr<TNoResultExpr> FBody;
    TLoopRound FRound;
};

class TWhileExpr final : public TLoopExpr {
public:
    using TLoopExpr::TLoopExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TRepeatExpr final : public TLoopExpr {
public:
    using TLoopExpr::TLoopExpr;
    void EvalNoResult(TtvsExecution& exec) const override;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TBreakExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& exec) const override { exec.SetStatus(fsBreak); }
};

class TContinueExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& exec) const override { exec.SetStatus(fsContinue); }
};

class TExitExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& exec) const override { exec.SetStatus(fsExit); }
};

// exit(value): assigns the result first.
class TExitValueExpr final : public TNoResultExpr {
public:
    TExitValueExpr(const TScriptPos& pos, std::unique_ptr<TNoResultExpr> assignExpr);
    TExprBase* GetSubExpr(int /*index*/) const override { return FAssignExpr.get(); }
    int GetSubExprCount() const override { return 1; }
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    std::unique_ptr<TNoResultExpr> FAssignExpr;
};

// Print and PrintLn as a statement: the argument as text goes to the
// running execution's result (PrintLn adds CR LF).
class TPrintExpr final : public TNoResultExpr {
public:
    TPrintExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> arg, bool newLine);
    TExprBase* GetSubExpr(int /*index*/) const override { return FArg.get(); }
    int GetSubExprCount() const override { return 1; }
    void EvalNoResult(TtvsExecution& exec) const override;

private:
    std::unique_ptr<TTypedExpr> FArg;
    bool FNewLine;
};
