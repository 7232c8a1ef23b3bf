#pragma once
// The programs' main: whatever escapes their work (memory exhausted, a stream
// that cannot be written) ends the program with one line on standard error and
// the status of trouble (2), never with an abort.
#include <exception>
#include <iostream>

namespace brv {

template <class Work>
int GuardedMain(Work work) {
  try {
    return work();
  } catch (const std::exception& e) {
    std::cerr << "brvparts: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "brvparts: an unexpected failure\n";
  }
  return 2;
}

}  // namespace brv
