#include "tvsErrors.h"

namespace {

constexpr std::u16string_view InvalidFormatMsg =
    u"Format '%s' invalid or incompatible with argument";
constexpr std::u16string_view ArgumentMissingMsg = u"No argument for format '%s'";

constexpr std::u16string_view HintFormat = u"Hint: %s";
constexpr std::u16string_view WarningFormat = u"Warning: %s";
constexpr std::u16string_view CompileErrorFormat = u"Compile Error: %s";
constexpr std::u16string_view SyntaxErrorFormat = u"Syntax Error: %s";

// Digits of an unsigned value in the given base, upper-case.
std::u16string UnsignedDigits(uint64_t value, unsigned base)
{
    char16_t digits[64];
    size_t n = 0;
    do {
        const auto d = static_cast<unsigned>(value % base);
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'A' + (d - 10));
        value /= base;
    } while (value != 0);
    std::u16string result;
    result.reserve(n);
    while (n > 0)
        result.push_back(digits[--n]);
    return result;
}

// Reads the format one directive at a time. Kept as a class so the error
// texts can quote the whole format, as the host's formatter does.
class TFormatter final {
public:
    TFormatter(std::u16string_view format, std::span<const TFormatArg> args)
        : FFormat(format)
        , FArgs(args)
    {}

    std::u16string Run()
    {
        std::u16string out;
        out.reserve(FFormat.size() + 16);
        size_t i = 0;
        while (i < FFormat.size()) {
            const char16_t c = FFormat[i++];
            if (c != u'%') {
                out.push_back(c);
                continue;
            }
            if (i < FFormat.size() && FFormat[i] == u'%') {
                out.push_back(u'%');
                ++i;
                continue;
            }
            i = Directive(i, out);
        }
        return out;
    }

private:
    [[noreturn]] void Invalid() const
    {
        throw EConvertError(FormatText(InvalidFormatMsg, {FFormat}));
    }

    const TFormatArg& NextArg()
    {
        if (FNext >= FArgs.size())
            throw EConvertError(FormatText(ArgumentMissingMsg, {FFormat}));
        return FArgs[FNext++];
    }

    // A number written in the format or "*" taken from the arguments; -1 when
    // neither is there.
    int64_t ReadNumber(size_t& i)
    {
        if (i < FFormat.size() && FFormat[i] == u'*') {
            ++i;
            const TFormatArg& arg = NextArg();
            if (arg.Kind() != TFormatArg::fkInteger)
                Invalid();
            return arg.AsInteger();
        }
        int64_t value = -1;
        while (i < FFormat.size() && FFormat[i] >= u'0' && FFormat[i] <= u'9') {
            // Widths beyond any sane text are a format error, not an overflow.
            value = (value < 0 ? 0 : value) * 10 + (FFormat[i] - u'0');
            if (value > 1'000'000)
                Invalid();
            ++i;
        }
        return value;
    }

    size_t Directive(size_t i, std::u16string& out)
    {
        int64_t number = ReadNumber(i);
        if (i < FFormat.size() && FFormat[i] == u':') {
            if (number < 0 || static_cast<uint64_t>(number) > FArgs.size())
                Invalid();
            FNext = static_cast<size_t>(number);
            ++i;
            number = -1;
        }
        bool left = false;
        if (number < 0 && i < FFormat.size() && FFormat[i] == u'-') {
            left = true;
            ++i;
        }
        const int64_t width = number >= 0 ? number : ReadNumber(i);
        int64_t prec = -1;
        if (i < FFormat.size() && FFormat[i] == u'.') {
            ++i;
            prec = ReadNumber(i);
        }
        if (i >= FFormat.size())
            Invalid();
        const char16_t type = FFormat[i++];
        const TFormatArg& arg = NextArg();
        std::u16string text;
        switch (type) {
        case u'd':
        case u'D':
        case u'u':
        case u'U':
        case u'x':
        case u'X': {
            if (arg.Kind() != TFormatArg::fkInteger)
                Invalid();
            const int64_t v = arg.AsInteger();
            const bool isDec = type == u'd' || type == u'D';
            const bool isHex = type == u'x' || type == u'X';
            // Negating through unsigned keeps INT64_MIN from trapping.
            const bool negative = isDec && v < 0;
            const uint64_t magnitude =
                negative ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
            text = UnsignedDigits(magnitude, isHex ? 16 : 10);
            if (prec > static_cast<int64_t>(text.size()))
                text.insert(0, static_cast<size_t>(prec) - text.size(), u'0');
            if (negative)
                text.insert(0, 1, u'-');
            break;
        }
        case u's':
        case u'S':
            if (arg.Kind() != TFormatArg::fkString)
                Invalid();
            text = arg.AsString();
            if (prec >= 0 && static_cast<size_t>(prec) < text.size())
                text.resize(static_cast<size_t>(prec));
            break;
        default:
            Invalid();
        }
        if (width > static_cast<int64_t>(text.size())) {
            const size_t pad = static_cast<size_t>(width) - text.size();
            if (left)
                text.append(pad, u' ');
            else
                text.insert(0, pad, u' ');
        }
        out += text;
        return i;
    }

    std::u16string_view FFormat;
    std::span<const TFormatArg> FArgs;
    size_t FNext = 0;
};

} // namespace

std::u16string FormatText(std::u16string_view format, std::span<const TFormatArg> args)
{
    return TFormatter(format, args).Run();
}

