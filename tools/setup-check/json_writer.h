#pragma once
// A small streaming JSON writer: two-space indentation, UTF-8 strings escaped as JSON requires.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "setup/base/text.h"

namespace setup::check {

class JsonWriter {
 public:
  void BeginObject(const char* key = nullptr) { Open(key, '{'); }
  void EndObject() { Close('}'); }
  void BeginArray(const char* key = nullptr) { Open(key, '['); }
  void EndArray() { Close(']'); }

  void String(const char* key, TextView value) { Value(key, Quoted(ToUtf8(value))); }
  void String(const char* key, const std::string& value) { Value(key, Quoted(value)); }
  void Number(const char* key, int64_t value) { Value(key, std::to_string(value)); }
  void Bool(const char* key, bool value) { Value(key, value ? "true" : "false"); }
  void Null(const char* key) { Value(key, "null"); }
  template <typename T>
  void Optional(const char* key, const std::optional<T>& value) {
    if (!value) return Null(key);
    if constexpr (std::is_arithmetic_v<T>) {
      Number(key, *value);
    } else {
      String(key, *value);
    }
  }

  std::string Finish() { return out_ + "\n"; }

 private:
  static std::string Quoted(const std::string& utf8);
  void Open(const char* key, char bracket);
  void Close(char bracket);
  void Value(const char* key, const std::string& text);
  void Separate(const char* key);

  std::string out_;
  std::vector<bool> hasItems_;
};

}  // namespace setup::check
