// Structured types: records, interfaces, classes, their meta types and
// their members; virtual method tables and interface resolution.
#include <algorithm>
#include <limits>
#include <typeinfo>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsSymbols.h"

namespace {

const TScriptPos NullPos;
constexpr char16_t CRLF[] = u"\r\n";

// Method names match by ASCII letters only, as the host declares them.
bool AsciiSameText(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char16_t y = b[i];
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool IsExactly(const TSymbol* symbol, const std::type_info& type)
{
    return symbol && typeid(*symbol) == type;
}

Variant NilReference()
{
    return Variant(static_cast<TRefCountedObject*>(nullptr));
}

} // namespace

// ---------------------------------------------------------------------------
// TStructuredTypeSymbol

TStructuredTypeSymbol::TStructuredTypeSymbol(std::u16string name)
    : TTypeSymbol(std::move(name), nullptr)
    , FMembers(std::make_unique<TMembersSymbolTable>(this))
{}

TStructuredTypeSymbol::~TStructuredTypeSymbol() = default;

void TStructuredTypeSymbol::SetMetaSymbol(std::unique_ptr<TStructuredTypeMetaSymbol> meta)
{
    FMetaSymbol = std::move(meta);
}

void TStructuredTypeSymbol::InheritFrom(TStructuredTypeSymbol* ancestor)
{
    if (FParent || FMembers->Count() > 0)
        SymbolsAssertionFailed(u"tvsSymbols", u"Inheriting into a type that has members");
    FMembers->ClearParents();
    FMembers->AddParent(&ancestor->Members());
    FParent = ancestor;
}

bool TStructuredTypeSymbol::IsAncestorOf(const TStructuredTypeSymbol* other) const
{
    for (const TStructuredTypeSymbol* type = other; type; type = type->Parent())
        if (type == this)
            return true;
    return false;
}

int32_t TStructuredTypeSymbol::GrowSlots(int32_t current, int32_t added)
{
    const int64_t total = int64_t{current} + added;
    if (total > std::numeric_limits<int32_t>::max()) {
        FSizeError = TypeTooLargeMsg;
        return current;
    }
    return static_cast<int32_t>(total);
}

void TStructuredTypeSymbol::AddField(TFieldSymbol* field)
{
    FMembers->AddSymbol(field);
    field->SetStructSymbol(this);
}

void TStructuredTypeSymbol::AddProperty(TPropertySymbol* property)
{
    FMembers->AddSymbol(property);
    property->SetOwnerSymbol(this);
}

void TStructuredTypeSymbol::AddMethod(TMethodSymbol* method)
{
    FMembers->AddSymbol(method);
}

TFieldSymbol* TStructuredTypeSymbol::FieldAtOffset(int32_t offset) const
{
    for (TSymbol* member : *FMembers)
        if (IsExactly(member, typeid(TFieldSymbol)))
            if (auto* field = static_cast<TFieldSymbol*>(member); field->Offset() == offset)
                return field;
    return nullptr;
}

TMethodSymbol* TStructuredTypeSymbol::FindMethodMatching(const TMethodSymbol& method,
                                                         TClassVisibility minVisibility) const
{
    for (int i = FMembers->Count() - 1; i >= 0; --i) {
        auto* candidate = dynamic_cast<TMethodSymbol*>(FMembers->Symbols(i));
        if (candidate && candidate->IsVisibleFor(minVisibility)
            && AsciiSameText(candidate->Name(), method.Name())
            && candidate->IsCompatible(const_cast<TMethodSymbol*>(&method)))
            return candidate;
    }
    return FParent ? FParent->FindMethodMatching(method, TClassVisibility::cvPublic) : nullptr;
}

TMethodSymbol* TStructuredTypeSymbol::FindDefaultConstructor(TClassVisibility minVisibility) const
{
    (void)minVisibility;
    return nullptr;
}

void TStructuredTypeSymbol::CheckOwnMethods(TtvsMessageList& messages)
{
    for (int i = 0; i < FMembers->Count(); ++i) {
        auto* method = dynamic_cast<TMethodSymbol*>(FMembers->Symbols(i));
        if (!method)
            continue;
        method->Initialize(messages);
        if (method->Executable()) {
            if (!method->IsAbstract())
                method->Executable()->InitSymbol(method);
        } else if (!method->IsAbstract() && !IsExternal()) {
            // An abstract method has no code by design; only a method that
            // promised code and has none is reported.
            auto* source = dynamic_cast<TSourceMethodSymbol*>(method);
            messages.AddCompilerError(source ? source->DeclarationPosition() : NullPos,
                                      MethodNotImplementedMsg, {method->Name(), DisplayName()});
        }
    }
}

// ---------------------------------------------------------------------------
// Meta types

TStructuredTypeMetaSymbol::TStructuredTypeMetaSymbol(std::u16string name,
                                                     TStructuredTypeSymbol* typ)
    : TTypeSymbol(std::move(name), typ)
{
    FSize = 1;
}

TStructuredTypeSymbol* TStructuredTypeMetaSymbol::StructSymbol() const
{
    return static_cast<TStructuredTypeSymbol*>(FTyp);
}

void TStructuredTypeMetaSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(int64_t{0});
}

