// The data stack of an execution: one growable array of Variant slots that
// holds the main program's variables and, for every active call, its
// parameters, result and locals, with a saved base pointer per nesting level.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "tvsVariant.h"

// Limits and growth of a data stack, copied into each execution.
struct TStackParameters {
    // Deepest routine nesting level that will be entered (0 = main program).
    int32_t MaxLevel = 1;
    // Growth step, in slots; must be above 0.
    int32_t ChunkSize = 4096;
    // Limit in bytes (16 per slot); 0 or less means 2147483647.
    int64_t MaxByteSize = 0;
    // Limit of nested script calls (checked by the execution).
    int32_t MaxRecursionDepth = 1024;
};

inline constexpr int32_t DefaultStackChunkSize = 4096;
inline constexpr int32_t DefaultMaxRecursionDepth = 1024;
inline constexpr char16_t MaxDataSizeExceededMsg[] = u"Maximal data size exceeded (%d Variants)";

// Addresses are absolute slot indexes: a variable of the current frame is at
// BasePointer() + its stack address, one of an enclosing level L at
// GetSavedBp(L) + its stack address. Slots at or above StackPointer() are
// always Unassigned.
//
// The slot array moves when it grows, so nobody keeps a pointer or a
// reference into it across anything that may push: addresses are indexes.
class TStack final {
public:
    explicit TStack(const TStackParameters& params);

    const TStackParameters& Parameters() const { return FParams; }
    int32_t MaxLevel() const { return FParams.MaxLevel; }
    int32_t MaxRecursionDepth() const { return FParams.MaxRecursionDepth; }
    // The limit in slots.
    int32_t MaxSize() const { return FMaxSize; }
    // Current capacity in slots.
    int32_t Size() const { return static_cast<int32_t>(FData.size()); }
    int32_t StackPointer() const { return FStackPointer; }
    int32_t BasePointer() const { return FBasePointer; }
    int32_t FrameSize() const { return FStackPointer - FBasePointer; }

    // The slots themselves, for nodes that designate a location as (data, address).
    TData& Data() { return FData; }
    const TData& Data() const { return FData; }

    // Empties the stack and rebuilds the per-level base-pointer stacks.
    void Reset();
    // Grows the capacity to hold newSize slots (whole chunks, at most MaxSize);
    // beyond MaxSize raises EScriptStackException.
    void GrowTo(int64_t newSize);

    // Reserves count Unassigned slots on top.
    void Push(int32_t count)
    {
        const int64_t newPointer = int64_t{FStackPointer} + count;
        if (newPointer > static_cast<int64_t>(FData.size()))
            GrowTo(newPointer);
        FStackPointer = static_cast<int32_t>(newPointer);
    }
    // Clears the top count slots, top first, releasing what they hold.
    void Pop(int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            FData[static_cast<size_t>(--FStackPointer)].Clear();
    }

    // Enters a new frame at the stack pointer. level is the nesting level of
    // the code making the call; the answer is the caller's base pointer,
    // which RestoreFrame wants back.
    int32_t SwitchFrame(int32_t level)
    {
        CheckLevel(level);
        const int32_t saved = FBasePointer;
        FBasePointer = FStackPointer;
        FBpStore[static_cast<size_t>(level)].push_back(saved);
        return saved;
    }
    // Leaves the frame: drops its locals' slots from the pointer (the caller
    // pops them) and returns to the caller's frame.
    void RestoreFrame(int32_t level, int32_t saved)
    {
        CheckLevel(level);
        FStackPointer = FBasePointer;
        FBasePointer = saved;
        FBpStore[static_cast<size_t>(level)].pop_back();
    }
    // Base pointer of the innermost frame of that level that is making a
    // call: a routine nested in a level-L routine reaches its variables here.
    int32_t GetSavedBp(int32_t level) const
    {
        CheckLevel(level);
        return FBpStore[static_cast<size_t>(level)].back();
    }
    // The main program's own entry on the level-0 stack (start and end of a run).
    void PushSavedBp(int32_t level, int32_t bp)
    {
        CheckLevel(level);
        FBpStore[static_cast<size_t>(level)].push_back(bp);
    }
    void PopSavedBp(int32_t level)
    {
        CheckLevel(level);
        FBpStore[static_cast<size_t>(level)].pop_back();
    }
    // Switches the base pointer alone (lazy parameters evaluate their
    // argument in the caller's frame); answers the previous one.
    int32_t SetBasePointer(int32_t bp) { return std::exchange(FBasePointer, bp); }

