#include "tools/setup-check/json_writer.h"

#include <cstdio>

namespace setup::check {

std::string JsonWriter::Quoted(const std::string& utf8) {
  std::string quoted = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

void JsonWriter::Separate(const char* key) {
  if (!hasItems_.empty()) {
    out_ += hasItems_.back() ? ",\n" : "\n";
    hasItems_.back() = true;
    out_.append(2 * hasItems_.size(), ' ');
  }
  if (key != nullptr) out_ += Quoted(key) + ": ";
}

void JsonWriter::Open(const char* key, char bracket) {
  Separate(key);
  out_ += bracket;
  hasItems_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  const bool hadItems = hasItems_.back();
  hasItems_.pop_back();
  if (hadItems) {
    out_ += '\n';
    out_.append(2 * hasItems_.size(), ' ');
  }
  out_ += bracket;
}

void JsonWriter::Value(const char* key, const std::string& text) {
  Separate(key);
  out_ += text;
}

}  // namespace setup::check
