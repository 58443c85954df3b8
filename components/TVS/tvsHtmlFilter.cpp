#include "tvsHtmlFilter.h"

#include <string_view>

namespace {

constexpr char16_t PatternOpenMissing[] = u"Property \"PatternOpen\" must be set!";
constexpr char16_t PatternCloseMissing[] = u"Property \"PatternClose\" must be set!";
constexpr char16_t PatternEvalMissing[] = u"Property \"PatternEval\" must be set!";

// Writes a run of page text as one Print statement. Tab, CR and LF go out as
// character codes (#9, #13, #10) so the statement stays on one line; the
// script gets one CR LF for every LF of the run afterwards, which keeps the
// code blocks that follow on the line numbers they have in the page.
void EmitLiteral(std::u16string& out, std::u16string_view run)
{
    if (run.empty())
        return;
    out += u"Print(";
    bool quoteOpen = false;
    size_t lineFeeds = 0;
    for (const char16_t c : run) {
        const char16_t* code = nullptr;
        switch (c) {
        case u'\t':
            code = u"#9";
            break;
        case u'\n':
            code = u"#10";
            ++lineFeeds;
            break;
        case u'\r':
            code = u"#13";
            break;
        default:
            break;
        }
        if (code) {
            if (quoteOpen)
                out += u'\'';
            quoteOpen = false;
            out += code;
        } else if (c == u'\'') {
            out += quoteOpen ? u"''" : u"'''";
            quoteOpen = true;
        } else {
            if (!quoteOpen)
                out += u'\'';
            quoteOpen = true;
            out += c;
        }
    }
    if (quoteOpen)
        out += u'\'';
    out += u");";
    for (size_t i = 0; i < lineFeeds; ++i)
        out += u"\r\n";
}

} // namespace

std::u16string TtvsHtmlFilter::Process(const std::u16string& text, TtvsMessageList* msgs)
{
    if (FPatternOpen.empty())
        throw EHTMLFilterException(PatternOpenMissing);
    if (FPatternClose.empty())
        throw EHTMLFilterException(PatternCloseMissing);
    if (FPatternEval.empty())
        throw EHTMLFilterException(PatternEvalMissing);

    const std::u16string page = TtvsFilter::Process(text, msgs);
    const std::u16string_view s = page;
    std::u16string out;
    // Literal text grows by a few characters per line; one allocation covers
    // most pages.
    out.reserve(s.size() + s.size() / 4 + 16);

    size_t pos = 0;
    while (pos < s.size()) {
        const size_t open = s.find(FPatternOpen, pos);
        if (open == std::u16string_view::npos) {
            EmitLiteral(out, s.substr(pos));
            break;
        }
        EmitLiteral(out, s.substr(pos, open - pos));

        size_t codeStart = open + FPatternOpen.size();
        const bool isEval = s.substr(codeStart, FPatternEval.size()) == FPatternEval;
        if (isEval) {
            out += u"Print(";
            codeStart += FPatternEval.size();
        }
        // The filter knows nothing of script syntax, so a close pattern inside
        // a string of the code ends the block there; authors split such
        // strings ('?' + '>').
        const size_t close = s.find(FPatternClose, codeStart);
        if (close == std::u16string_view::npos) {
            out += s.substr(codeStart);
            pos = s.size();
        } else {
            out += s.substr(codeStart, close - codeStart);
            pos = close + FPatternClose.size();
        }
        if (isEval)
            out += u");";
    }
    return out;
}
