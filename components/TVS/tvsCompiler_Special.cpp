// The special functions, which look like calls but compile into nodes of
// their own (Ord, Length, Low, High, Inc, Succ, Defined ...), and character
// access in strings.
#include <array>
#include <limits>

#include "tvsComp.h"
#include "tvsCompiler.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsMagicExprs.h"
#include "tvsSymbols.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t OpenParenExpectedMsg[] = u"\"(\" expected.";
constexpr char16_t CloseParenExpectedMsg[] = u"\")\" expected.";
constexpr char16_t CloseBracketExpectedMsg[] = u"\"]\" expected";
constexpr char16_t InvalidOperandsMsg[] = u"Invalid Operands";
constexpr char16_t NumericalExpectedMsg[] = u"Numerical operand expected";
constexpr char16_t BooleanExpectedMsg[] = u"Boolean expected";
constexpr char16_t StringExpectedMsg[] = u"String expected";
constexpr char16_t IntegerExpectedMsg[] = u"Integer expected";
constexpr char16_t IntegerExpressionExpectedMsg[] = u"Integer expression expected";
constexpr char16_t VarArgumentMsg[] = u"Argument %d (%s) cannot be passed as Var-parameter";
constexpr char16_t CantAssignLeftMsg[] = u"Can't assign a value to the left-side argument!";
constexpr char16_t IncompatibleAssignMsg[] = u"Incompatible types: Cannot assign \"%s\" to \"%s\"";

// Inc and Dec name their argument "a" in the var-parameter message.
constexpr char16_t IncDecArgumentName[] = u"a";

// The special functions in the order of their kinds.
enum TSpecialKind : int {
    skAbs,
    skAssert,
    skAssigned,
    skHigh,
    skLength,
    skLow,
    skOrd,
    skSizeOf,
    skDefined,
    skDeclared,
    skSqr,
    skInc,
    skDec,
    skSucc,
    skPred,
};

constexpr std::array<std::u16string_view, 15> SpecialNames = {
    u"abs",     u"assert",   u"assigned", u"high", u"length", u"low",  u"ord",  u"sizeof",
    u"defined", u"declared", u"sqr",      u"inc",  u"dec",    u"succ", u"pred",
};

using enum TTokenType;

} // namespace

int TtvsCompiler::SpecialFunctionKind(std::u16string_view name)
{
    // Every special name has 3 to 8 letters; most names are longer or
    // shorter and leave at once.
    if (name.size() < 3 || name.size() > 8)
        return -1;
    for (size_t i = 0; i < SpecialNames.size(); ++i)
        if (SpecialNames[i].size() == name.size() && FastSameText(SpecialNames[i], name))
            return static_cast<int>(i);
    return -1;
}

