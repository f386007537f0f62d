// Raw bytes as the "setup.ini" beside a package: the instance name and product code the program
// takes from it are those a plain reading of the instance-file rules gives.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/oracle.h"
#include "setup/installer/package_inspection.h"
#include "setup/platform/host/host_platform.h"

namespace {

using setup::Text;
using setup::TextView;

// The model.

// Every CR LF pair as one LF, as a text stream delivers it.
Text WithoutCr(Text text) {
  for (size_t at = text.find(u"\r\n"); at != Text::npos; at = text.find(u"\r\n", at)) text.erase(at, 1);
  return text;
}

// A UTF-8 text stream: a UTF-16BE mark is refused, a UTF-16LE mark switches to UTF-16, and a
// UTF-8 mark is dropped.
std::optional<Text> ModelDecode(std::string_view bytes, setup::Platform& platform) {
  if (bytes.starts_with("\xFE\xFF")) return std::nullopt;
  if (bytes.starts_with("\xFF\xFE")) {
    Text text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    }
    return WithoutCr(text);
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return WithoutCr(platform.DecodeUtf8(bytes));
}

using fuzz::SameName;

struct Instance {
  Text name;
  Text productCode;

  friend bool operator==(const Instance&, const Instance&) = default;
};

// Line by line: a line starting with "[" names the section (without its first and last
// character); a line with "=" is a key and a value, cut at the first "=" and kept untrimmed.
// The last key of [Instances] other than "count" names the instance; the ProductCode of the
// section of the name known at that line is the instance's code. A final empty line is not read.
Instance ModelScan(TextView text) {
  Instance found;
  Text section;
  while (!text.empty()) {
    const TextView line = text.substr(0, text.find(u'\n'));
    text.remove_prefix(std::min(text.size(), line.size() + 1));
    if (line.starts_with(u'[')) {
      section = line.size() >= 2 ? Text(line.substr(1, line.size() - 2)) : Text();
    } else if (line.find(u'=') != TextView::npos) {
      const TextView key = line.substr(0, line.find(u'='));
      const TextView value = line.substr(key.size() + 1);
      if (SameName(section, u"Instances") && !SameName(key, u"count")) found.name = value;
      if (SameName(section, found.name) && SameName(key, u"ProductCode")) found.productCode = value;
    }
  }
  return found;
}

std::string ShowText(const std::optional<Text>& text) {
  return text ? "'" + fuzz::Printable(*text) + "'" : "(refused)";
}

std::string ShowInstance(const Instance& instance) {
  return "name '" + fuzz::Printable(instance.name) + "', product code '" + fuzz::Printable(instance.productCode) +
         "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static setup::HostPlatform platform;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  setup::PackageInfo info;
  const std::optional<Text> text = setup::DecodeInstanceFile(bytes, platform);
  if (text) setup::ScanInstanceFile(*text, info);

  const std::optional<Text> modelText = ModelDecode(bytes, platform);
  const TextView shown = text ? TextView(*text) : TextView();
  fuzz::ExpectSame("the decoded instance file", shown, text, modelText, ShowText);
  const Instance model = modelText ? ModelScan(*modelText) : Instance();
  fuzz::ExpectSame("the instance file's scan", shown, Instance{info.instanceName, info.instanceProductCode}, model,
                   ShowInstance);
  return 0;
}
