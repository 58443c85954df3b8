// Statement readers of the compiler: blocks, declarations, assignments and
// the control-flow statements.
#include "tvsCompiler.h"
#include "tvsCoreExprs.h"
#include "tvsExprs.h"
#include "tvsFunctions.h"
#include "tvsMagicExprs.h"
#include "tvsRelExprs.h"
#include "tvsSymbols.h"
#include "tvsSystemOperators.h"
#include "tvsUtils.h"

namespace {

constexpr char16_t SemicolonExpectedMsg[] = u"\";\" expected.";
constexpr char16_t EndOfBlockExpectedMsg[] = u"End of block expected";
constexpr char16_t UnreachableCodeMsg[] = u"Unreachable code";
constexpr char16_t ColonExpectedMsg[] = u"Colon \":\" expected";
constexpr char16_t NameExpectedMsg[] = u"Name expected";
constexpr char16_t EqualExpectedMsg[] = u"\"=\" expected";
constexpr char16_t NoReturnTypeMsg[] = u"Assignment's right-side-argument has no return type!";
constexpr char16_t StringExpectedMsg[] = u"String expected";
constexpr char16_t ConstantExpressionExpectedMsg[] = u"Constant expression expected";
constexpr char16_t IncompatibleAssignMsg[] = u"Incompatible types: Cannot assign \"%s\" to \"%s\"";
constexpr char16_t CantAssignLeftMsg[] = u"Can't assign a value to the left-side argument!";
constexpr char16_t ForLoopVarAssignMsg[] = u"Assignment to FOR-Loop variable";
constexpr char16_t ConstantInstructionMsg[] = u"Constant Instruction - has no effect";
constexpr char16_t InvalidInstructionMsg[] =
    u"Invalid Instruction - function or assignment expected";
constexpr char16_t IncompatibleOperandsMsg[] = u"Incompatible operands";
constexpr char16_t BooleanExpectedMsg[] = u"Boolean expected";
constexpr char16_t ThenExpectedMsg[] = u"Then expected";
constexpr char16_t OfExpectedMsg[] = u"OF expected";
constexpr char16_t DoExpectedMsg[] = u"DO expected";
constexpr char16_t InfiniteLoopMsg[] = u"Infinite loop";
constexpr char16_t VariableExpectedMsg[] = u"Variable expected";
constexpr char16_t AssignExpectedMsg[] = u"\":=\" expected";
constexpr char16_t IntegerExpectedMsg[] = u"Integer expected";
constexpr char16_t ForVarNotLocalMsg[] = u"For loop control variable must be simple local variable";
constexpr char16_t ArrayExpectedMsg[] = u"Array expected";
constexpr char16_t ToOrDowntoExpectedMsg[] = u"TO or DOWNTO expected";
constexpr char16_t StepNotPositiveMsg[] = u"FOR loop STEP should be strictly positive: %d";
constexpr char16_t BreakOutsideOfLoopMsg[] = u"\"Break\" outside of loop";
constexpr char16_t ContinueOutsideOfLoopMsg[] = u"\"Continue\" outside of loop";
constexpr char16_t BreakInFinallyMsg[] =
    u"Direct \"Break\" or \"Continue\" not allowed in \"Finally\" block";
constexpr char16_t ExitInFinallyMsg[] = u"\"Exit\" not allowed in \"Finally\" block";
constexpr char16_t ExitWithoutResultMsg[] = u"No result required";
constexpr char16_t UnexpectedSectionMsg[] = u"Unexpected section declaration \"%s\"";
constexpr char16_t UnexpectedEndMsg[] = u"Unexpected END";
constexpr char16_t UnknownUnitMsg[] = u"Unknown unit \"%s\"";

using enum TTokenType;

const TTokenTypes AssignTokens{ttASSIGN, ttPLUS_ASSIGN, ttMINUS_ASSIGN, ttTIMES_ASSIGN,
                               ttDIVIDE_ASSIGN};

// A statement after which nothing in the same list can run.
bool EndsFlow(const TNoResultExpr& stmt)
{
    return dynamic_cast<const TBreakExpr*>(&stmt) != nullptr
           || dynamic_cast<const TContinueExpr*>(&stmt) != nullptr
           || dynamic_cast<const TExitExpr*>(&stmt) != nullptr;
}


} // namespace