// special-call -> "(" argument [ "," argument ] ")"
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseSpecialFunction(int kind, const TScriptPos& namePos)
{
    if (!FTok->Accept(ttBLEFT))
        AbortWithSyntaxError(HotPos(), OpenParenExpectedMsg);

    TTypeSymbol* const typInteger = FProg->TypInteger();
    TTypeSymbol* const typString = FProg->TypString();
    TTypeSymbol* const typVariant = FProg->TypVariant();
    const auto isOrdinal = [&](TTypeSymbol* typ) {
        return IsOfBaseType(typ, typInteger)
               || (typ != nullptr && dynamic_cast<TEnumerationSymbol*>(typ->UnAliasedType()));
    };

    // The argument; Low and High also take a type name («High(Integer)»).
    const TScriptPos argPos = NextTokenPos();
    std::unique_ptr<TTypedExpr> arg;
    if (kind == skLow || kind == skHigh)
        arg = ParseExpression(TypeReferenceExpected());
    else if (kind == skInc || kind == skDec)
        arg = ParseTerm(true, nullptr);
    else if (kind == skAssigned)
        arg = ParseExpression(FProg->TypNil());
    else
        arg = ParseExpression(nullptr);
    TTypeSymbol* const argType = arg->Typ();
    if (argType == nullptr)
        AbortWithSyntaxError(argPos, InvalidOperandsMsg);
    const bool isTypeRef = dynamic_cast<TTypeReferenceExpr*>(arg.get()) != nullptr;
    TTypeSymbol* const base = argType->UnAliasedType();

    const int messagesBefore = Msgs().Count();
    std::unique_ptr<TTypedExpr> result;
    switch (kind) {
    case skAbs:
        if (IsOfBaseType(argType, typInteger))
            result = std::make_unique<TAbsIntExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, FProg->TypFloat()))
            result = std::make_unique<TAbsFloatExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, typVariant))
            result = std::make_unique<TAbsVariantExpr>(*FProg, std::move(arg));
        else
            Msgs().AddSyntaxError(argPos, NumericalExpectedMsg);
        break;
    case skSqr:
        if (IsOfBaseType(argType, typInteger))
            result = std::make_unique<TSqrIntExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, FProg->TypFloat()))
            result = std::make_unique<TSqrFloatExpr>(*FProg, std::move(arg));
        else
            Msgs().AddSyntaxError(argPos, NumericalExpectedMsg);
        break;
    case skOrd:
        if (isTypeRef)
            Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        else if (isOrdinal(argType))
            result = std::make_unique<TOrdIntExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, FProg->TypBoolean()))
            result = std::make_unique<TOrdBoolExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, typString))
            result = std::make_unique<TOrdStrExpr>(*FProg, std::move(arg));
        else if (IsOfBaseType(argType, typVariant))
            result = std::make_unique<TOrdExpr>(*FProg, std::move(arg));
        else
            Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        break;
    case skLength:
        if (!isTypeRef && (IsOfBaseType(argType, typString) || IsOfBaseType(argType, typVariant)))
            result = std::make_unique<TStringLengthExpr>(*FProg, std::move(arg));
        else
            Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        break;
    case skLow:
    case skHigh: {
        const bool low = kind == skLow;
        if (auto* enumType = dynamic_cast<TEnumerationSymbol*>(base)) {
            if (isTypeRef)
                result = MakeConstant(
                    argType, Variant(int64_t{low ? enumType->LowBound() : enumType->HighBound()}));
            else
                Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        } else if (IsOfBaseType(argType, typInteger)) {
            result = MakeConstant(typInteger, Variant(low ? std::numeric_limits<int64_t>::min()
                                                          : std::numeric_limits<int64_t>::max()));
        } else if (base == typString && low) {
            result = MakeConstant(typInteger, Variant(int64_t{1}));
        } else if (base == typString && !isTypeRef) {
            result = std::make_unique<TStringLengthExpr>(*FProg, std::move(arg));
        } else {
            Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        }
        break;
    }
    case skSizeOf:
        result = MakeConstant(typInteger, Variant(int64_t{argType->Size()}));
        break;
    case skDefined:
    case skDeclared:
        if (!IsOfBaseType(argType, typString))
            AbortWithSyntaxError(argPos, StringExpectedMsg);
        if (kind == skDefined) {
            std::shared_ptr<const TConditionalSymbols> conditionals = FTok->Conditionals();
            if (conditionals == nullptr && FConfig != nullptr) {
                auto own = std::make_shared<TConditionalSymbols>();
                for (const auto& name : FConfig->Conditionals())
                    own->Add(name);
                conditionals = std::move(own);
            }
            result = std::make_unique<TDefinedExpr>(*FProg, std::move(arg), conditionals);
        } else {
            result = std::make_unique<TDeclaredExpr>(*FProg, std::move(arg));
        }
        break;
    case skInc:
    case skDec: {
        auto* target = dynamic_cast<TDataExpr*>(arg.get());
        if (target == nullptr || !target->IsWritable())
            Msgs().AddSyntaxError(argPos, VarArgumentMsg, {0, IncDecArgumentName});
        if (!isOrdinal(argType))
            Msgs().AddSyntaxError(argPos, IntegerExpectedMsg);
        WarnIfForLoopVariable(*arg, argPos);
        [[fallthrough]];
    }
    case skSucc:
    case skPred: {
        if ((kind == skSucc || kind == skPred) && (isTypeRef || !isOrdinal(argType)))
            Msgs().AddSyntaxError(argPos, IntegerExpectedMsg);
        std::unique_ptr<TTypedExpr> delta;
        if (FTok->Accept(ttCOMMA)) {
            const TScriptPos deltaPos = NextTokenPos();
            delta = ParseExpression(typInteger);
            if (!IsOfBaseType(delta->Typ(), typInteger))
                Msgs().AddSyntaxError(deltaPos, IntegerExpectedMsg);
        } else {
            delta = MakeConstant(typInteger, Variant(int64_t{1}));
        }
        if (Msgs().Count() != messagesBefore)
            break;
        if (kind == skSucc || kind == skPred) {
            if (kind == skSucc)
                result = std::make_unique<TSuccFuncExpr>(*FProg, std::move(arg), std::move(delta));
            else
                result = std::make_unique<TPredFuncExpr>(*FProg, std::move(arg), std::move(delta));
            break;
        }
        std::unique_ptr<TDataExpr> target(static_cast<TDataExpr*>(arg.release()));
        if (kind == skInc)
            result =
                std::make_unique<TIncVarFuncExpr>(std::move(target), std::move(delta), namePos);
        else
            result =
                std::make_unique<TDecVarFuncExpr>(std::move(target), std::move(delta), namePos);
        break;
    }
    case skAssert: {
        if (!IsOfBaseType(argType, FProg->TypBoolean()))
            Msgs().AddSyntaxError(argPos, BooleanExpectedMsg);
        std::unique_ptr<TTypedExpr> message;
        if (FTok->Accept(ttCOMMA)) {
            const TScriptPos msgPos = NextTokenPos();
            message = ParseExpression(typString);
            if (!IsOfBaseType(message->Typ(), typString))
                Msgs().AddSyntaxError(msgPos, StringExpectedMsg);
        }
        // Without assertions both arguments are dropped: the check that
        // stays never fails and costs one constant test.
        if (!FOptions.Contains(TCompilerOption::coAssertions)) {
            arg = MakeConstant(FProg->TypBoolean(), Variant(true));
            message.reset();
        }
        result = std::make_unique<TAssertExpr>(std::move(arg), std::move(message), namePos);
        break;
    }
    case skAssigned:
    default:
        // Objects, interfaces and routine values arrive with the classes;
        // no scalar can be tested.
        Msgs().AddSyntaxError(argPos, InvalidOperandsMsg);
        break;
    }

    if (!result) {
        const bool boolean = kind == skAssigned || kind == skDefined || kind == skDeclared;
        result = boolean ? MakeConstant(FProg->TypBoolean(), Variant(false))
                         : MakeConstant(typInteger, Variant(int64_t{0}));
    } else {
        result = Fold(std::move(result), namePos);
    }
    if (!FTok->Accept(ttBRIGHT))
        AbortWithSyntaxError(HotPos(), CloseParenExpectedMsg);
    return result;
}

