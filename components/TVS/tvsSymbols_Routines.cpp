// Routine symbols: functions, procedures, methods, routine types and
// operator overloads.
#include <typeinfo>

#include "tvsErrors.h"
#include "tvsExceptions.h"
#include "tvsSymbols.h"
#include "tvsUtils.h"

namespace {

const TScriptPos NullPos;

// A registration error: host code declared something the language rejects.
[[noreturn]] void RegistrationError(std::u16string_view format,
                                    std::initializer_list<TFormatArg> args = {})
{
    throw Exception(FormatText(format, args));
}

TTypeSymbol* FindHostType(TSymbolTable& table, std::u16string_view name)
{
    TTypeSymbol* typ = table.FindTypeSymbol(name);
    return typ && typ->IsType() ? typ : nullptr;
}

std::u16string TypeNameOrDisplay(const TTypeSymbol* typ)
{
    return typ->Name().empty() ? typ->DisplayName() : typ->Name();
}

} // namespace

const char16_t* RoutineKindName(TRoutineKind kind)
{
    // clang-format off
    static constexpr const char16_t* Names[] = {
        u"function", u"procedure", u"constructor", u"destructor", u"method",
    };
    // clang-format on
    return Names[static_cast<size_t>(kind)];
}

bool RoutineKindAccepts(TRoutineKind target, TRoutineKind value)
{
    // Row: the routine type; column: the routine value stored in it.
    // clang-format off
    static constexpr bool Accepts[5][5] = {
        //  function procedure constructor destructor method
        {   true,    false,    false,      false,     true  }, // function
        {   false,   true,     false,      false,     true  }, // procedure
        {   false,   false,    true,       false,     false }, // constructor
        {   false,   false,    false,      true,      false }, // destructor
        {   true,    true,     false,      false,     true  }, // method
    };
    // clang-format on
    return Accepts[static_cast<size_t>(target)][static_cast<size_t>(value)];
}

// ---------------------------------------------------------------------------
// TFuncSymbol

TFuncSymbol::TFuncSymbol(std::u16string name, TRoutineKind kind, int16_t level)
    : TTypeSymbol(std::move(name), nullptr)
    , FAddrGenerator(level, true)
    , FInternalParams(std::make_unique<TUnSortedSymbolTable>(nullptr, &FAddrGenerator))
    , FParams(std::make_unique<TParamsSymbolTable>(FInternalParams.get(), &FAddrGenerator))
    , FKind(kind)
{
    FSize = 1;
}

TFuncSymbol::TFuncSymbol(TSymbolTable& table, std::u16string_view resultTypeName,
                         const TParamArray& params, std::u16string name)
    : TFuncSymbol(std::move(name),
                  resultTypeName.empty() ? TRoutineKind::fkProcedure : TRoutineKind::fkFunction, 1)
{
    if (!resultTypeName.empty()) {
        TTypeSymbol* typ = FindHostType(table, resultTypeName);
        if (!typ)
            RegistrationError(TypeUnknownMsg, {resultTypeName});
        SetType(typ);
    }
    BuildHostParams(table, params);
}

TFuncSymbol::~TFuncSymbol() = default;

void TFuncSymbol::BuildHostParams(TSymbolTable& table, const TParamArray& params)
{
    TTypeSymbol* typ = nullptr;
    const std::u16string* typeName = nullptr;
    for (const TParamRec& rec : params) {
        // Consecutive parameters usually share their type: look it up once.
        if (!typeName || !FastSameText(*typeName, rec.ParamType)) {
            typ = FindHostType(table, rec.ParamType);
            typeName = &rec.ParamType;
        }
        if (!typ)
            RegistrationError(ParamTypeNotFoundMsg, {rec.ParamType, rec.ParamName, FName});
        TParamSymbol* param;
        if (rec.HasDefaultValue) {
            if (rec.IsVarParam)
                RegistrationError(VarParamDefaultMsg);
            if (rec.IsConstParam)
                RegistrationError(ConstParamDefaultMsg);
            param = new TParamSymbolWithDefaultValue(rec.ParamName, typ, rec.DefaultValue, 0);
        } else if (rec.IsVarParam)
            param = new TVarParamSymbol(rec.ParamName, typ);
        else if (rec.IsConstParam)
            param = new TConstParamSymbol(rec.ParamName, typ);
        else
            param = new TParamSymbol(rec.ParamName, typ);
        AddParam(param);
    }
}

