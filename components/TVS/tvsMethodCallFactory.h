// The one place that decides which call node a method call becomes, for
// calls written in scripts, calls from host code into scripts and calls whose
// target changes later, and that reports the misuse visible at that point.
#pragma once

#include <array>
#include <cstddef>

#include "tvsScriptPos.h"

class TClassSymbol;
class TMethodSymbol;
class TtvsMessageList;

// The node classes a method call can become. The call nodes live in the
// expression layer; it keeps one creator per entry (TMethodCallCreators).
// clang-format off
enum class TMethodCallNode : unsigned char {
    mcnInterface,             // TMethodInterfaceExpr
    mcnRecordClassMethod,     // TFuncExpr; the base expression is freed
    mcnRecordMethod,          // TRecordMethodExpr; the base becomes the first argument (Self)
    mcnConstructorStatic,     // TConstructorStaticExpr
    mcnConstructorVirtual,    // TConstructorVirtualExpr
    mcnConstructorStaticObj,  // TConstructorStaticObjExpr
    mcnConstructorVirtualObj, // TConstructorVirtualObjExpr
    mcnDestructorStatic,      // TDestructorStaticExpr
    mcnDestructorVirtual,     // TDestructorVirtualExpr
    mcnClassMethodStatic,     // TClassMethodStaticExpr
    mcnClassMethodVirtual,    // TClassMethodVirtualExpr
    mcnMethodStatic,          // TMethodStaticExpr
    mcnMethodVirtual,         // TMethodVirtualExpr
};
// clang-format on

inline constexpr size_t MethodCallNodeCount =
    static_cast<size_t>(TMethodCallNode::mcnMethodVirtual) + 1;

// One creator function per node class, indexed by TMethodCallNode. The
// expression layer fills it with functions of its own signature, e.g.
// (program, base expression, method, position) -> node.
template <class TCreator> using TMethodCallCreators = std::array<TCreator, MethodCallNodeCount>;

// What the factory needs to know about the call site, which only the
// expression layer can tell.
struct TMethodCallSite {
    // Set when the base expression is a constant whose type is a "class of"
    // type: the class it names. Nil otherwise (a class-reference variable
    // is checked at run time).
    TClassSymbol* ConstantClassRef = nullptr;
    // The code being compiled is the body of a constructor (a routine
    // nested in one does not count).
    bool InConstructorBody = false;
};

inline constexpr char16_t AbstractClassInstanceMsg[] =
    u"Trying to create an instance of an abstract class";
inline constexpr char16_t AbstractClassUsageMsg[] = u"Trying to use an abstract class!";
inline constexpr char16_t StaticClassInstanceMsg[] =
    u"Class \"%s\" is static, instantiation not allowed!";
inline constexpr char16_t ConstructorOnInstanceMsg[] =
    u"Constructor invoked on instance outside of constructor";
inline constexpr char16_t DestructorOnClassMsg[] = u"Destructor can only be invoked on instance";
inline constexpr char16_t ClassMethodExpectedMsg[] = u"Class method or constructor expected";

// Picks the node class for a call of method. staticDispatch forces static
// dispatch of a virtual method; classReference is set when the base yields
// a class reference rather than an object. Misuse is listed in messages at
// pos (errors as syntax errors, one warning); a node is chosen anyway. A
// method whose owner is no record, interface or class is an assertion.
TMethodCallNode ChooseMethodCallNode(const TMethodSymbol& method, bool staticDispatch,
                                     bool classReference, const TMethodCallSite& site,
                                     TtvsMessageList& messages, const TScriptPos& pos);

// The expression layer's BuildMethodCall then only does:
//     site = {constant class of the base, compiling a constructor body};
//     node = ChooseMethodCallNode(*method, staticDispatch, classReference, site, msgs, pos);
//     return Creators[node](program, std::move(base), method, pos);
