// Expression readers of the compiler: the four precedence levels, operands,
// names, the operator table lookup, implicit conversions and folding.
#include "tvsCompiler.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"
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
constexpr char16_t UnknownTypeMsg[] = u"Unknown type \"%s\"";
constexpr char16_t NoMemberExpectedMsg[] = u"No member expected";
constexpr char16_t TypeExpectedMsg[] = u"Type expected";
constexpr char16_t TypeNotFoundMsg[] = u"Type \"%s\" not found";
constexpr char16_t NotATypeMsg[] = u"%s is not a Type!";
constexpr char16_t IncompatibleAssignMsg[] = u"Incompatible types: Cannot assign \"%s\" to \"%s\"";
constexpr char16_t IncompatibleTypesMsg[] = u"Incompatible types: \"%s\" and \"%s\"";
constexpr char16_t ObjectExpectedMsg[] = u"Object expected";
constexpr char16_t OpenParenExpectedMsg[] = u"\"(\" expected.";

using enum TTokenType;

const TTokenTypes RelationalTokens{ttEQ,    ttNOTEQ, ttLESS, ttLESSEQ,    ttGTR,
                                   ttGTREQ, ttIS,    ttAS,   ttIMPLEMENTS};
const TTokenTypes AdditiveTokens{ttPLUS, ttMINUS, ttOR, ttXOR,      ttAND,    ttIMPLIES, ttSHL,
                                 ttSHR,  ttSAR,   ttIN, ttLESSLESS, ttGTRGTR, ttNOT};
const TTokenTypes MultiplicativeTokens{ttTIMES, ttDIVIDE, ttDIV, ttMOD, ttCARET};

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
        if (t == ttIS || t == ttAS || t == ttIMPLEMENTS) {
            // Classes and interfaces come later; nothing scalar can be tested.
            Msgs().AddSyntaxError(opPos, ObjectExpectedMsg);
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

// in-test -> "[" [ label { "," label } ] "]"
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadInTest(std::unique_ptr<TTypedExpr> left,
                                                     const TScriptPos& pos)
{
    // FIXME: membership tests arrive with the set, array and class operators;
    // until then the operand is read and the test reported.
    (void)left;
    if (FTok->Accept(ttALEFT)) {
        if (!FTok->Accept(ttARIGHT)) {
            do {
                ParseExpression(nullptr);
                if (FTok->Accept(ttDOTDOT))
                    ParseExpression(nullptr);
            } while (FTok->Accept(ttCOMMA));
            if (!FTok->Accept(ttARIGHT))
                AbortWithSyntaxError(HotPos(), CloseBracketExpectedMsg);
        }
    } else {
        ParseExpression(nullptr);
    }
    Msgs().AddSyntaxError(pos, InvalidOperandsMsg);
    return MakeConstant(FProg->TypBoolean(), Variant(false));
}

// term -> "not" term | "+" term | "-" term | "(" expression ")" | literal
//       | "True" | "False" | name-expression
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseTerm(bool isWrite, TTypeSymbol* expected)
{
    TNestingGuard nesting(*this);
    if (!FTok->HasToken())
        AbortWithSyntaxError(HotPos(), ExpressionExpectedMsg);
    const TTokenType t = FTok->IsAnyToken({ttNOT, ttPLUS, ttMINUS, ttBLEFT, ttTRUE, ttFALSE,
                                           ttStrVal, ttIntVal, ttFloatVal, ttALEFT, ttAT, ttNIL});
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
    case ttStrVal:
    case ttIntVal:
    case ttFloatVal:
        return ReadLiteral();
    default:
        break;
    }
    if (FTok->IsName())
        return ParseNameExpression(isWrite, expected);
    // Array constants, "@" and nil come with the types that use them.
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
    TSymbol* sym = FTable->FindSymbol(name, TClassVisibility::cvPrivate);
    if (sym == nullptr)
        AbortWithSyntaxError(namePos, UnknownNameMsg, {name});
    FTok->Discard();

    std::unique_ptr<TTypedExpr> result;
    if (auto* func = dynamic_cast<TFuncSymbol*>(sym); func != nullptr && !func->IsType()) {
        result = ReadFuncCall(func, namePos);
    } else if (auto* constSym = dynamic_cast<TConstSymbol*>(sym)) {
        result = MakeConstant(constSym->Typ(),
                              constSym->Data().empty() ? Variant() : constSym->Data()[0]);
    } else if (auto* var = dynamic_cast<TDataSymbol*>(sym)) {
        result = MakeVarExpr(var);
    } else if (sym->IsType()) {
        // FIXME: casts and type references come with the special functions;
        // until then a type name is no operand.
        if (!FTok->IsToken(ttBLEFT))
            AbortWithSyntaxError(HotPos(), OpenParenExpectedMsg);
        AbortWithSyntaxError(namePos, ExpressionExpectedMsg);
    } else {
        AbortWithSyntaxError(namePos, UnknownTypeMsg, {name});
    }
    return ParseMemberChain(std::move(result), isWrite, expected);
}

// member-chain -> { "." name | "[" indices "]" | "(" arguments ")" }
std::unique_ptr<TTypedExpr> TtvsCompiler::ParseMemberChain(std::unique_ptr<TTypedExpr> node,
                                                           bool /*isWrite*/,
                                                           TTypeSymbol* /*expected*/)
{
    // Scalars have no members; records, classes, arrays and string indexing
    // extend this as those types arrive.
    if (FTok->IsToken(ttDOT))
        AbortWithSyntaxError(HotPos(), NoMemberExpectedMsg);
    return node;
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
    value = ConvertArgument(std::move(value), target);
    TTypeSymbol* source = value->Typ();
    if (target == nullptr || source == nullptr || !target->IsCompatible(source))
        Msgs().AddSyntaxError(pos, IncompatibleAssignMsg,
                              {TSymbol::DisplayNameOf(source), TSymbol::DisplayNameOf(target)});
    return value;
}
