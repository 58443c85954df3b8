// Diagnostics of the script engine: the message classes, the message lists
// that collect them, the position text, the compile exceptions, and the small
// "%s"/"%d"/"%x" formatter every message text goes through.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tvsExceptions.h"
#include "tvsScriptPos.h"

// ---------------------------------------------------------------------------
// Formatting

// One argument of FormatText: a 64-bit integer or a text. The text is
// copied, so arguments may be built from temporaries and kept in containers.
class TFormatArg final {
public:
    enum TKind : uint8_t { fkInteger, fkString };

    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char>)
        TFormatArg(T value) // NOLINT(google-explicit-constructor)
        : FKind(fkInteger)
        , FInt(static_cast<int64_t>(value))
    {}
    TFormatArg(std::u16string_view value) // NOLINT(google-explicit-constructor)
        : FKind(fkString)
        , FStr(value)
    {}
    TFormatArg(std::u16string value) // NOLINT(google-explicit-constructor)
        : FKind(fkString)
        , FStr(std::move(value))
    {}
    TFormatArg(const char16_t* value) // NOLINT(google-explicit-constructor)
        : FKind(fkString)
        , FStr(value)
    {}

    TKind Kind() const { return FKind; }
    int64_t AsInteger() const { return FInt; }
    std::u16string_view AsString() const { return FStr; }

private:
    TKind FKind;
    int64_t FInt = 0;
    std::u16string FStr;
};

// Formats like the host's Format: "%" [index ":"] ["-"] [width] ["." prec] type,
// with index, width and precision also taken from the arguments as "*".
// Types: d (signed decimal; precision = minimum digits), u (unsigned decimal),
// x (upper-case hexadecimal, two's complement for negatives; precision =
// minimum digits), s (text; precision = maximum length). "%%" is a percent sign.
// A bad format or a missing or mismatched argument raises EConvertError.
std::u16string FormatText(std::u16string_view format, std::span<const TFormatArg> args);
std::u16string FormatText(std::u16string_view format, std::initializer_list<TFormatArg> args);

// Decimal text of a 64-bit integer, without the overflow trap on INT64_MIN.
std::u16string IntegerText(int64_t value);

// The position suffix of messages: " [line: 3, column: 5, file: inc.pas]",
// leaving out a zero line or column and the main script's name; empty for a
// position without a source file or with nothing to show.
std::u16string PositionText(const TScriptPos& pos);

// ---------------------------------------------------------------------------
// Messages

class TtvsMessageList;

// clang-format off
enum class TtvsHintsLevel : uint8_t {
    hlDisabled = 0,
    hlNormal   = 1,
    hlStrict   = 2,
};
// clang-format on

// A diagnostic: a text and the list that owns it. Users see FormattedText.
class TtvsMessage {
public:
    explicit TtvsMessage(std::u16string text) : FText(std::move(text)) {}
    virtual ~TtvsMessage() = default;
    TtvsMessage(const TtvsMessage&) = delete;
    TtvsMessage& operator=(const TtvsMessage&) = delete;

    const std::u16string& Text() const { return FText; }
    // The list that owns the message; set when a list takes it.
    TtvsMessageList* MsgList() const { return FMsgList; }
    virtual std::u16string FormattedText() const = 0;

private:
    friend class TtvsMessageList;
    std::u16string FText;
    TtvsMessageList* FMsgList = nullptr;
};

// A message about a place in a script: the text followed by the position text.
class TScriptMessage : public TtvsMessage {
public:
    TScriptMessage(const TScriptPos& pos, std::u16string text)
        : TtvsMessage(std::move(text))
        , FScriptPos(pos)
    {}
    const TScriptPos& ScriptPos() const { return FScriptPos; }
    std::u16string FormattedText() const override;

private:
    TScriptPos FScriptPos;
};

class THintMessage final : public TScriptMessage {
public:
    using TScriptMessage::TScriptMessage;
    std::u16string FormattedText() const override;
};

class TWarningMessage final : public TScriptMessage {
public:
    using TScriptMessage::TScriptMessage;
    std::u16string FormattedText() const override;
};

// Base of the messages that make a compilation or a run fail. Run-time error
// messages derive from it in the execution's unit.
class TErrorMessage : public TScriptMessage {
public:
    using TScriptMessage::TScriptMessage;
};

class TCompilerErrorMessage final : public TErrorMessage {
public:
    using TErrorMessage::TErrorMessage;
    std::u16string FormattedText() const override;
};

class TSyntaxErrorMessage final : public TErrorMessage {
public:
    using TErrorMessage::TErrorMessage;
    std::u16string FormattedText() const override;
};

