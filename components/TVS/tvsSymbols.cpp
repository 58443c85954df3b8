#include "tvsSymbols.h"

#include <algorithm>
#include <limits>
#include <typeinfo>
#include <unordered_set>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsStack.h"
#include "tvsUtils.h"

namespace {

constexpr int32_t MaxSlots = std::numeric_limits<int32_t>::max();

// Tables of this many symbols or more are searched by bisection.
constexpr size_t SortThreshold = 7;

TDynamicArraySymbol::TNewArrayFunc NewArrayFunc = nullptr;

std::u16string IntText(int64_t value)
{
    return IntegerText(value);
}

// A value as declaration texts show it. Object references and other kinds
// that have no text show their kind instead of failing.
std::u16string ValueText(const Variant& value)
{
    if (value.IsObject())
        return value.VUnknown() ? u"[" + VarTypeName(value.Type()) + u"]" : u"nil";
    try {
        return VarToStr(value).ToU16String();
    } catch (const Exception&) {
        return u"[" + VarTypeName(value.Type()) + u"]";
    }
}

TData CopySlots(const TData& data, int32_t offset, int32_t count)
{
    TData result(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        const size_t source = static_cast<size_t>(offset) + static_cast<size_t>(i);
        if (offset >= 0 && source < data.size())
            result[static_cast<size_t>(i)] = data[source];
    }
    return result;
}

bool IsStringType(const TTypeSymbol* typ)
{
    return typ && dynamic_cast<const TBaseStringSymbol*>(typ->UnAliasedType()) != nullptr;
}

template <class T> T* UnAliasedAs(TTypeSymbol* t)
{
    return t ? dynamic_cast<T*>(t->UnAliasedType()) : nullptr;
}

} // namespace

void SymbolsAssertionFailed(std::u16string_view module, std::u16string_view detail)
{
    std::u16string text(detail.empty() ? u"Assertion failure" : detail);
    text += u" (";
    text += module;
    text += u")";
    throw EAssertionFailed(std::move(text));
}

const char16_t* VisibilityName(TClassVisibility visibility)
{
    // clang-format off
    static constexpr const char16_t* Names[] = {
        u"magic", u"private", u"protected", u"public", u"published",
    };
    // clang-format on
    return Names[static_cast<size_t>(visibility)];
}

int32_t TAddrGenerator::GetStackAddr(int32_t size)
{
    const int64_t newSize = int64_t{DataSize} + size;
    if (newSize > MaxSlots || newSize < 0)
        throw Exception(DataSizeTooLargeMsg);
    if (Downward) {
        DataSize = static_cast<int32_t>(newSize);
        return -DataSize;
    }
    const int32_t addr = DataSize;
    DataSize = static_cast<int32_t>(newSize);
    return addr;
}

// ---------------------------------------------------------------------------
// TSymbol

TSymbol::TSymbol(std::u16string name, TTypeSymbol* typ) : FName(std::move(name)), FTyp(typ)
{}

TSymbol::~TSymbol() = default;

std::u16string TSymbol::DisplayName() const
{
    return FName;
}

std::u16string TSymbol::DeclarationText() const
{
    return DisplayName();
}

void TSymbol::Initialize(TtvsMessageList& messages)
{
    (void)messages;
}

TTypeSymbol* TSymbol::BaseType() const
{
    return nullptr;
}

std::u16string TSymbol::QualifiedName() const
{
    return FName;
}

bool TSymbol::IsVisibleFor(TClassVisibility visibility) const
{
    (void)visibility;
    return true;
}

std::u16string TSymbol::DisplayNameOf(const TSymbol* symbol)
{
    return symbol ? symbol->DisplayName() : u"void";
}

// ---------------------------------------------------------------------------
// Types

bool TTypeSymbol::IsOfType(TTypeSymbol* t) const
{
    return t && this == t->UnAliasedType();
}

void TTypeSymbol::InitData(TData& data, int32_t offset) const
{
    (void)data;
    (void)offset;
    SymbolsAssertionFailed(u"tvsSymbols", u"No default value for type " + DisplayName());
}

