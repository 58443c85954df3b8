// The expression node framework (the evaluation contract every node shares and
// the typed operator families), and the program model that runs a tree:
// programs, procedures, executions, call tracking and run-time error messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsScriptPos.h"
#include "tvsStack.h"
#include "tvsSymbols.h"
#include "tvsUtils.h"
#include "tvsVariant.h"

class TtvsExecution;
class TtvsProgramExecution;
class TtvsProgram;
class TtvsMainProgram;
class TtvsProcedure;
class TtvsResult;
class TtvsResultType;
class TUnifiedConstList;
class TBlockInitExpr;
class TNoResultExpr;

// What a node answers for script objects, interfaces and dynamic arrays.
using TScriptObjRef = TRefPtr<TRefCountedObject>;

// clang-format off
// Non-local exits travel through the tree as this status of the execution.
enum TFlowStatus : uint8_t {
    fsNone     = 0,
    fsExit     = 1,
    fsBreak    = 2,
    fsContinue = 3,
};

enum TProgramState : uint8_t {
    psUndefined      = 0, // compiled with errors
    psReadyToRun     = 1,
    psRunning        = 2,
    psRunningStopped = 3, // stop requested, or BeginProgram failed
    psTerminated     = 4, // inside EndProgram
};
// clang-format on

// Texts of the framework's own run-time errors.
inline constexpr char16_t CannotAssignToMsg[] = u"Cannot assign to %s";
inline constexpr char16_t VariantCastFailedMsg[] =
    u"Couldn't cast variant from \"%s\" to \"%s\" (%s)";
inline constexpr char16_t UpperBoundExceededMsg[] = u"Upper bound exceeded! Index %d";
inline constexpr char16_t LowerBoundExceededMsg[] = u"Lower bound exceeded! Index %d";
inline constexpr char16_t ObjectNotInstantiatedMsg[] = u"Object not instantiated";
inline constexpr char16_t ObjectAlreadyDestroyedMsg[] = u"Object already destroyed";
inline constexpr char16_t InterfaceIsNilMsg[] = u"Interface is nil";
inline constexpr char16_t OptimizedToWrongKindMsg[] =
    u"Optimization produced a node of the wrong kind";

// ---------------------------------------------------------------------------
// The evaluation contract
// ---------------------------------------------------------------------------

// Root of every node. A node owns its children; trees are read-only while
// they run (every evaluation is const and takes the execution, where all
// run-time state lives), so one tree can serve many runs.
class TExprBase {
public:
    TExprBase() = default;
    virtual ~TExprBase() = default;
    TExprBase(const TExprBase&) = delete;
    TExprBase& operator=(const TExprBase&) = delete;

    // A unified constant is shared by every node that uses it and belongs to
    // its program's constant list: deleting it through one of its users (a
    // unique_ptr going out of scope) must leave it alone. The list clears the
    // flag before it frees its constants.
    void operator delete(TExprBase* expr, std::destroying_delete_t);
    bool IsSharedNode() const { return FShared; }
    void SetSharedNode(bool shared) { FShared = shared; }

    virtual TExprBase* GetSubExpr(int index) const;
    virtual int GetSubExprCount() const;

    virtual Variant Eval(TtvsExecution& exec) const = 0;
    virtual int64_t EvalAsInteger(TtvsExecution& exec) const = 0;
    virtual bool EvalAsBoolean(TtvsExecution& exec) const = 0;
    virtual double EvalAsFloat(TtvsExecution& exec) const = 0;
    virtual void EvalAsString(TtvsExecution& exec, UnicodeString& result) const = 0;
    virtual void EvalAsVariant(TtvsExecution& exec, Variant& result) const = 0;
    virtual void EvalAsScriptObj(TtvsExecution& exec, TScriptObjRef& result) const = 0;

    virtual void AssignValue(TtvsExecution& exec, const Variant& value) const = 0;
    virtual void AssignValueAsInteger(TtvsExecution& exec, int64_t value) const = 0;
    virtual void AssignValueAsBoolean(TtvsExecution& exec, bool value) const = 0;
    virtual void AssignValueAsFloat(TtvsExecution& exec, double value) const = 0;
    virtual void AssignValueAsString(TtvsExecution& exec, const UnicodeString& value) const = 0;
    virtual void AssignValueAsScriptObj(TtvsExecution& exec, TRefCountedObject* value) const = 0;

    virtual TScriptPos GetScriptPos() const = 0;
    // Where the node is, for messages: the routine's qualified name when prog
    // is a routine body, then the position text.
    std::u16string ScriptLocation(const TtvsProgram* prog) const;

