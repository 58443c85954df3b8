#include "tvsSymbols.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsStack.h"

namespace {

// The built-in types, owned by a table as the system scope owns them.
struct TBaseTypes {
    TSymbolTable Table;
    TBaseIntegerSymbol* Integer = new TBaseIntegerSymbol;
    TBaseFloatSymbol* Float = new TBaseFloatSymbol;
    TBaseStringSymbol* String = new TBaseStringSymbol;
    TBaseBooleanSymbol* Boolean = new TBaseBooleanSymbol;
    TBaseVariantSymbol* VariantType = new TBaseVariantSymbol;
    TNilSymbol* Nil = new TNilSymbol;

    TBaseTypes()
    {
        for (TSymbol* s :
             std::initializer_list<TSymbol*>{Integer, Float, String, Boolean, VariantType, Nil})
            Table.AddSymbol(s);
    }
    template <class T> T* Add(T* symbol)
    {
        Table.AddSymbol(symbol);
        return symbol;
    }
};

std::u16string Texts(const TtvsMessageList& messages)
{
    std::u16string text;
    for (int i = 0; i < messages.Count(); ++i)
        text += messages.GetMsg(i).FormattedText() + u"\n";
    return text;
}

// An executable that records what it was initialised for.
class TFakeCode final : public IExecutable {
public:
    void InitSymbol(TSymbol* symbol) override { Initialized.push_back(symbol); }
    void InitExpression(TExprBase*) override {}
    std::vector<TSymbol*> Initialized;
};

std::string Narrow(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}

} // namespace

class tvsSymbolsFixture : public testing::Test {
protected:
    TBaseTypes T;

    TClassSymbol* NewClass(const std::u16string& name, TClassSymbol* parent = nullptr)
    {
        auto* cls = T.Add(new TClassSymbol(name));
        if (parent)
            cls->InheritFrom(parent);
        return cls;
    }
    TMethodSymbol* NewMethod(TStructuredTypeSymbol* owner, const std::u16string& name,
                             TRoutineKind kind = TRoutineKind::fkProcedure,
                             TClassVisibility visibility = TClassVisibility::cvPublic,
                             bool isClassMethod = false)
    {
        auto* method = new TSourceMethodSymbol(name, kind, owner, visibility, isClassMethod, 1);
        if (kind == TRoutineKind::fkFunction)
            method->SetType(T.Integer);
        return method;
    }
    // Adds a virtual method (abstract on request) with code.
    TMethodSymbol* AddVirtual(TClassSymbol* cls, const std::u16string& name,
                              bool isAbstract = false)
    {
        auto* method = NewMethod(cls, name);
        method->SetIsVirtual(true);
        method->SetIsAbstract(isAbstract);
        cls->AddMethod(method);
        return method;
    }
    TMethodSymbol* AddOverride(TClassSymbol* cls, TMethodSymbol* parent)
    {
        auto* method = NewMethod(cls, parent->Name(), parent->Kind());
        method->SetOverride(parent);
        cls->AddMethod(method);
        return method;
    }
};

// ---------------------------------------------------------------------------
// Texts

TEST_F(tvsSymbolsFixture, ValueAndTypeTexts)
{
    auto* intArray = T.Add(new TDynamicArraySymbol(u"TInts", T.Integer, T.Integer));
    auto* staticArray = T.Add(new TStaticArraySymbol(u"", T.String, T.Integer, 1, 3));
    auto* openArray = T.Add(new TOpenArraySymbol(u"", T.VariantType, T.Integer));
    auto* color = T.Add(new TEnumerationSymbol(u"TColor", T.Integer));
    color->AddElement(new TElementSymbol(u"Red", color, 0, false));
    color->AddElement(new TElementSymbol(u"Green", color, 5, true));
    color->AddElement(new TElementSymbol(u"Blue", color, 6, false));
    auto* cls = NewClass(u"TFoo");

    const TData stringDefault{Variant(u"a'b")};
    const TData intDefault{Variant(int64_t{7})};
    const TData nilDefault{Variant(static_cast<TRefCountedObject*>(nullptr))};
    const struct {
        std::function<TSymbol*()> make;
        std::u16string display;
        std::u16string declaration;
    } cases[] = {
        {[&] { return new TDataSymbol(u"x", T.Integer); }, u"x: Integer", u"x: Integer"},
        {[&] { return new TDataSymbol(u"x", nullptr); }, u"x: void", u"x: ???"},
        {[&] { return new TDataSymbol(u"a", intArray); }, u"a: array of Integer", u"a: TInts"},
        {[&] { return new TConstSymbol(u"c", T.Integer, Variant(int64_t{42})); },
         u"const c: Integer", u"const c: Integer = 42"},
        {[&] { return new TConstSymbol(u"s", T.String, Variant(u"hi")); }, u"const s: String",
         u"const s: String = hi"},
        // Only resource strings double their quotes.
        {[&] { return new TParamSymbolWithDefaultValue(u"s", T.String, stringDefault, 0); },
         u"s: String", u"s: String = 'a'b'"},
        {[&] { return new TParamSymbolWithDefaultValue(u"n", T.Integer, intDefault, 0); },
         u"n: Integer", u"n: Integer = 7"},
        {[&] { return new TParamSymbolWithDefaultValue(u"o", cls, nilDefault, 0); }, u"o: TFoo",
         u"o: TFoo = nil"},
        {[&] { return new TVarParamSymbol(u"v", T.Float); }, u"v: Float", u"var v: Float"},
        {[&] { return new TConstParamSymbol(u"k", T.Float); }, u"k: Float", u"const k: Float"},
        {[&] { return new TLazyParamSymbol(u"l", T.Boolean); }, u"l: Boolean", u"lazy l: Boolean"},
        {[&] { return new TResourceStringSymbol(u"r", u"it's"); }, u"resourcestring r",
         u"resourcestring r = 'it''s'"},
        {[&] { return new TNilSymbol; }, u"nil", u"nil"},
        {[&] { return new TDynamicArraySymbol(u"", T.String, T.Integer); }, u"array of String",
         u"array of String"},
        {[&] { return new TDynamicArraySymbol(u"", nullptr, T.Integer); }, u"array of void",
         u"array of void"},
        {[&] { return new TStaticArraySymbol(u"", staticArray, T.Integer, -2, 0); },
         u"array [-2..0] of array [1..3] of String", u"array [-2..0] of array [1..3] of String"},
        {[&] { return new TOpenArraySymbol(u"", T.VariantType, T.Integer); }, u"array of const",
         u"array of const"},
        {[&] { return new TAliasSymbol(u"TMyInt", T.Integer); }, u"TMyInt", u"TMyInt"},
        {[&] { return new TDataSymbol(u"p", openArray); }, u"p: array of const",
         u"p: "}, // an anonymous type has no name to show
    };
    for (const auto& c : cases) {
        std::unique_ptr<TSymbol> symbol(c.make());
        SCOPED_TRACE(Narrow(c.display));
        EXPECT_EQ(symbol->DisplayName(), c.display);
        EXPECT_EQ(symbol->DeclarationText(), c.declaration);
    }
    EXPECT_EQ(color->DisplayName(), u"TColor");
    EXPECT_EQ(color->DeclarationText(), u"(Red, Green = 5, Blue)");
}

