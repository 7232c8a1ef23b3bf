#pragma once
// The web container's own thread: it creates the one control (a ScriptSession)
// and runs every call on it. Any other thread hands a task over without waiting;
// the tasks run one at a time in the order they arrive, and each hands its
// answer on itself.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "containers/common/ScriptSession.h"

namespace brv::web {

// The JSON text of an answer; text that is not UTF-8 is shown with replacement
// characters rather than refused.
std::string DumpJson(const nlohmann::ordered_json& value);

class ContainerThread {
 public:
  // Starts the thread and waits until the control has started up; throws what
  // creating the control threw.
  ContainerThread();
  // Runs what was already handed over, then ends the control on its thread.
  ~ContainerThread();
  ContainerThread(const ContainerThread&) = delete;
  ContainerThread& operator=(const ContainerThread&) = delete;

  // The start-up line of the control.
  const nlohmann::ordered_json& Startup() const { return startup_; }
  // Queues `task` to run on the container's thread, with the control. Throws
  // std::runtime_error once the control is being closed.
  void Post(std::function<void(ScriptSession&)> task);

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void(ScriptSession&)>> tasks_;
  bool stopping_ = false;
  nlohmann::ordered_json startup_;
  std::thread thread_;
};

}  // namespace brv::web