    virtual TTypeSymbol* GetResultType() const = 0;
    virtual TTypeSymbol* GetBaseType() const = 0;
    virtual bool IsConstant() const = 0;
    // Answers the node to use in place of this one: this node itself, or a
    // new node (which may have taken over some of this node's children). The
    // caller owns the answer and frees this node when it was replaced;
    // OptimizeExpr below does both.
    virtual TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) = 0;
    virtual void EvalNoResult(TtvsExecution& exec) const = 0;

    // The routine a call node calls (for the " in " part of run-time
    // messages); nil for every other node.
    virtual const TFuncSymbol* CalledFuncSymbol() const { return nullptr; }

private:
    bool FShared = false;
};

// Replaces node by its optimised form. A result that is not a T (the
// compiler's own mistake) is reported as an ECompileException at pos.
template <class T>
void OptimizeExpr(std::unique_ptr<T>& node, TtvsProgram& prog, TtvsExecution& exec,
                  const TScriptPos& pos = {});

// Supplies the defaults of the contract: typed evaluations go through Eval,
// typed assignments through AssignValue.
class TProgramExpr : public TExprBase {
public:
    int64_t EvalAsInteger(TtvsExecution& exec) const override;
    bool EvalAsBoolean(TtvsExecution& exec) const override;
    double EvalAsFloat(TtvsExecution& exec) const override;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override;
    void EvalAsVariant(TtvsExecution& exec, Variant& result) const override;
    void EvalAsScriptObj(TtvsExecution& exec, TScriptObjRef& result) const override;

    void AssignValue(TtvsExecution& exec, const Variant& value) const override;
    void AssignValueAsInteger(TtvsExecution& exec, int64_t value) const override;
    void AssignValueAsBoolean(TtvsExecution& exec, bool value) const override;
    void AssignValueAsFloat(TtvsExecution& exec, double value) const override;
    void AssignValueAsString(TtvsExecution& exec, const UnicodeString& value) const override;
    void AssignValueAsScriptObj(TtvsExecution& exec, TRefCountedObject* value) const override;

    TTypeSymbol* GetResultType() const override { return nullptr; }
    TTypeSymbol* GetBaseType() const override { return nullptr; }
    bool IsConstant() const override { return false; }
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
    void EvalNoResult(TtvsExecution& exec) const override;

    // The node's class name as scripts' error messages show it.
    std::u16string ClassName() const;

    // Raise error at this node's position with the execution's call stack.
    template <std::derived_from<EScriptError> E>
    [[noreturn]] void RaiseScriptError(TtvsExecution& exec, E error) const;
    [[noreturn]] void RaiseScriptError(TtvsExecution& exec, std::u16string message) const;
    template <std::derived_from<EScriptError> E>
    [[noreturn]] void RaiseScriptError(TtvsExecution& exec, std::u16string message) const
    {
        RaiseScriptError(exec, E(std::move(message)));
    }
    // Converts the host exception being handled (call it inside a catch) into
    // an EScriptError with the same message that remembers its class name.
    [[noreturn]] void RaiseScriptError(TtvsExecution& exec) const;
    [[noreturn]] void RaiseUpperExceeded(TtvsExecution& exec, int64_t index) const;
    [[noreturn]] void RaiseLowerExceeded(TtvsExecution& exec, int64_t index) const;

    // Optimize, then insist on a typed node; any failure is a compile error
    // at pos.
    static std::unique_ptr<TTypedExpr> OptimizeToTypedExpr(std::unique_ptr<TTypedExpr> expr,
                                                           TtvsProgram& prog, TtvsExecution& exec,
                                                           const TScriptPos& pos);
};

// A node that yields a value.
class TTypedExpr : public TProgramExpr {
public:
    explicit TTypedExpr(TTypeSymbol* typ = nullptr) : FTyp(typ) {}

    TScriptPos GetScriptPos() const override { return {}; }
    TTypeSymbol* GetResultType() const override { return FTyp; }
    TTypeSymbol* GetBaseType() const override;
    TTypeSymbol* Typ() const { return FTyp; }
    void SetResultType(TTypeSymbol* typ) { FTyp = typ; }

    // Nil, destroyed and interface checks of member access.
    void CheckScriptObject(TtvsExecution& exec, const TRefCountedObject* obj) const;
    void CheckInterface(TtvsExecution& exec, const TRefCountedObject* intf) const;
    // True when this node's type is compatible with typ (type identity rules).
    bool IsOfType(TTypeSymbol* typ) const;

protected:
    TTypeSymbol* FTyp;
};

// True when expr is there, has a type, and that type is of typ.
bool ExprIsOfType(const TTypedExpr* expr, TTypeSymbol* typ);

// A statement: it yields nothing and knows where it is.
class TNoResultExpr : public TProgramExpr {
public:
    explicit TNoResultExpr(const TScriptPos& pos) : FScriptPos(pos) {}

    Variant Eval(TtvsExecution& exec) const override;
    TScriptPos GetScriptPos() const override { return FScriptPos; }
    void EvalNoResult(TtvsExecution& exec) const override = 0;

