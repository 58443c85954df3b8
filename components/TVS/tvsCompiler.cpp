#include "tvsCompiler.h"

#include <algorithm>

#include "tvsComp.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsPascalTokenizer.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"
#include "tvsSystemOperators.h"
#include "tvsUnitSymbols.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t FilterDependencyMsg[] =
    u"The filter \"%s\" depends on unit \"%s\" that is not available.";
constexpr char16_t UnitNotFoundMsg[] = u"Unit \"%s\" referenced in unit \"%s\" not found";
constexpr char16_t CircularUnitsMsg[] = u"Circular referencing units detected!";
constexpr char16_t NameExistsMsg[] = u"Name \"%s\" already exists";
constexpr char16_t NameReservedMsg[] = u"Name \"%s\" is reserved";
constexpr char16_t SystemUnitName[] = u"System";

// The compile-time execution keeps a small stack of its own; nothing it runs
// is deep or large.
constexpr int32_t CompileTimeStackChunk = 512;

// Owns the units a program references. Kept in the program table's
// destruction list, so the units live exactly as long as the program.
class TProgramUnits final : public TSymbol {
public:
    TProgramUnits() : TSymbol(u"", nullptr) {}
    TUnitMainSymbols Units;
};

// The units in an order where every unit follows the units it depends on.
std::vector<ItvsUnit*> OrderByDependencies(const std::vector<ItvsUnit*>& units,
                                           TtvsCompileMessageList& msgs)
{
    std::vector<std::vector<std::u16string>> deps;
    std::vector<int> pending;
    for (ItvsUnit* unit : units) {
        deps.push_back(unit->Dependencies());
        for (const auto& dep : deps.back()) {
            const bool found = std::any_of(units.begin(), units.end(), [&](ItvsUnit* u) {
                return FastSameText(u->UnitName(), dep);
            });
            if (!found)
                msgs.AbortWithSyntaxError(TScriptPos{}, UnitNotFoundMsg, {dep, unit->UnitName()});
        }
        pending.push_back(static_cast<int>(deps.back().size()));
    }
    std::vector<ItvsUnit*> ordered;
    std::vector<bool> done(units.size(), false);
    for (bool progress = true; progress;) {
        progress = false;
        for (size_t i = 0; i < units.size(); ++i) {
            if (done[i] || pending[i] != 0)
                continue;
            done[i] = true;
            progress = true;
            ordered.push_back(units[i]);
            for (size_t j = 0; j < units.size(); ++j)
                for (const auto& dep : deps[j])
                    if (FastSameText(dep, units[i]->UnitName()))
                        --pending[j];
        }
    }
    if (ordered.size() < units.size())
        msgs.AbortWithSyntaxError(TScriptPos{}, CircularUnitsMsg);
    return ordered;
}

// Names of the special functions, reserved in every scope.
bool IsSpecialFunctionName(std::u16string_view name)
{
    static constexpr std::u16string_view Names[] = {
        u"abs",     u"assert",   u"assigned", u"high", u"length", u"low",  u"ord",  u"sizeof",
        u"defined", u"declared", u"sqr",      u"inc",  u"dec",    u"succ", u"pred",
    };
    return std::any_of(std::begin(Names), std::end(Names),
                       [&](std::u16string_view n) { return FastSameText(n, name); });
}

int CountLines(std::u16string_view text)
{
    if (text.empty())
        return 0;
    int lines = static_cast<int>(std::count(text.begin(), text.end(), u'\n'));
    if (text.back() != u'\n')
        ++lines;
    return lines;
}

} // namespace

// The execution that evaluates constant expressions while compiling. What
// goes wrong there is told to the program being compiled.
class TtvsCompiler::TCompilerExecution final : public TtvsExecution {
public:
    TCompilerExecution() : TtvsExecution(MakeParams()) {}
    TtvsRuntimeMessageList& Messages() override { return FMessages; }
    TtvsOptimizationMessageList& OptimizationMessages() { return FMessages; }

private:
    static TStackParameters MakeParams()
    {
        TStackParameters params;
        params.MaxLevel = 1;
        params.ChunkSize = CompileTimeStackChunk;
        params.MaxByteSize = 0;
        params.MaxRecursionDepth = 2147483647;
        return params;
    }
    TtvsOptimizationMessageList FMessages;
};

TtvsCompiler::TtvsCompiler()
    : FTokRules(&TPascalTokenizerStateRules::Shared())
    , FCompileTimeExec(MakeRef<TCompilerExecution>())
{}

TtvsCompiler::~TtvsCompiler() = default;

