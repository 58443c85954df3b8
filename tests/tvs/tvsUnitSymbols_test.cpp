#include "tvsUnitSymbols.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tvsErrors.h"
#include "tvsExceptions.h"

namespace {

// A static table that tells when it dies.
class TProbeTable final : public TStaticSymbolTable {
public:
    explicit TProbeTable(bool& destroyed) : FDestroyed(destroyed) {}
    ~TProbeTable() override { FDestroyed = true; }

private:
    bool& FDestroyed;
};

std::u16string Name(int i)
{
    return u"n" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26))
           + std::u16string(1, static_cast<char16_t>(u'a' + i / 26 % 26));
}

} // namespace

TEST(tvsUnitSymbols, StaticTablesTakeOnlyStaticParents)
{
    IStaticSymbolTable table(new TStaticSymbolTable);
    TSymbolTable plain;
    try {
        table->AddParent(&plain);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), u"Invalid use of static symbols! (tvsUnitSymbols)");
    }
    EXPECT_EQ(table->ParentCount(), 0);
}

TEST(tvsUnitSymbols, ParentsAreReferenceCounted)
{
    bool destroyed = false;
    IStaticSymbolTable child(new TStaticSymbolTable);
    {
        IStaticSymbolTable parent(new TProbeTable(destroyed));
        child->AddParent(parent.Get());
        EXPECT_EQ(parent->RefCount(), 2);
        IStaticSymbolTable other(new TStaticSymbolTable(parent.Get()));
        EXPECT_EQ(parent->RefCount(), 3);
        other->RemoveParent(parent.Get());
        EXPECT_EQ(parent->RefCount(), 2);
    }
    EXPECT_FALSE(destroyed); // the child still holds it
    child->ClearParents();
    EXPECT_TRUE(destroyed);

    // A table's references to its parents go when it goes.
    destroyed = false;
    IStaticSymbolTable parent(new TProbeTable(destroyed));
    auto* raw = parent.Get();
    {
        IStaticSymbolTable holder(new TStaticSymbolTable(raw));
        parent.Reset();
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(tvsUnitSymbols, LinkedTableAsksTheStaticTableFirst)
{
    TBaseIntegerSymbol integer;
    IStaticSymbolTable shared(new TStaticSymbolTable);
    auto* sharedX = new TDataSymbol(u"x", &integer);
    shared->AddSymbol(sharedX);
    shared->AddSymbol(new TDataSymbol(u"f", &integer));

    TSymbolTable outer;
    auto* outerY = new TDataSymbol(u"y", &integer);
    outer.AddSymbol(outerY);
    TLinkedSymbolTable linked(shared.Get());
    linked.AddParent(&outer);
    auto* ownX = new TDataSymbol(u"X", &integer);
    auto* ownF = new TDataSymbol(u"f", &integer);
    linked.AddSymbol(ownX);
    linked.AddSymbol(ownF);
    EXPECT_EQ(shared->RefCount(), 2);

    EXPECT_EQ(linked.FindLocal(u"x"), sharedX);
    EXPECT_EQ(linked.FindSymbol(u"x"), sharedX);
    EXPECT_EQ(linked.FindSymbol(u"y"), outerY);
    // Overload enumeration sees only the shared symbols.
    std::vector<TSymbol*> seen;
    linked.EnumerateSymbolsOfNameInScope(u"f", [&](TSymbol* s) {
        seen.push_back(s);
        return false;
    });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_NE(seen.front(), ownF);
}

TEST(tvsUnitSymbols, StaticTableInitializesOnce)
{
    IStaticSymbolTable shared(new TStaticSymbolTable);
    auto* forward = new TFuncSymbol(u"Later", TRoutineKind::fkProcedure, 1);
    shared->AddSymbol(forward);
    TLinkedSymbolTable first(shared.Get());
    TLinkedSymbolTable second(shared.Get());
    TtvsCompileMessageList messages;
    first.Initialize(messages);
    second.Initialize(messages);
    EXPECT_TRUE(shared->Initialized());
    EXPECT_EQ(messages.Count(), 1);
}

// Compilations on several threads look names up in one shared table at
// once; the table is prepared before it is shared, so they only read it.
TEST(tvsUnitSymbols, SharedTableAnswersConcurrentLookups)
{
    TBaseIntegerSymbol integer;
    IStaticSymbolTable shared(new TStaticSymbolTable);
    std::vector<TSymbol*> symbols;
    for (int i = 0; i < 200; ++i) {
        symbols.push_back(new TDataSymbol(Name(i), &integer));
        shared->AddSymbol(symbols.back());
    }
    TLinkedSymbolTable link(shared.Get()); // sharing prepares it
    EXPECT_TRUE(shared->Sorted());

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round)
                for (int i = 0; i < 200; ++i)
                    if (shared->FindLocal(Name((i + t) % 200))
                        != symbols[static_cast<size_t>((i + t) % 200)])
                        ++wrong;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(tvsUnitSymbols, ReferencingUnitsAndNamespaces)
{
    TUnitMainSymbols units;
    auto* plain = new TUnitMainSymbol(u"Plain", units, new TUnitSymbolTable);
    auto* dotted = new TUnitMainSymbol(u"A.B", units, new TUnitSymbolTable);
    auto* dotted2 = new TUnitMainSymbol(u"A.C.D", units, new TUnitSymbolTable);
    EXPECT_EQ(static_cast<TUnitSymbolTable*>(plain->Table())->UnitMainSymbol(), plain);

    TSymbolTable program;
    TUnitSymbol* plainSym = plain->ReferenceInSymbolTable(program);
    EXPECT_EQ(plainSym->Main(), plain);
    EXPECT_EQ(program.Parents(0), plain->Table());

    TUnitSymbol* dottedSym = dotted->ReferenceInSymbolTable(program);
    dotted2->ReferenceInSymbolTable(program);
    EXPECT_EQ(dottedSym->Name(), u"A.B");
    EXPECT_EQ(dottedSym->Main(), dotted);
    // The unit used last is searched first.
    EXPECT_EQ(program.Parents(0), dotted2->Table());
    EXPECT_EQ(program.Parents(2), plain->Table());

    auto* nameSpace = program.FindLocalOf<TUnitSymbol>(u"a");
    ASSERT_NE(nameSpace, nullptr);
    EXPECT_EQ(nameSpace->Main(), nullptr);
    EXPECT_EQ(nameSpace->NameSpaceCount(), 2);
    EXPECT_EQ(nameSpace->FindNameSpaceUnit(u"a.b"), dottedSym);
    EXPECT_EQ(nameSpace->FindNameSpaceUnit(u"A"), nullptr); // not a unit itself
    EXPECT_EQ(plainSym->FindNameSpaceUnit(u"PLAIN"), plainSym);

    const struct {
        const char16_t* name;
        bool possible;
    } cases[] = {
        {u"A", true},   {u"a.b", true},  {u"A.C", true}, {u"A.C.D", true},
        {u"A.", false}, {u"A.X", false}, {u"AB", false}, {u"B", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        EXPECT_EQ(nameSpace->PossibleNameSpace(c.name), c.possible);
    }
    EXPECT_FALSE(plainSym->PossibleNameSpace(u"Plain"));

    EXPECT_EQ(units.Find(u"a.c.d"), dotted2);
    EXPECT_EQ(units.Find(u"nothing"), nullptr);
}

TEST(tvsUnitSymbols, UnitTablesAndParents)
{
    TUnitMainSymbols units;
    TSymbolTable system;
    TAddrGenerator globals(0, false);
    auto* unit = new TUnitMainSymbol(u"U", units, new TUnitSymbolTable(&system, &globals));
    unit->CreateInterfaceTable();
    EXPECT_THROW(unit->CreateInterfaceTable(), EAssertionFailed);
    auto* impl = new TUnitImplementationTable(unit); // the unit owns it
    EXPECT_EQ(unit->ImplementationTable(), impl);
    EXPECT_EQ(impl->Parents(0), unit->Table());
    EXPECT_EQ(impl->Parents(1), unit->InterfaceTable());
    EXPECT_EQ(impl->AddrGenerator(), &globals);
    auto* hidden = new TDataSymbol(u"h", nullptr);
    impl->AddSymbol(hidden);
    EXPECT_TRUE(unit->HasSymbol(hidden));

    ASSERT_EQ(unit->Table()->ParentCount(), 2);
    unit->StoreParents();
    EXPECT_EQ(unit->Table()->ParentCount(), 0);
    EXPECT_THROW(unit->StoreParents(), EAssertionFailed);
    unit->RestoreParents();
    ASSERT_EQ(unit->Table()->ParentCount(), 2);
    EXPECT_EQ(unit->Table()->Parents(0), &system);
    EXPECT_EQ(unit->Table()->Parents(1), unit->InterfaceTable());
    unit->RestoreParents(); // nothing stored: nothing happens
    EXPECT_EQ(unit->Table()->ParentCount(), 2);
    EXPECT_EQ(TIncludeSymbol(u"inc.pas").Name(), u"$i inc.pas");
}
