#include "tvsUtils.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

#include "tvsXPlatform.h"

namespace {

// Folds one code unit for identifier comparison: ASCII letters to upper
// case, everything else by simple case folding, and a fold that lands in
// ASCII (the Kelvin sign to "k") upper-cased too, so every spelling of one
// letter compares equal.
inline char16_t FoldForCompare(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    const char16_t folded = SimpleFoldCase(c);
    return (folded >= u'a' && folded <= u'z') ? static_cast<char16_t>(folded - 32) : folded;
}

constexpr char16_t AssertionFailureMessage[] = u"Assertion failure (tvsUtils)";

} // namespace

// ---------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------

int FastCompareText(std::u16string_view a, std::u16string_view b) noexcept
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t ca = a[i];
        const char16_t cb = b[i];
        if (ca == cb)
            continue;
        const char16_t fa = FoldForCompare(ca);
        const char16_t fb = FoldForCompare(cb);
        if (fa != fb)
            return static_cast<int>(fa) - static_cast<int>(fb);
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool FastSameText(std::u16string_view a, std::u16string_view b) noexcept
{
    return a.size() == b.size() && FastCompareText(a, b) == 0;
}

bool FastStartsWithText(std::u16string_view s, std::u16string_view prefix) noexcept
{
    return !prefix.empty() && s.size() >= prefix.size()
           && FastCompareText(s.substr(0, prefix.size()), prefix) == 0;
}

namespace {

// The interning table: 128 lists by the low bits of the first character,
// so threads interning different names rarely meet on one lock.
std::array<TUnifierStringList, 128>& UnifierLists()
{
    static std::array<TUnifierStringList, 128> lists;
    return lists;
}

} // namespace

UnicodeString UnifyString(std::u16string_view text)
{
    if (text.empty())
        return {};
    return UnifierLists()[text[0] & 127].Unify(text);
}

// ---------------------------------------------------------------------------
// TWriteOnlyBlockStream
// ---------------------------------------------------------------------------

struct TWriteOnlyBlockStream::TBlock {
    TBlock* Next;
    int32_t Capacity;
    int32_t Used;
    // The data bytes follow the header in the same allocation.
    unsigned char* Data() { return reinterpret_cast<unsigned char*>(this + 1); }
    const unsigned char* Data() const { return reinterpret_cast<const unsigned char*>(this + 1); }

    static TBlock* Allocate(int32_t capacity)
    {
        void* memory = std::malloc(sizeof(TBlock) + static_cast<size_t>(capacity));
        if (!memory)
            throw std::bad_alloc();
        return new (memory) TBlock{nullptr, capacity, 0};
    }
};

TWriteOnlyBlockStream::TWriteOnlyBlockStream()
{
    FFirstBlock = FCurrentBlock = TBlock::Allocate(BlockDataSize);
    FCurrentLink = &FFirstBlock;
}

TWriteOnlyBlockStream::~TWriteOnlyBlockStream()
{
    for (TBlock* block = FFirstBlock; block;) {
        TBlock* next = block->Next;
        std::free(block);
        block = next;
    }
}

void TWriteOnlyBlockStream::Clear()
{
    TBlock* fresh = TBlock::Allocate(BlockDataSize);
    for (TBlock* block = FFirstBlock; block;) {
        TBlock* next = block->Next;
        std::free(block);
        block = next;
    }
    FFirstBlock = FCurrentBlock = fresh;
    FCurrentLink = &FFirstBlock;
    FTotalSize = 0;
}

TWriteOnlyBlockStream::TBlock* TWriteOnlyBlockStream::NewRegularBlock()
{
    TBlock* block = TBlock::Allocate(BlockDataSize);
    FCurrentBlock->Next = block;
    FCurrentLink = &FCurrentBlock->Next;
    FCurrentBlock = block;
    return block;
}

