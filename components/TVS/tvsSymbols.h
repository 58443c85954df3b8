// Script symbols: the compile-time objects that stand for every name a script
// can mention (types, constants, variables, parameters, routines, members) and
// the symbol tables that hold them and resolve names through nested scopes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tvsScriptPos.h"
#include "tvsTokenizer.h"
#include "tvsVariant.h"

// Executable code lives in the expression layer, which is built on top of
// this one. Symbols only point at it.
class TExprBase;
class TTypedExpr;
class TtvsMessageList;

class TSymbol;
class TTypeSymbol;
class TSymbolTable;
class TUnSortedSymbolTable;
class TParamsSymbolTable;
class TConditionsSymbolTable;
class TMembersSymbolTable;
class TFuncSymbol;
class TMethodSymbol;
class TStructuredTypeSymbol;
class TStructuredTypeMetaSymbol;
class TClassSymbol;
class TInterfaceSymbol;
class TPropertySymbol;
class TConditionSymbol;
class TParamSymbol;
class TResultSymbol;

// Member visibility, an ordered scale: a member is visible for a requested
// visibility when its own is at least as high.
enum class TClassVisibility : uint8_t { cvMagic, cvPrivate, cvProtected, cvPublic, cvPublished };

const char16_t* VisibilityName(TClassVisibility visibility);

// Raised when the symbols are used against their rules (the compiler
// guarantees these never happen for scripts). The text names the module.
[[noreturn]] void SymbolsAssertionFailed(std::u16string_view module,
                                         std::u16string_view detail = {});

// Class filter of table lookups: answers whether a symbol is of the wanted
// class (or a subclass). SymbolIs<T> builds one for any class.
using TSymbolClassFilter = bool (*)(const TSymbol*);
template <class T> bool SymbolIs(const TSymbol* symbol)
{
    return dynamic_cast<const T*>(symbol) != nullptr;
}

// Hands out data addresses to the variables of one routine or program.
// Routines put their parameters below the base pointer (downward), bodies and
// programs put their locals above it (upward).
inline constexpr char16_t DataSizeTooLargeMsg[] = u"Data size too large";

struct TAddrGenerator {
    int32_t DataSize = 0;
    int16_t Level = 0;
    bool Downward = false;

    TAddrGenerator() = default;
    TAddrGenerator(int16_t level, bool downward) : Level(level), Downward(downward) {}

    // Reserves size slots and answers the address of the first one. A frame
    // of more than 2^31-1 slots cannot be addressed: that raises Exception
    // "Data size too large" (a compile error, never a wrong address).
    int32_t GetStackAddr(int32_t size);
};

// ---------------------------------------------------------------------------
// The root of the symbol tree.

class TSymbol {
public:
    TSymbol(std::u16string name, TTypeSymbol* typ);
    virtual ~TSymbol();
    TSymbol(const TSymbol&) = delete;
    TSymbol& operator=(const TSymbol&) = delete;

    const std::u16string& Name() const { return FName; }
    void SetName(std::u16string name) { FName = std::move(name); }
    TTypeSymbol* Typ() const { return FTyp; }
    void SetTyp(TTypeSymbol* typ) { FTyp = typ; }
    // Number of data slots a value of this symbol occupies.
    int32_t Size() const { return FSize; }
    void SetSize(int32_t size) { FSize = size; }

    virtual std::u16string DisplayName() const;
    virtual std::u16string DeclarationText() const;
    virtual void Initialize(TtvsMessageList& messages);
    virtual TTypeSymbol* BaseType() const;
    virtual bool IsBaseType() const { return false; }
    virtual bool IsType() const { return false; }
    virtual std::u16string QualifiedName() const;
    virtual bool IsVisibleFor(TClassVisibility visibility) const;

    // The display text of a possibly absent symbol: "void" for none.
    static std::u16string DisplayNameOf(const TSymbol* symbol);

protected:
    std::u16string FName;
    TTypeSymbol* FTyp = nullptr;
    int32_t FSize = 0;
};

// ---------------------------------------------------------------------------
// Types (the scalar, array, enumeration and alias types).

class TTypeSymbol : public TSymbol {
public:
    using TSymbol::TSymbol;

    TTypeSymbol* BaseType() const override { return const_cast<TTypeSymbol*>(this); }
    bool IsType() const override { return true; }

    // Type identity: is this type the type t (through aliases)?
    virtual bool IsOfType(TTypeSymbol* t) const;
    // Writes the default value of this type into Size() slots at offset.
    virtual void InitData(TData& data, int32_t offset) const;
    virtual TTypeSymbol* UnAliasedType() const { return const_cast<TTypeSymbol*>(this); }
    // May a value of type t be stored where this type is expected?
    virtual bool IsCompatible(TTypeSymbol* t) const;

    // a nil gives whether b is nil; otherwise b present and a.IsOfType(b).
    static bool SafeIsOfType(const TTypeSymbol* a, TTypeSymbol* b);
};

using TTypeSymbols = std::vector<TTypeSymbol*>;

class TBaseSymbol : public TTypeSymbol {
public:
    explicit TBaseSymbol(std::u16string name);
    bool IsBaseType() const override { return true; }
    bool IsCompatible(TTypeSymbol* t) const override;
};

class TBaseIntegerSymbol final : public TBaseSymbol {
public:
    TBaseIntegerSymbol();
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
};

class TBaseFloatSymbol final : public TBaseSymbol {
public:
    TBaseFloatSymbol();
    void InitData(TData& data, int32_t offset) const override;
};

class TBaseStringSymbol final : public TBaseSymbol {
public:
    TBaseStringSymbol();
    void InitData(TData& data, int32_t offset) const override;
};

class TBaseBooleanSymbol final : public TBaseSymbol {
public:
    TBaseBooleanSymbol();
    void InitData(TData& data, int32_t offset) const override;
};

// Language extensions may create the Variant type under another name.
class TBaseVariantSymbol : public TBaseSymbol {
public:
    explicit TBaseVariantSymbol(std::u16string name = u"Variant");
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
};