    static std::unique_ptr<TNoResultExpr>
    OptimizeToNoResultExpr(std::unique_ptr<TNoResultExpr> expr, TtvsProgram& prog,
                           TtvsExecution& exec, const TScriptPos& pos);

protected:
    TScriptPos FScriptPos;
};

class TNullExpr final : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;
    void EvalNoResult(TtvsExecution& /*exec*/) const override {}
};

// An ordered list of statements in one array.
class TBlockExprBase : public TNoResultExpr {
public:
    using TNoResultExpr::TNoResultExpr;

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return StatementCount(); }

    void AddStatement(std::unique_ptr<TNoResultExpr> statement);
    std::unique_ptr<TNoResultExpr> ExtractStatement(int index);
    void ReplaceStatement(int index, std::unique_ptr<TNoResultExpr> statement);
    int StatementCount() const { return static_cast<int>(FStatements.size()); }
    TNoResultExpr* Statement(int index) const
    {
        return FStatements[static_cast<size_t>(index)].get();
    }

protected:
    std::vector<std::unique_ptr<TNoResultExpr>> FStatements;
};

// Runs each statement in order, with no flow checks: declarations' initial
// values.
class TBlockInitExpr final : public TBlockExprBase {
public:
    using TBlockExprBase::TBlockExprBase;
    void EvalNoResult(TtvsExecution& exec) const override;
};

// A typed node used as a statement (a function call whose result is dropped).
class TNoResultWrapperExpr final : public TNoResultExpr {
public:
    TNoResultWrapperExpr(const TScriptPos& pos, std::unique_ptr<TTypedExpr> expr);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 1; }
    bool IsConstant() const override;
    void EvalNoResult(TtvsExecution& exec) const override;
    TTypedExpr* Expr() const { return FExpr.get(); }

private:
    std::unique_ptr<TTypedExpr> FExpr;
};

// Names a type where the syntax wants an expression; never evaluated.
class TTypeReferenceExpr final : public TTypedExpr {
public:
    TTypeReferenceExpr(TTypeSymbol* typ, const TScriptPos& pos) : TTypedExpr(typ), FScriptPos(pos)
    {}
    Variant Eval(TtvsExecution& exec) const override;
    TScriptPos GetScriptPos() const override { return FScriptPos; }

private:
    TScriptPos FScriptPos;
};

// A storage location: a data array and a slot address in it.
class TDataExpr : public TTypedExpr {
public:
    using TTypedExpr::TTypedExpr;

    Variant Eval(TtvsExecution& exec) const override;
    void AssignValue(TtvsExecution& exec, const Variant& value) const override;

    virtual int32_t GetAddr(TtvsExecution& exec) const;
    virtual TData& GetData(TtvsExecution& exec) const = 0;
    // The data array and the address, computed once.
    struct TDataPtr {
        TData* Data;
        int32_t Addr;
        Variant& Slot() const { return (*Data)[static_cast<size_t>(Addr)]; }
    };
    virtual TDataPtr GetDataPtr(TtvsExecution& exec) const;
    // Copies the type's size slots from source into the location.
    virtual void AssignData(TtvsExecution& exec, const TData& source, int32_t sourceAddr) const;
    virtual void AssignDataExpr(TtvsExecution& exec, const TDataExpr& source) const;
    // The source evaluates straight into the location's slot.
    virtual void AssignExpr(TtvsExecution& exec, const TTypedExpr& source) const;
    virtual bool IsWritable() const { return true; }

protected:
    // Size in slots of the location's type (1 without a type).
    int32_t TypeSize() const;
    void CheckWritable(TtvsExecution& exec) const;
};

// A data expression with a position of its own (base of call nodes).
class TPosDataExpr : public TDataExpr {
public:
    TPosDataExpr(TTypeSymbol* typ, const TScriptPos& pos) : TDataExpr(typ), FScriptPos(pos) {}
    TScriptPos GetScriptPos() const override { return FScriptPos; }

protected:
    TScriptPos FScriptPos;
};

// ---------------------------------------------------------------------------
// Operator families
// ---------------------------------------------------------------------------

// How an integer operator reads one operand. Variables and constants are
// the leaves of nearly every integer expression; reading them inline
// instead of through a virtual call removes most of the calls a tight loop
// makes. Anything else is evaluated as usual.
struct TIntOperand {
    enum TKind : uint8_t { okExpr, okVar, okConst };
    TKind Kind = okExpr;
    int32_t Addr = 0;
    int64_t Value = 0;

    static TIntOperand Of(const TTypedExpr* expr);
    inline int64_t Read(TtvsExecution& exec, const TTypedExpr& expr) const;
};