TEST_F(tvsSymbolsFixture, RoutineTexts)
{
    auto* func = T.Add(new TFuncSymbol(u"F", TRoutineKind::fkFunction, 1));
    func->SetType(T.Integer);
    func->AddParam(new TParamSymbol(u"a", T.Integer));
    func->AddParam(new TVarParamSymbol(u"b", T.String));
    EXPECT_EQ(func->DisplayName(), u"function F(Integer, String): Integer");
    EXPECT_EQ(func->DeclarationText(), u"function F(a: Integer; var b: String): Integer");

    auto* proc = T.Add(new TFuncSymbol(u"P", TRoutineKind::fkProcedure, 1));
    EXPECT_EQ(proc->DisplayName(), u"procedure P");
    EXPECT_EQ(proc->DeclarationText(), u"procedure P()");
    EXPECT_EQ(proc->ParamsDescription(), u"()");

    auto* anonResult = T.Add(new TFuncSymbol(u"G", TRoutineKind::fkFunction, 1));
    anonResult->SetType(T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer)));
    EXPECT_EQ(anonResult->DisplayName(), u"function G: array of Integer");

    auto* cls = NewClass(u"TFoo");
    auto* classFunc =
        NewMethod(cls, u"Make", TRoutineKind::fkFunction, TClassVisibility::cvPublic, true);
    cls->AddMethod(classFunc);
    EXPECT_EQ(classFunc->DisplayName(), u"class function Make: Integer");
    EXPECT_EQ(classFunc->DeclarationText(), u"class function Make(): Integer");
    EXPECT_EQ(classFunc->QualifiedName(), u"TFoo.Make");
}

TEST_F(tvsSymbolsFixture, StructuredTypeTexts)
{
    auto* rec = T.Add(new TRecordSymbol(u"TPoint"));
    rec->AddField(new TFieldSymbol(u"X", T.Integer));
    rec->AddField(new TFieldSymbol(u"Y", T.Float));
    EXPECT_EQ(rec->DisplayName(), u"record TPoint");
    EXPECT_EQ(rec->DeclarationText(),
              u"TPoint = record\r\n   X : Integer;\r\n   Y : Float;\r\nend;");
    EXPECT_EQ(rec->MetaSymbol()->Name(), u"meta of TPoint");

    auto* base = NewClass(u"TBase");
    auto* cls = NewClass(u"TFoo", base);
    cls->AddField(new TFieldSymbol(u"FCount", T.Integer, TClassVisibility::cvPrivate));
    cls->AddMethod(NewMethod(cls, u"Run"));
    EXPECT_EQ(cls->DeclarationText(),
              u"TFoo = class (TBase)\r\n   FCount: Integer;\r\n   procedure Run();\r\nend");
    EXPECT_EQ(base->DeclarationText(), u"TBase = class\r\nend");
    EXPECT_EQ(cls->ClassOf()->Name(), u"class of TFoo");
    EXPECT_EQ(cls->ClassOf()->DisplayName(), u"class of TFoo");
    EXPECT_EQ(TClassOfSymbol(u"", nullptr).DisplayName(), u"class of ???");

    auto* intf = T.Add(new TInterfaceSymbol(u"IBar"));
    auto* intf2 = T.Add(new TInterfaceSymbol(u"IBaz"));
    intf2->InheritFrom(intf);
    EXPECT_EQ(intf->DeclarationText(), u"IBar = interface");
    EXPECT_EQ(intf2->DeclarationText(), u"IBaz = interface(IBar)");
}

TEST_F(tvsSymbolsFixture, PropertyTexts)
{
    auto* cls = NewClass(u"TList");
    auto* field = new TFieldSymbol(u"FItems", T.String);
    cls->AddField(field);
    auto* getter = NewMethod(cls, u"GetItem", TRoutineKind::fkFunction);
    cls->AddMethod(getter);

    auto* simple = new TPropertySymbol(u"Items", T.String);
    simple->SetReadSym(field);
    simple->SetWriteSym(field);
    cls->AddProperty(simple);
    EXPECT_EQ(simple->DeclarationText(), u"property Items: String read FItems write FItems");
    EXPECT_EQ(simple->DisplayName(), simple->DeclarationText());
    EXPECT_EQ(simple->QualifiedName(), u"TList.Items");

    auto* indexed = new TPropertySymbol(u"Cells", T.String);
    indexed->ArrayIndices().AddSymbol(new TParamSymbol(u"x", T.Integer));
    indexed->ArrayIndices().AddSymbol(new TParamSymbol(u"y", T.Integer));
    indexed->ArrayIndices().AddSymbol(new TParamSymbol(u"name", T.String));
    indexed->SetReadSym(getter);
    cls->AddProperty(indexed);
    cls->SetDefaultProperty(indexed);
    EXPECT_EQ(indexed->DeclarationText(),
              u"property Cells[x, y: Integer, name: String]: String read GetItem; default;");

    auto* withIndex = new TPropertySymbol(u"Second", T.String);
    withIndex->SetIndex(TData{Variant(int64_t{2})}, 0, T.Integer);
    withIndex->SetReadSym(getter);
    cls->AddProperty(withIndex);
    EXPECT_EQ(withIndex->DeclarationText(), u"property Second: String index 2 read GetItem");
}

TEST_F(tvsSymbolsFixture, OperatorTexts)
{
    auto* func = T.Add(new TFuncSymbol(u"AddInts", TRoutineKind::fkFunction, 1));
    auto* op = T.Add(new TOperatorSymbol(TTokenType::ttPLUS));
    op->SetTyp(T.Integer);
    op->AddParam(T.Integer);
    op->AddParam(T.String);
    op->SetUsesSym(func);
    EXPECT_EQ(op->Name(), u"operator +");
    EXPECT_EQ(op->DisplayName(), u"operator + (Integer, String) : Integer uses AddInts");

    auto* cls = NewClass(u"TBag");
    auto* add = NewMethod(cls, u"Add");
    add->AddParam(new TParamSymbol(u"v", T.Integer));
    cls->AddMethod(add);
    auto* classOp = new TClassOperatorSymbol(TTokenType::ttPLUS_ASSIGN);
    classOp->SetTyp(T.Integer);
    classOp->SetUsesSym(add);
    cls->AddOperator(classOp);
    EXPECT_EQ(classOp->DisplayName(), u"class operator += Integer uses Add");
    EXPECT_EQ(classOp->QualifiedName(), u"TBag.+=");
}

// ---------------------------------------------------------------------------
// Type rules

