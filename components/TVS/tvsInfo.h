// The host's view of a call of a general-style function: its arguments and
// its result, read and written by parameter name.
#pragma once

#include <span>
#include <string_view>

#include "tvsVariant.h"

class TtvsExecution;
class TtvsProgramExecution;
class TFuncSymbol;

inline constexpr char16_t ParameterNotFoundMsg[] = u"Parameter \"%s\" not found in \"%s\"";

// Lives for one call. The argument slots belong to the call node.
class TProgramInfo final {
public:
    TProgramInfo(TtvsExecution& exec, const TFuncSymbol& func, std::span<Variant> args,
                 Variant& result)
        : FExec(exec)
        , FFunc(func)
        , FArgs(args)
        , FResult(result)
    {}

    TtvsExecution& Execution() const { return FExec; }
    // The running program's execution; nil while compiling.
    TtvsProgramExecution* ProgramExecution() const;
    const TFuncSymbol& FuncSym() const { return FFunc; }

    // The argument of the parameter of that name (case-insensitive); an
    // unknown name is the host's mistake and raises.
    const Variant& ValueAsVariant(std::u16string_view name) const;
    int64_t ValueAsInteger(std::u16string_view name) const
    {
        return ValueAsVariant(name).ToInteger();
    }
    double ValueAsFloat(std::u16string_view name) const { return ValueAsVariant(name).ToFloat(); }
    bool ValueAsBoolean(std::u16string_view name) const { return ValueAsVariant(name).ToBoolean(); }
    UnicodeString ValueAsString(std::u16string_view name) const;

    const Variant& ResultAsVariant() const { return FResult; }
    void SetResultAsVariant(const Variant& value) { FResult = value; }
    void SetResultAsInteger(int64_t value) { FResult = Variant(value); }
    void SetResultAsFloat(double value) { FResult = Variant(value); }
    void SetResultAsBoolean(bool value) { FResult = Variant(value); }
    void SetResultAsString(const UnicodeString& value) { FResult = Variant(value); }

private:
    int IndexOf(std::u16string_view name) const;

    TtvsExecution& FExec;
    const TFuncSymbol& FFunc;
    std::span<Variant> FArgs;
    Variant& FResult;
};
