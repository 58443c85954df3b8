// Script positions: which source text, which line and which column.
// Shared by the tokenizer, the messages, the exceptions and the nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One source text known to a program: the main script ("*MainModule*"),
// a unit or an included file. Positions point at it, so it lives as long as
// the program that compiled it.
class TSourceFile final {
public:
    TSourceFile(std::u16string name, std::u16string code)
        : FName(std::move(name)), FCode(std::move(code)) {}
    const std::u16string& Name() const { return FName; }
    const std::u16string& Code() const { return FCode; }

private:
    std::u16string FName;
    std::u16string FCode;
};

inline constexpr char16_t MainModuleName[] = u"*MainModule*";

// Line and column are kept in separate fields: packing them would cut long
// lines and long files short. Line 1, column 1 is the first character; the
// null position is line 0, column 0.
struct TScriptPos {
    const TSourceFile* SourceFile = nullptr;
    int32_t Line = 0;
    int32_t Col = 0;

    constexpr TScriptPos() = default;
    constexpr TScriptPos(const TSourceFile* file, int32_t line, int32_t col)
        : SourceFile(file), Line(line), Col(col) {}

    bool IsNull() const { return Line == 0 && Col == 0; }
    bool IsMainModule() const
    {
        return SourceFile == nullptr || SourceFile->Name() == MainModuleName;
    }
    friend bool operator==(const TScriptPos& a, const TScriptPos& b)
    {
        return a.SourceFile == b.SourceFile && a.Line == b.Line && a.Col == b.Col;
    }
};