// Two owned operands. Constructors take (program, left, right) so that the
// operator table can build any operator from its class alone.
class TBinaryOpExpr : public TTypedExpr {
public:
    TBinaryOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                  std::unique_ptr<TTypedExpr> right);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 2; }
    bool IsConstant() const override;

    TTypedExpr* Left() const { return FLeft.get(); }
    TTypedExpr* Right() const { return FRight.get(); }
    std::unique_ptr<TTypedExpr> ExtractLeft() { return std::move(FLeft); }
    std::unique_ptr<TTypedExpr> ExtractRight() { return std::move(FRight); }
    // For rewrites that restructure a chain of operators while optimising.
    void SetLeft(std::unique_ptr<TTypedExpr> left) { FLeft = std::move(left); }

protected:
    std::unique_ptr<TTypedExpr> FLeft;
    std::unique_ptr<TTypedExpr> FRight;
};

// Each family fixes its result type and derives Eval (and folding) from one
// native evaluation, which is all a concrete operator defines. The derived
// evaluations are sealed so that no operator can make them disagree.
class TVariantBinOpExpr : public TBinaryOpExpr {
public:
    TVariantBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                      std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TIntegerBinOpExpr : public TBinaryOpExpr {
public:
    TIntegerBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                      std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsInteger(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const final
    {
        return static_cast<double>(EvalAsInteger(exec));
    }
    int64_t EvalAsInteger(TtvsExecution& exec) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

protected:
    int64_t LeftInt(TtvsExecution& exec) const { return FLeftOp.Read(exec, *FLeft); }
    int64_t RightInt(TtvsExecution& exec) const { return FRightOp.Read(exec, *FRight); }

private:
    TIntOperand FLeftOp;
    TIntOperand FRightOp;
};

class TStringBinOpExpr : public TBinaryOpExpr {
public:
    TStringBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                     std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TFloatBinOpExpr : public TBinaryOpExpr {
public:
    TFloatBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                    std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsFloat(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TBooleanBinOpExpr : public TBinaryOpExpr {
public:
    TBooleanBinOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> left,
                      std::unique_ptr<TTypedExpr> right);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsBoolean(exec)); }
    bool EvalAsBoolean(TtvsExecution& exec) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

// One owned operand; constructors take (program, operand).
class TUnaryOpExpr : public TTypedExpr {
public:
    TUnaryOpExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);

    TExprBase* GetSubExpr(int index) const override;
    int GetSubExprCount() const override { return 1; }
    bool IsConstant() const override;

    TTypedExpr* Expr() const { return FExpr.get(); }
    std::unique_ptr<TTypedExpr> ExtractExpr() { return std::move(FExpr); }

protected:
    std::unique_ptr<TTypedExpr> FExpr;
};

class TUnaryOpBoolExpr : public TUnaryOpExpr {
public:
    TUnaryOpBoolExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsBoolean(exec)); }
    bool EvalAsBoolean(TtvsExecution& exec) const override = 0;
};

class TUnaryOpIntExpr : public TUnaryOpExpr {
public:
    TUnaryOpIntExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsInteger(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const final
    {
        return static_cast<double>(EvalAsInteger(exec));
    }
    int64_t EvalAsInteger(TtvsExecution& exec) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;

protected:
    int64_t OperandInt(TtvsExecution& exec) const { return FOperandOp.Read(exec, *FExpr); }

private:
    TIntOperand FOperandOp;
};

class TUnaryOpFloatExpr : public TUnaryOpExpr {
public:
    TUnaryOpFloatExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);
    Variant Eval(TtvsExecution& exec) const final { return Variant(EvalAsFloat(exec)); }
    double EvalAsFloat(TtvsExecution& exec) const override = 0;
    TExprBase* Optimize(TtvsProgram& prog, TtvsExecution& exec) override;
};

class TUnaryOpStringExpr : public TUnaryOpExpr {
public:
    TUnaryOpStringExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);
    Variant Eval(TtvsExecution& exec) const final;
    void EvalAsString(TtvsExecution& exec, UnicodeString& result) const override = 0;
};

class TUnaryOpVariantExpr : public TUnaryOpExpr {
public:
    TUnaryOpVariantExpr(TtvsProgram& prog, std::unique_ptr<TTypedExpr> expr);
    Variant Eval(TtvsExecution& exec) const final;
    void EvalAsVariant(TtvsExecution& exec, Variant& result) const override = 0;
};

// An argument list while the compiler builds a call.
class TTypedExprList final {
public:
    TTypedExprList() = default;
    void AddExpr(std::unique_ptr<TTypedExpr> expr) { FList.push_back(std::move(expr)); }
    void Insert0(std::unique_ptr<TTypedExpr> expr) { FList.insert(FList.begin(), std::move(expr)); }
    int Count() const { return static_cast<int>(FList.size()); }
    TTypedExpr* Expr(int index) const { return FList[static_cast<size_t>(index)].get(); }
    void SetExpr(int index, std::unique_ptr<TTypedExpr> expr)
    {
        FList[static_cast<size_t>(index)] = std::move(expr);
    }
    std::unique_ptr<TTypedExpr> ExtractExpr(int index)
    {
        return std::move(FList[static_cast<size_t>(index)]);
    }
    // The parameter table the arguments are matched against (not owned).
    TParamsSymbolTable* Table() const { return FTable; }
    void SetTable(TParamsSymbolTable* table) { FTable = table; }
    void SetDefaultExpected(std::unique_ptr<TParamSymbol> param);
    // The parameter the next argument will meet.
    TParamSymbol* ExpectedParam() const;

private:
    std::vector<std::unique_ptr<TTypedExpr>> FList;
    TParamsSymbolTable* FTable = nullptr;
    std::unique_ptr<TParamSymbol> FDefaultExpected;
};