bool TTypeSymbol::IsCompatible(TTypeSymbol* t) const
{
    TTypeSymbol* base = BaseType();
    // A type that is its own base type and has no rule of its own accepts
    // only itself (asking the base again would never end).
    if (base == this)
        return t && t->UnAliasedType() == this;
    return base && base->IsCompatible(t ? t->BaseType() : nullptr);
}

bool TTypeSymbol::SafeIsOfType(const TTypeSymbol* a, TTypeSymbol* b)
{
    if (!a)
        return b == nullptr;
    return b && a->IsOfType(b);
}

TBaseSymbol::TBaseSymbol(std::u16string name) : TTypeSymbol(std::move(name), nullptr)
{
    FSize = 1;
}

bool TBaseSymbol::IsCompatible(TTypeSymbol* t) const
{
    return t && t->UnAliasedType() == UnAliasedType();
}

TBaseIntegerSymbol::TBaseIntegerSymbol() : TBaseSymbol(u"Integer")
{}

bool TBaseIntegerSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (TBaseSymbol::IsCompatible(t))
        return true;
    if (t && typeid(*t) == typeid(TEnumerationSymbol))
        return TBaseSymbol::IsCompatible(t->Typ());
    return false;
}

void TBaseIntegerSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(int64_t{0});
}

TBaseFloatSymbol::TBaseFloatSymbol() : TBaseSymbol(u"Float")
{}

void TBaseFloatSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(0.0);
}

TBaseStringSymbol::TBaseStringSymbol() : TBaseSymbol(u"String")
{}

void TBaseStringSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(UnicodeString());
}

TBaseBooleanSymbol::TBaseBooleanSymbol() : TBaseSymbol(u"Boolean")
{}

void TBaseBooleanSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(false);
}

TBaseVariantSymbol::TBaseVariantSymbol(std::u16string name)
    : TBaseSymbol(name.empty() ? u"Variant" : std::move(name))
{}

bool TBaseVariantSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* u = t->UnAliasedType();
    return u->IsBaseType() || dynamic_cast<TEnumerationSymbol*>(u) != nullptr;
}

void TBaseVariantSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)].Clear();
}

TNilSymbol::TNilSymbol() : TTypeSymbol(u"", nullptr)
{
    FSize = 1;
}

std::u16string TNilSymbol::DisplayName() const
{
    return u"nil";
}

bool TNilSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* base = t->BaseType();
    return dynamic_cast<TClassSymbol*>(base) || dynamic_cast<TNilSymbol*>(base);
}

void TNilSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(static_cast<TRefCountedObject*>(nullptr));
}

TAnyTypeSymbol::TAnyTypeSymbol(std::u16string name) : TTypeSymbol(std::move(name), nullptr)
{
    FSize = 1;
}

bool TAnyTypeSymbol::IsCompatible(TTypeSymbol* t) const
{
    return t != nullptr;
}

TAliasSymbol::TAliasSymbol(std::u16string name, TTypeSymbol* aliased)
    : TTypeSymbol(std::move(name), aliased)
{
    FSize = aliased ? aliased->Size() : 0;
}

TTypeSymbol* TAliasSymbol::BaseType() const
{
    return FTyp ? FTyp->BaseType() : nullptr;
}

bool TAliasSymbol::IsOfType(TTypeSymbol* t) const
{
    return FTyp && FTyp->IsOfType(t);
}

void TAliasSymbol::InitData(TData& data, int32_t offset) const
{
    FTyp->InitData(data, offset);
}

TTypeSymbol* TAliasSymbol::UnAliasedType() const
{
    return FTyp ? FTyp->UnAliasedType() : const_cast<TAliasSymbol*>(this);
}

bool TAliasSymbol::IsCompatible(TTypeSymbol* t) const
{
    return FTyp && FTyp->IsCompatible(t);
}

TArraySymbol::TArraySymbol(std::u16string name, TTypeSymbol* elementType, TTypeSymbol* indexType)
    : TTypeSymbol(std::move(name), elementType)
    , FIndexType(indexType)
{}