int32_t TWriteOnlyBlockStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return count;
    const auto* source = static_cast<const unsigned char*>(buffer);
    int32_t remaining = count;
    const int32_t free = BlockDataSize - FCurrentBlock->Used;
    if (remaining <= free) {
        std::memcpy(FCurrentBlock->Data() + FCurrentBlock->Used, source,
                    static_cast<size_t>(remaining));
        FCurrentBlock->Used += remaining;
        FTotalSize += count;
        return count;
    }
    if (FCurrentBlock->Used > 0) {
        std::memcpy(FCurrentBlock->Data() + FCurrentBlock->Used, source, static_cast<size_t>(free));
        FCurrentBlock->Used = BlockDataSize;
        source += free;
        remaining -= free;
        NewRegularBlock();
    }
    if (remaining > DedicatedThreshold) {
        // Both blocks are allocated before anything is linked, so a failed
        // allocation leaves the chain as it was.
        TBlock* dedicated = TBlock::Allocate(remaining);
        TBlock* regular = nullptr;
        try {
            regular = TBlock::Allocate(BlockDataSize);
        } catch (...) {
            std::free(dedicated);
            throw;
        }
        std::memcpy(dedicated->Data(), source, static_cast<size_t>(remaining));
        dedicated->Used = remaining;
        // The dedicated block takes the place of the empty current block,
        // so no empty block is left inside the chain.
        std::free(FCurrentBlock);
        *FCurrentLink = dedicated;
        dedicated->Next = regular;
        FCurrentLink = &dedicated->Next;
        FCurrentBlock = regular;
    } else {
        std::memcpy(FCurrentBlock->Data(), source, static_cast<size_t>(remaining));
        FCurrentBlock->Used = remaining;
    }
    FTotalSize += count;
    return count;
}

void TWriteOnlyBlockStream::WriteString(std::u16string_view s)
{
    if (s.empty())
        return;
    // Texts over 1 GB are written in pieces: a block counts its bytes in 32 bits.
    constexpr size_t MaxChunk = 512u * 1024u * 1024u;
    while (!s.empty()) {
        const size_t chunk = std::min(s.size(), MaxChunk);
        Write(s.data(), static_cast<int32_t>(chunk * sizeof(char16_t)));
        s.remove_prefix(chunk);
    }
}

void TWriteOnlyBlockStream::WriteChar(char16_t c)
{
    Write(&c, sizeof(c));
}

void TWriteOnlyBlockStream::WriteSubString(std::u16string_view s, int64_t start)
{
    WriteSubString(s, start, static_cast<int64_t>(s.size()));
}

void TWriteOnlyBlockStream::WriteSubString(std::u16string_view s, int64_t start, int64_t length)
{
    if (start < 1)
        throw EAssertionFailed(AssertionFailureMessage);
    const auto size = static_cast<int64_t>(s.size());
    if (length <= 0 || start > size)
        return;
    const int64_t last = std::min(start - 1 + length, size); // exclusive end, 0-based
    WriteString(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(last - (start - 1))));
}

int64_t TWriteOnlyBlockStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == TSeekOrigin::soCurrent)
        return FTotalSize;
    throw EStreamError(StreamNotAllowedMessage);
}

int32_t TWriteOnlyBlockStream::Read(void*, int32_t)
{
    throw EStreamError(StreamNotAllowedMessage);
}

void TWriteOnlyBlockStream::StoreData(void* destination) const
{
    auto* target = static_cast<unsigned char*>(destination);
    for (const TBlock* block = FFirstBlock; block; block = block->Next) {
        if (block->Used > 0)
            std::memcpy(target, block->Data(), static_cast<size_t>(block->Used));
        target += block->Used;
    }
}

UnicodeString TWriteOnlyBlockStream::ToString() const
{
    if (FTotalSize == 0)
        return {};
    if (FTotalSize % 2 != 0)
        throw EAssertionFailed(AssertionFailureMessage);
    UnicodeString result = UnicodeString::OfLength(static_cast<size_t>(FTotalSize / 2));
    StoreData(result.Data());
    return result;
}

std::u16string TWriteOnlyBlockStream::ToU16String() const
{
    if (FTotalSize % 2 != 0)
        throw EAssertionFailed(AssertionFailureMessage);
    std::u16string result(static_cast<size_t>(FTotalSize / 2), u'\0');
    StoreData(result.data());
    return result;
}