TConditionsSymbolTable& TFuncSymbol::Conditions()
{
    if (!FConditions)
        FConditions = std::make_unique<TConditionsSymbolTable>();
    return *FConditions;
}

bool TFuncSymbol::HasOwnConditions() const
{
    return FConditions && FConditions->Count() > 0;
}

void TFuncSymbol::SetType(TTypeSymbol* resultType)
{
    if (resultType && FResult)
        SymbolsAssertionFailed(u"tvsSymbols", u"Result type set twice");
    FTyp = resultType;
    if (resultType) {
        FResult = new TResultSymbol(resultType);
        FInternalParams->AddSymbol(FResult);
    }
}

void TFuncSymbol::AddParam(TParamSymbol* param)
{
    FParams->AddSymbol(param);
}

bool TFuncSymbol::HasParam(std::u16string_view name) const
{
    return FParams->FindLocal(name) != nullptr;
}

TTypeSymbol* TFuncSymbol::GetParamType(int index) const
{
    if (index < 0 || index >= FParams->Count())
        return nullptr;
    return FParams->Symbols(index)->Typ();
}

void TFuncSymbol::AddCondition(TConditionSymbol* condition)
{
    Conditions().AddSymbol(condition);
}

const TScriptPos& TFuncSymbol::ForwardPosition() const
{
    return FForwardPosition ? *FForwardPosition : NullPos;
}

void TFuncSymbol::SetIsDeprecated(bool value)
{
    if (value)
        FDeprecatedMessage = u"!";
    else
        FDeprecatedMessage.clear();
}

TExprBase* TFuncSymbol::SubExpr(int index) const
{
    return FExecutable ? FExecutable->SubExpr(index) : nullptr;
}

std::u16string TFuncSymbol::ParamsDescription() const
{
    if (FParams->Count() == 0)
        return u"()";
    std::u16string text = u"(";
    for (int i = 0; i < FParams->Count(); ++i) {
        if (i > 0)
            text += u"; ";
        text += FParams->Symbols(i)->DeclarationText();
    }
    return text + u")";
}

bool TFuncSymbol::SignatureDiffersFrom(const TFuncSymbol& other) const
{
    const int count = FParams->Count();
    const int otherCount = other.Params().Count();
    if (count == 0 && otherCount == 0)
        return false;
    const int common = std::min(count, otherCount);
    for (int i = 0; i < common; ++i) {
        TSymbol* mine = FParams->Symbols(i);
        TSymbol* theirs = other.Params().Symbols(i);
        if (dynamic_cast<TParamSymbolWithDefaultValue*>(mine)
            && dynamic_cast<TParamSymbolWithDefaultValue*>(theirs))
            return false;
        if (!SafeIsOfType(mine->Typ(), theirs->Typ()))
            return true;
    }
    if (count == otherCount)
        return false;
    TSymbol* next = count > otherCount ? FParams->Symbols(common) : other.Params().Symbols(common);
    return dynamic_cast<TParamSymbolWithDefaultValue*>(next) == nullptr;
}

std::u16string TFuncSymbol::KindPrefix() const
{
    std::u16string text = IsClassMethodText() ? u"class " : u"";
    return text + RoutineKindName(FKind);
}