TDynamicArraySymbol::TDynamicArraySymbol(std::u16string name, TTypeSymbol* elementType,
                                         TTypeSymbol* indexType)
    : TArraySymbol(std::move(name), elementType, indexType)
{
    FSize = 1;
}

std::u16string TDynamicArraySymbol::DisplayName() const
{
    return u"array of " + DisplayNameOf(FTyp);
}

bool TDynamicArraySymbol::IsOfType(TTypeSymbol* t) const
{
    if (!t)
        return false;
    if (t->UnAliasedType() == this)
        return true;
    auto* other = UnAliasedAs<TDynamicArraySymbol>(t);
    return other && other->Typ() && other->Typ()->IsOfType(FTyp);
}

bool TDynamicArraySymbol::IsCompatible(TTypeSymbol* t) const
{
    auto* other = UnAliasedAs<TDynamicArraySymbol>(t);
    if (!other || !other->Typ())
        return false;
    if (dynamic_cast<TNilSymbol*>(other->Typ()->UnAliasedType()))
        return true;
    return FTyp && FTyp->IsCompatible(other->Typ());
}

void TDynamicArraySymbol::InitData(TData& data, int32_t offset) const
{
    if (!NewArrayFunc)
        SymbolsAssertionFailed(u"tvsSymbols", u"No dynamic array factory installed");
    data[static_cast<size_t>(offset)] = NewArrayFunc(const_cast<TDynamicArraySymbol*>(this));
}

void TDynamicArraySymbol::SetNewArrayFunc(TNewArrayFunc func)
{
    NewArrayFunc = func;
}

TStaticArraySymbol::TStaticArraySymbol(std::u16string name, TTypeSymbol* elementType,
                                       TTypeSymbol* indexType, int64_t lowBound, int64_t highBound)
    : TArraySymbol(std::move(name), elementType, indexType)
{
    SetBounds(lowBound, highBound);
}

void TStaticArraySymbol::SetBounds(int64_t lowBound, int64_t highBound)
{
    constexpr int64_t Min32 = std::numeric_limits<int32_t>::min();
    constexpr int64_t Max32 = std::numeric_limits<int32_t>::max();
    FSizeError.clear();
    if (lowBound < Min32 || lowBound > Max32 || highBound < Min32 || highBound > Max32) {
        FSizeError = ArrayBoundOutOfRangeMsg;
        lowBound = 0;
        highBound = -1;
    }
    const int64_t count = std::max<int64_t>(highBound - lowBound + 1, 0);
    const int64_t elementSize = FTyp ? FTyp->Size() : 0;
    const int64_t size = elementSize * count;
    if (count > Max32 || size > MaxSlots) {
        FSizeError = TypeTooLargeMsg;
        lowBound = 0;
        highBound = -1;
    }
    FLowBound = static_cast<int32_t>(lowBound);
    FHighBound = static_cast<int32_t>(highBound);
    FElementCount = static_cast<int32_t>(std::max<int64_t>(int64_t{FHighBound} - FLowBound + 1, 0));
    FSize = static_cast<int32_t>(elementSize * FElementCount);
}

void TStaticArraySymbol::AddElement()
{
    SetBounds(FLowBound, int64_t{FHighBound} + 1);
}

std::u16string TStaticArraySymbol::DisplayName() const
{
    return u"array [" + IntText(FLowBound) + u".." + IntText(FHighBound) + u"] of "
           + DisplayNameOf(FTyp);
}

bool TStaticArraySymbol::IsOfType(TTypeSymbol* t) const
{
    if (TTypeSymbol::IsOfType(t))
        return true;
    auto* open = UnAliasedAs<TOpenArraySymbol>(t);
    if (!open)
        return false;
    return FElementCount == 0 || (FTyp && FTyp->IsCompatible(open->Typ()));
}

bool TStaticArraySymbol::IsCompatible(TTypeSymbol* t) const
{
    auto* other = UnAliasedAs<TStaticArraySymbol>(t);
    return other && other->ElementCount() == FElementCount && FTyp
           && FTyp->IsCompatible(other->Typ());
}

