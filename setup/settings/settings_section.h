#pragma once
// One section of a settings file: its name and its key/value pairs in ordinal key order.

#include <boost/shared_array.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "setup/base/text.h"

namespace setup {

class SettingsFile;
class SettingsObserver;

// The name in the header of a chunk of text (from its first "[" to its first "]" after it); none
// when the header is never closed within the chunk.
std::optional<TextView> HeaderName(TextView chunk);

class SettingsSection {
 public:
  SettingsSection() = default;
  explicit SettingsSection(TextView name);
  virtual ~SettingsSection() = default;
  SettingsSection(const SettingsSection&) = default;
  SettingsSection& operator=(const SettingsSection&) = default;
  SettingsSection(SettingsSection&&) = default;
  SettingsSection& operator=(SettingsSection&&) = default;

  // Fills the section from one chunk of text that starts with '['. False when the chunk's
  // header is never closed: such a chunk makes no section, and this one is left empty.
  bool Parse(TextView chunk);

  Text GetName() const { return Text(NameView()); }
  // Empty when the key is absent; an absent key and an empty value look alike.
  Text GetValue(TextView key) const;
  size_t GetKeyCount() const { return pairs_.size(); }
  // The key at this position in key order; empty when index is not below GetKeyCount.
  Text GetKeyAt(size_t index) const;

  // Stores a value under a key, replacing an earlier one.
  void SetValue(TextView key, TextView value);

 private:
  friend class SettingsFile;

  // A key and its value as places in the section's texts.
  struct Pair {
    uint32_t keyAt;
    uint32_t keyLength;
    uint32_t valueAt;
    uint32_t valueLength;
  };

  // Names this fresh section after a name in a document text, which the section then shares;
  // ParseBody reads the section's body: the lines after its header line, up to the unit just
  // before the next "[" (normally the line end ahead of its header) or to the end of the text.
  void Share(boost::shared_array<const char16_t> document, size_t documentLength, TextView name);
  void ParseBody(SettingsObserver* observer);
  TextView KeyOf(const Pair& pair) const;
  TextView ValueOf(const Pair& pair) const;
  // Places below documentLength_ lie in the shared document, those above in ownText_.
  TextView Slice(uint32_t at, uint32_t length) const;
  void SetName(size_t at, size_t length);
  // How many units of the document the section refers to; then the same texts copied into
  // another document from `at` on, which the section shares from then on. Returns the end.
  size_t UnitsInUse() const;
  size_t MoveTo(const boost::shared_array<char16_t>& document, size_t documentLength, size_t at);
  TextView NameView() const { return Slice(nameAt_, nameLength_); }
  uint32_t Own(TextView text);
  bool PairLess(const Pair& a, const Pair& b) const;
  std::vector<Pair>::const_iterator FindKey(TextView key) const;

  // Texts a section holds itself (a name given to it, keys and values given to SetValue); rare,
  // so kept behind one pointer, and copied with the section.
  class OwnText {
   public:
    OwnText() = default;
    OwnText(const OwnText& other) : text_(other.text_ ? new Text(*other.text_) : nullptr) {}
    OwnText& operator=(const OwnText& other) {
      if (this != &other) text_.reset(other.text_ ? new Text(*other.text_) : nullptr);
      return *this;
    }
    OwnText(OwnText&&) = default;
    OwnText& operator=(OwnText&&) = default;

    TextView View() const { return text_ ? TextView(*text_) : TextView(); }
    Text& Get() {
      if (!text_) text_.reset(new Text());
      return *text_;
    }

   private:
    std::unique_ptr<Text> text_;
  };

  // The whole document, never changed once parsed, so that copies of a section share it.
  boost::shared_array<const char16_t> document_;
  // Sorted by key (ordinal: code unit by code unit), so that GetKeyAt is an index, not a walk.
  std::vector<Pair> pairs_;
  OwnText ownText_;
  uint32_t nameAt_ = 0;
  uint32_t nameLength_ = 0;
  uint32_t documentLength_ = 0;
};

}  // namespace setup
