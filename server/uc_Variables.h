// The script functions that give a running server page its request:
// VarGET reads the query parameters, VarPOST the form parameters.
#pragma once

#include <string>
#include <string_view>

#include "tvsFunctions.h"

// Makes VarGET(name: String): String and VarPOST(name: String): String known
// to every script compiled in the process. Safe to call any number of times
// from any thread; only the first call registers.
void RegisterRequestVariableFunctions();

// What VarGET and VarPOST answer: the value of the parameter whose name,
// lower-cased (A to Z only), is the key in the request that the calling
// thread serves. A missing name, and any name outside a page request, gives
// the empty text: a page cannot tell a missing parameter from an empty one.
std::u16string RequestGetParam(std::u16string_view name);
std::u16string RequestPostParam(std::u16string_view name);

// Not stateless: the same constant name gives a different value in every
// request, so calls are never folded while compiling.
class TVarGETFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override;
};

class TVarPOSTFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override;
};