void TStaticArraySymbol::InitData(TData& data, int32_t offset) const
{
    const int32_t step = FTyp->Size();
    for (int32_t i = 0; i < FElementCount; ++i)
        FTyp->InitData(data, offset + i * step);
}

TOpenArraySymbol::TOpenArraySymbol(std::u16string name, TTypeSymbol* elementType,
                                   TTypeSymbol* indexType)
    : TStaticArraySymbol(std::move(name), elementType, indexType, 0, -1)
{
    FSize = 1;
}

std::u16string TOpenArraySymbol::DisplayName() const
{
    return u"array of const";
}

bool TOpenArraySymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    auto* other = dynamic_cast<TStaticArraySymbol*>(t->BaseType());
    return other && FTyp && FTyp->IsCompatible(other->Typ());
}

TEnumerationSymbol::TEnumerationSymbol(std::u16string name, TTypeSymbol* baseType)
    : TTypeSymbol(std::move(name), baseType)
    , FElements(std::make_unique<TUnSortedSymbolTable>())
{
    FSize = 1;
}

TEnumerationSymbol::~TEnumerationSymbol() = default;

void TEnumerationSymbol::AddElement(TElementSymbol* element)
{
    FElements->AddSymbol(element);
    FLowBound = std::min(FLowBound, element->Value());
    FHighBound = std::max(FHighBound, element->Value());
}

int32_t TEnumerationSymbol::DefaultValue() const
{
    if (FElements->Count() == 0)
        return 0;
    return static_cast<TElementSymbol*>(FElements->Symbols(0))->Value();
}

TTypeSymbol* TEnumerationSymbol::BaseType() const
{
    return FTyp;
}

std::u16string TEnumerationSymbol::DeclarationText() const
{
    std::u16string text = u"(";
    for (int i = 0; i < FElements->Count(); ++i) {
        if (i > 0)
            text += u", ";
        text += FElements->Symbols(i)->DeclarationText();
    }
    return text + u")";
}

bool TEnumerationSymbol::IsOfType(TTypeSymbol* t) const
{
    return TTypeSymbol::IsOfType(t) || (FTyp && FTyp->IsOfType(t));
}

void TEnumerationSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(int64_t{DefaultValue()});
}

// ---------------------------------------------------------------------------
// Values

TValueSymbol::TValueSymbol(std::u16string name, TTypeSymbol* typ) : TSymbol(std::move(name), typ)
{
    FSize = typ ? typ->Size() : 0;
}

std::u16string TValueSymbol::DisplayName() const
{
    return FName + u": " + DisplayNameOf(FTyp);
}

std::u16string TValueSymbol::DeclarationText() const
{
    return FName + u": " + (FTyp ? FTyp->DeclarationText() : u"void");
}

TConstSymbol::TConstSymbol(std::u16string name, TTypeSymbol* typ, const Variant& value)
    : TValueSymbol(std::move(name), typ)
    , FData(static_cast<size_t>(std::max(FSize, 1)))
{
    FData[0] = value;
}

TConstSymbol::TConstSymbol(std::u16string name, TTypeSymbol* typ, const TData& data, int32_t offset)
    : TValueSymbol(std::move(name), typ)
    , FData(CopySlots(data, offset, FSize))
{}

std::u16string TConstSymbol::DisplayName() const
{
    return u"const " + TValueSymbol::DisplayName();
}

std::u16string TConstSymbol::DeclarationText() const
{
    std::u16string text = u"const " + TValueSymbol::DeclarationText();
    if (FData[0].Type() == varError)
        return text + u" = [varError]";
    return text + u" = " + ValueText(FData[0]);
}

TElementSymbol::TElementSymbol(std::u16string name, TTypeSymbol* typ, int32_t value, bool isUserDef)
    : TConstSymbol(std::move(name), typ, Variant(int64_t{value}))
    , FIsUserDef(isUserDef)
    , FUserDefValue(isUserDef ? value : 0)
    , FValue(value)
{}

std::u16string TElementSymbol::DeclarationText() const
{
    if (FIsUserDef)
        return FName + u" = " + IntText(FUserDefValue);
    return FName;
}