TEST_F(tvsSymbolsFixture, AssignmentCompatibility)
{
    auto* color = T.Add(new TEnumerationSymbol(u"TColor", T.Integer));
    auto* myInt = T.Add(new TAliasSymbol(u"TMyInt", T.Integer));
    auto* ints = T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    auto* ints2 = T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    auto* nils = T.Add(new TDynamicArraySymbol(u"", T.Nil, T.Integer));
    auto* strs = T.Add(new TDynamicArraySymbol(u"", T.String, T.Integer));
    auto* three = T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 1, 3));
    auto* threeToo = T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 5, 7));
    auto* four = T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 1, 4));
    auto* open = T.Add(new TOpenArraySymbol(u"", T.Integer, T.Integer));
    auto* rec = T.Add(new TRecordSymbol(u"TRec"));
    auto* base = NewClass(u"TBase");
    auto* derived = NewClass(u"TDerived", base);
    auto* any = T.Add(new TAnyTypeSymbol);

    const struct {
        const char* what;
        TTypeSymbol* target;
        TTypeSymbol* value;
        bool compatible;
    } cases[] = {
        {"Integer <- Integer", T.Integer, T.Integer, true},
        {"Integer <- alias", T.Integer, myInt, true},
        {"alias <- Integer", myInt, T.Integer, true},
        {"Integer <- enumeration", T.Integer, color, true},
        {"enumeration <- Integer", color, T.Integer, true},
        {"Float <- Integer", T.Float, T.Integer, false}, // conversions are the compiler's
        {"Integer <- nil type", T.Integer, nullptr, false},
        {"Variant <- String", T.VariantType, T.String, true},
        {"Variant <- enumeration", T.VariantType, color, true},
        {"Variant <- class", T.VariantType, base, false},
        {"Variant <- array", T.VariantType, ints, false},
        {"Variant <- record", T.VariantType, rec, false},
        {"dyn Integer <- dyn Integer", ints, ints2, true},
        {"dyn Integer <- dyn nil", ints, nils, true},
        {"dyn Integer <- dyn String", ints, strs, false},
        {"static 3 <- static 3", three, threeToo, true},
        {"static 3 <- static 4", three, four, false},
        {"open <- static", open, three, true},
        {"open <- dyn", open, ints, false},
        {"record <- record", rec, rec, true},
        {"record <- class", rec, base, false},
        {"base <- derived", base, derived, true},
        {"derived <- base", derived, base, false},
        {"class <- nil", base, T.Nil, true},
        {"nil <- class", T.Nil, derived, true},
        {"nil <- Integer", T.Nil, T.Integer, false},
        {"class of base <- class of derived", base->ClassOf(), derived->ClassOf(), true},
        {"class of derived <- class of base", derived->ClassOf(), base->ClassOf(), false},
        {"class of <- nil", base->ClassOf(), T.Nil, true},
        {"any <- record", any, rec, true},
        {"any <- none", any, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.target->IsCompatible(c.value), c.compatible);
    }
}

TEST_F(tvsSymbolsFixture, TypeIdentity)
{
    auto* color = T.Add(new TEnumerationSymbol(u"TColor", T.Integer));
    auto* myInt = T.Add(new TAliasSymbol(u"TMyInt", T.Integer));
    auto* ints = T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    auto* ints2 = T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    auto* empty = T.Add(new TStaticArraySymbol(u"", T.String, T.Integer, 5, 4));
    auto* three = T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 1, 3));
    auto* open = T.Add(new TOpenArraySymbol(u"", T.Integer, T.Integer));
    auto* base = NewClass(u"TBase");
    auto* derived = NewClass(u"TDerived", base);
    auto* intf = T.Add(new TInterfaceSymbol(u"IA"));
    auto* intf2 = T.Add(new TInterfaceSymbol(u"IB"));
    intf2->InheritFrom(intf);

    const struct {
        const char* what;
        TTypeSymbol* type;
        TTypeSymbol* other;
        bool isOfType;
    } cases[] = {
        {"Integer is alias of Integer", T.Integer, myInt, true},
        {"alias is Integer", myInt, T.Integer, true},
        {"enumeration is Integer", color, T.Integer, true},
        {"Integer is not enumeration", T.Integer, color, false},
        {"dyn is other dyn of same element", ints, ints2, true},
        {"empty static is open", empty, open, true},
        {"static Integer is open Integer", three, open, true},
        {"derived is base", derived, base, true},
        {"base is not derived", base, derived, false},
        {"class of derived is class of base", derived->ClassOf(), base->ClassOf(), true},
        {"class of base is not class of derived", base->ClassOf(), derived->ClassOf(), false},
        {"IA is IB (IA is IB's ancestor)", intf, intf2, true},
        {"IB is not IA", intf2, intf, false},
        {"nothing is nil", T.Integer, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.type->IsOfType(c.other), c.isOfType);
    }
    EXPECT_TRUE(TTypeSymbol::SafeIsOfType(nullptr, nullptr));
    EXPECT_FALSE(TTypeSymbol::SafeIsOfType(nullptr, T.Integer));
    EXPECT_FALSE(TTypeSymbol::SafeIsOfType(T.Integer, nullptr));
}

TEST_F(tvsSymbolsFixture, RoutineTypeCompatibility)
{
    auto make = [&](TRoutineKind kind, bool withParam, bool isType) {
        auto* func = T.Add(new TFuncSymbol(u"", kind, isType ? -1 : 1));
        if (kind == TRoutineKind::fkFunction)
            func->SetType(T.Integer);
        if (withParam)
            func->AddParam(new TParamSymbol(u"a", T.Integer));
        if (isType)
            func->SetIsType();
        return func;
    };
    auto* methodType = make(TRoutineKind::fkMethod, false, true);
    auto* procType = make(TRoutineKind::fkProcedure, false, true);
    auto* procValue = make(TRoutineKind::fkProcedure, false, false);
    auto* funcValue = make(TRoutineKind::fkFunction, false, false);
    auto* procWithParam = make(TRoutineKind::fkProcedure, true, false);
    auto* anyFunc = T.Add(new TAnyFuncSymbol(u"", TRoutineKind::fkProcedure, -1));

    EXPECT_TRUE(methodType->IsCompatible(procValue));
    EXPECT_FALSE(procType->IsCompatible(funcValue));
    EXPECT_TRUE(procType->IsCompatible(procValue));
    EXPECT_FALSE(procType->IsCompatible(procWithParam));
    EXPECT_FALSE(procValue->IsCompatible(procType)); // a type is no routine value
    EXPECT_TRUE(procType->IsCompatible(T.Nil));
    EXPECT_TRUE(procType->IsCompatible(anyFunc));
    EXPECT_FALSE(procType->IsCompatible(T.Integer));
    EXPECT_TRUE(anyFunc->IsCompatible(funcValue));
    EXPECT_FALSE(anyFunc->IsCompatible(T.Integer));
}

TEST(tvsSymbols, RoutineKindTable)
{
    using enum TRoutineKind;
    const TRoutineKind kinds[] = {fkFunction, fkProcedure, fkConstructor, fkDestructor, fkMethod};
    // clang-format off
    const bool expected[5][5] = {
        {true,  false, false, false, true},
        {false, true,  false, false, true},
        {false, false, true,  false, false},
        {false, false, false, true,  false},
        {true,  true,  false, false, true},
    };
    // clang-format on
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 5; ++col) {
            SCOPED_TRACE(testing::Message() << row << "," << col);
            EXPECT_EQ(RoutineKindAccepts(kinds[row], kinds[col]), expected[row][col]);
        }
}