TClassOfSymbol::TClassOfSymbol(std::u16string name, TClassSymbol* typ)
    : TStructuredTypeMetaSymbol(std::move(name), typ)
{}

TClassSymbol* TClassOfSymbol::ClassSymbol() const
{
    return static_cast<TClassSymbol*>(FTyp);
}

std::u16string TClassOfSymbol::DisplayName() const
{
    return FTyp ? u"class of " + FTyp->Name() : u"class of ???";
}

bool TClassOfSymbol::IsOfType(TTypeSymbol* t) const
{
    auto* other = t ? dynamic_cast<TClassOfSymbol*>(t->UnAliasedType()) : nullptr;
    return other && FTyp && other->Typ() && FTyp->IsOfType(other->Typ()->UnAliasedType());
}

bool TClassOfSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* base = t->BaseType();
    if (dynamic_cast<TNilSymbol*>(base))
        return true;
    auto* other = dynamic_cast<TClassOfSymbol*>(base);
    return other && FTyp && FTyp->IsCompatible(other->Typ());
}

// ---------------------------------------------------------------------------
// TRecordSymbol

TRecordSymbol::TRecordSymbol(std::u16string name) : TStructuredTypeSymbol(std::move(name))
{
    SetMetaSymbol(std::make_unique<TStructuredTypeMetaSymbol>(u"meta of " + FName, this));
}

void TRecordSymbol::AddField(TFieldSymbol* field)
{
    TStructuredTypeSymbol::AddField(field);
    field->SetOffset(FSize);
    FSize = GrowSlots(FSize, field->Size());
}

std::u16string TRecordSymbol::DisplayName() const
{
    return u"record " + FName;
}

std::u16string TRecordSymbol::DeclarationText() const
{
    std::u16string text = FName + u" = record" + CRLF;
    for (TSymbol* member : *FMembers)
        if (IsExactly(member, typeid(TFieldSymbol)))
            text += u"   " + member->Name() + u" : "
                    + (member->Typ() ? member->Typ()->Name() : u"???") + u";" + CRLF;
    return text + u"end;";
}

bool TRecordSymbol::IsCompatible(TTypeSymbol* t) const
{
    return t && t->UnAliasedType()->BaseType() == this;
}

void TRecordSymbol::InitData(TData& data, int32_t offset) const
{
    for (TSymbol* member : *FMembers)
        if (IsExactly(member, typeid(TFieldSymbol))) {
            auto* field = static_cast<TFieldSymbol*>(member);
            field->Typ()->InitData(data, offset + field->Offset());
        }
}

void TRecordSymbol::Initialize(TtvsMessageList& messages)
{
    CheckOwnMethods(messages);
}