    // One slot by absolute address; unchecked on purpose (hot path).
    Variant& Slot(int32_t addr) { return FData[static_cast<size_t>(addr)]; }
    const Variant& Slot(int32_t addr) const { return FData[static_cast<size_t>(addr)]; }

    // Typed reads: the slot's own kind is read directly, any other kind
    // is converted by the variant rules.
    int64_t ReadIntValue(int32_t addr) const { return Slot(addr).ToInteger(); }
    double ReadFloatValue(int32_t addr) const { return Slot(addr).ToFloat(); }
    bool ReadBoolValue(int32_t addr) const { return Slot(addr).ToBoolean(); }
    UnicodeString ReadStrValue(int32_t addr) const { return Slot(addr).ToString(); }
    TRefCountedObject* ReadIntfValue(int32_t addr) const { return Slot(addr).ToObject(); }
    void ReadValue(int32_t addr, Variant& result) const { result = Slot(addr); }

    // Typed writes: a slot already of that kind keeps its kind and only its
    // payload changes.
    void WriteValue(int32_t addr, const Variant& value) { Slot(addr) = value; }
    void WriteIntValue(int32_t addr, int64_t value) { Slot(addr).SetInteger(value); }
    void WriteFloatValue(int32_t addr, double value) { Slot(addr).SetFloat(value); }
    void WriteBoolValue(int32_t addr, bool value) { Slot(addr).SetBoolean(value); }
    void WriteStrValue(int32_t addr, UnicodeString value)
    {
        Slot(addr).SetString(std::move(value));
    }
    void WriteIntfValue(int32_t addr, TRefCountedObject* value) { Slot(addr).SetObject(value); }

    // In-place arithmetic on a slot that holds a 64-bit integer (or a
    // double); the compiler guarantees the kind, anything else is an
    // assertion. Integers wrap. Both answer the new value.
    int64_t IncIntValue(int32_t addr, int64_t delta)
    {
        Variant& slot = Slot(addr);
        if (!slot.IsInteger()) [[unlikely]]
            SlotKindMismatch(addr);
        const int64_t value = IntAdd(slot.VInt64(), delta);
        slot.SetInteger(value);
        return value;
    }
    double IncFloatValue(int32_t addr, double delta)
    {
        Variant& slot = Slot(addr);
        if (!slot.IsFloat()) [[unlikely]]
            SlotKindMismatch(addr);
        const double value = FloatAdd(slot.VDouble(), delta);
        slot.SetFloat(value);
        return value;
    }

    // A string slot grows in place (no copy when it is not shared); any
    // other slot becomes slot + text by the general variant addition.
    void AppendStringValue(int32_t addr, std::u16string_view text);
    // Replaces the character at the 1-based index (>= 1). false when the
    // index is past the end: nothing changes then. A slot that is not a
    // string is read as text, changed and stored back as a string.
    bool SetStrChar(int32_t addr, int64_t index, char16_t c);

    // Slot copies: inside the stack (lowest first), out of it, into it.
    void CopyData(int32_t sourceAddr, int32_t destAddr, int32_t count);
    void ReadData(int32_t sourceAddr, int32_t destAddr, int32_t count, TData& target) const;
    void WriteData(int32_t sourceAddr, int32_t destAddr, int32_t count, const TData& source);

private:
    void CheckLevel(int32_t level) const
    {
        if (level < 0 || level > FParams.MaxLevel) [[unlikely]]
            LevelOutOfRange(level);
    }
    [[noreturn]] void LevelOutOfRange(int32_t level) const;
    [[noreturn]] void SlotKindMismatch(int32_t addr) const;

    TStackParameters FParams;
    int32_t FMaxSize;
    int32_t FBasePointer = 0;
    int32_t FStackPointer = 0;
    // One stack of saved base pointers per nesting level.
    std::vector<std::vector<int32_t>> FBpStore;
    TData FData;
};

// Copies count slots between any two data arrays, lowest first.
void CopyData(const TData& source, int32_t sourceAddr, TData& dest, int32_t destAddr,
              int32_t count);
// Slot by slot: the kinds must be equal, then doubles compare by value,
// Booleans by truth, references by identity, integers by value, strings by
// text, anything else by the general variant comparison.
bool SameData(const TData& a, int32_t addrA, const TData& b, int32_t addrB, int32_t count);
bool SameVariant(const Variant& a, const Variant& b);