TEST_F(tvsSymbolsFixture, SignatureComparisons)
{
    const TData one{Variant(int64_t{1})};
    auto make = [&](std::vector<std::function<TParamSymbol*()>> params) {
        auto* func = T.Add(new TFuncSymbol(u"F", TRoutineKind::fkProcedure, 1));
        for (auto& p : params)
            func->AddParam(p());
        return func;
    };
    auto intParam = [&] { return new TParamSymbol(u"a", T.Integer); };
    auto strParam = [&] { return new TParamSymbol(u"b", T.String); };
    auto defaulted = [&] { return new TParamSymbolWithDefaultValue(u"c", T.Integer, one, 0); };

    const struct {
        const char* what;
        TFuncSymbol* a;
        TFuncSymbol* b;
        bool differs;
    } cases[] = {
        {"both empty", make({}), make({}), false},
        {"same types", make({intParam}), make({intParam}), false},
        {"different types", make({intParam}), make({strParam}), true},
        {"longer list, plain next", make({intParam, strParam}), make({intParam}), true},
        {"longer list, defaulted next", make({intParam, defaulted}), make({intParam}), false},
        {"empty against defaulted", make({}), make({defaulted}), false},
        {"both defaulted first", make({defaulted, intParam}), make({defaulted, strParam}), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.a->SignatureDiffersFrom(*c.b), c.differs);
    }

    auto* x = make({intParam, defaulted});
    auto* y = make({intParam, defaulted});
    EXPECT_TRUE(x->IsSameOverloadOf(*y));
    const TData two{Variant(int64_t{2})};
    auto* z =
        make({intParam, [&] { return new TParamSymbolWithDefaultValue(u"c", T.Integer, two, 0); }});
    EXPECT_FALSE(x->IsSameOverloadOf(*z)); // default values differ
    auto* w =
        make({intParam, [&] { return new TParamSymbolWithDefaultValue(u"C", T.Integer, one, 0); }});
    EXPECT_TRUE(x->IsSameOverloadOf(*w)); // names compare without case
}

// ---------------------------------------------------------------------------
// Storage

TEST_F(tvsSymbolsFixture, SizesAndBounds)
{
    auto* pair = T.Add(new TRecordSymbol(u"TPair"));
    pair->AddField(new TFieldSymbol(u"A", T.Integer));
    pair->AddField(new TFieldSymbol(u"B", T.String));

    const struct {
        const char* what;
        TTypeSymbol* element;
        int64_t low, high;
        int32_t count, size;
        std::u16string error;
    } cases[] = {
        {"5..4 is empty", T.Integer, 5, 4, 0, 0, u""},
        {"1..3 of a 2-slot record", pair, 1, 3, 3, 6, u""},
        {"negative bounds", T.Integer, -10, -1, 10, 10, u""},
        {"full 32-bit range is too large", T.Integer, -2147483648LL, 2147483647LL, 0, 0,
         TypeTooLargeMsg},
        {"bound outside 32 bits", T.Integer, 0, 2147483648LL, 0, 0, ArrayBoundOutOfRangeMsg},
        {"size overflows through the element", pair, 1, 1200000000, 0, 0, TypeTooLargeMsg},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TStaticArraySymbol array(u"", c.element, T.Integer, c.low, c.high);
        EXPECT_EQ(array.ElementCount(), c.count);
        EXPECT_EQ(array.Size(), c.size);
        EXPECT_EQ(array.SizeError(), c.error);
    }

    TStaticArraySymbol growing(u"", pair, T.Integer, 0, -1);
    growing.AddElement();
    growing.AddElement();
    EXPECT_EQ(growing.HighBound(), 1);
    EXPECT_EQ(growing.ElementCount(), 2);
    EXPECT_EQ(growing.Size(), 4);

    TEnumerationSymbol empty(u"TEmpty", T.Integer);
    EXPECT_EQ(empty.DefaultValue(), 0);
    EXPECT_EQ(empty.LowBound(), 2147483647);
    EXPECT_EQ(empty.HighBound(), -2147483647);
    EXPECT_EQ(empty.Size(), 1);
}

TEST_F(tvsSymbolsFixture, DefaultValues)
{
    auto* color = T.Add(new TEnumerationSymbol(u"TColor", T.Integer));
    color->AddElement(new TElementSymbol(u"Red", color, 3, true));
    color->AddElement(new TElementSymbol(u"Green", color, 1, true));
    EXPECT_EQ(color->LowBound(), 1);
    EXPECT_EQ(color->HighBound(), 3);
    auto* pair = T.Add(new TRecordSymbol(u"TPair"));
    pair->AddField(new TFieldSymbol(u"A", T.Float));
    pair->AddField(new TFieldSymbol(u"B", color));
    auto* pairs = T.Add(new TStaticArraySymbol(u"", pair, T.Integer, 1, 2));
    auto* cls = NewClass(u"TFoo");
    auto* intf = T.Add(new TInterfaceSymbol(u"IFoo"));
    auto* proc = T.Add(new TFuncSymbol(u"", TRoutineKind::fkProcedure, -1));

    const struct {
        const char* what;
        TTypeSymbol* type;
        std::vector<Variant> expected;
    } cases[] = {
        {"Integer", T.Integer, {Variant(int64_t{0})}},
        {"Float", T.Float, {Variant(0.0)}},
        {"String", T.String, {Variant(UnicodeString())}},
        {"Boolean", T.Boolean, {Variant(false)}},
        {"Variant", T.VariantType, {Variant()}},
        {"enumeration: first element", color, {Variant(int64_t{3})}},
        {"record", pair, {Variant(0.0), Variant(int64_t{3})}},
        {"static array of records",
         pairs,
         {Variant(0.0), Variant(int64_t{3}), Variant(0.0), Variant(int64_t{3})}},
        {"class", cls, {Variant(static_cast<TRefCountedObject*>(nullptr))}},
        {"interface", intf, {Variant(static_cast<TRefCountedObject*>(nullptr))}},
        {"function pointer", proc, {Variant(static_cast<TRefCountedObject*>(nullptr))}},
        {"class of", cls->ClassOf(), {Variant(int64_t{0})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.type->Size(), static_cast<int32_t>(c.expected.size()));
        // Garbage around the slots shows writes outside them.
        TData data(c.expected.size() + 2, Variant(u"junk"));
        c.type->InitData(data, 1);
        EXPECT_EQ(data.front().ToString().View(), u"junk");
        EXPECT_EQ(data.back().ToString().View(), u"junk");
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_TRUE(
                SameData(data, static_cast<int32_t>(i) + 1, c.expected, static_cast<int32_t>(i), 1))
                << "slot " << i;
    }
}

TEST_F(tvsSymbolsFixture, DynamicArrayDefaultComesFromTheRunTime)
{
    auto* ints = T.Add(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    TData data(1);
    TDynamicArraySymbol::SetNewArrayFunc(nullptr);
    EXPECT_THROW(ints->InitData(data, 0), EAssertionFailed);
    static TDynamicArraySymbol* seen = nullptr;
    TDynamicArraySymbol::SetNewArrayFunc([](TDynamicArraySymbol* typ) {
        seen = typ;
        return Variant(int64_t{77});
    });
    ints->InitData(data, 0);
    EXPECT_EQ(seen, ints);
    EXPECT_EQ(data[0].VInt64(), 77);
    TDynamicArraySymbol::SetNewArrayFunc(nullptr);
}

TEST_F(tvsSymbolsFixture, AddressGenerators)
{
    TAddrGenerator up(0, false);
    TSymbolTable locals(nullptr, &up);
    auto* a = new TDataSymbol(u"a", T.Integer);
    auto* c = new TConstSymbol(u"c", T.Integer, Variant(int64_t{1})); // constants take no slot
    auto* r = new TDataSymbol(u"r", T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 1, 3)));
    auto* b = new TDataSymbol(u"b", T.Integer);
    for (TSymbol* s : std::initializer_list<TSymbol*>{a, c, r, b})
        locals.AddSymbol(s);
    EXPECT_EQ(a->StackAddr(), 0);
    EXPECT_EQ(r->StackAddr(), 1);
    EXPECT_EQ(b->StackAddr(), 4);
    EXPECT_EQ(up.DataSize, 5);

    // Parameters lie below the base pointer; Result, then each parameter.
    TFuncSymbol func(u"F", TRoutineKind::fkFunction, 2);
    func.SetType(T.Integer);
    func.AddParam(new TParamSymbol(u"x", T.Integer));
    auto* pair = T.Add(new TRecordSymbol(u"TPair"));
    pair->AddField(new TFieldSymbol(u"A", T.Integer));
    pair->AddField(new TFieldSymbol(u"B", T.Integer));
    func.AddParam(new TVarParamSymbol(u"y", pair));
    EXPECT_EQ(func.Result()->StackAddr(), -1);
    EXPECT_EQ(static_cast<TDataSymbol*>(func.Params().Symbols(0))->StackAddr(), -2);
    EXPECT_EQ(static_cast<TDataSymbol*>(func.Params().Symbols(1))->StackAddr(),
              -3); // by reference: 1 slot
    EXPECT_EQ(static_cast<TDataSymbol*>(func.Params().Symbols(1))->Level(), 2);
    EXPECT_EQ(func.ParamSize(), 3);

    TAddrGenerator nearlyFull(0, false);
    nearlyFull.DataSize = 2147483640;
    EXPECT_THROW(nearlyFull.GetStackAddr(10), Exception);
}

