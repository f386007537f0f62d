#pragma once
// Generated Setup.ini-style files that every parser under test reads alike: ASCII, CR LF line
// ends, no duplicate section or key (Boost.PropertyTree refuses those), comments only on lines of
// their own and no "[" outside headers (inline comments and stray brackets are read differently
// by each parser, and this benchmark compares speed, not dialects).

#include <cstddef>
#include <string>
#include <vector>

namespace setup::bench {

struct CorpusFile {
  std::string label;  // "2KB", "1MB", ...
  std::string path;   // where the file lies on the host
  size_t bytes = 0;
  std::vector<std::string> sectionNames;  // in file order
  size_t keyCount = 0;                    // over all sections
};

struct GeneratedText {
  std::string bytes;
  std::vector<std::string> sectionNames;
  size_t keyCount = 0;
};

// A file like the one shipped beside setup.exe, about 2 KB.
GeneratedText TypicalSettings();
// Sections of keysPerSection keys each until the text reaches minimumBytes.
GeneratedText ManySections(size_t minimumBytes, size_t keysPerSection);
// One section named "Big" holding keyCount keys.
GeneratedText OneSection(size_t keyCount);

// Writes the benchmark's files into folder (rewriting them only when their content differs)
// and describes them; the same content on every run and machine.
std::vector<CorpusFile> WriteCorpus(const std::string& folder);

}  // namespace setup::bench
