// Ends the way a faulty program does, so that tests can show they tell a crash from an orderly
// end: "crash.exe fault" reads through a null pointer, "crash.exe abort" lets an exception
// escape into the runtime, which aborts.

#include <windows.h>

#include <new>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  if (lstrcmpW(arguments, L"abort") == 0) throw std::bad_alloc();
  volatile int* nowhere = nullptr;
  return *nowhere;
}
