#include "tvsCoreExprs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <typeinfo>

#include "tvsGuardian.h"

// ---------------------------------------------------------------------------
// Constants

namespace {

int32_t SizeOfType(const TTypeSymbol* typ)
{
    return typ != nullptr && typ->Size() > 0 ? typ->Size() : 1;
}

} // namespace

TConstExpr::TConstExpr(TTypeSymbol* typ, const Variant& value)
    : TDataExpr(typ)
    , FData(static_cast<size_t>(SizeOfType(typ)))
{
    FData[0] = value;
}

TConstExpr::TConstExpr(TTypeSymbol* typ, const TData& data, int32_t addr)
    : TDataExpr(typ)
    , FData(static_cast<size_t>(SizeOfType(typ)))
{
    CopyData(data, addr, FData, 0, SizeOfType(typ));
}

TData& TConstExpr::GetData(TtvsExecution& /*exec*/) const
{
    return FData;
}

void TConstExpr::EvalAsVariant(TtvsExecution& /*exec*/, Variant& result) const
{
    result = FData[0];
}

bool TConstExpr::SameValueAs(const TConstExpr& other) const
{
    return FData.size() == other.FData.size()
           && SameData(FData, 0, other.FData, 0, static_cast<int32_t>(FData.size()));
}

TConstBooleanExpr::TConstBooleanExpr(TTypeSymbol* typ, bool value)
    : TUnifiedConstExpr(typ, Variant(value))
    , FValue(value)
{}

TConstIntExpr::TConstIntExpr(TTypeSymbol* typ, int64_t value)
    : TUnifiedConstExpr(typ, Variant(value))
    , FValue(value)
{}

TConstFloatExpr::TConstFloatExpr(TTypeSymbol* typ, double value)
    : TUnifiedConstExpr(typ, Variant(value))
    , FValue(value)
{}

TConstStringExpr::TConstStringExpr(TTypeSymbol* typ, const UnicodeString& value)
    : TUnifiedConstExpr(typ, Variant(UnifyString(value.View())))
    , FValue(FData[0].VString())
{}

namespace {

// The list's order: class, then type identity, then kind, then value. Only
// equality matters to the users; the order just makes lookup a bisection.
int CompareConsts(const TUnifiedConstExpr& a, const TUnifiedConstExpr& b)
{
    const std::type_info& ta = typeid(a);
    const std::type_info& tb = typeid(b);
    if (ta != tb)
        return ta.before(tb) ? -1 : 1;
    if (a.Typ() != b.Typ())
        return std::less<const TTypeSymbol*>()(a.Typ(), b.Typ()) ? -1 : 1;
    const Variant& va = a.Data()[0];
    const Variant& vb = b.Data()[0];
    if (va.Type() != vb.Type())
        return va.Type() < vb.Type() ? -1 : 1;
    switch (va.Type()) {
    case varBoolean:
        return static_cast<int>(va.VBoolean()) - static_cast<int>(vb.VBoolean());
    case varInt64:
        return va.VInt64() < vb.VInt64() ? -1 : va.VInt64() > vb.VInt64() ? 1 : 0;
    case varUString: {
        const auto order = va.VString().View() <=> vb.VString().View();
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    case varDouble: {
        // Bit patterns keep 0.0 and -0.0 (and NaNs) apart and ordered.
        const double da = va.VDouble();
        const double db = vb.VDouble();
        if (da < db)
            return -1;
        if (da > db)
            return 1;
        return std::signbit(da) == std::signbit(db) ? (std::isnan(da) == std::isnan(db) ? 0 : 1)
               : std::signbit(da)                   ? -1
                                                    : 1;
    }
    default:
        switch (VarCompareValue(va, vb)) {
        case TVariantRelationship::vrLessThan:
            return -1;
        case TVariantRelationship::vrGreaterThan:
            return 1;
        default:
            return 0;
        }
    }
}

} // namespace

TUnifiedConstList::TUnifiedConstList() = default;

TUnifiedConstList::~TUnifiedConstList()
{
    for (TUnifiedConstExpr* expr : FItems) {
        expr->SetSharedNode(false);
        delete expr;
    }
}

TUnifiedConstExpr* TUnifiedConstList::Add(std::unique_ptr<TUnifiedConstExpr> expr)
{
    const auto pos = std::lower_bound(FItems.begin(), FItems.end(), expr.get(),
                                      [](const TUnifiedConstExpr* a, const TUnifiedConstExpr* b) {
                                          return CompareConsts(*a, *b) < 0;
                                      });
    if (pos != FItems.end() && CompareConsts(**pos, *expr) == 0)
        return *pos;
    expr->SetSharedNode(true);
    TUnifiedConstExpr* added = expr.release();
    FItems.insert(pos, added);
    return added;
}

TConstBooleanExpr* UnifiedConstBoolean(TtvsProgram& prog, TTypeSymbol* typ, bool value)
{
    auto expr = std::make_unique<TConstBooleanExpr>(typ ? typ : prog.TypBoolean(), value);
    return static_cast<TConstBooleanExpr*>(prog.Root().UnifiedConstList().Add(std::move(expr)));
}

TConstIntExpr* UnifiedConstInt(TtvsProgram& prog, TTypeSymbol* typ, int64_t value)
{
    auto expr = std::make_unique<TConstIntExpr>(typ ? typ : prog.TypInteger(), value);
    return static_cast<TConstIntExpr*>(prog.Root().UnifiedConstList().Add(std::move(expr)));
}

TConstFloatExpr* UnifiedConstFloat(TtvsProgram& prog, TTypeSymbol* typ, double value)
{
    auto expr = std::make_unique<TConstFloatExpr>(typ ? typ : prog.TypFloat(), value);
    return static_cast<TConstFloatExpr*>(prog.Root().UnifiedConstList().Add(std::move(expr)));
}

TConstStringExpr* UnifiedConstString(TtvsProgram& prog, TTypeSymbol* typ,
                                     const UnicodeString& value)
{
    auto expr = std::make_unique<TConstStringExpr>(typ ? typ : prog.TypString(), value);
    return static_cast<TConstStringExpr*>(prog.Root().UnifiedConstList().Add(std::move(expr)));
}

TConstExpr* CreateUnifiedConst(TtvsProgram& prog, TTypeSymbol* typ, const Variant& value)
{
    const TTypeSymbol* base = typ != nullptr ? typ->BaseType() : nullptr;
    if (base != nullptr) {
        if (base == prog.TypString())
            return UnifiedConstString(prog, typ, value.ToString());
        if (base == prog.TypInteger())
            return UnifiedConstInt(prog, typ, value.ToInteger());
        if (base == prog.TypBoolean())
            return UnifiedConstBoolean(prog, typ, value.ToBoolean());
        if (base == prog.TypFloat())
            return UnifiedConstFloat(prog, typ, value.ToFloat());
    }
    return new TConstExpr(typ, value);
}

TConstExpr* CreateTypedConst(TtvsProgram& prog, TTypeSymbol* typ, const TData& data, int32_t addr)
{
    if (SizeOfType(typ) == 1)
        return CreateUnifiedConst(prog, typ, data[static_cast<size_t>(addr)]);
    return new TConstExpr(typ, data, addr);
}

Variant TResourceStringExpr::Eval(TtvsExecution& exec) const
{
    return Variant(exec.LocalizeSymbol(*FSymbol));
}

void TResourceStringExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    result = exec.LocalizeSymbol(*FSymbol);
}