std::u16string TFuncSymbol::DisplayName() const
{
    std::u16string text = KindPrefix() + u" " + FName;
    if (FParams->Count() > 0) {
        text += u"(";
        for (int i = 0; i < FParams->Count(); ++i) {
            if (i > 0)
                text += u", ";
            text += DisplayNameOf(FParams->Symbols(i)->Typ());
        }
        text += u")";
    }
    if (FTyp)
        text += u": " + TypeNameOrDisplay(FTyp);
    return text;
}

std::u16string TFuncSymbol::DeclarationText() const
{
    std::u16string text = KindPrefix() + u" " + FName + ParamsDescription();
    if (FTyp)
        text += u": " + FTyp->Name();
    return text;
}

void TFuncSymbol::Initialize(TtvsMessageList& messages)
{
    if (FIsExternal)
        return;
    FInternalParams->Initialize(messages);
    if (FExecutable)
        FExecutable->InitSymbol(this);
    else if (Level() >= 0 && !FIsType)
        messages.AddCompilerError(ForwardPosition(), ForwardNotImplementedMsg, {FName});
}

bool TFuncSymbol::IsOfType(TTypeSymbol* t) const
{
    auto* other = t ? dynamic_cast<TFuncSymbol*>(t->UnAliasedType()) : nullptr;
    if (!other || other->Kind() != FKind || other->Params().Count() != FParams->Count())
        return false;
    if (FTyp || other->Typ()) {
        if (!FTyp || !other->Typ() || !FTyp->IsCompatible(other->Typ()))
            return false;
    }
    for (int i = 0; i < FParams->Count(); ++i)
        if (!SafeIsOfType(FParams->Symbols(i)->Typ(), other->Params().Symbols(i)->Typ()))
            return false;
    return true;
}

bool TFuncSymbol::IsCompatible(TTypeSymbol* t) const
{
    if (!t)
        return false;
    TTypeSymbol* base = t->BaseType();
    if (base && (typeid(*base) == typeid(TNilSymbol) || typeid(*base) == typeid(TAnyFuncSymbol)))
        return true;
    auto* other = dynamic_cast<TFuncSymbol*>(t->UnAliasedType());
    if (!other || (other->IsType() && !IsType()))
        return false;
    if (other->Params().Count() != FParams->Count() || !RoutineKindAccepts(FKind, other->Kind())
        || other->Typ() != FTyp)
        return false;
    for (int i = 0; i < FParams->Count(); ++i) {
        TSymbol* mine = FParams->Symbols(i);
        TSymbol* theirs = other->Params().Symbols(i);
        if (typeid(*mine) != typeid(*theirs) || mine->Typ() != theirs->Typ())
            return false;
    }
    return true;
}

void TFuncSymbol::InitData(TData& data, int32_t offset) const
{
    data[static_cast<size_t>(offset)] = Variant(static_cast<TRefCountedObject*>(nullptr));
}

bool TFuncSymbol::IsSameOverloadOf(const TFuncSymbol& other) const
{
    if (other.Kind() != FKind || other.Typ() != FTyp || other.Params().Count() != FParams->Count())
        return false;
    for (int i = 0; i < FParams->Count(); ++i)
        if (!FParams->Param(i)->SameParam(*other.Params().Param(i)))
            return false;
    return true;
}

bool TAnyFuncSymbol::IsCompatible(TTypeSymbol* t) const
{
    return t && dynamic_cast<TFuncSymbol*>(t->UnAliasedType()) != nullptr;
}

// ---------------------------------------------------------------------------
// TMethodSymbol

TMethodSymbol::TMethodSymbol(std::u16string name, TRoutineKind kind,
                             TStructuredTypeSymbol* structSymbol, TClassVisibility visibility,
                             bool isClassMethod, int16_t level)
    : TFuncSymbol(std::move(name), kind, level)
    , FStructSymbol(structSymbol)
    , FVisibility(visibility)
    , FIsClassMethod(isClassMethod)
{
    CreateSelf();
    FSize = 1;
    // Members resolve inside the method, after its own parameters.
    FParams->AddParent(&structSymbol->Members());
}