// string-index -> "[" index "]" [ ":=" value ]
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseStringIndex(std::unique_ptr<TTypedExpr> str,
                                                           bool isWrite, const TScriptPos& pos)
{
    const TScriptPos indexPos = NextTokenPos();
    auto index = ParseExpression(FProg->TypInteger());
    if (!IsOfBaseType(index->Typ(), FProg->TypInteger())
        && !IsOfBaseType(index->Typ(), FProg->TypVariant()))
        Msgs().AddSyntaxError(indexPos, IntegerExpressionExpectedMsg);
    if (!FTok->Accept(ttARIGHT))
        AbortWithSyntaxError(HotPos(), CloseBracketExpectedMsg);

    if (!isWrite || !FTok->IsToken(ttASSIGN))
        return Fold(
            std::make_unique<TStringArrayOpExpr>(*FProg, std::move(str), std::move(index), pos),
            pos);

    FTok->Discard();
    const TScriptPos valuePos = NextTokenPos();
    auto value = ParseExpression(FProg->TypString());
    TTypeSymbol* valueType = value->Typ();
    if (!IsOfBaseType(valueType, FProg->TypString())
        && !IsOfBaseType(valueType, FProg->TypVariant())) {
        Msgs().AddSyntaxError(
            valuePos, IncompatibleAssignMsg,
            {TSymbol::DisplayNameOf(valueType), TSymbol::DisplayNameOf(FProg->TypString())});
    } else if (value->IsConstant() && IsOfBaseType(valueType, FProg->TypString())) {
        UnicodeString text;
        value->EvalAsString(CompileTimeExec(), text);
        if (text.Length() != 1)
            Msgs().AddSyntaxError(valuePos, InputDataSizeMsg,
                                  {static_cast<int64_t>(text.Length()), int64_t{1}});
    }

    auto* target = dynamic_cast<TDataExpr*>(str.get());
    if (target == nullptr || !target->IsWritable()) {
        Msgs().AddSyntaxError(pos, CantAssignLeftMsg);
        return Fold(
            std::make_unique<TStringArrayOpExpr>(*FProg, std::move(str), std::move(index), pos),
            pos);
    }
    str.release();
    std::unique_ptr<TDataExpr> location(target);
    if (typeid(*location) == typeid(TStrVarExpr)) {
        std::unique_ptr<TStrVarExpr> var(static_cast<TStrVarExpr*>(location.release()));
        return std::make_unique<TVarStringArraySetExpr>(std::move(var), std::move(index),
                                                        std::move(value), pos);
    }
    return std::make_unique<TStringArraySetExpr>(std::move(location), std::move(index),
                                                 std::move(value), pos);
}
