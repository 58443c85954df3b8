// Expression readers of the compiler: the four precedence levels, operands,
// names, the operator table lookup, implicit conversions and folding.
#include "tvsCompiler.h"
#include "tvsConvExprs.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"
#include "tvsUnitSymbols.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t ExpressionExpectedMsg[] = u"Expression expected";
constexpr char16_t InvalidOperandsMsg[] = u"Invalid Operands";
constexpr char16_t IncompatibleOperandsMsg[] = u"Incompatible operands";
constexpr char16_t InExpectedMsg[] = u"IN expected";
constexpr char16_t CloseParenExpectedMsg[] = u"\")\" expected.";
constexpr char16_t CloseBracketExpectedMsg[] = u"\"]\" expected";
constexpr char16_t BoolOrIntExpectedMsg[] = u"Boolean or integer operand expected";
constexpr char16_t NumericalExpectedMsg[] = u"Numerical operand expected";
constexpr char16_t NameExpectedMsg[] = u"Name expected";
constexpr char16_t UnknownNameMsg[] = u"Unknown name \"%s\"";
constexpr char16_t UnknownUnitMemberMsg[] = u"Unknown name \"%s.%s\"";
constexpr char16_t DotExpectedMsg[] = u"Dot \".\" expected";
constexpr char16_t UnknownTypeMsg[] = u"Unknown type \"%s\"";
constexpr char16_t NoMemberExpectedMsg[] = u"No member expected";
constexpr char16_t TypeExpectedMsg[] = u"Type expected";
constexpr char16_t TypeNotFoundMsg[] = u"Type \"%s\" not found";
constexpr char16_t NotATypeMsg[] = u"%s is not a Type!";
constexpr char16_t IncompatibleAssignMsg[] = u"Incompatible types: Cannot assign \"%s\" to \"%s\"";
constexpr char16_t IncompatibleTypesMsg[] = u"Incompatible types: \"%s\" and \"%s\"";
constexpr char16_t ObjectExpectedMsg[] = u"Object expected";
constexpr char16_t OpenParenExpectedMsg[] = u"\"(\" expected.";
constexpr char16_t InterfaceExpectedMsg[] = u"Interface expected";
constexpr char16_t ArrayExpectedMsg[] = u"Array expected";
constexpr char16_t NotAMethodMsg[] = u"Not a method!";
constexpr char16_t UnexpectedAtMsg[] = u"unexpected \"@\"";
constexpr char16_t BracketOrClassExpectedMsg[] = u"\"[\" or class expected";
constexpr char16_t CannotCastToIntegerMsg[] = u"Cannot cast this type to \"Integer\"";
constexpr char16_t StringExpectedMsg[] = u"String expected";

using enum TTokenType;

const TTokenTypes RelationalTokens{ttEQ,    ttNOTEQ, ttLESS, ttLESSEQ,    ttGTR,
                                   ttGTREQ, ttIS,    ttAS,   ttIMPLEMENTS};
const TTokenTypes AdditiveTokens{ttPLUS, ttMINUS, ttOR, ttXOR,      ttAND,    ttIMPLIES, ttSHL,
                                 ttSHR,  ttSAR,   ttIN, ttLESSLESS, ttGTRGTR, ttNOT};
const TTokenTypes MultiplicativeTokens{ttTIMES, ttDIVIDE, ttDIV, ttMOD, ttCARET};

TTypeSymbol* UnAliased(const TTypeSymbol* typ)
{
    return typ != nullptr ? typ->UnAliasedType() : nullptr;
}

bool IsRoutineType(const TTypeSymbol* typ)
{
    return dynamic_cast<const TFuncSymbol*>(UnAliased(typ)) != nullptr;
}

bool IsEnumeration(const TTypeSymbol* typ)
{
    return dynamic_cast<const TEnumerationSymbol*>(UnAliased(typ)) != nullptr;
}

bool IsInterface(const TTypeSymbol* typ)
{
    return dynamic_cast<const TInterfaceSymbol*>(UnAliased(typ)) != nullptr;
}

} // namespace

