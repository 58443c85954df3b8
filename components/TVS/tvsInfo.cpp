#include "tvsInfo.h"

#include "tvsErrors.h"
#include "tvsExprs.h"
#include "tvsSymbols.h"
#include "tvsUtils.h"

TtvsProgramExecution* TProgramInfo::ProgramExecution() const
{
    return dynamic_cast<TtvsProgramExecution*>(&FExec);
}

int TProgramInfo::IndexOf(std::u16string_view name) const
{
    const TParamsSymbolTable& params = FFunc.Params();
    for (int i = 0; i < params.Count() && static_cast<size_t>(i) < FArgs.size(); ++i)
        if (FastSameText(params.Param(i)->Name(), name))
            return i;
    throw Exception(FormatText(ParameterNotFoundMsg, {name, FFunc.Name()}));
}

const Variant& TProgramInfo::ValueAsVariant(std::u16string_view name) const
{
    return FArgs[static_cast<size_t>(IndexOf(name))];
}

UnicodeString TProgramInfo::ValueAsString(std::u16string_view name) const
{
    return VarToStr(ValueAsVariant(name));
}
