#include "containers/web/ContainerThread.h"

#include <future>
#include <memory>
#include <stdexcept>

#include "common/Text.h"

namespace brv::web {

std::string DumpJson(const nlohmann::ordered_json& value) {
  return brv::EscapeFormatCharacters(value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

ContainerThread::ContainerThread() {
  std::promise<nlohmann::ordered_json> started;
  auto startup = started.get_future();
  thread_ = std::thread([this, started = std::move(started)]() mutable {
    // The control lives and dies on this thread.
    std::unique_ptr<ScriptSession> session;
    try {
      session = std::make_unique<ScriptSession>();
    } catch (...) {
      started.set_exception(std::current_exception());
      return;
    }
    started.set_value(session->Startup());
    for (;;) {
      std::function<void(ScriptSession&)> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) return;  // stopping, and nothing left to run
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task(*session);
    }
  });
  try {
    startup_ = startup.get();
  } catch (...) {
    thread_.join();
    throw;
  }
}

ContainerThread::~ContainerThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void ContainerThread::Post(std::function<void(ScriptSession&)> task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) throw std::runtime_error("the control has been closed");
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

}  // namespace brv::web
