// The operator table: for an operator token and a pair of operand types, the
// node an expression or an op-assignment builds, or the user routine that
// implements it. Tables chain to a parent, so a scope can add operators
// on top of the system ones.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "tvsScriptPos.h"
#include "tvsTokenizer.h"

class TtvsProgram;
class TTypedExpr;
class TDataExpr;
class TAssignExpr;
class TTypeSymbol;
class TFuncSymbol;

// Builds a binary operator node over (left, right).
using TBinaryOpFactory = std::unique_ptr<TTypedExpr> (*)(TtvsProgram&, std::unique_ptr<TTypedExpr>,
                                                         std::unique_ptr<TTypedExpr>);
// Builds an op-assignment statement (x += y) over (target, value).
using TOpAssignFactory = std::unique_ptr<TAssignExpr> (*)(const TScriptPos&,
                                                          std::unique_ptr<TDataExpr>,
                                                          std::unique_ptr<TTypedExpr>);

template <class T>
std::unique_ptr<TTypedExpr> MakeBinaryOp(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                                         std::unique_ptr<TTypedExpr> right)
{
    return std::make_unique<T>(prog, std::move(left), std::move(right));
}

template <class T>
std::unique_ptr<TAssignExpr> MakeOpAssign(const TScriptPos& pos, std::unique_ptr<TDataExpr> left,
                                          std::unique_ptr<TTypedExpr> right)
{
    return std::make_unique<T>(pos, std::move(left), std::move(right));
}

// One entry: exactly one of the three ways to build the operation is set.
struct TRegisteredOperator {
    TBinaryOpFactory BinExprClass = nullptr;
    TOpAssignFactory AssignExprClass = nullptr;
    // A user "operator" declaration; the table does not own the routine.
    TFuncSymbol* UsesSym = nullptr;
    TTypeSymbol* Left = nullptr;
    TTypeSymbol* Right = nullptr;
};

class TOperators {
public:
    explicit TOperators(const TOperators* parent = nullptr);
    virtual ~TOperators();
    TOperators(const TOperators&) = delete;
    TOperators& operator=(const TOperators&) = delete;

    void RegisterBinary(TTokenType token, TBinaryOpFactory factory, TTypeSymbol* left,
                        TTypeSymbol* right);
    void RegisterOpAssign(TTokenType token, TOpAssignFactory factory, TTypeSymbol* left,
                          TTypeSymbol* right);
    // Answers true when the operator had no entry for these types before;
    // the entry is added either way, so an earlier one still wins the
    // exact-match lookup.
    bool RegisterOperator(TTokenType token, TFuncSymbol* usesSym, TTypeSymbol* left,
                          TTypeSymbol* right);

    // In registration order: an entry for exactly these types at once,
    // otherwise the last entry both operands are of; then the parent table.
    // Nil when either type is missing or nothing fits.
    const TRegisteredOperator* OperatorFor(TTokenType token, TTypeSymbol* left,
                                           TTypeSymbol* right) const;

    int Count() const { return FCount; }
    const TOperators* Parent() const { return FParent; }
    // A table that searches this one after its own entries; owned here.
    TOperators& AddChild();

private:
    std::vector<TRegisteredOperator>& ListFor(TTokenType token);
    const TRegisteredOperator* Find(TTokenType token, TTypeSymbol* left, TTypeSymbol* right) const;

    std::vector<std::vector<TRegisteredOperator>> FLists; // indexed by token
    int FCount = 0;
    const TOperators* FParent;
    std::unique_ptr<TOperators> FChild;
};