// ---------------------------------------------------------------------------
// Tables

TEST_F(tvsSymbolsFixture, LookupFindsTheLatestDeclarationAtAnySize)
{
    for (int fillers : {0, 4, 10, 40}) {
        SCOPED_TRACE(fillers);
        TSymbolTable table;
        auto* first = new TDataSymbol(u"x", T.Integer);
        table.AddSymbol(first);
        for (int i = 0; i < fillers; ++i)
            table.AddSymbol(
                new TDataSymbol(u"v" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26))
                                    + std::u16string(1, static_cast<char16_t>(u'a' + i / 26)),
                                T.Integer));
        auto* second = new TDataSymbol(u"X", T.String);
        table.AddSymbol(second);
        EXPECT_EQ(table.FindLocal(u"x"), second);
        EXPECT_EQ(table.Sorted(), fillers + 2 >= 7);
        // A declaration added after the table sorted itself still wins.
        auto* third = new TDataSymbol(u"x", T.Float);
        table.AddSymbol(third);
        EXPECT_EQ(table.FindLocal(u"X"), third);
        EXPECT_EQ(table.FindLocal(u"nothing"), nullptr);
        EXPECT_EQ(table.FindLocal(u"x", &SymbolIs<TTypeSymbol>), nullptr);
    }
}

TEST_F(tvsSymbolsFixture, ClassFilterAppliesInEachTable)
{
    TSymbolTable outer;
    auto* type = new TAliasSymbol(u"T", T.Integer);
    outer.AddSymbol(type);
    TSymbolTable inner(&outer);
    inner.AddSymbol(new TDataSymbol(u"T", T.Integer));
    EXPECT_EQ(inner.FindTypeSymbol(u"t"), type);
    EXPECT_NE(inner.FindSymbol(u"T"), type);
}

TEST_F(tvsSymbolsFixture, ParentsAreSearchedInOrder)
{
    TSymbolTable a, b;
    auto* inA = new TDataSymbol(u"v", T.Integer);
    auto* inB = new TDataSymbol(u"v", T.String);
    a.AddSymbol(inA);
    b.AddSymbol(inB);
    TSymbolTable child(&a);
    child.AddParent(&b);
    EXPECT_EQ(child.FindSymbol(u"v"), inA);
    child.MoveParent(1, 0);
    EXPECT_EQ(child.FindSymbol(u"v"), inB);
    child.RemoveParent(&b);
    EXPECT_EQ(child.FindSymbol(u"v"), inA);
    EXPECT_EQ(child.IndexOfParent(&b), -1);
}

TEST_F(tvsSymbolsFixture, EnumerationVisitsEachTableOnce)
{
    // A diamond: child -> (left, right) -> root.
    TSymbolTable root, left(&root), right(&root), child(&left);
    child.AddParent(&right);
    std::vector<TSymbol*> expected;
    // Depth first, the last parent first: child, right, root, then left.
    for (TSymbolTable* table : {&child, &right, &root, &left}) {
        auto* s = new TDataSymbol(u"f", T.Integer);
        table->AddSymbol(s);
        expected.push_back(s);
    }
    auto* otherName = new TDataSymbol(u"g", T.Integer);
    root.AddSymbol(otherName);

    std::vector<TSymbol*> seen;
    EXPECT_FALSE(child.EnumerateSymbolsOfNameInScope(u"F", [&](TSymbol* s) {
        seen.push_back(s);
        return false;
    }));
    EXPECT_EQ(seen, expected);

    int visits = 0;
    EXPECT_TRUE(child.EnumerateSymbolsOfNameInScope(u"f", [&](TSymbol*) { return ++visits == 2; }));
    EXPECT_EQ(visits, 2);
}

TEST_F(tvsSymbolsFixture, RemoveAndClearForgetWithoutFreeing)
{
    auto owned = std::make_unique<TDataSymbol>(u"x", T.Integer);
    {
        TSymbolTable table;
        table.AddSymbol(owned.get());
        EXPECT_TRUE(table.HasSymbol(owned.get()));
        EXPECT_EQ(table.Remove(owned.get()), 0);
        EXPECT_EQ(table.Remove(owned.get()), -1);
        table.AddSymbol(owned.get());
        table.Clear();
        EXPECT_EQ(table.Count(), 0);
    }
    EXPECT_EQ(owned->Name(), u"x"); // still alive

    // Anonymous types made while compiling die with the program's table.
    TProgramSymbolTable program;
    program.AddToDestructionList(new TDynamicArraySymbol(u"", T.Integer, T.Integer));
    EXPECT_EQ(program.Count(), 0);
}

// ---------------------------------------------------------------------------
// Members and visibility

TEST_F(tvsSymbolsFixture, MemberVisibility)
{
    auto* base = NewClass(u"TBase");
    base->AddField(new TFieldSymbol(u"FPrivate", T.Integer, TClassVisibility::cvPrivate));
    base->AddField(new TFieldSymbol(u"FProtected", T.Integer, TClassVisibility::cvProtected));
    base->AddField(new TFieldSymbol(u"FPublic", T.Integer, TClassVisibility::cvPublic));
    auto* derived = NewClass(u"TDerived", base);
    auto* unrelated = NewClass(u"TOther");

    const struct {
        const char* what;
        TClassSymbol* owner;
        TStructuredTypeSymbol* scope;
        const char16_t* name;
        bool found;
    } cases[] = {
        {"own private from inside", base, base, u"FPrivate", true},
        {"own private from outside", base, nullptr, u"FPrivate", false},
        {"own protected from a descendant", base, derived, u"FProtected", true},
        {"own protected from elsewhere", base, unrelated, u"FProtected", false},
        {"inherited private from the descendant", derived, derived, u"FPrivate", false},
        {"inherited protected from the descendant", derived, derived, u"FProtected", true},
        {"inherited public from outside", derived, nullptr, u"FPublic", true},
        {"inherited protected from outside", derived, nullptr, u"FProtected", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.owner->Members().FindSymbolFromScope(c.name, c.scope) != nullptr, c.found);
    }
    // A private ancestor member does not hide a visible one further up.
    EXPECT_EQ(derived->Members().FindSymbol(u"FPrivate", TClassVisibility::cvPrivate), nullptr);
    EXPECT_EQ(base->Members().FindSymbol(u"FPrivate", TClassVisibility::cvPrivate)->QualifiedName(),
              u"TBase.FPrivate");
}