TDataSymbol::TDataSymbol(std::u16string name, TTypeSymbol* typ) : TValueSymbol(std::move(name), typ)
{}

std::u16string TDataSymbol::DeclarationText() const
{
    return FName + u": " + (FTyp ? FTyp->Name() : u"???");
}

void TDataSymbol::AllocateStackAddr(TAddrGenerator& generator)
{
    FLevel = generator.Level;
    FStackAddr = generator.GetStackAddr(FSize);
}

bool TParamSymbol::SameParam(const TParamSymbol& other) const
{
    return typeid(*this) == typeid(other) && FTyp == other.Typ()
           && FastSameText(FName, other.Name());
}

TParamSymbolWithDefaultValue::TParamSymbolWithDefaultValue(std::u16string name, TTypeSymbol* typ,
                                                           const TData& data, int32_t offset)
    : TParamSymbol(std::move(name), typ)
    , FDefaultValue(CopySlots(data, offset, FSize))
{}

std::u16string TParamSymbolWithDefaultValue::DeclarationText() const
{
    const std::u16string text = TParamSymbol::DeclarationText();
    const Variant& value = FDefaultValue[0];
    if (IsStringType(FTyp))
        return text + u" = '" + ValueText(value) + u"'";
    if (value.IsObject())
        return text + u" = nil";
    return text + u" = " + ValueText(value);
}

bool TParamSymbolWithDefaultValue::SameParam(const TParamSymbol& other) const
{
    if (!TParamSymbol::SameParam(other))
        return false;
    const auto& that = static_cast<const TParamSymbolWithDefaultValue&>(other);
    return FDefaultValue.size() == that.FDefaultValue.size()
           && SameData(FDefaultValue, 0, that.FDefaultValue, 0,
                       static_cast<int32_t>(FDefaultValue.size()));
}

TByRefParamSymbol::TByRefParamSymbol(std::u16string name, TTypeSymbol* typ)
    : TParamSymbol(std::move(name), typ)
{
    FSize = 1;
}

std::u16string TVarParamSymbol::DeclarationText() const
{
    return u"var " + TByRefParamSymbol::DeclarationText();
}

std::u16string TConstParamSymbol::DeclarationText() const
{
    return u"const " + TByRefParamSymbol::DeclarationText();
}

std::u16string TLazyParamSymbol::DeclarationText() const
{
    return u"lazy " + TParamSymbol::DeclarationText();
}

TExternalVarSymbol::TExternalVarSymbol(std::u16string name, TTypeSymbol* typ)
    : TValueSymbol(std::move(name), typ)
{}

TExternalVarSymbol::~TExternalVarSymbol() = default;

void TExternalVarSymbol::SetReadFunc(TFuncSymbol* func)
{
    FReadFunc.reset(func);
}

void TExternalVarSymbol::SetWriteFunc(TFuncSymbol* func)
{
    FWriteFunc.reset(func);
}

TResourceStringSymbol::TResourceStringSymbol(std::u16string name, std::u16string value)
    : TSymbol(std::move(name), nullptr)
    , FValue(std::move(value))
{}

std::u16string TResourceStringSymbol::DisplayName() const
{
    return u"resourcestring " + FName;
}

std::u16string TResourceStringSymbol::DeclarationText() const
{
    std::u16string quoted;
    for (char16_t c : FValue) {
        quoted += c;
        if (c == u'\'')
            quoted += c;
    }
    return u"resourcestring " + FName + u" = '" + quoted + u"'";
}

TConditionSymbol::TConditionSymbol(const TScriptPos& pos, TTypedExpr* condition,
                                   TTypedExpr* message)
    : TSymbol(u"", nullptr)
    , FScriptPos(pos)
    , FCondition(condition)
    , FMessage(message)
{}

// ---------------------------------------------------------------------------
// Symbol tables

namespace {

bool NameLess(const TSymbol* a, const TSymbol* b)
{
    return FastCompareText(a->Name(), b->Name()) < 0;
}

// Position after the last symbol whose name is not greater than name.
std::vector<TSymbol*>::iterator UpperBound(std::vector<TSymbol*>& symbols, std::u16string_view name)
{
    return std::upper_bound(
        symbols.begin(), symbols.end(), name,
        [](std::u16string_view n, const TSymbol* s) { return FastCompareText(n, s->Name()) < 0; });
}

} // namespace

