#include "tvsMethodCallFactory.h"

#include <string>

#include <gtest/gtest.h>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsSymbols.h"

namespace {

using enum TMethodCallNode;
using enum TRoutineKind;

struct TCall {
    const char* what;
    TRoutineKind kind;
    bool isVirtual;
    bool isClassMethod;
    bool staticDispatch;
    bool classReference;
    bool constantAbstractBase;
    bool inConstructor;
    TMethodCallNode expected;
    std::u16string messages;
};

} // namespace

class tvsMethodCallFactoryFixture : public testing::Test {
protected:
    TSymbolTable Table;
    TBaseIntegerSymbol* Integer = Add(new TBaseIntegerSymbol);
    TClassSymbol* Concrete = Add(new TClassSymbol(u"TConcrete"));
    TClassSymbol* Abstract = Add(new TClassSymbol(u"TAbstract"));
    TSourceFile File{MainModuleName, u""};
    TScriptPos Pos{&File, 3, 9};

    template <class T> T* Add(T* symbol)
    {
        Table.AddSymbol(symbol);
        return symbol;
    }

    TMethodSymbol* Method(TStructuredTypeSymbol* owner, TRoutineKind kind, bool isVirtual = false,
                          bool isClassMethod = false)
    {
        auto* method =
            new TMethodSymbol(u"M", kind, owner, TClassVisibility::cvPublic, isClassMethod, 1);
        if (kind == fkFunction)
            method->SetType(Integer);
        if (isVirtual)
            method->SetIsVirtual(true);
        owner->AddMethod(method);
        return method;
    }

    std::u16string Texts(const TtvsMessageList& messages)
    {
        std::u16string text;
        for (int i = 0; i < messages.Count(); ++i)
            text += messages.GetMsg(i).FormattedText() + u"\n";
        return text;
    }

    void SetUp() override { Abstract->SetIsExplicitAbstract(true); }
};

TEST_F(tvsMethodCallFactoryFixture, ClassMethodCalls)
{
    const std::u16string at = u" [line: 3, column: 9]\n";
    const TCall cases[] = {
        {"constructor through a class reference", fkConstructor, false, false, false, true, false,
         false, mcnConstructorStatic, u""},
        {"virtual constructor", fkConstructor, true, false, false, true, false, false,
         mcnConstructorVirtual, u""},
        {"virtual constructor, static dispatch forced", fkConstructor, true, false, true, true,
         false, false, mcnConstructorStatic, u""},
        {"constructor on an instance", fkConstructor, false, false, false, false, false, false,
         mcnConstructorStaticObj,
         u"Warning: Constructor invoked on instance outside of constructor" + at},
        {"constructor on an instance inside a constructor", fkConstructor, true, false, false,
         false, false, true, mcnConstructorVirtualObj, u""},
        {"constructor of a constant abstract class", fkConstructor, false, false, false, true, true,
         false, mcnConstructorStatic,
         u"Syntax Error: Trying to create an instance of an abstract class" + at},
        {"destructor on an instance", fkDestructor, true, false, false, false, false, false,
         mcnDestructorVirtual, u""},
        {"destructor through a class reference", fkDestructor, false, false, false, true, false,
         false, mcnDestructorStatic,
         u"Syntax Error: Destructor can only be invoked on instance" + at},
        {"class function", fkFunction, false, true, false, true, false, false, mcnClassMethodStatic,
         u""},
        {"virtual class procedure on an instance", fkProcedure, true, true, false, false, false,
         false, mcnClassMethodVirtual, u""},
        {"class method of a constant abstract class", fkMethod, false, true, false, true, true,
         false, mcnClassMethodStatic, u"Syntax Error: Trying to use an abstract class!" + at},
        {"instance method", fkProcedure, false, false, false, false, false, false, mcnMethodStatic,
         u""},
        {"virtual instance method", fkFunction, true, false, false, false, false, false,
         mcnMethodVirtual, u""},
        {"virtual instance method, static dispatch forced", fkFunction, true, false, true, false,
         false, false, mcnMethodStatic, u""},
        {"instance method through a class reference", fkMethod, true, false, false, true, false,
         false, mcnMethodVirtual, u"Syntax Error: Class method or constructor expected" + at},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMethodSymbol* method = Method(Concrete, c.kind, c.isVirtual, c.isClassMethod);
        TMethodCallSite site;
        site.ConstantClassRef = c.constantAbstractBase ? Abstract : nullptr;
        site.InConstructorBody = c.inConstructor;
        TtvsCompileMessageList messages;
        EXPECT_EQ(
            ChooseMethodCallNode(*method, c.staticDispatch, c.classReference, site, messages, Pos),
            c.expected);
        EXPECT_EQ(Texts(messages), c.messages);
    }
}

TEST_F(tvsMethodCallFactoryFixture, ConstantConcreteClassIsFine)
{
    TtvsCompileMessageList messages;
    TMethodCallSite site{Concrete, false};
    EXPECT_EQ(
        ChooseMethodCallNode(*Method(Concrete, fkConstructor), false, true, site, messages, Pos),
        mcnConstructorStatic);
    EXPECT_EQ(messages.Count(), 0);
}

TEST_F(tvsMethodCallFactoryFixture, StaticClasses)
{
    auto* helpers = Add(new TClassSymbol(u"THelpers"));
    helpers->SetIsStatic(true);
    TtvsCompileMessageList messages;
    EXPECT_EQ(ChooseMethodCallNode(*Method(helpers, fkFunction, false, true), false, true, {},
                                   messages, Pos),
              mcnClassMethodStatic);
    EXPECT_EQ(messages.Count(), 0);
    EXPECT_EQ(ChooseMethodCallNode(*Method(helpers, fkConstructor), false, true, {}, messages, Pos),
              mcnConstructorStatic);
    EXPECT_EQ(Texts(messages), u"Syntax Error: Class \"THelpers\" is static, instantiation not "
                               u"allowed! [line: 3, column: 9]\n");
}

TEST_F(tvsMethodCallFactoryFixture, RecordsAndInterfaces)
{
    auto* rec = Add(new TRecordSymbol(u"TRec"));
    auto* intf = Add(new TInterfaceSymbol(u"IFoo"));
    TtvsCompileMessageList messages;
    EXPECT_EQ(ChooseMethodCallNode(*Method(rec, fkProcedure), false, false, {}, messages, Pos),
              mcnRecordMethod);
    EXPECT_EQ(
        ChooseMethodCallNode(*Method(rec, fkFunction, false, true), false, true, {}, messages, Pos),
        mcnRecordClassMethod);
    EXPECT_EQ(ChooseMethodCallNode(*Method(intf, fkFunction), false, false, {}, messages, Pos),
              mcnInterface);
    EXPECT_EQ(messages.Count(), 0);
}

TEST_F(tvsMethodCallFactoryFixture, OwnerOfUnknownKindIsAnAssertion)
{
    // A structured type that is neither record, interface nor class.
    class TOddType final : public TStructuredTypeSymbol {
    public:
        TOddType() : TStructuredTypeSymbol(u"TOdd") {}
    };
    auto* odd = Add(new TOddType);
    TtvsCompileMessageList messages;
    EXPECT_THROW(ChooseMethodCallNode(*Method(odd, fkProcedure), false, false, {}, messages, Pos),
                 EAssertionFailed);
}