// expression -> additive { ("=" | "<>" | "<" | "<=" | ">" | ">=" | "is" | "as"
//                          | "implements") additive }
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseExpression(TTypeSymbol* expected)
{
    TNestingGuard nesting(*this);
    auto left = ParseAdditive(expected);
    for (;;) {
        const TTokenType t = FTok->IsAnyToken(RelationalTokens);
        if (t == ttNone)
            return left;
        const TScriptPos opPos = HotPos();
        FTok->Discard();
        auto right = ParseAdditive(nullptr);
        // Type tests and casts apply to objects and interfaces only; a
        // scalar operand is listed and replaced so that compiling goes on.
        if (t == ttIS) {
            Msgs().AddSyntaxError(opPos, ObjectExpectedMsg);
            left = MakeConstant(FProg->TypBoolean(), Variant(false));
            continue;
        }
        if (t == ttAS) {
            Msgs().AddSyntaxError(opPos, ObjectExpectedMsg);
            TTypeSymbol* target = right->Typ();
            left = MakeConstant(target != nullptr ? target : FProg->TypVariant(), Variant());
            continue;
        }
        if (t == ttIMPLEMENTS) {
            Msgs().AddSyntaxError(opPos, IsInterface(right->Typ()) ? ObjectExpectedMsg
                                                                   : InterfaceExpectedMsg);
            left = MakeConstant(FProg->TypBoolean(), Variant(false));
            continue;
        }
        left = BuildComparison(t, opPos, std::move(left), std::move(right));
    }
}

// additive -> multiplicative { ("+" | "-" | "or" | "xor" | "and" | "implies"
//              | "shl" | "shr" | "sar" | "<<" | ">>" | "in" | "not" "in") multiplicative }
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseAdditive(TTypeSymbol* expected)
{
    auto left = ParseMultiplicative(expected);
    for (;;) {
        const TTokenType t = FTok->IsAnyToken(AdditiveTokens);
        if (t == ttNone)
            return left;
        const TScriptPos opPos = HotPos();
        FTok->Discard();
        if (t == ttNOT) {
            if (!FTok->Accept(ttIN))
                AbortWithSyntaxError(HotPos(), InExpectedMsg);
            auto test = ReadInTest(std::move(left), opPos);
            left = Fold(std::make_unique<TNotBoolExpr>(*FProg, std::move(test)), opPos);
            continue;
        }
        if (t == ttIN) {
            left = ReadInTest(std::move(left), opPos);
            continue;
        }
        auto right = ParseMultiplicative(nullptr);
        if (left->Typ() == nullptr || right->Typ() == nullptr)
            AbortWithSyntaxError(opPos, IncompatibleOperandsMsg);
        auto node = BuildBinaryOperation(t, left, right);
        if (!node) {
            Msgs().AddSyntaxError(opPos, InvalidOperandsMsg);
            node = MakeConstant(FProg->TypVariant(), Variant());
        }
        left = Fold(std::move(node), opPos);
    }
}

// multiplicative -> term { ("*" | "/" | "div" | "mod" | "^") term }
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseMultiplicative(TTypeSymbol* expected)
{
    auto left = ParseTerm(false, expected);
    for (;;) {
        const TTokenType t = FTok->IsAnyToken(MultiplicativeTokens);
        if (t == ttNone)
            return left;
        const TScriptPos opPos = HotPos();
        FTok->Discard();
        auto right = ParseTerm(false, nullptr);
        TTypeSymbol* rightType = right->Typ();
        auto node = (left->Typ() != nullptr && rightType != nullptr)
                        ? BuildBinaryOperation(t, left, right)
                        : nullptr;
        if (!node) {
            Msgs().AddSyntaxError(opPos, InvalidOperandsMsg);
            node = MakeConstant(rightType != nullptr ? rightType : FProg->TypVariant(), Variant());
        }
        left = Fold(std::move(node), opPos);
    }
}