// { rootstatement ";" } until the end of the text
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseRootBlock()
{
    auto block = std::make_unique<TBlockExpr>(FTok->DefaultPos());
    bool warned = false;
    bool flowEnded = false;
    while (FTok->HasToken()) {
        if (flowEnded && !warned) {
            Msgs().AddWarning(NextTokenPos(), UnreachableCodeMsg);
            warned = true;
        }
        bool ownSemicolon = false;
        bool stop = false;
        auto stmt = ParseRootStatement(ownSemicolon, stop);
        if (stmt) {
            flowEnded = EndsFlow(*stmt);
            block->AddStatement(std::move(stmt));
        }
        if (stop)
            break;
        // At the top level the last statement needs no ";".
        if (!ownSemicolon && !FTok->Accept(ttSEMI) && FTok->HasToken())
            AbortWithSyntaxError(HotPos(), SemicolonExpectedMsg);
    }
    return block;
}

// rootstatement -> "uses" unitlist | "implementation" | "end" "."
//                | declaration | statement
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseRootStatement(bool& ownSemicolon, bool& stop)
{
    const TTokenType t = FTok->IsAnyToken({ttUSES, ttIMPLEMENTATION, ttEND});
    switch (t) {
    case ttUSES:
        FTok->Discard();
        ParseUses();
        return nullptr;
    case ttIMPLEMENTATION:
        // Units come later; a main program has no sections.
        Msgs().AddSyntaxError(HotPos(), UnexpectedSectionMsg, {TokenDisplayString(t)});
        FTok->Discard();
        ownSemicolon = true;
        return nullptr;
    case ttEND:
        Msgs().AddSyntaxError(HotPos(), UnexpectedEndMsg);
        FTok->Discard();
        // "end." closes the text: nothing after it is read.
        if (FTok->Accept(ttDOT))
            stop = true;
        ownSemicolon = true;
        return nullptr;
    default:
        return ParseDeclarationOrStatement(ownSemicolon);
    }
}

// uses -> name { "," name }
void TtvsCompiler::ParseUses()
{
    do {
        if (!FTok->IsName())
            AbortWithSyntaxError(HotPos(), NameExpectedMsg);
        const std::u16string name = FTok->CurrentToken().Text;
        const TScriptPos pos = HotPos();
        FTok->Discard();
        // Units that the configuration makes visible are already in scope;
        // loading units from source comes with unit support.
        if (!IsConfiguredUnit(name))
            Msgs().AddSyntaxError(pos, UnknownUnitMsg, {name});
    } while (FTok->Accept(ttCOMMA));
}

// declaration -> vardecl | constdecl ; anything else is a statement
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseDeclarationOrStatement(bool& ownSemicolon)
{
    ownSemicolon = false;
    switch (FTok->IsAnyToken({ttVAR, ttCONST, ttRESOURCESTRING})) {
    case ttVAR:
        FTok->Discard();
        return ReadVarDecl();
    case ttCONST:
        FTok->Discard();
        ReadConstDecl();
        ownSemicolon = true;
        return nullptr;
    case ttRESOURCESTRING:
        FTok->Discard();
        ReadResourceStringDecl();
        ownSemicolon = true;
        return nullptr;
    default:
        return ParseBlockOrStatement();
    }
}

// block -> { declaration-or-statement ";" } endtoken
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseBlock(const TTokenTypes& endTokens,
                                                        TTokenType& endToken)
{
    TNestingGuard nesting(*this);
    // Declarations inside the block are local to it, but their data lives
    // in the frame of the program being compiled.
    auto block = std::make_unique<TBlockExpr>(
        HotPos(), std::make_unique<TSymbolTable>(FTable, FTable->AddrGenerator()));
    TTableScope scope(*this, block->Table());
    bool warned = false;
    bool flowEnded = false;
    while (FTok->HasToken()) {
        const TTokenType t = FTok->IsAnyToken(endTokens);
        if (t != ttNone) {
            FTok->Discard();
            endToken = t;
            return FoldStatement(std::move(block));
        }
        if (flowEnded && !warned) {
            Msgs().AddWarning(HotPos(), UnreachableCodeMsg);
            warned = true;
        }
        bool ownSemicolon = false;
        auto stmt = ParseDeclarationOrStatement(ownSemicolon);
        if (stmt) {
            flowEnded = EndsFlow(*stmt);
            block->AddStatement(std::move(stmt));
        }
        if (!ownSemicolon && !FTok->Accept(ttSEMI)) {
            if (!FTok->HasToken() || FTok->IsAnyToken(endTokens) == ttNone)
                AbortWithSyntaxError(HotPos(), SemicolonExpectedMsg);
        }
    }
    AbortWithSyntaxError(HotPos(), EndOfBlockExpectedMsg);
}