// ---------------------------------------------------------------------------
// TInterfaceSymbol

TInterfaceSymbol::TInterfaceSymbol(std::u16string name) : TStructuredTypeSymbol(std::move(name))
{
    FSize = 1;
}

void TInterfaceSymbol::InheritFrom(TStructuredTypeSymbol* ancestor)
{
    TStructuredTypeSymbol::InheritFrom(ancestor);
    if (auto* intf = dynamic_cast<TInterfaceSymbol*>(ancestor))
        FMethodCount = intf->MethodCount();
}

void TInterfaceSymbol::AddMethod(TMethodSymbol* method)
{
    TStructuredTypeSymbol::AddMethod(method);
    method->SetVMTIndex(FMethodCount++);
}

std::u16string TInterfaceSymbol::DeclarationText() const
{
    std::u16string text = FName + u" = interface";
    if (FParent)
        text += u"(" + FParent->Name() + u")";
    return text;
}

bool TInterfaceSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* type = t->UnAliasedType();
    if (dynamic_cast<TNilSymbol*>(type))
        return true;
    auto* intf = dynamic_cast<TInterfaceSymbol*>(type);
    return intf && IsAncestorOf(intf);
}

bool TInterfaceSymbol::IsOfType(TTypeSymbol* t) const
{
    auto* intf = t ? dynamic_cast<TInterfaceSymbol*>(t->UnAliasedType()) : nullptr;
    return intf && IsAncestorOf(intf);
}

void TInterfaceSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = NilReference();
}

// ---------------------------------------------------------------------------
// TClassSymbol

TClassSymbol::TClassSymbol(std::u16string name)
    : TStructuredTypeSymbol(std::move(name))
    , FVirtualMethodTable(std::make_shared<TMethodSymbolArray>())
{
    FSize = 1;
    SetMetaSymbol(std::make_unique<TClassOfSymbol>(u"class of " + FName, this));
}

TClassSymbol::~TClassSymbol() = default;

TClassOfSymbol* TClassSymbol::ClassOf() const
{
    return static_cast<TClassOfSymbol*>(FMetaSymbol.get());
}

bool TClassSymbol::IsAbstract() const
{
    if (FIsAbstract || FIsExplicitAbstract)
        return true;
    // An inherited abstract method that no class on the way overrode
    // leaves the class abstract too.
    return std::any_of(FVirtualMethodTable->begin(), FVirtualMethodTable->end(),
                       [](const TMethodSymbol* m) { return m && m->IsAbstract(); });
}

const TScriptPos& TClassSymbol::ForwardPosition() const
{
    return FForwardPosition ? *FForwardPosition : NullPos;
}

void TClassSymbol::OwnVirtualMethodTable()
{
    if (FOwnsVirtualMethodTable)
        return;
    FVirtualMethodTable = std::make_shared<TMethodSymbolArray>(*FVirtualMethodTable);
    FOwnsVirtualMethodTable = true;
}

int32_t TClassSymbol::AllocateVMTIndex()
{
    OwnVirtualMethodTable();
    FVirtualMethodTable->push_back(nullptr);
    return static_cast<int32_t>(FVirtualMethodTable->size()) - 1;
}

void TClassSymbol::SetVMTEntry(int32_t index, TMethodSymbol* method)
{
    if (index < 0 || static_cast<size_t>(index) >= FVirtualMethodTable->size())
        SymbolsAssertionFailed(u"tvsSymbols", u"Virtual method table index out of range");
    if ((*FVirtualMethodTable)[static_cast<size_t>(index)] == method)
        return;
    OwnVirtualMethodTable();
    (*FVirtualMethodTable)[static_cast<size_t>(index)] = method;
}

void TClassSymbol::RecomputeAbstract()
{
    FIsAbstract = false;
    for (TSymbol* member : *FMembers)
        if (auto* method = dynamic_cast<TMethodSymbol*>(member); method && method->IsAbstract())
            FIsAbstract = true;
}

