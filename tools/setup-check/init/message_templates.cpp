#include "tools/setup-check/init/message_templates.h"

#include <algorithm>
#include <ranges>

#include "setup/decisions/settings_names.h"

namespace setup::check {

MessageTemplates MessageTemplatesOf(TextView code) {
  std::string_view text = EmbeddedLanguageText(ToUtf8(code));
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

  const std::string unsupported = ToUtf8(kUnsupportedSystemMessage);
  MessageTemplates texts;
  for (size_t start = 0; start < text.size();) {
    std::string_view line = text.substr(start, text.find('\n', start) - start);
    start += line.size() + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (line.starts_with('#') || equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string value(line.substr(equals + 1));
    if (key == unsupported) texts.unsupportedSystem = value;
    if (key == unsupported + "-no-name") texts.unsupportedSystemNoName = value;
    if (key == "service-pack") texts.servicePack = value;
    if (key == "build") texts.build = value;
    for (size_t i = 0; i < kUsageMessages.size(); ++i) {
      if (key == ToUtf8(kUsageMessages[i])) texts.usage[i] = value;
    }
  }
  return texts;
}

}  // namespace setup::check
