// The exception classes of the engine and the host error classes scripts can
// see. Scripts read an error's class name, so every class answers its own
// Delphi-style name.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "tvsScriptPos.h"
#include "tvsVariant.h"

class TExprBase;
class TtvsProgram;
class TClassSymbol;

// Base of every host exception: a UTF-16 message and a class name.
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message) : FMessage(std::move(message)) {}
    ~Exception() override = default;

    const std::u16string& Message() const { return FMessage; }
    void SetMessage(std::u16string message) { FMessage = std::move(message); }
    virtual const char16_t* ClassName() const { return u"Exception"; }
    // UTF-8 copy of the message for std::exception users.
    const char* what() const noexcept override;

private:
    std::u16string FMessage;
    mutable std::string FWhat;
};

// Declares an exception class that adds nothing but its name. The classes
// stay open for derivation: the host hierarchy is deeper than one level.
#define TVS_DECLARE_EXCEPTION(Name, Base)                                                          \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char16_t* ClassName() const override { return u"" #Name; }                           \
    }

// ---------------------------------------------------------------------------
// Host error classes
// ---------------------------------------------------------------------------

// Hardware-style faults: integer and floating-point arithmetic, memory.
TVS_DECLARE_EXCEPTION(EExternal, Exception);
TVS_DECLARE_EXCEPTION(EIntError, EExternal);
TVS_DECLARE_EXCEPTION(EDivByZero, EIntError);
TVS_DECLARE_EXCEPTION(ERangeError, EIntError);
TVS_DECLARE_EXCEPTION(EIntOverflow, EIntError);
TVS_DECLARE_EXCEPTION(EMathError, EExternal);
TVS_DECLARE_EXCEPTION(EInvalidOp, EMathError);
TVS_DECLARE_EXCEPTION(EZeroDivide, EMathError);
TVS_DECLARE_EXCEPTION(EOverflow, EMathError);
TVS_DECLARE_EXCEPTION(EUnderflow, EMathError);
TVS_DECLARE_EXCEPTION(EAccessViolation, EExternal);

// Library errors.
TVS_DECLARE_EXCEPTION(EConvertError, Exception);
TVS_DECLARE_EXCEPTION(EAbort, Exception);
TVS_DECLARE_EXCEPTION(EAssertionFailed, Exception);
TVS_DECLARE_EXCEPTION(EInvalidCast, Exception);
TVS_DECLARE_EXCEPTION(EOutOfMemory, Exception);
TVS_DECLARE_EXCEPTION(EInvalidPointer, Exception);
TVS_DECLARE_EXCEPTION(EInvalidOperation, Exception);
TVS_DECLARE_EXCEPTION(EStreamError, Exception);
TVS_DECLARE_EXCEPTION(EListError, Exception);
TVS_DECLARE_EXCEPTION(EStringListError, Exception);
TVS_DECLARE_EXCEPTION(EArgumentException, Exception);
TVS_DECLARE_EXCEPTION(EArgumentOutOfRangeException, EArgumentException);
TVS_DECLARE_EXCEPTION(ENotSupportedException, Exception);

// Variant errors.
TVS_DECLARE_EXCEPTION(EVariantError, Exception);
TVS_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError);
TVS_DECLARE_EXCEPTION(EVariantInvalidOpError, EVariantError);
TVS_DECLARE_EXCEPTION(EVariantOverflowError, EVariantError);

// Index errors of the tight pointer lists.
TVS_DECLARE_EXCEPTION(ETightListOutOfBound, Exception);

// ---------------------------------------------------------------------------
// Compile errors
// ---------------------------------------------------------------------------

// A compile-time failure with the position it belongs to.
class ECompileException : public Exception {
public:
    explicit ECompileException(std::u16string message) : Exception(std::move(message)) {}
    ECompileException(const TScriptPos& pos, std::u16string message)
        : Exception(std::move(message))
        , FScriptPos(pos)
    {}
    const char16_t* ClassName() const override { return u"ECompileException"; }

    const TScriptPos& ScriptPos() const { return FScriptPos; }
    void SetScriptPos(const TScriptPos& pos) { FScriptPos = pos; }

private:
    TScriptPos FScriptPos;
};

// Raised after the message is already in the message list: compiling stops.
TVS_DECLARE_EXCEPTION(ECompileError, ECompileException);

