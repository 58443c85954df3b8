#include "tvsMethodCallFactory.h"

#include "tvsErrors.h"
#include "tvsSymbols.h"

namespace {

using enum TMethodCallNode;

// Static and virtual node of one row of the decision table.
struct TDispatchPair {
    TMethodCallNode Static;
    TMethodCallNode Virtual;
};

// clang-format off
constexpr TDispatchPair ConstructorOnClass    = {mcnConstructorStatic,    mcnConstructorVirtual};
constexpr TDispatchPair ConstructorOnInstance = {mcnConstructorStaticObj, mcnConstructorVirtualObj};
constexpr TDispatchPair Destructor            = {mcnDestructorStatic,     mcnDestructorVirtual};
constexpr TDispatchPair ClassMethod           = {mcnClassMethodStatic,    mcnClassMethodVirtual};
constexpr TDispatchPair InstanceMethod        = {mcnMethodStatic,         mcnMethodVirtual};
// clang-format on

TDispatchPair ClassCallRow(const TMethodSymbol& method, bool classReference,
                           const TMethodCallSite& site, TtvsMessageList& messages,
                           const TScriptPos& pos)
{
    switch (method.Kind()) {
    case TRoutineKind::fkConstructor:
        if (classReference)
            return ConstructorOnClass;
        if (!site.InConstructorBody)
            messages.AddWarning(pos, ConstructorOnInstanceMsg);
        return ConstructorOnInstance;
    case TRoutineKind::fkDestructor:
        if (classReference)
            messages.AddSyntaxError(pos, DestructorOnClassMsg);
        return Destructor;
    case TRoutineKind::fkFunction:
    case TRoutineKind::fkProcedure:
    case TRoutineKind::fkMethod:
        if (method.IsClassMethod())
            return ClassMethod;
        if (classReference)
            messages.AddSyntaxError(pos, ClassMethodExpectedMsg);
        return InstanceMethod;
    }
    SymbolsAssertionFailed(u"tvsExprs", u"Unknown routine kind");
}

} // namespace

TMethodCallNode ChooseMethodCallNode(const TMethodSymbol& method, bool staticDispatch,
                                     bool classReference, const TMethodCallSite& site,
                                     TtvsMessageList& messages, const TScriptPos& pos)
{
    TStructuredTypeSymbol* owner = method.StructSymbol();
    if (dynamic_cast<TInterfaceSymbol*>(owner))
        return mcnInterface;
    if (dynamic_cast<TRecordSymbol*>(owner))
        return method.IsClassMethod() ? mcnRecordClassMethod : mcnRecordMethod;
    auto* classSymbol = dynamic_cast<TClassSymbol*>(owner);
    if (!classSymbol)
        SymbolsAssertionFailed(u"tvsExprs", u"Method of an unknown kind of type");

    if (site.ConstantClassRef && site.ConstantClassRef->IsAbstract())
        messages.AddSyntaxError(pos, method.Kind() == TRoutineKind::fkConstructor
                                         ? AbstractClassInstanceMsg
                                         : AbstractClassUsageMsg);
    if (!method.IsClassMethod() && classSymbol->IsStatic())
        messages.AddSyntaxError(pos, StaticClassInstanceMsg, {classSymbol->Name()});

    const TDispatchPair row = ClassCallRow(method, classReference, site, messages, pos);
    return method.IsVirtual() && !staticDispatch ? row.Virtual : row.Static;
}
