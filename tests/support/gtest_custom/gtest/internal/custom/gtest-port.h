// GoogleTest's customisation header, in place of its empty one, for the
// MinGW win32 threading model of the 32-bit test build: that model has no
// std::mutex or std::condition_variable, which GoogleTest's Notification
// (used by its own thread helpers) is made of. Everything else of GoogleTest
// on Windows already locks with the system's own calls.
#ifndef ENABLER_GTEST_CUSTOM_PORT_H
#define ENABLER_GTEST_CUSTOM_PORT_H

#if defined(_WIN32) && defined(ENABLER_GTEST_OWN_NOTIFICATION)
#  include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long);

#  define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets threads wait until a controller thread notifies them.
class Notification {
public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load())
      Sleep(1);
  }

private:
  std::atomic<bool> notified_{false};
};

} // namespace internal
} // namespace testing
#endif

#endif