std::u16string FormatText(std::u16string_view format, std::initializer_list<TFormatArg> args)
{
    return TFormatter(format, std::span<const TFormatArg>(args.begin(), args.size())).Run();
}

std::u16string IntegerText(int64_t value)
{
    if (value >= 0)
        return UnsignedDigits(static_cast<uint64_t>(value), 10);
    return u"-" + UnsignedDigits(~static_cast<uint64_t>(value) + 1, 10);
}

std::u16string PositionText(const TScriptPos& pos)
{
    if (pos.SourceFile == nullptr)
        return {};
    std::u16string parts;
    const auto addPart = [&parts](std::u16string part) {
        if (!parts.empty())
            parts += u", ";
        parts += part;
    };
    if (pos.Line != 0)
        addPart(u"line: " + IntegerText(pos.Line));
    if (pos.Col != 0)
        addPart(u"column: " + IntegerText(pos.Col));
    if (pos.SourceFile->Name() != MainModuleName)
        addPart(u"file: " + pos.SourceFile->Name());
    if (parts.empty())
        return {};
    return u" [" + parts + u"]";
}

// ---------------------------------------------------------------------------

std::u16string TScriptMessage::FormattedText() const
{
    return Text() + PositionText(FScriptPos);
}

std::u16string THintMessage::FormattedText() const
{
    return FormatText(HintFormat, {TScriptMessage::FormattedText()});
}

std::u16string TWarningMessage::FormattedText() const
{
    return FormatText(WarningFormat, {TScriptMessage::FormattedText()});
}

std::u16string TCompilerErrorMessage::FormattedText() const
{
    return FormatText(CompileErrorFormat, {TScriptMessage::FormattedText()});
}

std::u16string TSyntaxErrorMessage::FormattedText() const
{
    return FormatText(SyntaxErrorFormat, {TScriptMessage::FormattedText()});
}

// ---------------------------------------------------------------------------

void TtvsMessageList::AddMessage(std::unique_ptr<TtvsMessage> msg)
{
    msg->FMsgList = this;
    FMessages.push_back(msg.get());
    FOwned.push_back(std::move(msg));
}

void TtvsMessageList::AddHint(const TScriptPos& pos, std::u16string text, TtvsHintsLevel level)
{
    if (FHintsLevel == TtvsHintsLevel::hlDisabled || FHintsLevel < level)
        return;
    AddMessage(std::make_unique<THintMessage>(pos, std::move(text)));
}

void TtvsMessageList::AddHint(const TScriptPos& pos, std::u16string_view format,
                              std::initializer_list<TFormatArg> args, TtvsHintsLevel level)
{
    AddHint(pos, FormatText(format, args), level);
}

void TtvsMessageList::AddWarning(const TScriptPos& pos, std::u16string text)
{
    if (FWarningsDisabled)
        return;
    AddMessage(std::make_unique<TWarningMessage>(pos, std::move(text)));
}

void TtvsMessageList::AddWarning(const TScriptPos& pos, std::u16string_view format,
                                 std::initializer_list<TFormatArg> args)
{
    AddWarning(pos, FormatText(format, args));
}

void TtvsMessageList::AddError(std::unique_ptr<TErrorMessage> msg)
{
    FHasErrors = true;
    AddMessage(std::move(msg));
}

void TtvsMessageList::AddSyntaxError(const TScriptPos& pos, std::u16string text)
{
    AddError<TSyntaxErrorMessage>(pos, std::move(text));
}

void TtvsMessageList::AddSyntaxError(const TScriptPos& pos, std::u16string_view format,
                                     std::initializer_list<TFormatArg> args)
{
    AddSyntaxError(pos, FormatText(format, args));
}

void TtvsMessageList::AddCompilerError(const TScriptPos& pos, std::u16string text)
{
    AddError<TCompilerErrorMessage>(pos, std::move(text));
}

void TtvsMessageList::AddCompilerError(const TScriptPos& pos, std::u16string_view format,
                                       std::initializer_list<TFormatArg> args)
{
    AddCompilerError(pos, FormatText(format, args));
}

void TtvsMessageList::AbortWithSyntaxError(const TScriptPos& pos, std::u16string text)
{
    AbortWithError<TSyntaxErrorMessage>(pos, std::move(text));
}

void TtvsMessageList::AbortWithSyntaxError(const TScriptPos& pos, std::u16string_view format,
                                           std::initializer_list<TFormatArg> args)
{
    AbortWithSyntaxError(pos, FormatText(format, args));
}

void TtvsMessageList::Clear()
{
    FMessages.clear();
    FOwned.clear();
    FHasErrors = false;
}

std::u16string TtvsMessageList::AsInfo() const
{
    std::u16string info;
    for (const TtvsMessage* msg : FMessages) {
        info += msg->FormattedText();
        info += u"\r\n";
    }
    return info;
}

// ---------------------------------------------------------------------------

void TtvsOptimizationMessageList::SetCompileMsgs(TtvsMessageList* target)
{
    if (target != FTarget)
        Clear();
    FTarget = target;
}

void TtvsOptimizationMessageList::AddMessage(std::unique_ptr<TtvsMessage> msg)
{
    if (FTarget == nullptr) {
        TtvsRuntimeMessageList::AddMessage(std::move(msg));
        return;
    }
    TtvsMessage* raw = msg.get();
    const bool isError = dynamic_cast<const TErrorMessage*>(raw) != nullptr;
    FTarget->AddMessage(std::move(msg));
    RecordForeign(raw);
    if (isError || HasErrors())
        FTarget->SetHasErrors(true);
}
