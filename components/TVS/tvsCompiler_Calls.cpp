// Calls of routines: the argument list, overload resolution by cost, default
// values, and the checks of every argument against its parameter.
#include <limits>

#include "tvsCompiler.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsSymbols.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t CloseParenExpectedMsg[] = u"\")\" expected.";
constexpr char16_t NoOverloadMsg[] =
    u"There is no overloaded version of \"%s\" that can be called with these arguments";
constexpr char16_t ArgumentNoTypeMsg[] = u"Argument %d expects type \"%s\"";
constexpr char16_t ArgumentTypeMsg[] = u"Argument %d expects type \"%s\" instead of \"%s\"";
constexpr char16_t VarArgumentMsg[] = u"Argument %d (%s) cannot be passed as Var-parameter";
constexpr char16_t VariableOnlyMsg[] = u"Only a variable can be be passed as Var-parameter";
constexpr char16_t TooManyArgumentsMsg[] = u"Too many arguments!";
constexpr char16_t MoreArgumentsMsg[] = u"More arguments expected!";
constexpr char16_t DeprecatedMsg[] = u"\"%s\" has been deprecated: %s";
constexpr char16_t DeprecatedNoTextMsg[] = u"\"%s\" has been deprecated";

// The marker a deprecation without a message carries.
constexpr char16_t DeprecatedWithoutText[] = u"!";

// Costs of overload resolution: an exact fit, a conversion, and a Variant
// argument for an Integer parameter (which should lose against a Float one).
constexpr int64_t CostConversion = 1;
constexpr int64_t CostVariantToInteger = 256;

using enum TTokenType;

std::unique_ptr<TInternalFuncCallBase> MakeCallNode(TtvsProgram& prog, TFuncSymbol& func,
                                                    const TScriptPos& pos)
{
    if (auto* magic = dynamic_cast<TMagicFuncSymbol*>(&func)) {
        std::unique_ptr<TTypedExpr> node = magic->Function().MakeCallNode(prog, *magic, pos);
        return std::unique_ptr<TInternalFuncCallBase>(
            static_cast<TInternalFuncCallBase*>(node.release()));
    }
    return std::make_unique<TInternalFuncExpr>(func, pos);
}

} // namespace

// call -> name [ "(" [ expression { "," expression } ] ")" ]
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadFuncCall(TFuncSymbol* func, const TScriptPos& namePos)
{
    std::vector<TFuncSymbol*> candidates;
    if (func->IsOverloaded()) {
        FTable->EnumerateSymbolsOfNameInScope(func->Name(), [&](TSymbol* sym) {
            auto* f = dynamic_cast<TFuncSymbol*>(sym);
            if (f != nullptr && f->Level() == func->Level()
                && std::find(candidates.begin(), candidates.end(), f) == candidates.end())
                candidates.push_back(f);
            return false;
        });
    }

    std::unique_ptr<TInternalFuncCallBase> call = MakeCallNode(*FProg, *func, namePos);
    std::vector<TScriptPos> argPos;
    ParseArguments(*call, argPos);
    bool resolved = true;
    if (!candidates.empty())
        resolved = ResolveOverload(call, candidates);
    if (resolved)
        CheckArguments(*call, argPos);

    const TFuncSymbol& called = call->Func();
    if (called.IsDeprecated()) {
        if (called.DeprecatedMessage() == DeprecatedWithoutText)
            Msgs().AddWarning(namePos, DeprecatedNoTextMsg, {called.Name()});
        else
            Msgs().AddWarning(namePos, DeprecatedMsg, {called.Name(), called.DeprecatedMessage()});
    }
    return Fold(std::unique_ptr<TTypedExpr>(call.release()), namePos);
}