// The messages of one compilation or one run, in the order added, with the
// switches that filter hints and warnings. One thread at a time; no lock.
class TtvsMessageList {
public:
    TtvsMessageList() = default;
    virtual ~TtvsMessageList() = default;
    TtvsMessageList(const TtvsMessageList&) = delete;
    TtvsMessageList& operator=(const TtvsMessageList&) = delete;

    // Appends a message; the list owns it from now on.
    virtual void AddMessage(std::unique_ptr<TtvsMessage> msg);

    // Listed only when the hints level is at least `level` (hlNormal or
    // hlStrict); nothing is listed while hints are disabled.
    void AddHint(const TScriptPos& pos, std::u16string text,
                 TtvsHintsLevel level = TtvsHintsLevel::hlNormal);
    void AddHint(const TScriptPos& pos, std::u16string_view format,
                 std::initializer_list<TFormatArg> args,
                 TtvsHintsLevel level = TtvsHintsLevel::hlNormal);
    void AddWarning(const TScriptPos& pos, std::u16string text);
    void AddWarning(const TScriptPos& pos, std::u16string_view format,
                    std::initializer_list<TFormatArg> args);

    // Lists an error of any error class and marks the list as failed.
    void AddError(std::unique_ptr<TErrorMessage> msg);
    template <std::derived_from<TErrorMessage> TMsg>
    void AddError(const TScriptPos& pos, std::u16string text)
    {
        AddError(std::make_unique<TMsg>(pos, std::move(text)));
    }
    void AddSyntaxError(const TScriptPos& pos, std::u16string text);
    void AddSyntaxError(const TScriptPos& pos, std::u16string_view format,
                        std::initializer_list<TFormatArg> args);
    void AddCompilerError(const TScriptPos& pos, std::u16string text);
    void AddCompilerError(const TScriptPos& pos, std::u16string_view format,
                          std::initializer_list<TFormatArg> args);

    // Lists the error, then stops compiling with ECompileError.
    template <std::derived_from<TErrorMessage> TMsg>
    [[noreturn]] void AbortWithError(const TScriptPos& pos, std::u16string text)
    {
        AddError(std::make_unique<TMsg>(pos, text));
        throw ECompileError(pos, std::move(text));
    }
    [[noreturn]] void AbortWithSyntaxError(const TScriptPos& pos, std::u16string text);
    [[noreturn]] void AbortWithSyntaxError(const TScriptPos& pos, std::u16string_view format,
                                           std::initializer_list<TFormatArg> args);

    // Frees every message this list owns and clears HasErrors.
    void Clear();

    int Count() const { return static_cast<int>(FMessages.size()); }
    const TtvsMessage& GetMsg(int index) const { return *FMessages.at(static_cast<size_t>(index)); }
    TtvsMessage& GetMsg(int index) { return *FMessages.at(static_cast<size_t>(index)); }

    bool HasErrors() const { return FHasErrors; }
    void SetHasErrors(bool value) { FHasErrors = value; }
    TtvsHintsLevel HintsLevel() const { return FHintsLevel; }
    void SetHintsLevel(TtvsHintsLevel value) { FHintsLevel = value; }
    bool WarningsDisabled() const { return FWarningsDisabled; }
    void SetWarningsDisabled(bool value) { FWarningsDisabled = value; }

    // Every formatted text, one per line (CR LF), for showing and for tests.
    std::u16string AsInfo() const;

protected:
    // Records a message owned by another list, in order, without owning it.
    void RecordForeign(TtvsMessage* msg) { FMessages.push_back(msg); }

private:
    // In the order added; the ones this list owns are also in FOwned.
    std::vector<TtvsMessage*> FMessages;
    std::vector<std::unique_ptr<TtvsMessage>> FOwned;
    bool FHasErrors = false;
    TtvsHintsLevel FHintsLevel = TtvsHintsLevel::hlNormal;
    bool FWarningsDisabled = false;
};

// The messages of one compiled program.
class TtvsCompileMessageList final : public TtvsMessageList {};

// The messages of one execution. The execution's unit adds the run-time error
// messages (with their call stacks) through AddError.
class TtvsRuntimeMessageList : public TtvsMessageList {};

// The message list of the compiler's own execution, which evaluates constant
// expressions while compiling. What it is told goes on to the compile message
// list of the program being compiled, so a folding error fails that program.
class TtvsOptimizationMessageList final : public TtvsRuntimeMessageList {
public:
    // The compile list to forward to (none between compilations). Changing
    // it forgets the messages recorded so far: they belong to the old target.
    void SetCompileMsgs(TtvsMessageList* target);
    TtvsMessageList* CompileMsgs() const { return FTarget; }

    void AddMessage(std::unique_ptr<TtvsMessage> msg) override;

private:
    TtvsMessageList* FTarget = nullptr;
};
