#include "tvsFilter.h"

#include <algorithm>

namespace {

constexpr char16_t CircularChainMessage[] =
    u"A filter cannot be its own sub-filter, directly or through other filters";

} // namespace

TtvsFilter::~TtvsFilter()
{
    if (FSubFilter)
        FSubFilter->RemoveFreeNotification(this);
    // A copy: a holder may unregister itself while it is being told.
    const std::vector<ItvsFilterFreeNotify*> holders = FFreeNotifies;
    for (ItvsFilterFreeNotify* holder : holders)
        holder->FilterFreed(this);
}

void TtvsFilter::SetSubFilter(TtvsFilter* value)
{
    if (value == FSubFilter)
        return;
    // A chain that reaches this filter again would make Process and
    // Dependencies recurse until the stack runs out.
    for (const TtvsFilter* link = value; link; link = link->FSubFilter) {
        if (link == this)
            throw EFilterChainError(CircularChainMessage);
    }
    if (FSubFilter)
        FSubFilter->RemoveFreeNotification(this);
    FSubFilter = value;
    if (FSubFilter)
        FSubFilter->AddFreeNotification(this);
}

std::u16string TtvsFilter::Process(const std::u16string& text, TtvsMessageList* msgs)
{
    if (FSubFilter)
        return FSubFilter->Process(text, msgs);
    return text;
}

const std::vector<std::u16string>& TtvsFilter::Dependencies()
{
    FDependencyResult = FDependencies;
    if (FSubFilter) {
        const std::vector<std::u16string>& more = FSubFilter->Dependencies();
        FDependencyResult.insert(FDependencyResult.end(), more.begin(), more.end());
    }
    return FDependencyResult;
}

void TtvsFilter::AddFreeNotification(ItvsFilterFreeNotify* holder)
{
    if (holder
        && std::find(FFreeNotifies.begin(), FFreeNotifies.end(), holder) == FFreeNotifies.end())
        FFreeNotifies.push_back(holder);
}

void TtvsFilter::RemoveFreeNotification(ItvsFilterFreeNotify* holder)
{
    std::erase(FFreeNotifies, holder);
}

void TtvsFilter::FilterFreed(TtvsFilter* filter)
{
    if (filter == FSubFilter)
        FSubFilter = nullptr;
}