TRefPtr<TtvsMainProgram> TtvsCompiler::Compile(std::u16string_view text, TtvsConfiguration& config)
{
    FConfig = &config;
    FOptions = config.CompilerOptions();

    TStackParameters stackParams;
    stackParams.MaxByteSize = config.MaxDataSize() <= 0 ? 0 : config.MaxDataSize();
    stackParams.ChunkSize =
        config.StackChunkSize() > 0 ? config.StackChunkSize() : DefaultStackChunkSize;
    stackParams.MaxRecursionDepth = config.MaxRecursionDepth();
    auto prog = MakeRef<TtvsMainProgram>(stackParams, config.ResultTypeRef());
    FMainProg = prog.Get();
    FProg = prog.Get();
    TtvsCompileMessageList& msgs = prog->Messages();
    msgs.SetHintsLevel(FOptions.Contains(TCompilerOption::coHintsDisabled)
                           ? TtvsHintsLevel::hlDisabled
                           : config.HintsLevel());
    msgs.SetWarningsDisabled(FOptions.Contains(TCompilerOption::coWarningsDisabled));
    prog->SetTimeoutMilliseconds(config.TimeoutMilliseconds());
    FCompileTimeExec->OptimizationMessages().SetCompileMsgs(&msgs);

    TSystemSymbolTable& systemTable = config.SystemTable();
    auto table = std::make_unique<TProgramSymbolTable>(nullptr, &prog->AddrGenerator());
    table->AddParent(&systemTable);
    FTable = table.get();
    prog->SetTable(std::move(table));
    TtvsProgram::TBaseTypes types;
    types.Boolean = systemTable.TypBoolean();
    types.Float = systemTable.TypFloat();
    types.Integer = systemTable.TypInteger();
    types.Object = systemTable.TypObject();
    types.String = systemTable.TypString();
    types.Variant = systemTable.TypVariant();
    types.Exception = systemTable.TypException();
    types.Interface = systemTable.TypInterface();
    prog->SetBaseTypes(types);

    try {
        for (TtvsFilter* filter = config.Filter(); filter != nullptr; filter = filter->SubFilter())
            for (const std::u16string& unitName : filter->Dependencies())
                if (!IsConfiguredUnit(unitName))
                    msgs.AddSyntaxError(TScriptPos{}, FilterDependencyMsg,
                                        {filter->ClassName(), unitName});

        std::u16string source(text);
        if (config.Filter() != nullptr)
            source = config.Filter()->Process(source, &msgs);
        const TSourceFile* file = prog->RegisterSourceFile(MainModuleName, source);
        prog->SetLineCount(CountLines(source));

        FTok = FTokRules->CreateTokenizer(msgs);
        FTok->BeginSource(file);
        MakeUnitsVisible();
        auto block = ParseRootBlock();
        block = FoldStatement(std::move(block));
        prog->SetExpr(std::move(block));
        prog->Table()->Initialize(msgs);
    } catch (const ECompileError&) {
        // Already listed: compiling simply stops here.
    } catch (const ECompileException& e) {
        msgs.AddSyntaxError(e.ScriptPos(), e.Message());
    } catch (const Exception& e) {
        msgs.AddSyntaxError(TScriptPos{}, e.Message());
    }
    if (prog->Expr() == nullptr)
        prog->SetExpr(std::make_unique<TNullExpr>(TScriptPos{}));
    ResetState();
    return prog;
}

void TtvsCompiler::ResetState()
{
    FTok.reset();
    FCompileTimeExec->OptimizationMessages().SetCompileMsgs(nullptr);
    FConfig = nullptr;
    FMainProg = nullptr;
    FProg = nullptr;
    FTable = nullptr;
    FLoops.clear();
    FLoopExitable.clear();
    FFinallyExprs.clear();
    FForVars.clear();
    FNesting = 0;
}

bool TtvsCompiler::FoldingOn() const
{
    return FOptions.Contains(TCompilerOption::coOptimize) && !Msgs().HasErrors();
}

const TScriptPos& TtvsCompiler::HotPos() const
{
    return FTok->HotPos();
}

TScriptPos TtvsCompiler::NextTokenPos()
{
    FTok->IsToken(TTokenType::ttNone);
    return HotPos();
}

TtvsCompileMessageList& TtvsCompiler::Msgs() const
{
    return FMainProg->Messages();
}

void TtvsCompiler::AbortWithSyntaxError(const TScriptPos& pos, std::u16string text)
{
    Msgs().AbortWithSyntaxError(pos, std::move(text));
}

void TtvsCompiler::AbortWithSyntaxError(const TScriptPos& pos, std::u16string_view format,
                                        std::initializer_list<TFormatArg> args)
{
    Msgs().AbortWithSyntaxError(pos, format, args);
}

TtvsExecution& TtvsCompiler::CompileTimeExec()
{
    return *FCompileTimeExec;
}

bool TtvsCompiler::IsConfiguredUnit(std::u16string_view name) const
{
    if (FastSameText(name, SystemUnitName))
        return true;
    for (const ItvsUnit* unit : FConfig->Units())
        if (FastSameText(unit->UnitName(), name))
            return true;
    return false;
}