// The type of nil: compatible with every class.
class TNilSymbol final : public TTypeSymbol {
public:
    TNilSymbol();
    std::u16string DisplayName() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
};

// Accepts a value of any type (parameters of magic functions).
class TAnyTypeSymbol final : public TTypeSymbol {
public:
    explicit TAnyTypeSymbol(std::u16string name = {});
    bool IsCompatible(TTypeSymbol* t) const override;
};

// A second name for a type: every type question goes to the aliased type.
class TAliasSymbol final : public TTypeSymbol {
public:
    TAliasSymbol(std::u16string name, TTypeSymbol* aliased);
    TTypeSymbol* BaseType() const override;
    bool IsOfType(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
    TTypeSymbol* UnAliasedType() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
};

// Typ is the element type.
class TArraySymbol : public TTypeSymbol {
public:
    TArraySymbol(std::u16string name, TTypeSymbol* elementType, TTypeSymbol* indexType);
    TTypeSymbol* IndexType() const { return FIndexType; }

protected:
    TTypeSymbol* FIndexType;
};

class TDynamicArraySymbol final : public TArraySymbol {
public:
    TDynamicArraySymbol(std::u16string name, TTypeSymbol* elementType, TTypeSymbol* indexType);
    std::u16string DisplayName() const override;
    bool IsOfType(TTypeSymbol* t) const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;

    // A fresh variable of a dynamic array type holds a new, empty array
    // object; those objects belong to the run-time layer, which installs the
    // function that makes them. Without one the default is an assertion.
    using TNewArrayFunc = Variant (*)(TDynamicArraySymbol* typ);
    static void SetNewArrayFunc(TNewArrayFunc func);
};

class TStaticArraySymbol : public TArraySymbol {
public:
    // Bounds are taken in 64 bits: a bound outside the 32-bit range, or an
    // array of more than 2^31-1 slots, is recorded in SizeError() (the
    // compiler lists it) and the array is given an empty range, so no wrong
    // address is ever computed from it.
    TStaticArraySymbol(std::u16string name, TTypeSymbol* elementType, TTypeSymbol* indexType,
                       int64_t lowBound, int64_t highBound);

    int32_t LowBound() const { return FLowBound; }
    int32_t HighBound() const { return FHighBound; }
    int32_t ElementCount() const { return FElementCount; }
    // Empty when the bounds and the size are valid; otherwise the message.
    const std::u16string& SizeError() const { return FSizeError; }

    // One more element (array constants are built element by element).
    void AddElement();

    std::u16string DisplayName() const override;
    bool IsOfType(TTypeSymbol* t) const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;

protected:
    void SetBounds(int64_t lowBound, int64_t highBound);

    int32_t FLowBound = 0;
    int32_t FHighBound = -1;
    int32_t FElementCount = 0;
    std::u16string FSizeError;
};

// "array of const" and open array parameters: any number of elements,
// passed as one reference.
class TOpenArraySymbol final : public TStaticArraySymbol {
public:
    TOpenArraySymbol(std::u16string name, TTypeSymbol* elementType, TTypeSymbol* indexType);
    std::u16string DisplayName() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
};

inline constexpr char16_t ArrayBoundOutOfRangeMsg[] = u"Array bound out of range";
inline constexpr char16_t TypeTooLargeMsg[] = u"Type too large";

class TElementSymbol;

// Typ is the base type (Integer); the elements are owned.
class TEnumerationSymbol final : public TTypeSymbol {
public:
    TEnumerationSymbol(std::u16string name, TTypeSymbol* baseType);
    ~TEnumerationSymbol() override;

    TUnSortedSymbolTable& Elements() const { return *FElements; }
    int32_t LowBound() const { return FLowBound; }
    int32_t HighBound() const { return FHighBound; }
    // Takes ownership of the element.
    void AddElement(TElementSymbol* element);
    // The value of the first element, 0 without elements.
    int32_t DefaultValue() const;

    TTypeSymbol* BaseType() const override;
    std::u16string DeclarationText() const override;
    bool IsOfType(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;

private:
    std::unique_ptr<TUnSortedSymbolTable> FElements;
    int32_t FLowBound = 2147483647;
    int32_t FHighBound = -2147483647;
};

// ---------------------------------------------------------------------------
// Values: constants, variables, parameters.

class TValueSymbol : public TSymbol {
public:
    TValueSymbol(std::u16string name, TTypeSymbol* typ);
    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override;
};

class TConstSymbol : public TValueSymbol {
public:
    // One Variant; types of more than one slot get it in their first slot.
    TConstSymbol(std::u16string name, TTypeSymbol* typ, const Variant& value);
    // Copies Typ.Size slots from data at offset.
    TConstSymbol(std::u16string name, TTypeSymbol* typ, const TData& data, int32_t offset);

    const TData& Data() const { return FData; }
    TData& Data() { return FData; }

    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override;

protected:
    TData FData;
};

// One value of an enumeration: a 32-bit value, held in Data as an integer
// Variant (the value type has one integer kind, 64 bits wide).
class TElementSymbol final : public TConstSymbol {
public:
    TElementSymbol(std::u16string name, TTypeSymbol* typ, int32_t value, bool isUserDef);
    bool IsUserDef() const { return FIsUserDef; }
    int32_t UserDefValue() const { return FUserDefValue; }
    int32_t Value() const { return FValue; }
    std::u16string DeclarationText() const override;

private:
    bool FIsUserDef;
    int32_t FUserDefValue;
    int32_t FValue;
};

// A variable: it gets a stack address and a nesting level when added to a
// table that has an address generator.
class TDataSymbol : public TValueSymbol {
public:
    TDataSymbol(std::u16string name, TTypeSymbol* typ);
    std::u16string DeclarationText() const override;

