// The root operator table of every compilation: the arithmetic, logical,
// shift, relational and op-assignment operators on the base types.
#pragma once

#include "tvsOperators.h"

// The base types the system operators are registered for. A missing type
// (nil) leaves out every entry that names it.
struct TSystemOperatorTypes {
    TTypeSymbol* Integer = nullptr;
    TTypeSymbol* Float = nullptr;
    TTypeSymbol* String = nullptr;
    TTypeSymbol* Boolean = nullptr;
    TTypeSymbol* Variant = nullptr;
    // The class-reference type TClass: class references compare by value.
    TTypeSymbol* Class = nullptr;
};

// The entries are registered in a fixed order that the lookup depends on:
// among the inexact fits the last one registered wins.
class TSystemOperators final : public TOperators {
public:
    explicit TSystemOperators(const TSystemOperatorTypes& types);
};

class TtvsProgram;

// The system operator table for the base types of a program, built once per
// thread and rebuilt only when the base types change.
const TOperators& SystemOperatorsFor(const TtvsProgram& prog);
