// The native splash window in a real Wine session on a virtual display
// (scripts/run-under-wine-display.sh): its close schedule, the input that
// closes it and the input that does not, and its end while other threads
// still reach for it. What it shows, and where, is seen by the end-to-end
// test on the screen.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/messages.h"
#include "splash/splash_window.h"

namespace xoq {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// What the splash shows does not matter here (the end-to-end test looks at
// the screen).
HBITMAP someBitmap(int width, int height) { return CreateBitmap(width, height, 1, 32, nullptr); }

HWND splashHandle() { return static_cast<HWND>(liveSplashOwner()); }

bool splashGone() { return LiveSplash().get() == nullptr; }

bool waitUntil(const std::function<bool()>& condition, int limitMs) {
  const auto deadline = steady_clock::now() + milliseconds(limitMs);
  while (!condition()) {
    if (steady_clock::now() > deadline) return false;
    Sleep(10);
  }
  return true;
}

// The messages the splash thread takes out of its queue for the splash
// window, seen by a hook on that thread: proof that input reached it.
std::atomic<unsigned> seenInput{0};
HWND hookedWindow = nullptr;

enum SeenBit : unsigned { kLeft = 1, kRight = 2, kMiddle = 4, kSysKey = 8, kKey = 16 };

LRESULT CALLBACK watchMessages(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && message->hwnd == hookedWindow) {
    switch (message->message) {
      case WM_LBUTTONDOWN:
        seenInput |= kLeft;
        break;
      case WM_RBUTTONDOWN:
        seenInput |= kRight;
        break;
      case WM_MBUTTONDOWN:
        seenInput |= kMiddle;
        break;
      case WM_SYSKEYDOWN:
        if (message->wParam == VK_F4) seenInput |= kSysKey;
        break;
      case WM_KEYDOWN:
        seenInput |= kKey;
        break;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void sendKeys(const std::vector<std::pair<WORD, bool>>& keys) {
  std::vector<INPUT> inputs;
  for (const auto& key : keys) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key.first;
    input.ki.dwFlags = key.second ? 0 : KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void clickAt(int x, int y, DWORD down, DWORD up) {
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) input.type = INPUT_MOUSE;
  // Absolute coordinates run from 0 to 65535 across the primary screen.
  inputs[0].mi.dx = x * 65536 / GetSystemMetrics(SM_CXSCREEN);
  inputs[0].mi.dy = y * 65536 / GetSystemMetrics(SM_CYSCREEN);
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = down;
  inputs[2].mi.dwFlags = up;
  SendInput(3, inputs, sizeof(INPUT));
}

class NativeSplashWindow : public ::testing::Test {
 protected:
  void TearDown() override {
    closeLiveSplash();
    EXPECT_TRUE(waitUntil(splashGone, 10000)) << "a splash outlived its test";
  }

  // Starts a splash of `width` x `height` and returns its window.
  HWND start(int width, int height, const std::string& title) {
    EXPECT_TRUE(startSplashWindow(someBitmap(width, height), title));
    HWND window = splashHandle();
    EXPECT_NE(window, nullptr);
    return window;
  }
};

TEST_F(NativeSplashWindow, CloseWaitsForItsDelayAndALaterCallReplacesIt) {
  // Whether the splash is still there before its delay can only be seen
  // when this thread got to look in time; under heavy load it may not.
  bool lookedInTime = true;

  // A delay: still there well before it, gone after it.
  start(40, 30, "");
  auto armed = steady_clock::now();
  scheduleLiveSplashClose(2500);
  Sleep(500);
  const bool earlyGone = splashGone();
  if (steady_clock::now() - armed < milliseconds(2000)) {
    EXPECT_FALSE(earlyGone);
  } else {
    lookedInTime = false;
  }
  EXPECT_TRUE(waitUntil(splashGone, 15000));

  // A second call replaces the first delay, counted from its own moment.
  start(40, 30, "");
  scheduleLiveSplashClose(300);
  armed = steady_clock::now();
  scheduleLiveSplashClose(3000);
  Sleep(1500);
  const bool replacedGone = splashGone();
  if (steady_clock::now() - armed < milliseconds(2500)) {
    EXPECT_FALSE(replacedGone) << "the first delay still fired";
  } else {
    lookedInTime = false;
  }
  EXPECT_TRUE(waitUntil(splashGone, 15000));
  if (!lookedInTime) GTEST_SKIP() << "too loaded to look before a delay ended; only the closes were checked";
}

TEST_F(NativeSplashWindow, CloseScheduleArmsAndCancels) {
  // 0: closed at the first timer tick.
  start(40, 30, "");
  scheduleLiveSplashClose(0);
  EXPECT_TRUE(waitUntil(splashGone, 5000));

  // -1 cancels a pending close, and the launcher's automatic closes no
  // longer apply once the close was scheduled by anyone.
  start(40, 30, "");
  scheduleLiveSplashClose(200);
  scheduleLiveSplashClose(-1);
  scheduleAutomaticSplashClose(0);
  Sleep(1500);
  EXPECT_FALSE(splashGone()) << "a cancelled close happened";

  // The launcher's automatic close leaves the splash counted as not
  // scheduled: its next automatic close replaces the first.
  closeLiveSplash();
  ASSERT_TRUE(waitUntil(splashGone, 5000));
  start(40, 30, "");
  scheduleAutomaticSplashClose(60000);
  scheduleAutomaticSplashClose(0);
  EXPECT_TRUE(waitUntil(splashGone, 5000)) << "the second automatic close did not apply";

  // Once gone, nothing reaches it.
  EXPECT_EQ(liveSplashOwner(), nullptr);
  scheduleLiveSplashClose(0);
  closeLiveSplash();
}

TEST_F(NativeSplashWindow, KeyPressClosesClicksAndAltF4DoNot) {
  HWND window = start(300, 200, "Input");
  ASSERT_NE(window, nullptr);
  hookedWindow = window;
  seenInput = 0;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, watchMessages, nullptr, GetWindowThreadProcessId(window, nullptr));
  ASSERT_NE(hook, nullptr);
  SetForegroundWindow(window);
  RECT rect;
  GetWindowRect(window, &rect);
  const int x = (rect.left + rect.right) / 2;
  const int y = (rect.top + rect.bottom) / 2;

  clickAt(x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  clickAt(x, y, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  clickAt(x, y, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
  sendKeys({{VK_MENU, true}, {VK_F4, true}, {VK_F4, false}, {VK_MENU, false}});
  EXPECT_TRUE(waitUntil([] { return (seenInput & (kLeft | kRight | kMiddle | kSysKey)) == 15u; }, 5000))
      << "input that reached the window: " << seenInput;
  Sleep(500);
  EXPECT_FALSE(splashGone()) << "a click or Alt+F4 closed the splash";
  EXPECT_TRUE(IsWindowVisible(window));

  sendKeys({{'A', true}, {'A', false}});
  EXPECT_TRUE(waitUntil(splashGone, 5000)) << "a key press did not close the splash";
  EXPECT_NE(seenInput & kKey, 0u);
  UnhookWindowsHookEx(hook);
}

// A message box waits for its user as long as the user likes, and the
// application's threads go on using the splash meanwhile. This test program
// is a console program, whose boxes go to standard error: here the box's
// wait is its text going into a pipe that nobody reads yet. (The box that
// the splash owns is seen by the end-to-end test.)
TEST_F(NativeSplashWindow, FatalMessageLeavesTheSplashFreeAndClosesItAfter) {
  HWND window = start(120, 80, "Owner");
  // The launcher's own close, armed before main as it is when the main
  // class then turns out to be missing.
  scheduleAutomaticSplashClose(300);
  int ends[2];
  ASSERT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
  HANDLE readEnd = reinterpret_cast<HANDLE>(_get_osfhandle(ends[0]));
  fflush(stderr);
  const int savedError = _dup(2);
  ASSERT_EQ(_dup2(ends[1], 2), 0);

  // Far more than a pipe holds: the box's write waits for the reader.
  const std::string text(4 << 20, 'x');
  std::atomic<bool> boxDone{false};
  std::thread box([&] {
    showFatalMessage(text);
    boxDone = true;
  });
  DWORD available = 0;
  const bool boxWaits = waitUntil(
      [&] { return PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0; }, 10000);
  std::atomic<bool> reached{false};
  std::thread other([&] {
    liveSplashOwner();
    reached = true;
  });
  const bool splashFree = boxWaits && waitUntil([&] { return reached.load(); }, 3000);
  // Closing the splash would take the box it owns off the screen with it.
  Sleep(800);
  const bool stayedWithTheBox = IsWindow(window) && IsWindowVisible(window);

  // Takes the box's text: the box ends, and so does the other thread.
  size_t taken = 0;
  std::vector<char> chunk(65536);
  const auto deadline = steady_clock::now() + milliseconds(60000);
  while (!boxDone && steady_clock::now() < deadline) {
    if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      const int count = _read(ends[0], chunk.data(), static_cast<unsigned>(std::min<size_t>(available, chunk.size())));
      if (count > 0) taken += static_cast<size_t>(count);
    } else {
      Sleep(1);
    }
  }
  _dup2(savedError, 2);
  _close(savedError);
  box.join();
  other.join();
  _close(ends[0]);
  _close(ends[1]);

  EXPECT_TRUE(boxWaits) << "the message never reached standard error";
  EXPECT_TRUE(splashFree) << "the splash stayed locked while the box waited";
  EXPECT_TRUE(stayedWithTheBox) << "the launcher's close schedule took the box's owner away while the box waited";
  EXPECT_GE(taken, text.size());
  EXPECT_TRUE(waitUntil(splashGone, 5000)) << "the splash stayed after the message";
}

// The splash's object lives in pages that are given back when it is freed,
// so a use after that faults and ends the test program.
// Many threads schedule, cancel and ask for the splash while its window
// ends and after. The splash's object lives in pages that are given back
// when it is freed, so a thread that used it after the splash thread freed
// it would fault and end the test program. The race this looks for is
// narrow: a run can miss it, but a fault it shows is always real.
TEST_F(NativeSplashWindow, ManyThreadsUseTheSplashWhileItsWindowEnds) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(startSplashWindow(someBitmap(48, 24), round % 2 == 0 ? "" : "Busy"));
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; !stop; ++i) {
          if (i % 64 == 0) Sleep(0);
          switch ((i + t) % 4) {
            case 0:
              scheduleLiveSplashClose(1000 + i % 50);
              break;
            case 1:
              liveSplashOwner();
              break;
            case 2:
              scheduleAutomaticSplashClose(2000);
              break;
            default:
              scheduleLiveSplashClose(-1);
              break;
          }
          ++calls;
        }
      });
    }
    // The window ends at a different moment of each round.
    Sleep(static_cast<DWORD>(round % 7));
    closeLiveSplash();
    const bool gone = waitUntil(splashGone, 15000);
    const long atEnd = calls;
    // And the threads go on for a while after it has gone.
    waitUntil([&] { return calls > atEnd + 2000; }, 5000);
    stop = true;
    for (std::thread& thread : threads) thread.join();
    ASSERT_TRUE(gone) << "the splash did not end";
    EXPECT_EQ(liveSplashOwner(), nullptr);
  }
}

TEST_F(NativeSplashWindow, SplashIsNotFreedWhileSomeoneHoldsIt) {
  start(80, 40, "");
  {
    LiveSplash live;
    SplashWindow* held = live.get();
    HWND window = static_cast<HWND>(splashOwnerWindow(held));
    ASSERT_NE(window, nullptr);
    // The window ends while this thread still holds the splash.
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(window); }, 10000));
    Sleep(300);
    EXPECT_EQ(splashOwnerWindow(held), window);
    // Its window gone, the splash no longer counts as showing, although the
    // splash thread cannot withdraw it yet: the application's
    // getSplashScreen() goes by this.
    EXPECT_FALSE(splashShowing(held)) << "a splash whose window has gone still counts as showing";
    scheduleSplashClose(held, 0);
    closeSplashWindow(held);
  }
  EXPECT_TRUE(waitUntil(splashGone, 5000)) << "the splash thread did not finish once it was let go";
}

}  // namespace
}  // namespace xoq
