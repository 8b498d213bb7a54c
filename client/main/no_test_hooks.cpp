// The shipped program has no test hooks.
#include "client/main/test_hooks.h"

namespace olvex {

class TestHooks {};

void TestHooksDeleter::operator()(TestHooks* hooks) const {
    delete hooks;
}

TestHooksHandle InstallTestHooks(CGorsewatch5App&) {
    return nullptr;
}

}  // namespace olvex
