// Core utilities of the engine: identifier comparison, string interning, the
// append-only block stream for printed output, compact lists, stacks, hash
// sets and sorted lists, and the argument array builder for Format.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tvsExceptions.h"
#include "tvsVariant.h"

// ---------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------

// Case-insensitive comparison of identifiers; a total order. Each code unit
// is folded (ASCII letters to upper case, others by simple case folding)
// and the folded units compare ordinally. Answers the difference of the
// first differing folded pair, or -1/1 by length when one is a prefix.
// Note that "_" sorts after the letters, which compare as upper case.
int FastCompareText(std::u16string_view a, std::u16string_view b) noexcept;
bool FastSameText(std::u16string_view a, std::u16string_view b) noexcept;
// False for an empty prefix.
bool FastStartsWithText(std::u16string_view s, std::u16string_view prefix) noexcept;

// The one shared instance equal (case-sensitively) to `text`; the empty
// text gives the empty string. Safe to call from any thread.
UnicodeString UnifyString(std::u16string_view text);

// ---------------------------------------------------------------------------
// TWriteOnlyBlockStream
// ---------------------------------------------------------------------------

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Collects printed output: text is appended block by block and never copied
// until ToString joins it once. Regular blocks hold 8184 bytes; a large
// write goes to a block of its own size so that it is copied only once.
class TWriteOnlyBlockStream final {
public:
    static constexpr int32_t BlockDataSize = 8184;
    // Remainders above this go to a dedicated block.
    static constexpr int32_t DedicatedThreshold = BlockDataSize / 2;

    TWriteOnlyBlockStream();
    ~TWriteOnlyBlockStream();
    TWriteOnlyBlockStream(const TWriteOnlyBlockStream&) = delete;
    TWriteOnlyBlockStream& operator=(const TWriteOnlyBlockStream&) = delete;

    // Frees all blocks and starts again with one empty block.
    void Clear();
    // Answers `count`; a count of 0 or less writes nothing.
    int32_t Write(const void* buffer, int32_t count);
    void WriteString(std::u16string_view s);
    void WriteChar(char16_t c);
    // Characters from the 1-based `start` to the end of `s`.
    void WriteSubString(std::u16string_view s, int64_t start);
    // At most `length` characters from the 1-based `start`; start must be >= 1.
    void WriteSubString(std::u16string_view s, int64_t start, int64_t length);

    int64_t GetSize() const { return FTotalSize; }
    // Only (0, soCurrent) is allowed, answering the size; anything else
    // raises EStreamError "not allowed".
    int64_t Seek(int64_t offset, TSeekOrigin origin);
    // The stream is write-only: raises EStreamError "not allowed".
    int32_t Read(void* buffer, int32_t count);

    // Copies every written byte, in order, to `destination`.
    void StoreData(void* destination) const;
    // The written bytes as UTF-16 text; an odd size is an assertion failure.
    UnicodeString ToString() const;
    std::u16string ToU16String() const;

    // Layout of the chain, first block first: for tests and diagnostics.
    struct TBlockInfo {
        int32_t Capacity; // data bytes the block can hold
        int32_t Used;
        friend bool operator==(const TBlockInfo&, const TBlockInfo&) = default;
    };
    std::vector<TBlockInfo> Blocks() const;

private:
    struct TBlock;
    TBlock* NewRegularBlock();
    TBlock* FFirstBlock = nullptr;
    TBlock* FCurrentBlock = nullptr;
    TBlock** FCurrentLink = nullptr; // the pointer that points at the current block
    int64_t FTotalSize = 0;
};

inline constexpr char16_t StreamNotAllowedMessage[] = u"not allowed";
inline constexpr char16_t ListIndexOutOfBoundsMessage[] = u"List index out of bounds";

// ---------------------------------------------------------------------------
// TTightList
// ---------------------------------------------------------------------------