// ---------------------------------------------------------------------------
// Variables

Variant& TVarExpr::Slot(TtvsExecution& exec) const
{
    TStack& stack = exec.Stack();
    return stack.Slot(stack.BasePointer() + FStackAddr);
}

int32_t TVarExpr::GetAddr(TtvsExecution& exec) const
{
    return exec.Stack().BasePointer() + FStackAddr;
}

TData& TVarExpr::GetData(TtvsExecution& exec) const
{
    return exec.Stack().Data();
}

void TVarExpr::AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const
{
    // The source may call routines that grow the stack: take the slot after.
    Variant value;
    source.EvalAsVariant(exec, value);
    Slot(exec) = std::move(value);
}

bool TVarExpr::SameVarAs(const TExprBase& other) const
{
    if (typeid(other) != typeid(*this))
        return false;
    const auto& var = static_cast<const TVarExpr&>(other);
    return var.FStackAddr == FStackAddr;
}

void TIntVarExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    Slot(exec).SetInteger(value.ToInteger());
}

int64_t TIntVarExpr::IncValue(TtvsExecution& exec, int64_t delta) const
{
    Variant& slot = Slot(exec);
    const int64_t value = IntAdd(slot.ToInteger(), delta);
    slot.SetInteger(value);
    return value;
}

void TFloatVarExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    Slot(exec).SetFloat(value.ToFloat());
}

void TStrVarExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    Slot(exec).SetString(value.ToString());
}

void TStrVarExpr::AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const
{
    UnicodeString value;
    source.EvalAsString(exec, value);
    Slot(exec).SetString(std::move(value));
}

void TStrVarExpr::Append(TtvsExecution& exec, std::u16string_view text) const
{
    exec.Stack().AppendStringValue(GetAddr(exec), text);
}

bool TStrVarExpr::SetChar(TtvsExecution& exec, int64_t index, char16_t c) const
{
    return exec.Stack().SetStrChar(GetAddr(exec), index, c);
}

void TBoolVarExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    Slot(exec).SetBoolean(value.ToBoolean());
}

int32_t TVarParentExpr::GetAddr(TtvsExecution& exec) const
{
    return exec.Stack().GetSavedBp(FLevel) + FStackAddr;
}

Variant TVarParentExpr::Eval(TtvsExecution& exec) const
{
    return exec.Stack().Slot(GetAddr(exec));
}

void TVarParentExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    result = exec.Stack().Slot(GetAddr(exec));
}

void TVarParentExpr::AssignValue(TtvsExecution& exec, const Variant& value) const
{
    exec.Stack().Slot(GetAddr(exec)) = value;
}

void TVarParentExpr::AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const
{
    Variant value;
    source.EvalAsVariant(exec, value);
    exec.Stack().Slot(GetAddr(exec)) = std::move(value);
}

// ---------------------------------------------------------------------------
// Assignments

TAssignExpr::TAssignExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> left,
                         std::unique_ptr<TTypedExpr> right)
    : TNoResultExpr(pos)
    , FLeft(std::move(left))
    , FRight(std::move(right))
    , FIntVarTarget(FLeft != nullptr && typeid(*FLeft) == typeid(TIntVarExpr))
{}

TExprBase* TAssignExpr::GetSubExpr(int index) const
{
    return index == 0 ? static_cast<TExprBase*>(FLeft.get()) : FRight.get();
}

void TAssignExpr::EvalNoResult(TtvsExecution& exec) const
{
    if (FIntVarTarget)
        static_cast<const TIntVarExpr&>(*FLeft).AssignExpr(exec, *FRight);
    else
        FLeft->AssignExpr(exec, *FRight);
}

TExprBase* TAssignExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (FRight->IsConstant()) {
        if (ExprIsOfType(FRight.get(), prog.TypInteger()))
            return new TAssignConstToIntegerVarExpr(FScriptPos, std::move(FLeft),
                                                    FRight->EvalAsInteger(exec));
        if (ExprIsOfType(FRight.get(), prog.TypFloat()))
            return new TAssignConstToFloatVarExpr(FScriptPos, std::move(FLeft),
                                                  FRight->EvalAsFloat(exec));
        if (ExprIsOfType(FRight.get(), prog.TypBoolean()))
            return new TAssignConstToBoolVarExpr(FScriptPos, std::move(FLeft),
                                                 FRight->EvalAsBoolean(exec));
        if (ExprIsOfType(FRight.get(), prog.TypString())) {
            UnicodeString value;
            FRight->EvalAsString(exec, value);
            return new TAssignConstToStringVarExpr(FScriptPos, std::move(FLeft), std::move(value));
        }
        return this;
    }
    const std::type_info& leftClass = typeid(*FLeft);
    const std::type_info& rightClass = typeid(*FRight);
    if (leftClass == typeid(TIntVarExpr)) {
        if (TExprBase* fused = FuseIntVarAssign())
            return fused;
    }
    if (leftClass == typeid(TIntVarExpr)
        && (rightClass == typeid(TAddIntExpr) || rightClass == typeid(TSubIntExpr))) {
        auto& op = static_cast<TBinaryOpExpr&>(*FRight);
        auto& var = static_cast<TIntVarExpr&>(*FLeft);
        if (var.SameVarAs(*op.Left())) {
            std::unique_ptr<TIntVarExpr> target(static_cast<TIntVarExpr*>(FLeft.release()));
            if (rightClass == typeid(TAddIntExpr))
                return new TIncIntVarExpr(FScriptPos, std::move(target), op.ExtractRight());
            return new TDecIntVarExpr(FScriptPos, std::move(target), op.ExtractRight());
        }
    }
    if (leftClass == typeid(TStrVarExpr) && rightClass == typeid(TAddStrExpr)) {
        auto& op = static_cast<TAddStrExpr&>(*FRight);
        auto& var = static_cast<TStrVarExpr&>(*FLeft);
        if (var.SameVarAs(*op.Left())) {
            std::unique_ptr<TStrVarExpr> target(static_cast<TStrVarExpr*>(FLeft.release()));
            if (typeid(*op.Right()) == typeid(TConstStringExpr)) {
                const UnicodeString text = static_cast<TConstStringExpr&>(*op.Right()).Value();
                return new TAppendConstStringVarExpr(FScriptPos, std::move(target), text);
            }
            return new TAppendStringVarExpr(FScriptPos, std::move(target), op.ExtractRight());
        }
        // s := s + a + b reads as (s + a) + b. Built as it stands, every pass
        // copies the whole of s, and a loop that grows a text this way takes
        // quadratic time. Concatenation is associative, so it appends a + b
        // to s in place instead, which is the same text.
        TAddStrExpr* outer = nullptr;
        TAddStrExpr* inner = &op;
        while (typeid(*inner->Left()) == typeid(TAddStrExpr)) {
            outer = inner;
            inner = static_cast<TAddStrExpr*>(inner->Left());
        }
        if (outer != nullptr && var.SameVarAs(*inner->Left())) {
            outer->SetLeft(inner->ExtractRight()); // frees inner and its read of s
            std::unique_ptr<TStrVarExpr> target(static_cast<TStrVarExpr*>(FLeft.release()));
            return new TAppendStringVarExpr(FScriptPos, std::move(target), std::move(FRight));
        }
    }
    return this;
}