// blockorstatement -> "begin" block "end" | statement
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseBlockOrStatement()
{
    if (!FTok->HasToken())
        AbortWithSyntaxError(HotPos(), EndOfBlockExpectedMsg);
    if (FTok->Accept(ttBEGIN)) {
        TTokenType endToken = ttNone;
        return ParseBlock({ttEND}, endToken);
    }
    return ParseStatement();
}

// statement -> if | case | while | repeat | for | break | continue | exit
//            | "begin" block "end" | assignment-or-call | (empty)
std::unique_ptr<TNoResultExpr> TtvsCompiler::ParseStatement()
{
    TNestingGuard nesting(*this);
    const TTokenType t = FTok->IsAnyToken(
        {ttBEGIN, ttIF, ttCASE, ttWHILE, ttREPEAT, ttFOR, ttBREAK, ttCONTINUE, ttEXIT});
    if (t != ttNone)
        FTok->Discard();
    switch (t) {
    case ttBEGIN: {
        TTokenType endToken = ttNone;
        return ParseBlock({ttEND}, endToken);
    }
    case ttIF:
        return ReadIf();
    case ttCASE:
        return ReadCase();
    case ttWHILE:
        return ReadWhile();
    case ttREPEAT:
        return ReadRepeat();
    case ttFOR:
        return ReadFor();
    case ttBREAK:
    case ttCONTINUE:
        return ReadBreakContinue(t);
    case ttEXIT:
        return ReadExit();
    default:
        break;
    }
    if (FTok->IsName() || FTok->IsAnyToken({ttINHERITED, ttNEW, ttBLEFT}) != ttNone)
        return ReadExpressionStatement();
    // Anything else is an empty statement; the caller then wants ";" or the
    // end of the list at this token.
    return std::make_unique<TNullExpr>(HotPos());
}

// vardecl -> "var" name { "," name } [ ":" type ] [ ("=" | ":=") initializer ]
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadVarDecl()
{
    std::vector<std::u16string> names;
    std::vector<TScriptPos> positions;
    do {
        if (!FTok->IsName())
            AbortWithSyntaxError(HotPos(), NameExpectedMsg);
        names.push_back(FTok->CurrentToken().Text);
        positions.push_back(HotPos());
        CheckSpecialName(names.back(), HotPos());
        FTok->Discard();
    } while (FTok->Accept(ttCOMMA));

    TTypeSymbol* typ = nullptr;
    std::unique_ptr<TTypedExpr> init;
    TScriptPos assignPos;
    if (FTok->Accept(ttCOLON)) {
        typ = ReadType();
        if (names.size() == 1 && FTok->IsAnyToken({ttEQ, ttASSIGN}) != ttNone) {
            assignPos = HotPos();
            FTok->Discard();
            init = ParseExpression(typ);
        }
    } else {
        if (names.size() != 1 || FTok->IsAnyToken({ttEQ, ttASSIGN}) == ttNone)
            AbortWithSyntaxError(HotPos(), ColonExpectedMsg);
        assignPos = HotPos();
        FTok->Discard();
        init = ParseExpression(nullptr);
        typ = init->Typ();
        if (typ == nullptr) {
            Msgs().AddSyntaxError(assignPos, NoReturnTypeMsg);
            init.reset();
            typ = FProg->TypVariant();
        }
    }

    std::unique_ptr<TNoResultExpr> result;
    for (size_t i = 0; i < names.size(); ++i) {
        CheckName(names[i], positions[i]);
        auto* var = new TDataSymbol(names[i], typ);
        FTable->AddSymbol(var);
        if (init) {
            result = BuildAssignment(assignPos, ttASSIGN, std::move(init), MakeVarExpr(var));
        } else {
            AddInitialization(var, positions[i]);
        }
    }
    return result;
}

// Without an initializer a variable starts from its type's default, set when
// the program starts: a var inside a loop body is not reset on each pass.
void TtvsCompiler::AddInitialization(TDataSymbol* var, const TScriptPos& pos)
{
    TTypeSymbol* typ = var->Typ();
    TTypeSymbol* base = typ != nullptr ? typ->UnAliasedType() : nullptr;
    std::unique_ptr<TNoResultExpr> init;
    if (base == FProg->TypInteger())
        init = std::make_unique<TAssignConstToIntegerVarExpr>(pos, MakeVarExpr(var), 0);
    else if (base == FProg->TypFloat())
        init = std::make_unique<TAssignConstToFloatVarExpr>(pos, MakeVarExpr(var), 0.0);
    else if (base == FProg->TypBoolean())
        init = std::make_unique<TAssignConstToBoolVarExpr>(pos, MakeVarExpr(var), false);
    else if (base == FProg->TypString())
        init =
            std::make_unique<TAssignConstToStringVarExpr>(pos, MakeVarExpr(var), UnicodeString());
    else
        init = std::make_unique<TAssignExpr>(pos, MakeVarExpr(var),
                                             std::make_unique<TConstExpr>(typ, Variant()));
    FProg->InitExpr().AddStatement(std::move(init));
}