TEST_F(tvsSymbolsFixture, FieldOffsets)
{
    auto* base = NewClass(u"TBase");
    auto* a = new TFieldSymbol(u"A", T.Integer);
    base->AddField(a);
    auto* derived = NewClass(u"TDerived", base);
    auto* b =
        new TFieldSymbol(u"B", T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 1, 3)));
    auto* c = new TFieldSymbol(u"C", T.String);
    derived->AddField(b);
    derived->AddField(c);
    EXPECT_EQ(b->Offset(), 1);
    EXPECT_EQ(c->Offset(), 4);
    EXPECT_EQ(derived->ScriptInstanceSize(), 5);
    EXPECT_EQ(base->ScriptInstanceSize(), 1);
    EXPECT_EQ(derived->FieldAtOffset(0), a);
    EXPECT_EQ(derived->FieldAtOffset(4), c);
    EXPECT_EQ(derived->FieldAtOffset(2), nullptr);

    auto* rec = T.Add(new TRecordSymbol(u"TRec"));
    auto* x = new TFieldSymbol(u"X", T.String);
    rec->AddField(
        new TFieldSymbol(u"Pad", T.Add(new TStaticArraySymbol(u"", T.Integer, T.Integer, 0, 1))));
    rec->AddField(x);
    EXPECT_EQ(x->Offset(), 2);
    EXPECT_EQ(rec->Size(), 3);
    EXPECT_EQ(rec->FieldAtOffset(2), x);
}

// ---------------------------------------------------------------------------
// Virtual methods, abstract classes, interfaces

TEST_F(tvsSymbolsFixture, VirtualMethodTableIsSharedUntilOverridden)
{
    auto* base = NewClass(u"TBase");
    auto* run = AddVirtual(base, u"Run");
    auto* stop = AddVirtual(base, u"Stop");
    EXPECT_EQ(run->VMTIndex(), 0);
    EXPECT_EQ(stop->VMTIndex(), 1);

    auto* same = NewClass(u"TSame", base);
    EXPECT_EQ(&same->VirtualMethodTable(), &base->VirtualMethodTable());

    auto* derived = NewClass(u"TDerived", base);
    auto* runAgain = AddOverride(derived, run);
    EXPECT_NE(&derived->VirtualMethodTable(), &base->VirtualMethodTable());
    EXPECT_EQ(derived->VirtualMethodTable(), (TMethodSymbolArray{runAgain, stop}));
    EXPECT_EQ(base->VirtualMethodTable(), (TMethodSymbolArray{run, stop}));
    EXPECT_EQ(same->VirtualMethodTable(), (TMethodSymbolArray{run, stop}));
    EXPECT_TRUE(runAgain->IsVirtual());
    EXPECT_TRUE(runAgain->IsOverride());
    EXPECT_EQ(runAgain->ParentMeth(), run);

    // A new virtual method in a descendant extends its own table only.
    auto* extra = AddVirtual(same, u"Extra");
    EXPECT_EQ(extra->VMTIndex(), 2);
    EXPECT_EQ(base->VirtualMethodTable().size(), 2u);
}

TEST_F(tvsSymbolsFixture, AbstractClasses)
{
    auto* shape = NewClass(u"TShape");
    auto* area = AddVirtual(shape, u"Area", true);
    auto* name = AddVirtual(shape, u"Name", true);
    EXPECT_TRUE(shape->IsAbstract());

    auto* half = NewClass(u"THalf", shape);
    AddOverride(half, area);
    EXPECT_TRUE(half->IsAbstract()); // Name is still abstract

    auto* full = NewClass(u"TFull", half);
    AddOverride(full, name);
    // Its only own override was of an abstract method; Area was done in THalf.
    EXPECT_FALSE(full->IsAbstract());

    auto* single = NewClass(u"TSingle");
    auto* only = AddVirtual(single, u"Only", true);
    auto* concrete = NewClass(u"TConcrete", single);
    AddOverride(concrete, only);
    EXPECT_FALSE(concrete->IsAbstract());

    auto* explicitAbstract = NewClass(u"TExplicit");
    explicitAbstract->SetIsExplicitAbstract(true);
    EXPECT_TRUE(explicitAbstract->IsAbstract());
}

TEST_F(tvsSymbolsFixture, InterfaceResolution)
{
    auto* intfA = T.Add(new TInterfaceSymbol(u"IA"));
    auto* a1 = NewMethod(intfA, u"A1");
    intfA->AddMethod(a1);
    auto* intfB = T.Add(new TInterfaceSymbol(u"IB"));
    intfB->InheritFrom(intfA);
    auto* b1 = NewMethod(intfB, u"B1");
    auto* b2 = NewMethod(intfB, u"B2");
    intfB->AddMethod(b1);
    intfB->AddMethod(b2);
    EXPECT_EQ(a1->VMTIndex(), 0);
    EXPECT_EQ(b2->VMTIndex(), 2);
    EXPECT_EQ(intfB->MethodCount(), 3);

    // Missing methods: the first met is handed back, walking IB's own
    // methods last to first, then IA's.
    auto* partial = NewClass(u"TPartial");
    partial->AddMethod(NewMethod(partial, u"b2"));
    TMethodSymbol* missing = nullptr;
    EXPECT_FALSE(partial->AddInterface(intfB, TClassVisibility::cvPublic, &missing));
    EXPECT_EQ(missing, b1);
    EXPECT_EQ(partial->ResolveInterface(intfB), nullptr);

    auto* impl = NewClass(u"TImpl");
    auto* implA1 = AddVirtual(impl, u"A1");
    auto* implB1 = NewMethod(impl, u"B1");
    impl->AddMethod(implB1);
    auto* hidden = NewMethod(impl, u"B2", TRoutineKind::fkProcedure, TClassVisibility::cvPrivate);
    impl->AddMethod(hidden);
    EXPECT_FALSE(impl->AddInterface(intfB, TClassVisibility::cvPublic, &missing));
    EXPECT_EQ(missing, b2); // a private method does not implement it
    auto* implB2 = NewMethod(impl, u"B2");
    impl->AddMethod(implB2);
    ASSERT_TRUE(impl->AddInterface(intfB, TClassVisibility::cvPublic));
    const TResolvedInterface* resolved = impl->ResolveInterface(intfB);
    ASSERT_NE(resolved, nullptr);
    EXPECT_EQ(resolved->ImplementingMethods, (TMethodSymbolArray{implA1, implB1, implB2}));
    EXPECT_TRUE(implB2->IsInterfaced());
    EXPECT_FALSE(hidden->IsInterfaced());

    // A descendant overriding the virtual implementation: its resolution
    // uses the override once the inherited interfaces are re-resolved.
    auto* sub = NewClass(u"TSub", impl);
    EXPECT_EQ(sub->ResolveInterface(intfB), resolved);
    auto* subA1 = AddOverride(sub, implA1);
    sub->AddOverriddenInterfaces();
    const TResolvedInterface* subResolved = sub->ResolveInterface(intfB);
    ASSERT_NE(subResolved, nullptr);
    EXPECT_EQ(subResolved->ImplementingMethods, (TMethodSymbolArray{subA1, implB1, implB2}));
    EXPECT_EQ(impl->ResolveInterface(intfB)->ImplementingMethods[0], implA1);
    EXPECT_TRUE(sub->ImplementsInterface(intfA) == false);
}