    int32_t StackAddr() const { return FStackAddr; }
    void SetStackAddr(int32_t addr) { FStackAddr = addr; }
    int16_t Level() const { return FLevel; }
    void SetLevel(int16_t level) { FLevel = level; }
    void AllocateStackAddr(TAddrGenerator& generator);

protected:
    int32_t FStackAddr = 0;
    int16_t FLevel = 0;
};

class TParamSymbol : public TDataSymbol {
public:
    using TDataSymbol::TDataSymbol;
    // Same exact class, same type object, same name (case-insensitive).
    virtual bool SameParam(const TParamSymbol& other) const;
};

class TParamSymbolWithDefaultValue final : public TParamSymbol {
public:
    // Copies Typ.Size slots of the default from data at offset.
    TParamSymbolWithDefaultValue(std::u16string name, TTypeSymbol* typ, const TData& data,
                                 int32_t offset);
    const TData& DefaultValue() const { return FDefaultValue; }
    std::u16string DeclarationText() const override;
    bool SameParam(const TParamSymbol& other) const override;

private:
    TData FDefaultValue;
};

// var and const parameters: the slot holds a reference to the caller's data.
class TByRefParamSymbol : public TParamSymbol {
public:
    TByRefParamSymbol(std::u16string name, TTypeSymbol* typ);
};

class TVarParamSymbol final : public TByRefParamSymbol {
public:
    using TByRefParamSymbol::TByRefParamSymbol;
    std::u16string DeclarationText() const override;
};

class TConstParamSymbol final : public TByRefParamSymbol {
public:
    using TByRefParamSymbol::TByRefParamSymbol;
    std::u16string DeclarationText() const override;
};

class TLazyParamSymbol final : public TParamSymbol {
public:
    using TParamSymbol::TParamSymbol;
    std::u16string DeclarationText() const override;
};

class TResultSymbol final : public TDataSymbol {
public:
    explicit TResultSymbol(TTypeSymbol* typ) : TDataSymbol(u"Result", typ) {}
};

class TSelfSymbol final : public TDataSymbol {
public:
    explicit TSelfSymbol(TTypeSymbol* typ) : TDataSymbol(u"Self", typ) {}
};

// A variable whose reads and writes go through host routines.
class TExternalVarSymbol : public TValueSymbol {
public:
    TExternalVarSymbol(std::u16string name, TTypeSymbol* typ);
    ~TExternalVarSymbol() override;
    virtual TFuncSymbol* GetReadFunc() const { return FReadFunc.get(); }
    virtual TFuncSymbol* GetWriteFunc() const { return FWriteFunc.get(); }
    // Takes ownership.
    void SetReadFunc(TFuncSymbol* func);
    void SetWriteFunc(TFuncSymbol* func);

private:
    std::unique_ptr<TFuncSymbol> FReadFunc;
    std::unique_ptr<TFuncSymbol> FWriteFunc;
};

class TResourceStringSymbol final : public TSymbol {
public:
    TResourceStringSymbol(std::u16string name, std::u16string value);
    const std::u16string& Value() const { return FValue; }
    // -1 until the program registers it.
    int32_t Index() const { return FIndex; }
    void SetIndex(int32_t index) { FIndex = index; }
    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override;

private:
    std::u16string FValue;
    int32_t FIndex = -1;
};

using TResourceStringSymbolList = std::vector<TResourceStringSymbol*>;

// A contract clause. The test and message expressions are owned by the
// routine body's condition list; the symbol only points at them.
class TConditionSymbol : public TSymbol {
public:
    TConditionSymbol(const TScriptPos& pos, TTypedExpr* condition, TTypedExpr* message);
    const TScriptPos& ScriptPos() const { return FScriptPos; }
    TTypedExpr* Condition() const { return FCondition; }
    TTypedExpr* Message() const { return FMessage; }

private:
    TScriptPos FScriptPos;
    TTypedExpr* FCondition;
    TTypedExpr* FMessage;
};

class TPreConditionSymbol final : public TConditionSymbol {
public:
    using TConditionSymbol::TConditionSymbol;
};

class TPostConditionSymbol final : public TConditionSymbol {
public:
    using TConditionSymbol::TConditionSymbol;
};

// ---------------------------------------------------------------------------
// Symbol tables.

using TSymbolCallback = std::function<bool(TSymbol*)>;

// The symbols of one scope, chained to parent scopes. Owns its symbols.
// A table of 7 or more symbols is sorted by name at its first lookup and
// searched by bisection from then on; the latest declaration of a name is
// found whether the table is sorted or not.
class TSymbolTable {
public:
    explicit TSymbolTable(TSymbolTable* parent = nullptr, TAddrGenerator* addrGenerator = nullptr);
    virtual ~TSymbolTable();
    TSymbolTable(const TSymbolTable&) = delete;
    TSymbolTable& operator=(const TSymbolTable&) = delete;

    TAddrGenerator* AddrGenerator() const { return FAddrGenerator; }
    void SetAddrGenerator(TAddrGenerator* generator) { FAddrGenerator = generator; }

    // Takes ownership; a data symbol gets its address when the table has a
    // generator. Answers the index.
    int AddSymbol(TSymbol* symbol);
    int AddSymbolDirect(TSymbol* symbol);
    // Forgets the symbol without freeing it; answers its former index or -1.
    int Remove(TSymbol* symbol);
    // Forgets every symbol without freeing them.
    void Clear();
    int Count() const { return static_cast<int>(FSymbols.size()); }
    TSymbol* Symbols(int index) const { return FSymbols[static_cast<size_t>(index)]; }
    bool HasSymbol(const TSymbol* symbol) const;
    bool Sorted() const { return FSorted; }

    void AddParent(TSymbolTable* parent);
    int ParentCount() const { return static_cast<int>(FParents.size()); }
    TSymbolTable* Parents(int index) const { return FParents[static_cast<size_t>(index)]; }
    int IndexOfParent(const TSymbolTable* parent) const;
    void MoveParent(int fromIndex, int toIndex);

    virtual void InsertParent(int index, TSymbolTable* parent);
    virtual void RemoveParent(TSymbolTable* parent);
    virtual void ClearParents();
    virtual TSymbol* FindLocal(std::u16string_view name, TSymbolClassFilter filter = nullptr) const;
    virtual TSymbol* FindSymbol(std::u16string_view name,
                                TClassVisibility minVisibility = TClassVisibility::cvPrivate,
                                TSymbolClassFilter filter = nullptr) const;
    // Visits, in index order, the local symbols of that name; true as soon
    // as the callback answers true.
    virtual bool EnumerateLocalSymbolsOfName(std::u16string_view name,
                                             const TSymbolCallback& callback) const;
    // The same over this table and every table reachable through parents,
    // each once (the compiler collects overloads with it).
    virtual bool EnumerateSymbolsOfNameInScope(std::u16string_view name,
                                               const TSymbolCallback& callback) const;
    virtual void Initialize(TtvsMessageList& messages);

