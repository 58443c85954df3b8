// The script language's lexical rules: the states of the tokenizer's state
// machine and the token types that can never serve as identifiers.
#pragma once

#include "tvsTokenizer.h"

// The state table of the script language. Nothing changes it once built, so
// one instance serves every tokenizer of the process, on any thread.
class TPascalTokenizerStateRules final : public TTokenizerRules {
public:
    TPascalTokenizerStateRules();

    // The process-wide instance, built on first use.
    static const TPascalTokenizerStateRules& Shared();
};