// A list of pointers that costs no allocation for 0 or 1 items: a single
// item is stored in place of the array pointer. Many tiny lists (one per
// symbol) make that worth it. Does not own its items unless Free is called.
template <class T> class TTightList final {
public:
    TTightList() noexcept = default;
    TTightList(const TTightList&) = delete;
    TTightList& operator=(const TTightList&) = delete;
    TTightList(TTightList&& other) noexcept : FList(other.FList), FCount(other.FCount)
    {
        other.FList.One = nullptr;
        other.FCount = 0;
    }
    ~TTightList() { Clear(); }

    int32_t Count() const noexcept { return FCount; }
    T* operator[](int32_t index) const noexcept
    {
        return FCount == 1 ? FList.One : FList.Many[index];
    }
    T* Items(int32_t index) const
    {
        CheckIndex(index);
        return (*this)[index];
    }
    // Whether the items sit in an allocated array (2 or more items).
    bool IsInline() const noexcept { return FCount <= 1; }

    int32_t Add(T* item)
    {
        if (FCount == 0)
            FList.One = item;
        else if (FCount == 1) {
            T** list = new T*[2];
            list[0] = FList.One;
            list[1] = item;
            FList.Many = list;
        } else
            Grow()[FCount] = item;
        return FCount++;
    }
    int32_t IndexOf(const T* item) const noexcept
    {
        for (int32_t i = 0; i < FCount; ++i)
            if ((*this)[i] == item)
                return i;
        return -1;
    }
    int32_t Remove(const T* item)
    {
        const int32_t index = IndexOf(item);
        if (index >= 0)
            Delete(index);
        return index;
    }
    void Delete(int32_t index)
    {
        CheckIndex(index);
        if (FCount == 1) {
            FList.One = nullptr;
        } else if (FCount == 2) {
            T* survivor = FList.Many[1 - index];
            delete[] FList.Many;
            FList.One = survivor;
        } else {
            T** list = Shrink(index);
            FList.Many = list;
        }
        --FCount;
    }
    void Insert(int32_t index, T* item)
    {
        if (index < 0 || index > FCount)
            throw ETightListOutOfBound(ListIndexOutOfBoundsMessage);
        if (index == FCount) {
            Add(item);
            return;
        }
        Add(nullptr);
        for (int32_t i = FCount - 1; i > index; --i)
            Set(i, (*this)[i - 1]);
        Set(index, item);
    }
    void MoveItem(int32_t from, int32_t to)
    {
        CheckIndex(from);
        CheckIndex(to);
        if (from == to)
            return;
        if (from == to + 1 || to == from + 1) {
            Exchange(from, to);
            return;
        }
        T* item = (*this)[from];
        Delete(from);
        Insert(to, item);
    }
    void Exchange(int32_t i, int32_t j)
    {
        CheckIndex(i);
        CheckIndex(j);
        T* tmp = (*this)[i];
        Set(i, (*this)[j]);
        Set(j, tmp);
    }
    void Assign(const TTightList& other)
    {
        if (&other == this)
            return;
        Clear();
        if (other.FCount == 1)
            FList.One = other.FList.One;
        else if (other.FCount > 1) {
            FList.Many = new T*[static_cast<size_t>(other.FCount)];
            std::memcpy(FList.Many, other.FList.Many,
                        sizeof(T*) * static_cast<size_t>(other.FCount));
        }
        FCount = other.FCount;
    }
    // Forgets the items.
    void Clear() noexcept
    {
        if (FCount > 1)
            delete[] FList.Many;
        FList.One = nullptr;
        FCount = 0;
    }
    // Deletes every item, last first, then clears.
    void Free() noexcept
    {
        for (int32_t i = FCount - 1; i >= 0; --i)
            delete (*this)[i];
        Clear();
    }

    T* const* begin() const noexcept { return FCount == 1 ? &FList.One : FList.Many; }
    T* const* end() const noexcept { return begin() + (FCount ? FCount : 0); }

private:
    void CheckIndex(int32_t index) const
    {
        if (index < 0 || index >= FCount)
            throw ETightListOutOfBound(ListIndexOutOfBoundsMessage);
    }
    void Set(int32_t index, T* item) noexcept
    {
        if (FCount == 1)
            FList.One = item;
        else
            FList.Many[index] = item;
    }
    // Grows the array by exactly one pointer.
    T** Grow()
    {
        T** list = new T*[static_cast<size_t>(FCount) + 1];
        std::memcpy(list, FList.Many, sizeof(T*) * static_cast<size_t>(FCount));
        delete[] FList.Many;
        FList.Many = list;
        return list;
    }
    T** Shrink(int32_t index)
    {
        T** list = new T*[static_cast<size_t>(FCount) - 1];
        for (int32_t i = 0, j = 0; i < FCount; ++i)
            if (i != index)
                list[j++] = FList.Many[i];
        delete[] FList.Many;
        return list;
    }

    union {
        T* One;
        T** Many;
    } FList{nullptr};
    int32_t FCount = 0;
};

// ---------------------------------------------------------------------------
// TTightStack
// ---------------------------------------------------------------------------