    TTypeSymbol* FindTypeSymbol(std::u16string_view name,
                                TClassVisibility minVisibility = TClassVisibility::cvPrivate) const;
    template <class T> T* FindLocalOf(std::u16string_view name) const
    {
        return static_cast<T*>(FindLocal(name, &SymbolIs<T>));
    }

    // Sorts now (shared tables are prepared before several threads read
    // them). Does nothing on tables that never sort.
    void SortSymbols() const;
    // Called on a table when it becomes another table's parent: a table
    // shared between threads gets ready for concurrent lookups here.
    virtual void PrepareLookup() const {}

    // Iteration in index order (declaration order while unsorted).
    auto begin() const { return FSymbols.begin(); }
    auto end() const { return FSymbols.end(); }

protected:
    TSymbol* FindLinear(std::u16string_view name) const;
    TSymbol* FindSorted(std::u16string_view name) const;
    TSymbol* FindInParents(std::u16string_view name, TClassVisibility minVisibility,
                           TSymbolClassFilter filter) const;
    virtual bool CanSort() const { return true; }

    TAddrGenerator* FAddrGenerator;
    // Lookup sorts lazily, which does not change what the table holds.
    mutable std::vector<TSymbol*> FSymbols;
    std::vector<TSymbolTable*> FParents;
    mutable bool FSorted = false;
};

// Never sorted: declaration order is what its users walk.
class TUnSortedSymbolTable : public TSymbolTable {
public:
    using TSymbolTable::TSymbolTable;

protected:
    bool CanSort() const override { return false; }
};

// The parameters of a routine (after Self and Result).
class TParamsSymbolTable final : public TUnSortedSymbolTable {
public:
    using TUnSortedSymbolTable::TUnSortedSymbolTable;
    TParamSymbol* Param(int index) const;
};

class TConditionsSymbolTable final : public TUnSortedSymbolTable {
public:
    using TUnSortedSymbolTable::TUnSortedSymbolTable;
};

// The members of a record, interface or class. Its parent is the
// ancestor's members table, which is searched for at least "protected".
class TMembersSymbolTable final : public TSymbolTable {
public:
    explicit TMembersSymbolTable(TStructuredTypeSymbol* owner) : FOwner(owner) {}
    TStructuredTypeSymbol* Owner() const { return FOwner; }

    TSymbol* FindSymbol(std::u16string_view name, TClassVisibility minVisibility,
                        TSymbolClassFilter filter = nullptr) const override;
    // Lookup as seen from code of the given scope symbol (nil: outside).
    TSymbol* FindSymbolFromScope(std::u16string_view name, TStructuredTypeSymbol* scope) const;

private:
    TStructuredTypeSymbol* FOwner;
};

// The table of a program; also frees anonymous types made while compiling.
class TProgramSymbolTable final : public TSymbolTable {
public:
    using TSymbolTable::TSymbolTable;
    ~TProgramSymbolTable() override;
    // Takes ownership.
    void AddToDestructionList(TSymbol* symbol);

private:
    std::vector<TSymbol*> FDestructionList;
};

// ---------------------------------------------------------------------------
// Routines.

enum class TRoutineKind : uint8_t {
    fkFunction,
    fkProcedure,
    fkConstructor,
    fkDestructor,
    fkMethod
};

const char16_t* RoutineKindName(TRoutineKind kind);
// Does a routine type of kind target accept a routine value of kind value?
bool RoutineKindAccepts(TRoutineKind target, TRoutineKind value);

// The code that runs a routine: a compiled body or a host implementation.
// Routine symbols hold it through a shared pointer; a reference-counted
// implementer hands over a pointer whose deleter releases its reference.
class IExecutable {
public:
    virtual ~IExecutable() = default;
    // Called once after compilation for the routine it runs.
    virtual void InitSymbol(TSymbol* symbol) = 0;
    virtual void InitExpression(TExprBase* expr) = 0;
    // A compiled body's statement trees: index 0 its initialization block,
    // any other index its body. Host code has none.
    virtual TExprBase* SubExpr(int index) const
    {
        (void)index;
        return nullptr;
    }
};

// One parameter of a host-declared routine.
struct TParamRec {
    std::u16string ParamName;
    std::u16string ParamType;
    bool IsVarParam = false;
    bool IsConstParam = false;
    bool HasDefaultValue = false;
    TData DefaultValue;
};
using TParamArray = std::vector<TParamRec>;

inline constexpr char16_t TypeUnknownMsg[] = u"Type \"%s\" unknown";
inline constexpr char16_t ParamTypeNotFoundMsg[] =
    u"Type \"%s\" not found for parameter \"%s\" of function \"%s\"";
inline constexpr char16_t VarParamDefaultMsg[] = u"var parameter can't have a default value";
inline constexpr char16_t ConstParamDefaultMsg[] = u"const parameter can't have a default value";
inline constexpr char16_t ForwardNotImplementedMsg[] =
    u"The function \"%s\" was forward declared but not implemented!";

// Functions, procedures, methods and routine (function pointer) types.
// Typ is the result type, nil for procedures.
class TFuncSymbol : public TTypeSymbol {
public:
    // level: the nesting level of the routine's own code.
    TFuncSymbol(std::u16string name, TRoutineKind kind, int16_t level);
    // A host routine: a result type name makes it a function; the types are
    // looked up in table. Registration errors are thrown as Exception.
    TFuncSymbol(TSymbolTable& table, std::u16string_view resultTypeName, const TParamArray& params,
                std::u16string name);
    ~TFuncSymbol() override;