TIntLeaf TIntLeaf::Of(const TTypedExpr& expr)
{
    TIntLeaf leaf;
    leaf.Expr = &expr;
    const std::type_info& cls = typeid(expr);
    if (cls == typeid(TIntVarExpr)) {
        leaf.Kind = ilVar;
        leaf.Addr = static_cast<const TIntVarExpr&>(expr).StackAddr();
    } else if (cls == typeid(TConstIntExpr)) {
        leaf.Kind = ilConst;
        leaf.Value = static_cast<const TConstIntExpr&>(expr).Value();
    } else if (cls == typeid(TSqrIntExpr)) {
        const TTypedExpr* operand = static_cast<const TSqrIntExpr&>(expr).Expr();
        if (operand != nullptr && typeid(*operand) == typeid(TIntVarExpr)) {
            leaf.Kind = ilSqrVar;
            leaf.Addr = static_cast<const TIntVarExpr&>(*operand).StackAddr();
        }
    }
    return leaf;
}

TIntTerm TIntTerm::Of(const TTypedExpr& expr)
{
    TIntTerm term;
    const std::type_info& cls = typeid(expr);
    if (cls == typeid(TAddIntExpr) || cls == typeid(TSubIntExpr)) {
        const auto& op = static_cast<const TBinaryOpExpr&>(expr);
        term.Kind = cls == typeid(TAddIntExpr) ? itAdd : itSub;
        term.A = TIntLeaf::Of(*op.Left());
        term.B = TIntLeaf::Of(*op.Right());
    } else {
        term.A = TIntLeaf::Of(expr);
    }
    return term;
}

// The shapes of integer assignment a loop body is mostly made of, as
// single nodes: fewer calls, and no division for a constant modulus.
TExprBase* TAssignExpr::FuseIntVarAssign()
{
    auto* op = dynamic_cast<TIntegerBinOpExpr*>(FRight.get());
    if (op == nullptr)
        return nullptr;
    const std::type_info& opClass = typeid(*op);
    if (opClass == typeid(TModExpr) && typeid(*op->Right()) == typeid(TConstIntExpr)) {
        const int64_t divisor = static_cast<const TConstIntExpr&>(*op->Right()).Value();
        // 0 must raise, and -1 would trap on the most negative dividend:
        // the plain node handles both.
        if (divisor == 0 || divisor == -1)
            return nullptr;
        std::unique_ptr<TIntVarExpr> target(static_cast<TIntVarExpr*>(FLeft.release()));
        return new TAssignModConstToIntVarExpr(FScriptPos, std::move(target), op->ExtractLeft(),
                                               divisor);
    }
    TIntSelfOp selfOp;
    if (opClass == typeid(TIntXorExpr))
        selfOp = TIntSelfOp::isoXor;
    else if (opClass == typeid(TIntAndExpr))
        selfOp = TIntSelfOp::isoAnd;
    else if (opClass == typeid(TIntOrExpr))
        selfOp = TIntSelfOp::isoOr;
    else
        return nullptr;
    if (!static_cast<TIntVarExpr&>(*FLeft).SameVarAs(*op->Left()))
        return nullptr;
    std::unique_ptr<TIntVarExpr> target(static_cast<TIntVarExpr*>(FLeft.release()));
    return new TIntVarSelfOpExpr(FScriptPos, std::move(target), op->ExtractRight(), selfOp);
}

TAssignModConstToIntVarExpr::TAssignModConstToIntVarExpr(const TScriptPos& pos,
                                                         std::unique_ptr<TIntVarExpr> left,
                                                         std::unique_ptr<TTypedExpr> dividend,
                                                         int64_t divisor)
    : TAssignExpr(pos, std::move(left), std::move(dividend))
    , FDividend(TIntTerm::Of(*FRight))
    , FDivisor(divisor)
    , FTargetAddr(static_cast<const TIntVarExpr&>(*FLeft).StackAddr())
{}

void TAssignModConstToIntVarExpr::EvalNoResult(TtvsExecution& exec) const
{
    // The divisor is neither 0 nor -1, so the native remainder cannot trap.
    const int64_t remainder = FDividend.Eval(exec) % FDivisor;
    TStack& stack = exec.Stack();
    stack.WriteIntValue(stack.BasePointer() + FTargetAddr, remainder);
}

TIntVarSelfOpExpr::TIntVarSelfOpExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                                     std::unique_ptr<TTypedExpr> operand, TIntSelfOp op)
    : TAssignExpr(pos, std::move(left), std::move(operand))
    , FOperand(TIntTerm::Of(*FRight))
    , FOp(op)
    , FTargetAddr(static_cast<const TIntVarExpr&>(*FLeft).StackAddr())
{}

void TIntVarSelfOpExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t current = exec.Stack().ReadIntValue(exec.Stack().BasePointer() + FTargetAddr);
    const int64_t operand = FOperand.Eval(exec);
    int64_t result = 0;
    switch (FOp) {
    case TIntSelfOp::isoXor:
        result = current ^ operand;
        break;
    case TIntSelfOp::isoAnd:
        result = current & operand;
        break;
    case TIntSelfOp::isoOr:
        result = current | operand;
        break;
    }
    // The slot is taken after the operand: evaluating it may grow the stack.
    TStack& stack = exec.Stack();
    stack.WriteIntValue(stack.BasePointer() + FTargetAddr, result);
}

TIncIntVarExpr::TIncIntVarExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                               std::unique_ptr<TTypedExpr> delta)
    : TAssignExpr(pos, std::move(left), std::move(delta))
{}

void TIncIntVarExpr::EvalNoResult(TtvsExecution& exec) const
{
    // The delta first: it may change the variable (a call with a side effect).
    const int64_t delta = FRight->EvalAsInteger(exec);
    static_cast<const TIntVarExpr&>(*FLeft).IncValue(exec, delta);
}

TDecIntVarExpr::TDecIntVarExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> left,
                               std::unique_ptr<TTypedExpr> delta)
    : TAssignExpr(pos, std::move(left), std::move(delta))
{}

void TDecIntVarExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t delta = FRight->EvalAsInteger(exec);
    static_cast<const TIntVarExpr&>(*FLeft).IncValue(exec, IntNeg(delta));
}

TAppendStringVarExpr::TAppendStringVarExpr(const TScriptPos& pos, std::unique_ptr<TStrVarExpr> left,
                                           std::unique_ptr<TTypedExpr> right)
    : TAssignExpr(pos, std::move(left), std::move(right))
{}

void TAppendStringVarExpr::EvalNoResult(TtvsExecution& exec) const
{
    UnicodeString text;
    FRight->EvalAsString(exec, text);
    static_cast<const TStrVarExpr&>(*FLeft).Append(exec, text.View());
}

TAppendConstStringVarExpr::TAppendConstStringVarExpr(const TScriptPos& pos,
                                                     std::unique_ptr<TStrVarExpr> left,
                                                     UnicodeString text)
    : TAssignExpr(pos, std::move(left), nullptr)
    , FText(std::move(text))
{}

void TAppendConstStringVarExpr::EvalNoResult(TtvsExecution& exec) const
{
    static_cast<const TStrVarExpr&>(*FLeft).Append(exec, FText.View());
}

namespace {

// Current value first, then the operand, then the store.
template <Variant (*Op)(const Variant&, const Variant&)>
void VariantOpAssign(const TDataExpr& left, const TTypedExpr& right, TtvsExecution& exec)
{
    Variant current;
    left.EvalAsVariant(exec, current);
    Variant operand;
    right.EvalAsVariant(exec, operand);
    left.AssignValue(exec, Op(current, operand));
}

} // namespace

void TPlusAssignExpr::EvalNoResult(TtvsExecution& exec) const
{
    VariantOpAssign<VarAdd>(*FLeft, *FRight, exec);
}

void TMinusAssignExpr::EvalNoResult(TtvsExecution& exec) const
{
    VariantOpAssign<VarSub>(*FLeft, *FRight, exec);
}

void TMultAssignExpr::EvalNoResult(TtvsExecution& exec) const
{
    VariantOpAssign<VarMul>(*FLeft, *FRight, exec);
}

void TPlusAssignIntExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t current = FLeft->EvalAsInteger(exec);
    FLeft->AssignValueAsInteger(exec, IntAdd(current, FRight->EvalAsInteger(exec)));
}

TExprBase* TPlusAssignIntExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    if (dynamic_cast<TIntVarExpr*>(FLeft.get()) == nullptr)
        return this;
    std::unique_ptr<TIntVarExpr> target(static_cast<TIntVarExpr*>(FLeft.release()));
    return new TIncIntVarExpr(FScriptPos, std::move(target), std::move(FRight));
}

void TMinusAssignIntExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t current = FLeft->EvalAsInteger(exec);
    FLeft->AssignValueAsInteger(exec, IntSub(current, FRight->EvalAsInteger(exec)));
}

TExprBase* TMinusAssignIntExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    if (dynamic_cast<TIntVarExpr*>(FLeft.get()) == nullptr)
        return this;
    std::unique_ptr<TIntVarExpr> target(static_cast<TIntVarExpr*>(FLeft.release()));
    return new TDecIntVarExpr(FScriptPos, std::move(target), std::move(FRight));
}

void TMultAssignIntExpr::EvalNoResult(TtvsExecution& exec) const
{
    const int64_t operand = FRight->EvalAsInteger(exec);
    FLeft->AssignValueAsInteger(exec, IntMul(FLeft->EvalAsInteger(exec), operand));
}

void TPlusAssignFloatExpr::EvalNoResult(TtvsExecution& exec) const
{
    const double current = FLeft->EvalAsFloat(exec);
    FLeft->AssignValueAsFloat(exec, FloatAdd(current, FRight->EvalAsFloat(exec)));
}

void TMinusAssignFloatExpr::EvalNoResult(TtvsExecution& exec) const
{
    const double current = FLeft->EvalAsFloat(exec);
    FLeft->AssignValueAsFloat(exec, FloatSub(current, FRight->EvalAsFloat(exec)));
}

void TMultAssignFloatExpr::EvalNoResult(TtvsExecution& exec) const
{
    const double current = FLeft->EvalAsFloat(exec);
    FLeft->AssignValueAsFloat(exec, FloatMul(current, FRight->EvalAsFloat(exec)));
}

void TDivideAssignExpr::EvalNoResult(TtvsExecution& exec) const
{
    const double current = FLeft->EvalAsFloat(exec);
    FLeft->AssignValueAsFloat(exec, FloatDivide(current, FRight->EvalAsFloat(exec)));
}

void TPlusAssignStrExpr::EvalNoResult(TtvsExecution& exec) const
{
    UnicodeString current;
    FLeft->EvalAsString(exec, current);
    UnicodeString operand;
    FRight->EvalAsString(exec, operand);
    FLeft->AssignValueAsString(exec, Concat(current.View(), operand.View()));
}

TExprBase* TPlusAssignStrExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    if (dynamic_cast<TStrVarExpr*>(FLeft.get()) == nullptr)
        return this;
    std::unique_ptr<TStrVarExpr> target(static_cast<TStrVarExpr*>(FLeft.release()));
    return new TAppendStringVarExpr(FScriptPos, std::move(target), std::move(FRight));
}

TInitDataExpr::TInitDataExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> expr)
    : TNoResultExpr(pos)
    , FExpr(std::move(expr))
{}

void TInitDataExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TDataExpr::TDataPtr target = FExpr->GetDataPtr(exec);
    FExpr->Typ()->InitData(*target.Data, target.Addr);
}

// ---------------------------------------------------------------------------
// Integer operators

int64_t TAddIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t a = LeftInt(exec);
    return IntAdd(a, RightInt(exec));
}

int64_t TSubIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t a = LeftInt(exec);
    return IntSub(a, RightInt(exec));
}

int64_t TMultIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t b = RightInt(exec);
    return IntMul(LeftInt(exec), b);
}

namespace {

// Both operands read the same variable (same class, same address).
bool SameVariable(const TTypedExpr& a, const TTypedExpr& b)
{
    const auto* var = dynamic_cast<const TVarExpr*>(&a);
    return var != nullptr && var->SameVarAs(b);
}

} // namespace

TExprBase* TMultIntExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (SameVariable(*FLeft, *FRight))
        return new TSqrIntExpr(prog, std::move(FLeft));
    return TIntegerBinOpExpr::Optimize(prog, exec);
}

int64_t TDivExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t divisor = RightInt(exec);
    return IntDiv(LeftInt(exec), divisor);
}

int64_t TModExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t divisor = RightInt(exec);
    return IntMod(LeftInt(exec), divisor);
}

int64_t TIntAndExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t a = LeftInt(exec);
    return a & RightInt(exec);
}

int64_t TIntOrExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t a = LeftInt(exec);
    return a | RightInt(exec);
}

