// Prints every token of a script file, one per line, with its position, then
// the messages the tokenizer listed. For debugging the tokenizer and scripts.
//
//   tvsTokDump FILE      (FILE "-" reads standard input)
//
// Exit status: 0 when no error was listed, 1 after a lexical error, 2 when the
// file cannot be read.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "tvsPascalTokenizer.h"
#include "tvsXPlatform.h"

namespace {

constexpr int MaxTokens = 10'000'000; // a bound, not a limit anyone meets

// A byte-order mark selects UTF-16 or UTF-8; otherwise the bytes are UTF-8.
std::u16string Decode(const std::string& bytes)
{
    const auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2
        && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned lo = little ? byte(i) : byte(i + 1);
            const unsigned hi = little ? byte(i + 1) : byte(i);
            text.push_back(static_cast<char16_t>(hi << 8 | lo));
        }
        return text;
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
        return UTF8ToUTF16(std::string_view(bytes).substr(3));
    return UTF8ToUTF16(bytes);
}

bool ReadAll(const std::string& name, std::string& bytes)
{
    if (name == "-") {
        std::ostringstream in;
        in << std::cin.rdbuf();
        bytes = in.str();
        return true;
    }
    std::ifstream file(name, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: tvsTokDump FILE\n";
        return 2;
    }
    std::string bytes;
    if (!ReadAll(argv[1], bytes)) {
        std::cerr << "tvsTokDump: cannot read " << argv[1] << "\n";
        return 2;
    }
    const TSourceFile source(MainModuleName, Decode(bytes));
    const TPascalTokenizerStateRules rules;
    TtvsCompileMessageList msgs;
    auto tokenizer = rules.CreateTokenizer(msgs);
    tokenizer->BeginSource(&source);
    try {
        for (int i = 0; i < MaxTokens && tokenizer->HasToken(); ++i) {
            std::cout << UTF16ToUTF8(TokenDebugText(tokenizer->CurrentToken())) << "\n";
            tokenizer->Discard();
        }
    } catch (const ECompileError&) {
        // Already listed; the messages follow.
    }
    for (int i = 0; i < msgs.Count(); ++i)
        std::cout << UTF16ToUTF8(msgs.GetMsg(i).FormattedText()) << "\n";
    return msgs.HasErrors() ? 1 : 0;
}