    TRoutineKind Kind() const { return FKind; }
    int16_t Level() const { return FAddrGenerator.Level; }
    TAddrGenerator& AddrGenerator() { return FAddrGenerator; }
    // Slots the caller pushes for Self, Result and the parameters.
    int32_t ParamSize() const { return FAddrGenerator.DataSize; }

    IExecutable* Executable() const { return FExecutable.get(); }
    const std::shared_ptr<IExecutable>& ExecutableRef() const { return FExecutable; }
    void SetExecutable(std::shared_ptr<IExecutable> executable)
    {
        FExecutable = std::move(executable);
    }

    TUnSortedSymbolTable& InternalParams() const { return *FInternalParams; }
    TParamsSymbolTable& Params() const { return *FParams; }
    TResultSymbol* Result() const { return FResult; }
    // Created on first use.
    TConditionsSymbolTable& Conditions();
    bool HasOwnConditions() const;

    // Result type; a non-nil one creates the Result variable (once).
    void SetType(TTypeSymbol* resultType);
    // Takes ownership; the parameter gets its address.
    void AddParam(TParamSymbol* param);
    bool HasParam(std::u16string_view name) const;
    TTypeSymbol* GetParamType(int index) const;
    // Takes ownership.
    void AddCondition(TConditionSymbol* condition);

    bool IsForwarded() const { return FForwardPosition.has_value(); }
    const TScriptPos& ForwardPosition() const;
    void SetForwardedPos(const TScriptPos& pos) { FForwardPosition = pos; }
    void ClearIsForwarded() { FForwardPosition.reset(); }

    bool IsStateless() const { return FIsStateless; }
    void SetIsStateless(bool value) { FIsStateless = value; }
    bool IsExternal() const { return FIsExternal; }
    void SetIsExternal(bool value) { FIsExternal = value; }
    bool IsOverloaded() const { return FIsOverloaded; }
    void SetIsOverloaded(bool value) { FIsOverloaded = value; }
    void SetIsType() { FIsType = true; }
    const std::u16string& DeprecatedMessage() const { return FDeprecatedMessage; }
    void SetDeprecatedMessage(std::u16string text) { FDeprecatedMessage = std::move(text); }
    bool IsDeprecated() const { return !FDeprecatedMessage.empty(); }
    void SetIsDeprecated(bool value);

    // The compiled body's statement trees (nil without a compiled body).
    TExprBase* SubExpr(int index) const;

    std::u16string ParamsDescription() const;
    // Over the common parameters the first pair of different types differs;
    // after that, the longer list's next parameter differs unless it has a
    // default value. Used to reject conflicting overloads.
    bool SignatureDiffersFrom(const TFuncSymbol& other) const;

    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override;
    void Initialize(TtvsMessageList& messages) override;
    bool IsType() const override { return FIsType; }
    bool IsOfType(TTypeSymbol* t) const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;

    virtual TScriptPos GetSourcePosition() const { return {}; }
    virtual void SetSourcePosition(const TScriptPos& pos) { (void)pos; }
    virtual bool IsSameOverloadOf(const TFuncSymbol& other) const;

protected:
    std::u16string KindPrefix() const;
    virtual bool IsClassMethodText() const { return false; }
    void BuildHostParams(TSymbolTable& table, const TParamArray& params);

    TAddrGenerator FAddrGenerator;
    std::shared_ptr<IExecutable> FExecutable;
    std::unique_ptr<TUnSortedSymbolTable> FInternalParams;
    std::unique_ptr<TParamsSymbolTable> FParams;
    std::unique_ptr<TConditionsSymbolTable> FConditions;
    TResultSymbol* FResult = nullptr;
    std::u16string FDeprecatedMessage;
    std::optional<TScriptPos> FForwardPosition;
    bool FIsStateless = false;
    bool FIsExternal = false;
    bool FIsType = false;
    bool FIsOverloaded = false;
    TRoutineKind FKind;
};

// Accepts any routine (parameters of magic functions).
class TAnyFuncSymbol final : public TFuncSymbol {
public:
    using TFuncSymbol::TFuncSymbol;
    bool IsCompatible(TTypeSymbol* t) const override;
};

class TSourceFuncSymbol final : public TFuncSymbol {
public:
    using TFuncSymbol::TFuncSymbol;
    TScriptPos GetSourcePosition() const override { return FSourcePosition; }
    void SetSourcePosition(const TScriptPos& pos) override { FSourcePosition = pos; }

private:
    TScriptPos FSourcePosition;
};

// How host code declares a method.
enum class THostMethodKind : uint8_t {
    mkProcedure,
    mkFunction,
    mkConstructor,
    mkDestructor,
    mkMethod,
    mkClassProcedure,
    mkClassFunction,
    mkClassMethod
};

// Attributes of a host-declared method, combined as flags.
enum TMethodAttribute : uint8_t {
    maNone = 0,
    maVirtual = 1,
    maOverride = 2,
    maReintroduce = 4,
    maAbstract = 8,
};
using TMethodAttributes = uint8_t;

inline constexpr char16_t FieldExistsMsg[] = u"There is already a field with name \"%s\"";
inline constexpr char16_t PropertyExistsMsg[] = u"There is already a property with name \"%s\"";
inline constexpr char16_t MethodExistsMsg[] = u"There is already a method with name \"%s\"";
inline constexpr char16_t NoResultRequiredMsg[] = u"No result type required";
inline constexpr char16_t ResultTypeExpectedMsg[] = u"Result type expected";
inline constexpr char16_t CantOverrideMsg[] =
    u"Method %s not found in parent class. Can't override!";
inline constexpr char16_t InvalidArgCombinationMsg[] = u"Invalid argument combination";

using TMethodSymbolArray = std::vector<TMethodSymbol*>;

class TMethodSymbol : public TFuncSymbol {
public:
    // Creates Self as the owner kind asks (none for class methods of
    // records) and lets the owner's members resolve inside the method.
    TMethodSymbol(std::u16string name, TRoutineKind kind, TStructuredTypeSymbol* structSymbol,
                  TClassVisibility visibility, bool isClassMethod, int16_t level);
    // A host-declared method of a class. Registration errors are thrown.
    TMethodSymbol(TSymbolTable& table, TClassVisibility visibility, TClassSymbol* classSymbol,
                  std::u16string_view resultTypeName, const TParamArray& params,
                  std::u16string name, TMethodAttributes attributes, THostMethodKind methodKind);