void TClassSymbol::InheritFrom(TStructuredTypeSymbol* ancestor)
{
    TStructuredTypeSymbol::InheritFrom(ancestor);
    auto* parent = dynamic_cast<TClassSymbol*>(ancestor);
    if (!parent)
        return;
    FIsAbstract = parent->FIsAbstract;
    FScriptInstanceSize = parent->FScriptInstanceSize;
    FVirtualMethodTable = parent->FVirtualMethodTable;
    FOwnsVirtualMethodTable = false;
    FIsStatic = FIsStatic || parent->FIsStatic;
}

void TClassSymbol::AddField(TFieldSymbol* field)
{
    TStructuredTypeSymbol::AddField(field);
    field->SetOffset(FScriptInstanceSize);
    FScriptInstanceSize = GrowSlots(FScriptInstanceSize, field->Size());
}

void TClassSymbol::AddMethod(TMethodSymbol* method)
{
    TStructuredTypeSymbol::AddMethod(method);
    if (method->IsAbstract())
        FIsAbstract = true;
    else if (method->IsOverride() && method->ParentMeth() && method->ParentMeth()->IsAbstract())
        RecomputeAbstract();
}

TFieldSymbol* TClassSymbol::FieldAtOffset(int32_t offset) const
{
    if (TFieldSymbol* field = TStructuredTypeSymbol::FieldAtOffset(offset))
        return field;
    return FParent ? FParent->FieldAtOffset(offset) : nullptr;
}

TMethodSymbol* TClassSymbol::FindDefaultConstructor(TClassVisibility minVisibility) const
{
    TMethodSymbol* lastCreate = nullptr;
    for (TSymbol* member : *FMembers) {
        auto* method = dynamic_cast<TMethodSymbol*>(member);
        if (!method || method->Kind() != TRoutineKind::fkConstructor
            || !method->IsVisibleFor(minVisibility))
            continue;
        if (method->IsDefault())
            return method;
        if (AsciiSameText(method->Name(), u"Create"))
            lastCreate = method;
    }
    if (lastCreate)
        return lastCreate;
    if (!FParent)
        return nullptr;
    return FParent->FindDefaultConstructor(minVisibility == TClassVisibility::cvPrivate
                                               ? TClassVisibility::cvProtected
                                               : minVisibility);
}

void TClassSymbol::AddOperator(TClassOperatorSymbol* op)
{
    FMembers->AddSymbol(op);
    op->SetOwnerSymbol(this);
    FOperators.push_back(op);
}

TClassOperatorSymbol* TClassSymbol::FindClassOperatorStrict(TTokenType token, TTypeSymbol* typ,
                                                            bool recursive) const
{
    for (TClassOperatorSymbol* op : FOperators)
        if (op->Token() == token && op->Typ() == typ)
            return op;
    if (recursive)
        if (auto* parent = dynamic_cast<TClassSymbol*>(FParent))
            return parent->FindClassOperatorStrict(token, typ, true);
    return nullptr;
}

TClassOperatorSymbol* TClassSymbol::FindClassOperator(TTokenType token, TTypeSymbol* typ) const
{
    if (TClassOperatorSymbol* op = FindClassOperatorStrict(token, typ, false))
        return op;
    for (TClassOperatorSymbol* op : FOperators)
        if (op->Token() == token && typ && typ->IsOfType(op->Typ()))
            return op;
    for (TClassOperatorSymbol* op : FOperators)
        if (op->Token() == token && op->Typ() && op->Typ()->IsCompatible(typ))
            return op;
    if (auto* parent = dynamic_cast<TClassSymbol*>(FParent))
        return parent->FindClassOperator(token, typ);
    return nullptr;
}