// arguments -> "(" [ expression { "," expression } ] ")"
void TtvsCompiler::ParseArguments(TInternalFuncCallBase& call, std::vector<TScriptPos>& argPos)
{
    if (!FTok->Accept(ttBLEFT))
        return;
    if (FTok->Accept(ttBRIGHT))
        return;
    do {
        argPos.push_back(NextTokenPos());
        const int index = static_cast<int>(call.Args().size());
        TParamsSymbolTable& params = call.Func().Params();
        TParamSymbol* param = index < params.Count() ? params.Param(index) : nullptr;
        TTypeSymbol* expected = param != nullptr ? param->Typ() : nullptr;
        if (dynamic_cast<TVarParamSymbol*>(param) != nullptr) {
            // A var argument names a location: read it as an assignment
            // target, so that a loop's own counter is noticed.
            auto arg = Fold(ParseTerm(true, expected), argPos.back());
            WarnIfForLoopVariable(*arg, argPos.back());
            call.AddArg(std::move(arg));
        } else {
            call.AddArg(Fold(ParseExpression(expected), argPos.back()));
        }
    } while (FTok->Accept(ttCOMMA));
    if (!FTok->Accept(ttBRIGHT))
        AbortWithSyntaxError(HotPos(), CloseParenExpectedMsg);
}

// Picks the candidate whose parameters fit the arguments at the lowest cost;
// a tie or no fit at all is an error and the call stays as it is.
bool TtvsCompiler::ResolveOverload(std::unique_ptr<TInternalFuncCallBase>& call,
                                   const std::vector<TFuncSymbol*>& candidates)
{
    const auto& args = call->Args();
    const size_t n = args.size();
    TFuncSymbol* best = nullptr;
    int64_t bestCost = std::numeric_limits<int64_t>::max();
    int bestCount = 0;
    for (TFuncSymbol* candidate : candidates) {
        TParamsSymbolTable& params = candidate->Params();
        if (static_cast<size_t>(params.Count()) < n)
            continue;
        int64_t cost = 0;
        bool fits = true;
        for (size_t i = 0; i < n && fits; ++i) {
            TTypeSymbol* a = args[i]->Typ();
            TTypeSymbol* p = params.Param(static_cast<int>(i))->Typ();
            if (a == nullptr || p == nullptr) {
                fits = false;
            } else if (p->IsOfType(a)) {
                // exact fit
            } else if (IsOfBaseType(a, FProg->TypVariant())) {
                fits = FProg->TypVariant()->IsCompatible(p);
                cost +=
                    IsOfBaseType(p, FProg->TypInteger()) ? CostVariantToInteger : CostConversion;
            } else if (IsOfBaseType(a, FProg->TypInteger()) && IsOfBaseType(p, FProg->TypFloat())) {
                cost += CostConversion;
            } else {
                fits = p->IsCompatible(a);
                cost += CostConversion;
            }
        }
        for (int i = static_cast<int>(n); fits && i < params.Count(); ++i)
            fits = dynamic_cast<TParamSymbolWithDefaultValue*>(params.Param(i)) != nullptr;
        if (!fits)
            continue;
        if (cost < bestCost) {
            bestCost = cost;
            best = candidate;
            bestCount = 1;
        } else if (cost == bestCost) {
            ++bestCount;
        }
    }
    if (best == nullptr || bestCount > 1) {
        Msgs().AddSyntaxError(call->GetScriptPos(), NoOverloadMsg, {call->Func().Name()});
        return false;
    }
    if (best != &call->Func()) {
        // The chosen routine may call for another kind of node.
        auto rebound = MakeCallNode(*FProg, *best, call->GetScriptPos());
        for (auto& arg : call->Args())
            rebound->AddArg(std::move(arg));
        call = std::move(rebound);
    }
    return true;
}

