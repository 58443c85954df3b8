#include "tvsSystemOperators.h"

#include <initializer_list>
#include <memory>

#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsRelExprs.h"

namespace {

using enum TTokenType;

// Operand kinds: Integer, Float, String, Boolean, Variant, class reference.
enum TOpKind : uint8_t { okI, okF, okS, okB, okV, okC };

struct TPair {
    TOpKind Left;
    TOpKind Right;
};

struct TBinaryRow {
    TTokenType Token;
    std::initializer_list<TPair> Pairs;
    TBinaryOpFactory Factory;
};

struct TOpAssignRow {
    TTokenType Token;
    std::initializer_list<TPair> Pairs;
    TOpAssignFactory Factory;
};

// The pair lists that several operators share.
constexpr TPair II{okI, okI};
constexpr TPair IF{okI, okF};
constexpr TPair FI{okF, okI};
constexpr TPair FF{okF, okF};
constexpr TPair FV{okF, okV};
constexpr TPair VF{okV, okF};
constexpr TPair IV{okI, okV};
constexpr TPair VI{okV, okI};
constexpr TPair VV{okV, okV};
constexpr TPair SS{okS, okS};
constexpr TPair SV{okS, okV};
constexpr TPair VS{okV, okS};
constexpr TPair BB{okB, okB};
constexpr TPair BV{okB, okV};
constexpr TPair VB{okV, okB};
constexpr TPair CC{okC, okC};

// clang-format off
const TBinaryRow BinaryRows[] = {
    {ttPLUS,    {II},                 &MakeBinaryOp<TAddIntExpr>},
    {ttPLUS,    {SS, VS, SV},         &MakeBinaryOp<TAddStrExpr>},
    {ttPLUS,    {IF, FI, FF, FV, VF}, &MakeBinaryOp<TAddFloatExpr>},
    {ttPLUS,    {IV, VI, VV},         &MakeBinaryOp<TAddVariantExpr>},
    {ttMINUS,   {II},                 &MakeBinaryOp<TSubIntExpr>},
    {ttMINUS,   {IF, FI, FF, FV, VF}, &MakeBinaryOp<TSubFloatExpr>},
    {ttMINUS,   {IV, VI, VV},         &MakeBinaryOp<TSubVariantExpr>},
    {ttTIMES,   {II},                 &MakeBinaryOp<TMultIntExpr>},
    {ttTIMES,   {IF, FI, FF, FV, VF}, &MakeBinaryOp<TMultFloatExpr>},
    {ttTIMES,   {IV, VI, VV},         &MakeBinaryOp<TMultVariantExpr>},
    {ttDIVIDE,  {II, IF, FI, FF, IV, FV, VI, VF, VV}, &MakeBinaryOp<TDivideExpr>},
    {ttDIV,     {II, IV, VI, VV},     &MakeBinaryOp<TDivExpr>},
    {ttMOD,     {II, IV, VI, VV},     &MakeBinaryOp<TModExpr>},
    {ttOR,      {BB, BV, VB},         &MakeBinaryOp<TBoolOrExpr>},
    {ttOR,      {II, IV, VI},         &MakeBinaryOp<TIntOrExpr>},
    {ttOR,      {VV},                 &MakeBinaryOp<TVariantOrExpr>},
    {ttAND,     {BB, BV, VB},         &MakeBinaryOp<TBoolAndExpr>},
    {ttAND,     {II, IV, VI},         &MakeBinaryOp<TIntAndExpr>},
    {ttAND,     {VV},                 &MakeBinaryOp<TVariantAndExpr>},
    {ttXOR,     {BB, BV, VB},         &MakeBinaryOp<TBoolXorExpr>},
    {ttXOR,     {II, IV, VI},         &MakeBinaryOp<TIntXorExpr>},
    {ttXOR,     {VV},                 &MakeBinaryOp<TVariantXorExpr>},
    {ttIMPLIES, {BB, VB, BV, VV},     &MakeBinaryOp<TBoolImpliesExpr>},
    {ttSHL,     {II, IV, VI, VV},     &MakeBinaryOp<TShlExpr>},
    {ttSHR,     {II, IV, VI, VV},     &MakeBinaryOp<TShrExpr>},
    {ttSAR,     {II, IV, VI, VV},     &MakeBinaryOp<TSarExpr>},
    {ttEQ,      {BB, VB, BV},         &MakeBinaryOp<TRelEqualBoolExpr>},
    {ttNOTEQ,   {BB, BV, VB},         &MakeBinaryOp<TRelNotEqualBoolExpr>},
};

// The six comparisons share one pattern of pairs, registered per operator
// after the rows above.
const struct {
    TTokenType Token;
    TBinaryOpFactory Int, Float, String, Var;
} RelationalRows[] = {
    {ttEQ,      &MakeBinaryOp<TRelEqualIntExpr>,        &MakeBinaryOp<TRelEqualFloatExpr>,
                &MakeBinaryOp<TRelEqualStringExpr>,     &MakeBinaryOp<TRelEqualVariantExpr>},
    {ttNOTEQ,   &MakeBinaryOp<TRelNotEqualIntExpr>,     &MakeBinaryOp<TRelNotEqualFloatExpr>,
                &MakeBinaryOp<TRelNotEqualStringExpr>,  &MakeBinaryOp<TRelNotEqualVariantExpr>},
    {ttLESS,    &MakeBinaryOp<TRelLessIntExpr>,         &MakeBinaryOp<TRelLessFloatExpr>,
                &MakeBinaryOp<TRelLessStringExpr>,      &MakeBinaryOp<TRelLessVariantExpr>},
    {ttLESSEQ,  &MakeBinaryOp<TRelLessEqualIntExpr>,    &MakeBinaryOp<TRelLessEqualFloatExpr>,
                &MakeBinaryOp<TRelLessEqualStringExpr>, &MakeBinaryOp<TRelLessEqualVariantExpr>},
    {ttGTR,     &MakeBinaryOp<TRelGreaterIntExpr>,      &MakeBinaryOp<TRelGreaterFloatExpr>,
                &MakeBinaryOp<TRelGreaterStringExpr>,   &MakeBinaryOp<TRelGreaterVariantExpr>},
    {ttGTREQ,   &MakeBinaryOp<TRelGreaterEqualIntExpr>, &MakeBinaryOp<TRelGreaterEqualFloatExpr>,
                &MakeBinaryOp<TRelGreaterEqualStringExpr>,
                &MakeBinaryOp<TRelGreaterEqualVariantExpr>},
};

const TBinaryRow ClassReferenceRows[] = {
    {ttEQ,      {CC},                 &MakeBinaryOp<TRelEqualStringExpr>},
    {ttNOTEQ,   {CC},                 &MakeBinaryOp<TRelNotEqualStringExpr>},
};

const TOpAssignRow OpAssignRows[] = {
    {ttPLUS_ASSIGN,   {II},                     &MakeOpAssign<TPlusAssignIntExpr>},
    {ttPLUS_ASSIGN,   {FF, IF, FI, VF, FV},     &MakeOpAssign<TPlusAssignFloatExpr>},
    {ttPLUS_ASSIGN,   {SS, SV, VS},             &MakeOpAssign<TPlusAssignStrExpr>},
    {ttPLUS_ASSIGN,   {VV, VI, IV},             &MakeOpAssign<TPlusAssignExpr>},
    {ttMINUS_ASSIGN,  {II},                     &MakeOpAssign<TMinusAssignIntExpr>},
    {ttMINUS_ASSIGN,  {FF, IF, FI, VF, FV},     &MakeOpAssign<TMinusAssignFloatExpr>},
    {ttMINUS_ASSIGN,  {IV, VV, VI},             &MakeOpAssign<TMinusAssignExpr>},
    {ttTIMES_ASSIGN,  {II},                     &MakeOpAssign<TMultAssignIntExpr>},
    {ttTIMES_ASSIGN,  {FF, IF, FI, VF, FV},     &MakeOpAssign<TMultAssignFloatExpr>},
    {ttTIMES_ASSIGN,  {IV, VV, VI},             &MakeOpAssign<TMultAssignExpr>},
    {ttDIVIDE_ASSIGN, {II, IF, IV, FF, FI, FV, VF, VV, VI}, &MakeOpAssign<TDivideAssignExpr>},
};
// clang-format on

} // namespace

