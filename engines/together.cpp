#include "engines/together.h"

#include <windows.h>

#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "engines/helpers.h"
#include "platform/owners.h"

namespace engines {
namespace {

// What the second walk hands over to the window's thread.
class Mailbox {
 public:
  void Post(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    text_ = text;
    fresh_ = true;
  }
  // The latest text, once.
  bool Take(std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!fresh_) return false;
    text.swap(text_);
    fresh_ = false;
    return true;
  }

 private:
  std::mutex lock_;
  std::string text_;
  bool fresh_ = false;
};

}  // namespace

std::exception_ptr RunTogether(const Walk& first, const Walk& second,
                               const ProgressCallback& progress,
                               const std::function<void()>& firstEnded) {
  Mailbox mailbox;
  std::exception_ptr secondFailure;
  const platform::Handle ended(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::thread thread;
  if (ended) {
    try {
      thread = std::thread([&] {
        LeaveMessagesToTheWindow();
        try {
          second([&](const std::string& text) { mailbox.Post(text); });
        } catch (...) {
          secondFailure = std::current_exception();
        }
        SetEvent(ended.get());
      });
    } catch (const std::system_error&) {
    }
  }
  if (!thread.joinable()) {  // no second thread to be had: one after the other
    first(progress);
    if (!AbortRequested()) {
      if (firstEnded) firstEnded();
      try {
        second(progress);
      } catch (...) {
        return std::current_exception();
      }
    }
    return nullptr;
  }

  std::exception_ptr firstFailure;
  try {
    first(progress);
  } catch (...) {
    firstFailure = std::current_exception();
  }
  if (!firstFailure && !AbortRequested() && firstEnded) firstEnded();
  constexpr DWORD kShowInterval = 100;  // milliseconds
  std::string text;
  HANDLE handle = ended.get();
  do {
    AbortRequested();  // delivers the messages; a close request stops the second walk too
    if (mailbox.Take(text) && progress) progress(text);
  } while (MsgWaitForMultipleObjects(1, &handle, FALSE, kShowInterval, QS_ALLINPUT) !=
           WAIT_OBJECT_0);
  thread.join();
  if (mailbox.Take(text) && progress) progress(text);
  if (firstFailure) std::rethrow_exception(firstFailure);
  return secondFailure;
}

}  // namespace engines