// ---------------------------------------------------------------------------
// Run-time error messages
// ---------------------------------------------------------------------------

// A run-time error as the execution lists it: text, position and the script
// call stack at the failure.
class TRuntimeErrorMessage final : public TErrorMessage {
public:
    TRuntimeErrorMessage(const TScriptPos& pos, std::u16string text,
                         TtvsExprLocationArray callStack)
        : TErrorMessage(pos, std::move(text))
        , FCallStack(std::move(callStack))
    {}
    const TtvsExprLocationArray& CallStack() const { return FCallStack; }
    std::u16string FormattedText() const override;

private:
    TtvsExprLocationArray FCallStack;
};

void AddRuntimeError(TtvsRuntimeMessageList& list, std::u16string text);
void AddRuntimeError(TtvsRuntimeMessageList& list, const TScriptPos& pos, std::u16string text,
                     TtvsExprLocationArray callStack);

// The locations of a call stack, innermost first, one per line (CR LF).
std::u16string CallStackText(const TtvsExprLocationArray& callStack);

// ---------------------------------------------------------------------------
// Executions
// ---------------------------------------------------------------------------

inline constexpr char16_t ScriptStoppedMsg[] = u"Script was stopped.";
inline constexpr char16_t MaxRecursionExceededMsg[] = u"Maximal recursion exceeded (%d calls)";

// A host that follows a run. Nothing in this system attaches one.
class IDebugger : public TRefCountedObject {
public:
    virtual void StartDebug(TtvsExecution& exec) = 0;
    virtual void NotifyStatement(TtvsExecution& exec, const TExprBase* expr) = 0;
    virtual void StopDebug(TtvsExecution& exec) = 0;
    virtual void NotifyEnterCall(TtvsExecution& exec, const TExprBase* callExpr) = 0;
    virtual void NotifyLeaveCall(TtvsExecution& exec, const TtvsExprLocation& call) = 0;
    virtual const TExprBase* CurrentStepExpr() = 0;
};

// All run-time state of one run: nodes read and write it, never the tree.
class TtvsExecution : public TInterfacedSelfObject {
public:
    explicit TtvsExecution(const TStackParameters& stackParams);
    ~TtvsExecution() override;

    TStack& Stack() { return FStack; }
    const TStack& Stack() const { return FStack; }

    TFlowStatus Status() const { return FStatus; }
    void SetStatus(TFlowStatus status) { FStatus = status; }

    // Read at every statement step; another thread (the guardian) may flip
    // it from running to stopped, nothing else changes it from outside.
    TProgramState ProgramState() const { return FProgramState.load(std::memory_order_relaxed); }

    // Called before every statement a control-flow node runs: the one place
    // where a running script notices a stop request.
    // Both reasons to do anything here (a stop request, a debugger) are one
    // flag byte, so the common case is a single load and test.
    void StatementStep(const TExprBase* expr)
    {
        if (FStepFlags.load(std::memory_order_relaxed) != 0) [[unlikely]]
            SlowStatementStep(expr);
    }

    virtual TtvsRuntimeMessageList& Messages() = 0;
    // This execution as a program's run; nil for the compiler's own. Cheaper
    // than a dynamic_cast on paths every Print takes.
    virtual TtvsProgramExecution* AsProgramExecution() { return nullptr; }
    virtual TRefCountedObject* GetUserObject() const { return FUserObject.Get(); }
    virtual void SetUserObject(TRefCountedObject* object) { FUserObject = object; }
    // One location per active call, innermost first.
    virtual TtvsExprLocationArray GetCallStack() const;
    virtual int CallStackDepth() const;
    virtual std::u16string LocalizeSymbol(const TResourceStringSymbol& symbol) const;
    virtual std::u16string LocalizeString(const std::u16string& text) const { return text; }

    // Call tracking of script calls (pushes on the way in, raises on too deep).
    void EnterRecursion(const TExprBase* callExpr);
    void LeaveRecursion();
    const TtvsProgram* CurrentProg() const { return FCurrentProg; }
    void SetCurrentProg(const TtvsProgram* prog) { FCurrentProg = prog; }

    // The first statement or call an exception passes is where it happened.
    void SetErrorLocation(const TExprBase* expr);
    void ClearErrorLocation();
    const TExprBase* ErrorLocation() const { return FErrorLocation; }
    const TtvsExprLocationArray& ErrorCallStack() const { return FErrorCallStack; }