int64_t TIntXorExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t a = LeftInt(exec);
    return a ^ RightInt(exec);
}

int64_t TShlExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t count = RightInt(exec);
    return IntShl(LeftInt(exec), count);
}

int64_t TShrExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t count = RightInt(exec);
    return IntShr(LeftInt(exec), count);
}

int64_t TSarExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t value = LeftInt(exec);
    const int64_t count = RightInt(exec);
    if (count == 0)
        return value;
    if (value >= 0)
        return IntShr(value, count);
    if (count > 63)
        return -1;
    // Right shift of a negative value is arithmetic (sign bits come in).
    return value >> (count & 63);
}

int64_t TNegIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return IntNeg(OperandInt(exec));
}

int64_t TNotIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return ~OperandInt(exec);
}

int64_t TAbsIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t value = OperandInt(exec);
    return value < 0 ? IntNeg(value) : value;
}

int64_t TSqrIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    const int64_t value = OperandInt(exec);
    return IntMul(value, value);
}

int64_t TOrdIntExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return OperandInt(exec);
}

int64_t TOrdBoolExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return FExpr->EvalAsBoolean(exec) ? 1 : 0;
}

int64_t TOrdStrExpr::EvalAsInteger(TtvsExecution& exec) const
{
    UnicodeString text;
    FExpr->EvalAsString(exec, text);
    return text.IsEmpty() ? 0 : text[0];
}

int64_t TConvIntegerExpr::EvalAsInteger(TtvsExecution& exec) const
{
    return OperandInt(exec);
}

int64_t TOrdExpr::EvalAsInteger(TtvsExecution& exec) const
{
    Variant value;
    FExpr->EvalAsVariant(exec, value);
    switch (value.Type()) {
    case varInt64:
        return value.VInt64();
    case varDouble: {
        int64_t result = 0;
        if (TryFloatToInt64(value.VDouble(), result))
            return result;
        break;
    }
    case varUString:
        return value.VString().IsEmpty() ? 0 : value.VString()[0];
    case varBoolean:
        return value.VBoolean() ? 1 : 0;
    default:
        break;
    }
    RaiseScriptError(exec, std::u16string(OrdinalExpectedMsg));
}

// ---------------------------------------------------------------------------
// Float operators

double TAddFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const double a = FLeft->EvalAsFloat(exec);
    return FloatAdd(a, FRight->EvalAsFloat(exec));
}

double TSubFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const double a = FLeft->EvalAsFloat(exec);
    return FloatSub(a, FRight->EvalAsFloat(exec));
}

double TMultFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const double a = FLeft->EvalAsFloat(exec);
    return FloatMul(a, FRight->EvalAsFloat(exec));
}

TExprBase* TMultFloatExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (typeid(*FLeft) == typeid(TFloatVarExpr) && SameVariable(*FLeft, *FRight))
        return new TSqrFloatExpr(prog, std::move(FLeft));
    return TFloatBinOpExpr::Optimize(prog, exec);
}

double TDivideExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const double a = FLeft->EvalAsFloat(exec);
    return FloatDivide(a, FRight->EvalAsFloat(exec));
}

double TNegFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    return -FExpr->EvalAsFloat(exec);
}

double TAbsFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    return std::fabs(FExpr->EvalAsFloat(exec));
}

double TSqrFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    const double value = FExpr->EvalAsFloat(exec);
    return FloatMul(value, value);
}

double TConvFloatExpr::EvalAsFloat(TtvsExecution& exec) const
{
    return FExpr->EvalAsFloat(exec);
}

// ---------------------------------------------------------------------------
// String, boolean and variant operators

void TAddStrExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    UnicodeString a;
    FLeft->EvalAsString(exec, a);
    UnicodeString b;
    FRight->EvalAsString(exec, b);
    // In a chain a + b + c + d the left operand is the fresh text of the
    // concatenation below, owned by nobody else: growing it in place keeps
    // the chain linear instead of copying the prefix at every step.
    a.Append(b.View());
    result = std::move(a);
}

void TConvStringExpr::EvalAsString(TtvsExecution& exec, UnicodeString& result) const
{
    FExpr->EvalAsString(exec, result);
}

bool TBoolAndExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return FLeft->EvalAsBoolean(exec) && FRight->EvalAsBoolean(exec);
}

bool TBoolOrExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return FLeft->EvalAsBoolean(exec) || FRight->EvalAsBoolean(exec);
}

bool TBoolXorExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    const bool a = FLeft->EvalAsBoolean(exec);
    return a != FRight->EvalAsBoolean(exec);
}

bool TBoolImpliesExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return !FLeft->EvalAsBoolean(exec) || FRight->EvalAsBoolean(exec);
}

bool TNotBoolExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return !FExpr->EvalAsBoolean(exec);
}

bool TConvBoolExpr::EvalAsBoolean(TtvsExecution& exec) const
{
    return FExpr->EvalAsBoolean(exec);
}

namespace {

template <Variant (*Op)(const Variant&, const Variant&)>
void VariantBinOp(const TBinaryOpExpr& node, TtvsExecution& exec, Variant& result)
{
    Variant a;
    node.Left()->EvalAsVariant(exec, a);
    Variant b;
    node.Right()->EvalAsVariant(exec, b);
    result = Op(a, b);
}

} // namespace

void TAddVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarAdd>(*this, exec, result);
}

void TSubVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarSub>(*this, exec, result);
}

void TMultVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarMul>(*this, exec, result);
}

void TVariantAndExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarAnd>(*this, exec, result);
}

void TVariantOrExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarOr>(*this, exec, result);
}

void TVariantXorExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    VariantBinOp<VarXor>(*this, exec, result);
}

void TNegVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    Variant value;
    FExpr->EvalAsVariant(exec, value);
    result = VarNeg(value);
}

void TNotVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    Variant value;
    FExpr->EvalAsVariant(exec, value);
    result = VarNot(value);
}

void TAbsVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    Variant value;
    FExpr->EvalAsVariant(exec, value);
    result = Variant(std::fabs(value.ToFloat()));
}

void TConvVariantExpr::EvalAsVariant(TtvsExecution& exec, Variant& result) const
{
    FExpr->EvalAsVariant(exec, result);
}

// ---------------------------------------------------------------------------
// Blocks

namespace {

// Runs one statement of a block; the first block an exception passes
// records the statement as where it happened.
inline void RunStatement(TtvsExecution& exec, const TNoResultExpr* statement)
{
    exec.StatementStep(statement);
    try {
        statement->EvalNoResult(exec);
    } catch (...) {
        exec.SetErrorLocation(statement);
        throw;
    }
}

void RunStatements(TtvsExecution& exec, const std::vector<std::unique_ptr<TNoResultExpr>>& list)
{
    for (const auto& statement : list) {
        RunStatement(exec, statement.get());
        if (exec.Status() != fsNone)
            return;
    }
}

} // namespace

