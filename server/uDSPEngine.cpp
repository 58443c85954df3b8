#include "uDSPEngine.h"

#include "tvsComp.h"
#include "tvsFileSystem.h"
#include "tvsGuardian.h"
#include "tvsHtmlFilter.h"
#include "tvsStringFunctions.h"
#include "uc_Variables.h"

namespace {

constexpr char16_t PageOpenPattern[] = u"<?dsp";

// A message made for a log line: line breaks inside it would split it.
std::u16string OneLine(std::u16string text)
{
    for (char16_t& c : text)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

std::vector<std::u16string> FormattedTexts(const TtvsMessageList& list, bool errorsOnly)
{
    std::vector<std::u16string> texts;
    for (int i = 0; i < list.Count(); ++i) {
        const TtvsMessage& msg = list.GetMsg(i);
        if (errorsOnly && dynamic_cast<const TErrorMessage*>(&msg) == nullptr)
            continue;
        texts.push_back(OneLine(msg.FormattedText()));
    }
    return texts;
}

} // namespace

TDSPEngine::TDSPEngine()
    : FFilter(std::make_unique<TtvsHtmlFilter>())
    , FComponent(std::make_unique<TtvsScriptComponent>())
{
    // The functions pages may call must be known before the first page
    // compiles; registering again does nothing.
    RegisterStringFunctions();
    RegisterRequestVariableFunctions();
    FFilter->SetPatternOpen(PageOpenPattern);
}

// The run and the program go first, then the component that compiled the
// program, then the filter (members are destroyed in reverse order).
TDSPEngine::~TDSPEngine() = default;

void TDSPEngine::LoadPage(const std::string& fileName)
{
    FSource = FFilter->Process(LoadTextFile(fileName), nullptr);
}

bool TDSPEngine::Compile()
{
    FProgram = FComponent->Compile(FSource);
    return true;
}

bool TDSPEngine::Execute(int32_t timeoutMs)
{
    if (!FProgram)
        return true;
    // The steps of a run one by one rather than in one call, so that a stop
    // asked for before the run began still ends it at its first statement.
    ItvsProgramExecution exec = FProgram->CreateNewExecution();
    {
        const std::lock_guard lock(FStopLock);
        FExecution = exec;
    }
    exec->BeginProgram();
    {
        const std::lock_guard lock(FStopLock);
        if (FStopRequested)
            exec->Stop();
    }
    if (exec->ProgramState() == psRunning || exec->ProgramState() == psRunningStopped) {
        if (exec->ProgramState() == psRunning)
            exec->RunProgram(timeoutMs);
        exec->EndProgram();
    }
    return true;
}

std::u16string TDSPEngine::GetResult() const
{
    if (!FExecution || FExecution->Result() == nullptr)
        return {};
    return FExecution->Result()->ToU16String();
}

void TDSPEngine::Stop()
{
    const std::lock_guard lock(FStopLock);
    FStopRequested = true;
    if (FExecution)
        FExecution->Stop();
}

std::vector<std::u16string> TDSPEngine::CompileErrors() const
{
    if (!FProgram)
        return {};
    return FormattedTexts(FProgram->Messages(), true);
}

std::vector<std::u16string> TDSPEngine::RuntimeMessages() const
{
    if (!FExecution)
        return {};
    return FormattedTexts(FExecution->Messages(), false);
}
