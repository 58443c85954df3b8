#include "tvsUtils.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Narrow(std::u16string_view text)
{
    std::string result;
    for (char16_t c : text)
        result += c < 0x80 ? static_cast<char>(c) : '?';
    return result;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// Records the order in which objects are deleted.
struct TTracked {
    TTracked(int id, std::vector<int>* log) : Id(id), Log(log) {}
    ~TTracked() { Log->push_back(Id); }
    int Id;
    std::vector<int>* Log;
};

} // namespace

TEST(tvsUtils, FastCompareText)
{
    const struct {
        std::u16string a;
        std::u16string b;
        int expected;
        bool exact; // the value itself matters, not only its sign
    } cases[] = {
        {u"abc", u"ABC", 0, true},
        {u"", u"", 0, true},
        {u"", u"x", -1, true},
        {u"x", u"", 1, true},
        {u"ab", u"abc", -1, true},
        {u"abc", u"ab", 1, true},
        {u"a", u"_", 'A' - '_', true}, // letters compare as upper case: "_" sorts after them
        {u"B", u"a", 1, true},         // the difference of the folded codes
        {u"a1", u"A2", -1, true},
        {u"\u00C4rger", u"\u00E4RGER", 0, true}, // non-ASCII letters fold too
        {u"K", u"\u212A", 0, true},              // the Kelvin sign folds to k
        {u"stra\u00DFe", u"STRASSE", 1, false},  // one unit never folds to two
        {u"\u00E9", u"f", 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.a) + " vs " + Narrow(c.b));
        if (c.exact)
            EXPECT_EQ(FastCompareText(c.a, c.b), c.expected);
        else
            EXPECT_EQ(Sign(FastCompareText(c.a, c.b)), Sign(c.expected));
        EXPECT_EQ(FastSameText(c.a, c.b), c.expected == 0);
    }
}

// Sorted symbol tables rely on a total order: sorting and then searching
// must find every name, whatever mix of scripts the names use.
TEST(tvsUtils, FastCompareTextIsATotalOrder)
{
    const std::vector<std::u16string> names = {
        u"a",
        u"A",
        u"_x",
        u"Zeta",
        u"zeta",
        u"\u00E9t\u00E9",
        u"\u00C9T\u00C9",
        u"ete",
        u"f",
        u"\u0416",
        u"\u0436",
        u"K",
        u"\u212A",
        u"k1",
        u"\u4E2D\u6587",
        u"x_",
        u"X1",
        u"",
        u"~",
        u"\U0001F600",
        u"\u00DF",
    };
    for (const auto& a : names)
        for (const auto& b : names) {
            SCOPED_TRACE(Narrow(a) + " vs " + Narrow(b));
            EXPECT_EQ(Sign(FastCompareText(a, b)), -Sign(FastCompareText(b, a)));
            for (const auto& c : names)
                if (FastCompareText(a, b) <= 0 && FastCompareText(b, c) <= 0) {
                    EXPECT_LE(FastCompareText(a, c), 0) << Narrow(c);
                }
        }
}

TEST(tvsUtils, FastStartsWithText)
{
    const struct {
        std::u16string s;
        std::u16string prefix;
        bool expected;
    } cases[] = {
        {u"Hello", u"", false},   {u"Hello", u"HE", true}, {u"Hello", u"hello", true},
        {u"He", u"Hello", false}, {u"", u"", false},       {u"Hello", u"Hx", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.s) + " / " + Narrow(c.prefix));
        EXPECT_EQ(FastStartsWithText(c.s, c.prefix), c.expected);
    }
}

TEST(tvsUtils, UnifyStringSharesOneInstance)
{
    const UnicodeString first = UnifyString(std::u16string(u"Interned"));
    const UnicodeString second = UnifyString(u"Interned");
    EXPECT_TRUE(first.SameInstance(second));
    EXPECT_EQ(first.ToU16String(), u"Interned");
    EXPECT_FALSE(UnifyString(u"interned").SameInstance(first)); // case-sensitive
    EXPECT_TRUE(UnifyString(u"").IsEmpty());
    // The first character selects the list; any code unit must be safe.
    EXPECT_EQ(UnifyString(u"\u00FFa").ToU16String(), u"\u00FFa");
    EXPECT_EQ(UnifyString(std::u16string(u"\0z", 2)).Length(), 2u);
}