TBlockExpr::TBlockExpr(const TScriptPos& pos, std::unique_ptr<TSymbolTable> table)
    : TBlockExprBase(pos)
    , FTable(std::move(table))
{}

TBlockExpr::~TBlockExpr()
{
    // Statements may point at the block's symbols: they go first.
    FStatements.clear();
}

void TBlockExpr::EvalNoResult(TtvsExecution& exec) const
{
    RunStatements(exec, FStatements);
}

namespace {

template <class TBlock> TBlockExprBase* MoveStatements(const TScriptPos& pos, TBlockExprBase& from)
{
    auto* block = new TBlock(pos);
    while (from.StatementCount() > 0)
        block->AddStatement(from.ExtractStatement(0));
    return block;
}

} // namespace

TExprBase* TBlockExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    for (int i = StatementCount() - 1; i >= 0; --i) {
        if (typeid(*Statement(i)) == typeid(TNullExpr))
            ExtractStatement(i);
    }
    if (FTable != nullptr && FTable->Count() > 0)
        return this;
    switch (StatementCount()) {
    case 0:
        return new TNullExpr(FScriptPos);
    case 1:
        return ExtractStatement(0).release();
    case 2:
        return MoveStatements<TBlockExprNoTable2>(FScriptPos, *this);
    case 3:
        return MoveStatements<TBlockExprNoTable3>(FScriptPos, *this);
    case 4:
        return MoveStatements<TBlockExprNoTable4>(FScriptPos, *this);
    default:
        return MoveStatements<TBlockExprNoTable>(FScriptPos, *this);
    }
}

void TBlockExprNoTable::EvalNoResult(TtvsExecution& exec) const
{
    RunStatements(exec, FStatements);
}

void TBlockExprNoTable2::EvalNoResult(TtvsExecution& exec) const
{
    RunStatement(exec, FStatements[0].get());
    if (exec.Status() != fsNone)
        return;
    RunStatement(exec, FStatements[1].get());
}

void TBlockExprNoTable3::EvalNoResult(TtvsExecution& exec) const
{
    RunStatement(exec, FStatements[0].get());
    if (exec.Status() != fsNone)
        return;
    RunStatement(exec, FStatements[1].get());
    if (exec.Status() != fsNone)
        return;
    RunStatement(exec, FStatements[2].get());
}

void TBlockExprNoTable4::EvalNoResult(TtvsExecution& exec) const
{
    for (size_t i = 0; i < 4; ++i) {
        RunStatement(exec, FStatements[i].get());
        if (exec.Status() != fsNone)
            return;
    }
}

// ---------------------------------------------------------------------------
// if and case

TIfThenExpr::TIfThenExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
                         std::unique_ptr<TNoResultExpr> thenExpr)
    : TNoResultExpr(pos)
    , FCond(std::move(cond))
    , FThen(std::move(thenExpr))
{}

TExprBase* TIfThenExpr::GetSubExpr(int index) const
{
    return index == 0 ? static_cast<TExprBase*>(FCond.get()) : FThen.get();
}

void TIfThenExpr::EvalNoResult(TtvsExecution& exec) const
{
    if (FCond->EvalAsBoolean(exec)) {
        exec.StatementStep(FThen.get());
        FThen->EvalNoResult(exec);
    }
}

TExprBase* TIfThenExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& exec)
{
    if (!FCond->IsConstant())
        return this;
    if (FCond->EvalAsBoolean(exec))
        return FThen.release();
    return new TNullExpr(FScriptPos);
}

TIfThenElseExpr::TIfThenElseExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
                                 std::unique_ptr<TNoResultExpr> thenExpr,
                                 std::unique_ptr<TNoResultExpr> elseExpr)
    : TIfThenExpr(pos, std::move(cond), std::move(thenExpr))
    , FElse(std::move(elseExpr))
{}

TExprBase* TIfThenElseExpr::GetSubExpr(int index) const
{
    return index < 2 ? TIfThenExpr::GetSubExpr(index) : FElse.get();
}

void TIfThenElseExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TNoResultExpr* branch = FCond->EvalAsBoolean(exec) ? FThen.get() : FElse.get();
    exec.StatementStep(branch);
    branch->EvalNoResult(exec);
}

TExprBase* TIfThenElseExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& exec)
{
    if (!FCond->IsConstant())
        return this;
    return FCond->EvalAsBoolean(exec) ? FThen.release() : FElse.release();
}

TCaseCondition::~TCaseCondition()
{
    if (FOwnsStatement)
        delete FStatement;
}

TExprBase* TCaseCondition::GetSubExpr(int /*index*/) const
{
    return FStatement;
}

namespace {

// Integer, Float, Variant and enumerations compare with each other in a
// case without a type error.
bool IsOrdinalLike(const TtvsProgram& prog, TTypeSymbol* typ)
{
    if (typ == nullptr)
        return false;
    TTypeSymbol* base = typ->BaseType();
    return base == prog.TypInteger() || base == prog.TypFloat() || base == prog.TypVariant()
           || dynamic_cast<const TEnumerationSymbol*>(typ->UnAliasedType()) != nullptr;
}

bool Compatible(TTypeSymbol* expected, TTypeSymbol* actual)
{
    return expected != nullptr && actual != nullptr && expected->IsCompatible(actual);
}

void CheckCaseTypes(TtvsProgram& prog, const TScriptPos& pos, std::u16string_view msg,
                    TTypeSymbol* a, TTypeSymbol* b)
{
    if (Compatible(a, b) || (IsOrdinalLike(prog, a) && IsOrdinalLike(prog, b)))
        return;
    prog.Messages().AddCompilerError(pos, msg,
                                     {TSymbol::DisplayNameOf(a), TSymbol::DisplayNameOf(b)});
}

bool IsAtLeast(TVariantRelationship r)
{
    return r == TVariantRelationship::vrGreaterThan || r == TVariantRelationship::vrEqual;
}

bool IsAtMost(TVariantRelationship r)
{
    return r == TVariantRelationship::vrLessThan || r == TVariantRelationship::vrEqual;
}

} // namespace

TCompareCaseCondition::TCompareCaseCondition(const TScriptPos& pos, TNoResultExpr* statement,
                                             bool ownsStatement, std::unique_ptr<TTypedExpr> value)
    : TCaseCondition(pos, statement, ownsStatement)
    , FValue(std::move(value))
{}

TExprBase* TCompareCaseCondition::GetSubExpr(int index) const
{
    return index == 0 ? static_cast<TExprBase*>(FStatement) : FValue.get();
}

bool TCompareCaseCondition::IsTrue(TtvsExecution& exec, const Variant& value) const
{
    Variant label;
    FValue->EvalAsVariant(exec, label);
    return VarEquals(value, label);
}

void TCompareCaseCondition::TypeCheck(TtvsProgram& prog, TTypeSymbol* valueType) const
{
    CheckCaseTypes(prog, FScriptPos, IncompatibleCaseTypesMsg, valueType, FValue->Typ());
}

