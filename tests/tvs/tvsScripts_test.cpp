// Runs every script under tests/scripts through the same path as
// `tervalo run` and compares what it printed, the messages and the exit
// status with the expectations written in the script's comments:
//
//   PrintLn(1 + 2);     // expect: 3                 one line of output (CR LF added)
//   x := ;              // expect syntax error: Expression expected [line: 1, column: 6]
//   // expect compile error: ... / expect warning: ... / expect hint: ...
//   // expect runtime error: Division by zero [line: 3, column: 3]
//   // timeout: 200      run with this time-out in milliseconds
//   // exit: 2           the exit status, when it is not the one the messages imply
//
// Messages are compared in order and in full (FormattedText), so positions
// are part of every expectation.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tvsComp.h"
#include "tvsFileSystem.h"

namespace {

namespace fs = std::filesystem;

struct TScriptCase {
    fs::path File;
    std::string Name; // for the test name: the relative path with "_" for separators
};

struct TExpectations {
    std::u16string Output;
    std::vector<std::u16string> Messages;
    int64_t TimeoutMs = 0;
    std::optional<int> ExitStatus;
};

// Each marker turns the rest of its line into an expectation; the prefix is
// what the message's formatted text starts with.
// clang-format off
const struct {
    std::u16string_view Marker;
    std::u16string_view Prefix;
} MessageMarkers[] = {
    {u"// expect syntax error: ",   u"Syntax Error: "},
    {u"// expect compile error: ",  u"Compile Error: "},
    {u"// expect warning: ",        u"Warning: "},
    {u"// expect hint: ",           u"Hint: "},
    {u"// expect runtime error: ",  u"Runtime Error: "},
};
// clang-format on

std::u16string RestOfLine(std::u16string_view line, size_t from)
{
    std::u16string rest(line.substr(from));
    while (!rest.empty() && (rest.back() == u'\r' || rest.back() == u' '))
        rest.pop_back();
    return rest;
}

std::optional<int64_t> NumberAfter(std::u16string_view line, std::u16string_view marker)
{
    const size_t at = line.find(marker);
    if (at == std::u16string_view::npos)
        return std::nullopt;
    int64_t value = 0;
    for (size_t i = at + marker.size(); i < line.size() && line[i] >= u'0' && line[i] <= u'9'; ++i)
        value = value * 10 + (line[i] - u'0');
    return value;
}

TExpectations ReadExpectations(std::u16string_view source)
{
    TExpectations result;
    size_t start = 0;
    while (start < source.size()) {
        size_t end = source.find(u'\n', start);
        if (end == std::u16string_view::npos)
            end = source.size();
        const std::u16string_view line = source.substr(start, end - start);
        start = end + 1;

        constexpr std::u16string_view OutputMarker = u"// expect: ";
        if (const size_t at = line.find(OutputMarker); at != std::u16string_view::npos) {
            result.Output += RestOfLine(line, at + OutputMarker.size()) + u"\r\n";
            continue;
        }
        for (const auto& m : MessageMarkers) {
            if (const size_t at = line.find(m.Marker); at != std::u16string_view::npos)
                result.Messages.push_back(std::u16string(m.Prefix)
                                          + RestOfLine(line, at + m.Marker.size()));
        }
        if (auto ms = NumberAfter(line, u"// timeout: "))
            result.TimeoutMs = *ms;
        if (auto status = NumberAfter(line, u"// exit: "))
            result.ExitStatus = static_cast<int>(*status);
    }
    return result;
}

// Compile errors stop before the run; any run-time message means the run
// failed; otherwise the script ran cleanly.
int ImpliedExitStatus(const std::vector<std::u16string>& messages)
{
    const auto startsWith = [](const std::u16string& s, std::u16string_view p) {
        return s.compare(0, p.size(), p) == 0;
    };
    for (const auto& m : messages)
        if (startsWith(m, u"Syntax Error: ") || startsWith(m, u"Compile Error: "))
            return 1;
    for (const auto& m : messages)
        if (startsWith(m, u"Runtime Error: "))
            return 2;
    return 0;
}

std::vector<TScriptCase> CollectScripts()
{
    std::vector<TScriptCase> cases;
    const fs::path root = TVS_SCRIPT_TESTS_DIR;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".pas")
            continue;
        std::string name = fs::relative(entry.path(), root).replace_extension().generic_string();
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        cases.push_back({entry.path(), name});
    }
    std::sort(cases.begin(), cases.end(),
              [](const TScriptCase& a, const TScriptCase& b) { return a.Name < b.Name; });
    return cases;
}

std::string Utf8(std::u16string_view text)
{
    return TextToUTF8(text);
}

std::vector<std::string> Utf8Lines(const std::vector<std::u16string>& lines)
{
    std::vector<std::string> result;
    for (const auto& l : lines)
        result.push_back(Utf8(l));
    return result;
}

// Failure reports name the script, not the bytes of the case.
void PrintTo(const TScriptCase& c, std::ostream* os)
{
    *os << c.File.string();
}

class tvsScripts : public testing::TestWithParam<TScriptCase> {};

TEST_P(tvsScripts, RunsAsExpected)
{
    const std::u16string source = LoadTextFile(GetParam().File);
    const TExpectations expected = ReadExpectations(source);
    const TtvsScriptRunOutcome outcome = CompileAndRunScript(source, expected.TimeoutMs);

    EXPECT_EQ(Utf8Lines(outcome.Messages), Utf8Lines(expected.Messages));
    EXPECT_EQ(Utf8(outcome.Output), Utf8(expected.Output));
    EXPECT_EQ(outcome.ExitStatus,
              expected.ExitStatus.value_or(ImpliedExitStatus(expected.Messages)));
}

INSTANTIATE_TEST_SUITE_P(Files, tvsScripts, testing::ValuesIn(CollectScripts()),
                         [](const testing::TestParamInfo<TScriptCase>& param) {
                             return param.param.Name;
                         });

} // namespace