bool TClassSymbol::AddInterface(TInterfaceSymbol* intf, TClassVisibility minVisibility,
                                TMethodSymbol** missingMethod)
{
    TResolvedInterface resolved{intf, TMethodSymbolArray(static_cast<size_t>(intf->MethodCount()))};
    for (TStructuredTypeSymbol* type = intf; type; type = type->Parent()) {
        const TMembersSymbolTable& members = type->Members();
        for (int i = members.Count() - 1; i >= 0; --i) {
            auto* method = dynamic_cast<TMethodSymbol*>(members.Symbols(i));
            if (!method)
                continue;
            TMethodSymbol* found = FindMethodMatching(*method, minVisibility);
            if (!found) {
                if (missingMethod)
                    *missingMethod = method;
                return false;
            }
            const auto index = static_cast<size_t>(method->VMTIndex());
            if (index < resolved.ImplementingMethods.size())
                resolved.ImplementingMethods[index] = found;
        }
    }
    // Marked only once the whole interface resolved: a failed attempt
    // leaves no trace.
    for (TMethodSymbol* method : resolved.ImplementingMethods)
        if (method)
            method->SetIsInterfaced(true);
    const bool known =
        std::any_of(FInterfaces.begin(), FInterfaces.end(),
                    [intf](const TResolvedInterface& r) { return r.IntfSymbol == intf; });
    if (!known)
        FInterfaces.push_back(std::move(resolved));
    return true;
}

const TResolvedInterface* TClassSymbol::ResolveInterface(TInterfaceSymbol* intf) const
{
    for (const TClassSymbol* type = this; type;
         type = dynamic_cast<const TClassSymbol*>(type->Parent()))
        for (const TResolvedInterface& resolved : type->FInterfaces)
            if (resolved.IntfSymbol == intf)
                return &resolved;
    return nullptr;
}

bool TClassSymbol::ImplementsInterface(TInterfaceSymbol* intf) const
{
    return ResolveInterface(intf) != nullptr;
}

void TClassSymbol::AddOverriddenInterfaces()
{
    for (auto* ancestor = dynamic_cast<TClassSymbol*>(FParent); ancestor;
         ancestor = dynamic_cast<TClassSymbol*>(ancestor->Parent())) {
        for (const TResolvedInterface& inherited : ancestor->FInterfaces) {
            const bool own = std::any_of(
                FInterfaces.begin(), FInterfaces.end(),
                [&](const TResolvedInterface& r) { return r.IntfSymbol == inherited.IntfSymbol; });
            if (own)
                continue;
            TResolvedInterface copy = inherited;
            bool changed = false;
            for (TMethodSymbol*& method : copy.ImplementingMethods) {
                if (!method || !method->IsVirtual() || method->VMTIndex() < 0)
                    continue;
                const auto index = static_cast<size_t>(method->VMTIndex());
                if (index >= FVirtualMethodTable->size())
                    continue;
                TMethodSymbol* current = (*FVirtualMethodTable)[index];
                if (current && current != method) {
                    method = current;
                    changed = true;
                }
            }
            if (changed)
                FInterfaces.push_back(std::move(copy));
        }
    }
}

std::u16string TClassSymbol::DeclarationText() const
{
    std::u16string text = FName + u" = class";
    if (FParent)
        text += u" (" + FParent->Name() + u")";
    text += CRLF;
    for (TSymbol* member : *FMembers)
        text += u"   " + member->DeclarationText() + u";" + CRLF;
    return text + u"end";
}

bool TClassSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* type = t->UnAliasedType();
    if (dynamic_cast<TNilSymbol*>(type))
        return true;
    auto* other = dynamic_cast<TClassSymbol*>(type);
    return other && IsAncestorOf(other);
}

bool TClassSymbol::IsOfType(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* type = t->UnAliasedType();
    for (const TStructuredTypeSymbol* c = this; c; c = c->Parent())
        if (c == type)
            return true;
    return false;
}

void TClassSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = NilReference();
}

void TClassSymbol::Initialize(TtvsMessageList& messages)
{
    if (IsForwarded()) {
        messages.AddCompilerError(ForwardPosition(), ClassNotCompleteMsg, {FName});
        return;
    }
    CheckOwnMethods(messages);
}

