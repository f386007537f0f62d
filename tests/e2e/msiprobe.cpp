// Tells what the Windows Installer knows about products, for tests that must check an
// installation from outside the program that made it.
//
//   msiprobe.exe {PRODUCT-CODE}...   one block per product code given
//   msiprobe.exe                     every installed product (MsiEnumProductsW)
//
// Output, UTF-8, one fact per line, tab-separated:
//   product <TAB> {CODE} <TAB> state <TAB> <MsiQueryProductStateW, decimal; 5 = installed>
//   product <TAB> {CODE} <TAB> <property> <TAB> <MsiGetProductInfoW result> <TAB> <value>
// for the properties VersionString, ProductName, InstallLocation and LocalPackage.

#include <windows.h>
#include <msi.h>

#include <string>

namespace {

void WriteUtf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

void WriteProperty(const wchar_t* product, const wchar_t* property) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  UINT result = MsiGetProductInfoW(product, property, empty, &size);
  std::wstring value;
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    value.assign(size + 1, L'\0');
    size += 1;
    result = MsiGetProductInfoW(product, property, value.data(), &size);
    value.resize(result == ERROR_SUCCESS ? size : 0);
  }
  WriteUtf8(std::wstring(L"product\t") + product + L"\t" + property + L"\t" +
            std::to_wstring(result) + L"\t" + value + L"\n");
}

void Describe(const wchar_t* product) {
  WriteUtf8(std::wstring(L"product\t") + product + L"\tstate\t" +
            std::to_wstring(static_cast<int>(MsiQueryProductStateW(product))) + L"\n");
  for (const wchar_t* property : {L"VersionString", L"ProductName", L"InstallLocation",
                                  L"LocalPackage"}) {
    WriteProperty(product, property);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) Describe(argv[i]);
    return 0;
  }
  wchar_t product[39];
  for (DWORD index = 0; MsiEnumProductsW(index, product) == ERROR_SUCCESS; ++index) Describe(product);
  return 0;
}