    TStructuredTypeSymbol* StructSymbol() const { return FStructSymbol; }
    TMethodSymbol* ParentMeth() const { return FParentMeth; }
    TDataSymbol* SelfSym() const { return FSelfSym; }
    TClassVisibility Visibility() const { return FVisibility; }
    void SetVisibility(TClassVisibility visibility) { FVisibility = visibility; }
    int32_t VMTIndex() const { return FVMTIndex; }
    // Interfaces number their methods themselves.
    void SetVMTIndex(int32_t index) { FVMTIndex = index; }

    bool IsVirtual() const { return FIsVirtual; }
    bool IsOverride() const { return FIsOverride; }
    bool IsAbstract() const { return FIsAbstract; }
    void SetIsAbstract(bool value) { FIsAbstract = value; }
    bool IsOverlap() const { return FIsOverlap; }
    bool IsClassMethod() const { return FIsClassMethod; }
    bool IsFinal() const { return FIsFinal; }
    void SetIsFinal(bool value) { FIsFinal = value; }
    bool IsDefault() const { return FIsDefault; }
    void SetIsDefault(bool value) { FIsDefault = value; }
    bool IsInterfaced() const { return FIsInterfaced; }
    void SetIsInterfaced(bool value) { FIsInterfaced = value; }

    // true: gives the method a slot of its class's virtual method table.
    void SetIsVirtual(bool value);
    // Takes over the parent's slot in this class's own copy of the table.
    void SetOverride(TMethodSymbol* parentMethod);
    // Hides an inherited member of the same name.
    void SetOverlap(TMethodSymbol* parentMethod);
    bool HasConditions() const;

    std::u16string QualifiedName() const override;
    bool IsVisibleFor(TClassVisibility visibility) const override;
    bool IsSameOverloadOf(const TFuncSymbol& other) const override;
    void Initialize(TtvsMessageList& messages) override;

protected:
    bool IsClassMethodText() const override { return FIsClassMethod; }

private:
    void CreateSelf();

    TStructuredTypeSymbol* FStructSymbol;
    TMethodSymbol* FParentMeth = nullptr;
    TDataSymbol* FSelfSym = nullptr;
    TClassVisibility FVisibility;
    int32_t FVMTIndex = -1;
    bool FIsVirtual = false;
    bool FIsOverride = false;
    bool FIsAbstract = false;
    bool FIsOverlap = false;
    bool FIsClassMethod = false;
    bool FIsFinal = false;
    bool FIsDefault = false;
    bool FIsInterfaced = false;
};

class TSourceMethodSymbol final : public TMethodSymbol {
public:
    using TMethodSymbol::TMethodSymbol;
    const TScriptPos& DeclarationPosition() const { return FDeclarationPosition; }
    void SetDeclarationPosition(const TScriptPos& pos) { FDeclarationPosition = pos; }
    TScriptPos GetSourcePosition() const override { return FSourcePosition; }
    void SetSourcePosition(const TScriptPos& pos) override { FSourcePosition = pos; }

private:
    TScriptPos FDeclarationPosition;
    TScriptPos FSourcePosition;
};

// A global operator overload: "operator +" implemented by a routine.
class TOperatorSymbol final : public TSymbol {
public:
    explicit TOperatorSymbol(TTokenType token);
    TTokenType Token() const { return FToken; }
    const TTypeSymbols& Params() const { return FParams; }
    void AddParam(TTypeSymbol* typ) { FParams.push_back(typ); }
    TFuncSymbol* UsesSym() const { return FUsesSym; }
    void SetUsesSym(TFuncSymbol* func) { FUsesSym = func; }
    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override { return DisplayName(); }

private:
    TTokenType FToken;
    TTypeSymbols FParams;
    TFuncSymbol* FUsesSym = nullptr;
};

// "class operator += Integer uses Add": Typ is the operand type.
class TClassOperatorSymbol final : public TSymbol {
public:
    explicit TClassOperatorSymbol(TTokenType token);
    TTokenType Token() const { return FToken; }
    TClassSymbol* OwnerSymbol() const { return FOwnerSymbol; }
    void SetOwnerSymbol(TClassSymbol* owner) { FOwnerSymbol = owner; }
    TMethodSymbol* UsesSym() const { return FUsesSym; }
    void SetUsesSym(TMethodSymbol* method) { FUsesSym = method; }
    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override { return DisplayName(); }
    std::u16string QualifiedName() const override;

private:
    TTokenType FToken;
    TClassSymbol* FOwnerSymbol = nullptr;
    TMethodSymbol* FUsesSym = nullptr;
};

// ---------------------------------------------------------------------------
// Records, interfaces, classes and their members.

inline constexpr char16_t MethodNotImplementedMsg[] =
    u"Method \"%s\" of class \"%s\" not implemented";
inline constexpr char16_t ClassNotCompleteMsg[] = u"Class \"%s\" isn't defined completely";

class TFieldSymbol;

class TStructuredTypeSymbol : public TTypeSymbol {
public:
    explicit TStructuredTypeSymbol(std::u16string name);
    ~TStructuredTypeSymbol() override;

    // The unit that declares the type (nil for programs).
    TSymbol* UnitSymbol() const { return FUnitSymbol; }
    void SetUnitSymbol(TSymbol* unit) { FUnitSymbol = unit; }
    TPropertySymbol* DefaultProperty() const { return FDefaultProperty; }
    void SetDefaultProperty(TPropertySymbol* property) { FDefaultProperty = property; }
    TMembersSymbolTable& Members() const { return *FMembers; }
    TStructuredTypeSymbol* Parent() const { return FParent; }
    TStructuredTypeMetaSymbol* MetaSymbol() const { return FMetaSymbol.get(); }

    // Members of the ancestor become visible through the members table.
    virtual void InheritFrom(TStructuredTypeSymbol* ancestor);
    // Is this type other or one of other's ancestors?
    bool IsAncestorOf(const TStructuredTypeSymbol* other) const;

