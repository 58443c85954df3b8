// The string functions as magic functions of the internal unit: each class
// evaluates its argument nodes itself and hands them to the plain function.
#include <mutex>

#include "tvsFunctions.h"
#include "tvsStringFunctions.h"
#include "tvsSymbols.h"

namespace {

// An argument a call may leave out: the compiler normally fills in the
// registered default, but a call node built by hand may not.
int64_t IntegerOr(const TMagicArgs& args, int index, int64_t def)
{
    return index < args.Count() ? args.AsInteger(index) : def;
}

UnicodeString StringOr(const TMagicArgs& args, int index)
{
    return index < args.Count() ? args.AsString(index) : UnicodeString();
}

// The elements of Format's argument list, which must be an array: a constant
// list written in the call, or an open-array parameter passed on.
void ReadFormatArgs(const TMagicArgs& args, int index, TVarRecArrayContainer& out)
{
    const TTypedExpr& expr = args.Expr(index);
    const auto* data = dynamic_cast<const TDataExpr*>(&expr);
    const TTypeSymbol* typ = expr.Typ() != nullptr ? expr.Typ()->UnAliasedType() : nullptr;
    const auto* array = dynamic_cast<const TStaticArraySymbol*>(typ);
    // FIXME: open-array parameters pass a reference to the caller's data; they
    // are refused here until that reference can be read.
    if (data == nullptr || array == nullptr || dynamic_cast<const TOpenArraySymbol*>(array))
        throw Exception(ConstantOrOpenArrayExpectedMsg);
    const TTypeSymbol* element = array->Typ();
    const size_t elementSize =
        element != nullptr && element->Size() > 1 ? static_cast<size_t>(element->Size()) : 1;
    const TDataExpr::TDataPtr at = data->GetDataPtr(args.Exec());
    for (size_t i = 0; i < static_cast<size_t>(array->ElementCount()); ++i) {
        // Records and other multi-slot elements have no scalar form.
        out.Add(elementSize == 1 ? (*at.Data)[static_cast<size_t>(at.Addr) + i] : Variant(nullptr));
    }
}

// ---------------------------------------------------------------------------
// Conversions

class TChrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = Chr(args.AsInteger(0));
    }
};

class TIntToStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = IntToStr(args.AsInteger(0));
    }
};

class TStrToIntFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        return StrToInt(args.AsString(0).View());
    }
};

// Serves StrToIntDef and VarToIntDef: a String argument reads as itself.
class TStrToIntDefFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const Variant value = args.AsVariant(0);
        return VarToIntDef(value, args.AsInteger(1));
    }
};

class TIntToHexFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const int64_t value = args.AsInteger(0);
        result = IntToHex(value, args.AsInteger(1));
    }
};

class THexToIntFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        return HexToInt(args.AsString(0).View());
    }
};

class TIntToBinFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const int64_t value = args.AsInteger(0);
        result = IntToBin(value, args.AsInteger(1));
    }
};

class TBoolToStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = BoolToStr(args.AsBoolean(0));
    }
};

class TFloatToStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const double value = args.AsFloat(0);
        result = FloatToStr(value, IntegerOr(args, 1, FloatToStrGeneral));
    }
};

class TStrToFloatFunc final : public TInternalMagicFloatFunction {
public:
    void DoEvalAsFloat(const TMagicArgs& args, double& result) override
    {
        result = StrToFloat(args.AsString(0).View());
    }
};

// Serves StrToFloatDef and VarToFloatDef.
class TStrToFloatDefFunc final : public TInternalMagicFloatFunction {
public:
    void DoEvalAsFloat(const TMagicArgs& args, double& result) override
    {
        const Variant value = args.AsVariant(0);
        result = VarToFloatDef(value, args.AsFloat(1));
    }
};

class TFormatFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString fmt = args.AsString(0);
        TVarRecArrayContainer container;
        ReadFormatArgs(args, 1, container);
        result = Format(fmt.View(), container.VarRecArray());
    }
};

// ---------------------------------------------------------------------------
// Extraction and search

class TCharAtFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString s = args.AsString(0);
        result = CharAt(s, args.AsInteger(1));
    }
};

// Copy and MidStr.
class TCopyFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        const int64_t index = args.AsInteger(1);
        result = Copy(str, index, args.AsInteger(2));
    }
};

class TLeftStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = LeftStr(str, args.AsInteger(1));
    }
};

class TRightStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = RightStr(str, args.AsInteger(1));
    }
};

class TSubStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = SubStr(str, args.AsInteger(1));
    }
};

class TSubStringFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        const int64_t start = args.AsInteger(1);
        result = SubString(str, start, args.AsInteger(2));
    }
};

class TPosFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString subStr = args.AsString(0);
        return Pos(subStr.View(), args.AsString(1).View());
    }
};

class TPosExFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString subStr = args.AsString(0);
        const UnicodeString str = args.AsString(1);
        return PosEx(subStr.View(), str.View(), args.AsInteger(2));
    }
};

class TRevPosFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString subStr = args.AsString(0);
        return RevPos(subStr.View(), args.AsString(1).View());
    }
};

class TStrBeginsWithFunc final : public TInternalMagicBoolFunction {
public:
    bool DoEvalAsBoolean(const TMagicArgs& args) override
    {
        const UnicodeString str = args.AsString(0);
        return StrBeginsWith(str.View(), args.AsString(1).View());
    }
};

class TStrEndsWithFunc final : public TInternalMagicBoolFunction {
public:
    bool DoEvalAsBoolean(const TMagicArgs& args) override
    {
        const UnicodeString str = args.AsString(0);
        return StrEndsWith(str.View(), args.AsString(1).View());
    }
};

class TStrAfterFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = StrAfter(str, args.AsString(1).View());
    }
};

class TStrBeforeFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = StrBefore(str, args.AsString(1).View());
    }
};

class TIsDelimiterFunc final : public TInternalMagicBoolFunction {
public:
    bool DoEvalAsBoolean(const TMagicArgs& args) override
    {
        const UnicodeString delims = args.AsString(0);
        const UnicodeString str = args.AsString(1);
        return IsDelimiter(delims.View(), str.View(), args.AsInteger(2));
    }
};

class TLastDelimiterFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString delims = args.AsString(0);
        return LastDelimiter(delims.View(), args.AsString(1).View());
    }
};

class TFindDelimiterFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString delims = args.AsString(0);
        const UnicodeString str = args.AsString(1);
        return FindDelimiter(delims.View(), str.View(), IntegerOr(args, 2, 1));
    }
};

// ---------------------------------------------------------------------------
// Transformations. The procedures write their var parameter back through
// the argument node.

class TDeleteFunc final : public TInternalMagicProcedure {
public:
    void DoEvalProc(const TMagicArgs& args) override
    {
        UnicodeString s = args.AsString(0);
        const int64_t index = args.AsInteger(1);
        Delete(s, index, args.AsInteger(2));
        args.Expr(0).AssignValueAsString(args.Exec(), s);
    }
};

class TInsertFunc final : public TInternalMagicProcedure {
public:
    void DoEvalProc(const TMagicArgs& args) override
    {
        const UnicodeString src = args.AsString(0);
        UnicodeString s = args.AsString(1);
        Insert(src.View(), s, args.AsInteger(2));
        args.Expr(1).AssignValueAsString(args.Exec(), s);
    }
};

class TSetLengthFunc final : public TInternalMagicProcedure {
public:
    void DoEvalProc(const TMagicArgs& args) override
    {
        UnicodeString s = args.AsString(0);
        SetLength(s, args.AsInteger(1));
        args.Expr(0).AssignValueAsString(args.Exec(), s);
    }
};

class TLowerCaseFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = LowerCase(args.AsString(0));
    }
};

class TAnsiLowerCaseFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = AnsiLowerCase(args.AsString(0).View());
    }
};

class TUpperCaseFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = UpperCase(args.AsString(0));
    }
};

class TAnsiUpperCaseFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = AnsiUpperCase(args.AsString(0).View());
    }
};

class TTrimLeftFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = TrimLeft(args.AsString(0));
    }
};

class TTrimRightFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = TrimRight(args.AsString(0));
    }
};

class TTrimFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = Trim(args.AsString(0));
    }
};

class TQuotedStrFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = QuotedStr(str.View(), StringOr(args, 1).View());
    }
};

class TStringOfCharFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString ch = args.AsString(0);
        result = StringOfChar(ch.View(), args.AsInteger(1));
    }
};

// StringOfString and DupeString.
class TStringOfStringFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        const UnicodeString str = args.AsString(0);
        result = StringOfString(str.View(), args.AsInteger(1));
    }
};

class TReverseStringFunc final : public TInternalMagicStringFunction {
public:
    void DoEvalAsString(const TMagicArgs& args, UnicodeString& result) override
    {
        result = ReverseString(args.AsString(0).View());
    }
};

