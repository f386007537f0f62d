# cmake -DFOLDER=languages -DOUTPUT=language_texts.cpp -P embed_languages.cmake
# Writes a C++ source that holds every FOLDER/CODE.txt as its bytes, escaped one by one so that
# no compiler's idea of the source's character set can change them.
file(GLOB texts "${FOLDER}/*.txt")
list(SORT texts)
set(rows "")
foreach(text IN LISTS texts)
  get_filename_component(code "${text}" NAME_WE)
  file(READ "${text}" bytes HEX)
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${bytes}")
  string(APPEND rows "      {\"${code}\", \"${escaped}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from tools/setup-check/init/languages/ by embed_languages.cmake.
#include <string_view>
#include <utility>

#include \"tools/setup-check/init/message_templates.h\"

namespace setup::check {

std::string_view EmbeddedLanguageText(std::string_view code) {
  static constexpr std::pair<std::string_view, std::string_view> kTexts[] = {
${rows}  };
  for (const auto& [name, text] : kTexts) {
    if (name == code) return text;
  }
  return {};
}

}  // namespace setup::check
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
