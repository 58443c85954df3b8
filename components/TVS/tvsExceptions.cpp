#include "tvsExceptions.h"

#include "tvsXPlatform.h"

const char* Exception::what() const noexcept
{
    try {
        FWhat = UTF16ToUTF8(FMessage);
    } catch (...) {
        // Out of memory while describing an error: an empty text is all we can give.
        FWhat.clear();
    }
    return FWhat.c_str();
}

void TtvsExceptionContext::Skip(size_t count)
{
    if (count >= FCallStack.size())
        FCallStack.clear();
    else
        FCallStack.erase(FCallStack.begin(),
                         FCallStack.begin() + static_cast<std::ptrdiff_t>(count));
}

void TtvsExceptionContext::ReplaceTop(const TExprBase* expr)
{
    if (!FCallStack.empty())
        FCallStack.front().Expr = expr;
}