TSymbolTable::TSymbolTable(TSymbolTable* parent, TAddrGenerator* addrGenerator)
    : FAddrGenerator(addrGenerator)
{
    if (parent)
        AddParent(parent);
}

TSymbolTable::~TSymbolTable()
{
    for (auto it = FSymbols.rbegin(); it != FSymbols.rend(); ++it)
        delete *it;
}

int TSymbolTable::AddSymbol(TSymbol* symbol)
{
    const int index = AddSymbolDirect(symbol);
    if (FAddrGenerator)
        if (auto* data = dynamic_cast<TDataSymbol*>(symbol))
            data->AllocateStackAddr(*FAddrGenerator);
    return index;
}

int TSymbolTable::AddSymbolDirect(TSymbol* symbol)
{
    if (!FSorted) {
        FSymbols.push_back(symbol);
        return Count() - 1;
    }
    // After every symbol of the same name: the latest declaration is the
    // last of its name, which is the one lookups find.
    const auto it = FSymbols.insert(UpperBound(FSymbols, symbol->Name()), symbol);
    return static_cast<int>(it - FSymbols.begin());
}

int TSymbolTable::Remove(TSymbol* symbol)
{
    const auto it = std::find(FSymbols.begin(), FSymbols.end(), symbol);
    if (it == FSymbols.end())
        return -1;
    const int index = static_cast<int>(it - FSymbols.begin());
    FSymbols.erase(it);
    return index;
}

void TSymbolTable::Clear()
{
    FSymbols.clear();
}

bool TSymbolTable::HasSymbol(const TSymbol* symbol) const
{
    return std::find(FSymbols.begin(), FSymbols.end(), symbol) != FSymbols.end();
}

void TSymbolTable::AddParent(TSymbolTable* parent)
{
    InsertParent(ParentCount(), parent);
}

int TSymbolTable::IndexOfParent(const TSymbolTable* parent) const
{
    const auto it = std::find(FParents.begin(), FParents.end(), parent);
    return it == FParents.end() ? -1 : static_cast<int>(it - FParents.begin());
}

void TSymbolTable::MoveParent(int fromIndex, int toIndex)
{
    TSymbolTable* parent = FParents.at(static_cast<size_t>(fromIndex));
    FParents.erase(FParents.begin() + fromIndex);
    FParents.insert(FParents.begin() + std::min(toIndex, ParentCount()), parent);
}

void TSymbolTable::InsertParent(int index, TSymbolTable* parent)
{
    parent->PrepareLookup();
    FParents.insert(FParents.begin() + std::clamp(index, 0, ParentCount()), parent);
}

void TSymbolTable::RemoveParent(TSymbolTable* parent)
{
    const int index = IndexOfParent(parent);
    if (index >= 0)
        FParents.erase(FParents.begin() + index);
}

void TSymbolTable::ClearParents()
{
    FParents.clear();
}

void TSymbolTable::SortSymbols() const
{
    if (FSorted || !CanSort())
        return;
    // Stable: symbols of one name keep their declaration order, so the
    // latest declaration stays the last of its name.
    std::stable_sort(FSymbols.begin(), FSymbols.end(), NameLess);
    FSorted = true;
}

TSymbol* TSymbolTable::FindLinear(std::u16string_view name) const
{
    for (auto it = FSymbols.rbegin(); it != FSymbols.rend(); ++it)
        if (FastSameText((*it)->Name(), name))
            return *it;
    return nullptr;
}

TSymbol* TSymbolTable::FindSorted(std::u16string_view name) const
{
    const auto it = UpperBound(FSymbols, name);
    if (it == FSymbols.begin())
        return nullptr;
    TSymbol* candidate = *(it - 1);
    return FastCompareText(candidate->Name(), name) == 0 ? candidate : nullptr;
}