void TMethodSymbol::CreateSelf()
{
    const bool isRecord = dynamic_cast<TRecordSymbol*>(FStructSymbol) != nullptr;
    if (FIsClassMethod) {
        if (isRecord)
            return;
        FSelfSym = new TSelfSymbol(FStructSymbol->MetaSymbol());
        FInternalParams->AddSymbol(FSelfSym);
    } else if (isRecord) {
        // The record a method works on is passed by reference, as its
        // first parameter.
        FSelfSym = new TVarParamSymbol(u"Self", FStructSymbol);
        FParams->AddSymbol(FSelfSym);
    } else {
        FSelfSym = new TSelfSymbol(FStructSymbol);
        FInternalParams->AddSymbol(FSelfSym);
    }
}

namespace {

struct THostKindRow {
    TRoutineKind Kind;
    bool IsClassMethod;
};

// clang-format off
constexpr THostKindRow HostKinds[] = {
    {TRoutineKind::fkProcedure,   false}, // mkProcedure
    {TRoutineKind::fkFunction,    false}, // mkFunction
    {TRoutineKind::fkConstructor, false}, // mkConstructor
    {TRoutineKind::fkDestructor,  false}, // mkDestructor
    {TRoutineKind::fkMethod,      false}, // mkMethod
    {TRoutineKind::fkProcedure,   true},  // mkClassProcedure
    {TRoutineKind::fkFunction,    true},  // mkClassFunction
    {TRoutineKind::fkMethod,      true},  // mkClassMethod
};
// clang-format on

// The member of that name a new host method would meet; registration
// errors for a field, a property or a method of the same class.
TMethodSymbol* CheckHostMember(TClassSymbol* classSymbol, std::u16string_view name)
{
    TSymbol* existing = classSymbol->Members().FindSymbol(name, TClassVisibility::cvPrivate);
    if (!existing)
        return nullptr;
    if (dynamic_cast<TFieldSymbol*>(existing))
        RegistrationError(FieldExistsMsg, {name});
    if (dynamic_cast<TPropertySymbol*>(existing))
        RegistrationError(PropertyExistsMsg, {name});
    auto* method = dynamic_cast<TMethodSymbol*>(existing);
    if (method && method->StructSymbol() == classSymbol)
        RegistrationError(MethodExistsMsg, {name});
    return method;
}

} // namespace

TMethodSymbol::TMethodSymbol(TSymbolTable& table, TClassVisibility visibility,
                             TClassSymbol* classSymbol, std::u16string_view resultTypeName,
                             const TParamArray& params, std::u16string name,
                             TMethodAttributes attributes, THostMethodKind methodKind)
    : TMethodSymbol(std::move(name), HostKinds[static_cast<size_t>(methodKind)].Kind, classSymbol,
                    visibility, HostKinds[static_cast<size_t>(methodKind)].IsClassMethod, 1)
{
    TMethodSymbol* inherited = CheckHostMember(classSymbol, FName);
    if (!resultTypeName.empty()) {
        if (FKind != TRoutineKind::fkFunction && FKind != TRoutineKind::fkMethod)
            RegistrationError(NoResultRequiredMsg);
        TTypeSymbol* typ = FindHostType(table, resultTypeName);
        if (!typ)
            RegistrationError(TypeUnknownMsg, {resultTypeName});
        SetType(typ);
    } else if (FKind == TRoutineKind::fkFunction)
        RegistrationError(ResultTypeExpectedMsg);
    BuildHostParams(table, params);
    if (inherited)
        SetOverlap(inherited);

    switch (attributes) {
    case maNone:
    case maReintroduce:
        break;
    case maVirtual:
        SetIsVirtual(true);
        break;
    case maOverride:
        if (!inherited)
            RegistrationError(CantOverrideMsg, {FName});
        SetOverride(inherited);
        break;
    case maVirtual | maAbstract:
        SetIsVirtual(true);
        FIsAbstract = true;
        break;
    default:
        RegistrationError(InvalidArgCombinationMsg);
    }
}