// constdecl -> "const" name [ ":" type ] "=" constexpr ";"
void TtvsCompiler::ReadConstDecl()
{
    if (!FTok->IsName())
        AbortWithSyntaxError(HotPos(), NameExpectedMsg);
    const std::u16string name = FTok->CurrentToken().Text;
    const TScriptPos namePos = HotPos();
    FTok->Discard();
    CheckName(name, namePos);
    CheckSpecialName(name, namePos);

    TTypeSymbol* typ = nullptr;
    if (FTok->Accept(ttCOLON))
        typ = ReadType();
    if (!FTok->Accept(ttEQ))
        AbortWithSyntaxError(HotPos(), EqualExpectedMsg);
    const TScriptPos valuePos = NextTokenPos();
    std::unique_ptr<TTypedExpr> value = ParseExpression(typ);
    if (typ != nullptr) {
        // An Integer value for a declared Float is converted.
        value = ConvertArgument(std::move(value), typ);
        if (!typ->IsCompatible(value->Typ()))
            Msgs().AddSyntaxError(
                valuePos, IncompatibleAssignMsg,
                {TSymbol::DisplayNameOf(typ), TSymbol::DisplayNameOf(value->Typ())});
    } else {
        typ = value->Typ();
    }
    if (!value->IsConstant()) {
        Msgs().AddSyntaxError(valuePos, ConstantExpressionExpectedMsg);
        FTable->AddSymbol(new TConstSymbol(name, typ, Variant()));
    } else {
        Variant v;
        value->EvalAsVariant(CompileTimeExec(), v);
        FTable->AddSymbol(new TConstSymbol(name, typ, v));
    }
    if (!FTok->Accept(ttSEMI))
        AbortWithSyntaxError(HotPos(), SemicolonExpectedMsg);
}

// resourcestringdecl -> "resourcestring" name "=" constexpr ";"
void TtvsCompiler::ReadResourceStringDecl()
{
    if (!FTok->IsName())
        AbortWithSyntaxError(HotPos(), NameExpectedMsg);
    const std::u16string name = FTok->CurrentToken().Text;
    const TScriptPos namePos = HotPos();
    FTok->Discard();
    CheckName(name, namePos);
    CheckSpecialName(name, namePos);
    if (!FTok->Accept(ttEQ))
        AbortWithSyntaxError(HotPos(), EqualExpectedMsg);
    const TScriptPos valuePos = NextTokenPos();
    std::unique_ptr<TTypedExpr> value = ParseExpression(FProg->TypString());
    std::u16string text;
    if (!value->IsConstant()) {
        Msgs().AddSyntaxError(valuePos, ConstantExpressionExpectedMsg);
    } else if (!IsOfBaseType(value->Typ(), FProg->TypString())) {
        Msgs().AddSyntaxError(valuePos, StringExpectedMsg);
    } else {
        UnicodeString v;
        value->EvalAsString(CompileTimeExec(), v);
        text = std::u16string(v.View());
    }
    auto* sym = new TResourceStringSymbol(name, std::move(text));
    sym->SetTyp(FProg->TypString());
    FTable->AddSymbol(sym);
    if (!FTok->Accept(ttSEMI))
        AbortWithSyntaxError(HotPos(), SemicolonExpectedMsg);
}