TRangeCaseCondition::TRangeCaseCondition(const TScriptPos& pos, TNoResultExpr* statement,
                                         bool ownsStatement, std::unique_ptr<TTypedExpr> fromExpr,
                                         std::unique_ptr<TTypedExpr> toExpr)
    : TCaseCondition(pos, statement, ownsStatement)
    , FFrom(std::move(fromExpr))
    , FTo(std::move(toExpr))
{}

TExprBase* TRangeCaseCondition::GetSubExpr(int index) const
{
    switch (index) {
    case 0:
        return FStatement;
    case 1:
        return FFrom.get();
    default:
        return FTo.get();
    }
}

bool TRangeCaseCondition::IsTrue(TtvsExecution& exec, const Variant& value) const
{
    Variant bound;
    FFrom->EvalAsVariant(exec, bound);
    if (!IsAtLeast(VarCompareValue(value, bound)))
        return false;
    FTo->EvalAsVariant(exec, bound);
    return IsAtMost(VarCompareValue(value, bound));
}

void TRangeCaseCondition::TypeCheck(TtvsProgram& prog, TTypeSymbol* valueType) const
{
    TTypeSymbol* fromType = FFrom->Typ();
    TTypeSymbol* toType = FTo->Typ();
    if (!Compatible(fromType, toType)
        && !(IsOrdinalLike(prog, fromType) && IsOrdinalLike(prog, toType))) {
        prog.Messages().AddCompilerError(
            FScriptPos, IncompatibleRangeTypesMsg,
            {TSymbol::DisplayNameOf(fromType), TSymbol::DisplayNameOf(toType)});
        return;
    }
    CheckCaseTypes(prog, FScriptPos, IncompatibleCaseTypesMsg, valueType, fromType);
}

TCaseExpr::TCaseExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> value)
    : TNoResultExpr(pos)
    , FValue(std::move(value))
{}

void TCaseExpr::AddCondition(std::unique_ptr<TCaseCondition> condition)
{
    FConditions.push_back(std::move(condition));
}

TExprBase* TCaseExpr::GetSubExpr(int index) const
{
    if (index == 0)
        return FValue.get();
    if (index == 1)
        return FElse.get();
    index -= 2;
    for (const auto& condition : FConditions) {
        if (index < condition->GetSubExprCount())
            return condition->GetSubExpr(index);
        index -= condition->GetSubExprCount();
    }
    return nullptr;
}

int TCaseExpr::GetSubExprCount() const
{
    int count = 2;
    for (const auto& condition : FConditions)
        count += condition->GetSubExprCount();
    return count;
}

void TCaseExpr::EvalNoResult(TtvsExecution& exec) const
{
    Variant value;
    FValue->EvalAsVariant(exec, value);
    for (const auto& condition : FConditions) {
        if (condition->IsTrue(exec, value)) {
            exec.StatementStep(condition->Statement());
            condition->Statement()->EvalNoResult(exec);
            return;
        }
    }
    if (FElse) {
        exec.StatementStep(FElse.get());
        FElse->EvalNoResult(exec);
    }
}

// ---------------------------------------------------------------------------
// Loops

namespace {

// After a round of a loop body: break and continue are consumed here; break
// and exit end the loop (exit keeps its status for the enclosing routine).
inline bool LoopMustEnd(TtvsExecution& exec)
{
    switch (exec.Status()) {
    case fsNone:
        return false;
    case fsContinue:
        exec.SetStatus(fsNone);
        return false;
    case fsBreak:
        exec.SetStatus(fsNone);
        return true;
    default:
        return true;
    }
}

[[noreturn]] void RaiseIntegerOverflow()
{
    throw EIntOverflow(IntegerOverflowMsg);
}

} // namespace

TForExpr::TForExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> var,
                   std::unique_ptr<TTypedExpr> fromExpr, std::unique_ptr<TTypedExpr> toExpr,
                   std::unique_ptr<TNoResultExpr> body)
    : TNoResultExpr(pos)
    , FVar(std::move(var))
    , FFrom(std::move(fromExpr))
    , FTo(std::move(toExpr))
    , FBody(std::move(body))
{}

void TLoopRound::Prepare(const TNoResultExpr& body)
{
    const std::type_info& bodyClass = typeid(body);
    const bool plain =
        bodyClass == typeid(TBlockExprNoTable) || bodyClass == typeid(TBlockExprNoTable2)
        || bodyClass == typeid(TBlockExprNoTable3) || bodyClass == typeid(TBlockExprNoTable4);
    FStatements.clear();
    if (!plain)
        return;
    const auto& block = static_cast<const TBlockExprBase&>(body);
    for (int i = 0; i < block.StatementCount(); ++i)
        FStatements.push_back(block.Statement(i));
}

inline bool TLoopRound::Run(TtvsExecution& exec, const TNoResultExpr& body) const
{
    if (FStatements.empty()) {
        exec.StatementStep(&body);
        body.EvalNoResult(exec);
    } else {
        // A stop request is still seen within one round, at its first
        // statement.
        exec.StatementStep(FStatements.front());
        for (const TNoResultExpr* statement : FStatements) {
            try {
                statement->EvalNoResult(exec);
            } catch (...) {
                exec.SetErrorLocation(statement);
                throw;
            }
            if (exec.Status() != fsNone)
                break;
        }
    }
    return exec.Status() == fsNone || !LoopMustEnd(exec);
}

TExprBase* TForExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    FRound.Prepare(*FBody);
    return this;
}

TExprBase* TForExpr::GetSubExpr(int index) const
{
    switch (index) {
    case 0:
        return FVar.get();
    case 1:
        return FFrom.get();
    case 2:
        return FTo.get();
    default:
        return FBody.get();
    }
}

// The counter is read back from its slot at every advance (the body may
// change it), and the loop stops at the bound instead of wrapping past the
// 64-bit range.
void TForUpwardExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TIntVarExpr& var = *FVar;
    int64_t value = FFrom->EvalAsInteger(exec);
    var.AssignValueAsInteger(exec, value);
    const int64_t last = FTo->EvalAsInteger(exec);
    // The test uses the value just stored, which is what the slot holds.
    while (value <= last) {
        if (!FRound.Run(exec, *FBody))
            return;
        value = var.EvalAsInteger(exec);
        if (value == std::numeric_limits<int64_t>::max())
            return;
        var.AssignValueAsInteger(exec, ++value);
    }
}

void TForDownwardExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TIntVarExpr& var = *FVar;
    int64_t value = FFrom->EvalAsInteger(exec);
    var.AssignValueAsInteger(exec, value);
    const int64_t last = FTo->EvalAsInteger(exec);
    while (value >= last) {
        if (!FRound.Run(exec, *FBody))
            return;
        value = var.EvalAsInteger(exec);
        if (value == std::numeric_limits<int64_t>::min())
            return;
        var.AssignValueAsInteger(exec, --value);
    }
}

