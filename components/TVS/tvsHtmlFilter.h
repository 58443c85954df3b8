// The page filter: turns HTML with embedded code blocks into a script whose
// statements print the HTML and run the code, keeping every line of the page
// on the same line of the script.
#pragma once

#include <string>

#include "tvsFilter.h"

// Raised by Process when one of the patterns is empty.
class EHTMLFilterException final : public Exception {
public:
    using Exception::Exception;
    const char16_t* ClassName() const override { return u"EHTMLFilterException"; }
};

class TtvsHtmlFilter final : public TtvsFilter {
public:
    // PatternOpen opens a code block and PatternClose ends it; when
    // PatternEval follows PatternOpen directly, the block is an expression
    // whose value is printed.
    const std::u16string& PatternOpen() const { return FPatternOpen; }
    void SetPatternOpen(std::u16string value) { FPatternOpen = std::move(value); }
    const std::u16string& PatternClose() const { return FPatternClose; }
    void SetPatternClose(std::u16string value) { FPatternClose = std::move(value); }
    const std::u16string& PatternEval() const { return FPatternEval; }
    void SetPatternEval(std::u16string value) { FPatternEval = std::move(value); }

    std::u16string Process(const std::u16string& text, TtvsMessageList* msgs) override;
    const char16_t* ClassName() const override { return u"TtvsHtmlFilter"; }

private:
    std::u16string FPatternOpen = u"<?pas";
    std::u16string FPatternClose = u"?>";
    std::u16string FPatternEval = u"=";
};
