// Shows one message box and ends with the box's answer as its exit code: proof that a box is
// visible in the relay trace and that, without a display, it does not wait for a user.
//
// Started without arguments, it shows a text and caption known to the tests, written to need
// every kind of escape Wine uses in trace lines. Started with arguments, the box shows the whole
// command line as the program received it, so that a test can see what a launcher handed over.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  if (arguments != nullptr && *arguments != L'\0') {
    return MessageBoxW(nullptr, GetCommandLineW(), L"Command line", MB_OK);
  }
  return MessageBoxW(nullptr, L"Known text: \"quoted\"\\ line\nnext\tTab \u0416", L"Known caption",
                     MB_SYSTEMMODAL | MB_ICONERROR);
}