    virtual bool IsStatic() const { return false; }
    virtual bool IsExternal() const { return false; }
    // Take ownership of the member.
    virtual void AddField(TFieldSymbol* field);
    virtual void AddProperty(TPropertySymbol* property);
    virtual void AddMethod(TMethodSymbol* method);
    virtual TFieldSymbol* FieldAtOffset(int32_t offset) const;
    virtual TMethodSymbol* FindMethodMatching(const TMethodSymbol& method,
                                              TClassVisibility minVisibility) const;
    virtual TMethodSymbol* FindDefaultConstructor(TClassVisibility minVisibility) const;
    // Only classes accept "virtual", "override", "abstract" and "final".
    virtual bool AllowVirtualMembers() const { return false; }

    // Empty while the size fits 2^31-1 slots; otherwise the message.
    const std::u16string& SizeError() const { return FSizeError; }

protected:
    void SetMetaSymbol(std::unique_ptr<TStructuredTypeMetaSymbol> meta);
    // Grows a slot count by a member's size, watching for overflow.
    int32_t GrowSlots(int32_t current, int32_t added);
    void CheckOwnMethods(TtvsMessageList& messages);

    TSymbol* FUnitSymbol = nullptr;
    TPropertySymbol* FDefaultProperty = nullptr;
    std::unique_ptr<TMembersSymbolTable> FMembers;
    TStructuredTypeSymbol* FParent = nullptr;
    std::unique_ptr<TStructuredTypeMetaSymbol> FMetaSymbol;
    std::u16string FSizeError;
};

// "meta of R", "class of C": Typ is the structured type.
class TStructuredTypeMetaSymbol : public TTypeSymbol {
public:
    TStructuredTypeMetaSymbol(std::u16string name, TStructuredTypeSymbol* typ);
    TStructuredTypeSymbol* StructSymbol() const;
    void InitData(TData& data, int32_t offset) const override;
};

class TClassOfSymbol final : public TStructuredTypeMetaSymbol {
public:
    TClassOfSymbol(std::u16string name, TClassSymbol* typ);
    TClassSymbol* ClassSymbol() const;
    std::u16string DisplayName() const override;
    bool IsOfType(TTypeSymbol* t) const override;
    bool IsCompatible(TTypeSymbol* t) const override;
};

class TRecordSymbol final : public TStructuredTypeSymbol {
public:
    explicit TRecordSymbol(std::u16string name);
    void AddField(TFieldSymbol* field) override;
    std::u16string DisplayName() const override;
    std::u16string DeclarationText() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
    void Initialize(TtvsMessageList& messages) override;
};

class TInterfaceSymbol final : public TStructuredTypeSymbol {
public:
    explicit TInterfaceSymbol(std::u16string name);
    int32_t MethodCount() const { return FMethodCount; }
    void InheritFrom(TStructuredTypeSymbol* ancestor) override;
    void AddMethod(TMethodSymbol* method) override;
    std::u16string DeclarationText() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    bool IsOfType(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;

private:
    int32_t FMethodCount = 0;
};

// An interface resolved for a class: the class method that implements each
// interface method, indexed by the interface method's VMTIndex.
struct TResolvedInterface {
    TInterfaceSymbol* IntfSymbol = nullptr;
    TMethodSymbolArray ImplementingMethods;
};
// Keyed by interface; kept in the order interfaces were resolved.
using TResolvedInterfaces = std::vector<TResolvedInterface>;

class TClassOperatorSymbol;

class TClassSymbol final : public TStructuredTypeSymbol {
public:
    explicit TClassSymbol(std::u16string name);
    ~TClassSymbol() override;

    TClassOfSymbol* ClassOf() const;

    // Abstract when marked so, or when any entry of its virtual method table
    // is abstract (inherited entries included).
    bool IsAbstract() const;
    bool IsExplicitAbstract() const { return FIsExplicitAbstract; }
    void SetIsExplicitAbstract(bool value) { FIsExplicitAbstract = value; }
    bool IsSealed() const { return FIsSealed; }
    void SetIsSealed(bool value) { FIsSealed = value; }
    bool IsStatic() const override { return FIsStatic; }
    void SetIsStatic(bool value) { FIsStatic = value; }
    bool IsExternal() const override { return FIsExternal; }
    void SetIsExternal(bool value) { FIsExternal = value; }

    bool IsForwarded() const { return FForwardPosition.has_value(); }
    const TScriptPos& ForwardPosition() const;
    void SetForwardedPos(const TScriptPos& pos) { FForwardPosition = pos; }
    void ClearIsForwarded() { FForwardPosition.reset(); }

    int32_t ScriptInstanceSize() const { return FScriptInstanceSize; }
    // Host handler called with an object's external object when it dies.
    using TObjectDestroyEvent = std::function<void(void* externalObject)>;
    const TObjectDestroyEvent& OnObjectDestroy() const { return FOnObjectDestroy; }
    void SetOnObjectDestroy(TObjectDestroyEvent handler) { FOnObjectDestroy = std::move(handler); }

    // Shared with the ancestor until this class changes an entry.
    const TMethodSymbolArray& VirtualMethodTable() const { return *FVirtualMethodTable; }
    int32_t AllocateVMTIndex();
    // Stores method at index in this class's own copy of the table.
    void SetVMTEntry(int32_t index, TMethodSymbol* method);

    // Takes ownership (the operator joins the members).
    void AddOperator(TClassOperatorSymbol* op);
    const std::vector<TClassOperatorSymbol*>& Operators() const { return FOperators; }
    TClassOperatorSymbol* FindClassOperatorStrict(TTokenType token, TTypeSymbol* typ,
                                                  bool recursive) const;
    TClassOperatorSymbol* FindClassOperator(TTokenType token, TTypeSymbol* typ) const;