// assignment-or-call -> target [ (":=" | "+=" | "-=" | "*=" | "/=") expr ]
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadExpressionStatement()
{
    const TScriptPos pos = HotPos();
    const int errorsBefore = Msgs().Count();
    std::unique_ptr<TTypedExpr> left;
    if (FTok->Accept(ttBLEFT)) {
        left = ParseExpression(nullptr);
        if (!FTok->Accept(ttBRIGHT))
            AbortWithSyntaxError(HotPos(), u"\")\" expected.");
        left = ParseMemberChain(std::move(left), false, nullptr);
    } else {
        left = ParseNameExpression(true, nullptr);
    }

    const TTokenType t = FTok->IsAnyToken(AssignTokens);
    if (t != ttNone) {
        const TScriptPos assignPos = HotPos();
        FTok->Discard();
        auto* data = dynamic_cast<TDataExpr*>(left.get());
        if (data == nullptr) {
            Msgs().AddSyntaxError(pos, CantAssignLeftMsg);
            ParseExpression(nullptr); // read and drop: the statement is lost anyway
            return nullptr;
        }
        if (!data->IsWritable())
            Msgs().AddSyntaxError(pos, CantAssignLeftMsg);
        WarnIfForLoopVariable(*left, pos);
        TTypeSymbol* leftType = left->Typ();
        auto right = ParseExpression(leftType);
        return BuildAssignment(assignPos, t, std::move(right), std::move(left));
    }

    // Character stores, Inc, Dec and Assert have no result of their own:
    // they are statements as they are.
    if (IsStatementExpr(*left))
        return std::make_unique<TNoResultWrapperExpr>(pos, std::move(left));
    if (dynamic_cast<TInternalFuncCallBase*>(left.get()) != nullptr) {
        const bool constant = left->IsConstant();
        auto stmt = std::make_unique<TNoResultWrapperExpr>(pos, std::move(left));
        if (constant && Msgs().Count() == errorsBefore)
            Msgs().AddHint(pos, ConstantInstructionMsg);
        return stmt;
    }
    if (left->IsConstant()) {
        if (Msgs().Count() == errorsBefore)
            Msgs().AddHint(pos, ConstantInstructionMsg);
        return std::make_unique<TNullExpr>(pos);
    }
    AbortWithSyntaxError(pos, InvalidInstructionMsg);
}

std::unique_ptr<TNoResultExpr> TtvsCompiler::BuildAssignment(const TScriptPos& pos,
                                                             TTokenType token,
                                                             std::unique_ptr<TTypedExpr> right,
                                                             std::unique_ptr<TTypedExpr> left)
{
    if (right->Typ() == nullptr) {
        Msgs().AddSyntaxError(pos, NoReturnTypeMsg);
        return std::make_unique<TNullExpr>(pos);
    }
    if (left->Typ() == nullptr)
        return std::make_unique<TNullExpr>(pos);

    if (token != ttASSIGN) {
        // The op-assignment table decides which combinations exist, so no
        // assignment conversion is asked for: "i += 1.5" and "i /= 2" on an
        // Integer store a float result into the integer variable.
        auto node = BuildOpAssignment(pos, token, right, left);
        if (!node) {
            Msgs().AddSyntaxError(pos, IncompatibleOperandsMsg);
            std::unique_ptr<TDataExpr> target(static_cast<TDataExpr*>(left.release()));
            node = std::make_unique<TAssignExpr>(pos, std::move(target), std::move(right));
        }
        return FoldStatement(std::move(node));
    }
    std::unique_ptr<TDataExpr> target(static_cast<TDataExpr*>(left.release()));
    right = ConvertForAssignment(std::move(right), target->Typ(), pos);
    return FoldStatement(std::make_unique<TAssignExpr>(pos, std::move(target), std::move(right)));
}

// The op-assignment node the operator table has for (token, left type,
// right type). Moves the operands only on success.
std::unique_ptr<TNoResultExpr> TtvsCompiler::BuildOpAssignment(const TScriptPos& pos,
                                                               TTokenType token,
                                                               std::unique_ptr<TTypedExpr>& right,
                                                               std::unique_ptr<TTypedExpr>& left)
{
    const TRegisteredOperator* entry =
        SystemOperatorsFor(*FProg).OperatorFor(token, left->Typ(), right->Typ());
    if (entry == nullptr || entry->AssignExprClass == nullptr)
        return nullptr;
    std::unique_ptr<TDataExpr> target(static_cast<TDataExpr*>(left.release()));
    return entry->AssignExprClass(pos, std::move(target), std::move(right));
}