// in-test -> "[" [ label { "," label } ] "]" | expression
// label -> expression [ ".." expression ]
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadInTest(std::unique_ptr<TTypedExpr> left,
                                                     const TScriptPos& pos)
{
    if (FTok->Accept(ttALEFT)) {
        TTypeSymbol* leftType = left->Typ();
        auto node = std::make_unique<TInOpExpr>(*FProg, std::move(left));
        if (!FTok->Accept(ttARIGHT)) {
            do {
                const TScriptPos labelPos = NextTokenPos();
                auto from = ParseExpression(nullptr);
                std::unique_ptr<TCaseCondition> condition;
                if (FTok->Accept(ttDOTDOT))
                    condition = std::make_unique<TRangeCaseCondition>(
                        labelPos, nullptr, false, std::move(from), ParseExpression(nullptr));
                else
                    condition = std::make_unique<TCompareCaseCondition>(labelPos, nullptr, false,
                                                                        std::move(from));
                condition->TypeCheck(*FProg, leftType);
                node->AddCondition(std::move(condition));
            } while (FTok->Accept(ttCOMMA));
            if (!FTok->Accept(ttARIGHT))
                AbortWithSyntaxError(HotPos(), CloseBracketExpectedMsg);
        }
        return Fold(std::move(node), pos);
    }
    // Membership in a dynamic array or through a class operator needs a
    // value that lives somewhere; neither kind of type exists for scalars.
    const TScriptPos rightPos = NextTokenPos();
    auto right = ParseExpression(nullptr);
    if (dynamic_cast<TDataExpr*>(right.get()) == nullptr) {
        Msgs().AddSyntaxError(rightPos, ObjectExpectedMsg);
        return MakeConstant(FProg->TypBoolean(), Variant(false));
    }
    AbortWithSyntaxError(rightPos, BracketOrClassExpectedMsg);
}

// term -> "not" term | "+" term | "-" term | "(" expression ")" | literal
//       | "True" | "False" | name-expression
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseTerm(bool isWrite, TTypeSymbol* expected)
{
    TNestingGuard nesting(*this);
    if (!FTok->HasToken())
        AbortWithSyntaxError(HotPos(), ExpressionExpectedMsg);
    const TTokenType t = FTok->IsAnyToken({ttNOT, ttPLUS, ttMINUS, ttBLEFT, ttTRUE, ttFALSE,
                                           ttStrVal, ttIntVal, ttFloatVal, ttAT, ttNIL});
    const TScriptPos pos = HotPos();
    switch (t) {
    case ttNOT:
        FTok->Discard();
        return ReadNot(pos);
    case ttPLUS:
        FTok->Discard();
        return ParseTerm(false, nullptr);
    case ttMINUS:
        FTok->Discard();
        return ReadNegation(pos);
    case ttBLEFT: {
        FTok->Discard();
        auto inner = ParseExpression(nullptr);
        if (!FTok->Accept(ttBRIGHT))
            AbortWithSyntaxError(HotPos(), CloseParenExpectedMsg);
        return inner;
    }
    case ttTRUE:
    case ttFALSE:
        FTok->Discard();
        return MakeConstant(FProg->TypBoolean(), Variant(t == ttTRUE));
    case ttNIL:
        FTok->Discard();
        return MakeConstant(FProg->TypNil(), Variant());
    case ttAT:
        FTok->Discard();
        return ReadAddressOf(pos, expected);
    case ttStrVal:
    case ttIntVal:
    case ttFloatVal:
        return ReadLiteral();
    default:
        break;
    }
    if (FTok->IsName())
        return ParseNameExpression(isWrite, expected);
    // Array constants come with the array types that hold them.
    AbortWithSyntaxError(pos, ExpressionExpectedMsg);
}

std::unique_ptr<TTypedExpr> TtvsCompiler::ReadLiteral()
{
    const TTokenRecord& token = FTok->CurrentToken();
    std::unique_ptr<TTypedExpr> result;
    switch (token.TokenType) {
    case ttStrVal:
        result = MakeConstant(FProg->TypString(), Variant(UnicodeString(token.Text)));
        break;
    case ttIntVal:
        result = MakeConstant(FProg->TypInteger(), Variant(token.IntValue));
        break;
    default:
        result = MakeConstant(FProg->TypFloat(), Variant(token.FloatValue));
        break;
    }
    FTok->Discard();
    return result;
}

// "-" term: a negative literal is always a constant, folding or not.
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadNegation(const TScriptPos& pos)
{
    auto operand = ParseTerm(false, nullptr);
    const bool wasConstant = operand->IsConstant();
    std::unique_ptr<TTypedExpr> node;
    if (IsOfBaseType(operand->Typ(), FProg->TypInteger()))
        node = std::make_unique<TNegIntExpr>(*FProg, std::move(operand));
    else if (IsOfBaseType(operand->Typ(), FProg->TypFloat()))
        node = std::make_unique<TNegFloatExpr>(*FProg, std::move(operand));
    else {
        if (!IsOfBaseType(operand->Typ(), FProg->TypVariant()))
            Msgs().AddSyntaxError(pos, NumericalExpectedMsg);
        node = std::make_unique<TNegVariantExpr>(*FProg, std::move(operand));
    }
    if (wasConstant && !Msgs().HasErrors())
        return Optimized(std::move(node), pos);
    return Fold(std::move(node), pos);
}