TSystemOperators::TSystemOperators(const TSystemOperatorTypes& types)
{
    TTypeSymbol* const kinds[] = {types.Integer, types.Float,   types.String,
                                  types.Boolean, types.Variant, types.Class};
    const auto both = [&](TPair pair, auto&& add) {
        TTypeSymbol* left = kinds[pair.Left];
        TTypeSymbol* right = kinds[pair.Right];
        if (left != nullptr && right != nullptr)
            add(left, right);
    };
    const auto binary = [&](TTokenType token, TPair pair, TBinaryOpFactory factory) {
        both(pair, [&](TTypeSymbol* l, TTypeSymbol* r) { RegisterBinary(token, factory, l, r); });
    };

    for (const TBinaryRow& row : BinaryRows)
        for (TPair pair : row.Pairs)
            binary(row.Token, pair, row.Factory);
    for (const auto& rel : RelationalRows) {
        binary(rel.Token, II, rel.Int);
        for (TPair pair : {FF, FI, IF})
            binary(rel.Token, pair, rel.Float);
        for (TPair pair : {SS, SV, VS})
            binary(rel.Token, pair, rel.String);
        for (TPair pair : {VV, FV, IV, VI, VF})
            binary(rel.Token, pair, rel.Var);
    }
    for (const TBinaryRow& row : ClassReferenceRows)
        for (TPair pair : row.Pairs)
            binary(row.Token, pair, row.Factory);
    for (const TOpAssignRow& row : OpAssignRows)
        for (TPair pair : row.Pairs)
            both(pair, [&](TTypeSymbol* l, TTypeSymbol* r) {
                RegisterOpAssign(row.Token, row.Factory, l, r);
            });
}

// Same base types at the same addresses are the same live types, so a
// thread's cached table stays valid until a program brings other ones.
const TOperators& SystemOperatorsFor(const TtvsProgram& prog)
{
    thread_local std::unique_ptr<TSystemOperators> table;
    thread_local TSystemOperatorTypes tableTypes;
    TSystemOperatorTypes types;
    types.Integer = prog.TypInteger();
    types.Float = prog.TypFloat();
    types.String = prog.TypString();
    types.Boolean = prog.TypBoolean();
    types.Variant = prog.TypVariant();
    const bool same = table && types.Integer == tableTypes.Integer
                      && types.Float == tableTypes.Float && types.String == tableTypes.String
                      && types.Boolean == tableTypes.Boolean && types.Variant == tableTypes.Variant;
    if (!same) {
        table = std::make_unique<TSystemOperators>(types);
        tableTypes = types;
    }
    return *table;
}
