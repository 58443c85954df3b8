#include "uc_Variables.h"

#include <mutex>

#include "uGlobals.h"
#include "uWebServer.h"

namespace {

std::u16string Lookup(const TParamMap TServerData::*params, std::u16string_view name)
{
    // The record of the request this thread serves; none outside a page.
    const TServerData* data = CurrentServerData();
    if (data == nullptr)
        return {};
    const TParamMap& map = data->*params;
    const auto found = map.find(LowerCaseASCII(std::u16string(name)));
    return found == map.end() ? std::u16string() : found->second;
}

} // namespace

std::u16string RequestGetParam(std::u16string_view name)
{
    return Lookup(&TServerData::GetParams, name);
}

std::u16string RequestPostParam(std::u16string_view name)
{
    return Lookup(&TServerData::PostParams, name);
}

void TVarGETFunc::DoEvalAsString(const TMagicArgs& args, UnicodeString& result)
{
    result = RequestGetParam(args.AsString(0).View());
}

void TVarPOSTFunc::DoEvalAsString(const TMagicArgs& args, UnicodeString& result)
{
    result = RequestPostParam(args.AsString(0).View());
}

void RegisterRequestVariableFunctions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterInternalStringFunction(&MakeInternalFunction<TVarGETFunc>, u"VarGET",
                                       {u"name", u"String"});
        RegisterInternalStringFunction(&MakeInternalFunction<TVarPOSTFunc>, u"VarPOST",
                                       {u"name", u"String"});
    });
}