// if -> "if" condition "then" statement [ "else" statement ]
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadIf()
{
    const TScriptPos pos = HotPos();
    auto condition = ParseExpression(nullptr);
    if (!IsBooleanOrVariant(*condition))
        Msgs().AddSyntaxError(pos, BooleanExpectedMsg);
    if (!FTok->Accept(ttTHEN))
        AbortWithSyntaxError(HotPos(), ThenExpectedMsg);

    std::unique_ptr<TNoResultExpr> node;
    if (FTok->Accept(ttELSE)) {
        // "if c then else S" runs S when c is false.
        auto negated = Fold(std::make_unique<TNotBoolExpr>(*FProg, std::move(condition)), pos);
        node = std::make_unique<TIfThenExpr>(pos, std::move(negated), ParseBlockOrStatement());
    } else {
        auto thenStmt = ParseBlockOrStatement();
        if (FTok->Accept(ttELSE)) {
            auto elseStmt = ParseBlockOrStatement();
            node = std::make_unique<TIfThenElseExpr>(pos, std::move(condition), std::move(thenStmt),
                                                     std::move(elseStmt));
        } else {
            node = std::make_unique<TIfThenExpr>(pos, std::move(condition), std::move(thenStmt));
        }
    }
    return FoldStatement(std::move(node));
}

// case -> "case" expr "of" { labels ":" statement [";"] } [ "else" block ] "end"
// labels -> label { "," label } ; label -> expr [ ".." expr ]
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadCase()
{
    const TScriptPos pos = HotPos();
    auto value = ParseExpression(nullptr);
    TTypeSymbol* valueType = value->Typ();
    if (!FTok->Accept(ttOF))
        AbortWithSyntaxError(HotPos(), OfExpectedMsg);
    auto node = std::make_unique<TCaseExpr>(pos, std::move(value));

    struct TLabel {
        TScriptPos Pos;
        std::unique_ptr<TTypedExpr> From;
        std::unique_ptr<TTypedExpr> To; // nil for a single value
    };
    while (!FTok->Accept(ttEND)) {
        if (!FTok->HasToken())
            AbortWithSyntaxError(HotPos(), EndOfBlockExpectedMsg);
        if (FTok->Accept(ttELSE)) {
            TTokenType endToken = ttNone;
            node->SetElse(ParseBlock({ttEND}, endToken));
            break;
        }
        std::vector<TLabel> labels;
        do {
            TLabel label{NextTokenPos(), ParseExpression(nullptr), nullptr};
            if (FTok->Accept(ttDOTDOT))
                label.To = ParseExpression(nullptr);
            labels.push_back(std::move(label));
        } while (FTok->Accept(ttCOMMA));
        if (!FTok->Accept(ttCOLON))
            AbortWithSyntaxError(HotPos(), ColonExpectedMsg);
        // The labels of one group share the statement; the first owns it.
        std::unique_ptr<TNoResultExpr> stmt = ParseBlockOrStatement();
        TNoResultExpr* shared = stmt.release();
        bool owner = true;
        for (TLabel& label : labels) {
            std::unique_ptr<TCaseCondition> condition;
            if (label.To)
                condition = std::make_unique<TRangeCaseCondition>(
                    label.Pos, shared, owner, std::move(label.From), std::move(label.To));
            else
                condition = std::make_unique<TCompareCaseCondition>(label.Pos, shared, owner,
                                                                    std::move(label.From));
            owner = false;
            condition->TypeCheck(*FProg, valueType);
            node->AddCondition(std::move(condition));
        }
        if (FTok->IsAnyToken({ttELSE, ttEND}) == ttNone && !FTok->Accept(ttSEMI))
            AbortWithSyntaxError(HotPos(), SemicolonExpectedMsg);
    }
    return FoldStatement(std::move(node));
}

// while -> "while" condition "do" statement
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadWhile()
{
    const TScriptPos pos = HotPos();
    EnterLoop(pos);
    auto condition = ParseExpression(nullptr);
    if (!IsBooleanOrVariant(*condition))
        Msgs().AddSyntaxError(pos, BooleanExpectedMsg);
    if (!FTok->Accept(ttDO))
        AbortWithSyntaxError(HotPos(), DoExpectedMsg);
    if (!IsConstantBoolean(*condition, true))
        MarkLoopExitable(TLoopExitable::leBreak);
    auto body = ParseBlockOrStatement();
    LeaveLoop();
    return FoldStatement(std::make_unique<TWhileExpr>(pos, std::move(condition), std::move(body)));
}

// repeat -> "repeat" block "until" condition
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadRepeat()
{
    const TScriptPos pos = HotPos();
    EnterLoop(pos);
    TTokenType endToken = ttNone;
    auto body = ParseBlock({ttUNTIL}, endToken);
    const TScriptPos condPos = NextTokenPos();
    auto condition = ParseExpression(nullptr);
    if (!IsBooleanOrVariant(*condition))
        Msgs().AddSyntaxError(condPos, BooleanExpectedMsg);
    if (!IsConstantBoolean(*condition, false))
        MarkLoopExitable(TLoopExitable::leBreak);
    LeaveLoop();
    return FoldStatement(std::make_unique<TRepeatExpr>(pos, std::move(condition), std::move(body)));
}

