#include "tvsOperators.h"

#include "tvsSymbols.h"

TOperators::TOperators(const TOperators* parent) : FParent(parent)
{}

TOperators::~TOperators() = default;

std::vector<TRegisteredOperator>& TOperators::ListFor(TTokenType token)
{
    const auto index = static_cast<size_t>(token);
    if (index >= FLists.size())
        FLists.resize(index + 1);
    return FLists[index];
}

void TOperators::RegisterBinary(TTokenType token, TBinaryOpFactory factory, TTypeSymbol* left,
                                TTypeSymbol* right)
{
    TRegisteredOperator entry;
    entry.BinExprClass = factory;
    entry.Left = left;
    entry.Right = right;
    ListFor(token).push_back(entry);
    ++FCount;
}

void TOperators::RegisterOpAssign(TTokenType token, TOpAssignFactory factory, TTypeSymbol* left,
                                  TTypeSymbol* right)
{
    TRegisteredOperator entry;
    entry.AssignExprClass = factory;
    entry.Left = left;
    entry.Right = right;
    ListFor(token).push_back(entry);
    ++FCount;
}

bool TOperators::RegisterOperator(TTokenType token, TFuncSymbol* usesSym, TTypeSymbol* left,
                                  TTypeSymbol* right)
{
    std::vector<TRegisteredOperator>& list = ListFor(token);
    bool isNew = true;
    for (const TRegisteredOperator& entry : list)
        if (entry.Left == left && entry.Right == right)
            isNew = false;
    TRegisteredOperator entry;
    entry.UsesSym = usesSym;
    entry.Left = left;
    entry.Right = right;
    list.push_back(entry);
    ++FCount;
    return isNew;
}

const TRegisteredOperator* TOperators::Find(TTokenType token, TTypeSymbol* left,
                                            TTypeSymbol* right) const
{
    const auto index = static_cast<size_t>(token);
    if (index >= FLists.size())
        return nullptr;
    const TRegisteredOperator* fitting = nullptr;
    for (const TRegisteredOperator& entry : FLists[index]) {
        if (entry.Left == left && entry.Right == right)
            return &entry;
        if (left->IsOfType(entry.Left) && right->IsOfType(entry.Right))
            fitting = &entry;
    }
    return fitting;
}

const TRegisteredOperator* TOperators::OperatorFor(TTokenType token, TTypeSymbol* left,
                                                   TTypeSymbol* right) const
{
    if (left == nullptr || right == nullptr)
        return nullptr;
    for (const TOperators* table = this; table != nullptr; table = table->FParent)
        if (const TRegisteredOperator* found = table->Find(token, left, right))
            return found;
    return nullptr;
}

TOperators& TOperators::AddChild()
{
    FChild = std::make_unique<TOperators>(this);
    return *FChild;
}
