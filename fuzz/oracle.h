#pragma once
// What every target does with its two answers, the program's and that of a plain model of the
// same rules: when they differ, both go to standard error, written out as text, and the target
// aborts, so that libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "setup/base/text.h"

namespace fuzz {

// The text as one readable line: printable ASCII as it is, everything else as \uXXXX.
inline std::string Printable(setup::TextView text) {
  std::string out;
  for (const char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out;
}

// The models' own rule for names: equal once A-Z are written as a-z; no other letter is folded.
// Written here rather than taken from setup/base, whose folding the models check.
inline bool SameName(setup::TextView a, setup::TextView b) {
  const auto fold = [](setup::TextView name) {
    setup::Text folded(name);
    for (char16_t& c : folded) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    }
    return folded;
  };
  return fold(a) == fold(b);
}

// `what` names the question asked of both, `input` what it was asked about.
[[noreturn]] inline void Disagree(const char* what, setup::TextView input, const std::string& program,
                                  const std::string& model) {
  std::fprintf(stderr, "%s of '%s': the program and the model differ\nprogram: %s\nmodel:   %s\n", what,
               Printable(input).c_str(), program.c_str(), model.c_str());
  std::abort();
}

// The answers are compared as they are and written out by `show` only when they differ.
template <typename Answer, typename Show>
void ExpectSame(const char* what, setup::TextView input, const Answer& program, const Answer& model, Show show) {
  if (!(program == model)) Disagree(what, input, show(program), show(model));
}

inline void ExpectSame(const char* what, setup::TextView input, const std::string& program,
                       const std::string& model) {
  if (program != model) Disagree(what, input, program, model);
}

}  // namespace fuzz
