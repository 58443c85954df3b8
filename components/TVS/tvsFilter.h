// Source filters: objects that turn a text into script source before it is
// compiled. Filters chain through SubFilter, which runs first.
#pragma once

#include <string>
#include <vector>

#include "tvsExceptions.h"

class TtvsMessageList;
class TtvsFilter;

// Anyone holding a link to a filter it does not own registers for this
// notice, so the link is cleared before it could dangle.
class ItvsFilterFreeNotify {
public:
    virtual ~ItvsFilterFreeNotify() = default;
    virtual void FilterFreed(TtvsFilter* filter) = 0;
};

// Raised when a sub-filter would make the chain run into itself.
class EFilterChainError final : public Exception {
public:
    using Exception::Exception;
    const char16_t* ClassName() const override { return u"EFilterChainError"; }
};

// The base filter passes its text through its sub-filter, or unchanged when
// there is none. Filters are linked, not owned: a filter may be destroyed
// while others still point at it, and every registered holder is told.
class TtvsFilter : public ItvsFilterFreeNotify {
public:
    TtvsFilter() = default;
    ~TtvsFilter() override;
    TtvsFilter(const TtvsFilter&) = delete;
    TtvsFilter& operator=(const TtvsFilter&) = delete;

    TtvsFilter* SubFilter() const { return FSubFilter; }
    virtual void SetSubFilter(TtvsFilter* value);

    // msgs is the compiler's message list or null; the base only hands it on.
    virtual std::u16string Process(const std::u16string& text, TtvsMessageList* msgs);

    // Unit names the output of this filter and of its sub-filters needs, own
    // names first. The list stays valid until the next call.
    const std::vector<std::u16string>& Dependencies();

    // The class name messages show for this filter.
    virtual const char16_t* ClassName() const { return u"TtvsFilter"; }

    void AddFreeNotification(ItvsFilterFreeNotify* holder);
    void RemoveFreeNotification(ItvsFilterFreeNotify* holder);

    void FilterFreed(TtvsFilter* filter) override;

protected:
    std::vector<std::u16string>& OwnDependencies() { return FDependencies; }

private:
    TtvsFilter* FSubFilter = nullptr;
    std::vector<std::u16string> FDependencies;
    std::vector<std::u16string> FDependencyResult;
    std::vector<ItvsFilterFreeNotify*> FFreeNotifies;
};
