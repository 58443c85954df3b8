#include "tvsStack.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tvsExceptions.h"

namespace {

// An object that tells when it dies, to see slots release what they hold.
class TProbe final : public TRefCountedObject {
public:
    explicit TProbe(bool& destroyed) : FDestroyed(destroyed) {}
    ~TProbe() override { FDestroyed = true; }

private:
    bool& FDestroyed;
};

TStackParameters Params(int32_t maxLevel = 1, int32_t chunk = 4096, int64_t maxBytes = 0)
{
    TStackParameters p;
    p.MaxLevel = maxLevel;
    p.ChunkSize = chunk;
    p.MaxByteSize = maxBytes;
    return p;
}

} // namespace

TEST(tvsStack, GrowsByWholeChunksUpToTheLimit)
{
    const struct {
        int32_t chunk;
        int64_t maxBytes;
        int32_t push;
        int32_t expectedSize;
    } cases[] = {
        {4096, 0, 10, 4096},
        {4096, 0, 4096, 8192}, // one more than asked rounds up to the next chunk
        {4096, 0, 4095, 4096},
        {100, 0, 250, 300},
        {4096, 1600, 100, 100}, // clamped to the 100-slot limit
        {7, 1600, 99, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chunk << " " << c.maxBytes << " " << c.push);
        TStack stack(Params(1, c.chunk, c.maxBytes));
        stack.Push(c.push);
        EXPECT_EQ(stack.StackPointer(), c.push);
        EXPECT_EQ(stack.Size(), c.expectedSize);
        EXPECT_TRUE(stack.Slot(c.push - 1).IsEmpty());
    }
}

TEST(tvsStack, MaxSizeFollowsByteLimit)
{
    EXPECT_EQ(TStack(Params(1, 4096, 1600)).MaxSize(), 100);
    EXPECT_EQ(TStack(Params(1, 4096, 0)).MaxSize(), 2147483647 / 16);
    EXPECT_EQ(TStack(Params(1, 4096, -5)).MaxSize(), 2147483647 / 16);
}

TEST(tvsStack, PushBeyondLimitRaisesAndKeepsTheStack)
{
    TStack stack(Params(1, 4096, 1600));
    stack.Push(60);
    stack.WriteIntValue(59, 7);
    try {
        stack.Push(41);
        FAIL() << "no exception";
    } catch (const EScriptStackException& e) {
        EXPECT_EQ(e.Message(), u"Maximal data size exceeded (100 Variants)");
        EXPECT_EQ(std::u16string(e.ClassName()), u"EScriptStackException");
    }
    EXPECT_EQ(stack.StackPointer(), 60);
    EXPECT_EQ(stack.ReadIntValue(59), 7);
    stack.Push(40); // exactly the limit is fine
    EXPECT_EQ(stack.Size(), 100);
}