std::vector<TWriteOnlyBlockStream::TBlockInfo> TWriteOnlyBlockStream::Blocks() const
{
    std::vector<TBlockInfo> result;
    for (const TBlock* block = FFirstBlock; block; block = block->Next)
        result.push_back({block->Capacity, block->Used});
    return result;
}

// ---------------------------------------------------------------------------
// Fast-compare string lists
// ---------------------------------------------------------------------------

int TFastCompareStringList::CompareStrings(std::u16string_view a, std::u16string_view b) const
{
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int TFastCompareTextList::CompareStrings(std::u16string_view a, std::u16string_view b) const
{
    return FastCompareText(a, b);
}

void TFastCompareStringList::SetSorted(bool sorted)
{
    if (sorted && !FSorted)
        std::stable_sort(FItems.begin(), FItems.end(), [this](const TItem& a, const TItem& b) {
            return CompareStrings(a.String, b.String) < 0;
        });
    FSorted = sorted;
}

int32_t TFastCompareStringList::AddObject(const UnicodeString& s, void* object)
{
    int32_t index = Count();
    if (FSorted && Find(s, index)) {
        if (FDuplicates == TDuplicates::dupIgnore)
            return index;
        if (FDuplicates == TDuplicates::dupError)
            throw EStringListError(DuplicateStringMessage);
    }
    FItems.insert(FItems.begin() + index, TItem{s, object});
    return index;
}

bool TFastCompareStringList::Find(std::u16string_view s, int32_t& index) const
{
    int32_t lo = 0;
    int32_t hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int cmp = CompareStrings(FItems[static_cast<size_t>(mid)].String, s);
        if (cmp < 0)
            lo = mid + 1;
        else {
            hi = mid - 1;
            if (cmp == 0)
                found = true;
        }
    }
    index = lo;
    return found;
}

int32_t TFastCompareStringList::IndexOf(std::u16string_view s) const
{
    if (FSorted) {
        int32_t index;
        return Find(s, index) ? index : -1;
    }
    for (int32_t i = 0; i < Count(); ++i)
        if (CompareStrings(FItems[static_cast<size_t>(i)].String, s) == 0)
            return i;
    return -1;
}

void TFastCompareStringList::CheckIndex(int32_t index) const
{
    if (index < 0 || index >= Count())
        throw EStringListError(ListIndexOutOfBoundsMessage);
}

void TFastCompareStringList::Delete(int32_t index)
{
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

const UnicodeString& TFastCompareStringList::Strings(int32_t index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].String;
}

void* TFastCompareStringList::Objects(int32_t index) const
{
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].Object;
}

void TFastCompareStringList::SetObject(int32_t index, void* object)
{
    CheckIndex(index);
    FItems[static_cast<size_t>(index)].Object = object;
}

TUnifierStringList::TUnifierStringList()
{
    SetSorted(true);
    SetDuplicates(TDuplicates::dupIgnore);
}

UnicodeString TUnifierStringList::Unify(std::u16string_view text)
{
    std::lock_guard<std::mutex> guard(FLock);
    int32_t index;
    if (!Find(text, index))
        index = Add(UnicodeString(text));
    return Strings(index);
}

// ---------------------------------------------------------------------------
// TVarRecArrayContainer
// ---------------------------------------------------------------------------

TVarRecArrayContainer::TVarRecArrayContainer(std::span<const Variant> values)
{
    FVarRecArray.reserve(values.size());
    for (const Variant& value : values)
        Add(value);
}

void TVarRecArrayContainer::Add(const Variant& value)
{
    TVarRec rec;
    switch (value.Type()) {
    case varBoolean:
        rec.VType = TVarRecKind::vtBoolean;
        rec.VBoolean = value.VBoolean();
        break;
    case varInt64:
        rec.VType = TVarRecKind::vtInt64;
        rec.VInt64 = value.VInt64();
        break;
    case varDouble:
        rec.VType = TVarRecKind::vtExtended;
        rec.VExtended = value.VDouble();
        break;
    case varUString:
        rec.VType = TVarRecKind::vtUnicodeString;
        rec.VUnicodeString = value.VString();
        break;
    default:
        rec.VType = TVarRecKind::vtPointer;
        break;
    }
    FVarRecArray.push_back(std::move(rec));
}
