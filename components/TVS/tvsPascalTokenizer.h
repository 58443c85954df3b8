// The script language's lexical rules: the states of the tokenizer's state
// machine and the token types that can never serve as identifiers.
#pragma once

#include "tvsTokenizer.h"

// Built once per compiler and shared by all of its tokenizers.
class TPascalTokenizerStateRules final : public TTokenizerRules {
public:
    TPascalTokenizerStateRules();
};