    // Resolves every method of intf (and its ancestors) on this class. On a
    // missing method, answers false and gives it back; nothing is recorded.
    bool AddInterface(TInterfaceSymbol* intf, TClassVisibility minVisibility,
                      TMethodSymbol** missingMethod = nullptr);
    // Looks in this class, then its ancestors.
    const TResolvedInterface* ResolveInterface(TInterfaceSymbol* intf) const;
    bool ImplementsInterface(TInterfaceSymbol* intf) const;
    // Re-resolves the ancestors' interfaces through this class's overrides.
    void AddOverriddenInterfaces();
    const TResolvedInterfaces& Interfaces() const { return FInterfaces; }

    void InheritFrom(TStructuredTypeSymbol* ancestor) override;
    void AddField(TFieldSymbol* field) override;
    void AddMethod(TMethodSymbol* method) override;
    TFieldSymbol* FieldAtOffset(int32_t offset) const override;
    TMethodSymbol* FindDefaultConstructor(TClassVisibility minVisibility) const override;
    bool AllowVirtualMembers() const override { return true; }

    std::u16string DeclarationText() const override;
    bool IsCompatible(TTypeSymbol* t) const override;
    bool IsOfType(TTypeSymbol* t) const override;
    void InitData(TData& data, int32_t offset) const override;
    void Initialize(TtvsMessageList& messages) override;

private:
    void OwnVirtualMethodTable();
    void RecomputeAbstract();

    bool FIsAbstract = false;
    bool FIsExplicitAbstract = false;
    bool FIsSealed = false;
    bool FIsStatic = false;
    bool FIsExternal = false;
    std::optional<TScriptPos> FForwardPosition;
    std::vector<TClassOperatorSymbol*> FOperators;
    int32_t FScriptInstanceSize = 0;
    TObjectDestroyEvent FOnObjectDestroy;
    std::shared_ptr<TMethodSymbolArray> FVirtualMethodTable;
    bool FOwnsVirtualMethodTable = true;
    TResolvedInterfaces FInterfaces;
};

class TFieldSymbol final : public TValueSymbol {
public:
    TFieldSymbol(std::u16string name, TTypeSymbol* typ,
                 TClassVisibility visibility = TClassVisibility::cvPublic);
    TStructuredTypeSymbol* StructSymbol() const { return FStructSymbol; }
    void SetStructSymbol(TStructuredTypeSymbol* owner) { FStructSymbol = owner; }
    int32_t Offset() const { return FOffset; }
    void SetOffset(int32_t offset) { FOffset = offset; }
    TClassVisibility Visibility() const { return FVisibility; }
    void SetVisibility(TClassVisibility visibility) { FVisibility = visibility; }
    std::u16string QualifiedName() const override;
    bool IsVisibleFor(TClassVisibility visibility) const override;

private:
    TStructuredTypeSymbol* FStructSymbol = nullptr;
    int32_t FOffset = 0;
    TClassVisibility FVisibility;
};

class TClassConstSymbol final : public TConstSymbol {
public:
    using TConstSymbol::TConstSymbol;
    TStructuredTypeSymbol* OwnerSymbol() const { return FOwnerSymbol; }
    void SetOwnerSymbol(TStructuredTypeSymbol* owner) { FOwnerSymbol = owner; }
    TClassVisibility Visibility() const { return FVisibility; }
    void SetVisibility(TClassVisibility visibility) { FVisibility = visibility; }
    std::u16string QualifiedName() const override;
    bool IsVisibleFor(TClassVisibility visibility) const override;

private:
    TStructuredTypeSymbol* FOwnerSymbol = nullptr;
    TClassVisibility FVisibility = TClassVisibility::cvPublic;
};

class TClassVarSymbol final : public TDataSymbol {
public:
    using TDataSymbol::TDataSymbol;
    TStructuredTypeSymbol* OwnerSymbol() const { return FOwnerSymbol; }
    void SetOwnerSymbol(TStructuredTypeSymbol* owner) { FOwnerSymbol = owner; }
    TClassVisibility Visibility() const { return FVisibility; }
    void SetVisibility(TClassVisibility visibility) { FVisibility = visibility; }
    std::u16string QualifiedName() const override;
    bool IsVisibleFor(TClassVisibility visibility) const override;

private:
    TStructuredTypeSymbol* FOwnerSymbol = nullptr;
    TClassVisibility FVisibility = TClassVisibility::cvPublic;
};

class TPropertySymbol final : public TValueSymbol {
public:
    TPropertySymbol(std::u16string name, TTypeSymbol* typ,
                    TClassVisibility visibility = TClassVisibility::cvPublic);
    ~TPropertySymbol() override;

    TStructuredTypeSymbol* OwnerSymbol() const { return FOwnerSymbol; }
    void SetOwnerSymbol(TStructuredTypeSymbol* owner) { FOwnerSymbol = owner; }
    // A field or a method; may be nil.
    TSymbol* ReadSym() const { return FReadSym; }
    void SetReadSym(TSymbol* symbol) { FReadSym = symbol; }
    TSymbol* WriteSym() const { return FWriteSym; }
    void SetWriteSym(TSymbol* symbol) { FWriteSym = symbol; }
    bool HasArrayIndices() const { return FArrayIndices && FArrayIndices->Count() > 0; }
    // Index parameters; created on first use.
    TSymbolTable& ArrayIndices();
    TTypeSymbol* IndexSym() const { return FIndexSym; }
    const TData& IndexValue() const { return FIndexValue; }
    void SetIndex(const TData& data, int32_t offset, TTypeSymbol* typ);
    TClassVisibility Visibility() const { return FVisibility; }
    void SetVisibility(TClassVisibility visibility) { FVisibility = visibility; }
    bool IsDefault() const;

    std::u16string DisplayName() const override { return DeclarationText(); }
    std::u16string DeclarationText() const override;
    std::u16string QualifiedName() const override;
    bool IsVisibleFor(TClassVisibility visibility) const override;

private:
    TStructuredTypeSymbol* FOwnerSymbol = nullptr;
    TSymbol* FReadSym = nullptr;
    TSymbol* FWriteSym = nullptr;
    std::unique_ptr<TSymbolTable> FArrayIndices;
    TTypeSymbol* FIndexSym = nullptr;
    TData FIndexValue;
    TClassVisibility FVisibility;
};
