#include "tvsUnitSymbols.h"

#include <algorithm>

#include "tvsErrors.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t ModuleName[] = u"tvsUnitSymbols";

[[noreturn]] void UnitAssertion(std::u16string_view detail)
{
    SymbolsAssertionFailed(ModuleName, detail);
}

} // namespace

// ---------------------------------------------------------------------------
// TStaticSymbolTable

TStaticSymbolTable::TStaticSymbolTable(TStaticSymbolTable* parent, TAddrGenerator* addrGenerator)
    : TUnitSymbolTable(nullptr, addrGenerator)
{
    // Added here rather than by the base constructor, so that the parent is
    // counted like any other.
    if (parent)
        AddParent(parent);
}

// A static table dies when its last reference goes; its own references to
// its parents go with it.
TStaticSymbolTable::~TStaticSymbolTable()
{
    ReleaseParents();
}

void TStaticSymbolTable::Prepare() const
{
    if (FPrepared.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(FPrepareLock);
    if (FPrepared.load(std::memory_order_relaxed))
        return;
    SortSymbols();
    FPrepared.store(true, std::memory_order_release);
}

void TStaticSymbolTable::InsertParent(int index, TSymbolTable* parent)
{
    auto* shared = dynamic_cast<TStaticSymbolTable*>(parent);
    if (!shared)
        UnitAssertion(InvalidStaticSymbolsMsg);
    shared->AddRef();
    TUnitSymbolTable::InsertParent(index, parent);
}

void TStaticSymbolTable::RemoveParent(TSymbolTable* parent)
{
    if (IndexOfParent(parent) < 0)
        return;
    TUnitSymbolTable::RemoveParent(parent);
    static_cast<TStaticSymbolTable*>(parent)->Release();
}

void TStaticSymbolTable::ClearParents()
{
    ReleaseParents();
}

void TStaticSymbolTable::ReleaseParents()
{
    std::vector<TSymbolTable*> parents(FParents);
    TUnitSymbolTable::ClearParents();
    for (TSymbolTable* parent : parents)
        static_cast<TStaticSymbolTable*>(parent)->Release();
}

TSymbol* TStaticSymbolTable::FindLocal(std::u16string_view name, TSymbolClassFilter filter) const
{
    Prepare();
    return TUnitSymbolTable::FindLocal(name, filter);
}

void TStaticSymbolTable::Initialize(TtvsMessageList& messages)
{
    // Every program that links the table asks; only the first one does it,
    // and programs may compile on several threads at once.
    std::lock_guard lock(FPrepareLock);
    if (FInitialized)
        return;
    FInitialized = true;
    TUnitSymbolTable::Initialize(messages);
}

void TSystemSymbolTable::SetBaseTypes(TTypeSymbol* integer, TTypeSymbol* boolean,
                                      TTypeSymbol* floatType, TTypeSymbol* string,
                                      TTypeSymbol* variant)
{
    FTypInteger = integer;
    FTypBoolean = boolean;
    FTypFloat = floatType;
    FTypString = string;
    FTypVariant = variant;
}

// ---------------------------------------------------------------------------
// TLinkedSymbolTable

TLinkedSymbolTable::TLinkedSymbolTable(TStaticSymbolTable* parent, TAddrGenerator* addrGenerator)
    : TUnitSymbolTable(nullptr, addrGenerator)
    , FParent(parent)
{
    parent->Prepare();
}

TSymbol* TLinkedSymbolTable::FindLocal(std::u16string_view name, TSymbolClassFilter filter) const
{
    if (TSymbol* symbol = FParent->FindLocal(name, filter))
        return symbol;
    return TUnitSymbolTable::FindLocal(name, filter);
}

TSymbol* TLinkedSymbolTable::FindSymbol(std::u16string_view name, TClassVisibility minVisibility,
                                        TSymbolClassFilter filter) const
{
    if (TSymbol* symbol = FParent->FindSymbol(name, minVisibility, filter))
        return symbol;
    TSymbol* symbol = TUnitSymbolTable::FindLocal(name, filter);
    if (symbol && symbol->IsVisibleFor(minVisibility))
        return symbol;
    return FindInParents(name, minVisibility, filter);
}

bool TLinkedSymbolTable::EnumerateLocalSymbolsOfName(std::u16string_view name,
                                                     const TSymbolCallback& callback) const
{
    return FParent->EnumerateLocalSymbolsOfName(name, callback);
}

bool TLinkedSymbolTable::EnumerateSymbolsOfNameInScope(std::u16string_view name,
                                                       const TSymbolCallback& callback) const
{
    return FParent->EnumerateSymbolsOfNameInScope(name, callback);
}

void TLinkedSymbolTable::Initialize(TtvsMessageList& messages)
{
    FParent->Initialize(messages);
    TUnitSymbolTable::Initialize(messages);
}

TUnitImplementationTable::TUnitImplementationTable(TUnitMainSymbol* unit)
    : TUnitPrivateTable(unit->Table(), unit->Table()->AddrGenerator())
{
    SetUnitMainSymbol(unit);
    unit->FImplementationTable.reset(this);
    if (unit->InterfaceTable())
        AddParent(unit->InterfaceTable());
}

// ---------------------------------------------------------------------------
// Unit symbols

TUnitMainSymbol::TUnitMainSymbol(std::u16string name, TUnitMainSymbols& unitMains,
                                 TSymbolTable* table)
    : TSourceSymbol(std::move(name))
    , FTable(table)
{
    unitMains.Add(this);
    if (auto* unitTable = dynamic_cast<TUnitSymbolTable*>(table))
        unitTable->SetUnitMainSymbol(this);
}

// The implementation table has the unit's table as parent: it goes first.
TUnitMainSymbol::~TUnitMainSymbol()
{
    FImplementationTable.reset();
    FTable.reset();
    FInterfaceTable.reset();
}

void TUnitMainSymbol::CreateInterfaceTable()
{
    if (FInterfaceTable)
        UnitAssertion(u"Interface table created twice");
    FInterfaceTable = std::make_unique<TSymbolTable>();
    FTable->AddParent(FInterfaceTable.get());
}

TUnitSymbol* TUnitMainSymbol::ReferenceInSymbolTable(TSymbolTable& table)
{
    const size_t dot = FName.find(u'.');
    const std::u16string prefix = FName.substr(0, dot);
    auto* unit = table.FindLocalOf<TUnitSymbol>(prefix);
    if (!unit) {
        unit = new TUnitSymbol(prefix);
        table.AddSymbol(unit);
    }
    TUnitSymbol* result;
    if (dot == std::u16string::npos) {
        if (unit->Main() && unit->Main() != this)
            UnitAssertion(u"Unit name already taken");
        unit->SetMain(this);
        result = unit;
    } else {
        result = new TUnitSymbol(FName, this);
        table.AddSymbol(result);
        unit->AddToNameSpace(result);
    }
    // The unit used last is searched first.
    table.InsertParent(0, FTable.get());
    return result;
}

void TUnitMainSymbol::StoreParents()
{
    if (!FStoredParents.empty() || FTable->ParentCount() == 0)
        UnitAssertion(u"Nothing to store, or parents already stored");
    for (int i = 0; i < FTable->ParentCount(); ++i)
        FStoredParents.push_back(FTable->Parents(i));
    FTable->ClearParents();
}

void TUnitMainSymbol::RestoreParents()
{
    if (FStoredParents.empty())
        return;
    if (FTable->ParentCount() > 0)
        UnitAssertion(u"Parents restored over other parents");
    for (TSymbolTable* parent : FStoredParents)
        FTable->AddParent(parent);
    FStoredParents.clear();
}

bool TUnitMainSymbol::HasSymbol(const TSymbol* symbol) const
{
    return FTable->HasSymbol(symbol)
           || (FImplementationTable && FImplementationTable->HasSymbol(symbol));
}

void TUnitMainSymbol::Initialize(TtvsMessageList& messages)
{
    FTable->Initialize(messages);
    if (FImplementationTable)
        FImplementationTable->Initialize(messages);
}

TUnitSymbol::TUnitSymbol(std::u16string name, TUnitMainSymbol* main)
    : TTypeSymbol(std::move(name), nullptr)
    , FMain(main)
{}

std::vector<TUnitSymbol::TEntry>::const_iterator
TUnitSymbol::LowerBound(std::u16string_view name) const
{
    return std::lower_bound(
        FNameSpace.begin(), FNameSpace.end(), name,
        [](const TEntry& e, std::u16string_view n) { return FastCompareText(e.Name, n) < 0; });
}

void TUnitSymbol::AddToNameSpace(TUnitSymbol* unit)
{
    const auto it = LowerBound(unit->Name());
    // A sorted name list keeps the first entry of a name.
    if (it != FNameSpace.end() && FastSameText(it->Name, unit->Name()))
        return;
    FNameSpace.insert(it, TEntry{unit->Name(), unit});
}

TUnitSymbol* TUnitSymbol::FindNameSpaceUnit(std::u16string_view name) const
{
    if (FMain && FastSameText(FName, name))
        return const_cast<TUnitSymbol*>(this);
    const auto it = LowerBound(name);
    if (it != FNameSpace.end() && FastSameText(it->Name, name))
        return it->Unit;
    return nullptr;
}

bool TUnitSymbol::PossibleNameSpace(std::u16string_view name) const
{
    if (FNameSpace.empty())
        return false;
    const auto it = LowerBound(name);
    if (it == FNameSpace.end())
        return false;
    if (FastSameText(it->Name, name))
        return true;
    return it->Name.size() > name.size() && FastStartsWithText(it->Name, name)
           && it->Name[name.size()] == u'.';
}

void TUnitSymbol::InitData(TData& data, int32_t offset) const
{
    (void)data;
    (void)offset;
}

TUnitMainSymbols::~TUnitMainSymbols()
{
    for (auto it = FUnits.rbegin(); it != FUnits.rend(); ++it)
        delete *it;
}

TUnitMainSymbol* TUnitMainSymbols::Find(std::u16string_view name) const
{
    for (TUnitMainSymbol* unit : FUnits)
        if (FastSameText(unit->Name(), name))
            return unit;
    return nullptr;
}

void TUnitMainSymbols::Initialize(TtvsMessageList& messages)
{
    for (TUnitMainSymbol* unit : FUnits)
        unit->Initialize(messages);
}