TEST(tvsUtils, UnifyStringFromManyThreads)
{
    constexpr int ThreadCount = 4;
    constexpr int NameCount = 200;
    std::vector<std::vector<UnicodeString>> results(ThreadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < ThreadCount; ++t)
        threads.emplace_back([t, &results] {
            for (int i = 0; i < NameCount; ++i) {
                const std::string name = "name" + std::to_string(i);
                results[static_cast<size_t>(t)].push_back(
                    UnifyString(std::u16string(name.begin(), name.end())));
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 1; t < ThreadCount; ++t)
        for (int i = 0; i < NameCount; ++i)
            ASSERT_TRUE(results[static_cast<size_t>(t)][static_cast<size_t>(i)].SameInstance(
                results[0][static_cast<size_t>(i)]));
}

TEST(tvsUtils, BlockStreamLayouts)
{
    using TInfo = TWriteOnlyBlockStream::TBlockInfo;
    const struct {
        const char* name;
        std::vector<int32_t> writes;
        std::vector<TInfo> expected;
    } cases[] = {
        {"fills the first block exactly", {8184}, {{8184, 8184}}},
        {"overflow goes to a new regular block", {10, 8185}, {{8184, 8184}, {8184, 11}}},
        {"large remainder gets a dedicated block",
         {10, 13000},
         {{8184, 8184}, {4826, 4826}, {8184, 0}}},
        {"large write into an empty block", {9000}, {{9000, 9000}, {8184, 0}}},
        {"after a dedicated block writing goes on", {9000, 5}, {{9000, 9000}, {8184, 5}}},
        {"a full block is followed by a dedicated one",
         {8184, 5000},
         {{8184, 8184}, {5000, 5000}, {8184, 0}}},
        {"remainder at the threshold stays regular", {8000, 4276}, {{8184, 8184}, {8184, 4092}}},
        {"remainder above the threshold", {8000, 4277}, {{8184, 8184}, {4093, 4093}, {8184, 0}}},
        {"nothing written for 0 or less", {0, -5}, {{8184, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWriteOnlyBlockStream stream;
        int64_t total = 0;
        unsigned char next = 0;
        std::vector<unsigned char> written;
        for (int32_t count : c.writes) {
            std::vector<unsigned char> data(count > 0 ? static_cast<size_t>(count) : 0);
            for (auto& byte : data)
                byte = next++;
            EXPECT_EQ(stream.Write(data.data(), count), count);
            written.insert(written.end(), data.begin(), data.end());
            total += std::max(count, 0);
        }
        EXPECT_EQ(stream.Blocks(), c.expected);
        EXPECT_EQ(stream.GetSize(), total);
        // The bytes come back in the order written, across all blocks.
        std::vector<unsigned char> stored(written.size());
        stream.StoreData(stored.data());
        EXPECT_EQ(stored, written);
    }
}

TEST(tvsUtils, BlockStreamText)
{
    TWriteOnlyBlockStream stream;
    EXPECT_TRUE(stream.ToString().IsEmpty());
    stream.WriteString(u"Hello");
    stream.WriteChar(u',');
    stream.WriteString(u"");
    stream.WriteSubString(u"  world", 3);
    EXPECT_EQ(stream.GetSize(), 22);
    EXPECT_EQ(stream.ToString().ToU16String(), u"Hello,world");
    EXPECT_EQ(stream.ToU16String(), u"Hello,world");

    // Long text crossing blocks and a dedicated block reads back whole.
    std::u16string longText;
    for (int i = 0; i < 10000; ++i)
        longText += static_cast<char16_t>(u'a' + i % 26);
    stream.WriteString(longText);
    EXPECT_EQ(stream.ToString().ToU16String(), u"Hello,world" + longText);

    stream.Clear();
    EXPECT_EQ(stream.GetSize(), 0);
    EXPECT_TRUE(stream.ToString().IsEmpty());
    stream.WriteString(u"again");
    EXPECT_EQ(stream.ToString().ToU16String(), u"again");

    stream.Write("x", 1);
    EXPECT_THROW(stream.ToString(), EAssertionFailed);
}

TEST(tvsUtils, BlockStreamWriteSubString)
{
    const struct {
        int64_t start;
        int64_t length;
        std::u16string expected;
    } cases[] = {
        {1, 2, u"he"}, {4, 10, u"lo"}, {5, 1, u"o"},     {6, 1, u""},
        {2, 0, u""},   {2, -1, u""},   {1, 5, u"hello"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "," + std::to_string(c.length));
        TWriteOnlyBlockStream stream;
        stream.WriteSubString(u"hello", c.start, c.length);
        EXPECT_EQ(stream.ToU16String(), c.expected);
    }
    TWriteOnlyBlockStream stream;
    EXPECT_THROW(stream.WriteSubString(u"hello", 0, 1), EAssertionFailed);
    stream.WriteSubString(u"hello", 3);
    EXPECT_EQ(stream.ToU16String(), u"llo");
}

TEST(tvsUtils, BlockStreamIsWriteOnly)
{
    TWriteOnlyBlockStream stream;
    stream.WriteString(u"abc");
    EXPECT_EQ(stream.Seek(0, TSeekOrigin::soCurrent), 6);
    const struct {
        int64_t offset;
        TSeekOrigin origin;
    } refused[] = {
        {0, TSeekOrigin::soBeginning},
        {0, TSeekOrigin::soEnd},
        {1, TSeekOrigin::soCurrent},
    };
    for (const auto& c : refused) {
        try {
            stream.Seek(c.offset, c.origin);
            ADD_FAILURE() << "seek allowed";
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message(), u"not allowed");
        }
    }
    char buffer[4];
    EXPECT_THROW(stream.Read(buffer, 4), EStreamError);
}

TEST(tvsUtils, TightListStoresOneItemInline)
{
    int a = 1, b = 2, c = 3;
    TTightList<int> list;
    EXPECT_EQ(list.Add(&a), 0);
    EXPECT_TRUE(list.IsInline());
    EXPECT_EQ(list.Add(&b), 1);
    EXPECT_EQ(list.Add(&c), 2);
    EXPECT_FALSE(list.IsInline());
    list.Delete(0);
    list.Delete(1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.IsInline());
    EXPECT_EQ(list.IndexOf(&b), 0);
    EXPECT_EQ(list[0], &b);
    EXPECT_EQ(list.IndexOf(&a), -1);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(tvsUtils, TightListEditing)
{
    int items[5] = {0, 1, 2, 3, 4};
    auto contents = [&](const TTightList<int>& list) {
        std::string s;
        for (int* item : list)
            s += std::to_string(*item);
        return s;
    };
    TTightList<int> list;
    for (int i = 0; i < 3; ++i)
        list.Add(&items[i]);
    EXPECT_EQ(contents(list), "012");

    try {
        list.Delete(5);
        ADD_FAILURE() << "no error";
    } catch (const ETightListOutOfBound& e) {
        EXPECT_EQ(e.Message(), u"List index out of bounds");
    }
    EXPECT_THROW(list.Delete(-1), ETightListOutOfBound);
    EXPECT_THROW(list.Insert(4, &items[3]), ETightListOutOfBound);
    EXPECT_THROW(list.MoveItem(0, 3), ETightListOutOfBound);

    list.Insert(3, &items[3]); // index = count appends
    EXPECT_EQ(contents(list), "0123");
    list.Insert(0, &items[4]);
    EXPECT_EQ(contents(list), "40123");
    list.MoveItem(1, 2); // neighbours swap
    EXPECT_EQ(contents(list), "41023");
    list.MoveItem(0, 4);
    EXPECT_EQ(contents(list), "10234");
    list.MoveItem(4, 0);
    EXPECT_EQ(contents(list), "41023");
    list.Exchange(0, 4);
    EXPECT_EQ(contents(list), "31024");
    EXPECT_EQ(list.Remove(&items[0]), 2);
    EXPECT_EQ(list.Remove(&items[0]), -1);
    EXPECT_EQ(contents(list), "3124");

    TTightList<int> copy;
    copy.Assign(list);
    list.Clear();
    EXPECT_EQ(contents(copy), "3124");
    TTightList<int> single;
    single.Add(&items[2]);
    copy.Assign(single);
    EXPECT_EQ(contents(copy), "2");
    TTightList<int> single2;
    single2.Insert(0, &items[1]);
    EXPECT_EQ(contents(single2), "1");
}

TEST(tvsUtils, TightListFreeDeletesLastFirst)
{
    std::vector<int> log;
    TTightList<TTracked> list;
    for (int i = 1; i <= 3; ++i)
        list.Add(new TTracked(i, &log));
    list.Free();
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(list.Count(), 0);
}

TEST(tvsUtils, TightStackGrowth)
{
    TTightStack<int> stack;
    std::vector<int32_t> capacities;
    for (int i = 0; i < 40; ++i) {
        stack.Push(i);
        if (capacities.empty() || capacities.back() != stack.Capacity())
            capacities.push_back(stack.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{8, 20, 38, 65}));
    EXPECT_EQ(stack.Peek(), 39);
    EXPECT_EQ(stack[0], 0);
    stack.Pop();
    EXPECT_EQ(stack.Peek(), 38);
    EXPECT_EQ(stack.Count(), 39);
    stack.Clear();
    EXPECT_EQ(stack.Count(), 0);
    EXPECT_EQ(stack.Capacity(), 0);
}

TEST(tvsUtils, SimpleListAndStack)
{
    TSimpleList<UnicodeString> list;
    std::vector<int32_t> capacities;
    for (int i = 0; i < 20; ++i) {
        list.Add(IntToStr(i));
        if (capacities.empty() || capacities.back() != list.Capacity())
            capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{8, 18, 30}));
    list.Extract(0);
    list.Extract(list.Count() - 1);
    EXPECT_EQ(list.Count(), 18);
    EXPECT_EQ(list[0].ToU16String(), u"1");
    EXPECT_EQ(list[17].ToU16String(), u"18");

    // Adding one of the list's own items while it grows.
    TSimpleList<UnicodeString> self;
    for (int i = 0; i < 8; ++i)
        self.Add(IntToStr(i));
    self.Add(self[3]);
    EXPECT_EQ(self[8].ToU16String(), u"3");

    TSimpleStack<Variant> stack;
    stack.Push(Variant(1));
    stack.Push(Variant(u"two"));
    stack.Push(Variant(3.5));
    EXPECT_EQ(stack[0].ToFloat(), 3.5); // position 0 is the top
    EXPECT_EQ(stack[2].ToInteger(), 1);
    stack.Pop();
    EXPECT_EQ(stack.Peek().ToString().ToU16String(), u"two");
    EXPECT_EQ(stack.Count(), 2);
}

namespace {

// Every item hashes to 0 or to one of two codes: the table must still
// keep items apart and find them.
class TCollidingHash final : public TSimpleHash<int> {
protected:
    bool SameItem(const int& a, const int& b) const override { return a == b; }
    uint32_t GetItemHashCode(const int& item) const override
    {
        return static_cast<uint32_t>(item % 3 == 0 ? 0 : item % 2 + 16);
    }
};

} // namespace

TEST(tvsUtils, SimpleObjectHash)
{
    std::vector<int> objects(20);
    TSimpleObjectHash<int> hash;
    EXPECT_FALSE(hash.Contains(&objects[0]));
    EXPECT_TRUE(hash.Add(&objects[0]));
    EXPECT_FALSE(hash.Add(&objects[0]));
    EXPECT_EQ(hash.Count(), 1);
    EXPECT_EQ(hash.Capacity(), 16);
    for (int i = 1; i < 12; ++i)
        hash.Add(&objects[static_cast<size_t>(i)]);
    EXPECT_EQ(hash.Capacity(), 16);
    hash.Add(&objects[12]); // the 13th add grows the table
    EXPECT_EQ(hash.Capacity(), 32);
    for (int i = 0; i < 13; ++i)
        EXPECT_TRUE(hash.Contains(&objects[static_cast<size_t>(i)])) << i;
    EXPECT_FALSE(hash.Contains(&objects[13]));
    int* found = &objects[5];
    EXPECT_TRUE(hash.Match(found));
    EXPECT_EQ(found, &objects[5]);

    int visited = 0;
    hash.Enumerate([&](int*&) {
        ++visited;
        return visited == 5 ? TSimpleCallbackStatus::csAbort : TSimpleCallbackStatus::csContinue;
    });
    EXPECT_EQ(visited, 5);
}

TEST(tvsUtils, SimpleHashWithCollidingAndZeroCodes)
{
    TCollidingHash hash;
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(hash.Add(i)) << i;
    EXPECT_EQ(hash.Count(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(hash.Contains(i)) << i;
    EXPECT_FALSE(hash.Contains(51));
    EXPECT_FALSE(hash.Add(0));
    int sum = 0;
    hash.Enumerate([&](int& item) {
        sum += item;
        return TSimpleCallbackStatus::csContinue;
    });
    EXPECT_EQ(sum, 49 * 50 / 2);
}

namespace {

struct TKeyed {
    int Key;
    char Tag;
};

class TKeyedList final : public TSortedList<TKeyed> {
protected:
    int Compare(const TKeyed& a, const TKeyed& b) const override { return a.Key - b.Key; }
};

class TIntPtrList final : public TSortedList<TTracked*> {
protected:
    int Compare(TTracked* const& a, TTracked* const& b) const override { return a->Id - b->Id; }
};

} // namespace

TEST(tvsUtils, SortedListKeepsDuplicates)
{
    TKeyedList list;
    EXPECT_EQ(list.Add({5, 'a'}), 0);
    EXPECT_EQ(list.Add({1, 'b'}), 0);
    EXPECT_EQ(list.Add({5, 'c'}), 1); // new equal item goes before the old
    EXPECT_EQ(list.Add({9, 'd'}), 3);
    std::string tags;
    for (const auto& item : list)
        tags += item.Tag;
    EXPECT_EQ(tags, "bcad");

    int32_t index = -1;
    EXPECT_TRUE(list.Find({5, '?'}, index));
    EXPECT_EQ(index, 1); // the first equal item
    EXPECT_FALSE(list.Find({6, '?'}, index));
    EXPECT_EQ(index, 3); // the insertion point
    EXPECT_EQ(list.Remove({7, '?'}), -1);
    EXPECT_EQ(list.Remove({5, '?'}), 1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list[1].Tag, 'a');
    EXPECT_EQ(list.Extract(0).Tag, 'b');

    int visited = 0;
    list.Enumerate([&](TKeyed&) {
        ++visited;
        return TSimpleCallbackStatus::csAbort;
    });
    EXPECT_EQ(visited, 1);
}

TEST(tvsUtils, SortedListCleanDeletesItems)
{
    std::vector<int> log;
    TIntPtrList list;
    list.Add(new TTracked(2, &log));
    list.Add(new TTracked(1, &log));
    list.Clean();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(log.size(), 2u);
}

TEST(tvsUtils, AutoStoreFreesWithLastReference)
{
    std::vector<int> log;
    IAutoStore<TTracked> store = MakeRef<TAutoStore<TTracked>>(new TTracked(7, &log));
    IAutoStore<TTracked> second = store;
    EXPECT_EQ(store->GetValue()->Id, 7);
    EXPECT_EQ(store->GetSelf(), second.Get());
    store.Reset();
    EXPECT_TRUE(log.empty());
    second.Reset();
    EXPECT_EQ(log, std::vector<int>{7});
}

TEST(tvsUtils, FastCompareStringLists)
{
    TFastCompareTextList text;
    text.SetSorted(true);
    EXPECT_EQ(text.Add(u"Beta"), 0);
    EXPECT_EQ(text.Add(u"alpha"), 0);
    EXPECT_EQ(text.Add(u"BETA"), 1); // duplicates ignored, case-insensitively
    EXPECT_EQ(text.Count(), 2);
    EXPECT_EQ(text.IndexOf(u"ALPHA"), 0);
    EXPECT_EQ(text.IndexOf(u"gamma"), -1);

    TFastCompareStringList exact;
    exact.SetSorted(true);
    exact.Add(u"b");
    exact.Add(u"B");
    exact.Add(u"a");
    EXPECT_EQ(exact.Count(), 3);
    EXPECT_EQ(exact.Strings(0).ToU16String(), u"B"); // ordinal: upper case first
    EXPECT_EQ(exact.IndexOf(u"a"), 1);

    exact.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(exact.Add(u"a"), EStringListError);
    exact.SetDuplicates(TDuplicates::dupAccept);
    exact.Add(u"a");
    EXPECT_EQ(exact.Count(), 4);

    TFastCompareStringList unsorted;
    unsorted.Add(u"z");
    unsorted.AddObject(u"a", &unsorted);
    EXPECT_EQ(unsorted.Strings(1).ToU16String(), u"a");
    EXPECT_EQ(unsorted.Objects(1), &unsorted);
    unsorted.SetSorted(true);
    EXPECT_EQ(unsorted.Strings(0).ToU16String(), u"a");
    EXPECT_EQ(unsorted.Objects(0), &unsorted);
    EXPECT_THROW(unsorted.Strings(2), EStringListError);
}

TEST(tvsUtils, VarRecArrayContainer)
{
    struct TProbe final : TRefCountedObject {};
    const Variant values[] = {
        Variant(true), Variant(42),     Variant(2.5),        Variant(u"s"),
        Variant(),     Variant::Null(), Variant(new TProbe),
    };
    const TVarRecArrayContainer container(values);
    const auto recs = container.VarRecArray();
    ASSERT_EQ(recs.size(), 7u);
    EXPECT_EQ(recs[0].VType, TVarRecKind::vtBoolean);
    EXPECT_TRUE(recs[0].VBoolean);
    EXPECT_EQ(recs[1].VType, TVarRecKind::vtInt64);
    EXPECT_EQ(recs[1].VInt64, 42);
    EXPECT_EQ(recs[2].VType, TVarRecKind::vtExtended);
    EXPECT_EQ(recs[2].VExtended, 2.5);
    EXPECT_EQ(recs[3].VType, TVarRecKind::vtUnicodeString);
    EXPECT_EQ(recs[3].VUnicodeString.ToU16String(), u"s");
    for (size_t i = 4; i < 7; ++i) {
        EXPECT_EQ(recs[i].VType, TVarRecKind::vtPointer) << i;
        EXPECT_EQ(recs[i].VPointer, nullptr) << i;
    }
}