// "not" term: Boolean negation or the integer's bitwise complement.
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadNot(const TScriptPos& pos)
{
    auto operand = ParseTerm(false, nullptr);
    std::unique_ptr<TTypedExpr> node;
    if (IsOfBaseType(operand->Typ(), FProg->TypBoolean()))
        node = std::make_unique<TNotBoolExpr>(*FProg, std::move(operand));
    else if (IsOfBaseType(operand->Typ(), FProg->TypInteger()))
        node = std::make_unique<TNotIntExpr>(*FProg, std::move(operand));
    else {
        if (!IsOfBaseType(operand->Typ(), FProg->TypVariant()))
            Msgs().AddSyntaxError(pos, BoolOrIntExpectedMsg);
        node = std::make_unique<TNotVariantExpr>(*FProg, std::move(operand));
    }
    return Fold(std::move(node), pos);
}

// name-expression -> name [ member-chain ]
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseNameExpression(bool isWrite, TTypeSymbol* expected)
{
    if (!FTok->IsName())
        AbortWithSyntaxError(HotPos(), NameExpectedMsg);
    const std::u16string name = FTok->CurrentToken().Text;
    const TScriptPos namePos = HotPos();
    // Special names are reserved, so no declaration can hide them.
    if (const int kind = SpecialFunctionKind(name); kind >= 0) {
        FTok->Discard();
        return ParseMemberChain(ParseSpecialFunction(kind, namePos), isWrite, expected);
    }
    TSymbol* sym = FTable->FindSymbol(name, TClassVisibility::cvPrivate);
    if (sym == nullptr)
        AbortWithSyntaxError(namePos, UnknownNameMsg, {name});
    FTok->Discard();
    if (dynamic_cast<TUnitSymbol*>(sym) != nullptr)
        sym = ReadUnitMember(sym, name, namePos);

    std::unique_ptr<TTypedExpr> result;
    if (auto* func = dynamic_cast<TFuncSymbol*>(sym); func != nullptr && !func->IsType()) {
        result = ReadFuncCall(func, namePos);
    } else if (auto* constSym = dynamic_cast<TConstSymbol*>(sym)) {
        result = MakeConstant(constSym->Typ(),
                              constSym->Data().empty() ? Variant() : constSym->Data()[0]);
    } else if (auto* resString = dynamic_cast<TResourceStringSymbol*>(sym)) {
        result = std::make_unique<TResourceStringExpr>(FProg->TypString(), resString, namePos);
    } else if (auto* var = dynamic_cast<TDataSymbol*>(sym)) {
        result = MakeVarExpr(var);
    } else if (auto* typ = dynamic_cast<TTypeSymbol*>(sym); typ != nullptr && sym->IsType()) {
        result = ParseTypeCast(typ, namePos, expected == TypeReferenceExpected());
    } else {
        AbortWithSyntaxError(namePos, UnknownTypeMsg, {name});
    }
    return ParseMemberChain(std::move(result), isWrite, expected);
}

// unit-member -> unit-name { "." name } "." name
TSymbol* TtvsCompiler::ReadUnitMember(TSymbol* unitSym, const std::u16string& name,
                                      const TScriptPos& namePos)
{
    auto* unit = static_cast<TUnitSymbol*>(unitSym);
    // A unit name may itself be dotted ("My.Tools"): the longest dotted
    // prefix that names a unit is the unit, the next name its member.
    TUnitSymbol* found = unit->Main() != nullptr ? unit : nullptr;
    std::u16string foundName = name;
    std::u16string dotted = name;
    if (!FTok->Accept(ttDOT))
        AbortWithSyntaxError(HotPos(), DotExpectedMsg);
    for (;;) {
        if (!FTok->IsName())
            AbortWithSyntaxError(HotPos(), NameExpectedMsg);
        const std::u16string candidate = dotted + u"." + FTok->CurrentToken().Text;
        if (!unit->PossibleNameSpace(candidate))
            break;
        FTok->Discard();
        dotted = candidate;
        if (TUnitSymbol* inner = unit->FindNameSpaceUnit(dotted);
            inner != nullptr && inner->Main() != nullptr) {
            found = inner;
            foundName = dotted;
        }
        if (!FTok->Accept(ttDOT))
            AbortWithSyntaxError(HotPos(), DotExpectedMsg);
    }
    if (found == nullptr)
        AbortWithSyntaxError(namePos, UnknownNameMsg, {dotted});
    const std::u16string member = FTok->CurrentToken().Text;
    TSymbol* sym = found->Main()->Table()->FindLocal(member);
    if (sym == nullptr)
        AbortWithSyntaxError(HotPos(), UnknownUnitMemberMsg, {foundName, member});
    FTok->Discard();
    return sym;
}