// A stack of plain values (pointers, small records) over one array that
// grows by half plus 8; used for the execution's call stack.
template <class T> class TTightStack final {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    TTightStack() noexcept = default;
    TTightStack(const TTightStack&) = delete;
    TTightStack& operator=(const TTightStack&) = delete;
    ~TTightStack() { delete[] FList; }

    void Push(const T& item)
    {
        if (FCount == FCapacity)
            Grow();
        FList[FCount++] = item;
    }
    void Pop() noexcept { --FCount; }
    T Peek() const noexcept { return FList[FCount - 1]; }
    // Releases the array.
    void Clear() noexcept
    {
        delete[] FList;
        FList = nullptr;
        FCount = FCapacity = 0;
    }

    int32_t Count() const noexcept { return FCount; }
    int32_t Capacity() const noexcept { return FCapacity; }
    // Position 0 is the bottom.
    const T& operator[](int32_t index) const noexcept { return FList[index]; }
    const T* List() const noexcept { return FList; }

private:
    void Grow()
    {
        const int32_t capacity = FCapacity + FCapacity / 2 + 8;
        T* list = new T[static_cast<size_t>(capacity)];
        if (FCount)
            std::memcpy(static_cast<void*>(list), FList, sizeof(T) * static_cast<size_t>(FCount));
        delete[] FList;
        FList = list;
        FCapacity = capacity;
    }

    T* FList = nullptr;
    int32_t FCount = 0;
    int32_t FCapacity = 0;
};

// ---------------------------------------------------------------------------
// TSimpleList, TSimpleStack
// ---------------------------------------------------------------------------

// Grows by a quarter plus 8.
inline int32_t SimpleGrowth(int32_t capacity) noexcept
{
    return capacity + capacity / 4 + 8;
}