TEST_F(tvsSymbolsFixture, FindMethodMatching)
{
    auto* intf = T.Add(new TInterfaceSymbol(u"IFoo"));
    auto* wanted = NewMethod(intf, u"Get", TRoutineKind::fkFunction);
    intf->AddMethod(wanted);

    auto* base = NewClass(u"TBase");
    auto* inBase = NewMethod(base, u"GET", TRoutineKind::fkFunction);
    base->AddMethod(inBase);
    auto* derived = NewClass(u"TDerived", base);
    auto* wrongKind = NewMethod(derived, u"Get", TRoutineKind::fkProcedure);
    derived->AddMethod(wrongKind);
    EXPECT_EQ(derived->FindMethodMatching(*wanted, TClassVisibility::cvPublic), inBase);
    auto* mine = NewMethod(derived, u"get", TRoutineKind::fkFunction);
    derived->AddMethod(mine);
    EXPECT_EQ(derived->FindMethodMatching(*wanted, TClassVisibility::cvPublic), mine);
}

TEST_F(tvsSymbolsFixture, FindDefaultConstructor)
{
    using enum TRoutineKind;
    auto* base = NewClass(u"TBase");
    auto* hiddenCreate = NewMethod(base, u"Create", fkConstructor, TClassVisibility::cvPrivate);
    base->AddMethod(hiddenCreate);
    auto* protectedMake = NewMethod(base, u"Make", fkConstructor, TClassVisibility::cvProtected);
    protectedMake->SetIsDefault(true);
    base->AddMethod(protectedMake);

    auto* twoCreates = NewClass(u"TTwo", base);
    twoCreates->AddMethod(NewMethod(twoCreates, u"Create", fkConstructor));
    auto* secondCreate = NewMethod(twoCreates, u"create", fkConstructor);
    twoCreates->AddMethod(secondCreate);
    twoCreates->AddMethod(NewMethod(twoCreates, u"Other", fkConstructor));
    EXPECT_EQ(twoCreates->FindDefaultConstructor(TClassVisibility::cvPublic), secondCreate);

    auto* marked = NewClass(u"TMarked", base);
    marked->AddMethod(NewMethod(marked, u"Create", fkConstructor));
    auto* markedDefault = NewMethod(marked, u"Build", fkConstructor);
    markedDefault->SetIsDefault(true);
    marked->AddMethod(markedDefault);
    EXPECT_EQ(marked->FindDefaultConstructor(TClassVisibility::cvPublic), markedDefault);

    // Nothing of its own: the parent's, where private is raised to protected.
    auto* empty = NewClass(u"TEmpty", base);
    EXPECT_EQ(empty->FindDefaultConstructor(TClassVisibility::cvPrivate), protectedMake);
    EXPECT_EQ(base->FindDefaultConstructor(TClassVisibility::cvPrivate), protectedMake);
    EXPECT_EQ(empty->FindDefaultConstructor(TClassVisibility::cvPublic), nullptr);
    EXPECT_EQ(T.Add(new TRecordSymbol(u"R"))->FindDefaultConstructor(TClassVisibility::cvPrivate),
              nullptr);
}

TEST_F(tvsSymbolsFixture, SelfOfMethods)
{
    auto* rec = T.Add(new TRecordSymbol(u"TRec"));
    auto* recMethod = NewMethod(rec, u"M");
    auto* recClassMethod =
        NewMethod(rec, u"C", TRoutineKind::fkProcedure, TClassVisibility::cvPublic, true);
    auto* cls = NewClass(u"TFoo");
    auto* clsMethod = NewMethod(cls, u"M");
    auto* clsClassMethod =
        NewMethod(cls, u"C", TRoutineKind::fkProcedure, TClassVisibility::cvPublic, true);
    rec->AddMethod(recMethod);
    rec->AddMethod(recClassMethod);
    cls->AddMethod(clsMethod);
    cls->AddMethod(clsClassMethod);

    // The record a method works on is its first parameter, by reference.
    ASSERT_EQ(recMethod->Params().Count(), 1);
    EXPECT_EQ(recMethod->Params().Symbols(0), recMethod->SelfSym());
    EXPECT_NE(dynamic_cast<TVarParamSymbol*>(recMethod->SelfSym()), nullptr);
    EXPECT_EQ(recClassMethod->SelfSym(), nullptr);
    EXPECT_EQ(clsMethod->Params().Count(), 0);
    EXPECT_EQ(clsMethod->SelfSym()->Typ(), cls);
    EXPECT_EQ(clsClassMethod->SelfSym()->Typ(), cls->ClassOf());
    // Members resolve inside methods, after the parameters.
    cls->AddField(new TFieldSymbol(u"FValue", T.Integer, TClassVisibility::cvPrivate));
    EXPECT_NE(clsMethod->Params().FindSymbol(u"FValue"), nullptr);
    EXPECT_NE(clsMethod->Params().FindSymbol(u"Self"), nullptr);
}

// ---------------------------------------------------------------------------
// Host declarations

TEST_F(tvsSymbolsFixture, HostRoutines)
{
    T.Table.AddSymbol(new TDataSymbol(u"NotAType", T.Integer));
    auto param = [](std::u16string name, std::u16string type, bool isVar = false,
                    bool isConst = false, bool hasDefault = false) {
        TParamRec rec;
        rec.ParamName = std::move(name);
        rec.ParamType = std::move(type);
        rec.IsVarParam = isVar;
        rec.IsConstParam = isConst;
        rec.HasDefaultValue = hasDefault;
        if (hasDefault)
            rec.DefaultValue = TData{Variant(u"1")};
        return rec;
    };
    const struct {
        const char16_t* result;
        TParamArray params;
        std::u16string error;
    } cases[] = {
        {u"Nothing", {}, u"Type \"Nothing\" unknown"},
        {u"NotAType", {}, u"Type \"NotAType\" unknown"},
        {u"",
         {param(u"a", u"Integer"), param(u"b", u"Strin")},
         u"Type \"Strin\" not found for parameter \"b\" of function \"F\""},
        {u"",
         {param(u"a", u"Integer", true, false, true)},
         u"var parameter can't have a default value"},
        {u"",
         {param(u"a", u"Integer", false, true, true)},
         u"const parameter can't have a default value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.error));
        try {
            TFuncSymbol func(T.Table, c.result, c.params, u"F");
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.error);
        }
    }

    TFuncSymbol func(T.Table, u"string",
                     {param(u"a", u"Integer"), param(u"b", u"integer", true),
                      param(u"c", u"String", false, true),
                      param(u"d", u"Float", false, false, true)},
                     u"F");
    EXPECT_EQ(func.Kind(), TRoutineKind::fkFunction);
    EXPECT_EQ(func.Level(), 1);
    EXPECT_EQ(func.DeclarationText(),
              u"function F(a: Integer; var b: Integer; const c: String; d: Float = 1): String");
    EXPECT_EQ(func.GetParamType(1), T.Integer);
    EXPECT_EQ(func.GetParamType(4), nullptr);
    EXPECT_TRUE(func.HasParam(u"C"));
    TFuncSymbol proc(T.Table, u"", {}, u"P");
    EXPECT_EQ(proc.Kind(), TRoutineKind::fkProcedure);
    EXPECT_EQ(proc.Result(), nullptr);
}

