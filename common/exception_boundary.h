// Where exceptions stop. The program's own code returns truth values and
// null handles, but the standard library it uses (strings, vectors, maps,
// std::function) throws std::bad_alloc when memory runs out. Such an
// exception unwinds through the program's own frames, where owners and
// scope guards put back every handle and state pair, and is caught at the
// first boundary no caller of ours stands behind: every procedure the
// system calls back (window and dialog procedures, list-view sort
// callbacks), every call into the TWAIN manager (a manager may be C++ of
// its own), and the program's entry. There the call answers `failure`, as
// if the work had failed. Plain code: no <windows.h>.
#pragma once

#include <utility>

template <typename Result, typename Body>
Result CatchAtBoundary(Result failure, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}