// ---------------------------------------------------------------------------
// Comparisons

class TSameTextFunc final : public TInternalMagicBoolFunction {
public:
    bool DoEvalAsBoolean(const TMagicArgs& args) override
    {
        const UnicodeString str1 = args.AsString(0);
        return SameText(str1.View(), args.AsString(1).View());
    }
};

class TCompareTextFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString str1 = args.AsString(0);
        return CompareText(str1.View(), args.AsString(1).View());
    }
};

class TAnsiCompareTextFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString str1 = args.AsString(0);
        return AnsiCompareText(str1.View(), args.AsString(1).View());
    }
};

class TCompareStrFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString str1 = args.AsString(0);
        return CompareStr(str1.View(), args.AsString(1).View());
    }
};

class TAnsiCompareStrFunc final : public TInternalMagicIntFunction {
public:
    int64_t DoEvalAsInteger(const TMagicArgs& args) override
    {
        const UnicodeString str1 = args.AsString(0);
        return AnsiCompareStr(str1.View(), args.AsString(1).View());
    }
};

template <class T> constexpr TInternalFunctionFactory Make = &MakeInternalFunction<T>;

// One row per routine, in registration order. S marks the routines whose
// calls with constant arguments are folded at compile time; the others are
// always evaluated when the script runs.
void RegisterAll()
{
    constexpr TInternalFunctionFlags S = iffStateless;
    // clang-format off
    RegisterInternalStringFunction(Make<TChrFunc>,           u"Chr",           {u"i", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TIntToStrFunc>,      u"IntToStr",      {u"i", u"Integer"}, S);
    RegisterInternalIntFunction   (Make<TStrToIntFunc>,      u"StrToInt",      {u"str", u"String"}, S);
    RegisterInternalIntFunction   (Make<TStrToIntDefFunc>,   u"StrToIntDef",   {u"str", u"String", u"def", u"Integer"}, S);
    RegisterInternalIntFunction   (Make<TStrToIntDefFunc>,   u"VarToIntDef",   {u"val", u"Variant", u"def", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TIntToHexFunc>,      u"IntToHex",      {u"v", u"Integer", u"digits", u"Integer"}, S);
    RegisterInternalIntFunction   (Make<THexToIntFunc>,      u"HexToInt",      {u"hexa", u"String"}, S);
    RegisterInternalStringFunction(Make<TIntToBinFunc>,      u"IntToBin",      {u"v", u"Integer", u"digits", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TBoolToStrFunc>,     u"BoolToStr",     {u"b", u"Boolean"}, S);
    RegisterInternalStringFunction(Make<TFloatToStrFunc>,    u"FloatToStr",    {u"f", u"Float", u"p=99", u"Integer"}, S);
    RegisterInternalFloatFunction (Make<TStrToFloatFunc>,    u"StrToFloat",    {u"str", u"String"}, S);
    RegisterInternalFloatFunction (Make<TStrToFloatDefFunc>, u"StrToFloatDef", {u"str", u"String", u"def", u"Float"}, S);
    RegisterInternalFloatFunction (Make<TStrToFloatDefFunc>, u"VarToFloatDef", {u"val", u"Variant", u"def", u"Float"}, S);
    RegisterInternalStringFunction(Make<TFormatFunc>,        u"Format",        {u"fmt", u"String", u"args", u"array of const"}, S);
    RegisterInternalStringFunction(Make<TCharAtFunc>,        u"CharAt",        {u"s", u"String", u"x", u"Integer"}, S);
    RegisterInternalProcedure     (Make<TDeleteFunc>,        u"Delete",        {u"@S", u"String", u"index", u"Integer", u"Len", u"Integer"});
    RegisterInternalProcedure     (Make<TInsertFunc>,        u"Insert",        {u"src", u"String", u"@S", u"String", u"index", u"Integer"});
    RegisterInternalStringFunction(Make<TLowerCaseFunc>,     u"LowerCase",     {u"str", u"String"});
    RegisterInternalStringFunction(Make<TAnsiLowerCaseFunc>, u"AnsiLowerCase", {u"str", u"String"});
    RegisterInternalStringFunction(Make<TUpperCaseFunc>,     u"UpperCase",     {u"str", u"String"});
    RegisterInternalStringFunction(Make<TAnsiUpperCaseFunc>, u"AnsiUpperCase", {u"str", u"String"});
    RegisterInternalIntFunction   (Make<TPosFunc>,           u"Pos",           {u"subStr", u"String", u"str", u"String"}, S);
    RegisterInternalIntFunction   (Make<TPosExFunc>,         u"PosEx",         {u"subStr", u"String", u"str", u"String", u"offset", u"Integer"}, S);
    RegisterInternalIntFunction   (Make<TRevPosFunc>,        u"RevPos",        {u"subStr", u"String", u"str", u"String"}, S);
    RegisterInternalProcedure     (Make<TSetLengthFunc>,     u"SetLength",     {u"@S", u"String", u"NewLength", u"Integer"});
    RegisterInternalStringFunction(Make<TTrimLeftFunc>,      u"TrimLeft",      {u"str", u"String"}, S);
    RegisterInternalStringFunction(Make<TTrimRightFunc>,     u"TrimRight",     {u"str", u"String"}, S);
    RegisterInternalStringFunction(Make<TTrimFunc>,          u"Trim",          {u"str", u"String"}, S);
    RegisterInternalBoolFunction  (Make<TSameTextFunc>,      u"SameText",      {u"str1", u"String", u"str2", u"String"}, S);
    RegisterInternalIntFunction   (Make<TCompareTextFunc>,   u"CompareText",   {u"str1", u"String", u"str2", u"String"}, S);
    RegisterInternalIntFunction   (Make<TAnsiCompareTextFunc>, u"AnsiCompareText", {u"str1", u"String", u"str2", u"String"}, S);
    RegisterInternalIntFunction   (Make<TCompareStrFunc>,    u"CompareStr",    {u"str1", u"String", u"str2", u"String"}, S);
    RegisterInternalIntFunction   (Make<TAnsiCompareStrFunc>, u"AnsiCompareStr", {u"str1", u"String", u"str2", u"String"}, S);
    RegisterInternalBoolFunction  (Make<TIsDelimiterFunc>,   u"IsDelimiter",   {u"delims", u"String", u"str", u"String", u"index", u"Integer"}, S);
    RegisterInternalIntFunction   (Make<TLastDelimiterFunc>, u"LastDelimiter", {u"delims", u"String", u"str", u"String"}, S);
    RegisterInternalIntFunction   (Make<TFindDelimiterFunc>, u"FindDelimiter", {u"delims", u"String", u"str", u"String", u"startIndex=1", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TQuotedStrFunc>,     u"QuotedStr",     {u"str", u"String", u"quoteChar=", u"String"}, S);
    RegisterInternalStringFunction(Make<TCopyFunc>,          u"Copy",          {u"str", u"String", u"index", u"Integer", u"Len", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TLeftStrFunc>,       u"LeftStr",       {u"str", u"String", u"count", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TRightStrFunc>,      u"RightStr",      {u"str", u"String", u"count", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TCopyFunc>,          u"MidStr",        {u"str", u"String", u"start", u"Integer", u"count", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TSubStrFunc>,        u"SubStr",        {u"str", u"String", u"start", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TSubStringFunc>,     u"SubString",     {u"str", u"String", u"start", u"Integer", u"end", u"Integer"}, S);
    RegisterInternalStringFunction(Make<TStringOfCharFunc>,  u"StringOfChar",  {u"ch", u"String", u"count", u"Integer"});
    RegisterInternalStringFunction(Make<TStringOfStringFunc>, u"StringOfString", {u"str", u"String", u"count", u"Integer"});
    RegisterInternalStringFunction(Make<TStringOfStringFunc>, u"DupeString",   {u"str", u"String", u"count", u"Integer"});
    RegisterInternalBoolFunction  (Make<TStrBeginsWithFunc>, u"StrBeginsWith", {u"str", u"String", u"beginStr", u"String"}, S);
    RegisterInternalBoolFunction  (Make<TStrEndsWithFunc>,   u"StrEndsWith",   {u"str", u"String", u"endStr", u"String"}, S);
    RegisterInternalStringFunction(Make<TStrAfterFunc>,      u"StrAfter",      {u"str", u"String", u"delimiter", u"String"}, S);
    RegisterInternalStringFunction(Make<TStrBeforeFunc>,     u"StrBefore",     {u"str", u"String", u"delimiter", u"String"}, S);
    RegisterInternalStringFunction(Make<TReverseStringFunc>, u"ReverseString", {u"str", u"String"}, S);
    // clang-format on
}

} // namespace

void RegisterStringFunctions()
{
    static std::once_flag once;
    std::call_once(once, RegisterAll);
}