// ---------------------------------------------------------------------------
// Members

TFieldSymbol::TFieldSymbol(std::u16string name, TTypeSymbol* typ, TClassVisibility visibility)
    : TValueSymbol(std::move(name), typ)
    , FVisibility(visibility)
{}

std::u16string TFieldSymbol::QualifiedName() const
{
    return FStructSymbol ? FStructSymbol->QualifiedName() + u"." + FName : FName;
}

bool TFieldSymbol::IsVisibleFor(TClassVisibility visibility) const
{
    return FVisibility >= visibility;
}

std::u16string TClassConstSymbol::QualifiedName() const
{
    return FOwnerSymbol ? FOwnerSymbol->QualifiedName() + u"." + FName : FName;
}

bool TClassConstSymbol::IsVisibleFor(TClassVisibility visibility) const
{
    return FVisibility >= visibility;
}

std::u16string TClassVarSymbol::QualifiedName() const
{
    return FOwnerSymbol ? FOwnerSymbol->QualifiedName() + u"." + FName : FName;
}

bool TClassVarSymbol::IsVisibleFor(TClassVisibility visibility) const
{
    return FVisibility >= visibility;
}

TPropertySymbol::TPropertySymbol(std::u16string name, TTypeSymbol* typ, TClassVisibility visibility)
    : TValueSymbol(std::move(name), typ)
    , FVisibility(visibility)
{}

TPropertySymbol::~TPropertySymbol() = default;

TSymbolTable& TPropertySymbol::ArrayIndices()
{
    if (!FArrayIndices)
        FArrayIndices = std::make_unique<TSymbolTable>();
    return *FArrayIndices;
}

void TPropertySymbol::SetIndex(const TData& data, int32_t offset, TTypeSymbol* typ)
{
    FIndexSym = typ;
    const int32_t size = typ ? std::max(typ->Size(), 1) : 1;
    FIndexValue.assign(static_cast<size_t>(size), Variant());
    for (int32_t i = 0; i < size; ++i)
        if (static_cast<size_t>(offset + i) < data.size())
            FIndexValue[static_cast<size_t>(i)] = data[static_cast<size_t>(offset + i)];
}

bool TPropertySymbol::IsDefault() const
{
    return FOwnerSymbol && FOwnerSymbol->DefaultProperty() == this;
}

std::u16string TPropertySymbol::DeclarationText() const
{
    std::u16string indices;
    if (HasArrayIndices()) {
        // Consecutive indices of one type form one group: "[a, b: Integer, s: String]".
        indices = u"[";
        const int count = FArrayIndices->Count();
        for (int i = 0; i < count; ++i) {
            TSymbol* index = FArrayIndices->Symbols(i);
            if (i > 0)
                indices += u", ";
            indices += index->Name();
            const bool groupEnds =
                i + 1 == count || FArrayIndices->Symbols(i + 1)->Typ() != index->Typ();
            if (groupEnds)
                indices += u": " + (index->Typ() ? index->Typ()->Name() : u"???");
        }
        indices += u"]";
    }
    std::u16string text = u"property " + FName + indices + u": " + (FTyp ? FTyp->Name() : u"???");
    if (FIndexSym && !FIndexValue.empty())
        text += u" index " + VarToStr(FIndexValue[0]).ToU16String();
    if (FReadSym)
        text += u" read " + FReadSym->Name();
    if (FWriteSym)
        text += u" write " + FWriteSym->Name();
    if (IsDefault())
        text += u"; default;";
    return text;
}

std::u16string TPropertySymbol::QualifiedName() const
{
    return FOwnerSymbol ? FOwnerSymbol->QualifiedName() + u"." + FName : FName;
}

bool TPropertySymbol::IsVisibleFor(TClassVisibility visibility) const
{
    return FVisibility >= visibility;
}