    // Script exception objects of the active handlers.
    std::vector<Variant>& ExceptionObjectStack() { return FExceptionObjectStack; }

    IDebugger* Debugger() const { return FDebugger.Get(); }
    void SetDebugger(IDebugger* debugger);
    bool IsDebugging() const { return FIsDebugging; }
    void StartDebug();
    void StopDebug();

    TRefCountedObject* CurrentExternalObject() const { return FCurrentExternalObject; }
    void SetCurrentExternalObject(TRefCountedObject* object) { FCurrentExternalObject = object; }
    TRefCountedObject* SelfScriptObject() const { return FSelfScriptObject; }
    void SetSelfScriptObject(TRefCountedObject* object) { FSelfScriptObject = object; }

    // The pseudo-random generator (xorshift over 64 bits).
    static constexpr uint64_t DefaultRandSeed = 88172645463325252ull;
    double Random();
    void SetRandSeed(uint64_t seed) { FRandSeed = seed == 0 ? DefaultRandSeed : seed; }
    uint64_t RandSeed() const { return FRandSeed; }

protected:
    enum : uint8_t { sfStopped = 1, sfDebugging = 2 };

    void SlowStatementStep(const TExprBase* expr);
    [[noreturn]] void RaiseStopped(const TExprBase* expr);
    // The flag is cleared before the state changes: a stop that arrives the
    // moment a run starts sets it again after, and is not lost.
    void SetProgramState(TProgramState state)
    {
        if (state == psRunningStopped) {
            FProgramState.store(state, std::memory_order_relaxed);
            FStepFlags.fetch_or(sfStopped, std::memory_order_relaxed);
        } else {
            FStepFlags.fetch_and(static_cast<uint8_t>(~sfStopped), std::memory_order_relaxed);
            FProgramState.store(state, std::memory_order_relaxed);
        }
    }
    // Flips running to stopped and nothing else: a stop that races with the
    // end of a run must not undo a later state.
    bool StopRunning()
    {
        TProgramState expected = psRunning;
        if (!FProgramState.compare_exchange_strong(expected, psRunningStopped,
                                                   std::memory_order_relaxed))
            return false;
        FStepFlags.fetch_or(sfStopped, std::memory_order_relaxed);
        return true;
    }
    void SetIsDebugging(bool debugging)
    {
        FIsDebugging = debugging;
        if (debugging)
            FStepFlags.fetch_or(sfDebugging, std::memory_order_relaxed);
        else
            FStepFlags.fetch_and(static_cast<uint8_t>(~sfDebugging), std::memory_order_relaxed);
    }
    void ResetCallStack(const TtvsProgram* prog);

    TStack FStack;
    TFlowStatus FStatus = fsNone;
    // Pairs of (call expression, program current before the call); the
    // first pair is (nil, the main program).
    std::vector<TtvsExprLocation> FCallStack;
    const TtvsProgram* FCurrentProg = nullptr;
    TRefCountedObject* FSelfScriptObject = nullptr;
    const TExprBase* FErrorLocation = nullptr;
    TtvsExprLocationArray FErrorCallStack;
    std::vector<Variant> FExceptionObjectStack;
    TRefPtr<IDebugger> FDebugger;
    bool FIsDebugging = false;
    TRefCountedObject* FCurrentExternalObject = nullptr;
    TRefPtr<TRefCountedObject> FUserObject;
    uint64_t FRandSeed = DefaultRandSeed;
    std::atomic<TProgramState> FProgramState{psUndefined};
    std::atomic<uint8_t> FStepFlags{0};
};

// Texts of the run's state machine.
inline constexpr char16_t CompiledWithErrorsMsg[] = u"Script compiled with errors. Can't execute!";
inline constexpr char16_t ReadyToRunExpectedMsg[] = u"ProgramState \"psReadyToRun\" expected.";
inline constexpr char16_t AlreadyRunningMsg[] = u"Script is already running!";
inline constexpr char16_t RunningExpectedMsg[] = u"Program state psRunning expected";
inline constexpr char16_t BreakOutsideLoopMsg[] = u"break without for/while/repeat or case";
inline constexpr char16_t ContinueOutsideLoopMsg[] = u"continue without for/while/repeat or case";
inline constexpr char16_t NotStartedMsg[] = u"Program was not started!";
inline constexpr char16_t StillRunningMsg[] = u"Script is still running!";
inline constexpr char16_t LiveExecutionsMsg[] = u"Script has %d live executions!";

// One run of a main program. The program stays alive as long as any of its
// executions does.
class TtvsProgramExecution final : public TtvsExecution {
public:
    explicit TtvsProgramExecution(TtvsMainProgram& prog);
    ~TtvsProgramExecution() override;

