// Units and shared tables: the tables of units, the static tables that several
// programs share (the system scope above all), the tables that link a program
// to them, and the unit symbols that make units and dotted names visible.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tvsSymbols.h"

class TUnitMainSymbol;
class TUnitMainSymbols;

inline constexpr char16_t InvalidStaticSymbolsMsg[] = u"Invalid use of static symbols!";

// The table of a unit.
class TUnitSymbolTable : public TSymbolTable {
public:
    using TSymbolTable::TSymbolTable;
    TUnitMainSymbol* UnitMainSymbol() const { return FUnitMainSymbol; }
    void SetUnitMainSymbol(TUnitMainSymbol* unit) { FUnitMainSymbol = unit; }

private:
    TUnitMainSymbol* FUnitMainSymbol = nullptr;
};

// A table shared between programs and threads. It is reference-counted
// (atomically): each table that has it as a parent and each handle holds one
// reference, and the last one gone frees it. Its parents can only be other
// static tables.
//
// Before it is shared it is prepared: sorted once, under a lock, so that
// lookups from several compilations only read it.
class TStaticSymbolTable : public TUnitSymbolTable, public TRefCountedObject {
public:
    explicit TStaticSymbolTable(TStaticSymbolTable* parent = nullptr,
                                TAddrGenerator* addrGenerator = nullptr);
    ~TStaticSymbolTable() override;

    int32_t RefCount() const { return TRefCountedObject::RefCount(); }
    bool Initialized() const { return FInitialized; }

    // Sorts the table for lookups by several threads; idempotent.
    void Prepare() const;
    void PrepareLookup() const override { Prepare(); }

    void InsertParent(int index, TSymbolTable* parent) override;
    void RemoveParent(TSymbolTable* parent) override;
    void ClearParents() override;
    TSymbol* FindLocal(std::u16string_view name,
                       TSymbolClassFilter filter = nullptr) const override;
    // Only the first call initialises the symbols.
    void Initialize(TtvsMessageList& messages) override;

private:
    void ReleaseParents();

    bool FInitialized = false;
    mutable std::atomic<bool> FPrepared{false};
    mutable std::mutex FPrepareLock;
};

// The reference-counted handle to a static table.
using IStaticSymbolTable = TRefPtr<TStaticSymbolTable>;

// The shared system scope, with direct references to the built-in types
// that every program copies.
class TSystemSymbolTable final : public TStaticSymbolTable {
public:
    using TStaticSymbolTable::TStaticSymbolTable;

    TTypeSymbol* TypInteger() const { return FTypInteger; }
    TTypeSymbol* TypBoolean() const { return FTypBoolean; }
    TTypeSymbol* TypFloat() const { return FTypFloat; }
    TTypeSymbol* TypString() const { return FTypString; }
    // May be nil when a language extension makes no Variant type.
    TTypeSymbol* TypVariant() const { return FTypVariant; }
    TClassSymbol* TypObject() const { return FTypObject; }
    TClassOfSymbol* TypClass() const { return FTypClass; }
    TClassSymbol* TypException() const { return FTypException; }
    TInterfaceSymbol* TypInterface() const { return FTypInterface; }

    void SetBaseTypes(TTypeSymbol* integer, TTypeSymbol* boolean, TTypeSymbol* floatType,
                      TTypeSymbol* string, TTypeSymbol* variant);
    void SetTypObject(TClassSymbol* typ) { FTypObject = typ; }
    void SetTypClass(TClassOfSymbol* typ) { FTypClass = typ; }
    void SetTypException(TClassSymbol* typ) { FTypException = typ; }
    void SetTypInterface(TInterfaceSymbol* typ) { FTypInterface = typ; }

private:
    TTypeSymbol* FTypInteger = nullptr;
    TTypeSymbol* FTypBoolean = nullptr;
    TTypeSymbol* FTypFloat = nullptr;
    TTypeSymbol* FTypString = nullptr;
    TTypeSymbol* FTypVariant = nullptr;
    TClassSymbol* FTypObject = nullptr;
    TClassOfSymbol* FTypClass = nullptr;
    TClassSymbol* FTypException = nullptr;
    TInterfaceSymbol* FTypInterface = nullptr;
};

// A program's own table over a shared static one: lookups ask the static
// table first and fall back to the own symbols and parents; overload
// enumerations look only into the static table.
class TLinkedSymbolTable final : public TUnitSymbolTable {
public:
    explicit TLinkedSymbolTable(TStaticSymbolTable* parent,
                                TAddrGenerator* addrGenerator = nullptr);

    TStaticSymbolTable* ParentSymbolTable() const { return FParent.Get(); }

    TSymbol* FindLocal(std::u16string_view name,
                       TSymbolClassFilter filter = nullptr) const override;
    TSymbol* FindSymbol(std::u16string_view name,
                        TClassVisibility minVisibility = TClassVisibility::cvPrivate,
                        TSymbolClassFilter filter = nullptr) const override;
    bool EnumerateLocalSymbolsOfName(std::u16string_view name,
                                     const TSymbolCallback& callback) const override;
    bool EnumerateSymbolsOfNameInScope(std::u16string_view name,
                                       const TSymbolCallback& callback) const override;
    void Initialize(TtvsMessageList& messages) override;

private:
    IStaticSymbolTable FParent;
};