// The system unit and the configured units become visible in the program
// table; a unit referenced later is searched before those referenced
// earlier, so the configured order decides between equal names.
void TtvsCompiler::MakeUnitsVisible()
{
    auto& programTable = static_cast<TProgramSymbolTable&>(*FMainProg->Table());
    auto* units = new TProgramUnits();
    programTable.AddToDestructionList(units);

    TSystemSymbolTable& systemTable = FConfig->SystemTable();
    auto* system =
        new TUnitMainSymbol(SystemUnitName, units->Units, new TLinkedSymbolTable(&systemTable));
    system->ReferenceInSymbolTable(programTable);

    const bool explicitUses = FOptions.Contains(TCompilerOption::coExplicitUnitUses);
    for (ItvsUnit* unit : OrderByDependencies(FConfig->Units(), Msgs())) {
        if (explicitUses && !unit->UsedImplicitly())
            continue;
        auto* main =
            new TUnitMainSymbol(unit->UnitName(), units->Units, unit->CreateUnitTable(systemTable));
        main->ReferenceInSymbolTable(programTable);
    }
}

std::unique_ptr<TTypedExpr> TtvsCompiler::BuildBinaryOperation(TTokenType token,
                                                               std::unique_ptr<TTypedExpr>& left,
                                                               std::unique_ptr<TTypedExpr>& right)
{
    TTypeSymbol* l = left->Typ();
    TTypeSymbol* r = right->Typ();
    if (l == nullptr || r == nullptr)
        return nullptr;
    const TRegisteredOperator* entry = SystemOperatorsFor(*FProg).OperatorFor(token, l, r);
    if (entry == nullptr || entry->BinExprClass == nullptr)
        return nullptr;
    return entry->BinExprClass(*FProg, std::move(left), std::move(right));
}

void TtvsCompiler::CheckName(const std::u16string& name, const TScriptPos& pos)
{
    if (FTable->FindLocal(name) != nullptr)
        Msgs().AddSyntaxError(pos, NameExistsMsg, {name});
}

// The special functions (Ord, Length, Inc ...) are compiled into nodes of
// their own, so their names cannot be declared.
void TtvsCompiler::CheckSpecialName(const std::u16string& name, const TScriptPos& pos)
{
    if (IsSpecialFunctionName(name))
        Msgs().AddSyntaxError(pos, NameReservedMsg, {name});
}

std::unique_ptr<TTypedExpr> TtvsCompiler::MakeConstant(TTypeSymbol* typ, const Variant& value)
{
    return std::unique_ptr<TTypedExpr>(CreateUnifiedConst(*FProg, typ, value));
}

// A variable of the program being compiled. Typed variable nodes read and
// write their slot without going through a Variant conversion.
std::unique_ptr<TDataExpr> TtvsCompiler::MakeVarExpr(TDataSymbol* var)
{
    TTypeSymbol* typ = var->Typ();
    if (var->Level() != FProg->Level())
        return std::make_unique<TVarParentExpr>(typ, var->StackAddr(), var->Level(), var);
    TTypeSymbol* base = typ != nullptr ? typ->UnAliasedType() : nullptr;
    if (base == FProg->TypInteger())
        return std::make_unique<TIntVarExpr>(typ, var->StackAddr(), var);
    if (base == FProg->TypFloat())
        return std::make_unique<TFloatVarExpr>(typ, var->StackAddr(), var);
    if (base == FProg->TypString())
        return std::make_unique<TStrVarExpr>(typ, var->StackAddr(), var);
    if (base == FProg->TypBoolean())
        return std::make_unique<TBoolVarExpr>(typ, var->StackAddr(), var);
    return std::make_unique<TVarExpr>(typ, var->StackAddr(), var);
}

bool TtvsCompiler::IsOfBaseType(const TTypeSymbol* typ, const TTypeSymbol* base) const
{
    return typ != nullptr && base != nullptr && typ->IsOfType(const_cast<TTypeSymbol*>(base));
}

bool TtvsCompiler::IsBooleanOrVariant(const TTypedExpr& expr) const
{
    return IsOfBaseType(expr.Typ(), FProg->TypBoolean())
           || IsOfBaseType(expr.Typ(), FProg->TypVariant());
}

bool TtvsCompiler::IsConstantBoolean(const TTypedExpr& expr, bool value)
{
    return expr.IsConstant() && IsOfBaseType(expr.Typ(), FProg->TypBoolean())
           && expr.EvalAsBoolean(CompileTimeExec()) == value;
}

// The symbol of a plain local Integer variable node, the only kind a for
// loop can count with; nil for anything else.
const TDataSymbol* TtvsCompiler::LocalIntegerVariable(const TTypedExpr& expr) const
{
    if (typeid(expr) != typeid(TIntVarExpr))
        return nullptr;
    return static_cast<const TIntVarExpr&>(expr).DataSym();
}