// for -> "for" variable ":=" expr ("to" | "downto") expr [ "step" expr ] "do" statement
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadFor()
{
    const TScriptPos pos = HotPos();
    const TScriptPos varPos = NextTokenPos();
    auto varExpr = ParseNameExpression(true, nullptr);
    if (dynamic_cast<TVarExpr*>(varExpr.get()) == nullptr)
        AbortWithSyntaxError(varPos, VariableExpectedMsg);
    WarnIfForLoopVariable(*varExpr, varPos);
    if (FTok->Accept(ttIN))
        return ReadForIn(pos, std::move(varExpr), varPos);
    if (!FTok->Accept(ttASSIGN))
        AbortWithSyntaxError(HotPos(), AssignExpectedMsg);
    if (!IsOfBaseType(varExpr->Typ(), FProg->TypInteger()))
        AbortWithSyntaxError(varPos, IntegerExpectedMsg);
    const TDataSymbol* varSym = LocalIntegerVariable(*varExpr);
    if (varSym == nullptr)
        AbortWithSyntaxError(varPos, ForVarNotLocalMsg);

    const TScriptPos fromPos = NextTokenPos();
    auto from = ParseExpression(nullptr);
    if (!IsOfBaseType(from->Typ(), FProg->TypInteger()))
        AbortWithSyntaxError(fromPos, IntegerExpectedMsg);
    bool upward = true;
    if (FTok->Accept(ttDOWNTO))
        upward = false;
    else if (!FTok->Accept(ttTO))
        Msgs().AddSyntaxError(HotPos(), ToOrDowntoExpectedMsg);
    const TScriptPos toPos = NextTokenPos();
    auto to = ParseExpression(nullptr);
    if (!IsOfBaseType(to->Typ(), FProg->TypInteger()))
        Msgs().AddSyntaxError(toPos, IntegerExpectedMsg);

    std::unique_ptr<TTypedExpr> step = ReadForStep();
    auto body = ReadForBody(pos, varSym);

    std::unique_ptr<TIntVarExpr> loopVar(static_cast<TIntVarExpr*>(varExpr.release()));
    std::unique_ptr<TNoResultExpr> loop;
    if (step && upward)
        loop =
            std::make_unique<TForUpwardStepExpr>(pos, std::move(loopVar), std::move(from),
                                                 std::move(to), std::move(step), std::move(body));
    else if (step)
        loop =
            std::make_unique<TForDownwardStepExpr>(pos, std::move(loopVar), std::move(from),
                                                   std::move(to), std::move(step), std::move(body));
    else if (upward)
        loop = std::make_unique<TForUpwardExpr>(pos, std::move(loopVar), std::move(from),
                                                std::move(to), std::move(body));
    else
        loop = std::make_unique<TForDownwardExpr>(pos, std::move(loopVar), std::move(from),
                                                  std::move(to), std::move(body));
    return FoldStatement(std::move(loop));
}

// "step" is not a reserved word: it is recognised only here.
std::unique_ptr<TTypedExpr> TtvsCompiler::ReadForStep()
{
    if (!FTok->IsName() || !FastSameText(FTok->CurrentToken().Text, u"step"))
        return nullptr;
    FTok->Discard();
    const TScriptPos stepPos = NextTokenPos();
    auto step = ParseExpression(nullptr);
    if (!IsOfBaseType(step->Typ(), FProg->TypInteger())) {
        Msgs().AddSyntaxError(stepPos, IntegerExpectedMsg);
    } else if (step->IsConstant()) {
        const int64_t value = step->EvalAsInteger(CompileTimeExec());
        if (value <= 0)
            Msgs().AddSyntaxError(stepPos, StepNotPositiveMsg, {value});
    }
    return step;
}

// "do" statement, read as a loop body. A for loop can always end, so it
// never warns.
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadForBody(const TScriptPos& pos,
                                                         const TDataSymbol* controlVar)
{
    EnterLoop(pos);
    MarkLoopExitable(TLoopExitable::leBreak);
    if (!FTok->Accept(ttDO))
        AbortWithSyntaxError(HotPos(), DoExpectedMsg);
    if (controlVar != nullptr)
        FForVars.push_back(controlVar);
    auto body = ParseBlockOrStatement();
    if (controlVar != nullptr)
        FForVars.pop_back();
    LeaveLoop();
    return body;
}

