// What the engine, the swap stub and the update utility agree on about the
// stub.
#pragma once

namespace olvex {

// The stub's file name. The engine's DllUnregisterServer keeps the version
// key only inside a process of this name, so the stub must run under it.
inline constexpr char kSwapStubFileName[] = "Swavel.exe";

// Held by the stub while it runs: a program that has just applied an engine
// update waits for it to go before it starts programs that load the engine.
inline constexpr char kSwapStubMutexName[] = "QZV5EngineSwap";

}  // namespace olvex