TEST(tvsStack, ValuesSurviveGrowth)
{
    TStack stack(Params(1, 4));
    for (int32_t i = 0; i < 50; ++i) {
        stack.Push(1);
        stack.WriteStrValue(i,
                            UnicodeString(std::u16string(1, static_cast<char16_t>(u'A' + i % 26))));
    }
    EXPECT_GE(stack.Size(), 50);
    for (int32_t i = 0; i < 50; ++i)
        EXPECT_EQ(stack.ReadStrValue(i).View(),
                  std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
}

TEST(tvsStack, PopReleasesWhatSlotsHold)
{
    bool destroyed = false;
    TStack stack(Params());
    stack.Push(3);
    stack.WriteIntfValue(1, new TProbe(destroyed));
    stack.WriteStrValue(2, UnicodeString(u"text"));
    stack.Pop(2);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(stack.StackPointer(), 1);
    EXPECT_TRUE(stack.Slot(1).IsEmpty());
    EXPECT_TRUE(stack.Slot(2).IsEmpty());
}

TEST(tvsStack, ResetReleasesEverything)
{
    bool destroyed = false;
    TStack stack(Params());
    stack.Push(2);
    stack.WriteIntfValue(0, new TProbe(destroyed));
    stack.Reset();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(stack.Size(), 0);
    EXPECT_EQ(stack.StackPointer(), 0);
    EXPECT_EQ(stack.BasePointer(), 0);
    EXPECT_EQ(stack.GetSavedBp(0), 0);
    EXPECT_EQ(stack.GetSavedBp(1), 0);
}

// The call protocol as the call nodes run it: main program (level 0)
// calls A (level 1), A calls its nested routine N (level 2), N calls A
// again. N reaches A's variables through the level-1 saved base pointer.
TEST(tvsStack, FramesGiveNestedRoutinesTheirEnclosingFrame)
{
    TStack stack(Params(2));
    stack.Push(3); // globals
    stack.PushSavedBp(0, 0);

    auto call = [&](int32_t callerLevel, int32_t paramSlots, int32_t locals) {
        stack.Push(paramSlots);
        const int32_t saved = stack.SwitchFrame(callerLevel);
        stack.Push(locals);
        return saved;
    };
    auto leave = [&](int32_t callerLevel, int32_t saved, int32_t paramSlots, int32_t locals) {
        stack.Pop(locals);
        stack.RestoreFrame(callerLevel, saved);
        stack.Pop(paramSlots);
    };

    const int32_t savedMain = call(0, 1, 2); // A from the main program
    const int32_t frameA = stack.BasePointer();
    EXPECT_EQ(frameA, 4);
    EXPECT_EQ(stack.FrameSize(), 2);
    stack.WriteIntValue(frameA + 0, 11); // A's first local
    stack.WriteIntValue(frameA - 1, 99); // A's parameter (address -1)

    const int32_t savedA = call(1, 0, 1); // N from A's body (level 1)
    EXPECT_EQ(stack.GetSavedBp(1), frameA);
    EXPECT_EQ(stack.ReadIntValue(stack.GetSavedBp(1) + 0), 11);
    EXPECT_EQ(stack.ReadIntValue(stack.GetSavedBp(1) - 1), 99);

    const int32_t savedN = call(2, 1, 2); // A again, from N's body (level 2)
    const int32_t frameA2 = stack.BasePointer();
    const int32_t savedA2 = call(1, 0, 1); // N from the inner A
    EXPECT_EQ(stack.GetSavedBp(1), frameA2);
    leave(1, savedA2, 0, 1);
    leave(2, savedN, 1, 2);
    EXPECT_EQ(stack.GetSavedBp(1), frameA); // back in N: A's frame again
    leave(1, savedA, 0, 1);
    EXPECT_EQ(stack.BasePointer(), frameA);
    leave(0, savedMain, 1, 2);
    EXPECT_EQ(stack.BasePointer(), 0);
    EXPECT_EQ(stack.StackPointer(), 3);
    stack.PopSavedBp(0);
    stack.Pop(3);
    EXPECT_EQ(stack.StackPointer(), 0);
}

TEST(tvsStack, LevelAboveMaxLevelIsAnAssertion)
{
    TStack stack(Params(1));
    EXPECT_THROW(stack.SwitchFrame(2), EAssertionFailed);
    EXPECT_THROW(stack.GetSavedBp(2), EAssertionFailed);
    EXPECT_THROW(stack.GetSavedBp(-1), EAssertionFailed);
}

TEST(tvsStack, ChunkSizeMustBePositive)
{
    EXPECT_THROW(TStack(Params(1, 0)), EAssertionFailed);
}

TEST(tvsStack, InPlaceArithmetic)
{
    TStack stack(Params());
    stack.Push(3);
    stack.WriteIntValue(0, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(stack.IncIntValue(0, 1), std::numeric_limits<int64_t>::min()); // wraps
    EXPECT_EQ(stack.ReadIntValue(0), std::numeric_limits<int64_t>::min());
    stack.WriteFloatValue(1, 1.5);
    EXPECT_EQ(stack.IncFloatValue(1, 2.0), 3.5);
    stack.WriteStrValue(2, UnicodeString(u"1"));
    EXPECT_THROW(stack.IncIntValue(2, 1), EAssertionFailed);
    EXPECT_THROW(stack.IncFloatValue(0, 1), EAssertionFailed);
}

TEST(tvsStack, TypedReadsConvertOtherKinds)
{
    TStack stack(Params());
    stack.Push(3);
    stack.WriteBoolValue(0, true);
    stack.WriteIntValue(1, 42);
    EXPECT_EQ(stack.ReadStrValue(0).View(), u"True");
    EXPECT_EQ(stack.ReadStrValue(1).View(), u"42");
    EXPECT_TRUE(stack.ReadBoolValue(1));
    EXPECT_EQ(stack.ReadIntfValue(2), nullptr); // Unassigned gives nil
    EXPECT_THROW(stack.ReadIntfValue(1), EVariantTypeCastError);
}

TEST(tvsStack, SetStrChar)
{
    const struct {
        Variant start;
        int64_t index;
        bool expectedResult;
        std::u16string expectedText;
    } cases[] = {
        {Variant(u"abc"), 1, true, u"xbc"},
        {Variant(u"abc"), 3, true, u"abx"},  // the last character
        {Variant(u"abc"), 4, false, u"abc"}, // past the end: nothing changes
        {Variant(u""), 1, false, u""},
        {Variant(int64_t{123}), 2, true, u"1x3"}, // read as text, stored as a string
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index);
        TStack stack(Params());
        stack.Push(1);
        stack.WriteValue(0, c.start);
        EXPECT_EQ(stack.SetStrChar(0, c.index, u'x'), c.expectedResult);
        EXPECT_EQ(stack.Slot(0).ToString().View(), c.expectedText);
    }
}

TEST(tvsStack, SetStrCharLeavesSharedCopiesAlone)
{
    TStack stack(Params());
    stack.Push(1);
    const UnicodeString shared(u"abc");
    stack.WriteStrValue(0, shared);
    EXPECT_TRUE(stack.SetStrChar(0, 2, u'x'));
    EXPECT_EQ(shared.View(), u"abc");
    EXPECT_EQ(stack.ReadStrValue(0).View(), u"axc");
}

TEST(tvsStack, AppendStringValue)
{
    TStack stack(Params());
    stack.Push(3);
    const UnicodeString shared(u"ab");
    stack.WriteStrValue(0, shared);
    stack.AppendStringValue(0, u"cd");
    EXPECT_EQ(stack.ReadStrValue(0).View(), u"abcd");
    EXPECT_EQ(shared.View(), u"ab");
    stack.AppendStringValue(1, u"xy"); // Unassigned acts as ''
    EXPECT_EQ(stack.Slot(1).Type(), varUString);
    EXPECT_EQ(stack.ReadStrValue(1).View(), u"xy");
}

TEST(tvsStack, CopiesBetweenStackAndData)
{
    TStack stack(Params());
    stack.Push(6);
    for (int32_t i = 0; i < 3; ++i)
        stack.WriteIntValue(i, i + 1);
    stack.CopyData(0, 3, 3);
    EXPECT_EQ(stack.ReadIntValue(5), 3);
    TData out(4);
    stack.ReadData(1, 1, 3, out);
    EXPECT_TRUE(out[0].IsEmpty());
    EXPECT_EQ(out[3].VInt64(), 1);
    TData in{Variant(u"s"), Variant(2.5)};
    stack.WriteData(0, 4, 2, in);
    EXPECT_EQ(stack.ReadStrValue(4).View(), u"s");
    EXPECT_EQ(stack.ReadFloatValue(5), 2.5);
}

TEST(tvsStack, SameDataComparesKindsThenValues)
{
    TProbe* none = nullptr;
    bool destroyed = false;
    TRefPtr<TProbe> probe(new TProbe(destroyed));
    const struct {
        Variant a;
        Variant b;
        bool same;
    } cases[] = {
        {Variant(int64_t{1}), Variant(int64_t{1}), true},
        {Variant(int64_t{1}), Variant(1.0), false}, // kinds differ
        {Variant(1.0), Variant(1.0), true},
        {Variant(u"a"), Variant(u"A"), false},
        {Variant(u"a"), Variant(u"a"), true},
        {Variant(true), Variant(true), true},
        {Variant(probe), Variant(probe), true},
        {Variant(probe), Variant(none), false},
        {Variant(), Variant(), true},
        {Variant::Null(), Variant::Null(), true},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row++);
        EXPECT_EQ(SameData(TData{c.a}, 0, TData{c.b}, 0, 1), c.same);
    }
}
