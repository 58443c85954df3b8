#include "tvsStack.h"

#include <algorithm>
#include <limits>

#include "tvsErrors.h"
#include "tvsExceptions.h"

namespace {

constexpr int32_t SlotBytes = 16;

[[noreturn]] void StackAssertion(std::u16string_view detail)
{
    std::u16string text(detail);
    text += u" (tvsStack)";
    throw EAssertionFailed(std::move(text));
}

} // namespace

TStack::TStack(const TStackParameters& params) : FParams(params)
{
    if (FParams.ChunkSize <= 0)
        StackAssertion(u"Stack chunk size must be above 0");
    if (FParams.MaxLevel < 0)
        FParams.MaxLevel = 0;
    const int64_t maxBytes =
        FParams.MaxByteSize <= 0 ? std::numeric_limits<int32_t>::max() : FParams.MaxByteSize;
    FMaxSize = static_cast<int32_t>(
        std::min<int64_t>(maxBytes / SlotBytes, std::numeric_limits<int32_t>::max()));
    Reset();
}

void TStack::Reset()
{
    FData.clear();
    FData.shrink_to_fit();
    FStackPointer = 0;
    FBasePointer = 0;
    FBpStore.assign(static_cast<size_t>(FParams.MaxLevel) + 1, std::vector<int32_t>{0});
}

void TStack::GrowTo(int64_t newSize)
{
    if (newSize > FMaxSize)
        throw EScriptStackException(FormatText(MaxDataSizeExceededMsg, {FMaxSize}));
    // Always at least one slot more than asked: a whole chunk past the
    // request, so that most pushes find room.
    const int64_t chunk = FParams.ChunkSize;
    const int64_t size = std::min<int64_t>(chunk * (newSize / chunk + 1), FMaxSize);
    FData.resize(static_cast<size_t>(size));
}

void TStack::AppendStringValue(int32_t addr, std::u16string_view text)
{
    Variant& slot = Slot(addr);
    if (slot.IsString()) {
        // Take the string out of the slot so that its buffer is not shared
        // while it grows (copy-on-write would copy it otherwise).
        UnicodeString value = slot.VString();
        slot.SetString(UnicodeString());
        value.Append(text);
        slot.SetString(std::move(value));
        return;
    }
    slot = VarAdd(slot, Variant(text));
}

bool TStack::SetStrChar(int32_t addr, int64_t index, char16_t c)
{
    Variant& slot = Slot(addr);
    UnicodeString value = slot.ToString();
    if (index < 1 || static_cast<uint64_t>(index) > value.Length())
        return false;
    // Leave the slot empty while the text is changed, so that the buffer is
    // held once and changed in place.
    slot.SetString(UnicodeString());
    value.Data()[index - 1] = c;
    slot.SetString(std::move(value));
    return true;
}

void TStack::CopyData(int32_t sourceAddr, int32_t destAddr, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        Slot(destAddr + i) = Slot(sourceAddr + i);
}

void TStack::ReadData(int32_t sourceAddr, int32_t destAddr, int32_t count, TData& target) const
{
    ::CopyData(FData, sourceAddr, target, destAddr, count);
}

void TStack::WriteData(int32_t sourceAddr, int32_t destAddr, int32_t count, const TData& source)
{
    ::CopyData(source, sourceAddr, FData, destAddr, count);
}

void TStack::LevelOutOfRange(int32_t level) const
{
    StackAssertion(FormatText(u"Stack level %d outside 0..%d", {level, FParams.MaxLevel}));
}

void TStack::SlotKindMismatch(int32_t addr) const
{
    StackAssertion(FormatText(u"Slot %d does not hold the expected kind", {addr}));
}

void CopyData(const TData& source, int32_t sourceAddr, TData& dest, int32_t destAddr, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        dest[static_cast<size_t>(destAddr + i)] = source[static_cast<size_t>(sourceAddr + i)];
}

bool SameVariant(const Variant& a, const Variant& b)
{
    if (a.Type() != b.Type())
        return false;
    switch (a.Type()) {
    case varDouble:
        return a.VDouble() == b.VDouble();
    case varBoolean:
        return a.VBoolean() == b.VBoolean();
    case varUnknown:
        return a.VUnknown() == b.VUnknown();
    case varInt64:
        return a.VInt64() == b.VInt64();
    case varUString:
        return a.VString() == b.VString();
    default:
        return VarEquals(a, b);
    }
}

bool SameData(const TData& a, int32_t addrA, const TData& b, int32_t addrB, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (!SameVariant(a[static_cast<size_t>(addrA + i)], b[static_cast<size_t>(addrB + i)]))
            return false;
    return true;
}