    TtvsRuntimeMessageList& Messages() override { return FMessages; }
    TtvsProgramExecution* AsProgramExecution() override { return this; }
    TtvsMainProgram& Prog() const { return *FProg; }
    // Text printed by the last run; stays readable after EndProgram.
    TtvsResult* Result() const { return FResult.get(); }
    const TData& Parameters() const { return FParameters; }

    void Execute(int32_t timeoutMs = 0);
    void ExecuteParam(const TData& params, int32_t timeoutMs = 0);
    void ExecuteParam(const Variant& params, int32_t timeoutMs = 0);
    void BeginProgram();
    void RunProgram(int32_t timeoutMs);
    // May come from any thread (the guardian): only flips running to stopped.
    void Stop() { StopRunning(); }
    void EndProgram();

private:
    // Lists an escaping exception as a run-time message; objects that are
    // not host exceptions propagate.
    void HandleRunException(std::exception_ptr error);
    void ReleaseRunState();

    TRefPtr<TtvsMainProgram> FProg;
    TtvsRuntimeMessageList FMessages;
    std::unique_ptr<TtvsResult> FResult;
    TData FParameters;
};

using ItvsProgramExecution = TRefPtr<TtvsProgramExecution>;

// ---------------------------------------------------------------------------
// Programs
// ---------------------------------------------------------------------------

// What compiling produces: the tree, the tables and the sizes a run needs.
// Programs are never run directly; they create executions.
class TtvsProgram : public TInterfacedSelfObject {
public:
    ~TtvsProgram() override;

    TNoResultExpr* Expr() const { return FExpr.get(); }
    void SetExpr(std::unique_ptr<TNoResultExpr> expr);
    TBlockInitExpr& InitExpr() const { return *FInitExpr; }

    TAddrGenerator& AddrGenerator() { return FAddrGenerator; }
    int32_t DataSize() const { return FAddrGenerator.DataSize; }
    int16_t Level() const { return FAddrGenerator.Level; }
    // Reserves slots in this program's frame / in the global data.
    int32_t GetTempAddr(int32_t size = 1);
    int32_t GetGlobalAddr(int32_t size = 1);

    TtvsCompileMessageList& Messages() const { return *FMessages; }
    TtvsProgram* Parent() const { return FParent; }
    TtvsMainProgram& Root() const { return *FRoot; }

    TSymbolTable* Table() const { return FTable.get(); }
    void SetTable(std::unique_ptr<TSymbolTable> table);
    TSymbolTable* CurrentTable() const { return FCurrentTable; }
    void SetCurrentTable(TSymbolTable* table) { FCurrentTable = table; }

    // The routine this body belongs to; nil for the main program.
    virtual const TFuncSymbol* Func() const { return nullptr; }

    // The built-in types every node family needs (not owned here, except
    // the nil type, which the main program owns).
    TTypeSymbol* TypBoolean() const { return FTypBoolean; }
    TTypeSymbol* TypFloat() const { return FTypFloat; }
    TTypeSymbol* TypInteger() const { return FTypInteger; }
    TTypeSymbol* TypNil() const { return FTypNil; }
    TTypeSymbol* TypObject() const { return FTypObject; }
    TTypeSymbol* TypString() const { return FTypString; }
    TTypeSymbol* TypVariant() const { return FTypVariant; }
    TTypeSymbol* TypException() const { return FTypException; }
    TTypeSymbol* TypInterface() const { return FTypInterface; }
    struct TBaseTypes {
        TTypeSymbol* Boolean = nullptr;
        TTypeSymbol* Float = nullptr;
        TTypeSymbol* Integer = nullptr;
        TTypeSymbol* Object = nullptr;
        TTypeSymbol* String = nullptr;
        TTypeSymbol* Variant = nullptr;
        TTypeSymbol* Exception = nullptr;
        TTypeSymbol* Interface = nullptr;
    };
    void SetBaseTypes(const TBaseTypes& types);

protected:
    // A main program (parent nil) or a procedure of an enclosing program.
    TtvsProgram(TtvsProgram* parent, int16_t level);
    void CopyTypesFrom(const TtvsProgram& other);

    std::unique_ptr<TNoResultExpr> FExpr;
    std::unique_ptr<TBlockInitExpr> FInitExpr;
    TAddrGenerator FAddrGenerator;
    TtvsCompileMessageList* FMessages = nullptr;
    TtvsProgram* FParent;
    TtvsMainProgram* FRoot;
    std::unique_ptr<TSymbolTable> FTable;
    TSymbolTable* FCurrentTable = nullptr;
    TTypeSymbol* FTypBoolean = nullptr;
    TTypeSymbol* FTypFloat = nullptr;
    TTypeSymbol* FTypInteger = nullptr;
    TTypeSymbol* FTypNil = nullptr;
    TTypeSymbol* FTypObject = nullptr;
    TTypeSymbol* FTypString = nullptr;
    TTypeSymbol* FTypVariant = nullptr;
    TTypeSymbol* FTypException = nullptr;
    TTypeSymbol* FTypInterface = nullptr;
};

