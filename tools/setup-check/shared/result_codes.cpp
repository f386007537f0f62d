#include "tools/setup-check/shared/result_codes.h"

#include <map>

namespace setup::check {
namespace {

// The codes msi.dll's reading calls stop at, those MsiInstallProductW ends with that a
// distribution's author meets, and WinVerifyTrust's verdicts on a signed file.
const std::map<uint32_t, const char*>& Meanings() {
  static const std::map<uint32_t, const char*> meanings = {
    {0, "ERROR_SUCCESS: success"},
    {1, "ERROR_INVALID_FUNCTION: msi.dll lacks the function setup.exe needs"},
    {2, "ERROR_FILE_NOT_FOUND: the file does not exist"},
    {5, "ERROR_ACCESS_DENIED: access is denied"},
    {6, "ERROR_INVALID_HANDLE: an invalid handle"},
    {8, "ERROR_NOT_ENOUGH_MEMORY: not enough memory"},
    {13, "ERROR_INVALID_DATA: the data is invalid"},
    {87, "ERROR_INVALID_PARAMETER: an invalid parameter"},
    {110, "ERROR_OPEN_FAILED: the file cannot be opened as a package"},
    {120, "ERROR_CALL_NOT_IMPLEMENTED: not implemented"},
    {234, "ERROR_MORE_DATA: the text is longer than the buffer"},
    {259, "ERROR_NO_MORE_ITEMS: the query found no row"},
    {1168, "ERROR_NOT_FOUND: not found"},
    {1602, "ERROR_INSTALL_USEREXIT: the user cancelled the installation"},
    {1603, "ERROR_INSTALL_FAILURE: a fatal error during installation"},
    {1605, "ERROR_UNKNOWN_PRODUCT: the product is not installed"},
    {1608, "ERROR_UNKNOWN_PROPERTY: no such property"},
    {1612, "ERROR_INSTALL_SOURCE_ABSENT: the installation source is not available"},
    {1615, "ERROR_BAD_QUERY_SYNTAX: the query is malformed"},
    {1616, "ERROR_INVALID_FIELD: no such field"},
    {1618, "ERROR_INSTALL_ALREADY_RUNNING: another installation is in progress"},
    {1619, "ERROR_INSTALL_PACKAGE_OPEN_FAILED: the package cannot be opened"},
    {1620, "ERROR_INSTALL_PACKAGE_INVALID: the package is not a valid Windows Installer package"},
    {1624, "ERROR_INSTALL_TRANSFORM_FAILURE: a transform cannot be applied"},
    {1626, "ERROR_FUNCTION_NOT_CALLED: the function could not be run"},
    {1627, "ERROR_FUNCTION_FAILED: the function failed"},
    {1628, "ERROR_INVALID_TABLE: no such table"},
    {1629, "ERROR_DATATYPE_MISMATCH: the data type does not match"},
    {1638, "ERROR_PRODUCT_VERSION: another version of this product is already installed"},
    {1641, "ERROR_SUCCESS_REBOOT_INITIATED: success; the installer restarts the machine"},
    {1804, "ERROR_INVALID_DATATYPE: an invalid data type"},
    {3010, "ERROR_SUCCESS_REBOOT_REQUIRED: success; a restart completes it"},
    {0x80096010, "TRUST_E_BAD_DIGEST: the file was changed after it was signed"},
    {0x800B0100, "TRUST_E_NOSIGNATURE: the file carries no signature"},
    {0x800B0101, "CERT_E_EXPIRED: a certificate of the signature has expired"},
    {0x800B0109, "CERT_E_UNTRUSTEDROOT: the signature's root certificate is not trusted"},
    {0x800B010A, "CERT_E_CHAINING: no chain of certificates leads to a trusted root"},
    {0x800B0110, "CERT_E_WRONG_USAGE: the certificate is not one for signing code"},
    {0x800B0111, "TRUST_E_EXPLICIT_DISTRUST: the signature's certificate is marked as untrusted"},
  };
  return meanings;
}

}  // namespace

std::string ResultCodeMeaning(uint32_t code) {
  const auto found = Meanings().find(code);
  return found == Meanings().end() ? "a system error code" : found->second;
}

std::string ResultCodeText(uint32_t code) { return std::to_string(code) + " (" + ResultCodeMeaning(code) + ")"; }

}  // namespace setup::check