class TUnitPrivateTable : public TSymbolTable {
public:
    using TSymbolTable::TSymbolTable;
    TUnitMainSymbol* UnitMainSymbol() const { return FUnitMainSymbol; }
    void SetUnitMainSymbol(TUnitMainSymbol* unit) { FUnitMainSymbol = unit; }

private:
    TUnitMainSymbol* FUnitMainSymbol = nullptr;
};

// The table of a unit's implementation section. Creating it hands it to
// the unit, which owns it from then on.
class TUnitImplementationTable final : public TUnitPrivateTable {
public:
    explicit TUnitImplementationTable(TUnitMainSymbol* unit);
};

// ---------------------------------------------------------------------------
// Unit symbols

class TSourceSymbol : public TSymbol {
public:
    explicit TSourceSymbol(std::u16string name) : TSymbol(std::move(name), nullptr) {}
};

class TUnitSymbol;

// One unit of a program: its table (owned), the table of units its
// interface uses, and its implementation table.
class TUnitMainSymbol final : public TSourceSymbol {
public:
    // Registers the unit in the program's list (which owns it) and takes
    // ownership of table.
    TUnitMainSymbol(std::u16string name, TUnitMainSymbols& unitMains, TSymbolTable* table);
    ~TUnitMainSymbol() override;

    TSymbolTable* Table() const { return FTable.get(); }
    TSymbolTable* InterfaceTable() const { return FInterfaceTable.get(); }
    TUnitImplementationTable* ImplementationTable() const { return FImplementationTable.get(); }
    const std::vector<TSymbolTable*>& StoredParents() const { return FStoredParents; }

    void CreateInterfaceTable();
    // Makes the unit visible in table (by its name, dotted names through
    // their first part) and searched first there. Answers its unit symbol.
    TUnitSymbol* ReferenceInSymbolTable(TSymbolTable& table);
    // Takes the table's parents away while another unit is compiled, and
    // gives them back.
    void StoreParents();
    void RestoreParents();
    // In Table or ImplementationTable.
    bool HasSymbol(const TSymbol* symbol) const;

    void Initialize(TtvsMessageList& messages) override;

private:
    friend class TUnitImplementationTable;

    std::unique_ptr<TSymbolTable> FTable;
    std::unique_ptr<TSymbolTable> FInterfaceTable;
    std::unique_ptr<TUnitImplementationTable> FImplementationTable;
    std::vector<TSymbolTable*> FStoredParents;
};

// An included file: "$i " + file name.
class TIncludeSymbol final : public TSourceSymbol {
public:
    explicit TIncludeSymbol(std::u16string_view fileName)
        : TSourceSymbol(u"$i " + std::u16string(fileName))
    {}
};

// A unit name as it appears in a table: the unit itself (Main), and for
// the first part of dotted names, the dotted units under it.
class TUnitSymbol final : public TTypeSymbol {
public:
    explicit TUnitSymbol(std::u16string name, TUnitMainSymbol* main = nullptr);

    TUnitMainSymbol* Main() const { return FMain; }
    void SetMain(TUnitMainSymbol* main) { FMain = main; }

    // Registers a dotted unit under this namespace.
    void AddToNameSpace(TUnitSymbol* unit);
    int NameSpaceCount() const { return static_cast<int>(FNameSpace.size()); }
    // This unit when it is the one named, else the dotted unit of that name.
    TUnitSymbol* FindNameSpaceUnit(std::u16string_view name) const;
    // Could name be the start of a dotted unit name under this namespace?
    bool PossibleNameSpace(std::u16string_view name) const;

    void InitData(TData& data, int32_t offset) const override;

private:
    struct TEntry {
        std::u16string Name;
        TUnitSymbol* Unit;
    };
    // Sorted by FastCompareText.
    std::vector<TEntry>::const_iterator LowerBound(std::u16string_view name) const;

    TUnitMainSymbol* FMain;
    std::vector<TEntry> FNameSpace;
};

// The units of a program, in the order they were created; owns them and
// frees them last to first.
class TUnitMainSymbols final {
public:
    TUnitMainSymbols() = default;
    ~TUnitMainSymbols();
    TUnitMainSymbols(const TUnitMainSymbols&) = delete;
    TUnitMainSymbols& operator=(const TUnitMainSymbols&) = delete;

    void Add(TUnitMainSymbol* unit) { FUnits.push_back(unit); }
    int Count() const { return static_cast<int>(FUnits.size()); }
    TUnitMainSymbol* Items(int index) const { return FUnits[static_cast<size_t>(index)]; }
    TUnitMainSymbol* Find(std::u16string_view name) const;
    void Initialize(TtvsMessageList& messages);

private:
    std::vector<TUnitMainSymbol*> FUnits;
};