TEST_F(tvsSymbolsFixture, HostMethods)
{
    using enum THostMethodKind;
    auto* base = NewClass(u"TBase");
    auto* baseRun = new TMethodSymbol(T.Table, TClassVisibility::cvPublic, base, u"", {}, u"Run",
                                      maVirtual, mkProcedure);
    base->AddMethod(baseRun);
    base->AddMethod(new TMethodSymbol(T.Table, TClassVisibility::cvPublic, base, u"", {}, u"Plain",
                                      maNone, mkProcedure));
    base->AddField(new TFieldSymbol(u"FField", T.Integer, TClassVisibility::cvProtected));
    auto* prop = new TPropertySymbol(u"Prop", T.Integer);
    base->AddProperty(prop);
    auto* cls = NewClass(u"TFoo", base);
    cls->AddMethod(new TMethodSymbol(T.Table, TClassVisibility::cvPublic, cls, u"", {}, u"Mine",
                                     maNone, mkProcedure));

    const struct {
        const char16_t* name;
        const char16_t* result;
        TMethodAttributes attributes;
        THostMethodKind kind;
        std::u16string error;
    } errors[] = {
        {u"FField", u"", maNone, mkProcedure, u"There is already a field with name \"FField\""},
        {u"prop", u"", maNone, mkProcedure, u"There is already a property with name \"prop\""},
        {u"Mine", u"", maNone, mkProcedure, u"There is already a method with name \"Mine\""},
        {u"X", u"Integer", maNone, mkProcedure, u"No result type required"},
        {u"X", u"Integer", maNone, mkConstructor, u"No result type required"},
        {u"X", u"Nothing", maNone, mkFunction, u"Type \"Nothing\" unknown"},
        {u"X", u"", maNone, mkFunction, u"Result type expected"},
        {u"X", u"", maOverride, mkProcedure,
         u"Method X not found in parent class. Can't override!"},
        {u"X", u"", maAbstract, mkProcedure, u"Invalid argument combination"},
        {u"X", u"", maVirtual | maOverride, mkProcedure, u"Invalid argument combination"},
    };
    for (const auto& c : errors) {
        SCOPED_TRACE(Narrow(c.error));
        try {
            TMethodSymbol method(T.Table, TClassVisibility::cvPublic, cls, c.result, {}, c.name,
                                 c.attributes, c.kind);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.error);
        }
    }

    auto* runAgain = new TMethodSymbol(T.Table, TClassVisibility::cvPublic, cls, u"", {}, u"Run",
                                       maOverride, mkProcedure);
    cls->AddMethod(runAgain);
    EXPECT_TRUE(runAgain->IsOverride());
    EXPECT_FALSE(runAgain->IsOverlap());
    EXPECT_EQ(cls->VirtualMethodTable()[0], runAgain);

    auto* plain = new TMethodSymbol(T.Table, TClassVisibility::cvPublic, cls, u"", {}, u"Plain",
                                    maReintroduce, mkProcedure);
    cls->AddMethod(plain);
    EXPECT_TRUE(plain->IsOverlap());
    EXPECT_EQ(plain->ParentMeth(), base->Members().FindLocal(u"Plain"));

    auto* abstractOne = new TMethodSymbol(T.Table, TClassVisibility::cvPublic, cls, u"Integer", {},
                                          u"Count", maVirtual | maAbstract, mkClassFunction);
    cls->AddMethod(abstractOne);
    EXPECT_TRUE(abstractOne->IsAbstract());
    EXPECT_TRUE(abstractOne->IsClassMethod());
    EXPECT_EQ(abstractOne->Kind(), TRoutineKind::fkFunction);
    EXPECT_TRUE(cls->IsAbstract());
    EXPECT_EQ(abstractOne->DeclarationText(), u"class function Count(): Integer");
}

// ---------------------------------------------------------------------------
// Checks after compilation

TEST_F(tvsSymbolsFixture, InitializeReportsWhatStayedIncomplete)
{
    const TSourceFile file(MainModuleName, u"");
    auto code = std::make_shared<TFakeCode>();

    auto* cls = NewClass(u"TFoo");
    auto* done = static_cast<TSourceMethodSymbol*>(NewMethod(cls, u"Done"));
    done->SetExecutable(code);
    auto* missing = static_cast<TSourceMethodSymbol*>(NewMethod(cls, u"Missing"));
    missing->SetDeclarationPosition(TScriptPos(&file, 4, 5));
    auto* pure = static_cast<TSourceMethodSymbol*>(NewMethod(cls, u"Pure"));
    pure->SetIsVirtual(true);
    pure->SetIsAbstract(true);
    for (TMethodSymbol* m :
         {static_cast<TMethodSymbol*>(done), static_cast<TMethodSymbol*>(missing),
          static_cast<TMethodSymbol*>(pure)})
        cls->AddMethod(m);

    auto* forwardClass = NewClass(u"TLater");
    forwardClass->SetForwardedPos(TScriptPos(&file, 2, 3));
    forwardClass->AddMethod(NewMethod(forwardClass, u"NoCode"));

    auto* external = NewClass(u"THost");
    external->SetIsExternal(true);
    external->AddMethod(NewMethod(external, u"NoCode"));

    auto* rec = T.Add(new TRecordSymbol(u"TRec"));
    rec->AddMethod(NewMethod(rec, u"NoCode"));

    auto* forwardFunc = T.Add(new TSourceFuncSymbol(u"Later", TRoutineKind::fkProcedure, 1));
    forwardFunc->SetForwardedPos(TScriptPos(&file, 7, 1));
    auto* externalFunc = T.Add(new TSourceFuncSymbol(u"Outside", TRoutineKind::fkProcedure, 1));
    externalFunc->SetIsExternal(true);
    auto* routineType = T.Add(new TFuncSymbol(u"TProc", TRoutineKind::fkProcedure, 1));
    routineType->SetIsType();
    auto* withCode = T.Add(new TSourceFuncSymbol(u"Done", TRoutineKind::fkProcedure, 1));
    withCode->SetExecutable(code);

    TtvsCompileMessageList messages;
    T.Table.Initialize(messages);
    EXPECT_EQ(Texts(messages),
              u"Compile Error: Method \"Missing\" of class \"TFoo\" not implemented [line: 4, "
              u"column: 5]\n"
              u"Compile Error: Class \"TLater\" isn't defined completely [line: 2, column: 3]\n"
              u"Compile Error: Method \"NoCode\" of class \"record TRec\" not implemented\n"
              u"Compile Error: The function \"Later\" was forward declared but not implemented! "
              u"[line: 7, column: 1]\n");
    EXPECT_EQ(code->Initialized, (std::vector<TSymbol*>{done, withCode}));
}

TEST_F(tvsSymbolsFixture, ConditionsAndDeprecation)
{
    auto* base = NewClass(u"TBase");
    auto* run = AddVirtual(base, u"Run");
    auto* derived = NewClass(u"TDerived", base);
    auto* runAgain = AddOverride(derived, run);
    EXPECT_FALSE(runAgain->HasConditions());
    run->AddCondition(new TPreConditionSymbol(TScriptPos(), nullptr, nullptr));
    EXPECT_TRUE(run->HasConditions());
    EXPECT_TRUE(runAgain->HasConditions()); // inherited through the override

    EXPECT_FALSE(run->IsDeprecated());
    run->SetIsDeprecated(true);
    EXPECT_EQ(run->DeprecatedMessage(), u"!");
    run->SetIsDeprecated(false);
    EXPECT_FALSE(run->IsDeprecated());
}