// for-in -> "for" variable "in" value [ "step" expr ] "do" statement
// Over a string the variable takes each character in turn.
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadForIn(const TScriptPos& pos,
                                                       std::unique_ptr<TTypedExpr> varExpr,
                                                       const TScriptPos& varPos)
{
    const TScriptPos valuePos = NextTokenPos();
    auto value = ParseExpression(nullptr);
    // Arrays and enumerations come with type declarations; a string is the
    // only collection so far.
    if (!IsOfBaseType(value->Typ(), FProg->TypString()))
        AbortWithSyntaxError(valuePos, ArrayExpectedMsg);
    TTypeSymbol* varType = varExpr->Typ();
    if (varType == nullptr || !varType->IsCompatible(FProg->TypString()))
        Msgs().AddSyntaxError(
            varPos, IncompatibleAssignMsg,
            {TSymbol::DisplayNameOf(FProg->TypString()), TSymbol::DisplayNameOf(varType)});
    std::unique_ptr<TTypedExpr> step = ReadForStep();
    auto body = ReadForBody(pos, nullptr);
    std::unique_ptr<TDataExpr> target(static_cast<TDataExpr*>(varExpr.release()));
    return FoldStatement(std::make_unique<TForInStringExpr>(
        pos, std::move(target), std::move(value), std::move(step), std::move(body)));
}

// "break" | "continue"
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadBreakContinue(TTokenType token)
{
    const TScriptPos pos = HotPos();
    if (FLoops.empty())
        Msgs().AddSyntaxError(pos,
                              token == ttBREAK ? BreakOutsideOfLoopMsg : ContinueOutsideOfLoopMsg);
    else if (!FFinallyExprs.empty() && FFinallyExprs.back())
        Msgs().AddSyntaxError(pos, BreakInFinallyMsg);
    if (token == ttBREAK) {
        MarkLoopExitable(TLoopExitable::leBreak);
        return std::make_unique<TBreakExpr>(pos);
    }
    return std::make_unique<TContinueExpr>(pos);
}

// exit -> "exit" [ [ "(" ] value [ ")" ] ]
std::unique_ptr<TNoResultExpr> TtvsCompiler::ReadExit()
{
    const TScriptPos pos = HotPos();
    for (bool inFinally : FFinallyExprs)
        if (inFinally) {
            Msgs().AddSyntaxError(pos, ExitInFinallyMsg);
            break;
        }
    MarkLoopExitable(TLoopExitable::leExit);
    if (!FTok->HasToken() || FTok->IsAnyToken({ttEND, ttELSE, ttUNTIL, ttSEMI}) != ttNone)
        return std::make_unique<TExitExpr>(pos);
    // Only functions have a result to set, and the main program is none.
    AbortWithSyntaxError(pos, ExitWithoutResultMsg);
}

void TtvsCompiler::EnterLoop(const TScriptPos& pos)
{
    FLoops.push_back(pos);
    FLoopExitable.push_back(TLoopExitable::leNotExitable);
    if (!FFinallyExprs.empty())
        FFinallyExprs.push_back(false);
}

void TtvsCompiler::MarkLoopExitable(TLoopExitable kind)
{
    if (FLoopExitable.empty())
        return;
    if (kind == TLoopExitable::leBreak) {
        if (FLoopExitable.back() == TLoopExitable::leNotExitable)
            FLoopExitable.back() = TLoopExitable::leBreak;
        return;
    }
    for (auto it = FLoopExitable.rbegin(); it != FLoopExitable.rend(); ++it) {
        if (*it == TLoopExitable::leExit)
            break;
        *it = TLoopExitable::leExit;
    }
}

void TtvsCompiler::LeaveLoop()
{
    if (FLoopExitable.back() == TLoopExitable::leNotExitable)
        Msgs().AddWarning(FLoops.back(), InfiniteLoopMsg);
    if (!FFinallyExprs.empty() && !FFinallyExprs.back())
        FFinallyExprs.pop_back();
    FLoops.pop_back();
    FLoopExitable.pop_back();
}

void TtvsCompiler::WarnIfForLoopVariable(const TTypedExpr& target, const TScriptPos& pos)
{
    const TDataSymbol* var = LocalIntegerVariable(target);
    if (var == nullptr)
        return;
    for (const TDataSymbol* forVar : FForVars)
        if (forVar == var) {
            Msgs().AddWarning(pos, ForLoopVarAssignMsg);
            return;
        }
}