// A compiled script: the program plus everything shared by its runs.
class TtvsMainProgram final : public TtvsProgram {
public:
    // resultType: where runs print (a default result type when nil).
    explicit TtvsMainProgram(const TStackParameters& stackParams = {},
                             std::shared_ptr<TtvsResultType> resultType = nullptr);
    ~TtvsMainProgram() override;

    TUnifiedConstList& UnifiedConstList() const { return *FUnifiedConstList; }
    TStackParameters& StackParameters() { return FStackParameters; }
    const TStackParameters& StackParameters() const { return FStackParameters; }
    TAddrGenerator& GlobalAddrGenerator() { return FGlobalAddrGenerator; }
    // Level + 1, raising the stack's deepest level when needed.
    int16_t NextStackLevel(int16_t level);

    TtvsResultType& ResultType() const { return *FResultType; }
    int32_t TimeoutMilliseconds() const { return FTimeoutMilliseconds; }
    void SetTimeoutMilliseconds(int32_t ms) { FTimeoutMilliseconds = ms; }
    TRefCountedObject* DefaultUserObject() const { return FDefaultUserObject.Get(); }
    void SetDefaultUserObject(TRefCountedObject* object) { FDefaultUserObject = object; }

    // One entry per (name, text); a name compiled with two texts gets two.
    const TSourceFile* RegisterSourceFile(const std::u16string& name, const std::u16string& text);
    const TSourceFile* FindSourceFile(const std::u16string& name) const;
    int LineCount() const { return FLineCount; }
    void SetLineCount(int count) { FLineCount = count; }

    // Raises EScriptException when the program has compile errors.
    ItvsProgramExecution CreateNewExecution();
    ItvsProgramExecution BeginNewExecution();
    ItvsProgramExecution Execute(int32_t timeoutMs = 0);
    ItvsProgramExecution ExecuteParam(const TData& params, int32_t timeoutMs = 0);
    int ExecutionCount() const;

private:
    friend class TtvsProgramExecution;
    void RemoveExecution(TtvsProgramExecution* exec);

    TtvsCompileMessageList FOwnMessages;
    std::unique_ptr<TUnifiedConstList> FUnifiedConstList;
    std::unique_ptr<TTypeSymbol> FOwnNilType;
    TStackParameters FStackParameters;
    TAddrGenerator FGlobalAddrGenerator;
    std::shared_ptr<TtvsResultType> FResultType;
    int32_t FTimeoutMilliseconds = 0;
    TRefPtr<TRefCountedObject> FDefaultUserObject;
    std::vector<std::unique_ptr<TSourceFile>> FSourceFiles;
    int FLineCount = 0;
    mutable std::mutex FExecutionsLock;
    std::vector<TtvsProgramExecution*> FExecutions;
};

using ItvsProgram = TRefPtr<TtvsMainProgram>;

// The compiled body of one script routine.
class TtvsProcedure final : public TtvsProgram {
public:
    TtvsProcedure(TtvsProgram& parent, TFuncSymbol* func);

    const TFuncSymbol* Func() const override { return FFunc; }
    // Runs the body; the routine's frame is already entered by the call node.
    void Call(TtvsExecution& exec, const TExprBase* callExpr) const;

private:
    TFuncSymbol* FFunc;
};

// Misuse that cannot raise (found in a destructor) goes here; the default
// writes the text to stderr.
using TMisuseReporter = void (*)(const std::u16string& text);
void SetMisuseReporter(TMisuseReporter reporter);

// ---------------------------------------------------------------------------
// Template definitions
// ---------------------------------------------------------------------------

template <std::derived_from<EScriptError> E>
void TProgramExpr::RaiseScriptError(TtvsExecution& exec, E error) const
{
    error.SetScriptPos(GetScriptPos());
    error.SetScriptCallStack(exec.GetCallStack());
    throw error;
}

int64_t TIntOperand::Read(TtvsExecution& exec, const TTypedExpr& expr) const
{
    switch (Kind) {
    case okVar: {
        TStack& stack = exec.Stack();
        return stack.Slot(stack.BasePointer() + Addr).ToInteger();
    }
    case okConst:
        return Value;
    default:
        return expr.EvalAsInteger(exec);
    }
}

template <class T>
void OptimizeExpr(std::unique_ptr<T>& node, TtvsProgram& prog, TtvsExecution& exec,
                  const TScriptPos& pos)
{
    if (!node)
        return;
    TExprBase* result = node->Optimize(prog, exec);
    if (result == node.get())
        return;
    std::unique_ptr<TExprBase> owned(result);
    T* typed = dynamic_cast<T*>(result);
    if (typed == nullptr)
        throw ECompileException(pos, OptimizedToWrongKindMsg);
    owned.release();
    node.reset(typed);
}