TSymbol* TSymbolTable::FindLocal(std::u16string_view name, TSymbolClassFilter filter) const
{
    TSymbol* symbol;
    if (!FSorted && (FSymbols.size() < SortThreshold || !CanSort()))
        symbol = FindLinear(name);
    else {
        SortSymbols();
        symbol = FindSorted(name);
    }
    if (symbol && filter && !filter(symbol))
        return nullptr;
    return symbol;
}

TSymbol* TSymbolTable::FindInParents(std::u16string_view name, TClassVisibility minVisibility,
                                     TSymbolClassFilter filter) const
{
    for (TSymbolTable* parent : FParents)
        if (TSymbol* symbol = parent->FindSymbol(name, minVisibility, filter))
            return symbol;
    return nullptr;
}

TSymbol* TSymbolTable::FindSymbol(std::u16string_view name, TClassVisibility minVisibility,
                                  TSymbolClassFilter filter) const
{
    TSymbol* symbol = FindLocal(name, filter);
    if (symbol && symbol->IsVisibleFor(minVisibility))
        return symbol;
    return FindInParents(name, minVisibility, filter);
}

bool TSymbolTable::EnumerateLocalSymbolsOfName(std::u16string_view name,
                                               const TSymbolCallback& callback) const
{
    for (TSymbol* symbol : FSymbols)
        if (FastSameText(symbol->Name(), name) && callback(symbol))
            return true;
    return false;
}

bool TSymbolTable::EnumerateSymbolsOfNameInScope(std::u16string_view name,
                                                 const TSymbolCallback& callback) const
{
    std::vector<const TSymbolTable*> stack{this};
    std::unordered_set<const TSymbolTable*> visited;
    while (!stack.empty()) {
        const TSymbolTable* table = stack.back();
        stack.pop_back();
        if (!visited.insert(table).second)
            continue;
        if (table->EnumerateLocalSymbolsOfName(name, callback))
            return true;
        for (TSymbolTable* parent : table->FParents)
            stack.push_back(parent);
    }
    return false;
}

void TSymbolTable::Initialize(TtvsMessageList& messages)
{
    for (size_t i = 0; i < FSymbols.size(); ++i)
        FSymbols[i]->Initialize(messages);
}

TTypeSymbol* TSymbolTable::FindTypeSymbol(std::u16string_view name,
                                          TClassVisibility minVisibility) const
{
    return static_cast<TTypeSymbol*>(FindSymbol(name, minVisibility, &SymbolIs<TTypeSymbol>));
}

TParamSymbol* TParamsSymbolTable::Param(int index) const
{
    auto* param = dynamic_cast<TParamSymbol*>(Symbols(index));
    if (!param)
        SymbolsAssertionFailed(u"tvsSymbols", u"Parameter table holds a non-parameter");
    return param;
}

TSymbol* TMembersSymbolTable::FindSymbol(std::u16string_view name, TClassVisibility minVisibility,
                                         TSymbolClassFilter filter) const
{
    TSymbol* symbol = FindLocal(name, filter);
    if (symbol && symbol->IsVisibleFor(minVisibility))
        return symbol;
    // Private members of an ancestor are not visible from its descendants.
    const TClassVisibility inherited = minVisibility == TClassVisibility::cvPrivate
                                           ? TClassVisibility::cvProtected
                                           : minVisibility;
    return FindInParents(name, inherited, filter);
}

TSymbol* TMembersSymbolTable::FindSymbolFromScope(std::u16string_view name,
                                                  TStructuredTypeSymbol* scope) const
{
    TClassVisibility visibility = TClassVisibility::cvPublic;
    if (scope == FOwner)
        visibility = TClassVisibility::cvPrivate;
    else if (scope && scope->IsOfType(FOwner))
        visibility = TClassVisibility::cvProtected;
    return FindSymbol(name, visibility);
}

TProgramSymbolTable::~TProgramSymbolTable()
{
    for (auto it = FDestructionList.rbegin(); it != FDestructionList.rend(); ++it)
        delete *it;
}

void TProgramSymbolTable::AddToDestructionList(TSymbol* symbol)
{
    FDestructionList.push_back(symbol);
}