// ---------------------------------------------------------------------------
// Run-time errors of scripts
// ---------------------------------------------------------------------------

// One active call: the call expression and the program or procedure that
// was running when the call was made.
struct TtvsExprLocation {
    const TExprBase* Expr = nullptr;
    const TtvsProgram* Prog = nullptr;

    friend bool operator==(const TtvsExprLocation&, const TtvsExprLocation&) = default;
};

// Innermost call first.
using TtvsExprLocationArray = std::vector<TtvsExprLocation>;

// The call stack kept by a script exception object for its stack trace.
class TtvsExceptionContext final {
public:
    TtvsExceptionContext() = default;
    explicit TtvsExceptionContext(TtvsExprLocationArray callStack)
        : FCallStack(std::move(callStack))
    {}

    const TtvsExprLocationArray& CallStack() const { return FCallStack; }
    // Drops the innermost `count` entries (all of them when there are fewer).
    void Skip(size_t count);
    // Replaces the expression of the innermost entry; nothing when empty.
    void ReplaceTop(const TExprBase* expr);

private:
    TtvsExprLocationArray FCallStack;
};

// An error raised by a running script, with where it happened.
class EScriptError : public Exception {
public:
    explicit EScriptError(std::u16string message) : Exception(std::move(message)) {}
    EScriptError(const TScriptPos& pos, std::u16string message)
        : Exception(std::move(message))
        , FScriptPos(pos)
    {}
    const char16_t* ClassName() const override { return u"EScriptError"; }

    const TScriptPos& ScriptPos() const { return FScriptPos; }
    void SetScriptPos(const TScriptPos& pos) { FScriptPos = pos; }
    const TtvsExprLocationArray& ScriptCallStack() const { return FScriptCallStack; }
    void SetScriptCallStack(TtvsExprLocationArray callStack)
    {
        FScriptCallStack = std::move(callStack);
    }
    // Class name of the host exception this error replaces, when it replaces one.
    const std::u16string& RawClassName() const { return FRawClassName; }
    void SetRawClassName(std::u16string name) { FRawClassName = std::move(name); }

private:
    TScriptPos FScriptPos;
    TtvsExprLocationArray FScriptCallStack;
    std::u16string FRawClassName;
};

TVS_DECLARE_EXCEPTION(EScriptStopped, EScriptError);
TVS_DECLARE_EXCEPTION(EScriptOutOfBounds, EScriptError);
TVS_DECLARE_EXCEPTION(EClassCast, EScriptError);

// A script exception object travelling through host code: raised by the
// script's "raise", caught by its "except".
class EScriptException : public Exception {
public:
    EScriptException(std::u16string message, Variant exceptObj, const TClassSymbol* exceptionClass,
                     const TScriptPos& pos = {})
        : Exception(std::move(message))
        , FExceptionClass(exceptionClass)
        , FExceptObj(std::move(exceptObj))
        , FScriptPos(pos)
    {}
    const char16_t* ClassName() const override { return u"EScriptException"; }

    const TClassSymbol* ExceptionClass() const { return FExceptionClass; }
    const Variant& ExceptObj() const { return FExceptObj; }
    const TScriptPos& ScriptPos() const { return FScriptPos; }
    void SetScriptPos(const TScriptPos& pos) { FScriptPos = pos; }
    const TtvsExprLocationArray& ScriptCallStack() const { return FScriptCallStack; }
    void SetScriptCallStack(TtvsExprLocationArray callStack)
    {
        FScriptCallStack = std::move(callStack);
    }

private:
    const TClassSymbol* FExceptionClass;
    Variant FExceptObj;
    TScriptPos FScriptPos;
    TtvsExprLocationArray FScriptCallStack;
};

TVS_DECLARE_EXCEPTION(EScriptAssertionFailed, EScriptException);

// Data stack and recursion limits.
TVS_DECLARE_EXCEPTION(EScriptStackException, Exception);
TVS_DECLARE_EXCEPTION(EScriptStackOverflow, EScriptStackException);

// A Variant that did not convert in a typed context.
TVS_DECLARE_EXCEPTION(EtvsVariantTypeCastError, EVariantTypeCastError);

// A call to a routine declared external that has no host implementation.
TVS_DECLARE_EXCEPTION(EtvsExternalFuncHandler, Exception);
