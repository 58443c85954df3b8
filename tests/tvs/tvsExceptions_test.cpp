#include "tvsExceptions.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

// Scripts see class names, and host code catches by base class: both must hold.
TEST(tvsExceptions, ClassNamesAndBases)
{
    const struct {
        std::unique_ptr<Exception> error;
        std::u16string name;
        bool (*isA)(const Exception&);
    } cases[] = {
        {std::make_unique<Exception>(u"m"), u"Exception", [](const Exception&) { return true; }},
        {std::make_unique<EDivByZero>(u"m"), u"EDivByZero",
         [](const Exception& e) { return dynamic_cast<const EIntError*>(&e) != nullptr; }},
        {std::make_unique<EZeroDivide>(u"m"), u"EZeroDivide",
         [](const Exception& e) { return dynamic_cast<const EMathError*>(&e) != nullptr; }},
        {std::make_unique<EInvalidOp>(u"m"), u"EInvalidOp",
         [](const Exception& e) { return dynamic_cast<const EExternal*>(&e) != nullptr; }},
        {std::make_unique<EConvertError>(u"m"), u"EConvertError",
         [](const Exception& e) { return dynamic_cast<const EExternal*>(&e) == nullptr; }},
        {std::make_unique<EtvsVariantTypeCastError>(u"m"), u"EtvsVariantTypeCastError",
         [](const Exception& e) {
             return dynamic_cast<const EVariantTypeCastError*>(&e) != nullptr;
         }},
        {std::make_unique<EScriptStopped>(u"m"), u"EScriptStopped",
         [](const Exception& e) { return dynamic_cast<const EScriptError*>(&e) != nullptr; }},
        {std::make_unique<EScriptOutOfBounds>(u"m"), u"EScriptOutOfBounds",
         [](const Exception& e) { return dynamic_cast<const EScriptError*>(&e) != nullptr; }},
        {std::make_unique<EClassCast>(u"m"), u"EClassCast",
         [](const Exception& e) { return dynamic_cast<const EScriptError*>(&e) != nullptr; }},
        {std::make_unique<EScriptAssertionFailed>(u"m", Variant(), nullptr),
         u"EScriptAssertionFailed",
         [](const Exception& e) { return dynamic_cast<const EScriptException*>(&e) != nullptr; }},
        {std::make_unique<ECompileError>(u"m"), u"ECompileError",
         [](const Exception& e) { return dynamic_cast<const ECompileException*>(&e) != nullptr; }},
        {std::make_unique<EScriptStackOverflow>(u"m"), u"EScriptStackOverflow",
         [](const Exception& e) { return dynamic_cast<const EScriptError*>(&e) == nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.name));
        EXPECT_EQ(std::u16string(c.error->ClassName()), c.name);
        EXPECT_TRUE(c.isA(*c.error));
    }
}

TEST(tvsExceptions, WhatIsUtf8)
{
    const EConvertError error(u"caf\u00E9 \U0001F600");
    EXPECT_STREQ(error.what(), "caf\xC3\xA9 \xF0\x9F\x98\x80");
}

TEST(tvsExceptions, ScriptErrorKeepsWhereItHappened)
{
    const TSourceFile file(u"unit1", u"");
    EScriptError error(TScriptPos(&file, 4, 7), u"boom");
    error.SetRawClassName(u"EDivByZero");
    const auto* expr = reinterpret_cast<const TExprBase*>(&file);
    error.SetScriptCallStack({{expr, nullptr}});
    try {
        throw error;
    } catch (const Exception& e) {
        const auto& caught = dynamic_cast<const EScriptError&>(e);
        EXPECT_EQ(caught.Message(), u"boom");
        EXPECT_EQ(caught.ScriptPos(), TScriptPos(&file, 4, 7));
        EXPECT_EQ(caught.RawClassName(), u"EDivByZero");
        ASSERT_EQ(caught.ScriptCallStack().size(), 1u);
        EXPECT_EQ(caught.ScriptCallStack()[0].Expr, expr);
    }
}

TEST(tvsExceptions, ExceptionContextSkipAndReplaceTop)
{
    int markers[4];
    auto expr = [&](int i) { return reinterpret_cast<const TExprBase*>(&markers[i]); };
    TtvsExceptionContext context({{expr(0), nullptr}, {expr(1), nullptr}, {expr(2), nullptr}});
    context.Skip(1);
    ASSERT_EQ(context.CallStack().size(), 2u);
    EXPECT_EQ(context.CallStack()[0].Expr, expr(1));
    context.ReplaceTop(expr(3));
    EXPECT_EQ(context.CallStack()[0].Expr, expr(3));
    EXPECT_EQ(context.CallStack()[1].Expr, expr(2));
    context.Skip(5);
    EXPECT_TRUE(context.CallStack().empty());
    context.ReplaceTop(expr(0)); // nothing to replace: no effect
    EXPECT_TRUE(context.CallStack().empty());
}