// member-chain -> { "." name | "[" indices "]" | "(" arguments ")" }
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseMemberChain(std::unique_ptr<TTypedExpr> node,
                                                           bool isWrite, TTypeSymbol* /*expected*/)
{
    // Scalars have no members and only strings are indexed; records,
    // classes and arrays extend this as those types arrive.
    for (;;) {
        const TTokenType t = FTok->IsAnyToken({ttDOT, ttALEFT, ttBLEFT});
        if (t == ttNone)
            return node;
        const TScriptPos pos = HotPos();
        if (t == ttDOT)
            AbortWithSyntaxError(pos, NoMemberExpectedMsg);
        if (t == ttBLEFT) {
            // Calls through routine values come with routine types.
            AbortWithSyntaxError(pos, NotAMethodMsg);
        }
        FTok->Discard();
        if (UnAliased(node->Typ()) == FProg->TypString()) {
            node = ParseStringIndex(std::move(node), isWrite, pos);
            // A character store is a statement: nothing can follow it.
            if (node->Typ() == nullptr)
                return node;
            continue;
        }
        // No other scalar is indexed: the indices are read and dropped so
        // that the rest of the text is still checked.
        Msgs().AddSyntaxError(pos, ArrayExpectedMsg);
        do {
            ParseExpression(nullptr);
        } while (FTok->Accept(ttCOMMA));
        if (!FTok->Accept(ttARIGHT))
            AbortWithSyntaxError(HotPos(), CloseBracketExpectedMsg);
    }
}

// cast -> type-name [ "(" expression ")" ]
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseTypeCast(TTypeSymbol* typ, const TScriptPos& namePos,
                                                        bool typeRefAllowed)
{
    if (!FTok->IsToken(ttBLEFT)) {
        if (!typeRefAllowed)
            Msgs().AddSyntaxError(HotPos(), OpenParenExpectedMsg);
        return std::make_unique<TTypeReferenceExpr>(typ, namePos);
    }
    FTok->Discard();
    auto operand = ParseExpression(nullptr);
    if (!FTok->Accept(ttBRIGHT))
        AbortWithSyntaxError(HotPos(), CloseParenExpectedMsg);

    TTypeSymbol* target = UnAliased(typ);
    TTypeSymbol* source = UnAliased(operand->Typ());
    const bool fromInteger = source == FProg->TypInteger() || IsEnumeration(source);
    const bool fromFloat = source == FProg->TypFloat();
    const bool fromBoolean = source == FProg->TypBoolean();
    const bool fromVariant = source == FProg->TypVariant();
    std::unique_ptr<TTypedExpr> node;
    if (target == FProg->TypInteger() || IsEnumeration(target)) {
        if (!(fromInteger || fromFloat || fromBoolean || fromVariant))
            Msgs().AddSyntaxError(namePos, CannotCastToIntegerMsg);
        node = std::make_unique<TConvIntegerExpr>(*FProg, std::move(operand));
        // TEnum(i) is of the enumeration, not a plain Integer.
        node->SetResultType(typ);
    } else if (target == FProg->TypFloat()) {
        if (!(fromInteger || fromFloat || fromVariant))
            Msgs().AddSyntaxError(namePos, NumericalExpectedMsg);
        node = std::make_unique<TConvFloatExpr>(*FProg, std::move(operand));
    } else if (target == FProg->TypString()) {
        if (!(source == FProg->TypString() || fromVariant))
            Msgs().AddSyntaxError(namePos, StringExpectedMsg);
        node = std::make_unique<TConvStringExpr>(*FProg, std::move(operand));
    } else if (target == FProg->TypBoolean()) {
        if (!(fromInteger || fromFloat || fromBoolean || fromVariant))
            Msgs().AddSyntaxError(namePos, BoolOrIntExpectedMsg);
        node = std::make_unique<TConvBoolExpr>(*FProg, std::move(operand));
    } else if (target == FProg->TypVariant()) {
        node = std::make_unique<TConvVariantExpr>(*FProg, std::move(operand));
    } else {
        AbortWithSyntaxError(namePos, InvalidOperandsMsg);
    }
    return Fold(std::move(node), namePos);
}