TForStepExpr::TForStepExpr(const TScriptPos& pos, std::unique_ptr<TIntVarExpr> var,
                           std::unique_ptr<TTypedExpr> fromExpr, std::unique_ptr<TTypedExpr> toExpr,
                           std::unique_ptr<TTypedExpr> step, std::unique_ptr<TNoResultExpr> body)
    : TForExpr(pos, std::move(var), std::move(fromExpr), std::move(toExpr), std::move(body))
    , FStep(std::move(step))
{}

TExprBase* TForStepExpr::GetSubExpr(int index) const
{
    return index == 4 ? FStep.get() : TForExpr::GetSubExpr(index);
}

int64_t TForStepExpr::EvalStep(TtvsExecution& exec) const
{
    const int64_t step = FStep->EvalAsInteger(exec);
    if (step <= 0)
        RaiseScriptError(exec, FormatText(ForStepNotPositiveMsg, {step}));
    return step;
}

void TForUpwardStepExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TIntVarExpr& var = *FVar;
    int64_t value = FFrom->EvalAsInteger(exec);
    var.AssignValueAsInteger(exec, value);
    const int64_t last = FTo->EvalAsInteger(exec);
    const int64_t step = EvalStep(exec);
    while (!(value > last)) {
        if (!FRound.Run(exec, *FBody))
            return;
        if (__builtin_add_overflow(var.EvalAsInteger(exec), step, &value))
            RaiseIntegerOverflow();
        var.AssignValueAsInteger(exec, value);
    }
}

void TForDownwardStepExpr::EvalNoResult(TtvsExecution& exec) const
{
    const TIntVarExpr& var = *FVar;
    int64_t value = FFrom->EvalAsInteger(exec);
    var.AssignValueAsInteger(exec, value);
    const int64_t last = FTo->EvalAsInteger(exec);
    const int64_t step = EvalStep(exec);
    while (!(value < last)) {
        if (!FRound.Run(exec, *FBody))
            return;
        if (__builtin_sub_overflow(var.EvalAsInteger(exec), step, &value))
            RaiseIntegerOverflow();
        var.AssignValueAsInteger(exec, value);
    }
}

TForInStringExpr::TForInStringExpr(const TScriptPos& pos, std::unique_ptr<TDataExpr> var,
                                   std::unique_ptr<TTypedExpr> str,
                                   std::unique_ptr<TTypedExpr> step,
                                   std::unique_ptr<TNoResultExpr> body)
    : TNoResultExpr(pos)
    , FVar(std::move(var))
    , FStr(std::move(str))
    , FStep(std::move(step))
    , FBody(std::move(body))
{}

TExprBase* TForInStringExpr::GetSubExpr(int index) const
{
    switch (index) {
    case 0:
        return FVar.get();
    case 1:
        return FStr.get();
    case 2:
        return FBody.get();
    default:
        return FStep.get();
    }
}

TExprBase* TForInStringExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    FRound.Prepare(*FBody);
    return this;
}

void TForInStringExpr::EvalNoResult(TtvsExecution& exec) const
{
    UnicodeString text;
    FStr->EvalAsString(exec, text);
    int64_t step = 1;
    if (FStep) {
        step = FStep->EvalAsInteger(exec);
        if (step <= 0)
            RaiseScriptError(exec, FormatText(ForStepNotPositiveMsg, {step}));
    }
    const std::u16string_view chars = text.View();
    const auto length = static_cast<int64_t>(chars.size());
    // The step is compared with what is left, so a huge step cannot make
    // the index overflow.
    for (int64_t index = 0; index < length;) {
        FVar->AssignValueAsString(exec, CharToString(chars[static_cast<size_t>(index)]));
        if (!FRound.Run(exec, *FBody))
            return;
        if (step >= length - index)
            return;
        index += step;
    }
}

TLoopExpr::TLoopExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> cond,
                     std::unique_ptr<TNoResultExpr> body)
    : TNoResultExpr(pos)
    , FCond(std::move(cond))
    , FBody(std::move(body))
{}

TExprBase* TLoopExpr::GetSubExpr(int index) const
{
    return index == 0 ? static_cast<TExprBase*>(FCond.get()) : FBody.get();
}

void TLoopExpr::EvalNoResult(TtvsExecution& exec) const
{
    while (FRound.Run(exec, *FBody)) {
    }
}

TExprBase* TLoopExpr::Optimize(TtvsProgram& /*prog*/, TtvsExecution& /*exec*/)
{
    FRound.Prepare(*FBody);
    return this;
}

void TWhileExpr::EvalNoResult(TtvsExecution& exec) const
{
    while (FCond->EvalAsBoolean(exec)) {
        if (!FRound.Run(exec, *FBody))
            return;
    }
}

TExprBase* TWhileExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!FCond->IsConstant()) {
        FRound.Prepare(*FBody);
        return this;
    }
    if (FCond->EvalAsBoolean(exec)) {
        auto* loop = new TLoopExpr(FScriptPos, std::move(FCond), std::move(FBody));
        return loop->Optimize(prog, exec);
    }
    return new TNullExpr(FScriptPos);
}

void TRepeatExpr::EvalNoResult(TtvsExecution& exec) const
{
    for (;;) {
        if (!FRound.Run(exec, *FBody))
            return;
        exec.StatementStep(this);
        if (FCond->EvalAsBoolean(exec))
            return;
    }
}

TExprBase* TRepeatExpr::Optimize(TtvsProgram& prog, TtvsExecution& exec)
{
    if (!FCond->IsConstant() || FCond->EvalAsBoolean(exec)) {
        FRound.Prepare(*FBody);
        return this;
    }
    auto* loop = new TLoopExpr(FScriptPos, std::move(FCond), std::move(FBody));
    return loop->Optimize(prog, exec);
}

TExitValueExpr::TExitValueExpr(const TScriptPos& pos, std::unique_ptr<TNoResultExpr> assignExpr)
    : TNoResultExpr(pos)
    , FAssignExpr(std::move(assignExpr))
{}

void TExitValueExpr::EvalNoResult(TtvsExecution& exec) const
{
    FAssignExpr->EvalNoResult(exec);
    exec.SetStatus(fsExit);
}

TPrintExpr::TPrintExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> arg, bool newLine)
    : TNoResultExpr(pos)
    , FArg(std::move(arg))
    , FNewLine(newLine)
{}

void TPrintExpr::EvalNoResult(TtvsExecution& exec) const
{
    Variant value;
    FArg->EvalAsVariant(exec, value);
    auto* programExec = dynamic_cast<TtvsProgramExecution*>(&exec);
    if (programExec == nullptr || programExec->Result() == nullptr)
        return;
    if (FNewLine)
        PrintLnToResult(*programExec, VarToStr(value));
    else
        PrintToResult(*programExec, VarToStr(value));
}