void TMethodSymbol::SetIsVirtual(bool value)
{
    FIsVirtual = value;
    if (!value || FVMTIndex >= 0)
        return;
    if (auto* classSymbol = dynamic_cast<TClassSymbol*>(FStructSymbol)) {
        FVMTIndex = classSymbol->AllocateVMTIndex();
        classSymbol->SetVMTEntry(FVMTIndex, this);
    }
}

void TMethodSymbol::SetOverride(TMethodSymbol* parentMethod)
{
    FParentMeth = parentMethod;
    FVMTIndex = parentMethod->VMTIndex();
    FIsVirtual = true;
    FIsOverride = true;
    FIsOverlap = false;
    if (auto* classSymbol = dynamic_cast<TClassSymbol*>(FStructSymbol);
        classSymbol && FVMTIndex >= 0)
        classSymbol->SetVMTEntry(FVMTIndex, this);
}

void TMethodSymbol::SetOverlap(TMethodSymbol* parentMethod)
{
    FParentMeth = parentMethod;
    FIsOverride = false;
    FIsOverlap = true;
}

bool TMethodSymbol::HasConditions() const
{
    if (HasOwnConditions())
        return true;
    return FIsOverride && FParentMeth && FParentMeth->HasConditions();
}

std::u16string TMethodSymbol::QualifiedName() const
{
    return FStructSymbol->QualifiedName() + u"." + FName;
}

bool TMethodSymbol::IsVisibleFor(TClassVisibility visibility) const
{
    return FVisibility >= visibility;
}

bool TMethodSymbol::IsSameOverloadOf(const TFuncSymbol& other) const
{
    if (!TFuncSymbol::IsSameOverloadOf(other))
        return false;
    auto* method = dynamic_cast<const TMethodSymbol*>(&other);
    return (method && method->IsClassMethod()) == FIsClassMethod;
}

void TMethodSymbol::Initialize(TtvsMessageList& messages)
{
    // The owner checks its methods and initialises their code; a method
    // only prepares its parameters.
    if (!FIsExternal)
        FInternalParams->Initialize(messages);
}

// ---------------------------------------------------------------------------
// Operators

TOperatorSymbol::TOperatorSymbol(TTokenType token)
    : TSymbol(u"operator " + std::u16string(TokenDisplayString(token)), nullptr)
    , FToken(token)
{}

std::u16string TOperatorSymbol::DisplayName() const
{
    std::u16string text = u"operator " + std::u16string(TokenDisplayString(FToken)) + u" (";
    for (size_t i = 0; i < FParams.size(); ++i) {
        if (i > 0)
            text += u", ";
        text += DisplayNameOf(FParams[i]);
    }
    return text + u") : " + DisplayNameOf(FTyp) + u" uses "
           + (FUsesSym ? FUsesSym->Name() : u"void");
}

TClassOperatorSymbol::TClassOperatorSymbol(TTokenType token)
    : TSymbol(std::u16string(TokenDisplayString(token)), nullptr)
    , FToken(token)
{}

std::u16string TClassOperatorSymbol::DisplayName() const
{
    std::u16string operand = u"???";
    if (FUsesSym && FUsesSym->Params().Count() > 0 && FUsesSym->Params().Symbols(0)->Typ())
        operand = FUsesSym->Params().Symbols(0)->Typ()->Name();
    return u"class operator " + std::u16string(TokenDisplayString(FToken)) + u" " + operand
           + u" uses " + (FUsesSym ? FUsesSym->Name() : u"void");
}

std::u16string TClassOperatorSymbol::QualifiedName() const
{
    return FOwnerSymbol ? FOwnerSymbol->QualifiedName() + u"." + FName : FName;
}
