// wine_keeper
//
// Holds Wine's desktop open between test programs. Wine closes the desktop as soon as no
// program runs. The next program that needs a window then starts a desktop process and waits
// ten seconds for it; under an emulated CPU that process starts later, and the program's
// first windows race with it and may fail. This program opens the desktop once, prints
// "ready" and waits until the session ends (tools/wine-session.sh starts and ends it), so the
// test programs find the desktop in place.
#include <windows.h>

#include <cstdio>

int wmain() {
  constexpr int kDesktopWaitSeconds = 600;
  for (int second = 0; second < kDesktopWaitSeconds; ++second) {
    if (GetDesktopWindow() != nullptr) {
      std::printf("ready\n");
      std::fflush(stdout);
      Sleep(INFINITE);
    }
    Sleep(1000);
  }
  std::printf("no desktop\n");
  return 1;
}