template <class T> class TSimpleList {
public:
    // By value: the item may be one of this list's own, which growing moves.
    void Add(T item)
    {
        Reserve();
        FItems.push_back(std::move(item));
    }
    // Removes the item at `index`; later items move down.
    void Extract(int32_t index) { FItems.erase(FItems.begin() + index); }
    void Clear() noexcept { FItems.clear(); }
    T& operator[](int32_t index) { return FItems[static_cast<size_t>(index)]; }
    const T& operator[](int32_t index) const { return FItems[static_cast<size_t>(index)]; }
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    int32_t Capacity() const noexcept { return static_cast<int32_t>(FItems.capacity()); }
    auto begin() { return FItems.begin(); }
    auto end() { return FItems.end(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    void Reserve()
    {
        if (FItems.size() == FItems.capacity())
            FItems.reserve(static_cast<size_t>(SimpleGrowth(Capacity())));
    }
    std::vector<T> FItems;
};

template <class T> class TSimpleStack {
public:
    // By value: the item may be one of this stack's own, which growing moves.
    void Push(T item)
    {
        Reserve();
        FItems.push_back(std::move(item));
    }
    void Pop() { FItems.pop_back(); }
    T& Peek() { return FItems.back(); }
    const T& Peek() const { return FItems.back(); }
    // Position 0 is the top.
    T& operator[](int32_t index) { return FItems[FItems.size() - 1 - static_cast<size_t>(index)]; }
    const T& operator[](int32_t index) const
    {
        return FItems[FItems.size() - 1 - static_cast<size_t>(index)];
    }
    void Clear() noexcept { FItems.clear(); }
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    int32_t Capacity() const noexcept { return static_cast<int32_t>(FItems.capacity()); }

private:
    void Reserve()
    {
        if (FItems.size() == FItems.capacity())
            FItems.reserve(static_cast<size_t>(SimpleGrowth(Capacity())));
    }
    std::vector<T> FItems;
};

// ---------------------------------------------------------------------------
// TSimpleHash, TSimpleObjectHash
// ---------------------------------------------------------------------------

enum class TSimpleCallbackStatus { csContinue, csAbort };

// An open-addressing hash set with linear probing. Each bucket keeps the
// item's hash code; a code of 0 marks an empty bucket, so a computed code
// of 0 is stored as 1. Grows to 16, then doubles, at 3/4 load.
template <class T> class TSimpleHash {
public:
    virtual ~TSimpleHash() = default;

    // False when an equal item is already present (nothing is stored then).
    bool Add(T item)
    {
        if (FCount >= FGrowth)
            Grow();
        const uint32_t code = HashCodeOf(item);
        const size_t slot = FindSlot(item, code);
        if (FBuckets[slot].HashCode != 0)
            return false;
        FBuckets[slot].HashCode = code;
        FBuckets[slot].Item = std::move(item);
        ++FCount;
        return true;
    }
    bool Contains(const T& item) const
    {
        if (FCount == 0)
            return false;
        return FBuckets[FindSlot(item, HashCodeOf(item))].HashCode != 0;
    }
    // On success copies the stored item into `item`.
    bool Match(T& item) const
    {
        if (FCount == 0)
            return false;
        const auto& bucket = FBuckets[FindSlot(item, HashCodeOf(item))];
        if (bucket.HashCode == 0)
            return false;
        item = bucket.Item;
        return true;
    }
    // Visits the stored items in slot order.
    void Enumerate(const std::function<TSimpleCallbackStatus(T&)>& callback)
    {
        for (auto& bucket : FBuckets)
            if (bucket.HashCode != 0 && callback(bucket.Item) == TSimpleCallbackStatus::csAbort)
                return;
    }
    void Clear()
    {
        FBuckets.clear();
        FCount = FGrowth = FCapacity = 0;
    }
    int32_t Count() const noexcept { return FCount; }
    int32_t Capacity() const noexcept { return FCapacity; }

protected:
    virtual bool SameItem(const T& a, const T& b) const = 0;
    virtual uint32_t GetItemHashCode(const T& item) const = 0;

private:
    struct TBucket {
        uint32_t HashCode = 0;
        T Item{};
    };
    uint32_t HashCodeOf(const T& item) const
    {
        const uint32_t code = GetItemHashCode(item);
        return code ? code : 1;
    }
    // The slot holding an item equal to `item`, or the empty slot where it belongs.
    size_t FindSlot(const T& item, uint32_t code) const
    {
        const size_t mask = static_cast<size_t>(FCapacity) - 1;
        size_t slot = code & mask;
        while (FBuckets[slot].HashCode != 0
               && !(FBuckets[slot].HashCode == code && SameItem(FBuckets[slot].Item, item)))
            slot = (slot + 1) & mask;
        return slot;
    }
    void Grow()
    {
        FCapacity = FCapacity == 0 ? 16 : FCapacity * 2;
        FGrowth = FCapacity * 3 / 4;
        std::vector<TBucket> old(static_cast<size_t>(FCapacity));
        old.swap(FBuckets);
        const size_t mask = static_cast<size_t>(FCapacity) - 1;
        for (auto& bucket : old) {
            if (bucket.HashCode == 0)
                continue;
            size_t slot = bucket.HashCode & mask;
            while (FBuckets[slot].HashCode != 0)
                slot = (slot + 1) & mask;
            FBuckets[slot] = std::move(bucket);
        }
    }

    std::vector<TBucket> FBuckets;
    int32_t FCount = 0;
    int32_t FGrowth = 0;
    int32_t FCapacity = 0;
};

// A hash set of object pointers by identity.
template <class T> class TSimpleObjectHash : public TSimpleHash<T*> {
protected:
    bool SameItem(T* const& a, T* const& b) const override { return a == b; }
    // Objects are at least 16-byte aligned: the low bits carry nothing.
    uint32_t GetItemHashCode(T* const& item) const override
    {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(item) >> 4) + 1;
    }
};

// ---------------------------------------------------------------------------
// TSortedList
// ---------------------------------------------------------------------------

// A list kept in the order of Compare; equal items are all kept, a new one
// before the old ones.
template <class T> class TSortedList {
public:
    virtual ~TSortedList() = default;

    // By value: the item may be one of this list's own, which growing moves.
    int32_t Add(T item)
    {
        int32_t index;
        Find(item, index);
        if (FItems.size() == FItems.capacity())
            FItems.reserve(FItems.size() + FItems.size() / 16 + 8);
        FItems.insert(FItems.begin() + index, std::move(item));
        return index;
    }
    // Binary search: whether an equal item exists, and in `index` the first
    // equal item or the insertion point.
    bool Find(const T& item, int32_t& index) const
    {
        int32_t lo = 0;
        int32_t hi = Count() - 1;
        bool found = false;
        while (lo <= hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            const int cmp = Compare(FItems[static_cast<size_t>(mid)], item);
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
    T Extract(int32_t index)
    {
        T item = std::move(FItems[static_cast<size_t>(index)]);
        FItems.erase(FItems.begin() + index);
        return item;
    }
    // Index the item had, or -1.
    int32_t Remove(const T& item)
    {
        int32_t index;
        if (!Find(item, index))
            return -1;
        Extract(index);
        return index;
    }
    void Clear() noexcept { FItems.clear(); }
    // Deletes every item (pointer lists), then clears.
    void Clean() noexcept
    {
        if constexpr (std::is_pointer_v<T>)
            for (T item : FItems)
                delete item;
        FItems.clear();
    }
    void Enumerate(const std::function<TSimpleCallbackStatus(T&)>& callback)
    {
        for (auto& item : FItems)
            if (callback(item) == TSimpleCallbackStatus::csAbort)
                return;
    }
    const T& operator[](int32_t index) const { return FItems[static_cast<size_t>(index)]; }
    const T& Items(int32_t index) const { return FItems[static_cast<size_t>(index)]; }
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

protected:
    virtual int Compare(const T& a, const T& b) const = 0;

private:
    std::vector<T> FItems;
};

// ---------------------------------------------------------------------------
// TInterfacedSelfObject, TAutoStore
// ---------------------------------------------------------------------------

// A reference-counted object that can answer itself through any reference
// to it. Base of programs, executions, function prototypes, source
// conditions and external function handlers.
class TInterfacedSelfObject : public TRefCountedObject {
public:
    TInterfacedSelfObject* GetSelf() noexcept { return this; }
    const TInterfacedSelfObject* GetSelf() const noexcept { return this; }
};

// Owns one object and frees it with the last reference to the store.
template <class T> class TAutoStore final : public TInterfacedSelfObject {
public:
    explicit TAutoStore(T* value) : FValue(value) {}
    explicit TAutoStore(std::unique_ptr<T> value) : FValue(std::move(value)) {}
    T* GetValue() const noexcept { return FValue.get(); }

private:
    std::unique_ptr<T> FValue;
};

template <class T> using IAutoStore = TRefPtr<TAutoStore<T>>;

// ---------------------------------------------------------------------------
// Fast-compare string lists
// ---------------------------------------------------------------------------

enum class TDuplicates { dupIgnore, dupAccept, dupError };

inline constexpr char16_t DuplicateStringMessage[] = u"String list does not allow duplicates";

// A string list with attached objects. When sorted, it keeps the order of
// CompareStrings and finds by binary search; Duplicates says what adding
// an existing string does. This one compares ordinally (case-sensitive).
class TFastCompareStringList {
public:
    struct TItem {
        UnicodeString String;
        void* Object = nullptr;
    };

    virtual ~TFastCompareStringList() = default;

    bool Sorted() const noexcept { return FSorted; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const noexcept { return FDuplicates; }
    void SetDuplicates(TDuplicates duplicates) noexcept { FDuplicates = duplicates; }

    // Answers the index of the new string; on a sorted list with
    // dupIgnore, the index of the existing equal string instead.
    int32_t Add(const UnicodeString& s) { return AddObject(s, nullptr); }
    int32_t AddObject(const UnicodeString& s, void* object);
    // Sorted lists only: whether `s` is present, and its index or insertion point.
    bool Find(std::u16string_view s, int32_t& index) const;
    int32_t IndexOf(std::u16string_view s) const;
    void Delete(int32_t index);
    void Clear() noexcept { FItems.clear(); }

    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    const UnicodeString& Strings(int32_t index) const;
    void* Objects(int32_t index) const;
    void SetObject(int32_t index, void* object);

    virtual int CompareStrings(std::u16string_view a, std::u16string_view b) const;

private:
    void CheckIndex(int32_t index) const;
    std::vector<TItem> FItems;
    bool FSorted = false;
    TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

// The same list comparing with FastCompareText.
class TFastCompareTextList : public TFastCompareStringList {
public:
    int CompareStrings(std::u16string_view a, std::u16string_view b) const override;
};

// One list of the interning table: sorted, ignores duplicates, and guarded
// by its own lock.
class TUnifierStringList final : public TFastCompareStringList {
public:
    TUnifierStringList();
    // The stored string equal to `text`, adding it when new.
    UnicodeString Unify(std::u16string_view text);

private:
    std::mutex FLock;
};

// ---------------------------------------------------------------------------
// TVarRecArrayContainer
// ---------------------------------------------------------------------------

// One argument of a formatting call, tagged by kind.
enum class TVarRecKind { vtBoolean, vtInt64, vtExtended, vtUnicodeString, vtPointer };

struct TVarRec {
    TVarRecKind VType = TVarRecKind::vtPointer;
    bool VBoolean = false;
    int64_t VInt64 = 0;
    double VExtended = 0;
    UnicodeString VUnicodeString;
    const void* VPointer = nullptr; // always nil: values with no scalar form
};

// Builds the tagged argument array that Format reads from script values:
// Booleans stay Booleans, integers become 64-bit integers, floats become
// floats, strings strings, and anything else a nil pointer.
class TVarRecArrayContainer final {
public:
    TVarRecArrayContainer() = default;
    explicit TVarRecArrayContainer(std::span<const Variant> values);

    void Add(const Variant& value);
    std::span<const TVarRec> VarRecArray() const noexcept { return FVarRecArray; }
    int32_t Count() const noexcept { return static_cast<int32_t>(FVarRecArray.size()); }

private:
    std::vector<TVarRec> FVarRecArray;
};