TTypeSymbol* TtvsCompiler::TypeReferenceExpected()
{
    // Never the type of a value: only its address is compared.
    static TAnyTypeSymbol placeholder(u"type reference");
    return &placeholder;
}

// "@" term: a reference to a routine rather than a call of it.
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadAddressOf(const TScriptPos& pos,
                                                        TTypeSymbol* expected)
{
    const bool routineExpected = IsRoutineType(expected);
    if (expected != nullptr && !routineExpected)
        Msgs().AddSyntaxError(pos, UnexpectedAtMsg);
    auto term = ParseTerm(false, routineExpected ? expected : nullptr);
    if (IsRoutineType(term->Typ()))
        return term;
    if (expected == nullptr || term->IsConstant())
        Msgs().AddSyntaxError(pos, UnexpectedAtMsg);
    else
        Msgs().AddSyntaxError(
            pos, IncompatibleTypesMsg,
            {TSymbol::DisplayNameOf(expected), TSymbol::DisplayNameOf(term->Typ())});
    return MakeConstant(FProg->TypNil(), Variant());
}

// type -> name
TTypeSymbol* TtvsCompiler::ReadType()
{
    if (!FTok->IsName())
        AbortWithSyntaxError(HotPos(), TypeExpectedMsg);
    const std::u16string name = FTok->CurrentToken().Text;
    const TScriptPos pos = HotPos();
    FTok->Discard();
    TSymbol* sym = FTable->FindSymbol(name, TClassVisibility::cvPrivate);
    if (sym == nullptr)
        AbortWithSyntaxError(pos, TypeNotFoundMsg, {name});
    auto* typ = dynamic_cast<TTypeSymbol*>(sym);
    if (typ == nullptr || !sym->IsType()) {
        Msgs().AddSyntaxError(pos, NotATypeMsg, {name});
        return FProg->TypVariant();
    }
    return typ;
}

std::unique_ptr<TTypedExpr> TtvsCompiler::BuildComparison(TTokenType token, const TScriptPos& pos,
                                                          std::unique_ptr<TTypedExpr> left,
                                                          std::unique_ptr<TTypedExpr> right)
{
    std::unique_ptr<TTypedExpr> node;
    if (left->Typ() != nullptr && right->Typ() != nullptr)
        node = BuildBinaryOperation(token, left, right);
    if (!node) {
        Msgs().AddSyntaxError(pos, InvalidOperandsMsg);
        return MakeConstant(FProg->TypBoolean(), Variant(false));
    }
    return Fold(std::move(node), pos);
}

// When folding is on, a constant subtree becomes a constant right away, so
// the finished tree holds no foldable node.
std::unique_ptr<TTypedExpr> TtvsCompiler::Fold(std::unique_ptr<TTypedExpr> expr,
                                               const TScriptPos& pos)
{
    if (!FoldingOn())
        return expr;
    return Optimized(std::move(expr), pos);
}

std::unique_ptr<TTypedExpr> TtvsCompiler::Optimized(std::unique_ptr<TTypedExpr> expr,
                                                    const TScriptPos& pos)
{
    return TProgramExpr::OptimizeToTypedExpr(std::move(expr), *FProg, CompileTimeExec(), pos);
}

std::unique_ptr<TNoResultExpr> TtvsCompiler::FoldStatement(std::unique_ptr<TNoResultExpr> stmt)
{
    if (!FoldingOn())
        return stmt;
    const TScriptPos pos = stmt->GetScriptPos();
    return TNoResultExpr::OptimizeToNoResultExpr(std::move(stmt), *FProg, CompileTimeExec(), pos);
}

// The conversions a value needs to be stored where the target type is
// expected; an impossible one is listed and the value kept as it is.
std::unique_ptr<TTypedExpr> TtvsCompiler::ConvertForAssignment(std::unique_ptr<TTypedExpr> value,
                                                               TTypeSymbol* target,
                                                               const TScriptPos& pos)
{
    value = WrapWithConvCast(*FProg, pos, target, std::move(value), false);
    TTypeSymbol* source = value->Typ();
    if (target == nullptr || source == nullptr || !target->IsCompatible(source))
        Msgs().AddSyntaxError(pos, IncompatibleAssignMsg,
                              {TSymbol::DisplayNameOf(source), TSymbol::DisplayNameOf(target)});
    return value;
}
