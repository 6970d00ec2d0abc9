#pragma once
// For the tests of the synchronizer, over the fake engine and over SQLite alike.
#include "varnock_errors.h"

// Runs body and returns the code (5001 ...) of the SynchronizerError it raised, 0 when none.
template <typename F>
int raisedCode(F&& body)
{
    try {
        body();
    } catch (const Varnock::SynchronizerError& e) {
        return e.code();
    }
    return 0;
}