// Completes the arguments from default values and checks each against its
// parameter, converting where the parameter's type asks for it.
void TtvsCompiler::CheckArguments(TInternalFuncCallBase& call,
                                  const std::vector<TScriptPos>& argPos)
{
    TFuncSymbol& func = call.Func();
    TParamsSymbolTable& params = func.Params();
    auto& args = call.Args();
    const int messagesBefore = Msgs().Count();
    const size_t paramCount = static_cast<size_t>(params.Count());

    const bool tooMany = args.size() > paramCount;
    if (tooMany)
        args.resize(paramCount);
    bool tooFew = false;
    while (args.size() < paramCount) {
        auto* withDefault = dynamic_cast<TParamSymbolWithDefaultValue*>(
            params.Param(static_cast<int>(args.size())));
        if (withDefault == nullptr) {
            tooFew = true;
            break;
        }
        // Registration keeps defaults as text; they take the parameter's type here.
        Variant value =
            withDefault->DefaultValue().empty() ? Variant() : withDefault->DefaultValue()[0];
        TTypeSymbol* typ = withDefault->Typ();
        if (value.IsString() && typ != nullptr) {
            TTypeSymbol* base = typ->UnAliasedType();
            if (base == FProg->TypInteger())
                value = Variant(StrToInt64(value.VString().View()));
            else if (base == FProg->TypFloat())
                value = Variant(StrToFloat(value.VString().View()));
            else if (base == FProg->TypBoolean())
                value = Variant(FastSameText(value.VString().View(), u"True"));
        }
        args.push_back(MakeConstant(typ, value));
    }

    const size_t checked = std::min(args.size(), paramCount);
    for (size_t i = 0; i < checked; ++i) {
        const TScriptPos pos = i < argPos.size() ? argPos[i] : call.GetScriptPos();
        TParamSymbol* param = params.Param(static_cast<int>(i));
        TTypeSymbol* paramType = param->Typ();
        const bool isVar = dynamic_cast<TVarParamSymbol*>(param) != nullptr;
        TTypeSymbol* before = args[i]->Typ();
        if (!isVar)
            args[i] = ConvertArgument(std::move(args[i]), paramType);
        TTypeSymbol* after = args[i]->Typ();
        const int index = static_cast<int>(i);
        if (after == nullptr) {
            Msgs().AddSyntaxError(pos, ArgumentNoTypeMsg,
                                  {index, TSymbol::DisplayNameOf(paramType)});
        } else if (paramType == nullptr || !paramType->IsCompatible(after)) {
            Msgs().AddSyntaxError(
                pos, ArgumentTypeMsg,
                {index, TSymbol::DisplayNameOf(paramType), TSymbol::DisplayNameOf(after)});
        } else if (isVar) {
            if (!paramType->IsOfType(before))
                Msgs().AddSyntaxError(
                    pos, ArgumentTypeMsg,
                    {index, TSymbol::DisplayNameOf(paramType), TSymbol::DisplayNameOf(before)});
            auto* data = dynamic_cast<TDataExpr*>(args[i].get());
            if (data != nullptr && FOptions.Contains(TCompilerOption::coVariablesAsVarOnly)
                && dynamic_cast<TVarExpr*>(data) == nullptr) {
                Msgs().AddSyntaxError(pos, VariableOnlyMsg);
            } else if (data == nullptr || !data->IsWritable()) {
                Msgs().AddSyntaxError(pos, VarArgumentMsg, {index, param->Name()});
            }
        }
    }
    if (Msgs().Count() == messagesBefore) {
        if (tooMany)
            Msgs().AddSyntaxError(call.GetScriptPos(), TooManyArgumentsMsg);
        else if (tooFew)
            Msgs().AddSyntaxError(call.GetScriptPos(), MoreArgumentsMsg);
    }
}

// The conversion an argument needs for a parameter of type target; unlike
// assignments, an impossible conversion is reported by the argument check.
std::unique_ptr<TTypedExpr> TtvsCompiler::ConvertArgument(std::unique_ptr<TTypedExpr> value,
                                                          TTypeSymbol* target)
{
    TTypeSymbol* source = value->Typ();
    if (target == nullptr || source == nullptr || source == target)
        return value;
    TTypeSymbol* unaliasedTarget = target->UnAliasedType();
    if (source->UnAliasedType() == FProg->TypVariant()) {
        if (unaliasedTarget == FProg->TypInteger())
            return std::make_unique<TConvIntegerExpr>(*FProg, std::move(value));
        if (unaliasedTarget == FProg->TypFloat())
            return std::make_unique<TConvFloatExpr>(*FProg, std::move(value));
        if (unaliasedTarget == FProg->TypString())
            return std::make_unique<TConvStringExpr>(*FProg, std::move(value));
        if (unaliasedTarget == FProg->TypBoolean())
            return std::make_unique<TConvBoolExpr>(*FProg, std::move(value));
    } else if (unaliasedTarget == FProg->TypFloat()
               && ExprIsOfType(value.get(), FProg->TypInteger())) {
        if (value->IsConstant())
            return MakeConstant(FProg->TypFloat(), Variant(static_cast<double>(
                                                       value->EvalAsInteger(CompileTimeExec()))));
        return std::make_unique<TConvFloatExpr>(*FProg, std::move(value));
    }
    return value;
}
